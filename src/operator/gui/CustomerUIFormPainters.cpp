// Painters of the screens a script fills: input forms, information and image checks.
#include "operator/gui/CustomerUIFormPainters.h"

#include "operator/gui/CustomerUIPaintPass.h"
#include "operator/gui/CustomerUIPainters.h"
#include "operator/gui/CustomerUIWnd.h"

#include "Ostravo/DisplayConversion.h"
#include "platform/Files.h"
#include "platform/gui/QtText.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QImage>
#include <QLineEdit>
#include <QPainter>

#include <algorithm>
#include <cmath>

using cui_paint::FromLatin1;

namespace cui_form {

namespace {

int WidestLabel(const QFontMetrics &fm, const std::vector<std::string> &labels, size_t n)
{
    int widest = 0;
    for (size_t j = 0; j < n; ++j)
        widest = std::max(widest, Extent(fm, FromLatin1(labels[j])).width());
    return widest;
}

size_t InputCount(const CustomerUIData &d)
{
    return std::min<size_t>(d.inputLabels.size(), 6);
}

} // namespace

QSize Extent(const QFontMetrics &fm, const QString &text)
{
    return fm.size(Qt::TextSingleLine, text);
}

QRect CentredLine(const QFontMetrics &fm, int w, int top, const std::string &text)
{
    const QSize size = Extent(fm, FromLatin1(text));
    return QRect(cui_paint::AtFraction(w, 0.5 - static_cast<double>(size.width()) / 2.0 / w), top,
                 size.width(), size.height());
}

Units MeasureUnits(const QFont &font)
{
    const QFontMetrics fm(font);
    const QSize i = Extent(fm, QStringLiteral("I"));
    return Units{i.height(), Extent(fm, QStringLiteral("W")).width(), i.width()};
}

QRect FractionRect(int w, int h, double l, double t, double r, double b)
{
    const int left = cui_paint::AtFraction(w, l);
    const int top = cui_paint::AtFraction(h, t);
    return QRect(left, top, cui_paint::AtFraction(w, r) - left, cui_paint::AtFraction(h, b) - top);
}

Layout LayoutForm(const QFont &font, int w, int h, const CustomerUIData &d)
{
    const QFontMetrics fm(font);
    const Units u = MeasureUnits(font);
    const size_t n = InputCount(d);
    const int m = static_cast<int>(d.textLines.size());
    const bool edits = d.state != PromptForInputChecks;
    const bool browse = d.state == PromptForFilename;
    const int g = (2 * u.cy) / 3;
    // A "Browse" link hangs under each edit of the file-name form; its row keeps the room for it so
    // the link does not run into the next row's edit.
    const QSize browseSize = Extent(fm, QStringLiteral("Browse"));
    const int browseH = browseSize.height();
    const int browseW = browseSize.width();
    const int browseRoom = browse ? browseH / 4 + browseH : 0;
    const int rowsH = n > 0 ? 2 * g + static_cast<int>(n) * (u.cy + g + browseRoom) : 0;
    const int blockH = (n > 0 ? rowsH : 0) + m * u.cy;
    const int blockTop = (h - blockH) / 2;

    Layout layout;
    int top = blockTop;
    for (const std::string &line : d.textLines) {
        layout.lines.push_back(CentredLine(fm, w, top, line));
        top += layout.lines.back().height();
    }
    // The band is what the rows and lines cover: without text lines the rows start at the window's
    // top, outside the centred block.
    for (const QRect &line : layout.lines)
        layout.band |= QRect(0, line.top(), w, line.height());
    if (n == 0)
        return layout;

    const int rowsStart =
        layout.lines.empty() ? 0 : layout.lines.back().top() + layout.lines.back().height() - 1;
    const int labelW = WidestLabel(fm, d.inputLabels, n);
    std::vector<int> editW(n, 0);
    for (size_t j = 0; j < n && j < d.inputWidths.size(); ++j)
        editW[j] = u.widthW * std::max(0, d.inputWidths[j]);
    const int widestEdit = *std::max_element(editW.begin(), editW.end());
    const int labelLeft = edits ? (w - labelW - widestEdit - u.widthI) / 2 : (w - labelW) / 2;

    int labelTop = rowsStart + 3 * g;
    for (size_t j = 0; j < n; ++j) {
        Row row;
        row.label = QRect(labelLeft, labelTop, labelW, u.cy);
        const int labelRight = labelLeft + labelW;
        if (edits) {
            row.control = QRect(labelRight + u.widthI, labelTop, editW[j], u.cy);
            const int editBottom = labelTop + u.cy; // first row below the edit
            row.underline = QRect(row.control.left(), editBottom + 4, editW[j], 2);
            if (browse)
                row.browse = QRect(row.control.left() + editW[j] - browseW, editBottom + browseH / 4, browseW,
                                   browseH);
        } else {
            row.control = QRect(labelRight + u.widthW, labelTop, u.cy, u.cy - 1);
        }
        layout.band |= QRect(0, row.label.top(), w, row.label.height());
        if (!row.underline.isEmpty())
            layout.band |= QRect(0, row.underline.top(), w, row.underline.height());
        if (!row.browse.isEmpty())
            layout.band |= QRect(0, row.browse.top(), w, row.browse.height());
        layout.rows.push_back(row);
        labelTop += u.cy + g + browseRoom;
    }
    return layout;
}

Layout LayoutImageChecks(const QFont &font, int w, int h, const CustomerUIData &d)
{
    const QFontMetrics fm(font);
    const Units u = MeasureUnits(font);
    const QRect r1 = FractionRect(w, h, 0.25, 0.23, 0.75, 0.75);
    const QRect r3 = FractionRect(w, h, 0.10, 0.23, 0.90, 0.75);
    Layout layout;
    if (!d.textLines.empty())
        layout.title = CentredLine(fm, w, r1.top() - static_cast<int>(1.5 * u.cy), d.textLines[0]);
    const size_t n = InputCount(d);
    if (n == 0)
        return layout;
    const int labelW = WidestLabel(fm, d.inputLabels, n);
    const int pitch = labelW + u.widthW + u.cy + 10 * u.widthW;
    const int rowW =
        static_cast<int>(n) * (labelW + u.widthW + u.cy) + static_cast<int>(n - 1) * 10 * u.widthW;
    const int rowLeft = r3.left() + (r3.width() - rowW) / 2;
    const int top = r1.top() + r1.height() + u.cy / 2; // below R1's bottom edge
    for (size_t j = 0; j < n; ++j) {
        Row row;
        row.label = QRect(rowLeft + static_cast<int>(j) * pitch, top, labelW, u.cy);
        row.control = QRect(row.label.left() + labelW + u.widthW, top, u.cy, u.cy - 1);
        layout.rows.push_back(row);
    }
    return layout;
}

void PlaceFormControls(CustomerUIWnd &wnd, const CustomerUIData &d)
{
    // The edits carry the screen's text font, the one the painters measure with.
    const QFont font = wnd.InputEdit(0)->font();
    const bool checks = d.state == PromptForInputChecks || d.state == PromptForImageChecks;
    const Layout layout = d.state == PromptForImageChecks
                              ? LayoutImageChecks(font, wnd.width(), wnd.height(), d)
                              : LayoutForm(font, wnd.width(), wnd.height(), d);
    for (size_t j = 0; j < layout.rows.size() && j < 6; ++j) {
        QWidget *control = checks ? static_cast<QWidget *>(wnd.CheckBox(static_cast<int>(j)))
                                  : static_cast<QWidget *>(wnd.InputEdit(static_cast<int>(j)));
        if (checks) {
            // The painter draws the label; the box is the square beside it, its mark filling it.
            QCheckBox *box = wnd.CheckBox(static_cast<int>(j));
            if (!box->text().isEmpty())
                box->setText(QString());
            const int side = std::max(8, layout.rows[j].control.height() - 4);
            const QString sheet =
                QStringLiteral(
                    "QCheckBox::indicator { width: %1px; height: %1px; } QCheckBox { spacing: 0px; }")
                    .arg(side);
            if (box->styleSheet() != sheet)
                box->setStyleSheet(sheet);
            // A light square with a dark mark, as a check box shows on a dark screen.
            if (box->palette().color(QPalette::Base) != cui_paint::kText) {
                QPalette pal = box->palette();
                pal.setColor(QPalette::Base, cui_paint::kText);
                pal.setColor(QPalette::Text, cui_paint::kBackground);
                box->setPalette(pal);
            }
        }
        if (control->geometry() != layout.rows[j].control)
            control->setGeometry(layout.rows[j].control);
    }
}

} // namespace cui_form

