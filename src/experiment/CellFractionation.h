#pragma once
// The cell fractionation of a recorded experiment: how much of the cell material in the sample
// plug passed above and how much below the split line. The sample-flow frames from the lead to the
// trail meniscus are loaded, a background is built from them (per-pixel maximum with its photon
// noise taken out), the menisci are masked, and the row profile of the background-subtracted
// frames is summed across the channel. The report is a short tab-separated text file.
//
// A run keeps its working state (frames, backgrounds, profile) in an AnalysisFrame of its own and
// hands it from step to step; it reads the sample-flow measurements (MeniscusFrames.h) once, at its
// start.
#include "experiment/ExperimentData.h"
#include "experiment/MeniscusFrames.h"

#include <opencv2/core.hpp>

#include <ostream>
#include <string>
#include <vector>

struct AnalysisFrame
{
    std::vector<double> m_profile; // summed profile, one entry per channel row, row 0 at the top
    cv::Mat m_leadImage;
    cv::Mat m_maxBackground;       // 16-bit
    cv::Mat m_medianBackground;    // 16-bit
    cv::Mat m_noiseFreeBackground; // 32-bit float
    cv::Mat m_sqrtMaxBackground;   // 32-bit float
    cv::Mat m_trailImage;
    std::vector<cv::Mat> m_images; // 16-bit one-channel, all of one size, in time order
};

using Contours = std::vector<std::vector<cv::Point>>;

// Backgrounds over frame.m_images. The median needs images n-5 .. n-1 to exist.
void ComputeMaxPixelBackground(AnalysisFrame &frame);
void ComputeMedianPixelBackground(AnalysisFrame &frame, int n);
void ComputeNoiseFreeMaxBackground(AnalysisFrame &frame);
// Sorts a[lo..hi] ascending in place.
void QuickSortInts(int *a, int lo, int hi);
// The sum of every row of a 32-bit float image.
std::vector<double> ComputeRowProfile(cv::Mat image);
// Mean-shift filters the frame's lead (true) or trail working image into out, 8-bit grey.
cv::Mat MeanShiftFilter(AnalysisFrame &frame, cv::Mat &out, int spatial_radius, int colour_radius, bool lead);
// The index of the outer contour of largest area; index is written only when a contour of
// positive area exists.
int FindLargestContour(cv::Mat mask, Contours &contours, std::vector<cv::Vec4i> &hierarchy, int &index);
// The meniscus masks of frame.m_images[index] and that frame with the meniscus masked: the lead
// meniscus within its template's width of the left edge, the trail meniscus within one frame's
// shift of the right edge.
cv::Mat DetectLeadMeniscus(AnalysisFrame &frame, const MeniscusSearch &lead, int index);
cv::Mat DetectTrailMeniscus(AnalysisFrame &frame, const FlowAnalysis &flow, int index);
cv::Mat MaskLeadMeniscus(AnalysisFrame &frame, const MeniscusSearch &lead, int index, Contours contours,
                         int k);
cv::Mat MaskTrailMeniscus(AnalysisFrame &frame, const FlowAnalysis &flow, int index, Contours contours,
                          int k);

// The fractions and norm of a channel profile split at split_row (rows measured from 100 rows
// above the channel): top sums the positive entries above the split row, bottom those below it.
struct FractionationSums
{
    int split_index = 0;
    double top = 0.0;
    double bottom = 0.0;
    double norm = 1.0;
    double top_fraction = 0.0;
    double bottom_fraction = 0.0;
};
// False, with error set, when the split row lies outside the profile.
bool ComputeFractionationSums(const std::vector<double> &profile, double split_row, FractionationSums &sums,
                              std::string &error);

// The report's lines, CR LF ended, for the profile and the split-line results; false with error
// set when the split row lies outside the profile.
struct FractionationReportInput
{
    std::string product_name;
    std::string version_short;
    std::string experiment_full_name;
    int upper_channel = 0;
    int lower_channel_end = 0; // the lower channel row plus one
    double split_row = 0.0;
    double split_value = 0.0;
};
bool WriteFractionationReportText(std::ostream &out, const FractionationReportInput &input,
                                  const std::vector<double> &profile, FractionationSums &sums,
                                  std::string &error);

// The report's heading values: the program, the experiment's channel and the split line of flow.
FractionationReportInput FractionationReportInputOf(const std::string &full_name,
                                                    const ExperimentData &experiment,
                                                    const FlowAnalysis &flow);
// Writes <folder>/<output_name>.txt from profile and in; sums gets the fractions. False with error
// set when the split row lies outside the profile or the file cannot be made.
bool WriteFractionationReportFile(const std::string &folder, const std::string &output_name,
                                  const FractionationReportInput &in, const std::vector<double> &profile,
                                  FractionationSums &sums, std::string &error);
// Loads the frames, builds the backgrounds and the profile and writes the report; top and bottom
// get its fractions, and are set only on success.
bool ComputeFractionation(std::string folder, std::string full_name, std::string output_name,
                          ExperimentData experiment, double &top, double &bottom, std::string &error);
// The whole pipeline on an experiment folder; top and bottom are set only on success. The
// sample-flow results are emptied afterwards. Waits for ExclusiveAnalysisMutex().
bool CreateFractionationReport(const std::string &folder, const std::string &output_name, double &top,
                               double &bottom, std::string &error);
// The montage (Montage.h) and then the report, both under output_name. When the report fails, the
// montage files are put back as they were before (removed when there were none), so a failed run
// changes none of the earlier results.
bool CreateMontageAndFractionationReport(const std::string &folder, bool include_fluorescence1,
                                         bool include_fluorescence2, const std::string &output_name,
                                         double &top, double &bottom, std::string &error);
