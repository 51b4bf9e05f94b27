#include "analysis/IntensityProfile.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>

namespace {

TEST(IntensityProfile, ProjectionsAreTruncatedIntegerMeans)
{
    // Region columns 2..11 and rows 1..4 of a 6 x 14 image; pixel = 10 * column + row, so the
    // column mean over rows 1..4 is 10 * column + 2.5, truncated to 10 * column + 2.
    cv::Mat image(6, 14, CV_16UC1);
    for (int y = 0; y < image.rows; ++y)
        for (int x = 0; x < image.cols; ++x)
            image.at<uint16_t>(y, x) = uint16_t(10 * x + y);

    std::vector<int32_t> horizontal;
    ASSERT_TRUE(ComputeHorizontalProjection(image, 2, 1, 11, 4, horizontal));
    ASSERT_EQ(horizontal.size(), 10u);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(horizontal[i], 10 * (i + 2) + 2) << i;

    // Row mean over columns 2..11 is row + 10 * 6.5 = row + 65.
    std::vector<int32_t> vertical;
    ASSERT_TRUE(ComputeVerticalProjection(image, 2, 1, 11, 4, vertical));
    ASSERT_EQ(vertical.size(), 4u);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(vertical[i], i + 1 + 65) << i;

    // A longer profile keeps its tail.
    std::vector<int32_t> longer(12, -7);
    ASSERT_TRUE(ComputeHorizontalProjection(image, 2, 1, 11, 4, longer));
    ASSERT_EQ(longer.size(), 12u);
    EXPECT_EQ(longer[0], 22);
    EXPECT_EQ(longer[10], -7);
    EXPECT_EQ(longer[11], -7);
}

TEST(IntensityProfile, BackgroundSubtractionTruncatesTowardZero)
{
    // Differences -1, -2, -2, -2 over four rows: sum -7, mean -1.75 truncated to -1.
    cv::Mat image(4, 3, CV_16UC1, cv::Scalar(100));
    cv::Mat background(4, 3, CV_16UC1, cv::Scalar(102));
    background.row(0).setTo(101);
    std::vector<int32_t> horizontal, vertical;
    ASSERT_TRUE(ComputeHorizontalProjection(image, 0, 0, 2, 3, horizontal, &background));
    EXPECT_EQ(horizontal, (std::vector<int32_t>{-1, -1, -1}));
    ASSERT_TRUE(ComputeVerticalProjection(image, 0, 0, 2, 3, vertical, &background));
    EXPECT_EQ(vertical, (std::vector<int32_t>{-1, -2, -2, -2}));
}

TEST(IntensityProfile, ProjectionsRefuseBadInputAndChangeNothing)
{
    cv::Mat image(20, 30, CV_16UC1, cv::Scalar(5));
    cv::Mat small_background(10, 30, CV_16UC1, cv::Scalar(1));
    cv::Mat eight_bit(20, 30, CV_8UC1, cv::Scalar(5));
    struct Case
    {
        const char *what;
        const cv::Mat *image;
        int32_t left, top, right, bottom;
        const cv::Mat *background;
    } cases[] = {
        {"8-bit image", &eight_bit, 0, 0, 9, 9, nullptr},
        {"empty image", nullptr, 0, 0, 9, 9, nullptr},
        {"no columns", &image, 5, 0, 4, 9, nullptr},
        {"no rows", &image, 0, 5, 9, 4, nullptr},
        {"right outside", &image, 0, 0, 30, 9, nullptr},
        {"bottom outside", &image, 0, 0, 9, 20, nullptr},
        {"negative left", &image, -1, 0, 9, 9, nullptr},
        {"background of another size", &image, 0, 0, 9, 9, &small_background},
    };
    const cv::Mat empty;
    for (const Case &c : cases) {
        const cv::Mat &img = c.image ? *c.image : empty;
        std::vector<int32_t> profile{1, 2, 3};
        EString error;
        EXPECT_FALSE(
            ComputeHorizontalProjection(img, c.left, c.top, c.right, c.bottom, profile, c.background, &error))
            << c.what;
        EXPECT_TRUE(error.IsNonEmpty()) << c.what;
        EXPECT_FALSE(ComputeVerticalProjection(img, c.left, c.top, c.right, c.bottom, profile, c.background))
            << c.what;
        EXPECT_EQ(profile, (std::vector<int32_t>{1, 2, 3})) << c.what;
    }
}

TEST(IntensityProfile, SmoothProfile)
{
    std::vector<int32_t> profile{3, 6, 9};
    EXPECT_FALSE(SmoothProfile(profile, 1));
    EXPECT_EQ(profile, (std::vector<int32_t>{3, 6, 9}));

    // Forward means 3, 4, 6 and backward means 6, 7, 9.
    ASSERT_TRUE(SmoothProfile(profile, 3));
    EXPECT_EQ(profile, (std::vector<int32_t>{4, 5, 7}));

    // Negative values truncate toward zero: forward -3, -4, -6, backward -6, -7, -9.
    std::vector<int32_t> negative{-3, -6, -9};
    ASSERT_TRUE(SmoothProfile(negative, 3));
    EXPECT_EQ(negative, (std::vector<int32_t>{-4, -5, -7}));

    // A window shorter than the profile: forward 10, 15, 25, 35, 45; backward 15, 25, 35, 45, 50.
    std::vector<int32_t> ramp{10, 20, 30, 40, 50};
    ASSERT_TRUE(SmoothProfile(ramp, 2));
    EXPECT_EQ(ramp, (std::vector<int32_t>{12, 20, 30, 40, 47}));
}

// Peaks of 1000 at 0, 20, 40 and 60 with straight slopes down to one dip between each pair.
std::vector<int32_t> ZigZag(int32_t dip1, int32_t dip2, int32_t dip3)
{
    const int32_t dips[] = {dip1, dip2, dip3};
    std::vector<int32_t> profile(61);
    for (int i = 0; i <= 60; ++i) {
        const int segment = std::min(i / 20, 2);
        const int distance = std::abs(i - (20 * segment + 10));
        profile[i] = dips[segment] + (1000 - dips[segment]) * distance / 10;
    }
    return profile;
}

TEST(IntensityProfile, FindProfileDipsTakesTheTwoDeepestInAscendingOrder)
{
    struct Case
    {
        const char *what;
        int32_t dip1, dip2, dip3;
        std::vector<int32_t> expected;
    } cases[] = {
        // depths at distance 3: 0.184, 0.060 and 0.574
        {"deepest two", 400, 700, 100, {10, 50}},
        {"equal depths: the first two", 400, 400, 400, {10, 30}},
        // 40 is below the threshold of 1000 / 20 = 50
        {"below threshold", 400, 700, 40, {10, 30}},
    };
    for (const Case &c : cases) {
        std::vector<int32_t> dips{99};
        ASSERT_TRUE(FindProfileDips(ZigZag(c.dip1, c.dip2, c.dip3), 6, dips)) << c.what;
        EXPECT_EQ(dips, c.expected) << c.what;
    }
    std::vector<int32_t> dips{99};
    EXPECT_TRUE(FindProfileDips({}, 6, dips));
    EXPECT_TRUE(dips.empty());
}

// How much darker row y is than the open channel: V-shaped walls 80 rows wide, deepest (4000
// darker) on rows 50 and 150.
int WallDarkening(int y)
{
    return 100 * std::max({0, 40 - std::abs(y - 50), 40 - std::abs(y - 150)});
}

// A channel image: a gentle ramp along x, the walls, and dark vertical lines at column 100 and at
// column 300, the meniscus, whose rows 66..75 stand at column 306.
cv::Mat ChannelImage()
{
    cv::Mat image(200, 400, CV_16UC1);
    for (int y = 0; y < image.rows; ++y) {
        for (int x = 0; x < image.cols; ++x)
            image.at<uint16_t>(y, x) = uint16_t(6000 + 2 * x - WallDarkening(y));
        image.at<uint16_t>(y, 100) = 800;
        image.at<uint16_t>(y, y >= 66 && y <= 75 ? 306 : 300) = 1000;
    }
    return image;
}

TEST(IntensityProfile, FindMeniscusOnSyntheticChannel)
{
    const cv::Mat image = ChannelImage();
    MeniscusResult result;
    ASSERT_TRUE(FindMeniscus(image, result, -1, -1));
    EXPECT_EQ(result.upper_wall, 50);
    EXPECT_EQ(result.lower_wall, 150);
    ASSERT_TRUE(result.found);
    // The rightmost of the two dips, although the line at column 100 is darker.
    EXPECT_EQ(result.column, 300);
    // Band 1 (rows 66..76) is darkest at column 306, band 2 (rows 76..86) at 300: 6 / 100 * 1000.
    ASSERT_TRUE(result.form_valid);
    EXPECT_FLOAT_EQ(result.form, 60.0f);

    // Walls handed on from a previous image are used as given.
    MeniscusResult again;
    ASSERT_TRUE(FindMeniscus(image, again, 50, 150));
    EXPECT_EQ(again.column, 300);
    EXPECT_FLOAT_EQ(again.form, 60.0f);

    // Walls that do not fit this image are located again.
    MeniscusResult relocated;
    ASSERT_TRUE(FindMeniscus(image, relocated, 50, 400));
    EXPECT_EQ(relocated.upper_wall, 50);
    EXPECT_EQ(relocated.lower_wall, 150);
    EXPECT_EQ(relocated.column, 300);
}

TEST(IntensityProfile, FindMeniscusWithoutContrastOrWalls)
{
    // The same walls without a ramp, and lines only 10 grey levels darker: a relative depth
    // below 0.002 where 0.01 is needed.
    cv::Mat faint(200, 400, CV_16UC1);
    for (int y = 0; y < faint.rows; ++y)
        for (int x = 0; x < faint.cols; ++x)
            faint.at<uint16_t>(y, x) = uint16_t(6000 - WallDarkening(y) - (x == 100 || x == 300 ? 10 : 0));
    MeniscusResult result;
    ASSERT_TRUE(FindMeniscus(faint, result, -1, -1));
    EXPECT_FALSE(result.found);
    EXPECT_EQ(result.column, -1);
    EXPECT_FALSE(result.form_valid);
    EXPECT_EQ(result.upper_wall, 50);
    EXPECT_EQ(result.lower_wall, 150);

    // Too few rows for the wall search window: no walls, nothing found.
    cv::Mat low(20, 400, CV_16UC1, cv::Scalar(1000));
    MeniscusResult none;
    ASSERT_TRUE(FindMeniscus(low, none, -1, -1));
    EXPECT_FALSE(none.found);
    EXPECT_EQ(none.upper_wall, -1);
    EXPECT_EQ(none.lower_wall, -1);

    MeniscusResult untouched;
    EXPECT_FALSE(FindMeniscus(cv::Mat(200, 400, CV_8UC1, cv::Scalar(0)), untouched, -1, -1));
    EXPECT_FALSE(untouched.found);
}

} // namespace
