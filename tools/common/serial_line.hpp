// One end of a serial line, for smdhost (listening) and pwrsim (playing the
// plant or the bus): a serial device, or the side of a pseudo-terminal that
// another program made, opened for this program's exclusive use; or a new
// pseudo-terminal made here. Raw mode, 8 data bits, the parity and stop bits
// asked for (8N1 by default), no flow control, non-blocking.
//
// Exclusive use: a device is locked twice. TIOCEXCL makes the kernel refuse
// every further open of the terminal (except to root), and an flock() lock on
// the device node refuses a second program that locks too, root or not. A
// second listener on the same port is therefore turned away with an error
// naming the device, instead of both reading half of the bytes each.
#pragma once

#include <cstddef>
#include <string>

namespace serial {

// The line speeds a line may be set to: one table for every program.
bool baud_supported(unsigned baud);
// "300, 600, 1200, ..., 230400".
std::string baud_list();

enum class Parity { none, even, odd };

struct LineSettings {
    unsigned baud = 9600;
    Parity parity = Parity::none;
    int stop_bits = 1;  // 1 or 2

    // Bits one character takes on the wire: start, 8 data, parity, stop.
    unsigned bits_per_char() const;
    // "9600 baud 8N1".
    std::string text() const;
};

// "none", "even", "odd" as an option value; false for anything else.
bool parity_from_text(const std::string& text, Parity& out);

class SerialLine {
public:
    enum class ReadStatus { data, nothing, gone };

    SerialLine() = default;
    ~SerialLine();
    SerialLine(const SerialLine&) = delete;
    SerialLine& operator=(const SerialLine&) = delete;
    SerialLine(SerialLine&& other) noexcept;
    SerialLine& operator=(SerialLine&& other) noexcept;

    // Opens the device `path`, locks it for exclusive use and sets it up.
    // False with a message that names the device (and leaves the line
    // closed): cannot open it, not a serial device, in use by another
    // program, the settings refused.
    bool open_device(const std::string& path, const LineSettings& settings, std::string& error);
    // Makes a new pseudo-terminal in raw mode; path() is the side that
    // another program opens.
    bool open_pty(std::string& error);
    // Unlocks and closes the line.
    void close();

    bool is_open() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    const std::string& path() const { return path_; }
    bool is_pty() const { return pty_; }

    // A pseudo-terminal made here: true while some process holds its other
    // side. A device is always taken as open.
    bool peer_open() const;

    // Reads what is waiting, at most `size` bytes; `got` counts them for
    // ReadStatus::data. ReadStatus::gone: the device went away or failed
    // (hang-up, I/O error), or the other side of a pseudo-terminal made here
    // closed; `error` says which.
    ReadStatus read(unsigned char* buf, std::size_t size, std::size_t& got, std::string& error);

    // Writes every byte, waiting while the line is full. Gives up (false)
    // when `stop` returns true, the line fails, or the other side of a
    // pseudo-terminal made here is closed.
    template <class Stop>
    bool write_all(const unsigned char* data, std::size_t size, Stop&& stop, std::string& error) {
        std::size_t done = 0;
        while (done < size) {
            if (stop()) {
                error = "stopped";
                return false;
            }
            const long n = write_some(data + done, size - done, error);
            if (n < 0) return false;
            done += static_cast<std::size_t>(n);
        }
        return true;
    }

private:
    // Writes what fits, waiting up to 100 ms for room: bytes written (0 when
    // none fitted), -1 when the line failed.
    long write_some(const unsigned char* data, std::size_t size, std::string& error);

    int fd_ = -1;
    std::string path_;
    bool pty_ = false;     // a pseudo-terminal made here (fd_ is its master side)
    bool locked_ = false;  // TIOCEXCL set: cleared again before closing
};

}  // namespace serial
