#include "platform/gui/QtUserInterface.h"

#include "platform/Files.h"
#include "platform/gui/QtText.h"

#include <algorithm>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QMetaObject>
#include <QStatusBar>
#include <QThread>
#include <QTimer>
#include <QVariant>

namespace platform::gui {

using namespace platform::ui;

namespace {

QString StartPath(const std::string &start)
{
    return PathToQt(platform::NormalizePath(start));
}

} // namespace

QtUserInterface::QtUserInterface(QObject *parent) : QObject(parent) {}

QtUserInterface::~QtUserInterface() = default;

std::shared_ptr<QtUserInterface> QtUserInterface::Install()
{
    std::shared_ptr<QtUserInterface> ui(new QtUserInterface, [](QtUserInterface *object) {
        if (QThread::currentThread() == object->thread())
            delete object;
        else
            object->deleteLater();
    });
    platform::ui::SetUi(ui);
    return ui;
}

bool QtUserInterface::OnGuiThread() const
{
    return QThread::currentThread() == thread();
}

template <typename Result> Result QtUserInterface::Ask(std::function<Result()> question)
{
    if (OnGuiThread())
        return question();
    Result result{};
    // Blocks this worker until the GUI thread has run the question.
    QMetaObject::invokeMethod(
        this, [&result, &question] { result = question(); }, Qt::BlockingQueuedConnection);
    return result;
}

void QtUserInterface::Post(std::function<void()> setter)
{
    if (OnGuiThread())
        setter();
    else
        QMetaObject::invokeMethod(this, std::move(setter), Qt::QueuedConnection);
}

QWidget *QtUserInterface::DialogParent()
{
    if (QWidget *modal = QApplication::activeModalWidget())
        return modal;
    return QApplication::activeWindow();
}

void QtUserInterface::RegisterStatusTarget(const std::string &target, QObject *control)
{
    std::lock_guard<std::mutex> lock(m_targetsMutex);
    m_targets[target] = StatusTarget{QPointer<QObject>(control), nullptr};
}

void QtUserInterface::RegisterStatusTarget(const std::string &target,
                                           std::function<void(const std::string &)> show)
{
    std::lock_guard<std::mutex> lock(m_targetsMutex);
    m_targets[target] = StatusTarget{QPointer<QObject>(), std::move(show)};
}

void QtUserInterface::UnregisterStatusTarget(const std::string &target)
{
    std::lock_guard<std::mutex> lock(m_targetsMutex);
    m_targets.erase(target);
}

int QtUserInterface::MessageBox(const std::string &text, const std::string &caption, uint32_t flags)
{
    return Ask<int>([&]() -> int {
        QMessageBox box(DialogParent());
        box.setWindowTitle(ToQt(caption));
        box.setText(ToQt(text));
        switch (flags & 0xF0) {
        case MbIconError:
            box.setIcon(QMessageBox::Critical);
            break;
        case MbIconQuestion:
            box.setIcon(QMessageBox::Question);
            break;
        case MbIconWarning:
            box.setIcon(QMessageBox::Warning);
            break;
        case MbIconInformation:
            box.setIcon(QMessageBox::Information);
            break;
        default:
            break;
        }
        // The first button is the default one; closing the box answers with the way out it offers.
        QMessageBox::StandardButton first = QMessageBox::Ok;
        QMessageBox::StandardButton escape = QMessageBox::Ok;
        switch (flags & 0xF) {
        case MbOkCancel:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            escape = QMessageBox::Cancel;
            break;
        case MbYesNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            first = QMessageBox::Yes;
            escape = QMessageBox::No;
            break;
        case MbYesNoCancel:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            first = QMessageBox::Yes;
            escape = QMessageBox::Cancel;
            break;
        default:
            box.setStandardButtons(QMessageBox::Ok);
            break;
        }
        box.setDefaultButton(first);
        box.setEscapeButton(escape);
        box.exec();
        QAbstractButton *clicked = box.clickedButton();
        QMessageBox::StandardButton answer = clicked ? box.standardButton(clicked) : escape;
        switch (answer) {
        case QMessageBox::Yes:
            return IdYes;
        case QMessageBox::No:
            return IdNo;
        case QMessageBox::Cancel:
            return IdCancel;
        default:
            return IdOk;
        }
    });
}

bool QtUserInterface::RefuseUnreadableName(const QString &picked)
{
    if (!IsUnreadableName(picked))
        return false;
    // Qt's dialogs show the bytes of a name that is not UTF-8 as U+FFFD and hand back that text,
    // which names another file or none: say so rather than open something else.
    MessageBox("The name \"" + FromQt(picked) +
                   "\" holds characters that are not UTF-8 text and cannot be opened from here. "
                   "Rename it and try again.",
               "Unreadable name", MbOk | MbIconError);
    return true;
}

bool QtUserInterface::BrowseForFolder(const std::string &title, const std::string &start, std::string &chosen)
{
    QString picked = Ask<QString>(
        [&] { return QFileDialog::getExistingDirectory(DialogParent(), ToQt(title), StartPath(start)); });
    if (picked.isEmpty() || RefuseUnreadableName(picked))
        return false;
    chosen = PathFromQt(picked);
    return true;
}

bool QtUserInterface::ChooseOpenFile(const std::string &title, const std::string &start,
                                     const std::string &filter, std::string &chosen)
{
    QString picked = Ask<QString>([&] {
        return QFileDialog::getOpenFileName(DialogParent(), ToQt(title), StartPath(start), ToQt(filter));
    });
    if (picked.isEmpty() || RefuseUnreadableName(picked))
        return false;
    chosen = PathFromQt(picked);
    return true;
}

bool QtUserInterface::ChooseSaveFile(const std::string &title, const std::string &start,
                                     const std::string &filter, std::string &chosen)
{
    QString picked = Ask<QString>([&] {
        return QFileDialog::getSaveFileName(DialogParent(), ToQt(title), StartPath(start), ToQt(filter));
    });
    if (picked.isEmpty() || RefuseUnreadableName(picked))
        return false;
    chosen = PathFromQt(picked);
    return true;
}

bool QtUserInterface::Prompt(const std::string &title, const std::string &label, std::string &text)
{
    struct Answer
    {
        bool ok = false;
        QString text;
    };
    Answer answer = Ask<Answer>([&] {
        Answer a;
        a.text = QInputDialog::getText(DialogParent(), ToQt(title), ToQt(label), QLineEdit::Normal,
                                       ToQt(text), &a.ok);
        return a;
    });
    if (!answer.ok)
        return false;
    // An answer left as offered keeps its bytes, even those that are not UTF-8.
    if (answer.text != ToQt(text))
        text = FromQt(answer.text);
    return true;
}

void QtUserInterface::ShowStatus(const std::string &target, const std::string &text)
{
    StatusTarget found;
    {
        std::lock_guard<std::mutex> lock(m_targetsMutex);
        auto it = m_targets.find(target);
        if (it == m_targets.end())
            return;
        found = it->second;
    }
    // Outside the lock: a callback may register or remove targets.
    if (found.show) {
        found.show(text);
        return;
    }
    if (!found.control) {
        UnregisterStatusTarget(target);
        return;
    }
    if (auto *bar = qobject_cast<QStatusBar *>(found.control.data()))
        bar->showMessage(ToQt(text));
    else
        found.control->setProperty("text", ToQt(text));
}

void QtUserInterface::SetStatusText(const std::string &target, const std::string &text)
{
    Post([this, target, text] { ShowStatus(target, text); });
}

void QtUserInterface::RunOnGuiThread(std::function<void()> work, bool wait)
{
    if (!work)
        return;
    if (OnGuiThread())
        work();
    else if (wait)
        QMetaObject::invokeMethod(
            this, [&work] { work(); }, Qt::BlockingQueuedConnection);
    else
        QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
}

void QtUserInterface::StartTimer(int id, uint32_t intervalMs, std::function<void()> onTick)
{
    Post([this, id, intervalMs, onTick = std::move(onTick)] {
        auto it = m_timers.find(id);
        if (it != m_timers.end()) {
            it->second->stop();
            it->second->deleteLater(); // a tick may be restarting its own timer
            m_timers.erase(it);
        }
        auto *timer = new QTimer(this);
        timer->setInterval(static_cast<int>(std::min<uint32_t>(intervalMs, 0x7FFFFFFF)));
        connect(timer, &QTimer::timeout, this, [onTick] {
            if (onTick)
                onTick();
        });
        m_timers[id] = timer;
        timer->start();
    });
}

void QtUserInterface::StopTimer(int id)
{
    Post([this, id] {
        auto it = m_timers.find(id);
        if (it == m_timers.end())
            return;
        it->second->stop();
        it->second->deleteLater(); // a tick may be stopping its own timer
        m_timers.erase(it);
    });
}

} // namespace platform::gui
