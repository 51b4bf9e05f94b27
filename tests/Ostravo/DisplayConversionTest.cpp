#include "Ostravo/DisplayConversion.h"

#include "support/TempDir.h"

#include <opencv2/imgcodecs.hpp>

#include <gtest/gtest.h>

#include <vector>

using namespace Ostravo;

namespace {

struct Rgb
{
    int r, g, b;
};

Rgb Split(uint32_t pixel)
{
    return Rgb{static_cast<int>((pixel >> 16) & 0xFF), static_cast<int>((pixel >> 8) & 0xFF),
               static_cast<int>(pixel & 0xFF)};
}

uint32_t MapOne(uint16_t v, uint16_t lower, uint16_t upper, uint8_t mask = 0, bool withMask = false,
                int16_t outLow = 0, int16_t outHigh = 255)
{
    uint32_t out = 0xDEADBEEF;
    EXPECT_TRUE(MapToDisplayColors(&v, 1, &out, upper, lower, withMask ? &mask : nullptr, outLow, outHigh));
    return out;
}

cv::Vec4b PixelAt(const cv::Mat &image, int row, int col)
{
    return image.at<cv::Vec4b>(row, col);
}

} // namespace

TEST(MapToDisplayColors, GreyThroughTheDisplayWindow)
{
    // Window 1000..3000 onto 0..255: e = (v - 1000) x 255 / 2000, truncated, clamped.
    struct Case
    {
        uint16_t value;
        int grey;
    } cases[] = {
        {2000, 127},                                                         // 127.5 truncated
        {1000, 0},   {0, 0}, {999, 0}, {3000, 255}, {65535, 255}, {1008, 1}, // 1.02
        {1007, 0},                                                           // 0.8925
        {2999, 254},                                                         // 254.87
    };
    for (const Case &c : cases) {
        const Rgb p = Split(MapOne(c.value, 1000, 3000));
        EXPECT_EQ(p.r, c.grey) << c.value;
        EXPECT_EQ(p.g, c.grey) << c.value;
        EXPECT_EQ(p.b, c.grey) << c.value;
    }
    // The unused top byte stays zero.
    EXPECT_EQ(MapOne(3000, 1000, 3000) >> 24, 0u);
}

TEST(MapToDisplayColors, OutputRangeEmptyAndInvertedWindows)
{
    // Output range 25..200: (2000 - 1000) x 175 / 2000 + 25 = 112.5 -> 112.
    EXPECT_EQ(Split(MapOne(2000, 1000, 3000, 0, false, 25, 200)).g, 112);
    EXPECT_EQ(Split(MapOne(1000, 1000, 3000, 0, false, 25, 200)).g, 25);
    // An empty window gives black whatever the value.
    EXPECT_EQ(MapOne(5000, 1000, 1000), 0u);
    EXPECT_EQ(MapOne(0, 1000, 1000), 0u);
    // An inverted window inverts the scale: (1000 - 3000) x 255 / -2000 = 255.
    EXPECT_EQ(Split(MapOne(1000, 3000, 1000)).g, 255);
    EXPECT_EQ(Split(MapOne(3000, 3000, 1000)).g, 0);
}

TEST(MapToDisplayColors, TintsFromTheMask)
{
    // Grey 100 (value 100 in window 0..255): the tinted channel gets min(300, 255), the others 33.
    struct Case
    {
        uint16_t value;
        uint8_t mask;
        Rgb expected;
    } cases[] = {
        {100, 1, {255, 33, 33}},   {5, 1, {32, 1, 1}},     {100, 2, {33, 33, 255}},
        {100, 3, {33, 255, 33}},   {50, 3, {16, 150, 16}}, {100, 0, {100, 100, 100}},
        {100, 4, {100, 100, 100}},
    };
    for (const Case &c : cases) {
        const Rgb p = Split(MapOne(c.value, 0, 255, c.mask, true));
        EXPECT_EQ(p.r, c.expected.r) << int(c.mask) << " " << c.value;
        EXPECT_EQ(p.g, c.expected.g) << int(c.mask) << " " << c.value;
        EXPECT_EQ(p.b, c.expected.b) << int(c.mask) << " " << c.value;
    }
}

