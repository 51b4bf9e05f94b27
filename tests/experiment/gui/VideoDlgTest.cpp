// The video tool driven through its controls: settings, the checks before a run, monochrome and
// colour videos written by its worker and decoded again, Stop, and the exchange with the contrast
// tool.
#include "VideoToolFixture.h"

#include "experiment/gui/MontageDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <gmock/gmock.h>

#include <filesystem>

namespace vantelis::test {
namespace {

using ::testing::HasSubstr;

class VideoDlgTest : public VideoToolFixture
{
  protected:
    // Ten brightfield images of level 20000; green images of level 60000 except at position 5.
    void WriteTenPositions()
    {
        for (int p = 1; p <= 10; ++p) {
            WriteLevel(Name("Brightfield", p), 20000);
            if (p != 5)
                WriteLevel(Name("Green", p), 60000);
        }
    }
    // Points the window at the image folder and refills its list at once.
    void ShowFolder(VideoDlg &dialog)
    {
        dialog.SetControlText(VideoDlg::kFolder, m_dir.file("img"));
        dialog.OnTimer(VideoDlg::kFillListTimer);
    }
    void Create(VideoDlg &dialog) { dialog.ControlAs<QPushButton>(VideoDlg::kCreate)->click(); }
    bool WaitForEnd(VideoDlg &dialog)
    {
        return RunEventLoopUntil([&] { return !dialog.IsRunning(); });
    }
    std::vector<std::string> BrightfieldNames(int from, int to)
    {
        std::vector<std::string> names;
        for (int p = from; p <= to; ++p)
            names.push_back(Name("Brightfield", p));
        return names;
    }
};

TEST_F(VideoDlgTest, ControlsCarryTheirIdsCaptionsAndSettings)
{
    WriteSettings(
        "[VideoDlg]\r\nDirectory=" + m_dir.file("img") +
        "\r\nMonochrome=true\r\nfps=12\r\nRed=Ex560\r\nRange1=100:900\r\nTrimToCustomerView=TRUE\r\n");
    WriteLevel("a_Red_0001.png", 1);
    VideoDlg &dialog = Video();
    EXPECT_EQ(dialog.windowTitle().toStdString(), "Video");
    EXPECT_EQ(dialog.ControlText(VideoDlg::kFilter), "*.png");
    EXPECT_EQ(dialog.ControlText(VideoDlg::kFps), "12");
    EXPECT_EQ(dialog.ControlText(VideoDlg::kBrightfield + 1), "Ex560");
    EXPECT_EQ(dialog.ControlText(VideoDlg::kRange0 + 1), "100:900");
    // "true" in small letters checks the box, and a checked box disables the channel combos.
    EXPECT_TRUE(dialog.IsChecked(VideoDlg::kMonochrome));
    EXPECT_FALSE(dialog.IsControlEnabled(VideoDlg::kBrightfield));
    EXPECT_TRUE(dialog.IsChecked(VideoDlg::kTrimToCustomerView));
    EXPECT_FALSE(dialog.IsControlEnabled(VideoDlg::kTrimToCustomerView));
    EXPECT_FALSE(dialog.IsControlEnabled(VideoDlg::kStop));
    EXPECT_EQ(ListTexts(dialog, VideoDlg::kFileList), (std::vector<std::string>{"a_Red_0001.png"}));
    EXPECT_EQ(dialog.ChannelSuffixes(), (std::vector<std::string>{"Red"}));
    const std::vector<std::pair<int, std::string>> captions = {
        {VideoDlg::kBrowse, "..."},
        {VideoDlg::kMonochrome, "Monochrome"},
        {VideoDlg::kPreview, "Preview"},
        {VideoDlg::kContrast, "Contrast"},
        {VideoDlg::kCreate, "Create"},
        {VideoDlg::kStop, "Stop"},
        {VideoDlg::kTrimToCustomerView, "Trim to customer view"}};
    for (const auto &[id, caption] : captions)
        EXPECT_EQ(dialog.ControlText(id), caption) << id;
    EXPECT_TRUE(dialog.ControlAs<QPushButton>(VideoDlg::kCreate)->isDefault());
    bool brighfield = false;
    for (QLabel *label : dialog.findChildren<QLabel *>())
        brighfield = brighfield || label->text() == "Brighfield";
    EXPECT_TRUE(brighfield);

    // Clearing the box enables the combos when the settings are saved, and saves every key.
    dialog.ControlAs<QCheckBox>(VideoDlg::kMonochrome)->click();
    ASSERT_TRUE(RunEventLoopUntil([&] { return !dialog.TimerActive(VideoDlg::kSaveTimer); }));
    EXPECT_TRUE(dialog.IsControlEnabled(VideoDlg::kBrightfield));
    EXPECT_EQ(Setting("VideoDlg", "Monochrome"), "FALSE");
    EXPECT_EQ(Setting("VideoDlg", "TrimToCustomerView"), "TRUE");
    EXPECT_EQ(Setting("VideoDlg", "Range1"), "100:900");
    EXPECT_EQ(Setting("VideoDlg", "Filter"), "*.png");

    // The window is hidden, never destroyed.
    Experiment().VideoTool().Show(false);
    EXPECT_FALSE(Experiment().VideoTool().IsVisible());
    EXPECT_EQ(m_services->VideoDialog(), &dialog);
}

TEST_F(VideoDlgTest, RunChecksRefuseBeforeAnythingStarts)
{
    WriteSettings("[VideoDlg]\r\nMonochrome=TRUE\r\n");
    WriteLevel(Name("Brightfield", 1), 1000);
    VideoDlg &dialog = Video();
    ShowFolder(dialog);
    Select(dialog, VideoDlg::kFileList, {Name("Brightfield", 1)});
    dialog.SetControlText(VideoDlg::kVideoFile, "clip");
    for (const char *fps : {"0.5", "31", "abc"}) {
        m_ui->Clear();
        dialog.SetControlText(VideoDlg::kFps, fps);
        Create(dialog);
        EXPECT_EQ(Messages(), (std::vector<std::string>{"fps must be between 1.0 and 30.0"})) << fps;
        EXPECT_FALSE(dialog.IsRunning());
    }
    EXPECT_THAT(ErrorLog(), HasSubstr("fps must be between 1.0 and 30.0"));

    m_ui->Clear();
    dialog.SetControlText(VideoDlg::kFps, "30");
    dialog.SetControlText(VideoDlg::kVideoFile, "");
    Create(dialog);
    EXPECT_EQ(Messages(),
              (std::vector<std::string>{"You must provide the name of the video file to create."}));

    // A relative name lands in the image folder as .avi; an existing file is only replaced on Yes.
    const std::string existing = Image("clip.avi");
    WriteFileBytes(existing, "keep");
    m_ui->Clear();
    dialog.SetControlText(VideoDlg::kVideoFile, "sub/clip.mp4");
    Create(dialog); // the box answers No
    EXPECT_EQ(Messages(), (std::vector<std::string>{"File already exists: " + existing +
                                                    "\n\nDo you want to overwrite it?"}));
    EXPECT_FALSE(dialog.IsRunning());
    EXPECT_EQ(ReadFileBytes(existing), "keep");

    // Trimming needs the folder's experiment settings file.
    std::filesystem::remove(existing);
    dialog.SetChecked(VideoDlg::kTrimToCustomerView, true);
    m_ui->Clear();
    Create(dialog);
    EXPECT_EQ(Messages(), (std::vector<std::string>{"Trim to customer view option is invalid because file " +
                                                    Image("ExperimentSettings.ini") + " is missing"}));
    EXPECT_FALSE(dialog.IsRunning());
    EXPECT_FALSE(std::filesystem::exists(existing));
}

TEST_F(VideoDlgTest, MonochromeVideoOfTenImagesDecodesFrameByFrame)
{
    WriteSettings("[VideoDlg]\r\nMonochrome=TRUE\r\nRange0=0:40000\r\n");
    WriteTenPositions();
    VideoDlg &dialog = Video(false);
    ShowFolder(dialog);
    Select(dialog, VideoDlg::kFileList, BrightfieldNames(1, 10));
    dialog.SetControlText(VideoDlg::kVideoFile, "mono");
    dialog.SetControlText(VideoDlg::kFps, "5");
    Create(dialog);
    for (int id : {VideoDlg::kFolder, VideoDlg::kFilter, VideoDlg::kVideoFile, VideoDlg::kFps,
                   VideoDlg::kFileList, VideoDlg::kMonochrome, VideoDlg::kCreate})
        EXPECT_FALSE(dialog.IsControlEnabled(id)) << id;
    EXPECT_TRUE(dialog.IsControlEnabled(VideoDlg::kStop));
    ASSERT_TRUE(WaitForEnd(dialog));
    EXPECT_TRUE(Messages().empty());
    EXPECT_TRUE(dialog.IsControlEnabled(VideoDlg::kCreate));
    EXPECT_FALSE(dialog.IsControlEnabled(VideoDlg::kStop));
    EXPECT_EQ(dialog.ControlText(VideoDlg::kStatus), "");
    EXPECT_DOUBLE_EQ(dialog.Fps(), 5.0);

    const std::vector<cv::Mat> frames = DecodeFrames(Image("mono.avi"));
    ASSERT_EQ(frames.size(), 10u);
    // 20000 through the window 0..40000 is about half the range: a grey near 128.
    for (const cv::Mat &frame : frames) {
        EXPECT_EQ(frame.size(), cv::Size(kWidth, kHeight));
        EXPECT_NEAR(cv::mean(frame)[1], 128, 6);
    }
}

TEST_F(VideoDlgTest, StopEndsTheVideoEarlyAndLeavesAValidFile)
{
    WriteSettings("[VideoDlg]\r\nMonochrome=TRUE\r\n");
    WriteTenPositions();
    VideoDlg &dialog = Video(false);
    ShowFolder(dialog);
    Select(dialog, VideoDlg::kFileList, BrightfieldNames(1, 10));
    dialog.SetControlText(VideoDlg::kVideoFile, "stopped.avi");
    // The worker waits after its third progress report ("3 of 10"), while frame 3 is pending.
    m_ui->HoldAfterPost(3);
    Create(dialog);
    ASSERT_TRUE(RunEventLoopUntil([&] { return m_ui->Held(); }));
    ASSERT_TRUE(RunEventLoopUntil([&] { return dialog.ControlText(VideoDlg::kStatus) == "3 of 10"; }));
    dialog.ControlAs<QPushButton>(VideoDlg::kStop)->click();
    m_ui->Release();
    ASSERT_TRUE(WaitForEnd(dialog));
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(dialog.ControlText(VideoDlg::kStatus), "");
    const std::vector<cv::Mat> frames = DecodeFrames(Image("stopped.avi"));
    EXPECT_EQ(frames.size(), 4u);
}

TEST_F(VideoDlgTest, ColourVideoSkipsAMissingGreenImageAndStopsAtAMissingBrightfield)
{
    WriteSettings("[VideoDlg]\r\nMonochrome=FALSE\r\nBrightfield=Brightfield\r\nGreen=Green\r\n"
                  "Range0=0:65535\r\nRange2=0:65535\r\n");
    WriteTenPositions();
    VideoDlg &dialog = Video(false);
    ShowFolder(dialog);
    // Selecting brightfield and green names of the same positions lists each position once.
    std::vector<std::string> selected = BrightfieldNames(1, 10);
    selected.push_back(Name("Green", 1));
    Select(dialog, VideoDlg::kFileList, selected);
    dialog.SetControlText(VideoDlg::kVideoFile, "colour");
    Create(dialog);
    ASSERT_TRUE(WaitForEnd(dialog));
    EXPECT_TRUE(Messages().empty()) << Messages().front();
    EXPECT_EQ(dialog.BrightfieldNames().GetCount(), 10);
    EXPECT_EQ(dialog.ChannelNames(1).GetCount(), 0);
    EXPECT_EQ(dialog.ChannelNames(3).GetCount(), 0);
    ASSERT_EQ(dialog.ChannelNames(2).GetCount(), 10);
    EXPECT_STREQ(dialog.ChannelNames(2).GetAt(0)->c_str(), Name("Green", 1).c_str());

    const std::vector<cv::Mat> frames = DecodeFrames(Image("colour.avi"));
    ASSERT_EQ(frames.size(), 10u);
    for (size_t i = 0; i < frames.size(); ++i) {
        ASSERT_EQ(frames[i].size(), cv::Size(kWidth, kHeight));
        const cv::Scalar bgr = cv::mean(frames[i]);
        // Brightfield 20000 gives 39 in every channel; green 60000 adds 117 to green.
        EXPECT_NEAR(bgr[0], 39, 8) << i;
        EXPECT_NEAR(bgr[2], 39, 8) << i;
        EXPECT_NEAR(bgr[1], i == 4 ? 39 : 156, 8) << i;
    }

    // A brightfield image missing at a later position ends the video with the writer's message.
    std::filesystem::remove(Image(Name("Brightfield", 3)));
    dialog.SetControlText(VideoDlg::kVideoFile, "broken");
    Select(dialog, VideoDlg::kFileList,
           {Name("Green", 1), Name("Green", 2), Name("Green", 3), Name("Green", 4)});
    Create(dialog);
    ASSERT_TRUE(WaitForEnd(dialog));
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_THAT(Messages()[0], HasSubstr("Ostravo::assign_composite_intensity("));
    EXPECT_THAT(Messages()[0], HasSubstr("Image does not exist: " + Image(Name("Brightfield", 3))));
    EXPECT_THAT(ErrorLog(), HasSubstr("Image does not exist: "));
    EXPECT_TRUE(dialog.IsControlEnabled(VideoDlg::kCreate));
    // A failed video is not published: no file under its name, nothing temporary beside it.
    EXPECT_FALSE(std::filesystem::exists(Image("broken.avi")));
    for (const auto &entry :
         std::filesystem::directory_iterator(std::filesystem::path(Image("broken.avi")).parent_path()))
        EXPECT_EQ(entry.path().filename().string().find("broken"), std::string::npos) << entry.path();
}

TEST_F(VideoDlgTest, ContrastButtonHandsOverTheFolderAndRangesAndReadsTheMarkersBack)
{
    WriteSettings("[VideoDlg]\r\nMonochrome=FALSE\r\nBrightfield=Brightfield\r\nRed=Red\r\n"
                  "Range0=100:5000\r\nRange1=-5:70000\r\nRange3=7:9\r\n");
    VideoDlg &dialog = Video();
    dialog.SetControlText(VideoDlg::kFolder, m_dir.file("img"));
    dialog.ControlAs<QPushButton>(VideoDlg::kContrast)->click();
    ContrastDlg *contrast = m_services->ContrastDialog();
    ASSERT_NE(contrast, nullptr);
    EXPECT_TRUE(contrast->isVisible());
    EXPECT_EQ(contrast->ControlText(ContrastDlg::kFolder), m_dir.file("img"));
    EXPECT_EQ(contrast->ControlText(ContrastDlg::kFilter), "*.png");
    EXPECT_EQ(contrast->ControlText(ContrastDlg::kBrightfield + 1), "Red");
    EXPECT_EQ(contrast->Pane(0).m_lower_intensity, 100);
    EXPECT_EQ(contrast->Pane(0).m_upper_intensity, 5000);
    // A range outside 0..65535 is not a window the pane takes.
    EXPECT_EQ(contrast->Pane(1).m_lower_intensity, 0);
    EXPECT_EQ(contrast->Pane(1).m_upper_intensity, 65535);
    EXPECT_EQ(dialog.TimerInterval(VideoDlg::kContrastTimer), 1000);

    // Each second the panes' windows come back into the range fields of the named channels.
    ASSERT_TRUE(contrast->SetLowerAndUpperIntensities(1, 200, 3000));
    dialog.OnTimer(VideoDlg::kContrastTimer);
    EXPECT_EQ(dialog.ControlText(VideoDlg::kRange0), "100:5000");
    EXPECT_EQ(dialog.ControlText(VideoDlg::kRange0 + 1), "200:3000");
    EXPECT_EQ(dialog.ControlText(VideoDlg::kRange0 + 3), ""); // its combo is blank
    EXPECT_EQ(dialog.TimerInterval(VideoDlg::kSaveTimer), 1000);
    EXPECT_EQ(dialog.TimerInterval(VideoDlg::kContrastTimer), 1000);
    // Once the contrast tool is hidden the copying ends.
    contrast->hide();
    dialog.OnTimer(VideoDlg::kContrastTimer);
    EXPECT_FALSE(dialog.TimerActive(VideoDlg::kContrastTimer));
}

TEST_F(VideoDlgTest, BrowseAndPreviewWorkOnTheFolderAndTheSelection)
{
    WriteLevel(Name("Brightfield", 1), 1);
    WriteLevel(Name("Brightfield", 2), 1);
    VideoDlg &dialog = Video();
    dialog.SetControlText(VideoDlg::kFolder, "/start");
    // A cancelled picker keeps the folder and still refreshes the list at once.
    dialog.ControlAs<QPushButton>(VideoDlg::kBrowse)->click();
    EXPECT_EQ(dialog.ControlText(VideoDlg::kFolder), "/start");
    EXPECT_EQ(dialog.TimerInterval(VideoDlg::kFillListTimer), 0);
    m_ui->QueueAnswer(true, m_dir.file("img"));
    dialog.ControlAs<QPushButton>(VideoDlg::kBrowse)->click();
    ASSERT_EQ(m_ui->Requests().size(), 2u);
    EXPECT_EQ(m_ui->Requests()[1].title, "Select a directory with image files...");
    EXPECT_EQ(m_ui->Requests()[1].start, "/start");
    EXPECT_EQ(dialog.ControlText(VideoDlg::kFolder), m_dir.file("img"));
    ASSERT_TRUE(RunEventLoopUntil([&] { return !dialog.TimerActive(VideoDlg::kFillListTimer); }));
    EXPECT_EQ(ListTexts(dialog, VideoDlg::kFileList).size(), 2u);

    std::vector<std::string> shown;
    dialog.m_run_selection_grid = [&](ImageFileItemArray &items) {
        for (int32_t i = 0; i < items.GetCount(); ++i)
            shown.push_back(items.GetAt(i)->m_name.c_str());
        return true;
    };
    dialog.ControlAs<QPushButton>(VideoDlg::kPreview)->click();
    EXPECT_EQ(Messages(), (std::vector<std::string>{"You must select at least one file from the list."}));
    EXPECT_TRUE(shown.empty());
    Select(dialog, VideoDlg::kFileList, {Name("Brightfield", 2)});
    dialog.ControlAs<QPushButton>(VideoDlg::kPreview)->click();
    EXPECT_EQ(shown, (std::vector<std::string>{Image(Name("Brightfield", 2))}));
}

// The program's installation gives the menu command and the idle handler real windows.
TEST_F(VideoDlgTest, TheProgramInstallsBothTools)
{
    InstallExperimentWindows();
    ASSERT_NE(&Experiment(), m_services.get());
    EXPECT_FALSE(Experiment().VideoTool().HasWindow());
    EXPECT_TRUE(Experiment().VideoTool().Create(false));
    EXPECT_TRUE(Experiment().VideoTool().HasWindow());
    EXPECT_FALSE(Experiment().VideoTool().IsVisible());
    ContrastDlg *contrast = TheContrastDlg();
    ASSERT_NE(contrast, nullptr);
    EXPECT_TRUE(Experiment().ContrastTool().HasWindow());
    EXPECT_EQ(TheContrastDlg(), contrast);
}

TEST_F(VideoDlgTest, InstrumentNamesShowTheirPositionDigits)
{
    for (int p = 1; p <= 12; ++p)
        for (const char *channel : {"Brightfield", "Ex474Em524", "Ex560Em628"})
            WriteLevel(InstrumentName(channel, p), 20000);
    VideoDlg &dialog = Video();
    ShowFolder(dialog);
    Select(dialog, VideoDlg::kFileList, {InstrumentName("Brightfield", 3)});
    std::filesystem::create_directories("/tmp/shots");
    EXPECT_TRUE(dialog.grab().save(QStringLiteral("/tmp/shots/video_tool_instrument_names.png")));
    EXPECT_TRUE(EveryNameFits(dialog, VideoDlg::kFileList));
    // A longer name than the instrument's usual ones keeps its end and loses its middle.
    WriteLevel("20240315-0930-05_Cartridge417-LongExperimentName_Brightfield_0013.png", 20000);
    ShowFolder(dialog);
    EXPECT_TRUE(dialog.grab().save(QStringLiteral("/tmp/shots/video_tool_instrument_names_narrow.png")));
    EXPECT_FALSE(EveryNameFits(dialog, VideoDlg::kFileList));
    EXPECT_TRUE(LongNamesLoseTheirMiddle(dialog, VideoDlg::kFileList));
}

TEST_F(VideoDlgTest, Screenshot)
{
    WriteSettings("[VideoDlg]\r\nMonochrome=FALSE\r\nBrightfield=Brightfield\r\nGreen=Green\r\n"
                  "Range0=0:40000\r\nRange2=1000:60000\r\nVideoFile=clip\r\n");
    WriteTenPositions();
    VideoDlg &dialog = Video();
    ShowFolder(dialog);
    Select(dialog, VideoDlg::kFileList, BrightfieldNames(1, 3));
    dialog.SetControlText(VideoDlg::kStatus, "3 of 10");
    std::filesystem::create_directories("/tmp/shots");
    EXPECT_TRUE(dialog.grab().save(QStringLiteral("/tmp/shots/video_tool.png")));
}

} // namespace
} // namespace vantelis::test
