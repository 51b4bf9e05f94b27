#include "analysis/EpiCellCounting.h"

#include "Ostravo/Sha256.h"
#include "analysis/BackgroundMap.h"
#include "support/TempDir.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

namespace {

using vantelis::test::ReadFileBytes;
using vantelis::test::TempDir;
using vantelis::test::WriteFileBytes;

// The parameter file's defaults.
EpiCellCountingParams Defaults()
{
    EpiCellCountingParams p;
    p.left = 100;
    p.top = 100;
    p.right = 1000;
    p.bottom = 1000;
    p.use_bg_image = true;
    p.dark_pct0 = 0.002f;
    p.dark_pct1 = 0.01f;
    p.max_ratio = 0.35f;
    p.min_pixel_count = 60;
    p.min_size = 20;
    return p;
}

// Sixteen ring centres on a 4 x 4 grid, each off the pixel grid by a different fraction.
std::vector<cv::Point2d> RingCentres()
{
    std::vector<cv::Point2d> centres;
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i)
            centres.emplace_back(47 + 70 * i + 0.04 * (i + 4 * j) - 0.3,
                                 46 + 70 * j + 0.3 - 0.04 * (i + 4 * j));
    return centres;
}

// Every detection lies within half a pixel of a distinct ring centre, and every ring has one.
void ExpectOneDetectionPerRing(const std::vector<CellDetection> &detections,
                               const std::vector<cv::Point2d> &rings)
{
    ASSERT_EQ(detections.size(), rings.size());
    std::vector<bool> used(rings.size(), false);
    for (const CellDetection &d : detections) {
        bool matched = false;
        for (size_t r = 0; r < rings.size() && !matched; ++r) {
            if (!used[r] && std::abs(d.x - rings[r].x) <= 0.5 && std::abs(d.y - rings[r].y) <= 0.5) {
                used[r] = true;
                matched = true;
            }
        }
        EXPECT_TRUE(matched) << "detection at " << d.x << "," << d.y;
        EXPECT_EQ(d.confidence, 0.0f);
        EXPECT_EQ(d.lp_value, 0.0f);
    }
}

// 320 x 320 noisy background of 8000 +- 500 with sixteen uniform dark rings (value 1000, radii 9
// to 11): the rings are about 2.2 % of the 300 x 300 region, so with the default fractions both
// levels fall on the ring value and every ring is one island.
TEST(EpiCellCounting, FindsSixteenRingsAtTheirCentres)
{
    cv::Mat image(320, 320, CV_16UC1);
    cv::RNG rng(12345);
    const auto rings = RingCentres();
    for (int y = 0; y < image.rows; ++y)
        for (int x = 0; x < image.cols; ++x) {
            uint16_t value = uint16_t(8000 + rng.uniform(-500, 501));
            for (const cv::Point2d &c : rings) {
                const double distance = std::hypot(x - c.x, y - c.y);
                if (distance >= 9.0 && distance <= 11.0)
                    value = 1000;
            }
            image.at<uint16_t>(y, x) = value;
        }
    const cv::Mat before = image.clone();

    EpiCellCountingParams params = Defaults();
    params.left = 10;
    params.top = 10;
    params.right = 309;
    params.bottom = 309;
    std::vector<CellDetection> detections;
    EString error;
    ASSERT_TRUE(EpiCellCountingAlgo(image, params, detections, error)) << error.c_str();
    ExpectOneDetectionPerRing(detections, rings);
    for (const CellDetection &d : detections) {
        // The box side is 22 or 23 pixels.
        EXPECT_GE(d.radius, 22.0f / 3.0f);
        EXPECT_LE(d.radius, 23.0f / 3.0f);
    }
    EXPECT_EQ(cv::countNonZero(image != before), 0);
}

