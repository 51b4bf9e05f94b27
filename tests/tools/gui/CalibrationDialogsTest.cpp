// The two calibration dialogs, driven through their controls over a temporary data folder,
// reached through the installed tool services.
#include "Screenshot.h"
#include "app/gui/ImageViewTest.h"

#include "app/Renderer.h"
#include "app/ToolServices.h"
#include "app/ViewGlobals.h"
#include "tools/gui/CalibrationDialogs.h"
#include "tools/gui/CalibrationDialogsOwner.h"

#include <QTest>

namespace vantelis::test {
namespace {

class CalibrationDialogsTest : public ImageViewFixture
{
  protected:
    CalibrationDialogsTest() { m_owner = InstallCalibrationDialogsOwner(); }
    ~CalibrationDialogsTest() override
    {
        m_owner.reset();
        RemoveToolServices();
    }

    std::shared_ptr<CalibrationDialogsOwner> m_owner;
};

// ---- Pixels per millimetre ----

TEST_F(CalibrationDialogsTest, SaveStoresRowsPerMillimetreForTheHeightTypedNow)
{
    const struct
    {
        double length;
        const char *height;
        const char *stored;
    } cases[] = {{1000.0, "2.5", "400"}, {1234.5, "3", "411.5"}, {-1000.0, "2.5", "400"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.height);
        WriteSettings("");
        ComputePixelsPerMMDlg dialog(c.length, theApp.m_ini_path);
        dialog.OnInitDialog();
        // Typed and saved before the first tick: the stored value follows the typed height.
        dialog.SetControlText(ComputePixelsPerMMDlg::kHeightMm, c.height);
        EXPECT_TRUE(dialog.OnOK());
        EXPECT_EQ(MainSetting("CalibrationSettings", "image_pixels_per_mm"), c.stored);
    }
}

TEST_F(CalibrationDialogsTest, RefusedHeightOrLengthStoresNothing)
{
    const struct
    {
        double length;
        const char *height;
    } cases[] = {{1000.0, "0.4"}, {1000.0, "150"}, {1000.0, ""}, {0.0, "2.5"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.length) + " / " + c.height);
        WriteSettings("[CalibrationSettings]\r\nimage_pixels_per_mm=250\r\n");
        ComputePixelsPerMMDlg dialog(c.length, theApp.m_ini_path);
        dialog.OnInitDialog();
        dialog.SetControlText(ComputePixelsPerMMDlg::kHeightMm, c.height);
        EXPECT_FALSE(dialog.OnOK());
        EXPECT_EQ(MainSetting("CalibrationSettings", "image_pixels_per_mm"), "250");
        EXPECT_FALSE(dialog.IsControlEnabled(ComputePixelsPerMMDlg::kSave));
        EXPECT_EQ(dialog.ControlText(ComputePixelsPerMMDlg::kGuidance),
                  "Enter an object height between 0.5 and 100 mm");
    }
}

TEST_F(CalibrationDialogsTest, TickShowsTheResultAndTheCurrentSetting)
{
    WriteSettings("[CalibrationSettings]\r\nimage_pixels_per_mm=250\r\n");
    ComputePixelsPerMMDlg dialog(1000.0, theApp.m_ini_path);
    dialog.OnInitDialog();
    EXPECT_EQ(dialog.ControlText(ComputePixelsPerMMDlg::kHeightPixels), "1000.000");
    EXPECT_FALSE(dialog.IsControlEnabled(ComputePixelsPerMMDlg::kSave));
    dialog.SetControlText(ComputePixelsPerMMDlg::kHeightMm, "2.5");
    dialog.show();
    QTest::qWait(1100);
    EXPECT_TRUE(dialog.IsControlEnabled(ComputePixelsPerMMDlg::kSave));
    EXPECT_EQ(dialog.ControlText(ComputePixelsPerMMDlg::kSave), "Save New image_pixels_per_mm = 400.000");
    EXPECT_EQ(dialog.ControlText(ComputePixelsPerMMDlg::kGuidance),
              "Current [CalibrationSettings] image_pixels_per_mm = 250.000");
    WriteScreenshotBeside(&m_area, &dialog, "compute_pixels_per_mm");
}

// ---- Boundaries ----

class AdjustBoundariesTest : public CalibrationDialogsTest
{
  protected:
    AdjustBoundariesTest()
    {
        WriteSettings("[CalibrationSettings]\r\nimage_pixels_per_mm=400\r\n");
        _shown_calibration_lines.Set(CalibrationLines{400, 900, 100, 1800});
        WriteImage(m_dir.file("image.png"), PatternImage(60, 60));
        m_view = Open(m_dir.file("image.png"), 300, 300);
    }
    ~AdjustBoundariesTest() override
    {
        _shown_calibration_lines.Set(CalibrationLines{});
        _saved_calibration_lines.Set(SavedCalibrationLines{});
    }

    AdjustBoundariesDlg *OpenBoundaries()
    {
        ModelessWindow &window = Calibration().AdjustBoundaries();
        EXPECT_TRUE(window.Create(true));
        Calibration().InitAdjustBoundaries(m_view);
        return m_owner->Boundaries();
    }

    CImageView *m_view = nullptr;
};

TEST_F(AdjustBoundariesTest, ApplyMovesTheFreeLineOfThePair)
{
    AdjustBoundariesDlg *dialog = OpenBoundaries();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->ControlText(AdjustBoundariesDlg::kMagnetSpacing), "4.250");
    EXPECT_EQ(dialog->ControlText(AdjustBoundariesDlg::kChannelSpacing), "1.250");
    EXPECT_TRUE(dialog->IsChecked(AdjustBoundariesDlg::kMagnetAnchorBottom));

