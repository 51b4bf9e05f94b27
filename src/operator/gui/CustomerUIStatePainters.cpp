// Painters of the log-in, action choice, fixed prompt and live video screens.
#include "operator/gui/CustomerUIPaintPass.h"
#include "operator/gui/CustomerUIPainters.h"
#include "operator/gui/CustomerUIWnd.h"

#include "Ostravo/Profile.h"
#include "Ostravo/ProfileValues.h"
#include "Ostravo/TextFormat.h"
#include "app/PlexorinApp.h"
#include "app/ViewGlobals.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QLineEdit>
#include <QPainter>
#include <QRadioButton>

#include <algorithm>
#include <cmath>

using cui_paint::AtFraction;
using cui_paint::FromColorRef;
using cui_paint::FromLatin1;
using cui_paint::ScreenFont;
using cui_paint::ToQRect;

namespace {

constexpr int kLine = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine;

// Draws text with its top-left corner at (left, top); returns its extent (right, bottom inclusive).
QRect DrawAt(CuiPaintPass &pass, int left, int top, const QString &text)
{
    const QRect r(QPoint(left, top), cui_paint::TextExtent(QFontMetrics(pass.painter.font()), text));
    DrawScreenText(pass, r, kLine, text);
    return r;
}

// Draws text centred at x 0.5 with its top at top; returns its extent.
QRect DrawCentred(CuiPaintPass &pass, int top, const QString &text)
{
    const int width = cui_paint::TextExtent(QFontMetrics(pass.painter.font()), text).width();
    return DrawAt(pass, static_cast<int>(std::lround(pass.w * 0.5 - width / 2.0)), top, text);
}

// A state picture: a bare name is taken from the operator-screen folder.
void DrawStateImage(CuiPaintPass &pass, const std::string &name, const QRect &target)
{
    if (!pass.Intersects(target))
        return;
    cui_paint::DrawImageFile(
        pass.painter, cui_paint::CustomerUIImagePath(theApp.m_customer_ui_directory.c_str(), name), target);
}

void PlaceEdit(QLineEdit *edit, const QRect &place)
{
    if (edit->geometry() != place)
        edit->setGeometry(place);
}

} // namespace

void PaintLogin(CuiPaintPass &pass)
{
    CustomerUIWnd &wnd = pass.wnd;
    wnd.ShowOnlyControls(wnd.InputEdit(0), wnd.PasswordEdit(), nullptr);
    const QRect prompt = DrawCentred(pass, AtFraction(pass.h, 0.4), "Please login to start sorting.");
    const int x0 = prompt.left();
    const int h0 = prompt.height();
    // The user name one line below the prompt with a blank line between; the password a quarter
    // line below the user name.
    const QRect user = DrawAt(pass, x0, prompt.top() + 2 * (h0 - 1), "UserName:");
    const int yp = user.bottom() + (user.bottom() - user.top()) / 4;
    const QRect password = DrawAt(pass, x0, yp, "Password:");
    // Both edits end under the prompt's last character.
    const int xe = x0 + std::max(user.width(), password.width()) + (h0 - 1) / 4 - 1;
    const int right = prompt.right();
    PlaceEdit(wnd.InputEdit(0), QRect(QPoint(xe, user.top()), QPoint(right, user.bottom())));
    PlaceEdit(wnd.PasswordEdit(), QRect(QPoint(xe, password.top()), QPoint(right, password.bottom())));
    const QColor text = FromColorRef(pass.d.textColor);
    pass.painter.fillRect(QRect(QPoint(xe, user.bottom() + 4), QPoint(right, user.bottom() + 5)), text);
    pass.painter.fillRect(QRect(QPoint(xe, password.bottom() + 4), QPoint(right, password.bottom() + 5)),
                          text);
    DrawNextButton(pass, nullptr);
    DrawTimedMessage(pass);
}

