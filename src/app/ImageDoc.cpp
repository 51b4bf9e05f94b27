#include "app/ImageDoc.h"

#include "Ostravo/LogError.h"
#include "platform/Files.h"
#include "platform/ImageFile.h"
#include "platform/PathParts.h"
#include "platform/Ui.h"

#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <fstream>
#include <vector>

namespace {

const char *const kOpenProblem = "Problem trying to open image: ";

bool CanOpenForReading(const std::string &path)
{
    if (!platform::FileExists(path))
        return false;
    std::ifstream file(path, std::ios::binary);
    return file.good();
}

} // namespace

bool ReadImageAnyDepth(const std::string &path, cv::Mat &image, std::string &error)
{
    const std::string file = platform::NormalizePath(path);
    if (!CanOpenForReading(file)) {
        image.release(); // no file: nothing to show, as the reader would answer
        return true;
    }
    try {
        image = platform::ReadImageFile(file, cv::IMREAD_ANYDEPTH);
        // The reader answers a file it does not decode with an empty image. For a file that is not
        // an image at all that is the expected answer; for a file that carries an image format's
        // signature it means a truncated or corrupt image, which must not pass for "no image".
        if (image.empty() && cv::haveImageReader(file)) {
            error = kOpenProblem + path;
            return false;
        }
    } catch (const cv::Exception &) {
        image.release();
        error = kOpenProblem + path;
        return false;
    } catch (const std::exception &) {
        image.release();
        error = kOpenProblem + path;
        return false;
    }
    return true;
}

bool WriteImageAtomically(const std::string &path, const cv::Mat &image, std::string &error)
{
    if (image.empty()) {
        error = "there is no image to write to " + path;
        return false;
    }
    const std::string file = platform::NormalizePath(path);
    const std::string extension = platform::ExtensionOf(file);
    if (extension.empty()) {
        error = "the file name has no extension that names an image format: " + path;
        return false;
    }
    std::vector<uchar> bytes;
    try {
        if (!cv::imencode(extension, image, bytes) || bytes.empty()) {
            error = "the image cannot be encoded for " + path;
            return false;
        }
    } catch (const cv::Exception &e) {
        error = "the image cannot be encoded for " + path + " (" + e.what() + ")";
        return false;
    }
    std::string replaceError;
    if (!platform::AtomicReplace(file, bytes, &replaceError)) {
        error = replaceError.empty() ? "the file cannot be written: " + path : replaceError;
        return false;
    }
    return true;
}

bool ClipRectToImage(ImageRect &rect, int columns, int rows)
{
    if (columns <= 0 || rows <= 0)
        return false;
    ImageRect clipped = rect;
    clipped.left = std::max(clipped.left, 0);
    clipped.top = std::max(clipped.top, 0);
    clipped.right = std::min(clipped.right, columns - 1);
    clipped.bottom = std::min(clipped.bottom, rows - 1);
    if (clipped.right <= clipped.left || clipped.bottom <= clipped.top)
        return false;
    rect = clipped;
    return true;
}

bool SetActiveRoiClipped(const ImageRect &rect, int columns, int rows)
{
    ImageRect clipped = rect;
    if (!ClipRectToImage(clipped, columns, rows))
        return false;
    _active_roi.Set(clipped);
    return true;
}

CImageDoc::CImageDoc() = default;

CImageDoc::~CImageDoc() = default;

bool CImageDoc::OnNewDocument()
{
    m_path.clear();
    m_title.clear();
    return true;
}

bool CImageDoc::OnOpenDocument(const char *path)
{
    const std::string file = path ? path : "";
    // The framework's own step: the file must open for reading.
    if (!CanOpenForReading(platform::NormalizePath(file))) {
        platform::ui::MessageBox("Failed to open document: " + file, "Vantelis",
                                 platform::ui::MbOk | platform::ui::MbIconWarning);
        return false;
    }
    auto image = std::make_unique<cv::Mat>();
    std::string error;
    if (!ReadImageAnyDepth(file, *image, error)) {
        LogError(__FILE_NAME__, __LINE__, error);
        platform::ui::MessageBox(error);
        return false; // the previous image stays
    }
    m_image = std::move(image);
    SetPathName(file);
    return true;
}

bool CImageDoc::ReloadImage(std::string &error)
{
    m_image.reset();
    auto image = std::make_unique<cv::Mat>();
    if (!ReadImageAnyDepth(m_path, *image, error))
        return false;
    m_image = std::move(image);
    return true;
}

bool CImageDoc::SaveImage(const std::string &path, std::string &error) const
{
    if (!HasImage()) {
        error = "CImageDoc::SaveImage() - the document holds no image.";
        return false;
    }
    return WriteImageAtomically(path, *m_image, error);
}

bool CImageDoc::OnSaveDocument(const char *path, std::string &error)
{
    error = std::string("CImageDoc::OnSaveDocument() - an image is saved with Save As only; ") +
            (path ? path : "") + " is left unchanged.";
    return false;
}

void CImageDoc::SetPathName(const std::string &path, bool keepTitle)
{
    m_path = path;
    if (!keepTitle)
        m_title = platform::FileNameOf(path);
}
