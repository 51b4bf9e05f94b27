#pragma once
// The rules of the video tool that need no window: channel words of image file names, the video
// file path, the frames-per-second and range texts.
#include <cstdint>
#include <string>
#include <vector>

// The channel word of a ".png" file name (any letter case): with "_Pos" in the name the fifth
// underscore-separated field from the end, otherwise the second. False when the name is no ".png"
// or has too few underscores. start and length locate the word in the name.
bool ChannelWordOf(const std::string &name, std::string &word, size_t *start = nullptr,
                   size_t *length = nullptr);

// Replaces the channel word of name by channel unless they are equal ignoring ASCII case. A name
// without a channel word stays as it is.
void ReplaceChannelInName(const std::string &channel, std::string &name);

// The distinct channel words (exact comparison) of the names, in their order, at most four.
std::vector<std::string> CollectChannelWords(const std::vector<std::string> &names);

// The names with the channel word replaced by channel, each added once; empty for an empty channel.
std::vector<std::string> BuildChannelList(const std::string &channel, const std::vector<std::string> &names);

// The full path of the video: a relative video file text is put (without its folder part) into the
// image folder; the extension becomes ".avi". A text starting with '/' or '\' or a drive letter is
// absolute and keeps its folder.
std::string VideoFilePath(const std::string &video_file, const std::string &image_folder);

// The frames per second of the text; false when it is not a number or outside 1.0..30.0.
bool ParseVideoFps(const std::string &text, double &fps);

// The "lower:upper" range text of a channel, clamped to 0..65535; 0..65535 when unreadable.
void ParseRangeText(const std::string &text, int32_t &lower, int32_t &upper);

extern const char *const kVideoFpsMessage;
