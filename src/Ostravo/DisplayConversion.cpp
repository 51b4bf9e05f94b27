#include "Ostravo/DisplayConversion.h"

#include "platform/ErrorText.h"
#include "platform/Files.h"
#include "platform/ImageFile.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace Ostravo {

namespace {

using platform::SetError;

// Source index for output position i of n over the fractions a..b of a size, truncated toward
// zero; -1 when it falls outside 0..size-1.
int32_t SourceIndex(int i, int n, double a, double b, int size)
{
    const double s = std::trunc((static_cast<double>(i) / static_cast<double>(n) * (b - a) + a) * size);
    if (!(s >= 0.0) || s > static_cast<double>(size - 1))
        return -1;
    return static_cast<int32_t>(s);
}

// Grey level of value v through the window lo..hi onto ol..oh, clamped to 0..255.
inline int GreyOf(int v, int lo, int hi, int ol, int oh)
{
    if (hi == lo)
        return 0; // no finite result: black
    const int64_t product = static_cast<int64_t>(v - lo) * static_cast<int64_t>(oh - ol);
    const double e = std::trunc(static_cast<double>(product) / static_cast<double>(hi - lo) + ol);
    if (e < 0.0)
        return 0;
    if (e > 255.0)
        return 255;
    return static_cast<int>(e);
}

// (v - lower) x scale / (upper - lower) + 0.5, truncated toward zero; not clamped. An empty window
// gives 0 for the value at the window and the clamped extremes elsewhere.
inline int ScaledLevel(int v, int lower, int upper, double scale)
{
    const double e = static_cast<double>(v - lower) * scale / static_cast<double>(upper - lower) + 0.5;
    if (std::isnan(e))
        return 0;
    if (e < -1.0e6)
        return -1000000;
    if (e > 1.0e6)
        return 1000000;
    return static_cast<int>(std::trunc(e));
}

// Output columns start .. start + length - 1 showing source columns source .. source + length - 1
// (source -1: black).
struct SampleRun
{
    int start;
    int length;
    int32_t source;
};

inline uint8_t Clamp255(int v)
{
    return static_cast<uint8_t>(std::min(255, std::max(0, v)));
}

bool ReadImage(const std::string &path, cv::Mat &image, std::string *error)
{
    image.release();
    if (!platform::FileExists(path))
        return true; // an unreadable file reads as an empty image
    try {
        image = platform::ReadImageFile(platform::NormalizePath(path), cv::IMREAD_ANYDEPTH);
    } catch (const cv::Exception &e) {
        image.release();
        SetError(error, std::string("Problem reading image file: ") + path + " (" + e.what() + ")");
        return false;
    }
    return true;
}

// Draws the CV_8UC4 image stretched into dest with bilinear interpolation, clipped to target.
void StretchInto(const cv::Mat &pixels, cv::Mat &target, const cv::Rect &dest)
{
    if (dest.width <= 0 || dest.height <= 0 || pixels.empty())
        return;
    const cv::Rect visible = dest & cv::Rect(0, 0, target.cols, target.rows);
    if (visible.empty())
        return;
    cv::Mat stretched;
    cv::resize(pixels, stretched, dest.size(), 0, 0, cv::INTER_LINEAR);
    stretched(cv::Rect(visible.x - dest.x, visible.y - dest.y, visible.width, visible.height))
        .copyTo(target(visible));
}

bool CheckTarget(const cv::Mat &target, const char *function, std::string *error)
{
    if (target.type() == CV_8UC4)
        return true;
    SetError(error, std::string(function) + "() : the drawing target is not a 32-bit image.");
    return false;
}

} // namespace

