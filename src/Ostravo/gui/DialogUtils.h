#pragma once
// Coloured push buttons and the colour chooser that the fluidic control panel and its button editor
// use for their script buttons.
//
// Colours are Windows RGB values (0x00BBGGRR), as the settings files store them. Controls of a
// dialog are found by their object name, which holds the control id in decimal ("1040").
#include <QColorDialog>
#include <QPen>
#include <QPushButton>
#include <QRect>
#include <cstdint>

class QPainter;

inline uint32_t RgbValue(int red, int green, int blue)
{
    return static_cast<uint32_t>(red & 0xFF) | (static_cast<uint32_t>(green & 0xFF) << 8) |
           (static_cast<uint32_t>(blue & 0xFF) << 16);
}
QColor ColorFromRgbValue(uint32_t colour);
uint32_t RgbValueFromColor(const QColor &colour);

// The child of dialog whose object name is the control id; null when there is none.
QWidget *FindControl(QWidget *dialog, int controlId);

// Light grey (192, 192, 192) of the pressed button's inner edge and of the frames' cut corners.
extern const QPen ButtonSilverPen;

// What the button's own painting hands over: where to paint and the button's state.
struct OwnerDrawInfo
{
    QPainter *painter = nullptr;
    QRect rect;
    bool selected = false; // pressed
    bool focused = false;
};

// Paints the button control controlId of dialog filled with colour, its caption (at most 62
// characters) centred in black, and a raised frame, or a pressed one (caption one pixel right and
// down) when info says selected. With info, paints with info's painter into info's rectangle.
// Without it, the control must be a ColouredButton: it takes the colour and repaints itself.
// Returns 1, or 0 when the dialog or the control is not there.
int FillControlColor(QWidget *dialog, int controlId, const OwnerDrawInfo *info, uint32_t colour);

// Black outline with cut corners, a dark grey shadow band along the right and bottom edges and a
// white highlight along the left and top; focused adds a black frame one pixel inside.
void DrawButtonFrame(QPainter &painter, const QRect &rect, bool focused);
// The outline of DrawButtonFrame with a light grey inner edge along the left and top only.
void DrawPressedButtonFrame(QPainter &painter, const QRect &rect, bool focused);

// A push button drawn in a colour of the user's choice.
class ColouredButton : public QPushButton
{
    Q_OBJECT
  public:
    explicit ColouredButton(QWidget *parent = nullptr);
    void SetColour(uint32_t colour);
    uint32_t Colour() const { return m_colour; }

  protected:
    void paintEvent(QPaintEvent *event) override;

  private:
    uint32_t m_colour = RgbValue(192, 192, 192);
};

namespace Ostravo {

// The colour dialog of the coloured buttons: opens with m_initial_colour selected.
class SelectColor : public QColorDialog
{
    Q_OBJECT
  public:
    explicit SelectColor(QWidget *parent = nullptr);
    // The colour chosen with OK.
    uint32_t GetColor() const;

    uint32_t m_initial_colour = 0;

  protected:
    void showEvent(QShowEvent *event) override;
};

} // namespace Ostravo
