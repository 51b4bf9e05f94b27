#pragma once
// The projection tool window behind the tool services: made on first use and kept, hidden or
// shown, until the program ends.
#include "tools/ProjectionAnalysisToolServices.h"

#include <memory>

class ProjectionAnalysisTool;

class ProjectionAnalysisToolWindow : public ProjectionToolWindow
{
  public:
    ProjectionAnalysisToolWindow();
    ~ProjectionAnalysisToolWindow() override;

    ModelessWindow &Window() override;
    void GetCalibrationLines(int32_t lines[4]) override;
    bool SaveCalibrationLine(const char *key, int32_t row) override;

    // theProjectionAnalysisTool once its window exists; null before. User-interface thread.
    ProjectionAnalysisTool *Dialog() const;

  private:
    class Lazy;
    std::unique_ptr<Lazy> m_window;
};

// Installs the projection tool over the tool services installed so far; returns the window.
std::shared_ptr<ProjectionAnalysisToolWindow> InstallProjectionAnalysisToolWindow();
