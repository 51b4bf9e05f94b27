#include "script/gui/ScriptWindows.h"

#include "app/ScriptServices.h"
#include "platform/Ui.h"
#include "script/ScriptWaitWindows.h"
#include "script/gui/InformOperatorDlg.h"
#include "script/gui/QtScriptDialogHost.h"
#include "script/gui/ScriptsDlg.h"
#include "script/gui/SystemStateDlg.h"
#include "script/gui/VariableWatchDlg.h"
#include "script/gui/WaitWithTimerDlg.h"
#include "tools/gui/ToolWindowKit.h"

#include <atomic>

namespace {

// The countdown and inform-operator windows as the script threads drive them: every call posts
// its work to the user-interface thread, in order.
class QtScriptWaitWindows : public ScriptWaitWindows
{
  public:
    QtScriptWaitWindows(LazyToolWindow<WaitWithTimerDlg> &countdown,
                        LazyToolWindow<InformOperatorDlg> &inform)
        : m_countdown(countdown), m_inform(inform)
    {
    }
    void ShowCountdown(const std::string &text, int32_t seconds, int32_t countUp) override
    {
        // Visible from the hand-over on, so the waiting thread never sees the window as closed
        // before the user-interface thread has shown it.
        m_visible = true;
        platform::ui::Ui().RunOnGuiThread(
            [this, text, seconds, countUp] {
                m_countdown.Create(false);
                WaitWithTimerDlg *dialog = m_countdown.Window();
                if (!m_connected) {
                    QObject::connect(dialog, &QDialog::finished, dialog, [this, dialog] {
                        if (!dialog->isVisible())
                            m_visible = false;
                    });
                    m_connected = true;
                }
                dialog->m_text = text;
                dialog->m_seconds = seconds;
                dialog->m_count_up = countUp;
                m_countdown.Show(true);
            },
            false);
    }
    bool CountdownVisible() override { return m_visible.load(); }
    void EndCountdown() override
    {
        platform::ui::Ui().RunOnGuiThread(
            [this] {
                if (WaitWithTimerDlg *dialog = m_countdown.Window())
                    dialog->done(1);
                m_visible = false;
            },
            false);
    }
    void InformOperator(const std::string &text, int32_t seconds) override
    {
        platform::ui::Ui().RunOnGuiThread(
            [this, text, seconds] {
                m_inform.Create(false);
                m_inform.Window()->Inform(text, seconds);
            },
            false);
    }

  private:
    LazyToolWindow<WaitWithTimerDlg> &m_countdown;
    LazyToolWindow<InformOperatorDlg> &m_inform;
    std::atomic<bool> m_visible{false};
    bool m_connected = false; // user-interface thread
};

} // namespace

struct ScriptWindows::Impl
{
    LazyToolWindow<ScriptsDlg> scripts{[] { return std::make_unique<ScriptsDlg>(); }};
    LazyToolWindow<WaitWithTimerDlg> countdown{[] { return std::make_unique<WaitWithTimerDlg>(); }};
    LazyToolWindow<InformOperatorDlg> inform{[] { return std::make_unique<InformOperatorDlg>(); }};
    LazyToolWindow<VariableWatchDlg> watch{[] { return std::make_unique<VariableWatchDlg>(); }};
    LazyToolWindow<SystemStateDlg> systemState{[] { return std::make_unique<SystemStateDlg>(); }};
    std::shared_ptr<ScriptRuntimeServices> services = std::make_shared<ScriptRuntimeServices>();
    std::shared_ptr<QtScriptDialogHost> host = std::make_shared<QtScriptDialogHost>();
    std::shared_ptr<QtScriptWaitWindows> waitWindows =
        std::make_shared<QtScriptWaitWindows>(countdown, inform);
    bool installed = false;
};

ScriptWindows::ScriptWindows() : m_impl(std::make_unique<Impl>()) {}

ScriptWindows::~ScriptWindows()
{
    Uninstall();
}

void ScriptWindows::Install()
{
    Impl &impl = *m_impl;
    ScriptRuntimeServices::Windows windows;
    windows.waitWithTimer = &impl.countdown;
    windows.informOperator = &impl.inform;
    windows.scriptsList = &impl.scripts;
    windows.variableWatch = &impl.watch;
    windows.systemState = &impl.systemState;
    windows.updateScriptsListButtons = [&impl] {
        if (ScriptsDlg *dialog = impl.scripts.HasWindow() ? impl.scripts.Window() : nullptr)
            dialog->UpdateButtons();
    };
    impl.services->SetScriptWindows(std::move(windows));
    InstallScriptServices(impl.services);

    ScriptOwnerHooks hooks;
    hooks.hasWindow = [&impl] { return impl.scripts.HasWindow(); };
    hooks.setStatusText = [&impl](const std::string &text) {
        impl.scripts.Window()->SetStatusText(text.c_str());
    };
    hooks.onScriptEnded = [&impl] { impl.scripts.Window()->OnScriptEnded(); };
    SetScriptOwnerHooks(SCRIPT_HANDLE_FLUIDIC_SYSTEM, std::move(hooks));
    SetVariableWatchHook([&impl](int handle, const VariableList &variables) {
        if (impl.watch.HasWindow())
            impl.watch.Window()->UpdateVariables(handle, variables);
    });
    SetScriptWaitWindows(impl.waitWindows);
    SetScriptDialogHost(impl.host);
    impl.installed = true;
}

void ScriptWindows::Uninstall()
{
    Impl &impl = *m_impl;
    if (!impl.installed)
        return;
    ShutdownScriptRuntime();
    if (SystemStateDlg *systemState = impl.systemState.Window())
        systemState->StopRefreshThread();
    SetScriptDialogHost(nullptr);
    SetScriptWaitWindows(nullptr);
    SetVariableWatchHook(nullptr);
    SetScriptOwnerHooks(SCRIPT_HANDLE_FLUIDIC_SYSTEM, {});
    InstallScriptServices(nullptr);
    impl.installed = false;
}

ModelessWindow &ScriptWindows::ScriptsList()
{
    return m_impl->scripts;
}
ModelessWindow &ScriptWindows::WaitWithTimer()
{
    return m_impl->countdown;
}
ModelessWindow &ScriptWindows::InformOperator()
{
    return m_impl->inform;
}
ModelessWindow &ScriptWindows::VariableWatch()
{
    return m_impl->watch;
}
ModelessWindow &ScriptWindows::SystemState()
{
    return m_impl->systemState;
}
ScriptsDlg *ScriptWindows::ScriptsDialog() const
{
    return m_impl->scripts.Window();
}
WaitWithTimerDlg *ScriptWindows::WaitWithTimerDialog() const
{
    return m_impl->countdown.Window();
}
InformOperatorDlg *ScriptWindows::InformOperatorDialog() const
{
    return m_impl->inform.Window();
}
VariableWatchDlg *ScriptWindows::VariableWatchDialog() const
{
    return m_impl->watch.Window();
}
SystemStateDlg *ScriptWindows::SystemStateDialog() const
{
    return m_impl->systemState.Window();
}
QtScriptDialogHost *ScriptWindows::DialogHost() const
{
    return m_impl->host.get();
}

std::shared_ptr<ScriptWindows> InstallScriptWindows()
{
    auto windows = std::make_shared<ScriptWindows>();
    windows->Install();
    return windows;
}
