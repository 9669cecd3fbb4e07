// pxr52_419_Data_t: the 1257-byte data record published under data id 5535.
//
// The layout is an external format (the host stores and decodes records by
// data id): packed, little-endian, single-precision floats. Every field type
// has alignment 1 (device/le_bytes.hpp), so the structs below have no padding;
// the static_asserts at the end pin every offset.
//
// Count bytes may exceed their array's capacity (the poll decoders store
// counts as received, and a cached record can hold anything): every reader
// bounds an index by the capacity as well as by the count.
#pragma once

#include <cstddef>

#include "device/dimensions.hpp"
#include "device/le_bytes.hpp"

using pxr52::le_f32;
using pxr52::le_u32;
using u8 = unsigned char;

// One AC input (22 bytes). The user-defined value and alarm arrays have
// capacity 0 and occupy no bytes; their counts remain.
struct acChannel_t {
    le_f32 a;          // phase A input voltage, V
    le_f32 b;          // phase B input voltage, V
    le_f32 c;          // phase C input voltage, V
    le_f32 f;          // input frequency, Hz
    u8 p40_41_count;   // user-defined analog values reported
    u8 a_alarm;
    u8 b_alarm;
    u8 c_alarm;
    u8 f_alarm;
    u8 p40_44_count;   // user-defined alarm bytes reported
};

// One rectifier module (19 bytes).
struct rcChannel_t {
    le_f32 i;                 // output current, A
    u8 p41_41_count;          // user-defined analog values reported (none kept)
    u8 sw_state[3];           // fixed switch-state bytes of the 0x41/0x43 reply
    u8 p41_43_count;
    u8 p41_43[P41_43_SIZE];
    u8 fault;                 // fixed fault-state byte of the 0x41/0x44 reply
    u8 p41_44_count;
    u8 p41_44[P41_44_SIZE];
};

// One DC distribution screen (196 bytes).
struct dcScreen_t {
    u8 reserved0[4];
    le_f32 dc_v;              // DC output voltage, V
    le_f32 dc_i;              // total load current, A
    u8 m_count;               // battery groups reported
    le_f32 m[M_SIZE];         // battery group currents, A
    u8 n_count;               // branch currents reported
    le_f32 n[N_SIZE];         // branch currents, A
    u8 p_count;               // user-defined analog values reported
    le_f32 p[P_SIZE];
    u8 dc_v_alarm;
    u8 alert_m_count;         // fuse/branch alarm bytes reported
    u8 alert_m[ALERT_M_SIZE];
    u8 alert_p_count;         // user-defined DC alarm bytes reported
    u8 alert_p[ALERT_P_SIZE];
    u8 reserved1[7];
};

struct pxr52_419_Data_t {
    le_u32 data_id;           // the device's data id
    u8 reserved0[4];
    le_f32 ia;                // AC phase currents, A
    le_f32 ib;
    le_f32 ic;
    u8 channel_count;         // AC channels reported
    u8 airlock_count;         // AC switch states reported
    u8 airlock[AIRLOCK_MAX];
    u8 p40_43_count;          // user-defined AC switch states reported (none kept)
    u8 ia_alarm;
    u8 ib_alarm;
    u8 ic_alarm;
    u8 reserved1[7];
    acChannel_t acChannel[CHANNEL_MAX];
    le_f32 rc_v;              // rectifier output voltage, V
    u8 rc_count;              // rectifiers reported
    rcChannel_t rcChannel[RC_MAX];
    dcScreen_t dc0;           // first DC screen
    u8 time[7];               // publication time stamp, as get_ttime gives it
    dcScreen_t dc1;           // second DC screen
    le_f32 p80_42[2];         // model-specific 0x80/0x42 values (active mode)

    // DC screen k (0 or 1); any other k gives the second screen.
    dcScreen_t& dc(int k) { return k == 0 ? dc0 : dc1; }
    const dcScreen_t& dc(int k) const { return k == 0 ? dc0 : dc1; }

    unsigned char* bytes() { return reinterpret_cast<unsigned char*>(this); }
    const unsigned char* bytes() const { return reinterpret_cast<const unsigned char*>(this); }
};

constexpr int PXR52_419_RECORD_SIZE = 1257;
constexpr unsigned PXR52_419_DATA_ID = 5535;

