#include "script/Variable.h"

#include "Ostravo/TextFormat.h"
#include "script/ParseHelpers.h"

#include <cctype>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

using namespace script_parse;

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

char AsciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

size_t NameLength(const char *p)
{
    size_t n = 0;
    if (!IsNameStart(p[0]))
        return 0;
    while (IsNameChar(p[n]))
        ++n;
    return n;
}

// Characters a numeric operand of an assignment occupies.
size_t DoubleRunLength(const char *p)
{
    size_t n = 0;
    while ((p[n] >= '0' && p[n] <= '9') || p[n] == '.' || p[n] == 'E' || p[n] == 'e' || p[n] == '+' ||
           p[n] == '-')
        ++n;
    return n;
}

size_t IntRunLength(const char *p)
{
    size_t n = 0;
    if (p[0] == '+' || p[0] == '-')
        ++n;
    while (p[n] >= '0' && p[n] <= '9')
        ++n;
    return n;
}

// Wrapping 32-bit arithmetic, computed unsigned so that overflow is defined.
int32_t Wrap(uint32_t value)
{
    return static_cast<int32_t>(value);
}

} // namespace

bool IsNameStart(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

bool IsNameChar(char c)
{
    return IsNameStart(c) || (c >= '0' && c <= '9');
}

bool ScanLong32(const char *text, int32_t &value)
{
    const char *p = text;
    while (std::isspace(static_cast<unsigned char>(*p)))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    if (!(*p >= '0' && *p <= '9'))
        return false;
    // Accumulate with a ceiling so that long digit runs cannot overflow; past the 32-bit range the
    // literal saturates.
    int64_t magnitude = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        if (magnitude <= int64_t{1} << 32)
            magnitude = magnitude * 10 + (*p - '0');
    }
    const int64_t signedValue = negative ? -magnitude : magnitude;
    if (signedValue > INT32_MAX)
        value = INT32_MAX;
    else if (signedValue < INT32_MIN)
        value = INT32_MIN;
    else
        value = static_cast<int32_t>(signedValue);
    return true;
}

bool ScanDouble(const char *text, double &value)
{
    char *end = nullptr;
    const double parsed = std::strtod(text, &end);
    if (end == text)
        return false;
    value = parsed;
    return true;
}

int32_t DoubleToInt32(double value)
{
    if (std::isnan(value))
        return 0;
    if (value <= static_cast<double>(INT32_MIN))
        return INT32_MIN;
    if (value >= static_cast<double>(INT32_MAX))
        return INT32_MAX;
    return static_cast<int32_t>(value);
}

bool Variable::Assign(const char *operand, VariableList &variables, EString &error, int *consumed)
{
    if (consumed)
        *consumed = 0;
    const char *p = operand;
    if (type == kVariableDouble || type == kVariableInt) {
        if (IsNameStart(*p)) {
            const size_t length = NameLength(p);
            const std::string source(p, length);
            size_t index = 0;
            if (!FindVariable(variables, p, length, index)) {
                SetError(error, FormatText("Invalid assignment string \"%s\" has not been declared",
                                           source.c_str()));
                return false;
            }
            const Variable &from = variables[index];
            if (from.type == kVariableString || from.type == kVariableNoType) {
                SetError(error, FormatText(type == kVariableDouble
                                               ? "Invalid assignment string \"%s\" is not type double or int"
                                               : "Invalid assignment string \"%s\" is not type int or double",
                                           source.c_str()));
                return false;
            }
            if (type == kVariableDouble)
                number = from.type == kVariableDouble ? from.number : static_cast<double>(from.integer);
            else
                integer = from.type == kVariableInt ? from.integer : DoubleToInt32(from.number);
            if (consumed)
                *consumed = static_cast<int>(length);
            return true;
        }
        bool ok = false;
        if (type == kVariableDouble)
            ok = ScanDouble(p, number);
        else
            ok = ScanLong32(p, integer);
        if (!ok) {
            SetError(error, FormatText("Invalid assignment string \"%s\" for variable %s", p, name.c_str()));
            return false;
        }
        if (consumed)
            *consumed = static_cast<int>(type == kVariableDouble ? DoubleRunLength(p) : IntRunLength(p));
        return true;
    }
    if (type == kVariableString) {
        if (IsNameStart(*p)) {
            const size_t length = NameLength(p);
            const std::string source(p, length);
            size_t index = 0;
            if (!FindVariable(variables, p, length, index)) {
                SetError(error, FormatText("Invalid assignment string \"%s\" has not been declared",
                                           source.c_str()));
                return false;
            }
            const Variable &from = variables[index];
            if (from.type == kVariableString) {
                const EString copy(from.text);
                text = copy;
            } else if (from.type == kVariableInt) {
                text = EString(from.integer);
            } else if (from.type == kVariableDouble) {
                char buffer[32];
                text.Assign(FormatDouble(from.number, buffer));
            } else {
                SetError(error, FormatText("Variable %s has undefined type", from.name.c_str()));
                return false;
            }
            if (consumed)
                *consumed = static_cast<int>(length);
            return true;
        }
        if (*p == '"') {
            // The closing quote must stand within the 1000 characters behind the opening one.
            size_t n = 1;
            while (p[n] != '\0' && p[n] != '"' && n <= 1000)
                ++n;
            if (p[n] != '"' || n > 1000) {
                SetError(error,
                         FormatText("Invalid assignment end quote not found after 1000 characters while "
                                    "assigning variable %s",
                                    name.c_str()));
                return false;
            }
            const std::string value(p + 1, n - 1);
            text.Assign(value.c_str());
            if (consumed)
                *consumed = static_cast<int>(n + 1);
            return true;
        }
        // Anything else assigns nothing and consumes nothing; the caller's terminator test decides.
        return true;
    }
    SetError(error, FormatText("Variable %s has undefined type", name.c_str()));
    return false;
}

