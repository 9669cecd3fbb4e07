// AC distribution replies of the poll round (0x40/0x41, 0x42, 0x43, 0x44),
// decoded into the published record.
#include <gtest/gtest.h>

#include "poll_test_support.hpp"

using namespace poll_test;

namespace {

const Bytes kInvalidFl = {0x20, 0x20, 0x20, 0x20};
const Bytes kInvalidFx = {0x20, 0x20};

// Float AC analog body: one channel (a b c f, no user values), ia ib ic.
// `bad` (0..6) replaces that field with the invalid marker.
Bytes float_ac_reply(int bad) {
    const float values[7] = {220.5f, 221.0f, 219.5f, 50.0f, 10.0f, 11.0f, 12.0f};
    Bytes r = {1};
    for (int k = 0; k < 7; ++k) {
        if (k == 4) r.push_back(0);  // user count
        if (k == bad)
            r.insert(r.end(), kInvalidFl.begin(), kInvalidFl.end());
        else
            put_fl(r, values[k]);
    }
    return r;
}

TEST(PollAcAnalog, FloatInvalidMarkerPerField) {
    // Channel values become 0.0, phase currents -0.1; the others keep theirs.
    for (int bad = 0; bad < 7; ++bad) {
        SCOPED_TRACE(bad);
        PowerDevice dev;
        const Bytes r = float_ac_reply(bad);
        EXPECT_EQ(dev.parse40_41(r.data(), static_cast<int>(r.size())), 30);
        const acChannel_t& ch = dev.data.acChannel[0];
        const pxr52::le_f32* fields[7] = {&ch.a, &ch.b, &ch.c, &ch.f, &dev.data.ia, &dev.data.ib, &dev.data.ic};
        for (int k = 0; k < 7; ++k) {
            if (k == bad)
                EXPECT_EQ(bytes_of(*fields[k]), k < 4 ? kZeroBytes : kMarkerBytes) << k;
            else
                EXPECT_NE(fields[k]->get(), 0.0f) << k;
        }
    }
    // All-zero bytes are a valid 0.0, not a marker.
    PowerDevice dev;
    Bytes r = float_ac_reply(-1);
    std::fill(r.end() - 12, r.end() - 8, 0);
    dev.parse40_41(r.data(), static_cast<int>(r.size()));
    EXPECT_EQ(bytes_of(dev.data.ia), kZeroBytes);
}

TEST(PollAcAnalog, FloatLogsAndModelLayout) {
    PowerDevice dev;
    const Bytes r = float_ac_reply(-1);
    const std::string out = stdout_of([&] { dev.parse40_41(r.data(), static_cast<int>(r.size())); });
    EXPECT_EQ(out,
              "parse40_41 channel_count is 1\n"
              "a 0 80 5c 43\n"
              "parse40_41 acChannel.a is 220.5\n"
              "ia is 10.000000\n");

    // "hulm27_k300v20_419": exactly one user float after the count byte,
    // whatever the count says; with a tower block of 2 values before it.
    dev.device_type = "hulm27_k300v20_419";
    dev.has_tower = 1;
    Bytes m = {1};
    for (float v : {230.0f, 231.0f, 232.0f, 50.0f}) put_fl(m, v);
    m.push_back(2);
    put_fl(m, 35.0f);
    put_fl(m, 36.0f);
    m.push_back(7);  // count byte, not used
    put_fl(m, 1.5f);
    for (float v : {1.0f, 2.0f, 3.0f}) put_fl(m, v);
    std::string log;
    int used = 0;
    log = stdout_of([&] { used = dev.parse40_41(m.data(), static_cast<int>(m.size())); });
    EXPECT_EQ(used, static_cast<int>(m.size()));
    EXPECT_EQ(dev.data.acChannel[0].p40_41_count, 1);
    EXPECT_FLOAT_EQ(dev.data.ic.get(), 3.0f);
    EXPECT_TRUE(contains(log, "tower_count is 0\nparse40_41 1:1.500000\n")) << log;
}

TEST(PollAcAnalog, FixedMarkersAndSkippedUserValues) {
    PowerDevice dev;
    Bytes r = {2};
    put_fx(r, 220.5);
    r.insert(r.end(), kInvalidFx.begin(), kInvalidFx.end());  // b invalid
    put_fx(r, 219.0);
    put_fx(r, 50.0);
    r.push_back(3);  // three user values, skipped
    put_fx(r, 1.0);
    put_fx(r, 2.0);
    put_fx(r, 3.0);
    for (double v : {230.0, 231.0, 232.0, 49.9}) put_fx(r, v);
    r.push_back(0);
    r.insert(r.end(), kInvalidFx.begin(), kInvalidFx.end());  // ia invalid
    put_fx(r, 11.0);
    put_fx(r, 0.0);  // 00 00 is a valid 0
    int used = 0;
    const std::string out = stdout_of([&] { used = dev.parse40_42(r.data(), static_cast<int>(r.size())); });
    EXPECT_EQ(used, static_cast<int>(r.size()));
    EXPECT_EQ(out, "acChannel.p40_41_count 3\n");
    EXPECT_EQ(dev.data.channel_count, 2);
    EXPECT_FLOAT_EQ(dev.data.acChannel[0].a.get(), 220.5f);
    EXPECT_EQ(bytes_of(dev.data.acChannel[0].b), kZeroBytes);
    EXPECT_EQ(dev.data.acChannel[0].p40_41_count, 3);
    EXPECT_FLOAT_EQ(dev.data.acChannel[1].a.get(), 230.0f);
    EXPECT_FLOAT_EQ(dev.data.acChannel[1].f.get(), 49.9f);
    EXPECT_EQ(bytes_of(dev.data.ia), kMarkerBytes);
    EXPECT_FLOAT_EQ(dev.data.ib.get(), 11.0f);
    EXPECT_EQ(bytes_of(dev.data.ic), kZeroBytes);

    const std::string bad = stdout_of([&] { used = dev.parse40_42(r.data(), 20); });
    EXPECT_EQ(used, -1);
    EXPECT_TRUE(contains(bad, "parse40_42:overflow")) << bad;
}

TEST(PollAcAnalog, ChannelsBeyondTheRecordAreDecodedAndDropped) {
    // 255 channels, each fully present: the record keeps the first two, the
    // phase currents after them still land, nothing else is touched.
    PowerDevice dev;
    Bytes r = {255};
    for (int i = 0; i < 255; ++i) {
        for (int k = 0; k < 4; ++k) put_fx(r, 100.0 + i);
        r.push_back(0);
    }
    for (double v : {5.0, 6.0, 7.0}) put_fx(r, v);
    const pxr52_419_Data_t before = dev.data;
    EXPECT_EQ(dev.parse40_42(r.data(), static_cast<int>(r.size())), static_cast<int>(r.size()));
    EXPECT_EQ(dev.data.channel_count, 255);
    EXPECT_FLOAT_EQ(dev.data.acChannel[1].a.get(), 101.0f);
    EXPECT_FLOAT_EQ(dev.data.ic.get(), 7.0f);
    EXPECT_EQ(0, std::memcmp(dev.data.bytes() + 85, before.bytes() + 85, 1257 - 85));
}

TEST(PollAcSwitches, CountsTowerAndUserStates) {
    PowerDevice dev;
    const Bytes eight = {8, 1, 0, 1, 0, 1, 0, 1, 1, 0};
    EXPECT_EQ(dev.parse40_43(eight.data(), 10), 10);
    EXPECT_EQ(dev.data.airlock[7], 1);

    const Bytes nine = {9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(dev.parse40_43(nine.data(), 11), -1);
    EXPECT_EQ(dev.data.airlock_count, 9);
    EXPECT_EQ(Bytes(dev.data.airlock, dev.data.airlock + 8), Bytes({1, 0, 1, 0, 1, 0, 1, 1}));

    // Tower block skipped; user states skipped and the count returned as
    // consumed without a length check.
    dev.has_tower = 1;
    const Bytes tower = {2, 1, 1, 3, 9, 9, 9, 4, 0xAA};
    EXPECT_EQ(dev.parse40_43(tower.data(), 9), 12);
    EXPECT_EQ(dev.data.p40_43_count, 4);
    dev.has_tower = 0;
    const Bytes plain = {1, 0};
    EXPECT_EQ(dev.parse40_43(plain.data(), 2), -1);  // user count missing
}

TEST(PollAcAlarms, LayoutAndOverflowNeverRefused) {
    PowerDevice dev;
    // 1 channel: alarms 01 02 03 04, 2 fuse bytes, 1 user byte; currents 05 06 07.
    const Bytes r = {1, 1, 2, 3, 4, 2, 0xF1, 0xF2, 1, 0xE1, 5, 6, 7};
    int used = 0;
    std::string out = stdout_of([&] { used = dev.parse40_44(r.data(), 13); });
    EXPECT_EQ(used, 13);
    EXPECT_EQ(out, "channel is 1\n");
    const acChannel_t& ch = dev.data.acChannel[0];
    EXPECT_EQ(Bytes({ch.a_alarm, ch.b_alarm, ch.c_alarm, ch.f_alarm, ch.p40_44_count}), Bytes({1, 2, 3, 4, 1}));
    EXPECT_EQ(Bytes({dev.data.ia_alarm, dev.data.ib_alarm, dev.data.ic_alarm}), Bytes({5, 6, 7}));

    // Model layout: one more byte after the current alarms.
    dev.device_type = "hulm27_k300v20_419";
    out = stdout_of([&] { used = dev.parse40_44(r.data(), 13); });
    EXPECT_EQ(used, 14);
    EXPECT_TRUE(contains(out, "PMBusPowerAC:ProcotolError read 40_44 read overflow\n")) << out;
}

}  // namespace
