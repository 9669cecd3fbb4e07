// The host's active alarms as they change, with the texts that came with
// them: what the monitor outputs show and the history store's alarm journal
// keeps.
//
// The host layer decides: DoBatchCheckThreshold raises and clears its alarms
// (SMDVDevice::active_alarms, key + '\x1f' + id -> level). The tracker reads
// that map at each "batch" event (sent from within DoBatchCheckThreshold,
// while the rules it evaluated are still queued) and tells what was raised,
// cleared or changed level since the last batch; the texts of a raised
// alarm are those of its rule in the batch. The other events cost nothing
// here: a round of a full plant queues some 170 rules.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "host/host_event.hpp"
#include "host/rule_value.hpp"

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
    // After a "batch" event: `host_active` (the device's active_alarms)
    // against what was active before; `rules` the batch (the device's
    // rule_values). `now`: the host clock. Other events change nothing.
    AlarmChanges on_event(const smdhost::HostEvent& e, const std::map<std::string, int>& host_active,
                          const std::vector<rule_value>& rules, double now);

    // By host key (key + '\x1f' + id).
    const std::map<std::string, ActiveAlarm>& active() const { return active_; }

private:
    std::map<std::string, ActiveAlarm> active_;
};

}  // namespace smdsession