bool ParseTypeKeyword(std::string &statement, int &type)
{
    static const struct
    {
        const char *word;
        int type;
    } kKeywords[] = {{"double", kVariableDouble}, {"int", kVariableInt}, {"STRING", kVariableString}};
    size_t p = 0;
    while (p < statement.size() && IsBlank(statement[p]))
        ++p;
    for (const auto &keyword : kKeywords) {
        const size_t n = std::strlen(keyword.word);
        if (statement.compare(p, n, keyword.word) != 0)
            continue;
        // Only a blank or a tab behind the keyword makes a declaration; the bare keyword does not.
        if (p + n >= statement.size() || !IsBlank(statement[p + n]))
            return false;
        statement.erase(0, p + n);
        type = keyword.type;
        return true;
    }
    return false;
}

bool SkipQuotedInitializer(const std::string &text, size_t &position, EString &error)
{
    size_t p = position;
    while (p < text.size() && IsBlank(text[p]))
        ++p;
    if (p < text.size() && text[p] == '"') {
        const size_t close = text.find('"', p + 1);
        if (close == std::string::npos) {
            SetError(error, FormatText("Missing end quote: %s", text.c_str()));
            return false;
        }
        p = close + 1;
        while (p < text.size() && IsBlank(text[p]))
            ++p;
        if (p >= text.size() || (text[p] != ',' && text[p] != ';')) {
            SetError(error, "Missing , or ; after variable assignment");
            return false;
        }
        position = p;
        return true;
    }
    const size_t end = text.find_first_of(",;", p);
    if (end == std::string::npos) {
        SetError(error, "Missing , or ; after variable assignment");
        return false;
    }
    position = end;
    return true;
}

bool ExecuteDeclaration(std::string &statement, int type, VariableList &variables, int level, EString &error)
{
    const std::string text = statement;
    const char *s = text.c_str();
    size_t p = 0;
    for (;;) {
        while (IsBlank(s[p]))
            ++p;
        if (!IsNameStart(s[p])) {
            SetError(error, FormatText("Invalid variable name: %s", s + p));
            return false;
        }
        const size_t length = NameLength(s + p);
        Variable record;
        record.type = type;
        record.level = level;
        record.name.Assign(std::string(s + p, length).c_str());
        p += length;
        if (IsBlank(s[p]))
            ++p; // only one
        const char c = s[p];
        if (c == ';' || c == ',') {
            if (!AddVariable(variables, record, error))
                return false;
            ++p;
            if (c == ';') {
                statement = text.substr(p);
                return true;
            }
            continue;
        }
        if (c != '=')
            continue; // read again from this character; the name just read is not declared
        const size_t valueStart = p + 1;
        p = valueStart;
        while (IsBlank(s[p]))
            ++p;
        int consumed = 0;
        if (!record.Assign(s + p, variables, error, &consumed))
            return false;
        p += static_cast<size_t>(consumed);
        while (IsBlank(s[p]))
            ++p;
        if (s[p] != ';' && s[p] != ',') {
            SetError(error, "Expected ';' after variable assignment.");
            return false;
        }
        if (!AddVariable(variables, record, error))
            return false;
        size_t end = valueStart;
        if (!SkipQuotedInitializer(text, end, error))
            return false;
        p = end + 1;
        if (text[end] == ';') {
            statement = text.substr(p);
            return true;
        }
    }
}

