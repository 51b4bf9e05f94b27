#include "tools/RoiListLookup.h"

#include "tools/ROIList.h"

bool RoiListLookup::LoadRoiList(const char *settingsPath, std::vector<ROIObject> &list)
{
    ROIList rois;
    if (!rois.LoadFromProfile(settingsPath))
        return false;
    list.clear();
    for (int32_t i = 0; i < rois.GetCount(); ++i)
        list.push_back(*rois.GetAt(i));
    return true;
}

bool RoiListLookup::FindRoiByName(const char *name, int32_t rect[4], EString &error)
{
    return ::FindRoiByName(name, rect, error);
}
