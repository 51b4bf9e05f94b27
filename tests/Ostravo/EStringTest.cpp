#include "Ostravo/EString.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string Text(const EString &s)
{
    return std::string(s.m_text);
}

// ------------------------------------------------------------------------------------------------
// Construction, assignment, appending

TEST(EStringTest, ConstructionGivesTextAndClearErrorFlag)
{
    EString empty;
    EXPECT_STREQ(empty.m_text, "");
    EXPECT_EQ(empty.m_error, 0);
    EXPECT_FALSE(empty.IsNonEmpty());

    EString fromNull(static_cast<const char *>(nullptr));
    ASSERT_NE(fromNull.m_text, nullptr);
    EXPECT_STREQ(fromNull.m_text, "");

    EString text("abc");
    EXPECT_STREQ(text.m_text, "abc");
    EXPECT_TRUE(text.IsNonEmpty());
    EXPECT_EQ(text.GetLength(), 3);

    EString copy(text);
    EXPECT_STREQ(copy.m_text, "abc");
    EXPECT_NE(copy.m_text, text.m_text);

    EXPECT_STREQ(EString(-42).m_text, "-42");
    EXPECT_STREQ(EString(2147483647).m_text, "2147483647");
    // A 64-bit value keeps the 32-bit semantics of the stored "%ld" text.
    EXPECT_STREQ(EString((int64_t{1} << 32) + 5).m_text, "5");
    EXPECT_STREQ(EString(0.5).m_text, "0.5");
    EXPECT_STREQ(EString(42.0).m_text, "42");
}

TEST(EStringTest, AssignmentRules)
{
    EString s("old");
    s = EString("");
    EXPECT_STREQ(s.m_text, "");

    s = EString("new");
    EXPECT_STREQ(s.m_text, "new");
    const EString &self = s;
    s = self;
    EXPECT_STREQ(s.m_text, "new");

    s.Assign(nullptr);
    EXPECT_STREQ(s.m_text, "");
    s.Assign("abc").Assign("");
    EXPECT_STREQ(s.m_text, "");

    // Assigning a part of its own text.
    s.Assign("abcdef");
    s.Assign(s.m_text + 2);
    EXPECT_STREQ(s.m_text, "cdef");
}

TEST(EStringTest, AssignNTakesAtMostNCharactersAndNeverEmpties)
{
    struct Case
    {
        const char *text;
        int n;
        int result;
        const char *expected;
    } cases[] = {
        {"abcdef", 3, 1, "abc"}, {"ab", 5, 1, "ab"},      {"abc", 0, 0, "keep"},
        {"abc", -2, 0, "keep"},  {nullptr, 3, 0, "keep"}, {"x", 1, 1, "x"},
    };
    for (const Case &c : cases) {
        EString s("keep");
        EXPECT_EQ(s.AssignN(c.text, c.n), c.result) << (c.text ? c.text : "null") << " " << c.n;
        EXPECT_STREQ(s.m_text, c.expected);
    }
}

TEST(EStringTest, AppendAndErrorFlag)
{
    EString s("ab");
    EXPECT_EQ(s.Append("cd"), 1);
    EXPECT_STREQ(s.m_text, "abcd");
    EXPECT_EQ(s.Append(nullptr), 0);
    EXPECT_STREQ(s.m_text, "abcd");
    s.AppendUnsigned(0).AppendUnsigned(4294967295u);
    EXPECT_STREQ(s.m_text, "abcd04294967295");

    s.Assign("x");
    s.Append(s.m_text); // its own text
    EXPECT_STREQ(s.m_text, "xx");

    // Once the flag is set every append is refused.
    s.m_error = 1;
    EXPECT_EQ(s.Append("y"), 0);
    s.AppendUnsigned(7);
    EXPECT_STREQ(s.m_text, "xx");
}

// ------------------------------------------------------------------------------------------------
// Editing

TEST(EStringTest, Trim)
{
    struct Case
    {
        const char *text;
        const char *expected;
    } cases[] = {
        {"  ab  \r\nxy", "ab"}, {"\t\t", ""},   {" a b ", "a b"}, {"x\ny", "x"}, {"", ""},
        {"\tab\t ", "ab"},      {"\r\nab", ""}, {"ab", "ab"},
    };
    for (const Case &c : cases) {
        EString s(c.text);
        s.Trim();
        EXPECT_STREQ(s.m_text, c.expected) << '"' << c.text << '"';
    }
}

