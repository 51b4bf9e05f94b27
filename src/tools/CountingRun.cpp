#include "tools/CountingRun.h"

#include "platform/Files.h"
#include "platform/PathParts.h"

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

using namespace counting_id;

// "%d" of an edit, as the window reads it: leading blanks skipped, trailing text ignored.
bool ScanInt(const std::string &text, int32_t &value)
{
    int parsed = 0;
    if (std::sscanf(text.c_str(), "%d", &parsed) != 1)
        return false;
    value = parsed;
    return true;
}

bool ScanDouble(const std::string &text, double &value)
{
    return std::sscanf(text.c_str(), "%lf", &value) == 1 && std::isfinite(value);
}

std::string Line(const char *format, ...) __attribute__((format(printf, 1, 2)));
std::string Line(const char *format, ...)
{
    char buffer[2048];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof(buffer), format, args);
    va_end(args);
    return buffer;
}

const char *TrueFalse(bool value)
{
    return value ? "true" : "false";
}

// Text as the Windows build wrote it in text mode: every LF becomes CR LF.
std::string WithCrLf(const std::string &text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

std::string HeaderBlock(const CountingResultHeader &header, const CountingRunSettings &settings,
                        const std::vector<std::vector<CellDetection>> &detections)
{
    const CountingAlgoOptions &o = settings.options;
    const double ppmm = o.pixels_per_mm;
    std::string text;
    text += Line("%s\tVersion\t%s\n", header.product_name.c_str(), header.version.c_str());
    text += Line("# ComputerName=%s\n", header.computer_name.substr(0, 15).c_str());
    text += Line("# image\t%s\n", header.image_path.c_str());
    text += Line("# b_edge_processing\t%s\n", TrueFalse(o.edge_processing));
    text += Line("# ROI left\t%d\n", o.left);
    text += Line("# ROI right\t%d\n", o.right);
    text += Line("# ROI top\t%d\n", o.top);
    text += Line("# ROI bottom\t%d\n", o.bottom);
    text += Line("# Upper magnet height\t%d\n", settings.upper_magnet);
    text += Line("# Lower magnet height\t%d\n", settings.lower_magnet);
    text += Line("# bMFilter1\t%s\n", TrueFalse(o.morph_filter[0]));
    text += Line("# bMFilter2\t%s\n", TrueFalse(o.morph_filter[1]));
    text += Line("# radius1\t%5.3f\tum\n", header.radius_um[0]);
    text += Line("# radius2\t%5.3f\tum\n", header.radius_um[1]);
    text += Line("# ppmm\t%5.3f\n", ppmm);
    text += Line("# radius1\t%5.3f\tpix\n", header.radius_um[0] * ppmm / 1000.0);
    text += Line("# radius2\t%5.3f\tpix\n", header.radius_um[1] * ppmm / 1000.0);
    text += Line("# mthreshold1\t%d\n", o.morph_threshold[0]);
    text += Line("# mthreshold2\t%d\n", o.morph_threshold[1]);
    text += Line("# use_inner_ring_1\t%s\n", TrueFalse(o.use_inner_ring[0]));
    text += Line("# use_inner_ring_2\t%s\n", TrueFalse(o.use_inner_ring[1]));
    text += Line("# samples1\t%d\n", o.morph_samples[0]);
    text += Line("# samples2\t%d\n", o.morph_samples[1]);
    text += Line("# bCFilter1\t%s\n", TrueFalse(o.count_filter[0]));
    text += Line("# bCFilter2\t%s\n", TrueFalse(o.count_filter[1]));
    text += Line("# cthreshold1\t%d\n", o.count_threshold[0]);
    text += Line("# cthreshold2\t%d\n", o.count_threshold[1]);
    text += Line("# min_sz_1\t%d\n", o.count_min_size[0]);
    text += Line("# min_sz_2\t%d\n", o.count_min_size[1]);
    text += Line("# count1\t%d\n", static_cast<int32_t>(detections.size() > 0 ? detections[0].size() : 0));
    text += Line("# count2\t%d\n", static_cast<int32_t>(detections.size() > 1 ? detections[1].size() : 0));
    return text;
}

} // namespace

