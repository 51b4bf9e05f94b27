// Reading and writing plain profile files key by key, and the whole-section routines.
#include "Ostravo/ProfileStorage.h"
#include "ProfileTestSupport.h"
#include "platform/Files.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <vector>

namespace vantelis::test {
namespace {

const std::string kMissing = "<no file>"; // no file before the call

struct WriteCase
{
    const char *what;
    std::string before; // file bytes, or kMissing
    const char *section;
    const char *item;
    std::string value;
    bool result;
    std::string after; // expected file bytes; for a false result the file must stay as before
};

class ProfileWriteTest : public ProfileFixture
{
};

TEST_F(ProfileWriteTest, EditingRules)
{
    const std::string v256(256, 'v');
    const std::string v257(257, 'w');
    const std::string old1024(1024, 'o');
    const std::string old1025(1025, 'o');
    const WriteCase cases[] = {
        {"missing file is created", kMissing, "S", "k", "v", true, "[S]\r\nk=v\r\n"},
        {"existing value replaced, nothing else", "[S]\r\na=1\r\nb=2\r\n", "S", "a", "9", true,
         "[S]\r\na=9\r\nb=2\r\n"},
        {"new key before the next header, behind blank and comment lines",
         "[A]\r\nx=1\r\n\r\n# note\r\n[B]\r\ny=2\r\n", "A", "z", "3", true,
         "[A]\r\nx=1\r\n\r\n# note\r\nz=3\r\n[B]\r\ny=2\r\n"},
        {"new key at the end of the last section", "[A]\r\nx=1\r\n", "A", "z", "3", true,
         "[A]\r\nx=1\r\nz=3\r\n"},
        {"missing section appended", "[A]\r\nx=1\r\n", "B", "y", "2", true, "[A]\r\nx=1\r\n[B]\r\ny=2\r\n"},
        {"lines before the first header stay", "top=1\r\n[A]\r\n", "A", "x", "1", true,
         "top=1\r\n[A]\r\nx=1\r\n"},
        {"LF-only file gets CR LF", "[A]\nx=1\n[B]\ny=2\n", "A", "z", "3", true,
         "[A]\r\nx=1\r\nz=3\r\n[B]\r\ny=2\r\n"},
        {"CR-only file gets CR LF", "[A]\rx=1\r", "A", "x", "5", true, "[A]\r\nx=5\r\n"},
        {"missing final line end", "[A]\r\nx=1", "A", "y", "2", true, "[A]\r\nx=1\r\ny=2\r\n"},
        {"same value still rewrites (normalised)", "[S]\na=1\n", "S", "a", "1", true, "[S]\r\na=1\r\n"},
        {"'key = 1' is not the item key", "[S]\r\nkey = 1\r\n", "S", "key", "2", true,
         "[S]\r\nkey = 1\r\nkey=2\r\n"},
        {"item names ignore case", "[S]\r\nKEY=1\r\n", "S", "key", "2", true, "[S]\r\nKEY=2\r\n"},
        {"section names keep case", "[Settings]\r\na=1\r\n", "settings", "a", "2", true,
         "[Settings]\r\na=1\r\n[settings]\r\na=2\r\n"},
        {"duplicate section: the first one is edited", "[A]\r\nx=1\r\n[A]\r\ny=2\r\n", "A", "y", "3", true,
         "[A]\r\nx=1\r\ny=3\r\n[A]\r\ny=2\r\n"},
        {"header inside a value is not the section", "[A]\r\nv=[S]\r\n[S]\r\nk=1\r\n", "S", "k", "2", true,
         "[A]\r\nv=[S]\r\n[S]\r\nk=2\r\n"},
        {"blank value", "[S]\r\na=1\r\n", "S", "a", "", true, "[S]\r\na=\r\n"},
        {"one-byte file without line end", "x", "S", "a", "1", true, "x\r\n[S]\r\na=1\r\n"},
        {"new value of 256 characters", "[S]\r\n", "S", "a", v256, true, "[S]\r\na=" + v256 + "\r\n"},
        {"new value of 257 characters is refused", "[S]\r\n", "S", "a", v257, false, ""},
        {"new section with a value of 257 characters is refused", "[A]\r\n", "S", "a", v257, false, ""},
        {"257 characters replace an existing value", "[S]\r\na=1\r\n", "S", "a", v257, true,
         "[S]\r\na=" + v257 + "\r\n"},
        {"old value of 1024 characters is replaced", "[S]\r\na=" + old1024 + "\r\n", "S", "a", "n", true,
         "[S]\r\na=n\r\n"},
        {"old value of 1025 characters stays, write fails", "[S]\r\na=" + old1025 + "\r\n", "S", "a", "n",
         false, ""},
        {"text behind ']' of the header", "[S] x\r\na=1\r\n", "S", "a", "2", false, ""},
        {"error line in the section", "[S]\r\n/x\r\na=1\r\n", "S", "a", "2", false, ""},
        {"forbidden character in a name part", "[S]\r\nb&c=1\r\n", "S", "a", "2", false, ""},
        {"indented next header", "[A]\r\nx=1\r\n  [B]\r\n", "A", "z", "1", false, ""},
        {"value with a line break", "[S]\r\n", "S", "a", "1\r\n[T]", false, ""},
        {"item name with '['", "[S]\r\n", "S", "a[1]", "1", false, ""},
        {"invalid section name", "[S]\r\n", "1S", "a", "1", false, ""},
        {"invalid item name", "[S]\r\n", "S", "a b", "1", false, ""},
    };
    int n = 0;
    for (const WriteCase &c : cases) {
        SCOPED_TRACE(c.what);
        const std::string file = m_dir.file("w" + std::to_string(n++) + ".ini");
        if (c.before != kMissing)
            WriteFileBytes(file, c.before);
        EXPECT_EQ(Ostravo::E_WritePrivateProfileString(c.section, c.item, c.value.c_str(), file.c_str()),
                  c.result);
        if (c.result)
            EXPECT_EQ(ReadFileBytes(file), c.after);
        else if (c.before != kMissing)
            EXPECT_EQ(ReadFileBytes(file), c.before);
        else
            EXPECT_FALSE(platform::FileExists(file));
    }
}

TEST_F(ProfileWriteTest, RefusedWritesAreLogged)
{
    const std::string file = m_dir.file("refused.ini");
    WriteFileBytes(file, "[S] junk\r\na=1\r\n");
    EXPECT_FALSE(Ostravo::E_WritePrivateProfileString("S", "a", "2", file.c_str()));
    EXPECT_FALSE(Ostravo::E_WritePrivateProfileString("S", "a", std::string(257, 'v').c_str(), file.c_str()));
    EXPECT_FALSE(Ostravo::E_WritePrivateProfileString("9", "a", "2", file.c_str()));
    EXPECT_FALSE(Ostravo::E_WritePrivateProfileString("S", "=", "2", file.c_str()));
    EXPECT_EQ(LogCount("Ostravo::E_WritePrivateProfileString() : Invalid section name: 9"), 1);
    EXPECT_EQ(LogCount("Ostravo::E_WritePrivateProfileString() : Invalid item name: ="), 1);
    EXPECT_NE(Log().find("Ostravo::E_WritePrivateProfileString() : Section header cannot be parsed"),
              std::string::npos);
}

TEST_F(ProfileWriteTest, FailedReplaceLeavesTheFileWhole)
{
    const std::string file = m_dir.file("keep.ini");
    const std::string before = "[S]\r\na=1\r\nb=2\r\n";
    const struct
    {
        platform::ReplaceFailurePoint point;
        const char *message;
    } failures[] = {
        {platform::ReplaceFailurePoint::Create,
         "Ostravo::E_WritePrivateProfileString() : problem opening file for writing: "},
        {platform::ReplaceFailurePoint::Write,
         "Ostravo::E_WritePrivateProfileString() : problem writing to file: "},
        {platform::ReplaceFailurePoint::Flush,
         "Ostravo::E_WritePrivateProfileString() : problem writing to file: "},
        {platform::ReplaceFailurePoint::Rename,
         "Ostravo::E_WritePrivateProfileString() : problem writing to file: "},
    };
    for (const auto &failure : failures) {
        WriteFileBytes(file, before);
        platform::FailNextReplaceAt(failure.point);
        EXPECT_FALSE(Ostravo::E_WritePrivateProfileString("S", "a", "changed", file.c_str()));
        EXPECT_EQ(ReadFileBytes(file), before);
        EXPECT_EQ(LogCount(failure.message + file), 1);
    }
    // Nothing is left beside it: no temporary file, and no lock file (locks live outside the
    // user's folders).
    const std::vector<platform::DirEntry> left = platform::ListFolder(m_dir.str(), "*keep*");
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].name, "keep.ini");
}

