#include "devices/gui/ControlPanelDlg.h"

#include "Ostravo/TecanCentris.h"
#include "Ostravo/gui/DialogUtils.h"
#include "app/PlexorinApp.h"
#include "devices/ControlPanel.h"
#include "platform/Ui.h"
#include "platform/gui/QtText.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

namespace {

using namespace control_panel_id;

constexpr int kButtonWidth = 112;
constexpr int kButtonHeight = 30;
constexpr int kGap = 4;
constexpr int kColumns = 4;
constexpr int kBoxTop = 4;
constexpr int kBoxHeight = 24;
constexpr int kButtonsTop = kBoxTop + kBoxHeight + 6;

// A combo box that fills its list just before it opens.
class PanelNameCombo : public QComboBox
{
  public:
    PanelNameCombo(QWidget *parent, std::function<void()> beforeOpen)
        : QComboBox(parent), m_beforeOpen(std::move(beforeOpen))
    {
    }
    void showPopup() override
    {
        m_beforeOpen();
        QComboBox::showPopup();
    }

  private:
    std::function<void()> m_beforeOpen;
};

} // namespace

ControlPanelDlg::ControlPanelDlg(QWidget *parent) : ToolWindow("Control Panel", parent)
{
    m_colors.fill(kDefaultButtonColor);
    m_titles.fill("[Empty]");
    for (int i = 0; i < kControlPanelButtonCount; ++i) {
        auto *button = AddControl(kFirstButton + i, new ColouredButton(this));
        button->setObjectName(QString::number(kFirstButton + i));
        button->setText("[Empty]");
        button->setFocusPolicy(Qt::NoFocus);
        button->setGeometry(kGap + (i % kColumns) * (kButtonWidth + kGap),
                            kButtonsTop + (i / kColumns) * (kButtonHeight + kGap), kButtonWidth,
                            kButtonHeight);
        // Clicks are taken before the button sees them, as a message pre-translation would.
        button->installEventFilter(this);
        m_buttons[static_cast<size_t>(i)] = button;
    }
    const int barsLeft = kGap + kColumns * (kButtonWidth + kGap) + 6;
    const int rowsHeight = 5 * (kButtonHeight + kGap) - kGap;
    for (int pump = 0; pump < 2; ++pump) {
        const int left = barsLeft + pump * 40;
        auto *label = new QLabel(QString::number(pump + 1), this);
        label->setAlignment(Qt::AlignCenter);
        label->setGeometry(left, kButtonsTop, 30, 16);
        auto *bar = AddControl(pump == 0 ? kPumpBar1 : kPumpBar2, new QProgressBar(this));
        bar->setOrientation(Qt::Vertical);
        bar->setTextVisible(false);
        bar->setRange(0, 100);
        bar->setValue(0);
        bar->setGeometry(left + 5, kButtonsTop + 18, 20, rowsHeight - 40);
        auto *text = AddControl(pump == 0 ? kPumpText1 : kPumpText2, new QLabel(this));
        text->setAlignment(Qt::AlignCenter);
        text->setGeometry(left - 5, kButtonsTop + rowsHeight - 18, 40, 18);
        m_bars[static_cast<size_t>(pump)] = bar;
        m_volumeTexts[static_cast<size_t>(pump)] = text;
    }
    m_panelName = AddControl(kPanelName, new PanelNameCombo(this, [this] { FillPanelNames(); }));
    m_panelName->setEditable(true);
    m_panelName->setInsertPolicy(QComboBox::NoInsert);
    m_panelName->setEnabled(false);
    // The window's own changes of the text block the box's signals, so only typing lands here.
    connect(m_panelName, &QComboBox::editTextChanged, this, [this] { RestartTimer(kPanelNameTimer, 1000); });
    connect(m_panelName, QOverload<int>::of(&QComboBox::activated), this,
            [this] { RestartTimer(kPanelNameTimer, 0); });
    resize(barsLeft + 80, kButtonsTop + rowsHeight + kGap + 4);
}

ControlPanelDlg::~ControlPanelDlg() = default;

ColouredButton *ControlPanelDlg::Button(int buttonId) const
{
    const int index = buttonId - kFirstButton;
    return index >= 0 && index < kControlPanelButtonCount ? m_buttons[static_cast<size_t>(index)] : nullptr;
}

uint32_t ControlPanelDlg::ButtonColor(int buttonId) const
{
    const int index = buttonId - kFirstButton;
    return index >= 0 && index < kControlPanelButtonCount ? m_colors[static_cast<size_t>(index)] : 0;
}

std::string ControlPanelDlg::ButtonTitle(int buttonId) const
{
    const int index = buttonId - kFirstButton;
    return index >= 0 && index < kControlPanelButtonCount ? m_titles[static_cast<size_t>(index)]
                                                          : std::string();
}

