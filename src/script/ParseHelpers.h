#pragma once
// Small helpers shared by the script parser and runner.
#include "Ostravo/EString.h"

#include <string>

namespace script_parse {

inline void SkipBlanks(const char *&p)
{
    while (*p == ' ' || *p == '\t')
        ++p;
}

inline void SetError(EString &error, const std::string &text)
{
    error.Assign(text.c_str());
}

} // namespace script_parse
