#include "analysis/RegionGrowing.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>

namespace {

cv::Mat Filled(int rows, int cols, uint16_t value)
{
    return cv::Mat(rows, cols, CV_16UC1, cv::Scalar(value));
}

// Noisy background with a few bright discs and rings, so that every branch of the M filter runs.
cv::Mat NoisyScene(int rows, int cols, uint64_t seed)
{
    cv::Mat image(rows, cols, CV_16UC1);
    cv::RNG rng(seed);
    rng.fill(image, cv::RNG::UNIFORM, 950, 1051);
    cv::circle(image, {30, 30}, 6, cv::Scalar(3000), cv::FILLED, cv::LINE_8);
    cv::circle(image, {70, 40}, 6, cv::Scalar(2500), 2, cv::LINE_8);
    cv::circle(image, {cols - 20, rows - 25}, 4, cv::Scalar(1800), cv::FILLED, cv::LINE_8);
    cv::circle(image, {cols / 2, rows - 20}, 8, cv::Scalar(0), cv::FILLED, cv::LINE_8);
    return image;
}

// The M response of one pixel straight from its definition, on the public sampling routines.
uint16_t ReferenceResponse(const cv::Mat &source, int x, int y, double radius, int n, int threshold,
                           bool inner)
{
    std::vector<RingOffset> ring, innerRing, outer;
    BuildRingOffsets(radius, n, ring, innerRing, outer);
    if (inner && !RingContrastTest(ring, innerRing, x, y, source))
        return 0;
    const float p = SampleRingPercentile(ring, x, y, source, 0.25);
    if (p < static_cast<float>(threshold))
        return 0;
    float qi = 0.0f;
    if (inner) {
        qi = SampleRingPercentile(innerRing, x, y, source, 0.75);
        if (qi > p)
            return 0;
    }
    const float qo = SampleRingPercentile(outer, x, y, source, 0.75);
    if (qo > p)
        return 0;
    float reference = inner ? std::min(qi, qo) : qo;
    if (reference == 0.0f)
        reference = 1.0f;
    const float response = std::min((p - reference) * 1000.0f / reference, 65535.0f);
    return static_cast<uint16_t>(std::round(response));
}

class ThreadCount
{
  public:
    explicit ThreadCount(int n) : m_saved(cv::getNumThreads()) { cv::setNumThreads(n); }
    ~ThreadCount() { cv::setNumThreads(m_saved); }

  private:
    int m_saved;
};

} // namespace

TEST(RingOffsets, FourDirections)
{
    // R = 4: h = 2, inner radius 2, outer radius 6; directions 0, 90, 180 and 270 degrees.
    std::vector<RingOffset> ring, inner, outer;
    BuildRingOffsets(4.0, 4, ring, inner, outer);
    auto pairs = [](const std::vector<RingOffset> &v) {
        std::vector<std::pair<int, int>> out;
        for (const RingOffset &o : v)
            out.emplace_back(o.dx, o.dy);
        return out;
    };
    using P = std::vector<std::pair<int, int>>;
    EXPECT_EQ(pairs(ring), (P{{4, 0}, {0, 4}, {-4, 0}, {0, -4}}));
    EXPECT_EQ(pairs(inner), (P{{2, 0}, {0, 2}, {-2, 0}, {0, -2}}));
    EXPECT_EQ(pairs(outer), (P{{6, 0}, {0, 6}, {-6, 0}, {0, -6}}));

    // R = 2.5 with 8 directions: h = 1; at 45 degrees 2.5 * 0.7071 = 1.77 rounds to 2, and the
    // inner radius 1.5 gives 1.06, rounding to 1.
    BuildRingOffsets(2.5, 8, ring, inner, outer);
    EXPECT_EQ(ring[0].dx, 3); // 2.5 rounds away from zero
    EXPECT_EQ(ring[1].dx, 2);
    EXPECT_EQ(ring[1].dy, 2);
    EXPECT_EQ(inner[1].dx, 1);
    EXPECT_EQ(outer[4].dx, -4); // -3.5 rounds away from zero
}

