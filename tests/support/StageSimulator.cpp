#include "support/StageSimulator.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sstream>
#include <termios.h>
#include <unistd.h>

namespace vantelis::test {

namespace {

uint64_t SteadyMs()
{
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

std::string Reply(int device, int axis, bool busy, const std::string &value)
{
    char head[32];
    std::snprintf(head, sizeof head, "@%02d %d OK %s -- ", device, axis, busy ? "BUSY" : "IDLE");
    return head + value;
}

std::string Rejected(int device, int axis, const std::string &reason)
{
    char head[32];
    std::snprintf(head, sizeof head, "@%02d %d RJ IDLE -- ", device, axis);
    return head + reason;
}

bool ParseSteps(const std::string &text, int32_t &value)
{
    char *end = nullptr;
    const long parsed = std::strtol(text.c_str(), &end, 10);
    if (end == text.c_str() || *end != '\0')
        return false;
    value = static_cast<int32_t>(parsed);
    return true;
}

} // namespace

StageSimulator::StageSimulator(int baud) : m_baud(baud)
{
    char name[256] = {};
    if (::openpty(&m_master, &m_port, name, nullptr, nullptr) != 0)
        return;
    m_portPath = name;
    termios settings{};
    ::tcgetattr(m_port, &settings);
    ::cfmakeraw(&settings);
    ::tcsetattr(m_port, TCSANOW, &settings);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    m_thread = std::thread([this] { Run(); });
}

StageSimulator::~StageSimulator()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    if (m_port >= 0)
        ::close(m_port);
    if (m_master >= 0)
        ::close(m_master);
}

void StageSimulator::InjectFault(Fault fault, int count, int delayMs)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (int i = 0; i < count; ++i)
        m_faults.push_back({fault, delayMs});
}

void StageSimulator::SetRandomReplies(bool on, uint32_t seed)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_random = on;
    m_randomState = seed ? seed : 1;
}

StageSimulator::AxisState StageSimulator::Axis(int axis)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_axes[axis - 1];
}

void StageSimulator::SetAxis(int axis, const AxisState &state)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_axes[axis - 1] = state;
}

void StageSimulator::SetBusyPollsPerMove(int polls)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_busyPollsPerMove = polls;
}

void StageSimulator::SetTemperature(const std::string &text)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_temperature = text;
}

void StageSimulator::SetDeviceId(uint32_t id)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_deviceId = id;
}

void StageSimulator::SetSerialNumber(uint32_t number)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_serialNumber = number;
}

std::vector<std::string> StageSimulator::Requests()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

void StageSimulator::ClearRequests()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_requests.clear();
}

bool StageSimulator::WaitForLateAnswers(int count, int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return m_lateWritten >= count; });
}

bool StageSimulator::BaudMatches()
{
    termios settings{};
    if (::tcgetattr(m_port, &settings) != 0)
        return false;
    speed_t wanted = B115200;
    switch (m_baud) {
    case 9600:
        wanted = B9600;
        break;
    case 19200:
        wanted = B19200;
        break;
    case 38400:
        wanted = B38400;
        break;
    default:
        wanted = B115200;
        break;
    }
    return ::cfgetospeed(&settings) == wanted && ::cfgetispeed(&settings) == wanted;
}

void StageSimulator::Run()
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
                const size_t end = input.find('\n', start);
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
            size_t done = 0;
            while (done < item.bytes.size()) {
                const ssize_t w = ::write(m_master, item.bytes.data() + done, item.bytes.size() - done);
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

void StageSimulator::Handle(const std::string &request, uint64_t nowMs)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_requests.push_back(request);

    Fault fault = Fault::None;
    int delay = 0;
    if (!m_faults.empty()) {
        fault = m_faults.front().first;
        delay = m_faults.front().second;
        m_faults.pop_front();
    }
    if (m_random)
        fault = Fault::RandomBytes;
    auto send = [&](std::string bytes, uint64_t dueMs, bool late = false) {
        m_pending.push_back({dueMs, std::move(bytes), late});
    };
    switch (fault) {
    case Fault::Silence:
        return;
    case Fault::Overflow:
        send(std::string(1023, 'x'), nowMs);
        return;
    case Fault::RandomBytes: {
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
        send(bytes, nowMs);
        return;
    }
    default:
        break;
    }

    std::string line = Execute(request);
    if (line.empty())
        return; // no such device
    switch (fault) {
    case Fault::Rejected:
        if (line.size() > 6 && line.compare(5, 4, " OK ") == 0)
            line.replace(5, 4, " RJ ");
        break;
    case Fault::OtherAddress:
        line[2] = '2';
        break;
    default:
        break;
    }
    switch (fault) {
    case Fault::Late:
        send(line + "\r\n", nowMs + static_cast<uint64_t>(delay), true);
        return;
    case Fault::SplitCrLf:
        send(line + "\r", nowMs);
        send("\n", nowMs + 60);
        return;
    case Fault::LfOnly:
        send(line + "\n", nowMs);
        return;
    default:
        send(line + "\r\n", nowMs);
        return;
    }
}

