#include "Ostravo/ProfileValues.h"

#include "Ostravo/Profile.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace Ostravo {

std::string ReadProfileString(const char *section, const char *key, const char *fallback, uint32_t size,
                              const char *file)
{
    std::string buffer(size, '\0');
    if (!E_GetPrivateProfileString(section, key, fallback, buffer.data(), size, file))
        return std::string();
    buffer.resize(std::char_traits<char>::length(buffer.c_str()));
    return buffer;
}

const char *NumberStart(const char *text)
{
    const char *p = text;
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\v' || *p == '\f')
        ++p;
    if (*p == '+' && p[1] != '-')
        ++p;
    return p;
}

bool ScanInt(const std::string &text, int32_t &value)
{
    const char *begin = text.c_str();
    char *end = nullptr;
    const long long parsed = std::strtoll(begin, &end, 10);
    if (end == begin)
        return false;
    value = static_cast<int32_t>(std::clamp<long long>(parsed, INT32_MIN, INT32_MAX));
    return true;
}

int32_t ReadProfileInt(const char *section, const char *key, int32_t fallback, const char *file,
                       uint32_t size)
{
    int32_t value = fallback;
    return ScanInt(ReadProfileString(section, key, "", size, file), value) ? value : fallback;
}

int32_t ReadProfileIntInRange(const char *section, const char *key, int32_t fallback, int32_t lowest,
                              int32_t highest, const char *file, uint32_t size)
{
    const int32_t value = ReadProfileInt(section, key, fallback, file, size);
    if (value < lowest)
        return lowest;
    if (value > highest)
        return highest;
    return value;
}

} // namespace Ostravo
