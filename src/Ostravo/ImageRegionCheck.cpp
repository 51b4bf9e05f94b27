#include "Ostravo/ImageRegionCheck.h"

#include <string>

namespace {

bool Fail(EString *error, const char *function, const char *what)
{
    if (error)
        error->Assign((std::string(function) + "() - " + what).c_str());
    return false;
}

} // namespace

bool CheckImageRegion(const char *function, const cv::Mat &image, int32_t left, int32_t top, int32_t right,
                      int32_t bottom, EString *error)
{
    if (image.empty() || image.type() != CV_16UC1)
        return Fail(error, function, "image must be a non-empty image of type CV_16UC1.");
    if (right < left || bottom < top)
        return Fail(error, function, "region of interest has no rows or no columns.");
    if (left < 0 || top < 0 || right >= image.cols || bottom >= image.rows)
        return Fail(error, function, "region of interest is not inside the image.");
    return true;
}
