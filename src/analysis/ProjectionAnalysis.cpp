#include "analysis/ProjectionAnalysis.h"

#include "Ostravo/ProfileValues.h"
#include "Ostravo/TextFormat.h"
#include "analysis/IntensityProfile.h"
#include "app/AppServices.h"
#include "app/PlexorinApp.h"
#include "app/RenderList.h"
#include "app/Renderer.h"
#include "app/ToolServices.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/ImageFile.h"
#include "platform/PathParts.h"
#include "platform/Ui.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <exception>
#include <new>
#include <opencv2/imgcodecs.hpp>

namespace {

// Numbers are read as text of at most 30 characters, the switch of at most 8, the name of 1022.
constexpr uint32_t kNumberSize = 31;
constexpr uint32_t kSwitchSize = 9;
constexpr uint32_t kNameSize = 1023;

// A pattern search that still improves after this many rounds is stopped where it is.
constexpr int kMaxFitRounds = 100000;

double DoubleOr(const char *section, const char *key, const char *file, double fallback)
{
    double value = fallback;
    return Ostravo::ScanNumber(Ostravo::ReadProfileString(section, key, "", kNumberSize, file), value)
               ? value
               : fallback;
}

// The parameter file as given, or the entry of its folder whose name equals it ignoring case:
// sets written on the instrument carry ".PA_params" as well as ".pa_params".
std::string FindParamsFile(const char *path)
{
    const std::string given = platform::NormalizePath(path != nullptr ? path : "");
    if (given.empty() || platform::FileExists(given))
        return given;
    const std::string found =
        platform::FindFileIgnoringCase(platform::FolderOf(given), platform::FileNameOf(given));
    return found.empty() ? given : found;
}

void AppendLine(EString &error, const std::string &text)
{
    if (error.IsNonEmpty())
        error.Append("\n");
    error.Append(text.c_str());
}

// Region checks shared by every projection: rows and columns, inside the image.
bool CheckRegion(const char *function, const cv::Mat &image, const ProjectionAnalysisParams &p,
                 EString &error)
{
    if (image.empty() || image.type() != CV_16UC1) {
        error.Assign(
            FormatText("%s() - image must be a non-empty 16-bit single-channel image.", function).c_str());
        return false;
    }
    if (p.right < p.left || p.bottom < p.top) {
        error.Assign(FormatText("%s() - region of interest has no rows or no columns.", function).c_str());
        return false;
    }
    if (p.left < 0 || p.top < 0 || p.right >= image.cols || p.bottom >= image.rows) {
        error.Assign(FormatText("%s() - region of interest %d, %d, %d, %d is not inside the %d x %d image.",
                                function, p.left, p.top, p.right, p.bottom, image.cols, image.rows)
                         .c_str());
        return false;
    }
    return true;
}

// One value per region row: the row's pixel sum over the region's columns, divided by its width.
void RowProjection(const cv::Mat &image, const ProjectionAnalysisParams &p, std::vector<int32_t> &values)
{
    const int64_t width = int64_t(p.right) - p.left + 1;
    values.resize(size_t(p.bottom - p.top + 1));
    for (int32_t r = p.top; r <= p.bottom; ++r) {
        const uint16_t *row = image.ptr<uint16_t>(r);
        int64_t sum = 0;
        for (int32_t c = p.left; c <= p.right; ++c)
            sum += row[c];
        values[size_t(r - p.top)] = int32_t(sum / width);
    }
}

// The reading the projection tools share: a missing file, an unreadable one and one that is not
// 16-bit single-channel are refused.
bool ReadProjectionImage(const char *function, const char *path, cv::Mat &image, EString &error)
{
    const std::string file = path != nullptr ? path : "";
    if (!platform::FileExists(file)) {
        error.Assign("File does not exist: ");
        error.Append(file.c_str());
        return false;
    }
    try {
        image = platform::ReadImageFile(file, cv::IMREAD_ANYDEPTH);
    } catch (const std::exception &e) {
        error.Assign(
            FormatText("%s() - problem trying to load image: %s (%s)", function, file.c_str(), e.what())
                .c_str());
        return false;
    }
    if (image.empty() || image.type() != CV_16UC1) {
        error.Assign(
            FormatText("%s() - not a readable 16-bit single-channel image: %s", function, file.c_str())
                .c_str());
        return false;
    }
    return true;
}

// The value between the two positions around at (x[k] <= at < x[k + 1]); false when there is no
// such pair.
bool Interpolate(const std::vector<double> &x, const std::vector<double> &f, double at, double &value)
{
    const size_t n = std::min(x.size(), f.size());
    if (n < 2 || !(at >= x[0]))
        return false;
    const auto above = std::upper_bound(x.begin(), x.begin() + n, at);
    if (above == x.begin() + n)
        return false;
    const size_t k = size_t(above - x.begin()) - 1;
    value = f[k] + (f[k + 1] - f[k]) * (at - x[k]) / (x[k + 1] - x[k]);
    return true;
}

bool FindExtrema(const std::vector<double> &values, int32_t count, int window, std::vector<int32_t> &indices,
                 bool valleys)
{
    indices.clear();
    if (count <= 0)
        return true;
    const int64_t n = int64_t(values.size());
    if (n == 0) {
        indices.push_back(-1);
        return true;
    }
    auto better = [valleys](double a, double b) { return valleys ? a < b : a > b; };
    int64_t extremum = 0;
    for (int64_t i = 1; i < n; ++i)
        if (better(values[i], values[extremum]))
            extremum = i;
    indices.push_back(int32_t(extremum));
    if (count == 1)
        return true;

    const int64_t half = std::max(window, 0) / 2;
    std::vector<int64_t> candidates;
    for (int64_t i = half; i < n - half - 1; ++i) {
        if (std::llabs(i - extremum) <= half)
            continue;
        bool local = true;
        for (int64_t j = i - half; j <= i + half && local; ++j)
            if (better(values[j], values[i]))
                local = false;
        if (local)
            candidates.push_back(i);
    }
    // The strongest first; the earlier one on ties.
    std::stable_sort(candidates.begin(), candidates.end(),
                     [&](int64_t a, int64_t b) { return better(values[a], values[b]); });
    for (size_t i = 0; i < candidates.size() && int32_t(indices.size()) < count; ++i)
        indices.push_back(int32_t(candidates[i]));
    return true;
}

void WriteDebugFile(const char *path, const std::vector<double> &x, const std::vector<double> &f,
                    const std::vector<float> &weights, const ProjectionPeak &peak, double mu, double sigma)
{
    std::string text;
    text += FormatText("version\t%s\r\n", theApp.m_version.c_str());
    text += FormatText("center\t%lf\r\n", mu);
    text += FormatText("amplitude\t%lf\r\n", peak.amplitude);
    text += FormatText("stdev\t%lf\r\n", sigma);
    text += FormatText("err\t%s\r\n", peak.fit_error != 0.0 ? "true" : "false");
    text += "x\ty\tod_factor\tgx\tgy\r\n";
    const size_t curve =
        peak.x_curve && peak.y_curve ? std::min(peak.x_curve->size(), peak.y_curve->size()) : 0;
    for (size_t j = 0; j < x.size(); ++j) {
        text += FormatText("%lf\t%lf\t%6.4f", x[j], f[j], double(j < weights.size() ? weights[j] : 0.0f));
        if (j < curve)
            text += FormatText("\t%lf\t%lf", (*peak.x_curve)[j], (*peak.y_curve)[j]);
        text += "\r\n";
    }
    // Replaced whole: a failed write leaves an earlier file of this name as it was.
    std::string why;
    if (!platform::AtomicReplace(path, text, &why)) {
        const bool notCreated = why.find(") : cannot create") != std::string::npos ||
                                why.find(") : cannot open") != std::string::npos;
        platform::ui::MessageBox(
            FormatText(notCreated ? "Can't create file: %s" : "Can't write file: %s", path));
    }
}

// Maps image points into the job's client rectangle through its zoom window.
struct PlotMapping
{
    double left, top, right, bottom; // client rectangle
    double x0, x1, y0, y1;           // zoom window
    double cols, rows;