TEST(RingPercentile, InterpolatesOverSortedSamples)
{
    cv::Mat image = Filled(9, 9, 0);
    const std::vector<RingOffset> offsets{{1, 0}, {-1, 0}, {0, 1}, {0, -1}, {1, 1}};
    const uint16_t values[] = {50, 10, 40, 20, 30}; // sorted: 10 20 30 40 50
    for (size_t k = 0; k < offsets.size(); ++k)
        image.at<uint16_t>(4 + offsets[k].dy, 4 + offsets[k].dx) = values[k];
    // n = 5: e = 4 * fraction. 0.25 gives exactly the second smallest.
    EXPECT_FLOAT_EQ(SampleRingPercentile(offsets, 4, 4, image, 0.25), 20.0f);
    EXPECT_FLOAT_EQ(SampleRingPercentile(offsets, 4, 4, image, 0.75), 40.0f);
    EXPECT_FLOAT_EQ(SampleRingPercentile(offsets, 4, 4, image, 0.3), 22.0f); // e = 1.2
    EXPECT_FLOAT_EQ(SampleRingPercentile(offsets, 4, 4, image, 1.0), 50.0f);
    EXPECT_FLOAT_EQ(SampleRingPercentile(offsets, 4, 4, image, 0.0), 10.0f);
}

TEST(RingPercentile, SamplesOutsideTheImageReadTheNearestEdgePixel)
{
    cv::Mat image(3, 3, CV_16UC1);
    for (int i = 0; i < 9; ++i)
        image.at<uint16_t>(i / 3, i % 3) = static_cast<uint16_t>(10 * (i + 1));
    // From the top-left pixel: (-5, 0) reads (0, 0) = 10; (0, -5) reads 10; (5, 5) reads (2, 2) = 90.
    EXPECT_FLOAT_EQ(SampleRingPercentile({{-5, 0}}, 0, 0, image, 0.5), 10.0f);
    EXPECT_FLOAT_EQ(SampleRingPercentile({{5, 5}}, 0, 0, image, 0.5), 90.0f);
    EXPECT_FLOAT_EQ(SampleRingPercentile({{1, -7}}, 1, 2, image, 0.5), 30.0f);
}

TEST(RingContrast, AllowsAQuarterOfTheDirections)
{
    // n = 8: ring pixels at distance 2, inner pixels at distance 1, along the 8 directions.
    const std::vector<RingOffset> ring{{2, 0}, {2, 2}, {0, 2}, {-2, 2}, {-2, 0}, {-2, -2}, {0, -2}, {2, -2}};
    const std::vector<RingOffset> inner{{1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}, {-1, -1}, {0, -1}, {1, -1}};
    for (int failing = 0; failing <= 4; ++failing) {
        cv::Mat image = Filled(7, 7, 0);
        for (size_t k = 0; k < ring.size(); ++k) {
            image.at<uint16_t>(3 + ring[k].dy, 3 + ring[k].dx) = 200;
            // A direction fails when the ring is not brighter: equal counts as failing.
            image.at<uint16_t>(3 + inner[k].dy, 3 + inner[k].dx) = static_cast<int>(k) < failing ? 200 : 100;
        }
        EXPECT_EQ(RingContrastTest(ring, inner, 3, 3, image), failing <= 2)
            << failing << " failing directions";
    }
}

TEST(MFilter, ResponseValues)
{
    // R = 4, n = 4: ring at distance 4, inner at 2, outer at 6 (see RingOffsets.FourDirections).
    struct Case
    {
        uint16_t ring, inner, outer;
        bool useInner;
        int threshold;
        uint16_t expected;
    };
    const Case cases[] = {
        {300, 0, 100, false, 0, 2000},   // (300 - 100) * 1000 / 100
        {300, 150, 100, true, 0, 2000},  // reference min(150, 100)
        {300, 50, 100, true, 0, 5000},   // reference min(50, 100)
        {300, 300, 100, true, 0, 0},     // ring not brighter than the inner ring
        {70, 0, 0, false, 0, 65535},     // reference 0 taken as 1: 70000 saturates
        {300, 0, 100, false, 300, 2000}, // p equal to the threshold passes
        {300, 0, 100, false, 301, 0},    // p below the threshold
        {100, 0, 300, false, 0, 0},      // outer ring brighter
        {301, 0, 100, false, 0, 2010},   // 2010 exactly
        {100, 0, 3, false, 0, 32333},    // 32333.33 rounds down
        {101, 0, 2, false, 0, 49500},    // 49500 exactly
    };
    for (const Case &c : cases) {
        cv::Mat image = Filled(21, 21, 0);
        const int cx = 10, cy = 10;
        for (auto [dx, dy] : {std::pair{1, 0}, {0, 1}, {-1, 0}, {0, -1}}) {
            image.at<uint16_t>(cy + 4 * dy, cx + 4 * dx) = c.ring;
            image.at<uint16_t>(cy + 2 * dy, cx + 2 * dx) = c.inner;
            image.at<uint16_t>(cy + 6 * dy, cx + 6 * dx) = c.outer;
        }
        ASSERT_TRUE(ApplyMFilter(image, 0, 20, 0, 20, 4.0, 4, c.threshold, c.useInner));
        EXPECT_EQ(image.at<uint16_t>(cy, cx), c.expected)
            << "ring " << c.ring << " inner " << c.inner << " outer " << c.outer;
    }
}