TEST_F(ProfileWriteTest, ReadOnlyFileRefusesEveryWriteAndKeepsItsBytes)
{
    // Read-only by its mode: refused as an in-place write would be, for root as well.
    const std::string file = m_dir.file("readonly.ini");
    const std::string before = "[S]\r\na=1\r\n[S]\r\nb=2\r\n";
    WriteFileBytes(file, before);
    ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
    EXPECT_FALSE(Ostravo::E_WritePrivateProfileString("S", "a", "2", file.c_str()));
    EXPECT_FALSE(Ostravo::E_ReplaceSection("S", {EString("a=3")}, file.c_str()));
    EXPECT_FALSE(Ostravo::E_RemoveRedundantSections(file.c_str()));
    EXPECT_EQ(ReadFileBytes(file), before);
    for (const char *function :
         {"E_WritePrivateProfileString", "E_ReplaceSection", "E_RemoveRedundantSections"})
        EXPECT_EQ(
            LogCount("Ostravo::" + std::string(function) + "() : problem opening file for writing: " + file),
            1)
            << function;
    struct stat info;
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0444u);
}

struct ReadCase
{
    const char *what;
    std::string content;
    const char *section;
    const char *item;
    const char *def;
    uint32_t size;
    bool result;
    const char *value;
};

class ProfileReadTest : public ProfileFixture
{
};

