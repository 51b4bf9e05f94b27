#pragma once
// Whole-file storage of profiles, shared by the profile routines and profile encryption: the
// per-file write locks, reading a profile deciphered, and writing it back atomically (enciphered
// when it is registered). Messages are plain strings here; the public routines log them or hand
// them to their callers.
#include "Ostravo/EString.h"
#include "platform/Files.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>

namespace Ostravo {

// A binary semaphore that serves its waiters in the order they came. Since a time-out fails the
// write, a writer must not be overtaken again and again by others until its wait runs out.
class ProfileFileSemaphore
{
  public:
    // False when it was not obtained within timeoutMs.
    bool Wait(uint32_t timeoutMs);
    void Release();

  private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_held = false;
    uint64_t m_nextTicket = 0;
    std::deque<uint64_t> m_queue; // tickets of the waiters, in arrival order
};

// One write lock per profile file, kept for the whole run.
struct ProfileFileLock
{
    EString m_fileName; // the key, compared ignoring ASCII case
    ProfileFileSemaphore m_semaphore;
};

// Holds the write lock of one file for its lifetime. Every whole-file rewrite of a profile takes it,
// so that a rewrite never drops a change another thread or another process made meanwhile: first
// the lock of this process, then the file lock beside the profile that other processes take too.
class ProfileWriteLock
{
  public:
    // Waits at most timeoutMs; on a time-out the message names the function and the file.
    ProfileWriteLock(const char *file, uint32_t timeoutMs, const char *function);
    ~ProfileWriteLock();
    ProfileWriteLock(const ProfileWriteLock &) = delete;
    ProfileWriteLock &operator=(const ProfileWriteLock &) = delete;

    bool Held() const { return m_lock != nullptr; }
    const std::string &TimeoutMessage() const { return m_message; }

  private:
    ProfileFileLock *m_lock = nullptr;
    platform::FileLock m_fileLock;
    std::string m_message;
};

constexpr uint32_t kProfileWriteLockMs = 2000;

// Reads the whole file, as Ostravo::read_profile_file_to_memory and Ostravo::decrypt do.
bool ReadProfileFile(std::string &buffer, const char *path, bool &enciphered, std::string &message);
bool DecryptBuffer(std::string &buffer, std::string &message);
bool EncryptBuffer(std::string &buffer, std::string &message);

enum class ProfileRead
{
    Ok,            // text holds the plain file (empty for a missing file)
    ReadFailed,    // the file could not be read
    DecipherFailed // enciphered with another rand.bin, or not decipherable
};
// Reads a profile whole and deciphers it when it is stored enciphered. exists tells whether the
// file was there.
ProfileRead LoadProfileText(const char *file, std::string &text, bool &exists, std::string &message);

// Whether a file holding text would count as enciphered: at least 32 bytes and a byte of 128 or
// more among the first 32.
bool LooksEnciphered(const std::string &text);

// Enciphers the text when the file is registered for encryption and replaces the file atomically.
// A plain text that would count as enciphered is not written: the file could not be read again.
// Messages: function + "() : problem opening file for writing: ", "() : problem writing to file: " or
// "() : plain text would be taken for an encrypted file: " with the path, or the message of
// enciphering.
bool StoreProfileText(const char *file, std::string text, const char *function, std::string &message);

} // namespace Ostravo