TEST(MFilter, FlatImageRespondsNowhereAndTheWindowIsExact)
{
    // R = 3: a = 1; rows from top + 4 to before bottom - 4, columns from left + 7 to before
    // right - 4. Pixels outside that window keep their value.
    cv::Mat image = Filled(40, 50, 500);
    cv::Rect written;
    ASSERT_TRUE(ApplyMFilter(image, 5, 45, 10, 30, 3.0, 8, 0, true, &written));
    EXPECT_EQ(written, cv::Rect(12, 14, 29, 12));
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 50; ++x)
            ASSERT_EQ(image.at<uint16_t>(y, x), written.contains({x, y}) ? 0 : 500) << x << "," << y;
}

TEST(MFilter, MatchesTheDefinitionAtEveryPixel)
{
    // The filter's shortcuts (vector pre-tests, patch sampling) must give exactly the response of
    // the plain definition, including where the rings reach past the image border.
    const cv::Mat source = NoisyScene(90, 120, 7);
    struct Case
    {
        double radius;
        int samples, threshold;
        bool inner;
    };
    const Case cases[] = {{6.0, 12, 2000, true}, {6.0, 12, 0, false},  {5.5, 5, 1200, true},
                          {4.0, 8, 1, false},    {7.0, 16, 990, true}, {3.0, 1, 1000, false}};
    for (const Case &c : cases) {
        cv::Mat working = source.clone();
        cv::Rect written;
        ASSERT_TRUE(
            ApplyMFilter(working, 0, 119, 0, 89, c.radius, c.samples, c.threshold, c.inner, &written));
        ASSERT_FALSE(written.empty());
        int responding = 0;
        for (int y = 0; y < 90; ++y)
            for (int x = 0; x < 120; ++x) {
                const uint16_t expected =
                    written.contains({x, y})
                        ? ReferenceResponse(source, x, y, c.radius, c.samples, c.threshold, c.inner)
                        : source.at<uint16_t>(y, x);
                ASSERT_EQ(working.at<uint16_t>(y, x), expected)
                    << "R " << c.radius << " n " << c.samples << " threshold " << c.threshold << " at " << x
                    << "," << y;
                responding += written.contains({x, y}) && expected != 0;
            }
        EXPECT_GT(responding, 0) << "R " << c.radius << " n " << c.samples; // the full path ran
    }
}

TEST(MFilter, PaddedSourceMatchesTheDefinition)
{
    // A whole-frame region: the rings reach past every edge. The source is a view into a copy with
    // replicated borders; a border too narrow for the rings must not be trusted.
    const cv::Mat source = NoisyScene(90, 120, 5);
    const double radius = 6.0;
    const int samples = 12, threshold = 1500;
    const int reach = MFilterSampleReach(radius, samples);
    EXPECT_EQ(reach, 9); // the outer ring, radius 6 + 3
    for (int pad : {reach, reach + 4, reach - 2}) {
        cv::Mat padded;
        cv::copyMakeBorder(source, padded, pad, pad, pad, pad, cv::BORDER_REPLICATE);
        const cv::Mat view = padded(cv::Rect(pad, pad, source.cols, source.rows));
        cv::Mat working(source.size(), CV_16UC1, cv::Scalar(7));
        cv::Rect written;
        ASSERT_TRUE(
            ApplyMFilterFrom(view, working, 0, 119, 0, 89, radius, samples, threshold, true, &written, pad));
        ASSERT_FALSE(written.empty());
        int responding = 0;
        for (int y = 0; y < 90; ++y)
            for (int x = 0; x < 120; ++x) {
                const uint16_t expected =
                    written.contains({x, y})
                        ? ReferenceResponse(source, x, y, radius, samples, threshold, true)
                        : uint16_t(7);
                ASSERT_EQ(working.at<uint16_t>(y, x), expected) << "pad " << pad << " at " << x << "," << y;
                responding += expected != 0 && expected != 7;
            }
        EXPECT_GT(responding, 0) << "pad " << pad;
    }
}

