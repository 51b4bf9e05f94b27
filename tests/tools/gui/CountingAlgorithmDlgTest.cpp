#include "CountingWindowFixture.h"

#include "platform/Files.h"
#include "support/ServiceFakes.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <gmock/gmock.h>

#include <regex>

namespace vantelis::test {
namespace {

using ::testing::HasSubstr;

// Runs the event loop until the Save button shows the given state with no check pending.
bool SaveBecomes(CountingAlgorithmDlg &dialog, bool enabled)
{
    auto settled = [&] {
        return dialog.IsControlEnabled(kSave) == enabled &&
               !dialog.TimerActive(CountingAlgorithmDlg::kUnsavedCheckTimer);
    };
    QElapsedTimer clock;
    clock.start();
    while (!settled() && clock.elapsed() < 30000)
        QTest::qWait(20);
    return settled();
}

void ChooseSet(CountingAlgorithmDlg &dialog, const std::string &name)
{
    auto *combo = dialog.ControlAs<QComboBox>(kParamSetName);
    combo->showPopup();
    const int index = combo->findText(QString::fromStdString(name));
    ASSERT_GE(index, 0) << name;
    combo->setCurrentIndex(index);
    combo->hidePopup();
    emit combo->activated(index);
}

TEST_F(CountingWindowFixture, ASavedSetKeepsSaveDisabledUntilAValueChanges)
{
    CountingControls set = DiscControls();
    set.edits[kObjectRadius2] = "4.5";
    std::string error;
    ASSERT_TRUE(WriteCountingParamsFile(m_dir.file("LIB/Discs.counting_params"), set, error));
    ASSERT_TRUE(
        WriteCountingParamsFile(m_dir.file("LIB/Other.counting_params"), DefaultCountingControls(), error));
    CountingAlgorithmDlg &dialog = Dialog();

    ChooseSet(dialog, "Discs");
    EXPECT_EQ(dialog.TimerInterval(CountingAlgorithmDlg::kAutoSaveTimer), 1000);
    EXPECT_EQ(dialog.TimerInterval(CountingAlgorithmDlg::kLoadTimer), 1100);
    ASSERT_TRUE(RunEventLoopUntil([&] { return dialog.ControlText(kObjectRadius2) == "4.5"; }));
    EXPECT_EQ(dialog.ControlText(kParamSetName), "Discs");
    EXPECT_EQ(dialog.ControlText(kLeft), "10");
    EXPECT_TRUE(dialog.IsChecked(kMFilter1));
    EXPECT_FALSE(dialog.IsChecked(kUseInnerRing1));
    // The magnet edits show the calibration settings.
    EXPECT_EQ(dialog.ControlText(kUpperMagnet), "60");
    EXPECT_EQ(dialog.ControlText(kLowerMagnet), "240");
    ASSERT_TRUE(SaveBecomes(dialog, false));
    EXPECT_EQ(MainSetting("CountingAlgorithmDlg", "ParamSetName"), "Discs");

    // A change enables Save; changing it back disables it again.
    dialog.SetControlText(kObjectRadius2, "5");
    ASSERT_TRUE(SaveBecomes(dialog, true));
    dialog.SetControlText(kObjectRadius2, "4.5");
    ASSERT_TRUE(SaveBecomes(dialog, false));

    // Save writes the set as the window holds it, and Save goes off.
    dialog.SetChecked(kEdgeProcessing, true);
    dialog.ControlAs<QCheckBox>(kMFilter2)->click();
    ASSERT_TRUE(SaveBecomes(dialog, true));
    dialog.ControlAs<QPushButton>(kSave)->click();
    ASSERT_TRUE(SaveBecomes(dialog, false));
    set.boxes[kEdgeProcessing] = true;
    set.boxes[kMFilter2] = true;
    EXPECT_EQ(ReadFileBytes(m_dir.file("LIB/Discs.counting_params")), FormatCountingParams(set));
    EXPECT_TRUE(m_ui->Messages().empty());
}

TEST_F(CountingWindowFixture, ClosingTheListWithoutAChoiceChangesNothing)
{
    std::string error;
    ASSERT_TRUE(WriteCountingParamsFile(m_dir.file("LIB/Discs.counting_params"), DiscControls(), error));
    CountingAlgorithmDlg &dialog = Dialog();
    ChooseSet(dialog, "Discs");
    ASSERT_TRUE(SaveBecomes(dialog, false));
    dialog.SetControlText(kObjectRadius1, "7");
    ASSERT_TRUE(SaveBecomes(dialog, true));

    auto *combo = dialog.ControlAs<QComboBox>(kParamSetName);
    combo->showPopup();
    EXPECT_EQ(combo->count(), 1);
    EXPECT_EQ(combo->currentText().toStdString(), "Discs");
    combo->hidePopup();
    EXPECT_EQ(combo->currentText().toStdString(), "Discs");
    EXPECT_FALSE(dialog.TimerActive(CountingAlgorithmDlg::kLoadTimer));
    // Nothing is loaded: the change stays and Save stays on.
    QTest::qWait(1300);
    EXPECT_EQ(dialog.ControlText(kObjectRadius1), "7");
    EXPECT_TRUE(dialog.IsControlEnabled(kSave));
}

TEST_F(CountingWindowFixture, ABadSetNameIsRefusedWithItsMessage)
{
    CountingAlgorithmDlg &dialog = Dialog();
    for (const char *name : {"../Escaped", "a:b", " "}) {
        m_ui->Clear();
        dialog.SetControlText(kParamSetName, name);
        ASSERT_TRUE(SaveBecomes(dialog, true)) << name;
        dialog.ControlAs<QPushButton>(kSave)->click();
        ASSERT_EQ(MessageTexts().size(), 1u) << name;
        EXPECT_THAT(MessageTexts()[0], HasSubstr(std::string("Invalid name \"") + name + "\""));
    }
    EXPECT_FALSE(platform::FileExists(m_dir.file("Escaped.counting_params")));
    EXPECT_TRUE(platform::ListFolder(m_dir.file("LIB")).empty());

    // A good name saves.
    m_ui->Clear();
    dialog.SetControlText(kParamSetName, "Good one");
    dialog.ControlAs<QPushButton>(kSave)->click();
    EXPECT_TRUE(m_ui->Messages().empty());
    EXPECT_TRUE(platform::FileExists(m_dir.file("LIB/Good one.counting_params")));
    ASSERT_TRUE(SaveBecomes(dialog, false));
}

TEST_F(CountingWindowFixture, AFailedSaveIsReported)
{
    CountingAlgorithmDlg &dialog = Dialog();
    dialog.SetControlText(kParamSetName, "Set");
    // A folder in the set file's place: the file cannot be replaced.
    std::filesystem::create_directories(m_dir.file("LIB/Set.counting_params/keep"));
    ASSERT_TRUE(SaveBecomes(dialog, true));
    dialog.ControlAs<QPushButton>(kSave)->click();
    EXPECT_EQ(MessageTexts(),
              std::vector<std::string>{"Unable to create file: " + m_dir.str() + "/LIB/Set.counting_params"});
    EXPECT_TRUE(platform::FolderExists(m_dir.file("LIB/Set.counting_params/keep")));
    EXPECT_THAT(ErrorLogText(m_dir.str()), HasSubstr("Unable to create file: "));
}

TEST_F(CountingWindowFixture, AutoRunRunsOnceAfterABurstOfEdits)
{
    const std::string image = WriteDiscImage("burst.png", {{100, 150}});
    ASSERT_NE(Open(image), nullptr);
    CountingAlgorithmDlg &dialog = Dialog();
    CountingControls controls = DiscControls();
    controls.boxes[kCreateResultsFiles] = true;
    Apply(dialog, controls);
    dialog.SetChecked(kAutoRun, true);
    for (const char *text : {"5", "5.", "5.5"})
        dialog.SetControlText(kObjectRadius1, text);
    EXPECT_EQ(dialog.TimerInterval(CountingAlgorithmDlg::kRunTimer), 600);
    ASSERT_TRUE(RunEventLoopUntil([&] { return platform::FileExists(m_dir.file("burst.sum.txt")); }));
    QTest::qWait(900);
    EXPECT_FALSE(platform::FileExists(m_dir.file("burst[1].txt")));
    EXPECT_THAT(ReadFileBytes(m_dir.file("burst.txt")), HasSubstr("# radius1\t5.500\tum\r\n"));
    EXPECT_TRUE(m_ui->Messages().empty());
}

TEST_F(CountingWindowFixture, RunRefusals)
{
    const std::string p = "CountingAlgorithmDlg::process_image () ";
    const struct
    {
        const char *label;
        std::vector<std::pair<int, const char *>> edits;
        bool eightBit;
        std::string message; // empty: the run counts and writes its files
    } cases[] = {
        {"short ROI",
         {{kTop, "100"}, {kBottom, "119"}},
         false,
         p + "Bottom - Top must be greater than or equal to 20 pixel rows"},
        {"20 rows", {{kTop, "100"}, {kBottom, "120"}}, false, ""},
        {"negative top",
         {{kTop, "-5"}, {kBottom, "100"}},
         false,
         p + "Top must be greather than or equal to 0"},
        {"bottom at height", {{kBottom, "300"}}, false, p + "Bottom must be less than image height 300"},
        {"sweep 21", {{kObjectRadiusSweep1, "21"}}, false, "Radius sweep must be between 0 and 20"},
        {"sweep -1", {{kObjectRadiusSweep2, "-1"}}, false, "Radius sweep must be between 0 and 20"},
        {"sweep 20", {{kObjectRadiusSweep1, "20"}}, false, ""},
        {"C threshold abc", {{kCFilterThreshold1, "abc"}}, false, ""},
        {"right beyond width", {{kRight, "400"}}, false, p + "Right must be less than image width 400"},
        {"radius text", {{kObjectRadius1, "six"}}, false, p + "ObjectRadius1 must be a number"},
        {"8-bit image", {}, true, "CountingAlgo() - the image must be a 16-bit single-channel image"},
    };
    int written = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.label);
        m_ui->Clear();
        const std::string name = std::string("run") + std::to_string(written++);
        const std::string path = m_dir.file(name + ".png");
        cv::Mat image = DiscImage(300, 400, {{100, 150}});
        if (c.eightBit)
            image.convertTo(image, CV_8UC1, 1.0 / 256.0);
        WriteImage(path, image);
        ASSERT_NE(Open(path), nullptr);
        CountingAlgorithmDlg &dialog = Dialog();
        CountingControls controls = DiscControls();
        controls.boxes[kCreateResultsFiles] = true;
        for (const auto &[id, text] : c.edits)
            controls.edits[id] = text;
        Apply(dialog, controls);
        dialog.process_image();
        if (c.message.empty()) {
            EXPECT_TRUE(m_ui->Messages().empty()) << (MessageTexts().empty() ? "" : MessageTexts()[0]);
            EXPECT_TRUE(platform::FileExists(m_dir.file(name + ".txt")));
            continue;
        }
        ASSERT_EQ(m_ui->Messages().size(), 1u);
        EXPECT_THAT(MessageTexts()[0], HasSubstr(c.message));
        EXPECT_EQ((m_ui->Messages()[0].flags & platform::ui::MbIconError) != 0,
                  c.message == "Radius sweep must be between 0 and 20");
        EXPECT_THAT(ErrorLogText(m_dir.str()), HasSubstr(c.message));
        EXPECT_FALSE(platform::FileExists(m_dir.file(name + ".txt")));
    }
}

