#include "operator/CustomerUI.h"

#include "Ostravo/CachedLog.h"
#include "Ostravo/LogError.h"
#include "Ostravo/TecanCentris.h"
#include "Ostravo/TextFormat.h"
#include "app/PlexorinApp.h"
#include "app/ViewGlobals.h"
#include "platform/Files.h"
#include "script/Script.h"
#include "script/ScriptRuntime.h"

#include <algorithm>
#include <cmath>
#include <strings.h>

namespace {

constexpr const char *kSourceFile = "CustomerUI.cpp";

const char *const kStateNames[] = {"UndefinedState",
                                   "Login",
                                   "SelectAction",
                                   "PromptInsertFlowcell",
                                   "PipetteSample",
                                   "SampleBeingCollected",
                                   "RunComplete",
                                   "RunSummary",
                                   "ShowVideo",
                                   "PromptForInput",
                                   "PromptInfo",
                                   "PromptForInputChecks",
                                   "PromptForFilename",
                                   "PromptForImageChecks",
                                   "PromptForFusedImageVerification",
                                   "PromptForMontageReport",
                                   "NumberOfStates"};

int32_t RoundHalfAway(double value)
{
    return static_cast<int32_t>(std::lround(value));
}

} // namespace

const char *CustomerUIStateName(int32_t state)
{
    if (state < -1 || state > NumberOfStates)
        return "InvalidStat0e";
    return kStateNames[state + 1];
}

void LogCustomerUIState(const char *action, int32_t state, const char *info)
{
    AddCustomerUILogLine(action, CustomerUIStateName(state), info ? info : "");
}

CustomerUIPlacement PlaceCustomerUI(int32_t desktopWidth, int32_t desktopHeight)
{
    CustomerUIPlacement p;
    const bool small = desktopWidth < 1920 || desktopHeight < 1080;
    p.width = small ? 1600 : 1920;
    p.height = small ? 900 : 1080;
    p.window.left = (desktopWidth - p.width) / 2;
    p.window.top = (desktopHeight - p.height) / 2;
    p.window.right = p.window.left + p.width - 1;
    p.window.bottom = p.window.top + p.height - 1;
    const double wp = p.width - 1;
    const double hp = p.height - 1;
    p.imageArea = {RoundHalfAway(wp * 0.25), RoundHalfAway(hp * 0.12), RoundHalfAway(wp * 0.75),
                   RoundHalfAway(hp * 0.64)};
    p.splitText.right = p.imageArea.left - 10;
    p.splitText.left = p.imageArea.left - 90;
    p.splitText.top = p.imageArea.top + (p.imageArea.bottom - p.imageArea.top - 40) / 2;
    p.splitText.bottom = p.splitText.top + 40;
    p.countdown.left = RoundHalfAway(p.width * 0.05);
    p.countdown.right = p.countdown.left + 120;
    p.countdown.top = (p.height - 120) / 2;
    p.countdown.bottom = p.countdown.top + 120;
    return p;
}

CustomerUI::CustomerUI() : m_now([] { return Clock::now(); }) {}

// ---- states ----

bool CustomerUI::HasNextButton(int32_t state)
{
    return state == Login || (state >= PromptInsertFlowcell && state <= PipetteSample) ||
           (state >= ShowVideo && state <= PromptForMontageReport);
}

bool CustomerUI::HasBackButton(int32_t state)
{
    return (state >= PromptInsertFlowcell && state <= PipetteSample) ||
           (state >= ShowVideo && state <= PromptForMontageReport);
}

