// SerialPort: a serial device (or pseudo-terminal) opened the way the host's
// protocol engine uses it: raw mode, 8 data bits, no parity, 1 stop bit, no
// flow control, non-blocking reads.
#pragma once

#include <cstddef>
#include <string>

#include "host/host_api.hpp"

namespace smdhost {

// Line speeds the port accepts (the standard termios rates from 300 to
// 230400 baud). `baud_supported` tells whether one of them was named.
SMD_HOST_API bool baud_supported(unsigned baud);

class SMD_HOST_API SerialPort {
public:
    enum class ReadStatus { data, nothing, gone };

    SerialPort() = default;
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens `path` at `baud` (8N1, raw). On failure returns false, leaves the
    // port closed and says why in `error`.
    bool open(const std::string& path, unsigned baud, std::string& error);
    void close();
    bool is_open() const { return fd_ >= 0; }
    // File descriptor for poll(); -1 while closed.
    int fd() const { return fd_; }

    // Reads what is waiting, at most `size` bytes, into `buf`; `got` is the
    // count for ReadStatus::data. ReadStatus::gone means the device went away
    // (hang-up, end of file, I/O error); `error` then says how. The port stays
    // open until close().
    ReadStatus read(unsigned char* buf, std::size_t size, std::size_t& got, std::string& error);
    // Writes all of `data` (waits while the line is busy). False on error.
    bool write(const unsigned char* data, std::size_t size, std::string& error);

private:
    int fd_ = -1;
};

}  // namespace smdhost
