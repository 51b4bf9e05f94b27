#include "operator/CustomerUIServices.h"

#include "app/Placeholders.h"
#include "operator/CustomerUI.h"
#include "script/ScriptRuntime.h"

ModelessWindow &CustomerUIServices::Screen()
{
    return OperatorScreenServicesPlaceholder().Screen();
}

ModelessWindow &CustomerUIServices::ScriptsDialog()
{
    return OperatorScreenServicesPlaceholder().ScriptsDialog();
}

int32_t CustomerUIServices::State()
{
    return theCustomerUI().State();
}

void CustomerUIServices::LiveImageArea(int32_t rect[4], double zoom[4])
{
    OperatorScreenServicesPlaceholder().LiveImageArea(rect, zoom);
}

IntensityControl *CustomerUIServices::CheckedIntensityControl()
{
    return OperatorScreenServicesPlaceholder().CheckedIntensityControl();
}

void CustomerUIServices::UpdateFlowSplitText(bool repaint)
{
    theCustomerUI().UpdateFlowSplitText(repaint);
}

std::shared_ptr<RenderTarget> CustomerUIServices::LiveImageTarget()
{
    return OperatorScreenServicesPlaceholder().LiveImageTarget();
}

bool CustomerUIServices::FeedHistogram(const uint16_t *values, size_t n, uint16_t &lower, uint16_t &upper,
                                       std::string &error)
{
    return OperatorScreenServicesPlaceholder().FeedHistogram(values, n, lower, upper, error);
}

bool CustomerUIServices::Reload(const char *scriptPath, std::string &error)
{
    return theCustomerUI().Reload(scriptPath, error);
}

bool CustomerUIServices::SetFlowSplit(int32_t percent)
{
    return theCustomerUI().SetFlowSplit(percent);
}

std::shared_ptr<OperatorScreenServices> InstallCustomerUIServices()
{
    // The end of every operator script clears the screen, whether or not the scripts dialog that
    // lists it has a window. The main window's document close request has nothing to close here.
    ScriptOwnerHooks hooks;
    hooks.hasWindow = [] { return true; };
    hooks.setStatusText = [](const std::string &) {};
    hooks.onScriptEnded = [] { theCustomerUI().OnScriptEnded(); };
    SetScriptOwnerHooks(1, std::move(hooks));
    return InstallOperatorScreenServices(std::make_shared<CustomerUIServices>());
}
