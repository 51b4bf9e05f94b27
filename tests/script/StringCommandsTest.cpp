// The text, stored-string, time, log and sound commands run from scripts: what they leave in the
// variables and files, and the texts of their refusals.
#include "CommandFixture.h"

#include "Ostravo/CachedLog.h"
#include "platform/Process.h"
#include "script/commands/LogTimeSoundCommands.h"
#include "script/commands/StringCommands.h"
#include "support/FakeClock.h"

#include <gmock/gmock.h>

#include <mutex>

using ::testing::HasSubstr;
using vantelis::test::ReadFileBytes;
using vantelis::test::WriteFileBytes;

namespace {

class StringCommandsTest : public CommandFixture
{
  protected:
    StringCommandsTest()
        : CommandFixture(
              [] {
                  RegisterStringCommands();
                  RegisterLogTimeSoundCommands();
              },
              {cmd::StringToInt, cmd::StringToDouble, cmd::IsStringInt, cmd::StrLen, cmd::StrLeft,
               cmd::StrRight, cmd::StrReplace, cmd::ReadStoredString, cmd::WriteStoredString,
               cmd::GetCurrentTimeAsString, cmd::SaveTextToLogFile, cmd::PlaySound})
    {
    }
};

TEST_F(StringCommandsTest, ConversionsAndIntTest)
{
    EString error;
    ASSERT_TRUE(Run(
        Lines({"int i = 5;", "double d = 1;", "int n = 7;", "StringToInt(\"12abc\", i);",
               "StringToDouble(\"  -2.5e1x\", d);", "StringToInt(\"3\", d);", "StringToDouble(\"4\", n);"}),
        error))
        << error.c_str();
    EXPECT_EQ(Int("i"), 12);
    EXPECT_DOUBLE_EQ(Var("d").number, -25.0);
    // A numeric result of the other type passes and keeps its value.
    EXPECT_EQ(Int("n"), 7);

    struct Case
    {
        const char *text;
        int expected;
    } cases[] = {{"-5", 1},         {"0", 1},           {"-2147483648", 1}, {"2147483647", 1}, {"007", 0},
                 {"+5", 0},         {"5a", 0},          {"1.0", 0},         {" 5", 0},         {"", 0},
                 {"2147483648", 0}, {"-2147483649", 0}, {"-0", 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        ASSERT_TRUE(Run(Lines({"int r = 9;", std::string("IsStringInt(\"") + c.text + "\", r);"}), error))
            << error.c_str();
        EXPECT_EQ(Int("r"), c.expected);
    }
}

TEST_F(StringCommandsTest, FailuresNameTheTextAndLeaveTheVariable)
{
    struct Case
    {
        const char *line;
        const char *message;
    } cases[] = {
        {"StringToInt(\"abc\", i);", "Unable to convert: \"abc\" to an int."},
        {"StringToDouble(\"\", d);", "Unable to convert: \"\" to a double."},
        {"StrLen(\"abc\", 4);", "StrLen() - parameter 2 must be a variable to receive the result."},
        {"StrLeft(\"abc\", 1);", "StrLeft() - parameter 1 must be a variable to receive the result."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.line);
        EString error;
        EXPECT_FALSE(Run(Lines({"int i = 5;", "double d = 1.5;", c.line}), error));
        EXPECT_THAT(error.c_str(), HasSubstr(c.message));
        EXPECT_EQ(Int("i"), 5);
        EXPECT_DOUBLE_EQ(Var("d").number, 1.5);
    }
}

TEST_F(StringCommandsTest, EditingCommands)
{
    struct Case
    {
        const char *line;
        const char *text; // s afterwards
        int count;        // n afterwards
    } cases[] = {
        {"StrLeft(s, 3);", "abc", 9},   {"StrLeft(s, -1);", "", 9}, {"StrLeft(s, 10);", "abcdef", 9},
        {"StrRight(s, 2);", "ef", 9},   {"StrRight(s, 0);", "", 9}, {"StrRight(s, 6);", "abcdef", 9},
        {"StrLen(s, n);", "abcdef", 6},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.line);
        EString error;
        ASSERT_TRUE(Run(Lines({"STRING s = \"abcdef\";", "int n = 9;", c.line}), error)) << error.c_str();
        EXPECT_EQ(Text("s"), c.text);
        EXPECT_EQ(Int("n"), c.count);
    }

    struct Replace
    {
        const char *text, *find, *with;
        int maximum;
        const char *expected;
        int count;
    } replaces[] = {
        {"aaa", "a", "aa", 100, "aaaaaa", 3}, // inserted text is not searched again
        {"aaa", "a", "aa", 0, "aaaa", 1},     // the first occurrence is always replaced
        {"aaa", "a", "aa", -4, "aaaa", 1},    {"xAx", "a", "b", 5, "xAx", 0}, // exact case
        {"abab", "ab", "", 2, "", 2},         {"abc", "", "z", 5, "abc", 0},
    };
    for (const Replace &r : replaces) {
        SCOPED_TRACE(r.text + std::string("/") + r.find);
        EString error;
        ASSERT_TRUE(Run(Lines({std::string("STRING s = \"") + r.text + "\";",
                               "int n = " + std::to_string(r.maximum) + ";",
                               std::string("StrReplace(s, \"") + r.find + "\", \"" + r.with + "\", n);"}),
                        error))
            << error.c_str();
        EXPECT_EQ(Text("s"), r.expected);
        EXPECT_EQ(Int("n"), r.count);
    }
    // A literal maximum is read as such; only the count has nowhere to go.
    EString error;
    ASSERT_TRUE(Run(Lines({"STRING s = \"aaa\";", "StrReplace(s, \"a\", \"b\", 2);"}), error))
        << error.c_str();
    EXPECT_EQ(Text("s"), "bba");
}

TEST_F(StringCommandsTest, StoredStringsLiveInTheDataFolder)
{
    WriteFileBytes(m_dir.file("store.ini"),
                   "[Run]\r\nLast=cartridge 7\r\nLong=" + std::string(1023, 'x') + "\r\n");
    EString error;
    ASSERT_TRUE(Run(Lines({"STRING a = \"old\";", "STRING b = \"old\";", "STRING c = \"old\";",
                           "ReadStoredString(\"Run\", \"Last\", a, \"C:\\Elsewhere\\store.ini\");",
                           "ReadStoredString(\"Run\", \"Missing\", b, \"/elsewhere/store.ini\");",
                           "ReadStoredString(\"Run\", \"Long\", c, \"store.ini\");",
                           "WriteStoredString(\"Script\", \"Value\", \"main\");",
                           "WriteStoredString(\"Script\", \"Value\", \"other\", \"D:\\data/new.ini\");",
                           "WriteStoredString(\"Script\", \"Value\", \"main2\", \"\");"}),
                    error))
        << error.c_str();
    EXPECT_EQ(Text("a"), "cartridge 7");
    EXPECT_EQ(Text("b"), "");
    EXPECT_EQ(Text("c"), ""); // longer than the 1022 characters a value may have
    EXPECT_THAT(ReadFileBytes(theApp.m_ini_path), HasSubstr("[Script]\r\nValue=main2\r\n"));
    EXPECT_THAT(ReadFileBytes(m_dir.file("new.ini")), HasSubstr("[Script]\r\nValue=other\r\n"));

    // A write that cannot happen is reported, for a named file and for the main settings file.
    std::filesystem::create_directory(m_dir.path() / "blocked.ini");
    ASSERT_FALSE(Run("WriteStoredString(\"S\", \"K\", \"v\", \"blocked.ini\");\n", error));
    EXPECT_THAT(error.c_str(), HasSubstr("Problem writing to file: " + m_dir.file("blocked.ini")));
    theApp.m_ini_path = m_dir.file("blocked.ini");
    ASSERT_FALSE(Run("WriteStoredString(\"S\", \"K\", \"v\");\n", error));
    EXPECT_THAT(error.c_str(), HasSubstr("Problem writing to file: " + m_dir.file("blocked.ini")));
}

TEST_F(StringCommandsTest, TimeTextAndLogLines)
{
    vantelis::test::FakeClockGuard clock;
    platform::SetFakeClock(vantelis::test::MakeTime(2024, 3, 7, 9, 5, 3, 42));
    const std::string other = m_dir.file("other/run.log");
    EString error;
    ASSERT_TRUE(
        Run(Lines({"STRING t;", "GetCurrentTimeAsString(t, 0);", "SaveTextToLogFile(\"run.log\", \"first\");",
                   "SaveTextToLogFile(\"run.log\", \"second\");",
                   "SaveTextToLogFile(\"" + other + "\", \"elsewhere\");"}),
            error))
        << error.c_str();
    EXPECT_EQ(Text("t"), "20240307-090503");

    // The lines wait in memory until the cached logs are written.
    const std::string inLog = m_dir.file("LOG/run.log");
    EXPECT_FALSE(std::filesystem::exists(inLog));
    ASSERT_TRUE(CachedLogging::Release(inLog.c_str(), error)) << error.c_str();
    ASSERT_TRUE(CachedLogging::Release(other.c_str(), error)) << error.c_str();
    EXPECT_EQ(ReadFileBytes(inLog), "03/07/2024 09:05:03.042\tfirst\r\n03/07/2024 09:05:03.042\tsecond\r\n");
    EXPECT_EQ(ReadFileBytes(other), "03/07/2024 09:05:03.042\telsewhere\r\n");

    // The unused int argument is still required.
    EXPECT_FALSE(LoadOnly("STRING t;\nGetCurrentTimeAsString(t);\n", error));
    EXPECT_THAT(error.c_str(), HasSubstr("int parameter 2"));
}

// Records the player's runs and answers with a set exit status.
class FakePlayer : public platform::ProcessLauncher
{
  public:
    bool Start(const std::string &program, const std::vector<std::string> &, std::string *error) override
    {
        *error = "unexpected start of " + program;
        return false;
    }
    bool Run(const std::string &program, const std::vector<std::string> &args, std::string *, int *exitCode,
             std::string *) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        runs.push_back(program);
        runs.insert(runs.end(), args.begin(), args.end());
        *exitCode = status;
        return true;
    }
    std::mutex mutex;
    std::vector<std::string> runs;
    int status = 0;
};

