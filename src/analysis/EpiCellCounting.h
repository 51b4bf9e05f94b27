#pragma once
// Counting of cells that show as dark objects in epi-illumination images: dark islands that reach
// a seed level and grow over a grow level, both taken from the region's histogram, and are kept
// when their size and fill ratio pass the limits. The parameters are kept in .epi_counting_params
// files (section [EpiCellCountingAlgoDlg]).
#include "Ostravo/EString.h"
#include "Ostravo/CellDetection.h"

#include <cstdint>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

struct EpiCellCountingParams
{
    // Epi counting is part of the current run; set by the owner, read only by WriteAsComments.
    bool enabled = false;
    // Region to count in, inclusive pixel bounds.
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    // The owner passes a background image when one is available for the image's type.
    bool use_bg_image = false;
    float dark_pct0 = 0.0f; // fraction of the region's histogram that gives the seed level
    float dark_pct1 = 0.0f; // fraction that gives the grow level
    float max_ratio = 0.0f; // largest accepted share of its bounding square an object covers
    int32_t min_pixel_count = 0;
    int32_t min_size = 0; // smallest accepted larger side of an object's box; sets the background grid
    // Preview overlay switches of the editor.
    bool show_threshold0_pixels = false;
    bool show_threshold1_pixels = false;
    bool show_found_object_pixels = false;
    // SHA-256 of the stored values, refreshed by every load and successful save.
    uint8_t digest[32] = {};

    // Reads every key of the file, with its default when missing or not a number (a missing
    // file gives all defaults), then refreshes the digest. Always true.
    bool Load(const char *path);
    // Writes the keys in their order, then refreshes the digest. False, with the digest kept and
    // error set when given, when a key could not be written.
    bool Save(const char *path, EString *error = nullptr);
    // SHA-256 of the stored values (not of enabled or the overlay switches).
    void ComputeHash(uint8_t out[32]) const;
    // Clears error, then appends one line per violated rule; true when none was appended.
    bool Validate(EString &error) const;
    // Appends the parameters as comment lines for result files. Always true.
    bool WriteAsComments(std::vector<std::string> &lines) const;
};

// The section of a .epi_counting_params file.
inline constexpr const char *kEpiCountingParamsSection = "EpiCellCountingAlgoDlg";

// Counts the image (CV_16UC1, not changed) over the parameters' region and appends one detection
// per accepted island. background, when given, is a raw background of the same scene and size
// that flattens the image first. overlay, when given, must be CV_8UC1 of the image's size and
// receives the preview marks that the switches ask for (1 and 2 for pixels at or below the two
// levels, 3 for pixels of found islands). False, with error set and nothing appended, for invalid
// parameters, an unusable image, a region outside the image, a region too small for the
// background grid, or a failure of the background or level computation.
bool EpiCellCountingAlgo(const cv::Mat &image, const EpiCellCountingParams &params,
                         std::vector<CellDetection> &detections, EString &error, cv::Mat *overlay = nullptr,
                         const cv::Mat *background = nullptr);
