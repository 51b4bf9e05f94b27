#include "analysis/EpiCellCounting.h"

#include "Ostravo/ImagePrimitives.h"
#include "Ostravo/Profile.h"
#include "Ostravo/ProfileValues.h"
#include "Ostravo/Sha256.h"
#include "analysis/BackgroundMap.h"
#include "platform/ErrorText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <exception>

namespace {

// Numbers are read as text of at most 30 characters, the switch of at most 8.
constexpr uint32_t kNumberSize = 31;
constexpr uint32_t kSwitchSize = 9;

constexpr bool kDefaultUseBgImage = true;
constexpr float kDefaultDarkPct0 = 0.002f;
constexpr float kDefaultDarkPct1 = 0.01f;
constexpr int32_t kDefaultMinPixelCount = 60;
constexpr int32_t kDefaultMinSize = 20;
constexpr float kDefaultMaxRatio = 0.35f;
constexpr int32_t kDefaultLeft = 100;
constexpr int32_t kDefaultRight = 1000;
constexpr int32_t kDefaultTop = 100;
constexpr int32_t kDefaultBottom = 1000;

std::string ReadText(const char *key, uint32_t size, const char *file)
{
    return Ostravo::ReadProfileString(kEpiCountingParamsSection, key, "", size, file);
}

// "%f" and "%d" (the longest number at the start, anything after it ignored), read with '.' as the
// decimal point whatever the C library's locale.
float FloatOr(const char *key, const char *file, float fallback)
{
    float value = fallback;
    return Ostravo::ScanNumber(ReadText(key, kNumberSize, file), value) ? value : fallback;
}

int32_t IntOr(const char *key, const char *file, int32_t fallback)
{
    int32_t value = fallback;
    return Ostravo::ScanNumber(ReadText(key, kNumberSize, file), value) ? value : fallback;
}

std::string IntText(int32_t value)
{
    return std::to_string(value);
}

std::string DoubleText(float value)
{
    char text[16];
    FormatDouble(value, text);
    return text;
}

// "%f" of the value, with '.' whatever the locale.
std::string FixedText(float value)
{
    char text[64];
    const auto result = std::to_chars(text, text + sizeof(text), double(value), std::chars_format::fixed, 6);
    return std::string(text, result.ptr);
}

void AppendLittleEndian(std::vector<uint8_t> &bytes, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes.push_back(uint8_t(value >> (8 * i)));
}

void AppendFloat(std::vector<uint8_t> &bytes, float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof(bits));
    AppendLittleEndian(bytes, bits);
}

// Inside [low, high] in single precision; a value that is not a number is outside.
bool Within(float value, float low, float high)
{
    return value >= low && value <= high;
}

} // namespace

bool EpiCellCountingParams::Load(const char *path)
{
    const char *file = path != nullptr ? path : "";
    use_bg_image = !CompareText(ReadText("UseBgImageIfAvail", kSwitchSize, file).c_str(), "FALSE", 0, 0);
    dark_pct0 = FloatOr("DarkPct0", file, kDefaultDarkPct0);
    dark_pct1 = FloatOr("DarkPct1", file, kDefaultDarkPct1);
    min_pixel_count = IntOr("MinPixelCount", file, kDefaultMinPixelCount);
    min_size = IntOr("MinSize", file, kDefaultMinSize);
    max_ratio = FloatOr("MaxRatio", file, kDefaultMaxRatio);
    left = IntOr("Left", file, kDefaultLeft);
    right = IntOr("Right", file, kDefaultRight);
    top = IntOr("Top", file, kDefaultTop);
    bottom = IntOr("Bottom", file, kDefaultBottom);
    ComputeHash(digest);
    return true;
}

bool EpiCellCountingParams::Save(const char *path, EString *error)
{
    const char *file = path != nullptr ? path : "";
    const std::pair<const char *, std::string> items[] = {
        {"UseBgImageIfAvail", use_bg_image ? "TRUE" : "FALSE"},
        {"DarkPct0", DoubleText(dark_pct0)},
        {"DarkPct1", DoubleText(dark_pct1)},
        {"MinPixelCount", IntText(min_pixel_count)},
        {"MinSize", IntText(min_size)},
        {"MaxRatio", DoubleText(max_ratio)},
        {"Left", IntText(left)},
        {"Right", IntText(right)},
        {"Top", IntText(top)},
        {"Bottom", IntText(bottom)},
    };
    for (const auto &[key, value] : items) {
        if (!Ostravo::E_WritePrivateProfileString(kEpiCountingParamsSection, key, value.c_str(), file)) {
            // The stored digest stays that of the last good save, so the set still counts as unsaved.
            if (error) {
                error->Assign("EpiCellCountingParams::Save() - could not write ");
                error->Append(key);
                error->Append(" to file: ");
                error->Append(file);
            }
            return false;
        }
    }
    ComputeHash(digest);
    return true;
}

