#include "Ostravo/ProfileEncryption.h"

#include "Ostravo/EString.h"
#include "Ostravo/MurmurHash3.h"
#include "Ostravo/ProfileStorage.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Sync.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <set>

namespace Ostravo {

namespace {

constexpr size_t kHeaderSize = 32;
constexpr int64_t kMinRandomFileSize = 64000;
constexpr int64_t kRandomFileSizeLimit = 32000001; // sizes from here on are refused

// rand.bin and its fingerprint. Replaced as a whole, so a thread that is enciphering keeps the
// pool it started with while start-up or a test loads another one.
struct RandomData
{
    std::string pool;
    uint8_t fingerprint[kHeaderSize];
};

std::mutex g_randomMutex;
std::shared_ptr<const RandomData> g_random;

std::shared_ptr<const RandomData> CurrentRandom()
{
    std::lock_guard<std::mutex> lock(g_randomMutex);
    return g_random;
}

void SetRandom(std::shared_ptr<const RandomData> random)
{
    std::lock_guard<std::mutex> lock(g_randomMutex);
    g_random = std::move(random);
}

std::mutex g_setMutex;
std::set<std::string> g_encryptedProfileSet;

std::mutex g_logPathMutex;
std::string g_errorLogPath;
std::set<std::string> g_loggedMessageSet; // guarded by the log semaphore

platform::BinarySemaphore &LogSemaphore()
{
    static platform::BinarySemaphore semaphore;
    return semaphore;
}

void StoreLittleEndian(uint64_t value, uint8_t *out)
{
    for (int i = 0; i < 8; ++i)
        out[i] = static_cast<uint8_t>(value >> (8 * i));
}

void ComputeFingerprint(RandomData &random)
{
    uint64_t first[2];
    uint64_t second[2];
    MurmurHash3_x64_128(random.pool.data(), random.pool.size(), 0, first);
    MurmurHash3_x64_128(random.pool.data(), random.pool.size(), static_cast<uint32_t>(first[0]), second);
    StoreLittleEndian(first[0], random.fingerprint);
    StoreLittleEndian(first[1], random.fingerprint + 8);
    StoreLittleEndian(second[0], random.fingerprint + 16);
    StoreLittleEndian(second[1], random.fingerprint + 24);
}

// Combines bytes with the keystream that state (32 bytes) starts. The keystream depends only on
// rand.bin, so running it twice restores the bytes.
void ApplyKeystream(const RandomData &random, const uint8_t *start, char *bytes, size_t count)
{
    uint8_t state[kHeaderSize];
    std::memcpy(state, start, kHeaderSize);
    const uint32_t poolSize = static_cast<uint32_t>(random.pool.size());
    const uint8_t *pool = reinterpret_cast<const uint8_t *>(random.pool.data());
    bool havePrevious = false;
    uint32_t previous = 0;
    for (size_t i = 0; i < count; ++i) {
        uint32_t k = MurmurHash3_x86_32(state, kHeaderSize, 0) % poolSize;
        if (havePrevious && k == previous)
            k = (k + 1) % poolSize;
        bytes[i] = static_cast<char>(static_cast<uint8_t>(bytes[i]) ^ pool[k]);
        state[i % kHeaderSize] = pool[k];
        previous = k;
        havePrevious = true;
    }
}

bool HasTopBitInHeader(const char *bytes)
{
    for (size_t i = 0; i < kHeaderSize; ++i)
        if (static_cast<uint8_t>(bytes[i]) >= 128)
            return true;
    return false;
}

bool MatchesFingerprint(const char *header)
{
    std::shared_ptr<const RandomData> random = CurrentRandom();
    return random && std::memcmp(header, random->fingerprint, kHeaderSize) == 0;
}

std::string Text(const char *text)
{
    return text ? text : "";
}

int64_t OpenFileSize(std::FILE *file)
{
    if (std::fseek(file, 0, SEEK_END) != 0)
        return -1;
    long size = std::ftell(file);
    if (size < 0 || std::fseek(file, 0, SEEK_SET) != 0)
        return -1;
    return size;
}

bool IsFileEncryptedImpl(const char *path, bool &enciphered, std::string &message)
{
    const std::string file = platform::NormalizePath(Text(path));
    if (!platform::FileExists(file)) {
        message = "Ostravo::E_IsFileEncrypted() : file does not exist: " + Text(path);
        return false;
    }
    std::FILE *in = platform::OpenRegularFile(file);
    if (!in) {
        message = "Ostravo::E_IsFileEncrypted() : problem trying to open file for reading: " + Text(path);
        return false;
    }
    char header[kHeaderSize];
    size_t got = std::fread(header, 1, kHeaderSize, in);
    bool failed = got < kHeaderSize && std::ferror(in);
    std::fclose(in);
    if (failed) {
        message = "Ostravo::E_IsFileEncrypted() : problem trying to read file: " + Text(path);
        return false;
    }
    enciphered = got == kHeaderSize && HasTopBitInHeader(header);
    if (enciphered && !MatchesFingerprint(header)) {
        message = "Ostravo::E_IsFileEncrypted() : encrypted file not compatible with rand.bin: " + Text(path);
        return false;
    }
    return true;
}

// Converts a whole file between plain and enciphered form under its write lock; the new content
// replaces the old atomically, so a failure leaves the file as it was.
bool ConvertFile(const char *path, bool encipher, std::string &message)
{
    const char *function = encipher ? "Ostravo::E_EncryptFile" : "Ostravo::E_DecryptFile";
    ProfileWriteLock lock(Text(path).c_str(), kProfileWriteLockMs, function);
    if (!lock.Held()) {
        message = lock.TimeoutMessage();
        return false;
    }
    bool enciphered = false;
    if (!IsFileEncryptedImpl(path, enciphered, message))
        return false;
    if (enciphered == encipher)
        return true;
    std::string buffer;
    bool flag = false;
    if (!ReadProfileFile(buffer, path, flag, message))
        return false;
    if (encipher ? !EncryptBuffer(buffer, message) : !DecryptBuffer(buffer, message))
        return false;
    // The result must be taken for what it is when it is read again: an enciphered file whose
    // fingerprint has no byte of 128 or more would look plain, a plain text with such a byte among
    // its first 32 would look enciphered.
    if (encipher != LooksEnciphered(buffer)) {
        message = std::string(function) +
                  (encipher ? "() : problem writing to file: "
                            : "() : plain text would be taken for an encrypted file: ") +
                  Text(path);
        return false;
    }
    std::string error;
    if (!platform::AtomicReplace(platform::NormalizePath(Text(path)), buffer, &error)) {
        message = std::string(function) + "() : problem writing to file: " + Text(path);
        return false;
    }
    return true;
}

bool SetErrorLogImpl(const char *path, std::string &message)
{
    const std::string file = platform::NormalizePath(Text(path));
    bool existed = platform::FileExists(file);
    std::FILE *out = std::fopen(file.c_str(), existed ? "ab" : "wb");
    if (!out) {
        message = std::string("Ostravo::E_SetErrorLog") +
                  (existed ? "() unable to open file: " : "() unable to create file: ") + Text(path);
        return false;
    }
    std::fclose(out);
    std::lock_guard<std::mutex> lock(g_logPathMutex);
    g_errorLogPath = file;
    return true;
}

bool LoadRandomFileImpl(const char *path, std::string &message)
{
    const std::string file = platform::NormalizePath(Text(path));
    if (!platform::FileExists(file)) {
        message = "Ostravo::E_LoadRandomFile() File does not exist: " + Text(path);
        return false;
    }
    std::FILE *in = platform::OpenRegularFile(file);
    if (!in) {
        message = "Ostravo::E_LoadRandomFile() Can't open file for reading: " + Text(path);
        return false;
    }
    int64_t size = OpenFileSize(in);
    if (size < 0) {
        std::fclose(in);
        message = "Ostravo::E_LoadRandomFile() Problem reading file: " + Text(path);
        return false;
    }
    if (size < kMinRandomFileSize) {
        std::fclose(in);
        message = "Ostravo::E_LoadRandomFile() File must be at least 64KB: " + Text(path);
        return false;
    }
    if (size >= kRandomFileSizeLimit) {
        std::fclose(in);
        message = "Ostravo::E_LoadRandomFile() File must less than 32MB: " + Text(path);
        return false;
    }
    auto random = std::make_shared<RandomData>();
    bool complete = false;
    try {
        random->pool.resize(static_cast<size_t>(size));
        complete = std::fread(random->pool.data(), 1, random->pool.size(), in) == random->pool.size();
    } catch (const std::bad_alloc &) {
        complete = false;
    }
    std::fclose(in);
    if (!complete) {
        // The pool is gone; drop the fingerprint with it so nothing is enciphered against nothing.
        SetRandom(nullptr);
        message = "Ostravo::E_LoadRandomFile() Problem reading file: " + Text(path);
        return false;
    }
    ComputeFingerprint(*random);
    SetRandom(std::move(random));
    return true;
}

} // namespace

bool ReadProfileFile(std::string &buffer, const char *path, bool &enciphered, std::string &message)
{
    const std::string file = platform::NormalizePath(Text(path));
    if (!platform::FileExists(file))
        return true;
    std::FILE *in = platform::OpenRegularFile(file);
    if (!in) {
        message = "Ostravo::read_profile_file_to_memory() : unable to open file for reading: " + Text(path);
        return false;
    }
    int64_t size = OpenFileSize(in);
    bool complete = size >= 0;
    if (complete) {
        try {
            buffer.resize(static_cast<size_t>(size));
            complete = std::fread(buffer.data(), 1, buffer.size(), in) == buffer.size();
        } catch (const std::bad_alloc &) {
            complete = false;
        }
    }
    std::fclose(in);
    if (!complete) {
        message = "Ostravo::read_profile_file_to_memory() : problem reading file: " + Text(path);
        return false;
    }
    enciphered = buffer.size() >= kHeaderSize && HasTopBitInHeader(buffer.data());
    if (enciphered && !MatchesFingerprint(buffer.data())) {
        message = "Ostravo::read_profile_file_to_memory() : encrypted file not compatible with rand.bin: " +
                  Text(path);
        return false;
    }
    return true;
}

bool DecryptBuffer(std::string &buffer, std::string &message)
{
    std::shared_ptr<const RandomData> random = CurrentRandom();
    if (!random) {
        message = "Ostravo::decrypt() : internal error #1.";
        return false;
    }
    if (buffer.size() < kHeaderSize) {
        message = "Ostravo::decrypt() : internal error #2.";
        return false;
    }
    if (std::memcmp(buffer.data(), random->fingerprint, kHeaderSize) != 0) {
        message = "Ostravo::decrypt() : internal error #3.";
        return false;
    }
    ApplyKeystream(*random, reinterpret_cast<const uint8_t *>(buffer.data()), buffer.data() + kHeaderSize,
                   buffer.size() - kHeaderSize);
    buffer.erase(0, kHeaderSize);
    return true;
}

bool EncryptBuffer(std::string &buffer, std::string &message)
{
    std::shared_ptr<const RandomData> random = CurrentRandom();
    if (!random) {
        message = "Ostravo::encrypt() : internal error #1.";
        return false;
    }
    ApplyKeystream(*random, random->fingerprint, buffer.data(), buffer.size());
    buffer.insert(0, reinterpret_cast<const char *>(random->fingerprint), kHeaderSize);
    return true;
}

bool E_LoadRandomFile(const char *path, EString &message)
{
    std::string text;
    bool ok = LoadRandomFileImpl(path, text);
    if (!ok)
        message.Assign(text.c_str());
    return ok;
}

bool read_profile_file_to_memory(std::string &buffer, const char *path, bool &enciphered, EString &message)
{
    std::string text;
    bool ok = ReadProfileFile(buffer, path, enciphered, text);
    if (!ok)
        message.Assign(text.c_str());
    return ok;
}

bool decrypt(std::string &buffer, EString &message)
{
    std::string text;
    bool ok = DecryptBuffer(buffer, text);
    if (!ok)
        message.Assign(text.c_str());
    return ok;
}

bool encrypt(std::string &buffer, EString &message)
{
    std::string text;
    bool ok = EncryptBuffer(buffer, text);
    if (!ok)
        message.Assign(text.c_str());
    return ok;
}

bool E_IsFileEncrypted(const char *path, bool &enciphered, EString &message)
{
    std::string text;
    bool ok = IsFileEncryptedImpl(path, enciphered, text);
    if (!ok)
        message.Assign(text.c_str());
    return ok;
}

bool E_EncryptFile(const char *path, EString &message)
{
    std::string text;
    bool ok = ConvertFile(path, true, text);
    if (!ok)
        message.Assign(text.c_str());
    return ok;
}

bool E_DecryptFile(const char *path, EString &message)
{
    std::string text;
    bool ok = ConvertFile(path, false, text);
    if (!ok)
        message.Assign(text.c_str());
    return ok;
}

bool E_SetErrorLog(const char *path, EString &message)
{
    std::string text;
    bool ok = SetErrorLogImpl(path, text);
    if (!ok)
        message.Assign(text.c_str());
    return ok;
}

bool log_error(const char *message)
{
    std::string path;
    {
        std::lock_guard<std::mutex> lock(g_logPathMutex);
        path = g_errorLogPath;
    }
    if (path.empty())
        return false;
    platform::BinarySemaphore &semaphore = LogSemaphore();
    if (!semaphore.Wait(1000))
        return false;
    const std::string text = Text(message);
    if (!g_loggedMessageSet.insert(text).second) {
        semaphore.Release();
        return true;
    }
    std::FILE *out = std::fopen(path.c_str(), "ab");
    if (!out) {
        semaphore.Release();
        return false;
    }
    platform::LocalTime now = platform::Now();
    std::fprintf(out, "%04u/%02u/%02u %02u:%02u:%02u\t%s()\t%s\r\n", unsigned(now.year), unsigned(now.month),
                 unsigned(now.day), unsigned(now.hour), unsigned(now.minute), unsigned(now.second),
                 "Ostravo::log_error", text.c_str());
    std::fclose(out);
    semaphore.Release();
    return true;
}

} // namespace Ostravo

bool RegisterEncryptedProfile(const char *nameWithExtension)
{
    if (nameWithExtension == nullptr || nameWithExtension[0] == '\0')
        return false;
    std::lock_guard<std::mutex> lock(Ostravo::g_setMutex);
    Ostravo::g_encryptedProfileSet.insert(nameWithExtension);
    return true;
}

void UnregisterEncryptedProfile(const char *nameWithExtension)
{
    if (nameWithExtension == nullptr)
        return;
    std::lock_guard<std::mutex> lock(Ostravo::g_setMutex);
    Ostravo::g_encryptedProfileSet.erase(nameWithExtension);
}

bool IsEncryptedProfile(const char *path)
{
    EString name;
    if (path == nullptr || !name.SplitPath(path, 0, 1, 1))
        return false;
    std::lock_guard<std::mutex> lock(Ostravo::g_setMutex);
    return Ostravo::g_encryptedProfileSet.count(name.c_str()) != 0;
}
