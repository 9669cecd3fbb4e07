// Mode-2 power-system rules: every rule is switched on and graded by the
// host's level map (level 0 or no entry: no call) and compared against the
// host's threshold map. Both maps are read with the inserting subscript, as
// the host expects: every id looked up is afterwards present.
#include <cstdint>
#include <sstream>
#include <string>

#include <boost/lexical_cast.hpp>

#include "alarm/rule_text.hpp"
#include "device/device_types.hpp"

namespace {

constexpr float kAcHighVolts = 280.0f;  // over-voltage strictly above
constexpr float kAcLowVolts = 150.0f;   // under-voltage / mains cut strictly below
constexpr double kPresent = 0.01;       // a reading at or below this is "no voltage / no frequency"

// Group A: AC input.
enum class AcRule { volts_high, volts_low, mains_cut, freq_high, freq_low };

struct AcRow {
    const char* id;
    const char* text2;
    AcRule rule;
};

const AcRow kAcRows[] = {
    {"220600120010", "001#48V直流系统交流输入电压过高告警", AcRule::volts_high},
    {"220600130010", "001#48V直流系统交流输入电压过低告警", AcRule::volts_low},
    {"220600140010", "001#48V直流系统交流输入停电告警", AcRule::mains_cut},
    {"220600160010", "001#48V直流系统交流输入频率过高告警", AcRule::freq_high},
    {"220600170010", "001#48V直流系统交流输入频率过低告警", AcRule::freq_low},
};

// Group C: DC voltage of one screen against its threshold.
struct DcVoltRow {
    const char* id;
    const char* text2;
    bool above;  // active when dc_v > θ, else when dc_v < θ
};

const DcVoltRow kScreen0Volts[] = {
    {"210600320010", "48V直流系统直流总电压过低告警", false},
    {"210600330010", "48V直流系统直流总电压超低告警", false},
    {"210600340010", "直流总电压过高告警", true},
};

const DcVoltRow kScreen1Volts[] = {
    {"210600320020", "直流屏2 48V直流系统直流总电压过低告警", false},
    {"210600330020", "直流屏2 8V直流系统直流总电压超低告警", false},
    {"210600340020", "直流屏2 直流总电压过高告警", true},
};

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
            const bool freq = row.rule == AcRule::freq_high || row.rule == AcRule::freq_low;
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
        const std::string text2 = n + "#48V整流模块运行告警";
        const bool running = static_cast<long long>(rec.rcChannel[k].sw_state[0]) == run_state;
        rule("12060069" + n + "0", "1", text2, [&]() { return running; });
        rule("12060002" + n + "0", "1", text2, [&]() { return running; });
    }

    if (!has_dc) return;

    // Group C: DC voltage and load fuses, screen 0, then screen 1 when the
    // DC reply reported two screens. Fuse loops stop at the 42 states held.
    auto screen_rules = [&](const dcScreen_t& dc, const DcVoltRow (&volts)[3], const char* screen_text,
                            int first_fuse_id) {
        const float v = dc.dc_v.get();
        const std::string v_text = boost::lexical_cast<std::string>(v);
        for (const DcVoltRow& row : volts) {
            rule(row.id, v_text, row.text2, [&]() {
                const float t = threshold(row.id);
                return row.above ? v > t : v < t;
            });
        }
        const int fuses = pxr52::bounded_count(dc.alert_m_count, ALERT_M_SIZE);
        for (int l = 0; l < fuses; ++l) {
            const std::string id = "12060047" + pxr52::zero_pad3(l + first_fuse_id) + "0";
            const std::string text2 = std::string(screen_text) + pxr52::zero_pad3(l + 1) + "负载熔丝故障告警";
            rule(id, "1", text2, [&]() { return dc.alert_m[l] != 0; });
        }
    };
    screen_rules(rec.dc(0), kScreen0Volts, "直流屏1", 1);
    // The second screen's fuse ids go on at 019 while its texts restart at 001.
    if (dc_number > 1) screen_rules(rec.dc(1), kScreen1Volts, "直流屏2", 19);
}

template void PowerDevice::run_power_rules_mode2();
