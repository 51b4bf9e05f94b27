#pragma once
// The epi-counting parameter editor ("Epi Cell Counting Algo"): edits the parameters of
// epi-illumination cell counting, keeps them as named sets LIB/<name>.epi_counting_params, and
// previews the counting on the image of the active view when Run is pressed. Everything runs on
// the user-interface thread, driven by control notifications and four one-shot timers:
//   1001 preview, 1002 load the chosen set, 1003 unsaved-change check, 1004 preview rectangle.
// A set counts as changed when the digest of the values the controls show differs from the digest
// taken at the last load or save. The window is hidden, never destroyed, until the program ends.
#ifndef Q_MOC_RUN
#include "analysis/EpiCellCounting.h"
#endif
#include "tools/gui/ToolWindowKit.h"

#include <string>

namespace epi_id {
constexpr int kParamSetName = 1075;
constexpr int kUseBgImage = 1234;
constexpr int kDarkPct0 = 1235;
constexpr int kDarkPct1 = 1236;
constexpr int kMinPixelCount = 1237;
constexpr int kMinSize = 1238;
constexpr int kMaxRatio = 1239;
constexpr int kLeft = 1040;
constexpr int kRight = 1209;
constexpr int kTop = 1042;
constexpr int kBottom = 1210;
constexpr int kShowThreshold0 = 1241;
constexpr int kShowThreshold1 = 1242;
constexpr int kShowFoundObjects = 1243;
constexpr int kRun = 1219;
constexpr int kSave = 1080;
constexpr int kDone = 2;
} // namespace epi_id

class EpiCellCountingAlgoDlg : public ToolWindow
{
    Q_OBJECT
  public:
    static constexpr int kPreviewTimer = 1001;
    static constexpr int kLoadTimer = 1002;
    static constexpr int kUnsavedCheckTimer = 1003;
    static constexpr int kPreviewRoiTimer = 1004;

    explicit EpiCellCountingAlgoDlg(QWidget *parent = nullptr);
    ~EpiCellCountingAlgoDlg() override;

    // Loads the set named in the combo (the remembered one when the combo is blank).
    void OnInitDialog();
    // The file of the set name (the combo's text when name is null). False, with error set, for a
    // name that cannot be a file name inside LIB, or when LIB cannot be made.
    bool GetParamSetPath(std::string &path, std::string &error, const std::string *name = nullptr);
    bool LoadParamSet(std::string &error);
    void ParamsToControls();
    void ControlsToParams();
    bool SaveParamSet(std::string &error, const std::string *name = nullptr);
    bool RunPreview(std::string &error);
    void UpdateSaveButton();

    void OnRun();
    // True when the set was saved; false when the name was refused or the save failed.
    bool OnSave();
    void OnDone();
    void OnParamSetDropDown();
    void OnParamSetCloseUp();

    // The view's active region, shown in the ROI edits while the window is visible.
    void ShowActiveRoi(int32_t left, int32_t top, int32_t right, int32_t bottom);

    const EpiCellCountingParams &Params() const { return m_params; }
    const std::string &CurrentSetName() const { return m_current_set_name; }

    // Escape and the close box act as Done.
    void reject() override { OnDone(); }

  protected:
    void OnTimer(int id) override;
    void showEvent(QShowEvent *event) override;

  private:
    void BuildControls();
    // Whether m_params differs from the set as last loaded or saved (their digests differ).
    bool ParamsDifferFromSet() const;
    void OnParamChanged();
    void OnRoiChanged();
    void OnPreviewRoiTimer();
    void Report(const std::string &message);

    bool m_loading = false;
    std::string m_current_set_name;
    EpiCellCountingParams m_params;
};
