#pragma once
// The arithmetic of the two calibration dialogs: rows per millimetre from an object of known
// height, and moving one boundary line of a pair to a typed spacing.
#include <cstdint>
#include <string>

// Rounds half away from zero in double precision, then to a 32-bit integer.
int32_t RoundRow(double value);

// Rows per millimetre for a measured line length (image rows, either direction) and a typed
// height text. 0 when the height does not convert, lies outside 0.5..100 mm, or the length is 0.
double PixelsPerMmFor(double measuredLength, const std::string &heightText);

// The spacing of a pair as shown ("%5.3lf" millimetres); empty while pixelsPerMm is not positive.
std::string FormatSpacing(int32_t upperRow, int32_t lowerRow, double pixelsPerMm);

// The row of the line that moves when a pair is set to spacingMm: with anchorTop the lower line
// moves below upperRow, otherwise the upper line moves above lowerRow.
int32_t MovedBoundaryRow(bool anchorTop, int32_t upperRow, int32_t lowerRow, double pixelsPerMm,
                         double spacingMm);

// No scale: the calibration tools then show no distances in millimetres.
inline constexpr double kNoPixelsPerMm = 0.0;

// The image settings' pixels per millimetre ([CalibrationSettings] image_pixels_per_mm); fallback
// when missing or not a number. Callers pass kNoPixelsPerMm; counting assumes a scale of its own
// (analysis/CountingAlgoOptions.h).
double ReadPixelsPerMm(const std::string &settingsPath, double fallback);
