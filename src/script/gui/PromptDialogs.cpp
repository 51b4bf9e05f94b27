#include "script/gui/PromptDialogs.h"

#include "platform/Ui.h"
#include "platform/Utf8Text.h"
#include "platform/gui/QtText.h"

#include <QApplication>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

namespace {

constexpr int kMaxValueLength = 1023;

} // namespace

PromptDlg::PromptDlg(const ScriptPrompt &prompt, double scale, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), m_kind(prompt.kind)
{
    QFont font = this->font();
    font.setPixelSize(19);
    setFont(font);

    auto *layout = new QVBoxLayout(this);
    auto *message = new QLabel(platform::gui::ToQt(prompt.message), this);
    message->setObjectName("message");
    message->setAlignment(Qt::AlignCenter);
    message->setWordWrap(true);
    message->setMinimumWidth(360);
    layout->addWidget(message);

    if (m_kind == ScriptPrompt::Kind::Value) {
        m_edit = new QLineEdit(this);
        platform::gui::LimitEditBytes(m_edit, kMaxValueLength);
        platform::gui::SetEditText(m_edit, prompt.value);
        m_edit->setObjectName("value");
        m_edit->setAlignment(Qt::AlignCenter);
        layout->addWidget(m_edit);
    }

    auto *row = new QHBoxLayout;
    const int gap = static_cast<int>(std::lround(scale * 8));
    row->setSpacing(gap);
    row->addStretch(1);
    std::vector<QString> captions;
    switch (m_kind) {
    case ScriptPrompt::Kind::Info:
        captions = {"Continue"};
        break;
    case ScriptPrompt::Kind::ContinueCancel:
        captions = {"Continue", "Cancel"};
        break;
    case ScriptPrompt::Kind::Value:
        captions = {"OK", "Cancel"};
        break;
    case ScriptPrompt::Kind::Custom:
        for (const std::string &caption : PromptCustomCaptions(prompt.captions))
            captions.push_back(platform::gui::ToQt(caption));
        break;
    }
    const QFontMetrics metrics(font);
    const int w = static_cast<int>(std::lround(metrics.horizontalAdvance("W") * scale));
    for (size_t i = 0; i < captions.size(); ++i) {
        auto *button = new QPushButton(captions[i], this);
        button->setObjectName(QString("button%1").arg(i + 1));
        if (m_kind == ScriptPrompt::Kind::Custom) {
            // As wide as the caption plus one "W" on each side.
            const int text = static_cast<int>(std::lround(metrics.horizontalAdvance(captions[i]) * scale));
            button->setFixedWidth(text + 2 * w);
        }
        const int number = static_cast<int>(i) + 1;
        const bool cancel = m_kind != ScriptPrompt::Kind::Custom && captions[i] == "Cancel";
        connect(button, &QPushButton::clicked, this, [this, number, cancel] {
            if (m_kind == ScriptPrompt::Kind::Custom)
                Finish(number);
            else
                Finish(cancel ? kPromptCancel : kPromptOk);
        });
        if (i == 0 && m_kind != ScriptPrompt::Kind::Custom)
            button->setDefault(true);
        row->addWidget(button);
        m_buttons.push_back(button);
    }
    row->addStretch(1);
    layout->addLayout(row);
    if (m_edit)
        m_edit->setFocus();
}

std::string PromptDlg::Value() const
{
    return m_edit ? platform::TruncateUtf8(platform::gui::EditText(m_edit), kMaxValueLength) : std::string();
}

void PromptDlg::reject()
{
    // Esc: cancel, or no button of a custom prompt.
    Finish(m_kind == ScriptPrompt::Kind::Custom ? 0 : kPromptCancel);
}

void PromptDlg::Finish(int answer)
{
    m_answer = answer;
    done(answer == kPromptCancel || answer == 0 ? QDialog::Rejected : QDialog::Accepted);
}

QtScriptPromptHost::QtScriptPromptHost(QObject *parent) : QObject(parent) {}

QtScriptPromptHost::~QtScriptPromptHost() = default;

uint64_t QtScriptPromptHost::Open(const ScriptPrompt &prompt, std::function<void(int, std::string)> done)
{
    const uint64_t token = ++m_next;
    QPointer<QtScriptPromptHost> self(this);
    const double scale = prompt.kind == ScriptPrompt::Kind::Custom ? MonitorScaleFactor() : 1.0;
    platform::ui::Ui().RunOnGuiThread(
        [self, token, prompt, scale, done = std::move(done)] {
            if (!self)
                return;
            auto *dialog = new PromptDlg(prompt, scale, QApplication::activeWindow());
            dialog->setAttribute(Qt::WA_DeleteOnClose);
            dialog->setWindowModality(Qt::ApplicationModal);
            QObject::connect(dialog, &QDialog::finished, dialog, [self, token, dialog, done] {
                if (self)
                    self->m_prompts.Remove(token);
                done(dialog->Answer(), dialog->Value());
            });
            self->m_prompts.Add(token, dialog);
            dialog->show();
        },
        false);
    return token;
}

void QtScriptPromptHost::Dismiss(uint64_t token)
{
    QPointer<QtScriptPromptHost> self(this);
    platform::ui::Ui().RunOnGuiThread(
        [self, token] {
            if (self)
                self->m_prompts.Close(token);
        },
        false);
}

std::vector<PromptDlg *> QtScriptPromptHost::OpenPrompts() const
{
    return m_prompts.Visible();
}
