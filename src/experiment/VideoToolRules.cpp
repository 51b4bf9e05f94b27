#include "experiment/VideoToolRules.h"

#include "Ostravo/EString.h"
#include "platform/PathParts.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <strings.h>

const char *const kVideoFpsMessage = "fps must be between 1.0 and 30.0";

namespace {

bool EndsWithPngNoCase(const std::string &name)
{
    return name.size() >= 4 && strcasecmp(name.c_str() + name.size() - 4, ".png") == 0;
}

} // namespace

bool ChannelWordOf(const std::string &name, std::string &word, size_t *start, size_t *length)
{
    if (!EndsWithPngNoCase(name))
        return false;
    // Positions of the underscores; field k from the end (the last being 1) lies between the
    // underscores k and k - 1 counted from the end.
    std::vector<size_t> underscores;
    for (size_t i = 0; i < name.size(); ++i)
        if (name[i] == '_')
            underscores.push_back(i);
    const size_t field = name.find("_Pos") != std::string::npos ? 5 : 2;
    if (underscores.size() < field - 1)
        return false;
    const size_t end = underscores[underscores.size() - (field - 1)];
    const size_t begin = underscores.size() >= field ? underscores[underscores.size() - field] + 1 : 0;
    word = name.substr(begin, end - begin);
    if (start != nullptr)
        *start = begin;
    if (length != nullptr)
        *length = end - begin;
    return true;
}

void ReplaceChannelInName(const std::string &channel, std::string &name)
{
    std::string word;
    size_t start = 0, length = 0;
    if (!ChannelWordOf(name, word, &start, &length))
        return;
    if (strcasecmp(word.c_str(), channel.c_str()) != 0)
        name.replace(start, length, channel);
}

std::vector<std::string> CollectChannelWords(const std::vector<std::string> &names)
{
    std::vector<std::string> words;
    for (const std::string &name : names) {
        if (words.size() >= 4)
            break;
        std::string word;
        if (!ChannelWordOf(name, word))
            continue;
        bool listed = false;
        for (const std::string &w : words)
            listed = listed || w == word;
        if (!listed)
            words.push_back(word);
    }
    return words;
}

std::vector<std::string> BuildChannelList(const std::string &channel, const std::vector<std::string> &names)
{
    std::vector<std::string> list;
    if (channel.empty())
        return list;
    for (std::string name : names) {
        ReplaceChannelInName(channel, name);
        bool listed = false;
        for (const std::string &n : list)
            listed = listed || n == name;
        if (!listed)
            list.push_back(name);
    }
    return list;
}

std::string VideoFilePath(const std::string &video_file, const std::string &image_folder)
{
    const bool absolute =
        (!video_file.empty() && (video_file[0] == '\\' || video_file[0] == '/')) ||
        (video_file.size() >= 3 && std::isalpha(static_cast<unsigned char>(video_file[0])) &&
         video_file[1] == ':' && (video_file[2] == '\\' || video_file[2] == '/'));
    std::string path = video_file;
    if (!absolute) {
        const std::string name = platform::FileNameOf(video_file);
        EString joined;
        joined.JoinPath(image_folder.c_str(), name.c_str());
        path = joined.c_str() != nullptr ? joined.c_str() : name;
    }
    return platform::WithoutExtension(path) + ".avi";
}

bool ParseVideoFps(const std::string &text, double &fps)
{
    const char *begin = text.c_str();
    char *end = nullptr;
    const double value = std::strtod(begin, &end);
    if (end == begin || !(value >= 1.0 && value <= 30.0))
        return false;
    fps = value;
    return true;
}

void ParseRangeText(const std::string &text, int32_t &lower, int32_t &upper)
{
    long a = 0, b = 0;
    if (std::sscanf(text.c_str(), "%ld:%ld", &a, &b) == 2) {
        lower = a < 0 ? 0 : static_cast<int32_t>(a > 65535 ? 65535 : a);
        upper = b > 65535 ? 65535 : static_cast<int32_t>(b < 0 ? 0 : b);
        return;
    }
    lower = 0;
    upper = 65535;
}
