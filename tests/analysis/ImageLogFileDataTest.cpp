#include "analysis/ImageLogFileData.h"

#include "Ostravo/LogFixture.h"
#include "support/TempDir.h"

#include <chrono>
#include <fcntl.h>
#include <future>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <gtest/gtest.h>

namespace {

using vantelis::test::ReadFileBytes;
using vantelis::test::TempDir;
using vantelis::test::WriteFileBytes;

const char kLayout1[] =
    "ImageFile\tDate\tTime\tExposure(us)\tStatus\tError\tIllumChan\tPinchValveInput\t"
    "PinchValveOutput1\tPinchValveOutput2\tPump1ValvePos\tPump2ValvePos\tPump1SpeedULpMin\t"
    "Pump2SpeedULpMin\tPump1VolUL\tPump2VolUL";
const char kLayout2[] =
    "ImageFile\tDate\tTime\tExposure(us)\tStatus\tError\tIllumChan\tPump1ValvePos\tPump2ValvePos\t"
    "Pump1SpeedULpMin\tPump2SpeedULpMin\tPump1VolUL\tPump2VolUL";
const char kLayout3[] =
    "ImageFile\tDate\tTime\tExposure(us)\tStatus\tError\tIllumChan\tP1\tP2\tP3\tP4\tQ1\tQ2\t"
    "VSampleUL\tVBufferUL\tVTopOutletUL\tVBotOutletUL";
const char kNoPumps[] = "ImageFile\tDate\tTime\tExposure(us)\tStatus\tError\tIllumChan\tSplit";

// Joins lines with the given line end, the last one included.
std::string Lines(const std::vector<std::string> &lines, const char *end = "\r\n")
{
    std::string text;
    for (const std::string &line : lines)
        text += line + end;
    return text;
}

// The header block the capture code writes before the column header.
std::vector<std::string> Preamble()
{
    return {"Vantelis_Version=1.4.2.0", "CameraModel=acA2440\tSN=40012345", "# ComputerName=LAB-PC",
            "09:30:05.120\tsample loaded"};
}

void ExpectPumps(const PumpValues &p, float s1, float s2, float v1, float v2, const char *what)
{
    EXPECT_FLOAT_EQ(p.pump1_speed, s1) << what;
    EXPECT_FLOAT_EQ(p.pump2_speed, s2) << what;
    EXPECT_FLOAT_EQ(p.pump1_volume, v1) << what;
    EXPECT_FLOAT_EQ(p.pump2_volume, v2) << what;
}

TEST(ImageLogFileData, ReadsEveryHeaderLayout)
{
    struct Case
    {
        const char *what;
        std::string header;
        std::string row1, row2; // the first row at 09:41:10.000, the second 5.25 s later
        const char *line_end;
        float s1, s2, v1, v2; // pump values of the second row
    } cases[] = {
        {"layout 1", kLayout1,
         "a.png\t2024/03/15\t09:41:10.000\t3000\t0\t\t0\tA\tB\tC\tI\tO\t1.00\t2.00\t3.00\t4.00",
         "b.png\t2024/03/15\t09:41:15.250\t3000\t0\t\t0\tA\tB\tC\tI\tO\t10.50\t20.25\t125.50\t80.75", "\r\n",
         10.5f, 20.25f, 125.5f, 80.75f},
        {"layout 2 with Split, LF only", std::string(kLayout2) + "\tSplit",
         "a.png\t2024/03/15\t09:41:10.000\t3000\t0\t\t0\tI\tO\t1.00\t2.00\t3.00\t4.00\tNaN",
         "b.png\t2024/03/15\t09:41:15.250\t3000\t1\tdark "
         "saturation\t2\tI\tO\t10.00\t20.00\t125.50\t80.25\t-5",
         "\n", 10.0f, 20.0f, 125.5f, 80.25f},
        {"layout 3", kLayout3, "a.png\t2024/03/15\t09:41:10.000\t3000\t0\t\t0\t1\t2\t3\t4\t5\t6\t7\t8\t9\t10",
         "b.png\t2024/03/15\t09:41:15.250\t3000\t0\t\t0\t1\t2\t3\t4\t15.5\t16.5\t17\t18\t19.5\t20.5", "\r\n",
         15.5f, 16.5f, 19.5f, 20.5f},
        {"no pump columns", kNoPumps, "a.png\t2024/03/15\t09:41:10.000\t3000\t0\t\t0\tNaN",
         "b.png\t2024/03/15\t09:41:15.250\t3000\t0\t\t0\t12", "\n", 0.0f, 0.0f, 0.0f, 0.0f},
    };
    for (const Case &c : cases) {
        TempDir dir;
        std::vector<std::string> lines = Preamble();
        lines.insert(lines.end(), {c.header, c.row1, c.row2});
        WriteFileBytes(dir.file("20240315-0930-05.log"), Lines(lines, c.line_end));

        ImageLogFileData log;
        EString error;
        ASSERT_TRUE(log.Load(dir.str().c_str(), error)) << c.what << ": " << error.c_str();
        EXPECT_EQ(std::filesystem::path(log.log_path.c_str()), dir.path() / "20240315-0930-05.log") << c.what;
        ASSERT_EQ(log.RowCount(), 2u) << c.what;
        EXPECT_EQ(log.file_names[1], "b.png") << c.what;
        PumpValues pumps;
        EXPECT_DOUBLE_EQ(log.GetElapsedMinutes("b.png", &pumps), 5.25 / 60.0) << c.what;
        ExpectPumps(pumps, c.s1, c.s2, c.v1, c.v2, c.what);
    }
}

TEST(ImageLogFileData, ChoosesTheLogByItsName)
{
    const std::string log = Lines({kNoPumps, "a.png\t2024/03/15\t09:41:10.000\t1\t0\t\t0\tNaN"});
    struct Case
    {
        const char *what;
        std::vector<std::string> files;
        std::vector<std::string> folders;
        const char *chosen; // null: no log chosen
    } cases[] = {
        {"date-time name", {"20240315-0930-05.log", "notes.txt"}, {}, "20240315-0930-05.log"},
        {"a suffix after the seconds is passed over",
         {"20240315-0930-05_Run1.log", "20240316-0800-00.log"},
         {},
         "20240316-0800-00.log"},
        {"folders are passed over",
         {"20240316-0800-00.log"},
         {"20240101-0000-00.log"},
         "20240316-0800-00.log"},
        {"two logs: the first by name",
         {"20240316-0800-00.log", "20240315-0930-05.log"},
         {},
         "20240315-0930-05.log"},
        {"a letter among the digits ends the search",
         {"20240315-09X0-05.log", "20240316-0800-00.log"},
         {},
         nullptr},
        {"other names only", {"capture.log", "20240315093005.log"}, {}, nullptr},
    };
    for (const Case &c : cases) {
        TempDir dir;
        for (const std::string &name : c.files)
            WriteFileBytes(dir.file(name), log);
        for (const std::string &name : c.folders)
            std::filesystem::create_directory(dir.path() / name);
        ImageLogFileData data;
        EString error;
        // Blanks around the folder are trimmed; the message quotes the folder as given.
        const std::string given = "  " + dir.str() + "/ ";
        const bool loaded = data.Load(given.c_str(), error);
        if (c.chosen) {
            ASSERT_TRUE(loaded) << c.what << ": " << error.c_str();
            EXPECT_EQ(std::filesystem::path(data.log_path.c_str()), dir.path() / c.chosen) << c.what;
            EXPECT_EQ(data.RowCount(), 1u) << c.what;
        } else {
            ASSERT_FALSE(loaded) << c.what;
            EXPECT_EQ(std::string(error.c_str()),
                      "No log file with a valid name found in directory: " + given)
                << c.what;
            EXPECT_STREQ(data.log_path.c_str(), "") << c.what;
        }
    }

    TempDir empty;
    WriteFileBytes(empty.file("notes.txt"), log);
    ImageLogFileData data;
    EString error;
    EXPECT_FALSE(data.Load(empty.str().c_str(), error));
    EXPECT_EQ(std::string(error.c_str()), "No log file found in directory: " + empty.str());
    EXPECT_FALSE(data.Load((empty.str() + "/missing").c_str(), error));
    EXPECT_EQ(std::string(error.c_str()), "No log file found in directory: " + empty.str() + "/missing");
}

TEST(ImageLogFileData, SkipsLinesThatAreNoRows)
{
    TempDir dir;
    std::vector<std::string> lines = Preamble();
    lines.insert(lines.end(), {
                                  kNoPumps,
                                  "a.png\t2024/03/15\t09:41:10.000\t1\t0\t\t0\tNaN",
                                  "no tab on this line",
                                  "",
                                  "c.png\tyesterday\t09:41:11.000\t1\t0\t\t0\tNaN",
                              });
    // The writer restarted its record with the pumps now known: a second header block.
    const std::vector<std::string> again = Preamble();
    lines.insert(lines.end(), again.begin(), again.end());
    lines.push_back(std::string(kLayout2) + "\tSplit");
    lines.push_back("e.png\t2024/03/15\t09:41:20.000\t3000\t0\t\t0\tI\tO\t10.00\t20.00\t125.50\t80.25\tNaN");
    WriteFileBytes(dir.file("20240315-0930-05.log"), Lines(lines));

    ImageLogFileData log;
    EString error;
    ASSERT_TRUE(log.Load(dir.str().c_str(), error)) << error.c_str();
    ASSERT_EQ(log.file_names, (std::vector<std::string>{"a.png", "e.png"}));
    PumpValues pumps;
    EXPECT_DOUBLE_EQ(log.GetElapsedMinutes("e.png", &pumps), 10.0 / 60.0);
    ExpectPumps(pumps, 10.0f, 20.0f, 125.5f, 80.25f, "second header block");
}

TEST(ImageLogFileData, ALogWithoutColumnHeaderFailsAndKeepsWhatItHad)
{
    TempDir good;
    WriteFileBytes(good.file("20240315-0930-05.log"),
                   Lines({kNoPumps, "a.png\t2024/03/15\t09:41:10.000\t1\t0\t\t0\tNaN"}));
    ImageLogFileData log;
    EString error;
    ASSERT_TRUE(log.Load(good.str().c_str(), error)) << error.c_str();

    TempDir dir;
    WriteFileBytes(
        dir.file("20240315-0930-05.log"),
        Lines({"Vantelis_Version=1.4.2.0", "ImageFile\tDate\tTim", "b.png\t2024/03/15\t09:41:10.000"}));
    EXPECT_FALSE(log.Load(dir.str().c_str(), error));
    const std::string path = (dir.path() / "20240315-0930-05.log").string();
    EXPECT_EQ(std::string(error.c_str()),
              "Did not find line beginning with: \"ImageFile\tDate\tTime\t\" in file " + path);
    EXPECT_EQ(std::string(log.log_path.c_str()), path);
    EXPECT_EQ(log.file_names, (std::vector<std::string>{"a.png"}));
    EXPECT_EQ(log.times.size(), 1u);
    EXPECT_EQ(log.pump2_volume.size(), 1u);
}

// Malformed rows never fail the load once the column header is read: a row that cannot be placed
// in time is skipped (rows out of the calendar's range with one error-log line each), a pump pair
// that does not read leaves its values at 0.
class ImageLogRows : public vantelis::test::LogFolderTest
{
};

TEST_F(ImageLogRows, MalformedRowsAreSkippedOrReadAsZero)
{
    const std::string header = std::string(kLayout2) + "\tSplit";
    const std::string row = "\t3000\t0\t\t0\tI\tO\t";
    struct Case
    {
        const char *what;
        std::string line;
        bool kept;
        double seconds;       // after the first row, 10:00:00.000, when kept
        float s1, s2, v1, v2; // the row's pump values when kept
        bool logged;          // skipped with an error-log line
    } cases[] = {
        {"a month of 13", "r.png\t2024/13/15\t10:00:01.000" + row + "1\t2\t3\t4", false, 0, 0, 0, 0, 0, true},
        {"a leap second", "r.png\t2024/03/15\t23:59:60" + row + "1\t2\t3\t4", false, 0, 0, 0, 0, 0, true},
        {"29 February of a common year", "r.png\t2023/02/29\t10:00:01" + row + "1\t2\t3\t4", false, 0, 0, 0,
         0, 0, true},
        {"hour 24", "r.png\t2024/03/15\t24:00:00" + row + "1\t2\t3\t4", false, 0, 0, 0, 0, 0, true},
        {"a year before 1601", "r.png\t1600/12/31\t10:00:01" + row + "1\t2\t3\t4", false, 0, 0, 0, 0, 0,
         true},
        {"a negative day", "r.png\t2024/03/-1\t10:00:01" + row + "1\t2\t3\t4", false, 0, 0, 0, 0, 0, true},
        {"a year past 64 bits", "r.png\t99999999999999999999999/03/15\t10:00:01" + row + "1\t2\t3\t4", false,
         0, 0, 0, 0, 0, true},
        {"no date at all", "r.png\tyesterday\t10:00:01" + row + "1\t2\t3\t4", false, 0, 0, 0, 0, 0, false},
        {"letters after the seconds", "r.png\t2024/03/15\t10:00:00.5abc" + row + "1\t2\t3\t4", true, 0.5, 1,
         2, 3, 4, false},
        // One tab fewer: the pump columns are counted one further along the line.
        {"a blank in place of the tab", "r.png\t2024/03/15 10:00:07.250" + row + "1\t2\t3\t4", true, 7.25, 2,
         3, 0, 0, false},
        {"a speed with a letter", "r.png\t2024/03/15\t10:00:02" + row + "1.0x\t2\t3\t4", true, 2, 0, 0, 0, 0,
         false},
        {"a decimal comma", "r.png\t2024/03/15\t10:00:02" + row + "1,5\t2\t3\t4", true, 2, 0, 0, 0, 0, false},
        {"a speed beyond float", "r.png\t2024/03/15\t10:00:02" + row + "1e39\t2\t3\t4", true, 2, 0, 0, 0, 0,
         false},
        {"a volume with a unit", "r.png\t2024/03/15\t10:00:02" + row + "1\t2\t3uL\t4", true, 2, 1, 2, 0, 0,
         false},
        {"the line ends before the volumes", "r.png\t2024/03/15\t10:00:02" + row + "1\t2", true, 2, 1, 2, 0,
         0, false},
        {"text after the second speed", "r.png\t2024/03/15\t10:00:02" + row + "1\t2 ml\t3\t4", true, 2, 1, 2,
         3, 4, false},
    };
    for (const Case &c : cases) {
        platform::DeleteFile(Log("Err_2024_03_07.log"));
        TempDir folder;
        const std::string log_file = folder.file("20240315-0930-05.log");
        WriteFileBytes(log_file, Lines({header, "first.png\t2024/03/15\t10:00:00.000" + row + "9\t9\t9\t9",
                                        c.line, "last.png\t2024/03/15\t10:01:00.000" + row + "5\t6\t7\t8"}));
        ImageLogFileData log;
        EString error;
        ASSERT_TRUE(log.Load(folder.str().c_str(), error)) << c.what << ": " << error.c_str();
        const std::vector<std::string> expected_names =
            c.kept ? std::vector<std::string>{"first.png", "r.png", "last.png"}
                   : std::vector<std::string>{"first.png", "last.png"};
        EXPECT_EQ(log.file_names, expected_names) << c.what;
        PumpValues pumps;
        EXPECT_DOUBLE_EQ(log.GetElapsedMinutes("last.png", &pumps), 1.0) << c.what;
        ExpectPumps(pumps, 5, 6, 7, 8, c.what);
        if (c.kept) {
            pumps = PumpValues{-1, -1, -1, -1};
            EXPECT_DOUBLE_EQ(log.GetElapsedMinutes("r.png", &pumps), c.seconds / 60.0) << c.what;
            ExpectPumps(pumps, c.s1, c.s2, c.v1, c.v2, c.what);
        }
        const std::string logged = ReadFileBytes(Log("Err_2024_03_07.log"));
        if (!c.logged) {
            EXPECT_EQ(logged, "") << c.what;
            continue;
        }
        // One row, naming the line; the source line number between is the reader's own.
        const std::string before = Header() + "1.2.3.4\t09:05:03\tImageLogFileData.cpp\t";
        const std::string after =
            "\tImageLogFileData::Load() - date or time out of range, skipped line 3 of log file " + log_file +
            "\r\n";
        ASSERT_GT(logged.size(), before.size() + after.size()) << c.what << ": " << logged;
        EXPECT_EQ(logged.substr(0, before.size()), before) << c.what;
        EXPECT_EQ(logged.substr(logged.size() - after.size()), after) << c.what;
        const std::string line = logged.substr(before.size(), logged.size() - before.size() - after.size());
        EXPECT_EQ(line.find_first_not_of("0123456789"), std::string::npos) << c.what << ": " << logged;
    }
}

TEST(ImageLogFileData, OnlyARegularFileIsRead)
{
    TempDir dir;
    const std::string fifo = dir.file("20240315-0930-05.log");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ImageLogFileData log;
    EString error;
    // A reader that blocked on the FIFO would wait for a writer for ever: release it after a while
    // and fail instead of hanging the test run.
    auto load = std::async(std::launch::async, [&] { return log.Load(dir.str().c_str(), error); });
    if (load.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        load.wait();
        if (writer >= 0)
            ::close(writer);
        FAIL() << "the load blocked on a FIFO";
    }
    EXPECT_FALSE(load.get());
    EXPECT_EQ(std::string(error.c_str()), "Unable to open log file for reading: " + fifo);
    EXPECT_EQ(log.RowCount(), 0u);

    // A device that never ends is refused before it is read.
    TempDir device;
    const std::string link = device.file("20240315-0930-05.log");
    ASSERT_EQ(::symlink("/dev/zero", link.c_str()), 0);
    EXPECT_FALSE(log.Load(device.str().c_str(), error));
    EXPECT_EQ(std::string(error.c_str()), "Unable to open log file for reading: " + link);
}

TEST(ImageLogFileData, ALineLongerThanTheLimitIsReadInPieces)
{
    const std::string row = "\t3000\t0\t\t0\tI\tO\t1\t2\t3\t4\t";
    const std::string first = "a.png\t2024/03/15\t10:00:00.000" + row;
    // 4094 characters, then the rest of the line, which reads as a row of its own.
    const std::string cut = first + std::string(4094 - first.size(), 'x');
    const std::string rest = "b.png\t2024/03/15\t10:00:30.000" + row;
    // Exactly 4094 characters and its line end: one row.
    const std::string whole = "c.png\t2024/03/15\t10:01:00.000" + row;
    const std::string full = whole + std::string(4094 - whole.size(), 'y');
    for (const char *line_end : {"\r\n", "\n"}) {
        TempDir dir;
        WriteFileBytes(dir.file("20240315-0930-05.log"), Lines({kLayout2, cut + rest, full}, line_end));
        ImageLogFileData log;
        EString error;
        ASSERT_TRUE(log.Load(dir.str().c_str(), error)) << error.c_str();
        EXPECT_EQ(log.file_names, (std::vector<std::string>{"a.png", "b.png", "c.png"})) << line_end;
        EXPECT_DOUBLE_EQ(log.GetElapsedMinutes("b.png"), 0.5);
        EXPECT_DOUBLE_EQ(log.GetElapsedMinutes("c.png"), 1.0);
    }
}

TEST(ImageLogFileData, ElapsedMinutesAndSearchStart)
{
    TempDir dir;
    const std::string row = "\t3000\t0\t\t0\tI\tO\t";
    WriteFileBytes(dir.file("20240228-2359-00.log"),
                   Lines({std::string(kLayout2) + "\tSplit",
                          "first.png\t2024/02/28\t23:59:00.000" + row + "1\t1\t1\t1\tNaN",
                          "early.png\t2024/02/28\t23:58:00.000" + row + "2\t2\t2\t2\tNaN",
                          "exact.png\t2024/02/28\t23:59:12.345" + row + "3\t3\t3\t3\tNaN",
                          "next.png\t2024/03/01\t00:01:00.000" + row + "4\t5\t6\t7\tNaN",
                          "first.png\t2024/02/28\t23:59:30.000" + row + "8\t8\t8\t8\tNaN"}));
    ImageLogFileData log;
    EString error;
    EXPECT_FALSE(log.SetFirstFileName("first.png", error));
    EXPECT_STREQ(error.c_str(),
                 "ImageLogFileData::SetFirstFileName() - Must call Load() before calling this function.");
    ASSERT_TRUE(log.Load(dir.str().c_str(), error)) << error.c_str();

    PumpValues pumps;
    // Across the leap day of 2024: one day and two minutes.
    EXPECT_DOUBLE_EQ(log.GetElapsedMinutes("NEXT.PNG", &pumps), 1442.0);
    ExpectPumps(pumps, 4.0f, 5.0f, 6.0f, 7.0f, "next");
    // Milliseconds as written: 12.345 s, not 12.344.
    EXPECT_DOUBLE_EQ(log.GetElapsedMinutes("exact.png"), 12345 / 1000.0 / 60.0);
    // An earlier row: negative minutes and zero pump values.
    EXPECT_DOUBLE_EQ(log.GetElapsedMinutes("early.png", &pumps), -1.0);
    ExpectPumps(pumps, 0.0f, 0.0f, 0.0f, 0.0f, "early");

    PumpValues untouched{9.0f, 9.0f, 9.0f, 9.0f};
    EXPECT_EQ(log.GetElapsedMinutes("unknown.png", &untouched), 0.0);
    ExpectPumps(untouched, 9.0f, 9.0f, 9.0f, 9.0f, "unknown");

    // From the search start on, the first match wins; rows before it are not searched.
    ASSERT_TRUE(log.SetFirstFileName("Exact.png", error));
    EXPECT_EQ(log.search_start, 2);
    EXPECT_EQ(log.GetElapsedMinutes("early.png", &untouched), 0.0);
    ExpectPumps(untouched, 9.0f, 9.0f, 9.0f, 9.0f, "before the search start");
    EXPECT_DOUBLE_EQ(log.GetElapsedMinutes("first.png", &pumps), 0.5);
    ExpectPumps(pumps, 8.0f, 8.0f, 8.0f, 8.0f, "second first.png");

    EXPECT_FALSE(log.SetFirstFileName("missing.png", error));
    EXPECT_STREQ(error.c_str(),
                 "ImageLogFileData::SetFirstFileName() - did not find file missing.png in the log.");
    EXPECT_EQ(log.search_start, 2);

    log.Clear();
    EXPECT_EQ(log.RowCount(), 0u);
    EXPECT_STREQ(log.log_path.c_str(), "");
}

} // namespace
