// The operator-screen commands run by a script: the handle refusal, the frame's messages, the
// waits released by the operator event (an early event is kept) and the countdown commands.
#include "operator/CustomerUICommands.h"
#include "operator/CustomerUI.h"
#include "script/CommandTable.h"
#include "script/ScriptFixture.h"

#include <gmock/gmock.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

using namespace std::chrono_literals;
using ::testing::HasSubstr;

namespace {

class CustomerUICommandsTest : public ScriptFixture
{
  protected:
    // The shared screen as a fresh program has it, with no event pending from another test.
    static void ClearScreen()
    {
        theCustomerUI().Reset();
        theCustomerUI().ClearStateData();
        theCustomerUI().Edit([](CustomerUIData &d) {
            d.inputLabels.clear();
            d.inputValues.clear();
            d.inputWidths.clear();
            d.editTexts = {};
            d.checkMarks = {};
        });
        std::string ignored;
        theCustomerUI().WaitForEvent(0ms, ignored);
    }

    void SetUp() override
    {
        ScriptFixture::SetUp();
        RegisterCustomerUICommands();
        ClearScreen();
        theCustomerUI().SetClock([this] {
            return std::chrono::steady_clock::time_point{} + std::chrono::milliseconds(m_nowMs.load());
        });
    }
    void TearDown() override
    {
        theCustomerUI().SetClock([] { return std::chrono::steady_clock::now(); });
        ClearScreen();
        ScriptFixture::TearDown();
    }
    static const Variable &Var(const VariableList &variables, const char *name)
    {
        size_t index = 0;
        EXPECT_TRUE(FindVariable(variables, name, index)) << name;
        return variables[index];
    }

