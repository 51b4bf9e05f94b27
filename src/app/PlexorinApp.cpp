#include "app/PlexorinApp.h"

#include "app/AppGlobals.h"
#include "app/AppServices.h"
#include "app/DeviceServices.h"
#include "app/ExperimentServices.h"
#include "app/GuiSeam.h"
#include "app/OperatorScreenServices.h"
#include "app/RunUserInterface.h"
#include "app/ScriptServices.h"

#include "BuildVersion.h"
#include "Ostravo/CachedLog.h"
#include "Ostravo/CrashDump.h"
#include "Ostravo/KeyFallback.h"
#include "Ostravo/LogError.h"
#include "Ostravo/Profile.h"
#include "Ostravo/ProfileEncryption.h"
#include "Ostravo/ProfileValues.h"
#include "Ostravo/TextFormat.h"
#include "platform/Files.h"
#include "platform/SingleInstance.h"
#include "platform/SystemInfo.h"
#include "platform/Ui.h"

#include <opencv2/core.hpp>

namespace {

const char *const kInstanceLockName = "FD3E7E1F-3A0D-45B0-858D-58FA175E6DD7";

// A write hook that never takes a write over, so every write goes to the file itself.
bool WriteNotHandled(const char *, const char *, const char *, const char *)
{
    return false;
}

} // namespace

CPlexorinApp::CPlexorinApp() = default;

CPlexorinApp::~CPlexorinApp()
{
    CloseSessionLog();
    delete m_camera;
    m_camera = nullptr;
    for (cv::Mat *&image : m_background_images) {
        delete image;
        image = nullptr;
    }
}

bool CPlexorinApp::IsHeadlessCommandLine(const std::vector<std::string> &args)
{
    return args.size() == 6;
}

bool CPlexorinApp::Fail(const std::string &text, int32_t line)
{
    LogError(__FILE_NAME__, line, text);
    platform::ui::MessageBox(text, m_product_name, platform::ui::MbOk | platform::ui::MbIconError);
    return false;
}

void CPlexorinApp::Show(const std::string &text)
{
    platform::ui::MessageBox(text, m_product_name);
}

bool CPlexorinApp::MakeFolderOrFail(const std::string &folder, int32_t line)
{
    if (platform::FolderExists(folder) || platform::MakeFolder(folder))
        return true;
    return Fail("Unable to create directory: " + folder, line);
}

