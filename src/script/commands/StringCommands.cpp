// Text commands of the script language. Each reads its arguments in order, returns after the last
// one while the script loads, and otherwise converts or edits the text and writes its results
// into the result variables. A literal where a result variable is expected loads and fails when it
// runs; an int result given a double variable (or the other way round) is left unchanged.
#include "script/commands/StringCommands.h"

#include "Ostravo/Profile.h"
#include "Ostravo/TextFormat.h"
#include "platform/Files.h"
#include "script/Arguments.h"
#include "script/CommandTable.h"
#include "script/ParseHelpers.h"
#include "script/commands/CommandFiles.h"

#include <string>

namespace {

using script_files::TextOf;
using script_parse::SetError;

// Stored values are read into a buffer of this size: longer values read as the empty text.
constexpr uint32_t kStoredStringBuffer = 1023;

void StoreInt(Variable *result, int32_t value)
{
    if (result && result->type == kVariableInt)
        result->integer = value;
}

void StoreText(Variable *result, const std::string &text)
{
    if (result && result->type == kVariableString)
        result->text.Assign(text.c_str());
}

// The frame and a STRING argument followed by an int result, shared by StringToInt, IsStringInt
// and StrLen.
bool TextThenIntResult(const char *arguments, VariableList &variables, EString &text, Variable *&result,
                       EString &error)
{
    ArgumentReader args(arguments, variables, error);
    return args.Start() && args.Text(text) && args.IntResult(result);
}

bool StringToInt(Script &, const char *arguments, VariableList &variables, bool checkOnly, EString &error)
{
    EString text;
    Variable *result = nullptr;
    if (!TextThenIntResult(arguments, variables, text, result, error))
        return false;
    if (checkOnly)
        return true;
    if (!CheckResultVariable("StringToInt", 2, result, error))
        return false;
    int32_t value = 0;
    if (!ScanLong32(TextOf(text), value)) {
        SetError(error, FormatText("Unable to convert: \"%s\" to an int.", TextOf(text)));
        return false;
    }
    StoreInt(result, value);
    return true;
}

bool StringToDouble(Script &, const char *arguments, VariableList &variables, bool checkOnly, EString &error)
{
    ArgumentReader args(arguments, variables, error);
    EString text;
    Variable *result = nullptr;
    if (!args.Start() || !args.Text(text) || !args.DoubleResult(result))
        return false;
    if (checkOnly)
        return true;
    if (!CheckResultVariable("StringToDouble", 2, result, error))
        return false;
    double value = 0.0;
    if (!ScanDouble(TextOf(text), value)) {
        SetError(error, FormatText("Unable to convert: \"%s\" to a double.", TextOf(text)));
        return false;
    }
    if (result->type == kVariableDouble)
        result->number = value;
    return true;
}

// Reads a text and an int result variable and stores `count` of the text in the result.
template <class Count>
bool StoreTextCount(const char *command, const char *arguments, VariableList &variables, bool checkOnly,
                    EString &error, Count count)
{
    EString text;
    Variable *result = nullptr;
    if (!TextThenIntResult(arguments, variables, text, result, error))
        return false;
    if (checkOnly)
        return true;
    if (!CheckResultVariable(command, 2, result, error))
        return false;
    StoreInt(result, count(text));
    return true;
}

bool IsStringInt(Script &, const char *arguments, VariableList &variables, bool checkOnly, EString &error)
{
    return StoreTextCount("IsStringInt", arguments, variables, checkOnly, error,
                          [](const EString &text) { return IsDecimalIntText(TextOf(text)) ? 1 : 0; });
}

bool StrLen(Script &, const char *arguments, VariableList &variables, bool checkOnly, EString &error)
{
    return StoreTextCount("StrLen", arguments, variables, checkOnly, error,
                          [](const EString &text) { return text.GetLength(); });
}

// StrLeft and StrRight: the STRING variable keeps its first (or last) count characters.
bool KeepPart(const char *name, bool fromLeft, const char *arguments, VariableList &variables, bool checkOnly,
              EString &error)
{
    ArgumentReader args(arguments, variables, error);
    EString text;
    int32_t count = 0;
    Variable *target = nullptr;
    if (!args.Start() || !args.Text(text, target) || !args.Int(count))
        return false;
    if (checkOnly)
        return true;
    if (!CheckResultVariable(name, 1, target, error))
        return false;
    const std::string whole = TextOf(text);
    std::string kept;
    if (count >= static_cast<int64_t>(whole.size()))
        kept = whole;
    else if (count > 0)
        kept = fromLeft ? whole.substr(0, static_cast<size_t>(count))
                        : whole.substr(whole.size() - static_cast<size_t>(count));
    StoreText(target, kept);
    return true;
}

bool StrReplace(Script &, const char *arguments, VariableList &variables, bool checkOnly, EString &error)
{
    ArgumentReader args(arguments, variables, error);
    EString text, find, with;
    int32_t maximum = 0;
    Variable *target = nullptr;
    Variable *count = nullptr;
    if (!args.Start() || !args.Text(text, target) || !args.Text(find) || !args.Text(with) ||
        !args.Int(maximum, count))
        return false;
    if (checkOnly)
        return true;
    if (!CheckResultVariable("StrReplace", 1, target, error))
        return false;
    // The fourth argument is read as the maximum first; a literal there only gives no count back.
    int32_t made = 0;
    if (find.IsNonEmpty())
        made = text.Replace(find.c_str(), TextOf(with), maximum);
    StoreText(target, TextOf(text));
    StoreInt(count, made);
    return true;
}

// The file of a stored string: the main settings file, or the file argument's name and extension
// in the data folder.
std::string StoredStringFile(const EString &file)
{
    if (!file.IsNonEmpty())
        return theApp.m_ini_path;
    return script_files::DataFolder() + script_files::FileNameOnly(file.c_str());
}

// The section, the key, the third argument (its variable when result is given) and the optional
// file. A fourth argument that is missing or does not parse counts as absent.
bool StoredStringArguments(const char *arguments, VariableList &variables, EString &section, EString &key,
                           EString &third, Variable **result, EString &file, EString &error)
{
    ArgumentReader args(arguments, variables, error);
    if (!args.Start() || !args.Text(section) || !args.Text(key) ||
        !(result ? args.Text(third, *result) : args.Text(third)))
        return false;
    if (!args.OptionalText(file))
        file.Assign("");
    return true;
}

bool ReadStoredString(Script &, const char *arguments, VariableList &variables, bool checkOnly,
                      EString &error)
{
    EString section, key, current, file;
    Variable *result = nullptr;
    if (!StoredStringArguments(arguments, variables, section, key, current, &result, file, error))
        return false;
    if (checkOnly)
        return true;
    if (!CheckResultVariable("ReadStoredString", 3, result, error))
        return false;
    char buffer[kStoredStringBuffer] = {};
    if (!Ostravo::E_GetPrivateProfileString(TextOf(section), TextOf(key), "", buffer, kStoredStringBuffer,
                                            StoredStringFile(file).c_str()))
        buffer[0] = '\0';
    StoreText(result, buffer);
    return true;
}

bool WriteStoredString(Script &, const char *arguments, VariableList &variables, bool checkOnly,
                       EString &error)
{
    EString section, key, value, file;
    if (!StoredStringArguments(arguments, variables, section, key, value, nullptr, file, error))
        return false;
    if (checkOnly)
        return true;
    const std::string path = StoredStringFile(file);
    // A refused write is reported for the main settings file too, not only for a named file.
    if (!Ostravo::E_WritePrivateProfileString(TextOf(section), TextOf(key), TextOf(value), path.c_str()) ||
        !platform::FileExists(path)) {
        SetError(error, FormatText("Problem writing to file: %s", path.c_str()));
        return false;
    }
    return true;
}

} // namespace

