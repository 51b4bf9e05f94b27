#pragma once
// Buffered log files. Time-critical threads add lines to an in-memory record per log file; one
// worker thread appends them to the files at most once per save interval of each log. A record
// can also hold header lines that are inserted into its file later, after a marked line.
//
// _CachedLog_semaphore guards CachedLogList and every record in it. The operations that take a
// path and an error text take it themselves; GetCachedLogObj, CachedLog::AddLine and
// RemoveCachedLogObj expect the caller to hold it.
#include "platform/Clock.h"
#include "platform/Sync.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class EString;

struct CachedLog
{
    // Monotonic seconds (platform::TickMs() / 1000) of the last successful save; 0 = never saved.
    int64_t m_last_save_time = 0;
    // Index in m_lines of the last line already written to the file; -1 = none.
    int32_t m_last_saved_line = -1;
    // Seconds that must pass after a save before the next one.
    int32_t m_save_interval_sec = 30;
    // Full path of the log file; identifies the record (ASCII case ignored, '\' and '/' alike).
    std::string m_path;
    // Number of file lines after which pending header lines are inserted; -1 = not marked.
    int32_t m_header_insert_pos = -1;
    // Every line added since the record was created; kept after they were written.
    std::vector<std::string> m_lines;
    // Header lines waiting to be inserted into the file.
    std::vector<std::string> m_header_lines;

    void AddLine(const char *line);
    // True when there are unsaved lines or pending header lines.
    bool HasWork() const;
    // Appends the unsaved lines to the file (creating its folder), then inserts pending header
    // lines. False with the error text when either step failed.
    bool Save(EString &error);
    bool SaveHeaderLines(EString &error);
};

// Every live record, in creation order; the first is the default log of AddALine_ToDefaultLog.
extern std::vector<CachedLog> CachedLogList;
// Index of the record found by the last lookup; -1 after a removal.
extern int32_t CachedLogLastHit;
// Save interval given to each new record; set from the settings by InitializeCachedLogging.
extern std::atomic<int32_t> DefaultCachedLogInterval;
// These names keep their leading underscore, a form reserved at global scope, so they live in a
// namespace; the directive lets every caller name them as before.
namespace globals {
// Binary semaphore guarding the list and every record in it.
extern platform::BinarySemaphore _CachedLog_semaphore;
} // namespace globals
using namespace globals;

// Reads [ExperimentSettings] default_cached_log_save_interval_sec from the main settings file and
// starts the worker. Fails when already running or when the thread cannot be started. A normal
// process exit stops the worker and writes every pending line (ShutdownCachedLogging).
bool InitializeCachedLogging(EString &error);
// Stops and joins the worker, then saves every record with unsaved lines or pending header lines,
// whatever its interval. Failures go to the error log. Safe to call when the worker never ran.
void ShutdownCachedLogging();
// The worker: about once a second, one sweep (SweepCachedLogs) under the semaphore.
void WORKER_THREAD_SaveLogs();
// One sweep of the worker over the list; the caller holds the semaphore. Saves every due record
// (interval passed since its last save), ending the sweep after a failed save or once more than
// 500 ms of tickMs() have passed since its start, and drops records that had nothing to save for
// more than three intervals. False when a save failed (the failure was logged and shown).
bool SweepCachedLogs(const std::function<uint64_t()> &tickMs = platform::TickMs);

// The operations below wait for the semaphore themselves (30000 ms; 5000 ms for
// AddALine_ToDefaultLog) and fail with "<function> () - timeout waiting for _CachedLog_semaphore.".
bool AddALine(const char *path, const char *line, EString &error, bool markHeaderPosition = false,
              bool withTimeStamp = false);
bool AddAHeaderLine(const char *path, const char *headerLine, EString &error);
// Number of lines held in memory for the path (its record is created when missing); -1 on a
// time-out.
int32_t GetNLines(const char *path, EString &error);
namespace CachedLogging {
// Saves the path's record at once, whatever its interval, and removes it. A record that this call
// had to create is removed again and nothing is written. A failed save is logged and the record is
// kept, so that the worker writes its lines later.
bool Release(const char *path, EString &error);
} // namespace CachedLogging
bool AddALine_ToDefaultLog(const char *line, EString &error);

// For callers that hold the semaphore. The record stays valid only while it is held and no
// record is added or removed.
CachedLog *GetCachedLogObj(const char *path, bool *created = nullptr);
bool RemoveCachedLogObj(const char *path);

// The daily script log (LOG/Script_YYYY_MM_DD.log) and operator-screen log
// (LOG/CustomerUI_YYYY_MM_DD.log); each gets its column header whenever its record holds no lines.
// A lock time-out drops the line silently.
void AddScriptLogLine(const char *script, const char *line);
void AddCustomerUILogLine(const char *action, const char *stateName, const char *info);
// Copies a script into a new folder LOG/Script_YYYY_MM_DD_hh_mm_ss under its file name: the file
// itself when given a path, <data>/Scripts/<name> when given a bare name. The folder may exist
// already (a script started in the same second made it); a file of that name already in it is
// never replaced. Every failure is silent.
void CopyScriptToLog(const char *scriptFileName);

// Test hook: caps every semaphore wait of this module at capMs (0 restores the normal waits), so
// time-outs can be shown without waiting half a minute.
void SetCachedLogWaitCapForTesting(uint32_t capMs);
