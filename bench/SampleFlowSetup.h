#pragma once
// The setting of the montage and fractionation benchmarks: a generated experiment (brightfield
// only, the sample flowing leftward) with the steps before either run, and the images either step
// reads, to decode next to it.
#include "app/PlexorinApp.h"
#include "experiment/ColorFrameContrast.h"
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

namespace vantelis::bench {

inline double Seconds(std::chrono::steady_clock::time_point from, std::chrono::steady_clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

struct SampleFlowRun
{
    vantelis::test::SyntheticExperimentTruth truth;
    ExperimentData experiment;
    MeniscusSearch lead, trail;
    FlowAnalysis flow;
    std::vector<std::string> read; // the images the step reads; empty when the preparation failed
    std::string error;

    std::string BrightfieldPath(const CaptureLogRecord &record) const
    {
        EString full;
        MakeExperimentImagePath(EString(truth.folder.c_str()),
                                EString(record.images.brightfield.file_name.c_str()), full);
        return full.c_str();
    }
};

// Writes the experiment of the given number of pumped frames once per step and frame count, opens
// it and finds the menisci, the split line and the frame displacement. read gets the reference
// image (when with_reference) and the images from the lead to the trail meniscus. with_contrast
// also computes the experiment's auto contrast into _experiment_contrast.
inline SampleFlowRun &PrepareSampleFlow(const std::string &step, int frames, bool with_contrast,
                                        bool with_reference)
{
    // The generated experiments take some gigabytes: they go when the program ends.
    static struct Experiments : std::map<std::pair<std::string, int>, SampleFlowRun>
    {
        ~Experiments()
        {
            for (const auto &entry : *this)
                std::filesystem::remove_all(std::filesystem::path(entry.second.truth.folder).parent_path());
        }
    } prepared;
    auto found = prepared.find({step, frames});
    if (found != prepared.end())
        return found->second;
    SampleFlowRun &p = prepared[{step, frames}];
    const std::string root =
        (std::filesystem::temp_directory_path() / ("vantelis-bench-" + step + "-" + std::to_string(frames)))
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
        (with_contrast && !e.ComputeAutoContrast(_experiment_contrast)))
        return p;
    ResetSampleFlowResults();
    if (!FindLeadMeniscusByTemplate(p.truth.folder, e, p.error) ||
        !FindTrailMeniscusByTemplate(p.truth.folder, e, p.error) || !ComputeSplitLine(e, p.error) ||
        !ComputeFrameDisplacement(e, p.error))
        return p;
    p.lead = _lead_meniscus;
    p.trail = _trail_meniscus;
    p.flow = _flow_analysis;
    if (with_reference)
        p.read.push_back(p.BrightfieldPath(e.m_reference_record));
    const int first = static_cast<int>(p.lead.frame_index), last = static_cast<int>(p.trail.frame_index);
    for (int i = first; i <= last; ++i)
        p.read.push_back(p.BrightfieldPath(e.m_selected_run[static_cast<size_t>(i)]));
    return p;
}

// Decodes the images the step reads, as the step itself would.
inline void DecodeAll(const std::vector<std::string> &files)
{
    for (const std::string &file : files)
        benchmark::DoNotOptimize(cv::imread(file, cv::IMREAD_ANYDEPTH).data);
}

// Puts the results of the steps before back, as the step under measure expects them.
inline void RestoreSampleFlowResults(const SampleFlowRun &p)
{
    _lead_meniscus = p.lead;
    _trail_meniscus = p.trail;
    _flow_analysis = p.flow;
}

} // namespace vantelis::bench
