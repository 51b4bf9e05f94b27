#pragma once
// The manufacturing-test commands that work on the live camera preview: a wait until the median
// brightness in a box of the live image lies within limits, and a symbol shown over the live
// image. Both run on a script thread; the render thread measures the box and draws the symbols.
#include "Ostravo/EString.h"
#include "app/DeviceServices.h"

#include <cstdint>
#include <memory>

// What the commands need to know of the live preview. The GUI installs the real one; without one
// (headless) the preview never counts as active.
class LivePreview
{
  public:
    virtual ~LivePreview() = default;
    // Whether live imaging is on (the main frame's live-image toolbar button is pressed).
    virtual bool LiveButtonPressed() = 0;
    // Whether a live-image document is open; when it has an image, hasImage and its size.
    virtual bool LiveDocument(bool &hasImage, int32_t &width, int32_t &height) = 0;
};

// The installed preview, or null. Any thread.
std::shared_ptr<LivePreview> InstalledLivePreview();
// Installs preview (nullptr removes it) and returns the previous one.
std::shared_ptr<LivePreview> SetLivePreview(std::shared_ptr<LivePreview> preview);

// The running brightness test, which the view copies into each live render job.
BrightnessAtTargetRequest &BrightnessTestRequest();
// Wakes the running test (the renderer found the median within the limits). Render thread.
void SetBrightnessTestEvent();

// Waits at most timeoutSec seconds until the median of the sz x sz box centred at (ix, iy) of
// the live image lies within low..high. True when error stays empty; brightness is the median
// that met the limits or, after the time-out, the last one measured outside them (0 when none was
// measured during this test).
bool MfgTest_BrightnessAtTarget(int32_t low, int32_t high, int32_t ix, int32_t iy, int32_t sz,
                                int32_t timeoutSec, int32_t &brightness, EString &error);

// Adds a symbol over the live image at image point (x, y).
bool MfgTest_ShowSymbolOverVideo(int32_t x, int32_t y, int32_t symbolType, int32_t red, int32_t green,
                                 int32_t blue, int32_t lineWidth, EString &error);
