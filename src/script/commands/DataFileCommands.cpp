// Data-file commands of the script language. Both only read their arguments while the script
// loads and act when the line runs.
#include "script/commands/DataFileCommands.h"

#include "Ostravo/FileCompare.h"
#include "Ostravo/OpenUsingDefaultApp.h"
#include "Ostravo/TextFormat.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "script/Arguments.h"
#include "script/CommandTable.h"
#include "script/ParseHelpers.h"
#include "script/commands/CommandFiles.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

using script_files::TextOf;
using script_parse::SetError;

unsigned U(int value)
{
    return static_cast<unsigned>(value);
}

// The file goes to the registered application as one argument, never through a shell; when no
// application could be started the command fails rather than trying again another way.
bool OpenFileUsingDefaultApp(Script &, const char *arguments, VariableList &variables, bool checkOnly,
                             EString &error)
{
    ArgumentReader args(arguments, variables, error);
    EString path, extension;
    if (!args.Start() || !args.Text(path) || !args.Text(extension))
        return false;
    if (checkOnly)
        return true;
    if (!OpenUsingDefaultApp(TextOf(path), extension.IsNonEmpty() ? extension.c_str() : nullptr)) {
        SetError(error, FormatText("Unable to open file: %s", TextOf(path)));
        return false;
    }
    return true;
}

std::string ReportHeader(const std::vector<EString> &names)
{
    std::string line = "TimeStamp\tVersion\tnrows";
    for (const EString &name : names)
        line += FormatText("\t%s", TextOf(name));
    return line + "\n";
}

std::string ReportRow(const std::vector<EString> &names, int32_t valueCount,
                      const std::vector<double> &maxima)
{
    const platform::LocalTime t = platform::Now();
    std::string line = FormatText("%02u/%02u/%04u %02u:%02u:%02u\t", U(t.month), U(t.day), U(t.year),
                                  U(t.hour), U(t.minute), U(t.second));
    line += FormatText("%s\t", theApp.m_version.c_str());
    line += FormatText("%ld", static_cast<long>(valueCount / static_cast<int32_t>(names.size())));
    for (size_t i = 0; i < names.size(); ++i) {
        char number[32] = {};
        FormatDouble(i < maxima.size() ? maxima[i] : 0.0, number);
        line += FormatText("\t%s", number);
    }
    return line + "\n";
}

bool CompareTwoDataFiles(Script &, const char *arguments, VariableList &variables, bool checkOnly,
                         EString &error)
{
    ArgumentReader args(arguments, variables, error);
    EString file1, file2, columns, report;
    if (!args.Start() || !args.Text(file1) || !args.Text(file2) || !args.Text(columns) || !args.Text(report))
        return false;
    if (checkOnly)
        return true;
    std::vector<EString> names;
    const int count = SplitIntoVector(TextOf(columns), names, '\t');
    if (count < 1) {
        SetError(error, "names parameter is invalid");
        return false;
    }
    names.resize(static_cast<size_t>(count));
    int32_t valueCount = 0;
    std::vector<double> maxima;
    EString compareError;
    if (!CompareColumnFiles(TextOf(file1), TextOf(file2), names, valueCount, maxima, compareError)) {
        SetError(error, TextOf(compareError));
        return false;
    }
    const std::string reportPath = TextOf(report);
    const bool existed = platform::FileExists(reportPath);
    std::FILE *out = reportPath.empty() ? nullptr : std::fopen(reportPath.c_str(), "ab");
    if (out == nullptr) {
        SetError(error, FormatText("Problem opening report file: %s", reportPath.c_str()));
        return false;
    }
    std::string text = existed ? std::string() : ReportHeader(names);
    text += ReportRow(names, valueCount, maxima);
    const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
    const bool closed = std::fclose(out) == 0;
    if (!written || !closed) {
        SetError(error, FormatText("Problem writing report file: %s", reportPath.c_str()));
        return false;
    }
    return true;
}

} // namespace

void RegisterDataFileCommands()
{
    RegisterCommandHandler(cmd::OpenFileUsingDefaultApp, OpenFileUsingDefaultApp);
    RegisterCommandHandler(cmd::CompareTwoDataFiles, CompareTwoDataFiles);
}
