#include "analysis/CountingAlgo.h"

#include "Ostravo/ImagePrimitives.h"
#include "analysis/RegionGrowing.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <opencv2/core/utility.hpp>

namespace {

// Nearest integer, halves away from zero, kept far inside int range.
int RoundToInt(double value)
{
    return static_cast<int>(std::clamp(std::round(value), -1.0e9, 1.0e9));
}

bool Fail(EString *error, const char *text)
{
    if (error != nullptr)
        error->Assign(text);
    return false;
}

// A copy of a full frame, its rows shared out over the threads: on a fresh buffer the copy costs
// mostly page faults, which the threads take in parallel.
cv::Mat ParallelClone(const cv::Mat &image)
{
    cv::Mat copy(image.size(), image.type());
    const size_t rowBytes = image.cols * image.elemSize();
    cv::parallel_for_(cv::Range(0, image.rows), [&](const cv::Range &rows) {
        for (int y = rows.start; y < rows.end; ++y)
            std::memcpy(copy.ptr(y), image.ptr(y), rowBytes);
    });
    return copy;
}

// Copies back from base the pixels of previous that next will not overwrite.
void RestoreOutside(const cv::Mat &base, cv::Mat &working, const cv::Rect &previous, const cv::Rect &next)
{
    for (int y = previous.y; y < previous.y + previous.height; ++y) {
        const uint16_t *in = base.ptr<uint16_t>(y);
        uint16_t *out = working.ptr<uint16_t>(y);
        const int x0 = previous.x;
        const int x1 = previous.x + previous.width;
        const bool rowCovered = y >= next.y && y < next.y + next.height && next.width > 0;
        if (!rowCovered) {
            std::copy(in + x0, in + x1, out + x0);
            continue;
        }
        const int n0 = std::clamp(next.x, x0, x1);
        const int n1 = std::clamp(next.x + next.width, x0, x1);
        std::copy(in + x0, in + n0, out + x0);
        std::copy(in + n1, in + x1, out + n1);
    }
}

} // namespace

std::vector<double> CountingCandidateRadii(double nominalPixels, int sweepPixels)
{
    // Each side of the sweep has at most six candidates: the step is the smallest l >= 2 with
    // sweep / l <= 5 once the sweep exceeds 5.
    const int step = sweepPixels <= 5 ? 1 : std::max(2, sweepPixels / 6 + 1);
    std::vector<double> radii{nominalPixels};
    for (int d = 1; d <= sweepPixels; d += step) {
        radii.push_back(nominalPixels + d);
        if (nominalPixels - d >= 3.0)
            radii.push_back(nominalPixels - d);
    }
    return radii;
}

void SuppressOverlappingTypes(std::vector<std::vector<CellDetection>> &detections)
{
    if (detections.size() < 2)
        return;
    std::vector<CellDetection> &first = detections[0];
    std::vector<CellDetection> &second = detections[1];
    std::vector<char> dropFirst(first.size(), 0);
    std::vector<char> dropSecond(second.size(), 0);
    for (size_t i = 0; i < first.size(); ++i) {
        const CellDetection &a = first[i];
        for (size_t j = 0; j < second.size(); ++j) {
            const CellDetection &b = second[j];
            const float h = static_cast<float>(static_cast<double>(a.radius) + static_cast<double>(b.radius));
            const double whole = std::trunc(static_cast<double>(h));
            const int64_t reach =
                static_cast<int64_t>(std::clamp(whole == h ? whole : whole + 1.0, -1.0e9, 1.0e9));
            if (b.y < a.y - reach || b.y > a.y + reach || b.x < a.x - reach || b.x > a.x + reach)
                continue;
            const double dx = static_cast<double>(a.x) - b.x;
            const double dy = static_cast<double>(a.y) - b.y;
            const float dist = static_cast<float>(std::sqrt(dx * dx + dy * dy));
            if (dist > h)
                continue;
            if (b.confidence > a.confidence)
                dropFirst[i] = 1;
            else
                dropSecond[j] = 1;
        }
    }
    for (size_t i = first.size(); i-- > 0;)
        if (dropFirst[i])
            first.erase(first.begin() + static_cast<ptrdiff_t>(i));
    for (size_t j = second.size(); j-- > 0;)
        if (dropSecond[j])
            second.erase(second.begin() + static_cast<ptrdiff_t>(j));
}

