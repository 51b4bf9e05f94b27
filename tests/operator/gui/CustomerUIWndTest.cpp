// The operator screen's window: placement on both screen sizes, following the model that a script
// thread drives, and handing clicks and typing back to it.
#include "operator/gui/CustomerUIWnd.h"
#include "operator/gui/CustomerUIWindowFixture.h"

#include "Ostravo/CachedLog.h"
#include "Ostravo/LogError.h"
#include "app/PlexorinApp.h"
#include "app/RenderList.h"
#include "support/FakeUi.h"
#include "support/TempDir.h"
#include "support/gui/EventLoop.h"

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

#include <thread>

namespace {

using namespace std::chrono_literals;
using vantelis::test::RunEventLoopUntil;

class CustomerUIWndTest : public vantelis::test::CustomerUIWindowFixture
{
  protected:
    static void Shot(QWidget &window, const char *name)
    {
        window.grab().save(QString("/tmp/shots/%1.png").arg(name));
    }

    std::shared_ptr<CustomerUIShared> m_shared = std::make_shared<CustomerUIShared>();
};

TEST_F(CustomerUIWndTest, PlacedByTheDesktopSize)
{
    const struct
    {
        int desktopW, desktopH;
        QRect geometry; // the client area: one less than the screen each way
        const char *shot;
    } cases[] = {
        {1920, 1080, QRect(0, 0, 1919, 1079), "customer_ui_large"},
        {1919, 1200, QRect(159, 150, 1599, 899), "customer_ui_small"},
    };
    for (const auto &c : cases) {
        CustomerUI screen;
        CustomerUIWnd window(screen, m_shared, c.desktopW, c.desktopH);
        EXPECT_EQ(window.geometry(), c.geometry) << c.shot;
        const CustomerUIData d = screen.Snapshot();
        EXPECT_EQ(d.clientWidth, c.geometry.width());
        EXPECT_EQ(d.clientHeight, c.geometry.height());
        std::string error;
        ASSERT_TRUE(screen.SetState(Login, error));
        screen.SetEditText(1, "operator");
        ASSERT_TRUE(
            RunEventLoopUntil([&] { return window.isVisible() && window.InputEdit(0)->isVisible(); }));
        EXPECT_EQ(window.InputEdit(0)->text(), "operator");
        screen.ShowTimedMessage("Password must be at least 4 characters.", 5);
        QTest::qWait(50);
        Shot(window, c.shot);
    }
}

TEST_F(CustomerUIWndTest, AScriptThreadShowsTheScreenAndAClickOnNextReleasesIt)
{
    CustomerUI screen;
    CustomerUIWnd window(screen, m_shared, 1920, 1080);
    ASSERT_FALSE(window.isVisible());
    std::string released;
    std::thread script([&] {
        std::string error;
        screen.ClearStateData();
        screen.SetInput(0, "Sample name", "S-17", 12);
        if (!screen.SetState(PromptForInput, error))
            return;
        std::string text;
        if (screen.WaitForEvent(20s, text))
            released = text;
    });
    ASSERT_TRUE(RunEventLoopUntil([&] { return window.isVisible() && window.InputEdit(0)->isVisible(); }));
    EXPECT_EQ(window.InputEdit(0)->text(), "S-17");
    EXPECT_FALSE(window.InputEdit(1)->isVisible());
    // The operator types a new name, then clicks Next.
    window.InputEdit(0)->clear();
    QTest::keyClicks(window.InputEdit(0), "S-18");
    EXPECT_EQ(screen.Snapshot().editTexts[0], "S-18");
    QTest::qWait(150);
    Shot(window, "customer_ui_prompt_for_input");
    const CuiRect next = screen.Snapshot().buttonRects[0];
    QTest::mouseClick(&window, Qt::LeftButton, Qt::NoModifier,
                      QPoint((next.left + next.right) / 2, (next.top + next.bottom) / 2));
    script.join();
    EXPECT_EQ(released, "Next");
}

TEST_F(CustomerUIWndTest, AScriptSetTextReachesTheEditThatHasTheFocus)
{
    CustomerUI screen;
    CustomerUIWnd window(screen, m_shared, 1920, 1080);
    std::string error;
    screen.SetInput(0, "Report name", "first", 12);
    ASSERT_TRUE(screen.SetState(PromptForInput, error));
    screen.SetVisible(true);
    ASSERT_TRUE(RunEventLoopUntil([&] { return window.InputEdit(0)->isVisible(); }));
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    window.InputEdit(0)->setFocus();
    ASSERT_TRUE(RunEventLoopUntil([&] { return window.InputEdit(0)->hasFocus(); }));
    QTest::keyClicks(window.InputEdit(0), "X");
    ASSERT_TRUE(RunEventLoopUntil([&] { return screen.Snapshot().editTexts[0] == "firstX"; }));
    QTest::qWait(50);
    EXPECT_EQ(window.InputEdit(0)->text(), "firstX") << "typing is left alone";
    // The script offers the next name while the operator is still in the edit.
    ASSERT_TRUE(window.InputEdit(0)->hasFocus());
    screen.SetInput(0, "Report name", "second", 12);
    RunEventLoopUntil(
        [&] { return window.InputEdit(0)->text() == "second" || !window.InputEdit(0)->hasFocus(); });
    EXPECT_TRUE(window.InputEdit(0)->hasFocus());
    EXPECT_EQ(window.InputEdit(0)->text(), "second");
}

TEST_F(CustomerUIWndTest, LiveVideoShowsTheActiveExposureCombosAndTheOffBoxes)
{
    CustomerUI screen;
    CustomerUIWnd window(screen, m_shared, 1920, 1080);
    std::string error;
    ASSERT_TRUE(screen.SetState(ShowVideo, error));
    // No script runs here: the script watch would hide the screen a second after it was shown,
    // before a slow machine gets to the click below.
    screen.KillTimer(CUI_TIMER_SCRIPT_WATCH);
    ASSERT_TRUE(RunEventLoopUntil([&] { return window.isVisible() && window.DisplayRadio(0)->isVisible(); }));
    screen.KillTimer(CUI_TIMER_SCRIPT_WATCH);
    EXPECT_TRUE(window.ExposureCombo(0)->isVisible());
    EXPECT_FALSE(window.ExposureCombo(1)->isVisible()) << "IsActive2 is FALSE";
    EXPECT_TRUE(window.ExposureCombo(2)->isVisible());
    EXPECT_EQ(window.ExposureCombo(0)->currentText(), "300");
    EXPECT_EQ(window.ExposureCombo(0)->itemText(1), " 100");
    screen.StartCountdown(90000, true);
    QTest::qWait(150);
    Shot(window, "customer_ui_show_video");

    // A click on combo 2's "OFF" box turns the type on again with its stored exposure.
    const QRect off = window.ExposureCombo(1)->geometry();
    QTest::mouseClick(&window, Qt::LeftButton, Qt::NoModifier, off.center());
    ASSERT_TRUE(RunEventLoopUntil([&] { return window.ExposureCombo(1)->isVisible(); }));
    EXPECT_EQ(window.ExposureCombo(1)->currentText(), "750");
    EXPECT_EQ(vantelis::test::ReadFileBytes(theApp.m_ini_path).find("IsActive2=FALSE"), std::string::npos);
}

TEST_F(CustomerUIWndTest, TheServicesWindowFeedsTheCheckedIntensityControl)
{
    CustomerUI screen;
    CustomerUIWindow link(screen);
    EXPECT_FALSE(link.HasWindow());
    ASSERT_TRUE(link.Create(false));
    EXPECT_TRUE(link.HasWindow());
    EXPECT_FALSE(link.IsVisible());
    ASSERT_NE(link.LiveImageTarget(), nullptr);
    EXPECT_TRUE(link.LiveImageTarget()->IsWindow());
    const uint16_t values[] = {100, 200, 300, 4000};
    uint16_t lower = 1, upper = 1;
    std::string error;
    ASSERT_TRUE(link.FeedHistogram(values, 4, lower, upper, error)) << error;
    EXPECT_EQ(lower, 0) << "the markers of a fresh control span the whole range";
    EXPECT_EQ(upper, 65535);
    link.Show(true);
    EXPECT_TRUE(link.IsVisible());
    EXPECT_TRUE(screen.Snapshot().visible);
    EXPECT_EQ(screen.Timers().count(CUI_TIMER_SCRIPT_WATCH), 1u) << "showing starts the script watch";
}

TEST_F(CustomerUIWndTest, BrowseBoxesAndTheKeyboard)
{
    auto ui = std::make_shared<vantelis::test::FakeUi>();
    std::shared_ptr<platform::ui::UserInterface> oldUi = platform::ui::SetUi(ui);
    CustomerUI screen;
    CustomerUIWnd window(screen, m_shared, 1920, 1080);
    std::string error;
    ASSERT_TRUE(screen.SetInput(0, "Settings", "", 20));
    ASSERT_TRUE(screen.SetInput(1, "Other", "keep.ini", 20));
    ASSERT_TRUE(screen.SetState(PromptForFilename, error));
    ASSERT_TRUE(
        RunEventLoopUntil([&] { return window.isVisible() && screen.Snapshot().browseRects[1].right > 0; }));
    QTest::qWait(150);
    Shot(window, "customer_ui_prompt_for_filename");
    const CustomerUIData d = screen.Snapshot();
    auto centre = [](const CuiRect &r) { return QPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2); };

    ui->QueueAnswer(true, "/data/Exp.ini");
    QTest::mouseClick(&window, Qt::LeftButton, Qt::NoModifier, centre(d.browseRects[0]));
    QTest::mouseClick(&window, Qt::LeftButton, Qt::NoModifier, centre(d.browseRects[1])); // cancelled
    ASSERT_EQ(ui->Requests().size(), 2u);
    EXPECT_EQ(ui->Requests()[0].kind, "open");
    EXPECT_EQ(ui->Requests()[0].title, "Select Experiment Setting File");
    EXPECT_EQ(screen.Snapshot().editTexts[0], "/data/Exp.ini");
    EXPECT_EQ(screen.Snapshot().editTexts[1], "keep.ini");

    // Enter does nothing; Esc asks, and No keeps the screen.
    std::string text;
    QTest::keyClick(&window, Qt::Key_Return);
    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(screen.WaitForEvent(0ms, text));
    ASSERT_EQ(ui->Messages().size(), 1u);
    EXPECT_EQ(ui->Messages()[0].text, "Are you sure that you want to close this window?");
    ui->QueueMessageAnswer(platform::ui::IdYes);
    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(screen.Snapshot().visible);
    platform::ui::SetUi(oldUi);
}

} // namespace