void PaintSelectAction(CuiPaintPass &pass)
{
    const CustomerUIData &d = pass.d;
    QPainter &painter = pass.painter;
    pass.wnd.ShowOnlyControls(nullptr, nullptr, nullptr);
    // The heading: the first text line, or the selection title.
    QRect heading;
    if (DrawTextLines(pass, 1, d.topLinePos, heading) == 0) {
        const double f = d.actionsTopLinePos != 0 ? d.actionsTopLinePos - 0.1 : 0.4;
        heading = DrawCentred(pass, AtFraction(pass.h, f), FromLatin1(d.selectionTitle));
    }
    const QColor text = FromColorRef(d.textColor);
    const QColor highlight = FromColorRef(d.highlightColor);
    if (d.actionLines.empty()) {
        // The built-in actions as plain lines; their extents are the hit areas.
        static const char *const kActions[3] = {"Live Cell Enrichment", "Image Analysis",
                                                "Technical Support"};
        const int gap = (heading.bottom() - heading.top()) / 3;
        int top = 2 * heading.bottom() - heading.top();
        std::array<CuiRect, 3> rects{};
        for (size_t i = 0; i < 3; ++i) {
            painter.setPen(d.hoverAction == static_cast<int32_t>(i) + 1 ? highlight : text);
            const QRect r = DrawCentred(pass, top, kActions[i]);
            rects[i] = CuiRect{r.left(), r.top(), r.right(), r.bottom()};
            top = r.bottom() + gap;
        }
        painter.setPen(text);
        if (rects != d.fixedActionRects)
            pass.screen.WriteBack([&](CustomerUIData &m) { m.fixedActionRects = rects; });
        return;
    }
    // Script-defined action buttons.
    painter.save();
    if (!d.actionFontFace.empty()) {
        painter.setFont(
            cui_paint::CellHeightFont(d.actionFontFace, d.actionFontHeight != 0 ? d.actionFontHeight : 40));
    }
    const QFontMetrics fm(painter.font());
    int widest = 0;
    int highest = 0;
    for (const std::string &line : d.actionLines) {
        const QSize extent = cui_paint::TextExtent(fm, FromLatin1(line));
        widest = std::max(widest, extent.width());
        highest = std::max(highest, extent.height());
    }
    const int width = d.actionWidth != 0 ? d.actionWidth : static_cast<int>(std::lround(1.2 * widest));
    const int height = static_cast<int>(std::lround(1.2 * highest));
    const int gap = d.actionVerticalSpacing != 0 ? d.actionVerticalSpacing : height / 2;
    const int firstTop = d.actionsTopLinePos != 0 ? AtFraction(pass.h, d.actionsTopLinePos)
                                                  : 2 * heading.bottom() - heading.top();
    // Buttons already placed keep their rectangles; the commands that change the layout clear them.
    std::vector<CuiRect> rects = d.actionRects;
    for (size_t i = rects.size(); i < d.actionLines.size(); ++i) {
        const int left = (pass.w - width) / 2;
        const int top = firstTop + static_cast<int>(i) * (height + gap);
        rects.push_back(CuiRect{left, top, left + width - 1, top + height - 1});
    }
    if (rects.size() != d.actionRects.size())
        pass.screen.WriteBack([&](CustomerUIData &m) {
            if (m.actionRects.size() < rects.size() && m.actionLines == d.actionLines)
                m.actionRects = rects;
        });
    for (size_t i = 0; i < d.actionLines.size(); ++i) {
        const QRect box = ToQRect(rects[i]);
        const bool hover = d.hoverAction == static_cast<int32_t>(i) + 1;
        if (d.actionBackgroundColor != -1) {
            const int32_t fill = hover && d.actionHighlightBackgroundColor != -1
                                     ? d.actionHighlightBackgroundColor
                                     : d.actionBackgroundColor;
            painter.setPen(QPen(FromColorRef(fill), 0));
            painter.setBrush(FromColorRef(fill));
            painter.drawRoundedRect(box, d.actionCornerRadius / 2.0, d.actionCornerRadius / 2.0);
        }
        const int32_t colour =
            hover ? (d.actionHighlightTextColor != -1 ? d.actionHighlightTextColor : d.highlightColor)
                  : (d.actionTextColor != -1 ? d.actionTextColor : d.textColor);
        painter.setPen(FromColorRef(colour));
        DrawScreenText(pass, box, Qt::AlignCenter | Qt::TextSingleLine, FromLatin1(d.actionLines[i]));
    }
    painter.restore();
}

