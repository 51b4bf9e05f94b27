#include "app/LineDetection.h"

#include "Ostravo/LogError.h"
#include "Ostravo/Profile.h"
#include "platform/Ui.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

const char *const kParamsSection = "ChannelAndMagnetLineAlgoParams";

int32_t RoundHalfAway(double v)
{
    return static_cast<int32_t>(std::round(v));
}

void ReadDouble(const std::string &path, const char *key, double &value)
{
    char buffer[32] = {0};
    if (!Ostravo::E_GetPrivateProfileString(kParamsSection, key, "", buffer, sizeof(buffer), path.c_str()))
        return;
    double parsed = 0.0;
    if (std::sscanf(buffer, "%lf", &parsed) == 1)
        value = parsed;
}

// A row darker than its neighbours one and five rows away; rows whose partners lie outside the
// profile are no valley.
bool IsValley(const std::vector<int32_t> &p, int i)
{
    const int n = static_cast<int>(p.size());
    if (i - 5 < 0 || i + 5 > n - 1)
        return false;
    return p[i] < p[i + 1] && p[i] <= p[i - 1] && p[i] < p[i + 5] && p[i] < p[i - 5];
}

// The deepest valley row of first..last (the first one on ties), or -1.
int DeepestValley(const std::vector<int32_t> &p, int first, int last)
{
    int best = -1;
    for (int i = first; i <= last; ++i) {
        if (IsValley(p, i) && (best < 0 || p[i] < p[best]))
            best = i;
    }
    return best;
}

// Largest value of rows first..last, 0 for an empty range.
int32_t HighestRow(const std::vector<int32_t> &p, int first, int last)
{
    int32_t h = 0;
    for (int r = first; r <= last; ++r)
        h = (r == first) ? p[r] : std::max(h, p[r]);
    return h;
}

} // namespace

ChannelAndMagnetLineAlgoParams LoadChannelAndMagnetLineAlgoParams(const std::string &settingsPath)
{
    ChannelAndMagnetLineAlgoParams params;
    ReadDouble(settingsPath, "channel_relative_intensity_pct", params.channel_relative_intensity_pct);
    ReadDouble(settingsPath, "magnet_high_intensity_pct", params.magnet_high_intensity_pct);
    ReadDouble(settingsPath, "magnet_threshold_intensity_fraction",
               params.magnet_threshold_intensity_fraction);
    return params;
}

float InterpolatedPercentile(const std::vector<float> &values, double p)
{
    const int n = static_cast<int>(values.size());
    if (n == 0)
        return 0.0f;
    const double x = (n - 1) * p;
    const int t = static_cast<int>(x);
    const int k = std::min(n - 1, std::max(0, t));
    const int k1 = std::min(n - 1, std::max(0, t + 1));
    // Only the k-th and the next order statistic matter: select them instead of sorting everything.
    std::vector<float> s(values);
    std::nth_element(s.begin(), s.begin() + k, s.end());
    const float a = s[k];
    const float b = k1 > k ? *std::min_element(s.begin() + k + 1, s.end()) : a;
    return static_cast<float>(a + (static_cast<double>(b) - a) * (x - k));
}

bool ComputeRowMedianProfile(const cv::Mat &image, const ImageRect &rect, std::vector<int32_t> &profile,
                             std::string *error)
{
    if (image.empty() || image.type() != CV_16UC1) {
        if (error)
            *error = "ComputeRowMedianProfile() : the image is not a 16-bit grey image.";
        return false;
    }
    if (rect.left < 0 || rect.top < 0 || rect.right >= image.cols || rect.bottom >= image.rows ||
        rect.left > rect.right || rect.top > rect.bottom) {
        if (error)
            *error = "ComputeRowMedianProfile() : the rectangle is empty or outside the image.";
        return false;
    }
    profile.resize(static_cast<size_t>(rect.bottom - rect.top + 1));
    std::vector<float> row(static_cast<size_t>(rect.right - rect.left + 1));
    for (int r = rect.top; r <= rect.bottom; ++r) {
        const uint16_t *in = image.ptr<uint16_t>(r);
        for (int c = rect.left; c <= rect.right; ++c)
            row[c - rect.left] = static_cast<float>(in[c]);
        profile[r - rect.top] = RoundHalfAway(InterpolatedPercentile(row, 0.5));
    }
    return true;
}

