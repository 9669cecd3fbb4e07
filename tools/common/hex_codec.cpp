#include "tools/common/hex_codec.hpp"

#include <cstdio>

namespace hexcodec {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

std::string upper(const unsigned char* data, std::size_t len) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(len * 2);
    for (std::size_t k = 0; k < len; ++k) {
        out += kDigits[data[k] >> 4];
        out += kDigits[data[k] & 0xF];
    }
    return out;
}

int digit_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool decode(const std::string& text, std::vector<unsigned char>& out, DecodeError& error) {
    error = DecodeError{};
    int high = -1;
    std::size_t digits = 0;
    for (std::size_t k = 0; k < text.size(); ++k) {
        const char c = text[k];
        if (is_blank(c)) {
            if (high >= 0) {
                error.kind = DecodeError::Kind::split_byte;
                error.position = k + 1;
                return false;
            }
            continue;
        }
        const int v = digit_value(c);
        if (v < 0) {
            error.kind = DecodeError::Kind::not_hex;
            error.position = k + 1;
            error.character = c;
            return false;
        }
        ++digits;
        if (high < 0) {
            high = v;
        } else {
            out.push_back(static_cast<unsigned char>(high << 4 | v));
            high = -1;
        }
    }
    if (high >= 0) {
        error.kind = DecodeError::Kind::odd_digits;
        error.digits = digits;
        return false;
    }
    return true;
}

std::string describe(const DecodeError& error) {
    switch (error.kind) {
        case DecodeError::Kind::none:
            return std::string();
        case DecodeError::Kind::not_hex: {
            const unsigned char u = static_cast<unsigned char>(error.character);
            char shown[8];
            std::snprintf(shown, sizeof shown, u < 0x20 || u >= 0x7F ? "\\x%02X" : "%c", u);
            return std::string("'") + shown + "' at character " + std::to_string(error.position) +
                   " is not a hex digit";
        }
        case DecodeError::Kind::split_byte:
            return "hex bytes need two digits each (a blank at character " +
                   std::to_string(error.position) + " splits one)";
        case DecodeError::Kind::odd_digits:
            return "odd number of hex digits (" + std::to_string(error.digits) + ")";
    }
    return "bad hex";
}

}  // namespace hexcodec
