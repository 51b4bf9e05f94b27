#include "Ostravo/CachedLog.h"

#include "Ostravo/EString.h"
#include "Ostravo/LogError.h"
#include "Ostravo/Profile.h"
#include "Ostravo/ProfileValues.h"
#include "Ostravo/TextFormat.h"
#include "platform/Files.h"
#include "platform/Ui.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

std::vector<CachedLog> CachedLogList;
int32_t CachedLogLastHit = -1;
std::atomic<int32_t> DefaultCachedLogInterval{30};
namespace globals {
platform::BinarySemaphore _CachedLog_semaphore;
} // namespace globals

namespace {

const char kSourceFile[] = "CachedLog.cpp";
const uint32_t kWriterWaitMs = 30000;
const uint32_t kDefaultLogWaitMs = 5000;
const uint32_t kWorkerWaitMs = 30000;
const uint64_t kSweepBudgetMs = 500;
const char kWorkerTimeout[] = "WORKER_THREAD_SaveLogs () - timeout waiting for _CachedLog_semaphore.";

std::atomic<uint32_t> g_waitCapMs{0};

// The worker's life: started by InitializeCachedLogging, stopped by ShutdownCachedLogging.
std::mutex g_lifecycleMutex;
std::thread g_worker;
platform::Event g_stopWorker(true);
platform::Event g_workerEnded(true);
bool g_initialized = false;
bool g_exitHandlerRegistered = false;

uint32_t WaitMs(uint32_t ms)
{
    const uint32_t cap = g_waitCapMs.load();
    return cap != 0 && cap < ms ? cap : ms;
}

bool TakeSemaphore(uint32_t ms)
{
    return _CachedLog_semaphore.Wait(WaitMs(ms));
}

int64_t NowSeconds()
{
    // 0 means "never saved", so a real reading is never 0.
    const int64_t seconds = static_cast<int64_t>(platform::TickMs() / 1000);
    return seconds > 0 ? seconds : 1;
}

unsigned U(int value)
{
    return static_cast<unsigned>(value);
}

bool SamePath(const std::string &a, const std::string &b)
{
    return CompareText(a.c_str(), b.c_str(), 0, 0);
}

// Saves every record with something to write, whatever its interval; the caller holds the
// semaphore. Used when the program ends.
void SaveAll()
{
    for (CachedLog &log : CachedLogList) {
        if (!log.HasWork())
            continue;
        EString error;
        if (!log.Save(error))
            LogError(kSourceFile, __LINE__, error.c_str());
    }
}

void ExitHandler()
{
    ShutdownCachedLogging();
}

// Adds one line to the record of path under its own wait; a time-out drops the line.
void AddUnderLock(const std::string &path, const std::string &line)
{
    if (!TakeSemaphore(kWriterWaitMs))
        return;
    GetCachedLogObj(path.c_str())->AddLine(line.c_str());
    _CachedLog_semaphore.Release();
}

// One entry of a daily log: the column header when the in-memory log holds no lines, then the row.
void AddDailyLogLine(const std::string &path, const char *header, const std::string &row)
{
    EString error;
    if (GetNLines(path.c_str(), error) <= 0)
        AddUnderLock(path, header);
    AddUnderLock(path, row);
}

} // namespace

void CachedLog::AddLine(const char *line)
{
    m_lines.emplace_back(line ? line : "");
}

bool CachedLog::HasWork() const
{
    return static_cast<int64_t>(m_lines.size()) - 1 > m_last_saved_line || !m_header_lines.empty();
}

bool CachedLog::Save(EString &error)
{
    if (!HasWork())
        return true;

    EString folder;
    if (folder.SplitPath(m_path.c_str(), 1, 0, 0) && folder.IsNonEmpty() &&
        CreateDirectoryPath(folder.c_str()) == 0) {
        error.Assign("Can't create directory: ");
        error.Append(folder.c_str());
        return false;
    }

    FILE *file = std::fopen(m_path.c_str(), "ab");
    if (!file) {
        error.Assign("Can't open file for appending: ");
        error.Append(m_path.c_str());
        return false;
    }
    std::string text;
    for (size_t i = static_cast<size_t>(m_last_saved_line + 1); i < m_lines.size(); ++i) {
        text += m_lines[i];
        text += '\n';
    }
    text = ToCrLfText(text);
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    // A full disk shows at the latest when the buffer is flushed on close; the lines then stay
    // unsaved and are written again by the next save.
    if (std::fclose(file) != 0 || !written) {
        error.Assign("Problem writing to file: ");
        error.Append(m_path.c_str());
        return false;
    }
    // The lines are in the file now. Marking them at once keeps a failed header insertion from
    // appending them a second time at the next save.
    m_last_saved_line = static_cast<int32_t>(m_lines.size()) - 1;

    if (!m_header_lines.empty() && !SaveHeaderLines(error))
        return false;

    m_last_save_time = NowSeconds();
    return true;
}

