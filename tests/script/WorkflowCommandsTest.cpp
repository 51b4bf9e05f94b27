// The experiment-settings, workflow, camera and file-name commands against a settings file made
// by each test, in analysis mode without a camera, and the queue of capture-log header lines.
#include "script/commands/WorkflowCommands.h"

#include "ScriptFixture.h"
#include "app/AppGlobals.h"
#include "app/DeviceServices.h"
#include "app/ViewGlobals.h"
#include "platform/Clock.h"
#include "platform/SystemInfo.h"
#include "script/CommandTable.h"
#include "script/ScriptRuntime.h"
#include "support/FakeCamera.h"
#include "support/FakeClock.h"
#include "support/ServiceFakes.h"

#include <gmock/gmock.h>

#include <opencv2/core.hpp>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
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

class WorkflowCommandsTest : public ScriptFixture
{
  protected:
    void SetUp() override
    {
        ScriptFixture::SetUp();
        RegisterWorkflowCommands();
        m_oldSettings = _settings_ini_path;
        m_oldIni = theApp.m_ini_path;
        _settings_ini_path = m_dir.file("Plexorin.ini");
        theApp.m_ini_path = _settings_ini_path;
        m_oldAnalysis = theApp.m_analysis_mode;
        m_oldWorkflow = theApp.m_workflow_running;
        m_oldCamera = theApp.m_camera;
        theApp.m_analysis_mode = true;
        theApp.m_workflow_running = false;
        theApp.m_camera = nullptr;
        std::vector<EString> drained;
        TakeCaptureLogHeaderLines(drained);
    }
    void TearDown() override
    {
        for (int id : {cmd::GetExperimentName, cmd::SetExperimentName, cmd::GetDataDirectory,
                       cmd::SetDataDirectory, cmd::GetImageTypeDescription, cmd::SetImageTypeDescription,
                       cmd::StartRecordingWorkflow, cmd::SingleWorkflowImageCapture, cmd::InitializeCamera,
                       cmd::AutoDetectSplitLineZeroPosition, cmd::IsFilenameValid, cmd::IsFileExist,
                       cmd::GetSystemInfo, cmd::SaveTextToImageCaptureLogHeader})
            RegisterCommandHandler(id, nullptr);
        theApp.m_camera = m_oldCamera;
        theApp.m_workflow_running = m_oldWorkflow;
        theApp.m_analysis_mode = m_oldAnalysis;
        theApp.m_ini_path = m_oldIni;
        _settings_ini_path = m_oldSettings;
        ScriptFixture::TearDown();
    }
    std::string Settings() const { return ReadFileBytes(_settings_ini_path); }
    void WriteSettings(const std::string &text) { WriteFileBytes(_settings_ini_path, text); }
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

    std::string m_oldSettings;
    std::string m_oldIni;
    bool m_oldAnalysis = false;
    bool m_oldWorkflow = false;
    CameraInterface *m_oldCamera = nullptr;
};

TEST_F(WorkflowCommandsTest, SetExperimentNameReportsThroughItsMessageVariableOrFails)
{
    const std::string name32(32, 'n');
    struct Case
    {
        std::string call;
        const char *failure; // nullptr: the script goes on
        int ok;              // -1: no ok variable
        const char *message;
        const char *written; // nullptr: nothing written
    };
    const Case cases[] = {
        {"SetExperimentName(\"ab\", ok, m);", nullptr, 0, "Experiment name 3 characters min.", nullptr},
        {"SetExperimentName(\"ab\");", "SetExperimentName() : experiment name must be at least 3 characters.",
         -1, nullptr, nullptr},
        {"SetExperimentName(\"\", ok, m);", nullptr, 0, "Experiment name 3 characters min.", nullptr},
        {"SetExperimentName(\"a:b*c\");",
         "SetExperimentName() : a_b_c has invalid characters, only valid Windows file name characters "
         "allowed.",
         -1, nullptr, nullptr},
        {"SetExperimentName(\"a:bc\", ok, m);", nullptr, 0,
         "Invalid experiment name. Must be valid Windows file name.", nullptr},
        {"SetExperimentName(\"" + name32 + "n\");",
         "SetExperimentName() : experiment name may be no longer than 32 characters.", -1, nullptr, nullptr},
        {"SetExperimentName(\"" + name32 + "n\", ok, m);", nullptr, 0, "Experiment name 32 characters max.",
         nullptr},
        {"SetExperimentName(\"" + name32 + "\");", nullptr, -1, nullptr, name32.c_str()},
        {"SetExperimentName(\"Run <7>\", ok, m);", nullptr, 1, "", "Run <7>"},
        // Without a message variable the failure mode holds even with an ok variable.
        {"SetExperimentName(\"x\", ok);",
         "SetExperimentName() : experiment name must be at least 3 characters.", 9, nullptr, nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.call);
        WriteSettings("[ExperimentSettings]\r\nDataDirectory=/d\r\n");
        const std::string before = Settings();
        VariableList variables;
        EString error;
        const bool ok = Run("int ok = 9;\nSTRING m = \"old\";\n" + c.call + "\n", error, variables);
        if (c.failure) {
            EXPECT_FALSE(ok);
            EXPECT_THAT(error.c_str(), EndsWith(c.failure));
        } else {
            EXPECT_TRUE(ok) << error.c_str();
        }
        if (c.ok >= 0) {
            EXPECT_EQ(Find(variables, "ok").integer, c.ok);
        }
        EXPECT_STREQ(Find(variables, "m").text.c_str(), c.message ? c.message : "old");
        if (c.written)
            EXPECT_EQ(Settings(), "[ExperimentSettings]\r\nDataDirectory=/d\r\nExperimentName=" +
                                      std::string(c.written) + "\r\n");
        else
            EXPECT_EQ(Settings(), before);
    }
}

