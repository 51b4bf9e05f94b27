#pragma once
// Crash dumps: when a fatal fault is caught, a dump file and a short info file are written into
// the DMP folder beside the main settings file (named after the local time, e.g. 2024_3_7_9_5_3.dmp
// and 2024_3_7_9_5_3.txt) and offered to an upload step.
//
// On Linux the fault is a fatal signal (SIGSEGV, SIGABRT, SIGFPE, SIGILL, SIGBUS). The dump holds
// what the process can tell about itself without outside tools: the signal, its code, the faulting
// address, a backtrace of the crashing thread and the memory map (/proc/self/maps).
#include <csignal>
#include <cstddef>
#include <cstdint>

#include "Ostravo/EString.h"

// Where crash files would be uploaded. Nothing assigns them: uploads report that no connection
// exists, and the info file's three endpoint lines stay empty.
extern EString CrashUploadAddress;
extern EString CrashUploadUser;
extern EString CrashUploadPassword;
extern EString CrashUploadFolder;

// The upload service. This platform has none; the default reports
// "UploadFile () : ftp connection not established.".
class CrashUploader
{
  public:
    virtual ~CrashUploader() = default;
    // Offers one crash file. False with a NUL-terminated text in error (at most errorSize bytes).
    // Also called from the fatal-signal handler, so it may only make async-signal-safe calls.
    virtual bool UpLoadFile(const char *path, char *error, size_t errorSize) = 0;
};
CrashUploader &CrashUpload();
// Installs an uploader (not owned; it must outlive its use); null restores the default.
void SetCrashUploader(CrashUploader *uploader);

bool UpLoadFile(const char *path, EString &error);

// Writes the info file and the dump for a fault caught by the caller (info: the signal's details,
// or null), then uploads both. A DMP folder that cannot be made (a file of that name in the way)
// is written to the error log and shown, and the two files go beside the main settings file
// instead. Failed uploads are written to the error log and shown. True only when the files were written and
// both uploads succeeded.
bool CreateDMP(const char *comment, uint32_t faultCode, const siginfo_t *info);

// Installs the fatal-signal handler. Everything the handler needs (the DMP folder from the main
// settings path, the comment, the computer name, the version, the error log folder) is prepared
// here, so that the handler itself makes only async-signal-safe calls as far as possible. The
// handler writes the two files, reports the uploads to the error log and standard error (no window
// can be shown from a crashing process), then lets the signal end the process as it would have.
// Call again when the main settings path or the data folder changes.
bool InstallCrashDumpHandler(const char *comment, EString &error);
