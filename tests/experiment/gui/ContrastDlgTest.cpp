// The contrast tool driven through its controls: its file list (shared with the meniscus finder),
// the channel words, the channel file names of a selection, the panes and the marker drag.
#include "VideoToolFixture.h"

#include "tools/gui/ToolWindowKit.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <gmock/gmock.h>

#include <filesystem>

namespace vantelis::test {
namespace {

class ContrastDlgTest : public VideoToolFixture
{
  protected:
    ContrastDlg &Contrast()
    {
        ContrastDlg *dialog = TheContrastDlg();
        EXPECT_NE(dialog, nullptr);
        Experiment().ContrastTool().Show(true);
        return *dialog;
    }
    void ShowFolder(ContrastDlg &dialog, const std::string &filter = "*.png")
    {
        dialog.SetControlText(ContrastDlg::kFolder, m_dir.file("img"));
        dialog.SetControlText(ContrastDlg::kFilter, filter);
        dialog.OnTimer(ContrastDlg::kFillListTimer);
    }
    // Three channel images of one position; no blue one.
    void WritePosition()
    {
        WriteLevel("a_Brightfield_0001.png", 3000);
        WriteLevel("a_Red_0001.png", 200);
        WriteLevel("a_Green_0001.png", 40000);
    }
    void SetChannels(ContrastDlg &dialog, const std::vector<std::string> &words)
    {
        for (int c = 0; c < 4; ++c)
            dialog.SetControlText(ContrastDlg::kBrightfield + c, words[c]);
    }
};

TEST_F(ContrastDlgTest, FileListServesAnyWindowWithTheSameControlsAndAnEmptyFilterFindsNothing)
{
    WriteLevel("b.png", 1);
    WriteLevel("A.png", 1);
    std::filesystem::create_directories(Image("dir.png"));
    // A window of another tool with the folder, filter and list controls.
    ToolWindow other("Other");
    auto *folder = other.AddControl(ContrastDlg::kFolder, new QLineEdit(&other));
    auto *filter = other.AddControl(ContrastDlg::kFilter, new QLineEdit(&other));
    other.AddControl(ContrastDlg::kFileList, new QListWidget(&other));
    folder->setText(QString::fromStdString("  " + m_dir.file("img") + "  "));
    filter->setText("*.png");
    EXPECT_TRUE(ContrastDlg::FillImageList(&other));
    EXPECT_EQ(ListTexts(other, ContrastDlg::kFileList), (std::vector<std::string>{"A.png", "b.png"}));
    filter->setText("");
    EXPECT_FALSE(ContrastDlg::FillImageList(&other));
    EXPECT_TRUE(ListTexts(other, ContrastDlg::kFileList).empty());
    filter->setText("*.tif");
    EXPECT_FALSE(ContrastDlg::FillImageList(&other));
    EXPECT_TRUE(ListTexts(other, ContrastDlg::kFileList).empty());
}

TEST_F(ContrastDlgTest, SettingsAndChannelWordsFollowTheFolder)
{
    WriteSettings("[ContrastDlg]\r\nImageDirectory=" + m_dir.file("img") + "\r\nFilter=*.png\r\nRed=Red\r\n");
    for (const char *word : {"Brightfield", "Red", "Green", "Blue", "Extra"})
        WriteLevel(std::string("a_") + word + "_0001.png", 1);
    ContrastDlg &dialog = Contrast();
    EXPECT_EQ(dialog.windowTitle().toStdString(), "Contrast");
    EXPECT_EQ(dialog.ControlText(ContrastDlg::kBrightfield + 1), "Red");
    EXPECT_EQ(dialog.TimerInterval(ContrastDlg::kFillListTimer), 1000);
    ASSERT_TRUE(RunEventLoopUntil([&] { return !dialog.TimerActive(ContrastDlg::kFillListTimer); }));
    EXPECT_EQ(ListTexts(dialog, ContrastDlg::kFileList).size(), 5u);
    // At most four words, in the order of the folder listing.
    ASSERT_EQ(dialog.ChannelSuffixes().size(), 4u);
    dialog.OnDropDownChannel(2);
    auto *combo = dialog.ControlAs<QComboBox>(ContrastDlg::kBrightfield + 2);
    EXPECT_EQ(combo->count(), 4);

    dialog.SetControlText(ContrastDlg::kBrightfield + 3, "Blue");
    ASSERT_TRUE(RunEventLoopUntil([&] { return !dialog.TimerActive(ContrastDlg::kSaveTimer); }));
    EXPECT_EQ(Setting("ContrastDlg", "Blue"), "Blue");
    EXPECT_EQ(Setting("ContrastDlg", "ImageDirectory"), m_dir.file("img"));
}

TEST_F(ContrastDlgTest, ChannelFileNamesComeFromTheSelectedNameAndTheCombos)
{
    WritePosition();
    ContrastDlg &dialog = Contrast();
    ShowFolder(dialog);
    // A blank combo and a channel whose file is missing give no file.
    SetChannels(dialog, {"Brightfield", "Red", " \t", "Blue"});
    ASSERT_TRUE(dialog.BuildChannelFileNames("a_Green_0001.png"));
    EXPECT_EQ(dialog.ChannelFile(0), Image("a_Brightfield_0001.png"));
    EXPECT_EQ(dialog.ChannelFile(1), Image("a_Red_0001.png"));
    EXPECT_EQ(dialog.ChannelFile(2), "");
    EXPECT_EQ(dialog.ChannelFile(3), "");
    for (const char *name : {"img.png", "a_b.png", "_Red_0001.png", ""}) {
        EXPECT_FALSE(dialog.BuildChannelFileNames(name)) << name;
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(dialog.ChannelFile(c), "") << name;
    }
}

TEST_F(ContrastDlgTest, SelectionShowsAPaneForEachReadableChannelImage)
{
    WritePosition();
    ContrastDlg &dialog = Contrast();
    ShowFolder(dialog);
    SetChannels(dialog, {"Brightfield", "Red", "Green", "Blue"});
    Select(dialog, ContrastDlg::kFileList, {"a_Red_0001.png"});
    EXPECT_EQ(dialog.TimerInterval(ContrastDlg::kLoadImagesTimer), 300);
    ASSERT_TRUE(RunEventLoopUntil([&] { return !dialog.TimerActive(ContrastDlg::kLoadImagesTimer); }));
    for (int c = 0; c < 3; ++c) {
        EXPECT_FALSE(dialog.Pane(c).m_hidden) << c;
        // The pane lies right of its combo, below the one above.
        const QWidget *combo = dialog.Control(ContrastDlg::kBrightfield + c);
        EXPECT_EQ(dialog.Pane(c).m_frame.left,
                  combo->mapTo(&dialog, QPoint(0, 0)).x() + combo->width() - 1 + 10);
        EXPECT_GT(dialog.Pane(c).m_frame.right, dialog.Pane(c).m_frame.left + 100);
        if (c > 0) {
            EXPECT_GT(dialog.Pane(c).m_frame.top, ContrastDlg::MarkerStrip(dialog.Pane(c - 1)).bottom());
        }
    }
    EXPECT_TRUE(dialog.Pane(3).m_hidden);
    // Every pixel of the red image has level 200: its histogram is one bar.
    int bars = 0;
    for (uint16_t bin : dialog.Pane(1).m_bins)
        bars += bin > 0 ? 1 : 0;
    EXPECT_EQ(bars, 1);

    // A name that does not follow the pattern hides every pane.
    WriteLevel("img.png", 1);
    ShowFolder(dialog);
    Select(dialog, ContrastDlg::kFileList, {"img.png"});
    EXPECT_FALSE(dialog.LoadChannelImages());
    for (int c = 0; c < 4; ++c)
        EXPECT_TRUE(dialog.Pane(c).m_hidden) << c;
}

TEST_F(ContrastDlgTest, MarkersMoveByDragAndTheLowerOneStopsBeforeTheUpperOne)
{
    WritePosition();
    ContrastDlg &dialog = Contrast();
    dialog.resize(900, 420);
    ShowFolder(dialog);
    SetChannels(dialog, {"Brightfield", "Red", "", ""});
    Select(dialog, ContrastDlg::kFileList, {"a_Brightfield_0001.png"});
    ASSERT_TRUE(dialog.LoadChannelImages());
    ASSERT_TRUE(dialog.SetLowerAndUpperIntensities(1, 100, 60000));
    dialog.grab(); // paints, which places the markers
    Ostravo::IntensityControl &pane = dialog.Pane(1);
    const auto centre = [](const Ostravo::IntensityControl::Rect &r) {
        return QPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    };

    // The upper marker dragged to the middle of the pane takes that intensity.
    const int middle = (pane.m_frame.left + pane.m_frame.right) / 2;
    const QPoint upper = centre(pane.m_upper_marker_rect);
    QTest::mousePress(&dialog, Qt::LeftButton, {}, upper);
    QTest::mouseMove(&dialog, QPoint(middle, upper.y()));
    QTest::mouseRelease(&dialog, Qt::LeftButton, {}, QPoint(middle, upper.y()));
    EXPECT_EQ(pane.m_upper_intensity, pane.XToIntensity(middle));
    EXPECT_LT(pane.m_upper_intensity, 60000);
    EXPECT_FALSE(pane.m_dragging_upper);
    EXPECT_EQ(dialog.Pane(0).m_upper_intensity, 65535); // the pane above is untouched

    // The lower marker pulled past the upper one stays below it.
    dialog.grab();
    const QPoint lower = centre(pane.m_lower_marker_rect);
    QTest::mousePress(&dialog, Qt::LeftButton, {}, lower);
    QTest::mouseMove(&dialog, QPoint(middle - 20, lower.y()));
    QTest::mouseMove(&dialog, QPoint(pane.m_frame.right - 5, lower.y()));
    QTest::mouseRelease(&dialog, Qt::LeftButton, {}, QPoint(pane.m_frame.right - 5, lower.y()));
    EXPECT_EQ(pane.m_lower_intensity, pane.XToIntensity(middle - 20));
    EXPECT_LT(pane.m_lower_intensity, pane.m_upper_intensity);

    // The window the video tool sets is checked.
    EXPECT_FALSE(dialog.SetLowerAndUpperIntensities(4, 1, 2));
    EXPECT_FALSE(dialog.SetLowerAndUpperIntensities(0, -1, 2));
    EXPECT_FALSE(dialog.SetLowerAndUpperIntensities(0, 1, 65536));
    EXPECT_FALSE(dialog.SetLowerAndUpperIntensities(0, 5, 5));
    EXPECT_TRUE(dialog.SetLowerAndUpperIntensities(0, 0, 65535));
}

// Both tools' sorted lists order names without regard to case, as the tools' other sorted lists
// do (not capitals first).
TEST_F(ContrastDlgTest, FileListsAreSortedWithoutRegardToCase)
{
    for (const char *name : {"b_Red_0001.png", "_x_Red_0001.png", "a_Red_0002.png", "A_Red_0001.png"})
        WriteLevel(name, 100);
    const std::vector<std::string> expected{"_x_Red_0001.png", "A_Red_0001.png", "a_Red_0002.png",
                                            "b_Red_0001.png"};
    ContrastDlg &contrast = Contrast();
    ShowFolder(contrast);
    EXPECT_EQ(ListTexts(contrast, ContrastDlg::kFileList), expected);
    VideoDlg &video = Video();
    video.SetControlText(VideoDlg::kFolder, m_dir.file("img"));
    video.OnTimer(VideoDlg::kFillListTimer);
    EXPECT_EQ(ListTexts(video, VideoDlg::kFileList), expected);
}

TEST_F(ContrastDlgTest, InstrumentNamesShowTheirPositionDigits)
{
    for (int p = 1; p <= 12; ++p)
        for (const char *channel : {"Brightfield", "Ex474Em524", "Ex560Em628"})
            WriteLevel(InstrumentName(channel, p), 3000);
    ContrastDlg &dialog = Contrast();
    ShowFolder(dialog);
    SetChannels(dialog, {"Brightfield", "Ex474Em524", "Ex560Em628", ""});
    Select(dialog, ContrastDlg::kFileList, {InstrumentName("Brightfield", 3)});
    ASSERT_TRUE(dialog.LoadChannelImages());
    std::filesystem::create_directories("/tmp/shots");
    EXPECT_TRUE(dialog.grab().save(QStringLiteral("/tmp/shots/contrast_tool_instrument_names.png")));
    EXPECT_TRUE(EveryNameFits(dialog, ContrastDlg::kFileList));
    // A longer name than the instrument's usual ones keeps its end and loses its middle.
    WriteLevel("20240315-0930-05_Cartridge417-LongExperimentName_Brightfield_0013.png", 3000);
    ShowFolder(dialog);
    EXPECT_TRUE(dialog.grab().save(QStringLiteral("/tmp/shots/contrast_tool_instrument_names_narrow.png")));
    EXPECT_FALSE(EveryNameFits(dialog, ContrastDlg::kFileList));
    EXPECT_TRUE(LongNamesLoseTheirMiddle(dialog, ContrastDlg::kFileList));
}

TEST_F(ContrastDlgTest, Screenshot)
{
    WritePosition();
    ContrastDlg &dialog = Contrast();
    dialog.resize(900, 420);
    ShowFolder(dialog);
    SetChannels(dialog, {"Brightfield", "Red", "Green", "Blue"});
    Select(dialog, ContrastDlg::kFileList, {"a_Brightfield_0001.png"});
    ASSERT_TRUE(dialog.LoadChannelImages());
    dialog.SetLowerAndUpperIntensities(0, 1000, 20000);
    std::filesystem::create_directories("/tmp/shots");
    EXPECT_TRUE(dialog.grab().save(QStringLiteral("/tmp/shots/contrast_tool.png")));
}

} // namespace
} // namespace vantelis::test