bool PrepareCountingRun(const CountingControls &controls, int columns, int rows,
                        const std::string &settingsPath, CountingRunSettings &settings, std::string &message,
                        bool &errorIcon)
{
    const std::string prefix = "CountingAlgorithmDlg::process_image () ";
    errorIcon = false;
    settings = CountingRunSettings{};
    CountingAlgoOptions &o = settings.options;

    // Edits that the run cannot do without: a text that does not parse refuses the run by name.
    struct IntField
    {
        int control;
        const char *name;
        int32_t *target;
    };
    int32_t sweep[2] = {0, 0};
    const IntField fields[] = {
        {kObjectRadiusSweep1, "ObjectRadiusSweep1", &sweep[0]},
        {kObjectRadiusSweep2, "ObjectRadiusSweep2", &sweep[1]},
        {kLeft, "Left", &o.left},
        {kRight, "Right", &o.right},
        {kTop, "Top", &o.top},
        {kBottom, "Bottom", &o.bottom},
        {kUpperMagnet, "Upper magnet", &settings.upper_magnet},
        {kLowerMagnet, "Lower magnet", &settings.lower_magnet},
        {kMFilterSamples1, "MFilterSamples1", &o.morph_samples[0]},
        {kMFilterSamples2, "MFilterSamples2", &o.morph_samples[1]},
        {kMFilterThreshold1, "MFilterThreshold1", &o.morph_threshold[0]},
        {kMFilterThreshold2, "MFilterThreshold2", &o.morph_threshold[1]},
    };
    for (const IntField &field : fields) {
        if (!ScanInt(controls.Edit(field.control), *field.target)) {
            message = prefix + field.name + " must be a whole number";
            return false;
        }
    }
    const struct
    {
        int control;
        const char *name;
        double *target;
    } radii[] = {{kObjectRadius1, "ObjectRadius1", &o.object_radius[0]},
                 {kObjectRadius2, "ObjectRadius2", &o.object_radius[1]}};
    for (const auto &field : radii) {
        if (!ScanDouble(controls.Edit(field.control), *field.target)) {
            message = prefix + field.name + " must be a number";
            return false;
        }
    }
    // The C-filter edits fall back as the window always did.
    if (!ScanInt(controls.Edit(kCFilterThreshold1), o.count_threshold[0]))
        o.count_threshold[0] = 1;
    if (!ScanInt(controls.Edit(kCFilterThreshold2), o.count_threshold[1]))
        o.count_threshold[1] = 1;
    if (!ScanInt(controls.Edit(kCFilterMinSize1), o.count_min_size[0]))
        o.count_min_size[0] = 0;
    if (!ScanInt(controls.Edit(kCFilterMinSize2), o.count_min_size[1]))
        o.count_min_size[1] = 0;

    for (int32_t value : sweep) {
        if (value < 0 || value > 20) {
            message = "Radius sweep must be between 0 and 20";
            errorIcon = true;
            return false;
        }
    }
    if (static_cast<int64_t>(o.bottom) - o.top < 20) {
        message = prefix + "Bottom - Top must be greater than or equal to 20 pixel rows";
        return false;
    }
    if (o.top < 0) {
        message = prefix + "Top must be greather than or equal to 0";
        return false;
    }
    if (o.bottom >= rows) {
        message = prefix + "Bottom must be less than image height " + std::to_string(rows);
        return false;
    }
    if (o.left < 0) {
        message = prefix + "Left must be greater than or equal to 0";
        return false;
    }
    if (o.right >= columns) {
        message = prefix + "Right must be less than image width " + std::to_string(columns);
        return false;
    }
    if (o.right <= o.left) {
        message = prefix + "Right must be greater than Left";
        return false;
    }
    if (settings.upper_magnet == settings.lower_magnet) {
        message = prefix + "Upper and Lower magnet rows must differ";
        return false;
    }

    o.pixels_per_mm = ReadPixelsPerMm(settingsPath.c_str(), kDefaultCountingPixelsPerMm);
    o.edge_processing = controls.Box(kEdgeProcessing);
    o.morph_filter[0] = controls.Box(kMFilter1);
    o.morph_filter[1] = controls.Box(kMFilter2);
    o.count_filter[0] = controls.Box(kCFilter1);
    o.count_filter[1] = controls.Box(kCFilter2);
    o.use_inner_ring[0] = controls.Box(kUseInnerRing1);
    o.use_inner_ring[1] = controls.Box(kUseInnerRing2);
    o.proximity_within_type[0] = controls.Box(kProximityWithin1);
    o.proximity_within_type[1] = controls.Box(kProximityWithin2);
    o.proximity_between_types = controls.Box(kProximityBetween);
    o.radius_sweep[0] = sweep[0];
    o.radius_sweep[1] = sweep[1];
    settings.restore_image = controls.Box(kRestoreImage);
    settings.create_results_files = controls.Box(kCreateResultsFiles);
    settings.open_summary = controls.Box(kOpenSummary);
    return true;
}

