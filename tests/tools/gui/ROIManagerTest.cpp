// The ROI manager: selection, preview on the open images, the Save Changes rules, saving beside
// other writers, refusals, failures, admin-only Delete and the active ROI shown in its fields.
#include "RoiWindowsFixture.h"

#include "platform/gui/QtUserInterface.h"

#include <QContextMenuEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QThread>

#include <atomic>
#include <thread>

namespace vantelis::test {
namespace {

class ROIManagerTest : public RoiWindowsFixture
{
  protected:
    ~ROIManagerTest() override { theApp.m_admin_mode = false; }

    void Fill(ROIManager *manager, const char *name, const char *left, const char *right, const char *top,
              const char *bottom)
    {
        manager->Edit(ROIManager::kNameEdit)->setText(QString::fromLatin1(name));
        manager->Edit(ROIManager::kLeftEdit)->setText(QString::fromLatin1(left));
        manager->Edit(ROIManager::kRightEdit)->setText(QString::fromLatin1(right));
        manager->Edit(ROIManager::kTopEdit)->setText(QString::fromLatin1(top));
        manager->Edit(ROIManager::kBottomEdit)->setText(QString::fromLatin1(bottom));
    }

    static std::string Field(ROIManager *manager, int id) { return manager->Edit(id)->text().toStdString(); }

    // Right-clicks the list box at point. Returns the items of the menu that opened (none: empty),
    // choosing the item named choose.
    static std::vector<std::string> RightClick(QListWidget *list, const QPoint &point,
                                               const std::string &choose)
    {
        std::vector<std::string> items;
        QObject guard;
        QTimer::singleShot(0, &guard, [&] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            if (menu == nullptr)
                return;
            QAction *chosen = nullptr;
            for (QAction *action : menu->actions()) {
                items.push_back(action->text().toStdString());
                if (action->text().toStdString() == choose)
                    chosen = action;
            }
            if (chosen)
                chosen->trigger();
            menu->close();
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, point, list->viewport()->mapToGlobal(point));
        QApplication::sendEvent(list->viewport(), &event);
        QCoreApplication::processEvents();
        return items;
    }

