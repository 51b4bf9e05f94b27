#include "operator/CustomerUIServices.h"

#include "operator/CustomerUI.h"
#include "script/ScriptRuntime.h"

#include <mutex>

namespace {

// A run without a display: the screen's model works, but it never gets a window.
class NoScreenWindow : public ModelessWindow
{
  public:
    bool HasWindow() const override { return false; }
    bool Create(bool) override { return false; }
    bool IsVisible() const override { return false; }
    void Show(bool) override {}
};

std::mutex g_windowMutex;
std::shared_ptr<CustomerUIWindowLink> g_window;

std::shared_ptr<CustomerUIWindowLink> Window()
{
    std::lock_guard<std::mutex> lock(g_windowMutex);
    return g_window;
}

std::shared_ptr<CUIScriptsWindowLink> g_scriptsWindow;

// The scripts window once it exists; null before and without a GUI.
std::shared_ptr<CUIScriptsWindowLink> ScriptsWindow()
{
    std::shared_ptr<CUIScriptsWindowLink> window;
    {
        std::lock_guard<std::mutex> lock(g_windowMutex);
        window = g_scriptsWindow;
    }
    return window && window->HasWindow() ? window : nullptr;
}

} // namespace

void SetCustomerUIWindow(std::shared_ptr<CustomerUIWindowLink> window)
{
    std::lock_guard<std::mutex> lock(g_windowMutex);
    g_window = std::move(window);
}

void SetCUIScriptsWindow(std::shared_ptr<CUIScriptsWindowLink> window)
{
    std::lock_guard<std::mutex> lock(g_windowMutex);
    g_scriptsWindow = std::move(window);
}

ModelessWindow &CustomerUIServices::Screen()
{
    static NoScreenWindow none;
    std::shared_ptr<CustomerUIWindowLink> window = Window();
    // The window lives until the GUI removes it at the exit, after the last caller.
    return window ? static_cast<ModelessWindow &>(*window) : none;
}

ModelessWindow &CustomerUIServices::ScriptsDialog()
{
    static NoScreenWindow none;
    std::shared_ptr<CUIScriptsWindowLink> window;
    {
        std::lock_guard<std::mutex> lock(g_windowMutex);
        window = g_scriptsWindow;
    }
    // The window lives until the GUI removes it at the exit, after the last caller.
    return window ? static_cast<ModelessWindow &>(*window) : none;
}

int32_t CustomerUIServices::State()
{
    return theCustomerUI().State();
}

void CustomerUIServices::LiveImageArea(int32_t rect[4], double zoom[4])
{
    const CustomerUIData d = theCustomerUI().Snapshot();
    const CustomerUIPlacement p = PlaceCustomerUI(d.clientWidth + 1, d.clientHeight + 1);
    rect[0] = p.imageArea.left;
    rect[1] = p.imageArea.top;
    rect[2] = p.imageArea.right;
    rect[3] = p.imageArea.bottom;
    const PreviewZoomArea z = theCustomerUI().PreviewZoom();
    zoom[0] = z.left;
    zoom[1] = z.right;
    zoom[2] = z.top;
    zoom[3] = z.bottom;
}

IntensityControl *CustomerUIServices::CheckedIntensityControl()
{
    // The drawn intensity controls belong to the window's thread; the render thread reaches the
    // checked one through FeedHistogram.
    return nullptr;
}

void CustomerUIServices::UpdateFlowSplitText(bool repaint)
{
    theCustomerUI().UpdateFlowSplitText(repaint);
}

std::shared_ptr<RenderTarget> CustomerUIServices::LiveImageTarget()
{
    std::shared_ptr<CustomerUIWindowLink> window = Window();
    return window ? window->LiveImageTarget() : nullptr;
}

bool CustomerUIServices::FeedHistogram(const uint16_t *values, size_t n, uint16_t &lower, uint16_t &upper,
                                       std::string &error)
{
    std::shared_ptr<CustomerUIWindowLink> window = Window();
    if (!window) {
        error = "CustomerUI::FeedHistogram() - the operator screen has no window.";
        return false;
    }
    return window->FeedHistogram(values, n, lower, upper, error);
}

bool CustomerUIServices::Reload(const char *scriptPath, std::string &error)
{
    return theCustomerUI().Reload(scriptPath, error);
}

bool CustomerUIServices::SetFlowSplit(int32_t percent)
{
    return theCustomerUI().SetFlowSplit(percent);
}

void CustomerUIServices::SetLiveImageStopTime(const platform::LocalTime &)
{
    theCustomerUI().NoteLiveImageStopped();
}

std::shared_ptr<OperatorScreenServices> InstallCustomerUIServices()
{
    // The end of every operator script clears the screen, whether or not the scripts dialog that
    // lists it has a window; with one, the dialog does it and then restores its buttons.
    ScriptOwnerHooks hooks;
    hooks.hasWindow = [] { return true; };
    hooks.setStatusText = [](const std::string &text) {
        if (std::shared_ptr<CUIScriptsWindowLink> window = ScriptsWindow())
            window->SetStatusText(text);
    };
    hooks.onScriptEnded = [] {
        if (std::shared_ptr<CUIScriptsWindowLink> window = ScriptsWindow())
            window->OnScriptEnded();
        else
            theCustomerUI().OnScriptEnded();
    };
    SetScriptOwnerHooks(1, std::move(hooks));
    return InstallOperatorScreenServices(std::make_shared<CustomerUIServices>());
}
