// Running loaded scripts: blocks, loops, conditions, stops, user functions and their failures.
#include "RecordingCommand.h"
#include "ScriptFixture.h"

#include "Ostravo/CachedLog.h"
#include "Ostravo/TextFormat.h"
#include "platform/Clock.h"

#include <limits>

namespace {

class ExecutorTest : public ScriptFixture
{
  protected:
    RecordingCommand m_wait{cmd::Wait};
};

const Variable *Find(const VariableList &variables, const char *name)
{
    size_t index = 0;
    return FindVariable(variables, name, index) ? &variables[index] : nullptr;
}

TEST_F(ExecutorTest, NestedLoopsBreakContinueAndReturn)
{
    Script instance;
    EString error;
    VariableList variables;
    ASSERT_TRUE(LoadAndRun(instance,
                           Lines({"int i = 0;",
                                  "int j;",
                                  "while (i < 3)",
                                  "{",
                                  "  int k = i;",
                                  "  i += 1;",
                                  "  if (i == 2)",
                                  "  {",
                                  "    int inner;",
                                  "    continue;",
                                  "  }",
                                  "  j = 0;",
                                  "  while (j < 5)",
                                  "  {",
                                  "    j += 1;",
                                  "    if (j == 3)",
                                  "    {",
                                  "      break;",
                                  "    }",
                                  "    Wait(j);",
                                  "  }",
                                  "  Wait(i);",
                                  "}",
                                  "int after = 9;",
                                  "Wait(100);",
                                  "if (i == 3)",
                                  "{",
                                  "  if (j == 3)",
                                  "  {",
                                  "    Wait(200);",
                                  "    return;",
                                  "  }",
                                  "}",
                                  "Wait(300);"}),
                           error, &variables))
        << error.c_str();
    EXPECT_EQ(m_wait.calls, (std::vector<std::string>{"1", "2", "1", "1", "2", "3", "100", "200"}));
    // Block variables are gone; the one declared after the loop lives at level 0.
    EXPECT_EQ(Find(variables, "k"), nullptr);
    EXPECT_EQ(Find(variables, "inner"), nullptr);
    ASSERT_NE(Find(variables, "after"), nullptr);
    EXPECT_EQ(Find(variables, "after")->level, 0);
    EXPECT_TRUE(instance.m_main.m_blocks.empty());
}

TEST_F(ExecutorTest, FalseConditionsSkipWholeBlocks)
{
    Script instance;
    EString error;
    ASSERT_TRUE(LoadAndRun(instance,
                           Lines({"int n = 0;", "while (n > 0)", "{", "  Wait(1);", "  if (n == 0)", "  {",
                                  "    Wait(2);", "  }", "}", "if (n != 0)", "{ // open", "  while (n == 0)",
                                  "  {", "  } // close", "  Wait(3);", "}", "Wait(4);"}),
                           error))
        << error.c_str();
    EXPECT_EQ(m_wait.calls, (std::vector<std::string>{"4"}));
}

TEST_F(ExecutorTest, ConditionTable)
{
    VariableList variables;
    auto add = [&](const char *name, int type, double number, int32_t integer, const char *text) {
        Variable v;
        v.type = type;
        v.name.Assign(name);
        v.number = number;
        v.integer = integer;
        v.text.Assign(text);
        variables.push_back(v);
    };
    add("zero", kVariableDouble, 0.0, 0, "");
    add("nan", kVariableDouble, std::numeric_limits<double>::quiet_NaN(), 0, "");
    add("n", kVariableInt, 0, 3, "");
    add("empty", kVariableString, 0, 0, "");
    add("word", kVariableString, 0, 0, "abc");
    const struct
    {
        const char *text;
        bool valid;
        bool value;
        int kind;
    } cases[] = {
        {"if (zero)", true, false, 0},
        {"if (nan)", true, true, 0},
        {"while (n)", true, true, 1},
        {"if (empty)", true, false, 0},
        {"if (word)", true, true, 0},
        {"if (\"B\" < \"a\")", true, true, 0},
        {"if (\"ab\" < \"abc\")", true, true, 0},
        {"if (\"abc\" <= \"ab\")", true, false, 0},
        {"if (word == \"ABC\")", true, false, 0},
        {"if (WORD == \"abc\")", true, true, 0},
        {"if (word != \"abd\")", true, true, 0},
        {"while (1-2 == 1)", true, true, 1},
        {"if (n >= 3)", true, true, 0},
        {"if(n>2.5)", true, true, 0},
        {"if (N != 3) // note", true, false, 0},
        {"if (n <= 2E0)", true, false, 0},
        {"if (nan == nan)", true, false, 0},
        {"if (n == \"x\")", false, false, 0},
        {"if (\"x\" == n)", false, false, 0},
        {"if (n == 1) x", false, false, 0},
        {"if (n =! 1)", false, false, 0},
        {"if (q)", false, false, 0},
        {"if n == 1", false, false, 0},
        {"iff (1)", false, false, 0},
        {"when (1)", false, false, -1},
        {"if (\"open)", false, false, 0},
        {"if (n == 1", false, false, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        bool value = !c.value;
        int kind = 99;
        EXPECT_EQ(EvaluateCondition(c.text, variables, value, kind), c.valid);
        if (c.valid) {
            EXPECT_EQ(value, c.value);
            EXPECT_EQ(kind, c.kind);
        } else if (c.kind < 0) {
            EXPECT_EQ(kind, -1);
        }
    }
}

TEST_F(ExecutorTest, RunTimeFailuresEndTheRun)
{
    const struct
    {
        std::vector<std::string> lines;
        const char *error;
        std::vector<std::string> calls;
    } cases[] = {
        {{"int n = 4;", "Wait(1);", "n /= 0;", "Wait(2);"}, "Internal scripting error #4", {"1"}},
        {{"double d = 4;", "d /= 0.0;"}, "Internal scripting error #4", {}},
        {{"int n = 13;", "Wait(n);", "Wait(2);"}, "Wait(n); : recorded failure", {"13"}},
        {{"  Wait( 13 );  // why", "Wait(2);"}, "Wait( 13 ); : recorded failure", {"13"}},
        // The last line is a condition without a block: a false one finds no "{".
        {{"int n;", "if (n == 1)"}, "Internal scripting error #15", {}},
    };
    m_wait.failOn = "13";
    for (const auto &c : cases) {
        SCOPED_TRACE(c.lines.back());
        m_wait.calls.clear();
        Script instance;
        EString error;
        EXPECT_FALSE(LoadAndRun(instance, Lines(c.lines), error));
        EXPECT_STREQ(error.c_str(), c.error);
        EXPECT_EQ(m_wait.calls, c.calls);
    }
}

TEST_F(ExecutorTest, StopEndsTheRunBeforeTheNextLine)
{
    Script instance;
    int lines = 0;
    instance.m_before_line = [&](const Script &, const CodeUnit &, size_t, const VariableList &) {
        if (++lines == 50)
            instance.m_running = false;
    };
    EString error;
    ASSERT_TRUE(LoadAndRun(instance, Lines({"int n;", "while (n == 0)", "{", "  Wait(1);", "}"}), error))
        << error.c_str();
    EXPECT_EQ(lines, 50);
    EXPECT_STREQ(error.c_str(), "");
    // Lines 1..49 ran: one declaration, then passes of while, "{", Wait, "}".
    EXPECT_EQ(m_wait.calls.size(), 12u);
    EXPECT_TRUE(instance.m_main.m_blocks.empty());
}

TEST_F(ExecutorTest, UserFunctionsPassVariablesByValueAndResult)
{
    WriteInclude("lib.inc", Lines({"// helpers", "void Twice(double x)", "{", "  x *= 2;", "}", "",
                                   "void Record(int v, STRING s)", "{", "  Wait(v);", "  s += \"!\";",
                                   "  if (v > 5)", "  {", "    return;", "  }", "  Wait(0);", "}"}));
    Script instance;
    EString error;
    VariableList variables;
    ASSERT_TRUE(LoadAndRun(
        instance,
        Lines({"#include \"lib.inc\"", "double d = 1.5;", "Twice(d);", "Twice(d);", "Twice(7.0);",
               "int n = 7;", "STRING t = \"hi\";", "Record(n, t);", "Record(3, \"b\");", "Wait(d);"}),
        error, &variables))
        << error.c_str();
    EXPECT_EQ(m_wait.calls, (std::vector<std::string>{"7", "3", "0", "6"}));
    EXPECT_DOUBLE_EQ(Find(variables, "d")->number, 6.0);
    EXPECT_STREQ(Find(variables, "t")->text.c_str(), "hi!");
    // The function's own variables stay its own.
    EXPECT_EQ(Find(variables, "x"), nullptr);
    EXPECT_EQ(Find(variables, "v"), nullptr);
}

TEST_F(ExecutorTest, UserFunctionFailuresChainTheirNames)
{
    WriteInclude("lib.inc",
                 Lines({"void Outer(int v)", "{", "  Inner(v);", "}", "void Inner(int v)", "{", "  Wait(v);",
                        "}", "void Narrow(int v)", "{", "  Wait(v);", "  v += 1;", "}"}));
    m_wait.failOn = "13";
    const struct
    {
        std::vector<std::string> lines;
        const char *error;
        std::vector<std::string> calls;
    } cases[] = {
        {{"Outer(13);"}, "Outer : Inner : Wait(v); : recorded failure", {"13"}},
        // An int parameter given a double variable: the body runs, the copy back fails.
        {{"double d = 2.9;", "Narrow(d);", "Wait(99);"},
         "Narrow : run_included_function() error #2 : Variable::Assign () failed because types don't match.",
         {"2"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.lines.back());
        m_wait.calls.clear();
        Script instance;
        EString error;
        std::vector<std::string> lines = {"#include \"lib.inc\""};
        lines.insert(lines.end(), c.lines.begin(), c.lines.end());
        EXPECT_FALSE(LoadAndRun(instance, Lines(lines), error));
        EXPECT_STREQ(error.c_str(), c.error);
        EXPECT_EQ(m_wait.calls, c.calls);
    }
}

TEST_F(ExecutorTest, StopInsideAFunctionStillCopiesBack)
{
    WriteInclude("lib.inc", Lines({"void Count(int v)", "{", "  v += 1;", "  v += 1;", "  v += 1;", "}"}));
    Script instance;
    int lines = 0;
    instance.m_before_line = [&](const Script &, const CodeUnit &unit, size_t, const VariableList &) {
        ++lines;
        if (!unit.m_name.empty() && lines == 5) // two "v += 1;" have run
            instance.m_running = false;
    };
    EString error;
    VariableList variables;
    ASSERT_TRUE(LoadAndRun(instance, Lines({"#include \"lib.inc\"", "int n = 0;", "Count(n);", "Wait(n);"}),
                           error, &variables))
        << error.c_str();
    EXPECT_EQ(Find(variables, "n")->integer, 2);
    EXPECT_TRUE(m_wait.calls.empty());
}

TEST_F(ExecutorTest, WrappingArithmeticInARun)
{
    Script instance;
    EString error;
    VariableList variables;
    ASSERT_TRUE(LoadAndRun(instance,
                           Lines({"int big = 2147483647;", "big += 1;", "int low = -2147483648;",
                                  "low /= -1;", "int prod = 65536;", "prod *= 65536;"}),
                           error, &variables))
        << error.c_str();
    EXPECT_EQ(Find(variables, "big")->integer, INT32_MIN);
    EXPECT_EQ(Find(variables, "low")->integer, INT32_MIN);
    EXPECT_EQ(Find(variables, "prod")->integer, 0);
}

} // namespace

namespace {

class ScriptLogTest : public ScriptFixture
{
  protected:
    RecordingCommand m_wait{cmd::Wait};
};

// Only call lines reach the script log: a main-body call with the script's name, a call inside a
// user function with its include file.
TEST_F(ScriptLogTest, CallLinesCarryTheirUnitsName)
{
    const std::string inc = WriteInclude("lib.inc", Lines({"void Show(int v)", "{", "\tWait(v);", "}"}));
    Script instance;
    EString error;
    ASSERT_TRUE(LoadAndRun(instance,
                           Lines({"#include \"lib.inc\"", "int a = 1;", "a += 1;", "if (a == 2)", "{",
                                  "\t  Wait(a); // shown", "}", "Show(3);"}),
                           error))
        << error.c_str();
    // The day's script log (held in the log cache until it is released).
    const platform::LocalTime t = platform::Now();
    const std::string path = m_dir.file(
        FormatText("LOG/Script_%04u_%02u_%02u.log", unsigned(t.year), unsigned(t.month), unsigned(t.day)));
    ASSERT_TRUE(CachedLogging::Release(path.c_str(), error)) << error.c_str();
    const std::string log = vantelis::test::ReadFileBytes(path);
    std::vector<std::string> rows;
    for (size_t pos = 0; pos < log.size();) {
        size_t end = log.find("\r\n", pos);
        if (end == std::string::npos)
            end = log.size();
        const std::string row = log.substr(pos, end - pos);
        // Drop the version and time columns.
        const size_t second = row.find('\t', row.find('\t') + 1);
        rows.push_back(row.substr(second + 1));
        pos = end + 2;
    }
    // Rows hold the trimmed line, so an indented line keeps the four columns.
    EXPECT_EQ(rows, (std::vector<std::string>{"Script\tline", "test.scr\tWait(a);", "test.scr\tShow(3);",
                                              inc + "\tWait(v);"}));
}

} // namespace
