#include "host/frame_codec.hpp"

#include <algorithm>

namespace smdhost {

namespace {

const char kHex[] = "0123456789ABCDEF";

// Value of every character as a hex digit, -1 for a character that is not
// one: one load per line character instead of three range tests.
struct HexDigits {
    signed char value[256];
    constexpr HexDigits() : value() {
        for (int c = 0; c < 256; ++c) {
            value[c] = -1;
            if (c >= '0' && c <= '9') value[c] = static_cast<signed char>(c - '0');
            if (c >= 'A' && c <= 'F') value[c] = static_cast<signed char>(c - 'A' + 10);
            if (c >= 'a' && c <= 'f') value[c] = static_cast<signed char>(c - 'a' + 10);
        }
    }
};
constexpr HexDigits kHexDigits;

int hex_value(unsigned char c) { return kHexDigits.value[c]; }

void put_hex(std::string& out, unsigned value, int digits) {
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) out += kHex[(value >> shift) & 0xF];
}

}  // namespace

const char* frame_fault_name(FrameFault fault) {
    switch (fault) {
        case FrameFault::checksum: return "checksum";
        case FrameFault::length_checksum: return "length_checksum";
        case FrameFault::length: return "length";
        case FrameFault::hex: return "hex";
        case FrameFault::broken: return "broken";
        case FrameFault::too_long: return "too_long";
    }
    return "unknown";
}

unsigned length_checksum(unsigned lenid) {
    const unsigned digits = (lenid & 0xF) + ((lenid >> 4) & 0xF) + ((lenid >> 8) & 0xF);
    return (16 - digits % 16) % 16;
}

std::string encode_frame(unsigned char ver, unsigned char adr, unsigned char cid1,
                         unsigned char cid2, const unsigned char* info, std::size_t info_len) {
    if (info == nullptr) info_len = 0;
    info_len = std::min(info_len, kMaxInfoBytes);
    const unsigned lenid = static_cast<unsigned>(info_len * 2);
    std::string out;
    out.reserve(18 + info_len * 2);
    out += '~';
    put_hex(out, ver, 2);
    put_hex(out, adr, 2);
    put_hex(out, cid1, 2);
    put_hex(out, cid2, 2);
    put_hex(out, (length_checksum(lenid) << 12) | lenid, 4);
    for (std::size_t k = 0; k < info_len; ++k) put_hex(out, info[k], 2);
    std::uint32_t sum = 0;
    for (std::size_t k = 1; k < out.size(); ++k) sum += static_cast<unsigned char>(out[k]);
    put_hex(out, (65536 - sum % 65536) % 65536, 4);
    out += '\r';
    return out;
}

void FrameDecoder::reset() { state_ = State::idle; }

void FrameDecoder::start() {
    state_ = State::collecting;
    non_hex_ = 0;
    chars_ = 0;
    sum_ = 0;
}

void FrameDecoder::decode_pairs(std::size_t pairs) {
    for (std::size_t k = 0; k < pairs; ++k)
        raw_[k] = static_cast<unsigned char>(hex_value(static_cast<unsigned char>(text_[2 * k])) << 4 |
                                             hex_value(static_cast<unsigned char>(text_[2 * k + 1])));
}

std::size_t FrameDecoder::first_non_hex(std::size_t chars) const {
    for (std::size_t k = 0; k < chars; ++k)
        if (hex_value(static_cast<unsigned char>(text_[k])) < 0) return k;
    return chars;
}

FrameDecoder::Status FrameDecoder::fail(FrameFault fault, std::size_t chars) {
    detail_ = FrameFaultDetail{};
    detail_.fault = fault;
    detail_.chars = chars;
    text_size_ = std::min(chars, kMaxFrameChars);
    // A field is known when all its characters arrived and are hex digits.
    const std::size_t good = first_non_hex(std::min<std::size_t>(text_size_, 12));
    if (good >= 8) {
        decode_pairs(good / 2);
        detail_.has_header = true;
        std::copy(raw_, raw_ + 4, detail_.header);
        if (good >= 12) {
            detail_.has_lenid = true;
            detail_.lenid = (static_cast<unsigned>(raw_[4]) << 8 | raw_[5]) & 0xFFF;
        }
    }
    if (fault == FrameFault::hex) {
        const std::size_t at = first_non_hex(text_size_);
        detail_.bad_char = static_cast<unsigned char>(text_[at]);
        detail_.bad_position = at + 1;
    }
    return Status::fault;
}

FrameDecoder::Status FrameDecoder::push_edge(unsigned char c) {
    if (state_ != State::collecting) {
        if (c == '~') start();
        return Status::none;
    }
    if (c == '~') {
        // The partial frame is bad; a new one begins here.
        const Status s = fail(FrameFault::broken, chars_);
        start();
        return s;
    }
    if (c == '\r' || (accept_lf_ && c == '\n')) {
        state_ = State::idle;
        return finish();
    }
    if (chars_ == kMaxFrameChars) {
        state_ = State::overlong;  // skip to the next SOI
        return fail(FrameFault::too_long, chars_ + 1);
    }
    sum_ += c;
    non_hex_ |= static_cast<unsigned char>(hex_value(c) < 0);
    text_[chars_++] = static_cast<char>(c);
    return Status::none;
}

FrameDecoder::Status FrameDecoder::finish() {
    using Length = FrameFaultDetail::Length;
    if (non_hex_ != 0) return fail(FrameFault::hex, chars_);
    // VER ADR CID1 CID2 LENGTH(2) CHKSUM(2): at least 16 characters, even.
    if ((chars_ & 1) != 0 || chars_ < 16) {
        fail(FrameFault::length, chars_);
        detail_.length = chars_ < 16 ? Length::too_short : Length::odd_chars;
        return Status::fault;
    }
    const std::size_t bytes = chars_ / 2;
    decode_pairs(bytes);
    const unsigned length = static_cast<unsigned>(raw_[4]) << 8 | raw_[5];
    const unsigned lenid = length & 0xFFF;
    if ((lenid & 1) != 0 || lenid != chars_ - 16) {
        fail(FrameFault::length, chars_);
        detail_.length = (lenid & 1) != 0 ? Length::odd_lenid : Length::mismatch;
        detail_.info_chars = chars_ - 16;
        return Status::fault;
    }
    if ((length >> 12) != length_checksum(lenid)) {
        fail(FrameFault::length_checksum, chars_);
        detail_.expected = length_checksum(lenid);
        detail_.received = length >> 12;
        return Status::fault;
    }
    const char* tail4 = text_ + chars_ - 4;
    const std::uint32_t tail = static_cast<std::uint32_t>(static_cast<unsigned char>(tail4[0])) +
                               static_cast<unsigned char>(tail4[1]) +
                               static_cast<unsigned char>(tail4[2]) +
                               static_cast<unsigned char>(tail4[3]);
    const std::uint32_t body = sum_ - tail;
    const unsigned expected = (65536 - body % 65536) % 65536;
    const unsigned got = static_cast<unsigned>(raw_[bytes - 2]) << 8 | raw_[bytes - 1];
    if (got != expected) {
        fail(FrameFault::checksum, chars_);
        detail_.expected = expected;
        detail_.received = got;
        return Status::fault;
    }
    text_size_ = chars_;
    raw_[4] = static_cast<unsigned char>(lenid & 0xFF);
    raw_[5] = static_cast<unsigned char>(lenid >> 8);
    frame_size_ = kDecodedHeader + lenid / 2;
    return Status::frame;
}

}  // namespace smdhost