    double X(double column) const { return left + (right - left) * (column / cols - x0) / (x1 - x0); }
    double Y(double row) const { return top + (bottom - top) * (row / rows - y0) / (y1 - y0); }
};

int Round(double value)
{
    return int(std::lround(value));
}

void DrawProjection(DrawingSurface &surface, const RenderJob &job, const cv::Mat &image,
                    const ProjectionAnalysisParams &params, const std::vector<double> &x,
                    const std::vector<double> &y, const std::vector<ProjectionPeak> &peaks, bool valid)
{
    const ZoomWindow &zoom = job.zoom_window;
    if (!(zoom.right > zoom.left) || !(zoom.bottom > zoom.top))
        return;
    const PlotMapping map{double(job.target_rect.left),
                          double(job.target_rect.top),
                          double(job.target_rect.right),
                          double(job.target_rect.bottom),
                          zoom.left,
                          zoom.right,
                          zoom.top,
                          zoom.bottom,
                          double(image.cols),
                          double(image.rows)};
    const int32_t width = params.right - params.left + 1;
    const double K = map.X(double(params.right) + 1.0);
    const double M = map.X(double(params.right) + std::min(width / 4, 100) - 1.0);
    const double L = map.Y(double(params.top));
    const double N = map.Y(double(params.bottom));

    const Pen frame{192, 192, 0, 1, PenStyle::Solid};
    const int fx0 = Round(K) + 1, fx1 = Round(M) + 1, fy0 = Round(L), fy1 = Round(N);
    surface.Line(fx0, fy0, fx0, fy1, frame);
    surface.Line(fx0, fy1, fx1, fy1, frame);
    surface.Line(fx1, fy1, fx1, fy0, frame);
    surface.Line(fx1, fy0, fx0, fy0, frame);

    auto point = [&](double value, double position) {
        return cv::Point(Round(K + (M - K) * value), Round(L + (N - L) * position));
    };
    const Pen projection{255, 0, 0, 2, PenStyle::Solid};
    for (size_t j = 1; j < y.size(); ++j) {
        const cv::Point a = point(y[j - 1], x[j - 1]), b = point(y[j], x[j]);
        surface.Line(a.x, a.y, b.x, b.y, projection);
    }
    if (!valid)
        return;

    const Pen cross{100, 0, 151, 3, PenStyle::Solid};
    for (const ProjectionPeak &peak : peaks) {
        if (peak.index < 0 || size_t(peak.index) >= y.size())
            continue;
        const cv::Point c = point(y[size_t(peak.index)], x[size_t(peak.index)]);
        surface.Line(c.x - 3, c.y, c.x + 4, c.y, cross);
        surface.Line(c.x, c.y - 3, c.x, c.y + 4, cross);
    }
    const Pen fit{60, 160, 100, 1, PenStyle::Solid};
    for (const ProjectionPeak &peak : peaks) {
        if (!peak.x_curve || !peak.y_curve)
            continue;
        const size_t m = std::min(peak.x_curve->size(), peak.y_curve->size());
        for (size_t i = 1; i < m; ++i) {
            const cv::Point a = point(1.0 - (*peak.y_curve)[i - 1], (*peak.x_curve)[i - 1]);
            const cv::Point b = point(1.0 - (*peak.y_curve)[i], (*peak.x_curve)[i]);
            surface.Line(a.x, a.y, b.x, b.y, fit);
        }
    }
}

} // namespace