TEST(MFilter, EveryWindowWidthMatchesTheDefinitionAndReportsRowPeaks)
{
    // Windows of every width class: under eight pixels, whole and partial groups of 8 and 32,
    // with sample counts whose early rejection needs 1 to 11 ring samples, and a threshold no
    // pixel reaches. Each row's peak is the largest response of that row; pixels outside the
    // window, and rows without a response, stay as they were.
    cv::Mat source = NoisyScene(70, 160, 21);
    for (int x = 40; x < 160; x += 23)
        cv::circle(source, {x, 20 + (x % 3) * 12}, 6, cv::Scalar(2800), cv::FILLED, cv::LINE_8);
    struct Case
    {
        double radius;
        int samples, threshold;
        bool inner;
    };
    const Case cases[] = {{6.0, 12, 2000, true},
                          {6.0, 40, 1500, true},
                          {5.0, 2, 1200, false},
                          {6.0, 8, 1300, false},
                          {4.0, 12, 70000, true}};
    for (const Case &c : cases) {
        for (const int width : {1, 7, 8, 9, 31, 32, 33, 47, 65, 100}) {
            // The window starts 2R + a after left and ends R + a before right.
            const cv::Rect probe = MFilterWindow(source.size(), 0, 159, 0, 69, c.radius);
            const int right = probe.x + width - 1 + (159 - (probe.x + probe.width - 1));
            cv::Mat working(source.size(), CV_16UC1, cv::Scalar(7));
            cv::Rect written;
            std::vector<uint16_t> peaks;
            ASSERT_TRUE(ApplyMFilterFrom(source, working, 0, right, 0, 69, c.radius, c.samples, c.threshold,
                                         c.inner, &written, 0, &peaks));
            ASSERT_EQ(written.width, width) << "R " << c.radius;
            ASSERT_EQ(peaks.size(), static_cast<size_t>(source.rows));
            for (int y = 0; y < source.rows; ++y) {
                uint16_t peak = 0;
                for (int x = written.x; x < written.x + written.width && y >= written.y && y < written.br().y;
                     ++x)
                    peak = std::max(
                        peak, ReferenceResponse(source, x, y, c.radius, c.samples, c.threshold, c.inner));
                ASSERT_EQ(peaks[y], peak) << "n " << c.samples << " width " << width << " row " << y;
                for (int x = 0; x < source.cols; ++x) {
                    // A row without a response is not written.
                    const bool inside = written.contains({x, y}) && peak > 0;
                    const uint16_t expected =
                        inside ? ReferenceResponse(source, x, y, c.radius, c.samples, c.threshold, c.inner)
                               : uint16_t(7);
                    ASSERT_EQ(working.at<uint16_t>(y, x), expected)
                        << "R " << c.radius << " n " << c.samples << " width " << width << " at " << x << ","
                        << y;
                }
            }
        }
    }
}

TEST(MFilter, SameResultOnOneThreadAndOnAll)
{
    const cv::Mat source = NoisyScene(160, 200, 11);
    cv::Mat serial = source.clone();
    cv::Mat parallel = source.clone();
    {
        ThreadCount one(1);
        ASSERT_TRUE(ApplyMFilter(serial, 0, 199, 0, 159, 6.0, 12, 1500, true));
    }
    {
        ThreadCount all(std::max(4, cv::getNumberOfCPUs()));
        ASSERT_TRUE(ApplyMFilter(parallel, 0, 199, 0, 159, 6.0, 12, 1500, true));
    }
    EXPECT_EQ(cv::countNonZero(serial != parallel), 0);
    EXPECT_GT(cv::countNonZero(serial != source), 0); // the filter did something
}