std::string StageSimulator::Execute(const std::string &request)
{
    std::istringstream in(request);
    std::vector<std::string> words;
    for (std::string word; in >> word;)
        words.push_back(word);
    // Unaddressed requests reach every device; only device 1 is here.
    int device = 0;
    int axis = 0;
    size_t next = 0;
    if (!words.empty() && !words[0].empty() && std::isdigit(static_cast<unsigned char>(words[0][0]))) {
        device = std::atoi(words[0].c_str());
        next = 1;
        if (words.size() > 1 && std::isdigit(static_cast<unsigned char>(words[1][0]))) {
            axis = std::atoi(words[1].c_str());
            next = 2;
        }
    }
    if (device != 0 && device != 1)
        return {};
    device = 1;
    std::vector<std::string> command(words.begin() + static_cast<std::ptrdiff_t>(next), words.end());
    if (axis < 0 || axis > 2)
        return Rejected(device, axis, "BADAXIS");

    AxisState *state = axis > 0 ? &m_axes[axis - 1] : nullptr;
    auto busy = [&](AxisState *s) {
        if (!s)
            return (m_axes[0].moving || m_axes[0].busyPolls != 0) ||
                   (m_axes[1].moving || m_axes[1].busyPolls != 0);
        return s->moving || s->busyPolls != 0;
    };
    auto startMove = [&](AxisState &s) {
        s.moving = false;
        s.busyPolls = m_busyPollsPerMove;
    };

    if (command.empty()) {
        const bool isBusy = busy(state);
        if (state && !state->moving && state->busyPolls > 0)
            --state->busyPolls;
        return Reply(device, axis, isBusy, "0");
    }
    if (command.size() == 2 && command[0] == "get") {
        if (command[1] == "deviceid")
            return Reply(device, 0, busy(nullptr), std::to_string(m_deviceId));
        if (command[1] == "system.serial")
            return Reply(device, 0, busy(nullptr), std::to_string(m_serialNumber));
        if (command[1] == "driver.temperature" && state)
            return Reply(device, axis, busy(state), m_temperature);
        if (command[1] == "pos" && state)
            return Reply(device, axis, busy(state), std::to_string(state->position));
        return Rejected(device, axis, "BADCOMMAND");
    }
    if (!state)
        return Rejected(device, axis, "BADAXIS");
    if (command.size() == 1 && command[0] == "home") {
        state->position = 0;
        ++state->homes;
        startMove(*state);
        return Reply(device, axis, true, "0");
    }
    if (command.size() == 1 && command[0] == "stop") {
        state->moving = false;
        state->busyPolls = 0;
        ++state->stops;
        return Reply(device, axis, false, "0");
    }
    int32_t steps = 0;
    if (command.size() == 3 && command[0] == "move" && ParseSteps(command[2], steps)) {
        if (command[1] == "abs") {
            state->position = steps;
            startMove(*state);
            return Reply(device, axis, true, "0");
        }
        if (command[1] == "rel") {
            state->position += steps;
            startMove(*state);
            return Reply(device, axis, true, "0");
        }
        if (command[1] == "vel") {
            state->velocity = steps;
            state->moving = steps != 0;
            return Reply(device, axis, state->moving, "0");
        }
    }
    return Rejected(device, axis, "BADCOMMAND");
}

} // namespace vantelis::test
