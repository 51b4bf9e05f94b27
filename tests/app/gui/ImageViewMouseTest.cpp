// Mouse editing of the image view: the ROI rubber band (clipped to the image, empty results
// refused), the default cartridge ROI, placing the four calibration lines and where they are
// stored, the keep-lines question, measuring, and the context menu.
#include "ImageViewTest.h"

#include "app/ToolServices.h"
#include "support/ServiceFakes.h"

#include <QMenu>
#include <QTest>

#include <map>

namespace vantelis::test {
namespace {

class FakeWindow : public ModelessWindow
{
  public:
    bool HasWindow() const override { return m_exists; }
    bool Create(bool visible) override
    {
        m_exists = true;
        m_visible = visible;
        return true;
    }
    bool IsVisible() const override { return m_exists && m_visible; }
    void Show(bool show) override { m_visible = show; }
    bool m_exists = false;
    bool m_visible = false;
};

// Which tool took a placed line.
enum class CalibrationTool
{
    ProjectionAnalysis,
    FractionationAnalysis,
};

struct SavedLine
{
    CalibrationTool tool;
    std::string key;
    int32_t row;
};

// A projection or fractionation tool that records the lines it takes.
template <class Tool> class SavingTool : public Tool
{
  public:
    SavingTool(CalibrationTool tag, FakeWindow &window, std::vector<SavedLine> &saved)
        : m_tag(tag), m_window(window), m_saved(saved)
    {
    }
    ModelessWindow &Window() override { return m_window; }
    void GetCalibrationLines(int32_t lines[4]) override { std::fill(lines, lines + 4, -1); }
    bool SaveCalibrationLine(const char *key, int32_t row) override
    {
        m_saved.push_back({m_tag, key, row});
        return true;
    }

  private:
    CalibrationTool m_tag;
    FakeWindow &m_window;
    std::vector<SavedLine> &m_saved;
};

class SavingFractionationTool : public SavingTool<FractionationWindow>
{
  public:
    using SavingTool::SavingTool;
    bool LoadRunParams(ProjectionAnalysisParams &, EString &) override { return false; }
};

// The ROI, calibration and projection-parameter seams in one fake, with the two calibrated tools
// beside it; Install() installs each seam.
class FakeTools : public RoiLookup,
                  public RoiWindows,
                  public CalibrationWindows,
                  public ProjectionParamsWindow
{
  public:
    bool LoadRoiList(const char *, std::vector<ROIObject> &list) override
    {
        list = m_roiList;
        return true;
    }
    bool FindRoiByName(const char *, int32_t *, EString &) override { return false; }
    ModelessWindow &RoiManager() override { return m_roiManager; }
    bool ShowCurrentRoi() override
    {
        ++m_showCurrentRoi;
        return true;
    }
    bool RunChooseRoiDialog() override { return false; }
    void RunComputePixelsPerMmDialog(double length) override { m_measured.push_back(length); }
    ModelessWindow &AdjustBoundaries() override { return m_adjust; }
    void InitAdjustBoundaries(CImageView *view) override { m_adjustedView = view; }
    ModelessWindow &ParamsDialog() override { return m_params; }
    bool GetParamsFromControls(ProjectionAnalysisParams &) override { return false; }

    static void Install(const std::shared_ptr<FakeTools> &tools)
    {
        InstallToolFakes(tools, &tools->m_fractionationTool, &tools->m_projectionTool);
    }

    std::vector<ROIObject> m_roiList;
    FakeWindow m_roiManager, m_adjust, m_fractionation, m_projection, m_params;
    int m_showCurrentRoi = 0;
    std::vector<double> m_measured;
    std::vector<SavedLine> m_saved;
    CImageView *m_adjustedView = nullptr;
    SavingTool<ProjectionToolWindow> m_projectionTool{CalibrationTool::ProjectionAnalysis, m_projection,
                                                      m_saved};
    SavingFractionationTool m_fractionationTool{CalibrationTool::FractionationAnalysis, m_fractionation,
                                                m_saved};
};

class RecordingCounting : public ViewCountingLink
{
  public:
    void ShowMagnetLine(bool lower) override { m_magnets.push_back(lower); }
    void ShowActiveRoi(const ImageRect &roi) override { m_rois.push_back(roi); }
    std::vector<bool> m_magnets;
    std::vector<ImageRect> m_rois;
};

// A 1224 x 1024 image in a 612 x 512 client area: two image pixels to one client pixel.
class ImageViewMouseTest : public ImageViewFixture
{
  protected:
    ImageViewMouseTest()
    {
        m_tools = std::make_shared<FakeTools>();
        FakeTools::Install(m_tools);
        m_counting = std::make_shared<RecordingCounting>();
        ImageViewLinks links;
        links.counting = m_counting;
        InstallImageViewLinks(links);
        m_path = m_dir.file("Field_FL1_3.png");
        WriteImage(m_path, PatternImage(1024, 1224));
    }
    ~ImageViewMouseTest() override { RemoveToolServices(); }

