#include "tools/smdhost/inputs/recorder.hpp"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>

#include "host/frame_codec.hpp"
#include "tools/common/hex_codec.hpp"

namespace smdrecord {

namespace {

// Frames broken by a flood of SOI are written once this much waits.
constexpr std::size_t kFlushAt = smdhost::kMaxFrameChars;

}  // namespace

Recorder::~Recorder() { close(); }

bool Recorder::open(const std::string& path, const std::string& source, double now,
                    std::string& error) {
    std::FILE* f = std::fopen(path.c_str(), "w");
    if (f == nullptr) {
        error = path + ": cannot write: " + std::strerror(errno);
        return false;
    }
    return start(f, path, source, now, error);
}

bool Recorder::start(std::FILE* file, const std::string& name, const std::string& source,
                     double now, std::string& error) {
    close();
    file_ = file;
    name_ = name;
    error_.clear();
    const std::time_t whole = static_cast<std::time_t>(std::floor(now));
    std::tm tm{};
    localtime_r(&whole, &tm);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &tm);
    write_line("# recorded by smdhost listen from " + source);
    write_line(std::string("@=") + stamp);
    written_time_ = static_cast<double>(whole);
    state_ = State::idle;
    buf_.clear();
    chars_ = 0;
    broken_ = 0;
    advance_to(now);
    // A file that cannot take the header is known before listening starts.
    if (!flush()) {
        error = error_;
        return false;
    }
    return true;
}

void Recorder::failure() {
    if (error_.empty()) error_ = name_ + ": cannot write: " + std::strerror(errno);
}

void Recorder::advance_to(double now) {
    if (file_ == nullptr || failed()) return;
    // Milliseconds, rounded; the replay clock follows the rounded sum, so
    // rounding never accumulates.
    const double step = std::floor((now - written_time_) * 1000.0 + 0.5) / 1000.0;
    if (step < 0.001) return;
    if (std::fprintf(file_, "@+%.3f\n", step) < 0) failure();
    written_time_ += step;
}

void Recorder::write_line(const std::string& line) {
    if (file_ == nullptr || failed()) return;
    if (std::fwrite(line.data(), 1, line.size(), file_) != line.size() ||
        std::fputc('\n', file_) == EOF)
        failure();
}

void Recorder::write_buffer(End end, double now) {
    if (buf_.empty() && end != End::heard) return;
    advance_to(now);
    if (end != End::pending && !buf_.empty() && buf_[0] == '~') {
        // Replay adds a CR: the frame's own end, or (after a frame too long)
        // a byte the decoder skips.
        write_line(buf_);
    } else {
        if (end == End::heard) buf_ += '\r';
        write_line("!raw " + hexcodec::upper(reinterpret_cast<const unsigned char*>(buf_.data()),
                                             buf_.size()));
    }
    buf_.clear();
    broken_ = 0;
}

void Recorder::bytes(const unsigned char* data, std::size_t len, double now) {
    if (file_ == nullptr) return;
    for (std::size_t k = 0; k < len; ++k) {
        const unsigned char c = data[k];
        if (c == '~') {
            // Inside a frame, this SOI breaks it, live and in replay alike.
            const bool breaks = state_ == State::collecting;
            if (breaks && buf_.size() >= kFlushAt) write_buffer(End::pending, now);
            buf_ += '~';
            if (breaks) ++broken_;
            chars_ = 0;
            state_ = State::collecting;
            continue;
        }
        if (state_ != State::collecting) continue;
        if (c == '\r') {
            write_buffer(End::heard, now);
            state_ = State::idle;
            continue;
        }
        buf_ += (c > 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
        if (++chars_ > smdhost::kMaxFrameChars) {
            // The frame fails at this character, live and in replay alike.
            write_buffer(End::too_long, now);
            state_ = State::overlong;
        }
    }
}

void Recorder::directive(const std::string& line, double now) {
    if (file_ == nullptr) return;
    // Faults of broken frames came before this call: they go first.
    if (broken_ > 0) write_buffer(End::pending, now);
    advance_to(now);
    write_line(line);
}

void Recorder::comment(const std::string& text) {
    if (file_ == nullptr) return;
    write_line("# " + text);
}

bool Recorder::flush() {
    if (file_ != nullptr && !failed() && std::fflush(file_) != 0) failure();
    return !failed();
}

bool Recorder::close() {
    if (file_ == nullptr) return !failed();
    // What waits is written as it came: broken frames give their faults,
    // an unfinished frame stays unfinished, as it did on the line.
    write_buffer(End::pending, written_time_);
    flush();
    if (std::fclose(file_) != 0) failure();
    file_ = nullptr;
    buf_.clear();
    state_ = State::idle;
    return !failed();
}

}  // namespace smdrecord