// An uneven illumination (half as bright in the top-left corner as in the bottom-right) over
// rings whose darkness fades over 3 pixels on either side of radius 12, and its background image
// saved as BF.bg.tif. The fractions are set so that the seed level lies above every ring's
// darkest pixel and the grow level well below the background once the image is flattened.
TEST(EpiCellCounting, FindsTheRingsUnderUnevenIlluminationWithTheBackgroundImage)
{
    auto field = [](int x, int y) { return 0.5 + 0.5 * (x + y) / 638.0; };
    cv::Mat image(320, 320, CV_16UC1), background(320, 320, CV_16UC1);
    cv::RNG rng(777);
    const auto rings = RingCentres();
    for (int y = 0; y < image.rows; ++y)
        for (int x = 0; x < image.cols; ++x) {
            double scene = 8000 + rng.uniform(-300, 301);
            for (const cv::Point2d &c : rings) {
                const double offset = std::abs(std::hypot(x - c.x, y - c.y) - 12.0);
                if (offset <= 3.0)
                    scene = 1000 + 1000 * offset;
            }
            image.at<uint16_t>(y, x) = uint16_t(std::lround(scene * field(x, y)));
            background.at<uint16_t>(y, x) =
                uint16_t(std::lround((8000 + rng.uniform(-100, 101)) * field(x, y)));
        }
    TempDir dir;
    ASSERT_TRUE(cv::imwrite(dir.file("BF.bg.tif"), background));
    std::vector<cv::Mat> backgrounds;
    std::vector<EString> types;
    EString error;
    ASSERT_TRUE(LoadBGImages(dir.str().c_str(), backgrounds, types, error)) << error.c_str();
    ASSERT_EQ(backgrounds.size(), 1u);
    ASSERT_STREQ(types[0].c_str(), "BF");

    EpiCellCountingParams params = Defaults();
    params.left = 10;
    params.top = 10;
    params.right = 309;
    params.bottom = 309;
    params.min_size = 5; // a background grid of 15 x 15 cells
    params.dark_pct0 = 0.005f;
    params.dark_pct1 = 0.04f;
    std::vector<CellDetection> detections;
    ASSERT_TRUE(EpiCellCountingAlgo(image, params, detections, error, nullptr, &backgrounds[0]))
        << error.c_str();
    ExpectOneDetectionPerRing(detections, rings);

    // Without flattening, the rings in the dim corner grow too thick and some are lost.
    std::vector<CellDetection> uncorrected;
    ASSERT_TRUE(EpiCellCountingAlgo(image, params, uncorrected, error)) << error.c_str();
    EXPECT_LT(uncorrected.size(), rings.size());
}

// A region of noise alone: its darkest 1 % are scattered single pixels, so every island is far
// below the minimum pixel count and nothing is counted; that is no failure.
TEST(EpiCellCounting, TooFewDarkPixelsCountNothing)
{
    cv::Mat image(150, 150, CV_16UC1);
    cv::RNG rng(4242);
    rng.fill(image, cv::RNG::UNIFORM, 7500, 8501);
    EpiCellCountingParams params = Defaults();
    params.left = 10;
    params.top = 10;
    params.right = 139;
    params.bottom = 139;
    std::vector<CellDetection> detections;
    EString error;
    EXPECT_TRUE(EpiCellCountingAlgo(image, params, detections, error)) << error.c_str();
    EXPECT_TRUE(detections.empty());
}

