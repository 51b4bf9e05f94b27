// The epi-counting parameter editor driven through its controls: loading and saving named sets,
// the fall-backs of the fields, the unsaved-change check, the set list, Done, and the preview on
// the active view.
#include "Screenshot.h"
#include "app/gui/ImageViewTest.h"
#include "support/ServiceFakes.h"
#include "support/gui/EventLoop.h"

#include "app/AnalysisToolWindows.h"
#include "tools/gui/CountingToolWindows.h"
#include "tools/gui/EpiCellCountingAlgoDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QPushButton>
#include <gmock/gmock.h>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <filesystem>
#include <sys/stat.h>

namespace vantelis::test {
namespace {

using namespace epi_id;
using ::testing::HasSubstr;

std::string SetText(const std::string &values)
{
    return "[EpiCellCountingAlgoDlg]\r\n" + values;
}

// Dark rings (1000) on a flat 8000, centred on a 4 x 4 grid 70 pixels apart from (47, 47): six
// large rings (radii 9 to 11: about 126 pixels in a 23-pixel box, filling a quarter of it), five
// small ones (radii 5 to 7: about 75 pixels, but a box of 15, below a minimum size of 20) and five
// tiny ones (radii 3 to 4: about 22 pixels, below a minimum count of 60). Together they are over
// 1 % of the 300 x 300 region, so both dark levels fall on the ring value.
struct RingImage
{
    cv::Mat image;
    std::vector<cv::Point> large, small, tiny;
};

RingImage Rings()
{
    RingImage r;
    r.image = cv::Mat(320, 320, CV_16UC1, cv::Scalar(8000));
    for (int k = 0; k < 16; ++k) {
        const cv::Point c(47 + 70 * (k % 4), 47 + 70 * (k / 4));
        double inner = 9, outer = 11;
        if (k < 6) {
            r.large.push_back(c);
        } else if (k < 11) {
            r.small.push_back(c);
            inner = 5;
            outer = 7;
        } else {
            r.tiny.push_back(c);
            inner = 3;
            outer = 4;
        }
        for (int y = c.y - 12; y <= c.y + 12; ++y)
            for (int x = c.x - 12; x <= c.x + 12; ++x) {
                const double d = std::hypot(x - c.x, y - c.y);
                if (d >= inner && d <= outer)
                    r.image.at<uint16_t>(y, x) = 1000;
            }
    }
    return r;
}

class EpiEditorTest : public ImageViewFixture
{
  protected:
    EpiEditorTest()
    {
        std::filesystem::create_directories(m_dir.file("Tmp"));
        m_windows = InstallCountingToolWindows();
    }
    ~EpiEditorTest() override { InstallAnalysisToolWindows(nullptr); }

    EpiCellCountingAlgoDlg &Dialog()
    {
        ModelessWindow &window = AnalysisTools().EpiCellCountingAlgo();
        if (!window.HasWindow())
            window.Create(true);
        return *m_windows->EpiDialog();
    }

    std::string SetPath(const std::string &name) const
    {
        return m_dir.file("LIB/" + name + ".epi_counting_params");
    }

    void WriteSet(const std::string &name, const std::string &values)
    {
        std::filesystem::create_directories(m_dir.file("LIB"));
        WriteFileBytes(SetPath(name), SetText(values));
    }

    // The Save button after the unsaved-change check that the 350 ms timer runs.
    static bool SaveEnabled(EpiCellCountingAlgoDlg &dialog)
    {
        dialog.UpdateSaveButton();
        return dialog.IsControlEnabled(kSave);
    }

    std::vector<std::string> MessageTexts() const
    {
        std::vector<std::string> texts;
        for (const FakeUi::Message &m : m_ui->Messages())
            texts.push_back(m.text);
        return texts;
    }

