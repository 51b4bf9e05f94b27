#include "app/Renderer.h"

#include "Ostravo/LogError.h"
#include "platform/Files.h"
#include "support/TempDir.h"

#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>

namespace {

// Window colours as stored in a frame: blue, green, red, unused.
cv::Vec4b Bgr(int red, int green, int blue)
{
    return cv::Vec4b(blue, green, red, 0);
}
const cv::Vec4b kGrey127 = Bgr(127, 127, 127);

// A view window that keeps every frame it is given.
class FakeTarget : public RenderTarget
{
  public:
    bool IsWindow() const override { return open; }
    void Present(const cv::Mat &frame, cv::Point origin) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        frames.push_back(frame.clone());
        origins.push_back(origin);
        presented.notify_all();
    }
    // Waits (generously) until count frames arrived; false when they never do.
    bool WaitForFrames(size_t count)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return presented.wait_for(lock, std::chrono::seconds(20), [&] { return frames.size() >= count; });
    }

    std::atomic<bool> open{true};
    std::mutex mutex;
    std::condition_variable presented;
    std::vector<cv::Mat> frames;
    std::vector<cv::Point> origins;
};

class FakeApp : public RenderAppLink
{
  public:
    std::string MainSettingsPath() override { return settings; }
    cv::Mat BackgroundImage(int type) override { return backgrounds[type]; }
    std::string ImageTypeComboText() override { return combo; }
    bool QueueCloseDocument(const std::string &path) override
    {
        closed.push_back(path);
        return true;
    }
    std::string settings;
    std::string combo;
    std::map<int, cv::Mat> backgrounds;
    std::vector<std::string> closed;
};

class FakeAnalysis : public RenderAnalysisLink
{
  public:
    bool ComputeHorizontalProjection(const cv::Mat &, const ImageRect &roi, const cv::Mat *background,
                                     std::vector<int32_t> &values) override
    {
        projectionBackground = background ? *background : cv::Mat();
        values.clear();
        for (int c = roi.left; c <= roi.right; ++c)
            values.push_back(c - roi.left);
        return true;
    }
    void DrawProjectionRightOfRoi(RenderJob &job, const ImageRect &roi) override
    {
        rightRoi = roi;
        epiPreviewWhenCalled = EpiPreviewRoi.Get();
        if (job.m_dc)
            job.m_dc->Line(roi.right + 2, roi.top, roi.right + 2, roi.bottom,
                           Pen{0, 255, 0, 1, PenStyle::Solid});
    }
    cv::Mat projectionBackground;
    ImageRect rightRoi;
    ImageRect epiPreviewWhenCalled{-1, -1, -1, -1};
};

class FakeTools : public RenderToolLink
{
  public:
    bool ProjectionToolShown(CalibrationLines &l) override
    {
        l = lines;
        return projectionShown;
    }
    bool FractionationToolShown(CalibrationLines &l) override
    {
        l = fractionationLines;
        return fractionationShown;
    }
    bool projectionShown = false, fractionationShown = false;
    CalibrationLines lines, fractionationLines;
};

class FakeDevices : public RenderDeviceLink
{
  public:
    void DrawVideoSymbols(DrawingSurface &, const VideoSymbolFrame &frame) override { symbolFrame = frame; }
    void ReportBrightness(int32_t median, bool within) override
    {
        reports.push_back(median);
        withinLimits.push_back(within);
    }
    VideoSymbolFrame symbolFrame;
    std::vector<int32_t> reports;
    std::vector<bool> withinLimits;
};

class FakeOperatorScreen : public RenderOperatorLink
{
  public:
    bool WindowExists() override { return exists; }
    bool IsShown() override { return shown; }
    bool LiveVideoTarget(std::shared_ptr<RenderTarget> &target, ImageRect &r, ZoomWindow &z) override
    {
        if (!live)
            return false;
        target = screen;
        r = rect;
        z = zoom;
        return true;
    }
    bool FeedHistogram(const uint16_t *, size_t n, uint16_t &lower, uint16_t &upper, std::string &) override
    {
        histogramCount = n;
        lower = markerLower;
        upper = markerUpper;
        return true;
    }
    void UpdateFlowSplitText() override { ++flowSplitTexts; }
    bool exists = false, shown = false, live = false;
    std::shared_ptr<FakeTarget> screen = std::make_shared<FakeTarget>();
    ImageRect rect;
    ZoomWindow zoom;
    size_t histogramCount = 0;
    uint16_t markerLower = 0, markerUpper = 0;
    int flowSplitTexts = 0;
};

