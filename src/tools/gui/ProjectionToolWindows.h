#pragma once
// The projection parameters dialog and the calibration dialogs behind the tool services. The two
// modeless dialogs are made on first use and kept, hidden or shown, until the program ends.
#include "tools/ProjectionToolServices.h"

#include <memory>

class ProjectionAnalysisDlg;
class AdjustBoundariesDlg;

class ProjectionToolWindows : public ProjectionWindows
{
  public:
    ProjectionToolWindows();
    ~ProjectionToolWindows() override;

    ModelessWindow &ParamsDialog() override;
    bool GetParamsFromControls(ProjectionAnalysisParams &params) override;
    void RunComputePixelsPerMmDialog(double measuredLength) override;
    ModelessWindow &AdjustBoundaries() override;
    void InitAdjustBoundaries(CImageView *view) override;

    // The dialogs once their windows exist; null before. User-interface thread.
    ProjectionAnalysisDlg *Params() const;
    AdjustBoundariesDlg *Boundaries() const;

  private:
    class ParamsWindow;
    class BoundariesWindow;
    std::unique_ptr<ParamsWindow> m_params;
    std::unique_ptr<BoundariesWindow> m_boundaries;
};

// Installs the dialogs over the tool services installed so far; returns them.
std::shared_ptr<ProjectionToolWindows> InstallProjectionToolWindows();