bool IsDecimalIntText(const char *text)
{
    if (text == nullptr || *text == '\0')
        return false;
    int32_t value = 0;
    // The whole text must be what the value prints as; a saturated out-of-range value prints as
    // the limit, not as the text, and so is refused too.
    return ScanLong32(text, value) && std::to_string(value) == text;
}

void RegisterStringCommands()
{
    RegisterCommandHandler(cmd::StringToInt, StringToInt);
    RegisterCommandHandler(cmd::StringToDouble, StringToDouble);
    RegisterCommandHandler(cmd::IsStringInt, IsStringInt);
    RegisterCommandHandler(cmd::StrLen, StrLen);
    RegisterCommandHandler(cmd::StrLeft, [](Script &, const char *a, VariableList &v, bool c, EString &e) {
        return KeepPart("StrLeft", true, a, v, c, e);
    });
    RegisterCommandHandler(cmd::StrRight, [](Script &, const char *a, VariableList &v, bool c, EString &e) {
        return KeepPart("StrRight", false, a, v, c, e);
    });
    RegisterCommandHandler(cmd::StrReplace, StrReplace);
    RegisterCommandHandler(cmd::ReadStoredString, ReadStoredString);
    RegisterCommandHandler(cmd::WriteStoredString, WriteStoredString);
}
