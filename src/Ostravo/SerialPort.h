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
    int32_t m_poll_interval_ms = 0; // 10 once set up; a caller's time-out is spent in rounds of it
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

    // One transaction on this port (see SerialSendReceive).
    bool Transact(const char *request, char terminator, EString &reply, uint32_t timeoutMs,
                  char secondTerminator, int *errorCode);
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
// One transaction: throws away input left from earlier traffic, writes request whole, then reads
// until everything received ends with terminator (with secondTerminator non-zero: with terminator
// and secondTerminator) or timeoutMs is spent in 10 ms rounds (at least one). True with the reply
// (everything received, up to a NUL byte) when complete; otherwise false with the error code, the
// bytes received in reply, and the failure callback called (not for an unknown port).
bool SerialSendReceive(int32_t comNumber, const char *request, char terminator, EString &reply,
                       uint32_t timeoutMs, char secondTerminator = 0, int *errorCode = nullptr);
// Whether the COM number is in the table.
bool IsSerialPortOpen(int32_t comNumber);
