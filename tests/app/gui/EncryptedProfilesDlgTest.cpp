// The encrypted-profiles dialog: the boxes show each file's state, a click enciphers or deciphers
// the file a moment later and (un)registers its name, Edit deciphers and opens an enciphered file,
// and every failure is logged and shown.
#include "app/gui/EncryptedProfilesDlg.h"

#include "support/FakeUi.h"
#include "support/TempDir.h"

#include "Ostravo/EString.h"
#include "Ostravo/LogError.h"
#include "Ostravo/ProfileEncryption.h"
#include "app/PlexorinApp.h"
#include "platform/Files.h"
#include "platform/Process.h"

#include <QCheckBox>
#include <QPushButton>
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

namespace vantelis::test {
namespace {

std::string RandomBytes(size_t size, uint32_t seed)
{
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (char &c : bytes)
        c = static_cast<char>(generator() & 0xFF);
    return bytes;
}

class StartRecorder : public platform::ProcessLauncher
{
  public:
    bool Start(const std::string &program, const std::vector<std::string> &args, std::string *) override
    {
        std::string call = program;
        for (const std::string &arg : args)
            call += " " + arg;
        started.push_back(call);
        return true;
    }
    bool Run(const std::string &, const std::vector<std::string> &, std::string *, int *,
             std::string *) override
    {
        return false;
    }
    std::vector<std::string> started;
};

const char *const kMainText = "[CalibrationSettings]\r\nimage_pixels_per_mm=500\r\n";
const char *const kUsersText = "[Users]\r\nOperator=1\r\n";

class EncryptedProfilesDlgTest : public ::testing::Test
{
  protected:
    EncryptedProfilesDlgTest() : m_launcher(std::make_shared<StartRecorder>())
    {
        std::filesystem::create_directories(m_dir.file("LOG"));
        SetLogDataDirectory(m_dir.str().c_str());
        LoadRandomFile(1);
        m_app.m_ini_path = m_dir.file("Plexorin.ini");
        m_app.m_users_ini_path = m_dir.file("Users.ini");
        m_previous = platform::SetLauncher(m_launcher);
    }
    ~EncryptedProfilesDlgTest() override
    {
        platform::SetLauncher(m_previous);
        UnregisterEncryptedProfile("Plexorin.ini");
        UnregisterEncryptedProfile("Users.ini");
        SetLogDataDirectory("");
    }

    void LoadRandomFile(uint32_t seed)
    {
        const std::string path = m_dir.file("rand" + std::to_string(seed) + ".bin");
        WriteFileBytes(path, RandomBytes(64000, seed));
        EString message;
        ASSERT_TRUE(Ostravo::E_LoadRandomFile(path.c_str(), message)) << message.c_str();
    }

    void WritePlain(const std::string &path, const char *text) { WriteFileBytes(path, text); }
    void WriteEnciphered(const std::string &path, const char *text)
    {
        WriteFileBytes(path, text);
        EString message;
        ASSERT_TRUE(Ostravo::E_EncryptFile(path.c_str(), message)) << message.c_str();
    }
    static bool Enciphered(const std::string &path)
    {
        bool enciphered = false;
        EString message;
        EXPECT_TRUE(Ostravo::E_IsFileEncrypted(path.c_str(), enciphered, message)) << message.c_str();
        return enciphered;
    }

    std::unique_ptr<ProfileEncryptionDlg> Open()
    {
        auto dialog = std::make_unique<ProfileEncryptionDlg>(m_app);
        dialog->show();
        return dialog;
    }

    std::string ErrorLogText() const
    {
        std::string text;
        for (const platform::DirEntry &entry : platform::ListFolder(m_dir.file("LOG"), "Err_*.log"))
            text += ReadFileBytes(m_dir.file("LOG/" + entry.name));
        return text;
    }