bool CustomerUI::SetState(int32_t state, std::string &error)
{
    if (state < 0 || state > PromptForMontageReport) {
        error = FormatText("%s() - Invalid state: %ld", "CustomerUI::SetState", static_cast<long>(state));
        return false;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_data.visible = true;
    const bool leavingVideo = m_data.state == ShowVideo && state != ShowVideo;
    m_data.state = state;
    m_timers[CUI_TIMER_REPAINT] = 100;
    if (leavingVideo)
        m_timers[CUI_TIMER_STOP_LIVE_IMAGE] = 1000;
    if (state == PromptForFilename) {
        m_data.browseRects.assign(m_data.inputLabels.size(), CuiRect{});
        m_data.browseHover.assign(m_data.inputLabels.size(), false);
    }
    if (m_data.visible)
        m_timers[CUI_TIMER_SCRIPT_WATCH] = 1000;
    return true;
}

int32_t CustomerUI::State() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_data.state;
}

void CustomerUI::ClearStateData()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ClearStateDataLocked();
}

void CustomerUI::ClearStateDataLocked()
{
    CustomerUIData &d = m_data;
    d.title.clear();
    d.textLines.clear();
    d.inputLabels.clear();
    d.inputWidths.clear();
    d.nextText.clear();
    d.backText.clear();
    d.showSplitLine = true;
    d.images.clear();
    d.groupBoxRects.clear();
    d.groupBoxFillColors.clear();
    d.groupBoxBorderColors.clear();
    d.groupBoxBorderWidths.clear();
    d.groupBoxCornerSizes.clear();
    d.actionLines.clear();
    d.actionRects.clear();
    d.actionFontFace.clear();
    d.actionTextColor = -1;
    d.actionHighlightTextColor = -1;
    d.actionFontHeight = 0;
    d.actionCornerRadius = 0;
    d.actionVerticalSpacing = 0;
    d.actionWidth = 0;
    d.nextHidden = false;
    d.backHidden = false;
    d.actionBackgroundColor = -1;
    d.actionHighlightBackgroundColor = -1;
    d.nextImages = {};
    d.backImages = {};
    d.topLinePos = 0.01;
    d.actionsTopLinePos = 0;
}

void CustomerUI::Reset()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ResetLocked();
}

void CustomerUI::ResetLocked()
{
    StopScriptTimersLocked();
    m_eventSignalled = false;
    m_data.state = UndefinedState;
    m_data.title.clear();
    m_eventText.clear();
    m_watchedPump = 0;
    m_pumpMovingSeen = 0;
    m_pumpWatchStart = {};
    m_pumpWatchTimeoutS = 0;
    m_data.splitDragStartY = 0;
    m_data.splitText.clear();
    m_data.messageTicks = 0;
    m_data.messageTicksTotal = 20;
    m_data.messageText.clear();
    ClearStateDataLocked();
    m_data.countdownDown = true;
    m_data.displayMode = -1;
    _flow_split.Update([](FlowSplit &split) {
        split.drag_offset = 0;
        split.split_row = (split.upper_channel_row + split.lower_channel_row) / 2;
        split.split_fraction = 0.5;
    });
}

bool CustomerUI::Reload(const char *path, std::string &error)
{
    // A running operator script owns the screen: resetting it under the script would wipe the
    // prompt it waits on, and the start would be refused anyway.
    if (ScriptInstanceExists(1)) {
        error = FormatText(
            "CreateActiveScriptHandle(%ld) - Interpreter instance with handle: %lu already exists.", 1L, 1UL);
        return false;
    }
    Reset();
    const std::string file = path ? path : "";
    if (!platform::FileExists(file) || !Script::ScriptFileHasCode(file.c_str()))
        return true;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_data.editTexts = {};
        m_data.password.clear();
        m_data.comboTexts = {};
    }
    EString runError;
    if (!Script::RunScript(1, file.c_str(), runError)) {
        error = runError.c_str();
        LogError(kSourceFile, __LINE__, error);
        return false;
    }
    return true;
}

void CustomerUI::OnScriptEnded()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    StopScriptTimersLocked();
    m_eventSignalled = false;
    m_data.state = UndefinedState;
}

CustomerUIData CustomerUI::Snapshot() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_data;
}

// ---- content ----

