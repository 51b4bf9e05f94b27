#include "Ostravo/gui/IntensityControl.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <vector>

using Ostravo::IntensityControl;

namespace {

// The frame used by most tests: left 10, right 139, so xl = 11 and xr = 138 (128 pixels of axis,
// 8 per power of two); top 10, bottom 30, so markers are E = 10 high and F = 5 half wide.
void PlaceFrame(IntensityControl &control)
{
    control.m_frame = IntensityControl::Rect{10, 10, 139, 30};
}

// An owner window that forwards paint and mouse events as the control expects.
class Owner : public QWidget
{
  public:
    Owner()
    {
        PlaceFrame(control);
        resize(200, 60);
    }
    IntensityControl control;
    std::vector<int> dragResults;

  protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        std::string error;
        control.Draw(painter, error);
    }
    void mousePressEvent(QMouseEvent *event) override { control.HitTestMarkers(event->position().toPoint()); }
    void mouseMoveEvent(QMouseEvent *event) override
    {
        dragResults.push_back(control.DragMarker(event->position().toPoint()));
    }
    void mouseReleaseEvent(QMouseEvent *event) override
    {
        control.DragMarker(event->position().toPoint());
        control.m_dragging_lower = false;
        control.m_dragging_upper = false;
    }
};

void Move(QWidget &widget, QPoint p)
{
    QMouseEvent event(QEvent::MouseMove, QPointF(p), widget.mapToGlobal(QPointF(p)), Qt::NoButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

QImage Paint(IntensityControl &control)
{
    QImage image(200, 60, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    std::string error;
    EXPECT_TRUE(control.Draw(painter, error)) << error;
    painter.end();
    return image;
}

} // namespace

TEST(IntensityControl, AxisMapsIntensitiesToXAndBack)
{
    IntensityControl control;
    PlaceFrame(control);
    struct Case
    {
        uint16_t intensity;
        int32_t x;
    } toX[] = {
        {0, 11},      {1, 11},     // log2(1) = 0
        {256, 75},                 // 11 + round(8 / 16 x 128)
        {2, 19},      {4096, 107}, // one and twelve powers of two
        {65535, 139},              // log2(65535) / 16 stays below 1: xr + 1
    };
    for (const Case &c : toX)
        EXPECT_EQ(control.IntensityToX(c.intensity), c.x) << c.intensity;

    struct Back
    {
        int32_t x;
        uint16_t intensity;
    } toIntensity[] = {
        {0, 0},      {11, 0},      {75, 256},    {19, 2},
        {107, 4096}, {138, 65535}, {200, 65535}, {137, 55109}, // round(2^(16 x 126 / 128)) = round(55108.99)
    };
    for (const Back &c : toIntensity)
        EXPECT_EQ(control.XToIntensity(c.x), c.intensity) << c.x;
}

TEST(IntensityControl, HistogramBarsOnTheLogarithmicAxis)
{
    IntensityControl control;
    control.m_frame = IntensityControl::Rect{0, 0, 66, 22}; // 16 bars of 4, inner height 20
    std::string error;

    // All pixels 0: only bar 0 covers index 0; it gets the full height H - 1.
    cv::Mat zeros(4, 4, CV_16UC1, cv::Scalar(0));
    ASSERT_TRUE(control.SetHistogramFromImage(zeros, error));
    ASSERT_EQ(control.m_bins.size(), 16u);
    EXPECT_EQ(control.m_bins[0], 19);
    for (size_t j = 1; j < control.m_bins.size(); ++j)
        EXPECT_EQ(control.m_bins[j], 0) << j;
    EXPECT_EQ(control.m_total_count, 16);
    EXPECT_EQ(control.m_counts.size(), 65535u);

    // 16 bars over 16 powers of two: bar j covers round(2^j) .. round(2^(j+1)). Ten values at 100
    // fall in bar 6 (64..128); five at 1000 in bar 9 (512..1024); 65535 is never counted.
    std::vector<uint16_t> values(10, 100);
    values.insert(values.end(), 5, 1000);
    values.insert(values.end(), 3, 65535);
    ASSERT_TRUE(control.SetHistogramFromValues(values.data(), values.size(), error));
    EXPECT_EQ(control.m_total_count, 15);
    EXPECT_EQ(control.m_bins[6], 19);
    EXPECT_EQ(control.m_bins[9], 9); // 19 x 5 / 10
    EXPECT_EQ(control.m_bins[15], 0);

    // A frame under 2 pixels high ignores values; a frame 2M + 3 wide still holds one bar.
    IntensityControl flat;
    flat.m_frame = IntensityControl::Rect{0, 0, 50, 1};
    ASSERT_TRUE(flat.SetHistogramFromValues(values.data(), values.size(), error));
    EXPECT_TRUE(flat.m_counts.empty());
    IntensityControl narrow;
    narrow.m_frame = IntensityControl::Rect{0, 0, 5, 22};
    ASSERT_TRUE(narrow.SetHistogramFromValues(values.data(), values.size(), error));
    EXPECT_EQ(narrow.m_bins.size(), 1u);
}

TEST(IntensityControl, MarkerSizesFollowTheFrameHeight)
{
    IntensityControl control;
    control.m_frame = IntensityControl::Rect{0, 0, 100, 20};
    EXPECT_EQ(control.MarkerHeight(), 10);
    EXPECT_EQ(control.MarkerHalfWidth(), 5);
    control.m_frame.bottom = 22; // 11 rounded up to even
    EXPECT_EQ(control.MarkerHeight(), 12);
    EXPECT_EQ(control.MarkerHalfWidth(), 6);
}

TEST(IntensityControl, DrawsFrameBarsAndMarkersUnlessHidden)
{
    IntensityControl control;
    PlaceFrame(control);
    std::string error;
    cv::Mat zeros(2, 2, CV_16UC1, cv::Scalar(0));
    ASSERT_TRUE(control.SetHistogramFromImage(zeros, error));
    ASSERT_TRUE(control.SetLowerAndUpperIntensities(256, 4096, error));
    const QImage image = Paint(control);

    EXPECT_EQ(image.pixelColor(50, 10), QColor(192, 192, 192));  // top edge of the frame
    EXPECT_EQ(image.pixelColor(12, 20), QColor(255, 100, 100));  // bar 0, full height
    EXPECT_EQ(image.pixelColor(15, 20), QColor(Qt::black));      // the gap column after it
    EXPECT_EQ(image.pixelColor(75, 38), QColor(255, 255, 100));  // lower marker below x = 75
    EXPECT_EQ(image.pixelColor(107, 38), QColor(255, 255, 100)); // upper marker below x = 107
    EXPECT_EQ(control.m_lower_marker_rect.left, 70);
    EXPECT_EQ(control.m_lower_marker_rect.bottom, 40);

    control.m_hidden = true;
    const QImage hidden = Paint(control);
    EXPECT_EQ(hidden.pixelColor(50, 10), QColor(Qt::black));
    EXPECT_EQ(hidden.pixelColor(75, 38), QColor(Qt::black));
}

TEST(IntensityControl, DraggingMarkersWithTheMouse)
{
    Owner owner;
    owner.grab(); // paints once, which places the marker hit areas
    IntensityControl &control = owner.control;

    // Press on the lower marker (at x = 11) and drag it to x = 75: intensity 256.
    QTest::mousePress(&owner, Qt::LeftButton, Qt::NoModifier, QPoint(11, 35));
    EXPECT_TRUE(control.m_dragging_lower);
    Move(owner, QPoint(75, 35));
    EXPECT_EQ(control.m_lower_intensity, 256);
    // To the right edge: 65535 would not be below the upper marker, so nothing changes.
    Move(owner, QPoint(140, 35));
    EXPECT_EQ(control.m_lower_intensity, 256);
    // Leaving the drag area ends the drag; coming back does not resume it.
    Move(owner, QPoint(75, 50));
    EXPECT_FALSE(control.m_dragging_lower);
    Move(owner, QPoint(20, 35));
    EXPECT_EQ(control.m_lower_intensity, 256);
    EXPECT_EQ(owner.dragResults, (std::vector<int>{1, 0, 0, 0}));
    QTest::mouseRelease(&owner, Qt::LeftButton, Qt::NoModifier, QPoint(20, 35));

    // The upper marker (at x = 139) dragged to x = 107: 4096; not below the lower marker.
    owner.grab();
    QTest::mousePress(&owner, Qt::LeftButton, Qt::NoModifier, QPoint(139, 35));
    EXPECT_TRUE(control.m_dragging_upper);
    Move(owner, QPoint(107, 35));
    EXPECT_EQ(control.m_upper_intensity, 4096);
    Move(owner, QPoint(11, 35));
    EXPECT_EQ(control.m_upper_intensity, 4096);
    QTest::mouseRelease(&owner, Qt::LeftButton, Qt::NoModifier, QPoint(11, 35));
    EXPECT_FALSE(control.m_dragging_upper);
    EXPECT_LT(control.m_lower_intensity, control.m_upper_intensity);
}

TEST(IntensityControl, RefusalsChangeNothing)
{
    IntensityControl control;
    PlaceFrame(control);
    std::string error;
    ASSERT_TRUE(control.SetLowerAndUpperIntensities(100, 200, error));
    EXPECT_FALSE(control.SetLowerAndUpperIntensities(100, 100, error));
    EXPECT_EQ(error, "Ostravo::IntensityControl::SetLowerAndUpperIntensities() lower intensity must be less "
                     "than upper intensity.");
    EXPECT_EQ(control.m_lower_intensity, 100);
    EXPECT_EQ(control.m_upper_intensity, 200);

    // While another thread holds the histogram, drawing it gives up after its wait.
    const uint16_t value = 7;
    ASSERT_TRUE(control.SetHistogramFromValues(&value, 1, error));
    ASSERT_TRUE(control.m_access_semaphore.Wait(0));
    QImage image(200, 60, QImage::Format_RGB32);
    QPainter painter(&image);
    EXPECT_FALSE(control.DrawHistogram(painter, error));
    EXPECT_EQ(error, "Ostravo::IntensityControl::DrawHistogram() failed waiting for m_access_semaphore: 258");
    control.m_access_semaphore.Release();
}
