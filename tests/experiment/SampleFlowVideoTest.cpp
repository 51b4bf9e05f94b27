// Colour frames through the contrast windows, the choice of video frames, and the sample-flow
// video of a generated experiment decoded back.
#include "experiment/SampleFlowVideo.h"
#include "ExperimentTestSupport.h"
#include "experiment/MeniscusFrames.h"
#include "support/SyntheticExperiment.h"

#include <gmock/gmock.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>

#include <filesystem>

using ::testing::HasSubstr;
using vantelis::test::SyntheticExperimentParams;
using vantelis::test::SyntheticExperimentTruth;
namespace fs = std::filesystem;

namespace {

class SampleFlowVideoTest : public ExperimentTest
{
  protected:
    SampleFlowVideoTest() { ResetSampleFlowResults(); }
    ~SampleFlowVideoTest() override { ResetSampleFlowResults(); }
};

TEST_F(SampleFlowVideoTest, ContrastWindowStretchesRoundsAndClamps)
{
    struct Case
    {
        double sample;
        uint16_t low, high;
        uint8_t out_max;
        int level;
    } cases[] = {
        {2000, 1000, 3000, 180, 90},
        {500, 1000, 3000, 180, 0},
        {4000, 1000, 3000, 180, 255}, // 270 clamped
        {1006, 1000, 3000, 180, 1},   // 0.54 rounds up
        {1005, 1000, 3000, 180, 0},   // 0.45 does not
        // A window without width (no reference image for the channel) is the full 16-bit range.
        {65535, 65535, 65535, 150, 150},
        {32768, 65535, 65535, 255, 128},
        {0, 65535, 65535, 255, 0},
        {65535, 3000, 1000, 200, 200}, // reversed
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.sample) + " in " + std::to_string(c.low) + ".." +
                     std::to_string(c.high));
        EXPECT_EQ(ContrastLevel(c.sample, c.low, c.high, c.out_max), c.level);
    }
}

cv::Mat Pixels(std::initializer_list<uint16_t> values)
{
    cv::Mat image(1, static_cast<int>(values.size()), CV_16U);
    int i = 0;
    for (uint16_t v : values)
        image.at<uint16_t>(0, i++) = v;
    return image;
}

TEST_F(SampleFlowVideoTest, ColorFrameIsGreyBrightfieldWithFluorescenceAddedIntoGreenAndRed)
{
    ColorFrameContrast contrast;
    contrast.bf_low = 1000;
    contrast.bf_high = 3000;
    contrast.bf_out_max = 180;
    contrast.fl1_low = 100;
    contrast.fl1_high = 1100;
    contrast.fl1_out_max = 100;
    contrast.fl2_low = 0;
    contrast.fl2_high = 1000;
    contrast.fl2_out_max = 200;
    const cv::Mat bf = Pixels({2000, 500, 4000}), fl1 = Pixels({1100, 0, 600}), fl2 = Pixels({500, 1000, 0});

    cv::Mat frame;
    ASSERT_TRUE(ComposeColorFrame(contrast, bf, cv::Mat(), cv::Mat(), frame)); // excluded channels unused
    ASSERT_EQ(frame.type(), CV_8UC3);
    EXPECT_EQ(frame.at<cv::Vec3b>(0, 0), cv::Vec3b(90, 90, 90));
    EXPECT_EQ(frame.at<cv::Vec3b>(0, 1), cv::Vec3b(0, 0, 0));
    EXPECT_EQ(frame.at<cv::Vec3b>(0, 2), cv::Vec3b(255, 255, 255));

    contrast.include_fl1 = contrast.include_fl2 = true;
    ASSERT_TRUE(ComposeColorFrame(contrast, bf, fl1, fl2, frame));
    // Green: grey + (v - 100) x 100 / 1000 rounded (a sample below the window takes some away).
    // Red: grey + v x 200 / 1000. Blue stays grey.
    EXPECT_EQ(frame.at<cv::Vec3b>(0, 0), cv::Vec3b(90, 190, 190));
    EXPECT_EQ(frame.at<cv::Vec3b>(0, 1), cv::Vec3b(0, 0, 200));
    EXPECT_EQ(frame.at<cv::Vec3b>(0, 2), cv::Vec3b(255, 255, 255));

    const struct
    {
        const char *what;
        cv::Mat bf, fl1, fl2;
    } refused[] = {
        {"no brightfield", cv::Mat(), fl1, fl2},
        {"included fluorescence 1 missing", bf, cv::Mat(), fl2},
        {"included fluorescence 2 missing", bf, fl1, cv::Mat()},
        {"fluorescence of another size", bf, Pixels({1, 2}), fl2},
    };
    for (const auto &c : refused) {
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(ComposeColorFrame(contrast, c.bf, c.fl1, c.fl2, frame));
    }
}

