// Signal ids in a configuration against the ids the plug-in sends (the
// signal catalogue), for `smdhost check`.
//
// The "host" members name ids of the catalogue: "levels" grades the alarms
// whose level the level map decides, "thresholds" holds the limits of the
// threshold checks (and of the mode-2 rules that compare with them),
// "reports" the change-of-value settings of the reports and of the ids they
// are copied from. An id there that the plug-in never reads in the
// configuration's threshold mode is a warning naming the nearest known id:
//
//   c.json: "host"."levels": 22060014001: no such signal; did you mean 220600140010?
//
// "thresholdSetting" (mode 5) and an "AI" threshold file (mode 1) define
// ids of their own, which the catalogue cannot know: they are warned of only
// when one character away from a catalogue id, the mark of a copy gone
// wrong. The "AI" ids count as known for "thresholds" and "reports".
#pragma once

#include <set>
#include <string>

#include <json/value.h>

#include "tools/smdhost/check/check_report.hpp"

namespace smdcheck {

// Ids the configuration's own threshold definitions make the plug-in send.
struct DefinedIds {
    std::set<std::string> thresholds;  // threshold ids of the "AI" entries
    std::set<std::string> reports;     // their signal ids, and threshold ids as templates
};

// Where an id that a configuration defines was found, for the messages.
struct IdPlace {
    std::string file;    // "c.json", "ini/9.ini"
    int line = 0;        // in a threshold file; 0 none
    std::string member;  // "\"thresholdSetting\".\"dc_voltage\"", "[AI] \"dcv\""
};

// Warns (with `indent`) when `id`, defined by the configuration at `place`,
// is no catalogue id but one character from one.
void check_defined_id(Writer& w, const std::string& id, const IdPlace& place,
                      const std::string& indent);

// The ids in "host"."levels", "thresholds" and "reports" of `config` (file
// `config_path`) for threshold mode `mode`: a section of the report.
void check_host_ids(Writer& w, const std::string& config_path, const Json::Value& config,
                    int mode, const DefinedIds& defined);

}  // namespace smdcheck
