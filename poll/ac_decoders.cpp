// Poll response decoders of the AC distribution group (CID1 0x40).
//
// Each decoder gets the reply from the byte after the data flag (and after the
// screen count when cg is 0xFF; the sequencer decides) and writes the
// published record in place, in reply order. Counts are stored as received;
// channels beyond the record's two are decoded into a spare channel and
// dropped, so no count can move a write outside the record. Values the
// record has no place for (user-defined values and alarm bytes, tower
// blocks) are consumed and not kept.
#include <cstdio>
#include <iostream>

#include "device/device_types.hpp"
#include "poll/reply_cursor.hpp"

using pxr52::load_f32;
using pxr52::poll::invalid_fl;
using pxr52::poll::kInvalidMarker;
using pxr52::poll::read_fl_tested;
using pxr52::poll::read_fx_tested;
using pxr52::poll::ReplyCursor;

namespace {

// Model whose AC replies carry one user value per channel and one trailing
// alarm byte.
const char* const kSpecialAcModel = "hulm27_k300v20_419";

constexpr float kAcFxScale = 100.0f;  // fixed-point AC voltages, frequency and currents: 1/100

}  // namespace

// 0x40/0x41 reply, float (4 bytes each, record byte order):
//   C | C x [ a | b | c | f | [T: t | t x fl] | U | U x fl ] | ia | ib | ic
// One channel, 220.5 V, 50 Hz, 10 A:
//   01   00805C43   00805C43   00805C43   00004842   00   00002041   00002041   00002041
//   0    1          5          9          13         17   18         22         26   (30 bytes)
// Model "hulm27_k300v20_419": U is followed by exactly one float, whatever U
// says. Invalid channel values become 0.0, invalid phase currents -0.1.
// Returns the bytes consumed, or -1 when the layout needs more than `len`.
template <class T, unsigned int ID>
int pmbuspower_419<T, ID>::parse40_41(const unsigned char* p, int len) {
    ReplyCursor in(p, len);
    unsigned char channels = 0;
    if (!in.u8(channels)) return -1;
    this->data.channel_count = channels;
    std::cout << "parse40_41 channel_count is " << static_cast<int>(channels) << '\n';

    const bool special = this->device_type == kSpecialAcModel;
    acChannel_t spare{};
    for (int i = 0; i < channels; ++i) {
        acChannel_t& ch = i < CHANNEL_MAX ? this->data.acChannel[i] : spare;
        const unsigned char* a = nullptr;
        if (in.take(4, a)) {
            if (invalid_fl(a))
                ch.a.set(0.0f);
            else
                ch.a.set_bytes(a);
            std::printf("a %x %x %x %x\n", static_cast<unsigned>(a[0]), static_cast<unsigned>(a[1]),
                        static_cast<unsigned>(a[2]), static_cast<unsigned>(a[3]));
            std::cout << "parse40_41 acChannel.a is " << ch.a.get() << '\n';
        }
        read_fl_tested(in, ch.b, 0.0f);
        read_fl_tested(in, ch.c, 0.0f);
        read_fl_tested(in, ch.f, 0.0f);
        if (this->has_tower) {
            std::printf("tower_count is %d\n", 0);
            const unsigned char towers = in.count();
            in.skip(4 * static_cast<std::int64_t>(towers));
        }
        if (special) {
            // The count byte is not used: one value always follows.
            if (in.skip(1)) ch.p40_41_count = 1;
            const unsigned char* u = nullptr;
            if (in.take(4, u)) std::printf("parse40_41 1:%f\n", static_cast<double>(load_f32(u)));
            continue;
        }
        unsigned char user = 0;
        if (in.u8(user)) {
            ch.p40_41_count = user;
            if (user != 0) std::cout << "acChannel.p40_41_count " << static_cast<int>(user) << '\n';
        }
        in.skip(4 * static_cast<std::int64_t>(user));  // capacity 0: none kept
    }

    const unsigned char* ia = nullptr;
    if (in.take(4, ia)) {
        if (invalid_fl(ia)) {
            this->data.ia.set(kInvalidMarker);
        } else {
            this->data.ia.set_bytes(ia);
            std::printf("ia is %f\n", static_cast<double>(this->data.ia.get()));
        }
    }
    read_fl_tested(in, this->data.ib, kInvalidMarker);
    read_fl_tested(in, this->data.ic, kInvalidMarker);
    return in.result();
}

