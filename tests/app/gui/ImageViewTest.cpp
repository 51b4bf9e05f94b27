// The image view: opening instrument-size 16-bit files, zoom, scrolling, the pixel read-out,
// aspect locking, the display range, Save As, and the render jobs of its paint.
#include "ImageViewTest.h"

#include "app/DeviceServices.h"
#include "platform/Files.h"
#include "support/FakeCamera.h"
#include "support/ServiceFakes.h"

#include <QTest>

namespace vantelis::test {
namespace {

constexpr int kColumns = 2448;
constexpr int kRows = 2048;

// One 2448 x 2048 16-bit PNG and TIFF for the whole suite: making them is the slow part.
class BigImageViewTest : public ImageViewFixture
{
  protected:
    static void SetUpTestSuite()
    {
        s_files = new TempDir;
        const cv::Mat image = PatternImage(kRows, kColumns);
        WriteImage(s_files->file("Frame_FL1_1.png"), image);
        WriteImage(s_files->file("Frame_FL1_2.tif"), image);
    }
    static void TearDownTestSuite()
    {
        delete s_files;
        s_files = nullptr;
    }
    static std::string Png() { return s_files->file("Frame_FL1_1.png"); }
    static std::string Tiff() { return s_files->file("Frame_FL1_2.tif"); }

    static TempDir *s_files;
};

TempDir *BigImageViewTest::s_files = nullptr;

void ExpectWindow(const ZoomWindow &z, double l, double r, double t, double b, const std::string &what = "")
{
    EXPECT_NEAR(z.left, l, 1e-12) << what;
    EXPECT_NEAR(z.right, r, 1e-12) << what;
    EXPECT_NEAR(z.top, t, 1e-12) << what;
    EXPECT_NEAR(z.bottom, b, 1e-12) << what;
}

TEST_F(BigImageViewTest, PngAndTiffOpenAsSixteenBitAndReadOutKnownPixels)
{
    for (const std::string &path : {Png(), Tiff()}) {
        CImageView *view = Open(path); // 612 x 512 client pixels: four image pixels to one
        ASSERT_NE(view, nullptr) << path;
        const cv::Mat &image = *view->GetDocument()->GetImage();
        EXPECT_EQ(image.type(), CV_16UC1);
        EXPECT_EQ(image.cols, kColumns);
        EXPECT_EQ(image.rows, kRows);

        struct Case
        {
            double x, y;
            int column, row;
        };
        const Case cases[] = {
            {0.0, 0.0, 0, 0},
            {0.5, 0.25, 1224, 512},
            {0.9999, 0.9999, 2447, 2047}, // truncated, not rounded
            {0.1, 0.7, 244, 1433},
        };
        for (const Case &c : cases) {
            _last_click.Set(ClickPoint{c.x, c.y});
            view->OnUpdatePixelValue();
            EXPECT_EQ(PixelPane(), PixelText(c.column, c.row)) << path;
        }

        // A plain click moves the read-out: client (153, 128) is a quarter of the way in.
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(153, 128));
        EXPECT_DOUBLE_EQ(_last_click.Get().x, 0.25);
        EXPECT_DOUBLE_EQ(_last_click.Get().y, 0.25);
        EXPECT_EQ(PixelPane(), PixelText(612, 512));

        // Outside the image the pane keeps what it showed.
        for (const ClickPoint outside :
             {ClickPoint{1.0, 0.5}, ClickPoint{0.5, 1.0}, ClickPoint{-0.0001, 0.5}}) {
            _last_click.Set(outside);
            view->OnUpdatePixelValue();
            EXPECT_EQ(PixelPane(), PixelText(612, 512));
        }
        DocumentManager::Instance().CloseDocument(view->GetDocument());
    }
}

TEST_F(BigImageViewTest, ZoomInAndOutAroundTheLastClick)
{
    CImageView *view = Open(Png());
    ASSERT_NE(view, nullptr);
    EXPECT_FALSE(view->ScrollBarsShown());

    _last_click.Set(ClickPoint{0.9, 0.9});
    view->OnZoomIn();
    ExpectWindow(view->m_zoom_window, 0.5, 1.0, 0.5, 1.0, "first zoom in");
    view->OnZoomIn();
    ExpectWindow(view->m_zoom_window, 0.75, 1.0, 0.75, 1.0, "second zoom in");
    EXPECT_TRUE(view->ScrollBarsShown());
    Resize(view, 612, 512); // the scroll bars took room from the client area

    // The middle of the client area is now image fraction (0.875, 0.875).
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(306, 256));
    EXPECT_EQ(PixelPane(), PixelText(2142, 1792));

