// The commands the dispatcher carries out itself: waits, the capture period and count, the
// in-memory background images, device availability, windows opened through the main window,
// display switches of the image views and the digital-line checks.
#include "RecordingCommand.h"
#include "ScriptFixture.h"
#include "app/AppGlobals.h"
#include "app/BackgroundImages.h"
#include "app/CommandIds.h"
#include "app/GuiSeam.h"
#include "app/IdleQueues.h"
#include "app/ViewGlobals.h"
#include "platform/Clock.h"
#include "platform/Sync.h"
#include "platform/Ui.h"
#include "script/CommandTable.h"
#include "script/ScriptRuntime.h"
#include "support/FakeCamera.h"
#include "support/FakeUi.h"
#include "support/ServiceFakes.h"

#include <gmock/gmock.h>

#include <opencv2/core.hpp>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

using ::testing::EndsWith;
using vantelis::test::ReadFileBytes;
using vantelis::test::WriteFileBytes;

namespace {

const Variable &Find(const VariableList &variables, const char *name)
{
    size_t index = 0;
    EXPECT_TRUE(FindVariable(variables, name, index)) << name;
    return variables[index];
}

// Records the commands posted to the main window.
class RecordingFramework : public AppFramework
{
  public:
    bool PrepareFramework(std::string &) override { return true; }
    DocumentTemplate *CreateDocumentTemplate() override { return nullptr; }
    bool CreateMainFrame() override { return true; }
    bool HasMainWindow() const override { return mainWindow; }
    void PostCommand(int commandId, intptr_t parameter) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        posted.push_back({commandId, parameter});
    }
    bool SaveReferenceImage(const std::string &, std::string &, bool) override { return false; }
    void WakeIdle() override { ++wakes; }
    bool FrameworkIdle(int32_t) override { return false; }
    void ExitFramework() override {}

    std::vector<std::pair<int, intptr_t>> Posted()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return posted;
    }

    bool mainWindow = true;
    std::atomic<int> wakes{0};
    std::mutex mutex;
    std::vector<std::pair<int, intptr_t>> posted;
};

// A capture of every active image type: types 1 and 3 are active and filled with their number,
// or the capture fails after filling them (the capture code may leave images behind).
class BackgroundDevices : public vantelis::test::StubAllDevices
{
  public:
    bool CaptureSingleImageSet(EString &error, int, cv::Mat **images) override
    {
        ++captures;
        images[0] = new cv::Mat(4, 4, CV_16UC1, cv::Scalar(1));
        images[2] = new cv::Mat(4, 4, CV_16UC1, cv::Scalar(3));
        if (fail) {
            error.Assign("capture failed");
            return false;
        }
        return true;
    }
    bool LoadDigitalIoMapping(EString &error) override
    {
        ++mappings;
        error.Assign("mapping refused");
        return false;
    }
    bool RunExperimentSettingsDialog() override
    {
        ++dialogs;
        return false;
    }
    bool fail = false;
    int captures = 0;
    int mappings = 0;
    int dialogs = 0;
};

// An operator screen whose window exists and which records the live-image stop time.
class StoppingScreen : public vantelis::test::StubOperatorScreen
{
  public:
    StoppingScreen() { screen.Create(true); }
    void SetLiveImageStopTime(const platform::LocalTime &when) override { stops.push_back(when); }
    ModelessWindow &Screen() override { return screen; }
    vantelis::test::CallLog log;
    vantelis::test::RecordingWindow screen{"CustomerUI", log};
    std::vector<platform::LocalTime> stops;
};

