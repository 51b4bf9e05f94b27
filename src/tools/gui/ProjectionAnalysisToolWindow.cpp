#include "tools/gui/ProjectionAnalysisToolWindow.h"

#include "tools/gui/LazyCalibrationWindow.h"
#include "tools/gui/ProjectionAnalysisTool.h"

class ProjectionAnalysisToolWindow::Lazy : public LazyCalibrationWindow<ProjectionAnalysisTool>
{
};

ProjectionAnalysisToolWindow::ProjectionAnalysisToolWindow() : m_window(std::make_unique<Lazy>()) {}

ProjectionAnalysisToolWindow::~ProjectionAnalysisToolWindow() = default;

ModelessWindow &ProjectionAnalysisToolWindow::Window()
{
    return *m_window;
}

void ProjectionAnalysisToolWindow::GetCalibrationLines(int32_t lines[4])
{
    m_window->GetCalibrationLines(lines);
}

bool ProjectionAnalysisToolWindow::SaveCalibrationLine(const char *key, int32_t row)
{
    return m_window->SaveCalibrationLine(key, row);
}

ProjectionAnalysisTool *ProjectionAnalysisToolWindow::Dialog() const
{
    return m_window->Dialog();
}

std::shared_ptr<ProjectionAnalysisToolWindow> InstallProjectionAnalysisToolWindow()
{
    auto window = std::make_shared<ProjectionAnalysisToolWindow>();
    InstallProjectionToolWindow(window);
    return window;
}
