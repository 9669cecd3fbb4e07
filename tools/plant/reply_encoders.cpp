#include "tools/plant/reply_encoders.hpp"

#include <algorithm>
#include <cmath>

#include "device/le_bytes.hpp"

namespace plant {

namespace {

// A count byte: the plant reports at most 255 of anything.
unsigned char count_byte(std::size_t n) { return static_cast<unsigned char>(std::min<std::size_t>(n, 255)); }

void put_value(Bytes& out, const Reading& r, double scale, const ReplyLayout& layout) {
    if (layout.format == NumberFormat::floating)
        put_float(out, r);
    else
        put_fixed(out, r, scale);
}

void put_bytes(Bytes& out, const Bytes& bytes) {
    const std::size_t n = std::min<std::size_t>(bytes.size(), 255);
    out.push_back(count_byte(n));
    out.insert(out.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
}

void put_values(Bytes& out, const std::vector<Reading>& values, double scale, const ReplyLayout& layout) {
    const std::size_t n = std::min<std::size_t>(values.size(), 255);
    out.push_back(count_byte(n));
    for (std::size_t k = 0; k < n; ++k) put_value(out, values[k], scale, layout);
}

Bytes start(const ReplyLayout& layout, bool screen_byte, std::size_t screens) {
    Bytes out{layout.data_flag};
    if (screen_byte) out.push_back(count_byte(screens));
    return out;
}

std::size_t dc_screens(const PlantState& st, const ReplyLayout& layout) {
    return layout.dc_layout == 1 ? std::min<std::size_t>(st.dc.size(), 1) : std::min<std::size_t>(st.dc.size(), 255);
}

}  // namespace

std::uint16_t fixed_code(const Reading& r, double scale) {
    if (r.invalid) return kInvalidByte << 8 | kInvalidByte;
    const double scaled = std::round(r.value * scale);
    unsigned code = !(scaled > 0.0) ? 0u : scaled >= 65535.0 ? 65535u : static_cast<unsigned>(scaled);
    const unsigned hi = code >> 8, lo = code & 0xFF;
    if (hi != 0 && hi == lo) code = code == 0xFFFF ? 0xFFFE : code + 1;
    return static_cast<std::uint16_t>(code);
}

void put_fixed(Bytes& out, const Reading& r, double scale) {
    const std::uint16_t code = fixed_code(r, scale);
    out.push_back(static_cast<unsigned char>(code >> 8));
    out.push_back(static_cast<unsigned char>(code & 0xFF));
}

void put_float(Bytes& out, const Reading& r) {
    unsigned char b[4] = {kInvalidByte, kInvalidByte, kInvalidByte, kInvalidByte};
    if (!r.invalid) {
        float f = static_cast<float>(r.value);
        pxr52::store_f32(b, f);
        if (b[0] != 0 && b[0] == b[1] && b[1] == b[2] && b[2] == b[3]) {
            f = std::nextafter(f, 0.0f);
            pxr52::store_f32(b, f);
        }
    }
    out.insert(out.end(), b, b + 4);
}

Bytes ac_analog_info(const PlantState& st, const ReplyLayout& layout) {
    Bytes out = start(layout, layout.ac_screen_byte, 1);
    out.push_back(count_byte(st.ac.size()));
    for (const AcInput& in : st.ac) {
        for (const Reading& v : in.v) put_value(out, v, kHundredths, layout);
        put_value(out, in.f, kHundredths, layout);
        put_values(out, in.user, kHundredths, layout);
    }
    put_value(out, st.ia, kHundredths, layout);
    put_value(out, st.ib, kHundredths, layout);
    put_value(out, st.ic, kHundredths, layout);
    return out;
}

Bytes ac_switch_info(const PlantState& st, const ReplyLayout& layout) {
    Bytes out = start(layout, layout.ac_screen_byte, 1);
    put_bytes(out, st.ac_switches);
    put_bytes(out, st.ac_user_switches);
    return out;
}

Bytes ac_alarm_info(const PlantState& st, const ReplyLayout& layout) {
    Bytes out = start(layout, layout.ac_screen_byte, 1);
    out.push_back(count_byte(st.ac.size()));
    for (const AcInput& in : st.ac) {
        out.insert(out.end(), in.v_alarm, in.v_alarm + 3);
        out.push_back(in.f_alarm);
        put_bytes(out, in.fuses);
        put_bytes(out, in.user_alarms);
    }
    out.push_back(st.ia_alarm);
    out.push_back(st.ib_alarm);
    out.push_back(st.ic_alarm);
    return out;
}

Bytes rect_analog_info(const PlantState& st, const ReplyLayout& layout) {
    Bytes out{layout.data_flag};
    put_value(out, st.rc_v, kHundredths, layout);
    out.push_back(count_byte(st.rect.size()));
    for (const Rectifier& r : st.rect) {
        put_value(out, r.i, kHundredths, layout);
        out.push_back(0);  // no user-defined analog values
    }
    return out;
}

Bytes rect_switch_info(const PlantState& st, const ReplyLayout& layout) {
    Bytes out{layout.data_flag, count_byte(st.rect.size())};
    for (const Rectifier& r : st.rect) {
        out.insert(out.end(), r.sw, r.sw + 3);
        put_bytes(out, r.user_sw);
    }
    return out;
}

Bytes rect_alarm_info(const PlantState& st, const ReplyLayout& layout) {
    Bytes out{layout.data_flag, count_byte(st.rect.size())};
    for (const Rectifier& r : st.rect) {
        out.push_back(r.fault);
        put_bytes(out, r.user_alarms);
    }
    return out;
}

Bytes dc_analog_info(const PlantState& st, const ReplyLayout& layout) {
    const std::size_t screens = dc_screens(st, layout);
    Bytes out = start(layout, layout.dc_layout != 1, screens);
    for (std::size_t s = 0; s < screens; ++s) {
        const DcScreen& d = st.dc[s];
        put_value(out, d.v, kHundredths, layout);
        put_value(out, d.i, kHundredths, layout);
        put_values(out, d.batt, kHundredths, layout);
        put_values(out, d.branch, kHundredths, layout);
        put_values(out, d.user, kUnscaled, layout);
    }
    return out;
}

Bytes dc_alarm_info(const PlantState& st, const ReplyLayout& layout) {
    const std::size_t screens = dc_screens(st, layout);
    Bytes out = start(layout, layout.dc_layout != 1, screens);
    for (std::size_t s = 0; s < screens; ++s) {
        const DcScreen& d = st.dc[s];
        out.push_back(d.v_alarm);
        put_bytes(out, d.fuses);
        put_bytes(out, d.user_alarms);
    }
    return out;
}

Bytes model_info(const PlantState& st, const ReplyLayout& layout) {
    Bytes out{layout.data_flag};
    for (int k = 0; k < 2; ++k) {
        out.push_back(st.model_flag[k]);
        put_fixed(out, st.model_value[k], kTenths);
    }
    return out;
}

// Limits the plant's controller works with (hundredths on the wire).
Bytes ac_param_info(const PlantState&, const ReplyLayout& layout) {
    Bytes out{layout.data_flag};
    for (double v : {264.0, 187.0, 52.5, 47.5}) put_fixed(out, Reading{v, false}, kHundredths);
    return out;
}

Bytes rect_param_info(const PlantState& st, const ReplyLayout& layout) {
    Bytes out{layout.data_flag};
    for (double v : {st.float_v, 50.0, st.equalize_v}) put_fixed(out, Reading{v, false}, kHundredths);
    return out;
}

Bytes dc_param_info(const PlantState& st, const ReplyLayout& layout) {
    Bytes out{layout.data_flag};
    put_fixed(out, Reading{58.0, false}, kHundredths);  // high voltage alarm limit
    put_fixed(out, Reading{47.0, false}, kHundredths);  // low voltage alarm limit
    out.push_back(45);                                  // battery temperature high, degC
    out.push_back(5);                                   // battery temperature low, degC
    put_fixed(out, Reading{46.0, false}, kHundredths);  // first load disconnect, V
    put_fixed(out, Reading{st.float_v, false}, kHundredths);
    put_fixed(out, Reading{st.equalize_v, false}, kHundredths);
    return out;
}

}  // namespace plant
