// pmbuspower_419::Reset: the communication alarm and the pending rules.
#include <cstdint>
#include <iostream>

#include "device/device_types.hpp"
#include "device/local_clock.hpp"

namespace {
// Signal ids of the communication alarm.
const char* const kMonitoredIds[] = {"120600180010"};
constexpr std::int64_t kCommAlarmAge = 120;  // seconds without a publish
}  // namespace

template <class T, unsigned int ID>
int pmbuspower_419<T, ID>::Reset() {
    std::cout << "pmbuspower_419 data_id:" << this->data_id << " reset called\n";
    const std::int64_t age = pxr52::seconds_since(this->last_update);
    for (const char* id : kMonitoredIds) {
        const int level = this->level_map[id];  // inserting look-up, as the host map does
        if (level == 0) continue;
        const bool stale = age >= kCommAlarmAge;
        std::cout << "data_id:" << this->data_id
                  << (stale ? " reset from refreshstatus\n" : " reset from rounddone\n");
        this->CheckThresholdBool(level, id, id, "设备智能口通信状态告警", "通信异常", stale, 1);
    }
    if (!this->rule_values.empty()) {
        this->DoBatchCheckThreshold(this->rule_values);
        this->rule_values.clear();
    }
    return 1;
}

template int PowerDevice::Reset();
