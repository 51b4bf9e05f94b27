#pragma once
// One detected cell, handed by the counting code to the view and the result writers.
#include <cstdint>

struct CellDetection
{
    int32_t x = 0; // image column
    int32_t y = 0; // image row
    float confidence = 0.0f;
    float lp_value = 0.0f; // filled in by the image-analysis run only
    float radius = 0.0f;   // pixels
};
