// Capture decoders of the DC distribution replies (command group 0x42).
//
// Same contract as the AC decoders (capture/ac_capture.cpp): bytes consumed,
// or -1 when the reply is refused. The analog and alarm replies carry one or
// two screens; the screen count goes to `dc_number` as soon as it is read, so
// it holds the count of the last DC reply even when that reply was refused.
// Counts that only exceed a storage capacity are not errors: every value is
// read so the cursor stays in step, the first `capacity` are kept and the
// stored count is clipped.
#include "capture/capture_values.hpp"
#include "device/tarnel_brelm_pxr52_419.hpp"

using pxr52::clip_count;
using pxr52::InfoReader;
using pxr52::kAbsentMarker;
using pxr52::kAbsentZero;
using pxr52::kHundredths;
using pxr52::kUnscaled;
using pxr52::read_fixed_to;

namespace {

constexpr unsigned char kMaxScreens = 2;

// A counted list of fixed-point values: the count byte, then `count` values.
// Stores the clipped count and the values that fit; false at the first
// missing byte (values stored before it stay).
bool read_fixed_list(InfoReader& r, unsigned char& count_field, pxr52::le_f32* values,
                     int capacity, float divisor, float absent) {
    unsigned char count = 0;
    if (!r.read_u8(count)) return false;
    count_field = clip_count(count, capacity);
    for (int k = 0; k < count; ++k) {
        float v = 0.0f;
        if (!r.read_fixed(v, divisor, absent)) return false;
        if (k < capacity) values[k].set(v);
    }
    return true;
}

// One screen of the analog reply:
//   dc_v  dc_i  | M  M x fx | N  N x fx | P  P x fx (unscaled)
bool read_dc_analog(InfoReader& r, dcScreen_t& s) {
    float v = 0.0f;
    float i = 0.0f;
    if (!r.read_fixed(v, kHundredths, kAbsentZero) || !r.read_fixed(i, kHundredths, kAbsentZero))
        return false;
    s.dc_v.set(v);
    s.dc_i.set(i);
    return read_fixed_list(r, s.m_count, s.m, M_SIZE, kHundredths, kAbsentZero) &&
           read_fixed_list(r, s.n_count, s.n, N_SIZE, kHundredths, kAbsentZero) &&
           read_fixed_list(r, s.p_count, s.p, P_SIZE, kUnscaled, kAbsentMarker);
}

// One screen of the alarm reply:
//   voltage alarm | M  M bytes | P  P bytes
bool read_dc_alarms(InfoReader& r, dcScreen_t& s) {
    unsigned char count = 0;
    if (!r.read_u8(s.dc_v_alarm) || !r.read_u8(count)) return false;
    s.alert_m_count = clip_count(count, ALERT_M_SIZE);
    if (!r.read_bytes(count, s.alert_m, ALERT_M_SIZE)) return false;
    if (!r.read_u8(count)) return false;
    s.alert_p_count = clip_count(count, ALERT_P_SIZE);
    return r.read_bytes(count, s.alert_p, ALERT_P_SIZE);
}

// Data flag and screen count (1 or 2) of the analog and alarm replies; a
// valid count is stored in `dc_number` at once, before any screen is read.
bool read_dc_header(InfoReader& r, int& dc_number, unsigned char& screens) {
    unsigned char flag = 0;
    if (!r.read_u8(flag) || !r.read_u8(screens)) return false;
    if (screens < 1 || screens > kMaxScreens) return false;
    dc_number = screens;
    return true;
}

}  // namespace

// 0x42/0x42 reply, one screen (hundredths of V and A; user values unscaled):
//   flag S | dc_v  dc_i  M  m0    m1    N  n0    P  p0
//   00   01  14 E6 03 E8 02 00 64 20 20 01 01 F4 01 00 2A
//   0    1   2     4     6  7     9     11 12    14 15       (17 bytes)
// m1 = 20 20 is an invalid reading (stored as 0.0); a second screen follows
// the first in the same layout when S = 2.
int Tarnel_BRELM_PXR52_419::parse42_42_capture(const unsigned char* info, int len) {
    InfoReader r(info, len);
    unsigned char screens = 0;
    if (!read_dc_header(r, dc_number, screens)) return -1;
    for (int k = 0; k < screens; ++k)
        if (!read_dc_analog(r, capture.dc(k))) return -1;
    return r.consumed(len);
}

// 0x42/0x44 reply, one screen:
//   flag S | v_alarm M  alert_m   P  alert_p
//   00   01  00      03 00 00 03  01 00
//   0    1   2       3  4         7  8       (9 bytes)
int Tarnel_BRELM_PXR52_419::parse42_44_capture(const unsigned char* info, int len) {
    InfoReader r(info, len);
    unsigned char screens = 0;
    if (!read_dc_header(r, dc_number, screens)) return -1;
    for (int k = 0; k < screens; ++k)
        if (!read_dc_alarms(r, capture.dc(k))) return -1;
    return r.consumed(len);
}

// 0x42/0x47 reply (two parameters in hundredths, the rest not interpreted):
//   9 bytes                    | word 1 | word 2
//   00 00 00 00 00 00 00 00 00   14 E6    13 88
//   0                            9        11      (13 bytes)
// Writes dc_param1 and dc_param2 only; the record is not touched.
int Tarnel_BRELM_PXR52_419::parse42_47_capture(const unsigned char* info, int len) {
    constexpr int kUninterpreted = 9;
    InfoReader r(info, len);
    std::uint16_t w1 = 0;
    std::uint16_t w2 = 0;
    if (!r.skip(kUninterpreted) || !r.read_u16(w1) || !r.read_u16(w2)) return -1;
    dc_param1 = static_cast<float>(w1) / kHundredths;
    dc_param2 = static_cast<float>(w2) / kHundredths;
    return r.consumed(len);
}