TEST(MFilter, RefusesWhatItCannotSample)
{
    cv::Mat image = Filled(30, 30, 100);
    EXPECT_FALSE(ApplyMFilter(image, 0, 29, 0, 29, 4.0, 0, 0, false));
    EXPECT_FALSE(ApplyMFilter(image, 0, 29, 0, 29, -1.0, 8, 0, false));
    EXPECT_FALSE(ApplyMFilter(image, 0, 29, 0, 29, std::nan(""), 8, 0, false));
    EXPECT_EQ(cv::countNonZero(image != 100), 0);
}

// --- C filter -----------------------------------------------------------------------------------

namespace {

using Detections = std::vector<CellDetection>;
using ColumnIndex = std::vector<std::vector<CellDetection>>;

// The C filter straight from its definition, with recursive growth; for comparison on small images.
struct ReferenceCFilter
{
    const cv::Mat &w;
    int x0, x1, y0, y1, threshold;
    std::vector<uint8_t> marked{};
    uint32_t count = 0, sum = 0, cx = 0, cy = 0;

    void Grow(int x, int y, int64_t b)
    {
        if (x < x0 || x >= x1 || y < y0 || y >= y1 || b == 0)
            return;
        uint8_t &m = marked[(y - y0) * (x1 - x0) + (x - x0)];
        if (m || w.at<uint16_t>(y, x) < threshold)
            return;
        m = 1;
        ++count;
        sum += w.at<uint16_t>(y, x);
        cx += x;
        cy += y;
        Grow(x, y + 1, b - 1);
        Grow(x, y - 1, b - 1);
        Grow(x + 1, y, b - 1);
        Grow(x - 1, y, b - 1);
    }

    // Regions in scan order as (count, column sum, row sum); no size or proximity rule.
    std::vector<std::array<uint32_t, 3>> Regions(int e)
    {
        std::vector<std::array<uint32_t, 3>> out;
        marked.assign((x1 - x0) * (y1 - y0), 0);
        const int64_t budget = 2 * e * e;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) {
                uint8_t &m = marked[(y - y0) * (x1 - x0) + (x - x0)];
                if (w.at<uint16_t>(y, x) < threshold || m || budget == 0)
                    continue;
                m = 1;
                count = 1;
                sum = w.at<uint16_t>(y, x);
                cx = x;
                cy = y;
                Grow(x, y + 1, budget - 1);
                Grow(x, y - 1, budget - 1);
                Grow(x + 1, y, budget - 1);
                Grow(x - 1, y, budget - 1);
                out.push_back({count, cx, cy});
            }
        return out;
    }
};

bool SameDetection(const CellDetection &a, const CellDetection &b)
{
    return a.x == b.x && a.y == b.y && a.confidence == b.confidence && a.radius == b.radius;
}

Detections RunCFilter(const cv::Mat &w, int left, int right, int top, int bottom, int e, int threshold,
                      int minSize, bool proximity, float radius = 5.0f)
{
    Detections detections;
    ColumnIndex index(right - left + 1);
    ApplyCFilter(w, left, right, top, bottom, e, threshold, minSize, detections, proximity, index, radius);
    return detections;
}

} // namespace

TEST(CFilter, MinimumSizeCentroidAndConfidence)
{
    cv::Mat w = Filled(30, 30, 0);
    w(cv::Rect(14, 10, 2, 2)).setTo(100); // 4 pixels, centroid (14.5, 10.5)
    EXPECT_TRUE(RunCFilter(w, 0, 29, 0, 29, 3, 50, 5, false).empty());
    const Detections found = RunCFilter(w, 0, 29, 0, 29, 3, 50, 4, false, 7.5f);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].x, 15); // halves away from zero
    EXPECT_EQ(found[0].y, 11);
    EXPECT_FLOAT_EQ(found[0].confidence, static_cast<float>(std::log2(400.0)));
    EXPECT_EQ(found[0].lp_value, 0.0f);
    EXPECT_EQ(found[0].radius, 7.5f);
}

