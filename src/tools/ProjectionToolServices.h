#pragma once
// The projection parameters dialog and the calibration dialogs as tool services, installed over
// the services installed before them: every other call goes to the layer below.
#include "tools/ToolServicesLayer.h"

#include <memory>

// The windows as the user-interface code provides them.
class ProjectionWindows
{
  public:
    virtual ~ProjectionWindows() = default;
    virtual ModelessWindow &ParamsDialog() = 0;
    // Any thread: false while the dialog has no window.
    virtual bool GetParamsFromControls(ProjectionAnalysisParams &params) = 0;
    virtual void RunComputePixelsPerMmDialog(double measuredLength) = 0;
    virtual ModelessWindow &AdjustBoundaries() = 0;
    virtual void InitAdjustBoundaries(CImageView *view) = 0;
};

class ProjectionToolServices : public ToolServicesLayer
{
  public:
    // next: the services installed before this layer (the placeholder when null).
    ProjectionToolServices(std::shared_ptr<ToolServices> next, std::shared_ptr<ProjectionWindows> windows);

    ModelessWindow &ProjectionAnalysisParamsDialog() override;
    bool GetProjectionParamsFromControls(ProjectionAnalysisParams &params) override;
    void RunComputePixelsPerMmDialog(double measuredLength) override;
    ModelessWindow &AdjustBoundaries() override;
    void InitAdjustBoundaries(CImageView *view) override;

  private:
    std::shared_ptr<ProjectionWindows> m_windows;
};
