// The bench host's line observer beside the shipped capture device: cycles
// as they happened on the line, the outcome of each pair, whether the device
// published, and the reason when it did not; the line's health; a noisy
// simulated line and the bundled demo.
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/frame_codec.hpp"
#include "host/sim_clock.hpp"
#include "support/test_device.hpp"
#include "tools/plant/reply_encoders.hpp"
#include "tools/plant/trace.hpp"
#include "tools/smdhost/observer/cycle_pairs.hpp"
#include "tools/smdhost/observer/frame_dissection.hpp"
#include "tools/smdhost/observer/line_observer.hpp"
#include "tools/smdhost/observer/observer_tap.hpp"
#include "tools/smdhost/observer/report_json.hpp"
#include "tools/smdhost/observer/report_text.hpp"

namespace {

using smdobserver::CycleEnd;
using smdobserver::CycleReport;
using smdobserver::LineNote;
using smdobserver::PairStatus;
using testing_support::CoutCapture;
using testing_support::SimClock;

// The device and the observer on one line, wired as the bench host wires
// them: the observer hears every frame through the protocol engine's tap
// and is told of every publish.
class Rig : public smdhost::HostListener, public smdobserver::ObserverSink {
public:
    Rig() : observer(testing_support::kStartEpoch, this), tap(observer, &smdhost::sim_clock::now) {
        dev.data_id = 1;
        dev.b_mode = 3;  // no threshold rules: the capture is what is watched
        dev.host_listener = this;
        dev.frame_tap = &tap;
    }

    // Bytes heard at the current clock, then the clock moves on.
    void hear(const std::string& bytes, double then = 0.0) {
        if (!bytes.empty()) {
            observer.bytes(now(), bytes.size());
            tap.at_offset(offset_);
            std::vector<unsigned char> buf(bytes.begin(), bytes.end());
            dev.process(buf.data(), static_cast<unsigned>(buf.size()));
            offset_ += bytes.size();
        }
        wait(then);
    }
    void wait(double seconds) {
        if (seconds <= 0) return;
        clock_.advance(seconds);
        observer.tick(now());
    }
    void end() { observer.finish(now()); }
    static double now() { return smdhost::sim_clock::now(); }

    void on_event(const smdhost::HostEvent& e) override {
        if (e.kind == smdhost::HostEvent::Kind::publish) {
            ++publishes;
            publish_times.push_back(now());
            observer.publish(now());
        }
    }
    void cycle(const CycleReport& r) override { cycles.push_back(r); }
    void line_note(const LineNote& n) override { notes.push_back(n); }

    SimClock clock_;
    CoutCapture quiet_;  // the device logs every round
    Tarnel_BRELM_PXR52_419 dev;
    smdobserver::LineObserver observer;
    smdobserver::ObserverTap tap;
    std::vector<CycleReport> cycles;
    std::vector<LineNote> notes;
    std::vector<double> publish_times;
    int publishes = 0;

private:
    unsigned long long offset_ = 0;
};

// Frames of a plant's round, replies in the capture layouts.
class Round {
public:
    Round() : plant_(plant::PlantShape::typical(6, 1), 5) {}

