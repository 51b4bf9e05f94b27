#include "platform/SingleInstance.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// The lock file's name keeps letters, digits, '-', '_' and '.' of the lock name; anything else
// (separators above all) becomes '_', so a name can never point elsewhere.
std::string SanitisedName(const std::string &name)
{
    std::string result;
    for (char c : name) {
        bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                    c == '_' || c == '.';
        result += keep ? c : '_';
    }
    return result;
}

// The data folder as every start names it: the longest part that exists with its links resolved,
// then the rest as given, without '\' separators or a trailing '/'.
std::string ResolvedFolder(const std::string &folder)
{
    std::string path = folder;
    for (char &c : path)
        if (c == '\\')
            c = '/';
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    std::string rest;
    std::string head = path;
    while (!head.empty()) {
        if (char *resolved = ::realpath(head.c_str(), nullptr)) {
            std::string result = resolved;
            std::free(resolved);
            if (!rest.empty() && result.back() != '/')
                result += '/';
            return result + rest;
        }
        size_t slash = head.find_last_of('/');
        if (slash == std::string::npos)
            break;
        rest = head.substr(slash + 1) + (rest.empty() ? "" : "/" + rest);
        head = head.substr(0, slash);
    }
    return path;
}

// FNV-1a: the same key in every build, unlike std::hash.
std::string FolderKey(const std::string &folder)
{
    uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : folder) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

} // namespace

SingleInstanceLock::SingleInstanceLock(const std::string &name, const std::string &dataFolder)
    : m_name(name), m_dataFolder(dataFolder)
{
}

SingleInstanceLock::~SingleInstanceLock()
{
    // Closing the descriptor releases the lock. The file stays: removing it could let a third
    // process lock a new file while a second one still holds the old one.
    if (m_fd >= 0)
        ::close(m_fd);
}

std::string SingleInstanceLock::LockFilePath() const
{
    // /tmp is shared by every user and every session, so the user's id is part of the name; a
    // per-session folder ($XDG_RUNTIME_DIR) would let a start without it run beside one with it.
    return "/tmp/vantelis-" + std::to_string(::getuid()) + "-" + SanitisedName(m_name) + "-" +
           FolderKey(ResolvedFolder(m_dataFolder)) + ".lock";
}

bool SingleInstanceLock::Acquire()
{
    if (m_fd >= 0)
        return true;
    std::string path = LockFilePath();
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return false;
    // flock belongs to the open file description: it goes away with the process, so a crashed
    // instance never leaves a stale lock behind. O_CLOEXEC keeps started programs from inheriting it.
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        ::close(fd);
        return false;
    }
    m_fd = fd;
    return true;
}

} // namespace platform
