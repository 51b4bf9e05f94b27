#include "analysis/ImageAnalysisJob.h"
#include "JobWait.h"

#include "Ostravo/LogError.h"
#include "app/PlexorinApp.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "support/FakeClock.h"
#include "support/FakeUi.h"
#include "support/TempDir.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using vantelis::test::WaitForJob;

using vantelis::test::ScopedFakeUi;
using vantelis::test::TempDir;
using vantelis::test::WriteFileBytes;

const char kLogName[] = "20240305-1000-00.log";
const char kLog[] = "ImageFile\tDate\tTime\tExposure(us)\r\ncell_01_BF_1.png\t2024/03/05\t10:00:00\t500\r\n"
                    "cell_02_BF_1.png\t2024/13/05\t10:00:01\t500\r\n";

// A folder with one image of one bright disc and a circular-counting set for it.
class ImageAnalysisJobTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        m_savedIni = theApp.m_ini_path;
        SetLogDataDirectory(m_dir.str().c_str());
        theApp.m_ini_path = m_dir.file("Plexorin.ini");
        WriteFileBytes(theApp.m_ini_path, "[CalibrationSettings]\r\nimage_pixels_per_mm=1000\r\n");
        m_images = m_dir.file("images");
        std::filesystem::create_directory(m_images);
        cv::Mat image(100, 120, CV_16UC1, cv::Scalar(1000));
        for (int y = 44; y <= 56; ++y)
            for (int x = 54; x <= 66; ++x)
                if ((x - 60) * (x - 60) + (y - 50) * (y - 50) <= 36)
                    image.at<uint16_t>(y, x) = 3000;
        ASSERT_TRUE(cv::imwrite(m_images + "/cell_01_BF_1.png", image));
        m_cir = m_dir.file("disc.counting_params");
        WriteFileBytes(m_cir,
                       "[CountingAlgorithmDlg]\r\nEdgeProcessing=FALSE\r\nMFilter1=TRUE\r\nCFilter1=TRUE\r\n"
                       "ObjectRadius1=6\r\nMFilterSamples1=12\r\nMFilterThreshold1=2000\r\n"
                       "CFilterThreshold1=500\r\nLeft=10\r\nRight=109\r\nTop=10\r\nBottom=89\r\n");
    }
    void TearDown() override
    {
        ReleaseGate();
        platform::ClearFakeClock();
        theApp.m_ini_path = m_savedIni;
        SetLogDataDirectory("");
    }

    bool Start(int32_t &handle, EString &error)
    {
        return RunImageAnalysisTool(m_images.c_str(), m_cir.c_str(), "", "", 0.0, "*.png", 20, 90, handle,
                                    error, false);
    }

    // The error log of the day as a named pipe: the capture log holds a row whose date is out of
    // range, and the worker's error-log line for it waits until the test reads the pipe, so the
    // run is known to be still going until then.
    void MakeGate()
    {
        platform::SetFakeClock(vantelis::test::MakeTime(2024, 3, 5, 10, 0, 0, 0));
        WriteFileBytes(m_images + "/" + kLogName, kLog);
        ASSERT_TRUE(platform::MakeFolder(m_dir.file("LOG")));
        m_gate = m_dir.file("LOG/Err_2024_03_05.log");
        ASSERT_EQ(::mkfifo(m_gate.c_str(), 0600), 0);
    }
    void OpenGate()
    {
        const int fd = ::open(m_gate.c_str(), O_RDONLY);
        ASSERT_GE(fd, 0);
        // Later entries go to a plain file again.
        ::unlink(m_gate.c_str());
        m_gate.clear();
        std::string logged;
        char buffer[512];
        for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) > 0;)
            logged.append(buffer, size_t(got));
        ::close(fd);
        EXPECT_NE(logged.find("skipped line 3 of log file"), std::string::npos) << logged;
    }
    // A test that failed before opening the gate must not leave the worker waiting forever.
    void ReleaseGate()
    {
        if (m_gate.empty())
            return;
        // A worker waiting in its open gets a reader, writes its line and closes; one that never
        // came finds a plain file.
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

    TempDir m_dir;
    ScopedFakeUi m_ui;
    std::string m_savedIni, m_images, m_cir, m_gate;
};

