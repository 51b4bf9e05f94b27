#pragma once
// A recorded experiment read from its folder: the settings file, the capture log (one record per
// brightfield position with the fluorescence images of the same position), the channel geometry,
// the detected channel offset and tilt, and the longest run of pumped images at consecutive
// positions. A value type: every analysis step gets its own copy.
#include "Ostravo/EString.h"

#include <opencv2/core.hpp>

#include <cstdint>
#include <string>
#include <vector>

struct ColorFrameContrast;

// One image slot of a position.
struct ChannelImage
{
    std::string file_name; // as the capture log names it, no folder; empty when there is none
    double exposure_us = 0.0;
    int32_t position = 0; // the position number written in the file name
};

// The three images taken at one position.
struct ChannelImageSet
{
    ChannelImage brightfield;
    ChannelImage fluorescence1; // files marked "Ex474" or "Em524"
    ChannelImage fluorescence2; // files marked "Ex560" or "Em628"
};

// One brightfield position of the capture log.
struct CaptureLogRecord
{
    ChannelImageSet images;
    double brightfield_exposure_us = 0.0;
    double fluorescence1_exposure_us = 0.0;
    double fluorescence2_exposure_us = 0.0;
    double pump1_speed = 0.0; // microlitres per minute
    double pump2_speed = 0.0;
    uint32_t capture_time_ms = 0; // low 32 bits of the local capture time in ms since the epoch
};

// A group of records at consecutive positions: the index of its first record (-1 for a single
// record), the index after its last one, and its length.
struct PositionRun
{
    int32_t first = -1;
    int32_t end = 0;
    int32_t length = 1;
};

class ExperimentData
{
  public:
    ExperimentData() = default;

    // Finds the capture log (first "*.log") and the settings file (first "*.ini") of the folder
    // and records the folder. False with a message, members unchanged, for a missing folder, a
    // folder without a capture log or without a settings file.
    bool Open(const std::string &folder, std::string *error = nullptr);
    // Channel rows, calibration and experiment name of the settings file; missing or unreadable
    // values take their defaults. Always true.
    bool ReadSettings(const std::string &settings_path, std::string &error);
    // Full paths of the three images of the 11th record of the selected run; false when the run is
    // shorter or a named image does not exist (the paths of the others are still given).
    bool GetContrastReferenceImages(EString &brightfield_path, EString &fluorescence1_path,
                                    EString &fluorescence2_path) const;
    // Cuts text at every separator; empty fields are kept, so there is always one field more than
    // separators.
    static std::vector<std::string> SplitString(const std::string &text, char separator);

    // Reads the capture log into the records, the reference record, the cartridge id, the selected
    // run and the mean exposures. Appends; false with a message for a log that cannot be read or is
    // malformed, or that has no two pumped records at consecutive positions.
    bool ReadCaptureLog(const std::string &log_path, std::string *error = nullptr);
    // Appends the records of the first longest run to the selected run; false when there is none.
    bool SelectLongestRun(const std::vector<PositionRun> &runs, const std::vector<CaptureLogRecord> &records);

    // The channel position from the settings file, or detected on the reference image and stored.
    bool LoadOrDetectChannelPosition(const std::string &folder, const std::string &settings_path,
                                     std::string &error);
    // Detects the channel position on image and always stores the outcome in the settings file
    // (10000, "not detected", when the detection fails). True when the position was detected.
    bool DetectChannelPosition(const std::string &settings_path, const std::string &barcode, cv::Mat image,
                               std::string &error);
    // Clears each flag whose channel is missing or at another position in any record but the last.
    void CheckChannelPositions(bool &include_fl1, bool &include_fl2) const;
    // Contrast windows of the three channels from the contrast reference images.
    bool ComputeAutoContrast(ColorFrameContrast &contrast) const;

    CaptureLogRecord m_reference_record;
    std::string m_folder;
    std::string m_settings_path;
    std::string m_log_path;
    std::string m_experiment_full_name;
    std::string m_cartridge_id;
    std::vector<CaptureLogRecord> m_records;
    std::vector<CaptureLogRecord> m_selected_run;
    double m_rotation = 0.0;
    double m_rotation_center_x = 0.0;
    double m_rotation_center_y = 0.0;
    double m_pixels_per_mm = 0.0;
    double m_mean_brightfield_exposure = 0.0;
    double m_mean_fluorescence1_exposure = 0.0;
    double m_mean_fluorescence2_exposure = 0.0;
    int32_t m_lower_channel_end = 0;
    int32_t m_upper_channel = 0;
    int32_t m_channel_offset = 0;
    int32_t m_crop_bottom = 0;
    int32_t m_crop_top = 0;
    int32_t m_image_height = 2048;
    int32_t m_image_width = 2448;
};

// Full path of an experiment image: in the folder's Images sub-folder when that exists, else in the
// folder itself.
void MakeExperimentImagePath(EString folder, EString file_name, EString &path);

// Local date ("year/month/day") and time ("h:m:s.ms") as the low 32 bits of milliseconds since the
// epoch. ok (when given) is false, and the result 0, for a text that does not have that form.
uint32_t ParseLogDateTime(const std::string &date, const std::string &time, bool *ok = nullptr);

// The runs of records whose brightfield positions increase by exactly 1 from one to the next.
std::vector<PositionRun> FindConsecutivePositionRuns(const std::vector<CaptureLogRecord> &records);
