#include "tools/plant/trace.hpp"

#include <cstdio>
#include <cstdlib>
#include <ostream>

#include "host/frame_codec.hpp"
#include "tools/plant/truth.hpp"

namespace plant {

namespace {

constexpr unsigned char kVer = 0x20;
constexpr unsigned char kAllGroups = 0xFF;
constexpr double kTurnaround = 0.020;  // s the plant takes to answer
constexpr double kMasterPause = 0.050; // s between a response and the next command
constexpr double kInsertedPairShare = 0.3;

struct MasterCommand {
    unsigned char cid1;
    unsigned char cid2;
    bool with_group;  // carries the command group byte 0xFF
};

const MasterCommand kRound[] = {
    {0x40, 0x42, true}, {0x40, 0x43, true}, {0x40, 0x44, true}, {0x41, 0x42, false},
    {0x41, 0x43, false}, {0x41, 0x44, false}, {0x42, 0x42, true}, {0x42, 0x44, true},
};
constexpr int kRoundPairs = sizeof kRound / sizeof kRound[0];

const MasterCommand kInserted[] = {{0x40, 0x47, true}, {0x42, 0x47, true}};

const char kHexDigits[] = "0123456789ABCDEF";
const char kNonHex[] = "GXZ?*!";

}  // namespace

bool parse_event(const std::string& text, ScheduledEvent& out) {
    const auto at = text.find('@');
    if (at == std::string::npos) return false;
    const std::string kind = text.substr(0, at);
    ScheduledEvent ev;
    if (kind == "mains") ev.kind = EventKind::mains_failure;
    else if (kind == "rectifier") ev.kind = EventKind::rectifier_fault;
    else if (kind == "fuse") ev.kind = EventKind::blown_fuse;
    else if (kind == "invalid") ev.kind = EventKind::invalid_reading;
    else return false;
    const char* p = text.c_str() + at + 1;
    char* end = nullptr;
    const long round = std::strtol(p, &end, 10);
    if (end == p || round < 1 || round > 1000000) return false;
    long rounds = 1;
    if (*end == '+') {
        p = end + 1;
        rounds = std::strtol(p, &end, 10);
        if (end == p || rounds < 1 || rounds > 1000000) return false;
    }
    if (*end != '\0') return false;
    ev.round = static_cast<int>(round);
    ev.rounds = static_cast<int>(rounds);
    out = ev;
    return true;
}

double wire_seconds(std::size_t chars, unsigned baud) {
    return baud == 0 ? 0.0 : static_cast<double>(chars) * 10.0 / baud;
}

TraceGenerator::TraceGenerator(const TraceConfig& config)
    : config_(config),
      plant_(config.shape, config.seed),
      responder_(plant_, ResponderConfig{config.address, kAllGroups, 2}),
      noise_(config.seed ^ 0x6E6F697365ULL),
      master_(config.seed ^ 0x6D6173746572ULL) {
    plant_.event_rate = config.event_rate;
}

void TraceGenerator::spoil(WireFrame& f) {
    const std::string& s = f.frame;  // "~...\r": at least SOI, 16 characters, CR
    const double r = noise_.uniform();
    const double p = config_.noise;
    if (r < p) {
        switch (noise_.below(3)) {
        case 0: {
            // One character after SOI replaced: the checksum, a length field
            // or a hex digit is wrong, so the frame is bad.
            f.fate = Fate::corrupted;
            f.sent = s;
            const std::size_t pos = 1 + static_cast<std::size_t>(noise_.below(static_cast<int>(s.size()) - 2));
            char c = s[pos];
            while (c == s[pos])
                c = noise_.chance(0.25) ? kNonHex[noise_.below(sizeof kNonHex - 1)] : kHexDigits[noise_.below(16)];
            f.sent[pos] = c;
            break;
        }
        case 1:
            // Cut short: SOI and a few characters, no end of frame.
            f.fate = Fate::truncated;
            f.sent = s.substr(0, 1 + static_cast<std::size_t>(noise_.below(static_cast<int>(s.size()) - 2)));
            break;
        default:
            f.fate = Fate::lost;
            f.sent.clear();
            break;
        }
    } else if (p > 0.0 && r < p * 1.25) {
        f.fate = Fate::duplicated;
        f.sent = s + s;
    } else {
        f.fate = Fate::intact;
        f.sent = s;
    }
}

TraceRound TraceGenerator::next_round() {
    TraceRound out;
    out.number = ++round_;
    out.address = config_.address;
    const unsigned char adr = config_.address;

    // Scheduled events that start or end with this round.
    plant_.clear_events();
    for (const auto& ev : config_.events) {
        const bool starts = ev.round == out.number;
        const bool ends = ev.round + ev.rounds == out.number;
        switch (ev.kind) {
        case EventKind::mains_failure:
            if (starts) plant_.start_mains_failure();
            if (ends) plant_.end_mains_failure();
            break;
        case EventKind::rectifier_fault:
            // The lowest-numbered healthy module fails.
            if (starts) {
                for (std::size_t k = 0; k < plant_.state().rect.size(); ++k)
                    if (!plant_.state().rect[k].failed) {
                        plant_.fail_rectifier(static_cast<int>(k));
                        break;
                    }
            }
            if (ends)
                for (std::size_t k = 0; k < plant_.state().rect.size(); ++k)
                    plant_.repair_rectifier(static_cast<int>(k));
            break;
        case EventKind::blown_fuse:
            if (starts) plant_.blow_fuse();
            if (ends) plant_.replace_fuses();
            break;
        case EventKind::invalid_reading:
            break;
        }
    }
    // Event notes made before the step would be lost by it; keep them.
    std::vector<std::string> scheduled_notes = plant_.last_events();
    plant_.step(out.number == 1 ? 0.0 : config_.interval);
    out.notes = scheduled_notes;
    out.notes.insert(out.notes.end(), plant_.last_events().begin(), plant_.last_events().end());
    for (const auto& ev : config_.events)
        if (ev.kind == EventKind::invalid_reading && ev.round == out.number) {
            plant_.invalidate_reading();
            out.notes.push_back(plant_.last_events().back());
        }
    out.truth = truth_record(plant_.state(), config_.data_id);

    // The master's commands, maybe with one parameter pair inserted.
    std::vector<std::pair<MasterCommand, bool>> commands;  // command, core
    for (const auto& c : kRound) commands.emplace_back(c, true);
    if (master_.chance(kInsertedPairShare)) {
        const auto& extra = kInserted[master_.below(2)];
        const int at = 1 + master_.below(kRoundPairs - 1);  // before pairs 1..7
        commands.insert(commands.begin() + at, {extra, false});
    }

    for (const auto& [cmd, core] : commands) {
        const unsigned char group = kAllGroups;
        WireFrame c;
        c.frame = smdhost::encode_frame(kVer, adr, cmd.cid1, cmd.cid2, &group, cmd.with_group ? 1 : 0);
        c.command = true;
        c.core = core;
        c.cid1 = cmd.cid1;
        c.cid2 = cmd.cid2;

        // The plant answers the command as sent by the master, noise or not
        // (the noise is between the line and the listener).
        unsigned char decoded[smdhost::kDecodedHeader + 1] = {kVer, adr, cmd.cid1, cmd.cid2,
                                                              static_cast<unsigned char>(cmd.with_group ? 2 : 0), 0,
                                                              group};
        WireFrame r;
        r.frame = responder_.answer(decoded, smdhost::kDecodedHeader + (cmd.with_group ? 1 : 0));
        r.cid1 = cmd.cid1;
        r.cid2 = 0x00;
        r.core = core;

        for (WireFrame* f : {&c, &r}) {
            spoil(*f);
            f->seconds = wire_seconds(f->sent.size(), config_.baud) + (f->command ? kTurnaround : kMasterPause);
            if (f->fate != Fate::intact && f->fate != Fate::duplicated && f->core) out.spoiled = true;
            out.seconds += f->seconds;
            out.frames.push_back(*f);
        }
    }
    return out;
}

void write_round(std::ostream& out, const TraceRound& round, bool several) {
    out << "# round " << round.number;
    if (several) out << ", plant at adr " << static_cast<unsigned>(round.address);
    out << '\n';
    for (const auto& note : round.notes) out << "# " << note << '\n';
    char line[32];
    for (const auto& f : round.frames) {
        // Each frame on a line of its own; the line feed ends it on replay.
        std::size_t from = 0;
        while (from < f.sent.size()) {
            std::size_t to = f.sent.find('\r', from);
            if (to == std::string::npos) to = f.sent.size();
            out << f.sent.substr(from, to - from) << '\n';
            from = to + 1;
        }
        std::snprintf(line, sizeof line, "@+%.3f\n", f.seconds);
        out << line;
    }
}

std::string truth_line(const TraceRound& round, bool several) {
    std::string s = "{\"round\":" + std::to_string(round.number);
    if (several) s += ",\"adr\":" + std::to_string(static_cast<unsigned>(round.address));
    s += ",\"record\":";
    s += round.spoiled ? std::string("null") : "\"" + record_hex(round.truth) + "\"";
    s += "}";
    return s;
}

}  // namespace plant