// 0x40/0x42 reply, fixed point (unsigned big-endian 16-bit / 100):
//   C | C x [ a | b | c | f | U | U x fx ] | ia | ib | ic
// One channel, 220.50 / 221.12 / 220.46 V, 50.00 Hz, 30.00 A:
//   01   5622   5660   561E   1388   00   0BB8   0BB8   0BB8
//   0    1      3      5      7      9    10     12     14     (16 bytes)
// No tower block and no model-specific layout. Invalid channel values become
// 0.0, invalid phase currents -0.1. Returns the bytes consumed, or -1 (after
// logging "parse40_42:overflow") when the layout needs more than `len`.
template <class T, unsigned int ID>
int pmbuspower_419<T, ID>::parse40_42(const unsigned char* p, int len) {
    ReplyCursor in(p, len);
    unsigned char channels = 0;
    if (in.u8(channels)) this->data.channel_count = channels;

    acChannel_t spare{};
    for (int i = 0; i < channels; ++i) {
        acChannel_t& ch = i < CHANNEL_MAX ? this->data.acChannel[i] : spare;
        read_fx_tested(in, ch.a, kAcFxScale, 0.0f);
        read_fx_tested(in, ch.b, kAcFxScale, 0.0f);
        read_fx_tested(in, ch.c, kAcFxScale, 0.0f);
        read_fx_tested(in, ch.f, kAcFxScale, 0.0f);
        unsigned char user = 0;
        if (in.u8(user)) {
            ch.p40_41_count = user;
            if (user != 0) std::cout << "acChannel.p40_41_count " << static_cast<int>(user) << '\n';
        }
        in.skip(2 * static_cast<std::int64_t>(user));  // capacity 0: none kept
    }
    read_fx_tested(in, this->data.ia, kAcFxScale, kInvalidMarker);
    read_fx_tested(in, this->data.ib, kAcFxScale, kInvalidMarker);
    read_fx_tested(in, this->data.ic, kAcFxScale, kInvalidMarker);

    if (in.overran()) {
        std::cout << "parse40_42:overflow\n";
        return -1;
    }
    return in.consumed();
}

// 0x40/0x43 reply, AC switch states:
//   K | K state bytes | [T: t | t bytes] | U | U bytes
//   03   01 00 01   00
//   0    1          4    (5 bytes)
// More than 8 switches: -1 with `airlock_count` stored and `airlock` untouched.
// With user-defined states (none kept) it returns the bytes consumed without
// comparing them to `len`; otherwise -1 when the layout needs more than `len`.
template <class T, unsigned int ID>
int pmbuspower_419<T, ID>::parse40_43(const unsigned char* p, int len) {
    ReplyCursor in(p, len);
    unsigned char switches = 0;
    if (!in.u8(switches)) return -1;
    this->data.airlock_count = switches;
    if (switches > AIRLOCK_MAX) return -1;
    for (int i = 0; i < switches; ++i) in.u8(this->data.airlock[i]);
    if (this->has_tower) in.skip(in.count());
    unsigned char user = 0;
    if (in.u8(user)) {
        this->data.p40_43_count = user;
        if (user != 0) {
            in.skip(user);  // capacity 0: none kept
            return in.consumed();
        }
    }
    return in.result();
}

// 0x40/0x44 reply, AC alarm states:
//   C | C x [ a b c f alarms | F | F bytes | [T: t | t bytes] | U | U bytes ] | ia ib ic
//   01   00 00 00 00   00   00   00 00 00
//   0    1             5    6    7          (10 bytes)
// Model "hulm27_k300v20_419": the F bytes are the channel's user alarm bytes
// and one more byte follows the three current alarms; neither is kept.
// Always returns the bytes the layout consumed; when that exceeds `len` it
// logs "PMBusPowerAC:ProcotolError read 40_44 read overflow" first.
template <class T, unsigned int ID>
int pmbuspower_419<T, ID>::parse40_44(const unsigned char* p, int len) {
    ReplyCursor in(p, len);
    unsigned char channels = 0;
    if (in.u8(channels)) std::cout << "channel is " << static_cast<int>(channels) << '\n';

    acChannel_t spare{};
    for (int i = 0; i < channels; ++i) {
        acChannel_t& ch = i < CHANNEL_MAX ? this->data.acChannel[i] : spare;
        in.u8(ch.a_alarm);
        in.u8(ch.b_alarm);
        in.u8(ch.c_alarm);
        in.u8(ch.f_alarm);
        in.skip(in.count());  // fuse bytes
        if (this->has_tower) in.skip(in.count());
        unsigned char user = 0;
        if (in.u8(user)) ch.p40_44_count = user;
        in.skip(user);  // capacity 0: none kept
    }
    in.u8(this->data.ia_alarm);
    in.u8(this->data.ib_alarm);
    in.u8(this->data.ic_alarm);
    if (this->device_type == kSpecialAcModel) in.skip(1);

    if (in.overran()) std::cout << "PMBusPowerAC:ProcotolError read 40_44 read overflow\n";
    return in.consumed();
}

template int PowerDevice::parse40_41(const unsigned char*, int);
template int PowerDevice::parse40_42(const unsigned char*, int);
template int PowerDevice::parse40_43(const unsigned char*, int);
template int PowerDevice::parse40_44(const unsigned char*, int);