ProjectionPeak &ProjectionPeak::operator=(const ProjectionPeak &other)
{
    if (this == &other)
        return *this;
    edge = other.edge;
    stdev = other.stdev;
    amplitude = other.amplitude;
    centre = other.centre;
    fit_error = other.fit_error;
    index = other.index;
    if (other.x_curve)
        x_curve = std::make_unique<std::vector<double>>(*other.x_curve);
    if (other.y_curve)
        y_curve = std::make_unique<std::vector<double>>(*other.y_curve);
    return *this;
}

void ProjectionPeak::FreeFitCurves()
{
    if (x_curve && !x_curve->empty())
        x_curve.reset();
    if (y_curve && !y_curve->empty())
        y_curve.reset();
}

bool LoadProjectionParams(ProjectionAnalysisParams &params, const char *path)
{
    const std::string file = FindParamsFile(path);
    const char *section = kProjectionParamsSection;
    params.SmoothingWindowMicrons = DoubleOr(section, "SmoothingWindowMicrons", file.c_str(), 15.0);
    params.NumPeaksToFind = Ostravo::ReadProfileInt(section, "NumPeaksToFind", 0, file.c_str());
    params.StdevIntegrationArea = DoubleOr(section, "StdevIntegrationArea", file.c_str(), 1.0);
    params.IntegrationSamples = Ostravo::ReadProfileInt(section, "IntegrationSamples", 11, file.c_str());
    params.FindValleys = !CompareText(
        Ostravo::ReadProfileString(section, "FindValleys", "", kSwitchSize, file.c_str()).c_str(), "FALSE", 0,
        0);
    params.ROI_name.Assign(
        Ostravo::ReadProfileString(section, "ROI_name", "", kNameSize, file.c_str()).c_str());

    params.left = params.top = params.right = params.bottom = 0;
    if (params.ROI_name.IsNonEmpty()) {
        std::vector<ROIObject> list;
        if (Rois().LoadRoiList(theApp.m_ini_path.c_str(), list) && !list.empty()) {
            // The last of equal names, as the sorted list finds it.
            for (auto roi = list.rbegin(); roi != list.rend(); ++roi) {
                if (CompareText(roi->m_name.c_str(), params.ROI_name.c_str(), 1, 0)) {
                    params.left = int32_t(roi->left);
                    params.top = int32_t(roi->top);
                    params.right = int32_t(roi->right);
                    params.bottom = int32_t(roi->bottom);
                    break;
                }
            }
        }
    }
    return true;
}

