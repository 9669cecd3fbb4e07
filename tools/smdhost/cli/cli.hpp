// Command line of smdhost: sub-command, options, help texts.
#pragma once

#include <string>
#include <vector>

namespace smdcli {

enum class Command { none, replay, listen, history, decode, check, help, version };
enum class Format { automatic, json, text, csv };  // csv: history only

struct Options {
    Command command = Command::none;
    // Help asked for a sub-command (`smdhost replay --help`).
    Command help_for = Command::none;

    std::vector<std::string> files;  // replay: scenarios or raw captures
    bool raw = false;
    std::string config;              // empty: configuration {}
    std::string plugin;              // empty: next to the executable
    Format format = Format::automatic;
    int address = -1;                // 0..255: only frames of this ADR reach the device
    unsigned baud = 9600;
    bool verbose = false;            // text view: show the plug-in's log and every frame

    std::string serial;              // listen
    double reset_every = 60.0;       // listen: seconds between Reset calls
    std::string record;              // listen: scenario written from what is heard

    std::string history;             // replay, listen: store saved records in this file
    bool restore = false;            // replay, listen: newest stored record to LoadFromCache

    // history FILE (files[0])
    bool by_data_id = false;
    long long data_id = 0;
    bool by_since = false;
    double since = 0.0;              // epoch seconds
    long long last = -1;             // >= 0: only the last K records

    // decode [FILE | - | --hex HEX] (FILE in files)
    bool has_hex = false;
    std::string hex;

    // check CONFIG (files[0])
    std::string ini_dir;             // empty: ./ini of the working directory
};

// Parses argv. Returns true with `opts` filled, or false with a one-line
// message in `error` (bad usage, exit status 2).
bool parse_command_line(int argc, char** argv, Options& opts, std::string& error);

// Texts for --help; `which` none gives the overview.
std::string help_text(Command which);
std::string version_text();

// Parses a device address: decimal or 0x-prefixed hex, 0..255; -1 when bad.
int parse_address(const std::string& text);

}  // namespace smdcli
