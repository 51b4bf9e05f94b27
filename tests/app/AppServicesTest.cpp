// Application services, the operator-screen default script and the subsystem placeholders.
#include "AppTestFixture.h"

#include "app/AppServices.h"
#include "app/DeviceServices.h"
#include "app/RunUserInterface.h"
#include "app/ToolServices.h"
#include "support/FakeCamera.h"

#include <gmock/gmock.h>

#include <regex>

namespace vantelis::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class AppServicesTest : public AppStartupFixture
{
  protected:
    AppServicesTest()
    {
        std::filesystem::create_directories(Data());
        m_app = std::make_unique<CPlexorinApp>();
        m_app->m_data_directory = Data();
        m_app->m_ini_path = DataFile("Plexorin.ini");
        m_app->m_analysis_mode = true;
        SetLogDataDirectory(Data().c_str());
        std::filesystem::create_directories(DataFile("LOG"));
    }
};

TEST_F(AppServicesTest, CartridgeRoiComesFromTheChannelRowsOfTheSettingsFile)
{
    WriteFileBytes(DataFile("Plexorin.ini"),
                   "[Cartridge]\r\nCartridgeUpperChannel=400\r\nCartridgeLowerChannel=1500\r\n");
    std::string other = DataFile("Other.ini");
    WriteFileBytes(other, "[Cartridge]\r\nCartridgeUpperChannel=10\r\nCartridgeLowerChannel=x\r\n");
    WriteFileBytes(DataFile("Empty.ini"), "[CalibrationSettings]\r\nimage_pixels_per_mm=1\r\n");
    // Rows at the ends of the 32-bit range: the region saturates rather than wrapping round.
    WriteFileBytes(
        DataFile("Extreme.ini"),
        "[Cartridge]\r\nCartridgeUpperChannel=2147483647\r\nCartridgeLowerChannel=-2147483648\r\n");
    WriteFileBytes(
        DataFile("Inverted.ini"),
        "[Cartridge]\r\nCartridgeUpperChannel=-2147483648\r\nCartridgeLowerChannel=2147483647\r\n");

    struct Case
    {
        int flag;
        std::string path;
        std::vector<int32_t> rect;
    };
    const Case cases[] = {
        {0, "", {824, 500, 1624, 1400}},     // empty path: the main settings file
        {1, "", {1844, 500, 2444, 1400}},    // any other flag: the narrower region
        {7, other, {1844, 110, 2444, -100}}, // an unparsable row counts as 0
        {0, DataFile("Empty.ini"), {824, 100, 1624, -100}},
        {0, DataFile("Extreme.ini"), {824, INT32_MAX, 1624, INT32_MIN}},
        {1, DataFile("Inverted.ini"), {1844, INT32_MIN + 100, 2444, INT32_MAX - 100}},
    };
    for (const Case &c : cases) {
        int32_t rect[4] = {-9, -9, -9, -9};
        m_app->GetCartridgeRoi(c.flag, c.path, rect);
        EXPECT_THAT(std::vector<int32_t>(rect, rect + 4), ::testing::ElementsAreArray(c.rect)) << c.path;
    }
}

