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

std::time_t local_epoch(int year, int month, int day, int hour, int minute, int second) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    const std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1)) return -1;
    // mktime normalises out-of-range fields; a time that moved is not valid.
    if (tm.tm_year != year - 1900 || tm.tm_mon != month - 1 || tm.tm_mday != day) return -1;
    return t;
}

}  // namespace sim_clock
}  // namespace smdhost
