#include "tools/projection/ProjectionBatchRun.h"

#include "ProjectionBatchFixture.h"

#include "Ostravo/LogError.h"
#include "analysis/ImageAnalysisRun.h"
#include "platform/Files.h"
#include "platform/SystemInfo.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

namespace vantelis::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

class RecordingObserver : public ProjectionBatchObserver
{
  public:
    void Status(const std::string &text) override { statuses.push_back(text); }
    void Failure(const std::string &message, bool isLogged) override
    {
        failures.push_back(message);
        logged.push_back(isLogged);
    }
    void CaptureLog(const std::string &path) override { log = path; }
    void OpenSummary(const std::string &path) override { opened.push_back(path); }

    std::vector<std::string> statuses, failures, opened;
    std::vector<bool> logged;
    std::string log;
};

platform::LocalTime StartTime(int second = 7)
{
    platform::LocalTime t;
    t.year = 2024;
    t.month = 3;
    t.day = 15;
    t.hour = 10;
    t.minute = 5;
    t.second = second;
    return t;
}

class ProjectionBatchRunTest : public ::testing::Test
{
  protected:
    ProjectionBatchRunTest()
    {
        m_inputs.folder = m_folder.Images();
        m_inputs.images = {"a.png", "b.png"};
        LoadProjectionParams(m_inputs.params, m_folder.m_data.file("LIB/Band.pa_params").c_str());
        m_inputs.params.left = 10;
        m_inputs.params.right = 49;
        m_inputs.params.top = 400;
        m_inputs.params.bottom = 599;
        EString error;
        EXPECT_TRUE(
            m_inputs.lp_curve.Load(25.0, m_folder.m_data.file("LIB/Medium.LP_curve_params").c_str(), error))
            << error.c_str();
        m_inputs.background_paths = {m_folder.Images() + "/bg1.png", m_folder.Images() + "/bg2.png"};
        m_inputs.lp_curve_name = "Medium";
        m_inputs.params_name = "Band";
        m_inputs.gd_conc_text = "25";
        m_inputs.lib_folder = m_folder.m_data.file("LIB");
        m_inputs.open_summary = true;
    }

    std::string RunFolder() const { return m_folder.Images() + "/20240315-1005-07"; }
    std::string File(const std::string &name) const { return ReadFileBytes(RunFolder() + "/" + name); }

    ProjectionBatchFolder m_folder;
    ProjectionBatchInputs m_inputs;
    RecordingObserver m_observer;
};

