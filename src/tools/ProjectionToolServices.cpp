#include "tools/ProjectionToolServices.h"

#include "app/Placeholders.h"

ProjectionToolServices::ProjectionToolServices(std::shared_ptr<ToolServices> next,
                                               std::shared_ptr<ProjectionWindows> windows)
    : m_next(std::move(next)), m_windows(std::move(windows))
{
}

ToolServices &ProjectionToolServices::Next()
{
    return m_next ? *m_next : ToolServicesPlaceholder();
}

ModelessWindow &ProjectionToolServices::ProjectionAnalysisParamsDialog()
{
    return m_windows->ParamsDialog();
}
bool ProjectionToolServices::GetProjectionParamsFromControls(ProjectionAnalysisParams &params)
{
    return m_windows->GetParamsFromControls(params);
}
void ProjectionToolServices::RunComputePixelsPerMmDialog(double measuredLength)
{
    m_windows->RunComputePixelsPerMmDialog(measuredLength);
}
ModelessWindow &ProjectionToolServices::AdjustBoundaries()
{
    return m_windows->AdjustBoundaries();
}
void ProjectionToolServices::InitAdjustBoundaries(CImageView *view)
{
    m_windows->InitAdjustBoundaries(view);
}

// ---- Served by the layers below ----

bool ProjectionToolServices::LoadRoiList(const char *settingsPath, std::vector<ROIObject> &list)
{
    return Next().LoadRoiList(settingsPath, list);
}
bool ProjectionToolServices::FindRoiByName(const char *name, int32_t rect[4], EString &error)
{
    return Next().FindRoiByName(name, rect, error);
}
ModelessWindow &ProjectionToolServices::RoiManager()
{
    return Next().RoiManager();
}
bool ProjectionToolServices::ShowCurrentRoi()
{
    return Next().ShowCurrentRoi();
}
bool ProjectionToolServices::RunChooseRoiDialog()
{
    return Next().RunChooseRoiDialog();
}
ModelessWindow &ProjectionToolServices::FractionationAnalysis()
{
    return Next().FractionationAnalysis();
}
ModelessWindow &ProjectionToolServices::ProjectionAnalysisTool()
{
    return Next().ProjectionAnalysisTool();
}
void ProjectionToolServices::GetCalibrationLines(CalibrationTool tool, int32_t lines[4])
{
    Next().GetCalibrationLines(tool, lines);
}
bool ProjectionToolServices::SaveCalibrationLine(CalibrationTool tool, const char *key, int32_t row)
{
    return Next().SaveCalibrationLine(tool, key, row);
}
bool ProjectionToolServices::LoadFractionationRunParams(ProjectionAnalysisParams &params, EString &error)
{
    return Next().LoadFractionationRunParams(params, error);
}
