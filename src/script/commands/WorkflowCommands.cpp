// Experiment-settings, workflow, camera and file-name commands of the script language. The settings
// live in [ExperimentSettings] of the main settings file and are read and written key by key; the
// results of the writes are not examined. Every command reads its arguments in order, succeeds
// right after them while the script loads (SingleWorkflowImageCapture also needs a camera then),
// and otherwise acts.
#include "script/commands/WorkflowCommands.h"

#include "Ostravo/Profile.h"
#include "Ostravo/ProfileValues.h"
#include "Ostravo/TextFormat.h"
#include "app/AppCommands.h"
#include "app/AppGlobals.h"
#include "app/AppServices.h"
#include "app/DeviceServices.h"
#include "app/PlexorinApp.h"
#include "app/WorkflowTimer.h"
#include "devices/ImageCapture.h"
#include "experiment/ExperimentData.h"
#include "platform/Files.h"
#include "platform/SystemInfo.h"
#include "platform/Ui.h"
#include "script/Arguments.h"
#include "script/CommandTable.h"
#include "script/ParseHelpers.h"
#include "script/ScriptRuntime.h"

#include <opencv2/core.hpp>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <strings.h>

namespace {

using script_parse::SetError;

constexpr const char *kSection = "ExperimentSettings";
constexpr size_t kMaxNameLength = 32;

std::string ReadSetting(const char *key, uint32_t size = 1024)
{
    return Ostravo::ReadProfileString(kSection, key, "", size, _settings_ini_path.c_str());
}

void WriteSetting(const char *key, const std::string &value)
{
    Ostravo::E_WritePrivateProfileString(kSection, key, value.c_str(), _settings_ini_path.c_str());
}

bool HasInvalidFileNameChars(const char *text)
{
    for (const char *p = text; *p; ++p)
        if (!IsValidFileNameChar(*p))
            return true;
    return false;
}

// A result goes only into a variable of its own type; a literal (null) or another type is skipped.
void SetIntResult(Variable *variable, int32_t value)
{
    if (variable && variable->type == kVariableInt)
        variable->integer = value;
}

void SetTextResult(Variable *variable, const char *text)
{
    if (variable && variable->type == kVariableString)
        variable->text.Assign(text);
}

// The optional ok (int) and message (STRING) results of SetExperimentName, IsFilenameValid and
// IsFileExist: an argument that is missing or cannot be read is absent, its error dropped.
void ReadOptionalOkAndMessage(ArgumentReader &args, Variable *&ok, Variable *&message)
{
    message = nullptr;
    if (args.OptionalIntResult(ok))
        args.OptionalTextResult(message);
}

// "(" text [, ok [, message]]: the arguments of SetExperimentName, IsFilenameValid and IsFileExist.
bool ReadTextWithOkAndMessage(const char *arguments, VariableList &variables, EString &text, Variable *&ok,
                              Variable *&message, EString &error)
{
    ArgumentReader args(arguments, variables, error);
    if (!args.Start() || !args.Text(text))
        return false;
    ReadOptionalOkAndMessage(args, ok, message);
    return true;
}

// The one text result argument gets the named setting.
bool GetSettingText(const char *key, const char *arguments, VariableList &variables, bool checkOnly,
                    EString &error)
{
    ArgumentReader args(arguments, variables, error);
    Variable *result = nullptr;
    if (!args.Start() || !args.TextResult(result))
        return false;
    if (!checkOnly)
        SetTextResult(result, ReadSetting(key).c_str());
    return true;
}

bool GetExperimentName(Script &, const char *arguments, VariableList &variables, bool checkOnly,
                       EString &error)
{
    return GetSettingText("ExperimentName", arguments, variables, checkOnly, error);
}

bool GetDataDirectory(Script &, const char *arguments, VariableList &variables, bool checkOnly,
                      EString &error)
{
    return GetSettingText("DataDirectory", arguments, variables, checkOnly, error);
}

bool SetExperimentName(Script &, const char *arguments, VariableList &variables, bool checkOnly,
                       EString &error)
{
    EString name;
    Variable *ok = nullptr;
    Variable *message = nullptr;
    if (!ReadTextWithOkAndMessage(arguments, variables, name, ok, message, error))
        return false;
    if (checkOnly)
        return true;
    // With a message variable the outcome goes to the script, which may ask again.
    auto refuse = [&](const char *shortText, const std::string &failure) {
        if (message) {
            SetIntResult(ok, 0);
            SetTextResult(message, shortText);
            return true;
        }
        SetError(error, failure);
        return false;
    };
    const size_t length = std::strlen(name.c_str());
    if (HasInvalidFileNameChars(name.c_str())) {
        std::string shown = name.c_str();
        for (char &c : shown)
            if (!IsValidFileNameChar(c))
                c = '_';
        return refuse("Invalid experiment name. Must be valid Windows file name.",
                      FormatText("SetExperimentName() : %s has invalid characters, only valid Windows file "
                                 "name characters allowed.",
                                 shown.c_str()));
    }
    if (length > kMaxNameLength)
        return refuse("Experiment name 32 characters max.",
                      "SetExperimentName() : experiment name may be no longer than 32 characters.");
    if (length < 3)
        return refuse("Experiment name 3 characters min.",
                      "SetExperimentName() : experiment name must be at least 3 characters.");
    SetIntResult(ok, 1);
    SetTextResult(message, "");
    WriteSetting("ExperimentName", name.c_str());
    return true;
}

bool SetDataDirectory(Script &, const char *arguments, VariableList &variables, bool checkOnly,
                      EString &error)
{
    ArgumentReader args(arguments, variables, error);
    EString path;
    if (!args.Start() || !args.Text(path))
        return false;
    if (checkOnly)
        return true;
    std::error_code ec;
    if (path.c_str()[0] == '\0' || !std::filesystem::is_directory(path.c_str(), ec)) {
        SetError(error,
                 FormatText("SetDataDirectory() : \"%s\" is not an existing directory.", path.c_str()));
        return false;
    }
    WriteSetting("DataDirectory", path.c_str());
    return true;
}

bool ImageTypeInRange(int32_t itype)
{
    return itype >= 1 && itype <= 4;
}

std::string TypeKey(const char *key, int32_t itype)
{
    return FormatText("%s%d", key, static_cast<int>(itype));
}

bool GetImageTypeDescription(Script &, const char *arguments, VariableList &variables, bool checkOnly,
                             EString &error)
{
    ArgumentReader args(arguments, variables, error);
    int32_t itype = 0;
    Variable *active = nullptr;
    Variable *name = nullptr;
    Variable *exposure = nullptr;
    if (!args.Start() || !args.Int(itype) || !args.IntResult(active) || !args.TextResult(name) ||
        !args.IntResult(exposure))
        return false;
    if (checkOnly)
        return true;
    if (!ImageTypeInRange(itype)) {
        SetError(error, "GetImageTypeDescription() : itype must be an integer between 1 and 4");
        return false;
    }
    const std::string isActive = ReadSetting(TypeKey("IsActive", itype).c_str(), 9);
    const std::string typeName = ReadSetting(TypeKey("ImageTypeName", itype).c_str());
    const std::string exposureText = ReadSetting(TypeKey("ImageTypeExposure", itype).c_str(), 31);
    int exposureUs = 100;
    if (std::sscanf(exposureText.c_str(), "%d", &exposureUs) != 1)
        exposureUs = 100;
    SetIntResult(active, strcasecmp(isActive.c_str(), "TRUE") == 0 ? 1 : 0);
    SetTextResult(name, typeName.c_str());
    SetIntResult(exposure, exposureUs);
    return true;
}

bool SetImageTypeDescription(Script &, const char *arguments, VariableList &variables, bool checkOnly,
                             EString &error)
{
    ArgumentReader args(arguments, variables, error);
    int32_t itype = 0;
    int32_t active = 0;
    EString name;
    int32_t exposureUs = 0;
    if (!args.Start() || !args.Int(itype) || !args.Int(active) || !args.Text(name) || !args.Int(exposureUs))
        return false;
    if (checkOnly)
        return true;
    if (!ImageTypeInRange(itype)) {
        SetError(error, "SetImageTypeDescription() : itype must be an integer between 1 and 4");
        return false;
    }
    if (std::strlen(name.c_str()) > kMaxNameLength) {
        SetError(error, "SetImageTypeDescription() : name may not be more than 32 characters");
        return false;
    }
    if (HasInvalidFileNameChars(name.c_str())) {
        SetError(error, "SetImageTypeDescription() : name may only contain valid Windows file name chacters");
        return false;
    }
    if (exposureUs < 29 || exposureUs > 1000000) {
        SetError(error, "SetImageTypeDescription() exp_us must be between 29 and 1000000.");
        return false;
    }
    WriteSetting(TypeKey("IsActive", itype).c_str(), active == 1 ? "TRUE" : "FALSE");
    WriteSetting(TypeKey("ImageTypeName", itype).c_str(), name.c_str());
    WriteSetting(TypeKey("ImageTypeExposure", itype).c_str(),
                 FormatText("%ld", static_cast<long>(exposureUs)));
    return true;
}

bool StartRecordingWorkflow(Script &, const char *arguments, VariableList &variables, bool checkOnly,
                            EString &error)
{
    ArgumentReader args(arguments, variables, error);
    EString name;
    if (!args.Start() || !args.Text(name))
        return false;
    if (checkOnly)
        return true;
    if (CountChars(name.c_str(), 1) == 0) {
        SetError(error, "StartRecordingWorkflow() - exp_name may not be empty.");
        return false;
    }
    if (std::strlen(name.c_str()) > kMaxNameLength) {
        SetError(error, "StartRecordingWorkflow() - exp_name may not be longer than 32 characers.");
        return false;
    }
    if (HasInvalidFileNameChars(name.c_str())) {
        SetError(error, "StartRecordingWorkflow() - exp_name contains invalid characters. Only valid Windows "
                        "file name characters are allowed.");
        return false;
    }
    if (theApp.m_workflow_running) {
        SetError(error, "StartRecordingWorkflow() - Experiment recording workflow is already running.");
        return false;
    }
    if (theApp.m_analysis_mode) {
        SetError(error, "StartRecordingWorkflow() - this function not available when in analysis mode.");
        return false;
    }
    if (!theApp.m_camera) {
        SetError(error, "StartRecordingWorkflow() - no camera found.");
        return false;
    }
    WriteSetting("ExperimentName", name.c_str());
    // The workflow runs on the user-interface thread's timer; the command does not wait for it.
    platform::ui::Ui().RunOnGuiThread([] { StartExperimentWorkflow(theApp); }, false);
    return true;
}

bool SingleWorkflowImageCapture(Script &, const char *arguments, VariableList &variables, bool checkOnly,
                                EString &error)
{
    ArgumentReader args(arguments, variables, error);
    EString imageType;
    if (!args.Start() || !args.Text(imageType))
        return false;
    if (!theApp.m_camera) {
        SetError(error, "SingleWorkflowImageCapture() - no camera");
        return false;
    }
    if (checkOnly)
        return true;
    const char *type = imageType.c_str();
    if (*type != '\0') {
        if (std::strlen(type) > kMaxNameLength) {
            SetError(error,
                     "SingleWorkflowImageCapture() - image type must not be longer than 32 characters");
            return false;
        }
        if (HasInvalidFileNameChars(type)) {
            SetError(error,
                     "SingleWorkflowImageCapture() - image type must be a valid Windows file name string");
            return false;
        }
        bool found = false;
        for (int32_t n = 1; n <= 4 && !found; ++n)
            found = ReadSetting(TypeKey("ImageTypeName", n).c_str()) == type;
        if (!found) {
            SetError(
                error,
                "SingleWorkflowImageCapture() - the given image type not found in ExperimentSettings.ini");
            return false;
        }
    }
    if (theApp.m_analysis_mode) {
        SetError(error, "SingleWorkflowImageCapture() - this function not available when in analysis mode");
        return false;
    }
    if (theApp.m_workflow_running) {
        SetError(error, "SingleWorkflowImageCapture() - Can't capture image while image workflow is active.");
        return false;
    }
    EString captureError;
    const bool anyType = CountChars(type, 1) == 0;
    if (!CaptureSingleImageSet(captureError, anyType ? nullptr : type, nullptr)) {
        SetError(error, FormatText("SingleWorkflowImageCapture() - %s", captureError.c_str()));
        return false;
    }
    return true;
}

bool InitializeCamera(Script &, const char *arguments, VariableList &variables, bool checkOnly,
                      EString &error)
{
    ArgumentReader args(arguments, variables, error);
    Variable *ok = nullptr;
    Variable *message = nullptr;
    if (!args.Start() || !args.IntResult(ok) || !args.TextResult(message))
        return false;
    if (checkOnly)
        return true;
    if (!theApp.m_camera) {
        SetIntResult(ok, 0);
        SetTextResult(message, "Camera object was not initialized on startup.");
        return true;
    }
    EString cameraError;
    if (theApp.m_camera->Initialize(cameraError, true)) {
        SetIntResult(ok, 1);
    } else {
        SetIntResult(ok, 0);
        SetTextResult(message, cameraError.c_str());
    }
    return true;
}

bool AutoDetectSplitLineZeroPosition(Script &, const char *arguments, VariableList &variables, bool checkOnly,
                                     EString &error)
{
    ArgumentReader args(arguments, variables, error);
    if (!args.Empty())
        return false;
    if (checkOnly)
        return true;
    const std::string folder = ReadSetting("ExperimentDirectory");
    const EString settingsPath = GetExperimentSettingsIniPath(EString(folder.c_str()));
    // Without the experiment's settings file there is nowhere to store a detection: nothing is
    // captured and nothing is written (an empty path would name a file in the working folder).
    if (settingsPath.c_str()[0] == '\0')
        return true;
    cv::Mat image;
    EString captureError;
    // The first image after a pause is not used.
    capture_single_active_image(image, EString(""), captureError, theApp);
    image.release();
    if (!capture_single_active_image(image, EString(""), captureError, theApp))
        return true;
    ExperimentData data;
    std::string detectError;
    data.DetectChannelPosition(settingsPath.c_str(), theApp.m_cartridge_barcode.c_str(), image, detectError);
    return true;
}

bool IsFilenameValid(Script &, const char *arguments, VariableList &variables, bool checkOnly, EString &error)
{
    EString name;
    Variable *ok = nullptr;
    Variable *message = nullptr;
    if (!ReadTextWithOkAndMessage(arguments, variables, name, ok, message, error))
        return false;
    if (checkOnly)
        return true;
    if (name.c_str()[0] == '\0') {
        SetIntResult(ok, 0);
        SetTextResult(message, "Filename can't be an empty string.");
    } else if (HasInvalidFileNameChars(name.c_str())) {
        SetIntResult(ok, 0);
        SetTextResult(message, "The entered filename has invalid character(s).");
    } else {
        SetIntResult(ok, 1);
        SetTextResult(message, "");
    }
    return true;
}

bool IsFileExist(Script &, const char *arguments, VariableList &variables, bool checkOnly, EString &error)
{
    EString path;
    Variable *exists = nullptr;
    Variable *message = nullptr;
    if (!ReadTextWithOkAndMessage(arguments, variables, path, exists, message, error))
        return false;
    if (checkOnly)
        return true;
    SetTextResult(message, "");
    std::error_code ec;
    const bool present = path.c_str()[0] != '\0' && std::filesystem::exists(path.c_str(), ec);
    SetIntResult(exists, present ? 1 : 0);
    return true;
}

bool GetSystemInfo(Script &, const char *arguments, VariableList &variables, bool checkOnly, EString &error)
{
    ArgumentReader args(arguments, variables, error);
    Variable *computer = nullptr;
    Variable *version = nullptr;
    if (!args.Start() || !args.TextResult(computer) || !args.TextResult(version))
        return false;
    if (checkOnly)
        return true;
    SetTextResult(computer, platform::ComputerName().c_str());
    SetTextResult(version, theApp.m_version.c_str());
    return true;
}

bool SaveTextToImageCaptureLogHeader(Script &, const char *arguments, VariableList &variables, bool checkOnly,
                                     EString &error)
{
    ArgumentReader args(arguments, variables, error);
    EString text;
    if (!args.Start() || !args.Text(text))
        return false;
    if (*args.Rest() != ')') {
        SetError(error, "Missing ) after string parameter.");
        return false;
    }
    if (checkOnly)
        return true;
    // A line that cannot be queued within the time limit is dropped without a message.
    QueueCaptureLogHeaderLine(EString(CaptureLogHeaderLine(platform::Now(), text.c_str()).c_str()));
    return true;
}

} // namespace