bool SampleImageRegion(const cv::Mat &image, std::vector<uint16_t> &buffer, double left, double right,
                       double top, double bottom, int width, int height, const cv::Mat *mask,
                       std::vector<uint8_t> *maskBuffer, std::string *error)
{
    if (image.empty() || image.cols <= 0 || image.rows <= 0) {
        SetError(error, "SampleImageRegion() : the image holds no data.");
        return false;
    }
    if (image.type() != CV_16UC1) {
        SetError(error, "SampleImageRegion() : the image is not 16-bit single-channel.");
        return false;
    }
    const bool withMask = mask && !mask->empty();
    if (withMask && (mask->type() != CV_8UC1 || mask->size() != image.size() || !maskBuffer)) {
        SetError(error, "SampleImageRegion() : the overlay mask does not match the image.");
        return false;
    }
    if (width < 0 || height < 0) {
        SetError(error, "SampleImageRegion() : negative output size.");
        return false;
    }
    const size_t n = static_cast<size_t>(width) * static_cast<size_t>(height);
    buffer.resize(n);
    if (withMask)
        maskBuffer->resize(n);
    if (n == 0)
        return true;

    // Per-thread work space, so that drawing frame after frame allocates nothing.
    thread_local std::vector<int32_t> columns;
    columns.resize(static_cast<size_t>(width));
    for (int j = 0; j < width; ++j)
        columns[j] = SourceIndex(j, width, left, right, image.cols);
    // Output columns whose sources follow each other form runs: at zoom 1 a row is copied in a few
    // block moves instead of pixel by pixel.
    thread_local std::vector<SampleRun> runs;
    runs.clear();
    for (int j = 0; j < width;) {
        int k = j + 1;
        if (columns[j] < 0) {
            while (k < width && columns[k] < 0)
                ++k;
        } else {
            while (k < width && columns[k] == columns[k - 1] + 1)
                ++k;
        }
        runs.push_back(SampleRun{j, k - j, columns[j]});
        j = k;
    }
    // Zoomed out, runs are a pixel or two long: plain look-ups are cheaper then.
    const bool shortRuns = runs.size() * 8 > static_cast<size_t>(width);

    for (int i = 0; i < height; ++i) {
        uint16_t *out = buffer.data() + static_cast<size_t>(i) * width;
        uint8_t *maskOut = withMask ? maskBuffer->data() + static_cast<size_t>(i) * width : nullptr;
        const int32_t r = SourceIndex(i, height, top, bottom, image.rows);
        if (r < 0) {
            std::fill(out, out + width, uint16_t(0));
            if (maskOut)
                std::fill(maskOut, maskOut + width, uint8_t(0));
            continue;
        }
        const uint16_t *row = image.ptr<uint16_t>(r);
        const uint8_t *maskRow = maskOut ? mask->ptr<uint8_t>(r) : nullptr;
        if (shortRuns) {
            for (int j = 0; j < width; ++j) {
                const int32_t c = columns[j];
                out[j] = c < 0 ? uint16_t(0) : row[c];
            }
            if (maskOut) {
                for (int j = 0; j < width; ++j) {
                    const int32_t c = columns[j];
                    maskOut[j] = c < 0 ? uint8_t(0) : maskRow[c];
                }
            }
            continue;
        }
        for (const SampleRun &run : runs) {
            if (run.source < 0) {
                std::fill(out + run.start, out + run.start + run.length, uint16_t(0));
                if (maskOut)
                    std::fill(maskOut + run.start, maskOut + run.start + run.length, uint8_t(0));
            } else {
                std::copy(row + run.source, row + run.source + run.length, out + run.start);
                if (maskOut)
                    std::copy(maskRow + run.source, maskRow + run.source + run.length, maskOut + run.start);
            }
        }
    }
    return true;
}

uint32_t DisplayPixel(int g, uint8_t mask)
{
    const uint32_t grey = static_cast<uint32_t>(g);
    if (mask < 1 || mask > 3)
        return grey * 0x010101u;
    const uint32_t tinted = static_cast<uint32_t>(std::max(32, std::min(3 * g, 255)));
    const uint32_t other = grey / 3;
    switch (mask) {
    case 1: // red
        return (tinted << 16) | (other << 8) | other;
    case 2: // blue
        return (other << 16) | (other << 8) | tinted;
    default: // green
        return (other << 16) | (tinted << 8) | other;
    }
}

