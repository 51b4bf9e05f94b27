#pragma once
// The batch image-analysis run: every image of a folder (or a chosen list of its images) is
// counted with the circular and the epi-illumination algorithms, its detections are placed
// between the magnets (and given LP values when an LP curve is used), its region is measured, and
// the results go into a new run folder beside the images: a summary table, two projection tables
// and one low-level file per image.
//
// A run is owned either by the image-analysis tool window or by a script job (ImageAnalysisJob.h).
// Its worker thread writes the status, the finished flag and the result paths while the owner
// reads them, so those sit behind the record's lock.
#include "Ostravo/CellDetection.h"
#include "Ostravo/EString.h"
#include "analysis/CountingAlgoOptions.h"
#include "analysis/EpiCellCounting.h"
#include "analysis/LPCurve.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

// What a run needs of the window that started it. A run without an owner (a script job) cannot be
// stopped and shows nothing but its status text. Every call comes from the run's worker thread.
class ImageAnalysisRunOwner
{
  public:
    virtual ~ImageAnalysisRunOwner() = default;
    // Read before every image; true ends the loop (the results so far are still written).
    virtual bool StopRequested() = 0;
    // The window's status line.
    virtual void SetStatusText(const std::string &text) = 0;
    // Whether the summary is to be opened once it is written.
    virtual bool OpenSummaryChecked() = 0;
    // Gives the user the window's controls back; called once, when the run ends.
    virtual void EnableControls() = 0;
    // Copies the chosen parameter files into the run folder and adds their header lines.
    virtual void WriteAnalysisParamsHeader(std::vector<std::string> &header,
                                           const std::string &runFolder) = 0;
};

// The result paths of a run: the three files it writes, each empty until that file has been
// written, and the capture log it read (empty when it found none).
struct ImageAnalysisResultFiles
{
    std::string analysis_file;
    std::string horizontal_projection_file;
    std::string vertical_projection_file;
    std::string image_log_file;
};

// What a run takes of the program that starts it: the main settings file (the counting options'
// comments name it, and a run without circular counting takes its scale from it) and the name and
// version that head the result files.
struct ImageAnalysisProgramInfo
{
    std::string main_settings_file;
    std::string product_name;
    std::string version;
};
// The running application's, read on the calling thread.
ImageAnalysisProgramInfo ApplicationProgramInfo();

struct ImageAnalysisRunParams
{
    // Inputs, filled before the worker starts and only read by it.
    std::vector<std::string> image_files; // names without folder, in processing order
    EString circular_params_file;         // empty when circular counting is not used
    EString epi_params_file;              // empty when epi counting is not used
    int32_t upper_magnet = 0;             // image rows
    int32_t lower_magnet = 0;
    CountingAlgoOptions counting_options; // enabled flag: circular counting runs
    EpiCellCountingParams epi_params;     // enabled flag: epi counting runs
    LPCurveParams lp_curve;               // all zero when no curve is used
    EString image_folder;
    ImageAnalysisRunOwner *owner = nullptr; // none for a script-started run
    // Taken when the record is made, on the thread that makes it: the worker reads nothing of the
    // application itself.
    ImageAnalysisProgramInfo program = ApplicationProgramInfo();

    // Written by the worker, read by any thread.
    std::string Status() const;
    void SetStatus(const std::string &text);
    ImageAnalysisResultFiles ResultFiles() const;
    bool IsFinished() const { return m_finished.load(); }
    // The run ended without writing all its results; Status() then holds the reason.
    bool Failed() const { return m_failed.load(); }

    // Worker side.
    void SetResultFile(std::string ImageAnalysisResultFiles::*which, const std::string &path);
    // Status "Finished" (or "Failed: " and the reason), then the finished flag as the worker's last
    // touch of the record: a reader that sees the flag sees the final status too and may delete the
    // record. The worker uses nothing of the record afterwards.
    void Finish(const std::string &failure);

