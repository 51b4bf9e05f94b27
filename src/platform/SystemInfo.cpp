#include "platform/SystemInfo.h"

#include "platform/Files.h"
#include "platform/PathParts.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <limits.h>
#include <pwd.h>
#include <sched.h>
#include <thread>
#include <unistd.h>

namespace platform {

namespace {

std::string WithoutTrailingSeparators(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::string HomeFolder()
{
    if (const char *home = std::getenv("HOME"); home && *home)
        return WithoutTrailingSeparators(home);
    if (const struct passwd *pw = ::getpwuid(::getuid()); pw && pw->pw_dir)
        return WithoutTrailingSeparators(pw->pw_dir);
    return "/tmp";
}

// The documents folder named in the user's xdg user-dirs file, or empty. Lines look like
// XDG_DOCUMENTS_DIR="$HOME/Documents"; the value is either absolute or relative to $HOME.
std::string XdgDocumentsFolder(const std::string &home)
{
    std::string configHome;
    if (const char *config = std::getenv("XDG_CONFIG_HOME"); config && *config == '/')
        configHome = config;
    else
        configHome = home + "/.config";
    std::ifstream file(configHome + "/user-dirs.dirs");
    std::string line;
    while (std::getline(file, line)) {
        const std::string key = "XDG_DOCUMENTS_DIR=";
        size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line.compare(start, key.size(), key) != 0)
            continue;
        std::string value = line.substr(start + key.size());
        while (!value.empty() && (value.back() == '\r' || value.back() == ' ' || value.back() == '\t'))
            value.pop_back();
        if (value.size() < 2 || value.front() != '"' || value.back() != '"')
            continue;
        value = value.substr(1, value.size() - 2);
        if (value.rfind("$HOME", 0) == 0)
            value = home + value.substr(5);
        else if (value.empty() || value.front() != '/')
            continue;
        return WithoutTrailingSeparators(value);
    }
    return std::string();
}

} // namespace

std::string ComputerName()
{
    char buffer[HOST_NAME_MAX + 1] = {};
    if (::gethostname(buffer, sizeof buffer - 1) != 0)
        return std::string();
    return ComputerNameFrom(buffer);
}

std::string ComputerNameFrom(const std::string &hostName)
{
    std::string name = hostName;
    // The short host name, as the instrument's network name was; never longer than 15 characters.
    size_t dot = name.find('.');
    if (dot != std::string::npos && dot > 0)
        name.resize(dot);
    if (name.size() > 15)
        name.resize(15);
    return name;
}

std::string ProgramFolder()
{
    char buffer[PATH_MAX + 1] = {};
    ssize_t length = ::readlink("/proc/self/exe", buffer, PATH_MAX);
    if (length <= 0)
        return ".";
    return FolderOf(std::string(buffer, static_cast<size_t>(length)), kSlashOnly);
}

std::string DocumentsFolder()
{
    if (const char *overridden = std::getenv("VANTELIS_DOCUMENTS"); overridden && *overridden)
        return WithoutTrailingSeparators(NormalizePath(overridden));
    std::string home = HomeFolder();
    std::string xdg = XdgDocumentsFolder(home);
    if (!xdg.empty())
        return xdg;
    return home == "/" ? "/Documents" : home + "/Documents";
}

} // namespace platform

unsigned platform::UsableProcessorCount()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof(set), &set) == 0) {
        const int n = CPU_COUNT(&set);
        if (n > 0)
            return unsigned(n);
    }
    return std::max(1u, std::thread::hardware_concurrency());
}
