#include "tools/MeniscusReport.h"

#include "Ostravo/EString.h"
#include "platform/Files.h"
#include "platform/ImageFile.h"

#include <cstdio>
#include <cstdlib>
#include <opencv2/imgcodecs.hpp>

namespace {

// The image as stored (16-bit single channel for instrument images); empty when the file cannot
// be read.
cv::Mat ReadAnyDepth(const std::string &path)
{
    try {
        return platform::ReadImageFile(platform::NormalizePath(path), cv::IMREAD_ANYDEPTH);
    } catch (const cv::Exception &) {
        return cv::Mat();
    }
}

std::string JoinedPath(const std::string &folder, const std::string &name)
{
    EString path;
    path.JoinPath(folder.c_str(), name.c_str());
    return path.c_str();
}

} // namespace

void ApplyMeniscusConsistencyRule(std::vector<MeniscusResult> &results)
{
    const size_t n = results.size();
    for (size_t i = 1; i < n; ++i) {
        if (!results[i].found)
            continue;
        MeniscusResult &previous = results[i - 1];
        if (previous.found && std::llabs(int64_t(results[i].column) - previous.column) > 200) {
            previous.found = false;
            results[i].found = false;
        }
        if (i + 1 < n && !results[i + 1].found)
            results[i].found = false;
    }
}

std::string MeniscusResultText(const MeniscusResult &r)
{
    char text[128];
    if (r.found && r.form_valid)
        std::snprintf(text, sizeof(text), "%d\t%d\tTrue\t%d\t%6.1f", r.upper_wall, r.lower_wall, r.column,
                      double(r.form));
    else if (r.found)
        std::snprintf(text, sizeof(text), "%d\t%d\tTrue\t%d", r.upper_wall, r.lower_wall, r.column);
    else
        std::snprintf(text, sizeof(text), "%d\t%d\tFalse\t\t", r.upper_wall, r.lower_wall);
    return text;
}

std::string MeniscusReportPath(const std::string &folder, const platform::LocalTime &t)
{
    char name[64];
    std::snprintf(name, sizeof(name), "%04u%02u%02u_%02u%02u%02u_MeniscusReport.txt", unsigned(t.year),
                  unsigned(t.month), unsigned(t.day), unsigned(t.hour), unsigned(t.minute),
                  unsigned(t.second));
    return JoinedPath(folder, name);
}

std::vector<std::string> RunFindMeniscus(const MeniscusRunInput &input,
                                         const std::function<void(int32_t, int32_t)> &progress,
                                         const std::atomic<bool> *stop)
{
    std::vector<std::string> lines{
        "FindMeniscus", "Version\t" + input.version, "Directory\t" + input.folder,
        "Image\tupper_channel_y\tlower_channel_y\tmeniscus_found\tmeniscus_x\tmeniscus_form"};
    std::vector<std::string> keptNames;
    std::vector<MeniscusResult> kept;
    const int32_t n = int32_t(input.names.size());
    for (int32_t i = 0; i < n; ++i) {
        if (stop && stop->load())
            break;
        if (progress)
            progress(i + 1, n);
        const std::string path = JoinedPath(input.folder, input.names[size_t(i)]);
        const cv::Mat image = ReadAnyDepth(path);
        MeniscusResult result;
        const int32_t upper = kept.empty() ? -1 : kept.back().upper_wall;
        const int32_t lower = kept.empty() ? -1 : kept.back().lower_wall;
        // The finder refuses what is not a 16-bit grey image: such a file is as unusable as one
        // that cannot be decoded, and gets the same line rather than a row of made-up walls.
        if (image.empty() || !FindMeniscus(image, result, upper, lower)) {
            lines.push_back(path + "\tCan't open image file.");
            continue;
        }
        kept.push_back(result);
        keptNames.push_back(input.names[size_t(i)]);
    }
    ApplyMeniscusConsistencyRule(kept);
    for (size_t k = 0; k < kept.size(); ++k)
        lines.push_back(keptNames[k] + "\t" + MeniscusResultText(kept[k]));
    return lines;
}

bool WriteMeniscusReport(const std::string &path, const std::vector<std::string> &lines, std::string &error)
{
    std::string text;
    for (const std::string &line : lines)
        text += line + "\r\n";
    return platform::AtomicReplace(platform::NormalizePath(path), text, &error);
}