    CImageView *OpenField()
    {
        CImageView *view = Open(m_path);
        EXPECT_NE(view, nullptr);
        return view;
    }

    static void Drag(CImageView *view, QPoint from, QPoint to)
    {
        QWidget *client = view->viewport();
        QTest::mousePress(client, Qt::LeftButton, {}, from);
        QTest::mouseMove(client, (from + to) / 2);
        QTest::mouseMove(client, to);
        QTest::mouseRelease(client, Qt::LeftButton, {}, to);
    }

    std::shared_ptr<FakeTools> m_tools;
    std::shared_ptr<RecordingCounting> m_counting;
    std::string m_path;
};

TEST_F(ImageViewMouseTest, ARubberBandDrawnWithTheMouseBecomesTheActiveRoi)
{
    CImageView *view = OpenField();
    ASSERT_NE(view, nullptr);
    m_tools->m_roiManager.Create(false);

    view->OnEditActiveRoi();
    QWidget *client = view->viewport();
    QTest::mousePress(client, Qt::LeftButton, {}, QPoint(200, 150));
    QTest::mouseMove(client, QPoint(150, 100));
    QTest::mouseMove(client, QPoint(100, 50)); // dragged up and left: the band is normalised
    EXPECT_EQ(view->m_band, (ImageRect{100, 50, 200, 150}));

    // The band shows inverted over the (still black) client area: its outline, not its inside.
    const QImage shown = client->grab().toImage();
    EXPECT_EQ(shown.pixelColor(100, 100), QColor(Qt::white));
    EXPECT_EQ(shown.pixelColor(150, 50), QColor(Qt::white));
    EXPECT_EQ(shown.pixelColor(150, 100), QColor(Qt::black));

    QTest::mouseRelease(client, Qt::LeftButton, {}, QPoint(100, 50));
    const ImageRect expected{200, 100, 400, 300};
    EXPECT_EQ(_active_roi.Get(), expected);
    EXPECT_TRUE(view->m_band.IsZero());
    EXPECT_EQ(m_tools->m_showCurrentRoi, 1);
    ASSERT_EQ(m_counting->m_rois.size(), 1u);
    EXPECT_EQ(m_counting->m_rois[0], expected);

    // The next move with the button up ends the editing.
    EXPECT_TRUE(view->m_roi_edit_mode);
    QTest::mouseMove(client, QPoint(300, 300));
    EXPECT_FALSE(view->m_roi_edit_mode);
    EXPECT_EQ(view->m_roi_anchor, QPoint(-1, -1));
}

TEST_F(ImageViewMouseTest, BandsAreClippedToTheImageAndEmptyOnesRefused)
{
    CImageView *view = OpenField();
    ASSERT_NE(view, nullptr);
    const ImageRect before{10, 10, 50, 50};
    struct Case
    {
        const char *what;
        ZoomWindow zoom;
        QPoint from, to;
        bool moved;
        bool stored;
        ImageRect roi;
    };
    const ZoomWindow whole{};
    const ZoomWindow locked{-0.5, 1.5, 0.0, 1.0}; // a square-pixel window wider than the image
    const Case cases[] = {
        {"inside", whole, {50, 60}, {70, 90}, true, true, {100, 120, 140, 180}},
        {"beyond the bottom right", whole, {500, 400}, {700, 600}, true, true, {1000, 800, 1223, 1023}},
        {"beyond the top left", whole, {50, 40}, {-30, -20}, true, true, {0, 0, 100, 80}},
        {"a click without a drag", whole, {300, 200}, {300, 200}, false, false, before},
        {"left of the image", locked, {10, 100}, {140, 300}, true, false, before},
        {"right of the image", locked, {470, 100}, {600, 300}, true, false, before},
    };
    int moves = 0;
    for (const Case &c : cases) {
        _active_roi.Set(before);
        view->m_zoom_window = c.zoom;
        view->OnEditActiveRoi();
        QWidget *client = view->viewport();
        QTest::mousePress(client, Qt::LeftButton, {}, c.from);
        if (c.moved)
            QTest::mouseMove(client, c.to);
        QTest::mouseRelease(client, Qt::LeftButton, {}, c.to);
        EXPECT_EQ(_active_roi.Get(), c.roi) << c.what;
        // A refused band leaves editing armed for another try.
        EXPECT_EQ(view->m_roi_edit_mode, true) << c.what;
        EXPECT_EQ(view->m_roi_anchor == QPoint(-1, -1), !c.stored) << c.what;
        QTest::mouseMove(client, QPoint(5 + ++moves, 5)); // a move to where the mouse already is is dropped
        EXPECT_EQ(view->m_roi_edit_mode, !c.stored) << c.what;
    }
}

TEST_F(ImageViewMouseTest, TheDefaultRoiIsTheCartridgeRoiClippedToTheImage)
{
    WriteSettings("[Cartridge]\r\nCartridgeUpperChannel=400\r\nCartridgeLowerChannel=1500\r\n");
    const ImageRect before{1, 2, 30, 40};
    struct Case
    {
        int columns, rows;
        bool ok;
        ImageRect roi;
    };
    const Case cases[] = {
        {2448, 2048, true, {1844, 500, 2444, 1400}},
        {2000, 1000, true, {1844, 500, 1999, 999}},
        {1000, 800, false, before}, // the region lies right of a narrow image
    };
    for (const Case &c : cases) {
        _active_roi.Set(before);
        EXPECT_EQ(ResetDisplayRoi(c.columns, c.rows), c.ok) << c.columns;
        EXPECT_EQ(_active_roi.Get(), c.roi) << c.columns;
    }

    // Without channel rows the region is upside down (top 100, bottom -100): refused.
    WriteSettings("");
    _active_roi.Set(before);
    EXPECT_FALSE(ResetDisplayRoi(2448, 2048));
    EXPECT_EQ(_active_roi.Get(), before);
}

TEST_F(ImageViewMouseTest, ThePaintLoadsTheImageFoldersSettingsAndResetsTheRoi)
{
    const std::string folder = m_dir.file("experiment");
    std::filesystem::create_directories(folder);
    WriteFileBytes(folder + "/ExperimentSettings.ini",
                   "[Cartridge]\r\nCartridgeUpperChannel=300\r\nCartridgeLowerChannel=900\r\n");
    const std::string path = folder + "/Images_FL1_1.png";
    WriteImage(path, PatternImage(1000, 2000));
    _active_roi.Set(ImageRect{5, 5, 9, 9});
    CImageView *view = Open(path);
    ASSERT_NE(view, nullptr);
    view->OnDraw();
    EXPECT_EQ(_display_settings_file, folder + "/ExperimentSettings.ini");
    EXPECT_EQ(_active_roi.Get(), (ImageRect{1844, 400, 1999, 800}));
    const CalibrationLines lines = _shown_calibration_lines.Get();
    EXPECT_EQ(lines.upper_channel, 300);
    EXPECT_EQ(lines.lower_channel, 900);
    EXPECT_EQ(lines.upper_magnet, 100);
    EXPECT_EQ(lines.lower_magnet, 1800);
}

TEST_F(ImageViewMouseTest, PlacedLinesAreShownAndWrittenToTheSettings)
{
    CImageView *view = OpenField();
    ASSERT_NE(view, nullptr);
    struct Case
    {
        int command;
        int y;
        const char *key;
        int32_t row;
        int32_t CalibrationLines::*slot;
    };
    const Case cases[] = {
        {ID_PLACE_UPPER_MAGNET_LINE, 30, "UpperMagnet", 60, &CalibrationLines::upper_magnet},
        {ID_PLACE_LOWER_MAGNET_LINE, 480, "LowerMagnet", 960, &CalibrationLines::lower_magnet},
        {ID_PLACE_UPPER_CHANNEL_LINE, 100, "UpperChannel", 200, &CalibrationLines::upper_channel},
        {ID_PLACE_LOWER_CHANNEL_LINE, 400, "LowerChannel", 800, &CalibrationLines::lower_channel},
    };
    for (const Case &c : cases) {
        ASSERT_TRUE(view->OnCommand(c.command));
        QTest::mouseMove(view->viewport(), QPoint(200, c.y));
        EXPECT_EQ(view->viewport()->cursor().shape(), Qt::BitmapCursor) << c.key;
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(200, c.y));
        EXPECT_EQ(_shown_calibration_lines.Get().*c.slot, c.row) << c.key;
        EXPECT_EQ(MainSetting("CalibrationSettings", c.key), std::to_string(c.row)) << c.key;
        EXPECT_EQ(view->viewport()->cursor().shape(), Qt::ArrowCursor) << c.key;
    }
    EXPECT_EQ(m_counting->m_magnets, (std::vector<bool>{false, true})); // the counting dialog's magnet edits

