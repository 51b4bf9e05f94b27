// The image view's links as the program has them.
#include "app/gui/ImageViewLinks.h"

#include "app/AnalysisToolWindows.h"
#include "app/CommandIds.h"
#include "app/gui/ImageView.h"
#include "app/gui/MainFrame.h"
#include "app/gui/ScaleIntensitiesDlg.h"
#include "app/gui/ToolbarEx.h"

#include <QPointer>

namespace {

// The main frame's image-type combo and live-image button.
class MainFrameLink : public ViewFrameLink
{
  public:
    std::string ImageTypeComboText() override { return ::ImageTypeComboText(); }
    void ReleaseLiveImageButton() override
    {
        if (CMainFrame *frame = CMainFrame::Get(); frame && frame->ToolBar())
            frame->ToolBar()->SetButtonPressed(cmd::kLiveImage, false);
    }
};

// The counting tools, wherever they are installed.
class AnalysisToolsLink : public ViewCountingLink
{
  public:
    void ShowMagnetLine(bool lower) override { AnalysisTools().ShowMagnetLine(lower); }
    void ShowActiveRoi(const ImageRect &roi) override { AnalysisTools().ShowActiveRoi(roi); }
};

// The scale-intensities dialog, previewing through the view's message handler.
class ScaleIntensitiesLink : public ViewDialogLink
{
  public:
    bool RunScaleIntensities(CImageView &view, uint16_t &lower, uint16_t &upper) override
    {
        ScaleIntensitiesDlg dialog(&view);
        dialog.m_max_value = upper;
        dialog.m_min_value = lower;
        dialog.m_restore_max_value = upper;
        dialog.m_restore_min_value = lower;
        QPointer<CImageView> target(&view);
        dialog.m_view_window = &view;
        dialog.m_view_message = [target](int code, uint32_t value) {
            if (target)
                target->HandleIntensityMessage(code, value);
        };
        if (dialog.exec() != QDialog::Accepted)
            return false;
        lower = dialog.m_min_value;
        upper = dialog.m_max_value;
        return true;
    }
};

ImageViewLinks ProgramLinks()
{
    ImageViewLinks links;
    links.frame = std::make_shared<MainFrameLink>();
    links.counting = std::make_shared<AnalysisToolsLink>();
    links.dialogs = std::make_shared<ScaleIntensitiesLink>();
    return links;
}

ImageViewLinks &Links()
{
    static ImageViewLinks links = ProgramLinks();
    return links;
}

} // namespace

void InstallImageViewLinks(const ImageViewLinks &links)
{
    const ImageViewLinks own = ProgramLinks();
    ImageViewLinks &current = Links();
    current.frame = links.frame ? links.frame : own.frame;
    current.counting = links.counting ? links.counting : own.counting;
    current.dialogs = links.dialogs ? links.dialogs : own.dialogs;
}

const ImageViewLinks &ViewLinks()
{
    return Links();
}
