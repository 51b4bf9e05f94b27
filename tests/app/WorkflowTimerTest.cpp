// The experiment workflow timer: how many captures a start asks for, when it stops, its refusals,
// and the capture-log header lines a stop writes.
#include "app/WorkflowTimer.h"
#include "app/PlexorinApp.h"
#include "support/ServiceFakes.h"

#include "support/FakeUi.h"
#include "support/TempDir.h"

#include "Ostravo/CachedLog.h"
#include "Ostravo/LogError.h"
#include "platform/Files.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace vantelis::test {
namespace {

// The capture side as far as the workflow sees it.
class CaptureSide : public StubCapture
{
  public:
    bool CheckDiskSpaceForWorkflow(EString &message) override
    {
        ++diskChecks;
        if (!diskOk)
            message.Assign("Recommended disk space for this operation is 10 GB. You have 1 GB available.");
        return diskOk;
    }
    bool CheckCapturePeriod(EString &message) override
    {
        ++periodChecks;
        if (!periodOk)
            message.Assign(periodMessage.c_str());
        return periodOk;
    }
    void SetImageCaptureEvent() override { ++captures; }

    bool diskOk = true;
    bool periodOk = true;
    std::string periodMessage;
    int diskChecks = 0;
    int periodChecks = 0;
    int captures = 0;
};

class WorkflowTimerTest : public ::testing::Test
{
  protected:
    WorkflowTimerTest()
        : m_devices(std::make_shared<CaptureSide>()), m_scripts(std::make_shared<StubScripts>())
    {
        InstallCaptureServices(m_devices);
        InstallScriptServices(m_scripts);
        std::filesystem::create_directories(m_dir.file("LOG"));
        SetLogDataDirectory(m_dir.str().c_str());
        m_app.m_ini_path = m_dir.file("Plexorin.ini");
        m_app.m_analysis_mode = false;
        SetWorkflowCaptureLogPath("");
    }
    ~WorkflowTimerTest() override
    {
        InstallCaptureServices(nullptr);
        InstallScriptServices(nullptr);
        SetWorkflowCaptureLogPath("");
        SetLogDataDirectory("");
    }

    // [ExperimentSettings] with the given lines.
    void Settings(const std::string &lines)
    {
        WriteFileBytes(m_app.m_ini_path, "[ExperimentSettings]\r\n" + lines);
    }

    bool TimerRuns() const { return m_ui->TimerActive(kWorkflowTimerId); }
    bool Idle() const { return !m_app.m_workflow_running && !TimerRuns(); }

    std::string ErrorLogText() const { return test::ErrorLogText(m_dir.str()); }

