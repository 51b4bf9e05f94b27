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

// Handle check, "(" and a non-empty rest: the frame every command with arguments shares.
bool StartFrame(const Script &instance, const char *name, const char *&cursor, EString &error)
{
    return CheckCustomerUIHandle(instance, name, error) && ReadArgumentListStart(cursor, error);
}

bool StartEmptyFrame(const Script &instance, const char *name, const char *&cursor, EString &error)
{
    return CheckCustomerUIHandle(instance, name, error) && ParseEmptyParameterList(cursor, error);
}

// Shows the state and waits for the operator event; the event is not reset first, so an event
// raised while the script was still filling the screen releases the wait at once.
std::string ShowAndWait(int32_t state)
{
    std::string ignored;
    theCustomerUI().SetState(state, ignored);
    std::string text;
    while (!theCustomerUI().WaitForEvent(kWaitForever, text)) {
    }
    return text;
}

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
        const std::string text = ShowAndWait(state);
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

} // namespace

bool CheckCustomerUIHandle(const Script &instance, const char *displayName, EString &error)
{
    if (instance.m_handle == SCRIPT_HANDLE_CUSTOMER_UI)
        return true;
    SetError(error, FormatText("%s() may only be called from the CustomerUI instance of the interpreter.",
                               displayName));
    return false;
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
}
