#include "analysis/ImageAnalysisJob.h"

#include <climits>
#include <mutex>
#include <string>

namespace {

struct JobTable
{
    std::mutex lock;
    SortedPtrArray<ImageAnalysisJob> jobs{
        SortedPtrOwnsItems | SortedPtrKeepSorted | SortedPtrRejectDuplicates, 0};
    int32_t lastJobId = 0;

    // Job records must not go while their workers may still use them.
    ~JobTable() { StopImageAnalysisRuns(); }
};

JobTable &Table()
{
    static JobTable table;
    return table;
}

std::string Text(const char *format, int32_t handle)
{
    char text[160];
    std::snprintf(text, sizeof text, format, int(handle));
    return text;
}

// Storage position of the job with handle; -1 when none. The caller holds the lock.
int32_t PositionOf(JobTable &table, int32_t handle)
{
    const ImageAnalysisJob key(handle, nullptr);
    bool found = false;
    const int32_t sorted = table.jobs.FindInsertPos(&key, found);
    return found ? table.jobs.GetSortedIndex(sorted - 1) : -1;
}

} // namespace

ImageAnalysisJob::~ImageAnalysisJob()
{
    delete run;
}

bool ImageAnalysisJobTable::Add(ImageAnalysisJob *job)
{
    JobTable &table = Table();
    std::lock_guard<std::mutex> lock(table.lock);
    return table.jobs.Add(job) != 0;
}

int32_t ImageAnalysisJobTable::FindInsertPos(const ImageAnalysisJob &key, bool &found)
{
    JobTable &table = Table();
    std::lock_guard<std::mutex> lock(table.lock);
    return table.jobs.FindInsertPos(&key, found);
}

bool ImageAnalysisJobTable::RemoveAt(int32_t position)
{
    JobTable &table = Table();
    std::lock_guard<std::mutex> lock(table.lock);
    return table.jobs.RemoveAt(position) != 0;
}

void ImageAnalysisJobTable::Grow(int32_t n)
{
    JobTable &table = Table();
    std::lock_guard<std::mutex> lock(table.lock);
    table.jobs.Grow(n);
}

int32_t ImageAnalysisJobTable::GetCount()
{
    JobTable &table = Table();
    std::lock_guard<std::mutex> lock(table.lock);
    return table.jobs.GetCount();
}

bool ImageAnalysisJobTable::StartJob(ImageAnalysisRunParams *run, int32_t &handle, EString &error)
{
    JobTable &table = Table();
    std::lock_guard<std::mutex> lock(table.lock);
    // Checked before the worker starts, so that a refused start leaves the run with its caller.
    if (table.lastJobId == INT32_MAX) {
        error.Assign("RunImageAnalysisTool() - no image analysis job handle is left.");
        return false;
    }
    if (!StartImageAnalysisThread(run, false, error))
        return false;
    const int32_t next = table.lastJobId + 1;
    table.lastJobId = next;
    auto *job = new ImageAnalysisJob(next, run);
    if (table.jobs.Add(job) == 0) {
        // Cannot happen with handles counted upwards; the worker still uses run, so it stays.
        job->run = nullptr;
        delete job;
    }
    handle = next;
    return true;
}

bool ImageAnalysisJobTable::GetStatus(int32_t handle, ImageAnalysisJobState &state)
{
    JobTable &table = Table();
    std::lock_guard<std::mutex> lock(table.lock);
    const ImageAnalysisJob *job = table.jobs.GetAt(PositionOf(table, handle));
    if (job == nullptr || job->run == nullptr)
        return false;
    state.running = !job->run->IsFinished();
    state.failed = job->run->Failed();
    state.status = job->run->Status();
    return true;
}

bool ImageAnalysisJobTable::GetFiles(int32_t handle, ImageAnalysisResultFiles &files)
{
    JobTable &table = Table();
    std::lock_guard<std::mutex> lock(table.lock);
    const ImageAnalysisJob *job = table.jobs.GetAt(PositionOf(table, handle));
    if (job == nullptr || job->run == nullptr)
        return false;
    files = job->run->ResultFiles();
    return true;
}

bool ImageAnalysisJobTable::Remove(int32_t handle, EString &error)
{
    JobTable &table = Table();
    std::lock_guard<std::mutex> lock(table.lock);
    const int32_t position = PositionOf(table, handle);
    const ImageAnalysisJob *job = table.jobs.GetAt(position);
    if (job == nullptr) {
        error.Assign(
            Text("ImageAnalysisJobTable::Remove() - there is no image analysis job with handle %d.", handle)
                .c_str());
        return false;
    }
    // The worker uses the run record until it has finished.
    if (job->run != nullptr && !job->run->IsFinished()) {
        error.Assign(
            Text("ImageAnalysisJobTable::Remove() - the image analysis run of handle %d has not finished.",
                 handle)
                .c_str());
        return false;
    }
    return table.jobs.RemoveAt(position) != 0;
}

void ImageAnalysisJobTable::RemoveAll()
{
    StopImageAnalysisRuns();
    JobTable &table = Table();
    std::lock_guard<std::mutex> lock(table.lock);
    table.jobs.RemoveAll(false);
}

int32_t ImageAnalysisJobTable::LastImageAnalysisJobId()
{
    JobTable &table = Table();
    std::lock_guard<std::mutex> lock(table.lock);
    return table.lastJobId;
}
