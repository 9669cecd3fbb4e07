// Information bytes of the plant's replies, in every layout the line carries.
//
// Values: fx = 2-byte fixed point, unsigned big-endian, value x scale;
// fl = 4-byte IEEE single precision in the record's (little-endian) order.
// An invalid reading is sent as the invalid marker: 20 20 (fx) or
// 20 20 20 20 (fl).
//
// Reply layouts (information bytes in order; [S] = screen count byte, present
// with command group 0xFF in the AC replies and in DC layout 2):
//
//   0x40/0x41|42  flag [S] C  C x [a b c f  U  U x val]  ia ib ic
//   0x40/0x43     flag [S] K  K x state  U  U x state
//   0x40/0x44     flag [S] C  C x [4 alarm bytes  F  F x fuse  U  U x byte]  3 current alarms
//   0x41/0x41|42  flag rc_v R  R x [current  U=0]
//   0x41/0x43     flag R  R x [3 states  U  U x state]
//   0x41/0x44     flag R  R x [fault  U  U x byte]
//   0x42/0x41|42  flag [S]  S x [dc_v dc_i  M  M x val  N  N x val  P  P x val]
//   0x42/0x44     flag [S]  S x [voltage alarm  M  M x byte  P  P x byte]
//   0x80/0x42     flag m1 v1 m2 v2            (v in tenths, fx)
//
// Scales: voltages, currents and frequency in hundredths; DC user values
// unscaled. DC layout 1 carries the first screen only.
#pragma once

#include <cstdint>

#include "tools/plant/plant_model.hpp"

namespace plant {

enum class NumberFormat { fixed, floating };

struct ReplyLayout {
    NumberFormat format = NumberFormat::fixed;
    bool ac_screen_byte = true;  // AC replies carry a screen count (command group 0xFF)
    int dc_layout = 2;           // 1: one screen after the flag; 2: count, then every screen
    unsigned char data_flag = 0;

    // What a plant answers another master that interrogates it with command
    // group 0xFF in fixed point: the layouts a capture decodes.
    static ReplyLayout capture() { return ReplyLayout{}; }
};

constexpr unsigned char kInvalidByte = 0x20;
constexpr double kHundredths = 100.0;
constexpr double kUnscaled = 1.0;
constexpr double kTenths = 10.0;

// Fixed-point code of a reading: value x scale rounded, clamped to
// 0..65535; 0x2020 when invalid. A valid reading whose two bytes would come
// out equal and non-zero (which reads as the invalid marker) is moved up by
// one step (down at the top of the range): the plant never reports a valid
// reading as invalid.
std::uint16_t fixed_code(const Reading& r, double scale);
void put_fixed(Bytes& out, const Reading& r, double scale);
// Float bytes of a reading; 20 20 20 20 when invalid. A valid value whose
// four bytes come out equal and non-zero is moved by one unit in the last place.
void put_float(Bytes& out, const Reading& r);

Bytes ac_analog_info(const PlantState& st, const ReplyLayout& layout);
Bytes ac_switch_info(const PlantState& st, const ReplyLayout& layout);
Bytes ac_alarm_info(const PlantState& st, const ReplyLayout& layout);
Bytes rect_analog_info(const PlantState& st, const ReplyLayout& layout);
Bytes rect_switch_info(const PlantState& st, const ReplyLayout& layout);
Bytes rect_alarm_info(const PlantState& st, const ReplyLayout& layout);
Bytes dc_analog_info(const PlantState& st, const ReplyLayout& layout);
Bytes dc_alarm_info(const PlantState& st, const ReplyLayout& layout);
Bytes model_info(const PlantState& st, const ReplyLayout& layout);

// Parameter replies (fixed point whatever the format; nothing here is
// decoded into the record). Their second byte is never 0x01 or 0x02, so
// none of them can pass for an analog, switch or alarm reply of its group.
//   0x40/0x47  flag  Vhigh Vlow Fhigh Flow                          (fx)
//   0x41/0x47  flag  output-voltage current-limit equalise-voltage  (fx)
//   0x42/0x47  flag  Vhigh Vlow Thigh(1) Tlow(1) Vdisconnect  float-charge equalise
//              |------------------ 9 bytes ------------------|  word 1       word 2
Bytes ac_param_info(const PlantState& st, const ReplyLayout& layout);
Bytes rect_param_info(const PlantState& st, const ReplyLayout& layout);
Bytes dc_param_info(const PlantState& st, const ReplyLayout& layout);

}  // namespace plant
