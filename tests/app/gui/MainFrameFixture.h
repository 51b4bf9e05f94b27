#pragma once
// Shared fixture of the main-frame tests: a data folder with its main settings file, the recording
// message box, an application object of the test's own, recording stand-ins for the subsystems the
// frame calls, and a helper that answers modal dialogs as a user would.
#include "support/FakeUi.h"
#include "support/ServiceFakes.h"
#include "support/TempDir.h"

#include "Ostravo/LogError.h"
#include "Ostravo/Profile.h"
#include "app/AnalysisToolWindows.h"
#include "app/BackgroundImages.h"
#include "app/ImageDoc.h"
#include "app/PlexorinApp.h"
#include "app/RenderList.h"
#include "app/ViewGlobals.h"
#include "app/gui/DocumentManager.h"
#include "app/gui/ImageViewLinks.h"
#include "app/gui/MainFrame.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Process.h"

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vantelis::test::mainframe {

using FakeUi = vantelis::test::FakeUi;

class FakeAnalysisTools : public AnalysisToolWindows
{
  public:
    explicit FakeAnalysisTools(CallLog &log)
        : counting("Counting", log), epi("Epi", log), imageAnalysis("ImageAnalysis", log),
          iterator("Iterator", log), meniscus("Meniscus", log), focus("Focus", log)
    {
    }
    ModelessWindow &CountingAlgorithm() override { return counting; }
    ModelessWindow &EpiCellCountingAlgo() override { return epi; }
    ModelessWindow &ImageAnalysisTool() override { return imageAnalysis; }
    ModelessWindow &AlgoIterator() override { return iterator; }
    ModelessWindow &FindMeniscus() override { return meniscus; }
    ModelessWindow &FocusTool() override { return focus; }
    bool ImageAnalysisRunning() override { return running; }
    void ShowMagnetLine(bool) override {}
    void ShowActiveRoi(const ImageRect &) override {}

    RecordingWindow counting, epi, imageAnalysis, iterator, meniscus, focus;
    bool running = false;
};

// A calibrated tool whose window records what is done to it.
template <class Stub> class RecordingTool : public Stub
{
  public:
    RecordingTool(std::string name, CallLog &log) : window(std::move(name), log) {}
    ModelessWindow &Window() override { return window; }

    RecordingWindow window;
};

// The tool seams with recording windows; Install() installs each.
class FakeTools : public StubRoiLookup,
                  public RoiWindows,
                  public CalibrationWindows,
                  public ProjectionParamsWindow
{
  public:
    explicit FakeTools(CallLog &log)
        : m_log(log), roiManager("RoiManager", log), boundaries("Boundaries", log),
          projectionParams("ProjectionParams", log), fractionation("Fractionation", log),
          projectionTool("ProjectionTool", log)
    {
    }
    ModelessWindow &RoiManager() override { return roiManager; }
    bool ShowCurrentRoi() override
    {
        m_log.push_back("ShowCurrentRoi");
        return true;
    }
    bool RunChooseRoiDialog() override { return false; }
    void RunComputePixelsPerMmDialog(double) override {}
    ModelessWindow &AdjustBoundaries() override { return boundaries; }
    void InitAdjustBoundaries(CImageView *) override {}
    ModelessWindow &ParamsDialog() override { return projectionParams; }
    bool GetParamsFromControls(ProjectionAnalysisParams &) override { return false; }

    static void Install(const std::shared_ptr<FakeTools> &tools)
    {
        InstallToolFakes(tools, &tools->fractionation, &tools->projectionTool);
    }

  private:
    CallLog &m_log;

  public:
    RecordingWindow roiManager, boundaries, projectionParams;
    RecordingTool<StubFractionationWindow> fractionation;
    RecordingTool<StubProjectionToolWindow> projectionTool;
};

class FakeDevices : public StubAllDevices
{
  public:
    explicit FakeDevices(CallLog &log)
        : m_log(log), controlPanel("ControlPanel", log), digitalIo("DigitalIo", log),
          pumpInformation("PumpInformation", log), zaber("Zaber", log)
    {
    }
    bool DetectSerialDevices(CPlexorinApp &, FILE *) override
    {
        m_log.push_back("DetectSerialDevices");
        if (detectResults.empty())
            return false;
        bool result = detectResults.front();
        detectResults.pop_front();
        return result;
    }
    bool CaptureSingleImageSet(EString &error, int, cv::Mat **) override
    {
        m_log.push_back("CaptureSingleImageSet");
        error.Assign("No camera initialized.");
        return false;
    }
    bool CaptureFirstActiveImageType(cv::Mat &, int index, int32_t exposure, const char *name, EString &error,
                                     const char *passThrough) override
    {
        m_log.push_back("CaptureFirstActiveImageType:" + std::to_string(index) + ":" +
                        std::to_string(exposure) + ":" + name + ":" + passThrough);
        if (!captureResult)
            error.Assign("capture failed");
        return captureResult;
    }
    bool ImposeCartridgeTypeOffsets(const char *, const char *barcode, EString &) override
    {
        m_log.push_back(std::string("ImposeCartridgeTypeOffsets:") + barcode);
        return true;
    }
    bool CheckDiskSpaceForWorkflow(EString &message) override
    {
        m_log.push_back("CheckDiskSpaceForWorkflow");
        if (!diskSpaceOk)
            message.Assign("Recommended disk space for this operation is 10 GB. You have 2 GB available.");
        return diskSpaceOk;
    }
    bool CheckCapturePeriod(EString &message) override
    {
        m_log.push_back("CheckCapturePeriod");
        if (!capturePeriodOk)
            message.Assign(capturePeriodMessage.c_str());
        return capturePeriodOk;
    }
    void SetImageCaptureEvent() override
    {
        ++captureEvents;
        m_log.push_back("SetImageCaptureEvent");
    }
    bool RunExperimentSettingsDialog() override
    {
        m_log.push_back("ExperimentSettingsDlg");
        return false;
    }
    bool RunPromptForExperimentNameDialog() override
    {
        m_log.push_back("PromptForExperimentNameDlg");
        return experimentNameOk;
    }
    bool RunSelectCartridgeDialog(const char *barcode, EString &partNumber) override
    {
        m_log.push_back(std::string("SelectCartridgeDlg:") + barcode);
        if (cartridgeOk)
            partNumber.Assign(cartridgePart.c_str());
        return cartridgeOk;
    }
    ModelessWindow &ControlPanel() override { return controlPanel; }
    void SetControlPanelAdminMode(bool on) override
    {
        m_log.push_back(on ? "ControlPanelAdmin:on" : "ControlPanelAdmin:off");
    }
    ModelessWindow &DigitalIoConfiguration() override { return digitalIo; }
    ModelessWindow &PumpInformation() override { return pumpInformation; }
    ModelessWindow &ZaberControlPanel() override { return zaber; }

  private:
    CallLog &m_log;

  public:
    RecordingWindow controlPanel, digitalIo, pumpInformation, zaber;
    std::deque<bool> detectResults;
    bool captureResult = true;
    bool diskSpaceOk = true;
    bool capturePeriodOk = true;
    std::string capturePeriodMessage;
    bool experimentNameOk = false;
    bool cartridgeOk = true;
    std::string cartridgePart = "CT2-100";
    int captureEvents = 0;
};

class FakeScripts : public StubScripts
{
  public:
    explicit FakeScripts(CallLog &log)
        : m_log(log), waitWithTimer("WaitWithTimer", log), informOperator("InformOperator", log),
          scriptsList("ScriptsList", log), systemState("SystemState", log),
          variableWatch("VariableWatch", log)
    {
    }
    ModelessWindow &WaitWithTimer() override { return waitWithTimer; }
    ModelessWindow &InformOperator() override { return informOperator; }
    ModelessWindow &ScriptsList() override { return scriptsList; }
    ModelessWindow &SystemState() override { return systemState; }
    ModelessWindow &VariableWatch() override { return variableWatch; }
    void UpdateScriptsListButtons() override { m_log.push_back("UpdateScriptsListButtons"); }

  private:
    CallLog &m_log;

  public:
    RecordingWindow waitWithTimer, informOperator, scriptsList, systemState, variableWatch;
};

class FakeOperatorScreen : public StubOperatorScreen
{
  public:
    explicit FakeOperatorScreen(CallLog &log)
        : m_log(log), screen("CustomerUI", log), scripts("CUIScripts", log)
    {
    }
    ModelessWindow &Screen() override { return screen; }
    ModelessWindow &ScriptsDialog() override { return scripts; }
    bool Reload(const char *scriptPath, std::string &error) override
    {
        m_log.push_back(std::string("Reload:") + scriptPath);
        if (!reloadOk)
            error = "CustomerUI::Reload() - script failed";
        return reloadOk;
    }

  private:
    CallLog &m_log;

  public:
    RecordingWindow screen, scripts;
    bool reloadOk = true;
};

class FakeExperiment : public StubExperiment
{
  public:
    explicit FakeExperiment(CallLog &log) : m_log(log), video("Video", log), contrast("Contrast", log) {}
    ModelessWindow &VideoTool() override { return video; }
    ModelessWindow &ContrastTool() override { return contrast; }
    bool RunMontageDialog(std::string &name, std::string &folder) override
    {
        m_log.push_back("MontageDlg");
        if (!montageDialogOk)
            return false;
        name = montageName;
        folder = montageFolder;
        return true;
    }
    bool CreateMontageImage(int &resultCode, const char *folder, bool switchA, bool switchB, const char *name,
                            EString &error) override
    {
        m_log.push_back(std::string("CreateMontageImage:") + folder + ":" + (switchA ? "on" : "off") + ":" +
                        (switchB ? "on" : "off") + ":" + name);
        resultCode = montageOk ? 0 : 3;
        if (!montageOk)
            error.Assign("no images");
        return montageOk;
    }

  private:
    CallLog &m_log;

  public:
    RecordingWindow video, contrast;
    bool montageDialogOk = true;
    bool montageOk = true;
    std::string montageName = "Flow";
    std::string montageFolder = "/exp/E1";
};

// Records what is started instead of starting it; every lookup of a registered application fails,
// so a file is handed to the desktop's opener.
class RecordingLauncher : public platform::ProcessLauncher
{
  public:
    bool Start(const std::string &program, const std::vector<std::string> &args, std::string *) override
    {
        std::string call = program;
        for (const std::string &arg : args)
            call += " " + arg;
        started.push_back(call);
        return true;
    }
    bool Run(const std::string &, const std::vector<std::string> &, std::string *, int *,
             std::string *) override
    {
        return false;
    }
    std::vector<std::string> started;
};

// Answers the modal dialogs that open while it lives, in order: each step gets the dialog once.
class ModalDriver
{
  public:
    using Step = std::function<void(QDialog &)>;
    explicit ModalDriver(std::vector<Step> steps) : m_steps(steps.begin(), steps.end())
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Poll(); });
        m_timer.start(5);
    }
    size_t Remaining() const { return m_steps.size(); }
    int Seen() const { return m_seen; }

  private:
    void Poll()
    {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog || dialog->property("answered").toBool())
            return;
        dialog->setProperty("answered", true);
        ++m_seen;
        if (m_steps.empty()) {
            dialog->reject();
            return;
        }
        Step step = std::move(m_steps.front());
        m_steps.pop_front();
        step(*dialog);
    }

    std::deque<Step> m_steps;
    QTimer m_timer;
    int m_seen = 0;
};

