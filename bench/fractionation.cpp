// The fractionation step (ComputeFractionation: loading the frames from lead to trail meniscus,
// the backgrounds, the meniscus masks, the profile and the report) on a generated experiment of 135
// frames, next to decoding the images that step reads in the same run: the floor every
// fractionation pays. Peak memory is the process's resident high-water mark after each part.
#include "SampleFlowSetup.h"
#include "experiment/CellFractionation.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <string>
#include <sys/resource.h>

namespace {

using namespace vantelis::bench;

double PeakResidentMb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void BM_FractionationOverDecode(benchmark::State &state)
{
    SampleFlowRun &p = PrepareSampleFlow("fractionation", static_cast<int>(state.range(0)), false, false);
    if (p.read.empty()) {
        state.SkipWithError(("the experiment could not be prepared: " + p.error).c_str());
        return;
    }
    theApp.m_data_directory = p.truth.data_folder;
    double decodeTotal = 0.0, stepTotal = 0.0, decodePeak = 0.0, stepPeak = 0.0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        DecodeAll(p.read);
        const auto decoded = std::chrono::steady_clock::now();
        decodePeak = PeakResidentMb();
        RestoreSampleFlowResults(p);
        std::string error;
        double top = 0.0, bottom = 0.0;
        const bool made = ComputeFractionation(p.truth.folder, p.experiment.m_experiment_full_name, "bench",
                                               p.experiment, top, bottom, error);
        const auto done = std::chrono::steady_clock::now();
        stepPeak = PeakResidentMb();
        if (!made) {
            state.SkipWithError(error.c_str());
            break;
        }
        decodeTotal += Seconds(start, decoded);
        stepTotal += Seconds(decoded, done);
        state.SetIterationTime(Seconds(decoded, done));
    }
    ResetSampleFlowResults();
    if (decodeTotal > 0.0) {
        state.counters["frames_read"] = static_cast<double>(p.read.size());
        state.counters["decode_s"] = decodeTotal / double(state.iterations());
        state.counters["fractionation_s"] = stepTotal / double(state.iterations());
        state.counters["ratio_to_decode"] = stepTotal / decodeTotal;
        state.counters["peak_mb_after_decode"] = decodePeak;
        state.counters["peak_mb_after_step"] = stepPeak;
    }
}
BENCHMARK(BM_FractionationOverDecode)
    ->Arg(135)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

} // namespace
