#include "platform/PathParts.h"

#include <cstring>

namespace platform {

size_t LastSeparator(const std::string &path, const char *separators)
{
    return path.find_last_of(separators);
}

bool EndsWithSeparator(const std::string &path)
{
    return !path.empty() && (path.back() == '/' || path.back() == '\\');
}

std::string FileNameOf(const std::string &path, const char *separators)
{
    const size_t sep = LastSeparator(path, separators);
    return sep == std::string::npos ? path : path.substr(sep + 1);
}

std::string FolderPart(const std::string &path, const char *separators)
{
    const size_t sep = LastSeparator(path, separators);
    return sep == std::string::npos ? std::string() : path.substr(0, sep);
}

std::string FolderOf(const std::string &path, const char *separators)
{
    const size_t sep = LastSeparator(path, separators);
    if (sep == std::string::npos)
        return ".";
    return path.substr(0, sep == 0 ? 1 : sep);
}

std::string ExtensionOf(const std::string &path)
{
    const std::string name = FileNameOf(path);
    const size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::string FileTitleOf(const std::string &path)
{
    std::string name = FileNameOf(path);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos)
        name.erase(dot);
    return name;
}

std::string WithoutExtension(const std::string &path)
{
    return path.substr(0, path.size() - ExtensionOf(path).size());
}

std::string JoinPath(const std::string &folder, const std::string &name, const char *separators)
{
    if (folder.empty())
        return name;
    if (folder.back() != '\0' && std::strchr(separators, folder.back()) != nullptr)
        return folder + name;
    return folder + "/" + name;
}

} // namespace platform
