#pragma once
// A recording user interface whose GUI-thread calls from a worker thread are queued to the GUI
// thread, as the program's interface does.
#include "support/FakeUi.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <deque>
#include <future>
#include <memory>
#include <mutex>

namespace vantelis::test {

// Records like FakeUi; work sent to the GUI thread from another thread runs there.
//
// The hand-back goes through a queue of our own, under a standard mutex, drained by a timer on
// the GUI thread, rather than through Qt's event queue: Qt's own locks are not instrumented, so
// the thread sanitizer cannot follow work (or its captures) posted through them. Create this on
// the GUI thread.
class QueuedFakeUi : public FakeUi
{
  public:
    QueuedFakeUi()
    {
        m_pump.setInterval(1);
        QObject::connect(&m_pump, &QTimer::timeout, [this] { Drain(); });
        m_pump.start();
    }

    void RunOnGuiThread(std::function<void()> work, bool wait) override
    {
        if (QThread::currentThread() == m_pump.thread()) {
            work();
            return;
        }
        if (!wait) {
            Enqueue(std::move(work));
            return;
        }
        auto done = std::make_shared<std::promise<void>>();
        std::future<void> finished = done->get_future();
        Enqueue([work = std::move(work), done] {
            work();
            done->set_value();
        });
        finished.wait();
    }

  private:
    void Enqueue(std::function<void()> work)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queue.push_back(std::move(work));
    }

    void Drain()
    {
        std::deque<std::function<void()>> batch;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            batch.swap(m_queue);
        }
        for (std::function<void()> &work : batch)
            work();
    }

    std::mutex m_mutex;
    std::deque<std::function<void()>> m_queue;
    QTimer m_pump;
};

} // namespace vantelis::test
