// The sub-commands of pwrsim and the options they share, on the tools'
// command-line conventions (tools/common/cli_options.hpp).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <CLI/App.hpp>

#include "tools/common/serial_line.hpp"
#include "tools/plant/plant_model.hpp"
#include "tools/plant/trace.hpp"

namespace pwrsim {

// The plant's shape, seed and event rate (every sub-command).
struct PlantArgs {
    int rectifiers = 6;
    int screens = 1;
    std::string shape = "typical";
    std::uint64_t seed = 1;
    double event_rate = 1.0;
};

// The generated interrogation (trace and bus).
struct RoundArgs {
    double interval = 5.0;
    unsigned baud = 9600;
    double noise = 0.0;
    std::vector<std::string> events;
};

// Where a live sub-command plays: a pseudo-terminal it makes, or a device.
struct LineArgs {
    bool pty = false;
    std::string serial;
    serial::LineSettings settings;
    std::string parity = "none";
};

struct TraceArgs {
    PlantArgs plant;
    RoundArgs round;
    int rounds = 10;
    int plants = 1;
    unsigned data_id = 1;
    std::string truth;
};

struct ServeArgs {
    PlantArgs plant;
    LineArgs line;
    int address = 1;
    int cg = 1;
    int dc_layout = 2;
    bool verbose = false;
};

struct BusArgs {
    PlantArgs plant;
    RoundArgs round;
    LineArgs line;
    long long rounds = 0;
    int plants = 1;
    bool verbose = false;
};

void add_plant_options(CLI::App& app, PlantArgs& args);
void add_round_options(CLI::App& app, RoundArgs& args);
// --plants N (trace and bus).
void add_plants_option(CLI::App& app, int& plants);
// --pty, --serial DEVICE and, unless `with_baud` is false (bus takes the
// line speed from its round options), --baud; --parity, --stop-bits.
void add_line_options(CLI::App& app, LineArgs& args, bool with_baud);

// The sub-commands: each adds itself to `app`; run_* returns the exit
// status (0 done, 1 failure at run time, 2 bad usage found after parsing).
CLI::App* add_trace(CLI::App& app, TraceArgs& args);
CLI::App* add_serve(CLI::App& app, ServeArgs& args);
CLI::App* add_bus(CLI::App& app, BusArgs& args);
int run_trace(const CLI::App& cmd, const TraceArgs& args);
int run_serve(const CLI::App& cmd, ServeArgs& args);
int run_bus(const CLI::App& cmd, BusArgs& args);

// The plant's shape from the options; "" or the problem with it.
std::string shape_from(const PlantArgs& args, plant::PlantShape& out);
// Trace settings from the options; "" or the problem with them.
std::string trace_config_from(const PlantArgs& p, const RoundArgs& r, plant::TraceConfig& out);
// The plants of one line, at addresses 1..`plants`: plant 1 exactly as the
// options say; each further one with a seed of its own derived from --seed
// (its values, events and noise; with --shape varied its counts too), 0 to
// 3 rectifier modules more than --rectifiers (at most 40), and data id
// `data_id` + address - 1 in its truth. "" or the problem.
std::string line_configs_from(const PlantArgs& p, const RoundArgs& r, int plants,
                              unsigned data_id, std::vector<plant::TraceConfig>& out);
// The line settings complete (parity from its word) and exactly one of
// --pty and --serial given; "" or the problem.
std::string finish_line_args(LineArgs& args);

}  // namespace pwrsim
