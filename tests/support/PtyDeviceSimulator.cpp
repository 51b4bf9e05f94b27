#include "support/PtyDeviceSimulator.h"

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace vantelis::test {

namespace {

bool SpeedOf(int baud, speed_t &speed)
{
    switch (baud) {
    case 9600:
        speed = B9600;
        return true;
    case 19200:
        speed = B19200;
        return true;
    case 38400:
        speed = B38400;
        return true;
    case 115200:
        speed = B115200;
        return true;
    default:
        return false;
    }
}

} // namespace

PtyDeviceSimulator::PtyDeviceSimulator(int baud, int defaultBaud, char requestEnd)
    : m_baud(baud), m_defaultBaud(defaultBaud), m_requestEnd(requestEnd)
{
    char name[256] = {};
    if (::openpty(&m_master, &m_port, name, nullptr, nullptr) != 0)
        return;
    m_portPath = name;
    // Raw from the start, so nothing is echoed before the driver sets the port up.
    termios settings{};
    ::tcgetattr(m_port, &settings);
    ::cfmakeraw(&settings);
    ::tcsetattr(m_port, TCSANOW, &settings);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
}

PtyDeviceSimulator::~PtyDeviceSimulator()
{
    Stop();
    if (m_port >= 0)
        ::close(m_port);
    if (m_master >= 0)
        ::close(m_master);
}

void PtyDeviceSimulator::Start()
{
    if (m_master >= 0)
        m_thread = std::thread([this] { Run(); });
}

void PtyDeviceSimulator::Stop()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
}

void PtyDeviceSimulator::SetRandomReplies(bool on, uint32_t seed)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_random = on;
    m_randomState = seed ? seed : 1;
}

std::vector<std::string> PtyDeviceSimulator::Requests()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

void PtyDeviceSimulator::ClearRequests()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_requests.clear();
}

bool PtyDeviceSimulator::WaitForLateAnswers(int count, int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return m_lateWritten >= count; });
}

void PtyDeviceSimulator::Send(std::string bytes, uint64_t dueMs, bool late, int usPerByte)
{
    m_pending.push_back({dueMs, std::move(bytes), late, usPerByte});
}

void PtyDeviceSimulator::StartNoise(int durationMs, int everyMs)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const uint64_t now = SteadyMs();
    for (int at = 0; at<durationMs; at += everyMs> 0 ? everyMs : 1)
        Send("~", now + static_cast<uint64_t>(at));
}

std::string PtyDeviceSimulator::RandomBytes()
{
    auto next = [&] {
        m_randomState = m_randomState * 1103515245u + 12345u;
        return (m_randomState >> 16) & 0x7FFF;
    };
    std::string bytes;
    const unsigned length = next() % 40;
    for (unsigned i = 0; i < length; ++i) {
        const char c = static_cast<char>(next() & 0xFF);
        bytes += c == '\0' ? '\x01' : c;
    }
    if (next() % 4 != 0)
        bytes += "\r\n";
    return bytes;
}

uint64_t PtyDeviceSimulator::SteadyMs()
{
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

bool PtyDeviceSimulator::BaudMatches()
{
    termios settings{};
    if (::tcgetattr(m_port, &settings) != 0)
        return false;
    speed_t wanted = B0;
    if (!SpeedOf(m_baud, wanted))
        SpeedOf(m_defaultBaud, wanted);
    return ::cfgetospeed(&settings) == wanted && ::cfgetispeed(&settings) == wanted;
}

void PtyDeviceSimulator::Run()
{
    std::string input;
    while (!m_stop) {
        pollfd p{m_master, POLLIN, 0};
        ::poll(&p, 1, 5);
        char buffer[512];
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        const uint64_t now = SteadyMs();
        if (n > 0) {
            // A port at another baud hears noise, never a request.
            if (BaudMatches())
                input.append(buffer, static_cast<size_t>(n));
            size_t start;
            while ((start = input.find('/')) != std::string::npos) {
                const size_t end = input.find(m_requestEnd, start);
                if (end == std::string::npos)
                    break;
                std::string request = input.substr(start + 1, end - start - 1);
                if (!request.empty() && request.back() == '\r')
                    request.pop_back();
                Handle(request, now);
                input.erase(0, end + 1);
            }
            if (input.find('/') == std::string::npos)
                input.clear();
        }
        std::vector<Pending> due;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            auto split = std::stable_partition(m_pending.begin(), m_pending.end(),
                                               [&](const Pending &item) { return item.dueMs > now; });
            due.assign(split, m_pending.end());
            m_pending.erase(split, m_pending.end());
        }
        for (const Pending &item : due) {
            const auto paced = std::chrono::steady_clock::now();
            size_t done = 0;
            while (done < item.bytes.size()) {
                if (item.usPerByte > 0)
                    std::this_thread::sleep_until(paced + std::chrono::microseconds(item.usPerByte) *
                                                              static_cast<int64_t>(done));
                const size_t chunk = item.usPerByte > 0 ? 1 : item.bytes.size() - done;
                const ssize_t w = ::write(m_master, item.bytes.data() + done, chunk);
                if (w > 0)
                    done += static_cast<size_t>(w);
                else
                    ::usleep(1000);
            }
            if (item.late) {
                std::lock_guard<std::mutex> lock(m_mutex);
                ++m_lateWritten;
                m_changed.notify_all();
            }
        }
    }
}

} // namespace vantelis::test
