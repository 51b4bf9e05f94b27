#include "tools/gui/RoiToolWindows.h"

#include "app/PlexorinApp.h"
#include "platform/Ui.h"
#include "tools/gui/ChooseROI.h"
#include "tools/gui/ROIManager.h"

class RoiToolWindows::ManagerWindow : public ModelessWindow
{
  public:
    // Asked from any thread (a script's ROI command); the window itself is made and used on the
    // user-interface thread.
    bool HasWindow() const override { return m_exists.load(); }
    bool Create(bool visible) override
    {
        if (!m_dialog) {
            m_dialog = std::make_unique<ROIManager>(theApp.m_ini_path);
            m_exists = true;
        }
        if (visible)
            m_dialog->show();
        return true;
    }
    bool IsVisible() const override { return m_dialog && m_dialog->isVisible(); }
    void Show(bool show) override
    {
        if (!m_dialog)
            return;
        if (show) {
            m_dialog->show();
            m_dialog->raise();
        } else {
            m_dialog->hide();
        }
    }
    ROIManager *Dialog() const { return m_dialog.get(); }

  private:
    std::unique_ptr<ROIManager> m_dialog;
    std::atomic<bool> m_exists{false};
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
    InstallToolServices(std::make_shared<RoiToolServices>(windows));
    return windows;
}
