#include "operator/CustomerUI.h"

#include "Ostravo/CachedLog.h"
#include "Ostravo/LogError.h"
#include "Ostravo/Profile.h"
#include "Ostravo/ProfileValues.h"
#include "Ostravo/TecanCentris.h"
#include "Ostravo/TextFormat.h"
#include "app/CommandIds.h"
#include "app/GuiSeam.h"
#include "app/PlexorinApp.h"
#include "app/ViewGlobals.h"
#include "devices/ExperimentSettings.h"
#include "platform/Files.h"
#include "platform/PathParts.h"
#include "script/Script.h"
#include "script/ScriptRuntime.h"

#include <algorithm>
#include <cmath>
#include <strings.h>
#include <utility>

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
    const bool shown = !m_data.visible;
    m_data.visible = true;
    const bool leavingVideo = m_data.state == ShowVideo && state != ShowVideo;
    m_data.state = state;
    ArmLocked(CUI_TIMER_REPAINT, 100);
    if (leavingVideo)
        ArmLocked(CUI_TIMER_STOP_LIVE_IMAGE, 1000);
    if (state == PromptForFilename) {
        m_data.browseRects.assign(m_data.inputLabels.size(), CuiRect{});
        m_data.browseHover.assign(m_data.inputLabels.size(), false);
    }
    // Showing the screen starts the script watch.
    if (shown || m_timers.count(CUI_TIMER_SCRIPT_WATCH) == 0)
        ArmLocked(CUI_TIMER_SCRIPT_WATCH, 1000);
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
    m_queuedMessage.clear();
    m_queuedMessageSeconds = 0;
    ClearStateDataLocked();
    m_countdownStart = {};
    m_data.countdownStarted = false;
    m_data.countdownDurationMs = 0;
    m_data.countdownDown = true;
    m_data.displayMode = -1;
    m_repaint = true;
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
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        StopScriptTimersLocked();
        m_eventSignalled = false;
        m_data.state = UndefinedState;
        m_repaint = true;
    }
    // The main window closes the live image with the run.
    AppFramework *framework = Framework();
    if (framework && framework->HasMainWindow())
        framework->PostCommand(cmd::kCloseLiveImage, 0);
}

CustomerUIData CustomerUI::Snapshot() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    CustomerUIData d = m_data;
    if (d.countdownStarted)
        d.countdownElapsedMs =
            std::chrono::duration_cast<std::chrono::milliseconds>(m_now() - m_countdownStart).count();
    return d;
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

void CustomerUI::SetCheckMark(int32_t box, bool checked)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (box >= 1 && box <= 6)
        m_data.checkMarks[static_cast<size_t>(box - 1)] = checked ? 1 : 0;
}

bool CustomerUI::TakeControlsDirty()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return std::exchange(m_data.controlsDirty, false);
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

bool CustomerUI::SetButtonImages(std::array<std::string, 2> &images, const std::string &normal,
                                 const std::string &hover, const std::string &folder, std::string &error)
{
    const std::string names[2] = {normal, hover};
    for (size_t i = 0; i < 2; ++i) {
        if (!names[i].empty() && !platform::FileExists(platform::JoinPath(folder, names[i]))) {
            error = FormatText("File does not exist: %s", platform::JoinPath(folder, names[i]).c_str());
            return false; // a failing hover image leaves the normal one set
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        images[i] = names[i];
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_repaint = true;
    return true;
}

bool CustomerUI::SetNextImages(const std::string &normal, const std::string &hover, const std::string &folder,
                               std::string &error)
{
    return SetButtonImages(m_data.nextImages, normal, hover, folder, error);
}

bool CustomerUI::SetBackImages(const std::string &normal, const std::string &hover, const std::string &folder,
                               std::string &error)
{
    return SetButtonImages(m_data.backImages, normal, hover, folder, error);
}

bool CustomerUI::DefineGroupBox(const CuiRect &rect, int32_t fill, int32_t border, int32_t thickness,
                                int32_t corner, std::string &error)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    CustomerUIData &d = m_data;
    // In 64 bits: a script may pass any two ints, whose difference need not fit an int.
    const int64_t width = int64_t{rect.right} - rect.left;
    const int64_t height = int64_t{rect.bottom} - rect.top;
    if (d.groupBoxRects.size() >= 10) {
        error = "No more than 10 group boxes may be defined.";
    } else if (rect.left < 0 || rect.top < 0 || rect.right > d.clientWidth || rect.bottom > d.clientHeight) {
        error = FormatText(
            "The group box rectangle must be inside the CustomerUI window: width=%ld and height=%ld",
            static_cast<long>(d.clientWidth), static_cast<long>(d.clientHeight));
    } else if (thickness < 0 || thickness > 10) {
        error = "Border thickness must not be more than 10 or less than 0";
    } else if (corner < 0 || corner > std::min(width, height)) {
        error = "Corner radius must not be less than 0 or greater than half the minumum of the height or "
                "width of the group box rectangle.";
    } else {
        d.groupBoxRects.push_back(rect);
        d.groupBoxFillColors.push_back(fill);
        d.groupBoxBorderColors.push_back(border);
        d.groupBoxBorderWidths.push_back(thickness);
        d.groupBoxCornerSizes.push_back(corner);
        return true;
    }
    return false;
}

PreviewZoomArea CustomerUI::PreviewZoom() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_previewZoom;
}

