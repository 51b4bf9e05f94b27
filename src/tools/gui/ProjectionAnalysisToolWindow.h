#pragma once
// The projection tool window: made on first use and kept, hidden or shown, until the program ends.
#include "app/ToolServices.h"

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

// Installs the projection tool window; returns it.
std::shared_ptr<ProjectionAnalysisToolWindow> InstallProjectionAnalysisToolWindow();