void EpiCellCountingParams::ComputeHash(uint8_t out[32]) const
{
    std::vector<uint8_t> message;
    message.push_back(use_bg_image ? 1 : 0);
    AppendFloat(message, dark_pct0);
    AppendFloat(message, dark_pct1);
    AppendLittleEndian(message, uint32_t(min_pixel_count));
    AppendLittleEndian(message, uint32_t(min_size));
    AppendFloat(message, max_ratio);
    for (int32_t bound : {left, top, right, bottom})
        AppendLittleEndian(message, uint32_t(bound));
    Sha256 context;
    Sha256Init(context);
    Sha256Update(context, message.data(), message.size());
    Sha256Final(context, out);
}

bool EpiCellCountingParams::Validate(EString &error) const
{
    error.Assign("");
    if (!Within(dark_pct0, 0.0001f, 0.5f))
        error.Append("Dark percentile threshold 0 must be a floating point number between 0.0001 and 0.5\n");
    if (!Within(dark_pct1, 0.0005f, 0.5f))
        error.Append("Dark percentile threshold 1 must be a floating point number between 0.0005 and 0.5\n");
    if (!(dark_pct0 < dark_pct1))
        error.Append("Dark percentile threshold 0 must be less than dark percentile threshold 1\n");
    if (min_pixel_count < 10 || min_pixel_count > 1000)
        error.Append("Min pixel count must be an integer between 10 and 1000\n");
    if (min_size < 5 || min_size > 150)
        error.Append("Min pixel size must be an integer between 5 and 150\n");
    if (!Within(max_ratio, 0.05f, 0.5f))
        error.Append("Max ratio between 0.05 and 0.5\n");
    if (int64_t(right) - left + 1 < 50)
        error.Append("Region of interest must be at lest 50 pixels wide\n");
    if (int64_t(bottom) - top + 1 < 50)
        error.Append("Region of interest must be at least 50 pixels high\n");
    if (left < 0 || top < 0 || right > 10000 || bottom > 10000)
        error.Append("Invalid region of interest\n");
    return !error.IsNonEmpty();
}

bool EpiCellCountingParams::WriteAsComments(std::vector<std::string> &lines) const
{
    if (!enabled) {
        lines.push_back("# ******** EpiCellCountingAlgo is not enabled ********");
        return true;
    }
    lines.push_back("# ******** EpiCellCountingAlgo params ********");
    lines.push_back("#roi.left=" + IntText(left));
    lines.push_back("#roi.right=" + IntText(right));
    lines.push_back("#roi.top=" + IntText(top));
    lines.push_back("#roi.bottom=" + IntText(bottom));
    lines.push_back(std::string("#UseBgImageIfAvail=") + (use_bg_image ? "true" : "false"));
    lines.push_back("DarkPct0=" + FixedText(dark_pct0));
    lines.push_back("DarkPct1=" + FixedText(dark_pct1));
    lines.push_back("MinPixelCount=" + IntText(min_pixel_count));
    lines.push_back("MinSize=" + IntText(min_size));
    lines.push_back("MaxRatio=" + FixedText(max_ratio));
    return true;
}

