// Pieces of the signal ids and alarm texts that the rule sets build per
// channel, module, fuse or screen.
#pragma once

#include <algorithm>
#include <string>

namespace pxr52 {

// n in decimal, zero-padded to at least three digits (1 -> "001", 1234 -> "1234").
inline std::string zero_pad3(int n) {
    std::string s = std::to_string(n);
    if (s.size() < 3) s.insert(0, 3 - s.size(), '0');
    return s;
}

// Number of records a rule loop walks: the count the record states, never
// more than the record holds (a cached or polled record can state anything).
inline int bounded_count(unsigned char count, int capacity) {
    return std::min(static_cast<int>(count), capacity);
}

}  // namespace pxr52
