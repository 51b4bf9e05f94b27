// The power and camera check over a made-up USB device folder: decisions, prompts and waits, with
// every wait recorded instead of slept.
#include "devices/PowerCheck.h"
#include "Ostravo/LogError.h"
#include "app/PlexorinApp.h"
#include "platform/Files.h"
#include "support/FakeUi.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace vantelis::test {
namespace {

using Attributes = std::map<std::string, std::string>;

Attributes SuperSpeedHub()
{
    return {{"idVendor", "2109"},
            {"idProduct", "0817"},
            {"bDeviceClass", "09"},
            {"speed", "5000"},
            {"product", "USB3.0 Hub"}};
}
Attributes HighSpeedHub()
{
    return {{"idVendor", "2109"},
            {"idProduct", "2817"},
            {"bDeviceClass", "09"},
            {"speed", "480"},
            {"product", "USB2.0 Hub"}};
}
Attributes RootHub(const char *speed)
{
    return {{"idVendor", "1d6b"},
            {"idProduct", "0003"},
            {"bDeviceClass", "09"},
            {"speed", speed},
            {"manufacturer", "Linux 6.1.0 xhci-hcd"},
            {"product", "xHCI Host Controller"}};
}
Attributes Camera(const char *manufacturer, const char *product)
{
    return {{"idVendor", "2676"}, {"idProduct", "ba02"},          {"bDeviceClass", "ef"},
            {"speed", "5000"},    {"manufacturer", manufacturer}, {"product", product}};
}

class PowerCheckTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(platform::MakeFolder(dir.file("LOG")));
        SetLogDataDirectory(dir.str().c_str());
        PowerCheckEnvironment &environment = PowerCheckSettings();
        environment.companyFolder = dir.file("Quorvane");
        environment.instrumentFolder = dir.file("Quorvane/Nimbrel");
        environment.reportFile = dir.file("Quorvane/Nimbrel/power_on_test.txt");
        environment.usbDeviceFolder = dir.file("usb");
        environment.sleepMs = [this](uint32_t ms) {
            sleeps.push_back(ms);
            if (onSleep)
                onSleep(ms);
        };
        ASSERT_TRUE(platform::MakeFolder(dir.file("usb")));
        theApp.m_ini_path = dir.file("Vantelis.ini");
    }
    void TearDown() override
    {
        ResetPowerCheckSettings();
        theApp.m_ini_path.clear();
        SetLogDataDirectory("");
    }

    void AddDevice(const std::string &name, const Attributes &attributes)
    {
        const std::string folder = dir.file("usb/" + name);
        ASSERT_TRUE(platform::MakeFolder(folder));
        for (const auto &[key, value] : attributes)
            WriteFileBytes(folder + "/" + key, value + "\n");
    }
    void RemoveDevice(const std::string &name) { std::filesystem::remove_all(dir.file("usb/" + name)); }

    TempDir dir;
    ScopedFakeUi ui;
    std::vector<uint32_t> sleeps;
    std::function<void(uint32_t)> onSleep;
};

