#pragma once
// Shared fixture of the application start-up tests: a documents folder of its own (through
// VANTELIS_DOCUMENTS), a lock folder of its own (XDG_RUNTIME_DIR), the recording message box, a
// recording framework seam and recording stand-ins for the subsystems the start-up calls.
#include "app/DeviceServices.h"
#include "app/ExperimentServices.h"
#include "app/GuiSeam.h"
#include "app/OperatorScreenServices.h"
#include "app/PlexorinApp.h"
#include "app/ScriptServices.h"

#include "support/FakeUi.h"
#include "support/TempDir.h"

#include "Ostravo/LogError.h"
#include "Ostravo/Profile.h"
#include "Ostravo/ProfileEncryption.h"
#include "platform/Files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace vantelis::test {

// The repository folder, from where this source file lies.
inline std::string RepositoryFolder()
{
    return std::filesystem::path(__FILE__).parent_path().parent_path().parent_path().string();
}

// The settings template that ships with the program.
inline std::string ShippedTemplatePath()
{
    return RepositoryFolder() + "/res/data/Default/Vantelis.ini";
}

// A settings text that passes the full check, with extra lines added at the end.
inline std::string ValidSettingsText(const std::string &extra = std::string())
{
    return "[CalibrationSettings]\r\nimage_pixels_per_mm=500\r\n[TecanCentris]\r\nPump2SyringeVolume=5000\r\n"
           "[AutoScale]\r\nLowMappingDisplayIntensity=25\r\n" +
           extra;
}

// Sets an environment variable for the lifetime of the object and puts the old value back.
class ScopedEnv
{
  public:
    ScopedEnv(const char *name, const std::string &value) : m_name(name)
    {
        if (const char *old = std::getenv(name)) {
            m_had = true;
            m_old = old;
        }
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv()
    {
        if (m_had)
            ::setenv(m_name.c_str(), m_old.c_str(), 1);
        else
            ::unsetenv(m_name.c_str());
    }
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;

  private:
    std::string m_name;
    std::string m_old;
    bool m_had = false;
};

// Calls are appended to one log, so that tests can check their order.
using CallLog = std::vector<std::string>;

class RecordingWindow : public ModelessWindow
{
  public:
    RecordingWindow(std::string name, CallLog &log) : m_name(std::move(name)), m_log(log) {}
    bool HasWindow() const override { return m_exists; }
    bool Create(bool visible) override
    {
        m_log.push_back(m_name + (visible ? ".Create(visible)" : ".Create(hidden)"));
        m_exists = true;
        m_visible = visible;
        return true;
    }
    bool IsVisible() const override { return m_visible; }
    void Show(bool show) override
    {
        m_log.push_back(m_name + (show ? ".Show" : ".Hide"));
        m_visible = show;
    }
    bool m_exists = false;
    bool m_visible = false;

  private:
    std::string m_name;
    CallLog &m_log;
};

class RecordingDocumentTemplate : public DocumentTemplate
{
  public:
    explicit RecordingDocumentTemplate(CallLog &log) : m_log(log) {}
    std::vector<OpenDocument> Documents() const override { return m_documents; }
    void PostCloseDocument(size_t index) override { m_log.push_back("Close:" + std::to_string(index)); }
    std::vector<OpenDocument> m_documents;

  private:
    CallLog &m_log;
};

class RecordingFramework : public AppFramework
{
    CallLog &m_log;

  public:
    explicit RecordingFramework(CallLog &log) : m_log(log), m_template(log) {}
    bool PrepareFramework(std::string &) override
    {
        m_log.push_back("PrepareFramework");
        return true;
    }
    DocumentTemplate *CreateDocumentTemplate() override
    {
        m_log.push_back("CreateDocumentTemplate");
        return &m_template;
    }
    bool CreateMainFrame() override
    {
        m_log.push_back("CreateMainFrame");
        m_mainWindow = true;
        return true;
    }
    bool HasMainWindow() const override { return m_mainWindow; }
    void PostCommand(int commandId, intptr_t parameter) override
    {
        m_log.push_back("PostCommand:" + std::to_string(commandId) + ":" + std::to_string(parameter));
    }
    bool SaveReferenceImage(const std::string &path, std::string &, bool closeAfter) override
    {
        m_log.push_back("SaveReferenceImage:" + path + (closeAfter ? ":close" : ":keep"));
        return true;
    }
    void WakeIdle() override {}
    bool FrameworkIdle(int32_t count) override
    {
        m_log.push_back("FrameworkIdle:" + std::to_string(count));
        return false;
    }
    void ExitFramework() override { m_log.push_back("ExitFramework"); }

    bool m_mainWindow = false;
    RecordingDocumentTemplate m_template;
};

class RecordingExperiment : public ExperimentServices
{
    CallLog &m_log;

