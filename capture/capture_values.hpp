// Conversions shared by the capture decoders.
#pragma once

#include "capture/info_reader.hpp"
#include "device/le_bytes.hpp"

namespace pxr52 {

// Fixed-point replies carry hundredths (V, A, Hz).
constexpr float kHundredths = 100.0f;
// DC user-defined values are sent unscaled.
constexpr float kUnscaled = 1.0f;
// What an invalid reading becomes: 0.0 for voltages, frequency and most
// currents; the marker -0.1 (record bytes CD CC CC BD) for the AC phase
// currents and the DC user-defined values, where 0.0 is a real reading.
constexpr float kAbsentZero = 0.0f;
constexpr float kAbsentMarker = -0.1f;

// Reads one fixed-point value and stores it in `field`; on failure `field`
// is left as it was.
inline bool read_fixed_to(InfoReader& r, le_f32& field, float divisor, float absent) {
    float v = 0.0f;
    if (!r.read_fixed(v, divisor, absent)) return false;
    field.set(v);
    return true;
}

inline unsigned char clip_count(unsigned char count, int capacity) {
    return count > capacity ? static_cast<unsigned char>(capacity) : count;
}

}  // namespace pxr52
