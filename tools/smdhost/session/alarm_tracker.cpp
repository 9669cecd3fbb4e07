#include "tools/smdhost/session/alarm_tracker.hpp"

namespace smdsession {

AlarmChanges AlarmTracker::on_event(const smdhost::HostEvent& e,
                                    const std::map<std::string, int>& host_active, double now) {
    AlarmChanges changes;
    if (e.kind == smdhost::HostEvent::Kind::alarm) {
        ActiveAlarm& a = texts_[e.key + '\x1f' + e.id];
        a.id = e.id;
        a.key = e.key;
        a.text1 = e.text1;
        a.text2 = e.text2;
        return changes;
    }
    if (e.kind != smdhost::HostEvent::Kind::batch) return changes;
    for (auto it = active_.begin(); it != active_.end();) {
        if (host_active.count(it->first) == 0) {
            changes.cleared.push_back(it->second);
            it = active_.erase(it);
        } else {
            ++it;
        }
    }
    for (const auto& [host_key, level] : host_active) {
        auto it = active_.find(host_key);
        if (it != active_.end() && it->second.level == level) continue;
        if (it == active_.end()) {
            ActiveAlarm a;
            const auto t = texts_.find(host_key);
            if (t != texts_.end()) {
                a = t->second;
            } else {
                // Raised without a CheckThresholdBool seen (cannot happen
                // with the host layer's rules, but the map is the truth).
                const auto split = host_key.find('\x1f');
                a.key = host_key.substr(0, split);
                a.id = split == std::string::npos ? host_key : host_key.substr(split + 1);
            }
            a.since = now;
            it = active_.emplace(host_key, a).first;
        }
        it->second.level = level;
        changes.raised.push_back(it->second);
    }
    return changes;
}

}  // namespace smdsession
