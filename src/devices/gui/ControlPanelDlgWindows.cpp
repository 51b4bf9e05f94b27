#include "devices/gui/ControlPanelDlgWindows.h"

#include "app/CommandIds.h"
#include "app/ImageDoc.h"
#include "app/gui/DocumentManager.h"
#include "app/gui/MainFrame.h"
#include "app/gui/ToolbarEx.h"
#include "devices/BrightnessAtTarget.h"
#include "devices/gui/ControlPanelDlg.h"
#include "devices/gui/PumpInformationDlg.h"
#include "platform/Ui.h"
#include "tools/gui/ToolWindowKit.h"

#include <opencv2/core.hpp>

namespace {

// The main frame's live-image button and document, asked on the GUI thread.
class MainFrameLivePreview : public LivePreview
{
  public:
    bool LiveButtonPressed() override
    {
        bool pressed = false;
        platform::ui::Ui().RunOnGuiThread(
            [&pressed] {
                CMainFrame *frame = CMainFrame::Get();
                pressed = frame && frame->ToolBar() && frame->ToolBar()->IsButtonPressed(cmd::kLiveImage);
            },
            true);
        return pressed;
    }
    bool LiveDocument(bool &hasImage, int32_t &width, int32_t &height) override
    {
        bool found = false;
        platform::ui::Ui().RunOnGuiThread(
            [&] {
                CImageDoc *document = DocumentManager::Instance().LiveImageDocument();
                found = document != nullptr;
                hasImage = found && document->HasImage();
                if (hasImage) {
                    width = document->GetImage()->cols;
                    height = document->GetImage()->rows;
                }
            },
            true);
        return found;
    }
};

} // namespace

class ControlPanelWindows::ControlPanelWindow : public LazyToolWindow<ControlPanelDlg>
{
  public:
    ControlPanelWindow() : LazyToolWindow([] { return std::make_unique<ControlPanelDlg>(); }) {}
};

class ControlPanelWindows::PumpInformationWindow : public LazyToolWindow<PumpInformationDlg>
{
  public:
    PumpInformationWindow() : LazyToolWindow([] { return std::make_unique<PumpInformationDlg>(); }) {}
};

ControlPanelWindows::ControlPanelWindows()
    : m_controlPanel(std::make_unique<ControlPanelWindow>()),
      m_pumpInformation(std::make_unique<PumpInformationWindow>())
{
}

ControlPanelWindows::~ControlPanelWindows() = default;

ModelessWindow &ControlPanelWindows::ControlPanel()
{
    return *m_controlPanel;
}

void ControlPanelWindows::SetControlPanelAdminMode(bool on)
{
    if (ControlPanelDlg *dialog = m_controlPanel->Window())
        dialog->SetAdminMode(on);
}

ModelessWindow &ControlPanelWindows::PumpInformation()
{
    return *m_pumpInformation;
}

ControlPanelDlg *ControlPanelWindows::ControlPanelDialog() const
{
    return m_controlPanel->Window();
}

PumpInformationDlg *ControlPanelWindows::PumpInformationDialog() const
{
    return m_pumpInformation->Window();
}

std::shared_ptr<ControlPanelWindows> InstallControlPanelWindows()
{
    auto windows = std::make_shared<ControlPanelWindows>();
    InstallFluidicsWindowServices(windows);
    SetLivePreview(std::make_shared<MainFrameLivePreview>());
    return windows;
}
