// Catalogue entries as JSON objects: what `smdhost signals --format json`
// prints one per line, and what the monitor outputs can serve as is.
#pragma once

#include <optional>
#include <string>

#include <json/value.h>

#include "tools/smdhost/catalogue/alarm_entry.hpp"
#include "tools/smdhost/catalogue/catalogue.hpp"
#include "tools/smdhost/catalogue/value_entry.hpp"

namespace smdcatalogue {

// "kind":"value", "name", "unit", "offset", "width", "type", "invalid",
// "description", "field", "present_when", "metric", "labels", "topic",
// "signals" (the threshold and report ids that carry the value, each with
// "id", "kind", "modes", "when"; with `mode`, those of that mode only).
Json::Value value_json(const Catalogue& catalogue, const ValueEntry& entry,
                       std::optional<int> mode = std::nullopt);

// "kind" ("alarm", "threshold", "report"), "id", "key" (alarms), "text1",
// "text2" (alarms; "name" for thresholds), "text1_varies" (when it holds a
// {name} reading), "level" (a number, or the "host" member that decides:
// "host.levels", "host.thresholds", "host.reports"), "template" (reports),
// "value" (thresholds and reports), "reads_threshold" (when it does),
// "subject", "modes", "when", "rule_set", "description".
Json::Value alarm_json(const AlarmEntry& entry);

// One line, UTF-8 as is.
std::string compact_json(const Json::Value& value);

// "always", or the count tests joined with " and ": "rect.count >= 12".
std::string presence_text(const Catalogue& catalogue, const ValueEntry& entry);

// 3, or "host.levels" / "host.thresholds" / "host.reports".
std::string level_text(const AlarmEntry& entry);

}  // namespace smdcatalogue
