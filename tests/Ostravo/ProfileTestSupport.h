#pragma once
// Shared fixture pieces of the profile tests: a temporary folder with its own profile log, a
// deterministic rand.bin, and a guard that leaves the profile hooks as it found them.
#include "Ostravo/EString.h"
#include "Ostravo/Profile.h"
#include "Ostravo/ProfileEncryption.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

namespace vantelis::test {

// Bytes of a rand.bin: any content will do; a seed makes it repeatable.
inline std::string RandomBytes(size_t size, uint32_t seed)
{
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (char &c : bytes)
        c = static_cast<char>(generator() & 0xFF);
    return bytes;
}

// Loads a freshly written rand.bin of the given size and seed; fails the test when it is refused.
inline void LoadRandomBin(const TempDir &dir, uint32_t seed, size_t size = 64000,
                          const std::string &name = "rand.bin")
{
    const std::string path = dir.file(name);
    WriteFileBytes(path, RandomBytes(size, seed));
    EString message;
    ASSERT_TRUE(Ostravo::E_LoadRandomFile(path.c_str(), message)) << message.c_str();
}

class ProfileFixture : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        m_log = m_dir.file("EncryptedProfile.log");
        EString message;
        ASSERT_TRUE(Ostravo::E_SetErrorLog(m_log.c_str(), message)) << message.c_str();
        ProfileReadHook = nullptr;
        ProfileWriteHook = nullptr;
    }
    void TearDown() override
    {
        ProfileReadHook = nullptr;
        ProfileWriteHook = nullptr;
    }

    std::string Log() const { return ReadFileBytes(m_log); }
    // Number of log lines that end with text.
    int LogCount(const std::string &text) const
    {
        const std::string log = Log();
        const std::string needle = "\t" + text + "\r\n";
        int count = 0;
        for (size_t pos = log.find(needle); pos != std::string::npos; pos = log.find(needle, pos + 1))
            ++count;
        return count;
    }
    std::string Read(const std::string &file, const char *section, const char *item, const char *def = "",
                     uint32_t size = 256, bool *ok = nullptr)
    {
        std::string buffer(size, 'x');
        bool result =
            Ostravo::E_GetPrivateProfileString(section, item, def, buffer.data(), size, file.c_str());
        if (ok)
            *ok = result;
        return buffer.c_str();
    }

    TempDir m_dir;
    std::string m_log;
};

} // namespace vantelis::test