TEST_F(WorkflowCommandsTest, ImageTypeDescriptionsReadAndWriteTheirThreeKeys)
{
    WriteSettings("[ExperimentSettings]\r\nIsActive2=true\r\nImageTypeName2=Fl 1\r\nIsActive3=yes\r\n"
                  "ImageTypeName3=BF\r\nImageTypeExposure3=abc\r\nImageTypeExposure4=250\r\n");
    VariableList variables;
    EString error;
    ASSERT_TRUE(Run("int a2 = 7;\nSTRING n2;\nint e2 = 7;\nint a3 = 7;\nSTRING n3;\nint e3 = 7;\n"
                    "int a4 = 7;\nSTRING n4 = \"x\";\nint e4 = 7;\ndouble d = 2.5;\n"
                    "GetImageTypeDescription(2, a2, n2, e2);\nGetImageTypeDescription(3, a3, n3, e3);\n"
                    "GetImageTypeDescription(4, a4, n4, e4);\nGetImageTypeDescription(4, d, n4, d);\n",
                    error, variables))
        << error.c_str();
    // IsActive compares with TRUE ignoring case; a missing or unreadable exposure reads as 100.
    EXPECT_EQ(Find(variables, "a2").integer, 1);
    EXPECT_STREQ(Find(variables, "n2").text.c_str(), "Fl 1");
    EXPECT_EQ(Find(variables, "e2").integer, 100);
    EXPECT_EQ(Find(variables, "a3").integer, 0);
    EXPECT_STREQ(Find(variables, "n3").text.c_str(), "BF");
    EXPECT_EQ(Find(variables, "e3").integer, 100);
    EXPECT_EQ(Find(variables, "a4").integer, 0);
    EXPECT_STREQ(Find(variables, "n4").text.c_str(), "");
    EXPECT_EQ(Find(variables, "e4").integer, 250);
    EXPECT_DOUBLE_EQ(Find(variables, "d").number, 2.5); // a double variable takes no int result

    WriteSettings("[ExperimentSettings]\r\n");
    ASSERT_TRUE(
        Run("SetImageTypeDescription(1, 1, \"Phase\", 29);\nSetImageTypeDescription(4, 2, \"\", 1000000);\n",
            error, variables))
        << error.c_str();
    EXPECT_EQ(Settings(), "[ExperimentSettings]\r\nIsActive1=TRUE\r\nImageTypeName1=Phase\r\n"
                          "ImageTypeExposure1=29\r\nIsActive4=FALSE\r\nImageTypeName4=\r\n"
                          "ImageTypeExposure4=1000000\r\n");
}