void ResetViewGlobals()
{
    _active_roi.Set(ImageRect{});
    _preview_roi.Set(ImageRect{});
    EpiPreviewRoi.Set(ImageRect{});
    _shown_calibration_lines.Set(CalibrationLines{});
    _saved_calibration_lines.Set(SavedCalibrationLines{});
    _last_click.Set(ClickPoint{});
    _roi_hidden = false;
    _draw_projection_below_roi = false;
    _draw_projection_right_of_roi = false;
    _flow_split.Set(FlowSplit{});
}

// A 100 x 80 image at 2000 shown whole in a 100 x 80 view (frame 101 x 81): image column c and
// row r are window x = c and y = r.
class RendererTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ResetViewGlobals();
        app->settings = dir.file("Plexorin.ini");
        vantelis::test::WriteFileBytes(app->settings, "[AutoScale]\r\nLowMappingDisplayIntensity=0\r\n"
                                                      "BrightFieldHighMappingDisplayIntensity=255\r\n"
                                                      "FluorescenceHighMappingDisplayIntensity=255\r\n");
        platform::MakeFolder(dir.file("LOG"));
        previousLogFolder = GetLogSettings().dataDirectory;
        SetLogDataDirectory(dir.str().c_str());
    }
    void TearDown() override
    {
        ResetViewGlobals();
        SetLogDataDirectory(previousLogFolder.c_str());
    }

    std::unique_ptr<RenderJob> MakeJob(const std::string &path = "")
    {
        auto job = std::make_unique<RenderJob>();
        job->image = cv::Mat(80, 100, CV_16UC1, cv::Scalar(2000));
        job->target_rect = ImageRect{0, 0, 100, 80};
        job->lower_intensity = 1000;
        job->upper_intensity = 3000;
        job->path = path;
        job->target_window = view;
        return job;
    }

    // Runs job through a render thread of its own and returns the frame its window received.
    cv::Mat RenderThroughThread(std::unique_ptr<RenderJob> job)
    {
        RenderList list;
        RenderThread thread(list, renderer);
        thread.Start();
        const size_t before = view->frames.size();
        EXPECT_TRUE(list.Add(job));
        EXPECT_TRUE(view->WaitForFrames(before + 1));
        thread.Stop();
        std::lock_guard<std::mutex> lock(view->mutex);
        return view->frames.empty() ? cv::Mat() : view->frames.back();
    }

    // Every row written to the error log so far.
    std::string ErrorLogText()
    {
        std::string text;
        for (const auto &entry : platform::ListFolder(dir.file("LOG"), "Err_*.log"))
            text += vantelis::test::ReadFileBytes(dir.file("LOG/" + entry.name));
        return text;
    }

    vantelis::test::TempDir dir;
    std::string previousLogFolder;
    std::shared_ptr<FakeTarget> view = std::make_shared<FakeTarget>();
    std::shared_ptr<FakeApp> app = std::make_shared<FakeApp>();
    std::shared_ptr<FakeAnalysis> analysis = std::make_shared<FakeAnalysis>();
    std::shared_ptr<FakeTools> tools = std::make_shared<FakeTools>();
    std::shared_ptr<FakeOperatorScreen> operatorScreen = std::make_shared<FakeOperatorScreen>();
    std::shared_ptr<FakeDevices> devices = std::make_shared<FakeDevices>();
    Renderer renderer{RenderLinks{app, analysis, tools, operatorScreen, devices}};
};

} // namespace

