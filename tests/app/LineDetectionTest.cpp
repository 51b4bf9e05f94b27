#include "app/LineDetection.h"

#include "support/FakeUi.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

// A synthetic cartridge image built from a row profile P of 1800 rows:
//   rows 0..99 dark magnet band (1000), a ramp up by 450 per row over rows 100..120, bright 10000;
//   the upper channel: a V-shaped valley with floor 2000 at row 400, walls rising 400 per row
//   on either side up to the bright level;
//   the lower channel: the same valley with floor 2500 at row 1500;
//   the lower magnet: a ramp down by 450 per row over rows 1680..1700, dark 1000 below.
// Every row holds five columns P-3000, P, P, P, P+3000: the median is P (the mean would not be
// where one column is clipped at 0).
//
// What the detection must find, worked out from that profile:
//   rough upper channel 400 (vU 2000), rough lower channel 1500 (vL 2500);
//   rough upper magnet 102 (first row scanning up from 390 with P, P[-1], P[-5] <= 2000: 1900);
//   rough lower magnet 1697 (first row scanning down from 1510 with P, P[+1], P[+5] <= 2500: 2350);
//   upper channel: h = 10000, T = round(8000 x 0.8) + 2000 = 8400: the valley's upper wall has
//   P[384] = 8400 and P[383] = 8800 -> 384;
//   lower channel: h = 10000, T = round(7500 x 0.8) + 2500 = 8500: P[1515] = 8500, P[1514] = 8100
//   -> 1515;
//   bright level 10000 (fewer than 10 % of the rows are darker), threshold G = 3000;
//   upper magnet: P[104] = 2800 < 3000 <= P[105] = 3250 -> 104;
//   lower magnet: P[1695] = 3250 >= 3000 > P[1696] = 2800 -> 1696.
int32_t CartridgeProfile(int row)
{
    if (row < 100)
        return 1000;
    if (row <= 120)
        return 1000 + 450 * (row - 100);
    auto valley = [](int row, int centre, int floor) {
        return std::min(10000, floor + 400 * std::abs(row - centre));
    };
    if (row >= 380 && row <= 420)
        return valley(row, 400, 2000);
    if (row >= 1480 && row <= 1520)
        return valley(row, 1500, 2500);
    if (row >= 1680 && row <= 1700)
        return 10000 - 450 * (row - 1680);
    if (row > 1700)
        return 1000;
    return 10000;
}

cv::Mat ImageFromProfile(int rows, const std::function<int32_t(int)> &profile)
{
    cv::Mat image(rows, 5, CV_16UC1);
    for (int r = 0; r < rows; ++r) {
        const int32_t p = profile(r);
        const int32_t columns[5] = {std::max(0, p - 3000), p, p, p, std::min(65535, p + 3000)};
        for (int c = 0; c < 5; ++c)
            image.at<uint16_t>(r, c) = static_cast<uint16_t>(columns[c]);
    }
    return image;
}

class LineDetection : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ui = std::make_shared<vantelis::test::FakeUi>();
        previousUi = platform::ui::SetUi(ui);
        _shown_calibration_lines.Set(kBefore);
    }
    void TearDown() override
    {
        platform::ui::SetUi(previousUi);
        _shown_calibration_lines.Set(CalibrationLines{});
    }

    static constexpr CalibrationLines kBefore{11, 22, 33, 44};
    std::shared_ptr<vantelis::test::FakeUi> ui;
    std::shared_ptr<platform::ui::UserInterface> previousUi;
    vantelis::test::TempDir dir;
};

} // namespace

TEST(InterpolatedPercentile, InterpolatesBetweenSortedValues)
{
    EXPECT_FLOAT_EQ(InterpolatedPercentile({5, 1, 3}, 0.5), 3.0f);
    EXPECT_FLOAT_EQ(InterpolatedPercentile({4, 1, 3, 2}, 0.5), 2.5f);          // x = 1.5 between 2 and 3
    EXPECT_FLOAT_EQ(InterpolatedPercentile({10, 20, 30, 40, 50}, 0.9), 46.0f); // x = 3.6
    EXPECT_FLOAT_EQ(InterpolatedPercentile({7}, 0.5), 7.0f);
    EXPECT_FLOAT_EQ(InterpolatedPercentile({9, 2, 4}, 1.0), 9.0f);
}

TEST(ComputeRowMedianProfile, MedianPerRowRoundedAndBadRectanglesRefused)
{
    cv::Mat image(2, 4, CV_16UC1);
    const uint16_t rows[2][4] = {{1, 2, 3, 100}, {10, 10, 11, 11}};
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 4; ++c)
            image.at<uint16_t>(r, c) = rows[r][c];
    std::vector<int32_t> profile;
    ASSERT_TRUE(ComputeRowMedianProfile(image, ImageRect{0, 0, 3, 1}, profile));
    EXPECT_EQ(profile, (std::vector<int32_t>{3, 11})); // 2.5 and 10.5 rounded half away from zero
    ASSERT_TRUE(ComputeRowMedianProfile(image, ImageRect{0, 1, 2, 1}, profile));
    EXPECT_EQ(profile, (std::vector<int32_t>{10}));

    std::string error;
    EXPECT_FALSE(ComputeRowMedianProfile(image, ImageRect{0, 0, 4, 1}, profile, &error));
    EXPECT_FALSE(ComputeRowMedianProfile(image, ImageRect{-1, 0, 3, 1}, profile, &error));
    EXPECT_FALSE(ComputeRowMedianProfile(cv::Mat(), ImageRect{0, 0, 0, 0}, profile, &error));
    EXPECT_FALSE(error.empty());
}