TEST(EStringTest, Erase)
{
    struct Case
    {
        int pos;
        int n;
        int result;
        const char *expected;
    } cases[] = {
        {-1, 2, 0, "abcdef"}, {6, 1, 1, "abcdef"}, {9, 1, 1, "abcdef"},
        {4, 5, 1, "abcd"},    {4, 2, 1, "abcd"},   {1, 2, 1, "adef"},
        {0, 6, 1, ""},        {0, 0, 1, "abcdef"}, {2, -3, 1, "abcdef"},
    };
    for (const Case &c : cases) {
        EString s("abcdef");
        EXPECT_EQ(s.Erase(c.pos, c.n), c.result) << c.pos << "," << c.n;
        EXPECT_STREQ(s.m_text, c.expected) << c.pos << "," << c.n;
    }
}

TEST(EStringTest, Extract)
{
    struct Case
    {
        int pos;
        int n;
        const char *taken;
        const char *kept;
    } cases[] = {
        {2, 2, "cd", "abef"},  {6, 1, "", "abcdef"}, {3, -1, "def", "abc"},
        {3, 10, "def", "abc"}, {3, 3, "def", "abc"}, {0, 6, "abcdef", ""},
        {0, 1, "a", "bcdef"},  {2, 0, "", "abcdef"}, {-1, 2, "", "abcdef"},
    };
    for (const Case &c : cases) {
        EString s("abcdef");
        EString *taken = s.Extract(c.pos, c.n);
        ASSERT_NE(taken, nullptr);
        EXPECT_STREQ(taken->m_text, c.taken) << c.pos << "," << c.n;
        EXPECT_STREQ(s.m_text, c.kept) << c.pos << "," << c.n;
        delete taken;
    }
}

TEST(EStringTest, InsertAtColumn)
{
    struct Case
    {
        const char *held;
        int column;
        const char *text;
        int n;
        const char *expected;
    } cases[] = {
        // Inside the text: n characters go in, blanks standing in for missing ones.
        {"abcd", 2, "XY", -1, "abXYcd"},
        {"abcd", 0, "XYZ", 2, "XYabcd"},
        {"abcd", 1, "X", 3, "aX  bcd"},
        {"abcd", 3, "  ", -1, "abc  d"},
        // At or past the end: the gap is blank-filled, trailing blanks of the text are dropped,
        // measured over the whole text and not only over n characters.
        {"ab", 5, "xy", -1, "ab   xy"},
        {"ab", 2, "x  ", -1, "abx"},
        {"ab", 4, "   ", -1, "ab"},
        {"ab", 2, "", -1, "ab"},
        {"ab", 3, "x  y", 2, "ab x "},
        {"ab", 2, "x\t ", -1, "abx\t"},
        {"", 0, "abc", 2, "ab"},
        // Nothing to insert.
        {"ab", 1, nullptr, 3, "ab"},
        {"ab", 1, "xyz", 0, "ab"},
    };
    for (const Case &c : cases) {
        EString s(c.held);
        EXPECT_EQ(s.InsertAtColumn(c.column, c.text, c.n), 1);
        EXPECT_STREQ(s.m_text, c.expected) << c.held << " @" << c.column << " " << (c.text ? c.text : "null");
    }
}

TEST(EStringTest, Replace)
{
    struct Case
    {
        const char *held;
        const char *find;
        const char *with;
        int max;
        int count;
        const char *expected;
    } cases[] = {
        {"aXbXc", "X", "YY", 10, 2, "aYYbYYc"},
        {"aaa", "a", "aa", 100, 3, "aaaaaa"}, // never searches inside a replacement
        {"xx", "x", "xx", 5, 2, "xxxx"},
        {"abab", "ab", "x", 1, 1, "xab"},
        {"abab", "ab", "x", 0, 1, "xab"}, // a match is always replaced once
        {"a.b.c", ".", "/", -1, 1, "a/b.c"},
        {"a.b.c", ".", "/", 9, 2, "a/b/c"},
        {"abc", "", "x", 5, 0, "abc"},
        {"abc", nullptr, "x", 5, 0, "abc"},
        {"abc", "b", nullptr, 5, 1, "ac"},
        {"abc", "B", "x", 5, 0, "abc"}, // exact case
        {"abcc", "cc", "d  ", 5, 1, "abd  "},
        {"tab\t", "\t", "  ", 5, 1, "tab  "},
        {"one two", "one", "", 5, 1, " two"},
    };
    for (const Case &c : cases) {
        EString s(c.held);
        EXPECT_EQ(s.Replace(c.find, c.with, c.max), c.count) << c.held;
        EXPECT_STREQ(s.m_text, c.expected) << c.held;
    }
}

