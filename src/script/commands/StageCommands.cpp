// Stage, focus-stack and temperature commands of the script language: thin checks in front of the
// stage driver, a focus series written as PNG files, and the instrument's temperatures.
#include "script/commands/StageCommands.h"

#include "Ostravo/CachedLog.h"
#include "Ostravo/Profile.h"
#include "Ostravo/TecanCentris.h"
#include "Ostravo/TextFormat.h"
#include "app/AppGlobals.h"
#include "app/DeviceServices.h"
#include "app/PlexorinApp.h"
#include "devices/ImageCapture.h"
#include "devices/Zaber.h"
#include "platform/Files.h"
#include "platform/PathParts.h"
#include "script/Arguments.h"
#include "script/CommandTable.h"
#include "script/ParseHelpers.h"

#include <opencv2/imgcodecs.hpp>

#include <cmath>
#include <cstring>
#include <memory>

namespace {

using script_parse::SetError;

// "X" is axis 0, "Z" the focus axis; nothing else.
bool AxisFromText(const char *name, const EString &text, ZaberAxis &axis, EString &error)
{
    if (std::strcmp(text.c_str(), "X") == 0) {
        axis = kZaberXAxis;
        return true;
    }
    if (std::strcmp(text.c_str(), "Z") == 0) {
        axis = kZaberFocusAxis;
        return true;
    }
    SetError(error, FormatText("%s() axis must have value \"X\" or \"Z\"", name));
    return false;
}

// The stage driver's start-up; a failure always carries a text.
bool StageReady(const char *name, EString &error)
{
    EString driverError;
    if (Zaber::Initialize(driverError))
        return true;
    if (driverError.IsNonEmpty())
        error = driverError;
    else
        SetError(error, FormatText("%s() - the stage is not available.", name));
    return false;
}

// A failed stage operation always reaches the script with a text.
bool StageResult(const char *name, bool ok, EString &error)
{
    if (!ok && !error.IsNonEmpty())
        SetError(error, FormatText("%s() - the stage did not answer.", name));
    return ok;
}

bool MoveCommand(const char *name, bool relative, const char *arguments, VariableList &variables,
                 bool checkOnly, EString &error)
{
    ArgumentReader args(arguments, variables, error);
    EString axisText;
    ZaberAxis axis = 0;
    double mm = 0.0;
    if (!args.Start() || !args.Text(axisText))
        return false;
    if (!relative && !AxisFromText(name, axisText, axis, error))
        return false;
    if (!args.Double(mm))
        return false;
    if (checkOnly)
        return true;
    if (relative && !AxisFromText(name, axisText, axis, error))
        return false;
    if (!(mm >= -200.0 && mm <= 200.0)) {
        SetError(error, FormatText("%s() position must be between -200 and +200 mm", name));
        return false;
    }
    if (!StageReady(name, error))
        return false;
    error.Assign("");
    return StageResult(
        name, relative ? Zaber::MoveRelative_mm(axis, mm, error) : Zaber::MoveToPosition_mm(axis, mm, error),
        error);
}

bool Home(Script &, const char *arguments, VariableList &variables, bool checkOnly, EString &error)
{
    ArgumentReader args(arguments, variables, error);
    EString axisText;
    ZaberAxis axis = 0;
    if (!args.Start() || !args.Text(axisText))
        return false;
    if (checkOnly)
        return true;
    if (!AxisFromText("ZB_Home", axisText, axis, error) || !StageReady("ZB_Home", error))
        return false;
    error.Assign("");
    return StageResult("ZB_Home", Zaber::Home(axis, error), error);
}

bool GetPosition(Script &, const char *arguments, VariableList &variables, bool checkOnly, EString &error)
{
    ArgumentReader args(arguments, variables, error);
    EString axisText;
    ZaberAxis axis = 0;
    Variable *result = nullptr;
    if (!args.Start() || !args.Text(axisText) || !AxisFromText("ZB_GetPosition_mm", axisText, axis, error) ||
        !args.DoubleResult(result))
        return false;
    if (checkOnly)
        return true;
    if (!StageReady("ZB_GetPosition_mm", error))
        return false;
    double mm = 0.0;
    error.Assign("");
    if (!StageResult("ZB_GetPosition_mm", Zaber::GetPosition_mm_s(axis, mm, error), error))
        return false;
    // A literal in place of the variable: nowhere to write.
    if (result && result->type == kVariableDouble)
        result->number = mm;
    return true;
}

bool WaitForMove(Script &, const char *arguments, VariableList &variables, bool checkOnly, EString &error)
{
    ArgumentReader args(arguments, variables, error);
    EString axisText;
    ZaberAxis axis = 0;
    if (!args.Start() || !args.Text(axisText) ||
        !AxisFromText("ZB_WaitForMoveToFinish", axisText, axis, error))
        return false;
    EString ignored;
    if (!Zaber::Initialize(ignored)) {
        SetError(error, "ZB_WaitForMoveToFinish() Zaber is not initialized.");
        return false;
    }
    if (checkOnly)
        return true;
    error.Assign("");
    return StageResult("ZB_WaitForMoveToFinish", WaitForMoveToFinish(axis, error), error);
}

std::string ReadExperimentSetting(const char *key)
{
    char buffer[1024] = {};
    if (!Ostravo::E_GetPrivateProfileString("ExperimentSettings", key, "", buffer, sizeof buffer,
                                            _settings_ini_path.c_str()))
        return {};
    return buffer;
}

bool CollectFocusStack(Script &, const char *arguments, VariableList &variables, bool checkOnly,
                       EString &error)
{
    static const char *const kName = "CollectFocusStack";
    ArgumentReader args(arguments, variables, error);
    EString axisText;
    ZaberAxis axis = 0;
    double start = 0.0;
    double step = 0.0;
    int32_t nsteps = 0;
    if (!args.Start() || !args.Text(axisText) || !AxisFromText(kName, axisText, axis, error) ||
        !args.Double(start))
        return false;
    const bool isX = axis == kZaberXAxis;
    if (!(start >= 0.0 && start <= (isX ? 100.0 : 25.0))) {
        SetError(error,
                 isX ? "CollectFocusStack() start_mm must have a value between 0 and 100 for the X axis"
                     : "CollectFocusStack() start_mm must have a value between 0 and 25 for the Z axis");
        return false;
    }
    if (!args.Double(step))
        return false;
    if (!(step >= -10.0 && step <= 10.0)) {
        SetError(error, "CollectFocusStack() step_mm must have a value between -10.0 and +10.0");
        return false;
    }
    if (!args.Int(nsteps))
        return false;
    if (nsteps < 1 || nsteps > 500) {
        SetError(error, "CollectFocusStack() nsteps must be a value between 1 and 500");
        return false;
    }
    if (!StageReady(kName, error))
        return false;
    if (theApp.m_analysis_mode) {
        SetError(error, "CollectFocusStack() - this function not available when in analysis mode");
        return false;
    }
    if (!theApp.m_camera) {
        SetError(error, "CollectFocusStack() - no camera");
        return false;
    }
    if (theApp.m_workflow_running) {
        SetError(error, "CollectFocusStack() - Can't capture image while image workflow is active.");
        return false;
    }
    if (checkOnly)
        return true;

    std::string folder;
    if (!MakeFocusStackFolder(ReadExperimentSetting("DataDirectory"), axisText.c_str(), platform::Now(),
                              folder, error))
        return false;
    std::string typeNames[4];
    for (int n = 0; n < 4; ++n) {
        EString name(ReadExperimentSetting(FormatText("ImageTypeName%d", n + 1).c_str()).c_str());
        name.SanitizeFileName();
        typeNames[n] = name.c_str();
    }
    for (int32_t k = 0; k <= nsteps; ++k) {
        error.Assign("");
        const bool moved =
            k == 0 ? Zaber::MoveToPosition_mm(axis, start, error) : Zaber::MoveRelative_mm(axis, step, error);
        if (!StageResult(kName, moved && WaitForMoveToFinish(axis, error), error))
            return false;
        cv::Mat *images[4] = {nullptr, nullptr, nullptr, nullptr};
        const bool captured = CaptureSingleImageSet(error, nullptr, images);
        std::unique_ptr<cv::Mat> owned[4];
        for (int n = 0; n < 4; ++n)
            owned[n].reset(images[n]);
        if (!captured) {
            if (!error.IsNonEmpty())
                SetError(error, "CollectFocusStack() - the image capture failed.");
            return false;
        }
        for (int n = 0; n < 4; ++n) {
            if (!owned[n])
                continue;
            const std::string file =
                FocusStackFileName(folder, typeNames[n], axisText.c_str(), k * step + start);
            bool written = false;
            try {
                written = cv::imwrite(file, *owned[n]);
            } catch (const cv::Exception &) {
                written = false;
            }
            if (!written) {
                SetError(error, FormatText("CollectFocusStack() - unable to write file: %s", file.c_str()));
                return false;
            }
        }
    }
    return true;
}

bool GetTemperatures(Script &, const char *arguments, VariableList &variables, bool checkOnly, EString &error)
{
    ArgumentReader args(arguments, variables, error);
    double values[4] = {};
    Variable *results[4] = {};
    int32_t writeLog = 0;
    if (!args.Start())
        return false;
    for (int i = 0; i < 4; ++i)
        if (!args.Double(values[i], results[i]))
            return false;
    if (!args.Int(writeLog))
        return false;
    if (checkOnly)
        return true;
    EString ignored;
    double degrees = 0.0;
    if (theApp.m_stage_port != 0 && Zaber::GetTemperature(degrees, ignored))
        values[0] = degrees;
    double pump1 = 0.0;
    double pump2 = 0.0;
    if (theApp.m_pump_port != 0 && TecanCentris::GetTemperature(theApp.m_pump_port, pump1, pump2, ignored)) {
        values[1] = pump1;
        values[2] = pump2;
    }
    if (theApp.m_camera && theApp.m_camera->GetTemperature(degrees, ignored))
        values[3] = degrees;
    for (int i = 0; i < 4; ++i)
        if (results[i] && results[i]->type == kVariableDouble)
            results[i]->number = values[i];
    if (writeLog != 0) {
        const std::string line =
            FormatText("T_ZStageDriver=%5.2lf\tT_Pump1=%5.2lf\tT_Pump2=%5.2lf\tT_Camera=%5.2lf", values[0],
                       values[1], values[2], values[3]);
        AddALine_ToDefaultLog(line.c_str(), ignored);
    }
    return true;
}

} // namespace

