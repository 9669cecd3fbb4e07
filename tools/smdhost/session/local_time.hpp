// Local date and time text of the bench host, read and written through
// Boost.Date_time, in the process's time zone (TZ).
//
// The plug-in turns the host clock into a local Boost.Date_time ptime; its
// calendar runs from 1400-01-01 to 9999-12-31, and a clock outside it makes
// every call that reads the time throw. So the times a scenario may set or
// reach are exactly the local times from 1400-01-01T00:00:00 to
// 9999-12-31T23:59:59, in whatever time zone the process runs.
#pragma once

#include <string>

namespace smdtime {

// Reads "YYYY-MM-DDTHH:MM:SS" (every field with its digits, nothing else) as
// a local time that exists (not one skipped by a daylight-saving change) in
// the calendar above. `epoch`: seconds since the epoch. False with the
// reason in `why`.
bool parse_local(const std::string& text, double& epoch, std::string& why);

// As parse_local, and also "YYYY-MM-DD HH:MM:SS" and a date alone
// "YYYY-MM-DD" (midnight), for times typed on a command line.
bool parse_local_loose(const std::string& text, double& epoch, std::string& why);

// First and last whole second of the calendar above, as epoch seconds.
double first_epoch();
double last_epoch();
// Whether the clock at `epoch` (its whole second) lies in the calendar.
bool in_calendar(double epoch);

// "YYYY-MM-DDTHH:MM:SS" of `epoch` (its whole second) in local time.
std::string local_iso(double epoch);

}  // namespace smdtime
