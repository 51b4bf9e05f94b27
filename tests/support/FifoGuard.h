#pragma once
// Runs code that must not block on a FIFO, without letting the test hang when it does: the code
// runs on a thread of its own; when it has not returned by the deadline, the FIFOs are opened for
// writing and closed again, which releases a reader stuck in open or read, and the result says so.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <vector>

namespace vantelis::test {

// True when work returned within timeoutMs without help.
inline bool ReturnsWithoutBlocking(const std::function<void()> &work, const std::vector<std::string> &fifos,
                                   int timeoutMs = 5000)
{
    std::future<void> done = std::async(std::launch::async, work);
    if (done.wait_for(std::chrono::milliseconds(timeoutMs)) == std::future_status::ready) {
        done.get();
        return true;
    }
    // Stuck: a writer that opens and closes lets the reader's open return and its read end.
    while (done.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
        for (const std::string &fifo : fifos) {
            const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0)
                ::close(fd);
        }
    }
    done.get();
    return false;
}

} // namespace vantelis::test
