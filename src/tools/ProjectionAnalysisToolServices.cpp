#include "tools/ProjectionAnalysisToolServices.h"

ProjectionAnalysisToolServices::ProjectionAnalysisToolServices(std::shared_ptr<ToolServices> next,
                                                               std::shared_ptr<ProjectionToolWindow> tool)
    : ToolServicesLayer(std::move(next)), m_tool(std::move(tool))
{
}

ModelessWindow &ProjectionAnalysisToolServices::ProjectionAnalysisTool()
{
    return m_tool->Window();
}

void ProjectionAnalysisToolServices::GetCalibrationLines(CalibrationTool tool, int32_t lines[4])
{
    if (tool == CalibrationTool::ProjectionAnalysis)
        m_tool->GetCalibrationLines(lines);
    else
        Next().GetCalibrationLines(tool, lines);
}

bool ProjectionAnalysisToolServices::SaveCalibrationLine(CalibrationTool tool, const char *key, int32_t row)
{
    if (tool == CalibrationTool::ProjectionAnalysis)
        return m_tool->SaveCalibrationLine(key, row);
    return Next().SaveCalibrationLine(tool, key, row);
}
