#include "Ostravo/KeyFallback.h"

#include "Ostravo/EString.h"
#include "Ostravo/Profile.h"

#include <mutex>
#include <string>

namespace {

std::mutex g_settingsPathMutex;
std::string g_settingsPath;

std::string MainSettingsPath()
{
    std::lock_guard<std::mutex> lock(g_settingsPathMutex);
    return g_settingsPath;
}

bool Is(const char *name, const char *expected)
{
    return CompareText(name, expected, 0, 0);
}

// One read of the fallback chain; true when the buffer holds at least one character afterwards
// (which is also the case for a missing item with a non-empty default).
bool ReadNonEmpty(const char *section, const char *item, const char *defaultValue, char *buffer,
                  uint32_t size, const char *file)
{
    Ostravo::E_GetPrivateProfileString(section, item, defaultValue, buffer, size, file);
    return buffer[0] != '\0';
}

} // namespace

bool ProfileKeyFallback(const char *section, const char *item, const char *defaultValue, char *buffer,
                        uint32_t size, const char *file)
{
    if (section == nullptr || buffer == nullptr || size == 0)
        return false;
    const bool calibration = Is(section, "CalibrationSettings");
    const bool cartridge = Is(section, "Cartridge");
    if ((!calibration && !cartridge) || item == nullptr)
        return false;

    std::string mainPath;
    if (file == nullptr) {
        mainPath = MainSettingsPath();
        file = mainPath.c_str();
    }

    if (calibration) {
        const char *oldSection = nullptr;
        if (Is(item, "UpperMagnet") || Is(item, "LowerMagnet") || Is(item, "UpperChannel") ||
            Is(item, "LowerChannel"))
            oldSection = "CountingAlgorithmDlg";
        else if (Is(item, "image_pixels_per_mm"))
            oldSection = "ExperimentSettings";
        else if (Is(item, "ZFactory"))
            oldSection = "Zaber";
        else
            return false;
        if (!ReadNonEmpty("CalibrationSettings", item, defaultValue, buffer, size, file))
            ReadNonEmpty(oldSection, item, defaultValue, buffer, size, file);
        return true;
    }

    const char *channel = nullptr;
    if (Is(item, "CartridgeUpperChannel"))
        channel = "UpperChannel";
    else if (Is(item, "CartridgeLowerChannel"))
        channel = "LowerChannel";
    else
        return false;
    if (!ReadNonEmpty("Cartridge", item, defaultValue, buffer, size, file) &&
        !ReadNonEmpty("CalibrationSettings", channel, defaultValue, buffer, size, file))
        ReadNonEmpty("CountingAlgorithmDlg", channel, defaultValue, buffer, size, file);
    return true;
}

void SetProfileKeyFallbackSettingsPath(const char *path)
{
    std::lock_guard<std::mutex> lock(g_settingsPathMutex);
    g_settingsPath = path ? path : "";
}
