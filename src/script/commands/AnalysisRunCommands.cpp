// Image-analysis run commands. RunImageAnalysis checks its folders and parameter files as each
// argument is read, validates the whole run while the script loads, and starts the run as a job
// of the job table when the line runs; the other commands ask the table about a handle. The table
// takes its own lock, so the worker's status, result paths and finished flag are always read whole.
#include "script/commands/AnalysisRunCommands.h"

#include "Ostravo/TextFormat.h"
#include "analysis/ImageAnalysisJob.h"
#include "analysis/ImageAnalysisRun.h"
#include "platform/Files.h"
#include "script/Arguments.h"
#include "script/CommandTable.h"
#include "script/ParseHelpers.h"
#include "script/commands/CommandFiles.h"

#include <string>

namespace {

using script_files::TextOf;
using script_parse::SetError;

bool FolderArgument(ArgumentReader &args, const char *label, std::string &folder)
{
    EString value;
    if (!args.Text(value))
        return false;
    folder = TextOf(value);
    if (!platform::FolderExists(folder)) {
        SetError(args.Error(), FormatText("%s: %s directory does not exist", label, folder.c_str()));
        return false;
    }
    return true;
}

// A parameter file: its name and extension placed in libDir; it must exist. Empty stays empty.
bool ParamsFileArgument(ArgumentReader &args, const char *label, const std::string &libDir, std::string &path)
{
    EString value;
    if (!args.Text(value))
        return false;
    path.clear();
    if (!value.IsNonEmpty())
        return true;
    path = libDir;
    if (path.empty() || (path.back() != '/' && path.back() != '\\'))
        path += '/';
    path += script_files::FileNameOnly(value.c_str());
    if (!platform::FileExists(path)) {
        SetError(args.Error(), FormatText("%s: %s does not exist", label, path.c_str()));
        return false;
    }
    return true;
}

bool RunImageAnalysis(Script &, const char *arguments, VariableList &variables, bool checkOnly,
                      EString &error)
{
    ArgumentReader args(arguments, variables, error);
    std::string imageDir, libDir, cir, epi, lp, proj;
    double gdConc = 0.0, unused = 0.0;
    EString filter;
    int32_t upper = 0, lower = 0;
    Variable *result = nullptr;
    if (!args.Start() || !FolderArgument(args, "image_dir", imageDir) ||
        !FolderArgument(args, "lib_dir", libDir) || !ParamsFileArgument(args, "cir_params", libDir, cir) ||
        !ParamsFileArgument(args, "epi_params", libDir, epi) ||
        !ParamsFileArgument(args, "LP_curve_params", libDir, lp) ||
        !ParamsFileArgument(args, "proj_analysis_params", libDir, proj) || !args.Double(gdConc) ||
        !args.Text(filter) || !args.Int(upper) || !args.Int(lower) || !args.Double(unused) ||
        !args.IntResult(result))
        return false;
    // Without a variable for the handle a started run could never be followed or removed: refuse
    // before starting it.
    if (!checkOnly && !CheckResultVariable("RunImageAnalysis", 12, result, error))
        return false;
    const std::string pattern = filter.IsNonEmpty() ? filter.c_str() : "*.png";
    int32_t handle = 0;
    if (!RunImageAnalysisTool(imageDir.c_str(), cir.c_str(), epi.c_str(), lp.c_str(), gdConc, pattern.c_str(),
                              upper, lower, handle, error, checkOnly))
        return false;
    if (!checkOnly && result->type == kVariableInt)
        result->integer = handle;
    return true;
}

bool GetImageAnalysisRunStatus(Script &, const char *arguments, VariableList &variables, bool checkOnly,
                               EString &error)
{
    ArgumentReader args(arguments, variables, error);
    int32_t handle = 0;
    Variable *running = nullptr;
    Variable *status = nullptr;
    if (!args.Start() || !args.Int(handle) || !args.IntResult(running) || !args.TextResult(status))
        return false;
    if (checkOnly)
        return true;
    if (!CheckResultVariable("GetImageAnalysisRunStatus", 2, running, error) ||
        !CheckResultVariable("GetImageAnalysisRunStatus", 3, status, error))
        return false;
    ImageAnalysisJobState state;
    const bool found = ImageAnalysisJobTable::GetStatus(handle, state);
    if (running->type == kVariableInt)
        running->integer = found ? (state.running ? 1 : 0) : -1;
    if (found)
        status->text.Assign(state.status.c_str());
    return true;
}

bool GetImageAnalysisRunFiles(Script &, const char *arguments, VariableList &variables, bool checkOnly,
                              EString &error)
{
    ArgumentReader args(arguments, variables, error);
    int32_t handle = 0;
    if (!args.Start() || !args.Int(handle))
        return false;
    Variable *results[4] = {};
    for (int i = 0; i < 4; ++i)
        if (!args.TextResult(results[i]))
            return false;
    if (checkOnly)
        return true;
    for (int i = 0; i < 4; ++i)
        if (!CheckResultVariable("GetImageAnalysisRunFiles", i + 2, results[i], error))
            return false;
    ImageAnalysisResultFiles files;
    if (!ImageAnalysisJobTable::GetFiles(handle, files)) {
        SetError(error, "Invalid handle.");
        return false;
    }
    results[0]->text.Assign(files.analysis_file.c_str());
    results[1]->text.Assign(files.horizontal_projection_file.c_str());
    results[2]->text.Assign(files.vertical_projection_file.c_str());
    results[3]->text.Assign(files.image_log_file.c_str());
    return true;
}

bool DeleteImageAnalysisRunHandle(Script &, const char *arguments, VariableList &variables, bool checkOnly,
                                  EString &error)
{
    ArgumentReader args(arguments, variables, error);
    int32_t handle = 0;
    if (!args.Start() || !args.Int(handle))
        return false;
    if (checkOnly)
        return true;
    ImageAnalysisJobState state;
    if (!ImageAnalysisJobTable::GetStatus(handle, state)) {
        SetError(error, "No such image analysis handle.");
        return false;
    }
    if (state.running) {
        SetError(error, "Image analysis is still running for given handle.");
        return false;
    }
    EString why;
    if (!ImageAnalysisJobTable::Remove(handle, why)) {
        SetError(error, "Failed to remove.");
        return false;
    }
    return true;
}

} // namespace

void RegisterAnalysisRunCommands()
{
    RegisterCommandHandler(cmd::RunImageAnalysis, RunImageAnalysis);
    RegisterCommandHandler(cmd::GetImageAnalysisRunStatus, GetImageAnalysisRunStatus);
    RegisterCommandHandler(cmd::GetImageAnalysisRunFiles, GetImageAnalysisRunFiles);
    RegisterCommandHandler(cmd::DeleteImageAnalysisRunHandle, DeleteImageAnalysisRunHandle);
}
