#pragma once
// Small helpers shared by the script parser and runner.
#include "Ostravo/EString.h"
#include "platform/ErrorText.h"

#include <string>

namespace script_parse {

inline void SkipBlanks(const char *&p)
{
    while (*p == ' ' || *p == '\t')
        ++p;
}

using platform::SetError;

} // namespace script_parse
