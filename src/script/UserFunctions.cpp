#include "Ostravo/TextFormat.h"
#include "platform/Files.h"
#include "script/Arguments.h"
#include "script/ParseHelpers.h"
#include "script/Script.h"

#include <algorithm>
#include <cstring>

namespace {

using namespace script_parse;

// One nesting level of user-function bodies; every exit gives it back.
class CallDepthLevel
{
  public:
    explicit CallDepthLevel(std::atomic<int> &depth)
        : m_depth(depth), m_entered(depth.fetch_add(1) + 1 <= kMaxFunctionCallDepth)
    {
        if (!m_entered)
            m_depth.fetch_sub(1);
    }
    ~CallDepthLevel()
    {
        if (m_entered)
            m_depth.fetch_sub(1);
    }
    CallDepthLevel(const CallDepthLevel &) = delete;
    CallDepthLevel &operator=(const CallDepthLevel &) = delete;
    bool Entered() const { return m_entered; }

  private:
    std::atomic<int> &m_depth;
    bool m_entered;
};

class OpenFile
{
  public:
    // Only regular files: a FIFO or device would block the script thread.
    explicit OpenFile(const char *path) : m_file(platform::OpenRegularFile(path ? path : "")) {}
    ~OpenFile()
    {
        if (m_file)
            std::fclose(m_file);
    }
    OpenFile(const OpenFile &) = delete;
    OpenFile &operator=(const OpenFile &) = delete;
    FILE *get() const { return m_file; }

  private:
    FILE *m_file;
};

} // namespace

bool ParseFunctionDefinition(const char *text, std::string &name, std::vector<int> &types,
                             std::vector<std::string> &names, EString &error)
{
    types.clear();
    names.clear();
    const char *p = text;
    SkipBlanks(p);
    if (!IsNameStart(*p)) {
        SetError(error, FormatText("Invalid character to begin function name: %s", text));
        return false;
    }
    const char *start = p;
    while (IsNameChar(*p))
        ++p;
    name.assign(start, static_cast<size_t>(p - start));
    SkipBlanks(p);
    if (*p != '(') {
        SetError(error, FormatText("Did not find \"(\" after function name: %s", text));
        return false;
    }
    ++p;
    SkipBlanks(p);
    static const struct
    {
        const char *word;
        int type;
    } kTypes[] = {{"int ", kVariableInt}, {"double ", kVariableDouble}, {"STRING ", kVariableString}};
    for (;;) {
        int type = -1;
        for (const auto &candidate : kTypes) {
            const size_t n = std::strlen(candidate.word);
            if (std::strncmp(p, candidate.word, n) == 0) {
                type = candidate.type;
                p += n;
                break;
            }
        }
        if (type < 0) {
            SetError(error, FormatText("Undefined variable type: %s", p));
            return false;
        }
        SkipBlanks(p);
        if (!IsNameStart(*p)) {
            SetError(error, FormatText("Invalid character at the beginning of parameter name: %s", p));
            return false;
        }
        const char *nameStart = p;
        while (IsNameChar(*p))
            ++p;
        const size_t length = static_cast<size_t>(p - nameStart);
        if (length > 48) {
            SetError(error, FormatText("Function parameter names may not exceed %ld characters: %s", 48L,
                                       nameStart));
            return false;
        }
        if (*p == '\0') {
            SetError(error, FormatText("Expecting \",\" or \")\" after parameter name: %s", p));
            return false;
        }
        if (*p != ' ' && *p != ',' && *p != ')') {
            SetError(error, FormatText("Invalid character in the parameter name: %s", p));
            return false;
        }
        const std::string parameter(nameStart, length);
        if (std::find(names.begin(), names.end(), parameter) != names.end()) {
            SetError(error, FormatText("Function parameter name %s is repeated.", parameter.c_str()));
            return false;
        }
        names.push_back(parameter);
        types.push_back(type);
        SkipBlanks(p);
        if (*p == ',') {
            ++p;
            SkipBlanks(p);
            continue;
        }
        if (*p == ')') {
            ++p;
            SkipBlanks(p);
            if (*p == '\0' || (p[0] == '/' && p[1] == '/'))
                return true;
            SetError(error, FormatText("Invalid characters found following \")\" : %s", p));
            return false;
        }
        if (*p == '\0') {
            SetError(error, "Missing \")\" character to end function definition.");
            return false;
        }
        // Any other character starts the next parameter's type: a missing comma is tolerated.
    }
}

int FindUserFunctionIndex(const std::vector<std::unique_ptr<CodeUnit>> &functions, const char *name)
{
    const auto it = std::lower_bound(
        functions.begin(), functions.end(), name,
        [](const std::unique_ptr<CodeUnit> &u, const char *n) { return u->m_name.compare(n) < 0; });
    if (it == functions.end() || (*it)->m_name.compare(name) != 0)
        return -1;
    return static_cast<int>(it - functions.begin());
}

