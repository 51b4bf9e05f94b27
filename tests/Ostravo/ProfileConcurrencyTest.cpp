// Profiles used from several threads at once: serialised writes, whole-file rewrites that never drop
// another thread's change, the write-lock time-out, and the read hook on every thread.
#include "Ostravo/ProfileStorage.h"
#include "ProfileTestSupport.h"
#include "platform/Sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace vantelis::test {
namespace {

class ProfileConcurrencyTest : public ProfileFixture
{
};

TEST_F(ProfileConcurrencyTest, EightThreadsWritingOneFileLoseNoKey)
{
    const std::string file = m_dir.file("shared.ini");
    WriteFileBytes(file, "[Fixed]\r\nkey=42\r\n");
    constexpr int kThreads = 8;
    constexpr int kKeys = 100;

    std::atomic<int> failedWrites{0};
    std::atomic<bool> writing{true};
    std::atomic<int> badReads{0};
    // A reader meanwhile: reads take no lock, so they must never meet a half-written file.
    std::thread reader([&] {
        char buffer[16];
        while (writing) {
            if (!Ostravo::E_GetPrivateProfileString("Fixed", "key", "missing", buffer, sizeof buffer,
                                                    file.c_str()) ||
                std::string(buffer) != "42")
                ++badReads;
        }
    });
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([&, t] {
            // Half of the threads share one section, so keys of one section interleave.
            const std::string section = t % 2 ? "Odd" : "Thread" + std::to_string(t);
            for (int k = 0; k < kKeys; ++k) {
                const std::string item = "t" + std::to_string(t) + "k" + std::to_string(k);
                const std::string value = std::to_string(t * 1000 + k);
                if (!Ostravo::E_WritePrivateProfileString(section.c_str(), item.c_str(), value.c_str(),
                                                          file.c_str()))
                    ++failedWrites;
            }
        });
    }
    for (std::thread &writer : writers)
        writer.join();
    writing = false;
    reader.join();

    EXPECT_EQ(failedWrites, 0);
    EXPECT_EQ(badReads, 0);
    int missing = 0;
    for (int t = 0; t < kThreads; ++t) {
        const std::string section = t % 2 ? "Odd" : "Thread" + std::to_string(t);
        for (int k = 0; k < kKeys; ++k) {
            const std::string item = "t" + std::to_string(t) + "k" + std::to_string(k);
            if (Read(file, section.c_str(), item.c_str(), "missing") != std::to_string(t * 1000 + k))
                ++missing;
        }
    }
    EXPECT_EQ(missing, 0);
    EXPECT_EQ(Read(file, "Fixed", "key"), "42");
}

TEST_F(ProfileConcurrencyTest, SectionRewritesDoNotDropConcurrentWrites)
{
    const std::string file = m_dir.file("mixed.ini");
    constexpr int kRounds = 60;
    std::thread writer([&] {
        for (int k = 0; k < kRounds; ++k) {
            const std::string item = "k" + std::to_string(k);
            Ostravo::E_WritePrivateProfileString("Keys", item.c_str(), "1", file.c_str());
        }
    });
    std::thread replacer([&] {
        for (int r = 0; r < kRounds; ++r) {
            std::vector<EString> lines{EString(("round=" + std::to_string(r)).c_str())};
            Ostravo::E_ReplaceSection("List", lines, file.c_str());
            Ostravo::E_RemoveRedundantSections(file.c_str());
        }
    });
    writer.join();
    replacer.join();
    for (int k = 0; k < kRounds; ++k)
        EXPECT_EQ(Read(file, "Keys", ("k" + std::to_string(k)).c_str(), "missing"), "1") << k;
    EXPECT_EQ(Read(file, "List", "round"), std::to_string(kRounds - 1));
}

TEST_F(ProfileConcurrencyTest, WriteLockTimeOutFailsTheWrite)
{
    const std::string file = m_dir.file("locked.ini");
    WriteFileBytes(file, "[S]\r\na=1\r\n");
    {
        // Another writer holds the lock, under another spelling of the same path.
        std::string other = file;
        for (char &c : other)
            if (c == '/')
                c = '\\';
        other.replace(other.size() - 10, 6, "LOCKED");
        Ostravo::ProfileWriteLock held(other.c_str(), 0, "test");
        ASSERT_TRUE(held.Held());
        EXPECT_FALSE(Ostravo::E_WritePrivateProfileString("S", "a", "2", file.c_str()));
        EXPECT_EQ(ReadFileBytes(file), "[S]\r\na=1\r\n");
        EXPECT_EQ(
            LogCount("Ostravo::E_WritePrivateProfileString () - timeout waiting for the write lock of " +
                     file + "."),
            1);
    }
    EXPECT_TRUE(Ostravo::E_WritePrivateProfileString("S", "a", "2", file.c_str()));
    EXPECT_EQ(ReadFileBytes(file), "[S]\r\na=2\r\n");
}

// A read hook that, for item "block", stays inside until the test lets it go.
platform::Event g_insideHook(true);
platform::Event g_leaveHook(true);
std::atomic<int> g_hookCalls{0};

bool BlockingHook(const char *, const char *item, const char *, char *buffer, uint32_t size, const char *)
{
    ++g_hookCalls;
    if (std::string(item) == "block") {
        g_insideHook.Set();
        g_leaveHook.Wait(platform::kInfinite);
    }
    std::snprintf(buffer, size, "hooked");
    return true;
}

TEST_F(ProfileConcurrencyTest, ReadHookRunsWhileAnotherThreadIsReading)
{
    const std::string file = m_dir.file("hook.ini");
    WriteFileBytes(file, "[S]\r\nother=file\r\n");
    g_insideHook.Reset();
    g_leaveHook.Reset();
    g_hookCalls = 0;
    ProfileReadHook = &BlockingHook;

    std::string blocked;
    std::thread reader([&] { blocked = Read(file, "S", "block"); });
    ASSERT_TRUE(g_insideHook.Wait(10000));
    // The other thread is in the middle of a read; this read still goes through the hook.
    EXPECT_EQ(Read(file, "S", "other"), "hooked");
    g_leaveHook.Set();
    reader.join();
    EXPECT_EQ(blocked, "hooked");
    EXPECT_EQ(g_hookCalls, 2);
}

} // namespace
} // namespace vantelis::test
