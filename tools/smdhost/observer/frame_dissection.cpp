#include "tools/smdhost/observer/frame_dissection.hpp"

#include <cstdio>

#include "tools/smdhost/observer/cycle_pairs.hpp"
#include "tools/smdhost/observer/event_time.hpp"
#include "tools/smdhost/observer/fault_words.hpp"

namespace smdobserver {

namespace {

std::string fields(unsigned char adr, unsigned char cid1, unsigned char b3) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "ADR %02X  CID1 %02X  %s %02X", adr, cid1,
                  b3 == 0 || is_error_return(b3) ? "RTN" : "CID2", b3);
    return buf;
}

std::string prefix(double t, const LinePosition& at) {
    return clock_ms(t) + "  " + at.text() + "  ";
}

}  // namespace

std::string dissect_frame(double t, const LinePosition& at, const unsigned char* f,
                          std::size_t size) {
    if (f == nullptr || size < smdhost::kDecodedHeader)
        return prefix(t, at) + "frame  (" + std::to_string(size) + " bytes, no header)";
    const unsigned lenid = static_cast<unsigned>(f[5] << 8 | f[4]);
    std::size_t info = lenid / 2;
    if (info > size - smdhost::kDecodedHeader) info = size - smdhost::kDecodedHeader;
    char len[48];
    std::snprintf(len, sizeof len, "  LENID %03X  %zu info byte%s", lenid, info, info == 1 ? "" : "s");
    std::string s = prefix(t, at) + "frame  " + fields(f[1], f[2], f[3]) + len;
    if (info != 0) {
        static const char kHex[] = "0123456789ABCDEF";
        s += "\n  info";
        s.reserve(s.size() + info * 3 + (info / kBytesPerLine + 1) * 8);
        for (std::size_t k = 0; k < info; ++k) {
            if (k != 0 && k % kBytesPerLine == 0) s += "\n      ";
            const unsigned char b = f[smdhost::kDecodedHeader + k];
            s += ' ';
            s += kHex[b >> 4];
            s += kHex[b & 0xF];
        }
    }
    return s;
}

std::string dissect_bad_frame(double t, const LinePosition& at,
                              const smdhost::FrameFaultDetail& d, const char* text,
                              std::size_t len) {
    std::string s = prefix(t, at) + "bad frame";
    if (d.has_header) {
        s += "  " + fields(d.header[1], d.header[2], d.header[3]);
        if (d.has_lenid) {
            char buf[24];
            std::snprintf(buf, sizeof buf, "  LENID %03X", d.lenid);
            s += buf;
        }
    }
    s += "\n  " + fault_description(d);
    s += "\n  chars ~";
    const std::size_t shown = len < kShownChars ? len : kShownChars;
    for (std::size_t k = 0; k < shown && text != nullptr; ++k) {
        if (k != 0 && k % kCharsPerLine == 0) s += "\n         ";
        const unsigned char c = static_cast<unsigned char>(text[k]);
        if (c >= 0x20 && c < 0x7F) {
            s += static_cast<char>(c);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            s += buf;
        }
    }
    if (len > shown) s += "... (" + std::to_string(len) + " characters)";
    return s;
}

}  // namespace smdobserver
