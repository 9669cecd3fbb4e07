// Scenario files: one directive per line (see `smdhost replay --help`).
//
// A file is parsed whole before anything runs, so a malformed line stops the
// replay before the plug-in sees any of it. Files named by @PATH (records to
// load, configurations to re-apply) are read at parse time as well.
#pragma once

#include <string>
#include <vector>

#include <json/value.h>

namespace smdscenario {

struct Directive {
    enum class Kind {
        frame,      // bytes: the characters of the line, to be framed
        advance,    // seconds
        set_clock,  // epoch (seconds since the epoch)
        refresh,
        reset,
        error,
        get,        // name, id
        load,       // bytes
        ioctl,      // code, bytes (input), out_size
        init,       // config (when has_config), else the start-up configuration
    };

    Kind kind = Kind::frame;
    std::string file;  // where the line came from
    int line = 0;
    std::vector<unsigned char> bytes;
    double seconds = 0.0;
    double epoch = 0.0;
    std::string name;
    unsigned id = 0;
    int code = 0;
    int out_size = 4;
    bool has_config = false;
    Json::Value config;
};

// Largest output buffer a !ioctl may ask for.
constexpr int kMaxIoctlOut = 65536;

// Parses one line (without its line end) of `file`, appending at most one
// directive. `folder` is where @PATH names are resolved. Returns false with a
// message (without the FILE:LINE prefix) in `error`.
bool parse_line(const std::string& text, const std::string& file, int line,
                const std::string& folder, std::vector<Directive>& out, std::string& error);

// Parses a whole file ("-" is standard input). On failure `error` holds
// "FILE:LINE: message" (or "FILE: message" when the file cannot be read).
bool parse_file(const std::string& path, std::vector<Directive>& out, std::string& error);

// Reads a file whole; false with the reason in `error`.
bool read_file(const std::string& path, std::string& out, std::string& error);

// Parses JSON text; false with the reader's message in `error`.
bool parse_json(const std::string& text, Json::Value& out, std::string& error);

// Hex digits to bytes; spaces and tabs between bytes are allowed. False on an
// odd number of digits or a character that is not a hex digit.
bool parse_hex(const std::string& text, std::vector<unsigned char>& out, std::string& error);

}  // namespace smdscenario
