#include "tools/projection/ProjectionParamsFile.h"

#include "Ostravo/Profile.h"
#include "platform/Files.h"
#include "platform/PathParts.h"

#include <algorithm>
#include <cstdio>
#include <strings.h>

namespace {

constexpr const char *kSection = "RightSideProjection";

bool ContainsIgnoringCase(const std::string &text, const char *part)
{
    std::string a = text, b = part;
    auto lower = [](std::string &s) {
        std::transform(s.begin(), s.end(), s.begin(),
                       [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    };
    lower(a);
    lower(b);
    return a.find(b) != std::string::npos;
}

std::string LibFolder(const std::string &settingsPath)
{
    // The LIB folder beside the settings file ("./LIB" for a name without a folder).
    return platform::NormalizePath(platform::JoinPath(platform::FolderOf(settingsPath), "LIB"));
}

std::string ReadKey(const std::string &file, const char *key, const char *fallback)
{
    char buffer[1024] = {};
    Ostravo::E_GetPrivateProfileString(kSection, key, fallback, buffer, sizeof buffer, file.c_str());
    return buffer;
}

} // namespace

bool NameMeansMainSettings(ParamsNameRule rule, const std::string &name)
{
    switch (rule) {
    case ParamsNameRule::DialogLoad:
        return name == kExperimentSettingsSet;
    case ParamsNameRule::DialogSave:
        return ContainsIgnoringCase(name, "ExperimentSettings");
    case ParamsNameRule::Renderer:
        return strcasecmp(name.c_str(), kExperimentSettingsSet) == 0;
    case ParamsNameRule::Run:
        break;
    }
    return false;
}

std::string ProjectionParamsFileFor(ParamsNameRule rule, const std::string &name,
                                    const std::string &settingsPath)
{
    if (NameMeansMainSettings(rule, name))
        return settingsPath;
    const std::string lib = LibFolder(settingsPath);
    const std::string found = platform::FindFileIgnoringCase(lib, name + ".pa_params");
    return found.empty() ? lib + "/" + name + ".pa_params" : found;
}

std::vector<std::string> ProjectionParamSetNames(const std::string &settingsPath)
{
    std::vector<std::string> names;
    for (const platform::DirEntry &entry : platform::ListFolder(LibFolder(settingsPath), "*.pa_params")) {
        if (entry.isFolder)
            continue;
        const std::string name = entry.name.substr(0, entry.name.find('.'));
        if (!ContainsIgnoringCase(name, "ExperimentSettings"))
            names.push_back(name);
    }
    names.push_back(kExperimentSettingsSet);
    return names;
}

void ReadProjectionParamsFields(const std::string &file, ProjectionParamsFields &fields)
{
    fields.smoothing = ReadKey(file, "SmoothingWindowMicrons", "15.0");
    fields.numPeaks = ReadKey(file, "NumPeaksToFind", "2");
    fields.stdevArea = ReadKey(file, "StdevIntegrationArea", "1.0");
    fields.samples = ReadKey(file, "IntegrationSamples", "11");
    const std::string valleys = ReadKey(file, "FindValleys", "");
    if (strcasecmp(valleys.c_str(), "TRUE") == 0)
        fields.findValleys = true;
    else if (strcasecmp(valleys.c_str(), "FALSE") == 0)
        fields.findValleys = false;
}

bool WriteProjectionParamsFields(const std::string &file, const ProjectionParamsFields &fields)
{
    const char *f = file.c_str();
    bool ok =
        Ostravo::E_WritePrivateProfileString(kSection, "SmoothingWindowMicrons", fields.smoothing.c_str(), f);
    ok = Ostravo::E_WritePrivateProfileString(kSection, "NumPeaksToFind", fields.numPeaks.c_str(), f) && ok;
    ok =
        Ostravo::E_WritePrivateProfileString(kSection, "StdevIntegrationArea", fields.stdevArea.c_str(), f) &&
        ok;
    ok =
        Ostravo::E_WritePrivateProfileString(kSection, "IntegrationSamples", fields.samples.c_str(), f) && ok;
    ok = Ostravo::E_WritePrivateProfileString(kSection, "BackgroundSubtract", "FALSE", f) && ok;
    ok = Ostravo::E_WritePrivateProfileString(kSection, "FindValleys", fields.findValleys ? "TRUE" : "FALSE",
                                              f) &&
         ok;
    return ok;
}

void ParamsFromFields(const ProjectionParamsFields &fields, ProjectionAnalysisParams &params)
{
    double d = 0.0;
    int i = 0;
    if (sscanf(fields.smoothing.c_str(), "%lf", &d) == 1)
        params.SmoothingWindowMicrons = d;
    if (sscanf(fields.numPeaks.c_str(), "%d", &i) == 1)
        params.NumPeaksToFind = i;
    if (sscanf(fields.samples.c_str(), "%d", &i) == 1)
        params.IntegrationSamples = i;
    if (sscanf(fields.stdevArea.c_str(), "%lf", &d) == 1)
        params.StdevIntegrationArea = d;
    params.FindValleys = fields.findValleys;
}