// Shapes at 1000 on a flat 8000, about 6 % of the region, so both default levels are 1000.
TEST(EpiCellCounting, KeepsIslandsByCountSizeAndFillRatio)
{
    cv::Mat image(120, 120, CV_16UC1, cv::Scalar(8000));
    std::vector<cv::Point> kept;
    auto dark = [&](int x, int y, std::vector<cv::Point> *list) {
        image.at<uint16_t>(y, x) = 1000;
        if (list)
            list->emplace_back(x, y);
    };
    // 70 pixels in a 20 x 12 box: the outline (60) and a bar of 10 inside it. s = 20, ratio 0.175.
    for (int x = 15; x <= 34; ++x) {
        dark(x, 15, &kept);
        dark(x, 26, &kept);
    }
    for (int y = 16; y <= 25; ++y) {
        dark(15, y, &kept);
        dark(34, y, &kept);
    }
    for (int x = 16; x <= 25; ++x)
        dark(x, 21, &kept);
    ASSERT_EQ(kept.size(), 70u);
    // A filled 20 x 20 square: ratio 1.0.
    for (int y = 15; y <= 34; ++y)
        for (int x = 60; x <= 79; ++x)
            dark(x, y, nullptr);
    // A line of 59 pixels: below the minimum pixel count.
    for (int x = 15; x <= 73; ++x)
        dark(x, 60, nullptr);
    // The outline of a 19 x 19 square: 72 pixels, ratio 0.2, but its side is below 20.
    for (int i = 0; i < 19; ++i) {
        dark(80 + i, 70, nullptr);
        dark(80 + i, 88, nullptr);
        dark(80, 70 + i, nullptr);
        dark(98, 70 + i, nullptr);
    }

    EpiCellCountingParams params = Defaults();
    params.left = 10;
    params.top = 10;
    params.right = 109;
    params.bottom = 109;
    std::vector<CellDetection> detections(1); // detections are appended
    EString error;
    ASSERT_TRUE(EpiCellCountingAlgo(image, params, detections, error)) << error.c_str();
    ASSERT_EQ(detections.size(), 2u);
    double sx = 0, sy = 0;
    for (const cv::Point &p : kept) {
        sx += p.x;
        sy += p.y;
    }
    EXPECT_EQ(detections[1].x, std::lround(sx / 70));
    EXPECT_EQ(detections[1].y, std::lround(sy / 70));
    EXPECT_FLOAT_EQ(detections[1].radius, 20.0f / 3.0f);
}

TEST(EpiCellCounting, PreviewMarks)
{
    // In a flat 8000: a 6 x 5 block at 500 (the seed level, 30 of the 20 pixels the first
    // fraction asks for) inside a 10 x 10 block at 1500 (the grow level at 100 pixels).
    cv::Mat image(120, 120, CV_16UC1, cv::Scalar(8000));
    image(cv::Rect(40, 40, 10, 10)).setTo(1500);
    image(cv::Rect(42, 42, 6, 5)).setTo(500);
    const cv::Point seed(43, 43), grown(40, 40), bright(60, 60), outside(5, 5);

    struct Case
    {
        bool show0, show1, objects;
        uint8_t seed, grown;
    } cases[] = {
        {true, false, false, 1, 1}, {false, true, false, 2, 2}, {true, true, false, 1, 2},
        {false, false, true, 3, 3}, {true, true, true, 3, 3},   {false, false, false, 9, 9},
    };
    for (const Case &c : cases) {
        EpiCellCountingParams params = Defaults();
        params.left = 10;
        params.top = 10;
        params.right = 109;
        params.bottom = 109;
        params.show_threshold0_pixels = c.show0;
        params.show_threshold1_pixels = c.show1;
        params.show_found_object_pixels = c.objects;
        cv::Mat overlay(120, 120, CV_8UC1, cv::Scalar(9));
        std::vector<CellDetection> detections;
        EString error;
        ASSERT_TRUE(EpiCellCountingAlgo(image, params, detections, error, &overlay)) << error.c_str();
        const std::string what =
            std::to_string(c.show0) + std::to_string(c.show1) + std::to_string(c.objects);
        EXPECT_EQ(overlay.at<uint8_t>(seed), c.seed) << what;
        EXPECT_EQ(overlay.at<uint8_t>(grown), c.grown) << what;
        EXPECT_EQ(overlay.at<uint8_t>(bright), 9) << what;
        EXPECT_EQ(overlay.at<uint8_t>(outside), 9) << what;
        EXPECT_EQ(cv::countNonZero(overlay != 9), c.seed == 9 ? 0 : 100) << what;
    }
}

