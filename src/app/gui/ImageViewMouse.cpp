// The pointer interaction of the image view: the rubber band that edits the active ROI, the
// pixels-per-millimetre measuring line, placing the four calibration lines, the question that keeps
// detected lines, and the context menu.
#include "app/gui/ImageView.h"

#include "Ostravo/LogError.h"
#include "Ostravo/Profile.h"
#include "Ostravo/ProfileValues.h"
#include "app/BackgroundImages.h"
#include "app/ImageDoc.h"
#include "app/PlexorinApp.h"
#include "app/ToolServices.h"
#include "app/gui/ImageViewLinks.h"
#include "platform/Ui.h"
#include "platform/gui/QtText.h"

#include <QAction>
#include <QBitmap>
#include <QCursor>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

#include <cmath>
#include <cstdio>

namespace {

int32_t RoundHalfAway(double value)
{
    return static_cast<int32_t>(std::lround(value));
}

// The cursors shown while a lower or an upper line waits to be placed: a horizontal bar with an
// arrow pointing at it from below or from above.
QCursor LineCursor(bool lower)
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(Qt::white);
    painter.drawRect(2, 14, 27, 3);
    QPolygon arrow;
    if (lower)
        arrow << QPoint(16, 19) << QPoint(11, 26) << QPoint(21, 26);
    else
        arrow << QPoint(16, 12) << QPoint(11, 5) << QPoint(21, 5);
    painter.drawPolygon(arrow);
    painter.end();
    return QCursor(pixmap, 16, 15);
}

const QCursor &LowerLineCursor()
{
    static const QCursor cursor = LineCursor(true);
    return cursor;
}

const QCursor &UpperLineCursor()
{
    static const QCursor cursor = LineCursor(false);
    return cursor;
}

ImageRect NormalizedRect(QPoint a, QPoint b)
{
    return ImageRect{std::min(a.x(), b.x()), std::min(a.y(), b.y()), std::max(a.x(), b.x()),
                     std::max(a.y(), b.y())};
}

bool AnchorSet(QPoint anchor)
{
    return anchor.x() >= 0 && anchor.y() >= 0;
}

void WriteMainSetting(const char *key, int32_t value)
{
    char text[16];
    std::snprintf(text, sizeof(text), "%d", static_cast<int>(value));
    Ostravo::E_WritePrivateProfileString("CalibrationSettings", key, text, theApp.m_ini_path.c_str());
}

} // namespace

bool WriteCalibrationLineValue(const char *key, int32_t row)
{
    if (ProjectionTool().Window().HasWindow()) {
        if (!ProjectionTool().Window().IsVisible())
            return true; // a hidden tool drops the line
        return ProjectionTool().SaveCalibrationLine(key, row);
    }
    if (Fractionation().Window().HasWindow()) {
        if (!Fractionation().Window().IsVisible())
            return true;
        return Fractionation().SaveCalibrationLine(key, row);
    }
    char text[16];
    std::snprintf(text, sizeof(text), "%d", static_cast<int>(row));
    return Ostravo::E_WritePrivateProfileString("CalibrationSettings", key, text, theApp.m_ini_path.c_str());
}

// ---- Mouse ---------------------------------------------------------------------------------------

void CImageView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        OnLButtonDown(event->position().toPoint());
    else if (event->button() == Qt::RightButton)
        OnRButtonDown(event->position().toPoint());
    QAbstractScrollArea::mousePressEvent(event);
}

void CImageView::mouseMoveEvent(QMouseEvent *event)
{
    OnMouseMove(event->position().toPoint(), (event->buttons() & Qt::LeftButton) != 0);
    QAbstractScrollArea::mouseMoveEvent(event);
}

void CImageView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        OnLButtonUp(event->position().toPoint());
    QAbstractScrollArea::mouseReleaseEvent(event);
}

