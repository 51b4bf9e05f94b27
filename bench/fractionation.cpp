// The fractionation step (ComputeFractionation: loading the frames from lead to trail meniscus,
// the backgrounds, the meniscus masks, the profile and the report) on a generated experiment of 135
// frames, next to decoding the images that step reads in the same run: the floor every
// fractionation pays. Peak memory is the process's resident high-water mark after each part.
#include "app/PlexorinApp.h"
#include "experiment/CellFractionation.h"
#include "experiment/ExperimentData.h"
#include "experiment/MeniscusFrames.h"
#include "support/SyntheticExperiment.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

double Seconds(std::chrono::steady_clock::time_point from, std::chrono::steady_clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

double PeakResidentMb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

struct Prepared
{
    vantelis::test::SyntheticExperimentTruth truth;
    ExperimentData experiment;
    MeniscusSearch lead, trail;
    FlowAnalysis flow;
    std::vector<std::string> read; // the images the fractionation step reads
    std::string error;
    std::string root;
    ~Prepared()
    {
        if (!root.empty())
            std::filesystem::remove_all(root);
    }
};

Prepared &Prepare(int frames)
{
    static Prepared p;
    if (!p.root.empty())
        return p;
    p.root =
        (std::filesystem::temp_directory_path() / ("vantelis-bench-fractionation-" + std::to_string(frames)))
            .string();
    std::filesystem::remove_all(p.root);
    vantelis::test::SyntheticExperimentParams params;
    params.flow_leftward = true;
    params.pump1_speed = params.pump2_speed = 24.0;
    params.pumped_frames = frames;
    params.fluorescence = false;
    params.equal_exposures = true;
    p.truth = vantelis::test::WriteSyntheticExperiment(p.root, params);
    theApp.m_data_directory = p.truth.data_folder;
    ExperimentData &e = p.experiment;
    if (!e.Open(p.truth.folder, &p.error) || !e.ReadCaptureLog(e.m_log_path, &p.error) ||
        !e.ReadSettings(e.m_settings_path, p.error) ||
        !e.LoadOrDetectChannelPosition(p.truth.folder, e.m_settings_path, p.error))
        return p;
    ResetSampleFlowResults();
    if (!FindLeadMeniscusByTemplate(p.truth.folder, e, p.error) ||
        !FindTrailMeniscusByTemplate(p.truth.folder, e, p.error) || !ComputeSplitLine(e, p.error) ||
        !ComputeFrameDisplacement(e, p.error))
        return p;
    p.lead = _lead_meniscus;
    p.trail = _trail_meniscus;
    p.flow = _flow_analysis;
    const int first = static_cast<int>(p.lead.frame_index), last = static_cast<int>(p.trail.frame_index);
    for (int i = first; i <= last; ++i) {
        EString full;
        MakeExperimentImagePath(
            EString(p.truth.folder.c_str()),
            EString(e.m_selected_run[static_cast<size_t>(i)].images.brightfield.file_name.c_str()), full);
        p.read.push_back(full.c_str());
    }
    return p;
}

void BM_FractionationOverDecode(benchmark::State &state)
{
    Prepared &p = Prepare(static_cast<int>(state.range(0)));
    if (p.read.empty()) {
        state.SkipWithError(("the experiment could not be prepared: " + p.error).c_str());
        return;
    }
    theApp.m_data_directory = p.truth.data_folder;
    double decodeTotal = 0.0, stepTotal = 0.0, decodePeak = 0.0, stepPeak = 0.0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        for (const std::string &file : p.read)
            benchmark::DoNotOptimize(cv::imread(file, cv::IMREAD_ANYDEPTH).data);
        const auto decoded = std::chrono::steady_clock::now();
        decodePeak = PeakResidentMb();
        _lead_meniscus = p.lead;
        _trail_meniscus = p.trail;
        _flow_analysis = p.flow;
        std::string error;
        const bool made = ComputeFractionation(p.truth.folder, p.experiment.m_experiment_full_name, "bench",
                                               p.experiment, error);
        const auto done = std::chrono::steady_clock::now();
        stepPeak = PeakResidentMb();
        _analysis_frame.Clear();
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
