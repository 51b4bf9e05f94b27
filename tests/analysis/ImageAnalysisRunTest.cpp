#include "analysis/ImageAnalysisRun.h"
#include "JobWait.h"

#include "Ostravo/LogError.h"
#include "analysis/ImageAnalysisJob.h"
#include "analysis/IntensityProfile.h"
#include "app/PlexorinApp.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/SystemInfo.h"
#include "support/FakeUi.h"
#include "support/TempDir.h"

#include <chrono>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <opencv2/imgcodecs.hpp>
#include <sched.h>
#include <sstream>
#include <string>
#include <sys/time.h>
#include <thread>
#include <vector>

namespace {

using vantelis::test::WaitForJob;

using vantelis::test::ReadFileBytes;
using vantelis::test::ScopedFakeUi;
using vantelis::test::TempDir;
using vantelis::test::WriteFileBytes;

// ---- The batch fixture (make_batch_golden.py derives the golden files from the same numbers) ----
constexpr int kCols = 160, kRows = 140;
constexpr uint16_t kBackground = 1000, kDisc = 3000, kRing = 100, kBackgroundFile = 200;
constexpr int kUpperMagnet = 20, kLowerMagnet = 120;

struct FixtureImage
{
    const char *name;
    std::vector<cv::Point> discs; // radius 6: dx^2 + dy^2 <= 36
    std::vector<cv::Point> rings; // square outlines 21 pixels wide, for the epi counting
    int hour, minute, second;     // capture time, also the file's modification time
    const char *pumps;            // the four pump columns of the capture log
};

const std::vector<FixtureImage> &FixtureImages()
{
    static const std::vector<FixtureImage> images = {
        {"Run_0001_BF_1.png", {{40, 50}, {100, 90}}, {{130, 40}}, 10, 0, 0, "10.5\t20.0\t1.25\t2.50"},
        {"Run_0002_BF_1.png", {{70, 70}}, {{30, 105}}, 10, 1, 30, "11.0\t21.0\t17.75\t34.00"},
        {"Run_0003_BF_1.png",
         {{30, 40}, {80, 60}, {120, 100}},
         {{60, 105}, {125, 30}},
         10,
         3,
         0,
         "12.5\t22.5\t35.00\t66.25"},
    };
    return images;
}

cv::Mat FixtureMat(const FixtureImage &fixture)
{
    cv::Mat image(kRows, kCols, CV_16UC1, cv::Scalar(kBackground));
    for (const cv::Point &c : fixture.discs)
        for (int y = c.y - 6; y <= c.y + 6; ++y)
            for (int x = c.x - 6; x <= c.x + 6; ++x)
                if ((x - c.x) * (x - c.x) + (y - c.y) * (y - c.y) <= 36)
                    image.at<uint16_t>(y, x) = kDisc;
    for (const cv::Point &c : fixture.rings)
        for (int y = c.y - 10; y <= c.y + 10; ++y)
            for (int x = c.x - 10; x <= c.x + 10; ++x)
                if (std::max(std::abs(x - c.x), std::abs(y - c.y)) == 10)
                    image.at<uint16_t>(y, x) = kRing;
    return image;
}

void SetModificationTime(const std::string &path, int hour, int minute, int second)
{
    std::tm local{};
    local.tm_year = 2024 - 1900;
    local.tm_mon = 2;
    local.tm_mday = 5;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    const time_t when = std::mktime(&local);
    const struct timeval times[2] = {{when, 0}, {when, 0}};
    ASSERT_EQ(::utimes(path.c_str(), times), 0) << path;
}

std::string CountingParamsText()
{
    return "[CountingAlgorithmDlg]\r\nEdgeProcessing=FALSE\r\nMFilter1=TRUE\r\nCFilter1=TRUE\r\nMFilter2="
           "FALSE\r\n"
           "CFilter2=FALSE\r\nObjectRadius1=6\r\nObjectRadiusSweep1=0\r\nMFilterSamples1=12\r\n"
           "MFilterThreshold1=2000\r\nCFilterThreshold1=500\r\nCFilterMinSize1=1\r\nUseInnerRing1=FALSE\r\n"
           "ProximityFilteringWithinType1=TRUE\r\nProximityFilteringBetweenType1_2=FALSE\r\n"
           "Left=10\r\nRight=149\r\nTop=10\r\nBottom=129\r\n";
}

std::string EpiParamsText(int minSize = 20)
{
    return "[EpiCellCountingAlgoDlg]\r\nUseBgImageIfAvail=TRUE\r\nDarkPct0=0.001\r\nDarkPct1=0.002\r\n"
           "MinPixelCount=30\r\nMinSize=" +
           std::to_string(minSize) + "\r\nMaxRatio=0.35\r\nLeft=10\r\nRight=149\r\nTop=10\r\nBottom=129\r\n";
}

std::string LPCurveText()
{
    return "[LPCurveParams]\r\nChiGd_factor=0.001\r\nrhobuffer=1.0\r\nmunot=100\r\ng=10\r\ncubic=1\r\nsquare="
           "1\r\n"
           "linear=1\r\nconstant=1\r\nmag_gap=2\r\nChiPar=0.5\r\n";
}

std::string CaptureLogText()
{
    std::string text =
        "# capture log\r\nImageFile\tDate\tTime\tExposure(us)\tStatus\tError\tIllumChan\t"
        "Pump1ValvePos\tPump2ValvePos\tPump1SpeedULpMin\tPump2SpeedULpMin\tPump1VolUL\tPump2VolUL\r\n";
    for (const FixtureImage &image : FixtureImages()) {
        char time[32];
        std::snprintf(time, sizeof time, "%02d:%02d:%02d.000", image.hour, image.minute, image.second);
        text += std::string(image.name) + "\t2024/03/05\t" + time + "\t500\tOK\t0\t1\t1\t1\t" + image.pumps +
                "\r\n";
    }
    return text;
}

std::vector<std::string> Lines(const std::string &bytes)
{
    std::vector<std::string> lines;
    std::istringstream in(bytes);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

bool EveryLineEndsInCrLf(const std::string &bytes)
{
    for (size_t i = 0; i < bytes.size(); ++i)
        if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r'))
            return false;
    return !bytes.empty() && bytes.back() == '\n';
}

// What differs between machines and moments: the computer name, the version and the folder.
std::string Mask(std::string line, const std::string &folder)
{
    for (const char *prefix : {"# ComputerName=", "#Vantelis_Version=", "Vantelis\tVersion\t"})
        if (line.rfind(prefix, 0) == 0)
            return std::string(prefix) + "*";
    for (size_t at; (at = line.find(folder)) != std::string::npos;)
        line.replace(at, folder.size(), "<DIR>");
    return line;
}

std::string GoldenFolder()
{
    return (std::filesystem::path(VANTELIS_SOURCE_DIR) / "tests" / "analysis" / "golden" / "batch").string();
}

class ImageAnalysisRunTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        m_savedIni = theApp.m_ini_path;
        SetLogDataDirectory(m_dir.str().c_str());
        theApp.m_ini_path = m_dir.file("Plexorin.ini");
        WriteFileBytes(theApp.m_ini_path, "[CalibrationSettings]\r\nimage_pixels_per_mm=1000\r\n");
        std::filesystem::create_directory(m_dir.file("LIB"));
        m_images = m_dir.file("images");
        std::filesystem::create_directory(m_images);
        m_cir = m_dir.file("LIB/disc.counting_params");
        m_epi = m_dir.file("LIB/ring.epi_counting_params");
        m_lp = m_dir.file("LIB/medium.LP_curve_params");
        WriteFileBytes(m_cir, CountingParamsText());
        WriteFileBytes(m_epi, EpiParamsText());
        WriteFileBytes(m_lp, LPCurveText());
        platform::LocalTime now;
        now.year = 2024;
        now.month = 3;
        now.day = 5;
        now.hour = 11;
        platform::SetFakeClock(now);
    }
    void TearDown() override
    {
        platform::ClearFakeClock();
        theApp.m_ini_path = m_savedIni;
        SetLogDataDirectory("");
    }

