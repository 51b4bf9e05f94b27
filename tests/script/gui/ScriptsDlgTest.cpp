// The scripts window: its list, its buttons through a run, and the rename, delete and duplicate
// actions on script files.
#include "ScriptWindowsFixture.h"

#include "script/Arguments.h"
#include "script/CommandTable.h"
#include "script/gui/ScriptRenameDlg.h"
#include "script/gui/ScriptsDlg.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

namespace vantelis::test {
namespace {

class ScriptsDlgTest : public ScriptWindowsFixture
{
  protected:
    void SetUp() override
    {
        ScriptWindowsFixture::SetUp();
        m_dialog = std::make_unique<ScriptsDlg>();
        m_dialog->m_open_script = [this](const std::string &path) { m_opened.push_back(path); };
    }
    void TearDown() override
    {
        ScriptWindowsFixture::TearDown();
        m_dialog.reset();
    }

    std::string ScriptPath(const std::string &name) const { return m_dir.file("Scripts/" + name); }
    void WriteScript(const std::string &name, const std::string &text)
    {
        std::filesystem::create_directories(m_dir.path() / "Scripts");
        WriteFileBytes(ScriptPath(name), text);
    }
    std::vector<std::string> Listed() const
    {
        std::vector<std::string> names;
        for (int i = 0; i < m_dialog->List()->count(); ++i)
            names.push_back(m_dialog->List()->item(i)->text().toUtf8().toStdString());
        return names;
    }
    void Select(const std::string &name)
    {
        const auto items = m_dialog->List()->findItems(QString::fromUtf8(name.c_str()), Qt::MatchExactly);
        ASSERT_EQ(items.size(), 1);
        m_dialog->List()->setCurrentItem(items.first());
    }
    // Opens the context menu's action on an entry as the menu would.
    void OnEntry(const std::string &name, int command)
    {
        Select(name);
        m_dialog->m_context_item = m_dialog->List()->currentRow();
        m_dialog->OnContextCommand(command);
    }
    bool Enabled(int id) const { return m_dialog->IsControlEnabled(id); }

