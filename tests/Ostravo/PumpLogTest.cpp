#include "PumpFixture.h"

#include "Ostravo/PumpLog.h"
#include "platform/Clock.h"
#include "support/FakeClock.h"

#include <regex>
#include <sstream>
#include <string>
#include <vector>

using namespace vantelis::test;

namespace {

const char *const kHeader = "timestamp\ttotal_time_ms\tt_waiting_for_semaphore_ms\timposed_sleep_time_ms\t"
                            "time_to_send_commands_ms\tnattempts_to_send_command\tnattempts_to_reset_port\t"
                            "raw_command\tcom_port\tipump\tresponse\terr_msg";

class PumpLogTest : public PumpTest
{
  protected:
    void SetUp() override
    {
        PumpTest::SetUp();
        ResetPumpLogForTesting();
    }
    void TearDown() override
    {
        EString error;
        if (!PumpLogPath().empty())
            CachedLogging::Release(PumpLogPath().c_str(), error);
        ResetPumpLogForTesting();
        platform::ClearFakeClock();
        PumpTest::TearDown();
    }
    // Writes what the cached log holds for the run's file and returns the file's lines.
    std::vector<std::string> Flush(const std::string &path)
    {
        EString error;
        EXPECT_TRUE(CachedLogging::Release(path.c_str(), error)) << error.c_str();
        std::vector<std::string> lines;
        std::stringstream in(ReadFileBytes(path));
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            lines.push_back(line);
        }
        return lines;
    }
    static std::string Today(const platform::LocalTime &t)
    {
        char name[64];
        std::snprintf(name, sizeof name, "LOG/PumpLog_%04d_%02d_%02d.log", t.year, t.month, t.day);
        return name;
    }
};

TEST_F(PumpLogTest, EveryCommandLeavesARowAfterTheHeader)
{
    TecanCentris::TraceCallback = &PumpLogCallback;
    sim.SetPump(1, Idle(12.5));
    double held = 0;
    EString error;
    ASSERT_TRUE(TecanCentris::QueryDouble(kPort, 1, "?18", held, error)) << error.c_str();
    EString data;
    EXPECT_FALSE(TecanCentris::SendCommand(kPort, 3, "ZR", 2000, data, error));

    const std::string path = dir.file(Today(platform::Now()));
    EXPECT_EQ(PumpLogPath(), path);
    const auto lines = Flush(path);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], kHeader);
    const std::string stamp = R"(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d\.\d{3})";
    EXPECT_TRUE(
        std::regex_match(lines[1], std::regex(stamp + R"(\t\d+\t\d+\t0\t\d+\t1\t0\t\?18\t7\t1\t125\t)")))
        << lines[1];
    EXPECT_TRUE(std::regex_match(
        lines[2], std::regex(stamp + R"(\t\d+\t\d+\t0\t0\t0\t0\tZR\t7\t3\t\t)"
                                     R"(TecanCentris::SendCommand \(\) : Invalid ipump=3 : must be 1 or 2)")))
        << lines[2];
}

TEST_F(PumpLogTest, TheFirstRowFixesTheFileAndEachRunAddsAHeader)
{
    platform::SetFakeClock(MakeTime(2025, 12, 31, 23, 59, 59, 900));
    EXPECT_TRUE(PumpLogCallback("a"));
    platform::AdvanceFakeClock(200); // past midnight
    EXPECT_TRUE(PumpLogCallback("b"));
    const std::string path = dir.file("LOG/PumpLog_2025_12_31.log");
    EXPECT_EQ(PumpLogPath(), path);
    auto lines = Flush(path);
    EXPECT_EQ(lines, (std::vector<std::string>{kHeader, "2025/12/31 23:59:59.900\ta",
                                               "2026/01/01 00:00:00.100\tb"}));

    // The next run of the same day appends, with a header of its own.
    ResetPumpLogForTesting();
    platform::SetFakeClock(MakeTime(2025, 12, 31, 10, 0, 0, 0));
    EXPECT_TRUE(PumpLogCallback("c"));
    EXPECT_EQ(PumpLogPath(), path);
    lines = Flush(path);
    EXPECT_EQ(lines,
              (std::vector<std::string>{kHeader, "2025/12/31 23:59:59.900\ta", "2026/01/01 00:00:00.100\tb",
                                        kHeader, "2025/12/31 10:00:00.000\tc"}));
}

TEST_F(PumpLogTest, ADataFolderEndingInASeparatorGetsNoSecondOne)
{
    platform::SetFakeClock(MakeTime(2025, 3, 4, 10, 0, 0, 0));
    SetLogDataDirectory((dir.str() + "/").c_str());
    EXPECT_TRUE(PumpLogCallback("a"));
    EXPECT_EQ(PumpLogPath(), dir.str() + "/LOG/PumpLog_2025_03_04.log");
}

} // namespace
