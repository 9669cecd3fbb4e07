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

TEST(CaptureReader, FailedReadsLeaveTheCursorBigEndianAndAbsentValues) {
    const unsigned char v[] = {0x01, 0x02, 0x20, 0x20, 0x00, 0x00, 0x12, 0x34, 0x07};
    pxr52::InfoReader r(v, sizeof v);
    float f = 0.0f;
    std::uint16_t w = 0;
    unsigned char b = 0;
    ASSERT_TRUE(r.read_fixed(f, 100.0f, -0.1f));
    EXPECT_FLOAT_EQ(f, 2.58f);
    ASSERT_TRUE(r.read_fixed(f, 100.0f, -0.1f));
    EXPECT_FLOAT_EQ(f, -0.1f);
    ASSERT_TRUE(r.read_fixed(f, 100.0f, -0.1f));
    EXPECT_EQ(f, 0.0f);  // 00 00 is a real zero
    ASSERT_TRUE(r.read_u16(w));
    EXPECT_EQ(w, 0x1234);
    EXPECT_FALSE(r.read_u16(w) || r.read_fixed(f, 1.0f, 0.0f) || r.skip(2) || r.skip(-1));
    EXPECT_EQ(r.consumed(sizeof v), 8);  // the failed reads did not move it
    ASSERT_TRUE(r.read_u8(b));
    EXPECT_EQ(b, 0x07);
    EXPECT_FALSE(r.read_u8(b));
    EXPECT_FALSE(pxr52::InfoReader(v, -3).read_u8(b));

    unsigned char dest[4] = {0, 0, 0xEE, 0};
    pxr52::InfoReader q(v, 4);
    ASSERT_TRUE(q.read_bytes(3, dest, 2));  // the third byte is read, not stored
    EXPECT_EQ(Bytes(dest, dest + 3), (Bytes{0x01, 0x02, 0xEE}));
    EXPECT_FALSE(q.read_bytes(2, dest, 4));  // one byte left: stored, then failure
    EXPECT_EQ(dest[0], 0x20);
}

// All nine golden replies into one capture record, read back at the record
// offsets the host relies on.
TEST(CaptureDecoders, GoldenRepliesLandAtTheirRecordOffsets) {
    T dev;
    for (const Golden& g : kGoldens)
        EXPECT_EQ(run(dev, g.decode, *g.reply), static_cast<int>(g.reply->size())) << g.name;
    const unsigned char* rec = dev.capture.bytes();
    const struct {
        int offset;
        float value;
    } floats[] = {{41, 220.0f},  {49, 219.5f}, {53, 50.0f},  {12, 10.5f},  {16, 9.8f},
                  {85, 53.5f},   {109, 39.99f}, {854, 53.5f}, {858, 10.0f}, {863, 1.0f},
                  {867, 0.0f},   {872, 5.0f},  {953, 42.0f}};
    for (const auto& f : floats) EXPECT_FLOAT_EQ(pxr52::load_f32(rec + f.offset), f.value) << f.offset;
    const struct {
        int offset;
        unsigned char value;
    } bytes[] = {{20, 1},  {21, 3},   {23, 1},  {59, 1},  {33, 2},    {89, 2},  {97, 1},
                 {117, 1}, {118, 14}, {119, 1}, {120, 2}, {122, 0x81}, {862, 2}, {871, 1},
                 {952, 1}, {990, 3},  {993, 3}, {1033, 1}, {1046, 0}};
    for (const auto& b : bytes) EXPECT_EQ(rec[b.offset], b.value) << b.offset;
    EXPECT_EQ(dev.dc_number, 1);
    EXPECT_FLOAT_EQ(dev.dc_param1, 53.5f);
    EXPECT_FLOAT_EQ(dev.dc_param2, 50.0f);
}

