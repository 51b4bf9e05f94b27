#include "analysis/BackgroundMap.h"

#include "platform/ErrorText.h"
#include "platform/Files.h"
#include "platform/ImageFile.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <opencv2/imgcodecs.hpp>
#include <string>

namespace {

constexpr const char *kConstructName = "Ostravo::ConstructBackgroundMap";
constexpr const char *kCorrectName = "Ostravo::CreateBGCorrectedImage";

using platform::SetError;

// Nearest integer, halves away from zero.
inline int RoundHalfAway(double value)
{
    return static_cast<int>(std::round(value));
}

} // namespace

namespace Ostravo {

bool ConstructBackgroundMap(cv::Mat rawBackground, const ImageRegion &region, BackgroundMap &map,
                            EString &error, int columnCount, int rowCount)
{
    if (rawBackground.type() != CV_16UC1 || rawBackground.dims != 2) {
        SetError(error, kConstructName, "raw_bg_image must be type CV16U1.");
        return false;
    }
    if (columnCount < 1 || rowCount < 1) {
        SetError(error, kConstructName, "the grid must have at least one column and one row.");
        return false;
    }
    ImageRegion r = region;
    if (r.right >= r.left && r.bottom >= r.top) {
        r.left = std::max(r.left, 0);
        r.top = std::max(r.top, 0);
        r.right = std::min(r.right, rawBackground.cols - 1);
        r.bottom = std::min(r.bottom, rawBackground.rows - 1);
    }
    if (r.right < r.left || r.bottom < r.top) {
        SetError(error, kConstructName, "roi is empty or outside of the image.");
        return false;
    }

    const int width = r.right - r.left + 1;
    const int height = r.bottom - r.top + 1;
    const int windowHeight = RoundHalfAway(height * 1.4 / rowCount);
    const int windowWidth = RoundHalfAway(width * 1.4 / columnCount);

    BackgroundMap result;
    result.left = r.left;
    result.top = r.top;
    result.right = r.right;
    result.bottom = r.bottom;
    result.grid.assign(rowCount, std::vector<uint16_t>(columnCount, 0));

    std::vector<uint16_t> pixels;
    double sum = 0.0;
    for (int i = 0; i < rowCount; ++i) {
        const int centreRow =
            r.top + RoundHalfAway(static_cast<double>(i) * height / rowCount + 0.5 * height / rowCount);
        // Windows reach about 0.2 cells beyond the region; they never read outside the image.
        const int row0 = std::max(centreRow - windowHeight / 2, 0);
        const int row1 = std::min(centreRow + windowHeight / 2, rawBackground.rows - 1);
        for (int j = 0; j < columnCount; ++j) {
            const int centreColumn = r.left + RoundHalfAway(static_cast<double>(j) * width / columnCount +
                                                            0.5 * width / columnCount);
            const int col0 = std::max(centreColumn - windowWidth / 2, 0);
            const int col1 = std::min(centreColumn + windowWidth / 2, rawBackground.cols - 1);
            pixels.clear();
            for (int y = row0; y <= row1; ++y) {
                const uint16_t *p = rawBackground.ptr<uint16_t>(y);
                for (int x = col0; x <= col1; ++x)
                    pixels.push_back(p[x]);
            }
            // The value of rank n / 2 (ranks from 1): the lower median; rank 0 gives grey level 0.
            const size_t rank = pixels.size() / 2;
            uint16_t value = 0;
            if (rank >= 1) {
                std::nth_element(pixels.begin(), pixels.begin() + (rank - 1), pixels.end());
                value = pixels[rank - 1];
            }
            result.grid[i][j] = value;
            sum += value;
        }
    }
    result.reference =
        static_cast<uint16_t>(RoundHalfAway(sum / (static_cast<double>(rowCount) * columnCount)));
    map = std::move(result);
    return true;
}

bool CreateBGCorrectedImage(const cv::Mat &input, const BackgroundMap &map, cv::Mat &output, EString &error)
{
    if (output.size() != input.size()) {
        SetError(error, kCorrectName, "image_out has different size from image_in.");
        return false;
    }
    if (output.type() != input.type()) {
        SetError(error, kCorrectName, "image_out has different type from image_in.");
        return false;
    }
    if (input.type() != CV_16UC1 || input.dims != 2) {
        SetError(error, kCorrectName, "image_in must be type CV16U1.");
        return false;
    }
    if (map.bottom < map.top || map.right < map.left)
        return true;
    const int rowCount = static_cast<int>(map.grid.size());
    const int columnCount = rowCount > 0 ? static_cast<int>(map.grid[0].size()) : 0;
    bool consistent = rowCount > 0 && columnCount > 0;
    for (const auto &row : map.grid)
        consistent = consistent && static_cast<int>(row.size()) == columnCount;
    if (!consistent) {
        SetError(error, kCorrectName, "the background map has no cells.");
        return false;
    }

    const int width = map.right - map.left + 1;
    const int height = map.bottom - map.top + 1;
    // Only the part of the map's region that lies inside the image is read and written.
    const int x0 = std::max(map.left, 0);
    const int x1 = std::min(map.right, input.cols - 1);
    const int y0 = std::max(map.top, 0);
    const int y1 = std::min(map.bottom, input.rows - 1);
    if (x0 > x1 || y0 > y1)
        return true;

    auto cellIndex = [](int offset, int extent, int count) {
        const float position =
            static_cast<float>(offset) / static_cast<float>(extent) * static_cast<float>(count);
        const int index = static_cast<int>(std::round(position));
        return std::clamp(index, 0, count - 1);
    };
    std::vector<int> cellColumn(x1 - x0 + 1);
    for (int x = x0; x <= x1; ++x)
        cellColumn[x - x0] = cellIndex(x - map.left, width, columnCount);

    const float reference = map.reference == 0 ? 1.0f : static_cast<float>(map.reference);
    for (int y = y0; y <= y1; ++y) {
        const std::vector<uint16_t> &cells = map.grid[cellIndex(y - map.top, height, rowCount)];
        const uint16_t *in = input.ptr<uint16_t>(y);
        uint16_t *out = output.ptr<uint16_t>(y);
        for (int x = x0; x <= x1; ++x) {
            const uint16_t b = cells[cellColumn[x - x0]];
            if (b == 0) {
                out[x] = 0;
                continue;
            }
            const float scale = static_cast<float>(b) / reference;
            const float value = std::round(static_cast<float>(in[x]) / scale);
            out[x] = static_cast<uint16_t>(std::clamp(value, 0.0f, 65535.0f));
        }
    }
    return true;
}

} // namespace Ostravo

bool LoadBGImages(const char *folder, std::vector<cv::Mat> &images, std::vector<EString> &typeNames,
                  EString &error)
{
    EString trimmed(folder);
    trimmed.Trim();
    const std::string listed = trimmed.IsNonEmpty() ? std::string(trimmed.c_str()) : std::string(".");
    const std::vector<platform::DirEntry> entries = platform::ListFolder(listed, "*.bg.tif");
    if (entries.empty())
        return false;

    for (const platform::DirEntry &entry : entries) {
        if (entry.isFolder)
            continue;
        EString type(entry.name.c_str());
        if (type.Replace(".bg.tif", "", 1000) != 1)
            continue;
        EString path;
        path.JoinPath(trimmed.c_str(), entry.name.c_str());
        cv::Mat image;
        try {
            image = platform::ReadImageFile(path.c_str(), cv::IMREAD_ANYDEPTH);
        } catch (const std::exception &) {
            error.Assign("LoadBGImages() - Problem trying to open image: ");
            error.Append(path.c_str());
            return false;
        }
        typeNames.push_back(type);
        images.push_back(image);
    }
    return true;
}
