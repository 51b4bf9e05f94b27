#include "devices/ExperimentSettings.h"

#include "Ostravo/LogError.h"
#include "Ostravo/Profile.h"
#include "Ostravo/ProfileValues.h"
#include "Ostravo/TecanCentris.h"
#include "Ostravo/TextFormat.h"
#include "app/DeviceServices.h"
#include "app/PlexorinApp.h"
#include "platform/Ui.h"

#include <cstring>

namespace {

constexpr int kDefaultMinExposureUs = 29;
constexpr int kDefaultMaxExposureUs = 1000000;

using F = ExperimentSettingField;

std::vector<ExperimentSettingField> MakeFields()
{
    const char *const ini = "ExperimentSettings";
    const char *const zaber = "Zaber";
    const char *const tecan = "TecanCentris";
    const char *const nameMessage =
        "%s has invalid characters, only valid Windows file name characters allowed.";
    std::vector<F> fields = {
        {1003, "Data Directory", ini, "DataDirectory", F::Text, 0, 0, "", ""},
        {1010, "Create Daily Sub Directory", ini, "CreateDailySubDirectory", F::Check, 0, 0, "", "FALSE"},
        {1013, "Experiment Name", ini, "ExperimentName", F::FileName, 0, 0, nameMessage, ""},
        {1306, "Tecan dual syringe pumps", tecan, "InitializeTecanPumpsOnStartup", F::Check, 0, 0, "",
         "TRUE"},
        {1308, "Zaber: Focus", zaber, "InitializeZaberOnStartup", F::Check, 0, 0, "", "FALSE"},
        {1309, "Zaber: X-Axis", zaber, "InitializeZaberXAxisOnStartup", F::Check, 0, 0, "", "FALSE"},
        {1017, "Warning if fraction of dark pixels exceeds", ini, "DarkPixelsMaxFraction", F::Real, 0, 0.999,
         "Dark pixels max fraction must be a floating point number between 0 and 0.999", "0"},
        {1019, "Warning if fraction of satured pixels exceeds", ini, "SatPixelsMaxFraction", F::Real, 0,
         0.999, "Saturated pixels max fraction must be a floating point number between 0 and 0.999", "0.01"},
        // The capture has no dark-pixel check while the threshold is missing: shown empty.
        {1018, "Dark pixels have intensity at or below (counts)", ini, "DarkPixelThreshold", F::Integer, 0,
         1024, "Dark pixel threshold must be an integer between 0 and 1024.", ""},
        {1020, "Saturated pixels have intensity at or above (counts)", ini, "SatPixelThreshold", F::Integer,
         1024, 65536, "Saturation pixel threshold must be an integer between 0 and 64K.", "65536"},
        {1039, "Image Capture Period (ms) (zero for single capture)", ini, "ImageCapturePeriod", F::Integer,
         0, 3600000,
         "Image capture period must be between 0 and 3600000. Where 0 indicates that only a single image "
         "will "
         "be acquired and saved per active image type.",
         "0"},
        {1052, "Image Capture Count", ini, "ImageCaptureCount", F::Integer, 1, 10000,
         "Image capture count must be an integer between 1 and 10000.", "1"},
        {1015, "Active", ini, "IsActive1", F::Check, 0, 0, "", "FALSE"},
        {1016, "Active", ini, "IsActive2", F::Check, 0, 0, "", "FALSE"},
        {1021, "Active", ini, "IsActive3", F::Check, 0, 0, "", "FALSE"},
        {1022, "Active", ini, "IsActive4", F::Check, 0, 0, "", "FALSE"},
        {1040, "Name", ini, "ImageTypeName1", F::FileName, 0, 0, nameMessage, ""},
        {1041, "Name", ini, "ImageTypeName2", F::FileName, 0, 0, nameMessage, ""},
        {1046, "Name", ini, "ImageTypeName3", F::FileName, 0, 0, nameMessage, ""},
        {1047, "Name", ini, "ImageTypeName4", F::FileName, 0, 0, nameMessage, ""},
        {1044, "Exposure (us)", ini, "ImageTypeExposure1", F::Exposure, 0, 0, "", ""},
        {1045, "Exposure (us)", ini, "ImageTypeExposure2", F::Exposure, 0, 0, "", ""},
        {1050, "Exposure (us)", ini, "ImageTypeExposure3", F::Exposure, 0, 0, "", ""},
        {1051, "Exposure (us)", ini, "ImageTypeExposure4", F::Exposure, 0, 0, "", ""},
        {1245, "Lock Aspect Ratio", ini, "LockAspectRatio", F::Check, 0, 0, "", "FALSE"},
        {1246, "Width/Height", ini, "AspectRatio", F::Text, 0, 0, "", "1"},
        {1247, "Monitor scale factor", ini, "MonitorScaleFactor", F::ScaleFactor, 0.333, 3.0,
         "%s must be between 0.333 and 3.0", "1"},
        {1331, "Zaber Device (focus)", zaber, "ZaberFocusDeviceIndex", F::Integer, 1, 99,
         "ZaberFocusDeviceIndex must be an integer between 1 and 99", "1"},
        {1332, "Zaber Device (X axis)", zaber, "ZaberXAxisDeviceIndex", F::Integer, 1, 99,
         "ZaberXAxisDeviceIndex must be an integer between 1 and 99", "1"},
        {1333, "Zaber Axis (focus)", zaber, "ZaberFocusAxisIndex", F::Integer, 1, 99,
         "ZaberFocusAxisIndex must be an integer between 1 and 99", "1"},
        {1334, "Zaber Axis (X axis)", zaber, "ZaberXAxisIndex", F::Integer, 1, 99,
         "ZaberXAxisIndex must be an integer between 1 and 99", "2"},
        {1335, "Steps per mm (focus)", zaber, "ZaberStepsPerMM_Z", F::Real, 1000, 100000,
         "ZaberStepsPerMM must be a floating point value between 1000 and 100000", "20997.38"},
        {1336, "Steps per mm (X axis)", zaber, "ZaberStepsPerMM_X", F::Real, 1000, 100000,
         "ZaberStepsPerMM must be a floating point value between 1000 and 100000", "20997.38"},
        {1365, "Tecan: Min time between commands (ms)", tecan, "min_time_between_commands_ms", F::PumpGap, 0,
         1000, "Tecan: Min time between commands must be between 0 and 2000 ms", "0"},
    };
    return fields;
}

bool ScanWholeInt(const std::string &text, int32_t &value)
{
    return Ostravo::ScanInt(text, value);
}

bool ScanReal(const std::string &text, double &value)
{
    return Ostravo::ScanNumber(text, value);
}

std::string Read(const char *section, const char *key, const char *fallback)
{
    return Ostravo::ReadProfileString(section, key, fallback, 1023, theApp.m_ini_path.c_str());
}

void Refuse(const std::string &message)
{
    LogError(__FILE_NAME__, __LINE__, message);
    platform::ui::MessageBox(message);
}

} // namespace