TEST_F(RendererTest, FrameThroughTheRenderThreadShowsImageOverlayAndMarks)
{
    _shown_calibration_lines.Set(CalibrationLines{30, 70, 5, 75});
    FlowSplit split;
    split.split_line_shown = true;
    split.split_fraction = 0.25; // split row trunc(70 - 40 x 0.25) = 60
    split.drag_offset = 2;       // drawn at 62
    split.split_changed = true;
    _flow_split.Set(split);
    _active_roi.Set(ImageRect{20, 35, 45, 50});
    _preview_roi.Set(ImageRect{60, 10, 80, 25});
    EpiPreviewRoi.Set(ImageRect{62, 40, 90, 55});
    auto job = MakeJob();
    job->click_point = ClickPoint{0.9, 0.1}; // marker centre (trunc(0.9 x 99), trunc(0.1 x 79)) = (89, 7)
    job->overlay = cv::Mat(80, 100, CV_8UC1, cv::Scalar(0));
    job->overlay(cv::Rect(10, 10, 11, 11)).setTo(1);
    CellDetection cell;
    cell.x = 80;
    cell.y = 65;
    job->detections_1.push_back(cell);
    cell.x = 2; // closer than 3 pixels to the left edge: no cross
    cell.y = 30;
    job->detections_1.push_back(cell);
    cell.x = 40; // 2 rows below the window's bottom: still drawn, its upper arm shows
    cell.y = 82;
    job->detections_2.push_back(cell);

    const cv::Mat frame = RenderThroughThread(std::move(job));
    ASSERT_EQ(frame.size(), cv::Size(101, 81));
    EXPECT_EQ(view->origins.back(), cv::Point(0, 0));

    // 2000 in the window 1000..3000 onto 0..255 is 127; the red tint of grey 127 is 255, 42, 42.
    EXPECT_EQ(frame.at<cv::Vec4b>(25, 50), kGrey127);
    EXPECT_EQ(frame.at<cv::Vec4b>(15, 15), Bgr(255, 42, 42));

    // Calibration lines across the window at their rows.
    EXPECT_EQ(frame.at<cv::Vec4b>(5, 1), Bgr(255, 0, 0));      // upper magnet
    EXPECT_EQ(frame.at<cv::Vec4b>(75, 1), Bgr(0, 0, 255));     // lower magnet
    EXPECT_EQ(frame.at<cv::Vec4b>(30, 1), Bgr(255, 128, 128)); // upper channel
    EXPECT_EQ(frame.at<cv::Vec4b>(70, 1), Bgr(128, 128, 255)); // lower channel

    // Flow split: line from x = 3 at row 62; the shared record keeps the rows it drew.
    EXPECT_EQ(frame.at<cv::Vec4b>(62, 5), Bgr(100, 255, 100));
    EXPECT_EQ(frame.at<cv::Vec4b>(62, 0), kGrey127);
    const FlowSplit after = _flow_split.Get();
    EXPECT_EQ(after.upper_channel_row, 30);
    EXPECT_EQ(after.lower_channel_row, 70);
    EXPECT_EQ(after.hit_band, (ImageRect{0, 58, 100, 66}));
    EXPECT_FALSE(after.split_changed);
    EXPECT_EQ(after.split_row, 60); // recomputed: round(40 x 0.75 + 30)

    // Active ROI, dotted from its corner: two on, two off.
    EXPECT_EQ(frame.at<cv::Vec4b>(35, 20), Bgr(255, 0, 0));
    EXPECT_EQ(frame.at<cv::Vec4b>(35, 21), Bgr(255, 0, 0));
    EXPECT_EQ(frame.at<cv::Vec4b>(35, 22), kGrey127);
    EXPECT_EQ(frame.at<cv::Vec4b>(44, 45), Bgr(255, 0, 0)); // right edge, 9 rows down: on
    EXPECT_EQ(frame.at<cv::Vec4b>(40, 33), kGrey127);       // inside stays untouched

    // Preview rectangles.
    EXPECT_EQ(frame.at<cv::Vec4b>(10, 60), Bgr(0, 255, 0));
    EXPECT_EQ(frame.at<cv::Vec4b>(40, 62), Bgr(0, 0, 255));

    // Detections: the cross arms, none for the one at the edge.
    EXPECT_EQ(frame.at<cv::Vec4b>(65, 76), Bgr(255, 0, 0));
    EXPECT_EQ(frame.at<cv::Vec4b>(61, 80), Bgr(255, 0, 0));
    EXPECT_EQ(frame.at<cv::Vec4b>(30, 2), Bgr(255, 128, 128)); // only the channel line there
    EXPECT_EQ(frame.at<cv::Vec4b>(79, 40), Bgr(0, 255, 255));

    // Last-click marker: dashes of two pixels every four.
    EXPECT_EQ(frame.at<cv::Vec4b>(7, 81), Bgr(255, 0, 0));
    EXPECT_EQ(frame.at<cv::Vec4b>(7, 83), kGrey127);
    EXPECT_EQ(frame.at<cv::Vec4b>(12, 89), Bgr(255, 0, 0));

    // Video symbols are told where the image lies.
    EXPECT_EQ(devices->symbolFrame.image_rect, (ImageRect{0, 0, 99, 79}));
}