    view->OnZoomOut();
    ExpectWindow(view->m_zoom_window, 0.5, 1.0, 0.5, 1.0, "first zoom out");
    EXPECT_TRUE(view->ScrollBarsShown());
    view->OnZoomOut();
    ExpectWindow(view->m_zoom_window, 0.0, 1.0, 0.0, 1.0, "second zoom out");
    EXPECT_FALSE(view->ScrollBarsShown());
    view->OnZoomOut(); // the whole image: nothing to do
    ExpectWindow(view->m_zoom_window, 0.0, 1.0, 0.0, 1.0, "third zoom out");

    // Zooming in without end stops while the window still spans whole pixels.
    _last_click.Set(ClickPoint{0.3, 0.6});
    for (int k = 0; k < 60; ++k)
        view->OnZoomIn();
    const ZoomWindow &z = view->m_zoom_window;
    EXPECT_LT(z.left, z.right);
    EXPECT_LT(z.top, z.bottom);
    EXPECT_GE((z.right - z.left) * kColumns, 2.0);
    EXPECT_LT((z.right - z.left) * kColumns, 4.0);
    view->OnFullScale();
    ExpectWindow(view->m_zoom_window, 0.0, 1.0, 0.0, 1.0, "full scale");
    EXPECT_FALSE(view->ScrollBarsShown());
}

TEST_F(BigImageViewTest, ScrollCodesMoveTheWindowWithinTheImage)
{
    CImageView *view = Open(Png());
    ASSERT_NE(view, nullptr);
    struct Case
    {
        ZoomWindow before;
        int code, position;
        double left, right;
    };
    const ZoomWindow half{0.25, 0.75, 0.0, 1.0};
    const Case cases[] = {
        {half, 1, 0, 0.3, 0.8},     // line right: a tenth of the width
        {half, 0, 0, 0.2, 0.7},     // line left
        {half, 3, 0, 0.5, 1.0},     // page right stops at the edge
        {half, 2, 0, 0.0, 0.5},     // page left likewise
        {half, 4, 0, 0.0, 0.5},     // thumb at the start
        {half, 4, 1000, 0.5, 1.0},  // thumb at the end
        {half, 4, 500, 0.25, 0.75}, // thumb halfway
        {half, 4, 900, 0.45, 0.95},
        {{0.0, 0.5, 0, 1}, 0, 0, 0.0, 0.5}, // already at the left edge
        {{0.5, 1.0, 0, 1}, 1, 0, 0.5, 1.0}, // already at the right edge
        {half, 5, 300, 0.25, 0.75},         // dragging the thumb: ignored
    };
    for (const Case &c : cases) {
        view->m_zoom_window = c.before;
        view->OnHScroll(c.code, c.position);
        EXPECT_NEAR(view->m_zoom_window.left, c.left, 1e-12) << c.code << "/" << c.position;
        EXPECT_NEAR(view->m_zoom_window.right, c.right, 1e-12) << c.code << "/" << c.position;
        // The vertical handler works the same on top and bottom.
        view->m_zoom_window = ZoomWindow{0.0, 1.0, c.before.left, c.before.right};
        view->OnVScroll(c.code, c.position);
        EXPECT_NEAR(view->m_zoom_window.top, c.left, 1e-12) << "vertical " << c.code;
        EXPECT_NEAR(view->m_zoom_window.bottom, c.right, 1e-12) << "vertical " << c.code;
    }

    // Through the scroll bars themselves, and the read-out of the part now shown.
    _last_click.Set(ClickPoint{0.5, 0.5});
    view->OnFullScale();
    view->OnZoomIn();
    Resize(view, 612, 512);
    view->horizontalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
    view->verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepSub);
    ExpectWindow(view->m_zoom_window, 0.5, 1.0, 0.0, 0.5, "after the bars");
    view->OnDraw();
    EXPECT_EQ(view->horizontalScrollBar()->value(), 1000);
    EXPECT_EQ(view->verticalScrollBar()->value(), 0);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(306, 256));
    EXPECT_EQ(PixelPane(), PixelText(1836, 512));
}

