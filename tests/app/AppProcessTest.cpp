// The program as a process: the headless command line without a display, and a second start
// while a first instance runs.
#include "AppTestFixture.h"

#include "BuildVersion.h"
#include "support/SyntheticExperiment.h"

#include <gmock/gmock.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace vantelis::test {
namespace {

using ::testing::HasSubstr;

// The program binary: the build folder holds it, one level above the test binaries.
std::string ProgramPath()
{
    return std::filesystem::canonical("/proc/self/exe").parent_path().parent_path().string() + "/vantelis";
}

struct ChildResult
{
    int exitCode = -1;
    std::string output; // standard output and standard error
};

class Child
{
  public:
    // Starts the program with args; env entries ("NAME=value", or "NAME=" to remove a variable)
    // replace those of this process.
    Child(const std::vector<std::string> &args, const std::vector<std::string> &env)
    {
        std::vector<std::string> environment;
        for (char **e = environ; *e; ++e) {
            std::string entry = *e;
            bool replaced = false;
            for (const std::string &change : env)
                replaced = replaced ||
                           entry.substr(0, entry.find('=') + 1) == change.substr(0, change.find('=') + 1);
            if (!replaced)
                environment.push_back(entry);
        }
        for (const std::string &change : env)
            if (change.back() != '=')
                environment.push_back(change);

        std::vector<std::string> argvText{ProgramPath()};
        argvText.insert(argvText.end(), args.begin(), args.end());
        std::vector<char *> argv, envp;
        for (std::string &a : argvText)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        for (std::string &e : environment)
            envp.push_back(e.data());
        envp.push_back(nullptr);

        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
        if (posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        m_output = fds[0];
    }

    ~Child()
    {
        if (m_pid > 0 && !m_done) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_output >= 0)
            ::close(m_output);
    }

    bool Started() const { return m_pid > 0; }

    // Waits for the end of the process, reading its output; a process still running after the
    // limit is killed (a safety net against a hang, not a measure of speed).
    ChildResult Wait(std::chrono::seconds limit = std::chrono::seconds(60))
    {
        ChildResult result;
        auto deadline = std::chrono::steady_clock::now() + limit;
        for (;;) {
            pollfd p{m_output, POLLIN, 0};
            if (::poll(&p, 1, 100) > 0) {
                char buffer[4096];
                ssize_t got = ::read(m_output, buffer, sizeof buffer);
                if (got > 0) {
                    result.output.append(buffer, static_cast<size_t>(got));
                    continue;
                }
                if (got == 0)
                    break;
            }
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(m_pid, SIGKILL);
                break;
            }
        }
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_done = true;
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return result;
    }

    void Signal(int signal)
    {
        if (m_pid > 0 && !m_done)
            ::kill(m_pid, signal);
    }

    void Terminate()
    {
        if (m_pid > 0 && !m_done) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
            m_done = true;
        }
    }

  private:
    pid_t m_pid = -1;
    int m_output = -1;
    bool m_done = false;
};

class AppProcessTest : public AppStartupFixture
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(platform::FileExists(ProgramPath())) << "build the vantelis target first";
    }

    // A process without any display: a QApplication could not start there.
    std::vector<std::string> HeadlessEnvironment() const
    {
        return {"VANTELIS_DOCUMENTS=" + m_documents.str(), "XDG_RUNTIME_DIR=" + m_runtime.str(),
                "QT_QPA_PLATFORM=no-such-platform", "DISPLAY=", "WAYLAND_DISPLAY="};
    }
};