TEST(EpiCellCounting, RefusesWhatItCannotCount)
{
    const cv::Mat image(200, 200, CV_16UC1, cv::Scalar(5000));
    const cv::Mat wrong_type(200, 200, CV_8UC1, cv::Scalar(50));
    const cv::Mat narrow(200, 99, CV_16UC1, cv::Scalar(5000));
    const cv::Mat background(200, 200, CV_16UC1, cv::Scalar(4000));
    const cv::Mat small_background(150, 200, CV_16UC1, cv::Scalar(4000));
    const cv::Mat empty;
    cv::Mat overlay_too_small(100, 100, CV_8UC1, cv::Scalar(0));

    struct Case
    {
        const char *what;
        const cv::Mat *image;
        int32_t left, top, right, bottom, min_size;
        cv::Mat *overlay;
        const cv::Mat *background;
        const char *message;
    } cases[] = {
        {"no pixels", &empty, 10, 10, 109, 109, 20, nullptr, nullptr,
         "EpiCellCountingAlgo() - image has no data."},
        {"8-bit image", &wrong_type, 10, 10, 109, 109, 20, nullptr, nullptr,
         "EpiCellCountingAlgo() - image must be type CV_16UC1"},
        {"99 columns, before the region", &narrow, 10, 10, 209, 109, 20, nullptr, nullptr,
         "EpiCellCountingAlgo() - image size must be at least 100 x 100"},
        {"region not narrower than the image", &image, 0, 10, 199, 109, 20, nullptr, nullptr,
         "EpiCellCountingAlgo() - invalid region of interest."},
        {"region past the right edge", &image, 150, 10, 249, 109, 20, nullptr, nullptr,
         "EpiCellCountingAlgo() - region of interest is not inside the image."},
        {"region past the bottom edge", &image, 10, 120, 109, 219, 20, nullptr, nullptr,
         "EpiCellCountingAlgo() - region of interest is not inside the image."},
        {"overlay of another size", &image, 10, 10, 109, 109, 20, &overlay_too_small, nullptr,
         "EpiCellCountingAlgo() - overlay image must be type CV_8UC1 and of the image's size."},
        {"background of another size", &image, 10, 10, 109, 109, 20, nullptr, &small_background,
         "EpiCellCountingAlgo() - background image must be type CV_16UC1 and of the image's size."},
        {"region 50 wide with MinSize 20: no background cell", &image, 10, 10, 59, 109, 20, nullptr,
         &background,
         "EpiCellCountingAlgo() - region of interest must be at least 80 pixels (4 x MinSize) wide and high "
         "to "
         "use a background image."},
        {"invalid parameters", &image, 10, 10, 40, 109, 20, nullptr, nullptr,
         "Region of interest must be at lest 50 pixels wide\n"},
    };
    for (const Case &c : cases) {
        EpiCellCountingParams params = Defaults();
        params.left = c.left;
        params.top = c.top;
        params.right = c.right;
        params.bottom = c.bottom;
        params.min_size = c.min_size;
        params.show_threshold0_pixels = true;
        const cv::Mat before = c.image->clone();
        std::vector<CellDetection> detections(1);
        EString error;
        EXPECT_FALSE(EpiCellCountingAlgo(*c.image, params, detections, error, c.overlay, c.background))
            << c.what;
        EXPECT_STREQ(error.c_str(), c.message) << c.what;
        EXPECT_EQ(detections.size(), 1u) << c.what;
        if (!before.empty()) {
            EXPECT_EQ(cv::countNonZero(cv::Mat(*c.image != before).reshape(1)), 0) << c.what;
        }
    }
    // The same region with a grid of one cell is counted.
    EpiCellCountingParams params = Defaults();
    params.left = 10;
    params.top = 10;
    params.right = 89;
    params.bottom = 109;
    std::vector<CellDetection> detections;
    EString error;
    EXPECT_TRUE(EpiCellCountingAlgo(image, params, detections, error, nullptr, &background)) << error.c_str();
}

