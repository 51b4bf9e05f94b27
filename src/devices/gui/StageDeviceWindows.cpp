#include "devices/gui/StageDeviceWindows.h"

#include "app/PlexorinApp.h"
#include "devices/gui/ZaberControlPanel.h"
#include "tools/gui/ToolWindowKit.h"

StageDeviceWindows::StageDeviceWindows()
    : m_panel(std::make_unique<LazyToolWindow<::ZaberControlPanel>>(
          [] { return std::make_unique<::ZaberControlPanel>(theApp.m_ini_path); }))
{
}

StageDeviceWindows::~StageDeviceWindows() = default;

ModelessWindow &StageDeviceWindows::ZaberControlPanel()
{
    return *m_panel;
}

::ZaberControlPanel *StageDeviceWindows::Panel() const
{
    return m_panel->Window();
}

std::shared_ptr<StageDeviceWindows> InstallStageDeviceWindows()
{
    auto windows = std::make_shared<StageDeviceWindows>();
    InstallStageWindowServices(windows);
    return windows;
}
