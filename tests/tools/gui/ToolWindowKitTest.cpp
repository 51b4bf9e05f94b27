#include "support/TempDir.h"
#include "support/gui/EventLoop.h"

#include "platform/gui/QtUserInterface.h"
#include "tools/gui/FillImageFileList.h"
#include "tools/gui/ToolWindowKit.h"

#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace vantelis::test {
namespace {

class CountingWindow : public ToolWindow
{
  public:
    CountingWindow() : ToolWindow("Kit") {}
    std::vector<int> fired;

  protected:
    void OnTimer(int id) override { fired.push_back(id); }
};

TEST(ToolWindowKit, ControlsAreFoundByIdInAnyWindow)
{
    CountingWindow window;
    auto *edit = window.AddControl(1216, new QLineEdit(&window));
    auto *nested = new QWidget(&window);
    auto *list = window.AddControl(1221, new QListWidget(nested));
    EXPECT_EQ(window.Control(1216), edit);
    EXPECT_EQ(FindControl(&window, 1221), list);
    EXPECT_EQ(window.ControlAs<QListWidget>(1216), nullptr); // the wrong kind
    EXPECT_EQ(FindControl(&window, 9999), nullptr);
    EXPECT_EQ(ControlId(list), 1221);
    EXPECT_EQ(ControlId(nested), 0);

    window.SetControlText(1216, "caf\xe9");
    EXPECT_EQ(window.ControlText(1216), "caf\xe9"); // 8-bit text survives
    EXPECT_EQ(window.ControlText(4242), "");
    EXPECT_FALSE(window.IsChecked(1216));
}

TEST(ToolWindowKit, TimersFireOnceAfterTheLastRestart)
{
    CountingWindow window;
    for (int i = 0; i < 5; ++i) {
        window.RestartTimer(7, 80);
        QTest::qWait(20);
    }
    window.RestartTimer(8, 0);
    EXPECT_EQ(window.TimerInterval(7), 80);
    ASSERT_TRUE(RunEventLoopUntil([&] { return window.fired.size() == 2; }));
    QTest::qWait(200);
    EXPECT_EQ(window.fired, (std::vector<int>{8, 7}));
    EXPECT_FALSE(window.TimerActive(7));
    EXPECT_EQ(window.TimerInterval(7), -1);

    window.RestartTimer(9, 30);
    window.KillTimer(9);
    QTest::qWait(80);
    EXPECT_EQ(window.fired.size(), 2u);
}

TEST(ToolWindowKit, WorkersReportOnTheGuiThreadAndStopOnTheirFlag)
{
    std::shared_ptr<platform::gui::QtUserInterface> ui = platform::gui::QtUserInterface::Install();
    auto window = std::make_unique<CountingWindow>();
    window->AddControl(1, new QLineEdit(window.get()));
    StopFlag stop{false};
    std::thread::id reportedOn;
    int items = 0;
    std::thread worker([&] {
        QPointer<QWidget> target(window.get());
        while (!stop.load()) {
            ++items;
            PostToWindow(target, [&, n = items] {
                reportedOn = std::this_thread::get_id();
                static_cast<CountingWindow *>(window.get())->SetControlText(1, "item " + std::to_string(n));
            });
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    ASSERT_TRUE(RunEventLoopUntil([&] { return !window->ControlText(1).empty(); }));
    stop = true;
    worker.join();
    EXPECT_EQ(reportedOn, std::this_thread::get_id());
    ASSERT_TRUE(RunEventLoopUntil([&] { return window->ControlText(1) == "item " + std::to_string(items); }));

    // A report that arrives after its window has gone is dropped.
    QPointer<QWidget> gone(window.get());
    bool ran = false;
    std::thread late([&] { PostToWindow(gone, [&] { ran = true; }); });
    late.join();
    window.reset();
    QCoreApplication::processEvents();
    EXPECT_FALSE(ran);
    platform::ui::SetUi(nullptr);
}

TEST(ToolWindowKit, TheImageListShowsTheFilesOfFolderAndFilter)
{
    TempDir dir;
    for (const char *name : {"b.png", "A.png", "c.PNG", "x.tif"})
        WriteFileBytes(dir.file(name), "x");
    CountingWindow window;
    window.AddControl(1216, new QLineEdit(&window));
    window.AddControl(1217, new QLineEdit(&window));
    auto *list = window.AddControl(1221, new QListWidget(&window));
    list->addItem("stale");
    window.SetControlText(1216, " " + dir.str() + " ");
    window.SetControlText(1217, "*.png");
    EXPECT_TRUE(FillImageFileList(&window));
    std::vector<std::string> shown;
    for (int i = 0; i < list->count(); ++i)
        shown.push_back(list->item(i)->text().toStdString());
    EXPECT_EQ(shown, (std::vector<std::string>{"A.png", "b.png", "c.PNG"}));

    window.SetControlText(1217, "");
    EXPECT_FALSE(FillImageFileList(&window));
    EXPECT_EQ(list->count(), 0);
}

} // namespace
} // namespace vantelis::test
