#include "tools/gui/ProjectionAnalysisToolWindow.h"

#include "tools/gui/ProjectionAnalysisTool.h"
#include "tools/gui/ToolWindowKit.h"

class ProjectionAnalysisToolWindow::Lazy : public LazyToolWindow<ProjectionAnalysisTool>
{
  public:
    Lazy()
        : LazyToolWindow([] {
              auto dialog = std::make_unique<ProjectionAnalysisTool>();
              dialog->OnInitDialog();
              return dialog;
          })
    {
    }
    ProjectionAnalysisTool *Dialog() const { return Window(); }
};

ProjectionAnalysisToolWindow::ProjectionAnalysisToolWindow() : m_window(std::make_unique<Lazy>()) {}

ProjectionAnalysisToolWindow::~ProjectionAnalysisToolWindow() = default;

ModelessWindow &ProjectionAnalysisToolWindow::Window()
{
    return *m_window;
}

void ProjectionAnalysisToolWindow::GetCalibrationLines(int32_t lines[4])
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

bool ProjectionAnalysisToolWindow::SaveCalibrationLine(const char *key, int32_t row)
{
    return m_window->HasWindow() && m_window->Dialog()->SaveCalibrationLine(key, row);
}

ProjectionAnalysisTool *ProjectionAnalysisToolWindow::Dialog() const
{
    return m_window->Dialog();
}

std::shared_ptr<ProjectionAnalysisToolWindow> InstallProjectionAnalysisToolWindow()
{
    auto window = std::make_shared<ProjectionAnalysisToolWindow>();
    // At start-up, before any other thread asks for the services.
    std::shared_ptr<ToolServices> previous = InstallToolServices(nullptr);
    InstallToolServices(std::make_shared<ProjectionAnalysisToolServices>(previous, window));
    return window;
}
