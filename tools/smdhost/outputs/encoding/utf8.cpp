#include "tools/smdhost/outputs/encoding/utf8.hpp"

#include <cstddef>

namespace smdtext {
namespace {

// Length of the well-formed sequence starting at `pos`, or 0 when the bytes
// there are not one (the ranges of the Unicode standard, table 3-7).
std::size_t sequence_length(const std::string& s, std::size_t pos) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[pos + k]); };
    const std::size_t left = s.size() - pos;
    const unsigned char b0 = byte(0);
    if (b0 < 0x80) return 1;
    std::size_t len = 0;
    unsigned char lo = 0x80;
    unsigned char hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        if (b0 == 0xE0) lo = 0xA0;   // overlong
        if (b0 == 0xED) hi = 0x9F;   // surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        if (b0 == 0xF0) lo = 0x90;   // overlong
        if (b0 == 0xF4) hi = 0x8F;   // above U+10FFFF
    } else {
        return 0;
    }
    if (left < len) return 0;
    if (byte(1) < lo || byte(1) > hi) return 0;
    for (std::size_t k = 2; k < len; ++k)
        if (byte(k) < 0x80 || byte(k) > 0xBF) return 0;
    return len;
}

}  // namespace

bool is_valid_utf8(const std::string& text) {
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t len = sequence_length(text, pos);
        if (len == 0) return false;
        pos += len;
    }
    return true;
}

std::string sanitize_utf8(const std::string& text) {
    if (is_valid_utf8(text)) return text;
    std::string out;
    out.reserve(text.size() + 8);
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t len = sequence_length(text, pos);
        if (len == 0) {
            out += "\xEF\xBF\xBD";
            ++pos;
        } else {
            out.append(text, pos, len);
            pos += len;
        }
    }
    return out;
}

}  // namespace smdtext