namespace {

using cui_form::FractionRect;
using cui_form::Layout;

std::string Slot(const CustomerUIData &d, size_t slot)
{
    return slot >= 1 && slot <= d.images.size() ? d.images[slot - 1] : std::string();
}

std::string SlotColour(const CustomerUIData &d, size_t slot)
{
    return slot >= 1 && slot <= d.imageColors.size() ? d.imageColors[slot - 1] : std::string();
}

// Draws an image file scaled into target; a missing or unreadable file leaves it empty.
void DrawImageFile(CuiPaintPass &pass, const std::string &path, const QRect &target)
{
    if (path.empty() || target.isEmpty() || !pass.Intersects(target))
        return;
    QImage image;
    if (!platform::gui::LoadImageFile(path, image))
        return;
    pass.painter.save();
    pass.painter.setRenderHint(QPainter::SmoothPixmapTransform);
    pass.painter.drawImage(target, image);
    pass.painter.restore();
}

// Draws the pixels an image-display call leaves in a picture of target's size, laid on the
// background so that a file that draws nothing leaves the rectangle empty.
template <typename Draw> void DrawDisplayPicture(CuiPaintPass &pass, const QRect &target, Draw draw)
{
    if (target.isEmpty() || !pass.Intersects(target))
        return;
    const QColor bg = cui_paint::kBackground;
    cv::Mat picture(target.height(), target.width(), CV_8UC4, cv::Scalar(bg.blue(), bg.green(), bg.red(), 0));
    draw(picture, cv::Rect(0, 0, target.width(), target.height()));
    const QImage image(picture.data, picture.cols, picture.rows, static_cast<qsizetype>(picture.step),
                       QImage::Format_RGB32);
    pass.painter.drawImage(target.topLeft(), image);
}

void DrawTextAt(CuiPaintPass &pass, const QRect &extent, const std::string &text)
{
    DrawScreenText(pass, extent, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, FromLatin1(text));
}

void DrawLabel(CuiPaintPass &pass, const QRect &rect, const std::string &text)
{
    DrawScreenText(pass, rect, Qt::AlignRight | Qt::AlignTop | Qt::TextSingleLine, FromLatin1(text));
}

// The end every screen of this file shares: buttons, countdown and banner (the window records the
// painted state).
void FinishScreen(CuiPaintPass &pass)
{
    pass.painter.setPen(cui_paint::kText);
    DrawNextButton(pass, &pass.d.nextText);
    DrawBackButton(pass, &pass.d.backText);
    DrawCountdown(pass);
    DrawTimedMessage(pass);
}

void PaintForm(CuiPaintPass &pass)
{
    const CustomerUIData &d = pass.d;
    QPainter &painter = pass.painter;
    const Layout layout = cui_form::LayoutForm(painter.font(), pass.w, pass.h, d);
    if (d.state == PromptForFilename) {
        // The hit areas of the links are the rectangles drawn here.
        std::vector<CuiRect> browse;
        for (const cui_form::Row &row : layout.rows) {
            const QRect &r = row.browse;
            browse.push_back(CuiRect{r.left(), r.top(), r.right(), r.bottom()});
        }
        browse.resize(d.browseRects.size());
        if (browse != d.browseRects)
            pass.screen.SetBrowseRects(std::move(browse));
    }
    if (pass.Intersects(layout.band)) {
        painter.setPen(cui_paint::kText);
        for (size_t i = 0; i < layout.lines.size(); ++i)
            DrawTextAt(pass, layout.lines[i], d.textLines[i]);
        for (size_t j = 0; j < layout.rows.size(); ++j) {
            const cui_form::Row &row = layout.rows[j];
            DrawLabel(pass, row.label, d.inputLabels[j]);
            if (!row.underline.isEmpty())
                painter.fillRect(row.underline, cui_paint::kText);
            if (!row.browse.isEmpty()) {
                const bool hover = j < d.browseHover.size() && d.browseHover[j];
                painter.setPen(hover ? cui_paint::kText : cui_paint::kArrowTeal);
                DrawScreenText(pass, row.browse, Qt::AlignRight | Qt::AlignTop | Qt::TextSingleLine,
                               QStringLiteral("Browse"));
                painter.setPen(cui_paint::kText);
            }
        }
    }
    FinishScreen(pass);
}

} // namespace

