// Rectifier (0x41) and DC distribution (0x42) replies of the poll round.
#include <gtest/gtest.h>

#include "poll_test_support.hpp"

using namespace poll_test;

namespace {

TEST(PollRectifierAnalog, SkipAfterEachRectifierTowerAndFixedPoint) {
    // skip_41_41 = 2: each rectifier block is followed by 2 ignored bytes.
    PowerDevice dev;
    dev.skip_41_41 = 2;
    Bytes r = {0x00};
    put_fl(r, 53.5f);
    r.push_back(2);
    put_fl(r, 10.0f);
    r.insert(r.end(), {1, 0xEE, 0xEE, 0xEE, 0xEE, 0x77, 0x77});  // one user value
    put_fl(r, 12.0f);
    r.insert(r.end(), {0, 0x77, 0x77});
    const int n = static_cast<int>(r.size());
    int used = 0;
    std::string out = stdout_of([&] { used = dev.parse41_41(r.data(), n); });
    EXPECT_EQ(used, n);
    EXPECT_EQ(dev.data.rc_count, 2);
    EXPECT_FLOAT_EQ(dev.data.rcChannel[1].i.get(), 12.0f);
    EXPECT_EQ(out, "parse 41_41 channel is 2\n41_41_count:1\n41_41_count:0\n");
    // A negative skip counts as none: stepping back would re-read the reply.
    dev.skip_41_41 = -2;
    Bytes one = {0x00};
    put_fl(one, 53.5f);
    one.push_back(1);
    put_fl(one, 10.0f);
    one.push_back(0);
    stdout_of([&] { used = dev.parse41_41(one.data(), 11); });
    EXPECT_EQ(used, 11);
    dev.skip_41_41 = 0;

    // Tower block: a count, then that many floats; the first one is shown.
    dev.has_tower = 1;
    Bytes t = {0x00};
    put_fl(t, 53.5f);
    t.push_back(1);
    put_fl(t, 10.0f);
    t.push_back(1);
    put_fl(t, 30.0f);
    t.push_back(0);
    out = stdout_of([&] { used = dev.parse41_41(t.data(), static_cast<int>(t.size())); });
    EXPECT_EQ(used, static_cast<int>(t.size()));
    EXPECT_TRUE(contains(out, "41 41 tower_count:1 temp:30.000000 p41_41:0 0 f0 41\n")) << out;

    // Fixed point: currents by the divisor, user values 2 bytes each.
    dev.fixed_divisor = 10;
    Bytes f = {0x00, 0x14, 0xE6, 2, 0x00, 0x64, 2, 0, 1, 0, 2, 0x00, 0x7D, 0};
    EXPECT_EQ(dev.parse41_42(f.data(), 14), 14);
    EXPECT_FLOAT_EQ(dev.data.rc_v.get(), 53.5f);
    EXPECT_FLOAT_EQ(dev.data.rcChannel[0].i.get(), 10.0f);
    EXPECT_FLOAT_EQ(dev.data.rcChannel[1].i.get(), 12.5f);
    EXPECT_EQ(dev.parse41_42(f.data(), 13), -1);
}

TEST(PollRectifierStates, WalkTheStoredCountWithinTheRecord) {
    PowerDevice dev;
    dev.data.rc_count = 2;
    // Switch states; the reply's own count (9) is not read. Two user states
    // do not fit the one place: counted and skipped.
    const Bytes sw = {0, 9, 1, 0, 1, 2, 5, 5, 0, 1, 0, 1, 1};
    EXPECT_EQ(dev.parse41_43(sw.data(), 13), 13);
    EXPECT_EQ(dev.data.rcChannel[0].p41_43_count, 2);
    EXPECT_EQ(dev.data.rcChannel[0].p41_43[0], 0);
    EXPECT_EQ(Bytes(dev.data.rcChannel[1].sw_state, dev.data.rcChannel[1].sw_state + 3), Bytes({0, 1, 0}));
    EXPECT_EQ(dev.data.rcChannel[1].p41_43[0], 1);

    // Alarms with a tower block of 6: user bytes land from index 6; the
    // second has no place and is consumed only.
    dev.has_tower = 1;
    const Bytes al = {0, 2, 3, 6, 0, 0, 0, 0, 0, 0, 2, 0xA1, 0xA2, 4, 0, 1, 0xB1};
    EXPECT_EQ(dev.parse41_44(al.data(), 17), 17);
    EXPECT_EQ(dev.data.rcChannel[0].p41_44[6], 0xA1);
    EXPECT_EQ(dev.data.rcChannel[1].fault, 4);
    EXPECT_EQ(dev.data.rcChannel[1].p41_44[0], 0xB1);

    // A stored count of 255 with short replies: -1, nothing past the rectifiers.
    dev.data.rc_count = 255;
    const pxr52_419_Data_t before = dev.data;
    EXPECT_EQ(dev.parse41_44(al.data(), 17), -1);
    EXPECT_EQ(dev.parse41_43(sw.data(), 13), -1);
    EXPECT_EQ(0, std::memcmp(dev.data.bytes() + 850, before.bytes() + 850, 1257 - 850));
}

// Fixed-point DC screen: dc_v, dc_i, M values, N values, P unscaled values.
Bytes fixed_screen(int groups, int branches, int users) {
    Bytes r = {0x14, 0xE6, 0x07, 0xD0};  // 53.50 V, 20.00 A
    r.push_back(static_cast<unsigned char>(groups));
    for (int k = 0; k < groups; ++k) put_fx(r, 1.0 + k);
    r.push_back(static_cast<unsigned char>(branches));
    for (int k = 0; k < branches; ++k) put_fx(r, 2.0 + k);
    r.push_back(static_cast<unsigned char>(users));
    for (int k = 0; k < users; ++k) put_fx(r, 30.0 + k, 1.0);
    return r;
}

TEST(PollDcAnalog, CountsAboveCapacityAndScaling) {
    PowerDevice dev;
    // Ten user values: count stored, values untouched, all input consumed.
    Bytes r = fixed_screen(2, 3, 10);
    r.push_back(0xEE);
    EXPECT_EQ(dev.parse42_42(r.data(), static_cast<int>(r.size())), static_cast<int>(r.size()));
    EXPECT_EQ(dev.data.dc(0).p_count, 10);
    EXPECT_EQ(bytes_of(dev.data.dc(0).p[0]), kZeroBytes);
    EXPECT_FLOAT_EQ(dev.data.dc(0).n[2].get(), 4.0f);
    // Three battery groups and 21 branches are skipped whole; p unscaled.
    r = fixed_screen(3, 21, 1);
    EXPECT_EQ(dev.parse42_42_2(r.data(), static_cast<int>(r.size())), static_cast<int>(r.size()));
    EXPECT_EQ(dev.data.dc(1).n_count, 21);
    EXPECT_EQ(bytes_of(dev.data.dc(1).m[0]), kZeroBytes);
    EXPECT_FLOAT_EQ(dev.data.dc(1).p[0].get(), 30.0f);
    EXPECT_FLOAT_EQ(dev.data.dc(1).dc_i.get(), 20.0f);

    // Float: dc_i times dc_i_adjust, invalid user value -0.1.
    dev.dc_i_adjust = 3;
    Bytes f;
    put_fl(f, 53.5f);
    put_fl(f, 20.0f);
    f.insert(f.end(), {0, 0, 2, 0x20, 0x20, 0x20, 0x20});
    put_fl(f, 25.0f);
    int used = 0;
    const std::string out = stdout_of([&] { used = dev.parse42_41(f.data(), static_cast<int>(f.size())); });
    EXPECT_EQ(used, static_cast<int>(f.size()));
    EXPECT_EQ(out, "parse42_41 53.500000 60.000000\n");
    EXPECT_EQ(bytes_of(dev.data.dc(0).p[0]), kMarkerBytes);
    EXPECT_FLOAT_EQ(dev.data.dc(0).p[1].get(), 25.0f);
}

TEST(PollDcAlarms, FortyFiveFuseBytesAreClipped) {
    PowerDevice dev;
    Bytes r = {0x02, 45};
    for (int k = 0; k < 45; ++k) r.push_back(static_cast<unsigned char>(k + 1));
    r.insert(r.end(), {6, 1, 2, 3, 4, 5, 6});
    EXPECT_EQ(dev.parse42_44(r.data(), static_cast<int>(r.size())), static_cast<int>(r.size()));
    const dcScreen_t& s = dev.data.dc(0);
    EXPECT_EQ(s.alert_m_count, 45);
    EXPECT_EQ(s.alert_m[41], 42);
    EXPECT_EQ(s.alert_p_count, 6);  // the byte after the 45th fuse byte
    EXPECT_EQ(Bytes(s.alert_p, s.alert_p + 5), Bytes({1, 2, 3, 4, 5}));
    EXPECT_EQ(s.reserved1[0], 0);
    EXPECT_EQ(dev.parse42_44_2(r.data(), static_cast<int>(r.size()) - 1), -1);
}

}  // namespace
