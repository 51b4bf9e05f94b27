#include "experiment/CellFractionation.h"

#include "Ostravo/EString.h"
#include "Ostravo/LogError.h"
#include "app/AnalysisLock.h"
#include "app/PlexorinApp.h"
#include "experiment/ImageUtilities.h"
#include "experiment/MeniscusFrames.h"
#include "experiment/Montage.h"
#include "platform/Files.h"
#include "platform/SystemInfo.h"

#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <utility>

namespace {

constexpr int kLeadMargin = 200;     // columns beyond the lead meniscus template searched for it
constexpr int kTriangleRows = 175;   // rows of the cut-off triangle at the lead meniscus
constexpr int kMinimumImages = 5;    // the median background needs five frames
constexpr int kSplitRowOrigin = 100; // the split row is measured from 100 rows above the channel

void ErodeThreeTimes(cv::Mat &mask)
{
    const cv::Mat kernel = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(15, 3));
    for (int i = 0; i < 3; ++i)
        cv::erode(mask, mask, kernel, cv::Point(-1, -1), 1, cv::BORDER_CONSTANT,
                  cv::morphologyDefaultBorderValue());
}

cv::Mat NoiseFree16(const AnalysisFrame &frame)
{
    cv::Mat b;
    frame.m_noiseFreeBackground.convertTo(b, CV_16U);
    return b;
}

cv::Mat FilledContour(cv::Size size, const Contours &contours, int k, double inside, double outside)
{
    cv::Mat m(size, CV_16UC1, cv::Scalar(outside));
    cv::drawContours(m, contours, k, cv::Scalar(inside), cv::FILLED, cv::LINE_8);
    return m;
}

void CheckContourIndex(const Contours &contours, int k, const char *what)
{
    if (k < 0 || k >= static_cast<int>(contours.size()))
        throw std::runtime_error(std::string("no ") + what + " meniscus contour was found");
}

// Adds a profile to the running one as 32-bit integers, each entry truncated first.
void AddProfile(std::vector<double> &sum, const std::vector<double> &add)
{
    if (sum.empty()) {
        sum = add;
        return;
    }
    if (add.size() != sum.size())
        throw std::runtime_error("a frame profile of " + std::to_string(add.size()) +
                                 " rows does not match " + std::to_string(sum.size()) + " rows");
    for (size_t i = 0; i < sum.size(); ++i)
        sum[i] = static_cast<double>(
            static_cast<int32_t>(static_cast<int64_t>(sum[i]) + static_cast<int64_t>(add[i])));
}

std::string FormatNumber(double value)
{
    std::ostringstream s;
    s << value;
    return s.str();
}

} // namespace

void ComputeMaxPixelBackground(AnalysisFrame &f)
{
    f.m_maxBackground = cv::Mat::zeros(f.m_images.at(0).size(), CV_16UC1);
    for (const cv::Mat &image : f.m_images)
        cv::max(f.m_maxBackground, image, f.m_maxBackground);
}

void QuickSortInts(int *a, int lo, int hi)
{
    while (lo < hi) {
        const int pivot = a[hi];
        int store = lo;
        for (int i = lo; i < hi; ++i)
            if (a[i] < pivot)
                std::swap(a[i], a[store++]);
        std::swap(a[store], a[hi]);
        QuickSortInts(a, lo, store - 1);
        lo = store + 1;
    }
}

void ComputeMedianPixelBackground(AnalysisFrame &f, int n)
{
    if (n < kMinimumImages || n > static_cast<int>(f.m_images.size()))
        throw std::runtime_error("the median background needs five frames, " + std::to_string(n) + " given");
    const cv::Mat *images[kMinimumImages];
    for (int k = 0; k < kMinimumImages; ++k)
        images[k] = &f.m_images[n - kMinimumImages + k];
    for (const cv::Mat *image : images)
        if (image->size() != images[0]->size() || image->type() != CV_16UC1)
            throw std::runtime_error("the frames of the median background differ in size or type");
    f.m_medianBackground = cv::Mat(images[0]->size(), CV_16UC1);
    cv::Mat &median = f.m_medianBackground;
    cv::parallel_for_(cv::Range(0, median.rows), [&](const cv::Range &rows) {
        for (int r = rows.start; r < rows.end; ++r) {
            const uint16_t *in[kMinimumImages];
            for (int k = 0; k < kMinimumImages; ++k)
                in[k] = images[k]->ptr<uint16_t>(r);
            uint16_t *out = median.ptr<uint16_t>(r);
            for (int c = 0; c < median.cols; ++c) {
                int v[kMinimumImages];
                for (int k = 0; k < kMinimumImages; ++k)
                    v[k] = in[k][c];
                QuickSortInts(v, 0, kMinimumImages - 1);
                out[c] = static_cast<uint16_t>(v[2]);
            }
        }
    });
}

