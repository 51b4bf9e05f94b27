// The counting parameter sweep window: refusals, counts of disc images at every value, images that
// cannot be counted, Stop, the output folder and the remembered fields.
#include "BatchToolFixture.h"
#include "Screenshot.h"

#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/SystemInfo.h"
#include "support/FakeClock.h"
#include "support/ServiceFakes.h"
#include "tools/gui/AlgoIteratorTool.h"
#include "tools/gui/FillImageFileList.h"

#include <QComboBox>
#include <QPushButton>
#include <gmock/gmock.h>

namespace vantelis::test {
namespace {

namespace ai = algo_iterator_id;
using ::testing::HasSubstr;

class AlgoIteratorToolTest : public BatchToolFixture
{
  protected:
    AlgoIteratorTool &Tool()
    {
        ModelessWindow &window = AnalysisTools().AlgoIterator();
        if (!window.HasWindow()) {
            EXPECT_TRUE(window.Create(true));
        }
        AlgoIteratorTool *tool = m_windows->AlgoIteratorWindow();
        EXPECT_NE(tool, nullptr);
        tool->m_open_log = [this](const std::string &path) {
            std::lock_guard<std::mutex> lock(m_openedMutex);
            m_openedLogs.push_back(path);
        };
        return *tool;
    }

    void Prepare(AlgoIteratorTool &tool, const char *param, const char *start, const char *stop,
                 const char *step)
    {
        tool.SetControlText(ai::kParamSet, "Discs");
        tool.SetControlText(ai::kParamName, param);
        tool.SetControlText(ai::kStart, start);
        tool.SetControlText(ai::kStop, stop);
        tool.SetControlText(ai::kStep, step);
        tool.SetControlText(ai::kDirectory, ImageFolder());
        tool.SetControlText(ai::kFilter, "*.png");
        FillImageFileList(&tool);
    }

    bool SweepEnded(AlgoIteratorTool &tool)
    {
        return RunEventLoopUntil([&] {
            std::lock_guard<std::mutex> lock(m_openedMutex);
            return tool.IsControlEnabled(ai::kRun) && (!m_openedLogs.empty() || !Shown().empty());
        });
    }

    std::vector<std::string> OpenedLogs()
    {
        std::lock_guard<std::mutex> lock(m_openedMutex);
        return m_openedLogs;
    }

    // The log lines from the first column line on.
    static std::vector<std::string> Counts(const std::string &log)
    {
        std::vector<std::string> lines = Lines(log);
        auto first = std::find_if(lines.begin(), lines.end(), [](const std::string &line) {
            return line == "File\tParam\tValue\tCount1\tCount2" ||
                   line.rfind("Image does not exist", 0) == 0 || line.rfind("Problem trying", 0) == 0;
        });
        return std::vector<std::string>(first, lines.end());
    }

