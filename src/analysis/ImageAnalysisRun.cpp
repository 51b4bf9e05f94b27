#include "analysis/ImageAnalysisRun.h"

#include "Ostravo/ImageTypeNames.h"
#include "Ostravo/LogError.h"
#include "Ostravo/OpenUsingDefaultApp.h"
#include "Ostravo/Profile.h"
#include "analysis/BackgroundMap.h"
#include "analysis/CountingAlgo.h"
#include "analysis/ImageAnalysisJob.h"
#include "analysis/ImageLogFileData.h"
#include "analysis/IntensityProfile.h"
#include "app/PlexorinApp.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/ImageFile.h"
#include "platform/PathParts.h"
#include "platform/SystemInfo.h"
#include "platform/Ui.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <deque>
#include <exception>
#include <filesystem>
#include <limits>
#include <memory>
#include <opencv2/imgcodecs.hpp>
#include <sys/stat.h>
#include <system_error>
#include <thread>

namespace {

const char *const kTypeNames[3] = {"cir_1", "cir_2", "epi_1"};
constexpr int kTypeSlots = 10;
// Low-level files of one image name are numbered on up to this; past it the image gets none.
constexpr unsigned long kMaxLowLevelNumber = 99999;

template <class... Args> std::string Format(const char *format, Args... args)
{
    const int length = std::snprintf(nullptr, 0, format, args...);
    if (length <= 0)
        return std::string();
    std::string text(size_t(length) + 1, '\0');
    std::snprintf(text.data(), text.size(), format, args...);
    text.resize(size_t(length));
    return text;
}

std::string JoinPath(const std::string &folder, const std::string &name)
{
    EString path;
    path.JoinPath(folder.c_str(), name.c_str());
    return path.c_str();
}

// The file name of a path without folder and extension.
std::string NameWithoutExtension(const std::string &path)
{
    std::string name = platform::FileNameOf(path);
    // A leading dot belongs to the name.
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0)
        name.erase(dot);
    return name;
}

std::string TrimmedFolder(const EString &folder)
{
    EString trimmed(folder);
    trimmed.Trim();
    return platform::NormalizePath(trimmed.c_str());
}

// Creates path and writes text into it; an existing file is never replaced. The text goes whole
// to a temporary file that is renamed into place only when that name is still free, so a reader
// or a kill never sees a half-written result. errorNumber is EEXIST when the name is taken;
// writeFailed tells a file that could be made but not written whole.
bool WriteNewFile(const std::string &path, const std::string &text, int &errorNumber,
                  bool *writeFailed = nullptr)
{
    errorNumber = 0;
    std::string why;
    if (platform::AtomicCreate(path, text, &why))
        return true;
    errorNumber = errno != 0 ? errno : EIO;
    if (writeFailed)
        *writeFailed = errorNumber != EEXIST && why.find(") : cannot create") == std::string::npos &&
                       why.find(") : cannot open") == std::string::npos;
    return false;
}

// "Can't create ..." becomes "Can't write ..." for a file that was made but not written whole.
std::string WriteFailureFormat(const char *createFormat, bool writeFailed)
{
    std::string format = createFormat;
    if (writeFailed && format.rfind("Can't create ", 0) == 0)
        format.replace(0, 12, "Can't write");
    return format;
}

// Last write of the file as local calendar time; all fields 0 when it cannot be found.
ImageFileTime FileTimeOf(const std::string &path)
{
    ImageFileTime result;
    struct stat info;
    if (::stat(path.c_str(), &info) != 0)
        return result;
    std::tm local{};
    const time_t seconds = info.st_mtime;
    if (localtime_r(&seconds, &local) == nullptr)
        return result;
    result.year = local.tm_year + 1900;
    result.month = local.tm_mon + 1;
    result.day = local.tm_mday;
    result.hour = local.tm_hour;
    result.minute = local.tm_min;
    result.second = local.tm_sec;
    return result;
}

bool ClipRegion(const cv::Mat &image, int32_t &left, int32_t &top, int32_t &right, int32_t &bottom)
{
    if (image.empty() || image.type() != CV_16UC1)
        return false;
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, image.cols - 1);
    bottom = std::min(bottom, image.rows - 1);
    return true;
}

// ---- Worker threads ----

struct WorkerRegistry
{
    std::mutex mutex;
    std::condition_variable ended;
    int running = 0;
    std::atomic<bool> stopAll{false};
};

// Never destroyed: a worker may still end while the program's static objects go away.
WorkerRegistry &Workers()
{
    static WorkerRegistry *registry = new WorkerRegistry;
    return *registry;
}

bool StopRequested(ImageAnalysisRunParams &run)
{
    if (Workers().stopAll.load())
        return true;
    return run.owner != nullptr && run.owner->StopRequested();
}

// ---- Decoding ----

struct DecodedImage
{
    bool exists = false;
    bool readError = false;
    cv::Mat image;
};

DecodedImage Decode(const std::string &path)
{
    DecodedImage result;
    result.exists = platform::FileExists(path);
    if (!result.exists)
        return result;
    try {
        result.image = platform::ReadImageFile(path, cv::IMREAD_ANYDEPTH);
    } catch (const std::exception &) {
        result.readError = true;
        result.image.release();
    }
    return result;
}

// ---- Statistics ----

struct ListStatistics
{
    double mean = 0.0;
    double deviation = 0.0;
    double lpMean = 0.0;
    double lpDeviation = 0.0;
};

double SampleDeviation(double sum, double sumOfSquares, size_t n)
{
    if (n < 2)
        return 0.0;
    // Rounding can leave the difference a hair below 0 for equal values.
    const double variance = (sumOfSquares - sum * sum / double(n)) / double(n - 1);
    return variance > 0.0 ? std::sqrt(variance) : 0.0;
}

double RelativeHeight(int32_t y, int32_t lowerMagnet, int32_t upperMagnet)
{
    return double(int64_t(lowerMagnet) - y) / double(int64_t(lowerMagnet) - upperMagnet);
}

