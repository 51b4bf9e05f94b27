#include "tools/gui/FractionationToolWindows.h"

#include "tools/gui/FractionationAnalysisDlg.h"
#include "tools/gui/LazyCalibrationWindow.h"

class FractionationToolWindow::Lazy : public LazyCalibrationWindow<FractionationAnalysisDlg>
{
};

FractionationToolWindow::FractionationToolWindow() : m_window(std::make_unique<Lazy>()) {}

FractionationToolWindow::~FractionationToolWindow() = default;

ModelessWindow &FractionationToolWindow::Window()
{
    return *m_window;
}

void FractionationToolWindow::GetCalibrationLines(int32_t lines[4])
{
    m_window->GetCalibrationLines(lines);
}

bool FractionationToolWindow::SaveCalibrationLine(const char *key, int32_t row)
{
    return m_window->SaveCalibrationLine(key, row);
}

bool FractionationToolWindow::LoadRunParams(ProjectionAnalysisParams &params, EString &error)
{
    if (!m_window->HasWindow())
        return false;
    return m_window->Dialog()->LoadRunParams(params, error);
}

FractionationAnalysisDlg *FractionationToolWindow::Dialog() const
{
    return m_window->Dialog();
}

std::shared_ptr<FractionationToolWindow> InstallFractionationToolWindow()
{
    auto window = std::make_shared<FractionationToolWindow>();
    InstallFractionationWindow(window);
    return window;
}
