#include "experiment/MeniscusFrames.h"

#include "app/PlexorinApp.h"
#include "platform/Files.h"
#include "platform/ImageFile.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace globals {
MeniscusSearch _lead_meniscus;
MeniscusSearch _trail_meniscus;
FlowAnalysis _flow_analysis;
} // namespace globals

namespace {

constexpr const char *kLeadPrefix = "Function Lead Meniscus Index: ";
constexpr const char *kTrailPrefix = "Function Trail Meniscus Index: ";
constexpr const char *kSplitPrefix = "Function Calculate SplitLine: ";
constexpr const char *kShiftPrefix = "Function Calculate PixelShiftperFrame: ";

// The PNG files of a template folder, full paths in name order.
std::vector<std::string> TemplateFiles(const std::string &folder)
{
    std::vector<std::string> files;
    for (const platform::DirEntry &entry : platform::ListFolder(folder, "*.png"))
        if (!entry.isFolder)
            files.push_back(folder + entry.name);
    return files;
}

std::string TemplateFolder(const char *name)
{
    return theApp.m_data_directory + "/Templates/" + name + "/";
}

// The brightfield image of a record as 8-bit grey, cut to the channel rows and shrunk by scale.
// Throws (as the image library does) when it cannot be read or the rows lie outside it.
cv::Mat PrepareFrame(const std::string &folder, const ExperimentData &experiment,
                     const CaptureLogRecord &record, int scale)
{
    EString path;
    MakeExperimentImagePath(EString(folder.c_str()), EString(record.images.brightfield.file_name.c_str()),
                            path);
    cv::Mat image = platform::ReadImageFile(path.c_str(), cv::IMREAD_GRAYSCALE);
    if (image.empty())
        throw std::runtime_error(std::string("cannot read the image ") + path.c_str());
    const int top = experiment.m_upper_channel, end = experiment.m_lower_channel_end;
    if (top < 0 || end > image.rows || top >= end)
        throw std::runtime_error("the channel rows " + std::to_string(top) + " to " + std::to_string(end) +
                                 " do not lie in the " + std::to_string(image.rows) + " rows of " +
                                 path.c_str());
    cv::Mat shrunk;
    cv::resize(image.rowRange(top, end), shrunk, cv::Size(image.cols / scale, (end - top) / scale), 0, 0,
               cv::INTER_LINEAR);
    return shrunk;
}

// A template as 8-bit grey at half size, shrunk further to the frame's height when it is taller.
cv::Mat PrepareTemplate(const std::string &path, const cv::Mat &frame)
{
    cv::Mat image = platform::ReadImageFile(path, cv::IMREAD_GRAYSCALE);
    if (image.empty() || image.cols < 2 || image.rows < 2)
        throw std::runtime_error("cannot read the template " + path);
    cv::Mat half;
    cv::resize(image, half, cv::Size(image.cols / 2, image.rows / 2), 0, 0, cv::INTER_LINEAR);
    if (frame.rows < half.rows) {
        const int width = static_cast<int>(static_cast<float>(frame.rows) / static_cast<float>(half.rows) *
                                           static_cast<float>(half.cols));
        cv::Mat fitted;
        cv::resize(half, fitted, cv::Size(width, frame.rows), 0, 0, cv::INTER_LINEAR);
        half = fitted;
    }
    return half;
}

// Best normalised-correlation score of templ over the whole frame and its top-left corner.
double Match(const cv::Mat &frame, const cv::Mat &templ, cv::Point &location)
{
    location = cv::Point(0, 0);
    if (frame.empty() || templ.empty())
        return 0.0;
    cv::Mat scores;
    cv::matchTemplate(frame, templ, scores, cv::TM_CCOEFF_NORMED);
    double low = 0.0, high = 0.0;
    cv::Point lowAt;
    cv::minMaxLoc(scores, &low, &high, &lowAt, &location);
    return high;
}

} // namespace

