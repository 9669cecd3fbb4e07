// The checks of the threshold mode: mode-1 "AI" checks, mode-5 signal
// rules with their hysteresis and texts, and the change-of-value decision.
#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "alarm_test_support.hpp"
#include "support/test_device.hpp"

namespace {

using alarm_test::describe;
using alarm_test::json;
using alarm_test::rule_calls;
using smdhost::HostEvent;
using testing_support::CoutCapture;
using testing_support::kStartEpoch;
using testing_support::RecordedDevice;
using testing_support::SimClock;
using Setting = SMDVDevice::BAOSetting;

// Feeds `values` to one rule, one round each; returns the calls made.
std::vector<std::string> run_rounds(RecordedDevice& r, signal_rule_map& rules, bool upper,
                                    const std::vector<float>& values) {
    for (float v : values) {
        r.dev.value_map["dc_v"] = v;
        r.dev.CheckSignalThresholdMap(rules, upper);
    }
    return rule_calls(r.log);
}

TEST(SignalThreshold, UpperRuleRaisesAtThresholdAndClearsAtRecovery) {
    RecordedDevice r;
    r.dev.up_map["dc_v"] = signal_rule("0406001001", 57.0f, 56.0f, false, 2);
    const auto calls = run_rounds(r, r.dev.up_map, true, {56.9f, 57.0f, 56.5f, 56.0f, 57.5f});
    const std::vector<std::string> expected = {
        "alarm 2 dc_v 0406001001 56.9000015  off 1",
        "alarm 2 dc_v 0406001001 57 当前值57高于阈值:57 on 1",
        "alarm 2 dc_v 0406001001 56.5 当前值56.5高于阈值:57 on 1",
        "alarm 2 dc_v 0406001001 56  off 1",
        "alarm 2 dc_v 0406001001 57.5 当前值57.5高于阈值:57 on 1",
    };
    EXPECT_EQ(calls, expected);
    EXPECT_TRUE(std::get<3>(r.dev.up_map["dc_v"]));
    EXPECT_EQ(r.dev.rule_values.size(), 5u);
}

TEST(SignalThreshold, LowerRuleRaisesAtThresholdAndClearsAtRecovery) {
    RecordedDevice r;
    r.dev.low_map["dc_v"] = signal_rule("0406001003", 45.0f, 46.0f, false, 1);
    const auto calls = run_rounds(r, r.dev.low_map, false, {45.1f, 45.0f, 45.9f, 46.0f});
    const std::vector<std::string> expected = {
        "alarm 1 dc_v 0406001003 45.0999985  off 1",
        "alarm 1 dc_v 0406001003 45 当前值45低于阈值:45 on 1",
        "alarm 1 dc_v 0406001003 45.9000015 当前值45.9000015低于阈值:45 on 1",
        "alarm 1 dc_v 0406001003 46  off 1",
    };
    EXPECT_EQ(calls, expected);
}

TEST(SignalThreshold, TextsCarryNineSignificantDigits) {
    RecordedDevice r;
    r.dev.up_map["dc_v"] = signal_rule("9", 53.2f, 50.0f, false, 3);
    const auto calls = run_rounds(r, r.dev.up_map, true, {53.2f});
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0], "alarm 3 dc_v 9 53.2000008 当前值53.2000008高于阈值:53.2000008 on 1");
}

TEST(SignalThreshold, MissingOrNonNumericValueKeepsStateAndQueuesNothing) {
    RecordedDevice r;
    r.dev.up_map["dc_v"] = signal_rule("1", 57.0f, 56.0f, true, 2);
    r.dev.CheckSignalThresholdMap(r.dev.up_map, true);  // value_map still null
    r.dev.value_map = json(R"({"dc_v": "60", "other": 60})");
    r.dev.CheckSignalThresholdMap(r.dev.up_map, true);
    r.dev.value_map = json(R"({"dc_v": null})");
    r.dev.CheckSignalThresholdMap(r.dev.up_map, true);
    r.dev.value_map = json("[60]");
    r.dev.CheckSignalThresholdMap(r.dev.up_map, true);
    EXPECT_TRUE(r.log.events.empty());
    EXPECT_TRUE(r.dev.rule_values.empty());
    EXPECT_TRUE(std::get<3>(r.dev.up_map["dc_v"]));
}

