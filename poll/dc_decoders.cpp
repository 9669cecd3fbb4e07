// Poll response decoders of the DC distribution group (CID1 0x42), one
// screen per call: the plain names fill `dc[0]`, the _2 names `dc[1]` from
// the first byte after what the first-screen decoder consumed.
//
// Counts are stored as received; arrays take at most their capacity (a
// larger battery or branch count is skipped whole, alarm bytes are clipped),
// so no count can move a write outside the screen.
#include <cstdio>

#include "device/device_types.hpp"
#include "poll/reply_cursor.hpp"

using pxr52::poll::kInvalidMarker;
using pxr52::poll::read_fl;
using pxr52::poll::read_fl_tested;
using pxr52::poll::read_fx;
using pxr52::poll::read_fx_tested;
using pxr52::poll::ReplyCursor;

namespace {

constexpr float kDcFxScale = 100.0f;    // fixed-point voltage, battery and branch currents: 1/100
constexpr float kDcUserFxScale = 1.0f;  // fixed-point user-defined values: unscaled

void log_dc_head(const dcScreen_t& s) {
    std::printf("parse42_41 %f %f\n", static_cast<double>(s.dc_v.get()),
                static_cast<double>(s.dc_i.get()));
}

// Float analog block of one screen:
//   dc_v | dc_i | M | M x fl | N | N x fl | P | P x fl
// One battery group, two branches, no user values (53.5 V, 20 A, 5 A; 7 A, 8 A):
//   00005642   0000A041   01   0000A040   02   0000E040 00000041   00
//   0          4          8    9          13   14                  22   (23 bytes)
// dc_i is multiplied by `adjust`. M above 2 / N above 20: the values are
// skipped. P above 9: nothing more is read and the whole input counts as
// consumed. Invalid user values become -0.1; nothing else is tested.
int decode_dc_analog_fl(dcScreen_t& s, const unsigned char* p, int len, int adjust) {
    ReplyCursor in(p, len);
    const bool head = read_fl(in, s.dc_v);
    if (read_fl(in, s.dc_i)) {
        if (adjust != 1) s.dc_i.set(s.dc_i.get() * static_cast<float>(adjust));
        if (head) log_dc_head(s);
    }
    unsigned char groups = 0;
    if (in.u8(groups)) s.m_count = groups;
    if (groups > M_SIZE) {
        in.skip(4 * static_cast<std::int64_t>(groups));
    } else {
        for (int k = 0; k < groups; ++k) read_fl(in, s.m[k]);
    }
    unsigned char branches = 0;
    if (in.u8(branches)) s.n_count = branches;
    if (branches > N_SIZE) {
        in.skip(4 * static_cast<std::int64_t>(branches));
    } else {
        for (int k = 0; k < branches; ++k) read_fl(in, s.n[k]);
    }
    unsigned char user = 0;
    if (in.u8(user)) {
        s.p_count = user;
        if (user > P_SIZE) return in.available();
    }
    for (int k = 0; k < user; ++k) read_fl_tested(in, s.p[k], kInvalidMarker);
    return in.result();
}

// Fixed-point analog block of one screen (unsigned big-endian 16-bit):
//   dc_v | dc_i | M | M x fx | N | N x fx | P | P x fx
// One battery group, two branches, one user value (53.50 V, 20.00 A, 5.00 A;
// 7.00 A, 8.00 A; 25):
//   14E6   07D0   01   01F4   02   02BC 0320   01   0019
//   0      2      4    5      7    8           12   13    (15 bytes)
// dc_v, m, n / 100; dc_i / `divisor`; p unscaled, an invalid one -0.1.
// Counts as in the float block, 2 bytes per skipped value.
int decode_dc_analog_fx(dcScreen_t& s, const unsigned char* p, int len, float divisor) {
    ReplyCursor in(p, len);
    const bool head = read_fx(in, s.dc_v, kDcFxScale);
    if (read_fx(in, s.dc_i, divisor) && head) log_dc_head(s);
    unsigned char groups = 0;
    if (in.u8(groups)) s.m_count = groups;
    if (groups > M_SIZE) {
        in.skip(2 * static_cast<std::int64_t>(groups));
    } else {
        for (int k = 0; k < groups; ++k) read_fx(in, s.m[k], kDcFxScale);
    }
    unsigned char branches = 0;
    if (in.u8(branches)) s.n_count = branches;
    if (branches > N_SIZE) {
        in.skip(2 * static_cast<std::int64_t>(branches));
    } else {
        for (int k = 0; k < branches; ++k) read_fx(in, s.n[k], kDcFxScale);
    }
    unsigned char user = 0;
    if (in.u8(user)) {
        s.p_count = user;
        if (user > P_SIZE) return in.available();
    }
    for (int k = 0; k < user; ++k) read_fx_tested(in, s.p[k], kDcUserFxScale, kInvalidMarker);
    return in.result();
}

// Alarm block of one screen:
//   voltage alarm | M | M fuse bytes | P | P user bytes
//   00   03   00 00 01   01   00
//   0    1    2          5    6    (7 bytes)
// The first 42 fuse bytes and the first 5 user bytes are kept; the rest are
// consumed. Returns the bytes consumed, or -1 when the layout needs more.
int decode_dc_alarms(dcScreen_t& s, const unsigned char* p, int len) {
    ReplyCursor in(p, len);
    in.u8(s.dc_v_alarm);
    unsigned char fuses = 0;
    if (in.u8(fuses)) s.alert_m_count = fuses;
    const int kept_fuses = fuses < ALERT_M_SIZE ? fuses : ALERT_M_SIZE;
    for (int k = 0; k < kept_fuses; ++k) in.u8(s.alert_m[k]);
    in.skip(fuses - kept_fuses);
    unsigned char user = 0;
    if (in.u8(user)) s.alert_p_count = user;
    const int kept_user = user < ALERT_P_SIZE ? user : ALERT_P_SIZE;
    for (int k = 0; k < kept_user; ++k) in.u8(s.alert_p[k]);
    in.skip(user - kept_user);
    return in.result();
}

}  // namespace

