#include "PumpFixture.h"

#include "platform/Clock.h"
#include "platform/Sync.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

using namespace vantelis::test;

namespace {

using Fault = PumpSimulator::Fault;
using TecanCentrisTest = PumpTest;

std::string Frame(char status, const std::string &data)
{
    return std::string("\xFF/0") + status + data + '\x03' + "\r\n";
}

TEST(DecodePumpReplyTest, StatusesAndFrames)
{
    const struct
    {
        std::string reply;
        bool ok;
        const char *out; // null: out untouched
    } cases[] = {
        {Frame('`', "12.5"), true, "12.5"},
        {Frame('@', ""), true, ""},
        {Frame('b', "x"), true, "x"},
        {Frame('c', "0"), true, "0"},
        {Frame('g', "CENTRIS"), true, "CENTRIS"},
        {Frame('A', ""), false, "Initialization error"},
        {Frame('B', ""), false, "Invalid command"},
        {Frame('C', "9"), false, "Invalid parameter"},
        {Frame('G', ""), false, "Device not yet initialized"},
        {Frame('H', ""), false, "Valve not configured"},
        {Frame('J', ""), false, "Valve overload"},
        {Frame('M', ""), false, "FRAM access error"},
        {Frame('O', ""), false, "Command overflow"},
        {Frame('P', ""), false, "Command not implemented"},
        {Frame('Q', ""), false, "FRAM or boot code checksum failure"},
        {Frame('R', ""), false, "Too many loops or loop comand nestiner error"},
        {Frame('S', ""), false, "Internal command execution error"},
        {Frame('T', ""), false, "Power-on self test fail"},
        {Frame('U', ""), false, "Watchdog reset"},
        {Frame('V', ""), false, "Low voltage"},
        {Frame('W', ""), false, "Boot code checksum failure"},
        {Frame('h', ""), false, "Valve move terminated"},
        {Frame('i', ""), false, "No valve steps detected"},
        {Frame('j', ""), false, "Step loss detected"},
        {Frame('k', ""), false, "Valve Index slot error"},
        {Frame('l', ""), false, "Valve drive reference voltage check failure"},
        {Frame('m', ""), false, "Valve diagnostic error"},
        {Frame('X', ""), false, "Unknown error"},
        {Frame('a', ""), false, "Unknown error"},
        // Malformed: out stays as it was.
        {std::string("\xFF/0`0\r\n"), false, nullptr},               // no ETX
        {std::string("/0`0") + '\x03' + "\r\n", false, nullptr},     // no 0xFF
        {std::string("\xFF/1`0") + '\x03' + "\r\n", false, nullptr}, // not the master address
        {std::string("\xFF/0`0") + '\x03' + "\n", false, nullptr},   // LF alone
        {std::string("\xFF/") + '\x03' + "\r\n", false, nullptr},    // too short
        {std::string(""), false, nullptr},
    };
    for (const auto &c : cases) {
        EString out("untouched");
        EXPECT_EQ(DecodePumpReply(c.reply.c_str(), &out), c.ok) << c.reply;
        EXPECT_STREQ(out.c_str(), c.out ? c.out : "untouched") << c.reply;
        EXPECT_EQ(DecodePumpReply(c.reply.c_str(), nullptr), c.ok) << c.reply;
    }
}

TEST(PumpTraceReplyTest, FrameCharactersAddressAndStatusAreDropped)
{
    const struct
    {
        std::string reply;
        const char *trace;
    } cases[] = {
        {Frame('`', "12.5"), "125"},
        {Frame('`', "-3, +4"), "34"},
        {Frame('`', "a\tb"), "a\tb"},
        {Frame('`', ""), ""},                                           // "0`" alone: two characters remain
        {Frame('`', "7"), "7"},                                         // three remain
        {std::string("\xFF/0") + '\xE9' + "ok" + '\x03' + "\r\n", "k"}, // bytes above 0x7F go too
        {"", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(PumpTraceReply(c.reply.c_str()), c.trace) << c.reply;
}

TEST_F(TecanCentrisTest, EveryErrorStatusReachesTheCallerAsItsText)
{
    const struct
    {
        char status;
        const char *text;
    } cases[] = {{'A', "Initialization error"},       {'C', "Invalid parameter"},
                 {'G', "Device not yet initialized"}, {'O', "Command overflow"},
                 {'j', "Step loss detected"},         {'X', "Unknown error"}};
    for (const auto &c : cases) {
        sim.InjectFault(Fault::Status, 1, c.status);
        EString data, error;
        EXPECT_FALSE(TecanCentris::SendCommand(kPort, 2, "ZR", 2000, data, error));
        EXPECT_EQ(std::string(error.c_str()),
                  std::string("TecanCentris::SendCommand () : com_port=7 pump=2 command=ZR error: ") +
                      c.text);
        EXPECT_STREQ(data.c_str(), c.text);
        const auto trace = LastTrace();
        ASSERT_EQ(trace.size(), static_cast<size_t>(kTraceFields));
        EXPECT_EQ(trace[kAttempts], "1"); // an answer, though an error, is not retried
        EXPECT_EQ(trace[kError], error.c_str());
    }
    for (char status : {'b', 'c', 'g', '@', '`'}) {
        sim.InjectFault(Fault::Status, 1, status);
        EString data, error;
        EXPECT_TRUE(TecanCentris::SendCommand(kPort, 1, "?29", 200, data, error)) << status;
        EXPECT_STREQ(error.c_str(), "");
    }
}

TEST_F(TecanCentrisTest, MalformedAnswersGiveTheTimeOutText)
{
    for (Fault fault : {Fault::NoEtx, Fault::NoFF, Fault::OtherAddress}) {
        sim.InjectFault(fault);
        EString data("kept"), error;
        EXPECT_FALSE(TecanCentris::SendCommand(kPort, 1, "?29", 200, data, error));
        EXPECT_STREQ(error.c_str(),
                     "TecanCentris::SendCommand () : com_port=7 pump=1 command=?29 command sent but no "
                     "valid response received before timeout of 200 ms");
        EXPECT_STREQ(data.c_str(), "kept");
        EXPECT_EQ(LastTrace()[kAttempts], "1");
    }
}

TEST_F(TecanCentrisTest, FourFailedAttemptsReopenThePortAndLateAnswersNeverCorruptTheNext)
{
    SerialPortFailureCallback = &CountFailure;
    sim.SetPump(1, Idle(12.5));
    // Every attempt's answer comes after its 200 ms budget, during the pause before the next.
    sim.InjectFault(Fault::Late, 4, 0, 350);
    int32_t capacity = -1;
    EString error;
    EXPECT_FALSE(TecanCentris::QueryLong(kPort, 1, "?17", capacity, error));
    EXPECT_EQ(capacity, -1);
    EXPECT_STREQ(error.c_str(), "TecanCentris::SendCommand () : error sending command to com port: 7");
    EXPECT_EQ(failures.load(), 4);
    const auto trace = LastTrace();
    ASSERT_EQ(trace.size(), static_cast<size_t>(kTraceFields));
    EXPECT_EQ(trace[kAttempts], "4");
    EXPECT_EQ(trace[kPortReset], "1");
    EXPECT_EQ(trace[kCommand], "?17");
    EXPECT_EQ(trace[kReply], "");
    // Three 1 s pauses and four 200 ms budgets at least.
    EXPECT_GE(std::strtoull(trace[kSendTime].c_str(), nullptr, 10), 3700u);
    EXPECT_TRUE(IsSerialPortOpen(kPort));
    // The failure went to the error log too.
    const platform::LocalTime now = platform::Now();
    char name[64];
    std::snprintf(name, sizeof name, "LOG/Err_%04d_%02d_%02d.log", now.year, now.month, now.day);
    EXPECT_NE(ReadFileBytes(dir.file(name)).find("error sending command to com port: 7"), std::string::npos);

    // The next command goes out at once, on the port set up again: the last late answer ("1000")
    // is still on its way, and the command's own answer comes later than that. It reads its own.
    sim.InjectFault(Fault::Late, 1, 0, 350);
    EString data;
    EXPECT_TRUE(TecanCentris::SendCommand(kPort, 1, "?18", 2000, data, error)) << error.c_str();
    EXPECT_STREQ(data.c_str(), "12.5");
    EXPECT_EQ(LastTrace()[kAttempts], "1");
    EXPECT_EQ(sim.Requests().back(), "1?18");

    // A late answer already waiting in the port when the next command goes out.
    sim.InjectFault(Fault::Late, 4, 0, 350);
    EXPECT_FALSE(TecanCentris::QueryLong(kPort, 1, "?17", capacity, error));
    ASSERT_TRUE(sim.WaitForLateAnswers(9, 5000));
    platform::SleepMs(50);
    double held = 0.0;
    EXPECT_TRUE(TecanCentris::QueryDouble(kPort, 1, "?18", held, error)) << error.c_str();
    EXPECT_DOUBLE_EQ(held, 12.5);
    EXPECT_EQ(LastTrace()[kReply], "125");
}

TEST_F(TecanCentrisTest, ALongReportHandedOverAByteAtATimeIsOneAttempt)
{
    // The configuration report is 57 bytes on the wire; at a 9600-baud pace it takes about 60 ms
    // of its 200.
    PumpSimulator::PumpState pump = Idle(0.0);
    pump.configuration = "CENTRIS 5000 UL, VALVE 3 PORT DISTRIBUTION, FW 1.2";
    ASSERT_EQ(pump.configuration.size(), 50u);
    sim.SetPump(1, pump);
    sim.InjectFault(Fault::Paced);
    EString data, error;
    EXPECT_TRUE(TecanCentris::SendCommand(kPort, 1, "?76", 200, data, error)) << error.c_str();
    EXPECT_EQ(std::string(data.c_str()), pump.configuration);
    EXPECT_EQ(LastTrace()[kAttempts], "1");
    EXPECT_EQ(failures.load(), 0);
}

TEST_F(TecanCentrisTest, TheMinimumGapIsKeptFromTheEndOfTheLastCommand)
{
    EString data, error;
    ASSERT_TRUE(TecanCentris::SetMinimumTimeBetweenCommands(500, error));
    // The first command of the process has nothing to keep a gap from.
    EXPECT_TRUE(TecanCentris::SendCommand(kPort, 1, "?29", 200, data, error)) << error.c_str();
    EXPECT_EQ(LastTrace()[kImposedSleep], "0");
    const uint64_t before = platform::TickMs();
    platform::SleepMs(200);
    const uint64_t idle = platform::TickMs() - before;
    EXPECT_TRUE(TecanCentris::SendCommand(kPort, 1, "?29", 200, data, error)) << error.c_str();
    const uint64_t imposed = std::strtoull(LastTrace()[kImposedSleep].c_str(), nullptr, 10);
    // 300 ms when the 200 ms pause is exact. A loaded machine stretches the pause and shortens the
    // sleep by as much; the gap itself counts from the end of the transmission, a little before.
    if (idle < 500) {
        EXPECT_LE(imposed, 500 - idle);
        EXPECT_GE(imposed + idle + 150, 500u);
    } else {
        EXPECT_EQ(imposed, 0u);
    }

    ASSERT_TRUE(TecanCentris::SetMinimumTimeBetweenCommands(0, error));
    EXPECT_TRUE(TecanCentris::SendCommand(kPort, 1, "?29", 200, data, error)) << error.c_str();
    EXPECT_EQ(LastTrace()[kImposedSleep], "0");
}

TEST_F(TecanCentrisTest, CommandsOfManyThreadsTakeTurns)
{
    sim.SetPump(1, Idle(0.0, 1000));
    sim.SetPump(2, Idle(0.0, 5000));
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            const int32_t pump = 1 + t % 2;
            for (int i = 0; i < 10; ++i) {
                int32_t capacity = 0;
                EString error;
                if (!TecanCentris::QueryLong(kPort, pump, "?17", capacity, error) ||
                    capacity != (pump == 1 ? 1000 : 5000))
                    ++wrong;
            }
        });
    for (auto &thread : threads)
        thread.join();
    EXPECT_EQ(wrong.load(), 0);
    std::lock_guard<std::mutex> lock(TraceMutex());
    EXPECT_EQ(Traces().size(), 40u);
}

TEST_F(TecanCentrisTest, MinimumGapAcceptsUpTo1000)
{
    EString error;
    EXPECT_TRUE(TecanCentris::SetMinimumTimeBetweenCommands(1000, error));
    EXPECT_EQ(TecanCentris::MinTimeBetweenCommandsMs.load(), 1000);
    EXPECT_FALSE(TecanCentris::SetMinimumTimeBetweenCommands(1001, error));
    EXPECT_STREQ(error.c_str(),
                 "TecanCentris::SetMinimumTimeBetweenCommands (1001) maximum delay is 1000 ms");
    EXPECT_EQ(TecanCentris::MinTimeBetweenCommandsMs.load(), 1000);
    // A negative setting arrives as a large 16-bit number.
    EXPECT_FALSE(TecanCentris::SetMinimumTimeBetweenCommands(static_cast<uint16_t>(-1), error));
    EXPECT_STREQ(error.c_str(),
                 "TecanCentris::SetMinimumTimeBetweenCommands (65535) maximum delay is 1000 ms");
    EXPECT_EQ(TecanCentris::MinTimeBetweenCommandsMs.load(), 1000);
}

TEST_F(TecanCentrisTest, BadAddressesAreRefusedWithATraceOfNoAttempts)
{
    const struct
    {
        int32_t port, pump;
        const char *error;
    } cases[] = {
        {kPort, 3, "TecanCentris::SendCommand () : Invalid ipump=3 : must be 1 or 2"},
        {kPort, 0, "TecanCentris::SendCommand () : Invalid ipump=0 : must be 1 or 2"},
        // Port 0 is what every operation gets while no pumps were found (always in analysis mode).
        {0, 1, "TecanCentris::SendCommand () : Invalid com_port=0 : must be 1 and 100"},
        {101, 1, "TecanCentris::SendCommand () : Invalid com_port=101 : must be 1 and 100"},
    };
    for (const auto &c : cases) {
        EString data, error;
        EXPECT_FALSE(TecanCentris::SendCommand(c.port, c.pump, "?29", 200, data, error));
        EXPECT_STREQ(error.c_str(), c.error);
        const auto trace = LastTrace();
        ASSERT_EQ(trace.size(), static_cast<size_t>(kTraceFields));
        EXPECT_EQ(trace[kAttempts], "0");
        EXPECT_EQ(trace[kError], c.error);
    }
    EString error;
    EXPECT_FALSE(Aspirate_ul(0, 1, 10.0, error, false));
    EXPECT_STREQ(error.c_str(), "TecanCentris::SendCommand () : Invalid com_port=0 : must be 1 and 100");
    EXPECT_FALSE(IsSerialPortOpen(0));
    EXPECT_TRUE(sim.Requests().empty());
}

TEST_F(TecanCentrisTest, FramesLongerThan127CharactersAreRefused)
{
    const std::string longest(124, 'k'); // "/1" + 124 + CR = 127
    EString data, error;
    TecanCentris::SendCommand(kPort, 1, longest.c_str(), 200, data, error);
    EXPECT_STREQ(error.c_str(), ("TecanCentris::SendCommand () : com_port=7 pump=1 command=" + longest +
                                 " error: Invalid command")
                                    .c_str());
    const std::string tooLong(125, 'k');
    EXPECT_FALSE(TecanCentris::SendCommand(kPort, 1, tooLong.c_str(), 200, data, error));
    EXPECT_STREQ(error.c_str(), ("TecanCentris::SendCommand () : com_port=7 pump=1 command=" + tooLong +
                                 " is longer than 127 characters when framed")
                                    .c_str());
    EXPECT_EQ(LastTrace()[kAttempts], "0");
    EXPECT_EQ(sim.Requests(), std::vector<std::string>{"1" + longest});
}

TEST_F(TecanCentrisTest, AspirateAndDispenseLimits)
{
    const struct
    {
        const char *name;
        bool aspirate;
        double heldUl, volumeUl;
        bool validateOnly, ok;
        const char *error;
        std::vector<std::string> requests;
    } cases[] = {
        {"aspirate up to the capacity", true, 400, 600, false, true, "", {"1?17", "1?18", "1P600,1R"}},
        {"aspirate a fraction", true, 0, 12.5, false, true, "", {"1?17", "1?18", "1P12.5,1R"}},
        {"aspirate past the capacity",
         true,
         400,
         600.5,
         false,
         false,
         "Aspirate_ul (600.5) : Invalid aspirate, will exceed syringe capacity : 1000 ul",
         {"1?17", "1?18"}},
        {"aspirate more than the syringe",
         true,
         0,
         1001,
         false,
         false,
         "Aspirate_ul (1001) : Invalid aspirate, will exceed syringe capacity : 1000 ul",
         {"1?17"}},
        {"check more than the syringe",
         true,
         0,
         1001,
         true,
         false,
         "Aspirate_ul (1001) : Invalid aspirate, will exceed syringe capacity : 1000 ul",
         {"1?17"}},
        {"check ignores the held volume", true, 400, 900, true, true, "", {"1?17"}},
        {"dispense all held", false, 400, 400, false, true, "", {"1?18", "1D400.000,1R"}},
        {"dispense more than held",
         false,
         400,
         400.5,
         false,
         false,
         "Dispense_ul (400.5) : Invalid dispense, current aspirated volume is too small : 400 ul",
         {"1?18"}},
        {"check a dispense", false, 0, 400, true, true, "", {}},
    };
    for (const auto &c : cases) {
        sim.SetPump(1, Idle(c.heldUl));
        sim.ClearRequests();
        EString error;
        const bool ok = c.aspirate ? Aspirate_ul(kPort, 1, c.volumeUl, error, c.validateOnly)
                                   : Dispense_ul(kPort, 1, c.volumeUl, error, c.validateOnly);
        EXPECT_EQ(ok, c.ok) << c.name;
        EXPECT_STREQ(error.c_str(), c.error) << c.name;
        EXPECT_EQ(sim.Requests(), c.requests) << c.name;
    }
}

TEST_F(TecanCentrisTest, AnAspirateMovesThePlungerAtTheSetSpeed)
{
    EString error;
    sim.SetPump(2, Idle(0.0));
    ASSERT_TRUE(TecanCentris::SetTopSpeed_ulpmin(kPort, 2, 6000.0, error)) << error.c_str(); // 100 µl/s
    ASSERT_TRUE(Aspirate_ul(kPort, 2, 50.0, error, false)) << error.c_str();
    EString busy;
    ASSERT_TRUE(TecanCentris::SendCommand(kPort, 2, "?29", 200, busy, error)) << error.c_str();
    EXPECT_STREQ(busy.c_str(), "1"); // half a second of travel
    EXPECT_TRUE(TecanCentris::TerminateBusyPumps(kPort, error)) << error.c_str();
    EXPECT_FALSE(sim.Pump(2).moving);
    EXPECT_LT(sim.Pump(2).positionUl, 50.0); // stopped on the way
}

TEST_F(TecanCentrisTest, TerminateBusyPumpsStopsOnlyTheBusyOnes)
{
    PumpSimulator::PumpState moving = Idle(0.0);
    moving.moving = true;
    moving.targetUl = 900;
    moving.topSpeedUlPerSec = 1.0;
    moving.startMs = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                               std::chrono::steady_clock::now().time_since_epoch())
                                               .count());
    sim.SetPump(2, moving);
    EString error("old");
    EXPECT_TRUE(TecanCentris::TerminateBusyPumps(kPort, error));
    EXPECT_STREQ(error.c_str(), "");
    EXPECT_EQ(sim.Requests(), (std::vector<std::string>{"1?29", "2?29", "2T"}));
    EXPECT_FALSE(sim.Pump(2).moving);

    // Pump 1 cannot be read: it gets no "T", and its text is the result.
    sim.ClearRequests();
    sim.InjectFault(Fault::Status, 1, 'S');
    EXPECT_FALSE(TecanCentris::TerminateBusyPumps(kPort, error));
    EXPECT_STREQ(error.c_str(), "TecanCentris::SendCommand () : com_port=7 pump=1 command=?29 error: "
                                "Internal command execution error");
    EXPECT_EQ(sim.Requests(), (std::vector<std::string>{"1?29", "2?29"}));
}