void ComputeNoiseFreeMaxBackground(AnalysisFrame &f)
{
    cv::Mat excess;
    cv::subtract(f.m_maxBackground, f.m_medianBackground, excess); // saturates at 0
    cv::Mat maxFloat;
    f.m_maxBackground.convertTo(maxFloat, CV_32F);
    cv::sqrt(maxFloat, f.m_sqrtMaxBackground);
    const double root = cv::sum(f.m_sqrtMaxBackground)[0];
    const double d = root > 0.0 ? cv::sum(excess)[0] / root : 0.0;
    f.m_noiseFreeBackground = maxFloat - d * f.m_sqrtMaxBackground;
}

std::vector<double> ComputeRowProfile(cv::Mat image)
{
    std::vector<double> profile(static_cast<size_t>(image.rows), 0.0);
    for (int r = 0; r < image.rows; ++r) {
        const float *p = image.ptr<float>(r);
        double s = 0.0;
        for (int c = 0; c < image.cols; ++c)
            s += static_cast<double>(p[c]);
        profile[static_cast<size_t>(r)] = s;
    }
    return profile;
}

cv::Mat MeanShiftFilter(AnalysisFrame &frame, cv::Mat &out, int spatial_radius, int colour_radius, bool lead)
{
    cv::Mat &work = lead ? frame.m_leadImage : frame.m_trailImage;
    cv::cvtColor(work, work, cv::COLOR_GRAY2BGR);
    cv::Mat shifted;
    cv::pyrMeanShiftFiltering(work, shifted, spatial_radius, colour_radius, 1,
                              cv::TermCriteria(cv::TermCriteria::MAX_ITER + cv::TermCriteria::EPS, 5, 1.0));
    cv::cvtColor(shifted, out, cv::COLOR_BGR2GRAY);
    cv::cvtColor(work, work, cv::COLOR_BGR2GRAY);
    return out;
}

int FindLargestContour(cv::Mat mask, Contours &contours, std::vector<cv::Vec4i> &hierarchy, int &index)
{
    cv::findContours(mask, contours, hierarchy, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_NONE);
    double best = 0.0;
    for (size_t i = 0; i < contours.size(); ++i) {
        const double area = std::fabs(cv::contourArea(contours[i]));
        if (area > best) {
            best = area;
            index = static_cast<int>(i);
        }
    }
    return index;
}

cv::Mat DetectLeadMeniscus(AnalysisFrame &f, const MeniscusSearch &lead, int index)
{
    const cv::Mat &image = f.m_images.at(static_cast<size_t>(index));
    const int w = std::min(static_cast<int>(lead.template_width + kLeadMargin), image.cols);
    cv::Mat eight, logImage;
    image.colRange(0, w).convertTo(eight, CV_8U, 0.00390625);
    eight.convertTo(logImage, CV_32F);
    logImage += 1.0;
    cv::log(logImage, logImage);
    cv::normalize(logImage, logImage, 0, 255, cv::NORM_MINMAX);
    cv::convertScaleAbs(logImage, f.m_leadImage);
    cv::GaussianBlur(f.m_leadImage, f.m_leadImage, cv::Size(3, 3), 2, 2, cv::BORDER_REFLECT_101);
    cv::Mat shifted;
    MeanShiftFilter(f, shifted, 41, 61, true);
    const cv::Mat gabor =
        cv::getGaborKernel(cv::Size(27, 27), 5.0, 0.2617993877991494, 1.0, 45.0, 0.0, CV_64F);
    cv::Mat texture;
    cv::filter2D(shifted, texture, CV_8U, gabor, cv::Point(-1, -1), 0, cv::BORDER_REFLECT_101);
    cv::Mat mask;
    cv::threshold(texture, mask, 0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU);
    ErodeThreeTimes(mask);
    return mask;
}

