#include "script/gui/SystemStateDlg.h"

#include "Ostravo/EString.h"
#include "Ostravo/TecanCentris.h"
#include "Ostravo/TextFormat.h"
#include "app/PlexorinApp.h"
#include "platform/gui/QtText.h"
#include "script/gui/FontTable.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int kValveReplyTimeoutMs = 200;

QGroupBox *LineGroup(SystemStateDlg *window, const char *title, int firstId, const char *const *labels,
                     int count, int columns)
{
    auto *group = new QGroupBox(platform::gui::ToQt(title), window);
    auto *grid = new QGridLayout(group);
    for (int line = 0; line < count; ++line) {
        auto *box =
            window->AddControl(firstId + line, new QCheckBox(platform::gui::ToQt(labels[line]), group));
        box->setEnabled(false);
        grid->addWidget(box, line / columns, line % columns);
    }
    return group;
}

QLineEdit *ValueBox(SystemStateDlg *window, QWidget *parent, int id)
{
    auto *box = window->AddControl(id, new QLineEdit(parent));
    box->setReadOnly(true);
    box->setEnabled(false);
    box->setMinimumWidth(90);
    return box;
}

} // namespace

SystemStateDlg::SystemStateDlg(QWidget *parent) : ToolWindow("System State", parent), m_self(this)
{
    setWindowFlag(Qt::Tool, true);
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    setFont(MappedFont("MS Shell Dlg", 8));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(7, 7, 7, 7);

    static const char *const kPort0Labels[kPort0Lines] = {"0", "1", "2", "3", "4", "5", "6", "7"};
    static const char *const kPort1Labels[kPort1Lines] = {"0 (Input)", "1 (Output1)", "2 (Output2)",
                                                          "3 (Output3)"};
    auto *lines = new QHBoxLayout;
    lines->addWidget(LineGroup(this, " D I/O Port 0", kPort0FirstLineId, kPort0Labels, kPort0Lines, 4));
    lines->addWidget(LineGroup(this, " D I/O Port 1", kPort1FirstLineId, kPort1Labels, kPort1Lines, 2));
    layout->addLayout(lines);

    auto *syringe = new QGroupBox(QStringLiteral(" Syringe "), this);
    auto *grid = new QGridLayout(syringe);
    struct Row
    {
        const char *label;
        int firstId;
        const char *unit;
    };
    static const Row kRows[] = {{"Configured Vol", kConfiguredVol1Id, "uL"},
                                {"Displacement", kDisplacement1Id, "uL"},
                                {"Rate", kRate1Id, "uL/min"},
                                {"Valve", kValve1Id, ""}};
    int row = 0;
    for (const Row &r : kRows) {
        for (int pump = 0; pump < 2; ++pump) {
            const int column = pump * 4;
            grid->addWidget(new QLabel(platform::gui::ToQt(FormatText("%s %d", r.label, pump + 1)), syringe),
                            row, column);
            grid->addWidget(ValueBox(this, syringe, r.firstId + pump), row, column + 1);
            grid->addWidget(new QLabel(platform::gui::ToQt(r.unit), syringe), row, column + 2);
        }
        ++row;
    }
    grid->setColumnMinimumWidth(3, 12);
    layout->addWidget(syringe);
    layout->addStretch(1);

    m_timer = new QTimer(this);
    m_timer->setInterval(kRefreshPeriodMs);
    connect(m_timer, &QTimer::timeout, this, &SystemStateDlg::OnTimer);

    // The event exists before the thread first waits on it.
    m_thread = std::thread([this] { RefreshThreadProc(); });
}

SystemStateDlg::~SystemStateDlg()
{
    StopRefreshThread();
}

void SystemStateDlg::StopRefreshThread()
{
    // The flag first: the thread tests it after every refresh, before it waits again.
    m_stop = true;
    m_refresh_event.Set();
    if (m_thread.joinable())
        m_thread.join();
}

void SystemStateDlg::RequestRefresh()
{
    m_refresh_event.Set();
}

void SystemStateDlg::RefreshThreadProc()
{
    while (!m_stop) {
        m_refresh_event.Wait(platform::kInfinite);
        if (m_stop)
            break;
        RefreshState();
        m_refresh_event.Reset();
    }
}

bool SystemStateDlg::RefreshState()
{
    Reading reading;
    const int32_t port = theApp.m_pump_port;
    bool complete = false;
    if (port != 0) {
        EString error;
        // The configured volumes are read until each has been shown once; a pump that did not
        // answer leaves its box empty and is asked again at the next refresh.
        for (int pump = 0; pump < 2 && !m_stop; ++pump) {
            int32_t microlitres = 0;
            if (!m_configured_shown[pump] &&
                TecanCentris::QueryLong(port, pump + 1, "?17", microlitres, error)) {
                reading.configuredRead[pump] = true;
                reading.configured[pump] = FormatText("%d", microlitres);
                m_configured_shown[pump] = true;
            }
        }
        complete = true;
        for (int step = 0; step < 6 && complete && !m_stop; ++step) {
            const int pump = step % 2 + 1;
            double value = 0.0;
            EString data;
            switch (step / 2) {
            case 0: // plunger displacement in uL
                complete = TecanCentris::QueryDouble(port, pump, "?18", value, error);
                reading.steady[step] = FormatText("%lf", value);
                break;
            case 1: // the pump reports uL per second; the window shows uL per minute
                complete = TecanCentris::QueryDouble(port, pump, "?37", value, error);
                reading.steady[step] = FormatText("%lf", value * 60.0);
                break;
            default:
                complete = TecanCentris::SendCommand(port, pump, "?20", kValveReplyTimeoutMs, data, error);
                reading.steady[step] = data.c_str();
                break;
            }
            if (complete)
                reading.steadyCount = step + 1;
        }
        complete = complete && reading.steadyCount == 6;
    }
    PostToWindow(m_self, [this, reading] { Draw(reading); });
    return complete;
}

void SystemStateDlg::Draw(const Reading &reading)
{
    // Nothing reads the line states: the boxes always show clear.
    for (int line = 0; line < kPort0Lines; ++line)
        SetChecked(kPort0FirstLineId + line, false);
    for (int line = 0; line < kPort1Lines; ++line)
        SetChecked(kPort1FirstLineId + line, false);
    for (int pump = 0; pump < 2; ++pump)
        if (reading.configuredRead[pump])
            SetControlText(kConfiguredVol1Id + pump, reading.configured[pump]);
    static const int kSteadyIds[6] = {kDisplacement1Id, kDisplacement1Id + 1, kRate1Id, kRate1Id + 1,
                                      kValve1Id,        kValve1Id + 1};
    for (int step = 0; step < reading.steadyCount; ++step)
        SetControlText(kSteadyIds[step], reading.steady[step]);
    ++m_drawn;
}

void SystemStateDlg::showEvent(QShowEvent *event)
{
    ToolWindow::showEvent(event);
    RequestRefresh();
    m_timer->start(); // restarts a running timer: one per window
}

void SystemStateDlg::hideEvent(QHideEvent *event)
{
    ToolWindow::hideEvent(event);
    m_timer->stop();
}

void SystemStateDlg::OnTimer()
{
    RequestRefresh();
    if (!isVisible())
        m_timer->stop();
}

bool SystemStateDlg::RefreshTimerActive() const
{
    return m_timer->isActive();
}

int SystemStateDlg::RefreshTimerInterval() const
{
    return m_timer->isActive() ? m_timer->interval() : -1;
}
