// LineObserver: follows the other master's interrogation cycle from the
// frames heard on the line, beside the plug-in and without asking it, so a
// person can be told why a round was not published.
//
// A cycle runs from a 40/42 command to the 42/44 response, or to the next
// 40/42 command, or to the end of input. Per cycle the observer reports the
// outcome of each of the eight pairs, whether the plug-in published within
// it, and, when it did not, the reason in words. Between cycles it watches
// the line's health: bad frames by kind, a silence longer than three cycles
// (reported once) and the line's return (once).
//
// Reading the line:
//   - a frame whose fourth byte is 0 is a response, one below 0x40 a
//     response with a non-zero return code, anything else a command;
//   - a response answers the command heard last when it carries that
//     command's group; a bad frame in its place lost it;
//   - a bad frame whose header (VER ADR CID1 CID2, outside the checksum)
//     names a command was most likely that command. A spoiled 40/42
//     command begins a new cycle whose start was not heard, unless it
//     comes within a cycle with no pause before it (then a CID1 digit of
//     another command was more likely hit); sent again at once, the new
//     40/42 command belongs to that same cycle;
//   - the next interrogation can also show itself without its 40/42 command:
//     after the cycle closed, a core command or a 40/42-layout reply (after
//     a bad frame, or once a cycle has been seen); within a cycle, a pair
//     asked again once the 42/44 command was asked, or after a pause of
//     half a cycle period (masters pause between interrogations, not within
//     one), or a second 40/42-layout reply. A new cycle then begins whose
//     start was not heard; a bad frame just before it is taken for its
//     40/42 command;
//   - a response that answers no heard command is matched by its layout to
//     the pair it belongs to: the one unanswered pair of its group whose
//     command was heard spoiled, else the one unanswered pair that fits;
//   - a frame repeated back to back is a duplicate and changes nothing.
//
// Return codes: a pair whose only responses carried a non-zero return code
// is "no_response" (it gave nothing the plug-in can use); the reason names
// the code.
#pragma once

#include <array>
#include <cstddef>
#include <vector>

#include "host/frame_codec.hpp"
#include "tools/smdhost/observer/capture_mirror.hpp"
#include "tools/smdhost/observer/line_report.hpp"

namespace smdobserver {

// Receives the observer's reports as they happen.
class ObserverSink {
public:
    virtual ~ObserverSink();
    // A cycle ended: called while the frame that ended it is being fed (or
    // from finish()).
    virtual void cycle(const CycleReport& report) = 0;
    virtual void line_note(const LineNote& note) = 0;
};

class LineObserver {
public:
    // Silence threshold before a cycle period is known, and its floor, s.
    static constexpr double kFirstSilence = 15.0;
    static constexpr double kSilenceFloor = 2.0;

    // `start`: when listening began (a silence counts from there).
    explicit LineObserver(double start, ObserverSink* sink = nullptr);

    void set_sink(ObserverSink* sink) { sink_ = sink; }

    // ---- feeds; `t` is the host clock, s since the epoch, never going back
    // `n` bytes came off the line (any bytes: a silence is no byte at all).
    void bytes(double t, std::size_t n);
    // A good frame handed to the device: the decoded frame (VER ADR CID1
    // CID2/RTN LENID(LE) INFO...) of `size` bytes.
    void frame(double t, const LinePosition& at, const unsigned char* decoded, std::size_t size);
    // A bad frame, with the decoder's detail of what was wrong.
    void bad_frame(double t, const LinePosition& at, const smdhost::FrameFaultDetail& fault);
    // A good frame of another address (not handed to the device).
    void other_address();
    // process_error() called for something that was not a line frame
    // (a scenario's !error): the device forgot the awaited command.
    void device_error() { mirror_.error(); }
    // The plug-in published a record (SendSP) at `t`.
    void publish(double t);
    // The clock moved (listen: at least once a second; replay: after each
    // clock directive): reports a silence once it is long enough.
    void tick(double t);
    // End of input (or listen stopped): closes the cycle in progress.
    void finish(double t);

