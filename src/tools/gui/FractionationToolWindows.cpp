#include "tools/gui/FractionationToolWindows.h"

#include "tools/gui/FractionationAnalysisDlg.h"
#include "tools/gui/ToolWindowKit.h"

class FractionationToolWindow::Lazy : public LazyToolWindow<FractionationAnalysisDlg>
{
  public:
    Lazy()
        : LazyToolWindow([] {
              auto dialog = std::make_unique<FractionationAnalysisDlg>();
              dialog->OnInitDialog();
              return dialog;
          })
    {
    }
    FractionationAnalysisDlg *Dialog() const { return Window(); }
};

FractionationToolWindow::FractionationToolWindow() : m_window(std::make_unique<Lazy>()) {}

FractionationToolWindow::~FractionationToolWindow() = default;

ModelessWindow &FractionationToolWindow::Window()
{
    return *m_window;
}

void FractionationToolWindow::GetCalibrationLines(int32_t lines[4])
{
    CalibrationLines rows;
    // HasWindow is safe from any thread; the dialog, once made, lives until the program ends.
    if (m_window->HasWindow())
        rows = m_window->Dialog()->CalibrationRows();
    lines[0] = rows.upper_channel;
    lines[1] = rows.lower_channel;
    lines[2] = rows.upper_magnet;
    lines[3] = rows.lower_magnet;
}

bool FractionationToolWindow::SaveCalibrationLine(const char *key, int32_t row)
{
    return m_window->HasWindow() && m_window->Dialog()->SaveCalibrationLine(key, row);
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
    // At start-up, before any other thread asks for the services.
    std::shared_ptr<ToolServices> previous = InstallToolServices(nullptr);
    InstallToolServices(std::make_shared<FractionationToolServices>(previous, window));
    return window;
}
