#pragma once
// The renderer turns one render job into pixels: it samples the zoom window of the 16-bit image at
// the window's size, maps it to display grey through the display range (with overlay tints) and
// draws on top, in this order, the calibration lines, the flow-split line, the detections, the
// active ROI with its projection plots, the preview rectangles, the last-click marker, a
// brightness-test box and the symbols over live video; when asked it then saves what it drew as a
// reference bitmap beside the image.
//
// It draws into an image (CV_8UC4) that stands for the target window's client area from the job's
// target rectangle on; the render thread hands that image to the window. What it needs of other
// parts of the program (the application object, the analysis code, the tool windows, the operator
// screen, the devices) it asks through the small links below. A link that is not given is the
// program's own: the application object, and the tools, operator screen and devices through their
// service slots (ProjectionTool(), Fractionation(), OperatorScreen(), LiveOverlay()), which give
// their null answers while their subsystem is missing. The analysis link comes from the analysis
// code, a later library; without it no projection is drawn.
#include "app/RenderList.h"
#include "app/ViewGlobals.h"

#include <opencv2/core.hpp>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// ---- Drawing ----------------------------------------------------------------------------------

enum class PenStyle
{
    Solid,
    Dot,
    DashDot,
};

// A pen: colour as red, green, blue; width in pixels.
struct Pen
{
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
    int width = 1;
    PenStyle style = PenStyle::Solid;
};

// What drawing code (the renderer, the projection plot, the video symbols) draws on, in window
// pixels.
class DrawingSurface
{
  public:
    virtual ~DrawingSurface() = default;
    // A line from (x0, y0) towards (x1, y1); the end point itself is left out, so the segments of a
    // polyline meet without overlap.
    virtual void Line(int x0, int y0, int x1, int y1, const Pen &pen) = 0;
    virtual void Pixel(int x, int y, uint8_t red, uint8_t green, uint8_t blue) = 0;
    // Text on a transparent background with its top left corner at (x, y).
    virtual void Text(int x, int y, const std::string &text, uint8_t red, uint8_t green, uint8_t blue) = 0;
    virtual cv::Size TextSize(const std::string &text) = 0;
};

// A surface over a CV_8UC4 image whose pixel (0, 0) is window point origin; drawing is clipped to
// the image.
class MatSurface : public DrawingSurface
{
  public:
    MatSurface(cv::Mat &frame, cv::Point origin) : m_frame(frame), m_origin(origin) {}
    void Line(int x0, int y0, int x1, int y1, const Pen &pen) override;
    void Pixel(int x, int y, uint8_t red, uint8_t green, uint8_t blue) override;
    void Text(int x, int y, const std::string &text, uint8_t red, uint8_t green, uint8_t blue) override;
    cv::Size TextSize(const std::string &text) override;

  private:
    void Dot(int x, int y, int width, const cv::Vec4b &colour);

    cv::Mat &m_frame;
    cv::Point m_origin;
};

// ---- Links to the rest of the program ---------------------------------------------------------

// The application object and the main frame.
class RenderAppLink
{
  public:
    virtual ~RenderAppLink() = default;
    // The main settings file (display limits and projection settings are read from it).
    virtual std::string MainSettingsPath() = 0;
    // The loaded background image of image type 1..4, or an empty image.
    virtual cv::Mat BackgroundImage(int imageType) = 0;
    // The text of the main frame's image-type combo (the type of the live image).
    virtual std::string ImageTypeComboText() = 0;
    // Appends path to the close-document queue that the idle handler serves; false when the
    // request had to be dropped.
    virtual bool QueueCloseDocument(const std::string &path) = 0;
};

// The image-analysis algorithms.
class RenderAnalysisLink
{
  public:
    virtual ~RenderAnalysisLink() = default;
    // One mean value per ROI column (after subtracting background when given); false when the
    // projection cannot be made.
    virtual bool ComputeHorizontalProjection(const cv::Mat &image, const ImageRect &roi,
                                             const cv::Mat *background, std::vector<int32_t> &values) = 0;
    // Picks the projection parameters (the named set, a visible tool's), puts the channel rows
    // and roi into them and draws the projection of job's image to the right of roi through
    // job.m_dc.
    virtual void DrawProjectionRightOfRoi(RenderJob &job, const ImageRect &roi) = 0;
};

// The projection and fractionation tool windows.
class RenderToolLink
{
  public:
    virtual ~RenderToolLink() = default;
    // True with the tool's four lines while its window exists and is visible.
    virtual bool ProjectionToolShown(CalibrationLines &lines) = 0;
    virtual bool FractionationToolShown(CalibrationLines &lines) = 0;
};

