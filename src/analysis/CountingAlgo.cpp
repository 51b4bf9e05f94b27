#include "analysis/CountingAlgo.h"

#include "Ostravo/ImagePrimitives.h"
#include "analysis/RegionGrowing.h"
#include "platform/ErrorText.h"

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

using platform::SetError;

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

// Copies image into the middle of padded (pad pixels larger on every side), rows in parallel.
// Pixels inside skip, which the caller writes next, are left out.
void CopyIntoPadded(const cv::Mat &image, cv::Mat &padded, int pad, const cv::Rect &skip)
{
    const int cols = image.cols;
    cv::parallel_for_(cv::Range(0, image.rows), [&](const cv::Range &rows) {
        for (int y = rows.start; y < rows.end; ++y) {
            const uint16_t *in = image.ptr<uint16_t>(y);
            uint16_t *out = padded.ptr<uint16_t>(y + pad) + pad;
            if (y >= skip.y && y < skip.y + skip.height) {
                std::copy(in, in + skip.x, out);
                std::copy(in + skip.x + skip.width, in + cols, out + skip.x + skip.width);
            } else {
                std::copy(in, in + cols, out);
            }
        }
    });
}

// Fills the padding of padded with the nearest pixel of its middle, rows in parallel. A padding
// row reads only the middle of its nearest middle row, whose own padding another thread writes.
void RepeatEdgePixels(cv::Mat &padded, int pad)
{
    if (pad <= 0)
        return;
    const int rows = padded.rows - 2 * pad;
    const int cols = padded.cols - 2 * pad;
    cv::parallel_for_(cv::Range(0, padded.rows), [&](const cv::Range &range) {
        for (int py = range.start; py < range.end; ++py) {
            const int nearest = std::clamp(py - pad, 0, rows - 1) + pad;
            const uint16_t *middle = padded.ptr<uint16_t>(nearest) + pad;
            uint16_t *out = padded.ptr<uint16_t>(py);
            if (py != nearest)
                std::copy(middle, middle + cols, out + pad);
            std::fill(out, out + pad, middle[0]);
            std::fill(out + pad + cols, out + 2 * pad + cols, middle[cols - 1]);
        }
    });
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
    // Each pair decides its own flags, so the pairs may be visited in any order: type 2 by row,
    // and per type-1 detection only the rows its largest possible reach spans.
    std::vector<size_t> byRow(second.size());
    double largestRadius = 0.0;
    bool finiteRadii = true;
    for (size_t j = 0; j < second.size(); ++j) {
        byRow[j] = j;
        finiteRadii = finiteRadii && std::isfinite(second[j].radius);
        largestRadius = std::max(largestRadius, std::abs(static_cast<double>(second[j].radius)));
    }
    std::stable_sort(byRow.begin(), byRow.end(),
                     [&](size_t p, size_t q) { return second[p].y < second[q].y; });
    for (size_t i = 0; i < first.size(); ++i) {
        const CellDetection &a = first[i];
        // Every pair's reach below (the sum of the radii rounded to float, then up) is at most
        // this.
        const double bound = (std::abs(static_cast<double>(a.radius)) + largestRadius) * (1.0 + 1.0e-6) + 2.0;
        const bool pruned = finiteRadii && std::isfinite(bound) && bound < 1.0e9;
        auto from = byRow.begin();
        auto to = byRow.end();
        if (pruned) {
            const int64_t low = int64_t(a.y) - static_cast<int64_t>(bound);
            const int64_t high = int64_t(a.y) + static_cast<int64_t>(bound);
            from = std::lower_bound(byRow.begin(), byRow.end(), low,
                                    [&](size_t j, int64_t y) { return int64_t(second[j].y) < y; });
            to = std::upper_bound(from, byRow.end(), high,
                                  [&](int64_t y, size_t j) { return y < int64_t(second[j].y); });
        }
        for (auto it = from; it != to; ++it) {
            const size_t j = *it;
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
                  std::vector<std::vector<CellDetection>> &detections, cv::Mat *processed, EString *error,
                  CountingBuffers *buffers)
{
    if (image.type() != CV_16UC1 || image.dims != 2 || image.empty())
        return SetError(error, "CountingAlgo() - the image must be a 16-bit single-channel image");
    const double ppm = options.pixels_per_mm;
    if (!(ppm > 0.0) || !std::isfinite(ppm))
        return SetError(error, "CountingAlgo() - pixels per mm must be greater than 0");
    for (int t = 0; t < 2; ++t) {
        if (!options.morph_filter[t])
            continue;
        char text[96];
        if (!std::isfinite(options.object_radius[t]) || options.object_radius[t] < 0.0) {
            std::snprintf(text, sizeof text, "CountingAlgo() - ObjectRadius%d is invalid", t + 1);
            return SetError(error, text);
        }
        if (options.morph_samples[t] < 1) {
            std::snprintf(text, sizeof text, "CountingAlgo() - MFilterSamples%d must be at least 1", t + 1);
            return SetError(error, text);
        }
    }
    // Every filter reads and writes inside the region, so the region is clipped to the image.
    const int left = std::max(options.left, 0);
    const int top = std::max(options.top, 0);
    const int right = std::min(options.right, image.cols - 1);
    const int bottom = std::min(options.bottom, image.rows - 1);
    if (left > right || top > bottom)
        return SetError(error, "CountingAlgo() - the region is empty or outside of the image");

    detections.assign(2, {});
    std::vector<double> radii[2];
    // How far any candidate's samples reach past the image: the base image gets that much edge
    // padding once, instead of each candidate copying the frame into a padded patch of its own.
    int pad = 0;
    for (int t = 0; t < 2; ++t) {
        if (!options.morph_filter[t])
            continue;
        const double nominal = ppm * options.object_radius[t] / 1000.0;
        radii[t] = CountingCandidateRadii(nominal, RoundToInt(options.radius_sweep[t] * ppm / 1000.0));
        for (double radius : radii[t]) {
            const cv::Rect window = MFilterWindow(image.size(), left, right, top, bottom, radius);
            if (window.empty())
                continue;
            const int reach = MFilterSampleReach(radius, options.morph_samples[t]);
            pad = std::max({pad, reach - window.x, reach - window.y, window.br().x + reach - image.cols,
                            window.br().y + reach - image.rows});
        }
    }

    // The base image is only read: without edge processing or padding it is the input itself.
    cv::Mat base = image;
    cv::Mat localBase;
    if (options.edge_processing || pad > 0) {
        cv::Mat &padded = buffers != nullptr ? buffers->base : localBase;
        padded.create(image.rows + 2 * pad, image.cols + 2 * pad, CV_16UC1);
        base = padded(cv::Rect(pad, pad, image.cols, image.rows));
        // Edge processing writes every pixel of a region of at least two rows and columns; any
        // other region it widens to the image's edge, so the whole frame is copied then.
        const bool writesRegion = options.edge_processing && left < right && top < bottom;
        const cv::Rect region =
            writesRegion ? cv::Rect(left, top, right - left + 1, bottom - top + 1) : cv::Rect();
        CopyIntoPadded(image, padded, pad, region);
        if (options.edge_processing)
            Ostravo::ApplyEdgeProcessingFrom(image, base, left, right, top, bottom);
        RepeatEdgePixels(padded, pad);
    }

    // The C filter reads only the window the M filter wrote, so the working image needs no other
    // content, except for a caller that wants the last working image: outside the last M window
    // that equals the base image, so between candidates only the part of that window the next
    // one does not overwrite is copied back.
    const bool keepOutside = processed != nullptr;
    cv::Mat localWorking;
    cv::Mat &working = buffers != nullptr ? buffers->working : localWorking;
    bool workingReady = false;
    cv::Rect lastWindow;
    // A type 2 with the M settings of type 1 has the same responses: each is computed once and
    // both types' C filters read it, each type still in its own candidate order.
    const bool sharedResponses = options.morph_filter[0] && options.morph_filter[1] && radii[0] == radii[1] &&
                                 options.morph_samples[0] == options.morph_samples[1] &&
                                 options.morph_threshold[0] == options.morph_threshold[1] &&
                                 options.use_inner_ring[0] == options.use_inner_ring[1];
    std::vector<std::vector<CellDetection>> columnIndex[2];
    // Which rows of the last M responses the C filters search; a caller that wants the last
    // working image gets every row written instead.
    std::vector<uint16_t> rowPeaks;
    std::vector<uint16_t> *peaks = keepOutside ? nullptr : &rowPeaks;
    for (int t = 0; t < 2; ++t) {
        if (!options.morph_filter[t] || (sharedResponses && t == 1))
            continue;
        if (!workingReady) {
            if (keepOutside)
                working = ParallelClone(base);
            else
                working.create(image.size(), CV_16UC1);
            workingReady = true;
        }
        const int lastType = sharedResponses ? 1 : t;
        for (int u = t; u <= lastType; ++u)
            columnIndex[u].resize(static_cast<size_t>(right - left + 1));
        for (double radius : radii[t]) {
            cv::Rect window;
            const cv::Rect next = MFilterWindow(base.size(), left, right, top, bottom, radius);
            if (keepOutside)
                RestoreOutside(base, working, lastWindow, next);
            if (!ApplyMFilterFrom(base, working, left, right, top, bottom, radius, options.morph_samples[t],
                                  options.morph_threshold[t], options.use_inner_ring[t], &window, pad,
                                  peaks) &&
                keepOutside)
                RestoreOutside(base, working, next, cv::Rect());
            lastWindow = window;
            for (int u = t; u <= lastType; ++u)
                if (options.count_filter[u])
                    ApplyCFilter(working, left, right, top, bottom,
                                 RoundToInt(ppm * options.object_radius[u] / 1000.0),
                                 options.count_threshold[u], options.count_min_size[u], detections[u],
                                 options.proximity_within_type[u], columnIndex[u], static_cast<float>(radius),
                                 &window, peaks);
        }
    }

    if (options.proximity_between_types)
        SuppressOverlappingTypes(detections);
    if (processed != nullptr) {
        // A working image of this call is handed over; the caller's buffers, which the next call
        // overwrites, and the base (the input itself or a view into the padding) are copied.
        if (workingReady && buffers == nullptr)
            *processed = working;
        else
            *processed = (workingReady ? working : base).clone();
    }
    return true;
}
