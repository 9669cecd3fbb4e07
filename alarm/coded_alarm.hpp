// Model alarms raised from alarm codes in user-defined alarm bytes, with
// fixed keys and levels and the host's alarm sequence counter as count.
#pragma once

#include <string>

#include "alarm/model_rule_tables.hpp"
#include "alarm/rule_text.hpp"
#include "device/record.hpp"
#include "host/smd_vdevice.hpp"

namespace pxr52 {

// An alarm byte that the record does not hold; it matches no code.
constexpr int kAbsentAlarmByte = -1;

// User-defined alarm byte k of an AC channel. This record type keeps no such
// bytes (capacity p40_44_SIZE = 0): the bytes that follow a channel's 22 are
// the next channel's voltages or the rectifier block, never alarm codes, so
// every such byte is absent and its rules report inactive.
inline int ac_user_alarm(const acChannel_t& channel, int k) {
    static_assert(p40_44_SIZE == 0, "AC channels now hold alarm bytes: read them here");
    (void)channel;
    (void)k;
    return kAbsentAlarmByte;
}

// User-defined alarm byte k of a rectifier: one of its P41_44_SIZE (7)
// bytes, or absent beyond them.
inline int rc_user_alarm(const rcChannel_t& module, int k) {
    if (k < 0 || k >= P41_44_SIZE) return kAbsentAlarmByte;
    return module.p41_44[k];
}

// User-defined DC alarm byte k of a screen (ALERT_P_SIZE bytes).
inline int dc_user_alarm(const dcScreen_t& screen, int k) {
    if (k < 0 || k >= ALERT_P_SIZE) return kAbsentAlarmByte;
    return screen.alert_p[k];
}

// Text buffers that one run of a rule set reuses for all its rows: the host
// copies what it keeps, so after the first row a row costs no allocation
// here (a round of 40 modules queues 120 rows). Owned by the caller rather
// than thread-local, which would make the plug-in need the dynamic loader's
// TLS support.
struct CodedAlarmTexts {
    std::string text1;
    std::string text2;
};

// Queues one row for a channel/module with its alarm byte's current value.
inline void raise_coded(SMDVDevice& host, const CodedAlarm& row, const std::string& prefix,
                        int byte_value, CodedAlarmTexts& texts) {
    texts.text1.assign(row.prefixed == Prefixed::text1 ? prefix.c_str() : "").append(row.text1);
    texts.text2.assign(row.prefixed == Prefixed::text2 ? prefix.c_str() : "").append(row.text2);
    host.CheckThresholdBool(row.level, row.key, row.id, texts.text1, texts.text2,
                            byte_value == row.code, host.alarm_seq);
    if (row.advance) ++host.alarm_seq;
}

}  // namespace pxr52
