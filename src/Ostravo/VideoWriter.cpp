#include "Ostravo/VideoWriter.h"

#include "platform/ErrorText.h"
#include "platform/Files.h"
#include "platform/ImageFile.h"
#include "platform/PathParts.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace Ostravo {
namespace {

using platform::SetError;

std::string ImagePath(const char *folder, const EString *name)
{
    EString path;
    path.JoinPath(folder, name != nullptr && name->c_str() != nullptr ? name->c_str() : "");
    return path.c_str() != nullptr ? path.c_str() : "";
}

bool FileExists(const std::string &path)
{
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

// Maps a 16-bit level through the window onto 0..65535: max(0, v - lower) * gain, the gain in
// single precision, rounded halves away from zero and capped at 65535.
uint16_t Stretch(uint16_t v, int32_t lower, float gain)
{
    const float w = static_cast<float>(v > lower ? v - lower : 0) * gain;
    if (w > 65535.0f)
        return 65535;
    return static_cast<uint16_t>(std::lround(w));
}

// The image as one-channel 16-bit samples: 8-bit images are widened (x 257), colour images
// are turned grey first. Empty when nothing could be read.
cv::Mat ReadGrey16(const std::string &path)
{
    cv::Mat image = platform::ReadImageFile(path, cv::IMREAD_UNCHANGED);
    if (image.empty())
        return image;
    if (image.channels() == 3)
        cv::cvtColor(image, image, cv::COLOR_BGR2GRAY);
    else if (image.channels() == 4)
        cv::cvtColor(image, image, cv::COLOR_BGRA2GRAY);
    if (image.depth() == CV_16U)
        return image;
    cv::Mat wide;
    if (image.depth() == CV_8U)
        image.convertTo(wide, CV_16U, 257.0);
    else
        image.convertTo(wide, CV_16U);
    return wide;
}

// The high byte of every 16-bit level stretched through [lower, upper] (already within 0..65535;
// no window when upper is not above lower), made once and kept per thread for the next frames.
const uint8_t *MonochromeTable(int32_t lower, int32_t upper)
{
    thread_local bool made = false;
    thread_local int32_t madeLower = 0, madeUpper = 0;
    thread_local std::vector<uint8_t> values;
    if (made && madeLower == lower && madeUpper == upper)
        return values.data();
    values.resize(65536);
    const bool stretch = upper > lower;
    const float gain = stretch ? 65536.0f / static_cast<float>(upper - lower) : 1.0f;
    for (uint32_t v = 0; v < 65536; ++v) {
        const uint16_t level = static_cast<uint16_t>(v);
        values[v] = static_cast<uint8_t>((stretch ? Stretch(level, lower, gain) : level) >> 8);
    }
    made = true;
    madeLower = lower;
    madeUpper = upper;
    return values.data();
}

// A monochrome frame as the writer wants it: 8-bit blue-green-red. A 16-bit grey image is
// stretched through [lower, upper] and keeps the high byte of each level.
cv::Mat ReadMonochromeFrame(const std::string &path, int32_t lower, int32_t upper)
{
    cv::Mat image = platform::ReadImageFile(path, cv::IMREAD_UNCHANGED);
    if (image.empty())
        return image;
    if (image.depth() == CV_16U && image.channels() == 1) {
        if (lower < 0)
            lower = 0;
        if (upper > 65535)
            upper = 65535;
        const uint8_t *table = MonochromeTable(lower, upper);
        cv::Mat frame(image.size(), CV_8UC3);
        for (int y = 0; y < image.rows; ++y) {
            const uint16_t *src = image.ptr<uint16_t>(y);
            uint8_t *dst = frame.ptr<uint8_t>(y);
            for (int x = 0; x < image.cols; ++x)
                dst[3 * x] = dst[3 * x + 1] = dst[3 * x + 2] = table[src[x]];
        }
        return frame;
    }
    return platform::ReadImageFile(path, cv::IMREAD_COLOR);
}

bool StopRequested(const std::atomic<bool> *stop)
{
    return stop != nullptr && stop->load();
}

std::string Progress(long i, long n)
{
    char text[64];
    std::snprintf(text, sizeof text, "%ld of %ld", i, n);
    return text;
}

// The channel values of every 16-bit level for one window (or none), made once and kept per
// thread for the next frames with the same window.
const uint8_t *ChannelTable(const int32_t *window)
{
    struct Table
    {
        bool made = false;
        bool windowed = false;
        int32_t lower = 0;
        int32_t upper = 0;
        std::vector<uint8_t> values;
    };
    thread_local Table tables[4];
    thread_local int next = 0;
    const bool windowed = window != nullptr;
    const int32_t lower = windowed ? window[0] : 0, upper = windowed ? window[1] : 0;
    for (Table &t : tables)
        if (t.made && t.windowed == windowed && t.lower == lower && t.upper == upper)
            return t.values.data();
    Table &t = tables[next];
    next = (next + 1) % 4;
    t.values.resize(65536);
    for (uint32_t v = 0; v < 65536; ++v)
        t.values[v] = static_cast<uint8_t>(CompositeChannelValue(static_cast<uint16_t>(v), window));
    t.made = true;
    t.windowed = windowed;
    t.lower = lower;
    t.upper = upper;
    return t.values.data();
}

// Adds the channel contribution of image into byte channel of frame.
void AddChannel(const cv::Mat &image, const int32_t *window, int channel, cv::Mat &frame)
{
    const uint8_t *table = ChannelTable(window);
    for (int y = 0; y < frame.rows; ++y) {
        const uint16_t *src = image.ptr<uint16_t>(y);
        uint8_t *dst = frame.ptr<uint8_t>(y);
        for (int x = 0; x < frame.cols; ++x)
            dst[3 * x + channel] = static_cast<uint8_t>(dst[3 * x + channel] + table[src[x]]);
    }
}

// Makes frame i of the video into frame; false with error set when it cannot be made. Runs on the
// writer's frame thread.
using NextFrame = std::function<bool(long i, cv::Mat &frame, EString &error)>;

// Makes frames 1..n-1 with next on a thread of its own, up to kAhead of them ahead of the writer,
// so that reading and composing the next frames overlaps encoding this one. Each frame is handed
// over in order with its own error text; after a failed frame no more are made.
class FrameAhead
{
  public:
    static constexpr size_t kAhead = 3;
    struct Made
    {
        cv::Mat frame;
        bool ok = false;
        EString error;
    };

    FrameAhead(long n, const NextFrame &next) : m_thread([this, n, &next] { Run(n, next); }) {}
    // Ends the thread: frames made but not taken are dropped.
    ~FrameAhead()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_quit = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }
    FrameAhead(const FrameAhead &) = delete;
    FrameAhead &operator=(const FrameAhead &) = delete;

    // The next frame in order; waits until it is made.
    Made Take()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_ready.empty(); });
        Made made = std::move(m_ready.front());
        m_ready.pop_front();
        lock.unlock();
        m_changed.notify_all();
        return made;
    }

  private:
    void Run(long n, const NextFrame &next)
    {
        for (long i = 1; i < n; ++i) {
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_changed.wait(lock, [this] { return m_quit || m_ready.size() < kAhead; });
                if (m_quit)
                    return;
            }
            Made made;
            try {
                made.ok = next(i, made.frame, made.error);
            } catch (const cv::Exception &e) {
                made.ok = false;
                made.error = (std::string("Can't make the video frame: ") + e.what()).c_str();
            }
            const bool ok = made.ok;
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_ready.push_back(std::move(made));
            }
            m_changed.notify_all();
            if (!ok)
                return;
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Made> m_ready;
    bool m_quit = false;
    std::thread m_thread; // last: starts once the rest is ready
};