bool Script::FindUserFunction(const char *name, int &index) const
{
    index = FindUserFunctionIndex(m_functions, name);
    return index >= 0;
}

bool InsertUserFunction(std::vector<std::unique_ptr<CodeUnit>> &functions, std::unique_ptr<CodeUnit> unit,
                        int &index)
{
    const auto it = std::lower_bound(
        functions.begin(), functions.end(), unit->m_name,
        [](const std::unique_ptr<CodeUnit> &u, const std::string &n) { return u->m_name < n; });
    if (it != functions.end() && (*it)->m_name == unit->m_name)
        return false;
    index = static_cast<int>(it - functions.begin());
    functions.insert(it, std::move(unit));
    return true;
}

bool AddFunctionDefinition(Script &instance, const std::string &name, const std::vector<int> &types,
                           const std::vector<std::string> &names, const char *path, int definitionLine,
                           EString &error)
{
    auto unit = std::make_unique<CodeUnit>();
    unit->m_file = path;
    unit->m_name = name;
    unit->m_definition_line = definitionLine;
    unit->m_param_names = names;
    unit->m_param_types = types;
    int index = 0;
    if (!InsertUserFunction(instance.m_functions, std::move(unit), index)) {
        SetError(error, FormatText("Function %s is already defined.", name.c_str()));
        return false;
    }
    return true;
}

bool scan_included_file(Script &instance, const char *path, EString &error)
{
    OpenFile file(path);
    if (!file.get()) {
        SetError(error, FormatText("scan_included_file() can't open file: %s", path));
        return false;
    }
    long lineNumber = 0;
    bool expectBrace = false;
    bool inBody = false;
    int count = 0;
    std::string name;
    std::string raw;
    while (ReadScriptLine(file.get(), raw)) {
        ++lineNumber;
        if (HasTextAfterCarriageReturn(raw)) {
            SetError(error,
                     FormatText("scan_included_file() : text follows a carriage return; lines must end "
                                "with CR LF or LF: %s at line %ld",
                                path, lineNumber));
            return false;
        }
        const std::string line = TrimmedLine(raw);
        if (expectBrace) {
            if (!IsBlockBegin(line.c_str())) {
                SetError(error,
                         FormatText("scan_included_file() : missing \"{\" immediately following function "
                                    "definition: %s in file %s at line %ld",
                                    name.c_str(), path, lineNumber));
                return false;
            }
            expectBrace = false;
            inBody = true;
            count = 1;
            continue;
        }
        if (inBody) {
            if (IsBlockBegin(line.c_str()))
                ++count;
            else if (IsBlockEnd(line.c_str()) && --count == 0)
                inBody = false;
            continue;
        }
        if (line.empty() || line.compare(0, 2, "//") == 0)
            continue;
        if (line.compare(0, 5, "void ") != 0) {
            SetError(error,
                     FormatText("scan_included_file() : Expecting function definition at line %ld. Function "
                                "definitions must begin with \"void \"",
                                lineNumber));
            return false;
        }
        std::vector<int> types;
        std::vector<std::string> names;
        EString message;
        if (!ParseFunctionDefinition(line.c_str() + 5, name, types, names, message)) {
            SetError(error, FormatText("%s : in file %s at line %ld", message.c_str(), path, lineNumber));
            return false;
        }
        if (FindCommandId(name.c_str()) >= 0) {
            SetError(error,
                     FormatText("scan_included_file() : %s - Function name already being used for a built in "
                                "function: %s at line %ld",
                                path, name.c_str(), lineNumber));
            return false;
        }
        int existing = -1;
        if (instance.FindUserFunction(name.c_str(), existing)) {
            const CodeUnit &other = *instance.m_functions[static_cast<size_t>(existing)];
            SetError(error,
                     FormatText("scan_included_file() : Function %s in %s at line %ld is already defined. "
                                "Existing definition in %s at line %ld.",
                                name.c_str(), path, lineNumber, other.m_file.c_str(),
                                static_cast<long>(other.m_definition_line)));
            return false;
        }
        if (!AddFunctionDefinition(instance, name, types, names, path, static_cast<int>(lineNumber), error))
            return false;
        expectBrace = true;
    }
    if (expectBrace || inBody) {
        SetError(
            error,
            FormatText("scan_included_file() :  not find end of function \"}\" for function %s in file %s "
                       "up to the end of the file at line %ld",
                       name.c_str(), path, lineNumber));
        return false;
    }
    return true;
}

