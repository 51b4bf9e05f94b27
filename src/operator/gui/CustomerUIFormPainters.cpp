// Painters of the screens a script fills: input forms, information and image checks.
#include "operator/gui/CustomerUIPaintPass.h"
#include "operator/gui/CustomerUIPainters.h"
#include "operator/gui/CustomerUIWnd.h"

#include <QLineEdit>
#include <QPainter>

using cui_paint::FromLatin1;
using cui_paint::kText;
using cui_paint::ToQRect;

namespace {

// Stand-in layout until the forms' own geometry lands: the prompt lines, a label left of each
// visible edit with the edit's underline, and the buttons.
void PaintStandInForm(CuiPaintPass &pass)
{
    const CustomerUIData &d = pass.d;
    QPainter &painter = pass.painter;
    QRect bounds;
    cui_paint::DrawTextLines(painter, pass.w, pass.h, d.textLines, static_cast<int>(d.textLines.size()),
                             d.topLinePos, bounds);
    for (size_t i = 0; i < 6 && i < d.inputLabels.size(); ++i) {
        QLineEdit *edit = pass.wnd.InputEdit(static_cast<int>(i));
        if (!edit->isVisible())
            continue;
        const QRect g = edit->geometry();
        painter.fillRect(QRect(g.x(), g.bottom() + 1, g.width(), 2), kText);
        painter.drawText(QRect(0, g.top(), g.left() - 20, g.height()), Qt::AlignRight | Qt::AlignVCenter,
                         FromLatin1(d.inputLabels[i]));
    }
    for (size_t i = 0; d.state == PromptForFilename && i < d.browseRects.size(); ++i) {
        const bool hover = i < d.browseHover.size() && d.browseHover[i];
        painter.setPen(hover ? cui_paint::kHighlight : kText);
        painter.drawRect(ToQRect(d.browseRects[i]));
        painter.drawText(ToQRect(d.browseRects[i]), Qt::AlignCenter, "Browse");
    }
    painter.setPen(kText);
    DrawNextButton(pass, &d.nextText);
    DrawBackButton(pass, &d.backText);
    DrawCountdown(pass);
    DrawTimedMessage(pass);
}

} // namespace

void PaintPromptForInput(CuiPaintPass &pass)
{
    PaintStandInForm(pass);
}

void PaintPromptForInputChecks(CuiPaintPass &pass)
{
    PaintStandInForm(pass);
}

void PaintPromptForFilename(CuiPaintPass &pass)
{
    PaintStandInForm(pass);
}

void PaintPromptInfo(CuiPaintPass &pass)
{
    PaintStandInForm(pass);
}

void PaintPromptForImageChecks(CuiPaintPass &pass)
{
    PaintStandInForm(pass);
}

void PaintPromptForFusedImageVerification(CuiPaintPass &pass)
{
    PaintStandInForm(pass);
}

void PaintPromptForMontageReport(CuiPaintPass &pass)
{
    PaintStandInForm(pass);
}
