// Time, log and sound commands of the script language. Each reads its arguments in order, returns
// after the last one while the script loads, and otherwise acts.
#include "script/commands/LogTimeSoundCommands.h"

#include "Ostravo/CachedLog.h"
#include "Ostravo/TextFormat.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Sound.h"
#include "script/Arguments.h"
#include "script/CommandTable.h"
#include "script/ParseHelpers.h"
#include "script/commands/CommandFiles.h"

#include <string>

namespace {

using script_files::TextOf;
using script_parse::SetError;

unsigned U(int value)
{
    return static_cast<unsigned>(value);
}

bool GetCurrentTimeAsString(Script &, const char *arguments, VariableList &variables, bool checkOnly,
                            EString &error)
{
    ArgumentReader args(arguments, variables, error);
    Variable *result = nullptr;
    int32_t unused = 0;
    // The int argument is not used, but a line without it does not load.
    if (!args.Start() || !args.TextResult(result) || !args.Int(unused))
        return false;
    if (checkOnly)
        return true;
    if (!CheckResultVariable("GetCurrentTimeAsString", 1, result, error))
        return false;
    const platform::LocalTime t = platform::Now();
    result->text.Assign(FormatText("%04u%02u%02u-%02u%02u%02u", U(t.year), U(t.month), U(t.day), U(t.hour),
                                   U(t.minute), U(t.second))
                            .c_str());
    return true;
}

// The folder of the session log, where a log file named without a folder goes.
std::string SessionLogFolder()
{
    const std::string &session = theApp.m_session_log_path;
    const size_t cut = platform::LastSeparator(session);
    if (cut != std::string::npos)
        return session.substr(0, cut + 1);
    return script_files::DataFolder() + "LOG/";
}

bool SaveTextToLogFile(Script &, const char *arguments, VariableList &variables, bool checkOnly,
                       EString &error)
{
    ArgumentReader args(arguments, variables, error);
    EString file, text;
    if (!args.Start() || !args.Text(file) || !args.Text(text))
        return false;
    if (checkOnly)
        return true;
    const platform::LocalTime t = platform::Now();
    const std::string line =
        FormatText("%02u/%02u/%04u %02u:%02u:%02u.%03u\t%s", U(t.month), U(t.day), U(t.year), U(t.hour),
                   U(t.minute), U(t.second), U(t.millisecond), TextOf(text));
    std::string path = TextOf(file);
    if (!script_files::HasFolderPart(path))
        path = SessionLogFolder() + path;
    // The line waits in the file's cached log until the cached-log worker writes it.
    return AddALine(path.c_str(), line.c_str(), error);
}

bool PlaySound(Script &, const char *arguments, VariableList &variables, bool checkOnly, EString &error)
{
    // The one argument is numbered 0 in the parser's messages.
    ArgumentReader args(arguments, variables, error, 0);
    EString name;
    if (!args.Start() || !args.Text(name))
        return false;
    if (checkOnly)
        return true;
    EString trimmed(script_files::DataFolder().c_str());
    trimmed.Trim();
    std::string folder = TextOf(trimmed);
    if (folder.empty() || (folder.back() != '/' && folder.back() != '\\'))
        folder += '/';
    folder += "Sounds";
    if (!platform::FolderExists(folder)) {
        SetError(error, FormatText("Directory %s does not exist.", folder.c_str()));
        return false;
    }
    // Only the name counts: a folder part cannot lead out of the Sounds folder. ".wav" is always
    // appended, so "beep.wav" looks for "beep.wav.wav".
    const std::string path = folder + "/" + script_files::FileNameOnly(TextOf(name)) + ".wav";
    if (!platform::FileExists(path)) {
        SetError(error, FormatText("File %s does not exist.", path.c_str()));
        return false;
    }
    std::string why;
    if (!platform::PlaySoundFile(path, &why)) {
        SetError(error, FormatText("Unable to play sound file: %s (%s)", path.c_str(), why.c_str()));
        return false;
    }
    return true;
}

} // namespace

void RegisterLogTimeSoundCommands()
{
    RegisterCommandHandler(cmd::GetCurrentTimeAsString, GetCurrentTimeAsString);
    RegisterCommandHandler(cmd::SaveTextToLogFile, SaveTextToLogFile);
    RegisterCommandHandler(cmd::PlaySound, PlaySound);
}