TEST_F(ProfileReadTest, Rules)
{
    const std::string name128(128, 'n');
    const std::string name129(129, 'n');
    const std::string section63(63, 'S');
    const std::string section64(64, 'S');
    const std::string item127(127, 'i');
    const std::string item128(128, 'i');
    const ReadCase cases[] = {
        {"plain read", "[S]\r\na=1\r\n", "S", "a", "d", 256, true, "1"},
        {"value keeps its blanks", "[S]\r\na= x \r\n", "S", "a", "d", 256, true, " x "},
        {"blanks and tabs before the name", "[S]\r\n \t a=4\r\n", "S", "a", "d", 256, true, "4"},
        {"'key = 1' is not key", "[S]\r\nkey = 1\r\n", "S", "key", "d", 256, true, "d"},
        {"item names cannot end in a blank", "[S]\r\nkey = 1\r\n", "S", "key ", "d", 256, false, ""},
        {"item names ignore case", "[S]\r\nkey=1\r\n", "S", "KEY", "d", 256, true, "1"},
        {"section names keep case", "[Settings]\r\na=1\r\n", "settings", "a", "d", 256, true, "d"},
        {"comments and odd lines are skipped", "[S]\r\n// a=1\r\n#a=2\r\n1a=3\r\n-a=5\r\na=4\r\n", "S", "a",
         "d", 256, true, "4"},
        {"line without '=' is skipped", "[S]\r\nnote & more\r\na=2\r\n", "S", "a", "d", 256, true, "2"},
        {"LF-only file", "[A]\nx=1\n[S]\na=2\n", "S", "a", "d", 256, true, "2"},
        {"CR-only file", "[A]\rx=1\r[S]\ra=2\r", "S", "a", "d", 256, true, "2"},
        {"next header ends the section", "[S]\r\nb=1\r\n[T]\r\na=2\r\n", "S", "a", "d", 256, true, "d"},
        {"header not at a line start", "x[S]\r\na=1\r\n", "S", "a", "d", 256, true, "d"},
        {"header text inside a value first", "v=[S]\r\n[S]\r\na=1\r\n", "S", "a", "d", 256, true, "1"},
        {"text behind ']' ends the search", "[S] \r\na=1\r\n", "S", "a", "d", 256, true, "d"},
        {"single slash ends the search", "[S]\r\n/x\r\na=1\r\n", "S", "a", "d", 256, true, "d"},
        {"ampersand in a name part ends the search", "[S]\r\nb&c=1\r\na=2\r\n", "S", "a", "d", 256, true,
         "d"},
        {"grave accent in a name part ends the search", "[S]\r\nb`c=1\r\na=2\r\n", "S", "a", "d", 256, true,
         "d"},
        {"name part of 128 characters", "[S]\r\n" + name128 + "=1\r\na=2\r\n", "S", "a", "d", 256, true, "2"},
        {"name part of 129 characters", "[S]\r\n" + name129 + "=1\r\na=2\r\n", "S", "a", "d", 256, true, "d"},
        {"value stops at a NUL", std::string("[S]\r\na=x\0y\r\n", 12), "S", "a", "d", 256, true, "x"},
        {"value of size - 1 characters", "[S]\r\na=abc\r\n", "S", "a", "d", 4, true, "abc"},
        {"value of size characters", "[S]\r\na=abcd\r\n", "S", "a", "d", 4, false, ""},
        {"missing item, default fits", "[S]\r\n", "S", "a", "abc", 4, true, "abc"},
        {"missing item, default too large", "[S]\r\n", "S", "a", "abcd", 4, false, ""},
        {"missing item, null default", "[S]\r\n", "S", "a", nullptr, 256, false, ""},
        {"missing section, default", "[T]\r\n", "S", "a", "d", 256, true, "d"},
        {"missing section, null default", "[T]\r\n", "S", "a", nullptr, 256, false, ""},
        {"section name of 63 characters", "[" + section63 + "]\r\na=1\r\n", section63.c_str(), "a", "d", 256,
         true, "1"},
        {"section name of 64 characters", "[" + section64 + "]\r\na=1\r\n", section64.c_str(), "a", "d", 256,
         false, ""},
        {"item name of 127 characters", "[S]\r\n" + item127 + "=1\r\n", "S", item127.c_str(), "d", 256, true,
         "1"},
        {"item name of 128 characters", "[S]\r\n" + item128 + "=1\r\n", "S", item128.c_str(), "d", 256, false,
         ""},
        {"invalid section name", "[S]\r\n", "S!", "a", "d", 256, false, ""},
        {"invalid item name", "[S]\r\n", "S", "a=b", "d", 256, false, ""},
    };
    int n = 0;
    for (const ReadCase &c : cases) {
        SCOPED_TRACE(c.what);
        const std::string file = m_dir.file("r" + std::to_string(n++) + ".ini");
        WriteFileBytes(file, c.content);
        bool ok = false;
        EXPECT_EQ(Read(file, c.section, c.item, c.def, c.size, &ok), c.value);
        EXPECT_EQ(ok, c.result);
        EXPECT_EQ(ReadFileBytes(file), c.content); // a read never writes
    }
}

