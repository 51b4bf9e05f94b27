// The montage dialog driven through its controls, and the experiment services that run it and the
// montage from the main window's command.
#include "experiment/gui/MontageDlg.h"

#include "Ostravo/LogError.h"
#include "app/AnalysisLock.h"
#include "app/ExperimentServices.h"
#include "experiment/ExperimentAnalysisServices.h"
#include "platform/Files.h"
#include "support/FakeUi.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gmock/gmock.h>

#include <filesystem>
#include <mutex>

using ::testing::HasSubstr;
namespace fs = std::filesystem;

namespace vantelis::test {
namespace {

class MontageDlgTest : public ::testing::Test
{
  protected:
    MontageDlgTest()
    {
        m_old = platform::ui::SetUi(m_ui);
        _montage_last_directory.clear();
        m_experiment = m_dir.file("exp");
        fs::create_directories(m_experiment);
        // The experiment folder's settings file as experiment creation writes it, in capitals.
        WriteFileBytes(m_experiment + "/ExperimentSettings.ini", "[ExperimentSettings]\r\n");
        fs::create_directories(m_dir.file("LOG"));
        SetLogDataDirectory(m_dir.str().c_str());
    }
    ~MontageDlgTest() override
    {
        platform::ui::SetUi(m_old);
        _montage_last_directory.clear();
        SetLogDataDirectory("");
    }

    std::vector<std::string> Messages() const
    {
        std::vector<std::string> texts;
        for (const FakeUi::Message &m : m_ui->Messages())
            texts.push_back(m.text);
        return texts;
    }
    std::string ErrorLog() const
    {
        std::string text;
        for (const platform::DirEntry &entry : platform::ListFolder(m_dir.file("LOG"), "Err_*.log"))
            text += ReadFileBytes(m_dir.file("LOG/" + entry.name));
        return text;
    }

