#pragma once
// The drawing all operator screens share: fractions of the client size, the Next and Back arrows,
// the countdown text and the colour of the fading banner.
#include "operator/CustomerUI.h"

#include <QColor>
#include <QFont>
#include <QPoint>
#include <QRect>
#include <QString>

class QPainter;

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace cui_paint {

inline const QColor kBackground(33, 50, 63);
inline const QColor kArrowTeal(68, 179, 180); // fixed: not the script's highlight colour
inline const QColor kArrowLight(244, 248, 254);
inline const QColor kCountUp(122, 5, 105);
inline const QColor kTitle(61, 155, 158);
inline const QColor kBannerFull(228, 50, 27);
inline const QColor kText(255, 255, 255);
inline const QColor kHighlight(68, 179, 180);
inline const QColor kOffGrey(100, 100, 100);
constexpr int kBottomMargin = 40;

// The screen's face ("Century Gothic" through the font table) at a pixel height, normal weight.
QFont ScreenFont(int pixelHeight);
// The model's inclusive rectangle as a Qt rectangle.
QRect ToQRect(const CuiRect &r);
// The model keeps texts as Latin-1 bytes.
QString FromLatin1(const std::string &text);

// round(size x f), halves away from zero.
int AtFraction(int size, double f);
// The eight points of the Next (or Back) arrow for a client of w x h on a screen screenHeight high;
// lifted so that the lowest point stays at screenHeight - 41.
std::array<QPoint, 8> ArrowPoints(int w, int h, int screenHeight, bool next);
// The bounding rectangle of the points, as the model keeps it (right and bottom inclusive).
CuiRect ArrowRect(const std::array<QPoint, 8> &points);
// "mm:ss" of the countdown, or empty once the elapsed time passes the duration.
std::string CountdownText(int64_t durationMs, int64_t elapsedMs, bool down);
// The banner's colour with ticksLeft of total ticks left, fading from full red into background.
QColor BannerColor(const QColor &background, int ticksLeft, int total);

// Draws the prompt lines centred, the first with its top at y topFraction of a w x h client, each
// next one a tenth of the first line's height below the previous; at most maxLines. With no lines
// a blank is drawn and measured. Returns how many lines were drawn; bounds is their extent.
int DrawTextLines(QPainter &painter, int w, int h, const std::vector<std::string> &lines, int maxLines,
                  double topFraction, QRect &bounds);
// The corner title: right end at x 0.98, top at y 0.07, in the title colour.
void DrawTitle(QPainter &painter, int w, int h, const std::string &title);

} // namespace cui_paint