TEST(EpiCellCounting, ValidationMessages)
{
    const char *pct0 = "Dark percentile threshold 0 must be a floating point number between 0.0001 and 0.5\n";
    const char *pct1 = "Dark percentile threshold 1 must be a floating point number between 0.0005 and 0.5\n";
    const char *order = "Dark percentile threshold 0 must be less than dark percentile threshold 1\n";
    const char *count = "Min pixel count must be an integer between 10 and 1000\n";
    const char *size = "Min pixel size must be an integer between 5 and 150\n";
    const char *ratio = "Max ratio between 0.05 and 0.5\n";
    const char *wide = "Region of interest must be at lest 50 pixels wide\n";
    const char *high = "Region of interest must be at least 50 pixels high\n";
    const char *roi = "Invalid region of interest\n";

    struct Case
    {
        const char *what;
        void (*change)(EpiCellCountingParams &);
        std::string expected;
    } cases[] = {
        {"defaults", [](EpiCellCountingParams &) {}, ""},
        {"smallest limits",
         [](EpiCellCountingParams &p) {
             p.dark_pct0 = 0.0001f;
             p.dark_pct1 = 0.0005f;
             p.min_pixel_count = 10;
             p.min_size = 5;
             p.max_ratio = 0.05f;
             p.left = p.top = 0;
             p.right = p.bottom = 49;
         },
         ""},
        {"largest limits",
         [](EpiCellCountingParams &p) {
             p.dark_pct0 = 0.4999f;
             p.dark_pct1 = 0.5f;
             p.min_pixel_count = 1000;
             p.min_size = 150;
             p.max_ratio = 0.5f;
             p.right = p.bottom = 10000;
         },
         ""},
        {"49 pixels wide", [](EpiCellCountingParams &p) { p.right = 148; }, wide},
        {"50 pixels wide", [](EpiCellCountingParams &p) { p.right = 149; }, ""},
        {"49 pixels high", [](EpiCellCountingParams &p) { p.bottom = 148; }, high},
        {"equal fractions", [](EpiCellCountingParams &p) { p.dark_pct0 = p.dark_pct1 = 0.01f; }, order},
        {"first fraction too small", [](EpiCellCountingParams &p) { p.dark_pct0 = 0.00009f; }, pct0},
        {"first fraction too large", [](EpiCellCountingParams &p) { p.dark_pct0 = 0.6f; },
         std::string(pct0) + order},
        {"second fraction too small", [](EpiCellCountingParams &p) { p.dark_pct1 = 0.0004f; },
         std::string(pct1) + order},
        {"second fraction not a number", [](EpiCellCountingParams &p) { p.dark_pct1 = std::nanf(""); },
         std::string(pct1) + order},
        {"pixel count 9", [](EpiCellCountingParams &p) { p.min_pixel_count = 9; }, count},
        {"pixel count 1001", [](EpiCellCountingParams &p) { p.min_pixel_count = 1001; }, count},
        {"size 4", [](EpiCellCountingParams &p) { p.min_size = 4; }, size},
        {"size 151", [](EpiCellCountingParams &p) { p.min_size = 151; }, size},
        {"ratio 0.04", [](EpiCellCountingParams &p) { p.max_ratio = 0.04f; }, ratio},
        {"ratio 0.51", [](EpiCellCountingParams &p) { p.max_ratio = 0.51f; }, ratio},
        {"left -1", [](EpiCellCountingParams &p) { p.left = -1; }, roi},
        {"bottom 10001", [](EpiCellCountingParams &p) { p.bottom = 10001; }, roi},
        {"everything",
         [](EpiCellCountingParams &p) {
             p.dark_pct0 = 0.7f;
             p.dark_pct1 = 0.6f;
             p.min_pixel_count = p.min_size = 0;
             p.max_ratio = 1.0f;
             p.left = -5;
             p.right = 10;
             p.top = 20000;
             p.bottom = 20001;
         },
         std::string(pct0) + pct1 + order + count + size + ratio + wide + high + roi},
    };
    for (const Case &c : cases) {
        EpiCellCountingParams params = Defaults();
        c.change(params);
        EString error("earlier text\n");
        EXPECT_EQ(params.Validate(error), c.expected.empty()) << c.what;
        EXPECT_EQ(std::string(error.c_str()), c.expected) << c.what;
    }
}

