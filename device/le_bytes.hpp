// Little-endian field types of the packed data record.
//
// Every multi-byte field of the record is held as plain bytes (alignment 1,
// so the record needs no packing pragma) and read or written by copying
// bytes: a float at an odd offset is never loaded through a float pointer,
// which faults on some ARM cores.
#pragma once

#include <cstdint>
#include <cstring>

namespace pxr52 {

constexpr bool host_is_little_endian() {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    return false;
#else
    return true;
#endif
}

// Unsigned 32-bit, little-endian.
struct le_u32 {
    unsigned char b[4];

    std::uint32_t get() const {
        return static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
               static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
    }
    void set(std::uint32_t v) {
        b[0] = static_cast<unsigned char>(v);
        b[1] = static_cast<unsigned char>(v >> 8);
        b[2] = static_cast<unsigned char>(v >> 16);
        b[3] = static_cast<unsigned char>(v >> 24);
    }
};

// IEEE-754 single precision, little-endian byte order.
struct le_f32 {
    unsigned char b[4];

    float get() const {
        unsigned char tmp[4] = {b[0], b[1], b[2], b[3]};
        if (!host_is_little_endian()) {
            tmp[0] = b[3];
            tmp[1] = b[2];
            tmp[2] = b[1];
            tmp[3] = b[0];
        }
        float v;
        std::memcpy(&v, tmp, 4);
        return v;
    }
    void set(float v) {
        unsigned char tmp[4];
        std::memcpy(tmp, &v, 4);
        if (host_is_little_endian()) {
            std::memcpy(b, tmp, 4);
        } else {
            b[0] = tmp[3];
            b[1] = tmp[2];
            b[2] = tmp[1];
            b[3] = tmp[0];
        }
    }
    // The four bytes exactly as they stand (a float reply's bytes are copied
    // unchanged into the record).
    void set_bytes(const unsigned char* src) { std::memcpy(b, src, 4); }
};

static_assert(sizeof(le_u32) == 4 && alignof(le_u32) == 1, "le_u32 must be 4 packed bytes");
static_assert(sizeof(le_f32) == 4 && alignof(le_f32) == 1, "le_f32 must be 4 packed bytes");

// Plain helpers for byte buffers.
inline float load_f32(const unsigned char* p) {
    le_f32 f;
    std::memcpy(f.b, p, 4);
    return f.get();
}

inline void store_f32(unsigned char* p, float v) {
    le_f32 f;
    f.set(v);
    std::memcpy(p, f.b, 4);
}

// Big-endian unsigned 16-bit value of a reply.
inline unsigned load_be16(const unsigned char* p) {
    return static_cast<unsigned>(p[0]) << 8 | p[1];
}

}  // namespace pxr52