TEST_F(CountingWindowFixture, EqualMagnetsRefuseTheRun)
{
    WriteSettings("[CalibrationSettings]\r\nUpperMagnet=150\r\nLowerMagnet=150\r\n");
    const std::string image = WriteDiscImage("equal.png", {{100, 150}});
    ASSERT_NE(Open(image), nullptr);
    CountingAlgorithmDlg &dialog = Dialog();
    dialog.ShowUpperMagnet();
    dialog.ShowLowerMagnet();
    CountingControls controls = DiscControls();
    controls.boxes[kCreateResultsFiles] = true;
    Apply(dialog, controls);
    dialog.process_image();
    EXPECT_EQ(MessageTexts(),
              std::vector<std::string>{
                  "CountingAlgorithmDlg::process_image () Upper and Lower magnet rows must differ"});
    EXPECT_FALSE(platform::FileExists(m_dir.file("equal.txt")));
}

TEST_F(CountingWindowFixture, ARunNeverOverwritesAResultFile)
{
    const std::string image = WriteDiscImage("name.png", {{100, 150}});
    WriteFileBytes(m_dir.file("name.txt"), "kept");
    for (int n = 1; n <= 100; ++n)
        WriteFileBytes(m_dir.file("name[" + std::to_string(n) + "].txt"), std::to_string(n));
    ASSERT_NE(Open(image), nullptr);
    CountingAlgorithmDlg &dialog = Dialog();
    CountingControls controls = DiscControls();
    controls.boxes[kCreateResultsFiles] = true;
    controls.boxes[kOpenSummary] = true;
    Apply(dialog, controls);
    dialog.process_image();
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{});
    EXPECT_TRUE(platform::FileExists(m_dir.file("name[101].txt")));
    EXPECT_EQ(m_opened, std::vector<std::string>{m_dir.file("name[101].sum.txt")});
    EXPECT_EQ(ReadFileBytes(m_dir.file("name.txt")), "kept");
    for (int n = 1; n <= 100; ++n)
        EXPECT_EQ(ReadFileBytes(m_dir.file("name[" + std::to_string(n) + "].txt")), std::to_string(n));
}