void CustomerUI::SetPreviewZoom(const PreviewZoomArea &zoom)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_previewZoom = zoom;
}

void CustomerUI::SetClientSize(int32_t width, int32_t height)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_data.clientWidth = width;
    m_data.clientHeight = height;
}

void CustomerUI::QueueMessage(const std::string &text, int32_t seconds)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_queuedMessage = text;
    m_queuedMessageSeconds = seconds;
    ArmLocked(CUI_TIMER_QUEUED_MESSAGE, 10);
}

void CustomerUI::StartCountdown(uint32_t durationMs, bool down)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_countdownStart = m_now();
    m_data.countdownStarted = true;
    m_data.countdownDurationMs = durationMs;
    m_data.countdownDown = down;
    m_savedCountdownStart = m_countdownStart;
    m_savedCountdownDurationMs = durationMs;
    m_savedCountdownDown = down;
    m_savedCountdownStarted = true;
    m_repaint = true;
    ArmLocked(CUI_TIMER_COUNTDOWN, 1000);
}

void CustomerUI::Edit(const std::function<void(CustomerUIData &)> &change)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    change(m_data);
    m_repaint = true;
}

void CustomerUI::WriteBack(const std::function<void(CustomerUIData &)> &change)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    change(m_data);
}

void CustomerUI::NoteLiveImageStopped()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_liveImageStopped = true;
    m_liveImageStopTime = m_now();
}

void CustomerUI::ClearLiveImageStop()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_liveImageStopped = false;
}

bool CustomerUI::LiveImageMayStart() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return !m_liveImageStopped || m_now() - m_liveImageStopTime > std::chrono::seconds(11);
}

void CustomerUI::TakeDisplayModeFromToolbar()
{
    std::function<int32_t()> toolbar;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_data.displayMode != -1)
            return;
        toolbar = m_host.toolbarImageType;
    }
    const int32_t type = toolbar ? toolbar() : 0;
    const int32_t mode = type >= 0 && type <= 2 ? type : 0;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_data.displayMode != -1)
        return;
    m_data.displayMode = mode;
    m_data.checkedRadio = mode + 1;
}

void CustomerUI::StopCountdown()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_timers.erase(CUI_TIMER_COUNTDOWN);
    m_countdownStart = {};
    m_data.countdownStarted = false;
    m_data.countdownDurationMs = 0;
    m_repaint = true;
}

void CustomerUI::ContinueCountdown()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    // Never started since the program began: the first tick finds it run out.
    m_countdownStart = m_savedCountdownStart;
    m_data.countdownStarted = m_savedCountdownStarted;
    m_data.countdownDurationMs = m_savedCountdownDurationMs;
    m_data.countdownDown = m_savedCountdownDown;
    m_repaint = true;
    ArmLocked(CUI_TIMER_COUNTDOWN, 1000);
}

