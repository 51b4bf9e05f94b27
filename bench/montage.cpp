// The montage step (ComposeMontage) on generated experiments of 50, 100 and 135 frames, next to
// decoding the images that step reads in the same run: the floor every montage pays. The step
// should grow linearly with the frames and stay within about 1.3 times that decoding.
#include "experiment/Montage.h"
#include "app/PlexorinApp.h"
#include "experiment/ExperimentData.h"
#include "experiment/MeniscusFrames.h"
#include "support/SyntheticExperiment.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <filesystem>
#include <map>
#include <opencv2/imgcodecs.hpp>
#include <string>
#include <vector>

namespace {

double Seconds(std::chrono::steady_clock::time_point from, std::chrono::steady_clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

struct Prepared
{
    vantelis::test::SyntheticExperimentTruth truth;
    ExperimentData experiment;
    MeniscusSearch lead, trail;
    FlowAnalysis flow;
    std::vector<std::string> read; // the images the montage step reads
    std::string error;
};

// Writes the experiment once per frame count and runs the steps before the montage.
Prepared &Prepare(int frames)
{
    // The generated experiments take some gigabytes: they go when the program ends.
    static struct Experiments : std::map<int, Prepared>
    {
        ~Experiments()
        {
            for (const auto &entry : *this)
                std::filesystem::remove_all(std::filesystem::path(entry.second.truth.folder).parent_path());
        }
    } prepared;
    auto found = prepared.find(frames);
    if (found != prepared.end())
        return found->second;
    Prepared &p = prepared[frames];
    const std::string root =
        (std::filesystem::temp_directory_path() / ("vantelis-bench-montage-" + std::to_string(frames)))
            .string();
    std::filesystem::remove_all(root);
    vantelis::test::SyntheticExperimentParams params;
    params.flow_leftward = true;
    params.pump1_speed = params.pump2_speed = 24.0;
    params.pumped_frames = frames;
    params.fluorescence = false;
    params.equal_exposures = true;
    p.truth = vantelis::test::WriteSyntheticExperiment(root, params);
    theApp.m_data_directory = p.truth.data_folder;
    ExperimentData &e = p.experiment;
    if (!e.Open(p.truth.folder, &p.error) || !e.ReadCaptureLog(e.m_log_path, &p.error) ||
        !e.ReadSettings(e.m_settings_path, p.error) ||
        !e.LoadOrDetectChannelPosition(p.truth.folder, e.m_settings_path, p.error) ||
        !e.ComputeAutoContrast(_experiment_contrast))
        return p;
    ResetSampleFlowResults();
    if (!FindLeadMeniscusByTemplate(p.truth.folder, e, p.error) ||
        !FindTrailMeniscusByTemplate(p.truth.folder, e, p.error) || !ComputeSplitLine(e, p.error) ||
        !ComputeFrameDisplacement(e, p.error))
        return p;
    p.lead = _lead_meniscus;
    p.trail = _trail_meniscus;
    p.flow = _flow_analysis;
    auto path = [&](const CaptureLogRecord &r) {
        EString full;
        MakeExperimentImagePath(EString(p.truth.folder.c_str()),
                                EString(r.images.brightfield.file_name.c_str()), full);
        return std::string(full.c_str());
    };
    p.read.push_back(path(e.m_reference_record));
    const int first = static_cast<int>(p.lead.frame_index), last = static_cast<int>(p.trail.frame_index);
    for (int i = first; i <= last; ++i)
        p.read.push_back(path(e.m_selected_run[static_cast<size_t>(i)]));
    return p;
}

void BM_ComposeMontageOverDecode(benchmark::State &state)
{
    Prepared &p = Prepare(static_cast<int>(state.range(0)));
    if (p.read.empty()) {
        state.SkipWithError(("the experiment could not be prepared: " + p.error).c_str());
        return;
    }
    theApp.m_data_directory = p.truth.data_folder;
    double decodeTotal = 0.0, montageTotal = 0.0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        for (const std::string &file : p.read)
            benchmark::DoNotOptimize(cv::imread(file, cv::IMREAD_ANYDEPTH).data);
        const auto decoded = std::chrono::steady_clock::now();
        _lead_meniscus = p.lead;
        _trail_meniscus = p.trail;
        _flow_analysis = p.flow;
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