ListStatistics MeasureList(std::vector<CellDetection> &list, const ImageAnalysisRunParams &run)
{
    ListStatistics s;
    const size_t n = list.size();
    double sum = 0.0, sumOfSquares = 0.0, lpSum = 0.0, lpSumOfSquares = 0.0;
    for (CellDetection &d : list) {
        const double h = RelativeHeight(d.y, run.lower_magnet, run.upper_magnet);
        sum += h;
        sumOfSquares += h * h;
        if (run.lp_curve.valid) {
            d.lp_value = float(LPValueOfHeight(run.lp_curve, h));
            lpSum += d.lp_value;
            lpSumOfSquares += double(d.lp_value) * double(d.lp_value);
        }
    }
    if (n == 0)
        return s;
    s.mean = sum / double(n);
    s.deviation = SampleDeviation(sum, sumOfSquares, n);
    if (run.lp_curve.valid) {
        s.lpMean = lpSum / double(n);
        s.lpDeviation = SampleDeviation(lpSum, lpSumOfSquares, n);
    }
    return s;
}

// Removes every circular detection that overlaps an epi detection; epi detections stay.
void SuppressCircularUnderEpi(std::vector<CellDetection> lists[3])
{
    std::vector<bool> marked[2] = {std::vector<bool>(lists[0].size(), false),
                                   std::vector<bool>(lists[1].size(), false)};
    for (const CellDetection &e : lists[2]) {
        for (int t = 0; t < 2; ++t) {
            for (size_t i = 0; i < lists[t].size(); ++i) {
                const CellDetection &c = lists[t][i];
                const float dx = float(c.x - e.x), dy = float(c.y - e.y);
                if (c.radius + e.radius > std::sqrt(dx * dx + dy * dy))
                    marked[t][i] = true;
            }
        }
    }
    for (int t = 0; t < 2; ++t) {
        std::vector<CellDetection> kept;
        for (size_t i = 0; i < lists[t].size(); ++i)
            if (!marked[t][i])
                kept.push_back(lists[t][i]);
        lists[t].swap(kept);
    }
}

std::string TableHeader()
{
    std::string text = "image\tElapsedMin\tImageModifyTime\tframe_idx\t";
    for (const char *name : kTypeNames)
        text += Format("count[%s]\tmean[%s]\tstdev[%s]\tmean_LP[%s]\tstdev_LP[%s]\t", name, name, name, name,
                       name);
    text +=
        "MeanIntROI\tMedianIntROI\tPct10IntROI\tPump1SpeeULpMin\tPump2SpeedULpMin\tPump1VolUL\tPump2VolUL";
    return text;
}

// Reports a run failure the way the user and the error log see it.
void ReportFailure(const std::string &message, int32_t line)
{
    LogError(__FILE_NAME__, line, message);
    platform::ui::MessageBox(message, "Vantelis", platform::ui::MbOk | platform::ui::MbIconError);
}

void EndRun(ImageAnalysisRunParams &run, const std::string &failure)
{
    if (run.owner != nullptr) {
        run.owner->SetStatusText("");
        run.owner->EnableControls();
    }
    run.Finish(failure);
}

std::string ProjectionCell(const std::vector<int32_t> &projection, size_t k)
{
    // An image without a projection keeps its column, empty, so that the others stay aligned.
    return k < projection.size() ? Format("\t%ld", long(projection[k])) : std::string("\t");
}

const std::vector<int32_t> *FirstProjection(const std::vector<std::vector<int32_t>> &projections)
{
    for (const auto &p : projections)
        if (!p.empty())
            return &p;
    return nullptr;
}

// ---- Analysing frames ahead of the run ----

// What the run needs of every frame, read-only while frames are analysed.
struct FrameInputs
{
    const ImageAnalysisRunParams &run;
    const std::vector<cv::Mat> &backgrounds;
    const std::vector<EString> &backgroundTypes;
    bool circular = false;
    bool epi = false;
    int32_t left = 0, top = 0, right = 0, bottom = 0;
};

// One frame analysed: either the line that tells why it was skipped, or its measures.
struct FrameResult
{
    std::string skipped; // non-empty: the summary line for a frame that gives no row
    std::vector<int32_t> vertical, horizontal;
    double mean = 0.0;
    std::vector<double> levels = {0.0, 0.0};
    std::vector<std::vector<CellDetection>> lists = std::vector<std::vector<CellDetection>>(3);
    ListStatistics stats[3];
    ImageFileTime fileTime{};
};

// Everything of one frame that depends on that frame alone: decoding, projections, region
// statistics, counting and the statistics of the detections. The checks come in the order the
// summary reports them.
FrameResult AnalyseFrame(const FrameInputs &in, const std::string &name, const std::string &path,
                         CountingBuffers &countingBuffers)
{
    FrameResult result;
    DecodedImage decoded = Decode(path);
    if (!decoded.exists) {
        result.skipped = Format("Image does not exist\t%s", path.c_str());
        return result;
    }
    if (decoded.readError) {
        result.skipped = Format("Problem trying to load image: %s", path.c_str());
        return result;
    }
    // Every measure below reads 16-bit pixels.
    if (decoded.image.empty() || decoded.image.type() != CV_16UC1) {
        result.skipped = Format("Invalid image: %s", path.c_str());
        return result;
    }
    const cv::Mat &image = decoded.image;
    const int32_t left = in.left, top = in.top, right = in.right, bottom = in.bottom;
    if (left < 0 || top < 0 || right < left || bottom < top || right >= image.cols || bottom >= image.rows) {
        result.skipped =
            Format("ROI %ld, %ld, %ld, %ld is not inside the %ld x %ld image: %s", long(left), long(top),
                   long(right), long(bottom), long(image.cols), long(image.rows), path.c_str());
        return result;
    }

    const cv::Mat *background = nullptr;
    EString type;
    if (ImageTypeFromFileName(name.c_str(), type)) {
        for (size_t b = 0; b < in.backgrounds.size(); ++b)
            if (CompareText(in.backgroundTypes[b].c_str(), type.c_str(), 0, 0)) {
                background = &in.backgrounds[b];
                break;
            }
    }
    if (background != nullptr && background->size() != image.size()) {
        result.skipped = Format("Background image %s.bg.tif does not match the size of image: %s",
                                type.c_str(), path.c_str());
        return result;
    }

    const ImageAnalysisRunParams &R = in.run;
    RegionMeasures region;
    if (MeasureRegion(image, left, top, right, bottom, background, {0.5, 0.1}, region)) {
        result.vertical = std::move(region.vertical);
        result.horizontal = std::move(region.horizontal);
        result.mean = region.mean;
        result.levels = std::move(region.levels);
    }

    std::vector<std::vector<CellDetection>> &lists = result.lists;
    if (in.circular) {
        std::vector<std::vector<CellDetection>> found;
        if (!CountingAlgo(image, R.counting_options, found, nullptr, nullptr, &countingBuffers)) {
            result.skipped = Format("CountingAlgo() Error for image %s", path.c_str());
            return result;
        }
        for (size_t t = 0; t < 2 && t < found.size(); ++t)
            lists[t] = std::move(found[t]);
    }
    if (in.epi) {
        EString epiError;
        const cv::Mat *epiBackground = R.epi_params.use_bg_image ? background : nullptr;
        if (!EpiCellCountingAlgo(image, R.epi_params, lists[2], epiError, nullptr, epiBackground)) {
            result.skipped = epiError.c_str();
            return result;
        }
    }
    if (in.circular && in.epi && R.counting_options.proximity_between_types)
        SuppressCircularUnderEpi(lists.data());
    for (size_t t = 0; t < 3; ++t)
        result.stats[t] = MeasureList(lists[t], R);
    result.fileTime = FileTimeOf(path);
    return result;
}

