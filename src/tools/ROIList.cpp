#include "tools/ROIList.h"

#include "Ostravo/LogError.h"
#include "Ostravo/Profile.h"
#include "app/PlexorinApp.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr const char *kRoiSection = "ROI";

const char *TextOf(const EString &text)
{
    return text.c_str() ? text.c_str() : "";
}

// "%lu" as the file's writer saw it: an unsigned long of 32 bits, so a negative text wraps into
// the 32-bit range ("-1" is 4294967295).
uint32_t As32Bits(unsigned long value)
{
    return static_cast<uint32_t>(value);
}

} // namespace

bool ParseRoiLine(const char *line, ROIObject &roi)
{
    if (line == nullptr || std::strncmp(line, "item", 4) != 0)
        return false;
    const char *p = line + 4;
    while (*p >= '0' && *p <= '9')
        ++p;
    if (*p != '=' || p[1] != '"')
        return false;
    const char *name = p + 2;
    const char *close = name;
    while (*close != '"' && *close != '\0' && close - name < ROIList::kMaxNameLength)
        ++close;
    // A name that runs to the end of the line or past the limit is not readable.
    if (*close != '"')
        return false;
    // The character behind the closing quote (a comma as written) is passed over unread, but never
    // the end of the line.
    if (close[1] == '\0')
        return false;
    unsigned long left = 0, right = 0, top = 0, bottom = 0;
    if (std::sscanf(close + 2, "%lu,%lu,%lu,%lu", &left, &right, &top, &bottom) != 4)
        return false;
    roi.m_name.AssignN(name, static_cast<int>(close - name));
    if (close == name)
        roi.m_name.Assign("");
    roi.left = As32Bits(left);
    roi.right = As32Bits(right);
    roi.top = As32Bits(top);
    roi.bottom = As32Bits(bottom);
    return true;
}

bool ROIList::LoadFromProfile(const char *file)
{
    std::vector<EString> lines;
    if (!Ostravo::E_ReadSection(kRoiSection, lines, file))
        return false;
    Reset();
    for (const EString &line : lines) {
        auto roi = std::make_unique<ROIObject>();
        if (ParseRoiLine(line.c_str(), *roi))
            Add(roi.release());
    }
    return true;
}

bool ROIList::SaveToProfile(const char *file) const
{
    const int32_t count = GetCount() < kMaxStoredRois ? GetCount() : kMaxStoredRois;
    std::vector<EString> lines;
    lines.reserve(count);
    for (int32_t i = 0; i < count; ++i) {
        const ROIObject *roi = GetAt(i);
        char values[64];
        std::snprintf(values, sizeof values, ",%u,%u,%u,%u", roi->left, roi->right, roi->top, roi->bottom);
        std::string line = "item" + std::to_string(i) + "=\"" + TextOf(roi->m_name) + "\"" + values;
        lines.emplace_back(line.c_str());
    }
    // The section holds no more than item0 to item99; say which ROIs stay out rather than lose them
    // silently.
    for (int32_t i = count; i < GetCount(); ++i) {
        std::string message = std::string("ROIList::SaveToProfile() - only ") +
                              std::to_string(kMaxStoredRois) +
                              " ROIs are stored; not stored: " + TextOf(GetAt(i)->m_name);
        LogError(__FILE_NAME__, __LINE__, message.c_str());
    }
    return Ostravo::E_ReplaceSection(kRoiSection, lines, file);
}

int32_t ROIList::FindStoragePosition(const char *name) const
{
    const ROIObject *found = FindByName(name);
    for (int32_t i = 0; found != nullptr && i < GetCount(); ++i)
        if (GetAt(i) == found)
            return i;
    return -1;
}

bool ROIList::CheckStorableName(const char *name, EString &error)
{
    const char *text = name ? name : "";
    if (std::strpbrk(text, "\"\r\n") != nullptr) {
        error.Assign("An ROI name cannot hold a double quote or a line break.");
        return false;
    }
    if (std::strlen(text) > static_cast<size_t>(kMaxNameLength)) {
        error.Assign("An ROI name cannot be longer than 127 characters.");
        return false;
    }
    return true;
}

bool ROIList::CheckRoomForNewRoi(EString &error) const
{
    if (GetCount() < kMaxStoredRois)
        return true;
    error.Assign("The ROI list holds 100 ROIs, as many as can be stored. Delete an ROI or change an existing "
                 "one instead.");
    return false;
}

bool FindRoiByName(const char *name, int32_t rect[4], EString &error)
{
    ROIList list;
    if (!list.LoadFromProfile(theApp.m_ini_path.c_str()))
        return false;
    const ROIObject *roi = list.FindByName(name ? name : "");
    if (roi == nullptr) {
        error.Assign("There is not ROI with name: ");
        error.Append(name ? name : "");
        return false;
    }
    rect[0] = static_cast<int32_t>(roi->left);
    rect[1] = static_cast<int32_t>(roi->top);
    rect[2] = static_cast<int32_t>(roi->right);
    rect[3] = static_cast<int32_t>(roi->bottom);
    return true;
}
