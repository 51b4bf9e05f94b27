#pragma once
// Where the script commands put and find their files: the data folder (the folder of the main
// settings file) and file arguments of which only the name counts.
#include "app/PlexorinApp.h"
#include "platform/PathParts.h"

#include <string>

namespace script_files {

// The folder of the main settings file, with its closing separator ("" when the path has none).
inline std::string DataFolder()
{
    const std::string &ini = theApp.m_ini_path;
    const size_t cut = platform::LastSeparator(ini);
    return cut == std::string::npos ? std::string() : ini.substr(0, cut + 1);
}

// The text behind the last "\" or "/": a file argument's name and extension.
inline std::string FileNameOnly(const std::string &path)
{
    return platform::FileNameOf(path);
}

// Whether a path names a folder at all ("\" or "/" anywhere in it).
inline bool HasFolderPart(const std::string &path)
{
    return path.find_first_of("\\/") != std::string::npos;
}

// The text of an EString that may hold no text.
inline const char *TextOf(const EString &text)
{
    return text.c_str() ? text.c_str() : "";
}

} // namespace script_files
