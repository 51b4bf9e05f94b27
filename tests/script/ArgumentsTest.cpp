// The command argument readers: literals, variables, result variables and every message.
#include "script/Arguments.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

VariableList MakeVariables()
{
    // x double 7.9, big double 3e10, n int -4, s STRING "txt".
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
    add("x", kVariableDouble, 7.9, 0, "");
    add("big", kVariableDouble, 3e10, 0, "");
    add("n", kVariableInt, 0, -4, "");
    add("s", kVariableString, 0, 0, "txt");
    return variables;
}

struct Row
{
    std::string text;    // from "(" on
    std::string readers; // one letter per argument: i int, d double, s STRING, e empty list
    std::vector<std::string> values;
    const char *error;  // nullptr: every reader succeeds
    char cursorAt;      // the character under the cursor afterwards ('\0': not checked)
    const char *result; // name of the result variable of the last reader, or "" for a literal
};

const std::string k1023(1023, 'a');
const std::string k1024(1024, 'a');

const std::vector<Row> kRows = {
    {"( 5 );", "i", {"5"}, nullptr, ')', ""},
    {"(-5, 7);", "ii", {"-5", "7"}, nullptr, ')', ""},
    {"(5.5);", "i", {}, "Expected ',' or ')' after parameter 1", '\0', nullptr},
    {"(5-3);", "i", {"5"}, nullptr, ')', ""},
    {"(1E3);", "d", {"1000"}, nullptr, ')', ""},
    {"(1e3);", "d", {}, "Expected ',' or ')' after parameter 1", '\0', nullptr},
    {"(x);", "i", {"7"}, nullptr, ')', "x"},
    {"(big);", "i", {"2147483647"}, nullptr, ')', "big"},
    {"(s);", "i", {}, "Variable s is not type int, parameter 1 expected int", '\0', nullptr},
    {"(y);", "d", {}, "Variable \"y\" is not defined, expecting double parameter 1", '\0', nullptr},
    {"();", "i", {}, "Invalid int parameter 1", '\0', nullptr},
    {"(\"\");", "s", {""}, nullptr, ')', ""},
    {"(\"" + k1023 + "\");", "s", {k1023}, nullptr, ')', ""},
    {"(\"" + k1024 + "\");",
     "s",
     {},
     "String parameter is too large, must be less than 1024 characters",
     '\0',
     nullptr},
    {"(5, 6, 7);", "i", {"5"}, nullptr, '6', ""},
    {"(5 ;", "i", {}, "Expected ',' or ')' after parameter 1", '\0', nullptr},
    {"( ) ;", "e", {}, nullptr, ';', nullptr},
    {"(); x", "e", {}, nullptr, ';', nullptr},
    // Further messages, numbered by their position.
    {"(1, ", "ii", {}, "Missing int parameter 2", '\0', nullptr},
    {"(1, 2", "ii", {}, "Expected ',' or ')' after parameter 2", '\0', nullptr},
    {"(1, ", "id", {}, "Missing double parameter 2", '\0', nullptr},
    {"(1, ", "is", {}, "Missing STRING parameter 2", '\0', nullptr},
    {"(1, q);", "ii", {}, "Variable \"q\" is not defined, expecting int parameter 2", '\0', nullptr},
    {"(1, q);", "is", {}, "Variable \"q\" is not defined, expecting STRING parameter 2", '\0', nullptr},
    {"(s);", "d", {}, "Variable s is not type double, parameter 1 expected double", '\0', nullptr},
    {"(N);", "s", {}, "Variable n is not type STRING, parameter 1 expected STRING", '\0', nullptr},
    {"(abc\");", "s", {}, "Variable \"abc\" is not defined, expecting STRING parameter 1", '\0', nullptr},
    {"(5);", "s", {}, "Missing leading \" for string parameter 1", '\0', nullptr},
    {"(\"open);", "s", {}, "Missing trailing \" for string parameter 1", '\0', nullptr},
    {"(\"a\" x);", "s", {}, "Expected , or ) after string parameter 1", '\0', nullptr},
    {"(.);", "d", {}, "Invalid double parameter 1", '\0', nullptr},
    {"(S, \"b\");", "ss", {"txt", "b"}, nullptr, ')', ""},
    {"(n, x);", "dd", {"-4", "7.9"}, nullptr, ')', "x"},
    {"(s x);", "s", {}, "Expected ',' or ')' after parameter 1", '\0', nullptr},
    {"(99999999999);", "i", {"2147483647"}, nullptr, ')', ""},
    {"5);", "i", {}, "Missing '('", '\0', nullptr},
    {"(   ", "i", {}, "missing );", '\0', nullptr},
    {"x);", "e", {}, "Missing '('", '\0', nullptr},
    {"(5);", "e", {}, "missing )", '\0', nullptr},
    {"() x", "e", {}, "missing ; after )", '\0', nullptr},
};

