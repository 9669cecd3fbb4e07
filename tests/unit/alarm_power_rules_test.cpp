// The power-system rule sets: the exact host calls of mode 1 and mode 2,
// their boundaries, and loops bounded by the record whatever its counts say.
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "alarm_test_support.hpp"
#include "support/test_device.hpp"

namespace {

using alarm_test::rule_calls;
using smdhost::HostEvent;
using testing_support::CoutCapture;
using testing_support::RecordedDevice;
using Calls = std::vector<std::string>;

void set_input(acChannel_t& ch, float a, float b, float c, float f) {
    ch.a.set(a);
    ch.b.set(b);
    ch.c.set(c);
    ch.f.set(f);
}

// The power-system rules alone (the model's own rules are tested apart).
Calls run_power_rules(RecordedDevice& r) {
    r.log.clear();
    r.dev.PowerDevice::RunCheckThreshold();
    return rule_calls(r.log);
}

// ---- mode 1 ----

struct Mode1 : ::testing::Test {
    RecordedDevice r;
    Mode1() {
        r.dev.b_mode = 1;
        set_input(r.dev.data.acChannel[0], 220.5f, 221.0f, 219.75f, 50.0f);
        set_input(r.dev.data.acChannel[1], 230.0f, 231.0f, 232.0f, 49.5f);
        r.dev.data.channel_count = 2;
        r.dev.data.dc(0).dc_v.set(53.5f);
        r.dev.data.dc(0).dc_i.set(12.25f);
        r.dev.data.dc(1).dc_v.set(54.0f);
        r.dev.data.dc(1).dc_i.set(3.0f);
    }
};

TEST_F(Mode1, FirstInputAndOneScreenInTableOrder) {
    r.dev.data.rc_count = 2;
    r.dev.data.rcChannel[1].fault = 0x80;
    const Calls expected = {
        "alarm 1 PowerOff 419415001 输入电源中断告警 输入电源中断告警 off 100",
        "threshold 419610401001 '' 220.5 1",
        "threshold 419610401002 '' 221 1",
        "threshold 419610401003 '' 219.75 1",
        "threshold 419613901001 '' 50 1",
        "threshold 419620401001 '' 12.25 1",
        "threshold 419620301001 '' 53.5 1",
        "alarm 1 419430501001 419430501001 419430501001 模块故障告警 off 1",
        "alarm 1 419430501002 419430501002 419430501002 模块故障告警 on 1",
    };
    EXPECT_EQ(run_power_rules(r), expected);
}

TEST_F(Mode1, ReportsGoUnderSignalIdsWithTheFirstInputsSettings) {
    r.dev.ac_line = 0;
    r.dev.dc_number = 2;
    SMDVDevice::BAOSetting always;
    always.period_enable = true;
    always.period_min = -1.0f;
    always.last_time = 0;
    always.last_value = 0.0f;
    for (const char* t : {"419610401001", "419613901001", "419620401001", "419620301001"})
        r.dev.bao_map[t] = always;
    testing_support::SimClock clock;
    std::vector<std::string> reports;
    run_power_rules(r);
    for (const auto& e : r.events(HostEvent::Kind::report)) reports.push_back(e.id);
    const std::vector<std::string> expected = {
        "419110100001", "419110200001", "419110300001", "419110100002", "419110200002",
        "419110300002", "419113900001", "419113900002", "419120400001", "419120300001",
        "419120400002", "419120300002",
    };
    EXPECT_EQ(reports, expected);
}

TEST_F(Mode1, BothInputsReportPhasesFirstThenFrequencies) {
    for (int line : {0, 3}) {
        SCOPED_TRACE(line);
        r.dev.ac_line = line;
        r.dev.ac_type = 1;  // line-voltage ids; frequency ids unchanged
        r.dev.has_dc = 0;
        const Calls expected = {
            "alarm 1 PowerOff 419415001 输入电源中断告警 输入电源中断告警 off 100",
            "threshold 419610801001 '' 220.5 1",
            "threshold 419610801002 '' 221 1",
            "threshold 419610801003 '' 219.75 1",
            "threshold 419610801004 '' 230 1",
            "threshold 419610801005 '' 231 1",
            "threshold 419610801006 '' 232 1",
            "threshold 419613901001 '' 50 1",
            "threshold 419613901002 '' 49.5 1",
        };
        EXPECT_EQ(run_power_rules(r), expected);
    }
}

TEST_F(Mode1, SecondInputAloneUsesTheFirstInputsIds) {
    r.dev.ac_line = 2;
    r.dev.has_b = 0;
    r.dev.has_dc = 0;
    const Calls expected = {
        "alarm 1 PowerOff 419415001 输入电源中断告警 输入电源中断告警 off 100",
        "threshold 419610401001 '' 230 1",
        "threshold 419610401003 '' 232 1",
        "threshold 419613901001 '' 49.5 1",
    };
    EXPECT_EQ(run_power_rules(r), expected);
}

TEST_F(Mode1, SecondScreenOnlyWithTwoReported) {
    r.dev.has_ac = 0;
    r.dev.dc_number = 2;
    const Calls expected = {
        "threshold 419620401001 '' 12.25 1", "threshold 419620301001 '' 53.5 1",
        "threshold 419620401002 '' 3 1",     "threshold 419620301002 '' 54 1",
    };
    EXPECT_EQ(run_power_rules(r), expected);
    r.dev.dc_number = 1;
    EXPECT_EQ(run_power_rules(r).size(), 2u);
}

TEST_F(Mode1, MainsFailureNeedsEveryPresentPhaseAbove120) {
    auto power_off = [this]() { return run_power_rules(r).at(0).find(" on ") != std::string::npos; };
    r.dev.data.channel_count = 1;
    set_input(r.dev.data.acChannel[0], 120.0f, 230.0f, 230.0f, 50.0f);
    set_input(r.dev.data.acChannel[1], 230.0f, 230.0f, 230.0f, 50.0f);  // not scanned
    EXPECT_TRUE(power_off());
    r.dev.data.acChannel[0].a.set(std::nextafter(120.0f, 200.0f));
    EXPECT_FALSE(power_off());
    r.dev.data.acChannel[0].c.set(std::numeric_limits<float>::quiet_NaN());
    EXPECT_TRUE(power_off());
    r.dev.has_c = 0;  // an absent phase does not count
    EXPECT_FALSE(power_off());
    r.dev.has_a = r.dev.has_b = 0;
    r.dev.data.acChannel[0].a.set(0.0f);
    EXPECT_FALSE(power_off());
    r.dev.data.channel_count = 0;  // no channel can be powered
    EXPECT_TRUE(power_off());
    r.dev.data.channel_count = 2;
    set_input(r.dev.data.acChannel[0], 0.0f, 0.0f, 0.0f, 0.0f);
    r.dev.has_a = r.dev.has_b = r.dev.has_c = 1;
    EXPECT_FALSE(power_off());  // the second channel is powered
}

TEST_F(Mode1, PhaseFlagsGateOnlyTheirOwnChecks) {
    r.dev.has_a = r.dev.has_b = r.dev.has_c = 0;
    r.dev.has_dc = 0;
    const Calls expected = {
        "alarm 1 PowerOff 419415001 输入电源中断告警 输入电源中断告警 off 100",
        "threshold 419613901001 '' 50 1",
    };
    EXPECT_EQ(run_power_rules(r), expected);
}

TEST_F(Mode1, AnyNonZeroFaultByteIsAFault) {
    r.dev.has_ac = r.dev.has_dc = 0;
    r.dev.data.rc_count = 4;
    r.dev.data.rcChannel[1].fault = 1;
    r.dev.data.rcChannel[2].fault = 0x80;
    r.dev.data.rcChannel[3].fault = 0xFF;
    const Calls calls = run_power_rules(r);
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_NE(calls[0].find(" off "), std::string::npos);
    for (int k = 1; k < 4; ++k) EXPECT_NE(calls[k].find(" on "), std::string::npos) << calls[k];
}

TEST_F(Mode1, CountsAboveTheRecordStopAtItsCapacity) {
    r.dev.has_dc = 0;
    r.dev.data.channel_count = 255;
    r.dev.data.rc_count = 255;
    const Calls calls = run_power_rules(r);
    ASSERT_EQ(calls.size(), 1u + 4u + 40u);
    EXPECT_EQ(calls.back(), "alarm 1 419430501040 419430501040 419430501040 模块故障告警 off 1");
}

TEST_F(Mode1, OtherModesMakeNoCall) {
    for (int mode : {0, 3, 4, 5}) {
        r.dev.b_mode = mode;
        EXPECT_TRUE(run_power_rules(r).empty()) << mode;
    }
}

// ---- mode 2 ----

struct Mode2 : ::testing::Test {
    RecordedDevice r;
    Mode2() {
        r.dev.b_mode = 2;
        set_input(r.dev.data.acChannel[0], 220.5f, 221.0f, 219.8f, 50.0f);
    }
    void levels(std::initializer_list<const char*> ids, int level = 2) {
        for (const char* id : ids) r.dev.level_map[id] = level;
    }
    bool active(const char* id) {
        for (const auto& e : r.events(HostEvent::Kind::alarm))
            if (e.id == id) return e.flag;
        ADD_FAILURE() << "no call for " << id;
        return false;
    }
};

TEST_F(Mode2, WithoutLevelsNoCallAndEveryIdIsEntered) {
    r.dev.data.rc_count = 1;
    r.dev.data.dc(0).alert_m_count = 1;
    r.dev.dc_number = 2;
    r.dev.data.dc(1).alert_m_count = 1;
    EXPECT_TRUE(run_power_rules(r).empty());
    for (const char* id : {"220600120010", "220600130010", "220600140010", "220600160010",
                           "220600170010", "120600690010", "120600020010", "210600320010",
                           "210600330010", "210600340010", "120600470010", "210600320020",
                           "210600330020", "210600340020", "120600470190"}) {
        ASSERT_EQ(r.dev.level_map.count(id), 1u) << id;
        EXPECT_EQ(r.dev.level_map[id], 0);
    }
    EXPECT_TRUE(r.dev.threshold_map.empty());  // no rule got as far as its threshold
}

TEST_F(Mode2, FullSequenceWithTextsAndLevels) {
    r.dev.has_dc = 1;
    r.dev.dc_number = 2;
    r.dev.data.rc_count = 1;
    r.dev.data.rcChannel[0].sw_state[0] = 1;
    r.dev.data.dc(0).dc_v.set(53.2f);
    r.dev.data.dc(0).alert_m_count = 2;
    r.dev.data.dc(0).alert_m[1] = 1;
    r.dev.data.dc(1).dc_v.set(47.0f);
    r.dev.data.dc(1).alert_m_count = 1;
    r.dev.data.dc(1).alert_m[0] = 3;
    levels({"220600120010", "220600130010", "220600140010", "220600160010", "220600170010",
            "120600690010", "120600020010", "210600320010", "210600330010", "210600340010",
            "120600470010", "120600470020", "210600320020", "210600330020", "210600340020",
            "120600470190"});
    r.dev.level_map["220600140010"] = 3;
    r.dev.threshold_map["220600160010"] = 55.0f;
    r.dev.threshold_map["220600170010"] = 45.0f;
    r.dev.threshold_map["210600320010"] = 47.0f;
    r.dev.threshold_map["210600330010"] = 45.0f;
    r.dev.threshold_map["210600340010"] = 53.0f;
    r.dev.threshold_map["210600320020"] = 48.0f;
    const std::string v = "ua1:220.5 ub1:221 uc1:219.8 ua2:0 ub2:0 uc2:0";
    const Calls expected = {
        "alarm 2 220600120010 220600120010 " + v + " 001#48V直流系统交流输入电压过高告警 off 1",
        "alarm 2 220600130010 220600130010 " + v + " 001#48V直流系统交流输入电压过低告警 off 1",
        "alarm 3 220600140010 220600140010 " + v + " 001#48V直流系统交流输入停电告警 off 1",
        "alarm 2 220600160010 220600160010 f1:50 f2:0 001#48V直流系统交流输入频率过高告警 off 1",
        "alarm 2 220600170010 220600170010 f1:50 f2:0 001#48V直流系统交流输入频率过低告警 off 1",
        "alarm 2 120600690010 120600690010 1 001#48V整流模块运行告警 on 1",
        "alarm 2 120600020010 120600020010 1 001#48V整流模块运行告警 on 1",
        "alarm 2 210600320010 210600320010 53.2000008 48V直流系统直流总电压过低告警 off 1",
        "alarm 2 210600330010 210600330010 53.2000008 48V直流系统直流总电压超低告警 off 1",
        "alarm 2 210600340010 210600340010 53.2000008 直流总电压过高告警 on 1",
        "alarm 2 120600470010 120600470010 1 直流屏1001负载熔丝故障告警 off 1",
        "alarm 2 120600470020 120600470020 1 直流屏1002负载熔丝故障告警 on 1",
        "alarm 2 210600320020 210600320020 47 直流屏2 48V直流系统直流总电压过低告警 on 1",
        "alarm 2 210600330020 210600330020 47 直流屏2 8V直流系统直流总电压超低告警 off 1",
        "alarm 2 210600340020 210600340020 47 直流屏2 直流总电压过高告警 on 1",
        "alarm 2 120600470190 120600470190 1 直流屏2001负载熔丝故障告警 on 1",
    };
    EXPECT_EQ(run_power_rules(r), expected);
}

TEST_F(Mode2, VoltageBoundaries) {
    levels({"220600120010", "220600130010", "220600140010"});
    auto run = [this](float a, float b, float c) {
        set_input(r.dev.data.acChannel[0], a, b, c, 50.0f);
        run_power_rules(r);
        return std::string(active("220600120010") ? "H" : "-") + (active("220600130010") ? "L" : "-") +
               (active("220600140010") ? "C" : "-");
    };
    EXPECT_EQ(run(280.0f, 220.0f, 220.0f), "---");   // 280 is not above 280
    EXPECT_EQ(run(280.1f, 220.0f, 220.0f), "H--");
    EXPECT_EQ(run(150.0f, 150.0f, 150.0f), "---");   // 150 is neither low nor cut
    EXPECT_EQ(run(149.9f, 150.0f, 150.0f), "-L-");
    EXPECT_EQ(run(149.9f, 149.9f, 149.9f), "-LC");   // input 2 reads 0: all six below 150
    EXPECT_EQ(run(0.0f, 0.0f, 0.0f), "--C");         // no voltage is not a low voltage
    EXPECT_EQ(run(0.01f, 0.0f, 0.0f), "--C");        // 0.01 is still "no voltage"
    EXPECT_EQ(run(0.02f, 0.0f, 0.0f), "-LC");
    r.dev.has_a = 0;                                 // flags gate high and low, not the cut
    EXPECT_EQ(run(300.0f, 100.0f, 0.0f), "-L-");     // absent phase A still prevents the cut
    EXPECT_EQ(run(140.0f, 0.0f, 0.0f), "--C");
    set_input(r.dev.data.acChannel[1], 0.0f, 0.0f, 290.0f, 50.0f);
    EXPECT_EQ(run(0.0f, 0.0f, 0.0f), "H--");        // input 2 is checked too
}

TEST_F(Mode2, FrequencyBoundaries) {
    levels({"220600160010", "220600170010"});
    auto run = [this](float f1, float f2) {
        r.dev.data.acChannel[0].f.set(f1);
        r.dev.data.acChannel[1].f.set(f2);
        run_power_rules(r);
        return std::string(active("220600160010") ? "H" : "-") + (active("220600170010") ? "L" : "-");
    };
    EXPECT_EQ(run(0.0f, 0.0f), "--");  // θ absent (0.0): nothing below, nothing above 0
    EXPECT_EQ(run(0.5f, 0.0f), "H-");  // any positive frequency is above an absent θ
    EXPECT_EQ(r.dev.threshold_map.count("220600160010"), 1u);
    r.dev.threshold_map["220600160010"] = 55.0f;
    r.dev.threshold_map["220600170010"] = 45.0f;
    EXPECT_EQ(run(55.0f, 0.0f), "--");
    EXPECT_EQ(run(50.0f, 55.1f), "H-");
    EXPECT_EQ(run(0.0f, 44.9f), "-L");
    EXPECT_EQ(run(0.01f, 45.0f), "--");
}

TEST_F(Mode2, RectifierRunStateFollowsOpenSetting) {
    levels({"120600690010", "120600020010", "120600690020", "120600020020"});
    r.dev.has_ac = r.dev.has_dc = 0;
    r.dev.data.rc_count = 2;
    r.dev.data.rcChannel[0].sw_state[0] = 1;
    r.dev.data.rcChannel[1].sw_state[0] = 0;
    auto states = [this]() {
        std::string s;
        for (const auto& e : r.events(HostEvent::Kind::alarm)) s += e.flag ? '1' : '0';
        return s;
    };
    run_power_rules(r);
    EXPECT_EQ(states(), "1100");
    r.dev.open_41_43 = 1;
    run_power_rules(r);
    EXPECT_EQ(states(), "0011");
    for (int open : {-255, 2, std::numeric_limits<int>::min()}) {
        r.dev.open_41_43 = open;
        r.dev.data.rcChannel[1].sw_state[0] = 0;  // 1 - open never lands in 0..255 here
        run_power_rules(r);
        EXPECT_EQ(states(), "0000") << open;
    }
    r.dev.open_41_43 = -254;  // 1 - (-254) = 255
    r.dev.data.rcChannel[1].sw_state[0] = 255;
    run_power_rules(r);
    EXPECT_EQ(states(), "0011");
}

TEST_F(Mode2, SecondScreenNeedsTwoScreensAndFuseLoopsStopAt42) {
    r.dev.has_ac = 0;
    r.dev.data.rc_count = 200;
    r.dev.data.dc(0).alert_m_count = 200;
    r.dev.data.dc(1).alert_m_count = 200;
    for (int k = 1; k <= 60; ++k) {  // fuse ids 001..060
        char id[16];
        std::snprintf(id, sizeof id, "12060047%03d0", k);
        r.dev.level_map[id] = 1;
    }
    r.dev.dc_number = 1;
    EXPECT_EQ(run_power_rules(r).size(), 42u);
    r.dev.dc_number = 2;
    const Calls calls = run_power_rules(r);
    ASSERT_EQ(calls.size(), 42u + 42u);
    EXPECT_EQ(calls[42], "alarm 1 120600470190 120600470190 1 直流屏2001负载熔丝故障告警 off 1");
    EXPECT_EQ(calls.back(), "alarm 1 120600470600 120600470600 1 直流屏2042负载熔丝故障告警 off 1");
}

}  // namespace
