// pwrsim bus: another master interrogating the plant, live at line speed,
// for a listener on the other side of the line.
#include <cstdio>
#include <iostream>

#include "tools/plant/trace.hpp"
#include "tools/pwrsim/commands.hpp"
#include "tools/pwrsim/line.hpp"

namespace pwrsim {

namespace {

constexpr double kReopenGrace = 2.0;  // s the listener may take to reopen its port

std::vector<OptionSpec> bus_options() {
    std::vector<OptionSpec> specs = {
        {"pty", nullptr, "create a pseudo-terminal and play on it; its path is printed first on standard output"},
        {"serial", "DEVICE", "play on this serial device instead (raw, 8N1 at --baud)"},
        {"rounds", "N", "rounds to play, then stop; 0 = until stopped (default 0)"},
    };
    for (auto& s : round_options()) specs.push_back(s);
    for (auto& s : plant_options()) specs.push_back(s);
    specs.push_back({"verbose", nullptr, "log each round and each spoiled frame on standard error"});
    specs.push_back({"help", nullptr, "show this help"});
    return specs;
}

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

int run_bus(int argc, char** argv, int first) {
    const auto specs = bus_options();
    if (wants_help(argc, argv, first)) {
        std::cout << "Usage: pwrsim bus (--pty | --serial DEVICE) [OPTIONS]\n"
                     "Plays another master and the simulated plant together on a line, at line speed\n"
                     "(10 bits per character at --baud): every --interval seconds the eight commands\n"
                     "of a round and the plant's responses, as 'pwrsim trace' writes them, for a\n"
                     "listener such as 'smdhost listen --serial PATH'. On a pseudo-terminal it starts\n"
                     "when the listener opens the line and ends when it closes it; it always ends on\n"
                     "SIGINT or SIGTERM, or after --rounds rounds.\n\nOptions:\n"
                  << describe(specs);
        return 0;
    }
    plant::TraceConfig config;
    std::string serial;
    bool verbose = false;
    long long rounds = 0;
    try {
        const Options o(specs, argc, argv, first);
        if (o.has("pty") == o.has("serial")) throw UsageError("give exactly one of --pty and --serial DEVICE");
        serial = o.text("serial");
        if (o.has("serial") && serial.empty()) throw UsageError("--serial: '' is not a device");
        config = trace_config_from(o);
        rounds = o.integer("rounds", 0, 0, 1000000000);
        verbose = o.has("verbose");
        if (const std::string problem = config.shape.problem(); !problem.empty()) throw UsageError(problem);
    } catch (const UsageError& e) {
        return usage_error("bus", e.what());
    }

    install_stop_handlers();
    std::string error;
    Line line = serial.empty() ? Line::open_pty(error) : Line::open_serial(serial, config.baud, error);
    if (!line.valid()) {
        std::cerr << "pwrsim bus: " << (serial.empty() ? "--pty: " : "--serial: ") << error << "\n";
        return 1;
    }
    if (line.is_pty()) std::cout << line.path() << std::endl;
    if (!line.wait_for_peer()) return 0;

    plant::TraceGenerator gen(config);
    double next_round = monotonic_now();
    for (long long r = 1; !g_stop && (rounds == 0 || r <= rounds); ++r) {
        if (!sleep_until(next_round)) break;
        next_round += config.interval;
        const plant::TraceRound round = gen.next_round();
        for (const auto& note : round.notes) std::cerr << "pwrsim: round " << round.number << ": " << note << "\n";
        if (verbose) std::cerr << "pwrsim: round " << round.number << (round.spoiled ? " (spoiled)" : "") << "\n";
        for (const auto& f : round.frames) {
            if (line.is_pty() && !line.peer_open() && !line.peer_back_within(kReopenGrace)) return 0;
            if (verbose && f.fate != plant::Fate::intact) {
                char text[96];
                std::snprintf(text, sizeof text, "pwrsim:   %s %02X/%02X %s\n", f.command ? "command" : "response",
                              f.cid1, f.cid2, fate_name(f.fate));
                std::cerr << text;
            }
            const double start = monotonic_now();
            if (!line.write_paced(f.sent, config.baud)) {
                if (g_stop) return 0;
                if (line.is_pty() && !line.peer_back_within(kReopenGrace)) return 0;
                if (!line.is_pty()) {
                    std::cerr << "pwrsim bus: " << line.path() << ": cannot write\n";
                    return 1;
                }
            }
            // The pause after the frame (the plant's turnaround or the master's gap).
            const double pause = f.seconds - plant::wire_seconds(f.sent.size(), config.baud);
            if (!sleep_until(std::max(monotonic_now(), start + plant::wire_seconds(f.sent.size(), config.baud)) + pause))
                return 0;
        }
    }
    return 0;
}

}  // namespace pwrsim
