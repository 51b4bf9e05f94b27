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

// The buffer size whole-number settings are read with: a longer value reads as missing.
inline constexpr uint32_t kIntSettingSize = 31;

// The item's value scanned with ScanInt; fallback when the file, the section or the item is
// missing, when the value holds no number, or when it does not fit in size - 1 characters.
int32_t ReadProfileInt(const char *section, const char *key, int32_t fallback, const char *file,
                       uint32_t size = kIntSettingSize);
// As ReadProfileInt, then held within lowest..highest (the fallback too).
int32_t ReadProfileIntInRange(const char *section, const char *key, int32_t fallback, int32_t lowest,
                              int32_t highest, const char *file, uint32_t size = kIntSettingSize);

} // namespace Ostravo