TEST_F(SampleFlowVideoTest, VideoFramesAreAThinnedLeadInAndTheWholeRun)
{
    struct Case
    {
        int n, run_start;
        std::vector<int> lead_in; // empty: refused
        bool selected;
    } cases[] = {
        {30, 10, {3, 4, 5, 6}, true}, {30, 9, {}, false},  {30, 29, {}, false}, // the last record
        {260, 203, {}, true},         {30, -1, {}, false}, // the run's first image is not in the records
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.n) + " records, run at " + std::to_string(c.run_start));
        ExperimentData e;
        e.m_folder = m_dir.str();
        for (int i = 0; i < c.n; ++i) {
            CaptureLogRecord r;
            r.images.brightfield.file_name = "b" + std::to_string(i) + ".png";
            r.brightfield_exposure_us = 1000 + i;
            if (i % 2 == 0) {
                r.images.fluorescence1.file_name = "g" + std::to_string(i) + ".png";
                r.fluorescence1_exposure_us = 5000 + i;
            }
            e.m_records.push_back(r);
        }
        CaptureLogRecord first;
        first.images.brightfield.file_name =
            c.run_start < 0 ? "other.png" : "b" + std::to_string(c.run_start) + ".png";
        e.m_selected_run = {first};
        std::vector<ChannelImageSet> frames(3);
        ASSERT_EQ(SelectVideoFrames(e, frames), c.selected);
        if (!c.selected) {
            EXPECT_TRUE(frames.empty());
            continue;
        }
        std::vector<int> taken;
        for (const ChannelImageSet &set : frames)
            taken.push_back(std::stoi(fs::path(set.brightfield.file_name).stem().string().substr(1)));
        std::vector<int> expected = c.lead_in;
        if (c.run_start == 203) {
            // count 100: j = 3 .. 99 gives (int)(j x 199 / 99 + 0.5), from record 6 to record 199.
            for (int j = 3; j < 100; ++j)
                expected.push_back(static_cast<int>(j * 199.0 / 99.0 + 0.5));
            EXPECT_EQ(expected.size(), 97u);
            EXPECT_EQ(expected.front(), 6);
            EXPECT_EQ(expected.back(), 199);
        }
        for (int k = c.run_start; k < c.n; ++k)
            expected.push_back(k);
        EXPECT_EQ(taken, expected);
        // Slots hold full paths and their own exposures; an empty slot stays empty.
        const ChannelImageSet &odd = frames[1], &even = frames[0];
        EXPECT_EQ(even.brightfield.file_name, m_dir.str() + "/b" + std::to_string(taken[0]) + ".png");
        EXPECT_EQ(even.brightfield.exposure_us, 1000 + taken[0]);
        if (taken[0] % 2 == 0) {
            EXPECT_EQ(even.fluorescence1.file_name, m_dir.str() + "/g" + std::to_string(taken[0]) + ".png");
            EXPECT_EQ(even.fluorescence1.exposure_us, 5000 + taken[0]);
        }
        if (taken[1] % 2 == 1) {
            EXPECT_TRUE(odd.fluorescence1.file_name.empty());
            EXPECT_EQ(odd.fluorescence1.exposure_us, 0.0);
        }
        EXPECT_TRUE(even.fluorescence2.file_name.empty());
    }
}

