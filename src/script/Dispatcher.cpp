#include "Ostravo/Profile.h"
#include "Ostravo/ProfileValues.h"
#include "Ostravo/TextFormat.h"
#include "app/AppGlobals.h"
#include "app/BackgroundImages.h"
#include "app/CommandIds.h"
#include "app/DeviceServices.h"
#include "app/GuiSeam.h"
#include "app/IdleQueues.h"
#include "app/OperatorScreenServices.h"
#include "app/PlexorinApp.h"
#include "app/ViewGlobals.h"
#include "app/WorkflowTimer.h"
#include "devices/VideoSymbols.h"
#include "platform/Clock.h"
#include "platform/Ui.h"
#include "script/Arguments.h"
#include "script/ParseHelpers.h"
#include "script/Script.h"
#include "script/ScriptRuntime.h"

#include <opencv2/core.hpp>

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <string>

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
    ArgumentReader args(arguments, variables, error);
    int32_t syringe = 0;
    if (!args.Start() || !args.Int(syringe))
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

// ---- The commands the dispatcher carries out itself ----

constexpr const char *kSettingsSection = "ExperimentSettings";

// A result argument: an int variable receives the result, a double variable is accepted and left
// alone, a literal fails in both passes.
bool ReadIntResult(const char *name, ArgumentReader &args, Variable *&result)
{
    const int parameter = args.Number();
    if (!args.IntResult(result))
        return false;
    if (!result) {
        SetError(args.Error(),
                 FormatText("%s() - parameter %d must be an int variable to receive the result.", name,
                            parameter));
        return false;
    }
    return true;
}

void SetIntResult(Variable *result, int32_t value)
{
    if (result && result->type == kVariableInt)
        result->integer = value;
}

// Commands with one int result as their only argument.
bool IntResultCommand(const char *name, const char *arguments, VariableList &variables, bool checkOnly,
                      EString &error, int32_t (*value)())
{
    ArgumentReader args(arguments, variables, error);
    Variable *result = nullptr;
    if (!args.Start() || !ReadIntResult(name, args, result))
        return false;
    if (!checkOnly)
        SetIntResult(result, value());
    return true;
}

// Commands with one int argument; act runs at run time.
bool IntArgumentCommand(const char *arguments, VariableList &variables, bool checkOnly, EString &error,
                        const std::function<bool(int32_t value)> &act)
{
    ArgumentReader args(arguments, variables, error);
    int32_t value = 0;
    if (!args.Start() || !args.Int(value))
        return false;
    return checkOnly || act(value);
}

// Commands whose argument list is empty; act runs at run time.
bool EmptyListCommand(const char *arguments, bool checkOnly, EString &error, const std::function<bool()> &act)
{
    const char *cursor = arguments;
    if (!ParseEmptyParameterList(cursor, error))
        return false;
    return checkOnly || act();
}

void WriteCaptureSetting(const char *key, int32_t value)
{
    Ostravo::E_WritePrivateProfileString(kSettingsSection, key, std::to_string(value).c_str(),
                                         _settings_ini_path.c_str());
}

void PostToMainWindow(int commandId)
{
    if (AppFramework *framework = Framework())
        framework->PostCommand(commandId, 0);
}

// Sleeps whole seconds. A stop is noticed between the one-second steps, so Wait(1) always sleeps
// its second; the exit cuts a step short. Either way the command ends quietly and the executor,
// finding the run stopped, ends the run without a message.
bool Wait(Script &instance, const char *arguments, VariableList &variables, bool checkOnly, EString &error)
{
    return IntArgumentCommand(arguments, variables, checkOnly, error, [&](int32_t seconds) {
        if (seconds < 1 || seconds > 36000) {
            SetError(error, "Wait() seconds must be between 1 and 36000");
            return false;
        }
        for (int32_t step = 0; step < seconds; ++step) {
            if (step > 0 && !instance.m_running.load())
                return true;
            if (!ScriptWaitMs(1000))
                return true;
        }
        return true;
    });
}

bool CameraReady()
{
    return theApp.m_camera != nullptr && theApp.m_camera->IsInitialized();
}

// Captures one image of every active image type into the in-memory background images. The images
// held so far stay until the new set has been captured, so a failed capture loses nothing.
bool CaptureBackgroundImagesToMemory(const char *arguments, bool checkOnly, EString &error)
{
    const char *cursor = arguments;
    if (!ParseEmptyParameterList(cursor, error))
        return false;
    if (theApp.m_workflow_running) {
        SetError(error, "CaptureBackgroundImages() - Not available when experiment workflow is running.");
        return false;
    }
    if (checkOnly)
        return true;
    if (!CameraReady()) {
        SetError(error, FormatText("%s() - camara is not ready.", "Script::CaptureBackgroundImagesToMemory"));
        return false;
    }
    if (theApp.m_workflow_running) {
        SetError(error, FormatText("%s() - Can't capture background images while the image capture workflow "
                                   "is running.",
                                   "CMainFrame::CaptureBackgroundImages"));
        return false;
    }
    cv::Mat *captured[4] = {nullptr, nullptr, nullptr, nullptr};
    EString captureError;
    const bool ok = Capture().CaptureSingleImageSet(captureError, 0, captured);
    for (int type = 1; type <= 4; ++type) {
        std::unique_ptr<cv::Mat> image(captured[type - 1]);
        if (ok)
            SetBackgroundImage(theApp, type, image ? *image : cv::Mat());
    }
    if (!ok)
        SetError(error, captureError.c_str());
    return ok;
}

