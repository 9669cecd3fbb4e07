#include "tools/pwrsim/line.hpp"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace pwrsim {

volatile std::sig_atomic_t g_stop = 0;

namespace {

void on_stop(int) { g_stop = 1; }

speed_t speed_of(long baud) {
    switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return B9600;
    }
}

// Raw 8N1, no flow control, reads return what is there.
bool make_raw(int fd, long baud) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) return false;
    cfmakeraw(&t);
    t.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CRTSCTS);
    t.c_cflag |= CLOCAL | CREAD | CS8;
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, speed_of(baud));
    cfsetospeed(&t, speed_of(baud));
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

std::string sys_error(const std::string& what) { return what + ": " + std::strerror(errno); }

}  // namespace

void install_stop_handlers() {
    struct sigaction sa{};
    sa.sa_handler = on_stop;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;  // no SA_RESTART: waits return early on a stop
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

double monotonic_now() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

bool sleep_until(double deadline) {
    while (!g_stop) {
        const double left = deadline - monotonic_now();
        if (left <= 0.0) return true;
        // Slices of at most 100 ms keep a stop prompt even if a signal
        // lands between the check and the sleep.
        const double slice = std::min(left, 0.1);
        timespec ts{};
        ts.tv_sec = static_cast<time_t>(slice);
        ts.tv_nsec = static_cast<long>((slice - static_cast<double>(ts.tv_sec)) * 1e9);
        nanosleep(&ts, nullptr);
    }
    return false;
}

Line::~Line() { close_fd(); }

Line::Line(Line&& other) noexcept : fd_(other.fd_), path_(std::move(other.path_)), pty_(other.pty_) {
    other.fd_ = -1;
}

Line& Line::operator=(Line&& other) noexcept {
    if (this != &other) {
        close_fd();
        fd_ = other.fd_;
        path_ = std::move(other.path_);
        pty_ = other.pty_;
        other.fd_ = -1;
    }
    return *this;
}

void Line::close_fd() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

Line Line::open_pty(std::string& error) {
    Line line;
    const int fd = posix_openpt(O_RDWR | O_NOCTTY);
    if (fd < 0) {
        error = sys_error("cannot create a pseudo-terminal");
        return line;
    }
    line.fd_ = fd;
    line.pty_ = true;
    if (grantpt(fd) != 0 || unlockpt(fd) != 0) {
        error = sys_error("cannot unlock the pseudo-terminal");
        line.close_fd();
        return line;
    }
    const char* name = ptsname(fd);
    if (name == nullptr) {
        error = sys_error("cannot name the pseudo-terminal");
        line.close_fd();
        return line;
    }
    line.path_ = name;
    // Raw mode lives with the terminal, so set it through the other side
    // once: no echo, no line editing, CR kept as CR for whoever opens it.
    const int peer = ::open(name, O_RDWR | O_NOCTTY);
    if (peer < 0 || !make_raw(peer, 9600)) {
        error = sys_error("cannot set the pseudo-terminal to raw mode");
        if (peer >= 0) ::close(peer);
        line.close_fd();
        return line;
    }
    ::close(peer);
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    error.clear();
    return line;
}

Line Line::open_serial(const std::string& device, long baud, std::string& error) {
    Line line;
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        error = sys_error("cannot open " + device);
        return line;
    }
    line.fd_ = fd;
    line.path_ = device;
    if (!make_raw(fd, baud)) {
        error = sys_error("cannot configure " + device);
        line.close_fd();
        return line;
    }
    error.clear();
    return line;
}

bool Line::peer_open() const {
    if (!pty_) return fd_ >= 0;
    pollfd p{fd_, POLLOUT, 0};
    if (poll(&p, 1, 0) < 0) return true;  // interrupted: assume unchanged
    return (p.revents & POLLHUP) == 0;
}

bool Line::wait_for_peer() {
    while (!g_stop) {
        if (peer_open()) return true;
        sleep_until(monotonic_now() + 0.05);
    }
    return false;
}

bool Line::peer_back_within(double grace) {
    const double until = monotonic_now() + grace;
    while (!g_stop && monotonic_now() < until) {
        if (peer_open()) return true;
        sleep_until(monotonic_now() + 0.05);
    }
    return false;
}

int Line::read_some(unsigned char* buf, int cap, int timeout_ms) {
    pollfd p{fd_, POLLIN, 0};
    const int r = poll(&p, 1, timeout_ms);
    if (r < 0) return errno == EINTR ? 0 : -1;
    if (r == 0) return 0;
    if (p.revents & POLLIN) {
        const ssize_t n = ::read(fd_, buf, static_cast<std::size_t>(cap));
        if (n > 0) return static_cast<int>(n);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) return 0;
        if (n < 0 && errno == EIO && pty_) return -1;  // peer gone
        if (n == 0 && !pty_) return 0;
        return -1;
    }
    if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) return -1;
    return 0;
}

bool Line::write_all(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        if (g_stop) return false;
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
        pollfd p{fd_, POLLOUT, 0};
        poll(&p, 1, 100);
        if (pty_ && (p.revents & POLLHUP)) return false;
    }
    return true;
}

bool Line::write_paced(const std::string& bytes, unsigned baud) {
    if (baud == 0) return write_all(bytes);
    const std::size_t slice = std::max<std::size_t>(1, baud / 1000);  // about 10 ms of characters
    const double per_char = 10.0 / baud;
    double deadline = monotonic_now();
    for (std::size_t from = 0; from < bytes.size(); from += slice) {
        const std::string part = bytes.substr(from, slice);
        if (!write_all(part)) return false;
        deadline += per_char * static_cast<double>(part.size());
        if (!sleep_until(deadline)) return false;
        // Whatever the other side sends is not ours to answer: drop it so
        // its buffer never fills.
        unsigned char sink[256];
        while (read_some(sink, sizeof sink, 0) > 0) {
        }
    }
    return true;
}

}  // namespace pwrsim
