#include "experiment/Montage.h"

#include "Ostravo/LogError.h"
#include "app/AnalysisLock.h"
#include "experiment/ImageUtilities.h"
#include "experiment/MeniscusFrames.h"
#include "experiment/SampleFlowVideo.h"
#include "platform/Files.h"

#include <opencv2/core/utility.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace {

constexpr const char *kComposePrefix = "Function Create Montage: ";
constexpr int kOverlap = 100;

// The three channel images of one record, 16-bit, cut to the channel rows and a column range.
struct Channels
{
    cv::Mat brightfield, fluorescence1, fluorescence2;
};

class MontageLoader
{
  public:
    MontageLoader(const std::string &folder, const ExperimentData &experiment,
                  const ColorFrameContrast &contrast)
        : m_folder(folder), m_e(experiment), m_contrast(contrast)
    {
    }

    cv::Mat Load(const ChannelImage &slot, double factor, int first_col, int end_col) const
    {
        EString path;
        MakeExperimentImagePath(EString(m_folder.c_str()), EString(slot.file_name.c_str()), path);
        std::string why;
        cv::Mat image = m_utilities.LoadRotateCropScaleImage(
            path.c_str(), first_col, end_col, m_e.m_crop_top, m_e.m_crop_bottom, m_e.m_channel_offset,
            m_e.m_rotation, static_cast<int>(m_e.m_rotation_center_x),
            static_cast<int>(m_e.m_rotation_center_y), factor, &why);
        if (image.empty())
            throw std::runtime_error(why.empty() ? std::string("cannot load ") + path.c_str() : why);
        return image;
    }

    cv::Mat Reference(int first_col, int end_col) const
    {
        const CaptureLogRecord &r = m_e.m_reference_record;
        return Load(r.images.brightfield, m_e.m_mean_brightfield_exposure / r.brightfield_exposure_us,
                    first_col, end_col);
    }

    Channels Record(const CaptureLogRecord &r, int first_col, int end_col) const
    {
        Channels c;
        c.brightfield = Load(r.images.brightfield,
                             m_e.m_mean_brightfield_exposure / r.brightfield_exposure_us, first_col, end_col);
        if (m_contrast.include_fl1)
            c.fluorescence1 =
                Load(r.images.fluorescence1, m_e.m_mean_fluorescence1_exposure / r.fluorescence1_exposure_us,
                     first_col, end_col);
        if (m_contrast.include_fl2)
            c.fluorescence2 =
                Load(r.images.fluorescence2, m_e.m_mean_fluorescence2_exposure / r.fluorescence2_exposure_us,
                     first_col, end_col);
        return c;
    }

    void Normalize(Channels &c, const std::vector<double> &fit) const
    {
        c.brightfield = m_utilities.NormalizeColumnsByProfile(fit, c.brightfield);
        if (m_contrast.include_fl1)
            c.fluorescence1 = m_utilities.NormalizeColumnsByProfile(fit, c.fluorescence1);
        if (m_contrast.include_fl2)
            c.fluorescence2 = m_utilities.NormalizeColumnsByProfile(fit, c.fluorescence2);
    }

    cv::Mat Compose(const Channels &c, const std::string &what) const
    {
        cv::Mat frame;
        if (!ComposeColorFrame(m_contrast, c.brightfield, c.fluorescence1, c.fluorescence2, frame))
            throw std::runtime_error("the colour frame of " + what + " could not be made");
        return frame;
    }

    // The fitted column profile of the reference image in columns [first_col, end_col); sets the
    // normalisation's scale to its greatest value.
    std::vector<double> FitProfile(int first_col, int end_col)
    {
        const std::vector<double> p = m_utilities.ComputeColumnProfile(Reference(first_col, end_col));
        std::vector<double> x(p.size());
        for (size_t i = 0; i < x.size(); ++i)
            x[i] = static_cast<double>(i);
        std::vector<double> fit = m_utilities.FitQuadraticProfile(p, x);
        if (fit.empty())
            throw std::runtime_error("the reference image has no column profile");
        m_utilities.m_scale = *std::max_element(fit.begin(), fit.end());
        return fit;
    }

