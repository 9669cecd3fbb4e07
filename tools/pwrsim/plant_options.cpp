// Options every pwrsim sub-command shares: the plant, the interrogation and
// the line.
#include <algorithm>

#include <CLI/CLI.hpp>

#include "tools/common/cli_options.hpp"
#include "tools/pwrsim/commands.hpp"

namespace pwrsim {

void add_plant_options(CLI::App& app, PlantArgs& a) {
    toolcli::add_whole(app, "--rectifiers", a.rectifiers, 0, 40,
                       "rectifier modules in the plant, 0..40 (default 6)", "R");
    toolcli::add_whole(app, "--screens", a.screens, 1, 2,
                       "DC distribution screens, 1 or 2 (default 1)", "N");
    toolcli::add_choice(app, "--shape", a.shape, {"typical", "varied"},
                        "typical: one AC input, 3 AC switches, 2 battery groups and 6 branches "
                        "per screen, 4 user values; varied: a seeded mix of counts, many beyond "
                        "what the data record keeps (3 battery groups, 22 branches, 45 fuse "
                        "bytes ...) (default typical)");
    toolcli::add_whole(app, "--seed", a.seed, std::uint64_t{0}, ~std::uint64_t{0},
                       "seed of the plant's values and events, and of the line noise of trace "
                       "and bus (default 1)",
                       "X");
    toolcli::add_decimal(app, "--event-rate", a.event_rate, 0.0, 1000.0, false,
                         "multiplier of the plant's own event rates: a mains failure, a "
                         "rectifier fault and a blown fuse every 15 to 20 minutes, an invalid "
                         "reading every minute; 0 turns them off (default 1)",
                         "X");
}

void add_round_options(CLI::App& app, RoundArgs& a) {
    toolcli::add_decimal(app, "--interval", a.interval, 0.1, 86400.0, false,
                         "seconds from the start of one round to the next, 0.1..86400 "
                         "(default 5)");
    toolcli::add_baud(app, "--baud", a.baud,
                      "line speed, 10 bits per character: " + serial::baud_list() +
                          " (default 9600)");
    CLI::Option* noise = app.add_option_function<std::string>(
        "--noise",
        [&a](const std::string& text) {
            // A share, "0.1", or a percentage, "10%".
            const bool percent = !text.empty() && text.back() == '%';
            const std::string number = percent ? text.substr(0, text.size() - 1) : text;
            double v = 0.0;
            const std::string why =
                toolcli::read_decimal(number, 0.0, percent ? 100.0 : 1.0, false, v);
            if (!why.empty())
                throw CLI::ValidationError(
                    "--noise", "'" + text + "' is not a share (0..1, or a percentage like 10%)");
            a.noise = percent ? v / 100.0 : v;
        },
        "share of frames spoiled on the line (a character replaced, the frame cut short, or "
        "lost; a quarter as many again sent twice), 0..1 or a percentage like 10% (default 0)");
    noise->type_name("P");
    app.add_option("--event", a.events,
                   "schedule an event from round ROUND for ROUNDS rounds (default 1): mains "
                   "(mains failure), rectifier (the first healthy module fails), fuse (a branch "
                   "fuse blows), invalid (one reading sent as the invalid marker); may be "
                   "repeated")
        ->type_name("KIND@ROUND[+ROUNDS]")
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->check([](const std::string& text) {
            plant::ScheduledEvent ev;
            return plant::parse_event(text, ev)
                       ? std::string()
                       : "'" + text +
                             "' is not KIND@ROUND[+ROUNDS] with KIND mains, rectifier, fuse or "
                             "invalid";
        });
}

void add_line_options(CLI::App& app, LineArgs& a, bool with_baud) {
    app.add_flag("--pty", a.pty,
                 "create a pseudo-terminal and use it; its path is printed first on standard "
                 "output");
    toolcli::add_text(app, "--serial", a.serial,
                      "use this serial device instead (raw), locked for exclusive use", "DEVICE");
    if (with_baud)
        toolcli::add_baud(app, "--baud", a.settings.baud,
                          "line speed of --serial: " + serial::baud_list() + " (default 9600)");
    toolcli::add_choice(app, "--parity", a.parity, {"none", "even", "odd"},
                        "parity bit of --serial (default none)");
    toolcli::add_whole(app, "--stop-bits", a.settings.stop_bits, 1, 2,
                       "stop bits of --serial, 1 or 2 (default 1)", "1|2");
}

std::string shape_from(const PlantArgs& a, plant::PlantShape& out) {
    out = a.shape == "varied" ? plant::PlantShape::varied(a.rectifiers, a.screens, a.seed)
                              : plant::PlantShape::typical(a.rectifiers, a.screens);
    return out.problem();
}

std::string trace_config_from(const PlantArgs& p, const RoundArgs& r, plant::TraceConfig& c) {
    c.seed = p.seed;
    c.event_rate = p.event_rate;
    c.interval = r.interval;
    c.baud = r.baud;
    c.noise = r.noise;
    c.events.clear();
    for (const auto& text : r.events) {
        plant::ScheduledEvent ev;
        plant::parse_event(text, ev);  // checked when the option was read
        c.events.push_back(ev);
    }
    return shape_from(p, c.shape);
}

void add_plants_option(CLI::App& app, int& plants) {
    toolcli::add_whole(app, "--plants", plants, 1, 32,
                       "plants on the line, 1..32, at addresses 1..N, interrogated in turn each "
                       "round: plant 1 as the options say, each further one with its own seed "
                       "(derived from --seed), 0 to 3 more rectifiers and data id --data-id + "
                       "ADR - 1 (default 1)");
}

std::string line_configs_from(const PlantArgs& p, const RoundArgs& r, int plants,
                              unsigned data_id, std::vector<plant::TraceConfig>& out) {
    out.clear();
    if (static_cast<unsigned long long>(data_id) + static_cast<unsigned long long>(plants) - 1 >
        0xFFFFFFFFULL)
        return "--data-id " + std::to_string(data_id) + " leaves no data id for plant " +
               std::to_string(plants) + " (at most 4294967295)";
    for (int adr = 1; adr <= plants; ++adr) {
        PlantArgs own = p;
        if (adr > 1) {
            plant::Rng derive(p.seed + 0x9E3779B97F4A7C15ULL * static_cast<std::uint64_t>(adr));
            own.seed = derive.next();
            own.rectifiers = std::min(40, p.rectifiers + (adr - 1) % 4);
        }
        plant::TraceConfig c;
        if (std::string problem = trace_config_from(own, r, c); !problem.empty()) return problem;
        c.address = static_cast<unsigned char>(adr);
        c.data_id = data_id + static_cast<unsigned>(adr - 1);
        out.push_back(c);
    }
    return std::string();
}

std::string finish_line_args(LineArgs& a) {
    if (a.pty == !a.serial.empty()) return "give exactly one of --pty and --serial DEVICE";
    serial::parity_from_text(a.parity, a.settings.parity);
    return std::string();
}

}  // namespace pwrsim
