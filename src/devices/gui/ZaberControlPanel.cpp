#include "devices/gui/ZaberControlPanel.h"

#include "app/PlexorinApp.h"
#include "devices/Zaber.h"

#include "Ostravo/EString.h"
#include "Ostravo/LogError.h"
#include "Ostravo/Profile.h"
#include "Ostravo/SerialPort.h"
#include "Ostravo/TextFormat.h"
#include "platform/Utf8Text.h"
#include "platform/gui/QtText.h"

#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstdio>
#include <functional>
#include <utility>

namespace {

long L(int32_t value)
{
    return static_cast<long>(value);
}

void Log(const std::string &text)
{
    LogError(__FILE_NAME__, __LINE__, text.c_str(), nullptr);
}

} // namespace

// The ids of one axis's group.
struct ZaberControlPanel::AxisControls
{
    int left1, left100, left10, right1, right100, right10;
    int increment, position, home, stop, moveAbs, target, velocity, velocityBack, velocityForward;
};

namespace {

constexpr ZaberControlPanel::AxisControls kFocusIds = {
    ZaberControlPanel::kFocusLeft1,          ZaberControlPanel::kFocusLeft100,
    ZaberControlPanel::kFocusLeft10,         ZaberControlPanel::kFocusRight1,
    ZaberControlPanel::kFocusRight100,       ZaberControlPanel::kFocusRight10,
    ZaberControlPanel::kFocusIncrement,      ZaberControlPanel::kFocusPosition,
    ZaberControlPanel::kFocusHome,           ZaberControlPanel::kFocusStop,
    ZaberControlPanel::kFocusMoveAbs,        ZaberControlPanel::kFocusTarget,
    ZaberControlPanel::kFocusVelocity,       ZaberControlPanel::kFocusVelocityBack,
    ZaberControlPanel::kFocusVelocityForward};
constexpr ZaberControlPanel::AxisControls kXIds = {
    ZaberControlPanel::kXLeft1,     ZaberControlPanel::kXLeft100,      ZaberControlPanel::kXLeft10,
    ZaberControlPanel::kXRight1,    ZaberControlPanel::kXRight100,     ZaberControlPanel::kXRight10,
    ZaberControlPanel::kXIncrement, ZaberControlPanel::kXPosition,     ZaberControlPanel::kXHome,
    ZaberControlPanel::kXStop,      ZaberControlPanel::kXMoveAbs,      ZaberControlPanel::kXTarget,
    ZaberControlPanel::kXVelocity,  ZaberControlPanel::kXVelocityBack, ZaberControlPanel::kXVelocityForward};

} // namespace

ZaberControlPanel::ZaberControlPanel(std::string settingsPath)
    : ToolWindow("Zaber Control Panel"), m_settings_path(std::move(settingsPath))
{
    BuildControls();
    OnInitDialog();
}

ZaberControlPanel::~ZaberControlPanel() = default;