    void WriteFixtureFolder()
    {
        for (const FixtureImage &fixture : FixtureImages()) {
            const std::string path = m_images + "/" + fixture.name;
            ASSERT_TRUE(cv::imwrite(path, FixtureMat(fixture)));
            SetModificationTime(path, fixture.hour, fixture.minute, fixture.second);
        }
        ASSERT_TRUE(cv::imwrite(m_images + "/BF.bg.tif",
                                cv::Mat(kRows, kCols, CV_16UC1, cv::Scalar(kBackgroundFile))));
        WriteFileBytes(m_images + "/20240305-1000-00.log", CaptureLogText());
    }

    // The run folder of a run started at the fake clock's time.
    std::string RunFolder() const { return m_images + "/20240305-1100-00"; }

    // Runs the fixture folder as a script does and compares every file with the golden one.
    void RunAndExpectTheGoldenFolder()
    {
        WriteFixtureFolder();
        int32_t handle = 0;
        EString error;
        ASSERT_TRUE(RunImageAnalysisTool(m_images.c_str(), m_cir.c_str(), m_epi.c_str(), m_lp.c_str(), 100.0,
                                         "*.png", kUpperMagnet, kLowerMagnet, handle, error, false))
            << error.c_str();
        const ImageAnalysisJobState state = WaitForJob(handle);
        EXPECT_EQ(state.status, "Finished");
        EXPECT_FALSE(state.failed);

        ImageAnalysisResultFiles files;
        ASSERT_TRUE(ImageAnalysisJobTable::GetFiles(handle, files));
        const std::string base = RunFolder() + "/Run_0001_BF_1";
        EXPECT_EQ(files.analysis_file, base + ".Analysis.txt");
        EXPECT_EQ(files.vertical_projection_file, base + ".[vert_proj].txt");
        EXPECT_EQ(files.horizontal_projection_file, base + ".[horz_proj].txt");
        EXPECT_EQ(files.image_log_file, m_images + "/20240305-1000-00.log");

        ExpectGolden(files.analysis_file, "Run_0001_BF_1.Analysis.txt");
        ExpectGolden(files.vertical_projection_file, "Run_0001_BF_1.[vert_proj].txt");
        ExpectGolden(files.horizontal_projection_file, "Run_0001_BF_1.[horz_proj].txt");
        for (const char *name : {"Run_0001_BF_1.txt", "Run_0002_BF_1.txt", "Run_0003_BF_1.txt"})
            ExpectGolden(RunFolder() + "/" + name, name);
        EXPECT_TRUE(m_ui->Messages().empty());

        EString removeError;
        EXPECT_TRUE(ImageAnalysisJobTable::Remove(handle, removeError)) << removeError.c_str();
    }

