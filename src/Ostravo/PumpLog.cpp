#include "Ostravo/PumpLog.h"

#include "Ostravo/CachedLog.h"
#include "Ostravo/EString.h"
#include "Ostravo/LogError.h"
#include "Ostravo/TextFormat.h"
#include "platform/Clock.h"

#include <mutex>
#include <string>

namespace {

constexpr uint32_t kHeaderWaitMs = 30000;
constexpr const char *kHeader =
    "timestamp\ttotal_time_ms\tt_waiting_for_semaphore_ms\timposed_sleep_time_ms\t"
    "time_to_send_commands_ms\tnattempts_to_send_command\tnattempts_to_reset_port\t"
    "raw_command\tcom_port\tipump\tresponse\terr_msg";

std::mutex g_pathMutex;
std::string g_path;

unsigned U(int v)
{
    return static_cast<unsigned>(v);
}

// The run's path, made (with the header queued) by whichever thread comes first.
std::string RunPath()
{
    std::lock_guard<std::mutex> lock(g_pathMutex);
    if (!g_path.empty())
        return g_path;
    const platform::LocalTime now = platform::Now();
    g_path = DataFolderPath(
        FormatText("LOG/PumpLog_%04u_%02u_%02u.log", U(now.year), U(now.month), U(now.day)).c_str());
    if (_CachedLog_semaphore.Wait(kHeaderWaitMs)) {
        CachedLog *log = GetCachedLogObj(g_path.c_str());
        log->m_header_insert_pos = static_cast<int32_t>(log->m_lines.size());
        log->AddLine(kHeader);
        _CachedLog_semaphore.Release();
    }
    return g_path;
}

} // namespace

bool PumpLogCallback(const char *traceLine)
{
    const std::string path = RunPath();
    EString error;
    return AddALine(path.c_str(), traceLine, error, false, true);
}

std::string PumpLogPath()
{
    std::lock_guard<std::mutex> lock(g_pathMutex);
    return g_path;
}

void ResetPumpLogForTesting()
{
    std::lock_guard<std::mutex> lock(g_pathMutex);
    g_path.clear();
}
