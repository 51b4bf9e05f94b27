#pragma once
// The option set of circular cell counting, read from a .counting_params file (section
// [CountingAlgorithmDlg]) and the scale of the main settings file.
#include "Ostravo/EString.h"

#include <cstdint>
#include <string>
#include <vector>

struct CountingAlgoOptions
{
    // Image scale: pixels = micrometres x pixels_per_mm / 1000. From [CalibrationSettings]
    // image_pixels_per_mm of the main settings file.
    double pixels_per_mm = 0.0;
    bool edge_processing = false;
    // Per object type (index 0 for type 1): a type without its M filter is skipped entirely.
    bool morph_filter[2] = {false, false};
    bool count_filter[2] = {false, false};
    bool proximity_within_type[2] = {false, false};
    bool proximity_between_types = false;
    double object_radius[2] = {0.0, 0.0}; // micrometres
    int32_t radius_sweep[2] = {0, 0};     // micrometres, half-range of the candidate radii
    int32_t morph_threshold[2] = {0, 0};  // minimum grey level of the ring's 25th percentile
    int32_t morph_samples[2] = {0, 0};    // ring directions
    int32_t count_threshold[2] = {0, 0};  // minimum M response of a region pixel
    int32_t count_min_size[2] = {0, 0};   // minimum pixel count of a region
    bool use_inner_ring[2] = {false, false};
    // Circular counting is part of the current run; set by the owner after a successful load.
    bool enabled = false;
    // Region to count in, inclusive pixel bounds.
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;

    // Reads every key of the parameter file (defaults for missing or unparsable values) and the
    // scale from mainSettingsPath (1000 when missing). True when error is empty at the end; a
    // missing, unparsable or negative region bound, or a sample count below 1 for an enabled
    // type, appends its line under a header naming the file.
    bool LoadFromParamsFile(const char *paramsPath, const char *mainSettingsPath, EString &error);

    // Sets one numeric option by its file key (ASCII case-insensitive); counts are rounded half
    // away from zero. False for any other name.
    bool SetParamByName(const char *name, double value, EString &error);

    // Appends the options as "#" comment lines for result files. When enabled with a scale of 0,
    // the scale is first read again from mainSettingsPath and kept.
    void WriteAsComments(std::vector<std::string> &lines, const char *mainSettingsPath);
};

// The section of a .counting_params file.
inline constexpr const char *kCountingParamsSection = "CountingAlgorithmDlg";

// The scale counting works at when the main settings file gives none.
inline constexpr double kDefaultCountingPixelsPerMm = 1000.0;

// [CalibrationSettings] image_pixels_per_mm of the main settings file (a null path reads nothing),
// fallback when missing or not a number. Every caller names its fallback: counting assumes
// kDefaultCountingPixelsPerMm, the calibration tools (tools/CalibrationMath.h) assume no scale.
double ReadPixelsPerMm(const char *mainSettingsPath, double fallback);