TEST_F(ImageAnalysisJobTest, PollingCallerSeesRunningThenFinished)
{
    MakeGate();
    int32_t handle = 0;
    EString error;
    ASSERT_TRUE(Start(handle, error)) << error.c_str();
    EXPECT_EQ(ImageAnalysisJobTable::LastImageAnalysisJobId(), handle);

    ImageAnalysisJobState state;
    ASSERT_TRUE(ImageAnalysisJobTable::GetStatus(handle, state));
    EXPECT_TRUE(state.running);
    EXPECT_FALSE(state.failed);
    EXPECT_EQ(state.status, "");
    ImageAnalysisResultFiles files;
    ASSERT_TRUE(ImageAnalysisJobTable::GetFiles(handle, files));
    EXPECT_EQ(files.analysis_file, "");

    // A running job stays.
    EXPECT_FALSE(ImageAnalysisJobTable::Remove(handle, error));
    EXPECT_EQ(std::string(error.c_str()),
              "ImageAnalysisJobTable::Remove() - the image analysis run of handle " + std::to_string(handle) +
                  " has not finished.");
    EXPECT_TRUE(ImageAnalysisJobTable::GetStatus(handle, state));

    OpenGate();
    state = WaitForJob(handle);
    EXPECT_FALSE(state.running);
    EXPECT_FALSE(state.failed);
    EXPECT_EQ(state.status, "Finished");
    ASSERT_TRUE(ImageAnalysisJobTable::GetFiles(handle, files));
    EXPECT_TRUE(platform::FileExists(files.analysis_file)) << files.analysis_file;
    EXPECT_TRUE(platform::FileExists(files.vertical_projection_file));
    EXPECT_TRUE(platform::FileExists(files.horizontal_projection_file));
    EXPECT_EQ(files.image_log_file, m_images + "/" + kLogName);

    const int32_t count = ImageAnalysisJobTable::GetCount();
    EXPECT_TRUE(ImageAnalysisJobTable::Remove(handle, error)) << error.c_str();
    EXPECT_EQ(ImageAnalysisJobTable::GetCount(), count - 1);
    EXPECT_FALSE(ImageAnalysisJobTable::GetStatus(handle, state));
    EXPECT_FALSE(ImageAnalysisJobTable::GetFiles(handle, files));
    EXPECT_FALSE(ImageAnalysisJobTable::Remove(handle, error));
    EXPECT_EQ(std::string(error.c_str()),
              "ImageAnalysisJobTable::Remove() - there is no image analysis job with "
              "handle " +
                  std::to_string(handle) + ".");
}

TEST_F(ImageAnalysisJobTest, HandlesCountUpAndAreNeverReused)
{
    int32_t first = 0, second = 0, third = 0;
    EString error;
    // Each run gets its own second, so that their run folders differ.
    platform::LocalTime now;
    now.year = 2024;
    now.month = 3;
    now.day = 5;
    now.hour = 12;
    platform::SetFakeClock(now);
    ASSERT_TRUE(Start(first, error)) << error.c_str();
    WaitForJob(first);
    platform::AdvanceFakeClock(1000);
    ASSERT_TRUE(Start(second, error)) << error.c_str();
    EXPECT_EQ(second, first + 1);
    WaitForJob(second);
    ASSERT_TRUE(ImageAnalysisJobTable::Remove(first, error)) << error.c_str();

    // Checking only creates nothing and takes no handle.
    int32_t unchanged = -1;
    ASSERT_TRUE(RunImageAnalysisTool(m_images.c_str(), m_cir.c_str(), "", "", 0.0, "*.png", 20, 90, unchanged,
                                     error, true));
    EXPECT_EQ(unchanged, -1);
    EXPECT_EQ(ImageAnalysisJobTable::LastImageAnalysisJobId(), second);

    platform::AdvanceFakeClock(1000);
    ASSERT_TRUE(Start(third, error)) << error.c_str();
    EXPECT_EQ(third, second + 1);
    WaitForJob(third);
    ImageAnalysisJobState state;
    EXPECT_FALSE(ImageAnalysisJobTable::GetStatus(first, state));
    EXPECT_TRUE(ImageAnalysisJobTable::Remove(second, error));
    EXPECT_TRUE(ImageAnalysisJobTable::Remove(third, error));
}

