#pragma once
// The tool services that the ROI tools serve: the named ROI list for every caller, headless or not,
// and, once the windows are installed, the ROI manager and chooser. Every other call still goes to
// the placeholder of the tools that are not built yet.
#include "app/ToolServices.h"

#include <memory>

// The ROI windows, as the user-interface code provides them.
class RoiWindows
{
  public:
    virtual ~RoiWindows() = default;
    virtual ModelessWindow &RoiManager() = 0;
    // Any thread.
    virtual bool ShowCurrentRoi() = 0;
    // User-interface thread.
    virtual bool RunChooseRoiDialog() = 0;
};

class RoiToolServices : public ToolServices
{
  public:
    // Without windows (the headless run) the manager and chooser answer as the placeholder does.
    explicit RoiToolServices(std::shared_ptr<RoiWindows> windows = nullptr);

    bool LoadRoiList(const char *settingsPath, std::vector<ROIObject> &list) override;
    bool FindRoiByName(const char *name, int32_t rect[4], EString &error) override;
    ModelessWindow &RoiManager() override;
    bool ShowCurrentRoi() override;
    bool RunChooseRoiDialog() override;

    void RunComputePixelsPerMmDialog(double measuredLength) override;
    ModelessWindow &AdjustBoundaries() override;
    void InitAdjustBoundaries(CImageView *view) override;
    ModelessWindow &FractionationAnalysis() override;
    ModelessWindow &ProjectionAnalysisTool() override;
    ModelessWindow &ProjectionAnalysisParamsDialog() override;
    void GetCalibrationLines(CalibrationTool tool, int32_t lines[4]) override;
    bool SaveCalibrationLine(CalibrationTool tool, const char *key, int32_t row) override;
    bool GetProjectionParamsFromControls(ProjectionAnalysisParams &params) override;
    bool LoadFractionationRunParams(ProjectionAnalysisParams &params, EString &error) override;

  private:
    std::shared_ptr<RoiWindows> m_windows;
};
