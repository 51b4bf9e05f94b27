// The cell fractionation: backgrounds and their median sort on hand-made frames, row profiles,
// contour choice, the report written from hand-made profiles, and the whole pipeline and the
// headless analysis on generated experiments whose cells above and below the split line are known.
#include "experiment/CellFractionation.h"
#include "ExperimentTestSupport.h"
#include "experiment/HeadlessAnalysis.h"
#include "experiment/MeniscusFrames.h"
#include "experiment/Montage.h"
#include "experiment/SampleFlowVideo.h"
#include "support/SyntheticExperiment.h"

#include <gmock/gmock.h>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

using ::testing::HasSubstr;
using ::testing::StartsWith;
using vantelis::test::SyntheticExperimentParams;
using vantelis::test::SyntheticExperimentTruth;
namespace fs = std::filesystem;

namespace {

class FrameTest : public ::testing::Test
{
  protected:
    void AddFrame(std::initializer_list<uint16_t> values, int cols)
    {
        cv::Mat image(static_cast<int>(values.size()) / cols, cols, CV_16UC1);
        std::copy(values.begin(), values.end(), image.begin<uint16_t>());
        m_frame.m_images.push_back(image);
    }

    AnalysisFrame m_frame;
};

TEST(QuickSortIntsTest, SortsEveryOrderAscending)
{
    const std::vector<std::vector<int>> cases = {
        {5, 4, 3, 2, 1}, {1, 2, 3, 4, 5}, {3, 3, 3, 3, 3}, {2, 9, 2, 9, 2}, {-4, 7, 0, -4, 65535}, {42}, {},
    };
    for (std::vector<int> values : cases) {
        std::vector<int> expected = values;
        std::sort(expected.begin(), expected.end());
        QuickSortInts(values.data(), 0, static_cast<int>(values.size()) - 1);
        EXPECT_EQ(values, expected);
    }
}

TEST_F(FrameTest, BackgroundsOfFiveFramesAreTheirMaximumAndMedian)
{
    // Pixel by pixel: (7,1,9,3,5) -> max 9 median 5; (0,0,0,0,65535) -> max 65535 median 0;
    // (4,4,2,2,3) -> max 4 median 3.
    AddFrame({7, 0, 4}, 3);
    AddFrame({1, 0, 4}, 3);
    AddFrame({9, 0, 2}, 3);
    AddFrame({3, 0, 2}, 3);
    AddFrame({5, 65535, 3}, 3);
    ComputeMaxPixelBackground(m_frame);
    ComputeMedianPixelBackground(m_frame, 5);
    const cv::Mat &mx = m_frame.m_maxBackground, &md = m_frame.m_medianBackground;
    ASSERT_EQ(mx.type(), CV_16UC1);
    ASSERT_EQ(md.type(), CV_16UC1);
    EXPECT_EQ(mx.at<uint16_t>(0, 0), 9);
    EXPECT_EQ(mx.at<uint16_t>(0, 1), 65535);
    EXPECT_EQ(mx.at<uint16_t>(0, 2), 4);
    EXPECT_EQ(md.at<uint16_t>(0, 0), 5);
    EXPECT_EQ(md.at<uint16_t>(0, 1), 0);
    EXPECT_EQ(md.at<uint16_t>(0, 2), 3);

    // d = (4 + 65535 + 1) / (3 + 255.998... + 2) ; the noise-free value is max - d * sqrt(max).
    ComputeNoiseFreeMaxBackground(m_frame);
    const double root = std::sqrt(9.0) + std::sqrt(65535.0) + std::sqrt(4.0);
    const double d = (4.0 + 65535.0 + 1.0) / root;
    const cv::Mat &nf = m_frame.m_noiseFreeBackground;
    ASSERT_EQ(nf.type(), CV_32FC1);
    EXPECT_NEAR(nf.at<float>(0, 0), 9.0 - d * 3.0, 1e-2);
    EXPECT_NEAR(nf.at<float>(0, 2), 4.0 - d * 2.0, 1e-2);
}

TEST_F(FrameTest, MedianUsesOnlyTheLastFiveFramesAndIdenticalFramesHaveNoNoise)
{
    AddFrame({60000, 100}, 2); // only in the maximum
    for (int i = 0; i < 5; ++i)
        AddFrame({400, 100}, 2);
    ComputeMaxPixelBackground(m_frame);
    ComputeMedianPixelBackground(m_frame, 6);
    EXPECT_EQ(m_frame.m_medianBackground.at<uint16_t>(0, 0), 400);
    EXPECT_EQ(m_frame.m_maxBackground.at<uint16_t>(0, 0), 60000);

    m_frame.m_images.erase(m_frame.m_images.begin());
    ComputeMaxPixelBackground(m_frame);
    ComputeMedianPixelBackground(m_frame, 5);
    ComputeNoiseFreeMaxBackground(m_frame);
    EXPECT_FLOAT_EQ(m_frame.m_noiseFreeBackground.at<float>(0, 0), 400.0f);
    EXPECT_FLOAT_EQ(m_frame.m_noiseFreeBackground.at<float>(0, 1), 100.0f);
}

TEST_F(FrameTest, MedianOfFewerThanFiveFramesIsRefusedNotReadPastTheList)
{
    AddFrame({1, 2}, 2);
    AddFrame({1, 2}, 2);
    EXPECT_THROW(ComputeMedianPixelBackground(m_frame, 2), std::runtime_error);
    EXPECT_THROW(ComputeMedianPixelBackground(m_frame, 5), std::runtime_error);
}

TEST(RowProfileTest, SumsEveryRowNegativesIncluded)
{
    const cv::Mat image = (cv::Mat_<float>(3, 3) << 1, 2, 3, -4, -5, 1, 0.5f, 0, 0);
    EXPECT_EQ(ComputeRowProfile(image), (std::vector<double>{6.0, -8.0, 0.5}));
}

TEST(LargestContourTest, PicksTheLargestBlobAndLeavesTheIndexAloneWithoutOne)
{
    cv::Mat mask = cv::Mat::zeros(60, 80, CV_8UC1);
    Contours contours;
    std::vector<cv::Vec4i> hierarchy;
    int index = 77;
    FindLargestContour(mask, contours, hierarchy, index);
    EXPECT_EQ(index, 77);

    cv::rectangle(mask, cv::Rect(2, 2, 5, 5), cv::Scalar(255), cv::FILLED);
    cv::rectangle(mask, cv::Rect(30, 20, 30, 25), cv::Scalar(255), cv::FILLED);
    cv::rectangle(mask, cv::Rect(70, 50, 6, 6), cv::Scalar(255), cv::FILLED);
    FindLargestContour(mask, contours, hierarchy, index);
    ASSERT_GE(index, 0);
    ASSERT_LT(index, static_cast<int>(contours.size()));
    EXPECT_EQ(cv::boundingRect(contours[static_cast<size_t>(index)]), cv::Rect(30, 20, 30, 25));
}

std::vector<std::string> Lines(const std::string &text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t at; (at = text.find("\r\n", start)) != std::string::npos; start = at + 2)
        lines.push_back(text.substr(start, at - start));
    EXPECT_EQ(start, text.size()) << "every line ends with CR LF";
    return lines;
}

