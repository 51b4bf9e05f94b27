#include "app/gui/DocumentManager.h"

#include "app/BackgroundImages.h"
#include "app/GuiSeam.h"
#include "app/ImageDoc.h"
#include "app/PlexorinApp.h"
#include "app/RenderList.h"
#include "app/gui/ChildFrame.h"
#include "app/gui/ImageView.h"
#include "app/gui/QtAppFramework.h"
#include "platform/Files.h"

#include <QApplication>
#include <QMdiArea>
#include <QMetaObject>
#include <QStyle>
#include <QThread>

#include <algorithm>
#include <filesystem>

namespace {

QtDocumentTemplate *FrameworkTemplate()
{
    return dynamic_cast<QtDocumentTemplate *>(theApp.m_doc_template);
}

} // namespace

std::string DocumentPathFor(const std::string &path)
{
    const std::string normalized = platform::NormalizePath(path);
    if (normalized.empty())
        return normalized;
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(normalized, error);
    return error ? normalized : absolute.lexically_normal().string();
}

DocumentManager &DocumentManager::Instance()
{
    static DocumentManager manager;
    return manager;
}

void DocumentManager::Install(QMdiArea *area)
{
    m_area = area;
    // Views are touched on the user-interface thread only; a request from another thread (a
    // script command) is carried over to it.
    SetInvalidateAllViewsHook([] {
        QCoreApplication *application = QCoreApplication::instance();
        if (!application)
            return;
        if (QThread::currentThread() == application->thread())
            DocumentManager::Instance().InvalidateAllViews();
        else
            QMetaObject::invokeMethod(
                application, [] { DocumentManager::Instance().InvalidateAllViews(); }, Qt::QueuedConnection);
    });
    if (auto *framework = dynamic_cast<QtAppFramework *>(Framework())) {
        framework->SetReferenceImageSaver([](const std::string &path, std::string &error, bool closeAfter) {
            return DocumentManager::Instance().SaveReferenceImage(path, error, closeAfter);
        });
    }
}

CChildFrame *DocumentManager::AddFrame(std::unique_ptr<CImageDoc> document, QMdiArea *area)
{
    const std::string path = document->GetPathName();
    auto *frame = new CChildFrame(std::move(document));
    // The next place of the cascade, at three quarters of the area: the view's own size hint would
    // make a thumbnail, and the area's own placement would put a second window mostly outside.
    const int others = static_cast<int>(area->subWindowList().size());
    area->addSubWindow(frame);
    m_frames.push_back(frame);
    if (QtDocumentTemplate *documents = FrameworkTemplate())
        documents->AddDocument(path, frame);
    frame->show();
    const QRect slot = CascadeSlot(*area, *frame, others);
    if (slot.isValid())
        frame->setGeometry(slot);
    area->setActiveSubWindow(frame);
    return frame;
}

CImageView *DocumentManager::OpenDocumentFile(const std::string &path, QMdiArea *area, bool addToRecentFiles)
{
    const std::string file = DocumentPathFor(path);
    if (CImageDoc *open = FindDocument(file)) {
        CChildFrame *frame = FrameOf(open);
        if (frame->mdiArea())
            frame->mdiArea()->setActiveSubWindow(frame);
        return frame->GetView();
    }
    if (!area)
        area = m_area;
    if (!area)
        return nullptr;
    auto document = std::make_unique<CImageDoc>();
    if (!document->OnOpenDocument(file.c_str()))
        return nullptr;
    CChildFrame *frame = AddFrame(std::move(document), area);
    if (addToRecentFiles && m_recent_hook)
        m_recent_hook(file);
    return frame->GetView();
}

CImageView *DocumentManager::OpenNewDocument(QMdiArea *area, bool liveImage)
{
    if (!area)
        area = m_area;
    if (!area)
        return nullptr;
    auto document = std::make_unique<CImageDoc>();
    document->OnNewDocument();
    document->m_live_image = liveImage;
    return AddFrame(std::move(document), area)->GetView();
}

std::vector<CImageDoc *> DocumentManager::Documents() const
{
    std::vector<CImageDoc *> documents;
    for (CChildFrame *frame : m_frames)
        documents.push_back(frame->GetDocument());
    return documents;
}

std::vector<CImageView *> DocumentManager::Views() const
{
    std::vector<CImageView *> views;
    for (CChildFrame *frame : m_frames)
        views.push_back(frame->GetView());
    return views;
}

CImageView *DocumentManager::ActiveView() const
{
    if (!m_area)
        return nullptr;
    auto *frame = qobject_cast<CChildFrame *>(m_area->currentSubWindow());
    if (!frame || std::find(m_frames.begin(), m_frames.end(), frame) == m_frames.end())
        return nullptr;
    return frame->GetView();
}

