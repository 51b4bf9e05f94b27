#pragma once
// What the fractionation and projection tool windows share: an image folder edit with its browse
// button, a filter and the folder's image list; background images picked from the selected ones in
// the image selection grid; a ROI list and the ROI manager; the folder's calibration lines, which
// the image view draws and places while the window is visible; and one run at a time on a worker
// thread. Each window lays out its own controls (with the ids below) and keeps its own settings,
// checks and run; this class does the rest.
//
// One-shot timers (their ids are the window's own, given in FolderToolSetup): save fires
// SaveSettings, fill list refills the image list, show ROI makes the chosen ROI the displayed one,
// calibration reads the folder's calibration lines. A window with more timers handles its own and
// passes the others on to FolderToolWindow::OnTimer.
//
// A window derived from this one calls EndWindow first in its destructor: the worker must end, and
// the children must stop calling in, before the window's own members go.
// moc cannot parse the C++20 headers behind these; it needs none of them.
#ifndef Q_MOC_RUN
#include "tools/gui/ImageSelectionDlg.h"
#endif
#include "tools/GuardedCalibrationLines.h"
#include "tools/gui/ToolWindowKit.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

class QBoxLayout;
class QComboBox;
class QHBoxLayout;
class QLineEdit;

namespace folder_tool_id {
constexpr int kDirectory = 1216;
constexpr int kBrowse = 1009;
constexpr int kFilter = 1217;
constexpr int kFileList = 1221;
constexpr int kRoi = 1362;
constexpr int kSelectBackground = 1367;
constexpr int kBackgroundCount = 1373;
constexpr int kPreview = 1375;
constexpr int kRun = 1036;
constexpr int kStatus = 1071;
} // namespace folder_tool_id

struct FolderToolSetup
{
    const char *caption; // the window's title and its message boxes' caption
    const char *section; // its section of the main settings file, and the source of its logged errors
    int saveTimer;
    int fillListTimer;
    int showRoiTimer;
    int calibrationTimer;
    // The selection grid gets the folder without the blanks around it.
    bool trimGridFolder;
};

class FolderToolWindow : public ToolWindow
{
    Q_OBJECT
  public:
    ~FolderToolWindow() override;

    virtual void SaveSettings() = 0;
    // Disables the run's inputs as the run starts; the window enables them again when it has ended.
    virtual void DisableControls() = 0;

    void OnBrowseDirectory();
    void OnRoiManager();
    // Picks the background images among the selected ones in the selection grid; the run and the
    // preview are enabled when there is at least one.
    void OnSelectBackgroundImages();
    // Shows the selected images in the selection grid.
    void OnPreview();

    // The background names joined to the folder edit's text.
    int GetBackgroundImages(std::vector<std::string> &paths) const;
    const std::vector<std::string> &BackgroundNames() const { return m_background_names; }

    // Any thread: the folder's calibration rows as last read or placed.
    CalibrationLines CalibrationRows() const;
    // The view placed a calibration line while the window is visible. User-interface thread.
    bool SaveCalibrationLine(const char *lineName, int32_t row);
    bool LoadImageFolderCalibration();

    bool RunActive() const { return m_running.load(); }

    // Runs the image selection grid over the items; true on OK. Tests replace it.
    std::function<bool(ImageFileItemArray &items)> m_run_selection_grid;

    // The timer's work, as when it fires.
    void OnTimer(int id) override;

  protected:
    FolderToolWindow(const FolderToolSetup &setup, QWidget *parent);

    // Waits for the run, then cuts the drop-down lists and the other children off from the window.
    // The derived window's destructor calls it first; calling it again does nothing more.
    void EndWindow();

    // Waits for the last run's worker, disables the run's inputs and runs work on a new worker;
    // RunActive holds from here until work has returned.
    void StartRun(std::function<void()> work);
    // Waits until the worker has ended; its last reports may still be on their way to the window.
    void JoinRun();

    // Reads a setting of the window's section, of at most size - 1 characters.
    std::string ReadSetting(const char *key, const char *defaultValue, uint32_t size) const;
    void WriteSetting(const char *key, const std::string &value) const;
    // Logs the message and shows it with an error icon.
    void ReportError(int line, const std::string &message) const;

    // The "bg image count" label and its read-only count field, added to row.
    QLineEdit *AddBackgroundCount(QBoxLayout *row);
    // The status line at the end of runRow, runRow below the rest, and the image list at the bottom.
    void AddStatusAndImageList(QBoxLayout *layout, QHBoxLayout *runRow);

    // The names of the ROI list in the main settings file.
    std::vector<std::string> SavedRoiNames() const;
    // The LIB folder beside the main settings file.
    static std::string LibFolder();
    // Fills a combo with names in the order of a sorted list (ignoring case), keeping its text.
    static void FillSorted(QComboBox *combo, std::vector<std::string> names);

    std::vector<std::string> SelectedEntries() const;

    // Shows the chosen ROI shortly after the window appears.
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

    const char *Caption() const { return m_setup.caption; }
    const char *Section() const { return m_setup.section; }

  private:
    // The selected entries as grid items; false, after telling the user, when none is selected.
    bool SelectionItems(ImageFileItemArray &items);

    FolderToolSetup m_setup;
    std::vector<std::string> m_background_names;
    GuardedCalibrationLines m_lines;

    std::thread m_worker;
    std::atomic<bool> m_running{false};
};
