#pragma once
// Finding the four calibration lines of a cartridge image (upper and lower channel boundary, upper
// and lower magnet boundary) from the median grey level of each image row: the channel lines are
// dark valleys of that profile, the magnet lines the rows where it crosses a share of its bright
// level.
#include "app/ViewGlobals.h"

#include <opencv2/core.hpp>

#include <cstdint>
#include <string>
#include <vector>

// Parameters from [ChannelAndMagnetLineAlgoParams] of the main settings file.
struct ChannelAndMagnetLineAlgoParams
{
    // Share of the way from a valley's floor to the highest row between it and the magnet at which
    // the channel boundary is placed.
    double channel_relative_intensity_pct = 0.8;
    // Percentile of the sorted profile that stands for the bright level.
    double magnet_high_intensity_pct = 0.9;
    // Share of the bright level at which the magnet boundary is placed.
    double magnet_threshold_intensity_fraction = 0.3;
};

// Reads the three parameters ("%lf"); a missing or unparsable value keeps its default.
ChannelAndMagnetLineAlgoParams LoadChannelAndMagnetLineAlgoParams(const std::string &settingsPath);

// The percentile p (0..1) of values, interpolated between the two neighbouring sorted values.
// values must not be empty.
float InterpolatedPercentile(const std::vector<float> &values, double p);

// For each row from rect.top to rect.bottom, the median of columns rect.left..rect.right, rounded
// half away from zero. False with an error text when the image is not a 16-bit grey image or the
// rectangle is empty or reaches outside it.
bool ComputeRowMedianProfile(const cv::Mat &image, const ImageRect &rect, std::vector<int32_t> &profile,
                             std::string *error = nullptr);

// Fewest image rows the detection works on: the upper channel is searched down to row 700 and each
// candidate compared with the row 5 below it.
constexpr int kLineDetectionMinRows = 706;

// Finds the four lines of image. False with one message and lines untouched when the image is
// missing or too short, or a line cannot be found.
bool DetectChannelAndMagnetLines(const cv::Mat &image, const ChannelAndMagnetLineAlgoParams &params,
                                 CalibrationLines &lines, std::string &error);

// The "Channel and Magnet Positions" command on the image in view: reads the parameters from the
// main settings file and detects the lines. On success they become _shown_calibration_lines (the
// view then repaints and asks whether to keep them); on failure the message is logged and shown
// and nothing changes.
bool FindChannelAndMagnetLines(const cv::Mat &image, const std::string &mainSettingsPath, std::string &error);
