#include "Ostravo/CrashDump.h"

#include "Ostravo/LogError.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/SystemInfo.h"
#include "platform/Ui.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <execinfo.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

EString CrashUploadAddress;
EString CrashUploadUser;
EString CrashUploadPassword;
EString CrashUploadFolder;

namespace {

const char kSourceFile[] = "CrashDump.cpp";
const char kNoConnection[] = "UploadFile () : ftp connection not established.";

// Everything below up to CreateDMP may run inside the signal handler: no allocation, no locks,
// no stdio; only fixed buffers and system calls.

// Appends text to a fixed buffer, cutting what does not fit.
class SafeText
{
  public:
    SafeText(char *buffer, size_t capacity) : m_buffer(buffer), m_capacity(capacity) { m_buffer[0] = '\0'; }

    SafeText &Add(const char *text)
    {
        for (; text && *text; ++text)
            AddChar(*text);
        return *this;
    }
    // Like Add, with every CR or LF written as a blank: an error-log row stays one line.
    SafeText &AddOneLine(const char *text)
    {
        for (; text && *text; ++text)
            AddChar(*text == '\r' || *text == '\n' ? ' ' : *text);
        return *this;
    }
    SafeText &AddChar(char c)
    {
        if (m_length + 1 < m_capacity) {
            m_buffer[m_length++] = c;
            m_buffer[m_length] = '\0';
        }
        return *this;
    }
    // Decimal or hexadecimal, at least minDigits digits.
    SafeText &AddUnsigned(unsigned long long value, unsigned base = 10, int minDigits = 1, bool upper = true)
    {
        char digits[32];
        int count = 0;
        do {
            const unsigned digit = static_cast<unsigned>(value % base);
            digits[count++] = static_cast<char>(digit < 10 ? '0' + digit : (upper ? 'A' : 'a') + digit - 10);
            value /= base;
        } while (value != 0 && count < 32);
        while (count < minDigits && count < 32)
            digits[count++] = '0';
        while (count > 0)
            AddChar(digits[--count]);
        return *this;
    }
    SafeText &AddSigned(long long value)
    {
        if (value < 0) {
            AddChar('-');
            return AddUnsigned(0ULL - static_cast<unsigned long long>(value));
        }
        return AddUnsigned(static_cast<unsigned long long>(value));
    }

    const char *c_str() const { return m_buffer; }
    size_t size() const { return m_length; }
    bool Fits() const { return m_length + 1 < m_capacity; }