TEST(SignalThreshold, RoundDoneWalksTheFourMapsInOrderInModeFive) {
    SimClock clock;
    CoutCapture out;
    RecordedDevice r;
    r.dev.b_mode = 5;
    r.dev.low2_map["v"] = signal_rule("v004", 10.0f, 11.0f, false, 1);
    r.dev.low_map["v"] = signal_rule("v003", 20.0f, 21.0f, false, 1);
    r.dev.up2_map["v"] = signal_rule("v002", 60.0f, 59.0f, false, 1);
    r.dev.up_map["v"] = signal_rule("v001", 50.0f, 49.0f, false, 1);
    r.dev.value_map["v"] = 55;
    pxr52_419_Data_t rec{};
    rec.rc_count = 1;
    rec.rcChannel[0].p41_44_count = 7;  // the other-mode model rules add seven, and five DC
    ASSERT_EQ(r.dev.LoadFromCache(rec.bytes(), 1257), 1);

    std::vector<std::string> ids;
    for (const auto& e : r.events(HostEvent::Kind::alarm))
        if (e.key == "v") ids.push_back(e.id + (e.flag ? "+" : "-"));
    EXPECT_EQ(ids, (std::vector<std::string>{"v001+", "v002-", "v003-", "v004-"}));
    EXPECT_NE(out.text().find("rvSize is 16\n"), std::string::npos);
    EXPECT_TRUE(r.dev.rule_values.empty());
}

Setting band_setting(float last_value) {
    Setting s;
    s.abs_band = 0.0f;
    s.pct_band = 0.0f;
    s.period_min = 0.0f;
    s.last_time = static_cast<std::uint32_t>(kStartEpoch);
    s.last_value = last_value;
    return s;
}

TEST(ChangeOfValue, AbsoluteBandIsStrict) {
    SimClock clock;
    RecordedDevice r;
    Setting s = band_setting(50.0f);
    s.abs_enable = true;
    s.abs_band = 1.0f;
    r.dev.bao_map["t"] = s;
    EXPECT_EQ(r.dev.CheckAOReport("t", "t", 51.0f), 0);
    EXPECT_EQ(r.dev.CheckAOReport("t", "t", 49.0f), 0);
    EXPECT_EQ(r.dev.CheckAOReport("t", "t", 51.5f), 1);
    EXPECT_EQ(r.dev.bao_map["t"].last_value, 51.5f);
    EXPECT_EQ(r.dev.CheckAOReport("t", "t", 50.5f), 0);  // band now around 51.5
    EXPECT_EQ(r.dev.CheckAOReport("t", "t", 50.4f), 1);
    EXPECT_EQ(rule_calls(r.log), (std::vector<std::string>{"report t 51.5", "report t 50.4000015"}));
}

TEST(ChangeOfValue, PercentageBandIsStrict) {
    SimClock clock;
    RecordedDevice r;
    Setting s = band_setting(200.0f);
    s.pct_enable = true;
    s.pct_band = 10.0f;
    r.dev.bao_map["t"] = s;
    EXPECT_EQ(r.dev.CheckAOReport("t", "t", 220.0f), 0);
    EXPECT_EQ(r.dev.CheckAOReport("t", "t", 180.0f), 0);
    EXPECT_EQ(r.dev.CheckAOReport("t", "t", 220.5f), 1);
    r.dev.bao_map["t"].last_value = 200.0f;
    EXPECT_EQ(r.dev.CheckAOReport("t", "t", 179.5f), 1);
    EXPECT_EQ(r.dev.bao_map["t"].last_value, 179.5f);
}

TEST(ChangeOfValue, PeriodReportsOnceDueAndRestartsThePeriod) {
    SimClock clock;
    RecordedDevice r;
    Setting s = band_setting(1.0f);
    s.period_enable = true;
    s.period_min = 10.0f;
    s.last_time = static_cast<std::uint32_t>(kStartEpoch) - 1000;
    r.dev.bao_map["t"] = s;
    EXPECT_EQ(r.dev.CheckAOReport("t", "t", 1.0f), 1);  // same value, but the period is over
    EXPECT_EQ(r.dev.bao_map["t"].last_time, static_cast<std::uint32_t>(kStartEpoch));
    EXPECT_EQ(r.dev.CheckAOReport("t", "t", 1.0f), 0);  // just reported
    clock.advance(2000);
    EXPECT_EQ(r.dev.CheckAOReport("t", "t", 1.0f), 1);
}

TEST(ChangeOfValue, DisabledSettingsNeverReport) {
    SimClock clock;
    RecordedDevice r;
    r.dev.bao_map["t"] = band_setting(0.0f);
    EXPECT_EQ(r.dev.CheckAOReport("t", "t", 1e9f), 0);
    EXPECT_TRUE(r.log.events.empty());
}