    std::shared_ptr<CountingToolWindows> m_windows;
};

TEST_F(EpiEditorTest, OpensTheDefaultSetOrItsDefaultsUnchanged)
{
    EpiCellCountingAlgoDlg &dialog = Dialog();
    EXPECT_EQ(dialog.windowTitle().toStdString(), "Epi Cell Counting Algo");
    EXPECT_EQ(dialog.ControlText(kParamSetName), "Default");
    const std::pair<int, const char *> shown[] = {
        {kDarkPct0, "0.0020"}, {kDarkPct1, "0.0100"}, {kMinPixelCount, "60"},
        {kMinSize, "20"},      {kMaxRatio, "0.350"},  {kLeft, "100"},
        {kRight, "1000"},      {kTop, "100"},         {kBottom, "1000"},
    };
    for (const auto &[id, text] : shown)
        EXPECT_EQ(dialog.ControlText(id), text) << id;
    EXPECT_TRUE(dialog.IsChecked(kUseBgImage));
    for (int id : {kLeft, kRight, kTop, kBottom})
        EXPECT_FALSE(dialog.IsControlEnabled(id)) << id;
    // The check runs 350 ms after the window is shown and finds nothing to save.
    EXPECT_TRUE(dialog.TimerActive(EpiCellCountingAlgoDlg::kUnsavedCheckTimer));
    ASSERT_TRUE(
        RunEventLoopUntil([&] { return !dialog.TimerActive(EpiCellCountingAlgoDlg::kUnsavedCheckTimer); }));
    EXPECT_FALSE(dialog.IsControlEnabled(kSave));
    EXPECT_FALSE(std::filesystem::exists(SetPath("Default")));
}

// The set shipped for new data folders is what a save writes, and shows unchanged.
TEST_F(EpiEditorTest, ShippedDefaultSetShowsUnchanged)
{
    const std::string shipped =
        std::string(VANTELIS_SOURCE_DIR) + "/res/data/LIB/Default.epi_counting_params";
    std::filesystem::create_directories(m_dir.file("LIB"));
    std::filesystem::copy_file(shipped, SetPath("Default"));
    EpiCellCountingAlgoDlg &dialog = Dialog();
    EXPECT_FALSE(SaveEnabled(dialog));
    EpiCellCountingParams copy = dialog.Params();
    ASSERT_TRUE(copy.Save(m_dir.file("resaved.epi_counting_params").c_str()));
    EXPECT_EQ(ReadFileBytes(m_dir.file("resaved.epi_counting_params")), ReadFileBytes(shipped));
}

TEST_F(EpiEditorTest, FieldsFallBackAsEachKindDoes)
{
    EpiCellCountingAlgoDlg &dialog = Dialog();
    struct Case
    {
        int id;
        const char *before;
        const char *typed;
        double expected;
        double (*value)(const EpiCellCountingParams &);
    } cases[] = {
        // Decimal fields: letters take the fall-back, a blank text keeps the value.
        {kDarkPct0, "0.004", "abc", 0.002,
         [](const EpiCellCountingParams &p) { return double(p.dark_pct0); }},
        {kDarkPct0, "0.004", "", 0.004, [](const EpiCellCountingParams &p) { return double(p.dark_pct0); }},
        {kDarkPct1, "0.03", "  ", 0.03, [](const EpiCellCountingParams &p) { return double(p.dark_pct1); }},
        {kDarkPct1, "0.03", "x1", 0.01, [](const EpiCellCountingParams &p) { return double(p.dark_pct1); }},
        {kDarkPct1, "0.03", "0.02xyz", 0.02,
         [](const EpiCellCountingParams &p) { return double(p.dark_pct1); }},
        // The editor's fall-back for the ratio is 0.25, not the set file's 0.35.
        {kMaxRatio, "0.3", "none", 0.25, [](const EpiCellCountingParams &p) { return double(p.max_ratio); }},
        {kMaxRatio, "0.3", "", 0.3, [](const EpiCellCountingParams &p) { return double(p.max_ratio); }},
        // Integer fields: every text without a number takes the fall-back, the blank one too.
        {kMinSize, "33", "", 20, [](const EpiCellCountingParams &p) { return double(p.min_size); }},
        {kMinPixelCount, "70", "abc", 60,
         [](const EpiCellCountingParams &p) { return double(p.min_pixel_count); }},
        {kMinPixelCount, "70", " 80 px", 80,
         [](const EpiCellCountingParams &p) { return double(p.min_pixel_count); }},
    };
    for (const Case &c : cases) {
        dialog.SetControlText(c.id, c.before);
        dialog.ControlsToParams();
        dialog.SetControlText(c.id, c.typed);
        dialog.ControlsToParams();
        EXPECT_FLOAT_EQ(float(c.value(dialog.Params())), float(c.expected)) << c.id << " '" << c.typed << "'";
    }
}

TEST_F(EpiEditorTest, SaveFollowsTheShownValues)
{
    EpiCellCountingAlgoDlg &dialog = Dialog();
    ASSERT_FALSE(SaveEnabled(dialog));
    dialog.SetControlText(kDarkPct1, "0.0200");
    EXPECT_EQ(dialog.TimerInterval(EpiCellCountingAlgoDlg::kUnsavedCheckTimer), 350);
    EXPECT_TRUE(SaveEnabled(dialog));
    dialog.SetControlText(kDarkPct1, "0.0100");
    EXPECT_FALSE(SaveEnabled(dialog));
    // The debug switches are not part of a set.
    dialog.ControlAs<QCheckBox>(kShowFoundObjects)->click();
    EXPECT_FALSE(SaveEnabled(dialog));
    dialog.ControlAs<QCheckBox>(kUseBgImage)->click();
    EXPECT_TRUE(SaveEnabled(dialog));
    dialog.ControlAs<QCheckBox>(kUseBgImage)->click();
    // The region is part of a set.
    dialog.SetControlText(kLeft, "101");
    EXPECT_TRUE(SaveEnabled(dialog));
}

// The fields show four (three) decimals: a set with more counts as changed as soon as it is shown.
TEST_F(EpiEditorTest, ValuesFinerThanTheFieldsShowCountAsChanged)
{
    struct Case
    {
        const char *values;
        bool changed;
    } cases[] = {
        {"DarkPct0=0.0015\r\n", false}, {"DarkPct0=0.00123\r\n", true}, {"DarkPct1=0.01234\r\n", true},
        {"MaxRatio=0.3\r\n", false},    {"MaxRatio=0.3125\r\n", true},
    };
    for (const Case &c : cases) {
        WriteSet("Fine", c.values);
        EpiCellCountingAlgoDlg &dialog = Dialog();
        dialog.SetControlText(kParamSetName, "Fine");
        std::string error;
        ASSERT_TRUE(dialog.LoadParamSet(error)) << error;
        EXPECT_EQ(SaveEnabled(dialog), c.changed) << c.values;
    }
}

TEST_F(EpiEditorTest, SaveWritesTheSetAndRemembersItsName)
{
    EpiCellCountingAlgoDlg &dialog = Dialog();
    dialog.SetControlText(kParamSetName, "Mine");
    dialog.SetControlText(kMinSize, "25");
    dialog.SetControlText(kMaxRatio, "0.300");
    dialog.ControlAs<QPushButton>(kSave)->setEnabled(true);
    dialog.ControlAs<QPushButton>(kSave)->click();
    EXPECT_TRUE(m_ui->Messages().empty());
    EpiCellCountingParams saved;
    saved.Load(SetPath("Mine").c_str());
    EXPECT_EQ(saved.min_size, 25);
    EXPECT_FLOAT_EQ(saved.max_ratio, 0.3f);
    EXPECT_EQ(MainSetting("EpiCellCountingAlgoDlg", "ParamSetName"), "Mine");
    EXPECT_FALSE(SaveEnabled(dialog));
}

TEST_F(EpiEditorTest, NamesThatCannotBeASetInLibAreRefused)
{
    EpiCellCountingAlgoDlg &dialog = Dialog();
    const std::string blank = "Must have a valid name in the combo box before you may save.";
    const std::string invalid = "Name in the combo box must be a valid windows file name.";
    const std::pair<const char *, const std::string &> cases[] = {
        {"", blank}, {" \t", blank}, {"a:b", invalid}, {"../up", invalid}, {"a\\b", invalid}, {"..", invalid},
    };
    for (const auto &[name, message] : cases) {
        m_ui->Clear();
        dialog.SetControlText(kParamSetName, name);
        dialog.OnSave();
        EXPECT_EQ(MessageTexts(), (std::vector<std::string>{message})) << name;
    }
    EXPECT_FALSE(std::filesystem::exists(m_dir.file("up.epi_counting_params")));
    EXPECT_FALSE(std::filesystem::exists(m_dir.file("LIB")) &&
                 !platform::ListFolder(m_dir.file("LIB"), "*").empty());

    // 300 valid characters pass the save check but cannot name a set.
    m_ui->Clear();
    const std::string longName(300, 'n');
    dialog.SetControlText(kParamSetName, longName);
    dialog.OnSave();
    const std::string message = "EpiCountingAlgoDlg - Drop down box must have a valid file name: " + longName;
    EXPECT_EQ(MessageTexts(), (std::vector<std::string>{message}));
    EXPECT_THAT(ErrorLogText(m_dir.str()), HasSubstr(message));
}

// A set that cannot be written is reported and left as it was: it is never emptied first.
TEST_F(EpiEditorTest, AFailedSaveKeepsTheStoredSet)
{
    WriteSet("Keep", "MinSize=30\r\n");
    const std::string before = ReadFileBytes(SetPath("Keep"));
    ASSERT_EQ(chmod(SetPath("Keep").c_str(), 0444), 0);
    EpiCellCountingAlgoDlg &dialog = Dialog();
    dialog.SetControlText(kParamSetName, "Keep");
    dialog.SetControlText(kMinSize, "40");
    dialog.OnSave();
    const std::string message = "Can't write to file: " + SetPath("Keep");
    EXPECT_EQ(MessageTexts(), (std::vector<std::string>{message}));
    EXPECT_THAT(ErrorLogText(m_dir.str()), HasSubstr(message));
    EXPECT_EQ(ReadFileBytes(SetPath("Keep")), before);
    EXPECT_TRUE(SaveEnabled(dialog));
    chmod(SetPath("Keep").c_str(), 0644);
}

TEST_F(EpiEditorTest, TheSetListLoadsTheChosenSetAfterOfferingToSave)
{
    WriteSet("my.set", "MinSize=31\r\n");
    WriteSet("my", "MinSize=32\r\n");
    WriteSet("Other", "MinSize=40\r\n");
    WriteFileBytes(m_dir.file("LIB/Other.counting_params"), "[CountingAlgorithmDlg]\r\n");
    WriteSettings("[EpiCellCountingAlgoDlg]\r\nParamSetName=Other\r\n");
    EpiCellCountingAlgoDlg &dialog = Dialog();
    EXPECT_EQ(dialog.ControlText(kMinSize), "40");

    auto *combo = dialog.ControlAs<QComboBox>(kParamSetName);
    dialog.OnParamSetDropDown();
    std::vector<std::string> names;
    for (int i = 0; i < combo->count(); ++i)
        names.push_back(combo->itemText(i).toStdString());
    EXPECT_EQ(names, (std::vector<std::string>{"my", "my", "Other"}));
    EXPECT_EQ(dialog.ControlText(kParamSetName), "");

    // Choosing "my" with an unsaved change: the change is offered for the current set first.
    dialog.SetControlText(kMinSize, "41");
    combo->setCurrentIndex(0);
    m_ui->QueueMessageAnswer(platform::ui::IdYes);
    dialog.OnParamSetCloseUp();
    EXPECT_EQ(MessageTexts(), (std::vector<std::string>{"Save changes to Other?"}));
    EpiCellCountingParams other;
    other.Load(SetPath("Other").c_str());
    EXPECT_EQ(other.min_size, 41);
    EXPECT_EQ(dialog.TimerInterval(EpiCellCountingAlgoDlg::kLoadTimer), 100);
    ASSERT_TRUE(RunEventLoopUntil([&] { return !dialog.TimerActive(EpiCellCountingAlgoDlg::kLoadTimer); }));
    EXPECT_EQ(dialog.CurrentSetName(), "my");
    EXPECT_EQ(dialog.ControlText(kMinSize), "32");

    // Closing the list without a choice loads the remembered set, dropping what was not saved.
    m_ui->Clear();
    dialog.SetControlText(kMinSize, "50");
    dialog.OnParamSetDropDown();
    m_ui->QueueMessageAnswer(platform::ui::IdNo);
    dialog.OnParamSetCloseUp();
    EXPECT_EQ(MessageTexts(), (std::vector<std::string>{"Save changes to my?"}));
    ASSERT_TRUE(RunEventLoopUntil([&] { return !dialog.TimerActive(EpiCellCountingAlgoDlg::kLoadTimer); }));
    EXPECT_EQ(dialog.ControlText(kParamSetName), "Other");
    EXPECT_EQ(dialog.ControlText(kMinSize), "41");
}

TEST_F(EpiEditorTest, DoneAsksAboutValuesLastReadAndHidesTheWindow)
{
    EpiCellCountingAlgoDlg &dialog = Dialog();
    EpiPreviewRoi.Set(ImageRect{1, 2, 3, 4});
    // An edit not read yet is not seen.
    dialog.SetControlText(kMinSize, "22");
    dialog.OnDone();
    EXPECT_TRUE(m_ui->Messages().empty());
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(EpiPreviewRoi.Get(), ImageRect{});

    AnalysisTools().EpiCellCountingAlgo().Show(true);
    dialog.UpdateSaveButton();
    m_ui->QueueMessageAnswer(platform::ui::IdCancel);
    dialog.ControlAs<QPushButton>(kDone)->click();
    EXPECT_EQ(MessageTexts(), (std::vector<std::string>{"Save changes?"}));
    EXPECT_TRUE(dialog.isVisible());
    // The close box and Escape ask the same.
    m_ui->QueueMessageAnswer(platform::ui::IdCancel);
    dialog.close();
    EXPECT_TRUE(dialog.isVisible());
    m_ui->QueueMessageAnswer(platform::ui::IdCancel);
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(&dialog, &escape);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(MessageTexts(), (std::vector<std::string>{"Save changes?", "Save changes?", "Save changes?"}));
    m_ui->QueueMessageAnswer(platform::ui::IdYes);
    dialog.OnDone();
    EXPECT_FALSE(dialog.isVisible());
    EpiCellCountingParams saved;
    saved.Load(SetPath("Default").c_str());
    EXPECT_EQ(saved.min_size, 22);
    EXPECT_EQ(m_windows->EpiDialog(), &dialog);
}

// Done > "Save changes?" > Yes with a name that cannot be saved keeps the window and the edits;
// once a save goes through, the fields show what the file holds, not what was typed.
TEST_F(EpiEditorTest, DoneKeepsTheWindowWhenTheSaveIsRefusedAndASaveShowsTheStoredValues)
{
    EpiCellCountingAlgoDlg &dialog = Dialog();
    dialog.SetControlText(kDarkPct0, "abc");
    dialog.SetControlText(kMinSize, "");
    dialog.SetControlText(kMaxRatio, "0.300");
    dialog.UpdateSaveButton();
    for (const char *name : {"a:b", " "}) {
        m_ui->Clear();
        dialog.SetControlText(kParamSetName, name);
        m_ui->QueueMessageAnswer(platform::ui::IdYes);
        dialog.ControlAs<QPushButton>(kDone)->click();
        ASSERT_EQ(MessageTexts().size(), 2u) << name;
        EXPECT_EQ(MessageTexts()[0], "Save changes?");
        EXPECT_TRUE(dialog.isVisible()) << name;
        EXPECT_EQ(dialog.ControlText(kDarkPct0), "abc") << name;
        EXPECT_EQ(dialog.ControlText(kMaxRatio), "0.300") << name;
    }
    EXPECT_FALSE(std::filesystem::exists(m_dir.file("LIB/a:b.epi_counting_params")));

    // A good name: saved, shown as stored, and the window closes.
    m_ui->Clear();
    dialog.SetControlText(kParamSetName, "Mine");
    m_ui->QueueMessageAnswer(platform::ui::IdYes);
    dialog.ControlAs<QPushButton>(kDone)->click();
    EXPECT_EQ(MessageTexts(), (std::vector<std::string>{"Save changes?"}));
    EXPECT_FALSE(dialog.isVisible());
    EpiCellCountingParams saved;
    saved.Load(SetPath("Mine").c_str());
    EXPECT_FLOAT_EQ(saved.dark_pct0, 0.002f);
    EXPECT_EQ(saved.min_size, 20);
    EXPECT_FLOAT_EQ(saved.max_ratio, 0.3f);
    EXPECT_EQ(dialog.ControlText(kDarkPct0), "0.0020");
    EXPECT_EQ(dialog.ControlText(kMinSize), "20");
    EXPECT_EQ(dialog.ControlText(kMaxRatio), "0.300");
    EXPECT_FALSE(SaveEnabled(dialog));

    // The Save button shows the stored values as well.
    AnalysisTools().EpiCellCountingAlgo().Show(true);
    dialog.SetControlText(kMinPixelCount, "lots");
    dialog.ControlAs<QPushButton>(kSave)->setEnabled(true);
    dialog.ControlAs<QPushButton>(kSave)->click();
    EXPECT_EQ(dialog.ControlText(kMinPixelCount), "60");
    saved.Load(SetPath("Mine").c_str());
    EXPECT_EQ(saved.min_pixel_count, 60);
}

TEST_F(EpiEditorTest, TheViewsRegionReachesTheEditsAndThePreviewRectangle)
{
    EpiCellCountingAlgoDlg &dialog = Dialog();
    AnalysisTools().ShowActiveRoi(ImageRect{12, 34, 256, 278});
    EXPECT_EQ(dialog.ControlText(kLeft), "12");
    EXPECT_EQ(dialog.ControlText(kTop), "34");
    EXPECT_EQ(dialog.ControlText(kRight), "256");
    EXPECT_EQ(dialog.ControlText(kBottom), "278");
    EXPECT_EQ(dialog.TimerInterval(EpiCellCountingAlgoDlg::kPreviewRoiTimer), 500);
    ASSERT_TRUE(
        RunEventLoopUntil([&] { return !dialog.TimerActive(EpiCellCountingAlgoDlg::kPreviewRoiTimer); }));
    EXPECT_EQ(EpiPreviewRoi.Get(), (ImageRect{12, 34, 256, 278}));
    // A hidden editor does not follow the view.
    dialog.hide();
    AnalysisTools().ShowActiveRoi(ImageRect{1, 1, 99, 99});
    EXPECT_EQ(dialog.ControlText(kLeft), "12");
}

class EpiPreviewTest : public EpiEditorTest
{
  protected:
    EpiPreviewTest()
    {
        m_rings = Rings();
        WriteImage(m_dir.file("rings_BF.png"), m_rings.image);
        WriteSet("Default", "UseBgImageIfAvail=FALSE\r\nLeft=10\r\nTop=10\r\nRight=309\r\nBottom=309\r\n");
    }

