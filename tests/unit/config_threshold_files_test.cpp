// Threshold definitions: the file search, the INI reader and its errors,
// the ".yaml" case, and the "thresholdSetting" loaders of modes 3 and 5.
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include <boost/property_tree/ptree.hpp>
#include <gtest/gtest.h>

#include "alarm_test_support.hpp"
#include "config/threshold_loaders.hpp"
#include "support/test_device.hpp"

namespace {

using alarm_test::json;
using alarm_test::ScopedWorkDir;
using smdhost::HostEvent;
using testing_support::CoutCapture;
using testing_support::RecordedDevice;

const char kAiFile[] =
    "[AI]\n"
    "ua1=419110100001,A相电压\n"
    "ub1=419110200001\n"
    "lead=,Lead\n"
    "[ALARM]\n"
    "door=门磁告警,2\n"
    "smoke=烟感告警\n";

TEST(ThresholdFileSearch, CandidatesAreTakenInOrderOfPreference) {
    ScopedWorkDir dir;
    const char* const candidates[] = {
        "./ini/7.yaml",        "./ini/7.ini",        "./ini/model.yaml",        "./ini/model.ini",
        "./ini/tarnel/7.yaml", "./ini/tarnel/7.ini", "./ini/tarnel/model.yaml", "./ini/tarnel/model.ini",
    };
    for (const char* c : candidates) dir.write(c, "[AI]\n");
    CoutCapture out;
    for (const char* expected : candidates) {
        EXPECT_EQ(pxr52::find_threshold_file(7, "model"), expected);
        dir.remove(expected);  // the next one is found once this one is gone
    }
    EXPECT_EQ(out.text(), "");
    EXPECT_EQ(pxr52::find_threshold_file(7, "model"), "");
    EXPECT_EQ(out.text(), "data_id:7 model:model b ini not found\n");
}

TEST(ThresholdFile, LastCandidateIsFoundAndBothSectionsLoad) {
    ScopedWorkDir dir;
    dir.write("ini/tarnel/tarnel_brelm_pxr52_419.ini", kAiFile);
    RecordedDevice r(7);
    CoutCapture out;
    EXPECT_EQ(r.dev.InitSetting(json("{}")), 1);

    // The value that starts with the comma gives an empty signal id: listed
    // like any other, told once that it is never checked.
    ASSERT_EQ(r.dev.ai_map.size(), 3u);
    EXPECT_EQ(r.dev.ai_map["lead"], std::make_pair(std::string(), std::string("Lead")));
    EXPECT_EQ(r.dev.ai_map["ua1"], std::make_pair(std::string("419110100001"), std::string("A相电压")));
    EXPECT_EQ(r.dev.ai_map["ub1"], std::make_pair(std::string("419110200001"), std::string("419110200001")));
    ASSERT_EQ(r.dev.alarm_map.size(), 2u);
    EXPECT_EQ(r.dev.alarm_map["door"], "门磁告警");
    EXPECT_EQ(r.dev.alarm_map["smoke"], "烟感告警");
    EXPECT_EQ(out.text(),
              "parse ini/yaml filename:./ini/tarnel/tarnel_brelm_pxr52_419.ini\n"
              "AI key:lead signal id: shorter than 9 characters, not checked\n"
              "AI 7\n"
              "first:lead second: name:Lead\n"
              "first:ua1 second:419110100001 name:A相电压\n"
              "first:ub1 second:419110200001 name:419110200001\n");
    EXPECT_EQ(r.events(HostEvent::Kind::host_init).size(), 1u);
    r.dev.value_map = json(R"({"lead": 5, "ua1": 220})");
    r.dev.CheckAIMap();
    EXPECT_EQ(alarm_test::rule_calls(r.log),
              std::vector<std::string>{"threshold 419610101001 'A相电压' 220 1"});
}

TEST(ThresholdFile, RepeatedLoadAddsAndOverwrites) {
    ScopedWorkDir dir;
    dir.write("ini/7.ini", "[AI]\nua1=419110100001,old\nub1=419110200001,b\n");
    RecordedDevice r(7);
    CoutCapture out;
    r.dev.InitSetting(json("{}"));
    dir.write("ini/7.ini", "[AI]\nua1=419110100009,new\nuc1=419110300001,c\n");
    r.dev.InitSetting(json("{}"));
    ASSERT_EQ(r.dev.ai_map.size(), 3u);
    EXPECT_EQ(r.dev.ai_map["ua1"].first, "419110100009");
    EXPECT_EQ(r.dev.ai_map["ua1"].second, "new");
    EXPECT_EQ(r.dev.ai_map["ub1"].second, "b");
}

TEST(ThresholdFile, NoFileLeavesTablesAndStillCallsTheHost) {
    ScopedWorkDir dir;
    RecordedDevice r(7);
    r.dev.ai_map["kept"] = {"419110100001", "kept"};
    CoutCapture out;
    r.dev.InitSetting(json("{}"));
    EXPECT_EQ(out.text(),
              "data_id:7 model:tarnel_brelm_pxr52_419 b ini not found\n"
              "parse ini/yaml filename:\n");
    EXPECT_EQ(r.dev.ai_map.size(), 1u);
    EXPECT_EQ(r.events(HostEvent::Kind::host_init).size(), 1u);
}

TEST(ThresholdFile, YamlIsPreferredButOnlyLogged) {
    ScopedWorkDir dir;
    dir.write("ini/7.yaml", "AI:\n  ua1: 419110100001\n");
    dir.write("ini/7.ini", kAiFile);
    RecordedDevice r(7);
    r.dev.ai_map["kept"] = {"419110100001", "kept"};
    CoutCapture out;
    EXPECT_EQ(r.dev.InitSetting(json("{}")), 1);
    EXPECT_EQ(out.text(),
              "parse ini/yaml filename:./ini/7.yaml\n"
              "AI 7\n"
              "first:kept second:419110100001 name:kept\n");
    EXPECT_EQ(r.dev.ai_map.size(), 1u);
    EXPECT_TRUE(r.dev.alarm_map.empty());
}

// Every reader error leaves InitSetting before the host's reader, after the
// switches were applied, with the tables as they were.
TEST(ThresholdFile, ReaderErrorsPropagateAndChangeNoTable) {
    struct Case {
        const char* content;
        const char* message;
    };
    const Case cases[] = {
        {"[ALARM]\ndoor=门磁告警\n", "No such node"},
        {"[AI\nua1=419110100001\n", "unmatched '['"},
        {"[AI]\nua1=419110100001\nua1=419110200001\n", "duplicate key name"},
        {"[AI]\nua1\n", "'=' character not found in line"},
        {"[AI]\n=419110100001\n", "key expected"},
        {"[AI]\nua1=419110100001\n[AI]\nub1=419110200001\n", "duplicate section name"},
        {"[AI]\n", "No such node"},  // the reader drops a section without keys
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.content);
        ScopedWorkDir dir;
        dir.write("ini/7.ini", c.content);
        RecordedDevice r(7);
        r.dev.ai_map["kept"] = {"419110100001", "kept"};
        CoutCapture out;
        try {
            r.dev.InitSetting(json(R"({"appSetting": {"has_dc": 0}})"));
            ADD_FAILURE() << "no error";
        } catch (const boost::property_tree::ptree_error& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
        EXPECT_EQ(r.dev.has_dc, 0);
        EXPECT_EQ(r.dev.ai_map.size(), 1u);
        EXPECT_TRUE(r.dev.alarm_map.empty());
        EXPECT_TRUE(r.events(HostEvent::Kind::host_init).empty());
    }
}

TEST(ThresholdFile, UnreadableFileIsAnError) {
    ScopedWorkDir dir;
    dir.write("ini/7.ini/inner", "");  // a directory where the file should be
    CoutCapture out;
    pxr52::ai_table ai;
    pxr52::text_table alarms;
    EXPECT_THROW(pxr52::load_threshold_file("./ini/7.ini", 7, ai, alarms),
                 boost::property_tree::ptree_error);
}

const char kMode3Config[] = R"({
  "appSetting": {"b_mode": 3},
  "thresholdSetting": {
    "b": {"SignalName": "交流电压", "NMAlarmID": "0406001001", "ID": "406001", "SignalNumber": 1},
    "a": {"SignalName": "直流电压", "NMAlarmID": "0406002001", "SignalNumber": "2"},
    "c": "not an item",
    "d": {}
  }})";

