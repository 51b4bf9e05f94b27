#include "app/AppServices.h"

#include "app/DeviceServices.h"
#include "app/GuiSeam.h"
#include "app/PlexorinApp.h"

#include "Ostravo/CrashDump.h"
#include "Ostravo/ProfileValues.h"
#include "platform/Files.h"

#include <algorithm>
#include <cstdint>

namespace {

// "<model> Settings" of the camera, or false when there is no camera or it cannot tell its model.
bool CameraSettingsSection(std::string &section, EString &error)
{
    if (!theApp.m_camera)
        return false;
    EString model;
    if (!theApp.m_camera->GetModelName(model, error))
        return false;
    section = std::string(model.c_str()) + " Settings";
    return true;
}

// folder joined with name when that file exists.
bool ExactSettingsFile(const char *folder, const char *name, EString &path)
{
    EString candidate;
    candidate.JoinPath(folder, name);
    if (!platform::FileExists(candidate.c_str()))
        return false;
    path = candidate;
    return true;
}

// The file of that name in folder found ignoring letter case, as on the Windows instruments.
bool SettingsFileIgnoringCase(const char *folder, const char *name, EString &path)
{
    EString trimmed(folder);
    trimmed.Trim();
    if (!trimmed.IsNonEmpty())
        return false;
    std::string found = platform::FindFileIgnoringCase(trimmed.c_str(), name);
    if (found.empty() || !platform::FileExists(found))
        return false;
    path.Assign(found.c_str());
    return true;
}

} // namespace

void CPlexorinApp::GetCartridgeRoi(int flag, std::string path, int32_t rect[4])
{
    if (path.empty())
        path = m_ini_path;
    const int32_t upper = Ostravo::ReadProfileInt("Cartridge", "CartridgeUpperChannel", 0, path.c_str());
    const int32_t lower = Ostravo::ReadProfileInt("Cartridge", "CartridgeLowerChannel", 0, path.c_str());
    rect[0] = flag == 0 ? 824 : 1844;
    // Rows near the ends of the range must not wrap round: the margin is added in 64 bits and the
    // result held at the 32-bit limits, which every user clips to its image.
    auto saturated = [](int64_t value) { return int32_t(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX)); };
    rect[1] = saturated(int64_t(upper) + 100);
    rect[2] = flag == 0 ? 1624 : 2444;
    rect[3] = saturated(int64_t(lower) - 100);
}

EString GetExperimentSettingsIniPath(EString folder)
{
    // The exact names first: the view asks on every paint, and only a folder without either file
    // costs a listing.
    EString path;
    if (ExactSettingsFile(folder.c_str(), "ExperimentSettings.ini", path) ||
        ExactSettingsFile(folder.c_str(), "../ExperimentSettings.ini", path) ||
        SettingsFileIgnoringCase(folder.c_str(), "ExperimentSettings.ini", path) ||
        SettingsFileIgnoringCase(folder.c_str(), "../ExperimentSettings.ini", path))
        return path;
    return EString();
}

int32_t GetRefreshPeriodMs(std::string &error)
{
    std::string section;
    EString cameraError;
    if (!CameraSettingsSection(section, cameraError)) {
        if (cameraError.IsNonEmpty())
            error = cameraError.c_str();
        return 0;
    }
    return Ostravo::ReadProfileInt(section.c_str(), "RefreshPeriodMs", 100, theApp.m_ini_path.c_str());
}

void GetMinTimeBetweenCaptureEvents()
{
    std::string section;
    EString error;
    if (!CameraSettingsSection(section, error))
        return;
    theApp.m_min_capture_spacing_ms =
        Ostravo::ReadProfileIntInRange(section.c_str(), "min_time_between_image_capture_events_ms", 100, 100,
                                       1000, theApp.m_ini_path.c_str());
}

std::string BuildBanner()
{
    return "Quorvane " + theApp.m_product_name + " " + theApp.m_version + " (" __DATE__ " " __TIME__ ")";
}

bool WriteBuildBanner(uint32_t code, const siginfo_t *information)
{
    CreateDMP(BuildBanner().c_str(), code, information);
    return true;
}

int OnSerialPortFailure(int comNumber)
{
    AppFramework *framework = Framework();
    SerialPortFailureCallback = nullptr;
    if (framework && framework->HasMainWindow())
        framework->PostCommand(kReinitializeSerialDevicesCommand, comNumber);
    return 1;
}
