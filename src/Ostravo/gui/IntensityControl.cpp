#include "Ostravo/gui/IntensityControl.h"

#include <QPainter>
#include <QPen>
#include <QPolygon>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace Ostravo {

namespace {

// The wait result the lock failure text reports for a time-out.
constexpr unsigned long kWaitTimeout = 258;

int64_t RoundHalfAway(double v)
{
    return static_cast<int64_t>(std::round(v));
}

} // namespace

IntensityControl::IntensityControl() : m_access_semaphore(true) {}

bool IntensityControl::Lock(uint32_t timeoutMs, const char *function, std::string &error)
{
    if (m_access_semaphore.Wait(timeoutMs))
        return true;
    char text[256];
    std::snprintf(text, sizeof(text), "%s() failed waiting for m_access_semaphore: %lu", function,
                  kWaitTimeout);
    error = text;
    return false;
}

double IntensityControl::AxisSpan() const
{
    return std::log2(static_cast<double>(m_max_intensity) - m_min_intensity + 1.0);
}

int32_t IntensityControl::MarkerHeight() const
{
    int32_t e = (m_frame.bottom - m_frame.top) / 2;
    if (e % 2 != 0)
        ++e;
    return e;
}

int32_t IntensityControl::MarkerHalfWidth() const
{
    return MarkerHeight() / 2;
}

int32_t IntensityControl::BarCount() const
{
    return std::max<int32_t>(1, (m_frame.right - m_frame.left - 2 * m_margin) / m_bin_width);
}

template <typename Visit>
bool IntensityControl::CountValues(const char *function, std::string &error, Visit visit)
{
    if (!Lock(3000, function, error))
        return false;
    const int32_t lo = m_min_intensity, hi = m_max_intensity;
    m_counts.assign(static_cast<size_t>(std::max(0, hi - lo)), 0);
    m_total_count = 0;
    const int32_t size = static_cast<int32_t>(m_counts.size());
    visit([&](uint16_t v) {
        const int32_t d = static_cast<int32_t>(v) - lo;
        if (d >= 0 && d < size) {
            ++m_counts[d];
            ++m_total_count;
        }
    });
    ComputeBars();
    m_dirty = true;
    m_access_semaphore.Release();
    return true;
}

bool IntensityControl::SetHistogramFromValues(const uint16_t *values, size_t count, std::string &error)
{
    if (m_frame.bottom - m_frame.top < 2)
        return true;
    return CountValues("Ostravo::IntensityControl::SetHistogramFromValues", error, [&](auto add) {
        for (size_t k = 0; k < count; ++k)
            add(values[k]);
    });
}

bool IntensityControl::SetHistogramFromImage(const cv::Mat &image, std::string &error)
{
    if (!image.empty() && image.type() != CV_16UC1) {
        error = "Ostravo::IntensityControl::SetHistogramFromImage() the image is not 16-bit single-channel.";
        return false;
    }
    return CountValues("Ostravo::IntensityControl::SetHistogramFromImage", error, [&](auto add) {
        for (int r = 0; r < image.rows; ++r) {
            const uint16_t *row = image.ptr<uint16_t>(r);
            for (int c = 0; c < image.cols; ++c)
                add(row[c]);
        }
    });
}

void IntensityControl::ComputeBars()
{
    const int32_t n = BarCount();
    m_bins.assign(static_cast<size_t>(n), 0);
    if (m_counts.empty())
        return;
    // Running totals make every bar's range sum one subtraction.
    std::vector<int64_t> cumulative(m_counts.size() + 1, 0);
    for (size_t k = 0; k < m_counts.size(); ++k)
        cumulative[k + 1] = cumulative[k] + m_counts[k];
    const int64_t lastIndex = static_cast<int64_t>(m_counts.size()) - 1;

    const double f = AxisSpan() / n;
    std::vector<int64_t> sums(static_cast<size_t>(n), 0);
    int64_t largest = 0;
    for (int32_t j = 0; j < n; ++j) {
        int64_t a = j == 0 ? m_min_intensity : RoundHalfAway(m_min_intensity + std::pow(2.0, j * f));
        int64_t b = std::min(lastIndex, RoundHalfAway(std::pow(2.0, (j + 1) * f)));
        a = std::max<int64_t>(0, a);
        if (a <= b)
            sums[j] = cumulative[b + 1] - cumulative[a];
        largest = std::max(largest, sums[j]);
    }
    const int64_t innerHeight = m_frame.bottom - m_frame.top - 2 * m_margin;
    const int64_t top = std::max<int64_t>(0, innerHeight - 1);
    for (int32_t j = 0; j < n; ++j)
        m_bins[j] =
            largest == 0 ? 0 : static_cast<uint16_t>(std::min<int64_t>(65535, top * sums[j] / largest));
}

