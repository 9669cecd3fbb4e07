// pwrsim bus: another master interrogating the plant, live at line speed,
// for a listener on the other side of the line.
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "tools/common/cli_options.hpp"
#include "tools/plant/trace.hpp"
#include "tools/pwrsim/commands.hpp"
#include "tools/pwrsim/pacing.hpp"

namespace pwrsim {

namespace {

constexpr double kReopenGrace = 2.0;  // s the listener may take to reopen its port

const char* fate_name(plant::Fate f) {
    switch (f) {
    case plant::Fate::corrupted: return "corrupted";
    case plant::Fate::truncated: return "cut short";
    case plant::Fate::lost: return "lost";
    case plant::Fate::duplicated: return "sent twice";
    case plant::Fate::intact: break;
    }
    return "intact";
}

}  // namespace

CLI::App* add_bus(CLI::App& app, BusArgs& a) {
    CLI::App* cmd = app.add_subcommand(
        "bus",
        "usage: pwrsim bus (--pty | --serial DEVICE) [OPTIONS]\n"
        "\n"
        "Plays another master and the simulated plant together on a line, at line speed\n"
        "(the bits of every character at --baud): every --interval seconds the eight\n"
        "commands of a round and the plant's responses, as 'pwrsim trace' writes them,\n"
        "for a listener such as 'smdhost listen --serial PATH'. On a pseudo-terminal it\n"
        "starts when the listener opens the line and ends when it closes it; it always\n"
        "ends on SIGINT or SIGTERM, or after --rounds rounds.\n");
    add_line_options(*cmd, a.line, false);
    toolcli::add_whole(*cmd, "--rounds", a.rounds, 0, 1000000000,
                       "rounds to play, then stop; 0 = until stopped (default 0)");
    add_round_options(*cmd, a.round);
    add_plant_options(*cmd, a.plant);
    add_plants_option(*cmd, a.plants);
    cmd->add_flag("--verbose", a.verbose, "log each round and each spoiled frame on standard error");
    return cmd;
}

int run_bus(const CLI::App& cmd, BusArgs& a) {
    std::vector<plant::TraceConfig> configs;
    if (std::string problem = finish_line_args(a.line); !problem.empty())
        return toolcli::usage_error(cmd, problem);
    if (std::string problem = line_configs_from(a.plant, a.round, a.plants, 1, configs);
        !problem.empty())
        return toolcli::usage_error(cmd, problem);
    const plant::TraceConfig& config = configs.front();
    a.line.settings.baud = config.baud;
    const unsigned bits = a.line.settings.bits_per_char();

    install_stop_handlers();
    std::string error;
    serial::SerialLine line;
    const bool opened = a.line.pty ? line.open_pty(error)
                                   : line.open_device(a.line.serial, a.line.settings, error);
    if (!opened) {
        std::cerr << "pwrsim bus: " << (a.line.pty ? "--pty: " : "--serial: ") << error << "\n";
        return 1;
    }
    if (line.is_pty()) std::cout << line.path() << std::endl;
    if (!wait_for_peer(line)) return 0;

    // Each generator's responder holds its plant: they stay where made.
    std::vector<std::unique_ptr<plant::TraceGenerator>> gens;
    for (const auto& c : configs) gens.push_back(std::make_unique<plant::TraceGenerator>(c));
    const bool several = gens.size() > 1;
    double next_round = monotonic_now();
    for (long long r = 1; !g_stop && (a.rounds == 0 || r <= a.rounds); ++r) {
        if (!sleep_until(next_round)) break;
        next_round += config.interval;
        // The plants in turn, as one master interrogates a line.
        for (auto& gen : gens) {
            const plant::TraceRound round = gen->next_round();
            const std::string plant_name =
                several ? " plant " + std::to_string(static_cast<unsigned>(round.address)) : "";
            for (const auto& note : round.notes)
                std::cerr << "pwrsim: round " << round.number << plant_name << ": " << note << "\n";
            if (a.verbose)
                std::cerr << "pwrsim: round " << round.number << plant_name
                          << (round.spoiled ? " (spoiled)" : "") << "\n";
            for (const auto& f : round.frames) {
                if (line.is_pty() && !line.peer_open() && !peer_back_within(line, kReopenGrace))
                    return 0;
                if (a.verbose && f.fate != plant::Fate::intact) {
                    char text[96];
                    std::snprintf(text, sizeof text, "pwrsim:   %s %02X/%02X %s\n",
                                  f.command ? "command" : "response", f.cid1, f.cid2,
                                  fate_name(f.fate));
                    std::cerr << text;
                }
                const double start = monotonic_now();
                if (!write_paced(line, f.sent, config.baud, bits)) {
                    if (g_stop) return 0;
                    if (line.is_pty() && !peer_back_within(line, kReopenGrace)) return 0;
                    if (!line.is_pty()) {
                        std::cerr << "pwrsim bus: " << line.path() << ": cannot write\n";
                        return 1;
                    }
                }
                // The pause after the frame (the plant's turnaround or the master's gap).
                const double on_wire = static_cast<double>(f.sent.size()) * bits / config.baud;
                const double pause = f.seconds - plant::wire_seconds(f.sent.size(), config.baud);
                if (!sleep_until(std::max(monotonic_now(), start + on_wire) + pause)) return 0;
            }
        }
    }
    return 0;
}

}  // namespace pwrsim
