#pragma once
// The shape shared by the tool windows that run one analysis over chosen images of a folder (the
// meniscus finder and the focus tool): folder edit 1216 with its "..." picker, filter edit 1217,
// the sorted multi-selection list of matching files, progress text 1071, Run 1036 and Stop 1037.
// The folder and filter are kept in the main settings file under the window's section.
//
// A run takes a snapshot of the folder and the selected names on the user-interface thread and
// hands it to one worker thread. The worker reaches the window only through Post* (the GUI seam),
// and Stop only sets a flag that the worker tests between images. The window is hidden, never
// destroyed, until the program ends; destroying it stops and joins a running worker.
#include "tools/gui/ToolWindowKit.h"

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

class ImageFolderBatchDlg : public ToolWindow
{
    Q_OBJECT
  public:
    static constexpr int kFolder = 1216;
    static constexpr int kFilter = 1217;
    static constexpr int kProgress = 1071;
    static constexpr int kRun = 1036;
    static constexpr int kStop = 1037;

    ~ImageFolderBatchDlg() override;

    // Writes Directory and Filter unless the edits are being filled from the settings; false then.
    bool SaveSettings();
    // Refills the list from the folder and filter edits.
    void FillImageList();
    // The texts of the selected entries, in list order.
    std::vector<std::string> SelectedImages() const;
    // Whether a worker is running (from the start of a run until its end is posted back).
    bool IsRunning() const { return m_running; }
    void OnBrowse();
    void OnStop() { m_stop = true; }

    // Opens a written report; the application registered for the window's extension unless a test
    // replaces it. Called on the worker thread.
    std::function<void(const std::string &)> m_open_report;

  protected:
    // listId: the list's control id; browseId: the "..." button's.
    ImageFolderBatchDlg(const char *title, const char *section, int browseId, int listId,
                        const char *browseTitle);

    // Fills the edits from the settings (their change notifications follow, with saving held off).
    void LoadSettings();
    // Called for every change of the folder or filter edit.
    virtual void OnSettingChanged() = 0;

    // Disables the inputs, enables Stop, clears the stop flag and starts work on the worker thread.
    void StartWorker(std::function<void()> work);
    // From the worker: set the progress text; end the run (inputs back, Stop disabled, progress
    // cleared).
    void PostProgress(const std::string &text);
    void PostRunEnded();

    std::atomic<bool> m_stop{false};
    std::string m_folder;
    std::vector<std::string> m_selected_images;

  private:
    void EnableInputs(bool enable);

    const char *m_section;
    int m_browse_id;
    int m_list_id;
    const char *m_browse_title;
    bool m_settings_loading = false;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_worker_done{true};
    std::thread m_worker;
};