TEST_F(TecanCentrisTest, TemperaturesAreReadInFahrenheitAndGivenInCelsius)
{
    PumpSimulator::PumpState one = Idle(0), two = Idle(0);
    one.temperatureF = 98.6;
    two.temperatureF = 77.0;
    sim.SetPump(1, one);
    sim.SetPump(2, two);
    double c1 = 0, c2 = 0;
    EString error;
    ASSERT_TRUE(TecanCentris::GetTemperature(kPort, c1, c2, error)) << error.c_str();
    EXPECT_DOUBLE_EQ(c1, 37.0);
    EXPECT_DOUBLE_EQ(c2, 25.0);

    // A failure on pump 1 asks pump 2 nothing.
    sim.ClearRequests();
    sim.InjectFault(Fault::Status, 1, 'B');
    EXPECT_FALSE(TecanCentris::GetTemperature(kPort, c1, c2, error));
    EXPECT_STREQ(error.c_str(),
                 "TecanCentris::SendCommand () : com_port=7 pump=1 command=?53 error: Invalid command");
    EXPECT_EQ(sim.Requests(), std::vector<std::string>{"1?53"});
}

TEST_F(TecanCentrisTest, UnreadableAnswersOfQueries)
{
    int32_t value = 5;
    double number = 5.0;
    EString error;
    EXPECT_FALSE(TecanCentris::QueryLong(kPort, 1, "?76", value, error));
    EXPECT_STREQ(error.c_str(), "TecanCentris::SendCommand(?76) : invalid resonse : CENTRIS SIM");
    EXPECT_FALSE(TecanCentris::QueryDouble(kPort, 1, "?76", number, error));
    EXPECT_STREQ(error.c_str(), "TecanCentris::SendCommand(?76) : invalid resonse : CENTRIS SIM");
    EXPECT_EQ(value, 5);
    EXPECT_EQ(number, 5.0);
    EString report;
    EXPECT_TRUE(TecanCentris::QueryReport(kPort, 2, 76, report, error));
    EXPECT_STREQ(report.c_str(), "CENTRIS SIM");
}

