#include "tools/projection/ProjectionBatchRun.h"

#include "Ostravo/Profile.h"
#include "Ostravo/ProfileValues.h"
#include "Ostravo/TextFormat.h"
#include "analysis/ImageAnalysisRun.h"
#include "analysis/ImageLogFileData.h"
#include "app/AppServices.h"
#include "app/PlexorinApp.h"
#include "platform/Files.h"
#include "platform/ImageFile.h"
#include "platform/SystemInfo.h"

#include <opencv2/imgcodecs.hpp>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <utility>

namespace {

std::string Join(const std::string &folder, const std::string &name)
{
    EString joined;
    joined.JoinPath(folder.c_str(), name.c_str());
    return joined.c_str();
}

std::string BaseName(const std::string &file)
{
    EString name;
    name.SplitPath(file.c_str(), 0, 1, 0);
    return name.c_str();
}

// The last-write time of a file in local time; all zero when it cannot be read.
struct FileTime
{
    unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

FileTime LastWriteTime(const std::string &path)
{
    FileTime result;
    struct stat info
    {
    };
    if (::stat(platform::NormalizePath(path).c_str(), &info) != 0)
        return result;
    std::tm local{};
    const time_t seconds = info.st_mtime;
    if (localtime_r(&seconds, &local) == nullptr)
        return result;
    result.year = unsigned(local.tm_year + 1900);
    result.month = unsigned(local.tm_mon + 1);
    result.day = unsigned(local.tm_mday);
    result.hour = unsigned(local.tm_hour);
    result.minute = unsigned(local.tm_min);
    result.second = unsigned(local.tm_sec);
    return result;
}

// A text file with CR LF line ends; false when it cannot be written whole.
bool WriteLines(const std::string &path, const std::vector<std::string> &lines)
{
    std::string bytes;
    for (const std::string &line : lines) {
        bytes += line;
        bytes += "\r\n";
    }
    return platform::AtomicReplace(path, bytes);
}

// One image's row and column profiles; empty when the region does not lie inside the image.
struct ImageProfiles
{
    std::vector<int32_t> rows, columns;
    bool exists = false;
};

class BatchRun
{
  public:
    BatchRun(const ProjectionBatchInputs &inputs, ProjectionBatchObserver &observer,
             const platform::LocalTime &start)
        : m_in(inputs), m_observer(observer), m_start(start), m_params(inputs.params)
    {
    }

    bool Run()
    {
        const bool done = Steps();
        m_observer.Status("");
        return done;
    }

  private:
    bool Fail(const std::string &message, bool logged = true)
    {
        m_observer.Failure(message, logged);
        return false;
    }

    double Fraction(double y) const { return MagnetHeightFraction(y, m_upper, m_lower); }
    double LP(double fraction) const { return LPValueOfHeight(m_in.lp_curve, fraction); }

