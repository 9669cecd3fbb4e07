// The plant's capture-layout replies through the shipped capture device:
// known values land at their record offsets, and the truth builder agrees
// with the device on seeded rounds with events, clipping and line noise.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/frame_codec.hpp"
#include "support/record_window.hpp"
#include "support/test_device.hpp"
#include "tools/plant/reply_encoders.hpp"
#include "tools/plant/trace.hpp"
#include "tools/plant/truth.hpp"

namespace {

using smdhost::HostEvent;
using testing_support::CoutCapture;
using testing_support::RecordedDevice;
using testing_support::SimClock;

using Encoder = plant::Bytes (*)(const plant::PlantState&, const plant::ReplyLayout&);

// The eight pairs of a round as the line carries them, replies in the
// capture layouts, built with the shared frame encoder.
std::string round_on_line(const plant::PlantState& st) {
    struct Row {
        unsigned char cid1, cid2;
        bool group;
        Encoder encode;
    };
    const Row rows[] = {
        {0x40, 0x42, true, plant::ac_analog_info},  {0x40, 0x43, true, plant::ac_switch_info},
        {0x40, 0x44, true, plant::ac_alarm_info},   {0x41, 0x42, false, plant::rect_analog_info},
        {0x41, 0x43, false, plant::rect_switch_info}, {0x41, 0x44, false, plant::rect_alarm_info},
        {0x42, 0x42, true, plant::dc_analog_info},  {0x42, 0x44, true, plant::dc_alarm_info},
    };
    const unsigned char ff = 0xFF;
    std::string line;
    for (const auto& r : rows) {
        line += smdhost::encode_frame(0x20, 0x01, r.cid1, r.cid2, &ff, r.group ? 1 : 0);
        const plant::Bytes info = r.encode(st, plant::ReplyLayout::capture());
        line += smdhost::encode_frame(0x20, 0x01, r.cid1, 0x00, info.data(), info.size());
    }
    return line;
}

void feed(Tarnel_BRELM_PXR52_419& dev, const std::string& bytes) {
    std::vector<unsigned char> buf(bytes.begin(), bytes.end());
    if (!buf.empty()) dev.process(buf.data(), static_cast<unsigned>(buf.size()));
}

std::vector<std::vector<unsigned char>> published(const RecordedDevice& d) {
    std::vector<std::vector<unsigned char>> out;
    for (const auto& e : d.events(HostEvent::Kind::publish)) out.push_back(e.bytes);
    return out;
}

// The record without its time stamp (offset 1046, 7 bytes).
std::vector<unsigned char> untimed(std::vector<unsigned char> rec) {
    if (rec.size() == 1257) std::fill(rec.begin() + 1046, rec.begin() + 1053, 0);
    return rec;
}

std::vector<unsigned char> bytes_of(const pxr52_419_Data_t& rec) {
    return std::vector<unsigned char>(rec.bytes(), rec.bytes() + sizeof rec);
}

float f32_at(const std::vector<unsigned char>& rec, std::size_t off) { return pxr52::load_f32(rec.data() + off); }

// ------------------------------------------------------------ round trip

class PlantRoundTrip : public ::testing::Test {
protected:
    // A plant with more of everything than the record keeps, and readings
    // set by hand.
    static plant::PlantState wide_state() {
        plant::PlantShape s = plant::PlantShape::typical(3, 2);
        s.ac_inputs = 2;
        s.ac_switches = 8;
        s.ac_user_switches = 3;
        s.ac_user_values = 2;
        s.ac_fuses = 2;
        s.ac_user_alarms = 3;
        s.rect_user_switches = 2;
        s.rect_user_alarms = 9;
        s.batteries = 3;
        s.branches = 22;
        s.dc_user_values = 10;
        s.dc_extra_fuses = 20;  // 45 fuse bytes
        s.dc_user_alarms = 6;
        plant::Plant p(s, 42);
        plant::PlantState st = p.state();
        st.ac[0].v[0] = {231.45, false};
        st.ac[0].v[1] = {0.0, true};        // invalid phase voltage: 0.0
        st.ac[0].f = {49.98, false};
        st.ac[1].v[2] = {2.58, false};      // code 01 02
        st.ac[1].v_alarm[2] = 0x01;
        st.ia = {0.0, true};                // invalid phase current: -0.1
        st.ib = {4.56, false};
        st.ic = {0.0, false};
        for (int k = 0; k < 8; ++k) st.ac_switches[k] = static_cast<unsigned char>(0x10 + k);
        st.rc_v = {53.61, false};
        st.rect[1].i = {17.25, false};
        st.rect[2].i = {1.0, true};
        st.rect[2].sw[0] = 0x01;
        st.rect[2].fault = 0x01;
        st.rect[2].user_sw = {0x07, 0x08};
        for (int k = 0; k < 9; ++k) st.rect[2].user_alarms[k] = static_cast<unsigned char>(0x80 + k);
        auto& d = st.dc[1];
        d.v = {48.76, false};
        d.i = {123.45, false};
        d.batt = {{1.5, false}, {0.0, true}, {9.99, false}};
        for (int k = 0; k < 22; ++k) d.branch[k] = {1.0 + k, false};
        for (int k = 0; k < 10; ++k) d.user[k] = {static_cast<double>(100 + k), false};
        d.user[4] = {0.0, true};
        for (int k = 0; k < 45; ++k) d.fuses[k] = static_cast<unsigned char>(k + 1);
        for (int k = 0; k < 6; ++k) d.user_alarms[k] = static_cast<unsigned char>(0x80 + k);
        d.v_alarm = 0x02;
        return st;
    }