class DispatcherCommandsTest : public ScriptFixture
{
  protected:
    void SetUp() override
    {
        ScriptFixture::SetUp();
        m_oldSettings = _settings_ini_path;
        _settings_ini_path = m_dir.file("Plexorin.ini");
        m_old = {theApp.m_analysis_mode, theApp.m_workflow_running, theApp.m_camera,
                 theApp.m_pump_port,     theApp.m_stage_port,       theApp.m_data_directory};
        theApp.m_analysis_mode = true;
        theApp.m_workflow_running = false;
        theApp.m_camera = nullptr;
        theApp.m_pump_port = 0;
        theApp.m_stage_port = 0;
        UnloadBackgroundImages(theApp);
        vantelis::test::InstallDeviceFakes(m_devices);
        m_oldFramework = SetFramework(m_framework);
        SetInvalidateAllViewsHook([this] { ++m_repaints; });
        _roi_hidden = false;
        _draw_projection_below_roi = false;
        _draw_projection_right_of_roi = false;
        _show_video_dialog_request = false;
    }
    void TearDown() override
    {
        SetInvalidateAllViewsHook(nullptr);
        SetFramework(m_oldFramework);
        UninstallDeviceServices();
        InstallOperatorScreenServices(nullptr);
        UnloadBackgroundImages(theApp);
        _roi_hidden = false;
        _draw_projection_below_roi = false;
        _draw_projection_right_of_roi = false;
        _show_video_dialog_request = false;
        theApp.m_analysis_mode = m_old.analysis;
        theApp.m_workflow_running = m_old.workflow;
        theApp.m_camera = m_old.camera;
        theApp.m_pump_port = m_old.pump;
        theApp.m_stage_port = m_old.stage;
        theApp.m_data_directory = m_old.data;
        _settings_ini_path = m_oldSettings;
        ScriptFixture::TearDown();
    }
    bool Loads(const std::string &text, EString &error)
    {
        Script loader;
        return Load(loader, WriteScript("load.scr", text), error);
    }
    bool Run(const std::string &text, EString &error, VariableList &variables)
    {
        Script instance;
        return LoadAndRun(instance, text, error, &variables);
    }
    // Runs text and expects it to load and then fail with message.
    void ExpectRunFailure(const std::string &text, const std::string &message)
    {
        SCOPED_TRACE(text);
        EString error;
        EXPECT_TRUE(Loads(text, error)) << error.c_str();
        VariableList variables;
        EXPECT_FALSE(Run(text, error, variables));
        EXPECT_THAT(error.c_str(), EndsWith(message));
    }
    std::string Settings() const { return ReadFileBytes(_settings_ini_path); }

    struct Saved
    {
        bool analysis = false;
        bool workflow = false;
        CameraInterface *camera = nullptr;
        int32_t pump = 0;
        int32_t stage = 0;
        std::string data;
    } m_old;
    std::string m_oldSettings;
    std::shared_ptr<BackgroundDevices> m_devices = std::make_shared<BackgroundDevices>();
    std::shared_ptr<RecordingFramework> m_framework = std::make_shared<RecordingFramework>();
    std::shared_ptr<AppFramework> m_oldFramework;
    std::atomic<int> m_repaints{0};
};

TEST_F(DispatcherCommandsTest, RangeChecksLoadAndFailWhenTheLineRuns)
{
    const struct
    {
        const char *text;
        const char *message;
    } cases[] = {
        {"Wait(0);", "Wait() seconds must be between 1 and 36000"},
        {"Wait(-1);", "Wait() seconds must be between 1 and 36000"},
        {"Wait(36001);", "Wait() seconds must be between 1 and 36000"},
        {"SetImageCapturePeriodMS(-1);",
         "SetImageCapturePeriodMS () : value must be between 0 and 3600000, where zero indicates that only a "
         "single image will be captured"},
        {"SetImageCapturePeriodMS(3600001);",
         "SetImageCapturePeriodMS () : value must be between 0 and 3600000, where zero indicates that only a "
         "single image will be captured"},
        {"SetImageCaptureCount(0);", "SetImageCaptureCount() : value must be between 1 and 10000"},
        {"SetImageCaptureCount(10001);", "SetImageCaptureCount() : value must be between 1 and 10000"},
        {"DIO_ConfigureLine(2, 0, 1);", "iport must be either 0 or 1"},
        {"DIO_ConfigureLine(0, 8, 1);", "line number must be between 0 and 7 for port=0"},
        {"DIO_ConfigureLine(1, 4, 1);", "line number must be between 0 and 3 for port=1"},
        {"int v = 3;\nDIO_GetLineConfiguration(1, -1, v);", "line number must be between 0 and 3 for port=1"},
        {"ZaberControlPanel();", "Zaber is not initialized."},
    };
    WriteFileBytes(_settings_ini_path, "[ExperimentSettings]\r\nImageCaptureCount=5\r\n");
    for (const auto &c : cases)
        ExpectRunFailure(std::string(c.text) + "\n", c.message);
    EXPECT_EQ(Settings(), "[ExperimentSettings]\r\nImageCaptureCount=5\r\n");
    EXPECT_TRUE(m_framework->Posted().empty());
}

