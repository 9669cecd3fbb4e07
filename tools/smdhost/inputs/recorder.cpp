#include "tools/smdhost/inputs/recorder.hpp"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>

#include "host/frame_codec.hpp"

namespace smdrecord {

Recorder::~Recorder() { close(); }

bool Recorder::open(const std::string& path, const std::string& source, double now,
                    std::string& error) {
    close();
    file_ = std::fopen(path.c_str(), "w");
    if (file_ == nullptr) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    const std::time_t whole = static_cast<std::time_t>(std::floor(now));
    std::tm tm{};
    localtime_r(&whole, &tm);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &tm);
    std::fprintf(file_, "# recorded by smdhost listen from %s\n", source.c_str());
    std::fprintf(file_, "@=%s\n", stamp);
    written_time_ = static_cast<double>(whole);
    state_ = State::idle;
    frame_.clear();
    chars_ = 0;
    advance_to(now);
    return true;
}

void Recorder::advance_to(double now) {
    if (file_ == nullptr) return;
    // Milliseconds, rounded; the replay clock follows the rounded sum, so
    // rounding never accumulates.
    const double step = std::floor((now - written_time_) * 1000.0 + 0.5) / 1000.0;
    if (step < 0.001) return;
    std::fprintf(file_, "@+%.3f\n", step);
    written_time_ += step;
}

void Recorder::write_line(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), file_);
    std::fputc('\n', file_);
}

void Recorder::bytes(const unsigned char* data, std::size_t len, double now) {
    if (file_ == nullptr) return;
    for (std::size_t k = 0; k < len; ++k) {
        const unsigned char c = data[k];
        if (c == '~') {
            // In a frame: the partial frame is broken and stays on this line.
            if (state_ != State::collecting) frame_.clear();
            frame_ += '~';
            chars_ = 0;
            state_ = State::collecting;
            continue;
        }
        if (state_ != State::collecting) continue;
        if (c == '\r') {
            advance_to(now);
            write_line(frame_);
            frame_.clear();
            state_ = State::idle;
            continue;
        }
        frame_ += (c > 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
        if (++chars_ > smdhost::kMaxFrameChars) {
            // The replay fails this frame at the same character; the line
            // end it adds then falls into the skipped stretch.
            advance_to(now);
            write_line(frame_);
            frame_.clear();
            state_ = State::overlong;
        }
    }
}

void Recorder::directive(const std::string& line, double now) {
    if (file_ == nullptr) return;
    advance_to(now);
    write_line(line);
}

void Recorder::comment(const std::string& text) {
    if (file_ == nullptr) return;
    write_line("# " + text);
}

void Recorder::flush() {
    if (file_ != nullptr) std::fflush(file_);
}

void Recorder::close() {
    if (file_ == nullptr) return;
    std::fclose(file_);
    file_ = nullptr;
    frame_.clear();
    state_ = State::idle;
}

}  // namespace smdrecord
