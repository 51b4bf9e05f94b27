// The renderer's own links to the tool windows, the operator screen and the devices: they reach
// whatever is installed in those subsystems' service slots, and their placeholders otherwise.
#include "AppTestFixture.h"

#include "app/RenderList.h"
#include "app/Renderer.h"
#include "app/ToolServices.h"

#include <gtest/gtest.h>

namespace vantelis::test {
namespace {

cv::Vec4b Bgr(int red, int green, int blue)
{
    return cv::Vec4b(blue, green, red, 0);
}

// A window that keeps the frames it is given.
class KeepingTarget : public RenderTarget
{
  public:
    bool IsWindow() const override { return true; }
    void Present(const cv::Mat &frame, cv::Point origin) override
    {
        frames.push_back(frame.clone());
        origins.push_back(origin);
    }
    std::vector<cv::Mat> frames;
    std::vector<cv::Point> origins;
};

class VisibleWindow : public ModelessWindow
{
  public:
    bool HasWindow() const override { return exists; }
    bool Create(bool) override { return exists = true; }
    bool IsVisible() const override { return exists && visible; }
    void Show(bool show) override { visible = show; }
    bool exists = false;
    bool visible = false;
};

// A projection or fractionation tool with its own calibration lines.
template <class Stub> class LineTool : public Stub
{
  public:
    explicit LineTool(const int32_t (&own)[4]) { std::copy(own, own + 4, lines); }
    ModelessWindow &Window() override { return shown; }
    void GetCalibrationLines(int32_t out[4]) override { std::copy(lines, lines + 4, out); }

    VisibleWindow shown;
    int32_t lines[4];
};

// The projection and fractionation tools with their own calibration lines, each installed as its
// seam.
struct LineTools
{
    LineTools()
    {
        InstallProjectionToolWindow(projectionTool);
        InstallFractionationWindow(fractionationTool);
    }
    static constexpr int32_t projectionLines[4] = {20, 60, 15, 70};
    static constexpr int32_t fractionationLines[4] = {25, 55, 10, 65};
    std::shared_ptr<LineTool<StubProjectionToolWindow>> projectionTool =
        std::make_shared<LineTool<StubProjectionToolWindow>>(projectionLines);
    std::shared_ptr<LineTool<StubFractionationWindow>> fractionationTool =
        std::make_shared<LineTool<StubFractionationWindow>>(fractionationLines);
    VisibleWindow &projection = projectionTool->shown;
    VisibleWindow &fractionation = fractionationTool->shown;
};

// The operator screen showing live video into its own window.
class LiveScreen : public RecordingOperatorScreen
{
  public:
    explicit LiveScreen(CallLog &log) : RecordingOperatorScreen(log) { Screen().Create(true); }
    int32_t State() override { return state; }
    void LiveImageArea(int32_t rect[4], double zoom[4]) override
    {
        const int32_t area[4] = {10, 20, 60, 50};
        const double window[4] = {0.0, 1.0, 0.0, 1.0};
        std::copy(area, area + 4, rect);
        std::copy(window, window + 4, zoom);
    }
    void UpdateFlowSplitText(bool repaint) override { flowSplitRepaints.push_back(repaint); }
    std::shared_ptr<RenderTarget> LiveImageTarget() override { return window; }
    bool FeedHistogram(const uint16_t *, size_t n, uint16_t &lower, uint16_t &upper, std::string &) override
    {
        histogramValues = n;
        lower = 0;
        upper = 4000;
        return true;
    }

