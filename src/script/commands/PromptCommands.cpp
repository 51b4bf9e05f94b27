// Prompt and operator-message commands: modal prompts that hold the script until the operator
// answers, and the modeless inform-operator message.
#include "script/commands/PromptCommands.h"

#include "Ostravo/EString.h"
#include "Ostravo/Profile.h"
#include "Ostravo/TextFormat.h"
#include "app/AppGlobals.h"
#include "script/Arguments.h"
#include "script/CommandTable.h"
#include "script/ParseHelpers.h"
#include "script/ScriptRuntime.h"
#include "script/ScriptWaitWindows.h"

#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace {

using script_parse::SetError;

std::mutex g_hostMutex;
std::shared_ptr<ScriptPromptHost> g_host;

// Shows the prompt of the command name and hands back the button and edit text. False with the
// error text when no host is installed or, if requireOk, when the operator did not answer OK.
bool AskOperator(const char *name, const ScriptPrompt &prompt, bool requireOk, int &result,
                 std::string &entry, EString &error)
{
    if (!RunScriptPrompt(prompt, result, entry)) {
        SetError(error, FormatText("%s() - not available in this build.", name));
        return false;
    }
    if (requireOk && result != kPromptOk) {
        SetError(error, "Script Stopped");
        return false;
    }
    return true;
}

// Message, then ")" directly behind it.
bool ReadSingleMessage(const char *arguments, VariableList &variables, EString &message, EString &error)
{
    ArgumentReader args(arguments, variables, error);
    if (!args.Start() || !args.Text(message))
        return false;
    if (*args.Rest() != ')') {
        SetError(error, "Missing ) after string parameter.");
        return false;
    }
    return true;
}

bool PromptInfo(Script &, const char *arguments, VariableList &variables, bool checkOnly, EString &error)
{
    EString message;
    if (!ReadSingleMessage(arguments, variables, message, error))
        return false;
    if (checkOnly)
        return true;
    ScriptPrompt prompt;
    prompt.kind = ScriptPrompt::Kind::Info;
    prompt.message = ReplaceEscapePairs(message.c_str());
    int result = 0;
    std::string value;
    return AskOperator("PromptInfo", prompt, false, result, value, error);
}

bool PromptContinueCancel(Script &, const char *arguments, VariableList &variables, bool checkOnly,
                          EString &error)
{
    EString message;
    if (!ReadSingleMessage(arguments, variables, message, error))
        return false;
    if (checkOnly)
        return true;
    ScriptPrompt prompt;
    prompt.kind = ScriptPrompt::Kind::ContinueCancel;
    prompt.message = message.c_str();
    int result = 0;
    std::string value;
    return AskOperator("PromptContinueCancel", prompt, true, result, value, error);
}

bool PromptForValue(Script &, const char *arguments, VariableList &variables, bool checkOnly, EString &error)
{
    ArgumentReader args(arguments, variables, error);
    EString text;
    double value = 0.0;
    double minimum = 0.0;
    double maximum = 0.0;
    Variable *result = nullptr;
    if (!args.Start() || !args.Text(text) || !args.Double(value, result) || !args.Double(minimum) ||
        !args.Double(maximum))
        return false;
    if (minimum > value) {
        SetError(error, FormatText("Default value %4.2lf is less than min value %4.2lf", value, minimum));
        return false;
    }
    if (value > maximum) {
        SetError(error, FormatText("Default value %4.2lf is greater than max value %4.2lf", value, maximum));
        return false;
    }
    if (checkOnly)
        return true;
    ScriptPrompt prompt;
    prompt.kind = ScriptPrompt::Kind::Value;
    prompt.message = text.c_str();
    prompt.value = FormatText("%4.2lf", value);
    int answer = 0;
    std::string entry;
    if (!AskOperator("PromptForValue", prompt, true, answer, entry, error))
        return false;
    double entered = 0.0;
    if (entry == prompt.value) {
        // The untouched default: its two-decimal display must not replace the value itself.
        entered = value;
    } else if (std::sscanf(entry.c_str(), "%lf", &entered) != 1) {
        SetError(error, FormatText("Entered value is not a valid floating point number: %s", entry.c_str()));
        return false;
    }
    if (entered < minimum) {
        SetError(error,
                 FormatText("Entered value %4.2lf is less than minimum value %4.2lf", entered, minimum));
        return false;
    }
    if (entered > maximum) {
        SetError(error,
                 FormatText("Entered value: %4.2lf is greater than maximum value %4.2lf", entered, maximum));
        return false;
    }
    if (result && result->type == kVariableDouble)
        result->number = entered;
    return true;
}

