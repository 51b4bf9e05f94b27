#include "tools/CalibrationMath.h"

#include "Ostravo/Profile.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>

int32_t RoundRow(double value)
{
    const double rounded = std::round(value);
    if (!(rounded > -2147483648.0))
        return INT32_MIN;
    if (rounded > 2147483647.0)
        return INT32_MAX;
    return static_cast<int32_t>(rounded);
}

double PixelsPerMmFor(double measuredLength, const std::string &heightText)
{
    double height = 0.0;
    if (sscanf(heightText.c_str(), "%lf", &height) != 1)
        height = 0.0;
    if (!(height > 0.49999 && height < 100.00001) || measuredLength == 0.0 || !std::isfinite(measuredLength))
        return 0.0;
    // The line may be drawn upwards: its length counts either way.
    return std::fabs(measuredLength) / height;
}

std::string FormatSpacing(int32_t upperRow, int32_t lowerRow, double pixelsPerMm)
{
    if (!(pixelsPerMm > 0.0))
        return {};
    char text[64];
    snprintf(text, sizeof text, "%5.3lf", (static_cast<double>(lowerRow) - upperRow) / pixelsPerMm);
    return text;
}

int32_t MovedBoundaryRow(bool anchorTop, int32_t upperRow, int32_t lowerRow, double pixelsPerMm,
                         double spacingMm)
{
    const double rows = pixelsPerMm * spacingMm;
    return anchorTop ? RoundRow(upperRow + rows) : RoundRow(lowerRow - rows);
}

double ReadPixelsPerMm(const std::string &settingsPath, double fallback)
{
    char buffer[64] = {};
    Ostravo::E_GetPrivateProfileString("CalibrationSettings", "image_pixels_per_mm", "", buffer,
                                       sizeof buffer, settingsPath.c_str());
    double value = fallback;
    return sscanf(buffer, "%lf", &value) == 1 ? value : fallback;
}
