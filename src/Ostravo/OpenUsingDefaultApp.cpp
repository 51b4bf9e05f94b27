#include "Ostravo/OpenUsingDefaultApp.h"

#include "Ostravo/LogError.h"
#include "platform/Process.h"
#include "platform/Ui.h"

#include <string>
#include <vector>

namespace {

const char kSourceFile[] = "OpenUsingDefaultApp.cpp";

std::string WithDot(const char *extension)
{
    const std::string ext = extension ? extension : "";
    // A new string rather than an insert at the front, which GCC's overlap check misreads.
    return !ext.empty() && ext[0] == '.' ? ext : "." + ext;
}

// Every separator becomes '/', and a doubled one a single one.
std::string NormalizedPath(const char *path)
{
    std::string result;
    for (const char *p = path; p && *p; ++p) {
        const char c = *p == '\\' ? '/' : *p;
        if (c == '/' && !result.empty() && result.back() == '/')
            continue;
        result += c;
    }
    return result;
}

// Commands registered the old way name the file as "%1": treat it as the file field code, so that
// it too is replaced by the path as one argument. "%%1" stays a literal "%1".
std::string FileCodeForPercentOne(const std::string &exec)
{
    std::string result;
    for (size_t i = 0; i < exec.size(); ++i) {
        if (exec[i] == '%' && i + 1 < exec.size()) {
            if (exec[i + 1] == '1') {
                result += "%f";
                ++i;
                continue;
            }
            if (exec[i + 1] == '%') {
                result += "%%";
                ++i;
                continue;
            }
        }
        result += exec[i];
    }
    return result;
}

// The last resort after the registered command: when the desktop cannot start anything either,
// the user is told which file stays unopened (a program that started counts as opened).
bool OpenWithShell(const std::string &path)
{
    std::string why;
    if (platform::OpenWithDesktop(path, &why))
        return true;
    LogError(kSourceFile, __LINE__, "OpenUsingDefaultApp () : " + why);
    platform::ui::MessageBox("Unable to open file: " + path + "\nNo program could be started to open it.",
                             "Vantelis", platform::ui::MbOk | platform::ui::MbIconError);
    return false;
}

} // namespace

bool LookupShellCommand(const char *extension, EString &command, EString &error)
{
    const std::string ext = WithDot(extension);
    std::string found;
    std::string why;
    switch (platform::LookupRegisteredCommand(ext, found, &why)) {
    case platform::CommandLookup::Found:
        command.Assign(found.c_str());
        return true;
    case platform::CommandLookup::NotRegistered:
        error.Assign(("Extension: " + ext + " is not registered.").c_str());
        return false;
    case platform::CommandLookup::NoOpenAction:
        error.Assign(("Extension: " + ext + " is registered.  But does not have action: open").c_str());
        return false;
    case platform::CommandLookup::Problem:
        break;
    }
    error.Assign(
        ("Problem looking up information for extension: " + ext + " Windows registry may be corrupt.")
            .c_str());
    return false;
}

bool OpenUsingDefaultApp(const char *path, const char *extension)
{
    const std::string file = NormalizedPath(path);
    EString own;
    own.SplitPath(file.c_str(), 0, 0, 1);
    const bool extensionGiven = extension && *extension;

    EString command;
    EString error;
    bool found = LookupShellCommand(extensionGiven ? extension : own.c_str(), command, error);
    if (!found && extensionGiven) {
        error.Assign("");
        found = LookupShellCommand(own.c_str(), command, error);
    }
    if (!found) {
        LogError(kSourceFile, __LINE__, error.c_str());
        OpenWithShell(file);
        return false;
    }

    std::string program;
    std::vector<std::string> args;
    std::string why;
    if (platform::ExpandDesktopCommand(FileCodeForPercentOne(command.c_str()), file, program, args) &&
        platform::Launcher().Start(program, args, &why))
        return true;
    if (why.empty())
        why = std::string("no program in the registered command: ") + command.c_str();
    LogError(kSourceFile, __LINE__, "OpenUsingDefaultApp () : " + why);
    OpenWithShell(file);
    return false;
}