TEST_F(RendererTest, LinesOnOrOutsideTheImageEdgesAreNotDrawn)
{
    // Upper lines at row 0 and lower lines at the image height are skipped; a line whose window
    // row falls on the window's edge is skipped too.
    _shown_calibration_lines.Set(CalibrationLines{0, 80, 0, 80});
    const cv::Mat frame = RenderThroughThread(MakeJob());
    for (int row : {0, 1, 79, 80})
        EXPECT_EQ(frame.at<cv::Vec4b>(row, 1), kGrey127) << row;
}

TEST_F(RendererTest, LinesWhoseRowIsOutsideTheImageAreNotDrawn)
{
    // The zoom window starts a quarter of the image above it, so rows -1 and -10 map to window
    // rows 15 and 8, strictly inside the window; rows 20 and 30 of the image map to window rows 32
    // and 40.
    const cv::Vec4b upperMagnet = Bgr(255, 0, 0), lowerMagnet = Bgr(0, 0, 255),
                    upperChannel = Bgr(255, 128, 128), lowerChannel = Bgr(128, 128, 255);
    struct Case
    {
        const char *what;
        CalibrationLines lines; // upper channel, lower channel, upper magnet, lower magnet
        std::vector<cv::Vec4b> drawn;
    } cases[] = {
        {"nothing loaded", CalibrationLines{}, {}},
        {"rows above the image", CalibrationLines{-10, -10, -10, -10}, {}},
        {"rows below the image", CalibrationLines{80, 85, 90, 100}, {}},
        {"lower lines inside", CalibrationLines{-1, 20, -1, 30}, {lowerChannel, lowerMagnet}},
        {"upper lines inside", CalibrationLines{20, -1, 30, -1}, {upperChannel, upperMagnet}},
    };
    const std::vector<cv::Vec4b> pens = {upperMagnet, lowerMagnet, upperChannel, lowerChannel};
    for (const Case &c : cases) {
        _shown_calibration_lines.Set(c.lines);
        _flow_split.Set(FlowSplit{});
        auto job = MakeJob();
        job->zoom_window = ZoomWindow{0.0, 1.0, -0.25, 1.0};
        const cv::Mat frame = RenderThroughThread(std::move(job));
        ASSERT_FALSE(frame.empty()) << c.what;
        for (const cv::Vec4b &pen : pens) {
            // Columns 5 to 40 (dash-dot lines have gaps), clear of the last-click marker in the
            // middle.
            int found = 0;
            for (int y = 0; y < frame.rows; ++y)
                for (int x = 5; x <= 40; ++x)
                    found += frame.at<cv::Vec4b>(y, x) == pen;
            const bool expected = std::find(c.drawn.begin(), c.drawn.end(), pen) != c.drawn.end();
            EXPECT_EQ(found > 0, expected) << c.what << ": pen " << pen;
        }
        const FlowSplit split = _flow_split.Get();
        EXPECT_EQ(split.upper_channel_row, c.lines.upper_channel == 20 ? 32 : FlowSplit{}.upper_channel_row)
            << c.what;
        EXPECT_EQ(split.lower_channel_row, c.lines.lower_channel == 20 ? 32 : FlowSplit{}.lower_channel_row)
            << c.what;
    }
}

