#include "Ostravo/CachedLog.h"
#include "Ostravo/LogError.h"
#include "Ostravo/TextFormat.h"
#include "script/ParseHelpers.h"
#include "script/Script.h"

#include <cstring>

namespace {

using namespace script_parse;

// Blanks and tabs, then the end of the text or a "//" comment.
bool RestIsEmpty(const char *p)
{
    SkipBlanks(p);
    return *p == '\0' || (p[0] == '/' && p[1] == '/');
}

bool IsBrace(const char *line, char brace)
{
    SkipBlanks(line);
    if (*line != brace)
        return false;
    return RestIsEmpty(line + 1);
}

bool IsWordStatement(const char *line, const char *word)
{
    SkipBlanks(line);
    const size_t n = std::strlen(word);
    if (std::strncmp(line, word, n) != 0)
        return false;
    const char *p = line + n;
    SkipBlanks(p);
    if (*p != ';')
        return false;
    return RestIsEmpty(p + 1);
}

bool ParseDoubleConditionOperand(const char *&position, VariableList &variables, double &value)
{
    const char *p = position;
    SkipBlanks(p);
    if (IsNameStart(*p)) {
        const char *start = p;
        while (IsNameChar(*p))
            ++p;
        size_t index = 0;
        if (!FindVariable(variables, start, static_cast<size_t>(p - start), index))
            return false;
        const Variable &v = variables[index];
        if (v.type == kVariableDouble)
            value = v.number;
        else if (v.type == kVariableInt)
            value = static_cast<double>(v.integer);
        else
            return false;
        position = p;
        return true;
    }
    const char *start = p;
    while ((*p >= '0' && *p <= '9') || *p == '+' || *p == '-' || *p == '.' || *p == 'E' || *p == 'e')
        ++p;
    if (p == start)
        return false;
    // The whole run is consumed; only what converts from its beginning counts ("1-2" is 1).
    const std::string run(start, static_cast<size_t>(p - start));
    if (!ScanDouble(run.c_str(), value))
        return false;
    position = p;
    return true;
}

bool ParseStringConditionOperand(const char *&position, VariableList &variables, std::string &value)
{
    const char *p = position;
    SkipBlanks(p);
    if (IsNameStart(*p)) {
        const char *start = p;
        while (IsNameChar(*p))
            ++p;
        size_t index = 0;
        if (!FindVariable(variables, start, static_cast<size_t>(p - start), index))
            return false;
        if (variables[index].type != kVariableString)
            return false;
        value = variables[index].text.c_str();
        position = p;
        return true;
    }
    if (*p != '"')
        return false;
    const char *close = std::strchr(p + 1, '"');
    if (!close)
        return false;
    value.assign(p + 1, static_cast<size_t>(close - p - 1));
    position = close + 1;
    return true;
}

enum class Op
{
    Eq,
    Le,
    Ge,
    Lt,
    Gt,
    Ne,
    Truth
};

template <typename T> bool Compare(Op op, const T &a, const T &b)
{
    switch (op) {
    case Op::Eq:
        return a == b;
    case Op::Le:
        return a <= b;
    case Op::Ge:
        return a >= b;
    case Op::Lt:
        return a < b;
    case Op::Gt:
        return a > b;
    case Op::Ne:
        return a != b;
    case Op::Truth:
        break;
    }
    return false;
}

// Index of the "}" closing the block whose "{" is at open, or -1.
long FindBlockEnd(const std::vector<std::string> &lines, size_t open)
{
    int count = 1;
    for (size_t i = open + 1; i < lines.size(); ++i) {
        const std::string t = TrimmedLine(lines[i]);
        if (IsBlockBegin(t.c_str()))
            ++count;
        else if (IsBlockEnd(t.c_str()) && --count == 0)
            return static_cast<long>(i);
    }
    return -1;
}

// The innermost while block, or -1.
long InnermostWhile(const std::vector<CodeBlock> &blocks)
{
    for (size_t i = blocks.size(); i-- > 0;) {
        if (blocks[i].kind == 1)
            return static_cast<long>(i);
    }
    return -1;
}

// Leaves every block from the top down to entry k, its own included, with their variables.
void LeaveBlocksDownTo(std::vector<CodeBlock> &blocks, VariableList &variables, size_t k)
{
    for (size_t level = blocks.size(); level > k; --level)
        DropBlockVariables(variables, static_cast<int>(level));
    blocks.resize(k);
}

} // namespace

