#include "platform/Process.h"
#include "platform/Files.h"
#include "platform/Sync.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

using namespace platform;
using vantelis::test::TempDir;
using vantelis::test::WriteFileBytes;

namespace {

// printf prints each argument between brackets, so the output shows exactly what arrived.
std::string Bracketed(const std::vector<std::string> &args)
{
    std::string text;
    for (const std::string &arg : args)
        text += "[" + arg + "]\n";
    return text;
}

const std::vector<std::string> kAwkwardArgs = {
    "plain",
    "with blanks  inside",
    "\"double quoted\"",
    "'single quoted'",
    "back\\slash\\",
    "$HOME and `id` and $(id)",
    "; echo injected | cat > /dev/null &",
    "*",
    "",
    "tab\there",
    "C:\\Program Files\\App\\app.exe \"%1\"",
};

// Records every start and answers Run from a script.
class RecordingLauncher : public ProcessLauncher
{
  public:
    struct Call
    {
        std::string program;
        std::vector<std::string> args;
    };
    std::vector<Call> started, run;
    std::string runOutput;
    int runExitCode = 0;

    bool Start(const std::string &program, const std::vector<std::string> &args, std::string *) override
    {
        started.push_back({program, args});
        return true;
    }
    bool Run(const std::string &program, const std::vector<std::string> &args, std::string *output,
             int *exitCode, std::string *) override
    {
        run.push_back({program, args});
        if (output)
            *output = runOutput;
        if (exitCode)
            *exitCode = runExitCode;
        return true;
    }
};

class ScopedLauncher
{
  public:
    ScopedLauncher() : launcher(std::make_shared<RecordingLauncher>()), m_previous(SetLauncher(launcher)) {}
    ~ScopedLauncher() { SetLauncher(m_previous); }
    std::shared_ptr<RecordingLauncher> launcher;

  private:
    std::shared_ptr<ProcessLauncher> m_previous;
};

} // namespace

TEST(Process, RunPassesEveryArgumentUnchangedWithoutAShell)
{
    std::vector<std::string> args = {"[%s]\\n"};
    args.insert(args.end(), kAwkwardArgs.begin(), kAwkwardArgs.end());
    std::string output, error;
    int exitCode = -1;
    ASSERT_TRUE(Launcher().Run("printf", args, &output, &exitCode, &error)) << error;
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(output, Bracketed(kAwkwardArgs));
}

TEST(Process, RunReportsExitCodesAndProgramsThatCannotStart)
{
    int exitCode = -1;
    std::string error;
    ASSERT_TRUE(Launcher().Run("/bin/true", {}, nullptr, &exitCode, &error)) << error;
    EXPECT_EQ(exitCode, 0);
    ASSERT_TRUE(Launcher().Run("false", {}, nullptr, &exitCode, &error)) << error;
    EXPECT_EQ(exitCode, 1);

    error.clear();
    EXPECT_FALSE(Launcher().Run("no-such-program-vantelis", {"x"}, nullptr, &exitCode, &error));
    EXPECT_NE(error.find("no-such-program-vantelis"), std::string::npos) << error;
    EXPECT_FALSE(Launcher().Run("", {}, nullptr, nullptr, &error));
}

TEST(Process, StartRunsTheProgramWithItsArgumentsWithoutWaiting)
{
    TempDir dir;
    // touch creates every file named; names with blanks and quotes must arrive whole.
    std::vector<std::string> files = {dir.file("result file.xls"), dir.file("it's \"quoted\".txt")};
    std::string error;
    ASSERT_TRUE(Launcher().Start("touch", files, &error)) << error;
    // Start does not wait: poll until the files appear (a generous bound, not a timing check).
    for (int i = 0; i < 1000 && !(FileExists(files[0]) && FileExists(files[1])); ++i)
        SleepMs(10);
    EXPECT_TRUE(FileExists(files[0]));
    EXPECT_TRUE(FileExists(files[1]));
    EXPECT_EQ(ListFolder(dir.str()).size(), 2u) << "no file was split at a blank";

    error.clear();
    EXPECT_FALSE(Launcher().Start(dir.file("missing-program"), {}, &error));
    EXPECT_NE(error.find("missing-program"), std::string::npos) << error;
    EXPECT_FALSE(Launcher().Start("", {}, &error));
}

TEST(Process, TestsCanReplaceTheLauncher)
{
    ProcessLauncher *real = &Launcher();
    {
        ScopedLauncher scoped;
        EXPECT_EQ(&Launcher(), scoped.launcher.get());
        EXPECT_TRUE(Launcher().Start("editor", {"a b.txt"}, nullptr));
        ASSERT_EQ(scoped.launcher->started.size(), 1u);
        EXPECT_EQ(scoped.launcher->started[0].args, std::vector<std::string>{"a b.txt"});
    }
    EXPECT_EQ(&Launcher(), real);
}

