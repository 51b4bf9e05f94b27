// The settings windows offscreen: the experiment settings leave the file alone until a field is
// changed, the camera settings send only numbers to the camera, and the digital I/O window writes
// each change and marks the input lines.
#include "devices/gui/DeviceSettingsDialogs.h"
#include "devices/gui/Shot.h"

#include "app/DeviceServices.h"
#include "app/PlexorinApp.h"
#include "devices/DigitalIoMapping.h"
#include "support/FakeCamera.h"
#include "support/FakeUi.h"
#include "support/TempDir.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace vantelis::test {
namespace {

// A camera with the settings window's operations: 640 x 480, 12 bits, gain 1.5, 2000 us.
FakeCamera SettingsCamera()
{
    FakeCamera camera;
    camera.initialized = true;
    camera.model = "Cam9";
    camera.serial = "S42";
    camera.temperature = 20;
    camera.exposure = 2000;
    return camera;
}

class SettingsDialogsTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        m_savedIni = theApp.m_ini_path;
        m_savedData = theApp.m_data_directory;
        m_savedMode = theApp.m_analysis_mode;
        theApp.m_ini_path = dir.file("Plexorin.ini");
        theApp.m_data_directory = dir.str();
        theApp.m_analysis_mode = false;
    }
    void TearDown() override
    {
        theApp.m_ini_path = m_savedIni;
        theApp.m_data_directory = m_savedData;
        theApp.m_analysis_mode = m_savedMode;
        theApp.m_camera = nullptr;
    }
    void WriteSettings(const std::string &text)
    {
        std::ofstream(theApp.m_ini_path, std::ios::binary) << text;
    }
    std::string SettingsText() const
    {
        std::ifstream in(theApp.m_ini_path, std::ios::binary);
        std::ostringstream out;
        out << in.rdbuf();
        return out.str();
    }
    std::vector<std::string> MessageTexts() const
    {
        std::vector<std::string> texts;
        for (const FakeUi::Message &message : ui->Messages())
            texts.push_back(message.text);
        return texts;
    }

    TempDir dir;
    ScopedFakeUi ui;

  private:
    std::string m_savedIni;
    std::string m_savedData;
    bool m_savedMode = false;
};