CImageDoc *DocumentManager::FindDocument(const std::string &path) const
{
    const std::string file = DocumentPathFor(path);
    for (CChildFrame *frame : m_frames)
        if (!file.empty() && frame->GetDocument()->GetPathName() == file)
            return frame->GetDocument();
    return nullptr;
}

CImageView *DocumentManager::ViewOf(const CImageDoc *document) const
{
    CChildFrame *frame = FrameOf(document);
    return frame ? frame->GetView() : nullptr;
}

CImageDoc *DocumentManager::LiveImageDocument() const
{
    for (CChildFrame *frame : m_frames)
        if (frame->GetDocument()->m_live_image)
            return frame->GetDocument();
    return nullptr;
}

CChildFrame *DocumentManager::FrameOf(const CImageDoc *document) const
{
    for (CChildFrame *frame : m_frames)
        if (frame->GetDocument() == document)
            return frame;
    return nullptr;
}

void DocumentManager::Forget(CChildFrame *frame)
{
    auto it = std::find(m_frames.begin(), m_frames.end(), frame);
    if (it == m_frames.end())
        return;
    m_frames.erase(it);
    if (QtDocumentTemplate *documents = FrameworkTemplate())
        documents->RemoveDocument(frame->GetDocument()->GetPathName(), frame);
}

void DocumentManager::CloseDocument(CImageDoc *document)
{
    CChildFrame *frame = FrameOf(document);
    if (!frame)
        return;
    Forget(frame);
    frame->close(); // deleted by the event loop: the call may come from inside the frame's own events
}

void DocumentManager::CloseAllDocuments()
{
    const std::vector<CImageDoc *> documents = Documents();
    for (CImageDoc *document : documents)
        CloseDocument(document);
}

void DocumentManager::InvalidateAllViews()
{
    for (CChildFrame *frame : m_frames)
        frame->GetView()->Invalidate();
}

bool DocumentManager::SaveReferenceImage(const std::string &path, std::string &error, bool closeAfter)
{
    if (!platform::FileExists(path)) {
        error = "SaveReferenceImage () : " + path + " does not exist";
        return false;
    }
    CImageView *view = OpenDocumentFile(path, nullptr, false);
    if (!view) {
        error = "SaveReferenceImage () : Problem opening image file: " + path;
        return false;
    }
    if (closeAfter) {
        view->OnAutoScale();
        view->OnFullScale();
        view->ApplyAspectRatio();
    }
    std::unique_ptr<RenderJob> job = view->BuildRenderJob();
    if (job) {
        job->m_save_reference = true;
        job->m_close_after = closeAfter;
    }
    if (!job || !AddToRenderList(job)) {
        error = "SaveReferenceImage () : Problem adding image file to the render list: " + path;
        return false;
    }
    return true;
}

void DocumentManager::DocumentPathChanged(CImageDoc *document, const std::string &path)
{
    CChildFrame *frame = FrameOf(document);
    const std::string file = DocumentPathFor(path);
    QtDocumentTemplate *documents = FrameworkTemplate();
    if (frame && documents)
        documents->RemoveDocument(document->GetPathName(), frame);
    document->SetPathName(file);
    if (frame) {
        if (documents)
            documents->AddDocument(file, frame);
        frame->UpdateTitle();
    }
    if (m_recent_hook)
        m_recent_hook(file);
}

void DocumentManager::DocumentTitleChanged(CImageDoc *document)
{
    if (CChildFrame *frame = FrameOf(document))
        frame->UpdateTitle();
}

void DocumentManager::FrameDestroyed(CChildFrame *frame)
{
    Forget(frame);
}

QRect CascadeSlot(const QMdiArea &area, const QMdiSubWindow &window, int index)
{
    const QSize room = area.viewport()->size();
    if (room.width() <= 0 || room.height() <= 0)
        return QRect();
    const QSize size = QSize(room.width() * 3 / 4, room.height() * 3 / 4).expandedTo(window.minimumSize());
    const int step = std::max(8, window.style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, &window));
    // How many steps fit before the window would reach past the area's right or bottom edge.
    const int free = std::min(room.width() - size.width(), room.height() - size.height());
    const int places = std::max(1, free / step + 1);
    const int offset = (index % places) * step;
    return QRect(QPoint(offset, offset), size);
}

void CascadeSubWindows(QMdiArea &area)
{
    int index = 0;
    for (QMdiSubWindow *window : area.subWindowList(QMdiArea::StackingOrder)) {
        if (window->isMinimized() || !window->isVisible())
            continue;
        if (window->isMaximized())
            window->showNormal();
        const QRect slot = CascadeSlot(area, *window, index++);
        if (slot.isValid())
            window->setGeometry(slot);
        window->raise();
    }
}
