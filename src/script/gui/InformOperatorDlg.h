#pragma once
// The inform-operator window: a message and "Close". A script puts a message into it for a number
// of seconds and goes on at once; the window counts the seconds down and hides itself at 0.
#include <QDialog>

#include <cstdint>
#include <string>

class QLabel;
class QTimer;

class InformOperatorDlg : public QDialog
{
    Q_OBJECT
  public:
    static constexpr int kTimerId = 1000;

    explicit InformOperatorDlg(QWidget *parent = nullptr);

    int32_t m_seconds_left = 0;

    // The command's hand-over: the message and the seconds rule. 0 hides the window at the first
    // tick; a negative count shows it until it is closed; a positive one counts down once a second.
    void Inform(const std::string &text, int32_t seconds);
    void OnTimer();

    std::string MessageText() const;
    bool TimerRunning() const;
    int TimerInterval() const;

  private:
    QLabel *m_message = nullptr;
    QTimer *m_timer = nullptr;
};
