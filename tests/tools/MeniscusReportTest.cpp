#include "tools/MeniscusReport.h"

#include "FolderToolFixtures.h"
#include "support/TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <utility>

namespace vantelis::test {
namespace {

using ::testing::ElementsAre;

MeniscusResult Found(int32_t column)
{
    MeniscusResult r;
    r.found = true;
    r.column = column;
    r.upper_wall = 50;
    r.lower_wall = 150;
    return r;
}

MeniscusResult NotFound()
{
    MeniscusResult r;
    r.upper_wall = 50;
    r.lower_wall = 150;
    return r;
}

TEST(MeniscusReport, ConsistencyRuleClearsResultsThatDisagreeWithTheirNeighbours)
{
    struct Case
    {
        const char *what;
        std::vector<MeniscusResult> results;
        std::vector<bool> expected;
    } cases[] = {
        {"201 columns apart: both dropped", {Found(300), Found(501)}, {false, false}},
        {"201 columns apart, leftwards", {Found(501), Found(300)}, {false, false}},
        {"exactly 200 apart: both kept", {Found(300), Found(500)}, {true, true}},
        // The rule only looks backwards through (a); the first result is never cleared by (b).
        {"found, not found, found", {Found(300), NotFound(), Found(310)}, {true, false, true}},
        {"a found result before a gap is dropped",
         {Found(300), Found(310), NotFound()},
         {true, false, false}},
        {"a lone found result between gaps", {NotFound(), Found(300), NotFound()}, {false, false, false}},
        {"the last result is never dropped for its successor", {NotFound(), Found(300)}, {false, true}},
        {"a jump clears the pair, the next one stands alone",
         {Found(100), Found(301), Found(310)},
         {false, false, true}},
        {"a single found result", {Found(300)}, {true}},
        {"a single missing result", {NotFound()}, {false}},
        {"no results", {}, {}},
    };
    for (Case &c : cases) {
        ApplyMeniscusConsistencyRule(c.results);
        std::vector<bool> found;
        for (const MeniscusResult &r : c.results)
            found.push_back(r.found);
        EXPECT_EQ(found, c.expected) << c.what;
    }
}

TEST(MeniscusReport, ResultTextByOutcome)
{
    MeniscusResult withForm = Found(312);
    withForm.form_valid = true;
    withForm.form = -10.0f;
    MeniscusResult dropped = Found(312); // found, then cleared by the rule: the column is not shown
    dropped.found = false;
    const std::pair<MeniscusResult, const char *> cases[] = {
        {withForm, "50\t150\tTrue\t312\t -10.0"},
        {Found(312), "50\t150\tTrue\t312"},
        {dropped, "50\t150\tFalse\t\t"},
        {MeniscusResult{}, "-1\t-1\tFalse\t\t"},
    };
    for (const auto &[result, text] : cases)
        EXPECT_EQ(MeniscusResultText(result), text);
}

TEST(MeniscusReport, ReportPathJoinsTheFolderAndTheEndTime)
{
    platform::LocalTime t;
    t.year = 2026;
    t.month = 1;
    t.day = 2;
    t.hour = 3;
    t.minute = 4;
    t.second = 5;
    EXPECT_EQ(MeniscusReportPath("/data/run", t), "/data/run/20260102_030405_MeniscusReport.txt");
    EXPECT_EQ(MeniscusReportPath("/data/run/", t), "/data/run/20260102_030405_MeniscusReport.txt");
    EXPECT_EQ(MeniscusReportPath("C:\\run\\", t), "C:\\run\\20260102_030405_MeniscusReport.txt");
    // A blank folder names the file alone (the current folder), never one at the root.
    EXPECT_EQ(MeniscusReportPath("", t), "20260102_030405_MeniscusReport.txt");
    EXPECT_EQ(MeniscusReportPath("  ", t), "20260102_030405_MeniscusReport.txt");
}

class MeniscusRunTest : public ::testing::Test
{
  protected:
    std::vector<std::string> Run(const std::string &folder, const std::vector<std::string> &names,
                                 const std::atomic<bool> *stop = nullptr)
    {
        MeniscusRunInput input{folder, names, "1.2.3.4"};
        return RunFindMeniscus(
            input, [this](int32_t i, int32_t n) { m_progress.emplace_back(i, n); }, stop);
    }

    static std::vector<std::string> Header(const std::string &folder)
    {
        return {"FindMeniscus", "Version\t1.2.3.4", "Directory\t" + folder,
                "Image\tupper_channel_y\tlower_channel_y\tmeniscus_found\tmeniscus_x\tmeniscus_form"};
    }