TEST(CaptureDecoders, InvalidReadingsBecomeZeroOrTheMarker) {
    T dev;
    const Bytes ac = {0x00, 0x01, 0x01, 0x20, 0x20, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x00,
                      0x20, 0x20, 0x00, 0x00, 0x07, 0x07};
    ASSERT_EQ(run(dev, &T::parse40_42_capture, ac), 18);
    EXPECT_TRUE(bytes_are(dev.capture.acChannel[0].a, kZero));
    EXPECT_TRUE(bytes_are(dev.capture.acChannel[0].f, kZero));
    EXPECT_TRUE(bytes_are(dev.capture.ia, kMarker));
    EXPECT_TRUE(bytes_are(dev.capture.ib, kZero));
    EXPECT_TRUE(bytes_are(dev.capture.ic, kMarker));
    const Bytes dc = {0x00, 0x01, 0x33, 0x33, 0x44, 0x44, 0x00, 0x00, 0x01, 0x20, 0x20};
    ASSERT_EQ(run(dev, &T::parse42_42_capture, dc), 11);
    EXPECT_TRUE(bytes_are(dev.capture.dc(0).dc_v, kZero));
    EXPECT_TRUE(bytes_are(dev.capture.dc(0).dc_i, kZero));
    EXPECT_TRUE(bytes_are(dev.capture.dc(0).p[0], kMarker));
    ASSERT_EQ(run(dev, &T::parse41_42_capture, {0x00, 0x55, 0x55, 0x01, 0x66, 0x66, 0x00}), 7);
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
    const auto with_screens = [](unsigned char screens, const Bytes& r) {
        return cat({0x00, screens}, Bytes(r.begin() + 2, r.end()));
    };
    const Bytes nine_switches = {0x00, 0x01, 0x09, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0x00};
    const Case cases[] = {
        {"AC analog screen count 2", &T::parse40_42_capture, with_screens(2, k40_42), 0},
        {"AC analog 3 channels", &T::parse40_42_capture, cat({0x00, 0x01, 0x03}, Bytes(60, 0x00)), 0},
        {"AC switch screen count 0", &T::parse40_43_capture, {0x00, 0x00, 0x00, 0x00}, 0},
        {"AC switch count 9", &T::parse40_43_capture, nine_switches, 0},
        {"AC alarm screen count 2", &T::parse40_44_capture, with_screens(2, k40_44), 0},
        {"AC alarm 3 channels", &T::parse40_44_capture, cat({0x00, 0x01, 0x03}, Bytes(40, 0x00)), 0},
        {"41 rectifiers", &T::parse41_42_capture, cat({0x00, 0x14, 0xE6, 41}, Bytes(41 * 3, 0x00)), 0},
        {"rectifier user value", &T::parse41_42_capture, {0x00, 0x14, 0xE6, 1, 0x0F, 0xA0, 1, 0x00, 0x01}, 0},
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

// n values counting up from `first`, as fixed-point words or plain bytes.
Bytes run_of(int n, int first, bool words) {
    Bytes b;
    for (int k = 0; k < n; ++k) {
        if (words) b.push_back(0x00);
        b.push_back(static_cast<unsigned char>(first + k));
    }
    return b;
}

TEST(CaptureDecoders, CountsAboveCapacityAreClippedAndTheRestSkippedInStep) {
    T dev;
    // Two DC screens; the first reports 3 batteries, 21 branches, 10 user
    // values; the second screen must still be read from the right place.
    Bytes dc = cat({0x00, 0x02, 0x14, 0xE6, 0x03, 0xE8, 3}, run_of(3, 1, true));
    dc = cat(cat(dc, cat({21}, run_of(21, 10, true))), cat({10}, run_of(10, 40, true)));
    dc = cat(dc, {0x13, 0x88, 0x00, 0x64, 0x00, 0x00, 0x00});
    ASSERT_EQ(run(dev, &T::parse42_42_capture, dc), static_cast<int>(dc.size()));
    const dcScreen_t& s0 = dev.capture.dc(0);
    EXPECT_EQ(std::vector<int>({s0.m_count, s0.n_count, s0.p_count}), std::vector<int>({2, 20, 9}));
    EXPECT_FLOAT_EQ(s0.m[1].get(), 0.02f);
    EXPECT_FLOAT_EQ(s0.n[19].get(), 0.29f);
    EXPECT_FLOAT_EQ(s0.p[8].get(), 48.0f);
    EXPECT_FLOAT_EQ(dev.capture.dc(1).dc_v.get(), 50.0f);
    EXPECT_EQ(dev.dc_number, 2);

    Bytes al = cat(cat({0x00, 0x02, 0x01, 43}, run_of(43, 0, false)), cat({6}, run_of(6, 0x80, false)));
    al = cat(al, {0x02, 0x01, 0x07, 0x00});
    ASSERT_EQ(run(dev, &T::parse42_44_capture, al), static_cast<int>(al.size()));
    EXPECT_EQ(dev.capture.dc(0).alert_m_count, 42);
    EXPECT_EQ(dev.capture.dc(0).alert_m[41], 41);
    EXPECT_EQ(dev.capture.dc(0).alert_p_count, 5);
    EXPECT_EQ(dev.capture.dc(0).alert_p[4], 0x84);
    EXPECT_EQ(dev.capture.dc(1).alert_m[0], 7);

    dev.capture.rc_count = 3;  // two listed: the third keeps zero
    ASSERT_EQ(run(dev, &T::parse41_43_capture, {0x00, 0x02, 1, 2, 3, 3, 0xA1, 0xA2, 0xA3, 4, 5, 6, 0}), 13);
    EXPECT_EQ(dev.capture.rcChannel[0].p41_43_count, 1);
    EXPECT_EQ(dev.capture.rcChannel[0].p41_43[0], 0xA1);
    EXPECT_EQ(dev.capture.rcChannel[0].fault, 0);
    EXPECT_EQ(dev.capture.rcChannel[1].sw_state[2], 6);
    EXPECT_EQ(dev.capture.rcChannel[2].sw_state[0], 0);
    ASSERT_EQ(run(dev, &T::parse41_44_capture, cat({0x00, 0x01, 0x09, 9}, run_of(9, 0x90, false))), 13);
    EXPECT_EQ(dev.capture.rcChannel[0].p41_44_count, 7);
    EXPECT_EQ(dev.capture.rcChannel[0].p41_44[6], 0x96);
    EXPECT_EQ(dev.capture.rcChannel[1].i.b[0], 0);

    // The AC replies skip user-defined values and extra alarm bytes.
    const Bytes ac = {0x00, 0x01, 0x01, 0, 1, 0, 2, 0, 3, 0, 4, 2, 9, 9, 9, 9, 0, 5, 0, 6, 0, 7};
    ASSERT_EQ(run(dev, &T::parse40_42_capture, ac), 22);
    EXPECT_FLOAT_EQ(dev.capture.ia.get(), 0.05f);
    ASSERT_EQ(run(dev, &T::parse40_44_capture, {0x00, 0x01, 0x01, 1, 2, 3, 4, 2, 9, 9, 1, 9, 5, 6, 7}), 15);
    EXPECT_EQ(dev.capture.acChannel[0].f_alarm, 4);
    EXPECT_EQ(dev.capture.ia_alarm, 5);
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
