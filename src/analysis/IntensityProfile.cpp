#include "analysis/IntensityProfile.h"

#include "Ostravo/ImageRegionCheck.h"
#include "platform/ErrorText.h"

#include <algorithm>
#include <string>

namespace {

using platform::SetError;

// The checks both projections share; reading outside the image or the background is never safe.
bool CheckProjectionInput(const char *function, const cv::Mat &image, int32_t left, int32_t top,
                          int32_t right, int32_t bottom, const cv::Mat *background, EString *error)
{
    if (!CheckImageRegion(function, image, left, top, right, bottom, error))
        return false;
    if (background && (background->type() != CV_16UC1 || background->size() != image.size())) {
        SetError(error, std::string(function) +
                            "() - background image must be of type CV_16UC1 and of the image's size.");
        return false;
    }
    return true;
}

// Column sums over rows top..bottom, minus the background when given.
void SumColumns(const cv::Mat &image, int32_t left, int32_t top, int32_t right, int32_t bottom,
                const cv::Mat *background, std::vector<int64_t> &sums)
{
    const int32_t width = right - left + 1;
    sums.assign(width, 0);
    for (int32_t y = top; y <= bottom; ++y) {
        const uint16_t *row = image.ptr<uint16_t>(y) + left;
        if (background) {
            const uint16_t *bg = background->ptr<uint16_t>(y) + left;
            for (int32_t i = 0; i < width; ++i)
                sums[i] += int64_t(row[i]) - int64_t(bg[i]);
        } else {
            for (int32_t i = 0; i < width; ++i)
                sums[i] += row[i];
        }
    }
}

int64_t SumRow(const cv::Mat &image, int32_t y, int32_t left, int32_t right, const cv::Mat *background)
{
    const uint16_t *row = image.ptr<uint16_t>(y);
    int64_t sum = 0;
    if (background) {
        const uint16_t *bg = background->ptr<uint16_t>(y);
        for (int32_t x = left; x <= right; ++x)
            sum += int64_t(row[x]) - int64_t(bg[x]);
    } else {
        for (int32_t x = left; x <= right; ++x)
            sum += row[x];
    }
    return sum;
}

} // namespace

bool ComputeHorizontalProjection(const cv::Mat &image, int32_t left, int32_t top, int32_t right,
                                 int32_t bottom, std::vector<int32_t> &profile, const cv::Mat *background,
                                 EString *error)
{
    if (!CheckProjectionInput("ComputeHorizontalProjection", image, left, top, right, bottom, background,
                              error))
        return false;
    std::vector<int64_t> sums;
    SumColumns(image, left, top, right, bottom, background, sums);
    const int64_t rows = int64_t(bottom) - top + 1;
    if (profile.size() < sums.size())
        profile.resize(sums.size());
    for (size_t i = 0; i < sums.size(); ++i)
        profile[i] = int32_t(sums[i] / rows);
    return true;
}

bool ComputeVerticalProjection(const cv::Mat &image, int32_t left, int32_t top, int32_t right, int32_t bottom,
                               std::vector<int32_t> &profile, const cv::Mat *background, EString *error)
{
    if (!CheckProjectionInput("ComputeVerticalProjection", image, left, top, right, bottom, background,
                              error))
        return false;
    const int64_t cols = int64_t(right) - left + 1;
    profile.resize(size_t(bottom - top + 1));
    for (int32_t y = top; y <= bottom; ++y)
        profile[y - top] = int32_t(SumRow(image, y, left, right, background) / cols);
    return true;
}

bool SmoothProfile(std::vector<int32_t> &profile, int window)
{
    if (window < 2)
        return false;
    const int64_t n = int64_t(profile.size());
    const int64_t a = window;
    std::vector<int64_t> forward(profile.size()), backward(profile.size());

    int64_t sum = 0;
    for (int64_t i = 0; i < n; ++i) {
        sum += profile[i];
        if (i < a) {
            forward[i] = sum / (i + 1);
        } else {
            sum -= profile[i - a];
            forward[i] = sum / a;
        }
    }
    sum = 0;
    for (int64_t i = n - 1; i >= 0; --i) {
        sum += profile[i];
        if (n - 1 - i < a) {
            backward[i] = sum / (n - i);
        } else {
            sum -= profile[i + a];
            backward[i] = sum / a;
        }
    }
    for (int64_t i = 0; i < n; ++i)
        profile[i] = int32_t((forward[i] + backward[i]) / 2);
    return true;
}

