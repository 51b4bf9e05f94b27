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
        const char *cursor = arguments;
        EString unused;
        Variable *result = nullptr;
        if (!StartFrame(instance, name, cursor, error) ||
            !GetStringParameter(1, cursor, unused, error, &variables, &result))
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
    const char *cursor = arguments;
    double seconds = 0.0;
    int32_t countDown = 0;
    if (!StartFrame(instance, "Script::CustomerUI_SetTimer", cursor, error) ||
        !GetDoubleParameter(1, cursor, seconds, error, &variables, nullptr) ||
        !GetIntParameter(2, cursor, countDown, error, &variables, nullptr))
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

bool StopTimer(Script &instance, const char *arguments, VariableList &, bool checkOnly, EString &error)
{
    const char *cursor = arguments;
    if (!StartEmptyFrame(instance, "Script::CustomerUI_StopTimer", cursor, error))
        return false;
    if (!checkOnly)
        theCustomerUI().StopCountdown();
    return true;
}

bool ContinueTimer(Script &instance, const char *arguments, VariableList &, bool checkOnly, EString &error)
{
    const char *cursor = arguments;
    if (!StartEmptyFrame(instance, "Script::CustomerUI_ContinueTimer", cursor, error))
        return false;
    if (!checkOnly)
        theCustomerUI().ContinueCountdown();
    return true;
}

bool GetTimerInfo(Script &instance, const char *arguments, VariableList &variables, bool checkOnly,
                  EString &error)
{
    const char *cursor = arguments;
    int32_t unused = 0;
    Variable *remainingVar = nullptr;
    Variable *elapsedVar = nullptr;
    if (!StartFrame(instance, "Script::CustomerUI_GetTimerInfo", cursor, error) ||
        !GetIntParameter(1, cursor, unused, error, &variables, &remainingVar) ||
        !GetIntParameter(2, cursor, unused, error, &variables, &elapsedVar))
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
    const char *cursor = arguments;
    int32_t pump = 0;
    int32_t timeout = 0;
    if (!StartFrame(instance, "Script::CustomerUI_TriggerEventWhenPumpStopsMoving", cursor, error) ||
        !GetIntParameter(1, cursor, pump, error, &variables, nullptr) ||
        !GetIntParameter(2, cursor, timeout, error, &variables, nullptr))
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
        const char *cursor = arguments;
        EString text;
        if (!StartFrame(instance, name, cursor, error) ||
            !GetStringParameter(1, cursor, text, error, &variables, nullptr))
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
    const char *cursor = arguments;
    int32_t index = 0;
    EString text;
    if (!StartFrame(instance, "Script::CustomerUI_SetTextLine", cursor, error) ||
        !GetIntParameter(1, cursor, index, error, &variables, nullptr) ||
        !GetStringParameter(2, cursor, text, error, &variables, nullptr))
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
    const char *cursor = arguments;
    EString text;
    if (!StartFrame(instance, "Script::CustomerUI_SetErrorMessage", cursor, error) ||
        !GetStringParameter(1, cursor, text, error, &variables, nullptr))
        return false;
    // The seconds are optional: missing or unreadable gives 10.
    int32_t seconds = 10;
    EString ignored;
    if (!GetIntParameter(2, cursor, seconds, ignored, &variables, nullptr))
        seconds = 10;
    if (!checkOnly)
        theCustomerUI().QueueMessage(text.c_str(), seconds);
    return true;
}

bool SetInput(Script &instance, const char *arguments, VariableList &variables, bool checkOnly,
              EString &error)
{
    const char *cursor = arguments;
    int32_t index = 0;
    int32_t width = 0;
    EString label;
    EString value;
    if (!StartFrame(instance, "Script::CustomerUI_SetInput", cursor, error) ||
        !GetIntParameter(1, cursor, index, error, &variables, nullptr) ||
        !GetStringParameter(2, cursor, label, error, &variables, nullptr) ||
        !GetStringParameter(3, cursor, value, error, &variables, nullptr) ||
        !GetIntParameter(4, cursor, width, error, &variables, nullptr))
        return false;
    if (!checkOnly && index >= 1 && index <= 6)
        theCustomerUI().SetInput(index - 1, label.c_str(), value.c_str(), width);
    return true;
}

bool SetInputFilename(Script &instance, const char *arguments, VariableList &variables, bool checkOnly,
                      EString &error)
{
    const char *cursor = arguments;
    int32_t width = 0;
    EString label;
    EString value;
    if (!StartFrame(instance, "Script::CustomerUI_SetInputFilename", cursor, error) ||
        !GetStringParameter(1, cursor, label, error, &variables, nullptr) ||
        !GetStringParameter(2, cursor, value, error, &variables, nullptr) ||
        !GetIntParameter(3, cursor, width, error, &variables, nullptr))
        return false;
    if (!checkOnly)
        theCustomerUI().SetInput(0, label.c_str(), value.c_str(), width);
    return true;
}

bool SetCheckboxInput(Script &instance, const char *arguments, VariableList &variables, bool checkOnly,
                      EString &error)
{
    const char *cursor = arguments;
    int32_t index = 0;
    int32_t mark = 0;
    EString label;
    if (!StartFrame(instance, "Script::CustomerUI_SetCheckboxInput", cursor, error) ||
        !GetIntParameter(1, cursor, index, error, &variables, nullptr) ||
        !GetStringParameter(2, cursor, label, error, &variables, nullptr) ||
        !GetIntParameter(3, cursor, mark, error, &variables, nullptr))
        return false;
    if (!checkOnly && index >= 1 && index <= 6)
        theCustomerUI().SetCheckboxInput(index - 1, label.c_str(), mark);
    return true;
}

bool GetTextEditFieldContents(Script &instance, const char *arguments, VariableList &variables,
                              bool checkOnly, EString &error)
{
    const char *cursor = arguments;
    int32_t index = 0;
    EString unused;
    Variable *result = nullptr;
    if (!StartFrame(instance, "Script::CustomerUI_GetTextEditFieldContents", cursor, error) ||
        !GetIntParameter(1, cursor, index, error, &variables, nullptr) ||
        !GetStringParameter(2, cursor, unused, error, &variables, &result))
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
    const char *cursor = arguments;
    int32_t index = 0;
    int32_t unused = 0;
    Variable *result = nullptr;
    if (!StartFrame(instance, "Script::CustomerUI_GetCheckboxState", cursor, error) ||
        !GetIntParameter(1, cursor, index, error, &variables, nullptr) ||
        !GetIntParameter(2, cursor, unused, error, &variables, &result))
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

bool StartCustomerUIFrame(const Script &instance, const char *displayName, const char *&cursor,
                          EString &error)
{
    return CheckCustomerUIHandle(instance, displayName, error) && ReadArgumentListStart(cursor, error);
}

bool StartEmptyCustomerUIFrame(const Script &instance, const char *displayName, const char *&cursor,
                               EString &error)
{
    return CheckCustomerUIHandle(instance, displayName, error) && ParseEmptyParameterList(cursor, error);
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
