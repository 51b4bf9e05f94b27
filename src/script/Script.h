#pragma once
// The script interpreter core: the instance record, the loader with its includes, the statement
// executor, conditions, user functions and the built-in command dispatcher.
//
// A script is loaded in full before it runs: LoadScript reads every line, resolves the includes
// and validates every statement by running it once in check-only mode against a private variable
// list. ExecuteCodeUnit then runs the stored lines on the script thread, testing the instance's
// running flag before each line.
#include "Ostravo/EString.h"
#include "script/CommandTable.h"
#include "script/Variable.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

inline constexpr int SCRIPT_HANDLE_FLUIDIC_SYSTEM = 0;
inline constexpr int SCRIPT_HANDLE_CUSTOMER_UI = 1;

// Nested user-function bodies being validated or run by one instance.
inline constexpr int kMaxFunctionCallDepth = 10;

// One open block: the line of its "{" (file line number while loading, index into the unit's
// lines while executing) and the kind of statement that opened it (0 if, 1 while).
struct CodeBlock
{
    int line = 0;
    int kind = 0;
};

// One executable body: the main body of a script or one user function.
struct CodeUnit
{
    // Accepted code lines in file order (comments removed, not trimmed).
    std::vector<std::string> m_lines;
    std::vector<CodeBlock> m_blocks;
    // Line number of a function's definition line in its include file; 0 for a main body.
    int m_definition_line = 0;
    // Full path of the defining include file; empty for a main body.
    std::string m_file;
    // Function name; empty for a main body.
    std::string m_name;
    std::vector<std::string> m_param_names;
    // Parameter types: the Variable type codes.
    std::vector<int> m_param_types;
};

// One interpreter instance.
class Script
{
  public:
    explicit Script(int handle = SCRIPT_HANDLE_FLUIDIC_SYSTEM) : m_handle(handle) {}
    Script(const Script &) = delete;
    Script &operator=(const Script &) = delete;

    int m_handle;
    // Set while a run is allowed to go on; cleared by a stop, which the executor notices before
    // its next line.
    std::atomic<bool> m_running{false};
    CodeUnit m_main;
    // File name with extension of the script path.
    EString m_script_name;
    // The include names already scanned in this load, as written.
    std::vector<std::string> m_included_files;
    // User functions sorted by name in byte order. Held by pointer: a load that meets an include
    // while reading a function body adds functions while that body is being filled.
    std::vector<std::unique_ptr<CodeUnit>> m_functions;
    // User-function bodies being validated or run, nested. Counted per instance, so that a deep
    // call chain of one handle never refuses a call of the other.
    std::atomic<int> m_call_depth{0};

    // Called on the executing thread before each line, after the stop test: the place for the
    // variable watch and the current-line display. May clear m_running.
    std::function<void(const Script &instance, const CodeUnit &unit, size_t line,
                       const VariableList &variables)>
        m_before_line;

    // Runs one built-in command. False with the command's message in error when it fails.
    bool CallBuiltInFunction(int id, const char *arguments, VariableList &variables, bool checkOnly,
                             EString &error);

    // Exact (case-sensitive) lookup of a user function; index into m_functions.
    bool FindUserFunction(const char *name, int &index) const;

    // Full path the run was started with (the status bar shows it); empty between runs.
    std::string m_script_path;

    // The run entry and its companions (ScriptRuntime.cpp). RunScript, StopScript and
    // ScriptFileHasCode are called on the user-interface thread, IsScriptRunning from any thread.
    // Creates the instance of the handle, loads and checks the whole file and starts the script
    // thread; false with the reason in error when the run does not start.
    static bool RunScript(int handle, const char *path, EString &error);
    // Clears the running flag of the handle's instance and terminates both pumps' moves; false
    // when the handle has no instance.
    static bool StopScript(int handle);
    // The running flag of the handle's instance (false without one); with name given and a
    // non-empty script name, the file name of the running script into name.
    static bool IsScriptRunning(int handle, EString *name = nullptr);
    // True when the file can be opened and holds a line with code outside comments.
    static bool ScriptFileHasCode(const char *path);
};

// Loader. Reads the open file from its current position into unit. start_line is the number of
// the line before the first one read. A function body stops at the "}" that closes it.
bool LoadScript(CodeUnit &unit, Script &instance, FILE *file, const char *path, int32_t startLine,
                EString &error, bool functionBody);
bool ProcessIncludeStatement(Script &instance, const std::string &line, EString &error);
// Splits a call "name (args" into the name and the text from "(" to the end.
bool ParseFunctionCall(const std::string &line, std::string &name, std::string &arguments);

// Reads one physical line of a script or include file: the line end (LF or CR LF)
// removed. False at the end of the file.
bool ReadScriptLine(FILE *file, std::string &line);
// Whether a line read by ReadScriptLine holds more than blanks, tabs and CRs after its first CR:
// a file whose lines end in CR alone reads as one line, whose later statements would be lost.
bool HasTextAfterCarriageReturn(const std::string &line);
// Physical lines longer than this are refused as code (a blank or comment line of any length is
// accepted).
inline constexpr size_t kMaxScriptLineLength = 65535;
// Removes the comment: from the first "//" outside double quotes.
void StripComment(std::string &line);
// Cut at the first CR or LF, leading and trailing blanks and tabs removed.
std::string TrimmedLine(const std::string &line);

// Executor.
bool ExecuteCodeUnit(CodeUnit &unit, Script &instance, VariableList &variables, EString &error,
                     const char *scriptName);
bool EvaluateCondition(const char *text, VariableList &variables, bool &value, int &kind);
bool IsBlockBegin(const char *line);
bool IsBlockEnd(const char *line);
bool IsReturnStatement(const char *line);
bool IsContinueStatement(const char *line);
bool IsBreakStatement(const char *line);

// User functions.
bool scan_included_file(Script &instance, const char *path, EString &error);
bool ParseFunctionDefinition(const char *text, std::string &name, std::vector<int> &types,
                             std::vector<std::string> &names, EString &error);
bool AddFunctionDefinition(Script &instance, const std::string &name, const std::vector<int> &types,
                           const std::vector<std::string> &names, const char *path, int definitionLine,
                           EString &error);
bool InsertUserFunction(std::vector<std::unique_ptr<CodeUnit>> &functions, std::unique_ptr<CodeUnit> unit,
                        int &index);
int FindUserFunctionIndex(const std::vector<std::unique_ptr<CodeUnit>> &functions, const char *name);
bool load_function(Script &instance, int index, const char *arguments, VariableList &callerVariables,
                   EString &error);
// Binds a call's arguments to the function's parameters. With functionVariables, adds one
// variable per parameter; with bound, appends the caller's variable of each argument (nullptr for
// a literal).
bool BindFunctionCallArguments(const CodeUnit &unit, const char *arguments, VariableList &callerVariables,
                               EString &error, VariableList *functionVariables,
                               std::vector<Variable *> *bound);
bool run_included_function(Script &instance, int index, const char *arguments, VariableList &callerVariables,
                           EString &error);

// The Includes folder of a handle: <data folder>/Includes or <operator-screen folder>/Includes.
std::string IncludesFolder(int handle);
