#pragma once
// The guided operator screen's model: the state the screen shows, the per-screen data that scripts
// fill, the operator event a waiting script command blocks on, the flow-split drag, the pump watch
// and the screen's timers. It owns no window: the window paints a snapshot of it (Snapshot) and
// hands it mouse input and timer ticks; script commands call it from the script thread of handle 1.
// Every member is guarded by one mutex, so a paint never sees a container being resized.
#include "Ostravo/EString.h"

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

enum CustomerUIState : int32_t
{
    UndefinedState = -1,
    Login = 0,
    SelectAction = 1,
    PromptInsertFlowcell = 2,
    PipetteSample = 3,
    SampleBeingCollected = 4,
    RunComplete = 5,
    RunSummary = 6,
    ShowVideo = 7,
    PromptForInput = 8,
    PromptInfo = 9,
    PromptForInputChecks = 10,
    PromptForFilename = 11,
    PromptForImageChecks = 12,
    PromptForFusedImageVerification = 13,
    PromptForMontageReport = 14,
    NumberOfStates = 15,
};

// Window timers of the screen.
enum CustomerUITimer : int32_t
{
    CUI_TIMER_MESSAGE_BANNER = 1000,
    CUI_TIMER_START_LIVE_IMAGE = 1001,
    CUI_TIMER_STOP_LIVE_IMAGE = 1002,
    CUI_TIMER_APPLY_EXPOSURE1 = 1003,
    CUI_TIMER_APPLY_EXPOSURE2 = 1004,
    CUI_TIMER_APPLY_EXPOSURE3 = 1005,
    CUI_TIMER_SCRIPT_WATCH = 1006,
    CUI_TIMER_QUEUED_MESSAGE = 1007,
    CUI_TIMER_COUNTDOWN = 1008,
    CUI_TIMER_DISPLAY_MODE = 1009,
    CUI_TIMER_PUMP_WATCH = 1010,
    CUI_TIMER_UNHIDE_NEXT = 1011,
    CUI_TIMER_UNHIDE_BACK = 1012,
    CUI_TIMER_REPAINT = 1013,
};

// The log name of a state; "InvalidStat0e" outside -1..15.
const char *CustomerUIStateName(int32_t state);
// One line of the daily operator-screen log; info may be null.
void LogCustomerUIState(const char *action, int32_t state, const char *info);

// A rectangle in client coordinates; a point lies in it with the edges included.
struct CuiRect
{
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    bool Contains(int32_t x, int32_t y) const { return left <= x && x <= right && top <= y && y <= bottom; }
    bool operator==(const CuiRect &) const = default;
};

// Screen size and placement for a desktop of the given size.
struct CustomerUIPlacement
{
    int32_t width = 0;
    int32_t height = 0;
    CuiRect window;    // placement rectangle, centred on the desktop
    CuiRect imageArea; // where the live image is drawn in ShowVideo
    CuiRect splitText; // where the split percent is shown
    CuiRect countdown; // the countdown box
};
CustomerUIPlacement PlaceCustomerUI(int32_t desktopWidth, int32_t desktopHeight);

// The zoom-in area of the image preview as fractions of the image.
struct PreviewZoomArea
{
    double left = 0.0;
    double right = 1.0;
    double top = 0.0;
    double bottom = 1.0;
};

