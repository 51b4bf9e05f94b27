#include "script/gui/ScriptRenameDlg.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

ScriptRenameDlg::ScriptRenameDlg(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Script Rename"));
    setModal(true);
    auto *layout = new QVBoxLayout(this);
    m_edit = new QLineEdit(this);
    m_edit->setMaxLength(1023);
    m_edit->setMinimumWidth(260);
    layout->addWidget(m_edit);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &ScriptRenameDlg::OnOK);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void ScriptRenameDlg::OnInitDialog()
{
    m_edit->setText(QString::fromLatin1(m_name.c_str()));
    m_edit->selectAll();
}

void ScriptRenameDlg::OnOK()
{
    m_name = m_edit->text().left(1023).toLatin1().toStdString();
    accept();
}

void ScriptRenameDlg::showEvent(QShowEvent *event)
{
    OnInitDialog();
    QDialog::showEvent(event);
}