    void ExpectGolden(const std::string &actualPath, const std::string &goldenName)
    {
        SCOPED_TRACE(goldenName);
        ASSERT_TRUE(platform::FileExists(actualPath)) << actualPath;
        const std::string bytes = ReadFileBytes(actualPath);
        EXPECT_TRUE(EveryLineEndsInCrLf(bytes));
        const std::vector<std::string> actual = Lines(bytes);
        const std::vector<std::string> golden = Lines(ReadFileBytes(GoldenFolder() + "/" + goldenName));
        ASSERT_FALSE(golden.empty());
        for (size_t i = 0; i < std::max(actual.size(), golden.size()); ++i) {
            const std::string a = i < actual.size() ? Mask(actual[i], m_images) : "<missing>";
            const std::string g = i < golden.size() ? golden[i] : "<missing>";
            ASSERT_EQ(a, g) << "line " << i + 1;
        }
    }

    TempDir m_dir;
    ScopedFakeUi m_ui;
    std::string m_savedIni;
    std::string m_images, m_cir, m_epi, m_lp;
};

TEST_F(ImageAnalysisRunTest, ScriptRunWritesTheGoldenRunFolder)
{
    RunAndExpectTheGoldenFolder();
}

TEST_F(ImageAnalysisRunTest, OnOneProcessorTheRunFolderIsTheSame)
{
    // With one usable processor the frames are analysed by one thread (or by the run itself);
    // the files are those of the golden run all the same.
    cpu_set_t saved;
    ASSERT_EQ(sched_getaffinity(0, sizeof(saved), &saved), 0);
    struct RestoreAffinity
    {
        cpu_set_t mask;
        ~RestoreAffinity() { sched_setaffinity(0, sizeof(mask), &mask); }
    } restore{saved};
    cpu_set_t one;
    CPU_ZERO(&one);
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
        if (CPU_ISSET(cpu, &saved)) {
            CPU_SET(cpu, &one);
            break;
        }
    ASSERT_EQ(sched_setaffinity(0, sizeof(one), &one), 0);
    EXPECT_EQ(platform::UsableProcessorCount(), 1u);
    RunAndExpectTheGoldenFolder();
}

TEST_F(ImageAnalysisRunTest, EpiOnlyRunWritesTheRadiusInMicrometres)
{
    WriteFixtureFolder();
    int32_t handle = 0;
    EString error;
    ASSERT_TRUE(RunImageAnalysisTool(m_images.c_str(), "", m_epi.c_str(), "", 0.0, "Run_0002*.png",
                                     kUpperMagnet, kLowerMagnet, handle, error, false))
        << error.c_str();
    EXPECT_EQ(WaitForJob(handle).status, "Finished");
    // Ring of 21 pixels: radius 21 / 3 = 7 pixels = 7 um at 1000 pixels per mm; its centre (30, 105)
    // lies (120 - 105) / 100 = 0.15 of the way up. Without an LP curve there is no LP column.
    const std::vector<std::string> lines = Lines(ReadFileBytes(RunFolder() + "/Run_0002_BF_1.txt"));
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "type_name\tidx\tix\tiy\theight\tradius(um)");
    EXPECT_EQ(lines.back(), "epi_1\t0\t30\t105\t0.150\t7.0");
}

struct ToolCase
{
    const char *label;
    std::string dir, cir, epi, lp;
    double gd;
    std::string pattern;
    int32_t upper, lower;
    std::string expected; // empty: accepted
};

