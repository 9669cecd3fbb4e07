#include "tools/smdhost/observer/cycle_pairs.hpp"

namespace smdobserver {

namespace {

struct Command {
    unsigned char cid1;
    unsigned char cid2;
    int pair;  // -1: not one of the eight
};

// Row k is code k + 1.
const Command kCommands[] = {
    {0x40, 0x42, 0},   // AC analog, fixed point
    {0x40, 0x43, 1},   // AC switch states
    {0x40, 0x44, 2},   // AC alarms
    {0x40, 0x47, -1},  // AC parameters
    {0x41, 0x42, 3},   // rectifier analog, fixed point
    {0x41, 0x43, 4},   // rectifier switch states
    {0x41, 0x44, 5},   // rectifier alarms
    {0x42, 0x42, 6},   // DC analog, fixed point
    {0x42, 0x44, 7},   // DC alarms
    {0x42, 0x47, -1},  // DC parameters
    {0x42, 0x81, -1},
    {0x42, 0xA4, -1},
};
constexpr int kListed = sizeof kCommands / sizeof kCommands[0];

const char* const kNames[kPairCount] = {"40/42", "40/43", "40/44", "41/42",
                                        "41/43", "41/44", "42/42", "42/44"};
const int kPairCode[kPairCount] = {1, 2, 3, 5, 6, 7, 8, 9};

}  // namespace

const char* pair_name(int pair) { return pair >= 0 && pair < kPairCount ? kNames[pair] : "?"; }

unsigned char pair_cid1(int pair) {
    return pair >= 0 && pair < kPairCount ? kCommands[kPairCode[pair] - 1].cid1 : 0;
}

unsigned char pair_cid2(int pair) {
    return pair >= 0 && pair < kPairCount ? kCommands[kPairCode[pair] - 1].cid2 : 0;
}

int command_code(unsigned char cid1, unsigned char cid2) {
    for (int k = 0; k < kListed; ++k)
        if (kCommands[k].cid1 == cid1 && kCommands[k].cid2 == cid2) return k + 1;
    return kUnknownCommand;
}

int pair_of_code(int code) { return code >= 1 && code <= kListed ? kCommands[code - 1].pair : -1; }

unsigned char response_group(int code) {
    return code >= 1 && code <= kListed ? kCommands[code - 1].cid1 : 0;
}

std::uint16_t pair_bit(int pair) {
    return pair >= 0 && pair < kPairCount ? static_cast<std::uint16_t>(1u << pair) : 0;
}

}  // namespace smdobserver
