#pragma once
// A drawn intensity control, not a window of its own: a framed strip with the grey-level histogram
// of a 16-bit image on a base-2 logarithmic intensity axis, and two triangular markers below it for
// the lower and upper display intensity. The owner window keeps it as a member, sets m_frame (in
// its own client coordinates), forwards its paint and mouse events and reads the two intensities
// back:
//   paint:       Draw(painter, error)
//   button down: HitTestMarkers(point)
//   mouse move:  DragMarker(point); on 1 or 2 apply the new intensity and repaint the marker strip
//   button up:   DragMarker(point) once more, then clear m_dragging_lower and m_dragging_upper
// The histogram may be computed on another thread (the render thread does); m_access_semaphore
// keeps it apart from drawing. Markers, rectangles and flags belong to the owner's thread.
#include "platform/Sync.h"

#include <QColor>
#include <QPoint>

#include <opencv2/core.hpp>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class QPainter;

namespace Ostravo {

class IntensityControl
{
  public:
    // left, top, right, bottom.
    struct Rect
    {
        int32_t left = 0;
        int32_t top = 0;
        int32_t right = 0;
        int32_t bottom = 0;
        bool Contains(QPoint p) const
        {
            return left <= p.x() && p.x() <= right && top <= p.y() && p.y() <= bottom;
        }
    };

    IntensityControl();
    IntensityControl(const IntensityControl &) = delete;
    IntensityControl &operator=(const IntensityControl &) = delete;

    // Counts values into the histogram and recomputes the bars. True at once when the frame is less
    // than 2 pixels high; false with error when the lock was not obtained within 3000 ms.
    bool SetHistogramFromValues(const uint16_t *values, size_t count, std::string &error);
    // The same over every pixel of a 16-bit single-channel image.
    bool SetHistogramFromImage(const cv::Mat &image, std::string &error);

    // Frame, histogram (when there is one) and markers; nothing while m_hidden is set.
    bool Draw(QPainter &painter, std::string &error);
    // False with error when the lock was not obtained within 1000 ms.
    bool DrawHistogram(QPainter &painter, std::string &error);
    bool DrawMarkers(QPainter &painter);

    int32_t IntensityToX(uint16_t intensity) const;
    uint16_t XToIntensity(int32_t x) const;

    // 1 when p lies on a marker (its dragging starts; the lower marker wins where they overlap).
    int HitTestMarkers(QPoint p);
    // 0 nothing changed, 1 the lower intensity changed, 2 the upper one. Leaving the drag area ends
    // the drag.
    int DragMarker(QPoint p);
    // False with error, both unchanged, unless lower < upper.
    bool SetLowerAndUpperIntensities(uint16_t lower, uint16_t upper, std::string &error);

    // Derived sizes (see the member table).
    int32_t MarkerHeight() const;    // E
    int32_t MarkerHalfWidth() const; // F
    int32_t BarCount() const;        // N

    bool m_hidden = false;
    platform::BinarySemaphore m_access_semaphore; // guards m_counts, m_bins and the histogram
    Rect m_frame;
    Rect m_drag_rect;
    Rect m_lower_marker_rect;
    Rect m_upper_marker_rect;
    QColor m_frame_colour{192, 192, 192};
    QColor m_histogram_colour{255, 100, 100};
    QColor m_marker_colour{255, 255, 100};
    int32_t m_margin = 1; // inner margin on every side, and the frame's pen width
    int32_t m_bin_width = 4;
    int32_t m_marker_pen_width = 1;
    std::vector<uint16_t> m_bins; // bar heights in pixels
    uint16_t m_min_intensity = 0;
    uint16_t m_max_intensity = 65535;
    uint16_t m_lower_intensity = 0;
    uint16_t m_upper_intensity = 65535;
    std::vector<int32_t> m_counts; // per intensity - m_min_intensity; 65535 itself is never counted
    int32_t m_total_count = 0;
    bool m_dirty = true;
    bool m_dragging_lower = false;
    bool m_dragging_upper = false;

  private:
    bool Lock(uint32_t timeoutMs, const char *function, std::string &error);
    // Steps 3 to 6 of a histogram: counts already filled, bars from them.
    void ComputeBars();
    template <typename Visit> bool CountValues(const char *function, std::string &error, Visit visit);
    double AxisSpan() const; // L
};

} // namespace Ostravo