bool ValidateExposureForCamera(int exposureUs, EString &error)
{
    int32_t low = kDefaultMinExposureUs;
    int32_t high = kDefaultMaxExposureUs;
    CameraInterface *camera = theApp.m_camera;
    EString model;
    EString modelError;
    if (camera && camera->IsInitialized() && camera->GetModelName(model, modelError) && model.IsNonEmpty()) {
        const std::string section = FormatText("%s Settings", model.c_str());
        if (!ScanWholeInt(Read(section.c_str(), "min_exposure_us", "29"), low))
            low = kDefaultMinExposureUs;
        if (!ScanWholeInt(Read(section.c_str(), "max_exposure_us", "1000000"), high))
            high = kDefaultMaxExposureUs;
        if (low <= 2 || high <= 999 || high > 10000000 || low >= high) {
            low = kDefaultMinExposureUs;
            high = kDefaultMaxExposureUs;
        }
    }
    if (exposureUs < low) {
        error.Assign(FormatText("exposure must be at least %ld us", static_cast<long>(low)).c_str());
        return false;
    }
    if (exposureUs > high) {
        error.Assign(FormatText("exposure must be no more than %ld us", static_cast<long>(high)).c_str());
        return false;
    }
    return true;
}

const std::vector<ExperimentSettingField> &ExperimentSettingFields()
{
    static const std::vector<ExperimentSettingField> fields = MakeFields();
    return fields;
}