TEST_F(SettingsDialogsTest, ExperimentSettingsDoneWithoutEditsLeavesTheFileAlone)
{
    // Period, count and dark threshold missing: the readers take a single capture and no dark check.
    const std::string original = "[ExperimentSettings]\r\nDataDirectory=/data/x\r\nIsActive2=TRUE\r\n"
                                 "DarkPixelThreshold=7\r\n[Zaber]\r\nZaberXAxisIndex=5\r\n";
    WriteSettings(original);
    ExperimentSettingsDlg dialog;
    dialog.show();
    Shot(dialog, "experiment_settings", true);
    EXPECT_EQ(dialog.Edit(1039)->text().toStdString(), "0");
    EXPECT_EQ(dialog.Edit(1052)->text().toStdString(), "1");
    EXPECT_EQ(dialog.Edit(1018)->text().toStdString(), "7");
    EXPECT_EQ(dialog.Edit(1334)->text().toStdString(), "5");
    EXPECT_TRUE(dialog.Check(1016)->isChecked());
    EXPECT_FALSE(dialog.SavePending());
    QTest::mouseClick(dialog.DoneButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(SettingsText(), original);
    EXPECT_TRUE(ui->Messages().empty());
}

TEST_F(SettingsDialogsTest, ExperimentSettingsWritesEditedFieldsAndRefusesBadOnes)
{
    WriteSettings("[ExperimentSettings]\r\nDarkPixelThreshold=7\r\n");
    ExperimentSettingsDlg dialog;
    dialog.show();
    QLineEdit *count = dialog.Edit(1052);
    count->selectAll();
    QTest::keyClicks(count, "12");
    EXPECT_TRUE(dialog.SavePending());
    QLineEdit *dark = dialog.Edit(1018);
    dark->selectAll();
    QTest::keyClicks(dark, "abc");
    dialog.Check(1021)->click();
    QTest::mouseClick(dialog.DoneButton(), Qt::LeftButton);
    const std::string text = SettingsText();
    EXPECT_NE(text.find("ImageCaptureCount=12"), std::string::npos) << text;
    EXPECT_NE(text.find("IsActive3=TRUE"), std::string::npos) << text;
    EXPECT_NE(text.find("DarkPixelThreshold=7"), std::string::npos) << text;
    EXPECT_EQ(text.find("ImageCapturePeriod"), std::string::npos) << text;
    EXPECT_EQ(MessageTexts(),
              (std::vector<std::string>{"Dark pixel threshold must be an integer between 0 and 1024."}));
}

TEST_F(SettingsDialogsTest, CameraSettingsWithoutCameraReportsAndCloses)
{
    DeviceSettingsDialogs dialogs;
    EXPECT_FALSE(dialogs.RunCameraSettingsDialog());
    EXPECT_EQ(MessageTexts(), (std::vector<std::string>{"No camera initialized."}));
}

TEST_F(SettingsDialogsTest, CameraSettingsSendOnlyNumbersToTheCamera)
{
    WriteSettings("[Cam9 Settings]\r\nRefreshPeriodMs=200\r\n");
    FakeCamera camera = SettingsCamera();
    CameraSettingsDlg dialog(camera);
    ASSERT_TRUE(dialog.Fill());
    dialog.show();
    Shot(dialog, "camera_settings", true);
    EXPECT_EQ(dialog.Field(1003)->text().toStdString(), "Cam9");
    EXPECT_EQ(dialog.Field(1004)->text().toStdString(), "640");
    EXPECT_EQ(dialog.Field(1008)->text().toStdString(), "1.50");
    EXPECT_EQ(dialog.Field(1009)->text().toStdString(), "2000");
    EXPECT_EQ(dialog.Field(1016)->text().toStdString(), "200");
    EXPECT_EQ(dialog.PixelDepth()->currentText().toStdString(), "12");

    struct Case
    {
        int control;
        const char *text;
        const char *call;    // expected camera call, empty for none
        const char *message; // expected message, empty for none
    } cases[] = {
        {1008, "2.5", "SetGain 2.500000", ""},
        {1008, "abc", "", "Gain must be a number."},
        {1008, "", "", "Gain must be a number."},
        {1008, "12", "SetGain 12.000000", "gain too high"},
        {1009, "3000", "SetExposure 3000.000000", ""},
        {1009, "abc", "", "Exposure (us) must be a number."},
        {1009, "5ms", "", "Exposure (us) must be a number."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.text));
        camera.calls.clear();
        ui->Clear();
        dialog.Field(c.control)->setText(QString::fromLatin1(c.text));
        if (c.control == 1008)
            dialog.ApplyGain();
        else
            dialog.ApplyExposure();
        EXPECT_EQ(camera.calls, *c.call ? std::vector<std::string>{c.call} : std::vector<std::string>{});
        EXPECT_EQ(MessageTexts(),
                  *c.message ? std::vector<std::string>{c.message} : std::vector<std::string>{});
    }
    const std::string text = SettingsText();
    EXPECT_NE(text.find("LastExposure=3000"), std::string::npos) << text;

    // A depth the camera does not have is not sent; the list goes back to the camera's.
    camera.calls.clear();
    dialog.PixelDepth()->setEditText("10");
    dialog.ApplyPixelDepth();
    EXPECT_TRUE(camera.calls.empty());
    EXPECT_EQ(dialog.PixelDepth()->currentText().toStdString(), "12");
    dialog.PixelDepth()->setEditText("8");
    dialog.ApplyPixelDepth();
    EXPECT_EQ(camera.calls, (std::vector<std::string>{"SetPixelDepth 8"}));

    // A minimum capture gap out of range blocks every save.
    ui->Clear();
    dialog.Field(1275)->setText("99");
    dialog.Field(1008)->setText("3");
    dialog.ApplyGain();
    EXPECT_EQ(MessageTexts(),
              (std::vector<std::string>{
                  "Minimum time between image capture (ms) must be an integer between 100 and 1000"}));
    EXPECT_EQ(SettingsText().find("Gain=3"), std::string::npos);

    struct RefreshCase
    {
        const char *text;
        bool saved;
    } refresh[] = {{"25", true}, {"10000", true}, {"24", false}, {"10001", false}};
    dialog.Field(1275)->setText("100");
    for (const RefreshCase &c : refresh) {
        SCOPED_TRACE(c.text);
        ui->Clear();
        dialog.Field(1016)->setText(c.text);
        dialog.ApplyRefreshPeriod();
        EXPECT_EQ(SettingsText().find(std::string("RefreshPeriodMs=") + c.text + "\r") != std::string::npos,
                  c.saved);
        EXPECT_EQ(ui->Messages().empty(), c.saved);
    }

    camera.calls.clear();
    dialog.ToggleOutput(2);
    EXPECT_EQ(camera.calls, (std::vector<std::string>{"SetDigitalOutput 2 on"}));
}