// Analyses the frames of the list on threads of its own (one per usable processor, at most
// kMaxAnalysers and no more than there are frames), ahead of the caller but with at most kFramesAhead frames
// analysed and not yet taken, so that memory stays bounded however long the list. Frames are claimed in list
// order and the caller takes them in that order, so rows and files come out as in a run that analyses each
// frame in turn; each frame's result depends on that frame alone.
class FrameAnalysis
{
  public:
    FrameAnalysis(const FrameInputs &inputs, const std::vector<std::string> &names,
                  const std::vector<std::string> &paths)
        : m_inputs(inputs), m_names(names), m_paths(paths), m_results(paths.size()),
          m_ready(paths.size(), false)
    {
        const unsigned processors = platform::UsableProcessorCount();
        const size_t analysers = std::min<size_t>({processors, kMaxAnalysers, m_paths.size()});
        for (size_t i = 0; i < analysers; ++i) {
            try {
                m_threads.emplace_back([this] { Run(); });
            } catch (const std::system_error &) {
                break; // fewer threads; with none the caller analyses each frame itself
            }
        }
    }
    ~FrameAnalysis()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_changed.notify_all();
        for (std::thread &thread : m_threads)
            thread.join();
    }
    FrameAnalysis(const FrameAnalysis &) = delete;
    FrameAnalysis &operator=(const FrameAnalysis &) = delete;

    // The next frame of the list, in list order.
    FrameResult Take()
    {
        if (m_threads.empty()) {
            const size_t index = m_taken++;
            return AnalyseFrame(m_inputs, m_names[index], m_paths[index], m_ownBuffers);
        }
        FrameResult next;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_changed.wait(lock, [this] { return bool(m_ready[m_taken]); });
            next = std::move(m_results[m_taken]);
            ++m_taken;
        }
        m_changed.notify_all(); // room for one more frame ahead
        return next;
    }

  private:
    static constexpr unsigned kMaxAnalysers = 4;
    static constexpr size_t kFramesAhead = 8;

    void Run()
    {
        CountingBuffers buffers; // reused from frame to frame on this thread
        for (;;) {
            size_t index = 0;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_changed.wait(lock, [this] {
                    return m_stop || m_claimed == m_paths.size() || m_claimed < m_taken + kFramesAhead;
                });
                if (m_stop || m_claimed == m_paths.size())
                    return;
                index = m_claimed++;
            }
            FrameResult result = AnalyseFrame(m_inputs, m_names[index], m_paths[index], buffers);
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_results[index] = std::move(result);
                m_ready[index] = true;
            }
            m_changed.notify_all();
        }
    }

    const FrameInputs &m_inputs;
    const std::vector<std::string> &m_names;
    const std::vector<std::string> &m_paths;
    CountingBuffers m_ownBuffers; // the caller's, when no thread could be started
    std::vector<std::thread> m_threads;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<FrameResult> m_results; // by list position
    std::vector<bool> m_ready;          // m_results holds that position's frame
    size_t m_claimed = 0;               // positions handed to an analyser
    size_t m_taken = 0;                 // positions handed to the caller
    bool m_stop = false;
};

} // namespace

// ---- The run record ----

ImageAnalysisProgramInfo ApplicationProgramInfo()
{
    return {theApp.m_ini_path, theApp.m_product_name, theApp.m_version};
}

std::string ImageAnalysisRunParams::Status() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_status;
}

void ImageAnalysisRunParams::SetStatus(const std::string &text)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_status = text;
}

ImageAnalysisResultFiles ImageAnalysisRunParams::ResultFiles() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_files;
}

void ImageAnalysisRunParams::SetResultFile(std::string ImageAnalysisResultFiles::*which,
                                           const std::string &path)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_files.*which = path;
}

void ImageAnalysisRunParams::Finish(const std::string &failure)
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_status = failure.empty() ? std::string("Finished") : "Failed: " + failure;
    }
    m_failed.store(!failure.empty());
    // The last touch of the record: an owner that sees the flag may delete the record at once, so
    // not even the lock may be released after it.
    m_finished.store(true);
}

// ---- Statistics of a region ----

double RoiMeanIntensity(const cv::Mat &image, int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    if (!ClipRegion(image, left, top, right, bottom) || right < left || bottom < top)
        return std::numeric_limits<double>::quiet_NaN();
    uint64_t sum = 0;
    for (int32_t y = top; y <= bottom; ++y) {
        const uint16_t *row = image.ptr<uint16_t>(y);
        for (int32_t x = left; x <= right; ++x)
            sum += row[x];
    }
    const uint64_t n = uint64_t(right - left + 1) * uint64_t(bottom - top + 1);
    return double(sum) / double(n);
}

