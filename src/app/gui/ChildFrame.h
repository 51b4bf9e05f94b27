#pragma once
// The MDI child window of one image document: it owns the document and shows its one image view.
#include <QMdiSubWindow>

#include <memory>

class CImageDoc;
class CImageView;

class CChildFrame : public QMdiSubWindow
{
    Q_OBJECT
  public:
    // Takes the document and makes its view. The frame deletes itself when it is closed.
    explicit CChildFrame(std::unique_ptr<CImageDoc> document, QWidget *parent = nullptr);
    ~CChildFrame() override;

    CImageDoc *GetDocument() const { return m_document.get(); }
    CImageView *GetView() const { return m_view; }
    // Shows the document's title as the window title.
    void UpdateTitle();

  private:
    std::unique_ptr<CImageDoc> m_document;
    CImageView *m_view = nullptr;
};
