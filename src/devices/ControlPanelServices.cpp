#include "devices/ControlPanelServices.h"

#include "devices/BrightnessAtTarget.h"
#include "devices/PowerCheck.h"
#include "devices/VideoSymbols.h"

bool ControlPanelServices::CheckInstrumentPower()
{
    return ::CheckInstrumentPower();
}

BrightnessAtTargetRequest &ControlPanelServices::BrightnessRequest()
{
    return BrightnessTestRequest();
}

void ControlPanelServices::SetBrightnessTestEvent()
{
    ::SetBrightnessTestEvent();
}

std::vector<VideoSymbol> ControlPanelServices::VisibleVideoSymbols()
{
    return VisibleVideoSymbolsSnapshot();
}

void ControlPanelServices::DrawVideoSymbol(const VideoSymbol &symbol, DrawingSurface &surface, const Pen &pen,
                                           const VideoSymbolFrame &frame)
{
    ::DrawVideoSymbol(symbol, surface, pen, frame);
}

std::shared_ptr<ControlPanelServices> InstallControlPanelServices()
{
    auto services = std::make_shared<ControlPanelServices>();
    InstallInstrumentPowerServices(services);
    InstallLiveOverlayServices(services);
    return services;
}
