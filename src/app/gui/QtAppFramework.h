#pragma once
// The Qt side of the application's framework seam: the settings store with the recent-file list,
// the document template, the main window and posting commands to it.
#include "app/GuiSeam.h"

#include <QPointer>
#include <QWidget>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "app/gui/AppMainWindow.h"

// The open image documents. The document code adds each document with the frame that shows its
// first view (null while it has none) and removes it when it closes.
class QtDocumentTemplate : public DocumentTemplate
{
  public:
    void AddDocument(const std::string &path, QWidget *viewFrame);
    void RemoveDocument(const std::string &path, QWidget *viewFrame);

    std::vector<OpenDocument> Documents() const override;
    // Closes the frame through the event loop, as a posted Close command would.
    void PostCloseDocument(size_t index) override;

  private:
    struct Entry
    {
        std::string path;
        QPointer<QWidget> frame;
    };
    std::vector<Entry> m_documents;
};

class QtAppFramework : public AppFramework
{
  public:
    // Opens an image as a document and queues its reference-bitmap render job.
    using ReferenceImageSaver =
        std::function<bool(const std::string &path, std::string &error, bool closeAfter)>;

    QtAppFramework();
    ~QtAppFramework() override;

    bool PrepareFramework(std::string &error) override;
    DocumentTemplate *CreateDocumentTemplate() override;
    bool CreateMainFrame() override;
    bool HasMainWindow() const override;
    void PostCommand(int commandId, intptr_t parameter) override;
    bool SaveReferenceImage(const std::string &path, std::string &error, bool closeAfter) override;
    void WakeIdle() override;
    bool FrameworkIdle(int32_t count) override;
    void ExitFramework() override;

    // Installed by the document and render code.
    void SetReferenceImageSaver(ReferenceImageSaver saver);
    // Puts path at the top of the recent-file list (moving it there when listed already), keeping
    // kRecentFileCount entries. The list is stored at exit.
    void AddToRecentFileList(const std::string &path);

    AppMainWindow *MainWindow() const { return m_mainWindow; }
    QtDocumentTemplate *DocumentTemplateObject() const { return m_template.get(); }
    // The recent-file list, newest first, at most kRecentFileCount entries.
    const std::vector<std::string> &RecentFiles() const { return m_recentFiles; }
    static constexpr int kRecentFileCount = 4;

  private:
    std::unique_ptr<QtDocumentTemplate> m_template;
    QPointer<AppMainWindow> m_mainWindow;
    mutable std::mutex m_mainWindowMutex;
    bool m_prepared = false;
    std::vector<std::string> m_recentFiles;
    ReferenceImageSaver m_referenceImageSaver;
};
