#pragma once
// The projection parameters dialog: made on first use and kept, hidden or shown, until the program
// ends.
#include "app/ToolServices.h"

#include <memory>

class ProjectionParamsDialog;

class ProjectionParamsDialogOwner : public ProjectionParamsWindow
{
  public:
    ProjectionParamsDialogOwner();
    ~ProjectionParamsDialogOwner() override;

    ModelessWindow &ParamsDialog() override;
    bool GetParamsFromControls(ProjectionAnalysisParams &params) override;

    // The dialog once its window exists; null before. User-interface thread.
    ProjectionParamsDialog *Params() const;

  private:
    class ParamsWindow;
    std::unique_ptr<ParamsWindow> m_params;
};

// Installs the dialog as the projection parameters window; returns its owner.
std::shared_ptr<ProjectionParamsDialogOwner> InstallProjectionParamsDialogOwner();
