#pragma once
// Integer intensity profiles of 16-bit images, their smoothing and dip search, and the meniscus
// finder that locates the channel walls and the liquid front on them.
#include "Ostravo/EString.h"

#include <cstdint>
#include <opencv2/core.hpp>
#include <vector>

// Where the meniscus was found in one image. The finder's caller resets the record before each
// search; the walls found in one image are passed on to the next.
struct MeniscusResult
{
    bool found = false;
    int32_t column = -1; // image column of the meniscus
    float form = 0.0f;   // lean between two bands below the upper wall, in 1/1000 of the channel height
    bool form_valid = false;
    int32_t upper_wall = -1; // image row of the upper channel wall
    int32_t lower_wall = -1; // image row of the lower channel wall
};

// One value per region column (left..right, inclusive bounds): the integer mean of the column's
// pixels over top..bottom, minus the background pixels when a background is given. The profile
// grows to right - left + 1 values when it is shorter; a longer one keeps its tail.
// False (profile unchanged, error text set when given) for an image that is not 16-bit single
// channel, a background of another size or type, an empty region or one that leaves the image.
bool ComputeHorizontalProjection(const cv::Mat &image, int32_t left, int32_t top, int32_t right,
                                 int32_t bottom, std::vector<int32_t> &profile,
                                 const cv::Mat *background = nullptr, EString *error = nullptr);

// One value per region row: bottom - top + 1 values. Refuses what the horizontal one refuses.
bool ComputeVerticalProjection(const cv::Mat &image, int32_t left, int32_t top, int32_t right, int32_t bottom,
                               std::vector<int32_t> &profile, const cv::Mat *background = nullptr,
                               EString *error = nullptr);

// Mean of a forward and a backward running mean over window values, in integers; the windows
// grow at the ends. False, with the profile unchanged, when the window is below 2.
bool SmoothProfile(std::vector<int32_t> &profile, int window);

// The (at most) two deepest dips of the profile, in ascending order. False, with no dips, for a
// negative window.
bool FindProfileDips(const std::vector<int32_t> &profile, int window, std::vector<int32_t> &dips);

// Finds the channel walls (when either given wall is -1, or the given walls do not fit this image),
// the meniscus between them and its form.
// Whether a meniscus was found is in the result; an image without two walls gives found false
// with both walls -1. False only for an image that is not a non-empty 16-bit single-channel one.
bool FindMeniscus(const cv::Mat &image, MeniscusResult &result, int32_t upper_wall, int32_t lower_wall);
