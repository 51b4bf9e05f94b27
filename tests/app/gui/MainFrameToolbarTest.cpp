// The image-type combo of the main toolbar: its text, its drop-down list, selecting a type by
// index and reading the selected one back, and the close-up that restarts live imaging.
#include "MainFrameFixture.h"

#include "app/AppRenderLink.h"
#include "app/CommandIds.h"
#include "app/gui/ToolbarEx.h"

#include <QAction>
#include <QLineEdit>
#include <QSignalSpy>

namespace vantelis::test::mainframe {
namespace {

class MainFrameToolbarTest : public MainFrameFixture
{
  protected:
    MainFrameToolbarTest() { m_app.m_analysis_mode = false; }

    // [ExperimentSettings] ImageTypeName1..4; a null name leaves its key out.
    void WriteNames(const char *n1, const char *n2, const char *n3, const char *n4)
    {
        std::string text = "[ExperimentSettings]\r\n";
        const char *names[] = {n1, n2, n3, n4};
        for (int i = 0; i < 4; ++i)
            if (names[i])
                text += "ImageTypeName" + std::to_string(i + 1) + "=" + names[i] + "\r\n";
        WriteSettings(text);
    }

    CToolBarEx &Toolbar() { return *Frame().ToolBar(); }
    std::string Text() { return Toolbar().ImageTypeText(); }
    std::vector<std::string> ListItems()
    {
        std::vector<std::string> items;
        for (int i = 0; i < Toolbar().Combo()->count(); ++i)
            items.push_back(Toolbar().Combo()->itemText(i).toStdString());
        return items;
    }
    void DropDown() { Toolbar().OnCmdMsg(cmd::kImageTypeCombo, CToolBarEx::kDropDown); }
    void CloseUp() { Toolbar().OnCmdMsg(cmd::kImageTypeCombo, CToolBarEx::kCloseUp); }
};

TEST_F(MainFrameToolbarTest, ComboStartsWithTheFirstNonBlankNameAndAnEmptyList)
{
    WriteNames(" \t", "BrightField", "FL1", nullptr);
    CToolBarEx &toolbar = Toolbar();
    ASSERT_NE(toolbar.Combo(), nullptr);
    EXPECT_EQ(Text(), "BrightField");
    EXPECT_EQ(toolbar.Combo()->count(), 0);
    EXPECT_EQ(toolbar.Combo()->width(), 200);
    EXPECT_TRUE(toolbar.Combo()->isEditable());
    EXPECT_EQ(toolbar.GetSelectedImageType(), 1);
    EXPECT_EQ(ImageTypeComboText(), "BrightField");
    // The render thread reads the same text for the live image.
    EXPECT_EQ(AppRenderLink().ImageTypeComboText(), "BrightField");
    // It exists once: a second fill is refused.
    EXPECT_FALSE(toolbar.FillImageTypeCombo());
}

TEST_F(MainFrameToolbarTest, AllNamesBlank)
{
    WriteNames("", "  ", nullptr, "\t");
    EXPECT_EQ(Text(), "");
    DropDown();
    EXPECT_TRUE(ListItems().empty());
    for (unsigned type = 0; type < 4; ++type)
        EXPECT_FALSE(Toolbar().SelectImageType(type)) << type;
    EXPECT_EQ(Toolbar().GetSelectedImageType(), -1);
}

TEST_F(MainFrameToolbarTest, BlankSecondNameShiftsListPositionsAndSelection)
{
    WriteNames("BrightField", " ", "FL1", "FL2");
    DropDown();
    EXPECT_EQ(ListItems(), (std::vector<std::string>{"BrightField", "FL1", "FL2"}));
    EXPECT_EQ(Text(), ""); // until the user picks an entry
    EXPECT_TRUE(Toolbar().SelectImageType(1));
    EXPECT_EQ(Text(), "FL1");
    EXPECT_EQ(Toolbar().GetSelectedImageType(), 2);
    EXPECT_TRUE(Toolbar().SelectImageType(3));
    EXPECT_EQ(Text(), "FL2");
    EXPECT_EQ(Toolbar().GetSelectedImageType(), 3);
}

TEST_F(MainFrameToolbarTest, TypeAboveThreeIsRefusedAndChangesNothing)
{
    WriteNames("BrightField", "FL1", "FL2", "FL3");
    ASSERT_TRUE(Toolbar().SelectImageType(2));
    EXPECT_FALSE(Toolbar().SelectImageType(4));
    EXPECT_FALSE(Toolbar().SelectImageType(100));
    EXPECT_EQ(Text(), "FL2");
}

TEST_F(MainFrameToolbarTest, EqualNamesGiveTheLowerIndex)
{
    WriteNames("BrightField", "FL1", "FL1", "FL2");
    ASSERT_TRUE(Toolbar().SelectImageType(2));
    EXPECT_EQ(Text(), "FL1");
    EXPECT_EQ(Toolbar().GetSelectedImageType(), 1);
}

TEST_F(MainFrameToolbarTest, SelectionComparesExactlyWithCase)
{
    WriteNames("BrightField", "FL1", nullptr, nullptr);
    Toolbar().Combo()->setEditText(QStringLiteral("fl1"));
    EXPECT_EQ(Toolbar().GetSelectedImageType(), -1);
    Toolbar().Combo()->setEditText(QStringLiteral("FL1"));
    EXPECT_EQ(Toolbar().GetSelectedImageType(), 1);
}

TEST_F(MainFrameToolbarTest, DroppedDownAndClosedWithoutAChoiceLeavesNoSelection)
{
    WriteNames("BrightField", "FL1", "FL2", nullptr);
    ASSERT_EQ(Text(), "BrightField");
    // Through the combo itself, as a click on its arrow does.
    Frame().show();
    Toolbar().Combo()->showPopup();
    Toolbar().Combo()->hidePopup();
    EXPECT_EQ(ListItems(), (std::vector<std::string>{"BrightField", "FL1", "FL2"}));
    EXPECT_EQ(Text(), "");
    EXPECT_EQ(Toolbar().GetSelectedImageType(), -1);
    EXPECT_EQ(ImageTypeComboText(), "");

    // Picking an entry afterwards names that type.
    Toolbar().Combo()->setCurrentIndex(2);
    EXPECT_EQ(Text(), "FL2");
    EXPECT_EQ(Toolbar().GetSelectedImageType(), 2);
}

TEST_F(MainFrameToolbarTest, CloseUpRestartsLiveImagingOnlyWhileItsButtonIsPressed)
{
    WriteNames("BrightField", "FL1", nullptr, nullptr);
    QSignalSpy posted(&Toolbar(), &CToolBarEx::commandPosted);
    DropDown();
    CloseUp();
    EXPECT_EQ(posted.count(), 0);

    Toolbar().SetButtonPressed(cmd::kLiveImage, true);
    DropDown();
    CloseUp();
    ASSERT_EQ(posted.count(), 2);
    EXPECT_EQ(posted[0][0].toInt(), cmd::kLiveImage);
    EXPECT_EQ(posted[1][0].toInt(), cmd::kLiveImage);
}

TEST_F(MainFrameToolbarTest, AnalysisModeHasNoComboAndADisabledPlace)
{
    m_app.m_analysis_mode = true;
    WriteNames("BrightField", "FL1", nullptr, nullptr);
    CToolBarEx &toolbar = Toolbar();
    EXPECT_EQ(toolbar.Combo(), nullptr);
    QAction *place = toolbar.Button(cmd::kImageTypeComboPlace);
    ASSERT_NE(place, nullptr);
    Frame().OnIdleUpdateCmdUI();
    EXPECT_FALSE(place->isEnabled());
    EXPECT_EQ(toolbar.GetSelectedImageType(), 0);
    EXPECT_EQ(Text(), "");
    EXPECT_EQ(ImageTypeComboText(), "");
}

} // namespace
} // namespace vantelis::test::mainframe