TEST_F(ImageAnalysisRunTest, RunImageAnalysisToolRefusesBadArgumentsAndValidatesOnly)
{
    WriteFixtureFolder();
    const std::string onlyFolders = m_dir.file("only_folders");
    std::filesystem::create_directories(onlyFolders + "/a.png");
    const std::string badEpi = m_dir.file("LIB/bad.epi_counting_params");
    WriteFileBytes(badEpi, EpiParamsText(2));
    const std::string missing = m_dir.file("LIB/missing.params");
    const std::string I = m_images, C = m_cir, E = m_epi, L = m_lp;
    const std::vector<ToolCase> cases = {
        {"no folder", m_dir.file("nowhere"), C, "", "", 0, "*.png", 20, 120,
         "RunImageAnalysisTool() - invalid image_dir: " + m_dir.file("nowhere")},
        {"nothing matches", I, C, "", "", 0, "*.xyz", 20, 120,
         "RunImageAnalysisTool() - invalid image_dir: " + I},
        {"only folders match", onlyFolders, C, "", "", 0, "*.png", 20, 120,
         "RunImageAnalysisTool() - no images found mathing spec: *.png in dir: " + onlyFolders},
        {"circular file missing", I, missing, "", "", 0, "*.png", 20, 120,
         "RunImageAnalysisTool() - Circular algo params file: " + missing + " does not exist"},
        {"epi file missing", I, "", missing, "", 0, "*.png", 20, 120,
         "Epi algo params file: " + missing + " does not exist"},
        {"epi set invalid", I, "", badEpi, "", 0, "*.png", 20, 120,
         "Min pixel size must be an integer between 5 and 150\n"},
        {"no algorithm", I, "", "", "", 0, "*.png", 20, 120,
         "RunImageAnalysisTool() - Either cir_params or epi_params must be specified."},
        {"upper magnet too high up", I, C, "", "", 0, "*.png", -3001, 120, "upper_magnet must be >= -3000"},
        {"upper magnet at its limit", I, C, "", "", 0, "*.png", -3000, 0, ""},
        {"lower magnet negative", I, C, "", "", 0, "*.png", 20, -1, "lower_magnet must be >= 0"},
        {"equal magnets", I, C, "", "", 0, "*.png", 70, 70,
         "upper_magnet and lower_magnet must not be equal"},
        {"Gd at the low limit", I, C, "", L, 0.001, "*.png", 20, 120,
         "Gd_conc must be between 0.001 and 1000 mM"},
        {"Gd at the high limit", I, C, "", L, 1000, "*.png", 20, 120,
         "Gd_conc must be between 0.001 and 1000 mM"},
        {"Gd just inside", I, C, "", L, 0.0011, "*.png", 20, 120, ""},
        {"Gd unchecked without a curve", I, C, "", "", 0, "*.png", 20, 120, ""},
        {"curve file missing", I, C, "", missing, 100, "*.png", 20, 120, "Missing file: " + missing + "\n"},
        {"both algorithms and a curve", I, C, E, L, 100, "*.png", 20, 120, ""},
    };
    const int32_t lastHandle = ImageAnalysisJobTable::LastImageAnalysisJobId();
    for (const ToolCase &c : cases) {
        SCOPED_TRACE(c.label);
        int32_t handle = -7;
        EString error;
        const bool ok = RunImageAnalysisTool(c.dir.c_str(), c.cir.c_str(), c.epi.c_str(), c.lp.c_str(), c.gd,
                                             c.pattern.c_str(), c.upper, c.lower, handle, error, true);
        EXPECT_EQ(ok, c.expected.empty());
        EXPECT_EQ(std::string(error.c_str()), c.expected);
        EXPECT_EQ(handle, -7); // no job, no handle
    }
    // The Gd message is appended to what the text held; the others replace it.
    EString error("earlier: ");
    int32_t handle = 0;
    EXPECT_FALSE(RunImageAnalysisTool(I.c_str(), C.c_str(), "", L.c_str(), 0.0, "*.png", 20, 120, handle,
                                      error, true));
    EXPECT_STREQ(error.c_str(), "earlier: Gd_conc must be between 0.001 and 1000 mM");
    error.Assign("earlier: ");
    EXPECT_FALSE(RunImageAnalysisTool(I.c_str(), "", "", "", 0.0, "*.png", 20, 120, handle, error, true));
    EXPECT_STREQ(error.c_str(),
                 "RunImageAnalysisTool() - Either cir_params or epi_params must be specified.");

    EXPECT_EQ(ImageAnalysisJobTable::LastImageAnalysisJobId(), lastHandle);
    EXPECT_FALSE(std::filesystem::exists(RunFolder()));
}

TEST(RoiStatistics, OnePassMeasuresEqualTheSeparateOnes)
{
    // Noise over the whole 16-bit range, with a background that is sometimes brighter than the
    // image (negative differences): each measure equals the one its own function takes.
    cv::Mat image(61, 77, CV_16UC1), background(61, 77, CV_16UC1);
    cv::RNG rng(7);
    rng.fill(image, cv::RNG::UNIFORM, 0, 65536);
    rng.fill(background, cv::RNG::UNIFORM, 0, 40000);
    const std::vector<double> fractions = {0.5, 0.1, 0.99};
    struct Region
    {
        int32_t left, top, right, bottom;
    };
    for (const Region &r :
         {Region{0, 0, 76, 60}, Region{5, 7, 40, 30}, Region{76, 60, 76, 60}, Region{3, 9, 3, 50}}) {
        for (const cv::Mat *bg : std::initializer_list<const cv::Mat *>{nullptr, &background}) {
            SCOPED_TRACE(::testing::Message() << r.left << "," << r.top << "," << r.right << "," << r.bottom
                                              << (bg ? " with background" : ""));
            RegionMeasures m;
            ASSERT_TRUE(MeasureRegion(image, r.left, r.top, r.right, r.bottom, bg, fractions, m));
            std::vector<int32_t> vertical, horizontal;
            ASSERT_TRUE(ComputeVerticalProjection(image, r.left, r.top, r.right, r.bottom, vertical, bg));
            ASSERT_TRUE(ComputeHorizontalProjection(image, r.left, r.top, r.right, r.bottom, horizontal, bg));
            EXPECT_EQ(m.vertical, vertical);
            EXPECT_EQ(m.horizontal, horizontal);
            EXPECT_EQ(m.mean, RoiMeanIntensity(image, r.left, r.top, r.right, r.bottom));
            std::vector<double> levels(fractions.size(), 0.0);
            EXPECT_TRUE(RoiPercentiles(image, r.left, r.top, r.right, r.bottom, fractions, levels));
            EXPECT_EQ(m.levels, levels);
        }
    }

    // What a projection refuses is refused here too.
    RegionMeasures m;
    EXPECT_FALSE(MeasureRegion(image, 0, 0, 77, 60, nullptr, fractions, m));
    EXPECT_FALSE(MeasureRegion(image, 10, 0, 9, 60, nullptr, fractions, m));
    EXPECT_FALSE(MeasureRegion(image, -1, 0, 9, 60, nullptr, fractions, m));
    const cv::Mat small(60, 77, CV_16UC1, cv::Scalar(0));
    EXPECT_FALSE(MeasureRegion(image, 0, 0, 9, 9, &small, fractions, m));
    const cv::Mat eightBit(61, 77, CV_8UC1, cv::Scalar(0));
    EXPECT_FALSE(MeasureRegion(eightBit, 0, 0, 9, 9, nullptr, fractions, m));
}