    TempDir m_dir;
    ScopedFakeUi m_ui;
    CPlexorinApp m_app;
    std::shared_ptr<CaptureSide> m_devices;
    std::shared_ptr<StubScripts> m_scripts;
};

TEST_F(WorkflowTimerTest, MissingPeriodAsksForOneCaptureWithoutATimer)
{
    Settings("ImageCaptureCount=5\r\n");
    StartExperimentWorkflow(m_app);
    EXPECT_EQ(m_devices->captures, 1);
    EXPECT_TRUE(Idle());
    EXPECT_EQ(m_app.m_workflow_capture_count, 0);
    EXPECT_EQ(m_devices->periodChecks, 0);
    EXPECT_TRUE(m_ui->Messages().empty());
}

TEST_F(WorkflowTimerTest, PeriodOutsideItsRangeIsRefused)
{
    struct Case
    {
        const char *period;
        bool accepted;
        const char *shown;
    };
    const Case cases[] = {
        {"3600000", false, "3600000"},
        {"-5", false, "-5"},
        {"3599999", true, nullptr},
        {"1", true, nullptr},
    };
    for (const Case &c : cases) {
        m_ui->Clear();
        m_devices->captures = 0;
        StopExperimentWorkflow(m_app);
        Settings(std::string("ImageCapturePeriod=") + c.period + "\r\nImageCaptureCount=3\r\n");
        StartExperimentWorkflow(m_app);
        if (c.accepted) {
            EXPECT_TRUE(m_app.m_workflow_running) << c.period;
            EXPECT_EQ(m_ui->TimerInterval(kWorkflowTimerId), static_cast<uint32_t>(std::stoul(c.period)));
            EXPECT_EQ(m_devices->captures, 1) << c.period;
            EXPECT_TRUE(m_ui->Messages().empty()) << c.period;
        } else {
            const std::string text = std::string("[ExperimentSettings] invalid ImageCapturePeriod=") +
                                     c.shown + " : must be an integer between 0 and 3600000";
            ASSERT_EQ(m_ui->Messages().size(), 1u) << c.period;
            EXPECT_EQ(m_ui->Messages()[0].text, text);
            EXPECT_NE(ErrorLogText().find(text), std::string::npos);
            EXPECT_TRUE(Idle()) << c.period;
            EXPECT_EQ(m_devices->captures, 0) << c.period;
        }
    }
}

TEST_F(WorkflowTimerTest, CountOfThreeAsksForFourCapturesAndEndsAtTheFourthTick)
{
    Settings("ImageCapturePeriod=1000\r\nImageCaptureCount=3\r\n");
    StartExperimentWorkflow(m_app);
    EXPECT_EQ(m_devices->captures, 1);
    for (int tick = 1; tick <= 3; ++tick) {
        ASSERT_TRUE(m_ui->FireTimer(kWorkflowTimerId)) << tick;
        EXPECT_EQ(m_devices->captures, 1 + tick);
        EXPECT_TRUE(m_app.m_workflow_running);
    }
    ASSERT_TRUE(m_ui->FireTimer(kWorkflowTimerId));
    EXPECT_EQ(m_devices->captures, 4);
    EXPECT_TRUE(Idle());
    EXPECT_EQ(m_app.m_workflow_capture_count, 0);
}

TEST_F(WorkflowTimerTest, CountOfOneOrLessOrMissingEndsAfterTheFirstCapture)
{
    for (const char *count : std::vector<const char *>{"1", "0", nullptr}) {
        m_devices->captures = 0;
        Settings(std::string("ImageCapturePeriod=500\r\n") +
                 (count ? std::string("ImageCaptureCount=") + count + "\r\n" : ""));
        StartExperimentWorkflow(m_app);
        EXPECT_EQ(m_devices->captures, 1) << (count ? count : "missing");
        EXPECT_TRUE(Idle()) << (count ? count : "missing");
    }
}

TEST_F(WorkflowTimerTest, LoweringTheCountWhileRunningEndsAtTheNextTick)
{
    Settings("ImageCapturePeriod=1000\r\nImageCaptureCount=10\r\n");
    StartExperimentWorkflow(m_app);
    m_ui->FireTimer(kWorkflowTimerId);
    m_ui->FireTimer(kWorkflowTimerId);
    ASSERT_EQ(m_devices->captures, 3);
    Settings("ImageCapturePeriod=1000\r\nImageCaptureCount=1\r\n");
    m_ui->FireTimer(kWorkflowTimerId);
    EXPECT_EQ(m_devices->captures, 3);
    EXPECT_TRUE(Idle());
}

TEST_F(WorkflowTimerTest, ATickAfterTheFlagWasClearedStops)
{
    Settings("ImageCapturePeriod=1000\r\nImageCaptureCount=10\r\n");
    StartExperimentWorkflow(m_app);
    m_app.m_workflow_running = false;
    m_ui->FireTimer(kWorkflowTimerId);
    EXPECT_EQ(m_devices->captures, 1);
    EXPECT_TRUE(Idle());
}

TEST_F(WorkflowTimerTest, DiskSpaceQuestionDecides)
{
    Settings("ImageCapturePeriod=1000\r\nImageCaptureCount=3\r\n");
    m_devices->diskOk = false;
    m_ui->QueueMessageAnswer(platform::ui::IdNo);
    StartExperimentWorkflow(m_app);
    ASSERT_EQ(m_ui->Messages().size(), 1u);
    EXPECT_EQ(m_ui->Messages()[0].flags & 0xFu, static_cast<uint32_t>(platform::ui::MbYesNo));
    EXPECT_EQ(m_devices->captures, 0);
    EXPECT_TRUE(Idle());
    EXPECT_EQ(m_app.m_workflow_capture_count, -1); // untouched

    m_ui->QueueMessageAnswer(platform::ui::IdYes);
    StartExperimentWorkflow(m_app);
    EXPECT_EQ(m_devices->captures, 1);
    EXPECT_TRUE(m_app.m_workflow_running);
}

TEST_F(WorkflowTimerTest, PeriodTooShortForTheExposuresStopsWithItsMessage)
{
    Settings("ImageCapturePeriod=100\r\nImageCaptureCount=3\r\n");
    m_devices->periodOk = false;
    m_devices->periodMessage =
        "Image capture period, currently set to 100 ms, must be at least 350 ms longer";
    StartExperimentWorkflow(m_app);
    EXPECT_EQ(m_devices->captures, 0);
    EXPECT_TRUE(Idle());
    ASSERT_EQ(m_ui->Messages().size(), 1u);
    EXPECT_EQ(m_ui->Messages()[0].text, m_devices->periodMessage);
    EXPECT_NE(ErrorLogText().find(m_devices->periodMessage), std::string::npos);

    // Without a message nothing is shown.
    m_ui->Clear();
    m_devices->periodMessage.clear();
    StartExperimentWorkflow(m_app);
    EXPECT_TRUE(m_ui->Messages().empty());
    EXPECT_TRUE(Idle());
}

TEST_F(WorkflowTimerTest, StopWritesTheHeaderLinesIntoTheCaptureLog)
{
    const std::string log = m_dir.file("Exp1/CaptureLog.txt");
    EString error;
    ASSERT_TRUE(AddALine(log.c_str(), "Experiment Exp1", error));
    ASSERT_TRUE(AddALine(log.c_str(), "Time\tImage", error, true));
    ASSERT_TRUE(AddALine(log.c_str(), "10:00:00\tImg1.png", error));
    SetWorkflowCaptureLogPath(log);
    m_scripts->headerLines = {"10:00:01.000\tFlow 5", "10:00:02.000\tFlow 6"};

    Settings("ImageCapturePeriod=1000\r\nImageCaptureCount=3\r\n");
    StartExperimentWorkflow(m_app);
    StopExperimentWorkflow(m_app);
    EXPECT_TRUE(Idle());
    EXPECT_EQ(m_app.m_workflow_capture_count, 0);
    EXPECT_EQ(ReadFileBytes(log),
              "Experiment Exp1\r\n10:00:01.000\tFlow 5\r\n10:00:02.000\tFlow 6\r\nTime\tImage\r\n"
              "10:00:00\tImg1.png\r\n");
    EXPECT_EQ(WorkflowCaptureLogPath(), "");
    EXPECT_EQ(GetNLines(log.c_str(), error), 0); // released: a new, empty record
    CachedLogging::Release(log.c_str(), error);
}

TEST_F(WorkflowTimerTest, StopWithoutACaptureLogLeavesNoUnsaveableLog)
{
    m_scripts->headerLines = {"10:00:01.000\tFlow 5"};
    const size_t before = CachedLogList.size();
    StopExperimentWorkflow(m_app);
    EXPECT_EQ(CachedLogList.size(), before);
    EXPECT_TRUE(m_scripts->headerLines.empty());
    EXPECT_NE(ErrorLogText().find("no capture log is open"), std::string::npos);
    EXPECT_TRUE(m_ui->Messages().empty());
}

TEST_F(WorkflowTimerTest, StopWhileIdleOnlyResetsTheCount)
{
    ASSERT_EQ(m_app.m_workflow_capture_count, -1);
    StopExperimentWorkflow(m_app);
    EXPECT_EQ(m_app.m_workflow_capture_count, 0);
    EXPECT_TRUE(Idle());
    EXPECT_EQ(m_devices->captures, 0);
}

} // namespace
} // namespace vantelis::test