TEST_F(DispatcherCommandsTest, CapturePeriodAndCountLiveInTheSettingsFile)
{
    VariableList variables;
    EString error;
    ASSERT_TRUE(
        Run("SetImageCapturePeriodMS(0);\nSetImageCaptureCount(10000);\nSetImageCapturePeriodMS(3600000);\n"
            "int p;\nint c;\nGetImageCapturePeriodMS(p);\nGetImageCaptureCount(c);\n",
            error, variables))
        << error.c_str();
    EXPECT_EQ(Settings(),
              "[ExperimentSettings]\r\nImageCapturePeriod=3600000\r\nImageCaptureCount=10000\r\n");
    EXPECT_EQ(Find(variables, "p").integer, 3600000);
    EXPECT_EQ(Find(variables, "c").integer, 10000);

    // Text that gives no number reads as the fallbacks; a double variable is left as it is.
    const struct
    {
        const char *settings;
        int period;
        int count;
    } reads[] = {
        {"[ExperimentSettings]\r\nImageCapturePeriod=\r\nImageCaptureCount=\r\n", 1000, 10},
        {"[ExperimentSettings]\r\nImageCapturePeriod=fast\r\nImageCaptureCount=x7\r\n", 1000, 10},
        {"[Other]\r\n", 1000, 10},
        {"[ExperimentSettings]\r\nImageCapturePeriod= 250ms\r\nImageCaptureCount=-3\r\n", 250, -3},
    };
    for (const auto &r : reads) {
        SCOPED_TRACE(r.settings);
        WriteFileBytes(_settings_ini_path, r.settings);
        VariableList v;
        ASSERT_TRUE(Run("int p = 1;\nint c = 1;\ndouble d = 0.5;\nGetImageCapturePeriodMS(p);\n"
                        "GetImageCaptureCount(c);\nGetImageCaptureCount(d);\n",
                        error, v))
            << error.c_str();
        EXPECT_EQ(Find(v, "p").integer, r.period);
        EXPECT_EQ(Find(v, "c").integer, r.count);
        EXPECT_DOUBLE_EQ(Find(v, "d").number, 0.5);
    }
}

TEST_F(DispatcherCommandsTest, ALiteralInAResultPositionRefusesTheLoad)
{
    for (const char *text :
         {"GetImageCaptureCount(5);", "GetImageCapturePeriodMS(1);", "GetNumberOfBackgroundImagesLoaded(0);",
          "IsCameraAvailable(1);", "IsTecanPumpAvailable(1);", "DIO_GetLineConfiguration(0, 1, 2);"}) {
        SCOPED_TRACE(text);
        EString error;
        EXPECT_FALSE(Loads(std::string(text) + "\n", error));
        const std::string name = std::string(text).substr(0, std::string(text).find('('));
        const char *parameter = name == "DIO_GetLineConfiguration" ? "3" : "1";
        EXPECT_THAT(error.c_str(), EndsWith(name + "() - parameter " + parameter +
                                            " must be an int variable to receive the result."));
    }
    // A bad third DIO argument names its parameter.
    EString error;
    EXPECT_FALSE(Loads("DIO_ConfigureLine(0, 1, nothing);\n", error));
    EXPECT_THAT(error.c_str(), EndsWith("Variable \"nothing\" is not defined, expecting int parameter 3"));
    // Only the validation: the result variable keeps its value.
    VariableList variables;
    ASSERT_TRUE(
        Run("int v = 42;\nDIO_ConfigureLine(0, 7, 1);\nDIO_GetLineConfiguration(0, 5, v);\nDIO_Reset();\n"
            "ResetDIO(anything at all);\nDIO_RestoreDefaultState();\n",
            error, variables))
        << error.c_str();
    EXPECT_EQ(Find(variables, "v").integer, 42);
    EXPECT_EQ(m_devices->mappings, 0); // analysis mode: the mapping is not read again

    theApp.m_analysis_mode = false;
    ExpectRunFailure("DIO_RestoreDefaultState();\n", "mapping refused");
    EXPECT_EQ(m_devices->mappings, 1);
}

