#include "analysis/RegionGrowing.h"

#include <algorithm>
#include <cmath>
#include <opencv2/core/hal/intrin.hpp>
#include <opencv2/core/utility.hpp>

namespace {

// The sampling angle uses this constant, not a library value of 2 pi.
constexpr double kTwoPi = 6.2831853072;

inline int RoundHalfAway(double value)
{
    return static_cast<int>(std::round(value));
}

// Sorts a handful of grey levels; the filters sort a few dozen at most per pixel.
inline void SortSmall(uint16_t *v, int n)
{
    if (n > 32) {
        std::sort(v, v + n);
        return;
    }
    for (int i = 1; i < n; ++i) {
        const uint16_t key = v[i];
        int j = i - 1;
        while (j >= 0 && v[j] > key) {
            v[j + 1] = v[j];
            --j;
        }
        v[j + 1] = key;
    }
}

// Interpolation positions of one percentile over n sorted samples.
struct PercentilePlan
{
    int i0 = 0;
    int i1 = 0;
    double weight = 0.0; // e - i0

    PercentilePlan(int n, double fraction)
    {
        const double e = (n - 1) * fraction;
        i0 = static_cast<int>(e);
        i1 = std::min(i0 + 1, n - 1);
        weight = e - i0;
    }

    float Of(const uint16_t *sorted) const
    {
        const double v0 = sorted[i0];
        const double v1 = sorted[i1];
        return static_cast<float>(v0 + (v1 - v0) * weight);
    }
};

inline uint16_t ClampedAt(const cv::Mat &image, int x, int y)
{
    x = std::clamp(x, 0, image.cols - 1);
    y = std::clamp(y, 0, image.rows - 1);
    return image.ptr<uint16_t>(y)[x];
}

// Truncates a window bound computed in double precision, keeping absurd values in int range.
inline int64_t TruncateBound(double value)
{
    return static_cast<int64_t>(std::clamp(value, -4.0e9, 4.0e9));
}

// The M response of one pixel, reading its samples at fixed element offsets from center.
struct MResponse
{
    const std::vector<ptrdiff_t> &ringOffsets;
    const std::vector<ptrdiff_t> &innerOffsets;
    const std::vector<ptrdiff_t> &outerOffsets;
    int samples;
    int threshold;
    bool useInnerRing;
    PercentilePlan low;
    PercentilePlan high;

    uint16_t operator()(const uint16_t *center, uint16_t *scratch) const
    {
        const int n = samples;
        uint16_t *ring = scratch;
        uint16_t *inner = scratch + n;
        uint16_t *outer = scratch + 2 * n;
        for (int k = 0; k < n; ++k)
            ring[k] = center[ringOffsets[k]];
        float qi = 0.0f;
        if (useInnerRing) {
            int notBrighter = 0;
            for (int k = 0; k < n; ++k) {
                inner[k] = center[innerOffsets[k]];
                if (ring[k] <= inner[k] && ++notBrighter > n / 4)
                    return 0;
            }
        }
        SortSmall(ring, n);
        const float p = low.Of(ring);
        if (p < static_cast<float>(threshold))
            return 0;
        if (useInnerRing) {
            SortSmall(inner, n);
            qi = high.Of(inner);
            if (qi > p)
                return 0;
        }
        for (int k = 0; k < n; ++k)
            outer[k] = center[outerOffsets[k]];
        SortSmall(outer, n);
        const float qo = high.Of(outer);
        if (qo > p)
            return 0;
        float reference = useInnerRing ? std::min(qi, qo) : qo;
        if (reference == 0.0f)
            reference = 1.0f;
        float response = (p - reference) * 1000.0f / reference;
        response = std::min(response, 65535.0f);
        return static_cast<uint16_t>(std::round(response));
    }
};

} // namespace