void CustomerUI::CountdownInfo(int32_t &remainingS, int32_t &elapsedS) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    remainingS = 0;
    elapsedS = 0;
    if (!m_data.countdownStarted)
        return;
    const int64_t elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(m_now() - m_countdownStart).count();
    const int64_t duration = m_data.countdownDurationMs;
    if (elapsed >= 0 && duration >= elapsed) {
        remainingS = static_cast<int32_t>((duration - elapsed) / 1000);
        elapsedS = static_cast<int32_t>(elapsed / 1000);
    }
}

// ---- exposure combos ----

const char *const kExposureComboItems[14] = {"OFF",  " 100", " 200", " 300", " 400", " 500", " 750",
                                             "1000", "1500", "2000", "3000", "5000", "7500", "10000"};

namespace {

constexpr const char *kExposureSection = "ExperimentSettings";

std::string ReadSetting(const std::string &key, uint32_t size)
{
    return Ostravo::ReadProfileString(kExposureSection, key.c_str(), "", size, theApp.m_ini_path.c_str());
}

void WriteSetting(const std::string &key, const std::string &value)
{
    Ostravo::E_WritePrivateProfileString(kExposureSection, key.c_str(), value.c_str(),
                                         theApp.m_ini_path.c_str());
}

std::string Key(const char *name, int32_t combo)
{
    return FormatText("%s%ld", name, static_cast<long>(combo));
}

// The stored exposure of an image type as a combo text, fallback when it does not parse.
std::string StoredExposure(int32_t combo, int32_t fallback)
{
    const int32_t value = Ostravo::ReadProfileInt(kExposureSection, Key("ImageTypeExposure", combo).c_str(),
                                                  fallback, theApp.m_ini_path.c_str());
    return FormatText("%ld", static_cast<long>(value));
}

bool ValidCombo(int32_t combo)
{
    return combo >= 1 && combo <= 3;
}

} // namespace

void CustomerUI::FillExposureCombo(int32_t combo)
{
    if (!ValidCombo(combo))
        return;
    const std::string text = StoredExposure(combo, 0);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_data.comboTexts[static_cast<size_t>(combo - 1)] = text;
}

void CustomerUI::LoadExposureCombos()
{
    for (int32_t combo = 1; combo <= 3; ++combo) {
        const std::string active = ReadSetting(Key("IsActive", combo), 9);
        // An image type whose flag is neither TRUE nor FALSE counts as inactive (its combo is
        // hidden), but its hidden text holds the stored exposure, so that a click on its "OFF" box
        // turns it on with that exposure.
        const std::string text =
            strcasecmp(active.c_str(), "FALSE") == 0 ? std::string("OFF") : StoredExposure(combo, 100);
        std::lock_guard<std::mutex> lock(m_mutex);
        m_data.comboTexts[static_cast<size_t>(combo - 1)] = text;
    }
}

void CustomerUI::ApplyExposureCombo(int32_t combo, std::string *outText)
{
    if (!ValidCombo(combo))
        return;
    const size_t i = static_cast<size_t>(combo - 1);
    std::string text;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        text = m_data.comboTexts[i];
    }
    const std::string exposureKey = Key("ImageTypeExposure", combo);
    const std::string activeKey = Key("IsActive", combo);
    if (strcasecmp(text.c_str(), "OFF") == 0) {
        WriteSetting(activeKey, "FALSE");
        const std::string stored = ReadSetting(exposureKey, 31);
        std::lock_guard<std::mutex> lock(m_mutex);
        m_data.comboTexts[i] = stored;
        m_data.comboVisible[i] = false;
        m_repaint = true;
        if (outText)
            *outText = "OFF";
        return;
    }
    WriteSetting(activeKey, "TRUE");
    int32_t value = 0;
    EString error;
    if (Ostravo::ScanInt(text, value) && ValidateExposureForCamera(value, error)) {
        WriteSetting(exposureKey, FormatText("%ld", static_cast<long>(value)));
        if (outText)
            *outText = FormatText("%lu", static_cast<unsigned long>(value));
        return;
    }
    // Not applied: the combo shows the exposure that is still in force, not the rejected text.
    const std::string stored = StoredExposure(combo, 100);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_data.comboTexts[i] = stored;
    m_repaint = true;
}