bool LoadProjectionCalibration(ProjectionAnalysisParams &params, const char *imageFolder)
{
    const char *section = "CalibrationSettings";
    params.PixelsPerMM = 0.0;
    const EString settings = GetExperimentSettingsIniPath(EString(imageFolder));
    if (settings.IsNonEmpty()) {
        params.PixelsPerMM = DoubleOr(section, "image_pixels_per_mm", settings.c_str(), 0.0);
        params.UpperChannel = Ostravo::ReadProfileInt(section, "UpperChannel", 0, settings.c_str());
        params.LowerChannel = Ostravo::ReadProfileInt(section, "LowerChannel", 0, settings.c_str());
    }
    if (params.PixelsPerMM == 0.0) {
        const char *main = theApp.m_ini_path.c_str();
        params.PixelsPerMM = DoubleOr(section, "image_pixels_per_mm", main, 500.0);
        params.UpperChannel = Ostravo::ReadProfileInt(section, "UpperChannel", 0, main);
        params.LowerChannel = Ostravo::ReadProfileInt(section, "LowerChannel", 0, main);
    }
    return true;
}

bool ValidateProjectionParams(const ProjectionAnalysisParams &p, EString &error)
{
    error.Assign("");
    // Written as "inside the range" so that a value that is not a number is refused too.
    if (!(p.SmoothingWindowMicrons >= 0.0 && p.SmoothingWindowMicrons <= 150.0))
        AppendLine(error, "Smoothing Window (um) is invalid, must be between 0 and 150.0");
    if (p.NumPeaksToFind < 0 || p.NumPeaksToFind > 10)
        AppendLine(error, "Num Peaks To Find is invalid, must be between 0 and 10");
    if (!(p.StdevIntegrationArea >= 0.5 && p.StdevIntegrationArea <= 2.0))
        AppendLine(error, "Stdev Integration Area is invalid, must be between 0.5 and 2.0");
    if (p.IntegrationSamples < 5 || p.IntegrationSamples > 49 || p.IntegrationSamples % 2 == 0)
        AppendLine(error, "Integration Samples is invalid, must be an odd number between 5 and 49");
    if (!(p.PixelsPerMM >= 30.0 && p.PixelsPerMM <= 5000.0))
        AppendLine(error, "Pixels per mm is invalid, must be between 30 and 5000");
    if (p.left < 0 || p.top < 0 || int64_t(p.right) < int64_t(p.left) + 30 ||
        int64_t(p.bottom) < int64_t(p.top) + 30)
        AppendLine(error, "ROI is invalid, must be at least 30x30 and all numbers positive integers.");
    return !error.IsNonEmpty();
}

