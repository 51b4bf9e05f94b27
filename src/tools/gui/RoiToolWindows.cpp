#include "tools/gui/RoiToolWindows.h"

#include "app/PlexorinApp.h"
#include "platform/Ui.h"
#include "tools/RoiListLookup.h"
#include "tools/gui/ChooseROI.h"
#include "tools/gui/ROIManager.h"
#include "tools/gui/ToolWindowKit.h"

// Asked from any thread (a script's ROI command); the window itself is made and used on the
// user-interface thread.
class RoiToolWindows::ManagerWindow : public LazyToolWindow<ROIManager>
{
  public:
    ManagerWindow() : LazyToolWindow([] { return std::make_unique<ROIManager>(theApp.m_ini_path); }) {}
    ROIManager *Dialog() const { return Window(); }
};

RoiToolWindows::RoiToolWindows() : m_manager(std::make_unique<ManagerWindow>()) {}

RoiToolWindows::~RoiToolWindows() = default;

ModelessWindow &RoiToolWindows::RoiManager()
{
    return *m_manager;
}

bool RoiToolWindows::ShowCurrentRoi()
{
    if (!m_manager->HasWindow())
        return false;
    bool shown = false;
    platform::ui::Ui().RunOnGuiThread([this, &shown] { shown = m_manager->Dialog()->ShowCurrentRoi(); },
                                      true);
    return shown;
}

bool RoiToolWindows::RunChooseRoiDialog()
{
    ChooseROI dialog(theApp.m_ini_path);
    return dialog.exec() == QDialog::Accepted;
}

ROIManager *RoiToolWindows::Manager() const
{
    return m_manager->Dialog();
}

std::shared_ptr<RoiToolWindows> InstallRoiToolWindows()
{
    auto windows = std::make_shared<RoiToolWindows>();
    InstallRoiLookup(std::make_shared<RoiListLookup>());
    InstallRoiWindows(windows);
    return windows;
}