TEST(ThresholdNames, ItemsFillNameAndTripleTablesWithOneLogLinePerStep) {
    RecordedDevice r(7);
    r.dev.level_map["b"] = 3;
    r.dev.threshold_map["b"] = 2.5f;
    CoutCapture out;
    r.dev.InitSetting(json(kMode3Config));
    EXPECT_EQ(out.text(),
              "InitSetting 7 b_mode_:3\n"
              "here 1\n"
              "here 2\n"
              "here a\n"
              "7 ID is missing\n"
              "mobile:a:0406002001;;2; level:0 value:0\n"
              "here b\n"
              "mobile:b:0406001001;406001;1; level:3 value:2.5\n"
              "here c\n"
              "here d\n"
              "7 NMAlarmID is missing\n"
              "7 ID is missing\n"
              "7 SignalNumber is missing\n"
              "mobile:d:;;; level:0 value:0\n");
    EXPECT_EQ(r.dev.signal_name_map.size(), 2u);
    EXPECT_EQ(r.dev.signal_name_map["b"], "交流电压");
    EXPECT_EQ(r.dev.signal_name_map["a"], "直流电压");
    EXPECT_EQ(r.dev.id_triple_map.size(), 3u);
    EXPECT_EQ(r.dev.id_triple_map["a"], "0406002001;;2;");
    EXPECT_EQ(r.dev.id_triple_map["d"], ";;;");
    // The look-ups entered the missing names into the host tables.
    EXPECT_EQ(r.dev.level_map.count("a"), 1u);
    EXPECT_EQ(r.dev.threshold_map.count("d"), 1u);
    EXPECT_TRUE(r.dev.up_map.empty());
    EXPECT_EQ(r.events(HostEvent::Kind::host_init).size(), 1u);
}