static_assert(sizeof(acChannel_t) == 22, "acChannel_t is 22 bytes");
static_assert(offsetof(acChannel_t, p40_41_count) == 16, "acChannel_t layout");
static_assert(offsetof(acChannel_t, a_alarm) == 17, "acChannel_t layout");
static_assert(offsetof(acChannel_t, f_alarm) == 20, "acChannel_t layout");
static_assert(offsetof(acChannel_t, p40_44_count) == 21, "acChannel_t layout");

static_assert(sizeof(rcChannel_t) == 19, "rcChannel_t is 19 bytes");
static_assert(offsetof(rcChannel_t, p41_41_count) == 4, "rcChannel_t layout");
static_assert(offsetof(rcChannel_t, sw_state) == 5, "rcChannel_t layout");
static_assert(offsetof(rcChannel_t, p41_43_count) == 8, "rcChannel_t layout");
static_assert(offsetof(rcChannel_t, p41_43) == 9, "rcChannel_t layout");
static_assert(offsetof(rcChannel_t, fault) == 10, "rcChannel_t layout");
static_assert(offsetof(rcChannel_t, p41_44_count) == 11, "rcChannel_t layout");
static_assert(offsetof(rcChannel_t, p41_44) == 12, "rcChannel_t layout");

static_assert(sizeof(dcScreen_t) == 196, "dcScreen_t is 196 bytes");
static_assert(offsetof(dcScreen_t, dc_v) == 4, "dcScreen_t layout");
static_assert(offsetof(dcScreen_t, dc_i) == 8, "dcScreen_t layout");
static_assert(offsetof(dcScreen_t, m_count) == 12, "dcScreen_t layout");
static_assert(offsetof(dcScreen_t, m) == 13, "dcScreen_t layout");
static_assert(offsetof(dcScreen_t, n_count) == 21, "dcScreen_t layout");
static_assert(offsetof(dcScreen_t, n) == 22, "dcScreen_t layout");
static_assert(offsetof(dcScreen_t, p_count) == 102, "dcScreen_t layout");
static_assert(offsetof(dcScreen_t, p) == 103, "dcScreen_t layout");
static_assert(offsetof(dcScreen_t, dc_v_alarm) == 139, "dcScreen_t layout");
static_assert(offsetof(dcScreen_t, alert_m_count) == 140, "dcScreen_t layout");
static_assert(offsetof(dcScreen_t, alert_m) == 141, "dcScreen_t layout");
static_assert(offsetof(dcScreen_t, alert_p_count) == 183, "dcScreen_t layout");
static_assert(offsetof(dcScreen_t, alert_p) == 184, "dcScreen_t layout");
static_assert(offsetof(dcScreen_t, reserved1) == 189, "dcScreen_t layout");

static_assert(sizeof(pxr52_419_Data_t) == PXR52_419_RECORD_SIZE, "record is 1257 bytes");
static_assert(alignof(pxr52_419_Data_t) == 1, "record has no alignment requirement");
static_assert(offsetof(pxr52_419_Data_t, data_id) == 0, "record layout");
static_assert(offsetof(pxr52_419_Data_t, ia) == 8, "record layout");
static_assert(offsetof(pxr52_419_Data_t, ib) == 12, "record layout");
static_assert(offsetof(pxr52_419_Data_t, ic) == 16, "record layout");
static_assert(offsetof(pxr52_419_Data_t, channel_count) == 20, "record layout");
static_assert(offsetof(pxr52_419_Data_t, airlock_count) == 21, "record layout");
static_assert(offsetof(pxr52_419_Data_t, airlock) == 22, "record layout");
static_assert(offsetof(pxr52_419_Data_t, p40_43_count) == 30, "record layout");
static_assert(offsetof(pxr52_419_Data_t, ia_alarm) == 31, "record layout");
static_assert(offsetof(pxr52_419_Data_t, ic_alarm) == 33, "record layout");
static_assert(offsetof(pxr52_419_Data_t, reserved1) == 34, "record layout");
static_assert(offsetof(pxr52_419_Data_t, acChannel) == 41, "record layout");
static_assert(offsetof(pxr52_419_Data_t, rc_v) == 85, "record layout");
static_assert(offsetof(pxr52_419_Data_t, rc_count) == 89, "record layout");
static_assert(offsetof(pxr52_419_Data_t, rcChannel) == 90, "record layout");
static_assert(offsetof(pxr52_419_Data_t, dc0) == 850, "record layout");
static_assert(offsetof(pxr52_419_Data_t, time) == 1046, "record layout");
static_assert(offsetof(pxr52_419_Data_t, dc1) == 1053, "record layout");
static_assert(offsetof(pxr52_419_Data_t, p80_42) == 1249, "record layout");
