#pragma once
// Filling the error text a caller passes in. An operation that fails returns false and leaves one
// message in the text its caller gave: a std::string or an EString (any text type with
// Assign(const char *)), by reference or as an optional pointer. Every form returns false, so a
// failing routine can end with `return SetError(error, ...);`.
//
// The message names the routine first: SetError(error, "Routine", "what went wrong") writes
// "Routine() - what went wrong".
#include <concepts>
#include <string>

namespace platform {

template <typename Text>
concept AssignableText = requires(Text &text, const char *value)
{
    text.Assign(value);
};

inline bool SetError(std::string &error, const std::string &text)
{
    error = text;
    return false;
}

template <AssignableText Text> bool SetError(Text &error, const std::string &text)
{
    error.Assign(text.c_str());
    return false;
}

// A null error means the caller does not want the text.
template <typename Text> bool SetError(Text *error, const std::string &text)
{
    if (error != nullptr)
        SetError(*error, text);
    return false;
}

// "routine() - what".
template <typename Error> bool SetError(Error &&error, const char *routine, const std::string &what)
{
    return SetError(error, std::string(routine) + "() - " + what);
}

// "routine(line) : what", the form that names the source line as well.
template <typename Error> bool SetError(Error &&error, const char *routine, int line, const std::string &what)
{
    return SetError(error, std::string(routine) + "(" + std::to_string(line) + ") : " + what);
}

} // namespace platform
