#include "platform/Process.h"

#include "platform/ErrorText.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace platform {

namespace {

std::string ErrnoText(int err)
{
    char buffer[256];
    return strerror_r(err, buffer, sizeof buffer);
}

// argv for exec: the program, then the arguments, each passed as it is (no shell, no quoting).
std::vector<char *> MakeArgv(const std::string &program, const std::vector<std::string> &args)
{
    std::vector<char *> argv;
    argv.reserve(args.size() + 2);
    argv.push_back(const_cast<char *>(program.c_str()));
    for (const std::string &arg : args)
        argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);
    return argv;
}

bool WaitForChild(pid_t pid, int *status)
{
    for (;;) {
        if (::waitpid(pid, status, 0) == pid)
            return true;
        if (errno != EINTR)
            return false;
    }
}

class PosixLauncher : public ProcessLauncher
{
  public:
    bool Start(const std::string &program, const std::vector<std::string> &args, std::string *error) override
    {
        if (program.empty()) {
            SetError(error, "Start() : no program given");
            return false;
        }
        std::vector<char *> argv = MakeArgv(program, args);
        // The started program must outlive us and never become our zombie: an intermediate
        // child starts it and exits at once, so init adopts it. A close-on-exec pipe carries an
        // exec failure back; it closes without data when the exec worked.
        int pipeFds[2];
        if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
            SetError(error, "Start() : cannot start '" + program + "': " + ErrnoText(errno));
            return false;
        }
        pid_t child = ::fork();
        if (child < 0) {
            int err = errno;
            ::close(pipeFds[0]);
            ::close(pipeFds[1]);
            SetError(error, "Start() : cannot start '" + program + "': " + ErrnoText(err));
            return false;
        }
        if (child == 0) {
            // Only async-signal-safe calls from here on.
            ::close(pipeFds[0]);
            pid_t grandChild = ::fork();
            if (grandChild < 0) {
                int err = errno;
                (void)!::write(pipeFds[1], &err, sizeof err);
                ::_exit(1);
            }
            if (grandChild > 0)
                ::_exit(0);
            ::setsid(); // its own session: signals for our terminal do not reach it
            ::execvp(argv[0], argv.data());
            int err = errno;
            (void)!::write(pipeFds[1], &err, sizeof err);
            ::_exit(127);
        }
        ::close(pipeFds[1]);
        int status = 0;
        WaitForChild(child, &status);
        int childErr = 0;
        ssize_t got;
        do {
            got = ::read(pipeFds[0], &childErr, sizeof childErr);
        } while (got < 0 && errno == EINTR);
        ::close(pipeFds[0]);
        if (got == static_cast<ssize_t>(sizeof childErr)) {
            SetError(error, "Start() : cannot start '" + program + "': " + ErrnoText(childErr));
            return false;
        }
        return true;
    }

    bool Run(const std::string &program, const std::vector<std::string> &args, std::string *output,
             int *exitCode, std::string *error) override
    {
        if (program.empty()) {
            SetError(error, "Run() : no program given");
            return false;
        }
        std::vector<char *> argv = MakeArgv(program, args);
        int pipeFds[2] = {-1, -1};
        if (output && ::pipe2(pipeFds, O_CLOEXEC) != 0) {
            SetError(error, "Run() : cannot start '" + program + "': " + ErrnoText(errno));
            return false;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        // Standard input is empty; standard output goes to us, or nowhere when nobody reads it.
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        if (output)
            posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
        else
            posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        pid_t pid = 0;
        int rc = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (output)
            ::close(pipeFds[1]);
        if (rc != 0) {
            if (output)
                ::close(pipeFds[0]);
            SetError(error, "Run() : cannot start '" + program + "': " + ErrnoText(rc));
            return false;
        }
        if (output) {
            output->clear();
            char buffer[4096];
            for (;;) {
                ssize_t got = ::read(pipeFds[0], buffer, sizeof buffer);
                if (got < 0 && errno == EINTR)
                    continue;
                if (got <= 0)
                    break;
                output->append(buffer, static_cast<size_t>(got));
            }
            ::close(pipeFds[0]);
        }
        int status = 0;
        if (!WaitForChild(pid, &status)) {
            SetError(error, "Run() : lost '" + program + "': " + ErrnoText(errno));
            return false;
        }
        if (exitCode) {
            if (WIFEXITED(status))
                *exitCode = WEXITSTATUS(status);
            else if (WIFSIGNALED(status))
                *exitCode = 128 + WTERMSIG(status); // as a shell reports it
            else
                *exitCode = -1;
        }
        return true;
    }
};

std::mutex g_launcherMutex;

std::shared_ptr<ProcessLauncher> &Installed()
{
    static std::shared_ptr<ProcessLauncher> installed;
    return installed;
}

ProcessLauncher &RealLauncher()
{
    static PosixLauncher real;
    return real;
}

} // namespace

ProcessLauncher &Launcher()
{
    std::lock_guard<std::mutex> lock(g_launcherMutex);
    std::shared_ptr<ProcessLauncher> &installed = Installed();
    return installed ? *installed : RealLauncher();
}

std::shared_ptr<ProcessLauncher> SetLauncher(std::shared_ptr<ProcessLauncher> launcher)
{
    std::lock_guard<std::mutex> lock(g_launcherMutex);
    std::shared_ptr<ProcessLauncher> previous = std::move(Installed());
    Installed() = std::move(launcher);
    return previous;
}

} // namespace platform