    bool Steps()
    {
        const int32_t left = m_params.left, top = m_params.top, right = m_params.right,
                      bottom = m_params.bottom;

        if (m_in.background_paths.empty())
            return Fail("Must select one or more backgroud images.");
        // The files are named after the first image: a run without images has no name for them.
        if (m_in.images.empty())
            return Fail("You must select at least one image.", false);

        m_observer.Status("Computing baseline.");
        std::vector<int32_t> baseline, means;
        EString error;
        if (!ComputeBaselineProjection(m_in.background_paths, m_params, baseline, error, &means))
            return Fail(error.c_str());
        m_params.baseline = baseline;

        const EString settings = GetExperimentSettingsIniPath(EString(m_in.folder.c_str()));
        if (!settings.IsNonEmpty() || !platform::FileExists(settings.c_str()))
            return Fail(FormatText("Missing file: %s", settings.c_str()));
        m_upper = Ostravo::ReadProfileInt("CalibrationSettings", "UpperMagnet", -1, settings.c_str(), 64);
        m_lower = Ostravo::ReadProfileInt("CalibrationSettings", "LowerMagnet", -1, settings.c_str(), 64);
        char scaleText[64] = {0};
        Ostravo::E_GetPrivateProfileString("CalibrationSettings", "image_pixels_per_mm", "", scaleText,
                                           sizeof scaleText, settings.c_str());
        double scale = 0.0;
        if (std::sscanf(scaleText, "%lf", &scale) != 1 || scale == 0.0)
            return Fail(FormatText("Missing or invalid CalibrationSettings] image_pixels_per_mm in file: %s",
                                   settings.c_str()));
        m_params.PixelsPerMM = scale;
        if (!ValidateProjectionParams(m_params, error))
            return Fail(error.c_str());
        if (m_upper == -1)
            return Fail(
                FormatText("missing [CalibrationSettings] UpperMagnet from file %s", settings.c_str()));
        if (m_lower == -1)
            return Fail(
                FormatText("missing [CalibrationSettings] LowerMagnet from file %s", settings.c_str()));
        // Every height is measured against the gap between the two rows: equal rows leave none.
        if (m_upper == m_lower)
            return Fail(FormatText("[CalibrationSettings] UpperMagnet and LowerMagnet must not be equal "
                                   "(both %ld) in file %s",
                                   long(m_upper), settings.c_str()));

        std::vector<std::string> lines;
        lines.push_back(
            FormatText("#%s_Version=%s", theApp.m_product_name.c_str(), theApp.m_version.c_str()));
        lines.push_back(FormatText("# ComputerName=%s", platform::ComputerName().c_str()));
        lines.push_back(FormatText("#image_directory=%s", m_in.folder.c_str()));
        ImageLogFileData log;
        EString logError;
        if (log.Load(m_in.folder.c_str(), logError))
            lines.push_back(FormatText("#image_log_used=%s", log.log_path.c_str()));
        else
            lines.push_back(FormatText("#error_loading_image_log_file_data=%s", logError.c_str()));
        m_observer.CaptureLog(log.log_path.c_str());
        lines.push_back("# **** Magnet elevations in vertical pixels ****");
        lines.push_back(FormatText("#lower_magnet=%ld", long(m_lower)));
        lines.push_back(FormatText("#upper_magnet=%ld", long(m_upper)));

        const std::string runFolder = MakeProjectionRunFolder(m_in.folder, m_start);
        if (!platform::MakeNewFolder(runFolder))
            return Fail(FormatText("Unable to create directory: %s", runFolder.c_str()), false);

        WriteRunInputsHeader(m_in, lines, runFolder);
        WriteProjectionParamsComments(m_params, lines);
        lines.push_back(FormatText("#nbg_images=%ld", long(m_in.background_paths.size())));
        lines.push_back("ImageFile\tAvgIntensity");
        for (size_t i = 0; i < m_in.background_paths.size(); ++i) {
            EString name;
            name.SplitPath(m_in.background_paths[i].c_str(), 0, 1, 1);
            lines.push_back(FormatText("#%s\t%ld", name.c_str(), long(i < means.size() ? means[i] : 0)));
        }

        const long count = long(m_in.images.size());
        std::vector<ImageProfiles> profiles(m_in.images.size());
        long analysed = 0;
        for (size_t i = 0; i < m_in.images.size(); ++i) {
            const std::string &name = m_in.images[i];
            m_observer.Status(FormatText("%ld of %ld", long(i + 1), count));
            const std::string path = Join(m_in.folder, name);
            const cv::Mat image = platform::ReadImageFile(platform::NormalizePath(path), cv::IMREAD_ANYDEPTH);
            if (image.empty()) {
                lines.push_back(FormatText("Problem trying to load image: %s", path.c_str()));
                continue;
            }
            RegionMeasures measures;
            double mean = 0.0, median = 0.0, pct10 = 0.0;
            if (MeasureRegion(image, left, top, right, bottom, nullptr, {0.5, 0.1}, measures)) {
                profiles[i].rows = measures.vertical;
                profiles[i].columns = measures.horizontal;
                profiles[i].exists = true;
                mean = measures.mean;
                median = measures.levels[0];
                pct10 = measures.levels[1];
            } else {
                mean = RoiMeanIntensity(image, left, top, right, bottom);
                std::vector<double> levels(2, 0.0);
                RoiPercentiles(image, left, top, right, bottom, {0.5, 0.1}, levels);
                median = levels[0];
                pct10 = levels[1];
            }

            std::vector<ProjectionPeak> peaks;
            int64_t elapsedMs = 0;
            EString analysisError;
            const std::string fitFile = Join(runFolder, BaseName(name) + ".[smoothed_vert_proj].txt");
            if (!AnalyzeProjection(image, m_params, peaks, elapsedMs, analysisError, nullptr,
                                   fitFile.c_str())) {
                lines.push_back(analysisError.c_str());
                continue;
            }
            const FileTime t = LastWriteTime(path);
            if (++analysed == 1) {
                if (log.RowCount() > 0) {
                    EString referenceError;
                    if (!log.SetFirstFileName(name.c_str(), referenceError))
                        lines.push_back(
                            FormatText("#error_loading_image_log_file_data=%s", referenceError.c_str()));
                }
                lines.push_back(ColumnHeader(peaks.size()));
            }
            PumpValues pumps;
            const double minutes = log.GetElapsedMinutes(name.c_str(), &pumps);
            std::sort(peaks.begin(), peaks.end(),
                      [](const ProjectionPeak &a, const ProjectionPeak &b) { return a.centre < b.centre; });
            std::string line =
                FormatText("%s\t%4.2lf\t%04u/%02u/%02u %02u:%02u:%02u\t%ld\t", name.c_str(), minutes, t.year,
                           t.month, t.day, t.hour, t.minute, t.second, analysed);
            line += FormatText("%3.1lf\t%3.1lf\t%3.1lf", mean, median, pct10);
            line +=
                FormatText("\t%3.1f\t%3.1f\t%4.2f\t%4.2f", double(pumps.pump1_speed),
                           double(pumps.pump2_speed), double(pumps.pump1_volume), double(pumps.pump2_volume));
            for (const ProjectionPeak &peak : peaks)
                line += PeakColumns(peak);
            lines.push_back(line);
        }

        bool written = WriteProfiles(runFolder, profiles);

        const std::string analysisPath = Join(runFolder, BaseName(m_in.images.front()) + ".Analysis.txt");
        lines.insert(lines.begin(), FormatText("# ComputerName=%s", platform::ComputerName().c_str()));
        if (!WriteLines(analysisPath, lines)) {
            Fail(FormatText("Can't create ouput file for analysis run: %s", analysisPath.c_str()));
            return false;
        }
        if (m_in.open_summary)
            m_observer.OpenSummary(analysisPath);
        return written;
    }

