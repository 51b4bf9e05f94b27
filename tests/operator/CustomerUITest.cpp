// The operator screen's model: states, the operator event, log-in, the flow-split drag, the pump
// watch, the script watch and the reload guard.
#include "operator/CustomerUI.h"
#include "operator/CustomerUIServices.h"

#include "Ostravo/CachedLog.h"
#include "app/ViewGlobals.h"
#include "platform/Clock.h"
#include "script/Arguments.h"
#include "script/CommandTable.h"
#include "script/ScriptFixture.h"
#include "script/ScriptRuntime.h"
#include "support/FakeUi.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

namespace {

using namespace std::chrono_literals;
using vantelis::test::ReadFileBytes;
using vantelis::test::WriteFileBytes;

class CustomerUITest : public ScriptFixture
{
  protected:
    void SetUp() override
    {
        ScriptFixture::SetUp();
        m_oldAnalysis = theApp.m_analysis_mode;
        m_oldPort = theApp.m_pump_port;
        theApp.m_analysis_mode = true;
        theApp.m_pump_port = 0;
        std::filesystem::create_directories(m_dir.path() / "LOG");
        m_oldUi = platform::ui::SetUi(m_ui);
        platform::SetFakeClock({2024, 3, 7, 4, 9, 5, 3, 0});
        m_oldSplit = _flow_split.Get();
        _flow_split.Set(FlowSplit{});
    }
    void TearDown() override
    {
        EXPECT_TRUE(ShutdownScriptRuntime());
        RegisterCommandHandler(cmd::Wait, nullptr);
        SetScriptOwnerHooks(1, {});
        _flow_split.Set(m_oldSplit);
        platform::ClearFakeClock();
        platform::ui::SetUi(m_oldUi);
        theApp.m_analysis_mode = m_oldAnalysis;
        theApp.m_pump_port = m_oldPort;
        ScriptFixture::TearDown();
    }

    // The day's operator-screen log rows without the version and time columns.
    std::vector<std::string> LogRows()
    {
        const std::string path = m_dir.file("LOG/CustomerUI_2024_03_07.log");
        EString error;
        EXPECT_TRUE(CachedLogging::Release(path.c_str(), error)) << error.c_str();
        const std::string log = ReadFileBytes(path);
        std::vector<std::string> rows;
        for (size_t pos = 0; pos < log.size();) {
            size_t end = log.find("\r\n", pos);
            if (end == std::string::npos)
                end = log.size();
            const std::string row = log.substr(pos, end - pos);
            const size_t second = row.find('\t', row.find('\t') + 1);
            rows.push_back(row.substr(second + 1));
            pos = end + 2;
        }
        return rows;
    }

    // A Wait command that blocks on the screen's operator event, as the prompt commands do.
    void WaitCommandBlocksOnTheScreen(CustomerUI &screen, std::atomic<bool> &entered, std::string &released)
    {
        RegisterCommandHandler(cmd::Wait,
                               [&](Script &, const char *, VariableList &, bool checkOnly, EString &) {
                                   if (checkOnly)
                                       return true;
                                   entered = true;
                                   std::string text;
                                   while (!screen.WaitForEvent(50ms, text))
                                       if (ScriptRuntimeExiting())
                                           return false;
                                   released = text;
                                   return true;
                               });
    }

    static bool WaitUntilEnded(int handle)
    {
        for (int i = 0; i < 2000 && ScriptInstanceExists(handle); ++i)
            std::this_thread::sleep_for(10ms);
        return !ScriptInstanceExists(handle);
    }

