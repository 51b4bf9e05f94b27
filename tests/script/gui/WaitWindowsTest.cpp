// The countdown, the inform-operator window, the variable watch, the font table, and the exit of
// the program while scripts wait in these windows.
#include "ScriptWindowsFixture.h"

#include "script/Arguments.h"
#include "script/CommandTable.h"
#include "script/ScriptWaitWindows.h"
#include "script/gui/FontTable.h"
#include "script/gui/InformOperatorDlg.h"
#include "script/gui/QtScriptDialogHost.h"
#include "script/gui/ScriptWindows.h"
#include "script/gui/VariableWatchDlg.h"
#include "script/gui/WaitWithTimerDlg.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace vantelis::test {
namespace {

TEST(WaitTimeText, SecondsRoundHalfAwayFromZeroAndMinutesAreNotCapped)
{
    const struct
    {
        uint64_t ms;
        const char *text;
    } cases[] = {{0, "00:00"},     {499, "00:00"},   {500, "00:01"},     {1499, "00:01"},
                 {59500, "01:00"}, {65000, "01:05"}, {3599499, "59:59"}, {36000000, "600:00"}};
    for (const auto &c : cases)
        EXPECT_EQ(WaitWithTimerDlg::FormatWaitTime(c.ms), c.text) << c.ms;
}

class WaitWithTimerTest : public ScriptWindowsFixture
{
  protected:
    void Show(const std::string &text, int32_t seconds, int32_t countUp)
    {
        m_dialog.m_text = text;
        m_dialog.m_seconds = seconds;
        m_dialog.m_count_up = countUp;
        m_dialog.show();
    }
    WaitWithTimerDlg m_dialog;
};

TEST_F(WaitWithTimerTest, CountsDownOnTheMonotonicClockAndClosesWhenTheTimeIsUp)
{
    platform::SetFakeClock({2024, 3, 7, 4, 9, 5, 3, 0}, 5000000);
    Show("Priming the channel", 65, 0);
    EXPECT_EQ(m_dialog.TimeText(), "01:05");
    EXPECT_EQ(m_dialog.MessageText(), "Priming the channel");
    EXPECT_TRUE(m_dialog.TimerRunning());

    platform::AdvanceFakeClock(950);
    m_dialog.OnTimer();
    EXPECT_EQ(m_dialog.TimeText(), "01:04"); // 64.05 s left
    platform::AdvanceFakeClock(63600);       // 450 ms left: no time shown, still open
    m_dialog.OnTimer();
    EXPECT_EQ(m_dialog.TimeText(), "");
    EXPECT_TRUE(m_dialog.isVisible());
    platform::AdvanceFakeClock(300); // 150 ms left
    m_dialog.OnTimer();
    EXPECT_FALSE(m_dialog.isVisible());
    EXPECT_FALSE(m_dialog.TimerRunning());
    EXPECT_EQ(m_dialog.result(), 1);
}

TEST_F(WaitWithTimerTest, CountingUpShowsTheElapsedTimeAndAnEmptyTextKeepsTheMessage)
{
    platform::SetFakeClock({2024, 3, 7, 4, 9, 5, 3, 0}, 5000000);
    Show("First", 10, 0);
    m_dialog.OnBnClickedContinue();
    EXPECT_FALSE(m_dialog.isVisible());
    EXPECT_FALSE(m_dialog.TimerRunning());

    Show("", 10, 1);
    EXPECT_EQ(m_dialog.MessageText(), "First");
    EXPECT_EQ(m_dialog.TimeText(), "00:00");
    platform::AdvanceFakeClock(2100);
    m_dialog.OnTimer();
    EXPECT_EQ(m_dialog.TimeText(), "00:02");
    m_dialog.hide();

    Show("Long wait", 36000, 0);
    EXPECT_EQ(m_dialog.TimeText(), "600:00");
    Screenshot(&m_dialog, "WaitWithTimerDlg");
}

TEST_F(ScriptWindowsFixture, InformOperatorCountsItsSecondsDownOrStaysUntilClosed)
{
    InformOperatorDlg dialog;
    dialog.Inform("Insert the cartridge", 3);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.MessageText(), "Insert the cartridge");
    EXPECT_EQ(dialog.TimerInterval(), 1000);
    Screenshot(&dialog, "InformOperatorDlg");
    dialog.OnTimer();
    dialog.OnTimer();
    EXPECT_TRUE(dialog.isVisible());
    dialog.OnTimer();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_FALSE(dialog.TimerRunning());

    dialog.Inform("Until closed", -1);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_FALSE(dialog.TimerRunning());
    dialog.OnTimer(); // a negative count is never counted
    EXPECT_TRUE(dialog.isVisible());
    dialog.findChild<QPushButton *>()->click();
    EXPECT_FALSE(dialog.isVisible());

    dialog.Inform("Gone at once", 0);
    EXPECT_EQ(dialog.TimerInterval(), 0);
    dialog.OnTimer();
    EXPECT_FALSE(dialog.isVisible());
}

