#pragma once
// Views do not draw their images on the user-interface thread. A view's paint packs everything
// needed for one frame into a RenderJob and puts it into the render list (100 slots); the render
// thread takes the oldest job, draws it into an image and hands that image to the job's window,
// which puts it on screen on the user-interface thread. A newer job for the same image path
// replaces one still waiting, so a burst of repaints of one image costs one drawing.
#include "Ostravo/CellDetection.h"
#include "app/ViewGlobals.h"
#include "platform/Sync.h"

#include <opencv2/core.hpp>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class DrawingSurface;
class Renderer;

// The part of an image a view shows, as fractions of its width (left, right) and height (top,
// bottom); (0, 1, 0, 1) is the whole image.
struct ZoomWindow
{
    double left = 0.0;
    double right = 1.0;
    double top = 0.0;
    double bottom = 1.0;
};

// The window a job is drawn into. The GUI implements it for its views and the operator screen.
class RenderTarget
{
  public:
    virtual ~RenderTarget() = default;
    // Whether the window still exists. Called on the render thread.
    virtual bool IsWindow() const = 0;
    // Takes a finished frame (CV_8UC4, blue, green, red and an unused byte) whose pixel (0, 0) is
    // the window point origin. Called on the render thread; the window copies or keeps the frame
    // and puts it on screen on the user-interface thread.
    virtual void Present(const cv::Mat &frame, cv::Point origin) = 0;
};

// Limits and box of a running brightness test on the live image, copied into each live job.
struct BrightnessBox
{
    int32_t low_limit = 0;
    int32_t high_limit = 0;
    int32_t center_column = 0;
    int32_t center_row = 0;
    int32_t box_size = 0; // odd
};

// Everything needed to draw one frame of one view. Owned by exactly one holder at a time: its
// creator until the render list accepts it, then the list, then the render thread.
struct RenderJob
{
    cv::Mat image;                       // a header sharing the document image's pixels (no copy)
    cv::Mat overlay;                     // a deep copy of the view's tint mask (CV_8UC1), or empty
    ImageRect target_rect;               // the view's client rectangle (left and top 0), window pixels
    std::vector<uint16_t> sampled_image; // made by the renderer
    std::vector<uint8_t> sampled_overlay;
    ZoomWindow zoom_window;
    ClickPoint click_point;
    uint16_t lower_intensity = 0;
    uint16_t upper_intensity = 0;
    std::vector<CellDetection> detections_1;
    std::vector<CellDetection> detections_2;
    std::vector<CellDetection> epi_detections;
    std::string path; // the document's path; empty for the live image
    std::shared_ptr<RenderTarget> target_window;
    int32_t m_image_type = 0;      // 1..4 for a live image whose type matched; picks the background
    cv::Mat m_background;          // the background image of the image's type, or empty
    bool m_save_reference = false; // write a reference bitmap of what was drawn
    bool m_close_after = false;    // then ask for the document to be closed
    std::optional<BrightnessBox> m_brightness_request;
    DrawingSurface *m_dc = nullptr; // set by the renderer while it draws; not owned
};

constexpr int kRenderListSlots = 100;

// The render list: occupied slots always form a prefix, in arrival order, a replacement keeping
// the replaced job's slot.
class RenderList
{
  public:
    RenderList();
    RenderList(const RenderList &) = delete;
    RenderList &operator=(const RenderList &) = delete;

    // Stores job in the first slot that is empty or holds a job of the same path (exact bytes; two
    // live images with empty paths count as the same), deleting the job replaced, and wakes the
    // render thread. True: the list owns the job (job is empty afterwards). False: nothing changed,
    // the caller still owns the job; the reason is logged and put into error.
    bool Add(std::unique_ptr<RenderJob> &job, std::string *error = nullptr);

    // Takes the job of slot 0 and moves every later job one slot forward. When the list is empty,
    // resets the wake-up event and returns null; both happen under the list's semaphore, so a job
    // added meanwhile always leaves the event set.
    std::unique_ptr<RenderJob> TakeOldest();

    // Waits for the wake-up event.
    bool WaitForWork(uint32_t timeoutMs);
    // Sets the wake-up event without adding a job (used to stop the thread).
    void Wake();
    bool WakeUpSet();

    // The paths of the waiting jobs in slot order.
    std::vector<std::string> QueuedPaths();

  private:
    std::array<std::unique_ptr<RenderJob>, kRenderListSlots> m_slots;
    platform::BinarySemaphore m_render_list_semaphore; // guards m_slots
    platform::Event m_render_event;                    // manual reset, created set
};

// The process-wide render list that the views fill.
namespace globals {
extern RenderList _render_list;
} // namespace globals
using namespace globals;

// Hands a view's job to the process-wide list (see RenderList::Add).
bool AddToRenderList(std::unique_ptr<RenderJob> &job, std::string *error = nullptr);

// While the projection tool's (first) or the fractionation tool's window is shown, its lines are
// drawn in place of the view's, which are kept in _saved_calibration_lines and put back once
// neither tool is shown.
class RenderToolLink;
void ShowToolCalibrationLines(RenderToolLink &tools);
// Moves rows of the view's calibration lines. While a tool's lines are shown in their place, the
// move goes into the kept view lines as well: the lines put back once the tool hides (lazily, at
// the next render) carry it instead of the rows from before.
void UpdateViewCalibrationLines(const std::function<void(CalibrationLines &)> &change);

// The render thread: takes the oldest job, redirects it to the operator screen while that shows
// live video, draws it, hands the frame to its window and, when the job asks for it, queues the
// close request of its document. A job that cannot be drawn (its window closed, a bad image) is
// dropped with a log entry and the thread carries on.
class RenderThread
{
  public:
    RenderThread(RenderList &list, Renderer &renderer);
    ~RenderThread();
    RenderThread(const RenderThread &) = delete;
    RenderThread &operator=(const RenderThread &) = delete;

    void Start();
    // Ends the loop after the job in hand and joins the thread; jobs still waiting stay listed.
    void Stop();

    // One job, as the thread handles it; returns whether it was drawn.
    static bool ProcessJob(std::unique_ptr<RenderJob> job, Renderer &renderer);

  private:
    void Run();

    RenderList &m_list;
    Renderer &m_renderer;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};