    // ---- reading
    const LineTotals& totals() const { return totals_; }
    LineStats stats() const;
    bool in_cycle() const { return open_; }
    // Number of the cycle in progress, else of the last one (0 before any):
    // what the text view calls the round it shows.
    unsigned long long cycle_number() const { return cycle_.n; }
    bool silent() const { return silent_; }
    // No byte for longer than this is a silence: three observed cycle
    // periods (the median of the last few), at least kSilenceFloor;
    // kFirstSilence until two cycles were seen.
    double silence_threshold() const;

private:
    struct PairTrack {
        unsigned asked = 0;
        bool answered = false;               // command heard, response with RTN 0
        bool accepted = false;               // the capture round took a reply for it
        bool refused = false;                // ... or refused one
        std::string refusal;
        bool response_lost = false;          // a bad frame where its response was due
        smdhost::FrameFault response_fault = smdhost::FrameFault::checksum;
        bool command_lost = false;           // its command was (likely) a bad frame
        smdhost::FrameFault command_fault = smdhost::FrameFault::checksum;
        bool heard_without_command = false;  // its response came, its command did not
        unsigned char rtn = 0;               // last non-zero return code
        unsigned char wrong_group = 0;       // CID1 of a response that came instead
    };
    struct Cycle {
        unsigned long long n = 0;
        double start = 0;
        double last = 0;       // its last frame
        double last_good = 0;  // its last good frame, or its start
        LinePosition start_at;
        bool start_heard = true;
        bool published = false;
        bool complete = false;  // the mirrored capture round completed in it
        std::array<PairTrack, kPairCount> pairs{};
        unsigned rectifiers = 0;  // R of a fitting 41/42 reply in this cycle
        bool have_rectifiers = false;
    };
    struct Awaiting {
        bool on = false;
        unsigned char group = 0;
        int pair = -1;
    };
    struct LastBad {
        bool on = false;         // the last thing heard was a bad frame
        bool by_header = false;  // its header said what it was
        smdhost::FrameFault fault = smdhost::FrameFault::checksum;
        double t = 0;
        LinePosition at;
    };

    void activity(double t);
    void note(LineNote::Kind kind, double t, double since, double seconds);
    void command(double t, const LinePosition& at, unsigned char cid1, unsigned char cid2);
    void response(double t, const LinePosition& at, unsigned char cid1, const unsigned char* info,
                  std::size_t len, const CaptureMirror::Take& take);
    void error_response(unsigned char cid1, unsigned char rtn);
    void damaged_command(double t, const LinePosition& at, int pair, smdhost::FrameFault fault);
    void open_cycle(double t, const LinePosition& at);
    // A cycle whose 40/42 command was not heard, begun by what is heard at
    // `t`, or by the bad frame just before it.
    void open_unheard(double t, const LinePosition& at);
    // The pair asked again shows that the next interrogation has begun
    // (its 40/42 command missed): after the 42/44 command was asked, or
    // after a pause between interrogations.
    bool runs_on(int pair) const;
    // The open cycle holds nothing but a spoiled 40/42 command.
    bool only_lost_start() const;
    void close(CycleEnd end);
    void apply(const CaptureMirror::Take& take);
    // The one unanswered pair of group `cid1` whose layout the reply fits.
    int identify(unsigned char cid1, const unsigned char* info, std::size_t len) const;
    PairStatus status(const PairTrack& p) const;
    std::string reason(const Cycle& c, CycleEnd end) const;
    std::string note_for(const Cycle& c, const CycleReport& r) const;
    double median_period() const;

    ObserverSink* sink_;
    CaptureMirror mirror_;
    LineTotals totals_;
    FaultCounts bad_since_;  // since the last cycle report

    bool open_ = false;
    bool seen_cycle_ = false;
    Cycle cycle_;
    Awaiting awaiting_;
    LastBad last_bad_;
    // From the cycle's last good frame (or its start) to the frame being
    // fed: bad frames in between may be the missed start of the next
    // interrogation, so they do not shorten a pause.
    double pause_ = 0;
    std::vector<unsigned char> last_good_;  // for duplicates

    // Health.
    double first_ = 0;
    double last_activity_ = 0;
    bool any_activity_ = false;
    bool silent_ = false;
    static constexpr std::size_t kPeriodWindow = 8;
    std::array<double, kPeriodWindow> recent_periods_{};
    std::size_t recent_count_ = 0;
    bool have_start_ = false;
    double last_start_ = 0;
    double end_ = 0;

    // Stats.
    std::map<std::uint16_t, unsigned long long> commands_;
    std::map<std::uint16_t, unsigned long long> responses_;
    unsigned long long periods_ = 0;
    double period_sum_ = 0;
    double period_min_ = 0;
    double period_max_ = 0;
    std::array<unsigned long long, kPairCount> pair_ok_{};
};

}  // namespace smdobserver
