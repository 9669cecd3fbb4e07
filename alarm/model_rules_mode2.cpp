// Model rules of mode 2: rectifier communication alarms and battery fuse
// alarms, graded by the host's level map (level 0 or no entry: no call).
#include <iostream>
#include <string>

#include "alarm/model_rule_tables.hpp"
#include "alarm/rule_text.hpp"
#include "device/pxr52_419.hpp"

namespace {

using pxr52::model_rules::BatteryFuse;
using pxr52::model_rules::kBatteryFuseText1;
using pxr52::model_rules::kBatteryFuses;
using pxr52::model_rules::kCommCode;
using pxr52::model_rules::kCommId;
using pxr52::model_rules::kCommText;
using pxr52::model_rules::kCommText1;

}  // namespace

void pxr52_419::run_model_rules_mode2() {
    const int modules = pxr52::bounded_count(data.rc_count, RC_MAX);
    for (int m = 0; m < modules; ++m) {
        const std::string n = pxr52::zero_pad3(m + 1);
        const std::string id = pxr52::numbered_id(kCommId, n);
        const unsigned char code = data.rcChannel[m].p41_44[0];
        const bool lost = code == kCommCode;
        const int level = level_map[id];  // inserting look-up
        std::cout << "rc " << m << " p41_44[0]:" << static_cast<unsigned>(code) << " key:" << id
                  << " level:" << level << " ret:" << (lost ? 1 : 0) << '\n';
        if (level != 0)
            CheckThresholdBool(level, id, id, kCommText1, n + kCommText, lost, 1);
    }
    for (const BatteryFuse& fuse : kBatteryFuses) {
        const int level = level_map[fuse.id];
        if (level == 0) continue;
        CheckThresholdBool(level, fuse.id, fuse.id, kBatteryFuseText1, fuse.text2,
                           data.dc(fuse.screen).alert_m[fuse.byte] != 0, 1);
    }
}