void CImageView::OnLButtonDown(QPoint point)
{
    if (m_roi_edit_mode) {
        m_roi_anchor = point;
        m_band = ImageRect{};
        viewport()->update();
        return;
    }
    if (m_ppmm_mode) {
        m_ppmm_anchor = point;
        m_band = ImageRect{};
        viewport()->update();
        return;
    }
    if (m_place_line[kLowerMagnet] || m_place_line[kUpperMagnet] || m_place_line[kLowerChannel] ||
        m_place_line[kUpperChannel]) {
        if (!m_document || !m_document->HasImage())
            return; // no image rows to place a line on
        const int32_t row = RoundHalfAway(m_document->GetImage()->rows * ClientToImageFraction(point).y);
        static const struct
        {
            LineSlot line;
            const char *key;
        } kOrder[] = {{kLowerMagnet, "LowerMagnet"},
                      {kUpperMagnet, "UpperMagnet"},
                      {kLowerChannel, "LowerChannel"},
                      {kUpperChannel, "UpperChannel"}};
        for (const auto &entry : kOrder) {
            if (!m_place_line[entry.line])
                continue;
            _shown_calibration_lines.Update([&](CalibrationLines &lines) {
                switch (entry.line) {
                case kLowerMagnet:
                    lines.lower_magnet = row;
                    break;
                case kUpperMagnet:
                    lines.upper_magnet = row;
                    break;
                case kLowerChannel:
                    lines.lower_channel = row;
                    break;
                case kUpperChannel:
                    lines.upper_channel = row;
                    break;
                }
            });
            WriteCalibrationLineValue(entry.key, row);
            m_place_line[entry.line] = false;
            if (entry.line == kLowerMagnet || entry.line == kUpperMagnet)
                ViewLinks().counting->ShowMagnetLine(entry.line == kLowerMagnet);
            break;
        }
        UpdateCursor();
        InvalidateAllViews();
        Invalidate();
        return;
    }
    _last_click.Set(ClientToImageFraction(point));
    InvalidateAllViews();
    Invalidate();
    OnUpdatePixelValue();
}

void CImageView::OnMouseMove(QPoint point, bool leftButtonDown)
{
    // A drag ends its mode with the first move after the button went up.
    if (m_roi_edit_mode && AnchorSet(m_roi_anchor) && !leftButtonDown) {
        m_roi_edit_mode = false;
        m_roi_anchor = QPoint(-1, -1);
    }
    if (m_ppmm_mode && AnchorSet(m_ppmm_anchor) && !leftButtonDown) {
        m_ppmm_mode = false;
        m_ppmm_anchor = QPoint(-1, -1);
    }
    UpdateCursor();
    if (m_roi_edit_mode && AnchorSet(m_roi_anchor)) {
        m_band = NormalizedRect(m_roi_anchor, point);
        viewport()->update();
    } else if (m_ppmm_mode && AnchorSet(m_ppmm_anchor)) {
        m_band = NormalizedRect(m_ppmm_anchor, point);
        viewport()->update();
    }
}

void CImageView::OnLButtonUp(QPoint)
{
    if (m_roi_edit_mode) {
        bool stored = false;
        if (!m_band.IsZero() && m_document && m_document->HasImage()) {
            const cv::Mat &image = *m_document->GetImage();
            const ClickPoint topLeft = ClientToImageFraction(QPoint(m_band.left, m_band.top));
            const ClickPoint bottomRight = ClientToImageFraction(QPoint(m_band.right, m_band.bottom));
            const ImageRect roi{RoundHalfAway(image.cols * topLeft.x), RoundHalfAway(image.rows * topLeft.y),
                                RoundHalfAway(image.cols * bottomRight.x),
                                RoundHalfAway(image.rows * bottomRight.y)};
            // A band without a drag, or one that misses the image, leaves the ROI as it was.
            stored = SetActiveRoiClipped(roi, image.cols, image.rows);
        }
        if (stored) {
            if (RoiTools().RoiManager().HasWindow())
                RoiTools().ShowCurrentRoi();
            ViewLinks().counting->ShowActiveRoi(_active_roi.Get());
        } else {
            // Editing stays armed for another try.
            m_roi_anchor = QPoint(-1, -1);
        }
        m_band = ImageRect{};
        Invalidate();
        return;
    }
    if (m_ppmm_mode) {
        if (m_document && m_document->HasImage() && AnchorSet(m_ppmm_anchor)) {
            const double rows = m_document->GetImage()->rows;
            const double top = rows * ClientToImageFraction(QPoint(m_band.left, m_band.top)).y;
            const double bottom = rows * ClientToImageFraction(QPoint(m_band.right, m_band.bottom)).y;
            Calibration().RunComputePixelsPerMmDialog(bottom - top);
        }
        m_band = ImageRect{};
        Invalidate();
    }
}

