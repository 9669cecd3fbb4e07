// The capture round of the shipped device: recognise the other master's
// commands, take the response that follows each, decode it into the capture
// record, and publish when all eight responses of a round were accepted.
//
// Only the 0x40/0x42 command opens (or restarts) a round and only an accepted
// 0x42/0x44 response closes it; the order of the pairs in between does not
// matter, and a command asked again within the round has its later accepted
// response decoded over the earlier one (masters re-ask after a control
// command, retry a refused or failed exchange, or poll one command twice).
//
// A published record holds only values of accepted replies: a decoder may
// write part of a reply before it refuses it, so the capture record is put
// back as it was before that reply. Should the line lose both a round's DC
// alarm reply and the next AC analog command, the next round's replies
// complete the open round: the record then holds genuine values of those
// two cycles (stale by at most one cycle, never a refused reply's).
#include <cstring>

#include "device/tarnel_brelm_pxr52_419.hpp"

namespace {

constexpr int kNoCommand = 0;
constexpr int kUnknownCommand = 13;
constexpr std::uint16_t kRoundComplete = 0xFF;
constexpr std::uint16_t kDcAlarmBit = 0x80;

struct CaptureCommand {
    unsigned char cid1;
    unsigned char cid2;
    int code;
    // Decoder of the response; null: accepted without decoding.
    int (Tarnel_BRELM_PXR52_419::*decode)(const unsigned char*, int);
    std::uint16_t bit;  // round mask bit; 0: none
    // The decoder may write into the capture record before it refuses a
    // reply. The rectifier analog and DC parameter decoders write only after
    // the whole reply was found good, so they need no snapshot.
    bool partial;
};

using T = Tarnel_BRELM_PXR52_419;

// Code order: the code is the row number + 1.
const CaptureCommand kCommands[] = {
    {0x40, 0x42, 1, &T::parse40_42_capture, 0x01, true},  // AC analog, fixed point
    {0x40, 0x43, 2, &T::parse40_43_capture, 0x02, true},  // AC switch states
    {0x40, 0x44, 3, &T::parse40_44_capture, 0x04, true},  // AC alarms
    {0x40, 0x47, 4, nullptr, 0x00, false},          // AC parameters
    {0x41, 0x42, 5, &T::parse41_42_capture, 0x08, false},  // rectifier analog, fixed point
    {0x41, 0x43, 6, &T::parse41_43_capture, 0x10, true},  // rectifier switch states
    {0x41, 0x44, 7, &T::parse41_44_capture, 0x20, true},  // rectifier alarms
    {0x42, 0x42, 8, &T::parse42_42_capture, 0x40, true},  // DC analog, fixed point
    {0x42, 0x44, 9, &T::parse42_44_capture, 0x80, true},  // DC alarms
    {0x42, 0x47, 10, &T::parse42_47_capture, 0x00, false}, // DC parameters
    {0x42, 0x81, 11, nullptr, 0x00, false},
    {0x42, 0xA4, 12, nullptr, 0x00, false},
};

const CaptureCommand* command_row(int code) {
    if (code < 1 || code > static_cast<int>(sizeof kCommands / sizeof kCommands[0])) return nullptr;
    return &kCommands[code - 1];
}

}  // namespace

int Tarnel_BRELM_PXR52_419::command_for(unsigned char cid1, unsigned char cid2) const {
    for (const auto& c : kCommands)
        if (c.cid1 == cid1 && c.cid2 == cid2) return c.code;
    return kUnknownCommand;
}

bool Tarnel_BRELM_PXR52_419::response_matches(unsigned char cid1) const {
    const CaptureCommand* row = command_row(current_cmd);
    return row != nullptr && row->cid1 == cid1;
}

void Tarnel_BRELM_PXR52_419::start_round() {
    std::memset(&capture, 0, sizeof capture);
    capture.data_id.set(data_id);
    round_mask = 0;
    round_active = 1;
}

int Tarnel_BRELM_PXR52_419::finish_round() {
    current_cmd = kNoCommand;
    const bool complete = round_active != 0 && round_mask == kRoundComplete;
    round_active = 0;
    if (!complete) return 1;
    std::memcpy(&data, &capture, sizeof data);
    RoundDone();
    return 0;
}

int Tarnel_BRELM_PXR52_419::process_payload() {
    const unsigned char* frame = payload;
    if (frame == nullptr) return 1;
    const unsigned char cid1 = frame[2];
    const unsigned char cid2_or_rtn = frame[3];
    const auto length = static_cast<std::uint16_t>((frame[5] << 8 | frame[4]) >> 1);

    if (cid2_or_rtn != 0) {
        // A command (or a response with a non-zero return code, taken as one).
        current_cmd = command_for(cid1, cid2_or_rtn);
        if (current_cmd == 1) start_round();
        if (round_active != 1) current_cmd = kNoCommand;
        return 1;
    }
    if (round_active != 1 || !response_matches(cid1)) return 1;

    const CaptureCommand* row = command_row(current_cmd);
    int result = length;
    if (row->decode != nullptr) {
        // A decoder may write part of a reply before it finds the reply bad.
        // Put the record back then, so that no value of a refused reply can
        // reach publication (the command's bit may already be set by an
        // earlier reply, or be set by a later, shorter one). On the stack:
        // no frame that does not end a round allocates.
        if (row->partial) {
            const pxr52_419_Data_t before = capture;
            result = (this->*(row->decode))(frame + 6, length);
            if (result < 0) capture = before;
        } else {
            result = (this->*(row->decode))(frame + 6, length);
        }
    }
    if (result < 0) return 1;  // refused: the command stays awaited
    round_mask = static_cast<std::uint16_t>(round_mask | row->bit);
    current_cmd = kNoCommand;
    if (row->bit == kDcAlarmBit) return finish_round();
    return 1;
}

int Tarnel_BRELM_PXR52_419::process_error() {
    current_cmd = kNoCommand;
    return 1;
}

int Tarnel_BRELM_PXR52_419::RefreshStatus() {
    refresh_wait = 0;
    return 1;
}
