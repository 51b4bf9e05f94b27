#pragma once
// One open image file: its pixels as one OpenCV matrix read in any-depth mode, so the instrument's
// 16-bit grey images stay 16-bit. The window side (child frame and view) lives in app/gui; this
// part holds no window and may be used headless.
#include "app/ViewGlobals.h"

#include <opencv2/core.hpp>

#include <memory>
#include <string>

class CImageDoc
{
  public:
    CImageDoc();
    ~CImageDoc();
    CImageDoc(const CImageDoc &) = delete;
    CImageDoc &operator=(const CImageDoc &) = delete;

    // A document without a file (File New, the live image): the image stays as it is (none).
    bool OnNewDocument();
    // Reads the file at path into a new image. A file that is not an image at all gives an empty
    // image (not a failure). A file that cannot be opened, and an image file that cannot be decoded
    // (a truncated or corrupt PNG or TIFF), fail: the message is logged and shown, the previous
    // image stays and false is returned.
    bool OnOpenDocument(const char *path);
    // Re-reads the document's own file. On failure error holds "Problem trying to open image: "
    // and the path, the document holds no image, and nothing is logged or shown.
    bool ReloadImage(std::string &error);
    // Writes the image, unchanged, to path in the format its extension names. The bytes are
    // encoded in memory first and then replace the file atomically, so a failure never leaves a
    // truncated or empty file behind. False with the reason in error; nothing changes then.
    bool SaveImage(const std::string &path, std::string &error) const;
    // Saving the document under its own path as a document (the framework's Save) is refused: the
    // document writes no data of its own, and an image file is never replaced by empty output.
    bool OnSaveDocument(const char *path, std::string &error);

    // The image, or null. The document owns it and replaces it whole on every read.
    cv::Mat *GetImage() const { return m_image.get(); }
    // True when the document holds an image with pixels.
    bool HasImage() const { return m_image && !m_image->empty(); }
    // Puts image in place of the current one (the live image's frames, tools); the document owns it.
    void SetImage(std::unique_ptr<cv::Mat> image) { m_image = std::move(image); }

    const std::string &GetPathName() const { return m_path; }
    // Sets the path and, unless keepTitle, the title (the file name without folder).
    void SetPathName(const std::string &path, bool keepTitle = false);
    const std::string &GetTitle() const { return m_title; }
    void SetTitle(const std::string &title) { m_title = title; }

    // Set by the Live Image command on the empty document it opens.
    bool m_live_image = false;

  private:
    std::unique_ptr<cv::Mat> m_image;
    std::string m_path;
    std::string m_title;
};

// Reads an image file in any-depth mode. True with image filled (empty when the file is not an
// image at all); false with error when the file cannot be read or is an image file that does not
// decode.
bool ReadImageAnyDepth(const std::string &path, cv::Mat &image, std::string &error);

// Encodes image in the format of path's extension and atomically replaces the file with it.
bool WriteImageAtomically(const std::string &path, const cv::Mat &image, std::string &error);

// Clips rect (inclusive image pixels) to an image of columns x rows. False, with rect unchanged,
// when nothing of it lies inside the image or it encloses no area (right <= left or bottom <= top
// after clipping): such a rectangle must never become the active region of interest.
bool ClipRectToImage(ImageRect &rect, int columns, int rows);

// Sets _active_roi to rect clipped to the image; false, with _active_roi unchanged, when the
// clipped rectangle is empty.
bool SetActiveRoiClipped(const ImageRect &rect, int columns, int rows);