TEST_F(DispatcherCommandsTest, DeviceAvailabilityFollowsTheCameraAndThePumpPort)
{
    vantelis::test::FakeCamera camera = vantelis::test::QuietCamera();
    const struct
    {
        CameraInterface *camera;
        bool initialised;
        int32_t pumpPort;
        int cameraResult;
        int pumpResult;
    } cases[] = {
        {nullptr, false, 0, 0, 0},
        {&camera, false, 3, 0, 1},
        {&camera, true, 0, 1, 0},
    };
    for (const auto &c : cases) {
        theApp.m_camera = c.camera;
        camera.initialized = c.initialised;
        theApp.m_pump_port = c.pumpPort;
        VariableList variables;
        EString error;
        ASSERT_TRUE(Run("int c = 7;\nint p = 7;\nIsCameraAvailable(c);\nIsTecanPumpAvailable(p);\n", error,
                        variables))
            << error.c_str();
        EXPECT_EQ(Find(variables, "c").integer, c.cameraResult);
        EXPECT_EQ(Find(variables, "p").integer, c.pumpResult);
    }
}

TEST_F(DispatcherCommandsTest, BackgroundCaptureKeepsTheOldImagesUntilNewOnesArrive)
{
    // Analysis mode, no camera: the capture fails with its text and nothing is captured.
    VariableList variables;
    EString error;
    ASSERT_TRUE(Run("int n = 7;\nGetNumberOfBackgroundImagesLoaded(n);\n", error, variables))
        << error.c_str();
    EXPECT_EQ(Find(variables, "n").integer, 0);
    ExpectRunFailure("CaptureBackgroundImagesToMemory();\n",
                     "Script::CaptureBackgroundImagesToMemory() - camara is not ready.");
    vantelis::test::FakeCamera camera = vantelis::test::QuietCamera();
    camera.initialized = false;
    theApp.m_camera = &camera;
    ExpectRunFailure("CaptureBackgroundImagesToMemory();\n",
                     "Script::CaptureBackgroundImagesToMemory() - camara is not ready.");
    EXPECT_EQ(m_devices->captures, 0);

    // While the workflow runs the script does not even load.
    camera.initialized = true;
    theApp.m_workflow_running = true;
    EXPECT_FALSE(Loads("CaptureBackgroundImagesToMemory();\n", error));
    EXPECT_THAT(error.c_str(),
                EndsWith("CaptureBackgroundImages() - Not available when experiment workflow is running."));
    theApp.m_workflow_running = false;

    // A failed capture leaves the images held before (types 2 and 4 here) in place.
    SetBackgroundImage(theApp, 2, cv::Mat(2, 2, CV_16UC1, cv::Scalar(20)));
    SetBackgroundImage(theApp, 4, cv::Mat(2, 2, CV_16UC1, cv::Scalar(40)));
    m_devices->fail = true;
    ExpectRunFailure("CaptureBackgroundImagesToMemory();\n", "capture failed");
    EXPECT_EQ(GetNumberOfBackgroundImagesLoaded(theApp), 2);
    EXPECT_EQ(GetBackgroundImage(theApp, 2).at<uint16_t>(0, 0), 20);
    EXPECT_EQ(GetBackgroundImage(theApp, 4).at<uint16_t>(0, 0), 40);

    // A successful one replaces all four: the active types 1 and 3, the others emptied.
    m_devices->fail = false;
    variables.clear();
    ASSERT_TRUE(Run("CaptureBackgroundImagesToMemory();\nint n;\nGetNumberOfBackgroundImagesLoaded(n);\n",
                    error, variables))
        << error.c_str();
    EXPECT_EQ(Find(variables, "n").integer, 2);
    EXPECT_EQ(GetBackgroundImage(theApp, 1).at<uint16_t>(0, 0), 1);
    EXPECT_TRUE(GetBackgroundImage(theApp, 2).empty());
    EXPECT_EQ(GetBackgroundImage(theApp, 3).at<uint16_t>(0, 0), 3);
    EXPECT_TRUE(GetBackgroundImage(theApp, 4).empty());
}