TEST(FormatVariableValueTest, EachTypeHasItsText)
{
    Variable i;
    i.type = kVariableInt;
    i.integer = -2147483647 - 1;
    Variable d;
    d.type = kVariableDouble;
    d.number = 2.0;
    Variable f;
    f.type = kVariableDouble;
    f.number = 0.125;
    Variable s;
    s.type = kVariableString;
    s.text.Assign("a\tb");
    Variable unset;
    const struct
    {
        const Variable *variable;
        bool ok;
        const char *text;
    } cases[] = {{&i, true, "-2147483648"},
                 {&d, true, "2"},
                 {&f, true, "0.125"},
                 {&s, true, "a\tb"},
                 {&unset, false, ""}};
    for (const auto &c : cases) {
        std::string text = "old";
        EXPECT_EQ(FormatVariableValue(*c.variable, text), c.ok);
        EXPECT_EQ(text, c.text);
    }
}

Variable MakeInt(const char *name, int32_t value)
{
    Variable v;
    v.type = kVariableInt;
    v.name.Assign(name);
    v.integer = value;
    return v;
}

// A handle-0 script held on its first line, so the watch sees a running fluidic script.
class HeldRun
{
  public:
    explicit HeldRun(const std::string &path)
    {
        WriteFileBytes(path, "Wait(1);\n");
        EString error;
        m_started = Script::RunScript(0, path.c_str(), error) && m_held.m_entered.Wait(20000);
    }
    ~HeldRun()
    {
        m_held.m_release.Set();
        ShutdownScriptRuntime();
    }
    bool m_started = false;

  private:
    HeldCommand m_held; // unregistered after the shutdown
};

TEST_F(ScriptWindowsFixture, TheVariableWatchShowsTheChosenFluidicVariablesOncePerSecond)
{
    platform::SetFakeClock({2024, 3, 7, 4, 9, 5, 3, 0}, 5000000);
    VariableWatchDlg dialog;
    dialog.show();
    // No fluidic script runs: every control is disabled.
    EXPECT_FALSE(dialog.IsControlEnabled(VariableWatchDlg::kWatchAllId));
    EXPECT_FALSE(dialog.Combo(1)->isEnabled());

    HeldRun run(m_dir.file("held.scr"));
    ASSERT_TRUE(run.m_started);
    VariableList first{MakeInt("Count", 1), MakeInt("Total", 10), MakeInt("Rate", 100)};
    // The operator screen's variables are not handed over.
    dialog.UpdateVariables(1, first);
    dialog.OnBnClickedWatchAll();
    EXPECT_EQ(dialog.Combo(1)->currentText(), "");

    dialog.UpdateVariables(0, first);
    dialog.OnBnClickedWatchAll();
    const std::vector<std::string> expected = {"Count", "Total", "Rate", "", "", "", "", "", "", ""};
    for (int slot = 1; slot <= 10; ++slot)
        EXPECT_EQ(dialog.Combo(slot)->currentText().toStdString(), expected[static_cast<size_t>(slot - 1)]);
    dialog.Combo(1)->setEditText("count"); // case is ignored
    dialog.Combo(4)->setEditText("Missing");
    dialog.Value(4)->setText("kept");
    dialog.RefreshValues();
    EXPECT_TRUE(dialog.IsControlEnabled(VariableWatchDlg::kWatchAllId));
    EXPECT_EQ(dialog.Value(1)->text(), "1");
    EXPECT_EQ(dialog.Value(2)->text(), "10");
    EXPECT_EQ(dialog.Value(4)->text(), "kept");

    // Within the second no new copy is taken; after it, one is.
    dialog.UpdateVariables(0, VariableList{MakeInt("Count", 2)});
    dialog.RefreshValues();
    EXPECT_EQ(dialog.Value(1)->text(), "1");
    platform::AdvanceFakeClock(1000);
    dialog.UpdateVariables(0, VariableList{MakeInt("Count", 3)});
    dialog.Combo(2)->setEditText("");
    dialog.RefreshValues();
    EXPECT_EQ(dialog.Value(1)->text(), "3");
    EXPECT_EQ(dialog.Value(2)->text(), ""); // an emptied slot clears its box

    // The drop-down offers the names of the last hand-over, sorted; the typed text stays.
    dialog.OnCbnDropdownVariable(3);
    ASSERT_EQ(dialog.Combo(3)->count(), 1);
    EXPECT_EQ(dialog.Combo(3)->itemText(0), "Count");
    EXPECT_EQ(dialog.Combo(3)->currentText(), "Rate");
    Screenshot(&dialog, "VariableWatchDlg");
}

