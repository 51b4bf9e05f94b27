#include "platform/ImageFile.h"

#include "platform/Files.h"

#include <opencv2/imgcodecs.hpp>

#include <cstdint>

namespace platform {

cv::Mat ReadImageFile(const std::string &path, int flags, std::string *error)
{
    std::string bytes;
    if (!ReadWholeFile(path, bytes, error) || bytes.empty())
        return cv::Mat();
    if (bytes.size() > static_cast<size_t>(INT32_MAX)) {
        if (error)
            *error = "ReadImageFile() : '" + path + "' is too large";
        return cv::Mat();
    }
    const cv::Mat buffer(1, static_cast<int>(bytes.size()), CV_8UC1, bytes.data());
    return cv::imdecode(buffer, flags);
}

} // namespace platform
