#include "Ostravo/RowFlatField.h"

#include "Ostravo/ImageRegionCheck.h"
#include "platform/ErrorText.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace {

using platform::SetError;

// The value at fraction of the ascending values, interpolated between neighbours and rounded
// half away from zero.
uint16_t InterpolatedPercentile(const std::vector<uint16_t> &sorted, double fraction)
{
    const size_t n = sorted.size();
    const double e = double(n - 1) * fraction;
    const size_t i0 = size_t(e);
    const size_t i1 = std::min(i0 + 1, n - 1);
    const double value = double(sorted[i0]) + (double(sorted[i1]) - double(sorted[i0])) * (e - double(i0));
    return uint16_t(std::round(value));
}

} // namespace

bool ComputeRowPercentileProfile(const cv::Mat &image, int32_t left, int32_t top, int32_t right,
                                 int32_t bottom, double fraction, std::vector<uint16_t> &profile,
                                 EString *error)
{
    if (!CheckImageRegion("ComputeRowPercentileProfile", image, left, top, right, bottom, error))
        return false;
    if (!(fraction >= 0.0 && fraction <= 1.0)) {
        return SetError(error, "ComputeRowPercentileProfile", "fraction must lie between 0 and 1.");
    }
    std::vector<uint16_t> values(size_t(right - left + 1));
    profile.resize(size_t(bottom - top + 1));
    for (int32_t y = top; y <= bottom; ++y) {
        const uint16_t *row = image.ptr<uint16_t>(y) + left;
        std::copy(row, row + values.size(), values.begin());
        std::sort(values.begin(), values.end());
        profile[y - top] = InterpolatedPercentile(values, fraction);
    }
    return true;
}

bool NormalizeRowsByProfile(cv::Mat &image, int32_t left, int32_t top, int32_t right, int32_t bottom,
                            const std::vector<uint16_t> &profile, EString *error)
{
    if (!CheckImageRegion("NormalizeRowsByProfile", image, left, top, right, bottom, error))
        return false;
    if (profile.size() != size_t(bottom - top + 1)) {
        return SetError(error, "NormalizeRowsByProfile", "profile must hold one value per region row.");
    }
    // A row without a bright level has no scale; refuse before any pixel changes.
    const auto zero = std::find(profile.begin(), profile.end(), uint16_t(0));
    if (zero != profile.end()) {
        return SetError(error, "NormalizeRowsByProfile",
                        "profile value of region row " + std::to_string(zero - profile.begin()) + " is 0.");
    }
    std::vector<uint16_t> sorted(profile);
    std::sort(sorted.begin(), sorted.end());
    const uint32_t median = InterpolatedPercentile(sorted, 0.5);

    for (int32_t y = top; y <= bottom; ++y) {
        uint16_t *row = image.ptr<uint16_t>(y);
        const uint32_t divisor = profile[y - top];
        for (int32_t x = left; x <= right; ++x) {
            const uint32_t scaled = uint32_t(row[x]) * median / divisor;
            row[x] = uint16_t(std::min<uint32_t>(scaled, 65535u));
        }
    }
    return true;
}