TEST_F(SampleFlowVideoTest, SplitLineIsBlueAcrossTheFrameCentredOnTheTruncatedRow)
{
    cv::Mat frame(200, 50, CV_8UC3, cv::Scalar(80, 80, 80));
    DrawSplitLine(frame, 120.9);
    // The image library's line of thickness 3 covers two rows either side of its centre.
    for (int row = 115; row <= 125; ++row) {
        SCOPED_TRACE(row);
        const bool line = row >= 118 && row <= 122;
        EXPECT_EQ(frame.at<cv::Vec3b>(row, 0), line ? cv::Vec3b(255, 0, 0) : cv::Vec3b(80, 80, 80));
        EXPECT_EQ(frame.at<cv::Vec3b>(row, 49), line ? cv::Vec3b(255, 0, 0) : cv::Vec3b(80, 80, 80));
    }
}

// A generated experiment whose pumped run starts at record 10: the video's lead-in is records
// 3 to 6, then the 12 records of the run.
const SyntheticExperimentTruth &VideoExperiment()
{
    static vantelis::test::TempDir dir;
    static const SyntheticExperimentTruth truth = [] {
        SyntheticExperimentParams params;
        params.unpumped_frames = 10;
        params.pumped_frames = 12;
        params.noise = false;
        params.pump1_speed = params.pump2_speed = 10.0; // the split line on the channel's middle row
        return vantelis::test::WriteSyntheticExperiment(dir.str(), params);
    }();
    return truth;
}

TEST_F(SampleFlowVideoTest, VideoOfAGeneratedExperimentDecodesWithItsFramesAndTheSplitLine)
{
    const SyntheticExperimentTruth &t = VideoExperiment();
    theApp.m_data_directory = t.data_folder;
    fs::create_directories(t.folder + "/Video");
    std::string error;
    ASSERT_TRUE(CreateSampleFlowVideo(t.folder, false, false, "Video/flow", error)) << error;

    cv::VideoCapture video(t.folder + "/Video/flow.avi", cv::CAP_FFMPEG);
    ASSERT_TRUE(video.isOpened());
    // The crop keeps 100 rows above and below the channel rows.
    // The frames keep 100 rows above and below the channel rows [400, 1501).
    const int crop_top = 300, rows = 1601 - crop_top;
    const int split_row = t.centre_row - crop_top; // equal pump speeds: the middle of the channel
    int count = 0;
    cv::Mat frame;
    while (video.read(frame)) {
        SCOPED_TRACE(count);
        ++count;
        ASSERT_EQ(frame.cols, 2448);
        // The encoder's 4:2:0 colour needs an even height: the odd last row is dropped.
        ASSERT_EQ(frame.rows, rows / 2 * 2);
        // The line: blue across the frame.
        for (int x : {5, 1000, 2440}) {
            const cv::Vec3b p = frame.at<cv::Vec3b>(split_row, x);
            EXPECT_GT(p[0], 200);
            EXPECT_LT(p[1], 60);
            EXPECT_LT(p[2], 60);
        }
        // Away from it the frame is grey (brightfield only) and not empty: the channel is bright,
        // the outside darker.
        const cv::Scalar channel = cv::mean(frame(cv::Rect(100, 150, 200, 40)));
        const cv::Scalar outside = cv::mean(frame(cv::Rect(100, 20, 200, 40)));
        EXPECT_NEAR(channel[0], channel[1], 3.0);
        EXPECT_NEAR(channel[1], channel[2], 3.0);
        EXPECT_GT(channel[1], outside[1] + 20.0);
    }
    EXPECT_EQ(count, 4 + 12);
}

// The error log written while a test runs.
std::string ErrorLogText(const vantelis::test::TempDir &dir)
{
    std::string text;
    if (fs::exists(dir.file("LOG")))
        for (const auto &entry : fs::directory_iterator(dir.file("LOG")))
            text += vantelis::test::ReadFileBytes(entry.path().string());
    return text;
}