namespace {

// The grey levels at which the cumulative histogram of n pixels reaches round(n x fraction), per
// fraction; unplaced ones keep theirs. True when every fraction was placed.
bool LevelsOfHistogram(const std::vector<uint32_t> &histogram, uint64_t n,
                       const std::vector<double> &fractions, std::vector<double> &results)
{
    std::vector<int64_t> thresholds(fractions.size());
    for (size_t k = 0; k < fractions.size(); ++k)
        thresholds[k] = int64_t(std::llround(double(n) * fractions[k]));
    std::vector<bool> placed(fractions.size(), false);
    size_t remaining = fractions.size();
    int64_t running = 0;
    for (int level = 0; level < 65536 && remaining > 0; ++level) {
        running += histogram[size_t(level)];
        for (size_t k = 0; k < fractions.size(); ++k) {
            if (!placed[k] && running >= thresholds[k]) {
                results[k] = level;
                placed[k] = true;
                --remaining;
            }
        }
    }
    return remaining == 0;
}

} // namespace

bool RoiPercentiles(const cv::Mat &image, int32_t left, int32_t top, int32_t right, int32_t bottom,
                    const std::vector<double> &fractions, std::vector<double> &results)
{
    if (results.size() < fractions.size())
        results.resize(fractions.size(), 0.0);
    if (!ClipRegion(image, left, top, right, bottom))
        return false;
    std::vector<uint32_t> histogram(65536, 0);
    uint64_t n = 0;
    for (int32_t y = top; y <= bottom; ++y) {
        const uint16_t *row = image.ptr<uint16_t>(y);
        for (int32_t x = left; x <= right; ++x)
            ++histogram[row[x]];
    }
    if (right >= left && bottom >= top)
        n = uint64_t(right - left + 1) * uint64_t(bottom - top + 1);
    return LevelsOfHistogram(histogram, n, fractions, results);
}

bool MeasureRegion(const cv::Mat &image, int32_t left, int32_t top, int32_t right, int32_t bottom,
                   const cv::Mat *background, const std::vector<double> &fractions, RegionMeasures &measures)
{
    if (image.empty() || image.type() != CV_16UC1 || left < 0 || top < 0 || right < left || bottom < top ||
        right >= image.cols || bottom >= image.rows)
        return false;
    if (background != nullptr && (background->type() != CV_16UC1 || background->size() != image.size()))
        return false;
    const int32_t width = right - left + 1;
    const int32_t height = bottom - top + 1;
    std::vector<int64_t> columnSums(size_t(width), 0);
    std::vector<uint32_t> histogram(65536, 0);
    measures.vertical.assign(size_t(height), 0);
    uint64_t sum = 0;
    for (int32_t y = top; y <= bottom; ++y) {
        const uint16_t *row = image.ptr<uint16_t>(y) + left;
        int64_t rowSum = 0;
        uint64_t rawSum = 0;
        if (background != nullptr) {
            const uint16_t *bg = background->ptr<uint16_t>(y) + left;
            for (int32_t i = 0; i < width; ++i) {
                const int64_t v = int64_t(row[i]) - int64_t(bg[i]);
                rowSum += v;
                columnSums[size_t(i)] += v;
                rawSum += row[i];
                ++histogram[row[i]];
            }
        } else {
            for (int32_t i = 0; i < width; ++i) {
                rawSum += row[i];
                columnSums[size_t(i)] += row[i];
                ++histogram[row[i]];
            }
            rowSum = int64_t(rawSum);
        }
        measures.vertical[size_t(y - top)] = int32_t(rowSum / width);
        sum += rawSum;
    }
    measures.horizontal.resize(size_t(width));
    for (size_t i = 0; i < columnSums.size(); ++i)
        measures.horizontal[i] = int32_t(columnSums[i] / height);
    const uint64_t n = uint64_t(width) * uint64_t(height);
    measures.mean = double(sum) / double(n);
    measures.levels.assign(fractions.size(), 0.0);
    LevelsOfHistogram(histogram, n, fractions, measures.levels);
    return true;
}

double LPValueOfHeight(const LPCurveParams &c, double height)
{
    const double y = height * c.mag_gap;
    const double P = c.square * y * y + c.cubic * y * y * y + c.linear * y + c.constant;
    const double K = 3.0 * c.munot * (c.ChiGd + 1.0) * (c.ChiPar - c.ChiGd);
    const double D = (2.0 * c.ChiGd + c.ChiPar + 3.0) * (2.0 * c.g);
    return (P * K / D + c.rhof) / 10.0;
}

// ---- The low-level counting file ----

