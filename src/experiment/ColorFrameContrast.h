#pragma once
// Contrast windows of the brightfield and the two fluorescence channels of a colour frame.
// 65535 in a low or high level means that no window was computed for that channel.
#include <cstdint>

struct ColorFrameContrast
{
    uint16_t bf_low = 65535;
    uint16_t bf_high = 65535;
    uint8_t bf_out_max = 180;
    bool include_fl1 = false;
    uint16_t fl1_low = 65535;
    uint16_t fl1_high = 65535;
    uint8_t fl1_out_max = 150;
    bool include_fl2 = false;
    uint16_t fl2_low = 65535;
    uint16_t fl2_high = 65535;
    uint8_t fl2_out_max = 150;
};

// These names keep their leading underscore, a form reserved at global scope, so they live in a
// namespace; the directive lets every caller name them as before.
namespace globals {
// The contrast of the montage and the video; each run overwrites it. Unguarded: only one
// experiment analysis runs at a time.
extern ColorFrameContrast _experiment_contrast;
} // namespace globals
using namespace globals;