int DecodedFrames(const std::string &path)
{
    cv::VideoCapture video(path, cv::CAP_FFMPEG);
    int count = 0;
    cv::Mat frame;
    while (video.isOpened() && video.read(frame))
        ++count;
    return count;
}

// Moves a file aside for one test and puts it back, also when the test fails.
class FileAside
{
  public:
    explicit FileAside(std::string path) : m_path(std::move(path)) { fs::rename(m_path, m_path + ".aside"); }
    ~FileAside() { fs::rename(m_path + ".aside", m_path); }

  private:
    std::string m_path;
};

TEST_F(SampleFlowVideoTest, SkippedFramesAndUnreadableContrastReferencesAreLogged)
{
    const SyntheticExperimentTruth &t = VideoExperiment();
    theApp.m_data_directory = t.data_folder;
    fs::create_directories(m_dir.file("LOG"));
    // A frame of the run without its brightfield image, and the eleventh record's fluorescence-1
    // image (a contrast reference, though the video shows no fluorescence) unreadable.
    const std::string missing = t.folder + "/Images/" + t.brightfield_files[t.run_first + 5];
    const std::string reference = t.folder + "/Images/" + t.fluorescence1_files[t.run_first + 10];
    FileAside aside(missing);
    FileAside unreadable(reference);
    vantelis::test::WriteFileBytes(reference, "not an image");
    std::string error;
    ASSERT_TRUE(CreateSampleFlowVideo(t.folder, false, false, "skipped", error)) << error;
    fs::remove(reference);

    // The frame is still left out and the missing reference still gives the full window...
    EXPECT_EQ(DecodedFrames(t.folder + "/skipped.avi"), 4 + 12 - 1);
    EXPECT_EQ(_experiment_contrast.fl1_low, 65535);
    EXPECT_EQ(_experiment_contrast.fl1_high, 65535);
    // ...but both are in the error log, by name.
    const std::string log = ErrorLogText(m_dir);
    EXPECT_THAT(log, HasSubstr("skipped, its images cannot be read: " + missing));
    EXPECT_THAT(log,
                HasSubstr("Contrast reference image cannot be read, the full window is used: " + reference));
    fs::remove(t.folder + "/skipped.avi");
}

TEST_F(SampleFlowVideoTest, VideoFailures)
{
    const SyntheticExperimentTruth &t = VideoExperiment();
    theApp.m_data_directory = t.data_folder;
    std::string error = "before";
    // No capture log: false, with the reason the folder cannot be read.
    const std::string empty = m_dir.file("empty");
    fs::create_directories(empty);
    EXPECT_FALSE(CreateSampleFlowVideo(empty, false, false, "v", error));
    EXPECT_EQ(error, "No capture log (*.log) in the experiment folder: " + empty);
    // A capture log without records: false, the text as it was.
    const std::string noRecords = m_dir.file("no-records");
    fs::create_directories(noRecords);
    vantelis::test::WriteFileBytes(noRecords + "/run.log", "ImageFile\tDate\r\n");
    vantelis::test::WriteFileBytes(noRecords + "/ExperimentSettings.ini", "[Cartridge]\r\n");
    error = "before";
    EXPECT_FALSE(CreateSampleFlowVideo(noRecords, false, false, "v", error));
    EXPECT_EQ(error, "before");

    error.clear();
    EXPECT_FALSE(CreateSampleFlowVideo(t.folder, false, false, "missing-folder/v", error));
    EXPECT_EQ(error, "Can't open VideoWriter object.");
    EXPECT_FALSE(fs::exists(t.folder + "/missing-folder"));

    // A run that starts before record 10.
    SyntheticExperimentParams params;
    params.all_images = false;
    params.noise = false;
    const SyntheticExperimentTruth early =
        vantelis::test::WriteSyntheticExperiment(m_dir.file("early"), params);
    theApp.m_data_directory = early.data_folder;
    error.clear();
    EXPECT_FALSE(CreateSampleFlowVideo(early.folder, false, false, "v", error));
    EXPECT_EQ(error, "error in getting images for video creation.");
    EXPECT_FALSE(fs::exists(early.folder + "/v.avi"));
}

} // namespace
