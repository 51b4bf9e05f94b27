#include "devices/ExperimentCreation.h"

#include "Ostravo/Profile.h"
#include "Ostravo/ProfileValues.h"
#include "Ostravo/TextFormat.h"
#include "app/PlexorinApp.h"
#include "devices/CartridgeTypes.h"
#include "platform/Clock.h"
#include "platform/Files.h"

#include <string>

namespace {

constexpr int kMaximumNameAttempts = 100;

// folder (trimmed) + '/' when it does not end with a separator + part; an empty folder gives part.
std::string Join(const std::string &folder, const std::string &part)
{
    EString joined;
    joined.JoinPath(folder.c_str(), part.c_str());
    return joined.c_str();
}

std::string FolderFailure(const std::string &path)
{
    std::string text = "Unable to create directory: " + path;
    if (path.size() <= 256) {
        for (size_t i = 0; i < path.size(); ++i) {
            const char c = path[i];
            if (c == '/' || c == '\\' || (c == ':' && i == 1))
                continue;
            if (!IsValidFileNameChar(c)) {
                text += " : directory name contains invalid character(s)";
                break;
            }
        }
    }
    return text;
}

bool MakeLevel(const std::string &path, EString &error)
{
    if (platform::MakeFolder(path))
        return true;
    error.Assign(FolderFailure(path).c_str());
    return false;
}

} // namespace

bool SetupNewExperiment(EString name, EString &error)
{
    const char *ini = theApp.m_ini_path.c_str();
    std::string dataDirectory =
        Ostravo::ReadProfileString("ExperimentSettings", "DataDirectory", "", 1023, ini);
    if (dataDirectory.empty())
        dataDirectory = theApp.m_data_directory;
    dataDirectory = platform::NormalizePath(dataDirectory);
    const std::string daily =
        Ostravo::ReadProfileString("ExperimentSettings", "CreateDailySubDirectory", "", 9, ini);
    const bool dateLevel = !CompareText(daily.c_str(), "FALSE", 0, 0);

    const platform::LocalTime now = platform::Now();
    const std::string timePrefix = FormatText("%d%02d%02d-%02d%02d-%02d_", now.year, now.month, now.day,
                                              now.hour, now.minute, now.second);
    std::string fullName = name.IsNonEmpty() ? timePrefix + name.c_str() : std::string();

    if (!MakeLevel(dataDirectory, error))
        return false;
    std::string parent = dataDirectory;
    if (dateLevel) {
        parent = Join(dataDirectory, FormatText("%d%02d%02d", now.year, now.month, now.day));
        if (!MakeLevel(parent, error))
            return false;
    }

    // The experiment folder must be one that this call made: a creation within the same second
    // under the same name would otherwise record the earlier experiment's folder as its own.
    std::string folder = fullName.empty() ? parent : Join(parent, fullName);
    if (fullName.empty()) {
        if (!MakeLevel(folder, error))
            return false;
    } else {
        // A name that no file name may hold is refused here, whatever this file system takes.
        for (char c : fullName) {
            if (!IsValidFileNameChar(c)) {
                error.Assign(("Unable to create directory: " + folder +
                              " : directory name contains invalid character(s)")
                                 .c_str());
                return false;
            }
        }
        const std::string baseName = fullName;
        bool made = false;
        for (int attempt = 1; attempt <= kMaximumNameAttempts && !made; ++attempt) {
            fullName = attempt == 1 ? baseName : FormatText("%s_%d", baseName.c_str(), attempt);
            folder = Join(parent, fullName);
            made = platform::MakeNewFolder(folder);
            if (!made && !platform::FolderExists(folder))
                break;
        }
        if (!made) {
            error.Assign(FolderFailure(folder).c_str());
            return false;
        }
    }

    const std::string copyPath = Join(folder, "ExperimentSettings.ini");
    const std::pair<const char *, std::string> keys[] = {
        {"ExperimentImageNamePrefix", fullName},
        {"ExperimentFullName", fullName},
        {"ExperimentDirectory", folder},
        {"ExperimentFile", copyPath},
    };
    for (const auto &[key, value] : keys) {
        if (!Ostravo::E_WritePrivateProfileString("ExperimentSettings", key, value.c_str(), ini)) {
            error.Assign(FormatText("Unable to write [ExperimentSettings] %s to %s", key, ini).c_str());
            return false;
        }
    }

    if (!platform::CopyFile(theApp.m_ini_path, copyPath, true)) {
        error.Assign(FormatText("Problem copying %s -> %s", ini, copyPath.c_str()).c_str());
        return false;
    }
    // A copy: a script may set another bar code while the experiment is made.
    const std::string barcode = CurrentCartridgeBarcode();
    if (!ImposeCartridgeTypeOffsets(copyPath.c_str(), barcode.c_str(), error))
        return false;
    if (!ImposeCartridgeTypeOffsets(ini, barcode.c_str(), error))
        return false;

    EString backup(theApp.m_data_directory.c_str());
    backup.AppendPathPart("Backup/Plexorin.ini.bak");
    platform::CopyFile(theApp.m_ini_path, backup.c_str(), false);

    const std::string images = Join(folder, "Images");
    if (!MakeLevel(images, error))
        return false;
    error.Assign("");
    return true;
}

bool MarkExperimentResumed(EString &error)
{
    const char *ini = theApp.m_ini_path.c_str();
    std::string prefix =
        Ostravo::ReadProfileString("ExperimentSettings", "ExperimentImageNamePrefix", "", 1023, ini);
    prefix += "_Resumed";
    if (!Ostravo::E_WritePrivateProfileString("ExperimentSettings", "ExperimentImageNamePrefix",
                                              prefix.c_str(), ini)) {
        error.Assign(
            FormatText("Unable to write [ExperimentSettings] ExperimentImageNamePrefix to %s", ini).c_str());
        return false;
    }
    error.Assign("");
    return true;
}