TEST_F(WorkflowCommandsTest, ImageTypeChecksComeInOrderAndWriteNothing)
{
    const std::string name33(33, 'n');
    const struct
    {
        std::string call;
        const char *message;
    } cases[] = {
        {"GetImageTypeDescription(0, i, s, i);",
         "GetImageTypeDescription() : itype must be an integer between 1 and 4"},
        {"GetImageTypeDescription(5, i, s, i);",
         "GetImageTypeDescription() : itype must be an integer between 1 and 4"},
        {"SetImageTypeDescription(5, 1, \"a:b\", 1);",
         "SetImageTypeDescription() : itype must be an integer between 1 and 4"},
        {"SetImageTypeDescription(1, 1, \"" + name33 + "\", 1);",
         "SetImageTypeDescription() : name may not be more than 32 characters"},
        {"SetImageTypeDescription(1, 1, \"a|b\", 1);",
         "SetImageTypeDescription() : name may only contain valid Windows file name chacters"},
        {"SetImageTypeDescription(1, 1, \"ab\", 28);",
         "SetImageTypeDescription() exp_us must be between 29 and 1000000."},
        {"SetImageTypeDescription(1, 1, \"ab\", 1000001);",
         "SetImageTypeDescription() exp_us must be between 29 and 1000000."},
    };
    WriteSettings("[ExperimentSettings]\r\nImageTypeName1=keep\r\n");
    for (const auto &c : cases) {
        SCOPED_TRACE(c.call);
        const std::string text = "int i;\nSTRING s;\n" + c.call + "\n";
        EString error;
        EXPECT_TRUE(Loads(text, error)) << error.c_str(); // range checks wait for the run
        VariableList variables;
        EXPECT_FALSE(Run(text, error, variables));
        EXPECT_THAT(error.c_str(), EndsWith(c.message));
        EXPECT_EQ(Settings(), "[ExperimentSettings]\r\nImageTypeName1=keep\r\n");
    }
}

TEST_F(WorkflowCommandsTest, DataDirectoryIsWrittenOnlyForAnExistingFolder)
{
    const std::string folder = m_dir.file("Data 2");
    std::filesystem::create_directories(folder);
    WriteFileBytes(m_dir.file("plain.txt"), "x");
    WriteSettings("[ExperimentSettings]\r\nDataDirectory=/old\r\n");
    for (const std::string &bad : {m_dir.file("missing"), m_dir.file("plain.txt"), std::string()}) {
        SCOPED_TRACE(bad);
        VariableList variables;
        EString error;
        EXPECT_FALSE(Run("SetDataDirectory(\"" + bad + "\");\n", error, variables));
        EXPECT_THAT(error.c_str(),
                    EndsWith("SetDataDirectory() : \"" + bad + "\" is not an existing directory."));
    }
    VariableList variables;
    EString error;
    ASSERT_TRUE(Run("STRING d;\nSTRING n = \"x\";\nSetDataDirectory(\"" + folder +
                        "\");\nGetDataDirectory(d);\nGetExperimentName(n);\n",
                    error, variables))
        << error.c_str();
    EXPECT_EQ(Find(variables, "d").text.c_str(), folder);
    EXPECT_STREQ(Find(variables, "n").text.c_str(), ""); // a missing key reads as the empty text
}

TEST_F(WorkflowCommandsTest, FileNameAndFileChecksAnswerThroughTheirVariables)
{
    const std::string folder = m_dir.file("sub");
    std::filesystem::create_directories(folder);
    WriteFileBytes(m_dir.file("f.txt"), "x");
    const struct
    {
        std::string call;
        int ok;
        const char *message;
    } cases[] = {
        {"IsFilenameValid(\"a<b\", ok, m);", 1, ""}, // angle brackets are file-name characters
        {"IsFilenameValid(\"\", ok, m);", 0, "Filename can't be an empty string."},
        {"IsFilenameValid(\"a?b\", ok, m);", 0, "The entered filename has invalid character(s)."},
        {"IsFilenameValid(\"" + std::string(300, 'x') + "\", ok, m);", 1, ""}, // no length limit
        {"IsFileExist(\"" + folder + "\", ok, m);", 1, ""},
        {"IsFileExist(\"" + m_dir.file("f.txt") + "\", ok, m);", 1, ""},
        {"IsFileExist(\"" + m_dir.file("none.txt") + "\", ok, m);", 0, ""},
        // A missing result is skipped; the command still succeeds.
        {"IsFilenameValid(\"a?b\");", 9, "old"},
        {"IsFileExist(\"" + folder + "\", ok);", 1, "old"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.call);
        VariableList variables;
        EString error;
        ASSERT_TRUE(Run("int ok = 9;\nSTRING m = \"old\";\n" + c.call + "\n", error, variables))
            << error.c_str();
        EXPECT_EQ(Find(variables, "ok").integer, c.ok);
        EXPECT_STREQ(Find(variables, "m").text.c_str(), c.message);
    }
}

