// /metrics: the Prometheus text exposition of the devices' state.
//
//   pxr52_up                              1 while records arrive, 0 after 61 s without one
//   pxr52_last_record_timestamp_seconds   host clock of the last published record
//   pxr52_cycles_total{result}            interrogation cycles, "published" or "dropped"
//   pxr52_frames_bad_total{reason}        bad frames by framing fault
//   pxr52_alarm_active{id,key}            1 for every active host alarm
//   one gauge per catalogue value         named by the catalogue (unit suffix, labels
//                                         for input, phase, module, screen, ...)
//
// Values are given only while they are current: not for a stale device, not
// for a value the record does not hold or holds as an invalid reading, so a
// query never mistakes the last known value for the plant now. Every family
// is declared all the same. With several devices every sample carries the
// device's "adr".
#pragma once

#include <string>
#include <vector>

#include "tools/smdhost/outputs/monitor/device_monitor.hpp"

namespace smdmonitor {

std::string metrics_page(const std::vector<DeviceSnapshot>& devices, SteadyTime now);

}  // namespace smdmonitor
