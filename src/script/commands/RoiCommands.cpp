// Named-ROI commands of the script language. Every call reads the list afresh from section [ROI]
// of the main settings file into a list of its own; the writing commands save it back whole. No
// list stays in memory between commands.
#include "script/commands/RoiCommands.h"

#include "Ostravo/ProfileStorage.h"
#include "Ostravo/ProfileText.h"
#include "Ostravo/TextFormat.h"
#include "app/BackgroundImages.h"
#include "app/ToolServices.h"
#include "app/ViewGlobals.h"
#include "script/Arguments.h"
#include "script/CommandTable.h"
#include "script/ParseHelpers.h"
#include "script/commands/CommandFiles.h"
#include "tools/ROIList.h"

#include <cstring>
#include <string>

namespace {

using script_files::TextOf;
using script_parse::SetError;

constexpr int kMaxScriptRoiName = 32;
constexpr int32_t kMaxRoiCoordinate = 5000;
constexpr int32_t kMinRoiSize = 10;

enum class RoiSection
{
    Read,      // the list holds the section's ROIs
    Missing,   // no file or no section: an empty list
    Unreadable // the file or the section is there but cannot be read
};

// Loads [ROI] of the main settings file into list, telling a missing section from one that
// cannot be read.
RoiSection LoadRoiSection(ROIList &list)
{
    const char *file = theApp.m_ini_path.c_str();
    if (list.LoadFromProfile(file))
        return RoiSection::Read;
    std::string text, message;
    bool exists = false;
    if (Ostravo::LoadProfileText(file, text, exists, message) != Ostravo::ProfileRead::Ok)
        return RoiSection::Unreadable;
    if (!exists)
        return RoiSection::Missing;
    Ostravo::NormalizeLineEnds(text);
    return Ostravo::FindSection(text, "ROI") == Ostravo::kNoPos ? RoiSection::Missing
                                                                : RoiSection::Unreadable;
}

std::string UnreadableText()
{
    return FormatText("Unable to read section [ROI] of file: %s", theApp.m_ini_path.c_str());
}

// Writes list back as [ROI] of the main settings file; says so in error when it cannot.
bool SaveRoiSection(ROIList &list, EString &error)
{
    if (!list.SaveToProfile(theApp.m_ini_path.c_str())) {
        SetError(error, FormatText("Unable to save the ROIs to file: %s", theApp.m_ini_path.c_str()));
        return false;
    }
    return true;
}

bool RoiExists(Script &, const char *arguments, VariableList &variables, bool checkOnly, EString &error)
{
    ArgumentReader args(arguments, variables, error);
    EString name;
    Variable *found = nullptr;
    if (!args.Start() || !args.Text(name) || !args.IntResult(found))
        return false;
    if (checkOnly)
        return true;
    if (!CheckResultVariable("ROI_Exists", 2, found, error))
        return false;
    ROIList list;
    LoadRoiSection(list); // an unreadable section counts as an empty list
    if (found->type == kVariableInt)
        found->integer = list.FindByName(TextOf(name)) != nullptr ? 1 : 0;
    return true;
}

bool RoiRead(Script &, const char *arguments, VariableList &variables, bool checkOnly, EString &error)
{
    ArgumentReader args(arguments, variables, error);
    EString name;
    Variable *results[4] = {};
    if (!args.Start() || !args.Text(name))
        return false;
    for (int i = 0; i < 4; ++i)
        if (!args.IntResult(results[i]))
            return false;
    if (checkOnly)
        return true;
    for (int i = 0; i < 4; ++i)
        if (!CheckResultVariable("ROI_Read", i + 2, results[i], error))
            return false;
    ROIList list;
    LoadRoiSection(list);
    const ROIObject *roi = list.FindByName(TextOf(name));
    if (roi == nullptr)
        return true;
    const uint32_t values[4] = {roi->left, roi->right, roi->top, roi->bottom};
    for (int i = 0; i < 4; ++i)
        if (results[i]->type == kVariableInt)
            results[i]->integer = static_cast<int32_t>(values[i]);
    return true;
}

bool CheckScriptRoiName(const char *name, EString &error)
{
    if (*name == '\0')
        return true;
    if (std::strlen(name) > static_cast<size_t>(kMaxScriptRoiName)) {
        SetError(error, "Name may be no more than 32 characters");
        return false;
    }
    for (const char *p = name; *p; ++p) {
        const char c = *p;
        const bool allowed =
            (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
        if (!allowed) {
            SetError(error, "ROI names may only include letters, numbers and underscores.");
            return false;
        }
    }
    return true;
}

bool CheckRoiRectangle(int32_t left, int32_t right, int32_t top, int32_t bottom, EString &error)
{
    const char *problem = nullptr;
    if (int64_t{right} - left < kMinRoiSize)
        problem = "right - left must be at least 10";
    else if (int64_t{bottom} - top < kMinRoiSize)
        problem = "bottom - top must be at least 10";
    else if (left < 0)
        problem = "left must be at least 0";
    else if (top < 0)
        problem = "top must be at least 0";
    else if (right > kMaxRoiCoordinate)
        problem = "right may be no more than 5000";
    else if (bottom > kMaxRoiCoordinate)
        problem = "bottom may be no more than 5000";
    if (problem == nullptr)
        return true;
    SetError(error, problem);
    return false;
}

bool RoiWrite(Script &, const char *arguments, VariableList &variables, bool checkOnly, EString &error)
{
    ArgumentReader args(arguments, variables, error);
    EString name;
    int32_t left = 0, right = 0, top = 0, bottom = 0;
    if (!args.Start() || !args.Text(name) || !args.Int(left) || !args.Int(right) || !args.Int(top) ||
        !args.Int(bottom))
        return false;
    if (checkOnly)
        return true;
    if (!CheckScriptRoiName(TextOf(name), error) || !CheckRoiRectangle(left, right, top, bottom, error))
        return false;
    ROIList list;
    // Saving replaces the section whole: a section that could not be read must not be replaced by
    // one holding only this ROI.
    if (LoadRoiSection(list) == RoiSection::Unreadable) {
        SetError(error, UnreadableText());
        return false;
    }
    ROIObject *roi = list.FindByName(TextOf(name));
    if (roi == nullptr) {
        if (list.GetCount() >= ROIList::kMaxStoredRois) {
            SetError(error, "Can't write new ROI object because there are already 100 named ROI objects.");
            return false;
        }
        roi = new ROIObject;
        roi->m_name.Assign(TextOf(name));
        list.Add(roi);
    } else if (list.GetCount() > ROIList::kMaxStoredRois) {
        SetError(error, "Can't write new ROI object because there are already 100 named ROI objects.");
        return false;
    }
    roi->left = static_cast<uint32_t>(left);
    roi->right = static_cast<uint32_t>(right);
    roi->top = static_cast<uint32_t>(top);
    roi->bottom = static_cast<uint32_t>(bottom);
    return SaveRoiSection(list, error);
}

bool RoiRemove(Script &, const char *arguments, VariableList &variables, bool checkOnly, EString &error)
{
    ArgumentReader args(arguments, variables, error);
    EString name;
    if (!args.Start() || !args.Text(name))
        return false;
    if (checkOnly)
        return true;
    ROIList list;
    LoadRoiSection(list); // an unreadable section holds no ROI to remove, so nothing is saved
    const int32_t position = list.FindStoragePosition(TextOf(name));
    if (position < 0) {
        SetError(error, FormatText("There is no ROI with name: %s", TextOf(name)));
        return false;
    }
    list.RemoveAt(position);
    return SaveRoiSection(list, error);
}

bool RoiChooseByName(Script &, const char *arguments, VariableList &variables, bool checkOnly, EString &error)
{
    ArgumentReader args(arguments, variables, error);
    EString name;
    if (!args.Start() || !args.Text(name))
        return false;
    if (checkOnly)
        return true;
    ROIList list;
    if (LoadRoiSection(list) == RoiSection::Unreadable) {
        SetError(error, UnreadableText());
        return false;
    }
    const ROIObject *roi = list.FindByName(TextOf(name));
    if (roi == nullptr) {
        SetError(error, FormatText("ROI with name: \"%s\" does not exist.", TextOf(name)));
        return false;
    }
    const ImageRect rect{static_cast<int32_t>(roi->left), static_cast<int32_t>(roi->top),
                         static_cast<int32_t>(roi->right), static_cast<int32_t>(roi->bottom)};
    bool changed = false;
    _active_roi.Update([&](ImageRect &active) {
        changed = !(active == rect);
        active = rect;
    });
    if (!changed)
        return true;
    if (RoiTools().RoiManager().HasWindow())
        RoiTools().ShowCurrentRoi();
    InvalidateAllViews();
    return true;
}

} // namespace

void RegisterRoiCommands()
{
    RegisterCommandHandler(cmd::ROI_Exists, RoiExists);
    RegisterCommandHandler(cmd::ROI_Read, RoiRead);
    RegisterCommandHandler(cmd::ROI_Write, RoiWrite);
    RegisterCommandHandler(cmd::ROI_Remove, RoiRemove);
    RegisterCommandHandler(cmd::ROI_ChooseByName, RoiChooseByName);
}