  private:
    mutable std::mutex m_lock; // guards m_status and m_files
    std::string m_status;
    ImageAnalysisResultFiles m_files;
    std::atomic<bool> m_finished{false};
    std::atomic<bool> m_failed{false};
};

// The statistics of a 16-bit image's region (inclusive bounds; the part outside the image is not
// read): the mean grey level (not a number for an empty region) ...
double RoiMeanIntensity(const cv::Mat &image, int32_t left, int32_t top, int32_t right, int32_t bottom);
// ... and the grey level at which the region's cumulative histogram reaches round(n x fraction)
// pixels, per fraction. results holds one entry per fraction; unplaced ones keep theirs. True when
// every fraction was placed.
bool RoiPercentiles(const cv::Mat &image, int32_t left, int32_t top, int32_t right, int32_t bottom,
                    const std::vector<double> &fractions, std::vector<double> &results);

// What a run measures of each frame's region, taken in one pass over its pixels: the vertical and
// horizontal projections (minus the background when given, as ComputeVerticalProjection and
// ComputeHorizontalProjection give them), the mean grey level and the percentile levels of the
// fractions (of the image itself, as RoiMeanIntensity and RoiPercentiles give them).
struct RegionMeasures
{
    std::vector<int32_t> vertical, horizontal;
    double mean = 0.0;
    std::vector<double> levels;
};
// False, with nothing measured, for an image that is not 16-bit single channel, a region that is
// empty or leaves the image, or a background of another type or size.
bool MeasureRegion(const cv::Mat &image, int32_t left, int32_t top, int32_t right, int32_t bottom,
                   const cv::Mat *background, const std::vector<double> &fractions, RegionMeasures &measures);

// The LP value of a relative height between the magnets (0 at the lower, 1 at the upper magnet).
double LPValueOfHeight(const LPCurveParams &curve, double height);

// A calendar time as the result files print it.
struct ImageFileTime
{
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// Writes the low-level counting file of one image into the run folder: the image's name with
// ".txt", or with "[n].txt" for the first n from 1 up that is free. An existing file is never
// replaced. False, with error set, when no file could be written.
bool WriteLowLevelCountingData(const std::string &runFolder, const std::string &imagePath,
                               const ImageFileTime &fileTime, const std::vector<double> &meanHeights,
                               std::vector<double> heightDeviations,
                               const std::vector<std::string> &typeNames,
                               const std::vector<std::vector<CellDetection>> &detections, int32_t lowerMagnet,
                               int32_t upperMagnet, const LPCurveParams &curve, double pixelsPerMm,
                               std::string *writtenPath = nullptr, EString *error = nullptr);

// The worker: analyses the run's images and writes its results, then finishes the run (see
// ImageAnalysisRunParams::Finish). Always 0; a null record does nothing.
uint32_t ImageAnalysisThreadProc(ImageAnalysisRunParams *run);

// Starts the worker on its own thread. With deleteWhenDone the thread owns the record and deletes
// it after the run has finished (a tool-window run); otherwise the caller keeps it valid until
// IsFinished(). False, with error set and nothing started, when no thread could be made.
bool StartImageAnalysisThread(ImageAnalysisRunParams *run, bool deleteWhenDone, EString &error);

// At program end: asks every running worker to stop before its next image and waits for all of
// them. Runs started afterwards stop at once.
void StopImageAnalysisRuns();

// The entry of the script command: checks the arguments, fills a run record, and unless
// validateOnly is set starts the run as a new job whose handle goes into handle. False, with the
// reason in error and nothing started, when an argument is refused.
bool RunImageAnalysisTool(const char *image_dir, const char *cir_params, const char *epi_params,
                          const char *LP_curve_params, double Gd_conc, const char *file_pattern,
                          int32_t upper_magnet, int32_t lower_magnet, int32_t &handle, EString &error,
                          bool validate_only);
