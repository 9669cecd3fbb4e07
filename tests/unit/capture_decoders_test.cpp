// The bounded reader and the nine capture decoders, on replies built by hand.
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "capture/info_reader.hpp"
#include "support/test_device.hpp"

namespace {

using testing_support::Bytes;
using T = Tarnel_BRELM_PXR52_419;
using Decoder = int (T::*)(const unsigned char*, int);

// Runs a decoder on exactly info.size() heap bytes, so that a read past the
// end shows under the sanitizers.
int run(T& dev, Decoder d, const Bytes& info) {
    std::vector<unsigned char> exact(info.begin(), info.end());
    return (dev.*d)(exact.data(), static_cast<int>(exact.size()));
}

Bytes cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

bool bytes_are(const pxr52::le_f32& f, const Bytes& want) { return Bytes(f.b, f.b + 4) == want; }

const Bytes kMarker = {0xCD, 0xCC, 0xCC, 0xBD};
const Bytes kZero = {0, 0, 0, 0};

// Golden replies, as drawn above each decoder.
const Bytes k40_42 = {0x00, 0x01, 0x01, 0x55, 0xF0, 0x56, 0x54, 0x55, 0xBE,
                      0x13, 0x88, 0x00, 0x03, 0xE8, 0x04, 0x1A, 0x03, 0xD4};
const Bytes k40_43 = {0x00, 0x01, 0x03, 0x00, 0x01, 0x00, 0x00};
const Bytes k40_44 = {0x00, 0x01, 0x01, 0x00, 0x01, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x02};
const Bytes k41_42 = {0x00, 0x14, 0xE6, 0x02, 0x0F, 0xA0, 0x00, 0x0F, 0x9F, 0x00};
const Bytes k41_43 = {0x00, 0x02, 0x00, 0x00, 0x01, 0x00, 0x00, 0x01, 0x00, 0x01, 0x0E};
const Bytes k41_44 = {0x00, 0x02, 0x00, 0x00, 0x01, 0x02, 0x80, 0x81};
const Bytes k42_42 = {0x00, 0x01, 0x14, 0xE6, 0x03, 0xE8, 0x02, 0x00, 0x64,
                      0x20, 0x20, 0x01, 0x01, 0xF4, 0x01, 0x00, 0x2A};
const Bytes k42_44 = {0x00, 0x01, 0x00, 0x03, 0x00, 0x00, 0x03, 0x01, 0x00};
const Bytes k42_47 = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0x14, 0xE6, 0x13, 0x88};

struct Golden {
    const char* name;
    Decoder decode;
    const Bytes* reply;
};
const Golden kGoldens[] = {
    {"40/42", &T::parse40_42_capture, &k40_42}, {"40/43", &T::parse40_43_capture, &k40_43},
    {"40/44", &T::parse40_44_capture, &k40_44}, {"41/42", &T::parse41_42_capture, &k41_42},
    {"41/43", &T::parse41_43_capture, &k41_43}, {"41/44", &T::parse41_44_capture, &k41_44},
    {"42/42", &T::parse42_42_capture, &k42_42}, {"42/44", &T::parse42_44_capture, &k42_44},
    {"42/47", &T::parse42_47_capture, &k42_47},
};

TEST(CaptureReader, FailedReadsLeaveTheCursorAndChecksBigEndianAndAbsentValues) {
    const unsigned char one[] = {0x12};
    pxr52::InfoReader r(one, 1);
    std::uint16_t w = 0;
    float f = 7.0f;
    EXPECT_FALSE(r.read_u16(w));
    EXPECT_FALSE(r.read_fixed(f, 100.0f, 0.0f));
    EXPECT_FALSE(r.skip(-1));
    EXPECT_FALSE(r.skip(2));
    EXPECT_EQ(r.consumed(1), 0);
    unsigned char b = 0;
    ASSERT_TRUE(r.read_u8(b));
    EXPECT_EQ(b, 0x12);
    EXPECT_FALSE(r.read_u8(b));
    EXPECT_EQ(r.consumed(1), 1);

    const unsigned char v[] = {0x01, 0x02, 0x20, 0x20, 0x00, 0x00, 0xFF, 0xFF, 0x12, 0x34};
    pxr52::InfoReader q(v, sizeof v);
    ASSERT_TRUE(q.read_fixed(f, 100.0f, -0.1f));
    EXPECT_FLOAT_EQ(f, 2.58f);
    ASSERT_TRUE(q.read_fixed(f, 100.0f, -0.1f));
    EXPECT_FLOAT_EQ(f, -0.1f);
    ASSERT_TRUE(q.read_fixed(f, 100.0f, -0.1f));
    EXPECT_EQ(f, 0.0f);
    ASSERT_TRUE(q.read_fixed(f, 1.0f, 0.0f));
    EXPECT_EQ(f, 0.0f);
    ASSERT_TRUE(q.read_u16(w));
    EXPECT_EQ(w, 0x1234);

    pxr52::InfoReader neg(v, -3);
    EXPECT_FALSE(neg.read_u8(b));
    EXPECT_FALSE(neg.skip(0));
}

