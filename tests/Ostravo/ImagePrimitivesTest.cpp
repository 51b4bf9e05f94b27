#include "Ostravo/ImagePrimitives.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <opencv2/core/utility.hpp>
#include <string>

using Ostravo::DarkIsland;
using Ostravo::ImageRegion;

namespace {

cv::Mat Filled(int rows, int cols, uint16_t value)
{
    return cv::Mat(rows, cols, CV_16UC1, cv::Scalar(value));
}

std::string Text(const EString &s)
{
    return s.c_str();
}

} // namespace

// --- Edge image ---------------------------------------------------------------------------------

TEST(EdgeProcessing, ZeroPixelDividesByOneAndSaturates)
{
    // Centre 0 between 0 (left) and 65 or 66 (right): |0 - 65| * 1000 / 1 = 65000; 66000 saturates.
    for (auto [right, expected] : {std::pair<uint16_t, uint16_t>{65, 65000}, {66, 65535}}) {
        cv::Mat image = Filled(3, 3, 0);
        image.at<uint16_t>(1, 2) = right;
        ASSERT_TRUE(Ostravo::ApplyEdgeProcessing(image, 1, 1, 1, 1));
        EXPECT_EQ(image.at<uint16_t>(1, 1), expected) << "right neighbour " << right;
    }
}

TEST(EdgeProcessing, GradientsComeFromTheOriginalValues)
{
    // Every row is 100, 200, 400, 800: inner pixels get |100 - 400| * 1000 / 200 = 1500 and
    // |200 - 800| * 1000 / 400 = 1500 (also diagonally); the image's border columns get 0.
    // Had the first result been written before the second was computed, the second would differ.
    cv::Mat image(3, 4, CV_16UC1);
    for (int r = 0; r < 3; ++r) {
        image.at<uint16_t>(r, 0) = 100;
        image.at<uint16_t>(r, 1) = 200;
        image.at<uint16_t>(r, 2) = 400;
        image.at<uint16_t>(r, 3) = 800;
    }
    ASSERT_TRUE(Ostravo::ApplyEdgeProcessing(image, -1, -1, -1, -1));
    for (int r = 0; r < 3; ++r) {
        EXPECT_EQ(image.at<uint16_t>(r, 0), 0);
        EXPECT_EQ(image.at<uint16_t>(r, 1), 1500);
        EXPECT_EQ(image.at<uint16_t>(r, 2), 1500);
        EXPECT_EQ(image.at<uint16_t>(r, 3), 0);
    }
}

TEST(EdgeProcessing, RegionClippingRules)
{
    // A constant image becomes 0 inside the processed region and keeps its value elsewhere.
    struct Case
    {
        int left, right, top, bottom; // as passed
        int c0, c1, r0, r1;           // processed columns and rows, inclusive
    };
    const Case cases[] = {
        {2, 4, 1, 3, 2, 4, 1, 3},     // ordinary region
        {3, 3, 1, 4, 3, 7, 1, 4},     // left = right: runs to the last column
        {2, 5, 2, 2, 2, 5, 2, 5},     // top = bottom: runs to the last row
        {-1, -1, -1, -1, 0, 7, 0, 5}, // whole image
        {-4, 20, 1, 30, 0, 7, 1, 5},  // bounds outside the image are replaced
    };
    for (const Case &c : cases) {
        cv::Mat image = Filled(6, 8, 100);
        ASSERT_TRUE(Ostravo::ApplyEdgeProcessing(image, c.left, c.right, c.top, c.bottom));
        for (int r = 0; r < 6; ++r)
            for (int col = 0; col < 8; ++col) {
                const bool inside = r >= c.r0 && r <= c.r1 && col >= c.c0 && col <= c.c1;
                EXPECT_EQ(image.at<uint16_t>(r, col), inside ? 0 : 100)
                    << "case " << c.left << "," << c.right << "," << c.top << "," << c.bottom << " at " << r
                    << "," << col;
            }
    }
}

