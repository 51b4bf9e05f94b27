#pragma once
// The device-services layer of the instrument checks and the live-image test helpers: the
// start-up power and camera check, the brightness test the renderer serves and the symbols it
// draws over the live image. Everything else goes to the services installed before it.
#include "devices/ForwardingDeviceServices.h"

class ControlPanelServices : public ForwardingDeviceServices
{
  public:
    using ForwardingDeviceServices::ForwardingDeviceServices;

    bool CheckInstrumentPower() override;
    BrightnessAtTargetRequest &BrightnessRequest() override;
    void SetBrightnessTestEvent() override;
    std::vector<VideoSymbol> VisibleVideoSymbols() override;
    void DrawVideoSymbol(const VideoSymbol &symbol, DrawingSurface &surface, const Pen &pen,
                         const VideoSymbolFrame &frame) override;
};

// Installs a ControlPanelServices layer over the device services installed now.
std::shared_ptr<ControlPanelServices> InstallControlPanelServices();
