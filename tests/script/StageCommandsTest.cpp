// The stage, focus-stack and temperature commands without a stage (analysis mode) and against the
// simulated stage with a fake camera, and the focus stack's folder and file names.
#include "script/commands/StageCommands.h"
#include "ScriptFixture.h"
#include "app/DeviceServices.h"
#include "devices/ImageCapture.h"
#include "devices/StageFixture.h"
#include "platform/Files.h"
#include "script/CommandTable.h"
#include "support/FakeCamera.h"

#include <gmock/gmock.h>
#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

using ::testing::HasSubstr;

namespace {

void RemoveStageCommands()
{
    for (int id : {cmd::ZB_MoveToPosition_mm, cmd::ZB_MoveRelative_mm, cmd::ZB_Home, cmd::ZB_GetPosition_mm,
                   cmd::ZB_WaitForMoveToFinish, cmd::CollectFocusStack, cmd::GetTemperatures})
        RegisterCommandHandler(id, nullptr);
}

class StageCommandsTest : public ScriptFixture
{
  protected:
    void SetUp() override
    {
        ScriptFixture::SetUp();
        RegisterStageCommands();
        m_oldStage = theApp.m_stage_port;
        m_oldPump = theApp.m_pump_port;
        m_oldAnalysis = theApp.m_analysis_mode;
        theApp.m_stage_port = 0;
        theApp.m_pump_port = 0;
        theApp.m_analysis_mode = true;
    }
    void TearDown() override
    {
        RemoveStageCommands();
        theApp.m_stage_port = m_oldStage;
        theApp.m_pump_port = m_oldPump;
        theApp.m_analysis_mode = m_oldAnalysis;
        ScriptFixture::TearDown();
    }
    int32_t m_oldStage = 0;
    int32_t m_oldPump = 0;
    bool m_oldAnalysis = false;
};

TEST_F(StageCommandsTest, ChecksSplitBetweenLoadAndRun)
{
    struct Case
    {
        const char *script;
        bool loads;
        const char *message; // "" = the stage driver's own text, which must not be empty
    };
    const Case cases[] = {
        {"ZB_MoveToPosition_mm(\"x\", 1);", false,
         "ZB_MoveToPosition_mm() axis must have value \"X\" or \"Z\""},
        {"ZB_MoveToPosition_mm(\"X\", 250);", true,
         "ZB_MoveToPosition_mm() position must be between -200 and +200 mm"},
        {"ZB_MoveToPosition_mm(\"X\", 150);", true, ""},
        {"ZB_Home(\"Y\");", true, "ZB_Home() axis must have value \"X\" or \"Z\""},
        {"ZB_Home(\"Z\");", true, ""},
        {"ZB_MoveRelative_mm(\"ZZ\", 1);", true, "ZB_MoveRelative_mm() axis must have value \"X\" or \"Z\""},
        {"ZB_MoveRelative_mm(\"Z\", -200.5);", true,
         "ZB_MoveRelative_mm() position must be between -200 and +200 mm"},
        {"ZB_MoveRelative_mm(\"Z\", 1);", true, ""},
        {"ZB_WaitForMoveToFinish(\"X\");", false, "ZB_WaitForMoveToFinish() Zaber is not initialized."},
        {"ZB_WaitForMoveToFinish(\"z\");", false,
         "ZB_WaitForMoveToFinish() axis must have value \"X\" or \"Z\""},
        {"double p;\nZB_GetPosition_mm(\"Q\", p);", false,
         "ZB_GetPosition_mm() axis must have value \"X\" or \"Z\""},
        {"double p;\nZB_GetPosition_mm(\"X\", p);", true, ""},
        {"CollectFocusStack(\"Z\", 26, 0.1, 3);", false,
         "CollectFocusStack() start_mm must have a value between 0 and 25 for the Z axis"},
        {"CollectFocusStack(\"X\", 101, 0.1, 3);", false,
         "CollectFocusStack() start_mm must have a value between 0 and 100 for the X axis"},
        {"CollectFocusStack(\"X\", 26, 10.5, 3);", false,
         "CollectFocusStack() step_mm must have a value between -10.0 and +10.0"},
        {"CollectFocusStack(\"Z\", 1, 0.01, 0);", false,
         "CollectFocusStack() nsteps must be a value between 1 and 500"},
        {"CollectFocusStack(\"Z\", 1, 0.01, 501);", false,
         "CollectFocusStack() nsteps must be a value between 1 and 500"},
        // The stage check comes before the analysis-mode check.
        {"CollectFocusStack(\"Z\", 1, 0.01, 3);", false, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.script);
        Script instance;
        VariableList variables;
        EString error;
        const std::string path = WriteScript("t.scr", std::string(c.script) + "\n");
        Script loader;
        EString loadError;
        const bool loaded = Load(loader, path, loadError);
        EXPECT_EQ(loaded, c.loads) << loadError.c_str();
        const bool ok = LoadAndRun(instance, std::string(c.script) + "\n", error, &variables);
        EXPECT_FALSE(ok);
        if (*c.message) {
            EXPECT_THAT(error.c_str(), HasSubstr(c.message));
        } else {
            // The driver's text, never an empty failure or the analysis-mode refusal.
            const std::string text = error.c_str();
            const size_t colon = text.rfind(" : ");
            EXPECT_TRUE(colon == std::string::npos ? !text.empty() : colon + 3 < text.size()) << text;
            EXPECT_THAT(text, ::testing::Not(HasSubstr("analysis mode")));
        }
    }
}

TEST_F(StageCommandsTest, TemperaturesWithoutDevicesKeepTheVariables)
{
    Script instance;
    VariableList variables;
    EString error;
    ASSERT_TRUE(LoadAndRun(
        instance,
        "double a = 1.5;\ndouble b = 2.5;\ndouble c = 3.5;\nint d = 4;\nGetTemperatures(a, b, c, d, 1);\n",
        error, &variables))
        << error.c_str();
    const double expected[] = {1.5, 2.5, 3.5};
    int i = 0;
    for (const Variable &v : variables) {
        if (v.type == kVariableDouble) {
            EXPECT_DOUBLE_EQ(v.number, expected[i++]);
        } else if (v.type == kVariableInt) {
            EXPECT_EQ(v.integer, 4);
        }
    }
    EXPECT_EQ(i, 3);
}

TEST(FocusStackFolderTest, MadeUnderTheDataFolderAndNeverAtTheRoot)
{
    vantelis::test::TempDir dir;
    platform::LocalTime now;
    now.year = 1999;
    now.month = 1;
    now.day = 2;
    now.hour = 3;
    now.minute = 4;
    now.second = 5;
    std::string folder;
    EString error;
    for (const char *empty : {"", "  \t", "\r\nD:\\data"}) {
        EXPECT_FALSE(MakeFocusStackFolder(empty, "Z", now, folder, error)) << empty;
        EXPECT_THAT(error.c_str(), HasSubstr("DataDirectory"));
    }
    EXPECT_FALSE(platform::FolderExists("/19990102"));

    ASSERT_TRUE(MakeFocusStackFolder(" " + dir.str() + "\t\r\nrest", "Z", now, folder, error))
        << error.c_str();
    EXPECT_EQ(folder, dir.str() + "/19990102/StackZ_19990102-030405");
    EXPECT_TRUE(platform::FolderExists(folder));
    // A second stack within the same second finds its folder taken.
    EXPECT_FALSE(MakeFocusStackFolder(dir.str() + "/", "Z", now, folder, error));
    EXPECT_THAT(error.c_str(), HasSubstr("CollectFocusStack() - unable to create directory: "));
    EXPECT_THAT(error.c_str(), HasSubstr("StackZ_19990102-030405"));

    // A data folder that cannot hold sub-folders.
    vantelis::test::WriteFileBytes(dir.file("plain"), "x");
    EXPECT_FALSE(MakeFocusStackFolder(dir.file("plain"), "X", now, folder, error));
    EXPECT_THAT(error.c_str(), HasSubstr("unable to create directory"));
}

TEST(FocusStackFolderTest, FileNamesCarryTheNominalPositionInMicrometres)
{
    struct Case
    {
        double mm;
        const char *expected;
    };
    const Case cases[] = {
        {1.0, "/d/StackZ_1/StackZ_1_BF_Z001000.png"},
        {1.0 + 3 * 0.01, "/d/StackZ_1/StackZ_1_BF_Z001030.png"},
        {-0.1, "/d/StackZ_1/StackZ_1_BF_Z-00100.png"},
        {0.0004, "/d/StackZ_1/StackZ_1_BF_Z000000.png"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(FocusStackFileName("/d/StackZ_1", "BF", "Z", c.mm), c.expected) << c.mm;
}

// A camera that hands out one image per exposure: its pixels are the exposure in microseconds,
// so each file shows which image type it holds. An exposure of 31 us gives an empty image.
vantelis::test::FakeCamera ExposureCamera()
{
    vantelis::test::FakeCamera camera;
    camera.initialized = true;
    camera.model = "Fake";
    camera.serial = "1";
    camera.temperature = 21.5;
    camera.image = [](int exposureUs) {
        return exposureUs == 31 ? cv::Mat() : cv::Mat(4, 6, CV_16UC1, cv::Scalar(exposureUs));
    };
    return camera;
}

class StageCommandsSimTest : public vantelis::test::StageFixture
{
  protected:
    void SetUp() override
    {
        StageFixture::SetUp();
        RegisterStageCommands();
        m_old = {theApp.m_camera, theApp.m_analysis_mode, theApp.m_workflow_running, theApp.m_data_directory,
                 theApp.m_min_capture_spacing_ms};
        theApp.m_camera = &m_camera;
        theApp.m_analysis_mode = false;
        theApp.m_workflow_running = false;
        theApp.m_data_directory = dir.str();
        theApp.m_min_capture_spacing_ms = 0;
        std::filesystem::create_directories(dir.path() / "Includes");
        std::filesystem::create_directories(dir.path() / "Data");
        // Types 1 and 3 are active, type 2 is not.
        WriteExperimentSettings(dir.file("Data"), "31");
        EString error;
        ASSERT_TRUE(CreateImageCaptureWorkflowThread(error)) << error.c_str();
    }
    void TearDown() override
    {
        StopImageCaptureWorkflowThread();
        RemoveStageCommands();
        theApp.m_camera = m_old.camera;
        theApp.m_analysis_mode = m_old.analysis;
        theApp.m_workflow_running = m_old.workflow;
        theApp.m_data_directory = m_old.data;
        theApp.m_min_capture_spacing_ms = m_old.spacing;
        StageFixture::TearDown();
    }
    // The stage's settings, then [ExperimentSettings] with the data folder and type 3 exposed for
    // exposure3 us.
    void WriteExperimentSettings(const std::string &dataDirectory, const std::string &exposure3)
    {
        vantelis::test::WriteFileBytes(
            ini, "[Serial]\r\nPortDevice5=" + stage.PortPath() +
                     "\r\n[Zaber]\r\nInitializeZaberOnStartup=TRUE\r\n[ExperimentSettings]\r\n"
                     "DataDirectory=" +
                     dataDirectory +
                     "\r\nIsActive1=TRUE\r\nImageTypeName1=BF\r\nImageTypeExposure1=100\r\n"
                     "IsActive2=FALSE\r\nImageTypeName2=Off\r\nImageTypeExposure2=200\r\n"
                     "IsActive3=TRUE\r\nImageTypeName3=GFP\r\nImageTypeExposure3=" +
                     exposure3 + "\r\n");
    }
    bool Run(const std::string &text, EString &error, VariableList &variables, bool expectLoad = true)
    {
        bool loaded = false;
        Script instance;
        const bool ok = LoadAndRunScriptText(instance, dir.file("t.scr"), text, error, loaded, variables);
        EXPECT_EQ(loaded, expectLoad) << error.c_str();
        return ok;
    }
    // The stack folders made under the data folder's day folders.
    std::vector<std::filesystem::path> StackFolders() const
    {
        std::vector<std::filesystem::path> folders;
        if (!std::filesystem::exists(dir.path() / "Data"))
            return folders;
        for (const auto &day : std::filesystem::directory_iterator(dir.path() / "Data"))
            for (const auto &stack : std::filesystem::directory_iterator(day.path()))
                folders.push_back(stack.path());
        return folders;
    }

    vantelis::test::FakeCamera m_camera = ExposureCamera();
    struct
    {
        CameraInterface *camera;
        bool analysis;
        bool workflow;
        std::string data;
        int32_t spacing;
    } m_old{};
};

// With 20997.38 steps per mm: the focus axis is device 1 axis 1, X is axis 2.
TEST_F(StageCommandsSimTest, StageCommandsReachTheStage)
{
    vantelis::test::StageSimulator::AxisState focus;
    focus.position = 41995;
    stage.SetAxis(1, focus);
    VariableList variables;
    EString error;
    ASSERT_TRUE(Run("double p = 7;\nint i = 3;\nZB_GetPosition_mm(\"Z\", p);\nZB_GetPosition_mm(\"X\", i);\n"
                    "ZB_MoveToPosition_mm(\"Z\", 1.0);\nZB_WaitForMoveToFinish(\"Z\");\n"
                    "ZB_MoveRelative_mm(\"X\", -0.5);\nZB_Home(\"X\");\n",
                    error, variables))
        << error.c_str();
    ASSERT_EQ(variables.size(), 2u);
    EXPECT_DOUBLE_EQ(variables[0].number, 41995 / 20997.38);
    EXPECT_EQ(variables[1].integer, 3); // an int result is left as it was
    std::vector<std::string> requests = stage.Requests();
    auto has = [&](const std::string &r) {
        return std::find(requests.begin(), requests.end(), r) != requests.end();
    };
    for (const char *r : {"01 1 get pos", "01 1 move abs 20997", "01 2 move rel -10499", "01 2 home"})
        EXPECT_TRUE(has(r)) << r;

    // 150 mm passes the command's own range and is refused by the driver with its text.
    stage.ClearRequests();
    EXPECT_FALSE(Run("ZB_MoveToPosition_mm(\"X\", 150);\n", error, variables));
    EXPECT_THAT(error.c_str(), ::testing::Not(HasSubstr("between -200 and +200")));
    EXPECT_THAT(error.c_str(), ::testing::Not(::testing::EndsWith(" : ")));
    EXPECT_TRUE(stage.Requests().empty());

    // A silent stage: the failure carries a text.
    stage.InjectFault(vantelis::test::StageSimulator::Fault::Silence, 10);
    EXPECT_FALSE(Run("ZB_Home(\"Z\");\n", error, variables));
    EXPECT_THAT(error.c_str(), ::testing::Not(::testing::EndsWith(" : ")));
    EXPECT_THAT(error.c_str(), HasSubstr("ZB_Home(\"Z\"); : "));
}

TEST_F(StageCommandsSimTest, FocusStackStepsTheAxisAndWritesEveryImage)
{
    WriteExperimentSettings(dir.file("Data"), "300");
    VariableList variables;
    EString error;
    ASSERT_TRUE(Run("CollectFocusStack(\"Z\", 1.0, 0.01, 3);\n", error, variables)) << error.c_str();

    // 1.0 mm is 20997 steps, 0.01 mm 210 steps.
    std::vector<std::string> moves;
    for (const std::string &r : stage.Requests())
        if (r.find(" move ") != std::string::npos)
            moves.push_back(r);
    EXPECT_EQ(moves, (std::vector<std::string>{"01 1 move abs 20997", "01 1 move rel 210",
                                               "01 1 move rel 210", "01 1 move rel 210"}));

    const std::vector<std::filesystem::path> stacks = StackFolders();
    ASSERT_EQ(stacks.size(), 1u);
    const std::string name = stacks[0].filename().string();
    std::smatch match;
    ASSERT_TRUE(std::regex_match(name, match, std::regex("StackZ_(\\d{8})-\\d{6}"))) << name;
    EXPECT_EQ(stacks[0].parent_path().filename().string(), match[1].str());

    std::vector<std::string> files;
    for (const auto &entry : std::filesystem::directory_iterator(stacks[0]))
        files.push_back(entry.path().filename().string());
    std::sort(files.begin(), files.end());
    std::vector<std::string> expected;
    for (const char *type : {"BF", "GFP"})
        for (const char *position : {"001000", "001010", "001020", "001030"})
            expected.push_back(name + "_" + type + "_Z" + position + ".png");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(files, expected);
    // Each file holds its own type's image.
    const cv::Mat bright =
        cv::imread((stacks[0] / (name + "_BF_Z001020.png")).string(), cv::IMREAD_UNCHANGED);
    const cv::Mat green =
        cv::imread((stacks[0] / (name + "_GFP_Z001030.png")).string(), cv::IMREAD_UNCHANGED);
    ASSERT_EQ(bright.type(), CV_16UC1);
    EXPECT_EQ(bright.at<uint16_t>(0, 0), 100);
    ASSERT_EQ(green.type(), CV_16UC1);
    EXPECT_EQ(green.at<uint16_t>(3, 5), 300);
}

TEST_F(StageCommandsSimTest, FocusStackStopsAtTheFirstImageItCannotWrite)
{
    // Type 3's image comes back empty and cannot be written.
    VariableList variables;
    EString error;
    EXPECT_FALSE(Run("CollectFocusStack(\"X\", 26, 0.5, 2);\n", error, variables));
    EXPECT_THAT(error.c_str(), HasSubstr("CollectFocusStack() - unable to write file: "));
    EXPECT_THAT(error.c_str(), HasSubstr("_GFP_X026000.png"));
    const std::vector<std::filesystem::path> stacks = StackFolders();
    ASSERT_EQ(stacks.size(), 1u);
    // The image written before the failure stays; no further position was taken.
    std::vector<std::string> files;
    for (const auto &entry : std::filesystem::directory_iterator(stacks[0]))
        files.push_back(entry.path().filename().string());
    EXPECT_EQ(files, (std::vector<std::string>{stacks[0].filename().string() + "_BF_X026000.png"}));
    const std::vector<std::string> requests = stage.Requests();
    EXPECT_EQ(std::count_if(requests.begin(), requests.end(),
                            [](const std::string &r) { return r.find(" move ") != std::string::npos; }),
              1);
}

TEST_F(StageCommandsSimTest, FocusStackWithoutADataFolderCreatesNothing)
{
    WriteExperimentSettings("", "300");
    VariableList variables;
    EString error;
    EXPECT_FALSE(Run("CollectFocusStack(\"Z\", 1.0, 0.01, 1);\n", error, variables));
    EXPECT_THAT(error.c_str(), HasSubstr("DataDirectory"));
    EXPECT_TRUE(stage.Requests().empty());
    const platform::LocalTime now = platform::Now();
    char day[16];
    std::snprintf(day, sizeof day, "/%u%02u%02u", static_cast<unsigned>(now.year),
                  static_cast<unsigned>(now.month), static_cast<unsigned>(now.day));
    EXPECT_FALSE(std::filesystem::exists(day));
}

// The stage's and the camera's temperatures land in their variables; without a pump port the pump
// variables keep their values, and a literal in place of a result is read and left alone.
TEST_F(StageCommandsSimTest, TemperaturesComeFromTheDevicesThatArePresent)
{
    stage.SetTemperature("33.5");
    VariableList variables;
    EString error;
    ASSERT_TRUE(Run("double a = 1;\ndouble b = 2;\ndouble c = 3;\ndouble d = 4;\n"
                    "GetTemperatures(a, b, c, d, 1);\nZB_GetPosition_mm(\"Z\", 5);\n",
                    error, variables))
        << error.c_str();
    ASSERT_EQ(variables.size(), 4u);
    EXPECT_DOUBLE_EQ(variables[0].number, 33.5);
    EXPECT_DOUBLE_EQ(variables[1].number, 2);
    EXPECT_DOUBLE_EQ(variables[2].number, 3);
    EXPECT_DOUBLE_EQ(variables[3].number, 21.5);
}

// The load-time state checks, in their order, once the stage is ready.
TEST_F(StageCommandsSimTest, FocusStackRefusesAtLoadWhatTheStateForbids)
{
    struct Case
    {
        bool analysis;
        bool camera;
        bool workflow;
        const char *message;
    };
    const Case cases[] = {
        {true, true, false, "CollectFocusStack() - this function not available when in analysis mode"},
        {false, false, true, "CollectFocusStack() - no camera"},
        {false, true, true, "CollectFocusStack() - Can't capture image while image workflow is active."},
    };
    for (const Case &c : cases) {
        theApp.m_analysis_mode = c.analysis;
        theApp.m_camera = c.camera ? &m_camera : nullptr;
        theApp.m_workflow_running = c.workflow;
        VariableList variables;
        EString error;
        EXPECT_FALSE(Run("CollectFocusStack(\"Z\", 1.0, 0.01, 1);\n", error, variables, false));
        EXPECT_THAT(error.c_str(), HasSubstr(c.message));
    }
    EXPECT_TRUE(StackFolders().empty());
    EXPECT_TRUE(stage.Requests().empty());
}

} // namespace
