#pragma once
// Readers of a built-in command's argument text: the text from the "(" behind the command name to
// the end of the statement. Each reader starts at the cursor and leaves it behind its own
// argument; parameter numbers count from 1 and appear in the messages.
//
// A command with arguments: skip blanks and tabs, require "(" ("Missing '('"), skip blanks and
// tabs, fail with "missing );" at the end of the text, then read each argument with its typed
// reader (ReadArgumentListStart does the first part). Text behind the last argument is not
// examined.
//
// Without a variable list only literals are accepted. When an argument names a variable, *result
// (when given) points at that variable, which a command writes its result into after it has run;
// a literal gives nullptr. The pointer stays valid until the list changes.
#include "Ostravo/EString.h"
#include "script/Variable.h"

#include <cstdint>

bool ParseEmptyParameterList(const char *&cursor, EString &error);
// The frame's start: "(" and a non-empty rest.
bool ReadArgumentListStart(const char *&cursor, EString &error);

bool GetIntParameter(int parameter, const char *&cursor, int32_t &value, EString &error,
                     VariableList *variables, Variable **result);
bool GetDoubleParameter(int parameter, const char *&cursor, double &value, EString &error,
                        VariableList *variables, Variable **result);
bool GetStringParameter(int parameter, const char *&cursor, EString &value, EString &error,
                        VariableList *variables, Variable **result);

// Where a command returns a value through a parameter, a literal in that position loads (stored
// scripts keep loading) and fails when the command runs: false with
// "<command>() - parameter <n> must be a variable to receive the result." when result is null.
bool CheckResultVariable(const char *command, int parameter, const Variable *result, EString &error);

// One command's argument list, read in order. It holds the cursor, the variable list and the error
// text a command handler receives, and numbers the arguments itself: the first is parameter 1
// (firstNumber 0 for the commands whose messages have always counted from 0), and each argument
// read advances the number. Every reader returns false with the message in the error text and
// leaves the cursor and the number at the argument it could not read.
//
//     ArgumentReader args(arguments, variables, error);
//     if (!args.Start() || !args.Int(pump) || !args.Double(ul) || !args.IntResult(result))
//         return false;
//
// The value readers accept a literal or a variable. The two-argument forms also give the variable
// the argument names (nullptr for a literal); the *Result readers only take that variable, for an
// argument whose value the command never uses because it writes a result into it.
class ArgumentReader
{
  public:
    ArgumentReader(const char *arguments, VariableList &variables, EString &error, int firstNumber = 1);

    // "(" and a non-empty rest (ReadArgumentListStart).
    bool Start();
    // "()" and ";" behind it (ParseEmptyParameterList).
    bool Empty();

    bool Int(int32_t &value);
    bool Int(int32_t &value, Variable *&variable);
    bool Double(double &value);
    bool Double(double &value, Variable *&variable);
    bool Text(EString &value);
    bool Text(EString &value, Variable *&variable);

    bool IntResult(Variable *&variable);
    bool DoubleResult(Variable *&variable);
    bool TextResult(Variable *&variable);

    // An optional last argument: false when it is missing or unreadable, with the error text left
    // as it was, value unchanged and variable nullptr.
    bool OptionalInt(int32_t &value);
    bool OptionalText(EString &value);
    bool OptionalIntResult(Variable *&variable);
    bool OptionalTextResult(Variable *&variable);

    // The number the next argument has in messages.
    int Number() const { return m_number; }
    // The text still to read.
    const char *Rest() const { return m_cursor; }
    // The error text the readers fill, for the command's own checks between arguments.
    EString &Error() const { return m_error; }

  private:
    template <class T, class Reader> bool Read(Reader reader, T &value, Variable **variable, EString &error);

    const char *m_cursor;
    VariableList &m_variables;
    EString &m_error;
    int m_number;
};
