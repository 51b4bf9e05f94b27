#include "Ostravo/TextFormat.h"
#include "script/Arguments.h"
#include "script/ParseHelpers.h"
#include "script/Script.h"

#include <exception>

namespace {

using namespace script_parse;

// Obsolete commands that fail in both passes without reading their arguments.
const char *ObsoleteMessage(int id)
{
    switch (id) {
    case cmd::SetPinchValveState:
        return "SetPinchValveState() - Function is obsolete";
    case cmd::SetChannelDivider:
        return "SetChannelDivider() - This function is obsolete as of V1.445 - please use "
               "CustomerUI_SetFlowSplit(isplit).";
    case cmd::FG_SetFlowRates:
        return "FG_SetFlowRates() - not supported after V1.161";
    case cmd::FG_RunState:
        return "FG_RunState() - not supported after V1.161";
    case cmd::FG_Start:
        return "FG_Start() - not supported after V1.161";
    case cmd::FG_SetPressures:
    case cmd::FG_Stop:
    case cmd::FG_SetValveState:
    case cmd::FG_GetValveState:
    case cmd::FG_SetMultiValveState:
    case cmd::FG_GetPressures:
    case cmd::FG_GetFlowRates:
    case cmd::FG_StartRecordingVolume:
    case cmd::FG_GetVolume:
    case cmd::FG_DispenseAtConstPressure:
    case cmd::FG_DispenseAtConstFlowRate:
    case cmd::FG_IsDispensing:
    case cmd::FG_Logging:
    case cmd::FG_SetSensorRegulation:
    case cmd::FG_SetSensorCustomScale:
    case cmd::FG_SetSensorRegulationResponse:
    case cmd::FG_SetPressureResponse:
    case cmd::FG_StopRecordingVolume:
    case cmd::FG_StopDispensing:
    case cmd::FG_SetFullVolumeCapacity:
    case cmd::FG_SetInitialVolume:
    case cmd::FG_ShowVolumeInFluigentView:
        return "";
    case cmd::CustomerUI_SampleLoading:
    case cmd::CustomerUI_SampleEquilibrating:
    case cmd::CustomerUI_SelectFlowSplitPosition:
    case cmd::CustomerUI_SampleFlowing:
        return "";
    default:
        return nullptr;
    }
}

std::string ObsoleteText(int id)
{
    const char *message = ObsoleteMessage(id);
    if (message == nullptr)
        return {};
    if (*message != '\0')
        return message;
    const std::string name = CommandName(id);
    if (name.compare(0, 3, "FG_") == 0)
        return name + "() - not supported after V1.491";
    return name + "() is obsolete. Please use ShowVideo()";
}

bool EmptySyringe(const char *arguments, VariableList &variables, bool checkOnly, EString &error)
{
    const char *cursor = arguments;
    int32_t syringe = 0;
    if (!ReadArgumentListStart(cursor, error) ||
        !GetIntParameter(1, cursor, syringe, error, &variables, nullptr))
        return false;
    if (checkOnly)
        return true;
    if (syringe > 2 || syringe < 0)
        SetError(error, "EmptySyringe() isyringe must be equal to 0 (both) 1 or 2");
    else
        SetError(error, "EmptySyringe() - Function is obsolete");
    return false;
}

// Runs the handler of id; nameId names the command that was called. loading is the caller's
// check-only flag, checkOnly the one the handler gets (forced for the validating aliases).
bool CallHandler(Script &instance, int id, int nameId, const char *arguments, VariableList &variables,
                 bool loading, bool checkOnly, EString &error)
{
    const CommandHandler &handler = RegisteredCommandHandler(id);
    if (!handler) {
        // Known commands whose module is not part of this build load, and fail when reached.
        if (loading)
            return true;
        SetError(error, FormatText("%s() - not available in this build.", CommandName(nameId)));
        return false;
    }
    try {
        return handler(instance, arguments, variables, checkOnly, error);
    } catch (const std::exception &e) {
        SetError(error, FormatText("%s() - %s", CommandName(nameId), e.what()));
    } catch (...) {
        SetError(error, FormatText("%s() - unexpected failure", CommandName(nameId)));
    }
    return false;
}

} // namespace

bool IsDispatcherCommand(int id)
{
    switch (id) {
    case cmd::EmptySyringe:
    case cmd::ResetDIO:
    case cmd::StartDisplayRotationCorrectedImages:
    case cmd::EndDisplayRotationCorrectedImages:
    case cmd::ValidateDispense:
    case cmd::ValidateAspirate:
    case cmd::GetCartridgeState:
        return true;
    default:
        return ObsoleteMessage(id) != nullptr;
    }
}

bool Script::CallBuiltInFunction(int id, const char *arguments, VariableList &variables, bool checkOnly,
                                 EString &error)
{
    if (id < 0 || id >= kCommandCount) {
        SetError(error, FormatText("Unknown function index: %ld", static_cast<long>(id)));
        return false;
    }
    if (arguments == nullptr)
        arguments = "";
    switch (id) {
    case cmd::EmptySyringe:
        return EmptySyringe(arguments, variables, checkOnly, error);
    case cmd::ResetDIO:
    case cmd::StartDisplayRotationCorrectedImages:
    case cmd::EndDisplayRotationCorrectedImages:
        return true; // argument text not examined
    case cmd::ValidateDispense:
        return CallHandler(*this, cmd::Dispense, id, arguments, variables, checkOnly, true, error);
    case cmd::ValidateAspirate:
        return CallHandler(*this, cmd::Aspirate, id, arguments, variables, checkOnly, true, error);
    case cmd::GetCartridgeState:
        return CallHandler(*this, cmd::GetClampState, id, arguments, variables, checkOnly, checkOnly, error);
    default:
        break;
    }
    const std::string obsolete = ObsoleteText(id);
    if (!obsolete.empty()) {
        SetError(error, obsolete);
        return false;
    }
    return CallHandler(*this, id, id, arguments, variables, checkOnly, checkOnly, error);
}
