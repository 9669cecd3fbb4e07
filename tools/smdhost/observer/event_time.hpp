// The host clock as the events and the text view write it.
#pragma once

#include <string>

namespace smdobserver {

// ISO 8601 local time (the process's TZ) with milliseconds and offset:
// "2026-01-01T00:00:06.000+00:00". `epoch`: seconds since the epoch; the
// "t" member of every event and the "start" of a cycle.
std::string iso_time(double epoch);

// Local time of day with milliseconds, "00:00:06.041" (frame dissection).
std::string clock_ms(double epoch);

}  // namespace smdobserver
