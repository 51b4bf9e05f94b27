#pragma once
// User-interface seams. Core code asks the user or shows something only through these; the GUI
// installs the Qt implementation at start-up, tests install a recording fake. Every call may be
// made from any thread: the Qt side runs it on the GUI thread (blocking when an answer is needed).
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform::ui {

// Message-box buttons and icons, as flags combined with '|'.
enum MessageFlags : uint32_t
{
    MbOk = 0x0,
    MbOkCancel = 0x1,
    MbYesNoCancel = 0x3,
    MbYesNo = 0x4,
    MbIconError = 0x10,
    MbIconQuestion = 0x20,
    MbIconWarning = 0x30,
    MbIconInformation = 0x40,
};

enum MessageResult : int
{
    IdOk = 1,
    IdCancel = 2,
    IdYes = 6,
    IdNo = 7,
};

class UserInterface
{
  public:
    virtual ~UserInterface() = default;
    virtual int MessageBox(const std::string &text, const std::string &caption, uint32_t flags) = 0;
    // Folder picker starting at start; false when cancelled.
    virtual bool BrowseForFolder(const std::string &title, const std::string &start, std::string &chosen) = 0;
    // File pickers; filter like "Images (*.png *.tif)"; false when cancelled.
    virtual bool ChooseOpenFile(const std::string &title, const std::string &start, const std::string &filter,
                                std::string &chosen) = 0;
    virtual bool ChooseSaveFile(const std::string &title, const std::string &start, const std::string &filter,
                                std::string &chosen) = 0;
    // One-line text prompt; false when cancelled.
    virtual bool Prompt(const std::string &title, const std::string &label, std::string &text) = 0;
    // Sets a status text (a status-bar pane or a named control) without waiting.
    virtual void SetStatusText(const std::string &target, const std::string &text) = 0;
    // Runs work on the GUI thread; waits for it when wait is true.
    virtual void RunOnGuiThread(std::function<void()> work, bool wait) = 0;
    // Repeating timers by id: StartTimer replaces a timer with the same id.
    virtual void StartTimer(int id, uint32_t intervalMs, std::function<void()> onTick) = 0;
    virtual void StopTimer(int id) = 0;
};

// The interface in use. Until the GUI or a test installs one, a headless implementation answers:
// messages go to standard error and questions get their default (OK / Cancel / No).
UserInterface &Ui();
// Installs ui (nullptr restores the headless one) and returns the previous one. Install and
// remove while no other thread is using the seam (at start-up and exit, in test set-up).
std::shared_ptr<UserInterface> SetUi(std::shared_ptr<UserInterface> ui);

// Shorthand used everywhere.
inline int MessageBox(const std::string &text, const std::string &caption = "Vantelis", uint32_t flags = MbOk)
{
    return Ui().MessageBox(text, caption, flags);
}

} // namespace platform::ui
