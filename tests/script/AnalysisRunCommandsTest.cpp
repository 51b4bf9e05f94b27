// The image-analysis run commands from scripts: a run started on a generated image folder is
// followed through its handle until it is removed, and the argument checks refuse a run while the
// script loads.
#include "CommandFixture.h"

#include "analysis/ImageAnalysisJob.h"
#include "analysis/JobWait.h"
#include "platform/Files.h"
#include "script/commands/AnalysisRunCommands.h"
#include "support/FakeClock.h"
#include "support/FakeUi.h"

#include <gmock/gmock.h>

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <opencv2/imgcodecs.hpp>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using vantelis::test::WriteFileBytes;

namespace {

const char kCaptureLog[] = "20240305-1000-00.log";

// An image folder with one image of one bright disc, and a library folder with a circular-counting
// set that finds it.
class AnalysisRunCommandsTest : public CommandFixture
{
  protected:
    AnalysisRunCommandsTest()
        : CommandFixture(RegisterAnalysisRunCommands,
                         {cmd::RunImageAnalysis, cmd::GetImageAnalysisRunStatus,
                          cmd::GetImageAnalysisRunFiles, cmd::DeleteImageAnalysisRunHandle})
    {
    }
    void SetUp() override
    {
        CommandFixture::SetUp();
        WriteFileBytes(theApp.m_ini_path, "[CalibrationSettings]\r\nimage_pixels_per_mm=1000\r\n");
        m_images = m_dir.file("images");
        m_lib = m_dir.file("lib");
        std::filesystem::create_directory(m_images);
        std::filesystem::create_directory(m_lib);
        cv::Mat image(100, 120, CV_16UC1, cv::Scalar(1000));
        for (int y = 44; y <= 56; ++y)
            for (int x = 54; x <= 66; ++x)
                if ((x - 60) * (x - 60) + (y - 50) * (y - 50) <= 36)
                    image.at<uint16_t>(y, x) = 3000;
        ASSERT_TRUE(cv::imwrite(m_images + "/cell_01_BF_1.png", image));
        WriteFileBytes(m_lib + "/disc.counting_params",
                       "[CountingAlgorithmDlg]\r\nEdgeProcessing=FALSE\r\nMFilter1=TRUE\r\nCFilter1=TRUE\r\n"
                       "ObjectRadius1=6\r\nMFilterSamples1=12\r\nMFilterThreshold1=2000\r\n"
                       "CFilterThreshold1=500\r\nLeft=10\r\nRight=109\r\nTop=10\r\nBottom=89\r\n");
    }
    void TearDown() override
    {
        ReleaseGate();
        CommandFixture::TearDown();
    }

    std::string RunLine(const std::string &cir, const std::string &epi, const std::string &filter,
                        const std::string &result = "h")
    {
        return "RunImageAnalysis(\"" + m_images + "\", \"" + m_lib + "\", \"" + cir + "\", \"" + epi +
               "\", \"\", \"\", 0, \"" + filter + "\", 20, 90, 0, " + result + ");";
    }

