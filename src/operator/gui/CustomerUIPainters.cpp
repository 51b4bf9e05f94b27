#include "operator/gui/CustomerUIPainters.h"

#include "operator/gui/CustomerUIPaintPass.h"
#include "operator/gui/CustomerUIWnd.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace cui_paint {

QFont ScreenFont(int pixelHeight)
{
    QFont font("Century Gothic");
    font.setPixelSize(pixelHeight);
    font.setWeight(QFont::Normal);
    return font;
}

QRect ToQRect(const CuiRect &r)
{
    return QRect(QPoint(r.left, r.top), QPoint(r.right, r.bottom));
}

QString FromLatin1(const std::string &text)
{
    return QString::fromLatin1(text.c_str(), static_cast<qsizetype>(text.size()));
}

int AtFraction(int size, double f)
{
    return static_cast<int>(std::lround(static_cast<double>(size) * f));
}

std::array<QPoint, 8> ArrowPoints(int w, int h, int screenHeight, bool next)
{
    const int c = (AtFraction(h, 0.91) + AtFraction(h, 0.94)) / 2;
    const int d = AtFraction(w, next ? 0.86 : 0.14);
    const int s = next ? 1 : -1;
    std::array<QPoint, 8> p = {QPoint(d + s * 10, c + 24),  QPoint(d + s * 10, c - 24),
                               QPoint(d + s * 124, c - 24), QPoint(d + s * 124, c - 40),
                               QPoint(d + s * 164, c),      QPoint(d + s * 124, c + 40),
                               QPoint(d + s * 124, c + 24), QPoint(d + s * 10, c + 24)};
    const int limit = screenHeight - kBottomMargin - 1;
    const int lift = c + 40 - limit;
    if (lift > 0)
        for (QPoint &q : p)
            q.ry() -= lift;
    return p;
}

CuiRect ArrowRect(const std::array<QPoint, 8> &points)
{
    CuiRect r{points[0].x(), points[0].y(), points[0].x(), points[0].y()};
    for (const QPoint &q : points) {
        r.left = std::min(r.left, q.x());
        r.right = std::max(r.right, q.x());
        r.top = std::min(r.top, q.y());
        r.bottom = std::max(r.bottom, q.y());
    }
    return r;
}

std::string CountdownText(int64_t durationMs, int64_t elapsedMs, bool down)
{
    if (elapsedMs > durationMs)
        return {};
    const int64_t value = down ? durationMs - elapsedMs : std::max<int64_t>(0, elapsedMs);
    const long long s = std::llround(static_cast<double>(value) / 1000.0);
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld", s / 60, s % 60);
    return text;
}

QColor BannerColor(const QColor &background, int ticksLeft, int total)
{
    if (total <= 0)
        return background;
    const float f = 1.0f - static_cast<float>(total - ticksLeft) / static_cast<float>(total);
    auto mix = [f](int from, int to) {
        return std::clamp(from + static_cast<int>(std::roundf(static_cast<float>(to - from) * f)), 0, 255);
    };
    return QColor(mix(background.red(), kBannerFull.red()), mix(background.green(), kBannerFull.green()),
                  mix(background.blue(), kBannerFull.blue()));
}

namespace {
QString Latin1Text(const std::string &text)
{
    return QString::fromLatin1(text.c_str(), static_cast<qsizetype>(text.size()));
}
} // namespace

