#pragma once
// The operator screen's services as the application shell and the render thread see them: the
// screen's state, its reload and the flow split are served by the screen's model; the window, the
// live image drawn into it and its intensity controls by the window the GUI installs.
#include "app/OperatorScreenServices.h"

#include <memory>

// The operator screen's window as the services reach it; installed by the GUI.
class CustomerUIWindowLink : public ModelessWindow
{
  public:
    // Where the render thread draws the live image; null without a window.
    virtual std::shared_ptr<RenderTarget> LiveImageTarget() = 0;
    // Render thread: the histogram of a drawn frame for the intensity control of the checked
    // display mode; lower and upper receive its markers.
    virtual bool FeedHistogram(const uint16_t *values, size_t n, uint16_t &lower, uint16_t &upper,
                               std::string &error) = 0;
};

// The operator-screen scripts window as the services and the script thread of handle 1 reach it;
// installed by the GUI.
class CUIScriptsWindowLink : public ModelessWindow
{
  public:
    // Script thread: the line about to run; "" clears it.
    virtual void SetStatusText(const std::string &text) = 0;
    // Script thread: the end of a handle-1 run, the operator screen's reset included.
    virtual void OnScriptEnded() = 0;
};

class CustomerUIServices : public OperatorScreenServices
{
  public:
    ModelessWindow &Screen() override;
    ModelessWindow &ScriptsDialog() override;
    int32_t State() override;
    void LiveImageArea(int32_t rect[4], double zoom[4]) override;
    IntensityControl *CheckedIntensityControl() override;
    void UpdateFlowSplitText(bool repaint) override;
    std::shared_ptr<RenderTarget> LiveImageTarget() override;
    bool FeedHistogram(const uint16_t *values, size_t n, uint16_t &lower, uint16_t &upper,
                       std::string &error) override;
    bool Reload(const char *scriptPath, std::string &error) override;
    bool SetFlowSplit(int32_t percent) override;
    // The live video screen keeps live imaging off for a while after a script stopped it; the
    // model times that on its own steady clock, so only the moment of the call counts.
    void SetLiveImageStopTime(const platform::LocalTime &when) override;
};

// Installs the operator screen's services and the end-of-run cleanup of interpreter handle 1;
// returns the previous services.
std::shared_ptr<OperatorScreenServices> InstallCustomerUIServices();
// Installs the operator screen's window (nullptr removes it; without one the screen has no window,
// as in a run without a display).
void SetCustomerUIWindow(std::shared_ptr<CustomerUIWindowLink> window);
// Installs the operator-screen scripts window (nullptr removes it; without one the window never
// exists and the end of an operator script resets the screen on its own).
void SetCUIScriptsWindow(std::shared_ptr<CUIScriptsWindowLink> window);
