#pragma once
// The font families that the script and operator-screen windows were designed with are Windows
// families that Debian does not ship. Each maps to an installed family of the same look (the
// packages come with scripts/deps); a family missing there falls back to the desktop's sans serif.
#include <QFont>
#include <QString>

#include <string>
#include <vector>

struct FontTableEntry
{
    const char *designed;  // the family the windows name
    const char *installed; // the family drawn in its place
};

// The whole table, in a fixed order.
const std::vector<FontTableEntry> &ScriptFontTable();
// The installed family for a designed one (ASCII case ignored); an unknown name is returned as it
// is, so a family that exists here is used directly.
QString MappedFontFamily(const std::string &designed);
// The font to draw with for a designed family and size in points.
QFont MappedFont(const std::string &designed, int points, int weight = QFont::Normal);