bool IntensityControl::Draw(QPainter &painter, std::string &error)
{
    if (m_hidden)
        return true;
    painter.save();
    QPen pen(m_frame_colour);
    pen.setWidth(m_margin);
    painter.setPen(pen);
    const Rect &f = m_frame;
    painter.drawLine(f.left, f.top, f.right, f.top);
    painter.drawLine(f.right, f.top, f.right, f.bottom);
    painter.drawLine(f.right, f.bottom, f.left, f.bottom);
    painter.drawLine(f.left, f.bottom, f.left, f.top);
    painter.restore();
    bool ok = true;
    if (!m_counts.empty())
        ok = DrawHistogram(painter, error);
    DrawMarkers(painter);
    return ok;
}

bool IntensityControl::DrawHistogram(QPainter &painter, std::string &error)
{
    if (!Lock(1000, "Ostravo::IntensityControl::DrawHistogram", error))
        return false;
    const int32_t xl = m_frame.left + m_margin;
    const int32_t floor = m_frame.bottom - m_margin;
    for (size_t j = 0; j < m_bins.size(); ++j) {
        const int32_t x = xl + static_cast<int32_t>(j) * m_bin_width;
        const int32_t y = floor - m_bins[j] - 1;
        // The bar covers x .. x + BW - 2 and y .. floor - 1, leaving a gap column between bars.
        painter.fillRect(x, y, m_bin_width - 1, floor - y, m_histogram_colour);
    }
    m_access_semaphore.Release();
    return true;
}

bool IntensityControl::DrawMarkers(QPainter &painter)
{
    painter.save();
    QPen pen(m_marker_colour);
    pen.setWidth(m_marker_pen_width);
    painter.setPen(pen);
    painter.setBrush(m_marker_colour);
    const int32_t e = MarkerHeight(), f = MarkerHalfWidth(), bottom = m_frame.bottom;
    auto marker = [&](uint16_t intensity, Rect &hit) {
        const int32_t x = IntensityToX(intensity);
        QPolygon triangle;
        triangle << QPoint(x, bottom) << QPoint(x - f, bottom + e) << QPoint(x + f, bottom + e);
        painter.drawPolygon(triangle);
        hit = Rect{x - f, bottom, x + f, bottom + e};
    };
    marker(m_lower_intensity, m_lower_marker_rect);
    marker(m_upper_intensity, m_upper_marker_rect);
    painter.restore();
    return true;
}

int32_t IntensityControl::IntensityToX(uint16_t intensity) const
{
    const int32_t xl = m_frame.left + m_margin, xr = m_frame.right - m_margin;
    const int32_t d = static_cast<int32_t>(intensity) - m_min_intensity;
    if (d <= 0)
        return xl;
    const double t = std::log2(static_cast<double>(d)) / AxisSpan();
    if (t >= 1.0)
        return xr;
    return xl + static_cast<int32_t>(RoundHalfAway(t * (xr - xl + 1)));
}

uint16_t IntensityControl::XToIntensity(int32_t x) const
{
    const int32_t xl = m_frame.left + m_margin, xr = m_frame.right - m_margin;
    if (x <= xl)
        return m_min_intensity;
    if (x >= xr)
        return m_max_intensity;
    const int64_t e = RoundHalfAway(std::pow(2.0, AxisSpan() * (x - xl) / (xr - xl + 1)));
    const int64_t v = static_cast<int64_t>(m_min_intensity) + e;
    return static_cast<uint16_t>(std::min<int64_t>(m_max_intensity, std::max<int64_t>(m_min_intensity, v)));
}

int IntensityControl::HitTestMarkers(QPoint p)
{
    if (m_lower_marker_rect.Contains(p)) {
        m_dragging_lower = true;
        return 1;
    }
    if (m_upper_marker_rect.Contains(p)) {
        m_dragging_upper = true;
        return 1;
    }
    return 0;
}

int IntensityControl::DragMarker(QPoint p)
{
    const int32_t e = MarkerHeight(), f = MarkerHalfWidth();
    m_drag_rect = Rect{m_frame.left - f, m_frame.top, m_frame.right + f, m_frame.bottom + e + 1};
    if (!m_drag_rect.Contains(p)) {
        m_dragging_lower = false;
        m_dragging_upper = false;
        return 0;
    }
    if (m_dragging_lower) {
        const uint16_t v = XToIntensity(p.x());
        if (v != m_lower_intensity && v < m_upper_intensity) {
            m_lower_intensity = v;
            return 1;
        }
        return 0;
    }
    if (m_dragging_upper) {
        const uint16_t v = XToIntensity(p.x());
        if (v != m_upper_intensity && v > m_lower_intensity) {
            m_upper_intensity = v;
            return 2;
        }
        return 0;
    }
    return 0;
}

bool IntensityControl::SetLowerAndUpperIntensities(uint16_t lower, uint16_t upper, std::string &error)
{
    if (lower < upper) {
        m_lower_intensity = lower;
        m_upper_intensity = upper;
        return true;
    }
    char text[160];
    std::snprintf(text, sizeof(text), "%s() lower intensity must be less than upper intensity.",
                  "Ostravo::IntensityControl::SetLowerAndUpperIntensities");
    error = text;
    return false;
}

} // namespace Ostravo
