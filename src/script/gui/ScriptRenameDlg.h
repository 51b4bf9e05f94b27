#pragma once
// "Script Rename": one edit box with the script's name without extension, "OK" and "Cancel". The
// caller sets m_name before exec() and reads it after "OK". The operator-screen scripts dialog
// uses it as well.
#include <QDialog>

#include <string>

class QLineEdit;

class ScriptRenameDlg : public QDialog
{
    Q_OBJECT
  public:
    explicit ScriptRenameDlg(QWidget *parent = nullptr);

    // Shows m_name in the edit box (the dialog's initialisation).
    void OnInitDialog();
    // "OK": the edit text (at most 1023 characters) into m_name, closed with the OK result.
    void OnOK();

    std::string m_name;
    QLineEdit *Edit() const { return m_edit; }

  protected:
    void showEvent(QShowEvent *event) override;

  private:
    QLineEdit *m_edit = nullptr;
};