namespace {

// The low-level counting file, headed by the program's name and version.
bool WriteLowLevelFile(const ImageAnalysisProgramInfo &program, const std::string &runFolder,
                       const std::string &imagePath, const ImageFileTime &t,
                       const std::vector<double> &meanHeights, const std::vector<double> &heightDeviations,
                       const std::vector<std::string> &typeNames,
                       const std::vector<std::vector<CellDetection>> &detections, int32_t lowerMagnet,
                       int32_t upperMagnet, const LPCurveParams &curve, double pixelsPerMm,
                       std::string *writtenPath, EString *error)
{
    std::string text = "# **** Low level counting data ****\r\n";
    text += Format("%s\tVersion\t%s\r\n", program.product_name.c_str(), program.version.c_str());
    text += Format("# ComputerName=%s\r\n", platform::ComputerName().c_str());
    text += Format("#image_file=%s\r\n", imagePath.c_str());
    text += Format("#image_timestamp=%d%02d%02d-%02d%02d-%02d\r\n", t.year, t.month, t.day, t.hour, t.minute,
                   t.second);
    if (curve.valid) {
        char number[16];
        auto value = [&](const char *key, double v) {
            text += Format("# %s=%s\r\n", key, FormatDouble(v, number));
        };
        text += "# **** LP Curve Params ****\r\n";
        value("Gd_conc", curve.Gd_conc);
        value("ChiGd_factor", curve.ChiGd_factor);
        value("rhobuffer", curve.rhobuffer);
        value("rohf", curve.rhof);
        value("ChiGd", curve.ChiGd);
        value("munot", curve.munot);
        value("g", curve.g);
        value("cubic", curve.cubic);
        value("square", curve.square);
        value("linear", curve.linear);
        value("constant", curve.constant);
        value("mag_gap", curve.mag_gap);
        text += "# top magnet dim is 50x5x2 mm\r\n";
        text += "# bottom magnet dim is 50x15x2 mm\r\n";
        text += "# remanent magnetization is 1.45 T\r\n";
        text += "# ****************\r\n";
    }
    for (int slot = 0; slot < kTypeSlots; ++slot) {
        const size_t s = size_t(slot);
        const char *name = s < typeNames.size() ? typeNames[s].c_str() : "not_used";
        const size_t count = s < detections.size() ? detections[s].size() : 0;
        const double mean = count > 0 && s < meanHeights.size() ? meanHeights[s] : 0.0;
        const double deviation =
            s < heightDeviations.size() && s < detections.size() ? heightDeviations[s] : 0.0;
        text += Format("#particle_count[%s]=%ld\r\n", name, long(count));
        text += Format("#particle_height_mean[%s]=%5.3lf\r\n", name, mean);
        text += Format("#particle_height_stdev[%s]=%6.4lf\r\n", name, deviation);
    }
    text += curve.valid ? "type_name\tidx\tix\tiy\theight\tradius(um)\tLP\r\n"
                        : "type_name\tidx\tix\tiy\theight\tradius(um)\r\n";
    for (size_t list = 0; list < detections.size(); ++list) {
        const char *name = list < typeNames.size() ? typeNames[list].c_str() : "not_used";
        for (size_t i = 0; i < detections[list].size(); ++i) {
            const CellDetection &d = detections[list][i];
            text += Format("%s\t%ld\t%ld\t%ld\t%5.3lf\t%3.1f", name, long(i), long(d.x), long(d.y),
                           RelativeHeight(d.y, lowerMagnet, upperMagnet),
                           double(d.radius) / pixelsPerMm * 1000.0);
            if (curve.valid)
                text += Format("\t%3.1lf", double(d.lp_value));
            text += "\r\n";
        }
    }

    // A name already taken (an earlier run of the same name, or two images that differ only in
    // their extension) gets the next free number; nothing is ever written over.
    const std::string stem = JoinPath(runFolder, NameWithoutExtension(imagePath));
    std::string path = stem + ".txt";
    for (unsigned long n = 1;; ++n) {
        int errorNumber = 0;
        bool writeFailed = false;
        if (WriteNewFile(path, text, errorNumber, &writeFailed)) {
            if (writtenPath)
                *writtenPath = path;
            return true;
        }
        if (errorNumber != EEXIST) {
            if (error)
                error->Assign(
                    Format(
                        WriteFailureFormat("Can't create low level counting file: %s", writeFailed).c_str(),
                        path.c_str())
                        .c_str());
            return false;
        }
        if (n > kMaxLowLevelNumber) {
            if (error)
                error->Assign(Format("Can't create low level counting file: %s.txt (every name up to [%lu] "
                                     "is taken)",
                                     stem.c_str(), kMaxLowLevelNumber)
                                  .c_str());
            return false;
        }
        path = Format("%s[%lu].txt", stem.c_str(), n);
    }
}

} // namespace

bool WriteLowLevelCountingData(const std::string &runFolder, const std::string &imagePath,
                               const ImageFileTime &fileTime, const std::vector<double> &meanHeights,
                               std::vector<double> heightDeviations,
                               const std::vector<std::string> &typeNames,
                               const std::vector<std::vector<CellDetection>> &detections, int32_t lowerMagnet,
                               int32_t upperMagnet, const LPCurveParams &curve, double pixelsPerMm,
                               std::string *writtenPath, EString *error)
{
    return WriteLowLevelFile(ApplicationProgramInfo(), runFolder, imagePath, fileTime, meanHeights,
                             heightDeviations, typeNames, detections, lowerMagnet, upperMagnet, curve,
                             pixelsPerMm, writtenPath, error);
}

// ---- The worker ----

namespace {

// One run's state as the worker's steps hand it on, from the summary's first lines to the failures
// reported at the end.
struct RunState
{
    explicit RunState(ImageAnalysisRunParams &r) : run(r) {}