TEST(FractionationReportTest, HandMadeProfiles)
{
    struct Case
    {
        const char *what;
        std::vector<double> profile;
        double split_row;
        int r;
        double top, bottom, norm;
    };
    const Case cases[] = {
        {"rows above and below", {10, 30, 5, 20, 40}, 102.0, 2, 0.4, 0.6, 105},
        {"half rounds up", {1, 1, 1, 1}, 101.5, 2, 2.0 / 3.0, 1.0 / 3.0, 4},
        {"negatives count nowhere", {-10, 30, -5, -20, 10}, 102.0, 2, 0.75, 0.25, 40},
        {"all at most zero", {0, -3, -1, 0}, 101.0, 1, 0.0, 0.0, 1},
        {"only the split row", {0, 8, 0}, 101.0, 1, 0.0, 0.0, 8},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        FractionationSums sums;
        std::string error;
        ASSERT_TRUE(ComputeFractionationSums(c.profile, c.split_row, sums, error)) << error;
        EXPECT_EQ(sums.split_index, c.r);
        EXPECT_DOUBLE_EQ(sums.top_fraction, c.top);
        EXPECT_DOUBLE_EQ(sums.bottom_fraction, c.bottom);
        EXPECT_DOUBLE_EQ(sums.norm, c.norm);
    }

    // A split row of 150.5 is channel row 51: that entry is in neither sum but in the norm.
    std::vector<double> profile(101, 0.0);
    profile[10] = 1.0;
    profile[51] = 1000.0;
    profile[90] = 3.0;
    FractionationSums sums;
    std::string error;
    ASSERT_TRUE(ComputeFractionationSums(profile, 150.5, sums, error));
    EXPECT_EQ(sums.split_index, 51);
    EXPECT_DOUBLE_EQ(sums.top_fraction, 0.25);
    EXPECT_DOUBLE_EQ(sums.norm, 1004.0);
}