// The guided operator screen.
class RenderOperatorLink
{
  public:
    virtual ~RenderOperatorLink() = default;
    virtual bool WindowExists() = 0;
    // Whether the window exists and is visible.
    virtual bool IsShown() = 0;
    // While the screen is visible and shows live video: its window, the image rectangle in its
    // client area and its preview zoom window.
    virtual bool LiveVideoTarget(std::shared_ptr<RenderTarget> &target, ImageRect &rect,
                                 ZoomWindow &zoom) = 0;
    // Feeds the histogram of the drawn values to the intensity control of the checked display
    // mode and lays it out again. lower and upper always receive that control's markers; false
    // with error when the histogram could not be taken.
    virtual bool FeedHistogram(const uint16_t *values, size_t n, uint16_t &lower, uint16_t &upper,
                               std::string &error) = 0;
    // Shows the split from _flow_split again.
    virtual void UpdateFlowSplitText() = 0;
};

// Where the video symbols and the image lie in the window.
struct VideoSymbolFrame
{
    ImageRect target_rect;
    ZoomWindow zoom_window;
    ImageRect image_rect; // window pixels of image columns 0 and columns - 1, rows 0 and rows - 1
    int rows = 0;
    int columns = 0;
};

// The instrument devices.
class RenderDeviceLink
{
  public:
    virtual ~RenderDeviceLink() = default;
    // Draws every visible symbol over the live view, each with its own colour and width.
    virtual void DrawVideoSymbols(DrawingSurface &surface, const VideoSymbolFrame &frame) = 0;
    // The brightness test's box median: stored as the last value when outside the limits,
    // otherwise as the result, waking the test.
    virtual void ReportBrightness(int32_t median, bool withinLimits) = 0;
};

// The links a renderer uses. A null app, tools, operatorScreen or devices link is replaced by the
// program's own (see the top of this file); a null analysis link draws no projections.
struct RenderLinks
{
    std::shared_ptr<RenderAppLink> app;
    std::shared_ptr<RenderAnalysisLink> analysis;
    std::shared_ptr<RenderToolLink> tools;
    std::shared_ptr<RenderOperatorLink> operatorScreen;
    std::shared_ptr<RenderDeviceLink> devices;
};

// ---- Renderer ---------------------------------------------------------------------------------

class Renderer
{
  public:
    explicit Renderer(RenderLinks links = {});

    // Draws job into frame, a CV_8UC4 image of (bottom - top + 1) rows and (right - left + 1)
    // columns of the target rectangle whose pixel (0, 0) is window point (left, top). False with
    // error when the job is not drawn: an operator-screen job while that screen is hidden, or an
    // image that cannot be sampled.
    bool RenderImageJob(RenderJob &job, cv::Mat &frame, std::string *error = nullptr);

    RenderLinks &Links() { return m_links; }

  private:
    RenderLinks m_links;
    bool m_histogram_failure_logged = false; // only the first failure is logged
};

// ---- Reference bitmaps ------------------------------------------------------------------------

// The reference bitmap name for an image: its extension replaced by ".REF.BMP", or, when that file
// exists, by ".REF[1].BMP" .. ".REF[999].BMP", the first that does not exist. False with the text
// "Reference image file name index can not exceed 1000 : <last name tried>" when all exist.
bool ReferenceBitmapName(const std::string &imagePath, std::string &name, std::string &error);

// The area of a frame that a reference bitmap keeps: for a view the part that shows the image at
// its aspect ratio (width x height of the client area), for the operator screen all of it.
cv::Rect ReferenceBitmapArea(const ImageRect &target, int imageColumns, int imageRows);

// ---- The view's paint -------------------------------------------------------------------------

// Scroll-bar position 0..1000 for the window low..high of one axis.
int ScrollPositionFromWindow(double low, double high);

// When settingsFile differs from _display_settings_file: loads its four calibration rows into
// _shown_calibration_lines when it exists (missing keys give 400, 1500, 100 and 1800), makes it
// _display_settings_file and returns true (the caller then resets the display ROI).
bool LoadDisplaySettingsFile(const std::string &settingsFile);

// The background image file of an image's type: its folder, then type + ".bg.tif".
std::string BackgroundImagePath(const std::string &imagePath, const std::string &typeName);

// The live image's type 1..4: the first of [ExperimentSettings] ImageType1..4 of the main settings
// file equal to the combo text ignoring ASCII case; 0 when none.
int32_t LiveImageTypeIndex(const std::string &comboText, const std::string &mainSettingsPath);

// ---- The process-wide render thread -----------------------------------------------------------

// Installs the start and stop hooks that start-up and exit call (StartRenderThread and
// StopRenderThread): start makes one renderer over links and one render thread over _render_list;
// stop ends and joins that thread.
void InstallRenderThread(RenderLinks links);
