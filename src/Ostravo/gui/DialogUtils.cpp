#include "Ostravo/gui/DialogUtils.h"

#include <QFontMetrics>
#include <QPainter>
#include <QShowEvent>

const QPen ButtonSilverPen(QColor(192, 192, 192), 1, Qt::SolidLine);

namespace {

const int kMaxCaption = 62;

// Edges as the drawing rules count them: right and bottom lie just outside the rectangle.
struct Edges
{
    int left, top, right, bottom;
};

Edges EdgesOf(const QRect &rect)
{
    return {rect.left(), rect.top(), rect.left() + rect.width(), rect.top() + rect.height()};
}

// Pixel runs, both ends included; nothing for an empty run.
void Row(QPainter &painter, int x0, int x1, int y, const QColor &colour)
{
    if (x1 >= x0)
        painter.fillRect(QRect(x0, y, x1 - x0 + 1, 1), colour);
}

void Column(QPainter &painter, int x, int y0, int y1, const QColor &colour)
{
    if (y1 >= y0)
        painter.fillRect(QRect(x, y0, 1, y1 - y0 + 1), colour);
}

// Steps shared by both frames: the outline with cut corners, then the focus frame. Returns the
// inner rectangle.
Edges DrawOutline(QPainter &painter, const QRect &rect, bool focused)
{
    const Edges e = EdgesOf(rect);
    const QColor black(0, 0, 0);
    const QColor silver = ButtonSilverPen.color();
    Row(painter, e.left + 1, e.right - 2, e.top, black);
    Column(painter, e.right - 1, e.top + 1, e.bottom - 2, black);
    Row(painter, e.left + 1, e.right - 2, e.bottom - 1, black);
    Column(painter, e.left, e.top + 1, e.bottom - 2, black);
    Row(painter, e.left, e.left, e.top, silver);
    Row(painter, e.right - 1, e.right - 1, e.top, silver);
    Row(painter, e.left, e.left, e.bottom - 1, silver);
    Row(painter, e.right - 1, e.right - 1, e.bottom - 1, silver);
    if (!focused)
        return e;
    const Edges inner{e.left + 1, e.top + 1, e.right - 1, e.bottom - 1};
    Row(painter, inner.left, inner.right - 1, inner.top, black);
    Row(painter, inner.left, inner.right - 1, inner.bottom - 1, black);
    Column(painter, inner.left, inner.top, inner.bottom - 1, black);
    Column(painter, inner.right - 1, inner.top, inner.bottom - 1, black);
    return inner;
}

void PaintButton(QPainter &painter, const QRect &rect, bool pressed, bool focused, QString caption,
                 const QColor &colour)
{
    painter.save();
    painter.setPen(QColor(0, 0, 0));
    painter.setBackgroundMode(Qt::TransparentMode);
    painter.fillRect(rect.adjusted(1, 1, -1, -1), colour);

    caption.truncate(kMaxCaption);
    const QFontMetrics metrics = painter.fontMetrics();
    const Edges e = EdgesOf(rect);
    const int x = e.left + (e.right - metrics.horizontalAdvance(caption) - e.left + 1) / 2;
    const int y = e.top + (e.bottom - metrics.height() - e.top + 1) / 2;
    // Text is placed by its top left corner; the pressed caption moves one pixel right and down.
    if (pressed) {
        painter.drawText(QPoint(x + 1, y + metrics.ascent()), caption);
        DrawPressedButtonFrame(painter, rect, focused);
    } else {
        painter.drawText(QPoint(x, y - 1 + metrics.ascent()), caption);
        DrawButtonFrame(painter, rect, focused);
    }
    painter.restore();
}

} // namespace

QColor ColorFromRgbValue(uint32_t colour)
{
    return QColor(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                  static_cast<int>((colour >> 16) & 0xFF));
}

uint32_t RgbValueFromColor(const QColor &colour)
{
    return RgbValue(colour.red(), colour.green(), colour.blue());
}

QWidget *FindControl(QWidget *dialog, int controlId)
{
    if (!dialog)
        return nullptr;
    return dialog->findChild<QWidget *>(QString::number(controlId));
}

void DrawButtonFrame(QPainter &painter, const QRect &rect, bool focused)
{
    const Edges in = DrawOutline(painter, rect, focused);
    const QColor grey(128, 128, 128);
    painter.fillRect(QRect(in.right - 3, in.top + 1, 2, in.bottom - 1 - (in.top + 1)), grey);
    painter.fillRect(QRect(in.left + 1, in.bottom - 3, in.right - 1 - (in.left + 1), 2), grey);
    const QColor white(255, 255, 255);
    Column(painter, in.left + 1, in.top + 1, in.bottom - 3, white);
    Row(painter, in.left + 1, in.right - 3, in.top + 1, white);
}

void DrawPressedButtonFrame(QPainter &painter, const QRect &rect, bool focused)
{
    const Edges in = DrawOutline(painter, rect, focused);
    const QColor silver = ButtonSilverPen.color();
    Column(painter, in.left + 1, in.top + 1, in.bottom - 2, silver);
    Row(painter, in.left + 1, in.right - 3, in.top + 1, silver);
}

int FillControlColor(QWidget *dialog, int controlId, const OwnerDrawInfo *info, uint32_t colour)
{
    if (!dialog)
        return 0;
    QWidget *control = FindControl(dialog, controlId);
    if (!info) {
        // Widgets paint themselves: the button keeps the colour and repaints with it.
        auto *button = qobject_cast<ColouredButton *>(control);
        if (!button)
            return 0;
        button->SetColour(colour);
        button->repaint();
        return 1;
    }
    if (!info->painter)
        return 0;
    QString caption;
    if (control) {
        info->painter->setFont(control->font());
        caption = control->property("text").toString();
    }
    PaintButton(*info->painter, info->rect, info->selected, info->focused, caption,
                ColorFromRgbValue(colour));
    return 1;
}

ColouredButton::ColouredButton(QWidget *parent) : QPushButton(parent) {}

void ColouredButton::SetColour(uint32_t colour)
{
    m_colour = colour;
    update();
}

void ColouredButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setFont(font());
    PaintButton(painter, rect(), isDown(), hasFocus(), text(), ColorFromRgbValue(m_colour));
}

namespace Ostravo {

SelectColor::SelectColor(QWidget *parent) : QColorDialog(QColor(0, 0, 0), parent)
{
    setOption(QColorDialog::DontUseNativeDialog);
}

uint32_t SelectColor::GetColor() const
{
    return RgbValueFromColor(selectedColor().isValid() ? selectedColor() : currentColor());
}

void SelectColor::showEvent(QShowEvent *event)
{
    setCurrentColor(ColorFromRgbValue(m_initial_colour));
    QColorDialog::showEvent(event);
}

} // namespace Ostravo
