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
    // The layer must see the services installed before it, so it is made from the slot's answer
    // and then put in its place; installing null first hands back what was there.
    std::shared_ptr<DeviceServices> previous = InstallDeviceServices(nullptr);
    auto layer = std::make_shared<ControlPanelServices>(previous);
    InstallDeviceServices(layer);
    return layer;
}