  public:
    explicit RecordingExperiment(CallLog &log)
        : m_log(log), m_video("VideoDlg", log), m_contrast("ContrastDlg", log)
    {
    }
    bool RunExperimentAnalysis(int type, const char *folder, bool switchA, bool switchB, const char *output,
                               EString &error) override
    {
        m_log.push_back("RunExperimentAnalysis:" + std::to_string(type) + ":" + folder + ":" +
                        (switchA ? "on" : "off") + ":" + (switchB ? "on" : "off") + ":" + output);
        if (!m_result)
            error.Assign(m_error.c_str());
        return m_result;
    }
    ModelessWindow &VideoTool() override { return m_video; }
    ModelessWindow &ContrastTool() override { return m_contrast; }
    bool RunMontageDialog(std::string &, std::string &) override { return false; }
    bool CreateMontageImage(int &, const char *, bool, bool, const char *, EString &) override
    {
        return false;
    }
    bool FillImageList(const char *, const char *, std::vector<std::string> &) override { return false; }

    bool m_result = true;
    std::string m_error;
    RecordingWindow m_video;
    RecordingWindow m_contrast;
};

class RecordingDevices : public DeviceServices
{
  public:
    explicit RecordingDevices(CallLog &log)
        : m_log(log), m_controlPanel("ControlPanelDlg", log), m_digitalIo("DigitalIOConfigurationDlg", log),
          m_pumpInformation("PumpInformationDlg", log), m_zaber("ZaberControlPanel", log)
    {
    }
    bool CheckInstrumentPower() override
    {
        m_log.push_back("CheckInstrumentPower");
        return true;
    }
    bool LoadDigitalIoMapping(EString &) override
    {
        m_log.push_back("LoadDigitalIoMapping");
        return true;
    }
    bool DetectSerialDevices(CPlexorinApp &, FILE *) override
    {
        m_log.push_back("DetectSerialDevices");
        return true;
    }
    bool LoadCartridgeTypes(EString &) override
    {
        m_log.push_back("LoadCartridgeTypes");
        return true;
    }
    bool CaptureSingleImageSet(EString &, int, cv::Mat **) override { return false; }
    bool CaptureFirstActiveImageType(cv::Mat &, int, int32_t, const char *, EString &, const char *) override
    {
        return false;
    }
    bool ImposeCartridgeTypeOffsets(const char *, const char *, EString &) override { return false; }
    bool AddImageToExperiment(const cv::Mat &, int, EString &) override { return false; }
    bool CheckDiskSpaceForWorkflow(EString &) override { return false; }
    bool CheckCapturePeriod(EString &) override { return false; }
    void SetImageCaptureEvent() override {}
    bool RunCameraSettingsDialog() override { return false; }
    bool RunExperimentSettingsDialog() override { return false; }
    bool RunPromptForExperimentNameDialog() override { return false; }
    bool RunSelectCartridgeDialog(const char *, EString &) override { return false; }
    ModelessWindow &ControlPanel() override { return m_controlPanel; }
    void SetControlPanelAdminMode(bool) override {}
    ModelessWindow &DigitalIoConfiguration() override { return m_digitalIo; }
    ModelessWindow &PumpInformation() override { return m_pumpInformation; }
    ModelessWindow &ZaberControlPanel() override { return m_zaber; }
    BrightnessAtTargetRequest &BrightnessRequest() override { return m_brightness; }
    void SetBrightnessTestEvent() override {}
    std::vector<VideoSymbol> VisibleVideoSymbols() override { return {}; }
    void DrawVideoSymbol(const VideoSymbol &, DrawingSurface &, const Pen &,
                         const VideoSymbolFrame &) override
    {
    }

  private:
    CallLog &m_log;
    RecordingWindow m_controlPanel, m_digitalIo, m_pumpInformation, m_zaber;
    BrightnessAtTargetRequest m_brightness;
};

class RecordingScripts : public ScriptServices
{
  public:
    explicit RecordingScripts(CallLog &log)
        : m_waitWithTimer("WaitWithTimerDlg", log), m_informOperator("InformOperatorDlg", log),
          m_scripts("ScriptsDlg", log), m_systemState("SystemStateDlg", log),
          m_variableWatch("VariableWatchDlg", log)
    {
    }
    ModelessWindow &WaitWithTimer() override { return m_waitWithTimer; }
    ModelessWindow &InformOperator() override { return m_informOperator; }
    ModelessWindow &ScriptsList() override { return m_scripts; }
    ModelessWindow &SystemState() override { return m_systemState; }
    ModelessWindow &VariableWatch() override { return m_variableWatch; }
    void UpdateScriptsListButtons() override {}
    std::vector<ScriptInstanceInfo> ScriptInstances() override { return {}; }
    bool IsScriptRunning(uint32_t, std::string &) override { return false; }
    size_t TakeCaptureLogHeaderLines(std::vector<EString> &) override { return 0; }

