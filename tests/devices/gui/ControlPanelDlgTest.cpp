// The control panel and pump information windows, offscreen: buttons from panel files, clicks,
// panel switching, button properties and the pump bars and reports against the pump simulator.
#include "devices/ControlPanelFixture.h"

#include "Ostravo/SerialPort.h"
#include "Ostravo/TecanCentris.h"
#include "Ostravo/gui/DialogUtils.h"
#include "devices/BrightnessAtTarget.h"
#include "devices/ControlPanel.h"
#include "devices/ControlPanelServices.h"
#include "devices/gui/ControlPanelDlg.h"
#include "devices/gui/ControlPanelDlgWindows.h"
#include "devices/gui/PumpInformationDlg.h"
#include "devices/gui/Shot.h"
#include "support/PumpSimulator.h"
#include "support/gui/EventLoop.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTest>

#include <gmock/gmock.h>

namespace vantelis::test {
namespace {

using ::testing::HasSubstr;
using namespace control_panel_id;

constexpr int Button(int n)
{
    return 1090 + n;
}

class ControlPanelDlgTest : public ControlPanelFixture
{
  protected:
    void SetUp() override
    {
        ControlPanelFixture::SetUp();
        WritePanel("Default", kDefaultPanel);
        WritePanel("Lab",
                   "[ControlPanelButton_1]\r\nTitle=Lab prime\r\nColor=10,20,30\r\nScript=lab.scr\r\n");
    }
};

TEST_F(ControlPanelDlgTest, ButtonsInOperatorAndAdminMode)
{
    ControlPanelDlg dialog;
    dialog.show();
    struct Case
    {
        int n;
        bool operatorVisible;
        const char *title;
        uint32_t color;
    };
    const Case cases[] = {
        {1, true, "Prime", 0x0000FF},
        {2, false, "<NotAssigned>", 0x00FF00}, // the stored "<NotAssigned>"
        {3, true, "Halt", 0xFF0000},
        {4, false, "<NotAssigned>", 0xC0C0C0},
        {5, true, "[Empty]", 0xC0C0C0},
        {7, false, "<NotAssigned>", 0xC0C0C0}, // no section at all
        {20, false, "<NotAssigned>", 0xC0C0C0},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(dialog.Button(Button(c.n))->isVisible(), c.operatorVisible) << c.n;
        EXPECT_EQ(dialog.Button(Button(c.n))->text().toStdString(), c.title) << c.n;
        EXPECT_EQ(dialog.ButtonTitle(Button(c.n)), c.title) << c.n;
        EXPECT_EQ(dialog.Button(Button(c.n))->Colour(), c.color) << c.n;
    }
    EXPECT_FALSE(dialog.PanelNameBox()->isEnabled());
    EXPECT_EQ(dialog.PanelNameBox()->currentText().toStdString(), "Default");
    Shot(dialog, "control_panel_operator");

    dialog.SetAdminMode(true);
    for (const Case &c : cases)
        EXPECT_TRUE(dialog.Button(Button(c.n))->isVisible()) << c.n;
    EXPECT_TRUE(dialog.PanelNameBox()->isEnabled());
    Shot(dialog, "control_panel_admin");
}

TEST_F(ControlPanelDlgTest, LeftClicksRunOrStopScripts)
{
    theApp.m_admin_mode = true;
    ControlPanelDlg dialog;
    dialog.show();
    QTest::mouseClick(dialog.Button(Button(1)), Qt::LeftButton);
    ASSERT_EQ(scripts->started.size(), 1u);
    EXPECT_EQ(scripts->started[0], (std::pair<uint32_t, std::string>{0, dir.file("Scripts/prime.scr")}));
    QTest::mouseClick(dialog.Button(Button(3)), Qt::LeftButton);
    EXPECT_EQ(scripts->stopped, std::vector<uint32_t>{0});
    EXPECT_EQ(scripts->started.size(), 1u);
    QTest::mouseClick(dialog.Button(Button(2)), Qt::LeftButton);
    ASSERT_EQ(ui->Messages().size(), 1u);
    EXPECT_EQ(ui->Messages()[0].text, "No script assigned to this button.");

    // The file is read at each click: an edited panel takes effect at once.
    WritePanel("Default", "[ControlPanelButton_1]\r\nScript=flush.scr\r\n");
    QTest::mouseClick(dialog.Button(Button(1)), Qt::LeftButton);
    ASSERT_EQ(scripts->started.size(), 2u);
    EXPECT_EQ(scripts->started[1].second, dir.file("Scripts/flush.scr"));

    scripts->instances = {{0, true, dir.file("Scripts/flush.scr")}};
    ASSERT_TRUE(RunEventLoopUntil([&] { return dialog.windowTitle() == "Control Panel - Script Running"; }));
}

TEST_F(ControlPanelDlgTest, TypingAPanelNameSwitchesPanels)
{
    theApp.m_admin_mode = true;
    ControlPanelDlg dialog;
    dialog.show();
    QTest::keyClicks(dialog.PanelNameBox()->lineEdit(), "x");
    EXPECT_EQ(dialog.TimerInterval(kPanelNameTimer), 1000);
    dialog.PanelNameBox()->setEditText("lab");
    ASSERT_TRUE(RunEventLoopUntil([&] { return dialog.ButtonTitle(Button(1)) == "Lab prime"; }));
    EXPECT_EQ(ActiveControlPanelName(), "Lab");
    EXPECT_EQ(dialog.Button(Button(1))->Colour(), 0x1E140Au);
    EXPECT_TRUE(ui->Messages().empty());

    // Opening the list offers the panel files.
    dialog.PanelNameBox()->showPopup();
    QStringList names;
    for (int i = 0; i < dialog.PanelNameBox()->count(); ++i)
        names << dialog.PanelNameBox()->itemText(i);
    dialog.PanelNameBox()->hidePopup();
    EXPECT_EQ(names, (QStringList{"Default", "Lab"}));
}

TEST_F(ControlPanelDlgTest, ChoosingNotAssignedInThePropertiesClearsTheButton)
{
    WriteFileBytes(dir.file("Scripts/prime.scr"), "");
    WriteFileBytes(dir.file("Scripts/flush.scr"), "");
    ControlPanelDlg dialog;
    dialog.show();
    ASSERT_TRUE(dialog.Button(Button(1))->isVisible());
    {
        ControlPanelButtonProperties properties("ControlPanelButton_1", dir.file("Default.ControlPanel"),
                                                &dialog);
        QListWidget *list = properties.ScriptList();
        ASSERT_EQ(list->count(), 4);
        EXPECT_EQ(list->item(0)->text(), "<NotAssigned>");
        EXPECT_EQ(list->item(3)->text(), "Stop");
        EXPECT_EQ(list->currentItem()->text(), "prime.scr");
        EXPECT_EQ(properties.Color(), 0x0000FFu);
        EXPECT_EQ(properties.ControlText(kTitleEdit), "Prime");
        properties.show();
        Shot(properties, "control_panel_properties");
        list->setCurrentRow(0);
        properties.SetColor(0x112233);
        properties.OnOK();
        EXPECT_EQ(properties.result(), QDialog::Accepted);
    }
    dialog.LoadButtons();
    EXPECT_FALSE(dialog.Button(Button(1))->isVisible());
    EXPECT_EQ(dialog.ButtonTitle(Button(1)), "<NotAssigned>");
    EXPECT_EQ(dialog.ButtonColor(Button(1)), 0x112233u);
    QTest::mouseClick(dialog.Button(Button(3)), Qt::LeftButton); // still there
    EXPECT_EQ(scripts->stopped.size(), 1u);
}

// The program installs the control panel's services and windows in their own seams: the windows
// are made on first use, admin mode reaches an existing panel, and the seams installed earlier by
// other parts still answer.
TEST_F(ControlPanelDlgTest, ControlPanelServesItsSeamsAndLeavesTheOthers)
{
    auto earlier = std::make_shared<StubDeviceSettings>();
    InstallDeviceSettingsServices(earlier);
    InstallCaptureServices(std::make_shared<StubCapture>());
    InstallControlPanelServices();
    std::shared_ptr<ControlPanelWindows> windows = InstallControlPanelWindows();

    EXPECT_EQ(&LiveOverlay().BrightnessRequest(), &BrightnessTestRequest());
    EXPECT_EQ(&DeviceSettings().DigitalIoConfiguration(), &earlier->window);
    EString error;
    EXPECT_TRUE(Capture().LoadCartridgeTypes(error));

    EXPECT_FALSE(FluidicsWindows().ControlPanel().HasWindow());
    FluidicsWindows().SetControlPanelAdminMode(true); // no window yet: nothing to do
    ASSERT_TRUE(FluidicsWindows().ControlPanel().Create(true));
    ControlPanelDlg *panel = windows->ControlPanelDialog();
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(panel->isVisible());
    EXPECT_FALSE(panel->AdminMode());
    FluidicsWindows().SetControlPanelAdminMode(true);
    EXPECT_TRUE(panel->AdminMode());
    EXPECT_TRUE(panel->Button(Button(7))->isVisible());

    ASSERT_TRUE(FluidicsWindows().PumpInformation().Create(false));
    ASSERT_NE(windows->PumpInformationDialog(), nullptr);
    EXPECT_FALSE(FluidicsWindows().PumpInformation().IsVisible());

    SetLivePreview(nullptr);
    windows.reset();
    UninstallDeviceServices();
}

// The pump bars against two simulated pumps reached as COM7.
class ControlPanelPumpTest : public ControlPanelDlgTest
{
  protected:
    static constexpr int32_t kPort = 7;
    void SetUp() override
    {
        ControlPanelDlgTest::SetUp();
        ASSERT_FALSE(sim.PortPath().empty()) << "no pseudo-terminal";
        WriteFileBytes(theApp.m_ini_path, "[Serial]\r\nPortDevice7=" + sim.PortPath() + "\r\n");
        SetLogMainSettingsPath(theApp.m_ini_path.c_str());
        EString error;
        ASSERT_TRUE(SetupSerialPort(kPort, 9600, error)) << error.c_str();
        TecanCentris::MinTimeBetweenCommandsMs = 0;
        TecanCentris::LastCommandTime = 0;
        sim.SetPump(1, Held(250.0, 1000));
        sim.SetPump(2, Held(100.0, 500));
    }
    void TearDown() override
    {
        SerialPortFailureCallback = nullptr;
        ReleaseSerialPort(kPort);
        SetLogMainSettingsPath("");
        ControlPanelDlgTest::TearDown();
    }
    static PumpSimulator::PumpState Held(double ul, int32_t capacity)
    {
        PumpSimulator::PumpState state;
        state.capacityUl = capacity;
        state.positionUl = ul;
        return state;
    }
    static std::string Text(const ControlPanelDlg &dialog, int id) { return dialog.ControlText(id); }

