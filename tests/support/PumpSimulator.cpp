#include "support/PumpSimulator.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace vantelis::test {

namespace {

constexpr char kEtx = 0x03;
constexpr int kStepsPerStroke = 24000;

// The time the pumps run on; tests that stop the program's clock do not stop the pumps.
uint64_t SteadyMs()
{
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

std::string Frame(char status, const std::string &data)
{
    return std::string("\xFF/0") + status + data + kEtx + "\r\n";
}

bool ParseDouble(const std::string &text, double &value)
{
    char *end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end != text.c_str();
}

} // namespace

PumpSimulator::PumpSimulator(int baud) : m_baud(baud)
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
    m_thread = std::thread([this] { Run(); });
}

PumpSimulator::~PumpSimulator()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    if (m_port >= 0)
        ::close(m_port);
    if (m_master >= 0)
        ::close(m_master);
}

void PumpSimulator::InjectFault(Fault fault, int count, char status, int delayMs)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (int i = 0; i < count; ++i)
        m_faults.push_back({fault, {status, delayMs}});
}

void PumpSimulator::SetRandomReplies(bool on, uint32_t seed)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_random = on;
    m_randomState = seed ? seed : 1;
}

PumpSimulator::PumpState PumpSimulator::Pump(int address)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    PumpState state = m_pumps[address - 1];
    state.positionUl = Position(state, SteadyMs());
    return state;
}

void PumpSimulator::SetPump(int address, const PumpState &state)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pumps[address - 1] = state;
}

std::vector<std::string> PumpSimulator::Requests()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

void PumpSimulator::ClearRequests()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_requests.clear();
}

bool PumpSimulator::WaitForLateAnswers(int count, int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return m_lateWritten >= count; });
}

bool PumpSimulator::BaudMatches()
{
    termios settings{};
    if (::tcgetattr(m_port, &settings) != 0)
        return false;
    speed_t wanted = B9600;
    switch (m_baud) {
    case 115200:
        wanted = B115200;
        break;
    case 19200:
        wanted = B19200;
        break;
    case 38400:
        wanted = B38400;
        break;
    default:
        wanted = B9600;
        break;
    }
    return ::cfgetospeed(&settings) == wanted && ::cfgetispeed(&settings) == wanted;
}

double PumpSimulator::Position(const PumpState &pump, uint64_t nowMs)
{
    if (!pump.moving)
        return pump.positionUl;
    const double distance = pump.targetUl - pump.startUl;
    const double travelled = pump.topSpeedUlPerSec * static_cast<double>(nowMs - pump.startMs) / 1000.0;
    if (travelled >= std::fabs(distance))
        return pump.targetUl;
    return pump.startUl + (distance < 0 ? -travelled : travelled);
}

void PumpSimulator::Settle(PumpState &pump, uint64_t nowMs)
{
    pump.positionUl = Position(pump, nowMs);
    if (pump.moving && pump.positionUl == pump.targetUl)
        pump.moving = false;
}

void PumpSimulator::Run()
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
                const size_t end = input.find('\r', start);
                if (end == std::string::npos)
                    break;
                Handle(input.substr(start + 1, end - start - 1), now);
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

void PumpSimulator::Handle(const std::string &request, uint64_t nowMs)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_requests.push_back(request);
    size_t digits = 0;
    while (digits < request.size() && request[digits] >= '0' && request[digits] <= '9')
        ++digits;
    if (digits == 0)
        return;
    const int address = std::atoi(request.substr(0, digits).c_str());
    if (address != 1 && address != 2)
        return; // nobody there
    const std::string command = request.substr(digits);

    Fault fault = Fault::None;
    char faultStatus = 0;
    int delay = 0;
    if (!m_faults.empty()) {
        fault = m_faults.front().first;
        faultStatus = m_faults.front().second.first;
        delay = m_faults.front().second.second;
        m_faults.pop_front();
    }
    if (m_random)
        fault = Fault::RandomBytes;

    auto send = [&](std::string bytes, uint64_t dueMs) {
        m_pending.push_back({dueMs, std::move(bytes), false});
    };
    switch (fault) {
    case Fault::Silence:
        return;
    case Fault::RandomBytes: {
        auto next = [&] {
            m_randomState = m_randomState * 1103515245u + 12345u;
            return (m_randomState >> 16) & 0x7FFF;
        };
        std::string bytes;
        const unsigned length = next() % 40;
        for (unsigned i = 0; i < length; ++i) {
            char c = static_cast<char>(next() & 0xFF);
            bytes += c == '\0' ? '\x01' : c;
        }
        if (next() % 4 != 0)
            bytes += "\r\n";
        send(bytes, nowMs);
        return;
    }
    case Fault::Overflow:
        send(std::string(1023, 'x'), nowMs);
        return;
    case Fault::Status:
        send(Frame(faultStatus, ""), nowMs);
        return;
    default:
        break;
    }

    char status = '`';
    const std::string data = Execute(m_pumps[address - 1], command, nowMs, status);
    std::string frame = Frame(status, data);
    switch (fault) {
    case Fault::Late:
        m_pending.push_back({nowMs + static_cast<uint64_t>(delay), frame, true});
        return;
    case Fault::SplitCrLf:
        send(frame.substr(0, frame.size() - 1), nowMs);
        send("\n", nowMs + 60);
        return;
    case Fault::LfOnly:
        frame.erase(frame.size() - 2, 1);
        break;
    case Fault::NoEtx:
        frame.erase(frame.size() - 3, 1);
        break;
    case Fault::NoFF:
        frame.erase(0, 1);
        break;
    case Fault::OtherAddress:
        frame[2] = static_cast<char>('0' + address);
        break;
    default:
        break;
    }
    send(frame, nowMs);
}