TEST(EdgeProcessing, MatchesTheDefinitionOnRandomImages)
{
    // Every pixel against the three gradients computed one by one as defined, over images that
    // cover the whole grey range, runs of zeros and small values (large and saturated quotients).
    for (uint64_t seed = 1; seed <= 6; ++seed) {
        cv::Mat source(37, 53, CV_16UC1);
        cv::RNG rng(seed);
        rng.fill(source, cv::RNG::UNIFORM, 0, seed % 2 ? 65536 : 300);
        source(cv::Rect(5, 5, 9, 3)).setTo(0);
        source(cv::Rect(20, 10, 12, 12)).setTo(65535);
        cv::Mat image = source.clone();
        ASSERT_TRUE(Ostravo::ApplyEdgeProcessing(image, -1, -1, -1, -1));
        auto at = [&](int r, int c) { return static_cast<int64_t>(source.at<uint16_t>(r, c)); };
        for (int r = 0; r < source.rows; ++r)
            for (int c = 0; c < source.cols; ++c) {
                const int64_t d = at(r, c) == 0 ? 1 : at(r, c);
                auto gradient = [&](int64_t a, int64_t b) {
                    return std::min<int64_t>(std::abs(a - b) * 1000 / d, 65535);
                };
                const bool rowBorder = r < 1 || r > source.rows - 2;
                const bool colBorder = c < 1 || c > source.cols - 2;
                const int64_t vertical = rowBorder ? 0 : gradient(at(r - 1, c), at(r + 1, c));
                const int64_t horizontal = colBorder ? 0 : gradient(at(r, c - 1), at(r, c + 1));
                const int64_t diagonal =
                    rowBorder || colBorder ? 0 : gradient(at(r - 1, c - 1), at(r + 1, c + 1));
                ASSERT_EQ(image.at<uint16_t>(r, c), std::max({vertical, horizontal, diagonal}))
                    << "seed " << seed << " at " << r << "," << c;
            }
    }
}

TEST(EdgeProcessing, EveryQuotientIsExact)
{
    // One row of pixel triples: a centre value d between neighbours 0 and k gives k * 1000 / d.
    // Quotients just below a whole number (k * 1000 = q * d - r with r of 1 to 3) are where an
    // estimate of the division in single precision rounds up; random pairs cover the rest.
    struct Pair
    {
        int32_t d, k;
    };
    std::vector<Pair> pairs;
    for (int32_t d = 20001; d <= 65535; d += 2) {
        if (d % 5 == 0)
            continue;
        for (int64_t r = 1; r <= 3; ++r)
            for (int64_t q = 1; q < 1000; ++q)
                if ((q * d) % 1000 == r) {
                    pairs.push_back({d, static_cast<int32_t>((q * d - r) / 1000)});
                    break;
                }
    }
    cv::RNG rng(77);
    for (int i = 0; i < 20000; ++i)
        pairs.push_back({rng.uniform(1, 65536), rng.uniform(0, 65536)});

    const int perRow = 8;
    cv::Mat image(3, 3 * perRow + 2, CV_16UC1);
    for (size_t first = 0; first < pairs.size(); first += perRow) {
        image.setTo(0);
        const size_t count = std::min<size_t>(perRow, pairs.size() - first);
        for (size_t i = 0; i < count; ++i) {
            image.at<uint16_t>(1, 1 + 3 * int(i)) = static_cast<uint16_t>(pairs[first + i].d);
            image.at<uint16_t>(1, 2 + 3 * int(i)) = static_cast<uint16_t>(pairs[first + i].k);
        }
        ASSERT_TRUE(Ostravo::ApplyEdgeProcessing(image, -1, -1, -1, -1));
        for (size_t i = 0; i < count; ++i) {
            const Pair &p = pairs[first + i];
            const int64_t expected = std::min<int64_t>(int64_t(p.k) * 1000 / p.d, 65535);
            ASSERT_EQ(image.at<uint16_t>(1, 1 + 3 * int(i)), expected) << "k " << p.k << " d " << p.d;
        }
    }
}

TEST(EdgeProcessing, SameImageOnAnyThreadCountAndOutOfPlace)
{
    cv::Mat source(120, 90, CV_16UC1);
    cv::RNG(9).fill(source, cv::RNG::UNIFORM, 0, 4000);
    source(cv::Rect(10, 10, 20, 20)).setTo(0); // zero pixels divide by 1
    const int saved = cv::getNumThreads();
    cv::setNumThreads(1);
    cv::Mat serial = source.clone();
    ASSERT_TRUE(Ostravo::ApplyEdgeProcessing(serial, 3, 80, 2, 110));
    cv::setNumThreads(std::max(4, cv::getNumberOfCPUs()));
    cv::Mat parallel = source.clone();
    ASSERT_TRUE(Ostravo::ApplyEdgeProcessing(parallel, 3, 80, 2, 110));
    cv::Mat outOfPlace = source.clone();
    ASSERT_TRUE(Ostravo::ApplyEdgeProcessingFrom(source, outOfPlace, 3, 80, 2, 110));
    cv::setNumThreads(saved);
    EXPECT_EQ(cv::countNonZero(serial != parallel), 0);
    EXPECT_EQ(cv::countNonZero(serial != outOfPlace), 0);
    EXPECT_GT(cv::countNonZero(serial != source), 0);
    // Out of place needs a separate destination of the same size.
    EXPECT_FALSE(Ostravo::ApplyEdgeProcessingFrom(source, source, 3, 80, 2, 110));
    cv::Mat small(10, 10, CV_16UC1);
    EXPECT_FALSE(Ostravo::ApplyEdgeProcessingFrom(source, small, 3, 80, 2, 110));
}