bool FindProfileDips(const std::vector<int32_t> &profile, int window, std::vector<int32_t> &dips)
{
    dips.clear();
    if (window < 0)
        return false;
    const int64_t n = int64_t(profile.size());
    if (n == 0)
        return true;
    const int64_t half = window / 2;
    const int64_t threshold = *std::max_element(profile.begin(), profile.end()) / 20;

    struct Candidate
    {
        int32_t position;
        float depth;
    };
    std::vector<Candidate> candidates;
    int64_t i = half;
    while (i < n - half - 1) {
        const int64_t v = profile[i];
        bool qualifies = v >= threshold;
        for (int64_t j = i - half; qualifies && half > 0 && j <= i + half; ++j)
            if (v > profile[j])
                qualifies = false;
        if (qualifies) {
            const int64_t o = (int64_t(profile[i - half]) + profile[i + half]) / 2;
            const float depth = float(o - v) / float(o + v);
            // A zero denominator gives no depth at all; such a position is no dip.
            if (depth >= 0.0f) {
                candidates.push_back({int32_t(i), depth});
                i += window + 1;
                continue;
            }
        }
        ++i;
    }

    for (int pick = 0; pick < 2 && !candidates.empty(); ++pick) {
        size_t best = 0;
        for (size_t k = 1; k < candidates.size(); ++k)
            if (candidates[k].depth > candidates[best].depth)
                best = k;
        dips.push_back(candidates[best].position);
        candidates.erase(candidates.begin() + long(best));
    }
    std::sort(dips.begin(), dips.end());
    return true;
}

namespace {

// Column means over rows first..last (inclusive) for columns c0..c1.
void ColumnMeans(const cv::Mat &image, int32_t first, int32_t last, int32_t c0, int32_t c1,
                 std::vector<int32_t> &means)
{
    std::vector<int64_t> sums;
    SumColumns(image, c0, first, c1, last, nullptr, sums);
    const int64_t rows = int64_t(last) - first + 1;
    means.resize(sums.size());
    for (size_t i = 0; i < sums.size(); ++i)
        means[i] = int32_t(sums[i] / rows);
}

int32_t PositionOfMinimum(const std::vector<int32_t> &values)
{
    return int32_t(std::min_element(values.begin(), values.end()) - values.begin());
}

} // namespace

bool FindMeniscus(const cv::Mat &image, MeniscusResult &result, int32_t upper_wall, int32_t lower_wall)
{
    if (image.empty() || image.type() != CV_16UC1)
        return false;

    // Walls handed on from another image are only usable when they lie in this one.
    const bool given_walls_usable = upper_wall >= 0 && upper_wall < lower_wall && lower_wall < image.rows;
    if (upper_wall == -1 || lower_wall == -1 || !given_walls_usable) {
        std::vector<int32_t> rows(size_t(image.rows));
        for (int32_t y = 0; y < image.rows; ++y)
            rows[y] = int32_t(SumRow(image, y, 0, image.cols - 1, nullptr) / image.cols);
        SmoothProfile(rows, 30);
        std::vector<int32_t> walls;
        FindProfileDips(rows, 30, walls);
        if (walls.size() < 2) {
            result.upper_wall = -1;
            result.lower_wall = -1;
            result.found = false;
            return true;
        }
        upper_wall = walls[0];
        lower_wall = walls[1];
    }
    result.upper_wall = upper_wall;
    result.lower_wall = lower_wall;

    const int32_t h = lower_wall - upper_wall;
    std::vector<int32_t> columns;
    ColumnMeans(image, upper_wall + h / 6, lower_wall - h / 6, 0, image.cols - 1, columns);

    std::vector<int32_t> dips;
    FindProfileDips(columns, 40, dips);
    if (dips.size() < 2) {
        result.found = false;
        return true;
    }
    const int32_t m = dips[1];
    const int64_t v = columns[m];
    const int64_t o = (int64_t(columns[m - 20]) + columns[m + 20]) / 2;
    if (!(float(o - v) / float(v + o) >= 0.01f)) {
        result.found = false;
        return true;
    }
    result.found = true;
    result.column = m;

    const int32_t c0 = std::max(0, m - 160);
    const int32_t c1 = std::min(m + 160, image.cols - 1);
    const int32_t s = upper_wall + h / 6;
    const int32_t t = h / 10;
    std::vector<int32_t> band1, band2;
    ColumnMeans(image, s, s + t, c0, c1, band1);
    ColumnMeans(image, s + t, s + 2 * t, c0, c1, band2);
    result.form = float(PositionOfMinimum(band1) - PositionOfMinimum(band2)) / float(h) * 1000.0f;
    result.form_valid = true;
    return true;
}
