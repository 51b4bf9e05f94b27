#include "tools/gui/ToolWindowKit.h"

#include "app/AnalysisToolWindows.h"
#include "app/ToolServices.h"
#include "app/gui/DropDownCombo.h"
#include "platform/Ui.h"
#include "platform/gui/QtText.h"

#include <QAbstractButton>
#include <QApplication>
#include <QBoxLayout>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVariant>

namespace {

constexpr const char *kIdProperty = "vantelisControlId";

} // namespace

QWidget *FindControl(const QWidget *window, int id)
{
    if (!window || id == 0)
        return nullptr;
    for (QWidget *child : window->findChildren<QWidget *>()) {
        if (ControlId(child) == id)
            return child;
    }
    return nullptr;
}

int ControlId(const QWidget *control)
{
    if (!control)
        return 0;
    const QVariant id = control->property(kIdProperty);
    return id.isValid() ? id.toInt() : 0;
}

void PostToWindow(QPointer<QWidget> window, std::function<void()> update)
{
    platform::ui::Ui().RunOnGuiThread(
        [window, update = std::move(update)] {
            if (window)
                update();
        },
        false);
}

ToolWindow::ToolWindow(const char *title, QWidget *parent) : QDialog(parent)
{
    setWindowTitle(platform::gui::ToQt(title));
    setModal(false);
}

ToolWindow::~ToolWindow() = default;

void ToolWindow::TagControl(int id, QWidget *control)
{
    control->setProperty(kIdProperty, id);
    control->setObjectName(QStringLiteral("control%1").arg(id));
}

std::string ToolWindow::ControlText(int id) const
{
    using namespace platform::gui;
    QWidget *control = Control(id);
    if (auto *edit = qobject_cast<QLineEdit *>(control))
        return EditText(edit);
    if (auto *combo = qobject_cast<QComboBox *>(control))
        return ComboText(combo);
    if (auto *label = qobject_cast<QLabel *>(control))
        return KeptText(label, label->text());
    if (auto *button = qobject_cast<QAbstractButton *>(control))
        return KeptText(button, button->text());
    return std::string();
}

void ToolWindow::SetControlText(int id, const std::string &text)
{
    using namespace platform::gui;
    QWidget *control = Control(id);
    if (auto *edit = qobject_cast<QLineEdit *>(control))
        SetEditText(edit, text);
    else if (auto *combo = qobject_cast<QComboBox *>(control))
        SetComboEditText(combo, text);
    else if (auto *label = qobject_cast<QLabel *>(control))
        label->setText(ShowKept(label, text));
    else if (auto *button = qobject_cast<QAbstractButton *>(control))
        button->setText(ShowKept(button, text));
}

bool ToolWindow::IsChecked(int id) const
{
    auto *button = qobject_cast<QAbstractButton *>(Control(id));
    return button && button->isChecked();
}

void ToolWindow::SetChecked(int id, bool checked)
{
    if (auto *button = qobject_cast<QAbstractButton *>(Control(id)))
        button->setChecked(checked);
}

bool ToolWindow::IsControlEnabled(int id) const
{
    QWidget *control = Control(id);
    return control && control->isEnabled();
}

void ToolWindow::EnableControl(int id, bool enabled)
{
    if (QWidget *control = Control(id))
        control->setEnabled(enabled);
}

void ToolWindow::RestartTimer(int id, int milliseconds)
{
    QTimer *&timer = m_timers[id];
    if (!timer) {
        timer = new QTimer(this);
        timer->setSingleShot(true);
        connect(timer, &QTimer::timeout, this, [this, id] { OnTimer(id); });
    }
    timer->stop();
    timer->start(milliseconds);
}

void ToolWindow::KillTimer(int id)
{
    auto it = m_timers.find(id);
    if (it != m_timers.end())
        it->second->stop();
}

bool ToolWindow::TimerActive(int id) const
{
    auto it = m_timers.find(id);
    return it != m_timers.end() && it->second->isActive();
}

int ToolWindow::TimerInterval(int id) const
{
    return TimerActive(id) ? m_timers.at(id)->interval() : -1;
}

WaitCursor::WaitCursor()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

WaitCursor::~WaitCursor()
{
    QApplication::restoreOverrideCursor();
}

DropDownCombo *ToolWindow::AddParamSetRow(QBoxLayout *layout, int comboId, int saveId)
{
    auto *row = new QHBoxLayout;
    row->addWidget(new QLabel("Parameter Set", this));
    auto *combo = AddControl(comboId, new DropDownCombo(this));
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setMinimumContentsLength(18);
    row->addWidget(combo, 1);
    auto *save = AddControl(saveId, new QPushButton("Save", this));
    save->setAutoDefault(false);
    row->addWidget(save);
    layout->addLayout(row);
    return combo;
}

QGroupBox *ToolWindow::AddRoiGroup(int left, int top, int right, int bottom)
{
    auto *group = new QGroupBox(" Region of Interest", this);
    auto *grid = new QGridLayout(group);
    const struct
    {
        int id;
        const char *label;
    } edits[] = {{left, "Left"}, {right, "Right"}, {top, "Top"}, {bottom, "Bottom"}};
    for (int i = 0; i < 4; ++i) {
        grid->addWidget(new QLabel(edits[i].label, group), i / 2, (i % 2) * 2);
        auto *edit = AddControl(edits[i].id, new QLineEdit(group));
        edit->setEnabled(false);
        edit->setMaximumWidth(70);
        grid->addWidget(edit, i / 2, (i % 2) * 2 + 1);
    }
    return group;
}

void ToolWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        reject();
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void HideOtherFolderTools(const ModelessWindow &shown)
{
    for (ModelessWindow *tool :
         {&AnalysisTools().ImageAnalysisTool(), &Fractionation().Window(), &ProjectionTool().Window()})
        if (tool != &shown && tool->HasWindow() && tool->IsVisible())
            tool->Show(false);
}
