#pragma once
// The serial-port layer: ports opened by COM number, kept in one table, and one request/reply
// transaction at a time on each. Numeric error codes exist only here; callers above report texts.
//
// COM numbers name device files: [Serial] PortDevice<n> of the main settings file when present,
// otherwise COM1-COM32 are /dev/ttyS0-ttyS31, COM33-COM64 /dev/ttyUSB0-ttyUSB31 and COM65-COM96
// /dev/ttyACM0-ttyACM31; higher numbers have a device only through the settings file.
#include "Ostravo/EString.h"
#include "Ostravo/SortedPtrArray.h"
#include "platform/Serial.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

// Error codes of a transaction.
enum SerialPortError : int
{
    kSerialOk = 0,
    kSerialNotOpen = 8,       // the record has no open device
    kSerialWriteFailed = 9,   // the request could not be written
    kSerialNoReply = 10,      // no complete reply within the read budget, or 1023 bytes without terminator
    kSerialReadFailed = 1010, // a read failed
    kSerialNoSuchPort = 2000, // no open port with that COM number
};

struct SerialPort
{
    int32_t m_poll_interval_ms = 0; // 10 once set up; the least read budget of a transaction
    int32_t m_com_number = 0;
    int32_t m_last_error = 0;
    int32_t m_baud = 0;
    int32_t m_data_bits = 8;
    int32_t m_parity = 0; // none
    int32_t m_stop_bits = 1;
    platform::SerialDevice m_device;
    // Held for a whole transaction and while the record is taken out of the table, so a port is
    // never closed or freed under a running transaction.
    std::mutex m_mutex;

    // After a failed transaction its reply may still come. Until the next request the line has to
    // be quiet for m_settle_quiet_ms, counted from the failure or the last byte seen since; bytes
    // meanwhile are thrown away. Guarded by m_mutex; times are monotonic milliseconds.
    bool m_settle_pending = false;
    uint64_t m_failed_at_ms = 0;
    uint64_t m_last_input_ms = 0;
    uint32_t m_settle_quiet_ms = 0;

    // One transaction on this port (see SerialSendReceive).
    bool Transact(const char *request, char terminator, EString &reply, uint32_t timeoutMs,
                  char secondTerminator, int *errorCode);
    // Notes a failed transaction whose read budget was quietMs.
    void NoteFailure(uint32_t quietMs);
    // Throws input away until the line has been quiet long enough after a failure (see above), at
    // most until twice the failed transaction's budget after the failure, so a line that never goes
    // quiet holds the next request up only that long.
    void SettleAfterFailure();
};

struct SerialPortOrder
{
    static int Compare(const SerialPort &a, const SerialPort &b)
    {
        return a.m_com_number < b.m_com_number ? -1 : (a.m_com_number > b.m_com_number ? 1 : 0);
    }
};

// Every open port, sorted by COM number; owns the records, and deleting one closes its device.
extern SortedPtrArray<SerialPort, SerialPortOrder> SerialPortTable;
// Guards SerialPortTable; taken before a port's own lock, never after it.
extern std::mutex SerialPortTableMutex;

// Called with the COM number when a transaction on an open port fails; null when nothing is
// installed (the application installs its handler, the device scan clears it).
using SerialPortFailureFn = int (*)(int comNumber);
extern std::atomic<SerialPortFailureFn> SerialPortFailureCallback;

// The device file behind a COM number (see above); empty when there is none.
std::string SerialPortDevicePath(uint32_t comNumber);

// Opens the port at baud, 8 data bits, no parity, one stop bit, and adds it to the table.
bool SetupSerialPort(uint32_t comNumber, int32_t baud, EString &error);
// Closes the port and drops its record; false when it is not open.
bool ReleaseSerialPort(int32_t comNumber);
// Closes the port and opens it again at baud, as ReleaseSerialPort and SetupSerialPort do, but
// keeps a failed transaction's wait for a quiet line: the late reply of a request sent on the old
// handle can still arrive on the new one. A port that is not open is only set up.
bool ReopenSerialPort(uint32_t comNumber, int32_t baud, EString &error);
// Waits ms. When the last transaction on the port failed, input arriving meanwhile is read and
// thrown away, so the quiet the next request waits for is counted from the last byte seen and
// usually lies within this wait. A port that is not open: a plain wait.
void SerialPauseDiscardingInput(int32_t comNumber, uint32_t ms);
// One transaction: after a failed one on the same port it first throws input away until the line
// is quiet (see SerialPort::SettleAfterFailure), then throws away input left from earlier traffic,
// writes request whole, and reads until everything received ends with terminator (with
// secondTerminator non-zero: with terminator and secondTerminator), 1023 bytes came, or timeoutMs
// (at least 10 ms) has passed since the write. True with the reply (everything received, up to a
// NUL byte) when complete; otherwise false with the error code, the bytes received in reply, and
// the failure callback called (not for an unknown port).
bool SerialSendReceive(int32_t comNumber, const char *request, char terminator, EString &reply,
                       uint32_t timeoutMs, char secondTerminator = 0, int *errorCode = nullptr);
// Whether the COM number is in the table.
bool IsSerialPortOpen(int32_t comNumber);