TEST(CaptureReader, ReadBytesKeepsOnlyWhatFitsAndStopsAtTheEnd) {
    const unsigned char src[] = {1, 2, 3, 4};
    unsigned char dest[3] = {0, 0, 0xEE};
    pxr52::InfoReader r(src, 4);
    ASSERT_TRUE(r.read_bytes(3, dest, 2));
    EXPECT_EQ(dest[0], 1);
    EXPECT_EQ(dest[1], 2);
    EXPECT_EQ(dest[2], 0xEE);  // beyond capacity: read, not stored
    EXPECT_EQ(r.consumed(4), 3);
    unsigned char more[4] = {};
    EXPECT_FALSE(r.read_bytes(2, more, 4));  // one byte left
    EXPECT_EQ(more[0], 4);
}

TEST(CaptureDecoders, GoldenRepliesLandInTheirFields) {
    T dev;
    const pxr52_419_Data_t& c = dev.capture;
    EXPECT_EQ(run(dev, &T::parse40_42_capture, k40_42), 18);
    EXPECT_EQ(c.channel_count, 1);
    EXPECT_FLOAT_EQ(c.acChannel[0].a.get(), 220.0f);
    EXPECT_FLOAT_EQ(c.acChannel[0].c.get(), 219.5f);
    EXPECT_FLOAT_EQ(c.acChannel[0].f.get(), 50.0f);
    EXPECT_FLOAT_EQ(c.ib.get(), 10.5f);
    EXPECT_FLOAT_EQ(c.ic.get(), 9.8f);
    EXPECT_EQ(run(dev, &T::parse40_43_capture, k40_43), 7);
    EXPECT_EQ(c.airlock_count, 3);
    EXPECT_EQ(c.airlock[1], 1);
    EXPECT_EQ(run(dev, &T::parse40_44_capture, k40_44), 13);
    EXPECT_EQ(c.acChannel[0].b_alarm, 1);
    EXPECT_EQ(c.ic_alarm, 2);
    EXPECT_EQ(run(dev, &T::parse41_42_capture, k41_42), 10);
    EXPECT_FLOAT_EQ(c.rc_v.get(), 53.5f);
    EXPECT_EQ(c.rc_count, 2);
    EXPECT_FLOAT_EQ(c.rcChannel[1].i.get(), 39.99f);
    EXPECT_EQ(run(dev, &T::parse41_43_capture, k41_43), 11);
    EXPECT_EQ(c.rcChannel[0].sw_state[2], 1);
    EXPECT_EQ(c.rcChannel[1].p41_43_count, 1);
    EXPECT_EQ(c.rcChannel[1].p41_43[0], 0x0E);
    EXPECT_EQ(run(dev, &T::parse41_44_capture, k41_44), 8);
    EXPECT_EQ(c.rcChannel[1].fault, 1);
    EXPECT_EQ(c.rcChannel[1].p41_44_count, 2);
    EXPECT_EQ(c.rcChannel[1].p41_44[1], 0x81);
    EXPECT_EQ(run(dev, &T::parse42_42_capture, k42_42), 17);
    EXPECT_EQ(dev.dc_number, 1);
    EXPECT_FLOAT_EQ(c.dc(0).dc_v.get(), 53.5f);
    EXPECT_FLOAT_EQ(c.dc(0).dc_i.get(), 10.0f);
    EXPECT_EQ(c.dc(0).m_count, 2);
    EXPECT_FLOAT_EQ(c.dc(0).m[0].get(), 1.0f);
    EXPECT_TRUE(bytes_are(c.dc(0).m[1], kZero));  // 20 20: invalid reading
    EXPECT_FLOAT_EQ(c.dc(0).n[0].get(), 5.0f);
    EXPECT_FLOAT_EQ(c.dc(0).p[0].get(), 42.0f);  // unscaled
    EXPECT_EQ(run(dev, &T::parse42_44_capture, k42_44), 9);
    EXPECT_EQ(c.dc(0).alert_m_count, 3);
    EXPECT_EQ(c.dc(0).alert_m[2], 3);
    EXPECT_EQ(c.dc(0).alert_p_count, 1);
    const pxr52_419_Data_t before = dev.capture;
    EXPECT_EQ(run(dev, &T::parse42_47_capture, k42_47), 13);
    EXPECT_FLOAT_EQ(dev.dc_param1, 53.5f);
    EXPECT_FLOAT_EQ(dev.dc_param2, 50.0f);
    EXPECT_EQ(std::memcmp(&before, &dev.capture, sizeof before), 0);
    EXPECT_EQ(dev.capture.bytes()[1046], 0);  // the capture copy never gets a time stamp
}

