#include "host/sim_clock.hpp"

#include <ctime>

extern "C" {
extern int smdhost_clock_is_simulated;
extern double smdhost_clock_seconds;
}

namespace smdhost {
namespace sim_clock {

void use_wall() { smdhost_clock_is_simulated = 0; }

void set_simulated(double epoch_seconds) {
    smdhost_clock_seconds = epoch_seconds;
    smdhost_clock_is_simulated = 1;
}

void advance(double seconds) { smdhost_clock_seconds += seconds; }

bool simulated() { return smdhost_clock_is_simulated != 0; }

double now() {
    if (smdhost_clock_is_simulated) return smdhost_clock_seconds;
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

}  // namespace sim_clock
}  // namespace smdhost