TEST(EdgeProcessing, RefusesOtherImageTypes)
{
    cv::Mat image(4, 4, CV_8UC1, cv::Scalar(7));
    EXPECT_FALSE(Ostravo::ApplyEdgeProcessing(image, -1, -1, -1, -1));
    EXPECT_EQ(image.at<uint8_t>(2, 2), 7);
}

// --- Percentiles --------------------------------------------------------------------------------

namespace {

// 10 x 10 image holding 0..99 in scan order: the value of rank k (from 1) is k - 1.
cv::Mat Ramp100()
{
    cv::Mat image(10, 10, CV_16UC1);
    for (int i = 0; i < 100; ++i)
        image.at<uint16_t>(i / 10, i % 10) = static_cast<uint16_t>(i);
    return image;
}

} // namespace

TEST(Percentiles, ValuesAtFractions)
{
    const cv::Mat image = Ramp100();
    std::vector<uint16_t> values{777}; // not cleared
    EString error;
    ASSERT_TRUE(Ostravo::ComputePercentileIntensities(image, {0, 0, 9, 9}, {0.0f, 0.25f, 0.5f, 0.5f, 1.0f},
                                                      values, error));
    // Targets 0, 25, 50, 50, 100 pixels: grey levels 0, 24, 49, 49, 99.
    EXPECT_EQ(values, (std::vector<uint16_t>{777, 0, 24, 49, 49, 99}));
}

TEST(Percentiles, ZeroWidthRegionGivesZeros)
{
    std::vector<uint16_t> values;
    EString error;
    ASSERT_TRUE(Ostravo::ComputePercentileIntensities(Ramp100(), {5, 0, 4, 9}, {0.5f, 1.0f}, values, error));
    EXPECT_EQ(values, (std::vector<uint16_t>{0, 0}));
}

TEST(Percentiles, Failures)
{
    const cv::Mat image = Ramp100();
    struct Case
    {
        std::vector<float> fractions;
        std::vector<uint16_t> valuesBefore; // appended before the failure
        const char *message;
    };
    const Case cases[] = {
        {{}, {}, "Ostravo::ComputePercentileIntensities() - pct must have size of at least 1"},
        {{1.5f}, {}, "Ostravo::ComputePercentileIntensities() - pct[0] is invalid, 0 <= pct <= 1"},
        {{0.2f, 0.3f, 1.5f},
         {19, 29},
         "Ostravo::ComputePercentileIntensities() - pct[2] is invalid, 0 <= pct <= 1"},
        {{0.6f, 0.5f},
         {59},
         "Ostravo::ComputePercentileIntensities() - pct must be sorted from smallest to largest"},
    };
    for (const Case &c : cases) {
        std::vector<uint16_t> values;
        EString error;
        EXPECT_FALSE(Ostravo::ComputePercentileIntensities(image, {0, 0, 9, 9}, c.fractions, values, error));
        EXPECT_EQ(Text(error), c.message);
        EXPECT_EQ(values, c.valuesBefore);
    }
}

TEST(Percentiles, RegionReachingOutsideIsClippedAndOneOutsideRefused)
{
    const cv::Mat image = Ramp100();
    std::vector<uint16_t> values;
    EString error;
    // Rows 5..9 (values 50..99) of the image; the rest of the region lies below it.
    ASSERT_TRUE(Ostravo::ComputePercentileIntensities(image, {-3, 5, 40, 60}, {0.0f, 1.0f / 50.0f, 1.0f},
                                                      values, error));
    EXPECT_EQ(values, (std::vector<uint16_t>{0, 50, 99}));

    values.clear();
    EXPECT_FALSE(Ostravo::ComputePercentileIntensities(image, {20, 20, 30, 30}, {0.5f}, values, error));
    EXPECT_EQ(Text(error), "Ostravo::ComputePercentileIntensities() - roi is outside of the image");
    EXPECT_TRUE(values.empty());
}

// --- Focus score --------------------------------------------------------------------------------

