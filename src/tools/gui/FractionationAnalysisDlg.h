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
#endif
#include "tools/gui/FolderToolWindow.h"

#include <functional>
#include <mutex>
#include <string>

namespace fractionation_id {
constexpr int kDirectory = folder_tool_id::kDirectory;
constexpr int kBrowse = folder_tool_id::kBrowse;
constexpr int kFilter = folder_tool_id::kFilter;
constexpr int kFileList = folder_tool_id::kFileList;
constexpr int kProjectionParams = 1344;
constexpr int kRoi = folder_tool_id::kRoi;
constexpr int kSelectBackground = folder_tool_id::kSelectBackground;
constexpr int kBackgroundCount = folder_tool_id::kBackgroundCount;
constexpr int kBrightField = 1389;
constexpr int kPreview = folder_tool_id::kPreview;
constexpr int kOpenLog = 1376;
constexpr int kRoiManager = 1395;
constexpr int kRun = folder_tool_id::kRun;
constexpr int kCancel = 2;
constexpr int kStatus = folder_tool_id::kStatus;
// Read and written with the settings, but the window has no such field: its text is always empty.
constexpr int kChannelDivider = 1385;
} // namespace fractionation_id

class FractionationAnalysisDlg : public FolderToolWindow
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
    void SaveSettings() override;
    void OnDropDownProjectionParams();
    void OnDropDownRoi();
    void OnOpenLogFile();
    void OnRun();
    void DisableControls() override;
    void EnableControls();

    // Any thread: the renderer and the run read these.
    bool LoadRunParams(ProjectionAnalysisParams &params, EString &error) const;
    bool ResolveRoi(int32_t rect[4], EString &name, EString &error) const;

    // Waits for a run's worker to end (then applies what it posted).
    void WaitForRun();

    const LogFileData &Log() const { return m_log; }
    bool BrightFieldMember() const { return m_bright_field; }

    // Opens the report or the log with the application registered for ".xls". Tests replace it.
    std::function<void(const std::string &path)> m_open_file;

    // The timer's work, as when it fires.
    void OnTimer(int id) override;

  protected:
    void showEvent(QShowEvent *event) override;

  private:
    void BuildControls();
    void RefreshLiveControls();
    void ApplyChannelDividerField();

    bool m_bright_field = true; // the run always treats the images as bright-field images
    bool m_loading_settings = false;
    LogFileData m_log;

    // What the renderer and the run may read from another thread.
    mutable std::mutex m_live_mutex;
    FractionationControls m_live;
};
