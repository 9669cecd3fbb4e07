// The observer's reports as JSON events (--format json --diagnostics):
//
//   {"ev":"cycle","n":7,"published":false,
//    "pairs":{"40/42":"ok",...,"42/44":"not_asked"},
//    "reason":"42/42 response lost to a bad checksum","note":"...",
//    "start":"2026-01-01T00:00:30.041+00:00","at":"demo.scn:212","duration":1.912,
//    "ended":"42/44 response","bad_frames":{"checksum":1}}
//   "reason" only when not published, "note" only when there is one,
//   "bad_frames" (since the cycle before, by failure kind) only when any;
//   "at": where the cycle began on the input (scenario line, or "byte N" of
//   a raw stream or live line).
//
//   {"ev":"line","bytes":N,"frames":N,"bad_frames":{"checksum":N,...every kind},
//    "cycles":40,"published":34,"dropped":6,"complete":34,"longest_silence":3.73,
//    "outside_cycles":N,"duplicates":N,"other_address":N,"alarms_active":N}
//   "complete": cycles whose capture round, followed from the line, completed
//   (what the plug-in should have published); "alarms_active" only when the
//   caller filled it in; "no_device":{"5":12} (several devices: good frames
//   of each address that has no device, dropped) only when any.
//
// The caller adds "t" (iso_time of the host clock when the event is
// written) and writes the line with event_line().
#pragma once

#include <string>

#include <json/value.h>

#include "tools/smdhost/observer/line_report.hpp"

namespace smdobserver {

Json::Value cycle_event(const CycleReport& report);
Json::Value line_event(const LineTotals& totals);
// `smdhost stats --format json`: {"ev":"stats", "line": line_event members
// ("incomplete" in place of "published" and "dropped": no plug-in runs),
// "seconds", "rates", "error_rates", "period", "completeness"}.
Json::Value stats_event(const LineStats& stats);

// One line of JSON without line end: "ev" first, then the members in the
// order shown above (others by name), "t" last, as the bench host writes
// every event; numbers with at most 9 significant digits.
std::string event_line(const Json::Value& event);

}  // namespace smdobserver
