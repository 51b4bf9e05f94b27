#include "app/BackgroundImages.h"

#include "Ostravo/EString.h"
#include "Ostravo/LogError.h"
#include "Ostravo/Profile.h"
#include "app/DeviceServices.h"
#include "app/ImageDoc.h"
#include "app/PlexorinApp.h"
#include "platform/Files.h"
#include "platform/ImageFile.h"
#include "platform/PathParts.h"
#include "platform/Ui.h"

#include <opencv2/imgcodecs.hpp>

#include <cstdio>
#include <mutex>

namespace {

// Guards the four slots of every application object: the script thread may save, load or capture
// while the render thread reads.
std::mutex g_slotsMutex;

std::mutex g_hookMutex;
std::function<void()> g_invalidateAllViews;

bool ValidType(int imageType)
{
    return imageType >= 1 && imageType <= 4;
}

// A folder as a prefix: trimmed (cut at its first line break), a separator added when missing.
std::string FolderPrefix(const std::string &folder)
{
    EString trimmed(folder.c_str());
    trimmed.Trim();
    std::string text = trimmed.c_str() ? trimmed.c_str() : "";
    if (!platform::EndsWithSeparator(text))
        text += '/';
    return text;
}

bool EqualIgnoringAsciiCase(const std::string &a, const std::string &b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

// Slot contents under the lock; the caller owns nothing.
void ReplaceSlot(CPlexorinApp &app, int index, cv::Mat *image)
{
    cv::Mat *old = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_slotsMutex);
        old = app.m_background_images[index];
        app.m_background_images[index] = image;
    }
    delete old;
}

} // namespace

std::string BackgroundImagesFolder(const CPlexorinApp &app)
{
    return FolderPrefix(app.m_data_directory) + "BgImages";
}

std::string BackgroundImageFile(const CPlexorinApp &app, int imageType)
{
    char name[32];
    std::snprintf(name, sizeof(name), "BgImageType.%lu.tif", static_cast<unsigned long>(imageType));
    EString path;
    path.JoinPath(BackgroundImagesFolder(app).c_str(), name);
    return path.c_str();
}

bool SaveBackgroundImagesToFile(CPlexorinApp &app, std::string &error)
{
    static const char *const function = "CPlexorinApp::SaveBackgroundImagesToFile";
    char text[2048];
    const std::string folder = BackgroundImagesFolder(app);
    if (!platform::FolderExists(folder) && !platform::MakeFolder(folder)) {
        std::snprintf(text, sizeof(text), "%s() - can't create directory: %s", function, folder.c_str());
        error = text;
        return false;
    }
    for (int n = 1; n <= 4; ++n) {
        const cv::Mat image = GetBackgroundImage(app, n);
        if (image.empty())
            continue; // an empty slot has nothing to write; the file on disk stays
        const std::string file = BackgroundImageFile(app, n);
        if (platform::FileExists(file)) {
            const std::string old = file + ".old";
            if (platform::FileExists(old) && !platform::DeleteFile(old)) {
                std::snprintf(text, sizeof(text), "%s() - unable to delete file %s.", function, old.c_str());
                error = text;
                return false;
            }
            if (!platform::RenameFile(file, old)) {
                std::snprintf(text, sizeof(text), "%s() - unable to move file %s -> %s", function,
                              file.c_str(), old.c_str());
                error = text;
                return false;
            }
        }
        std::string writeError;
        if (!WriteImageAtomically(file, image, writeError)) {
            std::snprintf(text, sizeof(text), "%s() - problem saving image to file: %s", function,
                          file.c_str());
            error = text;
            return false;
        }
    }
    return true;
}

bool LoadBackgroundImagesFromFile(CPlexorinApp &app, std::string &error)
{
    const std::string folder = BackgroundImagesFolder(app);
    if (!platform::FolderExists(folder) && !platform::MakeFolder(folder)) {
        char text[2048];
        std::snprintf(text, sizeof(text), "%s() - unable to create directory: %s",
                      "CPlexorinApp::LoadBackgroundImagesFromFile", folder.c_str());
        error = text;
        return false;
    }
    UnloadBackgroundImages(app);
    for (int n = 1; n <= 4; ++n) {
        const std::string file = BackgroundImageFile(app, n);
        if (!platform::FileExists(file))
            continue;
        auto *image = new cv::Mat;
        try {
            *image = platform::ReadImageFile(platform::NormalizePath(file), cv::IMREAD_ANYDEPTH);
        } catch (const cv::Exception &) {
            image->release(); // an undecodable file leaves an empty image in its slot
        }
        ReplaceSlot(app, n - 1, image);
    }
    return true;
}