// The lines that depend on the machine and the run are masked: product and version, computer, the
// image's folder and the confidence column.
std::string Masked(std::string text, const std::string &folder)
{
    text = std::regex_replace(text, std::regex("^Vantelis\tVersion\t[^\r]*"), "Vantelis\tVersion\t*");
    text = std::regex_replace(text, std::regex("# ComputerName=[^\r]*"), "# ComputerName=*");
    size_t at;
    while ((at = text.find(folder)) != std::string::npos)
        text.replace(at, folder.size(), "<dir>");
    return std::regex_replace(text, std::regex("(\r\n1\t[0-9]+\t[0-9]+\t[0-9]+\t)[ 0-9.]+\t"), "$1*\t");
}

TEST_F(CountingWindowFixture, ADiscImageRunDrawsItsDetectionsAndWritesItsFiles)
{
    // Discs on the upper magnet (row 60), half way (150) and on the lower magnet (240).
    const std::vector<cv::Point> centres = {{100, 60}, {200, 150}, {300, 240}};
    const std::string image = WriteDiscImage("discs.png", centres);
    CImageView *view = Open(image);
    ASSERT_NE(view, nullptr);
    CountingAlgorithmDlg &dialog = Dialog();
    CountingControls controls = DiscControls();
    controls.boxes[kCreateResultsFiles] = true;
    Apply(dialog, controls);
    dialog.ControlAs<QPushButton>(kRun)->click();
    ASSERT_TRUE(RunEventLoopUntil([&] { return platform::FileExists(m_dir.file("discs.sum.txt")); }));
    EXPECT_TRUE(m_ui->Messages().empty());

    ASSERT_EQ(view->m_detections_1.size(), centres.size());
    EXPECT_TRUE(view->m_detections_2.empty());
    for (size_t i = 0; i < centres.size(); ++i) {
        EXPECT_EQ(view->m_detections_1[i].x, centres[i].x);
        EXPECT_EQ(view->m_detections_1[i].y, centres[i].y);
    }
    EXPECT_EQ(_active_roi.Get(), (ImageRect{10, 20, 389, 279}));

    const std::string golden = std::string(VANTELIS_SOURCE_DIR) + "/tests/tools/golden/";
    EXPECT_EQ(Masked(ReadFileBytes(m_dir.file("discs.txt")), m_dir.str()),
              ReadFileBytes(golden + "disc_run.txt"));
    EXPECT_EQ(Masked(ReadFileBytes(m_dir.file("discs.sum.txt")), m_dir.str()),
              ReadFileBytes(golden + "disc_run.sum.txt"));
}