TEST(ThresholdNames, WithoutItemsOnlyTheFirstLineIsLogged) {
    RecordedDevice r(7);
    CoutCapture out;
    r.dev.InitSetting(json(R"({"appSetting": {"b_mode": 3}})"));
    EXPECT_EQ(out.text(), "InitSetting 7 b_mode_:3\nhere 1\n");
    r.dev.InitSetting(json(R"({"appSetting": {"b_mode": 3}, "thresholdSetting": [1, 2]})"));
    EXPECT_EQ(out.text(), "InitSetting 7 b_mode_:3\nhere 1\nInitSetting 7 b_mode_:3\nhere 1\nhere 2\n");
    EXPECT_TRUE(r.dev.id_triple_map.empty());
}

void expect_rule(const signal_rule& rule, const std::string& id, float threshold, float recovery,
                 int level) {
    EXPECT_EQ(std::get<0>(rule), id);
    EXPECT_FLOAT_EQ(std::get<1>(rule), threshold);
    EXPECT_FLOAT_EQ(std::get<2>(rule), recovery);
    EXPECT_FALSE(std::get<3>(rule));
    EXPECT_EQ(std::get<4>(rule), level);
}

TEST(SignalRules, EachCompleteLimitGoesToItsTableWithItsSuffix) {
    RecordedDevice r(7);
    CoutCapture out;
    r.dev.InitSetting(json(R"({"appSetting": {"b_mode": 5}, "thresholdSetting": {
        "x": {"ID": "0406001", "SignalName": "dc_v", "UpValue": 57.5, "UpReconverValue": "56",
              "UpAlarmLevel": 2},
        "y": {"ID": "0406002", "SignalName": "ac_v", "Up2Value": "290", "Up2ReconverValue": 280,
              "Up2AlarmLevel": "3", "LowValue": 180, "LowReconverValue": 190, "LowAlarmLevel": 1,
              "Low2Value": "abc", "Low2ReconverValue": "1e1", "Low2AlarmLevel": "x"}}})"));
    EXPECT_EQ(out.text(), "InitSetting 7 b_mode_:5\n");  // loading logs nothing
    ASSERT_EQ(r.dev.up_map.size(), 1u);
    expect_rule(r.dev.up_map["dc_v"], "0406001001", 57.5f, 56.0f, 2);
    ASSERT_EQ(r.dev.up2_map.size(), 1u);
    expect_rule(r.dev.up2_map["ac_v"], "0406002002", 290.0f, 280.0f, 3);
    ASSERT_EQ(r.dev.low_map.size(), 1u);
    expect_rule(r.dev.low_map["ac_v"], "0406002003", 180.0f, 190.0f, 1);
    ASSERT_EQ(r.dev.low2_map.size(), 1u);
    expect_rule(r.dev.low2_map["ac_v"], "0406002004", 0.0f, 10.0f, 0);  // non-numbers give 0
}

