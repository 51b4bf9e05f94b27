#pragma once
// Script variables: the typed record, the variable list of a running body, declarations,
// assignments (plain and compound) and the reading of one operand with its type conversions.
//
// Every routine reports failure by returning false with one message in the caller's error text;
// nothing is thrown.
#include "Ostravo/EString.h"

#include <cstdint>
#include <string>
#include <vector>

enum VariableType : int
{
    kVariableNoType = -1,
    kVariableDouble = 0,
    kVariableInt = 1,
    kVariableString = 2,
};

class Variable;
// The variables of one running body, in declaration order; a name occurs at most once.
using VariableList = std::vector<Variable>;

class Variable
{
  public:
    int type = kVariableNoType;
    EString name;
    // Block depth of the declaration; 0 outside every block.
    int level = 0;
    // The value of a double variable.
    double number = 0.0;
    // The value of an int variable (32 bits, wrapping arithmetic).
    int32_t integer = 0;
    // The value of a STRING variable.
    EString text;

    // Sets this variable from the single operand token at operand, by this variable's type.
    // consumed (when given) receives the characters the operand occupies.
    bool Assign(const char *operand, VariableList &variables, EString &error, int *consumed = nullptr);
};

// True when c may begin a name (letter or '_') or continue one (also a digit).
bool IsNameStart(char c);
bool IsNameChar(char c);

// Number conversions shared by the script readers. A "%ld" scan of 32-bit values: leading white
// space, an optional sign and at least one digit; an out-of-range literal saturates.
bool ScanLong32(const char *text, int32_t &value);
// A "%lf" scan from text (leading white space skipped); false when nothing converts.
bool ScanDouble(const char *text, double &value);
// Double to int: truncated toward zero, saturated to the 32-bit range, NaN gives 0.
int32_t DoubleToInt32(double value);

// Tests whether statement is a declaration; on success removes the keyword (and the blanks before
// it) from statement and gives the type code.
bool ParseTypeKeyword(std::string &statement, int &type);
// Declares the variables of the rest of a declaration at block level. On success statement is
// cut to what follows its terminating ';'.
bool ExecuteDeclaration(std::string &statement, int type, VariableList &variables, int level, EString &error);
// Tests whether statement begins with the name of a listed variable; on success gives its index
// and removes the blanks and the name from statement.
bool IsAssignmentStatement(std::string &statement, const VariableList &variables, size_t &index);
// Executes the rest of an assignment (text behind the name) on variables[index]. The loader
// tolerates a zero divisor (dividing by 1), the executor refuses it.
bool ExecuteAssignment(const char *rest, size_t index, VariableList &variables, EString &error,
                       bool allowCompound, bool tolerateZeroDivisor);
// target = target <op> operand; operand has target's type.
bool ApplyMathOperator(Variable &target, const Variable &operand, char op, EString &error,
                       bool tolerateZeroDivisor);
// Appends a copy of record unless its name is taken ("Variable %s has already been defined.").
bool AddVariable(VariableList &variables, const Variable &record, EString &error);
// ASCII case-insensitive search from the front.
bool FindVariable(const VariableList &variables, const char *name, size_t &index);
bool FindVariable(const VariableList &variables, const char *name, size_t length, size_t &index);
// Removes every variable of that block level, keeping the order of the others.
void DropBlockVariables(VariableList &variables, int level);
// Moves position from the start of an initial value to the ',' or ';' that ends it.
bool SkipQuotedInitializer(const std::string &text, size_t &position, EString &error);