    std::string cmd(int pair) const {
        const unsigned char ff = 0xFF;
        const bool group = smdobserver::pair_cid1(pair) != 0x41;
        return smdhost::encode_frame(0x20, 0x01, smdobserver::pair_cid1(pair),
                                     smdobserver::pair_cid2(pair), &ff, group ? 1 : 0);
    }
    plant::Bytes info(int pair) const {
        using Encoder = plant::Bytes (*)(const plant::PlantState&, const plant::ReplyLayout&);
        static const Encoder kEncoders[smdobserver::kPairCount] = {
            plant::ac_analog_info,   plant::ac_switch_info,  plant::ac_alarm_info,
            plant::rect_analog_info, plant::rect_switch_info, plant::rect_alarm_info,
            plant::dc_analog_info,   plant::dc_alarm_info};
        return kEncoders[pair](plant_.state(), plant::ReplyLayout::capture());
    }
    std::string rsp(int pair, unsigned char rtn = 0) const {
        return with_info(pair, info(pair), rtn);
    }
    static std::string with_info(int pair, const plant::Bytes& info, unsigned char rtn = 0) {
        return smdhost::encode_frame(0x20, 0x01, smdobserver::pair_cid1(pair), rtn, info.data(),
                                     info.size());
    }
    // The frame with its last CHKSUM digit changed.
    static std::string spoiled(std::string f) {
        char& c = f[f.size() - 2];
        c = c == '0' ? '1' : '0';
        return f;
    }
    std::string pair(int k) const { return cmd(k) + rsp(k); }
    // Pairs `from` to `to` (inclusive), all answered.
    std::string pairs(int from, int to) const {
        std::string s;
        for (int k = from; k <= to; ++k) s += pair(k);
        return s;
    }
    std::string all() const { return pairs(0, 7); }

private:
    plant::Plant plant_;
};

// "o" ok, "b" bad_frame, "r" no_response, "n" not_asked, per pair.
std::string outcome(const CycleReport& r) {
    std::string s;
    for (PairStatus p : r.pairs)
        s += p == PairStatus::ok ? 'o' : p == PairStatus::bad_frame ? 'b' : p == PairStatus::no_response ? 'r' : 'n';
    return s;
}

struct CycleCase {
    const char* name;
    std::string line;
    std::size_t cycles;      // reported in all
    std::string pairs;       // of the last cycle
    bool published;          // the last cycle
    const char* reason;      // the last cycle's reason (exact; "" when published)
    CycleEnd ended;
};

TEST(LineObserver, ReportsEachCycleWithItsPairsAndReason) {
    const Round r;
    plant::Bytes too_many = r.info(5);  // 41/44: flag, count, then per rectifier
    too_many[1] = 7;                    // one more than the round's six
    const CycleCase cases[] = {
        {"complete", r.all(), 1, "oooooooo", true, "", CycleEnd::dc_alarm_response},
        {"pair not asked", r.pairs(0, 3) + r.pairs(5, 7), 1, "oooonooo", false, "41/43 not asked",
         CycleEnd::dc_alarm_response},
        {"no response", r.pairs(0, 3) + r.cmd(4) + r.pairs(5, 7), 1, "oooorooo", false,
         "41/43 no response", CycleEnd::dc_alarm_response},
        {"return code", r.pairs(0, 3) + r.cmd(4) + r.rsp(4, 0x04) + r.pairs(5, 7), 1, "oooorooo",
         false, "41/43 answered with return code 04", CycleEnd::dc_alarm_response},
        {"bad checksum response", r.pairs(0, 5) + r.cmd(6) + Round::spoiled(r.rsp(6)) + r.pair(7), 1,
         "oooooobo", false, "42/42 response lost to a bad checksum", CycleEnd::dc_alarm_response},
        {"damaged command", r.pairs(0, 3) + Round::spoiled(r.cmd(4)) + r.rsp(4) + r.pairs(5, 7), 1,
         "oooobooo", false, "41/43 command lost to a bad checksum (its response was heard)",
         CycleEnd::dc_alarm_response},
        {"refused by layout", r.pairs(0, 4) + r.cmd(5) + Round::with_info(5, too_many) + r.pairs(6, 7),
         1, "oooooooo", false,
         "every pair answered; the plug-in refused the 41/44 response (rectifier count 7 above the 6 "
         "of the round's 41/42 reply)",
         CycleEnd::dc_alarm_response},
        {"restart", r.pairs(0, 4) + r.all(), 2, "oooooooo", true, "", CycleEnd::dc_alarm_response},
        {"end of input", r.pairs(0, 6), 1, "ooooooon", false,
         "42/44 not asked; the input ended before the 42/44 response", CycleEnd::end_of_input},
        {"damaged 40/42 command", r.all() + Round::spoiled(r.cmd(0)) + r.rsp(0) + r.pairs(1, 7), 2,
         "booooooo", false, "40/42 command lost to a bad checksum (its response was heard)",
         CycleEnd::dc_alarm_response},
        {"spoiled 40/42 sent again", r.all() + Round::spoiled(r.cmd(0)) + r.all(), 2, "oooooooo", true, "",
         CycleEnd::dc_alarm_response},
        {"duplicates", r.cmd(0) + r.cmd(0) + r.rsp(0) + r.pair(1) + r.rsp(1) + r.pairs(2, 7), 1,
         "oooooooo", true, "", CycleEnd::dc_alarm_response},
    };
    for (const CycleCase& c : cases) {
        Rig rig;
        rig.hear(c.line);
        rig.end();
        ASSERT_EQ(rig.cycles.size(), c.cycles) << c.name;
        const CycleReport& last = rig.cycles.back();
        EXPECT_EQ(outcome(last), c.pairs) << c.name;
        EXPECT_EQ(last.published, c.published) << c.name;
        EXPECT_EQ(last.reason, c.reason) << c.name;
        EXPECT_EQ(last.ended, c.ended) << c.name;
        EXPECT_EQ(last.n, c.cycles) << c.name;
        EXPECT_EQ(rig.observer.totals().published, static_cast<unsigned long long>(rig.publishes))
            << c.name;
    }
}

TEST(LineObserver, RestartReportsTheCutCycle) {
    const Round r;
    Rig rig;
    rig.hear(r.pairs(0, 4) + r.all());
    rig.end();
    ASSERT_EQ(rig.cycles.size(), 2u);
    EXPECT_EQ(outcome(rig.cycles[0]), "ooooonnn");
    EXPECT_EQ(rig.cycles[0].ended, CycleEnd::restart);
    EXPECT_EQ(rig.cycles[0].reason,
              "41/44, 42/42 and 42/44 not asked; a new 40/42 command came before the 42/44 response");
    EXPECT_EQ(rig.observer.totals().dropped, 1u);
}

TEST(LineObserver, SilenceIsReportedOnceAndTheLineBackOnce) {
    const Round r;
    Rig rig;
    for (int k = 0; k < 4; ++k) rig.hear(r.all(), 5.0);  // a 5 s cycle: silence after 15 s
    for (int s = 0; s < 40; ++s) rig.wait(1.0);
    rig.hear(r.all(), 1.0);
    for (int s = 0; s < 5; ++s) rig.wait(1.0);
    rig.end();
    ASSERT_EQ(rig.notes.size(), 2u);
    EXPECT_EQ(rig.notes[0].kind, LineNote::Kind::silent);
    EXPECT_DOUBLE_EQ(rig.notes[0].seconds, 15.0);
    EXPECT_EQ(rig.notes[1].kind, LineNote::Kind::back);
    EXPECT_DOUBLE_EQ(rig.notes[1].seconds, 45.0);
    EXPECT_DOUBLE_EQ(rig.observer.totals().longest_silence, 45.0);
    EXPECT_EQ(rig.observer.totals().cycles, 5u);
}

TEST(LineObserver, RendersEventsTextAndDissection) {
    const Round r;
    Rig rig;
    rig.hear(r.all() + r.pairs(0, 5) + r.cmd(6) + Round::spoiled(r.rsp(6)) + r.pair(7));
    rig.end();
    ASSERT_EQ(rig.cycles.size(), 2u);
    const Json::Value ev = smdobserver::cycle_event(rig.cycles[1]);
    EXPECT_EQ(ev["ev"], "cycle");
    EXPECT_EQ(ev["n"].asInt(), 2);
    EXPECT_EQ(ev["published"], false);
    EXPECT_EQ(ev["pairs"]["42/42"], "bad_frame");
    EXPECT_EQ(ev["pairs"]["40/42"], "ok");
    EXPECT_EQ(ev["pairs"].size(), 8u);
    EXPECT_EQ(ev["reason"], "42/42 response lost to a bad checksum");
    EXPECT_EQ(ev["start"], "2026-01-01T00:00:00.000+00:00");
    EXPECT_EQ(ev["bad_frames"]["checksum"].asInt(), 1);
    EXPECT_FALSE(smdobserver::cycle_event(rig.cycles[0]).isMember("reason"));

    Json::Value line = smdobserver::line_event(rig.observer.totals());
    EXPECT_EQ(line["cycles"].asInt(), 2);
    EXPECT_EQ(line["published"].asInt(), 1);
    EXPECT_EQ(line["dropped"].asInt(), 1);
    EXPECT_EQ(line["frames"].asInt(), 32);
    EXPECT_EQ(line["bad_frames"]["checksum"].asInt(), 1);
    EXPECT_EQ(line["bad_frames"].size(), 6u);
    line["t"] = "2026-01-01T00:00:06.000+00:00";
    const std::string text = smdobserver::event_line(line);
    EXPECT_EQ(text.rfind("{\"ev\":\"line\",\"bytes\":", 0), 0u) << text;
    const std::string t_last = ",\"t\":\"2026-01-01T00:00:06.000+00:00\"}";
    EXPECT_EQ(text.compare(text.size() - t_last.size(), t_last.size(), t_last), 0) << text;

    EXPECT_EQ(smdobserver::cycle_line(rig.cycles[1]), "cycle 2 dropped: 42/42 response lost to a bad checksum");
    EXPECT_EQ(smdobserver::cycle_line(rig.cycles[0]), "");
    EXPECT_EQ(smdobserver::health_line(rig.cycles[1]),
              "line: 1 bad frame since the last cycle (checksum 1)");
    EXPECT_NE(smdobserver::summary_block(rig.observer.totals())
                  .find("cycles          2 seen, 1 published, 1 dropped"),
              std::string::npos)
        << smdobserver::summary_block(rig.observer.totals());

    // -v: a good frame's fields and information bytes; a bad one's checksums.
    smdhost::FrameDecoder d;
    std::vector<std::string> lines;
    const std::string f = smdhost::encode_frame(0x20, 0x01, 0x40, 0x00, nullptr, 0) +
                          Round::spoiled(smdhost::encode_frame(0x20, 0x01, 0x42, 0x00, nullptr, 0));
    smdobserver::LinePosition at;
    at.file = "x.scn";
    at.line = 3;
    for (char c : f) {
        const auto st = d.push(static_cast<unsigned char>(c));
        if (st == smdhost::FrameDecoder::Status::frame)
            lines.push_back(smdobserver::dissect_frame(Rig::now(), at, d.frame(), d.frame_size()));
        if (st == smdhost::FrameDecoder::Status::fault)
            lines.push_back(smdobserver::dissect_bad_frame(Rig::now(), at, d.fault_detail(), d.text(),
                                                           d.text_size()));
    }
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "00:00:00.000  x.scn:3  frame  ADR 01  CID1 40  RTN 00  LENID 000  0 info bytes");
    EXPECT_EQ(lines[1],
              "00:00:00.000  x.scn:3  bad frame  ADR 01  CID1 42  RTN 00  LENID 000\n"
              "  checksum: expected FDB7, received FDB0\n  chars ~200142000000FDB0");
}

