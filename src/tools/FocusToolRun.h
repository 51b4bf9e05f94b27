#pragma once
// The focus tool's batch over a folder: the focus score of a fixed region of each chosen image, with
// the milliseconds each score took, written row by row into a tab-separated report named at the
// start of the run.
#include "Ostravo/ImagePrimitives.h"
#include "platform/Clock.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The scoring region: columns 824 to 1624 and the rows 100 inside the cartridge channel lines of the
// settings file ([Cartridge] CartridgeUpperChannel + 100 to CartridgeLowerChannel - 100, a missing
// or unparsable value counting as 0). Inclusive bounds.
Ostravo::ImageRegion FocusToolRegion(const std::string &settingsPath);

// <folder>/FocusTool_YYYYMMDD_HHMMSS.txt, joined by the path rule (a blank folder gives the name
// alone).
std::string FocusReportPath(const std::string &folder, const platform::LocalTime &time);

struct FocusRunInput
{
    std::string folder;             // as typed
    std::vector<std::string> names; // file names without folder, in list order
    std::string product_name;
    std::string version;
    Ostravo::ImageRegion region;
    platform::LocalTime start; // names the report
};

struct FocusRunHooks
{
    // Before image i (1-based) of n.
    std::function<void(int32_t, int32_t)> progress;
    // The pause before each image is scored; 500 ms unless replaced.
    std::function<void()> wait;
};

enum class FocusRunEnd
{
    Completed,    // every image was handled
    Stopped,      // the stop flag ended the run before an image
    ScoreFailed,  // a score failed: reported, later images not scored
    ReportFailed, // the report could not be created or written: reported, the run ends there
};

// Runs the batch. Failures go to the error log (source FocusToolDlg); the ones that end the run are
// also shown in an error message box. An image that cannot be read, or that does not contain the
// region, is logged and skipped. reportPath receives the report's path (written when the result is
// not ReportFailed).
FocusRunEnd RunFocusTool(const FocusRunInput &input, const std::atomic<bool> &stop,
                         const FocusRunHooks &hooks, std::string &reportPath);