// A video written beside its final name and moved onto it only when complete. The writer picks
// the container from the file's extension, so the file keeps its name inside a hidden folder next
// to the final one: a listing of the output folder never sees a half-written video, and a failed
// or interrupted run leaves an earlier video of that name as it was.
class StagedVideo
{
  public:
    explicit StagedVideo(const std::string &out) : m_out(out) {}
    ~StagedVideo() { Discard(); }
    StagedVideo(const StagedVideo &) = delete;
    StagedVideo &operator=(const StagedVideo &) = delete;

    // Makes the hidden folder; false when the output's folder cannot take a new file (or the
    // output is a folder, or a file we may not replace).
    bool Make()
    {
        const std::filesystem::path out(m_out);
        std::error_code ec;
        if (m_out.empty() || std::filesystem::is_directory(out, ec))
            return false;
        if (std::filesystem::exists(out, ec) && ::access(m_out.c_str(), W_OK) != 0)
            return false;
        // A run that was killed left its staged video behind; it goes before this one starts.
        platform::RemoveStaleTemporaries(platform::FolderOf(m_out, platform::kSlashOnly),
                                         platform::FileNameOf(m_out, platform::kSlashOnly));
        m_folder = platform::TemporaryNameBeside(m_out);
        if (::mkdir(m_folder.c_str(), 0700) != 0) {
            m_folder.clear();
            return false;
        }
        // Held until the folder goes: the staged video is not stale while it is written, also for
        // a writer whose process the next one cannot see.
        m_lock = ::open(m_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (m_lock >= 0)
            ::flock(m_lock, LOCK_EX | LOCK_NB);
        m_path = (std::filesystem::path(m_folder) / out.filename()).string();
        return true;
    }
    const std::string &Path() const { return m_path; }
    // Flushes the finished video to disk and renames it onto the output.
    bool Publish(std::string &why)
    {
        const int fd = ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            why = "the writer made no file";
            return false;
        }
        struct stat info;
        const bool written = ::fstat(fd, &info) == 0 && info.st_size > 0 && ::fsync(fd) == 0;
        ::close(fd);
        if (!written) {
            why = "the video could not be written whole";
            return false;
        }
        if (::rename(m_path.c_str(), m_out.c_str()) != 0) {
            why = std::strerror(errno);
            return false;
        }
        m_path.clear();
        return true;
    }

