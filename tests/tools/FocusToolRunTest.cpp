#include "tools/FocusToolRun.h"

#include "FolderToolFixtures.h"
#include "support/FakeUi.h"
#include "support/FifoGuard.h"
#include "support/ServiceFakes.h"
#include "support/TempDir.h"

#include "Ostravo/LogError.h"
#include "platform/Files.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

namespace vantelis::test {
namespace {

using ::testing::HasSubstr;

// Columns 824 to 1624 need an image at least 1625 pixels wide; rows 100 to 199 come from channel
// lines at 0 and 299.
constexpr const char *kSettings = "[Cartridge]\r\nCartridgeUpperChannel=0\r\nCartridgeLowerChannel=299\r\n";

// A checkerboard of 50-pixel squares (4000 grey levels apart) on a ramp that rises 60 levels per
// row. Blurring a linear ramp leaves it as it is, so the typical (median) edge strength stays that
// of the ramp while the squares' edges, the strongest ones, soften: the score can only fall.
cv::Mat SharpImage(int rows = 300, int columns = 1700)
{
    cv::Mat image(rows, columns, CV_16UC1);
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < columns; ++x)
            image.at<uint16_t>(y, x) = uint16_t(5000 + 60 * y + (((x / 50) + (y / 50)) % 2 ? 4000 : 0));
    return image;
}

cv::Mat Blurred(const cv::Mat &image, int kernel)
{
    cv::Mat out;
    cv::GaussianBlur(image, out, cv::Size(kernel, kernel), 0);
    return out;
}

std::vector<std::string> Lines(const std::string &text)
{
    std::vector<std::string> lines;
    std::stringstream stream(text);
    std::string line;
    while (std::getline(stream, line, '\n')) {
        EXPECT_FALSE(line.empty() || line.back() != '\r') << "line without CR LF: " << line;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

TEST(FocusToolRegion, ChannelLinesGiveTheRows)
{
    TempDir dir;
    struct Case
    {
        const char *settings;
        Ostravo::ImageRegion expected;
    } cases[] = {
        {"[Cartridge]\r\nCartridgeUpperChannel=400\r\nCartridgeLowerChannel=1500\r\n",
         {824, 500, 1624, 1400}},
        {"[Cartridge]\r\nCartridgeUpperChannel=400\r\n", {824, 500, 1624, -100}},
        {"[Cartridge]\r\nCartridgeUpperChannel=abc\r\nCartridgeLowerChannel=1500\r\n",
         {824, 100, 1624, 1400}},
        {"", {824, 100, 1624, -100}},
    };
    for (const Case &c : cases) {
        WriteFileBytes(dir.file("Plexorin.ini"), c.settings);
        const Ostravo::ImageRegion r = FocusToolRegion(dir.file("Plexorin.ini"));
        EXPECT_EQ(r.left, c.expected.left) << c.settings;
        EXPECT_EQ(r.top, c.expected.top) << c.settings;
        EXPECT_EQ(r.right, c.expected.right) << c.settings;
        EXPECT_EQ(r.bottom, c.expected.bottom) << c.settings;
    }
}

// The settings shipped for a new data folder give a region inside the camera's 2048 rows that is
// large enough to score.
TEST(FocusToolRegion, ShippedSettingsGiveAUsableRegion)
{
    const Ostravo::ImageRegion r =
        FocusToolRegion(std::string(VANTELIS_SOURCE_DIR) + "/res/data/Default/Vantelis.ini");
    EXPECT_GE(r.top, 0);
    EXPECT_LT(r.bottom, 2048);
    EXPECT_LE(r.top, r.bottom);
    EXPECT_GE((int64_t(r.right) - r.left + 1) * (int64_t(r.bottom) - r.top + 1), 2000);
}

class FocusRunTest : public ::testing::Test
{
  protected:
    FocusRunTest()
    {
        std::filesystem::create_directories(m_dir.file("LOG"));
        SetLogDataDirectory(m_dir.str().c_str());
        std::filesystem::create_directories(m_dir.file("img"));
        WriteFileBytes(m_dir.file("Plexorin.ini"), kSettings);
        m_input.folder = m_dir.file("img");
        m_input.product_name = "Vantelis";
        m_input.version = "1.2.3.4";
        m_input.region = FocusToolRegion(m_dir.file("Plexorin.ini"));
        m_input.start.year = 2026;
        m_input.start.month = 3;
        m_input.start.day = 4;
        m_input.start.hour = 10;
        m_hooks.progress = [this](int32_t i, int32_t n) {
            m_progress.push_back(std::to_string(i) + "/" + std::to_string(n));
        };
        m_hooks.wait = [this] { ++m_waits; };
    }
    ~FocusRunTest() override { SetLogDataDirectory(""); }

    FocusRunEnd Run(std::vector<std::string> names)
    {
        m_input.names = std::move(names);
        return RunFocusTool(m_input, m_stop, m_hooks, m_report);
    }

    std::vector<std::string> Header() const
    {
        return {"Vantelis Version = 1.2.3.4",
                "FocusTool",
                "directory=" + m_input.folder,
                "ROI_left=824",
                "ROI_right=1624",
                "ROI_top=" + std::to_string(m_input.region.top),
                "ROI_bottom=" + std::to_string(m_input.region.bottom),
                "Image\tscore\tms"};
    }

    std::string Image(const std::string &name) const { return m_dir.file("img/" + name); }

    TempDir m_dir;
    ScopedFakeUi m_ui;
    FocusRunInput m_input;
    FocusRunHooks m_hooks;
    std::atomic<bool> m_stop{false};
    std::string m_report;
    std::vector<std::string> m_progress;
    int m_waits = 0;
};

TEST_F(FocusRunTest, SharpImageScoresAboveItsBlurredCopies)
{
    const cv::Mat sharp = SharpImage();
    WritePng(Image("f_1.png"), sharp);
    WritePng(Image("f_2.png"), Blurred(sharp, 5));
    WritePng(Image("f_3.png"), Blurred(sharp, 11));
    ASSERT_EQ(Run({"f_1.png", "f_2.png", "f_3.png"}), FocusRunEnd::Completed);
    // Named at the start of the run.
    EXPECT_EQ(m_report, m_dir.file("img/FocusTool_20260304_100000.txt"));
    const std::vector<std::string> lines = Lines(ReadFileBytes(m_report));
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 8), Header());
    EXPECT_EQ(m_input.region.top, 100);
    EXPECT_EQ(m_input.region.bottom, 199);
    double scores[3];
    for (int i = 0; i < 3; ++i) {
        std::vector<std::string> fields;
        std::stringstream row(lines[size_t(8 + i)]);
        for (std::string field; std::getline(row, field, '\t');)
            fields.push_back(field);
        ASSERT_EQ(fields.size(), 3u) << lines[size_t(8 + i)];
        EXPECT_EQ(fields[0], "f_" + std::to_string(i + 1) + ".png");
        scores[i] = std::stod(fields[1]);
        EXPECT_GE(std::stoi(fields[2]), 0);
    }
    EXPECT_GT(scores[0], scores[1]);
    EXPECT_GT(scores[1], scores[2]);
    EXPECT_EQ(m_waits, 3);
    EXPECT_EQ(m_progress, (std::vector<std::string>{"1/3", "2/3", "3/3"}));
    EXPECT_TRUE(m_ui->Messages().empty());
}

TEST_F(FocusRunTest, StopDuringTheFirstImageKeepsItsRowOnly)
{
    WritePng(Image("g_1.png"), SharpImage());
    WritePng(Image("g_2.png"), SharpImage());
    m_hooks.wait = [this] { m_stop = true; };
    EXPECT_EQ(Run({"g_1.png", "g_2.png"}), FocusRunEnd::Stopped);
    const std::vector<std::string> lines = Lines(ReadFileBytes(m_report));
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[8].substr(0, 8), "g_1.png\t");
}