TEST(FractionationReportTest, SplitRowOutsideTheProfileIsRefused)
{
    for (double split : {98.0, 104.5, 1e12, std::nan("")}) {
        SCOPED_TRACE(split);
        FractionationSums sums;
        std::string error;
        EXPECT_FALSE(ComputeFractionationSums({1, 2, 3, 4}, split, sums, error));
        EXPECT_THAT(error, HasSubstr("outside the channel profile"));
    }
}

TEST(FractionationReportTest, WritesTheLinesInTheStreamsDefaultNumberForm)
{
    FractionationReportInput in;
    in.product_name = "Vantelis";
    in.version_short = "3.1.4";
    in.experiment_full_name = "20261210-1200-00_Run";
    in.upper_channel = 400;
    in.lower_channel_end = 1501;
    in.split_row = 101.9; // truncated for the position, rounded to channel row 2 for the sums
    in.split_value = -2.5;
    // Entry 2 (the split row) 0, top 1 of 3 entries; -7 written as 0.
    const std::vector<double> profile = {1e-7 * 3, 0, 0, -7, 6e-7};
    std::ostringstream out;
    FractionationSums sums;
    std::string error;
    ASSERT_TRUE(WriteFractionationReportText(out, in, profile, sums, error)) << error;
    const std::vector<std::string> lines = Lines(out.str());
    const std::vector<std::string> expected = {
        "Vantelis\t3.1.4",
        "Experiment Name\t20261210-1200-00_Run",
        "Cell Fractionation Report",
        "Top Fraction\t0.333333",
        "Bottom Fraction\t0.666667",
        "Upper Channel Position\t400",
        "Lower Channel Position\t1500",
        "Split-line Position\t401",
        "Split-line Value\t-3",
        "",
        "Channel position\tNormalized intensity",
        "-50\t66.6667",
        "-25\t0",
        "0\t0",
        "25\t0",
        "50\t33.3333",
    };
    EXPECT_EQ(lines, expected);
}

TEST(FractionationReportTest, UnwritableReportFailsTheRunWithItsPath)
{
    const std::vector<double> profile = {1, 2, 3, 4};
    FlowAnalysis flow;
    flow.split_row = 101.0;
    const FractionationReportInput in = FractionationReportInputOf("x", ExperimentData(), flow);
    vantelis::test::TempDir dir;
    std::string error;
    FractionationSums sums;
    EXPECT_FALSE(WriteFractionationReportFile(dir.str(), "missing/sub/report", in, profile, sums, error));
    EXPECT_EQ(error, "Unable to create file: " + dir.str() + "/missing/sub/report.txt");

    ASSERT_TRUE(WriteFractionationReportFile(dir.str(), "report", in, profile, sums, error)) << error;
    EXPECT_DOUBLE_EQ(sums.top_fraction, 1.0 / 8.0);
    EXPECT_DOUBLE_EQ(sums.bottom_fraction, 7.0 / 8.0);
    EXPECT_TRUE(fs::exists(dir.str() + "/report.txt"));
}

// ---- the pipeline on generated experiments ----

SyntheticExperimentParams FlowParams(int above, int below)
{
    SyntheticExperimentParams p = ClearFlowParams();
    p.cells_above = above;
    p.cells_below = below;
    return p;
}

const SyntheticExperimentTruth &Experiment(bool swapped)
{
    static vantelis::test::TempDir dir;
    static const SyntheticExperimentTruth plain =
        vantelis::test::WriteSyntheticExperiment(dir.str() + "/a", FlowParams(14, 9));
    static const SyntheticExperimentTruth other =
        vantelis::test::WriteSyntheticExperiment(dir.str() + "/b", FlowParams(9, 14));
    return swapped ? other : plain;
}

class FractionationPipelineTest : public ExperimentTest
{
  protected:
    void Use(const SyntheticExperimentTruth &t) { theApp.m_data_directory = t.data_folder; }
    ~FractionationPipelineTest() override { ResetSampleFlowResults(); }
};

double ReportValue(const std::string &path, const std::string &key)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    for (const std::string &line : Lines(text.str()))
        if (line.rfind(key + "\t", 0) == 0)
            return std::stod(line.substr(key.size() + 1));
    ADD_FAILURE() << key << " not in " << path;
    return -1.0;
}