TEST_F(ProfileReadTest, MissingFileGivesTheDefault)
{
    const std::string file = m_dir.file("none.ini");
    bool ok = false;
    EXPECT_EQ(Read(file, "S", "a", "dflt", 256, &ok), "dflt");
    EXPECT_TRUE(ok);
    EXPECT_EQ(Read(file, "S", "a", nullptr, 256, &ok), "");
    EXPECT_TRUE(ok);
    EXPECT_EQ(Read(file, "S", "a", "abcdef", 4, &ok), "abc"); // cut to fit
    EXPECT_TRUE(ok);
    EXPECT_FALSE(platform::FileExists(file));

    char untouched = 'x';
    EXPECT_FALSE(Ostravo::E_GetPrivateProfileString("S", "a", "d", &untouched, 0, file.c_str()));
    EXPECT_EQ(untouched, 'x');
}

TEST_F(ProfileReadTest, FailuresAreLoggedOncePerRun)
{
    const std::string file = m_dir.file("log.ini");
    WriteFileBytes(file, "[S]\r\na=abcdef\r\n");
    for (int i = 0; i < 3; ++i) {
        Read(file, "S", "a", "", 4);
        Read(file, "T", "a", nullptr);
        Read(file, "S", "b", "too long", 4);
    }
    EXPECT_EQ(LogCount("Ostravo::E_GetPrivateProfileString() : Item: a in section: S in file: " + file +
                       " is too large for provided buffer size: 4"),
              1);
    EXPECT_EQ(LogCount("Ostravo::E_GetPrivateProfileString() : Section not found: T in file: " + file), 1);
    EXPECT_EQ(LogCount("Ostravo::E_GetPrivateProfileString() : Item not found: b in section: S in file: " +
                       file + " and default value provided is too large."),
              1);
}

