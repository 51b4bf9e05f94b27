#pragma once
// A recorded experiment made up from known values: a full-size (2448 x 2048, 16-bit) image
// folder with its settings file and capture log, plus the data-folder templates (lead and trail
// meniscus, split line) cut from the rendered images. Every value built in is kept in the truth
// record, so tests and benchmarks compare against how the experiment was made.
//
// The images show the cartridge channel (walls and a split-line pattern: a dark line along the
// channel centre with two short cross bars, one in the left third and one in the right third),
// shifted by channel_offset rows and tilted by rotation radians about the left edge of the left
// bar's template. Pumped frames show the sample slug moving right by the step the pump speeds
// and frame interval give: its lead meniscus, dark cells above and below the split line, and its
// trail meniscus. The first fluorescence channel shows every cell bright, the second only the
// cells below the split line.
#include <opencv2/core.hpp>

#include <cstdint>
#include <string>
#include <vector>

namespace vantelis::test {

struct SyntheticExperimentParams
{
    uint32_t seed = 1;
    std::string name = "20261210-1200-00_Synthetic"; // ExperimentFullName and image name prefix
    int unpumped_frames = 3;                         // positions 1.. at pump speeds 0
    int pumped_frames = 12;                          // the positions after them, pumped
    bool fluorescence = true;                        // write the two fluorescence images per position
    int upper_channel = 400;                         // [Cartridge] rows as the settings file holds them
    int lower_channel = 1500;
    double pixels_per_mm = 500.0;
    int channel_offset = 23;    // rows the channel lies below its nominal rows
    double rotation = 0.0025;   // channel tilt, radians (positive: the right end lies lower)
    double pump1_speed = 10.25; // microlitres per minute while pumped
    double pump2_speed = 9.75;
    int frame_interval_ms = 1500;
    std::string barcode = "101-000-0000";
    int cells_above = 14; // dark cells in the slug above and below the split line
    int cells_below = 9;
    // Brightness of the sample fluid relative to the empty channel: below 1 the slug is tinted.
    double sample_transmission = 0.9;
    bool noise = true;
    bool write_templates = true; // the data folder's Templates, cut from the rendered images
    // False writes only the images that reading the experiment, detecting its channel and its
    // contrast open (the first two positions, the run's first two and its eleventh); the log still
    // names them all. Quicker for tests that need no more.
    bool all_images = true;
    // The sample enters at the right edge and moves left, as the instrument's channel runs; the
    // default moves it right.
    bool flow_leftward = false;
    // Every image of a channel taken with the same exposure, so frames match in brightness after
    // the exposure scaling.
    bool equal_exposures = false;
};

struct SyntheticCell
{
    double slug_x = 0.0; // columns behind the lead meniscus
    double row_from_split = 0.0;
    bool above = false;
};

struct SyntheticExperimentTruth
{
    std::string folder;        // the experiment folder
    std::string data_folder;   // the data folder holding Templates
    std::string settings_path; // ExperimentSettings.ini
    std::string log_path;
    std::string cartridge_id;

    // One entry per position in file order.
    std::vector<std::string> brightfield_files, fluorescence1_files, fluorescence2_files;
    std::vector<int> positions;
    std::vector<bool> pumped;
    std::vector<bool> image_written; // the position's images exist
    std::vector<double> brightfield_exposures, fluorescence1_exposures, fluorescence2_exposures;
    std::vector<uint32_t> capture_offsets_ms; // capture time of each brightfield image after the first

    size_t run_first = 0; // index of the selected run's first position
    size_t run_length = 0;
    double mean_brightfield_exposure = 0.0; // over the selected run
    double mean_fluorescence1_exposure = 0.0;
    double mean_fluorescence2_exposure = 0.0;

    // Channel geometry.
    int centre_row = 0;     // (upper + lower) / 2 as the split-line search takes it
    int channel_offset = 0; // offset of the split line at rotation_center_x
    double rotation = 0.0;
    double rotation_center_x = 0.0; // left edge of the left bar's template
    double rotation_center_y = 0.0; // top of that template
    int left_bar_x = 0, right_bar_x = 0;
    double SplitRowAt(double x) const; // row of the split line's centre in the image

    // Sample flow.
    int shift_px_per_frame = 0;          // the slug's step per pumped frame
    std::vector<double> lead_x, trail_x; // meniscus column at the channel centre, per pumped frame
    int flow_direction = 1;              // +1: the slug moves right; -1: left
    // Columns of the meniscus templates before and after the meniscus column.
    int lead_template_before = 0, lead_template_after = 0;
    int trail_template_before = 0, trail_template_after = 0;
    std::vector<SyntheticCell> cells;
    int cells_above = 0, cells_below = 0;

    // Levels the images were drawn with (before noise and exposure scaling).
    int channel_level = 0, fluorescence_background = 0, fluorescence_cell_level = 0;

    // Templates written into the data folder.
    std::string split_line_template, lead_template, trail_template, template_list;
};

// Writes the experiment into root/<name> and the templates into root/data/Templates.
SyntheticExperimentTruth WriteSyntheticExperiment(const std::string &root,
                                                  const SyntheticExperimentParams &params = {});

// The brightfield image of one position (index in file order) as the generator draws it, 16-bit.
// An index past the unpumped frames shows the slug.
cv::Mat RenderSyntheticBrightfield(const SyntheticExperimentParams &params, int index);

} // namespace vantelis::test
