#include "tools/RoiToolServices.h"

#include "app/Placeholders.h"
#include "tools/ROIList.h"

RoiToolServices::RoiToolServices(std::shared_ptr<RoiWindows> windows) : m_windows(std::move(windows)) {}

bool RoiToolServices::LoadRoiList(const char *settingsPath, std::vector<ROIObject> &list)
{
    ROIList rois;
    if (!rois.LoadFromProfile(settingsPath))
        return false;
    list.clear();
    for (int32_t i = 0; i < rois.GetCount(); ++i)
        list.push_back(*rois.GetAt(i));
    return true;
}

bool RoiToolServices::FindRoiByName(const char *name, int32_t rect[4], EString &error)
{
    return ::FindRoiByName(name, rect, error);
}

ModelessWindow &RoiToolServices::RoiManager()
{
    return m_windows ? m_windows->RoiManager() : ToolServicesPlaceholder().RoiManager();
}

bool RoiToolServices::ShowCurrentRoi()
{
    return m_windows ? m_windows->ShowCurrentRoi() : false;
}

bool RoiToolServices::RunChooseRoiDialog()
{
    return m_windows ? m_windows->RunChooseRoiDialog() : ToolServicesPlaceholder().RunChooseRoiDialog();
}

// ---- Not built yet: the placeholder answers ----

void RoiToolServices::RunComputePixelsPerMmDialog(double measuredLength)
{
    ToolServicesPlaceholder().RunComputePixelsPerMmDialog(measuredLength);
}

ModelessWindow &RoiToolServices::AdjustBoundaries()
{
    return ToolServicesPlaceholder().AdjustBoundaries();
}

void RoiToolServices::InitAdjustBoundaries(CImageView *view)
{
    ToolServicesPlaceholder().InitAdjustBoundaries(view);
}

ModelessWindow &RoiToolServices::FractionationAnalysis()
{
    return ToolServicesPlaceholder().FractionationAnalysis();
}

ModelessWindow &RoiToolServices::ProjectionAnalysisTool()
{
    return ToolServicesPlaceholder().ProjectionAnalysisTool();
}

ModelessWindow &RoiToolServices::ProjectionAnalysisParamsDialog()
{
    return ToolServicesPlaceholder().ProjectionAnalysisParamsDialog();
}

void RoiToolServices::GetCalibrationLines(CalibrationTool tool, int32_t lines[4])
{
    ToolServicesPlaceholder().GetCalibrationLines(tool, lines);
}

bool RoiToolServices::SaveCalibrationLine(CalibrationTool tool, const char *key, int32_t row)
{
    return ToolServicesPlaceholder().SaveCalibrationLine(tool, key, row);
}

bool RoiToolServices::GetProjectionParamsFromControls(ProjectionAnalysisParams &params)
{
    return ToolServicesPlaceholder().GetProjectionParamsFromControls(params);
}

bool RoiToolServices::LoadFractionationRunParams(ProjectionAnalysisParams &params, EString &error)
{
    return ToolServicesPlaceholder().LoadFractionationRunParams(params, error);
}