TEST_F(ImageAnalysisJobTest, FailingRunReportsThroughItsHandle)
{
    // The run folder's name is taken by a file, so the run cannot make its folder.
    platform::LocalTime now;
    now.year = 2024;
    now.month = 3;
    now.day = 5;
    now.hour = 13;
    platform::SetFakeClock(now);
    const std::string runFolder = m_images + "/20240305-1300-00";
    WriteFileBytes(runFolder, "");

    int32_t handle = 0;
    EString error;
    ASSERT_TRUE(Start(handle, error)) << error.c_str();
    const ImageAnalysisJobState state = WaitForJob(handle);
    EXPECT_FALSE(state.running);
    EXPECT_TRUE(state.failed);
    EXPECT_EQ(state.status, "Failed: Unable to create directory: " + runFolder);
    ImageAnalysisResultFiles files;
    ASSERT_TRUE(ImageAnalysisJobTable::GetFiles(handle, files));
    EXPECT_EQ(files.analysis_file, "");
    EXPECT_EQ(files.vertical_projection_file, "");
    EXPECT_EQ(files.horizontal_projection_file, "");
    ASSERT_EQ(m_ui->Messages().size(), 1u);
    EXPECT_EQ(m_ui->Messages()[0].text, "Unable to create directory: " + runFolder);
    EXPECT_TRUE(ImageAnalysisJobTable::Remove(handle, error));
}

TEST_F(ImageAnalysisJobTest, RemovingAJobAsSoonAsItFinishesFreesNothingInUse)
{
    // A script that removes its job the moment the run reports finished: the record goes while
    // the worker is at its last step. Sanitizers flag any touch of the record after that.
    platform::LocalTime now;
    now.year = 2024;
    now.month = 3;
    now.day = 6;
    platform::SetFakeClock(now);
    EString error;
    for (int cycle = 0; cycle < 300; ++cycle) {
        int32_t handle = 0;
        ASSERT_TRUE(Start(handle, error)) << error.c_str();
        int refused = 0;
        while (!ImageAnalysisJobTable::Remove(handle, error)) {
            ASSERT_EQ(std::string(error.c_str()),
                      "ImageAnalysisJobTable::Remove() - the image analysis run of handle " +
                          std::to_string(handle) + " has not finished.");
            ASSERT_LT(++refused, 50000000) << "run " << handle << " never finished";
        }
        platform::AdvanceFakeClock(1000); // the next run gets a folder of its own
    }
    EXPECT_TRUE(m_ui->Messages().empty());
}

TEST(ImageAnalysisJobTableOps, KeepsJobsSortedByHandleAndRefusesDuplicates)
{
    // Handles far above the ones runs take, with finished runs so that they may be removed.
    auto finishedRun = [] {
        auto *run = new ImageAnalysisRunParams;
        run->Finish("");
        return run;
    };
    const int32_t base = 2000000000;
    const int32_t before = ImageAnalysisJobTable::GetCount();
    ImageAnalysisJobTable::Grow(before + 3);
    ASSERT_TRUE(ImageAnalysisJobTable::Add(new ImageAnalysisJob(base + 20, finishedRun())));
    ASSERT_TRUE(ImageAnalysisJobTable::Add(new ImageAnalysisJob(base + 10, finishedRun())));
    ImageAnalysisJob duplicate(base + 20, finishedRun()); // stays with the caller
    EXPECT_FALSE(ImageAnalysisJobTable::Add(&duplicate));
    EXPECT_EQ(ImageAnalysisJobTable::GetCount(), before + 2);

    bool found = false;
    const ImageAnalysisJob key10(base + 10, nullptr), key15(base + 15, nullptr), key20(base + 20, nullptr);
    EXPECT_EQ(ImageAnalysisJobTable::FindInsertPos(key10, found), before + 1);
    EXPECT_TRUE(found);
    EXPECT_EQ(ImageAnalysisJobTable::FindInsertPos(key15, found), before + 1);
    EXPECT_FALSE(found);
    EXPECT_EQ(ImageAnalysisJobTable::FindInsertPos(key20, found), before + 2);
    EXPECT_TRUE(found);

    ImageAnalysisJobState state;
    EXPECT_TRUE(ImageAnalysisJobTable::GetStatus(base + 10, state));
    EXPECT_EQ(state.status, "Finished");
    EXPECT_FALSE(ImageAnalysisJobTable::RemoveAt(before + 2));
    // Storage order: base + 20 was added first.
    EXPECT_TRUE(ImageAnalysisJobTable::RemoveAt(before));
    EXPECT_FALSE(ImageAnalysisJobTable::GetStatus(base + 20, state));
    EXPECT_TRUE(ImageAnalysisJobTable::GetStatus(base + 10, state));
    EString error;
    EXPECT_TRUE(ImageAnalysisJobTable::Remove(base + 10, error));
    EXPECT_EQ(ImageAnalysisJobTable::GetCount(), before);
}

} // namespace
