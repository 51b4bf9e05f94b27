#pragma once
// The program's strings hold UTF-8 (the encoding of Linux file names), but values made on the
// instrument's Windows computers may hold Windows-1252 bytes. These helpers measure and cut such
// byte strings without ever splitting a UTF-8 sequence; a byte that is not part of a valid UTF-8
// sequence counts as one character of its own.
#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// Length of the well-formed UTF-8 sequence that starts at text[pos] (1 to 4), or 0 when the bytes
// there are not one (a stray continuation byte, a truncated, overlong or surrogate sequence, a code
// point above U+10FFFF). pos at or past the end gives 0.
size_t Utf8SequenceLength(std::string_view text, size_t pos);

// True when every byte of text belongs to a well-formed UTF-8 sequence.
bool IsValidUtf8(std::string_view text);

// The largest length not above maxBytes at which text can be cut without splitting a UTF-8
// sequence: the bytes of the text itself when it fits.
size_t Utf8CutPoint(std::string_view text, size_t maxBytes);

// text cut to at most maxBytes bytes at a character boundary.
std::string TruncateUtf8(std::string_view text, size_t maxBytes);

} // namespace platform