int DrawTextLines(QPainter &painter, int w, int h, const std::vector<std::string> &lines, int maxLines,
                  double topFraction, QRect &bounds)
{
    const QFontMetrics fm(painter.font());
    const QString first = lines.empty() ? QString(" ") : Latin1Text(lines[0]);
    const int lineH = fm.height();
    int width = fm.horizontalAdvance(first);
    int top = AtFraction(h, topFraction);
    int left = AtFraction(w, 0.5 - static_cast<double>(width) / 2.0 / w);
    bounds = QRect(left, top, width, lineH);
    painter.drawText(bounds, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, first);
    if (lines.empty())
        return 0;
    int drawn = 1;
    for (size_t i = 1; i < lines.size() && drawn < maxLines; ++i, ++drawn) {
        const QString text = Latin1Text(lines[i]);
        width = fm.horizontalAdvance(text);
        top = top + lineH - 1 + (lineH - 1) / 10;
        left = AtFraction(w, 0.5 - static_cast<double>(width) / 2.0 / w);
        const QRect r(left, top, width, lineH);
        painter.drawText(r, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
        bounds = bounds.united(r);
    }
    return drawn;
}

void DrawTitle(QPainter &painter, int w, int h, const std::string &title)
{
    if (title.empty())
        return;
    const QString text = Latin1Text(title);
    const int width = QFontMetrics(painter.font()).horizontalAdvance(text);
    const QPen old = painter.pen();
    painter.setPen(kTitle);
    const int left = static_cast<int>(std::lround(w * 0.98 - width));
    painter.drawText(QRect(left, AtFraction(h, 0.07), width, QFontMetrics(painter.font()).height()),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
    painter.setPen(old);
}

} // namespace cui_paint

// ---- pieces the state painters share ----

void DrawScreenText(CuiPaintPass &pass, const QRect &target, int flags, const QString &text)
{
    QRect extent;
    pass.painter.drawText(target, flags, text, &extent);
    if (pass.drawnTexts)
        pass.drawnTexts->push_back(CuiDrawnText{text, target, extent});
}

namespace {

void DrawArrowButton(CuiPaintPass &pass, bool next, const std::string *text)
{
    const CustomerUIData &d = pass.d;
    const size_t si = static_cast<size_t>(d.state);
    if (d.state < 0 || d.state >= NumberOfStates)
        return;
    if (next ? (!CustomerUI::HasNextButton(d.state) || d.nextHidden)
             : (!CustomerUI::HasBackButton(d.state) || d.backHidden))
        return;
    const bool hover = next ? d.nextHover[si] : d.backHover[si];
    const std::array<QPoint, 8> pts =
        cui_paint::ArrowPoints(pass.w, pass.h, pass.wnd.Placement().height, next);
    const QColor fill = hover ? cui_paint::kArrowLight : cui_paint::kArrowTeal;
    QPainter &painter = pass.painter;
    painter.save();
    painter.setPen(QPen(fill, 0));
    painter.setBrush(fill);
    painter.drawPolygon(pts.data(), static_cast<int>(pts.size()));
    if (text) {
        const size_t box =
            next ? static_cast<size_t>(d.nextTextRect) : 3 + static_cast<size_t>(d.backTextRect);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(hover ? cui_paint::kArrowTeal : cui_paint::kArrowLight);
        DrawScreenText(pass, cui_paint::ToQRect(d.buttonRects[box]), Qt::AlignCenter,
                       cui_paint::FromLatin1(*text));
    }
    painter.restore();
}

} // namespace

void DrawNextButton(CuiPaintPass &pass, const std::string *text)
{
    DrawArrowButton(pass, true, text);
}

void DrawBackButton(CuiPaintPass &pass, const std::string *text)
{
    DrawArrowButton(pass, false, text);
}

void DrawCountdown(CuiPaintPass &pass)
{
    const CustomerUIData &d = pass.d;
    if (!pass.screen.Timers().count(CUI_TIMER_COUNTDOWN))
        return;
    const QRect box = cui_paint::ToQRect(pass.wnd.Placement().countdown);
    if (!pass.Intersects(box))
        return;
    const std::string text =
        cui_paint::CountdownText(d.countdownDurationMs, d.countdownElapsedMs, d.countdownDown);
    if (text.empty())
        return;
    QPainter &painter = pass.painter;
    painter.save();
    const QColor fill = d.countdownDown ? cui_paint::kArrowTeal : cui_paint::kCountUp;
    const int corner = QFontMetrics(painter.font()).horizontalAdvance('W');
    painter.setPen(fill);
    painter.setBrush(fill);
    painter.drawRoundedRect(box, corner / 2.0, corner / 2.0);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(cui_paint::kText);
    DrawScreenText(pass, box, Qt::AlignCenter, QString::fromLatin1(text.c_str()));
    painter.restore();
}

void DrawTimedMessage(CuiPaintPass &pass)
{
    const CustomerUIData &d = pass.d;
    if (d.messageText.empty() || d.messageTicks <= 0)
        return;
    QPainter &painter = pass.painter;
    painter.save();
    // The banner fades from full red into the background in its 20 ticks.
    painter.setPen(cui_paint::BannerColor(cui_paint::kBackground, d.messageTicks, d.messageTicksTotal));
    DrawScreenText(pass, QRect(0, cui_paint::AtFraction(pass.h, 0.9), pass.w, 50),
                   Qt::AlignHCenter | Qt::AlignTop, cui_paint::FromLatin1(d.messageText));
    painter.restore();
}
