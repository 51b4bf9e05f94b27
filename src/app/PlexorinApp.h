#pragma once
// The application object: the state every part of the program reads (folders, settings paths,
// version strings, mode flags, device ports, the camera, background images) and the start-up that
// prepares them. A plain object: the steps that make windows go through the framework seam
// (app/GuiSeam.h), so the headless command line runs the same start-up without a display.
#include "Ostravo/EString.h"
#include "platform/Clock.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace cv {
class Mat;
}
namespace platform {
class SingleInstanceLock;
}
class CameraInterface;
class DocumentTemplate;

class CPlexorinApp
{
  public:
    CPlexorinApp();
    virtual ~CPlexorinApp();
    CPlexorinApp(const CPlexorinApp &) = delete;
    CPlexorinApp &operator=(const CPlexorinApp &) = delete;

    // The start-up. args are the program's arguments as main() receives them (the program
    // first). False ends the process; no window stays.
    virtual bool InitInstance(const std::vector<std::string> &args);
    // Serves at most one queued request of the worker threads; true asks for another idle call.
    virtual bool OnIdle(int32_t count);
    // The normal exit: stops the worker threads and writes what the cached logs still hold.
    virtual int ExitInstance();

    // True for the headless command line: exactly five arguments after the program.
    static bool IsHeadlessCommandLine(const std::vector<std::string> &args);

    // The main settings file's life at start-up.
    bool CreateSettingsFileIfMissing();
    // Validates the main settings file and restores it from the backup when it is corrupt;
    // false (after the instructions) when it cannot be restored.
    bool ValidateOrRestoreSettingsFile();
    // Profile log, rand.bin, the profile hooks and the registration of encrypted profiles.
    bool SetUpProfileEncryption(bool &rand_missing);
    // Detects and sets up the serial devices, writing its report into log (or its own log when
    // null). In analysis mode it opens no port and writes only its banner and report lines.
    bool InitializeSerialPortDevices(FILE *log);

    // Cartridge ROI of a settings file (the main one for an empty path): left, top, right, bottom.
    void GetCartridgeRoi(int flag, std::string path, int32_t rect[4]);

    // Members, in their defined order; other parts read and write them directly.
    CameraInterface *m_camera = nullptr;
    DocumentTemplate *m_doc_template = nullptr;
    std::string m_data_directory;
    std::string m_ini_path;
    std::string m_session_log_path;
    std::string m_version;
    std::string m_version_short;
    std::string m_build;
    std::string m_product_name = "Vantelis";
    std::string m_live_image_title;
    std::string m_users_ini_path;
    int32_t m_min_capture_spacing_ms = 100;
    EString m_exe_directory;
    EString m_customer_ui_directory;
    struct
    {
        int32_t width = 0;
        int32_t height = 0;
    } m_customer_ui_size;
    std::array<cv::Mat *, 4> m_background_images{};
    int32_t m_pump_port = 0;
    int32_t m_stage_port = 0;
    int32_t m_stage_baud = 0;
    EString m_cartridge_barcode;
    bool m_admin_mode = false;
    bool m_analysis_mode = false;
    // Written on the GUI thread, read on script and capture threads.
    std::atomic<bool> m_workflow_running{false};
    int32_t m_workflow_capture_count = -1;
    platform::LocalTime m_workflow_time{};
    int32_t m_active_image_type_index = -1;

    // The application id the framework knows the program by.
    std::string m_app_id = "Plexorin.AppID.NoVersion";
    // Set by the program before start-up: as soon as the main settings path is known, a fatal
    // fault writes a crash dump into DMP beside it. Tests leave it off, so that a fault in a test
    // process reaches the sanitizers' own handlers.
    bool m_install_crash_dump_handler = false;

  private:
    // Logs text with the caller's source line, shows it with the error icon; returns false.
    bool Fail(const std::string &text, int32_t line);
    // Shows text in a plain message box.
    void Show(const std::string &text);
    // Makes one folder level when it is missing.
    bool MakeFolderOrFail(const std::string &folder, int32_t line);
    bool RunHeadless(const std::vector<std::string> &args);
    void LogCameraDefaults();
    void CloseSessionLog();
    void StopWorkerThreads();

    std::unique_ptr<platform::SingleInstanceLock> m_instance_lock;
    FILE *m_session_log = nullptr;
    bool m_framework_prepared = false;
    bool m_cached_logging_started = false;
    bool m_render_thread_started = false;
};

extern CPlexorinApp theApp;