  private:
    std::string m_folder;
    const ExperimentData &m_e;
    ColorFrameContrast m_contrast;
    ImageUtilities m_utilities;
};

void CutColumns(Channels &c, int end_col)
{
    for (cv::Mat *image : {&c.brightfield, &c.fluorescence1, &c.fluorescence2})
        if (!image->empty())
            *image = image->colRange(0, std::min(end_col, image->cols));
}

// Encodes image as PNG in memory; the file is written whole by PublishPng.
bool EncodePng(const std::string &path, const cv::Mat &image, std::vector<uchar> &bytes, std::string &error)
{
    bool encoded = false;
    try {
        encoded = cv::imencode(".png", image, bytes);
    } catch (const cv::Exception &e) {
        error = std::string(kComposePrefix) + "cannot write " + path + ": " + e.what();
        return false;
    }
    if (!encoded || bytes.empty()) {
        error = std::string(kComposePrefix) + "cannot write " + path + ".";
        return false;
    }
    return true;
}

// Replaces path whole: a failed or interrupted write leaves the earlier file as it was and no
// half-written file under any name a listing of "*.png" would see.
bool PublishPng(const std::string &path, const std::vector<uchar> &bytes, std::string &error)
{
    std::string why;
    if (!platform::AtomicReplace(path, bytes, &why)) {
        error = std::string(kComposePrefix) + "cannot write " + path + ": " + why;
        return false;
    }
    return true;
}

bool CreateMontageImageLocked(const std::string &folder, bool include_fl1, bool include_fl2,
                              const std::string &output_name, std::string &error)
{
    bool made = false;
    try {
        ExperimentData e;
        std::string reason;
        if (!e.Open(folder, &reason)) {
            error = reason;
        } else if (e.ReadCaptureLog(e.m_log_path, &reason)) {
            e.CheckChannelPositions(include_fl1, include_fl2);
            if (e.ComputeAutoContrast(_experiment_contrast)) {
                _experiment_contrast.include_fl1 = include_fl1;
                _experiment_contrast.include_fl2 = include_fl2;
                made = e.ReadSettings(e.m_settings_path, error) &&
                       e.LoadOrDetectChannelPosition(folder, e.m_settings_path, error) &&
                       FindLeadMeniscusByTemplate(folder, e, error) &&
                       FindTrailMeniscusByTemplate(folder, e, error) && ComputeSplitLine(e, error) &&
                       ComputeFrameDisplacement(e, error) &&
                       ComposeMontage(folder, e, _experiment_contrast, output_name, error);
            } else {
                LogError(__FILE__, __LINE__,
                         "CreateMontageImage() - no contrast for the experiment " + folder);
            }
        } else {
            // The caller's error text stays as it was; the reason goes to the error log.
            LogError(__FILE__, __LINE__, "CreateMontageImage() - " + reason);
        }
    } catch (const cv::Exception &e) {
        error = std::string("Create Montage: ") + e.what();
        made = false;
    }
    ResetSampleFlowResults();
    return made;
}

} // namespace

MontageStrip::MontageStrip(int rows, int columns, int overlap)
    : m_image(std::max(rows, 0), std::max(columns, 0), CV_8UC3, cv::Scalar::all(0)), m_overlap(overlap)
{
}

bool MontageStrip::Start(const cv::Mat &piece)
{
    if (piece.type() != CV_8UC3 || piece.rows != m_image.rows || piece.cols > m_image.cols)
        return false;
    cv::Mat target = m_image.colRange(0, piece.cols);
    piece.copyTo(target);
    m_used = piece.cols;
    m_started = true;
    return true;
}

