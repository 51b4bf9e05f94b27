#include "platform/Serial.h"

#include "platform/Clock.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace platform {

bool BaudToSpeed(int baud, unsigned &speed)
{
    static const struct
    {
        int baud;
        speed_t speed;
    } rates[] = {{1200, B1200},     {2400, B2400},     {4800, B4800},    {9600, B9600},
                 {19200, B19200},   {38400, B38400},   {57600, B57600},  {115200, B115200},
                 {230400, B230400}, {460800, B460800}, {921600, B921600}};
    for (const auto &rate : rates)
        if (rate.baud == baud) {
            speed = rate.speed;
            return true;
        }
    return false;
}

SerialDevice::~SerialDevice()
{
    Close();
}

bool SerialDevice::Open(const std::string &path, int baud, std::string &error)
{
    Close();
    unsigned speed = 0;
    if (!BaudToSpeed(baud, speed)) {
        error = "unsupported baud rate " + std::to_string(baud);
        return false;
    }
    // Non-blocking open: a port whose carrier is down must not hang the caller.
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    auto fail = [&](const char *what) {
        error = path + ": " + what + ": " + std::strerror(errno);
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
        return false;
    };
    if (!::isatty(fd))
        return fail("not a terminal");
    // One user per port: TIOCEXCL keeps other openers out (root excepted), the lock also keeps out
    // a second opener of this program when running as root.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        error = path + ": port is in use";
        ::close(fd);
        return false;
    }
    if (::ioctl(fd, TIOCEXCL) != 0)
        return fail("exclusive access");
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0)
        return fail("reading line settings");
    ::cfmakeraw(&settings);
    settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    settings.c_cflag |= CS8 | CLOCAL | CREAD;
    settings.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    if (::cfsetispeed(&settings, speed) != 0 || ::cfsetospeed(&settings, speed) != 0)
        return fail("setting the baud rate");
    if (::tcsetattr(fd, TCSANOW, &settings) != 0)
        return fail("applying line settings");
    m_fd = fd;
    return true;
}

void SerialDevice::Close()
{
    if (m_fd < 0)
        return;
    // Give up exclusivity so the port can be opened again, also by another program.
    ::ioctl(m_fd, TIOCNXCL);
    ::close(m_fd);
    m_fd = -1;
}

bool SerialDevice::WriteAll(const char *data, size_t size, int timeoutMs)
{
    if (m_fd < 0)
        return false;
    const uint64_t start = TickMs();
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(m_fd, data + done, size - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return false;
        const uint64_t spent = TickMs() - start;
        if (spent >= static_cast<uint64_t>(timeoutMs))
            return false;
        pollfd p{m_fd, POLLOUT, 0};
        ::poll(&p, 1, static_cast<int>(static_cast<uint64_t>(timeoutMs) - spent));
    }
    return true;
}

int SerialDevice::ReadSome(char *buffer, size_t size, int waitMs)
{
    if (m_fd < 0)
        return -1;
    // The wait is a deadline on the monotonic clock: a signal or a wake-up without data does not
    // end it early, and a test that stops the program's clock does not stop it.
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(waitMs > 0 ? waitMs : 0);
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd p{m_fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, left > 0 ? static_cast<int>(left) : 0);
        if (ready < 0 && errno != EINTR)
            return -1;
        if (ready > 0) {
            if ((p.revents & POLLIN) != 0) {
                const ssize_t n = ::read(m_fd, buffer, size);
                if (n > 0)
                    return static_cast<int>(n);
                if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
                    return -1; // end of file on a hung-up line, or a read error
            } else if ((p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
                return -1;
            }
        }
        if (Clock::now() >= deadline)
            return 0;
    }
}

void SerialDevice::PurgeInput()
{
    if (m_fd < 0)
        return;
    ::tcflush(m_fd, TCIFLUSH);
    // Bytes already queued past the driver's buffer go too.
    char scratch[256];
    while (::read(m_fd, scratch, sizeof scratch) > 0) {
    }
}

} // namespace platform