bool WriteProjectionParamsComments(const ProjectionAnalysisParams &p, std::vector<std::string> &lines)
{
    lines.push_back("# *******************  ProjectionAnalysisParams ********************************");
    lines.push_back(FormatText("# ROI left\t%ld", long(p.left)));
    lines.push_back(FormatText("# ROI right\t%ld", long(p.right)));
    lines.push_back(FormatText("# ROI top\t%ld", long(p.top)));
    lines.push_back(FormatText("# ROI bottom\t%ld", long(p.bottom)));
    lines.push_back(FormatText("# SmoothingWindowMicrons\t%5.3lf", p.SmoothingWindowMicrons));
    lines.push_back(FormatText("# NumPeaks/ValleysToFind\t%ld", long(p.NumPeaksToFind)));
    lines.push_back(FormatText("# FindValleys\t%s", p.FindValleys ? "TRUE" : "FALSE"));
    lines.push_back(FormatText("# StdevIntegrationArea\t%5.3lf", p.StdevIntegrationArea));
    lines.push_back(FormatText("# IntegrationSamples\t%ld", long(p.IntegrationSamples)));
    lines.push_back(FormatText("# PixelsPerMM\t%4.2lf", p.PixelsPerMM));
    lines.push_back(FormatText("# ROI_name\t%s", p.ROI_name.c_str()));
    lines.push_back("");
    return true;
}

bool ComputeBaselineProjection(const std::vector<std::string> &backgroundPaths,
                               const ProjectionAnalysisParams &params, std::vector<int32_t> &baseline,
                               EString &error, std::vector<int32_t> *means)
{
    baseline.clear();
    if (means)
        means->clear();
    // Without images or rows there is nothing to take a median of.
    if (backgroundPaths.empty()) {
        error.Assign("ComputeBaselineProjection() - no background images given.");
        return false;
    }
    if (params.bottom < params.top || params.right < params.left) {
        error.Assign("ComputeBaselineProjection() - region of interest has no rows or no columns.");
        return false;
    }
    const size_t m = backgroundPaths.size();
    const size_t n = size_t(params.bottom - params.top + 1);
    std::vector<std::vector<int32_t>> projections(m);
    for (size_t k = 0; k < m; ++k) {
        cv::Mat image;
        if (!ReadProjectionImage("ComputeBaselineProjection", backgroundPaths[k].c_str(), image, error))
            return false;
        if (!CheckRegion("ComputeBaselineProjection", image, params, error))
            return false;
        RowProjection(image, params, projections[k]);
        if (means) {
            double sum = 0.0;
            for (int32_t value : projections[k])
                sum += value;
            means->push_back(int32_t(std::lround(sum / double(n))));
        }
    }

    baseline.resize(n);
    std::vector<int32_t> row(m);
    for (size_t j = 0; j < n; ++j) {
        for (size_t k = 0; k < m; ++k)
            row[k] = projections[k][j];
        std::sort(row.begin(), row.end());
        const float h = float(m - 1) * 0.5f;
        const size_t i0 = size_t(h);
        const float low = float(row[i0]);
        const float high = float(row[std::min(i0 + 1, m - 1)]);
        float median = low + (high - low) * (h - float(i0));
        if (median < 0.0f)
            median = 0.0f;
        baseline[j] = int32_t(std::lround(median));
    }
    return true;
}