    TempDir m_dir;
    std::vector<std::pair<int32_t, int32_t>> m_progress;
};

// Slanted menisci at known columns; the lean of one column per 10 rows is -10.0 thousandths of the
// 100-row channel between the two bands 10 rows apart.
TEST_F(MeniscusRunTest, SlantedMenisciGiveTheirColumnsAndLean)
{
    WritePng(m_dir.file("a_1.png"), MeniscusImage(500, 300));
    WritePng(m_dir.file("a_2.png"), MeniscusImage(500, 340));
    WritePng(m_dir.file("a_3.png"), MeniscusImage(500, 380));
    std::vector<std::string> expected = Header(m_dir.str());
    expected.push_back("a_1.png\t50\t150\tTrue\t300\t -10.0");
    expected.push_back("a_2.png\t50\t150\tTrue\t340\t -10.0");
    expected.push_back("a_3.png\t50\t150\tTrue\t380\t -10.0");
    EXPECT_EQ(Run(m_dir.str(), {"a_1.png", "a_2.png", "a_3.png"}), expected);
    EXPECT_THAT(m_progress, ElementsAre(std::pair(1, 3), std::pair(2, 3), std::pair(3, 3)));
    // A folder typed with a closing separator reads the same files.
    EXPECT_EQ(Run(m_dir.str() + "/", {"a_1.png", "a_2.png", "a_3.png"})[4], expected[4]);
}

TEST_F(MeniscusRunTest, UnreadableImagesAreListedRightAfterTheHeader)
{
    WritePng(m_dir.file("b_1.png"), MeniscusImage(500, 300));
    WriteFileBytes(m_dir.file("b_2.png"), "not an image");
    WritePng(m_dir.file("b_3.png"), MeniscusImage(500, 310));
    // An 8-bit image cannot be searched either.
    cv::Mat eightBit;
    MeniscusImage(500, 320).convertTo(eightBit, CV_8U, 1.0 / 256);
    WritePng(m_dir.file("b_4.png"), eightBit);
    const std::vector<std::string> lines =
        Run(m_dir.str(), {"b_1.png", "b_2.png", "b_3.png", "b_4.png", "missing.png"});
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[4], m_dir.file("b_2.png") + "\tCan't open image file.");
    EXPECT_EQ(lines[5], m_dir.file("b_4.png") + "\tCan't open image file.");
    EXPECT_EQ(lines[6], m_dir.file("missing.png") + "\tCan't open image file.");
    EXPECT_EQ(lines[7], "b_1.png\t50\t150\tTrue\t300\t -10.0");
    EXPECT_EQ(lines[8], "b_3.png\t50\t150\tTrue\t310\t -10.0");
}

// The edge-case list of the rule expects the first row of found / not found / found to become
// False; the rule itself never clears the first record for its successor, and that is what runs.
TEST_F(MeniscusRunTest, FoundNotFoundFoundKeepsBothEnds)
{
    WritePng(m_dir.file("c_1.png"), MeniscusImage(500, 300));
    WritePng(m_dir.file("c_2.png"), MeniscusImage(500, -1));
    WritePng(m_dir.file("c_3.png"), MeniscusImage(500, 305));
    const std::vector<std::string> lines = Run(m_dir.str(), {"c_1.png", "c_2.png", "c_3.png"});
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[4], "c_1.png\t50\t150\tTrue\t300\t -10.0");
    EXPECT_EQ(lines[5], "c_2.png\t50\t150\tFalse\t\t");
    EXPECT_EQ(lines[6], "c_3.png\t50\t150\tTrue\t305\t -10.0");
}

TEST_F(MeniscusRunTest, ColumnsTooFarApartAreBothDropped)
{
    WritePng(m_dir.file("d_1.png"), MeniscusImage(700, 300));
    WritePng(m_dir.file("d_2.png"), MeniscusImage(700, 501));
    const std::vector<std::string> lines = Run(m_dir.str(), {"d_1.png", "d_2.png"});
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[4], "d_1.png\t50\t150\tFalse\t\t");
    EXPECT_EQ(lines[5], "d_2.png\t50\t150\tFalse\t\t");
}

TEST_F(MeniscusRunTest, StopLeavesOutTheImagesNotStarted)
{
    WritePng(m_dir.file("e_1.png"), MeniscusImage(500, 300));
    WritePng(m_dir.file("e_2.png"), MeniscusImage(500, 310));
    std::atomic<bool> stop{false};
    MeniscusRunInput input{m_dir.str(), {"e_1.png", "e_2.png"}, "1"};
    const std::vector<std::string> lines = RunFindMeniscus(
        input, [&stop](int32_t, int32_t) { stop = true; }, &stop);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[4], "e_1.png\t50\t150\tTrue\t300\t -10.0");
}

TEST_F(MeniscusRunTest, ReportIsWrittenWholeOrReportedAsFailed)
{
    std::string error;
    const std::string path = m_dir.file("report.txt");
    ASSERT_TRUE(WriteMeniscusReport(path, {"FindMeniscus", "Version\t1"}, error)) << error;
    EXPECT_EQ(ReadFileBytes(path), "FindMeniscus\r\nVersion\t1\r\n");
    EXPECT_FALSE(WriteMeniscusReport(m_dir.file("no such folder/report.txt"), {"FindMeniscus"}, error));
    EXPECT_FALSE(error.empty());
}

} // namespace
} // namespace vantelis::test
