#include "tools/ImageFileList.h"

#include "Ostravo/EString.h"
#include "platform/Files.h"
#include "platform/PathParts.h"
#include "platform/Utf8Text.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr size_t kMaxText = 1022;

bool IsSeparator(char c)
{
    return c == '/' || c == '\\';
}

} // namespace

std::string ImageFileSearchPattern(const std::string &folderText, const std::string &filterText)
{
    const std::string filter = platform::TruncateUtf8(filterText, kMaxText);
    EString folder(platform::TruncateUtf8(folderText, kMaxText).c_str());
    folder.Trim();
    const std::string trimmed = folder.c_str();
    if (trimmed.empty())
        return filter;
    return IsSeparator(trimmed.back()) ? trimmed + filter : trimmed + "/" + filter;
}

bool ImageNameLess(const std::string &a, const std::string &b)
{
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
    });
}

bool ListImageFiles(const std::string &folderText, const std::string &filterText,
                    std::vector<std::string> &names)
{
    names.clear();
    const std::string pattern = ImageFileSearchPattern(folderText, filterText);
    const size_t cut = platform::LastSeparator(pattern);
    const std::string folder = cut == std::string::npos ? std::string(".") : pattern.substr(0, cut + 1);
    const std::string namePattern = platform::FileNameOf(pattern);
    // A pattern ending in a separator (an empty filter) matches nothing.
    if (namePattern.empty())
        return false;
    const std::vector<platform::DirEntry> entries = platform::ListFolder(folder, namePattern);
    for (const platform::DirEntry &entry : entries) {
        if (!entry.isFolder)
            names.push_back(entry.name);
    }
    std::stable_sort(names.begin(), names.end(), ImageNameLess);
    return !entries.empty();
}
