// The pixel maths of the video writers (checked directly: the codecs are lossy) and videos of
// generated image folders decoded back.
#include "Ostravo/VideoWriter.h"
#include "support/EndedProcess.h"
#include "support/TempDir.h"

#include <gmock/gmock.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

using ::testing::HasSubstr;
using ::testing::StartsWith;
using vantelis::test::ReadFileBytes;
using vantelis::test::TempDir;

namespace {

TEST(VideoWriterMaths, ChannelValueThroughWindow)
{
    const int32_t window[2] = {1000, 2000};
    const int32_t reversed[2] = {2000, 1000};
    const int32_t flat[2] = {100, 100};
    struct Case
    {
        const char *what;
        uint16_t sample;
        const int32_t *window;
        int value;
    } cases[] = {
        {"inside the window", 1500, window, 64},
        {"above the window", 3000, window, 127},
        {"below the window", 500, window, 0},
        {"no window", 40000, nullptr, 78},
        {"no window, full scale", 65535, nullptr, 127},
        // A window without width or reversed is read as 0..65535 instead of a gain <= 0 or infinite.
        {"reversed window", 40000, reversed, 78},
        {"empty window", 40000, flat, 78},
        {"empty window, zero", 0, flat, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Ostravo::CompositeChannelValue(c.sample, c.window), c.value);
    }
}

TEST(VideoWriterMaths, StretchIntensityRange)
{
    cv::Mat frame = (cv::Mat_<uint16_t>(1, 4) << 0, 20000, 40000, 65535);
    const cv::Mat before = frame.clone();
    EXPECT_FALSE(Ostravo::StretchIntensityRange(frame, 100, 100));
    EXPECT_FALSE(Ostravo::StretchIntensityRange(frame, 200, 100));
    EXPECT_EQ(cv::countNonZero(frame != before), 0);

    ASSERT_TRUE(Ostravo::StretchIntensityRange(frame, 0, 32768));
    EXPECT_EQ(frame.at<uint16_t>(0, 0), 0);
    EXPECT_EQ(frame.at<uint16_t>(0, 1), 40000);
    EXPECT_EQ(frame.at<uint16_t>(0, 2), 65535);
    EXPECT_EQ(frame.at<uint16_t>(0, 3), 65535);

    cv::Mat shifted = (cv::Mat_<uint16_t>(1, 3) << 50, 100, 1100);
    ASSERT_TRUE(Ostravo::StretchIntensityRange(shifted, 100, 1100));
    EXPECT_EQ(shifted.at<uint16_t>(0, 0), 0);     // below the window
    EXPECT_EQ(shifted.at<uint16_t>(0, 1), 0);     // the lower level
    EXPECT_EQ(shifted.at<uint16_t>(0, 2), 65535); // 65536 capped
}

// A folder of 16-bit images of one grey level each.
class VideoFolder : public ::testing::Test
{
  protected:
    void Write(const std::string &name, uint16_t level, int width = 64, int height = 48)
    {
        cv::Mat image(height, width, CV_16U, cv::Scalar(level));
        ASSERT_TRUE(cv::imwrite(dir.file(name), image));
    }
    static void Fill(Ostravo::ImageNameList &list, std::initializer_list<const char *> names)
    {
        for (const char *name : names)
            list.Add(new EString(name));
    }
    static int FrameCount(const std::string &path, cv::Size &size)
    {
        cv::VideoCapture capture(path, cv::CAP_FFMPEG);
        if (!capture.isOpened())
            return -1;
        int count = 0;
        cv::Mat frame;
        while (capture.read(frame)) {
            size = frame.size();
            ++count;
        }
        return count;
    }
    TempDir dir;
    Ostravo::ImageNameList empty;
};

TEST_F(VideoFolder, MonochromeVideoOfTenImages)
{
    Ostravo::ImageNameList names;
    for (int i = 0; i < 10; ++i) {
        const std::string name = "m_" + std::to_string(i) + ".png";
        Write(name, static_cast<uint16_t>(1000 * i));
        names.Add(new EString(name.c_str()));
    }
    std::vector<std::string> progress;
    EString error;
    const std::string out = dir.file("mono.avi");
    ASSERT_TRUE(Ostravo::CreateVideo(
        out.c_str(), dir.str().c_str(), names, 5.0, [&](const std::string &t) { progress.push_back(t); },
        nullptr, error, 0, 10000))
        << error.c_str();
    cv::Size size;
    EXPECT_EQ(FrameCount(out, size), 10);
    EXPECT_EQ(size, cv::Size(64, 48));
    ASSERT_EQ(progress.size(), 10u);
    EXPECT_EQ(progress.front(), "1 of 10");
    EXPECT_EQ(progress[8], "9 of 10");
    EXPECT_EQ(progress.back(), "");
}

TEST_F(VideoFolder, ColourVideoSkipsMissingChannelFiles)
{
    Ostravo::ImageNameList bf, red, green;
    for (int i = 0; i < 10; ++i) {
        const std::string n = std::to_string(i);
        Write("a_BF_" + n + ".png", 20000);
        Write("a_Red_" + n + ".png", 30000);
        if (i != 4)
            Write("a_Green_" + n + ".png", 30000);
        bf.Add(new EString(("a_BF_" + n + ".png").c_str()));
        if (i < 3)
            red.Add(new EString(("a_Red_" + n + ".png").c_str())); // shorter list
        green.Add(new EString(("a_Green_" + n + ".png").c_str()));
    }
    EString error;
    const std::string out = dir.file("colour.avi");
    const std::vector<int32_t> windows = {0, 65535, 0, 65535, 0, 65535, 0, 65535};
    ASSERT_TRUE(Ostravo::CreateVideo4Chan(out.c_str(), dir.str().c_str(), bf, red, green, empty, 5.0, nullptr,
                                          nullptr, error, &windows))
        << error.c_str();
    cv::Size size;
    EXPECT_EQ(FrameCount(out, size), 10);
    EXPECT_EQ(size, cv::Size(64, 48));

    // The frames themselves, composed directly: grey 39, red adds 58 while the list lasts, green
    // adds 58 except where its file is missing.
    cv::Mat frame(48, 64, CV_8UC3);
    struct Case
    {
        int index;
        cv::Vec3b bgr;
    } cases[] = {{0, {39, 97, 97}}, {4, {39, 39, 39}}, {5, {39, 97, 39}}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.index);
        ASSERT_TRUE(Ostravo::assign_composite_intensity(dir.str().c_str(), bf, red, green, empty, c.index,
                                                        frame, error, &windows));
        EXPECT_EQ(frame.at<cv::Vec3b>(10, 10), c.bgr);
    }
}