    static std::string ColumnHeader(size_t peakCount)
    {
        std::string header = "image\tElapsedMin\tImageModifyTime\tframe_idx\t"
                             "MeanIntROI\tMedianIntROI\tPct10IntROI\tPump1SpeeULpMin\tPump2SpeedULpMin\t"
                             "Pump1VolUL\tPump2VolUL";
        for (long k = 1; k <= long(peakCount); ++k)
            header +=
                FormatText("\tPeakAmplitude[%ld]\tWidth[%ld]\tPeakCenterLocation[%ld]\tPeakCenterLP[%ld]"
                           "\tPeakWidthLP[%ld]\tFitError[%ld]\tComputationError[%ld]",
                           k, k, k, k, k, k, k);
        return header;
    }

    std::string PeakColumns(const ProjectionPeak &peak) const
    {
        const double top = m_params.top, bottom = m_params.bottom;
        const double gap = double(m_lower - m_upper);
        const double height = bottom - top + 1.0;
        const double width = (bottom - top) / gap * 2.0 * peak.stdev;
        const double location = Fraction(top + height * peak.centre);
        const double widthLP = std::fabs(LP(Fraction(top)) - LP(Fraction(bottom))) * 2.0 * peak.stdev;
        const double fitError = peak.fit_error == kProjectionFitOutOfRange ? -1.0 : peak.fit_error;
        return FormatText("\t%5.3lf\t%9.8lf\t%5.3lf\t%4.2lf\t%4.2lf\t%9.8lf\t%s", peak.amplitude, width,
                          location, LP(location), widthLP, fitError, peak.edge ? "TRUE" : "FALSE");
    }

    std::vector<std::string> ProfileHeader(const char *first) const
    {
        std::vector<std::string> lines;
        lines.push_back(
            FormatText("#%s_Version=%s", theApp.m_product_name.c_str(), theApp.m_version.c_str()));
        lines.push_back(FormatText("# ComputerName=%s", platform::ComputerName().c_str()));
        std::string names = first;
        for (const std::string &image : m_in.images)
            names += "\t" + image;
        lines.push_back(names);
        return lines;
    }