TEST_F(RendererTest, DisplayLimitsFollowTheImageType)
{
    vantelis::test::WriteFileBytes(app->settings, "[AutoScale]\r\nLowMappingDisplayIntensity=10\r\n"
                                                  "BrightFieldHighMappingDisplayIntensity=110\r\n"
                                                  "FluorescenceHighMappingDisplayIntensity=210\r\n");
    struct Case
    {
        std::string path;
        std::string combo;
        int grey;
    } cases[] = {
        // The type is the text between the last two '_' of the name.
        {"/data/Run_BrightField_17.png", "", 60}, // 1000 x 100 / 2000 + 10
        {"/data/Run_brightfield_3.png", "", 60},  // type compared ignoring case
        {"/data/Run_FL1_17.png", "", 110},        // 1000 x 200 / 2000 + 10
        {"/data/FL1_17.png", "", 60},             // one '_' carries no type: bright field
        {"/data/image.png", "", 60},              // no type: bright field
        {"", "FL2", 110},                         // live image: the combo's type
        {"", "BrightField", 60},
    };
    for (const Case &c : cases) {
        app->combo = c.combo;
        auto job = MakeJob(c.path);
        cv::Mat frame(81, 101, CV_8UC4);
        ASSERT_TRUE(renderer.RenderImageJob(*job, frame));
        EXPECT_EQ(frame.at<cv::Vec4b>(25, 50), Bgr(c.grey, c.grey, c.grey)) << c.path << c.combo;
    }

    // Without settings the defaults 25 and 200 apply: 1000 x 175 / 2000 + 25 = 112.5 -> 112.
    app->settings = dir.file("missing.ini");
    auto job = MakeJob("/data/BF.png");
    cv::Mat frame(81, 101, CV_8UC4);
    ASSERT_TRUE(renderer.RenderImageJob(*job, frame));
    EXPECT_EQ(frame.at<cv::Vec4b>(25, 50), Bgr(112, 112, 112));
}

TEST_F(RendererTest, ProjectionsBesideTheRoi)
{
    _active_roi.Set(ImageRect{20, 35, 45, 50});
    EpiPreviewRoi.Set(ImageRect{1, 2, 3, 4});
    _draw_projection_below_roi = true;
    _draw_projection_right_of_roi = true;
    auto job = MakeJob();
    job->m_background = cv::Mat(80, 100, CV_16UC1, cv::Scalar(5));
    cv::Mat frame(81, 101, CV_8UC4);
    ASSERT_TRUE(renderer.RenderImageJob(*job, frame));

    // Below: the fake projection gives 0..25 over the 26 ROI columns; the box spans rows 51..53
    // (p = 16 / 4), drawn at rows 52..54; value 13 lands at x = round(20 + 13/26 x 25) = 33 and
    // y = round(51 + (1 - 13/26) x 2) = 52, over the frame's top edge.
    EXPECT_EQ(frame.at<cv::Vec4b>(52, 22), Bgr(192, 192, 0));
    EXPECT_EQ(frame.at<cv::Vec4b>(52, 33), Bgr(255, 0, 0));
    EXPECT_EQ(frame.at<cv::Vec4b>(54, 40), Bgr(192, 192, 0));
    EXPECT_EQ(analysis->projectionBackground.rows, 80) << "the job's background is handed on";

    // Right: drawn by the analysis code through the job's surface, with the preview of the epi
    // editor emptied first.
    EXPECT_EQ(analysis->rightRoi, (ImageRect{20, 35, 45, 50}));
    EXPECT_EQ(analysis->epiPreviewWhenCalled, ImageRect{});
    EXPECT_EQ(frame.at<cv::Vec4b>(40, 47), Bgr(0, 255, 0));

    // A live image of type 2 uses the application's background of that type.
    job = MakeJob();
    job->m_image_type = 2;
    app->backgrounds[2] = cv::Mat(7, 7, CV_16UC1, cv::Scalar(1));
    ASSERT_TRUE(renderer.RenderImageJob(*job, frame));
    EXPECT_EQ(analysis->projectionBackground.rows, 7);

    // Hidden ROIs hide the plots too.
    _roi_hidden = true;
    analysis->rightRoi = ImageRect{};
    ASSERT_TRUE(renderer.RenderImageJob(*MakeJob(), frame));
    EXPECT_EQ(analysis->rightRoi, ImageRect{});
    EXPECT_EQ(frame.at<cv::Vec4b>(35, 20), kGrey127);
}