TEST(CaptureDecoders, InvalidReadingsBecomeZeroOrTheMarker) {
    T dev;
    Bytes ac = {0x00, 0x01, 0x01, 0x20, 0x20, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x00,
                0x20, 0x20, 0x00, 0x00, 0x07, 0x07};
    ASSERT_EQ(run(dev, &T::parse40_42_capture, ac), 18);
    EXPECT_TRUE(bytes_are(dev.capture.acChannel[0].a, kZero));
    EXPECT_TRUE(bytes_are(dev.capture.acChannel[0].f, kZero));
    EXPECT_TRUE(bytes_are(dev.capture.ia, kMarker));
    EXPECT_TRUE(bytes_are(dev.capture.ib, kZero));  // 00 00 is a real zero
    EXPECT_TRUE(bytes_are(dev.capture.ic, kMarker));
    Bytes dc = {0x00, 0x01, 0x33, 0x33, 0x44, 0x44, 0x00, 0x00, 0x01, 0x20, 0x20};
    ASSERT_EQ(run(dev, &T::parse42_42_capture, dc), 11);
    EXPECT_TRUE(bytes_are(dev.capture.dc(0).dc_v, kZero));
    EXPECT_TRUE(bytes_are(dev.capture.dc(0).dc_i, kZero));
    EXPECT_TRUE(bytes_are(dev.capture.dc(0).p[0], kMarker));
    ASSERT_EQ(run(dev, &T::parse41_42_capture, Bytes{0x00, 0x55, 0x55, 0x01, 0x66, 0x66, 0x00}), 7);
    EXPECT_TRUE(bytes_are(dev.capture.rc_v, kZero));
    EXPECT_TRUE(bytes_are(dev.capture.rcChannel[0].i, kZero));
}

