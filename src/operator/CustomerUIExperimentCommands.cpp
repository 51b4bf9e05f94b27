// Experiment, flow-split, analysis and report commands of the operator screen. Every command runs
// on the script thread of the operator-screen handle; the analysis pipelines run there too, so the
// screen stays responsive while they work.
#include "operator/CustomerUIExperimentCommands.h"

#include "Ostravo/EString.h"
#include "Ostravo/LogError.h"
#include "Ostravo/TextFormat.h"
#include "app/AppGlobals.h"
#include "app/AppServices.h"
#include "app/PlexorinApp.h"
#include "app/SettingsFile.h"
#include "app/ViewGlobals.h"
#include "devices/CartridgeTypes.h"
#include "devices/ExperimentCreation.h"
#include "experiment/CellFractionation.h"
#include "experiment/ExperimentData.h"
#include "experiment/Montage.h"
#include "experiment/SampleFlowVideo.h"
#include "operator/CustomerUI.h"
#include "operator/CustomerUICommands.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "script/Arguments.h"
#include "script/CommandTable.h"
#include "script/ParseHelpers.h"
#include "script/Script.h"
#include "script/ScriptRuntime.h"

#include <opencv2/core.hpp>

#include <chrono>
#include <cmath>
#include <exception>
#include <string>

