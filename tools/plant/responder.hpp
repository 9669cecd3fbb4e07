// The plant's side of the line: one command frame in, one response out.
//
// Commands answered (CID1/CID2 -> reply):
//   0x40, 0x41, 0x42 x 0x41 (float) / 0x42 (fixed)  analog values
//   0x40, 0x41, 0x42 x 0x43 / 0x44 / 0x47           switch states / alarms / parameters
//                                                   (0x42/0x43 has no meaning: RTN 0x04)
//   0x80/0x42                                       model-specific values
//   0x41/0x4E  7 bytes: year (big-endian) month day hour minute second   set the clock
//   0x41/0x45  2 bytes: type, n                     rectifier n (1-based) on (0x20, 0xE5)
//                                                   or off (0x2F, 0xE6); charge mode
//                                                   float (0x1F), equalise (0x10), test (0x11)
//   0x42/0x48  type, float (little-endian)          float-charge (0xDC, 0xF2, 0xEC) or
//                                                   equalise (0xDB, 0xF1, 0xEB) voltage, V
//   0x42/0x49  type, signed 16-bit x 100 (big-endian)  float-charge (0x85) or equalise (0x84)
// A control is answered with RTN 0x00 and no information bytes.
//
// Return codes: 0x00 normal, 0x04 unknown command (CID1/CID2), 0x05 command
// format error (wrong information length), 0x06 invalid data (a value out of
// range, an unknown control type). Frames for another address get no answer.
//
// The AC replies carry the screen count byte when the command's information
// byte (its command group) is 0xFF, or, for a command without one, when the
// configured command group is 0xFF.
#pragma once

#include <cstddef>
#include <string>

#include "tools/plant/plant_model.hpp"
#include "tools/plant/reply_encoders.hpp"

namespace plant {

constexpr unsigned char kRtnNormal = 0x00;
constexpr unsigned char kRtnUnknownCommand = 0x04;
constexpr unsigned char kRtnFormat = 0x05;
constexpr unsigned char kRtnInvalidData = 0x06;

struct ResponderConfig {
    unsigned char address = 0x01;
    unsigned char cg = 0x01;  // command group assumed for commands that carry none
    int dc_layout = 2;        // 1 or 2, see reply_encoders.hpp
};

struct Reply {
    bool answered = false;    // false: not addressed to this plant
    unsigned char ver = 0x20;
    unsigned char adr = 0x01;
    unsigned char cid1 = 0;
    unsigned char rtn = 0;
    Bytes info;
};

class Responder {
public:
    Responder(Plant& plant, const ResponderConfig& config) : plant_(plant), config_(config) {}

    // `frame`: a decoded frame as the host's frame decoder leaves it
    // (VER ADR CID1 CID2 LENID(LE) INFO...), `size` its bytes. Information
    // bytes beyond `size` are never read, whatever LENID says.
    Reply reply(const unsigned char* frame, std::size_t size);
    // The same, encoded as a line frame "~...\r"; empty when not answered.
    std::string answer(const unsigned char* frame, std::size_t size);

    const ResponderConfig& config() const { return config_; }

private:
    Plant& plant_;
    ResponderConfig config_;
};

}  // namespace plant
