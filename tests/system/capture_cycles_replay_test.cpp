// Interrogation cycles that field masters run, replayed through smdhost:
// commands asked again within a cycle, a control command in the middle, a
// retry after an error reply. Each clean cycle publishes exactly once, with
// the later reply's values where a command was answered twice, and never a
// value of a refused reply.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/system/smdhost_support.hpp"

namespace {

// The eight command/response pairs of smdtest::full_round(), two lines each.
std::vector<std::string> full_round_pairs() {
    const std::vector<std::string> lines = smdtest::lines_of(smdtest::full_round());
    std::vector<std::string> pairs;
    for (std::size_t k = 0; k + 1 < lines.size(); k += 2) pairs.push_back(lines[k] + "\n" + lines[k + 1] + "\n");
    return pairs;
}

// Pairs `from` to `to` (inclusive) of the full round.
std::string pairs(int from, int to) {
    static const std::vector<std::string> all = full_round_pairs();
    std::string out;
    for (int k = from; k <= to; ++k) out += all.at(static_cast<std::size_t>(k));
    return out;
}

float f32_at(const std::vector<unsigned char>& r, std::size_t off) {
    float v;
    const unsigned char b[4] = {r.at(off), r.at(off + 1), r.at(off + 2), r.at(off + 3)};
    std::memcpy(&v, b, 4);  // little-endian host, as the record
    return v;
}

struct Expect {
    std::size_t offset;
    bool is_float;
    double value;
};

struct Cycle {
    const char* name;
    std::string scenario;
    std::vector<Expect> expect;
};

// Record offsets: rc_v 85, rectifier k (from 0) at 90 + 19k (current +0,
// switch state +5, fault +10), airlock 22, DC screen 1 voltage 854, DC
// screen 2 at 1053 (voltage +4, current +8).
TEST(CaptureCycles, EachCleanCyclePublishesOnceWithTheLaterReply) {
    if (!smdtest::executable(smdtest::smdhost_path())) GTEST_SKIP() << "no smdhost";
    const std::vector<Cycle> cycles = {
        {"rectifier analog asked twice",
         pairs(0, 4) + "> 41 42\n> 41 00 00 14F0 02 03E8 00 0BB8 00\n" + pairs(5, 7),
         {{85, true, 53.6}, {109, true, 30.0}, {119, false, 1}}},
        {"read-back after a control command",
         pairs(0, 4) + "> 41 45 E5 01\n> 41 00\n> 41 43\n> 41 00 00 02 010000 00 000000 00\n" + pairs(5, 7),
         {{95, false, 1}, {114, false, 0}, {119, false, 1}}},
        {"deferred retry of the rectifier switch states",
         pairs(0, 5) + "> 41 43\n> 41 00 00 02 000000 00 010000 00\n" + pairs(6, 7),
         {{95, false, 0}, {114, false, 1}}},
        {"deferred retry of the AC switch states",
         pairs(0, 6) + "> 40 43 01\n> 40 00 00 01 02 01 01 00\n" + pairs(7, 7),
         {{22, false, 1}, {23, false, 1}}},
        {"retry after an error reply",
         pairs(0, 6) + "> 42 44 01\n> 42 02\n> 42 42 01\n> 42 00 00 01 14F0 0BB8 01 01F4 00 00\n" +
             pairs(7, 7),
         {{854, true, 53.6}}},
        // Two screens, the second cut short: refused, and nothing of it stays.
        {"refused two-screen DC reply, then one screen",
         pairs(0, 5) + "> 42 42 01\n> 42 00 00 02 1130 0BB8 00 00 00 1130 0BB8 00 00\n" +
             "> 42 00 00 01 14E6 0BB8 01 01F4 00 00\n" + pairs(7, 7),
         {{854, true, 53.5}, {1057, true, 0.0}, {1061, true, 0.0}}},
    };
    for (const Cycle& c : cycles) {
        SCOPED_TRACE(c.name);
        smdtest::TempDir dir;
        smdtest::write_file(dir.file("s.scn"), c.scenario);
        const smdtest::Result r = smdtest::smdhost({"replay", "s.scn", "--format", "json"}, dir.path());
        ASSERT_EQ(r.status, 0) << r.err;
        const auto publishes = smdtest::only(smdtest::events_of(r.out), "publish");
        EXPECT_EQ(publishes.size(), 1u);
        if (publishes.size() != 1) continue;
        const std::vector<unsigned char> rec = smdtest::unhex(publishes[0]["record"].asString());
        ASSERT_EQ(rec.size(), 1257u);
        for (const Expect& e : c.expect) {
            if (e.is_float)
                EXPECT_FLOAT_EQ(f32_at(rec, e.offset), static_cast<float>(e.value)) << "offset " << e.offset;
            else
                EXPECT_EQ(rec.at(e.offset), static_cast<unsigned char>(e.value)) << "offset " << e.offset;
        }
    }
}

}  // namespace
