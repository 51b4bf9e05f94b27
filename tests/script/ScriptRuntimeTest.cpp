// Run starts, the script thread, stops, the script log and the exit of the interpreter runtime.
#include "script/ScriptRuntime.h"

#include "Ostravo/CachedLog.h"
#include "Ostravo/TextFormat.h"
#include "RecordingCommand.h"
#include "ScriptFixture.h"
#include "devices/VideoSymbols.h"
#include "platform/Clock.h"
#include "platform/Sync.h"
#include "platform/Ui.h"
#include "script/Arguments.h"
#include "support/FakeUi.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using vantelis::test::ReadFileBytes;
using vantelis::test::WriteFileBytes;

// A command that blocks its script thread until the test opens the gate, recording each value.
class GateCommand
{
  public:
    explicit GateCommand(int id) : m_id(id)
    {
        RegisterCommandHandler(id, [this](Script &, const char *arguments, VariableList &variables,
                                          bool checkOnly, EString &error) {
            const char *cursor = arguments;
            int32_t value = 0;
            if (!ReadArgumentListStart(cursor, error) ||
                !GetIntParameter(1, cursor, value, error, &variables, nullptr))
                return false;
            if (checkOnly)
                return true;
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_calls.push_back(value);
            }
            m_entered.Set();
            m_open.Wait(platform::kInfinite);
            return true;
        });
    }
    ~GateCommand() { RegisterCommandHandler(m_id, nullptr); }
    // True once a call has reached the gate.
    bool WaitEntered() { return m_entered.Wait(20000); }
    void Open() { m_open.Set(); }
    std::vector<int32_t> Calls()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_calls;
    }

  private:
    int m_id;
    platform::Event m_entered{true, false};
    platform::Event m_open{true, false};
    std::mutex m_mutex;
    std::vector<int32_t> m_calls;
};

// Stands in for a window host: records what was opened and answers only when the test says so.
class HeldDialogHost : public ScriptDialogHost
{
  public:
    uint64_t OpenMessageBox(const std::string &text, const std::string &, uint32_t flags,
                            std::function<void(int)> answer) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_texts.push_back(text);
        m_flags = flags;
        m_answer = std::move(answer);
        m_opened.Set();
        return ++m_token;
    }
    void Dismiss(uint64_t token) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_dismissed.push_back(token);
    }
    bool WaitOpened() { return m_opened.Wait(20000); }
    void Answer(int id)
    {
        std::function<void(int)> answer;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            answer = m_answer;
        }
        answer(id);
    }
    std::vector<std::string> Texts()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_texts;
    }
    std::vector<uint64_t> Dismissed()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_dismissed;
    }

  private:
    std::mutex m_mutex;
    std::vector<std::string> m_texts;
    uint32_t m_flags = 0;
    std::function<void(int)> m_answer;
    uint64_t m_token = 0;
    std::vector<uint64_t> m_dismissed;
    platform::Event m_opened{true, false};
};

class ScriptRuntimeTest : public ScriptFixture
{
  protected:
    void SetUp() override
    {
        ScriptFixture::SetUp();
        m_oldAnalysis = theApp.m_analysis_mode;
        m_oldPort = theApp.m_pump_port;
        m_oldCustomerUi.Assign(theApp.m_customer_ui_directory.c_str());
        theApp.m_analysis_mode = true;
        theApp.m_pump_port = 0;
        theApp.m_customer_ui_directory.Assign(m_dir.file("CustomerUI").c_str());
        std::filesystem::create_directories(m_dir.path() / "Scripts");
        std::filesystem::create_directories(m_dir.path() / "LOG"); // start-up makes it
        std::filesystem::create_directories(m_dir.path() / "CustomerUI" / "Includes");
        std::filesystem::create_directories(m_dir.path() / "CustomerUI" / "Scripts");
        m_oldUi = platform::ui::SetUi(m_ui);
        platform::SetFakeClock({2024, 3, 7, 4, 9, 5, 3, 0});
    }
    void TearDown() override
    {
        EXPECT_TRUE(ShutdownScriptRuntime());
        SetScriptOwnerHooks(0, {});
        SetScriptOwnerHooks(1, {});
        SetVariableWatchHook(nullptr);
        SetScriptDialogHost(nullptr);
        platform::ClearFakeClock();
        platform::ui::SetUi(m_oldUi);
        theApp.m_analysis_mode = m_oldAnalysis;
        theApp.m_pump_port = m_oldPort;
        theApp.m_customer_ui_directory.Assign(m_oldCustomerUi.c_str());
        ScriptFixture::TearDown();
    }