TEST_F(CountingWindowFixture, SpinBarsStepWithinTheirBounds)
{
    CountingAlgorithmDlg &dialog = Dialog();
    const struct
    {
        int bar;
        int edit;
        const char *before;
        bool up;
        const char *after;
    } cases[] = {
        {1248, kObjectRadius1, "50", true, "50"},       {1248, kObjectRadius1, "1", false, "1"},
        {1248, kObjectRadius1, "60", false, "59"},      {1248, kObjectRadius1, "12.5", true, "13.5"},
        {1252, kMFilterThreshold1, "250", true, "255"}, {1255, kCFilterThreshold2, "3", false, "3"},
        {1261, kObjectRadiusSweep1, "0", false, "0"},   {1257, kCFilterMinSize2, "x", true, "x"},
    };
    for (const auto &c : cases) {
        dialog.SetControlText(c.edit, c.before);
        auto *bar = dialog.ControlAs<QScrollBar>(c.bar);
        ASSERT_NE(bar, nullptr) << c.bar;
        // The upper arrow of a vertical bar steps towards its minimum.
        bar->triggerAction(c.up ? QAbstractSlider::SliderSingleStepSub
                                : QAbstractSlider::SliderSingleStepAdd);
        EXPECT_EQ(dialog.ControlText(c.edit), c.after) << c.bar << " " << c.before;
        EXPECT_EQ(bar->value(), 1);
    }
}