bool CachedLog::SaveHeaderLines(EString &error)
{
    if (m_header_insert_pos < 0)
        return true;

    std::string block;
    for (const std::string &line : m_header_lines) {
        block += line;
        block += "\r\n";
    }

    std::string content;
    if (!platform::ReadWholeFile(m_path, content)) {
        error.Assign("Can't open file for reading: ");
        error.Append(m_path.c_str());
        return false;
    }

    size_t offset = 0;
    if (m_header_insert_pos > 0) {
        int32_t found = 0;
        bool located = false;
        for (size_t i = 0; i + 1 < content.size(); ++i) {
            if (content[i] == '\r' && content[i + 1] == '\n' && ++found == m_header_insert_pos) {
                offset = i + 2;
                located = true;
                break;
            }
        }
        if (!located) {
            error.Assign("CachedLog::SaveHeaderLines");
            error.Append("() Did not find the insert line position.");
            return false;
        }
    }
    content.insert(offset, block);

    // A whole-file rewrite: on failure the file stays as it was and the lines stay pending.
    if (!platform::AtomicReplace(m_path, content)) {
        error.Assign("Problem writing to file: ");
        error.Append(m_path.c_str());
        return false;
    }
    m_header_insert_pos += static_cast<int32_t>(m_header_lines.size());
    m_header_lines.clear();
    return true;
}

CachedLog *GetCachedLogObj(const char *path, bool *created)
{
    const std::string key = platform::NormalizePath(path ? path : "");
    if (created)
        *created = false;
    if (CachedLogLastHit >= 0 && CachedLogLastHit < static_cast<int32_t>(CachedLogList.size()) &&
        SamePath(CachedLogList[static_cast<size_t>(CachedLogLastHit)].m_path, key))
        return &CachedLogList[static_cast<size_t>(CachedLogLastHit)];
    for (size_t i = 0; i < CachedLogList.size(); ++i) {
        if (SamePath(CachedLogList[i].m_path, key)) {
            CachedLogLastHit = static_cast<int32_t>(i);
            return &CachedLogList[i];
        }
    }
    CachedLog log;
    log.m_save_interval_sec = DefaultCachedLogInterval.load();
    log.m_path = key;
    CachedLogList.push_back(std::move(log));
    CachedLogLastHit = static_cast<int32_t>(CachedLogList.size()) - 1;
    if (created)
        *created = true;
    return &CachedLogList.back();
}