bool MontageStrip::Append(const cv::Mat &piece)
{
    const int n = m_overlap;
    if (!m_started || piece.type() != CV_8UC3 || piece.rows != m_image.rows || n < 0 || piece.cols < n ||
        m_used < n || m_used - n + piece.cols > m_image.cols)
        return false;
    // The same weights as the image utilities' strip joining: the strip fades out over the overlap
    // while the piece fades in.
    const int start = m_used - n;
    for (int r = 0; r < m_image.rows; ++r) {
        cv::Vec3b *out = m_image.ptr<cv::Vec3b>(r) + start;
        const cv::Vec3b *in = piece.ptr<cv::Vec3b>(r);
        for (int k = 0; k < n; ++k) {
            const float wl = 1.0f - static_cast<float>(k) / static_cast<float>(n);
            const float wr = 1.0f - wl;
            for (int ch = 0; ch < 3; ++ch) {
                const int v =
                    static_cast<int>(static_cast<float>(static_cast<int>(out[k][ch] * wl)) + in[k][ch] * wr);
                out[k][ch] = cv::saturate_cast<uint8_t>(v);
            }
        }
    }
    if (piece.cols > n) {
        cv::Mat target = m_image.colRange(m_used, m_used + piece.cols - n);
        piece.colRange(n, piece.cols).copyTo(target);
    }
    m_used += piece.cols - n;
    return true;
}