// The fractions as the fractionation measures them, taken from how the experiment was drawn:
// every frame drawn without noise, less the empty channel, summed per channel row over the
// columns each frame contributes (the lead frame right of its meniscus, every later frame its
// newly arrived columns; the trail frame nothing, as its meniscus lies left of them), the positive
// rows above and below the split line.
std::pair<double, double> ConstructedFractions(const SyntheticExperimentParams &params,
                                               const SyntheticExperimentTruth &t)
{
    SyntheticExperimentParams clean = params;
    clean.noise = false;
    const int n = static_cast<int>(t.run_length), W = 2448, d = t.shift_px_per_frame;
    // The lead frame: the last of the run's first quarter whose lead template lies in the view;
    // the trail frame: the first of its second half whose trail template does.
    int lead = 0, trail = n - 1;
    for (int k = 0; k < n / 4; ++k)
        if (t.lead_x[size_t(k)] - t.lead_template_before >= 0 &&
            t.lead_x[size_t(k)] + t.lead_template_after <= W)
            lead = k;
    for (int k = n - 1; k >= n - n / 2; --k)
        if (t.trail_x[size_t(k)] - t.trail_template_before >= 0 &&
            t.trail_x[size_t(k)] + t.trail_template_after <= W)
            trail = k;
    EXPECT_LE(t.trail_x[size_t(trail)] - t.trail_template_before, W - d) << "the trail frame would count";
    const int top = params.upper_channel, end = params.lower_channel + 1;
    const cv::Mat empty =
        vantelis::test::RenderSyntheticBrightfield(clean, 0)(cv::Range(top, end), cv::Range::all());
    std::vector<double> profile(size_t(end - top), 0.0);
    for (int k = lead; k < trail; ++k) {
        // The lead meniscus reaches bulge + band columns behind its centre at the channel walls.
        const int from = k == lead ? static_cast<int>(t.lead_x[size_t(k)]) + 80 : W - d;
        const cv::Mat frame = vantelis::test::RenderSyntheticBrightfield(
            clean, static_cast<int>(t.run_first) + k)(cv::Range(top, end), cv::Range::all());
        for (int r = 0; r < frame.rows; ++r)
            for (int c = from; c < W; ++c)
                profile[size_t(r)] += double(empty.at<uint16_t>(r, c)) - double(frame.at<uint16_t>(r, c));
    }
    // Equal pump speeds split the channel in the middle.
    const int split = static_cast<int>((end - top) / 2.0 + 0.5);
    double above = 0.0, below = 0.0;
    for (int r = 0; r < int(profile.size()); ++r)
        if (profile[size_t(r)] > 0.0)
            (r < split ? above : r > split ? below : profile[size_t(r)]) += profile[size_t(r)];
    return {above / (above + below), below / (above + below)};
}

TEST_F(FractionationPipelineTest, FractionsAreTheConstructedOnesAndSwapWithTheCells)
{
    double tops[2] = {-1.0, -1.0}, bottoms[2] = {-1.0, -1.0};
    for (bool swapped : {false, true}) {
        SCOPED_TRACE(swapped);
        const SyntheticExperimentTruth &t = Experiment(swapped);
        Use(t);
        double top = -1.0, bottom = -1.0;
        std::string error;
        ASSERT_TRUE(CreateFractionationReport(t.folder, "frac", top, bottom, error)) << error;
        tops[swapped ? 1 : 0] = top;
        bottoms[swapped ? 1 : 0] = bottom;
        const auto [expectedTop, expectedBottom] =
            ConstructedFractions(swapped ? FlowParams(9, 14) : FlowParams(14, 9), t);
        EXPECT_NEAR(top, expectedTop, 0.03);
        EXPECT_NEAR(bottom, expectedBottom, 0.03);
        EXPECT_NEAR(top + bottom, 1.0, 1e-9);
        const std::string report = t.folder + "/frac.txt";
        EXPECT_NEAR(ReportValue(report, "Top Fraction"), top, 1e-6);
        EXPECT_NEAR(ReportValue(report, "Bottom Fraction"), bottom, 1e-6);
        EXPECT_EQ(ReportValue(report, "Upper Channel Position"), 400.0);
        EXPECT_EQ(ReportValue(report, "Lower Channel Position"), 1500.0);
        // The run leaves no state behind.
        EXPECT_EQ(_flow_analysis.shift_px_per_frame, 0.0);
    }
    // 14 cells above and 9 below, then 9 above and 14 below: the fractions change places.
    EXPECT_GT(tops[0], 0.55);
    EXPECT_NEAR(tops[0], bottoms[1], 0.03);
    EXPECT_NEAR(bottoms[0], tops[1], 0.03);
}

