// AC distribution replies of the poll round, decoded into the published record.
#include <gtest/gtest.h>

#include "poll_test_support.hpp"

using namespace poll_test;

namespace {

// Float AC analog body: one channel (a b c f, no user values), ia ib ic;
// field `bad` (0..6) carries the invalid marker 20 20 20 20.
Bytes float_ac(int bad) {
    const float values[7] = {220.5f, 221.0f, 219.5f, 50.0f, 10.0f, 11.0f, 12.0f};
    Bytes r = {1};
    for (int k = 0; k < 7; ++k) {
        if (k == 4) r.push_back(0);  // user count
        if (k == bad)
            r.insert(r.end(), 4, 0x20);
        else
            put_fl(r, values[k]);
    }
    return r;
}

TEST(PollAcAnalog, FloatInvalidMarkerPerFieldAndLogs) {
    for (int bad = 0; bad < 7; ++bad) {
        PowerDevice dev;
        const Bytes r = float_ac(bad);
        int used = 0;
        const std::string out = stdout_of([&] { used = dev.parse40_41(r.data(), 30); });
        EXPECT_EQ(used, 30);
        const acChannel_t& ch = dev.data.acChannel[0];
        const pxr52::le_f32* f[7] = {&ch.a, &ch.b, &ch.c, &ch.f, &dev.data.ia, &dev.data.ib, &dev.data.ic};
        for (int k = 0; k < 7; ++k) {
            if (k == bad)  // channel values become 0.0, phase currents -0.1
                EXPECT_EQ(bytes_of(*f[k]), k < 4 ? kZeroBytes : kMarkerBytes) << k;
            else
                EXPECT_NE(f[k]->get(), 0.0f) << bad << ' ' << k;
        }
        if (bad == 6) {
            EXPECT_EQ(out, "parse40_41 channel_count is 1\na 0 80 5c 43\n"
                           "parse40_41 acChannel.a is 220.5\nia is 10.000000\n");
        }
    }
    // All-zero bytes are a valid 0.0, not the marker.
    PowerDevice dev;
    Bytes r = float_ac(-1);
    std::fill(r.end() - 12, r.end() - 8, 0);
    stdout_of([&] { dev.parse40_41(r.data(), 30); });
    EXPECT_EQ(bytes_of(dev.data.ia), kZeroBytes);
}

TEST(PollAcAnalog, ModelLayoutTakesOneUserValueAfterTheTower) {
    PowerDevice dev;
    dev.device_type = "hulm27_k300v20_419";
    dev.has_tower = 1;
    Bytes m = {1};
    for (float v : {230.0f, 231.0f, 232.0f, 50.0f}) put_fl(m, v);
    m.push_back(1);  // tower: one value
    put_fl(m, 35.0f);
    m.push_back(7);  // user count, not used: exactly one value follows
    put_fl(m, 1.5f);
    for (float v : {1.0f, 2.0f, 3.0f}) put_fl(m, v);
    int used = 0;
    const std::string out = stdout_of([&] { used = dev.parse40_41(m.data(), static_cast<int>(m.size())); });
    EXPECT_EQ(used, static_cast<int>(m.size()));
    EXPECT_EQ(dev.data.acChannel[0].p40_41_count, 1);
    EXPECT_FLOAT_EQ(dev.data.ic.get(), 3.0f);
    EXPECT_TRUE(contains(out, "tower_count is 0\nparse40_41 1:1.500000\n")) << out;
}

TEST(PollAcAnalog, FixedSkipsUserValuesAndDropsChannelsBeyondTwo) {
    // Channel 0 reports 3 user values (skipped); channel 1 still lines up.
    PowerDevice dev;
    Bytes r = {2};
    for (double v : {220.5, 221.0, 219.0, 50.0}) put_fx(r, v);
    r.insert(r.end(), {3, 0, 1, 0, 2, 0, 3});
    for (double v : {230.0, 231.0, 232.0, 49.9}) put_fx(r, v);
    r.insert(r.end(), {0, 0x20, 0x20});  // ia invalid
    put_fx(r, 11.0);
    r.insert(r.end(), {0x11, 0x11});  // ic invalid
    int used = 0;
    std::string out = stdout_of([&] { used = dev.parse40_42(r.data(), static_cast<int>(r.size())); });
    EXPECT_EQ(used, static_cast<int>(r.size()));
    EXPECT_EQ(out, "acChannel.p40_41_count 3\n");
    EXPECT_FLOAT_EQ(dev.data.acChannel[1].a.get(), 230.0f);
    EXPECT_FLOAT_EQ(dev.data.acChannel[1].f.get(), 49.9f);
    EXPECT_EQ(bytes_of(dev.data.ia), kMarkerBytes);
    EXPECT_FLOAT_EQ(dev.data.ib.get(), 11.0f);
    EXPECT_EQ(bytes_of(dev.data.ic), kMarkerBytes);
    out = stdout_of([&] { used = dev.parse40_42(r.data(), 20); });
    EXPECT_EQ(used, -1);
    EXPECT_EQ(out, "acChannel.p40_41_count 3\nparse40_42:overflow\n");

    // 255 channels: the record keeps two, the phase currents still land,
    // nothing after the AC block is touched.
    Bytes many = {255};
    for (int i = 0; i < 255; ++i) {
        for (int k = 0; k < 4; ++k) put_fx(many, 100.0 + i);
        many.push_back(0);
    }
    for (double v : {5.0, 6.0, 7.0}) put_fx(many, v);
    const pxr52_419_Data_t before = dev.data;
    EXPECT_EQ(dev.parse40_42(many.data(), static_cast<int>(many.size())), static_cast<int>(many.size()));
    EXPECT_EQ(dev.data.channel_count, 255);
    EXPECT_FLOAT_EQ(dev.data.acChannel[1].a.get(), 101.0f);
    EXPECT_FLOAT_EQ(dev.data.ic.get(), 7.0f);
    EXPECT_EQ(0, std::memcmp(dev.data.bytes() + 85, before.bytes() + 85, 1257 - 85));
}

TEST(PollAcStates, SwitchCountsAndAlarmOverflow) {
    PowerDevice dev;
    const Bytes eight = {8, 1, 0, 1, 0, 1, 0, 1, 1, 0};
    EXPECT_EQ(dev.parse40_43(eight.data(), 10), 10);
    const Bytes nine = {9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(dev.parse40_43(nine.data(), 11), -1);
    EXPECT_EQ(dev.data.airlock_count, 9);
    EXPECT_EQ(Bytes(dev.data.airlock, dev.data.airlock + 8), Bytes({1, 0, 1, 0, 1, 0, 1, 1}));
    // Tower skipped; user states skipped and counted without a length check.
    dev.has_tower = 1;
    const Bytes tower = {2, 1, 1, 3, 9, 9, 9, 4, 0xAA};
    EXPECT_EQ(dev.parse40_43(tower.data(), 9), 12);
    EXPECT_EQ(dev.data.p40_43_count, 4);

    // Alarms: 1 channel with 2 fuse bytes and 1 user byte, then the current alarms.
    const Bytes al = {1, 1, 2, 3, 4, 2, 0xF1, 0xF2, 1, 0xE1, 5, 6, 7};
    dev.has_tower = 0;
    int used = 0;
    std::string out = stdout_of([&] { used = dev.parse40_44(al.data(), 13); });
    EXPECT_EQ(used, 13);
    EXPECT_EQ(out, "channel is 1\n");
    const acChannel_t& ch = dev.data.acChannel[0];
    EXPECT_EQ(Bytes({ch.a_alarm, ch.f_alarm, ch.p40_44_count, dev.data.ia_alarm, dev.data.ic_alarm}),
              Bytes({1, 4, 1, 5, 7}));
    // The model's extra trailing byte overruns: logged, the count still returned.
    dev.device_type = "hulm27_k300v20_419";
    out = stdout_of([&] { used = dev.parse40_44(al.data(), 13); });
    EXPECT_EQ(used, 14);
    EXPECT_EQ(out, "channel is 1\nPMBusPowerAC:ProcotolError read 40_44 read overflow\n");
}

}  // namespace
