// Files smdhost reads, every failure named: a file read whole with a size
// bound (a configuration, a record, a threshold file, a !load file), and a
// file read front to back in chunks (a scenario, a raw capture), cut into
// lines when it is text.
//
// "-" is standard input. Messages start with the file's name: "F: cannot
// open: ...", "F: a folder, not a scenario", "F: read error: ...", "F: more
// than N bytes, the limit for a configuration".
#pragma once

#include <cstddef>
#include <string>

namespace smdinput {

// Why a file could not be used: its name does not open (absent, no
// permission), or it opens but cannot be read whole (a folder, a read error,
// more than the limit).
enum class Problem { none, cannot_open, unreadable };

// Reads `path` whole into `out` when it holds at most `limit` bytes. `what`
// names the kind of file in messages ("a configuration file"). False with
// the message in `error` and, when asked, the kind in `problem`.
bool read_small_file(const std::string& path, std::size_t limit, const char* what,
                     std::string& out, std::string& error, Problem* problem = nullptr);

// Whether `path` can be opened and read as a file of at most `limit` bytes,
// without reading it (a regular file's size is known; a pipe or device is
// only read when its line runs). False as read_small_file.
bool check_small_file(const std::string& path, std::size_t limit, const char* what,
                      std::string& error, Problem* problem = nullptr);

// Where chunks come from: an open file, or bytes in memory.
class ChunkSource {
public:
    virtual ~ChunkSource();
    // Bytes read into `buf` (at most `size`), 0 at the end, -1 on a read
    // error with the message in `error`.
    virtual long read(char* buf, std::size_t size, std::string& error) = 0;
};

class InputFile : public ChunkSource {
public:
    enum class Opened { ok, cannot_open, unusable };

    InputFile() = default;
    ~InputFile() override;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Opens `path` ("-": standard input). cannot_open: the name is wrong
    // (absent, no permission); unusable: it opens but cannot be read as
    // `what` (a folder). The message is in `error`.
    Opened open(const std::string& path, const char* what, std::string& error);
    void close();

    // The name in messages: the path, or "<stdin>".
    const std::string& name() const { return name_; }
    // A regular file: it can be read again from the start (rewind()).
    bool regular() const { return regular_; }
    bool rewind(std::string& error);

    long read(char* buf, std::size_t size, std::string& error) override;

private:
    int fd_ = -1;
    bool own_ = false;  // standard input is not closed
    bool regular_ = false;
    std::string name_;
};

// Cuts what a source gives into lines (without their "\n"), at most
// `max_line` characters each; a line holding a NUL byte is reported as
// binary as soon as the byte is seen. Memory stays at one chunk and one line.
class LineReader {
public:
    enum class Status { line, end, too_long, binary, error };

    LineReader(ChunkSource& source, std::size_t max_line);

    // The next line in `line`; its number is number(). On error, `error`
    // holds the source's message.
    Status next(std::string& line, std::string& error);
    int number() const { return number_; }

private:
    ChunkSource& source_;
    std::size_t max_line_;
    char buf_[65536];
    std::size_t pos_ = 0;
    std::size_t len_ = 0;
    bool ended_ = false;
    int number_ = 0;
};

// A raw capture's chunks: at most this many bytes per read.
constexpr std::size_t kChunk = 65536;

}  // namespace smdinput