void ResetSampleFlowResults()
{
    _lead_meniscus = MeniscusSearch{};
    _trail_meniscus = MeniscusSearch{};
    _flow_analysis = FlowAnalysis{};
}

bool FindLeadMeniscusByTemplate(std::string folder, ExperimentData experiment, std::string &error)
{
    MeniscusSearch &lead = _lead_meniscus;
    try {
        lead.template_folder = TemplateFolder("lead-meniscus-templates");
        lead.template_files = TemplateFiles(lead.template_folder);
        const int n = static_cast<int>(experiment.m_selected_run.size());
        lead.frame_count = n / 4;
        const size_t first = lead.matched.size();
        lead.matched.insert(lead.matched.end(), static_cast<size_t>(lead.frame_count), false);
        std::vector<double> x(static_cast<size_t>(lead.frame_count), 0.0), width(x);
        bool any = false;
        // From the end of the run's first quarter back to its start: the latest sighting wins.
        for (int k = lead.frame_count - 1; k >= 0 && !any; --k) {
            const cv::Mat frame = PrepareFrame(folder, experiment,
                                               experiment.m_selected_run[static_cast<size_t>(k)], lead.scale);
            for (const std::string &file : lead.template_files) {
                const cv::Mat templ = PrepareTemplate(file, frame);
                cv::Point at;
                if (Match(frame, templ, at) > 0.6) {
                    lead.matched[first + static_cast<size_t>(k)] = true;
                    x[static_cast<size_t>(k)] = static_cast<double>(at.x) * lead.scale;
                    width[static_cast<size_t>(k)] = static_cast<double>(templ.cols) * lead.scale;
                    any = true;
                    break;
                }
            }
        }
        lead.frame_index = 0.0;
        lead.x = 0.0;
        lead.template_width = 0.0;
        for (int k = 0; k < lead.frame_count; ++k)
            if (lead.matched[first + static_cast<size_t>(k)]) {
                lead.frame_index = k;
                lead.x = x[static_cast<size_t>(k)];
                lead.template_width = width[static_cast<size_t>(k)];
                break;
            }
    } catch (const std::exception &e) {
        error = std::string(kLeadPrefix) + e.what();
        return false;
    }
    return true;
}

bool FindTrailMeniscusByTemplate(std::string folder, ExperimentData experiment, std::string &error)
{
    MeniscusSearch &trail = _trail_meniscus;
    try {
        trail.template_folder = TemplateFolder("trail-meniscus-templates");
        trail.template_files = TemplateFiles(trail.template_folder);
        const int n = static_cast<int>(experiment.m_selected_run.size());
        trail.frame_count = n / 2;
        trail.found = false;
        for (int i = 0; i < trail.frame_count && !trail.found; ++i) {
            const int index = n - trail.frame_count + i;
            const cv::Mat frame = PrepareFrame(
                folder, experiment, experiment.m_selected_run[static_cast<size_t>(index)], trail.scale);
            for (const std::string &file : trail.template_files) {
                const cv::Mat templ = PrepareTemplate(file, frame);
                cv::Point at;
                if (Match(frame, templ, at) > 0.65) {
                    trail.found = true;
                    trail.x = static_cast<double>(at.x) * trail.scale;
                    trail.distance_to_right_edge = static_cast<double>(frame.cols) * trail.scale - trail.x;
                    trail.frame_index = index;
                    trail.template_width = static_cast<int>((templ.cols * trail.scale) / 1.5);
                    break;
                }
            }
        }
        if (!trail.found) {
            trail.x = 0.0;
            trail.distance_to_right_edge = 0.0;
            trail.frame_index = n - 1;
            trail.template_width = 0.0;
        }
    } catch (const std::exception &e) {
        error = std::string(kTrailPrefix) + e.what();
        return false;
    }
    return true;
}

