// Writes what `smdhost listen` hears as a scenario that `smdhost replay`
// plays back the same: the same frames and the same framing faults, in the
// same order among the host's own calls (!refresh, !reset), with `@+S` lines
// for the time between them.
//
// The recorder follows the line with the decoder's own rules (SOI starts a
// frame, CR ends it, a new SOI inside a frame breaks it, more than 4096
// characters make it too long) and keeps at most a few frames' worth of text:
//   - a frame that ended is one `~...` line, with any frames it broke before
//     it on the same line (replay breaks them at the same SOI);
//   - a frame too long is written at the character that overflowed; the line
//     end that replay adds falls into the stretch the decoder skips;
//   - what a frame line cannot hold is a `!raw HEX` line, bytes framed with
//     no line end added: before a host call while frames broken by a new SOI
//     wait in the buffer (their faults came before the call), when a flood of
//     SOI without an end fills the buffer, and at the end of the recording;
//     the rest of a frame begun in a `!raw` line follows in `!raw` too.
// Bytes between frames are dropped: the decoder skips them. A byte inside a
// frame that a scenario line cannot hold (control characters, blanks,
// non-ASCII, LF which replay would take as an end) is written as '?': like
// the original, it is not a hex digit, so the frame fails the same way.
//
// Every write is checked: after a failure (a full disk) failed() holds and
// nothing more is written.
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

    // Creates `path` and writes the header; `now` is the wall time in
    // seconds since the epoch. False with the reason in `error`.
    bool open(const std::string& path, const std::string& source, double now,
              std::string& error);
    // The same on a stream already open (owned from here on); `name` names
    // it in messages.
    bool start(std::FILE* file, const std::string& name, const std::string& source, double now,
               std::string& error);
    bool is_open() const { return file_ != nullptr; }

    // Bytes heard at `now`.
    void bytes(const unsigned char* data, std::size_t len, double now);
    // A directive line (such as "!reset") at `now`.
    void directive(const std::string& line, double now);
    // A comment line.
    void comment(const std::string& text);
    // Pushes what was written to the file; false once a write failed.
    bool flush();
    // Writes what is still buffered (as !raw) and closes the file; false
    // when a write failed.
    bool close();

    bool failed() const { return !error_.empty(); }
    // "FILE: cannot write: No space left on device".
    const std::string& error() const { return error_; }

private:
    void advance_to(double now);
    void write_line(const std::string& line);
    // How the buffer ends when it is written: a CR was heard, the frame got
    // too long, or more is to come.
    enum class End { heard, too_long, pending };
    // Writes the buffer: as a frame line when it starts with a SOI and the
    // frame ended, else as !raw (with the CR that was heard).
    void write_buffer(End end, double now);
    void failure();

    enum class State { idle, collecting, overlong };

    std::FILE* file_ = nullptr;
    std::string name_;
    std::string error_;
    double written_time_ = 0.0;  // clock of the replay after the lines so far
    State state_ = State::idle;
    std::string buf_;            // heard, not yet written (from a SOI, or a frame's rest)
    std::size_t chars_ = 0;      // characters after the latest SOI
    std::size_t broken_ = 0;     // SOIs in buf_ that break the frame before them
};

}  // namespace smdrecord
