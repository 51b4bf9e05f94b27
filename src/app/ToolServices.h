#pragma once
// What the application shell, the view and the analysis code ask of the ROI, calibration,
// fractionation and projection tools: one small seam per concern, each served by one part of the
// tools code and installed once. Until a seam is installed, or after it is removed, its null
// answer serves it: no list, no window, no line, no parameters (see app/Placeholders.cpp).
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

// The named ROIs of a settings file; served in every run, headless or not.
class RoiLookup
{
  public:
    virtual ~RoiLookup() = default;
    // ROIList::LoadFromProfile: replaces list by the ROIs of [ROI] of the file in storage order (of
    // equal names the last one is the one added last); false when the section cannot be read.
    virtual bool LoadRoiList(const char *settingsPath, std::vector<ROIObject> &list) = 0;
    // Rectangle (left, top, right, bottom) of the named ROI of the main settings file.
    virtual bool FindRoiByName(const char *name, int32_t rect[4], EString &error) = 0;
};

// The ROI manager and the modal ROI chooser.
class RoiWindows
{
  public:
    virtual ~RoiWindows() = default;
    virtual ModelessWindow &RoiManager() = 0;
    // Shows the active ROI in the manager's edits; false when its window or the ROI is missing.
    // Any thread: the edits are written on the user-interface thread.
    virtual bool ShowCurrentRoi() = 0;
    // The modal ROI chooser; true on OK, with the active ROI set. User-interface thread.
    virtual bool RunChooseRoiDialog() = 0;
};

// The calibration dialogs: pixels per millimetre, and the channel and magnet boundaries.
class CalibrationWindows
{
  public:
    virtual ~CalibrationWindows() = default;
    // The modal pixels-per-millimetre calibration for a measured length in image rows.
    virtual void RunComputePixelsPerMmDialog(double measuredLength) = 0;
    virtual ModelessWindow &AdjustBoundaries() = 0;
    // Keeps view and shows its magnet and channel distances in millimetres.
    virtual void InitAdjustBoundaries(CImageView *view) = 0;
};

// The projection parameters dialog.
class ProjectionParamsWindow
{
  public:
    virtual ~ProjectionParamsWindow() = default;
    virtual ModelessWindow &ParamsDialog() = 0;
    // ProjectionParamsDialog::GetParamsFromControls. Any thread: false while the dialog has no window.
    virtual bool GetParamsFromControls(ProjectionAnalysisParams &params) = 0;
};

// A batch tool that shows its own calibration lines while its window is visible, and takes the
// lines placed on the image then.
class CalibratedToolWindow
{
  public:
    virtual ~CalibratedToolWindow() = default;
    virtual ModelessWindow &Window() = 0;
    // Any thread. The rows: upper channel, lower channel, upper magnet, lower magnet.
    virtual void GetCalibrationLines(int32_t lines[4]) = 0;
    // The tool takes row as its line named key and writes it to its image folder's settings.
    // User-interface thread.
    virtual bool SaveCalibrationLine(const char *key, int32_t row) = 0;
};

// The fractionation tool.
class FractionationWindow : public CalibratedToolWindow
{
  public:
    // FractionationAnalysisDlg::LoadRunParams. Any thread.
    virtual bool LoadRunParams(ProjectionAnalysisParams &params, EString &error) = 0;
};

// The projection tool.
class ProjectionToolWindow : public CalibratedToolWindow
{
};

// Each accessor gives the installed seam, or its null answer. Each Install function installs one
// (nullptr puts the null answer back) and returns the previously installed one. Install and remove
// while no other thread uses the seam.
RoiLookup &Rois();
std::shared_ptr<RoiLookup> InstallRoiLookup(std::shared_ptr<RoiLookup> lookup);

RoiWindows &RoiTools();
std::shared_ptr<RoiWindows> InstallRoiWindows(std::shared_ptr<RoiWindows> windows);

CalibrationWindows &Calibration();
std::shared_ptr<CalibrationWindows> InstallCalibrationWindows(std::shared_ptr<CalibrationWindows> windows);

ProjectionParamsWindow &ProjectionParams();
std::shared_ptr<ProjectionParamsWindow>
InstallProjectionParamsWindow(std::shared_ptr<ProjectionParamsWindow> window);

FractionationWindow &Fractionation();
std::shared_ptr<FractionationWindow> InstallFractionationWindow(std::shared_ptr<FractionationWindow> window);

ProjectionToolWindow &ProjectionTool();
std::shared_ptr<ProjectionToolWindow>
InstallProjectionToolWindow(std::shared_ptr<ProjectionToolWindow> window);

// Puts the null answer of every tool seam above back: at the exit, and in tests' tear-down.
void RemoveToolServices();