  private:
    RecordingWindow m_waitWithTimer, m_informOperator, m_scripts, m_systemState, m_variableWatch;
};

class RecordingOperatorScreen : public OperatorScreenServices
{
  public:
    explicit RecordingOperatorScreen(CallLog &log)
        : m_log(log), m_screen("CustomerUI", log), m_scripts("CUIScriptsDlg", log)
    {
    }
    ModelessWindow &Screen() override { return m_screen; }
    ModelessWindow &ScriptsDialog() override { return m_scripts; }
    int32_t State() override { return 0; }
    void LiveImageArea(int32_t *, double *) override {}
    IntensityControl *CheckedIntensityControl() override { return nullptr; }
    void UpdateFlowSplitText(bool) override {}
    std::shared_ptr<RenderTarget> LiveImageTarget() override { return nullptr; }
    bool FeedHistogram(const uint16_t *, size_t, uint16_t &, uint16_t &, std::string &) override
    {
        return false;
    }
    bool Reload(const char *scriptPath, std::string &) override
    {
        m_log.push_back(std::string("Reload:") + scriptPath);
        return true;
    }

  private:
    CallLog &m_log;
    RecordingWindow m_screen, m_scripts;
};

// A fresh documents folder, lock folder and message box per test, with the recording framework
// and subsystem stand-ins installed (each test may put a placeholder back by installing nullptr).
class AppStartupFixture : public ::testing::Test
{
  protected:
    AppStartupFixture()
        : m_documentsEnv("VANTELIS_DOCUMENTS", m_documents.str()),
          m_runtimeEnv("XDG_RUNTIME_DIR", m_runtime.str())
    {
        std::filesystem::permissions(m_runtime.path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::replace);
        m_framework = std::make_shared<RecordingFramework>(m_calls);
        m_experiment = std::make_shared<RecordingExperiment>(m_calls);
        m_devices = std::make_shared<RecordingDevices>(m_calls);
        m_scripts = std::make_shared<RecordingScripts>(m_calls);
        m_operatorScreen = std::make_shared<RecordingOperatorScreen>(m_calls);
        SetFramework(m_framework);
        InstallExperimentServices(m_experiment);
        InstallDeviceServices(m_devices);
        InstallScriptServices(m_scripts);
        InstallOperatorScreenServices(m_operatorScreen);
    }

    ~AppStartupFixture() override
    {
        m_app.reset();
        SetFramework(nullptr);
        InstallExperimentServices(nullptr);
        InstallDeviceServices(nullptr);
        InstallScriptServices(nullptr);
        InstallOperatorScreenServices(nullptr);
        // Process-wide state that start-up sets: the next test starts from none of it.
        SerialPortFailureCallback = nullptr;
        ProfileReadHook = nullptr;
        ProfileWriteHook = nullptr;
        UnregisterEncryptedProfile("Plexorin.ini");
        UnregisterEncryptedProfile("Users.ini");
        SetLogDataDirectory("");
        SetLogMainSettingsPath("");
    }

    std::string Quorvane() const { return m_documents.file("Quorvane"); }
    std::string Data() const { return m_documents.file("Quorvane/Vantelis"); }
    std::string DataFile(const std::string &name) const { return Data() + "/" + name; }

    // The installed data folder with the shipped template, as an installer leaves it.
    void SeedDataFolder()
    {
        std::filesystem::create_directories(DataFile("Default"));
        std::filesystem::copy_file(ShippedTemplatePath(), DataFile("Default/Vantelis.ini"));
    }

    // Start-up with the given arguments after the program name; the application object is kept
    // until the test ends (it holds the single-instance lock).
    bool Start(const std::vector<std::string> &arguments = {})
    {
        std::vector<std::string> args{"vantelis"};
        args.insert(args.end(), arguments.begin(), arguments.end());
        m_app = std::make_unique<CPlexorinApp>();
        bool ok = m_app->InitInstance(args);
        m_app->ExitInstance();
        return ok;
    }

    // The message texts shown so far.
    std::vector<std::string> MessageTexts() const
    {
        std::vector<std::string> texts;
        for (const FakeUi::Message &message : m_ui->Messages())
            texts.push_back(message.text);
        return texts;
    }

    // Today's error log, or empty when none was written.
    std::string ErrorLogText() const
    {
        std::string text;
        for (const platform::DirEntry &entry : platform::ListFolder(DataFile("LOG"), "Err_*.log"))
            text += ReadFileBytes(DataFile("LOG/" + entry.name));
        return text;
    }

    bool Called(const std::string &call) const
    {
        for (const std::string &c : m_calls)
            if (c == call)
                return true;
        return false;
    }

    TempDir m_documents;
    TempDir m_runtime;
    ScopedEnv m_documentsEnv;
    ScopedEnv m_runtimeEnv;
    ScopedFakeUi m_ui;
    CallLog m_calls;
    std::shared_ptr<RecordingFramework> m_framework;
    std::shared_ptr<RecordingExperiment> m_experiment;
    std::shared_ptr<RecordingDevices> m_devices;
    std::shared_ptr<RecordingScripts> m_scripts;
    std::shared_ptr<RecordingOperatorScreen> m_operatorScreen;
    std::unique_ptr<CPlexorinApp> m_app;
};

} // namespace vantelis::test
