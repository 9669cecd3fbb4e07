#include "tools/smdhost/inputs/input_file.hpp"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace smdinput {

namespace {

std::string shown(const std::string& path) { return path == "-" ? "<stdin>" : path; }

std::string too_big(const std::string& path, std::size_t limit, const char* what) {
    return shown(path) + ": more than " + std::to_string(limit) + " bytes, the limit for " + what;
}

// Reads until `size` bytes or the end; -1 on error (errno set).
long read_full(int fd, char* buf, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, buf + done, size - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n == 0) break;
        if (errno == EINTR) continue;
        return -1;
    }
    return static_cast<long>(done);
}

// Opens for reading; "" or the message. A folder opens but is no file.
std::string open_for_reading(const std::string& path, const char* what, int& fd, bool& regular,
                             bool& cannot_open) {
    cannot_open = false;
    regular = false;
    if (path == "-") {
        fd = STDIN_FILENO;
    } else {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            cannot_open = true;
            return path + ": cannot open: " + std::strerror(errno);
        }
    }
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        const std::string why = shown(path) + ": cannot read: " + std::strerror(errno);
        if (path != "-") ::close(fd);
        return why;
    }
    if (S_ISDIR(st.st_mode)) {
        if (path != "-") ::close(fd);
        return shown(path) + ": a folder, not " + what;
    }
    regular = S_ISREG(st.st_mode);
    return std::string();
}

}  // namespace

bool read_small_file(const std::string& path, std::size_t limit, const char* what,
                     std::string& out, std::string& error, Problem* problem) {
    int fd = -1;
    bool regular = false;
    bool cannot_open = false;
    Problem none_asked = Problem::none;
    Problem& why = problem != nullptr ? *problem : none_asked;
    why = Problem::none;
    error = open_for_reading(path, what, fd, regular, cannot_open);
    if (!error.empty()) {
        why = cannot_open ? Problem::cannot_open : Problem::unreadable;
        return false;
    }
    out.clear();
    char buf[65536];
    bool ok = true;
    for (;;) {
        const long n = read_full(fd, buf, sizeof buf);
        if (n < 0) {
            error = shown(path) + ": read error: " + std::strerror(errno);
            ok = false;
            break;
        }
        if (n == 0) break;
        if (out.size() + static_cast<std::size_t>(n) > limit) {
            error = too_big(path, limit, what);
            ok = false;
            break;
        }
        out.append(buf, static_cast<std::size_t>(n));
        if (static_cast<std::size_t>(n) < sizeof buf && regular) break;
    }
    if (path != "-") ::close(fd);
    if (!ok) {
        out.clear();
        why = Problem::unreadable;
    }
    return ok;
}

bool check_small_file(const std::string& path, std::size_t limit, const char* what,
                      std::string& error, Problem* problem) {
    int fd = -1;
    bool regular = false;
    bool cannot_open = false;
    if (problem != nullptr) *problem = Problem::none;
    error = open_for_reading(path, what, fd, regular, cannot_open);
    if (!error.empty()) {
        if (problem != nullptr) *problem = cannot_open ? Problem::cannot_open : Problem::unreadable;
        return false;
    }
    struct stat st {};
    bool ok = true;
    if (regular && fstat(fd, &st) == 0 && static_cast<unsigned long long>(st.st_size) > limit) {
        error = too_big(path, limit, what);
        if (problem != nullptr) *problem = Problem::unreadable;
        ok = false;
    }
    if (path != "-") ::close(fd);
    return ok;
}

ChunkSource::~ChunkSource() = default;

InputFile::~InputFile() { close(); }

void InputFile::close() {
    if (fd_ >= 0 && own_) ::close(fd_);
    fd_ = -1;
    own_ = false;
}

InputFile::Opened InputFile::open(const std::string& path, const char* what, std::string& error) {
    close();
    name_ = shown(path);
    bool cannot_open = false;
    error = open_for_reading(path, what, fd_, regular_, cannot_open);
    if (!error.empty()) {
        fd_ = -1;
        return cannot_open ? Opened::cannot_open : Opened::unusable;
    }
    own_ = path != "-";
    return Opened::ok;
}

bool InputFile::rewind(std::string& error) {
    if (fd_ >= 0 && regular_ && lseek(fd_, 0, SEEK_SET) == 0) return true;
    error = name_ + ": cannot read it again from the start: " + std::strerror(errno);
    return false;
}

long InputFile::read(char* buf, std::size_t size, std::string& error) {
    for (;;) {
        const ssize_t n = ::read(fd_, buf, size);
        if (n >= 0) return static_cast<long>(n);
        if (errno == EINTR) continue;
        error = name_ + ": read error: " + std::strerror(errno);
        return -1;
    }
}

LineReader::LineReader(ChunkSource& source, std::size_t max_line)
    : source_(source), max_line_(max_line) {}

LineReader::Status LineReader::next(std::string& line, std::string& error) {
    line.clear();
    bool any = false;
    for (;;) {
        if (pos_ == len_) {
            if (ended_) {
                if (!any) return Status::end;
                ++number_;
                return Status::line;  // the last line, without "\n"
            }
            const long n = source_.read(buf_, sizeof buf_, error);
            if (n < 0) return Status::error;
            pos_ = 0;
            len_ = static_cast<std::size_t>(n);
            if (n == 0) ended_ = true;
            continue;
        }
        any = true;
        const char* start = buf_ + pos_;
        const std::size_t avail = len_ - pos_;
        const void* nl = std::memchr(start, '\n', avail);
        const std::size_t take =
            nl != nullptr ? static_cast<std::size_t>(static_cast<const char*>(nl) - start) : avail;
        const bool binary = std::memchr(start, '\0', take) != nullptr;
        if (binary || line.size() + take > max_line_) {
            ++number_;
            return binary ? Status::binary : Status::too_long;
        }
        line.append(start, take);
        pos_ += take;
        if (nl != nullptr) {
            ++pos_;
            ++number_;
            return Status::line;
        }
    }
}

}  // namespace smdinput