void PaintPromptForInput(CuiPaintPass &pass)
{
    PaintForm(pass);
}

void PaintPromptForInputChecks(CuiPaintPass &pass)
{
    PaintForm(pass);
}

void PaintPromptForFilename(CuiPaintPass &pass)
{
    PaintForm(pass);
}

void PaintPromptInfo(CuiPaintPass &pass)
{
    // No control of the previous form stays over the pictures.
    pass.wnd.ShowOnlyControls(nullptr, nullptr, nullptr);
    const CustomerUIData &d = pass.d;
    const int w = pass.w;
    const int h = pass.h;
    const QRect slot1 = FractionRect(w, h, 0.25, 0.15, 0.75, 0.67);
    const QRect slot2 = FractionRect(w, h, 0.40, 0.85, 0.60, 0.95);
    DrawImageFile(pass, Slot(d, 1), slot1);
    DrawImageFile(pass, Slot(d, 2), slot2);
    DrawImageFile(pass, Slot(d, 3), FractionRect(w, h, 0.10, 0.15, 0.90, 0.67));

    // Only the lines with text count, centred in the gap between the two images.
    const QFontMetrics fm(pass.painter.font());
    const int cy = cui_form::MeasureUnits(pass.painter.font()).cy;
    int lines = 0;
    for (const std::string &line : d.textLines)
        lines += line.empty() ? 0 : 1;
    const int gapTop = slot1.top() + slot1.height();
    int top = gapTop + (slot2.top() - gapTop - lines * cy) / 2;
    pass.painter.setPen(cui_paint::kText);
    for (const std::string &line : d.textLines) {
        if (line.empty())
            continue;
        const QRect extent = cui_form::CentredLine(fm, w, top, line);
        DrawTextAt(pass, extent, line);
        top += extent.height() - 1;
    }
    FinishScreen(pass);
}

