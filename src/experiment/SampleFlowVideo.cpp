#include "experiment/SampleFlowVideo.h"

#include "Ostravo/LogError.h"
#include "app/AnalysisLock.h"
#include "experiment/ImageUtilities.h"
#include "experiment/MeniscusFrames.h"
#include "platform/Files.h"

#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <algorithm>
#include <cmath>
#include <mutex>

namespace {

// The level of every 16-bit sample, before clamping.
std::vector<int> LevelTable(uint16_t low, uint16_t high, uint8_t out_max)
{
    double lo = low, hi = high;
    if (!(hi > lo)) {
        lo = 0.0;
        hi = 65535.0;
    }
    std::vector<int> table(65536);
    for (int v = 0; v < 65536; ++v) {
        const double level = (v - lo) * out_max / (hi - lo) + 0.5;
        table[static_cast<size_t>(v)] = static_cast<int>(std::clamp(level, -1.0e6, 1.0e6));
    }
    return table;
}

cv::Mat As16Bit(const cv::Mat &image)
{
    if (image.type() == CV_16UC1)
        return image;
    cv::Mat grey = image, out;
    if (image.channels() == 3)
        cv::cvtColor(image, grey, cv::COLOR_BGR2GRAY);
    grey.convertTo(out, CV_16U);
    return out;
}

bool AddChannel(cv::Mat &frame, const cv::Mat &image, int channel, uint16_t low, uint16_t high,
                uint8_t out_max)
{
    if (image.empty() || image.size() != frame.size())
        return false;
    const cv::Mat samples = As16Bit(image);
    const std::vector<int> table = LevelTable(low, high, out_max);
    for (int r = 0; r < frame.rows; ++r) {
        const uint16_t *in = samples.ptr<uint16_t>(r);
        cv::Vec3b *out = frame.ptr<cv::Vec3b>(r);
        for (int c = 0; c < frame.cols; ++c)
            out[c][channel] = cv::saturate_cast<uint8_t>(out[c][channel] + table[in[c]]);
    }
    return true;
}

std::string FullImagePath(const std::string &folder, const std::string &name)
{
    EString path;
    MakeExperimentImagePath(EString(folder.c_str()), EString(name.c_str()), path);
    return path.c_str();
}

// The image files of one frame, for a message.
std::string FrameImageNames(const ChannelImageSet &set)
{
    std::string names = set.brightfield.file_name;
    for (const ChannelImage *slot : {&set.fluorescence1, &set.fluorescence2})
        if (!slot->file_name.empty())
            names += ", " + slot->file_name;
    return names;
}

bool CreateSampleFlowVideoLocked(const std::string &folder, bool include_fl1, bool include_fl2,
                                 const std::string &output_name, std::string &error)
{
    cv::VideoWriter writer;
    try {
        ExperimentData experiment;
        std::string reason;
        if (!experiment.Open(folder, &reason)) {
            error = reason;
            return false;
        }
        if (!experiment.ReadCaptureLog(experiment.m_log_path, &reason)) {
            LogError(__FILE__, __LINE__, "CreateSampleFlowVideo() - " + reason);
            return false;
        }
        experiment.CheckChannelPositions(include_fl1, include_fl2);
        if (!experiment.ComputeAutoContrast(_experiment_contrast)) {
            LogError(__FILE__, __LINE__,
                     "CreateSampleFlowVideo() - no contrast for the experiment " + folder);
            return false;
        }
        _experiment_contrast.include_fl1 = include_fl1;
        _experiment_contrast.include_fl2 = include_fl2;
        if (!experiment.ReadSettings(experiment.m_settings_path, error) ||
            !experiment.LoadOrDetectChannelPosition(folder, experiment.m_settings_path, error) ||
            !ComputeSplitLine(experiment, error))
            return false;

        std::vector<ChannelImageSet> frames;
        if (!SelectVideoFrames(experiment, frames)) {
            error = "error in getting images for video creation.";
            return false;
        }
        const std::string path = folder + "/" + output_name + ".avi";
        cv::Mat frame;
        if (!LoadVideoFrame(experiment, _experiment_contrast, frames[0], frame)) {
            error = "Error in performing auto-contrast.";
            return false;
        }
        DrawSplitLine(frame, _flow_analysis.split_row);
        // OpenCV's own MJPEG encoder writes colour frames as grey garbage: the FFmpeg back end
        // encodes them properly.
        if (!writer.open(path, cv::CAP_FFMPEG, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 5.0, frame.size(),
                         true)) {
            error = "Can't open VideoWriter object.";
            return false;
        }
        writer.write(frame);
        for (size_t i = 1; i < frames.size(); ++i) {
            if (!LoadVideoFrame(experiment, _experiment_contrast, frames[i], frame)) {
                // Kept out of the video, but traceable: the video then has fewer frames than the run.
                LogError(__FILE__, __LINE__,
                         "CreateSampleFlowVideo() - frame " + std::to_string(i + 1) + " of " +
                             std::to_string(frames.size()) +
                             " skipped, its images cannot be read: " + FrameImageNames(frames[i]));
                continue;
            }
            DrawSplitLine(frame, _flow_analysis.split_row);
            writer.write(frame);
        }
        writer.release();
        if (platform::FileSize(path) <= 0) {
            error = "Create Video: the video " + path + " was not written.";
            return false;
        }
    } catch (const cv::Exception &e) {
        writer.release();
        error = std::string("Create Video: ") + e.what();
        return false;
    }
    return true;
}

} // namespace

