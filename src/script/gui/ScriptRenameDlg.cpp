#include "script/gui/ScriptRenameDlg.h"
#include "platform/Utf8Text.h"
#include "platform/gui/QtText.h"

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
    platform::gui::LimitEditBytes(m_edit, 1023);
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
    platform::gui::SetEditText(m_edit, m_name, platform::gui::TextKind::Path);
    m_edit->selectAll();
}

void ScriptRenameDlg::OnOK()
{
    m_name = platform::TruncateUtf8(platform::gui::EditText(m_edit), 1023);
    accept();
}

void ScriptRenameDlg::showEvent(QShowEvent *event)
{
    OnInitDialog();
    QDialog::showEvent(event);
}