TEST(RoiStatistics, MeanAndPercentiles)
{
    // Row 0 is black, row r of the others holds r x 100: 10 % of the pixels are 0.
    cv::Mat image(10, 10, CV_16UC1);
    for (int r = 0; r < 10; ++r)
        image.row(r).setTo(r * 100);
    EXPECT_DOUBLE_EQ(RoiMeanIntensity(image, 0, 0, 9, 9), 450.0);
    std::vector<double> levels = {0.0, 0.0};
    EXPECT_TRUE(RoiPercentiles(image, 0, 0, 9, 9, {0.5, 0.1}, levels));
    EXPECT_EQ(levels, (std::vector<double>{400.0, 0.0}));

    // Rows 2..3, columns 5..9 (inclusive): 200 and 300.
    EXPECT_DOUBLE_EQ(RoiMeanIntensity(image, 5, 2, 9, 3), 250.0);

    // Thresholds round halves away from zero: 5 pixels, 0.5 -> 3rd, 0.3 -> 2nd (1.5 -> 2).
    cv::Mat five = (cv::Mat_<uint16_t>(1, 5) << 10, 20, 30, 40, 50);
    levels.assign(2, 0.0);
    EXPECT_TRUE(RoiPercentiles(five, 0, 0, 4, 0, {0.5, 0.3}, levels));
    EXPECT_EQ(levels, (std::vector<double>{30.0, 20.0}));

    // Full 16-bit range without overflow.
    cv::Mat bright(300, 300, CV_16UC1, cv::Scalar(65535));
    EXPECT_DOUBLE_EQ(RoiMeanIntensity(bright, 0, 0, 299, 299), 65535.0);

    // An empty region: no mean, every fraction at level 0.
    EXPECT_TRUE(std::isnan(RoiMeanIntensity(image, 5, 5, 4, 9)));
    levels.assign(2, -1.0);
    EXPECT_TRUE(RoiPercentiles(image, 5, 5, 4, 9, {0.5, 0.1}, levels));
    EXPECT_EQ(levels, (std::vector<double>{0.0, 0.0}));

    // A region reaching past the image reads only the pixels inside it (rows 8 and 9).
    EXPECT_DOUBLE_EQ(RoiMeanIntensity(image, 0, 8, 20, 20), 850.0);
}

