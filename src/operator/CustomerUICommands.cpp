// Screen and waiting commands of the operator screen: each shows its screen and holds the script
// until the operator event is raised; the countdown and the pump watch raise it too.
#include "operator/CustomerUICommands.h"

#include "Ostravo/TextFormat.h"
#include "operator/CustomerUI.h"
#include "script/Arguments.h"
#include "script/CommandTable.h"
#include "script/ParseHelpers.h"
#include "script/Script.h"

#include <chrono>
#include <cmath>
#include <string>

namespace {

using script_parse::SetError;

// The operator event is only ever released by the screen; a wait has no time-out of its own.
constexpr std::chrono::hours kWaitForever{24 * 365};

constexpr auto StartFrame = StartCustomerUIFrame;
constexpr auto StartEmptyFrame = StartEmptyCustomerUIFrame;

CommandHandler WaitingCommand(const char *name, int32_t state)
{
    return [name, state](Script &instance, const char *arguments, VariableList &variables, bool checkOnly,
                         EString &error) {
        ArgumentReader args(arguments, variables, error);
        Variable *result = nullptr;
        if (!StartFrame(instance, name, args) || !args.TextResult(result))
            return false;
        if (checkOnly)
            return true;
        if (!CheckResultVariable(name + 8, 1, result, error))
            return false;
        const std::string text = ShowCustomerUIStateAndWait(state);
        result->text.Assign(text.c_str());
        return true;
    };
}

bool SetTimer(Script &instance, const char *arguments, VariableList &variables, bool checkOnly,
              EString &error)
{
    ArgumentReader args(arguments, variables, error);
    double seconds = 0.0;
    int32_t countDown = 0;
    if (!StartFrame(instance, "Script::CustomerUI_SetTimer", args) || !args.Double(seconds) ||
        !args.Int(countDown))
        return false;
    if (checkOnly)
        return true;
    theCustomerUI().KillTimer(CUI_TIMER_COUNTDOWN);
    if (!(seconds >= 0.0 && seconds <= 86400.0)) {
        SetError(error,
                 FormatText("Invalid number of seconds: %4.2lf : must be between 0 and 86400 (one day).",
                            seconds));
        return false;
    }
    const auto durationMs = static_cast<uint32_t>(std::floor(seconds * 1000.0 + 0.5));
    theCustomerUI().StartCountdown(durationMs, countDown != 0);
    return true;
}

bool StopTimer(Script &instance, const char *arguments, VariableList &variables, bool checkOnly,
               EString &error)
{
    ArgumentReader args(arguments, variables, error);
    if (!StartEmptyFrame(instance, "Script::CustomerUI_StopTimer", args))
        return false;
    if (!checkOnly)
        theCustomerUI().StopCountdown();
    return true;
}

bool ContinueTimer(Script &instance, const char *arguments, VariableList &variables, bool checkOnly,
                   EString &error)
{
    ArgumentReader args(arguments, variables, error);
    if (!StartEmptyFrame(instance, "Script::CustomerUI_ContinueTimer", args))
        return false;
    if (!checkOnly)
        theCustomerUI().ContinueCountdown();
    return true;
}

bool GetTimerInfo(Script &instance, const char *arguments, VariableList &variables, bool checkOnly,
                  EString &error)
{
    ArgumentReader args(arguments, variables, error);
    Variable *remainingVar = nullptr;
    Variable *elapsedVar = nullptr;
    if (!StartFrame(instance, "Script::CustomerUI_GetTimerInfo", args) || !args.IntResult(remainingVar) ||
        !args.IntResult(elapsedVar))
        return false;
    if (checkOnly)
        return true;
    if (!CheckResultVariable("CustomerUI_GetTimerInfo", 1, remainingVar, error) ||
        !CheckResultVariable("CustomerUI_GetTimerInfo", 2, elapsedVar, error))
        return false;
    int32_t remaining = 0;
    int32_t elapsed = 0;
    theCustomerUI().CountdownInfo(remaining, elapsed);
    if (remainingVar->type == kVariableInt)
        remainingVar->integer = remaining;
    if (elapsedVar->type == kVariableInt)
        elapsedVar->integer = elapsed;
    return true;
}

bool TriggerEventWhenPumpStopsMoving(Script &instance, const char *arguments, VariableList &variables,
                                     bool checkOnly, EString &error)
{
    ArgumentReader args(arguments, variables, error);
    int32_t pump = 0;
    int32_t timeout = 0;
    if (!StartFrame(instance, "Script::CustomerUI_TriggerEventWhenPumpStopsMoving", args) ||
        !args.Int(pump) || !args.Int(timeout))
        return false;
    if (checkOnly)
        return true;
    std::string message;
    if (!theCustomerUI().TriggerEventWhenPumpStopsMoving(pump, timeout, message)) {
        SetError(error, message);
        return false;
    }
    return true;
}

// A command whose one STRING argument becomes a text of the screen.
CommandHandler TextCommand(const char *name, std::string CustomerUIData::*member)
{
    return [name, member](Script &instance, const char *arguments, VariableList &variables, bool checkOnly,
                          EString &error) {
        ArgumentReader args(arguments, variables, error);
        EString text;
        if (!StartFrame(instance, name, args) || !args.Text(text))
            return false;
        if (!checkOnly) {
            const std::string value = text.c_str();
            theCustomerUI().Edit([&](CustomerUIData &d) { d.*member = value; });
        }
        return true;
    };
}

bool SetTextLine(Script &instance, const char *arguments, VariableList &variables, bool checkOnly,
                 EString &error)
{
    ArgumentReader args(arguments, variables, error);
    int32_t index = 0;
    EString text;
    if (!StartFrame(instance, "Script::CustomerUI_SetTextLine", args) || !args.Int(index) || !args.Text(text))
        return false;
    if (checkOnly || index < 1 || index > 6)
        return true;
    const std::string value = text.c_str();
    theCustomerUI().Edit([&](CustomerUIData &d) {
        if (d.textLines.size() < static_cast<size_t>(index))
            d.textLines.resize(index);
        d.textLines[index - 1] = value;
    });
    return true;
}

bool SetErrorMessage(Script &instance, const char *arguments, VariableList &variables, bool checkOnly,
                     EString &error)
{
    ArgumentReader args(arguments, variables, error);
    EString text;
    if (!StartFrame(instance, "Script::CustomerUI_SetErrorMessage", args) || !args.Text(text))
        return false;
    // The seconds are optional: missing or unreadable gives 10.
    int32_t seconds = 10;
    args.OptionalInt(seconds);
    if (!checkOnly)
        theCustomerUI().QueueMessage(text.c_str(), seconds);
    return true;
}

bool SetInput(Script &instance, const char *arguments, VariableList &variables, bool checkOnly,
              EString &error)
{
    ArgumentReader args(arguments, variables, error);
    int32_t index = 0;
    int32_t width = 0;
    EString label;
    EString value;
    if (!StartFrame(instance, "Script::CustomerUI_SetInput", args) || !args.Int(index) || !args.Text(label) ||
        !args.Text(value) || !args.Int(width))
        return false;
    if (!checkOnly && index >= 1 && index <= 6)
        theCustomerUI().SetInput(index - 1, label.c_str(), value.c_str(), width);
    return true;
}

bool SetInputFilename(Script &instance, const char *arguments, VariableList &variables, bool checkOnly,
                      EString &error)
{
    ArgumentReader args(arguments, variables, error);
    int32_t width = 0;
    EString label;
    EString value;
    if (!StartFrame(instance, "Script::CustomerUI_SetInputFilename", args) || !args.Text(label) ||
        !args.Text(value) || !args.Int(width))
        return false;
    if (!checkOnly)
        theCustomerUI().SetInput(0, label.c_str(), value.c_str(), width);
    return true;
}

bool SetCheckboxInput(Script &instance, const char *arguments, VariableList &variables, bool checkOnly,
                      EString &error)
{
    ArgumentReader args(arguments, variables, error);
    int32_t index = 0;
    int32_t mark = 0;
    EString label;
    if (!StartFrame(instance, "Script::CustomerUI_SetCheckboxInput", args) || !args.Int(index) ||
        !args.Text(label) || !args.Int(mark))
        return false;
    if (!checkOnly && index >= 1 && index <= 6)
        theCustomerUI().SetCheckboxInput(index - 1, label.c_str(), mark);
    return true;
}

bool GetTextEditFieldContents(Script &instance, const char *arguments, VariableList &variables,
                              bool checkOnly, EString &error)
{
    ArgumentReader args(arguments, variables, error);
    int32_t index = 0;
    Variable *result = nullptr;
    if (!StartFrame(instance, "Script::CustomerUI_GetTextEditFieldContents", args) || !args.Int(index) ||
        !args.TextResult(result))
        return false;
    if (checkOnly)
        return true;
    if (index < 1 || index > 6) {
        SetError(error, FormatText("Invalid edit field index %ld", static_cast<long>(index) - 1));
        return false;
    }
    if (!CheckResultVariable("CustomerUI_GetTextEditFieldContents", 2, result, error))
        return false;
    result->text.Assign(theCustomerUI().Snapshot().editTexts[index - 1].c_str());
    return true;
}

bool GetCheckBoxState(Script &instance, const char *arguments, VariableList &variables, bool checkOnly,
                      EString &error)
{
    ArgumentReader args(arguments, variables, error);
    int32_t index = 0;
    Variable *result = nullptr;
    if (!StartFrame(instance, "Script::CustomerUI_GetCheckboxState", args) || !args.Int(index) ||
        !args.IntResult(result))
        return false;
    if (checkOnly)
        return true;
    if (index < 1 || index > 6) {
        SetError(error, FormatText("Invalid checkbox index %ld", static_cast<long>(index)));
        return false;
    }
    if (!CheckResultVariable("CustomerUI_GetCheckBoxState", 2, result, error))
        return false;
    if (result->type == kVariableInt)
        result->integer = theCustomerUI().Snapshot().checkMarks[index - 1] ? 1 : 0;
    return true;
}

} // namespace