TEST_F(AppProcessTest, HeadlessRequestRunsWithoutDisplayAndReportsItsFailure)
{
    SeedDataFolder();
    std::filesystem::create_directories(m_documents.file("exp"));
    // A folder without a capture log, a mistyped folder and output names that would leave the
    // analysis folder: each says why and ends with status 1.
    struct Case
    {
        std::string folder;
        std::string message;
        std::string output = "out";
    };
    const std::string exp = m_documents.file("exp");
    const Case cases[] = {
        {exp, "RunExperimentAnalysis() - No capture log (*.log) in the experiment folder: " + exp},
        {m_documents.file("no-such-exp"), "Experiment folder not found: " + m_documents.file("no-such-exp")},
        {exp, "the output name \"../../escape\" must be a file name", "../../escape"},
        {exp, "the output name \"..\\..\\esc2\" must be a file name", "..\\..\\esc2"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.folder + " " + c.output);
        Child child({"-m", c.folder, "false", "false", c.output}, HeadlessEnvironment());
        ASSERT_TRUE(child.Started());
        ChildResult result = child.Wait();
        EXPECT_EQ(result.exitCode, 1) << result.output;
        EXPECT_THAT(result.output, HasSubstr(c.message));
        EXPECT_THAT(ErrorLogText(), HasSubstr(c.message));
    }
    // Nothing was made for the mistyped folder, and no analysis folder without a log.
    EXPECT_FALSE(std::filesystem::exists(m_documents.file("no-such-exp")));
    EXPECT_FALSE(std::filesystem::exists(m_documents.file("exp") + "/Montage"));
    EXPECT_FALSE(std::filesystem::exists(m_documents.file("escape.png")));
    EXPECT_FALSE(std::filesystem::exists(m_documents.str() + "/../escape.png"));
    // Start-up ran up to the command line: the settings file was made from the template.
    EXPECT_TRUE(platform::FileExists(DataFile("Plexorin.ini")));
}

