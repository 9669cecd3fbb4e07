#include "tools/smdhost/session/alarm_tracker.hpp"

namespace smdsession {

namespace {

bool same_key(const std::string& host_key, const rule_value& r) {
    return host_key.size() == r.key.size() + 1 + r.id.size() && host_key.compare(0, r.key.size(), r.key) == 0 &&
           host_key[r.key.size()] == '\x1f' && host_key.compare(r.key.size() + 1, r.id.size(), r.id) == 0;
}

ActiveAlarm raised_alarm(const std::string& host_key, const std::vector<rule_value>& rules) {
    ActiveAlarm a;
    for (const rule_value& r : rules) {
        if (r.kind != rule_value::Kind::boolean || !same_key(host_key, r)) continue;
        a.id = r.id;
        a.key = r.key;
        a.text1 = r.text1;
        a.text2 = r.text2;
        return a;
    }
    // Raised by an earlier batch than the one seen first: no texts.
    const auto split = host_key.find('\x1f');
    a.key = host_key.substr(0, split);
    a.id = split == std::string::npos ? host_key : host_key.substr(split + 1);
    return a;
}

}  // namespace

AlarmChanges AlarmTracker::on_event(const smdhost::HostEvent& e, const std::map<std::string, int>& host_active,
                                    const std::vector<rule_value>& rules, double now) {
    AlarmChanges changes;
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
            ActiveAlarm a = raised_alarm(host_key, rules);
            a.since = now;
            it = active_.emplace(host_key, std::move(a)).first;
        }
        it->second.level = level;
        changes.raised.push_back(it->second);
    }
    return changes;
}

}  // namespace smdsession
