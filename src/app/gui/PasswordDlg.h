#pragma once
// The small modal dialog in which the user types the administrator password. The owner puts its
// prompt into m_prompt before running it and reads m_password after OK; the dialog itself knows
// nothing about passwords or admin mode.
#include <QDialog>

#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

class PasswordDlg : public QDialog
{
    Q_OBJECT
  public:
    explicit PasswordDlg(QWidget *parent = nullptr);

    // The longest entry taken; the rest of a longer one is cut off.
    static constexpr int kMaxPasswordLength = 1022;

    std::string m_prompt;
    // Empty until OK.
    std::string m_password;

    QLineEdit *PasswordEdit() const { return m_edit; }
    QLabel *PromptLabel() const { return m_label; }
    QPushButton *OkButton() const { return m_ok; }
    QPushButton *CancelButton() const { return m_cancel; }

  protected:
    void showEvent(QShowEvent *event) override;

  private:
    void OnInitDialog();
    void OnBnClickedOk();

    QLabel *m_label = nullptr;
    QLineEdit *m_edit = nullptr;
    QPushButton *m_ok = nullptr;
    QPushButton *m_cancel = nullptr;
    bool m_initialised = false;
};