    std::unique_ptr<ScriptsDlg> m_dialog;
    std::vector<std::string> m_opened;
};

TEST_F(ScriptsDlgTest, ShowingListsTheScriptsSortedAndButtonsFollowSelectionAndAdminMode)
{
    m_dialog->show();
    EXPECT_TRUE(Listed().empty()); // no Scripts folder yet
    m_dialog->hide();

    WriteScript("b.scr", "");
    WriteScript("A.SCR", "");
    WriteScript("notes.txt", "");
    std::filesystem::create_directories(m_dir.path() / "Scripts" / "old.scr");
    m_dialog->show();
    EXPECT_EQ(Listed(), (std::vector<std::string>{"A.SCR", "b.scr"}));
    EXPECT_FALSE(Enabled(ScriptsDlg::kRunId));
    EXPECT_FALSE(Enabled(ScriptsDlg::kEditId));
    EXPECT_FALSE(Enabled(ScriptsDlg::kStopId));

    Select("b.scr");
    EXPECT_TRUE(Enabled(ScriptsDlg::kRunId));
    EXPECT_FALSE(Enabled(ScriptsDlg::kEditId));
    theApp.m_admin_mode = true;
    m_dialog->UpdateButtons();
    EXPECT_TRUE(Enabled(ScriptsDlg::kEditId));
    EXPECT_FALSE(Enabled(ScriptsDlg::kStopId));
}

TEST_F(ScriptsDlgTest, EditWithNothingSelectedMakesTheFolderAndANewScript)
{
    WriteFileBytes(m_dir.file("placeholder"), "");
    m_dialog->OnBnClickedEdit();
    const std::string expected =
        "// Quorvane Plexorin script file.\n// Rename this automatically created file.\n";
    EXPECT_EQ(ReadFileBytes(ScriptPath("New.scr")), expected);
    // An existing New.scr is emptied and written again.
    WriteFileBytes(ScriptPath("New.scr"), "Wait(1);\nWait(2);\nWait(3);\n");
    m_dialog->OnBnClickedEdit();
    EXPECT_EQ(ReadFileBytes(ScriptPath("New.scr")), expected);
    EXPECT_EQ(m_opened, (std::vector<std::string>{ScriptPath("New.scr"), ScriptPath("New.scr")}));

    WriteScript("Prime.scr", "x");
    m_dialog->show();
    Select("Prime.scr");
    m_dialog->OnBnClickedEdit();
    EXPECT_EQ(m_opened.back(), ScriptPath("Prime.scr"));
}

TEST_F(ScriptsDlgTest, RenameNeverReplacesAFileAndRefusesNamesThatAreNoNames)
{
    WriteScript("A.scr", "alpha");
    WriteScript("B.scr", "beta");
    m_dialog->show();
    const struct
    {
        std::string name;
        std::string error;
    } refused[] = {
        {"B",
         "rename_script_file () : unable to rename " + ScriptPath("A.scr") + " -> " + ScriptPath("B.scr")},
        {"", "rename_script_file () : The new script name is empty."},
        {"  ", "rename_script_file () : The new script name is empty."},
        {"../A", "rename_script_file () : The new script name may not hold a path separator: ../A"},
        {"sub\\A", "rename_script_file () : The new script name may not hold a path separator: sub\\A"},
    };
    for (const auto &c : refused) {
        SCOPED_TRACE(c.name);
        m_ui->Clear();
        m_dialog->m_ask_name = [&](std::string &name) {
            EXPECT_EQ(name, "A"); // the base name of the entry
            name = c.name;
            return true;
        };
        OnEntry("A.scr", ScriptsDlg::kRenameCommand);
        ASSERT_EQ(m_ui->Messages().size(), 1u);
        EXPECT_EQ(m_ui->Messages()[0].text, c.error);
        EXPECT_EQ(ReadFileBytes(ScriptPath("A.scr")), "alpha");
        EXPECT_EQ(ReadFileBytes(ScriptPath("B.scr")), "beta");
        EXPECT_NE(ErrorLog().find(c.error), std::string::npos);
    }
    EXPECT_EQ(Listed(), (std::vector<std::string>{"A.scr", "B.scr"}));

    // Cancel changes nothing; a good name renames and refills the list.
    m_ui->Clear();
    m_dialog->m_ask_name = [](std::string &name) {
        name = "ignored";
        return false;
    };
    OnEntry("A.scr", ScriptsDlg::kRenameCommand);
    m_dialog->m_ask_name = [](std::string &name) {
        name = "C";
        return true;
    };
    OnEntry("A.scr", ScriptsDlg::kRenameCommand);
    EXPECT_TRUE(m_ui->Messages().empty());
    EXPECT_EQ(Listed(), (std::vector<std::string>{"B.scr", "C.scr"}));
    EXPECT_EQ(ReadFileBytes(ScriptPath("C.scr")), "alpha");

    EString error;
    EXPECT_FALSE(rename_script_file("Missing", "D", error));
    EXPECT_EQ(std::string(error.c_str()),
              "rename_script_file () : Script file does not exist: " + ScriptPath("Missing.scr"));
}

TEST_F(ScriptsDlgTest, ADataFolderWithAccentsListsRenamesAndDeletesItsScriptsByTheirBytes)
{
    // The data folder "Données é" holds a script named with accents and one named on an older
    // system in Windows-1252, which the list shows with U+FFFD.
    const std::string data = m_dir.file("Donn\xC3\xA9"
                                        "es \xC3\xA9");
    theApp.m_data_directory = data;
    const std::string scripts = data + "/Scripts";
    std::filesystem::create_directories(scripts);
    WriteFileBytes(scripts + "/essai_\xC3\xA9.scr", "alpha");
    WriteFileBytes(scripts + "/ancien_\xE9.scr", "beta");
    m_dialog->show();
    EXPECT_EQ(Listed(), (std::vector<std::string>{"ancien_\xEF\xBF\xBD.scr", "essai_\xC3\xA9.scr"}));

    m_dialog->m_ask_name = [](std::string &name) {
        EXPECT_EQ(name, "essai_\xC3\xA9");
        name = "r\xC3\xA9sultat";
        return true;
    };
    OnEntry("essai_\xC3\xA9.scr", ScriptsDlg::kRenameCommand);
    EXPECT_EQ(ReadFileBytes(scripts + "/r\xC3\xA9sultat.scr"), "alpha");

    // The entry that is shown with U+FFFD still names its own file.
    m_dialog->m_ask_name = [](std::string &name) {
        EXPECT_EQ(name, "ancien_\xE9");
        name = "nouveau";
        return true;
    };
    OnEntry("ancien_\xEF\xBF\xBD.scr", ScriptsDlg::kRenameCommand);
    EXPECT_EQ(ReadFileBytes(scripts + "/nouveau.scr"), "beta");
    EXPECT_TRUE(m_ui->Messages().empty()) << m_ui->Messages().front().text;
    EXPECT_EQ(Listed(), (std::vector<std::string>{"nouveau.scr", "r\xC3\xA9sultat.scr"}));
}

TEST_F(ScriptsDlgTest, DeleteGoesAheadOnlyOnYes)
{
    WriteScript("A.scr", "alpha");
    m_dialog->show();
    for (int answer : {platform::ui::IdNo, platform::ui::IdCancel, platform::ui::IdOk}) {
        SCOPED_TRACE(answer);
        m_ui->Clear();
        m_ui->QueueMessageAnswer(answer);
        OnEntry("A.scr", ScriptsDlg::kDeleteCommand);
        ASSERT_EQ(m_ui->Messages().size(), 1u);
        EXPECT_EQ(m_ui->Messages()[0].text,
                  "Are you sure that you want to delete file:\n" + ScriptPath("A.scr"));
        EXPECT_EQ(ReadFileBytes(ScriptPath("A.scr")), "alpha");
    }
    m_ui->QueueMessageAnswer(platform::ui::IdYes);
    OnEntry("A.scr", ScriptsDlg::kDeleteCommand);
    EXPECT_FALSE(std::filesystem::exists(ScriptPath("A.scr")));
    EXPECT_TRUE(Listed().empty());
}

TEST_F(ScriptsDlgTest, DuplicateTakesTheFirstFreeNumberAndGivesUpAfterNinetyNine)
{
    WriteScript("A.scr", "alpha");
    WriteScript("A_1.scr", "one");
    m_dialog->show();
    OnEntry("A.scr", ScriptsDlg::kDuplicateCommand);
    EXPECT_EQ(ReadFileBytes(ScriptPath("A_2.scr")), "alpha");
    EXPECT_EQ(ReadFileBytes(ScriptPath("A_1.scr")), "one");
    EXPECT_EQ(Listed(), (std::vector<std::string>{"A.scr", "A_1.scr", "A_2.scr"}));

    for (int i = 3; i <= 99; ++i)
        WriteScript("A_" + std::to_string(i) + ".scr", "");
    m_dialog->FillScriptList();
    m_ui->Clear();
    OnEntry("A.scr", ScriptsDlg::kDuplicateCommand);
    ASSERT_EQ(m_ui->Messages().size(), 1u);
    EXPECT_EQ(m_ui->Messages()[0].text, "Unable to duplicate script: A.scr");
    EXPECT_FALSE(std::filesystem::exists(ScriptPath("A_100.scr")));
}

TEST_F(ScriptsDlgTest, AContextMenuNeedsAdminModeAndARow)
{
    WriteScript("A.scr", "alpha");
    m_dialog->show();
    m_dialog->m_context_item = 7;
    m_dialog->OnContextMenu(QPoint(5, 5)); // admin mode off: nothing, not even the row
    EXPECT_EQ(m_dialog->m_context_item, 7);
    theApp.m_admin_mode = true;
    m_dialog->OnContextMenu(QPoint(5, 5000)); // below the rows: no menu
    EXPECT_EQ(m_dialog->m_context_item, -1);
    // A stale row does nothing.
    m_dialog->m_context_item = 3;
    m_dialog->OnContextCommand(ScriptsDlg::kDuplicateCommand);
    EXPECT_FALSE(std::filesystem::exists(ScriptPath("A_1.scr")));
}

TEST_F(ScriptsDlgTest, RunAndStopDriveTheButtonsAndTheCurrentLine)
{
    HeldCommand held;
    WriteScript("Prime.scr", "int a = 1;\n   Wait(1);\nWait(2);\n");
    m_dialog->show();

    // Run with nothing selected: refused with the run entry's text; the buttons stay.
    m_dialog->OnBnClickedRun();
    ASSERT_EQ(m_ui->Messages().size(), 1u);
    EXPECT_EQ(m_ui->Messages()[0].text,
              "Script::RunScript () : Can't open file: " + m_dir.file("Scripts") + "/");
    EXPECT_FALSE(Enabled(ScriptsDlg::kStopId));

    // The hooks the program installs for the scripts window.
    ScriptOwnerHooks hooks;
    hooks.hasWindow = [] { return true; };
    hooks.setStatusText = [this](const std::string &text) { m_dialog->SetStatusText(text.c_str()); };
    hooks.onScriptEnded = [this] { m_dialog->OnScriptEnded(); };
    SetScriptOwnerHooks(0, hooks);

    Select("Prime.scr");
    m_dialog->OnBnClickedRun();
    EXPECT_TRUE(Enabled(ScriptsDlg::kStopId));
    EXPECT_FALSE(Enabled(ScriptsDlg::kRunId));
    EXPECT_FALSE(Enabled(ScriptsDlg::kListId));
    ASSERT_TRUE(held.m_entered.Wait(20000));
    auto *line = m_dialog->ControlAs<QLineEdit>(ScriptsDlg::kCurrentLineId);
    EXPECT_TRUE(RunEventLoopUntil([&] { return line->text() == "Wait(1);"; })) << line->text().toStdString();

    // Shown again during the run: Stop stays usable.
    m_dialog->hide();
    m_dialog->show();
    EXPECT_TRUE(Enabled(ScriptsDlg::kStopId));
    EXPECT_FALSE(Enabled(ScriptsDlg::kRunId));
    Screenshot(m_dialog.get(), "ScriptsDlg");

    m_dialog->OnBnClickedStop();
    held.m_release.Set();
    EXPECT_TRUE(RunEventLoopUntil([&] { return !ScriptInstanceExists(0) && !Enabled(ScriptsDlg::kStopId); }));
    EXPECT_TRUE(RunEventLoopUntil([&] { return Enabled(ScriptsDlg::kListId); }));
    EXPECT_EQ(line->text(), "");
    EXPECT_EQ(m_ui->Messages().size(), 1u); // a stop shows nothing
    SetScriptOwnerHooks(0, {});
}

TEST(ScriptRenameDlgTest, OkTakesTheEditTextAndCancelKeepsTheName)
{
    ScriptRenameDlg dialog;
    dialog.m_name = "Prime";
    dialog.show();
    EXPECT_EQ(dialog.Edit()->text(), "Prime");
    dialog.Edit()->setText(QString(1100, 'x'));
    dialog.OnOK();
    EXPECT_EQ(dialog.m_name, std::string(1023, 'x'));
    EXPECT_EQ(dialog.result(), QDialog::Accepted);

    ScriptRenameDlg cancelled;
    cancelled.m_name = "Keep";
    cancelled.show();
    cancelled.Edit()->setText("Other");
    cancelled.reject();
    EXPECT_EQ(cancelled.m_name, "Keep");
}

} // namespace
} // namespace vantelis::test
