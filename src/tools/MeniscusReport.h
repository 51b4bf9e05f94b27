#pragma once
// The meniscus finder's batch over a folder: the search on each chosen image (the walls found in
// the first readable image serve the later ones), the rule that drops results which do not agree
// with their neighbours, and the tab-separated report.
#include "analysis/IntensityProfile.h"
#include "platform/Clock.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct MeniscusRunInput
{
    std::string folder;             // as typed
    std::vector<std::string> names; // file names without folder, in list order
    std::string version;            // full application version
};

// Clears found for the results that do not agree with their neighbours, in order from the second
// one: a found result whose found predecessor lies more than 200 columns away clears both; a found
// result (not the last) whose successor is not found is cleared too.
void ApplyMeniscusConsistencyRule(std::vector<MeniscusResult> &results);

// The report columns after the image name for one result.
std::string MeniscusResultText(const MeniscusResult &result);

// <folder>/YYYYMMDD_HHMMSS_MeniscusReport.txt, joined by the path rule (a blank folder gives the
// name alone).
std::string MeniscusReportPath(const std::string &folder, const platform::LocalTime &time);

// Runs the search and returns the report lines: the four header lines, one line per image that
// could not be read as a 16-bit grey image (its full path), then one row per image read.
// progress(i, n) is called before image i (1-based) of n. When stop is given and becomes set, the
// images not started yet are left out.
std::vector<std::string> RunFindMeniscus(const MeniscusRunInput &input,
                                         const std::function<void(int32_t, int32_t)> &progress,
                                         const std::atomic<bool> *stop = nullptr);

// Writes the lines, each followed by CR LF, as a new file (atomic replace: either the whole report
// or nothing). False with error set when it cannot be written.
bool WriteMeniscusReport(const std::string &path, const std::vector<std::string> &lines, std::string &error);