void PaintPromptInsertFlowcell(CuiPaintPass &pass)
{
    pass.wnd.ShowOnlyControls(nullptr, nullptr, nullptr);
    DrawCentred(pass, AtFraction(pass.h, 0.2),
                "Please insert your flowcell/cartridge and engage the clamp lever.");
    DrawStateImage(pass, "PromptInsertFlowcell.png",
                   cui_paint::FractionRect(pass.w, pass.h, 0.25, 0.3, 0.75, 0.9));
    DrawNextButton(pass, nullptr);
    DrawBackButton(pass, nullptr);
    DrawCountdown(pass);
    DrawTimedMessage(pass);
}

void PaintPipetteSample(CuiPaintPass &pass)
{
    pass.wnd.ShowOnlyControls(nullptr, nullptr, nullptr);
    const QRect first = DrawCentred(pass, AtFraction(pass.h, 0.16), "Cartridge insertion successful!");
    DrawCentred(pass, AtFraction(pass.h, 0.16) + first.height(),
                "Please pipette 200ul of your sample into the inlet port.");
    DrawStateImage(pass, "PipetteSample.png", cui_paint::FractionRect(pass.w, pass.h, 0.25, 0.3, 0.75, 0.82));
    DrawStateImage(pass, "PipetteSample_1.png",
                   cui_paint::FractionRect(pass.w, pass.h, 0.4, 0.85, 0.6, 0.95));
    DrawNextButton(pass, nullptr);
    DrawBackButton(pass, nullptr);
    // This screen shows no message banner.
    DrawCountdown(pass);
}

