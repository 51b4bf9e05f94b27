// Profiles used from several threads and processes at once: serialised writes, whole-file rewrites
// that never drop another writer's change, the write-lock time-outs, writers killed halfway, and
// the read hook on every thread.
#include "Ostravo/ProfileStorage.h"
#include "ProfileTestSupport.h"
#include "platform/Files.h"
#include "platform/Sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
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

// Starts a child process that runs work and ends with its result as exit status; the child never
// returns into the test.
pid_t StartChild(const std::function<int()> &work)
{
    pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(work());
    return pid;
}

int ExitStatus(pid_t pid)
{
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST_F(ProfileConcurrencyTest, FourProcessesWritingOneFileLoseNoKey)
{
    const std::string file = m_dir.file("processes.ini");
    WriteFileBytes(file, "[Fixed]\r\nkey=42\r\n");
    constexpr int kProcesses = 4;
    constexpr int kKeys = 100;
    // The children wait for one byte each, so that they all start writing at once.
    int go[2];
    ASSERT_EQ(::pipe(go), 0);
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        children.push_back(StartChild([&, p] {
            char byte = 0;
            if (::read(go[0], &byte, 1) != 1)
                return 100;
            int failed = 0;
            for (int k = 0; k < kKeys; ++k) {
                // Two processes share a section, so their keys interleave in one section.
                const std::string section = p < 2 ? "Shared" : "P" + std::to_string(p);
                const std::string item = "p" + std::to_string(p) + "k" + std::to_string(k);
                if (!Ostravo::E_WritePrivateProfileString(section.c_str(), item.c_str(),
                                                          std::to_string(p * 1000 + k).c_str(), file.c_str()))
                    ++failed;
            }
            return failed;
        }));
    }
    ASSERT_EQ(::write(go[1], "GGGG", kProcesses), kProcesses);
    ::close(go[0]);
    ::close(go[1]);
    for (pid_t child : children)
        EXPECT_EQ(ExitStatus(child), 0) << "writes that failed in one child";

    int missing = 0;
    for (int p = 0; p < kProcesses; ++p) {
        const std::string section = p < 2 ? "Shared" : "P" + std::to_string(p);
        for (int k = 0; k < kKeys; ++k) {
            const std::string item = "p" + std::to_string(p) + "k" + std::to_string(k);
            if (Read(file, section.c_str(), item.c_str(), "missing") != std::to_string(p * 1000 + k))
                ++missing;
        }
    }
    EXPECT_EQ(missing, 0);
    EXPECT_EQ(Read(file, "Fixed", "key"), "42");
}

TEST_F(ProfileConcurrencyTest, FileLockHeldByAnotherProcessTimesOut)
{
    const std::string file = m_dir.file("held.ini");
    int ready[2];
    int release[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(release), 0);
    pid_t child = StartChild([&] {
        platform::FileLock lock;
        if (lock.Acquire(file, 1000) != platform::FileLock::Result::Held)
            return 1;
        char byte = 0;
        if (::write(ready[1], "r", 1) != 1 || ::read(release[0], &byte, 1) != 1)
            return 2;
        return 0;
    });
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    {
        platform::FileLock lock;
        EXPECT_EQ(lock.Acquire(file, 50), platform::FileLock::Result::TimedOut);
        EXPECT_FALSE(lock.Held());
    }
    ASSERT_EQ(::write(release[1], "g", 1), 1);
    EXPECT_EQ(ExitStatus(child), 0);
    platform::FileLock lock;
    EXPECT_EQ(lock.Acquire(file, 1000), platform::FileLock::Result::Held) << "free once its holder is gone";
    for (int fd : {ready[0], ready[1], release[0], release[1]})
        ::close(fd);
}

// The temporaries beside file, which writers leave only while they work.
std::vector<std::string> Temporaries(const std::string &folder, const std::string &name)
{
    std::vector<std::string> found;
    for (const platform::DirEntry &entry : platform::ListFolder(folder, "." + name + ".tmp*"))
        found.push_back(entry.name);
    return found;
}