double SplitFraction(double pump1_speed, double pump2_speed)
{
    const double e = 0.5 / (pump1_speed / pump2_speed + 1.0);
    double best = DBL_MAX, bestF = 0.0;
    for (int i = 0; i < 5000; ++i) {
        const double f = i / 5000.0;
        const double g = std::fabs(f * f * f - 1.5 * f * f + e);
        if (g < best) {
            best = g;
            bestF = f;
        }
    }
    return bestF;
}

bool ComputeSplitLine(ExperimentData experiment, std::string &error)
{
    const std::vector<CaptureLogRecord> &run = experiment.m_selected_run;
    const size_t n = run.size();
    if (n == 0) {
        error = std::string(kSplitPrefix) + "the experiment has no run of pumped images.";
        return false;
    }
    auto middle = [&](double CaptureLogRecord::*speed) {
        return n % 2 == 1 ? run[n / 2].*speed : (run[n / 2 - 1].*speed + run[n / 2].*speed) / 2.0;
    };
    const double p1 = middle(&CaptureLogRecord::pump1_speed);
    const double p2 = middle(&CaptureLogRecord::pump2_speed);
    // Without pump 2 the equation has no root inside the channel (and without both no number at
    // all): the line would be drawn below the channel.
    if (!(p2 > 0.0) || !(p1 >= 0.0)) {
        char text[160];
        std::snprintf(
            text, sizeof text,
            "the pump speeds in the middle of the run (%.2f and %.2f uL/min) do not place a split line; "
            "pump 2 must run.",
            p1, p2);
        error = std::string(kSplitPrefix) + text;
        return false;
    }
    _flow_analysis.pump1_speed_mid = p1;
    _flow_analysis.pump2_speed_mid = p2;
    const double f = SplitFraction(p1, p2);
    _flow_analysis.split_percent = (f - 0.5) * 100.0;
    const double h = static_cast<double>(experiment.m_lower_channel_end - experiment.m_upper_channel);
    _flow_analysis.split_row = (50.0 - _flow_analysis.split_percent) / 100.0 * h + 100.0;
    _flow_analysis.half_channel_height = h * 0.5;
    return true;
}

bool ComputeFrameDisplacement(ExperimentData experiment, std::string &error)
{
    const std::vector<CaptureLogRecord> &run = experiment.m_selected_run;
    const int64_t n = static_cast<int64_t>(run.size());
    // One frame has no interval (and none no mean speed).
    if (n < 2) {
        error = std::string(kShiftPrefix) + "the run has " + std::to_string(n) +
                " frames; at least 2 are needed to measure the sample's displacement.";
        return false;
    }
    int64_t total = 0;
    for (const CaptureLogRecord &record : run)
        total = static_cast<int64_t>(static_cast<double>(total) + record.pump1_speed + record.pump2_speed);
    FlowAnalysis &flow = _flow_analysis;
    flow.mean_total_speed = static_cast<double>(total / n);
    // Each interval as the 32-bit millisecond counter gives it, across a wrap too.
    double total_ms = 0.0;
    for (size_t i = 1; i < run.size(); ++i)
        total_ms += static_cast<uint32_t>(run[i].capture_time_ms - run[i - 1].capture_time_ms);
    flow.total_time_ms = total_ms;
    flow.mm_per_pixel = 1.0 / experiment.m_pixels_per_mm;
    flow.total_time_s = flow.total_time_ms / 1000.0;
    flow.frame_interval_s = flow.total_time_s / static_cast<double>(n - 1);
    flow.volume_per_frame_ul = flow.mean_total_speed / 60.0 * flow.frame_interval_s;
    flow.shift_mm_per_frame = flow.volume_per_frame_ul * 0.25;
    const double shift = flow.shift_mm_per_frame / flow.mm_per_pixel;
    flow.shift_px_per_frame = std::isfinite(shift) && std::fabs(shift) < 2.0e9 ? static_cast<int>(shift) : 0;
    flow.run_volume_ul = static_cast<double>(n - 2) * flow.volume_per_frame_ul;
    return true;
}
