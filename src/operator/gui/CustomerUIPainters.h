#pragma once
// The drawing all operator screens share: fractions of the client size, the Next and Back arrows,
// the countdown text and the colour of the fading banner.
#include "operator/CustomerUI.h"

#include <QColor>
#include <QFont>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

class QPainter;
class QFontMetrics;
struct CuiDrawnText;

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

// A face (through the font table) whose lines are cellHeight pixels high, normal weight.
QFont CellHeightFont(const std::string &face, int cellHeight);
// The screen's face ("Century Gothic") of the given cell height.
QFont ScreenFont(int pixelHeight);
// The model's inclusive rectangle as a Qt rectangle.
QRect ToQRect(const CuiRect &r);
// The model's texts (UTF-8, or Windows-1252 from older files) as Qt text.
QString FromLatin1(const std::string &text);

// A colour as the model keeps it: Windows RGB (red | green << 8 | blue << 16).
QColor FromColorRef(int32_t rgb);

// The extent a text takes on one line in the metrics' font (what drawing it covers).
QSize TextExtent(const QFontMetrics &metrics, const QString &text);

// round(size x f), halves away from zero.
int AtFraction(int size, double f);
// The rectangle of four fractions of a w x h client (right and bottom inclusive as computed).
QRect FractionRect(int w, int h, double l, double t, double r, double b);
// A bare image name in the operator-screen folder: the folder trimmed of blanks and cut at a line
// break, a separator unless it ends with one, and the name; the name alone when the folder is empty.
std::string CustomerUIImagePath(const std::string &folder, const std::string &name);
// Draws the image file scaled into target (bilinear); false, leaving the place empty, when the file
// is missing or cannot be read.
bool DrawImageFile(QPainter &painter, const std::string &path, const QRect &target);
// Where a button image of width x height sits: centred on the arrow's rectangle, its bottom at most
// at screenHeight - 41.
CuiRect PlaceButtonImage(const CuiRect &arrow, int width, int height, int screenHeight);
// The banner's rectangle: the text's extent centred at x 0.5 with its top at y 0.9.
QRect MessageRect(const QFontMetrics &metrics, int w, int h, const QString &text);
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
// Each drawn text is appended to record when it is given.
int DrawTextLines(QPainter &painter, int w, int h, const std::vector<std::string> &lines, int maxLines,
                  double topFraction, QRect &bounds, std::vector<CuiDrawnText> *record = nullptr);
// The corner title: right end at x 0.98, top at y 0.07, in the title colour; the pen is restored.
void DrawTitle(QPainter &painter, int w, int h, const std::string &title,
               std::vector<CuiDrawnText> *record = nullptr);

} // namespace cui_paint
