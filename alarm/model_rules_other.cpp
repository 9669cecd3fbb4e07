// Model rules of every mode other than 1, 2 and 3: AC, rectifier and DC
// extra alarms under the short ids "06016", "06022" and "06029".
#include "alarm/coded_alarm.hpp"
#include "alarm/rule_text.hpp"
#include "device/pxr52_419.hpp"

namespace {

using pxr52::CodedAlarm;
using pxr52::Prefixed;

// Per AC channel whose user alarm count equals its capacity (only with has_ac).
const CodedAlarm kAcRules[] = {
    {"GWE37TAC_AC_4", "06016", "输入告警", "系统停电告警", Prefixed::text1, 4, 0x84, 1, true},
    {"GWE37TAC_AC_0", "06022", "输入告警", "防雷器故障告警", Prefixed::text1, 0, 0x81, 1, true},
};

// Per rectifier that reported all seven alarm bytes, whatever has_ac says.
const CodedAlarm kRcRules[] = {
    {"GWE37TAC_RC_0", "06029", "其他告警", "DC过压", Prefixed::text2, 0, 0x80, 4, true},
    {"GWE37TAC_RC_1", "06029", "其他告警", "AC过压", Prefixed::text2, 1, 0x81, 3, true},
    {"GWE37TAC_RC_2", "06029", "其他告警", "风扇故障", Prefixed::text2, 2, 0x82, 4, false},
    {"GWE37TAC_RC_3", "06029", "其他告警", "整流器模块过温", Prefixed::text2, 3, 0x83, 2, false},
    {"GWE37TAC_RC_4", "06029", "其他告警", "DC过流", Prefixed::text2, 4, 0x84, 2, false},
    {"GWE37TAC_RC_5", "06029", "其他告警", "通信故障", Prefixed::text2, 5, 0x85, 2, false},
    {"GWE37TAC_RC_6", "06029", "其他告警", "AC欠压", Prefixed::text2, 6, 0x86, 2, false},
};

// First screen's user-defined DC alarm bytes (only with has_dc).
const CodedAlarm kDcRules[] = {
    {"R905_DC_0", "06029", "其他告警", "一次下电报警", Prefixed::none, 0, 0x80, 2, true},
    {"R905_DC_1", "06029", "其他告警", "二次下电报警", Prefixed::none, 1, 0x81, 2, true},
    {"R905_DC_2", "06029", "其他告警", "电保报警", Prefixed::none, 2, 0x82, 2, true},
    {"R905_DC_3", "06029", "其他告警", "三次下电报警", Prefixed::none, 3, 0x83, 2, true},
    {"R905_DC_4", "06029", "其他告警", "四次下电报警", Prefixed::none, 4, 0x84, 2, true},
};

}  // namespace

void pxr52_419::run_model_rules_other() {
    pxr52::CodedAlarmTexts texts;
    if (has_ac) {
        const int channels = pxr52::bounded_count(data.channel_count, CHANNEL_MAX);
        for (int k = 0; k < channels; ++k) {
            const acChannel_t& ch = data.acChannel[k];
            if (ch.p40_44_count != p40_44_SIZE) continue;
            const std::string prefix = pxr52::ac_prefix(k);
            for (const CodedAlarm& row : kAcRules)
                pxr52::raise_coded(*this, row, prefix, pxr52::ac_user_alarm(ch, row.byte), texts);
        }
    }
    const int modules = pxr52::bounded_count(data.rc_count, RC_MAX);
    for (int l = 0; l < modules; ++l) {
        const rcChannel_t& rc = data.rcChannel[l];
        if (rc.p41_44_count != P41_44_SIZE) continue;
        const std::string prefix = pxr52::module_prefix(l);
        for (const CodedAlarm& row : kRcRules)
            pxr52::raise_coded(*this, row, prefix, pxr52::rc_user_alarm(rc, row.byte), texts);
    }
    if (has_dc) {
        for (const CodedAlarm& row : kDcRules)
            pxr52::raise_coded(*this, row, std::string(),
                               pxr52::dc_user_alarm(data.dc(0), row.byte), texts);
    }
}
