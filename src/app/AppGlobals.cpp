// The application shell's globals, in the order they are built before start-up.
#include "app/AppGlobals.h"
#include "app/IdleQueues.h"
#include "app/PlexorinApp.h"

#include <mutex>

namespace globals {
std::vector<EString> _open_reference_queue;
std::vector<EString> _close_document_queue;
platform::BinarySemaphore _app_queue_semaphore;
std::atomic<bool> _show_video_dialog_request{false};

std::string _settings_ini_path;
} // namespace globals
CPlexorinApp theApp;

namespace {

std::mutex g_renderHooksMutex;
std::function<void()> g_startRenderThread;
std::function<void()> g_stopRenderThread;

} // namespace

void SetRenderThreadHooks(std::function<void()> start, std::function<void()> stop)
{
    std::lock_guard<std::mutex> lock(g_renderHooksMutex);
    g_startRenderThread = std::move(start);
    g_stopRenderThread = std::move(stop);
}

bool StartRenderThread()
{
    std::function<void()> start;
    {
        std::lock_guard<std::mutex> lock(g_renderHooksMutex);
        start = g_startRenderThread;
    }
    if (!start)
        return false;
    start();
    return true;
}

void StopRenderThread()
{
    std::function<void()> stop;
    {
        std::lock_guard<std::mutex> lock(g_renderHooksMutex);
        stop = g_stopRenderThread;
    }
    if (stop)
        stop();
}
