#include "tools/smdhost/session/local_time.hpp"

#include <cmath>
#include <ctime>
#include <exception>

#include <boost/date_time/posix_time/posix_time.hpp>

namespace smdtime {

namespace {

namespace pt = boost::posix_time;

// The shape "DDDD-DD-DDTDD:DD:DD".
bool iso_shape(const std::string& t) {
    static const char kShape[] = "####-##-##T##:##:##";
    if (t.size() != sizeof kShape - 1) return false;
    for (std::size_t k = 0; k < t.size(); ++k) {
        if (kShape[k] == '#' ? (t[k] < '0' || t[k] > '9') : t[k] != kShape[k]) return false;
    }
    return true;
}

// Epoch seconds of a local time given as calendar fields; false when the
// local time does not exist in the process's time zone. mktime() is the C
// library's one source of the zone's rules, the same the plug-in's
// conversion back to local time uses.
bool to_epoch(const pt::ptime& t, std::time_t& out) {
    const auto date = t.date();
    const auto tod = t.time_of_day();
    std::tm tm{};
    tm.tm_year = static_cast<int>(date.year()) - 1900;
    tm.tm_mon = static_cast<int>(date.month()) - 1;
    tm.tm_mday = static_cast<int>(date.day());
    tm.tm_hour = static_cast<int>(tod.hours());
    tm.tm_min = static_cast<int>(tod.minutes());
    tm.tm_sec = static_cast<int>(tod.seconds());
    tm.tm_isdst = -1;
    std::tm want = tm;
    const std::time_t e = std::mktime(&tm);
    // mktime() gives -1 both on failure and for the second before the
    // epoch: whether it worked shows in the local time of the result.
    std::tm back{};
    if (localtime_r(&e, &back) == nullptr) return false;
    if (back.tm_year != want.tm_year || back.tm_mon != want.tm_mon ||
        back.tm_mday != want.tm_mday || back.tm_hour != want.tm_hour ||
        back.tm_min != want.tm_min || back.tm_sec != want.tm_sec)
        return false;
    out = e;
    return true;
}

double calendar_edge(const char* text) {
    std::time_t e = 0;
    to_epoch(pt::from_iso_extended_string(text), e);
    return static_cast<double>(e);
}

}  // namespace

bool parse_local(const std::string& text, double& epoch, std::string& why) {
    if (!iso_shape(text)) {
        why = "not YYYY-MM-DDTHH:MM:SS";
        return false;
    }
    pt::ptime t;
    try {
        t = pt::from_iso_extended_string(text);
    } catch (const std::exception& e) {
        why = e.what();
        return false;
    }
    // Boost carries an hour 24 or a minute 60 over into the next field; the
    // text must be the time as written.
    if (t.is_special() || pt::to_iso_extended_string(t) != text) {
        why = "no such date and time";
        return false;
    }
    std::time_t e = 0;
    if (!to_epoch(t, e)) {
        why = "no such local time in this time zone";
        return false;
    }
    epoch = static_cast<double>(e);
    return true;
}

bool parse_local_loose(const std::string& text, double& epoch, std::string& why) {
    std::string iso = text;
    if (iso.size() == 10) iso += "T00:00:00";
    if (iso.size() == 19 && iso[10] == ' ') iso[10] = 'T';
    return parse_local(iso, epoch, why);
}

double first_epoch() {
    static const double e = calendar_edge("1400-01-01T00:00:00");
    return e;
}

double last_epoch() {
    static const double e = calendar_edge("9999-12-31T23:59:59");
    return e;
}

bool in_calendar(double epoch) {
    const double whole = std::floor(epoch);
    return whole >= first_epoch() && whole <= last_epoch();
}

std::string local_iso(double epoch) {
    const std::time_t whole = static_cast<std::time_t>(std::floor(epoch));
    std::tm tm{};
    localtime_r(&whole, &tm);
    char buf[40];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &tm);
    return buf;
}

}  // namespace smdtime
