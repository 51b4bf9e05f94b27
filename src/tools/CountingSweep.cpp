#include "tools/CountingSweep.h"

#include "Ostravo/EString.h"
#include "Ostravo/Profile.h"
#include "analysis/CountingAlgo.h"
#include "analysis/CountingAlgoOptions.h"
#include "platform/Files.h"
#include "platform/ImageFile.h"
#include "tools/CountingParams.h"

#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace {

std::string Join(const std::string &folder, const std::string &name)
{
    EString joined;
    joined.JoinPath(folder.c_str(), name.c_str());
    return joined.c_str();
}

std::string ValueText(double value)
{
    char text[64];
    return FormatDouble(value, text);
}

// One log line per stored line: an error text may hold line ends of its own.
std::string OneLine(const std::string &text)
{
    std::string line = text;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    std::string out;
    for (char c : line) {
        if (c == '\r')
            continue;
        out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    return out;
}

bool ParseDouble(const std::string &text, double &value)
{
    double parsed = 0.0;
    if (std::sscanf(text.c_str(), "%lf", &parsed) != 1)
        return false;
    value = parsed;
    return true;
}

// Whole steps from start to stop. The quotient is rounded first when it lies within a few ulps of
// a whole number: 0.3 / 0.1 is 2.9999999999999996 in doubles, and the stop value typed by the user
// must not be dropped because of that.
double SweepSteps(double start, double stop, double step)
{
    const double quotient = (stop - start) / step;
    const double nearest = std::round(quotient);
    if (std::fabs(quotient - nearest) <= 1e-9 * std::max(1.0, std::fabs(nearest)))
        return nearest;
    return std::trunc(quotient);
}

} // namespace

const std::vector<std::string> &CountingSweepOptionNames()
{
    static const std::vector<std::string> names = {
        "ObjectRadius1",   "ObjectRadius2",   "MFilterThreshold1", "MFilterThreshold2", "MFilterSamples1",
        "MFilterSamples2", "CFilterMinSize1", "CFilterMinSize2",   "CFilterThreshold1", "CFilterThreshold2"};
    return names;
}

std::vector<std::string> CheckCountingSweep(const CountingSweepTexts &texts, const std::string &dataFolder,
                                            CountingSweepRequest &request)
{
    std::vector<std::string> messages;
    request.param_name = texts.param_name;

    const struct
    {
        const std::string &text;
        double &target;
        const char *key;
    } numbers[] = {{texts.start, request.start, "StartLevel1"},
                   {texts.stop, request.stop, "StopLevel1"},
                   {texts.step, request.step, "StepLevel1"}};
    for (const auto &number : numbers) {
        if (!ParseDouble(number.text, number.target))
            messages.push_back(std::string(number.key) + " must be a valid floating point number.");
    }
    if (!(request.start < request.stop))
        messages.emplace_back("StopLevel1 must be greater than StartLevel1");
    if (!(request.step > 0.0)) {
        messages.emplace_back("StepLevel1 must be greater than zero.");
    } else {
        // Not a number (infinite start and stop) counts as too many steps, as infinity does.
        const double steps = SweepSteps(request.start, request.stop, request.step);
        if (!(steps <= 1000.0))
            messages.emplace_back("Number of steps must be less than or equal to 1000.");
    }

    request.directory = texts.directory;
    request.files = texts.files;
    if (request.files.empty())
        messages.emplace_back("You must select at least one file.");

    // An empty name leaves only the extension, which names no set.
    std::string nameMessage;
    if (texts.set_name.empty()) {
        request.param_set_path = ".counting_params";
    } else if (!ValidateSetName(texts.set_name, nameMessage)) {
        // The name would lead out of the LIB folder: no file is read.
        request.param_set_path.clear();
        messages.push_back(nameMessage);
        return messages;
    } else {
        request.param_set_path = Join(Join(dataFolder, "LIB"), texts.set_name + ".counting_params");
    }
    char value[31] = {0};
    double stored = 0.0;
    if (!Ostravo::E_GetPrivateProfileString(kCountingParamsSection, request.param_name.c_str(), "", value,
                                            sizeof value, request.param_set_path.c_str()) ||
        !platform::FileExists(request.param_set_path) || !ParseDouble(value, stored) || stored == -1e100)
        messages.push_back("Params file does not have parameter: " + request.param_name);
    return messages;
}

int32_t CountingSweepLevels(const CountingSweepRequest &request)
{
    if (!(request.step > 0.0))
        return 0;
    const double steps = SweepSteps(request.start, request.stop, request.step);
    if (!(steps >= 0.0 && steps <= 1000.0))
        return 0;
    return int32_t(steps) + 1;
}

