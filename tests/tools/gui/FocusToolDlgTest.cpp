#include "FolderToolWindowFixture.h"
#include "Screenshot.h"

#include "platform/Sync.h"
#include "tools/gui/FocusToolDlg.h"

#include <QLabel>
#include <QPushButton>
#include <gmock/gmock.h>

namespace vantelis::test {
namespace {

using ::testing::HasSubstr;

// A checkerboard of 50-pixel squares, wide enough for the region's columns 824 to 1624.
cv::Mat Checkerboard()
{
    cv::Mat image(300, 1700, CV_16UC1);
    for (int y = 0; y < image.rows; ++y)
        for (int x = 0; x < image.cols; ++x)
            image.at<uint16_t>(y, x) = uint16_t(5000 + 60 * y + (((x / 50) + (y / 50)) % 2 ? 4000 : 0));
    return image;
}

class FocusToolDlgTest : public FolderToolWindowFixture
{
  protected:
    FocusToolDlgTest()
    {
        WriteSettings("[Cartridge]\r\nCartridgeUpperChannel=0\r\nCartridgeLowerChannel=299\r\n[FocusTool]\r\n"
                      "Directory=" +
                      m_dir.file("img") + "\r\n");
    }

    FocusToolDlg &Dialog()
    {
        ModelessWindow &window = AnalysisTools().FocusTool();
        if (!window.HasWindow())
            window.Create(true);
        FocusToolDlg *dialog = m_windows->FocusDialog();
        RecordOpenings(*dialog);
        return *dialog;
    }

    std::vector<std::string> ReportLines(const std::string &path)
    {
        std::vector<std::string> lines;
        std::stringstream stream(ReadFileBytes(path));
        for (std::string line; std::getline(stream, line);)
            lines.push_back(line.substr(0, line.size() - 1)); // without the CR
        return lines;
    }
};

TEST_F(FocusToolDlgTest, OpensWithTheSettingsAndItsListFilled)
{
    WritePng(Image("z_1.png"), Checkerboard());
    WritePng(Image("z_2.tif"), Checkerboard());
    FocusToolDlg &dialog = Dialog();
    EXPECT_EQ(dialog.ControlText(FocusToolDlg::kFolder), m_dir.file("img"));
    EXPECT_EQ(dialog.ControlText(FocusToolDlg::kFilter), "*.png");
    EXPECT_EQ(ListTexts(dialog, FocusToolDlg::kImageList), (std::vector<std::string>{"z_1.png"}));
    EXPECT_FALSE(dialog.IsControlEnabled(FocusToolDlg::kStop));

    dialog.SetControlText(FocusToolDlg::kFilter, "*.tif");
    EXPECT_EQ(dialog.TimerInterval(FocusToolDlg::kSettingsTimer), 500);
    ASSERT_TRUE(RunEventLoopUntil([&] { return !dialog.TimerActive(FocusToolDlg::kSettingsTimer); }));
    EXPECT_EQ(ListTexts(dialog, FocusToolDlg::kImageList), (std::vector<std::string>{"z_2.tif"}));
    EXPECT_EQ(Setting("FocusTool", "Filter"), "*.tif");
}

TEST_F(FocusToolDlgTest, RunScoresTheSelectionAndOpensTheReport)
{
    WritePng(Image("y_1.png"), Checkerboard());
    WritePng(Image("y_2.png"), Checkerboard());
    WritePng(Image("y_3.png"), Checkerboard());
    FocusToolDlg &dialog = Dialog();
    int waits = 0;
    dialog.m_wait = [&waits] { ++waits; };
    Select(dialog, FocusToolDlg::kImageList, {"y_1.png", "y_3.png"});
    dialog.ControlAs<QPushButton>(FocusToolDlg::kRun)->click();
    EXPECT_FALSE(dialog.IsControlEnabled(FocusToolDlg::kRun));
    EXPECT_FALSE(dialog.IsControlEnabled(FocusToolDlg::kImageList));
    ASSERT_TRUE(RunEventLoopUntil([&] { return !dialog.IsRunning(); }));
    EXPECT_TRUE(dialog.IsControlEnabled(FocusToolDlg::kRun));
    EXPECT_FALSE(dialog.IsControlEnabled(FocusToolDlg::kStop));
    EXPECT_EQ(dialog.ControlText(FocusToolDlg::kProgress), "");
    EXPECT_EQ(waits, 2);

    const std::vector<std::string> opened = Opened();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].rfind(m_dir.file("img/FocusTool_"), 0), 0u) << opened[0];
    const std::vector<std::string> lines = ReportLines(opened[0]);
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[2], "directory=" + m_dir.file("img"));
    EXPECT_EQ(lines[5], "ROI_top=100");
    EXPECT_EQ(lines[6], "ROI_bottom=199");
    EXPECT_EQ(lines[8].substr(0, 8), "y_1.png\t");
    EXPECT_EQ(lines[9].substr(0, 8), "y_3.png\t");
}

