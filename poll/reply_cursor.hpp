// ReplyCursor: the one bounded reader of the poll decoders.
//
// The poll decoders follow a reply's whole layout and only at the end compare
// how far the layout went with the bytes they were given: a short reply is
// refused with -1 after the fact, and a few decoders report the consumed
// count even when it runs past the end. The cursor keeps that contract
// without ever touching a byte outside the reply. Every step goes through
// take(), which
//   - always advances the position by the requested width, so consumed()
//     tells how far the layout reached, inside the reply or not;
//   - hands out the bytes only when all of them lie inside the reply.
// Once one step has run past the end every later step fails as well, so a
// decoder writes nothing from the point where the reply ran out, and a count
// byte that could not be read counts as 0 (its repeated block is empty).
#pragma once

#include <climits>
#include <cstdint>

#include "device/le_bytes.hpp"

namespace pxr52 {
namespace poll {

class ReplyCursor {
public:
    // `len` is the number of bytes readable from `p`; a negative or zero
    // length (a caller's offset past the end) gives an empty reply.
    ReplyCursor(const unsigned char* p, int len) : p_(p), len_(p != nullptr && len > 0 ? len : 0) {}

    // Steps over `n` bytes (a negative `n` counts as 0). True and `out` set to
    // the first of them when all `n` exist; false otherwise, with `out`
    // untouched. The position moves by `n` either way.
    bool take(std::int64_t n, const unsigned char*& out) {
        if (n < 0) n = 0;
        const bool ok = pos_ + n <= len_;
        if (ok) out = p_ + pos_;
        pos_ += n;
        if (!ok) overran_ = true;
        return ok;
    }

    bool skip(std::int64_t n) {
        const unsigned char* unused = nullptr;
        return take(n, unused);
    }

    // One byte; false when it is missing.
    bool u8(unsigned char& v) {
        const unsigned char* b = nullptr;
        if (!take(1, b)) return false;
        v = *b;
        return true;
    }

    // A count byte of the layout: its value, or 0 when it is missing.
    unsigned char count() {
        unsigned char v = 0;
        u8(v);
        return v;
    }

    // The next `n` bytes without moving, or null when any of them is missing.
    const unsigned char* peek(std::int64_t n) const {
        if (n < 0 || pos_ + n > len_) return nullptr;
        return p_ + pos_;
    }

    // The byte `k` places ahead of the position, or 0 when it is missing
    // (for diagnostics that show bytes without consuming them).
    unsigned char ahead(std::int64_t k) const {
        return k >= 0 && pos_ + k < len_ ? p_[pos_ + k] : 0;
    }

    // Bytes the layout consumed so far (may exceed available()).
    int consumed() const { return pos_ > INT_MAX ? INT_MAX : static_cast<int>(pos_); }
    int available() const { return static_cast<int>(len_); }
    // True once the layout needed a byte that the reply does not have.
    bool overran() const { return overran_; }
    // The common decoder result: the bytes consumed, or -1 after an overrun.
    int result() const { return overran_ ? -1 : consumed(); }

private:
    const unsigned char* p_;
    std::int64_t len_;
    std::int64_t pos_ = 0;
    bool overran_ = false;  // pos_ only grows, so no step succeeds after this
};

// Invalid-value markers of the power system: all bytes equal and non-zero.
inline bool invalid_fl(const unsigned char* b) {
    return b[0] != 0 && b[0] == b[1] && b[1] == b[2] && b[2] == b[3];
}
inline bool invalid_fx(const unsigned char* b) { return b[0] != 0 && b[0] == b[1]; }

// -0.1, stored for invalid values of the fields that keep a marker
// (bytes CD CC CC BD in the record).
constexpr float kInvalidMarker = -0.1f;

// Field readers: each takes its bytes from the cursor and writes `dst` only
// when they all exist; the result says whether it wrote.

// A float as it arrives, bytes copied unchanged.
inline bool read_fl(ReplyCursor& c, le_f32& dst) {
    const unsigned char* b = nullptr;
    if (!c.take(4, b)) return false;
    dst.set_bytes(b);
    return true;
}

// A float tested for the invalid marker: an invalid one is stored as `invalid`.
inline bool read_fl_tested(ReplyCursor& c, le_f32& dst, float invalid) {
    const unsigned char* b = nullptr;
    if (!c.take(4, b)) return false;
    if (invalid_fl(b))
        dst.set(invalid);
    else
        dst.set_bytes(b);
    return true;
}

// A fixed-point value: unsigned big-endian 16-bit, divided by `divisor`.
inline bool read_fx(ReplyCursor& c, le_f32& dst, float divisor) {
    const unsigned char* b = nullptr;
    if (!c.take(2, b)) return false;
    dst.set(static_cast<float>(load_be16(b)) / divisor);
    return true;
}

// A fixed-point value tested for the invalid marker.
inline bool read_fx_tested(ReplyCursor& c, le_f32& dst, float divisor, float invalid) {
    const unsigned char* b = nullptr;
    if (!c.take(2, b)) return false;
    dst.set(invalid_fx(b) ? invalid : static_cast<float>(load_be16(b)) / divisor);
    return true;
}

}  // namespace poll
}  // namespace pxr52
