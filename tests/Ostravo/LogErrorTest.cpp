#include "LogFixture.h"

#include <cstdio>
#include <set>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace vantelis::test;

namespace {

class ErrorLog : public LogFolderTest
{
};

TEST_F(ErrorLog, FirstEntryOfTheDayStartsTheFileAndLaterEntriesAddOneRowEach)
{
    LogError("Counting.cpp", 42, "CountCells () : no image");
    LogError("View.cpp", -7, "second");
    EXPECT_EQ(ReadFileBytes(Log("Err_2024_03_07.log")),
              Header() + "1.2.3.4\t09:05:03\tCounting.cpp\t42\tCountCells () : no image\r\n"
                         "1.2.3.4\t09:05:03\tView.cpp\t-7\tsecond\r\n");
}

TEST_F(ErrorLog, AnEntryAfterMidnightGoesToTheNewDaysFileWithItsOwnHeader)
{
    platform::SetFakeClock(MakeTime(2024, 2, 29, 23, 59, 59, 900));
    LogError("a.cpp", 1, "before");
    platform::AdvanceFakeClock(200);
    LogError("a.cpp", 2, "after");
    EXPECT_EQ(ReadFileBytes(Log("Err_2024_02_29.log")), Header() + "1.2.3.4\t23:59:59\ta.cpp\t1\tbefore\r\n");
    EXPECT_EQ(ReadFileBytes(Log("Err_2024_03_01.log")), Header() + "1.2.3.4\t00:00:00\ta.cpp\t2\tafter\r\n");
}

TEST_F(ErrorLog, ADeletedFileIsStartedAgainWithBothHeaderLines)
{
    LogError("a.cpp", 1, "one");
    ASSERT_TRUE(platform::DeleteFile(Log("Err_2024_03_07.log")));
    LogError("a.cpp", 2, "two");
    EXPECT_EQ(ReadFileBytes(Log("Err_2024_03_07.log")), Header() + "1.2.3.4\t09:05:03\ta.cpp\t2\ttwo\r\n");
}

TEST_F(ErrorLog, DataFolderIsTrimmedAndGetsOneSeparator)
{
    const std::string folders[] = {dir.str(), dir.str() + "/", "  " + dir.str() + " \t",
                                   dir.str() + "\r\nrest", dir.str() + "\\"};
    for (const std::string &folder : folders) {
        SetLogDataDirectory(folder.c_str());
        LogError("a.cpp", 1, "x");
        EXPECT_EQ(ReadFileBytes(Log("Err_2024_03_07.log")), Header() + "1.2.3.4\t09:05:03\ta.cpp\t1\tx\r\n")
            << "data folder '" << folder << "'";
        ASSERT_TRUE(platform::DeleteFile(Log("Err_2024_03_07.log")));
    }
}

TEST_F(ErrorLog, WithoutDataFolderTheLogFolderOfTheCurrentFolderIsUsedWhenItExists)
{
    TempDir cwd;
    const std::string previous = std::filesystem::current_path().string();
    ASSERT_EQ(::chdir(cwd.str().c_str()), 0);
    for (const char *folder : {"", "  \t"}) {
        SetLogDataDirectory(folder);
        LogError("a.cpp", 1, "lost");
        EXPECT_FALSE(platform::FolderExists(cwd.file("LOG"))) << "LogError never creates folders";
    }
    ASSERT_TRUE(platform::MakeFolder(cwd.file("LOG")));
    LogError("a.cpp", 2, "kept");
    EXPECT_EQ(ReadFileBytes(cwd.file("LOG/Err_2024_03_07.log")),
              Header() + "1.2.3.4\t09:05:03\ta.cpp\t2\tkept\r\n");
    ASSERT_EQ(::chdir(previous.c_str()), 0);
}

TEST_F(ErrorLog, EachRowStaysOneLineAndNamesItsSourceFileAlone)
{
    // Tabs stay (extra columns); line breaks, as OpenCV's texts carry them, become blanks.
    LogError("a.cpp", 3, "col1\tcol2\n");
    LogError("/home/build/src/app/RenderList.cpp", 4, "imwrite failed:\n> unknown extension\r\n");
    LogError("src/app/LineDetection.cpp", 5, "\rx");
    LogError("C:\\work\\src\\View.cpp", 6, "");
    EXPECT_EQ(ReadFileBytes(Log("Err_2024_03_07.log")),
              Header() + "1.2.3.4\t09:05:03\ta.cpp\t3\tcol1\tcol2 \r\n"
                         "1.2.3.4\t09:05:03\tRenderList.cpp\t4\timwrite failed: > unknown extension  \r\n"
                         "1.2.3.4\t09:05:03\tLineDetection.cpp\t5\t x\r\n"
                         "1.2.3.4\t09:05:03\tView.cpp\t6\t\r\n");
}

TEST_F(ErrorLog, APassedFileGetsTheRowAndStaysOpenWhileTheDaysLogIsLeftAlone)
{
    const std::string devicePath = dir.file("devices.log");
    FILE *device = std::fopen(devicePath.c_str(), "wb");
    ASSERT_NE(device, nullptr);
    LogError("Serial.cpp", 10, "no answer", device);
    EXPECT_FALSE(platform::FileExists(Log("Err_2024_03_07.log")));
    ASSERT_GE(std::fputs("owner goes on\r\n", device), 0) << "the file stays open for its owner";

    // Once the day's log exists, the passed file gets the row alone.
    LogError("a.cpp", 1, "start the day's log");
    const std::string dayLog = ReadFileBytes(Log("Err_2024_03_07.log"));
    LogError("Serial.cpp", 11, "again", device);
    std::fclose(device);

    EXPECT_EQ(ReadFileBytes(devicePath), Header() + "1.2.3.4\t09:05:03\tSerial.cpp\t10\tno answer\r\n"
                                                    "owner goes on\r\n"
                                                    "1.2.3.4\t09:05:03\tSerial.cpp\t11\tagain\r\n");
    EXPECT_EQ(ReadFileBytes(Log("Err_2024_03_07.log")), dayLog);
}

TEST_F(ErrorLog, ComputerNameLine)
{
    WriteComputerNameLine(nullptr); // nothing to write to: nothing happens
    const std::string path = dir.file("result.xls");
    FILE *file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    WriteComputerNameLine(file);
    std::fclose(file);
    EXPECT_EQ(ReadFileBytes(path), "# ComputerName=" + platform::ComputerName() + "\r\n");
}

TEST_F(ErrorLog, RowsOfConcurrentThreadsStayWhole)
{
    LogError("a.cpp", 0, "first"); // the header is written once, before the threads start
    const int threads = 8;
    const int perThread = 50;
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([t] {
            for (int i = 0; i < perThread; ++i)
                LogError("w.cpp", t, ("message " + std::to_string(t) + "-" + std::to_string(i)).c_str());
        });
    for (std::thread &worker : workers)
        worker.join();

    std::string content = ReadFileBytes(Log("Err_2024_03_07.log"));
    std::set<std::string> rows;
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find("\r\n", start);
        ASSERT_NE(end, std::string::npos);
        rows.insert(content.substr(start, end - start));
        start = end + 2;
    }
    for (int t = 0; t < threads; ++t)
        for (int i = 0; i < perThread; ++i)
            EXPECT_EQ(rows.count("1.2.3.4\t09:05:03\tw.cpp\t" + std::to_string(t) + "\tmessage " +
                                 std::to_string(t) + "-" + std::to_string(i)),
                      1u);
    EXPECT_EQ(rows.size(), 3u + threads * perThread);
}

} // namespace