// ------------------------------------------------------------------------------------------------
// Splitting

struct SplitCase
{
    const char *text;
    char delimiter;
    std::vector<std::string> fields;
};

const std::vector<SplitCase> &SplitCases()
{
    static const std::vector<SplitCase> cases = {
        {"a\tb\t\tc", '\t', {"a", "b", "", "c"}},
        {"a,\"b,c\",d", ',', {"a", "b,c", "d"}},
        {"\"x\ty\"\tz", '\t', {"x\ty", "z"}},
        {"  a , b  ", ',', {"a ", "b"}}, // blanks before a field go, before a delimiter stay
        {"a,b,", ',', {"a", "b"}},       // no empty last field
        {"", ',', {}},
        {"   ", ',', {}},
        {"a,\"unclosed", ',', {"a"}},
        {",a", ',', {"", "a"}},
        {"\"\",x", ',', {"", "x"}},
        {"\" q \";2", ';', {" q ", "2"}},
        {"a;b;c", ';', {"a", "b", "c"}},
        {"x\r\n", '\t', {"x\r\n"}}, // the line end stays part of the last field
        {"\ta", ',', {"\ta"}},      // only blanks are skipped
        // Text between a closing quote and its delimiter makes a field of its own; there are more
        // fields than delimiters + 1 here.
        {"\"ab\" ,x", ',', {"ab", "", "x"}},
        {"\"ab\"cd,e", ',', {"ab", "cd", "e"}},
    };
    return cases;
}

TEST(EStringTest, SplitFields)
{
    for (const SplitCase &c : SplitCases()) {
        EString s(c.text);
        EString *fields = nullptr;
        int count = s.Split(&fields, c.delimiter);
        ASSERT_NE(fields, nullptr) << c.text;
        ASSERT_EQ(count, static_cast<int>(c.fields.size())) << '"' << c.text << '"';
        for (int i = 0; i < count; ++i)
            EXPECT_EQ(Text(fields[i]), c.fields[i]) << '"' << c.text << "\" field " << i;
        delete[] fields;
    }
}

TEST(EStringTest, SplitIntoVectorMatchesSplitAndLeavesSpareFieldsEmpty)
{
    for (const SplitCase &c : SplitCases()) {
        std::vector<EString> fields(7, EString("stale"));
        int count = SplitIntoVector(c.text, fields, c.delimiter);
        ASSERT_EQ(count, static_cast<int>(c.fields.size())) << '"' << c.text << '"';
        size_t delimiters = std::count(c.text, c.text + std::strlen(c.text), c.delimiter);
        EXPECT_EQ(fields.size(), std::max(delimiters + 1, c.fields.size())) << c.text;
        for (size_t i = 0; i < fields.size(); ++i)
            EXPECT_EQ(Text(fields[i]), i < c.fields.size() ? c.fields[i] : "") << c.text << " field " << i;
    }
    std::vector<EString> fields;
    EXPECT_EQ(SplitIntoVector(nullptr, fields, ','), 0);
}

// ------------------------------------------------------------------------------------------------
// Paths

