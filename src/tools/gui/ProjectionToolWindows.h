#pragma once
// The projection parameters dialog and the calibration dialogs. The two modeless dialogs are made
// on first use and kept, hidden or shown, until the program ends.
#include "app/ToolServices.h"

#include <memory>

class ProjectionAnalysisDlg;
class AdjustBoundariesDlg;

class ProjectionToolWindows : public ProjectionParamsWindow, public CalibrationWindows
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

// Installs the dialogs as the projection parameters window and the calibration windows; returns them.
std::shared_ptr<ProjectionToolWindows> InstallProjectionToolWindows();
