// The host's active alarms as they change, with the texts that came with
// them: what the monitor outputs show and the history store's alarm journal
// keeps.
//
// The host layer decides: DoBatchCheckThreshold raises and clears its alarms
// (SMDVDevice::active_alarms, key + '\x1f' + id -> level). The tracker reads
// that map after each "batch" event and tells what was raised, cleared or
// changed level since the last batch; the texts and the key are those of the
// alarm's last CheckThresholdBool event.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "host/host_event.hpp"

namespace smdsession {

struct ActiveAlarm {
    std::string id;
    std::string key;
    std::string text1;
    std::string text2;
    int level = 0;
    double since = 0;  // host clock when it was raised, seconds since the epoch
};

struct AlarmChanges {
    std::vector<ActiveAlarm> raised;   // newly active, or active at another level
    std::vector<ActiveAlarm> cleared;  // no longer active (as they were)
    bool empty() const { return raised.empty() && cleared.empty(); }
};

class AlarmTracker {
public:
    // Feeds one host event; after a "batch" event `host_active` (the
    // device's active_alarms) is compared with what was active before.
    // `now`: the host clock. Returns the changes (empty for other events).
    AlarmChanges on_event(const smdhost::HostEvent& e, const std::map<std::string, int>& host_active,
                          double now);

    // By host key (key + '\x1f' + id).
    const std::map<std::string, ActiveAlarm>& active() const { return active_; }

private:
    std::map<std::string, ActiveAlarm> texts_;  // the last CheckThresholdBool of every key
    std::map<std::string, ActiveAlarm> active_;
};

}  // namespace smdsession
