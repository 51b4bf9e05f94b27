#include "tools/FractionationToolServices.h"

FractionationToolServices::FractionationToolServices(std::shared_ptr<ToolServices> next,
                                                     std::shared_ptr<FractionationWindow> tool)
    : ToolServicesLayer(std::move(next)), m_tool(std::move(tool))
{
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