TEST(MapToDisplayColors, WholeFrameTableAgreesWithSinglePixels)
{
    // Large buffers go through a table of all levels; it must give the same pixels.
    std::vector<uint16_t> values(70000);
    std::vector<uint8_t> mask(values.size());
    for (size_t k = 0; k < values.size(); ++k) {
        values[k] = static_cast<uint16_t>((k * 7919) % 65536);
        mask[k] = static_cast<uint8_t>(k % 5);
    }
    std::vector<uint32_t> frame(values.size());
    MapToDisplayColors(values.data(), values.size(), frame.data(), 40000, 300, mask.data(), 25, 200);
    for (size_t k = 0; k < values.size(); k += 97)
        ASSERT_EQ(frame[k], MapOne(values[k], 300, 40000, mask[k], true, 25, 200)) << k;
}

TEST(SampleImageRegion, WholeImageAndBordersOutsideIt)
{
    // Image of 4 columns x 2 rows with distinct values 1..8.
    cv::Mat image(2, 4, CV_16UC1);
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 4; ++c)
            image.at<uint16_t>(r, c) = static_cast<uint16_t>(1 + r * 4 + c);

    std::vector<uint16_t> out;
    ASSERT_TRUE(SampleImageRegion(image, out, 0.0, 1.0, 0.0, 1.0, 4, 2));
    EXPECT_EQ(out, (std::vector<uint16_t>{1, 2, 3, 4, 5, 6, 7, 8}));

    // -0.5 .. 1.5 of the width at 8 columns: sources trunc((j/8 x 2 - 0.5) x 4) = -2, -1, 0, 1, 2,
    // 3, 4, 5; those outside 0..3 stay black on both sides.
    ASSERT_TRUE(SampleImageRegion(image, out, -0.5, 1.5, 0.0, 1.0, 8, 1));
    EXPECT_EQ(out, (std::vector<uint16_t>{0, 0, 1, 2, 3, 4, 0, 0}));

    // Between -1 and 0 truncation gives column 0: -0.1 .. 0.9 at 4 columns -> -0.4, 0.6, 1.6, 2.6.
    ASSERT_TRUE(SampleImageRegion(image, out, -0.1, 0.9, 0.0, 1.0, 4, 1));
    EXPECT_EQ(out, (std::vector<uint16_t>{1, 1, 2, 3}));

    // Rows below the image are black.
    ASSERT_TRUE(SampleImageRegion(image, out, 0.0, 1.0, 0.0, 2.0, 4, 4));
    EXPECT_EQ(out, (std::vector<uint16_t>{1, 2, 3, 4, 5, 6, 7, 8, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(SampleImageRegion, ZoomedInAndOutFollowTheNearestLowerPixel)
{
    // Each pixel holds its column; the mask its column modulo 251. Output column j must show source
    // column trunc((j / w x 0.8 + 0.1) x 300), whether the sources run on (wide output) or jump.
    cv::Mat image(3, 300, CV_16UC1);
    cv::Mat mask(3, 300, CV_8UC1);
    for (int c = 0; c < 300; ++c) {
        image.col(c).setTo(c);
        mask.col(c).setTo(c % 251);
    }
    for (int w : {480, 240, 60, 7}) {
        std::vector<uint16_t> out;
        std::vector<uint8_t> maskOut;
        ASSERT_TRUE(SampleImageRegion(image, out, 0.1, 0.9, 0.0, 1.0, w, 3, &mask, &maskOut));
        for (int j = 0; j < w; ++j) {
            const int c = static_cast<int>((static_cast<double>(j) / w * 0.8 + 0.1) * 300);
            ASSERT_EQ(out[2 * w + j], c) << w << " " << j;
            ASSERT_EQ(maskOut[2 * w + j], c % 251) << w << " " << j;
        }
    }
}

TEST(SampleImageRegion, MaskIsSampledAlikeAndBadInputIsRefused)
{
    cv::Mat image(2, 2, CV_16UC1, cv::Scalar(500));
    cv::Mat mask(2, 2, CV_8UC1, cv::Scalar(0));
    mask.at<uint8_t>(1, 1) = 2;
    std::vector<uint16_t> out;
    std::vector<uint8_t> maskOut;
    ASSERT_TRUE(SampleImageRegion(image, out, 0.0, 1.0, 0.0, 1.0, 2, 2, &mask, &maskOut));
    EXPECT_EQ(maskOut, (std::vector<uint8_t>{0, 0, 0, 2}));

    std::string error;
    out.assign(3, 7);
    EXPECT_FALSE(SampleImageRegion(cv::Mat(), out, 0, 1, 0, 1, 2, 2, nullptr, nullptr, &error));
    EXPECT_EQ(out, (std::vector<uint16_t>{7, 7, 7})) << "nothing written";
    EXPECT_FALSE(error.empty());
    cv::Mat eightBit(2, 2, CV_8UC1, cv::Scalar(1));
    EXPECT_FALSE(SampleImageRegion(eightBit, out, 0, 1, 0, 1, 2, 2));
    cv::Mat smallMask(1, 2, CV_8UC1, cv::Scalar(1));
    EXPECT_FALSE(SampleImageRegion(image, out, 0, 1, 0, 1, 2, 2, &smallMask, &maskOut));
}

TEST(ComputeValuePercentiles, LevelsAtFractions)
{
    // 100 samples: 10 zeros, then 10..99 (one each).
    std::vector<uint16_t> samples(10, 0);
    for (uint16_t v = 10; v < 100; ++v)
        samples.push_back(v);
    std::vector<uint16_t> levels;
    ASSERT_TRUE(
        ComputeValuePercentiles(samples.data(), samples.size(), {0.0f, 0.05f, 0.5f, 0.95f, 1.0f}, levels));
    // Targets 0, 5, 50, 95, 99 (100 clamped to n - 1). Running counts: 10 at grey 0, then 10 + (g - 9).
    EXPECT_EQ(levels[0], 0); // target 0 reached at grey 0
    EXPECT_EQ(levels[1], 0); // more than 5 % are zero
    EXPECT_EQ(levels[2], 49);
    EXPECT_EQ(levels[3], 94);
    EXPECT_EQ(levels[4], 98); // all but one sample counted
}

TEST(GetAutoContrastLimits, SamplesEveryStepAndRefusesAnEmptyImage)
{
    // 8 x 8 image; the samples at step 4 are (0,0), (0,4), (4,0), (4,4) = 100, 200, 300, 400; every
    // other pixel is 60000 and must not be seen.
    cv::Mat image(8, 8, CV_16UC1, cv::Scalar(60000));
    image.at<uint16_t>(0, 0) = 100;
    image.at<uint16_t>(0, 4) = 200;
    image.at<uint16_t>(4, 0) = 300;
    image.at<uint16_t>(4, 4) = 400;
    uint16_t lower = 1, upper = 2;
    ASSERT_TRUE(GetAutoContrastLimits(image, 4, 0.5, 2.0, lower, upper));
    EXPECT_EQ(lower, 200); // target round(4 x 0.5) = 2
    EXPECT_EQ(upper, 300); // high fraction clamped to 1: target 4 clamped to 3

    lower = 1;
    upper = 2;
    EXPECT_FALSE(GetAutoContrastLimits(cv::Mat(), 4, 0.05, 0.95, lower, upper));
    EXPECT_EQ(lower, 1);
    EXPECT_EQ(upper, 2);
}

class DrawImageFiles : public ::testing::Test
{
  protected:
    // A 16-bit file whose auto-contrast limits are known: the left half at 3000, the right half at
    // 1000, two pixels at 5000. Its 16 step-4 samples are 8 x 1000, 6 x 3000 and 2 x 5000, so the
    // levels are 1000 at 0.05 and 0.5, and 5000 at 0.95 (target 15) and 0.999 (target 16 -> 15).
    std::string WriteImage(const std::string &name, cv::Size size = cv::Size(16, 16))
    {
        cv::Mat image(size, CV_16UC1, cv::Scalar(1000));
        image(cv::Rect(0, 0, size.width / 2, size.height)).setTo(3000);
        image.at<uint16_t>(0, 0) = 5000;
        image.at<uint16_t>(0, 4) = 5000;
        const std::string path = dir.file(name);
        EXPECT_TRUE(cv::imwrite(path, image));
        return path;
    }
    vantelis::test::TempDir dir;
    cv::Mat target{16, 16, CV_8UC4, cv::Scalar::all(7)};
};

TEST_F(DrawImageFiles, TintIsExactAndCaseSensitive)
{
    const std::string path = WriteImage("FL1.png");
    // Limits 1000 and 5000; a pixel at 3000: 2000 x 255 / 4000 + 0.5 = 128.
    ASSERT_EQ(DrawTintedImageFile(path, "red", target, cv::Rect(0, 0, 16, 16)), 1);
    EXPECT_EQ(PixelAt(target, 8, 2), cv::Vec4b(0, 0, 128, 0));
    ASSERT_EQ(DrawTintedImageFile(path, "green", target, cv::Rect(0, 0, 16, 16)), 1);
    EXPECT_EQ(PixelAt(target, 8, 2), cv::Vec4b(0, 128, 0, 0));
    ASSERT_EQ(DrawTintedImageFile(path, "Red", target, cv::Rect(0, 0, 16, 16)), 1);
    EXPECT_EQ(PixelAt(target, 8, 2), cv::Vec4b(128, 128, 128, 0));

    // An unreadable file draws nothing and still answers 1.
    cv::Mat before = target.clone();
    EXPECT_EQ(DrawTintedImageFile(dir.file("missing.png"), "red", target, cv::Rect(0, 0, 16, 16)), 1);
    EXPECT_EQ(cv::norm(before, target, cv::NORM_INF), 0.0);
}

TEST_F(DrawImageFiles, CompositeScalesAndChecksSizes)
{
    const std::string brightField = WriteImage("BF.png");
    // Bright-field limits 1000 and 5000. Alone, a pixel at 3000: 2000 x 180 / 4000 + 0.5 = 90.5 -> 90.
    ASSERT_EQ(DrawCompositeImageFiles(brightField, "", "", target, cv::Rect(0, 0, 16, 16)), 1);
    EXPECT_EQ(PixelAt(target, 8, 2), cv::Vec4b(90, 90, 90, 0));
    EXPECT_EQ(PixelAt(target, 8, 12), cv::Vec4b(0, 0, 0, 0)); // 1000 -> 0.5 -> 0

    // With a fluorescence image the grey scale is 128 (64.5 -> 64), and green (first) or red
    // (second) gains 2000 x 150 / 4000 + 0.5 = 75.5 -> 75.
    const std::string fluorescence = WriteImage("FL1.png");
    ASSERT_EQ(DrawCompositeImageFiles(brightField, fluorescence, "", target, cv::Rect(0, 0, 16, 16)), 1);
    EXPECT_EQ(PixelAt(target, 8, 2), cv::Vec4b(64, 64 + 75, 64, 0));
    ASSERT_EQ(DrawCompositeImageFiles(brightField, "", fluorescence, target, cv::Rect(0, 0, 16, 16)), 1);
    EXPECT_EQ(PixelAt(target, 8, 2), cv::Vec4b(64, 64, 64 + 75, 0));

    // A fluorescence image of another size, or one that cannot be read, is refused before any
    // pixel is read or drawn.
    const std::string other = WriteImage("FL2.png", cv::Size(8, 16));
    cv::Mat before = target.clone();
    std::string error;
    EXPECT_EQ(DrawCompositeImageFiles(brightField, other, "", target, cv::Rect(0, 0, 16, 16), &error), 0);
    EXPECT_NE(error.find("FL2.png"), std::string::npos);
    EXPECT_EQ(DrawCompositeImageFiles(brightField, "", dir.file("none.png"), target, cv::Rect(0, 0, 16, 16)),
              0);
    cv::Mat eightBit(16, 16, CV_8UC1, cv::Scalar(3));
    ASSERT_TRUE(cv::imwrite(dir.file("FL8.png"), eightBit));
    EXPECT_EQ(DrawCompositeImageFiles(brightField, dir.file("FL8.png"), "", target, cv::Rect(0, 0, 16, 16)),
              0);
    EXPECT_EQ(cv::norm(before, target, cv::NORM_INF), 0.0);
}
