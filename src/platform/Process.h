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
    virtual bool Start(const std::string &program, const std::vector<std::string> &args, std::string *error) = 0;
    // Runs program with args, waits, captures standard output; exitCode gets its status.
    virtual bool Run(const std::string &program, const std::vector<std::string> &args, std::string *output,
                     int *exitCode, std::string *error) = 0;
};

// The launcher in use; tests install their own.
ProcessLauncher &Launcher();
// Installs a launcher (nullptr restores the real one); returns the previous one.
std::shared_ptr<ProcessLauncher> SetLauncher(std::shared_ptr<ProcessLauncher> launcher);

} // namespace platform