bool MakeFocusStackFolder(const std::string &dataDirectory, const char *axis, const platform::LocalTime &now,
                          std::string &folder, EString &error)
{
    std::string base = dataDirectory.substr(0, dataDirectory.find_first_of("\r\n"));
    const size_t first = base.find_first_not_of(" \t");
    const size_t last = base.find_last_not_of(" \t");
    base = first == std::string::npos ? std::string() : base.substr(first, last - first + 1);
    for (char &c : base)
        if (c == '\\')
            c = '/';
    if (base.empty()) {
        // Never fall back on the filesystem's root.
        SetError(error, "CollectFocusStack() - no DataDirectory is set in [ExperimentSettings].");
        return false;
    }
    if (base.back() != '/')
        base += '/';
    const std::string day =
        base + FormatText("%u%02u%02u", static_cast<unsigned>(now.year), static_cast<unsigned>(now.month),
                          static_cast<unsigned>(now.day));
    if (!platform::FolderExists(day) && !platform::MakeFolder(day)) {
        SetError(error, FormatText("CollectFocusStack() - unable to create directory: %s", day.c_str()));
        return false;
    }
    const std::string stack =
        day + "/" +
        FormatText("Stack%s_%04u%02u%02u-%02u%02u%02u", axis, static_cast<unsigned>(now.year),
                   static_cast<unsigned>(now.month), static_cast<unsigned>(now.day),
                   static_cast<unsigned>(now.hour), static_cast<unsigned>(now.minute),
                   static_cast<unsigned>(now.second));
    if (!platform::MakeNewFolder(stack)) {
        SetError(error, FormatText("CollectFocusStack() - unable to create directory: %s", stack.c_str()));
        return false;
    }
    folder = stack;
    return true;
}