class MainFrameFixture : public ::testing::Test
{
  protected:
    MainFrameFixture()
        : m_tools(std::make_shared<FakeTools>(m_calls)), m_devices(std::make_shared<FakeDevices>(m_calls)),
          m_scripts(std::make_shared<FakeScripts>(m_calls)),
          m_screen(std::make_shared<FakeOperatorScreen>(m_calls)),
          m_experiment(std::make_shared<FakeExperiment>(m_calls)),
          m_analysisTools(std::make_shared<FakeAnalysisTools>(m_calls)),
          m_launcher(std::make_shared<RecordingLauncher>())
    {
        FakeTools::Install(m_tools);
        InstallDeviceFakes(m_devices);
        InstallScriptServices(m_scripts);
        InstallOperatorScreenServices(m_screen);
        InstallExperimentServices(m_experiment);
        InstallAnalysisToolWindows(m_analysisTools);
        m_previousLauncher = platform::SetLauncher(m_launcher);

        std::filesystem::create_directories(m_dir.file("LOG"));
        SetLogDataDirectory(m_dir.str().c_str());
        m_app.m_data_directory = m_dir.str();
        m_app.m_ini_path = m_dir.file("Plexorin.ini");
        m_app.m_users_ini_path = m_dir.file("Users.ini");
        m_app.m_analysis_mode = true;
        WriteSettings("");
        _active_roi.Set(ImageRect{});
    }