TEST_F(ProfileReadTest, BackslashPathsNameTheSameFile)
{
    const std::string file = m_dir.file("slash.ini");
    WriteFileBytes(file, "[S]\r\na=1\r\n");
    std::string windows = file;
    for (char &c : windows)
        if (c == '/')
            c = '\\';
    EXPECT_EQ(Read(windows, "S", "a", "d"), "1");
    EXPECT_TRUE(Ostravo::E_WritePrivateProfileString("S", "b", "2", windows.c_str()));
    EXPECT_EQ(ReadFileBytes(file), "[S]\r\na=1\r\nb=2\r\n");
}

class ProfileSectionTest : public ProfileFixture
{
  protected:
    static std::vector<std::string> Texts(const std::vector<EString> &lines)
    {
        std::vector<std::string> texts;
        for (const EString &line : lines)
            texts.emplace_back(line.c_str());
        return texts;
    }
};

TEST_F(ProfileSectionTest, ReadSectionKeepsLinesOfThreeCharactersAndMore)
{
    const std::string file = m_dir.file("sections.ini");
    WriteFileBytes(file, "[A]\r\nab\r\nabc\r\n# comment=1\r\n\r\nkey = value\r\n  x\r\n[B]\r\nb=1\r\n");
    std::vector<EString> lines;
    lines.emplace_back("kept");
    ASSERT_TRUE(Ostravo::E_ReadSection("A", lines, file.c_str()));
    EXPECT_EQ(Texts(lines), (std::vector<std::string>{"kept", "abc", "# comment=1", "key = value", "  x"}));

    std::vector<EString> none;
    EXPECT_FALSE(Ostravo::E_ReadSection("C", none, file.c_str()));
    EXPECT_FALSE(Ostravo::E_ReadSection("A", none, m_dir.file("missing.ini").c_str()));
    EXPECT_FALSE(Ostravo::E_ReadSection("A]", none, file.c_str()));
    EXPECT_TRUE(none.empty());
    EXPECT_EQ(LogCount("Ostravo::E_ReadSection() : Invalid section name: A]"), 1);
}

TEST_F(ProfileSectionTest, ReplaceSectionMovesItToTheEnd)
{
    const struct
    {
        const char *what;
        std::string before; // or kMissing
        std::string after;
    } cases[] = {
        {"middle section", "[A]\r\na=1\r\n[R]\r\nold=1\r\n\r\n[B]\r\nb=2\r\n",
         "[A]\r\na=1\r\n[B]\r\nb=2\r\n[R]\r\nx=1\r\ny = 2\r\n"},
        {"last section", "[A]\r\na=1\r\n[R]\r\nold=1\r\n", "[A]\r\na=1\r\n[R]\r\nx=1\r\ny = 2\r\n"},
        {"missing section, LF-only file", "[A]\na=1", "[A]\r\na=1\r\n[R]\r\nx=1\r\ny = 2\r\n"},
        {"missing file", kMissing, "[R]\r\nx=1\r\ny = 2\r\n"},
    };
    std::vector<EString> lines;
    lines.emplace_back("x=1");
    lines.emplace_back("y = 2");
    int n = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const std::string file = m_dir.file("replace" + std::to_string(n++) + ".ini");
        if (c.before != kMissing)
            WriteFileBytes(file, c.before);
        EXPECT_TRUE(Ostravo::E_ReplaceSection("R", lines, file.c_str()));
        EXPECT_EQ(ReadFileBytes(file), c.after);
    }
}

