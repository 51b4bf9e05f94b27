#include "tools/projection/gui/ProjectionParamsDialogOwner.h"

#include "analysis/ProjectionAnalysis.h"
#include "app/PlexorinApp.h"
#include "tools/gui/ToolWindowKit.h"
#include "tools/projection/gui/ProjectionParamsDialog.h"

class ProjectionParamsDialogOwner::ParamsWindow : public LazyToolWindow<ProjectionParamsDialog>
{
  public:
    ParamsWindow()
        : LazyToolWindow([] {
              auto dialog = std::make_unique<ProjectionParamsDialog>(theApp.m_ini_path);
              dialog->OnInitDialog();
              return dialog;
          })
    {
    }
};

ProjectionParamsDialogOwner::ProjectionParamsDialogOwner() : m_params(std::make_unique<ParamsWindow>()) {}

ProjectionParamsDialogOwner::~ProjectionParamsDialogOwner() = default;

ModelessWindow &ProjectionParamsDialogOwner::ParamsDialog()
{
    return *m_params;
}

bool ProjectionParamsDialogOwner::GetParamsFromControls(ProjectionAnalysisParams &params)
{
    // HasWindow is safe from any thread; the dialog, once made, lives until the program ends.
    return m_params->HasWindow() && m_params->Window()->GetParamsFromControls(params);
}

ProjectionParamsDialog *ProjectionParamsDialogOwner::Params() const
{
    return m_params->Window();
}

std::shared_ptr<ProjectionParamsDialogOwner> InstallProjectionParamsDialogOwner()
{
    auto owner = std::make_shared<ProjectionParamsDialogOwner>();
    InstallProjectionParamsWindow(owner);
    return owner;
}
