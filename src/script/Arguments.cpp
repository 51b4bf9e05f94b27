#include "script/Arguments.h"

#include "Ostravo/TextFormat.h"
#include "script/ParseHelpers.h"

#include <string>

namespace {

using namespace script_parse;

// The ',' or ')' behind a number or a variable name.
bool ReadTrailer(int parameter, const char *&cursor, EString &error, const char *format)
{
    SkipBlanks(cursor);
    if (*cursor == ')')
        return true;
    if (*cursor == ',') {
        ++cursor;
        SkipBlanks(cursor);
        return true;
    }
    SetError(error, FormatText(format, static_cast<long>(parameter)));
    return false;
}

constexpr const char *kNumberTrailer = "Expected ',' or ')' after parameter %ld";

struct NumericNames
{
    const char *missing;
    const char *undefined;
    const char *wrongType;
    const char *invalid;
};

// Looks up the variable named at cursor; false with the message when it is missing or a STRING.
Variable *ReadNumericVariable(int parameter, const char *&cursor, EString &error, VariableList &variables,
                              const NumericNames &names)
{
    const char *start = cursor;
    while (IsNameChar(*cursor))
        ++cursor;
    const std::string name(start, static_cast<size_t>(cursor - start));
    size_t index = 0;
    if (!FindVariable(variables, name.c_str(), index)) {
        SetError(error, FormatText(names.undefined, name.c_str(), static_cast<long>(parameter)));
        return nullptr;
    }
    Variable &v = variables[index];
    if (v.type != kVariableInt && v.type != kVariableDouble) {
        SetError(error, FormatText(names.wrongType, v.name.c_str(), static_cast<long>(parameter)));
        return nullptr;
    }
    return &v;
}

} // namespace

bool ParseEmptyParameterList(const char *&cursor, EString &error)
{
    SkipBlanks(cursor);
    if (*cursor != '(') {
        SetError(error, "Missing '('");
        return false;
    }
    ++cursor;
    SkipBlanks(cursor);
    if (*cursor != ')') {
        SetError(error, "missing )");
        return false;
    }
    ++cursor;
    SkipBlanks(cursor);
    if (*cursor != ';') {
        SetError(error, "missing ; after )");
        return false;
    }
    return true;
}

bool ReadArgumentListStart(const char *&cursor, EString &error)
{
    SkipBlanks(cursor);
    if (*cursor != '(') {
        SetError(error, "Missing '('");
        return false;
    }
    ++cursor;
    SkipBlanks(cursor);
    if (*cursor == '\0') {
        SetError(error, "missing );");
        return false;
    }
    return true;
}

namespace {

// The shared reading of an int or double parameter: a variable (converted to the wanted type) or
// a literal, then its ',' or ')'. literalChar says which characters belong to the literal.
template <class T, class FromVariable, class ScanLiteral, class LiteralChar>
bool GetNumericParameter(int parameter, const char *&cursor, T &value, EString &error,
                         VariableList *variables, Variable **result, const NumericNames &names,
                         FromVariable fromVariable, ScanLiteral scanLiteral, LiteralChar literalChar)
{
    SkipBlanks(cursor);
    if (*cursor == '\0') {
        SetError(error, FormatText(names.missing, static_cast<long>(parameter)));
        return false;
    }
    if (result)
        *result = nullptr;
    if (variables && IsNameStart(*cursor)) {
        const char *p = cursor;
        Variable *v = ReadNumericVariable(parameter, p, error, *variables, names);
        if (!v)
            return false;
        const T taken = fromVariable(*v);
        if (!ReadTrailer(parameter, p, error, kNumberTrailer))
            return false;
        value = taken;
        if (result)
            *result = v;
        cursor = p;
        return true;
    }
    T parsed{};
    if (!scanLiteral(cursor, parsed)) {
        SetError(error, FormatText(names.invalid, static_cast<long>(parameter)));
        return false;
    }
    const char *p = cursor;
    while (literalChar(*p))
        ++p;
    if (!ReadTrailer(parameter, p, error, kNumberTrailer))
        return false;
    value = parsed;
    cursor = p;
    return true;
}

} // namespace

bool GetIntParameter(int parameter, const char *&cursor, int32_t &value, EString &error,
                     VariableList *variables, Variable **result)
{
    static const NumericNames names{
        "Missing int parameter %ld", "Variable \"%s\" is not defined, expecting int parameter %ld",
        "Variable %s is not type int, parameter %ld expected int", "Invalid int parameter %ld"};
    return GetNumericParameter<int32_t>(
        parameter, cursor, value, error, variables, result, names,
        [](const Variable &v) { return v.type == kVariableInt ? v.integer : DoubleToInt32(v.number); },
        [](const char *text, int32_t &parsed) { return ScanLong32(text, parsed); },
        [](char c) { return (c >= '0' && c <= '9') || c == '+' || c == '-'; });
}

