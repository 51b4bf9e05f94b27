#pragma once
// The AVI writers of the video tool: a monochrome video of one list of image files, and a colour
// video whose frames combine a brightfield list with up to three channel lists.
#include "Ostravo/EString.h"
#include "Ostravo/SortedPtrArray.h"

#include <opencv2/core.hpp>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace Ostravo {

using ImageNameList = SortedPtrArray<EString>;
// Sets the text of the caller's status line; any thread. An empty function means no status line.
using VideoStatus = std::function<void(const std::string &text)>;

// The 8-bit contribution (0..127) of a 16-bit sample to one channel of a colour frame: the sample
// through the window [lower, upper] stretched to 0..65535, then shifted right by 9 bits. Without
// a window the sample is taken as it is; a window whose upper level is not above the lower one is
// read as the full range 0..65535.
int CompositeChannelValue(uint16_t value, const int32_t *window);

// Stretches the levels of a 16-bit one-channel frame between lower and upper onto 0..65535. False
// with the frame unchanged when upper is not above lower (or the frame is not 16-bit grey).
bool StretchIntensityRange(cv::Mat &frame, uint16_t lower, uint16_t upper);

// Composes frame index of the colour video into frame (8-bit blue-green-red, already sized):
// the brightfield image in grey, the red, green and blue images added into their channels. A
// channel list that is shorter, or whose file is missing at this index, is left out of the frame.
// windows holds eight levels (lower and upper of brightfield, red, green, blue) or is null.
bool assign_composite_intensity(const char *folder, const ImageNameList &brightfield,
                                const ImageNameList &red, const ImageNameList &green,
                                const ImageNameList &blue, int index, cv::Mat &frame, EString &error,
                                const std::vector<int32_t> *windows);

// Writes a monochrome video (XVID) of the images of image_names, in the order they were added.
// 16-bit images are stretched through [lower, upper] and keep their high byte; 8-bit images are
// written as stored. True when the video is complete or was stopped through stop.
bool CreateVideo(const char *output, const char *folder, const ImageNameList &image_names, double fps,
                 const VideoStatus &status, const std::atomic<bool> *stop, EString &error, int32_t lower,
                 int32_t upper);

// Writes a colour video (MJPG) whose frame i is assign_composite_intensity of index i.
bool CreateVideo4Chan(const char *output, const char *folder, const ImageNameList &brightfield_fnames,
                      const ImageNameList &red, const ImageNameList &green, const ImageNameList &blue,
                      double fps, const VideoStatus &status, const std::atomic<bool> *stop, EString &error,
                      const std::vector<int32_t> *windows);

} // namespace Ostravo
