#include "tools/FocusToolRun.h"

#include "Ostravo/EString.h"
#include "Ostravo/LogError.h"
#include "app/PlexorinApp.h"
#include "platform/Files.h"
#include "platform/ImageFile.h"
#include "platform/Sync.h"
#include "platform/Ui.h"

#include <cstdarg>
#include <cstdio>
#include <opencv2/imgcodecs.hpp>

namespace {

constexpr const char *kSource = "FocusToolDlg";

void ReportFailure(const std::string &message)
{
    LogError(kSource, __LINE__, message);
    platform::ui::MessageBox(message, "Focus Tool", platform::ui::MbOk | platform::ui::MbIconError);
}

// The report grows by whole lines; after each it is written anew under a temporary name and
// renamed into place, so the file always holds whole lines (also after a kill or a full disk).
// Every LF becomes CR LF, as the report was always written in text mode.
class FocusReport
{
  public:
    explicit FocusReport(std::string path) : m_path(std::move(path)) {}
    // False with the message to show: the first write failing to make the file is
    // "Unable to create file", any later failure "Unable to write file".
    bool Add(const std::string &text, std::string &message)
    {
        const size_t before = m_bytes.size();
        for (char c : text) {
            if (c == '\n')
                m_bytes += '\r';
            m_bytes += c;
        }
        std::string why;
        if (platform::AtomicReplace(m_path, m_bytes, &why)) {
            m_written = true;
            return true;
        }
        m_bytes.resize(before);
        const bool notCreated = !m_written && (why.find(") : cannot create") != std::string::npos ||
                                               why.find(") : cannot open") != std::string::npos);
        message = (notCreated ? "Unable to create file: " : "Unable to write file: ") + m_path;
        return false;
    }

  private:
    std::string m_path;
    std::string m_bytes;
    bool m_written = false;
};

std::string Format(const char *format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char *format, ...)
{
    char text[2048];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    return text;
}

int64_t RegionPixels(const Ostravo::ImageRegion &r)
{
    const int64_t width = int64_t(r.right) - r.left + 1;
    const int64_t height = int64_t(r.bottom) - r.top + 1;
    return width > 0 && height > 0 ? width * height : 0;
}

bool Contains(const cv::Mat &image, const Ostravo::ImageRegion &r)
{
    return r.left >= 0 && r.top >= 0 && r.left <= r.right && r.top <= r.bottom && r.right < image.cols &&
           r.bottom < image.rows;
}

} // namespace

Ostravo::ImageRegion FocusToolRegion(const std::string &settingsPath)
{
    int32_t rect[4] = {0, 0, 0, 0};
    theApp.GetCartridgeRoi(0, settingsPath, rect);
    return Ostravo::ImageRegion{rect[0], rect[1], rect[2], rect[3]};
}

std::string FocusReportPath(const std::string &folder, const platform::LocalTime &t)
{
    char name[64];
    std::snprintf(name, sizeof(name), "FocusTool_%04u%02u%02u_%02u%02u%02u.txt", unsigned(t.year),
                  unsigned(t.month), unsigned(t.day), unsigned(t.hour), unsigned(t.minute),
                  unsigned(t.second));
    EString path;
    path.JoinPath(folder.c_str(), name);
    return path.c_str();
}

FocusRunEnd RunFocusTool(const FocusRunInput &input, const std::atomic<bool> &stop,
                         const FocusRunHooks &hooks, std::string &reportPath)
{
    const Ostravo::ImageRegion &region = input.region;
    reportPath = FocusReportPath(input.folder, input.start);
    FocusReport report(reportPath);
    std::string message;
    const bool headerWritten =
        report.Add(Format("%s Version = %s\n", input.product_name.c_str(), input.version.c_str()) +
                       "FocusTool\n" + "directory=" + input.folder + "\n" +
                       Format("ROI_left=%d\nROI_right=%d\nROI_top=%d\nROI_bottom=%d\n", region.left,
                              region.right, region.top, region.bottom) +
                       "Image\tscore\tms\n",
                   message);
    if (!headerWritten) {
        ReportFailure(message);
        return FocusRunEnd::ReportFailed;
    }

    const int32_t n = int32_t(input.names.size());
    for (int32_t i = 0; i < n; ++i) {
        if (stop.load())
            return FocusRunEnd::Stopped;
        if (hooks.progress)
            hooks.progress(i + 1, n);
        if (hooks.wait)
            hooks.wait();
        else
            platform::SleepMs(500);

        const std::string &name = input.names[size_t(i)];
        EString joined;
        joined.JoinPath(input.folder.c_str(), name.c_str());
        const std::string path = joined.c_str();
        cv::Mat image;
        try {
            image = platform::ReadImageFile(platform::NormalizePath(path), cv::IMREAD_ANYDEPTH);
        } catch (const cv::Exception &) {
            image.release();
        }
        if (image.empty()) {
            LogError(kSource, __LINE__, "Problem trying to load image: " + path);
            continue;
        }
        // A region of fewer than 2000 pixels can never be scored, whatever the image: that ends the
        // run. One that the image does not hold is this image's fault: it is skipped rather than
        // scored on whatever part of the region happens to lie inside.
        if (RegionPixels(region) < 2000) {
            ReportFailure("ComputeFocusScore() Region of interest must include at least 2000 pixels");
            return FocusRunEnd::ScoreFailed;
        }
        if (!Contains(image, region)) {
            LogError(kSource, __LINE__,
                     Format("Image %dx%d does not contain the region of interest (%d, %d) - (%d, %d): %s",
                            image.cols, image.rows, region.left, region.top, region.right, region.bottom,
                            path.c_str()));
            continue;
        }

        double score = 0.0;
        EString error;
        const uint64_t before = platform::TickMs();
        const bool scored = Ostravo::ComputeFocusScore(image, &region, score, error);
        const uint64_t after = platform::TickMs();
        if (!scored) {
            ReportFailure(error.c_str());
            return FocusRunEnd::ScoreFailed;
        }
        if (!report.Add(Format("%s\t%5.3lf\t%d\n", name.c_str(), score, int32_t(after - before)), message)) {
            ReportFailure(message);
            return FocusRunEnd::ReportFailed;
        }
    }
    return stop.load() ? FocusRunEnd::Stopped : FocusRunEnd::Completed;
}
