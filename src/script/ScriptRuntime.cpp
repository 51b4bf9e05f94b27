#include "script/ScriptRuntime.h"

#include "Ostravo/CachedLog.h"
#include "Ostravo/LogError.h"
#include "Ostravo/TecanCentris.h"
#include "Ostravo/TextFormat.h"
#include "app/DeviceServices.h"
#include "app/Placeholders.h"
#include "app/PlexorinApp.h"
#include "devices/VideoSymbols.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Ui.h"

#include <array>
#include <atomic>
#include <cstdio>
#include <exception>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace {

constexpr const char *kSourceFile = "ScriptRuntime.cpp";
constexpr const char *kCaption = "Vantelis";
constexpr uint64_t kExitJoinBudgetMs = 1500;
// How long a producer or consumer of the capture-log header queue waits for its semaphore.
constexpr uint32_t kCaptureLogHeaderWaitMs = 1000;

// The thread parameter: one constant of static storage per handle.
const int kHandleValues[kScriptHandleCount] = {SCRIPT_HANDLE_FLUIDIC_SYSTEM, SCRIPT_HANDLE_CUSTOMER_UI};

struct ScriptThread
{
    std::thread thread;
    // Set as the thread's last step, so the exit can tell a finished thread from a stuck one.
    std::shared_ptr<platform::Event> ended;
};

// Guards the slots, the creation order and the thread records.
std::mutex g_instancesMutex;
std::array<std::unique_ptr<Script>, kScriptHandleCount> g_slots;
std::vector<int> g_creationOrder;
std::array<ScriptThread, kScriptHandleCount> g_threads;

// Set while the program exits: releases every wait of a script thread.
platform::Event g_exit(true, false);

std::mutex g_hooksMutex;
std::array<ScriptOwnerHooks, kScriptHandleCount> g_owners;
VariableWatchHook g_variableWatch;
std::shared_ptr<ScriptDialogHost> g_dialogHost;

bool ValidHandle(int handle)
{
    return handle >= 0 && handle < kScriptHandleCount;
}

// The caller holds g_instancesMutex.
Script *FindInstanceLocked(int handle)
{
    return ValidHandle(handle) ? g_slots[static_cast<size_t>(handle)].get() : nullptr;
}

ScriptOwnerHooks OwnerHooks(int handle)
{
    std::lock_guard<std::mutex> lock(g_hooksMutex);
    return g_owners[static_cast<size_t>(handle)];
}

bool OwnerWindowExists(const ScriptOwnerHooks &hooks)
{
    return hooks.hasWindow && hooks.hasWindow();
}

void BeforeLine(const Script &instance, const CodeUnit &unit, size_t line, const VariableList &variables)
{
    VariableWatchHook watch;
    {
        std::lock_guard<std::mutex> lock(g_hooksMutex);
        watch = g_variableWatch;
    }
    if (watch)
        watch(instance.m_handle, variables);
    const ScriptOwnerHooks hooks = OwnerHooks(instance.m_handle);
    if (hooks.setStatusText && OwnerWindowExists(hooks) && line < unit.m_lines.size())
        hooks.setStatusText(TrimmedLine(unit.m_lines[line]));
}

// The owner dialog's part of the end of a run: the current line cleared, the buttons restored.
void RunOwnerEndHooks(int handle)
{
    const ScriptOwnerHooks hooks = OwnerHooks(handle);
    if (!OwnerWindowExists(hooks))
        return;
    if (hooks.setStatusText)
        hooks.setStatusText("");
    if (hooks.onScriptEnded)
        hooks.onScriptEnded();
}

// The end of a run that executed no line: flag, owner, removal.
void AbandonRun(int handle)
{
    {
        std::lock_guard<std::mutex> lock(g_instancesMutex);
        if (Script *instance = FindInstanceLocked(handle))
            instance->m_running = false;
    }
    RunOwnerEndHooks(handle);
    RemoveInterpreterInstance(handle);
}

