// The meniscus frame searches on small hand-made frames and templates, the split line from the
// pump speeds, and the sample's displacement per frame.
#include "experiment/MeniscusFrames.h"
#include "ExperimentTestSupport.h"

#include <gmock/gmock.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <filesystem>
#include <functional>
#include <map>

using ::testing::HasSubstr;
using ::testing::StartsWith;
using vantelis::test::WriteFileBytes;
namespace fs = std::filesystem;

namespace {

constexpr int kWidth = 240;
constexpr int kTop = 20; // channel rows [20, 100) of a 120-row frame
constexpr int kEnd = 100;

CaptureLogRecord Record(double speed1, double speed2, uint32_t time_ms = 0, const std::string &file = "")
{
    CaptureLogRecord r;
    r.pump1_speed = speed1;
    r.pump2_speed = speed2;
    r.capture_time_ms = time_ms;
    r.images.brightfield.file_name = file;
    return r;
}

ExperimentData RunOf(const std::vector<CaptureLogRecord> &records)
{
    ExperimentData e;
    e.m_selected_run = records;
    e.m_upper_channel = kTop;
    e.m_lower_channel_end = kEnd;
    e.m_pixels_per_mm = 500.0;
    return e;
}

class MeniscusFramesTest : public ExperimentTest
{
  protected:
    MeniscusFramesTest() { ResetSampleFlowResults(); }
    ~MeniscusFramesTest() override { ResetSampleFlowResults(); }

    // A noisy frame with a dark disc of the diameter centred at column x (none when x < 0).
    static cv::Mat Frame(int seed, int x, int diameter = 40, int rows = 120)
    {
        cv::Mat image(rows, kWidth, CV_8U);
        cv::RNG rng(static_cast<uint64_t>(seed) + 1);
        rng.fill(image, cv::RNG::NORMAL, 170, 8);
        if (x >= 0)
            cv::circle(image, cv::Point(x, (kTop + kEnd) / 2), diameter / 2, cv::Scalar(30), cv::FILLED);
        return image;
    }

    // A run of n frames named f<i>.png in the experiment folder, the disc in the frames listed.
    ExperimentData Frames(int n, const std::map<int, int> &disc_at, int diameter = 40, int rows = 120)
    {
        std::vector<CaptureLogRecord> records;
        for (int i = 0; i < n; ++i) {
            const std::string name = "f" + std::to_string(i) + ".png";
            const auto it = disc_at.find(i);
            cv::imwrite(m_folder + "/" + name,
                        Frame(i, it == disc_at.end() ? -1 : it->second, diameter, rows));
            records.push_back(Record(10, 10, 0, name));
        }
        return RunOf(records);
    }

    // A template of the disc: 40 columns by the channel's 80 rows, cut around a disc of 40.
    void Template(const char *kind, const std::string &name = "t1.png")
    {
        const std::string folder = m_dir.str() + "/data/Templates/" + kind;
        fs::create_directories(folder);
        cv::imwrite(folder + "/" + name, Frame(999, 100)(cv::Rect(80, kTop, 40, kEnd - kTop)));
    }