std::string ShownExperimentSetting(const ExperimentSettingField &field)
{
    if (field.kind == F::Check) {
        const std::string value = Read(field.section, field.key, "");
        if (std::strcmp(field.missing, "TRUE") == 0) // checked unless "FALSE"
            return CompareText(value.c_str(), "FALSE", 0, 0) ? "FALSE" : "TRUE";
        return CompareText(value.c_str(), "TRUE", 0, 0) ? "TRUE" : "FALSE";
    }
    if (std::strcmp(field.key, "DataDirectory") == 0) {
        const std::string value = Read(field.section, field.key, "");
        return value.empty() ? theApp.m_data_directory : value;
    }
    return Read(field.section, field.key, field.missing);
}

bool CheckExperimentSetting(const ExperimentSettingField &field, const std::string &text,
                            std::string &message)
{
    message.clear();
    switch (field.kind) {
    case F::Check:
    case F::Text:
        return true;
    case F::FileName: {
        if (text.size() > 256)
            return true;
        for (char c : text) {
            if (!IsValidFileNameChar(c)) {
                message = FormatText(field.message, field.key);
                return false;
            }
        }
        return true;
    }
    case F::Integer: {
        int32_t value = 0;
        if (ScanWholeInt(text, value) && value >= field.low && value <= field.high)
            return true;
        message = field.message;
        return false;
    }
    case F::Real: {
        double value = 0;
        if (ScanReal(text, value) && value >= field.low && value <= field.high)
            return true;
        message = field.message;
        return false;
    }
    case F::Exposure: {
        if (text.empty())
            return true;
        int32_t value = 0;
        if (!ScanWholeInt(text, value)) {
            // Not a number at all: the lowest exposure is what is missing.
            value = 0;
        }
        EString error;
        if (ValidateExposureForCamera(value, error))
            return true;
        message = error.c_str();
        return false;
    }
    case F::ScaleFactor: {
        if (text.empty())
            return true;
        double value = 0;
        if (ScanReal(text, value) && value >= field.low && value < field.high)
            return true;
        message = FormatText(field.message, field.key);
        return false;
    }
    case F::PumpGap: {
        int32_t value = 0;
        if (ScanWholeInt(text, value) && value >= 0 && value <= 1000)
            return true;
        if (ScanWholeInt(text, value) && value > 1000 && value <= 2000)
            message = FormatText("TecanCentris::SetMinimumTimeBetweenCommands (%lu) maximum delay is 1000 ms",
                                 static_cast<unsigned long>(value));
        else
            message = field.message;
        return false;
    }
    }
    return false;
}

int SaveExperimentSettings(const std::map<int, std::string> &changed)
{
    if (changed.empty())
        return 0;
    const char *ini = theApp.m_ini_path.c_str();
    int refused = 0;
    for (const ExperimentSettingField &field : ExperimentSettingFields()) {
        const auto found = changed.find(field.control);
        if (found != changed.end()) {
            std::string message;
            if (!CheckExperimentSetting(field, found->second, message)) {
                Refuse(message);
                ++refused;
            } else {
                bool write = true;
                if (field.kind == F::PumpGap) {
                    int32_t gap = 0;
                    Ostravo::ScanInt(found->second, gap);
                    EString error;
                    if (!TecanCentris::SetMinimumTimeBetweenCommands(static_cast<uint16_t>(gap), error)) {
                        Refuse(error.c_str());
                        ++refused;
                        write = false;
                    }
                }
                if (write)
                    Ostravo::E_WritePrivateProfileString(field.section, field.key, found->second.c_str(),
                                                         ini);
            }
        }
        if (std::strcmp(field.key, "ExperimentName") == 0)
            Ostravo::E_WritePrivateProfileString("ExperimentSettings", "SaveLogInImageDirectory", "FALSE",
                                                 ini);
    }
    return refused;
}
