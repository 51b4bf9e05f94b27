#pragma once
// The fractionation tool's part of the tool services, installed over the services installed
// before it: it serves the tool's window, its calibration lines and its run parameters, and hands
// every other call to the layer below.
#include "tools/ToolServicesLayer.h"

#include <memory>

// The fractionation tool as the user-interface code provides it.
class FractionationWindow
{
  public:
    virtual ~FractionationWindow() = default;
    virtual ModelessWindow &Window() = 0;
    // Any thread. The rows: upper channel, lower channel, upper magnet, lower magnet.
    virtual void GetCalibrationLines(int32_t lines[4]) = 0;
    // User-interface thread.
    virtual bool SaveCalibrationLine(const char *key, int32_t row) = 0;
    // Any thread.
    virtual bool LoadRunParams(ProjectionAnalysisParams &params, EString &error) = 0;
};

class FractionationToolServices : public ToolServicesLayer
{
  public:
    // next: the services installed before this layer (the placeholder when null).
    FractionationToolServices(std::shared_ptr<ToolServices> next, std::shared_ptr<FractionationWindow> tool);

    ModelessWindow &FractionationAnalysis() override;
    void GetCalibrationLines(CalibrationTool tool, int32_t lines[4]) override;
    bool SaveCalibrationLine(CalibrationTool tool, const char *key, int32_t row) override;
    bool LoadFractionationRunParams(ProjectionAnalysisParams &params, EString &error) override;

  private:
    std::shared_ptr<FractionationWindow> m_tool;
};