    // The next click is a plain click again.
    const ClickPoint before = _last_click.Get();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(153, 128));
    EXPECT_NE(_last_click.Get().x, before.x);
    EXPECT_DOUBLE_EQ(_last_click.Get().x, 0.25);
    EXPECT_EQ(MainSetting("CalibrationSettings", "UpperMagnet"), "60");

    // A line above the image is kept as placed: a negative row.
    view->m_zoom_window = ZoomWindow{0.0, 1.0, -0.5, 1.5};
    view->OnPlaceUpperChannelLine();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(100, 0));
    EXPECT_EQ(_shown_calibration_lines.Get().upper_channel, -512);
    EXPECT_EQ(MainSetting("CalibrationSettings", "UpperChannel"), "-512");
}

TEST_F(ImageViewMouseTest, AVisibleToolTakesAPlacedLineAndAHiddenOneDropsIt)
{
    CImageView *view = OpenField();
    ASSERT_NE(view, nullptr);
    WriteSettings("[CalibrationSettings]\r\nUpperMagnet=11\r\n");

    m_tools->m_projection.Create(false); // exists, hidden
    view->OnPlaceUpperMagnetLine();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(10, 50));
    EXPECT_EQ(_shown_calibration_lines.Get().upper_magnet, 100);
    EXPECT_TRUE(m_tools->m_saved.empty());
    EXPECT_EQ(MainSetting("CalibrationSettings", "UpperMagnet"), "11");

    m_tools->m_projection.Show(true);
    view->OnPlaceUpperMagnetLine();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(10, 60));
    ASSERT_EQ(m_tools->m_saved.size(), 1u);
    EXPECT_EQ(m_tools->m_saved[0].tool, CalibrationTool::ProjectionAnalysis);
    EXPECT_EQ(m_tools->m_saved[0].key, "UpperMagnet");
    EXPECT_EQ(m_tools->m_saved[0].row, 120);

    m_tools->m_projection.m_exists = false;
    m_tools->m_fractionation.Create(true);
    view->OnPlaceLowerChannelLine();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(10, 70));
    ASSERT_EQ(m_tools->m_saved.size(), 2u);
    EXPECT_EQ(m_tools->m_saved[1].tool, CalibrationTool::FractionationAnalysis);
    EXPECT_EQ(m_tools->m_saved[1].key, "LowerChannel");
    EXPECT_EQ(m_tools->m_saved[1].row, 140);
    EXPECT_EQ(MainSetting("CalibrationSettings", "LowerChannel"), "");
}