TEST(CaptureDecoders, RefusalRules) {
    struct Case {
        const char* what;
        Decoder decode;
        Bytes reply;
        unsigned char rc_count;  // preset in the capture record
    };
    const Bytes nine_switches = {0x00, 0x01, 0x09, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0x00};
    const Case cases[] = {
        {"AC analog screen count 2", &T::parse40_42_capture, cat({0x00, 0x02}, Bytes(k40_42.begin() + 2, k40_42.end())), 0},
        {"AC analog 3 channels", &T::parse40_42_capture, cat({0x00, 0x01, 0x03}, Bytes(60, 0x00)), 0},
        {"AC switch screen count 0", &T::parse40_43_capture, {0x00, 0x00, 0x00, 0x00}, 0},
        {"AC switch count 9", &T::parse40_43_capture, nine_switches, 0},
        {"AC alarm screen count 2", &T::parse40_44_capture, cat({0x00, 0x02}, Bytes(k40_44.begin() + 2, k40_44.end())), 0},
        {"AC alarm 3 channels", &T::parse40_44_capture, cat({0x00, 0x01, 0x03}, Bytes(40, 0x00)), 0},
        {"41 rectifiers", &T::parse41_42_capture, cat({0x00, 0x14, 0xE6, 41}, Bytes(41 * 3, 0x00)), 0},
        {"rectifier user value", &T::parse41_42_capture, {0x00, 0x14, 0xE6, 0x01, 0x0F, 0xA0, 0x01, 0x00, 0x01}, 0},
        {"rectifier analog surplus byte", &T::parse41_42_capture, cat(k41_42, {0x00}), 0},
        {"switch count above rc_count", &T::parse41_43_capture, k41_43, 1},
        {"switch count above 40", &T::parse41_43_capture, cat({0x00, 41}, Bytes(41 * 4, 0x00)), 255},
        {"alarm count above rc_count", &T::parse41_44_capture, k41_44, 1},
        {"alarm count above 40", &T::parse41_44_capture, cat({0x00, 41}, Bytes(41 * 2, 0x00)), 255},
        {"DC analog 0 screens", &T::parse42_42_capture, {0x00, 0x00}, 0},
        {"DC analog 3 screens", &T::parse42_42_capture, cat({0x00, 0x03}, Bytes(60, 0x00)), 0},
        {"DC alarm 0 screens", &T::parse42_44_capture, {0x00, 0x00}, 0},
        {"DC alarm 3 screens", &T::parse42_44_capture, cat({0x00, 0x03}, Bytes(20, 0x00)), 0},
        {"DC parameters 12 bytes", &T::parse42_47_capture, Bytes(k42_47.begin(), k42_47.end() - 1), 0},
    };
    for (const Case& c : cases) {
        T dev;
        dev.capture.rc_count = c.rc_count;
        const pxr52_419_Data_t before = dev.capture;
        EXPECT_EQ(run(dev, c.decode, c.reply), -1) << c.what;
        if (c.decode == &T::parse41_42_capture || c.decode == &T::parse42_47_capture) {
            EXPECT_EQ(std::memcmp(&before, &dev.capture, sizeof before), 0) << c.what;
            EXPECT_EQ(dev.dc_param1, 0.0f) << c.what;
        }
    }
    T dev;  // the same surplus byte after an AC analog reply is accepted, not read
    EXPECT_EQ(run(dev, &T::parse40_42_capture, cat(k40_42, {0x00})), 18);
}