bool MapToDisplayColors(const uint16_t *values, size_t n, uint32_t *out, uint16_t upper, uint16_t lower,
                        const uint8_t *mask, int16_t outLow, int16_t outHigh)
{
    const int lo = lower, hi = upper, ol = outLow, oh = outHigh;
    if (n < 65536) {
        for (size_t k = 0; k < n; ++k)
            out[k] = DisplayPixel(GreyOf(values[k], lo, hi, ol, oh), mask ? mask[k] : 0);
        return true;
    }
    // A whole frame: one table of the 65536 grey levels costs less than computing each pixel.
    thread_local std::vector<uint8_t> grey(65536);
    for (int v = 0; v < 65536; ++v)
        grey[v] = static_cast<uint8_t>(GreyOf(v, lo, hi, ol, oh));
    const uint8_t *table = grey.data();
    if (!mask) {
        // Four independent look-ups per step keep several loads in flight.
        size_t k = 0;
        for (; k + 4 <= n; k += 4) {
            const uint32_t g0 = table[values[k]], g1 = table[values[k + 1]];
            const uint32_t g2 = table[values[k + 2]], g3 = table[values[k + 3]];
            out[k] = g0 * 0x010101u;
            out[k + 1] = g1 * 0x010101u;
            out[k + 2] = g2 * 0x010101u;
            out[k + 3] = g3 * 0x010101u;
        }
        for (; k < n; ++k)
            out[k] = table[values[k]] * 0x010101u;
    } else {
        for (size_t k = 0; k < n; ++k)
            out[k] = DisplayPixel(table[values[k]], mask[k]);
    }
    return true;
}

bool ComputeValuePercentiles(const uint16_t *samples, size_t n, const std::vector<float> &fractions,
                             std::vector<uint16_t> &levels)
{
    std::vector<size_t> histogram(65536, 0);
    for (size_t k = 0; k < n; ++k)
        ++histogram[samples[k]];

    const int64_t last = static_cast<int64_t>(n) - 1;
    std::vector<int64_t> targets(fractions.size());
    for (size_t f = 0; f < fractions.size(); ++f) {
        const float t = std::round(static_cast<float>(n) * fractions[f]);
        int64_t target = t >= 0.0f ? static_cast<int64_t>(std::min(t, 1.0e18f)) : 0;
        targets[f] = std::min(target, last);
    }

    levels.assign(fractions.size(), 0);
    std::vector<bool> found(fractions.size(), false);
    size_t remaining = fractions.size();
    int64_t sum = 0;
    for (int g = 0; g < 65536 && remaining > 0; ++g) {
        sum += static_cast<int64_t>(histogram[g]);
        for (size_t f = 0; f < fractions.size(); ++f) {
            if (!found[f] && sum >= targets[f]) {
                found[f] = true;
                levels[f] = static_cast<uint16_t>(g);
                --remaining;
            }
        }
    }
    return true;
}

bool GetAutoContrastLimits(const cv::Mat &image, int step, double lowFraction, double highFraction,
                           uint16_t &lower, uint16_t &upper)
{
    if (image.empty() || image.type() != CV_16UC1)
        return false;
    const int s = std::max(step, 1);
    std::vector<uint16_t> samples;
    samples.reserve(static_cast<size_t>(image.rows / s + 1) * static_cast<size_t>(image.cols / s + 1));
    for (int r = 0; r < image.rows; r += s) {
        const uint16_t *row = image.ptr<uint16_t>(r);
        for (int c = 0; c < image.cols; c += s)
            samples.push_back(row[c]);
    }
    const std::vector<float> fractions{static_cast<float>(std::max(lowFraction, 0.0)),
                                       static_cast<float>(std::min(highFraction, 1.0))};
    std::vector<uint16_t> levels;
    ComputeValuePercentiles(samples.data(), samples.size(), fractions, levels);
    lower = levels[0];
    upper = levels[1];
    return true;
}

