#include "tools/smdhost/observer/line_observer.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "tools/smdhost/observer/fault_words.hpp"
#include "tools/smdhost/observer/reply_layout.hpp"

namespace smdobserver {

namespace {

constexpr unsigned char kAcGroup = 0x40;
constexpr unsigned kMaxRectifiers = 40;

std::string hex2(unsigned v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02X", v & 0xFF);
    return buf;
}

// "a, b and c"
std::string join_names(const std::vector<int>& pairs) {
    std::string s;
    for (std::size_t k = 0; k < pairs.size(); ++k) {
        if (k != 0) s += k + 1 == pairs.size() ? " and " : ", ";
        s += pair_name(pairs[k]);
    }
    return s;
}

std::string join(const std::vector<std::string>& parts, const char* sep) {
    std::string s;
    for (const auto& p : parts) {
        if (!s.empty()) s += sep;
        s += p;
    }
    return s;
}

}  // namespace

ObserverSink::~ObserverSink() = default;

LineObserver::LineObserver(double start, ObserverSink* sink)
    : sink_(sink), first_(start), last_activity_(start), end_(start) {}

// ---------------------------------------------------------------- health

double LineObserver::median_period() const {
    if (recent_count_ == 0) return 0;
    const std::size_t n = std::min(recent_count_, kPeriodWindow);
    std::array<double, kPeriodWindow> p = recent_periods_;
    std::sort(p.begin(), p.begin() + static_cast<std::ptrdiff_t>(n));
    return n % 2 == 1 ? p[n / 2] : (p[n / 2 - 1] + p[n / 2]) / 2;
}

double LineObserver::silence_threshold() const {
    const double period = median_period();
    if (period <= 0) return kFirstSilence;
    return std::max(3 * period, kSilenceFloor);
}

void LineObserver::note(LineNote::Kind kind, double t, double since, double seconds) {
    if (sink_ == nullptr) return;
    LineNote n;
    n.kind = kind;
    n.t = t;
    n.since = since;
    n.seconds = seconds;
    sink_->line_note(n);
}

void LineObserver::activity(double t) {
    if (!any_activity_) {
        any_activity_ = true;
        first_ = t;
    }
    const double gap = t - last_activity_;
    // The threshold is never below the floor: most bytes need no median.
    if (!silent_ && gap > kSilenceFloor && gap > silence_threshold()) {
        // No tick saw it (replay between two frames): silent and back at once.
        silent_ = true;
        note(LineNote::Kind::silent, t, last_activity_, silence_threshold());
    }
    if (silent_) {
        silent_ = false;
        note(LineNote::Kind::back, t, last_activity_, gap);
    }
    totals_.longest_silence = std::max(totals_.longest_silence, gap);
    last_activity_ = std::max(last_activity_, t);
    end_ = std::max(end_, t);
}

void LineObserver::bytes(double t, std::size_t n) {
    if (n == 0) return;
    totals_.bytes += n;
    activity(t);
}

void LineObserver::tick(double t) {
    end_ = std::max(end_, t);
    if (!silent_ && t - last_activity_ > kSilenceFloor && t - last_activity_ > silence_threshold()) {
        silent_ = true;
        note(LineNote::Kind::silent, t, last_activity_, silence_threshold());
    }
}

void LineObserver::finish(double t) {
    if (open_) close(CycleEnd::end_of_input);
    end_ = std::max(end_, t);
    totals_.longest_silence = std::max(totals_.longest_silence, end_ - last_activity_);
}

void LineObserver::publish(double t) {
    (void)t;
    if (open_)
        cycle_.published = true;
    else
        ++totals_.publishes_outside;
}

void LineObserver::other_address() {
    ++totals_.frames;
    ++totals_.other_address;
}

// ---------------------------------------------------------------- frames

void LineObserver::frame(double t, const LinePosition& at, const unsigned char* f,
                         std::size_t size) {
    if (f == nullptr || size < smdhost::kDecodedHeader) return;
    activity(t);
    ++totals_.frames;
    pause_ = open_ ? t - cycle_.last_good : 0;
    const unsigned char cid1 = f[2];
    const unsigned char b3 = f[3];
    std::size_t len = static_cast<std::size_t>((f[5] << 8 | f[4]) >> 1);
    len = std::min(len, size - smdhost::kDecodedHeader);
    const unsigned char* info = f + smdhost::kDecodedHeader;
    ++(b3 >= 0x40 ? commands_ : responses_)[static_cast<std::uint16_t>(cid1 << 8 | b3)];

    // The device is handed every frame, a duplicate too.
    const CaptureMirror::Take take = mirror_.frame(cid1, b3, info, len);

    const std::size_t whole = smdhost::kDecodedHeader + len;
    if (!last_bad_.on && last_good_.size() == whole &&
        std::memcmp(last_good_.data(), f, whole) == 0) {
        ++totals_.duplicates;
        return;
    }
    last_good_.assign(f, f + whole);

    if (open_) cycle_.last = t;
    if (is_error_return(b3))
        error_response(cid1, b3);
    else if (taken_as_command(b3))
        command(t, at, cid1, b3);
    else
        response(t, at, cid1, info, len, take);
    if (open_) cycle_.last_good = t;
    last_bad_.on = false;
}

void LineObserver::open_cycle(double t, const LinePosition& at) {
    cycle_ = Cycle{};
    cycle_.n = totals_.cycles + 1;
    cycle_.start = t;
    cycle_.last = t;
    cycle_.last_good = t;
    cycle_.start_at = at;
    open_ = true;
}

void LineObserver::open_unheard(double t, const LinePosition& at) {
    // A bad frame just before the next interrogation showed itself is most
    // likely its 40/42 command, unless its header said otherwise or a pause
    // between interrogations lies between them.
    const double period = median_period();
    const bool command_was_bad = last_bad_.on && !last_bad_.by_header &&
                                 (period <= 0 || t - last_bad_.t <= period / 2);
    open_cycle(command_was_bad ? last_bad_.t : t, command_was_bad ? last_bad_.at : at);
    cycle_.last = t;
    cycle_.start_heard = false;
    if (command_was_bad) {
        cycle_.pairs[kPairAcAnalog].command_lost = true;
        cycle_.pairs[kPairAcAnalog].command_fault = last_bad_.fault;
        last_bad_.by_header = true;  // used up
    }
}

bool LineObserver::runs_on(int pair) const {
    if (!open_ || pair <= kPairAcAnalog) return false;
    const PairTrack& p = cycle_.pairs[static_cast<std::size_t>(pair)];
    const bool seen = p.asked != 0 || p.command_lost || p.heard_without_command;
    // Asked again once the 42/44 command was asked: the master has moved on.
    if (pair != kPairDcAlarm && cycle_.pairs[kPairDcAlarm].asked != 0 && seen) return true;
    // Asked again after a pause of half a cycle period: masters pause
    // between interrogations, not within one.
    const double period = median_period();
    return period > 0 && pause_ > period / 2 && seen;
}

void LineObserver::command(double t, const LinePosition& at, unsigned char cid1,
                           unsigned char cid2) {
    const int code = command_code(cid1, cid2);
    const int pair = pair_of_code(code);
    if (pair == kPairAcAnalog) {
        // A cycle opened by a spoiled 40/42 command that the master sent
        // again at once is this one.
        if (open_ && !only_lost_start()) close(CycleEnd::restart);
        open_cycle(t, at);
    } else if (pair >= 0 && !open_ && (seen_cycle_ || last_bad_.on)) {
        open_unheard(t, at);
    } else if (runs_on(pair)) {
        close(CycleEnd::next_cycle);
        open_unheard(t, at);
    }
    // Outside a cycle its response is awaited all the same, so that it is
    // not taken for the start of one.
    awaiting_.on = true;
    awaiting_.group = cid1;
    awaiting_.pair = open_ ? pair : -1;
    if (!open_) {
        ++totals_.outside_cycles;
        return;
    }
    if (pair >= 0) ++cycle_.pairs[static_cast<std::size_t>(pair)].asked;
}

bool LineObserver::only_lost_start() const {
    if (cycle_.start_heard) return false;
    for (int k = 0; k < kPairCount; ++k) {
        const PairTrack& p = cycle_.pairs[static_cast<std::size_t>(k)];
        if (p.asked != 0 || p.answered || p.heard_without_command || p.response_lost ||
            (k != kPairAcAnalog && p.command_lost))
            return false;
    }
    return true;
}

void LineObserver::error_response(unsigned char cid1, unsigned char rtn) {
    if (!open_) {
        ++totals_.outside_cycles;
        return;
    }
    if (awaiting_.on && awaiting_.group == cid1) {
        if (awaiting_.pair >= 0) cycle_.pairs[static_cast<std::size_t>(awaiting_.pair)].rtn = rtn;
        awaiting_.on = false;
    }
}

void LineObserver::apply(const CaptureMirror::Take& take) {
    if (!open_) return;
    if (take.completes) cycle_.complete = true;
    const int pair = pair_of_code(take.code);
    if (pair < 0) return;
    PairTrack& p = cycle_.pairs[static_cast<std::size_t>(pair)];
    if (take.what == CaptureMirror::Take::What::accepted) {
        p.accepted = true;
    } else if (take.what == CaptureMirror::Take::What::refused) {
        p.refused = true;
        p.refusal = take.why;
    }
}

int LineObserver::identify(unsigned char cid1, const unsigned char* info, std::size_t len) const {
    // A pair whose command was heard spoiled is the likelier owner; then any
    // unanswered pair of the group.
    for (const bool spoiled_only : {true, false}) {
        int found = -1;
        bool several = false;
        for (int k = 0; k < kPairCount; ++k) {
            const PairTrack& p = cycle_.pairs[static_cast<std::size_t>(k)];
            if (pair_cid1(k) != cid1 || p.answered || p.heard_without_command) continue;
            if (spoiled_only && !p.command_lost) continue;
            const unsigned rect = cycle_.have_rectifiers ? cycle_.rectifiers : kMaxRectifiers;
            if (!check_reply(command_code(pair_cid1(k), pair_cid2(k)), info, len, rect).fits) continue;
            several = found >= 0;
            if (several) break;  // more than one fits: cannot tell
            found = k;
        }
        if (!several && found >= 0) return found;
    }
    return -1;
}

void LineObserver::response(double t, const LinePosition& at, unsigned char cid1,
                            const unsigned char* info, std::size_t len,
                            const CaptureMirror::Take& take) {
    const bool ac_analog_layout = cid1 == kAcGroup && check_reply(1, info, len, 0).fits;
    if (!open_) {
        const bool answers = awaiting_.on && awaiting_.group == cid1;
        awaiting_.on = false;
        if (answers || !ac_analog_layout || (!seen_cycle_ && !last_bad_.on)) {
            ++totals_.outside_cycles;
            return;
        }
        open_unheard(t, at);
        cycle_.pairs[kPairAcAnalog].heard_without_command = true;
        apply(take);
        return;
    }
    apply(take);
    if (awaiting_.on && awaiting_.group == cid1) {
        const int pair = awaiting_.pair;
        awaiting_.on = false;
        if (pair < 0) return;
        cycle_.pairs[static_cast<std::size_t>(pair)].answered = true;
        if (pair == kPairRectAnalog) {
            const LayoutVerdict v = check_reply(5, info, len, 0);
            if (v.fits) {
                cycle_.rectifiers = static_cast<unsigned>(v.rectifiers);
                cycle_.have_rectifiers = true;
            }
        }
        if (pair == kPairDcAlarm) close(CycleEnd::dc_alarm_response);
        return;
    }

    // A response that answers no command heard.
    const PairTrack& ac = cycle_.pairs[kPairAcAnalog];
    const double period = median_period();
    if (ac_analog_layout &&
        (ac.answered || ac.heard_without_command || (period > 0 && pause_ > period / 2))) {
        // A second 40/42 reply, or one after a pause between
        // interrogations: the next interrogation, its command missed.
        close(CycleEnd::next_cycle);
        open_unheard(t, at);
        cycle_.pairs[kPairAcAnalog].heard_without_command = true;
        return;
    }
    if (awaiting_.on && awaiting_.pair >= 0)
        cycle_.pairs[static_cast<std::size_t>(awaiting_.pair)].wrong_group = cid1;
    const int pair = identify(cid1, info, len);
    if (pair < 0) return;
    PairTrack& p = cycle_.pairs[static_cast<std::size_t>(pair)];
    p.heard_without_command = true;
    if (last_bad_.on && !last_bad_.by_header) {
        p.command_lost = true;
        p.command_fault = last_bad_.fault;
    }
    if (pair == kPairDcAlarm) close(CycleEnd::dc_alarm_response);
}

void LineObserver::damaged_command(double t, const LinePosition& at, int pair,
                                   smdhost::FrameFault fault) {
    if (pair == kPairAcAnalog) {
        // The master began anew; only its command was spoiled.
        if (open_) close(CycleEnd::restart);
        open_cycle(t, at);
        cycle_.start_heard = false;
    } else if (!open_) {
        if (!seen_cycle_) return;
        open_unheard(t, at);
    } else if (runs_on(pair)) {
        close(CycleEnd::next_cycle);
        open_unheard(t, at);
    }
    PairTrack& p = cycle_.pairs[static_cast<std::size_t>(pair)];
    p.command_lost = true;
    p.command_fault = fault;
}

void LineObserver::bad_frame(double t, const LinePosition& at,
                             const smdhost::FrameFaultDetail& d) {
    activity(t);
    ++totals_.frames;
    pause_ = open_ ? t - cycle_.last_good : 0;
    totals_.bad_frames.add(d.fault);
    mirror_.error();

    LastBad b;
    b.on = true;
    b.fault = d.fault;
    b.t = t;
    b.at = at;
    // The header names a command: most likely that command, spoiled. A
    // header is not covered by a good checksum, though: a 40/42 command
    // within a cycle, with no pause before it, is more likely another
    // command whose CID1 digit was hit.
    const int named = d.has_header && d.header[3] >= 0x40
                          ? pair_of_code(command_code(d.header[2], d.header[3]))
                          : -1;
    const double period = median_period();
    const bool believed = d.has_header && d.header[3] >= 0x40 &&
                          (named != kPairAcAnalog || !open_ || period <= 0 || pause_ > period / 2);
    if (believed) {
        if (named >= 0) damaged_command(t, at, named, d.fault);
        awaiting_.on = false;
        b.by_header = true;
    } else if (awaiting_.on) {
        // In place of the awaited response.
        if (open_ && awaiting_.pair >= 0) {
            PairTrack& p = cycle_.pairs[static_cast<std::size_t>(awaiting_.pair)];
            p.response_lost = true;
            p.response_fault = d.fault;
        }
        awaiting_.on = false;
        b.by_header = d.has_header && d.header[3] < 0x40;
    } else {
        b.by_header = d.has_header && d.header[3] < 0x40;  // a response nobody awaited
    }
    // Counted after a cycle it ended was reported: it belongs to the next.
    bad_since_.add(d.fault);
    if (open_) cycle_.last = std::max(cycle_.last, t);
    last_bad_ = b;
}

// ---------------------------------------------------------------- reports

PairStatus LineObserver::status(const PairTrack& p) const {
    if (p.answered) return PairStatus::ok;
    if (p.response_lost || p.command_lost) return PairStatus::bad_frame;
    if (p.asked != 0) return PairStatus::no_response;
    return PairStatus::not_asked;
}

std::string LineObserver::reason(const Cycle& c, CycleEnd end) const {
    // Texts in pair order; pairs that share a plain outcome share a text,
    // placed where the first of them is.
    std::vector<std::string> parts;
    std::vector<int> not_asked, silent;
    std::size_t not_asked_at = 0, silent_at = 0;
    for (int k = 0; k < kPairCount; ++k) {
        const PairTrack& p = c.pairs[static_cast<std::size_t>(k)];
        const std::string name = pair_name(k);
        switch (status(p)) {
            case PairStatus::ok:
                break;
            case PairStatus::bad_frame:
                if (p.response_lost)
                    parts.push_back(name + " response lost to " + fault_phrase(p.response_fault));
                else
                    parts.push_back(name + " command lost to " + fault_phrase(p.command_fault) +
                                    (p.heard_without_command ? " (its response was heard)" : ""));
                break;
            case PairStatus::no_response:
                if (p.rtn != 0) {
                    parts.push_back(name + " answered with return code " + hex2(p.rtn));
                } else if (p.wrong_group != 0) {
                    parts.push_back(name + " no response (a " + hex2(p.wrong_group) +
                                    " response came instead)");
                } else {
                    if (silent.empty()) silent_at = parts.size();
                    silent.push_back(k);
                }
                break;
            case PairStatus::not_asked:
                if (p.heard_without_command) {
                    parts.push_back(name + " command not heard (its response was)");
                } else {
                    if (not_asked.empty()) not_asked_at = parts.size();
                    not_asked.push_back(k);
                }
                break;
        }
    }
    // Insert the later position first so the earlier one stays valid.
    struct Group {
        std::size_t at;
        std::string text;
    };
    std::vector<Group> groups;
    if (!not_asked.empty()) groups.push_back({not_asked_at, join_names(not_asked) + " not asked"});
    if (!silent.empty()) groups.push_back({silent_at, join_names(silent) + " no response"});
    std::sort(groups.begin(), groups.end(),
              [](const Group& a, const Group& b) { return a.at > b.at; });
    for (const auto& g : groups)
        parts.insert(parts.begin() + static_cast<std::ptrdiff_t>(g.at), g.text);

    if (parts.empty()) {
        std::vector<std::string> refused;
        for (int k = 0; k < kPairCount; ++k) {
            const PairTrack& p = c.pairs[static_cast<std::size_t>(k)];
            if (p.refused && !p.accepted)
                refused.push_back(std::string(pair_name(k)) + " response (" + p.refusal + ")");
        }
        if (!refused.empty())
            parts.push_back("every pair answered; the plug-in refused the " + join(refused, ", the "));
        else
            parts.push_back(
                "every pair answered and every reply fits its layout; the plug-in did not publish");
    }
    switch (end) {
        case CycleEnd::dc_alarm_response:
            break;
        case CycleEnd::restart:
            parts.push_back("a new 40/42 command came before the 42/44 response");
            break;
        case CycleEnd::next_cycle:
            parts.push_back("the next interrogation began before the 42/44 response");
            break;
        case CycleEnd::end_of_input:
            parts.push_back("the input ended before the 42/44 response");
            break;
    }
    return join(parts, "; ");
}

std::string LineObserver::note_for(const Cycle& c, const CycleReport& r) const {
    if (!c.published) return std::string();
    std::vector<int> missing;
    for (int k = 0; k < kPairCount; ++k)
        if (r.pairs[static_cast<std::size_t>(k)] != PairStatus::ok) missing.push_back(k);
    if (missing.empty()) return std::string();
    return "published although " + join_names(missing) +
           " did not complete in this cycle: the record holds replies of the cycle before";
}

void LineObserver::close(CycleEnd end) {
    CycleReport r;
    r.n = cycle_.n;
    r.published = cycle_.published;
    r.complete = cycle_.complete;
    for (int k = 0; k < kPairCount; ++k)
        r.pairs[static_cast<std::size_t>(k)] = status(cycle_.pairs[static_cast<std::size_t>(k)]);
    if (!r.published) r.reason = reason(cycle_, end);
    r.note = note_for(cycle_, r);
    r.start = cycle_.start;
    r.duration = std::max(0.0, cycle_.last - cycle_.start);  // a clock set back
    r.start_at = cycle_.start_at;
    r.ended = end;
    r.start_heard = cycle_.start_heard;
    r.bad_frames = bad_since_;
    bad_since_ = FaultCounts{};

    ++totals_.cycles;
    ++(r.published ? totals_.published : totals_.dropped);
    if (r.complete) ++totals_.complete;
    for (int k = 0; k < kPairCount; ++k)
        if (r.pairs[static_cast<std::size_t>(k)] == PairStatus::ok) ++pair_ok_[static_cast<std::size_t>(k)];
    if (have_start_ && r.start > last_start_) {
        const double period = r.start - last_start_;
        recent_periods_[recent_count_ % kPeriodWindow] = period;
        ++recent_count_;
        period_min_ = periods_ == 0 ? period : std::min(period_min_, period);
        period_max_ = periods_ == 0 ? period : std::max(period_max_, period);
        period_sum_ += period;
        ++periods_;
    }
    have_start_ = true;
    last_start_ = r.start;

    seen_cycle_ = true;
    open_ = false;
    awaiting_ = Awaiting{};
    if (sink_ != nullptr) sink_->cycle(r);
}

LineStats LineObserver::stats() const {
    LineStats s;
    s.totals = totals_;
    s.first = first_;
    s.last = end_;
    s.commands = commands_;
    s.responses = responses_;
    s.periods = periods_;
    s.period_sum = period_sum_;
    s.period_min = period_min_;
    s.period_max = period_max_;
    s.pair_ok = pair_ok_;
    return s;
}

}  // namespace smdobserver
