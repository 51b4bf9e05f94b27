#pragma once
// What the application shell, the view and the analysis code ask of the fractionation,
// projection, ROI and calibration tools. Until those tools are installed, a placeholder answers
// every call with "not available".
#include "Ostravo/EString.h"
#include "app/ModelessWindow.h"
#include "app/ProjectionAnalysisParams.h"
#include "app/ROIObject.h"

#include <cstdint>
#include <memory>
#include <vector>

class CImageView;

// One file of an analysis tool's image list; ordered by name ignoring ASCII case.
struct ImageFileItem
{
    EString m_name;
    int32_t m_flag = 0;
};

// One image's row of an experiment log; ordered by image name ignoring ASCII case.
struct LogFileRecord
{
    EString m_image_name;
    float m_pump_speed1 = 0.0f;
    float m_pump_speed2 = 0.0f;
};

// The two batch tools that show their own calibration lines while their window is visible.
enum class CalibrationTool
{
    ProjectionAnalysis,
    FractionationAnalysis,
};

class ToolServices
{
  public:
    virtual ~ToolServices() = default;

    // ROIList::LoadFromProfile: replaces list by the ROIs of [ROI] of the file in storage order (of
    // equal names the last one is the one added last); false when the section cannot be read.
    virtual bool LoadRoiList(const char *settingsPath, std::vector<ROIObject> &list) = 0;
    // Rectangle (left, top, right, bottom) of the named ROI of the main settings file.
    virtual bool FindRoiByName(const char *name, int32_t rect[4], EString &error) = 0;

    virtual ModelessWindow &RoiManager() = 0;
    // Shows the active ROI in the manager's edits; false when its window or the ROI is missing.
    // Any thread: the edits are written on the user-interface thread.
    virtual bool ShowCurrentRoi() = 0;
    // The modal ROI chooser; true on OK, with the active ROI set.
    virtual bool RunChooseRoiDialog() = 0;
    // The modal pixels-per-millimetre calibration for a measured length in image rows.
    virtual void RunComputePixelsPerMmDialog(double measuredLength) = 0;

    virtual ModelessWindow &AdjustBoundaries() = 0;
    // Keeps view and shows its magnet and channel distances in millimetres.
    virtual void InitAdjustBoundaries(CImageView *view) = 0;

    virtual ModelessWindow &FractionationAnalysis() = 0;
    virtual ModelessWindow &ProjectionAnalysisTool() = 0;
    virtual ModelessWindow &ProjectionAnalysisParamsDialog() = 0;

    // The tool's four rows: upper channel, lower channel, upper magnet, lower magnet.
    virtual void GetCalibrationLines(CalibrationTool tool, int32_t lines[4]) = 0;
    // The tool takes row as its line named key and writes it to its image folder's settings.
    virtual bool SaveCalibrationLine(CalibrationTool tool, const char *key, int32_t row) = 0;
    // ProjectionAnalysisDlg::GetParamsFromControls.
    virtual bool GetProjectionParamsFromControls(ProjectionAnalysisParams &params) = 0;
    // FractionationAnalysisDlg::LoadRunParams.
    virtual bool LoadFractionationRunParams(ProjectionAnalysisParams &params, EString &error) = 0;
};

// The installed tools, or their placeholder.
ToolServices &Tools();
// Installs services (nullptr puts the placeholder back); returns the previous installed one.
std::shared_ptr<ToolServices> InstallToolServices(std::shared_ptr<ToolServices> services);
