// Device settings from "appSetting": conversions, defaults, order of the
// InitSetting chain and its result.
#include <climits>
#include <string>

#include <gtest/gtest.h>

#include "alarm_test_support.hpp"
#include "support/test_device.hpp"

namespace {

using alarm_test::json;
using alarm_test::ScopedWorkDir;
using smdhost::HostEvent;
using testing_support::CoutCapture;
using testing_support::RecordedDevice;

// Runs InitSetting in an empty working directory (no threshold file).
int init(RecordedDevice& r, const std::string& config, std::string* log = nullptr) {
    ScopedWorkDir dir;
    CoutCapture out;
    const int result = r.dev.InitSetting(json(config));
    if (log != nullptr) *log = out.text();
    return result;
}

TEST(DeviceSettings, WithoutAppSettingEveryDefaultStays) {
    for (const char* config : {"{}", R"({"appSetting": "has_dc=0"})",
                               R"({"appSetting": [{"has_dc": 0, "b_mode": 5}]})",
                               R"({"appSetting": null})"}) {
        SCOPED_TRACE(config);
        RecordedDevice r(7);
        std::string log;
        EXPECT_EQ(init(r, config, &log), 1);
        EXPECT_EQ(r.dev.has_dc, 1);
        EXPECT_EQ(r.dev.has_ac, 1);
        EXPECT_EQ(r.dev.cg, 1);
        EXPECT_EQ(r.dev.no_dc_number, -1);
        EXPECT_EQ(r.dev.b_mode, 1);
        EXPECT_EQ(r.dev.data.data_id.get(), 7u);
        // No mode line, but mode 1 still searched for its file.
        EXPECT_EQ(log.find("InitSetting "), std::string::npos);
        EXPECT_NE(log.find("data_id:7 model:tarnel_brelm_pxr52_419 b ini not found\n"),
                  std::string::npos);
    }
}

TEST(DeviceSettings, EveryKeyReachesItsOwnMember) {
    RecordedDevice r;
    r.dev.has_ac = 0;
    r.dev.has_a = r.dev.has_b = r.dev.has_c = 0;
    init(r, R"({"appSetting": {"has_ac": 1, "has_dc": 0, "no_dc_number": 2, "ac_line": 3,
        "ac_type": 4, "has_a": 1, "has_b": 1, "has_c": 1, "dc_i_adjust": 5, "skip_41_41": 6,
        "has_tower": 1, "no_42_arg": 7, "no_40_arg": 8, "open_41_43": 9, "cg": 10, "b_mode": 2}})");
    EXPECT_EQ(r.dev.has_ac, 1);
    EXPECT_EQ(r.dev.has_dc, 0);
    EXPECT_EQ(r.dev.no_dc_number, 2);
    EXPECT_EQ(r.dev.ac_line, 3);
    EXPECT_EQ(r.dev.ac_type, 4);
    EXPECT_EQ(r.dev.has_a + r.dev.has_b + r.dev.has_c, 3);
    EXPECT_EQ(r.dev.dc_i_adjust, 5);
    EXPECT_EQ(r.dev.skip_41_41, 6);
    EXPECT_EQ(r.dev.has_tower, 1);
    EXPECT_EQ(r.dev.no_42_arg, 7);
    EXPECT_EQ(r.dev.no_40_arg, 8);
    EXPECT_EQ(r.dev.open_41_43, 9);
    EXPECT_EQ(r.dev.cg, 10);
    EXPECT_EQ(r.dev.b_mode, 2);
    // Keys without a configuration key keep their constructor values.
    EXPECT_EQ(r.dev.float_mode, 0);
    EXPECT_EQ(r.dev.fixed_divisor, 100);
}

