#include "Ostravo/ProfileText.h"

#include <algorithm>
#include <cstring>

namespace Ostravo {

namespace {

bool IsLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

char Upper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool EqualNoCase(const char *a, size_t aLength, const char *b)
{
    size_t bLength = std::strlen(b);
    if (aLength != bLength)
        return false;
    for (size_t i = 0; i < aLength; ++i)
        if (Upper(a[i]) != Upper(b[i]))
            return false;
    return true;
}

// Characters an item line may carry in its name part; anything else there is an error.
bool IsNamePartChar(char c)
{
    if (IsLetter(c) || IsDigit(c))
        return true;
    return c != '\0' && std::strchr("\t \"!#$%'()*+,-./:;<>?@\\]^_{|}~", c) != nullptr;
}

// Start of the line after the one that holds pos.
size_t NextLine(const std::string &text, size_t pos)
{
    if (pos >= text.size())
        return text.size();
    const void *lf = std::memchr(text.data() + pos, '\n', text.size() - pos);
    return lf ? static_cast<size_t>(static_cast<const char *>(lf) - text.data()) + 1 : text.size();
}

bool FollowsCrLf(const std::string &text, size_t pos)
{
    return pos >= 2 && pos <= text.size() && text[pos - 2] == '\r' && text[pos - 1] == '\n';
}

bool IsValidName(const char *name, size_t maxLength, const char *furtherChars)
{
    if (name == nullptr || !(IsLetter(name[0]) || name[0] == '_'))
        return false;
    size_t length = 1;
    for (const char *p = name + 1; *p; ++p, ++length) {
        if (length >= maxLength)
            return false;
        if (!IsLetter(*p) && !IsDigit(*p) && std::strchr(furtherChars, *p) == nullptr)
            return false;
    }
    return true;
}

} // namespace

void NormalizeLineEnds(std::string &text)
{
    const size_t size = text.size();
    if (size <= 2)
        return;
    const char *data = text.data();
    // Most files already end every line with CR LF: find the first line end that does not.
    size_t bad = size;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == '\r' && i + 1 < size && data[i + 1] == '\n') {
            ++i;
        } else if (data[i] == '\r' || data[i] == '\n') {
            bad = i;
            break;
        }
    }
    if (bad >= size) {
        if (!FollowsCrLf(text, size))
            text += "\r\n";
        return;
    }
    std::string out;
    out.reserve(size + size / 16 + 2);
    out.append(data, bad);
    for (size_t i = bad; i < size; ++i) {
        char c = data[i];
        if (c == '\r') {
            out += '\r';
            if (i + 1 >= size || data[i + 1] != '\n')
                out += '\n';
        } else if (c == '\n') {
            if (i == 0 || data[i - 1] != '\r')
                out += '\r';
            out += '\n';
        } else {
            out += c;
        }
    }
    if (!FollowsCrLf(out, out.size()))
        out += "\r\n";
    text.swap(out);
}

bool IsValidSectionName(const char *name)
{
    return IsValidName(name, 63, " _-.{}~");
}

bool IsValidItemName(const char *name)
{
    return IsValidName(name, 127, "_-.[]{}~");
}

size_t FindSection(const std::string &text, const char *section)
{
    if (text.size() < 3 || section == nullptr)
        return kNoPos;
    const std::string header = std::string("[") + section + "]";
    // "[name]" can also stand inside a value; only an occurrence at the start of a line is a
    // header. Stopping at the first occurrence would hide the section for good: every write would
    // append another copy that no read ever finds.
    for (size_t pos = text.find(header); pos != std::string::npos; pos = text.find(header, pos + 1))
        if (pos == 0 || text[pos - 1] == '\r' || text[pos - 1] == '\n')
            return pos;
    return kNoPos;
}

bool ParseSectionHeader(const std::string &text, size_t &pos)
{
    if (pos >= text.size() || text[pos] != '[')
        return false;
    size_t nameStart = pos + 1;
    size_t close = nameStart;
    while (close < text.size() && text[close] != ']' && close - nameStart <= 64)
        ++close;
    if (close >= text.size() || text[close] != ']' || close - nameStart > 64)
        return false;
    std::string name = text.substr(nameStart, close - nameStart);
    if (name.find('\0') != std::string::npos || !IsValidSectionName(name.c_str()))
        return false;
    if (close + 3 > text.size() || text[close + 1] != '\r' || text[close + 2] != '\n')
        return false;
    pos = close + 3;
    return true;
}

ProfileLine SkipToItemLine(const std::string &text, size_t &pos)
{
    const char *data = text.data();
    const size_t size = text.size();
    while (pos < size && (data[pos] == ' ' || data[pos] == '\t'))
        ++pos;
    if (pos >= size)
        return ProfileLine::SectionEnd;
    char c = data[pos];
    if (c == '[' || c == '\0')
        return ProfileLine::SectionEnd;
    if (c == '/')
        return (pos + 1 < size && data[pos + 1] == '/') ? ProfileLine::Skip : ProfileLine::Error;
    if (IsLetter(c) || c == '_')
        return ProfileLine::Item;
    return ProfileLine::Skip;
}

