// pmbuspower_419 in active mode: the device is the master on the line. Each
// refresh (at least 2 s after the last publish) sends the first command of
// the round; every response is decoded into the published record and
// answered with the next command:
//
//   state  awaits                     next command
//   100    0x40/0x41|42 AC analog     0x40/0x43 [cg]
//   101    0x40/0x43 AC switches      0x40/0x44 [cg]
//   102    0x40/0x44 AC alarms        0x41/0x41|42
//   104    0x41/0x41|42 rect. analog  0x41/0x43
//   105    0x41/0x43 rect. switches   0x41/0x44
//   106    0x41/0x44 rect. alarms     0x42/0x41|42 (has_dc), else end of round
//   107    0x42/0x41|42 DC analog     0x42/0x44
//   108    0x42/0x44 DC alarms        end of round (rests at 10)
//
// A frame in any other state is the answer to a control command: it sets
// control_ack. A refresh restarts the sequence wherever it stood, which is
// how a round stalled by a lost response recovers.
#include <cstdio>
#include <iostream>

#include "device/device_types.hpp"
#include "device/local_clock.hpp"
#include "poll/poll_steps.hpp"

using namespace pxr52::poll;

namespace {

constexpr std::int64_t kMinRoundGap = 2;  // seconds from a publish to the next round
constexpr int kRefreshWaitAfterPublish = 10;

}  // namespace

// 1 when a round was started, 0 when the host's refresh said no or the last
// publish is less than 2 s old (then refresh_wait = 10).
template <class T, unsigned int ID>
int pmbuspower_419<T, ID>::RefreshStatus() {
    if (this->SMDSPDevice::RefreshStatus() == 0) return 0;
    if (pxr52::seconds_since(this->last_update) < kMinRoundGap) {
        this->refresh_wait = kRefreshWaitAfterPublish;
        return 0;
    }
    if (this->has_ac) {
        this->cmd_state = kAwaitAcAnalog;
        if (this->no_40_arg != 0)
            send(*this, kGroupAc, analog_cid2(*this));
        else
            send(*this, kGroupAc, analog_cid2(*this), this->cg);
    } else {
        this->cmd_state = kAwaitRcAnalog;
        send(*this, kGroupRectifier, analog_cid2(*this));
    }
    return 1;
}

// 1 while the round goes on (or the AC analog reply was refused and the
// round waits for the next refresh), 0 when the round ended or the frame was
// not part of it.
template <class T, unsigned int ID>
int pmbuspower_419<T, ID>::process_payload() {
    if (this->payload == nullptr) return 0;
    const InfoBytes in = InfoBytes::of(this->payload);
    const bool fl = this->float_mode != 0;
    // AC data follow the data flag, and one more byte when cg is 0xFF.
    const int ac_at = this->cg == 0xFF ? 2 : 1;

    switch (this->cmd_state) {
        case kAwaitAcAnalog: {
            const int r = fl ? this->parse40_41(in.from(ac_at), in.left(ac_at))
                             : this->parse40_42(in.from(ac_at), in.left(ac_at));
            if (r == -1) return 1;
            this->cmd_state = kAwaitAcSwitches;
            send(*this, kGroupAc, kSwitchStates, this->cg);
            return 1;
        }
        case kAwaitAcSwitches:
            this->parse40_43(in.from(ac_at), in.left(ac_at));
            this->cmd_state = kAwaitAcAlarms;
            send(*this, kGroupAc, kAlarmStates, this->cg);
            return 1;
        case kAwaitAcAlarms:
            this->parse40_44(in.from(ac_at), in.left(ac_at));
            this->cmd_state = kAwaitRcAnalog;
            send(*this, kGroupRectifier, analog_cid2(*this));
            return 1;
        case kAwaitRcAnalog: {
            const int r = fl ? this->parse41_41(in.p, in.len) : this->parse41_42(in.p, in.len);
            std::printf("41_43 %d vs %d\n", in.len, r);
            this->cmd_state = kAwaitRcSwitches;
            send(*this, kGroupRectifier, kSwitchStates);
            return 1;
        }
        case kAwaitRcSwitches:
            this->parse41_43(in.p, in.len);
            this->cmd_state = kAwaitRcAlarms;
            send(*this, kGroupRectifier, kAlarmStates);
            return 1;
        case kAwaitRcAlarms:
            this->parse41_44(in.p, in.len);
            if (!this->has_dc) {
                this->end_poll_round(kBaseRest);
                return 0;
            }
            this->cmd_state = kAwaitDcAnalog;
            if (this->no_42_arg != 0)
                send(*this, kGroupDc, analog_cid2(*this));
            else if (this->protocol_ver == kProtocolV21 || fl)
                send(*this, kGroupDc, analog_cid2(*this), kAllScreens);
            else
                send(*this, kGroupDc, analog_cid2(*this), this->cg);
            return 1;
        case kAwaitDcAnalog:
            this->dc_number = in.at(1);
            std::cout << "pmbuspower_419 PMBUSPOWER_42_41 dc_number:" << this->dc_number << '\n';
            detect_dc_layout(*this, in, true);
            std::cout << "no dc number is " << this->no_dc_number << '\n';
            decode_dc_analog(*this, in, this->dc_number);
            this->cmd_state = kAwaitDcAlarms;
            if (this->no_42_arg != 0)
                send(*this, kGroupDc, kAlarmStates);
            else
                send(*this, kGroupDc, kAlarmStates, kAllScreens);
            return 1;
        case kAwaitDcAlarms:
            decode_dc_alarms(*this, in, &this->dc_number);
            this->end_poll_round(kBaseRest);
            return 0;
        default:
            this->control_ack = 1;
            return 0;
    }
}

// End of an active round: publish (RoundDone, which runs Reset), rest in
// `rest_state`, then Reset once more.
template <class T, unsigned int ID>
void pmbuspower_419<T, ID>::end_poll_round(int rest_state) {
    this->RoundDone();
    this->cmd_state = rest_state;
    this->Reset();
}

template int PowerDevice::RefreshStatus();
template int PowerDevice::process_payload();
template void PowerDevice::end_poll_round(int);
