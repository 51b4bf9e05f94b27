#pragma once
// The counting tool window ("Counting Algorithm"): tunes circular cell counting on the image of the
// active view, keeps named parameter sets LIB/<name>.counting_params, shows when the controls
// differ from the saved set, and runs the counting with its result files. Everything runs on the
// user-interface thread, driven by control notifications and five one-shot timers:
//   1000 run, 1001 autosave into the main settings file, 1002 load the chosen set,
//   1003 unsaved-change check, 1004 preview rectangle from the ROI edits.
// The window is hidden, never destroyed, until the program ends.
#include "tools/CountingParams.h"
#include "tools/gui/ToolWindowKit.h"

#include <functional>
#include <string>

class QComboBox;
class QLineEdit;

// Fills combo 1214 of a tool window with the names of the sets in <data>/LIB, sorted; the text in
// the combo stays until the user picks a name. The counting and the parameter-sweep windows share it.
void ListCountingParamSets(QWidget *dialog);

class CountingAlgorithmDlg : public ToolWindow
{
    Q_OBJECT
  public:
    static constexpr int kRunTimer = 1000;
    static constexpr int kAutoSaveTimer = 1001;
    static constexpr int kLoadTimer = 1002;
    static constexpr int kUnsavedCheckTimer = 1003;
    static constexpr int kPreviewTimer = 1004;

    explicit CountingAlgorithmDlg(QWidget *parent = nullptr);
    ~CountingAlgorithmDlg() override;

    // Loads the remembered set of the main settings file.
    void OnInitDialog();
    bool LoadParamsFromFile(const std::string &path);
    // path empty: the main settings file. False, writing nothing, while a load fills the controls,
    // and when the target cannot be written (error then says why).
    bool SaveParamsToFile(const std::string &path, std::string *error = nullptr);
    void CheckForUnsavedChanges();
    void OnSave();
    void OnDone();
    // One counting run on the active view.
    void process_image();
    void ShowUpperMagnet();
    void ShowLowerMagnet();
    void RestartAutoRunTimer();
    // Fills the set list from the LIB folder.
    void ListCountingParamSets();
    // A set was chosen from the list: autosave and load follow.
    void OnParamSetCloseUp();
    // The spin bar beside an edit: up adds its step, down subtracts it, within its bounds.
    void OnVScroll(int scrollBarId, bool up);

    // The controls as values.
    CountingControls Snapshot() const;

    // Opens a written summary; the application registered for ".xls" unless a test replaces it.
    std::function<void(const std::string &)> m_open_summary;

  protected:
    void OnTimer(int id) override;
    void showEvent(QShowEvent *event) override;

  private:
    void BuildControls();
    void OnParamChanged();
    void OnRoiChanged();
    void OnResultsOptionClicked();
    void OnPreviewTimer();
    void ResetActiveRoiUnlessOwn();
    void Report(const std::string &message, bool errorIcon);
    std::string LibFolder() const;
    std::string SetPath(const std::string &name) const;

    bool m_loading = false;
};
