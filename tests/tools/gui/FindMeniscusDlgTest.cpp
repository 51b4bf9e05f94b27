#include "FolderToolWindowFixture.h"
#include "Screenshot.h"

#include "tools/gui/FindMeniscusDlg.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <gmock/gmock.h>

namespace vantelis::test {
namespace {

using ::testing::HasSubstr;

class FindMeniscusDlgTest : public FolderToolWindowFixture
{
  protected:
    FindMeniscusDlg &Dialog()
    {
        ModelessWindow &window = AnalysisTools().FindMeniscus();
        if (!window.HasWindow())
            window.Create(true);
        FindMeniscusDlg *dialog = m_windows->MeniscusDialog();
        RecordOpenings(*dialog);
        return *dialog;
    }

    bool WaitForRunEnd(FindMeniscusDlg &dialog)
    {
        return RunEventLoopUntil([&] { return !dialog.IsRunning(); });
    }
};

TEST_F(FindMeniscusDlgTest, SettingsFillTheEditsAndTheListFollowsASecondLater)
{
    WritePng(Image("m_2.png"), MeniscusImage(500, 300));
    WritePng(Image("M_1.PNG"), MeniscusImage(500, 300));
    WriteFileBytes(Image("notes.txt"), "x");
    std::filesystem::create_directories(Image("sub.png"));
    WriteSettings("[FindMeniscus]\r\nDirectory=" + m_dir.file("img") + "\r\n");
    FindMeniscusDlg &dialog = Dialog();
    EXPECT_EQ(dialog.ControlText(FindMeniscusDlg::kFolder), m_dir.file("img"));
    EXPECT_EQ(dialog.ControlText(FindMeniscusDlg::kFilter), "*.png");
    EXPECT_EQ(dialog.TimerInterval(FindMeniscusDlg::kFillListTimer), 1000);
    EXPECT_EQ(dialog.TimerInterval(FindMeniscusDlg::kSaveSettingsTimer), 1000);
    EXPECT_TRUE(ListTexts(dialog, FindMeniscusDlg::kImageList).empty());
    ASSERT_TRUE(RunEventLoopUntil([&] { return !dialog.TimerActive(FindMeniscusDlg::kFillListTimer); }));
    // Files only, matched without regard to case, sorted.
    EXPECT_EQ(ListTexts(dialog, FindMeniscusDlg::kImageList),
              (std::vector<std::string>{"M_1.PNG", "m_2.png"}));

    dialog.SetControlText(FindMeniscusDlg::kFilter, "*_2.png");
    ASSERT_TRUE(RunEventLoopUntil([&] { return !dialog.TimerActive(FindMeniscusDlg::kSaveSettingsTimer); }));
    EXPECT_EQ(Setting("FindMeniscus", "Filter"), "*_2.png");
    EXPECT_EQ(Setting("FindMeniscus", "Directory"), m_dir.file("img"));
    EXPECT_EQ(ListTexts(dialog, FindMeniscusDlg::kImageList), (std::vector<std::string>{"m_2.png"}));
}

TEST_F(FindMeniscusDlgTest, RunWritesTheReportIntoTheFolderAndOpensIt)
{
    WritePng(Image("r_1.png"), MeniscusImage(500, 300));
    WriteFileBytes(Image("r_2.png"), "not an image");
    WritePng(Image("r_3.png"), MeniscusImage(500, 320));
    WriteSettings("[FindMeniscus]\r\nDirectory=" + m_dir.file("img") + "\r\n");
    FindMeniscusDlg &dialog = Dialog();
    dialog.FillImageList();
    Select(dialog, FindMeniscusDlg::kImageList, {"r_1.png", "r_2.png", "r_3.png"});

    dialog.ControlAs<QPushButton>(FindMeniscusDlg::kRun)->click();
    // The inputs are disabled while the worker runs.
    for (int id : {FindMeniscusDlg::kFolder, FindMeniscusDlg::kBrowse, FindMeniscusDlg::kFilter,
                   FindMeniscusDlg::kImageList, FindMeniscusDlg::kRun})
        EXPECT_FALSE(dialog.IsControlEnabled(id)) << id;
    EXPECT_TRUE(dialog.IsControlEnabled(FindMeniscusDlg::kStop));
    ASSERT_TRUE(WaitForRunEnd(dialog));
    for (int id : {FindMeniscusDlg::kFolder, FindMeniscusDlg::kBrowse, FindMeniscusDlg::kFilter,
                   FindMeniscusDlg::kImageList, FindMeniscusDlg::kRun})
        EXPECT_TRUE(dialog.IsControlEnabled(id)) << id;
    EXPECT_FALSE(dialog.IsControlEnabled(FindMeniscusDlg::kStop));
    EXPECT_EQ(dialog.ControlText(FindMeniscusDlg::kProgress), "");

    const std::vector<std::string> opened = Opened();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].rfind(m_dir.file("img/"), 0), 0u) << opened[0];
    EXPECT_THAT(opened[0], ::testing::EndsWith("_MeniscusReport.txt"));
    EXPECT_EQ(
        ReadFileBytes(opened[0]),
        "FindMeniscus\r\nVersion\t1.2.3.4\r\nDirectory\t" + m_dir.file("img") +
            "\r\nImage\tupper_channel_y\tlower_channel_y\tmeniscus_found\tmeniscus_x\tmeniscus_form\r\n" +
            Image("r_2.png") + "\tCan't open image file.\r\n" +
            "r_1.png\t50\t150\tTrue\t300\t -10.0\r\nr_3.png\t50\t150\tTrue\t320\t -10.0\r\n");
    EXPECT_TRUE(m_ui->Messages().empty());
}