void CImageView::UpdateCursor()
{
    m_wait_cursor = false;
    QCursor cursor(Qt::ArrowCursor);
    if (m_roi_edit_mode || m_ppmm_mode)
        cursor = QCursor(Qt::PointingHandCursor);
    else if (m_place_line[kLowerMagnet] || m_place_line[kLowerChannel])
        cursor = LowerLineCursor();
    else if (m_place_line[kUpperMagnet] || m_place_line[kUpperChannel])
        cursor = UpperLineCursor();
    const QCursor current = viewport()->cursor();
    if (current.shape() != cursor.shape() || cursor.shape() == Qt::BitmapCursor)
        viewport()->setCursor(cursor);
}

// ---- Context menu --------------------------------------------------------------------------------

void CImageView::OnRButtonDown(QPoint point)
{
    std::unique_ptr<QMenu> menu = BuildContextMenu();
    QAction *chosen = menu->exec(viewport()->mapToGlobal(point));
    if (chosen)
        OnCommand(chosen->data().toInt());
}

std::unique_ptr<QMenu> CImageView::BuildContextMenu()
{
    auto menu = std::make_unique<QMenu>();
    auto add = [&menu](const char *text, int id) {
        QAction *action = menu->addAction(platform::gui::ToQt(text));
        action->setData(id);
        return action;
    };
    const bool hidden = _roi_hidden.load();
    if (hidden)
        add("Show ROI", ID_SHOW_ROI);
    else
        add("Hide ROI", ID_HIDE_ROI);
    if (!hidden) {
        add("Edit Active Region Of Interest", ID_EDIT_ACTIVE_ROI);
        add("Choose Default ROI", ID_CHOOSE_DEFAULT_ROI);
        std::vector<ROIObject> list;
        if (Rois().LoadRoiList(theApp.m_ini_path.c_str(), list) && !list.empty())
            add("Choose Active Region Of Interest By Name", ID_CHOOSE_ROI_BY_NAME);
    }
    menu->addSeparator();
    add("Place Upper Magnet Line", ID_PLACE_UPPER_MAGNET_LINE);
    add("Place Lower Magnet Line", ID_PLACE_LOWER_MAGNET_LINE);
    menu->addSeparator();
    add("Place Upper Channel Line", ID_PLACE_UPPER_CHANNEL_LINE);
    add("Place Lower Channel Line", ID_PLACE_LOWER_CHANNEL_LINE);
    menu->addSeparator();
    add("Define pixels per mm", ID_DEFINE_PIXELS_PER_MM);
    add("Adjust Boundaries", ID_ADJUST_BOUNDARIES);
    menu->addSeparator();
    if (!hidden) {
        QAction *below = add("Draw Projection Below ROI", ID_DRAW_PROJECTION_BELOW_ROI);
        below->setCheckable(true);
        below->setChecked(_draw_projection_below_roi.load());
        QAction *right = add("Draw Projection Right of ROI", ID_DRAW_PROJECTION_RIGHT_OF_ROI);
        right->setCheckable(true);
        right->setChecked(_draw_projection_right_of_roi.load());
    }
    return menu;
}

// ---- Context-menu commands -----------------------------------------------------------------------

void CImageView::OnHideRoi()
{
    if (!_roi_hidden.exchange(true))
        InvalidateAllViews();
}

void CImageView::OnShowRoi()
{
    if (_roi_hidden.exchange(false))
        InvalidateAllViews();
}

void CImageView::OnEditActiveRoi()
{
    m_roi_edit_mode = true;
    m_roi_anchor = QPoint(-1, -1);
    m_ppmm_mode = false;
    m_place_line.fill(false);
    m_band = ImageRect{};
    Invalidate();
}

