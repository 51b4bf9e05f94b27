// The main frame's service and application commands: the operator screen, the manual, the live
// image, the row flat-field correction, the montage and the capture commands; and a picture of
// the main window with one image open.
#include "MainFrameFixture.h"

#include "app/CommandIds.h"
#include "app/Renderer.h"
#include "app/WorkflowTimer.h"
#include "app/gui/ChildFrame.h"
#include "app/gui/ImageView.h"
#include "app/gui/ToolbarEx.h"

#include <QImage>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdlib>
#include <set>

namespace vantelis::test::mainframe {
namespace {

class MainFrameServiceTest : public MainFrameFixture
{
  protected:
    // A 16-bit image whose rows have the given values, written as PNG and opened in the frame.
    CImageView *OpenRows(const std::vector<uint16_t> &rowValues, int columns)
    {
        cv::Mat image(static_cast<int>(rowValues.size()), columns, CV_16UC1);
        for (int r = 0; r < image.rows; ++r)
            image.row(r).setTo(rowValues[r]);
        const std::string path = m_dir.file("rows.png");
        EXPECT_TRUE(cv::imwrite(path, image));
        return DocumentManager::Instance().OpenDocumentFile(path, Frame().MdiArea());
    }

    static cv::Mat ImageOf(CImageView *view) { return view->GetDocument()->GetImage()->clone(); }
};

TEST_F(MainFrameServiceTest, RunUserInterfaceLoadsTheDefaultScriptWithoutShowingTheScreen)
{
    struct Case
    {
        bool analysis;
        const char *setting; // null: no key
        const char *name;
    };
    const Case cases[] = {
        {true, nullptr, "DefaultAnalysisUI.scr"},
        {true, "defaultcustomerui.SCR", "DefaultAnalysisUI.scr"},
        {true, "Other.scr", "Other.scr"},
        {false, nullptr, "DefaultCustomerUI.scr"},
        {false, "defaultcustomerui.SCR", "defaultcustomerui.SCR"},
    };
    m_app.m_customer_ui_directory.Assign("/opt/vantelis/CustomerUI");
    for (const Case &c : cases) {
        m_app.m_analysis_mode = c.analysis;
        WriteSettings(c.setting ? std::string("[CustomerUI]\r\nDefaultScript=") + c.setting + "\r\n" : "");
        m_screen->screen.m_exists = false;
        m_screen->screen.m_visible = false;
        m_calls.clear();
        CMainFrame &frame = NewFrame();
        EXPECT_TRUE(frame.OnCommand(cmd::kRunUserInterface));
        EXPECT_EQ(m_calls, (CallLog{"CustomerUI.Create",
                                    std::string("Reload:/opt/vantelis/CustomerUI/Scripts/") + c.name}))
            << (c.setting ? c.setting : "(none)");
        EXPECT_FALSE(m_screen->screen.m_visible);
    }
}

TEST_F(MainFrameServiceTest, CustomerUICommandTogglesTheScreenAndStartsTheScriptOnlyWhenIdle)
{
    m_app.m_analysis_mode = false;
    CMainFrame &frame = Frame();
    // No folder: the bare relative name.
    frame.OnCommand(cmd::kCustomerUI);
    EXPECT_EQ(m_calls,
              (CallLog{"CustomerUI.Create", "CustomerUI.Show", "Reload:Scripts/DefaultCustomerUI.scr"}));

    // Visible: only hidden.
    m_calls.clear();
    frame.OnCommand(cmd::kCustomerUI);
    EXPECT_EQ(m_calls, (CallLog{"CustomerUI.Hide"}));

    // Hidden while its script still runs: only shown.
    m_calls.clear();
    m_scripts->instances = {{1, true, "Op.scr"}};
    frame.OnCommand(cmd::kCustomerUI);
    EXPECT_EQ(m_calls, (CallLog{"CustomerUI.Show"}));

    // A failed reload is logged only.
    m_calls.clear();
    m_scripts->instances.clear();
    m_screen->reloadOk = false;
    m_screen->screen.m_visible = false;
    frame.OnCommand(cmd::kCustomerUI);
    EXPECT_NE(ErrorLogText().find("CustomerUI::Reload() - script failed"), std::string::npos);
    EXPECT_TRUE(MessageTexts().empty());
}

TEST_F(MainFrameServiceTest, ManualOpensWithTheDesktopsApplication)
{
    CMainFrame &frame = Frame();
    EXPECT_FALSE(frame.OnCommand(cmd::kManual));
    EXPECT_TRUE(m_launcher->started.empty());

    const std::string manual = m_dir.file("Nimbrel-1.0_Manual.pdf");
    WriteFileBytes(manual, "%PDF-1.4\n");
    EXPECT_TRUE(frame.OnCommand(cmd::kManual));
    ASSERT_FALSE(m_launcher->started.empty());
    EXPECT_NE(m_launcher->started.back().find(manual), std::string::npos);
}

TEST_F(MainFrameServiceTest, CloseLiveImageClosesOnlyTheFirstLiveDocument)
{
    m_app.m_analysis_mode = false;
    CMainFrame &frame = Frame();
    DocumentManager &documents = DocumentManager::Instance();
    documents.OpenNewDocument(frame.MdiArea(), false);
    documents.OpenNewDocument(frame.MdiArea(), true);
    documents.OpenNewDocument(frame.MdiArea(), true);
    const std::vector<CImageDoc *> before = documents.Documents();
    m_app.m_live_image_title = "Live";

    frame.PostCommand(cmd::kCloseLiveImage);
    Settle();
    const std::vector<CImageDoc *> after = documents.Documents();
    EXPECT_EQ(after, (std::vector<CImageDoc *>{before[0], before[2]}));
    EXPECT_EQ(m_app.m_live_image_title, "");

    // In analysis mode nothing is closed.
    m_app.m_analysis_mode = true;
    frame.OnCommand(cmd::kCloseLiveImage);
    Settle();
    EXPECT_EQ(documents.Documents().size(), 2u);
}

TEST_F(MainFrameServiceTest, LiveImageOpensAfterTheCartridgeChoiceAndClosesOnTheNextCommand)
{
    m_app.m_analysis_mode = false;
    m_app.m_cartridge_barcode.Assign("AB");
    platform::SetFakeClock(platform::LocalTime{2024, 1, 1, 1, 0, 0, 0, 0}, 5000000);
    CMainFrame &frame = Frame();
    DocumentManager &documents = DocumentManager::Instance();

    frame.OnCommand(cmd::kLiveImage);
    ASSERT_EQ(documents.Documents().size(), 1u);
    EXPECT_TRUE(documents.Documents()[0]->m_live_image);
    EXPECT_EQ(m_calls, (CallLog{"SelectCartridgeDlg:AB", "ImposeCartridgeTypeOffsets:CT2-100"}));
    EXPECT_STREQ(m_app.m_cartridge_barcode.c_str(), "CT2-100");

    frame.OnCommand(cmd::kLiveImage);
    Settle();
    EXPECT_TRUE(documents.Documents().empty());

    // Within the same millisecond as the close: reopened without the question.
    m_calls.clear();
    frame.OnCommand(cmd::kLiveImage);
    EXPECT_TRUE(m_calls.empty());
    ASSERT_EQ(documents.Documents().size(), 1u);
    frame.OnCommand(cmd::kLiveImage);
    Settle();

    // Later, Cancel in the cartridge dialog opens nothing.
    platform::AdvanceFakeClock(2);
    m_devices->cartridgeOk = false;
    frame.OnCommand(cmd::kLiveImage);
    EXPECT_EQ(m_calls, (CallLog{"SelectCartridgeDlg:CT2-100"}));
    EXPECT_TRUE(documents.Documents().empty());

    // While the operator screen shows, no cartridge question.
    m_calls.clear();
    m_screen->screen.m_exists = true;
    m_screen->screen.m_visible = true;
    frame.OnCommand(cmd::kLiveImage);
    EXPECT_TRUE(m_calls.empty());
    EXPECT_EQ(documents.Documents().size(), 1u);
    platform::ClearFakeClock();
}

TEST_F(MainFrameServiceTest, LiveImageDoesNothingInAnalysisMode)
{
    CMainFrame &frame = Frame();
    frame.OnLiveImage();
    EXPECT_TRUE(DocumentManager::Instance().Documents().empty());
    EXPECT_TRUE(m_calls.empty());
}

TEST_F(MainFrameServiceTest, RowFlatFieldWorksOnTheActiveRoiInsideTheImage)
{
    // Rows 7, 8 and 9 of a 10 x 20 image at 1000, 2000 and 3000: inside the region every row
    // becomes the median of the three, 2000.
    std::vector<uint16_t> rows(10, 500);
    rows[7] = 1000;
    rows[8] = 2000;
    rows[9] = 3000;
    CImageView *view = OpenRows(rows, 20);
    ASSERT_NE(view, nullptr);
    const cv::Mat before = ImageOf(view);
    // The region reaches past the right and bottom edges.
    _active_roi.Set(ImageRect{5, 7, 50, 40});
    Frame().OnCommand(cmd::kRowFlatField);
    EXPECT_TRUE(MessageTexts().empty());

    const cv::Mat after = ImageOf(view);
    for (int r = 0; r < after.rows; ++r)
        for (int c = 0; c < after.cols; ++c) {
            const bool inside = r >= 7 && c >= 5;
            const uint16_t expected = inside ? 2000 : before.at<uint16_t>(r, c);
            ASSERT_EQ(after.at<uint16_t>(r, c), expected) << "row " << r << " column " << c;
        }
}

TEST_F(MainFrameServiceTest, RowFlatFieldRefusesARegionOutsideTheImageAndChangesNoPixel)
{
    CImageView *view = OpenRows({1000, 2000, 3000, 4000}, 8);
    ASSERT_NE(view, nullptr);
    const cv::Mat before = ImageOf(view);
    const ImageRect regions[] = {
        {},               // no active region
        {20, 0, 30, 3},   // right of the image
        {0, 10, 7, 12},   // below it
        {-9, -9, -1, -1}, // above and left of it
        {5, 2, 3, 3},     // right before left
    };
    for (const ImageRect &region : regions) {
        m_ui->Clear();
        _active_roi.Set(region);
        Frame().OnCommand(cmd::kRowFlatField);
        ASSERT_EQ(m_ui->Messages().size(), 1u) << region.left << "," << region.top;
        EXPECT_EQ(m_ui->Messages()[0].flags, platform::ui::MbOk | platform::ui::MbIconError);
        const cv::Mat after = ImageOf(view);
        EXPECT_EQ(cv::countNonZero(after != before), 0);
    }
}

TEST_F(MainFrameServiceTest, RowFlatFieldWithoutAViewDoesNothing)
{
    _active_roi.Set(ImageRect{0, 0, 5, 5});
    Frame().OnCommand(cmd::kRowFlatField);
    EXPECT_TRUE(MessageTexts().empty());
}

TEST_F(MainFrameServiceTest, MontageReportsItsOutcome)
{
    CMainFrame &frame = Frame();
    frame.PostCommand(cmd::kMontage);
    Settle();
    EXPECT_EQ(m_calls, (CallLog{"MontageDlg", "CreateMontageImage:/exp/E1:off:off:Flow"}));
    EXPECT_EQ(MessageTexts(),
              (std::vector<std::string>{"Montage image is created successfully and it is saved as "
                                        "Flow.png in /exp/E1 directory."}));

    m_ui->Clear();
    m_experiment->montageOk = false;
    frame.OnCommand(cmd::kMontage);
    EXPECT_EQ(MessageTexts(), (std::vector<std::string>{"Error in Creating Montage."}));

    m_ui->Clear();
    m_calls.clear();
    m_experiment->montageDialogOk = false;
    frame.OnCommand(cmd::kMontage);
    EXPECT_EQ(m_calls, (CallLog{"MontageDlg"}));
    EXPECT_TRUE(MessageTexts().empty());
}

TEST_F(MainFrameServiceTest, CaptureCommandShowsTheCaptureFailure)
{
    m_app.m_analysis_mode = false;
    Frame().OnCommand(cmd::kCaptureActiveImages);
    EXPECT_EQ(m_calls, (CallLog{"CaptureSingleImageSet"}));
    ASSERT_EQ(m_ui->Messages().size(), 1u);
    EXPECT_EQ(m_ui->Messages()[0].text, "No camera initialized.");
    EXPECT_EQ(m_ui->Messages()[0].flags, platform::ui::MbOk | platform::ui::MbIconError);
    EXPECT_NE(ErrorLogText().find("No camera initialized."), std::string::npos);
}

TEST_F(MainFrameServiceTest, StartWorkflowCommandAsksForTheExperimentNameFirst)
{
    m_app.m_analysis_mode = false;
    WriteSettings("[ExperimentSettings]\r\nImageCapturePeriod=1000\r\nImageCaptureCount=3\r\n");
    CMainFrame &frame = Frame();
    frame.OnCommand(cmd::kStartExperimentWorkflow);
    EXPECT_EQ(m_calls, (CallLog{"PromptForExperimentNameDlg"}));
    EXPECT_FALSE(m_app.m_workflow_running);

    m_calls.clear();
    m_devices->experimentNameOk = true;
    frame.OnCommand(cmd::kStartExperimentWorkflow);
    EXPECT_TRUE(m_app.m_workflow_running);
    EXPECT_TRUE(m_ui->TimerActive(kWorkflowTimerId));
    EXPECT_TRUE(frame.IsCommandEnabled(cmd::kStopExperimentWorkflow));
    frame.OnCommand(cmd::kStopExperimentWorkflow);
    EXPECT_FALSE(m_app.m_workflow_running);
    EXPECT_FALSE(m_ui->TimerActive(kWorkflowTimerId));
}

TEST_F(MainFrameServiceTest, ScreenshotWithOneImageOpen)
{
    // A 16-bit test card: a diagonal ramp with a bright disc and a dark bar.
    cv::Mat card(480, 640, CV_16UC1);
    for (int r = 0; r < card.rows; ++r)
        for (int c = 0; c < card.cols; ++c)
            card.at<uint16_t>(r, c) = static_cast<uint16_t>(2000 + 50 * (r + c));
    cv::circle(card, cv::Point(420, 200), 90, cv::Scalar(60000), -1);
    cv::rectangle(card, cv::Rect(80, 300, 200, 60), cv::Scalar(0), -1);
    const std::string path = m_dir.file("TestCard.png");
    ASSERT_TRUE(cv::imwrite(path, card));
    WriteSettings("[ScaleIntensitiesDlg]\r\nMinIntensity=0\r\nMaxIntensity=65535\r\n");
    theApp.m_ini_path = m_app.m_ini_path;

    CMainFrame &frame = Frame();
    frame.resize(1280, 800);
    frame.show();
    CImageView *view = DocumentManager::Instance().OpenDocumentFile(path, frame.MdiArea());
    ASSERT_NE(view, nullptr);
    frame.MdiArea()->currentSubWindow()->resize(700, 560);
    Settle();

    // The render thread's work, done here: every queued job is drawn and handed to its view.
    Renderer renderer;
    for (int round = 0; round < 3; ++round) {
        while (std::unique_ptr<RenderJob> job = _render_list.TakeOldest())
            RenderThread::ProcessJob(std::move(job), renderer);
        Settle();
    }
    frame.OnIdleUpdateCmdUI();
    ASSERT_FALSE(view->ShownFrame().isNull());

    const QImage shot = frame.grab().toImage();
    theApp.m_ini_path.clear();
    ASSERT_EQ(shot.size(), QSize(1280, 800));
    const std::string file = ScreenshotPath("MainFrame_1280x800.png");
    ASSERT_TRUE(shot.save(QString::fromStdString(file), "PNG"));

    // Not blank: the window shows many colours, and the view's area shows the card's grey ramp.
    const QImage saved(QString::fromStdString(file));
    ASSERT_EQ(saved.size(), QSize(1280, 800));
    std::set<QRgb> colours;
    for (int y = 0; y < saved.height(); y += 4)
        for (int x = 0; x < saved.width(); x += 4)
            colours.insert(saved.pixel(x, y));
    EXPECT_GT(colours.size(), 50u);
    const QPoint viewOrigin = view->viewport()->mapTo(&frame, QPoint(0, 0));
    std::set<int> greys;
    for (int x = 10; x < 300; x += 10)
        greys.insert(qGray(saved.pixel(viewOrigin + QPoint(x, x / 2))));
    EXPECT_GT(greys.size(), 5u);
}

} // namespace
} // namespace vantelis::test::mainframe
