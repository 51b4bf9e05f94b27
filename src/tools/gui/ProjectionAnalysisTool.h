#pragma once
// "Projection Analysis Tool": the user picks an image folder and a filter, selects images in the
// folder's list, chooses a projection parameter set, a named ROI, an LP curve and the Gd
// concentration, picks background images in the image selection grid, and starts the batch run
// (ProjectionBatchRun), which a worker thread carries out.
// One-shot timers: 1000 save the settings, 1001 refill the file list, 1002 make the chosen ROI
// the active one, 1003 read the folder's calibration rows.
// While the window is visible the image view draws its four calibration rows and a calibration
// line placed in a view is stored in the folder's settings file through this window. The
// renderer reads the rows from a locked copy, never from the widgets. The window is hidden, never
// destroyed, until the program ends.
#ifndef Q_MOC_RUN
#include "analysis/LPCurve.h"
#include "analysis/ProjectionAnalysis.h"
#include "app/ToolServices.h"
#include "app/ViewGlobals.h"
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

namespace projection_tool_id {
constexpr int kDirectory = 1216;
constexpr int kBrowse = 1009;
constexpr int kFilter = 1217;
constexpr int kFileList = 1221;
constexpr int kParams = 1344;
constexpr int kEditParams = 1396;
constexpr int kRoi = 1362;
constexpr int kRoiManager = 1397;
constexpr int kLPCurve = 1220;
constexpr int kOpenLPCurve = 1082;
constexpr int kGdConc = 1249;
constexpr int kOpenSummary = 1232;
constexpr int kSelectBackground = 1367;
constexpr int kBackgroundCount = 1373;
constexpr int kPreview = 1375;
constexpr int kRun = 1036;
constexpr int kStop = 1037;
constexpr int kStatus = 1071;
} // namespace projection_tool_id

class ProjectionAnalysisTool : public ToolWindow
{
    Q_OBJECT
  public:
    static constexpr int kSaveTimer = 1000;
    static constexpr int kFillListTimer = 1001;
    static constexpr int kShowRoiTimer = 1002;
    static constexpr int kCalibrationTimer = 1003;

    explicit ProjectionAnalysisTool(QWidget *parent = nullptr);
    // Waits for a run that is still going.
    ~ProjectionAnalysisTool() override;

    void OnInitDialog();
    void LoadSettings();
    void SaveSettings();
    void OnDropDownParams();
    void OnDropDownRoi();
    void OnDropDownLPCurve();
    void OnOpenLPCurve();
    void OnBrowseDirectory();
    void OnEditParams();
    void OnRoiManager();
    void OnSelectBackgroundImages();
    void OnPreview();
    void OnRun();
    void DisableControls();
    void EnableControls();

    // The background names joined to the folder edit's text.
    int GetBackgroundImages(std::vector<std::string> &paths) const;
    // Any thread: the folder's four rows as last read or placed.
    CalibrationLines CalibrationRows() const;
    // The view placed a calibration line while the window is visible. User-interface thread.
    bool SaveCalibrationLine(const char *lineName, int32_t row);
    bool LoadImageFolderCalibration();

    const std::vector<std::string> &BackgroundNames() const { return m_background_names; }
    // The capture log the last run read. User-interface thread.
    const std::string &CaptureLogPath() const { return m_capture_log; }
    bool RunActive() const { return m_running.load(); }
    // Waits until the worker has ended; its last reports may still be on their way to the window.
    void WaitForRun();

    // Runs the image selection grid over the items; true on OK. Tests replace it.
    std::function<bool(ImageFileItemArray &items)> m_run_selection_grid;
    // Opens the Analysis file with the application registered for ".xls"; called on the worker
    // thread. Tests replace it.
    std::function<void(const std::string &path)> m_open_summary;
    // Opens the LP curve file with the application registered for text files. Tests replace it.
    std::function<void(const std::string &path)> m_open_text;

    void OnTimer(int id) override;

  protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

  private:
    void BuildControls();
    std::vector<std::string> SelectedEntries() const;
    bool SelectionItems(ImageFileItemArray &items);
    void Refuse(int line, const std::string &message);
    std::string LibFolder() const;

    bool m_saving = false;
    std::vector<std::string> m_background_names;
    std::string m_capture_log;

    GuardedCalibrationLines m_lines;

    std::thread m_worker;
    std::atomic<bool> m_running{false};
};
