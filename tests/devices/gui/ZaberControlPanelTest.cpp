// The stage control panel against the simulated controller: what it shows when it opens, what
// each button sends, what it refuses, what it logs, and its two timers.
#include "devices/gui/ZaberControlPanel.h"
#include "devices/StageFixture.h"
#include "devices/gui/DeviceSettingsDialogs.h"
#include "devices/gui/Shot.h"
#include "devices/gui/StageDeviceWindows.h"

#include "Ostravo/Profile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

#include <memory>
#include <vector>

namespace vantelis::test {
namespace {

class ZaberControlPanelTest : public StageFixture
{
  protected:
    std::unique_ptr<ZaberControlPanel> Open()
    {
        auto panel = std::make_unique<ZaberControlPanel>(ini);
        stage.ClearRequests();
        return panel;
    }
    static void Click(ZaberControlPanel &panel, int id)
    {
        QPushButton *button = panel.ControlAs<QPushButton>(id);
        ASSERT_NE(button, nullptr) << id;
        button->click();
    }
    static void Select(ZaberControlPanel &panel, int listId, int index)
    {
        panel.ControlAs<QComboBox>(listId)->setCurrentIndex(index);
    }
    std::string Setting(const char *key) const
    {
        char text[1024];
        Ostravo::E_GetPrivateProfileString("Zaber", key, "", text, sizeof text, ini.c_str());
        return text;
    }
};

// 41995 steps at 20997.38 steps per mm are 2.0000 mm; -2500 steps at 1000 are -2.5000 mm.
TEST_F(ZaberControlPanelTest, OpensWithControllerFactsAndCutsOffTheXAxisUnlessAskedFor)
{
    StageSimulator::AxisState focus;
    focus.position = 41995;
    stage.SetAxis(1, focus);
    StageSimulator::AxisState x;
    x.position = -2500;
    stage.SetAxis(2, x);
    WriteSettings("InitializeZaberOnStartup=TRUE\r\nZaberStepsPerMM_X=1000\r\nMoveAbsPos_Focus=1.5\r\n"
                  "MoveAbsPos_XAxis=-3\r\nMoveVelocity_Focus=0.25\r\nMoveVelocity_XAxis=abc\r\n");
    stage.ClearRequests();
    ZaberControlPanel cut(ini);
    EXPECT_EQ(stage.Requests(),
              (std::vector<std::string>{"get deviceid", "get system.serial", "01 1 get pos"}))
        << "only the focus position is read";
    EXPECT_EQ(cut.ControlText(ZaberControlPanel::kComText), "COM5");
    EXPECT_EQ(cut.ControlText(ZaberControlPanel::kBaudText), "115200 baud");
    EXPECT_EQ(cut.ControlText(ZaberControlPanel::kModelText), "X-MCB2 Controller");
    EXPECT_EQ(cut.ControlText(ZaberControlPanel::kSerialText), "S/N 51234");
    EXPECT_EQ(cut.ControlText(ZaberControlPanel::kFocusPosition), "2.0000");
    EXPECT_EQ(cut.ControlText(ZaberControlPanel::kFocusTarget), "1.5");
    EXPECT_EQ(cut.ControlText(ZaberControlPanel::kXTarget), "-3");
    EXPECT_EQ(cut.ControlText(ZaberControlPanel::kFocusVelocity), "0.25");
    EXPECT_EQ(cut.ControlText(ZaberControlPanel::kXVelocity), "abc");
    EXPECT_EQ(cut.ControlText(ZaberControlPanel::kFocusIncrement), "0.001");
    EXPECT_FALSE(cut.XAxisShown());
    EXPECT_FALSE(cut.TimerActive(ZaberControlPanel::kSaveTimer)) << "filling the edits is no change to save";
    cut.show();
    EXPECT_FALSE(cut.Control(ZaberControlPanel::kXPosition)->isVisible());
    Shot(cut, "zaber_panel_focus_only");

    WriteSettings(
        "InitializeZaberOnStartup=TRUE\r\nZaberStepsPerMM_X=1000\r\nInitializeZaberXAxisOnStartup=true\r\n");
    stage.ClearRequests();
    ZaberControlPanel full(ini);
    EXPECT_EQ(stage.Requests().back(), "01 1 get pos");
    full.show();
    EXPECT_TRUE(full.XAxisShown());
    // The first tick of the poll reads both axes.
    full.OnTimer(ZaberControlPanel::kPollTimer);
    EXPECT_TRUE(full.Control(ZaberControlPanel::kXPosition)->isVisible());
    EXPECT_EQ(full.ControlText(ZaberControlPanel::kXPosition), "-2.5000");
    EXPECT_EQ(stage.Requests().back(), "01 2 get pos");
    EXPECT_GT(full.height(), cut.height());
    Shot(full, "zaber_panel_both_axes");
    EXPECT_EQ(ErrorLog(), "");
}

TEST_F(ZaberControlPanelTest, ModelTextAndTheSerialNumberOnlyAfterAGoodDeviceId)
{
    stage.SetDeviceId(12345);
    stage.SetSerialNumber(777);
    {
        auto panel = Open();
        EXPECT_EQ(panel->ControlText(ZaberControlPanel::kModelText), "DeviceID 12345");
        EXPECT_EQ(panel->ControlText(ZaberControlPanel::kSerialText), "S/N 777");
    }
    struct Case
    {
        StageSimulator::Fault fault;
        const char *row;
    };
    const Case cases[] = {
        {StageSimulator::Fault::Silence, "Zaber fails to respond to \"get deviceid\" command"},
        {StageSimulator::Fault::OtherAddress,
         "Zaber provides invalid response to \"get deviceid\" command #1"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.row);
        stage.ClearRequests();
        stage.InjectFault(c.fault);
        ZaberControlPanel panel(ini);
        EXPECT_EQ(panel.ControlText(ZaberControlPanel::kModelText), "");
        EXPECT_EQ(panel.ControlText(ZaberControlPanel::kSerialText), "");
        EXPECT_EQ(stage.Requests(), (std::vector<std::string>{"get deviceid", "01 1 get pos"}));
        EXPECT_NE(ErrorLog().find(c.row), std::string::npos);
    }
}

// Jogs with the defaults (20997.38 steps per mm): ">>" at 0.010 mm is round(0.1 x 20997.38) = 2100.
TEST_F(ZaberControlPanelTest, JogButtonsSendIncrementTimesFactor)
{
    auto panel = Open();
    struct Case
    {
        int list;
        int index;
        int button;
        const char *request;
    };
    const Case cases[] = {
        {ZaberControlPanel::kFocusIncrement, 1, ZaberControlPanel::kFocusRight10, "01 1 move rel 2100"},
        {ZaberControlPanel::kFocusIncrement, 0, ZaberControlPanel::kFocusLeft100, "01 1 move rel -2100"},
        {ZaberControlPanel::kFocusIncrement, 0, ZaberControlPanel::kFocusRight1, "01 1 move rel 21"},
        {ZaberControlPanel::kFocusIncrement, 2, ZaberControlPanel::kFocusLeft1, "01 1 move rel -2100"},
        {ZaberControlPanel::kFocusIncrement, 2, ZaberControlPanel::kFocusRight100, "01 1 move rel 209974"},
        {ZaberControlPanel::kFocusIncrement, 1, ZaberControlPanel::kFocusLeft10, "01 1 move rel -2100"},
        {ZaberControlPanel::kXIncrement, 0, ZaberControlPanel::kXLeft10, "01 2 move rel -210"},
        {ZaberControlPanel::kXIncrement, 1, ZaberControlPanel::kXRight100, "01 2 move rel 20997"},
        {ZaberControlPanel::kXIncrement, 2, ZaberControlPanel::kXRight1, "01 2 move rel 2100"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.request);
        stage.ClearRequests();
        Select(*panel, c.list, c.index);
        Click(*panel, c.button);
        EXPECT_EQ(stage.Requests(), std::vector<std::string>{c.request});
    }
    EXPECT_EQ(ErrorLog(), "");
    EXPECT_DOUBLE_EQ(panel->GetJogIncrement(1), 0.01);
    EXPECT_DOUBLE_EQ(panel->GetJogIncrement(2), 0.1);
    EXPECT_DOUBLE_EQ(panel->GetJogIncrement(3), 0.001);
}

// Velocities are sent as steps per second; outside 0.0001 to 5 mm/s nothing is sent.
TEST_F(ZaberControlPanelTest, VelocityMovesAndTheirLimits)
{
    auto panel = Open();
    struct Case
    {
        int edit;
        int button;
        const char *text;
        const char *request; // null: refused
        const char *row;
    };
    const Case cases[] = {
        {ZaberControlPanel::kFocusVelocity, ZaberControlPanel::kFocusVelocityForward, "5",
         "01 1 move vel 104987", nullptr},
        {ZaberControlPanel::kFocusVelocity, ZaberControlPanel::kFocusVelocityBack, "0.5",
         "01 1 move vel -10499", nullptr},
        {ZaberControlPanel::kXVelocity, ZaberControlPanel::kXVelocityForward, "0.0001", "01 2 move vel 2",
         nullptr},
        {ZaberControlPanel::kFocusVelocity, ZaberControlPanel::kFocusVelocityForward, "5.01", nullptr,
         "Invalid velocity: 5.01 must be between 0.0001 and 5 mm/s"},
        {ZaberControlPanel::kXVelocity, ZaberControlPanel::kXVelocityBack, "0.00005", nullptr,
         "Invalid velocity: 0.00005 must be between 0.0001 and 5 mm/s"},
        {ZaberControlPanel::kXVelocity, ZaberControlPanel::kXVelocityBack, "-1", nullptr,
         "Invalid velocity: -1 must be between 0.0001 and 5 mm/s"},
        {ZaberControlPanel::kFocusVelocity, ZaberControlPanel::kFocusVelocityBack, "fast", nullptr,
         "Invalid velocity: fast"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        stage.ClearRequests();
        panel->SetControlText(c.edit, c.text);
        Click(*panel, c.button);
        EXPECT_EQ(stage.Requests(),
                  c.request ? std::vector<std::string>{c.request} : std::vector<std::string>{});
        if (c.row) {
            EXPECT_NE(ErrorLog().find(std::string("\t") + c.row + "\r\n"), std::string::npos) << ErrorLog();
        }
    }
}

TEST_F(ZaberControlPanelTest, AbsoluteMovesHomeAndStop)
{
    auto panel = Open();
    struct Case
    {
        int edit; // 0: no text to set
        const char *text;
        int button;
        const char *request; // null: refused
        const char *row;
    };
    const Case cases[] = {
        {ZaberControlPanel::kFocusTarget, "-100", ZaberControlPanel::kFocusMoveAbs, "01 1 move abs -2099738",
         nullptr},
        {ZaberControlPanel::kXTarget, "0.5", ZaberControlPanel::kXMoveAbs, "01 2 move abs 10499", nullptr},
        {ZaberControlPanel::kFocusTarget, "abc", ZaberControlPanel::kFocusMoveAbs, nullptr,
         "Invalid position: abc"},
        {ZaberControlPanel::kXTarget, "100.5", ZaberControlPanel::kXMoveAbs, nullptr,
         "Zaber absolute position setting must be betwen -100.0 and 100.0 mm"},
        {0, nullptr, ZaberControlPanel::kFocusHome, "01 1 home", nullptr},
        {0, nullptr, ZaberControlPanel::kXHome, "01 2 home", nullptr},
        {0, nullptr, ZaberControlPanel::kFocusStop, "01 1 stop", nullptr},
        {0, nullptr, ZaberControlPanel::kXStop, "01 2 stop", nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.request ? c.request : c.row);
        stage.ClearRequests();
        if (c.edit)
            panel->SetControlText(c.edit, c.text);
        Click(*panel, c.button);
        EXPECT_EQ(stage.Requests(),
                  c.request ? std::vector<std::string>{c.request} : std::vector<std::string>{});
        if (c.row) {
            EXPECT_NE(ErrorLog().find(std::string("\t") + c.row + "\r\n"), std::string::npos) << ErrorLog();
        }
    }
    EXPECT_EQ(stage.Axis(2).stops, 1);
    EXPECT_EQ(stage.Axis(1).homes, 1);
}

// Every failure is a row in the error log, never a message; nothing is retried.
TEST_F(ZaberControlPanelTest, FailuresGoToTheErrorLog)
{
    auto panel = Open();
    using Fault = StageSimulator::Fault;
    struct Case
    {
        Fault fault;
        int button;
        const char *row;
    };
    const Case cases[] = {
        {Fault::Silence, ZaberControlPanel::kFocusRight1,
         "Zaber fails to respond to command: /01 1 move rel 21"},
        {Fault::OtherAddress, ZaberControlPanel::kFocusRight1,
         "Zaber provides invalid response to command: /01 1 move rel 21, response: @02 1 OK BUSY -- 0"},
        {Fault::Silence, ZaberControlPanel::kFocusHome, "Zaber fails to respond to \"home\" command"},
        {Fault::Rejected, ZaberControlPanel::kXStop,
         "Zaber provides invalid response to \"stop\" command #1"},
        {Fault::Silence, ZaberControlPanel::kFocusMoveAbs, "Zaber fails to respond to \"move abs\" command"},
        {Fault::Rejected, ZaberControlPanel::kFocusMoveAbs,
         "Zaber provides invalid response to \"move abs\" command #1"},
    };
    panel->SetControlText(ZaberControlPanel::kFocusTarget, "1");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.row);
        stage.ClearRequests();
        stage.InjectFault(c.fault);
        Click(*panel, c.button);
        EXPECT_EQ(stage.Requests().size(), 1u);
        EXPECT_NE(ErrorLog().find(std::string("\t") + c.row + "\r\n"), std::string::npos) << ErrorLog();
    }
    EXPECT_EQ(failures, 3);

