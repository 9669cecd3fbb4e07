#include "tools/smdhost/session/output.hpp"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace smdout {

Output::~Output() { flush(); }

void Output::line(const std::string& text) {
    if (line_tap_) line_tap_(text);
    if (line_sink_) {
        line_sink_(text);
        return;
    }
    buf_ += text;
    buf_ += '\n';
    if (autoflush_ || buf_.size() >= 65536) flush();
}

void Output::text(const std::string& text) {
    buf_ += text;
    if (autoflush_ || buf_.size() >= 65536) flush();
}

bool Output::flush() {
    std::size_t done = 0;
    while (done < buf_.size() && fd_ >= 0 && error_.empty()) {
        const ssize_t n = ::write(fd_, buf_.data() + done, buf_.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            error_ = std::string("standard output: write error: ") +
                     (n < 0 ? std::strerror(errno) : "nothing written");
        }
    }
    buf_.clear();
    return error_.empty();
}

LogCapture::~LogCapture() { stop(); }

namespace {

int make_memory_file() {
#if defined(MFD_CLOEXEC)
    const int mem = memfd_create("smdhost-stdout", MFD_CLOEXEC);
    if (mem >= 0) return mem;
#endif
    // Without memfd: an unlinked temporary file serves the same purpose.
    char name[] = "/tmp/smdhost-stdout-XXXXXX";
    const int fd = mkstemp(name);
    if (fd >= 0) unlink(name);
    return fd;
}

}  // namespace

int LogCapture::start(std::string& error) {
    if (mem_fd_ >= 0) {
        error = "standard output already captured";
        return -1;
    }
    std::fflush(stdout);
    std::cout.flush();
    const int mem = make_memory_file();
    if (mem < 0) {
        error = std::string("cannot make a capture file: ") + std::strerror(errno);
        return -1;
    }
    const int saved = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    const int real = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (saved < 0 || real < 0 || dup2(mem, STDOUT_FILENO) < 0) {
        error = std::string("cannot redirect standard output: ") + std::strerror(errno);
        if (saved >= 0) ::close(saved);
        if (real >= 0) ::close(real);
        ::close(mem);
        return -1;
    }
    mem_fd_ = mem;
    saved_fd_ = saved;
    return real;
}

void LogCapture::stop() {
    if (mem_fd_ < 0) return;
    std::fflush(stdout);
    std::cout.flush();
    dup2(saved_fd_, STDOUT_FILENO);
    ::close(saved_fd_);
    ::close(mem_fd_);
    saved_fd_ = -1;
    mem_fd_ = -1;
}

void LogCapture::drain(const std::function<void(const std::string&)>& sink, bool final) {
    if (mem_fd_ < 0) return;
    std::cout.flush();
    std::fflush(stdout);
    // Descriptor 1 and mem_fd_ share one file offset: everything written so
    // far lies before it. Read it all, then empty the file and rewind.
    const off_t end = lseek(mem_fd_, 0, SEEK_CUR);
    if (end > read_pos_) {
        char buf[8192];
        off_t pos = read_pos_;
        while (pos < end) {
            const std::size_t want =
                static_cast<std::size_t>(end - pos) < sizeof buf ? static_cast<std::size_t>(end - pos)
                                                                 : sizeof buf;
            const ssize_t n = pread(mem_fd_, buf, want, pos);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            partial_.append(buf, static_cast<std::size_t>(n));
            pos += n;
        }
        read_pos_ = pos;
        // Empty the file so it does not grow for ever; when that fails, the
        // next drain goes on from read_pos_ and repeats nothing.
        if (pos == end && ftruncate(mem_fd_, 0) == 0 && lseek(mem_fd_, 0, SEEK_SET) == 0)
            read_pos_ = 0;
    }
    std::size_t start = 0;
    for (;;) {
        const std::size_t nl = partial_.find('\n', start);
        if (nl == std::string::npos) break;
        std::size_t len = nl - start;
        if (len > 0 && partial_[start + len - 1] == '\r') --len;
        sink(partial_.substr(start, len));
        start = nl + 1;
    }
    partial_.erase(0, start);
    if (final && !partial_.empty()) {
        sink(partial_);
        partial_.clear();
    }
}

}  // namespace smdout
