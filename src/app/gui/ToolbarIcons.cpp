// The toolbar's button images, drawn at run time at the toolbar's button size: simple shapes in a
// few colours, so that each button reads at a glance and greys out clearly when disabled.
#include "app/CommandIds.h"
#include "app/gui/ToolbarEx.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

const QColor kInk(40, 40, 48);
const QColor kBlue(40, 100, 190);
const QColor kRed(205, 35, 35);
const QColor kGreen(30, 150, 70);
const QColor kPaper(250, 250, 245);
const QColor kFolder(235, 190, 70);

QPen InkPen(qreal width = 2.5, QColor color = kInk)
{
    return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// A small histogram of grey bars along the bottom of rect.
void DrawHistogram(QPainter &p, const QRectF &rect)
{
    const qreal heights[] = {0.2, 0.45, 0.8, 1.0, 0.7, 0.4, 0.25, 0.15};
    const int n = 8;
    const qreal w = rect.width() / n;
    p.setPen(Qt::NoPen);
    for (int i = 0; i < n; ++i) {
        const qreal h = rect.height() * heights[i];
        p.setBrush(QColor(60 + 20 * i, 60 + 20 * i, 70 + 20 * i));
        p.drawRect(QRectF(rect.left() + i * w + 0.5, rect.bottom() - h, w - 1.0, h));
    }
}

// A magnifying glass whose lens is centred at (cx, cy).
void DrawMagnifier(QPainter &p, qreal cx, qreal cy, qreal r)
{
    p.setPen(InkPen(4.0));
    p.drawLine(QPointF(cx + r * 0.7, cy + r * 0.7), QPointF(cx + r * 1.7, cy + r * 1.7));
    p.setPen(InkPen(3.0));
    p.setBrush(QColor(215, 235, 250));
    p.drawEllipse(QPointF(cx, cy), r, r);
}

// A camera body with its lens.
void DrawCamera(QPainter &p, const QRectF &body)
{
    p.setPen(InkPen(2.5));
    p.setBrush(QColor(90, 95, 110));
    p.drawRoundedRect(body, 4, 4);
    p.drawRect(QRectF(body.left() + body.width() * 0.15, body.top() - 5, body.width() * 0.25, 5));
    p.setBrush(QColor(170, 200, 235));
    const qreal r = body.height() * 0.32;
    p.drawEllipse(body.center(), r, r);
}

void Draw(QPainter &p, int id, int w, int h)
{
    const qreal cx = w / 2.0;
    const qreal cy = h / 2.0;
    switch (id) {
    case cmd::kRunUserInterface: {
        // A screen with a play mark: start the operator screen.
        p.setPen(InkPen());
        p.setBrush(QColor(30, 60, 110));
        p.drawRoundedRect(QRectF(10, 6, w - 20, h - 16), 3, 3);
        p.drawLine(QPointF(cx, h - 10), QPointF(cx, h - 5));
        p.drawLine(QPointF(cx - 10, h - 4), QPointF(cx + 10, h - 4));
        QPainterPath play;
        play.moveTo(cx - 7, 12);
        play.lineTo(cx + 10, cy - 4);
        play.lineTo(cx - 7, h - 20);
        play.closeSubpath();
        p.setPen(Qt::NoPen);
        p.setBrush(kGreen.lighter(140));
        p.drawPath(play);
        break;
    }
    case cmd::kFileOpen: {
        // An open folder.
        p.setPen(InkPen(2.0));
        p.setBrush(kFolder.darker(115));
        p.drawRect(QRectF(12, 12, w - 24, h - 20));
        p.drawRect(QRectF(12, 8, 16, 5));
        QPainterPath flap;
        flap.moveTo(12, h - 8);
        flap.lineTo(20, 20);
        flap.lineTo(w - 6, 20);
        flap.lineTo(w - 12, h - 8);
        flap.closeSubpath();
        p.setBrush(kFolder);
        p.drawPath(flap);
        break;
    }
    case cmd::kLiveImage: {
        // A camera with a red "live" dot.
        DrawCamera(p, QRectF(10, 14, w - 26, h - 22));
        p.setPen(Qt::NoPen);
        p.setBrush(kRed);
        p.drawEllipse(QPointF(w - 10, 10), 6, 6);
        break;
    }
    case cmd::kImageTypeComboPlace: {
        // Stacked frames: the image types.
        p.setPen(InkPen(2.0));
        for (int i = 2; i >= 0; --i) {
            p.setBrush(QColor(200 - 40 * i, 210 - 30 * i, 230));
            p.drawRect(QRectF(14 + 6 * i, 8 + 5 * i, w - 40, h - 26));
        }
        break;
    }
    case cmd::kStartExperimentWorkflow: {
        // The red record button.
        p.setPen(InkPen(2.0));
        p.setBrush(kRed);
        const qreal r = h * 0.36;
        p.drawEllipse(QPointF(cx, cy), r, r);
        break;
    }
    case cmd::kStopExperimentWorkflow: {
        // A stop square.
        p.setPen(InkPen(2.0));
        p.setBrush(QColor(70, 70, 80));
        const qreal s = h * 0.6;
        p.drawRect(QRectF(cx - s / 2, cy - s / 2, s, s));
        break;
    }
    case cmd::kSingleWorkflowCapture: {
        // A camera with a "1": one capture.
        DrawCamera(p, QRectF(8, 14, w - 24, h - 22));
        QFont font = p.font();
        font.setBold(true);
        font.setPixelSize(16);
        p.setFont(font);
        p.setPen(kBlue);
        p.drawText(QRectF(w - 18, 2, 16, 18), Qt::AlignCenter, QStringLiteral("1"));
        break;
    }
    case cmd::kAutoScale: {
        // A histogram with an "A": scale automatically.
        DrawHistogram(p, QRectF(8, 14, w - 16, h - 18));
        QFont font = p.font();
        font.setBold(true);
        font.setPixelSize(16);
        p.setFont(font);
        p.setPen(kBlue);
        p.drawText(QRectF(w - 22, 0, 20, 18), Qt::AlignCenter, QStringLiteral("A"));
        break;
    }
    case cmd::kScaleIntensities: {
        // A histogram between two limit markers.
        DrawHistogram(p, QRectF(12, 10, w - 24, h - 16));
        p.setPen(InkPen(3.0, kBlue));
        p.drawLine(QPointF(10, 6), QPointF(10, h - 4));
        p.drawLine(QPointF(w - 10, 6), QPointF(w - 10, h - 4));
        break;
    }
    case cmd::kZoomIn:
    case cmd::kZoomOut: {
        const qreal r = h * 0.28;
        const qreal lx = cx - 5;
        const qreal ly = cy - 5;
        DrawMagnifier(p, lx, ly, r);
        p.setPen(InkPen(3.0));
        p.drawLine(QPointF(lx - r * 0.55, ly), QPointF(lx + r * 0.55, ly));
        if (id == cmd::kZoomIn)
            p.drawLine(QPointF(lx, ly - r * 0.55), QPointF(lx, ly + r * 0.55));
        break;
    }
    case cmd::kFullScale: {
        // A frame with arrows to its corners: the whole image.
        p.setPen(InkPen(2.0));
        p.setBrush(QColor(215, 235, 250));
        p.drawRect(QRectF(14, 9, w - 28, h - 18));
        p.setPen(InkPen(2.5, kBlue));
        const QPointF c(cx, cy);
        const QPointF corners[] = {{18, 13}, {w - 18.0, 13}, {18, h - 13.0}, {w - 18.0, h - 13.0}};
        for (const QPointF &corner : corners) {
            p.drawLine(c, corner);
            const QPointF d = corner - c;
            const qreal sx = d.x() > 0 ? -5 : 5;
            const qreal sy = d.y() > 0 ? -5 : 5;
            p.drawLine(corner, corner + QPointF(sx, 0));
            p.drawLine(corner, corner + QPointF(0, sy));
        }
        break;
    }
    case cmd::kManual: {
        // A book with a question mark.
        p.setPen(InkPen(2.0));
        p.setBrush(kBlue);
        p.drawRoundedRect(QRectF(cx - 14, 5, 28, h - 10), 2, 2);
        p.setBrush(kPaper);
        p.drawRect(QRectF(cx - 10, 9, 22, h - 18));
        QFont font = p.font();
        font.setBold(true);
        font.setPixelSize(22);
        p.setFont(font);
        p.setPen(kBlue);
        p.drawText(QRectF(cx - 10, 9, 22, h - 18), Qt::AlignCenter, QStringLiteral("?"));
        break;
    }
    default:
        break;
    }
}

} // namespace

QIcon ToolbarIcon(int id)
{
    QPixmap pixmap(CToolBarEx::kButtonWidth, CToolBarEx::kButtonHeight);
    pixmap.fill(Qt::transparent);
    {
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        Draw(painter, id, pixmap.width(), pixmap.height());
    }
    return QIcon(pixmap);
}

QIcon ProgramIcon()
{
    // Cells under a lens on the program's blue: drawn at each size so small ones stay crisp.
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 64.0, size / 64.0);
        p.setPen(Qt::NoPen);
        p.setBrush(kBlue);
        p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
        p.setBrush(QColor(215, 235, 250));
        p.drawEllipse(QPointF(28, 28), 19, 19);
        p.setBrush(kGreen);
        for (const QPointF &cell : {QPointF(21, 22), QPointF(33, 20), QPointF(27, 34), QPointF(37, 31)})
            p.drawEllipse(cell, 5, 5);
        p.setPen(QPen(kPaper, 6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(43, 43), QPointF(54, 54));
        p.setPen(QPen(kPaper, 3));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(28, 28), 19, 19);
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}
