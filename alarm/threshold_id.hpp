// Threshold ids of the mode-1 "AI" signals.
#pragma once

#include <cstddef>
#include <string>

namespace pxr52 {

// A threshold id is the signal id with '6' at position 3 and '1' at
// position 8 (419110100001 -> 419610101001), so a signal id needs at least
// nine characters to have one.
constexpr std::size_t kMinAiSignalIdLength = 9;

// Stores the threshold id of `signal_id` in `out`; false (and `out`
// unchanged) when the signal id is too short to have one.
inline bool derive_threshold_id(const std::string& signal_id, std::string& out) {
    if (signal_id.size() < kMinAiSignalIdLength) return false;
    out = signal_id;
    out[3] = '6';
    out[8] = '1';
    return true;
}

}  // namespace pxr52
