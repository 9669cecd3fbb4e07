// Hex text and bytes, for every tool: upper-case hex out; hex in with the
// one rule the tools share (two digits per byte, either case, blanks only
// between bytes) and an error that says what and where.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace hexcodec {

// Upper-case hex of `len` bytes.
std::string upper(const unsigned char* data, std::size_t len);

// Value of a hex digit, -1 for any other character.
int digit_value(char c);

struct DecodeError {
    enum class Kind { none, not_hex, split_byte, odd_digits };
    Kind kind = Kind::none;
    std::size_t position = 0;  // character (counted from 1) of not_hex and split_byte
    char character = 0;        // the character that is not a hex digit
    std::size_t digits = 0;    // hex digits found (odd_digits)
};

// Appends the bytes of `text` to `out`. Blanks (space, tab, CR, LF) may
// stand between bytes, never inside one. False with `error` filled at the
// first fault; `out` then holds the bytes before it.
bool decode(const std::string& text, std::vector<unsigned char>& out, DecodeError& error);

// One-line description of `error`: "'G' at character 5 is not a hex digit",
// "odd number of hex digits (3)", "hex bytes need two digits each".
std::string describe(const DecodeError& error);

}  // namespace hexcodec
