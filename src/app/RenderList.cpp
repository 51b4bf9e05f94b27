#include "app/RenderList.h"

#include "Ostravo/LogError.h"
#include "app/AppGlobals.h"
#include "app/Renderer.h"

#include <cstdio>
#include <mutex>

namespace globals {
RenderList _render_list;
} // namespace globals

RenderList::RenderList() : m_render_list_semaphore(true), m_render_event(true, true) {}

bool RenderList::Add(std::unique_ptr<RenderJob> &job, std::string *error)
{
    if (!job) {
        if (error)
            *error = "AddToRenderList() no job.";
        return false;
    }
    // Operator-screen jobs (non-zero left edge) come from a busy live view: they may wait longer.
    const uint32_t waitMs = job->target_rect.left != 0 ? 10000 : 1000;
    if (!m_render_list_semaphore.Wait(waitMs)) {
        char text[128];
        std::snprintf(text, sizeof(text), "%s() Timeout after waiting %lums for _render_list_semaphore.",
                      "AddToRenderList", static_cast<unsigned long>(waitMs));
        LogError(__FILE_NAME__, __LINE__, text);
        if (error)
            *error = text;
        return false;
    }
    bool stored = false;
    for (auto &slot : m_slots) {
        if (!slot) {
            slot = std::move(job);
            stored = true;
            break;
        }
        if (slot->path == job->path) {
            slot = std::move(job); // the replaced job is deleted here
            stored = true;
            break;
        }
    }
    if (stored)
        m_render_event.Set();
    m_render_list_semaphore.Release();

    if (!stored) {
        LogError(__FILE_NAME__, __LINE__, "Render List Overflow.");
        if (error)
            *error = "Render List Overflow.";
    }
    return stored;
}

std::unique_ptr<RenderJob> RenderList::TakeOldest()
{
    m_render_list_semaphore.Wait(platform::kInfinite);
    std::unique_ptr<RenderJob> job = std::move(m_slots[0]);
    if (job) {
        for (int k = 1; k < kRenderListSlots && m_slots[k]; ++k)
            m_slots[k - 1] = std::move(m_slots[k]);
    } else {
        m_render_event.Reset();
    }
    m_render_list_semaphore.Release();
    return job;
}

bool RenderList::WaitForWork(uint32_t timeoutMs)
{
    return m_render_event.Wait(timeoutMs);
}

void RenderList::Wake()
{
    m_render_event.Set();
}

bool RenderList::WakeUpSet()
{
    return m_render_event.IsSet();
}

std::vector<std::string> RenderList::QueuedPaths()
{
    std::vector<std::string> paths;
    m_render_list_semaphore.Wait(platform::kInfinite);
    for (const auto &slot : m_slots) {
        if (!slot)
            break;
        paths.push_back(slot->path);
    }
    m_render_list_semaphore.Release();
    return paths;
}

bool AddToRenderList(std::unique_ptr<RenderJob> &job, std::string *error)
{
    return _render_list.Add(job, error);
}

void ShowToolCalibrationLines(RenderToolLink &tools)
{
    CalibrationLines toolLines;
    const bool shown = tools.ProjectionToolShown(toolLines) || tools.FractionationToolShown(toolLines);
    _saved_calibration_lines.Update([&](SavedCalibrationLines &saved) {
        if (shown) {
            if (!saved.saved)
                saved.lines = _shown_calibration_lines.Get();
            saved.saved = true;
            _shown_calibration_lines.Set(toolLines);
        } else if (saved.saved) {
            _shown_calibration_lines.Set(saved.lines);
            saved.saved = false;
        }
    });
}

void UpdateViewCalibrationLines(const std::function<void(CalibrationLines &)> &change)
{
    // The same lock order as ShowToolCalibrationLines: the kept lines, then the shown ones.
    _saved_calibration_lines.Update([&](SavedCalibrationLines &saved) {
        _shown_calibration_lines.Update(change);
        if (saved.saved)
            change(saved.lines);
    });
}

