// The prompt commands against a scripted operator: what each prompt is shown, what the answer
// does to the result variable, and the refusals at load and at run.
#include "script/commands/PromptCommands.h"
#include "ScriptFixture.h"
#include "script/CommandTable.h"
#include "script/ScriptWaitWindows.h"

#include <gmock/gmock.h>

#include <deque>
#include <mutex>
#include <string>
#include <vector>

using ::testing::HasSubstr;

namespace {

// Answers each prompt at once with the next queued answer and records what it was shown.
class ScriptedOperator : public ScriptPromptHost
{
  public:
    struct Answer
    {
        int result;
        std::string value; // "<default>" hands back the shown value untouched
    };
    uint64_t Open(const ScriptPrompt &prompt, std::function<void(int, std::string)> done) override
    {
        Answer answer{kPromptOk, "<default>"};
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            shown.push_back(prompt);
            if (!answers.empty()) {
                answer = answers.front();
                answers.pop_front();
            }
        }
        done(answer.result, answer.value == "<default>" ? prompt.value : answer.value);
        return shown.size();
    }
    void Dismiss(uint64_t) override {}

    std::mutex m_mutex;
    std::deque<Answer> answers;
    std::vector<ScriptPrompt> shown;
};

class RecordingWaitWindows : public ScriptWaitWindows
{
  public:
    void ShowCountdown(const std::string &, int32_t, int32_t) override {}
    bool CountdownVisible() override { return false; }
    void EndCountdown() override {}
    void InformOperator(const std::string &text, int32_t seconds) override
    {
        informed.emplace_back(text, seconds);
    }
    std::vector<std::pair<std::string, int32_t>> informed;
};

class PromptCommandsTest : public ScriptFixture
{
  protected:
    void SetUp() override
    {
        ScriptFixture::SetUp();
        RegisterPromptCommands();
        op = std::make_shared<ScriptedOperator>();
        SetScriptPromptHost(op);
    }
    void TearDown() override
    {
        SetScriptPromptHost(nullptr);
        SetScriptWaitWindows(nullptr);
        // Handlers are global: remove them so that other suites see none.
        for (int id : {cmd::PromptInfo, cmd::PromptContinueCancel, cmd::PromptForValue,
                       cmd::PromptForValueInt, cmd::PromptForString, cmd::PromptCustom, cmd::InformOperator})
            RegisterCommandHandler(id, nullptr);
        ScriptFixture::TearDown();
    }
    const Variable *Find(const VariableList &variables, const char *name)
    {
        for (const Variable &v : variables)
            if (std::string(v.name.c_str()) == name)
                return &v;
        return nullptr;
    }
    std::shared_ptr<ScriptedOperator> op;
};

TEST_F(PromptCommandsTest, AnswersReachTheResultVariable)
{
    struct Case
    {
        const char *script;
        ScriptedOperator::Answer answer;
        const char *variable;
        double expected; // int or double variable
    };
    const Case cases[] = {
        // The second of two buttons, then Esc.
        {"int c = 9;\nPromptCustom(\"Pick\", \"Left;Right\", c);", {2, ""}, "c", 2},
        {"int c = 9;\nPromptCustom(\"Pick\", \"Left;Right\", c);", {0, ""}, "c", 0},
        // OK on an untouched default that its two-decimal display would round below min.
        {"double v = 0.004;\nPromptForValue(\"Flow\", v, 0.001, 1);", {kPromptOk, "<default>"}, "v", 0.004},
        {"double v = 5;\nPromptForValue(\"Flow\", v, 1, 10);", {kPromptOk, "7.5ml"}, "v", 7.5},
        {"double v = 5;\nPromptForValue(\"Flow\", v, 1, 10);", {kPromptOk, " 10"}, "v", 10},
        {"int n = 5;\nPromptForValueInt(\"Count\", n, 1, 20);", {kPromptOk, "12.9"}, "n", 12},
        {"int n = 5;\nPromptForValueInt(\"Count\", n, -20, 20);", {kPromptOk, "-3abc"}, "n", -3},
        // A variable of the other numeric type passes and keeps its value.
        {"int n = 5;\nPromptForValue(\"Flow\", n, 1, 10);", {kPromptOk, "7"}, "n", 5},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.script);
        op->answers = {c.answer};
        Script instance;
        VariableList variables;
        EString error;
        ASSERT_TRUE(LoadAndRun(instance, std::string(c.script) + "\n", error, &variables)) << error.c_str();
        const Variable *v = Find(variables, c.variable);
        ASSERT_NE(v, nullptr);
        EXPECT_DOUBLE_EQ(v->type == kVariableInt ? v->integer : v->number, c.expected);
    }
}

