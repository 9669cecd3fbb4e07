// The tables of the model's own rules (modes 1, 2 and every other mode):
// every key, id, text, alarm code and level they pass to the host. The rules
// walk the tables in the order written, which is the call order (and with
// it the alarm sequence counter) the host sees. smdhost's signal catalogue
// reads the same tables, so what it lists is what the rules send.
//
// Header-only constants with internal linkage and no host types.
#pragma once

#include "alarm/rule_text.hpp"

namespace pxr52 {

enum class Prefixed { text1, text2, none };

// One row of a coded-alarm table: active when alarm byte `byte` holds
// `code`. `advance`: pass the alarm sequence counter, then increase it;
// otherwise pass it unchanged.
struct CodedAlarm {
    const char* key;
    const char* id;
    const char* text1;
    const char* text2;
    Prefixed prefixed;  // which text the channel/module prefix goes in front of
    int byte;
    int code;
    int level;
    bool advance;
};

namespace model_rules {

// ---- mode 1 ----------------------------------------------------------------

// Per AC channel (only with has_ac); byte k of the channel's AC alarm bytes.
constexpr CodedAlarm kMode1AcRules[] = {
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
constexpr CodedAlarm kMode1RcRules[] = {
    {"GWE37TAC_RC_0", "419430501", "整流模块通信状态告警", "模块通讯中断告警状态", Prefixed::text2, 0, 0x80, 4, true},
    {"GWE37TAC_RC_1", "419430501", "整流模块故障告警", "模块故障告警状态", Prefixed::text2, 1, 0x81, 3, true},
    {"GWE37TAC_RC_7", "419240403", "整流模块温度过高告警", "模块过温告警状态", Prefixed::text2, 7, 0x87, 3, false},
};

// ---- mode 2 ----------------------------------------------------------------
// Graded by the host's level map (level 0 or no entry: no call); key and id
// are the id, count 1.

// Rectifier communication alarm per module: text2 is the zero-padded module
// number followed by kCommText; active when user alarm byte 0 holds kCommCode.
constexpr NumberedId kCommId = {"12060004", "0"};
constexpr char kCommText1[] = "1";
constexpr char kCommText[] = "#48V整流模块通信状态告警";
constexpr unsigned char kCommCode = 0x80;

// Battery fuse states: the first two fuse/branch alarm bytes of each screen,
// checked whatever has_dc and dc_number say.
struct BatteryFuse {
    const char* id;
    const char* text2;
    int screen;
    int byte;
};

constexpr char kBatteryFuseText1[] = "1";

constexpr BatteryFuse kBatteryFuses[] = {
    {"120600480010", "直流屏1 001#电池熔丝故障告警", 0, 0},
    {"120600480020", "直流屏1 002#电池熔丝故障告警", 0, 1},
    {"120600480030", "直流屏2 001#电池熔丝故障告警", 1, 0},
    {"120600480040", "直流屏2  002#电池熔丝故障告警", 1, 1},
};

// ---- every mode other than 1, 2 and 3 ---------------------------------------

// Per AC channel whose user alarm count equals its capacity (only with has_ac).
constexpr CodedAlarm kOtherAcRules[] = {
    {"GWE37TAC_AC_4", "06016", "输入告警", "系统停电告警", Prefixed::text1, 4, 0x84, 1, true},
    {"GWE37TAC_AC_0", "06022", "输入告警", "防雷器故障告警", Prefixed::text1, 0, 0x81, 1, true},
};

// Per rectifier that reported all seven alarm bytes, whatever has_ac says.
constexpr CodedAlarm kOtherRcRules[] = {
    {"GWE37TAC_RC_0", "06029", "其他告警", "DC过压", Prefixed::text2, 0, 0x80, 4, true},
    {"GWE37TAC_RC_1", "06029", "其他告警", "AC过压", Prefixed::text2, 1, 0x81, 3, true},
    {"GWE37TAC_RC_2", "06029", "其他告警", "风扇故障", Prefixed::text2, 2, 0x82, 4, false},
    {"GWE37TAC_RC_3", "06029", "其他告警", "整流器模块过温", Prefixed::text2, 3, 0x83, 2, false},
    {"GWE37TAC_RC_4", "06029", "其他告警", "DC过流", Prefixed::text2, 4, 0x84, 2, false},
    {"GWE37TAC_RC_5", "06029", "其他告警", "通信故障", Prefixed::text2, 5, 0x85, 2, false},
    {"GWE37TAC_RC_6", "06029", "其他告警", "AC欠压", Prefixed::text2, 6, 0x86, 2, false},
};

// First screen's user-defined DC alarm bytes (only with has_dc).
constexpr CodedAlarm kOtherDcRules[] = {
    {"R905_DC_0", "06029", "其他告警", "一次下电报警", Prefixed::none, 0, 0x80, 2, true},
    {"R905_DC_1", "06029", "其他告警", "二次下电报警", Prefixed::none, 1, 0x81, 2, true},
    {"R905_DC_2", "06029", "其他告警", "电保报警", Prefixed::none, 2, 0x82, 2, true},
    {"R905_DC_3", "06029", "其他告警", "三次下电报警", Prefixed::none, 3, 0x83, 2, true},
    {"R905_DC_4", "06029", "其他告警", "四次下电报警", Prefixed::none, 4, 0x84, 2, true},
};

}  // namespace model_rules
}  // namespace pxr52
