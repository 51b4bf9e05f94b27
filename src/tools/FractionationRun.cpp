#include "tools/FractionationRun.h"

#include "Ostravo/TextFormat.h"
#include "app/AnalysisLock.h"
#include "app/PlexorinApp.h"
#include "platform/Files.h"

#include <algorithm>
#include <cmath>
#include <mutex>

namespace {

std::string FileNameOf(const std::string &path)
{
    EString name;
    name.SplitPath(path.c_str(), 0, 1, 1);
    return name.c_str();
}

// A message inside one tab-separated line.
std::string OneLine(std::string text)
{
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n' || c == '\t'; }, ' ');
    return text;
}

void Line(std::string &out, const std::string &text)
{
    out += text;
    out += "\r\n";
}

std::vector<std::string> JoinNames(const std::string &folder, const std::vector<std::string> &names)
{
    std::vector<std::string> paths;
    for (const std::string &name : names) {
        EString path;
        path.JoinPath(folder.c_str(), name.c_str());
        paths.push_back(platform::NormalizePath(path.c_str()));
    }
    return paths;
}

} // namespace

int32_t FractionationDividerRow(int32_t upper, int32_t lower, double divider)
{
    return int32_t(std::round((double(lower) - double(upper) + 1.0) * divider + double(upper)));
}

bool FractionationTopShare(const std::vector<int32_t> &projection, int64_t lastTop, float &fractTop,
                           double &mean)
{
    int64_t total = 0, top = 0;
    for (size_t j = 0; j < projection.size(); ++j) {
        total += projection[j];
        if (int64_t(j) <= lastTop)
            top += projection[j];
    }
    mean = projection.empty() ? 0.0 : double(total) / double(projection.size());
    if (total == 0) {
        fractTop = 0.0f;
        return false;
    }
    fractTop = float(double(uint64_t(top)) / double(uint64_t(total)));
    return true;
}

std::string MakeFractionationReportPath(const std::string &folder, const platform::LocalTime &t)
{
    return platform::NormalizePath(folder) + FormatText("/FractionationAnalysis_%d%02d%02d-%02d%02d-%02d.txt",
                                                        t.year, t.month, t.day, t.hour, t.minute, t.second);
}

std::string FormatFractionationReport(const FractionationReportData &d)
{
    std::string out;
    Line(out, FormatText("Quorvane %s version %s", d.product.c_str(), d.version.c_str()));
    Line(out, "Cell Fractionation Report");
    Line(out, FormatText("upper_channel\t%ld", long(d.upper_channel)));
    Line(out, FormatText("lower_channel\t%ld", long(d.lower_channel)));
    Line(out, "roi_name\t" + d.roi_name);
    Line(out, FormatText("roi.left\t%ld", long(d.roi[0])));
    Line(out, FormatText("roi.right\t%ld", long(d.roi[2])));
    Line(out, FormatText("roi.top\t%ld", long(d.roi[1])));
    Line(out, FormatText("roi.bottom\t%ld", long(d.roi[3])));
    EString folder;
    if (!d.images.empty())
        folder.SplitPath(d.images.front().path.c_str(), 1, 0, 0);
    Line(out, std::string("image_dir\t") + folder.c_str());
    Line(out, FormatText("bg_image_count\t%ld", long(d.background_paths.size())));
    Line(out, "bg_image_file\tavg_intensity");
    for (size_t i = 0; i < d.background_paths.size(); ++i)
        Line(out, FormatText("%s\t%ld", FileNameOf(d.background_paths[i]).c_str(),
                             long(i < d.background_means.size() ? d.background_means[i] : 0)));
    if (d.have_totals) {
        Line(out, FormatText("total_fraction_cells_to_the_top\t%lf", d.total_top));
        Line(out, FormatText("total_fraction_cells_to_the_bottom\t%lf", 1.0 - d.total_top));
    } else if (d.failed_image == 1) {
        Line(out, "note\tno totals: no image was processed, the run stopped at its first image");
    } else {
        Line(out,
             "note\tno totals: the projections of all images sum to zero, so the images have no weights");
    }
    Line(out, FormatText("image_count\t%ld", long(d.images.size())));
    Line(out, "image_file\tfract_top\tweight\tchan_div");
    for (const FractionationImage &image : d.images)
        Line(out, FormatText("%s\t%f\t%f\t%f", FileNameOf(image.path).c_str(), double(image.fract_top),
                             double(image.weight), double(image.chan_div)));
    for (const FractionationImage &image : d.images)
        if (image.zero_sum)
            Line(out,
                 "note\t" + FileNameOf(image.path) + "\tfract_top written as 0: the projection sums to zero");
    if (d.failed_image > 0) {
        const FractionationImage &failed = d.images[size_t(d.failed_image - 1)];
        Line(out,
             FormatText(
                 "partial_report\tstopped at image %ld of %ld: the totals cover the %ld images before it",
                 long(d.failed_image), long(d.images.size()), long(d.failed_image - 1)));
        Line(out, "failed_image\t" + FileNameOf(failed.path) + "\t" + OneLine(d.failure));
    }
    Line(out, "*************** Projection data **********************");
    std::string names;
    size_t rows = 0;
    for (size_t i = 0; i < d.images.size(); ++i) {
        names += (i ? "\t" : "") + FileNameOf(d.images[i].path);
        rows = std::max(rows, d.images[i].projection.size());
    }
    Line(out, names);
    // Images that were not processed have no projection: their column holds 0.
    for (size_t j = 0; j < rows; ++j) {
        std::string row;
        for (size_t i = 0; i < d.images.size(); ++i) {
            const std::vector<int32_t> &p = d.images[i].projection;
            row += (i ? "\t" : "") + FormatText("%ld", long(j < p.size() ? p[j] : 0));
        }
        Line(out, row);
    }
    return out;
}