TEST_F(SettingsDialogsTest, DigitalIoWindowMarksInputLinesAndReportsCollisions)
{
    EXPECT_EQ(DigitalIOConfigurationDlg::GetLineButtonId(0, 7), 1060);
    EXPECT_EQ(DigitalIOConfigurationDlg::GetLineButtonId(1, 3), 1064);
    EXPECT_EQ(DigitalIOConfigurationDlg::GetLineButtonId(1, 4), 0);
    EXPECT_EQ(DigitalIOConfigurationDlg::GetLineButtonId(2, 0), 0);

    WriteSettings("[DIO_Config]\r\nMapping=Fluigent\r\nLED0_line=0\r\nLED1_line=1\r\nLED2_line=3\r\n"
                  "LED3_line=6\r\nCartridge_Port=1\r\nCartridge_Line=2\r\nClamp_Port=0\r\nClamp_Line=5\r\n");
    DigitalIOConfigurationDlg window;
    ui->Clear();
    window.show();
    // The refused variant is reported once, by the window.
    EXPECT_EQ(MessageTexts(), (std::vector<std::string>{"Mapping Error in Plexorin.ini file.\n"}));
    Shot(window, "digital_io", true);
    EXPECT_TRUE(window.InterlockPending());
    window.SetInterlockMapping(); // what the timer does 100 ms after showing
    EXPECT_NE(SettingsText().find("Mapping=Interlock"), std::string::npos);
    for (int id = 1053; id <= 1064; ++id) {
        SCOPED_TRACE(id);
        EXPECT_EQ(window.LineButton(id)->isEnabled(), id != 1063 && id != 1058);
    }
    EXPECT_EQ(window.List(1087)->currentIndex(), 6);

    ui->Clear();
    window.List(1083)->setCurrentIndex(1);
    emit window.List(1083)->activated(1);
    EXPECT_NE(SettingsText().find("LED3_port=1"), std::string::npos);
    EXPECT_EQ(
        MessageTexts(),
        (std::vector<std::string>{
            "D I/O invalid assignment, port 1 has only lines 0,1,2,3. LED3 assigned to port 1 line 6\n"}));

    // A clamp line out of range is shown clamped in the list and marks no line.
    WriteSettings("[DIO_Config]\r\nMapping=Interlock\r\nCartridge_Port=1\r\nCartridge_Line=2\r\nClamp_Port="
                  "0\r\nClamp_Line=9\r\n");
    window.FillControls();
    window.RefreshLineButtons();
    EXPECT_EQ(window.List(1103)->currentIndex(), 7);
    for (int id = 1053; id <= 1064; ++id)
        EXPECT_EQ(window.LineButton(id)->isEnabled(), id != 1063) << id;
}

} // namespace
} // namespace vantelis::test
