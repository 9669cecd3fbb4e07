// One accepted connection as cpp-httplib's Stream, with the bounds that the
// library's own socket stream lacks: the request head (request line and
// headers) must fit in a byte budget and arrive before a deadline, and every
// wait on the socket is limited. Internal to the HTTP server.
#pragma once

#include <httplib.h>

#include <chrono>
#include <cstddef>
#include <string>

namespace smdhttp {

class SocketStream final : public httplib::Stream {
public:
    struct Bounds {
        std::size_t head_bytes;                  // request line + headers
        std::chrono::milliseconds head_timeout;  // whole head, from its first byte
        std::chrono::milliseconds read_timeout;  // any single wait for bytes
        std::chrono::milliseconds write_timeout; // any single wait to send
    };

    SocketStream(int fd, const Bounds& bounds) : fd_(fd), bounds_(bounds) {}

    // True when bytes of a next request are there within `idle`.
    bool wait_request(std::chrono::milliseconds idle);
    // Starts the budget and the deadline of a new request.
    void begin_request();

    bool over_budget() const { return over_budget_; }
    bool timed_out() const { return timed_out_; }
    // Writes a whole response of our own (the library's writes are refused
    // once the budget or the deadline was broken).
    void send_raw(const std::string& response);

    bool is_readable() const override;
    bool is_writable() const override;
    ssize_t read(char* ptr, size_t size) override;
    ssize_t write(const char* ptr, size_t size) override;
    void get_remote_ip_and_port(std::string& ip, int& port) const override;
    void get_local_ip_and_port(std::string& ip, int& port) const override;
    socket_t socket() const override { return fd_; }

private:
    bool fill(std::chrono::milliseconds wait);
    ssize_t send_all(const char* ptr, size_t size);

    int fd_;
    Bounds bounds_;
    char buf_[4096];
    std::size_t pos_ = 0;
    std::size_t len_ = 0;
    std::size_t used_ = 0;  // bytes handed to the library in this request
    std::chrono::steady_clock::time_point deadline_{};
    bool over_budget_ = false;
    bool timed_out_ = false;
};

}  // namespace smdhttp
