#pragma once
// The projection tool's part of the tool services, installed over the services installed before
// it: it serves the tool's window and its calibration lines, and hands every other call to the
// layer below.
#include "tools/ToolServicesLayer.h"

#include <memory>

// The projection tool as the user-interface code provides it.
class ProjectionToolWindow
{
  public:
    virtual ~ProjectionToolWindow() = default;
    virtual ModelessWindow &Window() = 0;
    // Any thread. The rows: upper channel, lower channel, upper magnet, lower magnet.
    virtual void GetCalibrationLines(int32_t lines[4]) = 0;
    // User-interface thread.
    virtual bool SaveCalibrationLine(const char *key, int32_t row) = 0;
};

class ProjectionAnalysisToolServices : public ToolServicesLayer
{
  public:
    // next: the services installed before this layer (the placeholder when null).
    ProjectionAnalysisToolServices(std::shared_ptr<ToolServices> next,
                                   std::shared_ptr<ProjectionToolWindow> tool);

    ModelessWindow &ProjectionAnalysisTool() override;
    void GetCalibrationLines(CalibrationTool tool, int32_t lines[4]) override;
    bool SaveCalibrationLine(CalibrationTool tool, const char *key, int32_t row) override;

  private:
    std::shared_ptr<ProjectionToolWindow> m_tool;
};
