// Model rules of mode 1: AC distribution and rectifier extra alarms, fixed
// keys and levels, counted with the alarm sequence counter.
#include "alarm/coded_alarm.hpp"
#include "alarm/rule_text.hpp"
#include "device/pxr52_419.hpp"

namespace {

using pxr52::CodedAlarm;
using pxr52::model_rules::kMode1AcRules;
using pxr52::model_rules::kMode1RcRules;

}  // namespace

void pxr52_419::run_model_rules_mode1() {
    pxr52::CodedAlarmTexts texts;
    if (has_ac) {
        const int channels = pxr52::bounded_count(data.channel_count, CHANNEL_MAX);
        for (int i = 0; i < channels; ++i) {
            const std::string prefix = pxr52::ac_prefix(i);
            for (const CodedAlarm& row : kMode1AcRules)
                pxr52::raise_coded(*this, row, prefix,
                                   pxr52::ac_user_alarm(data.acChannel[i], row.byte), texts);
        }
    }
    const int modules = pxr52::bounded_count(data.rc_count, RC_MAX);
    for (int j = 0; j < modules; ++j) {
        const std::string prefix = pxr52::module_prefix(j);
        for (const CodedAlarm& row : kMode1RcRules)
            pxr52::raise_coded(*this, row, prefix,
                               pxr52::rc_user_alarm(data.rcChannel[j], row.byte), texts);
    }
}