int ContrastLevel(double value, uint16_t low, uint16_t high, uint8_t out_max)
{
    double lo = low, hi = high;
    if (!(hi > lo)) {
        lo = 0.0;
        hi = 65535.0;
    }
    const double level = (value - lo) * out_max / (hi - lo) + 0.5;
    return std::clamp(static_cast<int>(std::clamp(level, -1.0e6, 1.0e6)), 0, 255);
}

bool ComposeColorFrame(ColorFrameContrast contrast, cv::Mat brightfield, cv::Mat fluorescence1,
                       cv::Mat fluorescence2, cv::Mat &frame)
{
    try {
        if (brightfield.empty() || brightfield.cols < 1)
            return false;
        const cv::Mat samples = As16Bit(brightfield);
        const std::vector<int> table = LevelTable(contrast.bf_low, contrast.bf_high, contrast.bf_out_max);
        cv::Mat out(samples.size(), CV_8UC3);
        for (int r = 0; r < out.rows; ++r) {
            const uint16_t *in = samples.ptr<uint16_t>(r);
            cv::Vec3b *px = out.ptr<cv::Vec3b>(r);
            for (int c = 0; c < out.cols; ++c) {
                const uint8_t level = cv::saturate_cast<uint8_t>(table[in[c]]);
                px[c] = cv::Vec3b(level, level, level);
            }
        }
        if (contrast.include_fl1 &&
            !AddChannel(out, fluorescence1, 1, contrast.fl1_low, contrast.fl1_high, contrast.fl1_out_max))
            return false;
        if (contrast.include_fl2 &&
            !AddChannel(out, fluorescence2, 2, contrast.fl2_low, contrast.fl2_high, contrast.fl2_out_max))
            return false;
        frame = out;
    } catch (const cv::Exception &) {
        return false;
    }
    return true;
}

bool SelectVideoFrames(const ExperimentData &experiment, std::vector<ChannelImageSet> &frames)
{
    frames.clear();
    const std::vector<CaptureLogRecord> &records = experiment.m_records;
    const int n = static_cast<int>(records.size());
    if (n == 0 || experiment.m_selected_run.empty())
        return false;
    const std::string &first = experiment.m_selected_run.front().images.brightfield.file_name;
    int i = -1;
    for (int k = 0; k < n; ++k)
        if (records[static_cast<size_t>(k)].images.brightfield.file_name == first) {
            i = k;
            break;
        }
    if (i < 10 || i == n - 1)
        return false;
    std::vector<int> taken;
    const int count = std::min(i - 3, 100);
    for (int j = 3; j < count; ++j)
        taken.push_back(static_cast<int>(j * static_cast<double>(i - 4) / (count - 1) + 0.5));
    for (int k = i; k < n; ++k)
        taken.push_back(k);
    for (int index : taken) {
        const CaptureLogRecord &record = records[static_cast<size_t>(index)];
        ChannelImageSet set;
        auto fill = [&](const ChannelImage &from, ChannelImage &to, double exposure) {
            if (from.file_name.empty())
                return;
            to.file_name = FullImagePath(experiment.m_folder, from.file_name);
            to.exposure_us = exposure;
        };
        fill(record.images.brightfield, set.brightfield, record.brightfield_exposure_us);
        fill(record.images.fluorescence1, set.fluorescence1, record.fluorescence1_exposure_us);
        fill(record.images.fluorescence2, set.fluorescence2, record.fluorescence2_exposure_us);
        frames.push_back(set);
    }
    return true;
}

bool LoadVideoFrame(const ExperimentData &experiment, ColorFrameContrast contrast, ChannelImageSet set,
                    cv::Mat &frame)
{
    const ImageUtilities utilities;
    auto load = [&](const ChannelImage &slot, double mean_exposure) {
        return utilities.LoadRotateCropScaleImage(
            slot.file_name, 0, experiment.m_image_width, experiment.m_crop_top, experiment.m_crop_bottom,
            experiment.m_channel_offset, experiment.m_rotation,
            static_cast<int>(experiment.m_rotation_center_x),
            static_cast<int>(experiment.m_rotation_center_y), mean_exposure / slot.exposure_us);
    };
    if (set.brightfield.file_name.empty() || !platform::FileExists(set.brightfield.file_name))
        return false;
    const cv::Mat brightfield = load(set.brightfield, experiment.m_mean_brightfield_exposure);
    if (brightfield.empty() || brightfield.cols < 1)
        return false;
    cv::Mat fl1, fl2;
    if (contrast.include_fl1) {
        if (set.fluorescence1.file_name.empty() || !platform::FileExists(set.fluorescence1.file_name))
            return false;
        fl1 = load(set.fluorescence1, experiment.m_mean_fluorescence1_exposure);
        if (fl1.empty())
            return false;
    }
    if (contrast.include_fl2) {
        if (set.fluorescence2.file_name.empty() || !platform::FileExists(set.fluorescence2.file_name))
            return false;
        fl2 = load(set.fluorescence2, experiment.m_mean_fluorescence2_exposure);
        if (fl2.empty())
            return false;
    }
    return ComposeColorFrame(contrast, brightfield, fl1, fl2, frame);
}

void DrawSplitLine(cv::Mat &frame, double split_row)
{
    const int y = static_cast<int>(split_row);
    cv::line(frame, cv::Point(0, y), cv::Point(frame.cols, y), cv::Scalar(255, 0, 0), 3, cv::LINE_8, 0);
}

bool CreateSampleFlowVideo(const std::string &folder, bool include_fluorescence1, bool include_fluorescence2,
                           const std::string &output_name, std::string &error)
{
    std::lock_guard<std::mutex> lock(ExclusiveAnalysisMutex());
    return CreateSampleFlowVideoLocked(folder, include_fluorescence1, include_fluorescence2, output_name,
                                       error);
}
