#include "LogFixture.h"

#include "Ostravo/CrashDump.h"
#include "support/FakeUi.h"

#include <algorithm>
#include <cstdlib>
#include <regex>
#include <sys/resource.h>
#include <vector>

using namespace vantelis::test;

namespace {

const char kNoConnection[] = "UploadFile () : ftp connection not established.";

std::vector<std::string> Lines(const std::string &text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

class CrashDump : public LogFolderTest
{
  protected:
    std::string Dmp(const std::string &name = "") const
    {
        return dir.file("DMP") + (name.empty() ? "" : "/" + name);
    }
};

TEST_F(CrashDump, WritesTheInfoFileAndTheDumpNamedAfterTheTimeAndReportsTheUploads)
{
    ScopedFakeUi ui;
    EXPECT_FALSE(CreateDMP("Quorvane Vantelis 1.2.3.4 (Mar  7 2024 09:00:00)", 0xC0000005u, nullptr));

    EXPECT_EQ(ReadFileBytes(Dmp("2024_3_7_9_5_3.txt")),
              "**** CreateDMP () ****\r\n"
              "Date: 2024-3-7\r\n"
              "Time: 9:5:3\r\n"
              "Comment: Quorvane Vantelis 1.2.3.4 (Mar  7 2024 09:00:00)\r\n"
              "Computer: " +
                  platform::ComputerName() +
                  "\r\n"
                  "dmp_directory: " +
                  Dmp() +
                  "\r\n"
                  "ftp_addr: \r\n"
                  "ftp_user: \r\n"
                  "ftp_directory: \r\n"
                  "xc: C0000005\r\n");
    const std::string dump = ReadFileBytes(Dmp("2024_3_7_9_5_3.dmp"));
    EXPECT_NE(dump.find("signal: none"), std::string::npos);
    EXPECT_NE(dump.find("backtrace:\n"), std::string::npos);
    EXPECT_NE(dump.find("[stack]"), std::string::npos) << "the memory map";

    const std::string both = std::string(kNoConnection) + "\n" + kNoConnection;
    ASSERT_EQ(ui->Messages().size(), 1u);
    EXPECT_EQ(ui->Messages()[0].text, both);
    EXPECT_NE(ReadFileBytes(Log("Err_2024_03_07.log"))
                  .find(std::string("\t") + kNoConnection + " " + kNoConnection + "\r\n"),
              std::string::npos);
}

TEST_F(CrashDump, ASecondFaultInTheSameSecondReplacesTheFiles)
{
    ScopedFakeUi ui;
    CreateDMP("first", 1, nullptr);
    CreateDMP("second", 2, nullptr);
    const std::vector<std::string> lines = Lines(ReadFileBytes(Dmp("2024_3_7_9_5_3.txt")));
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[3], "Comment: second");
    EXPECT_EQ(lines[9], "xc: 2");
    EXPECT_EQ(platform::ListFolder(Dmp()).size(), 2u);
}

TEST_F(CrashDump, AFileInPlaceOfTheFolderSendsTheReportBesideTheSettingsFile)
{
    ScopedFakeUi ui;
    WriteFileBytes(Dmp(), "a file in the way");
    EXPECT_FALSE(CreateDMP("c", 1, nullptr));
    const std::string message = "CreateDMP () Unable to create directory: " + Dmp();
    ASSERT_EQ(ui->Messages().size(), 2u);
    EXPECT_EQ(ui->Messages()[0].text, message);
    EXPECT_EQ(ui->Messages()[1].text, std::string(kNoConnection) + "\n" + kNoConnection);
    EXPECT_NE(
        ReadFileBytes(Log("Err_2024_03_07.log")).find(message + " - the report is written to " + dir.str()),
        std::string::npos);
    EXPECT_EQ(ReadFileBytes(Dmp()), "a file in the way");
    const std::vector<std::string> info = Lines(ReadFileBytes(dir.file("2024_3_7_9_5_3.txt")));
    ASSERT_EQ(info.size(), 10u);
    EXPECT_EQ(info[5], "dmp_directory: " + dir.str());
    EXPECT_FALSE(ReadFileBytes(dir.file("2024_3_7_9_5_3.dmp")).empty());
}

class RecordingUploader : public CrashUploader
{
  public:
    bool UpLoadFile(const char *path, char *, size_t) override
    {
        uploaded.push_back(path);
        return true;
    }
    std::vector<std::string> uploaded;
};

TEST_F(CrashDump, AWorkingUploadGetsTheDumpThenTheInfoFile)
{
    ScopedFakeUi ui;
    RecordingUploader uploader;
    SetCrashUploader(&uploader);
    EXPECT_TRUE(CreateDMP("c", 1, nullptr));
    SetCrashUploader(nullptr);
    EXPECT_EQ(uploader.uploaded,
              (std::vector<std::string>{Dmp("2024_3_7_9_5_3.dmp"), Dmp("2024_3_7_9_5_3.txt")}));
    EXPECT_TRUE(ui->Messages().empty());

    EString error;
    EXPECT_FALSE(UpLoadFile(Dmp("2024_3_7_9_5_3.dmp").c_str(), error)) << "the default has no connection";
    EXPECT_STREQ(error.c_str(), kNoConnection);
}

// In a child process: install the handler and fault.
void InstallAndFault(int signal)
{
    struct rlimit noCore = {0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore); // the test wants our dump, not the system's
    EString error;
    if (!InstallCrashDumpHandler("Quorvane Vantelis 1.2.3.4 (test)", error))
        std::_Exit(2);
    if (signal == SIGSEGV) {
        volatile int *unmapped = reinterpret_cast<volatile int *>(16);
        // The write to an unmapped address is the point of this test: it raises SIGSEGV.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
        *unmapped = 1;
#pragma GCC diagnostic pop
    } else {
        std::abort();
    }
    std::_Exit(3);
}

TEST_F(CrashDump, AFatalSignalLeavesTheInfoFileAndTheDumpInDmp)
{
    ::testing::FLAGS_gtest_death_test_style = "fast";
    platform::ClearFakeClock(); // the handler reads the system clock
    struct Case
    {
        int signal;
        const char *xc;
        const char *name;
    } cases[] = {{SIGSEGV, "xc: B", "signal: 11 (SIGSEGV)"}, {SIGABRT, "xc: 6", "signal: 6 (SIGABRT)"}};
    for (const Case &c : cases) {
        TempDir data;
        ASSERT_TRUE(platform::MakeFolder(data.file("LOG")));
        SetLogDataDirectory(data.str().c_str());
        SetLogMainSettingsPath(data.file("Plexorin.ini").c_str());
        EXPECT_EXIT(InstallAndFault(c.signal), ::testing::KilledBySignal(c.signal), "");

        const std::vector<platform::DirEntry> files = platform::ListFolder(data.file("DMP"));
        ASSERT_EQ(files.size(), 2u) << c.name;
        const std::regex stem("[0-9]{4}(_[0-9]{1,2}){5}");
        const std::string base = files[0].name.substr(0, files[0].name.size() - 4);
        EXPECT_TRUE(std::regex_match(base, stem)) << files[0].name;
        EXPECT_EQ(files[0].name, base + ".dmp");
        EXPECT_EQ(files[1].name, base + ".txt");

        const std::vector<std::string> info = Lines(ReadFileBytes(data.file("DMP/" + base + ".txt")));
        ASSERT_EQ(info.size(), 10u);
        EXPECT_EQ(info[0], "**** CreateDMP () ****");
        EXPECT_TRUE(std::regex_match(info[1], std::regex("Date: [0-9]{4}-[0-9]{1,2}-[0-9]{1,2}"))) << info[1];
        EXPECT_TRUE(std::regex_match(info[2], std::regex("Time: [0-9]{1,2}:[0-9]{1,2}:[0-9]{1,2}")))
            << info[2];
        EXPECT_EQ(info[3], "Comment: Quorvane Vantelis 1.2.3.4 (test)");
        EXPECT_EQ(info[4], "Computer: " + platform::ComputerName());
        EXPECT_EQ(info[5], "dmp_directory: " + data.file("DMP"));
        EXPECT_EQ(info[6], "ftp_addr: ");
        EXPECT_EQ(info[9], c.xc);

        const std::string dump = ReadFileBytes(data.file("DMP/" + base + ".dmp"));
        EXPECT_NE(dump.find(c.name), std::string::npos) << dump.substr(0, 400);
        if (c.signal == SIGSEGV) {
            EXPECT_NE(dump.find("fault address: 0x0000000000000010"), std::string::npos);
        }
        const size_t trace = dump.find("backtrace:\n");
        const size_t map = dump.find("\nmemory map:\n");
        ASSERT_NE(trace, std::string::npos);
        ASSERT_NE(map, std::string::npos);
        const std::string frames = dump.substr(trace, map - trace);
        EXPECT_GE(std::count(frames.begin(), frames.end(), '\n'), 4)
            << "the crashing thread's backtrace: " << frames;
        EXPECT_NE(dump.find("[stack]"), std::string::npos) << "the memory map";

        const std::vector<platform::DirEntry> logs = platform::ListFolder(data.file("LOG"), "Err_*.log");
        ASSERT_EQ(logs.size(), 1u);
        const std::string log = ReadFileBytes(data.file("LOG/" + logs[0].name));
        // One row, its two messages joined by a blank.
        EXPECT_NE(log.find(std::string("\t") + kNoConnection + " " + kNoConnection + "\r\n"),
                  std::string::npos)
            << log;
    }
}

} // namespace