TEST_F(ImageViewFixture, AspectLockingKeepsImagePixelsSquare)
{
    const std::string path = m_dir.file("square.png");
    WriteImage(path, PatternImage(200, 200));
    CImageView *view = Open(path, 599, 299); // W + 1 = 2 (H + 1)
    ASSERT_NE(view, nullptr);

    view->ApplyAspectRatio();
    ExpectWindow(view->m_zoom_window, 0.0, 1.0, 0.0, 1.0, "locking off");

    WriteSettings("[ExperimentSettings]\r\nLockAspectRatio=true\r\n");
    view->ApplyAspectRatio();
    ExpectWindow(view->m_zoom_window, -0.5, 1.5, 0.0, 1.0, "wide window");

    Resize(view, 299, 599);
    view->m_zoom_window = ZoomWindow{};
    view->ApplyAspectRatio();
    ExpectWindow(view->m_zoom_window, 0.0, 1.0, -0.5, 1.5, "tall window");

    // Both extents beyond the image: the smaller one becomes the whole image.
    Resize(view, 299, 299);
    view->m_zoom_window = ZoomWindow{-1.0, 2.0, -0.5, 1.5};
    view->ApplyAspectRatio(); // first squares the window around the middle: both 3 wide
    ExpectWindow(view->m_zoom_window, 0.0, 1.0, 0.0, 1.0, "both beyond");
}