TEST_F(ImageViewMouseTest, TheKeepQuestionWritesOrRestoresTheLines)
{
    CImageView *view = OpenField();
    ASSERT_NE(view, nullptr);
    _shown_calibration_lines.Set(CalibrationLines{410, 1490, 95, 1810});
    m_ui->QueueMessageAnswer(platform::ui::IdYes);
    view->OnTimer(kKeepLinesTimer);
    ASSERT_EQ(m_ui->Messages().size(), 1u);
    EXPECT_EQ(m_ui->Messages()[0].text, "Do you want to keep the Channel and Magnet Lines?");
    EXPECT_EQ(m_ui->Messages()[0].flags & 0xF, platform::ui::MbYesNo);
    EXPECT_EQ(MainSetting("CalibrationSettings", "UpperChannel"), "410");
    EXPECT_EQ(MainSetting("CalibrationSettings", "LowerChannel"), "1490");
    EXPECT_EQ(MainSetting("CalibrationSettings", "UpperMagnet"), "95");
    EXPECT_EQ(MainSetting("CalibrationSettings", "LowerMagnet"), "1810");

    // No: the stored rows come back; a value that does not parse leaves its line as shown.
    Ostravo::E_WritePrivateProfileString("CalibrationSettings", "LowerMagnet", "unset",
                                         theApp.m_ini_path.c_str());
    _shown_calibration_lines.Set(CalibrationLines{1, 2, 3, 4});
    view->OnTimer(kKeepLinesTimer); // the recording box answers No
    EXPECT_EQ(_shown_calibration_lines.Get(), (CalibrationLines{410, 1490, 95, 4}));

    // Other timers are not this view's.
    view->OnTimer(7);
    EXPECT_EQ(m_ui->Messages().size(), 2u);
}