    // Waits (bounded, so a fault fails instead of hanging) until the handle has no instance.
    static bool WaitUntilEnded(int handle)
    {
        for (int i = 0; i < 2000 && ScriptInstanceExists(handle); ++i)
            platform::SleepMs(10);
        return !ScriptInstanceExists(handle);
    }

    std::string LogPath() const { return m_dir.file("LOG/Script_2024_03_07.log"); }
    // The day's script log rows without the version and time columns.
    std::vector<std::string> ScriptLogRows()
    {
        EString error;
        EXPECT_TRUE(CachedLogging::Release(LogPath().c_str(), error)) << error.c_str();
        const std::string log = ReadFileBytes(LogPath());
        std::vector<std::string> rows;
        for (size_t pos = 0; pos < log.size();) {
            size_t end = log.find("\r\n", pos);
            if (end == std::string::npos)
                end = log.size();
            const std::string row = log.substr(pos, end - pos);
            const size_t second = row.find('\t', row.find('\t') + 1);
            rows.push_back(row.substr(second + 1));
            pos = end + 2;
        }
        return rows;
    }
    // The log folders that hold script copies.
    std::vector<std::string> CopyFolders() const
    {
        std::vector<std::string> names; // every folder in LOG is a copy folder
        std::error_code ec;
        for (const auto &entry : std::filesystem::directory_iterator(m_dir.path() / "LOG", ec))
            if (entry.is_directory())
                names.push_back(entry.path().filename().string());
        return names;
    }

    std::shared_ptr<vantelis::test::FakeUi> m_ui = std::make_shared<vantelis::test::FakeUi>();
    std::shared_ptr<platform::ui::UserInterface> m_oldUi;
    bool m_oldAnalysis = false;
    int32_t m_oldPort = 0;
    EString m_oldCustomerUi;
};

