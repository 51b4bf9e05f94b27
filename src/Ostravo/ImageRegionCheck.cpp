#include "Ostravo/ImageRegionCheck.h"

#include "platform/ErrorText.h"

#include <string>

bool CheckImageRegion(const char *function, const cv::Mat &image, int32_t left, int32_t top, int32_t right,
                      int32_t bottom, EString *error)
{
    if (image.empty() || image.type() != CV_16UC1)
        return platform::SetError(error, function, "image must be a non-empty image of type CV_16UC1.");
    if (right < left || bottom < top)
        return platform::SetError(error, function, "region of interest has no rows or no columns.");
    if (left < 0 || top < 0 || right >= image.cols || bottom >= image.rows)
        return platform::SetError(error, function, "region of interest is not inside the image.");
    return true;
}