    PumpSimulator sim;
};

TEST_F(ControlPanelPumpTest, BarsShowTheRoomLeftInEachSyringe)
{
    theApp.m_pump_port = kPort;
    ControlPanelDlg dialog;
    dialog.show();
    auto *bar1 = dialog.ControlAs<QProgressBar>(kPumpBar1);
    auto *bar2 = dialog.ControlAs<QProgressBar>(kPumpBar2);
    EXPECT_EQ(bar1->maximum(), 1000);
    EXPECT_EQ(bar1->value(), 750);
    EXPECT_EQ(Text(dialog, kPumpText1), "250");
    EXPECT_EQ(bar2->maximum(), 500);
    EXPECT_EQ(bar2->value(), 400);
    EXPECT_EQ(Text(dialog, kPumpText2), "100");
    Shot(dialog, "control_panel_pumps");

    // The periodic update follows the plungers.
    sim.SetPump(1, Held(600.4, 1000));
    sim.SetPump(2, Held(499.6, 500));
    dialog.UpdatePumpVolumes();
    EXPECT_EQ(bar1->value(), 400);
    EXPECT_EQ(Text(dialog, kPumpText1), "600");
    EXPECT_EQ(bar2->value(), 0);
    EXPECT_EQ(Text(dialog, kPumpText2), "500");

    // A failed query leaves the bar as it was.
    sim.InjectFault(PumpSimulator::Fault::Status, 1, 'V');
    sim.SetPump(1, Held(100.0, 1000));
    dialog.UpdatePumpVolumes();
    EXPECT_EQ(bar1->value(), 400);
    EXPECT_EQ(Text(dialog, kPumpText1), "600");
}

TEST_F(ControlPanelPumpTest, APumpWhoseCapacityCannotBeReadHasNoBar)
{
    theApp.m_pump_port = kPort;
    sim.InjectFault(PumpSimulator::Fault::None, 2); // pump 1's two queries
    sim.InjectFault(PumpSimulator::Fault::Status, 1, 'V');
    ControlPanelDlg dialog;
    dialog.show();
    EXPECT_TRUE(dialog.Control(kPumpBar1)->isVisible());
    EXPECT_FALSE(dialog.Control(kPumpBar2)->isVisible());
}

TEST_F(ControlPanelPumpTest, WithoutAPumpPortNothingIsAsked)
{
    theApp.m_pump_port = 0;
    ControlPanelDlg dialog;
    dialog.show();
    auto *bar1 = dialog.ControlAs<QProgressBar>(kPumpBar1);
    EXPECT_TRUE(bar1->isVisible());
    EXPECT_EQ(bar1->maximum(), 100);
    EXPECT_EQ(bar1->value(), 0);
    EXPECT_EQ(Text(dialog, kPumpText1), "");
    // The periodic update still tries, fails at once and changes nothing.
    dialog.UpdatePumpVolumes();
    EXPECT_EQ(bar1->value(), 0);
    EXPECT_EQ(Text(dialog, kPumpText1), "");
    EXPECT_TRUE(sim.Requests().empty());
}

TEST_F(ControlPanelPumpTest, PumpInformationQueriesBothPumps)
{
    using namespace pump_information_id;
    theApp.m_pump_port = kPort;
    PumpInformationDlg dialog;
    dialog.show();
    QComboBox *box = dialog.CommandBox();
    ASSERT_EQ(box->count(), 62);
    // The degree sign reaches the window as the character, not as a broken byte.
    EXPECT_EQ(box->itemText(33),
              QString::fromUtf8("?53 : Reports the real-time pump temperature in \u00B0F"));
    box->setCurrentIndex(11);
    dialog.OnQuery();
    EXPECT_EQ(dialog.Replies()->toPlainText().toStdString(), "pump1: 1000\npump2: 500");
    Shot(dialog, "pump_information");

    // A number above 99 sends nothing and leaves the replies.
    sim.ClearRequests();
    box->setEditText("?100 : Report something");
    dialog.OnQuery();
    box->setEditText("17 : no question mark");
    dialog.OnQuery();
    EXPECT_TRUE(sim.Requests().empty());
    EXPECT_EQ(dialog.Replies()->toPlainText().toStdString(), "pump1: 1000\npump2: 500");

    // Pump 1 failing shows its error; pump 2 is not asked.
    box->setCurrentIndex(12);
    sim.InjectFault(PumpSimulator::Fault::Status, 1, 'V');
    dialog.OnQuery();
    EXPECT_THAT(dialog.Replies()->toPlainText().toStdString(),
                HasSubstr("pump=1 command=?18 error: Low voltage"));
    for (const std::string &request : sim.Requests())
        EXPECT_EQ(request[0], '1') << request;
}

} // namespace
} // namespace vantelis::test