TEST(LowLevelCountingFile, NumbersOnAndNeverOverwrites)
{
    TempDir dir;
    const std::string folder = dir.str();
    std::vector<std::vector<CellDetection>> lists(3);
    CellDetection d;
    d.x = 12;
    d.y = 45;
    d.radius = 4.0f;
    lists[0].push_back(d);
    const std::vector<std::string> names = {"cir_1", "cir_2", "epi_1"};
    const LPCurveParams noCurve;
    const ImageFileTime time{2023, 12, 31, 23, 59, 58};

    // The first file: its name, no LP column; the heights between magnets 20 (top) and 120.
    std::string written;
    EString error;
    ASSERT_TRUE(WriteLowLevelCountingData(folder, "/data/images/img_7.png", time, {0.75, 0, 0}, {0.125, 0, 0},
                                          names, lists, 120, 20, noCurve, 500.0, &written, &error))
        << error.c_str();
    EXPECT_EQ(written, folder + "/img_7.txt");
    const std::vector<std::string> lines = Lines(ReadFileBytes(written));
    ASSERT_EQ(lines.size(), 5u + 30u + 2u);
    EXPECT_EQ(lines[0], "# **** Low level counting data ****");
    EXPECT_EQ(lines[3], "#image_file=/data/images/img_7.png");
    EXPECT_EQ(lines[4], "#image_timestamp=20231231-2359-58");
    EXPECT_EQ(lines[5], "#particle_count[cir_1]=1");
    EXPECT_EQ(lines[6], "#particle_height_mean[cir_1]=0.750");
    EXPECT_EQ(lines[7], "#particle_height_stdev[cir_1]=0.1250");
    EXPECT_EQ(lines[8], "#particle_count[cir_2]=0");
    EXPECT_EQ(lines[32], "#particle_count[not_used]=0");
    EXPECT_EQ(lines[35], "type_name\tidx\tix\tiy\theight\tradius(um)");
    // 4 pixels at 500 pixels per mm are 8 um; (120 - 45) / 100 = 0.75.
    EXPECT_EQ(lines[36], "cir_1\t0\t12\t45\t0.750\t8.0");

    // Names up to [100] taken: the next run numbers on, and no earlier file changes.
    WriteFileBytes(folder + "/img_7[1].txt", "one");
    for (int n = 2; n <= 100; ++n)
        WriteFileBytes(folder + "/img_7[" + std::to_string(n) + "].txt", "kept");
    ASSERT_TRUE(WriteLowLevelCountingData(folder, "/data/images/img_7.png", time, {0.75, 0, 0}, {0.125, 0, 0},
                                          names, lists, 120, 20, noCurve, 500.0, &written, &error));
    EXPECT_EQ(written, folder + "/img_7[101].txt");
    EXPECT_EQ(ReadFileBytes(folder + "/img_7[1].txt"), "one");
    EXPECT_EQ(ReadFileBytes(folder + "/img_7[100].txt"), "kept");
    EXPECT_EQ(Lines(ReadFileBytes(folder + "/img_7.txt")), lines);

    // A folder that does not exist gives no file and says so.
    EXPECT_FALSE(WriteLowLevelCountingData(folder + "/nowhere", "img_7.png", time, {0, 0, 0}, {0, 0, 0},
                                           names, lists, 120, 20, noCurve, 500.0, &written, &error));
    EXPECT_EQ(std::string(error.c_str()),
              "Can't create low level counting file: " + folder + "/nowhere/img_7.txt");

    // A full disk or a failing rename: no file under any name, and the text says the write failed.
    for (platform::ReplaceFailurePoint point :
         {platform::ReplaceFailurePoint::Write, platform::ReplaceFailurePoint::Rename}) {
        platform::FailNextReplaceAt(point);
        EXPECT_FALSE(WriteLowLevelCountingData(folder, "img_8.png", time, {0, 0, 0}, {0, 0, 0}, names, lists,
                                               120, 20, noCurve, 500.0, &written, &error));
        EXPECT_EQ(std::string(error.c_str()),
                  "Can't write low level counting file: " + folder + "/img_8.txt");
        for (const auto &entry : std::filesystem::directory_iterator(folder))
            EXPECT_EQ(entry.path().filename().string().find("img_8"), std::string::npos) << entry.path();
    }
    platform::FailNextReplaceAt(platform::ReplaceFailurePoint::None);
}

// A tool window as the run sees it: stops after a given number of images.
class FakeOwner : public ImageAnalysisRunOwner
{
  public:
    explicit FakeOwner(int imagesBeforeStop) : m_left(imagesBeforeStop) {}
    bool StopRequested() override { return m_left-- <= 0; }
    void SetStatusText(const std::string &text) override { statuses.push_back(text); }
    bool OpenSummaryChecked() override { return false; }
    void EnableControls() override { ++enabled; }
    void WriteAnalysisParamsHeader(std::vector<std::string> &header, const std::string &runFolder) override
    {
        header.push_back("#copied parameters into " + runFolder);
    }

    std::vector<std::string> statuses;
    int enabled = 0;

  private:
    int m_left;
};

std::unique_ptr<ImageAnalysisRunParams> RecordFor(const std::string &folder,
                                                  const std::vector<std::string> &names)
{
    auto run = std::make_unique<ImageAnalysisRunParams>();
    run->image_folder.Assign(folder.c_str());
    run->image_files = names;
    run->upper_magnet = kUpperMagnet;
    run->lower_magnet = kLowerMagnet;
    run->counting_options.pixels_per_mm = 1000.0;
    run->counting_options.left = 10;
    run->counting_options.top = 10;
    run->counting_options.right = 149;
    run->counting_options.bottom = 129;
    run->counting_options.morph_filter[0] = run->counting_options.count_filter[0] = true;
    run->counting_options.object_radius[0] = 6.0;
    run->counting_options.morph_samples[0] = 12;
    run->counting_options.morph_threshold[0] = 2000;
    run->counting_options.count_threshold[0] = 500;
    run->counting_options.edge_processing = false;
    run->counting_options.enabled = true;
    return run;
}

