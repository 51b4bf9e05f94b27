#include "script/gui/WaitWithTimerDlg.h"

#include "Ostravo/TextFormat.h"
#include "platform/Clock.h"
#include "platform/gui/QtText.h"
#include "script/gui/FontTable.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

WaitWithTimerDlg::WaitWithTimerDlg(QWidget *parent) : QDialog(parent)
{
    // A caption bar without title text or system menu.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowTitle(QString());
    setModal(false);
    setFont(MappedFont("Microsoft Sans Serif", 14));
    auto *layout = new QVBoxLayout(this);
    m_time = new QLabel(QStringLiteral("00:00"), this);
    m_time->setObjectName(QStringLiteral("time"));
    m_time->setAlignment(Qt::AlignCenter);
    m_message = new QLabel(this);
    m_message->setObjectName(QStringLiteral("message"));
    m_message->setAlignment(Qt::AlignCenter);
    m_message->setWordWrap(true);
    m_message->setMinimumHeight(2 * fontMetrics().lineSpacing() + 4);
    m_continue = new QPushButton(QStringLiteral("Continue"), this);
    m_continue->setDefault(true);
    layout->addWidget(m_time);
    layout->addWidget(m_message);
    layout->addWidget(m_continue, 0, Qt::AlignHCenter);
    setMinimumWidth(360);
    m_timer = new QTimer(this);
    m_timer->setInterval(kTimerPeriodMs);
    connect(m_timer, &QTimer::timeout, this, &WaitWithTimerDlg::OnTimer);
    connect(m_continue, &QPushButton::clicked, this, &WaitWithTimerDlg::OnBnClickedContinue);
}

std::string WaitWithTimerDlg::FormatWaitTime(uint64_t milliseconds)
{
    const uint64_t s = (milliseconds + 500) / 1000;
    return FormatText("%02lu:%02lu", static_cast<unsigned long>(s / 60), static_cast<unsigned long>(s % 60));
}

void WaitWithTimerDlg::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    OnShowWindow();
}

void WaitWithTimerDlg::OnShowWindow()
{
    if (!m_text.empty())
        m_message->setText(platform::gui::ShowKept(m_message, m_text));
    const uint32_t seconds = m_seconds > 0 ? static_cast<uint32_t>(m_seconds) : 0u;
    m_time->setText(m_count_up == 1 ? QStringLiteral("00:00")
                                    : platform::gui::ToQt(FormatWaitTime(uint64_t{seconds} * 1000u)));
    m_start_tick = platform::TickMs();
    m_timer->start();
}

void WaitWithTimerDlg::OnTimer()
{
    const uint64_t total = static_cast<uint64_t>(m_seconds > 0 ? m_seconds : 0) * 1000u;
    const uint64_t elapsed = platform::TickMs() - m_start_tick;
    const uint64_t remaining = elapsed < total ? total - elapsed : 0;
    std::string text;
    if (remaining > 500)
        text = FormatWaitTime(m_count_up == 1 ? elapsed : remaining);
    m_time->setText(platform::gui::ToQt(text));
    if (remaining < 200) {
        m_timer->stop();
        done(1);
    }
}

void WaitWithTimerDlg::OnBnClickedContinue()
{
    m_timer->stop();
    accept();
}

void WaitWithTimerDlg::keyPressEvent(QKeyEvent *event)
{
    // Enter is "Continue"; Escape does what the dialog's cancel would, ending the wait too.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        OnBnClickedContinue();
        return;
    }
    QDialog::keyPressEvent(event);
}

std::string WaitWithTimerDlg::TimeText() const
{
    return platform::gui::FromQt(m_time->text());
}

std::string WaitWithTimerDlg::MessageText() const
{
    return platform::gui::KeptText(m_message, m_message->text());
}

bool WaitWithTimerDlg::TimerRunning() const
{
    return m_timer->isActive();
}