cv::Mat DetectTrailMeniscus(AnalysisFrame &f, const FlowAnalysis &flow, int index)
{
    const cv::Mat &image = f.m_images.at(static_cast<size_t>(index));
    const int s = std::max(0, static_cast<int>(image.cols - flow.shift_px_per_frame));
    image.colRange(s, image.cols).convertTo(f.m_trailImage, CV_8U, 0.00390625);
    cv::GaussianBlur(f.m_trailImage, f.m_trailImage, cv::Size(3, 3), 0, 0, cv::BORDER_REFLECT_101);
    cv::Mat mask;
    cv::threshold(f.m_trailImage, mask, 0, 255, cv::THRESH_BINARY | cv::THRESH_TRIANGLE);
    ErodeThreeTimes(mask);
    return mask;
}

cv::Mat MaskLeadMeniscus(AnalysisFrame &f, const MeniscusSearch &lead, int index, Contours contours, int k)
{
    CheckContourIndex(contours, k, "lead");
    cv::Mat &image = f.m_images.at(static_cast<size_t>(index));
    const int w = std::min(static_cast<int>(lead.template_width + kLeadMargin), image.cols);
    f.m_leadImage = image.colRange(0, w).clone();
    cv::Mat b = NoiseFree16(f).colRange(0, w).clone();
    cv::bitwise_and(f.m_leadImage, FilledContour(f.m_leadImage.size(), contours, k, 65535, 0), f.m_leadImage);
    cv::bitwise_and(b, FilledContour(b.size(), contours, k, 0, 65535), b);
    f.m_leadImage += b;
    cv::Mat joined;
    cv::hconcat(f.m_leadImage, image.colRange(w, image.cols), joined);
    cv::Mat result;
    joined.convertTo(result, CV_32F);
    return result;
}

cv::Mat MaskTrailMeniscus(AnalysisFrame &f, const FlowAnalysis &flow, int index, Contours contours, int k)
{
    CheckContourIndex(contours, k, "trail");
    cv::Mat &image = f.m_images.at(static_cast<size_t>(index));
    const int s = std::max(0, static_cast<int>(image.cols - flow.shift_px_per_frame));
    f.m_trailImage = image.colRange(s, image.cols).clone();
    cv::Mat nf = NoiseFree16(f);
    const int bs = std::max(0, static_cast<int>(nf.cols - flow.shift_px_per_frame));
    cv::Mat b = nf.colRange(bs, nf.cols).clone();
    cv::bitwise_and(b, FilledContour(b.size(), contours, k, 65535, 0), b);
    cv::bitwise_and(FilledContour(f.m_trailImage.size(), contours, k, 0, 65535), f.m_trailImage,
                    f.m_trailImage);
    f.m_trailImage += b;
    cv::Mat joined;
    cv::hconcat(image.colRange(0, s), f.m_trailImage, joined);
    cv::Mat result;
    joined.convertTo(result, CV_32F);
    return result;
}

bool ComputeFractionationSums(const std::vector<double> &profile, double split_row, FractionationSums &sums,
                              std::string &error)
{
    sums = FractionationSums();
    // The row is truncated toward zero, so anything above -1 is row 0.
    const double row = split_row - kSplitRowOrigin + 0.5;
    if (!(row > -1.0 && row < static_cast<double>(profile.size()))) {
        std::ostringstream text;
        text << "Fractionation Analysis: the split line (row " << split_row
             << ") lies outside the channel profile of " << profile.size() << " rows.";
        error = text.str();
        return false;
    }
    const int r = static_cast<int>(row);
    sums.split_index = r;
    for (int i = 0; i < static_cast<int>(profile.size()); ++i) {
        if (profile[static_cast<size_t>(i)] <= 0.0)
            continue;
        if (i < r)
            sums.top += profile[static_cast<size_t>(i)];
        else if (i > r)
            sums.bottom += profile[static_cast<size_t>(i)];
    }
    if (sums.top + sums.bottom > 0.0) {
        sums.top_fraction = sums.top / (sums.top + sums.bottom);
        sums.bottom_fraction = sums.bottom / (sums.top + sums.bottom);
    }
    const double at = profile[static_cast<size_t>(r)];
    sums.norm = sums.top + sums.bottom + (at > 0.0 ? at : 0.0);
    if (sums.norm <= 0.0)
        sums.norm = 1.0;
    return true;
}