QWidget *ZaberControlPanel::BuildAxisGroup(const AxisControls &ids, const char *title)
{
    auto *group = new QWidget(this);
    auto *grid = new QGridLayout(group);
    grid->setContentsMargins(0, 0, 0, 0);
    auto button = [&](int id, const char *text) {
        auto *b = AddControl(id, new QPushButton(platform::gui::ToQt(text), group));
        b->setAutoDefault(false);
        return b;
    };
    grid->addWidget(new QLabel(platform::gui::ToQt(title), group), 0, 0, 1, 7);

    const std::pair<int, const char *> jogs[] = {
        {ids.left100, "<<<"}, {ids.left10, "<<"},  {ids.left1, "<"},     {0, nullptr},
        {ids.right1, ">"},    {ids.right10, ">>"}, {ids.right100, ">>>"}};
    int column = 0;
    for (const auto &[id, text] : jogs) {
        if (id == 0) {
            auto *increment = AddControl(ids.increment, new QComboBox(group));
            increment->addItems({"0.001", "0.010", "0.100"});
            grid->addWidget(increment, 1, column++);
            continue;
        }
        auto *b = button(id, text);
        b->setMinimumWidth(36);
        grid->addWidget(b, 1, column++);
    }
    grid->addWidget(new QLabel("Position (mm)", group), 2, 0, 1, 2);
    auto *position = AddControl(ids.position, new QLineEdit(group));
    position->setReadOnly(true);
    grid->addWidget(position, 2, 2, 1, 3);
    grid->addWidget(button(ids.home, "Home"), 2, 5);
    grid->addWidget(button(ids.stop, "Stop"), 2, 6);

    grid->addWidget(button(ids.moveAbs, "Move Abs"), 3, 0, 1, 2);
    grid->addWidget(AddControl(ids.target, new QLineEdit(group)), 3, 2, 1, 3);
    grid->addWidget(new QLabel("mm", group), 3, 5);

    grid->addWidget(new QLabel("Velocity (mm/s)", group), 4, 0, 1, 2);
    grid->addWidget(AddControl(ids.velocity, new QLineEdit(group)), 4, 2, 1, 3);
    grid->addWidget(button(ids.velocityBack, "<"), 4, 5);
    grid->addWidget(button(ids.velocityForward, ">"), 4, 6);

    const bool focus = ids.home == kFocusHome;
    const std::pair<int, int> jogFactors[] = {{ids.left100, -100}, {ids.left10, -10}, {ids.left1, -1},
                                              {ids.right1, 1},     {ids.right10, 10}, {ids.right100, 100}};
    for (const auto &[id, factor] : jogFactors)
        connect(ControlAs<QPushButton>(id), &QPushButton::clicked, this,
                [this, focus, f = factor] { Jog(focus, f); });
    connect(ControlAs<QPushButton>(ids.home), &QPushButton::clicked, this,
            [this, focus] { SimpleCommand(focus, "home"); });
    connect(ControlAs<QPushButton>(ids.stop), &QPushButton::clicked, this,
            [this, focus] { SimpleCommand(focus, "stop"); });
    connect(ControlAs<QPushButton>(ids.moveAbs), &QPushButton::clicked, this,
            [this, focus] { MoveAbsolute(focus); });
    connect(ControlAs<QPushButton>(ids.velocityBack), &QPushButton::clicked, this,
            [this, focus] { Velocity(focus, true); });
    connect(ControlAs<QPushButton>(ids.velocityForward), &QPushButton::clicked, this,
            [this, focus] { Velocity(focus, false); });
    for (int id : {ids.target, ids.velocity})
        connect(ControlAs<QLineEdit>(id), &QLineEdit::textChanged, this,
                [this] { RestartTimer(kSaveTimer, kSaveDelayMs); });
    return group;
}

void ZaberControlPanel::BuildControls()
{
    auto *layout = new QVBoxLayout(this);
    auto *info = new QGridLayout;
    auto label = [&](int id) { return AddControl(id, new QLabel(this)); };
    info->addWidget(label(kComText), 0, 0);
    info->addWidget(label(kBaudText), 0, 1);
    info->addWidget(label(kModelText), 1, 0);
    info->addWidget(label(kSerialText), 1, 1);
    layout->addLayout(info);
    layout->addWidget(BuildAxisGroup(kFocusIds, "Focus"));
    auto *separator = AddControl(kSeparator, new QFrame(this));
    separator->setFrameShape(QFrame::HLine);
    separator->setFrameShadow(QFrame::Sunken);
    layout->addWidget(separator);
    m_x_group = BuildAxisGroup(kXIds, "X Axis");
    layout->addWidget(m_x_group);
    layout->addStretch(1);
}

bool ZaberControlPanel::ReadXAxisShownSetting() const
{
    char text[8];
    Ostravo::E_GetPrivateProfileString("Zaber", "InitializeZaberXAxisOnStartup", "", text, sizeof text,
                                       m_settings_path.c_str());
    return CompareText(text, "TRUE", 0, 0);
}