TEST(ArgumentsTest, ReaderTable)
{
    for (const Row &row : kRows) {
        SCOPED_TRACE(row.text + " / " + row.readers);
        VariableList variables = MakeVariables();
        const VariableList before = variables;
        const char *cursor = row.text.c_str();
        EString error;
        bool ok = true;
        std::vector<std::string> values;
        Variable *result = nullptr;
        if (row.readers == "e") {
            ok = ParseEmptyParameterList(cursor, error);
        } else {
            ok = ReadArgumentListStart(cursor, error);
            for (size_t i = 0; ok && i < row.readers.size(); ++i) {
                const int number = static_cast<int>(i + 1);
                if (row.readers[i] == 'i') {
                    int32_t v = 0;
                    ok = GetIntParameter(number, cursor, v, error, &variables, &result);
                    values.push_back(std::to_string(v));
                } else if (row.readers[i] == 'd') {
                    double v = 0;
                    ok = GetDoubleParameter(number, cursor, v, error, &variables, &result);
                    char buffer[64];
                    std::snprintf(buffer, sizeof buffer, "%g", v);
                    values.push_back(buffer);
                } else {
                    EString v;
                    ok = GetStringParameter(number, cursor, v, error, &variables, &result);
                    values.push_back(v.c_str());
                }
            }
        }
        if (row.error) {
            EXPECT_FALSE(ok);
            EXPECT_STREQ(error.c_str(), row.error);
        } else {
            ASSERT_TRUE(ok) << error.c_str();
            EXPECT_EQ(values, row.values);
            if (row.cursorAt != '\0') {
                EXPECT_EQ(*cursor, row.cursorAt);
            }
            if (row.result && *row.result) {
                ASSERT_NE(result, nullptr);
                EXPECT_STREQ(result->name.c_str(), row.result);
            } else if (row.result) {
                EXPECT_EQ(result, nullptr);
            }
        }
        // Readers never change a variable.
        for (size_t i = 0; i < variables.size(); ++i) {
            EXPECT_EQ(variables[i].integer, before[i].integer);
            EXPECT_EQ(variables[i].number, before[i].number);
            EXPECT_STREQ(variables[i].text.c_str(), before[i].text.c_str());
        }
    }
}

TEST(ArgumentsTest, WithoutVariableListOnlyLiteralsCount)
{
    struct
    {
        char reader;
        const char *message;
    } const cases[] = {{'i', "Invalid int parameter 1"},
                       {'d', "Invalid double parameter 1"},
                       {'s', "Missing leading \" for string parameter 1"}};
    for (const auto &c : cases) {
        const char *cursor = "x);";
        EString error;
        bool ok = true;
        if (c.reader == 'i') {
            int32_t v = 0;
            ok = GetIntParameter(1, cursor, v, error, nullptr, nullptr);
        } else if (c.reader == 'd') {
            double v = 0;
            ok = GetDoubleParameter(1, cursor, v, error, nullptr, nullptr);
        } else {
            EString v;
            ok = GetStringParameter(1, cursor, v, error, nullptr, nullptr);
        }
        EXPECT_FALSE(ok);
        EXPECT_STREQ(error.c_str(), c.message);
    }
}

TEST(ArgumentsTest, LiteralInResultPositionNamesTheParameter)
{
    EString error;
    EXPECT_FALSE(CheckResultVariable("StrLen", 2, nullptr, error));
    EXPECT_STREQ(error.c_str(), "StrLen() - parameter 2 must be a variable to receive the result.");
    Variable v;
    EXPECT_TRUE(CheckResultVariable("StrLen", 2, &v, error));
}

