#include "Ostravo/ImagePrimitives.h"

#include "platform/ErrorText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <opencv2/core/hal/intrin.hpp>
#include <opencv2/core/utility.hpp>

namespace Ostravo {

namespace {

constexpr const char *kPercentileName = "Ostravo::ComputePercentileIntensities";
constexpr const char *kDarkIslandsName = "Ostravo::FindDarkIslands";

using platform::SetError;

bool Is16BitGrey(const cv::Mat &image)
{
    return image.type() == CV_16UC1 && image.dims == 2;
}

// Intersects a non-empty region with the image. Degenerate regions (right < left or bottom <
// top) read no pixel and are left alone. False when a non-empty region lies wholly outside.
bool ClipToImage(const cv::Mat &image, ImageRegion &region)
{
    if (region.right < region.left || region.bottom < region.top)
        return true;
    region.left = std::max(region.left, 0);
    region.top = std::max(region.top, 0);
    region.right = std::min(region.right, image.cols - 1);
    region.bottom = std::min(region.bottom, image.rows - 1);
    return region.left <= region.right && region.top <= region.bottom;
}

// |difference| x 1000 / d, truncated and saturated at 65535. The map is monotonic in the
// difference, so the largest of several gradients of one pixel is the map of the largest
// difference: one division per pixel.
inline uint16_t RelativeGradient(int32_t difference, int32_t d)
{
    const int32_t g = difference * 1000 / d;
    return static_cast<uint16_t>(g > 65535 ? 65535 : g);
}

} // namespace

namespace {

// The edge region after clipping, inclusive.
struct EdgeBounds
{
    int c0, c1, r0, r1;
    bool Empty() const { return c0 > c1 || r0 > r1; }
};

EdgeBounds ClipEdgeBounds(const cv::Mat &image, int32_t left, int32_t right, int32_t top, int32_t bottom)
{
    const int rows = image.rows;
    const int cols = image.cols;
    // The comparisons of left with right and top with bottom use the bounds as given.
    return {(left >= 0 && left < cols) ? left : 0, (left < right && right < cols) ? right : cols - 1,
            (top >= 0 && top < rows) ? top : 0, (top < bottom && bottom < rows) ? bottom : rows - 1};
}

// Writes the edge value of every pixel of the bounds into dest, reading only source. source rows
// are those of the whole image from firstSourceRow on.
void EdgeKernel(const cv::Mat &source, int firstSourceRow, int rows, int cols, cv::Mat &dest,
                const EdgeBounds &b)
{
    // Rows are independent, so they may be computed in any order and on any thread.
    auto body = [&](const cv::Range &range) {
        for (int r = range.start; r < range.end; ++r) {
            uint16_t *out = dest.ptr<uint16_t>(r);
            const uint16_t *mid = source.ptr<uint16_t>(r - firstSourceRow);
            const bool rowBorder = r < 1 || r > rows - 2;
            const uint16_t *up = rowBorder ? nullptr : source.ptr<uint16_t>(r - 1 - firstSourceRow);
            const uint16_t *down = rowBorder ? nullptr : source.ptr<uint16_t>(r + 1 - firstSourceRow);
            auto edgeAt = [&](int c) {
                const bool colBorder = c < 1 || c > cols - 2;
                int32_t largest = 0;
                if (!rowBorder)
                    largest = std::abs(int32_t(up[c]) - int32_t(down[c]));
                if (!colBorder) {
                    largest = std::max(largest, std::abs(int32_t(mid[c - 1]) - int32_t(mid[c + 1])));
                    if (!rowBorder)
                        largest = std::max(largest, std::abs(int32_t(up[c - 1]) - int32_t(down[c + 1])));
                }
                const int32_t v = mid[c];
                return RelativeGradient(largest, v == 0 ? 1 : v);
            };
            int c = b.c0;
#if CV_SIMD128
            if (!rowBorder) {
                // Eight inner pixels at a time. The quotient is estimated in single precision,
                // which is within 0.01 of the exact one below 65536, and then corrected to the
                // exact integer quotient with the remainder.
                const int vectorStart = std::max(b.c0, 1);
                const int vectorEnd = std::min(b.c1, cols - 2) + 1;
                for (; c < vectorStart; ++c)
                    out[c] = edgeAt(c);
                const cv::v_uint16x8 one = cv::v_setall_u16(1);
                const cv::v_int32x4 thousand = cv::v_setall_s32(1000);
                const cv::v_int32x4 zero = cv::v_setzero_s32();
                const cv::v_int32x4 limit = cv::v_setall_s32(65535);
                const cv::v_float32x4 ceiling = cv::v_setall_f32(65536.0f);
                auto quotient = [&](const cv::v_uint32x4 &difference, const cv::v_uint32x4 &divisor) {
                    const cv::v_int32x4 n = cv::v_reinterpret_as_s32(difference) * thousand;
                    const cv::v_int32x4 d = cv::v_reinterpret_as_s32(divisor);
                    cv::v_int32x4 q = cv::v_trunc(cv::v_min(cv::v_cvt_f32(n) / cv::v_cvt_f32(d), ceiling));
                    const cv::v_int32x4 remainder = n - q * d;
                    q = q - (remainder >= d) + (remainder < zero); // masks are -1 where true
                    return cv::v_min(q, limit);
                };
                for (; c + 8 <= vectorEnd; c += 8) {
                    cv::v_uint16x8 largest = cv::v_absdiff(cv::v_load(up + c), cv::v_load(down + c));
                    largest =
                        cv::v_max(largest, cv::v_absdiff(cv::v_load(mid + c - 1), cv::v_load(mid + c + 1)));
                    largest =
                        cv::v_max(largest, cv::v_absdiff(cv::v_load(up + c - 1), cv::v_load(down + c + 1)));
                    const cv::v_uint16x8 divisor = cv::v_max(cv::v_load(mid + c), one);
                    cv::v_uint32x4 l0, l1, d0, d1;
                    cv::v_expand(largest, l0, l1);
                    cv::v_expand(divisor, d0, d1);
                    cv::v_store(out + c, cv::v_pack_u(quotient(l0, d0), quotient(l1, d1)));
                }
            }
#endif
            for (; c <= b.c1; ++c)
                out[c] = edgeAt(c);
        }
    };
    cv::parallel_for_(cv::Range(b.r0, b.r1 + 1), body);
}

} // namespace

bool ApplyEdgeProcessing(cv::Mat &image, int32_t left, int32_t right, int32_t top, int32_t bottom)
{
    if (!Is16BitGrey(image) || image.empty())
        return false;
    const EdgeBounds b = ClipEdgeBounds(image, left, right, top, bottom);
    if (b.Empty())
        return true;
    // Every gradient comes from the values before any pixel was written: keep the rows the region
    // and its neighbours span.
    const int s0 = std::max(b.r0 - 1, 0);
    const int s1 = std::min(b.r1 + 1, image.rows - 1);
    const cv::Mat source = image.rowRange(s0, s1 + 1).clone();
    EdgeKernel(source, s0, image.rows, image.cols, image, b);
    return true;
}

bool ApplyEdgeProcessingFrom(const cv::Mat &source, cv::Mat &dest, int32_t left, int32_t right, int32_t top,
                             int32_t bottom)
{
    if (!Is16BitGrey(source) || source.empty() || !Is16BitGrey(dest) || dest.size() != source.size() ||
        dest.data == source.data)
        return false;
    const EdgeBounds b = ClipEdgeBounds(source, left, right, top, bottom);
    if (!b.Empty())
        EdgeKernel(source, 0, source.rows, source.cols, dest, b);
    return true;
}

bool ComputePercentileIntensities(const cv::Mat &image, const ImageRegion &region,
                                  const std::vector<float> &fractions, std::vector<uint16_t> &values,
                                  EString &error)
{
    if (fractions.empty()) {
        SetError(error, kPercentileName, "pct must have size of at least 1");
        return false;
    }
    if (!Is16BitGrey(image)) {
        SetError(error, kPercentileName, "image must be type CV_16UC1");
        return false;
    }
    ImageRegion r = region;
    if (!ClipToImage(image, r)) {
        SetError(error, kPercentileName, "roi is outside of the image");
        return false;
    }

    std::vector<uint32_t> histogram(65536, 0);
    for (int y = r.top; y <= r.bottom; ++y) {
        const uint16_t *row = image.ptr<uint16_t>(y);
        for (int x = r.left; x <= r.right; ++x)
            ++histogram[row[x]];
    }
    const float n = static_cast<float>(static_cast<int64_t>(r.right - r.left + 1) * (r.bottom - r.top + 1));

    auto invalid = [&](size_t index) {
        char text[96];
        std::snprintf(text, sizeof text, "pct[%lu] is invalid, 0 <= pct <= 1",
                      static_cast<unsigned long>(index));
        SetError(error, kPercentileName, text);
        return false;
    };
    auto targetOf = [&](float fraction) { return static_cast<int64_t>(std::round(n * fraction)); };

    size_t index = 0;
    if (!(fractions[0] >= 0.0f && fractions[0] <= 1.0f))
        return invalid(0);
    int64_t target = targetOf(fractions[0]);
    int64_t sum = 0;
    for (int level = 0; level < 65536; ++level) {
        sum += histogram[level];
        while (sum >= target) {
            values.push_back(static_cast<uint16_t>(level));
            if (++index == fractions.size())
                return true;
            if (fractions[index] < fractions[index - 1]) {
                SetError(error, kPercentileName, "pct must be sorted from smallest to largest");
                return false;
            }
            if (!(fractions[index] >= 0.0f && fractions[index] <= 1.0f))
                return invalid(index);
            target = targetOf(fractions[index]);
        }
    }
    SetError(error, kPercentileName, "not all values assigned");
    return false;
}

bool ComputeFocusScore(cv::Mat &image, const ImageRegion *region, double &score, EString &error)
{
    if (!Is16BitGrey(image)) {
        error.Assign("ComputeFocusScore() image must be type CV_16UC1");
        return false;
    }
    ImageRegion r{0, 0, image.cols - 1, image.rows - 1};
    if (region != nullptr) {
        r = *region;
        // A view must lie inside the image; clip rather than let the view constructor throw.
        if (r.right < r.left || r.bottom < r.top || !ClipToImage(image, r)) {
            error.Assign("ComputeFocusScore() Region of interest is empty or outside of the image");
            return false;
        }
    }
    const int width = r.right - r.left + 1;
    const int height = r.bottom - r.top + 1;
    const int64_t n = static_cast<int64_t>(width) * height;
    if (n < 2000) {
        error.Assign("ComputeFocusScore() Region of interest must include at least 2000 pixels");
        return false;
    }

    cv::Mat view = image(cv::Rect(r.left, r.top, width, height));
    ApplyEdgeProcessing(view, -1, -1, -1, -1);

    const ImageRegion interior{1, 1, width - 2, height - 2};
    const std::vector<float> fractions{0.5f, static_cast<float>(1.0 - 10.0 / static_cast<double>(n))};
    std::vector<uint16_t> values;
    if (!ComputePercentileIntensities(view, interior, fractions, values, error))
        return false;
    score = static_cast<double>(values[1]) / static_cast<double>(values[0]);
    return true;
}

namespace {

// State of one island fill. The fill visits its neighbours depth first; an explicit stack keeps
// the exact order of the recursive description without using the thread's stack.
struct IslandFill
{
    const cv::Mat &work;
    cv::Mat &labels;
    uint16_t seedThreshold;
    uint16_t growThreshold;
    uint16_t label = 0;
    int visits = 0;
    DarkIsland island{};

