#pragma once
// Reading an image file without ever blocking on something that is not a regular file.
#include <opencv2/core.hpp>

#include <string>

namespace platform {

// cv::imread with the same flags, for regular files (and links to them) only: a FIFO or a device
// named like an image is refused at once, as a missing file is (an empty image). The bytes are
// read through ReadWholeFile and decoded in memory; the decoder's exceptions reach the caller as
// imread's do. error, when given, gets the reason of an empty result that is not the decoder's.
cv::Mat ReadImageFile(const std::string &path, int flags, std::string *error = nullptr);

} // namespace platform
