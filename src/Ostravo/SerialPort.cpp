#include "Ostravo/SerialPort.h"

#include "Ostravo/LogError.h"
#include "Ostravo/Profile.h"
#include "Ostravo/TextFormat.h"

#include "platform/Sync.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>

SortedPtrArray<SerialPort, SerialPortOrder> SerialPortTable;
std::mutex SerialPortTableMutex;
std::atomic<SerialPortFailureFn> SerialPortFailureCallback{nullptr};

namespace {

constexpr int32_t kPollIntervalMs = 10;
constexpr int32_t kReplyBufferSize = 1023;
// A request of the sizes the drivers send goes out in well under this.
constexpr int kWriteTimeoutMs = 2000;

// Pauses between reads of a discarding wait, so a release of the port waits no longer than this.
constexpr uint32_t kPauseSliceMs = 20;

// Monotonic milliseconds for read deadlines: the program's clock can be stopped by tests, the line
// cannot.
uint64_t SteadyMs()
{
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

// Storage position of the record for comNumber; -1 when absent. The caller holds the table lock.
int32_t FindPort(int32_t comNumber)
{
    SerialPort probe;
    probe.m_com_number = comNumber;
    bool found = false;
    const int32_t position = SerialPortTable.FindInsertPos(&probe, found);
    return found ? SerialPortTable.GetSortedIndex(position - 1) : -1;
}

} // namespace

std::string SerialPortDevicePath(uint32_t comNumber)
{
    if (comNumber == 0)
        return {};
    const std::string settings = GetLogSettings().mainSettingsPath;
    if (!settings.empty()) {
        char value[260];
        const std::string key = "PortDevice" + std::to_string(comNumber);
        if (Ostravo::E_GetPrivateProfileString("Serial", key.c_str(), "", value, sizeof value,
                                               settings.c_str())) {
            EString device(value);
            device.Trim();
            if (device.IsNonEmpty())
                return device.c_str();
        }
    }
    static const char *const families[] = {"/dev/ttyS", "/dev/ttyUSB", "/dev/ttyACM"};
    const uint32_t family = (comNumber - 1) / 32;
    if (family >= 3)
        return {};
    return families[family] + std::to_string((comNumber - 1) % 32);
}

namespace {

// Opens the port and adds its record; the caller holds the table lock and has made sure the
// number is free. The new record is handed back in added.
bool OpenIntoTable(uint32_t comNumber, int32_t baud, EString &error, SerialPort **added)
{
    auto port = std::make_unique<SerialPort>();
    port->m_com_number = static_cast<int32_t>(comNumber);
    port->m_baud = baud;
    const std::string path = SerialPortDevicePath(comNumber);
    std::string reason;
    if (path.empty() || !port->m_device.Open(path, baud, reason)) {
        error.Assign(FormatText("SetupSerialPort () : COM%lu problem trying to setup serial port resource.",
                                static_cast<unsigned long>(comNumber))
                         .c_str());
        return false;
    }
    port->m_poll_interval_ms = kPollIntervalMs;
    if (added)
        *added = port.get();
    SerialPortTable.Add(port.release());
    return true;
}

} // namespace

bool SetupSerialPort(uint32_t comNumber, int32_t baud, EString &error)
{
    std::lock_guard<std::mutex> table(SerialPortTableMutex);
    if (FindPort(static_cast<int32_t>(comNumber)) >= 0) {
        error.Assign(
            FormatText(
                "SetupSerialPort () - Port %ld is already being used - call ReleaseSerialPort () first.",
                static_cast<long>(static_cast<int32_t>(comNumber)))
                .c_str());
        return false;
    }
    return OpenIntoTable(comNumber, baud, error, nullptr);
}

bool ReleaseSerialPort(int32_t comNumber)
{
    std::lock_guard<std::mutex> table(SerialPortTableMutex);
    const int32_t position = FindPort(comNumber);
    if (position < 0)
        return false;
    // Let a transaction still running on the port finish; none can start while the table is held.
    {
        std::lock_guard<std::mutex> wait(SerialPortTable.GetAt(position)->m_mutex);
    }
    SerialPortTable.RemoveAt(position);
    return true;
}

bool IsSerialPortOpen(int32_t comNumber)
{
    std::lock_guard<std::mutex> table(SerialPortTableMutex);
    return FindPort(comNumber) >= 0;
}

bool ReopenSerialPort(uint32_t comNumber, int32_t baud, EString &error)
{
    std::lock_guard<std::mutex> table(SerialPortTableMutex);
    bool pending = false;
    uint64_t failedAt = 0, lastInput = 0;
    uint32_t quiet = 0;
    const int32_t position = FindPort(static_cast<int32_t>(comNumber));
    if (position >= 0) {
        SerialPort *old = SerialPortTable.GetAt(position);
        {
            std::lock_guard<std::mutex> wait(old->m_mutex);
            pending = old->m_settle_pending;
            failedAt = old->m_failed_at_ms;
            lastInput = old->m_last_input_ms;
            quiet = old->m_settle_quiet_ms;
        }
        SerialPortTable.RemoveAt(position);
    }
    SerialPort *port = nullptr;
    if (!OpenIntoTable(comNumber, baud, error, &port))
        return false;
    std::lock_guard<std::mutex> lock(port->m_mutex);
    port->m_settle_pending = pending;
    port->m_failed_at_ms = failedAt;
    port->m_last_input_ms = lastInput;
    port->m_settle_quiet_ms = quiet;
    return true;
}

void SerialPauseDiscardingInput(int32_t comNumber, uint32_t ms)
{
    const uint64_t end = SteadyMs() + ms;
    for (uint64_t now = SteadyMs(); now < end; now = SteadyMs()) {
        const uint32_t slice = static_cast<uint32_t>(std::min<uint64_t>(end - now, kPauseSliceMs));
        std::unique_lock<std::mutex> portLock;
        SerialPort *port = nullptr;
        {
            std::lock_guard<std::mutex> table(SerialPortTableMutex);
            const int32_t position = FindPort(comNumber);
            if (position >= 0) {
                port = SerialPortTable.GetAt(position);
                portLock = std::unique_lock<std::mutex>(port->m_mutex);
            }
        }
        if (!port || !port->m_settle_pending || !port->m_device.IsOpen()) {
            portLock = {};
            platform::SleepMs(slice);
            continue;
        }
        char scratch[256];
        const int n = port->m_device.ReadSome(scratch, sizeof scratch, static_cast<int>(slice));
        if (n > 0)
            port->m_last_input_ms = SteadyMs();
        else if (n < 0) {
            // A failed line has nothing to say; the next transaction reports it.
            portLock = {};
            platform::SleepMs(slice);
        }
    }
}

bool SerialSendReceive(int32_t comNumber, const char *request, char terminator, EString &reply,
                       uint32_t timeoutMs, char secondTerminator, int *errorCode)
{
    std::unique_lock<std::mutex> portLock;
    SerialPort *port = nullptr;
    {
        std::lock_guard<std::mutex> table(SerialPortTableMutex);
        const int32_t position = FindPort(comNumber);
        if (position < 0) {
            if (errorCode)
                *errorCode = kSerialNoSuchPort;
            return false;
        }
        port = SerialPortTable.GetAt(position);
        portLock = std::unique_lock<std::mutex>(port->m_mutex);
    }
    const bool ok = port->Transact(request, terminator, reply, timeoutMs, secondTerminator, errorCode);
    portLock.unlock();
    if (!ok)
        if (SerialPortFailureFn callback = SerialPortFailureCallback.load())
            callback(comNumber);
    return ok;
}

void SerialPort::NoteFailure(uint32_t quietMs)
{
    m_settle_pending = true;
    m_failed_at_ms = SteadyMs();
    m_last_input_ms = 0;
    m_settle_quiet_ms = quietMs;
}

void SerialPort::SettleAfterFailure()
{
    if (!m_settle_pending)
        return;
    m_settle_pending = false;
    const uint64_t giveUp = m_failed_at_ms + 2 * static_cast<uint64_t>(m_settle_quiet_ms);
    uint64_t lastInput = std::max(m_failed_at_ms, m_last_input_ms);
    char scratch[256];
    // Bytes already waiting came at a time nobody watched: count them as just come.
    bool waiting = false;
    int n;
    while ((n = m_device.ReadSome(scratch, sizeof scratch, 0)) > 0)
        waiting = true;
    if (n < 0)
        return;
    if (waiting)
        lastInput = SteadyMs();
    for (;;) {
        const uint64_t now = SteadyMs();
        const uint64_t quietAt = lastInput + m_settle_quiet_ms;
        const uint64_t until = std::min(quietAt, giveUp);
        if (now >= until)
            return;
        n = m_device.ReadSome(scratch, sizeof scratch, static_cast<int>(until - now));
        if (n < 0)
            return;
        if (n > 0)
            lastInput = SteadyMs();
    }
}

bool SerialPort::Transact(const char *request, char terminator, EString &reply, uint32_t timeoutMs,
                          char secondTerminator, int *errorCode)
{
    auto finish = [&](int code) {
        m_last_error = code;
        if (errorCode)
            *errorCode = code;
        return code == kSerialOk;
    };
    reply.Assign("");
    finish(kSerialOk);
    if (!m_device.IsOpen())
        return finish(kSerialNotOpen);
    const int32_t interval = m_poll_interval_ms > 0 ? m_poll_interval_ms : kPollIntervalMs;
    const uint32_t budget = std::max<uint32_t>(timeoutMs, static_cast<uint32_t>(interval));
    // A reply to an earlier request that failed must not pass for this one's: one still on its way
    // is waited out, what is left from earlier traffic goes.
    SettleAfterFailure();
    m_device.PurgeInput();
    const size_t length = request ? std::strlen(request) : 0;
    if (!m_device.WriteAll(request ? request : "", length, kWriteTimeoutMs)) {
        NoteFailure(budget);
        return finish(kSerialWriteFailed);
    }

    // The budget is time since the write, however the reply is cut into reads: a slow line hands
    // a reply over a byte at a time.
    const uint64_t deadline = SteadyMs() + budget;
    char buffer[kReplyBufferSize + 1] = {};
    int32_t received = 0;
    for (uint64_t now = SteadyMs(); now < deadline && received < kReplyBufferSize; now = SteadyMs()) {
        const int n = m_device.ReadSome(buffer + received, static_cast<size_t>(kReplyBufferSize - received),
                                        static_cast<int>(deadline - now));
        if (n < 0) {
            reply.Assign(buffer);
            NoteFailure(budget);
            return finish(kSerialReadFailed);
        }
        if (n == 0)
            continue;
        received += n;
        const bool complete = secondTerminator != 0
                                  ? received >= 2 && buffer[received - 1] == secondTerminator &&
                                        buffer[received - 2] == terminator
                                  : buffer[received - 1] == terminator;
        if (complete) {
            reply.Assign(buffer);
            return finish(kSerialOk);
        }
    }
    reply.Assign(buffer);
    NoteFailure(budget);
    return finish(kSerialNoReply);
}
