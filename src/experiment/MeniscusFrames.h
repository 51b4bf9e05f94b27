#pragma once
// The sample-flow measurements of one recorded experiment: the frame in which the lead meniscus is
// last seen and the frame in which the trail meniscus is first seen (by meniscus templates in the
// data folder), the row of the split line between the two sample streams (from the pump speeds)
// and the sample's displacement between two frames.
//
// The results live in three globals that one pipeline run (montage, video, fractionation) fills
// and reads; the runs hold ExclusiveAnalysisMutex() so that only one uses them at a time.
#include "experiment/ExperimentData.h"

#include <cstdint>
#include <string>
#include <vector>

struct MeniscusSearch
{
    int32_t scale = 2;                   // frames and templates are shrunk by this before matching
    double distance_to_right_edge = 0.0; // trail: columns from the match's left edge to the right edge
    bool found = false;                  // trail: a template matched
    double frame_index = 0.0;            // index in the selected run of the matching frame
    double x = 0.0;                      // full-resolution column of the match's left edge
    std::string template_folder;
    double template_width = 0.0; // full-resolution width of the matching template (trail: / 1.5)
    int32_t frame_count = 0;     // frames examined
    std::vector<bool> matched;   // lead: one flag per examined frame
    std::vector<std::string> template_files;
};

struct FlowAnalysis
{
    double mean_total_speed = 0.0; // pump 1 + pump 2, microlitres per minute, whole
    double frame_interval_s = 0.0;
    double shift_mm_per_frame = 0.0;
    double run_volume_ul = 0.0;
    double volume_per_frame_ul = 0.0;
    double pump1_speed_mid = 0.0;
    double pump2_speed_mid = 0.0;
    double shift_px_per_frame = 0.0; // whole columns
    double mm_per_pixel = 0.0;
    double split_percent = 0.0; // split position relative to the channel middle
    double split_row = 0.0;     // in a frame cut to rows [m_crop_top, m_crop_bottom)
    double half_channel_height = 0.0;
    double total_time_ms = 0.0;
    double total_time_s = 0.0;
};

// These names keep their leading underscore, a form reserved at global scope, so they live in a
// namespace; the directive lets every caller name them as before.
namespace globals {
extern MeniscusSearch _lead_meniscus;
extern MeniscusSearch _trail_meniscus;
extern FlowAnalysis _flow_analysis;
} // namespace globals
using namespace globals;

// Puts the three globals back to their start values.
void ResetSampleFlowResults();

// Each step works on its own copy of an experiment already read (capture log and settings); folder
// is the experiment folder. False with error set on failure.
bool FindLeadMeniscusByTemplate(std::string folder, ExperimentData experiment, std::string &error);
bool FindTrailMeniscusByTemplate(std::string folder, ExperimentData experiment, std::string &error);
bool ComputeSplitLine(ExperimentData experiment, std::string &error);
bool ComputeFrameDisplacement(ExperimentData experiment, std::string &error);

// The split position f in [0, 1) of the channel height for the two mid-run pump speeds, as the
// scan of 5000 steps finds it.
double SplitFraction(double pump1_speed, double pump2_speed);