void PaintPromptForImageChecks(CuiPaintPass &pass)
{
    const CustomerUIData &d = pass.d;
    if (d.inputLabels.empty())
        return; // without check-box labels the screen shows the frame only
    const int w = pass.w;
    const int h = pass.h;
    const QRect rects[5] = {
        FractionRect(w, h, 0.25, 0.23, 0.75, 0.75), FractionRect(w, h, 0.40, 0.85, 0.60, 0.95),
        FractionRect(w, h, 0.10, 0.23, 0.90, 0.75), FractionRect(w, h, 0.05, 0.23, 0.49, 0.75),
        FractionRect(w, h, 0.51, 0.23, 0.95, 0.75)};
    for (size_t k = 1; k <= 5; ++k) {
        const std::string path = Slot(d, k);
        if (path.empty())
            continue;
        const std::string colour = SlotColour(d, k);
        DrawDisplayPicture(pass, rects[k - 1], [&](cv::Mat &target, const cv::Rect &dest) {
            Ostravo::DrawTintedImageFile(path, colour, target, dest);
        });
    }
    const Layout layout = cui_form::LayoutImageChecks(pass.painter.font(), w, h, d);
    pass.painter.setPen(cui_paint::kText);
    if (!layout.title.isEmpty())
        DrawTextAt(pass, layout.title, d.textLines[0]);
    for (size_t j = 0; j < layout.rows.size(); ++j)
        DrawLabel(pass, layout.rows[j].label, d.inputLabels[j]);
    FinishScreen(pass);
}

