#include "support/PumpSimulator.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace vantelis::test {

namespace {

constexpr char kEtx = 0x03;
constexpr int kStepsPerStroke = 24000;

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

PumpSimulator::PumpSimulator(int baud) : PtyDeviceSimulator(baud, 9600, '\r')
{
    Start();
}

PumpSimulator::~PumpSimulator()
{
    Stop();
}

void PumpSimulator::InjectFault(Fault fault, int count, char status, int delayMs)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (int i = 0; i < count; ++i)
        m_faults.push_back({fault, {status, delayMs}});
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

void PumpSimulator::Handle(const std::string &request, uint64_t nowMs)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    LogRequest(request);
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
    if (RandomReplies())
        fault = Fault::RandomBytes;

    switch (fault) {
    case Fault::Silence:
        return;
    case Fault::RandomBytes:
        Send(RandomBytes(), nowMs);
        return;
    case Fault::Overflow:
        Send(std::string(1023, 'x'), nowMs);
        return;
    case Fault::Status:
        Send(Frame(faultStatus, ""), nowMs);
        return;
    default:
        break;
    }

    char status = '`';
    const std::string data = Execute(m_pumps[address - 1], command, nowMs, status);
    std::string frame = Frame(status, data);
    switch (fault) {
    case Fault::Late:
        Send(frame, nowMs + static_cast<uint64_t>(delay), true);
        return;
    case Fault::Paced:
        Send(frame, nowMs, false, kPacedUsPerByte);
        return;
    case Fault::SplitCrLf:
        Send(frame.substr(0, frame.size() - 1), nowMs);
        Send("\n", nowMs + 60);
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
    Send(frame, nowMs);
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
        case 20:
            return std::string(1, pump.valve);
        case 29:
            return pump.moving ? "1" : "0";
        case 37:
            return fmt("%g", pump.topSpeedUlPerSec);
        case 45:
            return std::to_string(pump.moves);
        case 53:
            return fmt("%.1f", pump.temperatureF);
        case 76:
            return pump.configuration;
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
