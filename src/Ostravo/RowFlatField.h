#pragma once
// Row flat-field correction: a bright-level profile with one value per region row, and the
// rescaling of every row so that its profile value becomes the profile's median.
#include "Ostravo/EString.h"

#include <cstdint>
#include <opencv2/core.hpp>
#include <vector>

// Resizes the profile to bottom - top + 1 values: per region row, the grey level at the given
// fraction (0..1) of its sorted pixels, interpolated and rounded. False, with the profile
// unchanged and the error text set when given, for an image that is not 16-bit single channel,
// a region without rows or columns or not inside the image, or a fraction outside 0..1.
bool ComputeRowPercentileProfile(const cv::Mat &image, int32_t left, int32_t top, int32_t right,
                                 int32_t bottom, double fraction, std::vector<uint16_t> &profile,
                                 EString *error = nullptr);

// Scales every pixel of region row i by median(profile) / profile[i], in place; a result above
// 65535 becomes 65535. Refuses (changing nothing) the images and regions that the profile step
// refuses, a profile whose length is not the region's row count, and a profile holding 0.
bool NormalizeRowsByProfile(cv::Mat &image, int32_t left, int32_t top, int32_t right, int32_t bottom,
                            const std::vector<uint16_t> &profile, EString *error = nullptr);
