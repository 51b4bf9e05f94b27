// Epi-illumination counting on a 900 x 900 region of a full frame with its background image, and
// the meniscus finder on a full frame, each next to decoding the same frame from PNG (the floor).
#include "analysis/EpiCellCounting.h"
#include "analysis/IntensityProfile.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <opencv2/imgcodecs.hpp>

namespace {

constexpr int kWidth = 2448;
constexpr int kHeight = 2048;

double Illumination(int x, int y)
{
    const double dx = (x - kWidth / 2.0) / kWidth, dy = (y - kHeight / 2.0) / kHeight;
    return 1.0 - 0.8 * (dx * dx + dy * dy);
}

// A noisy, unevenly lit frame with dark rings (radius 10, fading over 3 pixels) every 45 pixels
// inside the counting region, and its background image. The rings cover about a fifth of the
// region, so the levels are taken at 2 % and 8 % of its histogram.
struct EpiFrame
{
    cv::Mat image, background;
    EpiCellCountingParams params;
    std::vector<uchar> png;

    EpiFrame() : image(kHeight, kWidth, CV_16UC1), background(kHeight, kWidth, CV_16UC1)
    {
        params.left = 774;
        params.top = 574;
        params.right = params.left + 899;
        params.bottom = params.top + 899;
        params.use_bg_image = true;
        params.dark_pct0 = 0.02f;
        params.dark_pct1 = 0.08f;
        params.max_ratio = 0.35f;
        params.min_pixel_count = 60;
        params.min_size = 20;
        cv::RNG rng(99);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                double scene = 8000 + rng.uniform(-300, 301);
                const bool inside =
                    x >= params.left && x <= params.right && y >= params.top && y <= params.bottom;
                if (inside) {
                    const int cx = params.left + 22 + (x - params.left) / 45 * 45;
                    const int cy = params.top + 22 + (y - params.top) / 45 * 45;
                    const double offset = std::abs(std::hypot(x - cx, y - cy) - 10.0);
                    if (offset <= 3.0)
                        scene = 1000 + 1000 * offset;
                }
                image.at<uint16_t>(y, x) = uint16_t(std::lround(scene * Illumination(x, y)));
                background.at<uint16_t>(y, x) = uint16_t(std::lround(8000 * Illumination(x, y)));
            }
        cv::imencode(".png", image, png);
    }
};

const EpiFrame &Epi()
{
    static const EpiFrame frame;
    return frame;
}

// A frame of the channel: walls 400 rows wide at rows 500 and 1500 on a gentle ramp, a dark
// line at column 600 and the meniscus at column 1800.
struct ChannelFrame
{
    cv::Mat image;
    std::vector<uchar> png;

    ChannelFrame() : image(kHeight, kWidth, CV_16UC1)
    {
        cv::RNG rng(5);
        for (int y = 0; y < kHeight; ++y) {
            const int wall = std::max({0, 200 - std::abs(y - 500), 200 - std::abs(y - 1500)});
            for (int x = 0; x < kWidth; ++x) {
                int value = 20000 + 2 * x - 40 * wall + rng.uniform(-200, 201);
                if (x == 600 || std::abs(x - 1800) <= 2)
                    value = 4000;
                image.at<uint16_t>(y, x) = uint16_t(std::max(value, 0));
            }
        }
        cv::imencode(".png", image, png);
    }
};

const ChannelFrame &Channel()
{
    static const ChannelFrame frame;
    return frame;
}

void BM_DecodeEpiFramePng(benchmark::State &state)
{
    const EpiFrame &frame = Epi();
    for (auto _ : state)
        benchmark::DoNotOptimize(cv::imdecode(frame.png, cv::IMREAD_ANYDEPTH));
}
BENCHMARK(BM_DecodeEpiFramePng)->Unit(benchmark::kMillisecond);

void BM_EpiCountingWithBackground(benchmark::State &state)
{
    const EpiFrame &frame = Epi();
    size_t found = 0;
    for (auto _ : state) {
        std::vector<CellDetection> detections;
        EString error;
        if (!EpiCellCountingAlgo(frame.image, frame.params, detections, error, nullptr, &frame.background)) {
            state.SkipWithError(error.c_str());
            return;
        }
        found = detections.size();
    }
    state.counters["detections"] = double(found);
}
BENCHMARK(BM_EpiCountingWithBackground)->Unit(benchmark::kMillisecond);

void BM_DecodeChannelFramePng(benchmark::State &state)
{
    const ChannelFrame &frame = Channel();
    for (auto _ : state)
        benchmark::DoNotOptimize(cv::imdecode(frame.png, cv::IMREAD_ANYDEPTH));
}
BENCHMARK(BM_DecodeChannelFramePng)->Unit(benchmark::kMillisecond);

void BM_FindMeniscus(benchmark::State &state)
{
    const ChannelFrame &frame = Channel();
    MeniscusResult result;
    for (auto _ : state) {
        result = MeniscusResult();
        FindMeniscus(frame.image, result, -1, -1);
    }
    state.counters["found"] = result.found ? 1 : 0;
    state.counters["column"] = result.column;
}
BENCHMARK(BM_FindMeniscus)->Unit(benchmark::kMillisecond);

} // namespace