    std::mutex m_openedMutex;
    std::vector<std::string> m_openedLogs;
};

TEST_F(AlgoIteratorToolTest, RefusalsComeTogetherOnePerLineAndNothingStarts)
{
    WriteThreeDiscImages();
    AlgoIteratorTool &tool = Tool();
    const struct
    {
        const char *start, *stop, *step;
        bool select;
        std::string expected;
    } cases[] = {
        {"10", "5", "0", false,
         "StopLevel1 must be greater than StartLevel1\nStepLevel1 must be greater than zero.\n"
         "You must select at least one file."},
        {"0", "2000", "1", true, "Number of steps must be less than or equal to 1000."},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.expected);
        m_gui->Clear();
        Prepare(tool, "ObjectRadius1", c.start, c.stop, c.step);
        Select(tool, c.select ? std::vector<std::string>{} : std::vector<std::string>{"none"});
        tool.ControlAs<QPushButton>(ai::kRun)->click();
        ASSERT_EQ(m_gui->Messages().size(), 1u);
        EXPECT_EQ(m_gui->Messages()[0].text, c.expected);
        EXPECT_EQ(m_gui->Messages()[0].caption, "Algo Interator Tool");
        EXPECT_EQ(m_gui->Messages()[0].flags & platform::ui::MbIconError,
                  unsigned(platform::ui::MbIconError));
        EXPECT_TRUE(tool.IsControlEnabled(ai::kRun));
        // The error log holds the same text on one line.
        std::string logged = c.expected;
        std::replace(logged.begin(), logged.end(), '\n', ' ');
        EXPECT_THAT(ErrorLogText(m_dir.str()), HasSubstr("\tAlgoIteratorToolDlg\t"));
        EXPECT_THAT(ErrorLogText(m_dir.str()), HasSubstr(logged));
    }
    EXPECT_TRUE(Subfolders(ImageFolder()).empty());
}

TEST_F(AlgoIteratorToolTest, EveryImageIsCountedAtEveryValueAndFaultyImagesGetTheirLines)
{
    WriteThreeDiscImages();
    // An 8-bit image, a file that is no image, and one deleted after it was listed.
    cv::Mat eight;
    DiscImage(300, 400, {{100, 100}}).convertTo(eight, CV_8U, 1.0 / 16);
    WriteImage(m_dir.file("images/d8.png"), eight);
    WriteFileBytes(m_dir.file("images/e.png"), "not an image");
    WriteImage(m_dir.file("images/f.png"), DiscImage(300, 400, {{100, 100}}));
    FakeClockGuard clock;
    platform::SetFakeClock(MakeTime(2026, 12, 11, 1, 30, 5));

    AlgoIteratorTool &tool = Tool();
    // The discs cover about 113 pixels: a minimum size of 1 keeps each, 1001 and 2001 none.
    Prepare(tool, "CFilterMinSize1", "1", "2001", "1000");
    Select(tool);
    ASSERT_TRUE(std::filesystem::remove(m_dir.file("images/f.png")));
    tool.ControlAs<QPushButton>(ai::kRun)->click();
    EXPECT_FALSE(tool.IsControlEnabled(ai::kRun));
    EXPECT_TRUE(tool.IsControlEnabled(ai::kStopButton));
    ASSERT_TRUE(SweepEnded(tool));
    EXPECT_TRUE(Shown().empty()) << Shown().front();
    EXPECT_EQ(tool.ControlText(ai::kProgress), "");

    const std::string folder = ImageFolder() + "/AlgoIterTool_20261211_013005";
    ASSERT_EQ(OpenedLogs(), std::vector<std::string>{folder + "/AlgoIteratorTool.log"});
    const std::string log = ReadFileBytes(folder + "/AlgoIteratorTool.log");
    EXPECT_EQ(Lines(log)[0], "# ComputerName=" + platform::ComputerName());
    EXPECT_THAT(log, HasSubstr("# ******* Circular cell detection algo parameters ********"));
    std::vector<std::string> expected;
    for (const auto &[name, discs] :
         std::vector<std::pair<std::string, int>>{{"a.png", 1}, {"b.png", 2}, {"c.png", 3}}) {
        expected.push_back("File\tParam\tValue\tCount1\tCount2");
        expected.push_back(name + "\tCFilterMinSize1\t1\t" + std::to_string(discs) + "\t0");
        expected.push_back(name + "\tCFilterMinSize1\t1001\t0\t0");
        expected.push_back(name + "\tCFilterMinSize1\t2001\t0\t0");
    }
    const std::vector<std::string> counts = Counts(log);
    ASSERT_GE(counts.size(), expected.size() + 6);
    EXPECT_EQ(std::vector<std::string>(counts.begin(), counts.begin() + 12), expected);
    // The 8-bit image is never counted as holding nothing.
    EXPECT_EQ(counts[12], "File\tParam\tValue\tCount1\tCount2");
    for (int level = 0; level < 3; ++level) {
        const std::string value = std::to_string(1 + level * 1000);
        EXPECT_EQ(counts[size_t(13 + level)].rfind("d8.png\tCFilterMinSize1\t" + value +
                                                       "\tCountingAlgo() Error for image " + ImageFolder() +
                                                       "/d8.png: ",
                                                   0),
                  0u)
            << counts[size_t(13 + level)];
    }
    EXPECT_EQ(std::vector<std::string>(counts.begin() + 16, counts.end()),
              (std::vector<std::string>{"Problem trying to load image: " + ImageFolder() + "/e.png",
                                        "Image does not exist\t" + ImageFolder() + "/f.png"}));
}

TEST_F(AlgoIteratorToolTest, AFailedCountAtOneValueLeavesTheOtherValuesCounted)
{
    WriteThreeDiscImages();
    AlgoIteratorTool &tool = Tool();
    // No ring directions at 0: that count fails; at 12, the set's own value, the disc is counted.
    Prepare(tool, "MFilterSamples1", "0", "12", "12");
    Select(tool, {"a.png"});
    tool.ControlAs<QPushButton>(ai::kRun)->click();
    ASSERT_TRUE(SweepEnded(tool));
    ASSERT_EQ(OpenedLogs().size(), 1u);
    const std::vector<std::string> counts = Counts(ReadFileBytes(OpenedLogs()[0]));
    ASSERT_EQ(counts.size(), 3u);
    EXPECT_EQ(counts[1].rfind("a.png\tMFilterSamples1\t0\tCountingAlgo() Error for image ", 0), 0u)
        << counts[1];
    EXPECT_EQ(counts[2], "a.png\tMFilterSamples1\t12\t1\t0");
}

TEST_F(AlgoIteratorToolTest, StopEndsTheSweepAfterTheCurrentCountAndTheLogKeepsWhatWasCounted)
{
    WriteThreeDiscImages();
    AlgoIteratorTool &tool = Tool();
    Prepare(tool, "CFilterMinSize1", "1", "3", "1");
    Select(tool);
    m_gui->HoldAfterPost(1);
    tool.ControlAs<QPushButton>(ai::kRun)->click();
    ASSERT_TRUE(RunEventLoopUntil(
        [&] { return m_gui->Held() && tool.ControlText(ai::kProgress) == "file[1:3] step[1:3]"; }));
    tool.ControlAs<QPushButton>(ai::kStopButton)->click();
    m_gui->Release();
    ASSERT_TRUE(SweepEnded(tool));
    // Only the first value of the first image was counted.
    ASSERT_EQ(OpenedLogs().size(), 1u);
    EXPECT_EQ(
        Counts(ReadFileBytes(OpenedLogs()[0])),
        (std::vector<std::string>{"File\tParam\tValue\tCount1\tCount2", "a.png\tCFilterMinSize1\t1\t1\t0"}));
}

TEST_F(AlgoIteratorToolTest, TwoSweepsEndingInTheSameSecondWriteTwoLogs)
{
    WriteThreeDiscImages();
    FakeClockGuard clock;
    platform::SetFakeClock(MakeTime(2026, 12, 11, 1, 40, 0));
    AlgoIteratorTool &tool = Tool();
    Prepare(tool, "ObjectRadius1", "6", "6.5", "1");
    Select(tool, {"a.png"});
    for (int sweep = 0; sweep < 2; ++sweep) {
        tool.ControlAs<QPushButton>(ai::kRun)->click();
        ASSERT_TRUE(RunEventLoopUntil(
            [&] { return OpenedLogs().size() == size_t(sweep + 1) && tool.IsControlEnabled(ai::kRun); }));
    }
    EXPECT_EQ(Subfolders(ImageFolder()),
              (std::vector<std::string>{"AlgoIterTool_20261211_014000", "AlgoIterTool_20261211_014000_2"}));
    for (const std::string &log : OpenedLogs())
        EXPECT_EQ(Counts(ReadFileBytes(log)), (std::vector<std::string>{"File\tParam\tValue\tCount1\tCount2",
                                                                        "a.png\tObjectRadius1\t6\t1\t0"}));
    EXPECT_TRUE(Shown().empty());
}

TEST_F(AlgoIteratorToolTest, FieldsComeFromTheSettingsWithTheirDefaults)
{
    WriteSettings("[ExperimentSettings]\r\nDataDirectory=/data/experiments\r\n");
    AlgoIteratorTool &tool = Tool();
    tool.LoadSettings();
    EXPECT_EQ(tool.ControlText(ai::kDirectory), "/data/experiments");
    EXPECT_EQ(tool.ControlText(ai::kParamName), "ObjectRadius1");
    EXPECT_EQ(tool.ControlText(ai::kStart), "5");
    EXPECT_EQ(tool.ControlText(ai::kStop), "10");
    EXPECT_EQ(tool.ControlText(ai::kStep), "1");
    EXPECT_EQ(tool.ControlText(ai::kFilter), "*.png");
    auto *param = tool.ControlAs<QComboBox>(ai::kParamName);
    ASSERT_EQ(param->count(), 10);
    EXPECT_EQ(param->itemText(0).toStdString(), "ObjectRadius1");
    EXPECT_EQ(param->itemText(9).toStdString(), "CFilterThreshold2");

    m_gui->QueueAnswer(true, "/picked");
    tool.ControlAs<QPushButton>(ai::kBrowse)->click();
    EXPECT_EQ(tool.ControlText(ai::kDirectory), "/picked");
    ASSERT_EQ(m_gui->Requests().size(), 1u);
    EXPECT_EQ(m_gui->Requests()[0].title, "Select a directory with images to process.");
    EXPECT_EQ(m_gui->Requests()[0].start, "/data/experiments");

    tool.SetControlText(ai::kStep, "0.5");
    ASSERT_TRUE(RunEventLoopUntil([&] { return MainSetting("AlgoIteratorTool", "StepLevel1") == "0.5"; }));
    EXPECT_EQ(MainSetting("AlgoIteratorTool", "Directory"), "/picked");
}

TEST_F(AlgoIteratorToolTest, Screenshot)
{
    WriteThreeDiscImages();
    AlgoIteratorTool &tool = Tool();
    Prepare(tool, "ObjectRadius1", "5", "10", "1");
    Select(tool, {"a.png", "c.png"});
    tool.SetControlText(ai::kProgress, "file[1:2] step[3:6]");
    tool.resize(tool.sizeHint());
    QCoreApplication::processEvents();
    WriteScreenshotBeside(&m_area, &tool, "algo_iterator_tool");
}

} // namespace
} // namespace vantelis::test
