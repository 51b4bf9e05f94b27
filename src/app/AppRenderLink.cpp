#include "app/AppRenderLink.h"

#include "app/BackgroundImages.h"
#include "app/IdleQueues.h"
#include "app/PlexorinApp.h"

#include <mutex>

namespace {

std::mutex g_comboMutex;
std::function<std::string()> g_comboText;

} // namespace

std::string AppRenderLink::MainSettingsPath()
{
    return theApp.m_ini_path;
}

cv::Mat AppRenderLink::BackgroundImage(int imageType)
{
    return GetBackgroundImage(theApp, imageType);
}

std::string AppRenderLink::ImageTypeComboText()
{
    std::function<std::string()> source;
    {
        std::lock_guard<std::mutex> lock(g_comboMutex);
        source = g_comboText;
    }
    return source ? source() : std::string();
}

bool AppRenderLink::QueueCloseDocument(const std::string &path)
{
    return QueueCloseDocumentRequest(path.c_str());
}

void SetImageTypeComboTextSource(std::function<std::string()> source)
{
    std::lock_guard<std::mutex> lock(g_comboMutex);
    g_comboText = std::move(source);
}
