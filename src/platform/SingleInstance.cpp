#include "platform/SingleInstance.h"

#include "platform/Files.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

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
    return "/tmp/vantelis-" + std::to_string(::getuid()) + "-" + SafeName(m_name) + "-" +
           PathKey(ResolvedPath(NormalizePath(m_dataFolder))) + ".lock";
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