int DrawTintedImageFile(const std::string &path, const std::string &colourName, cv::Mat &target,
                        const cv::Rect &dest, std::string *error)
{
    if (!CheckTarget(target, "DrawTintedImageFile", error))
        return 0;
    cv::Mat image;
    if (!ReadImage(path, image, error) || image.empty())
        return 1; // nothing to draw
    if (image.type() != CV_16UC1) {
        SetError(error, "DrawTintedImageFile() : " + path + " is not a 16-bit grey image.");
        return 0;
    }
    uint16_t lower = 0, upper = 0;
    GetAutoContrastLimits(image, 4, 0.5, 0.999, lower, upper);

    uint32_t colourMask = 0xFFFFFFu;
    if (colourName == "red")
        colourMask = 0xFF0000u;
    else if (colourName == "green")
        colourMask = 0x00FF00u;

    cv::Mat pixels(image.rows, image.cols, CV_8UC4);
    for (int r = 0; r < image.rows; ++r) {
        const uint16_t *in = image.ptr<uint16_t>(r);
        uint32_t *out = pixels.ptr<uint32_t>(r);
        for (int c = 0; c < image.cols; ++c) {
            const uint32_t g = Clamp255(ScaledLevel(in[c], lower, upper, 255.0));
            out[c] = (g * 0x010101u) & colourMask;
        }
    }
    StretchInto(pixels, target, dest);
    return 1;
}

int DrawCompositeImageFiles(const std::string &brightFieldPath, const std::string &fluorescence1Path,
                            const std::string &fluorescence2Path, cv::Mat &target, const cv::Rect &dest,
                            std::string *error)
{
    if (!CheckTarget(target, "DrawCompositeImageFiles", error))
        return 0;
    cv::Mat brightField;
    if (!ReadImage(brightFieldPath, brightField, error) || brightField.empty())
        return 1; // nothing to draw
    if (brightField.type() != CV_16UC1) {
        SetError(error, "DrawCompositeImageFiles() : " + brightFieldPath + " is not a 16-bit grey image.");
        return 0;
    }

    // Every fluorescence image is read at the bright-field image's positions: check them all first.
    const std::string *paths[2] = {&fluorescence1Path, &fluorescence2Path};
    cv::Mat fluorescence[2];
    for (int k = 0; k < 2; ++k) {
        if (paths[k]->empty())
            continue;
        ReadImage(*paths[k], fluorescence[k], nullptr);
        if (fluorescence[k].empty() || fluorescence[k].size() != brightField.size() ||
            fluorescence[k].type() != brightField.type()) {
            SetError(error, "DrawCompositeImageFiles() : " + *paths[k] +
                                " cannot be read or differs from the bright-field image in size or depth.");
            return 0;
        }
    }

    uint16_t lower = 0, upper = 0;
    GetAutoContrastLimits(brightField, 4, 0.05, 0.95, lower, upper);
    const double scale = (fluorescence1Path.empty() && fluorescence2Path.empty()) ? 180.0 : 128.0;
    cv::Mat pixels(brightField.rows, brightField.cols, CV_8UC4);
    for (int r = 0; r < brightField.rows; ++r) {
        const uint16_t *in = brightField.ptr<uint16_t>(r);
        cv::Vec4b *out = pixels.ptr<cv::Vec4b>(r);
        for (int c = 0; c < brightField.cols; ++c) {
            const uint8_t g = Clamp255(ScaledLevel(in[c], lower, upper, scale));
            out[c] = cv::Vec4b(g, g, g, 0);
        }
    }
    // First fluorescence into green, second into red (BGR channel order).
    const int channels[2] = {1, 2};
    for (int k = 0; k < 2; ++k) {
        if (fluorescence[k].empty())
            continue;
        GetAutoContrastLimits(fluorescence[k], 4, 0.5, 0.999, lower, upper);
        for (int r = 0; r < brightField.rows; ++r) {
            const uint16_t *in = fluorescence[k].ptr<uint16_t>(r);
            cv::Vec4b *out = pixels.ptr<cv::Vec4b>(r);
            for (int c = 0; c < brightField.cols; ++c) {
                const int add = ScaledLevel(in[c], lower, upper, 150.0);
                out[c][channels[k]] = Clamp255(out[c][channels[k]] + add);
            }
        }
    }
    StretchInto(pixels, target, dest);
    return 1;
}

} // namespace Ostravo
