#pragma once
// The fractionation run: for each selected image of a folder, the share of the cell signal inside
// the region of interest that lies above the image's flow divider, the images weighted by their
// signal, and the tab-separated report FractionationAnalysis_<date>-<time>.txt in the folder.
// The run works on copies taken when it starts (the tool's choices and the capture log's records),
// so nothing the window does meanwhile reaches it, and holds the analysis lock throughout.
#include "Ostravo/EString.h"
#include "platform/Clock.h"
#include "tools/FractionationInputs.h"
#include "tools/ImageFolderLog.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct FractionationRunInputs
{
    FractionationControls controls;
    std::shared_ptr<const LogFileData> log; // the records as they were at Run
};

// Where a run reports to. Any thread.
class FractionationRunObserver
{
  public:
    virtual ~FractionationRunObserver() = default;
    // The progress text ("Computing baseline.", "Image 3 of 7").
    virtual void Status(const std::string &text) = 0;
    // A failure: the caller logs it and shows it.
    virtual void Failure(const std::string &message) = 0;
    // The report was written.
    virtual void OpenReport(const std::string &path) = 0;
};

// One image's line of the report.
struct FractionationImage
{
    std::string path;
    std::vector<int32_t> projection; // empty when the image was not processed
    float fract_top = 0.0f;
    float weight = 0.0f;
    float chan_div = 0.0f;
    bool zero_sum = false; // processed, but its projection sums to zero (fract_top 0 by choice)
};

// Everything the report shows.
struct FractionationReportData
{
    std::string product;
    std::string version;
    int32_t upper_channel = 0;
    int32_t lower_channel = 0;
    std::string roi_name;
    int32_t roi[4] = {0, 0, 0, 0}; // left, top, right, bottom
    std::vector<std::string> background_paths;
    std::vector<int32_t> background_means;
    std::vector<FractionationImage> images;
    bool have_totals = false; // false when the weights sum to zero
    double total_top = 0.0;
    // A run that stopped early: the 1-based number of the failing image and the message.
    int32_t failed_image = 0;
    std::string failure;
};

// The image row of the divider: round((lower - upper + 1) d + upper), half away from zero.
int32_t FractionationDividerRow(int32_t upper, int32_t lower, double divider);

// fract_top of a projection whose rows up to index lastTop (inclusive) count as top; false, with
// fract_top 0, when the projection sums to zero.
bool FractionationTopShare(const std::vector<int32_t> &projection, int64_t lastTop, float &fractTop,
                           double &mean);

// folder + "/FractionationAnalysis_YYYYMMDD-HHMM-SS.txt"; the folder's '\' become '/'.
std::string MakeFractionationReportPath(const std::string &folder, const platform::LocalTime &time);

// The report text, lines ending in CR LF.
std::string FormatFractionationReport(const FractionationReportData &data);

// The whole run; false when it ended without a report. The failures go to the observer.
bool RunFractionationAnalysis(const FractionationRunInputs &inputs, FractionationRunObserver &observer);
