// The operator-screen scripts window: its start-up settings, its runs on handle 1 through the
// operator screen, and the end of an operator script with and without the window.
#include "script/gui/ScriptWindowsFixture.h"
#include "support/PostRecordingFramework.h"
#include "tools/gui/QueuedFakeUi.h"

#include "Ostravo/Profile.h"
#include "app/AppGlobals.h"
#include "app/GuiSeam.h"
#include "app/gui/DropDownCombo.h"
#include "operator/CustomerUI.h"
#include "operator/CustomerUIServices.h"
#include "operator/gui/CUIScriptsDlg.h"
#include "script/Script.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>

#include <atomic>
#include <mutex>

namespace vantelis::test {
namespace {

// Counts the writes of [CustomerUI] DefaultScript and lets them reach the file.
std::atomic<int> g_defaultScriptWrites{0};
bool CountDefaultScriptWrites(const char *section, const char *item, const char *, const char *)
{
    if (std::string(section) == "CustomerUI" && std::string(item) == "DefaultScript")
        ++g_defaultScriptWrites;
    return false;
}

constexpr int32_t kScriptTimers[] = {CUI_TIMER_COUNTDOWN, CUI_TIMER_PUMP_WATCH, CUI_TIMER_UNHIDE_NEXT,
                                     CUI_TIMER_UNHIDE_BACK};

class CUIScriptsDlgTest : public ScriptWindowsFixture
{
  protected:
    void SetUp() override
    {
        ScriptWindowsFixture::SetUp();
        // Work for the user-interface thread goes through a queue the thread sanitizer can follow.
        platform::ui::SetUi(m_queued);
        m_oldCustomerUi = theApp.m_customer_ui_directory.c_str();
        m_oldSettings = _settings_ini_path;
        theApp.m_customer_ui_directory.Assign(m_dir.file("CustomerUI").c_str());
        _settings_ini_path = m_dir.file("Plexorin.ini");
        m_oldFramework = SetFramework(m_framework);
        m_oldServices = InstallCustomerUIServices();
        theCustomerUI().Reset();
    }
    void TearDown() override
    {
        ScriptWindowsFixture::TearDown();
        UninstallCUIScriptsWindow();
        m_window.reset();
        theCustomerUI().Reset();
        InstallOperatorScreenServices(m_oldServices);
        SetFramework(m_oldFramework);
        ProfileWriteHook = nullptr;
        theApp.m_customer_ui_directory.Assign(m_oldCustomerUi.c_str());
        _settings_ini_path = m_oldSettings;
    }

    // The window as the program installs it, made as command 32854 makes it.
    CUIScriptsDlg *Dialog()
    {
        if (!m_window) {
            m_window = InstallCUIScriptsWindow();
            EXPECT_TRUE(m_window->Create(false));
        }
        return m_window->Dialog();
    }
    std::string WriteScript(const std::string &name, const std::string &text)
    {
        std::filesystem::create_directories(m_dir.path() / "CustomerUI" / "Scripts");
        const std::string path = m_dir.file("CustomerUI/Scripts/" + name);
        WriteFileBytes(path, text);
        return path;
    }
    void WriteSettings(const std::string &text) { WriteFileBytes(_settings_ini_path, text); }
    std::string Settings() const
    {
        return std::filesystem::exists(_settings_ini_path) ? ReadFileBytes(_settings_ini_path)
                                                           : std::string();
    }
    void Select(const std::string &name)
    {
        const auto items = Dialog()->List()->findItems(QString::fromStdString(name), Qt::MatchExactly);
        ASSERT_EQ(items.size(), 1);
        Dialog()->List()->setCurrentItem(items.first());
    }
    bool Enabled(int id) { return Dialog()->IsControlEnabled(id); }
    // Stop, Run, Edit, list.
    std::vector<bool> Buttons()
    {
        return {Enabled(ScriptsDlg::kStopId), Enabled(ScriptsDlg::kRunId), Enabled(ScriptsDlg::kEditId),
                Enabled(ScriptsDlg::kListId)};
    }
    static bool EventSignalled()
    {
        std::string text;
        return theCustomerUI().WaitForEvent(std::chrono::milliseconds(0), text);
    }
    // Puts the screen in the middle of a prompt: a state, the script timers armed, the event set.
    static void BusyScreen()
    {
        std::string error;
        ASSERT_TRUE(theCustomerUI().SetState(PromptInfo, error)) << error;
        for (int32_t id : kScriptTimers)
            theCustomerUI().ArmTimer(id, 1000);
        theCustomerUI().ArmTimer(CUI_TIMER_QUEUED_MESSAGE, 1000);
        theCustomerUI().SetEvent();
    }
    static void ExpectScreenReset()
    {
        EXPECT_EQ(theCustomerUI().State(), UndefinedState);
        const std::map<int32_t, int32_t> timers = theCustomerUI().Timers();
        for (int32_t id : kScriptTimers)
            EXPECT_EQ(timers.count(id), 0u) << id;
        EXPECT_EQ(timers.count(CUI_TIMER_QUEUED_MESSAGE), 1u) << "only the script's timers stop";
        EXPECT_FALSE(EventSignalled());
    }