TEST_F(FocusRunTest, MissingLowerChannelEndsTheRunAfterTheHeader)
{
    WriteFileBytes(m_dir.file("Plexorin.ini"), "[Cartridge]\r\nCartridgeUpperChannel=0\r\n");
    m_input.region = FocusToolRegion(m_dir.file("Plexorin.ini"));
    WritePng(Image("h_1.png"), SharpImage());
    WritePng(Image("h_2.png"), SharpImage());
    EXPECT_EQ(Run({"h_1.png", "h_2.png"}), FocusRunEnd::ScoreFailed);
    EXPECT_EQ(Lines(ReadFileBytes(m_report)), Header());
    const char *message = "ComputeFocusScore() Region of interest must include at least 2000 pixels";
    ASSERT_EQ(m_ui->Messages().size(), 1u);
    EXPECT_EQ(m_ui->Messages()[0].text, message);
    EXPECT_THAT(ErrorLogText(m_dir.str()), HasSubstr(message));
    EXPECT_EQ(m_waits, 1);
}

TEST_F(FocusRunTest, ImagesThatCannotBeScoredHereAreLoggedAndSkipped)
{
    WritePng(Image("i_1.png"), SharpImage(300, 1000)); // narrower than the region
    WritePng(Image("i_2.png"), SharpImage(150, 1700)); // shorter than the region
    WriteFileBytes(Image("i_3.png"), "not an image");
    WritePng(Image("i_4.png"), SharpImage());
    EXPECT_EQ(Run({"i_1.png", "i_2.png", "i_3.png", "missing.png", "i_4.png"}), FocusRunEnd::Completed);
    const std::vector<std::string> lines = Lines(ReadFileBytes(m_report));
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[8].substr(0, 8), "i_4.png\t");
    const std::string log = ErrorLogText(m_dir.str());
    EXPECT_THAT(log, HasSubstr("does not contain the region of interest (824, 100) - (1624, 199): " +
                               Image("i_1.png")));
    EXPECT_THAT(log, HasSubstr("does not contain the region of interest (824, 100) - (1624, 199): " +
                               Image("i_2.png")));
    EXPECT_THAT(log, HasSubstr("Problem trying to load image: " + Image("i_3.png")));
    EXPECT_THAT(log, HasSubstr("Problem trying to load image: " + Image("missing.png")));
    EXPECT_TRUE(m_ui->Messages().empty());
}