TEST(SignalRules, IncompleteItemsAndLimitsAreSkipped) {
    RecordedDevice r(7);
    CoutCapture out;
    r.dev.InitSetting(json(R"({"appSetting": {"b_mode": 5}, "thresholdSetting": {
        "a": {"ID": "1", "SignalName": "v", "UpValue": 57, "UpReconverValue": 56, "UpAlarmLevel": ""},
        "b": {"ID": "", "SignalName": "v", "LowValue": 1, "LowReconverValue": 2, "LowAlarmLevel": 1},
        "c": {"SignalName": "v", "LowValue": 1, "LowReconverValue": 2, "LowAlarmLevel": 1},
        "d": {"ID": "4", "SignalName": "", "LowValue": 1, "LowReconverValue": 2, "LowAlarmLevel": 1},
        "e": [1],
        "f": {"ID": "6", "SignalName": "v", "Up2Value": 1, "Up2AlarmLevel": 1},
        "g": {"ID": ["7"], "SignalName": "v", "LowValue": 1, "LowReconverValue": 2, "LowAlarmLevel": 1}}})"));
    EXPECT_TRUE(r.dev.up_map.empty());
    EXPECT_TRUE(r.dev.up2_map.empty());
    EXPECT_TRUE(r.dev.low_map.empty());
    EXPECT_TRUE(r.dev.low2_map.empty());
}

TEST(SignalRules, LaterItemReplacesAndReloadStartsAfresh) {
    RecordedDevice r(7);
    CoutCapture out;
    r.dev.InitSetting(json(R"({"appSetting": {"b_mode": 5}, "thresholdSetting": {
        "a": {"ID": "1", "SignalName": "v", "UpValue": 57, "UpReconverValue": 56, "UpAlarmLevel": 1,
              "LowValue": 45, "LowReconverValue": 46, "LowAlarmLevel": 1},
        "b": {"ID": "2", "SignalName": "v", "UpValue": 58, "UpReconverValue": 57, "UpAlarmLevel": 2}}})"));
    ASSERT_EQ(r.dev.up_map.size(), 1u);
    expect_rule(r.dev.up_map["v"], "2001", 58.0f, 57.0f, 2);
    expect_rule(r.dev.low_map["v"], "1003", 45.0f, 46.0f, 1);

    std::get<3>(r.dev.up_map["v"]) = true;
    r.dev.InitSetting(json(R"({"appSetting": {"b_mode": 5}, "thresholdSetting": {
        "b": {"ID": "2", "SignalName": "v", "UpValue": 58, "UpReconverValue": 57, "UpAlarmLevel": 2}}})"));
    expect_rule(r.dev.up_map["v"], "2001", 58.0f, 57.0f, 2);  // active flag back to false
    EXPECT_TRUE(r.dev.low_map.empty());

    r.dev.InitSetting(json(R"({"appSetting": {"b_mode": 5}, "thresholdSetting": "none"})"));
    EXPECT_TRUE(r.dev.up_map.empty());
}

}  // namespace
