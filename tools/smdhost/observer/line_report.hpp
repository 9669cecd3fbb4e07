// What the line observer reports: plain data, rendered by report_json.hpp
// (the "cycle" and "line" events), report_text.hpp (the text view) and
// used as they are by `smdhost stats`.
//
// Times are seconds since the epoch (the host clock: simulated in replay,
// wall clock in listen); durations are seconds.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>

#include "host/frame_codec.hpp"
#include "tools/smdhost/observer/cycle_pairs.hpp"

namespace smdobserver {

// Outcome of one of the eight pairs in a cycle. A pair asked more than once
// counts by its best outcome, in this order.
enum class PairStatus : std::uint8_t {
    ok,           // its command was heard and answered with return code 0
    bad_frame,    // its response (or its command) was lost to a framing fault
    no_response,  // asked, but no usable response: none, or a non-zero return code
    not_asked,    // its command was not heard
};
const char* pair_status_name(PairStatus status);  // "ok", "bad_frame", ...

// Bad frames by framing fault, indexed by smdhost::FrameFault.
constexpr int kFaultKinds = 6;
struct FaultCounts {
    std::array<unsigned long long, kFaultKinds> n{};

    void add(smdhost::FrameFault fault) { ++n[static_cast<std::size_t>(fault)]; }
    unsigned long long total() const;
    bool any() const { return total() != 0; }
    FaultCounts& operator+=(const FaultCounts& other);
};

// Where a frame was on the input: a scenario file and line, or a byte
// offset in a raw stream (the frame's SOI).
struct LinePosition {
    std::string file;               // empty: a raw stream
    int line = 0;                   // scenario line, from 1
    unsigned long long offset = 0;  // raw stream: offset of the frame's SOI
    // "demo.scn:12", or "byte 4711".
    std::string text() const;
};

// What ended a cycle.
enum class CycleEnd : std::uint8_t {
    dc_alarm_response,  // the 42/44 response
    restart,            // a new 40/42 command (or a damaged one)
    next_cycle,         // the next interrogation began without its 40/42 command heard
    end_of_input,
};
const char* cycle_end_name(CycleEnd end);  // "42/44 response", "40/42 command", ...

struct CycleReport {
    unsigned long long n = 0;  // as it happened on the line, from 1
    bool published = false;    // the plug-in published within the cycle
    // The capture round, as followed from the line, completed within the
    // cycle: what `published` should be (a check of the plug-in, and the
    // only answer where no plug-in runs, as in `smdhost stats`).
    bool complete = false;
    std::array<PairStatus, kPairCount> pairs{};
    // Not published: why, in words. Empty when published.
    std::string reason;
    // Published, but with something a person should know (the record holds
    // a reply of an earlier cycle). Usually empty.
    std::string note;
    double start = 0;     // the 40/42 command, or the first sign of a missed one
    double duration = 0;  // from start to the cycle's last frame
    LinePosition start_at;
    CycleEnd ended = CycleEnd::dc_alarm_response;
    bool start_heard = true;  // false: the cycle's 40/42 command was not heard
    // Bad frames since the previous cycle report (the line-health line).
    FaultCounts bad_frames;
};

// A change of the line's health between cycles.
struct LineNote {
    enum class Kind : std::uint8_t {
        silent,  // no byte for longer than `seconds` (three cycles, or the floor)
        back,    // bytes again after `seconds` of silence
    };
    Kind kind = Kind::silent;
    double t = 0;        // when it was noticed
    double since = 0;    // the last byte before the silence
    double seconds = 0;  // silent: the threshold passed; back: the silence's length
};

// Totals for the summary ("line" event, the text view's last block).
struct LineTotals {
    unsigned long long bytes = 0;
    unsigned long long frames = 0;          // every frame completed, good or bad
    unsigned long long other_address = 0;   // good frames of another address (not observed)
    unsigned long long duplicates = 0;      // frames repeated back to back (ignored)
    unsigned long long outside_cycles = 0;  // good frames heard outside any cycle
    FaultCounts bad_frames;
    unsigned long long cycles = 0;
    unsigned long long published = 0;
    unsigned long long dropped = 0;
    unsigned long long complete = 0;  // cycles whose capture round completed
    unsigned long long publishes_outside = 0;  // publishes while no cycle was open
    double longest_silence = 0;               // longest time without a byte, s
    int alarms_active = -1;                   // filled by the caller; -1: not known
    // Several devices: good frames of addresses that have no device, by
    // address (filled by the caller; empty with one device).
    std::map<int, unsigned long long> no_device;
};

// A capture's health for `smdhost stats`.
struct LineStats {
    LineTotals totals;
    double first = 0;  // first byte (or frame)
    double last = 0;   // last byte, or the end of input
    // Good frames by kind: (CID1 << 8 | CID2) of commands, (CID1 << 8 | RTN)
    // of responses.
    std::map<std::uint16_t, unsigned long long> commands;
    std::map<std::uint16_t, unsigned long long> responses;
    // Start-to-start time of consecutive cycles.
    unsigned long long periods = 0;
    double period_sum = 0;
    double period_min = 0;
    double period_max = 0;
    // Cycles in which each pair was "ok".
    std::array<unsigned long long, kPairCount> pair_ok{};
};

}  // namespace smdobserver
