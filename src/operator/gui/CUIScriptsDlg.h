#pragma once
// "Customer UI Scripts": the operator-screen scripts (<program>/CustomerUI/Scripts/*.scr) listed,
// edited, run and stopped like the fluidic scripts, but on interpreter handle 1 and through the
// operator screen's reload. It also edits the screen's two start-up settings, [CustomerUI]
// DefaultScript and RunOnStartup, saving them one quiet second after the last change.
//
// The script thread reaches the window only through SetStatusText and OnScriptEnded; the latter
// resets the operator screen at once and posts the buttons' restore to the user-interface thread.
#include "operator/CustomerUIServices.h"
#include "script/gui/ScriptsDlg.h"

#include <memory>
#include <string>

class DropDownCombo;
class QCheckBox;

// <program folder>/CustomerUI/Scripts.
std::string CustomerUIScriptsFolder();

class CUIScriptsDlg : public ScriptsDlg
{
    Q_OBJECT
  public:
    static constexpr int kDefaultScriptId = 1006;
    static constexpr int kRunOnStartupId = 1007;
    // Saves both settings one second after the last change.
    static constexpr int CUISCRIPTS_TIMER_SAVE_SETTINGS = 1000;

    explicit CUIScriptsDlg(QWidget *parent = nullptr);
    ~CUIScriptsDlg() override;

    // Edit by admin mode, Stop while handle 1 runs, Run for a selection while it does not; the
    // list stays usable.
    void UpdateButtons() override;
    // Resets the operator screen and starts the selected script on it.
    void OnBnClickedRun() override;
    // Script thread: the end of a handle-1 run.
    void OnScriptEnded();
    // Refills the default-script box's list with the script names, keeping its text.
    void OnDropdownDefaultScript();
    // Arms the save unless the settings are being read in.
    void OnDefaultScriptChanged();
    // Timer CUISCRIPTS_TIMER_SAVE_SETTINGS: writes both settings.
    void OnTimer(int id) override;

    // True while the settings are put into the controls.
    bool m_initialising = false;

    DropDownCombo *DefaultScriptBox() const { return m_default_script; }
    QCheckBox *RunOnStartupBox() const { return m_run_on_startup; }

  private:
    void LoadSettings();

    DropDownCombo *m_default_script = nullptr;
    QCheckBox *m_run_on_startup = nullptr;
};

// The window as the operator screen's services and the script thread of handle 1 reach it; made
// on first use, then only shown and hidden.
class CUIScriptsWindow : public CUIScriptsWindowLink
{
  public:
    CUIScriptsWindow();
    ~CUIScriptsWindow() override;
    bool HasWindow() const override;
    bool Create(bool visible) override;
    bool IsVisible() const override;
    void Show(bool show) override;
    void SetStatusText(const std::string &text) override;
    void OnScriptEnded() override;
    // The dialog once made; null before.
    CUIScriptsDlg *Dialog() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// theCUIScriptsDlg: installs the window into the operator screen's services. User-interface thread.
std::shared_ptr<CUIScriptsWindow> InstallCUIScriptsWindow();
// Removes it again once the script threads have ended.
void UninstallCUIScriptsWindow();
