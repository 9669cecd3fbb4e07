// The host's clock, which the plug-in sees as "now".
//
// The plug-in reads the time only through the C library's time() (directly and
// through Boost's second_clock). The host layer defines time() itself
// (host/time_source.c), so inside any process linked with the host layer the
// plug-in's calls resolve to it: on the wall clock by default, on a simulated
// clock once set_simulated() is called. The plug-in gains no symbol the real
// host lacks.
#pragma once

#include <ctime>

#include "host/host_api.hpp"

namespace smdhost {
namespace sim_clock {

// Back to the wall clock.
SMD_HOST_API void use_wall();
// Simulated clock at `epoch_seconds` (may hold a fraction).
SMD_HOST_API void set_simulated(double epoch_seconds);
// Moves the simulated clock forward (or back, with a negative step).
SMD_HOST_API void advance(double seconds);
SMD_HOST_API bool simulated();
// Seconds since the epoch: simulated or wall, with fraction.
SMD_HOST_API double now();

}  // namespace sim_clock
}  // namespace smdhost