TEST_F(DispatcherCommandsTest, BackgroundFilesRoundTripThroughTheDataFolder)
{
    theApp.m_data_directory = m_dir.str();
    SetBackgroundImage(theApp, 3, cv::Mat(3, 5, CV_16UC1, cv::Scalar(333)));
    VariableList variables;
    EString error;
    ASSERT_TRUE(Run("SaveBackgroundImagesToFile();\n", error, variables)) << error.c_str();
    EXPECT_TRUE(std::filesystem::exists(BackgroundImageFile(theApp, 3)));
    UnloadBackgroundImages(theApp);
    ASSERT_TRUE(Run("LoadBackgroundImagesFromFile();\nint n;\nGetNumberOfBackgroundImagesLoaded(n);\n", error,
                    variables))
        << error.c_str();
    EXPECT_EQ(Find(variables, "n").integer, 1);
    EXPECT_EQ(GetBackgroundImage(theApp, 3).at<uint16_t>(2, 4), 333);
}

TEST_F(DispatcherCommandsTest, DisplaySwitchesRepaintOnlyWhenTheyChangeSomething)
{
    const struct
    {
        const char *line;
        bool hidden;
        bool below;
        bool right;
        int repaints;
    } steps[] = {
        {"ROI_Hide();", true, false, false, 1},
        {"ROI_Hide();", true, false, false, 1},
        {"ROI_Show();", false, false, false, 2},
        {"ROI_Show();", false, false, false, 2},
        {"ROI_DrawProjectionBelow(2);", false, true, false, 3},
        {"ROI_DrawProjectionBelow(1);", false, true, false, 3},
        {"ROI_DrawProjectionRightSide(-1);", false, true, true, 4},
        {"ROI_DrawProjectionBelow(0);", false, false, true, 5},
        {"ROI_DrawProjectionRightSide(0);", false, false, false, 6},
    };
    for (const auto &s : steps) {
        SCOPED_TRACE(s.line);
        VariableList variables;
        EString error;
        ASSERT_TRUE(Run(std::string(s.line) + "\n", error, variables)) << error.c_str();
        EXPECT_EQ(_roi_hidden.load(), s.hidden);
        EXPECT_EQ(_draw_projection_below_roi.load(), s.below);
        EXPECT_EQ(_draw_projection_right_of_roi.load(), s.right);
        EXPECT_EQ(m_repaints.load(), s.repaints);
    }
}

TEST_F(DispatcherCommandsTest, WindowsAreOpenedThroughTheMainWindow)
{
    auto screen = std::make_shared<StoppingScreen>();
    InstallOperatorScreenServices(screen);
    platform::SetFakeClock({2024, 2, 29, 4, 23, 59, 58, 999});
    VariableList variables;
    EString error;
    const bool ok =
        Run("ShowFluidicSystemState();\nOpenCreateVideoTool();\nStopLiveImageCapture();\n"
            "ShowExperimentSettings();\nStopRecordingWorkflow();\nMfgTest_RemoveAllSymbolsOverVideo();\n",
            error, variables);
    platform::ClearFakeClock();
    ASSERT_TRUE(ok) << error.c_str();
    EXPECT_EQ(m_framework->Posted(), (std::vector<std::pair<int, intptr_t>>{{cmd::kShowFluidicSystemState, 0},
                                                                            {cmd::kCloseLiveImage, 0}}));
    EXPECT_TRUE(_show_video_dialog_request.load());
    EXPECT_GE(m_framework->wakes.load(), 1);
    ASSERT_EQ(screen->stops.size(), 1u);
    EXPECT_EQ(screen->stops[0].hour, 23);
    EXPECT_EQ(screen->stops[0].millisecond, 999);
    EXPECT_EQ(m_devices->dialogs, 1); // succeeds however the dialog was closed
    EXPECT_EQ(m_repaints.load(), 1);  // the symbols' views

    // The stage panel needs the stage; without a main window the live image is not closed.
    theApp.m_stage_port = 4;
    m_framework->mainWindow = false;
    ASSERT_TRUE(Run("ZaberControlPanel();\nStopLiveImageCapture();\n", error, variables)) << error.c_str();
    EXPECT_EQ(m_framework->Posted().back(), (std::pair<int, intptr_t>{cmd::kZaberFocus, 0}));
    EXPECT_EQ(m_framework->Posted().size(), 3u);
    EXPECT_EQ(screen->stops.size(), 2u);

    // Argument lists are checked while loading.
    EXPECT_FALSE(Loads("ShowFluidicSystemState(1);\n", error));
    EXPECT_THAT(error.c_str(), EndsWith("missing )"));
    EXPECT_FALSE(Loads("ROI_Hide()\n", error));
}