TEST_F(FocusToolDlgTest, StopPressedDuringTheFirstImageEndsTheRunAfterIt)
{
    WritePng(Image("x_1.png"), Checkerboard());
    WritePng(Image("x_2.png"), Checkerboard());
    FocusToolDlg &dialog = Dialog();
    std::atomic<bool> waiting{false};
    platform::Event release(true);
    dialog.m_wait = [&] {
        waiting = true;
        release.Wait(platform::kInfinite);
    };
    Select(dialog, FocusToolDlg::kImageList, {"x_1.png", "x_2.png"});
    dialog.ControlAs<QPushButton>(FocusToolDlg::kRun)->click();
    ASSERT_TRUE(RunEventLoopUntil([&] { return waiting.load(); }));
    EXPECT_EQ(dialog.ControlText(FocusToolDlg::kProgress), "Processing 1 of 2");
    dialog.ControlAs<QPushButton>(FocusToolDlg::kStop)->click();
    release.Set();
    ASSERT_TRUE(RunEventLoopUntil([&] { return !dialog.IsRunning(); }));
    const std::vector<std::string> opened = Opened();
    ASSERT_EQ(opened.size(), 1u);
    const std::vector<std::string> lines = ReportLines(opened[0]);
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[8].substr(0, 8), "x_1.png\t");
}

// The program ends while a run waits for the user-interface thread (as a message box does): the
// window serves it and stops the run instead of waiting for it forever.
TEST_F(FocusToolDlgTest, ClosingTheProgramDuringARunEndsIt)
{
    WritePng(Image("w_1.png"), Checkerboard());
    WritePng(Image("w_2.png"), Checkerboard());
    FocusToolDlg &dialog = Dialog();
    std::atomic<bool> waiting{false};
    std::atomic<int> served{0};
    platform::Event release(true);
    dialog.m_wait = [&] {
        waiting = true;
        release.Wait(platform::kInfinite);
        platform::ui::Ui().RunOnGuiThread([&served] { ++served; }, true);
    };
    Select(dialog, FocusToolDlg::kImageList, {"w_1.png", "w_2.png"});
    dialog.ControlAs<QPushButton>(FocusToolDlg::kRun)->click();
    ASSERT_TRUE(RunEventLoopUntil([&] { return waiting.load(); }));
    release.Set();
    InstallAnalysisToolWindows(nullptr);
    m_windows.reset();
    EXPECT_EQ(served.load(), 1);
    // The run ended after the image in hand.
    std::vector<std::string> opened = Opened();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(ReportLines(opened[0]).size(), 9u);
}

TEST_F(FocusToolDlgTest, NothingSelectedIsRefusedWithAMessage)
{
    FocusToolDlg &dialog = Dialog();
    dialog.ControlAs<QPushButton>(FocusToolDlg::kRun)->click();
    ASSERT_EQ(m_ui->Messages().size(), 1u);
    EXPECT_EQ(m_ui->Messages()[0].text, "You must select at least one file.");
    EXPECT_EQ(m_ui->Messages()[0].flags, platform::ui::MbOk | platform::ui::MbIconError);
    EXPECT_THAT(ErrorLogText(m_dir.str()), HasSubstr("You must select at least one file."));
    EXPECT_FALSE(dialog.IsRunning());
    EXPECT_TRUE(dialog.IsControlEnabled(FocusToolDlg::kRun));
}

TEST_F(FocusToolDlgTest, Screenshot)
{
    for (int i = 1; i <= 5; ++i)
        WritePng(Image("Focus_z" + std::to_string(i * 10) + ".png"), Checkerboard());
    FocusToolDlg &dialog = Dialog();
    Select(dialog, FocusToolDlg::kImageList, {"Focus_z20.png", "Focus_z30.png"});
    dialog.SetControlText(FocusToolDlg::kProgress, "Processing 1 of 2");
    QCoreApplication::processEvents();
    cv::Mat shown;
    Checkerboard()(cv::Rect(700, 0, 500, 300)).convertTo(shown, CV_8U, 1.0 / 100);
    QLabel image;
    image.setPixmap(QPixmap::fromImage(
        QImage(shown.data, shown.cols, shown.rows, int(shown.step), QImage::Format_Grayscale8).copy()));
    image.resize(shown.cols, shown.rows);
    WriteScreenshotBeside(&image, &dialog, "focus_tool");
}

} // namespace
} // namespace vantelis::test