void PaintShowVideo(CuiPaintPass &pass)
{
    const CustomerUIData &d = pass.d;
    QPainter &painter = pass.painter;
    CustomerUIWnd &wnd = pass.wnd;
    CustomerUI &screen = pass.screen;
    const bool entering = d.paintedState != d.state || d.controlsDirty;
    if (entering) {
        wnd.ShowOnlyControls(wnd.DisplayRadio(0), wnd.DisplayRadio(1), wnd.DisplayRadio(2));
        screen.ClearLiveImageStop();
    }
    if (d.comboTexts[0].empty() || d.controlsDirty)
        screen.LoadExposureCombos();
    QRect bounds;
    DrawTextLines(pass, 2, 0.7, bounds);

    // The image-type names right-aligned on their label rectangles, in the combo font.
    painter.save();
    painter.setFont(ScreenFont(wnd.ExposureCombo(0)->height()));
    for (int n = 0; n < 3; ++n) {
        const std::string key = FormatText("ImageTypeName%ld", static_cast<long>(n + 1));
        const QRect label = wnd.ExposureLabelRect(n);
        DrawScreenText(pass, label, Qt::AlignRight | Qt::AlignTop | Qt::TextSingleLine,
                       FromLatin1(Ostravo::ReadProfileString("ExperimentSettings", key.c_str(), "", 1023,
                                                             theApp.m_ini_path.c_str())));
    }
    painter.restore();
    // The exposure unit beside each combo: the micro sign ending midway between combo and radio, the
    // "s" starting there. The micro sign is the character itself in the unit font (a symbol font's
    // letter may not be mapped on every system).
    {
        const int mid =
            (wnd.ExposureCombo(0)->geometry().right() + wnd.DisplayRadio(0)->geometry().left()) / 2;
        painter.save();
        painter.setFont(ScreenFont(24));
        const QFontMetrics fm(painter.font());
        const QString micro = QString(QChar(0x00B5));
        const QSize microSize = cui_paint::TextExtent(fm, micro);
        const QSize sSize = cui_paint::TextExtent(fm, "s");
        const int microW = microSize.width();
        for (int n = 0; n < 3; ++n) {
            const QRect combo = wnd.ExposureCombo(n)->geometry();
            const QRect row(QPoint(combo.right(), combo.top()),
                            QPoint(wnd.DisplayRadio(n)->geometry().left(), combo.bottom()));
            if (!pass.Intersects(row))
                continue;
            const int top = combo.center().y() - microSize.height() / 2;
            DrawScreenText(pass, QRect(QPoint(mid - microW, top), microSize), kLine, micro);
            DrawScreenText(pass, QRect(QPoint(mid, top), sSize), kLine, "s");
        }
        painter.restore();
    }
    if (entering) {
        screen.WriteBack([](CustomerUIData &m) { m.controlsDirty = false; });
        for (int32_t n = 1; n <= 3; ++n)
            screen.UpdateExposureComboVisibility(n);
        const CustomerUIData now = screen.Snapshot();
        for (size_t n = 0; n < 3; ++n)
            if (wnd.ExposureCombo(static_cast<int>(n))->isVisibleTo(&wnd) != now.comboVisible[n])
                wnd.ExposureCombo(static_cast<int>(n))->setVisible(now.comboVisible[n]);
    }
    // Live imaging comes back on unless a script stopped it less than 11 seconds ago.
    if (screen.LiveImageMayStart())
        screen.ArmTimer(CUI_TIMER_START_LIVE_IMAGE, 10);
    _flow_split.Update([&](FlowSplit &split) { split.split_line_shown = d.showSplitLine; });

    // The picture at the bottom: image slot 2, or the equilibration picture.
    const QRect bottom = cui_paint::FractionRect(pass.w, pass.h, 0.4, 0.85, 0.6, 0.95);
    if (pass.Intersects(bottom)) {
        if (d.images.size() >= 2 && !d.images[1].empty())
            cui_paint::DrawImageFile(painter, d.images[1], bottom);
        else
            DrawStateImage(pass, "SampleEqulibrating_1.png", bottom);
    }
    if (d.displayMode == -1) {
        screen.TakeDisplayModeFromToolbar();
        const int32_t radio = screen.Snapshot().checkedRadio;
        for (int n = 0; n < 3; ++n)
            wnd.DisplayRadio(n)->setChecked(radio == n + 1);
    }
    const QRect split = ToQRect(wnd.Placement().splitText);
    if (d.showSplitLine && pass.Intersects(split)) {
        std::string text = d.splitText;
        if (text.empty()) {
            screen.UpdateFlowSplitText(false);
            text = screen.Snapshot().splitText;
        }
        DrawScreenText(pass, split, Qt::AlignCenter | Qt::TextSingleLine, FromLatin1(text));
    }
    DrawCountdown(pass);
    DrawNextButton(pass, &d.nextText);
    DrawBackButton(pass, &d.backText);

    // The "OFF" box of every hidden exposure combo: a click on it turns the image type on again.
    const CustomerUIData now = screen.Snapshot();
    for (int n = 0; n < 3; ++n) {
        if (now.comboVisible[static_cast<size_t>(n)])
            continue;
        const QRect box = wnd.ExposureCombo(n)->geometry();
        painter.save();
        painter.setFont(ScreenFont(20));
        painter.setPen(cui_paint::kOffGrey);
        DrawScreenText(pass, box, Qt::AlignCenter | Qt::TextSingleLine, "OFF");
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(box.adjusted(0, 0, -1, -1));
        painter.restore();
    }
    // The intensity control of the checked display mode, widened for its markers.
    const size_t index = now.checkedRadio == 2 ? 1 : now.checkedRadio == 3 ? 2 : 0;
    Ostravo::IntensityControl &control = wnd.Shared().intensity[index];
    int p = (control.m_frame.bottom - control.m_frame.top) / 2;
    p += p % 2;
    const QRect layout(QPoint(control.m_frame.left - p / 2, control.m_frame.top),
                       QPoint(control.m_frame.right + p / 2, control.m_frame.bottom + p + 1));
    if (pass.Intersects(layout)) {
        std::string error;
        control.Draw(painter, error);
    }
    screen.WriteBack([&](CustomerUIData &m) { m.paintedState = d.state; });
}
