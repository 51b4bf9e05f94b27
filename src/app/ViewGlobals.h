#pragma once
// State shared by every image view, the tools that write into it and the render thread that draws
// it. The user-interface thread writes these while the render thread reads them, so every value
// that is not a plain flag sits behind its own small lock and is read as a whole (a frame shows
// either the old or the new rectangle, never half of each).
#include "platform/Sync.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

// A rectangle of image pixels or window pixels: left, top, right, bottom (signed 32-bit).
struct ImageRect
{
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;

    bool IsZero() const { return left == 0 && top == 0 && right == 0 && bottom == 0; }
    bool operator==(const ImageRect &) const = default;
};

// The four calibration rows, in this order. -1 is a row above the image: not drawn.
struct CalibrationLines
{
    int32_t upper_channel = -1;
    int32_t lower_channel = -1;
    int32_t upper_magnet = -1;
    int32_t lower_magnet = -1;

    bool operator==(const CalibrationLines &) const = default;
};

// A point as fractions of the image width and height.
struct ClickPoint
{
    double x = 0.5;
    double y = 0.5;
};

// The flow-split record shared by the operator screen, the fractionation tool, the capture log and
// the render thread. The render thread writes the window rows and the hit band of the line it drew.
struct FlowSplit
{
    double split_fraction = 0.5; // share of the channel height below the split line
    int32_t range_minimum = -10; // percents accepted by the operator screen's setter
    int32_t range_maximum = 10;
    double lower_drag_limit = 0.4; // fractions between which the operator may drag the line
    double upper_drag_limit = 0.6;
    int32_t upper_channel_row = -1; // window rows of the channel edges over the live image
    int32_t lower_channel_row = -1;
    int32_t split_row = 0;         // window row of the split line
    int32_t drag_offset = 0;       // rows a running drag moves the line by
    bool split_changed = false;    // fraction changed: the next drawn frame recomputes split_row
    bool split_line_shown = false; // the split line is drawn
    ImageRect hit_band;            // where a button-down starts a drag, window pixels
};

// One value guarded by its own mutex; read and written whole.
template <typename T> class SharedValue
{
  public:
    SharedValue() = default;
    explicit SharedValue(const T &value) : m_value(value) {}
    SharedValue(const SharedValue &) = delete;
    SharedValue &operator=(const SharedValue &) = delete;

    T Get() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_value;
    }
    void Set(const T &value)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_value = value;
    }
    // Read-modify-write under the lock; change(T&) must not take another view lock.
    template <typename Change> void Update(Change change)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        change(m_value);
    }

  private:
    mutable std::mutex m_mutex;
    T m_value{};
};

// The view's own lines while a tool's lines are shown in their place; saved tells whether they are.
struct SavedCalibrationLines
{
    CalibrationLines lines;
    bool saved = false;
};

// These names keep their leading underscore, a form reserved at global scope, so they live in a
// namespace; the directive lets every caller name them as before.
namespace globals {
// The one active region of interest, image pixels; all zero means not set.
extern SharedValue<ImageRect> _active_roi;
// Preview rectangles of the counting dialog, the ROI chooser and manager (green) and of the epi
// editor (blue); drawn when left differs from right.
extern SharedValue<ImageRect> _preview_roi;
extern SharedValue<ImageRect> EpiPreviewRoi;
// The calibration lines the renderer draws.
extern SharedValue<CalibrationLines> _shown_calibration_lines;
// The view's own lines, kept while a tool's lines are shown.
extern SharedValue<SavedCalibrationLines> _saved_calibration_lines;
// The last plain left click, fractions of the image.
extern SharedValue<ClickPoint> _last_click;
// Hides the active ROI, both preview rectangles and the ROI projections in every view.
extern std::atomic<bool> _roi_hidden;
// Projection plots beside the active ROI.
extern std::atomic<bool> _draw_projection_below_roi;
extern std::atomic<bool> _draw_projection_right_of_roi;
// The settings file whose calibration lines the views' paint loaded last; user-interface thread only.
extern std::string _display_settings_file;
// Excludes concurrent readers of a document's image held by the views.
extern platform::BinarySemaphore _image_access_lock;
// The shared flow-split record.
extern SharedValue<FlowSplit> _flow_split;
} // namespace globals
using namespace globals;
