// Rounds of another master interrogating the plant, as they appear on the
// line, with noise, and the record a correct capture publishes for each.
//
// A round is the eight command/response pairs
//   40/42 FF, 40/43 FF, 40/44 FF, 41/42, 41/43, 41/44, 42/42 FF, 42/44 FF
// (command information in hex), sometimes with a 40/47 FF or 42/47 FF pair
// inserted before the 42/44 command. The plant answers through the same
// Responder that serves a live line.
//
// Noise: each frame is spoiled with probability `noise` (one character
// replaced, the frame cut short, or the frame lost, equally likely) and,
// harmlessly, sent twice with probability noise / 4. A round is spoiled
// when any of its sixteen frames was corrupted, cut or lost: then no record
// may be published for it. Spoiling is decided from what was done to the
// frames, never by running a decoder.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "device/record.hpp"
#include "tools/plant/plant_model.hpp"
#include "tools/plant/responder.hpp"

namespace plant {

struct ScheduledEvent {
    EventKind kind = EventKind::mains_failure;
    int round = 1;    // first round it affects (1-based)
    int rounds = 1;   // how many rounds it lasts (invalid readings: one)
};

// Parses "KIND@ROUND[+ROUNDS]", KIND one of mains, rectifier, fuse,
// invalid. Returns false (and leaves `out` alone) on anything else.
bool parse_event(const std::string& text, ScheduledEvent& out);

struct TraceConfig {
    int rounds = 10;
    double interval = 5.0;     // s from one round's start to the next
    unsigned baud = 9600;      // line speed: 10 bits per character
    double noise = 0.0;        // share of frames spoiled, 0..1
    std::uint64_t seed = 1;
    unsigned data_id = 1;      // data id the truth records carry
    unsigned char address = 0x01;  // the plant's ADR on the line
    double event_rate = 1.0;   // multiplier of the plant's own event rates; 0 = none
    PlantShape shape;
    std::vector<ScheduledEvent> events;
};

enum class Fate { intact, corrupted, truncated, lost, duplicated };

struct WireFrame {
    std::string frame;   // the frame as encoded, "~...\r"
    std::string sent;    // what went on the line (spoiled, doubled, or empty when lost)
    bool command = false;
    bool core = false;   // one of the sixteen frames a round needs
    unsigned char cid1 = 0;
    unsigned char cid2 = 0;
    Fate fate = Fate::intact;
    double seconds = 0;  // line time of what was sent plus the pause after it
};

struct TraceRound {
    int number = 0;
    unsigned char address = 0x01;    // the plant's ADR
    std::vector<std::string> notes;  // plant events at the start of the round
    std::vector<WireFrame> frames;
    bool spoiled = false;
    pxr52_419_Data_t truth;          // record a correct capture publishes (time stamp zero)
    double seconds = 0;              // line time of the whole round
};

class TraceGenerator {
public:
    explicit TraceGenerator(const TraceConfig& config);

    // Steps the plant to the next round (the first round is the plant as
    // built), applies scheduled events, and plays the round.
    TraceRound next_round();

    Plant& plant() { return plant_; }
    const TraceConfig& config() const { return config_; }

private:
    void spoil(WireFrame& f);

    TraceConfig config_;
    Plant plant_;
    Responder responder_;
    Rng noise_;
    Rng master_;
    int round_ = 0;
};

// Line time of `chars` characters at `baud` (10 bits each), s.
double wire_seconds(std::size_t chars, unsigned baud);

// Scenario lines of one round: "# round N" (", plant at adr K" with
// `several` plants) and event comments, each frame as a "~..." line (line
// feed for end of frame), "@+S" after each frame.
void write_round(std::ostream& out, const TraceRound& round, bool several = false);
// {"round":N,"record":"HEX"} or {"round":N,"record":null}; with `several`
// plants {"round":N,"adr":K,"record":...}.
std::string truth_line(const TraceRound& round, bool several = false);

}  // namespace plant