// Everything the painters read; copied whole under the model's lock.
struct CustomerUIData
{
    int32_t state = Login;
    std::string title;
    std::string selectionTitle = "Select the protocol you would like to run.";
    std::vector<std::string> textLines;
    std::vector<std::string> inputLabels;
    std::vector<std::string> inputValues;
    std::vector<int32_t> inputWidths;
    std::array<std::string, 6> editTexts;  // texts of input edits 1 to 6
    std::array<int32_t, 6> checkMarks{};   // check boxes 1 to 6
    std::string password;                  // the password edit
    std::array<std::string, 3> comboTexts; // exposure combos 1 to 3
    std::array<bool, 3> comboVisible{};    // a hidden combo shows its "OFF" box
    int32_t checkedRadio = 0;              // display-mode radio 1 to 3; 0 = none
    std::string nextText;
    std::string backText;
    bool showSplitLine = true;
    std::vector<std::string> images;
    std::vector<std::string> imageColors;
    std::vector<CuiRect> groupBoxRects;
    std::vector<int32_t> groupBoxFillColors;
    std::vector<int32_t> groupBoxBorderColors;
    std::vector<int32_t> groupBoxBorderWidths;
    std::vector<int32_t> groupBoxCornerSizes;
    std::vector<std::string> actionLines;
    std::vector<CuiRect> actionRects;
    std::array<CuiRect, 3> fixedActionRects{};
    std::string actionFontFace;
    int32_t actionFontHeight = 0;
    int32_t actionTextColor = -1;
    int32_t actionHighlightTextColor = -1;
    int32_t actionBackgroundColor = -1;
    int32_t actionHighlightBackgroundColor = -1;
    int32_t actionCornerRadius = 0;
    int32_t actionVerticalSpacing = 0;
    int32_t actionWidth = 0;
    std::array<std::string, 2> nextImages;
    std::array<std::string, 2> backImages;
    bool nextHidden = false;
    bool backHidden = false;
    std::array<CuiRect, 6> buttonRects{};
    int32_t nextTextRect = 0;
    int32_t backTextRect = 0;
    std::array<bool, NumberOfStates> nextHover{};
    std::array<bool, NumberOfStates> backHover{};
    int32_t hoverAction = 0; // 1-based action box under the mouse, 0 = none
    std::vector<CuiRect> browseRects;
    std::vector<bool> browseHover;
    double topLinePos = 0.01;
    double actionsTopLinePos = 0;
    std::string splitText;
    int32_t splitDragStartY = 0;
    bool controlsDirty = false;
    int32_t messageTicks = 0;
    int32_t messageTicksTotal = 20;
    std::string messageText;
    bool countdownDown = false;
    bool countdownStarted = false;
    uint32_t countdownDurationMs = 0;
    int64_t countdownElapsedMs = 0; // at the snapshot
    int32_t displayMode = -1;
    bool visible = false;
    int32_t clientWidth = 1919; // the client rectangle is (0, 0)-(clientWidth, clientHeight)
    int32_t clientHeight = 1079;
    // Colours as Windows RGB values (red | green << 8 | blue << 16); a script may change them.
    int32_t backgroundColor = 0x3F3221; // RGB(33, 50, 63)
    int32_t textColor = 0xFFFFFF;       // RGB(255, 255, 255)
    int32_t highlightColor = 0xB4B344;  // RGB(68, 179, 180)
    // The state of the last completed paint; -1 = none yet.
    int32_t paintedState = UndefinedState;
};

// What the model asks of the program around it; every link may be empty (nothing happens).
struct CustomerUIHost
{
    // Whether the main window's Live Image toolbar button is pressed.
    std::function<bool()> liveImagePressed;
    // Posts a command to the main window.
    std::function<void(int32_t command)> postCommand;
    // The image type selected in the main window's toolbar (0 without a toolbar), and its selection.
    std::function<int32_t()> toolbarImageType;
    std::function<void(int32_t type)> selectToolbarImageType;
    // Whether a font of this face and height can be made for the action buttons (none: it can).
    std::function<bool(const std::string &face, int32_t height)> canCreateFont;
};

// The items of an exposure combo; the three-digit values carry one leading blank.
extern const char *const kExposureComboItems[14];

class CustomerUI
{
  public:
    using Clock = std::chrono::steady_clock;
    // Asks pump 1 or 2 whether it moves: reply gets the status text, "0" when it stands still.
    using PumpQuery = std::function<bool(int32_t pump, EString &reply, EString &error)>;

    static constexpr int32_t kMaxInputIndex = 5;
    static constexpr int32_t kMaxBannerSeconds = 600;

    CustomerUI();

    // ---- states (script thread) ----
    bool SetState(int32_t state, std::string &error);
    int32_t State() const;
    static bool HasNextButton(int32_t state);
    static bool HasBackButton(int32_t state);
    void ClearStateData();
    void Reset();
    // Resets the screen and starts path on interpreter handle 1. Refused, with nothing reset, while
    // handle 1 still has an instance.
    bool Reload(const char *path, std::string &error);
    // The end of an operator script: script timers off, event unsignalled, UndefinedState.
    void OnScriptEnded();
    CustomerUIData Snapshot() const;

    // ---- content (script thread) ----
    bool SetImage(int32_t slot, const std::string &file, const std::string &folder, std::string &error);
    bool SetInput(int32_t index, const std::string &label, const std::string &value, int32_t width);
    bool SetCheckboxInput(int32_t index, const std::string &label, int32_t mark);
    void SetEditText(int32_t edit, const std::string &text); // edit 1..6, 0 = the password edit
    void SetCheckMark(int32_t box, bool checked);            // check box 1..6
    // Whether the live-video controls must be shown and their combos reloaded; clears the mark.
    bool TakeControlsDirty();
    void SetActionLines(std::vector<std::string> lines, std::vector<CuiRect> rects);
    void SetFixedActionRects(const std::array<CuiRect, 3> &rects);
    void SetButtonRects(const std::array<CuiRect, 6> &rects, int32_t nextTextRect, int32_t backTextRect);
    void HideNext(bool hidden);
    void HideBack(bool hidden);
    void SetShowSplitLine(bool show);

