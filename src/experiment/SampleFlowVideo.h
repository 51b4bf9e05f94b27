#pragma once
// Colour frames of an experiment (brightfield in grey, the first fluorescence channel added into
// green and the second into red) and the sample-flow video made of them.
#include "experiment/ColorFrameContrast.h"
#include "experiment/ExperimentData.h"

#include <opencv2/core.hpp>

#include <string>
#include <vector>

// An 8-bit blue-green-red frame of the brightfield image's size from the three 16-bit images
// through the contrast windows; the fluorescence images are used only when included. False for an
// empty brightfield image, an included fluorescence image that is empty or of another size.
bool ComposeColorFrame(ColorFrameContrast contrast, cv::Mat brightfield, cv::Mat fluorescence1,
                       cv::Mat fluorescence2, cv::Mat &frame);

// The 8-bit value of a 16-bit sample through the window [low, high] stretched to out_max, rounded
// and clamped to 0..255. A window that is empty or reversed (no reference image was found for the
// channel) is taken as the full range 0..65535.
int ContrastLevel(double value, uint16_t low, uint16_t high, uint8_t out_max);

// The frames of the video: a thinned-out lead-in of the records before the selected run, then
// every record from its start to the end. Slots hold full paths and their exposures. False, with
// frames empty, when the run starts before record 10, at the last record, or is not found.
bool SelectVideoFrames(const ExperimentData &experiment, std::vector<ChannelImageSet> &frames);

// One colour frame of the video: the images loaded rotated, cropped and exposure-scaled.
bool LoadVideoFrame(const ExperimentData &experiment, ColorFrameContrast contrast, ChannelImageSet set,
                    cv::Mat &frame);

// Draws the split line of the flow across a colour frame: blue, 3 pixels thick, at the row.
void DrawSplitLine(cv::Mat &frame, double split_row);

// Writes folder/output_name.avi (MJPG, 5 frames per second). Waits for ExclusiveAnalysisMutex().
bool CreateSampleFlowVideo(const std::string &folder, bool include_fluorescence1, bool include_fluorescence2,
                           const std::string &output_name, std::string &error);