    // Runs the preview as Run does, 100 ms later.
    void RunPreview(EpiCellCountingAlgoDlg &dialog)
    {
        dialog.ControlAs<QPushButton>(kRun)->click();
        EXPECT_EQ(dialog.TimerInterval(EpiCellCountingAlgoDlg::kPreviewTimer), 100);
        ASSERT_TRUE(
            RunEventLoopUntil([&] { return !dialog.TimerActive(EpiCellCountingAlgoDlg::kPreviewTimer); }));
    }

    RingImage m_rings;
};

TEST_F(EpiPreviewTest, OnlyRingsOfEnoughPixelsAndSizeAreFound)
{
    CImageView *view = Open(m_dir.file("rings_BF.png"));
    ASSERT_NE(view, nullptr);
    EpiCellCountingAlgoDlg &dialog = Dialog();
    RunPreview(dialog);
    EXPECT_TRUE(m_ui->Messages().empty()) << MessageTexts()[0];
    ASSERT_EQ(view->m_epi_detections.size(), m_rings.large.size());
    for (const CellDetection &d : view->m_epi_detections) {
        const bool near = std::any_of(m_rings.large.begin(), m_rings.large.end(), [&](const cv::Point &c) {
            return std::abs(d.x - c.x) <= 1 && std::abs(d.y - c.y) <= 1;
        });
        EXPECT_TRUE(near) << d.x << "," << d.y;
    }
    // Without a debug switch there is no overlay.
    EXPECT_EQ(view->m_overlay_mask, nullptr);

    dialog.ControlAs<QCheckBox>(kShowFoundObjects)->click();
    RunPreview(dialog);
    ASSERT_NE(view->m_overlay_mask, nullptr);
    const cv::Mat &overlay = *view->m_overlay_mask;
    ASSERT_EQ(overlay.size(), m_rings.image.size());
    const cv::Point onLargeRing = m_rings.large[0] + cv::Point(10, 0);
    EXPECT_EQ(overlay.at<uint8_t>(onLargeRing), 3);
    EXPECT_EQ(overlay.at<uint8_t>(m_rings.large[0]), 0); // the ring's open centre
    EXPECT_EQ(overlay.at<uint8_t>(5, 5), 0);             // outside the region

    // Switched off again, the overlay goes.
    dialog.ControlAs<QCheckBox>(kShowFoundObjects)->click();
    RunPreview(dialog);
    EXPECT_EQ(view->m_overlay_mask, nullptr);
}

TEST_F(EpiPreviewTest, PreviewFailuresAndMissingViews)
{
    EpiCellCountingAlgoDlg &dialog = Dialog();
    // No image in view: nothing happens, nothing is said.
    RunPreview(dialog);
    EXPECT_TRUE(m_ui->Messages().empty());

    CImageView *view = Open(m_dir.file("rings_BF.png"));
    ASSERT_NE(view, nullptr);
    dialog.SetControlText(kMinSize, "2");
    RunPreview(dialog);
    ASSERT_EQ(m_ui->Messages().size(), 1u);
    EXPECT_THAT(m_ui->Messages()[0].text, HasSubstr("Min pixel size must be an integer between 5 and 150"));
    EXPECT_THAT(ErrorLogText(m_dir.str()), HasSubstr("Min pixel size must be an integer between 5 and 150"));
    EXPECT_TRUE(view->m_epi_detections.empty());
}

TEST_F(EpiPreviewTest, ScreenshotBesideTheImageWithDetections)
{
    CImageView *view = Open(m_dir.file("rings_BF.png"), 480, 480);
    ASSERT_NE(view, nullptr);
    EpiCellCountingAlgoDlg &dialog = Dialog();
    dialog.ControlAs<QCheckBox>(kShowFoundObjects)->click();
    RunPreview(dialog);
    ASSERT_EQ(view->m_epi_detections.size(), m_rings.large.size());
    view->m_lower_intensity = 0;
    view->m_upper_intensity = 9000;
    view->Invalidate(true);
    Renderer renderer;
    for (int round = 0; round < 3; ++round) {
        QCoreApplication::processEvents();
        while (std::unique_ptr<RenderJob> job = _render_list.TakeOldest())
            RenderThread::ProcessJob(std::move(job), renderer);
        QCoreApplication::processEvents();
    }
    dialog.adjustSize();
    WriteScreenshotBeside(FrameOf(view), &dialog, "epi_counting_editor");
}

} // namespace
} // namespace vantelis::test