// ------------------------------------------------------------ a noisy line

// Pair index of each frame of a round (its command's pair; -1 for an
// inserted parameter pair).
std::vector<int> frame_pairs(const plant::TraceRound& round) {
    std::vector<int> out;
    int pair = -1;
    for (const auto& f : round.frames) {
        if (f.command) pair = smdobserver::pair_of_code(smdobserver::command_code(f.cid1, f.cid2));
        out.push_back(pair);
    }
    return out;
}

TEST(LineObserver, NoisyTraceEveryDroppedRoundHasAReasonNamingADamagedPair) {
    plant::TraceConfig config;
    config.rounds = 300;
    config.noise = 0.1;
    config.seed = 16;
    config.shape = plant::PlantShape::typical(6, 1);
    plant::TraceGenerator gen(config);

    Rig rig;
    rig.dev.accept_lf_eoi = true;  // frames one per line, as pwrsim trace writes them
    struct RoundInfo {
        double start;
        bool spoiled;
        std::set<std::string> damaged;  // pairs with a frame corrupted, cut or lost
    };
    std::vector<RoundInfo> rounds;
    for (int n = 0; n < config.rounds; ++n) {
        const plant::TraceRound round = gen.next_round();
        const double start = testing_support::kStartEpoch + n * config.interval;
        rig.wait(start - Rig::now());
        RoundInfo info{start, round.spoiled, {}};
        const std::vector<int> pairs = frame_pairs(round);
        for (std::size_t k = 0; k < round.frames.size(); ++k) {
            const plant::WireFrame& f = round.frames[k];
            if (f.fate != plant::Fate::intact && f.fate != plant::Fate::duplicated && pairs[k] >= 0)
                info.damaged.insert(smdobserver::pair_name(pairs[k]));
            std::string line = f.sent;
            for (char& c : line)
                if (c == '\r') c = '\n';
            if (!line.empty() && line.back() != '\n') line += '\n';  // cut short
            rig.hear(f.sent.empty() ? std::string() : line, f.seconds);
        }
        rounds.push_back(info);
    }
    rig.end();

    // The round each cycle began in.
    const auto round_of = [&](double t) {
        std::size_t r = 0;
        while (r + 1 < rounds.size() && rounds[r + 1].start <= t + 1e-9) ++r;
        return r;
    };
    const std::regex pair_re("[0-9A-F]{2}/[0-9A-F]{2}");
    std::map<std::size_t, const CycleReport*> by_round;
    int dropped = 0, noted = 0;
    for (const CycleReport& c : rig.cycles) {
        const std::size_t r = round_of(c.start);
        by_round.emplace(r, &c);
        // The capture round followed from the line agrees with the plug-in
        // (where a cycle's start was missed, the plug-in may still hold the
        // round before).
        if (c.start_heard) {
            EXPECT_EQ(c.complete, c.published) << "cycle " << c.n;
        }
        if (c.published) {
            if (rounds[r].spoiled) {
                // The record holds replies of the round before (the double
                // loss of its 42/44 reply and this round's 40/42 command).
                EXPECT_FALSE(c.note.empty()) << "cycle " << c.n << " round " << r + 1;
                ++noted;
            }
            continue;
        }
        ++dropped;
        // The pairs damaged in the round, or (for a cycle that ran on) the next.
        std::set<std::string> damaged = rounds[r].damaged;
        if (r + 1 < rounds.size()) damaged.insert(rounds[r + 1].damaged.begin(), rounds[r + 1].damaged.end());
        // The pairs the reason blames (not those of how the cycle ended).
        std::string blamed = c.reason;
        for (const char* ending : {"; a new 40/42", "; the next interrogation", "; the input ended"})
            blamed = blamed.substr(0, blamed.find(ending));
        // At least one pair is blamed, and none whose frames came through.
        int named = 0;
        for (std::sregex_iterator m(blamed.begin(), blamed.end(), pair_re), e; m != e; ++m) {
            ++named;
            EXPECT_EQ(damaged.count(m->str()), 1u)
                << "cycle " << c.n << " (round " << r + 1 << ") blames " << m->str() << ": " << c.reason;
        }
        EXPECT_GT(named, 0) << "cycle " << c.n << " (round " << r + 1 << "): " << c.reason;
    }
    // Every spoiled round has a cycle, reported dropped (or published with a note).
    int spoiled = 0;
    for (std::size_t r = 0; r < rounds.size(); ++r) {
        if (!rounds[r].spoiled) continue;
        ++spoiled;
        const auto it = by_round.find(r);
        ASSERT_NE(it, by_round.end()) << "spoiled round " << r + 1 << " has no cycle";
        EXPECT_TRUE(!it->second->published || !it->second->note.empty()) << "round " << r + 1;
    }
    // Every publish fell inside a cycle reported published.
    EXPECT_EQ(rig.observer.totals().publishes_outside, 0u);
    EXPECT_EQ(rig.observer.totals().published, static_cast<unsigned long long>(rig.publishes));
    EXPECT_GT(spoiled, 50);
    EXPECT_GE(dropped, spoiled - noted);
    EXPECT_GT(rig.publishes, 40);
}

