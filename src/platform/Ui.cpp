#include "platform/Ui.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <thread>

namespace platform::ui {

namespace {

// The interface used when no GUI is there (the headless command line, or before the GUI starts):
// messages go to standard error, questions take the answer that does nothing, and timers tick on
// one background thread of their own.
class HeadlessUi : public UserInterface
{
  public:
    ~HeadlessUi() override
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_quit = true;
        }
        m_cv.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }

    int MessageBox(const std::string &text, const std::string &caption, uint32_t flags) override
    {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
        switch (flags & 0xF) {
        case MbOkCancel:
        case MbYesNoCancel:
            return IdCancel;
        case MbYesNo:
            return IdNo;
        default:
            return IdOk;
        }
    }
    bool BrowseForFolder(const std::string &, const std::string &, std::string &) override { return false; }
    bool ChooseOpenFile(const std::string &, const std::string &, const std::string &, std::string &) override
    {
        return false;
    }
    bool ChooseSaveFile(const std::string &, const std::string &, const std::string &, std::string &) override
    {
        return false;
    }
    bool Prompt(const std::string &, const std::string &, std::string &) override { return false; }
    void SetStatusText(const std::string &, const std::string &) override {}
    // Without a GUI thread the caller's thread is as good as any.
    void RunOnGuiThread(std::function<void()> work, bool) override
    {
        if (work)
            work();
    }

    void StartTimer(int id, uint32_t intervalMs, std::function<void()> onTick) override
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        WaitUntilNotTicking(lock, id);
        Timer &timer = m_timers[id];
        timer.intervalMs = intervalMs == 0 ? 1 : intervalMs;
        timer.due = Clock::now() + std::chrono::milliseconds(timer.intervalMs);
        timer.onTick = std::move(onTick);
        if (!m_thread.joinable())
            m_thread = std::thread([this] { Loop(); });
        lock.unlock();
        m_cv.notify_all();
    }

    void StopTimer(int id) override
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        WaitUntilNotTicking(lock, id);
        m_timers.erase(id);
        lock.unlock();
        m_cv.notify_all();
    }

  private:
    using Clock = std::chrono::steady_clock;
    struct Timer
    {
        uint32_t intervalMs = 1;
        Clock::time_point due;
        std::function<void()> onTick;
    };

    // After StartTimer or StopTimer returns, the old callback no longer runs, unless the call
    // comes from that very callback.
    void WaitUntilNotTicking(std::unique_lock<std::mutex> &lock, int id)
    {
        if (std::this_thread::get_id() == m_thread.get_id())
            return;
        m_cv.wait(lock, [&] { return !m_ticking || m_tickingId != id; });
    }

    void Loop()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_quit) {
            auto next = m_timers.end();
            for (auto it = m_timers.begin(); it != m_timers.end(); ++it)
                if (next == m_timers.end() || it->second.due < next->second.due)
                    next = it;
            if (next == m_timers.end()) {
                m_cv.wait(lock);
                continue;
            }
            Clock::time_point due = next->second.due; // a copy: the timer may go while we wait
            if (Clock::now() < due) {
                m_cv.wait_until(lock, due);
                continue;
            }
            int id = next->first;
            next->second.due = Clock::now() + std::chrono::milliseconds(next->second.intervalMs);
            std::function<void()> tick = next->second.onTick;
            m_ticking = true;
            m_tickingId = id;
            lock.unlock();
            if (tick)
                tick();
            lock.lock();
            m_ticking = false;
            m_cv.notify_all();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::map<int, Timer> m_timers;
    std::thread m_thread;
    bool m_quit = false;
    bool m_ticking = false;
    int m_tickingId = 0;
};

std::mutex g_uiMutex;

std::shared_ptr<UserInterface> &Installed()
{
    static std::shared_ptr<UserInterface> installed;
    return installed;
}

UserInterface &Headless()
{
    // Never destroyed: callers may still hold it while the program shuts down.
    static HeadlessUi *headless = new HeadlessUi;
    return *headless;
}

} // namespace

UserInterface &Ui()
{
    std::lock_guard<std::mutex> lock(g_uiMutex);
    std::shared_ptr<UserInterface> &installed = Installed();
    return installed ? *installed : Headless();
}

std::shared_ptr<UserInterface> SetUi(std::shared_ptr<UserInterface> ui)
{
    std::lock_guard<std::mutex> lock(g_uiMutex);
    std::shared_ptr<UserInterface> previous = std::move(Installed());
    Installed() = std::move(ui);
    return previous;
}

} // namespace platform::ui