TEST_F(ImageViewMouseTest, DetectionThatFindsNoLinesAsksNothing)
{
    const std::string flat = m_dir.file("Flat_FL1_1.png");
    WriteImage(flat, cv::Mat(1024, 1224, CV_16UC1, cv::Scalar(1000))); // no dark valleys at all
    CImageView *view = Open(flat);
    ASSERT_NE(view, nullptr);
    const CalibrationLines before{7, 8, 9, 10};
    _shown_calibration_lines.Set(before);
    view->OnCommand(ID_CHANNEL_AND_MAGNET_POSITIONS);
    ASSERT_EQ(m_ui->Messages().size(), 1u);
    EXPECT_EQ(m_ui->Messages()[0].text, "Could not find upper channel line.");
    EXPECT_FALSE(view->KeepLinesTimerActive());
    EXPECT_EQ(_shown_calibration_lines.Get(), before);
}

TEST_F(ImageViewMouseTest, MeasuringHandsTheDraggedHeightInImageRows)
{
    CImageView *view = OpenField();
    ASSERT_NE(view, nullptr);
    view->OnDefinePixelsPerMm();
    EXPECT_EQ(view->viewport()->cursor().shape(), Qt::ArrowCursor); // set by the next move
    QTest::mouseMove(view->viewport(), QPoint(250, 90));
    EXPECT_EQ(view->viewport()->cursor().shape(), Qt::PointingHandCursor);
    Drag(view, QPoint(250, 100), QPoint(260, 300));
    ASSERT_EQ(m_tools->m_measured.size(), 1u);
    EXPECT_DOUBLE_EQ(m_tools->m_measured[0], 400.0); // rows 200 to 600
    QTest::mouseMove(view->viewport(), QPoint(10, 10));
    EXPECT_FALSE(view->m_ppmm_mode);
}

