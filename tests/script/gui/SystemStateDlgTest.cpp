// The system state window against the simulated pumps: what it asks and shows, what a pump that
// stops answering leaves behind, and its refresh thread's life.
#include "script/gui/SystemStateDlg.h"

#include "Ostravo/PumpFixture.h"
#include "app/PlexorinApp.h"
#include "app/ScriptServices.h"
#include "platform/Ui.h"
#include "script/gui/ScriptWindows.h"
#include "support/gui/EventLoop.h"
#include "tools/gui/QueuedFakeUi.h"

#include <QCheckBox>

#include <filesystem>
#include <memory>

namespace vantelis::test {
namespace {

class SystemStateDlgTest : public PumpTest
{
  protected:
    void SetUp() override
    {
        PumpTest::SetUp();
        m_oldPort = theApp.m_pump_port;
        theApp.m_pump_port = kPort;
        m_oldUi = platform::ui::SetUi(m_ui);
        TecanCentris::SetRetryPauseForTesting(1);
        // Pump 1: 1000 uL syringe holding 100 uL, 0.5 uL/s, valve at the input; pump 2: 500 uL
        // holding 250 uL, 2 uL/s, valve at the output.
        PumpSimulator::PumpState one = Idle(100.0, 1000);
        one.topSpeedUlPerSec = 0.5;
        one.valve = 'I';
        sim.SetPump(1, one);
        PumpSimulator::PumpState two = Idle(250.0, 500);
        two.topSpeedUlPerSec = 2.0;
        two.valve = 'O';
        sim.SetPump(2, two);
    }
    void TearDown() override
    {
        m_dialog.reset(); // joins the refresh thread
        QCoreApplication::processEvents();
        platform::ui::SetUi(m_oldUi);
        theApp.m_pump_port = m_oldPort;
        PumpTest::TearDown();
    }

    // The refresh tests ask for refreshes of a hidden window themselves: showing a window
    // starts Qt's own painting threads, which the thread sanitizer cannot follow. Only the
    // Shown* tests show it.
    SystemStateDlg &Open(bool refresh = true)
    {
        m_dialog = std::make_unique<SystemStateDlg>();
        if (refresh)
            m_dialog->RequestRefresh();
        return *m_dialog;
    }
    bool WaitForRefreshes(int count)
    {
        return RunEventLoopUntil([&] { return m_dialog->RefreshesDrawn() >= count; });
    }
    std::string Box(int id) const { return m_dialog->ControlText(id); }
    bool AnyLineTicked() const
    {
        for (int i = 0; i < SystemStateDlg::kPort0Lines; ++i)
            if (m_dialog->IsChecked(SystemStateDlg::kPort0FirstLineId + i))
                return true;
        for (int i = 0; i < SystemStateDlg::kPort1Lines; ++i)
            if (m_dialog->IsChecked(SystemStateDlg::kPort1FirstLineId + i))
                return true;
        return false;
    }

