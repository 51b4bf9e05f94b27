#pragma once
// Interpreter instances and their script threads.
//
// There are two handles, each with one fixed slot: handle 0 runs the fluidic-system scripts,
// handle 1 the operator-screen scripts. Script::RunScript fills the slot, loads and checks the
// whole file on the calling thread and starts the script thread, which owns the instance until
// the run ends and then empties the slot. Slots never move, so an instance keeps its address for
// its whole run and the other handle's instance is never disturbed.
//
// A script thread never touches a window. It reaches the dialog that owns its handle through the
// hooks below, and waits for an answer from a window (a failure box, a prompt) only through
// AwaitScriptAnswer, which the exit releases. ShutdownScriptRuntime stops every run and joins its
// thread.
#include "Ostravo/EString.h"
#include "app/ScriptServices.h"
#include "platform/Sync.h"
#include "script/Script.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The number of interpreter handles (0 and 1).
inline constexpr int kScriptHandleCount = 2;

// What the window that owns a handle lends the script thread. Every function is called on the
// script thread and must only hand its work over to the user-interface thread.
struct ScriptOwnerHooks
{
    // Whether the owner's window exists; the other hooks are called only while it does.
    std::function<bool()> hasWindow;
    // The current-line text; "" clears it.
    std::function<void(const std::string &text)> setStatusText;
    // The end of a run: restore the owner's buttons.
    std::function<void()> onScriptEnded;
};
// Installs (or with empty hooks removes) the owner of a handle. Any thread.
void SetScriptOwnerHooks(int handle, ScriptOwnerHooks hooks);

// Called before each line with the running instance's variables, for the variable watch.
using VariableWatchHook = std::function<void(int handle, const VariableList &variables)>;
void SetVariableWatchHook(VariableWatchHook hook);

// Opens windows on the user-interface thread for a script thread without waiting for them.
class ScriptDialogHost
{
  public:
    virtual ~ScriptDialogHost() = default;
    // Opens a message box (platform::ui flags); answer gets the button's id once it is closed.
    // Returns a token for Dismiss.
    virtual uint64_t OpenMessageBox(const std::string &text, const std::string &caption, uint32_t flags,
                                    std::function<void(int answer)> answer) = 0;
    // Closes a window opened by this host without answering; a closed one is ignored.
    virtual void Dismiss(uint64_t token) = 0;
};
// Installs the host (nullptr: message boxes go straight to platform::ui::MessageBox, which
// answers at once headless or in tests). Install and remove while no script runs.
void SetScriptDialogHost(std::shared_ptr<ScriptDialogHost> host);

// Opens a window through open, which receives the function to call with the answer (from any
// thread, once), and waits for that answer. When the program exits meanwhile it calls dismiss and
// returns exitAnswer. Script threads only.
int AwaitScriptAnswer(const std::function<void(std::function<void(int)> answer)> &open,
                      const std::function<void()> &dismiss, int exitAnswer);
// A message box shown for a script thread through the installed host; at exit it is dismissed
// and the answer is IdCancel for a question, IdOk otherwise.
int ScriptMessageBox(const std::string &text, const std::string &caption, uint32_t flags);
// Sleeps up to ms; false as soon as the program exits (the caller then ends its command).
bool ScriptWaitMs(uint32_t ms);
// True once the exit has begun.
bool ScriptRuntimeExiting();

// Refuses a run start while a syringe pump is busy or cannot be read; true when no pump port is
// known.
bool CheckPumpsIdle(EString &error);
// Erases the handle's instance; a handle without one is left alone.
void RemoveInterpreterInstance(int handle);

// The live instances in creation order (handle, running flag, path).
std::vector<ScriptInstanceInfo> ScriptInstanceList();
// True while the handle has an instance.
bool ScriptInstanceExists(int handle);

// The queue of capture-log header lines and the semaphore that guards it. The semaphore is made
// once and never replaced, so no holder or waiter ever sees it change under it.
platform::BinarySemaphore &CaptureLogHeaderSemaphore();
std::vector<EString> &CaptureLogHeaderLines();
// Appends a line to the queue when the semaphore is obtained within 1000 ms; false (the line
// dropped) otherwise. Any thread.
bool QueueCaptureLogHeaderLine(const EString &line);
// Script::TakeCaptureLogHeaderLines: replaces out with the queued lines in their order and empties
// the queue; 0 with both lists unchanged when the semaphore is not obtained within 1000 ms.
size_t TakeCaptureLogHeaderLines(std::vector<EString> &out);

// Stops every run, releases every wait of AwaitScriptAnswer and ScriptWaitMs, dismisses the
// windows they opened, and joins the script threads. A thread that has not ended within 1.5 s
// (blocked in a call that knows nothing of the exit) is left detached and logged; false then.
// Afterwards new runs may start again (tests).
bool ShutdownScriptRuntime();

// The installed script services: the runtime's part, the rest from the placeholder. Windows are
// lent by the GUI through SetScriptWindows.
class ScriptRuntimeServices : public ScriptServices
{
  public:
    struct Windows
    {
        ModelessWindow *waitWithTimer = nullptr;
        ModelessWindow *informOperator = nullptr;
        ModelessWindow *scriptsList = nullptr;
        ModelessWindow *variableWatch = nullptr;
        ModelessWindow *systemState = nullptr;
        std::function<void()> updateScriptsListButtons;
    };
    void SetScriptWindows(Windows windows) { m_windows = std::move(windows); }

    ModelessWindow &WaitWithTimer() override;
    ModelessWindow &InformOperator() override;
    ModelessWindow &ScriptsList() override;
    ModelessWindow &SystemState() override;
    ModelessWindow &VariableWatch() override;
    void UpdateScriptsListButtons() override;
    std::vector<ScriptInstanceInfo> ScriptInstances() override;
    // The status bar's question: the full path of the run (the script engine's own
    // Script::IsScriptRunning gives the file name).
    bool IsScriptRunning(uint32_t handle, std::string &path) override;
    size_t TakeCaptureLogHeaderLines(std::vector<EString> &lines) override;
    bool RunScript(uint32_t handle, const std::string &path, EString &error) override;
    void StopScript(uint32_t handle) override;

  private:
    Windows m_windows;
};
