// The pump and wait commands of the script language: their load-time and run-time checks without
// a pump (analysis mode) and their traffic with the simulated pumps.
#include "script/commands/PumpCommands.h"
#include "Ostravo/PumpFixture.h"
#include "ScriptFixture.h"
#include "app/PlexorinApp.h"
#include "script/CommandTable.h"
#include "script/ScriptRuntime.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

using ::testing::HasSubstr;

namespace {

// Handlers are global: each test removes the ones it installed, so other suites see none.
void RemovePumpCommands()
{
    for (int id : {cmd::GetSyringeAspiratedVolume, cmd::GetBacklashSteps, cmd::SetBacklashSteps,
                   cmd::GetAccelerationRate, cmd::SetAccelerationRate, cmd::SetTopSpeed, cmd::MoveToPosition,
                   cmd::Dispense, cmd::Aspirate, cmd::WaitWhileSyringeIsMoving, cmd::InitializeSyringePump,
                   cmd::TerminateMove, cmd::ResetPump, cmd::SetPumpValveState, cmd::SetSyringeVolume,
                   cmd::TestPumps, cmd::WaitWithTimer})
        RegisterCommandHandler(id, nullptr);
}

const Variable *FindVariable(const VariableList &variables, const char *name)
{
    for (const Variable &v : variables)
        if (std::string(v.name.c_str()) == name)
            return &v;
    return nullptr;
}

class PumpCommandsAnalysisTest : public ScriptFixture
{
  protected:
    void SetUp() override
    {
        ScriptFixture::SetUp();
        RegisterPumpCommands();
        m_oldPort = theApp.m_pump_port;
        theApp.m_pump_port = 0;
    }
    void TearDown() override
    {
        RemovePumpCommands();
        theApp.m_pump_port = m_oldPort;
        ScriptFixture::TearDown();
    }
    int32_t m_oldPort = 0;
};

// Without a pump port: which faults a script's load refuses, which ones only the run meets, and
// the texts both give.
TEST_F(PumpCommandsAnalysisTest, ChecksSplitBetweenLoadAndRunWithTheirMessages)
{
    struct Case
    {
        const char *script;
        bool loads;
        const char *message; // "" = the run succeeds
    };
    const Case cases[] = {
        {"Dispense(1, 5);", true, "Dispense(1, 5); : Dispense() pump not detected."},
        {"ValidateAspirate(1, -5);", true, ""},
        {"ValidateDispense(0, 20000);", true, ""},
        {"Dispense(3, 1);", false, "Dispense() ipump must be 0, 1 or 2"},
        {"Aspirate(-1, 1);", false, "Aspirate() ipump must be 0, 1 or 2"},
        {"Dispense(1, -5);", true, "Dispense() position must be between 0 and 10000 ul"},
        {"MoveToPosition(2, 10000.5);", true, "MoveToPosition() position must be between 0 and 10000 ul"},
        {"MoveToPosition(2, 10000);", true, "MoveToPosition() pump not detected."},
        {"SetAccelerationRate(1, 41, 5);", false, "SetAccelerationRate() rate_up must be between 1 and 40"},
        {"SetAccelerationRate(1, 5, 41);", true, "SetAccelerationRate() rate_down must be between 1 and 40"},
        {"SetAccelerationRate(1, 5, 5);", true, "SetAccelerationRate() pump not detected."},
        {"SetTopSpeed(0, 0.4);", true, "SetTopSpeed() speed must be between 0.5 and 300000 ul/min"},
        {"SetBacklashSteps(1, 3001);", true, "SetBacklashSteps() position must be between 0 and 3000 steps"},
        {"SetBacklashSteps(1, 30);", true,
         "SetBacklashSteps () : TecanCentris::SendCommand () : Invalid com_port=0"},
        {"int s;\nGetBacklashSteps(1, 5);", false, "GetBacklashSteps() volume must be a variable."},
        {"double v;\nGetSyringeAspiratedVolume(0, v);", false,
         "GetSyringeAsperatedVolume() ipump must be 1 or 2"},
        {"double v;\nGetSyringeAspiratedVolume(1, v);", true, "Invalid com_port=0"},
        {"int u;\nGetAccelerationRate(1, u, 3);", false,
         "GetAccelerationRate() ramp_down must be a variable."},
        {"ResetPump(0);", false, "ResetPump() ipump must be 1 or 2"},
        {"InitializeSyringePump(7);", true, "InitializeSyringePump() ipump must be 0, 1 or 2"},
        {"TerminateMove(0);", true, "TerminateMove() pump not detected."},
        {"SetPumpValveState(1, \"sideways\");", true,
         "SetPumpValveState() : state must be \"input\" or \"output\" or \"bypass\""},
        {"SetPumpValveState(1, \"\");", true,
         "SetPumpValveState() : state must be \"input\" or \"output\" or \"bypass\""},
        {"SetSyringeVolume(3, 50);", false, "SetSyringeVolume() isyringe must be equal to 0 (both) 1 or 2"},
        {"SetSyringeVolume(1, 1250);", true,
         "SetSyringeVolume() invalid vol_ul, valid values are 50, 100, 250, 500, 1000, 2500, 5000, 12500"},
        {"WaitWhileSyringeIsMoving(4, 1);", false, "WaitWhileSyringeIsMoving() syringe must be 0, 1 or 2"},
        {"WaitWhileSyringeIsMoving(0, 0);", true,
         "WaitWhileSytringeIsMoving() tmout_seconds must be between 1 an 36000"},
        {"WaitWhileSyringeIsMoving(1, 5);", true, "WaitWhileSyringeIsMoving() : TecanCentris::SendCommand"},
        {"TestPumps(3, 1, 10, 0.5);", true, "TestPumps() ipump must be 0, 1 or 2"},
        {"TestPumps(1, 0, 10, 0.5);", true, "TestPumps() ncycles must be between 1 and 10000"},
        {"TestPumps(1, 1, 10, 0.5);", true, "TestPumps() TecanCentris::SendCommand"},
        {"WaitWithTimer(0.4, \"x\");", true, "WaitWithTimer() seconds must be between 1 and 36000"},
        {"WaitWithTimer(36001, \"x\", 1);", true, "WaitWithTimer() seconds must be between 1 and 36000"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.script);
        Script instance;
        VariableList variables;
        EString error;
        bool loaded = false;
        const bool ok = LoadAndRunScriptText(instance, m_dir.file("t.scr"), std::string(c.script) + "\n",
                                             error, loaded, variables);
        EXPECT_EQ(loaded, c.loads) << error.c_str();
        if (*c.message == 0) {
            EXPECT_TRUE(ok) << error.c_str();
        } else {
            EXPECT_FALSE(ok);
            EXPECT_THAT(error.c_str(), HasSubstr(c.message));
        }
    }
}

TEST(TestPumpsPositionTest, CoversTheWholeRangeInThousandths)
{
    struct Case
    {
        uint32_t draw;
        int32_t range;
        double expected;
    };
    const Case cases[] = {
        {0, 20, 0.0},       {19999, 20, 19.999},     {20000, 20, 0.0},
        {40000, 100, 40.0}, {999999, 1000, 999.999}, {4294967295u, 5000, 4967.295},
        {12345, 0, 0.0},
    };
    for (const Case &c : cases)
        EXPECT_DOUBLE_EQ(TestPumpsPosition(c.draw, c.range), c.expected) << c.draw << " " << c.range;
}

class PumpCommandsSimTest : public vantelis::test::PumpTest
{
  protected:
    void SetUp() override
    {
        PumpTest::SetUp();
        RegisterPumpCommands();
        m_oldPort = theApp.m_pump_port;
        m_oldData = theApp.m_data_directory;
        theApp.m_pump_port = kPort;
        theApp.m_data_directory = dir.str();
        std::filesystem::create_directories(dir.path() / "Includes");
        for (int p = 1; p <= 2; ++p) {
            vantelis::test::PumpSimulator::PumpState state = sim.Pump(p);
            state.topSpeedUlPerSec = 1e6;
            sim.SetPump(p, state);
        }
    }
    void TearDown() override
    {
        SetTestPumpsRandomSource(nullptr);
        RemovePumpCommands();
        theApp.m_pump_port = m_oldPort;
        theApp.m_data_directory = m_oldData;
        PumpTest::TearDown();
    }
    bool Run(const std::string &text, EString &error, VariableList &variables)
    {
        bool loaded = false;
        Script instance;
        const bool ok = LoadAndRunScriptText(instance, dir.file("t.scr"), text, error, loaded, variables);
        EXPECT_TRUE(loaded) << error.c_str();
        return ok;
    }
    void StartSlowMove(int address)
    {
        vantelis::test::PumpSimulator::PumpState state = sim.Pump(address);
        state.moving = true;
        state.startUl = 0.0;
        state.targetUl = 1000.0;
        state.topSpeedUlPerSec = 1e-9;
        sim.SetPump(address, state);
    }
    static long Count(const std::vector<std::string> &requests, const std::string &text)
    {
        return std::count(requests.begin(), requests.end(), text);
    }
    int32_t m_oldPort = 0;
    std::string m_oldData;
};

TEST_F(PumpCommandsSimTest, AspirateWaitAndReadBackTheVolume)
{
    VariableList variables;
    EString error;
    ASSERT_TRUE(Run("double v;\nAspirate(1, 100);\nWaitWhileSyringeIsMoving(1, 10);\n"
                    "GetSyringeAspiratedVolume(1, v);\n",
                    error, variables))
        << error.c_str();
    const Variable *v = FindVariable(variables, "v");
    ASSERT_NE(v, nullptr);
    EXPECT_DOUBLE_EQ(v->number, 100.0);
    EXPECT_DOUBLE_EQ(sim.Pump(1).positionUl, 100.0);
    EXPECT_DOUBLE_EQ(sim.Pump(2).positionUl, 0.0);
    const std::vector<std::string> requests = sim.Requests();
    EXPECT_GE(Count(requests, "1?29"), 1);
    EXPECT_EQ(requests.back(), "1?18");
    for (const std::string &r : requests)
        EXPECT_EQ(r[0], '1') << r;

    // A validate-only call sends nothing.
    sim.ClearRequests();
    ASSERT_TRUE(Run("ValidateDispense(1, 5000);\n", error, variables)) << error.c_str();
    EXPECT_TRUE(sim.Requests().empty());
}

TEST_F(PumpCommandsSimTest, SettingsReachOnlyThePumpsThatNeedThem)
{
    auto state = sim.Pump(1);
    state.backlash = 50;
    sim.SetPump(1, state);
    state = sim.Pump(2);
    state.backlash = 20;
    sim.SetPump(2, state);
    VariableList variables;
    EString error;
    ASSERT_TRUE(Run("SetBacklashSteps(0, 50);\n", error, variables)) << error.c_str();
    std::vector<std::string> requests = sim.Requests();
    ASSERT_GE(requests.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(requests.begin(), requests.begin() + 3),
              (std::vector<std::string>{"1?4", "2?4", "2K50R"}));
    for (size_t i = 1; i < requests.size(); ++i)
        EXPECT_EQ(requests[i][0], '2') << requests[i];
    EXPECT_EQ(sim.Pump(2).backlash, 50);

    sim.ClearRequests();
    ASSERT_TRUE(Run("SetPumpValveState(2, \"Output\");\n", error, variables)) << error.c_str();
    EXPECT_EQ(sim.Pump(2).valve, 'O');
    EXPECT_EQ(sim.Pump(1).valve, 'I');

    sim.ClearRequests();
    ASSERT_TRUE(Run("TerminateMove(0);\n", error, variables)) << error.c_str();
    EXPECT_EQ(sim.Requests(), (std::vector<std::string>{"1?29", "2?29"}));

    ASSERT_TRUE(Run("int up;\nint down;\nSetAccelerationRate(2, 7, 9);\nGetAccelerationRate(2, up, down);\n",
                    error, variables))
        << error.c_str();
    EXPECT_EQ(FindVariable(variables, "up")->integer, 7);
    EXPECT_EQ(FindVariable(variables, "down")->integer, 9);
    EXPECT_EQ(sim.Pump(1).rampUp, 14);
}

TEST_F(PumpCommandsSimTest, WaitTimesOutCountingTheSleepsOfBothPumps)
{
    StartSlowMove(2);
    VariableList variables;
    EString error;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(Run("WaitWhileSyringeIsMoving(0, 2);\n", error, variables));
    const auto elapsedMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started)
            .count();
    EXPECT_GE(elapsedMs, 2000);
    EXPECT_LE(elapsedMs, 2600);
    EXPECT_THAT(error.c_str(), HasSubstr("WaitWhileSyringeIsMoving() : Timeout after 2 seconds"));
    const std::vector<std::string> requests = sim.Requests();
    EXPECT_EQ(Count(requests, "1?29"), 1);
    // Four sleeps a second: the queries at poll counts 0 to 8, the last of which gives up.
    EXPECT_EQ(Count(requests, "2?29"), 9);
}