    SimClock clock;
    CoutCapture quiet;  // the device's diagnostic lines
    RecordedDevice d{33};
};

TEST_F(PlantRoundTrip, PublishedRecordHoldsThePlantValuesAtTheirOffsets) {
    const plant::PlantState st = wide_state();
    feed(d.dev, round_on_line(st));
    const auto pubs = published(d);
    ASSERT_EQ(pubs.size(), 1u);
    const auto& r = pubs[0];
    ASSERT_EQ(r.size(), 1257u);

    EXPECT_EQ(r[0], 33);
    const unsigned char marker[4] = {0xCD, 0xCC, 0xCC, 0xBD};
    EXPECT_EQ(std::memcmp(r.data() + 8, marker, 4), 0) << "invalid ia";
    EXPECT_FLOAT_EQ(f32_at(r, 12), 4.56f);
    EXPECT_EQ(f32_at(r, 16), 0.0f);
    EXPECT_EQ(r[20], 2);                                   // channel_count
    EXPECT_EQ(r[21], 8);                                   // airlock_count
    EXPECT_EQ(r[22], 0x10);
    EXPECT_EQ(r[29], 0x17);
    EXPECT_EQ(r[30], 0);                                   // user switches not kept
    EXPECT_EQ(f32_at(r, 41), 23145 / 100.0f);
    EXPECT_EQ(f32_at(r, 45), 0.0f) << "invalid phase voltage";
    EXPECT_EQ(f32_at(r, 53), 4998 / 100.0f);
    EXPECT_EQ(r[41 + 16], 0);                              // p40_41_count
    EXPECT_EQ(f32_at(r, 41 + 22 + 8), 2.58f);
    EXPECT_EQ(r[41 + 22 + 19], 0x01);                      // input 2 c_alarm
    EXPECT_EQ(r[41 + 22 + 21], 0);                         // p40_44_count

    EXPECT_EQ(f32_at(r, 85), 5361 / 100.0f);
    EXPECT_EQ(r[89], 3);
    EXPECT_EQ(f32_at(r, 90 + 19), 17.25f);
    const std::size_t r2 = 90 + 2 * 19;
    EXPECT_EQ(f32_at(r, r2), 0.0f) << "invalid rectifier current";
    EXPECT_EQ(r[r2 + 5], 0x01);
    EXPECT_EQ(r[r2 + 8], 1) << "user switch count clipped to 1";
    EXPECT_EQ(r[r2 + 9], 0x07);
    EXPECT_EQ(r[r2 + 10], 0x01);
    EXPECT_EQ(r[r2 + 11], 7) << "user alarm count clipped to 7";
    EXPECT_EQ(r[r2 + 12], 0x80);
    EXPECT_EQ(r[r2 + 18], 0x86);
    EXPECT_EQ(r[r2 + 19], 0) << "next rectifier record untouched";

    const std::size_t s1 = 1053;
    EXPECT_EQ(f32_at(r, s1 + 4), 4876 / 100.0f);
    EXPECT_EQ(f32_at(r, s1 + 8), 12345 / 100.0f);
    EXPECT_EQ(r[s1 + 12], 2);
    EXPECT_EQ(f32_at(r, s1 + 13), 1.5f);
    EXPECT_EQ(f32_at(r, s1 + 17), 0.0f) << "invalid battery current";
    EXPECT_EQ(r[s1 + 21], 20);
    EXPECT_EQ(f32_at(r, s1 + 22), 1.0f);
    EXPECT_EQ(f32_at(r, s1 + 22 + 19 * 4), 20.0f) << "20th branch kept, 21st and 22nd dropped";
    EXPECT_EQ(r[s1 + 102], 9);
    EXPECT_EQ(f32_at(r, s1 + 103), 100.0f) << "user values unscaled";
    EXPECT_FLOAT_EQ(f32_at(r, s1 + 103 + 16), -0.1f) << "invalid user value";
    EXPECT_EQ(f32_at(r, s1 + 103 + 32), 108.0f);
    EXPECT_EQ(r[s1 + 139], 0x02);
    EXPECT_EQ(r[s1 + 140], 42);
    EXPECT_EQ(r[s1 + 141], 1);
    EXPECT_EQ(r[s1 + 182], 42);
    EXPECT_EQ(r[s1 + 183], 5);
    EXPECT_EQ(r[s1 + 184], 0x80);
    EXPECT_EQ(r[s1 + 188], 0x84);
    for (std::size_t k = 1249; k < 1257; ++k) EXPECT_EQ(r[k], 0) << "0x80/0x42 values at " << k;

    // And the truth builder says the same, byte for byte.
    EXPECT_EQ(untimed(r), bytes_of(plant::truth_record(st, 33)));
}

TEST_F(PlantRoundTrip, OneScreenLeavesTheSecondScreenZero) {
    plant::Plant p(plant::PlantShape::typical(4, 1), 5);
    feed(d.dev, round_on_line(p.state()));
    const auto pubs = published(d);
    ASSERT_EQ(pubs.size(), 1u);
    for (std::size_t k = 1053; k < 1249; ++k) ASSERT_EQ(pubs[0][k], 0) << "offset " << k;
    EXPECT_EQ(untimed(pubs[0]), bytes_of(plant::truth_record(p.state(), 33)));
}

// ------------------------------------------------------------ seeded rounds

struct TraceCase {
    std::uint64_t seed;
    int screens;
    bool varied;
};

class PlantTruth : public ::testing::TestWithParam<TraceCase> {};

plant::TraceConfig config_of(const TraceCase& c, double noise) {
    plant::TraceConfig cfg;
    cfg.seed = c.seed;
    cfg.rounds = 40;
    cfg.noise = noise;
    cfg.data_id = 7;
    cfg.event_rate = 25.0;  // events every few rounds
    cfg.shape = c.varied ? plant::PlantShape::varied(12, c.screens, c.seed) : plant::PlantShape::typical(12, c.screens);
    cfg.events = {{plant::EventKind::mains_failure, 3, 4}, {plant::EventKind::invalid_reading, 5, 1},
                  {plant::EventKind::rectifier_fault, 9, 3}, {plant::EventKind::blown_fuse, 12, 2}};
    return cfg;
}

TEST_P(PlantTruth, EveryCleanRoundPublishesItsTruth) {
    SimClock clock;
    CoutCapture quiet;
    RecordedDevice d(7);
    plant::TraceGenerator gen(config_of(GetParam(), 0.0));
    int events = 0;
    for (int r = 1; r <= 40; ++r) {
        const plant::TraceRound round = gen.next_round();
        events += static_cast<int>(round.notes.size());
        ASSERT_FALSE(round.spoiled);
        const std::size_t before = published(d).size();
        for (const auto& f : round.frames) feed(d.dev, f.sent);
        const auto pubs = published(d);
        ASSERT_EQ(pubs.size(), before + 1) << "round " << r;
        ASSERT_EQ(untimed(pubs.back()), bytes_of(round.truth)) << "round " << r;
    }
    EXPECT_GE(events, 6) << "events were meant to happen";
}

// A frame the device never sees whole.
bool harmed(const plant::WireFrame& f) {
    return f.fate == plant::Fate::corrupted || f.fate == plant::Fate::truncated || f.fate == plant::Fate::lost;
}

// Every unspoiled round publishes its truth. A spoiled round publishes
// nothing, unless the noise took its AC analog command (its first frame) and
// the DC alarm pair (the last two frames) of the round before: then the open
// round goes on, and what this round completes holds values of both cycles.
TEST_P(PlantTruth, NoisyLinePublishesTheUnspoiledRoundsAndNoForeignValue) {
    SimClock clock;
    CoutCapture quiet;
    RecordedDevice d(7);
    plant::TraceGenerator gen(config_of(GetParam(), 0.06));
    std::vector<plant::TraceRound> rounds;
    int spoiled = 0, unspoiled = 0;
    for (int r = 0; r < 40; ++r) {
        rounds.push_back(gen.next_round());
        const plant::TraceRound& round = rounds.back();
        const std::size_t before = published(d).size();
        for (const auto& f : round.frames) feed(d.dev, f.sent);
        const auto pubs = published(d);
        const std::size_t got = pubs.size() - before;
        if (!round.spoiled) {
            ++unspoiled;
            ASSERT_EQ(got, 1u) << "round " << r;
            EXPECT_EQ(untimed(pubs.back()), bytes_of(round.truth)) << "round " << r;
            continue;
        }
        ++spoiled;
        int first = r;
        while (first > 0 && harmed(rounds[first].frames.front()) &&
               (harmed(rounds[first - 1].frames.back()) || harmed(*(rounds[first - 1].frames.end() - 2))))
            --first;
        if (first == r) {
            ASSERT_EQ(got, 0u) << "spoiled round " << r << " published";
            continue;
        }
        ASSERT_LE(got, 1u);
        if (got == 0) continue;
        std::vector<pxr52_419_Data_t> writes;
        for (int k = first; k <= r; ++k) {
            writes.push_back(rounds[k].truth);
            writes.push_back(testing_support::rectifier_analog_writes(rounds[k].truth));
        }
        std::vector<const unsigned char*> window;
        for (const auto& w : writes) window.push_back(w.bytes());
        EXPECT_EQ(testing_support::foreign_field(pubs.back().data(), window), nullptr) << "round " << r;
    }
    EXPECT_GT(spoiled, 0);
    EXPECT_GT(unspoiled, 0);
}

INSTANTIATE_TEST_SUITE_P(Seeds, PlantTruth,
                         ::testing::Values(TraceCase{1, 1, false}, TraceCase{2, 2, false}, TraceCase{3, 1, true},
                                           TraceCase{4, 2, true}, TraceCase{11, 2, true}, TraceCase{12, 1, true}));

// ------------------------------------------------------------ trace text

TEST(PlantTrace, SpoilingMatchesWhatWasDoneToTheFrames) {
    plant::TraceConfig cfg;
    cfg.noise = 0.3;
    cfg.rounds = 30;
    plant::TraceGenerator gen(cfg);
    int fates[5] = {0, 0, 0, 0, 0};
    for (int r = 0; r < 30; ++r) {
        const auto round = gen.next_round();
        bool bad = false;
        for (const auto& f : round.frames) {
            ++fates[static_cast<int>(f.fate)];
            switch (f.fate) {
            case plant::Fate::intact: EXPECT_EQ(f.sent, f.frame); break;
            case plant::Fate::duplicated: EXPECT_EQ(f.sent, f.frame + f.frame); break;
            case plant::Fate::lost: EXPECT_TRUE(f.sent.empty()); break;
            case plant::Fate::truncated:
                EXPECT_LT(f.sent.size(), f.frame.size() - 1);
                EXPECT_EQ(f.frame.compare(0, f.sent.size(), f.sent), 0);
                break;
            case plant::Fate::corrupted: {
                ASSERT_EQ(f.sent.size(), f.frame.size());
                int diffs = 0;
                for (std::size_t k = 0; k < f.sent.size(); ++k) diffs += f.sent[k] != f.frame[k];
                EXPECT_EQ(diffs, 1);
                EXPECT_EQ(f.sent[0], '~');
                EXPECT_EQ(f.sent.back(), '\r');
                // The decoder must see a bad frame, never a good one.
                smdhost::FrameDecoder dec;
                int good = 0, faults = 0;
                for (unsigned char c : f.sent) {
                    const auto s = dec.push(c);
                    good += s == smdhost::FrameDecoder::Status::frame;
                    faults += s == smdhost::FrameDecoder::Status::fault;
                }
                EXPECT_EQ(good, 0);
                EXPECT_EQ(faults, 1);
                break;
            }
            }
            if (f.core && (f.fate == plant::Fate::corrupted || f.fate == plant::Fate::truncated ||
                           f.fate == plant::Fate::lost))
                bad = true;
        }
        EXPECT_EQ(round.spoiled, bad) << "round " << round.number;
    }
    for (int k = 0; k < 5; ++k) EXPECT_GT(fates[k], 0) << "fate " << k << " never drawn";
}

TEST(PlantTrace, ScheduledEventsAreNotedInTheirRoundsOnly) {
    plant::TraceConfig cfg;
    cfg.event_rate = 0.0;
    cfg.events = {{plant::EventKind::mains_failure, 2, 3}, {plant::EventKind::invalid_reading, 4, 1}};
    plant::TraceGenerator gen(cfg);
    for (int r = 1; r <= 7; ++r) {
        const auto round = gen.next_round();
        const double volts = round.truth.acChannel[0].a.get();
        switch (r) {
        case 2: EXPECT_EQ(round.notes, std::vector<std::string>{"mains failure begins"}); break;
        case 4:
            ASSERT_EQ(round.notes.size(), 1u);
            EXPECT_EQ(round.notes[0].rfind("invalid reading: ", 0), 0u);
            break;
        case 5: EXPECT_EQ(round.notes, std::vector<std::string>{"mains restored"}); break;
        default: EXPECT_TRUE(round.notes.empty()) << "round " << r << ": " << round.notes[0];
        }
        if (r >= 2 && r <= 4)
            EXPECT_EQ(volts, 0.0f) << "round " << r;
        else
            EXPECT_GT(volts, 150.0f) << "round " << r;
    }
}

TEST(PlantTrace, TruthLineHoldsTheWholeRecordOrNull) {
    plant::TraceRound round;
    round.number = 4;
    std::memset(&round.truth, 0, sizeof round.truth);
    round.truth.data_id.set(0x0A0B0C0D);
    const std::string line = plant::truth_line(round);
    ASSERT_EQ(line.size(), std::string("{\"round\":4,\"record\":\"\"}").size() + 2514);
    EXPECT_EQ(line.substr(0, 30), "{\"round\":4,\"record\":\"0D0C0B0A0");
    round.spoiled = true;
    EXPECT_EQ(plant::truth_line(round), "{\"round\":4,\"record\":null}");
}

}  // namespace