TEST_F(StringCommandsTest, PlaySoundFindsTheWaveInTheSoundsFolder)
{
    auto player = std::make_shared<FakePlayer>();
    auto previous = platform::SetLauncher(player);
    const std::string sounds = m_dir.file("Sounds");
    EString error;
    EXPECT_FALSE(Run("PlaySound(\"beep\");\n", error));
    EXPECT_THAT(error.c_str(), HasSubstr("Directory " + sounds + " does not exist."));

    std::filesystem::create_directory(sounds);
    WriteFileBytes(sounds + "/beep.wav", "RIFF");
    // Folder parts of the name are dropped: the file is always taken from the Sounds folder.
    ASSERT_TRUE(Run("PlaySound(\"beep\");\nPlaySound(\"..\\..\\x/beep\");\n", error)) << error.c_str();
    EXPECT_EQ(player->runs, (std::vector<std::string>{"aplay", "-q", "--", sounds + "/beep.wav", "aplay",
                                                      "-q", "--", sounds + "/beep.wav"}));

    EXPECT_FALSE(Run("PlaySound(\"beep.wav\");\n", error));
    EXPECT_THAT(error.c_str(), HasSubstr("File " + sounds + "/beep.wav.wav does not exist."));

    player->status = 1;
    EXPECT_FALSE(Run("PlaySound(\"beep\");\n", error));
    EXPECT_THAT(error.c_str(),
                HasSubstr("Unable to play sound file: " + sounds + "/beep.wav (aplay ended with status 1)"));

    // The argument is parameter 0 in the parser's messages.
    EXPECT_FALSE(LoadOnly("PlaySound(5);\n", error));
    EXPECT_THAT(error.c_str(), HasSubstr("string parameter 0"));
    platform::SetLauncher(previous);
}

} // namespace