TEST(DeviceSettings, FlagsAreANonZeroTestOfTheLeadingInteger) {
    struct Case {
        const char* value;
        int expected;
    };
    const Case cases[] = {
        {R"("0")", 0}, {"2", 1},      {"true", 0},  {"false", 0}, {R"("abc")", 0},
        {"0.5", 0},    {R"("7x")", 1}, {"-1", 1},   {R"(" 3")", 1}, {R"("")", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        RecordedDevice r;
        init(r, std::string(R"({"appSetting": {"has_dc": )") + c.value + "}}");
        EXPECT_EQ(r.dev.has_dc, c.expected);
    }
}

TEST(DeviceSettings, IntegersTakeTheIntegerPartAndSaturate) {
    RecordedDevice r;
    init(r, R"({"appSetting": {"ac_line": 2.5, "ac_type": "-3", "no_dc_number": -1,
        "dc_i_adjust": "  12abc", "skip_41_41": "99999999999", "no_40_arg": -99999999999,
        "no_42_arg": "2.9"}})");
    EXPECT_EQ(r.dev.ac_line, 2);
    EXPECT_EQ(r.dev.ac_type, -3);
    EXPECT_EQ(r.dev.no_dc_number, -1);
    EXPECT_EQ(r.dev.dc_i_adjust, 12);
    EXPECT_EQ(r.dev.skip_41_41, INT_MAX);
    EXPECT_EQ(r.dev.no_40_arg, INT_MIN);
    EXPECT_EQ(r.dev.no_42_arg, 2);
}

TEST(DeviceSettings, CommandGroupKeepsTheLowByte) {
    struct Case {
        const char* value;
        int expected;
    };
    const Case cases[] = {{"255", 255}, {"256", 0}, {"-1", 255}, {R"("511")", 255}, {"0", 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        RecordedDevice r;
        init(r, std::string(R"({"appSetting": {"cg": )") + c.value + "}}");
        EXPECT_EQ(r.dev.cg, c.expected);
    }
}

TEST(DeviceSettings, NullArrayAndObjectValuesLeaveTheMember) {
    RecordedDevice r;
    init(r, R"({"appSetting": {"has_dc": null, "ac_line": [3], "cg": {"v": 9}, "b_mode": [5]}})");
    EXPECT_EQ(r.dev.has_dc, 1);
    EXPECT_EQ(r.dev.ac_line, 1);
    EXPECT_EQ(r.dev.cg, 1);
    EXPECT_EQ(r.dev.b_mode, 1);
}

TEST(DeviceSettings, SecondCallOnlyChangesTheKeysItNames) {
    RecordedDevice r;
    init(r, R"({"appSetting": {"ac_line": 2, "cg": 5, "b_mode": 2}})");
    init(r, R"({"appSetting": {"cg": 6}})");
    EXPECT_EQ(r.dev.ac_line, 2);
    EXPECT_EQ(r.dev.cg, 6);
    EXPECT_EQ(r.dev.b_mode, 2);
}

TEST(DeviceSettings, ThresholdModeAsTextIsLoggedWithTheDataId) {
    RecordedDevice r(4321);
    std::string log;
    init(r, R"({"appSetting": {"b_mode": "5"}})", &log);
    EXPECT_EQ(r.dev.b_mode, 5);
    EXPECT_EQ(log, "InitSetting 4321 b_mode_:5\n");

    init(r, R"({"appSetting": {"b_mode": -2}})", &log);
    EXPECT_EQ(log, "InitSetting 4321 b_mode_:-2\n");
}

TEST(DeviceSettings, HostReaderRunsLastAndItsFailureStillGivesOne) {
    RecordedDevice r(12);
    r.dev.host_init_result = 0;
    r.dev.data.data_id.set(99);
    EXPECT_EQ(init(r, R"({"appSetting": {"b_mode": 2}})"), 1);
    ASSERT_FALSE(r.log.events.empty());
    EXPECT_EQ(r.log.events.back().kind, HostEvent::Kind::host_init);
    EXPECT_EQ(r.events(HostEvent::Kind::host_init).size(), 1u);
    EXPECT_EQ(r.dev.data.data_id.get(), 12u);

    // The threshold loader itself passes the host's result on.
    ScopedWorkDir dir;
    CoutCapture out;
    EXPECT_EQ(r.dev.DataDevice::InitSetting(json("{}")), 0);
    r.dev.host_init_result = 3;
    EXPECT_EQ(r.dev.DataDevice::InitSetting(json("{}")), 3);
}

}  // namespace