void BuildRingOffsets(double radius, int samples, std::vector<RingOffset> &ring,
                      std::vector<RingOffset> &inner, std::vector<RingOffset> &outer)
{
    ring.clear();
    inner.clear();
    outer.clear();
    const int h = static_cast<int>(radius * 0.5);
    const double innerRadius = radius - h;
    const double outerRadius = radius + h;
    for (int k = 0; k < samples; ++k) {
        const double theta = kTwoPi * k / samples;
        const double c = std::cos(theta);
        const double s = std::sin(theta);
        ring.push_back({RoundHalfAway(radius * c), RoundHalfAway(radius * s)});
        inner.push_back({RoundHalfAway(innerRadius * c), RoundHalfAway(innerRadius * s)});
        outer.push_back({RoundHalfAway(outerRadius * c), RoundHalfAway(outerRadius * s)});
    }
}

float SampleRingPercentile(const std::vector<RingOffset> &offsets, int x, int y, const cv::Mat &source,
                           double fraction)
{
    const int n = static_cast<int>(offsets.size());
    if (n == 0 || source.empty())
        return 0.0f;
    std::vector<uint16_t> values(n);
    for (int k = 0; k < n; ++k)
        values[k] = ClampedAt(source, x + offsets[k].dx, y + offsets[k].dy);
    SortSmall(values.data(), n);
    return PercentilePlan(n, fraction).Of(values.data());
}

bool RingContrastTest(const std::vector<RingOffset> &ring, const std::vector<RingOffset> &inner, int x, int y,
                      const cv::Mat &source)
{
    const int n = static_cast<int>(std::min(ring.size(), inner.size()));
    int notBrighter = 0;
    for (int k = 0; k < n; ++k) {
        const uint16_t r = ClampedAt(source, x + ring[k].dx, y + ring[k].dy);
        const uint16_t i = ClampedAt(source, x + inner[k].dx, y + inner[k].dy);
        if (r <= i && ++notBrighter > n / 4)
            return false;
    }
    return true;
}

cv::Rect MFilterWindow(const cv::Size &imageSize, int32_t left, int32_t right, int32_t top, int32_t bottom,
                       double radius)
{
    if (!std::isfinite(radius))
        return cv::Rect();
    const int a = static_cast<int>(radius / 3.0);
    const double reach = radius + a;
    // The left margin is 2R + a, the other three R + a. The window never leaves the image.
    const int64_t y0 = std::max<int64_t>(TruncateBound(top + reach), 0);
    const int64_t y1 = std::min<int64_t>(TruncateBound(bottom - reach), imageSize.height);
    const int64_t x0 = std::max<int64_t>(TruncateBound(left + 2.0 * radius + a), 0);
    const int64_t x1 = std::min<int64_t>(TruncateBound(right - reach), imageSize.width);
    if (y0 >= y1 || x0 >= x1)
        return cv::Rect();
    return cv::Rect(static_cast<int>(x0), static_cast<int>(y0), static_cast<int>(x1 - x0),
                    static_cast<int>(y1 - y0));
}

int MFilterSampleReach(double radius, int samples)
{
    std::vector<RingOffset> ring, inner, outer;
    BuildRingOffsets(radius, samples, ring, inner, outer);
    int reach = 0;
    for (const auto *list : {&ring, &inner, &outer})
        for (const RingOffset &o : *list)
            reach = std::max({reach, std::abs(o.dx), std::abs(o.dy)});
    return reach;
}

