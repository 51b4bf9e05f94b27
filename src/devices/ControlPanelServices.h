#pragma once
// The instrument checks and the live-image test helpers: the start-up power and camera check, the
// brightness test the renderer serves and the symbols it draws over the live image.
#include "app/DeviceServices.h"

#include <memory>

class ControlPanelServices : public InstrumentPowerServices, public LiveOverlayServices
{
  public:
    bool CheckInstrumentPower() override;
    BrightnessAtTargetRequest &BrightnessRequest() override;
    void SetBrightnessTestEvent() override;
    std::vector<VideoSymbol> VisibleVideoSymbols() override;
    void DrawVideoSymbol(const VideoSymbol &symbol, DrawingSurface &surface, const Pen &pen,
                         const VideoSymbolFrame &frame) override;
};

// Installs one ControlPanelServices as the power check and the live-view overlay.
std::shared_ptr<ControlPanelServices> InstallControlPanelServices();