bool ComputeFractionationProjection(const char *imagePath, const ProjectionAnalysisParams &params,
                                    const std::vector<int32_t> &baseline, std::vector<int32_t> &projection,
                                    EString &error, bool invert)
{
    cv::Mat image;
    if (!ReadProjectionImage("ComputeFractionationProjection", imagePath, image, error))
        return false;
    if (!CheckRegion("ComputeFractionationProjection", image, params, error))
        return false;
    const size_t n = size_t(params.bottom - params.top + 1);
    if (baseline.size() < n) {
        error.Assign(
            FormatText("ComputeFractionationProjection() - the baseline holds %d values for %d region rows.",
                       int(baseline.size()), int(n))
                .c_str());
        return false;
    }
    // Exactly one value per region row: the baseline covers no more.
    RowProjection(image, params, projection);
    for (size_t i = 0; i < n; ++i) {
        const int64_t value =
            invert ? int64_t(baseline[i]) - projection[i] : int64_t(projection[i]) - baseline[i];
        projection[i] = int32_t(std::clamp<int64_t>(value, 0, INT32_MAX));
    }
    SmoothProfile(projection, int(params.PixelsPerMM * params.SmoothingWindowMicrons / 1000.0));

    const int32_t upper = params.UpperChannel, lower = params.LowerChannel;
    if (!(0 <= upper && upper < lower && lower <= 5000)) {
        error.Assign(FormatText("Invalid channel coordinates upper_channel=%d lower_channel=%d", int(upper),
                                int(lower))
                         .c_str());
        return false;
    }
    for (size_t i = 0; i < n; ++i) {
        const int32_t r = params.top + int32_t(i);
        if (r < upper || r > lower) {
            projection[i] = 0;
            continue;
        }
        const float t = float(r - upper) / float(lower - upper + 1) - 0.5f;
        const float weight = 1.0f - 4.0f * t * t;
        projection[i] = int32_t(std::lround(float(projection[i]) * weight));
    }
    return true;
}

bool AnalyzeProjection(const cv::Mat &image, const ProjectionAnalysisParams &params,
                       std::vector<ProjectionPeak> &peaks, int64_t &elapsedMs, EString &error, RenderJob *job,
                       const char *debugPath)
{
    const bool valid = ValidateProjectionParams(params, error);
    const uint64_t start = platform::TickMs();
    elapsedMs = 0;

    EString refusal;
    if (!CheckRegion("AnalyzeProjection", image, params, refusal)) {
        AppendLine(error, refusal.c_str());
        return false;
    }
    const size_t n = size_t(params.bottom - params.top + 1);
    if (!params.baseline.empty() && params.baseline.size() < n) {
        AppendLine(error, FormatText("AnalyzeProjection() - the baseline holds %d values for %d region rows.",
                                     int(params.baseline.size()), int(n)));
        return false;
    }

    std::vector<int32_t> rows;
    RowProjection(image, params, rows);
    std::vector<int64_t> p(n);
    for (size_t j = 0; j < n; ++j)
        p[j] = int64_t(rows[j]) - (params.baseline.empty() ? 0 : params.baseline[j]);
    const auto [low, high] = std::minmax_element(p.begin(), p.end());
    const double minimum = double(*low), range = double(*high) - double(*low) + 1.0;
    std::vector<double> x(n), y(n);
    for (size_t j = 0; j < n; ++j) {
        y[j] = (double(p[j]) - minimum) / range;
        x[j] = double(j) / double(n);
    }

    std::vector<float> weights(n, 0.0f);
    const int32_t upper = params.UpperChannel, lower = params.LowerChannel;
    if (upper < lower) {
        for (size_t j = 0; j < n; ++j) {
            const float t = float(params.top + int32_t(j) - upper) / float(lower - upper + 1) - 0.5f;
            weights[j] = 1.0f - 4.0f * t * t;
        }
    }

    if (valid) {
        // Micrometres become rows with the image scale, as in the fractionation projection, so that
        // both tools smooth a set alike.
        const int window = int(params.PixelsPerMM * params.SmoothingWindowMicrons / 1000.0);
        FitProjectionPeaks(x, y, weights, window, params.NumPeaksToFind, params.FindValleys,
                           params.StdevIntegrationArea, params.IntegrationSamples, peaks, job != nullptr,
                           debugPath);
    }
    elapsedMs = int64_t(platform::TickMs() - start);

    if (job != nullptr && job->m_dc != nullptr)
        DrawProjection(*job->m_dc, *job, image, params, x, y, peaks, valid);
    return true;
}

