// The montage: its strip joined in one preallocated image, its pieces and size on small striped
// experiments whose every column says where in the sample it lies, its files and failures, and the
// whole pipeline on a generated experiment compared with how the experiment was made.
#include "experiment/Montage.h"
#include "ExperimentTestSupport.h"
#include "app/AnalysisLock.h"
#include "experiment/ImageUtilities.h"
#include "experiment/MeniscusFrames.h"
#include "experiment/SampleFlowVideo.h"
#include "support/SyntheticExperiment.h"

#include <gmock/gmock.h>
#include <opencv2/imgcodecs.hpp>

#include <filesystem>
#include <functional>
#include <mutex>

using ::testing::HasSubstr;
using ::testing::StartsWith;
using vantelis::test::SyntheticExperimentParams;
using vantelis::test::SyntheticExperimentTruth;
namespace fs = std::filesystem;

namespace {

cv::Mat RandomColour(int rows, int cols, int seed)
{
    cv::Mat image(rows, cols, CV_8UC3);
    cv::RNG rng(static_cast<uint64_t>(seed));
    rng.fill(image, cv::RNG::UNIFORM, 0, 256);
    return image;
}

TEST(MontageStripTest, JoinsLikeTheImageUtilitiesStripInOneImage)
{
    ImageUtilities reference;
    reference.m_overlap = 100;
    const cv::Mat first = RandomColour(12, 450, 1);
    cv::Mat joined = first.clone();
    const int widths[] = {400, 100, 137, 250};
    int total = first.cols;
    for (int w : widths)
        total += w - 100;
    MontageStrip strip(12, total, 100);
    ASSERT_TRUE(strip.Start(first));
    int seed = 2;
    for (int w : widths) {
        SCOPED_TRACE(w);
        const cv::Mat piece = RandomColour(12, w, seed++);
        ASSERT_TRUE(reference.BuildImageStrip(piece, joined));
        ASSERT_TRUE(strip.Append(piece));
        ASSERT_EQ(strip.Used(), joined.cols);
        EXPECT_EQ(cv::norm(strip.Image(), joined, cv::NORM_INF), 0.0);
    }
    EXPECT_EQ(strip.Used(), total);
}

TEST(MontageStripTest, RefusesPiecesThatDoNotFit)
{
    const struct
    {
        const char *what;
        cv::Mat piece;
    } cases[] = {
        {"other rows", RandomColour(11, 150, 1)},
        {"narrower than the overlap", RandomColour(12, 99, 2)},
        {"overruns the strip", RandomColour(12, 251, 3)},
        {"grey", cv::Mat(12, 150, CV_8UC1, cv::Scalar(1))},
    };
    MontageStrip fresh(12, 300, 100);
    EXPECT_FALSE(fresh.Append(RandomColour(12, 150, 4))); // before the first piece
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        MontageStrip strip(12, 300, 100);
        const cv::Mat first = RandomColour(12, 150, 9);
        ASSERT_TRUE(strip.Start(first));
        EXPECT_FALSE(strip.Append(c.piece));
        EXPECT_EQ(strip.Used(), 150);
        EXPECT_EQ(cv::norm(strip.Image(), first, cv::NORM_INF), 0.0);
    }
    EXPECT_FALSE(MontageStrip(12, 100, 100).Start(RandomColour(12, 101, 5)));
}

// A striped experiment: W = 2448 columns, 20 rows, the sample moving left by s columns per frame,
// so column x of frame i shows the sample at u = x + i s. Every column's value names u (period
// 250), and the contrast maps it to the 8-bit level (u mod 250) + 1.
class MontageComposeTest : public ExperimentTest
{
  protected:
    static constexpr int W = 2448;
    static constexpr int kRows = 20;

    MontageComposeTest()
    {
        ResetSampleFlowResults();
        m_folder = m_dir.file("exp");
        fs::create_directories(m_folder);
        m_contrast.bf_low = 0;
        m_contrast.bf_high = 2550;
        m_contrast.bf_out_max = 255;
    }
    ~MontageComposeTest() override { ResetSampleFlowResults(); }

