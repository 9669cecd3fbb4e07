// The alarm, threshold and report entries, made from the plug-in's own rule
// tables (alarm/power_rule_tables.hpp, alarm/model_rule_tables.hpp,
// device/comm_alarm.hpp) with the same id and text helpers the rules use
// (alarm/rule_text.hpp), one entry per instance up to the record's
// capacities.
//
// What the catalogue adds is English: a name per table row, checked against
// the table at compile time (a row added to a rule table without its
// English name here fails the build), and the conditions under which each
// rule runs, which the exhaustive test (tests/unit/catalogue_emitted_ids_
// test.cpp) checks against the running device.
#include <cstddef>
#include <cstdio>
#include <map>
#include <string>

#include "alarm/model_rule_tables.hpp"
#include "alarm/power_rule_tables.hpp"
#include "alarm/rule_text.hpp"
#include "device/comm_alarm.hpp"
#include "device/record.hpp"
#include "tools/smdhost/catalogue/catalogue_tables.hpp"

namespace smdcatalogue {

namespace {

using R = pxr52_419_Data_t;
namespace pr = pxr52::power_rules;
namespace mr = pxr52::model_rules;

// ---- English names of the table rows -----------------------------------------

struct About {
    const char* row;   // the row's key or id, as in the rule table
    const char* text;  // English name of the alarm
};

constexpr bool same_text(const char* a, const char* b) {
    while (*a != '\0' && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

// True when `about` names every row of `rows`, in order, by `field`.
template <class Row, std::size_t N, std::size_t M>
constexpr bool names_rows(const Row (&rows)[N], const char* const Row::*field,
                          const About (&about)[M]) {
    if (N != M) return false;
    for (std::size_t k = 0; k < N; ++k)
        if (!same_text(rows[k].*field, about[k].row)) return false;
    return true;
}

constexpr About kMode1AcAbout[] = {
    {"GWE37TAC_AC_0", "surge protector fault"},
    {"GWE37TAC_AC_1", "AC distribution communication lost"},
    {"GWE37TAC_AC_2", "AC input breaker tripped"},
    {"GWE37TAC_AC_3", "AC output breaker tripped"},
    {"GWE37TAC_AC_4", "AC input 1 power cut"},
    {"GWE37TAC_AC_5", "AC input 2 power cut"},
    {"GWE37TAC_AC_6", "AC input 3 power cut"},
    {"GWE37TAC_AC_7", "mains changeover failure"},
};
static_assert(names_rows(mr::kMode1AcRules, &pxr52::CodedAlarm::key, kMode1AcAbout),
              "every row of kMode1AcRules needs its English name here");

constexpr About kMode1RcAbout[] = {
    {"GWE37TAC_RC_0", "communication lost"},
    {"GWE37TAC_RC_1", "fault"},
    {"GWE37TAC_RC_7", "over-temperature"},
};
static_assert(names_rows(mr::kMode1RcRules, &pxr52::CodedAlarm::key, kMode1RcAbout),
              "every row of kMode1RcRules needs its English name here");

constexpr About kOtherAcAbout[] = {
    {"GWE37TAC_AC_4", "system power cut"},
    {"GWE37TAC_AC_0", "surge protector fault"},
};
static_assert(names_rows(mr::kOtherAcRules, &pxr52::CodedAlarm::key, kOtherAcAbout),
              "every row of kOtherAcRules needs its English name here");

constexpr About kOtherRcAbout[] = {
    {"GWE37TAC_RC_0", "DC over-voltage"},
    {"GWE37TAC_RC_1", "AC over-voltage"},
    {"GWE37TAC_RC_2", "fan fault"},
    {"GWE37TAC_RC_3", "over-temperature"},
    {"GWE37TAC_RC_4", "DC over-current"},
    {"GWE37TAC_RC_5", "communication fault"},
    {"GWE37TAC_RC_6", "AC under-voltage"},
};
static_assert(names_rows(mr::kOtherRcRules, &pxr52::CodedAlarm::key, kOtherRcAbout),
              "every row of kOtherRcRules needs its English name here");

constexpr About kOtherDcAbout[] = {
    {"R905_DC_0", "first load disconnection"},
    {"R905_DC_1", "second load disconnection"},
    {"R905_DC_2", "battery protection"},
    {"R905_DC_3", "third load disconnection"},
    {"R905_DC_4", "fourth load disconnection"},
};
static_assert(names_rows(mr::kOtherDcRules, &pxr52::CodedAlarm::key, kOtherDcAbout),
              "every row of kOtherDcRules needs its English name here");

constexpr About kMode2AcAbout[] = {
    {"220600120010", "AC input over-voltage"},
    {"220600130010", "AC input under-voltage"},
    {"220600140010", "AC mains cut"},
    {"220600160010", "AC input frequency high"},
    {"220600170010", "AC input frequency low"},
};
static_assert(names_rows(pr::kAcRows, &pr::AcRow::id, kMode2AcAbout),
              "every row of kAcRows needs its English name here");

constexpr About kScreen1VoltsAbout[] = {
    {"210600320010", "DC voltage low"},
    {"210600330010", "DC voltage very low"},
    {"210600340010", "DC voltage high"},
};
static_assert(names_rows(pr::kScreens[0].volts, &pr::DcVoltRow::id, kScreen1VoltsAbout),
              "every DC voltage row of the first screen needs its English name here");

constexpr About kScreen2VoltsAbout[] = {
    {"210600320020", "DC voltage low"},
    {"210600330020", "DC voltage very low"},
    {"210600340020", "DC voltage high"},
};
static_assert(names_rows(pr::kScreens[1].volts, &pr::DcVoltRow::id, kScreen2VoltsAbout),
              "every DC voltage row of the second screen needs its English name here");
static_assert(sizeof pr::kScreens / sizeof pr::kScreens[0] == 2, "one rule set per DC screen");

constexpr About kCommAbout[] = {
    {"120600180010", "communication with the power system lost"},
};
static_assert(names_rows(pxr52::kCommAlarms, &pxr52::CommAlarm::id, kCommAbout),
              "every communication alarm needs its English name here");

constexpr About kRunAbout[] = {
    {"12060069", "run alarm"},
    {"12060002", "run alarm (second id, same state)"},
};
static_assert(names_rows(pr::kRunIds, &pxr52::NumberedId::head, kRunAbout),
              "every rectifier run id needs its English name here");

// ---- building ----------------------------------------------------------------

std::string hex_code(int code) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02X", static_cast<unsigned>(code));
    return buf;
}

std::string modes_text(std::uint8_t modes) {
    if (modes == kAllModes) return "every b_mode";
    if (modes == (kMode5 | kModeOther)) return "b_mode other than 1, 2 and 3";
    std::string s;
    for (const std::string& m : mode_names(modes)) s += (s.empty() ? "b_mode " : " or ") + m;
    return s;
}

std::string need_text(Need need, const char* setting) {
    if (need == Need::any) return std::string();
    return std::string(setting) + (need == Need::set ? " set" : " 0");
}

std::string lines_text(std::uint8_t lines) {
    switch (lines) {
        case kLine1 | kLineOther: return "ac_line not 2";
        case kLine2: return "ac_line 2";
        case kLineOther: return "ac_line neither 1 nor 2";
        case kLine1: return "ac_line 1";
        default: return std::string();
    }
}

class Builder {
public:
    explicit Builder(const ValueTable& values) {
        for (const ValueEntry& v : values.values) by_offset_[v.offset] = &v;
    }

    const std::string& name_at(std::size_t offset) const {
        static const std::string none;
        const auto it = by_offset_.find(offset);
        return it == by_offset_.end() ? none : it->second->name;
    }
    const ValueEntry* value_at(std::size_t offset) const {
        const auto it = by_offset_.find(offset);
        return it == by_offset_.end() ? nullptr : it->second;
    }

    // A family of entries; `instances` "" for a single entry.
    std::size_t family(const std::string& description, const std::string& instances) {
        AlarmFamily f;
        f.description = description;
        f.instances = instances;
        table_.families.push_back(std::move(f));
        return table_.families.size() - 1;
    }

    void add(std::size_t family, AlarmEntry e) {
        e.family = family;
        e.when_text = when_text(e);
        table_.families[family].members.push_back(table_.alarms.size());
        table_.alarms.push_back(std::move(e));
    }

    // A single entry whose family says what the entry says.
    void add_single(AlarmEntry e) {
        const std::size_t f = family(e.description, std::string());
        add(f, std::move(e));
    }

    AlarmTable done() { return std::move(table_); }

private:
    std::string when_text(const AlarmEntry& e) const {
        const When& w = e.when;
        std::string s = modes_text(w.modes);
        auto part = [&s](const std::string& text) {
            if (!text.empty()) s += "; " + text;
        };
        part(need_text(w.has_ac, "has_ac"));
        part(need_text(w.has_dc, "has_dc"));
        part(need_text(w.has_a, "has_a"));
        part(need_text(w.has_b, "has_b"));
        part(need_text(w.has_c, "has_c"));
        if (w.ac_type_zero != Need::any) part(w.ac_type_zero == Need::set ? "ac_type 0" : "ac_type not 0");
        part(lines_text(w.ac_lines));
        if (w.two_screens) part("two DC screens reported (dc_number > 1)");
        for (const CountTest& t : w.counts) {
            if (!t.used()) continue;
            part(name_at(t.offset) + (t.exact ? " = " : " >= ") + std::to_string(t.value));
        }
        if (w.level) part("a non-zero level for the id in \"host\".\"levels\"");
        if (w.due)
            part("due by the \"host\".\"reports\" settings of the id" +
                 (e.template_id.empty() || e.template_id == e.id
                      ? std::string()
                      : " (copied from " + e.template_id + " when it has none)"));
        return s;
    }

    std::map<std::size_t, const ValueEntry*> by_offset_;
    AlarmTable table_;
};

CountTest at_least(std::size_t offset, int n) {
    return {static_cast<std::uint16_t>(offset), static_cast<std::uint8_t>(n), false};
}
CountTest exactly(std::size_t offset, int n) {
    return {static_cast<std::uint16_t>(offset), static_cast<std::uint8_t>(n), true};
}

std::size_t ac_offset(int channel, std::size_t member) {
    return offsetof(R, acChannel) + static_cast<std::size_t>(channel) * sizeof(acChannel_t) + member;
}
std::size_t rc_offset(int module, std::size_t member) {
    return offsetof(R, rcChannel) + static_cast<std::size_t>(module) * sizeof(rcChannel_t) + member;
}
std::size_t dc_offset(int screen, std::size_t member) {
    return (screen == 0 ? offsetof(R, dc0) : offsetof(R, dc1)) + member;
}

std::string n1(int zero_based) { return std::to_string(zero_based + 1); }

// ---- power-system rules, mode 1 ----------------------------------------------

void analog_pair(Builder& b, const char* rule_set, const std::string& check_id,
                 const std::string& template_id, const std::string& report_id,
                 const ValueEntry& value, const std::string& subject, const When& when) {
    AlarmEntry t;
    t.kind = SignalKind::threshold;
    t.id = check_id;
    t.value = value.name;
    t.subject = subject;
    t.when = when;
    t.rule_set = rule_set;
    t.description = "threshold check of " + value.name + " (" + value.description +
                    ") against the host's limits for the id";
    b.add_single(t);

    AlarmEntry r;
    r.kind = SignalKind::report;
    r.id = report_id;
    r.template_id = template_id;
    r.value = value.name;
    r.subject = subject;
    r.when = when;
    r.when.due = true;
    r.rule_set = rule_set;
    r.description = "change-of-value report of " + value.name + " (" + value.description + ")";
    b.add_single(r);
}

void power_mode1(Builder& b) {
    const char* rs = "power rules, mode 1";
    {
        const pr::FixedAlarm& a = pr::kMainsFailure;
        AlarmEntry e;
        e.id = a.id;
        e.key = a.key;
        e.text1 = a.text1;
        e.text2 = a.text2;
        e.level = a.level;
        e.subject = "ac";
        e.when.modes = kMode1;
        e.when.has_ac = Need::set;
        e.rule_set = rs;
        e.description =
            "mains failure: active when no reported AC input has every present phase (has_a, "
            "has_b, has_c) above 120 V, so also when no input is reported";
        b.add_single(e);
    }

    auto ac_check = [&](const pr::AcCheck& row, int channel, std::uint8_t lines) {
        std::size_t member = 0;
        Need* gate = nullptr;
        When when;
        when.modes = kMode1;
        when.has_ac = Need::set;
        when.ac_lines = lines;
        switch (row.value) {
            case pr::AcValue::a: member = offsetof(acChannel_t, a); gate = &when.has_a; break;
            case pr::AcValue::b: member = offsetof(acChannel_t, b); gate = &when.has_b; break;
            case pr::AcValue::c: member = offsetof(acChannel_t, c); gate = &when.has_c; break;
            case pr::AcValue::f: member = offsetof(acChannel_t, f); break;
        }
        if (gate != nullptr) *gate = Need::set;
        const ValueEntry& value = *b.value_at(ac_offset(channel, member));
        const bool one_family = same_text(row.check_id[0], row.check_id[1]) &&
                                same_text(row.template_id[0], row.template_id[1]) &&
                                same_text(row.report_id[0], row.report_id[1]);
        for (int family = 0; family < (one_family ? 1 : 2); ++family) {
            When w = when;
            if (!one_family) w.ac_type_zero = family == 0 ? Need::set : Need::clear;
            analog_pair(b, rs, row.check_id[family], row.template_id[family], row.report_id[family],
                        value, "ac." + n1(channel), w);
        }
    };
    // ac_line 1 and the values of both inputs: input 1 under the first
    // input's ids; ac_line 2: input 2 under the first input's ids.
    for (const pr::AcCheck& row : pr::kFirstInput) {
        ac_check(row, 0, kLine1 | kLineOther);
        ac_check(row, 1, kLine2);
    }
    for (const pr::AcCheck& row : pr::kSecondInput) ac_check(row, 1, kLineOther);

    for (const pr::DcCheck& row : pr::kDcChecks) {
        When w;
        w.modes = kMode1;
        w.has_dc = Need::set;
        w.two_screens = row.screen != 0;
        const std::size_t member =
            row.value == pr::DcValue::i ? offsetof(dcScreen_t, dc_i) : offsetof(dcScreen_t, dc_v);
        analog_pair(b, rs, row.check_id, row.template_id, row.report_id,
                    *b.value_at(dc_offset(row.screen, member)), "dc." + n1(row.screen), w);
    }

    const pr::ModuleFault& fault = pr::kModuleFault;
    const std::size_t fam =
        b.family("rectifier module: fault; active when the module's fault-state byte "
                 "(rect.M.fault) is non-zero; id, key and text1 are the id",
                 "one per rectifier module, 1 to " + std::to_string(RC_MAX));
    for (int j = 0; j < RC_MAX; ++j) {
        AlarmEntry e;
        e.id = fault.id_head + pxr52::zero_pad3(j + 1);
        e.key = e.id;
        e.text1 = e.id;
        e.text2 = fault.text2;
        e.level = fault.level;
        e.subject = "rect." + n1(j);
        e.when.modes = kMode1;
        e.when.counts[0] = at_least(offsetof(R, rc_count), j + 1);
        e.rule_set = rs;
        e.description = "rectifier module " + n1(j) + ": fault; active when " +
                        b.name_at(rc_offset(j, offsetof(rcChannel_t, fault))) + " is non-zero";
        b.add(fam, e);
    }
}

// ---- coded model alarms (mode 1 and the other modes) ----------------------------

enum class Unit { ac_input, module, screen1 };

// One family per row, one entry per instance. `only_full`: the rule runs
// only for an instance that reported exactly as many user alarm bytes as
// the record keeps.
template <std::size_t N>
void coded(Builder& b, const pxr52::CodedAlarm (&rows)[N], const About (&about)[N],
           const char* rule_set, Unit unit, const When& base, bool only_full = false) {
    for (std::size_t r = 0; r < N; ++r) {
        const pxr52::CodedAlarm& row = rows[r];
        const int count = unit == Unit::ac_input ? CHANNEL_MAX : unit == Unit::module ? RC_MAX : 1;
        std::string active;
        switch (unit) {
            case Unit::ac_input:
                static_assert(p40_44_SIZE == 0, "AC inputs now keep alarm bytes: describe them");
                active = "never active: the record keeps no user-defined alarm bytes for AC inputs";
                break;
            case Unit::module:
                active = row.byte < P41_44_SIZE
                             ? "active when the module's user alarm byte " + n1(row.byte) + " is " +
                                   hex_code(row.code)
                             : "never active: byte " + n1(row.byte) + " lies beyond the " +
                                   std::to_string(P41_44_SIZE) + " user alarm bytes a module keeps";
                break;
            case Unit::screen1:
                active = "active when " +
                         b.name_at(dc_offset(0, offsetof(dcScreen_t, alert_p)) +
                                   static_cast<std::size_t>(row.byte)) +
                         " is " + hex_code(row.code);
                break;
        }
        const char* unit_name = unit == Unit::ac_input ? "AC input: "
                                : unit == Unit::module ? "rectifier module: "
                                                       : "DC screen 1: ";
        const std::size_t fam = b.family(
            unit_name + std::string(about[r].text) + "; " + active,
            unit == Unit::ac_input ? "one per AC input, 1 to " + std::to_string(CHANNEL_MAX)
            : unit == Unit::module ? "one per rectifier module, 1 to " + std::to_string(RC_MAX)
                                   : std::string());
        for (int k = 0; k < count; ++k) {
            const std::string prefix = unit == Unit::ac_input ? pxr52::ac_prefix(k)
                                       : unit == Unit::module ? pxr52::module_prefix(k)
                                                              : std::string();
            AlarmEntry e;
            e.key = row.key;
            e.id = row.id;
            e.text1 = (row.prefixed == pxr52::Prefixed::text1 ? prefix : std::string()) + row.text1;
            e.text2 = (row.prefixed == pxr52::Prefixed::text2 ? prefix : std::string()) + row.text2;
            e.level = row.level;
            e.when = base;
            e.rule_set = rule_set;
            std::string who = "DC screen 1";
            switch (unit) {
                case Unit::ac_input:
                    e.subject = "ac." + n1(k);
                    who = "AC input " + n1(k);
                    e.when.counts[0] = at_least(offsetof(R, channel_count), k + 1);
                    if (only_full)
                        e.when.counts[1] =
                            exactly(ac_offset(k, offsetof(acChannel_t, p40_44_count)), p40_44_SIZE);
                    break;
                case Unit::module:
                    e.subject = "rect." + n1(k);
                    who = "rectifier module " + n1(k);
                    e.when.counts[0] = at_least(offsetof(R, rc_count), k + 1);
                    if (only_full)
                        e.when.counts[1] =
                            exactly(rc_offset(k, offsetof(rcChannel_t, p41_44_count)), P41_44_SIZE);
                    if (row.byte < P41_44_SIZE)
                        active = "active when " +
                                 b.name_at(rc_offset(k, offsetof(rcChannel_t, p41_44)) +
                                           static_cast<std::size_t>(row.byte)) +
                                 " is " + hex_code(row.code);
                    break;
                case Unit::screen1:
                    e.subject = b.name_at(dc_offset(0, offsetof(dcScreen_t, alert_p)) +
                                          static_cast<std::size_t>(row.byte));
                    break;
            }
            e.description = who + ": " + about[r].text + "; " + active;
            b.add(fam, e);
        }
    }
}

void model_mode1(Builder& b) {
    When ac;
    ac.modes = kMode1;
    ac.has_ac = Need::set;
    coded(b, mr::kMode1AcRules, kMode1AcAbout, "model rules, mode 1", Unit::ac_input, ac);
    When rc;
    rc.modes = kMode1;
    coded(b, mr::kMode1RcRules, kMode1RcAbout, "model rules, mode 1", Unit::module, rc);
}

void model_other(Builder& b) {
    const char* rs = "model rules, other modes";
    const std::uint8_t modes = kMode5 | kModeOther;
    When ac;
    ac.modes = modes;
    ac.has_ac = Need::set;
    coded(b, mr::kOtherAcRules, kOtherAcAbout, rs, Unit::ac_input, ac, true);
    When rc;
    rc.modes = modes;
    coded(b, mr::kOtherRcRules, kOtherRcAbout, rs, Unit::module, rc, true);
    When dc;
    dc.modes = modes;
    dc.has_dc = Need::set;
    coded(b, mr::kOtherDcRules, kOtherDcAbout, rs, Unit::screen1, dc);
}

// ---- level-map rules, mode 2 ----------------------------------------------------

AlarmEntry level_alarm(const std::string& id, const std::string& text1, const std::string& text2,
                       const char* rule_set) {
    AlarmEntry e;
    e.id = id;
    e.key = id;
    e.text1 = text1;
    e.text2 = text2;
    e.level = 0;
    e.when.modes = kMode2;
    e.when.level = true;
    e.rule_set = rule_set;
    return e;
}

void power_mode2(Builder& b) {
    const char* rs = "power rules, mode 2";
    const std::string volts = "ua1:{ac.1.a} ub1:{ac.1.b} uc1:{ac.1.c} ua2:{ac.2.a} ub2:{ac.2.b} uc2:{ac.2.c}";
    const std::string freqs = "f1:{ac.1.frequency} f2:{ac.2.frequency}";
    for (std::size_t r = 0; r < sizeof pr::kAcRows / sizeof pr::kAcRows[0]; ++r) {
        const pr::AcRow& row = pr::kAcRows[r];
        const bool freq = pr::is_frequency_rule(row.rule);
        AlarmEntry e = level_alarm(row.id, freq ? freqs : volts, row.text2, rs);
        e.text1_varies = true;
        e.reads_threshold = freq;
        e.when.has_ac = Need::set;
        e.subject = "ac";
        std::string active;
        switch (row.rule) {
            case pr::AcRule::volts_high:
                active = "any phase voltage of either input whose phase flag is set is above 280 V";
                break;
            case pr::AcRule::volts_low:
                active = "any phase voltage of either input whose phase flag is set is above 0.01 V "
                         "and below 150 V";
                break;
            case pr::AcRule::mains_cut:
                active = "all six phase voltages are below 150 V, whatever the phase flags";
                break;
            case pr::AcRule::freq_high:
                active = "the frequency of either input is above the id's threshold";
                break;
            case pr::AcRule::freq_low:
                active = "the frequency of either input is above 0.01 Hz and below the id's "
                         "threshold";
                break;
        }
        e.description = std::string(kMode2AcAbout[r].text) + ": active when " + active;
        b.add_single(e);
    }

    const std::size_t fams[2] = {
        b.family("rectifier module: " + std::string(kRunAbout[0].text) +
                     "; active when the module's switch-state byte 1 (rect.M.switch.1) equals "
                     "1 - open_41_43",
                 "one per rectifier module, 1 to " + std::to_string(RC_MAX)),
        b.family("rectifier module: " + std::string(kRunAbout[1].text) +
                     "; active when the module's switch-state byte 1 (rect.M.switch.1) equals "
                     "1 - open_41_43",
                 "one per rectifier module, 1 to " + std::to_string(RC_MAX)),
    };
    for (int k = 0; k < RC_MAX; ++k) {
        const std::string n = pxr52::zero_pad3(k + 1);
        for (int r = 0; r < 2; ++r) {
            AlarmEntry e = level_alarm(pxr52::numbered_id(pr::kRunIds[r], n), pr::kRunText1,
                                       n + pr::kRunText, rs);
            e.subject = "rect." + n1(k);
            e.when.counts[0] = at_least(offsetof(R, rc_count), k + 1);
            e.description = "rectifier module " + n1(k) + ": " + kRunAbout[r].text +
                            "; active when " +
                            b.name_at(rc_offset(k, offsetof(rcChannel_t, sw_state))) +
                            " equals 1 - open_41_43";
            b.add(fams[r], e);
        }
    }

    const About* volts_about[2] = {kScreen1VoltsAbout, kScreen2VoltsAbout};
    for (int s = 0; s < 2; ++s) {
        const pr::ScreenRules& screen = pr::kScreens[s];
        const std::string voltage = b.name_at(dc_offset(s, offsetof(dcScreen_t, dc_v)));
        for (int r = 0; r < 3; ++r) {
            const pr::DcVoltRow& row = screen.volts[r];
            AlarmEntry e = level_alarm(row.id, "{" + voltage + "}", row.text2, rs);
            e.text1_varies = true;
            e.reads_threshold = true;
            e.subject = voltage;
            e.when.has_dc = Need::set;
            e.when.two_screens = s != 0;
            e.description = "DC screen " + n1(s) + ": " + volts_about[s][r].text + ": active when " +
                            voltage + (row.above ? " is above" : " is below") +
                            " the id's threshold";
            b.add_single(e);
        }
        const std::size_t fam = b.family(
            "DC screen " + n1(s) + ": load fuse alarm: active when the fuse's state (dc." + n1(s) +
                ".fuse.F) is non-zero; id numbers " +
                (screen.first_fuse_number == 1
                     ? std::string("follow the fuse numbers")
                     : "go on at " + pxr52::zero_pad3(screen.first_fuse_number) +
                           " while the texts count from 001"),
            "one per fuse, 1 to " + std::to_string(ALERT_M_SIZE));
        for (int l = 0; l < ALERT_M_SIZE; ++l) {
            const std::string fuse = b.name_at(dc_offset(s, offsetof(dcScreen_t, alert_m)) +
                                               static_cast<std::size_t>(l));
            AlarmEntry e = level_alarm(
                pxr52::numbered_id(pr::kFuseId, pxr52::zero_pad3(l + screen.first_fuse_number)),
                pr::kFuseText1,
                std::string(screen.screen_text) + pxr52::zero_pad3(l + 1) + pr::kFuseText, rs);
            e.subject = fuse;
            e.when.has_dc = Need::set;
            e.when.two_screens = s != 0;
            e.when.counts[0] =
                at_least(dc_offset(s, offsetof(dcScreen_t, alert_m_count)), l + 1);
            e.description = "DC screen " + n1(s) + ": load fuse " + n1(l) + " alarm: active when " +
                            fuse + " is non-zero";
            b.add(fam, e);
        }
    }
}

void model_mode2(Builder& b) {
    const char* rs = "model rules, mode 2";
    const std::size_t fam =
        b.family("rectifier module: communication lost; active when the module's user alarm byte 1 "
                 "(rect.M.user_alarm.1) is " + hex_code(mr::kCommCode),
                 "one per rectifier module, 1 to " + std::to_string(RC_MAX));
    for (int m = 0; m < RC_MAX; ++m) {
        const std::string n = pxr52::zero_pad3(m + 1);
        AlarmEntry e = level_alarm(pxr52::numbered_id(mr::kCommId, n), mr::kCommText1,
                                   n + mr::kCommText, rs);
        e.subject = "rect." + n1(m);
        e.when.counts[0] = at_least(offsetof(R, rc_count), m + 1);
        e.description = "rectifier module " + n1(m) + ": communication lost; active when " +
                        b.name_at(rc_offset(m, offsetof(rcChannel_t, p41_44))) + " is " +
                        hex_code(mr::kCommCode);
        b.add(fam, e);
    }
    for (const mr::BatteryFuse& fuse : mr::kBatteryFuses) {
        const std::string state = b.name_at(dc_offset(fuse.screen, offsetof(dcScreen_t, alert_m)) +
                                            static_cast<std::size_t>(fuse.byte));
        AlarmEntry e = level_alarm(fuse.id, mr::kBatteryFuseText1, fuse.text2, rs);
        e.subject = state;
        e.description = "battery fuse " + n1(fuse.byte) + " of DC screen " + n1(fuse.screen) +
                        ": active when " + state + " is non-zero (checked whatever has_dc says)";
        b.add_single(e);
    }
}

// ---- the communication alarm of Reset, every mode ----------------------------------

void comm_alarms(Builder& b) {
    for (std::size_t k = 0; k < sizeof pxr52::kCommAlarms / sizeof pxr52::kCommAlarms[0]; ++k) {
        const pxr52::CommAlarm& a = pxr52::kCommAlarms[k];
        AlarmEntry e = level_alarm(a.id, a.text1, a.text2, "communication alarm");
        e.when.modes = kAllModes;
        e.description = std::string(kCommAbout[k].text) + ": checked at every Reset, active once no "
                        "record has been published for " +
                        std::to_string(pxr52::kCommAlarmAge) + " s";
        b.add_single(e);
    }
}

}  // namespace

AlarmTable build_alarm_table(const ValueTable& values) {
    Builder b(values);
    power_mode1(b);
    model_mode1(b);
    power_mode2(b);
    model_mode2(b);
    model_other(b);
    comm_alarms(b);
    return b.done();
}

}  // namespace smdcatalogue