bool CustomerUI::SetImage(int32_t slot, const std::string &file, const std::string &folder,
                          std::string &error)
{
    if (slot < 1 || slot > 6) {
        error = "CustomerUI_SetImage() - image index must be between 1 and 6.";
        return false;
    }
    std::string path;
    if (!file.empty()) {
        if (file.find('\\') != std::string::npos || file.find('/') != std::string::npos)
            path = file;
        else if (folder.empty())
            path = file;
        else
            path = folder + (folder.back() == '\\' || folder.back() == '/' ? "" : "/") + file;
        if (!platform::FileExists(path)) {
            error = FormatText("CustomerUI_SetImage() - file does not exist: %s", file.c_str());
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_data.images.size() < static_cast<size_t>(slot))
                m_data.images.resize(static_cast<size_t>(slot));
            return false;
        }
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_data.images.size() < static_cast<size_t>(slot))
        m_data.images.resize(static_cast<size_t>(slot));
    m_data.images[static_cast<size_t>(slot - 1)] = path;
    return true;
}

bool CustomerUI::SetInput(int32_t index, const std::string &label, const std::string &value, int32_t width)
{
    if (index < 0 || index > kMaxInputIndex)
        return false;
    std::lock_guard<std::mutex> lock(m_mutex);
    const size_t n = static_cast<size_t>(index) + 1;
    if (m_data.inputLabels.size() < n)
        m_data.inputLabels.resize(n);
    if (m_data.inputValues.size() < n)
        m_data.inputValues.resize(n);
    if (m_data.inputWidths.size() < n)
        m_data.inputWidths.resize(n, 0);
    m_data.inputLabels[n - 1] = label;
    m_data.inputValues[n - 1] = value;
    m_data.inputWidths[n - 1] = width;
    m_data.editTexts[n - 1] = value;
    return true;
}

bool CustomerUI::SetCheckboxInput(int32_t index, const std::string &label, int32_t mark)
{
    if (index < 0 || index > kMaxInputIndex)
        return false;
    std::lock_guard<std::mutex> lock(m_mutex);
    const size_t n = static_cast<size_t>(index) + 1;
    if (m_data.inputLabels.size() < n)
        m_data.inputLabels.resize(n);
    m_data.inputLabels[n - 1] = label;
    m_data.checkMarks[n - 1] = mark ? 1 : 0;
    return true;
}

void CustomerUI::SetEditText(int32_t edit, const std::string &text)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (edit == 0)
        m_data.password = text;
    else if (edit >= 1 && edit <= 6)
        m_data.editTexts[static_cast<size_t>(edit - 1)] = text;
}

void CustomerUI::SetActionLines(std::vector<std::string> lines, std::vector<CuiRect> rects)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_data.actionLines = std::move(lines);
    m_data.actionRects = std::move(rects);
}

void CustomerUI::SetFixedActionRects(const std::array<CuiRect, 3> &rects)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_data.fixedActionRects = rects;
}

void CustomerUI::SetButtonRects(const std::array<CuiRect, 6> &rects, int32_t nextTextRect,
                                int32_t backTextRect)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_data.buttonRects = rects;
    m_data.nextTextRect = std::clamp(nextTextRect, 0, 2);
    m_data.backTextRect = std::clamp(backTextRect, 0, 2);
}

void CustomerUI::HideNext(bool hidden)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_data.nextHidden = hidden;
}

void CustomerUI::HideBack(bool hidden)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_data.backHidden = hidden;
}

void CustomerUI::SetShowSplitLine(bool show)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_data.showSplitLine = show;
}

// ---- flow split ----

bool CustomerUI::SetFlowSplit(int32_t percent)
{
    bool accepted = false;
    _flow_split.Update([&](FlowSplit &split) {
        if (percent < split.range_minimum || percent > split.range_maximum)
            return;
        const double f = 1.0 - (50.0 - percent) / 100.0;
        if (split.split_fraction != f) {
            split.split_fraction = f;
            split.split_changed = true;
        }
        accepted = true;
    });
    return accepted;
}

