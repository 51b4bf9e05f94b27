// The data-file commands: the comparison report a script grows call by call, and opening a file
// with its registered application without ever involving a shell.
#include "CommandFixture.h"

#include "platform/Files.h"
#include "platform/Process.h"
#include "script/commands/DataFileCommands.h"
#include "support/FakeClock.h"
#include "support/ScopedEnv.h"

#include <gmock/gmock.h>

#include <map>
#include <mutex>
#include <optional>

using ::testing::HasSubstr;
using vantelis::test::ReadFileBytes;
using vantelis::test::WriteFileBytes;

namespace {

class DataFileCommandsTest : public CommandFixture
{
  protected:
    DataFileCommandsTest()
        : CommandFixture(RegisterDataFileCommands, {cmd::OpenFileUsingDefaultApp, cmd::CompareTwoDataFiles})
    {
    }
};

TEST_F(DataFileCommandsTest, ComparisonReportGetsItsHeaderOnceAndARowPerCall)
{
    vantelis::test::FakeClockGuard clock;
    platform::SetFakeClock(vantelis::test::MakeTime(2024, 3, 7, 9, 5, 3, 42));
    const std::string oldVersion = theApp.m_version;
    theApp.m_version = "4.2.0.17";
    // Two data rows; column a differs by 0.5 in the first row, b by 3 in the second; c is not
    // compared.
    WriteFileBytes(m_dir.file("one.txt"), "title line\nb\ta\tc\n10\t1\t7\n20\t2\t8\n");
    WriteFileBytes(m_dir.file("two.txt"), "a\tc\tb\n1.5\t0\t10\n2\t0\t23\n");
    const std::string call = "CompareTwoDataFiles(\"" + m_dir.file("one.txt") + "\", \"" +
                             m_dir.file("two.txt") + "\", \"a\tb\", \"" + m_dir.file("report.txt") + "\");\n";
    EString error;
    ASSERT_TRUE(Run(call, error)) << error.c_str();
    const std::string row = "03/07/2024 09:05:03\t4.2.0.17\t2\t0.5\t3\n";
    EXPECT_EQ(ReadFileBytes(m_dir.file("report.txt")), "TimeStamp\tVersion\tnrows\ta\tb\n" + row);
    ASSERT_TRUE(Run(call, error)) << error.c_str();
    EXPECT_EQ(ReadFileBytes(m_dir.file("report.txt")), "TimeStamp\tVersion\tnrows\ta\tb\n" + row + row);
    theApp.m_version = oldVersion;

    struct Case
    {
        std::string names, report, message;
    } cases[] = {
        {"", m_dir.file("r2.txt"), "names parameter is invalid"},
        {"a\tb", m_dir.file("no/folder/r2.txt"),
         "Problem opening report file: " + m_dir.file("no/folder/r2.txt")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.message);
        EXPECT_FALSE(Run("CompareTwoDataFiles(\"" + m_dir.file("one.txt") + "\", \"" + m_dir.file("two.txt") +
                             "\", \"" + c.names + "\", \"" + c.report + "\");\n",
                         error));
        EXPECT_THAT(error.c_str(), HasSubstr(c.message));
        EXPECT_FALSE(std::filesystem::exists(c.report));
    }
    // A comparison that fails reports its own text and writes no row.
    EXPECT_FALSE(Run("CompareTwoDataFiles(\"" + m_dir.file("one.txt") + "\", \"" + m_dir.file("missing.txt") +
                         "\", \"a\", \"" + m_dir.file("report.txt") + "\");\n",
                     error));
    EXPECT_THAT(error.c_str(), HasSubstr("missing.txt"));
    EXPECT_EQ(ReadFileBytes(m_dir.file("report.txt")), "TimeStamp\tVersion\tnrows\ta\tb\n" + row + row);
}

// Answers the desktop's association query and records every program started.
class RecordingLauncher : public platform::ProcessLauncher
{
  public:
    bool Start(const std::string &program, const std::vector<std::string> &args, std::string *) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        started.push_back(program);
        started.insert(started.end(), args.begin(), args.end());
        return true;
    }
    bool Run(const std::string &program, const std::vector<std::string> &args, std::string *output,
             int *exitCode, std::string *) override
    {
        if (program != "xdg-mime" || args.size() != 3)
            return false;
        *output = args[2] == "text/plain" ? "viewer.desktop\n" : "";
        *exitCode = 0;
        return true;
    }
    std::mutex mutex;
    std::vector<std::string> started;
};

TEST_F(DataFileCommandsTest, OpenHandsThePathToTheApplicationAsOneArgument)
{
    for (const char *folder : {"xdg/data/mime", "xdg/data/applications", "xdg/none"})
        std::filesystem::create_directories(m_dir.path() / folder);
    WriteFileBytes(m_dir.file("xdg/data/mime/globs2"), "50:text/plain:*.txt\n50:application/x-other:*.oth\n");
    WriteFileBytes(m_dir.file("xdg/data/applications/viewer.desktop"),
                   "[Desktop Entry]\nType=Application\nName=Viewer\nExec=/opt/viewer --open %f\n");
    ScopedEnv dataHome{"XDG_DATA_HOME", m_dir.file("xdg/data").c_str()};
    ScopedEnv dataDirs{"XDG_DATA_DIRS", m_dir.file("xdg/none").c_str()};
    auto launcher = std::make_shared<RecordingLauncher>();
    auto previous = platform::SetLauncher(launcher);

    // A text with quotes cannot be written as a literal: it comes through a variable.
    const std::string path = m_dir.file("it's \"done\";rm -rf x.txt");
    VariableList variables(1);
    variables[0].type = kVariableString;
    variables[0].name.Assign("p");
    variables[0].text.Assign(path.c_str());
    Script instance;
    EString error;
    const CommandHandler &open = RegisteredCommandHandler(cmd::OpenFileUsingDefaultApp);
    ASSERT_TRUE(open(instance, "(p, \"\");", variables, false, error)) << error.c_str();
    EXPECT_EQ(launcher->started, (std::vector<std::string>{"/opt/viewer", "--open", path}));

    // The extension given wins over the path's own; an extension nobody handles fails once.
    launcher->started.clear();
    ASSERT_TRUE(open(instance, "(\"/data/result.xls\", \"txt\");", variables, false, error)) << error.c_str();
    EXPECT_EQ(launcher->started, (std::vector<std::string>{"/opt/viewer", "--open", "/data/result.xls"}));
    launcher->started.clear();
    EXPECT_FALSE(open(instance, "(\"/data/result.oth\", \"\");", variables, false, error));
    EXPECT_STREQ(error.c_str(), "Unable to open file: /data/result.oth");
    // Only the desktop's own opener was asked, once; no command line was run.
    EXPECT_EQ(launcher->started, (std::vector<std::string>{"xdg-open", "/data/result.oth"}));
    platform::SetLauncher(previous);
}

} // namespace