namespace {

using platform::SetError;

bool CountIslands(const cv::Mat &image, const EpiCellCountingParams &params,
                  std::vector<CellDetection> &detections, EString &error, cv::Mat *overlay,
                  const cv::Mat *background)
{
    const Ostravo::ImageRegion region{params.left, params.top, params.right, params.bottom};

    cv::Mat working = image;
    if (background) {
        const int32_t cell = 4 * params.min_size;
        const int32_t columns = (params.right - params.left + 1) / cell;
        const int32_t rows = (params.bottom - params.top + 1) / cell;
        working = image.clone();
        BackgroundMap map;
        if (!Ostravo::ConstructBackgroundMap(*background, region, map, error, columns, rows))
            return false;
        if (!Ostravo::CreateBGCorrectedImage(image, map, working, error))
            return false;
    }

    std::vector<uint16_t> levels;
    if (!Ostravo::ComputePercentileIntensities(working, region, {params.dark_pct0, params.dark_pct1}, levels,
                                               error))
        return false;
    const uint16_t seed_level = levels[0];
    const uint16_t grow_level = levels[1];

    const bool show_levels = overlay && (params.show_threshold0_pixels || params.show_threshold1_pixels);
    if (show_levels) {
        for (int32_t y = params.top; y <= params.bottom; ++y) {
            const uint16_t *row = working.ptr<uint16_t>(y);
            uint8_t *marks = overlay->ptr<uint8_t>(y);
            for (int32_t x = params.left; x <= params.right; ++x) {
                const uint16_t v = row[x];
                if (v > grow_level)
                    continue;
                if (v > seed_level && params.show_threshold1_pixels)
                    marks[x] = 2;
                else
                    marks[x] = params.show_threshold0_pixels ? 1 : 2;
            }
        }
    }

    const bool show_objects = overlay && params.show_found_object_pixels;
    cv::Mat labels;
    if (show_objects)
        labels = cv::Mat(image.size(), CV_8UC1, cv::Scalar(0)); // not Mat::zeros, see FindDarkIslands
    std::vector<Ostravo::DarkIsland> islands;
    if (!Ostravo::FindDarkIslands(working, region, seed_level, grow_level, islands, error,
                                  show_objects ? &labels : nullptr))
        return false;
    if (show_objects) {
        for (int32_t y = params.top; y <= params.bottom; ++y) {
            const uint8_t *label = labels.ptr<uint8_t>(y);
            uint8_t *marks = overlay->ptr<uint8_t>(y);
            for (int32_t x = params.left; x <= params.right; ++x)
                if (label[x] != 0)
                    marks[x] = 3;
        }
    }

    for (const Ostravo::DarkIsland &island : islands) {
        const int32_t side = std::max(island.max_x - island.min_x, island.max_y - island.min_y) + 1;
        if (island.pixel_count < params.min_pixel_count)
            continue;
        if (side < params.min_size)
            continue;
        if (float(island.pixel_count) / float(side * side) > params.max_ratio)
            continue;
        CellDetection detection;
        detection.x = int32_t(std::lround(island.centroid_x));
        detection.y = int32_t(std::lround(island.centroid_y));
        detection.radius = float(side) / 3.0f;
        detections.push_back(detection);
    }
    return true;
}

} // namespace

bool EpiCellCountingAlgo(const cv::Mat &image, const EpiCellCountingParams &params,
                         std::vector<CellDetection> &detections, EString &error, cv::Mat *overlay,
                         const cv::Mat *background)
{
    if (!params.Validate(error))
        return false;
    if (image.empty())
        return SetError(error, "EpiCellCountingAlgo", "image has no data.");
    if (image.type() != CV_16UC1)
        return SetError(error, "EpiCellCountingAlgo", "image must be type CV_16UC1");
    if (image.cols < 100 || image.rows < 100)
        return SetError(error, "EpiCellCountingAlgo", "image size must be at least 100 x 100");
    const int32_t width = params.right - params.left + 1;
    const int32_t height = params.bottom - params.top + 1;
    if (width <= 20 || height <= 20 || width >= image.cols || height >= image.rows)
        return SetError(error, "EpiCellCountingAlgo", "invalid region of interest.");
    // The size checks alone let a region reach past the right or bottom edge.
    if (params.right >= image.cols || params.bottom >= image.rows)
        return SetError(error, "EpiCellCountingAlgo", "region of interest is not inside the image.");
    if (overlay && (overlay->type() != CV_8UC1 || overlay->size() != image.size()))
        return SetError(error, "EpiCellCountingAlgo",
                        "overlay image must be type CV_8UC1 and of the image's size.");
    if (background) {
        if (background->type() != CV_16UC1 || background->size() != image.size())
            return SetError(error, "EpiCellCountingAlgo",
                            "background image must be type CV_16UC1 and of the image's size.");
        // The background grid has one cell per 4 x MinSize pixels; a smaller region has none.
        const int32_t cell = 4 * params.min_size;
        if (width / cell < 1 || height / cell < 1)
            return SetError(error, "EpiCellCountingAlgo",
                            "region of interest must be at least " + std::to_string(cell) +
                                " pixels (4 x MinSize) wide and high to use a background image.");
    }
    try {
        return CountIslands(image, params, detections, error, overlay, background);
    } catch (const std::exception &e) {
        return SetError(error, "EpiCellCountingAlgo", e.what());
    }
}