void CustomerUI::UpdateExposureComboVisibility(int32_t combo)
{
    if (!ValidCombo(combo))
        return;
    const bool active = strcasecmp(ReadSetting(Key("IsActive", combo), 9).c_str(), "TRUE") == 0;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_data.comboVisible[static_cast<size_t>(combo - 1)] = active;
}

void CustomerUI::SetComboText(int32_t combo, const std::string &text)
{
    if (!ValidCombo(combo))
        return;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_data.comboTexts[static_cast<size_t>(combo - 1)] = text;
}

void CustomerUI::OnComboCloseUp(int32_t combo)
{
    if (!ValidCombo(combo))
        return;
    LogCustomerUIState(Key("OnCbnCloseupCombo", combo).c_str(), State(), nullptr);
    ArmTimer(CUI_TIMER_APPLY_EXPOSURE1 + combo - 1, 100);
}

void CustomerUI::OnComboEditChange(int32_t combo, const std::string &text)
{
    if (!ValidCombo(combo))
        return;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_data.comboTexts[static_cast<size_t>(combo - 1)] = text;
    ArmLocked(CUI_TIMER_APPLY_EXPOSURE1 + combo - 1, 1000);
}

void CustomerUI::OnExposureOffBox(int32_t combo)
{
    if (!ValidCombo(combo))
        return;
    const size_t i = static_cast<size_t>(combo - 1);
    // The hidden text is normally the stored exposure; after the combos were loaded with the image
    // type off it still reads "OFF", which would keep the type off.
    bool off = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        off = strcasecmp(m_data.comboTexts[i].c_str(), "OFF") == 0;
    }
    if (off)
        SetComboText(combo, StoredExposure(combo, 100));
    ApplyExposureCombo(combo, nullptr);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_data.comboVisible[i] = true;
    m_repaint = true;
}

void CustomerUI::OnDisplayRadio(int32_t radio)
{
    if (radio < 1 || radio > 3)
        return;
    LogCustomerUIState(FormatText("OnBnClickedRadio%ld", static_cast<long>(radio)).c_str(), State(), nullptr);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_data.checkedRadio = radio;
    ArmLocked(CUI_TIMER_DISPLAY_MODE, 10);
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
    m_repaint = true;
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
    ++m_eventWaiters;
    const bool signalled = m_eventCv.wait_for(lock, timeout, [this] { return m_eventSignalled; });
    --m_eventWaiters;
    if (!signalled)
        return false;
    m_eventSignalled = false; // auto-reset: one set releases one wait
    text = m_eventText;
    return true;
}

int32_t CustomerUI::EventWaiters() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_eventWaiters;
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
    m_repaint = true;
}

bool CustomerUI::OnLButtonDown(int32_t x, int32_t y)
{
    const CustomerUIData d = Snapshot();
    if (HasNextButton(d.state) && !d.nextHidden &&
        d.buttonRects[static_cast<size_t>(d.nextTextRect)].Contains(x, y)) {
        OnNext();
        return true;
    }
    if (HasBackButton(d.state) && !d.backHidden &&
        d.buttonRects[static_cast<size_t>(3 + d.backTextRect)].Contains(x, y)) {
        LogCustomerUIState("BackClicked", d.state, nullptr);
        std::lock_guard<std::mutex> lock(m_mutex);
        StopScriptTimersLocked();
        m_data.messageText.clear();
        m_data.controlsDirty = true;
        RaiseLocked("Back");
        m_repaint = true;
        return true;
    }
    if (d.state == SelectAction) {
        if (!d.actionLines.empty()) {
            for (size_t i = 0; i < d.actionRects.size() && i < d.actionLines.size(); ++i) {
                if (d.actionRects[i].Contains(x, y)) {
                    RaiseEvent(d.actionLines[i]);
                    LogCustomerUIState("ActionSelected", d.state, d.actionLines[i].c_str());
                    return true;
                }
            }
        } else if (d.fixedActionRects[0].Contains(x, y)) {
            RaiseEvent("Live Cell Enrichment");
            LogCustomerUIState("ActionSelected", d.state, "Live Cell Enrichment");
            return true;
        }
    }
    if (d.showSplitLine && d.state == ShowVideo) {
        const ImageRect band = _flow_split.Get().hit_band;
        if (band.left <= x && x <= band.right && band.top <= y && y <= band.bottom) {
            LogCustomerUIState("ChannelDividerMoveInitiated", d.state, nullptr);
            std::lock_guard<std::mutex> lock(m_mutex);
            m_data.splitDragStartY = y;
            m_repaint = true;
            return true;
        }
    }
    return false;
}