TEST_F(ImageAnalysisRunTest, StoppingAfterOneImageStillWritesTheResultsSoFar)
{
    WriteFixtureFolder();
    const std::vector<std::string> names = {FixtureImages()[0].name, FixtureImages()[1].name,
                                            FixtureImages()[2].name};
    for (int before : {1, 0}) {
        SCOPED_TRACE(before);
        std::filesystem::remove_all(RunFolder());
        auto run = RecordFor(m_images, names);
        FakeOwner owner(before);
        run->owner = &owner;
        EXPECT_EQ(ImageAnalysisThreadProc(run.get()), 0u);
        EXPECT_EQ(run->Status(), "Finished");
        EXPECT_TRUE(run->IsFinished());
        EXPECT_EQ(owner.enabled, 1);
        ASSERT_FALSE(owner.statuses.empty());
        EXPECT_EQ(owner.statuses.back(), "");

        const std::vector<std::string> summary = Lines(ReadFileBytes(run->ResultFiles().analysis_file));
        EXPECT_NE(std::find(summary.begin(), summary.end(), "#copied parameters into " + RunFolder()),
                  summary.end());
        size_t rows = 0, headers = 0;
        for (const std::string &line : summary) {
            rows += line.rfind("Run_000", 0) == 0;
            headers += line.rfind("image\tElapsedMin\t", 0) == 0;
        }
        EXPECT_EQ(rows, size_t(before));
        EXPECT_EQ(headers, size_t(before));
        const std::vector<std::string> vertical =
            Lines(ReadFileBytes(run->ResultFiles().vertical_projection_file));
        EXPECT_EQ(vertical.size(), before == 0 ? 3u : 3u + 120u);
        if (before == 1) {
            EXPECT_EQ(owner.statuses.front(), "Processing 1 of 3");
            // Without a curve the LP column is not a number; the images not done keep empty columns.
            const std::string row = vertical[3];
            EXPECT_EQ(row.rfind("10\t1.1000\t0.0000\t0.0000\t", 0), 0u) << row;
            EXPECT_NE(row.find("nan\t800\t\t"), std::string::npos) << row;
            EXPECT_EQ(row.substr(row.size() - 6), "\t800\t\t");
        }
    }
}

TEST_F(ImageAnalysisRunTest, UnusableImagesGetTheirMessageAndNoRow)
{
    WriteFixtureFolder();
    WriteFileBytes(m_images + "/garbage.png", "not an image");
    ASSERT_TRUE(cv::imwrite(m_images + "/eight_bit.png", cv::Mat(kRows, kCols, CV_8UC1, cv::Scalar(9))));
    ASSERT_TRUE(cv::imwrite(m_images + "/small.png", cv::Mat(50, 50, CV_16UC1, cv::Scalar(9))));
    auto run = RecordFor(
        m_images, {"missing.png", "garbage.png", "eight_bit.png", "small.png", FixtureImages()[1].name});
    ImageAnalysisThreadProc(run.get());
    EXPECT_EQ(run->Status(), "Finished");
    const std::vector<std::string> summary = Lines(ReadFileBytes(run->ResultFiles().analysis_file));
    auto has = [&](const std::string &line) {
        return std::find(summary.begin(), summary.end(), line) != summary.end();
    };
    EXPECT_TRUE(has("Image does not exist\t" + m_images + "/missing.png"));
    EXPECT_TRUE(has("Invalid image: " + m_images + "/garbage.png"));
    EXPECT_TRUE(has("Invalid image: " + m_images + "/eight_bit.png"));
    EXPECT_TRUE(has("ROI 10, 10, 149, 129 is not inside the 50 x 50 image: " + m_images + "/small.png"));
    const std::vector<std::string> horizontal =
        Lines(ReadFileBytes(run->ResultFiles().horizontal_projection_file));
    ASSERT_EQ(horizontal.size(), 3u + 140u);
    EXPECT_EQ(horizontal[2], "ix\tmissing.png\tgarbage.png\teight_bit.png\tsmall.png\tRun_0002_BF_1.png");
    // Column 10 of image 2 has no disc or ring: (1000 - 200) over every row.
    EXPECT_EQ(horizontal[3], "10\t\t\t\t\t800");
    // Only the one good image has a low-level file.
    EXPECT_TRUE(platform::FileExists(RunFolder() + "/Run_0002_BF_1.txt"));
    EXPECT_FALSE(platform::FileExists(RunFolder() + "/small.txt"));
}

