#pragma once
// The named ROIs of a settings file, read by the ROI list: the ROI lookup of every run, headless
// or not.
#include "app/ToolServices.h"

class RoiListLookup : public RoiLookup
{
  public:
    bool LoadRoiList(const char *settingsPath, std::vector<ROIObject> &list) override;
    bool FindRoiByName(const char *name, int32_t rect[4], EString &error) override;
};