TEST_F(ProfileSectionTest, RemoveRedundantSections)
{
    const std::string file = m_dir.file("redundant.ini");
    WriteFileBytes(file, "top=0\n[A]\na=1\n[B]\nb=2\n[A]\na=3\nc=4\n[C]\n[B]\n[a]\n");
    ASSERT_TRUE(Ostravo::E_RemoveRedundantSections(file.c_str()));
    EXPECT_EQ(ReadFileBytes(file), "top=0\r\n[A]\r\na=1\r\n[B]\r\nb=2\r\n[C]\r\n[a]\r\n");
    EXPECT_EQ(
        LogCount("Ostravo::E_RemoveRedundantSections() : 2 sections will be deleted from file : " + file), 1);

    // Nothing repeated: the file is not touched (it keeps its LF line ends).
    const std::string single = m_dir.file("single.ini");
    WriteFileBytes(single, "[A]\na=1\n[B]\n");
    EXPECT_TRUE(Ostravo::E_RemoveRedundantSections(single.c_str()));
    EXPECT_EQ(ReadFileBytes(single), "[A]\na=1\n[B]\n");

    const std::string missing = m_dir.file("missing.ini");
    EXPECT_TRUE(Ostravo::E_RemoveRedundantSections(missing.c_str()));
    EXPECT_FALSE(platform::FileExists(missing));
}

TEST_F(ProfileSectionTest, RemoveRedundantSectionsKeepsTheSectionReadsUse)
{
    // Reads take a header only where '[' opens its line; the cleanup uses the same rule, so it never
    // removes the copy a read returns.
    const struct
    {
        const char *what;
        std::string before;
        std::string after; // bytes after the cleanup
        const char *section;
        const char *item;
        const char *value; // what a read returns before and after
    } cases[] = {
        {"indented copy first: it is no header, the unindented one stays",
         "  [Cal]\r\nUpper=1\r\n[Cal]\r\nUpper=120\r\n", "  [Cal]\r\nUpper=1\r\n[Cal]\r\nUpper=120\r\n",
         "Cal", "Upper", "120"},
        {"tab-indented copy between two real ones",
         "[Cal]\r\nUpper=7\r\n\t[Cal]\r\nx=1\r\n[Cal]\r\nUpper=8\r\n",
         "[Cal]\r\nUpper=7\r\n\t[Cal]\r\nx=1\r\n", "Cal", "Upper", "7"},
        {"header without ']' is no copy of anything",
         "[Cal\r\nUpper=1\r\n[Cal]\r\nUpper=2\r\n[Cal\r\nUpper=3\r\n",
         "[Cal\r\nUpper=1\r\n[Cal]\r\nUpper=2\r\n[Cal\r\nUpper=3\r\n", "Cal", "Upper", "2"},
        {"first header with text behind ']' is the one reads find",
         "[Cal] x\r\nUpper=1\r\n[Cal]\r\nUpper=2\r\n[B]\r\nb=1\r\n", "[Cal] x\r\nUpper=1\r\n[B]\r\nb=1\r\n",
         "Cal", "Upper", "default"},
        {"a NUL in a header name is part of the name",
         std::string("[C\0l]\r\nUpper=1\r\n[C]\r\nUpper=2\r\n", 30),
         std::string("[C\0l]\r\nUpper=1\r\n[C]\r\nUpper=2\r\n", 30), "C", "Upper", "2"},
    };
    int n = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const std::string file = m_dir.file("headers" + std::to_string(n++) + ".ini");
        WriteFileBytes(file, c.before);
        EXPECT_EQ(Read(file, c.section, c.item, "default"), c.value);
        EXPECT_TRUE(Ostravo::E_RemoveRedundantSections(file.c_str()));
        EXPECT_EQ(ReadFileBytes(file), c.after);
        EXPECT_EQ(Read(file, c.section, c.item, "default"), c.value);
    }
}