    // Anchor bottom: the lower magnet at 1800 stays, 2.5 mm put the upper one at 800.
    dialog->SetControlText(AdjustBoundariesDlg::kMagnetSpacing, "2.5");
    dialog->OnApplyMagnetDistance();
    EXPECT_EQ(_shown_calibration_lines.Get().upper_magnet, 800);
    EXPECT_EQ(_shown_calibration_lines.Get().lower_magnet, 1800);
    EXPECT_EQ(MainSetting("CalibrationSettings", "UpperMagnet"), "800");

    // Anchor top: the upper channel at 400 stays, 2.75 mm put the lower one at 1500.
    dialog->SetChecked(AdjustBoundariesDlg::kChannelAnchorTop, true);
    dialog->SetControlText(AdjustBoundariesDlg::kChannelSpacing, "2.75");
    dialog->OnApplyChannelDistance();
    EXPECT_EQ(_shown_calibration_lines.Get().lower_channel, 1500);
    EXPECT_EQ(_shown_calibration_lines.Get().upper_channel, 400);
    EXPECT_EQ(MainSetting("CalibrationSettings", "LowerChannel"), "1500");

    // A spacing that is no number changes nothing.
    dialog->SetControlText(AdjustBoundariesDlg::kMagnetSpacing, "wide");
    dialog->OnApplyMagnetDistance();
    EXPECT_EQ(_shown_calibration_lines.Get().upper_magnet, 800);
    WriteScreenshotBeside(&m_area, dialog, "adjust_boundaries");
}

// A projection or fractionation tool whose window shows the rows the settings file held when it
// was opened.
class ToolShowingLines : public RenderToolLink
{
  public:
    bool ProjectionToolShown(CalibrationLines &lines) override
    {
        lines = toolLines;
        return shown;
    }
    bool FractionationToolShown(CalibrationLines &) override { return false; }
    CalibrationLines toolLines;
    bool shown = false;
};

// While a tool shows its own lines, a moved row is not lost: it is what the view shows once the
// tool hides, also when it was moved after the tool hid but before the next render put the view's
// lines back.
TEST_F(AdjustBoundariesTest, AMoveWhileAToolShowsItsLinesShowsOnceTheToolHides)
{
    const CalibrationLines view = _shown_calibration_lines.Get();
    AdjustBoundariesDlg *dialog = OpenBoundaries();
    ASSERT_NE(dialog, nullptr);
    ToolShowingLines tool;
    tool.toolLines = view;

    // Shown: the render draws the tool's lines; the dialog's move lands in the settings and, once
    // the tool hides, on the image.
    tool.shown = true;
    ShowToolCalibrationLines(tool);
    dialog->SetControlText(AdjustBoundariesDlg::kMagnetSpacing, "2.5");
    dialog->OnApplyMagnetDistance();
    EXPECT_EQ(MainSetting("CalibrationSettings", "UpperMagnet"), "800");
    ShowToolCalibrationLines(tool); // a render while the tool is still shown
    EXPECT_EQ(_shown_calibration_lines.Get(), view);
    tool.shown = false;
    ShowToolCalibrationLines(tool); // the first render after it hid
    EXPECT_EQ(_shown_calibration_lines.Get(), (CalibrationLines{400, 900, 800, 1800}));

    // Hidden, with the view's lines not yet put back: the move survives the delayed restore.
    tool.toolLines = _shown_calibration_lines.Get();
    tool.shown = true;
    ShowToolCalibrationLines(tool);
    tool.shown = false;
    dialog->SetChecked(AdjustBoundariesDlg::kChannelAnchorTop, true);
    dialog->SetControlText(AdjustBoundariesDlg::kChannelSpacing, "2.75");
    dialog->OnApplyChannelDistance();
    EXPECT_EQ(MainSetting("CalibrationSettings", "LowerChannel"), "1500");
    ShowToolCalibrationLines(tool);
    EXPECT_EQ(_shown_calibration_lines.Get(), (CalibrationLines{400, 1500, 800, 1800}));
    EXPECT_FALSE(_saved_calibration_lines.Get().saved);
}

TEST_F(AdjustBoundariesTest, ApplyAfterTheViewClosedIsSafe)
{
    AdjustBoundariesDlg *dialog = OpenBoundaries();
    ASSERT_NE(dialog, nullptr);
    DocumentManager::Instance().CloseAllDocuments();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    dialog->SetControlText(AdjustBoundariesDlg::kMagnetSpacing, "2.5");
    dialog->OnApplyMagnetDistance();
    EXPECT_EQ(MainSetting("CalibrationSettings", "UpperMagnet"), "800");
    // The follow-up timer finds the view gone and stops.
    QTest::qWait(1100);
    EXPECT_FALSE(dialog->TimerActive(AdjustBoundariesDlg::kFollowTimer));
}

TEST_F(AdjustBoundariesTest, UpdateButtonsFollowTheTypedText)
{
    AdjustBoundariesDlg *dialog = OpenBoundaries();
    ASSERT_NE(dialog, nullptr);
    dialog->SetControlText(AdjustBoundariesDlg::kMagnetSpacing, "4.25"); // same value, other text
    dialog->SetControlText(AdjustBoundariesDlg::kChannelSpacing, "1.250");
    QTest::qWait(1100);
    EXPECT_TRUE(dialog->IsControlEnabled(AdjustBoundariesDlg::kApplyMagnet));
    EXPECT_FALSE(dialog->IsControlEnabled(AdjustBoundariesDlg::kApplyChannel));
    EXPECT_TRUE(dialog->TimerActive(AdjustBoundariesDlg::kFollowTimer));
}

} // namespace
} // namespace vantelis::test