namespace {

// Columns in the repeating pattern 1000, 1000, 2000, 2000: the edge image is 1000 on the dark
// columns (|1000 - 2000| * 1000 / 1000) and 500 on the bright ones (* 1000 / 2000).
cv::Mat Stripes(int rows, int cols)
{
    cv::Mat image(rows, cols, CV_16UC1);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            image.at<uint16_t>(r, c) = (c % 4) < 2 ? 1000 : 2000;
    return image;
}

} // namespace

TEST(FocusScore, StripesGiveHighOverMedian)
{
    // A 40 x 50 region from column 0: its interior columns 1..38 hold 19 columns of 500 and 19 of
    // 1000, so the median is 500 and the 99.5 % value 1000.
    const ImageRegion region{0, 0, 39, 49};
    struct Case
    {
        const char *name;
        int cols;
        const ImageRegion *region;
    };
    const ImageRegion beyond{0, 0, 59, 49}; // clipped to the 40 columns of the image
    const Case cases[] = {{"region", 64, &region}, {"whole image", 40, nullptr}, {"clipped", 40, &beyond}};
    for (const Case &c : cases) {
        cv::Mat image = Stripes(50, c.cols);
        double score = 0.0;
        EString error;
        ASSERT_TRUE(Ostravo::ComputeFocusScore(image, c.region, score, error))
            << c.name << ": " << Text(error);
        EXPECT_DOUBLE_EQ(score, 2.0) << c.name;
        // The region of the caller's image now holds its edge image.
        EXPECT_EQ(image.at<uint16_t>(10, 4), 1000) << c.name;
        EXPECT_EQ(image.at<uint16_t>(10, 6), 500) << c.name;
    }
}

TEST(FocusScore, NeedsAtLeast2000PixelsInsideTheImage)
{
    cv::Mat image = Stripes(60, 60);
    double score = -1.0;
    EString error;
    const ImageRegion small{0, 0, 38, 50}; // 39 x 51 = 1989 pixels
    EXPECT_FALSE(Ostravo::ComputeFocusScore(image, &small, score, error));
    EXPECT_EQ(Text(error), "ComputeFocusScore() Region of interest must include at least 2000 pixels");

    const ImageRegion outside{100, 100, 199, 199};
    EXPECT_FALSE(Ostravo::ComputeFocusScore(image, &outside, score, error));
    EXPECT_EQ(Text(error), "ComputeFocusScore() Region of interest is empty or outside of the image");
    EXPECT_EQ(score, -1.0);
    EXPECT_EQ(image.at<uint16_t>(5, 5), 1000); // untouched
}

// --- Dark islands -------------------------------------------------------------------------------

TEST(DarkIslands, RegionChecks)
{
    const cv::Mat image = Filled(30, 30, 1000);
    std::vector<DarkIsland> islands;
    EString error;
    // Too narrow is reported before the region is checked against the image.
    EXPECT_FALSE(Ostravo::FindDarkIslands(image, {-5, 0, 3, 20}, 50, 50, islands, error));
    EXPECT_EQ(Text(error), "Ostravo::FindDarkIslands() - roi height and width must be at least 10x10 pixels");
    EXPECT_FALSE(Ostravo::FindDarkIslands(image, {0, 0, 20, 8}, 50, 50, islands, error));
    EXPECT_EQ(Text(error), "Ostravo::FindDarkIslands() - roi height and width must be at least 10x10 pixels");
    EXPECT_FALSE(Ostravo::FindDarkIslands(image, {20, 0, 30, 20}, 50, 50, islands, error));
    EXPECT_EQ(Text(error), "Ostravo::FindDarkIslands() - given roi is not inside of the given image");
    EXPECT_TRUE(islands.empty());
}