TEST_F(WorkflowCommandsTest, CameraCommandsInAnalysisModeAnswerWithTheirTexts)
{
    // A script holding the single capture does not load at all.
    EString error;
    EXPECT_FALSE(Loads("int x;\nSingleWorkflowImageCapture(\"BF\");\n", error));
    EXPECT_THAT(error.c_str(), EndsWith("SingleWorkflowImageCapture() - no camera"));

    // The name checks come first, then the analysis-mode refusal; nothing is written.
    WriteSettings("[ExperimentSettings]\r\nExperimentName=keep\r\n");
    const struct
    {
        const char *call;
        const char *message;
    } refusals[] = {
        {"StartRecordingWorkflow(\" \t \");", "StartRecordingWorkflow() - exp_name may not be empty."},
        {"StartRecordingWorkflow(\"a/b\");",
         "StartRecordingWorkflow() - exp_name contains invalid characters. Only valid Windows file name "
         "characters are allowed."},
        {"StartRecordingWorkflow(\"Run 1\");",
         "StartRecordingWorkflow() - this function not available when in analysis mode."},
    };
    for (const auto &c : refusals) {
        SCOPED_TRACE(c.call);
        VariableList variables;
        EXPECT_FALSE(Run(std::string(c.call) + "\n", error, variables));
        EXPECT_THAT(error.c_str(), EndsWith(c.message));
    }
    EXPECT_EQ(Settings(), "[ExperimentSettings]\r\nExperimentName=keep\r\n");

    VariableList variables;
    ASSERT_TRUE(Run("int ok = 5;\nSTRING m;\nInitializeCamera(ok, m);\n", error, variables)) << error.c_str();
    EXPECT_EQ(Find(variables, "ok").integer, 0);
    EXPECT_STREQ(Find(variables, "m").text.c_str(), "Camera object was not initialized on startup.");
}

TEST_F(WorkflowCommandsTest, SystemInfoAndTheIgnoredRotationCommand)
{
    const std::string oldVersion = theApp.m_version;
    theApp.m_version = "3.1.4.15";
    VariableList variables;
    EString error;
    const bool ok = Run("STRING c;\nSTRING v;\nGetSystemInfo(c, v);\nStartDisplayRotationCorrectedImages(1, "
                        "\"not read\", x);\nEndDisplayRotationCorrectedImages();\n",
                        error, variables);
    theApp.m_version = oldVersion;
    ASSERT_TRUE(ok) << error.c_str();
    EXPECT_EQ(Find(variables, "c").text.c_str(), platform::ComputerName());
    EXPECT_STREQ(Find(variables, "v").text.c_str(), "3.1.4.15");
}

// A device side whose capture hands back a flat image, counting the captures, so the detection
// (with a camera that initialises) can be seen writing (or not) the experiment's settings file.
class CapturingDevices : public vantelis::test::StubCapture
{
  public:
    bool CaptureFirstActiveImageType(cv::Mat &image, int, int32_t, const char *, EString &,
                                     const char *) override
    {
        ++captures;
        image = cv::Mat(120, 160, CV_16UC1, cv::Scalar(1000));
        return true;
    }
    std::atomic<int> captures{0};
};

TEST_F(WorkflowCommandsTest, SplitLineDetectionNeedsTheExperimentsSettingsFile)
{
    // Analysis mode, no camera: the command succeeds and the experiment's file stays as it was.
    const std::string experiment = m_dir.file("Exp1");
    std::filesystem::create_directories(experiment);
    const std::string experimentIni = experiment + "/ExperimentSettings.ini";
    WriteFileBytes(experimentIni, "[Cartridge]\r\nType=A\r\n");
    WriteSettings("[ExperimentSettings]\r\nExperimentDirectory=" + experiment + "\r\n");
    VariableList variables;
    EString error;
    ASSERT_TRUE(Run("AutoDetectSplitLineZeroPosition();\n", error, variables)) << error.c_str();
    EXPECT_EQ(ReadFileBytes(experimentIni), "[Cartridge]\r\nType=A\r\n");
    EXPECT_FALSE(Loads("AutoDetectSplitLineZeroPosition(1);\n", error));

    // With a camera whose capture works, a detection is written into the experiment's file ...
    vantelis::test::FakeCamera camera = vantelis::test::QuietCamera();
    auto devices = std::make_shared<CapturingDevices>();
    std::shared_ptr<CaptureServices> oldCapture = InstallCaptureServices(devices);
    theApp.m_camera = &camera;
    ASSERT_TRUE(Run("AutoDetectSplitLineZeroPosition();\n", error, variables)) << error.c_str();
    EXPECT_EQ(devices->captures.load(), 2);
    EXPECT_NE(ReadFileBytes(experimentIni), "[Cartridge]\r\nType=A\r\n");

    // ... but without that file nothing is captured and no file appears anywhere.
    WriteSettings("[ExperimentSettings]\r\nExperimentDirectory=" + m_dir.file("NoSuchExperiment") + "\r\n");
    const std::filesystem::path cwd = std::filesystem::current_path();
    std::filesystem::current_path(m_dir.path());
    const bool ok = Run("AutoDetectSplitLineZeroPosition();\n", error, variables);
    std::filesystem::current_path(cwd);
    InstallCaptureServices(oldCapture);
    theApp.m_camera = nullptr;
    EXPECT_TRUE(ok) << error.c_str();
    EXPECT_EQ(devices->captures.load(), 2);
    EXPECT_FALSE(std::filesystem::exists(m_dir.path() / "ExperimentSettings.ini"));
    EXPECT_FALSE(std::filesystem::exists(m_dir.file("NoSuchExperiment")));
}

