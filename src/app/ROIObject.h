#pragma once
// One named rectangle of the ROI list ([ROI] of the main settings file). The shell, the view, the
// analysis code and the ROI tools all use this one record.
#include "Ostravo/EString.h"
#include "Ostravo/SortedPtrArray.h"

#include <cstdint>

// Inclusive pixel bounds, stored unsigned: -1 is kept as 4294967295 and given back as -1 when the
// rest of the program reads the value as a signed 32-bit integer.
struct ROIObject
{
    EString m_name;
    uint32_t left = 0;
    uint32_t top = 0;
    uint32_t right = 0;
    uint32_t bottom = 0;
};

// Names order byte by byte as signed 8-bit values: case-sensitive, "ROIA" before "ROI_2".
template <> struct SortedPtrOrder<ROIObject> : ExactNameOrder<ROIObject, &ROIObject::m_name>
{
};