std::string PumpSimulator::Execute(PumpState &pump, const std::string &command, uint64_t nowMs, char &status)
{
    Settle(pump, nowMs);
    auto busyStatus = [&] { return pump.moving ? '@' : '`'; };
    auto fmt = [](const char *format, double value) {
        char text[64];
        std::snprintf(text, sizeof text, format, value);
        return std::string(text);
    };
    status = busyStatus();
    if (command.empty()) {
        status = 'B';
        return {};
    }
    if (command[0] == '?') {
        const int report = std::atoi(command.c_str() + 1);
        switch (report) {
        case 1:
            return fmt("%.0f", std::round(pump.positionUl / pump.capacityUl * kStepsPerStroke));
        case 4:
            return std::to_string(pump.backlash);
        case 6:
            return "900";
        case 7:
            return fmt("%.0f", pump.topSpeedUlPerSec / pump.capacityUl * kStepsPerStroke);
        case 8:
            return "900";
        case 9:
            return std::to_string(pump.rampUp);
        case 10:
            return std::to_string(pump.rampDown);
        case 16:
            return std::to_string(kStepsPerStroke);
        case 17:
            return std::to_string(pump.capacityUl);
        case 18:
            return fmt("%.1f", pump.positionUl);
        case 29:
            return pump.moving ? "1" : "0";
        case 45:
            return std::to_string(pump.moves);
        case 53:
            return fmt("%.1f", pump.temperatureF);
        case 76:
            return "CENTRIS SIM";
        default:
            status = 'C';
            return {};
        }
    }
    auto startMove = [&](double target) {
        if (target < 0.0 || target > pump.capacityUl) {
            status = 'C';
            return;
        }
        if (pump.moving) {
            status = 'O';
            return;
        }
        if (!pump.initialized) {
            status = 'G';
            return;
        }
        pump.startUl = pump.positionUl;
        pump.targetUl = target;
        pump.startMs = nowMs;
        pump.moving = target != pump.positionUl;
        ++pump.moves;
        status = busyStatus();
    };
    const char verb = command[0];
    const std::string rest = command.substr(1);
    double value = 0.0;
    switch (verb) {
    case 'Z':
        pump.initialized = true;
        startMove(0.0);
        return {};
    case 'K':
        if (!ParseDouble(rest, value))
            status = 'C';
        else
            pump.backlash = static_cast<int32_t>(value);
        return {};
    case 'i':
    case '!':
        return {};
    case 'L': {
        int up = 0, down = 0;
        if (std::sscanf(rest.c_str(), "%d,%d", &up, &down) != 2 || up < 1 || up > 40 || down < 1 || down > 40)
            status = 'C';
        else {
            pump.rampUp = up;
            pump.rampDown = down;
        }
        return {};
    }
    case 'V':
        if (!ParseDouble(rest, value) || value <= 0.0)
            status = 'C';
        else
            pump.topSpeedUlPerSec = value;
        return {};
    case 'I':
    case 'O':
    case 'B':
        if (command.size() != 1) {
            status = 'B';
            return {};
        }
        pump.pendingValve = verb;
        return {};
    case 'R':
        if (pump.pendingValve) {
            pump.valve = pump.pendingValve;
            pump.pendingValve = 0;
        }
        return {};
    case 'A':
        if (!ParseDouble(rest, value))
            status = 'C';
        else
            startMove(value);
        return {};
    case 'P':
        if (!ParseDouble(rest, value) || value < 0.0)
            status = 'C';
        else
            startMove(pump.positionUl + value);
        return {};
    case 'D':
        if (!ParseDouble(rest, value) || value < 0.0)
            status = 'C';
        else
            startMove(pump.positionUl - value);
        return {};
    case 'T':
        pump.moving = false;
        status = '`';
        return {};
    case 'U': {
        static const int codes[][2] = {{93, 50},   {94, 100},  {90, 250},  {95, 500},  {96, 1000},
                                       {91, 1250}, {97, 2500}, {92, 5000}, {98, 12500}};
        const int code = std::atoi(rest.c_str());
        for (const auto &entry : codes)
            if (entry[0] == code) {
                pump.capacityUl = entry[1];
                return {};
            }
        status = 'C';
        return {};
    }
    default:
        status = 'B';
        return {};
    }
}

} // namespace vantelis::test
