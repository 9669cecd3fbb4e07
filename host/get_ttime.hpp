// get_ttime: the host's 7-byte time stamp of a local time.
#pragma once

#include <array>

#include <boost/date_time/posix_time/ptime.hpp>

#include "host/host_api.hpp"

// Bytes: year (big-endian 16-bit), month (1-12), day, hour, minute, second.
// A time that holds no date (not_a_date_time and the like) gives seven zeros.
SMD_HOST_API std::array<unsigned char, 7> get_ttime(const boost::posix_time::ptime& t);