    static QPoint RowPoint(QListWidget *list, const std::string &text)
    {
        const QList<QListWidgetItem *> found =
            list->findItems(QString::fromStdString(text), Qt::MatchExactly);
        return found.isEmpty() ? QPoint(-1, -1) : list->visualItemRect(found.first()).center();
    }
};

// The list box orders names ignoring case; picking a row fills the five fields and previews its
// rectangle on both open images; hiding the window takes the preview away.
TEST_F(ROIManagerTest, SelectingARowPreviewsItOnEveryOpenImage)
{
    WriteRoiLines("item0=\"beta\",1,2,3,4\r\nitem1=\"Channel\",100,900,20,60\r\nitem2=\"alpha\",5,6,7,8\r\n");
    const std::string first = m_dir.file("first.png"), second = m_dir.file("second.png");
    WriteImage(first, PatternImage(64, 80));
    WriteImage(second, PatternImage(50, 40));
    ASSERT_NE(Open(first, 300, 240), nullptr);
    ASSERT_NE(Open(second, 300, 240), nullptr);
    ROIManager *manager = OpenManager();
    ASSERT_NE(manager, nullptr);
    EXPECT_EQ(Rows(manager->RoiListBox()), (std::vector<std::string>{"alpha", "beta", "Channel"}));
    EXPECT_FALSE(manager->SaveButton()->isEnabled());

    DrainRenderList();
    SelectRow(manager->RoiListBox(), "Channel");
    EXPECT_EQ(Field(manager, ROIManager::kNameEdit), "Channel");
    EXPECT_EQ(Field(manager, ROIManager::kLeftEdit), "100");
    EXPECT_EQ(Field(manager, ROIManager::kRightEdit), "900");
    EXPECT_EQ(Field(manager, ROIManager::kTopEdit), "20");
    EXPECT_EQ(Field(manager, ROIManager::kBottomEdit), "60");
    EXPECT_EQ(_preview_roi.Get(), (ImageRect{100, 20, 900, 60}));
    std::vector<std::string> repainted = RepaintedPaths();
    EXPECT_NE(std::find(repainted.begin(), repainted.end(), DocumentPathFor(first)), repainted.end());
    EXPECT_NE(std::find(repainted.begin(), repainted.end(), DocumentPathFor(second)), repainted.end());
    // Equal fields and stored rectangle: nothing to save.
    manager->OnTimer(ROIManager::kEditTimer);
    EXPECT_FALSE(manager->SaveButton()->isEnabled());

    RoiTools().RoiManager().Show(false);
    ASSERT_TRUE(RunEventLoopUntil([] { return _preview_roi.Get().IsZero(); }));
    EXPECT_FALSE(manager->TimerActive(ROIManager::kHiddenTimer));
}

// Typing a new name and four numbers enables Save Changes a second after the last key and
// previews the typed rectangle on both images; saving writes it as the last item.
TEST_F(ROIManagerTest, SavingWritesTheRoiAndPreviewsItOnTwoImages)
{
    WriteRoiLines("item0=\"Channel\",100,900,20,60\r\n");
    const std::string first = m_dir.file("first.png"), second = m_dir.file("second.png");
    WriteImage(first, PatternImage(64, 80));
    WriteImage(second, PatternImage(64, 80));
    CImageView *firstView = Open(first, 300, 240);
    CImageView *secondView = Open(second, 300, 240);
    ASSERT_NE(firstView, nullptr);
    ASSERT_NE(secondView, nullptr);
    ROIManager *manager = OpenManager();
    ASSERT_NE(manager, nullptr);
    SelectRow(manager->RoiListBox(), "Channel");
    DrainRenderList();

    Fill(manager, "Channel2", "10", "30", "20", "40");
    EXPECT_TRUE(manager->TimerActive(ROIManager::kEditTimer));
    EXPECT_FALSE(manager->SaveButton()->isEnabled());
    ASSERT_TRUE(RunEventLoopUntil([&] { return manager->SaveButton()->isEnabled(); }));
    EXPECT_EQ(_preview_roi.Get(), (ImageRect{10, 20, 30, 40}));
    std::vector<std::string> repainted = RepaintedPaths();
    EXPECT_NE(std::find(repainted.begin(), repainted.end(), DocumentPathFor(first)), repainted.end());
    EXPECT_NE(std::find(repainted.begin(), repainted.end(), DocumentPathFor(second)), repainted.end());
    RenderQueuedJobs();
    EXPECT_GT(PreviewPixels(firstView), 0);
    EXPECT_GT(PreviewPixels(secondView), 0);

    QTest::mouseClick(manager->SaveButton(), Qt::LeftButton);
    EXPECT_FALSE(manager->SaveButton()->isEnabled());
    EXPECT_NE(ReadFileBytes(Ini()).find(
                  "[ROI]\r\nitem0=\"Channel\",100,900,20,60\r\nitem1=\"Channel2\",10,30,20,40\r\n"),
              std::string::npos);
    EXPECT_EQ(Rows(manager->RoiListBox()), (std::vector<std::string>{"Channel", "Channel2"}));
    // The selection stays on the row it was on.
    ASSERT_EQ(manager->RoiListBox()->selectedItems().size(), 1);
    EXPECT_EQ(manager->RoiListBox()->selectedItems().first()->text().toStdString(), "Channel");
    WriteScreenshot(manager, "roi_manager");
}

// Changing only the coordinates of a stored name replaces its rectangle in place.
TEST_F(ROIManagerTest, SavingAnExistingNameReplacesItsRectangle)
{
    WriteRoiLines("item0=\"A\",1,2,3,4\r\nitem1=\"B\",5,6,7,8\r\n");
    ROIManager *manager = OpenManager();
    ASSERT_NE(manager, nullptr);
    Fill(manager, "A", "-1", "20", "30", "40");
    manager->OnTimer(ROIManager::kEditTimer);
    ASSERT_TRUE(manager->SaveButton()->isEnabled());
    QTest::mouseClick(manager->SaveButton(), Qt::LeftButton);
    EXPECT_NE(
        ReadFileBytes(Ini()).find("[ROI]\r\nitem0=\"A\",4294967295,20,30,40\r\nitem1=\"B\",5,6,7,8\r\n"),
        std::string::npos);
    EXPECT_EQ(Rows(manager->RoiListBox()), (std::vector<std::string>{"A", "B"}));
}

// What Save Changes accepts: a name with more than blanks and four numbers.
TEST_F(ROIManagerTest, SaveChangesNeedsANameAndFourNumbers)
{
    WriteRoiLines("item0=\"A\",1,2,3,4\r\n");
    ROIManager *manager = OpenManager();
    ASSERT_NE(manager, nullptr);
    const struct
    {
        const char *name, *left, *right, *top, *bottom;
        bool enabled;
    } cases[] = {
        {" \t ", "1", "2", "3", "4", false}, {"N", "", "2", "3", "4", false},
        {"N", "1", "2", "3", "x", false},    {"A", "1", "2", "3", "4", false},
        {"A", "1", "2", "3", "5", true},     {" A", "1", "2", "3", "4", true},
        {"N", "1", "2", "3", "4", true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.name) + "|" + c.left + "|" + c.bottom);
        Fill(manager, c.name, c.left, c.right, c.top, c.bottom);
        manager->OnTimer(ROIManager::kEditTimer);
        EXPECT_EQ(manager->SaveButton()->isEnabled(), c.enabled);
    }
    // A leading blank is part of the name as stored.
    QTest::mouseClick(manager->SaveButton(), Qt::LeftButton);
    Fill(manager, " A", "1", "2", "3", "4");
    manager->OnTimer(ROIManager::kEditTimer);
    ASSERT_TRUE(manager->SaveButton()->isEnabled());
    QTest::mouseClick(manager->SaveButton(), Qt::LeftButton);
    EXPECT_NE(ReadFileBytes(Ini()).find("item2=\" A\",1,2,3,4\r\n"), std::string::npos);
}

// A script command stores an ROI while the manager is open: the manager's next save and delete
// keep it, and the list box shows it.
TEST_F(ROIManagerTest, RoisWrittenBehindTheManagersBackSurvive)
{
    WriteRoiLines("item0=\"A\",1,2,3,4\r\n");
    ROIManager *manager = OpenManager();
    ASSERT_NE(manager, nullptr);
    {
        ROIList other;
        ASSERT_TRUE(other.LoadFromProfile(Ini().c_str()));
        auto *roi = new ROIObject;
        roi->m_name.Assign("Script");
        roi->left = 50;
        roi->top = 60;
        roi->right = 70;
        roi->bottom = 80;
        other.Add(roi);
        ASSERT_TRUE(other.SaveToProfile(Ini().c_str()));
    }
    Fill(manager, "B", "5", "6", "7", "8");
    manager->OnTimer(ROIManager::kEditTimer);
    QTest::mouseClick(manager->SaveButton(), Qt::LeftButton);
    EXPECT_NE(ReadFileBytes(Ini()).find(
                  "[ROI]\r\nitem0=\"A\",1,2,3,4\r\nitem1=\"Script\",50,70,60,80\r\nitem2=\"B\",5,6,7,8\r\n"),
              std::string::npos);
    EXPECT_EQ(Rows(manager->RoiListBox()), (std::vector<std::string>{"A", "B", "Script"}));

    // Another writer adds C and then the admin deletes A: C stays.
    {
        ROIList other;
        ASSERT_TRUE(other.LoadFromProfile(Ini().c_str()));
        auto *roi = new ROIObject;
        roi->m_name.Assign("C");
        other.Add(roi);
        ASSERT_TRUE(other.SaveToProfile(Ini().c_str()));
    }
    theApp.m_admin_mode = true;
    QListWidget *list = manager->RoiListBox();
    EXPECT_EQ(RightClick(list, RowPoint(list, "A"), "Delete"), (std::vector<std::string>{"Delete"}));
    EXPECT_NE(ReadFileBytes(Ini()).find("[ROI]\r\nitem0=\"Script\",50,70,60,80\r\nitem1=\"B\",5,6,7,8\r\n"
                                        "item2=\"C\",0,0,0,0\r\n"),
              std::string::npos);
    EXPECT_EQ(Rows(list), (std::vector<std::string>{"B", "C", "Script"}));
}

// The right-click menu with Delete exists only in admin mode, and only over a row.
TEST_F(ROIManagerTest, DeleteOnlyInAdminMode)
{
    WriteRoiLines("item0=\"A\",1,2,3,4\r\nitem1=\"B\",5,6,7,8\r\n");
    ROIManager *manager = OpenManager();
    ASSERT_NE(manager, nullptr);
    QListWidget *list = manager->RoiListBox();
    const std::string before = ReadFileBytes(Ini());

    theApp.m_admin_mode = false;
    EXPECT_TRUE(RightClick(list, RowPoint(list, "A"), "Delete").empty());
    EXPECT_EQ(ReadFileBytes(Ini()), before);

    theApp.m_admin_mode = true;
    const QRect last = list->visualItemRect(list->item(list->count() - 1));
    EXPECT_TRUE(RightClick(list, QPoint(last.center().x(), last.bottom() + 20), "Delete").empty());
    EXPECT_EQ(ReadFileBytes(Ini()), before);

    EXPECT_EQ(RightClick(list, RowPoint(list, "A"), "Delete"), (std::vector<std::string>{"Delete"}));
    EXPECT_NE(ReadFileBytes(Ini()).find("[ROI]\r\nitem0=\"B\",5,6,7,8\r\n"), std::string::npos);
    EXPECT_EQ(ReadFileBytes(Ini()).find("\"A\""), std::string::npos);
    EXPECT_EQ(Rows(list), (std::vector<std::string>{"B"}));
}

// A name the list cannot read back, and a 101st ROI, are refused with a message; the settings file
// stays byte for byte as it was. Replacing a stored ROI of a full list is still allowed.
TEST_F(ROIManagerTest, RefusalsLeaveTheFileAsItWas)
{
    std::string lines;
    for (int i = 0; i < 100; ++i)
        lines += "item" + std::to_string(i) + "=\"r" + std::to_string(i) + "\",1,2,3,4\r\n";
    WriteRoiLines(lines);
    const std::string before = ReadFileBytes(Ini());
    ROIManager *manager = OpenManager();
    ASSERT_NE(manager, nullptr);

    const std::string name128(128, 'n');
    for (const char *name : {"with \"quote\"", name128.c_str(), "r100"}) {
        SCOPED_TRACE(name);
        m_ui->Clear();
        Fill(manager, name, "1", "2", "3", "4");
        manager->OnTimer(ROIManager::kEditTimer);
        ASSERT_TRUE(manager->SaveButton()->isEnabled());
        QTest::mouseClick(manager->SaveButton(), Qt::LeftButton);
        EXPECT_EQ(ReadFileBytes(Ini()), before);
        ASSERT_EQ(m_ui->Messages().size(), 1u);
        EXPECT_EQ(manager->RoiListBox()->count(), 100);
    }
    EXPECT_NE(m_ui->Messages()[0].text.find("100 ROIs"), std::string::npos);

    Fill(manager, "r7", "9", "9", "9", "9");
    manager->OnTimer(ROIManager::kEditTimer);
    QTest::mouseClick(manager->SaveButton(), Qt::LeftButton);
    EXPECT_NE(ReadFileBytes(Ini()).find("item7=\"r7\",9,9,9,9\r\n"), std::string::npos);
}

// A save that cannot reach the file is reported, and the list box shows only what the file holds.
TEST_F(ROIManagerTest, AFailedSaveIsReported)
{
    ROIManager manager(m_dir.file("no such folder/Plexorin.ini"));
    manager.show();
    Fill(&manager, "New", "1", "2", "3", "4");
    manager.OnTimer(ROIManager::kEditTimer);
    QTest::mouseClick(manager.SaveButton(), Qt::LeftButton);
    ASSERT_EQ(m_ui->Messages().size(), 1u);
    EXPECT_NE(m_ui->Messages()[0].text.find("could not be written"), std::string::npos);
    EXPECT_EQ(manager.RoiListBox()->count(), 0);
    EXPECT_EQ(manager.List().GetCount(), 0);
    EXPECT_NE(ErrorLogText(m_dir.str()).find("could not be written"), std::string::npos);
}

// Another part changes the active ROI: the four fields show it at once; the name is left alone.
TEST_F(ROIManagerTest, ShowsTheActiveRoi)
{
    EXPECT_FALSE(RoiTools().ShowCurrentRoi());
    ROIManager *manager = OpenManager();
    ASSERT_NE(manager, nullptr);
    EXPECT_FALSE(RoiTools().ShowCurrentRoi());
    manager->Edit(ROIManager::kNameEdit)->setText("kept");
    _active_roi.Set(ImageRect{11, 22, 33, 44});
    EXPECT_TRUE(RoiTools().ShowCurrentRoi());
    EXPECT_EQ(Field(manager, ROIManager::kLeftEdit), "11");
    EXPECT_EQ(Field(manager, ROIManager::kTopEdit), "22");
    EXPECT_EQ(Field(manager, ROIManager::kRightEdit), "33");
    EXPECT_EQ(Field(manager, ROIManager::kBottomEdit), "44");
    EXPECT_EQ(Field(manager, ROIManager::kNameEdit), "kept");
}

// A script's ROI command runs on its own thread: the fields are written on the user-interface
// thread, which the call waits for.
TEST_F(ROIManagerTest, ShowCurrentRoiFromAnotherThread)
{
    ROIManager *manager = OpenManager();
    ASSERT_NE(manager, nullptr);
    std::shared_ptr<platform::gui::QtUserInterface> qtUi = platform::gui::QtUserInterface::Install();
    _active_roi.Set(ImageRect{7, 8, 9, 10});
    std::atomic<bool> done{false};
    bool shown = false;
    Qt::HANDLE writer = nullptr;
    QObject::connect(manager->Edit(ROIManager::kLeftEdit), &QLineEdit::textChanged, manager,
                     [&] { writer = QThread::currentThreadId(); });
    std::thread script([&] {
        shown = RoiTools().ShowCurrentRoi();
        done = true;
    });
    const bool finished = RunEventLoopUntil([&] { return done.load(); });
    script.join();
    platform::ui::SetUi(std::shared_ptr<platform::ui::UserInterface>(m_ui.operator->(), [](auto *) {}));
    ASSERT_TRUE(finished);
    EXPECT_TRUE(shown);
    EXPECT_EQ(writer, QThread::currentThreadId());
    EXPECT_EQ(Field(manager, ROIManager::kLeftEdit), "7");
    EXPECT_EQ(Field(manager, ROIManager::kBottomEdit), "10");
}

// The window is hidden and shown again, never destroyed; its fields and list stay.
TEST_F(ROIManagerTest, HidingKeepsTheWindow)
{
    WriteRoiLines("item0=\"A\",1,2,3,4\r\n");
    ROIManager *manager = OpenManager();
    ASSERT_NE(manager, nullptr);
    SelectRow(manager->RoiListBox(), "A");
    manager->close();
    EXPECT_FALSE(RoiTools().RoiManager().IsVisible());
    EXPECT_TRUE(RoiTools().RoiManager().HasWindow());
    RoiTools().RoiManager().Show(true);
    EXPECT_EQ(m_windows->Manager(), manager);
    EXPECT_EQ(Field(manager, ROIManager::kNameEdit), "A");
    EXPECT_EQ(manager->RoiListBox()->count(), 1);
}

} // namespace
} // namespace vantelis::test