bool IsBlockBegin(const char *line)
{
    return IsBrace(line, '{');
}

bool IsBlockEnd(const char *line)
{
    return IsBrace(line, '}');
}

bool IsReturnStatement(const char *line)
{
    return IsWordStatement(line, "return");
}

bool IsContinueStatement(const char *line)
{
    return IsWordStatement(line, "continue");
}

bool IsBreakStatement(const char *line)
{
    return IsWordStatement(line, "break");
}

bool EvaluateCondition(const char *text, VariableList &variables, bool &value, int &kind)
{
    kind = -1;
    const char *p = text;
    SkipBlanks(p);
    if (std::strncmp(p, "if", 2) == 0) {
        kind = 0;
        p += 2;
    } else if (std::strncmp(p, "while", 5) == 0) {
        kind = 1;
        p += 5;
    } else {
        return false;
    }
    SkipBlanks(p);
    if (*p != '(')
        return false;
    ++p;

    double numbers[2] = {0.0, 0.0};
    std::string texts[2];
    bool numeric = true;
    if (!ParseDoubleConditionOperand(p, variables, numbers[0])) {
        numeric = false;
        if (!ParseStringConditionOperand(p, variables, texts[0]))
            return false;
    }
    SkipBlanks(p);
    Op op = Op::Truth;
    if (*p != ')') {
        static const struct
        {
            const char *text;
            Op op;
        } kOps[] = {{"==", Op::Eq}, {"<=", Op::Le}, {">=", Op::Ge},
                    {"<", Op::Lt},  {">", Op::Gt},  {"!=", Op::Ne}};
        bool found = false;
        for (const auto &candidate : kOps) {
            const size_t n = std::strlen(candidate.text);
            if (std::strncmp(p, candidate.text, n) == 0) {
                op = candidate.op;
                p += n;
                found = true;
                break;
            }
        }
        if (!found)
            return false;
        SkipBlanks(p);
        if (numeric ? !ParseDoubleConditionOperand(p, variables, numbers[1])
                    : !ParseStringConditionOperand(p, variables, texts[1]))
            return false;
    }
    SkipBlanks(p);
    if (*p != ')' || !RestIsEmpty(p + 1))
        return false;

    if (op == Op::Truth)
        value = numeric ? numbers[0] != 0.0 : !texts[0].empty();
    else if (numeric)
        value = Compare(op, numbers[0], numbers[1]);
    else
        value = Compare(op, texts[0], texts[1]); // byte order; a proper beginning orders first
    return true;
}