ItemName ReadItemName(const std::string &text, size_t pos, size_t &nameEnd)
{
    const char *data = text.data();
    const size_t size = text.size();
    size_t equals = pos;
    while (equals < size && data[equals] != '=' && data[equals] != '\r' && data[equals] != '\n' &&
           data[equals] != '\0')
        ++equals;
    if (equals >= size || data[equals] != '=')
        return ItemName::NoEquals;
    if (equals - pos > 128)
        return ItemName::Error;
    for (size_t i = pos; i < equals; ++i)
        if (!IsNamePartChar(data[i]))
            return ItemName::Error;
    nameEnd = equals;
    return ItemName::Found;
}

ItemSearch FindItem(const std::string &text, const char *item, size_t sectionPos)
{
    ItemSearch result;
    size_t pos = sectionPos;
    if (item == nullptr || !ParseSectionHeader(text, pos))
        return result;
    for (;;) {
        switch (SkipToItemLine(text, pos)) {
        case ProfileLine::SectionEnd:
            result.endOfSection = true;
            result.pos = pos;
            return result;
        case ProfileLine::Error:
            return result;
        case ProfileLine::Skip:
            pos = NextLine(text, pos);
            break;
        case ProfileLine::Item: {
            size_t equals = 0;
            ItemName name = ReadItemName(text, pos, equals);
            if (name == ItemName::Error)
                return result;
            if (name == ItemName::Found && EqualNoCase(text.data() + pos, equals - pos, item)) {
                result.found = true;
                result.pos = equals + 1;
                return result;
            }
            pos = NextLine(text, pos);
            break;
        }
        }
    }
}

size_t ValueEnd(const std::string &text, size_t pos)
{
    const char *data = text.data();
    size_t end = pos;
    while (end < text.size() && data[end] != '\r' && data[end] != '\0')
        ++end;
    return end;
}

ReplaceResult ReplaceItemValue(std::string &text, size_t pos, const char *value)
{
    size_t end = text.find('\r', pos);
    if (end == std::string::npos)
        end = text.size();
    size_t oldLength = end - pos;
    if (oldLength > 1024)
        return ReplaceResult::TooLong;
    if (text.compare(pos, oldLength, value) == 0)
        return ReplaceResult::Unchanged;
    text.replace(pos, oldLength, value);
    return ReplaceResult::Replaced;
}

bool InsertItemLine(std::string &text, size_t pos, const char *item, const char *value)
{
    if (std::strlen(value) > 256 || !IsValidItemName(item) || !FollowsCrLf(text, pos))
        return false;
    text.insert(pos, std::string(item) + "=" + value + "\r\n");
    return true;
}

void EndWithLineEnd(std::string &text)
{
    if (text.empty())
        return;
    char last = text.back();
    if (last == '\r') {
        text += '\n';
    } else if (last == '\n') {
        if (!FollowsCrLf(text, text.size()))
            text.insert(text.size() - 1, 1, '\r');
    } else {
        text += "\r\n";
    }
}

void AppendSectionHeader(std::string &text, const char *section)
{
    EndWithLineEnd(text);
    text += '[';
    text += section;
    text += "]\r\n";
}

void CutSection(std::string &text, size_t pos)
{
    size_t end = NextLine(text, pos);
    while (end < text.size() && text[end] != '[' && text[end] != '\0')
        end = NextLine(text, end);
    text.erase(pos, end - pos);
}

void AppendSectionWithLines(std::string &text, const char *section, const std::vector<std::string> &lines)
{
    AppendSectionHeader(text, section);
    for (const std::string &line : lines) {
        text += line;
        text += "\r\n";
    }
}

std::vector<std::string> SectionLines(const std::string &text, size_t pos)
{
    std::vector<std::string> lines;
    size_t start = NextLine(text, pos);
    while (start < text.size() && text[start] != '[' && text[start] != '\0') {
        size_t end = start;
        while (end < text.size() && text[end] != '\r' && text[end] != '\n')
            ++end;
        lines.push_back(text.substr(start, end - start));
        start = NextLine(text, start);
    }
    return lines;
}

std::vector<SectionHeaderSpan> ListSectionSpans(const std::string &text)
{
    std::vector<SectionHeaderSpan> spans;
    const char *data = text.data();
    const size_t size = text.size();
    for (size_t line = 0; line < size; line = NextLine(text, line)) {
        if (data[line] != '[')
            continue;
        size_t nameEnd = line + 1;
        while (nameEnd < size && data[nameEnd] != ']' && data[nameEnd] != '\r' && data[nameEnd] != '\n')
            ++nameEnd;
        if (!spans.empty())
            spans.back().end = line;
        SectionHeaderSpan span;
        span.named = nameEnd < size && data[nameEnd] == ']';
        if (span.named)
            span.name.assign(data + line + 1, nameEnd - line - 1);
        span.start = line;
        span.end = size;
        spans.push_back(std::move(span));
    }
    return spans;
}

} // namespace Ostravo
