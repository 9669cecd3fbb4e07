#include "tools/common/serial_line.hpp"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace serial {

namespace {

struct BaudRow {
    unsigned baud;
    speed_t speed;
};

const BaudRow kBauds[] = {
    {300, B300},     {600, B600},     {1200, B1200},   {2400, B2400},   {4800, B4800},
    {9600, B9600},   {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200},
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

std::string why() { return std::strerror(errno); }

// Raw mode with the settings asked for: 8 data bits, no flow control, reads
// return what is there. With parity on, a character that fails it is read as
// a NUL byte (INPCK without PARMRK), which no frame accepts.
bool make_raw(int fd, const LineSettings& s) {
    speed_t speed;
    if (!speed_of(s.baud, speed)) {
        errno = EINVAL;
        return false;
    }
    termios t{};
    if (tcgetattr(fd, &t) != 0) return false;
    cfmakeraw(&t);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    if (s.parity != Parity::none) {
        t.c_cflag |= PARENB;
        if (s.parity == Parity::odd) t.c_cflag |= PARODD;
        t.c_iflag |= INPCK;
    }
    if (s.stop_bits == 2) t.c_cflag |= CSTOPB;
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    if (cfsetispeed(&t, speed) != 0 || cfsetospeed(&t, speed) != 0) return false;
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

}  // namespace

bool baud_supported(unsigned baud) {
    speed_t s;
    return speed_of(baud, s);
}

std::string baud_list() {
    std::string out;
    for (const auto& row : kBauds) {
        if (!out.empty()) out += ", ";
        out += std::to_string(row.baud);
    }
    return out;
}

unsigned LineSettings::bits_per_char() const {
    return 1 + 8 + (parity == Parity::none ? 0 : 1) + static_cast<unsigned>(stop_bits);
}

std::string LineSettings::text() const {
    const char p = parity == Parity::none ? 'N' : parity == Parity::even ? 'E' : 'O';
    return std::to_string(baud) + " baud 8" + p + std::to_string(stop_bits);
}

bool parity_from_text(const std::string& text, Parity& out) {
    if (text == "none") out = Parity::none;
    else if (text == "even") out = Parity::even;
    else if (text == "odd") out = Parity::odd;
    else return false;
    return true;
}

SerialLine::~SerialLine() { close(); }

SerialLine::SerialLine(SerialLine&& other) noexcept
    : fd_(other.fd_), path_(std::move(other.path_)), pty_(other.pty_), locked_(other.locked_) {
    other.fd_ = -1;
    other.locked_ = false;
}

SerialLine& SerialLine::operator=(SerialLine&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = other.fd_;
        path_ = std::move(other.path_);
        pty_ = other.pty_;
        locked_ = other.locked_;
        other.fd_ = -1;
        other.locked_ = false;
    }
    return *this;
}

void SerialLine::close() {
    if (fd_ >= 0) {
        // The flock lock goes with the descriptor; the exclusive mode lives
        // with the terminal, so it is given back explicitly.
        if (locked_) ioctl(fd_, TIOCNXCL);
        ::close(fd_);
    }
    fd_ = -1;
    locked_ = false;
}

bool SerialLine::open_device(const std::string& path, const LineSettings& settings,
                             std::string& error) {
    close();
    pty_ = false;
    path_ = path;
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = errno == EBUSY ? path + ": in use: another program holds it for exclusive use"
                               : path + ": cannot open: " + why();
        return false;
    }
    termios probe{};
    if (tcgetattr(fd, &probe) != 0) {
        error = path + ": not a serial device (" + why() + ")";
        ::close(fd);
        return false;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        error = errno == EWOULDBLOCK ? path + ": in use: another program has it locked"
                                     : path + ": cannot lock it: " + why();
        ::close(fd);
        return false;
    }
    if (ioctl(fd, TIOCEXCL) != 0) {
        error = path + ": cannot take it for exclusive use: " + why();
        ::close(fd);
        return false;
    }
    fd_ = fd;
    locked_ = true;
    if (!make_raw(fd, settings)) {
        error = path + ": cannot set " + settings.text() + ": " + why();
        close();
        return false;
    }
    // Whatever sat in the driver's buffer before we came is not ours to judge.
    tcflush(fd, TCIFLUSH);
    return true;
}

bool SerialLine::open_pty(std::string& error) {
    close();
    const int fd = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot create a pseudo-terminal: " + why();
        return false;
    }
    if (grantpt(fd) != 0 || unlockpt(fd) != 0) {
        error = "cannot unlock the pseudo-terminal: " + why();
        ::close(fd);
        return false;
    }
    const char* name = ptsname(fd);
    if (name == nullptr) {
        error = "cannot name the pseudo-terminal: " + why();
        ::close(fd);
        return false;
    }
    // Raw mode lives with the terminal, so set it through the other side
    // once: no echo, no line editing, CR kept as CR for whoever opens it.
    const int peer = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (peer < 0 || !make_raw(peer, LineSettings{})) {
        error = std::string(name) + ": cannot set the pseudo-terminal to raw mode: " + why();
        if (peer >= 0) ::close(peer);
        ::close(fd);
        return false;
    }
    ::close(peer);
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    fd_ = fd;
    path_ = name;
    pty_ = true;
    return true;
}

bool SerialLine::peer_open() const {
    if (!pty_) return fd_ >= 0;
    pollfd p{fd_, POLLOUT, 0};
    if (poll(&p, 1, 0) < 0) return true;  // interrupted: assume unchanged
    return (p.revents & POLLHUP) == 0;
}

SerialLine::ReadStatus SerialLine::read(unsigned char* buf, std::size_t size, std::size_t& got,
                                        std::string& error) {
    got = 0;
    if (fd_ < 0) {
        error = "line closed";
        return ReadStatus::gone;
    }
    for (;;) {
        const ssize_t n = ::read(fd_, buf, size);
        if (n > 0) {
            got = static_cast<std::size_t>(n);
            return ReadStatus::data;
        }
        if (n == 0) {
            // A terminal in non-blocking raw mode reads 0 when nothing waits;
            // a hang-up shows in poll(), so ask it before calling this the end.
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
                error = "hang-up";
                return ReadStatus::gone;
            }
            return ReadStatus::nothing;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return ReadStatus::nothing;
        // EIO on the master side of a pseudo-terminal: nobody holds the other side.
        error = pty_ && errno == EIO ? "the other side is closed" : why();
        return ReadStatus::gone;
    }
}

long SerialLine::write_some(const unsigned char* data, std::size_t size, std::string& error) {
    if (fd_ < 0) {
        error = "line closed";
        return -1;
    }
    const ssize_t n = ::write(fd_, data, size);
    if (n > 0) return static_cast<long>(n);
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        error = why();
        return -1;
    }
    pollfd p{fd_, POLLOUT, 0};
    poll(&p, 1, 100);
    if (pty_ && (p.revents & POLLHUP) != 0) {
        error = "the other side is closed";
        return -1;
    }
    return 0;
}

}  // namespace serial
