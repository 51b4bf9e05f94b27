#pragma once
// The application's side of the render thread: the main settings path, the background images,
// the image type of the live image and the close-document queue of the idle handler.
#include "app/Renderer.h"

#include <functional>
#include <string>

class AppRenderLink : public RenderAppLink
{
  public:
    std::string MainSettingsPath() override;
    cv::Mat BackgroundImage(int imageType) override;
    std::string ImageTypeComboText() override;
    bool QueueCloseDocument(const std::string &path) override;
};

// Where the text of the main frame's image-type combo comes from; the main frame installs it (it
// is called on the render thread). Without it the combo counts as empty.
void SetImageTypeComboTextSource(std::function<std::string()> source);