TEST(FontTableTest, EveryNamedFamilyMapsToAnInstalledFamily)
{
    ASSERT_EQ(ScriptFontTable().size(), 3u);
    for (const FontTableEntry &entry : ScriptFontTable()) {
        SCOPED_TRACE(entry.designed);
        EXPECT_TRUE(QFontDatabase::hasFamily(QString::fromLatin1(entry.installed)))
            << entry.installed << " is not installed (scripts/deps)";
        EXPECT_EQ(MappedFontFamily(entry.designed), QString::fromLatin1(entry.installed));
        // The font drawn is that family (a foundry may be named behind it).
        const QString drawn = QFontInfo(MappedFont(entry.designed, 14)).family();
        EXPECT_TRUE(drawn.startsWith(QString::fromLatin1(entry.installed))) << drawn.toStdString();
    }
    EXPECT_EQ(MappedFontFamily("century gothic"), "URW Gothic");
    EXPECT_EQ(MappedFontFamily("DejaVu Sans"), "DejaVu Sans");
}

// The program's windows with the runtime: a countdown, a failure box and a prompt are all left
// behind cleanly when the program exits.
TEST_F(ScriptWindowsFixture, TheExitReleasesScriptsInCountdownsAndFailureBoxesAndClosesTheirWindows)
{
    auto windows = InstallScriptWindows();
    ASSERT_TRUE(windows->WaitWithTimer().Create(false));
    // WaitWithTimer as the command drives the window.
    RegisterCommandHandler(cmd::WaitWithTimer, [](Script &instance, const char *arguments,
                                                  VariableList &variables, bool checkOnly, EString &error) {
        const char *cursor = arguments;
        int32_t seconds = 0;
        if (!ReadArgumentListStart(cursor, error) ||
            !GetIntParameter(1, cursor, seconds, error, &variables, nullptr))
            return false;
        if (!checkOnly)
            RunCountdown(instance, "Waiting for the pump", seconds, 0);
        return true;
    });
    // A command that fails, so the failure box opens.
    RegisterCommandHandler(cmd::PlaySound,
                           [](Script &, const char *, VariableList &, bool checkOnly, EString &error) {
                               if (checkOnly)
                                   return true;
                               error.Assign("no sound here");
                               return false;
                           });
    std::filesystem::create_directories(m_dir.path() / "CustomerUI" / "Includes");
    const std::string countdown = m_dir.file("countdown.scr");
    WriteFileBytes(countdown, "WaitWithTimer(36000);\nPlaySound(1);\n");
    const std::string failing = m_dir.file("failing.scr");
    WriteFileBytes(failing, "PlaySound(1);\n");

    EString error;
    ASSERT_TRUE(Script::RunScript(0, countdown.c_str(), error)) << error.c_str();
    ASSERT_TRUE(Script::RunScript(1, failing.c_str(), error)) << error.c_str();
    WaitWithTimerDlg *wait = windows->WaitWithTimerDialog();
    ASSERT_NE(wait, nullptr);
    ASSERT_TRUE(
        RunEventLoopUntil([&] { return wait->isVisible() && !windows->DialogHost()->OpenBoxes().empty(); }));
    EXPECT_EQ(wait->TimeText(), "600:00");
    EXPECT_EQ(wait->MessageText(), "Waiting for the pump");
    QMessageBox *box = windows->DialogHost()->OpenBoxes().front();
    EXPECT_EQ(box->text(), "PlaySound(1); : no sound here");
    Screenshot(wait, "WaitWithTimerDlg-running");

    windows->Uninstall();
    EXPECT_TRUE(ScriptInstanceList().empty());
    EXPECT_TRUE(
        RunEventLoopUntil([&] { return !wait->isVisible() && windows->DialogHost()->OpenBoxes().empty(); }));
    // Only the failing script's line failed: the waiting one ran nothing past its wait.
    const std::string log = ErrorLog();
    const size_t first = log.find("PlaySound(1); : no sound here");
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(log.find("PlaySound(1); : no sound here", first + 1), std::string::npos);
    RegisterCommandHandler(cmd::WaitWithTimer, nullptr);
    RegisterCommandHandler(cmd::PlaySound, nullptr);
}

TEST_F(ScriptWindowsFixture, ACountdownOfAStoppedScriptIsEndedAndTheRunGoesNoFurther)
{
    auto windows = InstallScriptWindows();
    const std::string path = m_dir.file("stop.scr");
    CountdownScript countdown(path, "", 600, 1);
    EString error;
    ASSERT_TRUE(Script::RunScript(0, path.c_str(), error)) << error.c_str();
    ASSERT_TRUE(windows->WaitWithTimer().Create(false));
    WaitWithTimerDlg *wait = windows->WaitWithTimerDialog();
    ASSERT_TRUE(RunEventLoopUntil([&] { return wait->isVisible(); }));
    EXPECT_TRUE(Script::StopScript(0));
    EXPECT_TRUE(RunEventLoopUntil([&] { return !wait->isVisible() && !ScriptInstanceExists(0); }));
    EXPECT_EQ(countdown.after.load(), 0);
    windows->Uninstall();
}

} // namespace
} // namespace vantelis::test