// A slug that moves right puts the trail meniscus of the last frame at or left of the lead column,
// so that frame is blanked whole; the run goes on instead of failing inside the image library.
TEST_F(FractionationPipelineTest, ALastFrameBlankedWholeStillGivesAReport)
{
    SyntheticExperimentParams p = FlowParams(14, 9);
    p.flow_leftward = false;
    const SyntheticExperimentTruth t = vantelis::test::WriteSyntheticExperiment(m_dir.str() + "/right", p);
    Use(t);
    double top = -1.0, bottom = -1.0;
    std::string error;
    EXPECT_TRUE(CreateFractionationReport(t.folder, "frac", top, bottom, error)) << error;
    EXPECT_TRUE(fs::exists(t.folder + "/frac.txt"));
    EXPECT_EQ(error, "");
}

TEST_F(FractionationPipelineTest, HeadlessAnalysesWriteTheirFiles)
{
    const SyntheticExperimentTruth &t = Experiment(false);
    Use(t);
    std::string error;
    ASSERT_TRUE(RunHeadlessExperimentAnalysis(kAnalysisFractionation, t.folder, false, false, "run1", error))
        << error;
    for (const char *file : {"run1.png", "run1.small.png", "run1.txt"})
        EXPECT_TRUE(fs::exists(t.folder + "/Fractionation/" + file)) << file;
    ASSERT_TRUE(RunHeadlessExperimentAnalysis(kAnalysisMontage, t.folder + "/", false, false, "m1", error))
        << error;
    EXPECT_TRUE(fs::exists(t.folder + "/Montage/m1.png"));
    EXPECT_TRUE(fs::exists(t.folder + "/Montage/m1.small.png"));
    // The video wants still frames before the pumped ones.
    SyntheticExperimentParams p;
    p.unpumped_frames = 10;
    p.noise = false;
    p.pump1_speed = p.pump2_speed = 10.0;
    const SyntheticExperimentTruth video =
        vantelis::test::WriteSyntheticExperiment(m_dir.str() + "/video", p);
    Use(video);
    ASSERT_TRUE(RunHeadlessExperimentAnalysis(kAnalysisVideo, video.folder, false, false, "v1", error))
        << error;
    EXPECT_TRUE(fs::exists(video.folder + "/Video/v1.avi"));
    // Another type makes nothing and succeeds.
    EXPECT_TRUE(RunHeadlessExperimentAnalysis(7, t.folder, false, false, "none", error));
}

TEST_F(FractionationPipelineTest, HeadlessRefusalsSayWhyAndCreateNothing)
{
    const std::string missing = m_dir.str() + "/no-such-experiment";
    const std::string noLog = m_dir.str() + "/empty";
    fs::create_directories(noLog);
    // An experiment whose analysis folder cannot be made: a file holds its name.
    const std::string blocked = m_dir.str() + "/blocked";
    fs::copy(Experiment(false).folder, blocked, fs::copy_options::recursive);
    fs::remove_all(blocked + "/Fractionation");
    std::ofstream(blocked + "/Fractionation") << "in the way";
    Use(Experiment(false));

    struct Case
    {
        std::string folder;
        const char *message;
    };
    const Case cases[] = {
        {missing, "Experiment folder not found: "},
        {"  ", "Experiment folder not found: "},
        {noLog, "RunExperimentAnalysis() - "},
        {blocked, "Unable to create analysis directory: "},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.folder);
        std::string error;
        EXPECT_FALSE(
            RunHeadlessExperimentAnalysis(kAnalysisFractionation, c.folder, false, false, "r", error));
        EXPECT_THAT(error, StartsWith(c.message));
    }
    EXPECT_FALSE(fs::exists(missing));
    EXPECT_FALSE(fs::exists(noLog + "/Fractionation"));
}

