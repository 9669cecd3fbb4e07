// Poll response decoders of the rectifier group (CID1 0x41).
//
// Each decoder gets the reply from its data flag on and writes the published
// record in place, in reply order. The analog decoders store the rectifier
// count as received; the switch-state and alarm decoders walk the `rc_count`
// that the analog decoder stored earlier in the round. Rectifiers beyond the
// record's 40 are decoded into a spare entry and dropped, so neither a reply
// nor a stored count can move a write outside the record.
#include <cstdio>

#include "device/device_types.hpp"
#include "poll/reply_cursor.hpp"

using pxr52::load_f32;
using pxr52::poll::read_fl;
using pxr52::poll::read_fx;
using pxr52::poll::ReplyCursor;

namespace {

constexpr float kRcVoltageScale = 100.0f;  // fixed-point rectifier voltage: 1/100

}  // namespace

// 0x41/0x41 reply, float (4 bytes each, record byte order):
//   flag | rc_v | R | R x [ i | [T: t | t x fl] | U | U x fl | skip_41_41 bytes ]
// Two rectifiers, 53.5 V, 10 A and 12 A:
//   00   00005642   02   00002041   00   00004041   00
//   0    1          5    6          10   11         15   (16 bytes)
// Nothing is tested for the invalid marker. A negative `skip_41_41` skips
// nothing (stepping back would re-read or leave the reply).
// Returns the bytes consumed, or -1 when the layout needs more than `len`.
template <class T, unsigned int ID>
int pmbuspower_419<T, ID>::parse41_41(const unsigned char* p, int len) {
    ReplyCursor in(p, len);
    in.skip(1);  // data flag
    read_fl(in, this->data.rc_v);
    unsigned char rectifiers = 0;
    if (in.u8(rectifiers)) {
        this->data.rc_count = rectifiers;
        std::printf("parse 41_41 channel is %d\n", rectifiers);
    }

    const std::int64_t extra = this->skip_41_41 > 0 ? this->skip_41_41 : 0;
    rcChannel_t spare{};
    for (int i = 0; i < rectifiers; ++i) {
        rcChannel_t& rc = i < RC_MAX ? this->data.rcChannel[i] : spare;
        read_fl(in, rc.i);
        if (this->has_tower) {
            // The first tower value is the module temperature; it is shown,
            // not kept (the record has no place for it).
            if (in.peek(1) != nullptr) {
                const unsigned char temp[4] = {in.ahead(1), in.ahead(2), in.ahead(3), in.ahead(4)};
                std::printf("41 41 tower_count:%d temp:%f p41_41:%x %x %x %x\n", in.ahead(0),
                            static_cast<double>(load_f32(temp)), static_cast<unsigned>(temp[0]),
                            static_cast<unsigned>(temp[1]), static_cast<unsigned>(temp[2]),
                            static_cast<unsigned>(temp[3]));
            }
            const unsigned char towers = in.count();
            in.skip(4 * static_cast<std::int64_t>(towers));
        }
        unsigned char user = 0;
        if (in.u8(user)) {
            rc.p41_41_count = user;
            std::printf("41_41_count:%d\n", user);
        }
        in.skip(4 * static_cast<std::int64_t>(user));  // capacity 0: none kept
        if (extra != 0) in.skip(extra);
    }
    return in.result();
}

// 0x41/0x42 reply, fixed point (unsigned big-endian 16-bit):
//   flag | rc_v | R | R x [ i | U | U x fx ]
// Two rectifiers, 53.50 V, 10.00 A and 12.00 A:
//   00   14E6   02   03E8   00   04B0   00
//   0    1      3    4      6    7      9    (10 bytes)
// rc_v / 100, currents / the fixed-point divisor. No tower block, no
// skip_41_41, no logs. Returns the bytes consumed, or -1 when the layout
// needs more than `len`.
template <class T, unsigned int ID>
int pmbuspower_419<T, ID>::parse41_42(const unsigned char* p, int len) {
    ReplyCursor in(p, len);
    in.skip(1);  // data flag
    read_fx(in, this->data.rc_v, kRcVoltageScale);
    unsigned char rectifiers = 0;
    if (in.u8(rectifiers)) this->data.rc_count = rectifiers;

    const float divisor = static_cast<float>(this->fixed_divisor);
    rcChannel_t spare{};
    for (int i = 0; i < rectifiers; ++i) {
        rcChannel_t& rc = i < RC_MAX ? this->data.rcChannel[i] : spare;
        read_fx(in, rc.i, divisor);
        unsigned char user = 0;
        if (in.u8(user)) rc.p41_41_count = user;
        in.skip(2 * static_cast<std::int64_t>(user));  // capacity 0: none kept
    }
    return in.result();
}