bool ApplyMFilterFrom(const cv::Mat &source, cv::Mat &working, int32_t left, int32_t right, int32_t top,
                      int32_t bottom, double radius, int samples, int threshold, bool useInnerRing,
                      cv::Rect *written, int sourcePadding, std::vector<uint16_t> *rowPeaks)
{
    if (written != nullptr)
        *written = cv::Rect();
    if (source.type() != CV_16UC1 || working.type() != CV_16UC1 || source.size() != working.size() ||
        source.dims != 2 || samples < 1 || !std::isfinite(radius) || radius < 0.0)
        return false;
    if (rowPeaks != nullptr)
        rowPeaks->assign(static_cast<size_t>(working.rows), 0);

    const cv::Rect window = MFilterWindow(working.size(), left, right, top, bottom, radius);
    if (window.empty())
        return true;

    std::vector<RingOffset> ring, inner, outer;
    BuildRingOffsets(radius, samples, ring, inner, outer);
    int margin = 0;
    for (const auto *list : {&ring, &inner, &outer})
        for (const RingOffset &o : *list)
            margin = std::max({margin, std::abs(o.dx), std::abs(o.dy)});

    // Samples come from a patch around the window. Where the samples reach past the image, the
    // patch repeats the nearest edge pixel; otherwise (or when the source's own padding covers
    // them) the source is read directly.
    const cv::Rect reachRect(window.x - margin, window.y - margin, window.width + 2 * margin,
                             window.height + 2 * margin);
    cv::Mat patch;
    cv::Point origin(0, 0);
    const int pad = std::max(sourcePadding, 0);
    const bool inside = reachRect.x >= -pad && reachRect.y >= -pad &&
                        reachRect.x + reachRect.width <= source.cols + pad &&
                        reachRect.y + reachRect.height <= source.rows + pad;
    if (inside && source.data != working.data) {
        patch = source;
    } else {
        patch.create(reachRect.height, reachRect.width, CV_16UC1);
        cv::parallel_for_(cv::Range(0, patch.rows), [&](const cv::Range &rows) {
            for (int py = rows.start; py < rows.end; ++py) {
                const uint16_t *in = source.ptr<uint16_t>(std::clamp(reachRect.y + py, 0, source.rows - 1));
                uint16_t *out = patch.ptr<uint16_t>(py);
                for (int px = 0; px < patch.cols; ++px)
                    out[px] = in[std::clamp(reachRect.x + px, 0, source.cols - 1)];
            }
        });
        origin = reachRect.tl();
    }

    const ptrdiff_t step = static_cast<ptrdiff_t>(patch.step1());
    std::vector<ptrdiff_t> ringOffsets, innerOffsets, outerOffsets;
    for (int k = 0; k < samples; ++k) {
        ringOffsets.push_back(ring[k].dy * step + ring[k].dx);
        innerOffsets.push_back(inner[k].dy * step + inner[k].dx);
        outerOffsets.push_back(outer[k].dy * step + outer[k].dx);
    }
    const MResponse response{ringOffsets,
                             innerOffsets,
                             outerOffsets,
                             samples,
                             threshold,
                             useInnerRing,
                             PercentilePlan(samples, 0.25),
                             PercentilePlan(samples, 0.75)};

    // Exact shortcuts that decide most pixels without sorting: when at least i1 + 1 ring samples
    // lie below the threshold, the 25th percentile (at most sample i1) does too; when more than a
    // quarter of the directions fail the inner-ring test, the test fails.
    const bool thresholdReject = threshold >= 1 && threshold <= 65535;
    const bool allBelowThreshold = threshold > 65535;
    const int belowLimit = response.low.i1 + 1;
    const int innerLimit = samples / 4;

    // With row peaks, a row is made in a buffer of the thread's own and copied into working only
    // when it holds a response: most rows hold none, and not writing them saves most of the
    // memory traffic.
    auto body = [&](const cv::Range &rows) {
        std::vector<uint16_t> scratch(3 * static_cast<size_t>(samples));
        std::vector<uint16_t> rowBuffer(rowPeaks != nullptr ? static_cast<size_t>(window.width) : 0);
        for (int y = rows.start; y < rows.end; ++y) {
            uint16_t *const target = working.ptr<uint16_t>(y) + window.x;
            uint16_t *out = rowPeaks != nullptr ? rowBuffer.data() : target;
            if (allBelowThreshold) {
                if (rowPeaks == nullptr)
                    std::fill(out, out + window.width, uint16_t(0));
                continue;
            }
            const uint16_t *center = patch.ptr<uint16_t>(y - origin.y) + (window.x - origin.x);
            int x = 0;
            uint16_t peak = 0; // every value above 0 is written one by one below
#if CV_SIMD128
            const cv::v_uint16x8 one = cv::v_setall_u16(1);
            const cv::v_uint16x8 zero = cv::v_setzero_u16();
            const cv::v_uint16x8 thresholdV =
                cv::v_setall_u16(static_cast<uint16_t>(thresholdReject ? threshold : 0));
            const cv::v_uint16x8 belowLimitV =
                cv::v_setall_u16(static_cast<uint16_t>(std::min(belowLimit, 65535)));
            const cv::v_uint16x8 innerLimitV =
                cv::v_setall_u16(static_cast<uint16_t>(std::min(innerLimit, 65535)));
            // Eight pixels from at on.
            auto chunk = [&](int at) {
                const uint16_t *c = center + at;
                cv::v_uint16x8 reject = zero;
                if (thresholdReject) {
                    cv::v_uint16x8 below = zero; // ring samples under the threshold so far
                    for (int k = 0; k < samples; ++k) {
                        below = below + ((cv::v_load(c + ringOffsets[k]) < thresholdV) & one);
                        if ((k & 3) == 3 && cv::v_check_all(below >= belowLimitV))
                            break; // all eight are decided
                    }
                    reject = below >= belowLimitV;
                }
                if (useInnerRing && !cv::v_check_all(reject)) {
                    cv::v_uint16x8 notBrighter = zero;
                    for (int k = 0; k < samples; ++k)
                        notBrighter =
                            notBrighter +
                            ((cv::v_load(c + ringOffsets[k]) <= cv::v_load(c + innerOffsets[k])) & one);
                    reject = reject | (notBrighter > innerLimitV);
                }
                if (cv::v_check_all(reject)) {
                    cv::v_store(out + at, zero);
                    return;
                }
                uint16_t rejected[8];
                cv::v_store(rejected, reject);
                for (int lane = 0; lane < 8; ++lane)
                    if (!rejected[lane]) {
                        out[at + lane] = response(c + lane, scratch.data());
                        peak = std::max(peak, out[at + lane]);
                    } else {
                        out[at + lane] = 0;
                    }
            };
            if (thresholdReject || useInnerRing) {
                // Most pixels lie on background below the threshold: 32 at a time, a pixel whose
                // first belowLimit ring samples all lie below it (their largest does) is rejected.
                const int kFirst = belowLimit;
                while (thresholdReject && x + 32 <= window.width) {
                    cv::v_uint16x8 m0 = zero, m1 = zero, m2 = zero, m3 = zero;
                    for (int k = 0; k < kFirst; ++k) {
                        const uint16_t *c = center + x + ringOffsets[k];
                        m0 = cv::v_max(m0, cv::v_load(c));
                        m1 = cv::v_max(m1, cv::v_load(c + 8));
                        m2 = cv::v_max(m2, cv::v_load(c + 16));
                        m3 = cv::v_max(m3, cv::v_load(c + 24));
                    }
                    const cv::v_uint16x8 below[4] = {m0 < thresholdV, m1 < thresholdV, m2 < thresholdV,
                                                     m3 < thresholdV};
                    if (cv::v_check_all(below[0] & below[1] & below[2] & below[3])) {
                        for (int j = 0; j < 32; j += 8)
                            cv::v_store(out + x + j, zero);
                    } else {
                        for (int j = 0; j < 4; ++j) {
                            if (cv::v_check_all(below[j]))
                                cv::v_store(out + x + 8 * j, zero);
                            else
                                chunk(x + 8 * j);
                        }
                    }
                    x += 32;
                }
                for (; x + 8 <= window.width; x += 8)
                    chunk(x);
                // The last few pixels go with the eight that end the row; the ones before them
                // get the same values again.
                if (x < window.width && window.width >= 8) {
                    chunk(window.width - 8);
                    x = window.width;
                }
            }
#endif
            for (; x < window.width; ++x) {
                out[x] = response(center + x, scratch.data());
                peak = std::max(peak, out[x]);
            }
            if (rowPeaks != nullptr) {
                (*rowPeaks)[y] = peak;
                if (peak > 0)
                    std::copy(out, out + window.width, target);
            }
        }
    };
    cv::parallel_for_(cv::Range(window.y, window.y + window.height), body);

    if (written != nullptr)
        *written = window;
    return true;
}

