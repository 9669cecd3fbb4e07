// Model rules of mode 2: rectifier communication alarms and battery fuse
// alarms, graded by the host's level map (level 0 or no entry: no call).
#include <iostream>
#include <string>

#include "alarm/rule_text.hpp"
#include "device/pxr52_419.hpp"

namespace {

constexpr unsigned char kCommLostCode = 0x80;  // rectifier alarm byte 0

// Battery fuse states: the first two fuse/branch alarm bytes of each screen,
// checked whatever has_dc and dc_number say.
struct BatteryFuse {
    const char* id;
    const char* text2;
    int screen;
    int byte;
};

const BatteryFuse kBatteryFuses[] = {
    {"120600480010", "直流屏1 001#电池熔丝故障告警", 0, 0},
    {"120600480020", "直流屏1 002#电池熔丝故障告警", 0, 1},
    {"120600480030", "直流屏2 001#电池熔丝故障告警", 1, 0},
    {"120600480040", "直流屏2  002#电池熔丝故障告警", 1, 1},
};

}  // namespace

void pxr52_419::run_model_rules_mode2() {
    const int modules = pxr52::bounded_count(data.rc_count, RC_MAX);
    for (int m = 0; m < modules; ++m) {
        const std::string n = pxr52::zero_pad3(m + 1);
        const std::string id = "12060004" + n + "0";
        const unsigned char code = data.rcChannel[m].p41_44[0];
        const bool lost = code == kCommLostCode;
        const int level = level_map[id];  // inserting look-up
        std::cout << "rc " << m << " p41_44[0]:" << static_cast<unsigned>(code) << " key:" << id
                  << " level:" << level << " ret:" << (lost ? 1 : 0) << '\n';
        if (level != 0)
            CheckThresholdBool(level, id, id, "1", n + "#48V整流模块通信状态告警", lost, 1);
    }
    for (const BatteryFuse& fuse : kBatteryFuses) {
        const int level = level_map[fuse.id];
        if (level == 0) continue;
        CheckThresholdBool(level, fuse.id, fuse.id, "1", fuse.text2,
                           data.dc(fuse.screen).alert_m[fuse.byte] != 0, 1);
    }
}