bool WriteFractionationReportText(std::ostream &out, const FractionationReportInput &in,
                                  const std::vector<double> &profile, FractionationSums &sums,
                                  std::string &error)
{
    if (!ComputeFractionationSums(profile, in.split_row, sums, error))
        return false;
    const char *eol = "\r\n";
    out << in.product_name << '\t' << in.version_short << eol;
    out << "Experiment Name\t" << in.experiment_full_name << eol;
    out << "Cell Fractionation Report" << eol;
    out << "Top Fraction\t" << FormatNumber(sums.top_fraction) << eol;
    out << "Bottom Fraction\t" << FormatNumber(sums.bottom_fraction) << eol;
    out << "Upper Channel Position\t" << in.upper_channel << eol;
    out << "Lower Channel Position\t" << in.lower_channel_end - 1 << eol;
    out << "Split-line Position\t" << static_cast<int>(in.split_row) + in.upper_channel - kSplitRowOrigin
        << eol;
    out << "Split-line Value\t" << FormatNumber(std::round(in.split_value)) << eol;
    out << eol;
    out << "Channel position\tNormalized intensity" << eol;
    const double K = static_cast<double>(profile.size()) - 1.0;
    for (int k = static_cast<int>(profile.size()) - 1; k >= 0; --k) {
        // A one-row profile has no extent: its single row sits at the channel middle.
        const double position = K > 0.0 ? (K - k) * 100.0 / K - 50.0 : 0.0;
        const double entry = profile[static_cast<size_t>(k)];
        const double intensity = (entry >= 0.0 ? entry : 0.0) * 100.0 / sums.norm;
        out << FormatNumber(position) << '\t' << FormatNumber(intensity) << eol;
    }
    return true;
}

FractionationReportInput FractionationReportInputOf(const std::string &full_name,
                                                    const ExperimentData &experiment,
                                                    const FlowAnalysis &flow)
{
    FractionationReportInput in;
    in.product_name = theApp.m_product_name;
    in.version_short = theApp.m_version_short;
    in.experiment_full_name = full_name;
    in.upper_channel = experiment.m_upper_channel;
    in.lower_channel_end = experiment.m_lower_channel_end;
    in.split_row = flow.split_row;
    in.split_value = flow.split_percent;
    return in;
}

bool WriteFractionationReportFile(const std::string &folder, const std::string &output_name,
                                  const FractionationReportInput &in, const std::vector<double> &profile,
                                  FractionationSums &sums, std::string &error)
{
    std::ostringstream text;
    if (!WriteFractionationReportText(text, in, profile, sums, error))
        return false;
    const std::string path = folder + "/" + output_name + ".txt";
    // Written whole under a temporary name and renamed into place: a full disk or a kill leaves
    // an earlier report of this name as it was, never a truncated one.
    std::string why;
    if (!platform::AtomicReplace(path, text.str(), &why)) {
        const bool notCreated = why.find(") : cannot create") != std::string::npos ||
                                why.find(") : cannot open") != std::string::npos;
        error = (notCreated ? "Unable to create file: " : "Unable to write file: ") + path;
        return false;
    }
    return true;
}

namespace {

// One fractionation run's state as its steps hand it on: the experiment, the sample-flow
// measurements made before the run (read once, at its start), the frames from the lead to the
// trail meniscus with their backgrounds and summed profile, and the lead meniscus found in the
// first frame.
struct FractionationRun
{
    FractionationRun(const std::string &experimentFolder, const ExperimentData &data)
        : folder(experimentFolder), experiment(data), lead(_lead_meniscus), trail(_trail_meniscus),
          flow(_flow_analysis)
    {
    }