TEST(EStringTest, SplitPath)
{
    struct Case
    {
        const char *path;
        int folder, name, extension;
        int result;
        const char *expected; // "keep" = unchanged
    } cases[] = {
        {"C:\\dir\\name.ext", 1, 0, 0, 1, "C:\\dir\\"},
        {"C:\\dir\\name.ext", 0, 1, 0, 1, "name"},
        {"C:\\dir\\name.ext", 0, 1, 1, 1, "name.ext"},
        {"C:\\dir\\name.ext", 0, 0, 1, 1, ".ext"},
        {"C:\\dir\\name.ext", 1, 1, 0, 1, "C:\\dir\\name"},
        // Forward slashes and mixed separators.
        {"/home/u/name.ext", 1, 0, 0, 1, "/home/u/"},
        {"/home/u/name.ext", 1, 1, 0, 1, "/home/u/name"},
        {"C:/dir\\sub/file.txt", 1, 0, 0, 1, "C:/dir\\sub/"},
        {"C:/dir\\sub/file.txt", 0, 1, 1, 1, "file.txt"},
        // No folder: the folder request empties the string and succeeds.
        {"name.ext", 1, 0, 0, 1, ""},
        {"Prime.scr", 0, 1, 0, 1, "Prime"},
        // A path that ends with a separator has no name.
        {"C:\\dir\\", 0, 1, 1, 0, "keep"},
        {"C:\\dir\\", 0, 1, 0, 0, "keep"},
        {"/dir/", 1, 0, 0, 1, "/dir/"},
        // A blank or tab ends the extension.
        {"C:\\dir\\file.tar gz", 0, 0, 1, 1, ".tar"},
        {"C:\\dir\\file.tar gz", 0, 1, 1, 1, "file.tar"},
        {"C:\\dir\\file.tar\tgz", 0, 1, 1, 1, "file.tar"},
        // A drive colon without a separator.
        {"C:name.ext", 1, 0, 0, 1, "C:"},
        {"C:name.ext", 0, 1, 0, 1, "name"},
        // Leading blanks and tabs are skipped; nothing else gives 0.
        {"  \tC:\\d\\n.e", 1, 0, 0, 1, "C:\\d\\"},
        {" \t ", 0, 1, 1, 0, "keep"},
        {nullptr, 0, 1, 1, 0, "keep"},
        // Without an extension.
        {"C:\\dir\\name", 1, 1, 0, 0, "keep"},
        {"C:\\dir\\name", 0, 0, 1, 1, ""},
        {"C:\\dir\\name", 0, 1, 0, 1, "name"},
        {".bashrc", 0, 1, 0, 1, ".bashrc"},
        {".bashrc", 0, 0, 1, 1, ""},
        {"dir/.cfg.bak", 0, 1, 0, 1, ".cfg"},
        {"dir/.cfg.bak", 0, 0, 1, 1, ".bak"},
        // A '.' in a folder name is not an extension.
        {"C:\\a.b\\name", 0, 1, 0, 1, "name"},
        {"C:\\a.b\\name", 1, 0, 0, 1, "C:\\a.b\\"},
        {"C:\\a.b\\name", 0, 0, 1, 1, ""},
        {"a.b/name", 0, 1, 1, 1, "name"},
    };
    for (const Case &c : cases) {
        EString s("keep");
        EXPECT_EQ(s.SplitPath(c.path, c.folder, c.name, c.extension), c.result)
            << (c.path ? c.path : "null") << " " << c.folder << c.name << c.extension;
        EXPECT_STREQ(s.m_text, c.expected)
            << (c.path ? c.path : "null") << " " << c.folder << c.name << c.extension;
    }
}

TEST(EStringTest, RemoveExtension)
{
    struct Case
    {
        const char *held;
        bool result;
        const char *expected;
    } cases[] = {
        {"C:\\dir\\name.ext", true, "C:\\dir\\name"},
        {"/d/a.tar.gz", true, "/d/a.tar"},
        {"C:\\dir\\name", false, "C:\\dir\\name"},
        {"", false, ""},
    };
    for (const Case &c : cases) {
        EString s(c.held);
        EXPECT_EQ(s.RemoveExtension(), c.result) << c.held;
        EXPECT_STREQ(s.m_text, c.expected);
    }
}

TEST(EStringTest, ChangeDirectory)
{
    struct Case
    {
        const char *held;
        const char *folder;
        bool result;
        const char *expected;
    } cases[] = {
        {"C:\\old\\img.png", "/data/new", true, "/data/new/img.png"},
        {"C:\\old\\img.png", "/data/new/", true, "/data/new/img.png"},
        {"/old/img.png", "D:\\x\\", true, "D:\\x\\img.png"},
        {"C:\\old\\img.png", "  ", true, "img.png"},
        {"C:\\old\\img.png", "", true, "img.png"},
        {"C:\\old\\img.png", "  /d\t ", true, "/d/img.png"},
        {"img", "/d", true, "/d/img"},
        {"C:\\old\\", "/d", false, "C:\\old\\"},
        {"img.png", nullptr, false, "img.png"},
    };
    for (const Case &c : cases) {
        EString s(c.held);
        EXPECT_EQ(s.ChangeDirectory(c.folder), c.result)
            << c.held << " -> " << (c.folder ? c.folder : "null");
        EXPECT_STREQ(s.m_text, c.expected);
    }
}

