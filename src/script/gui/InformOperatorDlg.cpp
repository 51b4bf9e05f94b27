#include "script/gui/InformOperatorDlg.h"

#include "platform/gui/QtText.h"
#include "script/gui/FontTable.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

InformOperatorDlg::InformOperatorDlg(QWidget *parent) : QDialog(parent)
{
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowTitle(QString());
    setModal(false);
    setFont(MappedFont("Microsoft Sans Serif", 14));
    auto *layout = new QVBoxLayout(this);
    m_message = new QLabel(this);
    m_message->setObjectName(QStringLiteral("message"));
    m_message->setAlignment(Qt::AlignCenter);
    m_message->setWordWrap(true);
    m_message->setMinimumHeight(2 * fontMetrics().lineSpacing() + 4);
    auto *close = new QPushButton(QStringLiteral("Close"), this);
    close->setDefault(true);
    layout->addWidget(m_message);
    layout->addWidget(close, 0, Qt::AlignHCenter);
    setMinimumWidth(360);
    m_timer = new QTimer(this);
    connect(m_timer, &QTimer::timeout, this, &InformOperatorDlg::OnTimer);
    // Close and Escape hide the window; the count keeps running.
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
}

void InformOperatorDlg::Inform(const std::string &text, int32_t seconds)
{
    if (seconds == 0)
        hide();
    m_message->setText(platform::gui::ShowKept(m_message, text));
    m_seconds_left = seconds;
    m_timer->stop();
    if (seconds == 0) {
        m_seconds_left = 1;
        m_timer->start(0);
    } else if (seconds > 0) {
        m_timer->start(1000);
    }
    show();
}

void InformOperatorDlg::OnTimer()
{
    if (m_seconds_left != 0) {
        --m_seconds_left;
        if (m_seconds_left == 0) {
            m_timer->stop();
            hide();
        }
    }
}

std::string InformOperatorDlg::MessageText() const
{
    return platform::gui::KeptText(m_message, m_message->text());
}

bool InformOperatorDlg::TimerRunning() const
{
    return m_timer->isActive();
}

int InformOperatorDlg::TimerInterval() const
{
    return m_timer->isActive() ? m_timer->interval() : -1;
}