// An optional sign and digits after leading blanks; text behind them is ignored.
bool ScanLeadingInteger(const std::string &text, int64_t &value)
{
    const char *p = text.c_str();
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\f' || *p == '\v')
        ++p;
    const char *digits = p;
    if (*digits == '+' || *digits == '-')
        ++digits;
    if (!std::isdigit(static_cast<unsigned char>(*digits)))
        return false;
    const long long parsed = std::strtoll(p, nullptr, 10);
    // Far beyond any int range: keep the sign so that the range checks refuse it.
    value = parsed;
    return true;
}

bool PromptForValueInt(Script &, const char *arguments, VariableList &variables, bool checkOnly,
                       EString &error)
{
    ArgumentReader args(arguments, variables, error);
    EString text;
    int32_t value = 0;
    int32_t minimum = 0;
    int32_t maximum = 0;
    Variable *result = nullptr;
    if (!args.Start() || !args.Text(text) || !args.Int(value, result) || !args.Int(minimum) ||
        !args.Int(maximum))
        return false;
    if (minimum > value) {
        SetError(error, FormatText("Default value %ld is less than min value %ld", static_cast<long>(value),
                                   static_cast<long>(minimum)));
        return false;
    }
    if (value > maximum) {
        SetError(error, FormatText("Default value %ld is greater than max value %ld",
                                   static_cast<long>(value), static_cast<long>(maximum)));
        return false;
    }
    if (checkOnly)
        return true;
    ScriptPrompt prompt;
    prompt.kind = ScriptPrompt::Kind::Value;
    prompt.message = text.c_str();
    prompt.value = FormatText("%ld", static_cast<long>(value));
    int answer = 0;
    std::string entry;
    if (!AskOperator("PromptForValueInt", prompt, true, answer, entry, error))
        return false;
    int64_t entered = 0;
    if (!ScanLeadingInteger(entry, entered)) {
        SetError(error, FormatText("Entered value is not a valid integer number: %s", entry.c_str()));
        return false;
    }
    if (entered < minimum) {
        SetError(error, FormatText("Entered value %lld is less than minimum value %ld",
                                   static_cast<long long>(entered), static_cast<long>(minimum)));
        return false;
    }
    if (entered > maximum) {
        SetError(error, FormatText("Entered value: %lld is greater than maximum value %ld",
                                   static_cast<long long>(entered), static_cast<long>(maximum)));
        return false;
    }
    if (result && result->type == kVariableInt)
        result->integer = static_cast<int32_t>(entered);
    return true;
}

bool PromptForString(Script &, const char *arguments, VariableList &variables, bool checkOnly, EString &error)
{
    ArgumentReader args(arguments, variables, error);
    EString text;
    Variable *result = nullptr;
    if (!args.Start() || !args.Text(text) || !args.TextResult(result))
        return false;
    if (checkOnly)
        return true;
    ScriptPrompt prompt;
    prompt.kind = ScriptPrompt::Kind::Value;
    prompt.message = text.c_str();
    int answer = 0;
    std::string entry;
    if (!AskOperator("PromptForString", prompt, true, answer, entry, error))
        return false;
    // A literal in place of the variable: the entry has nowhere to go.
    if (result && result->type == kVariableString)
        result->text.Assign(entry.c_str());
    return true;
}

bool PromptCustom(Script &, const char *arguments, VariableList &variables, bool checkOnly, EString &error)
{
    ArgumentReader args(arguments, variables, error);
    EString message;
    EString captions;
    Variable *result = nullptr;
    if (!args.Start() || !args.Text(message) || !args.Text(captions) || !args.IntResult(result))
        return false;
    if (!result) {
        SetError(error, "Third parameter must be an int variable.");
        return false;
    }
    if (checkOnly)
        return true;
    ScriptPrompt prompt;
    prompt.kind = ScriptPrompt::Kind::Custom;
    prompt.message = message.c_str();
    prompt.captions = captions.c_str();
    int pressed = 0;
    std::string entry;
    if (!AskOperator("PromptCustom", prompt, false, pressed, entry, error))
        return false;
    if (result->type == kVariableInt)
        result->integer = pressed;
    return true;
}

