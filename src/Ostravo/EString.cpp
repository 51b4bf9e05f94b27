#include "Ostravo/EString.h"

#include "platform/Files.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

namespace {

// Stands in for the text of a string whose buffer could not be obtained, so that the text
// pointer is never null.
char g_noText[1] = {'\0'};

// A new buffer for length characters and the NUL; null when the heap refuses.
char *NewText(size_t length)
{
    char *buffer = new (std::nothrow) char[length + 1];
    if (buffer != nullptr)
        buffer[length] = '\0';
    return buffer;
}

char *CopyText(const char *text, size_t length)
{
    char *buffer = NewText(length);
    if (buffer != nullptr && length > 0)
        std::memcpy(buffer, text, length);
    return buffer;
}

bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}
bool IsBlankOrTab(char c)
{
    return c == ' ' || c == '\t';
}

char FoldCase(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// The fields of a split, each stored as EString::InsertAtColumn stores it at column 0 of an empty
// string, appended to out; returns how many were stored.
int SplitFields(const char *text, char delimiter, std::vector<EString> &out)
{
    int stored = 0;
    if (text == nullptr)
        return 0;
    const char *p = text;
    for (;;) {
        while (*p == ' ')
            ++p;
        if (*p == '\0')
            break;
        if (*p == '"') {
            const char *close = std::strchr(p + 1, '"');
            if (close == nullptr)
                break; // an unclosed quote ends the split without that field
            out.emplace_back();
            out.back().InsertAtColumn(0, p + 1, static_cast<int>(close - (p + 1)));
            ++stored;
            p = close + 1;
            if (*p == delimiter && delimiter != '\0')
                ++p;
            continue;
        }
        const char *end = delimiter != '\0' ? std::strchr(p, delimiter) : nullptr;
        if (end == nullptr)
            end = p + std::strlen(p);
        out.emplace_back();
        out.back().InsertAtColumn(0, p, static_cast<int>(end - p));
        ++stored;
        p = *end == '\0' ? end : end + 1;
    }
    return stored;
}

int CountDelimiters(const char *text, char delimiter)
{
    int count = 0;
    if (text != nullptr && delimiter != '\0')
        for (const char *p = text; *p != '\0'; ++p)
            if (*p == delimiter)
                ++count;
    return count;
}

// Formats into buffer with printf-style arguments; the buffer is large enough for any double in
// general notation with up to 17 significant digits.
template <class... Args> void Print(char (&buffer)[64], const char *format, Args... args)
{
    std::snprintf(buffer, sizeof buffer, format, args...);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// EString

EString::EString() : m_error(0), m_text(NewText(0))
{
    if (m_text == nullptr) {
        m_text = g_noText;
        m_error = 1;
    }
}

EString::EString(const EString &other) : EString(other.m_text) {}

EString::EString(const char *text) : m_error(0), m_text(nullptr)
{
    if (text == nullptr)
        text = "";
    m_text = CopyText(text, std::strlen(text));
    if (m_text == nullptr) {
        m_text = g_noText;
        m_error = 1;
    }
}

EString::EString(int32_t value, int) : m_error(0), m_text(nullptr)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%ld", static_cast<long>(value));
    m_text = CopyText(buffer, std::strlen(buffer));
    if (m_text == nullptr) {
        m_text = g_noText;
        m_error = 1;
    }
}

EString::EString(double value) : m_error(0), m_text(nullptr)
{
    char buffer[16];
    FormatDouble(value, buffer);
    m_text = CopyText(buffer, std::strlen(buffer));
    if (m_text == nullptr) {
        m_text = g_noText;
        m_error = 1;
    }
}

EString::~EString()
{
    if (m_text != g_noText)
        delete[] m_text;
}

void EString::Adopt(char *buffer)
{
    if (m_text != g_noText)
        delete[] m_text;
    m_text = buffer;
}

EString &EString::operator=(const EString &other)
{
    if (this == &other || std::strcmp(m_text, other.m_text) == 0)
        return *this;
    return Assign(other.m_text);
}

EString &EString::Assign(const char *text)
{
    if (text == nullptr)
        text = "";
    // Copy before freeing: text may point into this string.
    char *buffer = CopyText(text, std::strlen(text));
    if (buffer != nullptr)
        Adopt(buffer);
    return *this;
}

int EString::AssignN(const char *text, int n)
{
    if (text == nullptr || n < 1)
        return 0;
    char *buffer = CopyText(text, strnlen(text, static_cast<size_t>(n)));
    if (buffer == nullptr)
        return 0;
    Adopt(buffer);
    return 1;
}

int EString::Append(const char *text)
{
    if (text == nullptr || m_error != 0)
        return 0;
    size_t length = std::strlen(m_text);
    size_t added = std::strlen(text);
    char *buffer = NewText(length + added);
    if (buffer == nullptr)
        return 0;
    std::memcpy(buffer, m_text, length);
    std::memcpy(buffer + length, text, added);
    Adopt(buffer);
    return 1;
}

EString &EString::AppendUnsigned(unsigned n)
{
    if (m_error != 0)
        return *this;
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%u", n);
    Append(buffer);
    return *this;
}

int EString::GetLength() const
{
    return static_cast<int>(std::strlen(m_text));
}

void EString::Trim()
{
    size_t end = std::strcspn(m_text, "\r\n");
    size_t start = 0;
    while (start < end && IsBlankOrTab(m_text[start]))
        ++start;
    while (end > start && IsBlankOrTab(m_text[end - 1]))
        --end;
    if (start == 0 && m_text[end] == '\0')
        return;
    char *buffer = CopyText(m_text + start, end - start);
    if (buffer != nullptr)
        Adopt(buffer);
}

int EString::Erase(int pos, int n)
{
    if (pos < 0)
        return 0;
    size_t length = std::strlen(m_text);
    if (static_cast<size_t>(pos) >= length || n <= 0)
        return 1;
    size_t start = static_cast<size_t>(pos);
    size_t count = static_cast<size_t>(n);
    if (count > length - start)
        count = length - start;
    char *buffer = NewText(length - count);
    if (buffer == nullptr)
        return 0;
    std::memcpy(buffer, m_text, start);
    std::memcpy(buffer + start, m_text + start + count, length - start - count);
    Adopt(buffer);
    return 1;
}

EString *EString::Extract(int pos, int n)
{
    EString *cut = new (std::nothrow) EString();
    if (cut == nullptr)
        return nullptr;
    size_t length = std::strlen(m_text);
    if (pos < 0 || static_cast<size_t>(pos) >= length)
        return cut;
    size_t start = static_cast<size_t>(pos);
    size_t count = length - start;
    if (n >= 0 && static_cast<size_t>(n) < count)
        count = static_cast<size_t>(n);
    char *taken = CopyText(m_text + start, count);
    char *kept = NewText(length - count);
    if (taken == nullptr || kept == nullptr) {
        delete[] taken;
        delete[] kept;
        return cut;
    }
    cut->Adopt(taken);
    std::memcpy(kept, m_text, start);
    std::memcpy(kept + start, m_text + start + count, length - start - count);
    Adopt(kept);
    return cut;
}

int EString::InsertAtColumn(int column, const char *text, int n)
{
    if (text == nullptr || n == 0)
        return 1;
    if (n == -1)
        n = static_cast<int>(std::strlen(text));
    if (n <= 0 || column < 0)
        return 1;
    size_t length = std::strlen(m_text);
    size_t c = static_cast<size_t>(column);
    size_t count = static_cast<size_t>(n);
    if (c < length) {
        char *buffer = NewText(length + count);
        if (buffer == nullptr)
            return 1;
        std::memcpy(buffer, m_text, c);
        size_t available = strnlen(text, count);
        std::memcpy(buffer + c, text, available);
        std::memset(buffer + c + available, ' ', count - available);
        std::memcpy(buffer + c + count, m_text + c, length - c);
        Adopt(buffer);
        return 1;
    }
    // At or past the end: trailing blanks of the text (over its whole length) are not inserted.
    size_t textLength = std::strlen(text);
    size_t nonBlank = textLength;
    while (nonBlank > 0 && text[nonBlank - 1] == ' ')
        --nonBlank;
    if (nonBlank == 0)
        return 1;
    if (count > nonBlank)
        count = nonBlank;
    char *buffer = NewText(c + count);
    if (buffer == nullptr)
        return 1;
    std::memcpy(buffer, m_text, length);
    std::memset(buffer + length, ' ', c - length);
    std::memcpy(buffer + c, text, count);
    Adopt(buffer);
    return 1;
}

int EString::Replace(const char *find, const char *with, int max)
{
    if (find == nullptr || find[0] == '\0')
        return 0;
    if (with == nullptr)
        with = "";
    // with may point into this string; keep a copy of it.
    std::string replacement(with);
    size_t findLength = std::strlen(find);
    size_t withLength = replacement.size();
    std::string target(find);
    int count = 0;
    size_t start = 0;
    for (;;) {
        const char *match = FindSubstring(m_text + start, target.c_str(), 1);
        if (match == nullptr)
            break;
        size_t pos = static_cast<size_t>(match - m_text);
        if (findLength == withLength) {
            std::memcpy(m_text + pos, replacement.data(), withLength);
        } else {
            size_t length = std::strlen(m_text);
            char *buffer = NewText(length - findLength + withLength);
            if (buffer == nullptr)
                break;
            std::memcpy(buffer, m_text, pos);
            std::memcpy(buffer + pos, replacement.data(), withLength);
            std::memcpy(buffer + pos + withLength, m_text + pos + findLength, length - pos - findLength);
            Adopt(buffer);
        }
        start = pos + withLength;
        ++count;
        if (count >= max)
            break;
    }
    return count;
}

int EString::Split(EString **fields, char delimiter) const
{
    if (fields == nullptr)
        return 0;
    std::vector<EString> found;
    int count = SplitFields(m_text, delimiter, found);
    // Room for every delimiter's field, and never fewer slots than fields stored.
    size_t slots = static_cast<size_t>(CountDelimiters(m_text, delimiter)) + 1;
    if (slots < found.size())
        slots = found.size();
    *fields = new (std::nothrow) EString[slots];
    if (*fields == nullptr)
        return 0;
    for (size_t i = 0; i < found.size(); ++i)
        (*fields)[i] = found[i];
    return count;
}

int EString::SplitPath(const char *path, int folder, int name, int extension)
{
    if (path == nullptr)
        return 0;
    size_t begin = 0;
    while (IsBlankOrTab(path[begin]))
        ++begin;
    if (path[begin] == '\0')
        return 0;
    size_t length = std::strlen(path);
    const size_t none = std::string::npos;
    size_t lastDot = none;
    size_t lastSeparator = none;
    for (size_t i = begin; i < length; ++i) {
        if (path[i] == '.')
            lastDot = i;
        else if (IsSeparator(path[i]))
            lastSeparator = i;
    }
    // The folder ends behind the last separator; without one, behind a drive-style colon.
    size_t folderEnd = begin;
    if (lastSeparator != none) {
        folderEnd = lastSeparator + 1;
    } else {
        size_t limit = lastDot != none ? lastDot : length;
        for (size_t i = begin; i < limit; ++i)
            if (path[i] == ':')
                folderEnd = i + 1;
    }
    size_t nameStart = folderEnd;
    size_t extStart = none;
    if (lastDot != none && lastDot > nameStart)
        extStart = lastDot;
    size_t end = length;
    if (extStart != none)
        end = extStart + std::strcspn(path + extStart, " \t");
    size_t nameEnd = extStart != none ? extStart : end;

    size_t from = 0;
    size_t to = 0;
    if (folder && !name && !extension) {
        from = begin;
        to = folderEnd;
        if (to == from) {
            Assign("");
            return 1;
        }
    } else if (!folder && name && extension) {
        from = nameStart;
        to = end;
    } else if (!folder && name && !extension) {
        from = nameStart;
        to = nameEnd;
    } else if (folder && name && !extension) {
        if (extStart == none)
            return 0;
        from = begin;
        to = extStart;
    } else if (!folder && !name && extension) {
        if (extStart == none) {
            Assign("");
            return 1;
        }
        from = extStart;
        to = end;
    } else if (folder && name && extension) {
        from = begin;
        to = end;
    } else {
        return 0;
    }
    if (to <= from)
        return 0;
    char *buffer = CopyText(path + from, to - from);
    if (buffer == nullptr)
        return 0;
    Adopt(buffer);
    return 1;
}

bool EString::RemoveExtension()
{
    EString result;
    if (!result.SplitPath(m_text, 1, 1, 0))
        return false;
    Assign(result.m_text);
    return true;
}

bool EString::ChangeDirectory(const char *folder)
{
    if (folder == nullptr)
        return false;
    EString nameAndExtension;
    if (!nameAndExtension.SplitPath(m_text, 0, 1, 1))
        return false;
    JoinPath(folder, nameAndExtension.m_text);
    return true;
}

int EString::JoinPath(const char *folder, const char *name)
{
    EString result(folder);
    result.Trim();
    if (result.IsNonEmpty() && !IsSeparator(result.m_text[std::strlen(result.m_text) - 1]))
        result.Append("/");
    result.Append(name != nullptr ? name : "");
    Assign(result.m_text);
    return 1;
}

int EString::AppendPathPart(const char *part)
{
    Trim();
    size_t length = std::strlen(m_text);
    if (length == 0 || !IsSeparator(m_text[length - 1]))
        Append("/");
    Append(part != nullptr ? part : "");
    return 1;
}

int EString::SanitizeFileName()
{
    size_t length = std::strlen(m_text);
    if (length > 256)
        return 0;
    for (size_t i = 0; i < length; ++i)
        if (!IsValidFileNameChar(m_text[i]))
            m_text[i] = '_';
    return 1;
}

// ---------------------------------------------------------------------------------------------
// Free routines

int CompareKeyText(const char *a, const char *b, bool exact)
{
    if (a == nullptr || b == nullptr)
        return a == b ? 0 : (a == nullptr ? -1 : 1);
    for (size_t i = 0;; ++i) {
        char ca = a[i];
        char cb = b[i];
        if (ca == '\0' || cb == '\0')
            return ca == cb ? 0 : (ca == '\0' ? -1 : 1);
        if (!exact) {
            ca = FoldCase(ca);
            cb = FoldCase(cb);
        }
        int difference = static_cast<signed char>(ca) - static_cast<signed char>(cb);
        if (difference != 0)
            return difference < 0 ? -1 : 1;
    }
}

bool EStringLessNoCase(const EString &a, const EString &b)
{
    return CompareKeyText(a.m_text, b.m_text, false) < 0;
}

bool EStringGreaterNoCase(const EString &a, const EString &b)
{
    return CompareKeyText(a.m_text, b.m_text, false) > 0;
}

bool CompareText(const char *a, const char *b, int exact, int max_len)
{
    if (a == nullptr || b == nullptr)
        return a == b;
    for (int i = 0; max_len <= 0 || i < max_len; ++i) {
        char ca = a[i];
        char cb = b[i];
        if (!exact) {
            ca = FoldCase(ca);
            cb = FoldCase(cb);
        }
        if (ca != cb)
            return false;
        if (ca == '\0')
            return true;
    }
    return true;
}

int CountChars(const char *text, int non_blank_only)
{
    if (text == nullptr)
        return 0;
    if (!non_blank_only)
        return static_cast<int>(std::strlen(text));
    int count = 0;
    for (const char *p = text; *p != '\0'; ++p)
        if (!IsBlankOrTab(*p))
            ++count;
    return count;
}

const char *FindSubstring(const char *text, const char *find, int exact)
{
    if (text == nullptr || find == nullptr)
        return nullptr;
    size_t textLength = std::strlen(text);
    size_t findLength = std::strlen(find);
    if (findLength > textLength)
        return nullptr;
    for (size_t i = 0; i + findLength <= textLength; ++i)
        if (CompareText(text + i, find, exact, static_cast<int>(findLength)))
            return text + i;
    return nullptr;
}

char *FindSubstring(char *text, const char *find, int exact)
{
    return const_cast<char *>(FindSubstring(static_cast<const char *>(text), find, exact));
}

bool IsValidFileNameChar(char c)
{
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 32 || u >= 127)
        return false;
    return std::strchr("\"&'*/:?\\`|", c) == nullptr;
}