  private:
    char *m_buffer;
    size_t m_capacity;
    size_t m_length = 0;
};

struct CrashTime
{
    int year, month, day, hour, minute, second;
};

bool WriteAll(int fd, const char *data, size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

bool WriteText(int fd, const char *text)
{
    return WriteAll(fd, text, std::strlen(text));
}

const char *SignalName(int signal)
{
    switch (signal) {
    case SIGSEGV:
        return "SIGSEGV";
    case SIGABRT:
        return "SIGABRT";
    case SIGFPE:
        return "SIGFPE";
    case SIGILL:
        return "SIGILL";
    case SIGBUS:
        return "SIGBUS";
    default:
        return "signal";
    }
}

// "%d_%d_%d_%d_%d_%d" of the local time, without zero padding.
void AddBaseName(SafeText &text, const CrashTime &t)
{
    text.AddSigned(t.year).AddChar('_').AddSigned(t.month).AddChar('_').AddSigned(t.day).AddChar('_');
    text.AddSigned(t.hour).AddChar('_').AddSigned(t.minute).AddChar('_').AddSigned(t.second);
}

// The info file. middle holds the lines from "Comment:" to "ftp_directory:", already in CR LF form.
bool WriteInfoFile(const char *path, const CrashTime &t, const char *middle, uint32_t code)
{
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    char buffer[256];
    SafeText head(buffer, sizeof buffer);
    head.Add("**** CreateDMP () ****\r\n");
    head.Add("Date: ").AddSigned(t.year).AddChar('-').AddSigned(t.month).AddChar('-').AddSigned(t.day).Add(
        "\r\n");
    head.Add("Time: ").AddSigned(t.hour).AddChar(':').AddSigned(t.minute).AddChar(':').AddSigned(t.second);
    head.Add("\r\n");
    char tailBuffer[64];
    SafeText tail(tailBuffer, sizeof tailBuffer);
    tail.Add("xc: ").AddUnsigned(code, 16).Add("\r\n");
    bool ok = WriteAll(fd, head.c_str(), head.size()) && WriteText(fd, middle) &&
              WriteAll(fd, tail.c_str(), tail.size());
    return ::close(fd) == 0 && ok;
}

// Appends the memory map of the process to fd.
void CopyMemoryMap(int fd)
{
    const int maps = ::open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (maps < 0) {
        WriteText(fd, "(not readable)\n");
        return;
    }
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(maps, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0 || !WriteAll(fd, buffer, static_cast<size_t>(got)))
            break;
    }
    ::close(maps);
}

// The dump: what Linux tells about the fault without outside tools.
bool WriteDumpFile(const char *path, const char *comment, int signal, const siginfo_t *info)
{
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    char buffer[4096];
    SafeText text(buffer, sizeof buffer);
    text.Add("Vantelis crash dump\n");
    text.Add("comment: ").Add(comment).Add("\n");
    text.Add("process: ").AddSigned(::getpid()).Add("\n");
    text.Add("thread: ").AddSigned(static_cast<long long>(::syscall(SYS_gettid))).Add("\n");
    if (info) {
        text.Add("signal: ").AddSigned(signal).Add(" (").Add(SignalName(signal)).Add(")\n");
        text.Add("signal code: ").AddSigned(info->si_code).Add("\n");
        text.Add("fault address: 0x")
            .AddUnsigned(reinterpret_cast<uintptr_t>(info->si_addr), 16, 2 * sizeof(void *), false)
            .Add("\n");
    } else {
        text.Add("signal: none\n");
    }
    text.Add("\nbacktrace:\n");
    bool ok = WriteAll(fd, text.c_str(), text.size());
    void *frames[128];
    const int count = ::backtrace(frames, 128);
    ::backtrace_symbols_fd(frames, count, fd);
    ok = WriteText(fd, "\nmemory map:\n") && ok;
    CopyMemoryMap(fd);
    return ::close(fd) == 0 && ok;
}

class NoUploadService : public CrashUploader
{
  public:
    // No transfer service exists on this platform, so no connection is ever established.
    bool UpLoadFile(const char *, char *error, size_t errorSize) override
    {
        if (error && errorSize > 0) {
            SafeText text(error, errorSize);
            text.Add(kNoConnection);
        }
        return false;
    }
};

NoUploadService g_noUpload;
std::atomic<CrashUploader *> g_uploader{nullptr};

// Uploads the dump, then the info file; the failure texts joined by "\n" go to errors.
bool UploadBoth(const char *dumpPath, const char *infoPath, SafeText &errors)
{
    bool ok = true;
    const char *paths[2] = {dumpPath, infoPath};
    for (const char *path : paths) {
        char error[512] = "";
        if (!CrashUpload().UpLoadFile(path, error, sizeof error)) {
            ok = false;
            if (error[0] != '\0') {
                if (errors.size() > 0)
                    errors.AddChar('\n');
                errors.Add(error);
            }
        }
    }
    return ok;
}

// What the signal handler needs, prepared at installation.
struct HandlerState
{
    char dmpFolder[4096];
    char settingsFolder[4096]; // where the report goes when DMP cannot be a folder
    char comment[2048];
    char infoMiddle[8192];
    char settingsInfoMiddle[8192]; // the same lines naming settingsFolder
    char errorLogPrefix[4096];     // "<data>/LOG/Err_"
    char version[256];
    char computer[64];
};

HandlerState g_state;
std::atomic<bool> g_handlerReady{false};
std::atomic<bool> g_handling{false};
alignas(16) char g_alternateStack[64 * 1024];

const int kFatalSignals[] = {SIGSEGV, SIGABRT, SIGFPE, SIGILL, SIGBUS};

// The lines "Comment:" to "ftp_directory:" of the info file, in CR LF form.
std::string InfoMiddle(const char *comment, const std::string &dmpFolder)
{
    std::string text = std::string("Comment: ") + (comment ? comment : "") + "\n";
    text += "Computer: " + platform::ComputerName() + "\n";
    text += "dmp_directory: " + dmpFolder + "\n";
    text += std::string("ftp_addr: ") + CrashUploadAddress.c_str() + "\n";
    text += std::string("ftp_user: ") + CrashUploadUser.c_str() + "\n";
    text += std::string("ftp_directory: ") + CrashUploadFolder.c_str() + "\n";
    return ToCrLfText(text);
}

// The folder of the main settings file, with its trailing separator (empty without one).
std::string SettingsFolder()
{
    EString folder;
    const std::string settingsPath = GetLogSettings().mainSettingsPath;
    if (!settingsPath.empty())
        folder.SplitPath(settingsPath.c_str(), 1, 0, 0);
    return platform::NormalizePath(folder.c_str());
}

std::string DmpFolder()
{
    return SettingsFolder() + "DMP";
}

// The settings folder without its trailing separator, as a place for the report.
std::string FallbackFolder()
{
    std::string folder = SettingsFolder();
    if (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder.empty() ? "." : folder;
}

bool CopyInto(char *target, size_t capacity, const std::string &text)
{
    if (text.size() + 1 > capacity)
        return false;
    std::memcpy(target, text.c_str(), text.size() + 1);
    return true;
}

// One row of the error log, written with system calls only.
void SafeLogError(int line, const CrashTime &t, const char *message)
{
    char path[4200];
    SafeText pathText(path, sizeof path);
    pathText.Add(g_state.errorLogPrefix).AddUnsigned(static_cast<unsigned>(t.year), 10, 4).AddChar('_');
    pathText.AddUnsigned(static_cast<unsigned>(t.month), 10, 2).AddChar('_');
    pathText.AddUnsigned(static_cast<unsigned>(t.day), 10, 2).Add(".log");
    bool created = true;
    int fd = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0 && errno == EEXIST) {
        created = false;
        fd = ::open(path, O_WRONLY | O_APPEND | O_CLOEXEC);
    }
    if (fd < 0)
        return;
    char buffer[8192];
    SafeText row(buffer, sizeof buffer);
    if (created)
        row.Add("# ComputerName=").Add(g_state.computer).Add("\r\nversion\ttime\tfile\tline\tmessage\r\n");
    row.Add(g_state.version).AddChar('\t');
    row.AddUnsigned(static_cast<unsigned>(t.hour), 10, 2).AddChar(':');
    row.AddUnsigned(static_cast<unsigned>(t.minute), 10, 2).AddChar(':');
    row.AddUnsigned(static_cast<unsigned>(t.second), 10, 2).AddChar('\t');
    row.Add(kSourceFile).AddChar('\t').AddSigned(line).AddChar('\t').AddOneLine(message).Add("\r\n");
    WriteAll(fd, row.c_str(), row.size());
    ::close(fd);
}

void ReportToStandardError(const char *message)
{
    WriteText(2, "Vantelis: ");
    WriteText(2, message);
    WriteText(2, "\n");
}

void FatalSignalHandler(int signal, siginfo_t *info, void *)
{
    // A second fault while the first is being recorded (or in another thread) ends the process.
    if (!g_handling.exchange(true) && g_handlerReady.load()) {
        const int savedErrno = errno;
        struct timespec now;
        ::clock_gettime(CLOCK_REALTIME, &now);
        struct tm local;
        ::localtime_r(&now.tv_sec, &local);
        const CrashTime t{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                          local.tm_hour,        local.tm_min,     local.tm_sec};

        // Something else standing where DMP belongs is no folder either.
        struct stat dmpInfo;
        bool folderReady =
            ::mkdir(g_state.dmpFolder, 0777) == 0 ||
            (errno == EEXIST && ::stat(g_state.dmpFolder, &dmpInfo) == 0 && S_ISDIR(dmpInfo.st_mode));
        const char *folder = g_state.dmpFolder;
        const char *infoMiddle = g_state.infoMiddle;
        if (!folderReady) {
            // The report still gets written, beside the main settings file, and the log says why.
            char buffer[8400];
            SafeText message(buffer, sizeof buffer);
            message.Add("CreateDMP () Unable to create directory: ").Add(g_state.dmpFolder);
            message.Add(" - the report is written to ").Add(g_state.settingsFolder);
            SafeLogError(__LINE__, t, message.c_str());
            ReportToStandardError(message.c_str());
            folder = g_state.settingsFolder;
            infoMiddle = g_state.settingsInfoMiddle;
        }
        {
            char dumpPath[4200];
            char infoPath[4200];
            SafeText dump(dumpPath, sizeof dumpPath);
            dump.Add(folder).AddChar('/');
            AddBaseName(dump, t);
            SafeText infoFile(infoPath, sizeof infoPath);
            infoFile.Add(dumpPath).Add(".txt");
            dump.Add(".dmp");
            // The info file first: it is short and tells the most.
            WriteInfoFile(infoPath, t, infoMiddle, static_cast<uint32_t>(signal));
            WriteDumpFile(dumpPath, g_state.comment, signal, info);

            char buffer[2048];
            SafeText errors(buffer, sizeof buffer);
            if (!UploadBoth(dumpPath, infoPath, errors) && errors.size() > 0) {
                SafeLogError(__LINE__, t, errors.c_str());
                ReportToStandardError(errors.c_str());
            }
        }
        errno = savedErrno;
    }
    // Let the signal do what it would have done without us (end the process, maybe with a core).
    struct sigaction original;
    std::memset(&original, 0, sizeof original);
    original.sa_handler = SIG_DFL;
    sigemptyset(&original.sa_mask);
    ::sigaction(signal, &original, nullptr);
    ::raise(signal);
}

} // namespace