bool CustomerUI::OnMouseMove(int32_t x, int32_t y, bool leftDown)
{
    const CustomerUIData d = Snapshot();
    bool onSplitLine = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const int32_t state = m_data.state;
        if (state >= 0 && state < NumberOfStates) {
            const size_t si = static_cast<size_t>(state);
            const bool overNext =
                HasNextButton(state) && d.buttonRects[static_cast<size_t>(d.nextTextRect)].Contains(x, y);
            const bool overBack =
                HasBackButton(state) && d.buttonRects[static_cast<size_t>(3 + d.backTextRect)].Contains(x, y);
            if (m_data.nextHover[si] != overNext || m_data.backHover[si] != overBack)
                m_repaint = true;
            m_data.nextHover[si] = overNext;
            m_data.backHover[si] = overBack;
        }
        if (state == SelectAction) {
            int32_t hover = 0;
            if (!d.actionLines.empty()) {
                for (size_t i = 0; i < d.actionRects.size() && hover == 0; ++i)
                    if (d.actionRects[i].Contains(x, y))
                        hover = static_cast<int32_t>(i) + 1;
            } else {
                for (size_t i = 0; i < d.fixedActionRects.size() && hover == 0; ++i)
                    if (d.fixedActionRects[i].Contains(x, y))
                        hover = static_cast<int32_t>(i) + 1;
            }
            if (hover != m_data.hoverAction) {
                m_data.hoverAction = hover;
                m_repaint = true;
            }
        }
        if (state == PromptForFilename) {
            for (size_t i = 0; i < m_data.browseRects.size() && i < m_data.browseHover.size(); ++i) {
                const bool over = m_data.browseRects[i].Contains(x, y);
                if (m_data.browseHover[i] != over) {
                    m_data.browseHover[i] = over;
                    m_repaint = true;
                }
            }
        }
    }
    if (d.showSplitLine && d.state == ShowVideo) {
        if (!leftDown) {
            const ImageRect band = _flow_split.Get().hit_band;
            onSplitLine = band.left <= x && x <= band.right && band.top <= y && y <= band.bottom;
        } else if (d.splitDragStartY != 0) {
            onSplitLine = true;
            DragSplitLine(y, false);
        }
    }
    return onSplitLine;
}

int32_t CustomerUI::BrowseBoxAt(int32_t x, int32_t y) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_data.state != PromptForFilename)
        return -1;
    for (size_t i = 0; i < m_data.browseRects.size(); ++i)
        if (m_data.browseRects[i].Contains(x, y))
            return static_cast<int32_t>(i);
    return -1;
}

void CustomerUI::SetBrowseRects(std::vector<CuiRect> rects)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    rects.resize(m_data.browseRects.size());
    m_data.browseRects = std::move(rects);
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
    m_repaint = true;
    ArmLocked(CUI_TIMER_MESSAGE_BANNER, seconds * 50);
    return true;
}

void CustomerUI::ArmTimer(int32_t id, int32_t periodMs)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ArmLocked(id, periodMs);
}

void CustomerUI::ArmLocked(int32_t id, int32_t periodMs)
{
    // Arming a running timer replaces it.
    m_timers[id] = TimerEntry{periodMs, m_now() + std::chrono::milliseconds(periodMs)};
}