TEST_F(RendererTest, BrightnessBoxReportsItsMedian)
{
    // A 5 x 5 box around (50, 40); its 25 values are 1000 .. 1024 row by row plus an offset.
    struct Case
    {
        int offset;
        int32_t median;
        bool within;
    } cases[] = {{488, 1500, true}, {-512, 500, false}};
    for (const Case &c : cases) {
        auto job = MakeJob();
        for (int r = 0; r < 5; ++r)
            for (int col = 0; col < 5; ++col)
                job->image.at<uint16_t>(38 + r, 48 + col) =
                    static_cast<uint16_t>(1000 + c.offset + r * 5 + col);
        job->m_brightness_request = BrightnessBox{1000, 2000, 50, 40, 5};
        cv::Mat frame(81, 101, CV_8UC4);
        ASSERT_TRUE(renderer.RenderImageJob(*job, frame));
        ASSERT_FALSE(devices->reports.empty());
        EXPECT_EQ(devices->reports.back(), c.median);
        EXPECT_EQ(devices->withinLimits.back(), c.within);
        EXPECT_EQ(frame.at<cv::Vec4b>(38, 48), Bgr(255, 128, 128)); // box outline at its corner
        if (!c.within) {
            // Below the low limit the text turns blue: d = round(500 x 127 / 1000) = 64, so the
            // colour is (128, 128 + max(0, 127 - 192), 128 + 64).
            bool found = false;
            for (int r = 0; r < frame.rows && !found; ++r)
                for (int col = 53; col < frame.cols && !found; ++col)
                    found = frame.at<cv::Vec4b>(r, col) == Bgr(128, 128, 192);
            EXPECT_TRUE(found);
        }
    }
}

TEST_F(RendererTest, ReferenceBitmapsAreNumberedBesideTheImage)
{
    const std::string image = dir.file("X.png");
    for (const char *expected : {"X.REF.BMP", "X.REF[1].BMP", "X.REF[2].BMP"}) {
        auto job = MakeJob(image);
        job->m_save_reference = true;
        RenderThroughThread(std::move(job));
        ASSERT_TRUE(platform::FileExists(dir.file(expected))) << expected;
    }
    // The whole view: the image's aspect equals the window's, so the bitmap is 100 x 81 from the
    // top left, and it holds what was drawn.
    const cv::Mat bitmap = cv::imread(dir.file("X.REF.BMP"), cv::IMREAD_COLOR);
    ASSERT_EQ(bitmap.size(), cv::Size(100, 81));
    EXPECT_EQ(bitmap.at<cv::Vec3b>(25, 50), cv::Vec3b(127, 127, 127));

    // A 600 x 800 view of a square image keeps 600 x 601 pixels from y = 100; a window wider than
    // the image keeps the middle columns; the operator screen keeps its whole rectangle.
    EXPECT_EQ(ReferenceBitmapArea(ImageRect{0, 0, 600, 800}, 500, 500), cv::Rect(0, 100, 600, 601));
    EXPECT_EQ(ReferenceBitmapArea(ImageRect{0, 0, 800, 600}, 500, 500), cv::Rect(100, 0, 601, 600));
    EXPECT_EQ(ReferenceBitmapArea(ImageRect{10, 20, 110, 70}, 500, 500), cv::Rect(0, 0, 100, 50));
}

TEST_F(RendererTest, ReferenceBitmapNamesRunOutAtOneThousand)
{
    const std::string image = dir.file("Y.tif");
    vantelis::test::WriteFileBytes(dir.file("Y.REF.BMP"), "x");
    for (int k = 1; k <= 999; ++k)
        vantelis::test::WriteFileBytes(dir.file("Y.REF[" + std::to_string(k) + "].BMP"), "x");
    std::string name, error;
    EXPECT_FALSE(ReferenceBitmapName(image, name, error));
    EXPECT_EQ(error, "Reference image file name index can not exceed 1000 : " + dir.file("Y.REF[999].BMP"));

    // Rendering such a job draws and logs the text; nothing new is written.
    auto job = MakeJob(image);
    job->m_save_reference = true;
    cv::Mat frame(81, 101, CV_8UC4);
    ASSERT_TRUE(renderer.RenderImageJob(*job, frame));
    EXPECT_NE(ErrorLogText().find(error), std::string::npos);
    EXPECT_EQ(vantelis::test::ReadFileBytes(dir.file("Y.REF.BMP")), "x");
}

