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
#include "tools/gui/FolderToolWindow.h"

#include <functional>
#include <string>

namespace projection_tool_id {
constexpr int kDirectory = folder_tool_id::kDirectory;
constexpr int kBrowse = folder_tool_id::kBrowse;
constexpr int kFilter = folder_tool_id::kFilter;
constexpr int kFileList = folder_tool_id::kFileList;
constexpr int kParams = 1344;
constexpr int kEditParams = 1396;
constexpr int kRoi = folder_tool_id::kRoi;
constexpr int kRoiManager = 1397;
constexpr int kLPCurve = 1220;
constexpr int kOpenLPCurve = 1082;
constexpr int kGdConc = 1249;
constexpr int kOpenSummary = 1232;
constexpr int kSelectBackground = folder_tool_id::kSelectBackground;
constexpr int kBackgroundCount = folder_tool_id::kBackgroundCount;
constexpr int kPreview = folder_tool_id::kPreview;
constexpr int kRun = folder_tool_id::kRun;
constexpr int kStop = 1037;
constexpr int kStatus = folder_tool_id::kStatus;
} // namespace projection_tool_id

class ProjectionBatchWindow : public FolderToolWindow
{
    Q_OBJECT
  public:
    static constexpr int kSaveTimer = 1000;
    static constexpr int kFillListTimer = 1001;
    static constexpr int kShowRoiTimer = 1002;
    static constexpr int kCalibrationTimer = 1003;

    explicit ProjectionBatchWindow(QWidget *parent = nullptr);
    // Waits for a run that is still going.
    ~ProjectionBatchWindow() override;

    void OnInitDialog();
    void LoadSettings();
    void SaveSettings() override;
    void OnDropDownParams();
    void OnDropDownRoi();
    void OnDropDownLPCurve();
    void OnOpenLPCurve();
    void OnEditParams();
    void OnRun();
    void DisableControls() override;
    void EnableControls();

    // The capture log the last run read. User-interface thread.
    const std::string &CaptureLogPath() const { return m_capture_log; }
    // Waits until the worker has ended; its last reports may still be on their way to the window.
    void WaitForRun() { JoinRun(); }

    // Opens the Analysis file with the application registered for ".xls"; called on the worker
    // thread. Tests replace it.
    std::function<void(const std::string &path)> m_open_summary;
    // Opens the LP curve file with the application registered for text files. Tests replace it.
    std::function<void(const std::string &path)> m_open_text;

  protected:
    void showEvent(QShowEvent *event) override;

  private:
    void BuildControls();

    bool m_saving = false;
    std::string m_capture_log;
};
