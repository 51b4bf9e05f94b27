// The channel's split-line detection on a full camera frame (2448 x 2048) with the templates that
// ship in the data folder, next to decoding the same frame from its 16-bit PNG: the floor that every
// detection on a stored experiment pays anyway.
#include "app/PlexorinApp.h"
#include "experiment/ImageUtilities.h"
#include "support/SyntheticExperiment.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <opencv2/imgcodecs.hpp>
#include <string>
#include <vector>

namespace {

double Seconds(std::chrono::steady_clock::time_point from, std::chrono::steady_clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

// Per iteration: decode the frame's PNG (the floor), then detect on the decoded frame. Reported:
// the detection's time and its ratio to the decode.
void BM_SplitLineOverDecode(benchmark::State &state)
{
    theApp.m_data_directory = std::string(VANTELIS_SOURCE_DIR) + "/res/data";
    vantelis::test::SyntheticExperimentParams params;
    params.channel_offset = 11;
    params.rotation = 0.002;
    std::vector<uint8_t> png;
    cv::imencode(".png", vantelis::test::RenderSyntheticBrightfield(params, 1), png);
    double decodeTotal = 0.0, detectTotal = 0.0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        cv::Mat frame = cv::imdecode(png, cv::IMREAD_GRAYSCALE);
        const auto decoded = std::chrono::steady_clock::now();
        int offset = 0;
        double rotation = 0, x = 0, y = 0;
        std::string error;
        SplitLineOutcome outcome = SplitLineOutcome::Failed;
        theImageUtilities.FindSplitLineByTemplate(frame, params.pixels_per_mm, params.upper_channel,
                                                  params.lower_channel + 1, "101", offset, rotation, x, y,
                                                  &error, &outcome);
        const auto done = std::chrono::steady_clock::now();
        if (outcome != SplitLineOutcome::Located) {
            state.SkipWithError(error.c_str());
            break;
        }
        decodeTotal += Seconds(start, decoded);
        detectTotal += Seconds(decoded, done);
        state.SetIterationTime(Seconds(decoded, done));
    }
    if (decodeTotal > 0.0) {
        state.counters["decode_s"] = decodeTotal / double(state.iterations());
        state.counters["detect_s"] = detectTotal / double(state.iterations());
        state.counters["ratio_to_decode"] = detectTotal / decodeTotal;
    }
}
BENCHMARK(BM_SplitLineOverDecode)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace
