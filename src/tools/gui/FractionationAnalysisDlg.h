#pragma once
// The fractionation tool window ("Fractionation Analysis"): the user picks an image folder and a
// filter, selects the images to analyse in the folder's list, chooses background images in the
// image selection grid, a projection parameter set and a region of interest, and starts the run,
// which a worker thread carries out and reports (FractionationRun). One-shot timers:
//   1000 save the settings, 1001 refill the file list, 1002 load the folder's capture log,
//   1003 show the chosen ROI in the views, 1004 read the folder's calibration lines.
// While the window is visible the image view draws its parameters and calibration lines; the
// renderer reads them from a locked copy of the controls, never from the widgets.
// The window is hidden, never destroyed, until the program ends.
// moc cannot parse the C++20 headers behind these; it needs none of them.
#ifndef Q_MOC_RUN
#include "tools/FractionationInputs.h"
#include "tools/ImageFolderLog.h"
#include "tools/gui/ImageSelectionDlg.h"
#endif
#include "tools/GuardedCalibrationLines.h"
#include "tools/gui/ToolWindowKit.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace fractionation_id {
constexpr int kDirectory = 1216;
constexpr int kBrowse = 1009;
constexpr int kFilter = 1217;
constexpr int kFileList = 1221;
constexpr int kProjectionParams = 1344;
constexpr int kRoi = 1362;
constexpr int kSelectBackground = 1367;
constexpr int kBackgroundCount = 1373;
constexpr int kBrightField = 1389;
constexpr int kPreview = 1375;
constexpr int kOpenLog = 1376;
constexpr int kRoiManager = 1395;
constexpr int kRun = 1036;
constexpr int kCancel = 2;
constexpr int kStatus = 1071;
// Read and written with the settings, but the window has no such field: its text is always empty.
constexpr int kChannelDivider = 1385;
} // namespace fractionation_id

class FractionationAnalysisDlg : public ToolWindow
{
    Q_OBJECT
  public:
    static constexpr int kSaveTimer = 1000;
    static constexpr int kFillListTimer = 1001;
    static constexpr int kLoadLogTimer = 1002;
    static constexpr int kShowRoiTimer = 1003;
    static constexpr int kCalibrationTimer = 1004;

    explicit FractionationAnalysisDlg(QWidget *parent = nullptr);
    // Waits for a run that is still going.
    ~FractionationAnalysisDlg() override;

    // Copies an older settings section if needed, loads the settings, shows the flow split.
    void OnInitDialog();
    void LoadSettings();
    void SaveSettings();
    void OnDropDownProjectionParams();
    void OnDropDownRoi();
    void OnBrowseDirectory();
    void OnSelectBackgroundImages();
    void OnPreview();
    void OnOpenLogFile();
    void OnRoiManager();
    void OnRun();
    void DisableControls();
    void EnableControls();
    // The selected images and the background images as full paths.
    bool GetSelectedImages(std::vector<std::string> &paths) const;
    int GetBackgroundImages(std::vector<std::string> &paths) const;

    // Any thread: the renderer and the run read these.
    bool LoadRunParams(ProjectionAnalysisParams &params, EString &error) const;
    bool ResolveRoi(int32_t rect[4], EString &name, EString &error) const;
    CalibrationLines CalibrationRows() const;
    // The view placed a calibration line while the window is visible. User-interface thread.
    bool SaveCalibrationLine(const char *lineName, int32_t row);
    bool LoadImageFolderCalibration();

    // Whether a run's worker is going; waits for it to end (then applies what it posted).
    bool RunActive() const { return m_running.load(); }
    void WaitForRun();

    const LogFileData &Log() const { return m_log; }
    const std::vector<std::string> &BackgroundNames() const { return m_background_names; }
    bool BrightFieldMember() const { return m_bright_field; }

    // Runs the image selection grid over the items; true on OK. Tests replace it.
    std::function<bool(ImageFileItemArray &items)> m_run_selection_grid;
    // Opens the report or the log with the application registered for ".xls". Tests replace it.
    std::function<void(const std::string &path)> m_open_file;

    // The timer's work, as when it fires.
    void OnTimer(int id) override;

  protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

  private:
    void BuildControls();
    void RefreshLiveControls();
    // The selected entries as grid items; false, after telling the user, when none is selected.
    bool SelectionItems(ImageFileItemArray &items);
    void ApplyChannelDividerField();
    void ReportError(int line, const std::string &message);
    std::vector<std::string> SelectedEntries() const;

    bool m_bright_field = true; // the run always treats the images as bright-field images
    bool m_loading_settings = false;
    LogFileData m_log;
    std::vector<std::string> m_background_names;

    // What the renderer and the run may read from another thread.
    mutable std::mutex m_live_mutex;
    FractionationControls m_live;
    GuardedCalibrationLines m_lines;

    std::thread m_worker;
    std::atomic<bool> m_running{false};
};