bool BackgroundFileCommand(const char *arguments, bool checkOnly, EString &error,
                           bool (*operation)(CPlexorinApp &, std::string &))
{
    return EmptyListCommand(arguments, checkOnly, error, [&] {
        std::string message;
        if (operation(theApp, message))
            return true;
        SetError(error, message);
        return false;
    });
}

// Stores on into flag and repaints the views when that changed it.
void SwitchDisplayFlag(std::atomic<bool> &flag, bool on)
{
    if (flag.exchange(on) != on)
        InvalidateAllViews();
}

bool CheckDioLine(int32_t port, int32_t line, EString &error)
{
    if (port != 0 && port != 1) {
        SetError(error, "iport must be either 0 or 1");
        return false;
    }
    if (port == 0 && (line < 0 || line > 7)) {
        SetError(error, "line number must be between 0 and 7 for port=0");
        return false;
    }
    if (port == 1 && (line < 0 || line > 3)) {
        SetError(error, "line number must be between 0 and 3 for port=1");
        return false;
    }
    return true;
}

// DIO_ConfigureLine and DIO_GetLineConfiguration: both only validate the port and line numbers.
bool DioLineCommand(const char *name, bool thirdIsResult, const char *arguments, VariableList &variables,
                    bool checkOnly, EString &error)
{
    ArgumentReader args(arguments, variables, error);
    int32_t port = 0;
    int32_t line = 0;
    int32_t configuration = 0;
    Variable *result = nullptr;
    if (!args.Start() || !args.Int(port) || !args.Int(line))
        return false;
    if (thirdIsResult ? !ReadIntResult(name, args, result) : !args.Int(configuration))
        return false;
    return checkOnly || CheckDioLine(port, line, error);
}