TEST_F(ImageViewFixture, TheDisplayRangeStartsFromTheScaleIntensitiesSettings)
{
    const std::string path = m_dir.file("range.png");
    WriteImage(path, PatternImage(20, 20));
    struct Case
    {
        std::string settings;
        uint16_t lower, upper;
    };
    const Case cases[] = {
        {"[ScaleIntensitiesDlg]\r\nMinIntensity=100\r\nMaxIntensity=3000\r\n", 100, 3000},
        {"[ScaleIntensitiesDlg]\r\nMinIntensity=500\r\nMaxIntensity=500\r\n", 0, 40000},
        {"[Other]\r\nA=1\r\n", 0, 40000},
        {"[ScaleIntensitiesDlg]\r\nMinIntensity=abc\r\nMaxIntensity=70000\r\n", 0, 70000 - 65536},
    };
    for (const Case &c : cases) {
        WriteFileBytes(theApp.m_ini_path, c.settings);
        CImageView *view = Open(path);
        ASSERT_NE(view, nullptr);
        EXPECT_EQ(view->m_lower_intensity, c.lower) << c.settings;
        EXPECT_EQ(view->m_upper_intensity, c.upper) << c.settings;
        DocumentManager::Instance().CloseDocument(view->GetDocument());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

class ComboText : public ViewFrameLink
{
  public:
    std::string ImageTypeComboText() override { return m_text; }
    void ReleaseLiveImageButton() override { ++m_releases; }
    std::string m_text;
    int m_releases = 0;
};

TEST_F(ImageViewFixture, AutoScaleTakesTheTopLevelByImageType)
{
    ImageViewLinks links;
    auto combo = std::make_shared<ComboText>();
    links.frame = combo;
    InstallImageViewLinks(links);

    // Sampled every tenth row and column: the values r * 100 + c with r, c in 0, 10, .., 90. Of
    // those 100 samples the 5th lowest is 40, the 95th 9040 and the 99th 9080.
    cv::Mat image(100, 100, CV_16UC1);
    for (int r = 0; r < 100; ++r)
        for (int c = 0; c < 100; ++c)
            image.at<uint16_t>(r, c) = static_cast<uint16_t>(r * 100 + c);
    struct Case
    {
        std::string name;
        uint16_t upper;
    };
    // The image type is the text between the last two '_' of the name, as the capture code writes it.
    const Case cases[] = {
        {"Run_FL1_17.png", 9080},         // fluorescence: the brightest sample
        {"Run_BrightField_17.png", 9040}, // bright field: 95 %
        {"Run_brightfield_18.png", 9040}, // the type compares in upper case
        {"Run17.png", 9040},              // no type: 95 %
    };
    for (const Case &c : cases) {
        const std::string path = m_dir.file(c.name);
        WriteImage(path, image);
        CImageView *view = Open(path);
        ASSERT_NE(view, nullptr);
        view->OnAutoScale();
        EXPECT_EQ(view->m_lower_intensity, 40) << c.name;
        EXPECT_EQ(view->m_upper_intensity, c.upper) << c.name;
    }

    // A black image would give an empty range: the top becomes 10.
    const std::string black = m_dir.file("Run_FL1_19.png");
    WriteImage(black, cv::Mat(50, 50, CV_16UC1, cv::Scalar(0)));
    CImageView *view = Open(black);
    ASSERT_NE(view, nullptr);
    view->OnAutoScale();
    EXPECT_EQ(view->m_lower_intensity, 0);
    EXPECT_EQ(view->m_upper_intensity, 10);

    // The live image has no file name: the combo tells its type.
    CImageView *live = DocumentManager::Instance().OpenNewDocument(&m_area, true);
    ASSERT_NE(live, nullptr);
    live->GetDocument()->SetImage(std::make_unique<cv::Mat>(image.clone()));
    combo->m_text = "BrightField";
    live->OnAutoScale();
    EXPECT_EQ(live->m_upper_intensity, 9040);
    combo->m_text = "FL2";
    live->OnAutoScale();
    EXPECT_EQ(live->m_upper_intensity, 9080);

    // Closing the live image's view clears its flag and releases the toolbar button.
    CImageDoc *liveDocument = live->GetDocument();
    EXPECT_EQ(DocumentManager::Instance().LiveImageDocument(), liveDocument);
    DocumentManager::Instance().CloseDocument(liveDocument);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(combo->m_releases, 1);
    EXPECT_EQ(DocumentManager::Instance().LiveImageDocument(), nullptr);
}

TEST_F(ImageViewFixture, SaveAsWritesTheImageBitExactlyAndMovesTheDocument)
{
    const cv::Mat image = PatternImage(64, 80);
    const std::string source = m_dir.file("source.png");
    WriteImage(source, image);
    std::vector<std::string> recent;
    DocumentManager::Instance().SetRecentFileHook(
        [&recent](const std::string &path) { recent.push_back(path); });
    CImageView *view = Open(source);
    ASSERT_NE(view, nullptr);
    CImageDoc *doc = view->GetDocument();

    struct Case
    {
        std::string answer;
        std::string written;
    };
    const Case cases[] = {
        {m_dir.file("copy.tif"), m_dir.file("copy.tif")},
        {m_dir.file("plain"), m_dir.file("plain.png")}, // the default extension
    };
    for (const Case &c : cases) {
        m_ui->QueueAnswer(true, c.answer);
        view->OnFileSaveAs();
        const cv::Mat back = cv::imread(c.written, cv::IMREAD_ANYDEPTH);
        ASSERT_EQ(back.type(), CV_16UC1) << c.written;
        EXPECT_EQ(cv::norm(back, image, cv::NORM_INF), 0.0) << c.written;
        EXPECT_EQ(doc->GetPathName(), c.written);
        EXPECT_EQ(recent.back(), c.written);
    }
    EXPECT_EQ(doc->GetTitle(), "plain.png");
    EXPECT_EQ(FrameOf(view)->windowTitle(), QString("plain.png"));
    EXPECT_TRUE(m_ui->Messages().empty());

    // The reopened copy is the same image, pixel for pixel.
    CImageDoc reloaded;
    ASSERT_TRUE(reloaded.OnOpenDocument(m_dir.file("copy.tif").c_str()));
    EXPECT_EQ(cv::norm(*reloaded.GetImage(), image, cv::NORM_INF), 0.0);

    // Cancelled: nothing happens.
    view->OnFileSaveAs();
    EXPECT_EQ(doc->GetPathName(), m_dir.file("plain.png"));
}

TEST_F(ImageViewFixture, AFailedSaveAsKeepsThePathAndTheFileOnDisk)
{
    const std::string source = m_dir.file("source.png");
    WriteImage(source, PatternImage(30, 30));
    CImageView *view = Open(source);
    ASSERT_NE(view, nullptr);

    const std::string noFolder = m_dir.file("missing/out.png");
    m_ui->QueueAnswer(true, noFolder);
    view->OnFileSaveAs();
    ASSERT_EQ(m_ui->Messages().size(), 1u);
    EXPECT_EQ(m_ui->Messages()[0].text, "Problem saving image to file: " + noFolder);
    EXPECT_EQ(view->GetDocument()->GetPathName(), source);

    // Replacing an existing file fails at the last step: the old file stays whole.
    const std::string existing = m_dir.file("existing.png");
    WriteFileBytes(existing, "previous contents");
    platform::FailNextReplaceAt(platform::ReplaceFailurePoint::Rename);
    m_ui->QueueAnswer(true, existing);
    view->OnFileSaveAs();
    platform::FailNextReplaceAt(platform::ReplaceFailurePoint::None);
    ASSERT_EQ(m_ui->Messages().size(), 2u);
    EXPECT_EQ(m_ui->Messages()[1].text, "Problem saving image to file: " + existing);
    EXPECT_EQ(ReadFileBytes(existing), "previous contents");
    EXPECT_EQ(view->GetDocument()->GetPathName(), source);
}

TEST_F(ImageViewFixture, ATruncatedPngOpensNoDocument)
{
    const std::string path = m_dir.file("cut.png");
    std::vector<uchar> bytes;
    ASSERT_TRUE(cv::imencode(".png", PatternImage(100, 120), bytes));
    WriteFileBytes(path, std::string(bytes.begin(), bytes.begin() + static_cast<long>(bytes.size() * 2 / 3)));

    EXPECT_EQ(DocumentManager::Instance().OpenDocumentFile(path, &m_area), nullptr);
    ASSERT_EQ(m_ui->Messages().size(), 1u);
    EXPECT_EQ(m_ui->Messages()[0].text, "Problem trying to open image: " + DocumentPathFor(path));
    EXPECT_TRUE(DocumentManager::Instance().Documents().empty());
    EXPECT_TRUE(m_area.subWindowList().empty());
}

TEST_F(ImageViewFixture, DocumentsOpenOncePerPathAndCloseWithTheirFrame)
{
    const std::string a = m_dir.file("a.png"), b = m_dir.file("b.tif");
    WriteImage(a, PatternImage(10, 12));
    WriteImage(b, PatternImage(14, 16));
    CImageView *viewA = Open(a);
    CImageView *viewB = Open(b);
    ASSERT_NE(viewA, nullptr);
    ASSERT_NE(viewB, nullptr);
    EXPECT_EQ(DocumentManager::Instance().ActiveView(), viewB);
    EXPECT_EQ(DocumentManager::Instance().OpenDocumentFile(a, &m_area),
              viewA); // brought forward, not reopened
    EXPECT_EQ(DocumentManager::Instance().Documents().size(), 2u);
    EXPECT_EQ(DocumentManager::Instance().ActiveView(), viewA);
    EXPECT_EQ(DocumentManager::Instance().FindDocument(b), viewB->GetDocument());

    DocumentManager::Instance().CloseDocument(viewA->GetDocument());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(DocumentManager::Instance().Views().size(), 1u);
    EXPECT_EQ(DocumentManager::Instance().Views()[0], viewB);
    EXPECT_EQ(m_area.subWindowList().size(), 1);

    // Closing the frame itself forgets the document as well.
    FrameOf(viewB)->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(DocumentManager::Instance().Documents().empty());
}

TEST_F(ImageViewFixture, ThePaintQueuesAJobThatTheRendererDrawsIntoTheView)
{
    const std::string path = m_dir.file("paint.png");
    WriteImage(path, PatternImage(100, 150));
    CImageView *view = Open(path, 300, 200);
    ASSERT_NE(view, nullptr);
    view->m_zoom_window = ZoomWindow{0.1, 0.6, 0.2, 0.7};
    DrainRenderList();

    view->OnDraw();
    ASSERT_EQ(_render_list.QueuedPaths(), std::vector<std::string>{DocumentPathFor(path)});
    std::unique_ptr<RenderJob> job = _render_list.TakeOldest();
    ASSERT_TRUE(job);
    EXPECT_EQ(job->image.data, view->GetDocument()->GetImage()->data); // pixels shared, not copied
    EXPECT_EQ(job->target_rect, (ImageRect{0, 0, 300, 200}));
    EXPECT_EQ(job->zoom_window.left, 0.1);
    EXPECT_EQ(job->zoom_window.bottom, 0.7);
    EXPECT_EQ(job->upper_intensity, 40000);

    Renderer renderer;
    EXPECT_TRUE(RenderThread::ProcessJob(std::move(job), renderer));
    QCoreApplication::processEvents();
    EXPECT_EQ(view->ShownFrame().size(), QSize(301, 201));

    // Every view repaints when asked, each queuing its own job.
    const std::string other = m_dir.file("other.png");
    WriteImage(other, PatternImage(30, 30));
    ASSERT_NE(Open(other), nullptr);
    DrainRenderList();
    view->OnDraw();
    DocumentManager::Instance().Views()[1]->OnDraw();
    EXPECT_EQ(_render_list.QueuedPaths().size(), 2u);
}

TEST_F(ImageViewFixture, AnImageTheDisplayCannotMapQueuesNoJob)
{
    const std::string path = m_dir.file("eight.png");
    WriteImage(path, cv::Mat(20, 20, CV_8UC1, cv::Scalar(7)));
    CImageView *view = Open(path);
    ASSERT_NE(view, nullptr);
    DrainRenderList();
    view->OnDraw();
    view->OnDraw();
    EXPECT_TRUE(_render_list.QueuedPaths().empty());
    // The user is told once why the window stays black.
    std::vector<FakeUi::Status> told;
    for (const FakeUi::Status &status : m_ui->Statuses())
        if (status.target == kMessagePaneTarget)
            told.push_back(status);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].text, "Only 16-bit grey images are displayed; not shown: " + path);
    // The read-out still reads the 8-bit pixel as it is.
    _last_click.Set(ClickPoint{0.5, 0.5});
    view->OnUpdatePixelValue();
    EXPECT_EQ(PixelPane(), "pix[10,10]=7");
}

