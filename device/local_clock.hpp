// The device's one time source. Every reading of the clock in the plug-in
// goes through here; it asks the C library's time(), which the host process
// provides (the bench host's simulated clock, or the wall clock).
#pragma once

#include <cstdint>

#include <boost/date_time/posix_time/ptime.hpp>

namespace pxr52 {

// Current local time, whole seconds.
boost::posix_time::ptime local_now();

// Whole seconds from `then` to the current local time (negative when the
// clock went back). A `then` that holds no time gives a very large age.
std::int64_t seconds_since(const boost::posix_time::ptime& then);

// Current time in seconds since the epoch (for change-of-value periods).
std::int64_t epoch_now();

}  // namespace pxr52
