#pragma once
// Requests that worker threads leave for the user-interface thread, served one per idle call by
// CPlexorinApp::OnIdle: open an image, write its reference bitmap and close it again; close a
// document; show the video tool.
#include "Ostravo/EString.h"
#include "platform/Sync.h"

#include <atomic>
#include <vector>

// These names keep their leading underscore, a form reserved at global scope, so they live in a
// namespace; the directive lets every caller name them as before.
namespace globals {
// Image paths whose reference bitmap is to be written (filled by the capture code).
extern std::vector<EString> _open_reference_queue;
// Paths of documents to close (filled by the render thread).
extern std::vector<EString> _close_document_queue;
// Guards both arrays; held only for one append or one removal.
extern platform::BinarySemaphore _app_queue_semaphore;
// Set by the script command that opens the video tool.
extern std::atomic<bool> _show_video_dialog_request;
} // namespace globals
using namespace globals;

// Producers: append path at the end of its queue while holding _app_queue_semaphore (at most
// 1000 ms). False when the semaphore was not obtained: the request is dropped.
bool QueueOpenReferenceRequest(const char *path);
bool QueueCloseDocumentRequest(const char *path);
