#include "PumpFixture.h"

#include "platform/Clock.h"

#include <cstdint>
#include <memory>
#include <string>
#include <thread>

using namespace vantelis::test;

namespace {

using Fault = PumpSimulator::Fault;
using SerialPortTest = PumpTest;

const std::string kIdleReply = std::string("\xFF/0`0") + '\x03' + "\r\n";

TEST(SerialPortDevicePathTest, ComNumbersMapToDeviceFamiliesInOrder)
{
    SetLogMainSettingsPath("");
    const struct
    {
        uint32_t com;
        const char *path;
    } cases[] = {{0, ""},
                 {1, "/dev/ttyS0"},
                 {32, "/dev/ttyS31"},
                 {33, "/dev/ttyUSB0"},
                 {64, "/dev/ttyUSB31"},
                 {65, "/dev/ttyACM0"},
                 {96, "/dev/ttyACM31"},
                 {97, ""},
                 {99, ""}};
    for (const auto &c : cases)
        EXPECT_EQ(SerialPortDevicePath(c.com), c.path) << "COM" << c.com;
}

TEST(SerialPortDevicePathTest, SettingsFileNamesTheDeviceOfAComNumber)
{
    TempDir dir;
    WriteFileBytes(
        dir.file("Vantelis.ini"),
        "[Serial]\r\n; PortDevice3=/dev/ttyUSB9\r\nPortDevice4= /dev/ttyXR2 \r\nPortDevice99=/dev/pts/8\r\n");
    SetLogMainSettingsPath(dir.file("Vantelis.ini").c_str());
    EXPECT_EQ(SerialPortDevicePath(3), "/dev/ttyS2"); // a comment names nothing
    EXPECT_EQ(SerialPortDevicePath(4), "/dev/ttyXR2");
    EXPECT_EQ(SerialPortDevicePath(99), "/dev/pts/8");
    EXPECT_EQ(SerialPortDevicePath(5), "/dev/ttyS4");
    SetLogMainSettingsPath("");
}

TEST(SerialPortDevicePathTest, TheShippedSettingsOnlyExplainTheMapping)
{
    SetLogMainSettingsPath(VANTELIS_SOURCE_DIR "/res/data/Default/Vantelis.ini");
    EXPECT_EQ(SerialPortDevicePath(3), "/dev/ttyS2");
    EXPECT_EQ(SerialPortDevicePath(40), "/dev/ttyUSB7");
    SetLogMainSettingsPath("");
}

TEST_F(SerialPortTest, SecondSetupOfAnOpenPortIsRefusedAndThePortStaysUsable)
{
    EString error;
    EXPECT_FALSE(SetupSerialPort(kPort, 9600, error));
    EXPECT_STREQ(error.c_str(),
                 "SetupSerialPort () - Port 7 is already being used - call ReleaseSerialPort () first.");
    EString reply;
    EXPECT_TRUE(SerialSendReceive(kPort, "/1?29\r", '\r', reply, 500, '\n'));
    EXPECT_EQ(std::string(reply.c_str()), kIdleReply);
}

TEST_F(SerialPortTest, APortOpensForOneUserOnly)
{
    // COM8 names the same device as the open COM7.
    WriteFileBytes(dir.file("Vantelis.ini"), "[Serial]\r\nPortDevice7=" + sim.PortPath() +
                                                 "\r\nPortDevice8=" + sim.PortPath() + "\r\n");
    EString error;
    EXPECT_FALSE(SetupSerialPort(8, 9600, error));
    EXPECT_STREQ(error.c_str(), "SetupSerialPort () : COM8 problem trying to setup serial port resource.");
    EXPECT_FALSE(IsSerialPortOpen(8));
    // Released, the device opens again under the other number.
    EXPECT_TRUE(ReleaseSerialPort(kPort));
    EXPECT_TRUE(SetupSerialPort(8, 9600, error)) << error.c_str();
    EXPECT_TRUE(ReleaseSerialPort(8));
}

TEST_F(SerialPortTest, MissingDevicesAndUnknownPortsLeaveNoRecord)
{
    WriteFileBytes(dir.file("Vantelis.ini"), "[Serial]\r\nPortDevice9=" + dir.file("no-such-tty") + "\r\n");
    EString error;
    EXPECT_FALSE(SetupSerialPort(9, 9600, error));
    EXPECT_STREQ(error.c_str(), "SetupSerialPort () : COM9 problem trying to setup serial port resource.");
    EXPECT_FALSE(IsSerialPortOpen(9));
    EXPECT_FALSE(SetupSerialPort(100, 9600, error)); // no device behind it at all
    EXPECT_FALSE(ReleaseSerialPort(9));
    EXPECT_TRUE(IsSerialPortOpen(kPort));
}

TEST_F(SerialPortTest, TransactionEndings)
{
    SerialPortFailureCallback = &CountFailure;
    const struct
    {
        const char *name;
        Fault fault;
        bool ok;
        int code;
        std::string reply;
    } cases[] = {
        {"whole frame", Fault::None, true, 0, kIdleReply},
        {"CR and LF in separate reads", Fault::SplitCrLf, true, 0, kIdleReply},
        {"LF alone", Fault::LfOnly, false, 10, std::string("\xFF/0`0") + '\x03' + "\n"},
        {"silence", Fault::Silence, false, 10, ""},
    };
    int expectedFailures = 0;
    for (const auto &c : cases) {
        sim.InjectFault(c.fault);
        EString reply;
        int code = -1;
        EXPECT_EQ(SerialSendReceive(kPort, "/1?29\r", '\r', reply, 300, '\n', &code), c.ok) << c.name;
        EXPECT_EQ(code, c.code) << c.name;
        EXPECT_EQ(std::string(reply.c_str()), c.reply) << c.name;
        expectedFailures += c.ok ? 0 : 1;
        EXPECT_EQ(failures.load(), expectedFailures) << c.name;
    }
}

TEST_F(SerialPortTest, SingleTerminatorEndsAtItsByte)
{
    EString reply;
    int code = -1;
    EXPECT_TRUE(SerialSendReceive(kPort, "/2?17\r", '\n', reply, 300, 0, &code));
    EXPECT_EQ(code, 0);
    EXPECT_EQ(std::string(reply.c_str()), std::string("\xFF/0`1000") + '\x03' + "\r\n");
}

TEST_F(SerialPortTest, A1023ByteReplyWithoutTerminatorEndsBeforeTheBudget)
{
    SerialPortFailureCallback = &CountFailure;
    sim.InjectFault(Fault::Overflow);
    EString reply;
    int code = -1;
    const uint64_t start = platform::TickMs();
    EXPECT_FALSE(SerialSendReceive(kPort, "/1?29\r", '\r', reply, 30000, '\n', &code));
    // The budget is 30 s; a full buffer ends the transaction long before.
    EXPECT_LT(platform::TickMs() - start, 20000u);
    EXPECT_EQ(code, 10);
    EXPECT_EQ(std::string(reply.c_str()), std::string(1023, 'x'));
    EXPECT_EQ(failures.load(), 1);
}

TEST_F(SerialPortTest, ATimeOutBelowThePollIntervalStillReadsOnce)
{
    sim.InjectFault(Fault::Silence);
    EString reply;
    int code = -1;
    EXPECT_FALSE(SerialSendReceive(kPort, "/1?29\r", '\r', reply, 3, '\n', &code));
    EXPECT_EQ(code, 10);
    // The simulator heard the request, so it was written before the read round.
    for (int wait = 0; wait < 200 && sim.Requests().empty(); ++wait)
        platform::SleepMs(10);
    ASSERT_EQ(sim.Requests().size(), 1u);
    EXPECT_EQ(sim.Requests()[0], "1?29");
}

TEST_F(SerialPortTest, AnUnknownPortFailsWithoutCallingTheFailureCallback)
{
    SerialPortFailureCallback = &CountFailure;
    EString reply("old");
    int code = -1;
    EXPECT_FALSE(SerialSendReceive(42, "/1?29\r", '\r', reply, 100, '\n', &code));
    EXPECT_EQ(code, 2000);
    EXPECT_EQ(failures.load(), 0);
    EXPECT_FALSE(ReleaseSerialPort(42));
}

TEST_F(SerialPortTest, AReplyThatCameTooLateIsNotTakenForTheNextOne)
{
    SerialPortFailureCallback = &CountFailure;
    sim.SetPump(1, Idle(250.0, 1000));
    const std::string held = std::string("\xFF/0`250.0") + '\x03' + "\r\n";
    // The late bytes already wait in the port's input queue when the next request goes out.
    sim.InjectFault(Fault::Late, 1, 0, 300);
    EString reply;
    int code = -1;
    EXPECT_FALSE(SerialSendReceive(kPort, "/1?17\r", '\r', reply, 100, '\n', &code));
    EXPECT_EQ(code, 10);
    ASSERT_TRUE(sim.WaitForLateAnswers(1, 5000));
    platform::SleepMs(50);
    EXPECT_TRUE(SerialSendReceive(kPort, "/1?18\r", '\r', reply, 500, '\n', &code));
    EXPECT_EQ(std::string(reply.c_str()), held);

    // The next request goes out at once, before the late reply to the failed one arrives; its own
    // reply comes later still. The late one is waited out and thrown away.
    sim.InjectFault(Fault::Late, 2, 0, 300);
    EXPECT_FALSE(SerialSendReceive(kPort, "/1?17\r", '\r', reply, 200, '\n', &code));
    EXPECT_EQ(code, 10);
    EXPECT_TRUE(SerialSendReceive(kPort, "/1?18\r", '\r', reply, 1000, '\n', &code));
    EXPECT_EQ(std::string(reply.c_str()), held);
    EXPECT_EQ(failures.load(), 2);
}

TEST_F(SerialPortTest, AReplyHandedOverAByteAtATimeIsReadUntilItsTimeOut)
{
    // 57 bytes 1.04 ms apart take about 60 ms: within 200 ms, beyond 30 ms.
    PumpSimulator::PumpState pump = Idle(0.0);
    pump.configuration = std::string(50, 'C');
    sim.SetPump(1, pump);
    const std::string frame = "\xFF/0`" + pump.configuration + '\x03' + "\r\n";
    ASSERT_EQ(frame.size(), 57u);
    sim.InjectFault(Fault::Paced);
    EString reply;
    int code = -1;
    EXPECT_TRUE(SerialSendReceive(kPort, "/1?76\r", '\r', reply, 200, '\n', &code));
    EXPECT_EQ(code, 0);
    EXPECT_EQ(std::string(reply.c_str()), frame);

    sim.InjectFault(Fault::Paced);
    EXPECT_FALSE(SerialSendReceive(kPort, "/1?76\r", '\r', reply, 30, '\n', &code));
    EXPECT_EQ(code, 10);
    EXPECT_EQ(frame.compare(0, reply.GetLength(), reply.c_str()), 0) << "the start of the reply";
    EXPECT_LT(static_cast<size_t>(reply.GetLength()), frame.size());
}

TEST_F(SerialPortTest, ALineThatNeverGoesQuietHoldsTheNextRequestUpOnlySoLong)
{
    SerialPortFailureCallback = &CountFailure;
    sim.InjectFault(Fault::Silence, 2);
    EString reply;
    int code = -1;
    EXPECT_FALSE(SerialSendReceive(kPort, "/1?29\r", '\r', reply, 200, '\n', &code));
    sim.StartNoise(20000, 5);
    const uint64_t start = platform::TickMs();
    EXPECT_FALSE(SerialSendReceive(kPort, "/1?29\r", '\r', reply, 200, '\n', &code));
    // The noise goes on for 20 s; the request went out long before.
    EXPECT_LT(platform::TickMs() - start, 5000u);
    EXPECT_EQ(code, 10);
    EXPECT_EQ(sim.Requests().size(), 2u);
    EXPECT_EQ(failures.load(), 2);
}

TEST_F(SerialPortTest, AFreshSetUpDoesNotWaitForTheLineAfterAFailure)
{
    // The failed request's reply would be 1.5 s late; a port set up afresh does not wait for it,
    // while one re-opened for the same user does.
    sim.InjectFault(Fault::Silence);
    EString reply, error;
    int code = -1;
    EXPECT_FALSE(SerialSendReceive(kPort, "/1?29\r", '\r', reply, 1500, '\n', &code));
    ASSERT_TRUE(ReleaseSerialPort(kPort));
    ASSERT_TRUE(SetupSerialPort(kPort, 9600, error)) << error.c_str();
    uint64_t start = platform::TickMs();
    EXPECT_TRUE(SerialSendReceive(kPort, "/1?29\r", '\r', reply, 500, '\n', &code));
    EXPECT_LT(platform::TickMs() - start, 1000u);

    sim.InjectFault(Fault::Silence);
    EXPECT_FALSE(SerialSendReceive(kPort, "/1?29\r", '\r', reply, 1500, '\n', &code));
    ASSERT_TRUE(ReopenSerialPort(kPort, 9600, error)) << error.c_str();
    start = platform::TickMs();
    EXPECT_TRUE(SerialSendReceive(kPort, "/1?29\r", '\r', reply, 500, '\n', &code));
    EXPECT_GE(platform::TickMs() - start, 1000u) << "the quiet line was waited for";
}

TEST_F(SerialPortTest, ReleasingAPortWaitsForItsRunningTransaction)
{
    sim.InjectFault(Fault::Late, 1, 0, 300);
    bool ok = false;
    EString reply;
    std::thread user([&] { ok = SerialSendReceive(kPort, "/1?29\r", '\r', reply, 2000, '\n'); });
    for (int wait = 0; wait < 200 && sim.Requests().empty(); ++wait)
        platform::SleepMs(5);
    EXPECT_TRUE(ReleaseSerialPort(kPort));
    user.join();
    EXPECT_TRUE(ok);
    EXPECT_EQ(std::string(reply.c_str()), kIdleReply);
    EXPECT_FALSE(IsSerialPortOpen(kPort));
    int code = -1;
    EXPECT_FALSE(SerialSendReceive(kPort, "/1?29\r", '\r', reply, 100, '\n', &code));
    EXPECT_EQ(code, 2000);
}

TEST_F(SerialPortTest, PumpsAtAnotherBaudStaySilent)
{
    ASSERT_TRUE(ReleaseSerialPort(kPort));
    EString error;
    ASSERT_TRUE(SetupSerialPort(kPort, 19200, error)) << error.c_str();
    EString reply;
    int code = -1;
    EXPECT_FALSE(SerialSendReceive(kPort, "/1?29\r", '\r', reply, 200, '\n', &code));
    EXPECT_EQ(code, 10);
    ASSERT_TRUE(ReleaseSerialPort(kPort));
    ASSERT_TRUE(SetupSerialPort(kPort, 9600, error)) << error.c_str();
    EXPECT_TRUE(SerialSendReceive(kPort, "/1?29\r", '\r', reply, 500, '\n', &code));
}

TEST_F(SerialPortTest, AHungUpLineFailsAndCallsTheFailureCallback)
{
    auto gone = std::make_unique<PumpSimulator>();
    WriteFileBytes(dir.file("Vantelis.ini"), "[Serial]\r\nPortDevice11=" + gone->PortPath() + "\r\n");
    EString error;
    ASSERT_TRUE(SetupSerialPort(11, 9600, error)) << error.c_str();
    gone.reset();
    SerialPortFailureCallback = &CountFailure;
    EString reply;
    int code = -1;
    EXPECT_FALSE(SerialSendReceive(11, "/1?29\r", '\r', reply, 200, '\n', &code));
    // The write or the read finds the line hung up, whichever comes first.
    EXPECT_TRUE(code == 9 || code == 1010) << code;
    EXPECT_EQ(failures.load(), 1);
    EXPECT_TRUE(ReleaseSerialPort(11));
}

} // namespace