bool FitProjectionPeaks(const std::vector<double> &x, std::vector<double> &y,
                        const std::vector<float> &weights, int smoothingWindow, int32_t numPeaks,
                        bool findValleys, double integrationArea, int32_t integrationSamples,
                        std::vector<ProjectionPeak> &peaks, bool wantCurves, const char *debugPath)
{
    if (smoothingWindow != 0)
        SmoothForwardBackward(y, smoothingWindow);
    if (numPeaks == 0)
        return true;

    std::vector<int32_t> indices;
    const int window = std::max(smoothingWindow, 10);
    if (findValleys)
        FindProjectionValleys(y, numPeaks, window, indices);
    else
        FindProjectionPeaks(y, numPeaks, window, indices);
    peaks.resize(indices.size());
    for (size_t i = 0; i < indices.size(); ++i)
        peaks[i].index = indices[i];

    const size_t n = std::min(x.size(), y.size());
    std::vector<double> f(n);
    for (size_t j = 0; j < n; ++j)
        f[j] = findValleys ? 1.0 - y[j] : y[j];

    for (size_t i = 0; i < indices.size(); ++i) {
        ProjectionPeak &peak = peaks[i];
        // A fit needs a found sample and two positions to take its starting width from.
        if (indices[i] < 0 || size_t(indices[i]) >= n || n < 2) {
            peak.fit_error = kProjectionFitOutOfRange; // not fitted
            continue;
        }
        double mu = x[size_t(indices[i])];
        double sigma = (x[1] - x[0]) * 15.0;
        bool edge = false;
        auto error = [&](double centre, double stdev) {
            return GaussianFitError(x, f, centre, stdev, integrationArea, integrationSamples);
        };
        double best = error(mu, sigma);
        // One direction's walk: fixed steps while each probe improves on the last accepted point.
        auto walk = [&](double &value, double step, bool keepPositive, auto probe) {
            bool moved = false;
            for (;;) {
                if (keepPositive && !(value + step > 0.0))
                    break; // a width must stay positive
                const double e = probe(value + step);
                if (e >= kProjectionFitOutOfRange) {
                    edge = true;
                    break;
                }
                if (!(e < best))
                    break;
                value += step;
                best = e;
                moved = true;
            }
            return moved;
        };
        for (int round = 0; round < kMaxFitRounds; ++round) {
            bool moved = false;
            const double sigmaStep = sigma / 20.0;
            auto bySigma = [&](double s) { return error(mu, s); };
            if (walk(sigma, sigmaStep, true, bySigma))
                moved = true;
            else if (walk(sigma, -sigmaStep, true, bySigma))
                moved = true;
            const double muStep = sigma / 20.0;
            auto byMu = [&](double m) { return error(m, sigma); };
            if (walk(mu, muStep, false, byMu))
                moved = true;
            else if (walk(mu, -muStep, false, byMu))
                moved = true;
            if (!moved)
                break;
        }

        const bool debugThis = i == 0 && debugPath != nullptr;
        if (wantCurves || debugThis) {
            peak.x_curve = std::make_unique<std::vector<double>>();
            peak.y_curve = std::make_unique<std::vector<double>>();
        }
        peak.fit_error = GaussianFitError(x, f, mu, sigma, integrationArea, integrationSamples,
                                          &peak.amplitude, peak.x_curve.get(), peak.y_curve.get());
        if (debugThis)
            WriteDebugFile(debugPath, x, f, weights, peak, mu, sigma);
        // The stored curve is always on the inverted scale; the drawing turns it back.
        if (!findValleys && peak.y_curve)
            for (double &v : *peak.y_curve)
                v = 1.0 - v;
        peak.centre = mu;
        peak.stdev = sigma;
        peak.edge = edge;
    }
    return true;
}

