#include "Ostravo/SerialPort.h"

#include "Ostravo/LogError.h"
#include "Ostravo/Profile.h"
#include "Ostravo/TextFormat.h"

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
    SerialPortTable.Add(port.release());
    return true;
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
    // A reply that came after an earlier transaction gave up must not pass for this one's.
    m_device.PurgeInput();
    const size_t length = request ? std::strlen(request) : 0;
    if (!m_device.WriteAll(request ? request : "", length, kWriteTimeoutMs))
        return finish(kSerialWriteFailed);

    const int32_t interval = m_poll_interval_ms > 0 ? m_poll_interval_ms : kPollIntervalMs;
    int64_t rounds = static_cast<int64_t>(timeoutMs) / interval;
    if (rounds < 1)
        rounds = 1;
    char buffer[kReplyBufferSize + 1] = {};
    int32_t received = 0;
    for (int64_t round = 0; round < rounds && received < kReplyBufferSize; ++round) {
        const int n =
            m_device.ReadSome(buffer + received, static_cast<size_t>(kReplyBufferSize - received), interval);
        if (n < 0) {
            reply.Assign(buffer);
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
    return finish(kSerialNoReply);
}
