#pragma once
// The start-up steps that make windows, and the few framework services the application object
// needs, behind one seam. The GUI installs its implementation before start-up; the headless
// command line installs none, so the same start-up code runs there without a display.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The one document template: the open image documents in the framework's order.
class DocumentTemplate
{
  public:
    struct OpenDocument
    {
        std::string path; // the document's path name; empty for a document without a file
        bool hasView = false;
    };

    virtual ~DocumentTemplate() = default;
    // The open documents, in the framework's order. User-interface thread only.
    virtual std::vector<OpenDocument> Documents() const = 0;
    // Posts the framework's Close command to the frame of the first view of document index
    // (an index into the last Documents() answer); the frame closes once the event loop runs.
    virtual void PostCloseDocument(size_t index) = 0;
};

class AppFramework
{
  public:
    virtual ~AppFramework() = default;

    // Prepares the framework (settings store, recent-file list); false with the text to show.
    virtual bool PrepareFramework(std::string &error) = 0;
    // Makes the document template; null when it cannot be made. The framework keeps ownership.
    virtual DocumentTemplate *CreateDocumentTemplate() = 0;
    // Creates the main window, shows it and makes it the application's main window.
    virtual bool CreateMainFrame() = 0;
    // Whether the main window exists. Any thread.
    virtual bool HasMainWindow() const = 0;
    // Posts a command with its parameter to the main window; handled later on the GUI thread.
    // Any thread; dropped when there is no main window.
    virtual void PostCommand(int commandId, intptr_t parameter) = 0;
    // Opens path as a document and queues a render job that writes its reference bitmap (and
    // closes the document afterwards when closeAfter is set). False with the reason in error.
    virtual bool SaveReferenceImage(const std::string &path, std::string &error, bool closeAfter) = 0;
    // Wakes the user-interface thread's event loop so that idle processing runs soon. Any thread.
    virtual void WakeIdle() = 0;
    // The framework's own idle work; true asks for another idle call.
    virtual bool FrameworkIdle(int32_t count) = 0;
    // The framework's part of a normal exit (saves the recent-file list).
    virtual void ExitFramework() = 0;
};

// The installed framework, or null (headless run, or core tests without one). Any thread.
AppFramework *Framework();
// Installs framework (nullptr removes it) and returns the previous one. Install and remove while
// no other thread uses the seam.
std::shared_ptr<AppFramework> SetFramework(std::shared_ptr<AppFramework> framework);
