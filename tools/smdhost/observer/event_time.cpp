#include "tools/smdhost/observer/event_time.hpp"

#include <cmath>
#include <cstdio>
#include <ctime>

namespace smdobserver {

namespace {

// Whole seconds and milliseconds, rounded to the nearest millisecond (a
// time just below a second boundary rounds up into the next second).
void split(double epoch, std::time_t& seconds, int& millis) {
    const double ms = std::floor(epoch * 1000.0 + 0.5);
    const double s = std::floor(ms / 1000.0);
    seconds = static_cast<std::time_t>(s);
    millis = static_cast<int>(ms - s * 1000.0);
}

}  // namespace

std::string iso_time(double epoch) {
    std::time_t s = 0;
    int ms = 0;
    split(epoch, s, ms);
    std::tm tm{};
    localtime_r(&s, &tm);
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &tm);
    const long off = tm.tm_gmtoff / 60;  // minutes east of UTC
    const long a = off < 0 ? -off : off;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s.%03d%c%02ld:%02ld", date, ms, off < 0 ? '-' : '+', a / 60,
                  a % 60);
    return buf;
}

std::string clock_ms(double epoch) {
    std::time_t s = 0;
    int ms = 0;
    split(epoch, s, ms);
    std::tm tm{};
    localtime_r(&s, &tm);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", tm.tm_hour, tm.tm_min, tm.tm_sec, ms);
    return buf;
}

}  // namespace smdobserver
