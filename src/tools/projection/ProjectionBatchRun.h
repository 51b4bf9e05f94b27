#pragma once
// The projection tool's batch run: a baseline from the chosen background images, the image
// folder's calibration, a run folder <image folder>/YYYYMMDD-HHMM-SS, and for every selected image
// its region's statistics, pump values from the capture log and projection peaks converted
// through the LP curve. Three tab-separated files named after the first selected image go into the
// run folder: <first>.Analysis.txt, <first>.[vert_proj].txt and <first>.[horz_proj].txt.
//
// The run works on a copy of the tool's inputs taken when Run was pressed; it reaches the window
// only through its observer.
#include "Ostravo/EString.h"
#include "analysis/LPCurve.h"
#include "analysis/ProjectionAnalysis.h"
#include "platform/Clock.h"

#include <cstdint>
#include <string>
#include <vector>

struct ProjectionBatchInputs
{
    std::string folder;                        // the image folder, as typed
    std::vector<std::string> images;           // selected file names, in list order
    ProjectionAnalysisParams params;           // the set, with the tool's ROI as its region
    LPCurveParams lp_curve;                    // loaded with the Gd concentration
    std::vector<std::string> background_paths; // full paths
    std::string lp_curve_name;                 // the texts of the tool's fields
    std::string params_name;
    std::string gd_conc_text;
    std::string lib_folder; // where the two parameter files are copied from
    bool open_summary = false;
};

// Where a run reports. Any thread.
class ProjectionBatchObserver
{
  public:
    virtual ~ProjectionBatchObserver() = default;
    // The status text ("Computing baseline.", "3 of 7", "" at the end).
    virtual void Status(const std::string &text) = 0;
    // A message for the user; logged says whether it also goes to the error log.
    virtual void Failure(const std::string &message, bool logged) = 0;
    // The capture log the run read (empty when it found none).
    virtual void CaptureLog(const std::string &path) = 0;
    // Open Summary was checked and the Analysis file was written.
    virtual void OpenSummary(const std::string &path) = 0;
};

// f(y) = (lower - y) / (lower - upper): 0 at the lower magnet, 1 at the upper one.
double MagnetHeightFraction(double y, int32_t upper, int32_t lower);

// <folder>/YYYYMMDD-HHMM-SS of the time.
std::string MakeProjectionRunFolder(const std::string &folder, const platform::LocalTime &time);

// Copies the LP curve and the parameter set into the run folder (a failed copy is not reported)
// and appends "#LP_curve=", "#Projection Analysis params file=" and "#Gd_conc=" lines.
bool WriteRunInputsHeader(const ProjectionBatchInputs &inputs, std::vector<std::string> &lines,
                          const std::string &runFolder);

// The whole run, started at time start; false when it ended on a failure before its files (or
// when a file could not be written). Every failure goes to the observer; the status is cleared
// at the end of every path.
bool RunProjectionBatch(const ProjectionBatchInputs &inputs, ProjectionBatchObserver &observer,
                        const platform::LocalTime &start);