TEST_F(ScriptRuntimeTest, ARunLogsItsCallLinesTrimmedThenItsEndAndCopiesTheScript)
{
    RecordingCommand wait(cmd::Wait);
    std::vector<std::string> status;
    std::mutex statusMutex;
    std::atomic<int> ended{0};
    SetScriptOwnerHooks(0, {[] { return true; },
                            [&](const std::string &text) {
                                std::lock_guard<std::mutex> lock(statusMutex);
                                status.push_back(text);
                            },
                            [&] { ++ended; }});
    const std::string text =
        Lines({"int a = 1;", "if (a == 1)", "{", "\t  Wait(1); // indented", "}", "Wait(2);"});
    const std::string path = m_dir.file("Scripts/Prime.scr");
    WriteFileBytes(path, text);

    // A symbol left over the live image by the run goes at its end.
    VideoSymbol symbol;
    symbol.visible = true;
    EString error;
    ASSERT_TRUE(AddVideoSymbol(symbol, "Test", error)) << error.c_str();
    ASSERT_EQ(VisibleVideoSymbolsSnapshot().size(), 1u);

    ASSERT_TRUE(Script::RunScript(0, path.c_str(), error)) << error.c_str();
    ASSERT_TRUE(WaitUntilEnded(0));
    EXPECT_TRUE(VisibleVideoSymbolsSnapshot().empty());

    EXPECT_EQ(wait.calls, (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(ScriptLogRows(), (std::vector<std::string>{"Script\tline", "Prime.scr\tWait(1);",
                                                         "Prime.scr\tWait(2);", "Prime.scr\tonEndScript"}));
    EXPECT_EQ(CopyFolders(), std::vector<std::string>{"Script_2024_03_07_09_05_03"});
    EXPECT_EQ(ReadFileBytes(m_dir.file("LOG/Script_2024_03_07_09_05_03/Prime.scr")), text);
    // The owner saw each line trimmed before it ran, then the cleared text and one end call.
    std::lock_guard<std::mutex> lock(statusMutex);
    ASSERT_FALSE(status.empty());
    EXPECT_NE(std::find(status.begin(), status.end(), "Wait(1);"), status.end());
    EXPECT_EQ(status.back(), "");
    EXPECT_EQ(ended.load(), 1);
    EXPECT_TRUE(m_ui->Messages().empty());
}

TEST_F(ScriptRuntimeTest, RefusedStartsNameTheirCauseAndLeaveTheHandleFree)
{
    const std::string good = m_dir.file("Scripts/Good.scr");
    WriteFileBytes(good, "int a = 1;\n");
    const std::string faulty = m_dir.file("Scripts/Faulty.scr");
    WriteFileBytes(faulty, "int a = 1;\n// fine\nNoSuchCommand(a);\nint b = 2;\n");
    const std::string missing = m_dir.file("Scripts/Missing.scr");
    const std::string folder = m_dir.file("Scripts");
    const struct
    {
        int handle;
        std::string path;
        std::string expected;
    } cases[] = {
        {2, good, "Script::RunScript () : Invalid interpreter handle: 2 - must be 0 or 1."},
        {-1, good, "Script::RunScript () : Invalid interpreter handle: -1 - must be 0 or 1."},
        {0, missing, "Script::RunScript () : Can't open file: " + missing},
        // Opening a folder succeeds on this system; it is no script all the same.
        {0, folder, "Script::RunScript () : Can't open file: " + folder},
        {1, "", "Script::RunScript () : Can't open file: "},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        EString error;
        EXPECT_FALSE(Script::RunScript(c.handle, c.path.c_str(), error));
        EXPECT_EQ(std::string(error.c_str()), c.expected);
        EXPECT_TRUE(ScriptInstanceList().empty());
    }

    EString error;
    EXPECT_FALSE(Script::RunScript(0, faulty.c_str(), error));
    EXPECT_NE(std::string(error.c_str()).find(faulty + " invalid line 3"), std::string::npos)
        << error.c_str();
    EXPECT_FALSE(Script::IsScriptRunning(0));
    EXPECT_FALSE(std::filesystem::exists(LogPath()));

    // The handle is free again.
    ASSERT_TRUE(Script::RunScript(0, good.c_str(), error)) << error.c_str();
    EXPECT_TRUE(WaitUntilEnded(0));
}

TEST_F(ScriptRuntimeTest, ASecondStartOfABusyHandleIsRefusedAndTheOtherHandleStillRuns)
{
    GateCommand gate(cmd::Wait);
    RecordingCommand other(cmd::PlaySound);
    const std::string blocked = m_dir.file("Scripts/Blocked.scr");
    WriteFileBytes(blocked, "Wait(1);\nWait(2);\n");
    const std::string operatorScript = m_dir.file("CustomerUI/Scripts/Op.scr");
    WriteFileBytes(operatorScript, "PlaySound(7);\n");

    EString error;
    ASSERT_TRUE(Script::RunScript(0, blocked.c_str(), error)) << error.c_str();
    ASSERT_TRUE(gate.WaitEntered());
    EString name("untouched");
    EXPECT_TRUE(Script::IsScriptRunning(0, &name));
    EXPECT_STREQ(name.c_str(), "Blocked.scr");
    std::string path;
    EXPECT_TRUE(ScriptRuntimeServices().IsScriptRunning(0, path));
    EXPECT_EQ(path, blocked);

    EXPECT_FALSE(Script::RunScript(0, blocked.c_str(), error));
    EXPECT_STREQ(error.c_str(),
                 "CreateActiveScriptHandle(0) - Interpreter instance with handle: 0 already exists.");
    EXPECT_TRUE(Script::IsScriptRunning(0));
    // The services' entry (the control panel's) is the same run entry; a handle beyond int is
    // refused like any other wrong one.
    EString serviceError;
    EXPECT_FALSE(ScriptRuntimeServices().RunScript(0, blocked, serviceError));
    EXPECT_STREQ(serviceError.c_str(),
                 "CreateActiveScriptHandle(0) - Interpreter instance with handle: 0 already exists.");
    EXPECT_FALSE(ScriptRuntimeServices().RunScript(0x80000000u, blocked, serviceError));
    EXPECT_STREQ(serviceError.c_str(),
                 "Script::RunScript () : Invalid interpreter handle: -1 - must be 0 or 1.");

    ASSERT_TRUE(Script::RunScript(1, operatorScript.c_str(), error)) << error.c_str();
    ASSERT_TRUE(WaitUntilEnded(1));
    EXPECT_EQ(other.calls, std::vector<std::string>{"7"});

    gate.Open();
    ASSERT_TRUE(WaitUntilEnded(0));
    EXPECT_EQ(gate.Calls(), (std::vector<int32_t>{1, 2}));
}

TEST_F(ScriptRuntimeTest, AStopLetsTheCurrentLineFinishAndRunsNoFurtherLine)
{
    GateCommand gate(cmd::Wait);
    std::atomic<int> ended{0};
    SetScriptOwnerHooks(0, {[] { return true; }, [](const std::string &) {}, [&] { ++ended; }});
    const std::string path = m_dir.file("Scripts/Long.scr");
    WriteFileBytes(path, "Wait(1);\nWait(2);\nWait(3);\n");

    EString error;
    ASSERT_TRUE(Script::RunScript(0, path.c_str(), error)) << error.c_str();
    ASSERT_TRUE(gate.WaitEntered());
    EXPECT_TRUE(Script::StopScript(0));
    EXPECT_FALSE(Script::IsScriptRunning(0));
    gate.Open();
    ASSERT_TRUE(WaitUntilEnded(0));

    EXPECT_EQ(gate.Calls(), std::vector<int32_t>{1});
    EXPECT_TRUE(m_ui->Messages().empty());
    EXPECT_EQ(ScriptLogRows(),
              (std::vector<std::string>{"Script\tline", "Long.scr\tWait(1);", "Long.scr\tonEndScript"}));
    EXPECT_EQ(ended.load(), 1);

    // Without an instance: false, and the name is left alone.
    EXPECT_FALSE(Script::StopScript(0));
    EString name("kept");
    EXPECT_FALSE(Script::IsScriptRunning(0, &name));
    EXPECT_STREQ(name.c_str(), "kept");
    RemoveInterpreterInstance(0);
    EXPECT_TRUE(ScriptInstanceList().empty());
}

TEST_F(ScriptRuntimeTest, ACommentOnlyScriptStartsAndEndsWithoutLogOrCopy)
{
    std::atomic<int> ended{0};
    SetScriptOwnerHooks(0, {[] { return true; }, [](const std::string &) {}, [&] { ++ended; }});
    const std::string path = m_dir.file("Scripts/Notes.scr");
    WriteFileBytes(path, "// nothing to do\r\n\r\n   \t// still nothing\r\n");

    EString error;
    ASSERT_TRUE(Script::RunScript(0, path.c_str(), error)) << error.c_str();
    ASSERT_TRUE(WaitUntilEnded(0));
    EXPECT_EQ(ended.load(), 1);
    EXPECT_FALSE(std::filesystem::exists(LogPath()));
    EXPECT_TRUE(CopyFolders().empty());
    EXPECT_FALSE(Script::ScriptFileHasCode(path.c_str()));
}

TEST_F(ScriptRuntimeTest, ScriptFileHasCodeLooksPastCommentsOutsideQuotes)
{
    const struct
    {
        const char *text;
        bool code;
    } cases[] = {
        {"", false},
        {"// a\n\t \n   // b\r\n", false},
        {"  x = 1; // set\n", true},
        {"// a\n\"//\" inside quotes counts\n", true},
        {"\"//\"\n", true},
        {"\t\r\n", false},
    };
    int n = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        const std::string path = m_dir.file("HasCode" + std::to_string(n++) + ".scr");
        WriteFileBytes(path, c.text);
        EXPECT_EQ(Script::ScriptFileHasCode(path.c_str()), c.code);
    }
    EXPECT_FALSE(Script::ScriptFileHasCode(m_dir.file("absent.scr").c_str()));
    EXPECT_FALSE(Script::ScriptFileHasCode(m_dir.str().c_str()));
}

TEST_F(ScriptRuntimeTest, AFailingLineKeepsTheHandleBusyWhileItsBoxIsOpenThenEndsTheRun)
{
    RecordingCommand wait(cmd::Wait);
    wait.failOn = "2";
    auto host = std::make_shared<HeldDialogHost>();
    SetScriptDialogHost(host);
    std::atomic<int> ended{0};
    SetScriptOwnerHooks(0, {[] { return true; }, [](const std::string &) {}, [&] { ++ended; }});
    const std::string path = m_dir.file("Scripts/Fails.scr");
    WriteFileBytes(path, "Wait(1);\n  Wait(2);\nWait(3);\n");

    EString error;
    ASSERT_TRUE(Script::RunScript(0, path.c_str(), error)) << error.c_str();
    ASSERT_TRUE(host->WaitOpened());
    EXPECT_EQ(host->Texts(), std::vector<std::string>{"Wait(2); : recorded failure"});
    EXPECT_FALSE(Script::RunScript(0, path.c_str(), error));
    EXPECT_STREQ(error.c_str(),
                 "CreateActiveScriptHandle(0) - Interpreter instance with handle: 0 already exists.");
    EXPECT_EQ(ended.load(), 0);

    host->Answer(platform::ui::IdOk);
    ASSERT_TRUE(WaitUntilEnded(0));
    EXPECT_EQ(wait.calls, (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(ended.load(), 1);
    EXPECT_EQ(ScriptLogRows().back(), "Fails.scr\tonEndScript");
    const std::string errors = ReadFileBytes(m_dir.file("LOG/Err_2024_03_07.log"));
    EXPECT_NE(errors.find("Wait(2); : recorded failure"), std::string::npos);
}

TEST_F(ScriptRuntimeTest, AnExceptionInARunStillEndsItAndRestoresTheOwner)
{
    RecordingCommand wait(cmd::Wait);
    std::atomic<int> ended{0};
    SetScriptOwnerHooks(0, {[] { return true; }, [](const std::string &) {}, [&] { ++ended; }});
    SetVariableWatchHook([](int, const VariableList &) { throw std::runtime_error("watch failed"); });
    const std::string path = m_dir.file("Scripts/Throws.scr");
    WriteFileBytes(path, "Wait(1);\n");

    EString error;
    ASSERT_TRUE(Script::RunScript(0, path.c_str(), error)) << error.c_str();
    ASSERT_TRUE(WaitUntilEnded(0));
    EXPECT_TRUE(wait.calls.empty());
    EXPECT_EQ(ended.load(), 1);
    EXPECT_FALSE(Script::IsScriptRunning(0));
    const std::string errors = ReadFileBytes(m_dir.file("LOG/Err_2024_03_07.log"));
    EXPECT_NE(errors.find("Exception while running scipt."), std::string::npos);
}

TEST_F(ScriptRuntimeTest, AnOperatorScreenRunCopiesItsOwnFileIntoTheLog)
{
    RecordingCommand wait(cmd::Wait);
    const std::string own = "// operator screen\r\nWait(5);\r\n";
    const std::string path = m_dir.file("CustomerUI/Scripts/Screen.scr");
    WriteFileBytes(path, own);
    // A fluidic script of the same name must not be taken instead.
    WriteFileBytes(m_dir.file("Scripts/Screen.scr"), "Wait(9);\n");

    EString error;
    ASSERT_TRUE(Script::RunScript(1, path.c_str(), error)) << error.c_str();
    ASSERT_TRUE(WaitUntilEnded(1));
    EXPECT_EQ(wait.calls, std::vector<std::string>{"5"});
    EXPECT_EQ(ReadFileBytes(m_dir.file("LOG/Script_2024_03_07_09_05_03/Screen.scr")), own);
}

// Ten nested user-function levels, the innermost calling Wait.
std::string FunctionChain()
{
    std::string text;
    for (int level = 1; level <= 10; ++level) {
        text += FormatText("void Level%d(int v)\n{\n", level);
        text += level < 10 ? FormatText("  Level%d(v);\n", level + 1) : std::string("  Wait(v);\n");
        text += "}\n";
    }
    return text;
}

TEST_F(ScriptRuntimeTest, ADeepCallChainOnOneHandleDoesNotLimitTheOther)
{
    GateCommand gate(cmd::Wait);
    WriteInclude("chain.inc", FunctionChain());
    WriteFileBytes(m_dir.file("CustomerUI/Includes/chain.inc"), FunctionChain());
    const std::string fluidic = m_dir.file("Scripts/Deep.scr");
    WriteFileBytes(fluidic, "#include \"chain.inc\"\nLevel1(1);\n");
    const std::string screen = m_dir.file("CustomerUI/Scripts/Deep.scr");
    WriteFileBytes(screen, "#include \"chain.inc\"\nLevel1(2);\n");

    EString error;
    ASSERT_TRUE(Script::RunScript(0, fluidic.c_str(), error)) << error.c_str();
    ASSERT_TRUE(gate.WaitEntered()); // handle 0 sits ten levels deep
    gate.Open();                     // handle 1's call passes straight through
    ASSERT_TRUE(Script::RunScript(1, screen.c_str(), error)) << error.c_str();
    ASSERT_TRUE(WaitUntilEnded(1));
    ASSERT_TRUE(WaitUntilEnded(0));
    std::vector<int32_t> calls = gate.Calls();
    std::sort(calls.begin(), calls.end());
    EXPECT_EQ(calls, (std::vector<int32_t>{1, 2}));
    EXPECT_TRUE(m_ui->Messages().empty());
}

// The exit releases a script thread whatever it waits in.
TEST_F(ScriptRuntimeTest, TheExitStopsAndJoinsScriptsBlockedInWaitsPromptsAndFailureBoxes)
{
    // Wait as the program's command waits: in one-second steps, ended by the exit.
    RegisterCommandHandler(cmd::Wait, [](Script &, const char *arguments, VariableList &variables,
                                         bool checkOnly, EString &error) {
        const char *cursor = arguments;
        int32_t seconds = 0;
        if (!ReadArgumentListStart(cursor, error) ||
            !GetIntParameter(1, cursor, seconds, error, &variables, nullptr))
            return false;
        for (int32_t i = 0; !checkOnly && i < seconds; ++i)
            if (!ScriptWaitMs(1000))
                break;
        return true;
    });
    // A prompt whose window nobody answers.
    std::atomic<int> promptsDismissed{0};
    platform::Event promptOpen(true, false);
    RegisterCommandHandler(cmd::PromptInfo,
                           [&](Script &, const char *, VariableList &, bool checkOnly, EString &) {
                               if (checkOnly)
                                   return true;
                               AwaitScriptAnswer([&](std::function<void(int)>) { promptOpen.Set(); },
                                                 [&] { ++promptsDismissed; }, platform::ui::IdCancel);
                               return true;
                           });
    RecordingCommand fails(cmd::PlaySound);
    fails.failOn = "1";
    auto host = std::make_shared<HeldDialogHost>();
    SetScriptDialogHost(host);

    const std::string waits = m_dir.file("Scripts/Waits.scr");
    WriteFileBytes(waits, "Wait(36000);\nPlaySound(2);\n");
    const std::string prompts = m_dir.file("CustomerUI/Scripts/Prompt.scr");
    WriteFileBytes(prompts, "PromptInfo(\"hello\");\nPlaySound(3);\n");
    const std::string failing = m_dir.file("Scripts/Fails.scr");
    WriteFileBytes(failing, "PlaySound(1);\n");

    EString error;
    ASSERT_TRUE(Script::RunScript(0, waits.c_str(), error)) << error.c_str();
    ASSERT_TRUE(Script::RunScript(1, prompts.c_str(), error)) << error.c_str();
    ASSERT_TRUE(promptOpen.Wait(20000));
    EXPECT_TRUE(ShutdownScriptRuntime());
    EXPECT_TRUE(ScriptInstanceList().empty());
    EXPECT_EQ(promptsDismissed.load(), 1);
    EXPECT_TRUE(fails.calls.empty()); // neither script went on past its wait

    ASSERT_TRUE(Script::RunScript(0, failing.c_str(), error)) << error.c_str();
    ASSERT_TRUE(host->WaitOpened());
    EXPECT_TRUE(ShutdownScriptRuntime());
    EXPECT_TRUE(ScriptInstanceList().empty());
    EXPECT_EQ(host->Dismissed(), std::vector<uint64_t>{1});

    RegisterCommandHandler(cmd::Wait, nullptr);
    RegisterCommandHandler(cmd::PromptInfo, nullptr);
}

// A run start must not swap the header-line semaphore under the capture workflow that holds it.
TEST_F(ScriptRuntimeTest, ARunStartLeavesAHeldHeaderLineSemaphoreAlone)
{
    RecordingCommand wait(cmd::Wait);
    platform::BinarySemaphore *held = &CaptureLogHeaderSemaphore();
    ASSERT_TRUE(held->Wait(0));
    const std::string path = m_dir.file("Scripts/Header.scr");
    WriteFileBytes(path, "Wait(1);\n");
    for (int run = 0; run < 2; ++run) {
        EString error;
        ASSERT_TRUE(Script::RunScript(run, path.c_str(), error)) << error.c_str();
        ASSERT_TRUE(WaitUntilEnded(run));
    }
    EXPECT_EQ(&CaptureLogHeaderSemaphore(), held);
    EXPECT_FALSE(held->Wait(0)); // still taken by this holder
    held->Release();
    EXPECT_TRUE(held->Wait(0));
    held->Release();
}

TEST_F(ScriptRuntimeTest, WithoutAPumpPortThePumpCheckPasses)
{
    EString error;
    EXPECT_TRUE(CheckPumpsIdle(error));
    EXPECT_STREQ(error.c_str(), "");
}

} // namespace