bool CPlexorinApp::InitInstance(const std::vector<std::string> &args)
{
    // This build never drives the instrument.
    m_analysis_mode = true;

    // A write that meets the file-size limit fails with its error instead of ending the process
    // halfway through a file.
    platform::IgnoreFileSizeLimitSignal();

    // One instance at a time per user and data folder. The folder is only named here: a second
    // instance ends without touching it.
    const std::string dataDirectory = platform::DocumentsFolder() + "/Quorvane/Vantelis";
    m_instance_lock = std::make_unique<platform::SingleInstanceLock>(kInstanceLockName, dataDirectory);
    if (!m_instance_lock->Acquire()) {
        m_instance_lock.reset();
        Show("Another instance of Vantelis is already running.");
        return false;
    }

    // The data folder, one level only: its parent belongs to the installation.
    m_data_directory = dataDirectory;
    SetLogDataDirectory(m_data_directory.c_str());
    if (!MakeFolderOrFail(m_data_directory, __LINE__))
        return false;

    // Settings path and the program's folders.
    m_ini_path = m_data_directory + "/Plexorin.ini";
    m_exe_directory.Assign((platform::ProgramFolder() + "/").c_str());
    m_customer_ui_directory.JoinPath(m_exe_directory.c_str(), "CustomerUI");

    // Version strings from the build.
    m_version =
        FormatText("%d.%d.%d.%d", VANTELIS_VERSION_MAJOR, VANTELIS_VERSION_MINOR, VANTELIS_VERSION_PATCH, 0);
    m_version_short =
        FormatText("%d.%d.%d", VANTELIS_VERSION_MAJOR, VANTELIS_VERSION_MINOR, VANTELIS_VERSION_PATCH);
    m_build = FormatText("%d", 0);
    SetLogVersion(m_version.c_str());

    // One reading of the clock names the session log.
    platform::LocalTime now = platform::Now();

    // LOG, then the session log in it.
    std::string logFolder = m_data_directory + "/LOG";
    if (!MakeFolderOrFail(logFolder, __LINE__))
        return false;

    // The session log stays open until its column header is written.
    m_session_log_path = FormatText("%s/%d%02d%02d-%02d%02d-%02d.log", logFolder.c_str(), now.year, now.month,
                                    now.day, now.hour, now.minute, now.second);
    m_session_log = std::fopen(m_session_log_path.c_str(), "wb");
    if (!m_session_log)
        return Fail(FormatText("Unable to create file: %s", m_session_log_path.c_str()), __LINE__);

    // Tmp, LIB and Backup.
    EString folder;
    folder.JoinPath(m_data_directory.c_str(), "Tmp");
    if (!MakeFolderOrFail(folder.c_str(), __LINE__))
        return false;
    folder.JoinPath(m_data_directory.c_str(), "LIB");
    if (!MakeFolderOrFail(folder.c_str(), __LINE__))
        return false;
    if (!MakeFolderOrFail(m_data_directory + "/Backup", __LINE__))
        return false;

    // Settings paths.
    _settings_ini_path = m_data_directory + "/Plexorin.ini";
    SetProfileKeyFallbackSettingsPath(_settings_ini_path.c_str());
    SetLogMainSettingsPath(_settings_ini_path.c_str());
    m_users_ini_path = m_data_directory + "/Users.ini";

    // Crash dumps go beside the main settings file; the program goes on without them.
    if (m_install_crash_dump_handler) {
        EString crashError;
        if (!InstallCrashDumpHandler(BuildBanner().c_str(), crashError))
            LogError(__FILE_NAME__, __LINE__, crashError.c_str());
    }

    // Encryption, then the main settings file; without rand.bin the encryption set-up is
    // tried again once the settings file is in place.
    bool randMissing = false;
    SetUpProfileEncryption(randMissing);
    if (!CreateSettingsFileIfMissing())
        return false;
    if (!ValidateOrRestoreSettingsFile())
        return false;
    if (randMissing) {
        bool ignored = false;
        SetUpProfileEncryption(ignored);
    }

    // The headless command line never makes a window.
    if (IsHeadlessCommandLine(args))
        return RunHeadless(args);

    // Framework, document template and main frame.
    AppFramework *framework = Framework();
    if (!framework)
        return Fail("CPlexorinApp::InitInstance() - no window system is available for the main window.",
                    __LINE__);
    std::string frameworkError;
    m_framework_prepared = true;
    if (!framework->PrepareFramework(frameworkError)) {
        Show(frameworkError);
        return false;
    }
    m_doc_template = framework->CreateDocumentTemplate();
    if (!m_doc_template)
        return false;
    if (!framework->CreateMainFrame())
        return false;

    // Power check.
    if (!m_analysis_mode && !InstrumentPower().CheckInstrumentPower())
        return false;

    // Cached logging; the program goes on without it when it cannot start.
    EString cachedLogError;
    if (InitializeCachedLogging(cachedLogError))
        m_cached_logging_started = true;
    else
        Fail(cachedLogError.c_str(), __LINE__);

    // The render thread (its list, semaphore and event are globals built before start-up).
    m_render_thread_started = StartRenderThread();

    // Digital I/O mapping.
    if (!m_analysis_mode) {
        EString ioError;
        if (!DeviceSettings().LoadDigitalIoMapping(ioError)) {
            std::string text =
                std::string(ioError.c_str()) +
                "\n\nPlease close the application, power cycle the KD4 (and make sure it is on), wait "
                "for 30 seconds and then restart Plexorin.  \n\nIf problem persists, record the error "
                "message and contact Quorvane support at support@quorvane.example.";
            Fail(text, __LINE__);
        }
    }

    // Serial devices, with the failure callback off while they are scanned.
    SerialPortFailureCallback = nullptr;
    InitializeSerialPortDevices(m_session_log);
    SerialPortFailureCallback = OnSerialPortFailure;

    // Camera defaults.
    if (!m_analysis_mode && m_camera)
        LogCameraDefaults();

    // The session log's column header ends it.
    std::fputs(ToCrLfText("ImageFile\tDate\tTime\tExposure(us)\tStatus\tError\n").c_str(), m_session_log);
    CloseSessionLog();

    // The modeless windows that exist from the start, hidden.
    Scripts().WaitWithTimer().Create(false);
    Scripts().InformOperator().Create(false);
    Scripts().ScriptsList().Create(false);
    OperatorScreen().Screen().Create(false);

    // Cartridge types, before a start-up script can ask for them.
    EString cartridgeError;
    if (!Capture().LoadCartridgeTypes(cartridgeError))
        Fail(cartridgeError.c_str(), __LINE__);

    // The operator screen at start-up; only "TRUE" in any letter case counts, and only in
    // analysis mode.
    char runOnStartup[9];
    Ostravo::E_GetPrivateProfileString("CustomerUI", "RunOnStartup", "", runOnStartup, sizeof runOnStartup,
                                       m_ini_path.c_str());
    if (CompareText(runOnStartup, "TRUE", 0, 0) && m_analysis_mode)
        RunUserInterface(*this);

    // The event loop runs.
    return true;
}

