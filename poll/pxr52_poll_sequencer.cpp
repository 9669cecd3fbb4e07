// pxr52_419 in active mode: the power-system round, with its own DC steps and
// the model-specific 0x80/0x42 exchange at the end:
//
//   state  awaits                 next command
//   107    0x42/0x42 DC analog    0x42/0x44 when the record is not valid yet or
//                                 the data flag has bit 0 or bit 4 set (alarm or
//                                 switch states changed), else 0x80/0x42
//   108    0x42/0x44 DC alarms    0x80/0x42
//   50     0x80/0x42 model values end of round (rests at 0)
//
// Every other state is the power-system sequencer's (poll/poll_sequencer.cpp).
#include <cstdio>
#include <iostream>

#include "device/pxr52_419.hpp"
#include "poll/poll_steps.hpp"

using namespace pxr52::poll;

namespace {

// Data flag bits that announce changed alarm (bit 0) or switch (bit 4) states.
constexpr unsigned char kChangedStates = 0x11;
constexpr double kModelValueScale = 10.0;  // 0x80/0x42 values: 1/10

// One value of the 0x80/0x42 reply: a presence byte m at info[k], the
// big-endian value at info[k+1..k+2]. Stored (/10) only when m is 1 and both
// value bytes exist.
void take_model_value(const InfoBytes& in, int k, pxr52::le_f32& dst) {
    const unsigned char m = in.at(k);
    std::printf("80_42 m is %d\n", m);
    if (m == 1 && in.has(k + 1, 2))
        dst.set(static_cast<float>(pxr52::load_be16(in.p + k + 1) / kModelValueScale));
}

}  // namespace

// 1 while the round goes on, 0 when it ended or the frame was not part of it.
int pxr52_419::process_payload() {
    if (payload == nullptr) return 0;
    const InfoBytes in = InfoBytes::of(payload);

    switch (cmd_state) {
        case kAwaitDcAnalog: {
            // The screen count is this response's own; dc_number keeps its value.
            const unsigned char screens = in.at(1);
            std::cout << "pmbuspower_419 PMBUSPOWER_42_41 dc_number:" << static_cast<int>(screens)
                      << '\n';
            detect_dc_layout(*this, in, false);
            decode_dc_analog(*this, in, screens);
            // A response without a data flag says nothing about unchanged
            // states: the alarms are read.
            const bool changed = !in.has(0, 1) || (in.at(0) & kChangedStates) != 0;
            if (data_valid != 1 || changed) {
                cmd_state = kAwaitDcAlarms;
                if (protocol_ver == kProtocolV21)
                    send(*this, kGroupDc, kAlarmStates, cg);
                else
                    send(*this, kGroupDc, kAlarmStates);
            } else {
                cmd_state = kAwaitModel;
                send(*this, kGroupModel, kModelValues);
            }
            return 1;
        }
        case kAwaitDcAlarms:
            decode_dc_alarms(*this, in, nullptr);
            cmd_state = kAwaitModel;
            send(*this, kGroupModel, kModelValues);
            return 1;
        case kAwaitModel:
            // Frame bytes 7 and 10 (info[1], info[4]) say whether the values at
            // frame bytes 8-9 and 11-12 are present.
            take_model_value(in, 1, data.p80_42[0]);
            take_model_value(in, 4, data.p80_42[1]);
            end_poll_round(kModelRest);
            return 0;
        default:
            return PowerDevice::process_payload();
    }
}