TEST(CaptureDecoders, CountsAboveCapacityAreClippedAndTheRestSkippedInStep) {
    T dev;
    // Two DC screens; the first reports 3 batteries, 21 branches, 10 user values.
    Bytes dc = {0x00, 0x02, 0x14, 0xE6, 0x03, 0xE8, 3};
    for (int k = 0; k < 3; ++k) dc.insert(dc.end(), {0x00, static_cast<unsigned char>(k + 1)});
    dc.push_back(21);
    for (int k = 0; k < 21; ++k) dc.insert(dc.end(), {0x00, static_cast<unsigned char>(k + 10)});
    dc.push_back(10);
    for (int k = 0; k < 10; ++k) dc.insert(dc.end(), {0x00, static_cast<unsigned char>(k + 40)});
    dc = cat(dc, {0x13, 0x88, 0x00, 0x64, 0x00, 0x00, 0x00});  // second screen: 50.00 V, 1.00 A
    ASSERT_EQ(run(dev, &T::parse42_42_capture, dc), static_cast<int>(dc.size()));
    const dcScreen_t& s = dev.capture.dc(0);
    EXPECT_EQ(s.m_count, 2);
    EXPECT_FLOAT_EQ(s.m[1].get(), 0.02f);
    EXPECT_EQ(s.n_count, 20);
    EXPECT_FLOAT_EQ(s.n[19].get(), 0.29f);
    EXPECT_EQ(s.p_count, 9);
    EXPECT_FLOAT_EQ(s.p[8].get(), 48.0f);
    EXPECT_EQ(dev.dc_number, 2);
    EXPECT_FLOAT_EQ(dev.capture.dc(1).dc_v.get(), 50.0f);
    EXPECT_FLOAT_EQ(dev.capture.dc(1).dc_i.get(), 1.0f);

    Bytes al = {0x00, 0x02, 0x01, 43};
    for (int k = 0; k < 43; ++k) al.push_back(static_cast<unsigned char>(k));
    al.push_back(6);
    for (int k = 0; k < 6; ++k) al.push_back(static_cast<unsigned char>(0x80 + k));
    al = cat(al, {0x02, 0x01, 0x07, 0x00});
    ASSERT_EQ(run(dev, &T::parse42_44_capture, al), static_cast<int>(al.size()));
    EXPECT_EQ(dev.capture.dc(0).alert_m_count, 42);
    EXPECT_EQ(dev.capture.dc(0).alert_m[41], 41);
    EXPECT_EQ(dev.capture.dc(0).alert_p_count, 5);
    EXPECT_EQ(dev.capture.dc(0).alert_p[4], 0x84);
    EXPECT_EQ(dev.capture.dc(1).dc_v_alarm, 2);
    EXPECT_EQ(dev.capture.dc(1).alert_m[0], 7);

    dev.capture.rc_count = 3;
    const Bytes sw = {0x00, 0x02, 1, 2, 3, 3, 0xA1, 0xA2, 0xA3, 4, 5, 6, 0};
    ASSERT_EQ(run(dev, &T::parse41_43_capture, sw), 13);
    EXPECT_EQ(dev.capture.rcChannel[0].p41_43_count, 1);
    EXPECT_EQ(dev.capture.rcChannel[0].p41_43[0], 0xA1);
    EXPECT_EQ(dev.capture.rcChannel[0].fault, 0);  // the next field is not overrun
    EXPECT_EQ(dev.capture.rcChannel[1].sw_state[2], 6);
    EXPECT_EQ(dev.capture.rcChannel[2].sw_state[0], 0);  // fewer than rc_count: the rest stay zero
    Bytes fl = {0x00, 0x01, 0x09, 9};
    for (int k = 0; k < 9; ++k) fl.push_back(static_cast<unsigned char>(0x90 + k));
    ASSERT_EQ(run(dev, &T::parse41_44_capture, fl), 13);
    EXPECT_EQ(dev.capture.rcChannel[0].p41_44_count, 7);
    EXPECT_EQ(dev.capture.rcChannel[0].p41_44[6], 0x96);
    EXPECT_EQ(dev.capture.rcChannel[1].i.b[0], 0);

    // AC replies skip user-defined values and further alarm bytes they do not keep.
    const Bytes ac = {0x00, 0x01, 0x01, 0, 1, 0, 2, 0, 3, 0, 4, 2, 9, 9, 9, 9, 0, 5, 0, 6, 0, 7};
    ASSERT_EQ(run(dev, &T::parse40_42_capture, ac), 22);
    EXPECT_FLOAT_EQ(dev.capture.ia.get(), 0.05f);
    EXPECT_EQ(dev.capture.acChannel[0].p40_41_count, 0);
    const Bytes aa = {0x00, 0x01, 0x01, 1, 2, 3, 4, 2, 9, 9, 1, 9, 5, 6, 7};
    ASSERT_EQ(run(dev, &T::parse40_44_capture, aa), 15);
    EXPECT_EQ(dev.capture.acChannel[0].f_alarm, 4);
    EXPECT_EQ(dev.capture.ia_alarm, 5);
    EXPECT_EQ(dev.capture.ic_alarm, 7);
}

TEST(CaptureDecoders, CutShortSecondDcScreenIsRefusedAfterTheFirstScreen) {
    T dev;
    const Bytes two = cat(cat({0x00, 0x02}, Bytes(k42_42.begin() + 2, k42_42.end())), {0x13, 0x88, 0x00});
    EXPECT_EQ(run(dev, &T::parse42_42_capture, two), -1);
    EXPECT_EQ(dev.dc_number, 2);
    EXPECT_FLOAT_EQ(dev.capture.dc(0).dc_v.get(), 53.5f);
}

TEST(CaptureDecoders, EveryTruncatedReplyIsRefused) {
    for (const Golden& g : kGoldens) {
        for (std::size_t cut = 0; cut < g.reply->size(); ++cut) {
            T dev;
            dev.capture.rc_count = 2;
            EXPECT_EQ(run(dev, g.decode, Bytes(g.reply->begin(), g.reply->begin() + cut)), -1)
                << g.name << " cut at " << cut;
        }
    }
}

}  // namespace