bool WriteBackgroundImage(CPlexorinApp &app, const std::string &typeName, const std::string &folder)
{
    for (int i = 1; i <= 4; ++i) {
        char key[32];
        std::snprintf(key, sizeof(key), "ImageTypeName%d", i);
        char name[1024] = {0};
        Ostravo::E_GetPrivateProfileString("ExperimentSettings", key, "", name, sizeof(name),
                                           app.m_ini_path.c_str());
        if (!EqualIgnoringAsciiCase(name, typeName))
            continue;
        const cv::Mat image = GetBackgroundImage(app, i);
        if (image.empty())
            continue;
        EString trimmed(folder.c_str());
        trimmed.Trim();
        const std::string path =
            trimmed.IsNonEmpty() ? FolderPrefix(folder) + typeName + ".bg.tif" : typeName + ".bg.tif";
        std::string writeError;
        if (!WriteImageAtomically(path, image, writeError)) {
            char text[2048];
            std::snprintf(text, sizeof(text), "%s() - problem saving image to file: %s",
                          "CPlexorinApp::WriteBackgroundImage", path.c_str());
            LogError(__FILE_NAME__, __LINE__, text);
            return false;
        }
    }
    return true;
}

void UnloadBackgroundImages(CPlexorinApp &app)
{
    for (int index = 0; index < 4; ++index)
        ReplaceSlot(app, index, nullptr);
}

int GetNumberOfBackgroundImagesLoaded(const CPlexorinApp &app)
{
    std::lock_guard<std::mutex> lock(g_slotsMutex);
    int count = 0;
    for (const cv::Mat *image : app.m_background_images)
        if (image)
            ++count;
    return count;
}

cv::Mat GetBackgroundImage(const CPlexorinApp &app, int imageType)
{
    if (!ValidType(imageType))
        return cv::Mat();
    std::lock_guard<std::mutex> lock(g_slotsMutex);
    const cv::Mat *image = app.m_background_images[imageType - 1];
    return image ? *image : cv::Mat();
}

void SetBackgroundImage(CPlexorinApp &app, int imageType, const cv::Mat &image)
{
    if (!ValidType(imageType))
        return;
    ReplaceSlot(app, imageType - 1, image.empty() ? nullptr : new cv::Mat(image));
}

void CaptureBackgroundImages(CPlexorinApp &app)
{
    if (app.m_workflow_running) {
        char text[512];
        std::snprintf(text, sizeof(text),
                      "%s() - Can't capture background images while the image capture workflow is running.",
                      "CMainFrame::CaptureBackgroundImages");
        platform::ui::MessageBox(text);
        return;
    }
    UnloadBackgroundImages(app);
    // The capture code allocates one matrix per active image type into the slots it is given.
    cv::Mat *captured[4] = {nullptr, nullptr, nullptr, nullptr};
    EString captureError;
    const bool ok = Capture().CaptureSingleImageSet(captureError, 0, captured);
    for (int index = 0; index < 4; ++index)
        ReplaceSlot(app, index, captured[index]);
    if (!ok) {
        platform::ui::MessageBox(captureError.c_str() ? captureError.c_str() : "");
        return;
    }
    std::string error;
    if (!SaveBackgroundImagesToFile(app, error))
        platform::ui::MessageBox(error);
}

BackgroundCommandState CaptureBackgroundImagesCommandState(const CPlexorinApp &app)
{
    BackgroundCommandState state;
    state.enabled = !app.m_workflow_running && !app.m_analysis_mode;
    state.checked = GetNumberOfBackgroundImagesLoaded(app) > 0;
    return state;
}

BackgroundCommandState UnloadBackgroundImagesCommandState(const CPlexorinApp &app)
{
    BackgroundCommandState state;
    state.enabled =
        !app.m_workflow_running && !app.m_analysis_mode && GetNumberOfBackgroundImagesLoaded(app) > 0;
    return state;
}

void SetInvalidateAllViewsHook(std::function<void()> hook)
{
    std::lock_guard<std::mutex> lock(g_hookMutex);
    g_invalidateAllViews = std::move(hook);
}

void InvalidateAllViews()
{
    std::function<void()> hook;
    {
        std::lock_guard<std::mutex> lock(g_hookMutex);
        hook = g_invalidateAllViews;
    }
    if (hook)
        hook();
}

void RefreshAllViews()
{
    if (!theApp.m_doc_template)
        return;
    InvalidateAllViews();
}
