// Where smdhost's events go, and how the plug-in's own standard output is
// kept out of them.
//
// The plug-in prints diagnostic lines on standard output (printf and
// std::cout). smdhost points file descriptor 1 at an in-memory file and keeps
// a private copy of the real standard output for its events. Before each event
// the captured bytes are read back and every complete line becomes a "log"
// event, so log lines appear in order with the calls around them. The memory
// file grows as needed: a plug-in that prints a lot between two events cannot
// block on a full pipe.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace smdout {

// Buffered writer on a file descriptor (the real standard output).
class Output {
public:
    explicit Output(int fd = -1) : fd_(fd) {}
    ~Output();
    void set_fd(int fd) { fd_ = fd; }
    int fd() const { return fd_; }
    // Appends one line (a '\n' is added).
    void line(const std::string& text);
    // Appends text as it is.
    void text(const std::string& text);
    // Writes what is buffered. False on a write error (a full disk,
    // /dev/full); once failed, everything later is dropped. A reader that
    // went away ends the process by SIGPIPE before this returns.
    bool flush();
    // Flush automatically after each line (live use).
    void set_autoflush(bool on) { autoflush_ = on; }
    // Every line goes to `sink` (without its line end) instead of the
    // descriptor: the monitor's event stream writes the events there.
    void set_line_sink(std::function<void(const std::string&)> sink) { line_sink_ = std::move(sink); }
    // Every line is also handed to `tap` (the monitor's event stream takes
    // the JSON events written on standard output, formatted once).
    void set_line_tap(std::function<void(const std::string&)> tap) { line_tap_ = std::move(tap); }

    bool failed() const { return !error_.empty(); }
    // "standard output: write error: No space left on device".
    const std::string& error() const { return error_; }

private:
    int fd_;
    bool autoflush_ = false;
    std::function<void(const std::string&)> line_sink_;
    std::function<void(const std::string&)> line_tap_;
    std::string buf_;
    std::string error_;
};

class LogCapture {
public:
    LogCapture() = default;
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // Moves standard output to the capture. Returns a new descriptor on the
    // real standard output, or -1 with `error` set.
    int start(std::string& error);
    // Puts the real standard output back on descriptor 1.
    void stop();
    bool active() const { return mem_fd_ >= 0; }

    // Flushes the C and C++ streams and passes every complete captured line
    // (without its line end) to `sink`. With `final`, a last line without a
    // line end is passed too.
    void drain(const std::function<void(const std::string&)>& sink, bool final = false);

private:
    int mem_fd_ = -1;    // the in-memory file now on descriptor 1
    int saved_fd_ = -1;  // the real standard output, restored by stop()
    long long read_pos_ = 0;  // bytes of the file already turned into lines
    std::string partial_;
};

}  // namespace smdout
