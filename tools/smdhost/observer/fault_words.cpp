#include "tools/smdhost/observer/fault_words.hpp"

#include <cstdio>

namespace smdobserver {

using smdhost::FrameFault;
using Length = smdhost::FrameFaultDetail::Length;

const char* fault_phrase(FrameFault fault) {
    switch (fault) {
        case FrameFault::checksum: return "a bad checksum";
        case FrameFault::length_checksum: return "a bad length checksum";
        case FrameFault::length: return "a length fault";
        case FrameFault::hex: return "a non-hex character";
        case FrameFault::broken: return "a broken frame";
        case FrameFault::too_long: return "an over-long frame";
    }
    return "a bad frame";
}

std::string fault_description(const smdhost::FrameFaultDetail& d) {
    char buf[160] = "";
    switch (d.fault) {
        case FrameFault::checksum:
            std::snprintf(buf, sizeof buf, "checksum: expected %04X, received %04X", d.expected,
                          d.received);
            break;
        case FrameFault::length_checksum:
            std::snprintf(buf, sizeof buf, "length_checksum: LENID %03X needs LCHKSUM %X, received %X",
                          d.lenid, d.expected, d.received);
            break;
        case FrameFault::length:
            switch (d.length) {
                case Length::mismatch:
                    std::snprintf(buf, sizeof buf,
                                  "length: LENID %03X announces %u information characters, %zu found",
                                  d.lenid, d.lenid, d.info_chars);
                    break;
                case Length::odd_lenid:
                    std::snprintf(buf, sizeof buf, "length: LENID %03X is odd", d.lenid);
                    break;
                case Length::odd_chars:
                    std::snprintf(buf, sizeof buf, "length: %zu characters after SOI, an odd number",
                                  d.chars);
                    break;
                case Length::too_short:
                case Length::none:
                    std::snprintf(buf, sizeof buf,
                                  "length: %zu characters after SOI, a frame needs at least 16",
                                  d.chars);
                    break;
            }
            break;
        case FrameFault::hex:
            if (d.bad_char >= 0x21 && d.bad_char < 0x7F)
                std::snprintf(buf, sizeof buf, "hex: '%c' (0x%02X) at position %zu is not a hex digit",
                              d.bad_char, d.bad_char, d.bad_position);
            else
                std::snprintf(buf, sizeof buf, "hex: 0x%02X at position %zu is not a hex digit",
                              d.bad_char, d.bad_position);
            break;
        case FrameFault::broken:
            std::snprintf(buf, sizeof buf, "broken: a new SOI after %zu characters, before EOI",
                          d.chars);
            break;
        case FrameFault::too_long:
            std::snprintf(buf, sizeof buf, "too_long: more than %zu characters without EOI",
                          smdhost::kMaxFrameChars);
            break;
    }
    return buf;
}

}  // namespace smdobserver