TEST_F(ProjectionBatchRunTest, WritesTheThreeFilesWithTheirHeadersAndFindsTheBands)
{
    ASSERT_TRUE(RunProjectionBatch(m_inputs, m_observer, StartTime()));
    EXPECT_TRUE(m_observer.failures.empty());
    EXPECT_THAT(m_observer.statuses, ElementsAre("Computing baseline.", "1 of 2", "2 of 2", ""));
    EXPECT_EQ(m_observer.log, m_folder.Images() + "/20240315-0930-05.log");
    const std::string analysisPath = RunFolder() + "/a.Analysis.txt";
    EXPECT_THAT(m_observer.opened, ElementsAre(analysisPath));
    // The inputs are copied beside the results.
    EXPECT_TRUE(platform::FileExists(RunFolder() + "/Medium.LP_curve_params"));
    EXPECT_TRUE(platform::FileExists(RunFolder() + "/Band.PA_params"));

    const std::string computer = "# ComputerName=" + platform::ComputerName();
    const std::vector<std::string> lines = SplitCrLf(File("a.Analysis.txt"));
    ASSERT_GE(lines.size(), 29u);
    const std::vector<std::string> head(lines.begin(), lines.begin() + 29);
    EXPECT_THAT(
        head,
        ElementsAre(
            computer, "#Vantelis_Version=1.2.3.4", computer, "#image_directory=" + m_folder.Images(),
            "#image_log_used=" + m_folder.Images() + "/20240315-0930-05.log",
            "# **** Magnet elevations in vertical pixels ****", "#lower_magnet=900", "#upper_magnet=100",
            "#LP_curve=Medium", "#Projection Analysis params file=Band", "#Gd_conc=25",
            "# *******************  ProjectionAnalysisParams ********************************",
            "# ROI left\t10", "# ROI right\t49", "# ROI top\t400", "# ROI bottom\t599",
            "# SmoothingWindowMicrons\t0.000", "# NumPeaks/ValleysToFind\t2", "# FindValleys\tFALSE",
            "# StdevIntegrationArea\t1.000", "# IntegrationSamples\t11", "# PixelsPerMM\t100.00",
            "# ROI_name\tLane", "", "#nbg_images=2", "ImageFile\tAvgIntensity", "#bg1.png\t1000",
            "#bg2.png\t1000", ::testing::StartsWith("image\tElapsedMin\tImageModifyTime\tframe_idx\t")));
    ASSERT_EQ(lines.size(), 31u);

    // The header names the first image's peaks; each data line carries its own image's.
    const std::vector<std::string> header = SplitTabs(lines[28]);
    const std::vector<std::string> a = SplitTabs(lines[29]);
    const std::vector<std::string> b = SplitTabs(lines[30]);
    EXPECT_EQ(lines[28].substr(0, lines[28].find("\tPeakAmplitude")),
              "image\tElapsedMin\tImageModifyTime\tframe_idx\tMeanIntROI\tMedianIntROI\tPct10IntROI\t"
              "Pump1SpeeULpMin\tPump2SpeedULpMin\tPump1VolUL\tPump2VolUL");
    ASSERT_EQ((header.size() - 11) % 7, 0u);
    for (size_t k = 1; 11 + 7 * k <= header.size(); ++k)
        EXPECT_EQ(header[11 + 7 * (k - 1)], "PeakAmplitude[" + std::to_string(k) + "]");
    EXPECT_EQ(header.size(), a.size());

    ASSERT_GE(a.size(), 18u);
    EXPECT_EQ(a[0], "a.png");
    EXPECT_EQ(a[1], "0.00");
    EXPECT_EQ(a[3], "1");
    EXPECT_EQ(a[6], "1000.0"); // the 10th percentile lies on the flat part
    EXPECT_THAT(std::vector<std::string>(a.begin() + 7, a.begin() + 11),
                ElementsAre("10.0", "20.0", "1.50", "2.50"));
    ASSERT_GE(b.size(), 25u);
    EXPECT_EQ(b[0], "b.png");
    EXPECT_EQ(b[1], "2.00");
    EXPECT_EQ(b[3], "2");
    EXPECT_THAT(std::vector<std::string>(b.begin() + 7, b.begin() + 11),
                ElementsAre("30.0", "40.0", "3.25", "4.75"));

    // The bands (the strong peaks; a weak one may be found on the flat part too), top first,
    // within a row of where the images put them: location = (900 - row) / 800.
    auto bandRows = [](const std::vector<std::string> &line) {
        std::vector<double> rows;
        for (size_t at = 11; at + 7 <= line.size(); at += 7) {
            EXPECT_THAT(line[at + 6], ::testing::AnyOf("TRUE", "FALSE"));
            if (std::stod(line[at]) > 0.5)
                rows.push_back(900.0 - 800.0 * std::stod(line[at + 2]));
        }
        return rows;
    };
    const std::vector<double> aRows = bandRows(a), bRows = bandRows(b);
    ASSERT_EQ(aRows.size(), 1u) << lines[29];
    EXPECT_NEAR(aRows[0], 450.0, 1.5) << lines[29];
    ASSERT_EQ(bRows.size(), 2u) << lines[30];
    EXPECT_NEAR(bRows[0], 430.0, 1.5) << lines[30];
    EXPECT_NEAR(bRows[1], 540.0, 1.5) << lines[30];
    // A peak's LP value is the curve's value at its height.
    for (size_t at = 11; at + 7 <= a.size(); at += 7)
        EXPECT_NEAR(std::stod(a[at + 3]), LPValueOfHeight(m_inputs.lp_curve, std::stod(a[at + 2])), 0.006);

    // Row profiles: row 500 lies half-way between the magnets, 1 mm up, half-way down the ROI,
    // on the flat part of both images.
    const std::vector<std::string> vertical = SplitCrLf(File("a.[vert_proj].txt"));
    ASSERT_EQ(vertical.size(), 3u + 200u);
    EXPECT_EQ(vertical[0], "#Vantelis_Version=1.2.3.4");
    EXPECT_EQ(vertical[1], computer);
    EXPECT_EQ(vertical[2], "iy_row\ty_fract\ty_mm\ty_ROI_fract\tLP\ta.png\tb.png");
    const std::vector<std::string> row500 = SplitTabs(vertical[3 + 100]);
    EXPECT_THAT(std::vector<std::string>(row500.begin(), row500.begin() + 4),
                ElementsAre("500", "0.5000", "1.0000", "0.5000"));
    EXPECT_EQ(row500[5], "1000");
    EXPECT_EQ(row500[6], "1000");
    const std::vector<std::string> row450 = SplitTabs(vertical[3 + 50]);
    EXPECT_EQ(row450[0], "450");
    EXPECT_EQ(row450[5], "1600");

    const std::vector<std::string> horizontal = SplitCrLf(File("a.[horz_proj].txt"));
    ASSERT_EQ(horizontal.size(), 3u + 40u);
    EXPECT_EQ(horizontal[2], "ix\ta.png\tb.png");
    EXPECT_THAT(SplitTabs(horizontal[3])[0], "10");
    EXPECT_THAT(SplitTabs(horizontal.back())[0], "49");
}

