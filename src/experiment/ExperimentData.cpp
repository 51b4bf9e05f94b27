#include "experiment/ExperimentData.h"

#include "Ostravo/LogError.h"
#include "Ostravo/Profile.h"
#include "Ostravo/ProfileValues.h"
#include "platform/ErrorText.h"
#include "platform/Files.h"
#include "platform/PathParts.h"

#include <cstdio>

namespace {

using platform::SetError;

// Full path of the first file of folder matching pattern (ignoring case), in the listing's order:
// names compared with letters folded to upper case, as Windows listed them.
std::string FirstFile(const std::string &folder, const char *pattern)
{
    for (const platform::DirEntry &entry : platform::ListFolder(folder, pattern)) {
        if (entry.isFolder)
            continue;
        EString path;
        path.JoinPath(folder.c_str(), entry.name.c_str());
        return path.c_str();
    }
    return std::string();
}

std::string ReadProfileText(const char *section, const char *key, const std::string &file, uint32_t size)
{
    std::vector<char> buffer(size, '\0');
    if (!Ostravo::E_GetPrivateProfileString(section, key, "", buffer.data(), size, file.c_str()))
        return std::string();
    return std::string(buffer.data());
}

} // namespace

bool ExperimentData::Open(const std::string &folder, std::string *error)
{
    if (!platform::FolderExists(folder)) {
        const std::string message = "Experiment folder does not exist: " + folder;
        LogError(__FILE__, __LINE__, message);
        return SetError(error, message);
    }
    const std::string log = FirstFile(folder, "*.log");
    if (log.empty()) {
        const std::string message = "No capture log (*.log) in the experiment folder: " + folder;
        LogError(__FILE__, __LINE__, message);
        return SetError(error, message);
    }
    // Every analysis reads the channel rows and calibration from the settings file; without one
    // they would silently run on made-up defaults.
    const std::string settings = FirstFile(folder, "*.ini");
    if (settings.empty()) {
        const std::string message = "No settings file (*.ini) in the experiment folder: " + folder;
        LogError(__FILE__, __LINE__, message);
        return SetError(error, message);
    }
    m_log_path = log;
    m_settings_path = settings;
    m_folder = folder;
    return true;
}

bool ExperimentData::ReadSettings(const std::string &settings_path, std::string &)
{
    m_upper_channel = Ostravo::ReadProfileInt("Cartridge", "CartridgeUpperChannel", 0, settings_path.c_str());
    m_lower_channel_end =
        Ostravo::ReadProfileInt("Cartridge", "CartridgeLowerChannel", 0, settings_path.c_str());
    double ppm = 0.0;
    const std::string text = ReadProfileText("CalibrationSettings", "image_pixels_per_mm", settings_path, 31);
    m_pixels_per_mm = std::sscanf(text.c_str(), "%lf", &ppm) == 1 ? ppm : -1.0;
    m_experiment_full_name = ReadProfileText("ExperimentSettings", "ExperimentFullName", settings_path, 1023);
    if (m_experiment_full_name.empty())
        m_experiment_full_name = m_folder;
    m_lower_channel_end += 1;
    m_crop_top = m_upper_channel - 100;
    m_crop_bottom = m_lower_channel_end + 100;
    return true;
}

std::vector<std::string> ExperimentData::SplitString(const std::string &text, char separator)
{
    std::vector<std::string> fields;
    std::string field;
    for (char c : text) {
        if (c == separator) {
            fields.push_back(field);
            field.clear();
        } else {
            field += c;
        }
    }
    fields.push_back(field);
    return fields;
}

void MakeExperimentImagePath(EString folder, EString file_name, EString &path)
{
    EString images(folder);
    images.Trim();
    if (images.IsNonEmpty()) {
        if (!platform::EndsWithSeparator(images.c_str()))
            images.Append("/");
        images.Append("Images");
    } else {
        images.Assign("/Images");
    }
    std::string found = images.c_str();
    if (!platform::FileExists(found) && !platform::FolderExists(found)) {
        // The Windows build found "images" or "IMAGES" too.
        EString trimmed(folder);
        trimmed.Trim();
        found = platform::FindFileIgnoringCase(trimmed.IsNonEmpty() ? trimmed.c_str() : "/", "Images");
    }
    if (!found.empty())
        path.JoinPath(platform::NormalizePath(found).c_str(), file_name.c_str());
    else
        path.JoinPath(folder.c_str(), file_name.c_str());
}

bool ExperimentData::GetContrastReferenceImages(EString &brightfield_path, EString &fluorescence1_path,
                                                EString &fluorescence2_path) const
{
    brightfield_path.Assign("");
    fluorescence1_path.Assign("");
    fluorescence2_path.Assign("");
    if (m_selected_run.size() < 11)
        return false;
    const ChannelImageSet &images = m_selected_run[10].images;
    bool result = true;
    const ChannelImage *slots[3] = {&images.brightfield, &images.fluorescence1, &images.fluorescence2};
    EString *outputs[3] = {&brightfield_path, &fluorescence1_path, &fluorescence2_path};
    for (int i = 0; i < 3; ++i) {
        if (slots[i]->file_name.empty())
            continue;
        MakeExperimentImagePath(EString(m_folder.c_str()), EString(slots[i]->file_name.c_str()), *outputs[i]);
        result = result && platform::FileExists(outputs[i]->c_str());
    }
    return result;
}