void ControlPanelDlg::LoadButtons()
{
    EString panel;
    GetActiveControlPanelFile(panel);
    for (int i = 0; i < kControlPanelButtonCount; ++i) {
        const int id = kFirstButton + i;
        EString title;
        m_colors[static_cast<size_t>(i)] = GetControlPanelButtonColor(panel.c_str(), id);
        GetControlPanelButtonTitle(panel.c_str(), id, title);
        m_titles[static_cast<size_t>(i)] = title.IsNonEmpty() ? title.c_str() : "";
        ColouredButton *button = m_buttons[static_cast<size_t>(i)];
        button->setText(platform::gui::ToQt(m_titles[static_cast<size_t>(i)]));
        button->SetColour(m_colors[static_cast<size_t>(i)]);
        // Operator mode hides the buttons that have nothing to run.
        EString script;
        GetControlPanelButtonScript(id, script);
        button->setVisible(m_admin || script.IsNonEmpty());
    }
}

void ControlPanelDlg::SetAdminMode(bool admin)
{
    m_admin = admin;
    m_panelName->setEnabled(admin);
    LoadButtons();
}

void ControlPanelDlg::RunButtonScript(int buttonId)
{
    ::RunButtonScript(buttonId);
}

void ControlPanelDlg::ShowButtonProperties(int buttonId)
{
    EString panel;
    GetActiveControlPanelFile(panel);
    ControlPanelButtonProperties properties(ControlPanelButtonSection(buttonId), panel.c_str(), this);
    if (properties.exec() == QDialog::Accepted)
        LoadButtons();
}

void ControlPanelDlg::ShowPumpVolume(int pump, double aspirated)
{
    const size_t index = static_cast<size_t>(pump - 1);
    m_bars[index]->setValue(static_cast<int>(std::lround(m_capacity[index] - aspirated)));
    char text[64];
    std::snprintf(text, sizeof text, "%1.0lf", aspirated);
    m_volumeTexts[index]->setText(text);
}

void ControlPanelDlg::ReadPumpCapacities()
{
    const int32_t port = theApp.m_pump_port;
    if (port == 0)
        return;
    for (int pump = 1; pump <= 2; ++pump) {
        const size_t index = static_cast<size_t>(pump - 1);
        EString error;
        int32_t capacity = 0;
        if (!TecanCentris::QueryLong(port, pump, "?17", capacity, error)) {
            m_bars[index]->setVisible(false);
            continue;
        }
        m_capacity[index] = capacity;
        m_bars[index]->setVisible(true);
        m_bars[index]->setRange(0, capacity);
        double aspirated = 0.0;
        if (TecanCentris::QueryDouble(port, pump, "?18", aspirated, error))
            ShowPumpVolume(pump, aspirated);
    }
}

void ControlPanelDlg::UpdatePumpVolumes()
{
    for (int pump = 1; pump <= 2; ++pump) {
        EString error;
        double aspirated = 0.0;
        // A failed query leaves the bar and its text as they were.
        if (TecanCentris::QueryDouble(theApp.m_pump_port, pump, "?18", aspirated, error))
            ShowPumpVolume(pump, aspirated);
    }
}

void ControlPanelDlg::OnTimer(int id)
{
    switch (id) {
    case kTitleTimer:
        if (!isVisible())
            return;
        setWindowTitle(platform::gui::ToQt(ControlPanelTitle()));
        RestartTimer(kTitleTimer, 1000);
        break;
    case kPumpTimer:
        if (!isVisible())
            return;
        UpdatePumpVolumes();
        RestartTimer(kPumpTimer, 2000);
        break;
    case kPanelNameTimer:
        ApplyPanelName();
        break;
    default:
        break;
    }
}

void ControlPanelDlg::ApplyPanelName()
{
    KillTimer(kPanelNameTimer);
    std::string shown;
    const std::string typed = platform::gui::ComboText(m_panelName);
    const PanelSwitch result = SwitchControlPanel(typed, shown);
    if (shown != typed) {
        m_panelName->blockSignals(true);
        platform::gui::SetComboEditText(m_panelName, shown);
        m_panelName->blockSignals(false);
    }
    if (result == PanelSwitch::Reload || result == PanelSwitch::Switched)
        LoadButtons();
}

void ControlPanelDlg::FillPanelNames()
{
    const QString text = m_panelName->currentText();
    m_panelName->blockSignals(true);
    m_panelName->clear();
    std::vector<std::string> names = ControlPanelNames();
    platform::gui::SortByShownText(names, platform::gui::TextKind::Path);
    for (const std::string &name : names)
        platform::gui::AddComboItem(m_panelName, name, platform::gui::TextKind::Path);
    m_panelName->setEditText(text);
    m_panelName->blockSignals(false);
}