    std::string m_folder = [this] {
        const std::string f = m_dir.file("exp");
        fs::create_directories(f);
        return f;
    }();
    std::string m_error;
};

TEST_F(MeniscusFramesTest, WithoutTemplatesTheRunsQuartersAreExaminedAndNothingIsFound)
{
    const ExperimentData e = Frames(40, {});
    ASSERT_TRUE(FindLeadMeniscusByTemplate(m_folder, e, m_error)) << m_error;
    ASSERT_TRUE(FindTrailMeniscusByTemplate(m_folder, e, m_error)) << m_error;
    EXPECT_EQ(_lead_meniscus.frame_count, 10);
    EXPECT_EQ(_lead_meniscus.matched, std::vector<bool>(10, false));
    EXPECT_EQ(_lead_meniscus.frame_index, 0.0);
    EXPECT_EQ(_lead_meniscus.template_width, 0.0);
    EXPECT_EQ(_trail_meniscus.frame_count, 20);
    EXPECT_FALSE(_trail_meniscus.found);
    EXPECT_EQ(_trail_meniscus.frame_index, 39.0);
    EXPECT_EQ(_trail_meniscus.distance_to_right_edge, 0.0);
}

TEST_F(MeniscusFramesTest, LeadIsTheLatestSightingInTheFirstQuarterTrailTheFirstInTheSecondHalf)
{
    Template("lead-meniscus-templates");
    Template("trail-meniscus-templates");
    // Lead discs in frames 2 and 5 (and 12, past the first quarter); trail discs in frames 15 (before
    // the second half), 25 and 30.
    const ExperimentData e = Frames(40, {{2, 60}, {5, 150}, {12, 100}, {15, 100}, {25, 181}, {30, 60}});
    ASSERT_TRUE(FindLeadMeniscusByTemplate(m_folder, e, m_error)) << m_error;
    ASSERT_TRUE(FindTrailMeniscusByTemplate(m_folder, e, m_error)) << m_error;

    EXPECT_EQ(_lead_meniscus.frame_index, 5.0);
    std::vector<bool> flags(10, false);
    flags[5] = true; // the search stops at the first (latest) sighting
    EXPECT_EQ(_lead_meniscus.matched, flags);
    // The template's left edge lies 20 columns left of the disc centre, found at half resolution.
    EXPECT_NEAR(_lead_meniscus.x, 130.0, 2.0);
    EXPECT_EQ(_lead_meniscus.template_width, 40.0);
    EXPECT_EQ(_lead_meniscus.template_files.size(), 1u);

    EXPECT_TRUE(_trail_meniscus.found);
    EXPECT_EQ(_trail_meniscus.frame_index, 25.0);
    EXPECT_NEAR(_trail_meniscus.x, 161.0, 2.0);
    EXPECT_EQ(_trail_meniscus.distance_to_right_edge, kWidth - _trail_meniscus.x);
    EXPECT_EQ(_trail_meniscus.template_width, 26.0); // (int)(20 x 2 / 1.5)
}

TEST_F(MeniscusFramesTest, TemplateTallerThanTheFrameShrinksToItsHeightKeepingItsShape)
{
    Template("lead-meniscus-templates");
    // Frames of 60 rows whose channel rows are cut to 40 at full size (20 halved); the template
    // halves to 20 x 40 and then shrinks to 10 x 20, matching a disc of 20.
    ExperimentData e = Frames(8, {{1, 100}}, 20, 120);
    e.m_upper_channel = kTop + 20;
    e.m_lower_channel_end = kEnd - 20;
    ASSERT_TRUE(FindLeadMeniscusByTemplate(m_folder, e, m_error)) << m_error;
    EXPECT_EQ(_lead_meniscus.frame_index, 1.0);
    EXPECT_EQ(_lead_meniscus.template_width, 20.0);
}

TEST_F(MeniscusFramesTest, UnreadableFramesTemplatesAndRowsFailWithTheStepsPrefix)
{
    struct Case
    {
        const char *what;
        bool lead;
        std::function<void(ExperimentData &)> spoil;
    } cases[] = {
        {"missing frame", true,
         [](ExperimentData &e) { e.m_selected_run[1].images.brightfield.file_name = "no.png"; }},
        {"channel below the image", true, [](ExperimentData &e) { e.m_lower_channel_end = 500; }},
        {"missing frame", false,
         [](ExperimentData &e) { e.m_selected_run[5].images.brightfield.file_name = "no.png"; }},
    };
    Template("lead-meniscus-templates");
    Template("trail-meniscus-templates");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ResetSampleFlowResults();
        ExperimentData e = Frames(8, {});
        c.spoil(e);
        m_error.clear();
        const bool ok = c.lead ? FindLeadMeniscusByTemplate(m_folder, e, m_error)
                               : FindTrailMeniscusByTemplate(m_folder, e, m_error);
        EXPECT_FALSE(ok);
        EXPECT_THAT(m_error, StartsWith(c.lead ? "Function Lead Meniscus Index: "
                                               : "Function Trail Meniscus Index: "));
    }
    // A file that is not an image in the template folder.
    WriteFileBytes(m_dir.str() + "/data/Templates/lead-meniscus-templates/t0.png", "not a png");
    m_error.clear();
    EXPECT_FALSE(FindLeadMeniscusByTemplate(m_folder, Frames(8, {}), m_error));
    EXPECT_THAT(m_error, HasSubstr("t0.png"));
}

// The root of 3f^2 - 2f^3 = p2 / (p1 + p2) in [0, 1), by bisection (the function rises there).
double Root(double p1, double p2)
{
    const double target = p2 / (p1 + p2);
    double lo = 0.0, hi = 1.0;
    for (int i = 0; i < 60; ++i) {
        const double mid = (lo + hi) / 2;
        (3 * mid * mid - 2 * mid * mid * mid < target ? lo : hi) = mid;
    }
    return lo;
}

TEST_F(MeniscusFramesTest, SplitLineFollowsTheMidRunPumpSpeeds)
{
    struct Case
    {
        const char *what;
        std::vector<std::pair<double, double>> speeds;
        double mid1, mid2;
    } cases[] = {
        {"equal speeds: the channel middle", {{10, 10}, {10, 10}, {10, 10}}, 10, 10},
        {"odd count: the middle record, not the median", {{10, 5}, {30, 5}, {20, 5}}, 30, 5},
        {"even count: the mean of the two middle records", {{1, 2}, {3, 4}, {5, 8}, {7, 8}}, 4, 6},
        {"pump 1 stopped: all from pump 2", {{0, 10}, {0, 10}}, 0, 10},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ResetSampleFlowResults();
        std::vector<CaptureLogRecord> records;
        for (const auto &[s1, s2] : c.speeds)
            records.push_back(Record(s1, s2));
        ASSERT_TRUE(ComputeSplitLine(RunOf(records), m_error)) << m_error;
        EXPECT_EQ(_flow_analysis.pump1_speed_mid, c.mid1);
        EXPECT_EQ(_flow_analysis.pump2_speed_mid, c.mid2);
        const double f = Root(c.mid1, c.mid2);
        EXPECT_NEAR(_flow_analysis.split_percent, (f - 0.5) * 100.0, 0.03);
        const double h = kEnd - kTop;
        EXPECT_NEAR(_flow_analysis.split_row, (1.0 - f) * h + 100.0, 0.03 * h / 100 + 1e-9);
        EXPECT_EQ(_flow_analysis.half_channel_height, h / 2);
    }
    // Equal speeds have the exact root 0.5: the line lies on the channel's middle row.
    ResetSampleFlowResults();
    ASSERT_TRUE(ComputeSplitLine(RunOf({Record(7, 7)}), m_error));
    EXPECT_EQ(_flow_analysis.split_percent, 0.0);
    EXPECT_EQ(_flow_analysis.split_row, (kEnd - kTop) / 2.0 + 100.0);
}