TEST_F(PromptCommandsTest, RefusalsAndCancelsLeaveTheVariableAlone)
{
    struct Case
    {
        const char *script;
        ScriptedOperator::Answer answer;
        const char *message;
    };
    const Case cases[] = {
        {"double v = 5;\nPromptForValue(\"x\", v, 1, 10);",
         {kPromptOk, "abc"},
         "Entered value is not a valid floating point number: abc"},
        {"double v = 5;\nPromptForValue(\"x\", v, 1, 10);",
         {kPromptOk, "11"},
         "Entered value: 11.00 is greater than maximum value 10.00"},
        {"double v = 5;\nPromptForValue(\"x\", v, 1, 10);",
         {kPromptOk, "0.5"},
         "Entered value 0.50 is less than minimum value 1.00"},
        {"double v = 5;\nPromptForValue(\"x\", v, 1, 10);", {kPromptCancel, ""}, "Script Stopped"},
        {"int v = 5;\nPromptForValueInt(\"x\", v, 1, 10);",
         {kPromptOk, "ten"},
         "Entered value is not a valid integer number: ten"},
        {"int v = 5;\nPromptForValueInt(\"x\", v, 1, 10);",
         {kPromptOk, "99999999999"},
         "Entered value: 99999999999 is greater than maximum value 10"},
        {"STRING v = \"keep\";\nPromptForString(\"x\", v);", {kPromptCancel, "typed"}, "Script Stopped"},
        {"int v = 5;\nPromptContinueCancel(\"go?\");", {kPromptCancel, ""}, "Script Stopped"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.script);
        op->answers = {c.answer};
        Script instance;
        VariableList variables;
        EString error;
        EXPECT_FALSE(LoadAndRun(instance, std::string(c.script) + "\n", error, &variables));
        EXPECT_THAT(error.c_str(), HasSubstr(c.message));
        const Variable *v = Find(variables, "v");
        ASSERT_NE(v, nullptr);
        if (v->type == kVariableString)
            EXPECT_STREQ(v->text.c_str(), "keep");
        else
            EXPECT_DOUBLE_EQ(v->type == kVariableInt ? v->integer : v->number, 5);
    }
}

TEST_F(PromptCommandsTest, LoadRefusesWhatTheCheckCanSee)
{
    struct Case
    {
        const char *script;
        const char *message;
    };
    const Case cases[] = {
        {"PromptInfo(\"a\", \"b\");", "Missing ) after string parameter."},
        {"PromptContinueCancel(\"a\" , 1);", "Missing ) after string parameter."},
        {"double v;\nPromptForValue(\"x\", v, 1, 10);", "Default value 0.00 is less than min value 1.00"},
        {"PromptForValue(\"x\", 12, 1, 10);", "Default value 12.00 is greater than max value 10.00"},
        {"PromptForValueInt(\"x\", -5, 1, 10);", "Default value -5 is less than min value 1"},
        {"PromptCustom(\"x\", \"A;B\", 3);", "Third parameter must be an int variable."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.script);
        Script instance;
        EString error;
        EXPECT_FALSE(Load(instance, WriteScript("load.scr", std::string(c.script) + "\n"), error));
        EXPECT_THAT(error.c_str(), HasSubstr(c.message));
    }
    EXPECT_TRUE(op->shown.empty());
}

TEST_F(PromptCommandsTest, OnlyInfoAndInformOperatorTurnEscapePairsIntoBreaks)
{
    auto windows = std::make_shared<RecordingWaitWindows>();
    SetScriptWaitWindows(windows);
    Script instance;
    VariableList variables;
    EString error;
    ASSERT_TRUE(LoadAndRun(instance,
                           "PromptInfo(\"one\\ntwo\\tthree\");\nPromptContinueCancel(\"one\\ntwo\");\n"
                           "PromptForValue(\"a\\nb\", 1, 0, 2);\nInformOperator(\"x\\\\ny\\q\", 5);\n",
                           error, &variables))
        << error.c_str();
    ASSERT_EQ(op->shown.size(), 3u);
    EXPECT_EQ(op->shown[0].message, "one\ntwo\tthree");
    EXPECT_EQ(op->shown[1].message, "one\\ntwo");
    EXPECT_EQ(op->shown[2].message, "a\\nb");
    EXPECT_EQ(op->shown[2].value, "1.00");
    ASSERT_EQ(windows->informed.size(), 1u);
    // The first backslash pairs with the second, which is not n or t; the second pairs with n.
    EXPECT_EQ(windows->informed[0].first, "x\\\ny\\q");
    EXPECT_EQ(windows->informed[0].second, 5);
}

TEST_F(PromptCommandsTest, WithoutAPromptWindowTheRunFailsClearly)
{
    SetScriptPromptHost(nullptr);
    Script instance;
    EString error;
    EXPECT_FALSE(LoadAndRun(instance, "PromptInfo(\"hello\");\n", error));
    EXPECT_THAT(error.c_str(), HasSubstr("PromptInfo() - not available in this build."));
}

} // namespace

namespace {

TEST(PromptCustomCaptionsTest, SplitsAtSemicolonsKeepingAtMostFour)
{
    struct Case
    {
        const char *captions;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"Yes;No", {"Yes", "No"}},
        {"Yes;No;", {"Yes", "No"}},
        {"", {}},
        {"  Left; \"A;B\";C", {"Left", "A;B", "C"}},
        {"1;2;3;4;5;6", {"1", "2", "3", "4"}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(PromptCustomCaptions(c.captions), c.expected) << c.captions;
}

TEST(MonitorScaleFactorTest, OnlyAScaleInsideTheSaneRangeCounts)
{
    struct Case
    {
        const char *text;
        double expected;
    };
    const Case cases[] = {{"1.5", 1.5}, {"abc", 1.0}, {"", 1.0},     {"0", 1.0},
                          {"-2", 1.0},  {"10", 10.0}, {"10.5", 1.0}, {"2x", 2.0}};
    for (const Case &c : cases)
        EXPECT_DOUBLE_EQ(ParseMonitorScaleFactor(c.text), c.expected) << c.text;
}

} // namespace
