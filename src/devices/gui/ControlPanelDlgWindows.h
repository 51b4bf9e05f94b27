#pragma once
// The fluidics windows: the fluidic control panel and the pump information window, each made on
// first use, and the live preview that the manufacturing-test commands ask about.
#include "app/DeviceServices.h"

#include <memory>

class ControlPanelDlg;
class PumpInformationDlg;

class ControlPanelWindows : public FluidicsWindowServices
{
  public:
    ControlPanelWindows();
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

// Installs the windows as the fluidics window services, and the live preview of the main frame.
std::shared_ptr<ControlPanelWindows> InstallControlPanelWindows();
