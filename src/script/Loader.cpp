#include "Ostravo/TextFormat.h"
#include "app/PlexorinApp.h"
#include "platform/Files.h"
#include "script/ParseHelpers.h"
#include "script/Script.h"

#include <algorithm>
#include <cstring>

namespace {

using namespace script_parse;

bool EndsWithSemicolon(const std::string &s)
{
    return !s.empty() && s.back() == ';';
}

bool EqualsIgnoringAsciiCase(const std::string &a, const std::string &b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

} // namespace

bool ReadScriptLine(FILE *file, std::string &line)
{
    line.clear();
    int c = 0;
    bool any = false;
    while ((c = std::getc(file)) != EOF) {
        any = true;
        if (c == '\n')
            break;
        line.push_back(static_cast<char>(c));
    }
    if (!any)
        return false;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    // The text ends at a NUL byte, as it would for the C string functions the lines pass through.
    const size_t nul = line.find('\0');
    if (nul != std::string::npos)
        line.resize(nul);
    return true;
}

bool HasTextAfterCarriageReturn(const std::string &line)
{
    const size_t cr = line.find('\r');
    return cr != std::string::npos && line.find_first_not_of(" \t\r", cr) != std::string::npos;
}

void StripComment(std::string &line)
{
    bool quoted = false;
    for (size_t i = 0; i + 1 < line.size(); ++i) {
        if (line[i] == '"')
            quoted = !quoted;
        else if (!quoted && line[i] == '/' && line[i + 1] == '/') {
            line.resize(i);
            return;
        }
    }
}

std::string TrimmedLine(const std::string &line)
{
    size_t end = line.find_first_of("\r\n");
    if (end == std::string::npos)
        end = line.size();
    size_t begin = 0;
    while (begin < end && (line[begin] == ' ' || line[begin] == '\t'))
        ++begin;
    while (end > begin && (line[end - 1] == ' ' || line[end - 1] == '\t'))
        --end;
    return line.substr(begin, end - begin);
}

std::string IncludesFolder(int handle)
{
    EString folder;
    if (handle == SCRIPT_HANDLE_CUSTOMER_UI)
        folder.JoinPath(theApp.m_customer_ui_directory.c_str(), "Includes");
    else
        folder.JoinPath(theApp.m_data_directory.c_str(), "Includes");
    return folder.c_str();
}

bool ParseFunctionCall(const std::string &line, std::string &name, std::string &arguments)
{
    size_t p = 0;
    while (p < line.size() && (line[p] == ' ' || line[p] == '\t'))
        ++p;
    if (p >= line.size() || !IsNameStart(line[p]))
        return false;
    const size_t start = p;
    while (p < line.size() && IsNameChar(line[p]))
        ++p;
    const size_t end = p;
    while (p < line.size() && (line[p] == ' ' || line[p] == '\t'))
        ++p;
    if (p >= line.size() || line[p] != '(')
        return false;
    name = line.substr(start, end - start);
    arguments = line.substr(p);
    return true;
}

bool ProcessIncludeStatement(Script &instance, const std::string &line, EString &error)
{
    size_t p = std::strlen("#include ");
    while (p < line.size() && (line[p] == ' ' || line[p] == '\t'))
        ++p;
    if (p >= line.size() || line[p] != '"') {
        SetError(error, "Expected \" after #include ");
        return false;
    }
    const size_t close = line.find('"', p + 1);
    if (close == std::string::npos) {
        SetError(error, "Did not find terminating \" after #include \"");
        return false;
    }
    const std::string fileName = line.substr(p + 1, close - p - 1);
    const std::string folder = IncludesFolder(instance.m_handle);
    EString joined;
    joined.JoinPath(folder.c_str(), fileName.c_str());
    std::string path = platform::NormalizePath(joined.c_str());
    if (fileName.empty() || !platform::FileExists(path)) {
        // Include names were written for a file system that ignores letter case.
        path = fileName.empty() ? std::string()
                                : platform::FindFileIgnoringCase(folder, platform::NormalizePath(fileName));
        if (path.empty() || !platform::FileExists(path)) {
            SetError(error, FormatText("Included file %s does not exist.", fileName.c_str()));
            return false;
        }
    }
    for (const std::string &done : instance.m_included_files) {
        if (EqualsIgnoringAsciiCase(done, fileName))
            return true;
    }
    if (!scan_included_file(instance, path.c_str(), error))
        return false;
    instance.m_included_files.push_back(fileName);
    return true;
}

bool LoadScript(CodeUnit &unit, Script &instance, FILE *file, const char *path, int32_t startLine,
                EString &error, bool functionBody)
{
    unit.m_lines.clear();
    unit.m_blocks.clear();
    VariableList variables;
    const long start = static_cast<long>(startLine);
    if (functionBody) {
        for (size_t i = 0; i < unit.m_param_names.size() && i < unit.m_param_types.size(); ++i) {
            Variable parameter;
            parameter.type = unit.m_param_types[i];
            parameter.name.Assign(unit.m_param_names[i].c_str());
            EString message;
            if (!AddVariable(variables, parameter, message)) {
                SetError(error, FormatText("%s at line %ld : %s", path, start, message.c_str()));
                return false;
            }
        }
    }

    int depth = 0;
    bool codeSeen = false;
    bool pending = false;
    int pendingKind = -1;
    long lineNumber = start;
    std::string raw;
    while (ReadScriptLine(file, raw)) {
        ++lineNumber;
        const bool tooLong = raw.size() > kMaxScriptLineLength;
        if (HasTextAfterCarriageReturn(raw)) {
            SetError(error, FormatText("%s at line %ld : text follows a carriage return; lines must end with "
                                       "CR LF or LF.",
                                       path, lineNumber));
            return false;
        }
        StripComment(raw);
        const std::string line = TrimmedLine(raw);
        if (line.empty())
            continue;
        if (tooLong) {
            SetError(error, FormatText("%s at line %ld : line is longer than %ld characters.", path,
                                       lineNumber, static_cast<long>(kMaxScriptLineLength)));
            return false;
        }
        if (line.compare(0, 9, "#include ") == 0) {
            if (codeSeen) {
                SetError(error, FormatText("%s at line %ld, include statements must precede any code.", path,
                                           lineNumber));
                return false;
            }
            EString message;
            if (!ProcessIncludeStatement(instance, line, message)) {
                SetError(error, FormatText("%s at line %ld : %s.", path, lineNumber, message.c_str()));
                return false;
            }
            continue;
        }
        codeSeen = true;
        if (pending) {
            if (!IsBlockBegin(line.c_str())) {
                SetError(error,
                         FormatText("%s at line %ld expected new code block beginning {", path, lineNumber));
                return false;
            }
            ++depth;
            unit.m_lines.push_back(raw);
            unit.m_blocks.push_back({static_cast<int>(lineNumber), pendingKind});
            pending = false;
            continue;
        }
        if (IsBlockEnd(line.c_str())) {
            if (depth == 0) {
                if (functionBody)
                    return true;
                SetError(error, FormatText("%s at line %ld unexpected code block end }", path, lineNumber));
                return false;
            }
            DropBlockVariables(variables, depth);
            --depth;
            unit.m_lines.push_back(raw);
            if (!unit.m_blocks.empty())
                unit.m_blocks.pop_back();
            continue;
        }
        if (IsReturnStatement(line.c_str())) {
            unit.m_lines.push_back(raw);
            continue;
        }
        const bool isContinue = IsContinueStatement(line.c_str());
        if (isContinue || IsBreakStatement(line.c_str())) {
            const bool inWhile = std::any_of(unit.m_blocks.begin(), unit.m_blocks.end(),
                                             [](const CodeBlock &b) { return b.kind == 1; });
            if (!inWhile) {
                SetError(error,
                         FormatText(isContinue
                                        ? "%s at line %ld invalid continue statement, not inside a while loop"
                                        : "%s at line %ld invalid break statement, not inside a while loop",
                                    path, lineNumber));
                return false;
            }
            unit.m_lines.push_back(raw);
            continue;
        }
        if (EndsWithSemicolon(line)) {
            std::string statement = line;
            int type = 0;
            size_t target = 0;
            EString message;
            if (ParseTypeKeyword(statement, type)) {
                if (!ExecuteDeclaration(statement, type, variables, depth, message)) {
                    SetError(error,
                             FormatText("%s invalid line %ld : %s", path, lineNumber, message.c_str()));
                    return false;
                }
            } else if (IsAssignmentStatement(statement, variables, target)) {
                if (!ExecuteAssignment(statement.c_str(), target, variables, message, true, true)) {
                    SetError(error,
                             FormatText("%s invalid line %ld : %s", path, lineNumber, message.c_str()));
                    return false;
                }
            } else {
                std::string name;
                std::string arguments;
                if (!ParseFunctionCall(line, name, arguments)) {
                    SetError(
                        error,
                        FormatText(
                            "%s invalid line %ld does not begin with valid variable name or function name",
                            path, lineNumber));
                    return false;
                }
                const int entry = FindCommandId(name.c_str());
                int function = -1;
                if (entry >= 0) {
                    const int id = CommandTable()[static_cast<size_t>(entry)].id;
                    if (!instance.CallBuiltInFunction(id, arguments.c_str(), variables, true, message)) {
                        SetError(error, FormatText("%s at line %ld : %s", path, lineNumber, message.c_str()));
                        return false;
                    }
                } else if (!instance.FindUserFunction(name.c_str(), function)) {
                    SetError(error, FormatText("%s invalid line %ld no such function: %s", path, lineNumber,
                                               name.c_str()));
                    return false;
                } else if (!load_function(instance, function, arguments.c_str(), variables, message)) {
                    SetError(error, FormatText("%s at line %ld : %s", path, lineNumber, message.c_str()));
                    return false;
                }
            }
            unit.m_lines.push_back(raw);
            continue;
        }
        bool value = false;
        int kind = -1;
        if (!EvaluateCondition(line.c_str(), variables, value, kind)) {
            SetError(
                error,
                FormatText("%s at line %ld does not end with ; and is not valid if() or while() statement.",
                           path, lineNumber));
            return false;
        }
        unit.m_lines.push_back(raw);
        pending = true;
        pendingKind = kind;
    }
    if (!functionBody && !unit.m_blocks.empty()) {
        SetError(error,
                 FormatText("Did not close out all code blocks before the end of the script file: %s", path));
        return false;
    }
    return true;
}