    // The screen's clock in milliseconds; read by the script thread, moved by the test.
    std::atomic<int64_t> m_nowMs{5000000};
};

TEST_F(CustomerUICommandsTest, OtherHandleIsRefusedAtLoadWithTheCommandsOwnName)
{
    const struct
    {
        const char *line;
        const char *name;
    } cases[] = {
        {"CustomerUI_Login(r);", "Script::CustomerUI_Login"},
        {"CustomerUI_PromptInfo(r);", "Script::CustomerUI_PromptInfo"},
        {"CustomerUI_SetTimer(5, 1);", "Script::CustomerUI_SetTimer"},
        {"CustomerUI_StopTimer();", "Script::CustomerUI_StopTimer"},
    };
    for (const auto &c : cases) {
        Script instance(SCRIPT_HANDLE_FLUIDIC_SYSTEM);
        const std::string path = WriteScript("h0.scr", Lines({"STRING r;", c.line}));
        EString error;
        EXPECT_FALSE(Load(instance, path, error)) << c.line;
        EXPECT_EQ(std::string(error.c_str()),
                  path + " at line 2 : " + c.name +
                      "() may only be called from the CustomerUI instance of the interpreter.")
            << c.line;
    }
}

TEST_F(CustomerUICommandsTest, FrameMessagesOnTheOperatorHandle)
{
    // The argument text as the dispatcher hands it over, behind the command name.
    const struct
    {
        int id;
        const char *arguments;
        const char *message;
    } cases[] = {
        {cmd::CustomerUI_Login, " r);", "Missing '('"},
        {cmd::CustomerUI_Login, " ( \t", "missing );"},
        {cmd::CustomerUI_StopTimer, "(1);", "missing )"},
        {cmd::CustomerUI_SetTimer, "(5, \"x\");", "2"},
    };
    Script instance(SCRIPT_HANDLE_CUSTOMER_UI);
    VariableList variables;
    for (const auto &c : cases) {
        EString error;
        EXPECT_FALSE(RegisteredCommandHandler(c.id)(instance, c.arguments, variables, true, error))
            << c.arguments;
        EXPECT_THAT(std::string(error.c_str()), HasSubstr(c.message)) << c.arguments;
    }
}

TEST_F(CustomerUICommandsTest, LiteralResultLoadsButFailsWhenRunWithoutShowingAScreen)
{
    Script instance(SCRIPT_HANDLE_CUSTOMER_UI);
    EString error;
    EXPECT_FALSE(LoadAndRun(instance, "CustomerUI_PromptForInput(\"x\");\n", error));
    EXPECT_THAT(
        std::string(error.c_str()),
        HasSubstr("CustomerUI_PromptForInput() - parameter 1 must be a variable to receive the result."));
    EXPECT_EQ(theCustomerUI().State(), UndefinedState);
}

TEST_F(CustomerUICommandsTest, EarlyNextIsKeptAndALaterEventReleasesTheNextWait)
{
    // The operator clicked Next while the script was still filling the screen.
    theCustomerUI().RaiseEvent("Next");
    Script instance(SCRIPT_HANDLE_CUSTOMER_UI);
    VariableList variables;
    EString error;
    auto run = std::async(std::launch::async, [&] {
        return LoadAndRun(instance,
                          Lines({"STRING first;", "STRING second;", "CustomerUI_PromptForInput(first);",
                                 "CustomerUI_SelectAction(second);"}),
                          error, &variables);
    });
    // The first wait returns at once; the second shows its screen and waits for the action.
    for (int i = 0; i < 500 && theCustomerUI().State() != SelectAction; ++i)
        std::this_thread::sleep_for(10ms);
    ASSERT_EQ(theCustomerUI().State(), SelectAction);
    EXPECT_EQ(run.wait_for(50ms), std::future_status::timeout) << "the second wait must hold";
    theCustomerUI().RaiseEvent("Analyse Experiment");
    ASSERT_TRUE(run.get()) << error.c_str();
    EXPECT_STREQ(Var(variables, "first").text.c_str(), "Next");
    EXPECT_STREQ(Var(variables, "second").text.c_str(), "Analyse Experiment");
}

TEST_F(CustomerUICommandsTest, CountdownStartsStopsContinuesAndReportsWholeSeconds)
{
    Script instance(SCRIPT_HANDLE_CUSTOMER_UI);
    VariableList variables;
    EString error;
    ASSERT_TRUE(
        LoadAndRun(instance,
                   Lines({"int rem = 7;", "int ela = 7;", "double drem = 3.5;", "double dela = 3.5;",
                          "CustomerUI_GetTimerInfo(rem, ela);", "CustomerUI_GetTimerInfo(drem, dela);",
                          "CustomerUI_SetTimer(10.0004, 1);"}),
                   error, &variables))
        << error.c_str();
    EXPECT_EQ(Var(variables, "rem").integer, 0) << "no countdown yet";
    EXPECT_EQ(Var(variables, "ela").integer, 0);
    EXPECT_DOUBLE_EQ(Var(variables, "drem").number, 3.5) << "double results are left alone";
    EXPECT_DOUBLE_EQ(Var(variables, "dela").number, 3.5);
    EXPECT_EQ(theCustomerUI().Timers().count(CUI_TIMER_COUNTDOWN), 1u);
    EXPECT_EQ(theCustomerUI().Snapshot().countdownDurationMs, 10000u);

    const auto info = [&](const char *extra) {
        VariableList vars;
        EString err;
        EXPECT_TRUE(LoadAndRun(
            instance, Lines({"int rem = 7;", "int ela = 7;", extra, "CustomerUI_GetTimerInfo(rem, ela);"}),
            err, &vars))
            << err.c_str();
        return std::make_pair(Var(vars, "rem").integer, Var(vars, "ela").integer);
    };
    m_nowMs += 3700;
    EXPECT_EQ(info(""), std::make_pair(6, 3));
    EXPECT_EQ(info("CustomerUI_StopTimer();"), std::make_pair(0, 0));
    EXPECT_EQ(theCustomerUI().Timers().count(CUI_TIMER_COUNTDOWN), 0u);
    // Time spent stopped counts: the countdown continues from its first start.
    m_nowMs += 2000;
    EXPECT_EQ(info("CustomerUI_ContinueTimer();"), std::make_pair(4, 5));
    EXPECT_EQ(theCustomerUI().Timers().at(CUI_TIMER_COUNTDOWN), 1000);
    m_nowMs += 5000;
    EXPECT_EQ(info(""), std::make_pair(0, 0)) << "run out";
}

TEST_F(CustomerUICommandsTest, OutOfRangeCountdownFailsAndLeavesTheRunningOneStopped)
{
    for (const char *seconds : {"-1", "86400.5"}) {
        theCustomerUI().StartCountdown(60000, true);
        Script instance(SCRIPT_HANDLE_CUSTOMER_UI);
        EString error;
        EXPECT_FALSE(LoadAndRun(instance, std::string("CustomerUI_SetTimer(") + seconds + ", 0);\n", error));
        const std::string shown = std::string(seconds) == "-1" ? "-1.00" : "86400.50";
        EXPECT_THAT(std::string(error.c_str()), HasSubstr("Invalid number of seconds: " + shown +
                                                          " : must be between 0 and 86400 (one day)."));
        EXPECT_EQ(theCustomerUI().Timers().count(CUI_TIMER_COUNTDOWN), 0u) << seconds;
    }
}

TEST_F(CustomerUICommandsTest, ExpiredCountdownReleasesAWaitWithTimerExpired)
{
    Script instance(SCRIPT_HANDLE_CUSTOMER_UI);
    VariableList variables;
    EString error;
    auto run = std::async(std::launch::async, [&] {
        return LoadAndRun(instance,
                          Lines({"STRING r;", "CustomerUI_SetTimer(0, 1);", "CustomerUI_PromptForInput(r);"}),
                          error, &variables);
    });
    for (int i = 0; i < 500 && theCustomerUI().State() != PromptForInput; ++i)
        std::this_thread::sleep_for(10ms);
    m_nowMs += 1000;
    theCustomerUI().OnTimer(CUI_TIMER_COUNTDOWN);
    ASSERT_TRUE(run.get()) << error.c_str();
    EXPECT_STREQ(Var(variables, "r").text.c_str(), "TimerExpired");
}

TEST_F(CustomerUICommandsTest, TextsAndInputsReachTheScreenAndReadBack)
{
    Script instance(SCRIPT_HANDLE_CUSTOMER_UI);
    VariableList variables;
    EString error;
    ASSERT_TRUE(LoadAndRun(
        instance,
        Lines({"STRING t = \"Run 4\";", "STRING typed = \"old\";", "int mark = 7;", "double dmark = 2.5;",
               "CustomerUI_SetTitle(t);", "CustomerUI_SetTextLine(3, \"third\");",
               "CustomerUI_SetTextLine(7, \"ignored\");", "CustomerUI_SetNextButtonText(\"Go\");",
               "CustomerUI_SetInput(2, \"Name\", \"abc\", 12);",
               "CustomerUI_SetInput(9, \"Nowhere\", \"x\", 12);",
               "CustomerUI_SetCheckboxInput(1, \"Green\", 1);",
               "CustomerUI_GetTextEditFieldContents(2, typed);", "CustomerUI_GetCheckBoxState(1, mark);",
               "CustomerUI_GetCheckBoxState(2, dmark);"}),
        error, &variables))
        << error.c_str();
    const CustomerUIData d = theCustomerUI().Snapshot();
    EXPECT_EQ(d.title, "Run 4");
    EXPECT_EQ(d.textLines, (std::vector<std::string>{"", "", "third"}));
    EXPECT_EQ(d.nextText, "Go");
    EXPECT_EQ(d.editTexts[1], "abc");
    ASSERT_GE(d.inputLabels.size(), 2u);
    EXPECT_EQ(d.inputLabels[0], "Green") << "script numbers are 1-based";
    EXPECT_EQ(d.inputLabels[1], "Name");
    EXPECT_STREQ(Var(variables, "typed").text.c_str(), "abc");
    EXPECT_EQ(Var(variables, "mark").integer, 1);
    EXPECT_DOUBLE_EQ(Var(variables, "dmark").number, 2.5) << "a double result is left alone";
}

TEST_F(CustomerUICommandsTest, ReadBackRefusesIndexesOutsideTheSixFields)
{
    const struct
    {
        const char *line;
        const char *message;
    } cases[] = {
        {"CustomerUI_GetTextEditFieldContents(0, s);", "Invalid edit field index -1"},
        {"CustomerUI_GetTextEditFieldContents(7, s);", "Invalid edit field index 6"},
        {"CustomerUI_GetCheckBoxState(7, i);", "Invalid checkbox index 7"},
    };
    for (const auto &c : cases) {
        Script instance(SCRIPT_HANDLE_CUSTOMER_UI);
        EString error;
        EXPECT_FALSE(LoadAndRun(instance, Lines({"STRING s;", "int i;", c.line}), error)) << c.line;
        EXPECT_THAT(std::string(error.c_str()), HasSubstr(c.message)) << c.line;
    }
    Script other(SCRIPT_HANDLE_FLUIDIC_SYSTEM);
    EString error;
    EXPECT_FALSE(LoadAndRun(other, Lines({"int i;", "CustomerUI_GetCheckBoxState(1, i);"}), error));
    EXPECT_THAT(
        std::string(error.c_str()),
        HasSubstr("Script::CustomerUI_GetCheckboxState() may only be called from the CustomerUI instance"));
}

} // namespace
