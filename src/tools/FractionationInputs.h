#pragma once
// The inputs of a fractionation run and the calibration lines of an image folder, from the
// fractionation tool's choices: its image folder, its projection parameter set, its region of
// interest. The functions take the choices as values, so the run and the image view's renderer
// read a copy rather than the window's controls.
#include "Ostravo/EString.h"
#include "analysis/ProjectionAnalysis.h"
#include "app/ViewGlobals.h"

#include <cstdint>
#include <string>
#include <vector>

// The ROI entry that stands for the default cartridge ROI of the image folder's settings file.
inline constexpr const char *kImageDirRoiName = "[ImageDir]\\ExperimentSettings.ini";

// What the tool's controls held when they were read.
struct FractionationControls
{
    std::string folder;                       // Image Directory, as typed
    std::string projectionParams;             // Projection Parameters: a set name
    std::string roi;                          // Region of interest: an ROI name or kImageDirRoiName
    std::vector<std::string> selectedEntries; // the selected file names of the list, in list order
    std::vector<std::string> backgroundNames; // the chosen background images' file names
    bool brightField = true;                  // whether the images are bright-field images
};

// The region of interest of a run: the named ROI of the main settings file (exact name), or for
// kImageDirRoiName (any case) the default cartridge ROI of the image folder's settings file. name
// receives the ROI text in every case. False with the reason in error; a ROI list that cannot be
// read gives "Unable to read the ROI list from file: " and the main settings file's path.
bool ResolveFractionationRoi(const FractionationControls &controls, int32_t rect[4], EString &name,
                             EString &error);

// The folder's calibration (scale and channel rows) and the chosen set of <data>/LIB. False with
// the reason when the folder has no settings file, no set is chosen or its name is not a plain
// file name.
bool LoadFractionationParams(const FractionationControls &controls, ProjectionAnalysisParams &params,
                             EString &error);

// The rows the tool shows for an image folder: -1 for a value the settings file lacks.
// Missing folder: false with error empty. No settings file: false with "There is no
// ExperimentSettings.ini file here: " and the folder text.
bool ReadImageFolderCalibration(const std::string &folder, CalibrationLines &lines, EString &error);

// Stores row as the line named lineName (UpperMagnet, LowerMagnet, UpperChannel, LowerChannel,
// any case) in lines and in the folder's settings file. False for another name, a folder without
// settings file, or a failed write.
bool SaveImageFolderCalibrationLine(const std::string &folder, const char *lineName, int32_t row,
                                    CalibrationLines &lines);

// The projection parameter sets of libFolder: each *.pa_params name cut at its last dot, without
// the names that hold "ExperimentSettings" (any case), in the order of a sorted list.
std::vector<std::string> FractionationParamSetNames(const std::string &libFolder);
