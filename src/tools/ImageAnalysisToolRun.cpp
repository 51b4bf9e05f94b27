#include "tools/ImageAnalysisToolRun.h"

#include "Ostravo/EString.h"
#include "Ostravo/Profile.h"
#include "Ostravo/ProfileValues.h"
#include "platform/Files.h"
#include "tools/CountingParams.h"
#include "tools/ImageFileList.h"

#include <algorithm>
#include <cstdio>

namespace {

std::string Join(const std::string &folder, const std::string &name)
{
    EString joined;
    joined.JoinPath(folder.c_str(), name.c_str());
    return joined.c_str();
}

std::string Formatted(const char *format, const std::string &a, long value)
{
    char text[2048];
    std::snprintf(text, sizeof text, format, a.c_str(), "CalibrationSettings", value);
    return text;
}

} // namespace

bool PrepareImageAnalysisToolRun(const ImageAnalysisToolChoice &choice, const std::string &libFolder,
                                 const std::string &mainSettingsPath, ImageAnalysisRunParams &run,
                                 ImageAnalysisToolRefusal &refusal)
{
    run.image_files = choice.files;
    if (run.image_files.empty()) {
        refusal = {"You must select at least one file to process.", false};
        return false;
    }

    run.counting_options.enabled = false;
    run.epi_params.enabled = false;
    std::string nameMessage;
    if (!choice.circular_set.empty()) {
        // A typed name is a file name in the LIB folder, never a way out of it.
        if (!ValidateSetName(choice.circular_set, nameMessage)) {
            refusal = {nameMessage, true};
            return false;
        }
        const std::string path = Join(libFolder, choice.circular_set + ".counting_params");
        run.circular_params_file.Assign(path.c_str());
        if (!platform::FileExists(path)) {
            refusal = {"Circular algo params file: " + path + " does not exist", true};
            return false;
        }
        EString error;
        if (!run.counting_options.LoadFromParamsFile(path.c_str(), mainSettingsPath.c_str(), error)) {
            refusal = {error.c_str(), true};
            return false;
        }
        run.counting_options.enabled = true;
    }
    if (!choice.epi_set.empty()) {
        if (!ValidateSetName(choice.epi_set, nameMessage)) {
            refusal = {nameMessage, true};
            return false;
        }
        const std::string path = Join(libFolder, choice.epi_set + ".epi_counting_params");
        run.epi_params_file.Assign(path.c_str());
        if (!platform::FileExists(path)) {
            refusal = {"Epi algo params file: " + path + " does not exist", true};
            return false;
        }
        run.epi_params.Load(path.c_str());
        EString error;
        if (!run.epi_params.Validate(error)) {
            refusal = {error.c_str(), true};
            return false;
        }
        run.epi_params.enabled = true;
    }
    if (!run.counting_options.enabled && !run.epi_params.enabled) {
        refusal = {"You must specify a circular and/or epi algo params file.", true};
        return false;
    }

    run.image_folder.Assign(choice.image_folder.c_str());

    std::string error;
    // A missing or unreadable row reads as a value that fails its check.
    const int32_t upper = Ostravo::ReadProfileInt("CalibrationSettings", "UpperMagnet", -10000,
                                                  choice.magnet_file.c_str(), 1024);
    if (upper < -3000)
        error +=
            Formatted("%s - missing [%s] UpperMagnet=%ld must be >= -3000", choice.magnet_file, long(upper));
    const int32_t lower =
        Ostravo::ReadProfileInt("CalibrationSettings", "LowerMagnet", -1, choice.magnet_file.c_str(), 1024);
    if (lower < 0)
        error += Formatted("%s - missing [%s] LowerMagnet=nnn", choice.magnet_file, 0);
    // Equal rows leave no height between the magnets: every height and LP value of the run would be
    // infinite or not a number.
    if (upper == lower && upper >= -3000 && lower >= 0)
        error += Formatted("%s - [%s] UpperMagnet and LowerMagnet must not be equal (both %ld)",
                           choice.magnet_file, long(upper));
    run.upper_magnet = upper;
    run.lower_magnet = lower;

    run.lp_curve = LPCurveParams{};
    if (!choice.lp_curve_set.empty()) {
        double gd = 0.0;
        if (std::sscanf(choice.gd_conc.c_str(), "%lf", &gd) != 1)
            gd = 0.0;
        if (!(gd > 0.001 && gd < 1000.0)) {
            error += "Gd_conc must be between 0.001 and 1000 mM";
        } else if (!ValidateSetName(choice.lp_curve_set, nameMessage)) {
            error += nameMessage;
        } else {
            const std::string path = Join(libFolder, choice.lp_curve_set + ".LP_curve_params");
            EString curveError;
            if (!run.lp_curve.Load(gd, path.c_str(), curveError))
                error += curveError.c_str();
        }
    }
    if (!error.empty()) {
        refusal = {error, true};
        return false;
    }
    return true;
}

void WriteAnalysisParamsHeader(const ImageAnalysisToolChoice &choice, const std::string &libFolder,
                               std::vector<std::string> &header, const std::string &runFolder)
{
    const struct
    {
        const std::string *name; // null: no field in this window
        const char *extension;
        const char *prefix;
    } rows[] = {
        {&choice.circular_set, ".counting_params", "#cir_params="},
        {&choice.epi_set, ".epi_counting_params", "#epi_params="},
        {&choice.lp_curve_set, ".LP_curve_params", "#LP_curve="},
        {nullptr, ".PA_params", "#Projection Analysis params file="},
        {nullptr, ".bg_calib_params", "#Background Calibration params file="},
    };
    std::string message;
    for (const auto &row : rows) {
        const std::string name = row.name ? *row.name : std::string();
        // Only a plain set name is copied: Run has refused every other one already.
        if (!name.empty() && ValidateSetName(name, message)) {
            const std::string file = name + row.extension;
            platform::CopyFile(Join(libFolder, file), Join(runFolder, file), false);
        }
        header.push_back(row.prefix + name);
    }
    header.push_back("#Gd_conc=" + choice.gd_conc);
}

std::vector<std::string> ListParamSetNamesToFirstDot(const std::string &libFolder, const std::string &pattern)
{
    std::vector<std::string> names;
    for (const platform::DirEntry &entry : platform::ListFolder(libFolder, pattern)) {
        if (entry.isFolder)
            continue;
        names.push_back(entry.name.substr(0, entry.name.find('.')));
    }
    std::stable_sort(names.begin(), names.end(), ImageNameLess);
    return names;
}