template <class T, unsigned int ID>
int pmbuspower_419<T, ID>::parse42_41(const unsigned char* p, int len) {
    return decode_dc_analog_fl(this->data.dc(0), p, len, this->dc_i_adjust);
}

template <class T, unsigned int ID>
int pmbuspower_419<T, ID>::parse42_41_2(const unsigned char* p, int len) {
    return decode_dc_analog_fl(this->data.dc(1), p, len, this->dc_i_adjust);
}

template <class T, unsigned int ID>
int pmbuspower_419<T, ID>::parse42_42(const unsigned char* p, int len) {
    return decode_dc_analog_fx(this->data.dc(0), p, len, static_cast<float>(this->fixed_divisor));
}

template <class T, unsigned int ID>
int pmbuspower_419<T, ID>::parse42_42_2(const unsigned char* p, int len) {
    return decode_dc_analog_fx(this->data.dc(1), p, len, static_cast<float>(this->fixed_divisor));
}

template <class T, unsigned int ID>
int pmbuspower_419<T, ID>::parse42_44(const unsigned char* p, int len) {
    return decode_dc_alarms(this->data.dc(0), p, len);
}

template <class T, unsigned int ID>
int pmbuspower_419<T, ID>::parse42_44_2(const unsigned char* p, int len) {
    return decode_dc_alarms(this->data.dc(1), p, len);
}

template int PowerDevice::parse42_41(const unsigned char*, int);
template int PowerDevice::parse42_41_2(const unsigned char*, int);
template int PowerDevice::parse42_42(const unsigned char*, int);
template int PowerDevice::parse42_42_2(const unsigned char*, int);
template int PowerDevice::parse42_44(const unsigned char*, int);
template int PowerDevice::parse42_44_2(const unsigned char*, int);