void ZaberControlPanel::OnInitDialog()
{
    if (theApp.m_stage_port == 0)
        return;
    const char *ini = m_settings_path.c_str();
    const Zaber::Settings settings = Zaber::ReadSettings(ini);
    m_focus_device = settings.focusDevice;
    m_x_device = settings.xDevice;
    m_focus_axis = settings.focusAxis;
    m_x_axis = settings.xAxis;
    m_steps_per_mm_x = settings.stepsPerMmX;
    m_steps_per_mm_z = settings.stepsPerMmZ;

    SetControlText(kComText, FormatText("COM%ld", L(theApp.m_stage_port)));
    SetControlText(kBaudText, FormatText("%lu baud", static_cast<unsigned long>(theApp.m_stage_baud)));
    if (ShowDeviceId())
        ShowSerialNumber();
    ControlAs<QComboBox>(kFocusIncrement)->setCurrentIndex(0);
    ControlAs<QComboBox>(kXIncrement)->setCurrentIndex(0);

    m_loading = true;
    const std::pair<int, const char *> edits[] = {{kFocusTarget, "MoveAbsPos_Focus"},
                                                  {kXTarget, "MoveAbsPos_XAxis"},
                                                  {kFocusVelocity, "MoveVelocity_Focus"},
                                                  {kXVelocity, "MoveVelocity_XAxis"}};
    for (const auto &[id, key] : edits) {
        char text[1024];
        Ostravo::E_GetPrivateProfileString("Zaber", key, "", text, sizeof text, ini);
        SetControlText(id, text);
    }
    m_loading = false;
    // Filling the edits is no change of the user's to save.
    KillTimer(kSaveTimer);

    UpdatePositions();
    m_x_axis_shown = ReadXAxisShownSetting();
    if (!m_x_axis_shown) {
        // Cut the panel at the separator.
        m_x_group->hide();
        adjustSize();
    }
}

void ZaberControlPanel::showEvent(QShowEvent *event)
{
    ToolWindow::showEvent(event);
    m_x_axis_shown = ReadXAxisShownSetting();
    // The X group follows the flag, so the poll never reads an axis the panel does not show and
    // never leaves one shown that it no longer reads.
    if (m_x_group->isHidden() == m_x_axis_shown) {
        m_x_group->setVisible(m_x_axis_shown);
        adjustSize();
    }
    RestartTimer(kPollTimer, kPollMs);
}

void ZaberControlPanel::OnTimer(int id)
{
    if (id == kPollTimer) {
        if (!isVisible()) {
            KillTimer(kPollTimer); // stays stopped until the panel is shown again
            return;
        }
        UpdatePositions();
        RestartTimer(kPollTimer, kPollMs);
    } else if (id == kSaveTimer) {
        KillTimer(kSaveTimer);
        SaveSettings();
    }
}

double ZaberControlPanel::StepsPerMm(int32_t device, int32_t axis) const
{
    // Both the device and the axis number name an axis: two devices may each have an axis 1.
    return device == m_focus_device && axis == m_focus_axis ? m_steps_per_mm_z : m_steps_per_mm_x;
}

bool ZaberControlPanel::Transact(const std::string &request, std::string &reply)
{
    EString received;
    const bool answered =
        SerialSendReceive(theApp.m_stage_port, request.c_str(), '\n', received, Zaber::kTimeoutMs);
    reply = zaber::StripLineEnd(received.c_str() ? received.c_str() : "");
    return answered;
}

bool ZaberControlPanel::GetPosition(int32_t device, int32_t axis, double &millimetres)
{
    millimetres = 0.0;
    std::string reply;
    if (!Transact(FormatText("/%02ld %ld get pos\n", L(device), L(axis)), reply)) {
        Log("Zaber fails to respond to \"get pos\" command");
        return false;
    }
    if (!zaber::HasOkPrefix(reply, device, axis)) {
        Log("Zaber provides invalid response to \"get pos\" command #1");
        return false;
    }
    long steps = 0;
    const double stepsPerMm = StepsPerMm(device, axis);
    if (std::sscanf(zaber::LastField(reply).c_str(), "%ld", &steps) != 1 || stepsPerMm == 0.0) {
        Log("Zaber provides invalid response to \"get pos\" command #2");
        return false;
    }
    millimetres = static_cast<double>(static_cast<int32_t>(steps)) / stepsPerMm;
    return true;
}