TEST_F(MeniscusFramesTest, SplitLineRefusesWhenPumpTwoDoesNotRun)
{
    const std::pair<double, double> cases[] = {{5, 0}, {0, 0}, {5, -1}};
    for (const auto &[s1, s2] : cases) {
        SCOPED_TRACE(std::to_string(s1) + " / " + std::to_string(s2));
        ResetSampleFlowResults();
        m_error.clear();
        EXPECT_FALSE(ComputeSplitLine(RunOf({Record(s1, s2), Record(s1, s2), Record(s1, s2)}), m_error));
        EXPECT_THAT(m_error, StartsWith("Function Calculate SplitLine: "));
        EXPECT_THAT(m_error, HasSubstr("pump 2 must run"));
        EXPECT_EQ(_flow_analysis.split_row, 0.0);
        EXPECT_FALSE(std::isnan(_flow_analysis.split_percent));
    }
    m_error.clear();
    EXPECT_FALSE(ComputeSplitLine(RunOf({}), m_error));
    EXPECT_THAT(m_error, StartsWith("Function Calculate SplitLine: "));
}

TEST_F(MeniscusFramesTest, FrameDisplacement)
{
    struct Case
    {
        const char *what;
        std::vector<CaptureLogRecord> run;
        double pixels_per_mm;
        double mean_speed, total_ms, shift_px;
    } cases[] = {
        // 10.6 per record: running totals 10, 20, 30 (each truncated), mean 10.
        {"truncated running totals",
         {Record(5.3, 5.3, 0), Record(5.3, 5.3, 1000), Record(5.3, 5.3, 2000)},
         500,
         10,
         2000,
         20}, // 10 / 60 x 1 s = 0.1667 uL, x 0.25 = 0.04167 mm, x 500 = 20.8
        {"32-bit clock wrap", {Record(24, 24, 0xFFFFFFFFu - 295u), Record(24, 24, 200)}, 500, 48, 496, 49},
        {"1.5 s frames at 48 uL/min: 150 columns",
         {Record(24, 24, 0), Record(24, 24, 1500), Record(24, 24, 3000), Record(24, 24, 4500)},
         500,
         48,
         4500,
         150},
        // 200 uL/min over 1.5 s: 5 uL, 1.25 mm, at -1 mm per pixel -1.25 columns.
        {"no calibration: negative shift",
         {Record(100, 100, 0), Record(100, 100, 1500)},
         -1.0,
         200,
         1500,
         -1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ResetSampleFlowResults();
        ExperimentData e = RunOf(c.run);
        e.m_pixels_per_mm = c.pixels_per_mm;
        ASSERT_TRUE(ComputeFrameDisplacement(e, m_error)) << m_error;
        EXPECT_EQ(_flow_analysis.mean_total_speed, c.mean_speed);
        EXPECT_EQ(_flow_analysis.total_time_ms, c.total_ms);
        EXPECT_DOUBLE_EQ(_flow_analysis.mm_per_pixel, 1.0 / c.pixels_per_mm);
        const double n = static_cast<double>(c.run.size());
        const double volume = c.mean_speed / 60.0 * (c.total_ms / 1000.0 / (n - 1));
        EXPECT_DOUBLE_EQ(_flow_analysis.volume_per_frame_ul, volume);
        EXPECT_DOUBLE_EQ(_flow_analysis.shift_mm_per_frame, volume * 0.25);
        EXPECT_DOUBLE_EQ(_flow_analysis.run_volume_ul, (n - 2) * volume);
        EXPECT_EQ(_flow_analysis.shift_px_per_frame, c.shift_px);
    }
}

TEST_F(MeniscusFramesTest, DisplacementNeedsTwoFrames)
{
    for (size_t n : {0u, 1u}) {
        SCOPED_TRACE(n);
        ResetSampleFlowResults();
        m_error.clear();
        EXPECT_FALSE(
            ComputeFrameDisplacement(RunOf(std::vector<CaptureLogRecord>(n, Record(5, 5))), m_error));
        EXPECT_THAT(m_error, StartsWith("Function Calculate PixelShiftperFrame: "));
        EXPECT_EQ(_flow_analysis.shift_px_per_frame, 0.0);
    }
}

} // namespace
