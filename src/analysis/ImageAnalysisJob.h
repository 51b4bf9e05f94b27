#pragma once
// Handles of the image-analysis runs that scripts start. A script keeps the integer handle and
// asks through it for the run's state and result files, and removes the job once the run has
// finished. Handles count up from 1 and are never reused while the program runs.
//
// The table is used by every script thread at once, so each operation takes the table's lock and
// reads what it answers under it; a job is never handed out of the table.
#include "Ostravo/EString.h"
#include "Ostravo/SortedPtrArray.h"
#include "analysis/ImageAnalysisRun.h"

#include <cstdint>
#include <string>

struct ImageAnalysisJob
{
    int32_t handle = 0;
    ImageAnalysisRunParams *run = nullptr; // owned; deleted with the job

    ImageAnalysisJob() = default;
    ImageAnalysisJob(int32_t h, ImageAnalysisRunParams *r) : handle(h), run(r) {}
    ImageAnalysisJob(const ImageAnalysisJob &) = delete;
    ImageAnalysisJob &operator=(const ImageAnalysisJob &) = delete;
    ~ImageAnalysisJob();
};

// Jobs sort by handle, numerically.
template <> struct SortedPtrOrder<ImageAnalysisJob>
{
    static int Compare(const ImageAnalysisJob &a, const ImageAnalysisJob &b)
    {
        return a.handle < b.handle ? -1 : (a.handle > b.handle ? 1 : 0);
    }
};

// What a status query answers.
struct ImageAnalysisJobState
{
    bool running = false;
    bool failed = false;
    std::string status; // empty, "Processing <i> of <n>", "Finished" or "Failed: <reason>"
};

// The program-wide table of script jobs.
class ImageAnalysisJobTable
{
  public:
    // Adds job; false when its handle is held already (the caller keeps the job).
    static bool Add(ImageAnalysisJob *job);
    // Position in the sorted index behind every job whose handle is not greater; found tells
    // whether the handle is held.
    static int32_t FindInsertPos(const ImageAnalysisJob &key, bool &found);
    // Deletes the job at a storage position with its run; false for a position out of range.
    static bool RemoveAt(int32_t position);
    // Makes room for n jobs.
    static void Grow(int32_t n);
    static int32_t GetCount();

    // Starts run's worker and registers it under the next handle. False, with error set and
    // nothing started, when no handle is left or no thread could be made; the caller then keeps
    // run. On success the job owns run.
    static bool StartJob(ImageAnalysisRunParams *run, int32_t &handle, EString &error);
    // The job's state; false when no job has that handle.
    static bool GetStatus(int32_t handle, ImageAnalysisJobState &state);
    // The job's result paths; false when no job has that handle.
    static bool GetFiles(int32_t handle, ImageAnalysisResultFiles &files);
    // Deletes the job and its run. Refused (false, error set, nothing changed) for an unknown
    // handle or a run that has not finished.
    static bool Remove(int32_t handle, EString &error);
    // At program end: stops the runs, waits for them, then deletes every job.
    static void RemoveAll();

    // The last handle given; 0 before the first job.
    static int32_t LastImageAnalysisJobId();
};
