#pragma once
// Circular cell counting: for each enabled object type, the M and C filters over a sweep of
// candidate radii around the nominal one, then the optional suppression of overlapping type-1
// and type-2 detections.
#include "Ostravo/CellDetection.h"
#include "Ostravo/EString.h"
#include "analysis/CountingAlgoOptions.h"

#include <opencv2/core.hpp>
#include <vector>

// Working memory that a caller counting many frames keeps from one call to the next, so that each
// call reuses it instead of allocating (and faulting in) frame-sized images anew. Nothing in it
// carries over into a later result.
struct CountingBuffers
{
    cv::Mat base;    // the frame as the M filter samples it, with its edge padding
    cv::Mat working; // the M responses
};

// Counts the image (CV_16UC1, not changed) over the options' region, clipped to the image.
// detections becomes two lists, index 0 for type 1 and 1 for type 2. processed, when given,
// receives the last working image: the M response of the last candidate of the last enabled
// type, or the (edge-processed) input when no type ran. False, with error filled when given and
// nothing counted, for an image of another type, a scale that is not positive, a region that
// lies outside the image, or an enabled type with an invalid radius or fewer than 1 sample.
// buffers, when given, is used (and kept) as the working memory.
bool CountingAlgo(const cv::Mat &image, const CountingAlgoOptions &options,
                  std::vector<std::vector<CellDetection>> &detections, cv::Mat *processed = nullptr,
                  EString *error = nullptr, CountingBuffers *buffers = nullptr);

// Candidate radii in pixels, in the order they are tried: the nominal radius, then pairs above
// and below it (the lower one only when at least 3) up to sweepPixels, at most six per side.
std::vector<double> CountingCandidateRadii(double nominalPixels, int sweepPixels);

// Removes, of every overlapping type-1 / type-2 pair (centre distance at most the sum of their
// radii), the weaker one; on equal confidence the type-2 detection goes.
void SuppressOverlappingTypes(std::vector<std::vector<CellDetection>> &detections);