    const std::string &folder;
    const ExperimentData &experiment;
    const MeniscusSearch lead;
    const MeniscusSearch trail;
    const FlowAnalysis flow;
    int first = 0;             // the lead meniscus frame, an index into the selected run
    int count = 0;             // frames from the lead to the trail meniscus frame
    bool anyLeadMatch = false; // a lead template matched in some examined frame
    AnalysisFrame frame;
    Contours leadContours;
    int leadIndex = -1; // the lead meniscus among leadContours; -1 when none was found
};

// The frames the run spans. False, with error set, when they leave the selected run or are fewer
// than the median background needs.
bool CheckFrameSpan(FractionationRun &run, std::string &error)
{
    const std::vector<CaptureLogRecord> &records = run.experiment.m_selected_run;
    const int first = static_cast<int>(run.lead.frame_index);
    const int last = static_cast<int>(run.trail.frame_index);
    if (first < 0 || last >= static_cast<int>(records.size()) || last - first + 1 < kMinimumImages) {
        error = "Function conduct Fractionation Analysis: the sample flow spans frames " +
                std::to_string(first) + " to " + std::to_string(last) + " of " +
                std::to_string(records.size()) + "; at least five frames are needed.";
        return false;
    }
    run.first = first;
    run.count = last - first + 1;
    for (bool m : run.lead.matched)
        run.anyLeadMatch = run.anyLeadMatch || m;
    return true;
}

// Loads the run's frame j: rotated, cropped to the channel and scaled to the mean bright-field
// exposure. An empty image, with why set, when it cannot be loaded.
cv::Mat LoadFrame(const FractionationRun &run, ImageUtilities &utilities, int j, std::string &why)
{
    const ExperimentData &experiment = run.experiment;
    const CaptureLogRecord &r = experiment.m_selected_run[static_cast<size_t>(run.first + j)];
    try {
        const double factor = experiment.m_mean_brightfield_exposure / r.brightfield_exposure_us;
        EString path;
        MakeExperimentImagePath(EString(run.folder.c_str()), EString(r.images.brightfield.file_name.c_str()),
                                path);
        cv::Mat image = utilities.LoadRotateCropScaleImage(
            path.c_str(), static_cast<int>(run.lead.x), experiment.m_image_width, experiment.m_upper_channel,
            experiment.m_lower_channel_end, experiment.m_channel_offset, experiment.m_rotation,
            static_cast<int>(experiment.m_rotation_center_x),
            static_cast<int>(experiment.m_rotation_center_y), factor, &why);
        if (image.empty() && why.empty())
            why = std::string("cannot load ") + path.c_str();
        // An unrotated crop is a view of the whole decoded frame: keep only the crop.
        return image.isSubmatrix() ? image.clone() : image;
    } catch (const std::exception &e) {
        why = e.what();
    }
    return cv::Mat();
}

// The first of images[0, to) that could not be loaded fails the run with its reason.
bool FirstLoadFailure(const std::vector<cv::Mat> &images, const std::vector<std::string> &failures, int to,
                      std::string &error)
{
    for (int j = 0; j < to; ++j)
        if (images[static_cast<size_t>(j)].empty()) {
            error = "Function conduct Fractionation Analysis: " + failures[static_cast<size_t>(j)];
            return true;
        }
    return false;
}

// Loads the run's frames into its frame list and finds the lead meniscus of the first. The first
// frame is loaded here; while the others are decoded on the cores the process may use (each into
// its own slot), the lead meniscus of the first is detected, which needs nothing of the others.
// The first frame that cannot be read, in run order, fails the run as a sequential load would.
bool LoadFramesAndLeadMeniscus(FractionationRun &run, std::string &error)
{
    const int count = run.count;
    std::vector<cv::Mat> images(static_cast<size_t>(count));
    std::vector<std::string> failures(static_cast<size_t>(count));
    auto loadFrames = [&](int from, int to) {
        ImageUtilities utilities;
        for (int j = from; j < to; ++j)
            images[static_cast<size_t>(j)] = LoadFrame(run, utilities, j, failures[static_cast<size_t>(j)]);
    };

    loadFrames(0, 1);
    if (FirstLoadFailure(images, failures, 1, error))
        return false;
    run.frame.m_images.assign(1, images[0]);
    const int stripes = std::max(1, std::min(static_cast<int>(platform::UsableProcessorCount()), count - 1));
    std::thread loader([&] {
        cv::parallel_for_(
            cv::Range(1, count), [&](const cv::Range &range) { loadFrames(range.start, range.end); },
            stripes);
    });
    struct Joiner
    {
        std::thread &thread;
        ~Joiner() { thread.join(); }
    };
    {
        Joiner joiner{loader};
        if (run.anyLeadMatch) {
            std::vector<cv::Vec4i> hierarchy;
            FindLargestContour(DetectLeadMeniscus(run.frame, run.lead, 0), run.leadContours, hierarchy,
                               run.leadIndex);
        }
    }
    if (FirstLoadFailure(images, failures, count, error))
        return false;
    run.frame.m_images = std::move(images);
    return true;
}

// The last frame is blanked right of the trail meniscus.
void BlankBeyondTrailMeniscus(FractionationRun &run)
{
    if (!run.trail.found)
        return;
    cv::Mat &lastImage = run.frame.m_images.back();
    const int e =
        std::clamp(static_cast<int>(run.trail.template_width + run.trail.x - run.lead.x), 0, lastImage.cols);
    cv::Mat blanked = cv::Mat::zeros(lastImage.size(), lastImage.type());
    if (e > 0) // a trail at or left of the lead column leaves nothing to keep
        lastImage.colRange(0, e).copyTo(blanked.colRange(0, e));
    lastImage = blanked;
}

// The first frame less the background: the whole frame when no lead template matched, otherwise
// with the lead meniscus masked and the triangle left of it cut off. False, with error set, when a
// lead template matched but no meniscus contour was found.
bool LeadFrameExcess(FractionationRun &run, const cv::Mat &nf, cv::Mat &p, std::string &error)
{
    if (!run.anyLeadMatch) {
        cv::Mat image;
        run.frame.m_images[0].convertTo(image, CV_32F);
        p = nf - image;
        return true;
    }
    const Contours &contours = run.leadContours;
    const int k = run.leadIndex;
    if (k < 0) {
        error = "Function conduct Fractionation Analysis: no lead meniscus contour was found.";
        return false;
    }
    p = nf - MaskLeadMeniscus(run.frame, run.lead, 0, contours, k);
    // The triangle left of the lead meniscus is cut off, within the image.
    const int x0 = contours[static_cast<size_t>(k)].front().x;
    for (int r = 0; r < kTriangleRows && r < p.rows; ++r) {
        const int end = std::clamp(x0 + kTriangleRows - r, 0, p.cols);
        p.row(r).colRange(0, end).setTo(0.0f);
    }
    return true;
}

// The newly arrived columns of the last frame less the background, with the trail meniscus masked;
// nothing when the trail meniscus lies left of those columns. False, with error set, when no trail
// meniscus contour was found.
bool TrailFrameExcess(FractionationRun &run, const cv::Mat &nf, int fresh, cv::Mat &p, std::string &error)
{
    const int n = static_cast<int>(run.frame.m_images.size());
    if (!(run.trail.x > nf.cols + run.lead.x - run.flow.shift_px_per_frame))
        return true;
    cv::Mat inverted = 255 - DetectTrailMeniscus(run.frame, run.flow, n - 1);
    Contours contours;
    std::vector<cv::Vec4i> hierarchy;
    int k = -1;
    FindLargestContour(inverted, contours, hierarchy, k);
    if (k < 0) {
        error = "Function conduct Fractionation Analysis: no trail meniscus contour was found.";
        return false;
    }
    cv::Mat s = nf - MaskTrailMeniscus(run.frame, run.flow, n - 1, contours, k);
    p = s.colRange(fresh, s.cols);
    return true;
}

// Sums the row profiles of every frame less the noise-free background: the first frame right of
// the lead meniscus, every later one its newly arrived columns, the last one left of the trail
// meniscus.
bool SumFrameProfiles(FractionationRun &run, std::string &error)
{
    AnalysisFrame &f = run.frame;
    const int n = static_cast<int>(f.m_images.size());
    const cv::Mat nf = f.m_noiseFreeBackground;
    const int cols = nf.cols;
    const int fresh = std::clamp(static_cast<int>(cols - run.flow.shift_px_per_frame), 0, cols);
    for (int i = 0; i < n; ++i) {
        cv::Mat p;
        if (i == 0) {
            if (!LeadFrameExcess(run, nf, p, error))
                return false;
        } else if (i < n - 1) {
            cv::Mat image;
            f.m_images[static_cast<size_t>(i)].colRange(fresh, cols).convertTo(image, CV_32F);
            p = nf.colRange(fresh, cols) - image;
        } else if (!TrailFrameExcess(run, nf, fresh, p, error)) {
            return false;
        }
        if (!p.empty())
            AddProfile(f.m_profile, ComputeRowProfile(p));
    }
    return true;
}

} // namespace

