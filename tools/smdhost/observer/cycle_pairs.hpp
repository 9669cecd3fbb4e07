// The command pairs of an interrogation cycle as the capture round knows
// them: which command a frame is, which of the eight pairs a round needs it
// belongs to, and the group its response must carry.
//
// Codes follow the capture round's command table (1..12 listed, 13 any other
// pair), so the line observer and the plug-in name the same command alike.
#pragma once

#include <cstdint>

namespace smdobserver {

// The eight pairs of a complete round, in the order a master usually asks
// them; index 0..7 everywhere below.
constexpr int kPairCount = 8;
constexpr int kPairAcAnalog = 0;  // 40/42: its command opens a cycle
constexpr int kPairRectAnalog = 3;  // 41/42: its reply gives the round's rectifier count
constexpr int kPairDcAlarm = 7;   // 42/44: its response closes one

constexpr int kNoCommand = 0;
constexpr int kUnknownCommand = 13;
constexpr int kDcParameters = 10;  // 42/47: decoded, sets no round bit

// "40/42" ... "42/44".
const char* pair_name(int pair);
unsigned char pair_cid1(int pair);
unsigned char pair_cid2(int pair);

// Code of a command: 1..12 for the listed pairs, kUnknownCommand otherwise.
int command_code(unsigned char cid1, unsigned char cid2);
// Pair index of a code, -1 for a command that is not one of the eight.
int pair_of_code(int code);
// CID1 a response must carry to answer a command of `code`; 0 for none.
unsigned char response_group(int code);
// Round bit of a pair (0x01 << pair).
std::uint16_t pair_bit(int pair);

// How the capture round takes a frame by its fourth byte: non-zero is a
// command (a response with a non-zero return code included).
inline bool taken_as_command(unsigned char cid2_or_rtn) { return cid2_or_rtn != 0; }
// How the observer reads it: commands of this command set use codes from
// 0x40 up; a non-zero value below that is a response's return code.
inline bool is_error_return(unsigned char cid2_or_rtn) {
    return cid2_or_rtn != 0 && cid2_or_rtn < 0x40;
}

}  // namespace smdobserver
