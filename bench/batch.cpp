// A batch image-analysis run over 20 camera frames (2448 x 2048, 16-bit PNG) with circular counting
// and the region's projections, next to decoding the same 20 files one after another: the floor
// any run over image files pays anyway. The run decodes ahead of the analysis on threads of its
// own, so on two cores or more it can take less time than the floor. Reported: the ratio of the
// run to the floor in wall-clock time and in CPU time, and the process's peak resident memory
// while the run goes on (sampled), as is and above what it held before the run. Run it pinned,
// e.g. taskset -c 0,1.
#include "analysis/ImageAnalysisRun.h"

#include <algorithm>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kWidth = 2448;
constexpr int kHeight = 2048;
constexpr int kMargin = 50;
constexpr int kImages = 20;

// 400 cells of radius 6 pixels on a jittered grid over a noisy background, different per frame.
cv::Mat Frame(int index)
{
    cv::Mat image(kHeight, kWidth, CV_16UC1);
    cv::RNG rng(2024 + uint64_t(index));
    rng.fill(image, cv::RNG::UNIFORM, 975, 1026);
    const double dx = (kWidth - 2.0 * kMargin) / 20.0;
    const double dy = (kHeight - 2.0 * kMargin) / 20.0;
    for (int r = 0; r < 20; ++r)
        for (int c = 0; c < 20; ++c) {
            const cv::Point centre(kMargin + int(dx * (c + 0.5)) + rng.uniform(-15, 16),
                                   kMargin + int(dy * (r + 0.5)) + rng.uniform(-15, 16));
            cv::circle(image, centre, 6, cv::Scalar(rng.uniform(2600, 3400)), cv::FILLED, cv::LINE_8);
        }
    return image;
}

// The image folder in the temporary folder, with a background image of the frames' type; removed
// at exit.
struct ImageFolder
{
    std::string path =
        (std::filesystem::temp_directory_path() / ("bench_batch_" + std::to_string(getpid()))).string();
    std::vector<std::string> names;
    ImageFolder()
    {
        std::filesystem::create_directories(path);
        for (int i = 0; i < kImages; ++i) {
            char name[64];
            std::snprintf(name, sizeof name, "frame_%03d_BF_1.png", i);
            names.push_back(name);
            cv::imwrite(path + "/" + name, Frame(i));
        }
        cv::imwrite(path + "/BF.bg.tif", cv::Mat(kHeight, kWidth, CV_16UC1, cv::Scalar(900)));
    }
    ~ImageFolder() { std::filesystem::remove_all(path); }
};

const ImageFolder &Folder()
{
    static const ImageFolder folder;
    return folder;
}

ImageAnalysisRunParams *NewRun()
{
    const ImageFolder &folder = Folder();
    auto *run = new ImageAnalysisRunParams;
    run->image_folder.Assign(folder.path.c_str());
    run->image_files = folder.names;
    run->upper_magnet = 200;
    run->lower_magnet = 1800;
    CountingAlgoOptions &o = run->counting_options;
    o.pixels_per_mm = 1000.0;
    o.edge_processing = true;
    o.proximity_between_types = true;
    for (int t = 0; t < 2; ++t) {
        o.morph_filter[t] = o.count_filter[t] = o.proximity_within_type[t] = o.use_inner_ring[t] = true;
        o.object_radius[t] = 6.0;
        o.radius_sweep[t] = 2;
        o.morph_samples[t] = 12;
        o.morph_threshold[t] = 300;
        o.count_threshold[t] = 500;
        o.count_min_size[t] = 1;
    }
    o.left = kMargin;
    o.top = kMargin;
    o.right = kWidth - 1 - kMargin;
    o.bottom = kHeight - 1 - kMargin;
    o.enabled = true;
    return run;
}

// CPU time of the whole process (every thread), in seconds.
double ProcessCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// The process's resident memory in bytes.
double ResidentBytes()
{
    std::ifstream statm("/proc/self/statm");
    double size = 0.0, resident = 0.0;
    statm >> size >> resident;
    return resident * double(sysconf(_SC_PAGESIZE));
}

// Samples the resident memory every few milliseconds while it lives; keeps the largest.
class PeakMemory
{
  public:
    PeakMemory() : m_thread([this] { Sample(); }) {}
    ~PeakMemory()
    {
        m_stop = true;
        m_thread.join();
    }
    double Peak() const { return m_peak.load(); }

  private:
    void Sample()
    {
        while (!m_stop) {
            m_peak = std::max(m_peak.load(), ResidentBytes());
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    std::atomic<bool> m_stop{false};
    std::atomic<double> m_peak{0.0};
    std::thread m_thread;
};

double Seconds(std::chrono::steady_clock::time_point from, std::chrono::steady_clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

// Per iteration: decode the 20 files in a loop (the floor), then the whole run. Reported: the
// run's time, and the ratio of the run to the floor.
void BM_BatchRunOverDecode(benchmark::State &state)
{
    const ImageFolder &folder = Folder();
    double decodeTotal = 0.0, runTotal = 0.0, peak = 0.0, peakGrowth = 0.0;
    double decodeCpu = 0.0, runCpu = 0.0;
    for (auto _ : state) {
        const double cpuStart = ProcessCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        for (const std::string &name : folder.names) {
            cv::Mat image = cv::imread(folder.path + "/" + name, cv::IMREAD_ANYDEPTH);
            benchmark::DoNotOptimize(image.data);
        }
        const auto decoded = std::chrono::steady_clock::now();
        const double cpuDecoded = ProcessCpuSeconds();
        std::unique_ptr<ImageAnalysisRunParams> run(NewRun());
        const double before = ResidentBytes();
        std::chrono::steady_clock::time_point done;
        {
            PeakMemory memory;
            ImageAnalysisThreadProc(run.get());
            done = std::chrono::steady_clock::now();
            runCpu += ProcessCpuSeconds() - cpuDecoded;
            peak = std::max(peak, memory.Peak());
            peakGrowth = std::max(peakGrowth, memory.Peak() - before);
        }
        if (run->Failed()) {
            state.SkipWithError(run->Status().c_str());
            break;
        }
        // The run folder is named by the second: clear it for the next iteration.
        const std::string summary = run->ResultFiles().analysis_file;
        std::filesystem::remove_all(std::filesystem::path(summary).parent_path());
        decodeCpu += cpuDecoded - cpuStart;
        decodeTotal += Seconds(start, decoded);
        runTotal += Seconds(decoded, done);
        state.SetIterationTime(Seconds(decoded, done));
    }
    if (decodeTotal > 0.0) {
        state.counters["decode_20_s"] = decodeTotal / double(state.iterations());
        state.counters["run_20_s"] = runTotal / double(state.iterations());
        state.counters["ratio_to_decode"] = runTotal / decodeTotal;
        // The work itself, whatever else the machine runs: CPU seconds of the run per CPU second
        // of decoding. Over n cores the wall-clock ratio cannot go below this over n.
        state.counters["cpu_ratio_to_decode"] = runCpu / decodeCpu;
        state.counters["peak_rss_MB"] = peak / 1048576.0;
        state.counters["peak_rss_growth_MB"] = peakGrowth / 1048576.0;
    }
}
BENCHMARK(BM_BatchRunOverDecode)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