    ~MainFrameFixture() override
    {
        DocumentManager::Instance().CloseAllDocuments();
        m_frame.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
        DocumentManager::Instance().SetMdiArea(nullptr);
        SetInvalidateAllViewsHook(nullptr);
        InstallImageViewLinks(ImageViewLinks{});
        while (_render_list.TakeOldest()) {
        }
        _active_roi.Set(ImageRect{});
        SerialPortFailureCallback = nullptr;
        RemoveToolServices();
        UninstallDeviceServices();
        InstallScriptServices(nullptr);
        InstallOperatorScreenServices(nullptr);
        InstallExperimentServices(nullptr);
        InstallAnalysisToolWindows(nullptr);
        platform::SetLauncher(m_previousLauncher);
        platform::ClearFakeClock();
        SetLogDataDirectory("");
    }

    // The main settings file: the given lines.
    void WriteSettings(const std::string &text) { WriteFileBytes(m_app.m_ini_path, text); }

    CMainFrame &Frame()
    {
        if (!m_frame)
            m_frame = std::make_unique<CMainFrame>(m_app);
        return *m_frame;
    }
    // Makes the frame anew, as the program does at start, with the settings and flags as they are.
    CMainFrame &NewFrame()
    {
        DocumentManager::Instance().CloseAllDocuments();
        m_frame.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return Frame();
    }

