#include "device/local_clock.hpp"

#include <ctime>
#include <limits>

#include <boost/date_time/posix_time/posix_time_types.hpp>

namespace pxr52 {

boost::posix_time::ptime local_now() { return boost::posix_time::second_clock::local_time(); }

std::int64_t seconds_since(const boost::posix_time::ptime& then) {
    if (then.is_special()) return std::numeric_limits<std::int64_t>::max() / 2;
    return static_cast<std::int64_t>((local_now() - then).total_seconds());
}

std::int64_t epoch_now() { return static_cast<std::int64_t>(std::time(nullptr)); }

}  // namespace pxr52
