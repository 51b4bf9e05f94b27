#include "operator/gui/CustomerUIPainters.h"

#include "operator/gui/CustomerUIPaintPass.h"
#include "operator/gui/CustomerUIWnd.h"

#include "Ostravo/EString.h"
#include "app/PlexorinApp.h"
#include "platform/gui/QtText.h"
#include "script/gui/FontTable.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <mutex>

namespace cui_paint {

QFont CellHeightFont(const std::string &face, int cellHeight)
{
    // A Windows font height is the cell height (ascent plus descent); Qt's pixel size is the em
    // size, so the largest pixel size whose line fits the cell is taken.
    static std::mutex lock;
    static std::map<std::pair<std::string, int>, int> sizes;
    QFont font(MappedFontFamily(face));
    font.setWeight(QFont::Normal);
    const int cell = std::max(1, cellHeight);
    std::lock_guard<std::mutex> guard(lock);
    auto found = sizes.find({face, cell});
    if (found == sizes.end()) {
        int pixels = cell;
        font.setPixelSize(pixels);
        while (pixels > 1 && TextExtent(QFontMetrics(font), "Ig").height() > cell)
            font.setPixelSize(--pixels);
        found = sizes.emplace(std::make_pair(face, cell), pixels).first;
    }
    font.setPixelSize(found->second);
    return font;
}

QFont ScreenFont(int pixelHeight)
{
    return CellHeightFont("Century Gothic", pixelHeight);
}

QRect ToQRect(const CuiRect &r)
{
    return QRect(QPoint(r.left, r.top), QPoint(r.right, r.bottom));
}

QString FromLatin1(const std::string &text)
{
    return platform::gui::ToQt(text);
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

QSize TextExtent(const QFontMetrics &metrics, const QString &text)
{
    return metrics.boundingRect(QRect(0, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text)
        .size();
}

QColor FromColorRef(int32_t rgb)
{
    return QColor(rgb & 0xFF, (rgb >> 8) & 0xFF, (rgb >> 16) & 0xFF);
}

QRect FractionRect(int w, int h, double l, double t, double r, double b)
{
    return QRect(QPoint(AtFraction(w, l), AtFraction(h, t)), QPoint(AtFraction(w, r), AtFraction(h, b)));
}

std::string CustomerUIImagePath(const std::string &folder, const std::string &name)
{
    EString path;
    path.JoinPath(folder.c_str(), name.c_str());
    return path.c_str();
}

bool DrawImageFile(QPainter &painter, const std::string &path, const QRect &target)
{
    if (path.empty())
        return false;
    QImage image;
    if (!platform::gui::LoadImageFile(path, image))
        return false;
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.drawImage(target, image);
    painter.restore();
    return true;
}

CuiRect PlaceButtonImage(const CuiRect &arrow, int width, int height, int screenHeight)
{
    CuiRect r;
    r.bottom = std::min((arrow.top + arrow.bottom) / 2 + height / 2, screenHeight - kBottomMargin - 1);
    r.top = r.bottom - height;
    r.left = (arrow.left + arrow.right) / 2 - width / 2;
    r.right = r.left + width;
    return r;
}

QRect MessageRect(const QFontMetrics &metrics, int w, int h, const QString &text)
{
    const QSize extent = TextExtent(metrics, text);
    const int left = static_cast<int>(std::lround(w * 0.5 - extent.width() / 2.0));
    return QRect(QPoint(left, AtFraction(h, 0.9)), extent);
}

namespace {
QString Latin1Text(const std::string &text)
{
    return platform::gui::ToQt(text);
}

void DrawRecorded(QPainter &painter, const QRect &target, int flags, const QString &text,
                  std::vector<CuiDrawnText> *record)
{
    QRect extent;
    painter.drawText(target, flags, text, &extent);
    if (record)
        record->push_back(CuiDrawnText{text, target, extent});
}
} // namespace

int DrawTextLines(QPainter &painter, int w, int h, const std::vector<std::string> &lines, int maxLines,
                  double topFraction, QRect &bounds, std::vector<CuiDrawnText> *record)
{
    const QFontMetrics fm(painter.font());
    const QString first = lines.empty() ? QString(" ") : Latin1Text(lines[0]);
    const int lineH = TextExtent(fm, first).height();
    int width = TextExtent(fm, first).width();
    int top = AtFraction(h, topFraction);
    int left = static_cast<int>(std::lround(w * 0.5 - width / 2.0));
    bounds = QRect(left, top, width, lineH);
    DrawRecorded(painter, bounds, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, first, record);
    if (lines.empty())
        return 0;
    int drawn = 1;
    for (size_t i = 1; i < lines.size() && drawn < maxLines; ++i, ++drawn) {
        const QString text = Latin1Text(lines[i]);
        const QSize extent = TextExtent(fm, text);
        width = extent.width();
        // A tenth of the first line's height below the previous line's bottom.
        top = top + lineH - 1 + (lineH - 1) / 10;
        left = static_cast<int>(std::lround(w * 0.5 - width / 2.0));
        const QRect r(left, top, width, extent.height());
        DrawRecorded(painter, r, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text, record);
        bounds = bounds.united(r);
    }
    return drawn;
}

void DrawTitle(QPainter &painter, int w, int h, const std::string &title, std::vector<CuiDrawnText> *record)
{
    if (title.empty())
        return;
    const QString text = Latin1Text(title);
    const QSize extent = TextExtent(QFontMetrics(painter.font()), text);
    const QPen old = painter.pen();
    painter.setPen(kTitle);
    const int left = static_cast<int>(std::lround(w * 0.98 - extent.width()));
    DrawRecorded(painter, QRect(QPoint(left, AtFraction(h, 0.07)), extent),
                 Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text, record);
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

int DrawTextLines(CuiPaintPass &pass, int maxLines, double topFraction, QRect &bounds)
{
    return cui_paint::DrawTextLines(pass.painter, pass.w, pass.h, pass.d.textLines, maxLines, topFraction,
                                    bounds, pass.drawnTexts);
}

namespace {

// One button image: its file in the operator-screen folder drawn at its own size centred on the
// arrow; the rectangle it took is written to slot of the model's button rectangles.
bool DrawButtonImage(CuiPaintPass &pass, const std::string &name, const CuiRect &arrow, size_t slot,
                     CuiRect &place)
{
    if (name.empty())
        return false;
    QImage image;
    const std::string path = cui_paint::CustomerUIImagePath(theApp.m_customer_ui_directory.c_str(), name);
    if (!platform::gui::LoadImageFile(path, image))
        return false;
    place = cui_paint::PlaceButtonImage(arrow, image.width(), image.height(), pass.wnd.Placement().height);
    pass.painter.save();
    pass.painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    pass.painter.drawImage(QRect(place.left, place.top, image.width(), image.height()), image);
    pass.painter.restore();
    pass.screen.WriteBack([&](CustomerUIData &d) { d.buttonRects[slot] = place; });
    return true;
}

void DrawArrowButton(CuiPaintPass &pass, bool next, const std::string *text)
{
    const CustomerUIData &d = pass.d;
    if (d.state < 0 || d.state >= NumberOfStates)
        return;
    if (next ? d.nextHidden : d.backHidden)
        return;
    const size_t base = next ? 0 : 3;
    const bool hover =
        next ? d.nextHover[static_cast<size_t>(d.state)] : d.backHover[static_cast<size_t>(d.state)];
    const std::array<QPoint, 8> pts =
        cui_paint::ArrowPoints(pass.w, pass.h, pass.wnd.Placement().height, next);
    // The arrow's place is computed at its first draw and kept for the life of the window.
    CuiRect arrow = d.buttonRects[base];
    if (arrow.left == 0) {
        arrow = cui_paint::ArrowRect(pts);
        pass.screen.WriteBack([&](CustomerUIData &m) { m.buttonRects[base] = arrow; });
    }
    const std::array<std::string, 2> &images = next ? d.nextImages : d.backImages;
    int32_t shown = 0;
    CuiRect box = arrow;
    if (DrawButtonImage(pass, images[hover ? 1 : 0], arrow, base + (hover ? 2 : 1), box))
        shown = hover ? 2 : 1;
    QPainter &painter = pass.painter;
    painter.save();
    if (shown == 0) {
        const QColor fill = hover ? cui_paint::kArrowLight : cui_paint::kArrowTeal;
        painter.setPen(QPen(fill, 0));
        painter.setBrush(fill);
        painter.drawPolygon(pts.data(), static_cast<int>(pts.size()));
    }
    pass.screen.WriteBack([&](CustomerUIData &m) { (next ? m.nextTextRect : m.backTextRect) = shown; });
    if (text) {
        painter.setBrush(Qt::NoBrush);
        painter.setPen(hover ? cui_paint::kArrowTeal : cui_paint::kArrowLight);
        DrawScreenText(pass, cui_paint::ToQRect(box), Qt::AlignCenter | Qt::TextSingleLine,
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
    const QRect box = cui_paint::ToQRect(pass.wnd.Placement().countdown);
    if (!pass.Intersects(box))
        return;
    if (!d.countdownStarted)
        return;
    const std::string text =
        cui_paint::CountdownText(d.countdownDurationMs, d.countdownElapsedMs, d.countdownDown);
    if (text.empty())
        return;
    QPainter &painter = pass.painter;
    painter.save();
    const QColor fill = d.countdownDown ? cui_paint::kArrowTeal : cui_paint::kCountUp;
    // The corner ellipse is as wide and as high as a "W" of the text font.
    const int corner = QFontMetrics(painter.font()).horizontalAdvance('W');
    painter.setPen(QPen(fill, 0));
    painter.setBrush(fill);
    painter.drawRoundedRect(box, corner / 2.0, corner / 2.0);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(cui_paint::kText);
    DrawScreenText(pass, box, Qt::AlignCenter | Qt::TextSingleLine, platform::gui::ToQt(text));
    painter.restore();
}

void DrawTimedMessage(CuiPaintPass &pass)
{
    const CustomerUIData &d = pass.d;
    if (d.messageText.empty() || d.messageTicks <= 0)
        return;
    QPainter &painter = pass.painter;
    painter.save();
    painter.setFont(cui_paint::ScreenFont(40));
    const QString text = cui_paint::FromLatin1(d.messageText);
    const QRect rect = cui_paint::MessageRect(QFontMetrics(painter.font()), pass.w, pass.h, text);
    // The banner fades from full red into the background in its 20 ticks.
    painter.setPen(cui_paint::BannerColor(cui_paint::FromColorRef(d.backgroundColor), d.messageTicks,
                                          d.messageTicksTotal));
    DrawScreenText(pass, rect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
    painter.restore();
}