    bool SetNextImages(const std::string &normal, const std::string &hover, const std::string &folder,
                       std::string &error);
    bool SetBackImages(const std::string &normal, const std::string &hover, const std::string &folder,
                       std::string &error);
    bool DefineGroupBox(const CuiRect &rect, int32_t fill, int32_t border, int32_t thickness, int32_t corner,
                        std::string &error);
    PreviewZoomArea PreviewZoom() const;
    void SetPreviewZoom(const PreviewZoomArea &zoom);
    // The client size the window gives the screen (set once by the window).
    void SetClientSize(int32_t width, int32_t height);
    // The banner text a script queues; shown by the next CUI_TIMER_QUEUED_MESSAGE tick.
    void QueueMessage(const std::string &text, int32_t seconds);
    // Starts the countdown box: durationMs from now, showing the remaining time when down is set.
    void StartCountdown(uint32_t durationMs, bool down);
    // Stops the countdown box and clears its duration and start; the copy kept by the last start
    // stays for ContinueCountdown.
    void StopCountdown();
    // Applies a change to the screen's data under its lock and requests a repaint (script thread).
    void Edit(const std::function<void(CustomerUIData &)> &change);
    // Applies what a paint writes back (hit rectangles, the painted state) without asking for a
    // repaint (user-interface thread).
    void WriteBack(const std::function<void(CustomerUIData &)> &change);
    // A script stopped live imaging now: the live video screen leaves it off for 11 seconds.
    void NoteLiveImageStopped();
    // Forgets the stop (entering the live video screen).
    void ClearLiveImageStop();
    // Whether the live video screen may switch live imaging on: no stop noted, or the last one
    // more than 11 seconds ago.
    bool LiveImageMayStart() const;
    // While the display mode is unset (-1), takes the toolbar's image type (0 without a toolbar)
    // and checks the matching radio.
    void TakeDisplayModeFromToolbar();
    // Restores the countdown last started (time spent stopped counts as elapsed) and re-arms its tick.
    void ContinueCountdown();
    // Whole seconds remaining and elapsed of the countdown; both 0 when none runs or it has run out.
    void CountdownInfo(int32_t &remainingS, int32_t &elapsedS) const;

    // ---- exposure combos (user-interface thread); combo is 1..3, settings in the main file ----
    void FillExposureCombo(int32_t combo);
    void LoadExposureCombos();
    // Stores the combo's choice; outText gets "OFF" or the applied exposure, empty when nothing
    // was applied (a rejected exposure puts the stored one back into the combo).
    void ApplyExposureCombo(int32_t combo, std::string *outText);
    void UpdateExposureComboVisibility(int32_t combo);
    void SetComboText(int32_t combo, const std::string &text);
    void OnComboCloseUp(int32_t combo);
    void OnComboEditChange(int32_t combo, const std::string &text);
    // A click on a hidden combo's "OFF" box: the image type becomes active with its exposure.
    void OnExposureOffBox(int32_t combo);
    // A display-mode radio (1..3) is clicked.
    void OnDisplayRadio(int32_t radio);

    // ---- flow split ----
    bool SetFlowSplit(int32_t percent);
    void DragSplitLine(int32_t y, bool commit);
    void UpdateFlowSplitText(bool repaint);

    // ---- operator event ----
    void RaiseEvent(const std::string &text);
    // Sets the event without a new text (the script watch).
    void SetEvent();
    // Waits for the event (auto-reset) up to timeout; true with its text when it was set.
    bool WaitForEvent(std::chrono::milliseconds timeout, std::string &text);
    // How many commands wait for the event right now (0 or 1: one operator script at a time).
    int32_t EventWaiters() const;