TEST(EpiCellCounting, DigestCoversTheStoredValuesOnly)
{
    const EpiCellCountingParams base = Defaults();

    // The digest is SHA-256 over the 37 bytes of the stored values, little-endian.
    std::vector<uint8_t> message{1};
    auto put = [&](const void *value) {
        const uint8_t *bytes = static_cast<const uint8_t *>(value);
        message.insert(message.end(), bytes, bytes + 4);
    };
    put(&base.dark_pct0);
    put(&base.dark_pct1);
    put(&base.min_pixel_count);
    put(&base.min_size);
    put(&base.max_ratio);
    put(&base.left);
    put(&base.top);
    put(&base.right);
    put(&base.bottom);
    ASSERT_EQ(message.size(), 37u);
    Sha256 context;
    Sha256Init(context);
    Sha256Update(context, message.data(), message.size());
    uint8_t expected[32], digest[32];
    Sha256Final(context, expected);
    base.ComputeHash(digest);
    EXPECT_EQ(std::memcmp(digest, expected, 32), 0);

    struct Change
    {
        const char *what;
        void (*change)(EpiCellCountingParams &);
        bool changes_digest;
    } changes[] = {
        {"use background", [](EpiCellCountingParams &p) { p.use_bg_image = false; }, true},
        {"dark percentile 0", [](EpiCellCountingParams &p) { p.dark_pct0 = 0.003f; }, true},
        {"dark percentile 1", [](EpiCellCountingParams &p) { p.dark_pct1 = 0.02f; }, true},
        {"minimum pixel count", [](EpiCellCountingParams &p) { p.min_pixel_count = 61; }, true},
        {"minimum size", [](EpiCellCountingParams &p) { p.min_size = 21; }, true},
        {"maximum ratio", [](EpiCellCountingParams &p) { p.max_ratio = 0.3f; }, true},
        {"left", [](EpiCellCountingParams &p) { p.left = 101; }, true},
        {"top", [](EpiCellCountingParams &p) { p.top = 101; }, true},
        {"right", [](EpiCellCountingParams &p) { p.right = 1001; }, true},
        {"bottom", [](EpiCellCountingParams &p) { p.bottom = 999; }, true},
        {"enabled", [](EpiCellCountingParams &p) { p.enabled = true; }, false},
        {"show threshold 0", [](EpiCellCountingParams &p) { p.show_threshold0_pixels = true; }, false},
        {"show threshold 1", [](EpiCellCountingParams &p) { p.show_threshold1_pixels = true; }, false},
        {"show objects", [](EpiCellCountingParams &p) { p.show_found_object_pixels = true; }, false},
        {"stored digest", [](EpiCellCountingParams &p) { p.digest[0] ^= 0xFF; }, false},
    };
    for (const Change &c : changes) {
        EpiCellCountingParams changed = base;
        c.change(changed);
        uint8_t other[32];
        changed.ComputeHash(other);
        EXPECT_EQ(std::memcmp(digest, other, 32) != 0, c.changes_digest) << c.what;
    }
}

TEST(EpiCellCounting, SaveAndLoad)
{
    TempDir dir;
    const std::string path = dir.file("Set1.epi_counting_params");
    EpiCellCountingParams params;
    params.use_bg_image = false;
    params.dark_pct0 = 0.00390625f;
    params.dark_pct1 = 0.0078125f;
    params.min_pixel_count = 75;
    params.min_size = 12;
    params.max_ratio = 0.25f;
    params.left = 11;
    params.right = 811;
    params.top = 22;
    params.bottom = 622;
    ASSERT_TRUE(params.Save(path.c_str()));
    EXPECT_EQ(ReadFileBytes(path), "[EpiCellCountingAlgoDlg]\r\n"
                                   "UseBgImageIfAvail=FALSE\r\n"
                                   "DarkPct0=0.00390625\r\n"
                                   "DarkPct1=0.0078125\r\n"
                                   "MinPixelCount=75\r\n"
                                   "MinSize=12\r\n"
                                   "MaxRatio=0.25\r\n"
                                   "Left=11\r\n"
                                   "Right=811\r\n"
                                   "Top=22\r\n"
                                   "Bottom=622\r\n");
    uint8_t digest[32];
    params.ComputeHash(digest);
    EXPECT_EQ(std::memcmp(params.digest, digest, 32), 0);

    EpiCellCountingParams loaded;
    ASSERT_TRUE(loaded.Load(path.c_str()));
    EXPECT_FALSE(loaded.use_bg_image);
    EXPECT_EQ(loaded.dark_pct0, params.dark_pct0);
    EXPECT_EQ(loaded.dark_pct1, params.dark_pct1);
    EXPECT_EQ(loaded.min_pixel_count, 75);
    EXPECT_EQ(loaded.min_size, 12);
    EXPECT_EQ(loaded.max_ratio, 0.25f);
    EXPECT_EQ(loaded.left, 11);
    EXPECT_EQ(loaded.right, 811);
    EXPECT_EQ(loaded.top, 22);
    EXPECT_EQ(loaded.bottom, 622);
    EXPECT_EQ(std::memcmp(loaded.digest, digest, 32), 0);

    // A save that cannot be written keeps the digest of the last good save.
    params.min_size = 13;
    EString error;
    EXPECT_FALSE(params.Save(dir.file("missing/Set2.epi_counting_params").c_str(), &error));
    EXPECT_TRUE(error.IsNonEmpty());
    EXPECT_EQ(std::memcmp(params.digest, digest, 32), 0);
}

