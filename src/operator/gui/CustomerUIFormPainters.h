#pragma once
// Layout of the screens a script fills with texts, inputs and images: the form rows (label, edit or
// check box, underline, "Browse" link) and the row of check boxes under the check images. The
// painters draw from it and the window places its controls from it, so the controls stand where
// their labels are drawn.
#include "operator/CustomerUI.h"

#include <QFont>
#include <QFontMetrics>
#include <QRect>

#include <string>
#include <vector>

class CustomerUIWnd;

namespace cui_form {

// The two units of the forms, both in the screen's text font: cy, the height of "I", and the width
// of "W" (and of "I" for the gap between a label and its edit), as extents of those letters.
struct Units
{
    int cy = 0;
    int widthW = 0;
    int widthI = 0;
};
Units MeasureUnits(const QFont &font);

struct Row
{
    QRect label;     // right-aligned label, L wide and cy high
    QRect control;   // the edit (forms) or the square check box
    QRect underline; // forms with edits: the 2-pixel line under the edit
    QRect browse;    // file-name forms: the "Browse" link under the edit's right end
};

struct Layout
{
    std::vector<QRect> lines; // the text lines, each its own extent
    std::vector<Row> rows;    // one per input
    QRect title;              // the image-check screen's first text line (empty without one)
    // What the form block covers; nothing of it is redrawn when the update misses it.
    QRect band;
};

// The extent of a text on one line, as drawing it takes it.
QSize Extent(const QFontMetrics &fm, const QString &text);
// The extent of a text centred at x 0.5 with its top at top.
QRect CentredLine(const QFontMetrics &fm, int w, int top, const std::string &text);

// The rectangle of the fractions (left, top, right, bottom) of a w x h client; right and bottom
// are the first pixels outside it.
QRect FractionRect(int w, int h, double l, double t, double r, double b);

// The form screens (PromptForInput, PromptForInputChecks, PromptForFilename) for a w x h client.
Layout LayoutForm(const QFont &font, int w, int h, const CustomerUIData &d);
// The check-box row and title of PromptForImageChecks; no rows without inputs.
Layout LayoutImageChecks(const QFont &font, int w, int h, const CustomerUIData &d);

// Places the edits or check boxes of the form and check states where their rows are; a control is
// moved only when its rectangle changed. The window calls it when it follows the model.
void PlaceFormControls(CustomerUIWnd &wnd, const CustomerUIData &d);

} // namespace cui_form
