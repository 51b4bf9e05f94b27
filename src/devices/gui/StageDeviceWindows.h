#pragma once
// The stage control panel, made on first use and kept, hidden or shown, until the program ends.
#include "app/DeviceServices.h"

#include <memory>

class ZaberControlPanel;
template <class Dialog> class LazyToolWindow;

class StageDeviceWindows : public StageWindowServices
{
  public:
    StageDeviceWindows();
    ~StageDeviceWindows() override;

    ModelessWindow &ZaberControlPanel() override;
    // The panel once its window exists; null before. User-interface thread.
    ::ZaberControlPanel *Panel() const;

  private:
    std::unique_ptr<LazyToolWindow<::ZaberControlPanel>> m_panel;
};

// Installs the stage window services; returns them.
std::shared_ptr<StageDeviceWindows> InstallStageDeviceWindows();