    int32_t state = 7;
    std::shared_ptr<KeepingTarget> window = std::make_shared<KeepingTarget>();
    size_t histogramValues = 0;
    std::vector<bool> flowSplitRepaints;
};

// Devices with one visible symbol and a brightness test that counts its wake-ups.
class SymbolDevices : public RecordingDevices
{
  public:
    using RecordingDevices::RecordingDevices;
    BrightnessAtTargetRequest &BrightnessRequest() override { return request; }
    void SetBrightnessTestEvent() override { ++events; }
    std::vector<VideoSymbol> VisibleVideoSymbols() override
    {
        VideoSymbol symbol;
        symbol.visible = true;
        symbol.red = 0;
        symbol.green = 200;
        symbol.blue = 50;
        symbol.line_width = 3;
        symbol.points = {5, 5, 30, 5};
        return {symbol};
    }
    void DrawVideoSymbol(const VideoSymbol &symbol, DrawingSurface &surface, const Pen &pen,
                         const VideoSymbolFrame &frame) override
    {
        pens.push_back(pen);
        imageRects.push_back(frame.image_rect);
        surface.Line(symbol.points[0], symbol.points[1], symbol.points[2], symbol.points[3], pen);
    }

    BrightnessAtTargetRequest request;
    int events = 0;
    std::vector<Pen> pens;
    std::vector<ImageRect> imageRects;
};

class RenderServiceLinksTest : public ::testing::Test
{
  protected:
    RenderServiceLinksTest()
    {
        platform::MakeFolder(m_dir.file("LOG"));
        m_previousLogFolder = GetLogSettings().dataDirectory;
        SetLogDataDirectory(m_dir.str().c_str());
        _shown_calibration_lines.Set(CalibrationLines{});
        _saved_calibration_lines.Set(SavedCalibrationLines{});
    }
    ~RenderServiceLinksTest() override
    {
        RemoveToolServices();
        InstallOperatorScreenServices(nullptr);
        UninstallDeviceServices();
        _shown_calibration_lines.Set(CalibrationLines{});
        _saved_calibration_lines.Set(SavedCalibrationLines{});
        SetLogDataDirectory(m_previousLogFolder.c_str());
    }

    // A 100 x 80 image at 2000 shown whole in a 100 x 80 view: image column c and row r are
    // window x = c and y = r.
    std::unique_ptr<RenderJob> ViewJob()
    {
        auto job = std::make_unique<RenderJob>();
        job->image = cv::Mat(80, 100, CV_16UC1, cv::Scalar(2000));
        job->target_rect = ImageRect{0, 0, 100, 80};
        job->lower_intensity = 1000;
        job->upper_intensity = 3000;
        job->target_window = m_view;
        return job;
    }