// The end of a run that executed lines: log, flag, symbols over the live image, pumps
// (operator-screen runs), owner, removal.
void EndRun(int handle, const char *scriptName)
{
    AddScriptLogLine(scriptName, "onEndScript");
    ClearVideoSymbols(); // a failure leaves the run's result as it is
    {
        std::lock_guard<std::mutex> lock(g_instancesMutex);
        if (Script *instance = FindInstanceLocked(handle)) {
            instance->m_running = false;
            instance->m_main.m_lines.clear();
        }
    }
    if (handle == SCRIPT_HANDLE_CUSTOMER_UI && theApp.m_pump_port != 0) {
        EString error;
        if (!TecanCentris::TerminateBusyPumps(theApp.m_pump_port, error))
            LogError(kSourceFile, __LINE__, error.c_str());
    }
    RunOwnerEndHooks(handle);
    RemoveInterpreterInstance(handle);
}

int ScriptThreadProc(const int *handleParameter)
{
    const int handle = *handleParameter;
    std::string scriptName;
    bool executed = false;
    try {
        Script *instance = nullptr;
        {
            std::lock_guard<std::mutex> lock(g_instancesMutex);
            instance = FindInstanceLocked(handle);
            if (instance)
                scriptName = instance->m_script_name.c_str();
        }
        if (!instance)
            return 0;
        // A stop that came before the thread began, or a file without code: nothing is copied,
        // executed or logged.
        if (!instance->m_running.load() || instance->m_main.m_lines.empty()) {
            AbandonRun(handle);
            return 0;
        }
        // The copy is taken from the file that runs, whichever folder it is in.
        CopyScriptToLog(instance->m_script_path.c_str());
        VariableList variables;
        EString error;
        executed = true;
        const bool ok = ExecuteCodeUnit(instance->m_main, *instance, variables, error, scriptName.c_str());
        if (!ok) {
            LogError(kSourceFile, __LINE__, error.c_str());
            ScriptMessageBox(error.c_str(), kCaption, platform::ui::MbOk | platform::ui::MbIconError);
        }
        EndRun(handle, scriptName.c_str());
    } catch (...) {
        LogError(kSourceFile, __LINE__, "Exception while running scipt.");
        // The owner dialog and the flag are put right as after a failing line, so the window is
        // not left showing a run that has gone.
        try {
            if (executed)
                EndRun(handle, scriptName.c_str());
            else
                AbandonRun(handle);
        } catch (...) {
            RemoveInterpreterInstance(handle);
        }
    }
    return 0;
}

void StartThread(int handle, const std::shared_ptr<platform::Event> &ended)
{
    std::lock_guard<std::mutex> lock(g_instancesMutex);
    ScriptThread &record = g_threads[static_cast<size_t>(handle)];
    record.ended = ended;
    record.thread = std::thread([ended, parameter = &kHandleValues[handle]] {
        ScriptThreadProc(parameter);
        ended->Set();
    });
}

// A finished run's thread of the handle, taken out of its record to be joined.
ScriptThread TakeThread(int handle)
{
    std::lock_guard<std::mutex> lock(g_instancesMutex);
    return std::exchange(g_threads[static_cast<size_t>(handle)], ScriptThread{});
}

// Joins a thread that has ended or is about to (its instance is gone); a thread that is still
// busy after waitMs is detached. False then.
bool JoinThread(ScriptThread &record, uint32_t waitMs)
{
    if (!record.thread.joinable())
        return true;
    if (record.ended && !record.ended->Wait(waitMs)) {
        record.thread.detach();
        return false;
    }
    record.thread.join();
    return true;
}

