// What a run start, a stop and the end of an operator-screen run ask of the syringe pumps, against
// the simulated pumps.
#include "Ostravo/PumpFixture.h"
#include "app/PlexorinApp.h"
#include "script/CommandTable.h"
#include "script/ScriptRuntime.h"

#include <algorithm>
#include <atomic>
#include <filesystem>

namespace vantelis::test {
namespace {

class ScriptPumpTest : public PumpTest
{
  protected:
    void SetUp() override
    {
        PumpTest::SetUp();
        m_oldPort = theApp.m_pump_port;
        m_oldAnalysis = theApp.m_analysis_mode;
        m_oldData = theApp.m_data_directory;
        theApp.m_pump_port = kPort;
        theApp.m_analysis_mode = true; // no digital lines to check
        theApp.m_data_directory = dir.str();
        std::filesystem::create_directories(dir.path() / "Includes");
    }
    void TearDown() override
    {
        EXPECT_TRUE(ShutdownScriptRuntime());
        RegisterCommandHandler(cmd::Wait, nullptr);
        theApp.m_pump_port = m_oldPort;
        theApp.m_analysis_mode = m_oldAnalysis;
        theApp.m_data_directory = m_oldData;
        PumpTest::TearDown();
    }
    // Pump address moves slowly towards its full volume.
    void StartSlowMove(int address)
    {
        PumpSimulator::PumpState state = sim.Pump(address);
        state.moving = true;
        state.startUl = 0.0;
        state.targetUl = 1000.0;
        state.topSpeedUlPerSec = 1e-9;
        sim.SetPump(address, state);
    }
    static bool WaitUntilEnded(int handle)
    {
        for (int i = 0; i < 2000 && ScriptInstanceExists(handle); ++i)
            platform::SleepMs(10);
        return !ScriptInstanceExists(handle);
    }
    std::string ScriptFile(const std::string &text)
    {
        const std::string path = dir.file("pump.scr");
        WriteFileBytes(path, text);
        return path;
    }

    int32_t m_oldPort = 0;
    bool m_oldAnalysis = false;
    std::string m_oldData;
};

TEST_F(ScriptPumpTest, ARunStartsOnlyWhenBothPumpsAnswerAndStandStill)
{
    EString error;
    EXPECT_TRUE(CheckPumpsIdle(error)) << error.c_str();
    EXPECT_EQ(sim.Requests(), (std::vector<std::string>{"1?29", "2?29", "1?18", "2?18", "1?17", "2?17"}));

    StartSlowMove(2);
    const std::string path = ScriptFile("Wait(1);\n");
    EXPECT_FALSE(Script::RunScript(0, path.c_str(), error));
    EXPECT_STREQ(error.c_str(), "Can't start a script because at least one pump is busy.");
    EXPECT_FALSE(ScriptInstanceExists(0));

    sim.InjectFault(PumpSimulator::Fault::Silence, 4);
    TecanCentris::SetRetryPauseForTesting(1);
    EXPECT_FALSE(CheckPumpsIdle(error));
    EXPECT_STREQ(error.c_str(), "Problem checking busy state of pump 1");
}

TEST_F(ScriptPumpTest, AStopTerminatesBothPumpsAndTheOperatorScreensEndStopsABusyOne)
{
    std::atomic<int> calls{0};
    std::atomic<bool> stopped{false};
    RegisterCommandHandler(cmd::Wait,
                           [&](::Script &, const char *, VariableList &, bool checkOnly, EString &) {
                               if (checkOnly)
                                   return true;
                               ++calls;
                               sim.ClearRequests();
                               stopped = Script::StopScript(0);
                               return true;
                           });
    EString error;
    ASSERT_TRUE(Script::RunScript(0, ScriptFile("Wait(1);\nWait(2);\n").c_str(), error)) << error.c_str();
    ASSERT_TRUE(WaitUntilEnded(0));
    EXPECT_TRUE(stopped.load());
    EXPECT_EQ(calls.load(), 1);
    std::vector<std::string> requests = sim.Requests();
    EXPECT_NE(std::find(requests.begin(), requests.end(), "1T"), requests.end());
    EXPECT_NE(std::find(requests.begin(), requests.end(), "2T"), requests.end());

    // An operator-screen run that leaves pump 2 moving: its end terminates that pump only.
    RegisterCommandHandler(cmd::Wait,
                           [&](::Script &, const char *, VariableList &, bool checkOnly, EString &) {
                               if (!checkOnly) {
                                   StartSlowMove(2);
                                   sim.ClearRequests();
                               }
                               return true;
                           });
    ASSERT_TRUE(Script::RunScript(1, ScriptFile("Wait(1);\n").c_str(), error)) << error.c_str();
    ASSERT_TRUE(WaitUntilEnded(1));
    requests = sim.Requests();
    EXPECT_EQ(std::count(requests.begin(), requests.end(), "2T"), 1);
    EXPECT_EQ(std::count(requests.begin(), requests.end(), "1T"), 0);
    EXPECT_FALSE(sim.Pump(2).moving);
}

} // namespace
} // namespace vantelis::test
