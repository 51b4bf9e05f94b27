#pragma once
// A recording user interface whose GUI-thread calls from a worker thread are queued to the GUI
// thread, as the program's interface does.
#include "support/FakeUi.h"

#include <QCoreApplication>
#include <QThread>

#include <future>
#include <memory>

namespace vantelis::test {

// Records like FakeUi; work sent to the GUI thread from another thread runs there.
class QueuedFakeUi : public FakeUi
{
  public:
    void RunOnGuiThread(std::function<void()> work, bool wait) override
    {
        QObject *target = QCoreApplication::instance();
        if (QThread::currentThread() == target->thread())
            work();
        else if (wait) {
            // Waits on a future rather than a blocking queued call, so that the hand-back is one
            // the thread sanitizer can follow (Qt's own semaphore is not instrumented).
            auto done = std::make_shared<std::promise<void>>();
            std::future<void> finished = done->get_future();
            QMetaObject::invokeMethod(
                target,
                [work = std::move(work), done] {
                    work();
                    done->set_value();
                },
                Qt::QueuedConnection);
            finished.wait();
        } else
            QMetaObject::invokeMethod(target, std::move(work), Qt::QueuedConnection);
    }
};

} // namespace vantelis::test