namespace {

// Sends a move whose step count is request's last number; logs the jog and velocity failure texts.
bool SendLoggedMove(const std::string &request, int32_t device, int32_t axis,
                    const std::function<bool(const std::string &, std::string &)> &transact)
{
    std::string reply;
    const std::string shown = zaber::StripLineEnd(request);
    if (!transact(request, reply)) {
        Log(FormatText("Zaber fails to respond to command: %s", shown.c_str()));
        return false;
    }
    if (!zaber::HasOkPrefix(reply, device, axis)) {
        Log(FormatText("Zaber provides invalid response to command: %s, response: %s", shown.c_str(),
                       reply.c_str()));
        return false;
    }
    return true;
}

} // namespace

bool ZaberControlPanel::MoveRelative(int32_t device, int32_t axis, double millimetres)
{
    int32_t steps = 0;
    if (!zaber::MillimetresToSteps(millimetres, StepsPerMm(device, axis), steps)) {
        Log(FormatText("Invalid relative move: %.4f mm", millimetres));
        return false;
    }
    return SendLoggedMove(FormatText("/%02ld %ld move rel %ld\n", L(device), L(axis), L(steps)), device, axis,
                          [this](const std::string &r, std::string &reply) { return Transact(r, reply); });
}

bool ZaberControlPanel::MoveVelocity(int32_t device, int32_t axis, double millimetresPerSecond)
{
    int32_t steps = 0;
    if (!zaber::MillimetresToSteps(millimetresPerSecond, StepsPerMm(device, axis), steps)) {
        Log(FormatText("Invalid velocity: %.4f mm/s", millimetresPerSecond));
        return false;
    }
    return SendLoggedMove(FormatText("/%02ld %ld move vel %ld\n", L(device), L(axis), L(steps)), device, axis,
                          [this](const std::string &r, std::string &reply) { return Transact(r, reply); });
}

double ZaberControlPanel::IncrementOf(int listId) const
{
    const QComboBox *list = listId ? ControlAs<QComboBox>(listId) : nullptr;
    const int selected = list ? list->currentIndex() : -1;
    if (selected == 1)
        return 0.01;
    if (selected == 2)
        return 0.1;
    return 0.001;
}

double ZaberControlPanel::GetJogIncrement(int32_t axis) const
{
    if (axis == m_focus_axis)
        return IncrementOf(kFocusIncrement);
    if (axis == m_x_axis)
        return IncrementOf(kXIncrement);
    return IncrementOf(0);
}

bool ZaberControlPanel::ReadVelocity(int editId, double &velocity) const
{
    const std::string text = platform::TruncateUtf8(ControlText(editId), 1023);
    if (std::sscanf(text.c_str(), "%lf", &velocity) != 1) {
        Log(FormatText("Invalid velocity: %s", text.c_str()));
        return false;
    }
    if (!(velocity >= 0.0001 && velocity <= 5.0)) {
        Log(FormatText("Invalid velocity: %s must be between 0.0001 and 5 mm/s", text.c_str()));
        return false;
    }
    return true;
}

void ZaberControlPanel::UpdatePositions()
{
    double focus = 0.0;
    GetPosition(m_focus_device, m_focus_axis, focus);
    SetControlText(kFocusPosition, FormatText("%6.4lf", focus));
    if (m_x_axis_shown) {
        double x = 0.0;
        GetPosition(m_x_device, m_x_axis, x);
        SetControlText(kXPosition, FormatText("%6.4lf", x));
    }
}

bool ZaberControlPanel::SaveSettings()
{
    if (m_loading)
        return false;
    const std::pair<int, const char *> edits[] = {{kFocusTarget, "MoveAbsPos_Focus"},
                                                  {kXTarget, "MoveAbsPos_XAxis"},
                                                  {kFocusVelocity, "MoveVelocity_Focus"},
                                                  {kXVelocity, "MoveVelocity_XAxis"}};
    for (const auto &[id, key] : edits)
        Ostravo::E_WritePrivateProfileString("Zaber", key, ControlText(id).c_str(), m_settings_path.c_str());
    return true;
}

