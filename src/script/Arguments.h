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
