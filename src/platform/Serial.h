#pragma once
// A serial device over termios: raw 8N1 at a given baud, exclusive to its opener, written whole and
// read in short polls. Works alike on real ports and on pseudo-terminals.
#include <cstddef>
#include <string>

namespace platform {

class SerialDevice
{
  public:
    SerialDevice() = default;
    ~SerialDevice();
    SerialDevice(const SerialDevice &) = delete;
    SerialDevice &operator=(const SerialDevice &) = delete;

    // Opens path for reading and writing without making it the controlling terminal and without
    // waiting for a carrier, takes it exclusively and sets raw 8N1 at baud with the receiver on and
    // modem lines ignored. False with the reason in error; nothing stays open then.
    bool Open(const std::string &path, int baud, std::string &error);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }

    // Writes every byte, waiting at most timeoutMs for room in the output queue.
    bool WriteAll(const char *data, size_t size, int timeoutMs);
    // Waits until input is there or waitMs (monotonic clock) have passed, and reads what is there, up
    // to size bytes: the count read, 0 when nothing came in time, -1 when the device failed (hung up
    // or a read error).
    int ReadSome(char *buffer, size_t size, int waitMs);
    // Discards every byte received and not yet read.
    void PurgeInput();

  private:
    int m_fd = -1;
};

// The termios speed constant of a baud rate; false for a rate termios does not know.
bool BaudToSpeed(int baud, unsigned &speed);

} // namespace platform