bool ExecuteCodeUnit(CodeUnit &unit, Script &instance, VariableList &variables, EString &error,
                     const char *scriptName)
{
    const std::vector<std::string> &lines = unit.m_lines;
    std::vector<CodeBlock> &blocks = unit.m_blocks;
    blocks.clear();
    bool pending = false;
    int pendingKind = -1;
    // Calls of the main body carry the script's name in the script log, those of a function its
    // include file.
    const char *logName = !unit.m_file.empty() ? unit.m_file.c_str() : (scriptName ? scriptName : "");

    size_t index = 0;
    while (index < lines.size()) {
        if (!instance.m_running.load()) {
            blocks.clear();
            return true;
        }
        if (instance.m_before_line) {
            instance.m_before_line(instance, unit, index, variables);
            if (!instance.m_running.load()) {
                blocks.clear();
                return true;
            }
        }
        const std::string line = TrimmedLine(lines[index]);
        const int depth = static_cast<int>(blocks.size());

        if (pending) {
            if (!IsBlockBegin(line.c_str()))
                return SetError(error, "Internal scripting error #10");
            blocks.push_back({static_cast<int>(index), pendingKind});
            pending = false;
            ++index;
            continue;
        }
        if (IsBlockEnd(line.c_str())) {
            if (depth == 0)
                return SetError(error, "Internal scripting error #11");
            DropBlockVariables(variables, depth);
            const CodeBlock popped = blocks.back();
            blocks.pop_back();
            if (popped.kind == 1 && popped.line > 0)
                index = static_cast<size_t>(popped.line - 1); // the while statement, evaluated again
            else
                ++index;
            continue;
        }
        if (IsReturnStatement(line.c_str())) {
            blocks.clear();
            return true;
        }
        const bool isContinue = IsContinueStatement(line.c_str());
        if (isContinue || IsBreakStatement(line.c_str())) {
            const long k = InnermostWhile(blocks);
            if (k < 0)
                return SetError(error, isContinue ? "internal scripting error #16"
                                                  : "internal scripting error #16a");
            const CodeBlock loop = blocks[static_cast<size_t>(k)];
            LeaveBlocksDownTo(blocks, variables, static_cast<size_t>(k));
            if (isContinue) {
                index = static_cast<size_t>(loop.line > 0 ? loop.line - 1 : 0);
                continue;
            }
            const long close = FindBlockEnd(lines, static_cast<size_t>(loop.line));
            if (close < 0)
                return SetError(error, "Internal scripting error #15a");
            index = static_cast<size_t>(close) + 1;
            continue;
        }
        if (!line.empty() && line.back() != ';') {
            bool value = false;
            int kind = -1;
            if (!EvaluateCondition(line.c_str(), variables, value, kind)) {
                instance.m_running = false;
                return SetError(error, "Internal scripting error #22");
            }
            if (value) {
                pending = true;
                pendingKind = kind;
                ++index;
                continue;
            }
            if (index + 1 >= lines.size() || !IsBlockBegin(TrimmedLine(lines[index + 1]).c_str()))
                return SetError(error, "Internal scripting error #15");
            const long close = FindBlockEnd(lines, index + 1);
            if (close < 0)
                return SetError(error, "Internal scripting error #15");
            index = static_cast<size_t>(close) + 1;
            continue;
        }

        std::string statement = line;
        int type = 0;
        size_t target = 0;
        EString message;
        if (ParseTypeKeyword(statement, type)) {
            if (!ExecuteDeclaration(statement, type, variables, depth, message))
                return SetError(error, "Internal scripting error #3");
        } else if (IsAssignmentStatement(statement, variables, target)) {
            if (!ExecuteAssignment(statement.c_str(), target, variables, message, true, false))
                return SetError(error, "Internal scripting error #4");
        } else {
            std::string name;
            std::string arguments;
            if (!ParseFunctionCall(line, name, arguments))
                return SetError(error, "Internal scripting error #1");
            const int entry = FindCommandId(name.c_str());
            if (entry >= 0) {
                // The trimmed line: the tabs of an indented line would break the log's columns.
                AddScriptLogLine(logName, line.c_str());
                const int id = CommandTable()[static_cast<size_t>(entry)].id;
                if (!instance.CallBuiltInFunction(id, arguments.c_str(), variables, false, message))
                    return SetError(error, FormatText("%s : %s", line.c_str(), message.c_str()));
            } else {
                int function = -1;
                if (!instance.FindUserFunction(name.c_str(), function))
                    return SetError(error, "Internal scripting error #2.1");
                AddScriptLogLine(logName, line.c_str());
                if (!run_included_function(instance, function, arguments.c_str(), variables, message))
                    return SetError(error, FormatText("%s : %s", name.c_str(), message.c_str()));
            }
        }
        ++index;
    }
    if (!blocks.empty()) {
        LogError(__FILE__, __LINE__,
                 FormatText("Internal scripting error #12 at line: %ld file: %s", static_cast<long>(index),
                            scriptName ? scriptName : ""));
        blocks.clear();
    }
    return true;
}
