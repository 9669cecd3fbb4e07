// Writes what `smdhost listen` hears as a scenario that `smdhost replay`
// plays back the same: one `~...` line per frame as heard (bad ones too, so
// the same faults come back), `@+S` lines for the time between them, and the
// host's own calls (!refresh, !reset) where they happened.
//
// The line is cut into frames with the decoder's own rules (SOI starts a
// frame, CR ends it, a new SOI inside a frame stays on the same line so the
// replay sees the same "broken" frame, more than 4096 characters end the line
// at the character that overflowed). Bytes between frames are dropped: the
// decoder skips them anyway. A byte inside a frame that a scenario line
// cannot hold (control characters, blanks, non-ASCII) is written as '?':
// like the original, it is not a hex digit, so the frame fails the same way.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace smdrecord {

class Recorder {
public:
    Recorder() = default;
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // Creates `path`; `now` is the wall time in seconds since the epoch.
    // False with the reason in `error`.
    bool open(const std::string& path, const std::string& source, double now,
              std::string& error);
    bool is_open() const { return file_ != nullptr; }

    // Bytes heard at `now`.
    void bytes(const unsigned char* data, std::size_t len, double now);
    // A directive line (such as "!reset") at `now`.
    void directive(const std::string& line, double now);
    // A comment line.
    void comment(const std::string& text);
    // Pushes what was written to the file.
    void flush();
    // Drops an unfinished frame and closes the file.
    void close();

private:
    void advance_to(double now);
    void write_line(const std::string& line);

    enum class State { idle, collecting, overlong };

    std::FILE* file_ = nullptr;
    double written_time_ = 0.0;  // clock of the replay after the lines so far
    State state_ = State::idle;
    std::string frame_;          // current line, from its first SOI
    std::size_t chars_ = 0;      // characters after the latest SOI
};

}  // namespace smdrecord
