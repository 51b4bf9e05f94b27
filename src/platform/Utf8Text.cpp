#include "platform/Utf8Text.h"

namespace platform {

size_t Utf8SequenceLength(std::string_view text, size_t pos)
{
    if (pos >= text.size())
        return 0;
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[pos + i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80)
        return 1;
    size_t length = 0;
    // The second byte's range rules out overlong forms, surrogates and code points over U+10FFFF.
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (pos + length > text.size())
        return 0;
    if (byte(1) < low || byte(1) > high)
        return 0;
    for (size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF)
            return 0;
    }
    return length;
}

bool IsValidUtf8(std::string_view text)
{
    for (size_t pos = 0; pos < text.size();) {
        const size_t length = Utf8SequenceLength(text, pos);
        if (length == 0)
            return false;
        pos += length;
    }
    return true;
}

size_t Utf8CutPoint(std::string_view text, size_t maxBytes)
{
    if (text.size() <= maxBytes)
        return text.size();
    size_t pos = 0;
    while (pos < maxBytes) {
        const size_t length = Utf8SequenceLength(text, pos);
        const size_t step = length == 0 ? 1 : length;
        if (pos + step > maxBytes)
            break;
        pos += step;
    }
    return pos;
}

std::string TruncateUtf8(std::string_view text, size_t maxBytes)
{
    return std::string(text.substr(0, Utf8CutPoint(text, maxBytes)));
}

} // namespace platform