    ImageAnalysisRunParams &run;
    std::string computer;
    std::string folder;    // the image folder, trimmed and normalised
    std::string runFolder; // the new folder the results go into
    std::string basePath;  // the run folder and the first image's name: the result files' stem
    ImageLogFileData log;
    std::vector<std::string> header; // the summary's lines
    std::vector<cv::Mat> backgrounds;
    std::vector<EString> backgroundTypes;
    bool circular = false;
    bool epi = false;
    int32_t left = 0, top = 0, right = 0, bottom = 0; // the measured region
    double pixelsPerMm = 0.0;
    std::vector<std::vector<int32_t>> vertical, horizontal; // per image; empty for one that gave no row
    int32_t rows = 0;                                       // summary rows written so far
    const std::vector<std::string> typeNames{std::begin(kTypeNames), std::end(kTypeNames)};
    std::vector<std::string> failures;
};

// A run that cannot go on: the failure is reported and the run ends. Always 0, the worker's result.
uint32_t FailRun(RunState &s, const std::string &message, int32_t line)
{
    ReportFailure(message, line);
    EndRun(s.run, message);
    return 0;
}

// The summary's opening lines: program, computer, image folder, the capture log it reads, and the
// magnets.
void StartSummary(RunState &s)
{
    ImageAnalysisRunParams &R = s.run;
    s.header.push_back(Format("#%s_Version=%s", R.program.product_name.c_str(), R.program.version.c_str()));
    s.header.push_back(Format("# ComputerName=%s", s.computer.c_str()));
    s.header.push_back(Format("#image_directory=%s", R.image_folder.c_str()));
    EString logError;
    if (s.log.Load(s.folder.c_str(), logError))
        s.header.push_back(Format("#image_log_used=%s", s.log.log_path.c_str()));
    else
        s.header.push_back(Format("#error_loading_image_log_file_data=%s", logError.c_str()));
    R.SetResultFile(&ImageAnalysisResultFiles::image_log_file, s.log.log_path.c_str());
    s.header.push_back("# **** Magnet elevations in vertical pixels ****");
    s.header.push_back(Format("#lower_magnet=%ld", long(R.lower_magnet)));
    s.header.push_back(Format("#upper_magnet=%ld", long(R.upper_magnet)));
}

// Why the run cannot analyse anything, or empty.
std::string RefusalOf(const ImageAnalysisRunParams &R)
{
    // Equal rows leave no height between the magnets; every height would be infinite.
    if (R.upper_magnet == R.lower_magnet)
        return Format("upper_magnet and lower_magnet must not be equal (both %ld)", long(R.lower_magnet));
    if (R.image_files.empty())
        return "ImageAnalysisThreadProc() - no images to analyse.";
    return std::string();
}

// Makes the run folder beside the images, named by the run's start. False, with failure set, when
// it cannot be made: a folder that exists already belongs to another run started in the same second.
bool MakeRunFolder(RunState &s, const platform::LocalTime &start, std::string &failure)
{
    s.runFolder = JoinPath(s.folder, Format("%04u%02u%02u-%02u%02u-%02u", unsigned(start.year),
                                            unsigned(start.month), unsigned(start.day), unsigned(start.hour),
                                            unsigned(start.minute), unsigned(start.second)));
    std::error_code ec;
    if (!std::filesystem::create_directory(s.runFolder, ec) || ec) {
        failure = Format("Unable to create directory: %s", s.runFolder.c_str());
        return false;
    }
    return true;
}

// The summary lines of the parameters: the owner's copies of its parameter files, then the counting
// options and the epi parameters.
void AddParameterLines(RunState &s)
{
    ImageAnalysisRunParams &R = s.run;
    if (R.owner != nullptr)
        R.owner->WriteAnalysisParamsHeader(s.header, s.runFolder);
    R.counting_options.WriteAsComments(s.header, R.program.main_settings_file.c_str());
    R.epi_params.WriteAsComments(s.header);
}

// Loads the image folder's background images. False, with error set, when one cannot be used.
bool LoadBackgrounds(RunState &s, EString &error)
{
    LoadBGImages(s.folder.c_str(), s.backgrounds, s.backgroundTypes, error);
    for (size_t b = 0; b < s.backgrounds.size() && !error.IsNonEmpty(); ++b) {
        if (s.backgrounds[b].empty() || s.backgrounds[b].type() != CV_16UC1) {
            error.Assign("LoadBGImages() - Problem trying to open image: ");
            error.Append(JoinPath(s.folder, std::string(s.backgroundTypes[b].c_str()) + ".bg.tif").c_str());
        }
    }
    return !error.IsNonEmpty();
}

// What every image is measured with: the algorithms, the region (the circular counting's when it
// runs, otherwise the epi counting's), the result files' stem and the scale of the radii.
void SetUpMeasures(RunState &s)
{
    const ImageAnalysisRunParams &R = s.run;
    const size_t count = R.image_files.size();
    s.vertical.assign(count, {});
    s.horizontal.assign(count, {});
    s.circular = R.counting_options.enabled;
    s.epi = R.epi_params.enabled;
    s.left = s.circular ? R.counting_options.left : R.epi_params.left;
    s.top = s.circular ? R.counting_options.top : R.epi_params.top;
    s.right = s.circular ? R.counting_options.right : R.epi_params.right;
    s.bottom = s.circular ? R.counting_options.bottom : R.epi_params.bottom;
    s.basePath = JoinPath(s.runFolder, NameWithoutExtension(R.image_files[0]));
    // A run without circular counting has no scale of its own; the radii still need one.
    s.pixelsPerMm = R.counting_options.pixels_per_mm > 0.0
                        ? R.counting_options.pixels_per_mm
                        : ReadPixelsPerMm(R.program.main_settings_file.c_str(), kDefaultCountingPixelsPerMm);
}

// The summary row of one analysed image (after the table header, for the first), its projections
// and its low-level file.
void AddImage(RunState &s, size_t i, const std::string &path, FrameResult &result)
{
    const ImageAnalysisRunParams &R = s.run;
    const std::string &name = R.image_files[i];
    s.vertical[i] = std::move(result.vertical);
    s.horizontal[i] = std::move(result.horizontal);
    const ListStatistics *stats = result.stats;
    std::vector<double> means(3), deviations(3);
    for (size_t t = 0; t < 3; ++t) {
        means[t] = stats[t].mean;
        deviations[t] = stats[t].deviation;
    }
    const ImageFileTime &fileTime = result.fileTime;
    const std::vector<std::vector<CellDetection>> &lists = result.lists;

    if (s.rows == 0) {
        if (s.log.RowCount() >= 1) {
            EString firstError;
            if (!s.log.SetFirstFileName(name.c_str(), firstError))
                s.header.push_back(Format("#error_loading_image_log_file_data=%s", firstError.c_str()));
        }
        s.header.push_back(TableHeader());
    }
    ++s.rows;
    PumpValues pumps{};
    const double elapsed = s.log.GetElapsedMinutes(name.c_str(), &pumps);

    std::string row =
        Format("%s\t%4.2lf\t%04u/%02u/%02u %02u:%02u:%02u\t%ld\t", name.c_str(), elapsed,
               unsigned(fileTime.year), unsigned(fileTime.month), unsigned(fileTime.day),
               unsigned(fileTime.hour), unsigned(fileTime.minute), unsigned(fileTime.second), long(s.rows));
    for (size_t t = 0; t < 3; ++t)
        row += Format("%ld\t%6.4lf\t%6.4lf\t%4.2lf\t%4.2lf\t", long(lists[t].size()), stats[t].mean,
                      stats[t].deviation, stats[t].lpMean, stats[t].lpDeviation);
    row += Format("%3.1lf\t%3.1lf\t%3.1lf", result.mean, result.levels[0], result.levels[1]);
    row += Format("\t%3.1f\t%3.1f\t%4.2f\t%4.2f", double(pumps.pump1_speed), double(pumps.pump2_speed),
                  double(pumps.pump1_volume), double(pumps.pump2_volume));
    s.header.push_back(row);

    EString lowLevelError;
    if (!WriteLowLevelFile(R.program, s.runFolder, path, fileTime, means, deviations, s.typeNames, lists,
                           R.lower_magnet, R.upper_magnet, R.lp_curve, s.pixelsPerMm, nullptr,
                           &lowLevelError)) {
        s.header.push_back(lowLevelError.c_str());
        s.failures.push_back(lowLevelError.c_str());
    }
}

// Analyses the images in list order until a stop is asked for; an image that gives no row adds the
// line that says why.
void AnalyseImages(RunState &s)
{
    ImageAnalysisRunParams &R = s.run;
    const size_t count = R.image_files.size();
    std::vector<std::string> paths;
    for (const std::string &name : R.image_files)
        paths.push_back(JoinPath(s.folder, name));
    const FrameInputs inputs{R,      s.backgrounds, s.backgroundTypes, s.circular, s.epi,
                             s.left, s.top,         s.right,           s.bottom};
    FrameAnalysis frames(inputs, R.image_files, paths);
    for (size_t i = 0; i < count; ++i) {
        if (StopRequested(R))
            break;
        const std::string status = Format("Processing %ld of %ld", long(i + 1), long(count));
        R.SetStatus(status);
        if (R.owner != nullptr)
            R.owner->SetStatusText(status);

        FrameResult result = frames.Take();
        if (!result.skipped.empty()) {
            s.header.push_back(result.skipped);
            continue;
        }
        AddImage(s, i, paths[i], result);
    }
}

// Writes one result file of the run and records its path; a file that cannot be written adds its
// failure instead.
bool WriteResultFile(RunState &s, const std::string &path, const std::string &text,
                     std::string ImageAnalysisResultFiles::*which, const char *failureFormat)
{
    int errorNumber = 0;
    bool writeFailed = false;
    if (WriteNewFile(path, text, errorNumber, &writeFailed)) {
        s.run.SetResultFile(which, path);
        return true;
    }
    s.failures.push_back(Format(WriteFailureFormat(failureFormat, writeFailed).c_str(), path.c_str()));
    return false;
}

// The vertical projections: one line per row of the region, one column per image.
std::string VerticalProjectionText(const RunState &s, const std::string &version)
{
    const ImageAnalysisRunParams &R = s.run;
    std::string text = version + "iy_row\ty_fract\ty_mm\ty_ROI_fract\tLP";
    for (const std::string &name : R.image_files)
        text += "\t" + name;
    text += "\r\n";
    if (const std::vector<int32_t> *first = FirstProjection(s.vertical)) {
        const size_t m = first->size();
        for (size_t k = 0; k < m; ++k) {
            const int32_t j = s.top + int32_t(k);
            const double h = RelativeHeight(j, R.lower_magnet, R.upper_magnet);
            text += Format("%ld\t%6.4lf\t%6.4lf\t%6.4lf\t%4.2lf", long(j), h, h * R.lp_curve.mag_gap,
                           double(k) / double(m), LPValueOfHeight(R.lp_curve, h));
            for (const auto &projection : s.vertical)
                text += ProjectionCell(projection, k);
            text += "\r\n";
        }
    }
    return text;
}

// The horizontal projections: one line per column of the region, one column per image.
std::string HorizontalProjectionText(const RunState &s, const std::string &version)
{
    std::string text = version + "ix";
    for (const std::string &name : s.run.image_files)
        text += "\t" + name;
    text += "\r\n";
    if (const std::vector<int32_t> *first = FirstProjection(s.horizontal)) {
        for (size_t k = 0; k < first->size(); ++k) {
            text += Format("%ld", long(s.left + int32_t(k)));
            for (const auto &projection : s.horizontal)
                text += ProjectionCell(projection, k);
            text += "\r\n";
        }
    }
    return text;
}

// Writes the two projection files and the summary, and opens the summary when the owner asks for it.
void WriteResults(RunState &s)
{
    const ImageAnalysisRunParams &R = s.run;
    const std::string version =
        Format("#%s_Version=%s\r\n# ComputerName=%s\r\n", R.program.product_name.c_str(),
               R.program.version.c_str(), s.computer.c_str());
    WriteResultFile(s, s.basePath + ".[vert_proj].txt", VerticalProjectionText(s, version),
                    &ImageAnalysisResultFiles::vertical_projection_file, "Can't create projection file: %s");
    WriteResultFile(s, s.basePath + ".[horz_proj].txt", HorizontalProjectionText(s, version),
                    &ImageAnalysisResultFiles::horizontal_projection_file,
                    "Can't create projection file: %s");
    std::string summary = Format("# ComputerName=%s\r\n", s.computer.c_str());
    for (const std::string &line : s.header)
        summary += line + "\r\n";
    const std::string summaryPath = s.basePath + ".Analysis.txt";
    if (WriteResultFile(s, summaryPath, summary, &ImageAnalysisResultFiles::analysis_file,
                        "Can't create ouput file for analysis run: %s")) {
        if (R.owner != nullptr && R.owner->OpenSummaryChecked())
            OpenUsingDefaultApp(summaryPath.c_str(), ".xls");
    }
}

// Ends the run: every failure on a line of its own, reported together.
void FinishRun(RunState &s)
{
    std::string failure;
    for (const std::string &line : s.failures)
        failure += (failure.empty() ? "" : "\n") + line;
    if (!failure.empty())
        ReportFailure(failure, __LINE__);
    EndRun(s.run, failure);
}

} // namespace