bool ChooseCountingResultPaths(const std::string &imagePath, std::string &table, std::string &summary)
{
    const std::string base = platform::WithoutExtension(imagePath);
    for (int n = 0; n < 100000; ++n) {
        const std::string stem = n == 0 ? base : base + "[" + std::to_string(n) + "]";
        const std::string tablePath = stem + ".txt";
        const std::string summaryPath = stem + ".sum.txt";
        if (platform::FileExists(tablePath) || platform::FolderExists(tablePath) ||
            platform::FileExists(summaryPath) || platform::FolderExists(summaryPath))
            continue;
        table = tablePath;
        summary = summaryPath;
        return true;
    }
    return false;
}

double CountingHeight(int32_t iy, int32_t upperMagnet, int32_t lowerMagnet)
{
    return (static_cast<double>(lowerMagnet) - iy) / (static_cast<double>(lowerMagnet) - upperMagnet);
}

int CountingHistogramBin(double height)
{
    const double bin = std::trunc(height * 29.0);
    if (!(bin > 0.0))
        return 0;
    return bin >= 29.0 ? 29 : static_cast<int>(bin);
}

CountingResultTexts FormatCountingResults(const CountingResultHeader &header,
                                          const CountingRunSettings &settings,
                                          const std::vector<std::vector<CellDetection>> &detections)
{
    const std::string head = HeaderBlock(header, settings, detections);
    const double ppmm = settings.options.pixels_per_mm;
    std::string table = head + "sz_idx\tidx\tix\tiy\tconfidence\theight\tradius(um)\n";
    int32_t count[2] = {0, 0};
    double sum[2] = {0.0, 0.0};
    double sumSquares[2] = {0.0, 0.0};
    int32_t bins[2][30] = {};
    for (size_t type = 0; type < 2 && type < detections.size(); ++type) {
        int32_t index = 0;
        for (const CellDetection &cell : detections[type]) {
            const double h = CountingHeight(cell.y, settings.upper_magnet, settings.lower_magnet);
            const double radiusUm = cell.radius / ppmm * 1000.0;
            table += Line("%d\t%d\t", static_cast<int>(type + 1), index++);
            table += Line("%d\t%d\t%7.4f\t%5.3f\t%3.1f", cell.x, cell.y, static_cast<double>(cell.confidence),
                          h, radiusUm);
            // Type-1 rows have always ended in a tab; readers of these tables expect it.
            table += type == 0 ? "\t\n" : "\n";
            ++count[type];
            sum[type] += h;
            sumSquares[type] += h * h;
            ++bins[type][CountingHistogramBin(h)];
        }
    }

    std::string summary = head + "itype\tavg_y\tstdev_y\n";
    for (int type = 0; type < 2; ++type) {
        const int32_t n = count[type];
        if (n == 0) {
            summary += "\t\t\n";
            continue;
        }
        const double mean = sum[type] / n;
        double deviation = 0.0;
        if (n > 1) {
            const double variance = (sumSquares[type] - sum[type] * sum[type] / n) / (n - 1);
            deviation = variance > 0.0 ? std::sqrt(variance) : 0.0;
        }
        summary += Line(type == 0 ? "1\t%5.3f\t%5.3f\n" : "2\t%5.3f\t%5.3f", mean, deviation);
    }
    summary += "\n**************** Histograms **********************\n";
    summary += "height\tcount1\tcount2\n";
    for (int i = 0; i < 30; ++i)
        summary += Line("%5.3f\t%d\t%d\n", i / 30.0, bins[0][i], bins[1][i]);
    return CountingResultTexts{WithCrLf(table), WithCrLf(summary)};
}

bool WriteNewTextFile(const std::string &path, const std::string &text, std::string &error)
{
    // Made whole or not at all, and never over an existing result: the text goes to a temporary
    // file that is renamed into place only when the name is still free.
    std::string why;
    if (platform::AtomicCreate(path, text, &why))
        return true;
    const int err = errno;
    const bool notCreated = err == EEXIST || why.find(") : cannot create") != std::string::npos ||
                            why.find(") : cannot open") != std::string::npos;
    error = notCreated ? std::strerror(err) : "write failed";
    return false;
}
