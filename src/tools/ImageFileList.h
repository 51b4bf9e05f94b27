#pragma once
// The image list of the tool windows that work on a folder of images: the folder and the filter
// the user typed give a search pattern, and the matching files (never folders) are listed in the
// order the list box shows them.
#include <string>
#include <vector>

// The trimmed folder text, a separator unless it already ends with one, and the filter as typed;
// the filter alone when the folder text is empty or blank (the current folder is searched then).
// Each text is used up to its first 1022 characters.
std::string ImageFileSearchPattern(const std::string &folderText, const std::string &filterText);

// Puts the names (with extension, without folder) of the files matching the pattern into names,
// sorted alphabetically without regard to case. The filter's '*' and '?' match without regard to
// case. True when the search found any entry, folders included; false when it found nothing or
// the folder cannot be read. names is replaced in either case.
bool ListImageFiles(const std::string &folderText, const std::string &filterText,
                    std::vector<std::string> &names);

// Orders names as the tools' sorted lists do: alphabetically, without regard to ASCII case, by
// character (img10 before img2).
bool ImageNameLess(const std::string &a, const std::string &b);
