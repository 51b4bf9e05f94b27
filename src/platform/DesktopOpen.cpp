#include "platform/ErrorText.h"
#include "platform/Files.h"
#include "platform/Process.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace platform {

namespace {

std::string Lower(std::string text)
{
    for (char &c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string Trimmed(const std::string &text)
{
    size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return std::string();
    size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

std::string HomeFolder()
{
    const char *home = std::getenv("HOME");
    return home ? home : "";
}

// The XDG data folders, most important first: the user's own, then the system's.
std::vector<std::string> DataFolders()
{
    std::vector<std::string> folders;
    const char *dataHome = std::getenv("XDG_DATA_HOME");
    if (dataHome && *dataHome == '/')
        folders.push_back(dataHome);
    else if (!HomeFolder().empty())
        folders.push_back(HomeFolder() + "/.local/share");
    const char *dataDirs = std::getenv("XDG_DATA_DIRS");
    std::string dirs = (dataDirs && *dataDirs) ? dataDirs : "/usr/local/share/:/usr/share/";
    std::stringstream stream(dirs);
    std::string folder;
    while (std::getline(stream, folder, ':'))
        if (!folder.empty() && folder.front() == '/')
            folders.push_back(folder);
    return folders;
}

// MIME type of files ending in extension (with its dot), from the globs2 files of the shared
// MIME database: "weight:type:glob[:flags]". The heaviest simple "*.ext" glob wins; a glob
// flagged "cs" only matches with the same case.
std::string MimeTypeForExtension(const std::string &extension)
{
    std::string best;
    int bestWeight = -1;
    for (const std::string &folder : DataFolders()) {
        std::ifstream globs(folder + "/mime/globs2");
        std::string line;
        while (std::getline(globs, line)) {
            if (line.empty() || line[0] == '#')
                continue;
            std::vector<std::string> fields;
            std::stringstream stream(Trimmed(line));
            std::string field;
            while (std::getline(stream, field, ':'))
                fields.push_back(field);
            if (fields.size() < 3)
                continue;
            const std::string &glob = fields[2];
            bool caseSensitive = fields.size() > 3 && fields[3].find("cs") != std::string::npos;
            std::string wanted = "*" + extension;
            bool matches = caseSensitive ? glob == wanted : Lower(glob) == Lower(wanted);
            if (!matches)
                continue;
            int weight = std::atoi(fields[0].c_str());
            if (weight > bestWeight) {
                bestWeight = weight;
                best = fields[1];
            }
        }
        if (!best.empty())
            break; // the user's own database overrides the system's
    }
    return best;
}

// The value of key in group [Desktop Entry] of a desktop file, or false when absent.
bool DesktopEntryValue(std::istream &file, const std::string &key, std::string &value)
{
    std::string line;
    bool inEntry = false;
    while (std::getline(file, line)) {
        line = Trimmed(line);
        if (line.empty() || line[0] == '#')
            continue;
        if (line[0] == '[') {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        if (!inEntry)
            continue;
        size_t equals = line.find('=');
        if (equals == std::string::npos || Trimmed(line.substr(0, equals)) != key)
            continue;
        value = Trimmed(line.substr(equals + 1));
        return true;
    }
    return false;
}

// Undoes the escapes of a desktop-file string value (\s \n \t \r \\).
std::string UnescapeValue(const std::string &value)
{
    std::string result;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            result += value[i];
            continue;
        }
        char next = value[++i];
        switch (next) {
        case '\\':
            result += '\\';
            break;
        case 's':
            result += ' ';
            break;
        case 'n':
            result += '\n';
            break;
        case 't':
            result += '\t';
            break;
        case 'r':
            result += '\r';
            break;
        default:
            result += '\\';
            result += next;
            break;
        }
    }
    return result;
}

} // namespace

CommandLookup LookupRegisteredCommand(const std::string &extension, std::string &command, std::string *error)
{
    std::string ext = extension;
    if (ext.empty() || ext[0] != '.')
        ext = "." + ext;
    std::string mime = MimeTypeForExtension(ext);
    if (mime.empty()) {
        SetError(error, "no MIME type is known for " + ext);
        return CommandLookup::NotRegistered;
    }
    std::string output, why;
    int exitCode = 0;
    if (!Launcher().Run("xdg-mime", {"query", "default", mime}, &output, &exitCode, &why)) {
        SetError(error, why);
        return CommandLookup::Problem;
    }
    std::string desktopId = Trimmed(output);
    if (exitCode != 0 || desktopId.empty()) {
        SetError(error, "no application is registered for " + mime);
        return CommandLookup::NotRegistered;
    }
    if (desktopId.find('/') != std::string::npos) {
        SetError(error, "unexpected desktop entry name '" + desktopId + "'");
        return CommandLookup::Problem;
    }
    for (const std::string &folder : DataFolders()) {
        std::ifstream file(folder + "/applications/" + desktopId);
        if (!file)
            continue;
        std::string exec;
        if (!DesktopEntryValue(file, "Exec", exec) || exec.empty()) {
            SetError(error, "the desktop entry " + desktopId + " has no Exec line");
            return CommandLookup::NoOpenAction;
        }
        command = exec;
        return CommandLookup::Found;
    }
    SetError(error, "the desktop entry " + desktopId + " for " + mime + " was not found");
    return CommandLookup::Problem;
}

bool ExpandDesktopCommand(const std::string &exec, const std::string &file, std::string &program,
                          std::vector<std::string> &args)
{
    std::string line = UnescapeValue(exec);
    std::vector<std::string> words;
    std::vector<bool> quoted;
    std::string word;
    bool inWord = false, inQuotes = false, wordQuoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (inQuotes) {
            // Inside quotes a backslash escapes '"', '`', '$' and '\'.
            if (c == '\\' && i + 1 < line.size() &&
                std::string("\"`$\\").find(line[i + 1]) != std::string::npos)
                word += line[++i];
            else if (c == '"')
                inQuotes = false;
            else
                word += c;
        } else if (c == '"') {
            inQuotes = inWord = wordQuoted = true;
        } else if (c == ' ' || c == '\t') {
            if (inWord) {
                words.push_back(word);
                quoted.push_back(wordQuoted);
            }
            word.clear();
            inWord = wordQuoted = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) {
        words.push_back(word);
        quoted.push_back(wordQuoted);
    }

    // Every file code takes the one file. Field codes inside quotes are expanded too, as
    // commands registered the old way write "%1": the quoted word stays one argument.
    std::vector<std::string> expanded;
    bool fileGiven = false;
    for (size_t w = 0; w < words.size(); ++w) {
        const std::string &in = words[w];
        std::string out;
        bool keep = quoted[w]; // a word that was nothing but a dropped field code disappears
        for (size_t i = 0; i < in.size(); ++i) {
            if (in[i] != '%' || i + 1 == in.size()) {
                out += in[i];
                keep = true;
                continue;
            }
            char code = in[++i];
            switch (code) {
            case '%':
                out += '%';
                keep = true;
                break;
            case 'f':
            case 'F':
            case 'u':
            case 'U':
                out += file;
                keep = true;
                fileGiven = true;
                break;
            default: // %i %c %k and the deprecated codes: nothing to give
                break;
            }
        }
        if (keep)
            expanded.push_back(out);
    }
    if (expanded.empty())
        return false;
    if (!fileGiven)
        expanded.push_back(file);
    program = expanded.front();
    args.assign(expanded.begin() + 1, expanded.end());
    return !program.empty();
}

bool OpenWithDesktop(const std::string &file, std::string *error)
{
    return Launcher().Start("xdg-open", {NormalizePath(file)}, error);
}

} // namespace platform