bool RunFractionationAnalysis(const FractionationRunInputs &inputs, FractionationRunObserver &observer)
{
    // The montage, the video and this run share analysis state: one at a time.
    std::lock_guard<std::mutex> exclusive(ExclusiveAnalysisMutex());
    const FractionationControls &controls = inputs.controls;

    FractionationReportData report;
    report.product = theApp.m_product_name;
    report.version = theApp.m_version;
    report.background_paths = JoinNames(controls.folder, controls.backgroundNames);
    if (report.background_paths.empty()) {
        observer.Failure("Must select one or more backgroud images.");
        return false;
    }
    const std::vector<std::string> imagePaths = JoinNames(controls.folder, controls.selectedEntries);
    if (imagePaths.empty()) {
        observer.Failure("You must select at least one file from the list.");
        return false;
    }
    if (!inputs.log) {
        observer.Failure("Missing log file data for the image directory: " + controls.folder);
        return false;
    }

    EString roiName, error;
    if (!ResolveFractionationRoi(controls, report.roi, roiName, error)) {
        observer.Failure(error.c_str());
        return false;
    }
    report.roi_name = roiName.c_str();
    ProjectionAnalysisParams params;
    if (!LoadFractionationParams(controls, params, error)) {
        observer.Failure(error.c_str());
        return false;
    }
    params.left = report.roi[0];
    params.top = report.roi[1];
    params.right = report.roi[2];
    params.bottom = report.roi[3];
    report.upper_channel = params.UpperChannel;
    report.lower_channel = params.LowerChannel;

    observer.Status("Computing baseline.");
    std::vector<int32_t> baseline;
    if (!ComputeBaselineProjection(report.background_paths, params, baseline, error,
                                   &report.background_means)) {
        observer.Failure(error.c_str());
        return false;
    }

    const long count = long(imagePaths.size());
    report.images.resize(imagePaths.size());
    double sum = 0.0;
    for (long i = 0; i < count; ++i) {
        FractionationImage &image = report.images[size_t(i)];
        image.path = imagePaths[size_t(i)];
        observer.Status(FormatText("Image %ld of %ld", i + 1, count));
        std::vector<int32_t> projection;
        double divider = 0.0;
        if (!ComputeFractionationProjection(image.path.c_str(), params, baseline, projection, error,
                                            controls.brightField) ||
            !inputs.log->GetChannelDivider(image.path.c_str(), divider, error)) {
            observer.Failure(error.c_str());
            report.failed_image = int32_t(i + 1);
            report.failure = error.c_str();
            break;
        }
        const int32_t row = FractionationDividerRow(params.UpperChannel, params.LowerChannel, divider);
        double mean = 0.0;
        image.zero_sum = !FractionationTopShare(projection, int64_t(row) - params.top, image.fract_top, mean);
        image.weight = float(mean);
        image.chan_div = float(divider);
        image.projection = std::move(projection);
        sum += double(image.weight);
    }
    for (long i = report.failed_image ? report.failed_image : count; i < count; ++i)
        report.images[size_t(i)].path = imagePaths[size_t(i)];

    // Projections are never negative, so a zero sum means every weight is zero.
    report.have_totals = sum > 0.0;
    if (report.have_totals) {
        for (FractionationImage &image : report.images) {
            image.weight = float(double(image.weight) / sum);
            report.total_top += double(image.weight * image.fract_top);
        }
    }

    const std::string path = MakeFractionationReportPath(controls.folder, platform::Now());
    std::string writeError;
    if (!platform::AtomicReplace(path, FormatFractionationReport(report), &writeError)) {
        observer.Failure("Unable to create file: " + path);
        return false;
    }
    observer.OpenReport(path);
    return true;
}