    TempDir m_dir;
    std::string m_previousLogFolder;
    CallLog m_calls;
    std::shared_ptr<KeepingTarget> m_view = std::make_shared<KeepingTarget>();
    // No tools, operator-screen or devices link given: the renderer uses its own.
    Renderer m_renderer{RenderLinks{}};
};

TEST_F(RenderServiceLinksTest, ToolLinesComeFromTheInstalledTools)
{
    _shown_calibration_lines.Set(CalibrationLines{-1, -1, 5, 75});

    // The placeholder shows no tool window: the view's own lines are drawn.
    ASSERT_TRUE(RenderThread::ProcessJob(ViewJob(), m_renderer));
    ASSERT_EQ(m_view->frames.size(), 1u);
    EXPECT_EQ(m_view->frames[0].at<cv::Vec4b>(5, 1), Bgr(255, 0, 0)); // upper magnet

    auto tools = std::make_shared<LineTools>();
    struct Case
    {
        bool projection, fractionation;
        CalibrationLines shown;
    } cases[] = {
        {true, true, CalibrationLines{20, 60, 15, 70}}, // the projection tool comes first
        {false, true, CalibrationLines{25, 55, 10, 65}},
        {false, false, CalibrationLines{-1, -1, 5, 75}}, // the view's lines come back
    };
    for (const Case &c : cases) {
        tools->projection.exists = tools->projection.visible = c.projection;
        tools->fractionation.exists = tools->fractionation.visible = c.fractionation;
        ASSERT_TRUE(RenderThread::ProcessJob(ViewJob(), m_renderer));
        EXPECT_EQ(_shown_calibration_lines.Get(), c.shown);
        EXPECT_EQ(m_view->frames.back().at<cv::Vec4b>(c.shown.upper_magnet, 1), Bgr(255, 0, 0));
    }

    // A tool window that exists but is hidden does not count.
    tools->projection.exists = true;
    tools->projection.visible = false;
    ASSERT_TRUE(RenderThread::ProcessJob(ViewJob(), m_renderer));
    EXPECT_EQ(_shown_calibration_lines.Get(), (CalibrationLines{-1, -1, 5, 75}));
}

TEST_F(RenderServiceLinksTest, LiveVideoGoesToTheInstalledOperatorScreen)
{
    // The placeholder has no window: jobs stay in their views, and a job meant for the operator
    // screen is not drawn.
    ASSERT_TRUE(RenderThread::ProcessJob(ViewJob(), m_renderer));
    EXPECT_EQ(m_view->frames.size(), 1u);
    auto screenJob = ViewJob();
    screenJob->target_rect = ImageRect{10, 20, 60, 50};
    cv::Mat unused(31, 51, CV_8UC4);
    EXPECT_FALSE(m_renderer.RenderImageJob(*screenJob, unused));

    auto screen = std::make_shared<LiveScreen>(m_calls);
    InstallOperatorScreenServices(screen);
    ASSERT_TRUE(RenderThread::ProcessJob(ViewJob(), m_renderer));
    EXPECT_EQ(m_view->frames.size(), 1u) << "the view gets nothing while the screen shows live video";
    ASSERT_EQ(screen->window->frames.size(), 1u);
    EXPECT_EQ(screen->window->origins[0], cv::Point(10, 20));
    ASSERT_EQ(screen->window->frames[0].size(), cv::Size(51, 31));
    EXPECT_EQ(screen->histogramValues, 51u * 31u);
    // The screen's markers 0..4000 put 2000 in the middle; without a settings file the display
    // limits are 25 and 255 (a live image without combo text is not bright field): 25 + 230 / 2.
    EXPECT_EQ(screen->window->frames[0].at<cv::Vec4b>(15, 25), Bgr(140, 140, 140));
    EXPECT_EQ(screen->flowSplitRepaints, (std::vector<bool>{true}));

    // Outside the live-video state every job goes to its own view.
    screen->state = 3;
    ASSERT_TRUE(RenderThread::ProcessJob(ViewJob(), m_renderer));
    EXPECT_EQ(m_view->frames.size(), 2u);
    EXPECT_EQ(screen->window->frames.size(), 1u);
}

TEST_F(RenderServiceLinksTest, SymbolsAndBrightnessGoToTheInstalledDevices)
{
    auto devices = std::make_shared<SymbolDevices>(m_calls);
    InstallDeviceFakes(devices);

    // A 5 x 5 box of 2000 around (50, 40): median 2000.
    struct Case
    {
        int32_t low, high;
        int32_t result, lastOutOfRange;
        int events;
    } cases[] = {
        {1000, 3000, 2000, 0, 1},    // within the limits: the result wakes the test
        {2500, 3000, 2000, 2000, 1}, // below: only the last value is kept
    };
    for (const Case &c : cases) {
        auto job = ViewJob();
        job->m_brightness_request = BrightnessBox{c.low, c.high, 50, 40, 5};
        ASSERT_TRUE(RenderThread::ProcessJob(std::move(job), m_renderer));
        EXPECT_EQ(devices->request.result.load(), c.result);
        EXPECT_EQ(devices->request.last_out_of_range.load(), c.lastOutOfRange);
        EXPECT_EQ(devices->events, c.events);
    }

    // Each visible symbol is drawn with a solid pen of its colour and width.
    ASSERT_FALSE(devices->pens.empty());
    const Pen &pen = devices->pens.back();
    EXPECT_EQ((std::vector<int>{pen.red, pen.green, pen.blue, pen.width}), (std::vector<int>{0, 200, 50, 3}));
    EXPECT_EQ(pen.style, PenStyle::Solid);
    EXPECT_EQ(devices->imageRects.back(), (ImageRect{0, 0, 99, 79}));
    EXPECT_EQ(m_view->frames.back().at<cv::Vec4b>(5, 10), Bgr(0, 200, 50));
}

} // namespace
} // namespace vantelis::test
