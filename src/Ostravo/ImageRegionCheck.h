#pragma once
// The input check shared by the routines that read a region of a 16-bit image.
#include "Ostravo/EString.h"

#include <cstdint>
#include <opencv2/core.hpp>

// True for a non-empty 16-bit single-channel image and a region left..right, top..bottom (inclusive)
// that has rows and columns and lies inside it; otherwise false, with "<function>() - ..." in error
// when given. Reading outside the image is never safe, so every such routine checks first.
bool CheckImageRegion(const char *function, const cv::Mat &image, int32_t left, int32_t top, int32_t right,
                      int32_t bottom, EString *error);
