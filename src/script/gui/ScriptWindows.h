#pragma once
// The script engine's windows and the runtime's links to them: the scripts window (owner of
// handle 0), the countdown and inform-operator windows, the variable watch, and the host of the
// script threads' message boxes. The windows are made on first use and live until Uninstall.
#include "script/ScriptRuntime.h"

#include <memory>

class ScriptsDlg;
class WaitWithTimerDlg;
class InformOperatorDlg;
class VariableWatchDlg;
class SystemStateDlg;
class QtScriptDialogHost;

class ScriptWindows
{
  public:
    ScriptWindows();
    ~ScriptWindows();

    // Installs the script services, the owner hooks of handle 0, the variable watch hook, the
    // countdown windows and the dialog host. User-interface thread.
    void Install();
    // Stops every script and joins its thread, then removes everything Install put in place.
    void Uninstall();

    ModelessWindow &ScriptsList();
    ModelessWindow &WaitWithTimer();
    ModelessWindow &InformOperator();
    ModelessWindow &VariableWatch();
    ModelessWindow &SystemState();
    // The windows once made; null before.
    ScriptsDlg *ScriptsDialog() const;
    WaitWithTimerDlg *WaitWithTimerDialog() const;
    InformOperatorDlg *InformOperatorDialog() const;
    VariableWatchDlg *VariableWatchDialog() const;
    SystemStateDlg *SystemStateDialog() const;
    QtScriptDialogHost *DialogHost() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// Makes and installs the script windows; keep the result until the event loop has ended, then
// call Uninstall.
std::shared_ptr<ScriptWindows> InstallScriptWindows();
