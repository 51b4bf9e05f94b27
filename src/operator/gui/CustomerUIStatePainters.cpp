// Painters of the log-in, action choice, fixed prompt and live video screens.
#include "operator/gui/CustomerUIPaintPass.h"
#include "operator/gui/CustomerUIPainters.h"
#include "operator/gui/CustomerUIWnd.h"

#include "Ostravo/Profile.h"
#include "Ostravo/ProfileValues.h"
#include "Ostravo/TextFormat.h"
#include "app/PlexorinApp.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPainter>

#include <algorithm>

using cui_paint::FromLatin1;
using cui_paint::kText;
using cui_paint::ScreenFont;
using cui_paint::ToQRect;

namespace {

// Stand-in layout until the screens' own geometry lands: a label right of each visible edit, and
// the 2-pixel underline of the borderless edits.
void DrawEditLabelsAndUnderlines(CuiPaintPass &pass,
                                 const std::vector<std::pair<QLineEdit *, QString>> &edits)
{
    QPainter &painter = pass.painter;
    for (const auto &[edit, label] : edits) {
        if (!edit->isVisible())
            continue;
        const QRect g = edit->geometry();
        painter.fillRect(QRect(g.x(), g.bottom() + 1, g.width(), 2), kText);
        painter.drawText(QRect(0, g.top(), g.left() - 20, g.height()), Qt::AlignRight | Qt::AlignVCenter,
                         label);
    }
}

} // namespace

void PaintLogin(CuiPaintPass &pass)
{
    QRect bounds;
    cui_paint::DrawTextLines(pass.painter, pass.w, pass.h, pass.d.textLines,
                             static_cast<int>(pass.d.textLines.size()), 0.4, bounds);
    DrawEditLabelsAndUnderlines(
        pass, {{pass.wnd.InputEdit(0), "User name"}, {pass.wnd.PasswordEdit(), "Password"}});
    DrawNextButton(pass, nullptr);
    DrawTimedMessage(pass);
}

void PaintSelectAction(CuiPaintPass &pass)
{
    const CustomerUIData &d = pass.d;
    QPainter &painter = pass.painter;
    QRect bounds;
    cui_paint::DrawTextLines(painter, pass.w, pass.h, d.textLines, 1, d.topLinePos, bounds);
    const bool own = !d.actionLines.empty();
    const size_t count = own ? std::min(d.actionLines.size(), d.actionRects.size()) : 1;
    for (size_t i = 0; i < count; ++i) {
        const QRect box = ToQRect(own ? d.actionRects[i] : d.fixedActionRects[i]);
        painter.setPen(d.hoverAction == static_cast<int32_t>(i) + 1 ? cui_paint::kHighlight : kText);
        painter.drawRect(box);
        DrawScreenText(pass, box, Qt::AlignCenter,
                       own ? FromLatin1(d.actionLines[i]) : "Live Cell Enrichment");
    }
    painter.setPen(kText);
}

void PaintPromptInsertFlowcell(CuiPaintPass &pass)
{
    QRect bounds;
    cui_paint::DrawTextLines(pass.painter, pass.w, pass.h, pass.d.textLines,
                             static_cast<int>(pass.d.textLines.size()), pass.d.topLinePos, bounds);
    DrawNextButton(pass, nullptr);
    DrawBackButton(pass, nullptr);
    DrawCountdown(pass);
    DrawTimedMessage(pass);
}

void PaintPipetteSample(CuiPaintPass &pass)
{
    QRect bounds;
    cui_paint::DrawTextLines(pass.painter, pass.w, pass.h, pass.d.textLines,
                             static_cast<int>(pass.d.textLines.size()), pass.d.topLinePos, bounds);
    DrawNextButton(pass, nullptr);
    DrawBackButton(pass, nullptr);
    DrawCountdown(pass);
}

void PaintShowVideo(CuiPaintPass &pass)
{
    const CustomerUIData &d = pass.d;
    QPainter &painter = pass.painter;
    CustomerUIWnd &wnd = pass.wnd;
    QRect bounds;
    cui_paint::DrawTextLines(painter, pass.w, pass.h, d.textLines, 2, 0.7, bounds);
    painter.setPen(cui_paint::kOffGrey);
    painter.drawRect(ToQRect(wnd.Placement().imageArea));
    painter.setPen(kText);
    painter.drawText(ToQRect(wnd.Placement().splitText), Qt::AlignRight | Qt::AlignVCenter,
                     FromLatin1(d.splitText));
    painter.setFont(ScreenFont(wnd.ExposureCombo(0)->sizeHint().height()));
    for (int n = 0; n < 3; ++n) {
        const std::string key = FormatText("ImageTypeName%ld", static_cast<long>(n + 1));
        painter.drawText(wnd.ExposureLabelRect(n), Qt::AlignRight | Qt::AlignVCenter,
                         FromLatin1(Ostravo::ReadProfileString("ExperimentSettings", key.c_str(), "", 1023,
                                                               theApp.m_ini_path.c_str())));
        if (!d.comboVisible[static_cast<size_t>(n)]) {
            // A hidden combo leaves its "OFF" box, which turns the image type on again.
            const QRect box = wnd.ExposureCombo(n)->geometry();
            painter.setPen(cui_paint::kOffGrey);
            painter.setFont(ScreenFont(20));
            painter.drawText(box, Qt::AlignCenter, "OFF");
            painter.drawRect(box.adjusted(0, 0, -1, -1));
            painter.setPen(kText);
        }
        std::string error;
        wnd.Shared().intensity[static_cast<size_t>(n)].Draw(painter, error);
    }
    painter.setFont(ScreenFont(40));
    DrawCountdown(pass);
    DrawNextButton(pass, &d.nextText);
    DrawBackButton(pass, &d.backText);
}
