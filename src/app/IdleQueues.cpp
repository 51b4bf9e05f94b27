// The requests worker threads leave for the user-interface thread, and the idle handler that
// serves them there one at a time.
#include "app/IdleQueues.h"

#include "app/ExperimentServices.h"
#include "app/GuiSeam.h"
#include "app/PlexorinApp.h"

namespace {

constexpr uint32_t kQueueWaitMs = 1000;

bool Append(std::vector<EString> &queue, const char *path)
{
    if (!_app_queue_semaphore.Wait(kQueueWaitMs))
        return false;
    queue.emplace_back(path);
    _app_queue_semaphore.Release();
    // The user-interface thread may be waiting for events; the request is served when it idles.
    if (AppFramework *framework = Framework())
        framework->WakeIdle();
    return true;
}

// Takes the newest request of queue; false when the queue is empty or the semaphore was busy.
bool TakeNewest(std::vector<EString> &queue, EString &path)
{
    if (!_app_queue_semaphore.Wait(kQueueWaitMs))
        return false;
    bool taken = !queue.empty();
    if (taken) {
        path = queue.back();
        queue.pop_back();
    }
    _app_queue_semaphore.Release();
    return taken;
}

} // namespace

bool QueueOpenReferenceRequest(const char *path)
{
    return Append(_open_reference_queue, path);
}

bool QueueCloseDocumentRequest(const char *path)
{
    return Append(_close_document_queue, path);
}

bool CPlexorinApp::OnIdle(int32_t count)
{
    AppFramework *framework = Framework();
    EString path;

    // Reference image: open, render its reference bitmap, close again. Its error is dropped.
    if (TakeNewest(_open_reference_queue, path)) {
        std::string error;
        if (framework)
            framework->SaveReferenceImage(path.c_str(), error, true);
        return true;
    }

    // Close document: the first document of that path (ASCII case ignored) that has a view.
    if (TakeNewest(_close_document_queue, path)) {
        if (m_doc_template) {
            std::vector<DocumentTemplate::OpenDocument> documents = m_doc_template->Documents();
            for (size_t i = 0; i < documents.size(); ++i) {
                if (CompareText(documents[i].path.c_str(), path.c_str(), 0, 0) && documents[i].hasView) {
                    m_doc_template->PostCloseDocument(i);
                    break;
                }
            }
        }
        return true;
    }

    // Show the video tool, creating its window hidden first when it has none.
    if (_show_video_dialog_request.exchange(false)) {
        ModelessWindow &video = Experiment().VideoTool();
        if (!video.HasWindow())
            video.Create(false);
        if (video.HasWindow() && !video.IsVisible())
            video.Show(true);
        return true;
    }

    // The framework's own idle work.
    return framework ? framework->FrameworkIdle(count) : false;
}
