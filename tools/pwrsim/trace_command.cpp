// pwrsim trace, and the option handling the sub-commands share.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>

#include "tools/plant/trace.hpp"
#include "tools/pwrsim/commands.hpp"

namespace pwrsim {

std::vector<OptionSpec> plant_options() {
    return {
        {"rectifiers", "R", "rectifier modules in the plant, 0..40 (default 6)"},
        {"screens", "N", "DC distribution screens, 1 or 2 (default 1)"},
        {"shape", "typical|varied",
         "typical: one AC input, 3 AC switches, 2 battery groups and 6 branches per screen, "
         "4 user values; varied: a seeded mix of counts, many beyond what the data record keeps "
         "(3 battery groups, 22 branches, 45 fuse bytes ...) (default typical)"},
        {"seed", "X", "seed of the plant's values and events, and of the line noise of trace and bus (default 1)"},
        {"event-rate", "X",
         "multiplier of the plant's own event rates: a mains failure, a rectifier fault and a blown "
         "fuse every 15 to 20 minutes, an invalid reading every minute; 0 turns them off (default 1)"},
    };
}

std::vector<OptionSpec> round_options() {
    return {
        {"interval", "S", "seconds from the start of one round to the next, 0.1..86400 (default 5)"},
        {"baud", "B", "line speed, 10 bits per character: 1200 .. 115200 (default 9600)"},
        {"noise", "P",
         "share of frames spoiled on the line (a character replaced, the frame cut short, or lost; "
         "a quarter as many again sent twice), 0..1 or a percentage like 10% (default 0)"},
        {"event", "KIND@ROUND[+ROUNDS]",
         "schedule an event from round ROUND for ROUNDS rounds (default 1): mains (mains failure), "
         "rectifier (the first healthy module fails), fuse (a branch fuse blows), invalid (one "
         "reading sent as the invalid marker); may be repeated",
         true},
    };
}

plant::PlantShape shape_from(const Options& o) {
    const int rectifiers = static_cast<int>(o.integer("rectifiers", 6, 0, 40));
    const int screens = static_cast<int>(o.integer("screens", 1, 1, 2));
    const std::string shape = o.text("shape", "typical");
    if (shape == "typical") return plant::PlantShape::typical(rectifiers, screens);
    if (shape == "varied") return plant::PlantShape::varied(rectifiers, screens, o.seed("seed", 1));
    throw UsageError("--shape: '" + shape + "' is not one of typical, varied");
}

plant::TraceConfig trace_config_from(const Options& o) {
    plant::TraceConfig c;
    c.shape = shape_from(o);
    c.seed = o.seed("seed", 1);
    c.event_rate = o.number("event-rate", 1.0, 0.0, 1000.0);
    c.interval = o.number("interval", 5.0, 0.1, 86400.0);
    const long long baud = o.integer("baud", 9600, 1200, 115200);
    if (!supported_baud(baud))
        throw UsageError("--baud: '" + o.text("baud") +
                         "' is not one of 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200");
    c.baud = static_cast<unsigned>(baud);
    c.noise = o.share("noise", 0.0);
    for (const auto& text : o.all("event")) {
        plant::ScheduledEvent ev;
        if (!plant::parse_event(text, ev))
            throw UsageError("--event: '" + text +
                             "' is not KIND@ROUND[+ROUNDS] with KIND mains, rectifier, fuse or invalid");
        c.events.push_back(ev);
    }
    return c;
}

int usage_error(const char* sub, const std::string& message) {
    std::cerr << "pwrsim " << sub << ": " << message << "\nTry 'pwrsim " << sub << " --help'.\n";
    return 2;
}

bool wants_help(int argc, char** argv, int first) {
    for (int k = first; k < argc; ++k)
        if (std::strcmp(argv[k], "--help") == 0 || std::strcmp(argv[k], "-h") == 0) return true;
    return false;
}

namespace {

std::vector<OptionSpec> trace_options() {
    std::vector<OptionSpec> specs = {
        {"rounds", "N", "rounds of interrogation, 1..1000000 (default 10)"},
        {"truth", "FILE",
         "also write, one JSON line per round, the record a correct capture publishes for it: "
         "{\"round\":N,\"record\":\"HEX\"} (2514 hex digits, time stamp as zeros) or "
         "{\"round\":N,\"record\":null} when noise spoiled the round"},
        {"data-id", "N", "data id the truth records carry at offset 0 (default 1, the bench host's default)"},
    };
    for (auto& s : round_options()) specs.push_back(s);
    for (auto& s : plant_options()) specs.push_back(s);
    specs.push_back({"help", nullptr, "show this help"});
    return specs;
}

}  // namespace

int run_trace(int argc, char** argv, int first) {
    const auto specs = trace_options();
    if (wants_help(argc, argv, first)) {
        std::cout << "Usage: pwrsim trace [OPTIONS] > scenario.scn\n"
                     "Writes a scenario (smdhost replay) in which another master interrogates the\n"
                     "simulated plant: per round the eight commands 40/42, 40/43, 40/44, 41/42, 41/43,\n"
                     "41/44, 42/42, 42/44 and the plant's responses as raw frame lines, sometimes with a\n"
                     "40/47 or 42/47 pair inserted, '@+S' lines for the time on the line between frames\n"
                     "and for the pause between rounds, '#' comments naming rounds and plant events.\n"
                     "Values drift; mains failures, rectifier faults, blown fuses and invalid readings\n"
                     "happen as seeded (or as scheduled with --event).\n\nOptions:\n"
                  << describe(specs);
        return 0;
    }
    plant::TraceConfig config;
    std::string truth_path;
    try {
        const Options o(specs, argc, argv, first);
        config = trace_config_from(o);
        config.rounds = static_cast<int>(o.integer("rounds", 10, 1, 1000000));
        config.data_id = static_cast<unsigned>(o.integer("data-id", 1, 0, 4294967295LL));
        truth_path = o.text("truth");
        if (o.has("truth") && truth_path.empty()) throw UsageError("--truth: '' is not a file name");
        if (const std::string problem = config.shape.problem(); !problem.empty()) throw UsageError(problem);
    } catch (const UsageError& e) {
        return usage_error("trace", e.what());
    }

    std::ofstream truth;
    if (!truth_path.empty()) {
        truth.open(truth_path, std::ios::out | std::ios::trunc);
        if (!truth) {
            std::cerr << "pwrsim trace: --truth: cannot write '" << truth_path << "': " << std::strerror(errno)
                      << "\n";
            return 1;
        }
    }

    std::ostream& out = std::cout;
    char line[160];
    std::snprintf(line, sizeof line,
                  "# pwrsim trace: %d rounds every %g s, %d rectifiers, %d screen(s), seed %llu, noise %g\n",
                  config.rounds, config.interval, config.shape.rectifiers, config.shape.screens,
                  static_cast<unsigned long long>(config.seed), config.noise);
    out << line;

    plant::TraceGenerator gen(config);
    for (int r = 1; r <= config.rounds; ++r) {
        const plant::TraceRound round = gen.next_round();
        plant::write_round(out, round);
        const double rest = config.interval - round.seconds;
        if (r < config.rounds && rest > 0.0) {
            std::snprintf(line, sizeof line, "@+%.3f\n", rest);
            out << line;
        }
        if (truth.is_open()) truth << plant::truth_line(round) << '\n';
    }
    out.flush();
    if (!out) {
        std::cerr << "pwrsim trace: cannot write the scenario to standard output\n";
        return 1;
    }
    if (truth.is_open()) {
        truth.close();
        if (!truth) {
            std::cerr << "pwrsim trace: --truth: cannot write '" << truth_path << "'\n";
            return 1;
        }
    }
    return 0;
}

}  // namespace pwrsim