bool CPlexorinApp::RunHeadless(const std::vector<std::string> &args)
{
    const std::string &option = args[1];
    int type = -1;
    if (option == "-v")
        type = AnalysisVideo;
    else if (option == "-m")
        type = AnalysisMontage;
    else if (option == "-f")
        type = AnalysisMontageThenFractionation;

    // A request that fails says why on standard error and in the error log, so that the caller
    // of the command line learns it.
    std::string error;
    if (type < 0) {
        error = "CPlexorinApp::InitInstance() - unknown analysis option: " + option +
                " (expected -v, -m or -f, then the experiment folder, two true/false switches and the output "
                "name)";
    } else {
        EString analysisError;
        if (Experiment().RunExperimentAnalysis(type, args[2].c_str(), args[3] == "true", args[4] == "true",
                                               args[5].c_str(), analysisError))
            return true;
        error = analysisError.IsNonEmpty()
                    ? analysisError.c_str()
                    : "RunExperimentAnalysis() - the analysis failed without a reason.";
    }
    LogError(__FILE_NAME__, __LINE__, error);
    std::fprintf(stderr, "%s\n", error.c_str());
    std::fflush(stderr);
    return false;
}

void CPlexorinApp::LogCameraDefaults()
{
    EString model, serial, error;
    m_camera->GetModelName(model, error);
    m_camera->GetSerialNumber(serial, error);
    double temperature = 0.0;
    bool haveTemperature = m_camera->GetTemperature(temperature, error);
    GetMinTimeBetweenCaptureEvents();

    std::string section = std::string(model.c_str()) + " Settings";
    const int32_t exposure =
        Ostravo::ReadProfileInt(section.c_str(), "DefaultExposure", 0, m_ini_path.c_str());
    if (exposure != 0) {
        EString exposureError;
        if (!m_camera->SetExposure(static_cast<float>(exposure), exposureError))
            Fail(exposureError.c_str(), __LINE__);
    }

    std::string lines = FormatText("CameraModel=%s\tSN=%s\n", model.c_str(), serial.c_str());
    lines += haveTemperature ? FormatText("Camera TC\t%5.2lf\n", temperature)
                             : FormatText("Camera TC\t%s\n", "NA");
    std::fputs(ToCrLfText(lines).c_str(), m_session_log);
}

void CPlexorinApp::CloseSessionLog()
{
    if (m_session_log) {
        std::fclose(m_session_log);
        m_session_log = nullptr;
    }
}

void CPlexorinApp::StopWorkerThreads()
{
    if (m_render_thread_started) {
        StopRenderThread();
        m_render_thread_started = false;
    }
    // The cached-log worker goes last: whatever the other threads logged is still written.
    if (m_cached_logging_started) {
        ShutdownCachedLogging();
        m_cached_logging_started = false;
    }
}

int CPlexorinApp::ExitInstance()
{
    if (AppFramework *framework = Framework(); framework && m_framework_prepared)
        framework->ExitFramework();
    m_framework_prepared = false;
    // Worker threads stop, and the cached logs are written, before any global is destroyed.
    StopWorkerThreads();
    CloseSessionLog();
    return 0;
}

bool CPlexorinApp::SetUpProfileEncryption(bool &rand_missing)
{
    rand_missing = false;
    platform::LocalTime today = platform::Now();

    std::string profileLog = FormatText("%s/LOG/EncryptedProfile_%04u_%02u_%02u.log",
                                        m_data_directory.c_str(), static_cast<unsigned>(today.year),
                                        static_cast<unsigned>(today.month), static_cast<unsigned>(today.day));
    EString message;
    if (!Ostravo::E_SetErrorLog(profileLog.c_str(), message))
        Fail(message.IsNonEmpty() ? std::string(message.c_str())
                                  : "Ostravo::E_SetErrorLog() unable to open file: " + profileLog,
             __LINE__);

    std::string randFile = m_data_directory + "/rand.bin";
    if (!platform::FileExists(randFile)) {
        rand_missing = true;
        return false;
    }
    message.Assign("");
    if (!Ostravo::E_LoadRandomFile(randFile.c_str(), message))
        return Fail(message.c_str(), __LINE__);

    ProfileReadHook = ProfileKeyFallback;
    ProfileWriteHook = WriteNotHandled;

    for (const std::string &profile : {m_ini_path, m_users_ini_path}) {
        if (!platform::FileExists(profile))
            continue;
        bool enciphered = false;
        message.Assign("");
        if (!Ostravo::E_IsFileEncrypted(profile.c_str(), enciphered, message)) {
            Fail(message.c_str(), __LINE__);
            continue;
        }
        if (enciphered) {
            EString nameWithExtension;
            if (nameWithExtension.SplitPath(profile.c_str(), 0, 1, 1))
                RegisterEncryptedProfile(nameWithExtension.c_str());
        }
    }
    Ostravo::E_RemoveRedundantSections(m_ini_path.c_str());
    return true;
}