double GaussianFitError(const std::vector<double> &x, const std::vector<double> &f, double centre,
                        double stdev, double integrationArea, int32_t integrationSamples, double *amplitude,
                        std::vector<double> *xCurve, std::vector<double> *yCurve)
{
    double h = 0.0;
    if (!Interpolate(x, f, centre, h))
        h = kProjectionFitOutOfRange;
    if (amplitude)
        *amplitude = h;
    if (integrationSamples < 1)
        return kProjectionFitOutOfRange;

    const int32_t k = integrationSamples / 2;
    const double step = 2.0 * stdev * integrationArea / double(integrationSamples);
    if (xCurve)
        xCurve->assign(size_t(2 * k + 1), 0.0);
    if (yCurve)
        yCurve->assign(size_t(2 * k + 1), 0.0);
    double sum = 0.0;
    bool outside = false;
    for (int32_t i = -k; i <= k; ++i) {
        const double u = centre + double(i) * step;
        const double d = u - centre;
        const double g = std::exp(-0.5 * (d * d) / (stdev * stdev));
        if (xCurve)
            (*xCurve)[size_t(k + i)] = u;
        if (yCurve)
            (*yCurve)[size_t(k + i)] = h * g;
        double value = 0.0;
        if (!Interpolate(x, f, u, value))
            outside = true;
        else
            sum += std::fabs(h * g - value);
    }
    if (outside)
        return kProjectionFitOutOfRange;
    return sum / h / double(integrationSamples);
}

bool FindProjectionPeaks(const std::vector<double> &values, int32_t count, int window,
                         std::vector<int32_t> &indices)
{
    return FindExtrema(values, count, window, indices, false);
}

bool FindProjectionValleys(const std::vector<double> &values, int32_t count, int window,
                           std::vector<int32_t> &indices)
{
    return FindExtrema(values, count, window, indices, true);
}

bool SmoothForwardBackward(std::vector<double> &values, int window)
{
    const int64_t n = int64_t(values.size());
    const int64_t a = window;
    if (a < 1 || n == 0)
        return true;
    std::vector<double> forward, backward;
    try {
        forward.resize(size_t(n));
        backward.resize(size_t(n));
    } catch (const std::bad_alloc &) {
        return false;
    }
    double sum = 0.0;
    for (int64_t i = 0; i < n; ++i) {
        sum += values[i];
        if (i < a) {
            forward[i] = sum / double(i + 1);
        } else {
            sum -= values[i - a];
            forward[i] = sum / double(a);
        }
    }
    sum = 0.0;
    for (int64_t i = n - 1; i >= 0; --i) {
        sum += values[i];
        if (n - 1 - i < a) {
            backward[i] = sum / double(n - i);
        } else {
            sum -= values[i + a];
            backward[i] = sum / double(a);
        }
    }
    for (int64_t i = 0; i < n; ++i)
        values[i] = (forward[i] + backward[i]) * 0.5;
    return true;
}