void TidyNumberText(char *text)
{
    if (text == nullptr)
        return;
    size_t length = std::strlen(text);
    if (length > 0 && text[length - 1] == '.')
        text[--length] = '\0';
    char *exponent = length > 1 ? std::strpbrk(text + 1, "eE") : nullptr;
    if (exponent != nullptr) {
        char *digits = exponent + 1;
        if (*digits == '+' || *digits == '-')
            ++digits;
        char *first = digits;
        while (first[0] == '0' && first[1] != '\0')
            ++first;
        if (first != digits)
            std::memmove(digits, first, std::strlen(first) + 1);
        if (exponent[-1] == '.' && exponent - 1 > text)
            std::memmove(exponent - 1, exponent, std::strlen(exponent) + 1);
        return;
    }
    char *dot = std::strchr(text, '.');
    if (dot == nullptr)
        return;
    while (length > static_cast<size_t>(dot - text) + 2 && text[length - 1] == '0')
        text[--length] = '\0';
}

char *FormatDouble(double value, char *out)
{
    const size_t limit = 10;
    if (value == 0.0) {
        std::strcpy(out, "0");
        return out;
    }
    char text[64];
    double magnitude = std::fabs(value);
    bool negative = value < 0.0;
    if (magnitude >= 1e-6 && magnitude <= 1e6) {
        int32_t whole = static_cast<int32_t>(value);
        if (value == static_cast<double>(whole)) {
            Print(text, "%ld", static_cast<long>(whole));
            std::strcpy(out, text); // at most "-1000000"
            return out;
        }
        Print(text, "%.9g", value);
        TidyNumberText(text);
        if (std::strlen(text) > limit) {
            int digits = 19 - static_cast<int>(std::strlen(text));
            if (negative && digits < 6)
                digits = 6;
            if (digits < 1)
                digits = 1;
            do {
                Print(text, "%.*g", digits, value);
                TidyNumberText(text);
                --digits;
            } while (std::strlen(text) > limit && digits >= 1);
        }
        std::strcpy(out, text);
        return out;
    }
    // Very small or very large magnitudes: cut digits (no carry) so that the text fits.
    Print(text, "%.10g", magnitude);
    TidyNumberText(text);
    size_t sign = negative ? 1 : 0;
    const char *exponent = std::strlen(text) > 1 ? std::strpbrk(text + 1, "eE") : nullptr;
    if (std::strlen(text) + sign > limit && exponent == nullptr) {
        // Cutting fixed notation must never drop digits in front of the '.', which would change
        // the magnitude; such values are written in exponent form instead.
        size_t integerDigits = std::strcspn(text, ".");
        if (integerDigits > limit - sign) {
            Print(text, "%.9g", magnitude);
            TidyNumberText(text);
            exponent = std::strpbrk(text + 1, "eE");
        }
    }
    std::string result = negative ? "-" : "";
    if (std::strlen(text) + sign <= limit) {
        result += text;
    } else if (exponent != nullptr) {
        size_t exponentLength = std::strlen(exponent);
        result.append(text, limit - sign - exponentLength);
        result += exponent;
    } else {
        result.append(text, limit - sign);
        if (result.back() == '.')
            result.pop_back();
    }
    std::strcpy(out, result.c_str());
    return out;
}

