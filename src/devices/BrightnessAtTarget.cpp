#include "devices/BrightnessAtTarget.h"

#include "app/PlexorinApp.h"
#include "devices/VideoSymbols.h"
#include "platform/Sync.h"

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>

namespace {

std::mutex g_previewMutex;
std::shared_ptr<LivePreview> g_preview;

// One request and one event for the life of the program: the render thread may set the event at
// any time, also just after a test has ended.
struct BrightnessTest
{
    BrightnessAtTargetRequest request;
    platform::Event event{true};
    // Keeps a second test out; taken and given back as one atomic step.
    std::atomic<bool> active{false};
};

BrightnessTest &Test()
{
    static BrightnessTest test;
    return test;
}

std::string Format(const char *format, long value)
{
    char text[256];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// Steps 1 and 2 of the preview gate: the mode and the live-image button.
bool PreviewAllowed(std::string &error)
{
    if (theApp.m_analysis_mode && !theApp.m_admin_mode) {
        error = "Image preview is not allowed when using PlexorinAM.exe (Analysis Mode). May be overriden if "
                "you have administrative access.";
        return false;
    }
    std::shared_ptr<LivePreview> preview = InstalledLivePreview();
    if (!preview || !preview->LiveButtonPressed()) {
        error = "Image preview is not active.";
        return false;
    }
    return true;
}

// Step 3: the live-image document and its image.
bool LiveImageSize(const char *caller, int32_t &width, int32_t &height, std::string &error)
{
    std::shared_ptr<LivePreview> preview = InstalledLivePreview();
    bool hasImage = false;
    if (!preview || !preview->LiveDocument(hasImage, width, height)) {
        error = std::string(caller) + "() : Internal error #1";
        return false;
    }
    if (!hasImage) {
        error = std::string(caller) + "() : Internal error #2";
        return false;
    }
    return true;
}

bool CheckLimits(int32_t low, int32_t high, std::string &error)
{
    if (low < 0)
        error = "low must be greater than or equal to 0";
    else if (low >= high)
        error = "high must be must be greater than or equal to low";
    else if (low >= 65535)
        error = Format("low must be less than to %ld", 65535);
    else if (high >= 65536)
        error = Format("high must be less than or equal to %ld must be greater than or equal to 0", 65535);
    return error.empty();
}

bool CheckBox(int32_t ix, int32_t iy, int32_t sz, int32_t timeoutSec, int32_t width, int32_t height,
              std::string &error)
{
    // 64-bit sums: a huge box or centre must be refused, not wrap round into range.
    const int64_t h = sz / 2;
    if (sz % 2 == 0)
        error = "sz must be an odd number.";
    else if (ix - h < 0)
        error = "ix - sz/2 must be greater than or equal to zero.";
    else if (ix + h >= width)
        error = Format("ix + sz/2 must be less than image width: %ld.", width);
    else if (iy - h < 0)
        error = "iy - sz/2 must be greater than or equal to zero.";
    else if (iy + h >= height)
        error = Format("iy + sz/2 must be less than image height: %ld.", height);
    else if (timeoutSec < 1 || timeoutSec > 3600)
        error = "timeout_sec must be between 1 and 3600.";
    return error.empty();
}

} // namespace

std::shared_ptr<LivePreview> InstalledLivePreview()
{
    std::lock_guard<std::mutex> lock(g_previewMutex);
    return g_preview;
}

std::shared_ptr<LivePreview> SetLivePreview(std::shared_ptr<LivePreview> preview)
{
    std::lock_guard<std::mutex> lock(g_previewMutex);
    std::swap(g_preview, preview);
    return preview;
}

BrightnessAtTargetRequest &BrightnessTestRequest()
{
    return Test().request;
}

void SetBrightnessTestEvent()
{
    Test().event.Set();
}

bool MfgTest_BrightnessAtTarget(int32_t low, int32_t high, int32_t ix, int32_t iy, int32_t sz,
                                int32_t timeoutSec, int32_t &brightness, EString &error)
{
    error = "";
    BrightnessTest &test = Test();
    if (test.active.exchange(true)) {
        error = "Already running MfgTest_BrightnessAtTarget().";
        return false;
    }
    std::string text;
    int32_t width = 0, height = 0;
    if (PreviewAllowed(text) && CheckLimits(low, high, text) &&
        LiveImageSize("MfgTest_BrightnessAtTarget", width, height, text) &&
        CheckBox(ix, iy, sz, timeoutSec, width, height, text)) {
        BrightnessAtTargetRequest &request = test.request;
        test.event.Reset();
        request.result = 0;
        // A value left by an earlier test is no measurement of this one.
        request.last_out_of_range = 0;
        request.low_limit = low;
        request.high_limit = high;
        request.center_column = ix;
        request.center_row = iy;
        request.box_size = sz;
        // The renderer starts measuring once the box is in place.
        request.running = true;
        const bool met = test.event.Wait(static_cast<uint32_t>(timeoutSec) * 1000u);
        request.running = false;
        brightness = met ? request.result.load() : request.last_out_of_range.load();
    }
    test.active = false;
    error = text.c_str();
    return text.empty();
}

bool MfgTest_ShowSymbolOverVideo(int32_t x, int32_t y, int32_t symbolType, int32_t red, int32_t green,
                                 int32_t blue, int32_t lineWidth, EString &error)
{
    std::string text;
    auto colour = [&text](const char *name, int32_t value) {
        if (text.empty() && (value < 0 || value > 255))
            text = "Invalid parameter " + std::string(name) + ": " + std::to_string(value) +
                   "  Value must be between 0 and 255";
    };
    if (symbolType >= kFirstSymbolTypeId && !IsKnownSymbolType(symbolType))
        text = "Invalid symbol_type: " + std::to_string(symbolType);
    colour("red", red);
    colour("green", green);
    colour("blue", blue);
    if (text.empty() && (lineWidth < 1 || lineWidth > 20))
        text = "line_width must be between 1 and 20";
    int32_t width = 0, height = 0;
    if (text.empty() && PreviewAllowed(text))
        LiveImageSize("MfgTest_ShowSymbolOverVideo", width, height, text);
    if (!text.empty()) {
        error = text.c_str();
        return false;
    }
    VideoSymbol symbol;
    symbol.symbol_type = symbolType;
    symbol.x = x;
    symbol.y = y;
    symbol.red = static_cast<uint8_t>(red);
    symbol.green = static_cast<uint8_t>(green);
    symbol.blue = static_cast<uint8_t>(blue);
    symbol.line_width = lineWidth;
    return AddVideoSymbol(symbol, "MfgTest_ShowSymbolOverVideo", error);
}
