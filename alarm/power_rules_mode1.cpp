// Mode-1 power-system rules: mains failure, AC and DC analog reports under
// the 419 id family, rectifier module faults. Call order is part of the
// contract with the host, so the tables are walked in the order written.
#include <string>

#include "alarm/power_rule_tables.hpp"
#include "alarm/rule_text.hpp"
#include "device/device_types.hpp"

namespace {

using pxr52::power_rules::AcCheck;
using pxr52::power_rules::AcValue;
using pxr52::power_rules::DcCheck;
using pxr52::power_rules::DcValue;
using pxr52::power_rules::kDcChecks;
using pxr52::power_rules::kFirstInput;
using pxr52::power_rules::kMainsFailure;
using pxr52::power_rules::kModuleFault;
using pxr52::power_rules::kSecondInput;

// A phase voltage counts as powered strictly above this, in volts.
constexpr float kPoweredVolts = 120.0f;

float ac_value(const acChannel_t& ch, AcValue v) {
    switch (v) {
        case AcValue::a: return ch.a.get();
        case AcValue::b: return ch.b.get();
        case AcValue::c: return ch.c.get();
        case AcValue::f: return ch.f.get();
    }
    return 0.0f;
}

}  // namespace

template <class T, unsigned int ID>
void pmbuspower_419<T, ID>::run_power_rules_mode1() {
    const T& rec = this->data;

    // One analog check: the host's threshold test, then the change-of-value report.
    auto analog = [this](const char* check_id, const char* template_id, const char* report_id,
                         float value) {
        this->CheckThreshold(check_id, std::string(), value, 1);
        this->CheckAOReport(template_id, report_id, value);
    };
    const int family = this->ac_type == 0 ? 0 : 1;
    auto ac_check = [&](const AcCheck& row, const acChannel_t& ch) {
        const bool gated = (row.value == AcValue::a && !has_a) ||
                           (row.value == AcValue::b && !has_b) ||
                           (row.value == AcValue::c && !has_c);
        if (gated) return;
        analog(row.check_id[family], row.template_id[family], row.report_id[family],
               ac_value(ch, row.value));
    };

    if (has_ac) {
        // Step 1: mains failure, active when no channel has every present
        // phase above 120 V (a NaN voltage is never above).
        bool powered = false;
        const int channels = pxr52::bounded_count(rec.channel_count, CHANNEL_MAX);
        for (int i = 0; i < channels; ++i) {
            const acChannel_t& ch = rec.acChannel[i];
            if ((!has_a || ch.a.get() > kPoweredVolts) && (!has_b || ch.b.get() > kPoweredVolts) &&
                (!has_c || ch.c.get() > kPoweredVolts))
                powered = true;
        }
        this->CheckThresholdBool(kMainsFailure.level, kMainsFailure.key, kMainsFailure.id,
                                 kMainsFailure.text1, kMainsFailure.text2, !powered,
                                 kMainsFailure.count);

        // Step 2: AC analog reports. ac_line 1: input 1; 2: input 2 under
        // input 1's ids; otherwise both inputs, phases first, then frequencies.
        if (ac_line == 1 || ac_line == 2) {
            const acChannel_t& ch = rec.acChannel[ac_line == 2 ? 1 : 0];
            for (const AcCheck& row : kFirstInput) ac_check(row, ch);
        } else {
            for (int k = 0; k < 3; ++k) ac_check(kFirstInput[k], rec.acChannel[0]);
            for (int k = 0; k < 3; ++k) ac_check(kSecondInput[k], rec.acChannel[1]);
            ac_check(kFirstInput[3], rec.acChannel[0]);
            ac_check(kSecondInput[3], rec.acChannel[1]);
        }
    }

    // Step 3: DC analog reports.
    if (has_dc) {
        for (const DcCheck& row : kDcChecks) {
            if (row.screen == 1 && dc_number <= 1) continue;
            const dcScreen_t& dc = rec.dc(row.screen);
            analog(row.check_id, row.template_id, row.report_id,
                   row.value == DcValue::i ? dc.dc_i.get() : dc.dc_v.get());
        }
    }

    // Step 4: rectifier module faults, any non-zero fault byte.
    // Made once: a temporary of this text would cost an allocation per module.
    static const std::string kFaultText = kModuleFault.text2;
    const int modules = pxr52::bounded_count(rec.rc_count, RC_MAX);
    for (int j = 0; j < modules; ++j) {
        const std::string id = kModuleFault.id_head + pxr52::zero_pad3(j + 1);
        this->CheckThresholdBool(kModuleFault.level, id, id, id, kFaultText,
                                 rec.rcChannel[j].fault != 0, 1);
    }
}

template void PowerDevice::run_power_rules_mode1();