// The reader over a whole list: numbering from the first number on, the result readers, and the
// optional readers, which neither write the error text nor change what they were given.
struct ListRow
{
    std::string text; // from "(" on
    int firstNumber;
    std::string readers; // i d s: Int Double Text; I D S: their *Result forms; o t O T: OptionalInt,
                         // OptionalText, OptionalIntResult, OptionalTextResult
    std::string read;    // per reader: the value, the variable's name, "literal" or "absent"
    const char *error;   // the error text afterwards; "before" when nothing wrote it
    int number;          // Number() afterwards
    char restAt;         // the character under Rest() afterwards
};

const std::vector<ListRow> kListRows = {
    {"(5, 2.5, \"a\");", 1, "ids", "5|2.5|a", "before", 4, ')'},
    {"(n, \"b\");", 1, "ds", "-4|b", "before", 3, ')'},
    {"(n, x, s);", 1, "IDS", "n|x|s", "before", 4, ')'},
    {"(5, 6);", 1, "IS", "literal", "Missing leading \" for string parameter 2", 2, '6'},
    {"(5, s);", 1, "ii", "5", "Variable s is not type int, parameter 2 expected int", 2, 's'},
    {"(1);", 1, "ii", "1", "Invalid int parameter 2", 2, ')'},
    {"(\"a\", q);", 0, "sI", "a", "Variable \"q\" is not defined, expecting int parameter 1", 1, 'q'},
    {"(\"a\", ", 0, "ss", "a", "Missing STRING parameter 1", 1, '\0'},
    {"(\"a\");", 1, "so", "a|absent", "before", 2, ')'},
    {"(\"a\", 9);", 1, "so", "a|9", "before", 3, ')'},
    {"(\"a\", \"f\");", 1, "st", "a|f", "before", 3, ')'},
    {"(\"a\", 9);", 1, "st", "a|absent", "before", 2, '9'},
    {"(\"a\", n, s);", 1, "sOT", "a|n|s", "before", 4, ')'},
    {"(\"a\", 5);", 1, "sOT", "a|literal|absent", "before", 3, ')'},
    // A reader that finds nothing leaves the argument and its number to the next one.
    {"(\"a\", s);", 1, "sOT", "a|absent|s", "before", 3, ')'},
};

TEST(ArgumentsTest, ReaderReadsTheListInOrder)
{
    for (const ListRow &row : kListRows) {
        SCOPED_TRACE(row.text + " / " + row.readers);
        VariableList variables = MakeVariables();
        EString error("before");
        ArgumentReader args(row.text.c_str(), variables, error, row.firstNumber);
        ASSERT_TRUE(args.Start());
        std::string read;
        auto put = [&](const std::string &text) { read += (read.empty() ? "" : "|") + text; };
        auto name = [](const Variable *v) {
            return v ? std::string(v->name.c_str()) : std::string("literal");
        };
        for (char reader : row.readers) {
            // A marker the optional readers must leave alone or clear.
            const int32_t keptInt = 77;
            Variable *variable = &variables[0];
            int32_t i = keptInt;
            double d = 0;
            EString s("kept");
            bool ok = false;
            switch (reader) {
            case 'i':
                if ((ok = args.Int(i)))
                    put(std::to_string(i));
                break;
            case 'd':
                if ((ok = args.Double(d))) {
                    char buffer[64];
                    std::snprintf(buffer, sizeof buffer, "%g", d);
                    put(buffer);
                }
                break;
            case 's':
                if ((ok = args.Text(s)))
                    put(s.c_str());
                break;
            case 'I':
            case 'D':
            case 'S':
                ok = reader == 'I'   ? args.IntResult(variable)
                     : reader == 'D' ? args.DoubleResult(variable)
                                     : args.TextResult(variable);
                if (ok)
                    put(name(variable));
                break;
            case 'o':
                ok = true;
                if (args.OptionalInt(i))
                    put(std::to_string(i));
                else if (i == keptInt)
                    put("absent");
                break;
            case 't':
                ok = true;
                if (args.OptionalText(s))
                    put(s.c_str());
                else if (std::string(s.c_str()) == "kept")
                    put("absent");
                break;
            default:
                ok = true;
                if (reader == 'O' ? args.OptionalIntResult(variable) : args.OptionalTextResult(variable))
                    put(name(variable));
                else if (variable == nullptr)
                    put("absent");
                break;
            }
            if (!ok)
                break;
        }
        EXPECT_EQ(read, row.read);
        EXPECT_STREQ(error.c_str(), row.error);
        EXPECT_EQ(args.Number(), row.number);
        EXPECT_EQ(*args.Rest(), row.restAt);
    }
}

} // namespace
