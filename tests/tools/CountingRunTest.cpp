#include "tools/CountingRun.h"

#include "platform/Files.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

namespace vantelis::test {
namespace {

using namespace counting_id;

// A valid set of controls for an image of 400 x 300.
CountingControls RunControls()
{
    CountingControls c = DefaultCountingControls();
    c.edits[kLeft] = "10";
    c.edits[kRight] = "389";
    c.edits[kTop] = "20";
    c.edits[kBottom] = "279";
    c.edits[kUpperMagnet] = "60";
    c.edits[kLowerMagnet] = "240";
    c.boxes[kMFilter1] = true;
    c.boxes[kCFilter1] = true;
    return c;
}

TEST(CountingRun, RefusalsNameTheProblem)
{
    const std::string p = "CountingAlgorithmDlg::process_image () ";
    const struct
    {
        int control;
        const char *text;
        const char *message; // empty: the run goes ahead
        bool errorIcon;
    } cases[] = {
        {kTop, "100", "", false},
        {kBottom, "119", "Bottom - Top must be greater than or equal to 20 pixel rows", false},
        {kBottom, "40", "", false}, // Top 20: exactly 20 rows
        {kBottom, "39", "Bottom - Top must be greater than or equal to 20 pixel rows", false},
        {kTop, "-5", "Top must be greather than or equal to 0", false},
        {kBottom, "300", "Bottom must be less than image height 300", false},
        {kBottom, "299", "", false},
        {kObjectRadiusSweep1, "21", "Radius sweep must be between 0 and 20", true},
        {kObjectRadiusSweep1, "-1", "Radius sweep must be between 0 and 20", true},
        {kObjectRadiusSweep2, "21", "Radius sweep must be between 0 and 20", true},
        {kObjectRadiusSweep1, "20", "", false},
        {kLeft, "-1", "Left must be greater than or equal to 0", false},
        {kRight, "400", "Right must be less than image width 400", false},
        {kRight, "10", "Right must be greater than Left", false},
        {kLowerMagnet, "60", "Upper and Lower magnet rows must differ", false},
        {kTop, "abc", "Top must be a whole number", false},
        {kUpperMagnet, "", "Upper magnet must be a whole number", false},
        {kObjectRadius1, "x", "ObjectRadius1 must be a number", false},
        {kMFilterSamples2, "?", "MFilterSamples2 must be a whole number", false},
        {kCFilterThreshold1, "abc", "", false},
        {kCFilterMinSize2, "", "", false},
    };
    for (const auto &c : cases) {
        CountingControls controls = RunControls();
        controls.edits[c.control] = c.text;
        if (c.control == kBottom && std::string(c.text) == "119")
            controls.edits[kTop] = "100";
        CountingRunSettings settings;
        std::string message;
        bool errorIcon = false;
        const bool ok = PrepareCountingRun(controls, 400, 300, "", settings, message, errorIcon);
        const std::string label = std::to_string(c.control) + "=" + c.text;
        if (*c.message == '\0') {
            EXPECT_TRUE(ok) << label << ": " << message;
            continue;
        }
        EXPECT_FALSE(ok) << label;
        const std::string expected = c.errorIcon ? std::string(c.message) : p + c.message;
        EXPECT_EQ(message, expected) << label;
        EXPECT_EQ(errorIcon, c.errorIcon) << label;
    }
}

TEST(CountingRun, OptionsComeFromTheControls)
{
    CountingControls controls = RunControls();
    controls.edits[kCFilterThreshold1] = "abc";
    controls.edits[kCFilterMinSize1] = "";
    controls.edits[kObjectRadius2] = "4.5";
    controls.edits[kObjectRadiusSweep2] = "3";
    controls.boxes[kRestoreImage] = true;
    controls.boxes[kProximityBetween] = false;
    TempDir dir;
    WriteFileBytes(dir.file("Plexorin.ini"), "[CalibrationSettings]\r\nimage_pixels_per_mm=812.5\r\n");
    CountingRunSettings s;
    std::string message;
    bool icon = false;
    ASSERT_TRUE(PrepareCountingRun(controls, 400, 300, dir.file("Plexorin.ini"), s, message, icon))
        << message;
    EXPECT_EQ(s.options.count_threshold[0], 1);
    EXPECT_EQ(s.options.count_min_size[0], 0);
    EXPECT_EQ(s.options.count_threshold[1], 100);
    EXPECT_EQ(s.options.object_radius[0], 13.0);
    EXPECT_EQ(s.options.object_radius[1], 4.5);
    EXPECT_EQ(s.options.radius_sweep[1], 3);
    EXPECT_EQ(s.options.morph_samples[0], 12);
    EXPECT_EQ(s.options.morph_threshold[1], 250);
    EXPECT_EQ(s.options.pixels_per_mm, 812.5);
    EXPECT_TRUE(s.options.morph_filter[0]);
    EXPECT_FALSE(s.options.morph_filter[1]);
    EXPECT_TRUE(s.options.use_inner_ring[0]);
    EXPECT_FALSE(s.options.proximity_between_types);
    EXPECT_FALSE(s.options.enabled);
    EXPECT_EQ(s.options.left, 10);
    EXPECT_EQ(s.options.bottom, 279);
    EXPECT_EQ(s.upper_magnet, 60);
    EXPECT_EQ(s.lower_magnet, 240);
    EXPECT_TRUE(s.restore_image);
}

TEST(CountingRun, HeightsAndBins)
{
    const struct
    {
        int32_t row;
        double height;
        int bin;
    } cases[] = {
        {60, 1.0, 29},         // on the upper magnet
        {240, 0.0, 0},         // on the lower magnet
        {150, 0.5, 14},        // half way
        {30, 7.0 / 6.0, 29},   // above the upper magnet: kept in the top bin
        {250, -1.0 / 18.0, 0}, // below the lower magnet: kept in the bottom bin
    };
    for (const auto &c : cases) {
        const double h = CountingHeight(c.row, 60, 240);
        EXPECT_DOUBLE_EQ(h, c.height) << c.row;
        EXPECT_EQ(CountingHistogramBin(h), c.bin) << c.row;
    }
    EXPECT_EQ(CountingHistogramBin(std::nan("")), 0);
}

TEST(CountingRun, ResultFilesMatchTheirGolden)
{
    CountingRunSettings s;
    std::string message;
    bool icon = false;
    CountingControls controls = RunControls();
    controls.edits[kObjectRadius1] = "6";
    controls.edits[kMFilterThreshold1] = "2000";
    controls.edits[kCFilterThreshold1] = "500";
    controls.edits[kCFilterMinSize1] = "1";
    controls.boxes[kUseInnerRing1] = false;
    TempDir dir;
    WriteFileBytes(dir.file("Plexorin.ini"), "[CalibrationSettings]\r\nimage_pixels_per_mm=1000\r\n");
    ASSERT_TRUE(PrepareCountingRun(controls, 400, 300, dir.file("Plexorin.ini"), s, message, icon))
        << message;
    CountingResultHeader header;
    header.product_name = "Vantelis";
    header.version = "1.2.3.4";
    header.computer_name = "HOST";
    header.image_path = "/data/img.png";
    header.radius_um[0] = 6.0;
    header.radius_um[1] = 4.0;
    // Type 1 on the upper magnet, half way and on the lower magnet; no type 2.
    const std::vector<std::vector<CellDetection>> detections = {
        {{100, 60, 0.75f, 0.0f, 6.0f}, {200, 150, 12.5f, 0.0f, 6.0f}, {300, 240, 1.0f, 0.0f, 6.5f}}, {}};
    const CountingResultTexts texts = FormatCountingResults(header, s, detections);
    const std::string golden = std::string(VANTELIS_SOURCE_DIR) + "/tests/tools/golden/";
    EXPECT_EQ(texts.table, ReadFileBytes(golden + "counting_result.txt"));
    EXPECT_EQ(texts.summary, ReadFileBytes(golden + "counting_result.sum.txt"));
}

TEST(CountingRun, SummaryOfBothTypes)
{
    CountingRunSettings s;
    s.upper_magnet = 0;
    s.lower_magnet = 100;
    s.options.pixels_per_mm = 500.0;
    const std::vector<std::vector<CellDetection>> detections = {
        {{5, 50, 1.0f, 0.0f, 2.0f}}, {{7, 25, 0.5f, 0.0f, 3.0f}, {8, 75, 0.5f, 0.0f, 3.0f}}};
    const CountingResultTexts texts = FormatCountingResults(CountingResultHeader{}, s, detections);
    // One type-1 detection: standard deviation 0. Type 2: heights 0.75 and 0.25, mean 0.5, sample
    // deviation sqrt(0.125). The banner follows the type-2 line directly.
    EXPECT_NE(texts.summary.find("itype\tavg_y\tstdev_y\r\n1\t0.500\t0.000\r\n2\t0.500\t0.354\r\n****"),
              std::string::npos);
    // Type-2 rows end without a tab; radius 3 px at 500 px/mm is 6 um.
    EXPECT_NE(
        texts.table.find("\r\n1\t0\t5\t50\t 1.0000\t0.500\t4.0\t\r\n2\t0\t7\t25\t 0.5000\t0.750\t6.0\r\n"
                         "2\t1\t8\t75\t 0.5000\t0.250\t6.0\r\n"),
        std::string::npos);
    EXPECT_EQ(texts.table.substr(texts.table.size() - 2), "\r\n");
}

TEST(CountingRun, ResultNumberingNeverOverwrites)
{
    TempDir dir;
    const std::string image = dir.file("name.png");
    std::string table, summary;
    ASSERT_TRUE(ChooseCountingResultPaths(image, table, summary));
    EXPECT_EQ(table, dir.file("name.txt"));
    EXPECT_EQ(summary, dir.file("name.sum.txt"));

    WriteFileBytes(dir.file("name.txt"), "0");
    WriteFileBytes(dir.file("name[1].txt"), "1");
    ASSERT_TRUE(ChooseCountingResultPaths(image, table, summary));
    EXPECT_EQ(table, dir.file("name[2].txt"));
    EXPECT_EQ(summary, dir.file("name[2].sum.txt"));

    // A number is taken only when both of its files are free.
    WriteFileBytes(dir.file("name[2].sum.txt"), "s");
    ASSERT_TRUE(ChooseCountingResultPaths(image, table, summary));
    EXPECT_EQ(table, dir.file("name[3].txt"));

    for (int n = 3; n <= 100; ++n)
        WriteFileBytes(dir.file("name[" + std::to_string(n) + "].txt"), std::to_string(n));
    ASSERT_TRUE(ChooseCountingResultPaths(image, table, summary));
    EXPECT_EQ(table, dir.file("name[101].txt"));
    EXPECT_EQ(summary, dir.file("name[101].sum.txt"));

    // The extension of the image goes, a dot in the folder stays.
    std::filesystem::create_directories(dir.file("a.b"));
    ASSERT_TRUE(ChooseCountingResultPaths(dir.file("a.b/img"), table, summary));
    EXPECT_EQ(table, dir.file("a.b/img.txt"));
}

TEST(CountingRun, NewFilesNeverReplaceOldOnes)
{
    TempDir dir;
    std::string error;
    EXPECT_TRUE(WriteNewTextFile(dir.file("r.txt"), "new", error));
    EXPECT_EQ(ReadFileBytes(dir.file("r.txt")), "new");
    EXPECT_FALSE(WriteNewTextFile(dir.file("r.txt"), "newer", error));
    EXPECT_EQ(ReadFileBytes(dir.file("r.txt")), "new");
    EXPECT_FALSE(WriteNewTextFile(dir.file("missing/r.txt"), "x", error));
    EXPECT_FALSE(error.empty());
    EXPECT_NE(error, "write failed");

    // A full disk: no file under any name, and the error says the write failed.
    platform::FailNextReplaceAt(platform::ReplaceFailurePoint::Write);
    EXPECT_FALSE(WriteNewTextFile(dir.file("s.txt"), std::string(5000, 's'), error));
    EXPECT_EQ(error, "write failed");
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(dir.path()))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"r.txt"});
    platform::FailNextReplaceAt(platform::ReplaceFailurePoint::None);
}

} // namespace
} // namespace vantelis::test