TEST_F(RendererTest, OperatorScreenTakesEveryJobWhileItShowsLiveVideo)
{
    operatorScreen->exists = operatorScreen->shown = operatorScreen->live = true;
    operatorScreen->rect = ImageRect{10, 20, 60, 50};
    operatorScreen->markerLower = 0;
    operatorScreen->markerUpper = 4000; // 2000 -> 127 through the control's markers
    RenderList list;
    RenderThread thread(list, renderer);
    thread.Start();
    auto job = MakeJob("/data/A.png");
    ASSERT_TRUE(list.Add(job));
    ASSERT_TRUE(operatorScreen->screen->WaitForFrames(1));
    thread.Stop();

    EXPECT_TRUE(view->frames.empty());
    const cv::Mat frame = operatorScreen->screen->frames[0];
    EXPECT_EQ(operatorScreen->screen->origins[0], cv::Point(10, 20));
    ASSERT_EQ(frame.size(), cv::Size(51, 31));
    EXPECT_EQ(operatorScreen->histogramCount, 51u * 31u);
    EXPECT_EQ(frame.at<cv::Vec4b>(15, 25), kGrey127);

    // A job for the hidden operator screen is not drawn.
    operatorScreen->shown = false;
    auto hidden = MakeJob();
    hidden->target_rect = ImageRect{10, 20, 60, 50};
    cv::Mat unused(31, 51, CV_8UC4);
    EXPECT_FALSE(renderer.RenderImageJob(*hidden, unused));
}

TEST_F(RendererTest, ScrollPositionsAndPaintHelpers)
{
    EXPECT_EQ(ScrollPositionFromWindow(0.0, 1.0), 500);
    EXPECT_EQ(ScrollPositionFromWindow(0.5, 1.0), 1000);
    EXPECT_EQ(ScrollPositionFromWindow(0.0, 0.5), 0);
    EXPECT_EQ(ScrollPositionFromWindow(0.25, 0.75), 500);
    EXPECT_EQ(ScrollPositionFromWindow(0.1, 0.5), 166); // 0.1 / 0.6

    EXPECT_EQ(BackgroundImagePath("/data/exp/Images/FL1_3.png", "FL1"), "/data/exp/Images/FL1.bg.tif");
    EXPECT_EQ(BackgroundImagePath("C:\\exp\\FL1_3.png", "FL1"), "C:\\exp\\FL1.bg.tif");
    EXPECT_EQ(BackgroundImagePath("FL1_3.png", "FL1"), "FL1.bg.tif");

    vantelis::test::WriteFileBytes(app->settings, "[ExperimentSettings]\r\nImageType1=BrightField\r\n"
                                                  "ImageType2=\r\nImageType3=fl1\r\nImageType4=FL1\r\n");
    EXPECT_EQ(LiveImageTypeIndex("FL1", app->settings), 3);
    EXPECT_EQ(LiveImageTypeIndex("brightfield", app->settings), 1);
    EXPECT_EQ(LiveImageTypeIndex("FL9", app->settings), 0);
}

TEST_F(RendererTest, DisplaySettingsFileLoadsLinesOnlyWhenItChanges)
{
    _display_settings_file.clear();
    const std::string first = dir.file("ExperimentSettings.ini");
    vantelis::test::WriteFileBytes(first, "[CalibrationSettings]\r\nLowerMagnet=1700\r\nUpperMagnet=bad\r\n"
                                          "[Cartridge]\r\nCartridgeUpperChannel=450\r\n");
    EXPECT_TRUE(LoadDisplaySettingsFile(first));
    EXPECT_EQ(_shown_calibration_lines.Get(), (CalibrationLines{450, 1500, 100, 1700}));

    // The same file again: nothing reloaded, even after the lines changed.
    _shown_calibration_lines.Set(CalibrationLines{1, 2, 3, 4});
    EXPECT_FALSE(LoadDisplaySettingsFile(first));
    EXPECT_EQ(_shown_calibration_lines.Get(), (CalibrationLines{1, 2, 3, 4}));

    // A file that does not exist keeps the lines; switching back reloads the first.
    EXPECT_TRUE(LoadDisplaySettingsFile(dir.file("gone.ini")));
    EXPECT_EQ(_shown_calibration_lines.Get(), (CalibrationLines{1, 2, 3, 4}));
    EXPECT_TRUE(LoadDisplaySettingsFile(first));
    EXPECT_EQ(_shown_calibration_lines.Get(), (CalibrationLines{450, 1500, 100, 1700}));
    _display_settings_file.clear();
}