bool RemoveCachedLogObj(const char *path)
{
    CachedLogLastHit = -1;
    const std::string key = platform::NormalizePath(path ? path : "");
    for (size_t i = 0; i < CachedLogList.size(); ++i) {
        if (SamePath(CachedLogList[i].m_path, key)) {
            CachedLogList.erase(CachedLogList.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
    }
    return true;
}

bool AddALine(const char *path, const char *line, EString &error, bool markHeaderPosition, bool withTimeStamp)
{
    if (!TakeSemaphore(kWriterWaitMs)) {
        error.Assign("AddALine () - timeout waiting for _CachedLog_semaphore.");
        return false;
    }
    CachedLog *log = GetCachedLogObj(path);
    if (markHeaderPosition)
        log->m_header_insert_pos = static_cast<int32_t>(log->m_lines.size());
    if (withTimeStamp) {
        const platform::LocalTime t = platform::Now();
        log->AddLine(FormatText("%04u/%02u/%02u %02u:%02u:%02u.%03u\t%s", U(t.year), U(t.month), U(t.day),
                                U(t.hour), U(t.minute), U(t.second), U(t.millisecond), line ? line : "")
                         .c_str());
    } else {
        log->AddLine(line);
    }
    _CachedLog_semaphore.Release();
    return true;
}

bool AddAHeaderLine(const char *path, const char *headerLine, EString &error)
{
    if (!TakeSemaphore(kWriterWaitMs)) {
        error.Assign("AddALine () - timeout waiting for _CachedLog_semaphore.");
        return false;
    }
    GetCachedLogObj(path)->m_header_lines.emplace_back(headerLine ? headerLine : "");
    _CachedLog_semaphore.Release();
    return true;
}

int32_t GetNLines(const char *path, EString &error)
{
    if (!TakeSemaphore(kWriterWaitMs)) {
        error.Assign("GetNLines () - timeout waiting for _CachedLog_semaphore.");
        return -1;
    }
    const int32_t count = static_cast<int32_t>(GetCachedLogObj(path)->m_lines.size());
    _CachedLog_semaphore.Release();
    return count;
}

namespace CachedLogging {

bool Release(const char *path, EString &error)
{
    if (!TakeSemaphore(kWriterWaitMs)) {
        error.Assign("Release () - timeout waiting for _CachedLog_semaphore.");
        return false;
    }
    bool created = false;
    CachedLog *log = GetCachedLogObj(path, &created);
    if (created) {
        RemoveCachedLogObj(path);
    } else {
        EString saveError;
        if (log->Save(saveError)) {
            RemoveCachedLogObj(path);
        } else {
            // Removing the record now would throw its unsaved lines away; the worker keeps trying.
            LogError(kSourceFile, __LINE__,
                     FormatText("%s() : %s", "CachedLogging::Release", saveError.c_str()));
        }
    }
    _CachedLog_semaphore.Release();
    return true;
}

} // namespace CachedLogging

bool AddALine_ToDefaultLog(const char *line, EString &error)
{
    if (!TakeSemaphore(kDefaultLogWaitMs)) {
        error.Assign("AddALine_ToDefaultLog () - timeout waiting for _CachedLog_semaphore.");
        return false;
    }
    if (CachedLogList.empty()) {
        _CachedLog_semaphore.Release();
        error.Assign("AddALine_ToDefaultLog () - there are no active cached log objects.");
        return false;
    }
    CachedLogList.front().AddLine(line);
    _CachedLog_semaphore.Release();
    return true;
}

bool SweepCachedLogs(const std::function<uint64_t()> &tickMs)
{
    const uint64_t start = tickMs();
    size_t i = 0;
    while (i < CachedLogList.size()) {
        CachedLog &log = CachedLogList[i];
        const int64_t now = NowSeconds();
        if (log.HasWork()) {
            if (log.m_last_save_time == 0 || now - log.m_last_save_time > log.m_save_interval_sec) {
                EString error;
                if (!log.Save(error)) {
                    LogError(kSourceFile, __LINE__, error.c_str());
                    platform::ui::MessageBox(error.c_str(), "Vantelis", platform::ui::MbOk);
                    return false;
                }
                // The logs not visited yet wait for the next sweep, so writers are never held
                // up long by a backlog.
                if (tickMs() - start > kSweepBudgetMs)
                    return true;
            }
            ++i;
        } else if (log.m_last_save_time == 0 ||
                   now - log.m_last_save_time > 3 * static_cast<int64_t>(log.m_save_interval_sec)) {
            CachedLogList.erase(CachedLogList.begin() + static_cast<std::ptrdiff_t>(i));
            CachedLogLastHit = -1;
        } else {
            ++i;
        }
    }
    return true;
}

void WORKER_THREAD_SaveLogs()
{
    struct Ended
    {
        ~Ended() { g_workerEnded.Set(); }
    } ended;
    if (!_CachedLog_semaphore.Wait(WaitMs(kWorkerWaitMs))) {
        LogError(kSourceFile, __LINE__, kWorkerTimeout);
        platform::ui::MessageBox(kWorkerTimeout, "Vantelis", platform::ui::MbIconError);
        return;
    }
    bool held = true;
    for (;;) {
        if (held) {
            _CachedLog_semaphore.Release();
            held = false;
        }
        if (g_stopWorker.Wait(1000))
            return;
        if (!_CachedLog_semaphore.Wait(WaitMs(kWorkerWaitMs))) {
            LogError(kSourceFile, __LINE__, kWorkerTimeout);
            platform::ui::MessageBox(kWorkerTimeout, "Vantelis", platform::ui::MbIconError);
            continue;
        }
        held = true;
        SweepCachedLogs();
    }
}

bool InitializeCachedLogging(EString &error)
{
    const int interval = Ostravo::ReadProfileInt("ExperimentSettings", "default_cached_log_save_interval_sec",
                                                 30, GetLogSettings().mainSettingsPath.c_str());

    std::lock_guard<std::mutex> lock(g_lifecycleMutex);
    if (g_initialized) {
        error.Assign("InitializeCachedLogging () - has already been called.");
        return false;
    }
    // Touch what the exit handler uses, so that those objects outlive it.
    (void)platform::Now();
    (void)platform::TickMs();
    (void)GetLogSettings();
    g_stopWorker.Reset();
    g_workerEnded.Reset();
    try {
        g_worker = std::thread(WORKER_THREAD_SaveLogs);
    } catch (const std::system_error &) {
        error.Assign("InitializeCachedLogging () - unable to create worker thread.");
        return false;
    }
    g_initialized = true;
    DefaultCachedLogInterval = interval;
    if (!g_exitHandlerRegistered) {
        // Lines added during the last interval before a normal exit must reach their files.
        std::atexit(ExitHandler);
        g_exitHandlerRegistered = true;
    }
    return true;
}

void ShutdownCachedLogging()
{
    std::lock_guard<std::mutex> lock(g_lifecycleMutex);
    if (g_worker.joinable()) {
        g_stopWorker.Set();
        // A worker stuck in a message box that nobody can answer any more must not hold the
        // process at exit for ever.
        if (g_workerEnded.Wait(kWorkerWaitMs + 5000))
            g_worker.join();
        else
            g_worker.detach();
    }
    g_initialized = false;
    if (!_CachedLog_semaphore.Wait(WaitMs(kWorkerWaitMs))) {
        LogError(kSourceFile, __LINE__,
                 "ShutdownCachedLogging () - timeout waiting for _CachedLog_semaphore.");
        return;
    }
    SaveAll();
    _CachedLog_semaphore.Release();
}

void AddScriptLogLine(const char *script, const char *line)
{
    const platform::LocalTime t = platform::Now();
    const std::string path =
        DataFolderPath(FormatText("LOG/Script_%04u_%02u_%02u.log", U(t.year), U(t.month), U(t.day)).c_str());
    const std::string row =
        FormatText("%s\t%02u:%02u:%02u\t%s\t%s", GetLogSettings().version.c_str(), U(t.hour), U(t.minute),
                   U(t.second), script ? script : "", line ? line : "");
    AddDailyLogLine(path, "version\ttime\tScript\tline", row);
}

void AddCustomerUILogLine(const char *action, const char *stateName, const char *info)
{
    const platform::LocalTime t = platform::Now();
    const std::string path = DataFolderPath(
        FormatText("LOG/CustomerUI_%04u_%02u_%02u.log", U(t.year), U(t.month), U(t.day)).c_str());
    const std::string row =
        FormatText("%s\t%02u:%02u:%02u\t%s\t%s\t%s", GetLogSettings().version.c_str(), U(t.hour), U(t.minute),
                   U(t.second), action ? action : "", stateName ? stateName : "", info ? info : "");
    AddDailyLogLine(path, "version\ttime\tAction\tStateName\tInfo", row);
}

void CopyScriptToLog(const char *scriptFileName)
{
    if (!scriptFileName || !*scriptFileName)
        return;
    const platform::LocalTime t = platform::Now();
    const std::string folder =
        DataFolderPath(FormatText("LOG/Script_%04u_%02u_%02u_%02u_%02u_%02u", U(t.year), U(t.month), U(t.day),
                                  U(t.hour), U(t.minute), U(t.second))
                           .c_str());
    // Found or made: a second script started in the same second is kept too. Only a folder that
    // cannot be there afterwards stops the copy.
    if (!platform::MakeFolder(folder))
        return;

    // A path names the file itself (an operator-screen script lives outside <data>/Scripts); a
    // bare name is looked up in <data>/Scripts.
    std::string source;
    if (std::strchr(scriptFileName, '/') || std::strchr(scriptFileName, '\\')) {
        source = scriptFileName;
    } else {
        const std::string scripts = DataFolderPath("Scripts");
        source = platform::FindFileIgnoringCase(scripts, scriptFileName);
        if (source.empty())
            source = scripts + "/" + scriptFileName;
    }
    EString name;
    if (!name.SplitPath(scriptFileName, 0, 1, 1))
        return;
    // Never over a file of that name already kept there: the copy of an earlier run stays as it ran.
    platform::CopyFile(source, folder + "/" + name.c_str(), true);
}

void SetCachedLogWaitCapForTesting(uint32_t capMs)
{
    g_waitCapMs = capMs;
}
