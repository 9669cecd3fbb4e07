// Scenario lines: one directive per line (see `smdhost replay --help`).
//
// parse_line() reads one line and touches no file: a @PATH is resolved to a
// path and left to the caller, which checks it before anything runs and
// reads it when the line runs (tools/smdhost/inputs/at_files.hpp).
#pragma once

#include <string>
#include <vector>

namespace smdscenario {

struct Directive {
    enum class Kind {
        none,       // blank line or comment
        frame,      // bytes: the characters of the line and CR, to be framed
        raw,        // bytes: as heard, framed without a line end
        advance,    // seconds
        set_clock,  // epoch (seconds since the epoch)
        refresh,
        reset,
        error,
        get,        // name, id
        load,       // bytes, or the file at `path` when has_path
        ioctl,      // code, bytes (input), out_size
        init,       // the configuration at `path` when has_path, else the start-up one
    };

    Kind kind = Kind::none;
    std::vector<unsigned char> bytes;
    double seconds = 0.0;
    double epoch = 0.0;
    std::string name;
    unsigned id = 0;
    int code = 0;
    int out_size = 4;
    bool has_path = false;
    std::string path;  // resolved against the scenario file's folder
    // A `!` directive that acts on a device: "adr=N" as its first argument
    // names the device of address N (several devices, --device); -1: every
    // device.
    int adr = -1;
};

// Largest output buffer a !ioctl may ask for.
constexpr int kMaxIoctlOut = 65536;

// Parses one line (without its line end) into `d`; `folder` is where @PATH
// names are resolved. False with a message (without the FILE:LINE prefix)
// in `error`.
bool parse_line(const std::string& text, const std::string& folder, Directive& d,
                std::string& error);

// The folder of a scenario file's path, where its @PATH names are resolved.
std::string folder_of(const std::string& path);

}  // namespace smdscenario
