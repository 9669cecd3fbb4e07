// The tables of the power-system rule sets (modes 1 and 2): every id, key,
// text and level they pass to the host. The rules walk the tables in the
// order written, which is the call order the host sees. smdhost's signal
// catalogue reads the same tables, so what it lists is what the rules send.
//
// Header-only constants with internal linkage and no host types: each
// translation unit that includes it gets its own copy of the few rows.
#pragma once

#include "alarm/rule_text.hpp"

namespace pxr52 {
namespace power_rules {

// ---- mode 1 ----------------------------------------------------------------

// Mains failure, raised once per round with has_ac: active when no AC
// channel has every present phase above 120 V.
struct FixedAlarm {
    int level;
    const char* key;
    const char* id;
    const char* text1;
    const char* text2;
    unsigned count;
};

constexpr FixedAlarm kMainsFailure = {1, "PowerOff", "419415001", "输入电源中断告警",
                                      "输入电源中断告警", 100};

enum class AcValue { a, b, c, f };

// One AC analog check: CheckThreshold(check id) then CheckAOReport(template
// id, report id). Ids by family: [0] phase-voltage ids (ac_type 0),
// [1] line-voltage ids (any other ac_type); frequency ids are the same in both.
struct AcCheck {
    AcValue value;
    const char* check_id[2];
    const char* template_id[2];
    const char* report_id[2];
};

constexpr AcCheck kFirstInput[] = {
    {AcValue::a, {"419610401001", "419610801001"}, {"419610401001", "419610801001"}, {"419110100001", "419110500001"}},
    {AcValue::b, {"419610401002", "419610801002"}, {"419610401001", "419610801001"}, {"419110200001", "419110600001"}},
    {AcValue::c, {"419610401003", "419610801003"}, {"419610401001", "419610801001"}, {"419110300001", "419110700001"}},
    {AcValue::f, {"419613901001", "419613901001"}, {"419613901001", "419613901001"}, {"419113900001", "419113900001"}},
};

constexpr AcCheck kSecondInput[] = {
    {AcValue::a, {"419610401004", "419610801004"}, {"419610401001", "419610801001"}, {"419110100002", "419110500002"}},
    {AcValue::b, {"419610401005", "419610801005"}, {"419610401001", "419610801001"}, {"419110200002", "419110600002"}},
    {AcValue::c, {"419610401006", "419610801006"}, {"419610401001", "419610801001"}, {"419110300002", "419110700002"}},
    {AcValue::f, {"419613901002", "419613901002"}, {"419613901001", "419613901001"}, {"419113900002", "419113900002"}},
};

enum class DcValue { i, v };

struct DcCheck {
    int screen;
    DcValue value;
    const char* check_id;
    const char* template_id;
    const char* report_id;
};

// The second screen's rows run only when dc_number > 1.
constexpr DcCheck kDcChecks[] = {
    {0, DcValue::i, "419620401001", "419620401001", "419120400001"},
    {0, DcValue::v, "419620301001", "419620301001", "419120300001"},
    {1, DcValue::i, "419620401002", "419620401001", "419120400002"},
    {1, DcValue::v, "419620301002", "419620301001", "419120300002"},
};

// Rectifier module fault, per module: id = head + three-digit module number
// (419430501001 for the first), which is also the key and text1.
struct ModuleFault {
    const char* id_head;
    const char* text2;
    int level;
};

constexpr ModuleFault kModuleFault = {"419430501", "模块故障告警", 1};

// ---- mode 2 ----------------------------------------------------------------
// Every rule passes its id as key and id, its level from the host's level
// map, and count 1.

// Group A: AC input.
enum class AcRule { volts_high, volts_low, mains_cut, freq_high, freq_low };

struct AcRow {
    const char* id;
    const char* text2;
    AcRule rule;
};

constexpr AcRow kAcRows[] = {
    {"220600120010", "001#48V直流系统交流输入电压过高告警", AcRule::volts_high},
    {"220600130010", "001#48V直流系统交流输入电压过低告警", AcRule::volts_low},
    {"220600140010", "001#48V直流系统交流输入停电告警", AcRule::mains_cut},
    {"220600160010", "001#48V直流系统交流输入频率过高告警", AcRule::freq_high},
    {"220600170010", "001#48V直流系统交流输入频率过低告警", AcRule::freq_low},
};

// The frequency rows: their text1 is the frequency text, and they compare
// against the host's threshold map (the voltage rows use fixed limits).
constexpr bool is_frequency_rule(AcRule rule) {
    return rule == AcRule::freq_high || rule == AcRule::freq_low;
}

// Group B: rectifier run alarm, two ids per module with one state and one
// text: the zero-padded module number followed by kRunText.
constexpr NumberedId kRunIds[] = {{"12060069", "0"}, {"12060002", "0"}};
constexpr char kRunText1[] = "1";
constexpr char kRunText[] = "#48V整流模块运行告警";

// Group C: DC voltage of one screen against its threshold, then its load
// fuses: id kFuseId with the fuse number (counted on from
// `first_fuse_number`), text2 `screen_text` + three-digit fuse number of the
// screen + kFuseText.
struct DcVoltRow {
    const char* id;
    const char* text2;
    bool above;  // active when dc_v > θ, else when dc_v < θ
};

struct ScreenRules {
    DcVoltRow volts[3];
    const char* screen_text;
    int first_fuse_number;
};

constexpr NumberedId kFuseId = {"12060047", "0"};
constexpr char kFuseText1[] = "1";
constexpr char kFuseText[] = "负载熔丝故障告警";

// The second screen runs only when dc_number > 1. Its fuse ids go on at 019
// while its texts restart at 001.
constexpr ScreenRules kScreens[] = {
    {{{"210600320010", "48V直流系统直流总电压过低告警", false},
      {"210600330010", "48V直流系统直流总电压超低告警", false},
      {"210600340010", "直流总电压过高告警", true}},
     "直流屏1",
     1},
    {{{"210600320020", "直流屏2 48V直流系统直流总电压过低告警", false},
      {"210600330020", "直流屏2 8V直流系统直流总电压超低告警", false},
      {"210600340020", "直流屏2 直流总电压过高告警", true}},
     "直流屏2",
     19},
};

}  // namespace power_rules
}  // namespace pxr52
