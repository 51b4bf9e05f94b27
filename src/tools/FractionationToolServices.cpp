#include "tools/FractionationToolServices.h"

#include "app/Placeholders.h"

FractionationToolServices::FractionationToolServices(std::shared_ptr<ToolServices> next,
                                                     std::shared_ptr<FractionationWindow> tool)
    : m_next(std::move(next)), m_tool(std::move(tool))
{
}

ToolServices &FractionationToolServices::Next()
{
    return m_next ? *m_next : ToolServicesPlaceholder();
}

ModelessWindow &FractionationToolServices::FractionationAnalysis()
{
    return m_tool->Window();
}

void FractionationToolServices::GetCalibrationLines(CalibrationTool tool, int32_t lines[4])
{
    if (tool == CalibrationTool::FractionationAnalysis)
        m_tool->GetCalibrationLines(lines);
    else
        Next().GetCalibrationLines(tool, lines);
}

bool FractionationToolServices::SaveCalibrationLine(CalibrationTool tool, const char *key, int32_t row)
{
    if (tool == CalibrationTool::FractionationAnalysis)
        return m_tool->SaveCalibrationLine(key, row);
    return Next().SaveCalibrationLine(tool, key, row);
}

bool FractionationToolServices::LoadFractionationRunParams(ProjectionAnalysisParams &params, EString &error)
{
    return m_tool->LoadRunParams(params, error);
}

// ---- Served by the layers below ----

bool FractionationToolServices::LoadRoiList(const char *settingsPath, std::vector<ROIObject> &list)
{
    return Next().LoadRoiList(settingsPath, list);
}
bool FractionationToolServices::FindRoiByName(const char *name, int32_t rect[4], EString &error)
{
    return Next().FindRoiByName(name, rect, error);
}
ModelessWindow &FractionationToolServices::RoiManager()
{
    return Next().RoiManager();
}
bool FractionationToolServices::ShowCurrentRoi()
{
    return Next().ShowCurrentRoi();
}
bool FractionationToolServices::RunChooseRoiDialog()
{
    return Next().RunChooseRoiDialog();
}
void FractionationToolServices::RunComputePixelsPerMmDialog(double measuredLength)
{
    Next().RunComputePixelsPerMmDialog(measuredLength);
}
ModelessWindow &FractionationToolServices::AdjustBoundaries()
{
    return Next().AdjustBoundaries();
}
void FractionationToolServices::InitAdjustBoundaries(CImageView *view)
{
    Next().InitAdjustBoundaries(view);
}
ModelessWindow &FractionationToolServices::ProjectionAnalysisTool()
{
    return Next().ProjectionAnalysisTool();
}
ModelessWindow &FractionationToolServices::ProjectionAnalysisParamsDialog()
{
    return Next().ProjectionAnalysisParamsDialog();
}
bool FractionationToolServices::GetProjectionParamsFromControls(ProjectionAnalysisParams &params)
{
    return Next().GetProjectionParamsFromControls(params);
}