bool ComposeMontage(std::string folder, ExperimentData experiment, ColorFrameContrast contrast,
                    std::string output_name, std::string &error)
{
    try {
        const std::vector<CaptureLogRecord> &run = experiment.m_selected_run;
        const int W = experiment.m_image_width;
        const int s = static_cast<int>(_flow_analysis.shift_px_per_frame);
        const int m = kOverlap;
        const int lead = static_cast<int>(_lead_meniscus.frame_index);
        const int trail = static_cast<int>(_trail_meniscus.frame_index);
        if (run.empty() || lead < 0 || lead >= static_cast<int>(run.size()) || trail < 0 ||
            trail >= static_cast<int>(run.size()))
            throw std::runtime_error("the meniscus frames " + std::to_string(lead) + " and " +
                                     std::to_string(trail) + " do not lie in the run of " +
                                     std::to_string(run.size()) + " frames");
        if (s < 0)
            throw std::runtime_error("the sample moves " + std::to_string(s) +
                                     " columns per frame; the image calibration is missing or wrong");
        const bool leadFound = std::find(_lead_meniscus.matched.begin(), _lead_meniscus.matched.end(),
                                         true) != _lead_meniscus.matched.end();
        MontageLoader loader(folder, experiment, contrast);
        const CaptureLogRecord &L = run[static_cast<size_t>(lead)];

        Channels first;
        std::vector<double> fit;
        if (!leadFound) {
            fit = loader.FitProfile(0, W);
            first = loader.Record(L, 0, W);
            loader.Normalize(first, fit);
            CutColumns(first, W - s);
            const size_t from =
                fit.size() >= static_cast<size_t>(s + m) ? fit.size() - static_cast<size_t>(s + m) : 0;
            fit.erase(fit.begin(), fit.begin() + static_cast<std::ptrdiff_t>(from));
        } else {
            // The lead frame is read beside the reference image that the profile is fitted to.
            std::exception_ptr failure;
            std::thread reader([&] {
                try {
                    first = loader.Record(L, 0, W - s);
                } catch (...) {
                    failure = std::current_exception();
                }
            });
            try {
                fit = loader.FitProfile(W - s - m, W);
            } catch (...) {
                reader.join();
                throw;
            }
            reader.join();
            if (failure)
                std::rethrow_exception(failure);
        }
        const cv::Mat firstFrame = loader.Compose(first, "the lead meniscus frame");

        // The trail piece's first column, as the loader takes it.
        int trailFrom = W;
        if (_trail_meniscus.found) {
            const double d =
                s <= _trail_meniscus.distance_to_right_edge ? _trail_meniscus.distance_to_right_edge : s;
            trailFrom = static_cast<int>(W - d - m);
        }
        const int loopFrames = std::max(0, trail - lead);
        const int columns =
            firstFrame.cols + loopFrames * s + (_trail_meniscus.found ? W - trailFrom - m : 0);
        MontageStrip strip(firstFrame.rows, std::max(columns, firstFrame.cols), m);
        if (!strip.Start(firstFrame))
            throw std::runtime_error("the lead meniscus frame does not start the strip");
        // The pieces are made a batch at a time on every core the process may use (each decodes a
        // whole frame, so a batch bounds the frames in flight) and joined in run order.
        const int batch = std::max(2, 2 * cv::getNumThreads());
        std::vector<cv::Mat> pieces;
        std::vector<std::string> failures;
        for (int from = lead; from < trail; from += batch) {
            const int count = std::min(batch, trail - from);
            pieces.assign(static_cast<size_t>(count), cv::Mat());
            failures.assign(static_cast<size_t>(count), std::string());
            cv::parallel_for_(
                cv::Range(0, count),
                [&](const cv::Range &range) {
                    for (int j = range.start; j < range.end; ++j) {
                        const int i = from + j;
                        try {
                            Channels c = loader.Record(run[static_cast<size_t>(i)], W - s - m, W);
                            loader.Normalize(c, fit);
                            pieces[static_cast<size_t>(j)] = loader.Compose(c, "record " + std::to_string(i));
                        } catch (const std::exception &e) {
                            failures[static_cast<size_t>(j)] = e.what();
                        }
                    }
                },
                count);
            for (int j = 0; j < count; ++j) {
                const int i = from + j;
                if (!failures[static_cast<size_t>(j)].empty())
                    throw std::runtime_error(failures[static_cast<size_t>(j)]);
                if (!strip.Append(pieces[static_cast<size_t>(j)]))
                    throw std::runtime_error("the frame of record " + std::to_string(i) +
                                             " does not join the strip");
            }
        }
        if (_trail_meniscus.found) {
            const Channels c = loader.Record(run[static_cast<size_t>(trail)], trailFrom, W);
            if (!strip.Append(loader.Compose(c, "the trail meniscus frame")))
                throw std::runtime_error("the trail meniscus frame does not join the strip");
        }
        cv::Mat image = strip.Image();
        DrawSplitLine(image, _flow_analysis.split_row);

        const auto [fullPath, smallPath] = MontageFilePaths(folder, output_name);
        cv::Mat small;
        cv::resize(image, small, cv::Size(image.cols / 4, image.rows / 4), 0, 0, cv::INTER_LINEAR);
        // The two images are encoded side by side; the full image's error is the one reported. The
        // small file is written only after the full one, so a failed run leaves no small image
        // beside an earlier (or missing) full one.
        std::string smallError;
        std::vector<uchar> smallBytes, bytes;
        bool smallEncoded = false;
        std::thread smallEncoder([&] { smallEncoded = EncodePng(smallPath, small, smallBytes, smallError); });
        const bool encoded = EncodePng(fullPath, image, bytes, error);
        smallEncoder.join();
        if (!encoded)
            return false;
        if (!smallEncoded) {
            error = smallError;
            return false;
        }
        if (!PublishPng(fullPath, bytes, error) || !PublishPng(smallPath, smallBytes, error))
            return false;
    } catch (const std::exception &e) {
        error = std::string(kComposePrefix) + e.what();
        return false;
    }
    return true;
}

std::pair<std::string, std::string> MontageFilePaths(const std::string &folder,
                                                     const std::string &output_name)
{
    const std::string base = platform::NormalizePath(folder + "/" + output_name);
    return {base + ".png", base + ".small.png"};
}

bool CreateMontageImage(const std::string &folder, bool include_fluorescence1, bool include_fluorescence2,
                        const std::string &output_name, std::string &error)
{
    std::lock_guard<std::mutex> lock(ExclusiveAnalysisMutex());
    return CreateMontageImageLocked(folder, include_fluorescence1, include_fluorescence2, output_name, error);
}

bool TryCreateMontageImage(const std::string &folder, bool include_fluorescence1, bool include_fluorescence2,
                           const std::string &output_name, std::string &error, bool &busy)
{
    std::unique_lock<std::mutex> lock(ExclusiveAnalysisMutex(), std::try_to_lock);
    busy = !lock.owns_lock();
    if (busy)
        return false;
    return CreateMontageImageLocked(folder, include_fluorescence1, include_fluorescence2, output_name, error);
}
