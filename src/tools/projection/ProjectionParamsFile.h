#pragma once
// Named projection parameter sets: files LIB/<name>.pa_params beside the main settings file, or
// section [RightSideProjection] of the main settings file itself under a reserved name. Each
// caller maps a name to its file by its own rule; the rules are kept as the callers rely on them.
#include "analysis/ProjectionAnalysis.h"

#include <string>
#include <vector>

// The reserved set name that means the main settings file.
inline constexpr const char *kExperimentSettingsSet = "__ExperimentSettings__";

enum class ParamsNameRule
{
    DialogLoad, // only the exact reserved name (case-sensitive) means the main settings file
    DialogSave, // any name holding "ExperimentSettings", ignoring case
    Renderer,   // the reserved name ignoring case
    Run,        // no name means the main settings file
};

// True when rule maps name to the main settings file rather than to a LIB file.
bool NameMeansMainSettings(ParamsNameRule rule, const std::string &name);
// The file that holds set name under rule. A LIB file is looked up ignoring the case of its name
// and extension (.pa_params, .PA_params); when none exists the path is LIB/<name>.pa_params.
std::string ProjectionParamsFileFor(ParamsNameRule rule, const std::string &name,
                                    const std::string &settingsPath);

// The sets listed in the set choice: each LIB/*.pa_params cut at its first dot, without the names
// holding "ExperimentSettings" (any case), then the reserved name.
std::vector<std::string> ProjectionParamSetNames(const std::string &settingsPath);

// The dialog's fields as text, as they are shown and written.
struct ProjectionParamsFields
{
    std::string smoothing = "15.0";
    std::string numPeaks = "2";
    std::string stdevArea = "1.0";
    std::string samples = "11";
    bool findValleys = false;
};

// Reads [RightSideProjection] of file into fields: a missing key shows its default; FindValleys
// changes the box only for "TRUE" or "FALSE" (any case).
void ReadProjectionParamsFields(const std::string &file, ProjectionParamsFields &fields);
// Writes the four values as typed, BackgroundSubtract=FALSE and FindValleys; false when a write
// failed.
bool WriteProjectionParamsFields(const std::string &file, const ProjectionParamsFields &fields);
// The fields as parameters: a text that does not convert leaves its member as it was.
void ParamsFromFields(const ProjectionParamsFields &fields, ProjectionAnalysisParams &params);