  private:
    void Discard()
    {
        if (!m_path.empty())
            ::unlink(m_path.c_str());
        if (!m_folder.empty())
            ::rmdir(m_folder.c_str());
        if (m_lock >= 0)
            ::close(m_lock);
    }
    std::string m_out;
    std::string m_folder;
    std::string m_path;
    int m_lock = -1; // the staging folder, locked while this writer uses it
};

// Opens the writer on frame (the first frame, already made) and writes it, then the frames next
// makes for 1..n-1, with the progress on status, until the last one or a stop. The frames are made
// ahead on another thread; a stop or a failure is still seen between the same frames as if each
// were made just before it is written. A failure of the writer is reported under routine.
bool WriteVideoFile(const std::string &out, int fourcc, double fps, long n, const cv::Mat &frame,
                    const VideoStatus &status, const std::atomic<bool> *stop, EString &error,
                    const char *routine, const NextFrame &next)
{
    cv::VideoWriter writer;
    try {
        if (!writer.open(out, cv::CAP_FFMPEG, fourcc, fps, frame.size(), true)) {
            SetError(error, routine, __LINE__, "Can't open VideoWriter object.");
            return false;
        }
        writer.write(frame);
        if (n > 1) {
            FrameAhead ahead(n, next);
            for (long i = 1; i < n && !StopRequested(stop); ++i) {
                if (status)
                    status(Progress(i, n));
                FrameAhead::Made made = ahead.Take();
                if (!made.ok) {
                    error = made.error.c_str() != nullptr ? made.error.c_str() : "";
                    return false;
                }
                writer.write(made.frame);
            }
        }
    } catch (const cv::Exception &e) {
        SetError(error, routine, __LINE__, std::string("Can't write the video frame: ") + e.what());
        return false;
    }
    if (status)
        status("");
    return true; // the writer is released (and the file completed) on the way out
}