    TempDir m_dir;
    std::shared_ptr<FakeUi> m_ui = std::make_shared<FakeUi>();
    std::shared_ptr<platform::ui::UserInterface> m_old;
    std::string m_experiment;
};

TEST_F(MontageDlgTest, ControlsCarryTheirIdsAndCaptions)
{
    MontageDlg dialog;
    EXPECT_EQ(dialog.windowTitle().toStdString(), "Create Montage Image From Sample Flow");
    EXPECT_EQ(dialog.findChild<QLineEdit *>("1413"), dialog.FolderEdit());
    EXPECT_EQ(dialog.findChild<QLineEdit *>("1414"), dialog.NameEdit());
    EXPECT_EQ(dialog.findChild<QPushButton *>("1412")->text().toStdString(), "...");
    EXPECT_EQ(dialog.findChild<QPushButton *>("1")->text().toStdString(), "OK");
    EXPECT_TRUE(dialog.OkButton()->isDefault());
    EXPECT_EQ(dialog.findChild<QPushButton *>("2")->text().toStdString(), "Cancel");
    EXPECT_TRUE(dialog.FolderEdit()->text().isEmpty());

    dialog.FolderEdit()->setText(QString::fromStdString(m_experiment));
    dialog.NameEdit()->setText("SampleFlow_01");
    dialog.show();
    fs::create_directories("/tmp/shots");
    EXPECT_TRUE(dialog.grab().save("/tmp/shots/montage_dlg.png"));
}

TEST_F(MontageDlgTest, OkChecksFolderSettingsFileAndName)
{
    const std::string other = m_dir.file("not-an-experiment");
    fs::create_directories(other);
    const std::string invalid = "Invalid experiment name. Must be valid Windows file name.";
    struct Case
    {
        std::string folder, name, message; // empty message: accepted
    } cases[] = {
        {"", "m", "Please select the experiment directory."},
        {other, "m", "The selected directory is not a valid experiment directory."},
        {m_experiment, "", "Please define the montage image filename."},
        {m_experiment, "a:b", invalid},
        {m_experiment, "a*b", invalid},
        {m_experiment, "sub/m", invalid},
        {m_experiment, "..", invalid},
        {m_experiment, "..\\up", invalid},
        // Long names are checked too: a separator must not lead out of the folder.
        {m_experiment, std::string(300, 'a') + "/b", invalid},
        {m_experiment, "a<b", ""},
        {m_experiment, "Flow 1", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.folder + " / " + c.name.substr(0, 20));
        m_ui->Clear();
        MontageDlg dialog;
        dialog.show();
        dialog.FolderEdit()->setText(QString::fromStdString(c.folder));
        dialog.NameEdit()->setText(QString::fromStdString(c.name));
        QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
        if (c.message.empty()) {
            EXPECT_TRUE(Messages().empty());
            EXPECT_EQ(dialog.result(), QDialog::Accepted);
            EXPECT_EQ(dialog.m_experiment_directory, c.folder);
            EXPECT_EQ(dialog.m_montage_name, c.name);
        } else {
            EXPECT_EQ(Messages(), std::vector<std::string>{c.message});
            EXPECT_TRUE(dialog.isVisible()); // stays open
            EXPECT_TRUE(dialog.m_experiment_directory.empty());
        }
        // The folder is kept for the next opening whatever the checks said.
        EXPECT_EQ(_montage_last_directory, c.folder);
        EXPECT_EQ(MontageDlg().FolderEdit()->text().toStdString(), c.folder);
    }
}

TEST_F(MontageDlgTest, BrowseStartsAtTheTypedFolderAndCancelLeavesNothing)
{
    MontageDlg dialog;
    dialog.show();
    dialog.FolderEdit()->setText("/start/here");
    m_ui->QueueAnswer(true, m_experiment);
    QTest::mouseClick(dialog.BrowseButton(), Qt::LeftButton);
    ASSERT_EQ(m_ui->Requests().size(), 1u);
    EXPECT_EQ(m_ui->Requests()[0].kind, "folder");
    EXPECT_EQ(m_ui->Requests()[0].title, "Select a directory with images.");
    EXPECT_EQ(m_ui->Requests()[0].start, "/start/here");
    EXPECT_EQ(dialog.FolderEdit()->text().toStdString(), m_experiment);
    // A cancelled picker leaves the text.
    QTest::mouseClick(dialog.BrowseButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.FolderEdit()->text().toStdString(), m_experiment);

    dialog.NameEdit()->setText("m");
    QTest::mouseClick(dialog.CancelButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_TRUE(dialog.m_experiment_directory.empty());
    EXPECT_TRUE(dialog.m_montage_name.empty());
    EXPECT_TRUE(_montage_last_directory.empty());
}

// The installed services open the dialog modally for the main window's command.
TEST_F(MontageDlgTest, InstalledServicesRunTheDialog)
{
    InstallExperimentWindows();
    QTimer::singleShot(0, [this] {
        auto *dialog = qobject_cast<MontageDlg *>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->FolderEdit()->setText(QString::fromStdString(m_experiment));
        dialog->NameEdit()->setText("Flow");
        QTest::mouseClick(dialog->OkButton(), Qt::LeftButton);
    });
    std::string name, folder;
    EXPECT_TRUE(Experiment().RunMontageDialog(name, folder));
    EXPECT_EQ(name, "Flow");
    EXPECT_EQ(folder, m_experiment);

    QTimer::singleShot(0, [] {
        auto *dialog = qobject_cast<MontageDlg *>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        QTest::mouseClick(dialog->CancelButton(), Qt::LeftButton);
    });
    name.clear();
    folder.clear();
    EXPECT_FALSE(Experiment().RunMontageDialog(name, folder));
    EXPECT_TRUE(name.empty());
    InstallExperimentServices(nullptr);
}

TEST_F(MontageDlgTest, MontageCommandSaysTheAnalysisIsBusyInsteadOfWaiting)
{
    ExperimentAnalysisServices services;
    std::unique_lock<std::mutex> running(ExclusiveAnalysisMutex());
    int result = 5;
    EString error;
    EXPECT_FALSE(services.CreateMontageImage(result, m_experiment.c_str(), false, false, "m", error));
    EXPECT_EQ(result, 0);
    EXPECT_EQ(Messages(), std::vector<std::string>{kAnalysisBusyMessage});
    EXPECT_STREQ(error.c_str(), kAnalysisBusyMessage);
    EXPECT_THAT(ErrorLog(), HasSubstr("another experiment analysis"));
    EXPECT_FALSE(fs::exists(m_experiment + "/m.png"));
    running.unlock();

    // Free again: the run itself fails on this folder (no capture log), quietly for the user (the
    // main window says the montage failed), with the reason in the error log.
    m_ui->Clear();
    EXPECT_FALSE(services.CreateMontageImage(result, m_experiment.c_str(), false, false, "m", error));
    EXPECT_TRUE(Messages().empty());
    EXPECT_THAT(ErrorLog(), HasSubstr("CreateMontageImage() - "));
}

TEST_F(MontageDlgTest, ImageListNamesTheFolderFilesThatMatch)
{
    fs::create_directories(m_dir.file("imgs"));
    for (const char *name : {"b.png", "A.PNG", "c.tif"})
        WriteFileBytes(m_dir.file(std::string("imgs/") + name), "x");
    ExperimentAnalysisServices services;
    std::vector<std::string> names;
    EXPECT_TRUE(services.FillImageList(m_dir.file("imgs").c_str(), "*.png", names));
    EXPECT_EQ(names, (std::vector<std::string>{"A.PNG", "b.png"}));
    EXPECT_FALSE(services.FillImageList(m_dir.file("none").c_str(), "*.png", names));
    EXPECT_TRUE(names.empty());
}

} // namespace
} // namespace vantelis::test
