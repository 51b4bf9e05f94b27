#include "script/gui/FontTable.h"
#include "platform/gui/QtText.h"

#include <QFontDatabase>

#include <strings.h>

const std::vector<FontTableEntry> &ScriptFontTable()
{
    // Liberation Sans has the metrics of the Windows sans serif faces, so texts take the room the
    // windows were laid out for; URW Gothic is the geometric face of Century Gothic's look; Standard
    // Symbols PS holds the Symbol face's Greek and mathematical glyphs at the same code points.
    static const std::vector<FontTableEntry> table = {
        {"Microsoft Sans Serif", "Liberation Sans"},
        {"Century Gothic", "URW Gothic"},
        {"Symbol", "Standard Symbols PS"},
    };
    return table;
}

QString MappedFontFamily(const std::string &designed)
{
    for (const FontTableEntry &entry : ScriptFontTable()) {
        if (::strcasecmp(entry.designed, designed.c_str()) != 0)
            continue;
        const QString family = platform::gui::ToQt(entry.installed);
        if (QFontDatabase::hasFamily(family))
            return family;
        return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    }
    return platform::gui::ToQt(designed);
}

QFont MappedFont(const std::string &designed, int points, int weight)
{
    QFont font(MappedFontFamily(designed), points, weight);
    return font;
}