std::vector<int32_t> CustomerUI::TakeDueTimers()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const Clock::time_point now = m_now();
    std::vector<int32_t> due;
    for (auto &[id, entry] : m_timers) {
        if (entry.due > now)
            continue;
        due.push_back(id);
        entry.due = now + std::chrono::milliseconds(entry.periodMs);
    }
    return due;
}

bool CustomerUI::TakeRepaint()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return std::exchange(m_repaint, false);
}

void CustomerUI::SetHost(CustomerUIHost host)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_host = std::move(host);
}

void CustomerUI::SetVisible(bool visible)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const bool shown = visible && !m_data.visible;
    m_data.visible = visible;
    // The script watch runs whenever the screen is shown.
    if (shown)
        ArmLocked(CUI_TIMER_SCRIPT_WATCH, 1000);
}

void CustomerUI::KillTimer(int32_t id)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_timers.erase(id);
    m_repaint = true; // a stopped countdown leaves the screen
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
    std::map<int32_t, int32_t> periods;
    for (const auto &[id, entry] : m_timers)
        periods[id] = entry.periodMs;
    return periods;
}

void CustomerUI::OnTimer(int32_t id)
{
    switch (id) {
    case CUI_TIMER_MESSAGE_BANNER:
        OnMessageBannerTick();
        return;
    case CUI_TIMER_REPAINT:
        OnRepaintTick();
        return;
    case CUI_TIMER_START_LIVE_IMAGE:
    case CUI_TIMER_STOP_LIVE_IMAGE:
        OnLiveImageTick(id);
        return;
    case CUI_TIMER_APPLY_EXPOSURE1:
    case CUI_TIMER_APPLY_EXPOSURE2:
    case CUI_TIMER_APPLY_EXPOSURE3:
        OnApplyExposureTick(id);
        return;
    case CUI_TIMER_QUEUED_MESSAGE:
        OnQueuedMessageTick();
        return;
    case CUI_TIMER_COUNTDOWN:
        OnCountdownTick();
        return;
    case CUI_TIMER_DISPLAY_MODE:
        OnDisplayModeTick();
        return;
    case CUI_TIMER_UNHIDE_NEXT:
    case CUI_TIMER_UNHIDE_BACK:
        OnUnhideTick(id);
        return;
    case CUI_TIMER_SCRIPT_WATCH:
        OnScriptWatchTick();
        return;
    case CUI_TIMER_PUMP_WATCH:
        OnPumpWatchTick();
        return;
    default:
        return;
    }
}

void CustomerUI::OnMessageBannerTick()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_repaint = true;
    if (m_data.messageTicks > 0)
        --m_data.messageTicks;
    else
        m_timers.erase(CUI_TIMER_MESSAGE_BANNER);
}

void CustomerUI::OnRepaintTick()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_timers.erase(CUI_TIMER_REPAINT);
    m_repaint = true;
}

void CustomerUI::OnLiveImageTick(int32_t id)
{
    CustomerUIHost host;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_timers.erase(id);
        host = m_host;
    }
    // Start live imaging only when it is off, stop it only when it is on.
    const bool pressed = host.liveImagePressed && host.liveImagePressed();
    if (host.postCommand && pressed == (id == CUI_TIMER_STOP_LIVE_IMAGE))
        host.postCommand(cmd::kLiveImage);
}

void CustomerUI::OnApplyExposureTick(int32_t id)
{
    KillTimer(id);
    const int32_t combo = id - CUI_TIMER_APPLY_EXPOSURE1 + 1;
    std::string applied;
    ApplyExposureCombo(combo, &applied);
    LogCustomerUIState(FormatText("OnChangeExposure%ld", static_cast<long>(combo)).c_str(), State(),
                       applied.c_str());
}

void CustomerUI::OnQueuedMessageTick()
{
    std::string text;
    int32_t seconds = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_timers.erase(CUI_TIMER_QUEUED_MESSAGE);
        text = std::exchange(m_queuedMessage, std::string());
        seconds = std::exchange(m_queuedMessageSeconds, 0);
    }
    ShowTimedMessage(text, seconds);
}

