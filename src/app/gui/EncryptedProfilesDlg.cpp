#include "app/gui/EncryptedProfilesDlg.h"

#include "app/PlexorinApp.h"

#include "Ostravo/EString.h"
#include "Ostravo/LogError.h"
#include "Ostravo/OpenUsingDefaultApp.h"
#include "Ostravo/ProfileEncryption.h"
#include "platform/PathParts.h"
#include "platform/Ui.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr const char *kSource = "ProfileEncryptionDlg";

} // namespace

ProfileEncryptionDlg::ProfileEncryptionDlg(CPlexorinApp &app, QWidget *parent)
    : QDialog(parent), m_main_path(app.m_ini_path), m_users_path(app.m_users_ini_path)
{
    setWindowTitle(QStringLiteral("Profile Encryption"));
    m_users_check = new QCheckBox(QStringLiteral("Users.ini"), this);
    m_main_check = new QCheckBox(QStringLiteral("ExperimentSettings.ini"), this);
    m_users_edit = new QPushButton(QStringLiteral("Edit"), this);
    m_main_edit = new QPushButton(QStringLiteral("Edit"), this);
    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    auto *cancel = new QPushButton(QStringLiteral("Cancel"), this);
    ok->setDefault(true);

    auto *files = new QGridLayout;
    files->addWidget(m_users_check, 0, 0);
    files->addWidget(m_users_edit, 0, 1);
    files->addWidget(m_main_check, 1, 0);
    files->addWidget(m_main_edit, 1, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(
        new QLabel(QStringLiteral("Click checkbox to change encryption state for the file."), this));
    layout->addLayout(files);
    layout->addLayout(buttons);

    // A click acts a moment later, with the box's state at that time.
    for (QTimer *timer : {&m_main_timer, &m_users_timer}) {
        timer->setSingleShot(true);
        timer->setInterval(kToggleDelayMs);
    }
    connect(&m_main_timer, &QTimer::timeout, this, [this] { OnTimer(kMainSettingsTimer); });
    connect(&m_users_timer, &QTimer::timeout, this, [this] { OnTimer(kUsersIniTimer); });
    connect(m_main_check, &QCheckBox::clicked, this, [this] { m_main_timer.start(); });
    connect(m_users_check, &QCheckBox::clicked, this, [this] { m_users_timer.start(); });
    connect(m_users_edit, &QPushButton::clicked, this, [this] { OnEdit(m_users_check, m_users_path); });
    connect(m_main_edit, &QPushButton::clicked, this, [this] { OnEdit(m_main_check, m_main_path); });
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

bool ProfileEncryptionDlg::TimerActive(int id) const
{
    return id == kMainSettingsTimer ? m_main_timer.isActive()
           : id == kUsersIniTimer   ? m_users_timer.isActive()
                                    : false;
}

void ProfileEncryptionDlg::showEvent(QShowEvent *event)
{
    if (!m_initialised) {
        m_initialised = true;
        OnInitDialog();
    }
    QDialog::showEvent(event);
}

void ProfileEncryptionDlg::OnInitDialog()
{
    std::string errors;
    ShowEncryptionState(m_main_path, m_main_check, errors);
    ShowEncryptionState(m_users_path, m_users_check, errors);
    if (!errors.empty()) {
        LogError(kSource, __LINE__, errors);
        platform::ui::MessageBox(errors, "Vantelis", platform::ui::MbOk | platform::ui::MbIconError);
    }
}

bool ProfileEncryptionDlg::ShowEncryptionState(const std::string &path, QCheckBox *box, std::string &errors)
{
    bool enciphered = false;
    EString message;
    if (!Ostravo::E_IsFileEncrypted(path.c_str(), enciphered, message)) {
        if (!errors.empty())
            errors += "\n";
        errors += message.c_str();
        return false;
    }
    box->setChecked(enciphered);
    return true;
}

void ProfileEncryptionDlg::OnTimer(int id)
{
    if (id == kMainSettingsTimer) {
        m_main_timer.stop();
        ToggleEncryption(m_main_check, m_main_path);
    } else if (id == kUsersIniTimer) {
        m_users_timer.stop();
        ToggleEncryption(m_users_check, m_users_path);
    }
}

void ProfileEncryptionDlg::Report(const EString &message, int line)
{
    LogError(kSource, line, message.c_str());
    platform::ui::MessageBox(message.c_str(), "Vantelis", platform::ui::MbOk | platform::ui::MbIconError);
}

void ProfileEncryptionDlg::ToggleEncryption(QCheckBox *box, const std::string &path)
{
    const bool want_enciphered = box->isChecked();
    bool enciphered = false;
    EString message;
    if (!Ostravo::E_IsFileEncrypted(path.c_str(), enciphered, message)) {
        Report(message, __LINE__);
        return;
    }
    if (!enciphered && want_enciphered) {
        if (!Ostravo::E_EncryptFile(path.c_str(), message)) {
            Report(message, __LINE__);
            return;
        }
    } else if (enciphered && !want_enciphered) {
        if (!Ostravo::E_DecryptFile(path.c_str(), message)) {
            Report(message, __LINE__);
            return;
        }
    }
    const std::string name = platform::FileNameOf(path);
    if (want_enciphered)
        RegisterEncryptedProfile(name.c_str());
    else
        UnregisterEncryptedProfile(name.c_str());
}

void ProfileEncryptionDlg::OnEdit(QCheckBox *box, const std::string &path)
{
    bool enciphered = false;
    EString message;
    if (!Ostravo::E_IsFileEncrypted(path.c_str(), enciphered, message)) {
        Report(message, __LINE__);
        return;
    }
    if (!enciphered)
        return;
    if (!Ostravo::E_DecryptFile(path.c_str(), message)) {
        Report(message, __LINE__);
        return;
    }
    // The file stays registered as enciphered: its next write through the profile routines
    // enciphers it again.
    box->setChecked(false);
    OpenUsingDefaultApp(path.c_str(), ".txt");
}