TEST_F(CrashDump, AFatalSignalWithAFileInPlaceOfDmpWritesBesideTheSettingsFile)
{
    ::testing::FLAGS_gtest_death_test_style = "fast";
    platform::ClearFakeClock(); // the handler reads the system clock
    TempDir data;
    ASSERT_TRUE(platform::MakeFolder(data.file("LOG")));
    WriteFileBytes(data.file("DMP"), "a file in the way");
    SetLogDataDirectory(data.str().c_str());
    SetLogMainSettingsPath(data.file("Plexorin.ini").c_str());
    EXPECT_EXIT(InstallAndFault(SIGABRT), ::testing::KilledBySignal(SIGABRT), "Unable to create directory");

    EXPECT_EQ(ReadFileBytes(data.file("DMP")), "a file in the way");
    const std::vector<platform::DirEntry> files = platform::ListFolder(data.str(), "2*");
    ASSERT_EQ(files.size(), 2u);
    const std::string base = files[0].name.substr(0, files[0].name.size() - 4);
    EXPECT_EQ(files[0].name, base + ".dmp");
    EXPECT_EQ(files[1].name, base + ".txt");
    const std::vector<std::string> info = Lines(ReadFileBytes(data.file(base + ".txt")));
    ASSERT_EQ(info.size(), 10u);
    EXPECT_EQ(info[5], "dmp_directory: " + data.str());

    const std::vector<platform::DirEntry> logs = platform::ListFolder(data.file("LOG"), "Err_*.log");
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_NE(ReadFileBytes(data.file("LOG/" + logs[0].name))
                  .find("CreateDMP () Unable to create directory: " + data.file("DMP") +
                        " - the report is written to " + data.str()),
              std::string::npos);
}
