#pragma once
// The window side of the control-panel layer of the device services: the fluidic control panel
// and the pump information window, each made on first use, and the live preview that the
// manufacturing-test commands ask about.
#include "devices/ForwardingDeviceServices.h"

#include <memory>

class ControlPanelDlg;
class PumpInformationDlg;

class ControlPanelWindows : public ForwardingDeviceServices
{
  public:
    explicit ControlPanelWindows(std::shared_ptr<DeviceServices> next);
    ~ControlPanelWindows() override;

    ModelessWindow &ControlPanel() override;
    void SetControlPanelAdminMode(bool on) override;
    ModelessWindow &PumpInformation() override;

    // The windows, null until first used.
    ControlPanelDlg *ControlPanelDialog() const;
    PumpInformationDlg *PumpInformationDialog() const;

  private:
    class ControlPanelWindow;
    class PumpInformationWindow;
    std::unique_ptr<ControlPanelWindow> m_controlPanel;
    std::unique_ptr<PumpInformationWindow> m_pumpInformation;
};

// Installs the windows over the device services installed now, and the live preview of the main
// frame.
std::shared_ptr<ControlPanelWindows> InstallControlPanelWindows();
