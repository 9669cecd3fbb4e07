#include "tools/pwrsim/pacing.hpp"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <ctime>

namespace pwrsim {

volatile std::sig_atomic_t g_stop = 0;

namespace {

void on_stop(int) { g_stop = 1; }

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

bool wait_for_peer(const serial::SerialLine& line) {
    while (!g_stop) {
        if (line.peer_open()) return true;
        sleep_until(monotonic_now() + 0.05);
    }
    return false;
}

bool peer_back_within(const serial::SerialLine& line, double grace) {
    const double until = monotonic_now() + grace;
    while (!g_stop && monotonic_now() < until) {
        if (line.peer_open()) return true;
        sleep_until(monotonic_now() + 0.05);
    }
    return false;
}

int read_some(serial::SerialLine& line, unsigned char* buf, int cap, int timeout_ms) {
    pollfd p{line.fd(), POLLIN, 0};
    const int r = poll(&p, 1, timeout_ms);
    if (r < 0) return errno == EINTR ? 0 : -1;
    if (r == 0) return 0;
    if ((p.revents & POLLIN) == 0) return (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0 ? -1 : 0;
    std::size_t got = 0;
    std::string error;
    switch (line.read(buf, static_cast<std::size_t>(cap), got, error)) {
        case serial::SerialLine::ReadStatus::data: return static_cast<int>(got);
        case serial::SerialLine::ReadStatus::nothing: return 0;
        case serial::SerialLine::ReadStatus::gone: break;
    }
    return -1;
}

bool write_all(serial::SerialLine& line, const std::string& bytes) {
    std::string error;
    return line.write_all(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                          [] { return g_stop != 0; }, error);
}

bool write_paced(serial::SerialLine& line, const std::string& bytes, unsigned baud, unsigned bits) {
    if (baud == 0) return write_all(line, bytes);
    // About 10 ms of characters per slice.
    const std::size_t slice = std::max<std::size_t>(1, baud / (bits * 100));
    const double per_char = static_cast<double>(bits) / baud;
    double deadline = monotonic_now();
    for (std::size_t from = 0; from < bytes.size(); from += slice) {
        const std::string part = bytes.substr(from, slice);
        if (!write_all(line, part)) return false;
        deadline += per_char * static_cast<double>(part.size());
        if (!sleep_until(deadline)) return false;
        // Whatever the other side sends is not ours to answer: drop it so
        // its buffer never fills.
        unsigned char sink[256];
        while (read_some(line, sink, sizeof sink, 0) > 0) {
        }
    }
    return true;
}

}  // namespace pwrsim