uint32_t ImageAnalysisThreadProc(ImageAnalysisRunParams *run)
{
    if (run == nullptr)
        return 0;
    const platform::LocalTime start = platform::Now();
    RunState s(*run);
    s.computer = platform::ComputerName();
    s.folder = TrimmedFolder(run->image_folder);

    StartSummary(s);
    const std::string refusal = RefusalOf(*run);
    if (!refusal.empty())
        return FailRun(s, refusal, __LINE__);
    std::string folderFailure;
    if (!MakeRunFolder(s, start, folderFailure))
        return FailRun(s, folderFailure, __LINE__);
    AddParameterLines(s);
    EString backgroundError;
    if (!LoadBackgrounds(s, backgroundError))
        return FailRun(s, backgroundError.c_str(), __LINE__);
    SetUpMeasures(s);
    AnalyseImages(s);
    WriteResults(s);
    FinishRun(s);
    return 0;
}

bool StartImageAnalysisThread(ImageAnalysisRunParams *run, bool deleteWhenDone, EString &error)
{
    if (run == nullptr) {
        error.Assign("StartImageAnalysisThread() - no run given.");
        return false;
    }
    WorkerRegistry &workers = Workers();
    // Made at the first start, so it goes before the objects the workers use: the program's end
    // waits for the runs (each stops before its next image) instead of pulling them away.
    static struct ExitWait
    {
        ~ExitWait() { StopImageAnalysisRuns(); }
    } exitWait;
    {
        std::lock_guard<std::mutex> lock(workers.mutex);
        ++workers.running;
    }
    try {
        std::thread([run, deleteWhenDone, &workers] {
            ImageAnalysisThreadProc(run);
            if (deleteWhenDone)
                delete run;
            std::lock_guard<std::mutex> lock(workers.mutex);
            --workers.running;
            workers.ended.notify_all();
        }).detach();
    } catch (const std::system_error &e) {
        std::lock_guard<std::mutex> lock(workers.mutex);
        --workers.running;
        error.Assign(
            Format("StartImageAnalysisThread() - unable to start the worker thread: %s", e.what()).c_str());
        return false;
    }
    return true;
}

