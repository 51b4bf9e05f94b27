#include "LogFixture.h"

#include "Ostravo/CachedLog.h"
#include "Ostravo/EString.h"
#include "support/FakeUi.h"

#include <cstdlib>
#include <cstring>
#include <functional>

using namespace vantelis::test;

namespace {

class CachedLogTest : public LogFolderTest
{
  protected:
    void SetUp() override
    {
        LogFolderTest::SetUp();
        ResetList();
    }
    void TearDown() override
    {
        ResetList();
        SetCachedLogWaitCapForTesting(0);
        LogFolderTest::TearDown();
    }
    static void ResetList()
    {
        ASSERT_TRUE(_CachedLog_semaphore.Wait(1000));
        CachedLogList.clear();
        CachedLogLastHit = -1;
        DefaultCachedLogInterval = 30;
        _CachedLog_semaphore.Release();
    }

    // One sweep of the worker; tickMs stands for the time that saving takes.
    static bool Sweep(const std::function<uint64_t()> &tickMs = platform::TickMs)
    {
        EXPECT_TRUE(_CachedLog_semaphore.Wait(1000));
        const bool ok = SweepCachedLogs(tickMs);
        _CachedLog_semaphore.Release();
        return ok;
    }
    static size_t Records()
    {
        EXPECT_TRUE(_CachedLog_semaphore.Wait(1000));
        const size_t count = CachedLogList.size();
        _CachedLog_semaphore.Release();
        return count;
    }
    void Add(const std::string &path, const char *line, bool mark = false)
    {
        EString error;
        ASSERT_TRUE(AddALine(path.c_str(), line, error, mark, false)) << error.c_str();
    }
    void AddHeader(const std::string &path, const char *line)
    {
        EString error;
        ASSERT_TRUE(AddAHeaderLine(path.c_str(), line, error)) << error.c_str();
    }
    static const char *ScriptHeader() { return "version\ttime\tScript\tline\r\n"; }
};

TEST_F(CachedLogTest, LinesReachTheFileOncePerIntervalInTheirOrder)
{
    const std::string path = Log("Pump/PumpLog_2024_03_07.log"); // the folder is made by the save
    Add(path, "one");
    Add(path, "two");
    EXPECT_FALSE(platform::FileExists(path)) << "writers never touch the disk";
    EXPECT_TRUE(Sweep());
    EXPECT_EQ(ReadFileBytes(path), "one\r\ntwo\r\n");

    Add(path, "three");
    platform::AdvanceFakeClock(30000); // exactly one interval: not yet due
    EXPECT_TRUE(Sweep());
    EXPECT_EQ(ReadFileBytes(path), "one\r\ntwo\r\n");
    Add(path, "four");
    platform::AdvanceFakeClock(1000);
    EXPECT_TRUE(Sweep());
    EXPECT_EQ(ReadFileBytes(path), "one\r\ntwo\r\nthree\r\nfour\r\n");
}

TEST_F(CachedLogTest, PathsThatDifferInCaseOrSeparatorShareOneRecord)
{
    Add(Log("Run.log"), "a");
    Add(dir.file("log/RUN.LOG"), "b");
    std::string backslashed = Log("run.log");
    for (char &c : backslashed)
        if (c == '/')
            c = '\\';
    Add(backslashed, "c");
    EXPECT_EQ(Records(), 1u);
    EXPECT_TRUE(Sweep());
    EXPECT_EQ(ReadFileBytes(Log("Run.log")), "a\r\nb\r\nc\r\n");
}

TEST_F(CachedLogTest, TimeStampPrefix)
{
    EString error;
    ASSERT_TRUE(AddALine(Log("t.log").c_str(), "line", error, false, true));
    ASSERT_TRUE(_CachedLog_semaphore.Wait(1000));
    ASSERT_EQ(CachedLogList.size(), 1u);
    EXPECT_EQ(CachedLogList[0].m_lines, std::vector<std::string>{"2024/03/07 09:05:03.042\tline"});
    _CachedLog_semaphore.Release();
}

TEST_F(CachedLogTest, ALogIdleForMoreThanThreeIntervalsIsDroppedAndItsNextLineStartsANewBlock)
{
    AddScriptLogLine("Prime.scr", "x = 1");
    EXPECT_TRUE(Sweep());
    platform::AdvanceFakeClock(90000); // three intervals: kept
    EXPECT_TRUE(Sweep());
    EXPECT_EQ(Records(), 1u);
    platform::AdvanceFakeClock(1000);
    EXPECT_TRUE(Sweep());
    EXPECT_EQ(Records(), 0u);

    AddScriptLogLine("Prime.scr", "x = 2");
    EXPECT_TRUE(Sweep());
    EXPECT_EQ(ReadFileBytes(Log("Script_2024_03_07.log")),
              std::string(ScriptHeader()) + "1.2.3.4\t09:05:03\tPrime.scr\tx = 1\r\n" + ScriptHeader() +
                  "1.2.3.4\t09:06:34\tPrime.scr\tx = 2\r\n");
}

TEST_F(CachedLogTest, ARecordThatNeverHeldALineIsDroppedAtTheNextSweep)
{
    EString error;
    EXPECT_EQ(GetNLines(Log("empty.log").c_str(), error), 0);
    EXPECT_EQ(Records(), 1u);
    EXPECT_TRUE(Sweep());
    EXPECT_EQ(Records(), 0u);
    EXPECT_FALSE(platform::FileExists(Log("empty.log")));
}

TEST_F(CachedLogTest, ASweepEndsOnceSavingTookMoreThan500Ms)
{
    const std::string paths[] = {Log("a.log"), Log("b.log"), Log("c.log")};
    for (const std::string &path : paths)
        Add(path, "line");
    // Every reading of the tick is 300 ms after the previous one, as if each save took that long.
    uint64_t tick = 0;
    auto slowSaves = [&tick] {
        const uint64_t now = tick;
        tick += 300;
        return now;
    };
    EXPECT_TRUE(Sweep(slowSaves)); // a at 300 ms goes on, b at 600 ms ends the sweep
    EXPECT_TRUE(platform::FileExists(paths[0]));
    EXPECT_TRUE(platform::FileExists(paths[1]));
    EXPECT_FALSE(platform::FileExists(paths[2]));
    tick = 0;
    EXPECT_TRUE(Sweep(slowSaves)); // a and b are not due: c is saved
    EXPECT_EQ(ReadFileBytes(paths[2]), "line\r\n");
}

TEST_F(CachedLogTest, LockTimeOutsFailWithTheirTexts)
{
    SetCachedLogWaitCapForTesting(20);
    ASSERT_TRUE(_CachedLog_semaphore.Wait(0));
    const std::string path = Log("x.log");
    struct Case
    {
        std::function<bool(EString &)> call;
        const char *text;
    } cases[] = {
        {[&](EString &e) { return AddALine(path.c_str(), "l", e); },
         "AddALine () - timeout waiting for _CachedLog_semaphore."},
        {[&](EString &e) { return AddAHeaderLine(path.c_str(), "h", e); },
         "AddALine () - timeout waiting for _CachedLog_semaphore."},
        {[&](EString &e) { return GetNLines(path.c_str(), e) >= 0; },
         "GetNLines () - timeout waiting for _CachedLog_semaphore."},
        {[&](EString &e) { return CachedLogging::Release(path.c_str(), e); },
         "Release () - timeout waiting for _CachedLog_semaphore."},
        {[&](EString &e) { return AddALine_ToDefaultLog("l", e); },
         "AddALine_ToDefaultLog () - timeout waiting for _CachedLog_semaphore."},
    };
    for (const Case &c : cases) {
        EString error;
        EXPECT_FALSE(c.call(error));
        EXPECT_STREQ(error.c_str(), c.text);
    }
    AddScriptLogLine("Prime.scr", "dropped"); // silently dropped
    EXPECT_TRUE(CachedLogList.empty());
    _CachedLog_semaphore.Release();
}

TEST_F(CachedLogTest, HeaderLinesAreInsertedAfterTheMarkedLineAndFollowEachOther)
{
    const std::string path = Log("Experiment.log");
    Add(path, "a");
    Add(path, "b");
    Add(path, "c", true); // marks two lines: the headers go between b and c
    AddHeader(path, "H1");
    AddHeader(path, "H2");
    EXPECT_TRUE(Sweep());
    EXPECT_EQ(ReadFileBytes(path), "a\r\nb\r\nH1\r\nH2\r\nc\r\n");

    Add(path, "d");
    AddHeader(path, "H3");
    platform::AdvanceFakeClock(31000);
    EXPECT_TRUE(Sweep());
    EXPECT_EQ(ReadFileBytes(path), "a\r\nb\r\nH1\r\nH2\r\nH3\r\nc\r\nd\r\n");
}

TEST_F(CachedLogTest, AnInsertPositionOfZeroIsTheStartOfTheFile)
{
    const std::string path = Log("Experiment.log");
    Add(path, "first", true);
    AddHeader(path, "H");
    EXPECT_TRUE(Sweep());
    EXPECT_EQ(ReadFileBytes(path), "H\r\nfirst\r\n");
}

TEST_F(CachedLogTest, HeaderLinesWithoutAMarkStayPendingAndKeepTheLogAlive)
{
    const std::string path = Log("x.log");
    Add(path, "x");
    AddHeader(path, "H");
    EXPECT_TRUE(Sweep());
    platform::AdvanceFakeClock(200000);
    EXPECT_TRUE(Sweep());
    EXPECT_EQ(ReadFileBytes(path), "x\r\n");
    ASSERT_TRUE(_CachedLog_semaphore.Wait(1000));
    ASSERT_EQ(CachedLogList.size(), 1u);
    EXPECT_EQ(CachedLogList[0].m_header_lines, std::vector<std::string>{"H"});
    _CachedLog_semaphore.Release();
}

TEST_F(CachedLogTest, AFailedHeaderInsertIsRetriedWithoutWritingTheLinesTwice)
{
    ScopedFakeUi ui;
    const std::string path = Log("Experiment.log");
    Add(path, "a");
    Add(path, "b", true);
    AddHeader(path, "H");
    platform::FailNextReplaceAt(platform::ReplaceFailurePoint::Rename);
    EXPECT_FALSE(Sweep());
    EXPECT_EQ(ReadFileBytes(path), "a\r\nb\r\n");
    ASSERT_EQ(ui->Messages().size(), 1u);
    EXPECT_EQ(ui->Messages()[0].text, "Problem writing to file: " + path);
    EXPECT_NE(ReadFileBytes(Log("Err_2024_03_07.log")).find("Problem writing to file: " + path),
              std::string::npos);

    EXPECT_TRUE(Sweep()); // still due: the header goes in, the lines are not appended again
    EXPECT_EQ(ReadFileBytes(path), "a\r\nH\r\nb\r\n");
}

TEST_F(CachedLogTest, AnInsertPositionPastTheFileFailsWithItsText)
{
    const std::string path = Log("Experiment.log");
    Add(path, "a");
    AddHeader(path, "H");
    ASSERT_TRUE(_CachedLog_semaphore.Wait(1000));
    CachedLog *log = GetCachedLogObj(path.c_str());
    log->m_header_insert_pos = 5;
    EString error;
    EXPECT_FALSE(log->Save(error));
    EXPECT_STREQ(error.c_str(), "CachedLog::SaveHeaderLines() Did not find the insert line position.");
    EXPECT_EQ(log->m_header_lines.size(), 1u);
    _CachedLog_semaphore.Release();
    EXPECT_EQ(ReadFileBytes(path), "a\r\n");
}

TEST_F(CachedLogTest, ReleaseWritesAtOnceAndRemovesTheRecord)
{
    EString error;
    EXPECT_TRUE(CachedLogging::Release(Log("none.log").c_str(), error));
    EXPECT_EQ(Records(), 0u) << "a record made by Release itself is removed again";
    EXPECT_FALSE(platform::FileExists(Log("none.log")));

    const std::string path = Log("Experiment.log");
    Add(path, "one");
    EXPECT_TRUE(Sweep());
    Add(path, "late");
    EXPECT_TRUE(CachedLogging::Release(path.c_str(), error));
    EXPECT_EQ(ReadFileBytes(path), "one\r\nlate\r\n");
    EXPECT_EQ(Records(), 0u);
}

TEST_F(CachedLogTest, AReleaseThatCannotSaveKeepsTheLinesForTheWorker)
{
    WriteFileBytes(dir.file("blocker"), "a file where a folder should be");
    const std::string path = dir.file("blocker/sub/run.log");
    Add(path, "precious");
    EString error;
    EXPECT_TRUE(CachedLogging::Release(path.c_str(), error));
    EXPECT_NE(ReadFileBytes(Log("Err_2024_03_07.log"))
                  .find("CachedLogging::Release() : Can't create directory: " + dir.file("blocker/sub/")),
              std::string::npos);
    ASSERT_TRUE(_CachedLog_semaphore.Wait(1000));
    ASSERT_EQ(CachedLogList.size(), 1u);
    EXPECT_EQ(CachedLogList[0].m_lines, std::vector<std::string>{"precious"});
    _CachedLog_semaphore.Release();
}

TEST_F(CachedLogTest, DefaultLogIsTheFirstRecord)
{
    EString error;
    EXPECT_FALSE(AddALine_ToDefaultLog("reading", error));
    EXPECT_STREQ(error.c_str(), "AddALine_ToDefaultLog () - there are no active cached log objects.");
    EXPECT_EQ(Records(), 0u);

    Add(Log("first.log"), "1");
    Add(Log("second.log"), "2");
    EXPECT_TRUE(AddALine_ToDefaultLog("reading", error));
    EXPECT_TRUE(Sweep());
    EXPECT_EQ(ReadFileBytes(Log("first.log")), "1\r\nreading\r\n");
    EXPECT_EQ(ReadFileBytes(Log("second.log")), "2\r\n");
}

TEST_F(CachedLogTest, DailyLogsChangeFileAtMidnight)
{
    platform::SetFakeClock(MakeTime(2024, 12, 31, 23, 59, 59, 900));
    AddCustomerUILogLine("Start", "Idle", nullptr);
    platform::AdvanceFakeClock(200);
    AddCustomerUILogLine("Load", "Ready", "cartridge 7");
    EXPECT_TRUE(Sweep());
    const std::string header = "version\ttime\tAction\tStateName\tInfo\r\n";
    EXPECT_EQ(ReadFileBytes(Log("CustomerUI_2024_12_31.log")),
              header + "1.2.3.4\t23:59:59\tStart\tIdle\t\r\n");
    EXPECT_EQ(ReadFileBytes(Log("CustomerUI_2025_01_01.log")),
              header + "1.2.3.4\t00:00:00\tLoad\tReady\tcartridge 7\r\n");
}

TEST_F(CachedLogTest, EveryScriptStartedInASecondIsCopiedAndNoneIsOverwritten)
{
    ASSERT_TRUE(platform::MakeFolder(dir.file("Scripts")));
    WriteFileBytes(dir.file("Scripts/Prime.scr"), "Prime ()\r\n{\r\n}\r\n");
    WriteFileBytes(dir.file("Scripts/Other.scr"), "Other");
    CopyScriptToLog("Prime.scr");
    CopyScriptToLog("Other.scr");
    EXPECT_EQ(ReadFileBytes(Log("Script_2024_03_07_09_05_03/Prime.scr")), "Prime ()\r\n{\r\n}\r\n");
    EXPECT_EQ(ReadFileBytes(Log("Script_2024_03_07_09_05_03/Other.scr")), "Other");
    // The same name again in that second (the script edited meanwhile): the copy of the first run
    // stays as it ran.
    WriteFileBytes(dir.file("Scripts/Prime.scr"), "changed");
    CopyScriptToLog("Prime.scr");
    EXPECT_EQ(ReadFileBytes(Log("Script_2024_03_07_09_05_03/Prime.scr")), "Prime ()\r\n{\r\n}\r\n");
    EXPECT_EQ(platform::ListFolder(Log("Script_2024_03_07_09_05_03")).size(), 2u);

    platform::AdvanceFakeClock(1000);
    CopyScriptToLog("Other.scr");
    EXPECT_EQ(ReadFileBytes(Log("Script_2024_03_07_09_05_04/Other.scr")), "Other");
}

// In a child process: start the worker, add lines and leave through a normal exit. The exit code
// tells what went wrong before the exit.
void AddLinesAndExit(const std::string &settingsPath, int lines)
{
    SetLogMainSettingsPath(settingsPath.c_str());
    EString error;
    if (!InitializeCachedLogging(error))
        std::_Exit(2);
    EString again;
    if (InitializeCachedLogging(again) ||
        std::strcmp(again.c_str(), "InitializeCachedLogging () - has already been called.") != 0)
        std::_Exit(3);
    if (DefaultCachedLogInterval != 7)
        std::_Exit(4);
    for (int i = 0; i < lines; ++i)
        AddScriptLogLine("Prime.scr", ("line " + std::to_string(i)).c_str());
    std::exit(0);
}

TEST_F(CachedLogTest, NothingAddedBeforeANormalExitIsLost)
{
    ::testing::FLAGS_gtest_death_test_style = "fast";
    const std::string settings = dir.file("Plexorin.ini");
    WriteFileBytes(settings, "[ExperimentSettings]\r\ndefault_cached_log_save_interval_sec=7\r\n");
    const int lines = 500;
    EXPECT_EXIT(AddLinesAndExit(settings, lines), ::testing::ExitedWithCode(0), "");

    std::string expected = ScriptHeader();
    for (int i = 0; i < lines; ++i)
        expected += "1.2.3.4\t09:05:03\tPrime.scr\tline " + std::to_string(i) + "\r\n";
    EXPECT_EQ(ReadFileBytes(Log("Script_2024_03_07.log")), expected);
}

} // namespace
