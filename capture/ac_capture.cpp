// Capture decoders of the AC distribution replies (command group 0x40).
//
// Each decoder reads the information bytes of one response through an
// InfoReader, writes the capture record and returns the number of bytes it
// consumed, or -1 when the reply does not have the expected layout. Bytes
// after the expected layout are accepted and left unread. A refused reply
// may have written some fields already; the capture round puts the record
// back as it was before the reply (capture/capture_round.cpp).
#include "capture/capture_values.hpp"
#include "device/tarnel_brelm_pxr52_419.hpp"

using pxr52::InfoReader;
using pxr52::kAbsentMarker;
using pxr52::kAbsentZero;
using pxr52::kHundredths;
using pxr52::read_fixed_to;

namespace {

// The AC replies describe exactly one AC distribution screen.
constexpr unsigned char kAcScreens = 1;

// Data flag, screen count (must be 1) and channel count (at most the record's
// CHANNEL_MAX); false when a byte is missing or a check fails.
bool read_ac_header(InfoReader& r, unsigned char& channels) {
    unsigned char flag = 0;
    unsigned char screens = 0;
    if (!r.read_u8(flag) || !r.read_u8(screens) || !r.read_u8(channels)) return false;
    return screens == kAcScreens && channels <= CHANNEL_MAX;
}

}  // namespace

// 0x40/0x42 reply, one channel (hundredths of V, Hz and A):
//   flag scr C | a     b     c     f     U | ia    ib    ic
//   00   01  01  55 F0 56 54 55 BE 13 88 00  03 E8 04 1A 03 D4
//   0    1   2   3     5     7     9     11  12    14    16      (18 bytes)
// U user-defined values of 2 bytes each follow U; none is kept.
int Tarnel_BRELM_PXR52_419::parse40_42_capture(const unsigned char* info, int len) {
    InfoReader r(info, len);
    unsigned char channels = 0;
    if (!read_ac_header(r, channels)) return -1;
    capture.channel_count = channels;
    for (int i = 0; i < channels; ++i) {
        acChannel_t& ch = capture.acChannel[i];
        if (!read_fixed_to(r, ch.a, kHundredths, kAbsentZero) ||
            !read_fixed_to(r, ch.b, kHundredths, kAbsentZero) ||
            !read_fixed_to(r, ch.c, kHundredths, kAbsentZero) ||
            !read_fixed_to(r, ch.f, kHundredths, kAbsentZero))
            return -1;
        unsigned char user = 0;
        if (!r.read_u8(user) || !r.skip(2 * user)) return -1;
        ch.p40_41_count = 0;
    }
    if (!read_fixed_to(r, capture.ia, kHundredths, kAbsentMarker) ||
        !read_fixed_to(r, capture.ib, kHundredths, kAbsentMarker) ||
        !read_fixed_to(r, capture.ic, kHundredths, kAbsentMarker))
        return -1;
    return r.consumed(len);
}

// 0x40/0x43 reply, three switches:
//   flag scr K | states   | U | U bytes
//   00   01  03  00 01 00   00
//   0    1   2   3          6        (7 bytes)
int Tarnel_BRELM_PXR52_419::parse40_43_capture(const unsigned char* info, int len) {
    InfoReader r(info, len);
    unsigned char flag = 0;
    unsigned char screens = 0;
    unsigned char switches = 0;
    if (!r.read_u8(flag) || !r.read_u8(screens) || !r.read_u8(switches)) return -1;
    if (screens != kAcScreens || switches > AIRLOCK_MAX) return -1;
    capture.airlock_count = switches;
    if (!r.read_bytes(switches, capture.airlock, AIRLOCK_MAX)) return -1;
    unsigned char user = 0;
    if (!r.read_u8(user) || !r.skip(user)) return -1;
    capture.p40_43_count = 0;
    return r.consumed(len);
}

// 0x40/0x44 reply, one channel:
//   flag scr C | a  b  c  f  F  F bytes | U  U bytes | ia ib ic
//   00   01  01  00 01 00 00 01 00        00           00 00 02
//   0    1   2   3           7  8         9            10       (13 bytes)
// F and U are counts of further alarm bytes that the record does not keep.
int Tarnel_BRELM_PXR52_419::parse40_44_capture(const unsigned char* info, int len) {
    InfoReader r(info, len);
    unsigned char channels = 0;
    if (!read_ac_header(r, channels)) return -1;
    capture.channel_count = channels;
    for (int i = 0; i < channels; ++i) {
        acChannel_t& ch = capture.acChannel[i];
        unsigned char more = 0;
        unsigned char user = 0;
        if (!r.read_u8(ch.a_alarm) || !r.read_u8(ch.b_alarm) || !r.read_u8(ch.c_alarm) ||
            !r.read_u8(ch.f_alarm) || !r.read_u8(more) || !r.skip(more) ||
            !r.read_u8(user) || !r.skip(user))
            return -1;
        ch.p40_44_count = 0;
    }
    if (!r.read_u8(capture.ia_alarm) || !r.read_u8(capture.ib_alarm) ||
        !r.read_u8(capture.ic_alarm))
        return -1;
    return r.consumed(len);
}
