#include "app/gui/ChildFrame.h"

#include "app/ImageDoc.h"
#include "app/gui/DocumentManager.h"
#include "app/gui/ImageView.h"
#include "platform/gui/QtText.h"

CChildFrame::CChildFrame(std::unique_ptr<CImageDoc> document, QWidget *parent)
    : QMdiSubWindow(parent), m_document(std::move(document))
{
    setAttribute(Qt::WA_DeleteOnClose);
    m_view = new CImageView(m_document.get(), this);
    setWidget(m_view);
    UpdateTitle();
}

CChildFrame::~CChildFrame()
{
    DocumentManager::Instance().FrameDestroyed(this);
    // The view goes first: closing it may still read the document (the live-image flag).
    delete m_view;
    m_view = nullptr;
}

void CChildFrame::UpdateTitle()
{
    const std::string &title = m_document->GetTitle();
    setWindowTitle(platform::gui::PathToQt(title));
}
