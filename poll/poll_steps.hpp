// Pieces of the active poll round shared by the power-system sequencer
// (poll/poll_sequencer.cpp) and the model's (poll/pxr52_poll_sequencer.cpp):
// the poll states, the command codes, the view of a response's information
// bytes and the DC response steps.
//
// Templates over the device class, so that each sequencer calls the decoders
// of its own object through the virtual table.
#pragma once

#include <iostream>

#include "device/le_bytes.hpp"

namespace pxr52 {
namespace poll {

// cmd_state values of the poll round: the response being awaited.
enum PollState : int {
    kModelRest = 0,         // round ended by the model's sequencer
    kBaseRest = 10,         // round ended by the power-system sequencer
    kAwaitModel = 50,       // 0x80/0x42 (model only)
    kAwaitAcAnalog = 100,   // 0x40/0x41 or 0x40/0x42
    kAwaitAcSwitches = 101, // 0x40/0x43
    kAwaitAcAlarms = 102,   // 0x40/0x44
    kAwaitRcAnalog = 104,   // 0x41/0x41 or 0x41/0x42
    kAwaitRcSwitches = 105, // 0x41/0x43
    kAwaitRcAlarms = 106,   // 0x41/0x44
    kAwaitDcAnalog = 107,   // 0x42/0x41 or 0x42/0x42
    kAwaitDcAlarms = 108,   // 0x42/0x44
};

// CID1: equipment groups.
constexpr unsigned char kGroupAc = 0x40;
constexpr unsigned char kGroupRectifier = 0x41;
constexpr unsigned char kGroupDc = 0x42;
constexpr unsigned char kGroupModel = 0x80;
// CID2: commands.
constexpr unsigned char kAnalogFloat = 0x41;
constexpr unsigned char kAnalogFixed = 0x42;
constexpr unsigned char kSwitchStates = 0x43;
constexpr unsigned char kAlarmStates = 0x44;
constexpr unsigned char kModelValues = 0x42;
// The one information byte some commands carry besides `cg`.
constexpr unsigned char kAllScreens = 0xFF;
// Protocol version whose DC commands take other arguments.
constexpr unsigned char kProtocolV21 = 0x21;

// The information bytes of the decoded frame in `payload`:
// frame + 6, L = (byte 5 << 8 | byte 4) >> 1. The host's frame layer hands
// over only frames whose buffer holds all L bytes; every access below stays
// inside them.
struct InfoBytes {
    const unsigned char* p = nullptr;
    int len = 0;

    static InfoBytes of(const unsigned char* frame) {
        InfoBytes in;
        in.p = frame + 6;
        in.len = (frame[5] << 8 | frame[4]) >> 1;
        return in;
    }
    // Byte k, or 0 when the response is shorter.
    unsigned char at(int k) const { return k >= 0 && k < len ? p[k] : 0; }
    // True when bytes k .. k+n-1 exist.
    bool has(int k, int n) const { return k >= 0 && n >= 0 && k + n <= len; }
    // Decoder arguments from byte k: the pointer never passes the end, the
    // length may go negative (a decoder then reads nothing).
    const unsigned char* from(int k) const { return p + (k < len ? k : len); }
    int left(int k) const { return len - k; }
};

template <class Dev>
void send(Dev& dev, unsigned char cid1, unsigned char cid2) {
    dev.write_pmbus_cmd(cid1, cid2);
}

template <class Dev>
void send(Dev& dev, unsigned char cid1, unsigned char cid2, unsigned char arg) {
    dev.write_pmbus_cmd(cid1, cid2, &arg, 1);
}

// CID2 of the analog commands in the device's number format.
template <class Dev>
unsigned char analog_cid2(const Dev& dev) {
    return dev.float_mode ? kAnalogFloat : kAnalogFixed;
}

// Decides the DC layout once, from the first value after the data flag (the
// DC voltage when the screen data follow the flag directly): strictly between
// 40 and 60 gives layout 1, anything else layout 2. A response too short to
// hold that value decides nothing; it is decoded as layout 2 and the next one
// is asked again. `log` adds the "test dc_v:" line in float mode.
template <class Dev>
void detect_dc_layout(Dev& dev, const InfoBytes& in, bool log) {
    if (dev.no_dc_number != -1) return;
    double value = 0.0;
    if (dev.float_mode) {
        if (!in.has(1, 4)) return;
        const float v = load_f32(in.p + 1);
        if (log) std::cout << "test dc_v:" << v << '\n';
        value = v;
    } else {
        if (!in.has(1, 2)) return;
        value = load_be16(in.p + 1) / 100.0;
    }
    dev.no_dc_number = value > 40 && value < 60 ? 1 : 2;
}

// DC analog response. Layout 1: one screen right after the data flag.
// Otherwise: a screen-count byte, the first screen, and when `screens` > 1 the
// second screen right after what the first consumed. A refused first screen
// (-1) leaves no place where the second would start, so it is not decoded.
template <class Dev>
void decode_dc_analog(Dev& dev, const InfoBytes& in, int screens) {
    const bool fl = dev.float_mode != 0;
    if (dev.no_dc_number == 1) {
        if (fl)
            dev.parse42_41(in.from(1), in.left(1));
        else
            dev.parse42_42(in.from(1), in.left(1));
        return;
    }
    const int first = fl ? dev.parse42_41(in.from(2), in.left(2))
                         : dev.parse42_42(in.from(2), in.left(2));
    if (screens <= 1 || first < 0) return;
    if (fl)
        dev.parse42_41_2(in.from(2 + first), in.left(2 + first));
    else
        dev.parse42_42_2(in.from(2 + first), in.left(2 + first));
}

// DC alarm response, same layouts. In layout 2 the screen-count byte is
// stored in `*keep_count` when that is given.
template <class Dev>
void decode_dc_alarms(Dev& dev, const InfoBytes& in, int* keep_count) {
    if (dev.no_dc_number == 1) {
        dev.parse42_44(in.from(1), in.left(1));
        return;
    }
    const unsigned char screens = in.at(1);
    if (keep_count != nullptr) *keep_count = screens;
    std::cout << "pmbuspower_419 PMBUSPOWER_42_44 dc_number:" << static_cast<int>(screens) << '\n';
    const int first = dev.parse42_44(in.from(2), in.left(2));
    if (screens > 1 && first >= 0) dev.parse42_44_2(in.from(2 + first), in.left(2 + first));
}

}  // namespace poll
}  // namespace pxr52
