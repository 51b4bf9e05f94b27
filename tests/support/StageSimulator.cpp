#include "support/StageSimulator.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <vector>

namespace vantelis::test {

namespace {

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

StageSimulator::StageSimulator(int baud) : PtyDeviceSimulator(baud, 115200, '\n')
{
    Start();
}

StageSimulator::~StageSimulator()
{
    Stop();
}

void StageSimulator::InjectFault(Fault fault, int count, int delayMs)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (int i = 0; i < count; ++i)
        m_faults.push_back({fault, delayMs});
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

void StageSimulator::Handle(const std::string &request, uint64_t nowMs)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    LogRequest(request);

    Fault fault = Fault::None;
    int delay = 0;
    if (!m_faults.empty()) {
        fault = m_faults.front().first;
        delay = m_faults.front().second;
        m_faults.pop_front();
    }
    if (RandomReplies())
        fault = Fault::RandomBytes;
    switch (fault) {
    case Fault::Silence:
        return;
    case Fault::Overflow:
        Send(std::string(1023, 'x'), nowMs);
        return;
    case Fault::RandomBytes:
        Send(RandomBytes(), nowMs);
        return;
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
        Send(line + "\r\n", nowMs + static_cast<uint64_t>(delay), true);
        return;
    case Fault::SplitCrLf:
        Send(line + "\r", nowMs);
        Send("\n", nowMs + 60);
        return;
    case Fault::LfOnly:
        Send(line + "\n", nowMs);
        return;
    case Fault::Paced:
        Send(line + "\r\n", nowMs, false, kPacedUsPerByte);
        return;
    default:
        Send(line + "\r\n", nowMs);
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
