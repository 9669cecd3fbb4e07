// Loaders of the threshold definitions, one per threshold mode. They fill
// the device's tables without taking threshold_mutex (they run on the
// initialisation path, before any round) and log on standard output.
#pragma once

#include <map>
#include <string>
#include <utility>

#include <json/value.h>

#include "device/uni_data_device.hpp"

namespace pxr52 {

using ai_table = std::map<std::string, std::pair<std::string, std::string>>;
using text_table = std::map<std::string, std::string>;

// Mode 1: the first existing file of
//   ./ini/<data id>.yaml, ./ini/<data id>.ini, ./ini/<type>.yaml, ./ini/<type>.ini,
//   ./ini/tarnel/<data id>.yaml, ... ./ini/tarnel/<type>.ini
// relative to the working directory. "" (and one log line) when none exists.
std::string find_threshold_file(unsigned data_id, const std::string& device_type);

// Mode 1: reads the "AI" and "ALARM" sections of an ".ini" file into `ai`
// (key -> (signal id, signal name)) and `alarms` (key -> text). An empty name
// loads nothing; a ".yaml" name only logs. The INI reader's errors
// (boost::property_tree::ptree_error) propagate, and then neither table has
// been touched. Entries are added to what the tables already hold.
void load_threshold_file(const std::string& file, unsigned data_id, ai_table& ai,
                         text_table& alarms);

// Mode 3: "thresholdSetting" into the name and id-triple tables, logging
// every item together with its level and threshold entries, which the
// look-up inserts with 0 when absent.
void load_threshold_names(const Json::Value& config, unsigned data_id, text_table& names,
                          text_table& triples, std::map<std::string, int>& levels,
                          std::map<std::string, float>& thresholds);

// Mode 5: clears the four rule tables and loads them from "thresholdSetting".
void load_signal_rules(const Json::Value& config, signal_rule_map& up, signal_rule_map& up2,
                       signal_rule_map& low, signal_rule_map& low2);

}  // namespace pxr52

// One mode-5 limit of one item: when `value_key`, `recovery_key` and
// `level_key` are all present with non-empty text, stores under `name` the
// rule (id + suffix, atof(value), atof(recovery), inactive, atoi(level)),
// replacing an earlier rule of that name; otherwise changes nothing.
void load_signal_rule(const Json::Value& item, const std::string& name, const std::string& id,
                      const char* value_key, const char* recovery_key, const char* level_key,
                      const char* suffix, signal_rule_map& table);
