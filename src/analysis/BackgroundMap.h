#pragma once
// Flat-fielding of 16-bit images against a background image of the same scene, and the per-type
// background image files (<type>.bg.tif) of an image folder.
#include "Ostravo/EString.h"
#include "Ostravo/ImagePrimitives.h"

#include <cstdint>
#include <opencv2/core.hpp>
#include <vector>

// A background image condensed into a coarse grid of local medians over a region, plus one
// reference level (the rounded mean of all cells).
struct BackgroundMap
{
    std::vector<std::vector<uint16_t>> grid; // rows of cell values
    int32_t left = 0;                        // region over which the grid was built, inclusive
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    uint16_t reference = 0;
};

namespace Ostravo {

// Builds a map of rowCount x columnCount cells over the region of the background image. Each
// cell is the lower median of a window 1.4 cells wide and high around the cell's centre; windows
// are clipped to the image. A region reaching outside the image is clipped to it first; an
// empty one, or a grid without cells, is refused and the map is left unchanged.
bool ConstructBackgroundMap(cv::Mat rawBackground, const ImageRegion &region, BackgroundMap &map,
                            EString &error, int columnCount, int rowCount);

// Scales every pixel of the map's region (clipped to the image) by the reference level over its
// cell's value and writes it to output, which must have the input's size and type. Pixels outside
// the region are not written, so callers pass a copy of the input.
bool CreateBGCorrectedImage(const cv::Mat &input, const BackgroundMap &map, cv::Mat &output, EString &error);

} // namespace Ostravo

// Appends one image and one type name per "<type>.bg.tif" file of the folder, in name order, at
// matching positions of the two lists. False without an error text when the folder holds none.
bool LoadBGImages(const char *folder, std::vector<cv::Mat> &images, std::vector<EString> &typeNames,
                  EString &error);
