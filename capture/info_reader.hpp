// InfoReader: a bounded cursor over the information bytes of one response.
//
// Every read of a capture decoder goes through one of the operations below,
// and each checks the remaining count before it touches a byte, so no count
// or length taken from the line can move a read past the information field.
// A failed operation leaves the cursor and the count where they were (except
// read_bytes, which stops at the first byte that is missing).
//
// Lives on the decoder's stack for one call; allocates nothing.
#pragma once

#include <cstdint>

namespace pxr52 {

class InfoReader {
public:
    // `length` is the information length the frame announced; a negative
    // length leaves nothing to read.
    InfoReader(const unsigned char* info, int length) : cursor_(info), remaining_(length) {}

    bool read_u8(unsigned char& out) {
        if (remaining_ <= 0) return false;
        out = *cursor_;
        advance(1);
        return true;
    }

    // Big-endian unsigned 16-bit word.
    bool read_u16(std::uint16_t& out) {
        if (remaining_ <= 1) return false;
        out = static_cast<std::uint16_t>(cursor_[0] << 8 | cursor_[1]);
        advance(2);
        return true;
    }

    // Fixed-point value: big-endian unsigned 16-bit word / divisor. The power
    // system reports an invalid reading as two equal non-zero bytes (20 20,
    // FF FF); that gives `absent` instead. 00 00 is a real zero.
    bool read_fixed(float& out, float divisor, float absent) {
        if (remaining_ <= 1) return false;
        const unsigned char hi = cursor_[0];
        const unsigned char lo = cursor_[1];
        advance(2);
        if (hi != 0 && hi == lo)
            out = absent;
        else
            out = static_cast<float>(static_cast<unsigned>(hi) << 8 | lo) / divisor;
        return true;
    }

    bool skip(int n) {
        if (n < 0 || n > remaining_) return false;
        advance(n);
        return true;
    }

    // Bytes read so far out of an information field of `length` bytes.
    int consumed(int length) const { return length - remaining_; }

    int remaining() const { return remaining_; }

    // Reads n bytes; byte k lands in dest[k] only when k < capacity, the rest
    // are read and dropped so the cursor stays in step with the reply. Fails
    // at the first missing byte; bytes read before it stay read and stored.
    bool read_bytes(unsigned char n, unsigned char* dest, int capacity) {
        if (n > remaining_) {
            // Short field: byte by byte up to the first missing byte.
            for (int k = 0; k < n; ++k) {
                unsigned char b = 0;
                if (!read_u8(b)) return false;
                if (k < capacity) dest[k] = b;
            }
            return true;
        }
        // Every byte is there: one bounds check for the run instead of one
        // per byte (the rectifier alarm reply reads 40 runs of 7).
        const int kept = n < capacity ? n : capacity;
        for (int k = 0; k < kept; ++k) dest[k] = cursor_[k];
        advance(n);
        return true;
    }

private:
    void advance(int n) {
        cursor_ += n;
        remaining_ -= n;
    }

    const unsigned char* cursor_;
    std::int32_t remaining_;
};

}  // namespace pxr52
