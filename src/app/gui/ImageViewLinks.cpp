// Placeholders for the links of the image view whose other side is not installed yet.
#include "app/gui/ImageViewLinks.h"

#include "platform/Ui.h"

namespace {

class PlaceholderFrameLink : public ViewFrameLink
{
  public:
    std::string ImageTypeComboText() override { return {}; }
    void ReleaseLiveImageButton() override {}
};

class PlaceholderAnalysisLink : public ViewAnalysisLink
{
  public:
    bool ImageTypeFromFileName(const std::string &, std::string &) override { return false; }
};

// Without the counting tools there is no dialog window whose edits could be refreshed.
class PlaceholderCountingLink : public ViewCountingLink
{
  public:
    void ShowMagnetLine(bool) override {}
    void ShowActiveRoi(const ImageRect &) override {}
};

class PlaceholderDialogLink : public ViewDialogLink
{
  public:
    bool RunScaleIntensities(CImageView &, uint16_t &, uint16_t &) override
    {
        platform::ui::MessageBox(
            "CImageView::OnScaleIntensities() - the Scale Intensities dialog is not available "
            "in this build.");
        return false;
    }
};

ImageViewLinks MakePlaceholders()
{
    ImageViewLinks links;
    links.frame = std::make_shared<PlaceholderFrameLink>();
    links.analysis = std::make_shared<PlaceholderAnalysisLink>();
    links.counting = std::make_shared<PlaceholderCountingLink>();
    links.dialogs = std::make_shared<PlaceholderDialogLink>();
    return links;
}

ImageViewLinks &Links()
{
    static ImageViewLinks links = MakePlaceholders();
    return links;
}

} // namespace

void InstallImageViewLinks(const ImageViewLinks &links)
{
    const ImageViewLinks placeholders = MakePlaceholders();
    ImageViewLinks &current = Links();
    current.frame = links.frame ? links.frame : placeholders.frame;
    current.analysis = links.analysis ? links.analysis : placeholders.analysis;
    current.counting = links.counting ? links.counting : placeholders.counting;
    current.dialogs = links.dialogs ? links.dialogs : placeholders.dialogs;
}

const ImageViewLinks &ViewLinks()
{
    return Links();
}
