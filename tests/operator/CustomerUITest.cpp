// The operator screen's model: states, the operator event, log-in, the flow-split drag, the pump
// watch, the script watch and the reload guard.
#include "operator/CustomerUI.h"
#include "operator/CustomerUIServices.h"
#include "operator/CustomerUITicker.h"

#include "Ostravo/CachedLog.h"
#include "Ostravo/ProfileValues.h"
#include "app/GuiSeam.h"
#include "app/PlexorinApp.h"
#include "app/ViewGlobals.h"
#include "platform/Clock.h"
#include "script/Arguments.h"
#include "script/CommandTable.h"
#include "script/ScriptFixture.h"
#include "script/ScriptRuntime.h"
#include "support/FakeUi.h"

#include "support/PostRecordingFramework.h"

#include <gtest/gtest.h>

#include <functional>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <thread>

namespace {

using namespace std::chrono_literals;
using vantelis::test::PostRecordingFramework;
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

    // Runs "Wait(1);" on the operator handle through reload (the screen's own by default) and
    // returns once that Wait blocks on the screen; path is the script's file.
    void StartBlockedScript(CustomerUI &screen, std::atomic<bool> &entered, std::string &released,
                            std::string &path,
                            const std::function<bool(const char *, std::string &)> &reload = {})
    {
        WaitCommandBlocksOnTheScreen(screen, entered, released);
        path = WriteScript("Op.scr", "Wait(1);\n");
        std::string error;
        ASSERT_TRUE(reload ? reload(path.c_str(), error) : screen.Reload(path.c_str(), error)) << error;
        for (int i = 0; i < 2000 && !entered; ++i)
            std::this_thread::sleep_for(5ms);
        ASSERT_TRUE(entered);
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
    std::string path;
    ASSERT_NO_FATAL_FAILURE(StartBlockedScript(screen, entered, released, path));
    std::string error;
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
    auto framework = std::make_shared<PostRecordingFramework>();
    std::shared_ptr<AppFramework> oldFramework = SetFramework(framework);
    std::shared_ptr<OperatorScreenServices> previous = InstallCustomerUIServices();
    CustomerUI &screen = theCustomerUI();
    screen.Reset();
    std::atomic<bool> entered{false};
    std::string released;
    std::string path;
    ASSERT_NO_FATAL_FAILURE(
        StartBlockedScript(screen, entered, released, path, [](const char *file, std::string &error) {
            return OperatorScreen().Reload(file, error);
        }));
    std::string error;
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
    EXPECT_EQ(framework->Posted(), std::vector<int>{32861}) << "the main window closes the live image";
    InstallOperatorScreenServices(previous);
    SetFramework(oldFramework);
}

// ---- content setters ----

TEST_F(CustomerUITest, ImageSlotsTakeFullPathsOrNamesInTheScreenFolder)
{
    const std::string folder = m_dir.file("CustomerUI");
    std::filesystem::create_directories(folder);
    WriteFileBytes(folder + "/logo.png", "x");
    WriteFileBytes(m_dir.file("elsewhere.png"), "x");
    CustomerUI screen;
    std::string error;
    const struct
    {
        int32_t slot;
        std::string file;
        bool ok;
        std::string stored; // slot content afterwards
        std::string message;
    } cases[] = {
        {0, "logo.png", false, "", "CustomerUI_SetImage() - image index must be between 1 and 6."},
        {7, "logo.png", false, "", "CustomerUI_SetImage() - image index must be between 1 and 6."},
        {2, "logo.png", true, folder + "/logo.png", ""},
        {2, "nothere.png", false, folder + "/logo.png",
         "CustomerUI_SetImage() - file does not exist: nothere.png"},
        {4, m_dir.file("elsewhere.png"), true, m_dir.file("elsewhere.png"), ""},
        {5, "C:\\images\\a.png", false, "", "CustomerUI_SetImage() - file does not exist: C:\\images\\a.png"},
        {2, "", true, "", ""},
    };
    for (const auto &c : cases) {
        error.clear();
        EXPECT_EQ(screen.SetImage(c.slot, c.file, folder, error), c.ok) << c.slot << " " << c.file;
        EXPECT_EQ(error, c.message) << c.slot << " " << c.file;
        const CustomerUIData d = screen.Snapshot();
        if (c.slot >= 1 && c.slot <= 6) {
            ASSERT_GE(d.images.size(), static_cast<size_t>(c.slot));
            EXPECT_EQ(d.images[static_cast<size_t>(c.slot - 1)], c.stored) << c.slot << " " << c.file;
        }
    }
    // Slot 3 with an empty name on a fresh screen leaves three empty slots.
    CustomerUI fresh;
    EXPECT_TRUE(fresh.SetImage(3, "", folder, error));
    EXPECT_EQ(fresh.Snapshot().images, std::vector<std::string>(3));
}

TEST_F(CustomerUITest, ButtonImagesMustExistInTheScreenFolder)
{
    const std::string folder = m_dir.file("CustomerUI");
    std::filesystem::create_directories(folder);
    WriteFileBytes(folder + "/next.png", "x");
    CustomerUI screen;
    std::string error;
    EXPECT_FALSE(screen.SetNextImages("gone.png", "", folder, error));
    EXPECT_EQ(error, "File does not exist: " + folder + "/gone.png");
    EXPECT_EQ(screen.Snapshot().nextImages, (std::array<std::string, 2>{}));
    // A missing hover image leaves the normal one set.
    EXPECT_FALSE(screen.SetNextImages("next.png", "hover.png", folder, error));
    EXPECT_EQ(screen.Snapshot().nextImages, (std::array<std::string, 2>{"next.png", ""}));
    EXPECT_TRUE(screen.SetBackImages("next.png", "next.png", folder, error));
    EXPECT_EQ(screen.Snapshot().backImages, (std::array<std::string, 2>{"next.png", "next.png"}));
    EXPECT_TRUE(screen.SetBackImages("", "", folder, error));
    EXPECT_EQ(screen.Snapshot().backImages, (std::array<std::string, 2>{}));
}

TEST_F(CustomerUITest, GroupBoxesAreCheckedAgainstTheWindowAndEachOther)
{
    CustomerUI screen;
    screen.SetClientSize(1919, 1079);
    std::string error;
    const std::string inside =
        "The group box rectangle must be inside the CustomerUI window: width=1919 and height=1079";
    const std::string corner =
        "Corner radius must not be less than 0 or greater than half the minumum of the height "
        "or width of the group box rectangle.";
    const struct
    {
        CuiRect rect;
        int32_t thickness, corner;
        std::string message; // empty: accepted
    } cases[] = {
        {{0, 0, 1919, 1079}, 0, 0, ""}, // the whole client area
        {{-1, 0, 100, 100}, 1, 0, inside},
        {{0, 0, 1920, 100}, 1, 0, inside},
        {{10, 10, 110, 60}, 11, 0, "Border thickness must not be more than 10 or less than 0"},
        {{10, 10, 110, 60}, -1, 0, "Border thickness must not be more than 10 or less than 0"},
        {{10, 10, 110, 60}, 10, 50, ""}, // corner equal to the smaller side
        {{10, 10, 110, 60}, 10, 51, corner},
        {{10, 10, 110, 60}, 10, -1, corner},
    };
    size_t accepted = 0;
    for (const auto &c : cases) {
        error.clear();
        const bool ok = screen.DefineGroupBox(c.rect, 1, 2, c.thickness, c.corner, error);
        EXPECT_EQ(ok, c.message.empty()) << c.rect.right << "/" << c.thickness << "/" << c.corner;
        EXPECT_EQ(error, c.message);
        accepted += ok ? 1 : 0;
    }
    while (accepted < 10) {
        ASSERT_TRUE(screen.DefineGroupBox({0, 0, 10, 10}, 1, 2, 1, 0, error));
        ++accepted;
    }
    EXPECT_FALSE(screen.DefineGroupBox({0, 0, 10, 10}, 1, 2, 1, 0, error));
    EXPECT_EQ(error, "No more than 10 group boxes may be defined.");
    const CustomerUIData d = screen.Snapshot();
    EXPECT_EQ(d.groupBoxRects.size(), 10u);
    EXPECT_EQ(d.groupBoxCornerSizes.size(), 10u);
    EXPECT_EQ(d.groupBoxCornerSizes[1], 50);
}

// ---- exposure combos ----

class CustomerUIExposureTest : public CustomerUITest
{
  protected:
    void SetUp() override
    {
        CustomerUITest::SetUp();
        m_oldIni = theApp.m_ini_path;
        theApp.m_ini_path = m_dir.file("Vantelis.ini");
        WriteFileBytes(theApp.m_ini_path, "[ExperimentSettings]\r\n"
                                          "ImageTypeExposure1=300\r\nIsActive1=TRUE\r\n"
                                          "ImageTypeExposure2=750\r\nIsActive2=false\r\n"
                                          "ImageTypeExposure3=abc\r\nIsActive3=maybe\r\n");
    }
    void TearDown() override
    {
        theApp.m_ini_path = m_oldIni;
        CustomerUITest::TearDown();
    }
    static std::string Setting(const std::string &key)
    {
        return Ostravo::ReadProfileString("ExperimentSettings", key.c_str(), "<none>", 100,
                                          theApp.m_ini_path.c_str());
    }
    std::string m_oldIni;
};

TEST_F(CustomerUIExposureTest, CombosLoadFromTheSettings)
{
    CustomerUI screen;
    for (int32_t n = 1; n <= 3; ++n)
        screen.FillExposureCombo(n);
    EXPECT_EQ(screen.Snapshot().comboTexts, (std::array<std::string, 3>{"300", "750", "0"}));
    screen.LoadExposureCombos();
    for (int32_t n = 1; n <= 3; ++n)
        screen.UpdateExposureComboVisibility(n);
    const CustomerUIData d = screen.Snapshot();
    // Type 3's flag is neither TRUE nor FALSE: hidden (inactive), its text the stored exposure or 100.
    EXPECT_EQ(d.comboTexts, (std::array<std::string, 3>{"300", "OFF", "100"}));
    EXPECT_EQ(d.comboVisible, (std::array<bool, 3>{true, false, false}));
    EXPECT_STREQ(kExposureComboItems[1], " 100");
    EXPECT_STREQ(kExposureComboItems[13], "10000");
}

TEST_F(CustomerUIExposureTest, ApplyingACombo)
{
    const struct
    {
        const char *text;
        std::string out, exposure, active, comboAfter;
    } cases[] = {
        {" 200", "200", "200", "TRUE", " 200"},
        {"20", "", "300", "TRUE", "300"},      // under the camera's minimum of 29: not applied
        {"fast", "", "300", "TRUE", "300"},    // not a number
        {"off", "OFF", "300", "FALSE", "300"}, // the combo keeps the stored exposure, hidden
    };
    for (const auto &c : cases) {
        WriteFileBytes(theApp.m_ini_path,
                       "[ExperimentSettings]\r\nImageTypeExposure1=300\r\nIsActive1=TRUE\r\n");
        CustomerUI screen;
        screen.UpdateExposureComboVisibility(1);
        screen.SetComboText(1, c.text);
        std::string out;
        screen.ApplyExposureCombo(1, &out);
        EXPECT_EQ(out, c.out) << c.text;
        EXPECT_EQ(Setting("ImageTypeExposure1"), c.exposure) << c.text;
        EXPECT_EQ(Setting("IsActive1"), c.active) << c.text;
        const CustomerUIData d = screen.Snapshot();
        EXPECT_EQ(d.comboTexts[0], c.comboAfter) << c.text;
        EXPECT_EQ(d.comboVisible[0], c.active == "TRUE") << c.text;
    }
}

TEST_F(CustomerUIExposureTest, OffBoxTurnsTheTypeBackOnWithItsExposure)
{
    CustomerUI screen;
    screen.LoadExposureCombos(); // combo 2 reads "OFF"
    screen.UpdateExposureComboVisibility(2);
    ASSERT_FALSE(screen.Snapshot().comboVisible[1]);
    screen.OnExposureOffBox(2);
    EXPECT_EQ(Setting("IsActive2"), "TRUE");
    EXPECT_EQ(Setting("ImageTypeExposure2"), "750");
    const CustomerUIData d = screen.Snapshot();
    EXPECT_TRUE(d.comboVisible[1]);
    EXPECT_EQ(d.comboTexts[1], "750");

    // Choosing OFF from the list: the apply timer writes it and logs it.
    std::string error;
    ASSERT_TRUE(screen.SetState(ShowVideo, error));
    screen.SetComboText(2, "OFF");
    screen.OnComboCloseUp(2);
    EXPECT_EQ(screen.Timers().at(CUI_TIMER_APPLY_EXPOSURE2), 100);
    screen.OnTimer(CUI_TIMER_APPLY_EXPOSURE2);
    EXPECT_EQ(Setting("IsActive2"), "FALSE");
    EXPECT_EQ(screen.Timers().count(CUI_TIMER_APPLY_EXPOSURE2), 0u);
    screen.OnComboEditChange(1, "400");
    EXPECT_EQ(screen.Timers().at(CUI_TIMER_APPLY_EXPOSURE1), 1000);
    screen.OnTimer(CUI_TIMER_APPLY_EXPOSURE1);
    EXPECT_EQ(Setting("ImageTypeExposure1"), "400");
    const std::vector<std::string> rows = LogRows();
    ASSERT_GE(rows.size(), 3u);
    EXPECT_EQ(
        std::vector<std::string>(rows.end() - 3, rows.end()),
        (std::vector<std::string>{"OnCbnCloseupCombo2\tShowVideo\t", "OnChangeExposure2\tShowVideo\tOFF",
                                  "OnChangeExposure1\tShowVideo\t400"}));
}

// ---- timers ----

class CustomerUITimerTest : public CustomerUITest
{
  protected:
    void SetUp() override
    {
        CustomerUITest::SetUp();
        m_screen.SetClock([this] { return m_now; });
    }
    // Advances the clock and runs the timers that fall due, as the window's ticker does.
    std::vector<int32_t> Advance(std::chrono::milliseconds step)
    {
        m_now += step;
        std::vector<int32_t> due = m_screen.TakeDueTimers();
        for (int32_t id : due)
            m_screen.OnTimer(id);
        return due;
    }
    std::chrono::steady_clock::time_point m_now = std::chrono::steady_clock::time_point{} + 100s;
    CustomerUI m_screen;
};

TEST_F(CustomerUITimerTest, TimersFallDueAfterTheirPeriodAndOneShotsEnd)
{
    std::string error;
    ASSERT_TRUE(m_screen.SetState(PromptInfo, error)); // repaint in 100 ms, script watch every second
    EXPECT_TRUE(Advance(99ms).empty());
    EXPECT_EQ(Advance(1ms), std::vector<int32_t>{CUI_TIMER_REPAINT});
    EXPECT_TRUE(m_screen.TakeRepaint());
    EXPECT_FALSE(m_screen.TakeRepaint());
    EXPECT_TRUE(Advance(800ms).empty()) << "the repaint is one-shot";
    m_screen.ArmTimer(CUI_TIMER_UNHIDE_NEXT, 50);
    m_screen.ArmTimer(CUI_TIMER_UNHIDE_NEXT, 300); // re-arming replaces
    EXPECT_TRUE(Advance(50ms).empty());
    EXPECT_EQ(Advance(250ms), (std::vector<int32_t>{CUI_TIMER_SCRIPT_WATCH, CUI_TIMER_UNHIDE_NEXT}));
}

TEST_F(CustomerUITimerTest, CountdownExpiresOnTheMonotonicClockAndStopsTheScriptTimers)
{
    std::string text;
    m_screen.StartCountdown(2500, true);
    m_screen.ArmTimer(CUI_TIMER_PUMP_WATCH, 60000);
    platform::SetFakeClock({2024, 3, 7, 23, 59, 59, 3, 0}); // the wall clock jumps: no effect
    Advance(1000ms);
    Advance(1000ms);
    EXPECT_FALSE(m_screen.WaitForEvent(0ms, text));
    EXPECT_EQ(m_screen.Snapshot().countdownElapsedMs, 2000);
    Advance(1000ms);
    ASSERT_TRUE(m_screen.WaitForEvent(0ms, text));
    EXPECT_EQ(text, "TimerExpired");
    const auto timers = m_screen.Timers();
    EXPECT_EQ(timers.count(CUI_TIMER_COUNTDOWN), 0u);
    EXPECT_EQ(timers.count(CUI_TIMER_PUMP_WATCH), 0u) << "expiry stops the pump watch too";

    // A countdown that was never started expires at its first tick.
    m_screen.Reset();
    m_screen.ArmTimer(CUI_TIMER_COUNTDOWN, 1000);
    Advance(1000ms);
    ASSERT_TRUE(m_screen.WaitForEvent(0ms, text));
    EXPECT_EQ(text, "TimerExpired");
}

TEST_F(CustomerUITimerTest, QueuedBannerDisplayModeAndLiveImageTicks)
{
    std::vector<int32_t> posted;
    int32_t toolbarType = 0;
    std::vector<int32_t> selected;
    bool pressed = false;
    CustomerUIHost host;
    host.liveImagePressed = [&] { return pressed; };
    host.postCommand = [&](int32_t command) { posted.push_back(command); };
    host.toolbarImageType = [&] { return toolbarType; };
    host.selectToolbarImageType = [&](int32_t type) { selected.push_back(type); };
    m_screen.SetHost(host);

    m_screen.QueueMessage("Check the cartridge", 4);
    Advance(10ms);
    CustomerUIData d = m_screen.Snapshot();
    EXPECT_EQ(d.messageText, "Check the cartridge");
    EXPECT_EQ(m_screen.Timers().at(CUI_TIMER_MESSAGE_BANNER), 200);
    EXPECT_EQ(m_screen.Timers().count(CUI_TIMER_QUEUED_MESSAGE), 0u);
    for (int i = 0; i < 21; ++i)
        Advance(200ms);
    EXPECT_EQ(m_screen.Snapshot().messageTicks, 0);
    EXPECT_EQ(m_screen.Timers().count(CUI_TIMER_MESSAGE_BANNER), 0u) << "ends after the tick at 0";

    m_screen.OnDisplayRadio(3);
    Advance(10ms);
    EXPECT_EQ(selected, std::vector<int32_t>{2});
    EXPECT_TRUE(m_screen.TakeControlsDirty());
    toolbarType = 2;
    m_screen.OnDisplayRadio(3);
    Advance(10ms);
    EXPECT_EQ(selected.size(), 1u) << "the toolbar shows that type already";

    const struct
    {
        int32_t timer;
        bool pressed, posts;
    } live[] = {{CUI_TIMER_START_LIVE_IMAGE, false, true},
                {CUI_TIMER_START_LIVE_IMAGE, true, false},
                {CUI_TIMER_STOP_LIVE_IMAGE, true, true},
                {CUI_TIMER_STOP_LIVE_IMAGE, false, false}};
    for (const auto &c : live) {
        posted.clear();
        pressed = c.pressed;
        m_screen.ArmTimer(c.timer, 10);
        Advance(10ms);
        EXPECT_EQ(posted, c.posts ? std::vector<int32_t>{32802} : std::vector<int32_t>{}) << c.timer;
        EXPECT_EQ(m_screen.Timers().count(c.timer), 0u) << "acts once";
    }
    const std::vector<std::string> rows = LogRows();
    EXPECT_EQ(rows.back(), "OnBnClickedRadio3\tLogin\t");
}

TEST_F(CustomerUITest, MouseMoveTracksHoverPerState)
{
    CustomerUI screen;
    std::array<CuiRect, 6> buttons{};
    buttons[0] = {1000, 800, 1100, 850};
    buttons[3] = {100, 800, 200, 850};
    screen.SetButtonRects(buttons, 0, 0);
    std::string error;
    ASSERT_TRUE(screen.SetState(PromptInfo, error));
    screen.OnMouseMove(1050, 820, false);
    CustomerUIData d = screen.Snapshot();
    EXPECT_TRUE(d.nextHover[PromptInfo]);
    EXPECT_FALSE(d.backHover[PromptInfo]);
    EXPECT_TRUE(screen.TakeRepaint());
    screen.OnMouseMove(1050, 820, false);
    EXPECT_FALSE(screen.TakeRepaint()) << "no change, no repaint";
    ASSERT_TRUE(screen.SetState(SelectAction, error));
    screen.SetActionLines({"Prime", "Flush"}, {CuiRect{0, 0, 10, 10}, CuiRect{0, 20, 10, 30}});
    screen.OnMouseMove(5, 25, false);
    d = screen.Snapshot();
    EXPECT_EQ(d.hoverAction, 2);
    EXPECT_TRUE(d.nextHover[PromptInfo]) << "hover is kept per state";
    for (int32_t i = 0; i < 2; ++i)
        ASSERT_TRUE(screen.SetInput(i, "file", "", 10));
    ASSERT_TRUE(screen.SetState(PromptForFilename, error));
    screen.SetBrowseRects({CuiRect{500, 0, 600, 50}, CuiRect{500, 60, 600, 110}});
    screen.OnMouseMove(550, 70, false);
    EXPECT_EQ(screen.Snapshot().browseHover, (std::vector<bool>{false, true}));
    EXPECT_EQ(screen.BrowseBoxAt(500, 110), 1);
    EXPECT_EQ(screen.BrowseBoxAt(499, 110), -1);

    // Moving with the button down drags the split line; the sizing cursor shows on the line.
    FlowSplit split;
    split.upper_channel_row = 100;
    split.lower_channel_row = 300;
    split.split_row = 200;
    split.hit_band = {0, 196, 1000, 204};
    _flow_split.Set(split);
    ASSERT_TRUE(screen.SetState(ShowVideo, error));
    EXPECT_TRUE(screen.OnMouseMove(10, 204, false));
    EXPECT_FALSE(screen.OnMouseMove(10, 205, false));
    ASSERT_TRUE(screen.OnLButtonDown(10, 200));
    EXPECT_TRUE(screen.OnMouseMove(10, 210, true));
    EXPECT_EQ(_flow_split.Get().drag_offset, 10);
    EXPECT_EQ(screen.Snapshot().splitText, "-5");
}

TEST_F(CustomerUITest, StoppingTheOperatorScriptReleasesAWaitingCommandWithinASecond)
{
    CustomerUI &screen = theCustomerUI();
    screen.Reset();
    std::atomic<bool> entered{false};
    std::string released = "not yet";
    std::string path;
    ASSERT_NO_FATAL_FAILURE(StartBlockedScript(screen, entered, released, path));
    std::string error;
    ASSERT_TRUE(screen.SetState(PromptInfo, error)); // shows the screen: the script watch runs
    {
        CustomerUITicker ticker(screen);
        for (int i = 0; i < 30; ++i) { // the watch leaves a running script alone
            ticker.Poll();
            std::this_thread::sleep_for(10ms);
        }
        const auto stop = std::chrono::steady_clock::now();
        ASSERT_TRUE(Script::StopScript(1));
        while (ScriptInstanceExists(1) && std::chrono::steady_clock::now() - stop < 5s) {
            ticker.Poll();
            std::this_thread::sleep_for(10ms);
        }
        EXPECT_LT(std::chrono::steady_clock::now() - stop, 1200ms);
    }
    EXPECT_FALSE(ScriptInstanceExists(1));
    EXPECT_EQ(released, "");
    EXPECT_FALSE(screen.Snapshot().visible) << "the watch hides the screen";
    screen.Reset();
}

} // namespace
