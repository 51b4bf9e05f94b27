#include "script/gui/QtScriptDialogHost.h"

#include "platform/Ui.h"
#include "platform/gui/QtText.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>

using namespace platform::ui;

QtScriptDialogHost::QtScriptDialogHost(QObject *parent) : QObject(parent) {}

QtScriptDialogHost::~QtScriptDialogHost() = default;

uint64_t QtScriptDialogHost::OpenMessageBox(const std::string &text, const std::string &caption,
                                            uint32_t flags, std::function<void(int answer)> answer)
{
    const uint64_t token = ++m_next;
    QPointer<QtScriptDialogHost> self(this);
    Ui().RunOnGuiThread(
        [self, token, text, caption, flags, answer = std::move(answer)] {
            if (!self)
                return;
            auto *box = new QMessageBox(QApplication::activeWindow());
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->setWindowModality(Qt::ApplicationModal);
            box->setWindowTitle(platform::gui::ToQt(caption));
            box->setText(platform::gui::ToQt(text));
            switch (flags & 0xF0) {
            case MbIconError:
                box->setIcon(QMessageBox::Critical);
                break;
            case MbIconQuestion:
                box->setIcon(QMessageBox::Question);
                break;
            case MbIconWarning:
                box->setIcon(QMessageBox::Warning);
                break;
            case MbIconInformation:
                box->setIcon(QMessageBox::Information);
                break;
            default:
                break;
            }
            int escape = IdOk;
            switch (flags & 0xF) {
            case MbOkCancel:
                box->setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
                escape = IdCancel;
                break;
            case MbYesNo:
                box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
                escape = IdNo;
                break;
            case MbYesNoCancel:
                box->setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
                escape = IdCancel;
                break;
            default:
                box->setStandardButtons(QMessageBox::Ok);
                break;
            }
            QObject::connect(box, &QMessageBox::finished, box, [self, token, box, answer, escape] {
                if (self)
                    self->m_boxes.Remove(token);
                QAbstractButton *clicked = box->clickedButton();
                int result = escape;
                if (clicked) {
                    switch (box->standardButton(clicked)) {
                    case QMessageBox::Yes:
                        result = IdYes;
                        break;
                    case QMessageBox::No:
                        result = IdNo;
                        break;
                    case QMessageBox::Cancel:
                        result = IdCancel;
                        break;
                    default:
                        result = IdOk;
                        break;
                    }
                }
                answer(result);
            });
            self->m_boxes.Add(token, box);
            box->show();
        },
        false);
    return token;
}

void QtScriptDialogHost::Dismiss(uint64_t token)
{
    QPointer<QtScriptDialogHost> self(this);
    Ui().RunOnGuiThread(
        [self, token] {
            if (self)
                self->m_boxes.Close(token);
        },
        false);
}

std::vector<QMessageBox *> QtScriptDialogHost::OpenBoxes() const
{
    return m_boxes.Visible();
}
