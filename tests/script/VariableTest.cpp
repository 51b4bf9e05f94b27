// Declarations, assignments, operand conversions and the 32-bit integer arithmetic.
#include "script/Variable.h"

#include <gtest/gtest.h>

#include <climits>
#include <limits>
#include <string>
#include <vector>

namespace {

// Runs one statement as the executor does: declaration first, then assignment. loading selects
// the loader's tolerance of a zero divisor.
bool Execute(const std::string &text, VariableList &variables, EString &error, bool loading)
{
    std::string statement = text;
    int type = 0;
    size_t index = 0;
    if (ParseTypeKeyword(statement, type))
        return ExecuteDeclaration(statement, type, variables, 0, error);
    if (IsAssignmentStatement(statement, variables, index))
        return ExecuteAssignment(statement.c_str(), index, variables, error, true, loading);
    error.Assign("neither declaration nor assignment");
    return false;
}

// "name=int:5", "name=dbl:2.5", "name=str:text", or "!name" for a name that must not exist.
void ExpectVariable(const VariableList &variables, const std::string &expect)
{
    SCOPED_TRACE(expect);
    size_t index = 0;
    if (expect[0] == '!') {
        EXPECT_FALSE(FindVariable(variables, expect.c_str() + 1, index));
        return;
    }
    const size_t eq = expect.find('=');
    const std::string name = expect.substr(0, eq);
    const std::string kind = expect.substr(eq + 1, 3);
    const std::string value = expect.substr(eq + 5);
    ASSERT_TRUE(FindVariable(variables, name.c_str(), index));
    const Variable &v = variables[index];
    if (kind == "int") {
        EXPECT_EQ(v.type, kVariableInt);
        EXPECT_EQ(v.integer, static_cast<int32_t>(std::stoll(value)));
    } else if (kind == "dbl") {
        EXPECT_EQ(v.type, kVariableDouble);
        EXPECT_DOUBLE_EQ(v.number, std::stod(value));
    } else {
        EXPECT_EQ(v.type, kVariableString);
        EXPECT_STREQ(v.text.c_str(), value.c_str());
    }
}

struct Row
{
    std::vector<std::string> setup; // each must succeed
    std::string statement;
    bool loading;
    const char *error; // nullptr: succeeds
    std::vector<std::string> expect;
};

const std::string k999(999, 'q');
const std::string k1000(1000, 'q');

const std::vector<Row> kRows = {
    {{}, "int a, b, c;", false, nullptr, {"a=int:0", "b=int:0", "c=int:0"}},
    {{}, "STRING s;", false, nullptr, {"s=str:"}},
    {{}, "int a = 5, b = 6;", false, nullptr, {"a=int:5", "b=int:6"}},
    {{}, "int a, b = 6;", false, nullptr, {"a=int:0", "b=int:6"}},
    {{}, "int a  = 5;", false, "Invalid variable name: = 5;", {"!a"}},
    {{}, "int a b;", false, nullptr, {"!a", "b=int:0"}},
    {{}, "int a = 5.7;", false, "Expected ';' after variable assignment.", {"!a"}},
    {{}, "double d = 1-2;", false, nullptr, {"d=dbl:1"}},
    {{}, "double d = 2.5E3;", false, nullptr, {"d=dbl:2500"}},
    {{}, "double d = 2.5e3;", false, nullptr, {"d=dbl:2500"}},
    {{"double d = 1E12;"}, "int i = d;", false, nullptr, {"i=int:2147483647"}},
    {{"double d = -3.9;"}, "int i = d;", false, nullptr, {"i=int:-3"}},
    {{"int i = -42;"}, "STRING s = i;", false, nullptr, {"s=str:-42"}},
    {{"double d = 0.0;"}, "STRING s = d;", false, nullptr, {"s=str:0"}},
    {{}, "STRING s = \"\";", false, nullptr, {"s=str:"}},
    {{}, "STRING s = \"" + k999 + "\";", false, nullptr, {"s=str:" + k999}},
    {{},
     "STRING s = \"" + k1000 + "\";",
     false,
     "Invalid assignment end quote not found after 1000 characters while assigning variable s",
     {"!s"}},
    {{}, "int x = x;", false, "Invalid assignment string \"x\" has not been declared", {"!x"}},
    {{"int Count;"}, "int count;", false, "Variable count has already been defined.", {"Count=int:0"}},
    {{"int n = 7;"}, "n /= 0;", true, nullptr, {"n=int:7"}},
    {{"int n = 7;"}, "n /= 0;", false, "Attempt to divide by zero.", {"n=int:7"}},
    {{"double x = 7;"}, "x /= -0.0;", false, "Attempt to divide by zero.", {"x=dbl:7"}},
    {{"STRING s;"}, "s -= \"a\";", false, "Invalid math operator, must be +", {"s=str:"}},
    {{"STRING s = \"x\";", "int t = 7;"}, "s += t;", false, nullptr, {"s=str:x7"}},
    {{"int n;"}, "n + = 1;", false, "Expected '=' following variable name.", {"n=int:0"}},
    {{"int Wait;"}, "Wait(1);", false, "Expected '=' following variable name.", {"Wait=int:0"}},
    // Names ignore case; type keywords do not.
    {{"int Count = 3;"}, "COUNT += 2;", false, nullptr, {"count=int:5"}},
    {{}, "Int a;", false, "neither declaration nor assignment", {"!a"}},
    {{}, "doubles a;", false, "neither declaration nor assignment", {"!a"}},
    // A STRING operand that is neither a name nor a quoted text assigns nothing.
    {{"STRING s = \"x\";"}, "s += 5;", false, nullptr, {"s=str:x"}},
    {{"STRING s = \"x\";"}, "s = 5;", false, "Expected ';' after variable assignment.", {"s=str:x"}},
    {{"STRING s;"},
     "double d = s;",
     false,
     "Invalid assignment string \"s\" is not type double or int",
     {"!d"}},
    {{"STRING s;"}, "int i = s;", false, "Invalid assignment string \"s\" is not type int or double", {"!i"}},
    {{}, "double d = abc;", false, "Invalid assignment string \"abc\" has not been declared", {"!d"}},
    {{}, "int i = -;", false, "Invalid assignment string \"-;\" for variable i", {"!i"}},
    // Names declared before a failing name of the same statement stay declared.
    {{"int b;"}, "int a, b;", false, "Variable b has already been defined.", {"a=int:0"}},
    // Compound forms ignore what follows the operand.
    {{"int n = 1;"}, "n += 2 apples;", false, nullptr, {"n=int:3"}},
    // 32-bit wrapping and saturation.
    {{"int n = 2147483647;"}, "n += 1;", false, nullptr, {"n=int:-2147483648"}},
    {{"int n = -2147483648;"}, "n -= 1;", false, nullptr, {"n=int:2147483647"}},
    {{"int n = 5;"}, "n *= 1000000000;", false, nullptr, {"n=int:705032704"}},
    {{"int n = -2147483648;"}, "n /= -1;", false, nullptr, {"n=int:-2147483648"}},
    {{"int n = -7;"}, "n /= 2;", false, nullptr, {"n=int:-3"}},
    {{}, "int n = 99999999999;", false, nullptr, {"n=int:2147483647"}},
    {{}, "int n = -99999999999;", false, nullptr, {"n=int:-2147483648"}},
    // An overflowing double literal is infinite; infinity minus infinity is NaN, which gives 0.
    {{"double d = 1E999;", "d -= 1E999;"}, "int i = d;", false, nullptr, {"i=int:0"}},
    {{"double d = -1E999;"}, "int i = d;", false, nullptr, {"i=int:-2147483648"}},
};

TEST(VariableTest, StatementTable)
{
    for (const Row &row : kRows) {
        SCOPED_TRACE(row.statement);
        VariableList variables;
        for (const std::string &setup : row.setup) {
            EString error;
            ASSERT_TRUE(Execute(setup, variables, error, false)) << setup << ": " << error.c_str();
        }
        EString error;
        const bool ok = Execute(row.statement, variables, error, row.loading);
        if (row.error) {
            EXPECT_FALSE(ok);
            EXPECT_STREQ(error.c_str(), row.error);
        } else {
            EXPECT_TRUE(ok) << error.c_str();
        }
        for (const std::string &expect : row.expect)
            ExpectVariable(variables, expect);
    }
}

TEST(VariableTest, DeclarationCutsStatementBehindItsSemicolon)
{
    VariableList variables;
    std::string statement = "int a = 1; rest";
    int type = 0;
    ASSERT_TRUE(ParseTypeKeyword(statement, type));
    EString error;
    ASSERT_TRUE(ExecuteDeclaration(statement, type, variables, 2, error));
    EXPECT_EQ(statement, " rest");
    ASSERT_EQ(variables.size(), 1u);
    EXPECT_EQ(variables[0].level, 2);
}

TEST(VariableTest, DropBlockVariablesKeepsOrderOfOthers)
{
    VariableList variables;
    const std::vector<std::pair<const char *, int>> declared = {
        {"a", 0}, {"b", 1}, {"c", 0}, {"d", 1}, {"e", 2}};
    for (const auto &[name, level] : declared) {
        Variable v;
        v.type = kVariableInt;
        v.name.Assign(name);
        v.level = level;
        EString error;
        ASSERT_TRUE(AddVariable(variables, v, error));
    }
    DropBlockVariables(variables, 1);
    ASSERT_EQ(variables.size(), 3u);
    EXPECT_STREQ(variables[0].name.c_str(), "a");
    EXPECT_STREQ(variables[1].name.c_str(), "c");
    EXPECT_STREQ(variables[2].name.c_str(), "e");
}

TEST(VariableTest, NumberConversions)
{
    struct
    {
        double in;
        int32_t out;
    } const cases[] = {{7.9, 7},
                       {-7.9, -7},
                       {2147483647.9, INT32_MAX},
                       {3e10, INT32_MAX},
                       {-2147483648.9, INT32_MIN},
                       {-3e10, INT32_MIN},
                       {std::numeric_limits<double>::quiet_NaN(), 0}};
    for (const auto &c : cases)
        EXPECT_EQ(DoubleToInt32(c.in), c.out) << c.in;

    int32_t v = 0;
    EXPECT_TRUE(ScanLong32("  +12x", v));
    EXPECT_EQ(v, 12);
    EXPECT_TRUE(ScanLong32("2147483648", v));
    EXPECT_EQ(v, INT32_MAX);
    EXPECT_TRUE(ScanLong32("-2147483648", v));
    EXPECT_EQ(v, INT32_MIN);
    EXPECT_TRUE(ScanLong32(std::string(400, '9').c_str(), v));
    EXPECT_EQ(v, INT32_MAX);
    EXPECT_FALSE(ScanLong32("-", v));
    EXPECT_FALSE(ScanLong32("x1", v));
}

} // namespace