bool CheckCustomerUIHandle(const Script &instance, const char *displayName, EString &error)
{
    if (instance.m_handle == SCRIPT_HANDLE_CUSTOMER_UI)
        return true;
    SetError(error, FormatText("%s() may only be called from the CustomerUI instance of the interpreter.",
                               displayName));
    return false;
}

bool StartCustomerUIFrame(const Script &instance, const char *displayName, ArgumentReader &args)
{
    return CheckCustomerUIHandle(instance, displayName, args.Error()) && args.Start();
}

bool StartEmptyCustomerUIFrame(const Script &instance, const char *displayName, ArgumentReader &args)
{
    return CheckCustomerUIHandle(instance, displayName, args.Error()) && args.Empty();
}

std::string ShowCustomerUIStateAndWait(int32_t state)
{
    std::string ignored;
    theCustomerUI().SetState(state, ignored);
    std::string text;
    while (!theCustomerUI().WaitForEvent(kWaitForever, text)) {
    }
    return text;
}

void RegisterCustomerUICommands()
{
    const struct
    {
        int id;
        const char *name;
        int32_t state;
    } waits[] = {
        {cmd::CustomerUI_Login, "Script::CustomerUI_Login", Login},
        {cmd::CustomerUI_SelectAction, "Script::CustomerUI_SelectAction", SelectAction},
        {cmd::CustomerUI_PromptInsertFlowcell, "Script::CustomerUI_PromptInsertFlowcell",
         PromptInsertFlowcell},
        {cmd::CustomerUI_PipetteSample, "Script::CustomerUI_PipetteSample", PipetteSample},
        {cmd::CustomerUI_SampleBeingCollected, "Script::CustomerUI_SampleBeingCollected",
         SampleBeingCollected},
        {cmd::CustomerUI_ShowVideo, "Script::CustomerUI_ShowVideo", ShowVideo},
        {cmd::CustomerUI_PromptForInput, "Script::CustomerUI_PromptForInput", PromptForInput},
        {cmd::CustomerUI_PromptForInputFilename, "Script::CustomerUI_PromptForInputFilename",
         PromptForFilename},
        {cmd::CustomerUI_PromptForInputChecks, "Script::CustomerUI_PromptForInputChecks",
         PromptForInputChecks},
        {cmd::CustomerUI_PromptInfo, "Script::CustomerUI_PromptInfo", CustomerUIState::PromptInfo},
    };
    for (const auto &w : waits)
        RegisterCommandHandler(w.id, WaitingCommand(w.name, w.state));
    RegisterCommandHandler(cmd::CustomerUI_SetTimer, SetTimer);
    RegisterCommandHandler(cmd::CustomerUI_StopTimer, StopTimer);
    RegisterCommandHandler(cmd::CustomerUI_ContinueTimer, ContinueTimer);
    RegisterCommandHandler(cmd::CustomerUI_GetTimerInfo, GetTimerInfo);
    RegisterCommandHandler(cmd::CustomerUI_TriggerEventWhenPumpStopsMoving, TriggerEventWhenPumpStopsMoving);
    RegisterCommandHandler(cmd::CustomerUI_SetTitle,
                           TextCommand("Script::CustomerUI_SetTitle", &CustomerUIData::title));
    RegisterCommandHandler(
        cmd::CustomerUI_SetSelectionActionTitle,
        TextCommand("Script::CustomerUI_SetSelectionActionTitle", &CustomerUIData::selectionTitle));
    RegisterCommandHandler(cmd::CustomerUI_SetNextButtonText,
                           TextCommand("Script::CustomerUI_SetNextButtonText", &CustomerUIData::nextText));
    RegisterCommandHandler(cmd::CustomerUI_SetBackButtonText,
                           TextCommand("Script::CustomerUI_SetBackButtonText", &CustomerUIData::backText));
    RegisterCommandHandler(cmd::CustomerUI_SetTextLine, SetTextLine);
    RegisterCommandHandler(cmd::CustomerUI_SetErrorMessage, SetErrorMessage);
    RegisterCommandHandler(cmd::CustomerUI_SetInput, SetInput);
    RegisterCommandHandler(cmd::CustomerUI_SetInputFilename, SetInputFilename);
    RegisterCommandHandler(cmd::CustomerUI_SetCheckboxInput, SetCheckboxInput);
    RegisterCommandHandler(cmd::CustomerUI_GetTextEditFieldContents, GetTextEditFieldContents);
    RegisterCommandHandler(cmd::CustomerUI_GetCheckBoxState, GetCheckBoxState);
}