TEST(DesktopCommand, ExpandsFieldCodesAndQuoting)
{
    const std::string file = "/data/My Results/count \"1\".xls";
    struct Case
    {
        const char *exec;
        std::vector<std::string> command; // program, then arguments
    } cases[] = {
        {"libreoffice --calc %U", {"libreoffice", "--calc", file}},
        {"gedit %F", {"gedit", file}},
        {"mousepad", {"mousepad", file}},
        {"app --name=%c --icon %i %k %f", {"app", "--name=", "--icon", file}},
        {"\"/opt/My App/bin/app\" --open %f", {"/opt/My App/bin/app", "--open", file}},
        {"app \"%f\"", {"app", file}},
        {"app \"--in=%f\" --out \"%f.bak\"", {"app", "--in=" + file, "--out", file + ".bak"}},
        {"app %f %u", {"app", file, file}},
        {"app \"\" %f", {"app", "", file}},
        {"app \"a\\\\\\\\b\" %f", {"app", "a\\b", file}}, // \\\\ in the file: one backslash
        {"app \"a \\\"b\\\" \\$c \\\\d\"", {"app", "a \"b\" $c \\d", file}},
        {"app 100%% %f", {"app", "100%", file}},
        {"app\\sname  %f", {"app", "name", file}}, // \s is a blank, and blanks separate
        {"\"my\\sapp\" %f", {"my app", file}},
        {"app --file=%f", {"app", "--file=" + file}},
    };
    for (const Case &c : cases) {
        std::string program;
        std::vector<std::string> args;
        ASSERT_TRUE(ExpandDesktopCommand(c.exec, file, program, args)) << c.exec;
        std::vector<std::string> command = {program};
        command.insert(command.end(), args.begin(), args.end());
        EXPECT_EQ(command, c.command) << c.exec;
    }
    std::string program;
    std::vector<std::string> args;
    EXPECT_FALSE(ExpandDesktopCommand("", file, program, args));
    EXPECT_FALSE(ExpandDesktopCommand("   %i ", file, program, args));
}

TEST(DesktopCommand, LooksUpTheRegisteredApplicationOfAnExtension)
{
    TempDir dir;
    ASSERT_TRUE(MakeFolder(dir.file("mime")) && MakeFolder(dir.file("applications")) &&
                MakeFolder(dir.file("empty")));
    WriteFileBytes(dir.file("mime/globs2"), "# comment\n"
                                            "50:text/plain:*.txt\n"
                                            "50:application/vnd.ms-excel:*.xls\n"
                                            "60:application/x-lab-report:*.xls\n"
                                            "50:text/x-lab-only-upper:*.LAB:cs\n"
                                            "50:application/x-noexec:*.nox\n");
    WriteFileBytes(dir.file("applications/calc.desktop"),
                   "[Desktop Action New]\nExec=calc --new\n"
                   "[Desktop Entry]\nName=Calc\nExec=calc --view %U\n");
    WriteFileBytes(dir.file("applications/noexec.desktop"), "[Desktop Entry]\nName=Nothing\n");
    ScopedEnv dataHome("XDG_DATA_HOME", dir.str());
    ScopedEnv dataDirs("XDG_DATA_DIRS", dir.file("empty"));
    ScopedLauncher scoped;
    RecordingLauncher &launcher = *scoped.launcher;

    std::string command, error;
    launcher.runOutput = "calc.desktop\n";
    EXPECT_EQ(LookupRegisteredCommand("XLS", command, &error), CommandLookup::Found) << error;
    EXPECT_EQ(command, "calc --view %U");
    ASSERT_EQ(launcher.run.size(), 1u);
    EXPECT_EQ(launcher.run[0].program, "xdg-mime");
    EXPECT_EQ(launcher.run[0].args,
              (std::vector<std::string>{"query", "default", "application/x-lab-report"}))
        << "the heaviest glob wins, matched ignoring case";

    EXPECT_EQ(LookupRegisteredCommand(".bmp-unknown", command, &error), CommandLookup::NotRegistered);
    EXPECT_EQ(LookupRegisteredCommand(".lab", command, &error), CommandLookup::NotRegistered)
        << "a case-sensitive glob";
    launcher.runOutput = "";
    EXPECT_EQ(LookupRegisteredCommand(".txt", command, &error), CommandLookup::NotRegistered);
    launcher.runOutput = "noexec.desktop\n";
    EXPECT_EQ(LookupRegisteredCommand("nox", command, &error), CommandLookup::NoOpenAction);
    launcher.runOutput = "gone.desktop\n";
    EXPECT_EQ(LookupRegisteredCommand("txt", command, &error), CommandLookup::Problem);
    EXPECT_NE(error.find("gone.desktop"), std::string::npos) << error;

    EXPECT_TRUE(OpenWithDesktop("C:\\data\\report.xls", &error));
    ASSERT_EQ(launcher.started.size(), 1u);
    EXPECT_EQ(launcher.started[0].program, "xdg-open");
    EXPECT_EQ(launcher.started[0].args, std::vector<std::string>{"C:/data/report.xls"});
}