    static int Level(long u) { return static_cast<int>(u % 250) + 1; }

    ExperimentData Striped(int frames, int s, int rows = kRows)
    {
        ExperimentData e;
        e.m_image_width = W;
        e.m_crop_top = 0;
        e.m_crop_bottom = rows;
        auto record = [&](const std::string &name, double exposure) {
            CaptureLogRecord r;
            r.images.brightfield.file_name = name;
            r.brightfield_exposure_us = exposure;
            return r;
        };
        for (int i = 0; i < frames; ++i) {
            cv::Mat image(rows, W, CV_16U);
            for (int x = 0; x < W; ++x)
                image.col(x).setTo(10 * ((x + static_cast<long>(i) * s) % 250) + 5);
            const std::string name = "f" + std::to_string(i) + ".png";
            cv::imwrite(m_folder + "/" + name, image);
            e.m_selected_run.push_back(record(name, 1000.0));
        }
        cv::imwrite(m_folder + "/ref.png", cv::Mat(rows, W, CV_16U, cv::Scalar(1000)));
        e.m_reference_record = record("ref.png", 1000.0);
        e.m_mean_brightfield_exposure = 1000.0;
        return e;
    }

    void Results(int lead, bool lead_found, int trail, bool trail_found, double distance, int s,
                 double split_row)
    {
        ResetSampleFlowResults();
        _lead_meniscus.frame_index = lead;
        _lead_meniscus.matched.assign(static_cast<size_t>(lead + 1), false);
        _lead_meniscus.matched[static_cast<size_t>(lead)] = lead_found;
        _trail_meniscus.frame_index = trail;
        _trail_meniscus.found = trail_found;
        _trail_meniscus.distance_to_right_edge = distance;
        _flow_analysis.shift_px_per_frame = s;
        _flow_analysis.split_row = split_row;
    }

    cv::Mat Written(const std::string &name)
    {
        return cv::imread(m_folder + "/" + name, cv::IMREAD_UNCHANGED);
    }

    std::string m_folder;
    ColorFrameContrast m_contrast;
    std::string m_error;
};