bool ApplyMFilter(cv::Mat &working, int32_t left, int32_t right, int32_t top, int32_t bottom, double radius,
                  int samples, int threshold, bool useInnerRing, cv::Rect *written)
{
    // All samples come from the image as it was before the filter wrote anything.
    return ApplyMFilterFrom(working, working, left, right, top, bottom, radius, samples, threshold,
                            useInnerRing, written);
}

namespace {

struct GrowFrame
{
    int x;
    int y;
    int64_t budget;
    int next; // next neighbour to visit, 0 to 3
};

struct RegionSums
{
    uint32_t count = 0;
    uint32_t sum = 0;
    uint32_t columnSum = 0;
    uint32_t rowSum = 0;
};

// First column in [from, to) whose value is at least threshold; to when there is none.
int NextAtLeast(const uint16_t *row, int from, int to, uint16_t threshold)
{
    int x = from;
#if CV_SIMD128
    const cv::v_uint16x8 t = cv::v_setall_u16(threshold);
#endif
    while (x < to) {
#if CV_SIMD128
        while (x + 32 <= to &&
               !cv::v_check_any((cv::v_load(row + x) >= t) | (cv::v_load(row + x + 8) >= t) |
                                (cv::v_load(row + x + 16) >= t) | (cv::v_load(row + x + 24) >= t)))
            x += 32;
        while (x + 8 <= to && !cv::v_check_any(cv::v_load(row + x) >= t))
            x += 8;
#endif
        for (const int end = std::min(x + 8, to); x < end; ++x)
            if (row[x] >= threshold)
                return x;
    }
    return to;
}

// The C filter's window with its mark image (one bit per pixel: 0 not yet taken, 1 taken).
struct GrowArea
{
    const cv::Mat &working;
    cv::Rect written;                      // pixels outside it hold no response
    const std::vector<uint16_t> *rowPeaks; // nor do rows whose peak is 0, when given
    int x0, x1, y0, y1;                    // window, exclusive ends
    int threshold;
    std::vector<uint64_t> marks;

