#include "app/gui/PasswordDlg.h"
#include "platform/gui/QtText.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

PasswordDlg::PasswordDlg(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Password"));
    m_label = new QLabel(this);
    m_edit = new QLineEdit(this);
    // The typed characters are never shown in clear.
    m_edit->setEchoMode(QLineEdit::Password);
    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_ok->setDefault(true);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_label);
    layout->addWidget(m_edit);
    layout->addLayout(buttons);

    connect(m_ok, &QPushButton::clicked, this, &PasswordDlg::OnBnClickedOk);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void PasswordDlg::showEvent(QShowEvent *event)
{
    if (!m_initialised) {
        m_initialised = true;
        OnInitDialog();
    }
    QDialog::showEvent(event);
}

void PasswordDlg::OnInitDialog()
{
    m_label->setText(platform::gui::ToQt(m_prompt));
}

void PasswordDlg::OnBnClickedOk()
{
    m_password = platform::gui::FromQtLimited(m_edit->text(), kMaxPasswordLength);
    accept();
}
