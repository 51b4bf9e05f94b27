#pragma once
// File and folder services. Paths use '/'; every function also accepts '\' as a separator.
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Converts '\' separators to '/'.
std::string NormalizePath(const std::string &path);

bool FileExists(const std::string &path);   // a regular file
bool FolderExists(const std::string &path); // a directory
// Makes one folder level; true when it exists afterwards.
bool MakeFolder(const std::string &path);
// Makes one folder level; true only when this call made it (an existing folder gives false).
bool MakeNewFolder(const std::string &path);
// Bytes free to the caller on the file system holding path; false with the system error code.
bool FreeDiskBytes(const std::string &path, uint64_t &bytes, int &errorCode);
bool CopyFile(const std::string &from, const std::string &to, bool failIfExists);
// Fails when to exists: a rename never replaces a file.
bool RenameFile(const std::string &from, const std::string &to);
bool DeleteFile(const std::string &path);
// Size in bytes, or -1 when the file cannot be read.
int64_t FileSize(const std::string &path);
// Reads the whole file as bytes; false (and error text) when it cannot be read. Only a regular
// file (or a link to one) is read: a FIFO or a device is refused without blocking.
bool ReadWholeFile(const std::string &path, std::string &bytes, std::string *error = nullptr);
// Opens a regular file for reading ("rb"); null (and error text) for anything else. A FIFO or a
// device named like a file is refused without blocking.
std::FILE *OpenRegularFile(const std::string &path, std::string *error = nullptr);
// Writes bytes to a temporary file beside path, flushes it to disk and renames it over path.
// On any failure path is left exactly as it was and the temporary file is removed.
bool AtomicReplace(const std::string &path, std::string_view bytes, std::string *error = nullptr);
// The same for encoded image bytes, written as they are without a copy.
inline bool AtomicReplace(const std::string &path, const std::vector<unsigned char> &bytes,
                          std::string *error = nullptr)
{
    return AtomicReplace(path, std::string_view(reinterpret_cast<const char *>(bytes.data()), bytes.size()),
                         error);
}
// As AtomicReplace, for files that must never be written over: the complete temporary file is
// published with a rename that fails when path exists (also when it appeared meanwhile). On
// failure errno tells why, EEXIST when the name is taken; nothing is left behind.
bool AtomicCreate(const std::string &path, std::string_view bytes, std::string *error = nullptr);

// A temporary name beside path: "." + name + ".tmp" + process id + "_" + a number unique in the
// process. A temporary whose writer has ended is stale.
std::string TemporaryNameBeside(const std::string &path);
// Removes the temporaries of folder/name left by writers that are gone: their process has ended
// and nobody holds the lock a writer keeps on its temporary file until the rename. A temporary
// folder (a video staged under its name) goes with the file of that name in it, unless its writer
// holds a lock on the folder likewise.
void RemoveStaleTemporaries(const std::string &folder, const std::string &name);

// Writes through a temporary file beside path ("." + name + ".tmp" + process id + "_" + number),
// which its writer keeps locked until the rename. Every replace first removes the temporaries of
// path whose writer is gone (its process ended, as after a kill, and nobody holds its lock).
//
// A file the user may not write by its mode and owner (a read-only file, one of another user) is
// refused as an in-place write would be: the check does not rely on the caller's privileges, so
// root is refused too. When the file belongs to another user who lets us write it, its owner is
// kept; where that is impossible the write is refused rather than taking the file over.
// Failures to create the temporary file or to open the target for writing give an error text
// starting "AtomicReplace() : cannot create" or "AtomicReplace() : cannot open".

// Test hook: makes the next AtomicReplace (or CopyFile) fail at the given step, as a
// full disk or a failing device would. Create: the temporary file cannot be made; Write: half the
// bytes reach the temporary file; Flush: the flush to disk fails; Rename: the final rename fails.
enum class ReplaceFailurePoint
{
    None,
    Create,
    Write,
    Flush,
    Rename,
};
// With after > 0 the failure comes at the (after + 1)th replace that reaches that step.
void FailNextReplaceAt(ReplaceFailurePoint point, unsigned after = 0);

// An advisory lock that every process writing path takes: flock on a lock file named from the
// resolved path, kept in one lock folder in the system's temporary folder (never in the user's
// folders). The folder and its files are usable by every user, so two users writing one shared
// file exclude each other. Lock files are made when missing and never removed, so that all
// processes lock one file. The lock goes with the process, so a killed writer never leaves it held.
// Names for lock files that every process derives alike. ResolvedPath: the longest part of the
// path that exists with its links resolved, then the rest as given, so that a link, "..", or a
// file not yet made all give one name. PathKey: a stable hash of a path (FNV-1a, the same in every
// build, unlike std::hash). SafeName: the first `limit` bytes of a name with anything but
// letters, digits, '-', '_' and '.' turned into '_', so that it can never point elsewhere.
std::string ResolvedPath(const std::string &path);
std::string PathKey(const std::string &path);
std::string SafeName(const std::string &name, size_t limit = std::string::npos);

class FileLock
{
  public:
    enum class Result
    {
        Held,
        TimedOut,    // another process held it for the whole wait
        Unavailable, // the lock file cannot be made or opened
    };
    FileLock() = default;
    ~FileLock();
    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;
    // Waits at most timeoutMs.
    Result Acquire(const std::string &path, uint32_t timeoutMs);
    void Release();
    bool Held() const { return m_fd >= 0; }
    // The lock file of path.
    static std::string LockFilePath(const std::string &path);
    // The folder holding every lock file.
    static std::string LockFolder();

  private:
    int m_fd = -1;
};

// A write that hits the file-size limit fails with EFBIG instead of ending the process: called
// once at start-up, before any file is written.
void IgnoreFileSizeLimitSignal();

// Case-insensitive '*' and '?' match of a whole name. A trailing ".*" also matches a name without
// an extension, so "*.*" matches every name.
bool WildcardMatch(const std::string &pattern, const std::string &name);

struct DirEntry
{
    std::string name; // file name only
    bool isFolder = false;
};
// The order of names in every folder listing, as the Windows file system listed them: bytes
// compared with ASCII letters folded to upper case (so "_" sorts after letters), names equal but
// for case in byte order.
bool NameLess(const std::string &a, const std::string &b);
// Entries of folder whose names match pattern (ignoring case), in NameLess order, without "." and
// "..". Empty when the folder cannot be read.
std::vector<DirEntry> ListFolder(const std::string &folder, const std::string &pattern = "*");
// Full path of the entry of folder whose name equals name ignoring case (an exact match wins);
// empty when there is none. name may hold several levels ("Default/Vantelis.ini"), each matched
// ignoring case.
std::string FindFileIgnoringCase(const std::string &folder, const std::string &name);

} // namespace platform
