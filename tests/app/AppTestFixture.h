#pragma once
// Shared fixture of the application start-up tests: a documents folder of its own (through
// VANTELIS_DOCUMENTS, which also keys the one-instance lock), a runtime folder of its own
// (XDG_RUNTIME_DIR), the recording message box, a recording framework seam and recording
// stand-ins for the subsystems the start-up calls.
#include "app/GuiSeam.h"
#include "app/PlexorinApp.h"
#include "support/ServiceFakes.h"

#include "support/FakeUi.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

#include "Ostravo/LogError.h"
#include "Ostravo/Profile.h"
#include "Ostravo/ProfileEncryption.h"
#include "platform/Files.h"
#include "platform/SingleInstance.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

namespace vantelis::test {

// The repository folder, as the build names it.
inline std::string RepositoryFolder()
{
    return VANTELIS_SOURCE_DIR;
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

// Tool windows of the start-up fakes note whether they were made visible.
class StartupWindow : public RecordingWindow
{
  public:
    StartupWindow(std::string name, CallLog &log) : RecordingWindow(std::move(name), log, true) {}
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

class RecordingExperiment : public StubExperiment
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

    bool m_result = true;
    std::string m_error;
    StartupWindow m_video;
    StartupWindow m_contrast;
};

class RecordingDevices : public StubAllDevices
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
    ModelessWindow &ControlPanel() override { return m_controlPanel; }
    ModelessWindow &DigitalIoConfiguration() override { return m_digitalIo; }
    ModelessWindow &PumpInformation() override { return m_pumpInformation; }
    ModelessWindow &ZaberControlPanel() override { return m_zaber; }

  private:
    CallLog &m_log;
    StartupWindow m_controlPanel, m_digitalIo, m_pumpInformation, m_zaber;
};

class RecordingScripts : public StubScripts
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

  private:
    StartupWindow m_waitWithTimer, m_informOperator, m_scripts, m_systemState, m_variableWatch;
};

class RecordingOperatorScreen : public StubOperatorScreen
{
  public:
    explicit RecordingOperatorScreen(CallLog &log)
        : m_log(log), m_screen("CustomerUI", log), m_scripts("CUIScriptsDlg", log)
    {
    }
    ModelessWindow &Screen() override { return m_screen; }
    ModelessWindow &ScriptsDialog() override { return m_scripts; }
    bool Reload(const char *scriptPath, std::string &) override
    {
        m_log.push_back(std::string("Reload:") + scriptPath);
        return true;
    }

  private:
    CallLog &m_log;
    StartupWindow m_screen, m_scripts;
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
        InstallDeviceFakes(m_devices);
        InstallScriptServices(m_scripts);
        InstallOperatorScreenServices(m_operatorScreen);
    }

    ~AppStartupFixture() override
    {
        m_app.reset();
        // The one-instance lock file of this test's data folder lies under /tmp: it goes with the test.
        ::unlink(platform::SingleInstanceLock("FD3E7E1F-3A0D-45B0-858D-58FA175E6DD7", Data())
                     .LockFilePath()
                     .c_str());
        SetFramework(nullptr);
        InstallExperimentServices(nullptr);
        UninstallDeviceServices();
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
    std::vector<std::string> MessageTexts() const { return test::MessageTexts(*m_ui); }

    // Today's error log, or empty when none was written.
    std::string ErrorLogText() const { return test::ErrorLogText(Data()); }

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