bool BindFunctionCallArguments(const CodeUnit &unit, const char *arguments, VariableList &callerVariables,
                               EString &error, VariableList *functionVariables,
                               std::vector<Variable *> *bound)
{
    const char *p = arguments;
    SkipBlanks(p);
    if (*p != '(') {
        SetError(error, "Missing '('");
        return false;
    }
    ++p;
    SkipBlanks(p);
    if (*p == '\0') {
        SetError(error, "missing );");
        return false;
    }
    for (size_t i = 0; i < unit.m_param_types.size() && i < unit.m_param_names.size(); ++i) {
        const int number = static_cast<int>(i + 1);
        Variable parameter;
        parameter.type = unit.m_param_types[i];
        parameter.name.Assign(unit.m_param_names[i].c_str());
        Variable *source = nullptr;
        bool ok = false;
        switch (parameter.type) {
        case kVariableInt:
            ok = GetIntParameter(number, p, parameter.integer, error, &callerVariables, &source);
            break;
        case kVariableDouble:
            ok = GetDoubleParameter(number, p, parameter.number, error, &callerVariables, &source);
            break;
        default:
            ok = GetStringParameter(number, p, parameter.text, error, &callerVariables, &source);
            break;
        }
        if (!ok)
            return false;
        if (functionVariables && !AddVariable(*functionVariables, parameter, error))
            return false;
        if (bound)
            bound->push_back(source);
    }
    SkipBlanks(p);
    if (*p != ')') {
        SetError(error, "Missing \")\" after parameters.");
        return false;
    }
    ++p;
    SkipBlanks(p);
    if (*p != ';') {
        SetError(error, "Missing \";\" after function call.");
        return false;
    }
    ++p;
    SkipBlanks(p);
    if (*p != '\0' && !(p[0] == '/' && p[1] == '/')) {
        SetError(error, "Invalid characters following \";\"");
        return false;
    }
    return true;
}

bool load_function(Script &instance, int index, const char *arguments, VariableList &callerVariables,
                   EString &error)
{
    if (index < 0 || static_cast<size_t>(index) >= instance.m_functions.size())
        return false;
    // The unit stays where it is while its body loads, even when that load adds functions.
    CodeUnit &unit = *instance.m_functions[static_cast<size_t>(index)];
    if (!BindFunctionCallArguments(unit, arguments, callerVariables, error, nullptr, nullptr))
        return false;
    OpenFile file(unit.m_file.c_str());
    if (!file.get()) {
        SetError(error,
                 FormatText("laod_function () unable to open file for reading: %s", unit.m_file.c_str()));
        return false;
    }
    std::string skipped;
    for (int line = 0; line <= unit.m_definition_line; ++line) {
        if (!ReadScriptLine(file.get(), skipped)) {
            SetError(error, FormatText("load_function () internal error #2 : %s", unit.m_file.c_str()));
            return false;
        }
    }
    CallDepthLevel level(instance.m_call_depth);
    if (!level.Entered()) {
        SetError(error, FormatText("load_function() : maximum recursion depth exceeded: %ld",
                                   static_cast<long>(kMaxFunctionCallDepth)));
        return false;
    }
    const std::string path = unit.m_file;
    return LoadScript(unit, instance, file.get(), path.c_str(), unit.m_definition_line + 1, error, true);
}

bool run_included_function(Script &instance, int index, const char *arguments, VariableList &callerVariables,
                           EString &error)
{
    if (index < 0 || static_cast<size_t>(index) >= instance.m_functions.size())
        return false;
    CodeUnit &unit = *instance.m_functions[static_cast<size_t>(index)];
    std::vector<Variable *> bound;
    VariableList variables;
    {
        CallDepthLevel level(instance.m_call_depth);
        if (!level.Entered()) {
            SetError(error, FormatText("run_included_function () : Maximum recursion depth %ld exceeded.",
                                       static_cast<long>(kMaxFunctionCallDepth)));
            return false;
        }
        if (!BindFunctionCallArguments(unit, arguments, callerVariables, error, &variables, &bound))
            return false;
        if (!ExecuteCodeUnit(unit, instance, variables, error, instance.m_script_name.c_str()))
            return false;
    }
    // Arguments given as variables receive the parameters' final values.
    for (size_t i = 0; i < bound.size() && i < unit.m_param_names.size(); ++i) {
        Variable *target = bound[i];
        if (!target)
            continue;
        size_t found = 0;
        if (!FindVariable(variables, unit.m_param_names[i].c_str(), found))
            continue;
        const Variable &result = variables[found];
        if (result.type != target->type) {
            SetError(
                error,
                "run_included_function() error #2 : Variable::Assign () failed because types don't match.");
            return false;
        }
        target->number = result.number;
        target->integer = result.integer;
        target->text = result.text;
    }
    return true;
}
