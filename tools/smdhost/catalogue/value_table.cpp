// The value entries: one row per field of the record layout
// (device/record.hpp), expanded to one entry per instance. Offsets come from
// the layout's own structs, so the catalogue moves with the record.
#include <algorithm>
#include <cstddef>
#include <string>

#include "device/record.hpp"
#include "tools/smdhost/catalogue/catalogue_tables.hpp"

namespace smdcatalogue {

namespace {

using R = pxr52_419_Data_t;
using IM = InvalidMarker;
using VT = ValueType;

constexpr long kNoCount = -1;

// One instance dimension of a row. Placeholders in the row's texts: {X} is
// the instance number counted from 1, {x} counted from 0 (X = `letter`).
struct Dim {
    const char* label;  // Prometheus label and the man page's word: "module"
    char letter;
    int capacity;       // 0: no such dimension
    std::size_t stride;
    // The count byte that says how many instances were reported; for an
    // inner dimension, the one of the first outer instance (it moves with
    // the outer stride). kNoCount: all instances always present.
    long count_offset;
};

constexpr Dim kNone = {nullptr, 0, 0, 0, kNoCount};

constexpr std::size_t kAc = offsetof(R, acChannel);
constexpr std::size_t kRc = offsetof(R, rcChannel);
constexpr std::size_t kDc = offsetof(R, dc0);
constexpr std::size_t kDcStride = offsetof(R, dc1) - offsetof(R, dc0);

constexpr Dim kInput = {"input", 'I', CHANNEL_MAX, sizeof(acChannel_t), offsetof(R, channel_count)};
constexpr Dim kModule = {"module", 'M', RC_MAX, sizeof(rcChannel_t), offsetof(R, rc_count)};
constexpr Dim kScreen = {"screen", 'S', 2, kDcStride, kNoCount};
constexpr Dim kAcSwitch = {"switch", 'K', AIRLOCK_MAX, 1, offsetof(R, airlock_count)};
constexpr Dim kRcSwitch = {"switch", 'K', sizeof(rcChannel_t::sw_state), 1, kNoCount};
constexpr Dim kRcUserSwitch = {"index", 'I', P41_43_SIZE, 1,
                               kRc + offsetof(rcChannel_t, p41_43_count)};
constexpr Dim kRcUserAlarm = {"index", 'I', P41_44_SIZE, 1,
                              kRc + offsetof(rcChannel_t, p41_44_count)};
constexpr Dim kBattery = {"battery", 'B', M_SIZE, 4, kDc + offsetof(dcScreen_t, m_count)};
constexpr Dim kBranch = {"branch", 'B', N_SIZE, 4, kDc + offsetof(dcScreen_t, n_count)};
constexpr Dim kDcUserValue = {"index", 'I', P_SIZE, 4, kDc + offsetof(dcScreen_t, p_count)};
constexpr Dim kFuse = {"fuse", 'F', ALERT_M_SIZE, 1, kDc + offsetof(dcScreen_t, alert_m_count)};
constexpr Dim kDcUserAlarm = {"index", 'I', ALERT_P_SIZE, 1, kDc + offsetof(dcScreen_t, alert_p_count)};
constexpr Dim kModelValue = {"index", 'I', 2, 4, kNoCount};

struct Row {
    const char* name;    // "rect.{M}.current"
    const char* field;   // "rcChannel[{m}].i"
    VT type;
    const char* unit;
    IM invalid;
    const char* metric;  // below "pxr52_", before the unit suffix
    const char* phase;   // fixed label phase="...", or nullptr
    std::size_t offset;  // of the first instance
    Dim outer;
    Dim inner;
    const char* about;   // English, with the same placeholders
};

constexpr std::size_t ac(std::size_t member) { return kAc + member; }
constexpr std::size_t rc(std::size_t member) { return kRc + member; }
constexpr std::size_t dc(std::size_t member) { return kDc + member; }

#define AC_M(m) ac(offsetof(acChannel_t, m))
#define RC_M(m) rc(offsetof(rcChannel_t, m))
#define DC_M(m) dc(offsetof(dcScreen_t, m))

const Row kRows[] = {
    {"record.data_id", "data_id", VT::u32, "", IM::none, "record_data_id", nullptr,
     offsetof(R, data_id), kNone, kNone, "the device's data id as the host assigned it"},
    {"record.time", "time", VT::time, "", IM::none, "record_timestamp_seconds", nullptr,
     offsetof(R, time), kNone, kNone,
     "time stamp of the publication, local time, written just before the record is published"},

    {"ac.current.a", "ia", VT::f32, "A", IM::minus_tenth, "ac_current", "a", offsetof(R, ia),
     kNone, kNone, "AC load current, phase A"},
    {"ac.current.b", "ib", VT::f32, "A", IM::minus_tenth, "ac_current", "b", offsetof(R, ib),
     kNone, kNone, "AC load current, phase B"},
    {"ac.current.c", "ic", VT::f32, "A", IM::minus_tenth, "ac_current", "c", offsetof(R, ic),
     kNone, kNone, "AC load current, phase C"},
    {"ac.current.alarm.a", "ia_alarm", VT::u8, "", IM::none, "ac_current_alarm_state", "a",
     offsetof(R, ia_alarm), kNone, kNone, "alarm state byte of the AC load current, phase A"},
    {"ac.current.alarm.b", "ib_alarm", VT::u8, "", IM::none, "ac_current_alarm_state", "b",
     offsetof(R, ib_alarm), kNone, kNone, "alarm state byte of the AC load current, phase B"},
    {"ac.current.alarm.c", "ic_alarm", VT::u8, "", IM::none, "ac_current_alarm_state", "c",
     offsetof(R, ic_alarm), kNone, kNone, "alarm state byte of the AC load current, phase C"},
    {"ac.count", "channel_count", VT::u8, "", IM::none, "ac_inputs_reported", nullptr,
     offsetof(R, channel_count), kNone, kNone, "number of AC inputs reported"},
    {"ac.switch.count", "airlock_count", VT::u8, "", IM::none, "ac_switches_reported", nullptr,
     offsetof(R, airlock_count), kNone, kNone, "number of AC switch states reported"},
    {"ac.switch.{K}", "airlock[{k}]", VT::u8, "", IM::none, "ac_switch_state", nullptr,
     offsetof(R, airlock), kAcSwitch, kNone, "state byte of AC switch {K}, in reply order"},
    {"ac.user_switch.count", "p40_43_count", VT::u8, "", IM::none, "ac_user_switches_reported",
     nullptr, offsetof(R, p40_43_count), kNone, kNone,
     "number of user-defined AC switch states reported (the record keeps none)"},

    {"ac.{I}.a", "acChannel[{i}].a", VT::f32, "V", IM::zero, "ac_voltage", "a", AC_M(a), kInput,
     kNone, "phase A input voltage of AC input {I}"},
    {"ac.{I}.b", "acChannel[{i}].b", VT::f32, "V", IM::zero, "ac_voltage", "b", AC_M(b), kInput,
     kNone, "phase B input voltage of AC input {I}"},
    {"ac.{I}.c", "acChannel[{i}].c", VT::f32, "V", IM::zero, "ac_voltage", "c", AC_M(c), kInput,
     kNone, "phase C input voltage of AC input {I}"},
    {"ac.{I}.frequency", "acChannel[{i}].f", VT::f32, "Hz", IM::zero, "ac_frequency", nullptr,
     AC_M(f), kInput, kNone, "input frequency of AC input {I}"},
    {"ac.{I}.user_value.count", "acChannel[{i}].p40_41_count", VT::u8, "", IM::none,
     "ac_user_values_reported", nullptr, AC_M(p40_41_count), kInput, kNone,
     "number of user-defined analog values reported for AC input {I} (the record keeps none)"},
    {"ac.{I}.alarm.a", "acChannel[{i}].a_alarm", VT::u8, "", IM::none, "ac_voltage_alarm_state",
     "a", AC_M(a_alarm), kInput, kNone, "alarm state byte of the phase A voltage of AC input {I}"},
    {"ac.{I}.alarm.b", "acChannel[{i}].b_alarm", VT::u8, "", IM::none, "ac_voltage_alarm_state",
     "b", AC_M(b_alarm), kInput, kNone, "alarm state byte of the phase B voltage of AC input {I}"},
    {"ac.{I}.alarm.c", "acChannel[{i}].c_alarm", VT::u8, "", IM::none, "ac_voltage_alarm_state",
     "c", AC_M(c_alarm), kInput, kNone, "alarm state byte of the phase C voltage of AC input {I}"},
    {"ac.{I}.alarm.frequency", "acChannel[{i}].f_alarm", VT::u8, "", IM::none,
     "ac_frequency_alarm_state", nullptr, AC_M(f_alarm), kInput, kNone,
     "alarm state byte of the frequency of AC input {I}"},
    {"ac.{I}.user_alarm.count", "acChannel[{i}].p40_44_count", VT::u8, "", IM::none,
     "ac_user_alarms_reported", nullptr, AC_M(p40_44_count), kInput, kNone,
     "number of user-defined alarm bytes reported for AC input {I} (the record keeps none)"},

    {"rect.voltage", "rc_v", VT::f32, "V", IM::zero_captured, "rect_voltage", nullptr,
     offsetof(R, rc_v), kNone, kNone, "rectifier output voltage"},
    {"rect.count", "rc_count", VT::u8, "", IM::none, "rect_modules_reported", nullptr,
     offsetof(R, rc_count), kNone, kNone, "number of rectifier modules reported"},
    {"rect.{M}.current", "rcChannel[{m}].i", VT::f32, "A", IM::zero_captured, "rect_current",
     nullptr, RC_M(i), kModule, kNone, "output current of rectifier module {M}"},
    {"rect.{M}.user_value.count", "rcChannel[{m}].p41_41_count", VT::u8, "", IM::none,
     "rect_user_values_reported", nullptr, RC_M(p41_41_count), kModule, kNone,
     "number of user-defined analog values reported for rectifier module {M} (the record keeps "
     "none)"},
    {"rect.{M}.switch.{K}", "rcChannel[{m}].sw_state[{k}]", VT::u8, "", IM::none,
     "rect_switch_state", nullptr, RC_M(sw_state), kModule, kRcSwitch,
     "switch-state byte {K} of rectifier module {M} (byte 1 is the on/off state)"},
    {"rect.{M}.user_switch.count", "rcChannel[{m}].p41_43_count", VT::u8, "", IM::none,
     "rect_user_switches_reported", nullptr, RC_M(p41_43_count), kModule, kNone,
     "number of user-defined switch states reported for rectifier module {M}"},
    {"rect.{M}.user_switch.{I}", "rcChannel[{m}].p41_43[{i}]", VT::u8, "", IM::none,
     "rect_user_switch_state", nullptr, RC_M(p41_43), kModule, kRcUserSwitch,
     "user-defined switch state {I} of rectifier module {M}"},
    {"rect.{M}.fault", "rcChannel[{m}].fault", VT::u8, "", IM::none, "rect_fault_state", nullptr,
     RC_M(fault), kModule, kNone, "fault-state byte of rectifier module {M} (non-zero: fault)"},
    {"rect.{M}.user_alarm.count", "rcChannel[{m}].p41_44_count", VT::u8, "", IM::none,
     "rect_user_alarms_reported", nullptr, RC_M(p41_44_count), kModule, kNone,
     "number of user-defined alarm bytes reported for rectifier module {M}"},
    {"rect.{M}.user_alarm.{I}", "rcChannel[{m}].p41_44[{i}]", VT::u8, "", IM::none,
     "rect_user_alarm_state", nullptr, RC_M(p41_44), kModule, kRcUserAlarm,
     "user-defined alarm byte {I} of rectifier module {M} (alarm codes 0x80 and up)"},

    {"dc.{S}.voltage", "dc[{s}].dc_v", VT::f32, "V", IM::zero_captured, "dc_voltage", nullptr,
     DC_M(dc_v), kScreen, kNone, "DC output voltage of DC screen {S}"},
    {"dc.{S}.current", "dc[{s}].dc_i", VT::f32, "A", IM::zero_captured, "dc_load_current",
     nullptr, DC_M(dc_i), kScreen, kNone, "total DC load current of DC screen {S}"},
    {"dc.{S}.battery.count", "dc[{s}].m_count", VT::u8, "", IM::none, "dc_batteries_reported",
     nullptr, DC_M(m_count), kScreen, kNone, "number of battery groups reported on DC screen {S}"},
    {"dc.{S}.battery.{B}.current", "dc[{s}].m[{b}]", VT::f32, "A", IM::zero_captured,
     "dc_battery_current", nullptr, DC_M(m), kScreen, kBattery,
     "current of battery group {B} on DC screen {S}"},
    {"dc.{S}.branch.count", "dc[{s}].n_count", VT::u8, "", IM::none, "dc_branches_reported",
     nullptr, DC_M(n_count), kScreen, kNone, "number of DC branch currents reported on DC screen {S}"},
    {"dc.{S}.branch.{B}.current", "dc[{s}].n[{b}]", VT::f32, "A", IM::zero_captured,
     "dc_branch_current", nullptr, DC_M(n), kScreen, kBranch,
     "current of DC branch {B} on DC screen {S}"},
    {"dc.{S}.user_value.count", "dc[{s}].p_count", VT::u8, "", IM::none,
     "dc_user_values_reported", nullptr, DC_M(p_count), kScreen, kNone,
     "number of user-defined analog values reported on DC screen {S}"},
    {"dc.{S}.user_value.{I}", "dc[{s}].p[{i}]", VT::f32, "", IM::minus_tenth, "dc_user_value",
     nullptr, DC_M(p), kScreen, kDcUserValue, "user-defined analog value {I} of DC screen {S}"},
    {"dc.{S}.alarm.voltage", "dc[{s}].dc_v_alarm", VT::u8, "", IM::none, "dc_voltage_alarm_state",
     nullptr, DC_M(dc_v_alarm), kScreen, kNone, "DC voltage alarm state byte of DC screen {S}"},
    {"dc.{S}.fuse.count", "dc[{s}].alert_m_count", VT::u8, "", IM::none, "dc_fuses_reported",
     nullptr, DC_M(alert_m_count), kScreen, kNone,
     "number of fuse/branch alarm states reported on DC screen {S}"},
    {"dc.{S}.fuse.{F}", "dc[{s}].alert_m[{f}]", VT::u8, "", IM::none, "dc_fuse_state", nullptr,
     DC_M(alert_m), kScreen, kFuse, "fuse/branch alarm state {F} of DC screen {S} (non-zero: alarm)"},
    {"dc.{S}.user_alarm.count", "dc[{s}].alert_p_count", VT::u8, "", IM::none,
     "dc_user_alarms_reported", nullptr, DC_M(alert_p_count), kScreen, kNone,
     "number of user-defined DC alarm bytes reported on DC screen {S}"},
    {"dc.{S}.user_alarm.{I}", "dc[{s}].alert_p[{i}]", VT::u8, "", IM::none,
     "dc_user_alarm_state", nullptr, DC_M(alert_p), kScreen, kDcUserAlarm,
     "user-defined DC alarm byte {I} of DC screen {S}"},

    {"model.value.{I}", "p80_42[{i}]", VT::f32, "", IM::none, "model_value", nullptr,
     offsetof(R, p80_42), kModelValue, kNone,
     "value {I} of the model-specific 0x80/0x42 reply (active polling only; zero when captured)"},
};

#undef AC_M
#undef RC_M
#undef DC_M

std::uint8_t width_of(VT type) {
    switch (type) {
        case VT::u8: return 1;
        case VT::u32:
        case VT::f32: return 4;
        case VT::time: return 7;
    }
    return 1;
}

// Prometheus base-unit suffix.
const char* unit_suffix(const char* unit) {
    const std::string u = unit;
    if (u == "V") return "_volts";
    if (u == "A") return "_amperes";
    if (u == "Hz") return "_hertz";
    return "";
}

// Replaces {X} by `shown` and {x} by `zero_based`.
std::string substitute(std::string text, char letter, const std::string& shown,
                       const std::string& zero_based) {
    const std::string upper = std::string("{") + letter + "}";
    const std::string lower =
        std::string("{") + static_cast<char>(letter - 'A' + 'a') + "}";
    for (auto p = text.find(upper); p != std::string::npos; p = text.find(upper, p + shown.size()))
        text.replace(p, upper.size(), shown);
    for (auto p = text.find(lower); p != std::string::npos;
         p = text.find(lower, p + zero_based.size()))
        text.replace(p, lower.size(), zero_based);
    return text;
}

std::string instantiate(const std::string& text, const Dim& dim, int index) {
    if (dim.capacity == 0) return text;
    return substitute(text, dim.letter, std::to_string(index + 1), std::to_string(index));
}

std::string pattern_of(const std::string& text, const Row& row) {
    std::string s = text;
    for (const Dim* d : {&row.outer, &row.inner})
        if (d->capacity != 0) s = substitute(s, d->letter, std::string(1, d->letter), "?");
    return s;
}

std::string instances_of(const Row& row) {
    std::string s;
    for (const Dim* d : {&row.outer, &row.inner}) {
        if (d->capacity == 0) continue;
        if (!s.empty()) s += ", ";
        s += std::string(1, d->letter) + " = " + d->label + " 1 to " + std::to_string(d->capacity);
    }
    return s;
}

}  // namespace

ValueTable build_value_table() {
    ValueTable t;
    for (const Row& row : kRows) {
        ValueFamily family;
        family.pattern = pattern_of(row.name, row);
        family.description = pattern_of(row.about, row);
        family.instances = instances_of(row);
        const std::size_t family_index = t.families.size();
        const int outer = row.outer.capacity == 0 ? 1 : row.outer.capacity;
        const int inner = row.inner.capacity == 0 ? 1 : row.inner.capacity;
        for (int o = 0; o < outer; ++o) {
            for (int i = 0; i < inner; ++i) {
                ValueEntry e;
                const auto fill = [&](const std::string& text) {
                    return instantiate(instantiate(text, row.outer, o), row.inner, i);
                };
                e.name = fill(row.name);
                e.field = fill(row.field);
                e.description = fill(row.about);
                e.unit = row.unit;
                e.type = row.type;
                e.width = width_of(row.type);
                e.invalid = row.invalid;
                e.offset = static_cast<std::uint16_t>(row.offset + o * row.outer.stride +
                                                      i * row.inner.stride);
                int tests = 0;
                if (row.outer.capacity != 0 && row.outer.count_offset != kNoCount)
                    e.presence[tests++] = {static_cast<std::uint16_t>(row.outer.count_offset),
                                           static_cast<std::uint8_t>(o + 1), false};
                if (row.inner.capacity != 0 && row.inner.count_offset != kNoCount)
                    e.presence[tests++] = {
                        static_cast<std::uint16_t>(row.inner.count_offset + o * row.outer.stride),
                        static_cast<std::uint8_t>(i + 1), false};
                e.metric = std::string("pxr52_") + row.metric + unit_suffix(row.unit);
                if (row.outer.capacity != 0)
                    e.labels.emplace_back(row.outer.label, std::to_string(o + 1));
                if (row.inner.capacity != 0)
                    e.labels.emplace_back(row.inner.label, std::to_string(i + 1));
                if (row.phase != nullptr) e.labels.emplace_back("phase", row.phase);
                e.family = family_index;
                t.values.push_back(std::move(e));
            }
        }
        t.families.push_back(std::move(family));
    }
    // Record order; the families keep their members in that order.
    std::stable_sort(t.values.begin(), t.values.end(),
                     [](const ValueEntry& a, const ValueEntry& b) { return a.offset < b.offset; });
    for (std::size_t k = 0; k < t.values.size(); ++k)
        t.families[t.values[k].family].members.push_back(k);
    return t;
}

}  // namespace smdcatalogue