namespace {

// Reads the number after the last blank of a reply to an unaddressed query.
bool ReadControllerValue(const std::string &reply, unsigned long &value, const char *command)
{
    if (!zaber::HasOkPrefix(reply, 1, 0)) {
        Log(FormatText("Zaber provides invalid response to \"%s\" command #1", command));
        return false;
    }
    const size_t blank = reply.rfind(' ');
    long parsed = 0;
    if (blank == std::string::npos || std::sscanf(reply.c_str() + blank, "%ld", &parsed) != 1) {
        Log(FormatText("Zaber provides invalid response to \"%s\" command #2", command));
        return false;
    }
    value = static_cast<unsigned long>(parsed);
    return true;
}

} // namespace

bool ZaberControlPanel::ShowDeviceId()
{
    std::string reply;
    if (!Transact("/get deviceid\n", reply)) {
        Log("Zaber fails to respond to \"get deviceid\" command");
        return false;
    }
    unsigned long id = 0;
    if (!ReadControllerValue(reply, id, "get deviceid"))
        return false;
    SetControlText(kModelText,
                   id == 30222 ? std::string("X-MCB2 Controller") : FormatText("DeviceID %lu", id));
    return true;
}

bool ZaberControlPanel::ShowSerialNumber()
{
    std::string reply;
    if (!Transact("/get system.serial\n", reply)) {
        Log("Zaber fails to respond to \"get system.serial\" command");
        return false;
    }
    unsigned long number = 0;
    if (!ReadControllerValue(reply, number, "get system.serial"))
        return false;
    SetControlText(kSerialText, FormatText("S/N %lu", number));
    return true;
}

void ZaberControlPanel::Jog(bool focus, int factor)
{
    const int32_t device = focus ? m_focus_device : m_x_device;
    const int32_t axis = focus ? m_focus_axis : m_x_axis;
    // Each group jogs by its own increment list, also when both axes have the same number on two
    // devices.
    MoveRelative(device, axis, IncrementOf(focus ? kFocusIncrement : kXIncrement) * factor);
}

void ZaberControlPanel::MoveAbsolute(bool focus)
{
    const std::string text = platform::TruncateUtf8(ControlText(focus ? kFocusTarget : kXTarget), 1023);
    double target = 0.0;
    if (std::sscanf(text.c_str(), "%lf", &target) != 1) {
        Log(FormatText("Invalid position: %s", text.c_str()));
        return;
    }
    if (!(target >= -100.0 && target <= 100.0)) {
        Log("Zaber absolute position setting must be betwen -100.0 and 100.0 mm");
        return;
    }
    const int32_t device = focus ? m_focus_device : m_x_device;
    const int32_t axis = focus ? m_focus_axis : m_x_axis;
    int32_t steps = 0;
    if (!zaber::MillimetresToSteps(target, focus ? m_steps_per_mm_z : StepsPerMm(device, axis), steps)) {
        Log(FormatText("Invalid position: %s", text.c_str()));
        return;
    }
    std::string reply;
    if (!Transact(FormatText("/%02ld %ld move abs %ld\n", L(device), L(axis), L(steps)), reply)) {
        Log("Zaber fails to respond to \"move abs\" command");
        return;
    }
    if (!zaber::HasOkPrefix(reply, device, axis))
        Log("Zaber provides invalid response to \"move abs\" command #1");
}

void ZaberControlPanel::Velocity(bool focus, bool backward)
{
    double velocity = 0.0;
    if (!ReadVelocity(focus ? kFocusVelocity : kXVelocity, velocity))
        return;
    MoveVelocity(focus ? m_focus_device : m_x_device, focus ? m_focus_axis : m_x_axis,
                 backward ? -velocity : velocity);
}

void ZaberControlPanel::SimpleCommand(bool focus, const char *command)
{
    const int32_t device = focus ? m_focus_device : m_x_device;
    const int32_t axis = focus ? m_focus_axis : m_x_axis;
    std::string reply;
    if (!Transact(FormatText("/%02ld %ld %s\n", L(device), L(axis), command), reply)) {
        Log(FormatText("Zaber fails to respond to \"%s\" command", command));
        return;
    }
    if (!zaber::HasOkPrefix(reply, device, axis))
        Log(FormatText("Zaber provides invalid response to \"%s\" command #1", command));
}
