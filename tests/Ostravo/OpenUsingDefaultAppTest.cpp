#include "LogFixture.h"

#include "Ostravo/OpenUsingDefaultApp.h"
#include "platform/Process.h"
#include "platform/Sync.h"
#include "support/FakeUi.h"
#include "support/ScopedEnv.h"

#include <map>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <vector>

using namespace vantelis::test;

namespace {

// A launcher that answers "xdg-mime query default <type>" from a table and records what is started.
class FakeLauncher : public platform::ProcessLauncher
{
  public:
    struct Call
    {
        std::string program;
        std::vector<std::string> args;
    };
    bool Start(const std::string &program, const std::vector<std::string> &args, std::string *error) override
    {
        started.push_back({program, args});
        if (failDesktop && program == "xdg-open") {
            if (error)
                *error = "Start() : cannot start 'xdg-open': No such file or directory";
            return false;
        }
        if (failStart && program != "xdg-open") {
            if (error)
                *error = "Start() : cannot start '" + program + "': No such file or directory";
            return false;
        }
        return true;
    }
    bool Run(const std::string &program, const std::vector<std::string> &args, std::string *output,
             int *exitCode, std::string *) override
    {
        if (program != "xdg-mime" || args.size() != 3)
            return false;
        auto found = defaults.find(args[2]);
        if (output)
            *output = found == defaults.end() ? "" : found->second + "\n";
        if (exitCode)
            *exitCode = 0;
        return true;
    }
    std::map<std::string, std::string> defaults; // MIME type -> desktop entry
    std::vector<Call> started;
    bool failStart = false;
    bool failDesktop = false;
};

class OpenWithApp : public LogFolderTest
{
  protected:
    void SetUp() override
    {
        LogFolderTest::SetUp();
        for (const char *folder :
             {"xdg", "xdg/data", "xdg/data/mime", "xdg/data/applications", "xdg/config", "xdg/none"})
            ASSERT_TRUE(platform::MakeFolder(dir.file(folder)));
        WriteFileBytes(dir.file("xdg/data/mime/globs2"), "50:application/vnd.ms-excel:*.xls\n"
                                                         "50:text/plain:*.txt\n");
    }

    void Desktop(const std::string &name, const std::string &exec)
    {
        WriteFileBytes(dir.file("xdg/data/applications/" + name),
                       "[Desktop Entry]\nType=Application\nName=Test\n" +
                           (exec.empty() ? "" : "Exec=" + exec + "\n"));
    }
    std::string Errors() const
    {
        return platform::FileExists(Log("Err_2024_03_07.log")) ? ReadFileBytes(Log("Err_2024_03_07.log"))
                                                               : "";
    }

    // The test's own association database, and no desktop environment's.
    ScopedEnv dataHome{"XDG_DATA_HOME", dir.file("xdg/data")};
    ScopedEnv dataDirs{"XDG_DATA_DIRS", dir.file("xdg/none")};
    ScopedEnv configHome{"XDG_CONFIG_HOME", dir.file("xdg/config")};
    ScopedEnv configDirs{"XDG_CONFIG_DIRS", dir.file("xdg/none")};
    ScopedEnv desktop{"XDG_CURRENT_DESKTOP", std::nullopt};
    ScopedEnv session{"DESKTOP_SESSION", std::nullopt};
    ScopedEnv kde{"KDE_FULL_SESSION", std::nullopt};
    ScopedEnv gnome{"GNOME_DESKTOP_SESSION_ID", std::nullopt};
};

TEST_F(OpenWithApp, StartsTheRegisteredProgramWithThePathAsOneArgument)
{
    // The program records its arguments, one per line. xdg-mime only accepts a desktop entry whose
    // program is a plain path without blanks or quotes; the file's path has both.
    ASSERT_TRUE(platform::MakeFolder(dir.file("apps")));
    const std::string recorder = dir.file("apps/record-args.sh");
    WriteFileBytes(
        recorder,
        "#!/bin/sh\n"
        "out=\"$(dirname \"$0\")/args.txt\"\n"
        "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$out.tmp\" && mv \"$out.tmp\" \"$out\"\n");
    ASSERT_EQ(::chmod(recorder.c_str(), 0755), 0);
    Desktop("vantelis-recorder.desktop", recorder + " --sheet %f");
    WriteFileBytes(dir.file("xdg/config/mimeapps.list"),
                   "[Default Applications]\napplication/vnd.ms-excel=vantelis-recorder.desktop\n");

    ASSERT_TRUE(platform::MakeFolder(dir.file("My Results")));
    const std::string sheet = dir.file("My Results/count \"7\" it's done.tab");
    WriteFileBytes(sheet, "a\tb\r\n");
    const std::string args = dir.file("apps/args.txt");
    struct Case
    {
        std::string path;
        const char *extension;
    } cases[] = {
        {sheet, ".xls"},
        {dir.str() + "\\\\My Results/count \"7\" it's done.tab", "xls"}, // mixed and doubled separators
    };
    for (const Case &c : cases) {
        platform::DeleteFile(args);
        EXPECT_TRUE(OpenUsingDefaultApp(c.path.c_str(), c.extension)) << Errors();
        // The program runs on its own; give it time to write.
        for (int i = 0; i < 1000 && !platform::FileExists(args); ++i)
            platform::SleepMs(10);
        EXPECT_EQ(ReadFileBytes(args), "--sheet\n" + sheet + "\n") << c.path;
    }
    EXPECT_EQ(Errors(), "");
}

class OpenWithFakeLauncher : public OpenWithApp
{
  protected:
    void SetUp() override
    {
        OpenWithApp::SetUp();
        m_previous = platform::SetLauncher(launcher);
    }
    void TearDown() override
    {
        platform::SetLauncher(m_previous);
        OpenWithApp::TearDown();
    }