TEST_F(MontageComposeTest, PiecesFollowTheSampleFromTheLeadFrameToTheTrailFrame)
{
    struct Case
    {
        const char *what;
        int lead;
        bool lead_found;
        int trail;
        bool trail_found;
        double distance;
        int s;
        int trail_columns; // columns the trail frame adds
    } cases[] = {
        {"no lead, no trail: the first piece is 2148 wide", 0, false, 5, false, 0, 300, 0},
        {"lead 3 to trail 8, trail 500 from the edge: its last 600 columns", 3, true, 8, true, 500, 300, 500},
        {"trail 200 from the edge, less than s: its last 400 columns", 3, true, 8, true, 200, 300, 300},
        {"trail frame without a trail meniscus is left out", 1, true, 4, false, 0, 250, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const ExperimentData e = Striped(10, c.s);
        Results(c.lead, c.lead_found, c.trail, c.trail_found, c.distance, c.s, 3.0);
        ASSERT_TRUE(ComposeMontage(m_folder, e, m_contrast, "m", m_error)) << m_error;
        const cv::Mat montage = Written("m.png");
        ASSERT_EQ(montage.type(), CV_8UC3);
        ASSERT_EQ(montage.rows, kRows);
        const int loop_end = (W - c.s) + (c.trail - c.lead) * c.s;
        ASSERT_EQ(montage.cols, loop_end + c.trail_columns);

        // Up to the trail piece every column shows the sample where frame L shows it at that
        // column; a cross-fade of two equal values may lose one level. (The trail piece fades in
        // over the last 100 of them.)
        const long lead_u = static_cast<long>(c.lead) * c.s;
        const int continuous = loop_end - (c.trail_found ? 100 : 0);
        int wrong = -1;
        for (int x = 0; x < continuous && wrong < 0; ++x)
            if (std::abs(montage.at<cv::Vec3b>(15, x)[1] - Level(x + lead_u)) > 1)
                wrong = x;
        EXPECT_EQ(wrong, -1) << "first wrong column";
        // The trail piece is the trail frame's right part.
        int worst = 0;
        const long trail_u = static_cast<long>(c.trail) * c.s;
        for (int k = 0; k < c.trail_columns; ++k)
            worst = std::max(worst, std::abs(montage.at<cv::Vec3b>(15, loop_end + k)[1] -
                                             Level(W - c.trail_columns + k + trail_u)));
        EXPECT_EQ(worst, 0);
        // The split line across the whole strip, blue.
        EXPECT_EQ(montage.at<cv::Vec3b>(3, 0), cv::Vec3b(255, 0, 0));
        EXPECT_EQ(montage.at<cv::Vec3b>(3, montage.cols - 1), cv::Vec3b(255, 0, 0));
        // The quarter-size copy.
        const cv::Mat small = Written("m.small.png");
        EXPECT_EQ(small.size(), cv::Size(montage.cols / 4, montage.rows / 4));
    }
}

TEST_F(MontageComposeTest, SmallCopyIsAQuarterOfEachSide)
{
    // 2448 - 400 = 2048 columns (no frame after the lead), 602 rows: 512 x 150.
    const ExperimentData e = Striped(2, 400, 602);
    Results(0, true, 0, false, 0, 400, 300.0);
    ASSERT_TRUE(ComposeMontage(m_folder, e, m_contrast, "m", m_error)) << m_error;
    EXPECT_EQ(Written("m.png").size(), cv::Size(2048, 602));
    EXPECT_EQ(Written("m.small.png").size(), cv::Size(512, 150));
}

TEST_F(MontageComposeTest, FailuresNameTheCauseAndWriteNothing)
{
    struct Case
    {
        const char *what;
        std::function<void(ExperimentData &)> spoil;
        int s;
        std::string output;
        const char *cause;
    } cases[] = {
        {"unreadable frame",
         [](ExperimentData &e) { e.m_selected_run[2].images.brightfield.file_name = "gone.png"; }, 300, "m",
         "gone.png"},
        {"unreadable reference",
         [](ExperimentData &e) { e.m_reference_record.images.brightfield.file_name = "x.png"; }, 300, "m",
         "x.png"},
        {"negative shift (no calibration)", [](ExperimentData &) {}, -5, "m", "-5"},
        {"rows outside the images", [](ExperimentData &e) { e.m_crop_top = 25, e.m_crop_bottom = 50; }, 300,
         "m", "Rows"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ExperimentData e = Striped(6, 300);
        c.spoil(e);
        Results(1, true, 4, false, 0, c.s, 3.0);
        m_error.clear();
        EXPECT_FALSE(ComposeMontage(m_folder, e, m_contrast, c.output, m_error));
        EXPECT_THAT(m_error, StartsWith("Function Create Montage: "));
        EXPECT_THAT(m_error, HasSubstr(c.cause));
        EXPECT_FALSE(fs::exists(m_folder + "/m.png"));
    }
    // A write that fails is reported, not called a success.
    const ExperimentData e = Striped(6, 300);
    Results(1, true, 4, false, 0, 300, 3.0);
    m_error.clear();
    EXPECT_FALSE(ComposeMontage(m_folder, e, m_contrast, "no-such-folder/m", m_error));
    EXPECT_THAT(m_error, HasSubstr("cannot write"));
    EXPECT_THAT(m_error, HasSubstr("no-such-folder/m.png"));
}

// ---- The whole pipeline on a generated experiment ----

// The sample flows right to left as in the instrument; equal pump speeds of 24 uL/min each at 1.5 s
// per frame and 500 pixels per mm move it 150 columns per frame. Noise off, one exposure per channel
// and an upright channel, so frames can be compared with the generator's own drawing.
SyntheticExperimentParams MontageParams()
{
    SyntheticExperimentParams p;
    p.flow_leftward = true;
    p.pump1_speed = p.pump2_speed = 24.0;
    p.noise = false;
    p.equal_exposures = true;
    p.fluorescence = false;
    p.rotation = 0.0;
    p.channel_offset = 0;
    return p;
}

const SyntheticExperimentTruth &MontageExperiment()
{
    static vantelis::test::TempDir dir;
    static const SyntheticExperimentTruth truth =
        vantelis::test::WriteSyntheticExperiment(dir.str(), MontageParams());
    return truth;
}

class MontagePipelineTest : public ExperimentTest
{
  protected:
    MontagePipelineTest() : t(MontageExperiment())
    {
        theApp.m_data_directory = t.data_folder;
        ResetSampleFlowResults();
    }
    ~MontagePipelineTest() override { ResetSampleFlowResults(); }

    // The lead frame: the last of the run's first quarter whose lead template lies in the view.
    int TrueLead() const
    {
        int lead = 0;
        for (int k = 0; k < static_cast<int>(t.run_length) / 4; ++k)
            if (t.lead_x[static_cast<size_t>(k)] - t.lead_template_before >= 0 &&
                t.lead_x[static_cast<size_t>(k)] + t.lead_template_after <= 2448)
                lead = k;
        return lead;
    }
    // The trail frame: the first of the run's second half whose trail template lies in the view.
    int TrueTrail() const
    {
        const int n = static_cast<int>(t.run_length);
        for (int k = n - n / 2; k < n; ++k)
            if (t.trail_x[static_cast<size_t>(k)] - t.trail_template_before >= 0 &&
                t.trail_x[static_cast<size_t>(k)] + t.trail_template_after <= 2448)
                return k;
        return n - 1;
    }

    const SyntheticExperimentTruth &t;
};

TEST_F(MontagePipelineTest, MeniscusFramesSplitRowAndShiftAreTheGeneratorsTruth)
{
    ExperimentData e;
    std::string error;
    ASSERT_TRUE(e.Open(t.folder, &error)) << error;
    ASSERT_TRUE(e.ReadCaptureLog(e.m_log_path, &error)) << error;
    ASSERT_TRUE(e.ReadSettings(e.m_settings_path, error));
    ASSERT_TRUE(e.LoadOrDetectChannelPosition(t.folder, e.m_settings_path, error)) << error;
    ASSERT_TRUE(e.ComputeAutoContrast(_experiment_contrast));
    ASSERT_TRUE(FindLeadMeniscusByTemplate(t.folder, e, error)) << error;
    ASSERT_TRUE(FindTrailMeniscusByTemplate(t.folder, e, error)) << error;
    ASSERT_TRUE(ComputeSplitLine(e, error)) << error;
    ASSERT_TRUE(ComputeFrameDisplacement(e, error)) << error;

    const int lead = TrueLead(), trail = TrueTrail();
    EXPECT_EQ(_lead_meniscus.frame_index, lead);
    EXPECT_NEAR(_lead_meniscus.x, t.lead_x[static_cast<size_t>(lead)] - t.lead_template_before, 2.0);
    EXPECT_TRUE(_trail_meniscus.found);
    EXPECT_EQ(_trail_meniscus.frame_index, trail);
    const double trail_left = t.trail_x[static_cast<size_t>(trail)] - t.trail_template_before;
    EXPECT_NEAR(_trail_meniscus.distance_to_right_edge, 2448 - trail_left, 2.0);
    // Equal pump speeds: the generator's split line, the channel's middle row, in the cut frame.
    EXPECT_NEAR(_flow_analysis.split_row, t.centre_row - (400 - 100), 0.5);
    EXPECT_EQ(_flow_analysis.shift_px_per_frame, t.shift_px_per_frame);
    EXPECT_EQ(t.shift_px_per_frame, 150);

    // The montage: its size follows from the pieces, its seams continue the sample.
    ASSERT_TRUE(ComposeMontage(t.folder, e, _experiment_contrast, "montage", error)) << error;
    const cv::Mat montage = cv::imread(t.folder + "/montage.png", cv::IMREAD_UNCHANGED);
    const int s = t.shift_px_per_frame, W = 2448, m = 100;
    const double d = std::max<double>(s, _trail_meniscus.distance_to_right_edge);
    const int loop_end = (W - s) + (trail - lead) * s;
    ASSERT_EQ(montage.rows, 1601 - 300);
    ASSERT_EQ(montage.cols, loop_end + (W - static_cast<int>(W - d - m) - m));

    // Montage column c shows the sample where the lead frame would show it at column c; frame
    // L + j shows that at column c - j s. Compare each 100-column band with the generator's frame
    // that holds it well inside its view (away from the split-line bars), through the same contrast.
    const int split = static_cast<int>(_flow_analysis.split_row);
    for (int band = 0; band + 100 <= loop_end; band += 100) {
        SCOPED_TRACE("columns " + std::to_string(band));
        int j = 0;
        while (band - j * s > 1100)
            ++j;
        const int x0 = band - j * s;
        const cv::Mat expected = vantelis::test::RenderSyntheticBrightfield(
            MontageParams(), static_cast<int>(t.run_first) + lead + j);
        double sum = 0.0;
        int count = 0;
        for (int r = 0; r < montage.rows; r += 3) {
            if (std::abs(r - split) <= 3)
                continue;
            for (int k = 0; k < 100; ++k) {
                const int level =
                    ContrastLevel(expected.at<uint16_t>(r + 300, x0 + k), _experiment_contrast.bf_low,
                                  _experiment_contrast.bf_high, _experiment_contrast.bf_out_max);
                sum += std::abs(montage.at<cv::Vec3b>(r, band + k)[1] - level);
                ++count;
            }
        }
        EXPECT_LE(sum / count, 2.0);
    }
}

TEST_F(MontagePipelineTest, CreateMontageImageWritesBothFilesAndResetsTheResults)
{
    fs::create_directories(t.folder + "/Montage");
    std::string error;
    ASSERT_TRUE(CreateMontageImage(t.folder, false, false, "Montage/flow", error)) << error;
    const cv::Mat montage = cv::imread(t.folder + "/Montage/flow.png");
    const cv::Mat small = cv::imread(t.folder + "/Montage/flow.small.png");
    ASSERT_FALSE(montage.empty());
    EXPECT_EQ(small.size(), cv::Size(montage.cols / 4, montage.rows / 4));
    EXPECT_EQ(_lead_meniscus.scale, 2);
    EXPECT_TRUE(_lead_meniscus.matched.empty());
    EXPECT_EQ(_trail_meniscus.frame_index, 0.0);
    EXPECT_EQ(_flow_analysis.split_row, 0.0);
    EXPECT_EQ(_flow_analysis.shift_px_per_frame, 0.0);

    // A folder that is no experiment: false, with the reason.
    const std::string empty = m_dir.file("empty");
    fs::create_directories(empty);
    error = "before";
    EXPECT_FALSE(CreateMontageImage(empty, false, false, "m", error));
    EXPECT_EQ(error, "No capture log (*.log) in the experiment folder: " + empty);
    // An experiment whose capture log has no records: false, the caller's text left as it was.
    const std::string noRecords = m_dir.file("no-records");
    fs::create_directories(noRecords);
    vantelis::test::WriteFileBytes(noRecords + "/run.log", "ImageFile\tDate\r\n");
    vantelis::test::WriteFileBytes(noRecords + "/ExperimentSettings.ini", "[Cartridge]\r\n");
    error = "before";
    EXPECT_FALSE(CreateMontageImage(noRecords, false, false, "m", error));
    EXPECT_EQ(error, "before");
}

TEST_F(MontagePipelineTest, UserInterfaceCommandDoesNotWaitForARunningAnalysis)
{
    std::unique_lock<std::mutex> running(ExclusiveAnalysisMutex());
    std::string error;
    bool busy = false;
    EXPECT_FALSE(TryCreateMontageImage(t.folder, false, false, "busy", error, busy));
    EXPECT_TRUE(busy);
    EXPECT_FALSE(fs::exists(t.folder + "/busy.png"));
    running.unlock();
    // Once the other run has ended the command runs.
    EXPECT_TRUE(TryCreateMontageImage(t.folder, false, false, "free", error, busy)) << error;
    EXPECT_FALSE(busy);
    EXPECT_TRUE(fs::exists(t.folder + "/free.png"));
}

} // namespace
