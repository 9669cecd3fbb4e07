// pwrsim trace: a scenario of another master interrogating the plant.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <vector>

#include <CLI/CLI.hpp>

#include "tools/common/cli_options.hpp"
#include "tools/plant/trace.hpp"
#include "tools/pwrsim/commands.hpp"

namespace pwrsim {

CLI::App* add_trace(CLI::App& app, TraceArgs& a) {
    CLI::App* cmd = app.add_subcommand(
        "trace",
        "usage: pwrsim trace [OPTIONS] > scenario.scn\n"
        "\n"
        "Writes a scenario (smdhost replay) in which another master interrogates the\n"
        "simulated plant: per round the eight commands 40/42, 40/43, 40/44, 41/42, 41/43,\n"
        "41/44, 42/42, 42/44 and the plant's responses as raw frame lines, sometimes with\n"
        "a 40/47 or 42/47 pair inserted, '@+S' lines for the time on the line between\n"
        "frames and for the pause between rounds, '#' comments naming rounds and plant\n"
        "events. Values drift; mains failures, rectifier faults, blown fuses and invalid\n"
        "readings happen as seeded (or as scheduled with --event).\n");
    toolcli::add_whole(*cmd, "--rounds", a.rounds, 1, 1000000,
                       "rounds of interrogation, 1..1000000 (default 10)");
    toolcli::add_text(*cmd, "--truth", a.truth,
                      "also write, one JSON line per round, the record a correct capture "
                      "publishes for it: {\"round\":N,\"record\":\"HEX\"} (2514 hex digits, time "
                      "stamp as zeros) or {\"round\":N,\"record\":null} when noise spoiled the "
                      "round (with --plants, per plant: {\"round\":N,\"adr\":K,\"record\":...})",
                      "FILE");
    toolcli::add_whole(*cmd, "--data-id", a.data_id, 0u, 4294967295u,
                       "data id the truth records carry at offset 0 (default 1, the bench "
                       "host's default); with --plants, that of plant 1");
    add_plants_option(*cmd, a.plants);
    add_round_options(*cmd, a.round);
    add_plant_options(*cmd, a.plant);
    return cmd;
}

int run_trace(const CLI::App& cmd, const TraceArgs& a) {
    std::vector<plant::TraceConfig> configs;
    if (const std::string problem =
            line_configs_from(a.plant, a.round, a.plants, a.data_id, configs);
        !problem.empty())
        return toolcli::usage_error(cmd, problem);
    for (auto& c : configs) c.rounds = a.rounds;
    const plant::TraceConfig& config = configs.front();
    const bool several = configs.size() > 1;

    std::ofstream truth;
    if (!a.truth.empty()) {
        truth.open(a.truth, std::ios::out | std::ios::trunc);
        if (!truth) {
            std::cerr << "pwrsim trace: --truth: cannot write '" << a.truth
                      << "': " << std::strerror(errno) << "\n";
            return 1;
        }
    }

    std::ostream& out = std::cout;
    char line[160];
    std::snprintf(line, sizeof line,
                  "# pwrsim trace: %d rounds every %g s, %d rectifiers, %d screen(s), seed %llu, "
                  "noise %g\n",
                  config.rounds, config.interval, config.shape.rectifiers, config.shape.screens,
                  static_cast<unsigned long long>(config.seed), config.noise);
    out << line;
    if (several) out << "# " << configs.size() << " plants at addresses 1.." << configs.size()
                     << ", interrogated in turn\n";

    // Each generator's responder holds its plant: they stay where made.
    std::vector<std::unique_ptr<plant::TraceGenerator>> gens;
    for (const auto& c : configs) gens.push_back(std::make_unique<plant::TraceGenerator>(c));
    for (int r = 1; r <= config.rounds && out; ++r) {
        double seconds = 0.0;
        for (auto& gen : gens) {
            const plant::TraceRound round = gen->next_round();
            plant::write_round(out, round, several);
            seconds += round.seconds;
            if (truth.is_open()) truth << plant::truth_line(round, several) << '\n';
        }
        const double rest = config.interval - seconds;
        if (r < config.rounds && rest > 0.0) {
            std::snprintf(line, sizeof line, "@+%.3f\n", rest);
            out << line;
        }
    }
    out.flush();
    if (!out) {
        std::cerr << "pwrsim trace: cannot write the scenario to standard output\n";
        return 1;
    }
    if (truth.is_open()) {
        truth.close();
        if (!truth) {
            std::cerr << "pwrsim trace: --truth: cannot write '" << a.truth << "'\n";
            return 1;
        }
    }
    return 0;
}

}  // namespace pwrsim
