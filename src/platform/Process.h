#pragma once
// Starting other programs, always with an argument list and never through a shell.
#include <memory>
#include <string>
#include <vector>

namespace platform {

class ProcessLauncher
{
  public:
    virtual ~ProcessLauncher() = default;
    // Starts program (a path, or a name looked up on PATH) with args; does not wait.
    // False with error text when it could not be started.
    virtual bool Start(const std::string &program, const std::vector<std::string> &args,
                       std::string *error) = 0;
    // Runs program with args, waits, captures standard output; exitCode gets its status.
    virtual bool Run(const std::string &program, const std::vector<std::string> &args, std::string *output,
                     int *exitCode, std::string *error) = 0;
};

// The launcher in use; tests install their own.
ProcessLauncher &Launcher();
// Installs a launcher (nullptr restores the real one); returns the previous one.
std::shared_ptr<ProcessLauncher> SetLauncher(std::shared_ptr<ProcessLauncher> launcher);

// The application the desktop has registered for a file type (shared MIME database globs for the
// type, "xdg-mime query default" for the desktop entry, its Exec line for the command). Found
// fills command with the Exec line; the others fill error with the reason.
enum class CommandLookup
{
    Found,
    NotRegistered, // no MIME type for the extension, or no default application for the type
    NoOpenAction,  // the desktop entry is there but has no Exec line
    Problem,       // the desktop entry or the xdg-mime query could not be read
};
// extension with or without its dot (".xls", "xls").
CommandLookup LookupRegisteredCommand(const std::string &extension, std::string &command, std::string *error);
// Splits a desktop-entry Exec line into program and arguments (its quoting rules, no shell) and
// puts file wherever a file or URL field code stands (%f %F %u %U), inside quotes too (a quoted
// word stays one argument), or appends it when none does.
// False when the line holds no program.
bool ExpandDesktopCommand(const std::string &exec, const std::string &file, std::string &program,
                          std::vector<std::string> &args);
// Lets the desktop open file with its own choice of application (xdg-open); does not wait.
bool OpenWithDesktop(const std::string &file, std::string *error);

} // namespace platform