TEST(UsbReportLineTest, FieldAndValueRulesIgnoreCaseAndBlanks)
{
    struct Case
    {
        int kind;
        const char *line;
        bool present;
    };
    const Case cases[] = {
        {kUsbInstrument, "Description       : Generic SuperSpeed USB Hub", true},
        {kUsbInstrument, "  DESCRIPTION:generic superspeed usb hub", true},
        {kUsbInstrument, "Device Description : Generic SuperSpeed USB Hub", true},
        {kUsbInstrument, "Description : Generic USB Hub", false},
        {kUsbInstrument, "Product : Generic SuperSpeed USB Hub", false},
        // Only the part between the first and the second ':' is the value.
        {kUsbInstrument, "Description : Hub : Generic SuperSpeed USB Hub", false},
        {kUsbInstrument, "Generic SuperSpeed USB Hub", false},
        {kUsbCamera, "Description : PixeLINK PL-D755MU", true},
        {kUsbCamera, "description:BASLER acA1920-40um", true},
        {kUsbCamera, "Device Description : PixeLINK PL-D755MU", false},
        {kUsbCamera, "Manufacturer : Basler", false},
        {kUsbCamera, "Description : Logitech HD Webcam", false},
        {kUsbCamera, "Description", false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(UsbReportLineMatches(c.kind, c.line), c.present) << c.kind << " " << c.line;
}

// Each fixture lists the devices present; the decisions follow from which of them is a
// non-root SuperSpeed hub or a camera of a supported make.
TEST_F(PowerCheckTest, DeviceListingsGiveTheDecisions)
{
    struct Case
    {
        const char *name;
        std::vector<std::pair<std::string, Attributes>> devices;
        bool instrument;
        bool camera;
    };
    const std::vector<Case> cases = {
        {"nothing", {}, false, false},
        // Every USB 3 controller has a SuperSpeed root hub; it must not count as the instrument.
        {"root hubs only", {{"usb1", RootHub("480")}, {"usb2", RootHub("5000")}}, false, false},
        {"root hub under another name", {{"3-0", RootHub("5000")}}, false, false},
        {"instrument hub", {{"usb2", RootHub("5000")}, {"2-1", SuperSpeedHub()}}, true, false},
        {"usb 2 hub", {{"1-1", HighSpeedHub()}}, false, false},
        {"hub and basler camera",
         {{"2-1", SuperSpeedHub()}, {"2-1.2", Camera("Basler", "acA1920-40um")}, {"2-1.2:1.0", {}}},
         true,
         true},
        {"pixelink by product name", {{"1-4", Camera("", "PixeLINK PL-D755MU")}}, false, true},
        {"other camera",
         {{"2-1", SuperSpeedHub()}, {"1-3", Camera("Logitech", "HD Webcam C920")}},
         true,
         false},
    };
    for (const Case &c : cases) {
        std::filesystem::remove_all(dir.file("usb"));
        ASSERT_TRUE(platform::MakeFolder(dir.file("usb")));
        for (const auto &[name, attributes] : c.devices)
            AddDevice(name, attributes);
        EXPECT_EQ(CheckUsbDevicePresent(kUsbInstrument, true), c.instrument) << c.name;
        EXPECT_EQ(CheckUsbDevicePresent(kUsbCamera, false), c.camera) << c.name;
    }
}

TEST_F(PowerCheckTest, ACheckWithoutListingReadsTheLastReport)
{
    AddDevice("2-1.2", Camera("Basler", "acA1920-40um"));
    EXPECT_FALSE(CheckUsbDevicePresent(kUsbCamera, false)) << "no report yet";
    EXPECT_TRUE(CheckUsbDevicePresent(kUsbCamera, true));
    EXPECT_EQ(sleeps, std::vector<uint32_t>{1000});
    RemoveDevice("2-1.2");
    EXPECT_TRUE(CheckUsbDevicePresent(kUsbCamera, false));
    EXPECT_FALSE(CheckUsbDevicePresent(kUsbCamera, true));
    // Another kind only needs the report to open.
    EXPECT_TRUE(CheckUsbDevicePresent(3, false));
}

TEST_F(PowerCheckTest, AChecksThatCannotBeMadeCountAsPresent)
{
    // No device folder: the listing cannot be taken.
    std::filesystem::remove_all(dir.file("usb"));
    EXPECT_TRUE(CheckUsbDevicePresent(kUsbInstrument, true));
    EXPECT_TRUE(CheckUsbDevicePresent(kUsbCamera, true));
    // The company folder cannot be made: a file stands in its place.
    std::filesystem::remove_all(dir.file("Quorvane"));
    WriteFileBytes(dir.file("Quorvane"), "x");
    EXPECT_TRUE(CheckUsbDevicePresent(kUsbCamera, false));
    EXPECT_TRUE(sleeps.empty());
}

TEST_F(PowerCheckTest, PoweredInstrumentAndCameraGoOnWithoutPrompts)
{
    AddDevice("2-1", SuperSpeedHub());
    AddDevice("2-1.2", Camera("Basler", "acA1920-40um"));
    EXPECT_TRUE(CheckInstrumentPower());
    EXPECT_TRUE(ui->Messages().empty());
    // One listing, then the final pause.
    EXPECT_EQ(sleeps, (std::vector<uint32_t>{1000, 2000}));
}

TEST_F(PowerCheckTest, InstrumentOffPromptsTwiceThenAsks)
{
    for (int answer : {platform::ui::IdYes, platform::ui::IdNo}) {
        sleeps.clear();
        ui->Clear();
        ui->QueueMessageAnswer(platform::ui::IdOk);
        ui->QueueMessageAnswer(platform::ui::IdOk);
        ui->QueueMessageAnswer(answer);
        EXPECT_EQ(CheckInstrumentPower(), answer == platform::ui::IdYes);
        const auto messages = ui->Messages();
        ASSERT_EQ(messages.size(), 3u);
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(messages[i].text, "The KD4 power seems to be off.  Please turn on the KD4 power and "
                                        "then click OK button below.");
            EXPECT_EQ(messages[i].flags, platform::ui::MbOk | platform::ui::MbIconWarning);
        }
        EXPECT_EQ(messages[2].text, "The KD4 power was not detected.  Do you want to continue anyway?");
        EXPECT_EQ(messages[2].flags, platform::ui::MbYesNo | platform::ui::MbIconQuestion);
        // Three listings with a pause after each prompt; no camera check follows.
        EXPECT_EQ(sleeps, (std::vector<uint32_t>{1000, 1000, 1000, 1000, 1000}));
    }
}

TEST_F(PowerCheckTest, InstrumentSwitchedOnDuringThePromptIsAccepted)
{
    // The hub appears while the operator reads the first prompt.
    onSleep = [this](uint32_t) {
        if (!ui->Messages().empty() && !std::filesystem::exists(dir.file("usb/2-1")))
            AddDevice("2-1", SuperSpeedHub());
    };
    AddDevice("2-1.2", Camera("PixeLINK", "PL-D755MU"));
    WriteFileBytes(dir.file("Vantelis.ini"), "[ExperimentSettings]\r\nCameraType=Pixelink\r\n");
    EXPECT_TRUE(CheckInstrumentPower());
    EXPECT_EQ(ui->Messages().size(), 1u);
    // The instrument had to be switched on, so this camera make gets its extra start time.
    EXPECT_EQ(sleeps, (std::vector<uint32_t>{1000, 1000, 1000, 2000, 15000}));
}

TEST_F(PowerCheckTest, CameraRetriesAndTheExtraWait)
{
    struct Case
    {
        const char *cameraType;
        int appearsAtRetry; // 0: never
        bool extraWait;
    };
    const Case cases[] = {
        {"Pixelink", 3, true},
        {"pixelink", 3, false}, // the make is compared exactly
        {"Basler", 3, false},
        {"Pixelink", 0, false}, // a camera that never comes does not stop the start-up
    };
    for (const Case &c : cases) {
        RemoveDevice("2-1.2");
        AddDevice("2-1", SuperSpeedHub());
        sleeps.clear();
        WriteFileBytes(dir.file("Vantelis.ini"),
                       std::string("[ExperimentSettings]\r\nCameraType=") + c.cameraType + "\r\n");
        int retries = 0;
        onSleep = [&](uint32_t ms) {
            if (ms == 2000 && ++retries == c.appearsAtRetry)
                AddDevice("2-1.2", Camera("PixeLINK", "PL-D755MU"));
        };
        EXPECT_TRUE(CheckInstrumentPower());
        EXPECT_TRUE(ui->Messages().empty());

        std::vector<uint32_t> expected{1000};
        const int passes = c.appearsAtRetry ? c.appearsAtRetry : 15;
        for (int i = 0; i < passes; ++i) {
            expected.push_back(2000);
            expected.push_back(1000);
        }
        expected.push_back(2000);
        if (c.extraWait)
            expected.push_back(15000);
        EXPECT_EQ(sleeps, expected) << c.cameraType << " " << c.appearsAtRetry;
    }
}

} // namespace
} // namespace vantelis::test
