#pragma once
// The countdown window and the inform-operator window as the script threads drive them. The GUI
// lends the two windows; every call only hands its work to the user-interface thread. Without
// windows (the headless run, core tests) a countdown still waits its time.
#include "script/Script.h"

#include <cstdint>
#include <memory>
#include <string>

class ScriptWaitWindows
{
  public:
    virtual ~ScriptWaitWindows() = default;
    // Hands the message (empty keeps the previous one), the seconds and the direction (countUp 1
    // counts the elapsed time up) to the countdown window and shows it.
    virtual void ShowCountdown(const std::string &text, int32_t seconds, int32_t countUp) = 0;
    // True until the window has hidden itself (time up, "Continue") or was ended.
    virtual bool CountdownVisible() = 0;
    // Ends the countdown with result 1, which hides the window.
    virtual void EndCountdown() = 0;
    // The inform-operator window: the message and the seconds rule (0 hides it at the first
    // tick, a negative count shows it until closed, a positive one counts down).
    virtual void InformOperator(const std::string &text, int32_t seconds) = 0;
};

// Installs the windows (nullptr removes them). Any thread.
void SetScriptWaitWindows(std::shared_ptr<ScriptWaitWindows> windows);
std::shared_ptr<ScriptWaitWindows> GetScriptWaitWindows();

// Shows the countdown and waits on the script thread until it closes, the script is stopped (the
// window is then ended) or the program exits. Looks every 100 ms. Without windows it waits the
// seconds on the monotonic clock, ending early on a stop or the exit.
void RunCountdown(Script &instance, const std::string &text, int32_t seconds, int32_t countUp);
// Hands the message to the inform-operator window; does nothing without windows.
void ShowInformOperator(const std::string &text, int32_t seconds);
