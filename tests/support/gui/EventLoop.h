#pragma once
#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <functional>

namespace vantelis::test {

// Runs the Qt event loop (letting it wait for events, as the program's loop does) until done()
// holds; false when it never does within half a minute.
inline bool RunEventLoopUntil(const std::function<bool()> &done)
{
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    check.start(20);
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}

} // namespace vantelis::test