// A folder in memory when the system has one (/dev/shm): there a write does not wait for the disk,
// so a few hundred writers can be killed in a few seconds. Otherwise a folder in the test folder.
class FastFolder
{
  public:
    explicit FastFolder(const std::string &fallback)
    {
        char name[] = "/dev/shm/vantelis_test_XXXXXX";
        if (platform::FolderExists("/dev/shm") && ::mkdtemp(name) != nullptr) {
            m_path = name;
            m_owned = true;
        } else {
            m_path = fallback;
        }
    }
    ~FastFolder()
    {
        if (m_owned)
            std::filesystem::remove_all(m_path);
    }
    const std::string &str() const { return m_path; }
    std::string file(const std::string &name) const { return m_path + "/" + name; }

  private:
    std::string m_path;
    bool m_owned = false;
};

TEST_F(ProfileConcurrencyTest, AWriterKilledAtAnyPointLeavesTheOldOrTheNewFile)
{
    // A file big enough that writing it takes a while, with one counter that the child raises
    // again and again; every state the file may be in is this text with some counter.
    const FastFolder folder(m_dir.str());
    const std::string file = folder.file("killed.ini");
    std::string head = "[Fixed]\r\nkey=42\r\n[Padding]\r\n";
    for (int i = 0; i < 400; ++i)
        head += "line" + std::to_string(i) + "=" + std::string(40, static_cast<char>('a' + i % 26)) + "\r\n";
    head += "[Loop]\r\ncounter=";
    WriteFileBytes(file, head + "0\r\n");

    std::mt19937 random(15);
    constexpr int kKills = 100;
    // A forked writer takes far longer over its first write (it copies the memory it touches)
    // than over the next ones: the kills fall anywhere from its start to a few writes later.
    constexpr int kMaxDelayUs = 30000;
    long last = 0;
    int killedWhileWriting = 0;
    for (int round = 0; round < kKills; ++round) {
        SCOPED_TRACE(round);
        pid_t child = StartChild([&] {
            for (long n = last + 1;; ++n)
                Ostravo::E_WritePrivateProfileString("Loop", "counter", std::to_string(n).c_str(),
                                                     file.c_str());
            return 0;
        });
        ASSERT_GT(child, 0);
        if (round == kKills - 1) {
            // The last kill waits for a stored write, so that some kills fall after one however
            // slow the machine (a sanitizer makes the first write of a forked child slow).
            const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
            while (ReadFileBytes(file) == head + std::to_string(last) + "\r\n" &&
                   std::chrono::steady_clock::now() < giveUp)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        } else {
            std::this_thread::sleep_for(
                std::chrono::microseconds(std::uniform_int_distribution<int>(0, kMaxDelayUs)(random)));
        }
        ::kill(child, SIGKILL);
        ASSERT_EQ(ExitStatus(child), 128 + SIGKILL);

        const std::string bytes = ReadFileBytes(file);
        ASSERT_EQ(bytes.compare(0, head.size(), head), 0) << "torn after " << bytes.size() << " bytes";
        ASSERT_GE(bytes.size(), head.size() + 3);
        ASSERT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
        const std::string counter = bytes.substr(head.size(), bytes.size() - head.size() - 2);
        ASSERT_EQ(counter.find_first_not_of("0123456789"), std::string::npos) << counter;
        const long n = std::stol(counter);
        ASSERT_GE(n, last) << "a stored value went back";
        last = n;
        if (!Temporaries(folder.str(), "killed.ini").empty())
            ++killedWhileWriting;

        // The next write clears what the killed writer left.
        ASSERT_TRUE(Ostravo::E_WritePrivateProfileString("Loop", "counter", counter.c_str(), file.c_str()));
        EXPECT_EQ(ReadFileBytes(file), bytes);
        ASSERT_TRUE(Temporaries(folder.str(), "killed.ini").empty());
    }
    // How often a kill met a temporary file depends on timing: the report tells it. Some writes must
    // have been stored, or the kills all came before the first one.
    RecordProperty("KilledWhileWriting", killedWhileWriting);
    EXPECT_GT(last, 0);
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