TEST_F(ImageViewFixture, TheAutoRefreshItemNeedsACamera)
{
    const std::string path = m_dir.file("item.png");
    WriteImage(path, PatternImage(10, 10));
    CImageView *view = Open(path);
    ASSERT_NE(view, nullptr);
    CImageView::AutoRefreshItem item = view->OnUpdateAutoRefresh();
    EXPECT_FALSE(item.enabled);
    EXPECT_FALSE(item.checked);
    EXPECT_EQ(item.text, "Auto Refresh Disabled / No Camera");

    FakeCamera camera;
    camera.model = "Acme 5M";
    theApp.m_camera = &camera;
    EXPECT_EQ(view->OnUpdateAutoRefresh().text, "Auto Refresh 1000 ms"); // no setting yet
    WriteSettings("[Acme 5M Settings]\r\nRefreshPeriodMs=250\r\n");
    item = view->OnUpdateAutoRefresh();
    theApp.m_camera = nullptr;
    EXPECT_TRUE(item.enabled);
    EXPECT_FALSE(item.checked);
    EXPECT_EQ(item.text, "Auto Refresh 250 ms");
}

TEST_F(ImageViewFixture, AReferenceImageJobIsQueuedForAnExistingFileOnly)
{
    const std::string path = m_dir.file("ref.png");
    WriteImage(path, PatternImage(40, 40));
    DrainRenderList();
    std::string error;
    ASSERT_TRUE(DocumentManager::Instance().SaveReferenceImage(path, error, true)) << error;
    std::unique_ptr<RenderJob> job = _render_list.TakeOldest();
    ASSERT_TRUE(job);
    EXPECT_TRUE(job->m_save_reference);
    EXPECT_TRUE(job->m_close_after);
    EXPECT_EQ(job->path, DocumentPathFor(path));

    const std::string missing = m_dir.file("gone.png");
    EXPECT_FALSE(DocumentManager::Instance().SaveReferenceImage(missing, error, false));
    EXPECT_EQ(error, "SaveReferenceImage () : " + missing + " does not exist");
}