// A folder that is not a readable experiment fails every analysis with the reason the folder
// reader gives, whether the command line or a window started it.
TEST_F(FractionationPipelineTest, FoldersThatAreNoExperimentFailWithTheirReason)
{
    Use(Experiment(false));
    const std::string empty = m_dir.str() + "/empty";
    const std::string notAnExperiment = m_dir.str() + "/pictures";
    const std::string noSettings = m_dir.str() + "/no-settings";
    const std::string noLog = m_dir.str() + "/no-log";
    for (const std::string &folder : {empty, notAnExperiment, noSettings, noLog})
        fs::create_directories(folder);
    vantelis::test::WriteFileBytes(notAnExperiment + "/notes.txt", "holiday\r\n");
    fs::copy_file(Experiment(false).folder + "/Images/" + Experiment(false).brightfield_files[0],
                  notAnExperiment + "/photo.png");
    fs::copy_file(Experiment(false).log_path, noSettings + "/run.log");
    fs::copy_file(Experiment(false).settings_path, noLog + "/ExperimentSettings.ini");
    const struct
    {
        std::string folder, reason;
    } folders[] = {
        {empty, "No capture log (*.log) in the experiment folder: " + empty},
        {notAnExperiment, "No capture log (*.log) in the experiment folder: " + notAnExperiment},
        {noSettings, "No settings file (*.ini) in the experiment folder: " + noSettings},
        {noLog, "No capture log (*.log) in the experiment folder: " + noLog},
    };
    double top = 0.0, bottom = 0.0;
    const struct
    {
        const char *caller;
        std::function<bool(const std::string &, std::string &)> run;
        const char *prefix;
    } callers[] = {
        {"-m",
         [](const std::string &f, std::string &e) {
             return RunHeadlessExperimentAnalysis(kAnalysisMontage, f, false, false, "r", e);
         },
         "RunExperimentAnalysis() - "},
        {"-f",
         [](const std::string &f, std::string &e) {
             return RunHeadlessExperimentAnalysis(kAnalysisFractionation, f, false, false, "r", e);
         },
         "RunExperimentAnalysis() - "},
        {"-v",
         [](const std::string &f, std::string &e) {
             return RunHeadlessExperimentAnalysis(kAnalysisVideo, f, false, false, "r", e);
         },
         "RunExperimentAnalysis() - "},
        {"montage",
         [](const std::string &f, std::string &e) { return CreateMontageImage(f, false, false, "r", e); },
         ""},
        {"video",
         [](const std::string &f, std::string &e) { return CreateSampleFlowVideo(f, false, false, "r", e); },
         ""},
        {"fractionation",
         [&](const std::string &f, std::string &e) {
             return CreateFractionationReport(f, "r", top, bottom, e);
         },
         ""},
    };
    for (const auto &c : callers) {
        for (const auto &f : folders) {
            SCOPED_TRACE(std::string(c.caller) + " " + f.folder);
            std::string error;
            EXPECT_FALSE(c.run(f.folder, error));
            EXPECT_EQ(error, c.prefix + f.reason);
            // Nothing was made in the folder.
            for (const char *sub : {"Montage", "Fractionation", "Video", "r.png", "r.avi", "r.txt"})
                EXPECT_FALSE(fs::exists(f.folder + "/" + sub)) << sub;
        }
    }
}

// The output name is a file name: one that would lead out of the analysis folder is refused,
// whichever separator it uses, and nothing is written anywhere.
TEST_F(FractionationPipelineTest, OutputNamesThatLeaveTheAnalysisFolderAreRefused)
{
    const SyntheticExperimentTruth &t = Experiment(false);
    Use(t);
    const fs::path parent = fs::path(t.folder).parent_path();
    const auto listing = [&] {
        std::vector<std::string> names;
        for (const auto &entry : fs::recursive_directory_iterator(parent))
            names.push_back(entry.path().string());
        std::sort(names.begin(), names.end());
        return names;
    };
    const std::vector<std::string> files = listing();
    for (int type : {kAnalysisMontage, kAnalysisFractionation, kAnalysisVideo}) {
        for (const char *name : {"../../escape", "..\\..\\esc2", "../up", "..", "sub/name", "sub\\name",
                                 "/tmp/absolute", "a..b"}) {
            SCOPED_TRACE(std::to_string(type) + " " + name);
            std::string error;
            EXPECT_FALSE(RunHeadlessExperimentAnalysis(type, t.folder, false, false, name, error));
            EXPECT_THAT(error,
                        HasSubstr(std::string("the output name \"") + name + "\" must be a file name"));
        }
    }
    EXPECT_EQ(listing(), files);
    EXPECT_FALSE(fs::exists(parent.parent_path() / "escape.png"));
    EXPECT_FALSE(fs::exists("/tmp/absolute.png"));
}

} // namespace