CrashUploader &CrashUpload()
{
    CrashUploader *uploader = g_uploader.load();
    return uploader ? *uploader : g_noUpload;
}

void SetCrashUploader(CrashUploader *uploader)
{
    g_uploader = uploader;
}

bool UpLoadFile(const char *path, EString &error)
{
    char text[1024] = "";
    const bool ok = CrashUpload().UpLoadFile(path, text, sizeof text);
    if (!ok)
        error.Assign(text);
    return ok;
}

bool CreateDMP(const char *comment, uint32_t faultCode, const siginfo_t *info)
{
    try {
        const platform::LocalTime now = platform::Now();
        const CrashTime t{now.year, now.month, now.day, now.hour, now.minute, now.second};
        std::string folder = DmpFolder();
        if (!platform::FolderExists(folder) && !platform::MakeFolder(folder)) {
            // The report still gets written, beside the main settings file, and the log says why.
            const std::string message = "CreateDMP () Unable to create directory: " + folder;
            folder = FallbackFolder();
            LogError(kSourceFile, __LINE__, message + " - the report is written to " + folder);
            platform::ui::MessageBox(message, "Vantelis", platform::ui::MbOk);
        }
        char nameBuffer[64];
        SafeText base(nameBuffer, sizeof nameBuffer);
        AddBaseName(base, t);
        const std::string stem = folder + "/" + base.c_str();
        const std::string infoPath = stem + ".txt";
        const std::string dumpPath = stem + ".dmp";

        // A file that cannot be written is skipped; the other steps go on.
        WriteInfoFile(infoPath.c_str(), t, InfoMiddle(comment, folder).c_str(), faultCode);
        WriteDumpFile(dumpPath.c_str(), comment ? comment : "", info ? info->si_signo : 0, info);

        char buffer[2048];
        SafeText errors(buffer, sizeof buffer);
        const bool uploaded = UploadBoth(dumpPath.c_str(), infoPath.c_str(), errors);
        if (!uploaded && errors.size() > 0) {
            LogError(kSourceFile, __LINE__, errors.c_str());
            platform::ui::MessageBox(errors.c_str(), "Vantelis", platform::ui::MbOk);
        }
        return uploaded;
    } catch (...) {
        // Recording a crash must never raise a second one.
        std::_Exit(255);
    }
}