TEST(EStringTest, JoinPathAndAppendPathPart)
{
    struct JoinCase
    {
        const char *folder;
        const char *name;
        const char *expected;
    } joins[] = {
        {"/a", "b", "/a/b"},           {"/a/", "b", "/a/b"},
        {"C:\\a\\", "b", "C:\\a\\b"},  {"", "x", "x"},
        {nullptr, "x", "x"},           {"  \t", "x", "x"},
        {" /a \r\nrest", "b", "/a/b"}, {"a", "b/c.txt", "a/b/c.txt"},
    };
    for (const JoinCase &c : joins) {
        EString s("old");
        EXPECT_EQ(s.JoinPath(c.folder, c.name), 1);
        EXPECT_STREQ(s.m_text, c.expected) << (c.folder ? c.folder : "null");
    }
    EString self("/a");
    self.JoinPath(self.m_text, "b");
    EXPECT_STREQ(self.m_text, "/a/b");

    struct AppendCase
    {
        const char *held;
        const char *part;
        const char *expected;
    } appends[] = {
        {"", "x", "/x"}, // an empty text also receives a separator
        {"/a", "x", "/a/x"},    {"/a/", "x", "/a/x"}, {" /a \t", "x", "/a/x"}, {"C:\\a\\", "x", "C:\\a\\x"},
        {"/a", nullptr, "/a/"},
    };
    for (const AppendCase &c : appends) {
        EString s(c.held);
        EXPECT_EQ(s.AppendPathPart(c.part), 1);
        EXPECT_STREQ(s.m_text, c.expected) << '"' << c.held << '"';
    }
}

TEST(EStringTest, SanitizeFileName)
{
    struct Case
    {
        std::string held;
        int result;
        std::string expected;
    } cases[] = {
        {"a:b/c?.txt", 1, "a_b_c_.txt"},
        {"<x> [1] {2} (3) ~!#$%+,-.;=@^_", 1, "<x> [1] {2} (3) ~!#$%+,-.;=@^_"},
        {"a\"&'*\\`|b", 1, "a_______b"},
        {"tab\there\x7f", 1, "tab_here_"},
        {"caf\xe9", 1, "caf_"},
        {std::string(256, '?'), 1, std::string(256, '_')},
        {std::string(257, '?'), 0, std::string(257, '?')},
    };
    for (const Case &c : cases) {
        EString s(c.held.c_str());
        EXPECT_EQ(s.SanitizeFileName(), c.result) << c.held;
        EXPECT_EQ(Text(s), c.expected);
    }
}

