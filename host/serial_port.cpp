#include "host/serial_port.hpp"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace smdhost {

namespace {

struct BaudRow {
    unsigned baud;
    speed_t speed;
};

const BaudRow kBauds[] = {
    {300, B300},     {600, B600},     {1200, B1200},   {2400, B2400},     {4800, B4800},
    {9600, B9600},   {19200, B19200}, {38400, B38400}, {57600, B57600},   {115200, B115200},
    {230400, B230400},
};

bool speed_of(unsigned baud, speed_t& out) {
    for (const auto& row : kBauds) {
        if (row.baud == baud) {
            out = row.speed;
            return true;
        }
    }
    return false;
}

std::string errno_text(const char* what) {
    std::string s = what;
    s += ": ";
    s += std::strerror(errno);
    return s;
}

}  // namespace

bool baud_supported(unsigned baud) {
    speed_t s;
    return speed_of(baud, s);
}

SerialPort::~SerialPort() { close(); }

bool SerialPort::open(const std::string& path, unsigned baud, std::string& error) {
    close();
    speed_t speed;
    if (!speed_of(baud, speed)) {
        error = "unsupported baud rate " + std::to_string(baud);
        return false;
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = errno_text(path.c_str());
        return false;
    }
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
        error = errno_text("not a serial device");
        ::close(fd);
        return false;
    }
    cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (cfsetispeed(&tio, speed) != 0 || cfsetospeed(&tio, speed) != 0 ||
        tcsetattr(fd, TCSANOW, &tio) != 0) {
        error = errno_text("cannot set line settings");
        ::close(fd);
        return false;
    }
    // Whatever sat in the driver's buffer before we came is not ours to judge.
    tcflush(fd, TCIFLUSH);
    fd_ = fd;
    return true;
}

void SerialPort::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

SerialPort::ReadStatus SerialPort::read(unsigned char* buf, std::size_t size, std::size_t& got,
                                        std::string& error) {
    got = 0;
    if (fd_ < 0) {
        error = "port closed";
        return ReadStatus::gone;
    }
    for (;;) {
        const ssize_t n = ::read(fd_, buf, size);
        if (n > 0) {
            got = static_cast<std::size_t>(n);
            return ReadStatus::data;
        }
        if (n == 0) {
            // A tty in non-blocking raw mode reads 0 when nothing waits; a
            // hang-up shows in poll(), so ask it before calling this the end.
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
                error = "hang-up";
                return ReadStatus::gone;
            }
            return ReadStatus::nothing;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return ReadStatus::nothing;
        error = std::strerror(errno);
        return ReadStatus::gone;
    }
}

bool SerialPort::write(const unsigned char* data, std::size_t size, std::string& error) {
    std::size_t done = 0;
    while (done < size) {
        if (fd_ < 0) {
            error = "port closed";
            return false;
        }
        const ssize_t n = ::write(fd_, data + done, size - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{fd_, POLLOUT, 0};
            const int ready = ::poll(&p, 1, 1000);
            if (ready < 0 && errno != EINTR) {
                error = std::strerror(errno);
                return false;
            }
            if (ready == 0) {
                error = "line busy for a second, write abandoned";
                return false;
            }
            continue;
        }
        error = n < 0 ? std::strerror(errno) : "write refused";
        return false;
    }
    return true;
}

}  // namespace smdhost