void CustomerUI::DragSplitLine(int32_t y, bool commit)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const int32_t startY = m_data.splitDragStartY;
    _flow_split.Update([&](FlowSplit &split) {
        const int32_t t = split.upper_channel_row;
        const int32_t b = split.lower_channel_row;
        const int32_t h = b - t;
        if (h == 0) {
            // A channel of no height has no position to drag to: keep the fraction.
            split.drag_offset = 0;
            return;
        }
        const int32_t s = split.split_row;
        const auto lowest = static_cast<int32_t>((1.0 - split.upper_drag_limit) * h - s + t);
        const auto highest = static_cast<int32_t>((1.0 - split.lower_drag_limit) * h - s + t);
        int32_t offset = std::max(y - startY, lowest);
        offset = std::min(offset, highest);
        split.drag_offset = offset;
        if (commit) {
            split.split_row = s + offset;
            split.drag_offset = 0;
            split.split_fraction = 1.0 - static_cast<double>(split.split_row - t) / h;
        }
    });
    UpdateFlowSplitTextLocked();
    if (commit)
        m_data.splitDragStartY = 0;
}

void CustomerUI::UpdateFlowSplitText(bool /*repaint*/)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    UpdateFlowSplitTextLocked();
}

void CustomerUI::UpdateFlowSplitTextLocked()
{
    const FlowSplit split = _flow_split.Get();
    double x = 0.5;
    const int32_t h = split.lower_channel_row - split.upper_channel_row;
    if (split.lower_channel_row >= 0 && h != 0) {
        x = static_cast<double>(split.drag_offset + split.split_row - split.upper_channel_row) / h;
        if (x < 0.1 || x > 0.9)
            x = 0.5;
    }
    const std::string text = FormatText("%ld", static_cast<long>(std::lround(50.0 - 100.0 * x)));
    if (strcasecmp(text.c_str(), m_data.splitText.c_str()) != 0)
        m_data.splitText = text;
}

// ---- operator event ----

void CustomerUI::RaiseLocked(const std::string &text)
{
    m_eventText = text;
    m_eventSignalled = true;
    m_eventCv.notify_one();
}

void CustomerUI::RaiseEvent(const std::string &text)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    RaiseLocked(text);
}

void CustomerUI::SetEvent()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_eventSignalled = true;
    m_eventCv.notify_one();
}

bool CustomerUI::WaitForEvent(std::chrono::milliseconds timeout, std::string &text)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_eventCv.wait_for(lock, timeout, [this] { return m_eventSignalled; }))
        return false;
    m_eventSignalled = false; // auto-reset: one set releases one wait
    text = m_eventText;
    return true;
}

// ---- operator input and timers ----

bool CustomerUI::ValidateLogin(std::string &error) const
{
    std::string user;
    std::string password;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        user = m_data.editTexts[0];
        password = m_data.password;
    }
    if (user.size() < 4)
        error = "User name must be at least 4 characters.";
    else if (user.size() > 20)
        error = "User name must be no more than 20 characters.";
    else if (password.size() < 4)
        error = "Password must be at least 4 characters.";
    else if (password.size() > 64)
        error = "Password must be no more than 64 characters.";
    else
        return true;
    return false;
}

void CustomerUI::OnNext()
{
    const int32_t state = State();
    LogCustomerUIState("NextClicked", state, nullptr);
    if (state == Login) {
        std::string error;
        if (ValidateLogin(error))
            RaiseEvent("Login Success");
        else
            ShowTimedMessage(error, 5);
        return;
    }
    if (state < PromptInsertFlowcell || state > PromptForMontageReport || state == SampleBeingCollected ||
        state == RunComplete || state == RunSummary)
        return;
    std::lock_guard<std::mutex> lock(m_mutex);
    StopScriptTimersLocked();
    m_data.messageText.clear();
    m_data.controlsDirty = true;
    RaiseLocked("Next");
}

