#include "script/ScriptWaitWindows.h"

#include "platform/Clock.h"
#include "script/ScriptRuntime.h"

#include <mutex>

namespace {

std::mutex g_mutex;
std::shared_ptr<ScriptWaitWindows> g_windows;

constexpr uint32_t kPollMs = 100;

} // namespace

void SetScriptWaitWindows(std::shared_ptr<ScriptWaitWindows> windows)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_windows = std::move(windows);
}

std::shared_ptr<ScriptWaitWindows> GetScriptWaitWindows()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_windows;
}

void RunCountdown(Script &instance, const std::string &text, int32_t seconds, int32_t countUp)
{
    std::shared_ptr<ScriptWaitWindows> windows = GetScriptWaitWindows();
    if (!windows) {
        // The monotonic tick: a clock set back or forward neither stretches nor cuts the wait.
        const uint64_t end = platform::TickMs() + static_cast<uint64_t>(seconds > 0 ? seconds : 0) * 1000u;
        while (instance.m_running.load() && platform::TickMs() < end)
            if (!ScriptWaitMs(kPollMs))
                return;
        return;
    }
    windows->ShowCountdown(text, seconds, countUp);
    while (windows->CountdownVisible()) {
        // The wait ends at once when the exit has begun.
        if (!instance.m_running.load() || !ScriptWaitMs(kPollMs)) {
            windows->EndCountdown();
            return;
        }
    }
}

void ShowInformOperator(const std::string &text, int32_t seconds)
{
    if (std::shared_ptr<ScriptWaitWindows> windows = GetScriptWaitWindows())
        windows->InformOperator(text, seconds);
}
