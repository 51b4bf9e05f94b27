#include "platform/SingleInstance.h"

#include <cerrno>
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

std::string LockFolder()
{
    if (const char *runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime == '/') {
        struct stat info;
        if (::stat(runtime, &info) == 0 && S_ISDIR(info.st_mode) && ::access(runtime, W_OK) == 0)
            return runtime;
    }
    return "/tmp";
}

} // namespace

SingleInstanceLock::SingleInstanceLock(const std::string &name) : m_name(name) {}

SingleInstanceLock::~SingleInstanceLock()
{
    // Closing the descriptor releases the lock. The file stays: removing it could let a third
    // process lock a new file while a second one still holds the old one.
    if (m_fd >= 0)
        ::close(m_fd);
}

std::string SingleInstanceLock::LockFilePath() const
{
    // Per user under /tmp, which every user shares.
    std::string folder = LockFolder();
    std::string file = SanitisedName(m_name) + ".lock";
    if (folder == "/tmp")
        file = "vantelis-" + std::to_string(::getuid()) + "-" + file;
    return folder + "/" + file;
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
