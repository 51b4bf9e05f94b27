// The ROI chooser: rows in name order, previews while a row is selected, OK making the ROI active
// (and shown in the manager), OK without a choice, Cancel; reached from the view's context command.
// The main frame's ROI Manager command toggles the real manager window.
#include "RoiWindowsFixture.h"

#include "app/CommandIds.h"
#include "app/gui/MainFrame.h"
#include "tools/gui/ChooseROI.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace vantelis::test {
namespace {

class ChooseROITest : public RoiWindowsFixture
{
  protected:
    ChooseROITest()
    {
        // ROIA and ROI_2 sort one way by bytes and the other way ignoring case.
        WriteRoiLines(
            "item0=\"a\",1,2,3,4\r\nitem1=\"ROI_2\",10,30,20,40\r\nitem2=\"ROIA\",100,300,200,400\r\n");
        EpiPreviewRoi.Set(ImageRect{});
    }
    ~ChooseROITest() override { EpiPreviewRoi.Set(ImageRect{}); }
};

TEST_F(ChooseROITest, RowsFollowTheListsNameOrderAndSelectTheirOwnRoi)
{
    const std::string path = m_dir.file("image.png");
    WriteImage(path, PatternImage(60, 60));
    CImageView *view = Open(path, 300, 300);
    ASSERT_NE(view, nullptr);
    ChooseROI dialog(Ini());
    dialog.show();
    EXPECT_EQ(Rows(dialog.RoiListBox()), (std::vector<std::string>{"ROIA", "ROI_2", "a"}));
    EXPECT_TRUE(dialog.RoiListBox()->selectedItems().isEmpty());
    EXPECT_TRUE(_preview_roi.Get().IsZero());

    const struct
    {
        const char *row;
        ImageRect rect;
    } cases[] = {{"ROIA", {100, 200, 300, 400}}, {"a", {1, 3, 2, 4}}, {"ROI_2", {10, 20, 30, 40}}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.row);
        SelectRow(dialog.RoiListBox(), c.row);
        EXPECT_EQ(_preview_roi.Get(), c.rect);
    }
    WriteScreenshot(&dialog, "choose_roi");
    EXPECT_GT(PreviewPixels(view), 0);

    // Cancel takes the preview away and leaves the active ROI as it was.
    _active_roi.Set(ImageRect{5, 6, 7, 8});
    QTest::mouseClick(dialog.CancelButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_TRUE(_preview_roi.Get().IsZero());
    EXPECT_EQ(_active_roi.Get(), (ImageRect{5, 6, 7, 8}));
}

TEST_F(ChooseROITest, OkMakesTheChosenRoiActiveAndShowsItInTheManager)
{
    ROIManager *manager = OpenManager();
    ASSERT_NE(manager, nullptr);
    // Differs from ROI_2 only in its top edge.
    _active_roi.Set(ImageRect{10, 21, 30, 40});
    EpiPreviewRoi.Set(ImageRect{1, 1, 9, 9});

    ChooseROI dialog(Ini());
    dialog.show();
    SelectRow(dialog.RoiListBox(), "ROI_2");
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(_active_roi.Get(), (ImageRect{10, 20, 30, 40}));
    EXPECT_TRUE(_preview_roi.Get().IsZero());
    EXPECT_TRUE(EpiPreviewRoi.Get().IsZero());
    EXPECT_EQ(manager->Edit(ROIManager::kTopEdit)->text().toStdString(), "20");

    // Choosing the ROI that is active already leaves the manager's fields alone.
    manager->Edit(ROIManager::kTopEdit)->setText("untouched");
    ChooseROI again(Ini());
    again.show();
    SelectRow(again.RoiListBox(), "ROI_2");
    QTest::mouseClick(again.OkButton(), Qt::LeftButton);
    EXPECT_EQ(again.result(), QDialog::Accepted);
    EXPECT_EQ(manager->Edit(ROIManager::kTopEdit)->text().toStdString(), "untouched");
}

TEST_F(ChooseROITest, OkWithoutAChoiceClearsThePreviewsAndStaysOpen)
{
    WriteSettings("");
    ChooseROI dialog(Ini());
    dialog.show();
    EXPECT_EQ(dialog.RoiListBox()->count(), 0);
    _preview_roi.Set(ImageRect{1, 2, 3, 4});
    EpiPreviewRoi.Set(ImageRect{1, 2, 3, 4});
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(_preview_roi.Get().IsZero());
    EXPECT_TRUE(EpiPreviewRoi.Get().IsZero());
    EXPECT_TRUE(_active_roi.Get().IsZero());
}

// The view's context command runs the chooser modally; choosing a row there sets the active ROI.
TEST_F(ChooseROITest, TheViewsContextCommandOpensTheChooser)
{
    const std::string path = m_dir.file("image.png");
    WriteImage(path, PatternImage(40, 40));
    CImageView *view = Open(path, 200, 200);
    ASSERT_NE(view, nullptr);
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto *dialog = qobject_cast<ChooseROI *>(QApplication::activeModalWidget());
        if (dialog == nullptr)
            return;
        seen = true;
        SelectRow(dialog->RoiListBox(), "ROIA");
        QTest::mouseClick(dialog->OkButton(), Qt::LeftButton);
    });
    view->OnChooseRoiByName();
    EXPECT_TRUE(seen);
    EXPECT_EQ(_active_roi.Get(), (ImageRect{100, 200, 300, 400}));
}

// The main frame's ROI Manager command makes the manager on first use and then toggles it.
TEST_F(ChooseROITest, TheMainFramesCommandTogglesTheManager)
{
    CMainFrame frame(theApp);
    EXPECT_FALSE(RoiTools().RoiManager().HasWindow());
    frame.OnCommand(cmd::kRoiManager);
    ASSERT_TRUE(RoiTools().RoiManager().HasWindow());
    EXPECT_TRUE(m_windows->Manager()->isVisible());
    EXPECT_EQ(Rows(m_windows->Manager()->RoiListBox()), (std::vector<std::string>{"a", "ROI_2", "ROIA"}));
    ROIManager *first = m_windows->Manager();
    frame.OnCommand(cmd::kRoiManager);
    EXPECT_FALSE(first->isVisible());
    frame.OnCommand(cmd::kRoiManager);
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(m_windows->Manager(), first);
}

} // namespace
} // namespace vantelis::test