RenderThread::RenderThread(RenderList &list, Renderer &renderer) : m_list(list), m_renderer(renderer) {}

RenderThread::~RenderThread()
{
    Stop();
}

void RenderThread::Start()
{
    if (m_thread.joinable())
        return;
    m_stop = false;
    m_thread = std::thread([this] { Run(); });
}

void RenderThread::Stop()
{
    if (!m_thread.joinable())
        return;
    m_stop = true;
    m_list.Wake();
    m_thread.join();
}

void RenderThread::Run()
{
    // The stop flag is read again before every wait: Stop's wake-up can be consumed by the reset
    // of an empty list, and the thread must not go back to sleep after it.
    while (!m_stop) {
        m_list.WaitForWork(platform::kInfinite);
        if (m_stop)
            return;
        std::unique_ptr<RenderJob> job = m_list.TakeOldest();
        if (!job)
            continue; // the event was reset under the list's lock: the next Add sets it again
        ProcessJob(std::move(job), m_renderer);
    }
}

bool RenderThread::ProcessJob(std::unique_ptr<RenderJob> job, Renderer &renderer)
{
    RenderLinks &links = renderer.Links();

    // While the operator screen shows live video, every job is drawn there.
    std::shared_ptr<RenderTarget> liveTarget;
    ImageRect liveRect;
    ZoomWindow liveZoom;
    if (links.operatorScreen->LiveVideoTarget(liveTarget, liveRect, liveZoom)) {
        job->target_window = liveTarget;
        job->target_rect = liveRect;
        job->zoom_window = liveZoom;
    }

    bool drawn = false;
    const ImageRect &rect = job->target_rect;
    if (!job->target_window || !job->target_window->IsWindow()) {
        LogError(__FILE_NAME__, __LINE__,
                 "RenderThreadProc() : the window of " + job->path +
                     " no longer exists; its render job is dropped.");
    } else if (rect.right < rect.left || rect.bottom < rect.top) {
        LogError(__FILE_NAME__, __LINE__,
                 "RenderThreadProc() : empty target rectangle; the render job of " + job->path +
                     " is dropped.");
    } else {
        ShowToolCalibrationLines(*links.tools);
        std::string error;
        try {
            cv::Mat frame(rect.bottom - rect.top + 1, rect.right - rect.left + 1, CV_8UC4,
                          cv::Scalar::all(0));
            drawn = renderer.RenderImageJob(*job, frame, &error);
            if (drawn)
                job->target_window->Present(frame, cv::Point(rect.left, rect.top));
        } catch (const std::exception &e) {
            drawn = false;
            error = std::string("RenderThreadProc() : ") + e.what();
        }
        job->m_dc = nullptr;
        if (!drawn && !error.empty())
            LogError(__FILE_NAME__, __LINE__, error);
    }

    // A document opened only for its reference bitmap is closed even when nothing could be drawn.
    if (job->m_close_after)
        links.app->QueueCloseDocument(job->path);
    return drawn;
}

namespace {

std::mutex g_processRenderMutex;
std::unique_ptr<Renderer> g_processRenderer;
std::unique_ptr<RenderThread> g_processRenderThread;

} // namespace

void InstallRenderThread(RenderLinks links)
{
    auto shared = std::make_shared<RenderLinks>(std::move(links));
    SetRenderThreadHooks(
        [shared] {
            std::lock_guard<std::mutex> lock(g_processRenderMutex);
            if (g_processRenderThread)
                return;
            g_processRenderer = std::make_unique<Renderer>(*shared);
            g_processRenderThread = std::make_unique<RenderThread>(_render_list, *g_processRenderer);
            g_processRenderThread->Start();
        },
        [] {
            std::lock_guard<std::mutex> lock(g_processRenderMutex);
            if (!g_processRenderThread)
                return;
            g_processRenderThread->Stop();
            g_processRenderThread.reset();
            g_processRenderer.reset();
        });
}