// Whole runs on the script thread: the stop between the one-second steps of Wait.
class WaitRunTest : public DispatcherCommandsTest
{
  protected:
    void SetUp() override
    {
        DispatcherCommandsTest::SetUp();
        std::filesystem::create_directories(m_dir.path() / "LOG");
        m_oldUi = platform::ui::SetUi(m_ui);
    }
    void TearDown() override
    {
        EXPECT_TRUE(ShutdownScriptRuntime());
        platform::ui::SetUi(m_oldUi);
        DispatcherCommandsTest::TearDown();
    }
    static double Seconds(std::chrono::steady_clock::time_point from)
    {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
    }
    // Waits (bounded) for the handle's run to end; the time it ended.
    static std::chrono::steady_clock::time_point WaitUntilEnded(int handle)
    {
        for (int i = 0; i < 4000 && ScriptInstanceExists(handle); ++i)
            platform::SleepMs(2);
        EXPECT_FALSE(ScriptInstanceExists(handle));
        return std::chrono::steady_clock::now();
    }
    std::shared_ptr<vantelis::test::FakeUi> m_ui = std::make_shared<vantelis::test::FakeUi>();
    std::shared_ptr<platform::ui::UserInterface> m_oldUi;
};

TEST_F(WaitRunTest, AStopEndsALongWaitAtItsNextSecondWithoutAMessage)
{
    RecordingCommand after(cmd::InformOperator);
    EString error;
    const std::string path = WriteScript("wait.scr", "Wait(30);\nInformOperator(1);\n");
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(Script::RunScript(0, path.c_str(), error)) << error.c_str();
    platform::SleepMs(1000);
    const auto stop = std::chrono::steady_clock::now();
    ASSERT_TRUE(Script::StopScript(0));
    const auto ended = WaitUntilEnded(0);
    EXPECT_LE(std::chrono::duration<double>(ended - stop).count(), 1.2);
    EXPECT_LT(Seconds(start), 3.0);
    EXPECT_TRUE(m_ui->Messages().empty());
    EXPECT_TRUE(after.calls.empty());
}

TEST_F(WaitRunTest, AOneSecondWaitIsNotCutShortButNothingRunsAfterIt)
{
    // The stop comes once the run has reached the wait: on a busy machine the script's thread may
    // start later than any fixed delay.
    RecordingCommand before(cmd::PlaySound, true);
    RecordingCommand after(cmd::InformOperator);
    EString error;
    const std::string path = WriteScript("wait.scr", "PlaySound(\"go\");\nWait(1);\nInformOperator(1);\n");
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(Script::RunScript(0, path.c_str(), error)) << error.c_str();
    for (int i = 0; i < 2500 && before.runs == 0; ++i)
        platform::SleepMs(2);
    ASSERT_EQ(before.runs, 1);
    platform::SleepMs(100);
    ASSERT_TRUE(Script::StopScript(0));
    WaitUntilEnded(0);
    EXPECT_GE(Seconds(start), 0.95);
    EXPECT_TRUE(m_ui->Messages().empty());
    EXPECT_TRUE(after.calls.empty());

    // Unstopped, the second passes and the next line runs.
    ASSERT_TRUE(Script::RunScript(0, path.c_str(), error)) << error.c_str();
    WaitUntilEnded(0);
    EXPECT_EQ(after.calls, std::vector<std::string>{"1"});
}

} // namespace