// Runs id when the dispatcher carries it out itself; false in handled for any other id.
bool RunOwnCommand(Script &instance, int id, const char *arguments, VariableList &variables, bool checkOnly,
                   EString &error, bool &handled)
{
    handled = true;
    switch (id) {
    case cmd::Wait:
        return Wait(instance, arguments, variables, checkOnly, error);
    case cmd::StopRecordingWorkflow:
        return EmptyListCommand(arguments, checkOnly, error, [] {
            // The workflow belongs to the user-interface thread; the stop also writes the queued
            // capture-log header lines.
            if (theApp.m_workflow_running)
                platform::ui::Ui().RunOnGuiThread([] { StopExperimentWorkflow(theApp); }, false);
            return true;
        });
    case cmd::GetImageCapturePeriodMS:
        return IntResultCommand("GetImageCapturePeriodMS", arguments, variables, checkOnly, error, [] {
            return Ostravo::ReadProfileInt(kSettingsSection, "ImageCapturePeriod", 1000,
                                           _settings_ini_path.c_str(), 32);
        });
    case cmd::SetImageCapturePeriodMS:
        return IntArgumentCommand(arguments, variables, checkOnly, error, [&](int32_t ms) {
            if (ms < 0 || ms > 3600000) {
                SetError(error,
                         "SetImageCapturePeriodMS () : value must be between 0 and 3600000, where zero "
                         "indicates that only a single image will be captured");
                return false;
            }
            WriteCaptureSetting("ImageCapturePeriod", ms);
            return true;
        });
    case cmd::GetImageCaptureCount:
        return IntResultCommand("GetImageCaptureCount", arguments, variables, checkOnly, error, [] {
            return Ostravo::ReadProfileInt(kSettingsSection, "ImageCaptureCount", 10,
                                           _settings_ini_path.c_str(), 32);
        });
    case cmd::SetImageCaptureCount:
        return IntArgumentCommand(arguments, variables, checkOnly, error, [&](int32_t count) {
            if (count < 1 || count > 10000) {
                SetError(error, "SetImageCaptureCount() : value must be between 1 and 10000");
                return false;
            }
            WriteCaptureSetting("ImageCaptureCount", count);
            return true;
        });
    case cmd::CaptureBackgroundImagesToMemory:
        return CaptureBackgroundImagesToMemory(arguments, checkOnly, error);
    case cmd::GetNumberOfBackgroundImagesLoaded:
        return IntResultCommand(
            "GetNumberOfBackgroundImagesLoaded", arguments, variables, checkOnly, error,
            [] { return static_cast<int32_t>(GetNumberOfBackgroundImagesLoaded(theApp)); });
    case cmd::SaveBackgroundImagesToFile:
        return BackgroundFileCommand(arguments, checkOnly, error, SaveBackgroundImagesToFile);
    case cmd::LoadBackgroundImagesFromFile:
        return BackgroundFileCommand(arguments, checkOnly, error, LoadBackgroundImagesFromFile);
    case cmd::ShowExperimentSettings:
        return EmptyListCommand(arguments, checkOnly, error, [] {
            DeviceSettings().RunExperimentSettingsDialog();
            return true;
        });
    case cmd::IsCameraAvailable:
        return IntResultCommand("IsCameraAvailable", arguments, variables, checkOnly, error,
                                [] { return static_cast<int32_t>(CameraReady() ? 1 : 0); });
    case cmd::IsTecanPumpAvailable:
        return IntResultCommand("IsTecanPumpAvailable", arguments, variables, checkOnly, error,
                                [] { return static_cast<int32_t>(theApp.m_pump_port != 0 ? 1 : 0); });
    case cmd::MfgTest_RemoveAllSymbolsOverVideo:
        return EmptyListCommand(arguments, checkOnly, error, [] { return ClearVideoSymbols(); });
    case cmd::ShowFluidicSystemState:
        return EmptyListCommand(arguments, checkOnly, error, [] {
            PostToMainWindow(cmd::kShowFluidicSystemState);
            return true;
        });
    case cmd::ZaberControlPanel:
        return EmptyListCommand(arguments, checkOnly, error, [&] {
            if (theApp.m_stage_port == 0) {
                SetError(error, "Zaber is not initialized.");
                return false;
            }
            PostToMainWindow(cmd::kZaberFocus);
            return true;
        });
    case cmd::StopLiveImageCapture:
        return EmptyListCommand(arguments, checkOnly, error, [] {
            OperatorScreenServices &screen = OperatorScreen();
            if (screen.Screen().HasWindow())
                screen.SetLiveImageStopTime(platform::Now());
            if (AppFramework *framework = Framework(); framework && framework->HasMainWindow())
                framework->PostCommand(cmd::kCloseLiveImage, 0);
            return true;
        });
    case cmd::ROI_Hide:
        return EmptyListCommand(arguments, checkOnly, error, [] {
            SwitchDisplayFlag(_roi_hidden, true);
            return true;
        });
    case cmd::ROI_Show:
        return EmptyListCommand(arguments, checkOnly, error, [] {
            SwitchDisplayFlag(_roi_hidden, false);
            return true;
        });
    case cmd::ROI_DrawProjectionBelow:
        return IntArgumentCommand(arguments, variables, checkOnly, error, [](int32_t flag) {
            SwitchDisplayFlag(_draw_projection_below_roi, flag != 0);
            return true;
        });
    case cmd::ROI_DrawProjectionRightSide:
        return IntArgumentCommand(arguments, variables, checkOnly, error, [](int32_t flag) {
            SwitchDisplayFlag(_draw_projection_right_of_roi, flag != 0);
            return true;
        });
    case cmd::OpenCreateVideoTool:
        return EmptyListCommand(arguments, checkOnly, error, [] {
            _show_video_dialog_request = true;
            if (AppFramework *framework = Framework())
                framework->WakeIdle();
            return true;
        });
    case cmd::DIO_Reset:
        return EmptyListCommand(arguments, checkOnly, error, [] { return true; });
    case cmd::DIO_ConfigureLine:
        return DioLineCommand("DIO_ConfigureLine", false, arguments, variables, checkOnly, error);
    case cmd::DIO_GetLineConfiguration:
        return DioLineCommand("DIO_GetLineConfiguration", true, arguments, variables, checkOnly, error);
    case cmd::DIO_RestoreDefaultState:
        return EmptyListCommand(arguments, checkOnly, error, [&] {
            return theApp.m_analysis_mode || DeviceSettings().LoadDigitalIoMapping(error);
        });
    default:
        handled = false;
        return false;
    }
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
    // The commands below have no routine of their own. A handler registered for one of them takes
    // its place (tests put a controllable command there).
    if (!RegisteredCommandHandler(id)) {
        bool handled = false;
        bool ok = false;
        try {
            ok = RunOwnCommand(*this, id, arguments, variables, checkOnly, error, handled);
        } catch (const std::exception &e) {
            SetError(error, FormatText("%s() - %s", CommandName(id), e.what()));
            return false;
        } catch (...) {
            SetError(error, FormatText("%s() - unexpected failure", CommandName(id)));
            return false;
        }
        if (handled)
            return ok;
    }
    const std::string obsolete = ObsoleteText(id);
    if (!obsolete.empty()) {
        SetError(error, obsolete);
        return false;
    }
    return CallHandler(*this, id, id, arguments, variables, checkOnly, checkOnly, error);
}