    std::shared_ptr<FakeLauncher> launcher = std::make_shared<FakeLauncher>();

  private:
    std::shared_ptr<platform::ProcessLauncher> m_previous;
};

TEST_F(OpenWithFakeLauncher, BuildsTheCommandFromTheDesktopEntry)
{
    const std::string path = "/data/My Results/\"quoted\" file.xls";
    struct Case
    {
        std::string exec;
        std::vector<std::string> command; // program, then arguments
    } cases[] = {
        {"editor %1", {"editor", path}},
        {"editor --x %1 --y", {"editor", "--x", path, "--y"}},
        {"editor", {"editor", path}},
        {"\"/opt/My App/app\" %U %i", {"/opt/My App/app", path}},
        {"calc 100%%1 %f", {"calc", "100%1", path}},
        {"editor %1 --backup %1", {"editor", path, "--backup", path}},
        {"editor \"%1\"", {"editor", path}},
        {"\"C:\\\\Program Files\\\\Calc\\\\calc.exe\" /e \"%1\" \"%1.bak\"",
         {"C:\\Program Files\\Calc\\calc.exe", "/e", path, path + ".bak"}},
    };
    launcher->defaults["application/vnd.ms-excel"] = "calc.desktop";
    for (const Case &c : cases) {
        Desktop("calc.desktop", c.exec);
        launcher->started.clear();
        EXPECT_TRUE(OpenUsingDefaultApp(path.c_str(), ".xls")) << c.exec;
        ASSERT_EQ(launcher->started.size(), 1u) << c.exec;
        std::vector<std::string> command = {launcher->started[0].program};
        command.insert(command.end(), launcher->started[0].args.begin(), launcher->started[0].args.end());
        EXPECT_EQ(command, c.command) << c.exec;
    }
}

TEST_F(OpenWithFakeLauncher, AnUnregisteredExtensionFallsBackToTheFilesOwnThenToTheDesktop)
{
    Desktop("editor.desktop", "editor %f");
    launcher->defaults["text/plain"] = "editor.desktop";
    const std::string log = "/data/LOG/Err_2024_03_07.txt";

    // .xls has no application: the file's own .txt is looked up instead, and nothing is logged.
    EXPECT_TRUE(OpenUsingDefaultApp(log.c_str(), ".xls"));
    ASSERT_EQ(launcher->started.size(), 1u);
    EXPECT_EQ(launcher->started[0].program, "editor");
    EXPECT_EQ(Errors(), "");

    // Neither has one: the lookup's text is logged and the desktop opens the file.
    launcher->defaults.clear();
    launcher->started.clear();
    EXPECT_FALSE(OpenUsingDefaultApp(log.c_str(), "xls"));
    ASSERT_EQ(launcher->started.size(), 1u);
    EXPECT_EQ(launcher->started[0].program, "xdg-open");
    EXPECT_EQ(launcher->started[0].args, std::vector<std::string>{log});
    EXPECT_NE(Errors().find("\tExtension: .txt is not registered.\r\n"), std::string::npos) << Errors();

    // Without a given extension the file's own is the only one tried.
    launcher->started.clear();
    EXPECT_FALSE(OpenUsingDefaultApp("/data/report", nullptr));
    ASSERT_EQ(launcher->started.size(), 1u);
    EXPECT_EQ(launcher->started[0].program, "xdg-open");
}

TEST_F(OpenWithFakeLauncher, AProgramThatCannotBeStartedFallsBackToTheDesktop)
{
    Desktop("calc.desktop", "no-such-calc %f");
    launcher->defaults["application/vnd.ms-excel"] = "calc.desktop";
    launcher->failStart = true;
    EXPECT_FALSE(OpenUsingDefaultApp("/data/r.xls", ".xls"));
    ASSERT_EQ(launcher->started.size(), 2u);
    EXPECT_EQ(launcher->started[1].program, "xdg-open");
    EXPECT_EQ(launcher->started[1].args, std::vector<std::string>{"/data/r.xls"});
    EXPECT_NE(Errors().find("no-such-calc"), std::string::npos) << Errors();
}

// Only when the desktop cannot start anything either is the user told, with the file's path; a
// registered program or the desktop that started says nothing.
TEST_F(OpenWithFakeLauncher, TheUserIsToldWhenNeitherTheProgramNorTheDesktopCouldStart)
{
    ScopedFakeUi ui;
    const std::string path = "/data/LOG/Session 7.xls";
    const struct
    {
        const char *name;
        bool registered;  // a desktop entry is registered for .xls
        bool failStart;   // its program cannot be started
        bool failDesktop; // xdg-open cannot be started
        bool told;
    } cases[] = {
        {"program started", true, false, true, false},
        {"desktop started after the program failed", true, true, false, false},
        {"desktop started without a registration", false, false, false, false},
        {"program and desktop failed", true, true, true, true},
        {"no registration and the desktop failed", false, false, true, true},
    };
    Desktop("calc.desktop", "calc %f");
    for (const auto &c : cases) {
        launcher->defaults.clear();
        if (c.registered)
            launcher->defaults["application/vnd.ms-excel"] = "calc.desktop";
        launcher->failStart = c.failStart;
        launcher->failDesktop = c.failDesktop;
        ui->Clear();
        EXPECT_EQ(OpenUsingDefaultApp(path.c_str(), ".xls"), c.registered && !c.failStart) << c.name;
        const std::vector<FakeUi::Message> messages = ui->Messages();
        if (!c.told) {
            EXPECT_TRUE(messages.empty()) << c.name;
            continue;
        }
        ASSERT_EQ(messages.size(), 1u) << c.name;
        EXPECT_EQ(messages[0].text,
                  "Unable to open file: " + path + "\nNo program could be started to open it.")
            << c.name;
        EXPECT_NE(messages[0].flags & platform::ui::MbIconError, 0u) << c.name;
        EXPECT_NE(Errors().find("cannot start 'xdg-open'"), std::string::npos) << c.name;
    }
}

TEST_F(OpenWithFakeLauncher, LookupTexts)
{
    struct Case
    {
        const char *entry; // desktop entry named by xdg-mime; null: none
        const char *exec;  // its Exec line; null: the file is not there
        const char *text;
    } cases[] = {
        {nullptr, nullptr, "Extension: .xls is not registered."},
        {"noexec.desktop", "", "Extension: .xls is registered.  But does not have action: open"},
        {"gone.desktop", nullptr,
         "Problem looking up information for extension: .xls Windows registry may be corrupt."},
    };
    for (const Case &c : cases) {
        launcher->defaults.clear();
        if (c.entry)
            launcher->defaults["application/vnd.ms-excel"] = c.entry;
        if (c.entry && c.exec)
            Desktop(c.entry, c.exec);
        EString command;
        EString error;
        EXPECT_FALSE(LookupShellCommand("xls", command, error));
        EXPECT_STREQ(error.c_str(), c.text);
    }
    Desktop("calc.desktop", "calc --view %U");
    launcher->defaults["application/vnd.ms-excel"] = "calc.desktop";
    EString command;
    EString error;
    EXPECT_TRUE(LookupShellCommand(".xls", command, error));
    EXPECT_STREQ(command.c_str(), "calc --view %U");
}

} // namespace