    GrowArea(const cv::Mat &w, const cv::Rect &responses, const std::vector<uint16_t> *peaks, int wx0,
             int wx1, int wy0, int wy1, int t)
        : working(w), written(responses), rowPeaks(peaks), x0(wx0), x1(wx1), y0(wy0), y1(wy1), threshold(t),
          marks((static_cast<size_t>(wx1 - wx0) * (wy1 - wy0) + 63) / 64, 0)
    {
    }
    int Value(int x, int y) const
    {
        return written.contains(cv::Point(x, y)) && (rowPeaks == nullptr || (*rowPeaks)[y] != 0)
                   ? working.ptr<uint16_t>(y)[x]
                   : 0;
    }
    size_t Index(int x, int y) const { return static_cast<size_t>(y - y0) * (x1 - x0) + (x - x0); }
    bool IsMarked(int x, int y) const { return (marks[Index(x, y) >> 6] >> (Index(x, y) & 63)) & 1u; }
    void SetMarked(int x, int y) { marks[Index(x, y) >> 6] |= uint64_t(1) << (Index(x, y) & 63); }
};

// Grows a region from the neighbours (x, y + 1), (x, y - 1), (x + 1, y), (x - 1, y) of a taken
// pixel, in this order and depth first, each step with one less budget; a step stops outside the
// window, at budget 0, at a taken pixel or below the threshold. The explicit stack visits the
// pixels in exactly that recursive order at any depth without using the thread's stack.
void RegionGrow(GrowArea &area, int x, int y, int64_t budget, RegionSums &region,
                std::vector<GrowFrame> &stack)
{
    static constexpr int kDx[4] = {0, 0, 1, -1};
    static constexpr int kDy[4] = {1, -1, 0, 0};
    stack.clear();
    stack.push_back({x, y, budget, 0});
    while (!stack.empty()) {
        GrowFrame &frame = stack.back();
        if (frame.next == 4) {
            stack.pop_back();
            continue;
        }
        const int nx = frame.x + kDx[frame.next];
        const int ny = frame.y + kDy[frame.next];
        const int64_t nb = frame.budget - 1;
        ++frame.next;
        if (nx < area.x0 || nx >= area.x1 || ny < area.y0 || ny >= area.y1 || nb == 0 ||
            area.IsMarked(nx, ny))
            continue;
        const int v = area.Value(nx, ny);
        if (v < area.threshold)
            continue;
        area.SetMarked(nx, ny);
        region.count += 1;
        region.sum += static_cast<uint32_t>(v);
        region.columnSum += static_cast<uint32_t>(nx);
        region.rowSum += static_cast<uint32_t>(ny);
        stack.push_back({nx, ny, nb, 0});
    }
}

bool SameDetection(const CellDetection &a, const CellDetection &b)
{
    return a.x == b.x && a.y == b.y && a.confidence == b.confidence && a.radius == b.radius &&
           a.lp_value == b.lp_value;
}

} // namespace