TEST(EpiCellCounting, LoadFallsBackToDefaults)
{
    TempDir dir;
    const std::string path = dir.file("Odd.epi_counting_params");
    WriteFileBytes(path, "[EpiCellCountingAlgoDlg]\r\n"
                         "UseBgImageIfAvail=false\r\n"
                         "DarkPct0=abc\r\n"
                         "DarkPct1= 0.02 percent\r\n"
                         "MinPixelCount=\r\n"
                         "MinSize=12px\r\n"
                         "Left=-7\r\n");
    EpiCellCountingParams params;
    ASSERT_TRUE(params.Load(path.c_str()));
    EXPECT_FALSE(params.use_bg_image);
    EXPECT_EQ(params.dark_pct0, 0.002f);
    EXPECT_EQ(params.dark_pct1, 0.02f);
    EXPECT_EQ(params.min_pixel_count, 60);
    EXPECT_EQ(params.min_size, 12);
    EXPECT_EQ(params.max_ratio, 0.35f);
    EXPECT_EQ(params.left, -7);
    EXPECT_EQ(params.right, 1000);
    EXPECT_EQ(params.top, 100);
    EXPECT_EQ(params.bottom, 1000);

    // Any switch text but FALSE means true; a missing file gives every default.
    WriteFileBytes(path, "[EpiCellCountingAlgoDlg]\r\nUseBgImageIfAvail=No\r\n");
    params.use_bg_image = false;
    ASSERT_TRUE(params.Load(path.c_str()));
    EXPECT_TRUE(params.use_bg_image);
    EpiCellCountingParams missing;
    ASSERT_TRUE(missing.Load(dir.file("none.epi_counting_params").c_str()));
    uint8_t digest[32], defaults[32];
    Defaults().ComputeHash(defaults);
    missing.ComputeHash(digest);
    EXPECT_EQ(std::memcmp(digest, defaults, 32), 0);
    EXPECT_EQ(std::memcmp(missing.digest, defaults, 32), 0);
}

TEST(EpiCellCounting, CommentBlock)
{
    EpiCellCountingParams params = Defaults();
    std::vector<std::string> lines{"first"};
    ASSERT_TRUE(params.WriteAsComments(lines));
    EXPECT_EQ(lines,
              (std::vector<std::string>{"first", "# ******** EpiCellCountingAlgo is not enabled ********"}));

    params.enabled = true;
    params.use_bg_image = false;
    lines.clear();
    ASSERT_TRUE(params.WriteAsComments(lines));
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "# ******** EpiCellCountingAlgo params ********", "#roi.left=100", "#roi.right=1000",
                         "#roi.top=100", "#roi.bottom=1000", "#UseBgImageIfAvail=false", "DarkPct0=0.002000",
                         "DarkPct1=0.010000", "MinPixelCount=60", "MinSize=20", "MaxRatio=0.350000"}));
}

} // namespace
