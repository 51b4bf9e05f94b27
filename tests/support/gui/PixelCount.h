#pragma once
// Counting pixels of one colour in a grabbed window.
#include <QColor>
#include <QImage>
#include <QRect>

namespace vantelis::test {

// How many pixels of area (edges included) have exactly the colour.
inline int CountColour(const QImage &img, const QRect &area, const QColor &colour)
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += img.pixelColor(x, y) == colour;
    return n;
}

} // namespace vantelis::test
