// pmbuspower_419::Reset: the communication alarm and the pending rules.
#include <cstdint>
#include <iostream>

#include "device/comm_alarm.hpp"
#include "device/device_types.hpp"
#include "device/local_clock.hpp"

template <class T, unsigned int ID>
int pmbuspower_419<T, ID>::Reset() {
    std::cout << "pmbuspower_419 data_id:" << this->data_id << " reset called\n";
    const std::int64_t age = pxr52::seconds_since(this->last_update);
    for (const pxr52::CommAlarm& alarm : pxr52::kCommAlarms) {
        const char* id = alarm.id;
        const int level = this->level_map[id];  // inserting look-up, as the host map does
        if (level == 0) continue;
        const bool stale = age >= pxr52::kCommAlarmAge;
        std::cout << "data_id:" << this->data_id
                  << (stale ? " reset from refreshstatus\n" : " reset from rounddone\n");
        this->CheckThresholdBool(level, id, id, alarm.text1, alarm.text2, stale, 1);
    }
    if (!this->rule_values.empty()) {
        this->DoBatchCheckThreshold(this->rule_values);
        this->rule_values.clear();
    }
    return 1;
}

template int PowerDevice::Reset();