bool ComputeFractionation(std::string folder, std::string full_name, std::string output_name,
                          ExperimentData experiment, double &top, double &bottom, std::string &error)
{
    try {
        FractionationRun run(folder, experiment);
        if (!CheckFrameSpan(run, error) || !LoadFramesAndLeadMeniscus(run, error))
            return false;
        BlankBeyondTrailMeniscus(run);
        ComputeMaxPixelBackground(run.frame);
        ComputeMedianPixelBackground(run.frame, static_cast<int>(run.frame.m_images.size()));
        ComputeNoiseFreeMaxBackground(run.frame);
        if (!SumFrameProfiles(run, error))
            return false;
        FractionationSums sums;
        if (!WriteFractionationReportFile(folder, output_name,
                                          FractionationReportInputOf(full_name, experiment, run.flow),
                                          run.frame.m_profile, sums, error))
            return false;
        top = sums.top_fraction;
        bottom = sums.bottom_fraction;
        return true;
    } catch (const cv::Exception &e) {
        error = std::string("Function conduct Fractionation Analysis: ") + e.what();
    } catch (const std::exception &e) {
        error = std::string("Function conduct Fractionation Analysis: ") + e.what();
    }
    return false;
}

bool CreateFractionationReport(const std::string &folder, const std::string &output_name, double &top,
                               double &bottom, std::string &error)
{
    std::lock_guard<std::mutex> lock(ExclusiveAnalysisMutex());
    bool ok = false;
    try {
        ExperimentData e;
        std::string reason;
        double measuredTop = 0.0, measuredBottom = 0.0;
        if (!e.Open(folder, &reason)) {
            error = reason;
        } else if (!e.ReadCaptureLog(e.m_log_path, &reason)) {
            error = reason.empty()
                        ? "Fractionation Analysis: the capture log " + e.m_log_path + " could not be read."
                        : "Fractionation Analysis: " + reason;
        } else {
            ok = e.ReadSettings(e.m_settings_path, error) &&
                 e.LoadOrDetectChannelPosition(folder, e.m_settings_path, error) &&
                 FindLeadMeniscusByTemplate(folder, e, error) &&
                 FindTrailMeniscusByTemplate(folder, e, error) && ComputeSplitLine(e, error) &&
                 ComputeFrameDisplacement(e, error) &&
                 ComputeFractionation(folder, e.m_experiment_full_name, output_name, e, measuredTop,
                                      measuredBottom, error);
        }
        if (ok) {
            top = measuredTop;
            bottom = measuredBottom;
        }
    } catch (const cv::Exception &e) {
        error = std::string("Fractionation Analysis: ") + e.what();
        ok = false;
    } catch (const std::exception &e) {
        error = std::string("Fractionation Analysis: ") + e.what();
        ok = false;
    }
    ResetSampleFlowResults();
    if (!ok && !error.empty())
        LogError(__FILE_NAME__, __LINE__, error);
    return ok;
}