TEST(CFilter, NothingGrowsWithoutBudgetOrWindow)
{
    cv::Mat w = Filled(40, 40, 0);
    w(cv::Rect(15, 15, 3, 3)).setTo(100);
    // e = 0: the budget is 0, even with a minimum size of 0.
    EXPECT_TRUE(RunCFilter(w, 0, 39, 0, 39, 0, 50, 0, false).empty());
    // e = 3, f = 1: the window needs a width above 3e + 2f + 1 = 12 (columns from left + 7 to
    // before right - 4) and a height above 2e + 2f + 1 = 9 (rows from top + 4 to before bottom - 4).
    EXPECT_TRUE(RunCFilter(w, 8, 19, 0, 39, 3, 50, 1, false).empty()); // width 12
    Detections found = RunCFilter(w, 8, 20, 0, 39, 3, 50, 1, false);   // width 13: column 15 only
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].x, 15);
    EXPECT_TRUE(RunCFilter(w, 0, 39, 12, 20, 3, 50, 1, false).empty()); // height 9
    found = RunCFilter(w, 0, 39, 12, 21, 3, 50, 1, false);              // height 10: row 16 only
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].y, 16);
}

TEST(CFilter, BudgetLimitsTheGrowthChain)
{
    // e = 2: budget 8, so from the left end of a line the growth takes 8 pixels; the rest of the
    // line is found again from its next unmarked pixel.
    cv::Mat w = Filled(20, 40, 0);
    w(cv::Rect(10, 10, 20, 1)).setTo(100);
    const Detections found = RunCFilter(w, 0, 39, 0, 19, 2, 50, 1, false);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0].x, 14); // columns 10..17: 13.5 rounds to 14
    EXPECT_EQ(found[1].x, 22); // columns 18..25
    EXPECT_EQ(found[2].x, 28); // columns 26..29: 27.5 rounds to 28
}

TEST(CFilter, GrowthVisitsPixelsInTheRecursiveOrder)
{
    // With a budget the order decides which pixels a region takes: compare with the recursive
    // definition on random blobs.
    for (uint64_t seed = 1; seed <= 12; ++seed) {
        cv::Mat w(48, 64, CV_16UC1);
        cv::RNG rng(seed);
        rng.fill(w, cv::RNG::UNIFORM, 0, 200);
        const int e = 1 + static_cast<int>(seed % 4);
        const int f = e / 3;
        const int threshold = seed % 3 == 0 ? 0 : 80; // 0: every pixel qualifies
        const Detections found = RunCFilter(w, 0, 63, 0, 47, e, threshold, 1, false);
        ReferenceCFilter reference{w, 2 * e + f, 63 - f - e, e + f, 47 - f - e, threshold, {}};
        const auto regions = reference.Regions(e);
        ASSERT_EQ(found.size(), regions.size()) << "seed " << seed;
        for (size_t i = 0; i < regions.size(); ++i) {
            const float n = static_cast<float>(regions[i][0]);
            EXPECT_EQ(found[i].x, static_cast<int>(std::round(static_cast<float>(regions[i][1]) / n)));
            EXPECT_EQ(found[i].y, static_cast<int>(std::round(static_cast<float>(regions[i][2]) / n)));
        }
    }
}

TEST(CFilter, DeepGrowthNeedsNoThreadStack)
{
    // e = 100: budget 20000 along a snake-shaped path of over 9000 pixels.
    cv::Mat w = Filled(420, 420, 0);
    const int e = 100, f = 33;
    const cv::Rect window(2 * e + f, e + f, 420 - 1 - f - e - (2 * e + f), 420 - 1 - f - e - (e + f));
    for (int y = window.y; y < window.y + window.height; y += 2) {
        w(cv::Rect(window.x, y, window.width, 1)).setTo(100);
        const int link = ((y - window.y) / 2) % 2 == 0 ? window.x + window.width - 1 : window.x;
        if (y + 1 < window.y + window.height)
            w.at<uint16_t>(y + 1, link) = 100;
    }
    const Detections found = RunCFilter(w, 0, 419, 0, 419, e, 50, 1, false);
    ASSERT_EQ(found.size(), 1u);
}

TEST(CFilter, ProximityWithinTheType)
{
    cv::Mat w = Filled(40, 40, 0);
    // Equally strong single pixels 2 apart: the second in scan order is dropped.
    w.at<uint16_t>(20, 18) = 100;
    w.at<uint16_t>(20, 20) = 100;
    Detections found = RunCFilter(w, 0, 39, 0, 39, 3, 50, 1, true);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].x, 18);
    EXPECT_EQ(RunCFilter(w, 0, 39, 0, 39, 3, 50, 1, false).size(), 2u);

    // A stronger later one replaces the earlier; a farther one stays.
    w.at<uint16_t>(20, 20) = 400;
    w.at<uint16_t>(28, 30) = 100; // 10 columns away
    Detections detections;
    ColumnIndex index(40);
    ApplyCFilter(w, 0, 39, 0, 39, 3, 50, 1, detections, true, index, 5.0f);
    ASSERT_EQ(detections.size(), 2u);
    EXPECT_EQ(detections[0].x, 20);
    EXPECT_EQ(detections[1].x, 30);
    EXPECT_TRUE(index[18].empty());
    ASSERT_EQ(index[20].size(), 1u);
    EXPECT_EQ(index[20][0].y, 20);

    // The index carries over between calls: the same image again finds nothing new.
    ApplyCFilter(w, 0, 39, 0, 39, 3, 50, 1, detections, true, index, 6.0f);
    EXPECT_EQ(detections.size(), 2u);
}

