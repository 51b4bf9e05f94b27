#pragma once
// What the application shell and the render thread ask of the guided operator screen. Until the
// screen is installed, a placeholder answers: no window, and every action is "not available".
// The shared flow-split record _flow_split lives with the view globals (app/ViewGlobals.h).
#include "app/ModelessWindow.h"
#include "platform/Clock.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class IntensityControl;
class RenderTarget;

class OperatorScreenServices
{
  public:
    virtual ~OperatorScreenServices() = default;

    // theCustomerUI's window.
    virtual ModelessWindow &Screen() = 0;
    // theCUIScriptsDlg.
    virtual ModelessWindow &ScriptsDialog() = 0;

    // CustomerUI::m_state; 7 is the live-video state.
    virtual int32_t State() = 0;
    // Where live images are drawn: the rectangle (left, top, right, bottom) in the screen's client
    // coordinates and the zoom window (left, right, top, bottom as image fractions).
    virtual void LiveImageArea(int32_t rect[4], double zoom[4]) = 0;
    // The intensity control of the checked display-mode button; null when there is none.
    virtual IntensityControl *CheckedIntensityControl() = 0;
    // CustomerUI::UpdateFlowSplitText.
    virtual void UpdateFlowSplitText(bool repaint) = 0;
    // The screen's window as the render thread draws live images into it; null without a window.
    virtual std::shared_ptr<RenderTarget> LiveImageTarget() = 0;
    // Gives the histogram of the n values of a frame drawn on the screen to the intensity control
    // of the checked display mode and lays that control out again; lower and upper receive its
    // markers. False with the reason in error when the histogram could not be taken. Render thread.
    virtual bool FeedHistogram(const uint16_t *values, size_t n, uint16_t &lower, uint16_t &upper,
                               std::string &error) = 0;
    // CustomerUI::Reload: resets the screen and starts scriptPath on interpreter handle 1; true at
    // once for a missing or empty script; false with the reason in error.
    virtual bool Reload(const char *scriptPath, std::string &error) = 0;
    // CustomerUI::SetFlowSplit: within the screen's range sets the split to percent (0 is the
    // middle) and marks the views for redraw; false outside the range. Without the screen:
    // "not available".
    virtual bool SetFlowSplit(int32_t percent);
    // CustomerUI::m_live_image_stop_time := when (local time): a script stopped live imaging, so
    // the screen does not restart it on its own for a while. Without the screen: "not available".
    virtual void SetLiveImageStopTime(const platform::LocalTime &when);
};

// The installed operator screen, or its placeholder.
OperatorScreenServices &OperatorScreen();
// Installs services (nullptr puts the placeholder back); returns the previous installed one.
std::shared_ptr<OperatorScreenServices>
InstallOperatorScreenServices(std::shared_ptr<OperatorScreenServices> services);
