#include "Ostravo/LogError.h"

#include "Ostravo/EString.h"
#include "Ostravo/TextFormat.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/SystemInfo.h"

#include <cerrno>
#include <cinttypes>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

namespace {

std::mutex g_settingsMutex;
LogSettings g_settings;

std::string ComputerNameLine()
{
    return "# ComputerName=" + platform::ComputerName() + "\n";
}

} // namespace

void SetLogDataDirectory(const char *folder)
{
    std::lock_guard<std::mutex> lock(g_settingsMutex);
    g_settings.dataDirectory = folder ? folder : "";
}

void SetLogVersion(const char *version)
{
    std::lock_guard<std::mutex> lock(g_settingsMutex);
    g_settings.version = version ? version : "";
}

void SetLogMainSettingsPath(const char *path)
{
    std::lock_guard<std::mutex> lock(g_settingsMutex);
    g_settings.mainSettingsPath = path ? path : "";
}

LogSettings GetLogSettings()
{
    std::lock_guard<std::mutex> lock(g_settingsMutex);
    return g_settings;
}

std::string DataFolderPath(const char *relative)
{
    EString path;
    path.JoinPath(GetLogSettings().dataDirectory.c_str(), relative ? relative : "");
    return platform::NormalizePath(path.c_str());
}

std::string ToCrLfText(const std::string &text)
{
    std::string out;
    out.reserve(text.size() + 16);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            out += '\r';
        out += text[i];
    }
    return out;
}

namespace {

// The source file by its name alone: compilers and build caches hand over __FILE__ with or
// without the build's folders, and rows must not depend on where the program was built.
const char *SourceFileName(const char *sourceFile)
{
    if (!sourceFile)
        return "";
    const char *name = sourceFile;
    for (const char *p = sourceFile; *p; ++p)
        if (*p == '/' || *p == '\\')
            name = p + 1;
    return name;
}

// A row stays one line: library texts (OpenCV's among them) carry line breaks.
std::string OneLine(const char *message)
{
    std::string text = message ? message : "";
    for (char &c : text)
        if (c == '\r' || c == '\n')
            c = ' ';
    return text;
}

} // namespace

void LogError(const char *sourceFile, int32_t line, const char *message, FILE *file)
{
    // One reading of the clock decides both the day's file and the row's time.
    const platform::LocalTime now = platform::Now();
    const std::string path =
        DataFolderPath(FormatText("LOG/Err_%04u_%02u_%02u.log", static_cast<unsigned>(now.year),
                                  static_cast<unsigned>(now.month), static_cast<unsigned>(now.day))
                           .c_str());
    // Decided before anything is opened: only a missing day's file gets the header lines.
    const bool existed = platform::FileExists(path);

    // Without a file of the caller's, the day's log is opened for appending; when that fails the
    // entry is lost without a word, as LogError must never fail towards its caller.
    int fd = -1;
    if (!file) {
        fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
        if (fd < 0)
            return;
    }
    std::string text;
    if (!existed) {
        text += ComputerNameLine();
        text += "version\ttime\tfile\tline\tmessage\n";
    }
    text += FormatText("%s\t%02u:%02u:%02u\t%s\t%" PRId32 "\t%s\n", GetLogSettings().version.c_str(),
                       static_cast<unsigned>(now.hour), static_cast<unsigned>(now.minute),
                       static_cast<unsigned>(now.second), SourceFileName(sourceFile), line,
                       OneLine(message).c_str());
    text = ToCrLfText(text);
    if (file) {
        std::fwrite(text.data(), 1, text.size(), file);
        std::fflush(file);
        return;
    }
    // One write per entry at the end of the file, so rows of different threads never interleave.
    const char *data = text.data();
    size_t left = text.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, left);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            break;
        data += written;
        left -= static_cast<size_t>(written);
    }
    ::close(fd);
}

void WriteComputerNameLine(FILE *file)
{
    if (!file)
        return;
    const std::string text = ToCrLfText(ComputerNameLine());
    std::fwrite(text.data(), 1, text.size(), file);
}