// Each refusal ends the run before it makes its folder, with the text the user sees.
TEST_F(ProjectionBatchRunTest, RefusesMissingCalibrationAndBadInputs)
{
    const std::string settings = m_folder.SettingsFile();
    struct Case
    {
        const char *what;
        std::string calibration; // the folder's [CalibrationSettings]; empty: no settings file
        bool backgrounds;
        int32_t top; // the ROI's top row
        std::string message;
    } cases[] = {
        {"no background", kBatchCalibration, false, 400, "Must select one or more backgroud images."},
        {"no settings file", "", true, 400, "Missing file: "},
        {"no scale", "UpperMagnet=100\r\nLowerMagnet=900\r\n", true, 400,
         "Missing or invalid CalibrationSettings] image_pixels_per_mm in file: " + settings},
        {"zero scale", "image_pixels_per_mm=0\r\nUpperMagnet=100\r\nLowerMagnet=900\r\n", true, 400,
         "Missing or invalid CalibrationSettings] image_pixels_per_mm in file: " + settings},
        {"ROI too small", kBatchCalibration, true, 580,
         "ROI is invalid, must be at least 30x30 and all numbers positive integers."},
        {"no upper magnet", "image_pixels_per_mm=100\r\nLowerMagnet=900\r\n", true, 400,
         "missing [CalibrationSettings] UpperMagnet from file " + settings},
        {"no lower magnet", "image_pixels_per_mm=100\r\nUpperMagnet=100\r\nLowerMagnet=x\r\n", true, 400,
         "missing [CalibrationSettings] LowerMagnet from file " + settings},
        {"equal magnets", "image_pixels_per_mm=100\r\nUpperMagnet=500\r\nLowerMagnet=500\r\n", true, 400,
         "[CalibrationSettings] UpperMagnet and LowerMagnet must not be equal (both 500) in file " +
             settings},
    };
    for (const Case &c : cases) {
        std::filesystem::remove(settings);
        if (!c.calibration.empty())
            m_folder.WriteSettings(c.calibration);
        ProjectionBatchInputs inputs = m_inputs;
        if (!c.backgrounds)
            inputs.background_paths.clear();
        inputs.params.top = c.top;
        RecordingObserver observer;
        EXPECT_FALSE(RunProjectionBatch(inputs, observer, StartTime())) << c.what;
        EXPECT_THAT(observer.failures, ElementsAre(c.message)) << c.what;
        EXPECT_THAT(observer.logged, ElementsAre(true)) << c.what;
        EXPECT_EQ(observer.statuses.back(), "") << c.what;
        EXPECT_TRUE(m_folder.RunFolders().empty()) << c.what;
        EXPECT_TRUE(observer.opened.empty()) << c.what;
    }
}

