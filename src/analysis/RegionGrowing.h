#pragma once
// The two filters that circular cell counting runs per object type and candidate radius: the M
// filter turns an image into a response image (a ring of the candidate radius brighter than the
// rings just outside, and optionally just inside, it), and the C filter grows connected regions
// of responding pixels into detections.
#include "Ostravo/CellDetection.h"

#include <cstdint>
#include <opencv2/core.hpp>
#include <vector>

// One sampling direction of a ring: column and row offset from the centre pixel.
struct RingOffset
{
    int dx = 0;
    int dy = 0;
};

// The ring, inner-ring and outer-ring offsets of the M filter for one radius and sample count.
void BuildRingOffsets(double radius, int samples, std::vector<RingOffset> &ring,
                      std::vector<RingOffset> &inner, std::vector<RingOffset> &outer);

// Interpolated percentile of the source pixels at (x + dx, y + dy) over the offsets. Samples
// outside the source read the nearest edge pixel.
float SampleRingPercentile(const std::vector<RingOffset> &offsets, int x, int y, const cv::Mat &source,
                           double fraction);

// True unless the ring sample is at most the inner-ring sample in more than a quarter of the
// directions. Samples outside the source read the nearest edge pixel.
bool RingContrastTest(const std::vector<RingOffset> &ring, const std::vector<RingOffset> &inner, int x, int y,
                      const cv::Mat &source);

// The M filter's scan window for a region and radius, limited to an image of the given size;
// empty when nothing is scanned.
cv::Rect MFilterWindow(const cv::Size &imageSize, int32_t left, int32_t right, int32_t top, int32_t bottom,
                       double radius);

// Replaces every pixel of the scan window inside the region by its M response in thousandths;
// pixels outside the window keep their values. Window rows run in parallel; the result does not
// depend on the number of threads. written, when given, receives the window that was written.
// False, changing nothing, for an image that is not CV_16UC1, a sample count below 1 or a radius
// that is negative or not finite.
bool ApplyMFilter(cv::Mat &working, int32_t left, int32_t right, int32_t top, int32_t bottom, double radius,
                  int samples, int threshold, bool useInnerRing, cv::Rect *written = nullptr);

// Same as ApplyMFilter, sampling source and writing the window into working (both CV_16UC1 of the
// same size; they may not share pixels). With sourcePadding, source is a view into a larger image
// whose sourcePadding pixels around it on every side repeat the view's nearest edge pixel; samples
// that reach that far past the view are read there instead of from a padded copy. rowPeaks, when
// given, receives one entry per row of working: the largest response of that row of the window,
// 0 for a row outside it; a row of the window whose responses are all 0 is then not written.
bool ApplyMFilterFrom(const cv::Mat &source, cv::Mat &working, int32_t left, int32_t right, int32_t top,
                      int32_t bottom, double radius, int samples, int threshold, bool useInnerRing,
                      cv::Rect *written = nullptr, int sourcePadding = 0,
                      std::vector<uint16_t> *rowPeaks = nullptr);

// How far past the scanned pixel the M filter's samples reach for a radius, in pixels.
int MFilterSampleReach(double radius, int samples);

// Grows regions of pixels whose value is at least threshold inside the C window of the region
// and appends those of at least minSize pixels to detections and to the column index (one list
// per region column). With proximity, a detection replaces weaker ones of the type within e
// pixels and is dropped next to one at least as strong. Pixels outside responseWindow, when it
// is given, count as no response (value 0). rowPeaks, when given (one entry per row of working,
// as the M filter reports them), holds for every row at least its largest value inside
// responseWindow: rows whose entry is below threshold are not searched for seeds, and those
// whose entry is 0 count as no response.
bool ApplyCFilter(const cv::Mat &working, int32_t left, int32_t right, int32_t top, int32_t bottom, int e,
                  int threshold, int minSize, std::vector<CellDetection> &detections, bool proximity,
                  std::vector<std::vector<CellDetection>> &columnIndex, float radius,
                  const cv::Rect *responseWindow = nullptr, const std::vector<uint16_t> *rowPeaks = nullptr);
