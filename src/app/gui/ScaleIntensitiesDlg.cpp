#include "app/gui/ScaleIntensitiesDlg.h"

#include "app/PlexorinApp.h"

#include "Ostravo/Profile.h"
#include "platform/gui/QtText.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstdio>

namespace {

constexpr int kMaxTextLength = 1022;

std::string EditText(const QLineEdit *edit)
{
    return platform::gui::FromQtLimited(edit->text(), kMaxTextLength);
}

// One "%d" number from an edit; false when the text does not start with one.
bool ReadNumber(const QLineEdit *edit, int &value)
{
    return std::sscanf(EditText(edit).c_str(), "%d", &value) == 1;
}

} // namespace

ScaleIntensitiesDlg::ScaleIntensitiesDlg(QWidget *parent)
    : QDialog(parent), m_settings_path(theApp.m_ini_path)
{
    setWindowTitle(QStringLiteral("Scale Intensities"));
    m_max_edit = new QLineEdit(this);
    m_min_edit = new QLineEdit(this);
    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_set_default = new QPushButton(QStringLiteral("Set Default"), this);
    m_ok->setDefault(true);

    auto *fields = new QGridLayout;
    fields->addWidget(new QLabel(QStringLiteral("Max Intensity"), this), 0, 0);
    fields->addWidget(m_max_edit, 0, 1);
    fields->addWidget(new QLabel(QStringLiteral("Min Intensity"), this), 1, 0);
    fields->addWidget(m_min_edit, 1, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_set_default);
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addLayout(buttons);

    // One-shot quiet-period timers: every keystroke starts its edit's timer again.
    m_max_timer.setSingleShot(true);
    m_min_timer.setSingleShot(true);
    m_max_timer.setInterval(kPreviewDelayMs);
    m_min_timer.setInterval(kPreviewDelayMs);
    connect(&m_max_timer, &QTimer::timeout, this, [this] { OnTimer(kMaxTimer); });
    connect(&m_min_timer, &QTimer::timeout, this, [this] { OnTimer(kMinTimer); });

    connect(m_ok, &QPushButton::clicked, this, &ScaleIntensitiesDlg::OnBnClickedOk);
    connect(m_cancel, &QPushButton::clicked, this, &ScaleIntensitiesDlg::OnBnClickedCancel);
    connect(m_set_default, &QPushButton::clicked, this, &ScaleIntensitiesDlg::OnSetDefault);
}

bool ScaleIntensitiesDlg::TimerActive(int id) const
{
    return id == kMaxTimer ? m_max_timer.isActive() : id == kMinTimer ? m_min_timer.isActive() : false;
}

void ScaleIntensitiesDlg::showEvent(QShowEvent *event)
{
    if (!m_initialised) {
        m_initialised = true;
        OnInitDialog();
    }
    QDialog::showEvent(event);
}

void ScaleIntensitiesDlg::OnInitDialog()
{
    m_max_edit->setText(QString::number(m_max_value));
    m_min_edit->setText(QString::number(m_min_value));
    connect(m_max_edit, &QLineEdit::textChanged, this, &ScaleIntensitiesDlg::OnChangeMax);
    connect(m_min_edit, &QLineEdit::textChanged, this, &ScaleIntensitiesDlg::OnChangeMin);
}

void ScaleIntensitiesDlg::OnChangeMax()
{
    m_max_timer.start();
}

void ScaleIntensitiesDlg::OnChangeMin()
{
    m_min_timer.start();
}

void ScaleIntensitiesDlg::OnTimer(int id)
{
    QLineEdit *edit = nullptr;
    int code = 0;
    if (id == kMaxTimer) {
        m_max_timer.stop();
        edit = m_max_edit;
        code = kUpperIntensityMessage;
    } else if (id == kMinTimer) {
        m_min_timer.stop();
        edit = m_min_edit;
        code = kLowerIntensityMessage;
    } else {
        return;
    }
    // A text that is no number is not previewed: the view keeps what it shows.
    int value = 0;
    if (ReadNumber(edit, value))
        PostToView(code, static_cast<uint32_t>(value));
}

void ScaleIntensitiesDlg::PostToView(int code, uint32_t value)
{
    if (!m_view_window || !m_view_message)
        return;
    std::function<void(int, uint32_t)> deliver = m_view_message;
    QMetaObject::invokeMethod(
        m_view_window.data(), [deliver, code, value] { deliver(code, value); }, Qt::QueuedConnection);
}

void ScaleIntensitiesDlg::OnBnClickedOk()
{
    // Values keep their low 16 bits; an edit that holds no number keeps the value it had.
    int value = 0;
    if (ReadNumber(m_max_edit, value))
        m_max_value = static_cast<uint16_t>(value);
    if (ReadNumber(m_min_edit, value))
        m_min_value = static_cast<uint16_t>(value);
    m_max_timer.stop();
    m_min_timer.stop();
    accept();
}

void ScaleIntensitiesDlg::OnBnClickedCancel()
{
    m_max_timer.stop();
    m_min_timer.stop();
    PostToView(kUpperIntensityMessage, m_restore_max_value);
    PostToView(kLowerIntensityMessage, m_restore_min_value);
    QDialog::reject();
}

// Escape and the window's close box end the dialog as Cancel does, restoring the view.
void ScaleIntensitiesDlg::reject()
{
    OnBnClickedCancel();
}

void ScaleIntensitiesDlg::OnSetDefault()
{
    SaveDefaults();
    OnBnClickedOk();
}

bool ScaleIntensitiesDlg::SaveDefaults()
{
    Ostravo::E_WritePrivateProfileString("ScaleIntensitiesDlg", "MaxIntensity", EditText(m_max_edit).c_str(),
                                         m_settings_path.c_str());
    Ostravo::E_WritePrivateProfileString("ScaleIntensitiesDlg", "MinIntensity", EditText(m_min_edit).c_str(),
                                         m_settings_path.c_str());
    return true;
}
