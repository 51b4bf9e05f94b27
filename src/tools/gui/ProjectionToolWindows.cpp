#include "tools/gui/ProjectionToolWindows.h"

#include "analysis/ProjectionAnalysis.h"
#include "app/PlexorinApp.h"
#include "tools/gui/CalibrationDialogs.h"
#include "tools/gui/ProjectionAnalysisDlg.h"
#include "tools/gui/ToolWindowKit.h"

class ProjectionToolWindows::ParamsWindow : public LazyToolWindow<ProjectionAnalysisDlg>
{
  public:
    ParamsWindow()
        : LazyToolWindow([] {
              auto dialog = std::make_unique<ProjectionAnalysisDlg>(theApp.m_ini_path);
              dialog->OnInitDialog();
              return dialog;
          })
    {
    }
};

class ProjectionToolWindows::BoundariesWindow : public LazyToolWindow<AdjustBoundariesDlg>
{
  public:
    BoundariesWindow() : LazyToolWindow([] { return std::make_unique<AdjustBoundariesDlg>(); }) {}
};

ProjectionToolWindows::ProjectionToolWindows()
    : m_params(std::make_unique<ParamsWindow>()), m_boundaries(std::make_unique<BoundariesWindow>())
{
}

ProjectionToolWindows::~ProjectionToolWindows() = default;

ModelessWindow &ProjectionToolWindows::ParamsDialog()
{
    return *m_params;
}

bool ProjectionToolWindows::GetParamsFromControls(ProjectionAnalysisParams &params)
{
    // HasWindow is safe from any thread; the dialog, once made, lives until the program ends.
    return m_params->HasWindow() && m_params->Window()->GetParamsFromControls(params);
}

void ProjectionToolWindows::RunComputePixelsPerMmDialog(double measuredLength)
{
    ComputePixelsPerMMDlg dialog(measuredLength, theApp.m_ini_path);
    dialog.OnInitDialog();
    dialog.exec();
}

ModelessWindow &ProjectionToolWindows::AdjustBoundaries()
{
    return *m_boundaries;
}

void ProjectionToolWindows::InitAdjustBoundaries(CImageView *view)
{
    if (!m_boundaries->HasWindow())
        m_boundaries->Create(false);
    m_boundaries->Window()->Init(view);
}

ProjectionAnalysisDlg *ProjectionToolWindows::Params() const
{
    return m_params->Window();
}

AdjustBoundariesDlg *ProjectionToolWindows::Boundaries() const
{
    return m_boundaries->Window();
}

std::shared_ptr<ProjectionToolWindows> InstallProjectionToolWindows()
{
    auto windows = std::make_shared<ProjectionToolWindows>();
    InstallProjectionParamsWindow(windows);
    InstallCalibrationWindows(windows);
    return windows;
}
