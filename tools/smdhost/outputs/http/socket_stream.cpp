#include "tools/smdhost/outputs/http/socket_stream.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace smdhttp {
namespace {

int poll_ms(std::chrono::milliseconds d) {
    return static_cast<int>(std::max<long long>(0, std::min<long long>(d.count(), 1 << 30)));
}

// poll() on one descriptor, restarted after a signal; > 0 when ready.
int wait_fd(int fd, short events, std::chrono::milliseconds timeout) {
    pollfd p{fd, events, 0};
    for (;;) {
        const int r = ::poll(&p, 1, poll_ms(timeout));
        if (r < 0 && errno == EINTR) continue;
        if (r > 0 && (p.revents & (POLLERR | POLLNVAL))) return -1;
        if (r > 0 && events == POLLOUT && (p.revents & POLLHUP)) return -1;
        return r;
    }
}

void ip_and_port(const sockaddr_storage& addr, std::string& ip, int& port) {
    char text[INET6_ADDRSTRLEN] = "";
    if (addr.ss_family == AF_INET) {
        const auto* a = reinterpret_cast<const sockaddr_in*>(&addr);
        ::inet_ntop(AF_INET, &a->sin_addr, text, sizeof text);
        port = ntohs(a->sin_port);
    } else if (addr.ss_family == AF_INET6) {
        const auto* a = reinterpret_cast<const sockaddr_in6*>(&addr);
        ::inet_ntop(AF_INET6, &a->sin6_addr, text, sizeof text);
        port = ntohs(a->sin6_port);
    }
    ip = text;
}

}  // namespace

bool SocketStream::fill(std::chrono::milliseconds wait) {
    if (wait_fd(fd_, POLLIN, wait) <= 0) return false;
    for (;;) {
        const ssize_t n = ::recv(fd_, buf_, sizeof buf_, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        pos_ = 0;
        len_ = static_cast<std::size_t>(n);
        return true;
    }
}

bool SocketStream::wait_request(std::chrono::milliseconds idle) { return pos_ < len_ || fill(idle); }

void SocketStream::begin_request() {
    used_ = 0;
    deadline_ = std::chrono::steady_clock::now() + bounds_.head_timeout;
}

bool SocketStream::is_readable() const {
    return pos_ < len_ || wait_fd(fd_, POLLIN, bounds_.read_timeout) > 0;
}

bool SocketStream::is_writable() const { return wait_fd(fd_, POLLOUT, bounds_.write_timeout) > 0; }

ssize_t SocketStream::read(char* ptr, size_t size) {
    if (over_budget_ || timed_out_) return -1;
    if (used_ >= bounds_.head_bytes) {
        over_budget_ = true;
        return -1;
    }
    if (pos_ >= len_) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline_ - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            timed_out_ = true;
            return -1;
        }
        // The wait ends at the deadline when that comes first; a wait cut
        // short by it is the deadline's doing, whatever the clock says.
        const bool deadline_first = left <= bounds_.read_timeout;
        if (!fill(deadline_first ? left : bounds_.read_timeout)) {
            if (deadline_first || std::chrono::steady_clock::now() >= deadline_) timed_out_ = true;
            return -1;
        }
    }
    const std::size_t n = std::min({size, len_ - pos_, bounds_.head_bytes - used_});
    std::memcpy(ptr, buf_ + pos_, n);
    pos_ += n;
    used_ += n;
    return static_cast<ssize_t>(n);
}

ssize_t SocketStream::send_all(const char* ptr, size_t size) {
    std::size_t sent = 0;
    while (sent < size) {
        if (wait_fd(fd_, POLLOUT, bounds_.write_timeout) <= 0) return -1;
        const ssize_t n = ::send(fd_, ptr + sent, size - sent, MSG_NOSIGNAL);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) return -1;
        sent += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(sent);
}

ssize_t SocketStream::write(const char* ptr, size_t size) {
    if (over_budget_ || timed_out_) return -1;
    return send_all(ptr, size);
}

void SocketStream::send_raw(const std::string& response) { send_all(response.data(), response.size()); }

void SocketStream::get_remote_ip_and_port(std::string& ip, int& port) const {
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    if (::getpeername(fd_, reinterpret_cast<sockaddr*>(&addr), &len) == 0) ip_and_port(addr, ip, port);
}

void SocketStream::get_local_ip_and_port(std::string& ip, int& port) const {
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) == 0) ip_and_port(addr, ip, port);
}

}  // namespace smdhttp