// 0x41/0x43 reply, rectifier switch states, one block per stored rectifier:
//   flag | count (not read) | rc_count x [ 3 states | [T: t | t bytes] | U | U bytes ]
// Two rectifiers, the second with one user state:
//   00   02   00 01 00   00   01 01 00   01   01
//   0    1    2          5    6          9    10   (11 bytes)
// A user count of at most 1 is kept in `p41_43`; a larger one is skipped.
// Returns the bytes consumed, or -1 when the layout needs more than `len`.
template <class T, unsigned int ID>
int pmbuspower_419<T, ID>::parse41_43(const unsigned char* p, int len) {
    ReplyCursor in(p, len);
    in.skip(2);  // data flag, the reply's own rectifier count
    const int rectifiers = this->data.rc_count;
    rcChannel_t spare{};
    for (int i = 0; i < rectifiers; ++i) {
        rcChannel_t& rc = i < RC_MAX ? this->data.rcChannel[i] : spare;
        in.u8(rc.sw_state[0]);
        in.u8(rc.sw_state[1]);
        in.u8(rc.sw_state[2]);
        if (this->has_tower) in.skip(in.count());
        unsigned char user = 0;
        if (in.u8(user)) rc.p41_43_count = user;
        if (user <= P41_43_SIZE) {
            for (int k = 0; k < user; ++k) in.u8(rc.p41_43[k]);
        } else {
            in.skip(user);
        }
    }
    return in.result();
}

// 0x41/0x44 reply, rectifier alarms, one block per stored rectifier:
//   flag | count (not read) | rc_count x [ fault | [T: t | t bytes] | U | U bytes ]
// Two rectifiers, the second with two user alarm bytes:
//   00   02   00   00   01   02   00 01
//   0    1    2    3    4    5    6      (8 bytes)
// 1 to 7 user bytes are kept in `p41_44` from index t (the tower count, 0
// without tower); bytes whose index reaches 7 are consumed, not kept.
// Returns the bytes consumed, or -1 when the layout needs more than `len`.
template <class T, unsigned int ID>
int pmbuspower_419<T, ID>::parse41_44(const unsigned char* p, int len) {
    ReplyCursor in(p, len);
    in.skip(2);  // data flag, the reply's own rectifier count
    const int rectifiers = this->data.rc_count;
    rcChannel_t spare{};
    for (int i = 0; i < rectifiers; ++i) {
        rcChannel_t& rc = i < RC_MAX ? this->data.rcChannel[i] : spare;
        in.u8(rc.fault);
        unsigned char towers = 0;
        if (this->has_tower) {
            towers = in.count();
            in.skip(towers);
        }
        unsigned char user = 0;
        if (in.u8(user)) rc.p41_44_count = user;
        if (user >= 1 && user <= P41_44_SIZE) {
            for (int k = 0; k < user; ++k) {
                const int at = towers + k;
                if (at < P41_44_SIZE)
                    in.u8(rc.p41_44[at]);
                else
                    in.skip(1);
            }
        } else {
            in.skip(user);
        }
    }
    return in.result();
}

template int PowerDevice::parse41_41(const unsigned char*, int);
template int PowerDevice::parse41_42(const unsigned char*, int);
template int PowerDevice::parse41_43(const unsigned char*, int);
template int PowerDevice::parse41_44(const unsigned char*, int);