    std::shared_ptr<QueuedFakeUi> m_ui = std::make_shared<QueuedFakeUi>();
    std::shared_ptr<platform::ui::UserInterface> m_oldUi;
    std::unique_ptr<SystemStateDlg> m_dialog;
    int32_t m_oldPort = 0;
};

TEST_F(SystemStateDlgTest, RefreshShowsWhatThePumpsReportWithTheRateInMicrolitresPerMinute)
{
    SystemStateDlg &dialog = Open();
    ASSERT_TRUE(WaitForRefreshes(1));
    EXPECT_EQ(sim.Requests(),
              (std::vector<std::string>{"1?17", "2?17", "1?18", "2?18", "1?37", "2?37", "1?20", "2?20"}));
    struct Case
    {
        int id;
        const char *text;
    };
    const Case cases[] = {
        {SystemStateDlg::kConfiguredVol1Id, "1000"},
        {SystemStateDlg::kConfiguredVol1Id + 1, "500"},
        {SystemStateDlg::kDisplacement1Id, "100.000000"},
        {SystemStateDlg::kDisplacement1Id + 1, "250.000000"},
        {SystemStateDlg::kRate1Id, "30.000000"},
        {SystemStateDlg::kRate1Id + 1, "120.000000"},
        {SystemStateDlg::kValve1Id, "I"},
        {SystemStateDlg::kValve1Id + 1, "O"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Box(c.id), c.text) << c.id;
    EXPECT_FALSE(AnyLineTicked());

    // A steady refresh asks six questions; the configured volumes were read once.
    sim.ClearRequests();
    dialog.RequestRefresh();
    ASSERT_TRUE(WaitForRefreshes(2));
    EXPECT_EQ(sim.Requests(), (std::vector<std::string>{"1?18", "2?18", "1?37", "2?37", "1?20", "2?20"}));
}

TEST_F(SystemStateDlgTest, RefreshStopsAtAPumpThatStopsAnsweringAndKeepsTheLaterBoxes)
{
    SystemStateDlg &dialog = Open();
    ASSERT_TRUE(WaitForRefreshes(1));

    PumpSimulator::PumpState one = sim.Pump(1);
    one.positionUl = 300.0;
    one.topSpeedUlPerSec = 1.0;
    one.valve = 'B';
    sim.SetPump(1, one);
    // Pump 1 answers "?18"; pump 2 stays silent for every attempt.
    sim.InjectFault(PumpSimulator::Fault::None, 1);
    sim.InjectFault(PumpSimulator::Fault::Silence, 4);
    sim.ClearRequests();
    dialog.RequestRefresh();
    ASSERT_TRUE(WaitForRefreshes(2));
    // The refresh stopped at pump 2's displacement.
    const std::vector<std::string> requests = sim.Requests();
    ASSERT_GE(requests.size(), 2u);
    EXPECT_EQ(requests[0], "1?18");
    for (size_t i = 1; i < requests.size(); ++i)
        EXPECT_EQ(requests[i], "2?18");
    EXPECT_EQ(Box(SystemStateDlg::kDisplacement1Id), "300.000000");
    EXPECT_EQ(Box(SystemStateDlg::kDisplacement1Id + 1), "250.000000");
    EXPECT_EQ(Box(SystemStateDlg::kRate1Id), "30.000000");
    EXPECT_EQ(Box(SystemStateDlg::kValve1Id), "I");
    EXPECT_EQ(Box(SystemStateDlg::kConfiguredVol1Id), "1000");
}

TEST_F(SystemStateDlgTest, RefreshWithoutAPumpPortAsksNothingAndLeavesTheBoxesEmpty)
{
    theApp.m_pump_port = 0;
    Open();
    ASSERT_TRUE(WaitForRefreshes(1));
    EXPECT_TRUE(sim.Requests().empty());
    for (int id = SystemStateDlg::kConfiguredVol1Id; id <= SystemStateDlg::kValve1Id + 1; ++id)
        EXPECT_EQ(Box(id), "") << id;
    EXPECT_FALSE(AnyLineTicked());
}

// Shown: one refresh at once and a 2.5 s timer; hidden: no timer; hidden and shown quickly: still
// one timer.
TEST_F(SystemStateDlgTest, ShownItRefreshesAtOnceAndThenOnItsTimer)
{
    SystemStateDlg &dialog = Open(false);
    dialog.show();
    ASSERT_TRUE(WaitForRefreshes(1));
    EXPECT_EQ(Box(SystemStateDlg::kRate1Id), "30.000000");
    EXPECT_EQ(dialog.RefreshTimerInterval(), SystemStateDlg::kRefreshPeriodMs);
    std::filesystem::create_directories("/tmp/shots");
    EXPECT_TRUE(dialog.grab().save(QStringLiteral("/tmp/shots/SystemStateDlg.png")));

    dialog.hide();
    EXPECT_FALSE(dialog.RefreshTimerActive());
    dialog.show();
    dialog.hide();
    dialog.show();
    EXPECT_EQ(dialog.RefreshTimerInterval(), SystemStateDlg::kRefreshPeriodMs);
    ASSERT_TRUE(WaitForRefreshes(2));
}

// The first configured-volume query that fails leaves its box empty, and the next refresh asks
// again until it has an answer.
TEST_F(SystemStateDlgTest, RefreshAsksAgainForAConfiguredVolumeThatWasNotRead)
{
    sim.InjectFault(PumpSimulator::Fault::Silence, 4);
    SystemStateDlg &dialog = Open();
    ASSERT_TRUE(WaitForRefreshes(1));
    EXPECT_EQ(Box(SystemStateDlg::kConfiguredVol1Id), "");
    EXPECT_EQ(Box(SystemStateDlg::kConfiguredVol1Id + 1), "500");
    sim.ClearRequests();
    dialog.RequestRefresh();
    ASSERT_TRUE(WaitForRefreshes(2));
    EXPECT_EQ(Box(SystemStateDlg::kConfiguredVol1Id), "1000");
    EXPECT_EQ(sim.Requests().front(), "1?17");
    EXPECT_EQ(sim.Requests().size(), 7u);
}

// The installed script windows serve the window to the main window's command, and their removal
// ends its refresh thread.
TEST_F(SystemStateDlgTest, RefreshServedByTheScriptWindowsEndsWithThem)
{
    std::shared_ptr<ScriptWindows> windows = InstallScriptWindows();
    ModelessWindow &window = Scripts().SystemState();
    EXPECT_EQ(&window, &windows->SystemState());
    ASSERT_TRUE(window.Create(false));
    ASSERT_NE(windows->SystemStateDialog(), nullptr);
    windows->SystemStateDialog()->RequestRefresh();
    EXPECT_TRUE(RunEventLoopUntil([&] { return windows->SystemStateDialog()->RefreshesDrawn() >= 1; }));
    windows->Uninstall();
    sim.ClearRequests();
    windows->SystemStateDialog()->RequestRefresh();
    platform::SleepMs(100);
    QCoreApplication::processEvents();
    EXPECT_TRUE(sim.Requests().empty());
    windows.reset();
}

} // namespace
} // namespace vantelis::test