// ------------------------------------------------------------ the demo

TEST(LineObserver, DemoHasFortyCyclesSixDroppedWithTheirReasons) {
    std::ifstream in(std::string(SMD_SOURCE_DIR) + "/samples/demo/demo.scn");
    ASSERT_TRUE(in) << "samples/demo/demo.scn";
    Rig rig;
    rig.dev.accept_lf_eoi = true;
    std::string text;
    int line = 0;
    while (std::getline(in, text)) {
        ++line;
        if (text.rfind("~", 0) == 0) {
            rig.tap.at_line("demo.scn", line);
            rig.observer.bytes(Rig::now(), text.size() + 1);
            std::vector<unsigned char> buf(text.begin(), text.end());
            buf.push_back('\n');
            rig.dev.process(buf.data(), static_cast<unsigned>(buf.size()));
        } else if (text.rfind("@+", 0) == 0) {
            rig.wait(std::stod(text.substr(2)));
        }
    }
    rig.end();
    const auto& t = rig.observer.totals();
    EXPECT_EQ(t.cycles, 40u);
    EXPECT_EQ(t.published, 34u);
    EXPECT_EQ(t.dropped, 6u);
    EXPECT_EQ(rig.publishes, 34);
    EXPECT_EQ(t.complete, 34u);  // the capture round followed from the line agrees
    // What the noise did (checked against demo.scn by eye): a replaced
    // character, three frames cut short, two lost.
    const std::vector<std::string> expected = {
        "cycle 1 at demo.scn:3: 42/42 response lost to a non-hex character",
        "cycle 3 at demo.scn:71: 42/44 command lost to a length fault (its response was heard)",
        "cycle 9 at demo.scn:284: 40/43 no response",
        "cycle 10 at demo.scn:317: 41/42 command lost to a length fault (its response was heard)",
        "cycle 23 at demo.scn:781: 40/44 command lost to a length fault (its response was heard)",
        "cycle 26 at demo.scn:887: 41/44 no response",
    };
    std::vector<std::string> reasons;
    for (const CycleReport& c : rig.cycles)
        if (!c.published)
            reasons.push_back("cycle " + std::to_string(c.n) + " at " + c.start_at.text() + ": " + c.reason);
    EXPECT_EQ(reasons, expected);

    // `smdhost stats` from the same observer.
    const Json::Value st = smdobserver::stats_event(rig.observer.stats());
    EXPECT_DOUBLE_EQ(st["completeness"]["40/43"].asDouble(), 39.0 / 40.0);
    EXPECT_DOUBLE_EQ(st["completeness"]["42/42"].asDouble(), 39.0 / 40.0);
    EXPECT_GT(st["per_minute"]["commands"]["40/42"].asDouble(), 0.0);
    EXPECT_EQ(rig.observer.stats().commands.at(0x4042), 40u);
    EXPECT_EQ(st["line"]["bad_frames"]["length"].asInt() + st["line"]["bad_frames"]["hex"].asInt(), 4);
}

}  // namespace