TEST_F(WorkflowCommandsTest, HeaderLinesAreQueuedWithTheirLocalTimeAndTakenInOrder)
{
    vantelis::test::FakeClockGuard clock;
    platform::SetFakeClock({2024, 5, 6, 1, 10, 5, 3, 42});
    VariableList variables;
    EString error;
    ASSERT_TRUE(Run("STRING t = \"second\tline\";\nSaveTextToImageCaptureLogHeader(\"Flow 1\");\n"
                    "SaveTextToImageCaptureLogHeader( t );\n",
                    error, variables))
        << error.c_str();
    std::vector<EString> lines{EString("stale")};
    ASSERT_EQ(TakeCaptureLogHeaderLines(lines), 2u);
    EXPECT_STREQ(lines[0].c_str(), "10:05:03.042\tFlow 1");
    EXPECT_STREQ(lines[1].c_str(), "10:05:03.042\tsecond\tline");
    EXPECT_EQ(TakeCaptureLogHeaderLines(lines), 0u);
    EXPECT_TRUE(lines.empty());

    // The capture workflow takes them through the installed script services.
    ASSERT_TRUE(Run("SaveTextToImageCaptureLogHeader(\"Flow 2\");\n", error, variables)) << error.c_str();
    ScriptRuntimeServices services;
    ASSERT_EQ(services.TakeCaptureLogHeaderLines(lines), 1u);
    EXPECT_STREQ(lines[0].c_str(), "10:05:03.042\tFlow 2");

    // Anything but ")" behind the text refuses the load.
    EXPECT_FALSE(Loads("SaveTextToImageCaptureLogHeader(\"a\", \"b\");\n", error));
    EXPECT_THAT(error.c_str(), EndsWith("Missing ) after string parameter."));
    EXPECT_EQ(CaptureLogHeaderLine({2024, 1, 1, 1, 0, 0, 0, 7}, "x"), "00:00:00.007\tx");
}

TEST_F(WorkflowCommandsTest, HeaderQueueKeepsEveryLineOfConcurrentWritersAndTakers)
{
    // Both script handles append while the capture side takes; no line is lost or doubled.
    constexpr int kPerWriter = 300;
    std::atomic<bool> writing{true};
    std::vector<std::string> taken;
    std::thread taker([&] {
        std::vector<EString> batch;
        while (writing.load()) {
            TakeCaptureLogHeaderLines(batch);
            for (const EString &line : batch)
                taken.push_back(line.c_str());
        }
    });
    std::vector<std::thread> writers;
    for (int w = 0; w < 2; ++w)
        writers.emplace_back([w] {
            for (int i = 0; i < kPerWriter; ++i)
                EXPECT_TRUE(QueueCaptureLogHeaderLine(
                    EString((std::to_string(w) + ":" + std::to_string(i)).c_str())));
        });
    for (std::thread &t : writers)
        t.join();
    writing = false;
    taker.join();
    std::vector<EString> rest;
    TakeCaptureLogHeaderLines(rest);
    for (const EString &line : rest)
        taken.push_back(line.c_str());
    ASSERT_EQ(taken.size(), size_t(2 * kPerWriter));
    int next[2] = {0, 0};
    for (const std::string &line : taken) {
        const int w = line[0] - '0';
        EXPECT_EQ(line.substr(2), std::to_string(next[w]++)); // each writer's lines in its order
    }
}

} // namespace