bool ApplyCFilter(const cv::Mat &working, int32_t left, int32_t right, int32_t top, int32_t bottom, int e,
                  int threshold, int minSize, std::vector<CellDetection> &detections, bool proximity,
                  std::vector<std::vector<CellDetection>> &columnIndex, float radius,
                  const cv::Rect *responseWindow, const std::vector<uint16_t> *rowPeaks)
{
    if (working.type() != CV_16UC1 || working.dims != 2 || right < left)
        return true;
    const int64_t f = e / 3;
    // The window (exclusive ends) stays inside the region and the image.
    const int64_t wy0 = std::max<int64_t>({int64_t(top) + e + f, top, 0});
    const int64_t wy1 = std::min<int64_t>({int64_t(bottom) - f - e, int64_t(bottom) + 1, working.rows});
    const int64_t wx0 = std::max<int64_t>({int64_t(left) + 2 * int64_t(e) + f, left, 0});
    const int64_t wx1 = std::min<int64_t>({int64_t(right) - f - e, int64_t(right) + 1, working.cols});
    if (wy0 >= wy1 || wx0 >= wx1)
        return true;
    const int x0 = static_cast<int>(wx0), x1 = static_cast<int>(wx1);
    const int y0 = static_cast<int>(wy0), y1 = static_cast<int>(wy1);
    const int64_t budget = 2 * int64_t(e) * e;

    const size_t regionColumns = static_cast<size_t>(int64_t(right) - left + 1);
    if (columnIndex.size() < regionColumns)
        columnIndex.resize(regionColumns);

    const cv::Rect written =
        responseWindow != nullptr ? *responseWindow : cv::Rect(0, 0, working.cols, working.rows);
    // Row peaks of another image size are not trusted.
    const std::vector<uint16_t> *peaks =
        rowPeaks != nullptr && rowPeaks->size() == static_cast<size_t>(working.rows) ? rowPeaks : nullptr;
    GrowArea area(working, written, peaks, x0, x1, y0, y1, threshold);
    std::vector<GrowFrame> stack;

    // Grows the region of the seed (x, y) and keeps it as a detection when it qualifies.
    auto regionFrom = [&](int x, int y, int seedValue) {
        RegionSums region;
        if (budget != 0) {
            area.SetMarked(x, y);
            region.count = 1;
            region.sum = static_cast<uint32_t>(seedValue);
            region.columnSum = static_cast<uint32_t>(x);
            region.rowSum = static_cast<uint32_t>(y);
            RegionGrow(area, x, y, budget, region, stack);
        }
        // A region of no pixels has no centroid, whatever the minimum size.
        if (region.count == 0 || static_cast<int64_t>(region.count) < minSize)
            return;

        CellDetection detection;
        detection.x = static_cast<int32_t>(
            std::round(static_cast<float>(region.columnSum) / static_cast<float>(region.count)));
        detection.y = static_cast<int32_t>(
            std::round(static_cast<float>(region.rowSum) / static_cast<float>(region.count)));
        detection.confidence = static_cast<float>(std::log2(static_cast<double>(region.sum)));
        detection.lp_value = 0.0f;
        detection.radius = radius;

        bool discarded = false;
        if (proximity) {
            const int64_t c0 = std::max<int64_t>(int64_t(detection.x) - e, left);
            const int64_t c1 = std::min<int64_t>(int64_t(detection.x) + e, right);
            for (int64_t c = c0; c <= c1 && !discarded; ++c) {
                std::vector<CellDetection> &column = columnIndex[static_cast<size_t>(c - left)];
                for (size_t i = 0; i < column.size();) {
                    const CellDetection &other = column[i];
                    if (std::abs(int64_t(other.y) - detection.y) > e) {
                        ++i;
                        continue;
                    }
                    if (!(detection.confidence > other.confidence)) {
                        discarded = true;
                        break;
                    }
                    auto found =
                        std::find_if(detections.begin(), detections.end(),
                                     [&](const CellDetection &d) { return SameDetection(d, other); });
                    if (found != detections.end())
                        detections.erase(found);
                    column.erase(column.begin() + static_cast<ptrdiff_t>(i));
                }
            }
        }
        if (discarded)
            return;
        detections.push_back(detection);
        columnIndex[static_cast<size_t>(int64_t(detection.x) - left)].push_back(detection);
    };

    if (threshold > 65535)
        return true; // no pixel can reach it
    if (threshold >= 1) {
        // Pixels the M filter did not write hold no response and cannot seed a region: search
        // each row's responses for the next seed, eight at a time.
        const int sx0 = std::max(x0, written.x);
        const int sx1 = std::min(x1, written.x + written.width);
        const int sy0 = std::max(y0, written.y);
        const int sy1 = std::min(y1, written.y + written.height);
        const auto t = static_cast<uint16_t>(threshold);
        // Which rows hold a seed at all is a pure read of the responses, done in parallel; the
        // scan and the growth stay in their order.
        std::vector<uint8_t> rowHasSeed(static_cast<size_t>(std::max(sy1 - sy0, 0)), 0);
        if (sx0 < sx1 && peaks != nullptr) {
            for (int y = sy0; y < sy1; ++y)
                rowHasSeed[y - sy0] = (*peaks)[y] >= t;
        } else if (sx0 < sx1) {
            cv::parallel_for_(cv::Range(sy0, std::max(sy0, sy1)), [&](const cv::Range &rows) {
                for (int y = rows.start; y < rows.end; ++y)
                    rowHasSeed[y - sy0] = NextAtLeast(working.ptr<uint16_t>(y), sx0, sx1, t) < sx1;
            });
        }
        for (int y = sy0; y < sy1; ++y) {
            if (!rowHasSeed[y - sy0])
                continue;
            const uint16_t *row = working.ptr<uint16_t>(y);
            for (int x = NextAtLeast(row, sx0, sx1, t); x < sx1; x = NextAtLeast(row, x + 1, sx1, t))
                if (!area.IsMarked(x, y))
                    regionFrom(x, y, row[x]);
        }
        return true;
    }
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            if (!area.IsMarked(x, y))
                regionFrom(x, y, area.Value(x, y)); // every value reaches a threshold of 0 or less
    return true;
}