void PaintPromptForFusedImageVerification(CuiPaintPass &pass)
{
    // Hidden before anything else, also when the screen shows its frame only.
    pass.wnd.ShowOnlyControls(nullptr, nullptr, nullptr);
    const CustomerUIData &d = pass.d;
    if (d.textLines.empty())
        return; // without text lines the screen shows the frame only
    const QRect r1 = FractionRect(pass.w, pass.h, 0.25, 0.23, 0.75, 0.75);
    const std::string grey = Slot(d, 1);
    if (!grey.empty()) {
        // A slot that is not set adds no colour; without slot 1 the rectangle stays empty.
        const std::string green = Slot(d, 4);
        const std::string red = Slot(d, 5);
        DrawDisplayPicture(pass, r1, [&](cv::Mat &target, const cv::Rect &dest) {
            Ostravo::DrawCompositeImageFiles(grey, green, red, target, dest);
        });
    }
    const QFontMetrics fm(pass.painter.font());
    const int cy = cui_form::MeasureUnits(pass.painter.font()).cy;
    pass.painter.setPen(cui_paint::kText);
    DrawTextAt(pass, cui_form::CentredLine(fm, pass.w, r1.top() - static_cast<int>(1.5 * cy), d.textLines[0]),
               d.textLines[0]);
    FinishScreen(pass);
}

void PaintPromptForMontageReport(CuiPaintPass &pass)
{
    // Hidden before anything else, also when the screen shows its frame only.
    pass.wnd.ShowOnlyControls(nullptr, nullptr, nullptr);
    const CustomerUIData &d = pass.d;
    if (d.textLines.empty())
        return; // without text lines the screen shows the frame only
    const int w = pass.w;
    const QRect r6 = FractionRect(w, pass.h, 0.05, 0.40, 0.95, 0.60);
    DrawImageFile(pass, Slot(d, 6), r6);
    const QFontMetrics fm(pass.painter.font());
    const int cy = cui_form::MeasureUnits(pass.painter.font()).cy;
    const int r6Bottom = r6.top() + r6.height();
    pass.painter.setPen(cui_paint::kText);
    // With a single line the report shows it alone above the strip.
    DrawTextAt(pass, cui_form::CentredLine(fm, w, r6.top() - 3 * cy, d.textLines[0]), d.textLines[0]);
    if (d.textLines.size() >= 2)
        DrawTextAt(pass, cui_form::CentredLine(fm, w, r6.top() - static_cast<int>(1.5 * cy), d.textLines[1]),
                   d.textLines[1]);
    if (d.inputLabels.size() == 2) {
        DrawTextAt(pass, cui_form::CentredLine(fm, w, r6Bottom + cy, d.inputLabels[0]), d.inputLabels[0]);
        DrawTextAt(pass,
                   cui_form::CentredLine(fm, w, r6Bottom + static_cast<int>(2.5 * cy), d.inputLabels[1]),
                   d.inputLabels[1]);
    }
    FinishScreen(pass);
}