bool ControlPanelDlg::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::MouseButtonPress && event->type() != QEvent::MouseButtonDblClick)
        return ToolWindow::eventFilter(watched, event);
    auto *button = qobject_cast<ColouredButton *>(watched);
    const int id = button ? ControlId(button) : 0;
    if (id == 0)
        return ToolWindow::eventFilter(watched, event);
    auto *mouse = static_cast<QMouseEvent *>(event);
    if (mouse->button() == Qt::LeftButton) {
        RunButtonScript(id);
        return true;
    }
    if (mouse->button() == Qt::RightButton && m_admin) {
        m_contextButton = id;
        QMenu menu(button);
        QAction *properties = menu.addAction("Properties");
        if (menu.exec(mouse->globalPosition().toPoint()) == properties)
            ShowButtonProperties(m_contextButton);
        m_contextButton = 0;
        return true;
    }
    return ToolWindow::eventFilter(watched, event);
}

void ControlPanelDlg::showEvent(QShowEvent *event)
{
    ToolWindow::showEvent(event);
    SetAdminMode(theApp.m_admin_mode);
    m_panelName->blockSignals(true);
    platform::gui::SetComboEditText(m_panelName, ActiveControlPanelName());
    m_panelName->blockSignals(false);
    LoadButtons();
    RestartTimer(kTitleTimer, 1000);
    RestartTimer(kPumpTimer, 2000);
    ReadPumpCapacities();
}

void ControlPanelDlg::hideEvent(QHideEvent *event)
{
    KillTimer(kTitleTimer);
    KillTimer(kPumpTimer);
    ToolWindow::hideEvent(event);
}

void ControlPanelDlg::resizeEvent(QResizeEvent *event)
{
    ToolWindow::resizeEvent(event);
    // The name box ends 3 pixels inside the right edge, and never gets narrower than 19 pixels.
    const int left = kGap;
    m_panelName->setGeometry(left, kBoxTop, std::max(19, width() - 3 - left), kBoxHeight);
}

// ---- Button properties ----

ControlPanelButtonProperties::ControlPanelButtonProperties(const std::string &section,
                                                           const std::string &panelFile, QWidget *parent)
    : ToolWindow("Control Panel Button Properties", parent), m_section(section), m_panelFile(panelFile)
{
    setModal(true);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Assigned Script", this));
    m_scripts = AddControl(kScriptList, new QListWidget(this));
    layout->addWidget(m_scripts);
    auto *row = new QHBoxLayout;
    row->addWidget(new QLabel("Name", this));
    m_title = AddControl(kTitleEdit, new QLineEdit(this));
    platform::gui::LimitEditBytes(m_title, 1023);
    row->addWidget(m_title);
    layout->addLayout(row);
    m_colorButton = AddControl(kColorButton, new ColouredButton(this));
    m_colorButton->setObjectName(QString::number(kColorButton));
    m_colorButton->setText("Color");
    layout->addWidget(m_colorButton);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &ControlPanelButtonProperties::OnOK);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_colorButton, &QPushButton::clicked, this, &ControlPanelButtonProperties::ChooseColor);

    const ButtonProperties properties = ReadButtonProperties(m_panelFile, m_section);
    SetColor(properties.color);
    platform::gui::SetEditText(m_title, properties.title);
    const std::vector<std::string> choices = ButtonScriptChoices();
    for (const std::string &choice : choices)
        platform::gui::AddListItem(m_scripts, choice);
    const int selected = FindScriptChoice(choices, properties.script);
    if (selected >= 0)
        m_scripts->setCurrentRow(selected);
    resize(320, 340);
}

void ControlPanelButtonProperties::SetColor(uint32_t color)
{
    m_color = color;
    m_colorButton->SetColour(color);
}

void ControlPanelButtonProperties::ChooseColor()
{
    Ostravo::SelectColor chooser(this);
    chooser.m_initial_colour = m_color;
    if (chooser.exec() == QDialog::Accepted)
        SetColor(chooser.GetColor());
}

void ControlPanelButtonProperties::OnOK()
{
    std::string script;
    const bool chosen =
        m_scripts->currentRow() >= 0 && m_scripts->currentItem() && m_scripts->currentItem()->isSelected();
    if (chosen)
        script = platform::gui::ItemText(m_scripts->currentItem());
    std::string error;
    if (!WriteButtonProperties(m_panelFile, m_section, m_color, platform::gui::EditText(m_title),
                               chosen ? &script : nullptr, error)) {
        platform::ui::MessageBox(error);
        return;
    }
    accept();
}
