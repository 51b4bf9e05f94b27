#include "tools/gui/CalibrationDialogsOwner.h"

#include "app/PlexorinApp.h"
#include "tools/gui/CalibrationDialogs.h"
#include "tools/gui/ToolWindowKit.h"

class CalibrationDialogsOwner::BoundariesWindow : public LazyToolWindow<AdjustBoundariesDlg>
{
  public:
    BoundariesWindow() : LazyToolWindow([] { return std::make_unique<AdjustBoundariesDlg>(); }) {}
};

CalibrationDialogsOwner::CalibrationDialogsOwner() : m_boundaries(std::make_unique<BoundariesWindow>()) {}

CalibrationDialogsOwner::~CalibrationDialogsOwner() = default;

void CalibrationDialogsOwner::RunComputePixelsPerMmDialog(double measuredLength)
{
    ComputePixelsPerMMDlg dialog(measuredLength, theApp.m_ini_path);
    dialog.OnInitDialog();
    dialog.exec();
}

ModelessWindow &CalibrationDialogsOwner::AdjustBoundaries()
{
    return *m_boundaries;
}

void CalibrationDialogsOwner::InitAdjustBoundaries(CImageView *view)
{
    if (!m_boundaries->HasWindow())
        m_boundaries->Create(false);
    m_boundaries->Window()->Init(view);
}

AdjustBoundariesDlg *CalibrationDialogsOwner::Boundaries() const
{
    return m_boundaries->Window();
}

std::shared_ptr<CalibrationDialogsOwner> InstallCalibrationDialogsOwner()
{
    auto owner = std::make_shared<CalibrationDialogsOwner>();
    InstallCalibrationWindows(owner);
    return owner;
}