bool RunScriptChecked(int handle, const char *path, EString &error)
{
    if (!ValidHandle(handle)) {
        error.Assign(FormatText("Script::RunScript () : Invalid interpreter handle: %ld - must be 0 or 1.",
                                static_cast<long>(handle))
                         .c_str());
        return false;
    }
    Script *instance = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_instancesMutex);
        if (g_slots[static_cast<size_t>(handle)]) {
            error.Assign(FormatText("CreateActiveScriptHandle(%ld) - Interpreter instance with handle: %lu "
                                    "already exists.",
                                    static_cast<long>(handle), static_cast<unsigned long>(handle))
                             .c_str());
            return false;
        }
        g_slots[static_cast<size_t>(handle)] = std::make_unique<Script>(handle);
        g_creationOrder.push_back(handle);
        instance = g_slots[static_cast<size_t>(handle)].get();
    }
    // A run that does not start leaves no instance behind.
    auto refuse = [&] {
        instance->m_running = false;
        RemoveInterpreterInstance(handle);
        return false;
    };
    // The previous run of the handle has removed its instance; its thread is at its end.
    ScriptThread previous = TakeThread(handle);
    if (!JoinThread(previous, 5000))
        LogError(kSourceFile, __LINE__, "Script::RunScript () : previous script thread did not end.");

    (void)CaptureLogHeaderSemaphore();
    BuildCommandTable();

    // Analysis mode has neither digital lines nor pumps.
    if (!theApp.m_analysis_mode && !DeviceSettings().LoadDigitalIoMapping(error))
        return refuse();
    if (!CheckPumpsIdle(error))
        return refuse();

    instance->m_running = true;
    instance->m_main = CodeUnit();
    instance->m_included_files.clear();
    instance->m_functions.clear();

    // fopen would open a folder on this system; only a regular file is a script.
    std::FILE *file = platform::OpenRegularFile(path);
    if (!file) {
        error.Assign(FormatText("Script::RunScript () : Can't open file: %s", path).c_str());
        return refuse();
    }
    const bool loaded = LoadScript(instance->m_main, *instance, file, path, 0, error, false);
    std::fclose(file);
    if (!loaded)
        return refuse();
    EString name;
    name.SplitPath(path, 0, 1, 1);
    {
        std::lock_guard<std::mutex> lock(g_instancesMutex);
        instance->m_script_name.Assign(name.c_str());
        instance->m_script_path = path;
    }
    if (!instance->m_main.m_blocks.empty()) {
        error.Assign(
            FormatText("Did not close out all code blocks before the end of the script file: %s", path)
                .c_str());
        return refuse();
    }
    instance->m_before_line = BeforeLine;

    try {
        StartThread(handle, std::make_shared<platform::Event>(true, false));
    } catch (const std::system_error &) {
        error.Assign("Script::RunScript () : unable to start the script thread.");
        return refuse();
    }
    return true;
}

} // namespace

bool Script::RunScript(int handle, const char *path, EString &error)
{
    if (path == nullptr)
        path = "";
    try {
        return RunScriptChecked(handle, path, error);
    } catch (const std::exception &e) {
        error.Assign(FormatText("Script::RunScript () : %s", e.what()).c_str());
    } catch (...) {
        error.Assign("Script::RunScript () : unexpected failure.");
    }
    RemoveInterpreterInstance(handle);
    return false;
}

bool Script::StopScript(int handle)
{
    {
        std::lock_guard<std::mutex> lock(g_instancesMutex);
        Script *instance = FindInstanceLocked(handle);
        if (!instance)
            return false;
        instance->m_running = false;
    }
    const int32_t port = theApp.m_pump_port;
    if (port != 0) {
        EString ignored;
        TecanCentris::Terminate(port, 1, ignored);
        TecanCentris::Terminate(port, 2, ignored);
    }
    return true;
}

bool Script::IsScriptRunning(int handle, EString *name)
{
    std::lock_guard<std::mutex> lock(g_instancesMutex);
    Script *instance = FindInstanceLocked(handle);
    if (!instance)
        return false;
    if (name && instance->m_script_name.IsNonEmpty())
        name->Assign(instance->m_script_name.c_str());
    return instance->m_running.load();
}

bool Script::ScriptFileHasCode(const char *path)
{
    std::FILE *file = platform::OpenRegularFile(path ? path : "");
    if (!file)
        return false;
    std::string line;
    bool code = false;
    while (!code && ReadScriptLine(file, line)) {
        StripComment(line);
        code = line.find_first_not_of(" \t\r\n") != std::string::npos;
    }
    std::fclose(file);
    return code;
}

void SetScriptOwnerHooks(int handle, ScriptOwnerHooks hooks)
{
    if (!ValidHandle(handle))
        return;
    std::lock_guard<std::mutex> lock(g_hooksMutex);
    g_owners[static_cast<size_t>(handle)] = std::move(hooks);
}

void SetVariableWatchHook(VariableWatchHook hook)
{
    std::lock_guard<std::mutex> lock(g_hooksMutex);
    g_variableWatch = std::move(hook);
}

void SetScriptDialogHost(std::shared_ptr<ScriptDialogHost> host)
{
    std::lock_guard<std::mutex> lock(g_hooksMutex);
    g_dialogHost = std::move(host);
}