TEST_F(AppProcessTest, HeadlessRequestsOnAGeneratedExperimentEndWithStatus0AndWriteTheirFiles)
{
    SeedDataFolder();
    SyntheticExperimentParams params;
    params.unpumped_frames = 10; // the video's still frames before the pumped ones
    params.flow_leftward = true;
    params.pump1_speed = params.pump2_speed = 24.0;
    params.noise = false;
    params.fluorescence = false;
    params.equal_exposures = true;
    const SyntheticExperimentTruth t = WriteSyntheticExperiment(m_documents.file("generated"), params);
    // The program reads the meniscus and split-line templates from its own data folder.
    std::filesystem::copy(t.data_folder + "/Templates", DataFile("Templates"),
                          std::filesystem::copy_options::recursive);
    struct Case
    {
        const char *option;
        std::vector<std::string> files;
    };
    const Case cases[] = {
        {"-m", {"Montage/run1.png", "Montage/run1.small.png"}},
        {"-f", {"Fractionation/run1.png", "Fractionation/run1.small.png", "Fractionation/run1.txt"}},
        {"-v", {"Video/run1.avi"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.option);
        Child child({c.option, t.folder, "false", "false", "run1"}, HeadlessEnvironment());
        ASSERT_TRUE(child.Started());
        ChildResult result = child.Wait(std::chrono::seconds(600));
        EXPECT_EQ(result.exitCode, 0) << result.output;
        for (const std::string &file : c.files)
            EXPECT_GT(platform::FileSize(t.folder + "/" + file), 0) << file;
    }
    // An output folder that cannot be made (a file holds its name): status 1 and the reason.
    std::filesystem::remove_all(t.folder + "/Montage");
    WriteFileBytes(t.folder + "/Montage", "in the way");
    Child blocked({"-m", t.folder, "false", "false", "run2"}, HeadlessEnvironment());
    ASSERT_TRUE(blocked.Started());
    ChildResult result = blocked.Wait(std::chrono::seconds(600));
    EXPECT_EQ(result.exitCode, 1) << result.output;
    EXPECT_THAT(result.output, HasSubstr("Unable to create analysis directory: " + t.folder + "/Montage"));
}

TEST_F(AppProcessTest, HeadlessRequestWithAnUnknownOptionFails)
{
    SeedDataFolder();
    Child child({"-V", m_documents.file("exp"), "false", "false", "out"}, HeadlessEnvironment());
    ASSERT_TRUE(child.Started());
    ChildResult result = child.Wait();
    EXPECT_EQ(result.exitCode, 1) << result.output;
    EXPECT_THAT(result.output, HasSubstr("unknown analysis option: -V"));
}

TEST_F(AppProcessTest, WithoutTemplateTheProcessShowsTheMessageAndExitsWithStatus1)
{
    std::filesystem::create_directories(Quorvane());
    Child child({"-m", m_documents.file("exp"), "false", "false", "out"}, HeadlessEnvironment());
    ASSERT_TRUE(child.Started());
    ChildResult result = child.Wait();
    EXPECT_EQ(result.exitCode, 1) << result.output;
    EXPECT_THAT(result.output,
                HasSubstr("Unable to create Plexorin.ini file.  Please contact Quorvane for support."));
    EXPECT_TRUE(platform::FolderExists(DataFile("Backup")));
}

TEST_F(AppProcessTest, SecondStartWhileTheFirstRunsEndsAndTouchesNothing)
{
    SeedDataFolder();
    std::vector<std::string> guiEnvironment = {
        "VANTELIS_DOCUMENTS=" + m_documents.str(), "XDG_RUNTIME_DIR=" + m_runtime.str(),
        "XDG_CONFIG_HOME=" + m_runtime.file("config"), "QT_QPA_PLATFORM=offscreen"};
    Child first({}, guiEnvironment);
    ASSERT_TRUE(first.Started());

    // The first instance has passed its start-up once its session log carries the column header
    // and the cartridge types have been loaded (which makes their folder when it is missing).
    auto sessionLogDone = [this] {
        if (!std::filesystem::is_directory(DataFile("Cartridge")))
            return false;
        for (const platform::DirEntry &entry : platform::ListFolder(DataFile("LOG"), "2*.log")) {
            std::string text = ReadFileBytes(DataFile("LOG/" + entry.name));
            if (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0 &&
                text.find("ImageFile\tDate\tTime") != std::string::npos)
                return true;
        }
        return false;
    };
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!sessionLogDone() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(sessionLogDone());

    // Everything but the first instance's own error log, which it may still be writing.
    auto snapshot = [this] {
        std::map<std::string, std::string> entries;
        for (const auto &entry : std::filesystem::recursive_directory_iterator(Data())) {
            std::string name = entry.path().filename().string();
            if (name.rfind("Err_", 0) == 0)
                continue;
            entries[entry.path().string()] =
                entry.is_regular_file() ? ReadFileBytes(entry.path().string()) : "<folder>";
        }
        return entries;
    };
    auto before = snapshot();

    Child second({"-m", m_documents.file("exp"), "false", "false", "out"}, HeadlessEnvironment());
    ASSERT_TRUE(second.Started());
    ChildResult result = second.Wait();
    first.Terminate();

    EXPECT_EQ(result.exitCode, 1) << result.output;
    EXPECT_THAT(result.output, HasSubstr("Another instance of Vantelis is already running."));
    EXPECT_EQ(snapshot(), before);
}

TEST_F(AppProcessTest, AFatalFaultLeavesACrashDumpBesideTheSettings)
{
    SeedDataFolder();
    Child program({}, {"VANTELIS_DOCUMENTS=" + m_documents.str(), "XDG_RUNTIME_DIR=" + m_runtime.str(),
                       "XDG_CONFIG_HOME=" + m_runtime.file("config"), "QT_QPA_PLATFORM=offscreen"});
    ASSERT_TRUE(program.Started());
    // Start-up has passed once the session log carries its column header.
    auto started = [this] {
        for (const platform::DirEntry &entry : platform::ListFolder(DataFile("LOG"), "2*.log"))
            if (ReadFileBytes(DataFile("LOG/" + entry.name)).find("ImageFile\tDate\tTime") !=
                std::string::npos)
                return true;
        return false;
    };
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!started() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(started());

    program.Signal(SIGSEGV);
    ChildResult result = program.Wait();
    EXPECT_EQ(result.exitCode, 128 + SIGSEGV) << result.output;
    const std::vector<platform::DirEntry> dumps = platform::ListFolder(DataFile("DMP"), "*.dmp");
    const std::vector<platform::DirEntry> infos = platform::ListFolder(DataFile("DMP"), "*.txt");
    ASSERT_EQ(dumps.size(), 1u) << result.output;
    ASSERT_EQ(infos.size(), 1u);
    const std::string info = ReadFileBytes(DataFile("DMP/" + infos[0].name));
    // The build's banner: product, four-part version, then the build date and time.
    const std::string version = std::to_string(VANTELIS_VERSION_MAJOR) + "." +
                                std::to_string(VANTELIS_VERSION_MINOR) + "." +
                                std::to_string(VANTELIS_VERSION_PATCH) + ".0";
    EXPECT_THAT(info, HasSubstr("Comment: Quorvane Vantelis " + version + " ("));
    EXPECT_THAT(info, HasSubstr("dmp_directory: " + DataFile("DMP")));
    EXPECT_THAT(ReadFileBytes(DataFile("DMP/" + dumps[0].name)), HasSubstr("(SIGSEGV)"));
}

} // namespace
} // namespace vantelis::test