    // A failed read shows 0.0000.
    StageSimulator::AxisState focus;
    focus.position = 10000; // 0.47625 mm
    stage.SetAxis(1, focus);
    panel->UpdatePositions();
    EXPECT_EQ(panel->ControlText(ZaberControlPanel::kFocusPosition), "0.4762");
    stage.InjectFault(Fault::Silence);
    panel->UpdatePositions();
    EXPECT_EQ(panel->ControlText(ZaberControlPanel::kFocusPosition), "0.0000");
    EXPECT_NE(ErrorLog().find("\tZaber fails to respond to \"get pos\" command\r\n"), std::string::npos);
}

TEST_F(ZaberControlPanelTest, PollWhileShownAndSaveASecondAfterTheLastChange)
{
    auto panel = Open();
    panel->show();
    EXPECT_EQ(panel->TimerInterval(ZaberControlPanel::kPollTimer), 1000);
    stage.ClearRequests();
    panel->OnTimer(ZaberControlPanel::kPollTimer);
    EXPECT_EQ(stage.Requests(), std::vector<std::string>{"01 1 get pos"});
    EXPECT_TRUE(panel->TimerActive(ZaberControlPanel::kPollTimer));
    panel->hide();
    stage.ClearRequests();
    panel->OnTimer(ZaberControlPanel::kPollTimer);
    EXPECT_TRUE(stage.Requests().empty());
    EXPECT_FALSE(panel->TimerActive(ZaberControlPanel::kPollTimer));

    panel->ControlAs<QLineEdit>(ZaberControlPanel::kFocusTarget)->setText("12.5");
    panel->ControlAs<QLineEdit>(ZaberControlPanel::kXVelocity)->setText("0.3");
    EXPECT_EQ(panel->TimerInterval(ZaberControlPanel::kSaveTimer), 1000);
    EXPECT_EQ(Setting("MoveAbsPos_Focus"), "") << "nothing is written before the timer";
    panel->OnTimer(ZaberControlPanel::kSaveTimer);
    EXPECT_FALSE(panel->TimerActive(ZaberControlPanel::kSaveTimer));
    EXPECT_EQ(Setting("MoveAbsPos_Focus"), "12.5");
    EXPECT_EQ(Setting("MoveVelocity_XAxis"), "0.3");
    EXPECT_EQ(Setting("MoveAbsPos_XAxis"), "");
    EXPECT_EQ(Setting("InitializeZaberOnStartup"), "TRUE") << "the rest of the section stays";
}

// Two devices with an axis 1 each: the X group uses its own steps per mm and its own increment.
TEST_F(ZaberControlPanelTest, TwoDevicesWithTheSameAxisNumberKeepTheirOwnSettings)
{
    WriteSettings("InitializeZaberOnStartup=TRUE\r\nZaberXAxisDeviceIndex=2\r\nZaberXAxisIndex=1\r\n"
                  "ZaberStepsPerMM_X=1000\r\n");
    auto panel = Open();
    Select(*panel, ZaberControlPanel::kFocusIncrement, 0);
    Select(*panel, ZaberControlPanel::kXIncrement, 2);
    Click(*panel, ZaberControlPanel::kXRight1);
    Click(*panel, ZaberControlPanel::kFocusRight1);
    EXPECT_EQ(stage.Requests(), (std::vector<std::string>{"02 1 move rel 100", "01 1 move rel 21"}));
}

TEST_F(ZaberControlPanelTest, WithoutAStagePortNothingIsAsked)
{
    theApp.m_stage_port = 0;
    ZaberControlPanel panel(ini);
    EXPECT_TRUE(stage.Requests().empty());
    EXPECT_EQ(panel.ControlText(ZaberControlPanel::kComText), "");
    EXPECT_EQ(ErrorLog(), "");
}

// The stage window services make the panel on first use and keep it.
TEST_F(ZaberControlPanelTest, TheStageWindowMakesThePanelOnce)
{
    StageDeviceWindows windows;
    ModelessWindow &window = windows.ZaberControlPanel();
    EXPECT_FALSE(window.HasWindow());
    ASSERT_TRUE(window.Create(true));
    ZaberControlPanel *made = windows.Panel();
    ASSERT_NE(made, nullptr);
    EXPECT_TRUE(window.IsVisible());
    window.Show(false);
    EXPECT_FALSE(window.IsVisible());
    ASSERT_TRUE(window.Create(false));
    EXPECT_EQ(windows.Panel(), made);
}

// Ticking a stage box of the experiment settings closes and deletes the panel; the next use
// builds it afresh with the X group the setting now asks for.
TEST_F(ZaberControlPanelTest, TickingAStageSettingDeletesThePanelAndTheNextUseBuildsItAfresh)
{
    StageSimulator::AxisState x;
    x.position = -2500;
    stage.SetAxis(2, x);
    WriteSettings("InitializeZaberOnStartup=TRUE\r\nZaberStepsPerMM_X=1000\r\n");
    auto windows = std::make_shared<StageDeviceWindows>();
    std::shared_ptr<StageWindowServices> previous = InstallStageWindowServices(windows);
    ModelessWindow &window = windows->ZaberControlPanel();
    ASSERT_TRUE(window.Create(true));
    QPointer<ZaberControlPanel> first = windows->Panel();
    EXPECT_FALSE(first->XAxisShown());

    {
        ExperimentSettingsDlg settings;
        QCheckBox *xAxis = settings.Check(1309);
        ASSERT_NE(xAxis, nullptr);
        EXPECT_FALSE(xAxis->isChecked());
        xAxis->click();
        EXPECT_FALSE(window.HasWindow());
        EXPECT_TRUE(first.isNull()) << "the panel is deleted, not hidden";
        EXPECT_EQ(windows->Panel(), nullptr);
        settings.SaveSettings();
    }
    EXPECT_EQ(Setting("InitializeZaberXAxisOnStartup"), "TRUE");

    ASSERT_TRUE(window.Create(true));
    ZaberControlPanel *again = windows->Panel();
    ASSERT_NE(again, nullptr);
    EXPECT_TRUE(again->XAxisShown());
    EXPECT_TRUE(again->Control(ZaberControlPanel::kXPosition)->isVisible());
    stage.ClearRequests();
    again->OnTimer(ZaberControlPanel::kPollTimer);
    EXPECT_EQ(stage.Requests(), (std::vector<std::string>{"01 1 get pos", "01 2 get pos"}));
    EXPECT_EQ(again->ControlText(ZaberControlPanel::kXPosition), "-2.5000");
    Shot(*again, "zaber_panel_after_x_axis_ticked");

    // With no panel made, ticking a box makes none.
    window.Destroy();
    {
        ExperimentSettingsDlg settings;
        settings.Check(1308)->click();
        EXPECT_FALSE(window.HasWindow());
        EXPECT_EQ(windows->Panel(), nullptr);
    }
    InstallStageWindowServices(previous);
    EXPECT_EQ(ErrorLog(), "");
}

// Shown again after the X-axis setting changed elsewhere, the panel shows and polls exactly the
// axes the setting asks for.
TEST_F(ZaberControlPanelTest, ShownAgainTheXGroupFollowsTheSetting)
{
    WriteSettings("InitializeZaberOnStartup=TRUE\r\n");
    auto panel = Open();
    panel->show();
    const int cutHeight = panel->height();
    EXPECT_FALSE(panel->Control(ZaberControlPanel::kXPosition)->isVisible());

    panel->hide();
    WriteSettings("InitializeZaberOnStartup=TRUE\r\nInitializeZaberXAxisOnStartup=TRUE\r\n");
    panel->show();
    EXPECT_TRUE(panel->XAxisShown());
    EXPECT_TRUE(panel->Control(ZaberControlPanel::kXPosition)->isVisible());
    EXPECT_GT(panel->height(), cutHeight);
    stage.ClearRequests();
    panel->OnTimer(ZaberControlPanel::kPollTimer);
    EXPECT_EQ(stage.Requests(), (std::vector<std::string>{"01 1 get pos", "01 2 get pos"}));
    Shot(*panel, "zaber_panel_shown_again_with_x_axis");

    panel->hide();
    WriteSettings("InitializeZaberOnStartup=TRUE\r\n");
    panel->show();
    EXPECT_FALSE(panel->XAxisShown());
    EXPECT_FALSE(panel->Control(ZaberControlPanel::kXPosition)->isVisible());
    EXPECT_EQ(panel->height(), cutHeight);
    stage.ClearRequests();
    panel->OnTimer(ZaberControlPanel::kPollTimer);
    EXPECT_EQ(stage.Requests(), (std::vector<std::string>{"01 1 get pos"}));
}

} // namespace
} // namespace vantelis::test
