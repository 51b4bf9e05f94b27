#pragma once
// A layer of the tool services installed over the services installed before it: every call goes
// to the layer below unless the layer overrides it.
#include "app/Placeholders.h"
#include "app/ToolServices.h"

#include <memory>

class ToolServicesLayer : public ToolServices
{
  public:
    // next: the services installed before this layer (the placeholder when null).
    explicit ToolServicesLayer(std::shared_ptr<ToolServices> next) : m_next(std::move(next)) {}

    bool LoadRoiList(const char *settingsPath, std::vector<ROIObject> &list) override
    {
        return Next().LoadRoiList(settingsPath, list);
    }
    bool FindRoiByName(const char *name, int32_t rect[4], EString &error) override
    {
        return Next().FindRoiByName(name, rect, error);
    }
    ModelessWindow &RoiManager() override { return Next().RoiManager(); }
    bool ShowCurrentRoi() override { return Next().ShowCurrentRoi(); }
    bool RunChooseRoiDialog() override { return Next().RunChooseRoiDialog(); }
    void RunComputePixelsPerMmDialog(double measuredLength) override
    {
        Next().RunComputePixelsPerMmDialog(measuredLength);
    }
    ModelessWindow &AdjustBoundaries() override { return Next().AdjustBoundaries(); }
    void InitAdjustBoundaries(CImageView *view) override { Next().InitAdjustBoundaries(view); }
    ModelessWindow &FractionationAnalysis() override { return Next().FractionationAnalysis(); }
    ModelessWindow &ProjectionAnalysisTool() override { return Next().ProjectionAnalysisTool(); }
    ModelessWindow &ProjectionAnalysisParamsDialog() override
    {
        return Next().ProjectionAnalysisParamsDialog();
    }
    void GetCalibrationLines(CalibrationTool tool, int32_t lines[4]) override
    {
        Next().GetCalibrationLines(tool, lines);
    }
    bool SaveCalibrationLine(CalibrationTool tool, const char *key, int32_t row) override
    {
        return Next().SaveCalibrationLine(tool, key, row);
    }
    bool GetProjectionParamsFromControls(ProjectionAnalysisParams &params) override
    {
        return Next().GetProjectionParamsFromControls(params);
    }
    bool LoadFractionationRunParams(ProjectionAnalysisParams &params, EString &error) override
    {
        return Next().LoadFractionationRunParams(params, error);
    }

  protected:
    ToolServices &Next() { return m_next ? *m_next : ToolServicesPlaceholder(); }

  private:
    std::shared_ptr<ToolServices> m_next;
};