    std::vector<std::string> MessageTexts() const { return test::MessageTexts(*m_ui); }

    // Today's error log; empty when none was written.
    std::string ErrorLogText() const { return test::ErrorLogText(m_dir.str()); }

    size_t Count(const std::string &call) const
    {
        size_t n = 0;
        for (const std::string &c : m_calls)
            n += c == call;
        return n;
    }

    // Where screenshots go: $VANTELIS_TEST_OUTPUT, else "output" in the current folder.
    static std::string ScreenshotPath(const std::string &name)
    {
        const char *configured = std::getenv("VANTELIS_TEST_OUTPUT");
        const std::filesystem::path folder = configured && *configured
                                                 ? std::filesystem::path(configured)
                                                 : std::filesystem::current_path() / "output";
        std::filesystem::create_directories(folder);
        return (folder / name).string();
    }

    // Runs the event loop until nothing is pending.
    static void Settle()
    {
        for (int i = 0; i < 5; ++i) {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QCoreApplication::processEvents();
        }
    }

    TempDir m_dir;
    ScopedFakeUi m_ui;
    CallLog m_calls;
    CPlexorinApp m_app;
    std::shared_ptr<FakeTools> m_tools;
    std::shared_ptr<FakeDevices> m_devices;
    std::shared_ptr<FakeScripts> m_scripts;
    std::shared_ptr<FakeOperatorScreen> m_screen;
    std::shared_ptr<FakeExperiment> m_experiment;
    std::shared_ptr<FakeAnalysisTools> m_analysisTools;
    std::shared_ptr<RecordingLauncher> m_launcher;
    std::shared_ptr<platform::ProcessLauncher> m_previousLauncher;
    std::unique_ptr<CMainFrame> m_frame;
};

} // namespace vantelis::test::mainframe
