#pragma once
// The stage's layer of the device services with its window: the serial-device detection and the
// stage control panel, made on first use and kept, hidden or shown, until the program ends.
#include "devices/SerialDeviceDetection.h"

#include <memory>

class ZaberControlPanel;
template <class Dialog> class LazyToolWindow;

class StageDeviceWindows : public SerialDeviceServices
{
  public:
    explicit StageDeviceWindows(std::shared_ptr<DeviceServices> next);
    ~StageDeviceWindows() override;

    ModelessWindow &ZaberControlPanel() override;
    // The panel once its window exists; null before. User-interface thread.
    ::ZaberControlPanel *Panel() const;

  private:
    std::unique_ptr<LazyToolWindow<::ZaberControlPanel>> m_panel;
};

// Installs the layer over the device services installed so far; returns it.
std::shared_ptr<StageDeviceWindows> InstallStageDeviceWindows();
