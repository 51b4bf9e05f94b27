#include "platform/SingleInstance.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

using namespace platform;
using vantelis::test::TempDir;

namespace {

// Whether a separate process can take the lock named name for folder: a forked child tries and
// reports through its exit status. runtime, when given, is the child's XDG_RUNTIME_DIR ("" unsets it).
bool ChildCanAcquire(const std::string &name, const std::string &folder, const char *runtime = nullptr)
{
    pid_t pid = ::fork();
    if (pid == 0) {
        if (runtime && *runtime)
            ::setenv("XDG_RUNTIME_DIR", runtime, 1);
        else if (runtime)
            ::unsetenv("XDG_RUNTIME_DIR");
        SingleInstanceLock lock(name, folder);
        ::_exit(lock.Acquire() ? 0 : 1);
    }
    if (pid < 0)
        return false;
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string UniqueName(const char *what)
{
    return std::string("vantelis-test-") + what + "-" + std::to_string(::getpid());
}

} // namespace

TEST(SingleInstanceLock, HeldByOneProcessAndRefusedToAnother)
{
    TempDir data;
    const std::string name = UniqueName("instance");
    {
        SingleInstanceLock lock(name, data.str());
        EXPECT_FALSE(lock.Held());
        ASSERT_TRUE(lock.Acquire());
        EXPECT_TRUE(lock.Held());
        EXPECT_TRUE(lock.Acquire()) << "acquiring again keeps it";
        EXPECT_FALSE(ChildCanAcquire(name, data.str()));
        EXPECT_TRUE(ChildCanAcquire(UniqueName("other"), data.str())) << "another name is another lock";

        SingleInstanceLock second(name, data.str());
        EXPECT_FALSE(second.Acquire()) << "a second holder in the same process is refused too";
        EXPECT_FALSE(second.Held());
    }
    EXPECT_TRUE(ChildCanAcquire(name, data.str())) << "released when the holder goes";
    SingleInstanceLock again(name, data.str());
    EXPECT_TRUE(again.Acquire());
    ::unlink(again.LockFilePath().c_str());
}

TEST(SingleInstanceLock, OneLockPerDataFolderWhateverTheEnvironmentSays)
{
    TempDir data;
    TempDir otherData;
    TempDir runtime;
    const std::string name = UniqueName("folder");
    const std::string folder = data.file("Quorvane/Vantelis"); // not made yet, as at a first start
    std::filesystem::create_directories(data.file("Quorvane"));
    ASSERT_EQ(::symlink(data.file("Quorvane").c_str(), otherData.file("link").c_str()), 0);
    {
        ScopedEnv withRuntime("XDG_RUNTIME_DIR", runtime.str().c_str());
        SingleInstanceLock lock(name, folder);
        ASSERT_TRUE(lock.Acquire());
        const struct
        {
            const char *what;
            std::string folder;
            const char *runtime;
            bool acquired;
        } cases[] = {
            {"same folder, runtime folder unset", folder, "", false},
            {"same folder, another runtime folder", folder, "/tmp", false},
            {"same folder, other spelling", data.file("Quorvane\\Vantelis\\"), nullptr, false},
            {"same folder through a link", otherData.file("link/Vantelis"), nullptr, false},
            {"another data folder", otherData.file("Quorvane/Vantelis"), "", true},
        };
        for (const auto &c : cases)
            EXPECT_EQ(ChildCanAcquire(name, c.folder, c.runtime), c.acquired) << c.what;
        std::filesystem::create_directories(folder);
        EXPECT_FALSE(ChildCanAcquire(name, folder, "")) << "once the folder exists";
        ::unlink(lock.LockFilePath().c_str());
    }
    SingleInstanceLock other(name, otherData.file("Quorvane/Vantelis"));
    ::unlink(other.LockFilePath().c_str());
}

TEST(SingleInstanceLock, NameCannotLeaveTheLockFolder)
{
    SingleInstanceLock lock("../../etc/x y\\z", "/data");
    std::string path = lock.LockFilePath();
    size_t slash = path.find_last_of('/');
    ASSERT_NE(slash, std::string::npos);
    std::string file = path.substr(slash + 1);
    std::string folder = path.substr(0, slash);
    EXPECT_NE(file.find(".._.._etc_x_y_z-"), std::string::npos) << file;
    EXPECT_EQ(folder, "/tmp");
}