std::string FocusStackFileName(const std::string &folder, const std::string &typeName, const char *axis,
                               double positionMm)
{
    const std::string name = platform::FileNameOf(folder, platform::kSlashOnly);
    const long micrometres = std::lround(positionMm * 1000.0);
    return FormatText("%s/%s_%s_%s%06ld.png", folder.c_str(), name.c_str(), typeName.c_str(), axis,
                      micrometres);
}

void RegisterStageCommands()
{
    RegisterCommandHandler(cmd::ZB_MoveToPosition_mm,
                           [](Script &, const char *a, VariableList &v, bool c, EString &e) {
                               return MoveCommand("ZB_MoveToPosition_mm", false, a, v, c, e);
                           });
    RegisterCommandHandler(cmd::ZB_MoveRelative_mm,
                           [](Script &, const char *a, VariableList &v, bool c, EString &e) {
                               return MoveCommand("ZB_MoveRelative_mm", true, a, v, c, e);
                           });
    RegisterCommandHandler(cmd::ZB_Home, Home);
    RegisterCommandHandler(cmd::ZB_GetPosition_mm, GetPosition);
    RegisterCommandHandler(cmd::ZB_WaitForMoveToFinish, WaitForMove);
    RegisterCommandHandler(cmd::CollectFocusStack, CollectFocusStack);
    RegisterCommandHandler(cmd::GetTemperatures, GetTemperatures);
}
