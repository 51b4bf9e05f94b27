#pragma once
// Taking paths apart and putting them together as text, without looking at the file system.
// Stored paths may use '\' as well as '/', so by default both separate; code that works on
// paths of this system only (where '\' may be part of a name) passes kSlashOnly.
#include <cstddef>
#include <string>

namespace platform {

inline constexpr const char *kAnySeparator = "/\\";
inline constexpr const char *kSlashOnly = "/";

// Position of the last separator, npos when there is none.
size_t LastSeparator(const std::string &path, const char *separators = kAnySeparator);
// True when the last character is '/' or '\'.
bool EndsWithSeparator(const std::string &path);

// What follows the last separator: the whole path when there is none, empty when the path ends
// with one.
std::string FileNameOf(const std::string &path, const char *separators = kAnySeparator);
// What precedes the last separator, empty when there is none ("/name" also gives empty).
std::string FolderPart(const std::string &path, const char *separators = kAnySeparator);
// The folder holding path, as a path to open: what precedes the last separator, "." when there is
// none, and the separator itself when the only one leads ("/name" gives "/").
std::string FolderOf(const std::string &path, const char *separators = kAnySeparator);

// The extension of the file name with its '.' (from the name's last dot on); empty when the name
// has no dot.
std::string ExtensionOf(const std::string &path);
// The file name without its extension.
std::string FileTitleOf(const std::string &path);
// The path without the extension of its file name.
std::string WithoutExtension(const std::string &path);

// folder + '/' + name; no separator is added when folder is empty or already ends with one.
std::string JoinPath(const std::string &folder, const std::string &name,
                     const char *separators = kAnySeparator);

} // namespace platform