TEST_F(PumpCommandsSimTest, TestPumpsReachesPositionsAboveThe15BitLimit)
{
    // Draws for pump 1 and pump 2 alternate; 40000 lies beyond what a 0..32767 source can give.
    std::vector<uint32_t> draws{40000, 7};
    size_t next = 0;
    SetTestPumpsRandomSource([&] { return draws[next++ % draws.size()]; });
    VariableList variables;
    EString error;
    ASSERT_TRUE(Run("TestPumps(1, 1, 100, 0.5);\n", error, variables)) << error.c_str();
    EXPECT_EQ(sim.Pump(1).moves, 1);
    EXPECT_EQ(sim.Pump(2).moves, 0);
    EXPECT_NEAR(sim.Pump(1).positionUl, 40.0, 0.01);
    EXPECT_EQ(next, 2u) << "pump 2's position is drawn even when it is not tested";

    // Pump 2 is measured against its own syringe.
    auto state = sim.Pump(2);
    state.capacityUl = 50;
    sim.SetPump(2, state);
    EXPECT_FALSE(Run("TestPumps(2, 1, 100, 0.5);\n", error, variables));
    EXPECT_THAT(error.c_str(), HasSubstr("TestPumps() range_ul must be between 1 and 50 ul"));

    // A tolerance out of range fails before anything moves.
    sim.ClearRequests();
    EXPECT_FALSE(Run("TestPumps(1, 3, 20, 1.5);\n", error, variables));
    EXPECT_THAT(error.c_str(), HasSubstr("TestPumps() tolerance_ul must be between 0 and 1.0 ul"));
    EXPECT_EQ(sim.Pump(1).moves, 1);
}

} // namespace
