// Model rules of mode 1: AC distribution and rectifier extra alarms, fixed
// keys and levels, counted with the alarm sequence counter.
#include "alarm/coded_alarm.hpp"
#include "alarm/rule_text.hpp"
#include "device/pxr52_419.hpp"

namespace {

using pxr52::CodedAlarm;
using pxr52::Prefixed;

// Per AC channel (only with has_ac); byte k of the channel's AC alarm bytes.
const CodedAlarm kAcRules[] = {
    {"GWE37TAC_AC_0", "419410901", "输入告警", "防雷器故障告警", Prefixed::text1, 0, 0x81, 1, true},
    {"GWE37TAC_AC_1", "419400201", "输入告警", "交流屏通讯中断", Prefixed::text1, 1, 0x81, 1, true},
    {"GWE37TAC_AC_2", "419410701", "输入告警", "交流输入空开跳", Prefixed::text1, 2, 0x81, 1, true},
    {"GWE37TAC_AC_3", "419410701", "其他告警", "交流输出空开跳", Prefixed::text1, 3, 0x81, 1, true},
    {"GWE37TAC_AC_4", "419415001", "输入告警", "交流输入1停电告警", Prefixed::text1, 4, 0x84, 1, true},
    {"GWE37TAC_AC_5", "419415001", "输入告警", "交流输入2停电告警", Prefixed::text1, 4, 0x81, 1, true},
    {"GWE37TAC_AC_6", "419415001", "输入告警", "交流输入3停电告警", Prefixed::text1, 5, 0x81, 1, true},
    {"GWE37TAC_AC_7", "419400101", "输入告警", "市电切换失败故障告警", Prefixed::text1, 6, 0x81, 1, true},
};

// Per rectifier, whatever has_ac says. Byte 7 lies beyond the seven alarm
// bytes a rectifier holds, so "GWE37TAC_RC_7" always reports inactive.
const CodedAlarm kRcRules[] = {
    {"GWE37TAC_RC_0", "419430501", "整流模块通信状态告警", "模块通讯中断告警状态", Prefixed::text2, 0, 0x80, 4, true},
    {"GWE37TAC_RC_1", "419430501", "整流模块故障告警", "模块故障告警状态", Prefixed::text2, 1, 0x81, 3, true},
    {"GWE37TAC_RC_7", "419240403", "整流模块温度过高告警", "模块过温告警状态", Prefixed::text2, 7, 0x87, 3, false},
};

}  // namespace

void pxr52_419::run_model_rules_mode1() {
    pxr52::CodedAlarmTexts texts;
    if (has_ac) {
        const int channels = pxr52::bounded_count(data.channel_count, CHANNEL_MAX);
        for (int i = 0; i < channels; ++i) {
            const std::string prefix = pxr52::ac_prefix(i);
            for (const CodedAlarm& row : kAcRules)
                pxr52::raise_coded(*this, row, prefix,
                                   pxr52::ac_user_alarm(data.acChannel[i], row.byte), texts);
        }
    }
    const int modules = pxr52::bounded_count(data.rc_count, RC_MAX);
    for (int j = 0; j < modules; ++j) {
        const std::string prefix = pxr52::module_prefix(j);
        for (const CodedAlarm& row : kRcRules)
            pxr52::raise_coded(*this, row, prefix,
                               pxr52::rc_user_alarm(data.rcChannel[j], row.byte), texts);
    }
}
