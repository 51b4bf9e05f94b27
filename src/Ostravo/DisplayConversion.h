#pragma once
// Turning 16-bit grey instrument images into 8-bit colour for the screen: sampling the part of an
// image a zoomed view shows, mapping it through a display window with optional tints, finding a
// display window from the grey-level distribution, and drawing whole image files grey, tinted or as
// a bright-field/fluorescence composite.
//
// Display pixels are 32-bit words 0x00RRGGBB (in memory blue, green, red, zero), rows top to bottom
// without padding: the layout of an OpenCV CV_8UC4 image in BGR order with an unused fourth byte.
#include <opencv2/core.hpp>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Ostravo {

// Samples the region (left..right of the width, top..bottom of the height, as fractions of the
// image) at width x height output values, nearest lower pixel, no interpolation; output outside
// the image is 0. With a mask (CV_8UC1, the image's size) the mask is sampled alike into
// maskBuffer. The buffers are resized as needed and may be reused for the next frame.
// False (nothing written) when the image holds no data, is not 16-bit single-channel, the mask does
// not match it, or the output size is negative.
bool SampleImageRegion(const cv::Mat &image, std::vector<uint16_t> &buffer, double left, double right,
                       double top, double bottom, int width, int height, const cv::Mat *mask = nullptr,
                       std::vector<uint8_t> *maskBuffer = nullptr, std::string *error = nullptr);

// Maps n values through the display window lower..upper onto outLow..outHigh, clamped to 0..255,
// into n display pixels. Mask bytes 1, 2 and 3 tint the pixel red, blue and green. An empty window
// (upper == lower) gives black; an inverted one inverts the grey scale. Always true.
bool MapToDisplayColors(const uint16_t *values, size_t n, uint32_t *out, uint16_t upper, uint16_t lower,
                        const uint8_t *mask, int16_t outLow, int16_t outHigh);

// One display pixel for grey g (0..255) and mask value (0 or above 3: grey).
uint32_t DisplayPixel(int g, uint8_t mask);

// Levels at the given fractions (each 0..1) of n samples: the first grey value at which the running
// count reaches round(n x fraction), clamped to 0..n-1. Always true.
bool ComputeValuePercentiles(const uint16_t *samples, size_t n, const std::vector<float> &fractions,
                             std::vector<uint16_t> &levels);

// A display window from every step-th pixel of every step-th row at the low and high fractions.
// False (outputs untouched) when the image holds no data or is not 16-bit single-channel.
bool GetAutoContrastLimits(const cv::Mat &image, int step, double lowFraction, double highFraction,
                           uint16_t &lower, uint16_t &upper);

// Draws a 16-bit grey image file stretched into dest of target (CV_8UC4), auto-contrasted at 0.5
// and 0.999; colourName "red" or "green" (exactly) keeps only that channel, anything else is grey.
// An unreadable file draws nothing and gives 1; an image that is not 16-bit single-channel gives 0
// with an error text and draws nothing.
int DrawTintedImageFile(const std::string &path, const std::string &colourName, cv::Mat &target,
                        const cv::Rect &dest, std::string *error = nullptr);

// Draws a bright-field image in grey with up to two fluorescence images added in green (first) and
// red (second), stretched into dest of target (CV_8UC4). An unreadable bright-field file draws
// nothing and gives 1. A fluorescence image that cannot be read, or whose size or depth differs
// from the bright-field image's, gives 0 with an error text and draws nothing.
int DrawCompositeImageFiles(const std::string &brightFieldPath, const std::string &fluorescence1Path,
                            const std::string &fluorescence2Path, cv::Mat &target, const cv::Rect &dest,
                            std::string *error = nullptr);

} // namespace Ostravo
