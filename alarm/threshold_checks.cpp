// The checks of the threshold mode (run by RoundDone under threshold_mutex)
// and the change-of-value decision shared by every analog report.
#include <cstdint>
#include <string>

#include <boost/lexical_cast.hpp>

#include "alarm/threshold_id.hpp"
#include "device/device_types.hpp"
#include "device/local_clock.hpp"

namespace {

// Float as text the way the host's alarm texts expect it: up to nine
// significant digits (57.5 -> "57.5", 53.2 -> "53.2000008").
std::string float_text(float v) { return boost::lexical_cast<std::string>(v); }

}  // namespace

// Mode 1: for every "AI" entry (key -> signal id, name) whose key holds a
// number in value_map, one analog check under the derived threshold id and
// one change-of-value report under the signal id.
template <class T, class Base, unsigned int ID>
void UniDataDevice<T, Base, ID>::CheckAIMap() {
    // Only an object (or null, which becomes one) can hold the values.
    if (!value_map.isNull() && !value_map.isObject()) return;
    for (const auto& entry : ai_map) {
        const std::string& signal_id = entry.second.first;
        std::string threshold_id;
        // A signal id shorter than nine characters has no threshold id: the
        // entry stays listed in ai_map but is never checked.
        if (!pxr52::derive_threshold_id(signal_id, threshold_id)) continue;
        const Json::Value& v = value_map[entry.first];  // inserts a null member when absent
        // Null is "no value yet"; a text or container is no value either.
        if (!v.isNumeric() && !v.isBool()) continue;
        const float value = v.asFloat();
        this->CheckThreshold(threshold_id, entry.second.second, value, 1);
        CheckAOReport(threshold_id, signal_id, value);
    }
}

// Mode 5: one rule map. A rule raises at its threshold, stays raised inside
// the band up to its recovery value (both tests include equality), and is
// queued with its state in every round in which its value is a number.
template <class T, class Base, unsigned int ID>
void UniDataDevice<T, Base, ID>::CheckSignalThresholdMap(signal_rule_map& rules, bool upper) {
    if (!value_map.isObject()) return;  // no member can be present
    for (auto& entry : rules) {
        const std::string& name = entry.first;
        if (!value_map.isMember(name)) continue;
        const Json::Value& member = value_map[name];
        if (!member.isNumeric()) continue;
        const float v = member.asFloat();

        const std::string& rule_id = std::get<0>(entry.second);
        const float threshold = std::get<1>(entry.second);
        const float recovery = std::get<2>(entry.second);
        bool& active = std::get<3>(entry.second);
        const int level = std::get<4>(entry.second);

        if (!active)
            active = upper ? threshold <= v : threshold >= v;
        else if (upper ? recovery >= v : recovery <= v)
            active = false;

        const std::string value_text = float_text(v);
        std::string description;
        if (active)
            description = "当前值" + value_text + (upper ? "高于阈值:" : "低于阈值:") +
                          float_text(threshold);
        this->CheckThresholdBool(level, name, rule_id, value_text, description, active, 1);
    }
}

// Reports `value` under `report_id` when it left the absolute or percentage
// band around the last reported value, or when the report period is over.
// A report id without settings first gets a copy of the template id's; with
// neither, nothing is reported. All tests are strict, in single precision.
template <class T, class Base, unsigned int ID>
int UniDataDevice<T, Base, ID>::CheckAOReport(const std::string& template_id,
                                              const std::string& report_id, float value) {
    auto it = this->bao_map.find(report_id);
    if (it == this->bao_map.end()) {
        const auto tmpl = this->bao_map.find(template_id);
        if (tmpl == this->bao_map.end()) return 0;
        const SMDVDevice::BAOSetting copy = tmpl->second;
        it = this->bao_map.emplace(report_id, copy).first;
    }
    SMDVDevice::BAOSetting& s = it->second;

    const std::int64_t now = pxr52::epoch_now();
    const float now_f = static_cast<float>(now);
    const float last = s.last_value;
    bool report = false;
    if (s.abs_enable) {
        const float hi = last + s.abs_band;
        const float lo = last - s.abs_band;
        report = report || value > hi || value < lo;
    }
    if (s.pct_enable) {
        const float hi = last * (s.pct_band + 100.0f) / 100.0f;
        const float lo = last * (100.0f - s.pct_band) / 100.0f;
        report = report || value > hi || value < lo;
    }
    if (s.period_enable) {
        const float due = static_cast<float>(s.last_time) + s.period_min * 60.0f;
        report = report || now_f > due;
    }
    if (!report) return 0;
    s.last_value = value;
    s.last_time = static_cast<std::uint32_t>(now);
    SMDVDevice::CheckAOReport(report_id, value);
    return 1;
}

template int DataDevice::CheckAOReport(const std::string&, const std::string&, float);
template void DataDevice::CheckSignalThresholdMap(signal_rule_map&, bool);
template void DataDevice::CheckAIMap();
