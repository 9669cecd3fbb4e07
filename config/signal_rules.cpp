// Mode 5: "thresholdSetting" read into the four signal-rule tables.
//
//   "thresholdSetting": { "a": { "ID": "0406001", "SignalName": "dc_v",
//       "UpValue": 57.5, "UpReconverValue": "56", "UpAlarmLevel": 2 } }
//   -> up_map["dc_v"] = ("0406001001", 57.5, 56, false, 2)
#include <cstdlib>
#include <string>

#include "config/config_text.hpp"
#include "config/threshold_loaders.hpp"

namespace {

// Non-empty text of item[key]; false when absent, empty or not a scalar.
bool non_empty_text(const Json::Value& item, const char* key, std::string& out) {
    const Json::Value& v = pxr52::member_of(item, key);
    if (v.isNull() || !pxr52::scalar_text(v, out)) return false;
    return !out.empty();
}

}  // namespace

void load_signal_rule(const Json::Value& item, const std::string& name, const std::string& id,
                      const char* value_key, const char* recovery_key, const char* level_key,
                      const char* suffix, signal_rule_map& table) {
    std::string value, recovery, level;
    if (!non_empty_text(item, value_key, value) || !non_empty_text(item, recovery_key, recovery) ||
        !non_empty_text(item, level_key, level))
        return;
    // Text that is not a number gives 0 (and level 0).
    table[name] = signal_rule(id + suffix, static_cast<float>(std::atof(value.c_str())),
                              static_cast<float>(std::atof(recovery.c_str())), false,
                              pxr52::leading_int(level));
}

namespace pxr52 {

void load_signal_rules(const Json::Value& config, signal_rule_map& up, signal_rule_map& up2,
                       signal_rule_map& low, signal_rule_map& low2) {
    up.clear();
    up2.clear();
    low.clear();
    low2.clear();
    const Json::Value& setting = member_of(config, "thresholdSetting");
    if (!setting.isObject()) return;

    struct Limit {
        const char* value_key;
        const char* recovery_key;
        const char* level_key;
        const char* suffix;
        signal_rule_map* table;
    };
    const Limit limits[] = {
        {"UpValue", "UpReconverValue", "UpAlarmLevel", "001", &up},
        {"Up2Value", "Up2ReconverValue", "Up2AlarmLevel", "002", &up2},
        {"LowValue", "LowReconverValue", "LowAlarmLevel", "003", &low},
        {"Low2Value", "Low2ReconverValue", "Low2AlarmLevel", "004", &low2},
    };

    for (const std::string& member : setting.getMemberNames()) {  // ascending names
        const Json::Value& item = setting[member];
        std::string id, name;
        if (!item.isObject() || !non_empty_text(item, "ID", id) ||
            !non_empty_text(item, "SignalName", name))
            continue;
        for (const Limit& l : limits)
            load_signal_rule(item, name, id, l.value_key, l.recovery_key, l.level_key, l.suffix,
                             *l.table);
    }
}

}  // namespace pxr52
