// The headless analysis and its result files: a failed or interrupted write never spoils an earlier
// result and leaves no half-written or temporary file; a FIFO in place of a frame or of the capture
// log is refused at once instead of holding the run for ever.
#include "ExperimentTestSupport.h"
#include "experiment/CellFractionation.h"
#include "experiment/HeadlessAnalysis.h"
#include "experiment/MeniscusFrames.h"
#include "platform/Files.h"
#include "support/FifoGuard.h"
#include "support/SyntheticExperiment.h"

#include <gmock/gmock.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>

namespace {

namespace fs = std::filesystem;
using vantelis::test::ReadFileBytes;
using vantelis::test::ReturnsWithoutBlocking;

const vantelis::test::SyntheticExperimentTruth &Experiment()
{
    static vantelis::test::TempDir dir;
    static const vantelis::test::SyntheticExperimentTruth truth =
        vantelis::test::WriteSyntheticExperiment(dir.str() + "/a", ClearFlowParams());
    return truth;
}

// Every entry of folder (hidden ones too) with its bytes.
std::map<std::string, std::string> Contents(const std::string &folder)
{
    std::map<std::string, std::string> files;
    for (const fs::directory_entry &entry : fs::directory_iterator(folder))
        files[entry.path().filename().string()] =
            entry.is_regular_file() ? ReadFileBytes(entry.path().string()) : "<not a file>";
    return files;
}

class ResultFilesTest : public ExperimentTest
{
  protected:
    ResultFilesTest() { theApp.m_data_directory = Experiment().data_folder; }
    ~ResultFilesTest() override
    {
        platform::FailNextReplaceAt(platform::ReplaceFailurePoint::None);
        ResetSampleFlowResults();
    }
    // A copy of the experiment that the test may change.
    std::string CopyOfExperiment(const std::string &name)
    {
        const std::string folder = m_dir.str() + "/" + name;
        fs::copy(Experiment().folder, folder, fs::copy_options::recursive);
        fs::remove_all(folder + "/Fractionation");
        fs::remove_all(folder + "/Montage");
        return folder;
    }
};

TEST_F(ResultFilesTest, AFailedRunKeepsTheEarlierResultsWholeAndLeavesNoTemporaryFile)
{
    const std::string folder = CopyOfExperiment("e");
    std::string error;
    ASSERT_TRUE(RunHeadlessExperimentAnalysis(kAnalysisFractionation, folder, false, false, "run1", error))
        << error;
    const std::string out = folder + "/Fractionation";
    const std::map<std::string, std::string> good = Contents(out);
    ASSERT_EQ(good.size(), 3u);
    ASSERT_GT(good.at("run1.png").size(), 1000u);

    // A full disk (half the bytes written) or a failing rename, at the montage's first file and
    // at the report: the earlier run's files stay as they were and nothing else is left.
    const struct
    {
        platform::ReplaceFailurePoint point;
        bool reportOnly; // the report's own run, whose one file is the report
        const char *message;
    } cases[] = {
        {platform::ReplaceFailurePoint::Write, false, "Function Create Montage: cannot write "},
        {platform::ReplaceFailurePoint::Rename, false, "Function Create Montage: cannot write "},
        {platform::ReplaceFailurePoint::Write, true, "Unable to write file: "},
        {platform::ReplaceFailurePoint::Flush, true, "Unable to write file: "},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(static_cast<int>(c.point) * 10 + c.reportOnly);
        error.clear();
        platform::FailNextReplaceAt(c.point);
        if (c.reportOnly) {
            double top = 0.0, bottom = 0.0;
            EXPECT_FALSE(CreateFractionationReport(folder, "Fractionation/run1", top, bottom, error));
        } else {
            EXPECT_FALSE(
                RunHeadlessExperimentAnalysis(kAnalysisFractionation, folder, false, false, "run1", error));
        }
        EXPECT_THAT(error, ::testing::StartsWith(c.message));
        EXPECT_EQ(Contents(out), good);
        platform::FailNextReplaceAt(platform::ReplaceFailurePoint::None);
        ResetSampleFlowResults();
    }

    // A new name whose first file fails leaves no file at all: no small image without its montage.
    platform::FailNextReplaceAt(platform::ReplaceFailurePoint::Write);
    EXPECT_FALSE(RunHeadlessExperimentAnalysis(kAnalysisFractionation, folder, false, false, "run2", error));
    EXPECT_EQ(Contents(out), good);
}

// The montage of a fractionation run is written before its report: when the report then fails
// (here a folder stands where it goes), the montage files go back to what they were, for an
// earlier run's name and for a new one.
TEST_F(ResultFilesTest, AReportThatFailsAfterItsMontageTakesTheMontageBack)
{
    const std::string folder = CopyOfExperiment("m");
    const std::string out = folder + "/Fractionation";
    ASSERT_TRUE(fs::create_directories(out + "/run1.txt"));
    ASSERT_TRUE(fs::create_directories(out + "/new1.txt"));
    vantelis::test::WriteFileBytes(out + "/run1.png", "earlier montage");
    vantelis::test::WriteFileBytes(out + "/run1.small.png", "earlier small");
    const std::map<std::string, std::string> earlier = Contents(out);
    for (const char *name : {"run1", "new1"}) {
        SCOPED_TRACE(name);
        std::string error;
        EXPECT_FALSE(
            RunHeadlessExperimentAnalysis(kAnalysisFractionation, folder, false, false, name, error));
        EXPECT_THAT(error, ::testing::StartsWith("Unable to "));
        EXPECT_EQ(Contents(out), earlier);
        ResetSampleFlowResults();
    }
}

TEST_F(ResultFilesTest, AFifoInPlaceOfAFrameOrOfTheCaptureLogIsRefusedWithoutBlocking)
{
    const vantelis::test::SyntheticExperimentTruth &t = Experiment();
    {
        // One frame of the sample flow.
        const std::string folder = CopyOfExperiment("frame");
        const std::string frame = folder + "/Images/" + t.brightfield_files[t.run_first + 3];
        ASSERT_TRUE(fs::remove(frame));
        ASSERT_EQ(::mkfifo(frame.c_str(), 0600), 0);
        bool ok = true;
        std::string error;
        EXPECT_TRUE(ReturnsWithoutBlocking(
            [&] {
                ok = RunHeadlessExperimentAnalysis(kAnalysisFractionation, folder, false, false, "r", error);
            },
            {frame}, 60000));
        EXPECT_FALSE(ok);
        EXPECT_THAT(error, ::testing::HasSubstr(fs::path(frame).filename().string())) << error;
    }
    {
        // The capture log.
        const std::string folder = CopyOfExperiment("log");
        const std::string log = folder + "/" + fs::relative(t.log_path, t.folder).string();
        ASSERT_TRUE(fs::remove(log));
        ASSERT_EQ(::mkfifo(log.c_str(), 0600), 0);
        bool ok = true;
        std::string error;
        EXPECT_TRUE(ReturnsWithoutBlocking(
            [&] { ok = RunHeadlessExperimentAnalysis(kAnalysisMontage, folder, false, false, "r", error); },
            {log}, 20000));
        EXPECT_FALSE(ok);
        EXPECT_FALSE(fs::exists(folder + "/Montage/r.png"));
    }
}

} // namespace
