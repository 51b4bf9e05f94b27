#include "app/SettingsFile.h"

#include "app/PlexorinApp.h"

#include "Ostravo/EString.h"
#include "Ostravo/LogError.h"
#include "Ostravo/Profile.h"
#include "Ostravo/ProfileValues.h"
#include "Ostravo/TextFormat.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/SystemInfo.h"
#include "platform/Ui.h"

#include <cstdio>

namespace {

// Reads one value into a 31-character buffer with the empty text as default.
std::string ReadValue(const char *section, const char *key, const std::string &file, uint32_t size = 31)
{
    std::string buffer(size, '\0');
    Ostravo::E_GetPrivateProfileString(section, key, "", buffer.data(), size, file.c_str());
    buffer.resize(std::char_traits<char>::length(buffer.c_str()));
    return buffer;
}

bool ParseDouble(const std::string &text, double &value)
{
    return std::sscanf(text.c_str(), "%lf", &value) == 1;
}

// An existing file of that name, looked up ignoring case as the Windows installation did; the
// path as given when there is none.
std::string ExistingOrGiven(const std::string &folder, const std::string &name)
{
    std::string found = platform::FindFileIgnoringCase(folder, name);
    return found.empty() ? folder + "/" + name : found;
}

// Copies the corrupt settings file into the Backup folder under a name of its own,
// Plexorin.ini.<YYYYMMDD-HHMMSS>.corrupt (then _2, _3, ... within one second), so that a later
// incident never overwrites the copy of an earlier one.
bool KeepCorruptCopy(const std::string &settingsPath, const std::string &backupFolder)
{
    const platform::LocalTime t = platform::Now();
    const std::string stem = backupFolder + "/" +
                             FormatText("Plexorin.ini.%04d%02d%02d-%02d%02d%02d", t.year, t.month, t.day,
                                        t.hour, t.minute, t.second);
    for (int attempt = 1; attempt <= 100; ++attempt) {
        const std::string kept = stem + (attempt == 1 ? "" : "_" + std::to_string(attempt)) + ".corrupt";
        if (platform::FileExists(kept))
            continue;
        return platform::CopyFile(settingsPath, kept, true);
    }
    return false;
}

} // namespace

bool ValidateSettingsFile(std::string path, bool full)
{
    bool valid = true;
    double pixelsPerMm = 0.0;
    if (!ParseDouble(ReadValue("CalibrationSettings", "image_pixels_per_mm", path), pixelsPerMm) ||
        pixelsPerMm == -1.0)
        valid = false;
    if (full) {
        // A missing or unreadable value reads as -1, which the check refuses like a stored -1.
        if (Ostravo::ReadProfileInt("TecanCentris", "Pump2SyringeVolume", -1, path.c_str()) == -1)
            valid = false;
        if (Ostravo::ReadProfileInt("AutoScale", "LowMappingDisplayIntensity", -1, path.c_str()) == -1)
            valid = false;
    }
    return valid;
}

std::string LegacySettingsFilePath()
{
    return ExistingOrGiven(platform::DocumentsFolder() + "/Quorvane", "Plexorin.ini");
}

bool CPlexorinApp::CreateSettingsFileIfMissing()
{
    if (platform::FileExists(m_ini_path))
        return true;

    std::string templatePath = ExistingOrGiven(m_data_directory, "Default/Vantelis.ini");
    // The copy goes through a temporary file: an interrupted copy never leaves a half settings file
    // that every later start would refuse.
    if (!platform::CopyFile(templatePath, m_ini_path, true)) {
        const char *text = "Unable to create Plexorin.ini file.  Please contact Quorvane for support.";
        LogError(__FILE_NAME__, __LINE__, text);
        platform::ui::MessageBox(text, m_product_name, platform::ui::MbOk | platform::ui::MbIconError);
        return false;
    }

    // Calibration of an older installation is taken over once, and only when all of it is usable.
    std::string legacy = LegacySettingsFilePath();
    if (platform::FileExists(legacy)) {
        const char *rowKeys[4] = {"UpperMagnet", "LowerMagnet", "UpperChannel", "LowerChannel"};
        int32_t rows[4];
        bool usable = true;
        for (int i = 0; i < 4; ++i) {
            rows[i] = Ostravo::ReadProfileInt("CalibrationSettings", rowKeys[i], -1, legacy.c_str());
            usable = usable && rows[i] > 0;
        }
        double zFactor = -1.0, pixelsPerMm = -1.0;
        if (!ParseDouble(ReadValue("CalibrationSettings", "ZFactory", legacy), zFactor))
            zFactor = -1.0;
        if (!ParseDouble(ReadValue("CalibrationSettings", "image_pixels_per_mm", legacy), pixelsPerMm))
            pixelsPerMm = -1.0;
        usable = usable && zFactor > 0 && pixelsPerMm > 0;
        std::string deviceName = ReadValue("DigitalIO", "NI_USB-6001_Device_Name", legacy, 1024);

        if (usable) {
            const char *ini = m_ini_path.c_str();
            for (int i = 0; i < 4; ++i)
                Ostravo::E_WritePrivateProfileString("CalibrationSettings", rowKeys[i],
                                                     EString(rows[i]).c_str(), ini);
            char number[16];
            Ostravo::E_WritePrivateProfileString("CalibrationSettings", "ZFactory",
                                                 FormatDouble(zFactor, number), ini);
            Ostravo::E_WritePrivateProfileString("CalibrationSettings", "image_pixels_per_mm",
                                                 FormatDouble(pixelsPerMm, number), ini);
            Ostravo::E_WritePrivateProfileString("DigitalIO", "NI_USB-6001_Device_Name", deviceName.c_str(),
                                                 ini);
        }
    }
    return true;
}

bool CPlexorinApp::ValidateOrRestoreSettingsFile()
{
    if (ValidateSettingsFile(m_ini_path, true))
        return true;

    std::string backupFolder = m_data_directory + "/Backup";
    std::string backup = ExistingOrGiven(backupFolder, "Plexorin.ini.bak");
    if (platform::FileExists(backup) && ValidateSettingsFile(backup, true)) {
        // The corrupt file is kept beside the backup before the backup replaces it: whatever it
        // still holds can be recovered by hand. Without that copy nothing is overwritten.
        if (KeepCorruptCopy(m_ini_path, backupFolder) && platform::CopyFile(backup, m_ini_path, false)) {
            platform::ui::MessageBox("The Plexorin.ini file is corrupted and is retored from the backup.",
                                     m_product_name);
            return true;
        }
    }
    char text[4096];
    std::snprintf(
        text, sizeof text,
        "The Plexorin.ini file is corrupted. Please: \n1) Select an Plexorin.ini backup in '%s'; \n2) "
        "Copy it to '%s'; and \n3) Rename the copy to Plexorin.ini.",
        backupFolder.c_str(), m_data_directory.c_str());
    platform::ui::MessageBox(text, m_product_name);
    return false;
}