// As WriteVideoFile into the staged file, which then replaces the output; a stopped video is kept
// with the frames written so far.
bool WriteVideo(StagedVideo &staged, const std::string &out, int fourcc, double fps, long n,
                const cv::Mat &frame, const VideoStatus &status, const std::atomic<bool> *stop,
                EString &error, const char *routine, const NextFrame &next)
{
    if (!WriteVideoFile(staged.Path(), fourcc, fps, n, frame, status, stop, error, routine, next))
        return false;
    std::string why;
    if (!staged.Publish(why)) {
        SetError(error, routine, __LINE__, "unable to write file: " + out + ": " + why);
        return false;
    }
    return true;
}

} // namespace

int CompositeChannelValue(uint16_t value, const int32_t *window)
{
    if (window == nullptr)
        return value >> 9;
    int32_t lower = window[0];
    int32_t upper = window[1];
    if (upper <= lower) {
        // Not a window: the gain would be zero, negative or infinite. Show the full range.
        lower = 0;
        upper = 65535;
    }
    const float gain = 65536.0f / static_cast<float>(upper - lower);
    return Stretch(value, lower, gain) >> 9;
}

bool StretchIntensityRange(cv::Mat &frame, uint16_t lower, uint16_t upper)
{
    if (upper <= lower || frame.type() != CV_16UC1)
        return false;
    const float gain = 65536.0f / static_cast<float>(upper - lower);
    for (int y = 0; y < frame.rows; ++y) {
        uint16_t *row = frame.ptr<uint16_t>(y);
        for (int x = 0; x < frame.cols; ++x)
            row[x] = Stretch(row[x], lower, gain);
    }
    return true;
}

bool assign_composite_intensity(const char *folder, const ImageNameList &brightfield,
                                const ImageNameList &red, const ImageNameList &green,
                                const ImageNameList &blue, int index, cv::Mat &frame, EString &error,
                                const std::vector<int32_t> *windows)
{
    static const char *const kRoutine = "Ostravo::assign_composite_intensity";
    if (index < 0 || index >= brightfield.GetCount()) {
        SetError(error, kRoutine, __LINE__, "Internal error #1");
        return false;
    }
    const int32_t *window = windows != nullptr && windows->size() >= 8 ? windows->data() : nullptr;
    std::string path = ImagePath(folder, brightfield.GetAt(index));
    if (!FileExists(path)) {
        SetError(error, kRoutine, __LINE__, "Image does not exist: " + path);
        return false;
    }
    cv::Mat image = ReadGrey16(path);
    if (image.empty()) {
        SetError(error, kRoutine, __LINE__, "Can't read image: " + path);
        return false;
    }
    if (image.cols != frame.cols || image.rows != frame.rows || frame.type() != CV_8UC3) {
        SetError(error, kRoutine, __LINE__, "Image has unexpected size: " + path);
        return false;
    }
    const uint8_t *table = ChannelTable(window);
    for (int y = 0; y < frame.rows; ++y) {
        const uint16_t *src = image.ptr<uint16_t>(y);
        uint8_t *dst = frame.ptr<uint8_t>(y);
        for (int x = 0; x < frame.cols; ++x) {
            const uint8_t v = table[src[x]];
            dst[3 * x] = dst[3 * x + 1] = dst[3 * x + 2] = v;
        }
    }
    // Red, green and blue in that order, into the red, green and blue bytes of a BGR frame.
    const ImageNameList *lists[3] = {&red, &green, &blue};
    const int bytes[3] = {2, 1, 0};
    for (int c = 0; c < 3; ++c) {
        if (index >= lists[c]->GetCount())
            continue;
        path = ImagePath(folder, lists[c]->GetAt(index));
        if (!FileExists(path))
            continue;
        image = ReadGrey16(path);
        if (image.empty()) {
            SetError(error, kRoutine, __LINE__, "Can't read image: " + path);
            return false;
        }
        if (image.cols != frame.cols || image.rows != frame.rows) {
            SetError(error, kRoutine, __LINE__, "Image has unexpected size: " + path);
            return false;
        }
        AddChannel(image, window != nullptr ? window + 2 * (c + 1) : nullptr, bytes[c], frame);
    }
    return true;
}