std::string CaptureLogHeaderLine(const platform::LocalTime &time, const char *text)
{
    return FormatText("%02u:%02u:%02u.%03u\t%s", static_cast<unsigned>(time.hour),
                      static_cast<unsigned>(time.minute), static_cast<unsigned>(time.second),
                      static_cast<unsigned>(time.millisecond), text);
}

void RegisterWorkflowCommands()
{
    RegisterCommandHandler(cmd::GetExperimentName, GetExperimentName);
    RegisterCommandHandler(cmd::SetExperimentName, SetExperimentName);
    RegisterCommandHandler(cmd::GetDataDirectory, GetDataDirectory);
    RegisterCommandHandler(cmd::SetDataDirectory, SetDataDirectory);
    RegisterCommandHandler(cmd::GetImageTypeDescription, GetImageTypeDescription);
    RegisterCommandHandler(cmd::SetImageTypeDescription, SetImageTypeDescription);
    RegisterCommandHandler(cmd::StartRecordingWorkflow, StartRecordingWorkflow);
    RegisterCommandHandler(cmd::SingleWorkflowImageCapture, SingleWorkflowImageCapture);
    RegisterCommandHandler(cmd::InitializeCamera, InitializeCamera);
    RegisterCommandHandler(cmd::AutoDetectSplitLineZeroPosition, AutoDetectSplitLineZeroPosition);
    RegisterCommandHandler(cmd::IsFilenameValid, IsFilenameValid);
    RegisterCommandHandler(cmd::IsFileExist, IsFileExist);
    RegisterCommandHandler(cmd::GetSystemInfo, GetSystemInfo);
    RegisterCommandHandler(cmd::SaveTextToImageCaptureLogHeader, SaveTextToImageCaptureLogHeader);
}
