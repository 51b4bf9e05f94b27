#pragma once
// Background images: one image of the empty field of view per image type (1 to 4), kept in
// theApp.m_background_images, saved to and loaded from <data folder>/BgImages with one previous
// generation kept as ".old", and written beside an experiment's images as "<type name>.bg.tif".
// Also the two operations that repaint every image view after a shared display setting changed.
//
// The four slots are replaced only through the functions here, under one lock, and readers take a
// copy of a slot's header (the pixels are shared by reference count), so replacing or unloading an
// image never disturbs a render in progress that holds the old one.
#include <opencv2/core.hpp>

#include <functional>
#include <string>

class CPlexorinApp;

// "<data folder>/BgImages" (the data folder trimmed, a separator added when missing).
std::string BackgroundImagesFolder(const CPlexorinApp &app);
// "<BgImages folder>/BgImageType.<n>.tif".
std::string BackgroundImageFile(const CPlexorinApp &app, int imageType);

// Writes each loaded image (an empty one counts as not loaded) to its file, first moving a
// present file aside as "<file>.old". False with the message in error at the first failure;
// types written before it stay written.
bool SaveBackgroundImagesToFile(CPlexorinApp &app, std::string &error);
// Unloads all four images and loads every type whose file exists (an undecodable file gives an
// empty image in its slot). False when the folder cannot be made; the images are untouched then.
bool LoadBackgroundImagesFromFile(CPlexorinApp &app, std::string &error);
// Writes the image of the type whose [ExperimentSettings] ImageTypeName<n> equals typeName
// (ignoring ASCII case) as folder/<typeName>.bg.tif (the bare name for an empty folder). True also
// when no type matches or the type has no image; false when writing fails (logged).
bool WriteBackgroundImage(CPlexorinApp &app, const std::string &typeName, const std::string &folder);
// Deletes the four images (command 32835).
void UnloadBackgroundImages(CPlexorinApp &app);

// The number of slots holding an image.
int GetNumberOfBackgroundImagesLoaded(const CPlexorinApp &app);
// A header sharing the pixels of type 1..4's image; empty when none is loaded.
cv::Mat GetBackgroundImage(const CPlexorinApp &app, int imageType);
// Puts a copy of image's header in slot imageType (1..4); an empty image unloads that type.
void SetBackgroundImage(CPlexorinApp &app, int imageType, const cv::Mat &image);

// Command 32834: deletes the loaded images, captures one image per active image type and saves
// them. Refused while the capture workflow runs; every message is shown in a plain message box.
void CaptureBackgroundImages(CPlexorinApp &app);

// Enabled and checked state of the application's background commands 32834 and 32835.
struct BackgroundCommandState
{
    bool enabled = false;
    bool checked = false;
};
BackgroundCommandState CaptureBackgroundImagesCommandState(const CPlexorinApp &app);
BackgroundCommandState UnloadBackgroundImagesCommandState(const CPlexorinApp &app);

// Repaints every view of every open document (each queues a new render job). The window code
// installs how; without it (headless) nothing happens. Any thread: the window code carries the
// request to the user-interface thread.
void SetInvalidateAllViewsHook(std::function<void()> hook);
// CPlexorinApp::InvalidateAllViews: expects the document template to exist.
void InvalidateAllViews();
// The same, doing nothing before the document template exists.
void RefreshAllViews();
