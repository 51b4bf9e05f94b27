#include "tools/FractionationInputs.h"

#include "Ostravo/Profile.h"
#include "Ostravo/ProfileValues.h"
#include "Ostravo/TextFormat.h"
#include "app/AppServices.h"
#include "app/PlexorinApp.h"
#include "platform/Files.h"
#include "tools/CountingParams.h"
#include "tools/ImageFileList.h"
#include "tools/ROIList.h"

#include <algorithm>

namespace {

bool AcceptedRoi(const int32_t rect[4])
{
    if (rect[0] > 0 && rect[1] > 0 && rect[2] > 0 && rect[3] > 0)
        return true;
    const int64_t width = int64_t(rect[2]) - rect[0];
    const int64_t height = int64_t(rect[3]) - rect[1];
    return width >= 10 && width <= 3000 && height >= 10 && height <= 3000;
}

std::string SettingsFileOf(const std::string &folder)
{
    return GetExperimentSettingsIniPath(EString(folder.c_str())).c_str();
}

int32_t ReadRow(const std::string &file, const char *section, const char *key)
{
    const std::string text = Ostravo::ReadProfileString(section, key, "", 1024, file.c_str());
    int32_t value = -1;
    if (!Ostravo::ScanInt(text, value))
        return -1;
    return value;
}

} // namespace

bool ResolveFractionationRoi(const FractionationControls &controls, int32_t rect[4], EString &name,
                             EString &error)
{
    name.Assign(controls.roi.c_str());
    if (CompareText(controls.roi.c_str(), kImageDirRoiName, 0, 0)) {
        const std::string settings = SettingsFileOf(controls.folder);
        int32_t roi[4] = {0, 0, 0, 0};
        theApp.GetCartridgeRoi(1, settings, roi);
        if (!AcceptedRoi(roi)) {
            // Without a folder settings file the main one was read.
            const std::string read = settings.empty() ? theApp.m_ini_path : settings;
            error.Assign(("Unable to determine default ROI from file: " + read).c_str());
            return false;
        }
        std::copy(roi, roi + 4, rect);
        return true;
    }
    ROIList rois;
    if (!rois.LoadFromProfile(theApp.m_ini_path.c_str())) {
        error.Assign(("Unable to read the ROI list from file: " + theApp.m_ini_path).c_str());
        return false;
    }
    const ROIObject *roi = rois.FindByName(controls.roi.c_str());
    if (!roi) {
        error.Assign(FormatText("ROI object \"%s\" does not exist in file: %s", controls.roi.c_str(),
                                theApp.m_ini_path.c_str())
                         .c_str());
        return false;
    }
    rect[0] = int32_t(roi->left);
    rect[1] = int32_t(roi->top);
    rect[2] = int32_t(roi->right);
    rect[3] = int32_t(roi->bottom);
    return true;
}

bool LoadFractionationParams(const FractionationControls &controls, ProjectionAnalysisParams &params,
                             EString &error)
{
    const std::string settings = SettingsFileOf(controls.folder);
    if (settings.empty() || !platform::FileExists(settings)) {
        error.Assign(("Missing required file: " + settings).c_str());
        return false;
    }
    LoadProjectionCalibration(params, controls.folder.c_str());
    if (controls.projectionParams.empty()) {
        error.Assign("You must choose a projection parameters file.");
        return false;
    }
    // The name is typed into an editable list: it may only name a file in LIB.
    std::string refusal;
    if (!ValidateSetName(controls.projectionParams, refusal)) {
        error.Assign(refusal.c_str());
        return false;
    }
    EString data(theApp.m_data_directory.c_str());
    data.Trim();
    EString lib, file;
    lib.JoinPath(data.c_str(), "LIB");
    file.JoinPath(lib.c_str(), (controls.projectionParams + ".pa_params").c_str());
    return LoadProjectionParams(params, file.c_str());
}

bool ReadImageFolderCalibration(const std::string &folder, CalibrationLines &lines, EString &error)
{
    error.Assign("");
    if (folder.empty() || !platform::FolderExists(platform::NormalizePath(folder)))
        return false;
    const std::string settings = SettingsFileOf(folder);
    if (settings.empty()) {
        error.Assign(("There is no ExperimentSettings.ini file here: " + folder).c_str());
        return false;
    }
    lines.upper_magnet = ReadRow(settings, "CalibrationSettings", "UpperMagnet");
    lines.lower_magnet = ReadRow(settings, "CalibrationSettings", "LowerMagnet");
    lines.upper_channel = ReadRow(settings, "Cartridge", "CartridgeUpperChannel");
    lines.lower_channel = ReadRow(settings, "Cartridge", "CartridgeLowerChannel");
    return true;
}

bool SaveImageFolderCalibrationLine(const std::string &folder, const char *lineName, int32_t row,
                                    CalibrationLines &lines)
{
    if (folder.empty() || !platform::FolderExists(platform::NormalizePath(folder)))
        return false;
    const std::string settings = SettingsFileOf(folder);
    if (settings.empty() || !lineName)
        return false;
    const char *section = nullptr;
    const char *key = nullptr;
    int32_t *member = nullptr;
    if (CompareText(lineName, "UpperMagnet", 0, 0)) {
        section = "CalibrationSettings", key = lineName, member = &lines.upper_magnet;
    } else if (CompareText(lineName, "LowerMagnet", 0, 0)) {
        section = "CalibrationSettings", key = lineName, member = &lines.lower_magnet;
    } else if (CompareText(lineName, "UpperChannel", 0, 0)) {
        section = "Cartridge", key = "CartridgeUpperChannel", member = &lines.upper_channel;
    } else if (CompareText(lineName, "LowerChannel", 0, 0)) {
        section = "Cartridge", key = "CartridgeLowerChannel", member = &lines.lower_channel;
    } else {
        return false;
    }
    *member = row;
    return Ostravo::E_WritePrivateProfileString(section, key, FormatText("%ld", long(row)).c_str(),
                                                settings.c_str());
}

std::vector<std::string> FractionationParamSetNames(const std::string &libFolder)
{
    std::vector<std::string> names;
    for (const platform::DirEntry &entry : platform::ListFolder(libFolder, "*.pa_params")) {
        if (entry.isFolder)
            continue;
        const size_t dot = entry.name.rfind('.');
        const std::string name = entry.name.substr(0, dot);
        if (FindSubstring(name.c_str(), "ExperimentSettings", 0))
            continue;
        names.push_back(name);
    }
    // The list box sorts ignoring case.
    std::stable_sort(names.begin(), names.end(), ImageNameLess);
    return names;
}