TEST(DarkIslands, MeasuresIslandsInScanOrder)
{
    cv::Mat image = Filled(20, 20, 1000);
    image(cv::Rect(5, 6, 3, 3)).setTo(10);  // island 1: 9 pixels of 10
    image(cv::Rect(12, 4, 2, 2)).setTo(20); // found first: its top row comes first in the scan
    const ImageRegion region{2, 3, 17, 16};
    cv::Mat labels(20, 20, CV_8UC1, cv::Scalar(77));
    std::vector<DarkIsland> islands;
    EString error;
    ASSERT_TRUE(Ostravo::FindDarkIslands(image, region, 50, 50, islands, error, &labels)) << Text(error);
    ASSERT_EQ(islands.size(), 2u);

    const DarkIsland &a = islands[0]; // the 2 x 2 square at columns 12..13, rows 4..5
    EXPECT_EQ(a.seed_x, 12);
    EXPECT_EQ(a.seed_y, 4);
    EXPECT_EQ(a.pixel_count, 4);
    EXPECT_EQ(a.intensity_sum, 80u);
    EXPECT_EQ(a.min_x, 10);
    EXPECT_EQ(a.max_x, 11);
    EXPECT_EQ(a.min_y, 1);
    EXPECT_EQ(a.max_y, 2);
    EXPECT_EQ(a.x_moment, 20 * (10 + 11) * 2);
    EXPECT_FLOAT_EQ(a.centroid_x, 12.5f);
    EXPECT_FLOAT_EQ(a.centroid_y, 4.5f);

    const DarkIsland &b = islands[1]; // the 3 x 3 square at columns 5..7, rows 6..8
    EXPECT_EQ(b.seed_x, 5);
    EXPECT_EQ(b.seed_y, 6);
    EXPECT_EQ(b.pixel_count, 9);
    EXPECT_EQ(b.intensity_sum, 90u);
    EXPECT_EQ(b.min_x, 3);
    EXPECT_EQ(b.max_x, 5);
    EXPECT_EQ(b.min_y, 3);
    EXPECT_EQ(b.max_y, 5);
    EXPECT_EQ(b.y_moment, 10 * (3 + 4 + 5) * 3);
    EXPECT_FLOAT_EQ(b.centroid_x, 6.0f);
    EXPECT_FLOAT_EQ(b.centroid_y, 7.0f);

    // Labels inside the region; the pixels outside it keep their value.
    EXPECT_EQ(labels.at<uint8_t>(4, 12), 1);
    EXPECT_EQ(labels.at<uint8_t>(7, 6), 2);
    EXPECT_EQ(labels.at<uint8_t>(10, 10), 0);
    EXPECT_EQ(labels.at<uint8_t>(0, 0), 77);
    EXPECT_EQ(labels.at<uint8_t>(17, 17), 77);
}

TEST(DarkIslands, GrowThresholdJoinsButDoesNotSeed)
{
    cv::Mat image = Filled(12, 12, 1000);
    image.at<uint16_t>(5, 5) = 40; // above the seed threshold, below the grow threshold
    image.at<uint16_t>(5, 6) = 10;
    std::vector<DarkIsland> islands;
    EString error;
    ASSERT_TRUE(Ostravo::FindDarkIslands(image, {0, 0, 11, 11}, 30, 50, islands, error));
    ASSERT_EQ(islands.size(), 1u);
    EXPECT_EQ(islands[0].seed_x, 6);
    EXPECT_EQ(islands[0].pixel_count, 2);
    EXPECT_EQ(islands[0].intensity_sum, 50u);
}

TEST(DarkIslands, LargeAreaIsCutIntoSeveralIslands)
{
    // One fill makes at most 2000 calls, so a 60 x 60 dark square (3600 pixels) cannot be one
    // island; every dark pixel still ends up in exactly one.
    cv::Mat image = Filled(70, 70, 1000);
    image(cv::Rect(5, 5, 60, 60)).setTo(10);
    std::vector<DarkIsland> islands;
    EString error;
    ASSERT_TRUE(Ostravo::FindDarkIslands(image, {0, 0, 69, 69}, 50, 50, islands, error));
    EXPECT_GE(islands.size(), 2u);
    int total = 0;
    for (const DarkIsland &island : islands) {
        EXPECT_LT(island.pixel_count, 2000);
        total += island.pixel_count;
    }
    EXPECT_EQ(total, 3600);
}

TEST(DarkIslands, ZeroValuedIslandIsDroppedAndPassesItsLabelOn)
{
    cv::Mat image = Filled(12, 12, 1000);
    image.at<uint16_t>(2, 2) = 0; // an island whose values sum to 0
    image.at<uint16_t>(8, 8) = 5;
    cv::Mat labels(12, 12, CV_8UC1, cv::Scalar(0));
    std::vector<DarkIsland> islands;
    EString error;
    ASSERT_TRUE(Ostravo::FindDarkIslands(image, {0, 0, 11, 11}, 50, 50, islands, error, &labels));
    ASSERT_EQ(islands.size(), 1u);
    EXPECT_EQ(islands[0].seed_x, 8);
    EXPECT_EQ(labels.at<uint8_t>(2, 2), 1);
    EXPECT_EQ(labels.at<uint8_t>(8, 8), 1);
}

TEST(DarkIslands, RefusesAMismatchedLabelImage)
{
    const cv::Mat image = Filled(12, 12, 10);
    cv::Mat labels(11, 12, CV_8UC1, cv::Scalar(0));
    std::vector<DarkIsland> islands;
    EString error;
    EXPECT_FALSE(Ostravo::FindDarkIslands(image, {0, 0, 11, 11}, 50, 50, islands, error, &labels));
    EXPECT_TRUE(islands.empty());
}