    // The row and column profile files; a file that cannot be written is reported like the
    // Analysis file and the run goes on.
    bool WriteProfiles(const std::string &runFolder, const std::vector<ImageProfiles> &profiles)
    {
        const std::string first = BaseName(m_in.images.front());
        const ImageProfiles &lead = profiles.front();

        std::vector<std::string> vertical = ProfileHeader("iy_row\ty_fract\ty_mm\ty_ROI_fract\tLP");
        const size_t rows = lead.exists ? lead.rows.size() : 0;
        for (size_t j = 0; j < rows; ++j) {
            const long y = long(m_params.top) + long(j);
            const double f = Fraction(double(y));
            std::string line = FormatText("%ld\t%6.4lf\t%6.4lf\t%6.4lf\t%4.2lf", y, f,
                                          f * m_in.lp_curve.mag_gap, double(j) / double(rows), LP(f));
            for (const ImageProfiles &p : profiles)
                if (p.exists && j < p.rows.size())
                    line += FormatText("\t%ld", long(p.rows[j]));
            vertical.push_back(line);
        }

        std::vector<std::string> horizontal = ProfileHeader("ix");
        const size_t columns = lead.exists ? lead.columns.size() : 0;
        for (size_t j = 0; j < columns; ++j) {
            std::string line = FormatText("%ld", long(m_params.left) + long(j));
            for (const ImageProfiles &p : profiles)
                if (p.exists && j < p.columns.size())
                    line += FormatText("\t%ld", long(p.columns[j]));
            horizontal.push_back(line);
        }

        bool written = true;
        const std::pair<const char *, const std::vector<std::string> *> files[] = {
            {".[vert_proj].txt", &vertical}, {".[horz_proj].txt", &horizontal}};
        for (const auto &[suffix, text] : files) {
            const std::string path = Join(runFolder, first + suffix);
            if (!WriteLines(path, *text)) {
                Fail(FormatText("Can't create ouput file for analysis run: %s", path.c_str()));
                written = false;
            }
        }
        return written;
    }

    const ProjectionBatchInputs &m_in;
    ProjectionBatchObserver &m_observer;
    platform::LocalTime m_start;
    ProjectionAnalysisParams m_params;
    int32_t m_upper = -1;
    int32_t m_lower = -1;
};

} // namespace

double MagnetHeightFraction(double y, int32_t upper, int32_t lower)
{
    return (double(lower) - y) / double(lower - upper);
}

std::string MakeProjectionRunFolder(const std::string &folder, const platform::LocalTime &t)
{
    return Join(folder,
                FormatText("%04u%02u%02u-%02u%02u-%02u", unsigned(t.year), unsigned(t.month), unsigned(t.day),
                           unsigned(t.hour), unsigned(t.minute), unsigned(t.second)));
}

bool WriteRunInputsHeader(const ProjectionBatchInputs &inputs, std::vector<std::string> &lines,
                          const std::string &runFolder)
{
    if (!inputs.lp_curve_name.empty()) {
        const std::string file = inputs.lp_curve_name + ".LP_curve_params";
        platform::CopyFile(Join(inputs.lib_folder, file), Join(runFolder, file), false);
    }
    lines.push_back("#LP_curve=" + inputs.lp_curve_name);
    if (!inputs.params_name.empty()) {
        const std::string file = inputs.params_name + ".PA_params";
        // The set may be stored as .pa_params: it is found ignoring case, copied under the name above.
        std::string from = platform::FindFileIgnoringCase(inputs.lib_folder, file);
        if (from.empty())
            from = Join(inputs.lib_folder, file);
        platform::CopyFile(from, Join(runFolder, file), false);
    }
    lines.push_back("#Projection Analysis params file=" + inputs.params_name);
    lines.push_back("#Gd_conc=" + inputs.gd_conc_text);
    return true;
}

bool RunProjectionBatch(const ProjectionBatchInputs &inputs, ProjectionBatchObserver &observer,
                        const platform::LocalTime &start)
{
    BatchRun run(inputs, observer, start);
    return run.Run();
}
