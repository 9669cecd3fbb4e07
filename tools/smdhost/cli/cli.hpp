// Command line of smdhost: sub-command, options, help texts, on the tools'
// shared conventions (tools/common/cli_options.hpp).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "tools/common/serial_line.hpp"

namespace smdcli {

enum class Command { none, replay, listen, history, decode, check, stats, signals };
enum class Format { automatic, json, text, csv };  // csv: history only

// Limits on what smdhost reads whole; the help texts state them.
constexpr std::size_t kMaxScenarioLine = 1 << 20;   // characters of one scenario line
constexpr std::size_t kMaxLoadFile = 1 << 20;       // bytes of a !load @PATH file
constexpr std::size_t kMaxConfigFile = 1 << 20;     // bytes of a configuration
constexpr std::size_t kMaxRecordFile = 1 << 20;     // bytes of decode's input
constexpr std::size_t kMaxThresholdFile = 1 << 20;  // bytes of a threshold (INI) file
constexpr int kMaxJsonDepth = 128;                  // nesting of a configuration

// One device of several on the line (--device ADDR=CONFIG).
struct DeviceOption {
    int address = 0;     // 0..255: the frames of this ADR reach the device
    std::string config;  // its configuration file
    // "2=plant2.json", as given: how messages name the device.
    std::string text() const { return std::to_string(address) + "=" + config; }
};

// Reads "ADDR=CONFIG" (ADDR as --address takes it). "" or the problem.
std::string read_device_option(const std::string& text, DeviceOption& out);

struct Options {
    Command command = Command::none;

    std::vector<std::string> files;  // replay, stats: scenarios or raw captures; tools: their one file
    bool raw = false;
    std::string config;              // empty: configuration {}
    std::string plugin;              // empty: next to the executable
    Format format = Format::automatic;
    int address = -1;                // 0..255: only frames of this ADR reach the device
    // replay, listen: one device per entry, each on its own address; empty:
    // one device of --config (and --address). check: the configurations
    // given as ADDR=PATH.
    std::vector<DeviceOption> devices;
    unsigned baud = 9600;            // replay --raw: wire time; listen: line speed
    serial::Parity parity = serial::Parity::none;  // listen
    int stop_bits = 1;                             // listen
    bool verbose = false;            // text view: show the plug-in's log and every frame
    bool diagnostics = false;        // json: also the line observer's "cycle" and "line" events

    std::string serial;              // listen
    double reset_every = 60.0;       // listen: seconds between Reset calls
    std::string record;              // listen: scenario written from what is heard

    std::string history;             // replay, listen: store saved records in this file
    bool restore = false;            // replay, listen: newest stored record to LoadFromCache
    std::string mqtt;                // replay, listen: mqtt://HOST[:PORT][/ROOT], checked

    std::string http;                // replay, listen: serve the monitor at ADDR:PORT (checked)
    double linger = 0.0;             // replay --http: seconds to keep serving after the input

    // history FILE (files[0])
    bool by_data_id = false;
    long long data_id = 0;
    bool by_since = false;
    double since = 0.0;              // epoch seconds
    long long last = -1;             // >= 0: only the last K records

    // decode [FILE | - | --hex HEX] (FILE in files)
    bool has_hex = false;
    std::string hex;

    // decode, history: which catalogue values are shown
    std::string fields;              // comma-separated name patterns; empty: every value
    bool all = false;                // every value up to the capacities, not only those reported

    // signals [FILTER]
    std::string filter;              // comma-separated patterns; empty: the whole catalogue
    bool by_mode = false;
    int mode = 1;                    // threshold mode (b_mode) when by_mode

    // check CONFIG (files[0]); replay, listen: the plug-in's ./ini/
    std::string ini_dir;             // empty: ./ini of the working directory
    bool strict = false;             // warnings fail the check too

    // The line settings of listen.
    serial::LineSettings line() const { return {baud, parity, stop_bits}; }
};

// Parses argv. Returns -1 with `opts` filled when the command is to run;
// otherwise the exit status after printing what was asked (--help,
// --version: 0) or the usage error (one line on standard error: 2).
int parse_command_line(int argc, char** argv, Options& opts);

}  // namespace smdcli