std::vector<std::string> RunCountingSweep(const CountingSweepRequest &request,
                                          const std::string &mainSettingsPath, const std::atomic<bool> &stop,
                                          const CountingSweepProgress &progress)
{
    std::vector<std::string> lines;
    const int32_t levels = CountingSweepLevels(request);
    const int32_t files = int32_t(request.files.size());

    CountingAlgoOptions options;
    EString error;
    if (!options.LoadFromParamsFile(request.param_set_path.c_str(), mainSettingsPath.c_str(), error)) {
        lines.push_back(OneLine(error.c_str()));
        return lines;
    }
    options.enabled = true;
    options.WriteAsComments(lines, mainSettingsPath.c_str());

    CountingBuffers buffers;
    for (int32_t i = 0; i < files && !stop.load(); ++i) {
        const std::string &name = request.files[size_t(i)];
        const std::string path = Join(request.directory, name);
        if (!platform::FileExists(path)) {
            lines.push_back("Image does not exist\t" + path);
            continue;
        }
        cv::Mat image;
        try {
            image = platform::ReadImageFile(path, cv::IMREAD_ANYDEPTH);
        } catch (const cv::Exception &) {
            image.release();
        }
        // A file that is not an image reads as nothing: it is reported, never counted as empty.
        if (image.empty()) {
            lines.push_back("Problem trying to load image: " + path);
            continue;
        }

        CountingAlgoOptions levelOptions;
        EString ignored;
        levelOptions.LoadFromParamsFile(request.param_set_path.c_str(), mainSettingsPath.c_str(), ignored);
        levelOptions.enabled = true;
        lines.emplace_back("File\tParam\tValue\tCount1\tCount2");
        for (int32_t j = 0; j < levels && !stop.load(); ++j) {
            const double value = double(j) * request.step + request.start;
            EString setError;
            if (!levelOptions.SetParamByName(request.param_name.c_str(), value, setError)) {
                lines.push_back(OneLine(setError.c_str()));
                return lines;
            }
            if (progress)
                progress(i + 1, files, j + 1, levels);
            std::vector<std::vector<CellDetection>> detections;
            EString countError;
            if (!CountingAlgo(image, levelOptions, detections, nullptr, &countError, &buffers)) {
                // The row keeps its file, option and value, and says why it holds no counts.
                std::string reason = OneLine(countError.c_str());
                for (char &c : reason)
                    if (c == '\r' || c == '\n' || c == '\t')
                        c = ' ';
                lines.push_back(name + "\t" + request.param_name + "\t" + ValueText(value) +
                                "\tCountingAlgo() Error for image " + path + ": " + reason);
                continue;
            }
            detections.resize(2);
            char counts[48];
            std::snprintf(counts, sizeof counts, "\t%ld\t%ld", long(detections[0].size()),
                          long(detections[1].size()));
            lines.push_back(name + "\t" + request.param_name + "\t" + ValueText(value) + counts);
        }
    }
    return lines;
}

std::string CountingSweepFolderName(const std::string &directory, const platform::LocalTime &time)
{
    char name[64];
    std::snprintf(name, sizeof name, "AlgoIterTool_%04u%02u%02u_%02u%02u%02u", unsigned(time.year),
                  unsigned(time.month), unsigned(time.day), unsigned(time.hour), unsigned(time.minute),
                  unsigned(time.second));
    return Join(directory, name);
}

bool WriteCountingSweepLog(const std::string &directory, const platform::LocalTime &time,
                           const std::string &computerName, const std::vector<std::string> &lines,
                           std::string &logPath, std::string &error)
{
    const std::string base = CountingSweepFolderName(directory, time);
    std::string folder = base;
    bool made = false;
    for (int n = 2; n <= 1000; ++n) {
        std::error_code ec;
        if (std::filesystem::create_directory(platform::NormalizePath(folder), ec) && !ec) {
            made = true;
            break;
        }
        // Only a name that is taken already (another sweep's folder) is worth another try.
        if (ec || (!platform::FolderExists(folder) && !platform::FileExists(folder)))
            break;
        folder = base + "_" + std::to_string(n);
    }
    if (!made) {
        error = "Can't create output directory: " + base;
        return false;
    }

    logPath = Join(folder, "AlgoIteratorTool.log");
    std::FILE *file = std::fopen(logPath.c_str(), "wb");
    if (file == nullptr) {
        error = "Can't create ouput file for AlgoIteratorTool run: " + logPath;
        return false;
    }
    std::string text = "# ComputerName=" + computerName + "\r\n";
    for (const std::string &line : lines)
        text += line + "\r\n";
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const bool flushed = std::fflush(file) == 0;
    const bool closed = std::fclose(file) == 0;
    if (!written || !flushed || !closed) {
        error =
            "Can't write ouput file for AlgoIteratorTool run: " + logPath + " (" + std::strerror(errno) + ")";
        return false;
    }
    return true;
}
