// The stage driver against the simulated controller: what goes on the wire, what is refused
// before anything is sent, how replies are checked, and the move wait.
#include "devices/StageFixture.h"

#include <cmath>
#include <functional>
#include <limits>
#include <vector>

namespace vantelis::test {
namespace {

using Call = std::function<bool(EString &)>;

class ZaberTest : public StageFixture
{
  protected:
    void Initialize()
    {
        EString error;
        ASSERT_TRUE(Zaber::Initialize(error)) << error.c_str();
    }
};

// With the default 20997.38 steps per mm: 1.0 mm is 20997.38 steps, -0.5 mm is -10498.69 steps
// and 100 mm is 2099738 steps; the X axis is device 1, axis 2.
TEST_F(ZaberTest, MovesGoOutAsRoundedStepCounts)
{
    Initialize();
    struct Case
    {
        const char *name;
        Call call;
        const char *request;
    };
    const Case cases[] = {
        {"focus 1.0 mm", [](EString &e) { return Zaber::MoveToPosition_mm(1, 1.0, e); },
         "01 1 move abs 20997"},
        {"X -0.5 mm", [](EString &e) { return Zaber::MoveToPosition_mm(0, -0.5, e); },
         "01 2 move abs -10499"},
        {"focus upper limit", [](EString &e) { return Zaber::MoveToPosition_mm(1, 100.0, e); },
         "01 1 move abs 2099738"},
        {"X relative lower limit", [](EString &e) { return Zaber::MoveRelative_mm(0, -100.0, e); },
         "01 2 move rel -2099738"},
        {"focus relative 0.01 mm", [](EString &e) { return Zaber::MoveRelative_mm(1, 0.01, e); },
         "01 1 move rel 210"},
        {"X home", [](EString &e) { return Zaber::Home(0, e); }, "01 2 home"},
        {"focus home", [](EString &e) { return Zaber::Home(1, e); }, "01 1 home"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        stage.ClearRequests();
        EString error;
        EXPECT_TRUE(c.call(error)) << error.c_str();
        EXPECT_EQ(stage.Requests(), std::vector<std::string>{c.request});
    }
}

// Halves round away from zero: 10 steps per mm make 0.25 mm exactly 2.5 steps.
TEST_F(ZaberTest, HalfStepsRoundAwayFromZeroWithTheAxisOwnSetting)
{
    WriteSettings("InitializeZaberOnStartup=TRUE\r\nZaberStepsPerMM_Z=10\r\nZaberStepsPerMM_X=4\r\n"
                  "ZaberXAxisDeviceIndex=3\r\nZaberXAxisIndex=1\r\n");
    Initialize();
    EString error;
    EXPECT_TRUE(Zaber::MoveToPosition_mm(1, 0.25, error)) << error.c_str();
    EXPECT_TRUE(Zaber::MoveToPosition_mm(1, -0.25, error)) << error.c_str();
    // Device 3 does not exist on the simulator: the request is what counts.
    EXPECT_FALSE(Zaber::MoveRelative_mm(0, 0.375, error));
    EXPECT_EQ(stage.Requests(),
              (std::vector<std::string>{"01 1 move abs 3", "01 1 move abs -3", "03 1 move rel 2"}));
}

// The driver and the stage panel read [Zaber] through one reader: each value, or its default when
// missing or unreadable; a value past 32 bits is held at the limit.
TEST_F(ZaberTest, SettingsAreEachValueOrItsDefault)
{
    struct Case
    {
        const char *name;
        const char *lines;
        Zaber::Settings expected;
    };
    const double d = Zaber::kDefaultStepsPerMm;
    const Case cases[] = {
        {"none", "", {1, 1, 1, 2, d, d}},
        {"all",
         "ZaberFocusDeviceIndex=4\r\nZaberXAxisDeviceIndex=5\r\nZaberFocusAxisIndex=3\r\n"
         "ZaberXAxisIndex=1\r\nZaberStepsPerMM_Z=1234.5\r\nZaberStepsPerMM_X=50000\r\n",
         {4, 5, 3, 1, 1234.5, 50000.0}},
        {"unreadable",
         "ZaberFocusDeviceIndex=x\r\nZaberXAxisIndex=\r\nZaberStepsPerMM_Z=many\r\n",
         {1, 1, 1, 2, d, d}},
        {"past 32 bits", "ZaberXAxisDeviceIndex=99999999999\r\n", {1, INT32_MAX, 1, 2, d, d}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        WriteSettings(c.lines);
        const Zaber::Settings read = Zaber::ReadSettings(ini.c_str());
        EXPECT_EQ(read.focusDevice, c.expected.focusDevice);
        EXPECT_EQ(read.xDevice, c.expected.xDevice);
        EXPECT_EQ(read.focusAxis, c.expected.focusAxis);
        EXPECT_EQ(read.xAxis, c.expected.xAxis);
        EXPECT_DOUBLE_EQ(read.stepsPerMmZ, c.expected.stepsPerMmZ);
        EXPECT_DOUBLE_EQ(read.stepsPerMmX, c.expected.stepsPerMmX);
    }
}

// Every refusal happens before anything is sent.
TEST_F(ZaberTest, RefusedRequestsSendNothing)
{
    Initialize();
    double mm = 0.0;
    EString status;
    struct Case
    {
        const char *name;
        Call call;
        const char *error;
    };
    const Case cases[] = {
        {"abs 100.5", [](EString &e) { return Zaber::MoveToPosition_mm(1, 100.5, e); },
         "Absolute position setting must be betwen -100.0 and 100.0 mm"},
        {"abs -100.01", [](EString &e) { return Zaber::MoveToPosition_mm(0, -100.01, e); },
         "Absolute position setting must be betwen -100.0 and 100.0 mm"},
        {"abs NaN", [](EString &e) { return Zaber::MoveToPosition_mm(1, std::nan(""), e); },
         "Absolute position setting must be betwen -100.0 and 100.0 mm"},
        {"rel 100.5", [](EString &e) { return Zaber::MoveRelative_mm(1, 100.5, e); },
         "Relative position setting must be betwen -100.0 and 100.0 mm"},
        {"abs axis 2", [](EString &e) { return Zaber::MoveToPosition_mm(2, 1.0, e); },
         "Invalid axis specified."},
        {"rel axis -1", [](EString &e) { return Zaber::MoveRelative_mm(-1, 1.0, e); },
         "Invalid axis specified."},
        {"home axis 2", [](EString &e) { return Zaber::Home(2, e); }, "Invalid axis specified."},
        {"status axis 2", [&](EString &e) { return Zaber::CheckStatus(2, status, e); },
         "Invalid axis specified."},
        {"position axis 7", [&](EString &e) { return Zaber::GetPosition_mm_s(7, mm, e); },
         "Invalid axis specified."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EString error;
        EXPECT_FALSE(c.call(error));
        EXPECT_STREQ(error.c_str(), c.error);
    }
    EXPECT_TRUE(stage.Requests().empty());
    EXPECT_EQ(failures, 0);
}

// Before Initialize, and with ZaberStepsPerMM_Z 0 after a successful one, everything that converts
// or polls refuses first, even a bad axis.
TEST_F(ZaberTest, ZeroFocusStepsMeanNotInitialised)
{
    double mm = 0.0;
    EString status;
    struct Case
    {
        Call call;
        const char *error;
    };
    const Case cases[] = {
        {[](EString &e) { return Zaber::MoveToPosition_mm(2, 1.0, e); },
         "Zaber::MoveToPosition_mm() - must call Zaber::Initialize() first."},
        {[](EString &e) { return Zaber::MoveRelative_mm(1, 500.0, e); },
         "Zaber::MoveRelative_mm() - must call Zaber::Initialize() first."},
        {[&](EString &e) { return Zaber::CheckStatus(1, status, e); },
         "Zaber::CheckStatus() - must call Zaber::Initialize() first."},
        {[&](EString &e) { return Zaber::GetPosition_mm_s(0, mm, e); },
         "Zaber::GetPosition_mm_s() - must call Zaber::Initialize() first."},
        {[](EString &e) { return WaitForMoveToFinish(1, e); },
         "Zaber::CheckStatus() - must call Zaber::Initialize() first."},
    };
    for (const char *settings : {"", "ZaberStepsPerMM_Z=0\r\n"}) {
        SCOPED_TRACE(settings[0] ? "steps 0" : "never initialised");
        if (settings[0]) {
            WriteSettings(std::string("InitializeZaberOnStartup=TRUE\r\n") + settings);
            Initialize();
        }
        for (const Case &c : cases) {
            SCOPED_TRACE(c.error);
            EString error;
            EXPECT_FALSE(c.call(error));
            EXPECT_STREQ(error.c_str(), c.error);
        }
    }
    EXPECT_TRUE(stage.Requests().empty());
}

// A zero or huge X value would send step 0 or an overflowed count; both are refused unsent.
TEST_F(ZaberTest, StepCountsThatCannotBeFormedAreRefused)
{
    struct Case
    {
        const char *settings;
        ZaberAxis axis;
        double mm;
    };
    const Case cases[] = {
        {"ZaberStepsPerMM_X=0\r\n", 0, 1.0},
        {"ZaberStepsPerMM_X=0\r\n", 0, 0.0},
        {"ZaberStepsPerMM_Z=1e9\r\n", 1, 3.0},
        {"ZaberStepsPerMM_Z=-1e300\r\n", 1, -100.0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.settings);
        WriteSettings(std::string("InitializeZaberOnStartup=TRUE\r\n") + c.settings);
        Initialize();
        EString error;
        EXPECT_FALSE(Zaber::MoveToPosition_mm(c.axis, c.mm, error));
        EXPECT_STREQ(error.c_str(),
                     c.axis == 0
                         ? "Zaber::MoveToPosition_mm() - ZaberStepsPerMM_X gives no valid step count."
                         : "Zaber::MoveToPosition_mm() - ZaberStepsPerMM_Z gives no valid step count.");
    }
    EXPECT_TRUE(stage.Requests().empty());
    // A position of the X axis with 0 steps per mm would be infinite.
    WriteSettings("InitializeZaberOnStartup=TRUE\r\nZaberStepsPerMM_X=0\r\n");
    Initialize();
    double mm = 7.0;
    EString error;
    EXPECT_FALSE(Zaber::GetPosition_mm_s(0, mm, error));
    EXPECT_STREQ(error.c_str(), "Zaber::GetPosition_mm_s() - ZaberStepsPerMM_X gives no valid step count.");
    EXPECT_EQ(mm, 7.0);
}

// A reply is taken only with the OK prefix of the requested device and axis; no reply at all also
// calls the failure callback.
TEST_F(ZaberTest, RepliesOfAnotherAddressOrWithoutOkAreRefused)
{
    Initialize();
    double mm = 0.0;
    EString status;
    using Fault = StageSimulator::Fault;
    struct Case
    {
        const char *name;
        Fault fault;
        Call call;
        const char *error;
        int failureCalls;
    };
    const Case cases[] = {
        {"abs from device 2", Fault::OtherAddress,
         [](EString &e) { return Zaber::MoveToPosition_mm(1, 1.0, e); },
         "Zaber provides invalid response to \"move abs\" command #1", 0},
        {"abs silent", Fault::Silence, [](EString &e) { return Zaber::MoveToPosition_mm(1, 1.0, e); },
         "Zaber fails to respond to \"move abs\" command", 1},
        {"rel rejected", Fault::Rejected, [](EString &e) { return Zaber::MoveRelative_mm(0, 1.0, e); },
         "Zaber provides invalid response to \"move rel\" command #1", 0},
        {"rel silent", Fault::Silence, [](EString &e) { return Zaber::MoveRelative_mm(0, 1.0, e); },
         "Zaber fails to respond to \"move rel\" command", 1},
        {"home from device 2", Fault::OtherAddress, [](EString &e) { return Zaber::Home(1, e); },
         "Zaber provides invalid response to \"home\" command #1", 0},
        {"home overflow", Fault::Overflow, [](EString &e) { return Zaber::Home(1, e); },
         "Zaber fails to respond to \"home\" command", 1},
        {"status from device 2", Fault::OtherAddress,
         [&](EString &e) { return Zaber::CheckStatus(1, status, e); }, "Zaber provides invalid response", 0},
        {"status silent", Fault::Silence, [&](EString &e) { return Zaber::CheckStatus(1, status, e); },
         "Zaber fails to respond", 1},
        {"position rejected", Fault::Rejected, [&](EString &e) { return Zaber::GetPosition_mm_s(1, mm, e); },
         "Zaber provides invalid response to \"get pos\" command #1", 0},
        {"position silent", Fault::Silence, [&](EString &e) { return Zaber::GetPosition_mm_s(1, mm, e); },
         "Zaber fails to respond to \"get pos\" command", 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        failures = 0;
        stage.InjectFault(c.fault);
        EString error;
        EXPECT_FALSE(c.call(error));
        EXPECT_STREQ(error.c_str(), c.error);
        EXPECT_EQ(failures, c.failureCalls);
    }
}

// The position is the last field over the axis's steps per mm; replies ending in LF alone or
// split CR and LF count the same.
TEST_F(ZaberTest, PositionIsTheLastFieldOverStepsPerMm)
{
    WriteSettings("InitializeZaberOnStartup=TRUE\r\nZaberStepsPerMM_X=1000\r\n");
    Initialize();
    StageSimulator::AxisState focus;
    focus.position = 41995;
    stage.SetAxis(1, focus);
    StageSimulator::AxisState x;
    x.position = -2500;
    stage.SetAxis(2, x);
    using Fault = StageSimulator::Fault;
    for (Fault fault : {Fault::None, Fault::LfOnly, Fault::SplitCrLf}) {
        stage.InjectFault(fault);
        double mm = 0.0;
        EString error;
        ASSERT_TRUE(Zaber::GetPosition_mm_s(1, mm, error)) << error.c_str();
        EXPECT_DOUBLE_EQ(mm, 41995 / 20997.38);
    }
    double mm = 0.0;
    EString error;
    ASSERT_TRUE(Zaber::GetPosition_mm_s(0, mm, error)) << error.c_str();
    EXPECT_DOUBLE_EQ(mm, -2.5);
    EXPECT_EQ(stage.Requests().back(), "01 2 get pos");
}

TEST_F(ZaberTest, StatusWordAndTheMoveWait)
{
    Initialize();
    stage.SetBusyPollsPerMove(3);
    EString error;
    ASSERT_TRUE(Zaber::MoveToPosition_mm(1, 1.0, error)) << error.c_str();
    EString status;
    ASSERT_TRUE(Zaber::CheckStatus(1, status, error)) << error.c_str();
    EXPECT_STREQ(status.c_str(), "BUSY");
    stage.ClearRequests();
    // Two more BUSY polls, then IDLE.
    EXPECT_TRUE(WaitForMoveToFinish(1, error)) << error.c_str();
    EXPECT_EQ(stage.Requests(), (std::vector<std::string>{"01 1", "01 1", "01 1"}));
    ASSERT_TRUE(Zaber::CheckStatus(1, status, error));
    EXPECT_STREQ(status.c_str(), "IDLE");

    // An axis that never stops: exactly 80 polls, then the time-out.
    stage.SetBusyPollsPerMove(-1);
    ASSERT_TRUE(Zaber::MoveRelative_mm(0, 1.0, error)) << error.c_str();
    stage.ClearRequests();
    EXPECT_FALSE(WaitForMoveToFinish(0, error));
    EXPECT_STREQ(error.c_str(), "WaitForMoveToFinish() - timeout");
    EXPECT_EQ(stage.Requests(), std::vector<std::string>(80, "01 2"));

    // A poll that fails ends the wait with its own text.
    stage.InjectFault(StageSimulator::Fault::None, 2);
    stage.InjectFault(StageSimulator::Fault::Silence);
    stage.ClearRequests();
    EXPECT_FALSE(WaitForMoveToFinish(0, error));
    EXPECT_STREQ(error.c_str(), "Zaber fails to respond");
    EXPECT_EQ(stage.Requests().size(), 3u);
}

// The temperature is always asked of device 1, axis 1, whatever the settings say.
TEST_F(ZaberTest, TemperatureOfDeviceOneAxisOne)
{
    WriteSettings("InitializeZaberOnStartup=TRUE\r\nZaberFocusDeviceIndex=4\r\nZaberFocusAxisIndex=2\r\n");
    Initialize();
    stage.SetTemperature("31.25");
    double degrees = 0.0;
    EString error;
    ASSERT_TRUE(Zaber::GetTemperature(degrees, error)) << error.c_str();
    EXPECT_DOUBLE_EQ(degrees, 31.25);
    EXPECT_EQ(stage.Requests(), std::vector<std::string>{"01 1 get driver.temperature"});

    struct Case
    {
        StageSimulator::Fault fault;
        const char *temperature;
        const char *error;
    };
    const Case cases[] = {
        {StageSimulator::Fault::OtherAddress, "31.25",
         "Zaber provides invalid to respond  #1 \"@02 1 OK IDLE -- 31.25\" to \"/01 1 get "
         "driver.temperature\" command"},
        {StageSimulator::Fault::None, "warm",
         "Zaber provides invalid to respond #3 \"@01 1 OK IDLE -- warm\" to \"/01 1 get driver.temperature\" "
         "command"},
        {StageSimulator::Fault::Silence, "31.25",
         "Zaber fails to respond to \"/01 1 get driver.temperature\" command"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.error);
        stage.SetTemperature(c.temperature);
        stage.InjectFault(c.fault);
        degrees = -1.0;
        EXPECT_FALSE(Zaber::GetTemperature(degrees, error));
        EXPECT_STREQ(error.c_str(), c.error);
        EXPECT_EQ(degrees, -1.0);
    }
    theApp.m_stage_port = 0;
    EXPECT_FALSE(Zaber::GetTemperature(degrees, error));
    EXPECT_STREQ(error.c_str(), "Zaber::GetTemperature() - Zaber stage is not connected.");
}

// A 70-byte reply handed over a byte at a time takes about 73 ms of its 500.
TEST_F(ZaberTest, AReplyHandedOverAByteAtATimeEndsWithinItsTimeOut)
{
    Initialize();
    const std::string temperature = "31.25" + std::string(46, '0');
    stage.SetTemperature(temperature);
    ASSERT_EQ(std::string("@01 1 OK IDLE -- ").size() + temperature.size() + 2, 70u);
    stage.InjectFault(StageSimulator::Fault::Paced);
    double degrees = 0.0;
    EString error;
    EXPECT_TRUE(Zaber::GetTemperature(degrees, error)) << error.c_str();
    EXPECT_DOUBLE_EQ(degrees, 31.25);
    EXPECT_EQ(failures.load(), 0);
}

TEST_F(ZaberTest, InitializeReadsTheSettingsOnlyWithAStagePort)
{
    WriteSettings(
        "InitializeZaberOnStartup=TRUE\r\nZaberFocusDeviceIndex=2\r\nZaberXAxisDeviceIndex=x\r\n"
        "ZaberFocusAxisIndex=3\r\nZaberXAxisIndex=4\r\nZaberStepsPerMM_Z=123.5\r\nZaberStepsPerMM_X=\r\n");
    Initialize();
    const Zaber::Settings settings = Zaber::CurrentSettings();
    EXPECT_EQ(settings.focusDevice, 2);
    EXPECT_EQ(settings.xDevice, 1) << "unparsable: the default";
    EXPECT_EQ(settings.focusAxis, 3);
    EXPECT_EQ(settings.xAxis, 4);
    EXPECT_EQ(settings.stepsPerMmZ, 123.5);
    EXPECT_EQ(settings.stepsPerMmX, Zaber::kDefaultStepsPerMm);

    // Without a stage port nothing is read, and the text says why.
    theApp.m_stage_port = 0;
    Zaber::ResetForTesting();
    struct Case
    {
        const char *setting;
        const char *expected;
    };
    const Case cases[] = {
        {"", "InitializeZaberOnStartup=TRUE"},
        {"InitializeZaberOnStartup=no\r\n", "InitializeZaberOnStartup=TRUE"},
        {"InitializeZaberOnStartup=true\r\n", "Zaber stage is not connected."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.setting);
        WriteSettings(c.setting);
        EString error;
        EXPECT_FALSE(Zaber::Initialize(error));
        EXPECT_NE(std::string(error.c_str()).find(c.expected), std::string::npos) << error.c_str();
        EXPECT_EQ(Zaber::CurrentSettings().stepsPerMmZ, 0.0);
    }
}

// Garbage on the line never passes for an answer and never breaks the driver.
TEST_F(ZaberTest, RandomRepliesAreNeverTakenAsValid)
{
    Initialize();
    stage.SetRandomReplies(true, 7);
    for (int i = 0; i < 20; ++i) {
        EString error, status;
        double value = 0.0;
        EXPECT_FALSE(Zaber::CheckStatus(1, status, error));
        EXPECT_TRUE(error.IsNonEmpty());
        EXPECT_FALSE(Zaber::GetPosition_mm_s(1, value, error));
        EXPECT_FALSE(Zaber::GetTemperature(value, error));
    }
}

// The reply helpers the driver and the panel share.
TEST(ZaberReplies, PrefixAndFieldRules)
{
    struct Case
    {
        const char *reply;
        int device, axis;
        bool ok;
    };
    const Case cases[] = {
        {"@01 1 OK IDLE -- 0", 1, 1, true},
        {"@01 1 OK ", 1, 1, true},
        {"@01 1 OK", 1, 1, false},
        {"@02 1 OK IDLE -- 0", 1, 1, false},
        {"@01 2 OK IDLE -- 0", 1, 1, false},
        {"@1 1 OK IDLE -- 0", 1, 1, false},
        {"@01 1 RJ IDLE -- 0", 1, 1, false},
        {"@12 3 OK BUSY -- 0", 12, 3, true},
        {"", 1, 1, false},
        {"@01 0 OK IDLE -- 30222", 1, 0, true},
    };
    for (const Case &c : cases)
        EXPECT_EQ(zaber::HasOkPrefix(c.reply, c.device, c.axis), c.ok) << c.reply;
    EXPECT_EQ(zaber::StripLineEnd("@01 1 OK IDLE -- 5\r\n"), "@01 1 OK IDLE -- 5");
    EXPECT_EQ(zaber::StripLineEnd("\n\r"), "");
    EXPECT_EQ(zaber::LastField("@01 1 OK IDLE -- 41995"), "41995");
    EXPECT_EQ(zaber::LastField("nofield"), "nofield");
    int32_t steps = 0;
    EXPECT_TRUE(zaber::MillimetresToSteps(-0.25, 10.0, steps));
    EXPECT_EQ(steps, -3);
    EXPECT_FALSE(zaber::MillimetresToSteps(1.0, std::numeric_limits<double>::infinity(), steps));
    EXPECT_FALSE(zaber::MillimetresToSteps(1.0, 2147483648.0, steps));
    EXPECT_TRUE(zaber::MillimetresToSteps(-1.0, 2147483648.0, steps));
    EXPECT_EQ(steps, std::numeric_limits<int32_t>::min());
}

} // namespace
} // namespace vantelis::test
