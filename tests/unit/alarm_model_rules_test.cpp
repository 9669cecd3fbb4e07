// The model's own rules in each threshold mode: exact keys, ids, texts,
// levels, counter values and order, and what they must not read.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "alarm_test_support.hpp"
#include "support/test_device.hpp"

namespace {

using alarm_test::describe;
using smdhost::HostEvent;
using testing_support::CoutCapture;
using testing_support::RecordedDevice;
using testing_support::SimClock;
using Calls = std::vector<std::string>;

// The model rules' calls of one RunCheckThreshold, with the counter
// starting at 1 as RoundDone leaves it.
Calls run_model_rules(RecordedDevice& r) {
    r.log.clear();
    r.dev.alarm_seq = 1;
    r.dev.RunCheckThreshold();
    Calls out;
    for (const auto& e : r.events(HostEvent::Kind::alarm)) {
        const bool model = e.key.rfind("GWE37TAC_", 0) == 0 || e.key.rfind("R905_", 0) == 0 ||
                           e.id.rfind("12060004", 0) == 0 || e.id.rfind("12060048", 0) == 0;
        if (model) out.push_back(describe(e));
    }
    return out;
}

void fill(unsigned char* bytes, std::size_t n, unsigned char v) { std::memset(bytes, v, n); }

const Calls kMode1OneChannelOneModule = {
    "alarm 1 GWE37TAC_AC_0 419410901 第1路交流输入-输入告警 防雷器故障告警 off 1",
    "alarm 1 GWE37TAC_AC_1 419400201 第1路交流输入-输入告警 交流屏通讯中断 off 2",
    "alarm 1 GWE37TAC_AC_2 419410701 第1路交流输入-输入告警 交流输入空开跳 off 3",
    "alarm 1 GWE37TAC_AC_3 419410701 第1路交流输入-其他告警 交流输出空开跳 off 4",
    "alarm 1 GWE37TAC_AC_4 419415001 第1路交流输入-输入告警 交流输入1停电告警 off 5",
    "alarm 1 GWE37TAC_AC_5 419415001 第1路交流输入-输入告警 交流输入2停电告警 off 6",
    "alarm 1 GWE37TAC_AC_6 419415001 第1路交流输入-输入告警 交流输入3停电告警 off 7",
    "alarm 1 GWE37TAC_AC_7 419400101 第1路交流输入-输入告警 市电切换失败故障告警 off 8",
    "alarm 4 GWE37TAC_RC_0 419430501 整流模块通信状态告警 模块1模块通讯中断告警状态 on 9",
    "alarm 3 GWE37TAC_RC_1 419430501 整流模块故障告警 模块1模块故障告警状态 on 10",
    "alarm 3 GWE37TAC_RC_7 419240403 整流模块温度过高告警 模块1模块过温告警状态 off 11",
};

TEST(ModelRulesMode1, OneChannelOneModuleCountsOneToEleven) {
    RecordedDevice r;
    r.dev.b_mode = 1;
    r.dev.data.channel_count = 1;
    r.dev.data.rc_count = 1;
    r.dev.data.rcChannel[0].p41_44[0] = 0x80;
    r.dev.data.rcChannel[0].p41_44[1] = 0x81;
    r.dev.data.rcChannel[0].p41_44[6] = 0x87;
    r.dev.data.rcChannel[1].i.b[0] = 0x87;  // the byte just past the seven: not an alarm byte
    EXPECT_EQ(run_model_rules(r), kMode1OneChannelOneModule);
    EXPECT_EQ(r.dev.alarm_seq, 11);
}

// The bytes after each AC channel belong to the next channel's voltages and
// to the rectifier block: alarm codes there are readings, not alarms.
TEST(ModelRulesMode1, VoltagesAreNeverTakenForAcAlarmCodes) {
    RecordedDevice r;
    r.dev.b_mode = 1;
    pxr52_419_Data_t& d = r.dev.data;
    d.channel_count = 2;
    fill(d.acChannel[1].a.b, 4, 0x81);
    d.acChannel[1].b.b[0] = 0x84;
    d.acChannel[1].b.b[1] = 0x81;
    d.acChannel[1].b.b[2] = 0x81;
    fill(d.rc_v.b, 4, 0x81);
    d.rc_count = 0;
    const Calls calls = run_model_rules(r);
    ASSERT_EQ(calls.size(), 16u);
    for (const std::string& c : calls) EXPECT_NE(c.find(" off "), std::string::npos) << c;
    EXPECT_EQ(calls[8], "alarm 1 GWE37TAC_AC_0 419410901 第2路交流输入-输入告警 防雷器故障告警 off 9");
    EXPECT_EQ(r.dev.alarm_seq, 17);
}

TEST(ModelRulesMode1, RectifierRulesRunWithoutAcAndStopAtCapacity) {
    RecordedDevice r;
    r.dev.b_mode = 1;
    r.dev.has_ac = 0;
    r.dev.data.channel_count = 2;
    r.dev.data.rc_count = 0x84;  // more than the record holds
    const Calls calls = run_model_rules(r);
    ASSERT_EQ(calls.size(), 3u * 40u);
    EXPECT_EQ(calls.back(), "alarm 3 GWE37TAC_RC_7 419240403 整流模块温度过高告警 模块40模块过温告警状态 off 81");
    EXPECT_EQ(r.dev.alarm_seq, 81);
}

TEST(ModelRulesMode1, RoundDoneStartsTheCounterAtOneEveryRound) {
    SimClock clock;
    CoutCapture out;
    RecordedDevice r;
    pxr52_419_Data_t rec{};
    rec.channel_count = 1;
    rec.rc_count = 1;
    rec.rcChannel[0].p41_44[0] = 0x80;
    rec.rcChannel[0].p41_44[1] = 0x81;
    for (int round = 0; round < 2; ++round) {
        r.log.clear();
        ASSERT_EQ(r.dev.LoadFromCache(rec.bytes(), 1257), 1);
        Calls calls;
        for (const auto& e : r.events(HostEvent::Kind::alarm))
            if (e.key.rfind("GWE37TAC_", 0) == 0) calls.push_back(describe(e));
        EXPECT_EQ(calls, kMode1OneChannelOneModule);
    }
}

struct OtherMode : ::testing::Test {
    RecordedDevice r;
    OtherMode() {
        r.dev.b_mode = 5;
        pxr52_419_Data_t& d = r.dev.data;
        d.channel_count = 1;
        d.rc_count = 1;
        d.rcChannel[0].p41_44_count = 7;
        const unsigned char codes[7] = {0x80, 0x00, 0x82, 0x00, 0x83, 0x00, 0x86};
        std::memcpy(d.rcChannel[0].p41_44, codes, 7);
        const unsigned char dc_codes[5] = {0x80, 0x80, 0x00, 0x00, 0x84};
        std::memcpy(d.dc(0).alert_p, dc_codes, 5);
        d.dc(1).alert_p[1] = 0x81;  // the second screen's bytes are not read
    }
};

TEST_F(OtherMode, SequenceAndCounterValues) {
    const Calls expected = {
        "alarm 1 GWE37TAC_AC_4 06016 第1路交流输入-输入告警 系统停电告警 off 1",
        "alarm 1 GWE37TAC_AC_0 06022 第1路交流输入-输入告警 防雷器故障告警 off 2",
        "alarm 4 GWE37TAC_RC_0 06029 其他告警 模块1DC过压 on 3",
        "alarm 3 GWE37TAC_RC_1 06029 其他告警 模块1AC过压 off 4",
        "alarm 4 GWE37TAC_RC_2 06029 其他告警 模块1风扇故障 on 5",
        "alarm 2 GWE37TAC_RC_3 06029 其他告警 模块1整流器模块过温 off 5",
        "alarm 2 GWE37TAC_RC_4 06029 其他告警 模块1DC过流 off 5",
        "alarm 2 GWE37TAC_RC_5 06029 其他告警 模块1通信故障 off 5",
        "alarm 2 GWE37TAC_RC_6 06029 其他告警 模块1AC欠压 on 5",
        "alarm 2 R905_DC_0 06029 其他告警 一次下电报警 on 5",
        "alarm 2 R905_DC_1 06029 其他告警 二次下电报警 off 6",
        "alarm 2 R905_DC_2 06029 其他告警 电保报警 off 7",
        "alarm 2 R905_DC_3 06029 其他告警 三次下电报警 off 8",
        "alarm 2 R905_DC_4 06029 其他告警 四次下电报警 on 9",
    };
    for (int mode : {5, 0, 4}) {
        SCOPED_TRACE(mode);
        r.dev.b_mode = mode;
        EXPECT_EQ(run_model_rules(r), expected);
        EXPECT_EQ(r.dev.alarm_seq, 10);
    }
}

TEST_F(OtherMode, IncompleteAlarmBlocksAndSwitchesSkipTheirRules) {
    r.dev.data.acChannel[0].p40_44_count = 1;
    r.dev.data.rcChannel[0].p41_44_count = 6;
    r.dev.has_dc = 0;
    EXPECT_TRUE(run_model_rules(r).empty());
    EXPECT_EQ(r.dev.alarm_seq, 1);

    r.dev.has_ac = 0;
    r.dev.data.acChannel[0].p40_44_count = 0;
    r.dev.data.rcChannel[0].p41_44_count = 7;
    r.dev.data.rc_count = 255;  // only the first module reported its block
    const Calls calls = run_model_rules(r);
    ASSERT_EQ(calls.size(), 7u);
    EXPECT_EQ(calls[0], "alarm 4 GWE37TAC_RC_0 06029 其他告警 模块1DC过压 on 1");
}

TEST(ModelRulesMode2, RectifierLinesAndLevelledCalls) {
    RecordedDevice r;
    r.dev.b_mode = 2;
    r.dev.has_ac = r.dev.has_dc = 0;
    r.dev.data.rc_count = 2;
    r.dev.data.rcChannel[0].p41_44[0] = 0x80;
    r.dev.data.rcChannel[1].p41_44[0] = 0x81;
    r.dev.level_map["120600040020"] = 2;
    CoutCapture out;
    const Calls expected = {
        "alarm 2 120600040020 120600040020 1 002#48V整流模块通信状态告警 off 1",
    };
    EXPECT_EQ(run_model_rules(r), expected);
    EXPECT_EQ(out.text(),
              "rc 0 p41_44[0]:128 key:120600040010 level:0 ret:1\n"
              "rc 1 p41_44[0]:129 key:120600040020 level:2 ret:0\n");
    EXPECT_EQ(r.dev.level_map.count("120600040010"), 1u);
}

TEST(ModelRulesMode2, BatteryFusesRunWhateverTheDcSwitchesSay) {
    RecordedDevice r;
    r.dev.b_mode = 2;
    r.dev.has_ac = r.dev.has_dc = 0;
    r.dev.dc_number = 0;
    r.dev.data.dc(0).alert_m[1] = 1;
    r.dev.data.dc(1).alert_m[0] = 0xFF;
    for (const char* id : {"120600480010", "120600480020", "120600480030", "120600480040"})
        r.dev.level_map[id] = 3;
    const Calls expected = {
        "alarm 3 120600480010 120600480010 1 直流屏1 001#电池熔丝故障告警 off 1",
        "alarm 3 120600480020 120600480020 1 直流屏1 002#电池熔丝故障告警 on 1",
        "alarm 3 120600480030 120600480030 1 直流屏2 001#电池熔丝故障告警 on 1",
        "alarm 3 120600480040 120600480040 1 直流屏2  002#电池熔丝故障告警 off 1",
    };
    EXPECT_EQ(run_model_rules(r), expected);
    r.dev.level_map["120600480030"] = 0;
    EXPECT_EQ(run_model_rules(r).size(), 3u);
}

TEST(ModelRulesMode3, NoRuleSetMakesAnyCall) {
    RecordedDevice r;
    r.dev.b_mode = 3;
    r.dev.data.channel_count = 2;
    r.dev.data.rc_count = 3;
    r.dev.data.rcChannel[0].p41_44_count = 7;
    r.dev.level_map["120600040010"] = 1;
    CoutCapture out;
    r.dev.RunCheckThreshold();
    EXPECT_TRUE(r.log.events.empty());
    EXPECT_EQ(out.text(), "");
}

}  // namespace
