#pragma once
// The service window that sends one of the syringe pumps' report commands to both pumps and shows
// the two raw replies.
#include "tools/gui/ToolWindowKit.h"

class QComboBox;
class QPlainTextEdit;

namespace pump_information_id {
constexpr int kQuery = 1080;
constexpr int kCommand = 1204;
constexpr int kReplies = 1205;
} // namespace pump_information_id

class PumpInformationDlg : public ToolWindow
{
    Q_OBJECT
  public:
    explicit PumpInformationDlg(QWidget *parent = nullptr);

    // The Query button: sends the chosen report command to pump 1 and then pump 2.
    void OnQuery();
    QComboBox *CommandBox() const { return m_command; }
    QPlainTextEdit *Replies() const { return m_replies; }

  protected:
    void resizeEvent(QResizeEvent *event) override;

  private:
    QComboBox *m_command = nullptr;
    QPlainTextEdit *m_replies = nullptr;
};
