#pragma once
// The image-analysis tool window ("Image Analysis Tool"): the user picks a folder, a filter and
// images, and the circular, epi and LP curve sets from the LIB folder, and runs the batch image
// analysis over the chosen images on its worker thread, with progress and Stop. The fields are
// remembered in [ImageAnalysisTool] of the main settings file. One-shot timers:
//   1000 save the settings, 1001 refill the image list, 1002 look for acquisition settings.
// The window is hidden, never destroyed, until the program ends.
#ifndef Q_MOC_RUN
#include "tools/ImageAnalysisToolRun.h"
#include "tools/gui/ToolWindowKit.h"
#endif

#include <memory>
#include <string>

namespace image_analysis_id {
constexpr int kDirectory = 1216;
constexpr int kBrowse = 1009;
constexpr int kFilter = 1217;
constexpr int kFiles = 1221;
constexpr int kCircularSet = 1218;
constexpr int kEditCircular = 1080;
constexpr int kEpiSet = 1219;
constexpr int kEditEpi = 1081;
constexpr int kLPCurveSet = 1220;
constexpr int kEditLPCurve = 1082;
constexpr int kGdConc = 1249;
constexpr int kOpenSummary = 1232;
constexpr int kUseAcquisitionSettings = 1348;
constexpr int kRun = 1036;
constexpr int kStop = 1037;
constexpr int kStatus = 1071;
} // namespace image_analysis_id

class ImageAnalysisToolDlg : public ToolWindow
{
    Q_OBJECT
  public:
    static constexpr int kSaveTimer = 1000;
    static constexpr int kFileListTimer = 1001;
    static constexpr int kAcquisitionTimer = 1002;

    explicit ImageAnalysisToolDlg(QWidget *parent = nullptr);
    ~ImageAnalysisToolDlg() override;

    void LoadSettings();
    void SaveSettings();
    void UpdateRunButton();
    void DisableControls();
    void EnableControls();
    // Checks the choices and starts the run; every refusal is a message box.
    void Run();
    void OnStop();
    void OnBrowse();
    // Refills a set list from the LIB folder (its drop-down).
    void ListSets(int comboId);
    // Opens the chosen set file of a combo with the application registered for ".txt".
    void OnEditSet(int comboId);
    // Shows or hides the acquisition-settings box for the folder field.
    void CheckAcquisitionSettings();

    // Whether a run goes: Stop is enabled only then.
    bool Running() const { return IsControlEnabled(image_analysis_id::kStop); }

  protected:
    void OnTimer(int id) override;
    void showEvent(QShowEvent *event) override;

  private:
    void BuildControls();
    std::string LibFolder() const;
    void Refuse(const ImageAnalysisToolRefusal &refusal);

    bool m_loading = false;
    std::string m_acquisition_settings_path;
    // Set by Stop, read by the running worker before every image; each run gets a fresh one.
    std::shared_ptr<StopFlag> m_stop;
};
