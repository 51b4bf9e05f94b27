#include "tools/ImageFolderLog.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace vantelis::test {
namespace {

const std::string kHeader = std::string(kLogFileExpectedHeader) + "\tSplit\r\n";

// One capture-log row with the two pump speeds as given.
std::string Row(const std::string &image, const std::string &speed1, const std::string &speed2)
{
    return image + "\t2024-05-01\t10:00:00\t500\tOK\t0\t1\t2\t3\t" + speed1 + "\t" + speed2 +
           "\t100\t200\t0.5\r\n";
}

// Version and camera lines come before the header, as the capture writes them.
const std::string kPreamble = "# Vantelis 1.2.3.4\r\n# Camera\tnone\r\n";

class ImageFolderLogTest : public ::testing::Test
{
  protected:
    std::string WriteLog(const std::string &text, const std::string &name = "run.log")
    {
        WriteFileBytes(m_dir.file(name), text);
        return m_dir.file(name);
    }
    TempDir m_dir;
    LogFileData m_log;
    EString m_error;
};

TEST_F(ImageFolderLogTest, LoadsTheRowsAfterTheHeaderAndFindsImagesIgnoringCase)
{
    WriteLog(kPreamble + kHeader + Row("img_001.png", "30", "10") + Row("IMG_002.png", "10", "30") +
             Row("img_003.png", "0", "0"));
    ASSERT_TRUE(m_log.LoadFromDirectory(m_dir.str().c_str(), m_error)) << m_error.c_str();
    EXPECT_EQ(std::string(m_log.LogPath().c_str()), m_dir.file("run.log"));
    ASSERT_EQ(m_log.RecordCount(), 3);

    const struct
    {
        const char *image;
        double divider;
    } cases[] = {
        {"/any/where/IMG_001.PNG", 0.6736},
        {"C:\\data\\img_002.png", 0.3264},
        {"img_003.png", 0.5}, // both pumps idle
    };
    for (const auto &c : cases) {
        double divider = -1.0;
        ASSERT_TRUE(m_log.GetChannelDivider(c.image, divider, m_error)) << c.image << " " << m_error.c_str();
        EXPECT_NEAR(divider, c.divider, 0.001) << c.image;
    }
    double divider = -1.0;
    EXPECT_FALSE(m_log.GetChannelDivider("/x/img_004.png", divider, m_error));
    EXPECT_STREQ(m_error.c_str(), "Missing log file data for image: /x/img_004.png");
}

TEST_F(ImageFolderLogTest, MalformedLogsFailWithTheirLineNumber)
{
    const std::string path = m_dir.file("run.log");
    const std::string p = "LogFileData::LoadFromText() - invalid line, ";
    const struct
    {
        const char *name;
        std::string text;
        std::string message;
        int32_t recordsKept;
    } cases[] = {
        {"blank line after the header", kPreamble + kHeader + Row("a.png", "1", "2") + "\r\n",
         "Error at line 5 : " + p + "expected 13 items, found 0 items", 1},
        {"row with 12 columns", kHeader + "a.png\t1\t2\t3\t4\t5\t6\t7\t8\t9\t10\t11\r\n",
         "Error at line 2 : " + p + "expected 13 items, found 12 items", 0},
        {"empty last column behind a trailing tab",
         kHeader + "a.png\t1\t2\t3\t4\t5\t6\t7\t8\t9\t10\t11\t\r\n",
         "Error at line 2 : " + p + "expected 13 items, found 12 items", 0},
        {"pump 1 speed not a number", kHeader + Row("a.png", "fast", "2"),
         "Error at line 2 : " + p + "expected floating point value for column 10 (Pump1SpeedULpMin): fast",
         0},
        {"pump 2 speed empty", kHeader + Row("a.png", "1", ""),
         "Error at line 2 : " + p + "expected floating point value for column 11 (Pump2SpeedULpMin): ", 0},
        {"same image in other letter case", kHeader + Row("a.png", "1", "2") + Row("A.PNG", "1", "2"),
         "Log file error at line 3, repeated file name: " + path, 1},
        // The capture writes the header block again after an idle spell; this reader stops there.
        {"repeated header block", kPreamble + kHeader + Row("a.png", "1", "2") + kPreamble + kHeader,
         "Error at line 5 : " + p + "expected 13 items, found 1 items", 1},
        {"no header", "ImageFile\tDate\r\n" + Row("a.png", "1", "2"),
         std::string("Did not find expected header line in the log file: ") + kLogFileExpectedHeader, 0},
        {"header without the pump columns",
         "ImageFile\tDate\tTime\tExposure(us)\tStatus\tError\tIllumChan\r\n",
         std::string("Did not find expected header line in the log file: ") + kLogFileExpectedHeader, 0},
    };
    for (const auto &c : cases) {
        WriteLog(c.text);
        LogFileData log;
        EString error;
        EXPECT_FALSE(log.LoadFromDirectory(m_dir.str().c_str(), error)) << c.name;
        EXPECT_EQ(std::string(error.c_str()), c.message) << c.name;
        EXPECT_EQ(log.RecordCount(), c.recordsKept) << c.name;
        EXPECT_STREQ(log.LogPath().c_str(), "") << c.name;
    }
}

TEST_F(ImageFolderLogTest, FolderMustHoldExactlyOneLog)
{
    // No log at all, and a folder that only looks like one.
    EXPECT_FALSE(m_log.LoadFromDirectory(m_dir.str().c_str(), m_error));
    EXPECT_EQ(std::string(m_error.c_str()), "No log file found in image directory: " + m_dir.str());
    std::filesystem::create_directory(m_dir.file("old.log"));
    EXPECT_FALSE(m_log.LoadFromDirectory(m_dir.str().c_str(), m_error));
    EXPECT_EQ(std::string(m_error.c_str()), "No log file found in image directory: " + m_dir.str());

    WriteLog(kHeader + Row("a.png", "1", "2"), "one.log");
    ASSERT_TRUE(m_log.LoadFromDirectory(m_dir.str().c_str(), m_error)) << m_error.c_str();
    EXPECT_EQ(m_log.RecordCount(), 1);

    WriteLog(kHeader, "two.LOG");
    EXPECT_FALSE(m_log.LoadFromDirectory(m_dir.str().c_str(), m_error));
    EXPECT_EQ(std::string(m_error.c_str()),
              "Expect only 1 log file, found 2 log files in the image directory: " + m_dir.str());
    EXPECT_EQ(m_log.RecordCount(), 0) << "a new load starts empty";

    // An empty folder text is nothing to load; a missing folder has no log.
    EXPECT_TRUE(m_log.LoadFromDirectory("", m_error));
    EXPECT_FALSE(m_log.LoadFromDirectory(m_dir.file("missing").c_str(), m_error));
}

TEST_F(ImageFolderLogTest, UnreadableLogAndUnusableSpeeds)
{
    // Run with no log loaded: the open fails with the empty path.
    EXPECT_FALSE(m_log.LoadFromText(m_error));
    EXPECT_STREQ(m_error.c_str(),
                 "Unable to open log file for reading, make sure that it is not open in Excel: ");

    // "%f" reads nan and inf; the divider refuses them, and speeds of opposite sign, per image.
    m_log.SetLogPath(
        WriteLog(kHeader + Row("n.png", "nan", "10") + Row("o.png", "10", "-10") + Row("i.png", "inf", "1"))
            .c_str());
    ASSERT_TRUE(m_log.LoadFromText(m_error)) << m_error.c_str();
    for (const char *image : {"n.png", "o.png", "i.png"}) {
        double divider = 0.125;
        EXPECT_FALSE(m_log.GetChannelDivider(image, divider, m_error)) << image;
        EXPECT_NE(std::string(m_error.c_str()).find("ChannelDividerFromFlows()"), std::string::npos);
        EXPECT_EQ(divider, 0.125);
    }
}

TEST_F(ImageFolderLogTest, SnapshotOutlivesAReload)
{
    WriteLog(kHeader + Row("a.png", "30", "10"));
    ASSERT_TRUE(m_log.LoadFromDirectory(m_dir.str().c_str(), m_error));
    std::shared_ptr<const LogFileData> snapshot = m_log.Snapshot();
    std::filesystem::remove(m_dir.file("run.log"));
    EXPECT_FALSE(m_log.LoadFromDirectory(m_dir.str().c_str(), m_error)); // the records are gone
    double divider = 0.0;
    ASSERT_TRUE(snapshot->GetChannelDivider("a.png", divider, m_error));
    EXPECT_NEAR(divider, 0.6736, 0.001);
    EXPECT_EQ(m_log.RecordCount(), 0);
}

} // namespace
} // namespace vantelis::test