bool InformOperator(Script &, const char *arguments, VariableList &variables, bool checkOnly, EString &error)
{
    ArgumentReader args(arguments, variables, error);
    EString message;
    int32_t seconds = 0;
    if (!args.Start() || !args.Text(message) || !args.Int(seconds))
        return false;
    if (checkOnly)
        return true;
    ShowInformOperator(ReplaceEscapePairs(message.c_str()), seconds);
    return true;
}

} // namespace

void SetScriptPromptHost(std::shared_ptr<ScriptPromptHost> host)
{
    std::lock_guard<std::mutex> lock(g_hostMutex);
    g_host = std::move(host);
}

bool RunScriptPrompt(const ScriptPrompt &prompt, int &result, std::string &value)
{
    std::shared_ptr<ScriptPromptHost> host;
    {
        std::lock_guard<std::mutex> lock(g_hostMutex);
        host = g_host;
    }
    if (!host)
        return false;
    // The text may arrive after the exit released the wait: keep it in shared storage.
    struct Answer
    {
        std::mutex mutex;
        std::string value;
    };
    auto answer = std::make_shared<Answer>();
    auto token = std::make_shared<std::atomic<uint64_t>>(0);
    const int exitAnswer = prompt.kind == ScriptPrompt::Kind::Custom ? 0 : kPromptCancel;
    result = AwaitScriptAnswer(
        [&](std::function<void(int)> done) {
            *token = host->Open(prompt, [answer, done](int code, std::string text) {
                {
                    std::lock_guard<std::mutex> lock(answer->mutex);
                    answer->value = std::move(text);
                }
                done(code);
            });
        },
        [&] { host->Dismiss(token->load()); }, exitAnswer);
    std::lock_guard<std::mutex> lock(answer->mutex);
    value = answer->value;
    return true;
}

std::string ReplaceEscapePairs(const std::string &text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == 'n' || text[i + 1] == 't')) {
            out += text[i + 1] == 'n' ? '\n' : '\t';
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::vector<std::string> PromptCustomCaptions(const std::string &captions)
{
    std::vector<std::string> out;
    if (captions.empty())
        return out;
    std::vector<EString> fields;
    const int count = SplitIntoVector(captions.c_str(), fields, ';');
    for (int i = 0; i < count && out.size() < 4; ++i) {
        // The field behind a final ";" is no caption.
        if (i == count - 1 && i > 0 && !fields[i].IsNonEmpty() && captions.back() == ';')
            break;
        out.emplace_back(fields[i].c_str());
    }
    return out;
}

double ParseMonitorScaleFactor(const char *text)
{
    double scale = 0.0;
    if (!text || std::sscanf(text, "%lf", &scale) != 1 || !(scale > 0.0 && scale <= 10.0))
        return 1.0;
    return scale;
}

double MonitorScaleFactor()
{
    char buffer[31] = {};
    if (!Ostravo::E_GetPrivateProfileString("ExperimentSettings", "MonitorScaleFactor", "", buffer,
                                            sizeof buffer, _settings_ini_path.c_str()))
        return 1.0;
    return ParseMonitorScaleFactor(buffer);
}

void RegisterPromptCommands()
{
    RegisterCommandHandler(cmd::PromptInfo, PromptInfo);
    RegisterCommandHandler(cmd::PromptContinueCancel, PromptContinueCancel);
    RegisterCommandHandler(cmd::PromptForValue, PromptForValue);
    RegisterCommandHandler(cmd::PromptForValueInt, PromptForValueInt);
    RegisterCommandHandler(cmd::PromptForString, PromptForString);
    RegisterCommandHandler(cmd::PromptCustom, PromptCustom);
    RegisterCommandHandler(cmd::InformOperator, InformOperator);
}
