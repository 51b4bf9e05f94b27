#pragma once
// Reading settings values as text and scanning numbers out of them the way the settings files have
// always been read ("%d", "%lf"), with '.' as the decimal point whatever the C library's locale.
#include <charconv>
#include <cstdint>
#include <string>

namespace Ostravo {

// The item's value (or fallback) as E_GetPrivateProfileString gives it in a buffer of size
// characters; a failed read gives the empty text.
std::string ReadProfileString(const char *section, const char *key, const char *fallback, uint32_t size,
                              const char *file);

// Where "%d" and "%lf" start reading: after white space and an optional '+'.
const char *NumberStart(const char *text);

// The longest number at the start (after NumberStart), anything after it ignored. No number, or one
// out of the type's range, gives false and leaves value alone.
template <typename T> bool ScanNumber(const std::string &text, T &value)
{
    const char *p = NumberStart(text.c_str());
    T parsed{};
    const auto result = std::from_chars(p, text.c_str() + text.size(), parsed);
    if (result.ptr == p || result.ec != std::errc())
        return false;
    value = parsed;
    return true;
}

// "%d" into 32 bits: leading blanks, an optional sign and digits, anything after them ignored; a
// value out of range is held at the nearest 32-bit limit. No number gives false and leaves value alone.
bool ScanInt(const std::string &text, int32_t &value);

} // namespace Ostravo
