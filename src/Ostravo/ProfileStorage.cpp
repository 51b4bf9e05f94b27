#include "Ostravo/ProfileStorage.h"

#include "Ostravo/ProfileEncryption.h"
#include "Ostravo/SortedPtrArray.h"
#include "platform/Files.h"

#include <algorithm>
#include <chrono>
#include <mutex>

namespace Ostravo {

namespace {

using ProfileFileLockOrder = NoCaseNameOrder<ProfileFileLock, &ProfileFileLock::m_fileName>;

// The table and its entries are shared by every thread that writes profiles; entries are never
// removed, so a lock found once stays valid for the whole run.
std::mutex g_lockTableMutex;

SortedPtrArray<ProfileFileLock, ProfileFileLockOrder> &ProfileFileLockTable()
{
    static SortedPtrArray<ProfileFileLock, ProfileFileLockOrder> table(SortedPtrOwnsItems |
                                                                       SortedPtrKeepSorted);
    return table;
}

ProfileFileLock &FindOrAddLock(const std::string &key)
{
    std::lock_guard<std::mutex> guard(g_lockTableMutex);
    auto &table = ProfileFileLockTable();
    if (ProfileFileLock *lock = table.FindByName(key.c_str()))
        return *lock;
    auto *lock = new ProfileFileLock;
    lock->m_fileName.Assign(key.c_str());
    table.Add(lock);
    return *lock;
}

// Whether a failed replace never got as far as creating its temporary file.
bool FailedToOpen(const std::string &error)
{
    return error.find("cannot create") != std::string::npos ||
           error.find("cannot open") != std::string::npos ||
           error.find("invalid file path") != std::string::npos ||
           error.find("is a folder") != std::string::npos;
}

} // namespace

bool ProfileFileSemaphore::Wait(uint32_t timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    const uint64_t ticket = m_nextTicket++;
    m_queue.push_back(ticket);
    auto myTurn = [&] { return !m_held && m_queue.front() == ticket; };
    if (!m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), myTurn)) {
        m_queue.erase(std::find(m_queue.begin(), m_queue.end(), ticket));
        // The waiter behind this one may be first now.
        m_cv.notify_all();
        return false;
    }
    m_queue.pop_front();
    m_held = true;
    return true;
}

void ProfileFileSemaphore::Release()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_held = false;
    }
    m_cv.notify_all();
}

ProfileWriteLock::ProfileWriteLock(const char *file, uint32_t timeoutMs, const char *function)
{
    // Both separators name the same file, so they share one lock.
    const std::string path = platform::NormalizePath(file ? file : "");
    ProfileFileLock &lock = FindOrAddLock(path);
    const auto start = std::chrono::steady_clock::now();
    bool held = lock.m_semaphore.Wait(timeoutMs);
    if (held) {
        // The same time budget covers both locks. A lock file that cannot be made (an unusable
        // shared lock folder) does not stop the write, which reports its own failures.
        const auto waited =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        const uint32_t left =
            waited.count() >= timeoutMs ? 0u : timeoutMs - static_cast<uint32_t>(waited.count());
        if (m_fileLock.Acquire(path, left) == platform::FileLock::Result::TimedOut) {
            lock.m_semaphore.Release();
            held = false;
        }
    }
    if (held)
        m_lock = &lock;
    else
        m_message =
            std::string(function) + " () - timeout waiting for the write lock of " + (file ? file : "") + ".";
}

ProfileWriteLock::~ProfileWriteLock()
{
    m_fileLock.Release();
    if (m_lock)
        m_lock->m_semaphore.Release();
}

ProfileRead LoadProfileText(const char *file, std::string &text, bool &exists, std::string &message)
{
    text.clear();
    exists = platform::FileExists(platform::NormalizePath(file));
    bool enciphered = false;
    if (!ReadProfileFile(text, file, enciphered, message))
        return enciphered ? ProfileRead::DecipherFailed : ProfileRead::ReadFailed;
    if (enciphered && !DecryptBuffer(text, message))
        return ProfileRead::DecipherFailed;
    return ProfileRead::Ok;
}

bool LooksEnciphered(const std::string &text)
{
    if (text.size() < 32)
        return false;
    for (size_t i = 0; i < 32; ++i)
        if (static_cast<unsigned char>(text[i]) >= 128)
            return true;
    return false;
}

bool StoreProfileText(const char *file, std::string text, const char *function, std::string &message)
{
    if (IsEncryptedProfile(file)) {
        if (!EncryptBuffer(text, message))
            return false;
    } else if (LooksEnciphered(text)) {
        message = std::string(function) + "() : plain text would be taken for an encrypted file: " + file;
        return false;
    }
    std::string error;
    if (!platform::AtomicReplace(platform::NormalizePath(file), text, &error)) {
        message = std::string(function) +
                  (FailedToOpen(error) ? "() : problem opening file for writing: "
                                       : "() : problem writing to file: ") +
                  file;
        return false;
    }
    return true;
}

} // namespace Ostravo