// An image the score refuses (8-bit) ends the run: the images after it are not scored.
TEST_F(FocusRunTest, AScoreFailureEndsTheRun)
{
    WritePng(Image("j_1.png"), SharpImage());
    cv::Mat eightBit;
    SharpImage().convertTo(eightBit, CV_8U, 1.0 / 256);
    WritePng(Image("j_2.png"), eightBit);
    WritePng(Image("j_3.png"), SharpImage());
    EXPECT_EQ(Run({"j_1.png", "j_2.png", "j_3.png"}), FocusRunEnd::ScoreFailed);
    const std::vector<std::string> lines = Lines(ReadFileBytes(m_report));
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[8].substr(0, 8), "j_1.png\t");
    ASSERT_EQ(m_ui->Messages().size(), 1u);
    EXPECT_THAT(m_ui->Messages()[0].text, HasSubstr("CV_16UC1"));
    EXPECT_EQ(m_waits, 2);
}

TEST_F(FocusRunTest, AReportThatCannotBeCreatedStopsTheRun)
{
    m_input.folder = m_dir.file("no such folder");
    EXPECT_EQ(Run({"k_1.png"}), FocusRunEnd::ReportFailed);
    const std::string message =
        "Unable to create file: " + m_dir.file("no such folder/FocusTool_20260304_100000.txt");
    ASSERT_EQ(m_ui->Messages().size(), 1u);
    EXPECT_EQ(m_ui->Messages()[0].text, message);
    EXPECT_EQ(m_ui->Messages()[0].flags, platform::ui::MbOk | platform::ui::MbIconError);
    EXPECT_THAT(ErrorLogText(m_dir.str()), HasSubstr(message));
    EXPECT_EQ(m_waits, 0);
}

TEST_F(FocusRunTest, AFailedWriteKeepsTheReportWholeAndAFifoImageIsSkippedWithoutBlocking)
{
    WritePng(Image("m_1.png"), SharpImage());
    WritePng(Image("m_3.png"), SharpImage());
    WritePng(Image("m_4.png"), SharpImage());
    ASSERT_EQ(::mkfifo(Image("m_2.png").c_str(), 0600), 0);
    // The disk fills while the fourth image is scored: half of the new bytes would reach the disk.
    int waits = 0;
    m_hooks.wait = [&] {
        if (++waits == 4)
            platform::FailNextReplaceAt(platform::ReplaceFailurePoint::Write);
    };
    FocusRunEnd end = FocusRunEnd::Completed;
    EXPECT_TRUE(ReturnsWithoutBlocking(
        [&] {
            end = Run({"m_1.png", "m_2.png", "m_3.png", "m_4.png"});
        },
        {Image("m_2.png")}));
    EXPECT_EQ(end, FocusRunEnd::ReportFailed);
    const std::string message = "Unable to write file: " + m_report;
    ASSERT_EQ(m_ui->Messages().size(), 1u);
    EXPECT_EQ(m_ui->Messages()[0].text, message);
    EXPECT_THAT(ErrorLogText(m_dir.str()), HasSubstr("Problem trying to load image: " + Image("m_2.png")));
    // The report holds the header and the rows written before, each whole; nothing else was left.
    const std::vector<std::string> lines = Lines(ReadFileBytes(m_report));
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[8].substr(0, 8), "m_1.png\t");
    EXPECT_EQ(lines[9].substr(0, 8), "m_3.png\t");
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(m_dir.file("img")))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"FocusTool_20260304_100000.txt", "m_1.png", "m_2.png",
                                               "m_3.png", "m_4.png"}));
    platform::FailNextReplaceAt(platform::ReplaceFailurePoint::None);
}

TEST(FocusReportPath, JoinsTheFolderAndTheStartTime)
{
    platform::LocalTime t;
    t.year = 2026;
    t.month = 12;
    t.day = 31;
    t.hour = 23;
    t.minute = 59;
    t.second = 9;
    EXPECT_EQ(FocusReportPath("/data/img", t), "/data/img/FocusTool_20261231_235909.txt");
    EXPECT_EQ(FocusReportPath("/data/img/", t), "/data/img/FocusTool_20261231_235909.txt");
    EXPECT_EQ(FocusReportPath("", t), "FocusTool_20261231_235909.txt");
}

} // namespace
} // namespace vantelis::test
