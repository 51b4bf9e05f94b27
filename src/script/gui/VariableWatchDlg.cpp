#include "script/gui/VariableWatchDlg.h"

#include "Ostravo/EString.h"
#include "platform/Clock.h"
#include "platform/Utf8Text.h"
#include "platform/gui/QtText.h"
#include "script/Script.h"
#include "script/gui/FontTable.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <cstdio>

bool FormatVariableValue(const Variable &variable, std::string &text)
{
    text.clear();
    switch (variable.type) {
    case kVariableInt: {
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "%ld", static_cast<long>(variable.integer));
        text = buffer;
        return true;
    }
    case kVariableDouble: {
        char buffer[32];
        text = FormatDouble(variable.number, buffer);
        return true;
    }
    case kVariableString:
        text = variable.text.c_str();
        return true;
    default:
        return false;
    }
}

namespace {

// A combo that tells its window before its list drops down.
class DropdownCombo : public QComboBox
{
  public:
    DropdownCombo(VariableWatchDlg *owner, int slot) : QComboBox(owner), m_owner(owner), m_slot(slot) {}
    void showPopup() override
    {
        m_owner->OnCbnDropdownVariable(m_slot);
        QComboBox::showPopup();
    }

  private:
    VariableWatchDlg *m_owner;
    int m_slot;
};

} // namespace

VariableWatchDlg::VariableWatchDlg(QWidget *parent) : ToolWindow("Variable Watch", parent)
{
    setWindowFlag(Qt::Tool, true);
    setFont(MappedFont("Microsoft Sans Serif", 9));
    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(5, 5, 5, 5);
    auto *watchAll = AddControl(kWatchAllId, new QPushButton(QStringLiteral("Watch All"), this));
    grid->addWidget(watchAll, 0, 0);
    for (int slot = 1; slot <= kSlots; ++slot) {
        auto *combo = AddControl(kFirstComboId + slot - 1, new DropdownCombo(this, slot));
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->setMinimumWidth(140);
        auto *value = AddControl(kFirstValueId + slot - 1, new QLineEdit(this));
        value->setMinimumWidth(20);
        grid->addWidget(combo, slot, 0);
        grid->addWidget(value, slot, 1);
    }
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(kSlots + 1, 1);
    resize(340, 330);
    connect(watchAll, &QPushButton::clicked, this, &VariableWatchDlg::OnBnClickedWatchAll);
}

VariableWatchDlg::~VariableWatchDlg() = default;

QComboBox *VariableWatchDlg::Combo(int slot) const
{
    return ControlAs<QComboBox>(kFirstComboId + slot - 1);
}

QLineEdit *VariableWatchDlg::Value(int slot) const
{
    return ControlAs<QLineEdit>(kFirstValueId + slot - 1);
}

void VariableWatchDlg::UpdateVariables(int handle, const VariableList &variables)
{
    if (handle != SCRIPT_HANDLE_FLUIDIC_SYSTEM || !m_visible.load())
        return;
    const uint64_t now = platform::TickMs();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_updated && now - m_last_update_ms < 1000)
            return;
        m_updated = true;
        m_last_update_ms = now;
        auto copy = std::make_unique<VariableList>(variables);
        auto names = std::make_shared<std::vector<std::string>>();
        for (const Variable &variable : variables)
            names->push_back(variable.name.c_str());
        m_variables = std::move(copy);
        m_variable_names = std::move(names);
    }
    PostToWindow(QPointer<QWidget>(this), [this] { RestartTimer(kRefreshTimer, 10); });
}

void VariableWatchDlg::OnTimer(int id)
{
    if (id == kRefreshTimer)
        RefreshValues();
}

void VariableWatchDlg::showEvent(QShowEvent *event)
{
    m_visible = true;
    ToolWindow::showEvent(event);
    RefreshValues();
}

void VariableWatchDlg::hideEvent(QHideEvent *event)
{
    m_visible = false;
    ToolWindow::hideEvent(event);
}

std::shared_ptr<std::vector<std::string>> VariableWatchDlg::Names()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_variable_names;
}

void VariableWatchDlg::RefreshValues()
{
    const bool running = Script::IsScriptRunning(SCRIPT_HANDLE_FLUIDIC_SYSTEM);
    EnableControl(kWatchAllId, running);
    for (int slot = 1; slot <= kSlots; ++slot) {
        EnableControl(kFirstComboId + slot - 1, running);
        EnableControl(kFirstValueId + slot - 1, running);
    }
    if (!running)
        return;
    std::unique_ptr<VariableList> copy;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        copy = std::move(m_variables);
    }
    if (!copy)
        return;
    for (int slot = 1; slot <= kSlots; ++slot) {
        const std::string name = platform::TruncateUtf8(platform::gui::ComboText(Combo(slot)), 1023);
        if (name.empty()) {
            Value(slot)->clear();
            continue;
        }
        size_t index = 0;
        if (!FindVariable(*copy, name.c_str(), index))
            continue;
        std::string text;
        FormatVariableValue((*copy)[index], text);
        Value(slot)->setText(platform::gui::ToQt(text));
    }
}

void VariableWatchDlg::OnCbnDropdownVariable(int slot)
{
    const std::shared_ptr<std::vector<std::string>> names = Names();
    if (!names)
        return;
    QComboBox *combo = Combo(slot);
    const QString edited = combo->currentText();
    combo->clear();
    std::vector<std::string> items = *names;
    platform::gui::SortByShownText(items, platform::gui::TextKind::Text);
    for (const std::string &item : items)
        platform::gui::AddComboItem(combo, item);
    combo->setEditText(edited);
}

void VariableWatchDlg::OnBnClickedWatchAll()
{
    const std::shared_ptr<std::vector<std::string>> names = Names();
    if (!names)
        return;
    for (int slot = 1; slot <= kSlots; ++slot) {
        const size_t index = static_cast<size_t>(slot - 1);
        platform::gui::SetComboEditText(Combo(slot), index < names->size() ? (*names)[index] : std::string());
        Value(slot)->clear();
    }
}
