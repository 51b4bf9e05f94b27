#include "platform/Files.h"

#include "platform/ErrorText.h"
#include "platform/PathParts.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <thread>
#include <unistd.h>

namespace platform {

namespace {

std::atomic<int> g_failNextReplaceAt{static_cast<int>(ReplaceFailurePoint::None)};
std::atomic<unsigned> g_failSkip{0};
std::atomic<unsigned> g_tempCounter{0};

std::string ErrnoText(int err)
{
    char buffer[256];
    // GNU strerror_r returns the text, which may or may not be in buffer.
    return strerror_r(err, buffer, sizeof buffer);
}

char Lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualIgnoringCase(const std::string &a, const std::string &b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    return true;
}

bool WriteAll(int fd, const char *data, size_t size)
{
    while (size > 0) {
        ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

// Consumes the test failure point when it is the one asked for.
bool FailHere(ReplaceFailurePoint point)
{
    if (g_failNextReplaceAt.load() != static_cast<int>(point))
        return false;
    for (unsigned skip = g_failSkip.load(); skip > 0;)
        if (g_failSkip.compare_exchange_weak(skip, skip - 1))
            return false;
    int expected = static_cast<int>(point);
    return g_failNextReplaceAt.compare_exchange_strong(expected, static_cast<int>(ReplaceFailurePoint::None));
}

// Rewriting through a symbolic link replaces the file it points to and keeps the link.
std::string ResolveLink(const std::string &path)
{
    struct stat linkInfo;
    if (::lstat(path.c_str(), &linkInfo) == 0 && S_ISLNK(linkInfo.st_mode)) {
        if (char *resolved = ::realpath(path.c_str(), nullptr)) {
            std::string result = resolved;
            std::free(resolved);
            return result;
        }
    }
    return path;
}

bool InGroup(gid_t gid)
{
    if (::getegid() == gid)
        return true;
    int count = ::getgroups(0, nullptr);
    if (count <= 0)
        return false;
    std::vector<gid_t> groups(static_cast<size_t>(count));
    count = ::getgroups(count, groups.data());
    return count > 0 && std::find(groups.begin(), groups.begin() + count, gid) != groups.begin() + count;
}

// Whether the mode and owner of a file let this user write it. Privileges that override the mode
// (root) are not counted: an in-place write of a read-only file fails for every user.
bool ModeAllowsWriting(const struct stat &info)
{
    if (::geteuid() == info.st_uid)
        return (info.st_mode & S_IWUSR) != 0;
    if (InGroup(info.st_gid))
        return (info.st_mode & S_IWGRP) != 0;
    return (info.st_mode & S_IWOTH) != 0;
}

// "<pid>_<number>" behind the temporary prefix; the process id, or 0 when the name is not ours.
pid_t TemporaryWriter(const std::string &suffix)
{
    size_t underscore = suffix.find('_');
    if (underscore == 0 || underscore == std::string::npos || underscore + 1 >= suffix.size())
        return 0;
    for (size_t i = 0; i < suffix.size(); ++i)
        if (i != underscore && (suffix[i] < '0' || suffix[i] > '9'))
            return 0;
    long long pid = std::atoll(suffix.substr(0, underscore).c_str());
    return pid > 0 && pid <= INT_MAX ? static_cast<pid_t>(pid) : 0;
}

} // namespace

std::string TemporaryNameBeside(const std::string &path)
{
    return JoinPath(FolderOf(path, kSlashOnly),
                    "." + FileNameOf(path, kSlashOnly) + ".tmp" + std::to_string(::getpid()) + "_" +
                        std::to_string(g_tempCounter.fetch_add(1)),
                    kSlashOnly);
}

void RemoveStaleTemporaries(const std::string &folder, const std::string &name)
{
    const std::string prefix = "." + name + ".tmp";
    DIR *dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    std::vector<std::string> stale;
    while (struct dirent *entry = ::readdir(dir)) {
        std::string entryName = entry->d_name;
        if (entryName.compare(0, prefix.size(), prefix) != 0)
            continue;
        pid_t writer = TemporaryWriter(entryName.substr(prefix.size()));
        if (writer == 0 || writer == ::getpid())
            continue;
        if (::kill(writer, 0) == 0 || errno == EPERM)
            continue; // the writer still runs
        stale.push_back(JoinPath(folder, entryName, kSlashOnly));
    }
    ::closedir(dir);
    for (const std::string &path : stale) {
        // Non-blocking: something else under a temporary's name (a FIFO) must not hold the writer.
        int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        // A writer the process check cannot see (another machine on a shared folder) still holds
        // the lock on its temporary file or folder.
        struct stat info;
        if (::fstat(fd, &info) == 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            if (S_ISREG(info.st_mode)) {
                ::unlink(path.c_str());
            } else if (S_ISDIR(info.st_mode)) {
                // A staged video's folder: only the file of that name is taken, so anything else
                // (never put there by a writer) keeps the folder.
                ::unlinkat(fd, name.c_str(), 0);
                ::rmdir(path.c_str());
            }
        }
        ::close(fd);
    }
}

namespace {

enum class Existing
{
    Replace,  // the target is replaced
    MustNotBe // the write fails when the target exists, also when it appears meanwhile
};

// Writes a file through a temporary file beside it: the body goes to the temporary file, which
// is flushed to disk and renamed over target, so a reader (or a crash) sees either the old
// file or the whole new one. On failure the temporary file is removed and target is untouched.
bool ReplaceWith(const std::string &target, const std::function<bool(int fd, std::string &why)> &writeBody,
                 const char *function, std::string *error, Existing existing = Existing::Replace,
                 mode_t newFileMode = 0666)
{
    std::string path = NormalizePath(target);
    if (path.empty() || path.back() == '/') {
        SetError(error, std::string(function) + "() : invalid file path '" + target + "'");
        return false;
    }
    path = ResolveLink(path);
    struct stat info;
    bool existed = ::stat(path.c_str(), &info) == 0;
    if (existed && S_ISDIR(info.st_mode)) {
        SetError(error, std::string(function) + "() : '" + path + "' is a folder");
        errno = EISDIR;
        return false;
    }
    if (existed && existing == Existing::MustNotBe) {
        SetError(error, std::string(function) + "() : cannot create '" + path + "': it exists");
        errno = EEXIST;
        return false;
    }
    if (existed && !ModeAllowsWriting(info)) {
        SetError(error, std::string(function) + "() : cannot open '" + path +
                            "' for writing: its mode or owner does not allow it");
        errno = EACCES;
        return false;
    }
    RemoveStaleTemporaries(FolderOf(path, kSlashOnly), FileNameOf(path, kSlashOnly));

    std::string temp = TemporaryNameBeside(path);
    int fd = FailHere(ReplaceFailurePoint::Create)
                 ? (errno = EACCES, -1)
                 : ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, newFileMode);
    if (fd < 0) {
        const int err = errno;
        SetError(error, std::string(function) + "() : cannot create '" + temp + "': " + ErrnoText(err));
        errno = err;
        return false;
    }
    // Held until the rename: the temporary file is not stale while its writer works on it.
    ::flock(fd, LOCK_EX | LOCK_NB);
    auto fail = [&](const std::string &why) {
        const int err = errno; // the caller may tell a taken name (EEXIST) from a failed write
        ::unlink(temp.c_str());
        ::close(fd);
        SetError(error, std::string(function) + "() : " + why);
        errno = err;
        return false;
    };
    if (existed) {
        // Keep the file's owner; a file of another user is not taken over.
        if ((info.st_uid != ::geteuid() || info.st_gid != ::getegid()) &&
            ::fchown(fd, info.st_uid, info.st_gid) != 0 && info.st_uid != ::geteuid())
            return fail("cannot open '" + path + "' for writing: it belongs to another user");
        ::fchmod(fd, info.st_mode & 07777); // keep the file's permissions
    }
    std::string why;
    if (!writeBody(fd, why))
        return fail(why.empty() ? "cannot write '" + temp + "': " + ErrnoText(errno) : why);
    bool flushed = FailHere(ReplaceFailurePoint::Flush) ? (errno = EIO, false) : ::fsync(fd) == 0;
    if (!flushed)
        return fail("cannot flush '" + temp + "': " + ErrnoText(errno));
    bool renamed = false;
    if (FailHere(ReplaceFailurePoint::Rename)) {
        errno = EIO;
    } else if (existing == Existing::Replace) {
        renamed = ::rename(temp.c_str(), path.c_str()) == 0;
    } else {
        renamed = ::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0;
        if (!renamed && (errno == EINVAL || errno == ENOSYS)) {
            // File systems without the no-replace flag: a hard link also fails on an existing name.
            renamed = ::link(temp.c_str(), path.c_str()) == 0;
            if (renamed)
                ::unlink(temp.c_str());
        }
    }
    if (!renamed)
        return fail("cannot rename '" + temp + "' to '" + path + "': " + ErrnoText(errno));
    // The body was flushed before the rename; closing cannot lose it any more.
    ::close(fd);
    // Make the rename itself durable; a failure here cannot undo it and is not reported.
    int dirFd = ::open(FolderOf(path, kSlashOnly).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

} // namespace

std::string NormalizePath(const std::string &path)
{
    std::string result = path;
    std::replace(result.begin(), result.end(), '\\', '/');
    return result;
}

bool FileExists(const std::string &path)
{
    struct stat info;
    return ::stat(NormalizePath(path).c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool FolderExists(const std::string &path)
{
    struct stat info;
    return ::stat(NormalizePath(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool MakeFolder(const std::string &path)
{
    std::string p = NormalizePath(path);
    if (p.empty())
        return false;
    if (::mkdir(p.c_str(), 0777) == 0)
        return true;
    return FolderExists(p);
}

bool MakeNewFolder(const std::string &path)
{
    std::string p = NormalizePath(path);
    return !p.empty() && ::mkdir(p.c_str(), 0777) == 0;
}

bool FreeDiskBytes(const std::string &path, uint64_t &bytes, int &errorCode)
{
    struct statvfs info
    {
    };
    if (::statvfs(NormalizePath(path).c_str(), &info) != 0) {
        errorCode = errno;
        return false;
    }
    bytes = static_cast<uint64_t>(info.f_bavail) * static_cast<uint64_t>(info.f_frsize);
    errorCode = 0;
    return true;
}

bool CopyFile(const std::string &from, const std::string &to, bool failIfExists)
{
    std::string source = NormalizePath(from);
    std::string target = NormalizePath(to);
    int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return false;
    struct stat info;
    if (::fstat(in, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(in);
        return false;
    }
    auto copyBody = [in](int out, std::string &) {
        char buffer[64 * 1024];
        for (;;) {
            ssize_t got = ::read(in, buffer, sizeof buffer);
            if (got < 0) {
                if (errno == EINTR)
                    continue;
                return false;
            }
            if (got == 0)
                return true;
            if (!WriteAll(out, buffer, static_cast<size_t>(got)))
                return false;
        }
    };
    bool ok;
    if (!failIfExists && FolderExists(target)) {
        ::close(in);
        return false;
    }
    // Through a temporary file, so that a failed or interrupted copy never leaves a half file;
    // "only when absent" is checked again by the final no-replace rename.
    ok = ReplaceWith(target, copyBody, "CopyFile", nullptr,
                     failIfExists ? Existing::MustNotBe : Existing::Replace,
                     failIfExists ? (info.st_mode & 0777) : 0666);
    ::close(in);
    return ok;
}

bool RenameFile(const std::string &from, const std::string &to)
{
    std::string source = NormalizePath(from);
    std::string target = NormalizePath(to);
    struct stat info;
    if (::lstat(source.c_str(), &info) != 0)
        return false;
    // A rename never replaces an existing file; callers delete the old one first when they mean it.
    if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno == EINVAL || errno == ENOSYS) {
        // File systems without the no-replace flag: check, then rename.
        struct stat existing;
        if (::lstat(target.c_str(), &existing) == 0)
            return false;
        if (::rename(source.c_str(), target.c_str()) == 0)
            return true;
    }
    if (errno == EXDEV && S_ISREG(info.st_mode)) {
        // Another file system: copy, then remove the original.
        if (!CopyFile(source, target, true))
            return false;
        if (::unlink(source.c_str()) != 0) {
            ::unlink(target.c_str());
            return false;
        }
        return true;
    }
    return false;
}

bool DeleteFile(const std::string &path)
{
    std::string p = NormalizePath(path);
    struct stat info;
    if (::lstat(p.c_str(), &info) != 0 || S_ISDIR(info.st_mode))
        return false;
    return ::unlink(p.c_str()) == 0;
}

int64_t FileSize(const std::string &path)
{
    struct stat info;
    if (::stat(NormalizePath(path).c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return -1;
    return static_cast<int64_t>(info.st_size);
}

bool ReadWholeFile(const std::string &path, std::string &bytes, std::string *error)
{
    std::string p = NormalizePath(path);
    // Non-blocking, so that opening a FIFO without a writer returns at once; only a regular file
    // is read (a FIFO or a device could block the reader for ever or never end).
    int fd = ::open(p.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        SetError(error, "ReadWholeFile() : cannot open '" + p + "': " + ErrnoText(errno));
        return false;
    }
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        SetError(error, "ReadWholeFile() : '" + p + "' is not a file");
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::string result;
    if (info.st_size > 0)
        result.reserve(static_cast<size_t>(info.st_size));
    char buffer[64 * 1024];
    for (;;) {
        ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            int err = errno;
            ::close(fd);
            SetError(error, "ReadWholeFile() : cannot read '" + p + "': " + ErrnoText(err));
            return false;
        }
        if (got == 0)
            break;
        result.append(buffer, static_cast<size_t>(got));
    }
    ::close(fd);
    bytes.swap(result);
    return true;
}

std::FILE *OpenRegularFile(const std::string &path, std::string *error)
{
    std::string p = NormalizePath(path);
    // Non-blocking, so that opening a FIFO without a writer returns at once.
    int fd = ::open(p.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        SetError(error, "OpenRegularFile() : cannot open '" + p + "': " + ErrnoText(errno));
        return nullptr;
    }
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        SetError(error, "OpenRegularFile() : '" + p + "' is not a regular file");
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE *file = ::fdopen(fd, "rb");
    if (!file) {
        SetError(error, "OpenRegularFile() : cannot open '" + p + "': " + ErrnoText(errno));
        ::close(fd);
    }
    return file;
}

namespace {

bool WriteBytes(int fd, std::string_view bytes)
{
    size_t size = bytes.size();
    if (FailHere(ReplaceFailurePoint::Write)) {
        // Leave a half-written temporary file behind, as a full disk would.
        WriteAll(fd, bytes.data(), size / 2);
        errno = ENOSPC;
        return false;
    }
    return WriteAll(fd, bytes.data(), size);
}

} // namespace

bool AtomicReplace(const std::string &path, std::string_view bytes, std::string *error)
{
    return ReplaceWith(
        path, [&bytes](int fd, std::string &) { return WriteBytes(fd, bytes); }, "AtomicReplace", error);
}

bool AtomicCreate(const std::string &path, std::string_view bytes, std::string *error)
{
    return ReplaceWith(
        path, [&bytes](int fd, std::string &) { return WriteBytes(fd, bytes); }, "AtomicCreate", error,
        Existing::MustNotBe);
}

void FailNextReplaceAt(ReplaceFailurePoint point, unsigned after)
{
    g_failSkip.store(after);
    g_failNextReplaceAt.store(static_cast<int>(point));
}

FileLock::~FileLock()
{
    Release();
}

std::string ResolvedPath(const std::string &path)
{
    std::string head = path;
    while (head.size() > 1 && head.back() == '/')
        head.pop_back();
    std::string rest;
    while (!head.empty()) {
        if (char *resolved = ::realpath(head.c_str(), nullptr)) {
            std::string result = resolved;
            std::free(resolved);
            return rest.empty() ? result : JoinPath(result, rest, kSlashOnly);
        }
        size_t slash = LastSeparator(head, kSlashOnly);
        if (slash == std::string::npos) {
            // A relative name whose first level is missing: it lies in the working folder.
            if (char *cwd = ::getcwd(nullptr, 0)) {
                std::string result = cwd;
                std::free(cwd);
                return JoinPath(result, rest.empty() ? head : head + "/" + rest, kSlashOnly);
            }
            break;
        }
        rest = head.substr(slash + 1) + (rest.empty() ? "" : "/" + rest);
        head = head.substr(0, slash);
        if (head.empty())
            head = "/";
    }
    return path;
}

// FNV-1a: the same key in every build and every process, unlike std::hash.
std::string PathKey(const std::string &path)
{
    uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : path) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

std::string SafeName(const std::string &name, size_t limit)
{
    std::string result;
    for (char c : name.substr(0, limit)) {
        bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                    c == '_' || c == '.';
        result += keep ? c : '_';
    }
    return result;
}

namespace {

// The shared lock folder, made when missing: sticky and writable by all, as the temporary
// folder itself, so every user can add lock files and none can remove another's. A link or
// anything else in its place is not used.
bool MakeLockFolder(const std::string &folder)
{
    if (::mkdir(folder.c_str(), 01777) == 0)
        ::chmod(folder.c_str(), 01777); // past the umask
    struct stat info;
    return ::lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace

std::string FileLock::LockFolder()
{
    // The system's temporary folder is shared by every user and session; the per-session runtime
    // folder is not (a headless run from a plain shell or a scheduler may lack one).
    return "/tmp/vantelis-locks";
}

std::string FileLock::LockFilePath(const std::string &path)
{
    const std::string target = ResolvedPath(NormalizePath(path));
    return JoinPath(LockFolder(),
                    PathKey(target) + "-" + SafeName(FileNameOf(target, kSlashOnly), 64) + ".lock",
                    kSlashOnly);
}

FileLock::Result FileLock::Acquire(const std::string &path, uint32_t timeoutMs)
{
    if (m_fd >= 0)
        return Result::Held;
    if (!MakeLockFolder(LockFolder()))
        return Result::Unavailable;
    const std::string lockPath = LockFilePath(path);
    int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0)
        ::fchmod(fd, 0666); // past the umask: another user locks the same file
    // A lock file of another user: the sticky folder may refuse O_CREAT on it, a plain open works.
    if (fd < 0)
        fd = ::open(lockPath.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        fd = ::open(lockPath.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return Result::Unavailable;
    struct stat lockInfo;
    if (::fstat(fd, &lockInfo) != 0 || !S_ISREG(lockInfo.st_mode)) {
        ::close(fd);
        return Result::Unavailable;
    }
    // flock has no time-out: try, then wait a little longer each round up to the deadline.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    auto pause = std::chrono::microseconds(100);
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            m_fd = fd;
            return Result::Held;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            ::close(fd);
            return Result::Unavailable;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            ::close(fd);
            return Result::TimedOut;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::microseconds(2000));
    }
}

void FileLock::Release()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

void IgnoreFileSizeLimitSignal()
{
    ::signal(SIGXFSZ, SIG_IGN);
}

bool WildcardMatch(const std::string &pattern, const std::string &name)
{
    // Iterative match with one back-tracking point: the last '*' seen.
    size_t p = 0, n = 0, starP = std::string::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && (pattern[p] == '?' || Lower(pattern[p]) == Lower(name[n]))) {
            ++p;
            ++n;
        } else if (starP != std::string::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            break;
        }
    }
    if (n == name.size()) {
        while (p < pattern.size() && pattern[p] == '*')
            ++p;
        if (p == pattern.size())
            return true;
    }
    // A trailing ".*" also matches a name without an extension ("*.*" matches every name), as
    // the listings the callers were written for did.
    if (pattern.size() >= 2 && pattern.compare(pattern.size() - 2, 2, ".*") == 0 &&
        name.find('.') == std::string::npos)
        return WildcardMatch(pattern.substr(0, pattern.size() - 2), name);
    return false;
}

bool NameLess(const std::string &a, const std::string &b)
{
    auto upper = [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u >= 'a' && u <= 'z' ? static_cast<unsigned char>(u - 'a' + 'A') : u;
    };
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        if (upper(a[i]) != upper(b[i]))
            return upper(a[i]) < upper(b[i]);
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

std::vector<DirEntry> ListFolder(const std::string &folder, const std::string &pattern)
{
    std::vector<DirEntry> entries;
    std::string dirPath = NormalizePath(folder);
    if (dirPath.empty())
        dirPath = ".";
    DIR *dir = ::opendir(dirPath.c_str());
    if (!dir)
        return entries;
    while (struct dirent *entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        if (!WildcardMatch(pattern, name))
            continue;
        DirEntry item;
        item.name = name;
        if (entry->d_type == DT_DIR) {
            item.isFolder = true;
        } else if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            struct stat info;
            item.isFolder =
                ::stat(JoinPath(dirPath, name, kSlashOnly).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
        }
        entries.push_back(std::move(item));
    }
    ::closedir(dir);
    std::sort(entries.begin(), entries.end(),
              [](const DirEntry &a, const DirEntry &b) { return NameLess(a.name, b.name); });
    return entries;
}

std::string FindFileIgnoringCase(const std::string &folder, const std::string &name)
{
    // name may hold several levels ("Default\Vantelis.ini"); each level is matched on its own.
    std::string current = NormalizePath(folder);
    if (current.empty())
        current = ".";
    std::string rest = NormalizePath(name);
    size_t start = 0;
    bool any = false;
    while (start <= rest.size()) {
        size_t slash = rest.find('/', start);
        std::string part = rest.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        start = slash == std::string::npos ? rest.size() + 1 : slash + 1;
        if (part.empty() || part == ".")
            continue;
        any = true;
        std::string exact = JoinPath(current, part, kSlashOnly);
        struct stat info;
        if (part == ".." || ::lstat(exact.c_str(), &info) == 0) {
            current = exact;
            continue;
        }
        std::string found;
        for (const DirEntry &entry : ListFolder(current, "*")) {
            if (EqualIgnoringCase(entry.name, part)) {
                found = entry.name; // the listing is sorted: the first of several wins
                break;
            }
        }
        if (found.empty())
            return std::string();
        current = JoinPath(current, found, kSlashOnly);
    }
    return any ? current : std::string();
}

} // namespace platform
