// The report command list, the command-text check and the query of both pumps on the simulator.
#include "devices/PumpInformation.h"
#include "Ostravo/PumpFixture.h"

#include <gmock/gmock.h>

#include <cstdlib>

namespace vantelis::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

TEST(PumpReportCommandTableTest, CommandsInListOrderAndTheQuotedEntries)
{
    const std::vector<int> numbers{0,  1,  2,  3,  4,  6,  7,  8,  9,  10, 16, 17, 18, 20, 23, 29,
                                   30, 31, 36, 37, 38, 40, 41, 42, 43, 44, 45, 46, 47, 48, 50, 51,
                                   52, 53, 54, 55, 60, 61, 62, 63, 64, 65, 67, 76, 80, 81, 82, 83,
                                   84, 85, 86, 87, 88, 89, 90, 91, 92, 93, 94, 95, 96, 99};
    const std::vector<std::string> &table = PumpReportCommandTable();
    ASSERT_EQ(table.size(), numbers.size());
    for (size_t i = 0; i < table.size(); ++i) {
        EXPECT_THAT(table[i], StartsWith("?" + std::to_string(numbers[i]) + " : ")) << i;
        // Every entry can be sent as it stands.
        uint32_t number = 1000;
        EXPECT_TRUE(ParseReportCommand(table[i], number)) << table[i];
        EXPECT_EQ(number, static_cast<uint32_t>(numbers[i]));
    }
    EXPECT_EQ(table[11], "?17 : Report the syringe volume in micro-liters.");
    EXPECT_EQ(table[12], "?18 : Report the plunger absolute position in microliters");
    EXPECT_EQ(table[15],
              "?29 : Reports the pump status (1 = busy or 0 = ready). This command is similar to the[Q0] "
              "command, but appends the status to the pump response to enable status queries in CAN "
              "communication.The error code returned with this command is the last registered error "
              "code.");
    // The degree sign is UTF-8, as all of the program's text.
    EXPECT_EQ(table[33], "?53 : Reports the real-time pump temperature in \xC2\xB0"
                         "F");
}

// ?0 to ?3 report plunger positions and gaps, ?4 the backlash, ?6 to ?8 the start, top and cutoff
// speeds, all in increments.
TEST(PumpReportCommandTableTest, TheFirstEntriesFollowTheirReportGroups)
{
    const struct
    {
        size_t index;
        const char *says;
    } cases[] = {{0, "plunger position in increments"},
                 {1, "plunger position in increments"},
                 {2, "plunger gap in increments"},
                 {3, "plunger gap in increments"},
                 {4, "backlash increments"},
                 {5, "?6 : Report the start speed in increments per second"},
                 {6, "?7 : Report the top speed in increments per second"},
                 {7, "?8 : Report the cutoff speed in increments per second"}};
    const std::vector<std::string> &table = PumpReportCommandTable();
    for (const auto &c : cases) {
        EXPECT_THAT(table[c.index], HasSubstr(c.says));
        EXPECT_THAT(table[c.index], Not(HasSubstr("velocity")));
        if (c.index < 5) {
            EXPECT_THAT(table[c.index], Not(HasSubstr("speed")));
        }
    }
    EXPECT_NE(table[0], table[1]);
    EXPECT_NE(table[2], table[3]);
}

TEST(ParseReportCommandTest, OnlyOneOrTwoDigitCommandsUpTo99)
{
    struct Case
    {
        const char *text;
        bool ok;
        uint32_t number;
    };
    const Case cases[] = {
        {"?17 : Report the syringe volume", true, 17},
        {"?5 : x", true, 5},
        {"?99 :", true, 99},
        {"?17:", true, 17},
        {"?100: x", false, 0},
        {"?123 : x", false, 0},
        {"17 : x", false, 0},
        {"?17", false, 0},
        {"?17 x : y", false, 0},
        {"?-5 : x", false, 0},
        {"", false, 0},
    };
    for (const Case &c : cases) {
        uint32_t number = 1000;
        EXPECT_EQ(ParseReportCommand(c.text, number), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(number, c.number) << c.text;
        }
    }
}

class PumpInformationQueryTest : public PumpTest
{
};

TEST_F(PumpInformationQueryTest, BothPumpsAnswer)
{
    sim.SetPump(1, Idle(250.0, 1000));
    sim.SetPump(2, Idle(100.0, 500));
    std::string shown;
    ASSERT_TRUE(QueryPumpReports(kPort, 17, shown)) << shown;
    EXPECT_EQ(shown, "pump1: 1000\r\npump2: 500");
    EXPECT_EQ(sim.Requests(), (std::vector<std::string>{"1?17", "2?17"}));
}

TEST_F(PumpInformationQueryTest, PumpTwoIsNotAskedWhenPumpOneFails)
{
    sim.InjectFault(PumpSimulator::Fault::Status, 1, 'V');
    std::string shown;
    EXPECT_FALSE(QueryPumpReports(kPort, 17, shown));
    EXPECT_THAT(shown, HasSubstr("pump=1 command=?17 error: Low voltage"));
    for (const std::string &request : sim.Requests())
        EXPECT_EQ(request[0], '1') << request;
}

TEST_F(PumpInformationQueryTest, PumpTwoFailureShowsItsText)
{
    sim.InjectFault(PumpSimulator::Fault::None, 1);
    sim.InjectFault(PumpSimulator::Fault::Status, 1, 'V');
    std::string shown;
    EXPECT_FALSE(QueryPumpReports(kPort, 17, shown));
    EXPECT_THAT(shown, HasSubstr("pump=2 command=?17 error: Low voltage"));
    EXPECT_THAT(shown, Not(HasSubstr("pump1:")));
    EXPECT_EQ(sim.Requests(), (std::vector<std::string>{"1?17", "2?17"}));
}

} // namespace
} // namespace vantelis::test
