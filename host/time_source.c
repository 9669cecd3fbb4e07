/* time() as the plug-in sees it: the wall clock, or the host's simulated
 * clock while one is set (host/sim_clock.hpp). Defined here so that the
 * dynamic linker binds the plug-in's references to this definition. */
#include <math.h>
#include <time.h>

int smdhost_clock_is_simulated = 0;
double smdhost_clock_seconds = 0.0;

time_t time(time_t* out) {
    time_t now;
    if (smdhost_clock_is_simulated) {
        now = (time_t)floor(smdhost_clock_seconds);
    } else {
        struct timespec ts;
        clock_gettime(CLOCK_REALTIME, &ts);
        now = ts.tv_sec;
    }
    if (out != NULL) *out = now;
    return now;
}