    // One call of the fill at (x, y): true when the pixel joined the island.
    bool Enter(int x, int y)
    {
        if (visits >= 2000)
            return false;
        ++visits;
        if (x < 0 || y < 0 || x >= work.cols || y >= work.rows)
            return false;
        const uint16_t v = work.ptr<uint16_t>(y)[x];
        if (island.pixel_count == 0 && v > seedThreshold)
            return false;
        uint16_t &mark = labels.ptr<uint16_t>(y)[x];
        if (mark != 0 || v > growThreshold)
            return false;
        mark = label;
        if (island.pixel_count == 0) {
            island.seed_x = static_cast<int16_t>(x);
            island.seed_y = static_cast<int16_t>(y);
            island.min_x = island.max_x = x;
            island.min_y = island.max_y = y;
        }
        island.pixel_count += 1;
        island.intensity_sum += v;
        island.x_moment += static_cast<int64_t>(x) * v;
        island.y_moment += static_cast<int64_t>(y) * v;
        island.min_x = std::min(island.min_x, x);
        island.min_y = std::min(island.min_y, y);
        island.max_x = std::max(island.max_x, x);
        island.max_y = std::max(island.max_y, y);
        return true;
    }
};

// Fills the island that starts at (x, y); true when the start pixel was accepted.
bool FloodFillDarkIsland(IslandFill &fill, int x, int y)
{
    struct Frame
    {
        int x;
        int y;
        int next;
    };
    static constexpr int kDx[4] = {1, -1, 0, 0};
    static constexpr int kDy[4] = {0, 0, 1, -1};
    if (!fill.Enter(x, y))
        return false;
    std::vector<Frame> stack;
    stack.push_back({x, y, 0});
    while (!stack.empty()) {
        Frame &top = stack.back();
        if (top.next == 4) {
            stack.pop_back();
            continue;
        }
        const int nx = top.x + kDx[top.next];
        const int ny = top.y + kDy[top.next];
        ++top.next;
        if (fill.Enter(nx, ny))
            stack.push_back({nx, ny, 0});
    }
    return true;
}

} // namespace

bool FindDarkIslands(const cv::Mat &image, const ImageRegion &region, uint16_t seedThreshold,
                     uint16_t growThreshold, std::vector<DarkIsland> &islands, EString &error,
                     cv::Mat *labelImage)
{
    const int64_t width = static_cast<int64_t>(region.right) - region.left + 1;
    const int64_t height = static_cast<int64_t>(region.bottom) - region.top + 1;
    if (height < 10 || width < 10) {
        SetError(error, kDarkIslandsName, "roi height and width must be at least 10x10 pixels");
        return false;
    }
    if (region.left < 0 || region.right >= image.cols || region.top < 0 || region.bottom >= image.rows) {
        SetError(error, kDarkIslandsName, "given roi is not inside of the given image");
        return false;
    }
    if (!Is16BitGrey(image)) {
        SetError(error, kDarkIslandsName, "image must be type CV_16UC1");
        return false;
    }
    if (labelImage != nullptr && (labelImage->type() != CV_8UC1 || labelImage->size() != image.size())) {
        SetError(error, kDarkIslandsName, "label image must be CV_8UC1 of the image's size");
        return false;
    }

    const cv::Rect rect(region.left, region.top, static_cast<int>(width), static_cast<int>(height));
    const cv::Mat work = image(rect).clone();
    // Not Mat::zeros: its expression object is a lazily made singleton that threads race to build.
    cv::Mat labels(work.size(), CV_16UC1, cv::Scalar(0));

    uint16_t label = 1;
    for (int y = 0; y < work.rows; ++y) {
        for (int x = 0; x < work.cols; ++x) {
            IslandFill fill{work, labels, seedThreshold, growThreshold};
            fill.label = label;
            if (!FloodFillDarkIsland(fill, x, y))
                continue;
            DarkIsland &island = fill.island;
            island.seed_x = static_cast<int16_t>(island.seed_x + region.left);
            island.seed_y = static_cast<int16_t>(island.seed_y + region.top);
            // An island of zero-valued pixels has no centroid; it is dropped and its label reused.
            if (island.intensity_sum == 0)
                continue;
            island.centroid_x =
                static_cast<float>(region.left) +
                static_cast<float>(static_cast<double>(island.x_moment) / island.intensity_sum);
            island.centroid_y =
                static_cast<float>(region.top) +
                static_cast<float>(static_cast<double>(island.y_moment) / island.intensity_sum);
            islands.push_back(island);
            if (label == 65535) {
                SetError(error, kDarkIslandsName, "found maximum number of islands 0xFFFF");
                return false;
            }
            ++label;
        }
    }

    if (labelImage != nullptr) {
        for (int y = 0; y < work.rows; ++y) {
            const uint16_t *in = labels.ptr<uint16_t>(y);
            uint8_t *out = labelImage->ptr<uint8_t>(region.top + y) + region.left;
            for (int x = 0; x < work.cols; ++x)
                out[x] = static_cast<uint8_t>(in[x] & 0xFF);
        }
    }
    return true;
}

} // namespace Ostravo
