// Loading: line numbers, load refusals with their exact texts, comments, includes and function
// scans.
#include "RecordingCommand.h"
#include "ScriptFixture.h"

#include <algorithm>

namespace {

class LoaderTest : public ScriptFixture
{
  protected:
    // Loads the text as "s.scr"; returns the error with the script path replaced by "<path>".
    std::string LoadError(const std::string &text)
    {
        Script instance;
        const std::string path = WriteScript("s.scr", text);
        EString error;
        if (Load(instance, path, error))
            return "loaded";
        return Replace(error.c_str(), path, "<path>");
    }
    std::string Replace(std::string text, const std::string &from, const std::string &to)
    {
        for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
            text.replace(at, from.size(), to);
        return text;
    }
};

TEST_F(LoaderTest, RefusalTexts)
{
    const std::string longCode = "Wait(" + std::string(65535, '1') + ");";
    const std::string longComment = "// " + std::string(70000, 'c');
    const struct
    {
        std::vector<std::string> lines;
        const char *error;
    } cases[] = {
        {{"// header", "", "int a;", "   ", "Wait(1)"},
         "<path> at line 5 does not end with ; and is not valid if() or while() statement."},
        {{"int a;", "", "FG_Start();"}, "<path> at line 3 : FG_Start() - not supported after V1.161"},
        {{"int a;", "Dispens(1);"}, "<path> invalid line 2 no such function: Dispens"},
        {{"", "", "", "", "", "", "", "", "", "wait(1);"}, "<path> invalid line 10 no such function: wait"},
        {{"int a;", "if (a == 0) {", "}"},
         "<path> at line 2 does not end with ; and is not valid if() or while() statement."},
        {{"int a;", "#include \"x.inc\""}, "<path> at line 2, include statements must precede any code."},
        {{"// first", "#include \"nope.inc\""}, "<path> at line 2 : Included file nope.inc does not exist.."},
        {{"#include nope.inc"}, "<path> at line 1 : Expected \" after #include ."},
        {{"#include \"nope.inc"}, "<path> at line 1 : Did not find terminating \" after #include \"."},
        {{"int a;", "while (a < 1)", "{", "a += 1;"},
         "Did not close out all code blocks before the end of the script file: <path>"},
        {{"int a;", "}"}, "<path> at line 2 unexpected code block end }"},
        {{"int a;", "if (a == 0)", "{", "  break;", "}"},
         "<path> at line 4 invalid break statement, not inside a while loop"},
        {{"int a;", "if (a == 0)", "{", "  continue; // no"},
         "<path> at line 4 invalid continue statement, not inside a while loop"},
        {{"int a;", "if (a == 0)", "// comment", "", "int b;"},
         "<path> at line 5 expected new code block beginning {"},
        {{"if (1)", "{", "  int b;", "}", "b = 2;"},
         "<path> invalid line 5 does not begin with valid variable name or function name"},
        {{"if (q == 1)", "{", "}"},
         "<path> at line 1 does not end with ; and is not valid if() or while() statement."},
        {{"int a;", "if (a == \"x\")", "{", "}"},
         "<path> at line 2 does not end with ; and is not valid if() or while() statement."},
        {{"{", "}"}, "<path> at line 1 does not end with ; and is not valid if() or while() statement."},
        {{"int a  = 5;"}, "<path> invalid line 1 : Invalid variable name: = 5;"},
        {{"int Wait;", "Wait(1);"}, "<path> invalid line 2 : Expected '=' following variable name."},
        {{"1abc;"}, "<path> invalid line 1 does not begin with valid variable name or function name"},
        {{"Wait(1);", longCode}, "<path> at line 2 : line is longer than 65535 characters."},
        // Loads:
        {{longComment, "int a;", "while (a < 3) // loop", "{   // open", "  a += 1;", "}  // close",
          "return;"},
         "loaded"},
        {{"int n = 1;", "n /= 0;"}, "loaded"},
        {{"ResetDIO(no check at all;", "EmptySyringe(3);"}, "loaded"},
        {{"if (1)"}, "loaded"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.lines.back().substr(0, 60));
        EXPECT_EQ(LoadError(Lines(c.lines)), c.error);
        // CR LF line ends give the same result.
        std::string crlf;
        for (const std::string &line : c.lines)
            crlf += line + "\r\n";
        EXPECT_EQ(LoadError(crlf), c.error);
    }
}

TEST_F(LoaderTest, LinesEndingInACarriageReturnAloneAreRefusedWithTheirLineNumber)
{
    RecordingCommand sound(cmd::PlaySound, true);
    const struct
    {
        std::string text;
        const char *error;
    } cases[] = {
        // Read as one line: only its first statement would be checked and run.
        {"PlaySound(\"a\");\rPlaySound(\"b\");\r",
         "<path> at line 1 : text follows a carriage return; lines must end with CR LF or LF."},
        {"int a;\r\nint b;\r\nPlaySound(\"a\"); // note\rWait(\"x\");\r\n",
         "<path> at line 3 : text follows a carriage return; lines must end with CR LF or LF."},
        {"// header\rint a;\r",
         "<path> at line 1 : text follows a carriage return; lines must end with CR LF or LF."},
        // CR CR LF, a CR before blanks, and plain CR LF load.
        {"int a;\r\r\nPlaySound(\"a\");\r \t\r\n", "loaded"},
        {"int a;\r\nPlaySound(\"a\");", "loaded"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(LoadError(c.text), c.error);
    }
    // The same for an include file.
    WriteInclude("f.inc", "void F(int a)\r{\r}\r");
    EXPECT_EQ(
        Replace(LoadError(Lines({"#include \"f.inc\"", "int x;"})), m_dir.file("Includes/f.inc"), "<inc>"),
        "<path> at line 1 : scan_included_file() : text follows a carriage return; lines must end with CR "
        "LF or LF: <inc> at line 1.");
}

TEST_F(LoaderTest, StoresCodeLinesOnlyWithCommentsRemoved)
{
    RecordingCommand wait(cmd::Wait, true); // a command with a text argument
    Script instance;
    const std::string path =
        WriteScript("s.scr", Lines({"// banner", "", "int a = 1; // one", "  \t", "Wait(\"a//b\"); // c",
                                    "if (a == 1)", "", "{", "}"}));
    EString error;
    ASSERT_TRUE(Load(instance, path, error)) << error.c_str();
    EXPECT_EQ(instance.m_main.m_lines,
              (std::vector<std::string>{"int a = 1; ", "Wait(\"a//b\"); ", "if (a == 1)", "{", "}"}));
    EXPECT_TRUE(instance.m_main.m_blocks.empty());
}

TEST_F(LoaderTest, QuotedSlashesStayPartOfTheArgument)
{
    RecordingCommand sound(cmd::PlaySound, true);
    Script instance;
    EString error;
    ASSERT_TRUE(
        LoadAndRun(instance, Lines({"PlaySound(\"a//b\"); // comment", "PlaySound(\"c\"); //\"d\""}), error))
        << error.c_str();
    EXPECT_EQ(sound.calls, (std::vector<std::string>{"a//b", "c"}));
    EXPECT_EQ(sound.checks, 2);
}

TEST_F(LoaderTest, LoadValidatesEveryLineWithoutRunningCommands)
{
    RecordingCommand wait(cmd::Wait);
    Script instance;
    const std::string path =
        WriteScript("s.scr", Lines({"int a = 0;", "if (a == 1)", "{", "  Wait(a);", "}", "Wait(2);"}));
    EString error;
    ASSERT_TRUE(Load(instance, path, error)) << error.c_str();
    EXPECT_EQ(wait.checks, 2);
    EXPECT_TRUE(wait.calls.empty());
    // A command's load-time refusal inside a block that will never run still refuses the script.
    EXPECT_EQ(LoadError(Lines({"int a = 0;", "if (a == 1)", "{", "  Wait(\"x\");", "}"})),
              "<path> at line 4 : Invalid int parameter 1");
}

TEST_F(LoaderTest, IncludeScanRefusals)
{
    const std::string inc = m_dir.file("Includes/f.inc");
    const std::string name49(49, 'p');
    const std::string name48(48, 'p');
    const struct
    {
        std::string include;
        std::string error; // <inc> is the include file's path
    } cases[] = {
        {"void F()\n{\n}\n", "<path> at line 1 : Undefined variable type: ) : in file <inc> at line 1."},
        {"\n// c\nvoid F(int " + name49 + ")\n{\n}\n",
         "<path> at line 1 : Function parameter names may not exceed 48 characters: " + name49 +
             ") : in file <inc> at line 3."},
        {"void F(int " + name48 + ")\n{\n}\n", "loaded"},
        {"void F(int a)\n\n{\n}\n", "<path> at line 1 : scan_included_file() : missing \"{\" immediately "
                                    "following function definition: F in file "
                                    "<inc> at line 2."},
        {"void Wait(int a)\n{\n}\n", "<path> at line 1 : scan_included_file() : <inc> - Function name "
                                     "already being used for a built in function: "
                                     "Wait at line 1."},
        {"void wait(int a)\n{\n}\n", "loaded"},
        {"int a;\nvoid F(int a)\n{\n}\n", "<path> at line 1 : scan_included_file() : Expecting function "
                                          "definition at line 1. Function definitions must "
                                          "begin with \"void \"."},
        {"void F(int a)\n{\n  if (a == 1)\n  {\n}\n",
         "<path> at line 1 : scan_included_file() :  not find end of function \"}\" for function F in file "
         "<inc> up to "
         "the end of the file at line 5."},
        {"void F(int a, int a)\n{\n}\n",
         "<path> at line 1 : Function parameter name a is repeated. : in file <inc> at line 1."},
        {"void F(int a) x\n{\n}\n",
         "<path> at line 1 : Invalid characters found following \")\" : x : in file <inc> at line 1."},
        {"void F(int a\n{\n}\n",
         "<path> at line 1 : Expecting \",\" or \")\" after parameter name:  : in file <inc> at line 1."},
        {"void F(int a int b) // missing comma\n{\n}\n", "loaded"},
        {"void F(int a, int b\n{\n}\n",
         "<path> at line 1 : Expecting \",\" or \")\" after parameter name:  : in file <inc> at line 1."},
        {"void F(int a, \n{\n}\n", "<path> at line 1 : Undefined variable type:  : in file <inc> at line 1."},
        // A body nobody calls is never validated.
        {"void F(int a)\n{\n  nonsense here\n}\n", "loaded"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.include);
        WriteInclude("f.inc", c.include);
        EXPECT_EQ(Replace(LoadError(Lines({"#include \"f.inc\"", "int x;"})), inc, "<inc>"), c.error);
    }
}

TEST_F(LoaderTest, IncludesAreScannedOncePerNameIgnoringCase)
{
    const std::string a = WriteInclude("A.inc", "void F(int x)\n{\n}\n");
    const std::string b = WriteInclude("b.inc", "// other\nvoid F(int x)\n{\n}\n");
    EXPECT_EQ(LoadError(Lines({"#include \"A.inc\"", "#include \"a.INC\"", "F(1);"})), "loaded");
    EXPECT_EQ(
        Replace(Replace(LoadError(Lines({"#include \"A.inc\"", "#include \"b.inc\""})), a, "<a>"), b, "<b>"),
        "<path> at line 2 : scan_included_file() : Function F in <b> at line 2 is already defined. Existing "
        "definition in <a> at line 1..");
}

TEST_F(LoaderTest, FunctionCallsAreValidatedAgainstTheirBodies)
{
    const std::string inc =
        WriteInclude("f.inc", Lines({"void Set(int a, int A)", "{", "}", "void Use(int a)", "{", "  g = 1;",
                                     "}", "void Fine(STRING s)", "{", "  s += \"!\";", "}"}));
    const struct
    {
        std::vector<std::string> lines;
        std::string error;
    } cases[] = {
        {{"#include \"f.inc\"", "Set(1, 2);"},
         "<path> at line 2 : <inc> at line 2 : Variable A has already been defined."},
        {{"#include \"f.inc\"", "int g;", "Use(1);"},
         "<path> at line 3 : <inc> invalid line 6 does not begin with valid variable name or function name"},
        {{"#include \"f.inc\"", "Fine(\"x\");"}, "loaded"},
        {{"#include \"f.inc\"", "Fine(1);"}, "<path> at line 2 : Missing leading \" for string parameter 1"},
        {{"#include \"f.inc\"", "Fine(\"x\")"},
         "<path> at line 2 does not end with ; and is not valid if() or while() statement."},
        {{"#include \"f.inc\"", "Fine(\"x\") ;"}, "loaded"},
        {{"#include \"f.inc\"", "Fine(\"x\", 2);"}, "<path> at line 2 : Missing \")\" after parameters."},
        {{"#include \"f.inc\"", "Fine (\"x\") ; x;"},
         "<path> at line 2 : Invalid characters following \";\""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.lines.back());
        EXPECT_EQ(Replace(LoadError(Lines(c.lines)), inc, "<inc>"), c.error);
    }
}

TEST_F(LoaderTest, NestingIsCappedAtTenLevels)
{
    // F1 calls F2 ... Fn calls Wait.
    auto chain = [](int n) {
        std::vector<std::string> lines;
        for (int i = 1; i <= n; ++i) {
            lines.push_back("void F" + std::to_string(i) + "(int v)");
            lines.push_back("{");
            lines.push_back(i < n ? "  F" + std::to_string(i + 1) + "(v);" : "  Wait(v);");
            lines.push_back("}");
        }
        return Lines(lines);
    };
    RecordingCommand wait(cmd::Wait);
    WriteInclude("ten.inc", chain(10));
    {
        Script instance;
        EString error;
        ASSERT_TRUE(LoadAndRun(instance, Lines({"#include \"ten.inc\"", "F1(4);"}), error)) << error.c_str();
        EXPECT_EQ(wait.calls, (std::vector<std::string>{"4"}));
    }
    WriteInclude("eleven.inc", chain(11));
    const std::string tail = "load_function() : maximum recursion depth exceeded: 10";
    std::string error = LoadError(Lines({"#include \"eleven.inc\"", "F1(4);"}));
    EXPECT_EQ(error.substr(0, 19), "<path> at line 2 : ");
    EXPECT_EQ(error.substr(error.size() - tail.size()), tail) << error;

    WriteInclude("self.inc", Lines({"void R(int v)", "{", "  R(v);", "}"}));
    error = LoadError(Lines({"#include \"self.inc\"", "R(1);"}));
    EXPECT_EQ(error.substr(error.size() - tail.size()), tail) << error;
    // The counter is back at 0: a ten-level chain still loads.
    EXPECT_EQ(LoadError(Lines({"#include \"ten.inc\"", "F1(4);"})), "loaded");
}

TEST_F(LoaderTest, NestingIsCountedPerInstance)
{
    std::vector<std::string> lines;
    for (int i = 1; i <= 10; ++i) {
        lines.push_back("void F" + std::to_string(i) + "(int v)");
        lines.push_back("{");
        lines.push_back(i < 10 ? "  F" + std::to_string(i + 1) + "(v);" : "  v += 1;");
        lines.push_back("}");
    }
    WriteInclude("ten.inc", Lines(lines));
    const std::string other = WriteScript("other.scr", Lines({"#include \"ten.inc\"", "F1(1);"}));
    // While one instance is ten levels deep, the other still validates ten levels of its own.
    Script deep;
    Script second;
    int deepest = 0;
    bool secondLoaded = false;
    EString secondError;
    deep.m_before_line = [&](const Script &, const CodeUnit &, size_t, const VariableList &) {
        deepest = std::max(deepest, deep.m_call_depth.load());
        if (deep.m_call_depth.load() == 10 && !secondLoaded)
            secondLoaded = Load(second, other, secondError);
    };
    EString error;
    ASSERT_TRUE(LoadAndRun(deep, Lines({"#include \"ten.inc\"", "F1(1);"}), error)) << error.c_str();
    EXPECT_EQ(deepest, 10);
    EXPECT_TRUE(secondLoaded) << secondError.c_str();
}

TEST_F(LoaderTest, IncludeInsideAFunctionBodyKeepsTheBodyIntact)
{
    // Validating Outer's body meets an include that adds functions sorted before Outer.
    WriteInclude("outer.inc",
                 Lines({"void Outer(int v)", "{", "#include \"inner.inc\"", "  Wait(v);", "  Aa(v);", "}"}));
    WriteInclude("inner.inc", Lines({"void Aa(int v)", "{", "  Wait(v);", "}", "void Ab(int v)", "{", "}"}));
    RecordingCommand wait(cmd::Wait);
    Script instance;
    EString error;
    ASSERT_TRUE(LoadAndRun(instance, Lines({"#include \"outer.inc\"", "Outer(5);"}), error)) << error.c_str();
    EXPECT_EQ(wait.calls, (std::vector<std::string>{"5", "5"}));
    ASSERT_EQ(instance.m_functions.size(), 3u);
    EXPECT_EQ(instance.m_functions[0]->m_name, "Aa");
    EXPECT_EQ(instance.m_functions[2]->m_name, "Outer");
    EXPECT_EQ(instance.m_functions[2]->m_lines.size(), 2u);
}

TEST_F(LoaderTest, IncludesFolderFollowsTheHandle)
{
    const std::string oldUi = theApp.m_customer_ui_directory.c_str();
    theApp.m_customer_ui_directory.Assign(m_dir.file("CustomerUI").c_str());
    std::filesystem::create_directories(m_dir.path() / "CustomerUI" / "Includes");
    vantelis::test::WriteFileBytes(m_dir.file("CustomerUI/Includes/ui.inc"), "void U(int v)\n{\n}\n");
    const std::string path = WriteScript("s.scr", Lines({"#include \"ui.inc\"", "U(1);"}));
    Script ui(SCRIPT_HANDLE_CUSTOMER_UI);
    Script fluidic(SCRIPT_HANDLE_FLUIDIC_SYSTEM);
    EString error;
    EXPECT_TRUE(Load(ui, path, error)) << error.c_str();
    EXPECT_FALSE(Load(fluidic, path, error));
    EXPECT_EQ(std::string(error.c_str()), path + " at line 1 : Included file ui.inc does not exist..");
    theApp.m_customer_ui_directory.Assign(oldUi.c_str());
}

} // namespace
