// The reply layouts the capture decoders accept, checked from the line
// without the plug-in: a person can then be told which reply the plug-in
// refused and why ("41/44: rectifier count 7 above the round's 6").
//
// Information bytes in order (fx = 2-byte fixed point, n x [ ] repeated):
//   40/42  flag  S(=1)  C(<=2)  C x [a b c f fx, U, U x 2 bytes]  ia ib ic fx
//   40/43  flag  S(=1)  K(<=8)  K states  U  U bytes
//   40/44  flag  S(=1)  C(<=2)  C x [4 alarms, F, F bytes, U, U bytes]  3 current alarms
//   41/42  flag  voltage fx  R(<=40)  R x [current fx, U(=0)]     nothing may follow
//   41/43  flag  R2(<= the round's R)  R2 x [3 states, U, U bytes]
//   41/44  flag  R2(<= the round's R)  R2 x [fault, U, U bytes]
//   42/42  flag  S(1|2)  S x [v i fx, M, M x fx, N, N x fx, P, P x fx]
//   42/44  flag  S(1|2)  S x [voltage alarm, M, M bytes, P, P bytes]
//   42/47  9 bytes, word 1, word 2
// Bytes after the layout are accepted, except after 41/42.
#pragma once

#include <cstddef>
#include <string>

namespace smdobserver {

struct LayoutVerdict {
    bool fits = false;
    std::string why;      // when it does not fit: what contradicts the layout
    int rectifiers = -1;  // a 41/42 reply that fits: its rectifier count R
};

// Checks a reply to the command of capture code `code` (cycle_pairs.hpp).
// `round_rectifiers`: R of the round's accepted 41/42 reply, 0 before one
// (41/43 and 41/44 may list no more). Codes whose reply is not decoded
// (40/47, 42/81, 42/A4) always fit; the unknown code never does.
LayoutVerdict check_reply(int code, const unsigned char* info, std::size_t len,
                          unsigned round_rectifiers);

}  // namespace smdobserver
