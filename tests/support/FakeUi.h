#pragma once
// A recording stand-in for the user interface: remembers every message box, status text,
// picker, prompt and timer, and answers from queues the test fills (defaults when empty).
#include "platform/Ui.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vantelis::test {

class FakeUi : public platform::ui::UserInterface
{
  public:
    struct Message
    {
        std::string text;
        std::string caption;
        uint32_t flags = 0;
    };
    struct Status
    {
        std::string target;
        std::string text;
    };
    // A folder or file picker, or a prompt: what was asked.
    struct Request
    {
        std::string kind; // "folder", "open", "save" or "prompt"
        std::string title;
        std::string start; // start folder or file; for a prompt its label
        std::string filter;
    };
    struct Answer
    {
        bool ok = false;
        std::string text;
    };

    // The next message box returns result. With an empty queue a box answers its default:
    // IdOk for MbOk, IdNo for MbYesNo, IdCancel for MbOkCancel and MbYesNoCancel.
    void QueueMessageAnswer(int result);
    // The next folder/file picker or prompt answers ok with text (a path or the typed text);
    // with an empty queue they are cancelled.
    void QueueAnswer(bool ok, const std::string &text = std::string());

    std::vector<Message> Messages() const;
    std::vector<Status> Statuses() const;
    std::vector<Request> Requests() const;
    // Last text set on target; empty when none.
    std::string LastStatus(const std::string &target) const;
    void Clear();

    bool TimerActive(int id) const;
    uint32_t TimerInterval(int id) const; // 0 when not active
    // Runs the tick of timer id once, as an elapsed interval would; false when it is not active.
    bool FireTimer(int id);

    int MessageBox(const std::string &text, const std::string &caption, uint32_t flags) override;
    bool BrowseForFolder(const std::string &title, const std::string &start, std::string &chosen) override;
    bool ChooseOpenFile(const std::string &title, const std::string &start, const std::string &filter,
                        std::string &chosen) override;
    bool ChooseSaveFile(const std::string &title, const std::string &start, const std::string &filter,
                        std::string &chosen) override;
    bool Prompt(const std::string &title, const std::string &label, std::string &text) override;
    void SetStatusText(const std::string &target, const std::string &text) override;
    // Runs work at once on the calling thread.
    void RunOnGuiThread(std::function<void()> work, bool wait) override;
    void StartTimer(int id, uint32_t intervalMs, std::function<void()> onTick) override;
    void StopTimer(int id) override;

  private:
    bool Answered(const Request &request, std::string &chosen);

    struct Timer
    {
        uint32_t intervalMs = 0;
        std::function<void()> onTick;
    };

    mutable std::mutex m_mutex;
    std::deque<int> m_messageAnswers;
    std::deque<Answer> m_answers;
    std::vector<Message> m_messages;
    std::vector<Status> m_statuses;
    std::vector<Request> m_requests;
    std::map<int, Timer> m_timers;
};

// Installs a fresh FakeUi for the lifetime of the object and puts the previous interface back.
class ScopedFakeUi
{
  public:
    ScopedFakeUi();
    ~ScopedFakeUi();
    ScopedFakeUi(const ScopedFakeUi &) = delete;
    ScopedFakeUi &operator=(const ScopedFakeUi &) = delete;

    FakeUi &operator*() const { return *m_ui; }
    FakeUi *operator->() const { return m_ui.get(); }

  private:
    std::shared_ptr<FakeUi> m_ui;
    std::shared_ptr<platform::ui::UserInterface> m_previous;
};

} // namespace vantelis::test
