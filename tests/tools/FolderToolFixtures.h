#pragma once
// Image fixtures of the folder tools (meniscus finder, focus tool), written as 16-bit PNG files.
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace vantelis::test {

// How much darker row y is than the open channel: V-shaped walls 80 rows wide, deepest on rows 50
// and 150.
inline int ChannelWallDarkening(int y)
{
    return 100 * std::max({0, 40 - std::abs(y - 50), 40 - std::abs(y - 150)});
}

// A 200-row channel image with a gentle ramp along x, the walls on rows 50 and 150, a dark line at
// column 100 and, when meniscusColumn >= 0, a one-pixel meniscus line that leans one column to the
// right per 10 rows down and crosses meniscusColumn on rows 91 to 109 (so column meniscusColumn
// is the darkest column between the walls).
inline cv::Mat MeniscusImage(int columns, int meniscusColumn)
{
    cv::Mat image(200, columns, CV_16UC1);
    for (int y = 0; y < image.rows; ++y) {
        for (int x = 0; x < image.cols; ++x)
            image.at<uint16_t>(y, x) = uint16_t(6000 + 2 * x - ChannelWallDarkening(y));
        image.at<uint16_t>(y, 100) = 800;
        if (meniscusColumn >= 0)
            image.at<uint16_t>(y, meniscusColumn + (y - 100) / 10) = 1000;
    }
    return image;
}

inline void WritePng(const std::string &path, const cv::Mat &image)
{
    ASSERT_TRUE(cv::imwrite(path, image)) << path;
}

} // namespace vantelis::test