int AwaitScriptAnswer(const std::function<void(std::function<void(int)> answer)> &open,
                      const std::function<void()> &dismiss, int exitAnswer)
{
    struct Pending
    {
        std::mutex mutex;
        bool answered = false;
        int answer = 0;
        platform::Event done{true, false};
    };
    auto pending = std::make_shared<Pending>();
    open([pending](int answer) {
        std::lock_guard<std::mutex> lock(pending->mutex);
        if (pending->answered)
            return;
        pending->answer = answer;
        pending->answered = true;
        pending->done.Set();
    });
    for (;;) {
        if (pending->done.Wait(50)) {
            std::lock_guard<std::mutex> lock(pending->mutex);
            return pending->answer;
        }
        if (g_exit.IsSet()) {
            if (dismiss)
                dismiss();
            return exitAnswer;
        }
    }
}

int ScriptMessageBox(const std::string &text, const std::string &caption, uint32_t flags)
{
    std::shared_ptr<ScriptDialogHost> host;
    {
        std::lock_guard<std::mutex> lock(g_hooksMutex);
        host = g_dialogHost;
    }
    if (!host)
        return platform::ui::MessageBox(text, caption, flags);
    int exitAnswer = platform::ui::IdCancel;
    if ((flags & 0xF) == platform::ui::MbOk)
        exitAnswer = platform::ui::IdOk;
    else if ((flags & 0xF) == platform::ui::MbYesNo)
        exitAnswer = platform::ui::IdNo;
    auto token = std::make_shared<std::atomic<uint64_t>>(0);
    return AwaitScriptAnswer(
        [&](std::function<void(int)> answer) { *token = host->OpenMessageBox(text, caption, flags, answer); },
        [&] { host->Dismiss(token->load()); }, exitAnswer);
}

bool ScriptWaitMs(uint32_t ms)
{
    return !g_exit.Wait(ms);
}

bool ScriptRuntimeExiting()
{
    return g_exit.IsSet();
}

bool CheckPumpsIdle(EString &error)
{
    const int32_t port = theApp.m_pump_port;
    if (port == 0)
        return true;
    EString reply[2];
    for (int pump = 1; pump <= 2; ++pump) {
        EString pumpError;
        if (!TecanCentris::SendCommand(port, pump, "?29", 200, reply[pump - 1], pumpError)) {
            error.Assign(FormatText("Problem checking busy state of pump %d", pump).c_str());
            return false;
        }
    }
    if (std::string(reply[0].c_str()) != "0" || std::string(reply[1].c_str()) != "0") {
        error.Assign("Can't start a script because at least one pump is busy.");
        return false;
    }
    for (int pump = 1; pump <= 2; ++pump) {
        double displacement = 0.0;
        EString pumpError;
        if (!TecanCentris::QueryDouble(port, pump, "?18", displacement, pumpError)) {
            error.Assign(
                FormatText("Can't start a script. Error reading current displacement for syringe #%d :  %s",
                           pump, pumpError.c_str())
                    .c_str());
            return false;
        }
    }
    for (int pump = 1; pump <= 2; ++pump) {
        int32_t volume = 0;
        EString pumpError;
        if (!TecanCentris::QueryLong(port, pump, "?17", volume, pumpError)) {
            error.Assign(
                FormatText("Can't start a script. Error reading the configured volume for syringe #%d :  %s",
                           pump, pumpError.c_str())
                    .c_str());
            return false;
        }
    }
    return true;
}

void RemoveInterpreterInstance(int handle)
{
    if (!ValidHandle(handle))
        return;
    std::unique_ptr<Script> removed;
    {
        std::lock_guard<std::mutex> lock(g_instancesMutex);
        removed = std::move(g_slots[static_cast<size_t>(handle)]);
        if (removed)
            std::erase(g_creationOrder, handle);
    }
}

std::vector<ScriptInstanceInfo> ScriptInstanceList()
{
    std::vector<ScriptInstanceInfo> list;
    std::lock_guard<std::mutex> lock(g_instancesMutex);
    for (int handle : g_creationOrder) {
        const Script *instance = FindInstanceLocked(handle);
        if (instance)
            list.push_back(
                {static_cast<uint32_t>(handle), instance->m_running.load(), instance->m_script_path});
    }
    return list;
}

bool ScriptInstanceExists(int handle)
{
    std::lock_guard<std::mutex> lock(g_instancesMutex);
    return FindInstanceLocked(handle) != nullptr;
}

platform::BinarySemaphore &CaptureLogHeaderSemaphore()
{
    // Never destroyed: the capture workflow may still take lines while the program ends.
    static platform::BinarySemaphore *semaphore = new platform::BinarySemaphore(true);
    return *semaphore;
}

