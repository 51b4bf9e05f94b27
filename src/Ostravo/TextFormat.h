#pragma once
// printf-style formatting into a std::string of whatever length the text needs.
#include <string>

// The text printf would print; an encoding error gives the empty text.
std::string FormatText(const char *format, ...) __attribute__((format(printf, 1, 2)));
