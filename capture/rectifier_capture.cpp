// Capture decoders of the rectifier replies (command group 0x41).
//
// Same contract as the AC decoders (capture/ac_capture.cpp): bytes consumed,
// or -1 when the reply is refused. The switch and alarm replies may list no
// more rectifiers than the analog reply of the same round reported
// (`rc_count` of the capture record, zero until that reply was decoded).
#include <cstring>

#include "capture/capture_values.hpp"
#include "device/tarnel_brelm_pxr52_419.hpp"

using pxr52::clip_count;
using pxr52::InfoReader;
using pxr52::kAbsentZero;
using pxr52::kHundredths;

namespace {

// Data flag and rectifier count of a switch or alarm reply; false when a byte
// is missing or the count exceeds this round's `rc_count` or RC_MAX.
bool read_rc_header(InfoReader& r, unsigned char rc_count, unsigned char& count) {
    unsigned char flag = 0;
    if (!r.read_u8(flag) || !r.read_u8(count)) return false;
    return count <= rc_count && count <= RC_MAX;
}

}  // namespace

// 0x41/0x42 reply, two rectifiers (hundredths of V and A):
//   flag | voltage | R | current U | current U
//   00     14 E6     02  0F A0   00  0F 9F   00
//   0      1         3   4       6   7       9      (10 bytes, nothing may follow)
// All or nothing: rc_v, rc_count and every rectifier record (switch and alarm
// bytes included) are replaced only when the whole reply is good.
int Tarnel_BRELM_PXR52_419::parse41_42_capture(const unsigned char* info, int len) {
    rcChannel_t scratch[RC_MAX] = {};
    InfoReader r(info, len);
    unsigned char flag = 0;
    float voltage = 0.0f;
    unsigned char count = 0;
    if (!r.read_u8(flag) || !r.read_fixed(voltage, kHundredths, kAbsentZero) || !r.read_u8(count))
        return -1;
    if (count > RC_MAX) return -1;
    for (int i = 0; i < count; ++i) {
        float current = 0.0f;
        unsigned char user = 0;
        if (!r.read_fixed(current, kHundredths, kAbsentZero) || !r.read_u8(user)) return -1;
        if (user > P41_41_SIZE || !r.skip(2 * user)) return -1;
        scratch[i].i.set(current);
        scratch[i].p41_41_count = 0;
    }
    if (r.consumed(len) != len) return -1;
    capture.rc_v.set(voltage);
    capture.rc_count = count;
    static_assert(sizeof scratch == sizeof capture.rcChannel, "scratch covers every rectifier");
    std::memcpy(capture.rcChannel, scratch, sizeof scratch);
    return r.consumed(len);
}

// 0x41/0x43 reply, two rectifiers:
//   flag R2 | s0 s1 s2 U | s0 s1 s2 U  u0
//   00   02   00 00 01 00  00 01 00 01 0E
//   0    1    2        5   6        9  10     (11 bytes)
// At most P41_43_SIZE user-defined states are kept; the count is clipped.
int Tarnel_BRELM_PXR52_419::parse41_43_capture(const unsigned char* info, int len) {
    InfoReader r(info, len);
    unsigned char count = 0;
    if (!read_rc_header(r, capture.rc_count, count)) return -1;
    for (int i = 0; i < count; ++i) {
        rcChannel_t& rc = capture.rcChannel[i];
        unsigned char user = 0;
        if (!r.read_bytes(sizeof rc.sw_state, rc.sw_state, sizeof rc.sw_state) || !r.read_u8(user))
            return -1;
        rc.p41_43_count = clip_count(user, P41_43_SIZE);
        if (!r.read_bytes(user, rc.p41_43, P41_43_SIZE)) return -1;
    }
    return r.consumed(len);
}

// 0x41/0x44 reply, two rectifiers:
//   flag R2 | fault U | fault U  u0 u1
//   00   02   00    00  01    02 80 81
//   0    1    2     3   4     5  6        (8 bytes)
// At most P41_44_SIZE user-defined alarm bytes are kept; the count is clipped.
int Tarnel_BRELM_PXR52_419::parse41_44_capture(const unsigned char* info, int len) {
    InfoReader r(info, len);
    unsigned char count = 0;
    if (!read_rc_header(r, capture.rc_count, count)) return -1;
    for (int i = 0; i < count; ++i) {
        rcChannel_t& rc = capture.rcChannel[i];
        unsigned char user = 0;
        if (!r.read_u8(rc.fault) || !r.read_u8(user)) return -1;
        rc.p41_44_count = clip_count(user, P41_44_SIZE);
        if (!r.read_bytes(user, rc.p41_44, P41_44_SIZE)) return -1;
    }
    return r.consumed(len);
}