std::vector<std::string> Texts(QMenu &menu)
{
    std::vector<std::string> texts;
    for (QAction *action : menu.actions())
        texts.push_back(action->isSeparator() ? "-" : action->text().toStdString());
    return texts;
}

TEST_F(ImageViewMouseTest, TheContextMenuFollowsTheRoiState)
{
    CImageView *view = OpenField();
    ASSERT_NE(view, nullptr);
    ROIObject named;
    named.m_name.Assign("Channel");
    m_tools->m_roiList.push_back(named);
    _draw_projection_right_of_roi = true;

    std::unique_ptr<QMenu> shown = view->BuildContextMenu();
    EXPECT_EQ(Texts(*shown), (std::vector<std::string>{
                                 "Hide ROI", "Edit Active Region Of Interest", "Choose Default ROI",
                                 "Choose Active Region Of Interest By Name", "-", "Place Upper Magnet Line",
                                 "Place Lower Magnet Line", "-", "Place Upper Channel Line",
                                 "Place Lower Channel Line", "-", "Define pixels per mm", "Adjust Boundaries",
                                 "-", "Draw Projection Below ROI", "Draw Projection Right of ROI"}));
    EXPECT_FALSE(shown->actions()[14]->isChecked());
    EXPECT_TRUE(shown->actions()[15]->isChecked());

    // Each item runs its command: Hide ROI hides it.
    view->OnCommand(shown->actions()[0]->data().toInt());
    EXPECT_TRUE(_roi_hidden);
    std::unique_ptr<QMenu> hidden = view->BuildContextMenu();
    EXPECT_EQ(Texts(*hidden),
              (std::vector<std::string>{"Show ROI", "-", "Place Upper Magnet Line", "Place Lower Magnet Line",
                                        "-", "Place Upper Channel Line", "Place Lower Channel Line", "-",
                                        "Define pixels per mm", "Adjust Boundaries", "-"}));
    view->OnCommand(hidden->actions()[0]->data().toInt());
    EXPECT_FALSE(_roi_hidden);

    // Without named ROIs the choice by name is left out.
    m_tools->m_roiList.clear();
    std::unique_ptr<QMenu> unnamed = view->BuildContextMenu();
    EXPECT_EQ(Texts(*unnamed)[3], "-");
}

TEST_F(ImageViewMouseTest, AdjustBoundariesNeedsThePixelsPerMillimetre)
{
    CImageView *view = OpenField();
    ASSERT_NE(view, nullptr);
    for (const char *settings : {"", "[CalibrationSettings]\r\nimage_pixels_per_mm=0\r\n",
                                 "[CalibrationSettings]\r\nimage_pixels_per_mm=none\r\n"}) {
        m_ui->Clear();
        WriteSettings(settings);
        view->OnAdjustBoundaries();
        ASSERT_EQ(m_ui->Messages().size(), 1u) << settings;
        EXPECT_EQ(m_ui->Messages()[0].text,
                  "[CalibrationSettings] image_pixels_per_mm has not been assigned.\nRight "
                  "click on an image and select \"Define pixels per mm\"");
        EXPECT_FALSE(m_tools->m_adjust.HasWindow());
    }
    WriteSettings("[CalibrationSettings]\r\nimage_pixels_per_mm=512.5\r\n");
    view->OnAdjustBoundaries();
    EXPECT_TRUE(m_tools->m_adjust.IsVisible());
    EXPECT_EQ(m_tools->m_adjustedView, view);
}

} // namespace
} // namespace vantelis::test