TEST_F(TecanCentrisTest, CommandTextsAndRememberedSettings)
{
    EString error;
    ASSERT_TRUE(TecanCentris::SetTopSpeed_ulpmin(kPort, 1, 600.0, error)) << error.c_str();
    ASSERT_TRUE(TecanCentris::SetTopSpeed_ulpmin(kPort, 2, 30.0, error)) << error.c_str();
    ASSERT_TRUE(TecanCentris::SetValveOutput(kPort, 1, error)) << error.c_str();
    ASSERT_TRUE(TecanCentris::SetValveBypass(kPort, 2, error)) << error.c_str();
    ASSERT_TRUE(TecanCentris::MoveToVolume_ul(kPort, 1, 100.0, error)) << error.c_str();
    ASSERT_TRUE(TecanCentris::SetSyringeVolume(kPort, 2, 5000, error)) << error.c_str();
    ASSERT_TRUE(TecanCentris::Initialize(kPort, 2, error)) << error.c_str();
    ASSERT_TRUE(TecanCentris::ResetPump(kPort, 2, error)) << error.c_str();
    ASSERT_TRUE(TecanCentris::SetBacklash(kPort, 2, 5, error)) << error.c_str();
    EXPECT_EQ(sim.Requests(),
              (std::vector<std::string>{"1V10.000,1R", "2V0.500,1R", "1O", "1R", "2B", "2R", "1A100.000,1R",
                                        "2U92", "2ZR", "2!R", "2K5R", "2iR", "2!R"}));
    EXPECT_EQ(TecanCentris::LastTopSpeed_ulpmin[0].load(), 600.0);
    EXPECT_EQ(TecanCentris::LastTopSpeed_ulpmin[1].load(), 30.0);
    EXPECT_EQ(TecanCentris::LastValvePosition[0].load(), 'O');
    EXPECT_EQ(TecanCentris::LastValvePosition[1].load(), 'B');
    EXPECT_EQ(sim.Pump(1).valve, 'O');
    EXPECT_EQ(sim.Pump(2).capacityUl, 5000);
    EXPECT_EQ(sim.Pump(2).backlash, 5);

    // A refused valve command leaves the remembered letter.
    sim.InjectFault(Fault::Status, 1, 'J');
    EXPECT_FALSE(TecanCentris::SetValveInput(kPort, 1, error));
    EXPECT_EQ(TecanCentris::LastValvePosition[0].load(), 'O');

    sim.ClearRequests();
    EXPECT_FALSE(TecanCentris::SetSyringeVolume(kPort, 1, 750, error));
    EXPECT_STREQ(error.c_str(), "TecanCentris::SetSyringeVolume () Unknown volume value: 750");
    EXPECT_TRUE(sim.Requests().empty());
}

TEST_F(TecanCentrisTest, AccelerationIsCheckedByReadingItBack)
{
    EString error;
    EXPECT_TRUE(TecanCentris::SetAccelerationRate(kPort, 1, 10, 12, error)) << error.c_str();
    EXPECT_EQ(sim.Pump(1).rampUp, 10);
    EXPECT_EQ(sim.Pump(1).rampDown, 12);
    // The pump refuses 50; the read-back shows what it kept.
    EXPECT_FALSE(TecanCentris::SetAccelerationRate(kPort, 1, 50, 12, error));
    EXPECT_STREQ(error.c_str(),
                 "TecanCentris::SetAccelerationRate() : assigned ramp_up=50 read back ramp_up=10");
    EXPECT_EQ(sim.Requests(), (std::vector<std::string>{"1L10,12R", "1iR", "1!R", "1?9", "1?10", "1L50,12R",
                                                        "1iR", "1!R", "1?9", "1?10"}));
}

} // namespace