void CustomerUI::OnLButtonDown(int32_t x, int32_t y)
{
    const CustomerUIData d = Snapshot();
    if (HasNextButton(d.state) && !d.nextHidden &&
        d.buttonRects[static_cast<size_t>(d.nextTextRect)].Contains(x, y)) {
        OnNext();
        return;
    }
    if (HasBackButton(d.state) && !d.backHidden &&
        d.buttonRects[static_cast<size_t>(3 + d.backTextRect)].Contains(x, y)) {
        LogCustomerUIState("BackClicked", d.state, nullptr);
        std::lock_guard<std::mutex> lock(m_mutex);
        StopScriptTimersLocked();
        m_data.messageText.clear();
        m_data.controlsDirty = true;
        RaiseLocked("Back");
        return;
    }
    if (d.state == SelectAction) {
        if (!d.actionLines.empty()) {
            for (size_t i = 0; i < d.actionRects.size() && i < d.actionLines.size(); ++i) {
                if (d.actionRects[i].Contains(x, y)) {
                    RaiseEvent(d.actionLines[i]);
                    LogCustomerUIState("ActionSelected", d.state, d.actionLines[i].c_str());
                    return;
                }
            }
        } else if (d.fixedActionRects[0].Contains(x, y)) {
            RaiseEvent("Live Cell Enrichment");
            LogCustomerUIState("ActionSelected", d.state, "Live Cell Enrichment");
            return;
        }
    }
    if (d.showSplitLine && d.state == ShowVideo) {
        const ImageRect band = _flow_split.Get().hit_band;
        if (band.left <= x && x <= band.right && band.top <= y && y <= band.bottom) {
            LogCustomerUIState("ChannelDividerMoveInitiated", d.state, nullptr);
            std::lock_guard<std::mutex> lock(m_mutex);
            m_data.splitDragStartY = y;
        }
    }
}

void CustomerUI::OnLButtonUp(int32_t y)
{
    int32_t state = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_data.splitDragStartY == 0)
            return;
        state = m_data.state;
    }
    DragSplitLine(y, true);
    LogCustomerUIState("FinishSplitMove", state, nullptr);
    RaiseEvent("SplitChanged");
}

bool CustomerUI::ShowTimedMessage(const std::string &text, int32_t seconds)
{
    // The banner's period is seconds x 50 ms; keep it to a period a timer can run.
    seconds = std::clamp(seconds, 1, kMaxBannerSeconds);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_data.messageTicks = 20;
    m_data.messageTicksTotal = 20;
    m_data.messageText = text;
    m_timers[CUI_TIMER_MESSAGE_BANNER] = seconds * 50;
    return true;
}

void CustomerUI::ArmTimer(int32_t id, int32_t periodMs)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_timers[id] = periodMs;
}

void CustomerUI::KillTimer(int32_t id)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_timers.erase(id);
}

void CustomerUI::StopScriptTimers()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    StopScriptTimersLocked();
}

void CustomerUI::StopScriptTimersLocked()
{
    for (int32_t id :
         {CUI_TIMER_COUNTDOWN, CUI_TIMER_PUMP_WATCH, CUI_TIMER_UNHIDE_NEXT, CUI_TIMER_UNHIDE_BACK})
        m_timers.erase(id);
}

std::map<int32_t, int32_t> CustomerUI::Timers() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_timers;
}