bool GetDoubleParameter(int parameter, const char *&cursor, double &value, EString &error,
                        VariableList *variables, Variable **result)
{
    static const NumericNames names{
        "Missing double parameter %ld", "Variable \"%s\" is not defined, expecting double parameter %ld",
        "Variable %s is not type double, parameter %ld expected double", "Invalid double parameter %ld"};
    // Only an upper-case exponent belongs to the literal: "1e3" stops at the "e".
    return GetNumericParameter<double>(
        parameter, cursor, value, error, variables, result, names,
        [](const Variable &v) {
            return v.type == kVariableDouble ? v.number : static_cast<double>(v.integer);
        },
        [](const char *text, double &parsed) { return ScanDouble(text, parsed); },
        [](char c) { return (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.' || c == 'E'; });
}

bool GetStringParameter(int parameter, const char *&cursor, EString &value, EString &error,
                        VariableList *variables, Variable **result)
{
    SkipBlanks(cursor);
    if (*cursor == '\0') {
        SetError(error, FormatText("Missing STRING parameter %ld", static_cast<long>(parameter)));
        return false;
    }
    if (result)
        *result = nullptr;
    if (variables && IsNameStart(*cursor)) {
        const char *p = cursor;
        while (IsNameChar(*p))
            ++p;
        const std::string name(cursor, static_cast<size_t>(p - cursor));
        size_t index = 0;
        if (!FindVariable(*variables, name.c_str(), index)) {
            SetError(error, FormatText("Variable \"%s\" is not defined, expecting STRING parameter %ld",
                                       name.c_str(), static_cast<long>(parameter)));
            return false;
        }
        Variable &v = (*variables)[index];
        if (v.type != kVariableString) {
            SetError(error, FormatText("Variable %s is not type STRING, parameter %ld expected STRING",
                                       v.name.c_str(), static_cast<long>(parameter)));
            return false;
        }
        if (!ReadTrailer(parameter, p, error, kNumberTrailer))
            return false;
        value = v.text;
        if (result)
            *result = &v;
        cursor = p;
        return true;
    }
    if (*cursor != '"') {
        SetError(error,
                 FormatText("Missing leading \" for string parameter %ld", static_cast<long>(parameter)));
        return false;
    }
    const char *p = cursor + 1;
    std::string text;
    for (;;) {
        if (*p == '"')
            break;
        if (*p == '\0') {
            SetError(error, FormatText("Missing trailing \" for string parameter %ld",
                                       static_cast<long>(parameter)));
            return false;
        }
        text.push_back(*p++);
        if (text.size() >= 1024) {
            SetError(error,
                     FormatText("String parameter is too large, must be less than %ld characters", 1024L));
            return false;
        }
    }
    ++p;
    SkipBlanks(p);
    if (*p == ',') {
        ++p;
        SkipBlanks(p);
    } else if (*p != ')') {
        SetError(error,
                 FormatText("Expected , or ) after string parameter %ld", static_cast<long>(parameter)));
        return false;
    }
    value.Assign(text.c_str());
    cursor = p;
    return true;
}

bool CheckResultVariable(const char *command, int parameter, const Variable *result, EString &error)
{
    if (result)
        return true;
    SetError(error, FormatText("%s() - parameter %ld must be a variable to receive the result.", command,
                               static_cast<long>(parameter)));
    return false;
}

ArgumentReader::ArgumentReader(const char *arguments, VariableList &variables, EString &error,
                               int firstNumber)
    : m_cursor(arguments), m_variables(variables), m_error(error), m_number(firstNumber)
{
}

bool ArgumentReader::Start()
{
    return ReadArgumentListStart(m_cursor, m_error);
}

bool ArgumentReader::Empty()
{
    return ParseEmptyParameterList(m_cursor, m_error);
}

template <class T, class Reader>
bool ArgumentReader::Read(Reader reader, T &value, Variable **variable, EString &error)
{
    if (!reader(m_number, m_cursor, value, error, &m_variables, variable))
        return false;
    ++m_number;
    return true;
}

bool ArgumentReader::Int(int32_t &value)
{
    return Read(GetIntParameter, value, nullptr, m_error);
}

bool ArgumentReader::Int(int32_t &value, Variable *&variable)
{
    return Read(GetIntParameter, value, &variable, m_error);
}

bool ArgumentReader::Double(double &value)
{
    return Read(GetDoubleParameter, value, nullptr, m_error);
}

bool ArgumentReader::Double(double &value, Variable *&variable)
{
    return Read(GetDoubleParameter, value, &variable, m_error);
}

bool ArgumentReader::Text(EString &value)
{
    return Read(GetStringParameter, value, nullptr, m_error);
}

bool ArgumentReader::Text(EString &value, Variable *&variable)
{
    return Read(GetStringParameter, value, &variable, m_error);
}

bool ArgumentReader::IntResult(Variable *&variable)
{
    int32_t unused = 0;
    return Int(unused, variable);
}

bool ArgumentReader::DoubleResult(Variable *&variable)
{
    double unused = 0.0;
    return Double(unused, variable);
}

bool ArgumentReader::TextResult(Variable *&variable)
{
    EString unused;
    return Text(unused, variable);
}

bool ArgumentReader::OptionalInt(int32_t &value)
{
    EString ignored;
    return Read(GetIntParameter, value, nullptr, ignored);
}

bool ArgumentReader::OptionalText(EString &value)
{
    EString ignored;
    return Read(GetStringParameter, value, nullptr, ignored);
}

bool ArgumentReader::OptionalIntResult(Variable *&variable)
{
    int32_t unused = 0;
    EString ignored;
    if (Read(GetIntParameter, unused, &variable, ignored))
        return true;
    variable = nullptr;
    return false;
}

bool ArgumentReader::OptionalTextResult(Variable *&variable)
{
    EString unused;
    EString ignored;
    if (Read(GetStringParameter, unused, &variable, ignored))
        return true;
    variable = nullptr;
    return false;
}
