#pragma once
// Opens image files as documents, each in its own child frame of an MDI area, and keeps the list
// of open documents and their views for the main frame, the idle handler, the tools and the view
// refresh. User-interface thread only (InvalidateAllViews through its hook excepted).
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class CChildFrame;
class CImageDoc;
class CImageView;

class DocumentManager
{
  public:
    static DocumentManager &Instance();

    // Installs the view refresh (RefreshAllViews, InvalidateAllViews) and, when the Qt framework
    // seam is installed, the reference-image saver. Documents open into area when none is named.
    void Install(QMdiArea *area);
    void SetMdiArea(QMdiArea *area) { m_area = area; }
    QMdiArea *MdiArea() const { return m_area; }
    // Called with each path opened or saved as, for the recent-file list.
    void SetRecentFileHook(std::function<void(const std::string &)> hook) { m_recent_hook = std::move(hook); }

    // Opens path as a document in a new child frame of area (the installed area when null), or
    // brings forward the frame of the document already open for that path. Null when the file
    // cannot be opened (the message was shown) or there is no area.
    CImageView *OpenDocumentFile(const std::string &path, QMdiArea *area = nullptr,
                                 bool addToRecentFiles = true);
    // A document without a file (File New; the live image when liveImage is set).
    CImageView *OpenNewDocument(QMdiArea *area = nullptr, bool liveImage = false);

    // Open documents and their views, in opening order.
    std::vector<CImageDoc *> Documents() const;
    std::vector<CImageView *> Views() const;
    // The view of the current child frame of the installed area; null when none.
    CImageView *ActiveView() const;
    CImageDoc *FindDocument(const std::string &path) const;
    CImageView *ViewOf(const CImageDoc *document) const;
    // The document open for the live image, or null.
    CImageDoc *LiveImageDocument() const;

    // Closes the document's frame; the frame and document are deleted once the event loop runs.
    void CloseDocument(CImageDoc *document);
    void CloseAllDocuments();

    // Repaints every view (each queues a new render job).
    void InvalidateAllViews();

    // Opens path as a document (reusing an open one, not adding it to the recent files) and queues
    // a render job that writes its reference bitmap; with closeAfter the view first shows the whole
    // image auto-scaled, and the document is closed after drawing. False with the reason in error.
    bool SaveReferenceImage(const std::string &path, std::string &error, bool closeAfter);

    // From the view and the frame.
    void DocumentPathChanged(CImageDoc *document, const std::string &path);
    void DocumentTitleChanged(CImageDoc *document);
    void FrameDestroyed(CChildFrame *frame);

  private:
    DocumentManager() = default;
    CChildFrame *FrameOf(const CImageDoc *document) const;
    CChildFrame *AddFrame(std::unique_ptr<CImageDoc> document, QMdiArea *area);
    void Forget(CChildFrame *frame);

    QPointer<QMdiArea> m_area;
    std::vector<CChildFrame *> m_frames;
    std::function<void(const std::string &)> m_recent_hook;
};

// Child windows of an MDI area get three quarters of its client area, and each further one is
// placed a title bar's height lower and to the right, starting again at the top left where it would
// leave the area. CascadeSlot is the place of the window at index (counting from 0).
QRect CascadeSlot(const QMdiArea &area, const QMdiSubWindow &window, int index);
// Arranges the area's windows in that cascade, the window on top last; minimised windows stay.
void CascadeSubWindows(QMdiArea &area);

// The path a document is known by: absolute, with '/' separators.
std::string DocumentPathFor(const std::string &path);