bool CreateVideo(const char *output, const char *folder, const ImageNameList &image_names, double fps,
                 const VideoStatus &status, const std::atomic<bool> *stop, EString &error, int32_t lower,
                 int32_t upper)
{
    static const char *const kRoutine = "Ostravo::CreateVideo";
    const std::string out = output != nullptr ? output : "";
    // Made beside the output first: an earlier video of that name stays until this one is whole.
    StagedVideo staged(out);
    if (!staged.Make()) {
        SetError(error, kRoutine, __LINE__, "unable to create file: " + out);
        return false;
    }
    const long n = image_names.GetCount();
    if (n == 0) {
        SetError(error, kRoutine, __LINE__, "image_names must have one or more images.");
        return false;
    }
    cv::Size size; // of the first frame
    // Frame i as the writer wants it, or false with the error set.
    const auto read = [folder, &image_names, lower, upper, &size](long i, cv::Mat &frame,
                                                                  EString &frame_error) {
        const std::string path = ImagePath(folder, image_names.GetAt(static_cast<int32_t>(i)));
        if (!FileExists(path)) {
            SetError(frame_error, kRoutine, __LINE__, "image file does not exist: " + path);
            return false;
        }
        frame = ReadMonochromeFrame(path, lower, upper);
        if (frame.empty()) {
            SetError(frame_error, kRoutine, __LINE__, "Can't open image: " + path);
            return false;
        }
        // The writer drops a frame of another size without a word: stop with a message.
        if (!size.empty() && frame.size() != size) {
            SetError(frame_error, kRoutine, __LINE__, "Image has unexpected size: " + path);
            return false;
        }
        return true;
    };
    cv::Mat frame;
    if (!read(0, frame, error))
        return false;
    size = frame.size();
    return WriteVideo(staged, out, cv::VideoWriter::fourcc('X', 'V', 'I', 'D'), fps, n, frame, status, stop,
                      error, kRoutine, read);
}

bool CreateVideo4Chan(const char *output, const char *folder, const ImageNameList &brightfield_fnames,
                      const ImageNameList &red, const ImageNameList &green, const ImageNameList &blue,
                      double fps, const VideoStatus &status, const std::atomic<bool> *stop, EString &error,
                      const std::vector<int32_t> *windows)
{
    static const char *const kRoutine = "Ostravo::CreateVideo4Chan";
    const std::string out = output != nullptr ? output : "";
    const long n = brightfield_fnames.GetCount();
    if (n == 0) {
        SetError(error, kRoutine, __LINE__, "brightfield_fnames must have one or more images.");
        return false;
    }
    const std::string path = ImagePath(folder, brightfield_fnames.GetAt(0));
    if (!FileExists(path)) {
        SetError(error, kRoutine, __LINE__, "image file does not exist: " + path);
        return false;
    }
    const cv::Mat first = platform::ReadImageFile(path, cv::IMREAD_UNCHANGED);
    if (first.empty()) {
        SetError(error, kRoutine, __LINE__, "Can't open image: " + path);
        return false;
    }
    cv::Mat frame(first.rows, first.cols, CV_8UC3, cv::Scalar::all(0));
    if (!assign_composite_intensity(folder, brightfield_fnames, red, green, blue, 0, frame, error, windows))
        return false;
    StagedVideo staged(out);
    if (!staged.Make()) {
        // This writer never tested its output first: a file it cannot make is a writer it cannot open.
        SetError(error, kRoutine, __LINE__, "Can't open VideoWriter object.");
        return false;
    }
    return WriteVideo(staged, out, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), fps, n, frame, status, stop,
                      error, kRoutine, [&](long i, cv::Mat &next, EString &frame_error) {
                          next.create(first.rows, first.cols, CV_8UC3);
                          return assign_composite_intensity(folder, brightfield_fnames, red, green, blue,
                                                            static_cast<int>(i), next, frame_error, windows);
                      });
}

} // namespace Ostravo
