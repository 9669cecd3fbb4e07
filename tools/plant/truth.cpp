#include "tools/plant/truth.hpp"

#include <algorithm>
#include <cstring>

#include "tools/common/hex_codec.hpp"
#include "tools/plant/reply_encoders.hpp"

namespace plant {

namespace {

constexpr float kAbsentZero = 0.0f;
constexpr float kAbsentMarker = -0.1f;

// What a capture reads from the fixed-point code the plant sends.
float received(const Reading& r, double scale, float divisor, float absent) {
    const std::uint16_t code = fixed_code(r, scale);
    const unsigned hi = code >> 8, lo = code & 0xFF;
    if (hi != 0 && hi == lo) return absent;
    return static_cast<float>(code) / divisor;
}

float hundredths(const Reading& r, float absent = kAbsentZero) {
    return received(r, kHundredths, 100.0f, absent);
}

u8 clipped(std::size_t n, int capacity) {
    return static_cast<u8>(std::min<std::size_t>(std::min<std::size_t>(n, 255), static_cast<std::size_t>(capacity)));
}

// Bytes as a count byte announces them: at most 255 go on the wire, the
// first `capacity` are kept.
void keep_bytes(const Bytes& src, u8* dst, int capacity, u8& count) {
    count = clipped(src.size(), capacity);
    std::copy_n(src.begin(), count, dst);
}

template <std::size_t N>
void keep_values(const std::vector<Reading>& src, le_f32 (&dst)[N], u8& count, double scale, float divisor,
                 float absent) {
    count = clipped(src.size(), static_cast<int>(N));
    for (std::size_t k = 0; k < count; ++k) dst[k].set(received(src[k], scale, divisor, absent));
}

}  // namespace

pxr52_419_Data_t truth_record(const PlantState& st, unsigned data_id) {
    pxr52_419_Data_t rec;
    std::memset(&rec, 0, sizeof rec);
    rec.data_id.set(data_id);

    // 0x40/0x42 and 0x40/0x44.
    rec.channel_count = clipped(st.ac.size(), CHANNEL_MAX);
    for (std::size_t i = 0; i < rec.channel_count; ++i) {
        const AcInput& in = st.ac[i];
        acChannel_t& ch = rec.acChannel[i];
        ch.a.set(hundredths(in.v[0]));
        ch.b.set(hundredths(in.v[1]));
        ch.c.set(hundredths(in.v[2]));
        ch.f.set(hundredths(in.f));
        ch.p40_41_count = 0;
        ch.a_alarm = in.v_alarm[0];
        ch.b_alarm = in.v_alarm[1];
        ch.c_alarm = in.v_alarm[2];
        ch.f_alarm = in.f_alarm;
        ch.p40_44_count = 0;
    }
    rec.ia.set(hundredths(st.ia, kAbsentMarker));
    rec.ib.set(hundredths(st.ib, kAbsentMarker));
    rec.ic.set(hundredths(st.ic, kAbsentMarker));
    rec.ia_alarm = st.ia_alarm;
    rec.ib_alarm = st.ib_alarm;
    rec.ic_alarm = st.ic_alarm;

    // 0x40/0x43.
    keep_bytes(st.ac_switches, rec.airlock, AIRLOCK_MAX, rec.airlock_count);
    rec.p40_43_count = 0;

    // 0x41/0x42, 0x41/0x43, 0x41/0x44.
    rec.rc_v.set(hundredths(st.rc_v));
    rec.rc_count = clipped(st.rect.size(), RC_MAX);
    for (std::size_t k = 0; k < rec.rc_count; ++k) {
        const Rectifier& r = st.rect[k];
        rcChannel_t& ch = rec.rcChannel[k];
        ch.i.set(hundredths(r.i));
        ch.p41_41_count = 0;
        std::copy_n(r.sw, 3, ch.sw_state);
        keep_bytes(r.user_sw, ch.p41_43, P41_43_SIZE, ch.p41_43_count);
        ch.fault = r.fault;
        keep_bytes(r.user_alarms, ch.p41_44, P41_44_SIZE, ch.p41_44_count);
    }

    // 0x42/0x42 and 0x42/0x44.
    const std::size_t screens = std::min<std::size_t>(st.dc.size(), 2);
    for (std::size_t s = 0; s < screens; ++s) {
        const DcScreen& d = st.dc[s];
        dcScreen_t& out = rec.dc(static_cast<int>(s));
        out.dc_v.set(hundredths(d.v));
        out.dc_i.set(hundredths(d.i));
        keep_values(d.batt, out.m, out.m_count, kHundredths, 100.0f, kAbsentZero);
        keep_values(d.branch, out.n, out.n_count, kHundredths, 100.0f, kAbsentZero);
        keep_values(d.user, out.p, out.p_count, kUnscaled, 1.0f, kAbsentMarker);
        out.dc_v_alarm = d.v_alarm;
        keep_bytes(d.fuses, out.alert_m, ALERT_M_SIZE, out.alert_m_count);
        keep_bytes(d.user_alarms, out.alert_p, ALERT_P_SIZE, out.alert_p_count);
    }
    return rec;
}

std::string record_hex(const pxr52_419_Data_t& record) {
    return hexcodec::upper(record.bytes(), sizeof record);
}

}  // namespace plant