bool InstallCrashDumpHandler(const char *comment, EString &error)
{
    const LogSettings settings = GetLogSettings();
    const std::string folder = DmpFolder();
    const std::string errorLogPrefix = DataFolderPath("LOG/Err_");

    g_handlerReady = false;
    if (!CopyInto(g_state.dmpFolder, sizeof g_state.dmpFolder, folder) ||
        !CopyInto(g_state.settingsFolder, sizeof g_state.settingsFolder, FallbackFolder()) ||
        !CopyInto(g_state.comment, sizeof g_state.comment, comment ? comment : "") ||
        !CopyInto(g_state.infoMiddle, sizeof g_state.infoMiddle, InfoMiddle(comment, folder)) ||
        !CopyInto(g_state.settingsInfoMiddle, sizeof g_state.settingsInfoMiddle,
                  InfoMiddle(comment, FallbackFolder())) ||
        !CopyInto(g_state.errorLogPrefix, sizeof g_state.errorLogPrefix, errorLogPrefix) ||
        !CopyInto(g_state.version, sizeof g_state.version, settings.version) ||
        !CopyInto(g_state.computer, sizeof g_state.computer, platform::ComputerName())) {
        error.Assign("InstallCrashDumpHandler () - folder or comment too long.");
        return false;
    }

    // The first backtrace loads the unwinder, which must not happen inside the handler.
    void *frame[1];
    ::backtrace(frame, 1);

    // A stack overflow leaves no stack for the handler: give this thread a spare one.
    stack_t spare;
    std::memset(&spare, 0, sizeof spare);
    spare.ss_sp = g_alternateStack;
    spare.ss_size = sizeof g_alternateStack;
    ::sigaltstack(&spare, nullptr);

    for (int signal : kFatalSignals) {
        struct sigaction action;
        std::memset(&action, 0, sizeof action);
        action.sa_sigaction = FatalSignalHandler;
        action.sa_flags = SA_SIGINFO | SA_ONSTACK;
        sigemptyset(&action.sa_mask);
        if (::sigaction(signal, &action, nullptr) != 0) {
            error.Assign("InstallCrashDumpHandler () - unable to install the handler for ");
            error.Append(SignalName(signal));
            error.Append(".");
            return false;
        }
    }
    g_handlerReady = true;
    return true;
}
