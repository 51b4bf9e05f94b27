// The montage step (ComposeMontage) on generated experiments of 50, 100 and 135 frames, next to
// decoding the images that step reads in the same run: the floor every montage pays. The step
// should grow linearly with the frames and stay within about 1.3 times that decoding.
#include "experiment/Montage.h"
#include "SampleFlowSetup.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <string>

namespace {

using namespace vantelis::bench;

void BM_ComposeMontageOverDecode(benchmark::State &state)
{
    SampleFlowRun &p = PrepareSampleFlow("montage", static_cast<int>(state.range(0)), true, true);
    if (p.read.empty()) {
        state.SkipWithError(("the experiment could not be prepared: " + p.error).c_str());
        return;
    }
    theApp.m_data_directory = p.truth.data_folder;
    double decodeTotal = 0.0, montageTotal = 0.0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        DecodeAll(p.read);
        const auto decoded = std::chrono::steady_clock::now();
        RestoreSampleFlowResults(p);
        std::string error;
        const bool made = ComposeMontage(p.truth.folder, p.experiment, _experiment_contrast, "bench", error);
        const auto done = std::chrono::steady_clock::now();
        if (!made) {
            state.SkipWithError(error.c_str());
            break;
        }
        decodeTotal += Seconds(start, decoded);
        montageTotal += Seconds(decoded, done);
        state.SetIterationTime(Seconds(decoded, done));
    }
    ResetSampleFlowResults();
    if (decodeTotal > 0.0) {
        state.counters["frames_read"] = static_cast<double>(p.read.size());
        state.counters["decode_s"] = decodeTotal / double(state.iterations());
        state.counters["montage_s"] = montageTotal / double(state.iterations());
        state.counters["ratio_to_decode"] = montageTotal / decodeTotal;
    }
}
BENCHMARK(BM_ComposeMontageOverDecode)
    ->Arg(50)
    ->Arg(100)
    ->Arg(135)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

} // namespace
