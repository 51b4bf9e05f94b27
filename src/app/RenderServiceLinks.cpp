#include "app/RenderServiceLinks.h"

#include "app/DeviceServices.h"
#include "app/OperatorScreenServices.h"
#include "app/ToolServices.h"

namespace {

// The operator screen's state in which it shows live video.
constexpr int32_t kLiveVideoState = 7;

bool ToolShown(CalibratedToolWindow &tool, CalibrationLines &lines)
{
    ModelessWindow &window = tool.Window();
    if (!window.HasWindow() || !window.IsVisible())
        return false;
    int32_t rows[4] = {-1, -1, -1, -1};
    tool.GetCalibrationLines(rows);
    lines = CalibrationLines{rows[0], rows[1], rows[2], rows[3]};
    return true;
}

} // namespace

bool ToolServicesRenderLink::ProjectionToolShown(CalibrationLines &lines)
{
    return ToolShown(ProjectionTool(), lines);
}

bool ToolServicesRenderLink::FractionationToolShown(CalibrationLines &lines)
{
    return ToolShown(Fractionation(), lines);
}

bool OperatorScreenRenderLink::WindowExists()
{
    return OperatorScreen().Screen().HasWindow();
}

bool OperatorScreenRenderLink::IsShown()
{
    ModelessWindow &screen = OperatorScreen().Screen();
    return screen.HasWindow() && screen.IsVisible();
}

bool OperatorScreenRenderLink::LiveVideoTarget(std::shared_ptr<RenderTarget> &target, ImageRect &rect,
                                               ZoomWindow &zoom)
{
    OperatorScreenServices &screen = OperatorScreen();
    if (!IsShown() || screen.State() != kLiveVideoState)
        return false;
    std::shared_ptr<RenderTarget> window = screen.LiveImageTarget();
    if (!window)
        return false;
    int32_t area[4] = {0, 0, 0, 0};
    double window_zoom[4] = {0.0, 1.0, 0.0, 1.0};
    screen.LiveImageArea(area, window_zoom);
    target = std::move(window);
    rect = ImageRect{area[0], area[1], area[2], area[3]};
    zoom = ZoomWindow{window_zoom[0], window_zoom[1], window_zoom[2], window_zoom[3]};
    return true;
}

bool OperatorScreenRenderLink::FeedHistogram(const uint16_t *values, size_t n, uint16_t &lower,
                                             uint16_t &upper, std::string &error)
{
    return OperatorScreen().FeedHistogram(values, n, lower, upper, error);
}

void OperatorScreenRenderLink::UpdateFlowSplitText()
{
    OperatorScreen().UpdateFlowSplitText(true);
}

void DeviceServicesRenderLink::DrawVideoSymbols(DrawingSurface &surface, const VideoSymbolFrame &frame)
{
    LiveOverlayServices &overlay = LiveOverlay();
    for (const VideoSymbol &symbol : overlay.VisibleVideoSymbols()) {
        const Pen pen{symbol.red, symbol.green, symbol.blue, static_cast<int>(symbol.line_width),
                      PenStyle::Solid};
        overlay.DrawVideoSymbol(symbol, surface, pen, frame);
    }
}

void DeviceServicesRenderLink::ReportBrightness(int32_t median, bool withinLimits)
{
    LiveOverlayServices &overlay = LiveOverlay();
    BrightnessAtTargetRequest &request = overlay.BrightnessRequest();
    if (!withinLimits) {
        request.last_out_of_range = median;
        return;
    }
    request.result = median;
    overlay.SetBrightnessTestEvent();
}