void CustomerUI::OnCountdownTick()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_repaint = true;
    // Measured on the monotonic clock: a change of the wall clock neither ends nor stretches it.
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(m_now() - m_countdownStart).count();
    if (!m_data.countdownStarted || elapsed > static_cast<int64_t>(m_data.countdownDurationMs)) {
        StopScriptTimersLocked();
        RaiseLocked("TimerExpired");
    }
}

void CustomerUI::OnDisplayModeTick()
{
    CustomerUIHost host;
    int32_t radio = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_timers.erase(CUI_TIMER_DISPLAY_MODE);
        host = m_host;
        radio = m_data.checkedRadio;
    }
    if (radio < 1 || radio > 3)
        return;
    const int32_t mode = radio - 1;
    const int32_t shown = host.toolbarImageType ? host.toolbarImageType() : 0;
    if (shown == mode)
        return;
    if (host.selectToolbarImageType)
        host.selectToolbarImageType(mode);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_data.controlsDirty = true;
    m_repaint = true;
}

void CustomerUI::OnUnhideTick(int32_t id)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (id == CUI_TIMER_UNHIDE_NEXT)
        m_data.nextHidden = false;
    else
        m_data.backHidden = false;
    m_timers.erase(id);
    m_repaint = true;
}

void CustomerUI::OnScriptWatchTick()
{
    bool running = false;
    for (const ScriptInstanceInfo &info : ScriptInstanceList())
        if (info.handle == 1)
            running = info.running;
    if (running)
        return;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_eventSignalled = true;
    m_eventCv.notify_one();
    m_timers.erase(CUI_TIMER_SCRIPT_WATCH);
    m_data.visible = false;
    m_repaint = true;
}

void CustomerUI::OnPumpWatchTick()
{
    constexpr int32_t id = CUI_TIMER_PUMP_WATCH;
    int32_t pump = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_timers.count(id) == 0)
            return;
        if (m_pumpWatchStart + std::chrono::seconds(m_pumpWatchTimeoutS) < m_now()) {
            StopScriptTimersLocked();
            RaiseLocked("TimeoutWaitingForPumpToStopMoving");
            m_repaint = true;
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
        m_repaint = true;
    } else if (strcasecmp(reply.c_str(), "0") == 0) {
        if (m_pumpMovingSeen) {
            StopScriptTimersLocked();
            RaiseLocked("PumpStoppedMoving");
            m_repaint = true;
        }
    } else if (!m_pumpMovingSeen) {
        m_pumpMovingSeen = 1;
        ArmLocked(id, 1000);
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
    ArmLocked(CUI_TIMER_PUMP_WATCH, still ? 500 : 1000);
    m_pumpMovingSeen = still ? 0 : 1;
    return true;
}

// ---- Next and Back hiding, layout and action style ----

void CustomerUI::HideButtonFor(bool next, int32_t periodMs)
{
    // One lock for both: a re-show tick between hiding and re-arming would leave the button shown
    // with no period running.
    std::lock_guard<std::mutex> lock(m_mutex);
    ArmLocked(next ? CUI_TIMER_UNHIDE_NEXT : CUI_TIMER_UNHIDE_BACK, std::max(periodMs, 0));
    bool &hidden = next ? m_data.nextHidden : m_data.backHidden;
    if (!hidden) {
        hidden = true;
        m_repaint = true;
    }
}

void CustomerUI::ShowButtonNow(bool next)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_timers.erase(next ? CUI_TIMER_UNHIDE_NEXT : CUI_TIMER_UNHIDE_BACK);
    bool &hidden = next ? m_data.nextHidden : m_data.backHidden;
    if (hidden) {
        hidden = false;
        m_repaint = true;
    }
}

void CustomerUI::SetTopLinePos(double fraction)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_data.topLinePos = fraction;
}

void CustomerUI::SetActionsTopLinePos(double fraction)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_data.actionsTopLinePos = fraction;
}

bool CustomerUI::CanCreateFont(const std::string &face, int32_t height) const
{
    std::function<bool(const std::string &, int32_t)> canCreate;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        canCreate = m_host.canCreateFont;
    }
    return !canCreate || canCreate(face, height);
}

CustomerUI &theCustomerUI()
{
    static CustomerUI screen;
    return screen;
}
