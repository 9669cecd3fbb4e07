// /api/history: stored values over a time range, downsampled by the store's
// query, and the alarms active in the range.
//
//   GET /api/history?names=dc.1.voltage,ac.1.a&from=T&to=T&points=N[&device=ADR]
//
// names: 1 to 16 catalogue value names; from, to: epoch seconds or local
// time YYYY-MM-DDTHH:MM:SS (default: the hour up to the host clock now);
// points: buckets wanted, 1 to 5000 (default 600): a bucket is (to - from)
// / points, at least 1 s.
//
//   {"from","to","bucket_s","series":{NAME:[[start_ms,mean,min,max],...]},
//    "alarms":[{"id","key","text","level","from_ms","to_ms"|null}]}
//
// Only buckets holding a record are listed; mean, min and max are null where
// the bucket's records held no valid reading of the value.
#pragma once

#include <string>

#include "tools/smdhost/outputs/http/http_types.hpp"
#include "tools/smdhost/outputs/monitor/device_monitor.hpp"

namespace smdmonitor {

// `store`: the --history file. Runs on a server thread, on a read-only
// connection of its own.
smdhttp::HttpReply history_reply(const smdhttp::HttpRequest& req, const std::string& store,
                                 const DeviceSnapshot& device, SteadyTime now);

// {"error":"..."} with `status`.
smdhttp::HttpReply json_error(int status, const std::string& message);

}  // namespace smdmonitor
