#pragma once
// What the image view asks of other parts of the program: the main frame (its image-type combo and
// live-image button), the counting tools (their edits that mirror the ROI and the magnet lines) and
// the shell's scale-intensities dialog. The program's own links are in place from the start: the
// main frame (CMainFrame::Get(); none answers the empty combo), the counting tools through their
// service slot (AnalysisTools(), a placeholder while they are missing) and the dialog. Tests
// install their own.
#include "app/ViewGlobals.h"

#include <cstdint>
#include <memory>
#include <string>

class CImageView;

// The main frame.
class ViewFrameLink
{
  public:
    virtual ~ViewFrameLink() = default;
    // The text of the image-type combo (the type of the live image); empty without a combo.
    virtual std::string ImageTypeComboText() = 0;
    // Clears the pressed state of toolbar button 32802 ("Capture + Auto Refresh"), keeping its
    // other state bits.
    virtual void ReleaseLiveImageButton() = 0;
};

// The counting dialog and the epi-counting editor.
class ViewCountingLink
{
  public:
    virtual ~ViewCountingLink() = default;
    // Refreshes the counting dialog's lower or upper magnet edit when its window exists.
    virtual void ShowMagnetLine(bool lower) = 0;
    // Puts the active ROI into the left, right, top and bottom edits ("%d") of the counting dialog
    // and of the epi editor, each when its window exists and is visible.
    virtual void ShowActiveRoi(const ImageRect &roi) = 0;
};

// The shell's scale-intensities dialog.
class ViewDialogLink
{
  public:
    virtual ~ViewDialogLink() = default;
    // Runs the dialog modally with the view's range (it previews live through
    // CImageView::HandleIntensityMessage); true on OK with the chosen range.
    virtual bool RunScaleIntensities(CImageView &view, uint16_t &lower, uint16_t &upper) = 0;
};

struct ImageViewLinks
{
    std::shared_ptr<ViewFrameLink> frame;
    std::shared_ptr<ViewCountingLink> counting;
    std::shared_ptr<ViewDialogLink> dialogs;
};

// Installs links (a null member puts the program's own back). User-interface thread only.
void InstallImageViewLinks(const ImageViewLinks &links);
// The links in use, none of them null.
const ImageViewLinks &ViewLinks();
