#include "analysis/CountingAlgoOptions.h"

#include "Ostravo/ProfileValues.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <string>

namespace {

// Numbers are read as text of at most 30 characters, switches of at most 8.
constexpr uint32_t kNumberSize = 31;
constexpr uint32_t kSwitchSize = 9;

std::string ReadText(const char *key, uint32_t size, const char *file)
{
    return Ostravo::ReadProfileString(kCountingParamsSection, key, "", size, file);
}

bool ParseDouble(const std::string &text, double &value)
{
    return std::sscanf(text.c_str(), "%lf", &value) == 1;
}

bool SwitchIs(const std::string &text, const char *word)
{
    return CompareText(text.c_str(), word, 0, 0);
}

double DoubleOr(const char *key, const char *file, double fallback)
{
    double value = fallback;
    return ParseDouble(ReadText(key, kNumberSize, file), value) ? value : fallback;
}

// Nearest integer, halves away from zero, held in 32 bits.
int32_t RoundToInt32(double value)
{
    if (std::isnan(value))
        return 0;
    return static_cast<int32_t>(std::clamp(std::round(value), double(INT32_MIN), double(INT32_MAX)));
}

const char *TrueFalse(bool value)
{
    return value ? "true" : "false";
}

} // namespace

bool CountingAlgoOptions::LoadFromParamsFile(const char *paramsPath, const char *mainSettingsPath,
                                             EString &error)
{
    const char *file = paramsPath != nullptr ? paramsPath : "";
    pixels_per_mm = ReadPixelsPerMm(mainSettingsPath, kDefaultCountingPixelsPerMm);

    edge_processing = !SwitchIs(ReadText("EdgeProcessing", kSwitchSize, file), "FALSE");
    morph_filter[0] = SwitchIs(ReadText("MFilter1", kSwitchSize, file), "TRUE");
    morph_filter[1] = SwitchIs(ReadText("MFilter2", kSwitchSize, file), "TRUE");
    count_filter[0] = SwitchIs(ReadText("CFilter1", kSwitchSize, file), "TRUE");
    count_filter[1] = SwitchIs(ReadText("CFilter2", kSwitchSize, file), "TRUE");
    object_radius[0] = DoubleOr("ObjectRadius1", file, 0.0);
    object_radius[1] = DoubleOr("ObjectRadius2", file, 0.0);
    radius_sweep[0] = Ostravo::ReadProfileInt(kCountingParamsSection, "ObjectRadiusSweep1", 0, file);
    radius_sweep[1] = Ostravo::ReadProfileInt(kCountingParamsSection, "ObjectRadiusSweep2", 0, file);
    morph_samples[0] = Ostravo::ReadProfileInt(kCountingParamsSection, "MFilterSamples1", 0, file);
    morph_samples[1] = Ostravo::ReadProfileInt(kCountingParamsSection, "MFilterSamples2", 0, file);
    count_threshold[0] = Ostravo::ReadProfileInt(kCountingParamsSection, "CFilterThreshold1", 0, file);
    count_threshold[1] = Ostravo::ReadProfileInt(kCountingParamsSection, "CFilterThreshold2", 0, file);
    count_min_size[0] = Ostravo::ReadProfileInt(kCountingParamsSection, "CFilterMinSize1", 1, file);
    count_min_size[1] = Ostravo::ReadProfileInt(kCountingParamsSection, "CFilterMinSize2", 1, file);
    morph_threshold[0] = Ostravo::ReadProfileInt(kCountingParamsSection, "MFilterThreshold1", 0, file);
    morph_threshold[1] = Ostravo::ReadProfileInt(kCountingParamsSection, "MFilterThreshold2", 0, file);
    use_inner_ring[0] = SwitchIs(ReadText("UseInnerRing1", kSwitchSize, file), "TRUE");
    use_inner_ring[1] = SwitchIs(ReadText("UseInnerRing2", kSwitchSize, file), "TRUE");
    proximity_within_type[0] =
        !SwitchIs(ReadText("ProximityFilteringWithinType1", kSwitchSize, file), "FALSE");
    proximity_within_type[1] =
        !SwitchIs(ReadText("ProximityFilteringWithinType2", kSwitchSize, file), "FALSE");
    proximity_between_types =
        !SwitchIs(ReadText("ProximityFilteringBetweenType1_2", kSwitchSize, file), "FALSE");

    std::string problems;
    auto bound = [&](const char *key, int32_t &value) {
        value = Ostravo::ReadProfileInt(kCountingParamsSection, key, -1, file);
        if (value < 0) {
            problems += "\n";
            problems += key;
            problems += " is missing or invalid";
        }
    };
    bound("Left", left);
    bound("Right", right);
    bound("Top", top);
    bound("Bottom", bottom);
    // Without a ring direction no percentile can be formed: refuse such a set for an enabled type.
    for (int t = 0; t < 2; ++t) {
        if (morph_filter[t] && morph_samples[t] < 1) {
            problems += "\nMFilterSamples";
            problems += std::to_string(t + 1);
            problems += " must be at least 1";
        }
    }

    if (!problems.empty()) {
        std::string header = "File: ";
        header += file;
        header += "\nSection [";
        header += kCountingParamsSection;
        header += "]\nHas the following problems:\n";
        error.Append((header + problems).c_str());
    }
    return !error.IsNonEmpty();
}