TEST_F(FindMeniscusDlgTest, RefusalsAndFailuresReachTheUser)
{
    FindMeniscusDlg &dialog = Dialog();
    dialog.ControlAs<QPushButton>(FindMeniscusDlg::kRun)->click();
    EXPECT_EQ(MessageTexts(), (std::vector<std::string>{"You must select at least one image to process."}));
    EXPECT_FALSE(dialog.IsRunning());

    // A folder that vanished after its list was filled: no image and no report can be written.
    WritePng(Image("s_1.png"), MeniscusImage(500, 300));
    dialog.SetControlText(FindMeniscusDlg::kFolder, m_dir.file("img"));
    dialog.FillImageList();
    Select(dialog, FindMeniscusDlg::kImageList, {"s_1.png"});
    std::filesystem::remove_all(m_dir.file("img"));
    m_ui->Clear();
    dialog.ControlAs<QPushButton>(FindMeniscusDlg::kRun)->click();
    ASSERT_TRUE(WaitForRunEnd(dialog));
    ASSERT_EQ(m_ui->Messages().size(), 1u);
    EXPECT_THAT(m_ui->Messages()[0].text, HasSubstr("Can't open report file: " + m_dir.file("img/")));
    EXPECT_EQ(m_ui->Messages()[0].flags, platform::ui::MbOk | platform::ui::MbIconError);
    EXPECT_THAT(ErrorLogText(m_dir.str()), HasSubstr("Can't open report file: " + m_dir.file("img/")));
    EXPECT_TRUE(Opened().empty());
    EXPECT_TRUE(dialog.IsControlEnabled(FindMeniscusDlg::kRun));
}

TEST_F(FindMeniscusDlgTest, BrowseStartsAtTheFolderAndTakesTheChoice)
{
    FindMeniscusDlg &dialog = Dialog();
    dialog.SetControlText(FindMeniscusDlg::kFolder, m_dir.str());
    m_ui->QueueAnswer(true, m_dir.file("img"));
    dialog.ControlAs<QPushButton>(FindMeniscusDlg::kBrowse)->click();
    ASSERT_EQ(m_ui->Requests().size(), 1u);
    EXPECT_EQ(m_ui->Requests()[0].title, "Select a directory with images.");
    EXPECT_EQ(m_ui->Requests()[0].start, m_dir.str());
    EXPECT_EQ(dialog.ControlText(FindMeniscusDlg::kFolder), m_dir.file("img"));
}

TEST_F(FindMeniscusDlgTest, Screenshot)
{
    for (int i = 1; i <= 4; ++i)
        WritePng(Image("Well_" + std::to_string(i) + ".png"), MeniscusImage(500, 300));
    WriteSettings("[FindMeniscus]\r\nDirectory=" + m_dir.file("img") + "\r\n");
    FindMeniscusDlg &dialog = Dialog();
    dialog.FillImageList();
    Select(dialog, FindMeniscusDlg::kImageList, {"Well_2.png", "Well_3.png"});
    dialog.SetControlText(FindMeniscusDlg::kProgress, "2 of 4");
    QCoreApplication::processEvents();
    cv::Mat shown;
    MeniscusImage(500, 300).convertTo(shown, CV_8U, 1.0 / 32);
    QLabel image;
    image.setPixmap(QPixmap::fromImage(
        QImage(shown.data, shown.cols, shown.rows, int(shown.step), QImage::Format_Grayscale8).copy()));
    image.resize(shown.cols, shown.rows);
    WriteScreenshotBeside(&image, &dialog, "find_meniscus");
}

} // namespace
} // namespace vantelis::test