bool DetectChannelAndMagnetLines(const cv::Mat &image, const ChannelAndMagnetLineAlgoParams &params,
                                 CalibrationLines &lines, std::string &error)
{
    if (image.empty()) {
        error = "FindChannelAndMagnetLines() : there is no image.";
        return false;
    }
    if (image.type() != CV_16UC1) {
        error = "FindChannelAndMagnetLines() : the image is not a 16-bit grey image.";
        return false;
    }
    if (image.rows < kLineDetectionMinRows) {
        error = "FindChannelAndMagnetLines() : the image has " + std::to_string(image.rows) +
                " rows; at least " + std::to_string(kLineDetectionMinRows) + " are needed.";
        return false;
    }

    std::vector<int32_t> P;
    if (!ComputeRowMedianProfile(image, ImageRect{0, 0, image.cols - 1, image.rows - 1}, P, &error))
        return false;
    const int n = static_cast<int>(P.size());

    // Rough channel rows: the deepest valleys in their search ranges.
    const int U = DeepestValley(P, 100, 700);
    if (U < 0) {
        error = "Could not find upper channel line.";
        return false;
    }
    const int32_t vU = P[U];
    const int lowerLast = std::min(U + 1375, n - 1);
    const int L = U + 1000 > lowerLast ? -1 : DeepestValley(P, U + 1000, lowerLast);
    if (L < 0) {
        error = "Could not find lower channel line.";
        return false;
    }
    const int32_t vL = P[L];

    // Rough magnet rows: the first rows outside the channel as dark as its valley.
    int M1 = -1;
    for (int k = U - 10; k >= 0; --k) {
        if (P[k] <= vU && (k == 0 || P[k - 1] <= vU) && (k < 5 || P[k - 5] <= vU)) {
            M1 = k;
            break;
        }
    }
    if (M1 < 0) {
        error = "Could not find the upper magnet line";
        return false;
    }
    int M2 = -1;
    for (int j = L + 10; j <= n - 1; ++j) {
        if (P[j] <= vL && (j == n - 1 || P[j + 1] <= vL) && (j + 5 > n - 1 || P[j + 5] <= vL)) {
            M2 = j;
            break;
        }
    }

    // Refined channel rows: where the valley's flank crosses a share of the way up to the bright
    // rows between the channel and the magnet.
    int upperChannel = U;
    {
        const int32_t h = HighestRow(P, M1, U - 1);
        const int32_t T = RoundHalfAway((h - P[U]) * params.channel_relative_intensity_pct) + P[U];
        for (int r = U; r >= M1 + 1; --r) {
            if (P[r - 1] > T && P[r] <= T) {
                upperChannel = r;
                break;
            }
        }
    }
    int lowerChannel = L;
    {
        const int32_t h = HighestRow(P, L, M2 - 1);
        const int32_t T = RoundHalfAway((h - P[L]) * params.channel_relative_intensity_pct) + P[L];
        for (int r = L; r < M2; ++r) {
            if (P[r - 1] < T && P[r] >= T) {
                lowerChannel = r;
                break;
            }
        }
    }

    // Bright level and the magnet threshold.
    std::vector<int32_t> s(P);
    std::sort(s.begin(), s.end());
    const float x = static_cast<float>((n - 1) * params.magnet_high_intensity_pct);
    const int k0 = std::min(n - 1, std::max(0, static_cast<int>(x)));
    const int k1 = std::min(n - 1, std::max(0, static_cast<int>(x) + 1));
    const float bright =
        static_cast<float>(s[k0]) + static_cast<float>(s[k1] - s[k0]) * (x - static_cast<float>(k0));
    const int32_t B = RoundHalfAway(bright);
    const int32_t G = RoundHalfAway(B * params.magnet_threshold_intensity_fraction);

    // Refined magnet rows: where the profile crosses the threshold near the top and the bottom.
    int upperMagnet = M1;
    for (int u = 0; u <= 299; ++u) {
        if (P[u] < G && G <= P[u + 1]) {
            upperMagnet = u;
            break;
        }
    }
    int lowerMagnet = M2;
    for (int l = n - 1; l >= n - 299; --l) {
        if (P[l - 1] >= G && G > P[l]) {
            lowerMagnet = l;
            break;
        }
    }
    // A row of -1 would be drawn nowhere and kept as -1 in the settings: refuse it instead.
    if (lowerMagnet < 0) {
        error = "Could not find the lower magnet line";
        return false;
    }

    lines.upper_channel = upperChannel;
    lines.lower_channel = lowerChannel;
    lines.upper_magnet = upperMagnet;
    lines.lower_magnet = lowerMagnet;
    return true;
}

bool FindChannelAndMagnetLines(const cv::Mat &image, const std::string &mainSettingsPath, std::string &error)
{
    const ChannelAndMagnetLineAlgoParams params = LoadChannelAndMagnetLineAlgoParams(mainSettingsPath);
    CalibrationLines lines;
    if (!DetectChannelAndMagnetLines(image, params, lines, error)) {
        LogError(__FILE_NAME__, __LINE__, error);
        platform::ui::MessageBox(error, "Vantelis", platform::ui::MbOk | platform::ui::MbIconError);
        return false;
    }
    _shown_calibration_lines.Set(lines);
    return true;
}
