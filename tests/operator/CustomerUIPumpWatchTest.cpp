// The pump watch of the operator screen against the simulated pumps: its queries run on the
// ticker's worker, so the user-interface thread keeps answering while the pump is slow to reply.
#include "Ostravo/PumpFixture.h"
#include "app/PlexorinApp.h"
#include "operator/CustomerUI.h"
#include "operator/CustomerUITicker.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace vantelis::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class CustomerUIPumpWatchTest : public PumpTest
{
  protected:
    void SetUp() override
    {
        PumpTest::SetUp();
        m_oldPort = theApp.m_pump_port;
        m_oldAnalysis = theApp.m_analysis_mode;
        theApp.m_pump_port = kPort;
        theApp.m_analysis_mode = false;
    }
    void TearDown() override
    {
        theApp.m_pump_port = m_oldPort;
        theApp.m_analysis_mode = m_oldAnalysis;
        PumpTest::TearDown();
    }
    void SetMoving(int address, bool moving)
    {
        PumpSimulator::PumpState state = sim.Pump(address);
        state.moving = moving;
        state.startUl = 0.0;
        state.targetUl = 1000.0;
        state.topSpeedUlPerSec = 1e-9; // it would take ages to arrive
        sim.SetPump(address, state);
    }
    int32_t m_oldPort = 0;
    bool m_oldAnalysis = false;
};

TEST_F(CustomerUIPumpWatchTest, RaisedWhenThePumpStopsWhileTheUserInterfaceKeepsAnswering)
{
    SetMoving(1, true);
    CustomerUI screen;
    CustomerUITicker ticker(screen);
    std::string error;
    ASSERT_TRUE(screen.TriggerEventWhenPumpStopsMoving(1, 60, error)) << error;
    EXPECT_EQ(screen.Timers().at(CUI_TIMER_PUMP_WATCH), 1000) << "seen moving at the first query";
    // Every further reply comes 150 ms late; the user-interface thread must not wait for it.
    sim.InjectFault(PumpSimulator::Fault::Late, 100, 0, 150);

    const Clock::time_point start = Clock::now();
    Clock::duration longestPoll{};
    bool stopped = false;
    std::string text;
    bool raised = false;
    while (!raised && Clock::now() - start < 10s) {
        const Clock::time_point before = Clock::now();
        ticker.Poll();
        longestPoll = std::max(longestPoll, Clock::now() - before);
        if (!stopped && Clock::now() - start > 1500ms) {
            SetMoving(1, false);
            stopped = true;
        }
        raised = screen.WaitForEvent(0ms, text);
        std::this_thread::sleep_for(5ms);
    }
    ASSERT_TRUE(raised);
    EXPECT_EQ(text, "PumpStoppedMoving");
    EXPECT_LT(longestPoll, 100ms);
    EXPECT_EQ(screen.Timers().count(CUI_TIMER_PUMP_WATCH), 0u);
    const std::vector<std::string> requests = sim.Requests();
    EXPECT_GE(std::count(requests.begin(), requests.end(), "1?29"), 3) << "armed, moving, stopped";
}

TEST_F(CustomerUIPumpWatchTest, WithoutAPumpPortTheDriversTextIsReturned)
{
    // Analysis mode runs without pumps: the watch is refused with what the driver says.
    theApp.m_analysis_mode = true;
    theApp.m_pump_port = 0;
    EString reply;
    EString driverError;
    ASSERT_FALSE(TecanCentris::SendCommand(0, 2, "?29", TecanCentris::kQueryTimeoutMs, reply, driverError));
    CustomerUI screen;
    std::string error;
    EXPECT_FALSE(screen.TriggerEventWhenPumpStopsMoving(2, 10, error));
    EXPECT_EQ(error, driverError.c_str());
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(screen.Timers().count(CUI_TIMER_PUMP_WATCH), 0u);
}

} // namespace
} // namespace vantelis::test