int CreateDirectoryPath(const char *path)
{
    if (path == nullptr)
        return 0;
    std::string folder(path);
    // One trailing separator goes; the root folder keeps its only one.
    if (folder.size() > 1 && IsSeparator(folder.back()))
        folder.pop_back();
    if (folder.empty())
        return 0;
    if (platform::FolderExists(folder))
        return 1;
    // Something else of that name (a file) is no folder, and none can be made there.
    if (platform::FileExists(folder))
        return 0;
    if (platform::MakeFolder(folder))
        return 1;
    if (folder.size() < 2)
        return 0;
    for (size_t i = folder.size() - 1; i-- > 0;) {
        if (!IsSeparator(folder[i]))
            continue;
        std::string parent = i == 0 ? folder.substr(0, 1) : folder.substr(0, i);
        if (!CreateDirectoryPath(parent.c_str()))
            return 0;
        return platform::MakeFolder(folder) ? 1 : 0;
    }
    return 0;
}

int SplitIntoVector(const char *text, std::vector<EString> &fields, char delimiter)
{
    fields.clear();
    int count = SplitFields(text, delimiter, fields);
    size_t slots = static_cast<size_t>(CountDelimiters(text, delimiter)) + 1;
    if (fields.size() < slots)
        fields.resize(slots);
    return count;
}
