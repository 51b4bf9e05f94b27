#include "platform/Ui.h"
#include "platform/Sync.h"
#include "support/FakeUi.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace platform;
using namespace platform::ui;
using vantelis::test::FakeUi;
using vantelis::test::ScopedFakeUi;

TEST(Ui, HeadlessInterfaceWritesMessagesAndTakesTheHarmlessAnswer)
{
    ASSERT_EQ(SetUi(nullptr), nullptr) << "no interface installed at the start";
    struct Case
    {
        uint32_t flags;
        int answer;
    } cases[] = {
        {MbOk | MbIconError, IdOk},
        {MbOkCancel, IdCancel},
        {MbYesNo | MbIconQuestion, IdNo},
        {MbYesNoCancel | MbIconWarning, IdCancel},
    };
    for (const Case &c : cases) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(MessageBox("Overwrite the file?", "Vantelis", c.flags), c.answer) << c.flags;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "Vantelis: Overwrite the file?\n");
    }
    std::string chosen = "unchanged";
    EXPECT_FALSE(Ui().BrowseForFolder("Pick", "/tmp", chosen));
    EXPECT_FALSE(Ui().ChooseOpenFile("Open", "/tmp", "All (*)", chosen));
    EXPECT_FALSE(Ui().ChooseSaveFile("Save", "/tmp", "All (*)", chosen));
    EXPECT_FALSE(Ui().Prompt("Name", "Enter", chosen));
    EXPECT_EQ(chosen, "unchanged");
    bool ran = false;
    Ui().RunOnGuiThread([&] { ran = true; }, true);
    EXPECT_TRUE(ran);
}

TEST(Ui, HeadlessTimersTickUntilStopped)
{
    std::atomic<int> ticks{0};
    std::atomic<bool> stopped{false};
    std::atomic<bool> tickedAfterStop{false};
    Event thirdTick(true);
    Ui().StartTimer(7, 1, [&] {
        if (stopped)
            tickedAfterStop = true;
        if (++ticks == 3)
            thirdTick.Set();
    });
    ASSERT_TRUE(thirdTick.Wait(10000));
    Ui().StopTimer(7);
    stopped = true;
    SleepMs(30);
    EXPECT_FALSE(tickedAfterStop) << "no tick runs once StopTimer has returned";

    // Restarting an id replaces its callback; a tick may stop its own timer.
    Event replaced(true);
    Ui().StartTimer(8, 1, [] {});
    Ui().StartTimer(8, 1, [&] {
        Ui().StopTimer(8);
        replaced.Set();
    });
    EXPECT_TRUE(replaced.Wait(10000));
}

TEST(FakeUi, RecordsWhatWasShownAndAnswersAsScripted)
{
    ScopedFakeUi fake;
    EXPECT_EQ(&Ui(), &*fake);

    fake->QueueMessageAnswer(IdYes);
    EXPECT_EQ(MessageBox("Delete 3 files?", "Scripts", MbYesNo | MbIconQuestion), IdYes);
    EXPECT_EQ(MessageBox("Delete again?", "Scripts", MbYesNo), IdNo) << "queue empty: the default";
    EXPECT_EQ(MessageBox("Done"), IdOk);
    EXPECT_EQ(MessageBox("Go on?", "Vantelis", MbOkCancel), IdCancel);
    auto messages = fake->Messages();
    ASSERT_EQ(messages.size(), 4u);
    EXPECT_EQ(messages[0].text, "Delete 3 files?");
    EXPECT_EQ(messages[0].caption, "Scripts");
    EXPECT_EQ(messages[0].flags, uint32_t(MbYesNo | MbIconQuestion));
    EXPECT_EQ(messages[2].caption, "Vantelis");

    fake->QueueAnswer(true, "/data/Images");
    fake->QueueAnswer(false);
    std::string chosen = "start";
    EXPECT_TRUE(Ui().BrowseForFolder("Image folder", "/data", chosen));
    EXPECT_EQ(chosen, "/data/Images");
    EXPECT_FALSE(Ui().ChooseOpenFile("Open", "/data", "Images (*.png)", chosen));
    EXPECT_EQ(chosen, "/data/Images") << "a cancelled picker leaves the value";
    EXPECT_FALSE(Ui().Prompt("Name", "New name:", chosen));
    auto requests = fake->Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[1].kind, "open");
    EXPECT_EQ(requests[1].filter, "Images (*.png)");
    EXPECT_EQ(requests[2].kind, "prompt");
    EXPECT_EQ(requests[2].start, "New name:");

    Ui().SetStatusText("progress", "Processing 1 of 2");
    Ui().SetStatusText("other", "x");
    Ui().SetStatusText("progress", "Processing 2 of 2");
    EXPECT_EQ(fake->LastStatus("progress"), "Processing 2 of 2");
    EXPECT_EQ(fake->LastStatus("none"), "");
    EXPECT_EQ(fake->Statuses().size(), 3u);
}

TEST(FakeUi, RecordsCallsFromWorkerThreadsAndFiresTimersOnRequest)
{
    ScopedFakeUi fake;
    std::vector<std::thread> workers;
    for (int t = 0; t < 4; ++t)
        workers.emplace_back([t] {
            for (int i = 0; i < 50; ++i)
                Ui().SetStatusText("worker" + std::to_string(t), std::to_string(i));
        });
    for (auto &worker : workers)
        worker.join();
    EXPECT_EQ(fake->Statuses().size(), 200u);
    EXPECT_EQ(fake->LastStatus("worker3"), "49");

    int ticks = 0;
    Ui().StartTimer(3, 500, [&] { ++ticks; });
    EXPECT_TRUE(fake->TimerActive(3));
    EXPECT_EQ(fake->TimerInterval(3), 500u);
    EXPECT_TRUE(fake->FireTimer(3));
    EXPECT_TRUE(fake->FireTimer(3));
    EXPECT_EQ(ticks, 2);
    Ui().StopTimer(3);
    EXPECT_FALSE(fake->TimerActive(3));
    EXPECT_FALSE(fake->FireTimer(3));
    EXPECT_EQ(ticks, 2);
}

TEST(FakeUi, ScopeRestoresThePreviousInterface)
{
    UserInterface *before = &Ui();
    {
        ScopedFakeUi outer;
        {
            ScopedFakeUi inner;
            EXPECT_EQ(&Ui(), &*inner);
        }
        EXPECT_EQ(&Ui(), &*outer);
    }
    EXPECT_EQ(&Ui(), before);
}
