// Named-value look-up: readiness and age refusals, the served names, and
// records loaded from the host's cache.
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "support/test_device.hpp"

namespace {

using namespace testing_support;

struct Lookup : ::testing::Test {
    SimClock clock;
    CoutCapture out;
    RecordedDevice d;

    // A published record as RoundDone leaves it: valid, stamped now.
    void publish(const pxr52_419_Data_t& rec) {
        d.dev.data = rec;
        d.dev.data_valid = 1;
        d.dev.last_update = pxr52::local_now();
    }
    // The value as text, or the refusal's text.
    std::string get(const std::string& name, unsigned id = 0) {
        ++calls;
        try {
            return std::to_string(d.dev.Get_Value(id, name));
        } catch (const std::out_of_range& e) {
            return e.what();
        }
    }
    size_t calls = 0;
};

TEST_F(Lookup, ReadinessThenAgeThenNameDecideTheRefusal) {
    EXPECT_EQ(get("out_v"), "数据未就绪");
    EXPECT_EQ(get("dc"), "数据未就绪");
    d.dev.data_valid = 2;  // only 1 means a record exists
    d.dev.last_update = pxr52::local_now();
    EXPECT_EQ(get("out_v"), "数据未就绪");

    pxr52_419_Data_t rec{};
    rec.dc(0).dc_v.set(53.5f);
    rec.dc(1).dc_v.set(12.0f);
    publish(rec);
    EXPECT_EQ(get("out_v"), std::to_string(53.5f));
    EXPECT_EQ(get("out_v", 4242), std::to_string(53.5f));  // the id has no effect
    for (const char* unknown : {"dc", "", "out_v ", "AC", "ac12", "ac3", "out"})
        EXPECT_EQ(get(unknown), "不支持变量") << unknown;

    clock.advance(60);
    EXPECT_EQ(get("out_v"), std::to_string(53.5f));
    clock.advance(1);
    EXPECT_EQ(get("out_v"), "数据已超时");
    EXPECT_EQ(get("dc"), "数据已超时");
    EXPECT_EQ(d.dev.data_valid, 1);  // a refusal changes nothing

    clock.advance(-3600);  // clock set back: a negative age passes
    EXPECT_EQ(get("ac"), std::to_string(1.0f));
    // One log line per call, refused or not.
    const std::string log = out.text();
    size_t lines = 0;
    for (size_t at = log.find("in pmbuspower_419 Get_Value\n"); at != std::string::npos;
         at = log.find("in pmbuspower_419 Get_Value\n", at + 1))
        ++lines;
    EXPECT_EQ(lines, calls);
}

TEST_F(Lookup, MainsAbsentWhenEveryPhaseIsStrictlyBelow150) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float just_below = std::nextafter(150.0f, 0.0f);
    struct Case {
        float ch0[3], ch1[3];
        float ac, ac1, ac2;
    } const cases[] = {
        {{220, 221, 219}, {0, 0, 0}, 0, 0, 1},
        {{100, 100, 100}, {100, 100, 100}, 1, 1, 1},
        {{just_below, 0, 0}, {0, 150, 0}, 0, 1, 0},
        {{0, 0, nan}, {0, 0, 0}, 0, 0, 1},
        {{0, 0, 0}, {nan, 0, 0}, 0, 1, 0},
        {{-5, 0, 149}, {0, 0, 0}, 1, 1, 1},
        {{150, 0, 0}, {0, 0, 0}, 0, 0, 1},
    };
    const auto set_phases = [](acChannel_t& ch, const float (&v)[3]) {
        ch.a.set(v[0]);
        ch.b.set(v[1]);
        ch.c.set(v[2]);
    };
    for (const Case& c : cases) {
        pxr52_419_Data_t rec{};
        set_phases(rec.acChannel[0], c.ch0);
        set_phases(rec.acChannel[1], c.ch1);
        publish(rec);
        SCOPED_TRACE(testing::Message() << c.ch0[0] << " " << c.ch0[2] << " / " << c.ch1[0]);
        EXPECT_EQ(d.dev.Get_Value(0, "ac"), c.ac);
        EXPECT_EQ(d.dev.Get_Value(0, "ac1"), c.ac1);
        EXPECT_EQ(d.dev.Get_Value(0, "ac2"), c.ac2);
    }
}

TEST_F(Lookup, CachedRecordOfExactSizeMakesTheLookupFresh) {
    pxr52_419_Data_t rec{};
    rec.dc(0).dc_v.set(48.25f);
    const std::string whole(reinterpret_cast<const char*>(rec.bytes()), sizeof rec);
    VDeviceInterface& host_view = d.dev;

    EXPECT_EQ(host_view.LoadFromCache(rec.bytes(), 1256), 0);
    EXPECT_EQ(host_view.LoadFromCache(whole + '\0'), 0);
    EXPECT_EQ(get("out_v"), "数据未就绪");

    clock.advance(500);
    EXPECT_EQ(host_view.LoadFromCache(whole), 1);
    EXPECT_EQ(get("out_v"), std::to_string(48.25f));
    clock.advance(61);
    EXPECT_EQ(get("out_v"), "数据已超时");

    // A wrong length leaves the stale record alone; a whole one refreshes it.
    pxr52_419_Data_t other{};
    other.dc(0).dc_v.set(1.0f);
    const std::string other_whole(reinterpret_cast<const char*>(other.bytes()), sizeof other);
    EXPECT_EQ(host_view.LoadFromCache(other_whole + 'x'), 0);
    EXPECT_EQ(get("out_v"), "数据已超时");
    EXPECT_EQ(host_view.LoadFromCache(other_whole), 1);
    EXPECT_EQ(get("out_v"), std::to_string(1.0f));
}

}  // namespace