    TempDir m_dir;
    ScopedFakeUi m_ui;
    CPlexorinApp m_app;
    std::shared_ptr<StartRecorder> m_launcher;
    std::shared_ptr<platform::ProcessLauncher> m_previous;
};

TEST_F(EncryptedProfilesDlgTest, BoxesShowEachFilesState)
{
    WriteEnciphered(m_app.m_ini_path, kMainText);
    WritePlain(m_app.m_users_ini_path, kUsersText);
    auto dialog = Open();
    EXPECT_TRUE(dialog->MainSettingsCheck()->isChecked());
    EXPECT_FALSE(dialog->UsersIniCheck()->isChecked());
    EXPECT_TRUE(m_ui->Messages().empty());
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Profile Encryption"));
    EXPECT_EQ(dialog->MainSettingsCheck()->text(), QStringLiteral("ExperimentSettings.ini"));
}

TEST_F(EncryptedProfilesDlgTest, TickingEnciphersAMomentLaterAndClearingDeciphers)
{
    WritePlain(m_app.m_ini_path, kMainText);
    WritePlain(m_app.m_users_ini_path, kUsersText);
    auto dialog = Open();

    dialog->UsersIniCheck()->click();
    // Nothing happens until the timer runs out.
    EXPECT_TRUE(dialog->TimerActive(ProfileEncryptionDlg::kUsersIniTimer));
    EXPECT_FALSE(Enciphered(m_app.m_users_ini_path));
    dialog->OnTimer(ProfileEncryptionDlg::kUsersIniTimer);
    EXPECT_FALSE(dialog->TimerActive(ProfileEncryptionDlg::kUsersIniTimer));
    EXPECT_TRUE(Enciphered(m_app.m_users_ini_path));
    EXPECT_TRUE(IsEncryptedProfile(m_app.m_users_ini_path.c_str()));
    EXPECT_FALSE(IsEncryptedProfile(m_app.m_ini_path.c_str()));

    dialog->UsersIniCheck()->click();
    dialog->OnTimer(ProfileEncryptionDlg::kUsersIniTimer);
    EXPECT_FALSE(Enciphered(m_app.m_users_ini_path));
    EXPECT_EQ(ReadFileBytes(m_app.m_users_ini_path), kUsersText);
    EXPECT_FALSE(IsEncryptedProfile(m_app.m_users_ini_path.c_str()));
    EXPECT_TRUE(m_ui->Messages().empty());
}

TEST_F(EncryptedProfilesDlgTest, TickingAnEncipheredFileOnlyRegistersIt)
{
    WriteEnciphered(m_app.m_ini_path, kMainText);
    WritePlain(m_app.m_users_ini_path, kUsersText);
    const std::string before = ReadFileBytes(m_app.m_ini_path);
    auto dialog = Open();
    // The box shows it ticked already; a second tick of the same state comes from the user
    // toggling it off and on again before the timer runs out.
    dialog->MainSettingsCheck()->click();
    dialog->MainSettingsCheck()->click();
    dialog->OnTimer(ProfileEncryptionDlg::kMainSettingsTimer);
    EXPECT_EQ(ReadFileBytes(m_app.m_ini_path), before);
    EXPECT_TRUE(IsEncryptedProfile("Plexorin.ini"));
}

TEST_F(EncryptedProfilesDlgTest, EditDeciphersAndOpensOnlyAnEncipheredFile)
{
    WritePlain(m_app.m_ini_path, kMainText);
    WriteEnciphered(m_app.m_users_ini_path, kUsersText);
    RegisterEncryptedProfile("Users.ini");
    auto dialog = Open();
    ASSERT_TRUE(dialog->UsersIniCheck()->isChecked());

    dialog->MainSettingsEditButton()->click();
    EXPECT_TRUE(m_launcher->started.empty());
    EXPECT_EQ(ReadFileBytes(m_app.m_ini_path), kMainText);

    dialog->UsersIniEditButton()->click();
    EXPECT_EQ(ReadFileBytes(m_app.m_users_ini_path), kUsersText);
    EXPECT_FALSE(dialog->UsersIniCheck()->isChecked());
    ASSERT_EQ(m_launcher->started.size(), 1u);
    EXPECT_NE(m_launcher->started[0].find(m_app.m_users_ini_path), std::string::npos);
    // Still registered: its next write through the profile routines enciphers it again.
    EXPECT_TRUE(IsEncryptedProfile("Users.ini"));
}

TEST_F(EncryptedProfilesDlgTest, AFileFromAnotherRandomFileIsReportedAndItsBoxStaysClear)
{
    WriteEnciphered(m_app.m_ini_path, kMainText);
    WritePlain(m_app.m_users_ini_path, kUsersText);
    LoadRandomFile(2);
    auto dialog = Open();
    EXPECT_FALSE(dialog->MainSettingsCheck()->isChecked());
    ASSERT_EQ(m_ui->Messages().size(), 1u);
    EXPECT_EQ(m_ui->Messages()[0].flags & 0xF0u, static_cast<uint32_t>(platform::ui::MbIconError));
    EXPECT_NE(ErrorLogText().find("ProfileEncryptionDlg"), std::string::npos);
    EXPECT_NE(ErrorLogText().find(m_ui->Messages()[0].text.substr(0, 20)), std::string::npos);
}

TEST_F(EncryptedProfilesDlgTest, MissingUsersIniIsReportedAndTickingItChangesNothing)
{
    WritePlain(m_app.m_ini_path, kMainText);
    auto dialog = Open();
    EXPECT_FALSE(dialog->UsersIniCheck()->isChecked());
    ASSERT_EQ(m_ui->Messages().size(), 1u);
    const std::string missing = m_ui->Messages()[0].text;

    m_ui->Clear();
    dialog->UsersIniCheck()->click();
    dialog->OnTimer(ProfileEncryptionDlg::kUsersIniTimer);
    ASSERT_EQ(m_ui->Messages().size(), 1u);
    EXPECT_EQ(m_ui->Messages()[0].text, missing);
    EXPECT_FALSE(platform::FileExists(m_app.m_users_ini_path));
    EXPECT_FALSE(IsEncryptedProfile("Users.ini"));
}

} // namespace
} // namespace vantelis::test