void StopImageAnalysisRuns()
{
    WorkerRegistry &workers = Workers();
    workers.stopAll.store(true);
    std::unique_lock<std::mutex> lock(workers.mutex);
    workers.ended.wait(lock, [&] { return workers.running == 0; });
}

bool RunImageAnalysisTool(const char *image_dir, const char *cir_params, const char *epi_params,
                          const char *LP_curve_params, double Gd_conc, const char *file_pattern,
                          int32_t upper_magnet, int32_t lower_magnet, int32_t &handle, EString &error,
                          bool validate_only)
{
    const std::string dir = image_dir != nullptr ? image_dir : "";
    const std::string pattern = file_pattern != nullptr ? file_pattern : "";
    const std::string cir = cir_params != nullptr ? cir_params : "";
    const std::string epiFile = epi_params != nullptr ? epi_params : "";
    const std::string lp = LP_curve_params != nullptr ? LP_curve_params : "";
    auto run = std::make_unique<ImageAnalysisRunParams>();
    run->image_folder.Assign(dir.c_str());

    EString joined;
    joined.JoinPath(dir.c_str(), pattern.c_str());
    const std::string listing = platform::NormalizePath(joined.c_str());
    const std::string listFolder = platform::FolderOf(listing, platform::kSlashOnly);
    const std::string listPattern = platform::FileNameOf(listing, platform::kSlashOnly);
    const std::vector<platform::DirEntry> entries = platform::ListFolder(listFolder, listPattern);
    if (entries.empty()) {
        error.Assign(Format("RunImageAnalysisTool() - invalid image_dir: %s", dir.c_str()).c_str());
        return false;
    }
    for (const platform::DirEntry &entry : entries)
        if (!entry.isFolder)
            run->image_files.push_back(entry.name);
    if (run->image_files.empty()) {
        error.Assign(Format("RunImageAnalysisTool() - no images found mathing spec: %s in dir: %s",
                            pattern.c_str(), dir.c_str())
                         .c_str());
        return false;
    }

    run->counting_options.enabled = false;
    run->epi_params.enabled = false;
    if (!cir.empty()) {
        run->circular_params_file.Assign(cir.c_str());
        if (!platform::FileExists(cir)) {
            error.Assign(
                Format("RunImageAnalysisTool() - Circular algo params file: %s does not exist", cir.c_str())
                    .c_str());
            return false;
        }
        EString loadError;
        if (!run->counting_options.LoadFromParamsFile(cir.c_str(), run->program.main_settings_file.c_str(),
                                                      loadError)) {
            error.Assign(loadError.c_str());
            return false;
        }
        run->counting_options.enabled = true;
    }
    if (!epiFile.empty()) {
        run->epi_params_file.Assign(epiFile.c_str());
        if (!platform::FileExists(epiFile)) {
            error.Assign(Format("Epi algo params file: %s does not exist", epiFile.c_str()).c_str());
            return false;
        }
        run->epi_params.Load(epiFile.c_str());
        EString checkError;
        if (!run->epi_params.Validate(checkError)) {
            error.Assign(checkError.c_str());
            return false;
        }
        run->epi_params.enabled = true;
    }
    if (!run->counting_options.enabled && !run->epi_params.enabled) {
        error.Assign("RunImageAnalysisTool() - Either cir_params or epi_params must be specified.");
        return false;
    }
    run->upper_magnet = upper_magnet;
    if (upper_magnet < -3000) {
        error.Assign("upper_magnet must be >= -3000");
        return false;
    }
    run->lower_magnet = lower_magnet;
    if (lower_magnet < 0) {
        error.Assign("lower_magnet must be >= 0");
        return false;
    }
    if (upper_magnet == lower_magnet) {
        error.Assign("upper_magnet and lower_magnet must not be equal");
        return false;
    }
    if (!lp.empty()) {
        if (!(Gd_conc > 0.001 && Gd_conc < 1000.0)) {
            error.Append("Gd_conc must be between 0.001 and 1000 mM");
            return false;
        }
        EString curveError;
        if (!run->lp_curve.Load(Gd_conc, lp.c_str(), curveError)) {
            error.Assign(curveError.c_str());
            return false;
        }
    }
    if (validate_only)
        return true;

    if (!ImageAnalysisJobTable::StartJob(run.get(), handle, error))
        return false;
    run.release(); // the job owns it now
    return true;
}
