#include "app/Renderer.h"

#include "app/AppRenderLink.h"
#include "app/RenderServiceLinks.h"

#include "Ostravo/DisplayConversion.h"
#include "Ostravo/ImageTypeNames.h"
#include "Ostravo/LogError.h"
#include "Ostravo/Profile.h"
#include "Ostravo/ProfileValues.h"
#include "platform/Files.h"
#include "platform/PathParts.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

namespace {

// ---- Small helpers ------------------------------------------------------------------------------

// Rounds half away from zero into the int range; values far outside any window (an empty zoom
// window divides by zero) land well outside it.
int32_t RoundToInt(double v)
{
    if (std::isnan(v))
        return INT32_MIN / 2;
    v = std::round(v);
    if (v < -1.0e9)
        return -1000000000;
    if (v > 1.0e9)
        return 1000000000;
    return static_cast<int32_t>(v);
}

int32_t TruncToInt(double v)
{
    if (std::isnan(v))
        return INT32_MIN / 2;
    v = std::trunc(v);
    return static_cast<int32_t>(std::min(1.0e9, std::max(-1.0e9, v)));
}

std::string ToUpperAscii(std::string text)
{
    for (char &c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

bool EqualIgnoringAsciiCase(const std::string &a, const std::string &b)
{
    return ToUpperAscii(a) == ToUpperAscii(b);
}

cv::Vec4b Colour(uint8_t red, uint8_t green, uint8_t blue)
{
    return cv::Vec4b(blue, green, red, 0);
}

// On/off run lengths of a pen style, scaled by the pen's width.
bool PatternOn(PenStyle style, int width, int64_t step)
{
    const int64_t w = std::max(1, width);
    switch (style) {
    case PenStyle::Dot: {
        const int64_t k = step % (4 * w);
        return k < 2 * w;
    }
    case PenStyle::DashDot: {
        const int64_t k = step % (14 * w);
        return k < 6 * w || (k >= 9 * w && k < 11 * w);
    }
    default:
        return true;
    }
}

// Maps image coordinates of one job to window pixels.
class WindowMapping
{
  public:
    WindowMapping(const RenderJob &job)
        : m_rect(job.target_rect), m_zoom(job.zoom_window), m_columns(job.image.cols), m_rows(job.image.rows)
    {
    }
    double X(double column) const
    {
        return m_rect.left + (column / m_columns - m_zoom.left) / (m_zoom.right - m_zoom.left) * Wd();
    }
    double Y(double row) const
    {
        return m_rect.top + (row / m_rows - m_zoom.top) / (m_zoom.bottom - m_zoom.top) * Hd();
    }
    int32_t x(double column) const { return RoundToInt(X(column)); }
    int32_t y(double row) const { return RoundToInt(Y(row)); }
    bool InsideX(int32_t x) const { return m_rect.left < x && x < m_rect.right; }
    bool InsideY(int32_t y) const { return m_rect.top < y && y < m_rect.bottom; }
    int Wd() const { return m_rect.right - m_rect.left; }
    int Hd() const { return m_rect.bottom - m_rect.top; }
    const ImageRect &Rect() const { return m_rect; }

  private:
    ImageRect m_rect;
    ZoomWindow m_zoom;
    int m_columns;
    int m_rows;
};

void Outline(DrawingSurface &surface, int l, int t, int r, int b, const Pen &pen)
{
    surface.Line(l, t, r, t, pen);
    surface.Line(r, t, r, b, pen);
    surface.Line(r, b, l, b, pen);
    surface.Line(l, b, l, t, pen);
}

// Outlines an image rectangle when all its mapped edges lie strictly inside the window.
void OutlineImageRect(DrawingSurface &surface, const WindowMapping &map, const ImageRect &rect,
                      const Pen &pen)
{
    const int32_t l = map.x(rect.left), r = map.x(rect.right), t = map.y(rect.top), b = map.y(rect.bottom);
    if (map.InsideX(l) && map.InsideX(r) && map.InsideY(t) && map.InsideY(b))
        Outline(surface, l, t, r, b, pen);
}

void DrawCalibrationLines(DrawingSurface &surface, const WindowMapping &map, int rows)
{
    const CalibrationLines lines = _shown_calibration_lines.Get();
    const ImageRect &rect = map.Rect();
    auto horizontal = [&](int32_t row, const Pen &pen) {
        const int32_t y = map.y(row);
        if (map.InsideY(y))
            surface.Line(rect.left, y, rect.right, y, pen);
        return y;
    };
    // A row outside the image (-1 while no lines are loaded) is no line at all, even where the
    // zoom window shows some space beside the image.
    auto inImage = [rows](int32_t row) { return row >= 0 && row < rows; };
    if (lines.upper_magnet > 0 && inImage(lines.upper_magnet))
        horizontal(lines.upper_magnet, Pen{255, 0, 0, 2, PenStyle::DashDot});
    if (inImage(lines.lower_magnet))
        horizontal(lines.lower_magnet, Pen{0, 0, 255, 2, PenStyle::DashDot});
    const bool upperChannel = lines.upper_channel > 0 && inImage(lines.upper_channel);
    const bool lowerChannel = inImage(lines.lower_channel);
    int32_t upperY = 0, lowerY = 0;
    if (upperChannel)
        upperY = horizontal(lines.upper_channel, Pen{255, 128, 128, 1, PenStyle::DashDot});
    if (lowerChannel)
        lowerY = horizontal(lines.lower_channel, Pen{128, 128, 255, 1, PenStyle::DashDot});
    if (upperChannel || lowerChannel) {
        _flow_split.Update([&](FlowSplit &split) {
            if (upperChannel)
                split.upper_channel_row = upperY;
            if (lowerChannel)
                split.lower_channel_row = lowerY;
        });
    }
}

void DrawFlowSplit(DrawingSurface &surface, const WindowMapping &map, int rows,
                   RenderOperatorLink &operatorScreen)
{
    const CalibrationLines lines = _shown_calibration_lines.Get();
    const ImageRect &rect = map.Rect();
    bool drawLine = false;
    int32_t lineY = 0;
    _flow_split.Update([&](FlowSplit &split) {
        const double f = split.split_fraction;
        if (!split.split_line_shown || !(f > 0.0 && f < 1.0) || lines.lower_channel >= rows ||
            lines.lower_channel < 0 || lines.upper_channel <= 0 || lines.upper_channel >= rows)
            return;
        const int32_t splitRow = TruncToInt(
            lines.lower_channel - static_cast<double>(lines.lower_channel - lines.upper_channel) * f);
        split.split_row = map.y(splitRow);
        lineY = split.split_row + split.drag_offset;
        drawLine = map.InsideY(lineY);
        split.hit_band = ImageRect{rect.left, lineY - 4, rect.right, lineY + 4};
        if (split.split_changed) {
            split.split_changed = false;
            split.split_row = RoundToInt((split.lower_channel_row - split.upper_channel_row) * (1.0 - f) +
                                         split.upper_channel_row);
        }
    });
    if (drawLine)
        surface.Line(rect.left + 3, lineY, rect.right - 3, lineY, Pen{100, 255, 100, 3, PenStyle::Dot});
    if (operatorScreen.WindowExists())
        operatorScreen.UpdateFlowSplitText();
}

void DrawDetections(DrawingSurface &surface, const WindowMapping &map,
                    const std::vector<CellDetection> &detections, const Pen &pen)
{
    const ImageRect &rect = map.Rect();
    for (const CellDetection &d : detections) {
        const int32_t x = map.x(d.x), y = map.y(d.y);
        if (rect.left + 3 <= x && x <= rect.right - 3 && rect.top + 3 <= y && y <= rect.bottom + 3) {
            surface.Line(x - 4, y, x + 3, y, pen);
            surface.Line(x, y - 4, x, y + 3, pen);
        }
    }
}

void DrawProjectionBelowRoi(DrawingSurface &surface, const WindowMapping &map, const RenderJob &job,
                            const ImageRect &roi, const cv::Mat *background, RenderAnalysisLink &analysis)
{
    std::vector<int32_t> values;
    if (!analysis.ComputeHorizontalProjection(job.image, roi, background, values) || values.empty())
        return;
    const auto [minIt, maxIt] = std::minmax_element(values.begin(), values.end());
    const double minimum = *minIt, maximum = *maxIt;
    const int width = roi.right - roi.left + 1;
    const int p = std::min((roi.bottom - roi.top + 1) / 4, 100);
    const double xL = map.X(roi.left), xR = map.X(roi.right);
    const double yT = map.Y(roi.bottom + 1), yB = map.Y(roi.bottom - 1 + p);
    const int32_t l = RoundToInt(xL), r = RoundToInt(xR), t = RoundToInt(yT) + 1, b = RoundToInt(yB) + 1;
    if (map.InsideX(l) && map.InsideX(r) && map.InsideY(t) && map.InsideY(b))
        Outline(surface, l, t, r, b, Pen{192, 192, 0, 1, PenStyle::Solid});
    for (size_t i = 0; i < values.size(); ++i) {
        const int32_t x = RoundToInt(xL + static_cast<double>(i) / width * (xR - xL));
        const int32_t y =
            RoundToInt(yT + (1.0 - (values[i] - minimum) / (maximum - minimum + 1.0)) * (yB - yT));
        surface.Pixel(x, y, 255, 0, 0);
    }
}

void DrawLastClick(DrawingSurface &surface, const RenderJob &job)
{
    const ImageRect &rect = job.target_rect;
    const ZoomWindow &z = job.zoom_window;
    const int32_t cx =
        TruncToInt((job.click_point.x - z.left) * (rect.right - rect.left - 1) / (z.right - z.left)) +
        rect.left;
    const int32_t cy =
        TruncToInt((job.click_point.y - z.top) * (rect.bottom - rect.top - 1) / (z.bottom - z.top)) +
        rect.top;
    const Pen pen{255, 0, 0, 1, PenStyle::Dot};
    for (int32_t x = std::max(rect.left, cx - 8); x <= std::min(rect.right, cx + 8); x += 4)
        surface.Line(x, cy, x + 2, cy, pen);
    for (int32_t y = std::max(rect.top, cy - 8); y <= std::min(rect.bottom, cy + 8); y += 4)
        surface.Line(cx, y, cx, y + 2, pen);
}

void DrawBrightnessBox(DrawingSurface &surface, const WindowMapping &map, const RenderJob &job,
                       RenderDeviceLink &devices)
{
    const BrightnessBox &box = *job.m_brightness_request;
    const int half = box.box_size / 2;
    const int c0 = box.center_column - half, c1 = box.center_column + half;
    const int r0 = box.center_row - half, r1 = box.center_row + half;
    const int32_t l = map.x(c0), r = map.x(c1), t = map.y(r0), b = map.y(r1);
    Outline(surface, l, t, r, b, Pen{255, 128, 128, 3, PenStyle::Solid});

    // Only the part of the box inside the image is read.
    std::vector<uint16_t> values;
    for (int row = std::max(0, r0); row <= std::min(job.image.rows - 1, r1); ++row) {
        const uint16_t *in = job.image.ptr<uint16_t>(row);
        for (int col = std::max(0, c0); col <= std::min(job.image.cols - 1, c1); ++col)
            values.push_back(in[col]);
    }
    if (values.empty())
        return;
    std::sort(values.begin(), values.end());
    const int32_t m = values[values.size() / 2];
    const int32_t low = box.low_limit, high = box.high_limit;
    const int32_t d = (m <= low && low != 0) ? RoundToInt(static_cast<double>(low - m) * 127.0 / low) : 0;
    const int32_t a = (m >= high && high != 65535)
                          ? RoundToInt(static_cast<double>(m - high) / (65535.0 - high) * 127.0)
                          : 0;
    auto channel = [](int32_t v) { return static_cast<uint8_t>(std::min(255, std::max(0, v))); };
    const std::string text = std::to_string(m);
    const cv::Size letter = surface.TextSize("W");
    const cv::Size size = surface.TextSize(text);
    surface.Text(r + letter.width / 2, (t + b) / 2 - size.height / 2, text, channel(128 + a),
                 channel(128 + std::max(0, 127 - 3 * (a + d))), channel(128 + d));
    devices.ReportBrightness(m, low <= m && m <= high);
}

bool SaveReferenceBitmap(const cv::Mat &frame, const RenderJob &job, std::string &error)
{
    if (job.path.empty()) {
        error = "Problem saving reference image : the image has no file name.";
        return false;
    }
    std::string name;
    if (!ReferenceBitmapName(job.path, name, error))
        return false;
    const cv::Rect area = ReferenceBitmapArea(job.target_rect, job.image.cols, job.image.rows);
    if (area.width <= 0 || area.height <= 0) {
        error = "Problem saving reference image : " + name;
        return false;
    }
    // Parts of the area beyond the frame stay black, so the bitmap always has the area's size.
    cv::Mat bitmap(area.height, area.width, CV_8UC3, cv::Scalar::all(0));
    const cv::Rect inside = area & cv::Rect(0, 0, frame.cols, frame.rows);
    if (!inside.empty()) {
        cv::Mat part;
        cv::cvtColor(frame(inside), part, cv::COLOR_BGRA2BGR);
        part.copyTo(bitmap(cv::Rect(inside.x - area.x, inside.y - area.y, inside.width, inside.height)));
    }
    std::vector<uchar> bytes;
    bool encoded = false;
    try {
        encoded = cv::imencode(".bmp", bitmap, bytes);
    } catch (const cv::Exception &) {
        encoded = false;
    }
    if (!encoded || !platform::AtomicReplace(name, bytes)) {
        error = "Problem saving reference image : " + name;
        return false;
    }
    return true;
}

} // namespace

// ---- MatSurface ---------------------------------------------------------------------------------

void MatSurface::Dot(int x, int y, int width, const cv::Vec4b &colour)
{
    const int w = std::max(1, width);
    const int x0 = x - m_origin.x - w / 2, y0 = y - m_origin.y - w / 2;
    for (int r = std::max(0, y0); r < std::min(m_frame.rows, y0 + w); ++r) {
        cv::Vec4b *row = m_frame.ptr<cv::Vec4b>(r);
        for (int c = std::max(0, x0); c < std::min(m_frame.cols, x0 + w); ++c)
            row[c] = colour;
    }
}

void MatSurface::Line(int x0, int y0, int x1, int y1, const Pen &pen)
{
    const cv::Vec4b colour = Colour(pen.red, pen.green, pen.blue);
    const int w = std::max(1, pen.width);
    const int64_t dx = static_cast<int64_t>(x1) - x0, dy = static_cast<int64_t>(y1) - y0;
    const int64_t steps = std::max(std::abs(dx), std::abs(dy));
    if (steps == 0)
        return; // the end point is left out
    // Walk only the steps whose major coordinate can touch the frame: an end point far outside a
    // zoomed window costs nothing.
    const bool xMajor = std::abs(dx) >= std::abs(dy);
    const int64_t a0 = xMajor ? x0 : y0, da = xMajor ? dx : dy;
    const int64_t b0 = xMajor ? y0 : x0, db = xMajor ? dy : dx;
    const int64_t lo = (xMajor ? m_origin.x : m_origin.y) - w;
    const int64_t hi = (xMajor ? m_origin.x + m_frame.cols : m_origin.y + m_frame.rows) + w;
    const int64_t sign = da > 0 ? 1 : -1;
    const int64_t first = std::max<int64_t>(0, sign > 0 ? lo - a0 : a0 - hi);
    const int64_t last = std::min<int64_t>(steps - 1, sign > 0 ? hi - a0 : a0 - lo);
    for (int64_t s = first; s <= last; ++s) {
        if (!PatternOn(pen.style, w, s))
            continue;
        // Minor coordinate rounded half away from zero.
        const int64_t num = db * s;
        const int64_t minor = std::clamp<int64_t>(
            b0 + (num >= 0 ? (2 * num + steps) / (2 * steps) : -((-2 * num + steps) / (2 * steps))),
            -1000000000, 1000000000);
        const int64_t major = a0 + sign * s;
        if (xMajor)
            Dot(static_cast<int>(major), static_cast<int>(minor), w, colour);
        else
            Dot(static_cast<int>(minor), static_cast<int>(major), w, colour);
    }
}

void MatSurface::Pixel(int x, int y, uint8_t red, uint8_t green, uint8_t blue)
{
    const int c = x - m_origin.x, r = y - m_origin.y;
    if (r >= 0 && r < m_frame.rows && c >= 0 && c < m_frame.cols)
        m_frame.at<cv::Vec4b>(r, c) = Colour(red, green, blue);
}

namespace {
const int kFont = cv::FONT_HERSHEY_SIMPLEX;
const double kFontScale = 1.2; // about 40 pixels from top to baseline, as the view's bold font
const int kFontThickness = 2;
} // namespace

void MatSurface::Text(int x, int y, const std::string &text, uint8_t red, uint8_t green, uint8_t blue)
{
    int baseline = 0;
    const cv::Size size = cv::getTextSize(text, kFont, kFontScale, kFontThickness, &baseline);
    const cv::Vec4b c = Colour(red, green, blue);
    cv::putText(m_frame, text, cv::Point(x - m_origin.x, y - m_origin.y + size.height), kFont, kFontScale,
                cv::Scalar(c[0], c[1], c[2], 0), kFontThickness, cv::LINE_8);
}

cv::Size MatSurface::TextSize(const std::string &text)
{
    int baseline = 0;
    const cv::Size size = cv::getTextSize(text, kFont, kFontScale, kFontThickness, &baseline);
    return cv::Size(size.width, size.height + baseline);
}

// ---- Renderer -----------------------------------------------------------------------------------

Renderer::Renderer(RenderLinks links) : m_links(std::move(links))
{
    if (!m_links.app)
        m_links.app = std::make_shared<AppRenderLink>();
    if (!m_links.tools)
        m_links.tools = std::make_shared<ToolServicesRenderLink>();
    if (!m_links.operatorScreen)
        m_links.operatorScreen = std::make_shared<OperatorScreenRenderLink>();
    if (!m_links.devices)
        m_links.devices = std::make_shared<DeviceServicesRenderLink>();
}

bool Renderer::RenderImageJob(RenderJob &job, cv::Mat &frame, std::string *error)
{
    const ImageRect &rect = job.target_rect;
    const bool operatorJob = rect.left != 0;
    if (operatorJob && !m_links.operatorScreen->IsShown())
        return false;

    const int W = rect.right - rect.left + 1, H = rect.bottom - rect.top + 1;
    if (W <= 0 || H <= 0 || frame.type() != CV_8UC4 || frame.cols != W || frame.rows != H ||
        !frame.isContinuous()) {
        if (error)
            *error = "RenderImageJob() : the frame does not match the target rectangle.";
        return false;
    }
    const ZoomWindow &zoom = job.zoom_window;
    std::string sampleError;
    if (!Ostravo::SampleImageRegion(job.image, job.sampled_image, zoom.left, zoom.right, zoom.top,
                                    zoom.bottom, W, H, job.overlay.empty() ? nullptr : &job.overlay,
                                    &job.sampled_overlay, &sampleError)) {
        if (error)
            *error = "RenderImageJob() : " + job.path + " : " + sampleError;
        return false;
    }
    const size_t n = static_cast<size_t>(W) * static_cast<size_t>(H);

    if (operatorJob) {
        std::string histogramError;
        uint16_t lower = job.lower_intensity, upper = job.upper_intensity;
        if (!m_links.operatorScreen->FeedHistogram(job.sampled_image.data(), n, lower, upper,
                                                   histogramError) &&
            !m_histogram_failure_logged) {
            m_histogram_failure_logged = true;
            LogError(__FILE_NAME__, __LINE__, histogramError);
        }
        job.lower_intensity = lower;
        job.upper_intensity = upper;
    }

    // Display limits: bright-field images are kept darker at the top than fluorescence images.
    const std::string mainSettings = m_links.app->MainSettingsPath();
    const int low =
        Ostravo::ReadProfileInt("AutoScale", "LowMappingDisplayIntensity", 25, mainSettings.c_str(), 32);
    bool brightField = true;
    if (!job.path.empty()) {
        EString type;
        if (ImageTypeFromFileName(platform::FileTitleOf(job.path).c_str(), type))
            brightField = ToUpperAscii(type.c_str()) == "BRIGHTFIELD";
    } else {
        brightField = ToUpperAscii(m_links.app->ImageTypeComboText()) == "BRIGHTFIELD";
    }
    const int high = brightField
                         ? Ostravo::ReadProfileInt("AutoScale", "BrightFieldHighMappingDisplayIntensity", 200,
                                                   mainSettings.c_str(), 32)
                         : Ostravo::ReadProfileInt("AutoScale", "FluorescenceHighMappingDisplayIntensity",
                                                   255, mainSettings.c_str(), 32);

    Ostravo::MapToDisplayColors(job.sampled_image.data(), n, reinterpret_cast<uint32_t *>(frame.data),
                                job.upper_intensity, job.lower_intensity,
                                job.overlay.empty() ? nullptr : job.sampled_overlay.data(),
                                static_cast<int16_t>(low), static_cast<int16_t>(high));

    MatSurface surface(frame, cv::Point(rect.left, rect.top));
    job.m_dc = &surface;
    const WindowMapping map(job);
    const int rows = job.image.rows;

    DrawCalibrationLines(surface, map, rows);
    DrawFlowSplit(surface, map, rows, *m_links.operatorScreen);

    DrawDetections(surface, map, job.detections_1, Pen{255, 0, 0, 2, PenStyle::Solid});
    DrawDetections(surface, map, job.detections_2, Pen{0, 255, 255, 2, PenStyle::Solid});
    DrawDetections(surface, map, job.epi_detections, Pen{255, 255, 0, 2, PenStyle::Solid});

    const bool roiHidden = _roi_hidden.load();
    if (!roiHidden) {
        const ImageRect roi = _active_roi.Get();
        OutlineImageRect(surface, map, roi, Pen{255, 0, 0, 1, PenStyle::Dot});
        cv::Mat background = (job.m_image_type >= 1 && job.m_image_type <= 4)
                                 ? m_links.app->BackgroundImage(job.m_image_type)
                                 : job.m_background;
        if (_draw_projection_below_roi.load() && m_links.analysis)
            DrawProjectionBelowRoi(surface, map, job, roi, background.empty() ? nullptr : &background,
                                   *m_links.analysis);
        if (_draw_projection_right_of_roi.load() && m_links.analysis) {
            EpiPreviewRoi.Set(ImageRect{});
            m_links.analysis->DrawProjectionRightOfRoi(job, roi);
        }

        const ImageRect preview = _preview_roi.Get();
        if (preview.left != preview.right)
            OutlineImageRect(surface, map, preview, Pen{0, 255, 0, 1, PenStyle::Dot});
        const ImageRect epiPreview = EpiPreviewRoi.Get();
        if (epiPreview.left != epiPreview.right)
            OutlineImageRect(surface, map, epiPreview, Pen{0, 0, 255, 1, PenStyle::Dot});
    }

    if (!operatorJob)
        DrawLastClick(surface, job);
    if (job.m_brightness_request)
        DrawBrightnessBox(surface, map, job, *m_links.devices);

    VideoSymbolFrame symbols;
    symbols.target_rect = rect;
    symbols.zoom_window = zoom;
    symbols.image_rect = ImageRect{map.x(0), map.y(0), map.x(job.image.cols - 1), map.y(rows - 1)};
    symbols.rows = rows;
    symbols.columns = job.image.cols;
    m_links.devices->DrawVideoSymbols(surface, symbols);

    if (job.m_save_reference) {
        std::string saveError;
        if (!SaveReferenceBitmap(frame, job, saveError))
            LogError(__FILE_NAME__, __LINE__, saveError);
    }
    job.m_dc = nullptr;
    return true;
}

// ---- Reference bitmaps --------------------------------------------------------------------------

bool ReferenceBitmapName(const std::string &imagePath, std::string &name, std::string &error)
{
    const std::string base = platform::WithoutExtension(imagePath);
    name = base + ".REF.BMP";
    if (!platform::FileExists(name))
        return true;
    for (unsigned long index = 1; index <= 999; ++index) {
        char suffix[32];
        std::snprintf(suffix, sizeof(suffix), ".REF[%lu].BMP", index);
        name = base + suffix;
        if (!platform::FileExists(name))
            return true;
    }
    error = "Reference image file name index can not exceed 1000 : " + name;
    return false;
}

cv::Rect ReferenceBitmapArea(const ImageRect &target, int imageColumns, int imageRows)
{
    const int W = target.right - target.left, H = target.bottom - target.top;
    if (target.left != 0)
        return cv::Rect(0, 0, W, H);
    if (W <= 0 || H <= 0 || imageColumns <= 0 || imageRows <= 0)
        return cv::Rect();
    const double ia = static_cast<double>(imageColumns) / imageRows;
    const double ca = static_cast<double>(W) / H;
    if (ca > ia)
        return cv::Rect(RoundToInt(W * (1.0 - ia / ca) / 2.0), 0, RoundToInt(W * ia / ca) + 1, H);
    return cv::Rect(0, RoundToInt(H * (1.0 - ca / ia) / 2.0), W, RoundToInt(H * ca / ia) + 1);
}

// ---- The view's paint ---------------------------------------------------------------------------

int ScrollPositionFromWindow(double low, double high)
{
    if (low == 0.0 && high == 1.0)
        return 500;
    if (high == 1.0)
        return 1000;
    if (high < 1.0 && low == 0.0)
        return 0;
    return TruncToInt(low / (low + 1.0 - high) * 1000.0);
}

bool LoadDisplaySettingsFile(const std::string &settingsFile)
{
    if (settingsFile == _display_settings_file)
        return false;
    if (platform::FileExists(settingsFile)) {
        CalibrationLines lines;
        lines.lower_magnet =
            Ostravo::ReadProfileInt("CalibrationSettings", "LowerMagnet", 1800, settingsFile.c_str(), 32);
        lines.upper_magnet =
            Ostravo::ReadProfileInt("CalibrationSettings", "UpperMagnet", 100, settingsFile.c_str(), 32);
        lines.lower_channel =
            Ostravo::ReadProfileInt("Cartridge", "CartridgeLowerChannel", 1500, settingsFile.c_str(), 32);
        lines.upper_channel =
            Ostravo::ReadProfileInt("Cartridge", "CartridgeUpperChannel", 400, settingsFile.c_str(), 32);
        _shown_calibration_lines.Set(lines);
    }
    _display_settings_file = settingsFile;
    return true;
}

std::string BackgroundImagePath(const std::string &imagePath, const std::string &typeName)
{
    const size_t sep = platform::LastSeparator(imagePath);
    if (sep == std::string::npos)
        return typeName + ".bg.tif";
    return imagePath.substr(0, sep + 1) + typeName + ".bg.tif";
}

int32_t LiveImageTypeIndex(const std::string &comboText, const std::string &mainSettingsPath)
{
    for (int32_t k = 1; k <= 4; ++k) {
        char key[16];
        std::snprintf(key, sizeof(key), "ImageType%d", static_cast<int>(k));
        char buffer[1024] = {0};
        if (!Ostravo::E_GetPrivateProfileString("ExperimentSettings", key, "", buffer, sizeof(buffer),
                                                mainSettingsPath.c_str()))
            continue;
        if (EqualIgnoringAsciiCase(comboText, buffer))
            return k;
    }
    return 0;
}