bool IsAssignmentStatement(std::string &statement, const VariableList &variables, size_t &index)
{
    size_t p = 0;
    while (p < statement.size() && IsBlank(statement[p]))
        ++p;
    const size_t length = NameLength(statement.c_str() + p);
    if (length == 0)
        return false;
    if (!FindVariable(variables, statement.c_str() + p, length, index))
        return false;
    statement.erase(0, p + length);
    return true;
}

bool ExecuteAssignment(const char *rest, size_t index, VariableList &variables, EString &error,
                       bool allowCompound, bool tolerateZeroDivisor)
{
    const char *p = rest;
    SkipBlanks(p);
    if (*p == '=') {
        ++p;
        SkipBlanks(p);
        int consumed = 0;
        if (!variables[index].Assign(p, variables, error, &consumed))
            return false;
        p += consumed;
        SkipBlanks(p);
        if (*p != ';') {
            SetError(error, "Expected ';' after variable assignment.");
            return false;
        }
        return true;
    }
    if (allowCompound && (*p == '*' || *p == '/' || *p == '+' || *p == '-') && p[1] == '=') {
        const char op = *p;
        p += 2;
        SkipBlanks(p);
        Variable operand;
        operand.type = variables[index].type;
        operand.name = variables[index].name;
        if (!operand.Assign(p, variables, error))
            return false;
        return ApplyMathOperator(variables[index], operand, op, error, tolerateZeroDivisor);
    }
    SetError(error, "Expected '=' following variable name.");
    return false;
}

bool ApplyMathOperator(Variable &target, const Variable &operand, char op, EString &error,
                       bool tolerateZeroDivisor)
{
    if (target.type == kVariableString) {
        if (op != '+') {
            SetError(error, "Invalid math operator, must be +");
            return false;
        }
        const EString copy(operand.text);
        target.text.Append(copy.c_str());
        return true;
    }
    if (target.type != kVariableDouble && target.type != kVariableInt) {
        SetError(error, FormatText("Variable %s has undefined type", target.name.c_str()));
        return false;
    }
    if (op != '*' && op != '/' && op != '+' && op != '-') {
        SetError(error, "Invalid math operator, must be * / + -");
        return false;
    }
    if (target.type == kVariableDouble) {
        const double b = operand.number;
        switch (op) {
        case '*':
            target.number *= b;
            break;
        case '+':
            target.number += b;
            break;
        case '-':
            target.number -= b;
            break;
        default:
            if (b == 0.0) {
                if (!tolerateZeroDivisor) {
                    SetError(error, "Attempt to divide by zero.");
                    return false;
                }
                break; // divided by 1
            }
            target.number /= b;
        }
        return true;
    }
    const uint32_t a = static_cast<uint32_t>(target.integer);
    const uint32_t b = static_cast<uint32_t>(operand.integer);
    switch (op) {
    case '*':
        target.integer = Wrap(a * b);
        break;
    case '+':
        target.integer = Wrap(a + b);
        break;
    case '-':
        target.integer = Wrap(a - b);
        break;
    default:
        if (operand.integer == 0) {
            if (!tolerateZeroDivisor) {
                SetError(error, "Attempt to divide by zero.");
                return false;
            }
            break;
        }
        // The one quotient that does not fit wraps like the other operators.
        if (target.integer == INT32_MIN && operand.integer == -1)
            target.integer = INT32_MIN;
        else
            target.integer /= operand.integer;
    }
    return true;
}

bool AddVariable(VariableList &variables, const Variable &record, EString &error)
{
    size_t index = 0;
    if (FindVariable(variables, record.name.c_str(), index)) {
        SetError(error, FormatText("Variable %s has already been defined.", record.name.c_str()));
        return false;
    }
    variables.push_back(record);
    return true;
}

bool FindVariable(const VariableList &variables, const char *name, size_t length, size_t &index)
{
    for (size_t i = 0; i < variables.size(); ++i) {
        const char *candidate = variables[i].name.c_str();
        size_t k = 0;
        while (k < length && candidate[k] != '\0' && AsciiLower(candidate[k]) == AsciiLower(name[k]))
            ++k;
        if (k == length && candidate[k] == '\0') {
            index = i;
            return true;
        }
    }
    return false;
}

bool FindVariable(const VariableList &variables, const char *name, size_t &index)
{
    return FindVariable(variables, name, std::strlen(name), index);
}

void DropBlockVariables(VariableList &variables, int level)
{
    std::erase_if(variables, [level](const Variable &v) { return v.level == level; });
}
