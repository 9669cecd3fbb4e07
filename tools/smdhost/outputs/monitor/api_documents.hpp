// The JSON documents of the monitor's /api/, which the dashboard reads.
// Times are given twice: as ISO 8601 local time with milliseconds and
// offset (the events' "t" form) and as epoch milliseconds ("..._ms"). Text
// from the line or the configuration is passed as JSON strings (bytes that
// are not UTF-8 become U+FFFD); the page puts it in as text.
//
//   /api/devices    {"devices":[{"adr":N|null,"data_id":N,"label":"..."}]}
//   /api/catalogue  {"values":[{"name","unit","description","group"}],
//                    "alarms":[{"id","key","text1","text2","level","description"}]}
//   /api/current    {"t","adr","data_id","stale","up","records",
//                    "last_record","last_record_ms","age_s","values":{NAME:number|null}}
//                   (no last_record... before the first record; a value the
//                   record does not hold is absent, an invalid reading null)
//   /api/alarms     {"t","active":[{"id","key","level","text1","text2","since","since_ms"}]}
//                   newest first
//   /api/line       {"cycles":{"seen","published","dropped"},"bad_frames":{KIND:N},
//                    "silent","longest_silence_s","recent_drops":[{"n","t","reason"}]}
#pragma once

#include <string>

#include <json/value.h>

#include "tools/smdhost/outputs/monitor/device_monitor.hpp"

namespace smdmonitor {

// One line of compact JSON, UTF-8 as it is.
std::string json_text(const Json::Value& v);
// The device label the page shows: "data id 1", "adr 3 · data id 2".
std::string device_label(const DeviceSnapshot& d);
Json::Value address_json(int address);
// An epoch time in milliseconds, as a JSON integer.
Json::Value epoch_ms(double epoch);
std::string iso(double epoch);

const std::string& catalogue_document();
Json::Value current_document(const DeviceSnapshot& d, SteadyTime now);
Json::Value alarms_document(const DeviceSnapshot& d, SteadyTime now);
Json::Value line_document(const DeviceSnapshot& d);

}  // namespace smdmonitor
