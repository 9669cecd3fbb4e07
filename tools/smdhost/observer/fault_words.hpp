// Framing faults in words, for reasons ("42/42 response lost to a bad
// checksum") and for the frame dissection ("checksum: expected F9E6,
// received F9E7").
#pragma once

#include <string>

#include "host/frame_codec.hpp"

namespace smdobserver {

// "a bad checksum", "a bad length checksum", "a length fault",
// "a non-hex character", "a broken frame", "an over-long frame".
const char* fault_phrase(smdhost::FrameFault fault);

// The fault's name (as in the "error" event) and what was wrong, e.g.
//   checksum: expected F9E6, received F9E7
//   length: LENID 012 announces 18 information characters, 16 found
//   hex: 'G' (0x47) at position 15 is not a hex digit
std::string fault_description(const smdhost::FrameFaultDetail& detail);

}  // namespace smdobserver