namespace {

using script_parse::SetError;

constexpr const char *kSourceFile = "CustomerUIExperimentCommands.cpp";

// An unknown analysis kind still holds the busy screen up this long.
constexpr uint32_t kUnknownKindWaitMs = 5000;

constexpr auto StartFrame = StartCustomerUIFrame;

// The command's own name for the result-variable message: the display name without "Script::".
const char *CommandOnly(const char *displayName)
{
    return displayName + 8;
}

// a joined with b as the program joins paths: a trimmed, a separator added unless it ends with
// one; an empty a gives b alone.
std::string Join(const std::string &a, const std::string &b)
{
    EString joined;
    joined.JoinPath(a.c_str(), b.c_str());
    return joined.c_str();
}

void WriteInt(Variable *variable, int32_t value)
{
    if (variable && variable->type == kVariableInt)
        variable->integer = value;
}

void WriteDouble(Variable *variable, double value)
{
    if (variable && variable->type == kVariableDouble)
        variable->number = value;
}

// ---- flow split, settings and status ----

bool DefineFlowSplitRange(Script &instance, const char *arguments, VariableList &variables, bool checkOnly,
                          EString &error)
{
    ArgumentReader args(arguments, variables, error);
    int32_t minSplit = 0;
    int32_t maxSplit = 0;
    if (!StartFrame(instance, "Script::CustomerUI_DefineFlowSplitRange", args) || !args.Int(minSplit) ||
        !args.Int(maxSplit))
        return false;
    if (checkOnly)
        return true;
    if (minSplit < -45 || minSplit > 0) {
        SetError(error, "min_split must be between -45 and 0");
        return false;
    }
    if (maxSplit < 0 || maxSplit > 45) {
        SetError(error, "max_split must be between 0 and 45");
        return false;
    }
    // The current split is not moved into the new range.
    _flow_split.Update([&](FlowSplit &split) {
        split.range_minimum = minSplit;
        split.range_maximum = maxSplit;
        split.lower_drag_limit = minSplit / 100.0 + 0.5;
        split.upper_drag_limit = maxSplit / 100.0 + 0.5;
    });
    return true;
}

bool GetFlowSplit(Script &instance, const char *arguments, VariableList &variables, bool checkOnly,
                  EString &error)
{
    ArgumentReader args(arguments, variables, error);
    Variable *result = nullptr;
    if (!StartFrame(instance, "Script::CustomerUI_GetFlowSplit", args) || !args.IntResult(result))
        return false;
    if (checkOnly)
        return true;
    if (!CheckResultVariable("CustomerUI_GetFlowSplit", 1, result, error))
        return false;
    // Halves away from zero: a fraction of 0.525 reads as 3.
    WriteInt(result, static_cast<int32_t>(std::lround(100.0 * _flow_split.Get().split_fraction - 50.0)));
    return true;
}

bool SetFlowSplit(Script &instance, const char *arguments, VariableList &variables, bool checkOnly,
                  EString &error)
{
    ArgumentReader args(arguments, variables, error);
    int32_t split = 0;
    if (!StartFrame(instance, "Script::CustomerUI_SetFlowSplit", args) || !args.Int(split))
        return false;
    if (checkOnly)
        return true;
    if (theCustomerUI().SetFlowSplit(split))
        return true;
    const FlowSplit range = _flow_split.Get();
    if (split < range.range_minimum)
        SetError(error, FormatText("isplit must be greater than or equal to %ld",
                                   static_cast<long>(range.range_minimum)));
    else
        SetError(error, FormatText("isplit must be less than or equal to %ld",
                                   static_cast<long>(range.range_maximum)));
    return false;
}

bool ShowSplitFlowLine(Script &instance, const char *arguments, VariableList &variables, bool checkOnly,
                       EString &error)
{
    ArgumentReader args(arguments, variables, error);
    int32_t on = 0;
    if (!StartFrame(instance, "Script::CustomerUI_ShowSplitFlowLine", args) || !args.Int(on))
        return false;
    if (!checkOnly)
        theCustomerUI().SetShowSplitLine(on != 0);
    return true;
}

bool GetAdminModeStatus(Script &instance, const char *arguments, VariableList &variables, bool checkOnly,
                        EString &error)
{
    ArgumentReader args(arguments, variables, error);
    Variable *result = nullptr;
    if (!StartFrame(instance, "Script::CustomerUI_GetAdminModeStatus", args) || !args.IntResult(result))
        return false;
    if (checkOnly)
        return true;
    if (!CheckResultVariable("CustomerUI_GetAdminModeStatus", 1, result, error))
        return false;
    WriteInt(result, theApp.m_admin_mode ? 1 : 0);
    return true;
}

bool GetCartridgeOffset(Script &instance, const char *arguments, VariableList &variables, bool checkOnly,
                        EString &error)
{
    // This command numbers its arguments from 0.
    ArgumentReader args(arguments, variables, error, 0);
    EString unusedText;
    Variable *result = nullptr;
    if (!StartFrame(instance, "Script::CustomerUI_GetCartridgeOffset", args) || !args.Text(unusedText) ||
        !args.IntResult(result))
        return false;
    if (checkOnly)
        return true;
    if (!CheckResultVariable("CustomerUI_GetCartridgeOffset", 1, result, error))
        return false;
    int offset = 0;
    EString why;
    const std::string barcode = CurrentCartridgeBarcode();
    if (!GetCartridgeTypeOffsetIntValues(_settings_ini_path.c_str(), barcode.c_str(), offset, why)) {
        error = why;
        return false;
    }
    WriteInt(result, offset);
    return true;
}

bool IsExperimentSettingFileValid(Script &instance, const char *arguments, VariableList &variables,
                                  bool checkOnly, EString &error)
{
    ArgumentReader args(arguments, variables, error);
    EString folder;
    Variable *result = nullptr;
    if (!StartFrame(instance, "Script::CustomerUI_IsExperimentSettingFileValid", args) ||
        !args.Text(folder) || !args.IntResult(result))
        return false;
    if (checkOnly)
        return true;
    if (!CheckResultVariable("CustomerUI_IsExperimentSettingFileValid", 2, result, error))
        return false;
    const EString settings = GetExperimentSettingsIniPath(EString(folder.c_str()));
    const bool valid = settings.IsNonEmpty() && ValidateSettingsFile(settings.c_str(), false);
    WriteInt(result, valid ? 1 : 0);
    return true;
}

bool CreateINIBackup(Script &instance, const char *arguments, VariableList &variables, bool checkOnly,
                     EString &error)
{
    // The frame's first three steps only: nothing behind "(" is examined.
    ArgumentReader args(arguments, variables, error);
    if (!StartFrame(instance, "Script::CustomerUI_CreateINIBackup", args))
        return false;
    if (checkOnly)
        return true;
    const platform::LocalTime t = platform::Now();
    const std::string name =
        FormatText("%d%02d%02d-%02d%02d-%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
    const std::string target = Join(Join(theApp.m_data_directory, "Backup"), "Plexorin.ini." + name);
    // The script is not told: a backup that cannot be written only reaches the error log.
    if (!platform::CopyFile(_settings_ini_path, target, false))
        LogError(kSourceFile, __LINE__,
                 FormatText("CustomerUI_CreateINIBackup() - Problem copying %s -> %s",
                            _settings_ini_path.c_str(), target.c_str()));
    return true;
}

// ---- experiments ----

bool CreateExperiment(Script &instance, const char *arguments, VariableList &variables, bool checkOnly,
                      EString &error)
{
    // This command numbers its arguments from 0.
    ArgumentReader args(arguments, variables, error, 0);
    EString name;
    Variable *result = nullptr;
    if (!StartFrame(instance, "Script::CustomerUI_CreateExperiment", args) || !args.Text(name) ||
        !args.TextResult(result))
        return false;
    if (checkOnly)
        return true;
    // Without a variable to tell the script the outcome, no experiment is made.
    if (!CheckResultVariable("CustomerUI_CreateExperiment", 1, result, error))
        return false;
    EString why;
    SetupNewExperiment(EString(name.c_str()), why);
    result->text.Assign(why.c_str());
    return true;
}

bool SetupResumeExperiment(Script &instance, const char *arguments, VariableList &variables, bool checkOnly,
                           EString &error)
{
    ArgumentReader args(arguments, variables, error);
    if (!StartEmptyCustomerUIFrame(instance, "Script::CustomerUI_SetupResumeExperiment", args))
        return false;
    if (checkOnly)
        return true;
    EString ignored;
    MarkExperimentResumed(ignored);
    return true;
}

bool GetImageFileForContrastAdjustment(Script &instance, const char *arguments, VariableList &variables,
                                       bool checkOnly, EString &error)
{
    const char *name = "Script::CustomerUI_GetImageFileForContrastAdjustment";
    ArgumentReader args(arguments, variables, error);
    EString folder;
    Variable *results[4] = {};
    if (!StartFrame(instance, name, args) || !args.Text(folder))
        return false;
    for (int i = 0; i < 4; ++i)
        if (!args.TextResult(results[i]))
            return false;
    if (checkOnly)
        return true;
    for (int i = 0; i < 4; ++i)
        if (!CheckResultVariable(CommandOnly(name), 2 + i, results[i], error))
            return false;

    std::string text;
    try {
        ExperimentData experiment;
        EString paths[3];
        const std::string path = platform::NormalizePath(folder.c_str());
        const bool read = experiment.Open(path) && experiment.ReadCaptureLog(experiment.m_log_path) &&
                          experiment.GetContrastReferenceImages(paths[0], paths[1], paths[2]);
        // Whatever was found is handed back, also after a failure.
        for (int i = 0; i < 3; ++i)
            results[i]->text.Assign(paths[i].c_str());
        if (!read)
            text = "Not a valid experiment.";
    } catch (const cv::Exception &) {
        text = "Not a valid experiment.";
    } catch (const std::exception &) {
        text = "Not a valid experiment.";
    }
    results[3]->text.Assign(text.c_str());
    return true;
}

// ---- analysis and report ----

// Runs one analysis pipeline on the experiment folder; output is relative to it.
bool RunAnalysis(int32_t kind, const std::string &folder, bool use1, bool use2, const std::string &output,
                 double &top, double &bottom, std::string &error)
{
    try {
        switch (kind) {
        case 0:
            return CreateSampleFlowVideo(folder, use1, use2, output, error);
        case 1:
            return CreateMontageImage(folder, use1, use2, output, error);
        case 2:
            return CreateMontageAndFractionationReport(folder, use1, use2, output, top, bottom, error);
        default:
            ScriptWaitMs(kUnknownKindWaitMs);
            return true;
        }
    } catch (const cv::Exception &e) {
        error = std::string("CustomerUI_PromptForAnalysis() - ") + e.what();
    } catch (const std::exception &e) {
        error = std::string("CustomerUI_PromptForAnalysis() - ") + e.what();
    }
    return false;
}

bool PromptForAnalysis(Script &instance, const char *arguments, VariableList &variables, bool checkOnly,
                       EString &error)
{
    const char *name = "Script::CustomerUI_PromptForAnalysis";
    ArgumentReader args(arguments, variables, error);
    EString experiment;
    EString subFolder;
    EString output;
    int32_t kind = 0;
    int32_t use1 = 0;
    int32_t use2 = 0;
    double top = 0.0;
    double bottom = 0.0;
    Variable *topVar = nullptr;
    Variable *bottomVar = nullptr;
    Variable *result = nullptr;
    if (!StartFrame(instance, name, args) || !args.Text(experiment) || !args.Text(subFolder) ||
        !args.Int(kind) || !args.Int(use1) || !args.Int(use2) || !args.Text(output) ||
        !args.Double(top, topVar) || !args.Double(bottom, bottomVar) || !args.TextResult(result))
        return false;
    if (checkOnly)
        return true;
    // A literal where a result belongs fails before anything is shown or analysed.
    if (!CheckResultVariable(CommandOnly(name), 7, topVar, error) ||
        !CheckResultVariable(CommandOnly(name), 8, bottomVar, error) ||
        !CheckResultVariable(CommandOnly(name), 9, result, error))
        return false;

    // The prompt screen the script filled serves as the busy screen; nothing waits for it.
    std::string ignored;
    theCustomerUI().SetState(PromptForInput, ignored);

    const std::string folder = platform::NormalizePath(experiment.c_str());
    const std::string analysisFolder = Join(folder, platform::NormalizePath(subFolder.c_str()));
    if (!CreateDirectoryPath(analysisFolder.c_str()) || !platform::FolderExists(analysisFolder)) {
        // No analysis runs, so there is nothing to report: the results stay as they were.
        SetError(error, "Unable to create analysis directory: " + analysisFolder);
        return false;
    }
    const std::string base = Join(platform::NormalizePath(subFolder.c_str()), output.c_str());

    std::string why;
    const bool ok = RunAnalysis(kind, folder, use1 != 0, use2 != 0, base, top, bottom, why);
    // The results are written before a failure is reported; only the fractionation computes new
    // fractions, the other kinds give the variables their own values back.
    WriteDouble(topVar, top);
    WriteDouble(bottomVar, bottom);
    result->text.Assign("Next");
    if (!ok) {
        SetError(error, why.empty()
                            ? "CustomerUI_PromptForAnalysis() - the analysis of " + folder + " failed."
                            : why);
        return false;
    }
    return true;
}

// "%ld%" of fraction x 100 + 0.5 truncated; a one-digit percent gets a blank in front.
std::string FractionText(double fraction)
{
    std::string text = FormatText("%ld", static_cast<long>(fraction * 100.0 + 0.5)) + "%";
    if (text.size() == 2)
        text = " " + text;
    return text;
}

bool PromptForMontageAndFractionationReport(Script &instance, const char *arguments, VariableList &variables,
                                            bool checkOnly, EString &error)
{
    const char *name = "Script::CustomerUI_PromptForMontageAndFractionationReport";
    ArgumentReader args(arguments, variables, error);
    EString folder;
    EString output;
    int32_t kind = 0;
    double top = 0.0;
    double bottom = 0.0;
    Variable *result = nullptr;
    if (!StartFrame(instance, name, args) || !args.Text(folder) || !args.Text(output) || !args.Int(kind) ||
        !args.Double(top) || !args.Double(bottom) || !args.TextResult(result))
        return false;
    if (checkOnly)
        return true;
    if (!CheckResultVariable(CommandOnly(name), 6, result, error))
        return false;

    CustomerUI &screen = theCustomerUI();
    if (kind != 0) {
        // A montage that is missing only leaves the image slot empty.
        const std::string montage =
            Join(platform::NormalizePath(folder.c_str()), output.c_str()) + ".small.png";
        std::string ignored;
        screen.SetImage(6, montage, "", ignored);
    }
    if (kind == 2) {
        screen.SetInput(0, "Top Fraction:  " + FractionText(top), "", 1);
        screen.SetInput(1, "Bottom Fraction:  " + FractionText(bottom), "", 1);
    }
    const std::string text = ShowCustomerUIStateAndWait(PromptForMontageReport);
    result->text.Assign(text.c_str());
    return true;
}

} // namespace

void RegisterCustomerUIExperimentCommands()
{
    RegisterCommandHandler(cmd::CustomerUI_DefineFlowSplitRange, DefineFlowSplitRange);
    RegisterCommandHandler(cmd::CustomerUI_GetFlowSplit, GetFlowSplit);
    RegisterCommandHandler(cmd::CustomerUI_SetFlowSplit, SetFlowSplit);
    RegisterCommandHandler(cmd::CustomerUI_ShowSplitFlowLine, ShowSplitFlowLine);
    RegisterCommandHandler(cmd::CustomerUI_GetAdminModeStatus, GetAdminModeStatus);
    RegisterCommandHandler(cmd::CustomerUI_GetCartridgeOffset, GetCartridgeOffset);
    RegisterCommandHandler(cmd::CustomerUI_IsExperimentSettingFileValid, IsExperimentSettingFileValid);
    RegisterCommandHandler(cmd::CustomerUI_CreateINIBackup, CreateINIBackup);
    RegisterCommandHandler(cmd::CustomerUI_CreateExperiment, CreateExperiment);
    RegisterCommandHandler(cmd::CustomerUI_SetupResumeExperiment, SetupResumeExperiment);
    RegisterCommandHandler(cmd::CustomerUI_GetImageFileForContrastAdjustment,
                           GetImageFileForContrastAdjustment);
    RegisterCommandHandler(cmd::CustomerUI_PromptForAnalysis, PromptForAnalysis);
    RegisterCommandHandler(cmd::CustomerUI_PromptForMontageAndFractionationReport,
                           PromptForMontageAndFractionationReport);
}
