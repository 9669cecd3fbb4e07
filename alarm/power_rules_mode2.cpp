// Mode-2 power-system rules: every rule is switched on and graded by the
// host's level map (level 0 or no entry: no call) and compared against the
// host's threshold map. Both maps are read with the inserting subscript, as
// the host expects: every id looked up is afterwards present.
#include <cstdint>
#include <sstream>
#include <string>

#include <boost/lexical_cast.hpp>

#include "alarm/power_rule_tables.hpp"
#include "alarm/rule_text.hpp"
#include "device/device_types.hpp"

namespace {

constexpr float kAcHighVolts = 280.0f;  // over-voltage strictly above
constexpr float kAcLowVolts = 150.0f;   // under-voltage / mains cut strictly below
constexpr double kPresent = 0.01;       // a reading at or below this is "no voltage / no frequency"

using pxr52::power_rules::AcRow;
using pxr52::power_rules::AcRule;
using pxr52::power_rules::DcVoltRow;
using pxr52::power_rules::ScreenRules;
using pxr52::power_rules::kAcRows;
using pxr52::power_rules::kFuseId;
using pxr52::power_rules::kFuseText;
using pxr52::power_rules::kFuseText1;
using pxr52::power_rules::kRunIds;
using pxr52::power_rules::kRunText;
using pxr52::power_rules::kRunText1;
using pxr52::power_rules::kScreens;

// The rectifier rules below name both run ids one by one.
static_assert(sizeof kRunIds / sizeof kRunIds[0] == 2, "two run ids per rectifier");

}  // namespace

template <class T, unsigned int ID>
void pmbuspower_419<T, ID>::run_power_rules_mode2() {
    const T& rec = this->data;

    // One rule: looks its level up, and only when it is non-zero decides
    // the state (which may look the threshold up) and queues the alarm.
    auto rule = [this](const std::string& id, const std::string& text1, const std::string& text2,
                       auto&& decide) {
        const int level = this->level_map[id];
        if (level == 0) return;
        this->CheckThresholdBool(level, id, id, text1, text2, decide(), 1);
    };
    auto threshold = [this](const std::string& id) { return this->threshold_map[id]; };

    if (has_ac) {
        const acChannel_t& in1 = rec.acChannel[0];
        const acChannel_t& in2 = rec.acChannel[1];
        const float volts[6] = {in1.a.get(), in1.b.get(), in1.c.get(),
                                in2.a.get(), in2.b.get(), in2.c.get()};
        const bool phase_present[6] = {has_a != 0, has_b != 0, has_c != 0,
                                       has_a != 0, has_b != 0, has_c != 0};
        const float f1 = in1.f.get();
        const float f2 = in2.f.get();

        std::ostringstream vt;
        vt << "ua1:" << volts[0] << " ub1:" << volts[1] << " uc1:" << volts[2] << " ua2:" << volts[3]
           << " ub2:" << volts[4] << " uc2:" << volts[5];
        std::ostringstream ft;
        ft << "f1:" << f1 << " f2:" << f2;
        const std::string volt_text = vt.str();
        const std::string freq_text = ft.str();

        for (const AcRow& row : kAcRows) {
            const bool freq = pxr52::power_rules::is_frequency_rule(row.rule);
            rule(row.id, freq ? freq_text : volt_text, row.text2, [&]() {
                bool any = false;
                bool all_low = true;
                switch (row.rule) {
                    case AcRule::volts_high:
                        for (int k = 0; k < 6; ++k) any = any || (phase_present[k] && volts[k] > kAcHighVolts);
                        return any;
                    case AcRule::volts_low:
                        for (int k = 0; k < 6; ++k)
                            any = any || (phase_present[k] && static_cast<double>(volts[k]) > kPresent &&
                                          volts[k] < kAcLowVolts);
                        return any;
                    case AcRule::mains_cut:  // whatever the phase flags say
                        for (int k = 0; k < 6; ++k) all_low = all_low && volts[k] < kAcLowVolts;
                        return all_low;
                    case AcRule::freq_high: {
                        const float t = threshold(row.id);
                        return f1 > t || f2 > t;
                    }
                    case AcRule::freq_low: {
                        const float t = threshold(row.id);
                        return (static_cast<double>(f1) > kPresent && f1 < t) ||
                               (static_cast<double>(f2) > kPresent && f2 < t);
                    }
                }
                return false;
            });
        }
    }

    // Group B: rectifier run alarm, two ids per module with one state. The
    // state byte is compared with 1 - open_41_43 as signed integers, so a
    // setting that puts the difference outside 0..255 never matches.
    const long long run_state = 1LL - static_cast<long long>(open_41_43);
    const int modules = pxr52::bounded_count(rec.rc_count, RC_MAX);
    for (int k = 0; k < modules; ++k) {
        const std::string n = pxr52::zero_pad3(k + 1);
        const std::string text2 = n + kRunText;
        const bool running = static_cast<long long>(rec.rcChannel[k].sw_state[0]) == run_state;
        rule(pxr52::numbered_id(kRunIds[0], n), kRunText1, text2, [&]() { return running; });
        rule(pxr52::numbered_id(kRunIds[1], n), kRunText1, text2, [&]() { return running; });
    }

    if (!has_dc) return;

    // Group C: DC voltage and load fuses, screen 0, then screen 1 when the
    // DC reply reported two screens. Fuse loops stop at the 42 states held.
    auto screen_rules = [&](const dcScreen_t& dc, const ScreenRules& screen) {
        const float v = dc.dc_v.get();
        const std::string v_text = boost::lexical_cast<std::string>(v);
        for (const DcVoltRow& row : screen.volts) {
            rule(row.id, v_text, row.text2, [&]() {
                const float t = threshold(row.id);
                return row.above ? v > t : v < t;
            });
        }
        const int fuses = pxr52::bounded_count(dc.alert_m_count, ALERT_M_SIZE);
        for (int l = 0; l < fuses; ++l) {
            const std::string id = pxr52::numbered_id(kFuseId,
                                                      pxr52::zero_pad3(l + screen.first_fuse_number));
            const std::string text2 = std::string(screen.screen_text) + pxr52::zero_pad3(l + 1) +
                                      kFuseText;
            rule(id, kFuseText1, text2, [&]() { return dc.alert_m[l] != 0; });
        }
    };
    screen_rules(rec.dc(0), kScreens[0]);
    if (dc_number > 1) screen_rules(rec.dc(1), kScreens[1]);
}

template void PowerDevice::run_power_rules_mode2();