bool CountingAlgo(const cv::Mat &image, const CountingAlgoOptions &options,
                  std::vector<std::vector<CellDetection>> &detections, cv::Mat *processed, EString *error)
{
    if (image.type() != CV_16UC1 || image.dims != 2 || image.empty())
        return Fail(error, "CountingAlgo() - the image must be a 16-bit single-channel image");
    const double ppm = options.pixels_per_mm;
    if (!(ppm > 0.0) || !std::isfinite(ppm))
        return Fail(error, "CountingAlgo() - pixels per mm must be greater than 0");
    for (int t = 0; t < 2; ++t) {
        if (!options.morph_filter[t])
            continue;
        char text[96];
        if (!std::isfinite(options.object_radius[t]) || options.object_radius[t] < 0.0) {
            std::snprintf(text, sizeof text, "CountingAlgo() - ObjectRadius%d is invalid", t + 1);
            return Fail(error, text);
        }
        if (options.morph_samples[t] < 1) {
            std::snprintf(text, sizeof text, "CountingAlgo() - MFilterSamples%d must be at least 1", t + 1);
            return Fail(error, text);
        }
    }
    // Every filter reads and writes inside the region, so the region is clipped to the image.
    const int left = std::max(options.left, 0);
    const int top = std::max(options.top, 0);
    const int right = std::min(options.right, image.cols - 1);
    const int bottom = std::min(options.bottom, image.rows - 1);
    if (left > right || top > bottom)
        return Fail(error, "CountingAlgo() - the region is empty or outside of the image");

    detections.assign(2, {});
    // The base image is only read: without edge processing it is the input itself.
    cv::Mat base = image;
    if (options.edge_processing) {
        base = ParallelClone(image);
        Ostravo::ApplyEdgeProcessingFrom(image, base, left, right, top, bottom);
    }

    // Outside the last M window the working image equals the base image, so between candidates
    // only the part of that window the next one does not overwrite is copied back.
    cv::Mat working;
    cv::Rect lastWindow;
    for (int t = 0; t < 2; ++t) {
        if (!options.morph_filter[t])
            continue;
        if (working.empty())
            working = ParallelClone(base);
        const double nominal = ppm * options.object_radius[t] / 1000.0;
        const int sweep = RoundToInt(options.radius_sweep[t] * ppm / 1000.0);
        const int e = RoundToInt(ppm * options.object_radius[t] / 1000.0);
        std::vector<std::vector<CellDetection>> columnIndex(static_cast<size_t>(right - left + 1));
        for (double radius : CountingCandidateRadii(nominal, sweep)) {
            cv::Rect window;
            const cv::Rect next = MFilterWindow(base.size(), left, right, top, bottom, radius);
            RestoreOutside(base, working, lastWindow, next);
            if (!ApplyMFilterFrom(base, working, left, right, top, bottom, radius, options.morph_samples[t],
                                  options.morph_threshold[t], options.use_inner_ring[t], &window))
                RestoreOutside(base, working, next, cv::Rect());
            lastWindow = window;
            if (options.count_filter[t])
                ApplyCFilter(working, left, right, top, bottom, e, options.count_threshold[t],
                             options.count_min_size[t], detections[t], options.proximity_within_type[t],
                             columnIndex, static_cast<float>(radius), &window);
        }
    }

    if (options.proximity_between_types)
        SuppressOverlappingTypes(detections);
    if (processed != nullptr)
        *processed = !working.empty() ? working : options.edge_processing ? base : image.clone();
    return true;
}