// Devices whose experiment takes the image, or refuses it with the experiment code's text.
class ExperimentDevices : public StubCapture
{
  public:
    bool AddImageToExperiment(const cv::Mat &image, const char *, int, int32_t, EString &error,
                              const char *) override
    {
        ++calls;
        rows = image.rows;
        if (!refusal.empty())
            error.Assign(refusal.c_str());
        return refusal.empty();
    }
    std::string refusal;
    int calls = 0;
    int rows = 0;
};

// F1 saves the shown image into the experiment; when the experiment code refuses it, the user is
// told why and the refusal is logged, instead of nothing happening.
TEST_F(ImageViewFixture, SaveImageToExperimentSaysWhyNothingWasSaved)
{
    const std::string path = m_dir.file("frame.png");
    WriteImage(path, PatternImage(30, 20));
    CImageView *view = Open(path);
    ASSERT_NE(view, nullptr);
    auto devices = std::make_shared<ExperimentDevices>();
    std::shared_ptr<CaptureServices> previous = InstallCaptureServices(devices);
    const bool analysis = theApp.m_analysis_mode;
    auto errorLog = [&] {
        std::string text;
        for (const platform::DirEntry &entry : platform::ListFolder(m_dir.file("LOG"), "Err_*.log"))
            text += ReadFileBytes(m_dir.file("LOG/" + entry.name));
        return text;
    };

    // Taken: nothing to say.
    theApp.m_analysis_mode = false;
    EXPECT_TRUE(view->OnCommand(ID_SAVE_IMAGE_TO_EXPERIMENT));
    EXPECT_EQ(devices->calls, 1);
    EXPECT_EQ(devices->rows, 30);
    EXPECT_TRUE(m_ui->Messages().empty());

    const std::string refusal = "AddImageToExperiment() - there is no current experiment: "
                                "[ExperimentSettings] ExperimentDirectory is empty.";
    devices->refusal = refusal;
    for (const bool inAnalysis : {true, false}) {
        theApp.m_analysis_mode = inAnalysis;
        m_ui->Clear();
        EXPECT_TRUE(view->OnCommand(ID_SAVE_IMAGE_TO_EXPERIMENT));
        const std::vector<FakeUi::Message> messages = m_ui->Messages();
        ASSERT_EQ(messages.size(), 1u) << inAnalysis;
        EXPECT_EQ(messages[0].text.rfind("The image was not saved to the experiment.", 0), 0u)
            << messages[0].text;
        EXPECT_EQ(messages[0].text.find("analysis mode") != std::string::npos, inAnalysis)
            << messages[0].text;
        EXPECT_NE(messages[0].text.find(refusal), std::string::npos) << messages[0].text;
        EXPECT_NE(messages[0].flags & platform::ui::MbIconError, 0u);
    }
    EXPECT_NE(errorLog().find(refusal), std::string::npos) << errorLog();
    theApp.m_analysis_mode = analysis;
    InstallCaptureServices(previous);
}

} // namespace
} // namespace vantelis::test
