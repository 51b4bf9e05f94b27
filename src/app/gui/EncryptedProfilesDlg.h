#pragma once
// Shows whether the two protected profile files (the main settings file and Users.ini) are stored
// enciphered, and changes it: a check box per file enciphers or deciphers it in place; an "Edit"
// button deciphers an enciphered file and opens it in the registered text editor.
#include <QDialog>
#include <QTimer>

#include <string>

class CPlexorinApp;
class EString;
class QCheckBox;
class QPushButton;

class ProfileEncryptionDlg : public QDialog
{
    Q_OBJECT
  public:
    static constexpr int kUsersIniCheck = 1355;
    static constexpr int kMainSettingsCheck = 1356;
    static constexpr int kMainSettingsTimer = 1000;
    static constexpr int kUsersIniTimer = 1001;
    static constexpr int kToggleDelayMs = 100;

    explicit ProfileEncryptionDlg(CPlexorinApp &app, QWidget *parent = nullptr);

    QCheckBox *UsersIniCheck() const { return m_users_check; }
    QCheckBox *MainSettingsCheck() const { return m_main_check; }
    QPushButton *UsersIniEditButton() const { return m_users_edit; }
    QPushButton *MainSettingsEditButton() const { return m_main_edit; }
    bool TimerActive(int id) const;

    // Timer 1000 (main settings file) or 1001 (Users.ini) has run out: converts the file to the
    // state its box shows.
    void OnTimer(int id);

  protected:
    void showEvent(QShowEvent *event) override;

  private:
    void OnInitDialog();
    // Ticks or clears box after the file's state; false with the reason appended to errors.
    bool ShowEncryptionState(const std::string &path, QCheckBox *box, std::string &errors);
    void ToggleEncryption(QCheckBox *box, const std::string &path);
    void OnEdit(QCheckBox *box, const std::string &path);
    void Report(const EString &message, int line);

    const std::string m_main_path;
    const std::string m_users_path;
    QCheckBox *m_users_check = nullptr;
    QCheckBox *m_main_check = nullptr;
    QPushButton *m_users_edit = nullptr;
    QPushButton *m_main_edit = nullptr;
    QTimer m_main_timer;
    QTimer m_users_timer;
    bool m_initialised = false;
};