TEST_F(ImageAnalysisRunTest, LongListKeepsItsOrderWhileFramesAreAnalysedAhead)
{
    // Far more images than are analysed at once, repeated, with unusable ones and another frame
    // size between them: each row and low-level file belongs to its own list entry, in list order.
    WriteFixtureFolder();
    WriteFileBytes(m_images + "/garbage.png", "not an image");
    ASSERT_TRUE(cv::imwrite(m_images + "/small.png", cv::Mat(50, 50, CV_16UC1, cv::Scalar(9))));
    const std::vector<std::string> names = {"Run_0001_BF_1.png", "missing.png",       "Run_0003_BF_1.png",
                                            "Run_0002_BF_1.png", "garbage.png",       "Run_0001_BF_1.png",
                                            "Run_0003_BF_1.png", "small.png",         "Run_0002_BF_1.png",
                                            "Run_0001_BF_1.png", "Run_0002_BF_1.png", "Run_0003_BF_1.png"};
    auto run = RecordFor(m_images, names);
    ImageAnalysisThreadProc(run.get());
    ASSERT_EQ(run->Status(), "Finished");

    std::vector<std::string> rows, messages;
    for (const std::string &line : Lines(ReadFileBytes(run->ResultFiles().analysis_file))) {
        if (line.rfind("Run_000", 0) == 0)
            rows.push_back(line);
        else if (line.find(m_images) != std::string::npos && line.rfind('#', 0) != 0)
            messages.push_back(line);
    }
    const std::vector<std::string> expectedMessages = {
        "Image does not exist\t" + m_images + "/missing.png", "Invalid image: " + m_images + "/garbage.png",
        "ROI 10, 10, 149, 129 is not inside the 50 x 50 image: " + m_images + "/small.png"};
    EXPECT_EQ(messages, expectedMessages);

    // The good entries in order, with the disc count of their fixture and frame numbers 1, 2, ...
    std::vector<std::string> good;
    for (const std::string &name : names)
        if (name.rfind("Run_000", 0) == 0)
            good.push_back(name);
    ASSERT_EQ(rows.size(), good.size());
    std::map<std::string, std::string> firstRest;
    std::map<std::string, int> seen;
    for (size_t i = 0; i < rows.size(); ++i) {
        std::vector<std::string> cells;
        std::istringstream in(rows[i]);
        for (std::string cell; std::getline(in, cell, '\t');)
            cells.push_back(cell);
        ASSERT_GT(cells.size(), 5u) << rows[i];
        EXPECT_EQ(cells[0], good[i]);
        EXPECT_EQ(cells[3], std::to_string(i + 1)) << rows[i];
        size_t discs = 0;
        for (const FixtureImage &fixture : FixtureImages())
            if (good[i] == fixture.name)
                discs = fixture.discs.size();
        EXPECT_EQ(cells[4], std::to_string(discs)) << rows[i];
        // Apart from its frame number, a repeated image's row is the same each time.
        cells[3].clear();
        std::string rest;
        for (const std::string &cell : cells)
            rest += cell + "\t";
        if (!firstRest.count(good[i]))
            firstRest[good[i]] = rest;
        EXPECT_EQ(rest, firstRest[good[i]]) << rows[i];

        // The low-level files of a name are numbered in list order and hold the same text.
        const std::string stem = RunFolder() + "/" + good[i].substr(0, good[i].size() - 4);
        const int n = seen[good[i]]++;
        const std::string path = n == 0 ? stem + ".txt" : stem + "[" + std::to_string(n) + "].txt";
        ASSERT_TRUE(platform::FileExists(path)) << path;
        EXPECT_EQ(ReadFileBytes(path), ReadFileBytes(stem + ".txt")) << path;
    }
}

TEST_F(ImageAnalysisRunTest, RunsThatCannotWriteTheirResultsFail)
{
    WriteFixtureFolder();
    const std::string name = FixtureImages()[0].name;

    // Equal magnet rows: refused before anything is made.
    {
        auto run = RecordFor(m_images, {name});
        run->upper_magnet = run->lower_magnet = 50;
        ImageAnalysisThreadProc(run.get());
        EXPECT_TRUE(run->IsFinished());
        EXPECT_TRUE(run->Failed());
        EXPECT_EQ(run->Status(), "Failed: upper_magnet and lower_magnet must not be equal (both 50)");
        EXPECT_FALSE(std::filesystem::exists(RunFolder()));
    }
    // The run folder's name is taken by a file.
    {
        WriteFileBytes(RunFolder(), "in the way");
        auto run = RecordFor(m_images, {name});
        ImageAnalysisThreadProc(run.get());
        EXPECT_TRUE(run->Failed());
        EXPECT_EQ(run->Status(), "Failed: Unable to create directory: " + RunFolder());
        EXPECT_EQ(run->ResultFiles().analysis_file, "");
        EXPECT_EQ(ReadFileBytes(RunFolder()), "in the way");
        std::filesystem::remove(RunFolder());
    }
    // A background image that cannot be read: no result file at all.
    {
        const std::string background = m_images + "/BF.bg.tif";
        const std::string good = ReadFileBytes(background);
        WriteFileBytes(background, "broken");
        auto run = RecordFor(m_images, {name});
        ImageAnalysisThreadProc(run.get());
        EXPECT_TRUE(run->Failed());
        EXPECT_EQ(run->Status(), "Failed: LoadBGImages() - Problem trying to open image: " + background);
        EXPECT_TRUE(std::filesystem::is_empty(RunFolder()));
        WriteFileBytes(background, good);
        std::filesystem::remove_all(RunFolder());
    }
    // The summary's name is taken by the low-level file of an image called like it: neither is lost.
    {
        std::filesystem::copy_file(m_images + "/" + name, m_images + "/Run_0001_BF_1.Analysis.png");
        auto run = RecordFor(m_images, {name, "Run_0001_BF_1.Analysis.png"});
        ImageAnalysisThreadProc(run.get());
        const std::string summary = RunFolder() + "/Run_0001_BF_1.Analysis.txt";
        EXPECT_TRUE(run->Failed());
        EXPECT_EQ(run->Status(), "Failed: Can't create ouput file for analysis run: " + summary);
        EXPECT_EQ(run->ResultFiles().analysis_file, "");
        EXPECT_NE(run->ResultFiles().vertical_projection_file, "");
        EXPECT_EQ(Lines(ReadFileBytes(summary)).front(), "# **** Low level counting data ****");
    }
    // Each failure was shown to the user.
    EXPECT_EQ(m_ui->Messages().size(), 4u);
}

} // namespace