TEST_F(LineDetection, FindsTheFourRowsOfASyntheticCartridge)
{
    const cv::Mat image = ImageFromProfile(1800, CartridgeProfile);
    std::string error;
    ASSERT_TRUE(FindChannelAndMagnetLines(image, dir.file("Plexorin.ini"), error)) << error;
    EXPECT_EQ(_shown_calibration_lines.Get(), (CalibrationLines{384, 1515, 104, 1696}));
    EXPECT_TRUE(ui->Messages().empty());
}

TEST_F(LineDetection, ParametersComeFromTheSettingsFile)
{
    // channel_relative_intensity_pct 0.5: upper T = 4000 + 2000 = 6000 -> P[390] = 6000 <= 6000 <
    // P[389] = 6400 -> 390; lower T = round(3750) + 2500 = 6250 -> P[1510] = 6500 >= 6250 > P[1509]
    // = 6100 -> 1510. magnet_threshold_intensity_fraction 0.2: G = 2000 -> upper magnet row 102
    // (1900 < 2000 <= 2350), lower magnet row 1698 (2350 >= 2000 > 1900).
    vantelis::test::WriteFileBytes(dir.file("Plexorin.ini"), "[ChannelAndMagnetLineAlgoParams]\r\n"
                                                             "channel_relative_intensity_pct=0.5\r\n"
                                                             "magnet_threshold_intensity_fraction=0.2\r\n"
                                                             "magnet_high_intensity_pct=junk\r\n");
    const ChannelAndMagnetLineAlgoParams params =
        LoadChannelAndMagnetLineAlgoParams(dir.file("Plexorin.ini"));
    EXPECT_DOUBLE_EQ(params.channel_relative_intensity_pct, 0.5);
    EXPECT_DOUBLE_EQ(params.magnet_high_intensity_pct, 0.9); // unparsable keeps the default
    EXPECT_DOUBLE_EQ(params.magnet_threshold_intensity_fraction, 0.2);

    std::string error;
    ASSERT_TRUE(
        FindChannelAndMagnetLines(ImageFromProfile(1800, CartridgeProfile), dir.file("Plexorin.ini"), error));
    EXPECT_EQ(_shown_calibration_lines.Get(), (CalibrationLines{390, 1510, 102, 1698}));
}

TEST_F(LineDetection, FailuresShowTheirMessageAndChangeNothing)
{
    struct Case
    {
        const char *what;
        cv::Mat image;
        const char *message;
    } cases[] = {
        {"no image", cv::Mat(), "FindChannelAndMagnetLines() : there is no image."},
        {"too short", ImageFromProfile(705, CartridgeProfile),
         "FindChannelAndMagnetLines() : the image has 705 rows; at least 706 are needed."},
        {"8-bit", cv::Mat(1800, 5, CV_8UC1, cv::Scalar(9)),
         "FindChannelAndMagnetLines() : the image is not a 16-bit grey image."},
        // The upper valley moved to row 99 is outside the search range 100..700.
        {"upper channel at row 99",
         ImageFromProfile(1800,
                          [](int r) { return r >= 79 && r <= 119 ? 2000 + 400 * std::abs(r - 99) : 10000; }),
         "Could not find upper channel line."},
        // The image ends before the lower channel's search range begins (row 1400).
        {"no room for the lower channel", ImageFromProfile(1300, CartridgeProfile),
         "Could not find lower channel line."},
        // No magnet band above the upper channel: nothing as dark as its valley.
        {"no upper magnet",
         ImageFromProfile(1800, [](int r) { return r < 121 ? 10000 : CartridgeProfile(r); }),
         "Could not find the upper magnet line"},
        // No magnet band below the lower channel: the row would be -1, which is refused.
        {"no lower magnet",
         ImageFromProfile(1800, [](int r) { return r >= 1680 ? 10000 : CartridgeProfile(r); }),
         "Could not find the lower magnet line"},
    };
    for (const Case &c : cases) {
        ui->Clear();
        std::string error;
        EXPECT_FALSE(FindChannelAndMagnetLines(c.image, dir.file("Plexorin.ini"), error)) << c.what;
        EXPECT_EQ(error, c.message) << c.what;
        ASSERT_EQ(ui->Messages().size(), 1u) << c.what;
        EXPECT_EQ(ui->Messages()[0].text, c.message) << c.what;
        EXPECT_EQ(_shown_calibration_lines.Get(), kBefore) << c.what;
    }
}

TEST_F(LineDetection, UpperOfTwoEqualValleysWins)
{
    // A second valley as deep as the first at row 600: the first (upper) one is taken.
    const cv::Mat image = ImageFromProfile(1800, [](int r) {
        if (r >= 580 && r <= 620)
            return 2000 + 400 * std::abs(r - 600);
        return CartridgeProfile(r);
    });
    CalibrationLines lines;
    std::string error;
    ASSERT_TRUE(DetectChannelAndMagnetLines(image, ChannelAndMagnetLineAlgoParams{}, lines, error)) << error;
    EXPECT_EQ(lines.upper_channel, 384);
}