    std::shared_ptr<vantelis::test::FakeUi> m_ui = std::make_shared<vantelis::test::FakeUi>();
    std::shared_ptr<platform::ui::UserInterface> m_oldUi;
    bool m_oldAnalysis = false;
    int32_t m_oldPort = 0;
    FlowSplit m_oldSplit;
};

TEST(CustomerUIStateNames, LogNamesCoverEveryStateAndFlagTheRest)
{
    const struct
    {
        int32_t state;
        const char *name;
    } cases[] = {{-2, "InvalidStat0e"},  {-1, "UndefinedState"},    {0, "Login"},
                 {7, "ShowVideo"},       {11, "PromptForFilename"}, {14, "PromptForMontageReport"},
                 {15, "NumberOfStates"}, {16, "InvalidStat0e"}};
    for (const auto &c : cases)
        EXPECT_STREQ(CustomerUIStateName(c.state), c.name) << c.state;
}

TEST(CustomerUIPlacementTest, SmallDesktopsGetTheSmallScreenCentred)
{
    const struct
    {
        int32_t w, h, width, height;
        CuiRect window;
    } cases[] = {
        {1920, 1080, 1920, 1080, {0, 0, 1919, 1079}},
        {1920, 1079, 1600, 900, {160, 89, 1759, 988}},
        {1919, 1200, 1600, 900, {159, 150, 1758, 1049}},
        {2560, 1440, 1920, 1080, {320, 180, 2239, 1259}},
    };
    for (const auto &c : cases) {
        const CustomerUIPlacement p = PlaceCustomerUI(c.w, c.h);
        EXPECT_EQ(p.width, c.width) << c.w << "x" << c.h;
        EXPECT_EQ(p.height, c.height) << c.w << "x" << c.h;
        EXPECT_EQ(p.window, c.window) << c.w << "x" << c.h;
    }
    // Image area of the large screen: fractions of 1919 x 1079, halves away from zero.
    EXPECT_EQ(PlaceCustomerUI(1920, 1080).imageArea, (CuiRect{480, 129, 1439, 691}));
}

TEST_F(CustomerUITest, SetStateRefusesOutOfRangeStatesAndTouchesNothing)
{
    CustomerUI screen;
    std::string error;
    for (int32_t bad : {15, -1}) {
        EXPECT_FALSE(screen.SetState(bad, error));
        EXPECT_EQ(error, "CustomerUI::SetState() - Invalid state: " + std::to_string(bad));
    }
    EXPECT_EQ(screen.State(), Login);
    EXPECT_TRUE(screen.Timers().empty());
    EXPECT_FALSE(screen.Snapshot().visible);
    EXPECT_TRUE(screen.SetState(14, error));
    EXPECT_TRUE(screen.Snapshot().visible);
}

TEST_F(CustomerUITest, OnlyLeavingLiveVideoArmsTheLiveImageStop)
{
    const struct
    {
        int32_t from, to;
        bool stop;
    } cases[] = {{ShowVideo, PromptInfo, true}, {ShowVideo, ShowVideo, false}, {Login, ShowVideo, false}};
    for (const auto &c : cases) {
        CustomerUI screen;
        std::string error;
        ASSERT_TRUE(screen.SetState(c.from, error));
        screen.KillTimer(CUI_TIMER_STOP_LIVE_IMAGE);
        ASSERT_TRUE(screen.SetState(c.to, error));
        EXPECT_EQ(screen.Timers().count(CUI_TIMER_STOP_LIVE_IMAGE), c.stop ? 1u : 0u)
            << c.from << "->" << c.to;
        EXPECT_EQ(screen.Timers().at(CUI_TIMER_REPAINT), 100);
    }
}

TEST_F(CustomerUITest, FilenamePromptGetsOneClearedBrowseBoxPerInput)
{
    CustomerUI screen;
    for (int32_t i = 0; i < 3; ++i)
        ASSERT_TRUE(screen.SetInput(i, "label", "", 10));
    std::string error;
    ASSERT_TRUE(screen.SetState(PromptForFilename, error));
    const CustomerUIData d = screen.Snapshot();
    EXPECT_EQ(d.browseRects, std::vector<CuiRect>(3));
    EXPECT_EQ(d.browseHover, std::vector<bool>(3, false));
}

TEST_F(CustomerUITest, NextReleasesAWaitingScriptAndIsLogged)
{
    CustomerUI screen;
    std::string error;
    ASSERT_TRUE(screen.SetState(PromptInfo, error));
    std::string released;
    std::thread waiter([&] {
        std::string text;
        if (screen.WaitForEvent(20s, text))
            released = text;
    });
    std::this_thread::sleep_for(50ms); // let the waiter block first
    screen.OnNext();
    waiter.join();
    EXPECT_EQ(released, "Next");
    EXPECT_EQ(LogRows(), (std::vector<std::string>{"Action\tStateName\tInfo", "NextClicked\tPromptInfo\t"}));
}

TEST_F(CustomerUITest, EventIsAutoResetWithOneTextSlot)
{
    CustomerUI screen;
    std::string text;
    screen.RaiseEvent("Back");
    screen.RaiseEvent("SplitChanged"); // replaces the unread text
    EXPECT_TRUE(screen.WaitForEvent(0ms, text)) << "a raise before the wait returns at once";
    EXPECT_EQ(text, "SplitChanged");
    EXPECT_FALSE(screen.WaitForEvent(20ms, text)) << "one set releases one wait";
    screen.RaiseEvent("Next");
    screen.Reset();
    EXPECT_FALSE(screen.WaitForEvent(0ms, text)) << "reset leaves the event unsignalled";
}

TEST_F(CustomerUITest, NextOnlyRaisesInStatesWithANextButton)
{
    const struct
    {
        int32_t state;
        bool raised;
    } cases[] = {
        {SelectAction, false}, {SampleBeingCollected, false}, {PipetteSample, true}, {ShowVideo, true}};
    for (const auto &c : cases) {
        CustomerUI screen;
        std::string error;
        ASSERT_TRUE(screen.SetState(c.state, error));
        screen.ArmTimer(CUI_TIMER_COUNTDOWN, 1000);
        screen.OnNext();
        std::string text;
        EXPECT_EQ(screen.WaitForEvent(0ms, text), c.raised) << c.state;
        EXPECT_EQ(screen.Timers().count(CUI_TIMER_COUNTDOWN), c.raised ? 0u : 1u) << c.state;
    }
}

TEST_F(CustomerUITest, LoginChecksLengthsAndShowsTheFailureAsABanner)
{
    const std::string p64(64, 'p');
    const struct
    {
        std::string user, password, banner;
    } cases[] = {
        {"abc", "secret", "User name must be at least 4 characters."},
        {std::string(21, 'u'), "secret", "User name must be no more than 20 characters."},
        {"abcd", "abc", "Password must be at least 4 characters."},
        {"abcd", p64 + "x", "Password must be no more than 64 characters."},
        {"abcd", p64, ""},
        {std::string(20, 'u'), "pass", ""},
    };
    for (const auto &c : cases) {
        CustomerUI screen;
        screen.SetEditText(1, c.user);
        screen.SetEditText(0, c.password);
        screen.OnNext();
        std::string text;
        const bool raised = screen.WaitForEvent(0ms, text);
        const CustomerUIData d = screen.Snapshot();
        if (c.banner.empty()) {
            EXPECT_TRUE(raised) << c.user;
            EXPECT_EQ(text, "Login Success");
        } else {
            EXPECT_FALSE(raised) << c.user;
            EXPECT_EQ(d.messageText, c.banner);
            EXPECT_EQ(screen.Timers().at(CUI_TIMER_MESSAGE_BANNER), 250) << "5 s banner ticks every 250 ms";
        }
    }
}

TEST_F(CustomerUITest, BannerSecondsAreClampedToARunnablePeriod)
{
    const struct
    {
        int32_t seconds, period;
    } cases[] = {{5, 250}, {0, 50}, {-7, 50}, {2000000000, CustomerUI::kMaxBannerSeconds * 50}};
    for (const auto &c : cases) {
        CustomerUI screen;
        EXPECT_TRUE(screen.ShowTimedMessage("x", c.seconds));
        EXPECT_EQ(screen.Timers().at(CUI_TIMER_MESSAGE_BANNER), c.period) << c.seconds;
    }
}

TEST_F(CustomerUITest, ClicksOnHiddenButtonsAndActionBoxes)
{
    CustomerUI screen;
    std::string error;
    std::array<CuiRect, 6> buttons{};
    buttons[0] = {1000, 800, 1100, 850}; // Next arrow
    buttons[3] = {100, 800, 200, 850};   // Back arrow
    screen.SetButtonRects(buttons, 0, 0);
    ASSERT_TRUE(screen.SetState(PromptInfo, error));
    std::string text;

    screen.HideBack(true);
    screen.OnLButtonDown(150, 820);
    EXPECT_FALSE(screen.WaitForEvent(0ms, text)) << "a hidden Back does nothing";
    screen.ArmTimer(CUI_TIMER_UNHIDE_BACK, 3000);
    screen.OnTimer(CUI_TIMER_UNHIDE_BACK);
    screen.OnLButtonDown(200, 850); // edges belong to the rectangle
    ASSERT_TRUE(screen.WaitForEvent(0ms, text));
    EXPECT_EQ(text, "Back");

    ASSERT_TRUE(screen.SetState(SelectAction, error));
    screen.SetFixedActionRects({CuiRect{0, 0, 10, 10}, CuiRect{20, 0, 30, 10}, CuiRect{40, 0, 50, 10}});
    screen.OnLButtonDown(25, 5);
    EXPECT_FALSE(screen.WaitForEvent(0ms, text)) << "only the first built-in box raises";
    screen.OnLButtonDown(5, 5);
    ASSERT_TRUE(screen.WaitForEvent(0ms, text));
    EXPECT_EQ(text, "Live Cell Enrichment");

    screen.SetActionLines({"Prime", "Flush"}, {CuiRect{0, 0, 10, 10}, CuiRect{0, 20, 10, 30}});
    screen.OnLButtonDown(5, 25);
    ASSERT_TRUE(screen.WaitForEvent(0ms, text));
    EXPECT_EQ(text, "Flush");
    const std::vector<std::string> rows = LogRows();
    EXPECT_EQ(rows.back(), "ActionSelected\tSelectAction\tFlush");
}

TEST_F(CustomerUITest, SetFlowSplitKeepsToTheRange)
{
    const struct
    {
        int32_t percent;
        bool ok;
        double fraction;
    } cases[] = {{10, true, 0.6}, {-10, true, 0.4}, {0, true, 0.5}, {11, false, 0.5}, {-11, false, 0.5}};
    for (const auto &c : cases) {
        _flow_split.Set(FlowSplit{});
        CustomerUI screen;
        EXPECT_EQ(screen.SetFlowSplit(c.percent), c.ok) << c.percent;
        EXPECT_DOUBLE_EQ(_flow_split.Get().split_fraction, c.fraction) << c.percent;
    }
}

TEST_F(CustomerUITest, SplitLineDragIsLimitedCommittedAndShown)
{
    const struct
    {
        int32_t upper, lower, split, drag;
        int32_t splitAfter;
        double fraction;
        const char *text;
    } cases[] = {
        {100, 300, 200, 20, 220, 0.4, "-10"}, // the furthest allowed drag down
        {100, 300, 200, 50, 220, 0.4, "-10"}, // held at the lower drag limit
        {100, 300, 200, -35, 180, 0.6, "10"}, // held at the upper drag limit
        {100, 300, 200, 10, 210, 0.45, "-5"},
        {150, 150, 150, 20, 150, 0.5, "0"}, // a channel of no height: nothing committed
        {-1, -1, 50, 20, 50, 0.5, "0"},     // channel rows not yet known
    };
    for (const auto &c : cases) {
        FlowSplit split;
        split.upper_channel_row = c.upper;
        split.lower_channel_row = c.lower;
        split.split_row = c.split;
        split.hit_band = {0, c.split - 4, 1000, c.split + 4};
        _flow_split.Set(split);
        CustomerUI screen;
        std::string error;
        ASSERT_TRUE(screen.SetState(ShowVideo, error));
        screen.OnLButtonDown(500, c.split);
        screen.OnLButtonUp(c.split + c.drag);
        const FlowSplit after = _flow_split.Get();
        EXPECT_EQ(after.split_row, c.splitAfter) << c.upper << "/" << c.drag;
        EXPECT_EQ(after.drag_offset, 0);
        EXPECT_NEAR(after.split_fraction, c.fraction, 1e-12) << c.upper << "/" << c.drag;
        EXPECT_EQ(screen.Snapshot().splitText, c.text) << c.upper << "/" << c.drag;
        EXPECT_EQ(screen.Snapshot().splitDragStartY, 0);
    }
}

TEST_F(CustomerUITest, ResetClearsTheScriptsScreenButKeepsItsLook)
{
    CustomerUI screen;
    std::string error;
    ASSERT_TRUE(screen.SetState(ShowVideo, error));
    ASSERT_TRUE(screen.SetInput(2, "Name", "x", 12));
    screen.ArmTimer(CUI_TIMER_PUMP_WATCH, 500);
    screen.ArmTimer(CUI_TIMER_QUEUED_MESSAGE, 10);
    _flow_split.Update([](FlowSplit &s) {
        s.upper_channel_row = 100;
        s.lower_channel_row = 301;
        s.split_fraction = 0.6;
        s.drag_offset = 7;
    });
    screen.Reset();
    const CustomerUIData d = screen.Snapshot();
    EXPECT_EQ(d.state, UndefinedState);
    EXPECT_TRUE(d.inputLabels.empty());
    EXPECT_TRUE(d.countdownDown);
    EXPECT_EQ(d.selectionTitle, "Select the protocol you would like to run.");
    EXPECT_EQ(screen.Timers().count(CUI_TIMER_PUMP_WATCH), 0u);
    EXPECT_EQ(screen.Timers().count(CUI_TIMER_QUEUED_MESSAGE), 1u) << "other timers are left alone";
    const FlowSplit s = _flow_split.Get();
    EXPECT_EQ(s.split_row, 200);
    EXPECT_EQ(s.drag_offset, 0);
    EXPECT_DOUBLE_EQ(s.split_fraction, 0.5);
}

TEST_F(CustomerUITest, PumpWatchChecksItsArgumentsAndFollowsThePump)
{
    CustomerUI screen;
    std::vector<std::string> replies;
    size_t next = 0;
    auto now = std::chrono::steady_clock::time_point{} + 1000s;
    screen.SetClock([&] { return now; });
    screen.SetPumpQuery([&](int32_t, EString &reply, EString &error) {
        if (next >= replies.size()) {
            error.Assign("pump did not answer");
            return false;
        }
        reply.Assign(replies[next++].c_str());
        return true;
    });
    std::string error;
    const struct
    {
        int32_t pump, timeout;
        const char *message;
    } refused[] = {
        {3, 10, "CustomerUI::TriggerEventWhenPumpStopsMoving() - ipump=3, must be 1 or 2"},
        {1, 3, "CustomerUI::TriggerEventWhenPumpStopsMoving() - timeout_sec=3, must be between 4 and 3600"},
        {1, 3601,
         "CustomerUI::TriggerEventWhenPumpStopsMoving() - timeout_sec=3601, must be between 4 and 3600"},
        {2, 4, "pump did not answer"},
    };
    for (const auto &c : refused) {
        EXPECT_FALSE(screen.TriggerEventWhenPumpStopsMoving(c.pump, c.timeout, error));
        EXPECT_EQ(error, c.message);
        EXPECT_EQ(screen.Timers().count(CUI_TIMER_PUMP_WATCH), 0u);
    }

    // Still at first, then moving, then still: raised once it stops after moving.
    replies = {"0", "0", "5", "0"};
    next = 0;
    ASSERT_TRUE(screen.TriggerEventWhenPumpStopsMoving(2, 3600, error)) << error;
    EXPECT_EQ(screen.Timers().at(CUI_TIMER_PUMP_WATCH), 500);
    std::string text;
    screen.OnTimer(CUI_TIMER_PUMP_WATCH);
    EXPECT_FALSE(screen.WaitForEvent(0ms, text)) << "a pump never seen moving keeps being polled";
    screen.OnTimer(CUI_TIMER_PUMP_WATCH);
    EXPECT_EQ(screen.Timers().at(CUI_TIMER_PUMP_WATCH), 1000);
    screen.OnTimer(CUI_TIMER_PUMP_WATCH);
    ASSERT_TRUE(screen.WaitForEvent(0ms, text));
    EXPECT_EQ(text, "PumpStoppedMoving");
    EXPECT_EQ(screen.Timers().count(CUI_TIMER_PUMP_WATCH), 0u);

    // A pump that never moves ends with the time-out, measured on the monotonic clock.
    replies = {"0", "0"};
    next = 0;
    ASSERT_TRUE(screen.TriggerEventWhenPumpStopsMoving(1, 4, error));
    screen.OnTimer(CUI_TIMER_PUMP_WATCH);
    now += 5s;
    screen.OnTimer(CUI_TIMER_PUMP_WATCH);
    ASSERT_TRUE(screen.WaitForEvent(0ms, text));
    EXPECT_EQ(text, "TimeoutWaitingForPumpToStopMoving");

    // A failed query while watching ends the watch.
    replies = {"3"};
    next = 0;
    ASSERT_TRUE(screen.TriggerEventWhenPumpStopsMoving(1, 60, error));
    screen.OnTimer(CUI_TIMER_PUMP_WATCH);
    ASSERT_TRUE(screen.WaitForEvent(0ms, text));
    EXPECT_EQ(text, "ErrorReadingPumpState");
}

TEST_F(CustomerUITest, ReloadWhileTheOperatorScriptRunsIsRefusedAndLeavesTheScreen)
{
    CustomerUI &screen = theCustomerUI();
    screen.Reset();
    std::atomic<bool> entered{false};
    std::string released;
    WaitCommandBlocksOnTheScreen(screen, entered, released);
    const std::string path = WriteScript("Op.scr", "Wait(1);\n");
    std::string error;
    ASSERT_TRUE(screen.Reload(path.c_str(), error)) << error;
    for (int i = 0; i < 2000 && !entered; ++i)
        std::this_thread::sleep_for(5ms);
    ASSERT_TRUE(entered);
    ASSERT_TRUE(screen.SetState(PromptInfo, error));
    ASSERT_TRUE(screen.SetInput(0, "Sample", "S1", 10));

    EXPECT_FALSE(screen.Reload(path.c_str(), error));
    EXPECT_EQ(error, "CreateActiveScriptHandle(1) - Interpreter instance with handle: 1 already exists.");
    const CustomerUIData d = screen.Snapshot();
    EXPECT_EQ(d.state, PromptInfo);
    EXPECT_EQ(d.inputValues, std::vector<std::string>{"S1"});

    // Stopping the script: the next script-watch tick releases the waiting command.
    screen.OnTimer(CUI_TIMER_SCRIPT_WATCH);
    EXPECT_TRUE(screen.Snapshot().visible) << "a running script keeps its screen";
    ASSERT_TRUE(Script::StopScript(1));
    screen.OnTimer(CUI_TIMER_SCRIPT_WATCH);
    ASSERT_TRUE(WaitUntilEnded(1));
    EXPECT_EQ(released, "") << "the watch sets the event without a text";
    EXPECT_FALSE(screen.Snapshot().visible);
    screen.Reset();
}

TEST_F(CustomerUITest, ReloadOfAScriptWithoutCodeStartsNothing)
{
    CustomerUI &screen = theCustomerUI();
    ASSERT_TRUE(screen.SetInput(1, "x", "y", 1));
    const std::string path = WriteScript("Empty.scr", "// nothing here\r\n// nor here\r\n");
    std::string error;
    EXPECT_TRUE(screen.Reload(path.c_str(), error));
    EXPECT_TRUE(screen.Reload(m_dir.file("missing.scr").c_str(), error));
    EXPECT_FALSE(ScriptInstanceExists(1));
    const CustomerUIData d = screen.Snapshot();
    EXPECT_EQ(d.state, UndefinedState);
    EXPECT_TRUE(d.inputLabels.empty());
}

TEST_F(CustomerUITest, TheEndOfAnOperatorScriptClearsTheScreenWithoutAScriptsWindow)
{
    std::shared_ptr<OperatorScreenServices> previous = InstallCustomerUIServices();
    CustomerUI &screen = theCustomerUI();
    screen.Reset();
    std::atomic<bool> entered{false};
    std::string released;
    WaitCommandBlocksOnTheScreen(screen, entered, released);
    const std::string path = WriteScript("Op.scr", "Wait(1);\n");
    std::string error;
    ASSERT_TRUE(OperatorScreen().Reload(path.c_str(), error)) << error;
    for (int i = 0; i < 2000 && !entered; ++i)
        std::this_thread::sleep_for(5ms);
    ASSERT_TRUE(entered);
    ASSERT_TRUE(screen.SetState(ShowVideo, error));
    for (int32_t id : {CUI_TIMER_COUNTDOWN, CUI_TIMER_PUMP_WATCH, CUI_TIMER_UNHIDE_NEXT,
                       CUI_TIMER_UNHIDE_BACK, CUI_TIMER_QUEUED_MESSAGE})
        screen.ArmTimer(id, 1000);
    screen.RaiseEvent("Next");
    ASSERT_TRUE(WaitUntilEnded(1));
    EXPECT_EQ(released, "Next");
    EXPECT_EQ(screen.State(), UndefinedState);
    const std::map<int32_t, int32_t> timers = screen.Timers();
    for (int32_t id :
         {CUI_TIMER_COUNTDOWN, CUI_TIMER_PUMP_WATCH, CUI_TIMER_UNHIDE_NEXT, CUI_TIMER_UNHIDE_BACK})
        EXPECT_EQ(timers.count(id), 0u) << id;
    EXPECT_EQ(timers.count(CUI_TIMER_QUEUED_MESSAGE), 1u);
    InstallOperatorScreenServices(previous);
}

} // namespace