TEST_F(ProfileSectionTest, ReplaceSectionRefusesLinesThatWouldStartASection)
{
    const std::string file = m_dir.file("inject.ini");
    const std::string before = "[R]\r\nold=1\r\n[Other]\r\nkey=1\r\n";
    const char *const badLines[] = {"a=1\r\n[Other]", "a=1\n[Other]", "a=1\rkey=2", "[Other]"};
    for (const char *bad : badLines) {
        SCOPED_TRACE(bad);
        WriteFileBytes(file, before);
        std::vector<EString> lines{EString("fine=1"), EString(bad)};
        EXPECT_FALSE(Ostravo::E_ReplaceSection("R", lines, file.c_str()));
        EXPECT_EQ(ReadFileBytes(file), before);
    }
    EXPECT_EQ(LogCount("Ostravo::E_ReplaceSection() : Line holds a line break or opens a header, in section: "
                       "R in file: " +
                       file),
              1);
    // An indented '[' opens no header: such a line is kept as it is.
    std::vector<EString> lines{EString("  [x]=1")};
    EXPECT_TRUE(Ostravo::E_ReplaceSection("R", lines, file.c_str()));
    EXPECT_EQ(ReadFileBytes(file), "[Other]\r\nkey=1\r\n[R]\r\n  [x]=1\r\n");
}

TEST_F(ProfileSectionTest, MigrateSectionCopiesTheOldSectionOnce)
{
    const std::string file = m_dir.file("migrate.ini");
    WriteFileBytes(file, "[MigrationAnalysisDlg]\r\nFlow=12\r\nx\r\n[Other]\r\n");
    ASSERT_TRUE(MigrateSection(file.c_str()));
    EXPECT_EQ(
        ReadFileBytes(file),
        "[MigrationAnalysisDlg]\r\nFlow=12\r\nx\r\n[Other]\r\n[FractionationAnalysisDlg]\r\nFlow=12\r\n");
    // The new section now exists: nothing more happens.
    EXPECT_FALSE(MigrateSection(file.c_str()));
    EXPECT_FALSE(MigrateSection(m_dir.file("none.ini").c_str()));
}

// Hooks: a read hook that answers one item and reads the file itself for another.
int g_readHookCalls = 0;
bool TestReadHook(const char *section, const char *item, const char *def, char *buffer, uint32_t size,
                  const char *file)
{
    ++g_readHookCalls;
    if (std::string(item) == "hooked") {
        std::snprintf(buffer, size, "from hook");
        return true;
    }
    if (std::string(item) == "redirect") {
        // Its own read goes straight to the file.
        Ostravo::E_GetPrivateProfileString(section, "real", def, buffer, size, file);
        return true;
    }
    return false;
}

int g_writeHookCalls = 0;
bool TestWriteHook(const char *section, const char *item, const char *value, const char *file)
{
    ++g_writeHookCalls;
    if (std::string(item) == "swallowed")
        return true;
    if (std::string(item) == "twice") {
        // Its own write goes straight to the file; answering false lets the normal write run too.
        Ostravo::E_WritePrivateProfileString(section, "copy", value, file);
    }
    return false;
}

class ProfileHookTest : public ProfileFixture
{
};

TEST_F(ProfileHookTest, HooksAnswerFirstAndAreNotReentered)
{
    const std::string file = m_dir.file("hook.ini");
    WriteFileBytes(file, "[S]\r\nreal=42\r\nplain=7\r\n");
    g_readHookCalls = 0;
    ProfileReadHook = &TestReadHook;
    EXPECT_EQ(Read(file, "S", "hooked"), "from hook");
    EXPECT_EQ(Read(file, "S", "redirect"), "42");
    EXPECT_EQ(Read(file, "S", "plain"), "7");
    EXPECT_EQ(g_readHookCalls, 3); // the hook's own read did not call it again

    g_writeHookCalls = 0;
    ProfileWriteHook = &TestWriteHook;
    EXPECT_TRUE(Ostravo::E_WritePrivateProfileString("S", "swallowed", "1", file.c_str()));
    EXPECT_TRUE(Ostravo::E_WritePrivateProfileString("S", "twice", "5", file.c_str()));
    EXPECT_EQ(g_writeHookCalls, 2);
    EXPECT_EQ(ReadFileBytes(file), "[S]\r\nreal=42\r\nplain=7\r\ncopy=5\r\ntwice=5\r\n");
}

} // namespace
} // namespace vantelis::test
