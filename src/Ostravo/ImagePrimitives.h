#pragma once
// Small image routines of the in-house library on which the counting algorithms and the focus tool
// rest. All work on 16-bit unsigned single-channel images (CV_16UC1) and keep no state between
// calls, so they may run on any thread.
#include "Ostravo/EString.h"

#include <cstdint>
#include <opencv2/core.hpp>
#include <vector>

namespace Ostravo {

// A rectangle of image pixels; all four bounds are inclusive (width = right - left + 1).
struct ImageRegion
{
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};

// One connected dark region found by FindDarkIslands. The seed and the centroid are in image
// coordinates; the bounding box and the moments are relative to the searched region.
struct DarkIsland
{
    int16_t seed_x = 0;
    int16_t seed_y = 0;
    int32_t min_x = 0;
    int32_t min_y = 0;
    int32_t max_x = 0; // inclusive
    int32_t max_y = 0; // inclusive
    int32_t pixel_count = 0;
    uint32_t intensity_sum = 0;
    int64_t x_moment = 0; // sum of (column relative to the region) x value
    int64_t y_moment = 0; // sum of (row relative to the region) x value
    float centroid_x = 0.0f;
    float centroid_y = 0.0f;
};

// Replaces every pixel of the region (clipped to the image; -1 for all four selects the whole
// image) by its largest relative gradient in thousandths. Note the order: the column bounds first.
// False, changing nothing, for an image that is empty or not CV_16UC1.
bool ApplyEdgeProcessing(cv::Mat &image, int32_t left, int32_t right, int32_t top, int32_t bottom);

// The same edge values, read from source and written into dest (CV_16UC1 of the same size, not
// sharing pixels with source); dest keeps its values outside the region.
bool ApplyEdgeProcessingFrom(const cv::Mat &source, cv::Mat &dest, int32_t left, int32_t right, int32_t top,
                             int32_t bottom);

// Appends to values, per fraction (each in [0, 1], ascending), the grey level at which the
// cumulative histogram of the region reaches that fraction of its pixels. values is not cleared.
// A region that reaches outside the image is clipped to it first; one that lies wholly outside
// is refused.
bool ComputePercentileIntensities(const cv::Mat &image, const ImageRegion &region,
                                  const std::vector<float> &fractions, std::vector<uint16_t> &values,
                                  EString &error);

// Focus score of the region (the whole image when region is null): the near-maximum of its edge
// image over the median. The region of image is overwritten by its edge image. A region that
// reaches outside the image is clipped to it first; one that lies wholly outside is refused.
bool ComputeFocusScore(cv::Mat &image, const ImageRegion *region, double &score, EString &error);

// Appends the connected regions of the region (which must lie inside the image and be at least
// 10 x 10) that start at a pixel at or below seedThreshold and grow over pixels at or below
// growThreshold, in scan order. labelImage, when given, must be CV_8UC1 of the image's size; its
// pixels inside the region receive the low 8 bits of each pixel's island number (0 for none).
bool FindDarkIslands(const cv::Mat &image, const ImageRegion &region, uint16_t seedThreshold,
                     uint16_t growThreshold, std::vector<DarkIsland> &islands, EString &error,
                     cv::Mat *labelImage = nullptr);

} // namespace Ostravo
