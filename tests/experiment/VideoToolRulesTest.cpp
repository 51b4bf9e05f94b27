// Channel words of image names, the video file path, the fps and range texts of the video tool.
#include "experiment/VideoToolRules.h"

#include <gtest/gtest.h>

namespace {

TEST(VideoToolRules, ChannelWordOfName)
{
    struct Case
    {
        const char *name;
        bool found;
        const char *word;
    } cases[] = {
        {"Exp1_Red_0012.png", true, "Red"},
        {"Exp1_Red_0012.PNG", true, "Red"},
        {"S_Green_Pos0003_1_2_3.png", true, "Green"},
        {"Green_Pos0003_1_2_3.png", true, "Green"},
        {"Pos0003_1_2_3.png", true, "2"}, // no underscore before "Pos": the second field
        {"x_pos_1_2_3.png", true, "2"},   // "_Pos" is case-sensitive
        {"nounderscore.png", false, ""},
        {"Exp1_Red_0012.tif", false, ""},
        {"G_Pos1_2_3.png", false, ""}, // too few fields for the fifth from the end
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string word;
        EXPECT_EQ(ChannelWordOf(c.name, word), c.found);
        if (c.found) {
            EXPECT_EQ(word, c.word);
        }
    }
}

TEST(VideoToolRules, ReplaceAndBuildChannelLists)
{
    struct Case
    {
        const char *channel, *name, *result;
    } cases[] = {
        {"Red", "A_Brightfield_0001.png", "A_Red_0001.png"},
        {"red", "A_Red_0001.png", "A_Red_0001.png"}, // equal ignoring case: unchanged
        {"Blue", "S_Green_Pos0003_1_2_3.png", "S_Blue_Pos0003_1_2_3.png"},
        {"Blue", "plain.png", "plain.png"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string name = c.name;
        ReplaceChannelInName(c.channel, name);
        EXPECT_EQ(name, c.result);
    }

    const std::vector<std::string> selected = {"A_Brightfield_0001.png", "A_Red_0001.png"};
    EXPECT_EQ(BuildChannelList("Brightfield", selected), std::vector<std::string>{"A_Brightfield_0001.png"});
    EXPECT_EQ(BuildChannelList("Red", selected), std::vector<std::string>{"A_Red_0001.png"});
    EXPECT_TRUE(BuildChannelList("", selected).empty());
}

TEST(VideoToolRules, CollectsAtMostFourDistinctWords)
{
    const std::vector<std::string> names = {
        "a_Brightfield_0001.png", "a_Red_0001.png",  "a_Red_0002.png",  "noword.png",
        "a_Green_0001.png",       "a_Blue_0001.png", "a_Extra_0001.png"};
    EXPECT_EQ(CollectChannelWords(names), (std::vector<std::string>{"Brightfield", "Red", "Green", "Blue"}));
    EXPECT_TRUE(CollectChannelWords({"one.png", "two.png"}).empty());
}

TEST(VideoToolRules, VideoFilePath)
{
    struct Case
    {
        const char *file, *folder, *path;
    } cases[] = {
        {"clip.mp4", "/data/img", "/data/img/clip.avi"},
        {"clip.mp4", "/data/img/", "/data/img/clip.avi"},
        {"/data/v/x.avi", "/data/img", "/data/v/x.avi"},
        {"sub/x", "/data/img", "/data/img/x.avi"},
        {"sub\\x", "/data/img", "/data/img/x.avi"},
        {"D:\\v\\x.avi", "/data/img", "D:\\v\\x.avi"},
        {"\\v\\x.mp4", "/data/img", "\\v\\x.avi"},
        {"clip", "", "clip.avi"},
        {"my.clip.mp4", "/d", "/d/my.clip.avi"},
        {"/d.x/clip", "/img", "/d.x/clip.avi"}, // a dot in the folder is no extension
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        EXPECT_EQ(VideoFilePath(c.file, c.folder), c.path);
    }
}

TEST(VideoToolRules, FpsAndRangeTexts)
{
    struct FpsCase
    {
        const char *text;
        bool ok;
    } fps_cases[] = {{"0.5", false}, {"31", false}, {"abc", false}, {"", false},
                     {"1", true},    {"30", true},  {"12.5", true}, {"nan", false}};
    for (const FpsCase &c : fps_cases) {
        SCOPED_TRACE(c.text);
        double fps = -1;
        EXPECT_EQ(ParseVideoFps(c.text, fps), c.ok);
        if (c.ok)
            EXPECT_DOUBLE_EQ(fps, std::stod(c.text));
        else
            EXPECT_EQ(fps, -1);
    }

    struct RangeCase
    {
        const char *text;
        int32_t lower, upper;
    } range_cases[] = {
        {"1000:2000", 1000, 2000}, {"-5:70000", 0, 65535}, {"100", 0, 65535}, {"", 0, 65535},
        {"a:b", 0, 65535},
    };
    for (const RangeCase &c : range_cases) {
        SCOPED_TRACE(c.text);
        int32_t lower = -1, upper = -1;
        ParseRangeText(c.text, lower, upper);
        EXPECT_EQ(lower, c.lower);
        EXPECT_EQ(upper, c.upper);
    }
}

} // namespace
