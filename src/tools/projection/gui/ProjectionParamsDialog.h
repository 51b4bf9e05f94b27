#pragma once
// "Projection Analysis Params": picks a projection parameter set, edits it and saves it. While it
// is visible the renderer draws projections with the values of its fields, read from a snapshot
// that the user-interface thread refreshes on every change.
// Timers: 1000 stores and loads the set chosen in the list (100 ms after it closes); 1002 repaints
// every view (1000 ms after a change or the first load, 300 ms after the list closes).
#include "tools/gui/ToolWindowKit.h"

#ifndef Q_MOC_RUN
#include "tools/projection/ProjectionParamsFile.h"
#endif

#include <mutex>
#include <string>

class ProjectionParamsDialog : public ToolWindow
{
    Q_OBJECT
  public:
    static constexpr int kParamSet = 1344;
    static constexpr int kSmoothing = 1339;
    static constexpr int kNumPeaks = 1340;
    static constexpr int kStdevArea = 1341;
    static constexpr int kSamples = 1342;
    static constexpr int kFindValleys = 1346;
    static constexpr int kNumPeaksLabel = 1347;
    static constexpr int kSave = 1080;
    static constexpr int kLoadSetTimer = 1000;
    static constexpr int kRepaintTimer = 1002;

    explicit ProjectionParamsDialog(std::string settingsPath);

    void OnInitDialog();
    void LoadParams();
    // False when nothing was saved: loading, empty name, a refused name or a failed write.
    bool SaveParams();
    void OnDropDownParamSet();
    void OnCloseUpParamSet();
    // Any thread: the fields as they were at the last change.
    bool GetParamsFromControls(ProjectionAnalysisParams &params) const;

  protected:
    void OnTimer(int id) override;

  private:
    void OnChangeParam();
    ProjectionParamsFields FieldsFromControls() const;
    void UpdateSnapshot();
    void SetPeaksLabel();

    std::string m_settings;
    bool m_loading = false;
    mutable std::mutex m_snapshotMutex;
    ProjectionParamsFields m_snapshot;
};