bool CreateMontageAndFractionationReport(const std::string &folder, bool include_fluorescence1,
                                         bool include_fluorescence2, const std::string &output_name,
                                         double &top, double &bottom, std::string &error)
{
    // Each montage file as it was: its bytes, or none (a file that is there but cannot be read is
    // left to the montage as it leaves it).
    struct Earlier
    {
        std::string path;
        bool read = false;
        bool missing = false;
        std::string bytes;
    };
    const auto [fullPath, smallPath] = MontageFilePaths(folder, output_name);
    std::vector<Earlier> montage(2);
    montage[0].path = fullPath;
    montage[1].path = smallPath;
    for (Earlier &file : montage) {
        std::error_code ec;
        file.read = platform::ReadWholeFile(file.path, file.bytes);
        file.missing = !file.read && !std::filesystem::exists(std::filesystem::symlink_status(file.path, ec));
    }
    if (!CreateMontageImage(folder, include_fluorescence1, include_fluorescence2, output_name, error))
        return false;
    if (CreateFractionationReport(folder, output_name, top, bottom, error))
        return true;
    for (const Earlier &file : montage) {
        std::string restoreError;
        if (file.read ? !platform::AtomicReplace(file.path, file.bytes, &restoreError)
                      : file.missing && !platform::DeleteFile(file.path))
            LogError(__FILE_NAME__, __LINE__,
                     "The montage " + file.path + " of a failed fractionation could not be put back. " +
                         restoreError);
    }
    return false;
}
