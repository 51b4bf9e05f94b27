#include "platform/SingleInstance.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

using namespace platform;

namespace {

// Whether a separate process can take the lock named name: a forked child tries and reports
// through its exit status.
bool ChildCanAcquire(const std::string &name)
{
    pid_t pid = ::fork();
    if (pid == 0) {
        SingleInstanceLock lock(name);
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
    const std::string name = UniqueName("instance");
    {
        SingleInstanceLock lock(name);
        EXPECT_FALSE(lock.Held());
        ASSERT_TRUE(lock.Acquire());
        EXPECT_TRUE(lock.Held());
        EXPECT_TRUE(lock.Acquire()) << "acquiring again keeps it";
        EXPECT_FALSE(ChildCanAcquire(name));
        EXPECT_TRUE(ChildCanAcquire(UniqueName("other"))) << "another name is another lock";

        SingleInstanceLock second(name);
        EXPECT_FALSE(second.Acquire()) << "a second holder in the same process is refused too";
        EXPECT_FALSE(second.Held());
    }
    EXPECT_TRUE(ChildCanAcquire(name)) << "released when the holder goes";
    SingleInstanceLock again(name);
    EXPECT_TRUE(again.Acquire());
    ::unlink(again.LockFilePath().c_str());
}

TEST(SingleInstanceLock, NameCannotLeaveTheLockFolder)
{
    SingleInstanceLock lock("../../etc/x y\\z");
    std::string path = lock.LockFilePath();
    size_t slash = path.find_last_of('/');
    ASSERT_NE(slash, std::string::npos);
    std::string file = path.substr(slash + 1);
    std::string folder = path.substr(0, slash);
    EXPECT_NE(file.find(".._.._etc_x_y_z.lock"), std::string::npos) << file;
    EXPECT_EQ(folder.find(".."), std::string::npos) << folder;
}