TEST_F(AppServicesTest, ExperimentSettingsFileOfAFolderOrItsParent)
{
    std::string experiment = DataFile("Exp");
    std::filesystem::create_directories(experiment + "/Images");
    WriteFileBytes(experiment + "/ExperimentSettings.ini", "[A]\r\n");
    std::string fromWindows = DataFile("FromWindows");
    std::filesystem::create_directories(fromWindows + "/Images");
    WriteFileBytes(fromWindows + "/experimentsettings.INI", "[B]\r\n");

    struct Case
    {
        std::string folder;
        std::string expected;
    };
    const Case cases[] = {
        {experiment, experiment + "/ExperimentSettings.ini"},
        {experiment + "/", experiment + "/ExperimentSettings.ini"},
        // The parent's file, as built, not normalised.
        {experiment + "/Images", experiment + "/Images/../ExperimentSettings.ini"},
        // Files from Windows instruments may differ in letter case.
        {fromWindows, fromWindows + "/experimentsettings.INI"},
        {fromWindows + "/Images", fromWindows + "/Images/../experimentsettings.INI"},
        {DataFile("Nowhere"), ""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(std::string(GetExperimentSettingsIniPath(EString(c.folder.c_str())).c_str()), c.expected)
            << c.folder;
}

// A camera that names itself and answers every query.
FakeCamera NamedCamera()
{
    FakeCamera camera;
    camera.model = "acA2440";
    camera.modelError = "GetModelName() - camera did not answer.";
    camera.serial = "1234";
    camera.temperature = 40.0;
    return camera;
}

// The camera services read theApp, as every caller does.
class CameraTimingTest : public AppServicesTest
{
  protected:
    CameraTimingTest()
    {
        m_savedIni = theApp.m_ini_path;
        theApp.m_ini_path = DataFile("Plexorin.ini");
        theApp.m_camera = &m_camera;
        theApp.m_min_capture_spacing_ms = 100;
    }
    ~CameraTimingTest() override
    {
        theApp.m_camera = nullptr;
        theApp.m_ini_path = m_savedIni;
        theApp.m_min_capture_spacing_ms = 100;
    }
    void Settings(const std::string &lines)
    {
        WriteFileBytes(DataFile("Plexorin.ini"), "[acA2440 Settings]\r\n" + lines);
    }

    FakeCamera m_camera = NamedCamera();
    std::string m_savedIni;
};

TEST_F(CameraTimingTest, CaptureSpacingIsKeptWithin100And1000)
{
    struct Case
    {
        const char *value;
        int32_t expected;
    };
    const Case cases[] = {{"50", 100},  {"5000", 1000}, {"250", 250},
                          {"100", 100}, {"1000", 1000}, {"abc", 100}};
    for (const Case &c : cases) {
        Settings(std::string("min_time_between_image_capture_events_ms=") + c.value + "\r\n");
        theApp.m_min_capture_spacing_ms = 555;
        GetMinTimeBetweenCaptureEvents();
        EXPECT_EQ(theApp.m_min_capture_spacing_ms, c.expected) << c.value;
    }
    // Without a camera, or when it cannot tell its model, the member keeps its value.
    m_camera.model.reset();
    theApp.m_min_capture_spacing_ms = 555;
    GetMinTimeBetweenCaptureEvents();
    EXPECT_EQ(theApp.m_min_capture_spacing_ms, 555);
    theApp.m_camera = nullptr;
    GetMinTimeBetweenCaptureEvents();
    EXPECT_EQ(theApp.m_min_capture_spacing_ms, 555);
}

TEST_F(CameraTimingTest, RefreshPeriodFromTheCameraModelsSettings)
{
    std::string error;
    Settings("RefreshPeriodMs=5\r\n");
    EXPECT_EQ(GetRefreshPeriodMs(error), 5); // no range is applied
    Settings("RefreshPeriodMs=fast\r\n");
    EXPECT_EQ(GetRefreshPeriodMs(error), 100);
    Settings("");
    EXPECT_EQ(GetRefreshPeriodMs(error), 100);
    EXPECT_EQ(error, "");

    m_camera.model.reset();
    EXPECT_EQ(GetRefreshPeriodMs(error), 0);
    EXPECT_EQ(error, "GetModelName() - camera did not answer.");

    theApp.m_camera = nullptr;
    error.clear();
    EXPECT_EQ(GetRefreshPeriodMs(error), 0);
    EXPECT_EQ(error, "");
}

TEST_F(AppServicesTest, OneSerialFailurePostsOneReinitialiseCommand)
{
    m_framework->m_mainWindow = true;
    SerialPortFailureCallback = OnSerialPortFailure;
    // Two transactions fail before the main frame has handled the first command.
    for (int com : {4, 5}) {
        if (SerialPortFailureFn callback = SerialPortFailureCallback.load()) {
            EXPECT_EQ(callback(com), 1);
        }
    }
    EXPECT_THAT(m_calls, ElementsAre("PostCommand:1364:4"));
    EXPECT_EQ(SerialPortFailureCallback.load(), nullptr);

    // Without a main window nothing is posted, and the callback is still cleared.
    m_calls.clear();
    m_framework->m_mainWindow = false;
    SerialPortFailureCallback = OnSerialPortFailure;
    EXPECT_EQ(OnSerialPortFailure(3), 1);
    EXPECT_TRUE(m_calls.empty());
    EXPECT_EQ(SerialPortFailureCallback.load(), nullptr);
}

TEST_F(AppServicesTest, BuildBannerNamesProductVersionAndBuildTime)
{
    std::string savedVersion = theApp.m_version;
    theApp.m_version = "1.2.3.0";
    std::string banner = BuildBanner();
    theApp.m_version = savedVersion;
    EXPECT_TRUE(std::regex_match(
        banner,
        std::regex(R"(Quorvane Vantelis 1\.2\.3\.0 \([A-Z][a-z]{2} [ 0-9]\d \d{4} \d\d:\d\d:\d\d\))")))
        << banner;
}

TEST_F(AppServicesTest, DefaultOperatorScriptName)
{
    struct Case
    {
        bool analysis;
        const char *setting; // null: no [CustomerUI] section
        const char *expected;
    };
    const Case cases[] = {
        {true, nullptr, "DefaultAnalysisUI.scr"},
        {true, "", "DefaultAnalysisUI.scr"},
        {true, "DefaultCustomerUI.scr", "DefaultAnalysisUI.scr"},
        {true, "defaultcustomerui.SCR", "DefaultAnalysisUI.scr"},
        {true, "Training.scr", "Training.scr"},
        {false, "", "DefaultCustomerUI.scr"},
        {false, "defaultcustomerui.SCR", "defaultcustomerui.SCR"},
        {false, "Training.scr", "Training.scr"},
    };
    for (const Case &c : cases) {
        std::string text =
            c.setting ? std::string("[CustomerUI]\r\nDefaultScript=") + c.setting + "\r\n" : "";
        WriteFileBytes(DataFile("Plexorin.ini"), text);
        m_app->m_analysis_mode = c.analysis;
        EXPECT_EQ(DefaultOperatorScriptName(*m_app), c.expected) << (c.setting ? c.setting : "(none)");
    }
}

TEST_F(AppServicesTest, RunUserInterfaceCreatesTheScreenAndReloadsTheScriptFoundIgnoringCase)
{
    TempDir program;
    std::filesystem::create_directories(program.file("CustomerUI/Scripts"));
    WriteFileBytes(program.file("CustomerUI/Scripts/training.SCR"), "x\r\n");
    m_app->m_customer_ui_directory.Assign(program.file("CustomerUI").c_str());
    WriteFileBytes(DataFile("Plexorin.ini"), "[CustomerUI]\r\nDefaultScript=Training.scr\r\n");

    RunUserInterface(*m_app);
    EXPECT_THAT(m_calls, ElementsAre("CustomerUI.Create(hidden)",
                                     "Reload:" + program.file("CustomerUI/Scripts/training.SCR")));

    // A screen that exists is reloaded without a second window.
    m_calls.clear();
    RunUserInterface(*m_app);
    EXPECT_THAT(m_calls, ElementsAre("Reload:" + program.file("CustomerUI/Scripts/training.SCR")));
}

TEST_F(AppServicesTest, SerialDetectionInAnalysisModeWritesItsReportAndOpensNoPort)
{
    WriteFileBytes(DataFile("Plexorin.ini"), "[TecanCentris]\r\nInitializeTecanPumpsOnStartup=false\r\n");
    m_app->m_version = "1.0.0.0";
    m_app->m_pump_port = 3;
    m_app->m_stage_port = 4;

    // A re-detection (no open log) writes its own daily log and starts from no ports; pumps not
    // looked for and no stage asked for: the result is true.
    EXPECT_TRUE(m_app->InitializeSerialPortDevices(nullptr));
    EXPECT_EQ(m_app->m_pump_port, 0);
    EXPECT_EQ(m_app->m_stage_port, 0);
    std::vector<platform::DirEntry> logs =
        platform::ListFolder(DataFile("LOG"), "ReInitializeSerialPortDevices_*.log");
    ASSERT_EQ(logs.size(), 1u);
    std::string text = ReadFileBytes(DataFile("LOG/" + logs[0].name));
    EXPECT_THAT(text, ::testing::StartsWith("Quorvane Vantelis version 1.0.0.0\r\nTime\t"));
    EXPECT_THAT(text, HasSubstr("\r\n# ComputerName="));
    EXPECT_THAT(text, ::testing::EndsWith("Tecan pumps not detected\r\n"));
    EXPECT_FALSE(Called("DetectSerialDevices"));

    // Pumps looked for (any value but FALSE) and not found: false.
    WriteFileBytes(DataFile("Plexorin.ini"), "[TecanCentris]\r\nInitializeTecanPumpsOnStartup=TRUE\r\n");
    EXPECT_FALSE(m_app->InitializeSerialPortDevices(nullptr));
    WriteFileBytes(DataFile("Plexorin.ini"), "[TecanCentris]\r\nInitializeTecanPumpsOnStartup=FALSE\r\n["
                                             "Zaber]\r\nInitializeZaberOnStartup=true\r\n");
    EXPECT_FALSE(m_app->InitializeSerialPortDevices(nullptr));

    // Outside analysis mode the device code scans.
    m_app->m_analysis_mode = false;
    EXPECT_TRUE(m_app->InitializeSerialPortDevices(nullptr));
    EXPECT_TRUE(Called("DetectSerialDevices"));
}

// With the placeholders in place, every action says that its subsystem is not available.
TEST_F(AppServicesTest, PlaceholdersReportNotAvailable)
{
    InstallExperimentServices(nullptr);
    UninstallDeviceServices();
    InstallScriptServices(nullptr);
    InstallOperatorScreenServices(nullptr);
    RemoveToolServices();

    EString error;
    EXPECT_FALSE(Experiment().RunExperimentAnalysis(1, "/exp", false, false, "out", error));
    EXPECT_STREQ(error.c_str(),
                 "RunExperimentAnalysis() - experiment analysis and video are not available in this build.");
    EXPECT_FALSE(Capture().LoadCartridgeTypes(error));
    EXPECT_STREQ(error.c_str(),
                 "LoadCartridgeTypes() - the instrument device code is not available in this build.");
    EXPECT_FALSE(DeviceSettings().LoadDigitalIoMapping(error));
    // The ROI list is built; without tool services installed there is simply no list.
    int32_t rect[4] = {1, 2, 3, 4};
    const std::string before = error.c_str();
    EXPECT_FALSE(Rois().FindRoiByName("Channel", rect, error));
    EXPECT_EQ(error.c_str(), before);
    EXPECT_EQ(rect[3], 4);
    EXPECT_FALSE(ProjectionTool().SaveCalibrationLine("UpperMagnet", 120));
    std::string reloadError;
    EXPECT_FALSE(OperatorScreen().Reload("/p/CustomerUI/Scripts/DefaultAnalysisUI.scr", reloadError));
    EXPECT_EQ(reloadError, "CustomerUI::Reload() - the operator screen is not available in this build.");

    // Windows never come to exist; a refused window is written to the error log once.
    for (int i = 0; i < 2; ++i) {
        EXPECT_FALSE(OperatorScreen().ScriptsDialog().Create(false));
        EXPECT_FALSE(OperatorScreen().ScriptsDialog().HasWindow());
    }
    EXPECT_FALSE(Experiment().VideoTool().HasWindow());
    std::string log = ErrorLogText();
    // The projection and fractionation tools are built: no placed line is called missing.
    EXPECT_EQ(log.find("SaveCalibrationLine()"), std::string::npos);
    // The operator-screen scripts window is built: without the screen's services it simply has
    // no window, and nothing calls it missing.
    EXPECT_EQ(log.find("CUIScriptsDlg::Create()"), std::string::npos);

    // Queries answer the empty state.
    std::string path = "unchanged";
    EXPECT_FALSE(Scripts().IsScriptRunning(0, path));
    EXPECT_EQ(path, "unchanged");
    EXPECT_TRUE(Scripts().ScriptInstances().empty());
}

// The start-up with the operator screen's placeholder: RunOnStartup "true" asks it to start and
// its refusal is in the error log; "TRUE " does not ask.
TEST_F(AppServicesTest, RunOnStartupReachesTheOperatorScreenPlaceholder)
{
    InstallOperatorScreenServices(nullptr);
    const char *refusal = "CustomerUI::Reload() - the operator screen is not available in this build.";
    for (const char *value : {"TRUE ", "true"}) {
        SCOPED_TRACE(value);
        m_app.reset();
        std::filesystem::remove_all(Data());
        std::filesystem::create_directories(Data());
        WriteFileBytes(DataFile("Plexorin.ini"),
                       ValidSettingsText(std::string("[CustomerUI]\r\nRunOnStartup=") + value + "\r\n"));
        ASSERT_TRUE(Start());
        EXPECT_EQ(ErrorLogText().find(refusal) != std::string::npos, std::string(value) == "true");
    }
}

} // namespace
} // namespace vantelis::test