    std::shared_ptr<QueuedFakeUi> m_queued = std::make_shared<QueuedFakeUi>();
    std::shared_ptr<PostRecordingFramework> m_framework = std::make_shared<PostRecordingFramework>();
    std::shared_ptr<AppFramework> m_oldFramework;
    std::shared_ptr<OperatorScreenServices> m_oldServices;
    std::shared_ptr<CUIScriptsWindow> m_window;
    std::string m_oldCustomerUi;
    std::string m_oldSettings;
};

TEST_F(CUIScriptsDlgTest, RunOnStartupTicksOnlyForTrueInAnyCaseAndIsWrittenBackExactly)
{
    const struct
    {
        const char *value;
        bool ticked;
    } cases[] = {{"true", true}, {"True", true}, {"TRUE", true}, {"yes", false}, {"1", false}, {"", false}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.value);
        WriteSettings(std::string("[CustomerUI]\r\nDefaultScript=Guided.scr\r\nRunOnStartup=") + c.value +
                      "\r\n");
        CUIScriptsDlg dialog;
        EXPECT_EQ(dialog.IsChecked(CUIScriptsDlg::kRunOnStartupId), c.ticked);
        EXPECT_EQ(dialog.ControlText(CUIScriptsDlg::kDefaultScriptId), "Guided.scr");
        EXPECT_FALSE(dialog.TimerActive(CUIScriptsDlg::CUISCRIPTS_TIMER_SAVE_SETTINGS))
            << "reading the settings in is no change";

        dialog.RunOnStartupBox()->click();
        EXPECT_EQ(dialog.TimerInterval(CUIScriptsDlg::CUISCRIPTS_TIMER_SAVE_SETTINGS), 1000);
        dialog.OnTimer(CUIScriptsDlg::CUISCRIPTS_TIMER_SAVE_SETTINGS);
        EXPECT_FALSE(dialog.TimerActive(CUIScriptsDlg::CUISCRIPTS_TIMER_SAVE_SETTINGS));
        EXPECT_NE(Settings().find(c.ticked ? "RunOnStartup=FALSE\r\n" : "RunOnStartup=TRUE\r\n"),
                  std::string::npos)
            << Settings();
        EXPECT_NE(Settings().find("DefaultScript=Guided.scr\r\n"), std::string::npos);
    }
}

TEST_F(CUIScriptsDlgTest, TypingSavesOnceAQuietSecondAfterTheLastKeystrokeAndKeepsUnknownNames)
{
    WriteSettings("[CustomerUI]\r\nRunOnStartup=FALSE\r\n");
    ProfileWriteHook = CountDefaultScriptWrites;
    g_defaultScriptWrites = 0;
    CUIScriptsDlg *dialog = Dialog();
    const auto elapse = [](int ms) {
        QElapsedTimer clock;
        clock.start();
        RunEventLoopUntil([&] { return clock.elapsed() >= ms; });
    };

    dialog->SetControlText(CUIScriptsDlg::kDefaultScriptId, "N");
    elapse(600);
    dialog->SetControlText(CUIScriptsDlg::kDefaultScriptId, "No");
    elapse(600);
    // 1.2 s after the first keystroke: a timer that was not restarted would have saved by now.
    EXPECT_EQ(g_defaultScriptWrites.load(), 0);
    dialog->SetControlText(CUIScriptsDlg::kDefaultScriptId, "NoSuchFile.scr");
    EXPECT_TRUE(RunEventLoopUntil([] { return g_defaultScriptWrites.load() > 0; }));
    elapse(300);
    EXPECT_EQ(g_defaultScriptWrites.load(), 1);
    EXPECT_NE(Settings().find("DefaultScript=NoSuchFile.scr\r\n"), std::string::npos) << Settings();
    EXPECT_NE(Settings().find("RunOnStartup=FALSE\r\n"), std::string::npos);
}

TEST_F(CUIScriptsDlgTest, DroppingDownListsTheScriptsAndKeepsTheTypedName)
{
    CUIScriptsDlg *dialog = Dialog();
    dialog->OnDropdownDefaultScript();
    EXPECT_EQ(dialog->DefaultScriptBox()->count(), 0) << "no Scripts folder yet";

    WriteScript("b.scr", "");
    WriteScript("A.scr", "");
    WriteScript("notes.txt", "");
    dialog->SetControlText(CUIScriptsDlg::kDefaultScriptId, "Typed.scr");
    dialog->KillTimer(CUIScriptsDlg::CUISCRIPTS_TIMER_SAVE_SETTINGS);
    dialog->OnDropdownDefaultScript();
    ASSERT_EQ(dialog->DefaultScriptBox()->count(), 2);
    EXPECT_EQ(dialog->DefaultScriptBox()->itemText(0).toStdString(), "A.scr");
    EXPECT_EQ(dialog->DefaultScriptBox()->itemText(1).toStdString(), "b.scr");
    EXPECT_EQ(dialog->ControlText(CUIScriptsDlg::kDefaultScriptId), "Typed.scr");
    EXPECT_FALSE(dialog->TimerActive(CUIScriptsDlg::CUISCRIPTS_TIMER_SAVE_SETTINGS))
        << "refilling the list is no change";
}

TEST_F(CUIScriptsDlgTest, RunDrivesTheButtonsAndTheEndOfTheRunResetsTheScreenFirst)
{
    HeldCommand held;
    WriteScript("Guided.scr", "int a = 1;\n  Wait(1);\n");
    theApp.m_admin_mode = true;
    CUIScriptsDlg *dialog = Dialog();
    dialog->show();
    Select("Guided.scr");
    EXPECT_EQ(Buttons(), (std::vector<bool>{false, true, true, true}));

    dialog->OnBnClickedRun();
    EXPECT_EQ(Buttons(), (std::vector<bool>{true, false, false, false}));
    ASSERT_TRUE(held.m_entered.Wait(20000));
    auto *line = dialog->ControlAs<QLineEdit>(ScriptsDlg::kCurrentLineId);
    EXPECT_TRUE(RunEventLoopUntil([&] { return line->text() == "Wait(1);"; })) << line->text().toStdString();
    BusyScreen();

    // Shown again during the run: Stop usable, Run not, the list and Edit as ever.
    dialog->hide();
    dialog->show();
    EXPECT_EQ(Buttons(), (std::vector<bool>{true, false, false, true}))
        << "the refilled list has no selection";
    Select("Guided.scr");
    EXPECT_EQ(Buttons(), (std::vector<bool>{true, false, true, true}));
    Screenshot(dialog, "cui_scripts");

    dialog->OnBnClickedStop();
    held.m_release.Set();
    EXPECT_TRUE(RunEventLoopUntil([&] { return !ScriptInstanceExists(1) && !Enabled(ScriptsDlg::kStopId); }));
    EXPECT_EQ(Buttons(), (std::vector<bool>{false, true, true, true}));
    EXPECT_EQ(line->text(), "");
    ExpectScreenReset();
    EXPECT_EQ(m_framework->Posted(), std::vector<int>{32861}) << "the main window closes the images";
    EXPECT_TRUE(m_queued->Messages().empty());
}

// The window is installed, as in the program, but was never opened: the screen still resets.
TEST_F(CUIScriptsDlgTest, TheEndOfAnOperatorScriptWithoutTheWindowStillResetsTheScreen)
{
    HeldCommand held;
    m_window = InstallCUIScriptsWindow();
    // The main window's command 32854 reaches this window through the screen's services.
    EXPECT_EQ(&OperatorScreen().ScriptsDialog(), m_window.get());
    const std::string path = WriteScript("Guided.scr", "Wait(1);\n");
    std::string error;
    ASSERT_TRUE(OperatorScreen().Reload(path.c_str(), error)) << error;
    ASSERT_TRUE(held.m_entered.Wait(20000));
    BusyScreen();
    held.m_release.Set();
    EXPECT_TRUE(RunEventLoopUntil([] { return !ScriptInstanceExists(1); }));
    EXPECT_FALSE(m_window->HasWindow());
    ExpectScreenReset();
    EXPECT_EQ(m_framework->Posted(), std::vector<int>{32861});
}

TEST_F(CUIScriptsDlgTest, RunFailuresAreLoggedAndShownExceptWhileHandleOneIsTaken)
{
    HeldCommand held;
    const std::string busy = WriteScript("Busy.scr", "Wait(1);\n");
    WriteScript("Broken.scr", "int a = ;\n");
    CUIScriptsDlg *dialog = Dialog();
    dialog->show();

    // A script that does not load: the loader's text in the log and in an error box.
    Select("Broken.scr");
    dialog->OnBnClickedRun();
    ASSERT_EQ(m_queued->Messages().size(), 1u);
    EXPECT_FALSE(m_queued->Messages()[0].text.empty());
    EXPECT_TRUE(m_queued->Messages()[0].flags & platform::ui::MbIconError);
    EXPECT_NE(ErrorLog().find(m_queued->Messages()[0].text), std::string::npos);
    EXPECT_EQ(Buttons(), (std::vector<bool>{false, true, false, true}));

    // Handle 1 taken by a run started elsewhere after the buttons were last updated: log only.
    EString runError;
    ASSERT_TRUE(Script::RunScript(1, busy.c_str(), runError)) << runError.c_str();
    ASSERT_TRUE(held.m_entered.Wait(20000));
    Select("Busy.scr");
    dialog->OnBnClickedRun();
    EXPECT_EQ(m_queued->Messages().size(), 1u);
    EXPECT_NE(ErrorLog().find("Interpreter instance with handle: 1 already exists."), std::string::npos);
    held.m_release.Set();
    EXPECT_TRUE(RunEventLoopUntil([] { return !ScriptInstanceExists(1); }));
}

// A file with nothing but comments starts nothing, yet the buttons show a run until the window is
// shown again.
TEST_F(CUIScriptsDlgTest, AScriptWithoutCodeLooksStartedUntilTheWindowIsShownAgain)
{
    WriteScript("Notes.scr", "// only a comment\r\n\r\n");
    CUIScriptsDlg *dialog = Dialog();
    dialog->show();
    Select("Notes.scr");
    dialog->OnBnClickedRun();
    EXPECT_FALSE(ScriptInstanceExists(1));
    EXPECT_EQ(Buttons(), (std::vector<bool>{true, false, false, false}));
    EXPECT_TRUE(m_queued->Messages().empty());
    dialog->hide();
    dialog->show();
    Select("Notes.scr");
    EXPECT_EQ(Buttons(), (std::vector<bool>{false, true, false, true}));
}

} // namespace
} // namespace vantelis::test