void CustomerUI::OnTimer(int32_t id)
{
    switch (id) {
    case CUI_TIMER_MESSAGE_BANNER: {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_data.messageTicks > 0)
            --m_data.messageTicks;
        else
            m_timers.erase(id);
        return;
    }
    case CUI_TIMER_REPAINT:
    case CUI_TIMER_STOP_LIVE_IMAGE:
    case CUI_TIMER_START_LIVE_IMAGE:
        KillTimer(id);
        return;
    case CUI_TIMER_UNHIDE_NEXT: {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_data.nextHidden = false;
        m_timers.erase(id);
        return;
    }
    case CUI_TIMER_UNHIDE_BACK: {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_data.backHidden = false;
        m_timers.erase(id);
        return;
    }
    case CUI_TIMER_SCRIPT_WATCH: {
        bool running = false;
        for (const ScriptInstanceInfo &info : ScriptInstanceList())
            if (info.handle == 1)
                running = info.running;
        if (running)
            return;
        std::lock_guard<std::mutex> lock(m_mutex);
        m_eventSignalled = true;
        m_eventCv.notify_one();
        m_timers.erase(id);
        m_data.visible = false;
        return;
    }
    case CUI_TIMER_PUMP_WATCH: {
        int32_t pump = 0;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_timers.count(id) == 0)
                return;
            if (m_pumpWatchStart + std::chrono::seconds(m_pumpWatchTimeoutS) < m_now()) {
                StopScriptTimersLocked();
                RaiseLocked("TimeoutWaitingForPumpToStopMoving");
                return;
            }
            pump = m_watchedPump;
        }
        EString reply;
        EString error;
        const bool ok = QueryPump(pump, reply, error);
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_timers.count(id) == 0)
            return; // stopped while the pump answered
        if (!ok) {
            LogError(kSourceFile, __LINE__, error.c_str());
            StopScriptTimersLocked();
            RaiseLocked("ErrorReadingPumpState");
        } else if (strcasecmp(reply.c_str(), "0") == 0) {
            if (m_pumpMovingSeen) {
                StopScriptTimersLocked();
                RaiseLocked("PumpStoppedMoving");
            }
        } else if (!m_pumpMovingSeen) {
            m_pumpMovingSeen = 1;
            m_timers[id] = 1000;
        }
        return;
    }
    default:
        return;
    }
}

// ---- pump watch ----

void CustomerUI::SetPumpQuery(PumpQuery query)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pumpQuery = std::move(query);
}

void CustomerUI::SetClock(std::function<Clock::time_point()> now)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_now = std::move(now);
}

bool CustomerUI::QueryPump(int32_t pump, EString &reply, EString &error)
{
    PumpQuery query;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        query = m_pumpQuery;
    }
    if (query)
        return query(pump, reply, error);
    return TecanCentris::SendCommand(theApp.m_pump_port, pump, "?29", TecanCentris::kQueryTimeoutMs, reply,
                                     error);
}

bool CustomerUI::TriggerEventWhenPumpStopsMoving(int32_t pump, int32_t timeoutSeconds, std::string &error)
{
    const char *name = "CustomerUI::TriggerEventWhenPumpStopsMoving";
    if (pump != 1 && pump != 2) {
        error = FormatText("%s() - ipump=%ld, must be 1 or 2", name, static_cast<long>(pump));
        return false;
    }
    if (timeoutSeconds < 4 || timeoutSeconds > 3600) {
        error = FormatText("%s() - timeout_sec=%ld, must be between 4 and 3600", name,
                           static_cast<long>(timeoutSeconds));
        return false;
    }
    KillTimer(CUI_TIMER_PUMP_WATCH);
    EString reply;
    EString queryError;
    if (!QueryPump(pump, reply, queryError)) {
        error = queryError.c_str();
        return false;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_watchedPump = pump;
    m_pumpWatchStart = m_now();
    m_pumpWatchTimeoutS = timeoutSeconds;
    const bool still = strcasecmp(reply.c_str(), "0") == 0;
    m_timers[CUI_TIMER_PUMP_WATCH] = still ? 500 : 1000;
    m_pumpMovingSeen = still ? 0 : 1;
    return true;
}

CustomerUI &theCustomerUI()
{
    static CustomerUI screen;
    return screen;
}
