#pragma once
// Row projections of a region of a 16-bit image (one mean per region row, the rows running across
// the flow channel), their baseline from background images, and the search and Gaussian fit of
// their peaks or valleys. The parameters are kept in .pa_params files, section
// [RightSideProjection].
//
// Positions, centres and standard deviations are fractions of the region height: sample j stands
// for region row top + j and lies at j / n for a region of n rows.
#include "Ostravo/EString.h"
#include "app/ProjectionAnalysisParams.h"

#include <cstdint>
#include <memory>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

struct RenderJob;

// One fitted peak or valley.
struct ProjectionPeak
{
    ProjectionPeak() = default;
    ProjectionPeak(const ProjectionPeak &other) { *this = other; }
    ProjectionPeak(ProjectionPeak &&) = default;
    // Copies the scalars; a curve present in other replaces this one's, an absent one leaves it.
    ProjectionPeak &operator=(const ProjectionPeak &other);
    ProjectionPeak &operator=(ProjectionPeak &&) = default;

    // Drops each curve that holds at least one value.
    void FreeFitCurves();

    bool edge = false;      // the fit reached beyond the data range at least once
    double stdev = 0.0;     // in units of the region height
    double amplitude = 0.0; // fit data at the fitted centre
    double centre = 0.0;    // fraction of the region height
    double fit_error = 0.0; // mean absolute deviation over the fit window, relative to the amplitude
    int32_t index = 0;      // sample at which the peak was found
    std::unique_ptr<std::vector<double>> x_curve; // the fit window's positions
    std::unique_ptr<std::vector<double>> y_curve; // 1 - the fitted Gaussian there
};

// The error value of a fit that needs data outside the positions' range.
inline constexpr double kProjectionFitOutOfRange = 1e200;

// Reads [RightSideProjection] of the file (found ignoring the case of its name when the exact
// name does not exist), then sets the region from the ROI list entry named ROI_name (0, 0, 0, 0
// when there is none). Always true.
bool LoadProjectionParams(ProjectionAnalysisParams &params, const char *path);

// PixelsPerMM, UpperChannel and LowerChannel from [CalibrationSettings] of the image folder's
// experiment settings file, or of the main settings file when that gives no scale. Always true.
bool LoadProjectionCalibration(ProjectionAnalysisParams &params, const char *imageFolder);

// Clears error and appends one line per violated rule; true when none was appended.
bool ValidateProjectionParams(const ProjectionAnalysisParams &params, EString &error);

// Appends the parameters as 13 "#" comment lines (the last one empty) for result files.
bool WriteProjectionParamsComments(const ProjectionAnalysisParams &params, std::vector<std::string> &lines);

// The region's row projection of every background image; per row, the median of those values
// becomes the baseline. means, when given, receives each image's rounded mean of its projection.
bool ComputeBaselineProjection(const std::vector<std::string> &backgroundPaths,
                               const ProjectionAnalysisParams &params, std::vector<int32_t> &baseline,
                               EString &error, std::vector<int32_t> *means = nullptr);

// The image's row projection minus the baseline (the baseline minus it with invert, for
// bright-field images), smoothed and weighted by the position across the channel.
bool ComputeFractionationProjection(const char *imagePath, const ProjectionAnalysisParams &params,
                                    const std::vector<int32_t> &baseline, std::vector<int32_t> &projection,
                                    EString &error, bool invert);

// Projects, normalises and, with valid parameters, fits the region of image (CV_16UC1). With a
// render job whose drawing surface is set, the projection, the peaks and their curves are drawn
// to the right of the region. The parameters' own messages go into error and the analysis goes on
// without fitting; false, with error set, only when the image, the region or the baseline cannot
// be used (nothing is drawn then).
bool AnalyzeProjection(const cv::Mat &image, const ProjectionAnalysisParams &params,
                       std::vector<ProjectionPeak> &peaks, int64_t &elapsedMs, EString &error,
                       RenderJob *job = nullptr, const char *debugPath = nullptr);

// Smooths y in place (window not 0), finds the peaks or valleys and fits a Gaussian to each.
// weights only go to the debug file, which is written for the first peak when debugPath is given.
bool FitProjectionPeaks(const std::vector<double> &x, std::vector<double> &y,
                        const std::vector<float> &weights, int smoothingWindow, int32_t numPeaks,
                        bool findValleys, double integrationArea, int32_t integrationSamples,
                        std::vector<ProjectionPeak> &peaks, bool wantCurves, const char *debugPath = nullptr);

// Mean absolute deviation of the Gaussian of height f(centre) from f over the fit window, relative
// to that height; kProjectionFitOutOfRange when the window leaves the positions' range.
double GaussianFitError(const std::vector<double> &x, const std::vector<double> &f, double centre,
                        double stdev, double integrationArea, int32_t integrationSamples,
                        double *amplitude = nullptr, std::vector<double> *xCurve = nullptr,
                        std::vector<double> *yCurve = nullptr);

// The global maximum (minimum), then the strongest local maxima (minima) away from it, up to count.
bool FindProjectionPeaks(const std::vector<double> &values, int32_t count, int window,
                         std::vector<int32_t> &indices);
bool FindProjectionValleys(const std::vector<double> &values, int32_t count, int window,
                           std::vector<int32_t> &indices);

// Each value becomes the mean of a forward and a backward running mean over window values.
bool SmoothForwardBackward(std::vector<double> &values, int window);

// The section of a .pa_params file.
inline constexpr const char *kProjectionParamsSection = "RightSideProjection";
