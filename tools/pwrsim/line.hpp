// The simulator's end of a serial line: a pseudo-terminal it creates, or a
// real serial device, raw 8N1. Waits are short and wake on SIGINT/SIGTERM.
#pragma once

#include <csignal>
#include <string>

namespace pwrsim {

// Set by SIGINT and SIGTERM once install_stop_handlers() ran.
extern volatile std::sig_atomic_t g_stop;
void install_stop_handlers();

// Seconds on the monotonic clock.
double monotonic_now();
// Sleeps until `deadline` (monotonic seconds); false when stopped first.
bool sleep_until(double deadline);

class Line {
public:
    Line() = default;
    ~Line();
    Line(const Line&) = delete;
    Line& operator=(const Line&) = delete;
    Line(Line&& other) noexcept;
    Line& operator=(Line&& other) noexcept;

    // A new pseudo-terminal in raw mode; path() is the side a listener
    // opens. Empty `error` on success.
    static Line open_pty(std::string& error);
    // A serial device, raw 8N1 at `baud`.
    static Line open_serial(const std::string& device, long baud, std::string& error);

    bool valid() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    const std::string& path() const { return path_; }
    bool is_pty() const { return pty_; }

    // Pseudo-terminal: true while some process has the other side open.
    // A serial device is always taken as open.
    bool peer_open() const;
    // Waits until the other side is opened; false when stopped first.
    bool wait_for_peer();
    // After the peer of a pseudo-terminal went away: waits up to `grace`
    // seconds for it to come back. False when it did not (or on a stop).
    bool peer_back_within(double grace);

    // Reads what arrives within `timeout_ms`: >0 bytes read, 0 nothing (or
    // interrupted), -1 the line failed or (pseudo-terminal) the peer is gone.
    int read_some(unsigned char* buf, int cap, int timeout_ms);
    // Writes every byte; false when the line failed or a stop came.
    bool write_all(const std::string& bytes);
    // Writes at line speed, 10 bits per byte at `baud`, in slices of about
    // 10 ms; false when the line failed or a stop came.
    bool write_paced(const std::string& bytes, unsigned baud);

private:
    void close_fd();

    int fd_ = -1;
    std::string path_;
    bool pty_ = false;
};

}  // namespace pwrsim