    // ---- operator input and timers (user-interface thread) ----
    void OnNext();
    bool ValidateLogin(std::string &error) const;
    // The clicks that need no window: Next, Back, action boxes and the start of a split drag; true
    // when one of them took the click.
    bool OnLButtonDown(int32_t x, int32_t y);
    void OnLButtonUp(int32_t y);
    // Hover of Next, Back, the action boxes and the Browse boxes, and the split drag; true when the
    // point is on the split line (the sizing cursor shows).
    bool OnMouseMove(int32_t x, int32_t y, bool leftDown);
    // The Browse box of a file-name prompt under the point, 0-based; -1 when none.
    int32_t BrowseBoxAt(int32_t x, int32_t y) const;
    void SetBrowseRects(std::vector<CuiRect> rects);
    void SetVisible(bool visible);
    // Whether a tick or an input asked for the whole screen to be repainted since the last call.
    bool TakeRepaint();
    // The timers due at the clock's now; each is re-armed for its next period (a one-shot timer
    // kills itself at its tick).
    std::vector<int32_t> TakeDueTimers();
    void SetHost(CustomerUIHost host);
    bool ShowTimedMessage(const std::string &text, int32_t seconds);
    void ArmTimer(int32_t id, int32_t periodMs);
    void KillTimer(int32_t id);
    void StopScriptTimers();
    // The armed timers and their periods.
    std::map<int32_t, int32_t> Timers() const;
    // One tick of a timer; the pump watch tick queries the pump, so it runs off the GUI thread.
    void OnTimer(int32_t id);

    // ---- pump watch (script thread) ----
    bool TriggerEventWhenPumpStopsMoving(int32_t pump, int32_t timeoutSeconds, std::string &error);
    void SetPumpQuery(PumpQuery query);
    // Replaces the clock (tests).
    void SetClock(std::function<Clock::time_point()> now);

    // ---- Next and Back hiding, layout and action style (script thread) ----
    // Hides Next (next set) or Back and arms its re-show timer with periodMs, replacing a running
    // one; a hidden button stays hidden until the new period ends.
    void HideButtonFor(bool next, int32_t periodMs);
    // Stops the button's re-show timer and shows the button.
    void ShowButtonNow(bool next);
    // The tops of the prompt lines and of the action buttons as fractions of the client height;
    // they take effect at the next paint, nothing is repainted here.
    void SetTopLinePos(double fraction);
    void SetActionsTopLinePos(double fraction);
    // Asks the host whether the action-button font can be made (true without a host link).
    bool CanCreateFont(const std::string &face, int32_t height) const;

  private:
    void ResetLocked();
    void ClearStateDataLocked();
    void StopScriptTimersLocked();
    void RaiseLocked(const std::string &text);
    void UpdateFlowSplitTextLocked();
    bool QueryPump(int32_t pump, EString &reply, EString &error);
    void ArmLocked(int32_t id, int32_t periodMs);
    // One tick of each timer, as OnTimer hands them out.
    void OnMessageBannerTick();
    void OnRepaintTick();
    void OnLiveImageTick(int32_t id);     // the start and the stop timer
    void OnApplyExposureTick(int32_t id); // the three exposure combos' timers
    void OnQueuedMessageTick();
    void OnCountdownTick();
    void OnDisplayModeTick();
    void OnUnhideTick(int32_t id); // Next's and Back's re-show timers
    void OnScriptWatchTick();
    void OnPumpWatchTick();
    bool SetButtonImages(std::array<std::string, 2> &images, const std::string &normal,
                         const std::string &hover, const std::string &folder, std::string &error);

    struct TimerEntry
    {
        int32_t periodMs = 0;
        Clock::time_point due{};
    };

    mutable std::mutex m_mutex;
    std::condition_variable m_eventCv;
    bool m_eventSignalled = false;
    std::string m_eventText;
    int32_t m_eventWaiters = 0;
    CustomerUIData m_data;
    std::map<int32_t, TimerEntry> m_timers;
    bool m_repaint = false;
    Clock::time_point m_countdownStart{};
    Clock::time_point m_savedCountdownStart{};
    uint32_t m_savedCountdownDurationMs = 0;
    bool m_savedCountdownDown = true;
    bool m_savedCountdownStarted = false;
    std::string m_queuedMessage;
    int32_t m_queuedMessageSeconds = 0;
    CustomerUIHost m_host;
    PreviewZoomArea m_previewZoom;
    int32_t m_watchedPump = 0;
    int32_t m_pumpMovingSeen = 0;
    Clock::time_point m_pumpWatchStart{};
    int32_t m_pumpWatchTimeoutS = 0;
    PumpQuery m_pumpQuery;
    std::function<Clock::time_point()> m_now;
    bool m_liveImageStopped = false;
    Clock::time_point m_liveImageStopTime{};
};

// The one operator screen.
CustomerUI &theCustomerUI();
