#include "tools/ProjectionToolServices.h"

ProjectionToolServices::ProjectionToolServices(std::shared_ptr<ToolServices> next,
                                               std::shared_ptr<ProjectionWindows> windows)
    : ToolServicesLayer(std::move(next)), m_windows(std::move(windows))
{
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