TEST_F(VideoFolder, StopLeavesShorterValidVideo)
{
    Ostravo::ImageNameList names;
    for (int i = 0; i < 10; ++i) {
        const std::string name = "s_" + std::to_string(i) + ".png";
        Write(name, 3000);
        names.Add(new EString(name.c_str()));
    }
    for (bool colour : {false, true}) {
        SCOPED_TRACE(colour ? "colour" : "monochrome");
        std::atomic<bool> stop{false};
        int calls = 0;
        auto status = [&](const std::string &) {
            if (++calls == 3)
                stop = true; // set while frame 3 is being made
        };
        EString error;
        const std::string out = dir.file(colour ? "c.avi" : "m.avi");
        const bool ok = colour ? Ostravo::CreateVideo4Chan(out.c_str(), dir.str().c_str(), names, empty,
                                                           empty, empty, 5.0, status, &stop, error, nullptr)
                               : Ostravo::CreateVideo(out.c_str(), dir.str().c_str(), names, 5.0, status,
                                                      &stop, error, 0, 65535);
        ASSERT_TRUE(ok) << error.c_str();
        cv::Size size;
        EXPECT_EQ(FrameCount(out, size), 4);
    }
}

TEST_F(VideoFolder, FailuresNameTheFile)
{
    Write("b_0.png", 100);
    Write("b_2.png", 100);
    Write("small.png", 100, 32, 32);
    Ostravo::ImageNameList gap, odd, none, one;
    Fill(gap, {"b_0.png", "b_1.png", "b_2.png"});
    Fill(odd, {"b_0.png", "small.png"});
    Fill(one, {"b_0.png"});
    const std::string out = dir.file("f.avi");
    const std::string folder = dir.str();
    EString error;
    // An earlier video of the name: every failed run below leaves it whole.
    ASSERT_TRUE(
        Ostravo::CreateVideo(out.c_str(), folder.c_str(), one, 5.0, nullptr, nullptr, error, 0, 65535))
        << error.c_str();
    const std::string earlier = ReadFileBytes(out);
    ASSERT_FALSE(earlier.empty());

    EXPECT_FALSE(Ostravo::CreateVideo4Chan(out.c_str(), folder.c_str(), gap, empty, empty, empty, 5.0,
                                           nullptr, nullptr, error, nullptr));
    EXPECT_THAT(error.c_str(), StartsWith("Ostravo::assign_composite_intensity("));
    EXPECT_THAT(error.c_str(), HasSubstr(") : Image does not exist: "));
    EXPECT_THAT(error.c_str(), HasSubstr("b_1.png"));

    EXPECT_FALSE(Ostravo::CreateVideo4Chan(out.c_str(), folder.c_str(), odd, empty, empty, empty, 5.0,
                                           nullptr, nullptr, error, nullptr));
    EXPECT_THAT(error.c_str(), HasSubstr("Image has unexpected size: "));

    EXPECT_FALSE(
        Ostravo::CreateVideo(out.c_str(), folder.c_str(), gap, 5.0, nullptr, nullptr, error, 0, 65535));
    EXPECT_THAT(error.c_str(), HasSubstr("image file does not exist: "));
    EXPECT_THAT(error.c_str(), HasSubstr("b_1.png"));
    EXPECT_EQ(ReadFileBytes(out), earlier) << "a failed video replaces nothing";

    EXPECT_FALSE(
        Ostravo::CreateVideo(out.c_str(), folder.c_str(), odd, 5.0, nullptr, nullptr, error, 0, 65535));
    EXPECT_THAT(error.c_str(), HasSubstr("Image has unexpected size: "));

    EXPECT_FALSE(
        Ostravo::CreateVideo(out.c_str(), folder.c_str(), none, 5.0, nullptr, nullptr, error, 0, 65535));
    EXPECT_THAT(error.c_str(), HasSubstr("image_names must have one or more images."));
    EXPECT_FALSE(Ostravo::CreateVideo4Chan(out.c_str(), folder.c_str(), none, empty, empty, empty, 5.0,
                                           nullptr, nullptr, error, nullptr));
    EXPECT_THAT(error.c_str(), HasSubstr("brightfield_fnames must have one or more images."));

    const std::string nowhere = dir.file("missing/f.avi");
    EXPECT_FALSE(
        Ostravo::CreateVideo(nowhere.c_str(), folder.c_str(), one, 5.0, nullptr, nullptr, error, 0, 65535));
    EXPECT_THAT(error.c_str(), HasSubstr("unable to create file: " + nowhere));
    EXPECT_FALSE(Ostravo::CreateVideo4Chan(nowhere.c_str(), folder.c_str(), one, empty, empty, empty, 5.0,
                                           nullptr, nullptr, error, nullptr));
    EXPECT_THAT(error.c_str(), HasSubstr("Can't open VideoWriter object."));
    EXPECT_EQ(ReadFileBytes(out), earlier);
    // Nothing half-written or temporary is left beside it.
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(dir.path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"b_0.png", "b_2.png", "f.avi", "small.png"}));

    std::vector<std::string> progress;
    ASSERT_TRUE(Ostravo::CreateVideo(
        out.c_str(), folder.c_str(), one, 5.0, [&](const std::string &t) { progress.push_back(t); }, nullptr,
        error, 0, 65535));
    EXPECT_EQ(progress, std::vector<std::string>{""});
}

TEST_F(VideoFolder, AVideoStagedByAKilledRunIsClearedByTheNextVideo)
{
    // The staging folder a run that was killed mid-write leaves beside its video: its writer's
    // process id is that of a child that has ended.
    const pid_t gone = vantelis::test::EndedProcessId();
    ASSERT_GT(gone, 0);
    const std::string staged = dir.file(".clip.avi.tmp" + std::to_string(gone) + "_0");
    std::filesystem::create_directory(staged);
    vantelis::test::WriteFileBytes(staged + "/clip.avi", "half a video");

    Write("a.png", 1000);
    Write("b.png", 2000);
    Ostravo::ImageNameList names;
    Fill(names, {"a.png", "b.png"});
    EString error;
    const std::string out = dir.file("clip.avi");
    ASSERT_TRUE(
        Ostravo::CreateVideo(out.c_str(), dir.str().c_str(), names, 5.0, nullptr, nullptr, error, 0, 10000))
        << error.c_str();
    cv::Size size;
    EXPECT_EQ(FrameCount(out, size), 2);
    std::vector<std::string> left;
    for (const auto &entry : std::filesystem::directory_iterator(dir.str()))
        left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"a.png", "b.png", "clip.avi"}));
}

} // namespace
