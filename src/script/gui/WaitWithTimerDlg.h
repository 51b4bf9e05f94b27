#pragma once
// The wait countdown: a message, the remaining (or elapsed) time as minutes and seconds, and
// "Continue". A script thread hands over the message, the seconds and the direction and shows the
// window; the window closes itself when the time is up, when "Continue" is pressed, or when the
// script thread ends it after a stop. One window, reused by every wait of both handles.
#include <QDialog>

#include <cstdint>
#include <string>

class QLabel;
class QPushButton;
class QTimer;

class WaitWithTimerDlg : public QDialog
{
    Q_OBJECT
  public:
    static constexpr int kTimerId = 1000;
    static constexpr int kTimerPeriodMs = 950;

    explicit WaitWithTimerDlg(QWidget *parent = nullptr);

    // Message to show; empty keeps the previous one.
    std::string m_text;
    // Length of the wait in whole seconds.
    int32_t m_seconds = 0;
    // 1: the time counts the elapsed time up from "00:00"; otherwise the remaining time down.
    int32_t m_count_up = 0;
    // Monotonic tick (ms) at which the window was shown: a clock set back or forward while the
    // window shows neither stretches nor cuts the wait.
    uint64_t m_start_tick = 0;

    // The show: message, first time text, start time, timer.
    void OnShowWindow();
    // One tick of the timer: the new time text; ends the dialog when the time is up.
    void OnTimer();
    void OnBnClickedContinue();

    std::string TimeText() const;
    std::string MessageText() const;
    bool TimerRunning() const;

    // The time text for a value in milliseconds: seconds rounded half away from zero, "%02lu:%02lu"
    // of minutes and seconds (minutes not limited to two digits).
    static std::string FormatWaitTime(uint64_t milliseconds);

  protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

  private:
    QLabel *m_time = nullptr;
    QLabel *m_message = nullptr;
    QPushButton *m_continue = nullptr;
    QTimer *m_timer = nullptr;
};