TEST(ChangeOfValue, ReportIdGetsItsOwnCopyOfTheTemplate) {
    SimClock clock;
    RecordedDevice r;
    Setting s = band_setting(50.0f);
    s.abs_enable = true;
    s.abs_band = 1.0f;
    r.dev.bao_map["tmpl"] = s;

    EXPECT_EQ(r.dev.CheckAOReport("tmpl", "rep", 50.5f), 0);
    ASSERT_EQ(r.dev.bao_map.count("rep"), 1u);  // copied even without a report
    EXPECT_EQ(r.dev.CheckAOReport("tmpl", "rep", 60.0f), 1);
    EXPECT_EQ(r.dev.bao_map["rep"].last_value, 60.0f);
    EXPECT_EQ(r.dev.bao_map["tmpl"].last_value, 50.0f);  // the template is not touched
    // From now on the report id follows its own entry, not the template's.
    r.dev.bao_map["tmpl"].abs_enable = false;
    EXPECT_EQ(r.dev.CheckAOReport("tmpl", "rep", 62.0f), 1);
    EXPECT_EQ(rule_calls(r.log), (std::vector<std::string>{"report rep 60", "report rep 62"}));
}

TEST(ChangeOfValue, WithoutAnySettingNothingIsReportedOrAdded) {
    RecordedDevice r;
    EXPECT_EQ(r.dev.CheckAOReport("tmpl", "rep", 60.0f), 0);
    EXPECT_TRUE(r.dev.bao_map.empty());
    EXPECT_TRUE(r.log.events.empty());
}

TEST(AiChecks, NumericValuesAreCheckedUnderTheDerivedThresholdId) {
    SimClock clock;
    RecordedDevice r;
    r.dev.ai_map["ua1"] = {"419110100001", "A相电压"};
    r.dev.ai_map["ub1"] = {"419110200001", ""};
    r.dev.ai_map["uc1"] = {"419110300001", "C"};
    r.dev.ai_map["text"] = {"419110400001", "T"};
    r.dev.ai_map["short"] = {"41911010", "S"};  // cannot be given a threshold id
    r.dev.value_map = json(R"({"ua1": 220.5, "ub1": 0, "text": "230", "short": 5})");
    Setting s = band_setting(0.0f);
    s.abs_enable = true;
    s.abs_band = 1.0f;
    r.dev.bao_map["419610101001"] = s;  // settings of the template (threshold) id

    r.dev.CheckAIMap();
    const std::vector<std::string> expected = {
        "threshold 419610101001 'A相电压' 220.5 1",
        "report 419110100001 220.5",
        "threshold 419610201001 '' 0 1",
    };
    EXPECT_EQ(rule_calls(r.log), expected);
    // The look-up entered the absent key as null; the short id was never looked up.
    EXPECT_TRUE(r.dev.value_map.isMember("uc1"));
    EXPECT_TRUE(r.dev.value_map["uc1"].isNull());
    EXPECT_EQ(r.dev.value_map["short"].asInt(), 5);
}

TEST(AiChecks, EmptyValueMapQueuesOnlyTheRuleSets) {
    SimClock clock;
    CoutCapture out;
    RecordedDevice r;
    r.dev.ai_map["ua1"] = {"419110100001", "A"};
    pxr52_419_Data_t rec{};
    ASSERT_EQ(r.dev.LoadFromCache(rec.bytes(), 1257), 1);
    // Mode 1 on an empty record: mains failure, four AC and two DC checks.
    EXPECT_NE(out.text().find("rvSize is 7\n"), std::string::npos);
    EXPECT_TRUE(r.dev.value_map["ua1"].isNull());
    EXPECT_TRUE(r.events(HostEvent::Kind::report).empty());
}

TEST(AiChecks, OtherModesRunNoModeCheckButStillSubmitAndStore) {
    for (int mode : {2, 3}) {
        SCOPED_TRACE(mode);
        SimClock clock;
        CoutCapture out;
        RecordedDevice r;
        r.dev.b_mode = mode;
        r.dev.ai_map["ua1"] = {"419110100001", "A"};
        r.dev.up_map["ua1"] = signal_rule("1", 0.0f, 0.0f, false, 1);
        r.dev.value_map = json(R"({"ua1": 230})");
        pxr52_419_Data_t rec{};
        ASSERT_EQ(r.dev.LoadFromCache(rec.bytes(), 1257), 1);
        EXPECT_TRUE(r.events(HostEvent::Kind::threshold).empty());
        EXPECT_EQ(r.events(HostEvent::Kind::batch).size(), 1u);
        EXPECT_EQ(r.events(HostEvent::Kind::history).size(), 1u);
        EXPECT_FALSE(std::get<3>(r.dev.up_map["ua1"]));
    }
}

}  // namespace
