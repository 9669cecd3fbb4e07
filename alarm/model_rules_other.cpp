// Model rules of every mode other than 1, 2 and 3: AC, rectifier and DC
// extra alarms under the short ids "06016", "06022" and "06029".
#include "alarm/coded_alarm.hpp"
#include "alarm/rule_text.hpp"
#include "device/pxr52_419.hpp"

namespace {

using pxr52::CodedAlarm;
using pxr52::model_rules::kOtherAcRules;
using pxr52::model_rules::kOtherDcRules;
using pxr52::model_rules::kOtherRcRules;

}  // namespace

void pxr52_419::run_model_rules_other() {
    pxr52::CodedAlarmTexts texts;
    if (has_ac) {
        const int channels = pxr52::bounded_count(data.channel_count, CHANNEL_MAX);
        for (int k = 0; k < channels; ++k) {
            const acChannel_t& ch = data.acChannel[k];
            if (ch.p40_44_count != p40_44_SIZE) continue;
            const std::string prefix = pxr52::ac_prefix(k);
            for (const CodedAlarm& row : kOtherAcRules)
                pxr52::raise_coded(*this, row, prefix, pxr52::ac_user_alarm(ch, row.byte), texts);
        }
    }
    const int modules = pxr52::bounded_count(data.rc_count, RC_MAX);
    for (int l = 0; l < modules; ++l) {
        const rcChannel_t& rc = data.rcChannel[l];
        if (rc.p41_44_count != P41_44_SIZE) continue;
        const std::string prefix = pxr52::module_prefix(l);
        for (const CodedAlarm& row : kOtherRcRules)
            pxr52::raise_coded(*this, row, prefix, pxr52::rc_user_alarm(rc, row.byte), texts);
    }
    if (has_dc) {
        for (const CodedAlarm& row : kOtherDcRules)
            pxr52::raise_coded(*this, row, std::string(),
                               pxr52::dc_user_alarm(data.dc(0), row.byte), texts);
    }
}