TEST(EStringTest, IsValidFileNameCharOverEveryByte)
{
    const std::string punctuationAllowed = " !#$%()+,-.;<=>@[]^_{}~";
    for (int b = 0; b < 256; ++b) {
        bool letterOrDigit = (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9');
        bool expected =
            letterOrDigit || (b != 0 && punctuationAllowed.find(static_cast<char>(b)) != std::string::npos);
        EXPECT_EQ(IsValidFileNameChar(static_cast<char>(b)), expected) << "byte " << b;
    }
}

// ------------------------------------------------------------------------------------------------
// Comparison and search

TEST(EStringTest, CompareText)
{
    struct Case
    {
        const char *a;
        const char *b;
        int exact;
        int maxLen;
        bool equal;
    } cases[] = {
        {"abc", "ABD", 0, 2, true},  {"abc", "ABD", 0, 0, false},    {"abc", "ABC", 0, 0, true},
        {"abc", "ABC", 1, 0, false}, {nullptr, nullptr, 1, 0, true}, {nullptr, "a", 1, 0, false},
        {"a", nullptr, 0, 0, false}, {"ab", "abc", 1, 0, false},     {"ab", "abc", 1, 2, true},
        {"ab", "ab", 1, 5, true},    {"ab", "abc", 1, 3, false},     {"\xe9", "\xc9", 0, 0, false},
        {"[", "{", 0, 0, false},     {"@", "`", 0, 0, false},        {"TRUE", "true", 0, 0, true},
    };
    for (const Case &c : cases)
        EXPECT_EQ(CompareText(c.a, c.b, c.exact, c.maxLen), c.equal)
            << (c.a ? c.a : "null") << " / " << (c.b ? c.b : "null") << " exact " << c.exact << " max "
            << c.maxLen;
}

TEST(EStringTest, CountCharsAndFindSubstring)
{
    EXPECT_EQ(CountChars(nullptr, 0), 0);
    EXPECT_EQ(CountChars("a b\tc ", 0), 6);
    EXPECT_EQ(CountChars("a b\tc ", 1), 3);

    const char *text = "Hello World";
    EXPECT_EQ(FindSubstring(text, "world", 0), text + 6);
    EXPECT_EQ(FindSubstring(text, "world", 1), nullptr);
    EXPECT_EQ(FindSubstring(text, "World", 1), text + 6);
    EXPECT_EQ(FindSubstring(text, "d", 1), text + 10);
    EXPECT_EQ(FindSubstring("ab", "abc", 1), nullptr);
    EXPECT_EQ(FindSubstring(static_cast<const char *>(nullptr), "a", 1), nullptr);
    EXPECT_EQ(FindSubstring(text, nullptr, 1), nullptr);
    const char *repeated = "xaaa";
    EXPECT_EQ(FindSubstring(repeated, "aa", 1), repeated + 1);
}

TEST(EStringTest, KeyOrders)
{
    struct Case
    {
        const char *a;
        const char *b;
        bool exact;
        int sign;
    } cases[] = {
        {"abc", "abc", true, 0},     {"ABC", "abc", true, -1}, {"ABC", "abc", false, 0},
        {"ab", "abc", true, -1},     {"abc", "ab", false, 1},  {nullptr, "", true, -1},
        {nullptr, nullptr, true, 0}, {"\xe9", "A", true, -1}, // bytes above 127 are negative
        {"ROIA", "ROI_2", true, -1}, {"B", "a", true, -1},     {"b", "A", false, 1},
        {"a_", "A[", false, 1}, // '_' (95) after '[' (91); letters fold, punctuation does not
    };
    for (const Case &c : cases) {
        int r = CompareKeyText(c.a, c.b, c.exact);
        EXPECT_EQ((r > 0) - (r < 0), c.sign) << (c.a ? c.a : "null") << " / " << (c.b ? c.b : "null");
    }
    EXPECT_TRUE(EStringLessNoCase(EString("abc"), EString("ABD")));
    EXPECT_FALSE(EStringLessNoCase(EString("abc"), EString("ABC")));
    EXPECT_TRUE(EStringGreaterNoCase(EString("Zeta"), EString("alpha")));
    EXPECT_FALSE(EStringGreaterNoCase(EString("ABC"), EString("abc")));
}

// ------------------------------------------------------------------------------------------------
// Numbers

std::string Format(double value)
{
    char out[11];
    std::memset(out, 'Z', sizeof out);
    FormatDouble(value, out);
    return std::string(out, strnlen(out, sizeof out));
}

TEST(EStringTest, FormatDouble)
{
    struct Case
    {
        double value;
        const char *expected;
    } cases[] = {
        {0.0, "0"},
        {-0.0, "0"},
        {42.0, "42"},
        {-7.0, "-7"},
        {0.5, "0.5"},
        {-2.25, "-2.25"},
        {1e6, "1000000"},
        {-1e6, "-1000000"},
        {1234567.0, "1234567"},
        // 9 significant digits, then fewer until the text fits.
        {123456.789, "123456.789"},
        {1.0 / 3.0, "0.33333333"},
        {-1.0 / 3.0, "-0.3333333"},
        {0.000123456789, "0.00012346"},
        {1e-6, "1e-6"},
        {1.5e-5, "1.5e-5"},
        {1.23456789e-5, "1.23457e-5"},
        // Outside [1e-6, 1e6]: 10 significant digits, cut without carrying.
        {2.5e-7, "2.5e-7"},
        {-2.5e-7, "-2.5e-7"},
        {1.234567891234e-7, "1.23456e-7"},
        {-1.234567891234e-7, "-1.2345e-7"},
        {1.2345678912e20, "1.2345e+20"},
        {1e20, "1e+20"},
        {1e-300, "1e-300"},
        {1234567.891, "1234567.89"},
        {-1234567.891, "-1234567.8"},
        {9876543210.0, "9876543210"},
        // Cutting must not drop digits before the '.' (that would change the magnitude).
        {-9876543210.0, "-9.8765e+9"},
        {-123456789.5, "-123456789"},
        {123456789.5, "123456789"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Format(c.value), c.expected) << "value " << c.value;
}

TEST(EStringTest, FormatDoubleFitsAndReadsBackClose)
{
    // Mantissas with many digits over the whole range of exponents, both signs.
    const double mantissas[] = {1.0, 1.5, 1.23456789012345, 9.99999999999, 3.14159265358979, 7.0000001};
    for (int exponent = -310; exponent <= 308; ++exponent) {
        for (double m : mantissas) {
            for (int sign = -1; sign <= 1; sign += 2) {
                double value = sign * m * std::pow(10.0, exponent);
                if (value == 0.0 || !std::isfinite(value))
                    continue;
                std::string text = Format(value);
                ASSERT_LE(text.size(), 10u) << value;
                double back = std::strtod(text.c_str(), nullptr);
                // The shortest texts keep three significant digits (cut, not rounded).
                ASSERT_LE(std::fabs(back - value), 1e-2 * std::fabs(value)) << value << " -> " << text;
            }
        }
    }
    EXPECT_LE(Format(std::nan("")).size(), 10u);
    EXPECT_LE(Format(-INFINITY).size(), 10u);
}

TEST(EStringTest, TidyNumberText)
{
    struct Case
    {
        const char *text;
        const char *expected;
    } cases[] = {
        {"1.", "1"},           {"1.500", "1.5"},    {"1.00", "1.0"},
        {"100", "100"},        {"10", "10"},        {"0.0", "0.0"},
        {"1.5e+05", "1.5e+5"}, {"1.e-05", "1e-5"},  {"2.50e-03", "2.50e-3"},
        {"1e+100", "1e+100"},  {"-3.2000", "-3.2"},
    };
    for (const Case &c : cases) {
        char buffer[32];
        std::strcpy(buffer, c.text);
        TidyNumberText(buffer);
        EXPECT_STREQ(buffer, c.expected) << c.text;
    }
}

// ------------------------------------------------------------------------------------------------
// Folders

std::vector<std::string> Entries(const fs::path &folder)
{
    std::vector<std::string> names;
    for (const auto &entry : fs::recursive_directory_iterator(folder))
        names.push_back(fs::relative(entry.path(), folder).generic_string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(EStringTest, CreateDirectoryPathOnExistingFolderCreatesNothing)
{
    vantelis::test::TempDir dir;
    fs::create_directories(dir.path() / "a" / "b");
    auto before = Entries(dir.path());
    EXPECT_NE(CreateDirectoryPath(dir.file("a/b").c_str()), 0);
    EXPECT_NE(CreateDirectoryPath((dir.file("a/b") + "/").c_str()), 0);
    EXPECT_NE(CreateDirectoryPath(dir.str().c_str()), 0);
    EXPECT_EQ(Entries(dir.path()), before);
}

TEST(EStringTest, CreateDirectoryPathMakesMissingParents)
{
    vantelis::test::TempDir dir;
    struct Case
    {
        const char *relative;
        const char *made;
    } cases[] = {
        {"/x/y/z", "x/y/z"}, {"/p/q/", "p/q"}, {"\\w1\\w2\\w3\\", "w1/w2/w3"}, // backslash separators
    };
    for (const Case &c : cases) {
        std::string path = dir.str() + c.relative;
        EXPECT_NE(CreateDirectoryPath(path.c_str()), 0) << path;
        EXPECT_TRUE(fs::is_directory(dir.path() / c.made)) << c.made;
    }
}

TEST(EStringTest, CreateDirectoryPathFailsWhereNoFolderCanBe)
{
    vantelis::test::TempDir dir;
    vantelis::test::WriteFileBytes(dir.file("file.txt"), "x");
    EXPECT_EQ(CreateDirectoryPath(dir.file("file.txt").c_str()), 0);
    EXPECT_EQ(CreateDirectoryPath(dir.file("file.txt/sub/deeper").c_str()), 0);
    EXPECT_FALSE(fs::exists(dir.path() / "sub"));
    EXPECT_EQ(CreateDirectoryPath(nullptr), 0);
    EXPECT_EQ(CreateDirectoryPath(""), 0);
    EXPECT_NE(CreateDirectoryPath("/"), 0);
}

} // namespace