TEST(CFilter, PixelsOutsideTheResponseWindowAreNoResponse)
{
    cv::Mat w = Filled(40, 40, 0);
    w(cv::Rect(10, 10, 2, 2)).setTo(900); // left outside the response window: raw values
    w(cv::Rect(25, 20, 2, 2)).setTo(900);
    Detections detections;
    ColumnIndex index(40);
    const cv::Rect responses(15, 15, 20, 20);
    ApplyCFilter(w, 0, 39, 0, 39, 2, 50, 1, detections, false, index, 5.0f, &responses);
    ASSERT_EQ(detections.size(), 1u);
    EXPECT_EQ(detections[0].x, 26);
}

TEST(CFilter, RowPeaksFindWhatTheFullSearchFinds)
{
    // The M filter with row peaks leaves rows without a response as they were (here: noise), and
    // the C filter given the peaks reads them as no response and searches only the rows that can
    // seed: it finds what the full search finds on the fully written responses. Peaks of another
    // image size are not trusted.
    cv::Mat source = NoisyScene(120, 160, 31);
    for (int i = 0; i < 9; ++i)
        cv::circle(source, {30 + 15 * i, 25 + 9 * i}, 6, cv::Scalar(3000 + 50 * i), cv::FILLED, cv::LINE_8);
    cv::Mat clean(source.size(), CV_16UC1, cv::Scalar(0));
    cv::Mat stale(source.size(), CV_16UC1);
    cv::RNG(5).fill(stale, cv::RNG::UNIFORM, 0, 1000);
    cv::Rect written;
    std::vector<uint16_t> peaks;
    ASSERT_TRUE(ApplyMFilterFrom(source, clean, 0, 159, 0, 119, 6.0, 12, 2000, false, &written));
    ASSERT_TRUE(ApplyMFilterFrom(source, stale, 0, 159, 0, 119, 6.0, 12, 2000, false, &written, 0, &peaks));
    // A lone seed exactly at the largest threshold, in a row without other responses.
    int lone = 10;
    while (lone < 95 && peaks[lone] != 0)
        ++lone;
    ASSERT_LT(lone, 95);
    stale(cv::Rect(written.x, lone, written.width, 1)).setTo(0);
    clean.at<uint16_t>(lone, 130) = stale.at<uint16_t>(lone, 130) = 500;
    peaks[lone] = 500;
    const std::vector<uint16_t> shortPeaks(10, 0);
    for (const int threshold : {1, 100, 500}) {
        Detections full, skipping, mistrusted;
        ColumnIndex a(160), b(160), c(160);
        ApplyCFilter(clean, 0, 159, 0, 119, 3, threshold, 1, full, true, a, 6.0f, &written);
        ApplyCFilter(stale, 0, 159, 0, 119, 3, threshold, 1, skipping, true, b, 6.0f, &written, &peaks);
        ApplyCFilter(clean, 0, 159, 0, 119, 3, threshold, 1, mistrusted, true, c, 6.0f, &written,
                     &shortPeaks);
        EXPECT_GE(full.size(), 10u) << "threshold " << threshold;
        EXPECT_TRUE(std::any_of(full.begin(), full.end(),
                                [&](const CellDetection &d) { return d.x == 130 && d.y == lone; }));
        for (const Detections *other : {&skipping, &mistrusted}) {
            ASSERT_EQ(other->size(), full.size()) << "threshold " << threshold;
            for (size_t i = 0; i < full.size(); ++i)
                EXPECT_TRUE(SameDetection(full[i], (*other)[i]))
                    << "threshold " << threshold << " detection " << i;
        }
    }
}
