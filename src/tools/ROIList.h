#pragma once
// The named ROI list and its storage in section [ROI] of a settings file. Every user loads a list
// of its own when it needs one and resolves an ROI by its name at the time of use; changes reach
// the other users only through the file.
#include "app/ROIObject.h"

#include <cstdint>

class ROIList : public SortedPtrArray<ROIObject>
{
  public:
    // Lines item0 to item99: more ROIs than this are not stored.
    static constexpr int32_t kMaxStoredRois = 100;
    // Longest name the reader takes back.
    static constexpr int kMaxNameLength = 127;

    ROIList() : SortedPtrArray<ROIObject>(SortedPtrOwnsItems | SortedPtrKeepSorted) {}

    // Replaces the list by the ROIs of section [ROI] of file, skipping malformed lines. False when
    // the section cannot be read; the list then keeps what it held.
    bool LoadFromProfile(const char *file);
    // Replaces section [ROI] of file by the first kMaxStoredRois ROIs in storage order, as
    // item<N>="<name>",<left>,<right>,<top>,<bottom>. The result is that of the replacement; ROIs
    // beyond the limit are named in the error log.
    bool SaveToProfile(const char *file) const;

    // Storage position of the ROI that FindByName gives for name; -1 when there is none.
    int32_t FindStoragePosition(const char *name) const;

    // Whether an ROI of this name can be stored and read back: no double quote, CR or LF, at most
    // kMaxNameLength characters. Otherwise false with the reason in error.
    static bool CheckStorableName(const char *name, EString &error);
    // Whether the list may take one more ROI (a new name) and still store all of them; otherwise
    // false with the reason in error.
    bool CheckRoomForNewRoi(EString &error) const;
};

// One line of section [ROI]; false for a line the reader skips.
bool ParseRoiLine(const char *line, ROIObject &roi);

// The rectangle (left, top, right, bottom) of the ROI named exactly name in [ROI] of the main
// settings file; of equal names the one added last. False when the section cannot be read (error
// and rect untouched) or no ROI has that name ("There is not ROI with name: " and the name).
bool FindRoiByName(const char *name, int32_t rect[4], EString &error);