bool CountingAlgoOptions::SetParamByName(const char *name, double value, EString &error)
{
    auto is = [&](const char *key) { return name != nullptr && CompareText(name, key, 0, 0); };
    if (is("ObjectRadius1"))
        object_radius[0] = value;
    else if (is("ObjectRadius2"))
        object_radius[1] = value;
    else if (is("ObjectRadiusSweep1"))
        radius_sweep[0] = RoundToInt32(value);
    else if (is("ObjectRadiusSweep2"))
        radius_sweep[1] = RoundToInt32(value);
    else if (is("MFilterThreshold1"))
        morph_threshold[0] = RoundToInt32(value);
    else if (is("MFilterThreshold2"))
        morph_threshold[1] = RoundToInt32(value);
    else if (is("MFilterSamples1"))
        morph_samples[0] = RoundToInt32(value);
    else if (is("MFilterSamples2"))
        morph_samples[1] = RoundToInt32(value);
    else if (is("CFilterThreshold1"))
        count_threshold[0] = RoundToInt32(value);
    else if (is("CFilterThreshold2"))
        count_threshold[1] = RoundToInt32(value);
    else if (is("CFilterMinSize1"))
        count_min_size[0] = RoundToInt32(value);
    else if (is("CFilterMinSize2"))
        count_min_size[1] = RoundToInt32(value);
    else {
        error.Assign("CountingAlgoOptions::SetParamByName() Unknown parameter name: ");
        error.Append(name != nullptr ? name : "");
        return false;
    }
    return true;
}

void CountingAlgoOptions::WriteAsComments(std::vector<std::string> &lines, const char *mainSettingsPath)
{
    if (!enabled) {
        lines.emplace_back("# ******** Circular cell detection algo is not enabled. ********");
        return;
    }
    if (pixels_per_mm == 0.0)
        pixels_per_mm = ReadPixelsPerMm(mainSettingsPath, kDefaultCountingPixelsPerMm);

    char text[160];
    auto add = [&](const char *format, auto... args) {
        std::snprintf(text, sizeof text, format, args...);
        lines.emplace_back(text);
    };
    lines.emplace_back("# ******* Circular cell detection algo parameters ********");
    add("#pixels_per_mm=%3.1lf", pixels_per_mm);
    add("#ROI.left=%ld", long(left));
    add("#ROI.right=%ld", long(right));
    add("#ROI.top=%ld", long(top));
    add("#ROI.bottom=%ld", long(bottom));
    lines.emplace_back("");
    add("#NUM_FILTERS=%ld", 2L);
    add("#b_edge_processing=%s", TrueFalse(edge_processing));
    lines.emplace_back("");
    for (int t = 0; t < 2; ++t) {
        const long k = t + 1;
        add("# *** Morphological Filter %ld Options ****", k);
        add("#morph_filter[%ld]=%s", k, TrueFalse(morph_filter[t]));
        add("#radius[%ld]=%5.3lf\tum", k, object_radius[t]);
        add("#radius[%ld]=%5.3lf\tpixels", k, object_radius[t] / 1000.0 * pixels_per_mm);
        add("#radius_sweep[%ld]=%ld", k, long(radius_sweep[t]));
        add("#samples[%ld]=%ld", k, long(morph_samples[t]));
        add("#mthreshold[%ld]=%ld", k, long(morph_threshold[t]));
        add("#use_inner_ring[%ld]=%s", k, TrueFalse(use_inner_ring[t]));
        add("# *** Count Filter %ld Options ****", k);
        add("#count_filter=%s", TrueFalse(count_filter[t]));
        add("#threshold[%ld]=%ld", k, long(count_threshold[t]));
        add("#min_size[%ld]=%ld", k, long(count_min_size[t]));
        add("#proximity_filtering_per_type[%ld]=%s", k, TrueFalse(proximity_within_type[t]));
    }
    add("#cross_type_filtering=%s", TrueFalse(proximity_between_types));
}

double ReadPixelsPerMm(const char *mainSettingsPath, double fallback)
{
    const char *file = mainSettingsPath != nullptr ? mainSettingsPath : "";
    double value = fallback;
    return ParseDouble(Ostravo::ReadProfileString("CalibrationSettings", "image_pixels_per_mm", "",
                                                  kNumberSize, file),
                       value)
               ? value
               : fallback;
}
