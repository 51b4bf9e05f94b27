// Converting a full camera frame (2448 x 2048, 16-bit) to display pixels, as the render thread does
// for every frame it draws: sample the zoom window at the window's size, then map it through the
// display range. Reported as a ratio ("x_LUT") to one cv::LUT pass over the same number of 8-bit
// pixels measured in the same run, on one core.
#include "Ostravo/DisplayConversion.h"

#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <vector>

namespace {

constexpr int kColumns = 2448;
constexpr int kRows = 2048;

const cv::Mat &Frame()
{
    static const cv::Mat frame = [] {
        cv::Mat image(kRows, kColumns, CV_16UC1);
        cv::RNG rng(12345);
        rng.fill(image, cv::RNG::NORMAL, 3000, 800);
        return image;
    }();
    return frame;
}

// Seconds for one cv::LUT pass over a 2448 x 2048 8-bit image: the best of several passes.
double LutFloorSeconds()
{
    static const double seconds = [] {
        cv::setNumThreads(1);
        cv::Mat grey(kRows, kColumns, CV_8UC1);
        cv::randu(grey, 0, 256);
        cv::Mat table(1, 256, CV_8UC1);
        for (int k = 0; k < 256; ++k)
            table.at<uint8_t>(k) = static_cast<uint8_t>(255 - k);
        cv::Mat out;
        double best = 1e9;
        for (int k = 0; k < 30; ++k) {
            const auto start = std::chrono::steady_clock::now();
            cv::LUT(grey, table, out);
            benchmark::DoNotOptimize(out.data);
            best = std::min(best,
                            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        }
        return best;
    }();
    return seconds;
}

// One frame into a window of width x height showing the whole image.
void ConvertFrame(benchmark::State &state, int width, int height)
{
    cv::setNumThreads(1);
    const cv::Mat &frame = Frame();
    std::vector<uint16_t> sampled;
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
    const double floor = LutFloorSeconds();
    double total = 0.0;
    int64_t frames = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        Ostravo::SampleImageRegion(frame, sampled, 0.0, 1.0, 0.0, 1.0, width, height);
        Ostravo::MapToDisplayColors(sampled.data(), sampled.size(), pixels.data(), 5000, 1000, nullptr, 25,
                                    255);
        benchmark::DoNotOptimize(pixels.data());
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        ++frames;
    }
    state.counters["x_LUT"] = frames > 0 ? (total / frames) / floor : 0.0;
    state.counters["LUT_ms"] = floor * 1000.0;
}

void BM_LutFloor(benchmark::State &state)
{
    cv::setNumThreads(1);
    cv::Mat grey(kRows, kColumns, CV_8UC1);
    cv::randu(grey, 0, 256);
    cv::Mat table(1, 256, CV_8UC1, cv::Scalar(7));
    cv::Mat out;
    for (auto _ : state) {
        cv::LUT(grey, table, out);
        benchmark::DoNotOptimize(out.data);
    }
}

void BM_DisplayZoom1(benchmark::State &state)
{
    ConvertFrame(state, kColumns, kRows);
}

// The whole frame fitted into a 1224 x 1024 window.
void BM_DisplayFitToWindow(benchmark::State &state)
{
    ConvertFrame(state, kColumns / 2, kRows / 2);
}

} // namespace

BENCHMARK(BM_LutFloor)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DisplayZoom1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DisplayFitToWindow)->Unit(benchmark::kMillisecond);