std::vector<EString> &CaptureLogHeaderLines()
{
    static std::vector<EString> *lines = new std::vector<EString>;
    return *lines;
}

bool QueueCaptureLogHeaderLine(const EString &line)
{
    platform::BinarySemaphore &semaphore = CaptureLogHeaderSemaphore();
    if (!semaphore.Wait(kCaptureLogHeaderWaitMs))
        return false;
    CaptureLogHeaderLines().push_back(line);
    semaphore.Release();
    return true;
}

size_t TakeCaptureLogHeaderLines(std::vector<EString> &out)
{
    platform::BinarySemaphore &semaphore = CaptureLogHeaderSemaphore();
    if (!semaphore.Wait(kCaptureLogHeaderWaitMs))
        return 0;
    std::vector<EString> &queued = CaptureLogHeaderLines();
    out = std::move(queued);
    queued.clear();
    semaphore.Release();
    return out.size();
}

bool ShutdownScriptRuntime()
{
    // Flags first: a wait that the exit releases must find its run stopped, so no further line
    // runs.
    for (int handle = 0; handle < kScriptHandleCount; ++handle)
        Script::StopScript(handle);
    g_exit.Set();
    // One budget for all threads, so the program still ends promptly when a thread is stuck in a
    // call that knows nothing of the exit.
    const uint64_t deadline = platform::TickMs() + kExitJoinBudgetMs;
    bool allJoined = true;
    for (int handle = 0; handle < kScriptHandleCount; ++handle) {
        ScriptThread record = TakeThread(handle);
        const uint64_t now = platform::TickMs();
        if (!JoinThread(record, static_cast<uint32_t>(now < deadline ? deadline - now : 0))) {
            allJoined = false;
            LogError(
                kSourceFile, __LINE__,
                FormatText("ShutdownScriptRuntime () : script thread of handle %d did not end.", handle));
        }
    }
    g_exit.Reset();
    return allJoined;
}

ModelessWindow &ScriptRuntimeServices::WaitWithTimer()
{
    return m_windows.waitWithTimer ? *m_windows.waitWithTimer : ScriptServicesPlaceholder().WaitWithTimer();
}

ModelessWindow &ScriptRuntimeServices::InformOperator()
{
    return m_windows.informOperator ? *m_windows.informOperator
                                    : ScriptServicesPlaceholder().InformOperator();
}

ModelessWindow &ScriptRuntimeServices::ScriptsList()
{
    return m_windows.scriptsList ? *m_windows.scriptsList : ScriptServicesPlaceholder().ScriptsList();
}

ModelessWindow &ScriptRuntimeServices::SystemState()
{
    return m_windows.systemState ? *m_windows.systemState : ScriptServicesPlaceholder().SystemState();
}

ModelessWindow &ScriptRuntimeServices::VariableWatch()
{
    return m_windows.variableWatch ? *m_windows.variableWatch : ScriptServicesPlaceholder().VariableWatch();
}

void ScriptRuntimeServices::UpdateScriptsListButtons()
{
    if (m_windows.updateScriptsListButtons)
        m_windows.updateScriptsListButtons();
}

std::vector<ScriptInstanceInfo> ScriptRuntimeServices::ScriptInstances()
{
    return ScriptInstanceList();
}

bool ScriptRuntimeServices::IsScriptRunning(uint32_t handle, std::string &path)
{
    std::lock_guard<std::mutex> lock(g_instancesMutex);
    Script *instance = handle < kScriptHandleCount ? FindInstanceLocked(static_cast<int>(handle)) : nullptr;
    if (!instance)
        return false;
    if (!instance->m_script_path.empty())
        path = instance->m_script_path;
    return instance->m_running.load();
}

size_t ScriptRuntimeServices::TakeCaptureLogHeaderLines(std::vector<EString> &lines)
{
    return ::TakeCaptureLogHeaderLines(lines);
}

bool ScriptRuntimeServices::RunScript(uint32_t handle, const std::string &path, EString &error)
{
    // Handles beyond int are refused by the run entry like any other wrong handle.
    const int h = handle > uint32_t(INT32_MAX) ? -1 : int(handle);
    return Script::RunScript(h, path.c_str(), error);
}

void ScriptRuntimeServices::StopScript(uint32_t handle)
{
    if (handle <= uint32_t(INT32_MAX))
        Script::StopScript(int(handle));
}
