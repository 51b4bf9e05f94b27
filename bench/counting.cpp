// Circular cell counting on a full camera frame, next to decoding the same frame from a 16-bit
// PNG: the floor that any batch run over image files pays anyway.
#include "analysis/CountingAlgo.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <unistd.h>

namespace {

constexpr int kWidth = 2448;
constexpr int kHeight = 2048;
constexpr int kMargin = 50;

// 400 filled cells of radius 6 um (6 pixels at 1000 px/mm) on a jittered 20 x 20 grid over a
// noisy background.
const cv::Mat &Frame()
{
    static const cv::Mat frame = [] {
        cv::Mat image(kHeight, kWidth, CV_16UC1);
        cv::RNG rng(2024);
        rng.fill(image, cv::RNG::UNIFORM, 975, 1026);
        const double dx = (kWidth - 2.0 * kMargin) / 20.0;
        const double dy = (kHeight - 2.0 * kMargin) / 20.0;
        for (int r = 0; r < 20; ++r)
            for (int c = 0; c < 20; ++c) {
                const cv::Point centre(kMargin + static_cast<int>(dx * (c + 0.5)) + rng.uniform(-15, 16),
                                       kMargin + static_cast<int>(dy * (r + 0.5)) + rng.uniform(-15, 16));
                cv::circle(image, centre, 6, cv::Scalar(rng.uniform(2600, 3400)), cv::FILLED, cv::LINE_8);
            }
        return image;
    }();
    return frame;
}

// The frame as a 16-bit PNG in the temporary folder, removed at exit.
struct PngFile
{
    std::string path =
        (std::filesystem::temp_directory_path() / ("bench_counting_" + std::to_string(getpid()) + ".png"))
            .string();
    PngFile() { cv::imwrite(path, Frame()); }
    ~PngFile() { std::filesystem::remove(path); }
};

const std::string &PngPath()
{
    static const PngFile file;
    return file.path;
}

CountingAlgoOptions Options()
{
    CountingAlgoOptions o{};
    o.pixels_per_mm = 1000.0;
    o.edge_processing = true; // the loader's default
    o.proximity_between_types = true;
    for (int t = 0; t < 2; ++t) {
        o.morph_filter[t] = true;
        o.count_filter[t] = true;
        o.proximity_within_type[t] = true;
        o.object_radius[t] = 6.0;
        o.radius_sweep[t] = 2;
        o.morph_samples[t] = 12;
        o.morph_threshold[t] = 300;
        o.count_threshold[t] = 500;
        o.count_min_size[t] = 1;
        o.use_inner_ring[t] = true;
    }
    o.left = kMargin;
    o.top = kMargin;
    o.right = kWidth - 1 - kMargin;
    o.bottom = kHeight - 1 - kMargin;
    return o;
}

class Threads
{
  public:
    explicit Threads(int n) : m_saved(cv::getNumThreads())
    {
        if (n > 0)
            cv::setNumThreads(n);
    }
    ~Threads() { cv::setNumThreads(m_saved); }

  private:
    int m_saved;
};

bool CountOnce(std::string &problem)
{
    std::vector<std::vector<CellDetection>> detections;
    EString error;
    if (!CountingAlgo(Frame(), Options(), detections, nullptr, &error)) {
        problem = error.c_str();
        return false;
    }
    if (detections[0].size() != 400 || !detections[1].empty()) {
        problem = "unexpected detections: " + std::to_string(detections[0].size()) + " and " +
                  std::to_string(detections[1].size());
        return false;
    }
    return true;
}

void BM_DecodePng16(benchmark::State &state)
{
    const std::string &path = PngPath();
    for (auto _ : state) {
        cv::Mat image = cv::imread(path, cv::IMREAD_ANYDEPTH);
        benchmark::DoNotOptimize(image.data);
    }
}
BENCHMARK(BM_DecodePng16)->Unit(benchmark::kMillisecond)->UseRealTime();

// Argument: OpenCV worker threads (0: all cores).
void BM_CountingAlgo(benchmark::State &state)
{
    Threads threads(static_cast<int>(state.range(0)));
    std::string problem;
    for (auto _ : state) {
        if (!CountOnce(problem)) {
            state.SkipWithError(problem.c_str());
            break;
        }
    }
}
BENCHMARK(BM_CountingAlgo)->Arg(0)->Arg(2)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// Counting over decoding, measured alternately in the same iterations so that both see the same
// machine load. Argument as above.
void BM_CountingOverDecode(benchmark::State &state)
{
    Threads threads(static_cast<int>(state.range(0)));
    using Clock = std::chrono::steady_clock;
    Clock::duration decode{}, count{};
    std::string problem;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        cv::Mat image = cv::imread(PngPath(), cv::IMREAD_ANYDEPTH);
        benchmark::DoNotOptimize(image.data);
        const auto t1 = Clock::now();
        if (!CountOnce(problem)) {
            state.SkipWithError(problem.c_str());
            break;
        }
        const auto t2 = Clock::now();
        decode += t1 - t0;
        count += t2 - t1;
    }
    if (decode.count() > 0)
        state.counters["count/decode"] =
            std::chrono::duration<double>(count) / std::chrono::duration<double>(decode);
}
BENCHMARK(BM_CountingOverDecode)->Arg(0)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