    // The run's capture log holds a row with an impossible date; the worker's error-log line about
    // it waits on a named pipe until the test reads it, so the run is known to be going until then.
    void MakeGate()
    {
        platform::SetFakeClock(vantelis::test::MakeTime(2024, 3, 5, 10, 0, 0, 0));
        WriteFileBytes(
            m_images + "/" + kCaptureLog,
            "ImageFile\tDate\tTime\tExposure(us)\r\ncell_01_BF_1.png\t2024/03/05\t10:00:00\t500\r\n"
            "cell_02_BF_1.png\t2024/13/05\t10:00:01\t500\r\n");
        m_gate = m_dir.file("LOG/Err_2024_03_05.log");
        ASSERT_EQ(::mkfifo(m_gate.c_str(), 0600), 0);
    }
    void OpenGate()
    {
        const int fd = ::open(m_gate.c_str(), O_RDONLY);
        ASSERT_GE(fd, 0);
        ::unlink(m_gate.c_str());
        m_gate.clear();
        char buffer[512];
        while (::read(fd, buffer, sizeof buffer) > 0) {
        }
        ::close(fd);
    }
    // A test that failed before opening the gate must not leave the worker waiting.
    void ReleaseGate()
    {
        if (m_gate.empty())
            return;
        const int fd = ::open(m_gate.c_str(), O_RDONLY | O_NONBLOCK);
        ::unlink(m_gate.c_str());
        char buffer[512];
        for (int i = 0; fd >= 0 && i < 500; ++i) {
            const ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got == 0 || (got < 0 && errno != EAGAIN))
                break;
            if (got < 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (fd >= 0)
            ::close(fd);
        m_gate.clear();
    }

    vantelis::test::ScopedFakeUi m_ui;
    vantelis::test::FakeClockGuard m_clock;
    std::string m_images, m_lib, m_gate;
};

TEST_F(AnalysisRunCommandsTest, ARunIsFollowedThroughItsHandleUntilRemoved)
{
    MakeGate();
    EString error;
    // The parameter file is taken from the library folder, whatever folder the argument names.
    ASSERT_TRUE(Run(
        Lines({"int h = 0;", "int r = 9;", "STRING s = \"keep\";",
               RunLine("C:\\Other\\disc.counting_params", "", ""), "GetImageAnalysisRunStatus(h, r, s);"}),
        error))
        << error.c_str();
    const int32_t handle = Int("h");
    ASSERT_GT(handle, 0);
    EXPECT_EQ(handle, ImageAnalysisJobTable::LastImageAnalysisJobId());
    EXPECT_EQ(Int("r"), 1);
    const std::string withHandle = "int h = " + std::to_string(handle) + ";\n";
    EXPECT_FALSE(Run(withHandle + "DeleteImageAnalysisRunHandle(h);\n", error));
    EXPECT_THAT(error.c_str(), HasSubstr("Image analysis is still running for given handle."));

    OpenGate();
    vantelis::test::WaitForJob(handle);
    ASSERT_TRUE(
        Run(withHandle +
                Lines({"int r = 9;", "int after = 9;", "STRING s;", "STRING gone = \"keep\";", "STRING a;",
                       "STRING b;", "STRING c;", "STRING d;", "GetImageAnalysisRunStatus(h, r, s);",
                       "GetImageAnalysisRunFiles(h, a, b, c, d);", "DeleteImageAnalysisRunHandle(h);",
                       "GetImageAnalysisRunStatus(h, after, gone);"}),
            error))
        << error.c_str();
    EXPECT_EQ(Int("r"), 0);
    EXPECT_EQ(Text("s"), "Finished");
    const struct
    {
        const char *variable, *ending;
    } files[] = {{"a", ".Analysis.txt"}, {"b", ".[horz_proj].txt"}, {"c", ".[vert_proj].txt"}};
    for (const auto &file : files) {
        EXPECT_THAT(Text(file.variable), StartsWith(m_images + "/"));
        EXPECT_THAT(Text(file.variable), EndsWith(file.ending));
        EXPECT_TRUE(platform::FileExists(Text(file.variable))) << Text(file.variable);
    }
    EXPECT_EQ(Text("d"), m_images + "/" + kCaptureLog);
    EXPECT_EQ(Int("after"), -1);
    EXPECT_EQ(Text("gone"), "keep");

    EXPECT_FALSE(Run(withHandle + "DeleteImageAnalysisRunHandle(h);\n", error));
    EXPECT_THAT(error.c_str(), HasSubstr("No such image analysis handle."));
    EXPECT_FALSE(Run(withHandle + "STRING a;\nGetImageAnalysisRunFiles(h, a, a, a, a);\n", error));
    EXPECT_THAT(error.c_str(), HasSubstr("Invalid handle."));
}

TEST_F(AnalysisRunCommandsTest, RefusedRunsStartNothing)
{
    const int32_t last = ImageAnalysisJobTable::LastImageAnalysisJobId();
    const std::string images = m_images, lib = m_lib;
    struct Case
    {
        std::string line;
        std::string message;
    } cases[] = {
        {"RunImageAnalysis(\"" + m_dir.file("none") + "\", \"" + lib +
             "\", \"disc.counting_params\", \"\", \"\", \"\", 0, \"\", 20, 90, 0, h);",
         "image_dir: " + m_dir.file("none") + " directory does not exist"},
        {"RunImageAnalysis(\"" + images + "\", \"" + m_dir.file("nolib") +
             "\", \"disc.counting_params\", \"\", \"\", \"\", 0, \"\", 20, 90, 0, h);",
         "lib_dir: " + m_dir.file("nolib") + " directory does not exist"},
        {RunLine("C:\\Other\\set.counting_params", "", ""),
         "cir_params: " + lib + "/set.counting_params does not exist"},
        {RunLine("", "/x/epi.params", ""), "epi_params: " + lib + "/epi.params does not exist"},
        {RunLine("", "", ""), "Either cir_params or epi_params must be specified."},
        {RunLine("disc.counting_params", "", "*.tif"), "RunImageAnalysisTool()"},
        {RunLine("disc.counting_params", "", "", "12"), "parameter 12 must be a variable"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.line);
        EString error;
        EXPECT_FALSE(Run("int h = 0;\n" + c.line + "\n", error));
        EXPECT_THAT(error.c_str(), HasSubstr(c.message));
    }
    EXPECT_EQ(ImageAnalysisJobTable::LastImageAnalysisJobId(), last);
}

} // namespace
