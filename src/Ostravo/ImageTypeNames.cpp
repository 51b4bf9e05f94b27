#include "Ostravo/ImageTypeNames.h"

#include <string>

bool ImageTypeFromFileName(const char *fileName, EString &typeName)
{
    if (fileName == nullptr)
        return false;
    const std::string name(fileName);
    const size_t last = name.rfind('_');
    if (last == std::string::npos)
        return false;
    if (name.compare(0, 14, "ManualCapture.") == 0) {
        // The rest after the last '_' less its extension (four characters with the dot).
        const std::string rest = name.substr(last + 1);
        if (rest.size() <= 4)
            return false;
        typeName.Assign(rest.substr(0, rest.size() - 4).c_str());
        return true;
    }
    // The previous '_' is searched from the second character before the last one down to (not
    // including) the first character, so the type has at least one character.
    if (last < 3)
        return false;
    for (size_t i = last - 2; i >= 1; --i) {
        if (name[i] == '_') {
            typeName.Assign(name.substr(i + 1, last - i - 1).c_str());
            return true;
        }
    }
    return false;
}
