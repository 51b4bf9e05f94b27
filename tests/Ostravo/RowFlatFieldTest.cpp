#include "Ostravo/RowFlatField.h"

#include <gtest/gtest.h>

namespace {

cv::Mat RowImage(const std::vector<std::vector<uint16_t>> &rows)
{
    cv::Mat image(int(rows.size()), int(rows[0].size()), CV_16UC1);
    for (int y = 0; y < image.rows; ++y)
        for (int x = 0; x < image.cols; ++x)
            image.at<uint16_t>(y, x) = rows[y][x];
    return image;
}

TEST(RowFlatField, PercentileInterpolatesAndRoundsHalfAwayFromZero)
{
    // Row 0: 0, 10, ..., 100 (11 values, shuffled); row 1: 0 and 1 then nine 1s.
    cv::Mat image =
        RowImage({{50, 0, 100, 10, 90, 20, 80, 30, 70, 40, 60}, {0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}});
    std::vector<uint16_t> profile{7, 7, 7};
    ASSERT_TRUE(ComputeRowPercentileProfile(image, 0, 0, 10, 1, 0.25, profile));
    // e = 2.5: 20 + 10 * 0.5 = 25; row 1 at e = 2.5 lies between two 1s.
    EXPECT_EQ(profile, (std::vector<uint16_t>{25, 1}));

    // Two pixels 0 and 1 at the fraction 0.5: 0.5 rounds up to 1.
    ASSERT_TRUE(ComputeRowPercentileProfile(image, 0, 1, 1, 1, 0.5, profile));
    EXPECT_EQ(profile, (std::vector<uint16_t>{1}));

    // 101 distinct pixels at 0.99: e = 99, exactly the second largest.
    cv::Mat wide(1, 101, CV_16UC1);
    for (int x = 0; x < 101; ++x)
        wide.at<uint16_t>(0, x) = uint16_t(1000 + 7 * ((x * 37) % 101));
    ASSERT_TRUE(ComputeRowPercentileProfile(wide, 0, 0, 100, 0, 0.99, profile));
    EXPECT_EQ(profile, (std::vector<uint16_t>{uint16_t(1000 + 7 * 99)}));
}

TEST(RowFlatField, FlattensAKnownRowGradient)
{
    // Pixel (x, y) = b(x) * k(y) with k = 1..5 inside the region: every row's 0.99 level is
    // b2 * k (b2 the second largest b, e = 99 of 101 columns), the median is 3 * b2, so every
    // region row becomes 3 * b(x) exactly. Outside the region nothing changes.
    const int left = 2, top = 1, right = 102, bottom = 5;
    cv::Mat image(8, 106, CV_16UC1, cv::Scalar(4321));
    auto b = [](int x) { return 100 + (x * 53) % 200; };
    for (int y = top; y <= bottom; ++y)
        for (int x = left; x <= right; ++x)
            image.at<uint16_t>(y, x) = uint16_t(b(x) * (y - top + 1));

    std::vector<uint16_t> profile;
    ASSERT_TRUE(ComputeRowPercentileProfile(image, left, top, right, bottom, 0.99, profile));
    ASSERT_EQ(profile.size(), 5u);
    ASSERT_TRUE(NormalizeRowsByProfile(image, left, top, right, bottom, profile));
    for (int y = 0; y < image.rows; ++y)
        for (int x = 0; x < image.cols; ++x) {
            const bool inside = y >= top && y <= bottom && x >= left && x <= right;
            ASSERT_EQ(image.at<uint16_t>(y, x), inside ? 3 * b(x) : 4321) << x << "," << y;
        }

    // Rows that are all alike stay as they are.
    cv::Mat alike = RowImage({{5, 900, 17}, {5, 900, 17}, {5, 900, 17}});
    const cv::Mat before = alike.clone();
    ASSERT_TRUE(ComputeRowPercentileProfile(alike, 0, 0, 2, 2, 0.99, profile));
    ASSERT_TRUE(NormalizeRowsByProfile(alike, 0, 0, 2, 2, profile));
    EXPECT_EQ(cv::countNonZero(alike != before), 0);
}

TEST(RowFlatField, NormalizeScalesTruncatesAndSaturates)
{
    // Profile 1000 and 3000: median 2000; row 0 doubles, row 1 is scaled by 2 / 3, truncated.
    cv::Mat image = RowImage({{500, 1000, 7}, {1500, 3000, 1000}});
    ASSERT_TRUE(NormalizeRowsByProfile(image, 0, 0, 2, 1, {1000, 3000}));
    EXPECT_EQ(image.at<uint16_t>(0, 0), 1000);
    EXPECT_EQ(image.at<uint16_t>(0, 1), 2000);
    EXPECT_EQ(image.at<uint16_t>(0, 2), 14);
    EXPECT_EQ(image.at<uint16_t>(1, 0), 1000);
    EXPECT_EQ(image.at<uint16_t>(1, 1), 2000);
    EXPECT_EQ(image.at<uint16_t>(1, 2), 666);

    // Profile 100 and 60000: median 30050; 500 * 30050 / 100 = 150250 does not fit 16 bits.
    cv::Mat dim = RowImage({{500, 100, 2}, {60000, 30000, 0}});
    ASSERT_TRUE(NormalizeRowsByProfile(dim, 0, 0, 2, 1, {100, 60000}));
    EXPECT_EQ(dim.at<uint16_t>(0, 0), 65535);
    EXPECT_EQ(dim.at<uint16_t>(0, 1), 30050);
    EXPECT_EQ(dim.at<uint16_t>(0, 2), 601);
    EXPECT_EQ(dim.at<uint16_t>(1, 0), 30050);
    EXPECT_EQ(dim.at<uint16_t>(1, 1), 15025);
    EXPECT_EQ(dim.at<uint16_t>(1, 2), 0);
}

TEST(RowFlatField, RefusesBadRequestsAndChangesNothing)
{
    cv::Mat image(10, 10, CV_16UC1, cv::Scalar(300));
    image.row(4).setTo(0);
    const cv::Mat before = image.clone();

    struct Case
    {
        const char *what;
        int32_t left, top, right, bottom;
        double fraction;
        std::vector<uint16_t> profile;
    } cases[] = {
        {"no columns", 5, 0, 4, 3, 0.5, {300, 300, 300, 300}},
        {"no rows", 0, 5, 9, 4, 0.5, {}},
        {"right outside", 0, 0, 10, 3, 0.5, {300, 300, 300, 300}},
        {"top outside", 0, -1, 9, 2, 0.5, {300, 300, 300, 300}},
        {"fraction above 1", 0, 0, 9, 3, 1.5, {300, 300, 300, 300}},
        {"fraction below 0", 0, 0, 9, 3, -0.1, {300, 300, 300, 300}},
        {"profile too short", 0, 0, 9, 3, 0.5, {300, 300, 300}},
        {"profile value 0", 0, 2, 9, 5, 0.5, {300, 300, 0, 300}},
    };
    for (const Case &c : cases) {
        std::vector<uint16_t> profile{1, 2};
        EString error;
        const bool profile_ok =
            ComputeRowPercentileProfile(image, c.left, c.top, c.right, c.bottom, c.fraction, profile, &error);
        if (!profile_ok) {
            EXPECT_TRUE(error.IsNonEmpty()) << c.what;
            EXPECT_EQ(profile, (std::vector<uint16_t>{1, 2})) << c.what;
        }
        error.Assign("");
        const bool normalize_ok =
            NormalizeRowsByProfile(image, c.left, c.top, c.right, c.bottom, c.profile, &error);
        EXPECT_FALSE(profile_ok && normalize_ok) << c.what;
        if (!normalize_ok) {
            EXPECT_TRUE(error.IsNonEmpty()) << c.what;
        }
        EXPECT_EQ(cv::countNonZero(image != before), 0) << c.what;
    }

    // The row with a bright level of 0 is named.
    EString error;
    EXPECT_FALSE(NormalizeRowsByProfile(image, 0, 2, 9, 5, {300, 300, 0, 300}, &error));
    EXPECT_STREQ(error.c_str(), "NormalizeRowsByProfile() - profile value of region row 2 is 0.");
    cv::Mat eight_bit(10, 10, CV_8UC1, cv::Scalar(1));
    std::vector<uint16_t> profile;
    EXPECT_FALSE(ComputeRowPercentileProfile(eight_bit, 0, 0, 9, 9, 0.5, profile));
}

} // namespace
