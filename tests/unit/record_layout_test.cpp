// The record's byte layout, read through the field accessors.
#include <cstring>

#include <gtest/gtest.h>

#include "device/record.hpp"

namespace {

TEST(RecordLayout, FieldsLandAtTheirOffsetsLittleEndian) {
    pxr52_419_Data_t rec{};
    rec.data_id.set(0x01020304u);
    rec.ia.set(-0.1f);
    rec.acChannel[1].a.set(220.5f);
    rec.rcChannel[39].p41_44[6] = 0x86;
    rec.dc(1).alert_p[4] = 0x84;
    rec.p80_42[1].set(1.0f);
    const unsigned char* b = rec.bytes();
    EXPECT_EQ(b[0], 0x04);
    EXPECT_EQ(b[3], 0x01);
    const unsigned char marker[4] = {0xCD, 0xCC, 0xCC, 0xBD};
    EXPECT_EQ(std::memcmp(b + 8, marker, 4), 0);
    EXPECT_FLOAT_EQ(pxr52::load_f32(b + 63), 220.5f);
    EXPECT_EQ(b[90 + 19 * 39 + 12 + 6], 0x86);
    EXPECT_EQ(b[1053 + 184 + 4], 0x84);
    const unsigned char one[4] = {0x00, 0x00, 0x80, 0x3F};
    EXPECT_EQ(std::memcmp(b + 1253, one, 4), 0);
}

TEST(RecordLayout, UnalignedFloatsRoundTripAtEveryOffset) {
    unsigned char buf[16] = {};
    for (int off = 0; off < 8; ++off) {
        pxr52::store_f32(buf + off, 53.5f);
        EXPECT_FLOAT_EQ(pxr52::load_f32(buf + off), 53.5f);
    }
}

TEST(RecordLayout, DimensionConstants) {
    EXPECT_EQ(AIRLOCK_MAX, 8);
    EXPECT_EQ(P40_43_SIZE, 0);
    EXPECT_EQ(P41_43_SIZE, 1);
    EXPECT_EQ(P41_44_SIZE, 7);
    EXPECT_EQ((tele_c_pmbuspower_dc<2, 20, 9, 42, 5>::ALERT_M_SIZE()), 42);
    EXPECT_EQ(N_SIZE, 20);
    EXPECT_EQ(P_SIZE, 9);
    EXPECT_EQ(ALERT_P_SIZE, 5);
}

}  // namespace