void CImageView::OnChooseDefaultRoi()
{
    if (m_document && m_document->HasImage())
        ResetDisplayRoi(m_document->GetImage()->cols, m_document->GetImage()->rows);
}

void CImageView::OnChooseRoiByName()
{
    RoiTools().RunChooseRoiDialog();
}

void CImageView::OnDefinePixelsPerMm()
{
    m_ppmm_mode = true;
    m_ppmm_anchor = QPoint(-1, -1);
    m_roi_edit_mode = false;
    m_place_line.fill(false);
    m_band = ImageRect{};
    Invalidate();
}

void CImageView::ArmLinePlacement(LineSlot line)
{
    m_place_line.fill(false);
    m_place_line[line] = true;
    m_roi_edit_mode = false;
    m_ppmm_mode = false;
}

void CImageView::OnPlaceUpperMagnetLine()
{
    ArmLinePlacement(kUpperMagnet);
}
void CImageView::OnPlaceLowerMagnetLine()
{
    ArmLinePlacement(kLowerMagnet);
}
void CImageView::OnPlaceUpperChannelLine()
{
    ArmLinePlacement(kUpperChannel);
}
void CImageView::OnPlaceLowerChannelLine()
{
    ArmLinePlacement(kLowerChannel);
}

void CImageView::OnAdjustBoundaries()
{
    char text[32] = {0};
    Ostravo::E_GetPrivateProfileString("CalibrationSettings", "image_pixels_per_mm", "", text, sizeof(text),
                                       theApp.m_ini_path.c_str());
    double pixelsPerMm = 0.0;
    if (std::sscanf(text, "%lf", &pixelsPerMm) != 1 || pixelsPerMm == 0.0) {
        platform::ui::MessageBox(
            "[CalibrationSettings] image_pixels_per_mm has not been assigned.\nRight click on an "
            "image and select \"Define pixels per mm\"");
        return;
    }
    ModelessWindow &dialog = Calibration().AdjustBoundaries();
    if (!dialog.HasWindow())
        dialog.Create(false);
    if (dialog.HasWindow() && !dialog.IsVisible())
        dialog.Show(true);
    Calibration().InitAdjustBoundaries(this);
}

void CImageView::OnDrawProjectionBelowRoi()
{
    _draw_projection_below_roi = !_draw_projection_below_roi.load();
    Invalidate();
}

void CImageView::OnDrawProjectionRightOfRoi()
{
    _draw_projection_right_of_roi = !_draw_projection_right_of_roi.load();
    Invalidate();
}

void CImageView::OnTimer(int id)
{
    if (id != kKeepLinesTimer)
        return;
    m_keep_lines_timer.stop();
    const int answer =
        platform::ui::MessageBox("Do you want to keep the Channel and Magnet Lines?", "Vantelis",
                                 platform::ui::MbYesNo | platform::ui::MbIconQuestion);
    if (answer == platform::ui::IdYes) {
        const CalibrationLines lines = _shown_calibration_lines.Get();
        WriteMainSetting("UpperChannel", lines.upper_channel);
        WriteMainSetting("LowerChannel", lines.lower_channel);
        WriteMainSetting("UpperMagnet", lines.upper_magnet);
        WriteMainSetting("LowerMagnet", lines.lower_magnet);
        return;
    }
    CalibrationLines lines = _shown_calibration_lines.Get();
    lines.upper_channel = Ostravo::ReadProfileInt("CalibrationSettings", "UpperChannel", lines.upper_channel,
                                                  theApp.m_ini_path.c_str(), 32);
    lines.lower_channel = Ostravo::ReadProfileInt("CalibrationSettings", "LowerChannel", lines.lower_channel,
                                                  theApp.m_ini_path.c_str(), 32);
    lines.upper_magnet = Ostravo::ReadProfileInt("CalibrationSettings", "UpperMagnet", lines.upper_magnet,
                                                 theApp.m_ini_path.c_str(), 32);
    lines.lower_magnet = Ostravo::ReadProfileInt("CalibrationSettings", "LowerMagnet", lines.lower_magnet,
                                                 theApp.m_ini_path.c_str(), 32);
    _shown_calibration_lines.Set(lines);
    Invalidate(true);
}