TEST_F(ProjectionBatchRunTest, AnImageThatCannotBeLoadedIsNotedAndTheNextOneCountsFirst)
{
    WriteFileBytes(m_folder.Images() + "/broken.png", "not an image");
    m_inputs.images = {"broken.png", "b.png"};
    ASSERT_TRUE(RunProjectionBatch(m_inputs, m_observer, StartTime()));
    const std::vector<std::string> lines = SplitCrLf(File("broken.Analysis.txt"));
    ASSERT_EQ(lines.size(), 31u);
    EXPECT_EQ(lines[28], "Problem trying to load image: " + m_folder.Images() + "/broken.png");
    EXPECT_THAT(lines[29], StartsWith("image\tElapsedMin\t"));
    const std::vector<std::string> b = SplitTabs(lines[30]);
    EXPECT_EQ(b[0], "b.png");
    EXPECT_EQ(b[3], "1");
    // Elapsed minutes count from the log's first row, whichever image is the reference.
    EXPECT_EQ(b[1], "2.00");
    // The profiles follow the first image, which has none.
    EXPECT_EQ(SplitCrLf(File("broken.[vert_proj].txt")).size(), 3u);
    EXPECT_EQ(SplitCrLf(File("broken.[horz_proj].txt")).size(), 3u);
}

TEST_F(ProjectionBatchRunTest, ARunInTheSameSecondFindsItsFolderTaken)
{
    ASSERT_TRUE(RunProjectionBatch(m_inputs, m_observer, StartTime()));
    RecordingObserver second;
    EXPECT_FALSE(RunProjectionBatch(m_inputs, second, StartTime()));
    EXPECT_THAT(second.failures, ElementsAre("Unable to create directory: " + RunFolder()));
    EXPECT_THAT(second.logged, ElementsAre(false));
}

// A results file that cannot be written is reported with its path; the others are still written.
TEST_F(ProjectionBatchRunTest, AFailedWriteIsReported)
{
    m_inputs.open_summary = false;
    // Without parameter files to copy, the files written whole are the fit file of each image,
    // then the row profile.
    m_inputs.lp_curve_name.clear();
    m_inputs.params_name.clear();
    platform::FailNextReplaceAt(platform::ReplaceFailurePoint::Create, unsigned(m_inputs.images.size()));
    EXPECT_FALSE(RunProjectionBatch(m_inputs, m_observer, StartTime()));
    platform::FailNextReplaceAt(platform::ReplaceFailurePoint::None);
    EXPECT_THAT(m_observer.failures, ElementsAre("Can't create ouput file for analysis run: " + RunFolder() +
                                                 "/a.[vert_proj].txt"));
    EXPECT_FALSE(platform::FileExists(RunFolder() + "/a.[vert_proj].txt"));
    EXPECT_TRUE(platform::FileExists(RunFolder() + "/a.[smoothed_vert_proj].txt"));
    EXPECT_TRUE(platform::FileExists(RunFolder() + "/a.[horz_proj].txt"));
    EXPECT_TRUE(platform::FileExists(RunFolder() + "/a.Analysis.txt"));
}

TEST(ProjectionBatchGeometry, HeightFractionRunsFromTheLowerToTheUpperMagnet)
{
    EXPECT_DOUBLE_EQ(MagnetHeightFraction(900, 100, 900), 0.0);
    EXPECT_DOUBLE_EQ(MagnetHeightFraction(100, 100, 900), 1.0);
    EXPECT_DOUBLE_EQ(MagnetHeightFraction(500, 100, 900), 0.5);
    platform::LocalTime t = StartTime(3);
    EXPECT_EQ(MakeProjectionRunFolder("/data/img", t), "/data/img/20240315-1005-03");
}

} // namespace
} // namespace vantelis::test