TEST_F(CountingWindowFixture, DoneAsksAboutUnsavedChangesAndKeysHideAtOnce)
{
    CountingAlgorithmDlg &dialog = Dialog();
    dialog.SetControlText(kParamSetName, "NoFileYet");
    ASSERT_TRUE(SaveBecomes(dialog, true));
    _preview_roi.Set(ImageRect{1, 2, 3, 4});

    m_ui->QueueMessageAnswer(platform::ui::IdCancel);
    dialog.ControlAs<QPushButton>(kDone)->click();
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Save changes?"});
    EXPECT_TRUE(dialog.isVisible());

    m_ui->QueueMessageAnswer(platform::ui::IdNo);
    dialog.ControlAs<QPushButton>(kDone)->click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(_preview_roi.Get().IsZero());
    EXPECT_TRUE(AnalysisTools().CountingAlgorithm().HasWindow());

    // Escape and Enter hide without a question and keep the preview rectangle.
    for (int key : {Qt::Key_Escape, Qt::Key_Return}) {
        m_ui->Clear();
        AnalysisTools().CountingAlgorithm().Show(true);
        _preview_roi.Set(ImageRect{1, 2, 3, 4});
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(dialog.ControlAs<QLineEdit>(kObjectRadius1), &press);
        EXPECT_FALSE(dialog.isVisible()) << key;
        EXPECT_TRUE(m_ui->Messages().empty());
        EXPECT_EQ(_preview_roi.Get(), (ImageRect{1, 2, 3, 4}));
    }
}

TEST_F(CountingWindowFixture, TheViewsRoiFillsTheEditsAndAnAutosaveKeepsIt)
{
    CountingAlgorithmDlg &dialog = Dialog();
    Apply(dialog, DiscControls());
    const ImageRect drawn{30, 40, 200, 180};
    _active_roi.Set(drawn);
    ViewLinks().counting->ShowActiveRoi(drawn);
    EXPECT_EQ(dialog.ControlText(kLeft), "30");
    EXPECT_EQ(dialog.ControlText(kRight), "200");
    EXPECT_EQ(dialog.ControlText(kTop), "40");
    EXPECT_EQ(dialog.ControlText(kBottom), "180");
    // The preview follows the edits, and the autosave that follows does not undo the drawing.
    ASSERT_TRUE(RunEventLoopUntil([&] { return _preview_roi.Get() == drawn; }));
    ASSERT_TRUE(RunEventLoopUntil([&] { return !dialog.TimerActive(CountingAlgorithmDlg::kAutoSaveTimer); }));
    EXPECT_EQ(_active_roi.Get(), drawn);
    EXPECT_EQ(MainSetting("CountingAlgorithmDlg", "Left"), "30");
}

TEST_F(CountingWindowFixture, ScreenshotBesideAnImageWithDetections)
{
    const std::vector<cv::Point> centres = {{100, 60}, {200, 150}, {300, 240}, {150, 100}, {260, 200}};
    const std::string image = WriteDiscImage("shot.png", centres);
    CImageView *view = Open(image, 480, 360);
    ASSERT_NE(view, nullptr);
    CountingAlgorithmDlg &dialog = Dialog();
    Apply(dialog, DiscControls());
    dialog.SetControlText(kParamSetName, "Discs");
    dialog.process_image();
    ASSERT_EQ(view->m_detections_1.size(), centres.size());
    // The discs (3000) on their background (1000) in a display range that shows them.
    view->m_lower_intensity = 0;
    view->m_upper_intensity = 4000;
    view->Invalidate(true);
    // The render thread's work, done here.
    Renderer renderer;
    for (int round = 0; round < 3; ++round) {
        QCoreApplication::processEvents();
        while (std::unique_ptr<RenderJob> job = _render_list.TakeOldest())
            RenderThread::ProcessJob(std::move(job), renderer);
        QCoreApplication::processEvents();
    }
    ASSERT_FALSE(view->ShownFrame().isNull());

    const QImage area = FrameOf(view)->grab().toImage();
    dialog.adjustSize();
    const QImage window = dialog.grab().toImage();
    QImage shot(area.width() + window.width(), std::max(area.height(), window.height()),
                QImage::Format_RGB32);
    shot.fill(Qt::darkGray);
    QPainter painter(&shot);
    painter.drawImage(0, 0, area);
    painter.drawImage(area.width(), 0, window);
    painter.end();
    const char *configured = std::getenv("VANTELIS_TEST_OUTPUT");
    const std::filesystem::path folder = configured && *configured
                                             ? std::filesystem::path(configured)
                                             : std::filesystem::current_path() / "output";
    std::filesystem::create_directories(folder);
    ASSERT_TRUE(shot.save(QString::fromStdString((folder / "CountingAlgorithmDlg.png").string()), "PNG"));
    // Every control lies inside the window.
    for (QWidget *child : dialog.findChildren<QWidget *>()) {
        if (ControlId(child) != 0 && child->isVisible()) {
            EXPECT_TRUE(dialog.rect().contains(QRect(child->mapTo(&dialog, QPoint(0, 0)), child->size())))
                << ControlId(child);
        }
    }
}

} // namespace
} // namespace vantelis::test
