// Random bytes for answers: every call ends within its bound with an error, and nothing breaks.
#include "PumpFixture.h"

#include "platform/Clock.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

using namespace vantelis::test;

namespace {

using PumpRobustnessTest = PumpTest;

TEST_F(PumpRobustnessTest, RandomAnswersToTheSerialLayer)
{
    sim.SetRandomReplies(true, 7);
    int completed = 0;
    for (int i = 0; i < 150; ++i) {
        EString reply;
        int code = -1;
        const uint64_t start = platform::TickMs();
        const bool ok = SerialSendReceive(kPort, "/1?29\r", '\r', reply, 40, '\n', &code);
        // Forty rounds of 10 ms, with room for a loaded machine.
        EXPECT_LT(platform::TickMs() - start, 5000u);
        EXPECT_EQ(ok, code == 0);
        EXPECT_TRUE(code == 0 || code == 10) << code;
        EXPECT_LT(reply.GetLength(), 1024);
        completed += ok ? 1 : 0;
    }
    // The simulator ends most answers with CR LF; those must have completed.
    EXPECT_GT(completed, 0);
}

TEST_F(PumpRobustnessTest, RandomAnswersToPumpOperations)
{
    TecanCentris::SetRetryPauseForTesting(20);
    sim.SetRandomReplies(true, 11);
    const std::vector<std::pair<const char *, std::function<bool(EString &)>>> operations = {
        {"SendCommand",
         [](EString &e) {
             EString d;
             return TecanCentris::SendCommand(kPort, 1, "ZR", 2000, d, e);
         }},
        {"QueryLong",
         [](EString &e) {
             int32_t v;
             return TecanCentris::QueryLong(kPort, 2, "?17", v, e);
         }},
        {"QueryDouble",
         [](EString &e) {
             double v;
             return TecanCentris::QueryDouble(kPort, 1, "?18", v, e);
         }},
        {"Aspirate_ul", [](EString &e) { return Aspirate_ul(kPort, 1, 10.0, e, false); }},
        {"Dispense_ul", [](EString &e) { return Dispense_ul(kPort, 2, 10.0, e, false); }},
        {"GetTemperature",
         [](EString &e) {
             double a, b;
             return TecanCentris::GetTemperature(kPort, a, b, e);
         }},
        {"TerminateBusyPumps", [](EString &e) { return TecanCentris::TerminateBusyPumps(kPort, e); }},
        {"SetValveInput", [](EString &e) { return TecanCentris::SetValveInput(kPort, 2, e); }},
    };
    for (int round = 0; round < 3; ++round)
        for (const auto &[name, operation] : operations) {
            EString error;
            const uint64_t start = platform::TickMs();
            EXPECT_FALSE(operation(error)) << name;
            EXPECT_TRUE(error.IsNonEmpty()) << name;
            // At most three commands of four 2 s attempts with short pauses, and slack.
            EXPECT_LT(platform::TickMs() - start, 3u * 4u * 2000u + 5000u) << name;
        }
    // The simulator's own answers work again at once.
    sim.SetRandomReplies(false);
    EString data, error;
    EXPECT_TRUE(TecanCentris::SendCommand(kPort, 1, "?29", 200, data, error)) << error.c_str();
    EXPECT_TRUE(IsSerialPortOpen(kPort));
}

} // namespace
