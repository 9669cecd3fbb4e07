// Alarm evaluation end to end: the capture under samples/alarms/ replayed by
// smdhost with the configuration of each threshold mode, from that folder
// (so ./ini/ is its threshold-file folder), and the alarm, threshold and
// report events of each published round read back.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <json/json.h>

namespace {

const std::string kSmdhost = std::string(SMD_BIN_DIR) + "/smdhost";
const std::string kSamples = std::string(SMD_SOURCE_DIR) + "/samples/alarms";

struct Replay {
    int status = -1;
    std::vector<std::string> logs;                  // the plug-in's lines, in order
    std::vector<std::vector<std::string>> rounds;   // rule events per published round
};

// "alarm KEY ID on|off COUNT L<level>", "threshold ID VALUE", "report ID VALUE".
std::string brief(const Json::Value& e) {
    const std::string ev = e["ev"].asString();
    if (ev == "alarm")
        return "alarm " + e["key"].asString() + " " + e["id"].asString() +
               (e["active"].asBool() ? " on " : " off ") + e["count"].asString() + " L" +
               e["level"].asString();
    if (ev == "threshold") return "threshold " + e["id"].asString() + " " + e["value"].asString();
    if (ev == "report") return "report " + e["id"].asString() + " " + e["value"].asString();
    return std::string();
}

Replay replay(const std::string& config) {
    Replay r;
    const std::string command = "cd '" + kSamples + "' && TZ=UTC '" + kSmdhost +
                                "' replay --format json mains_failure.scenario --config " + config +
                                " 2>/dev/null";
    FILE* p = popen(command.c_str(), "r");
    if (p == nullptr) return r;
    std::string text;
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) text.append(buf, n);
    const int raw = pclose(p);
    if (raw != -1 && WIFEXITED(raw)) r.status = WEXITSTATUS(raw);

    Json::CharReaderBuilder builder;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    size_t start = 0;
    for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1) {
        Json::Value e;
        std::string errors;
        if (!reader->parse(text.data() + start, text.data() + nl, &e, &errors)) {
            ADD_FAILURE() << "not JSON: " << text.substr(start, nl - start);
            continue;
        }
        const std::string ev = e["ev"].asString();
        if (ev == "log") r.logs.push_back(e["line"].asString());
        if (ev == "publish") r.rounds.emplace_back();
        const std::string b = brief(e);
        // The communication alarm belongs to Reset, not to the rule sets.
        if (!b.empty() && !r.rounds.empty() && e["id"].asString() != "120600180010")
            r.rounds.back().push_back(b);
    }
    return r;
}

bool has(const std::vector<std::string>& v, const std::string& s) {
    for (const auto& x : v)
        if (x == s) return true;
    return false;
}

class AlarmReplay : public ::testing::Test {
protected:
    void SetUp() override {
        if (access(kSmdhost.c_str(), X_OK) != 0) GTEST_SKIP() << "no smdhost at " << kSmdhost;
    }
};

TEST_F(AlarmReplay, LevelMapRulesFollowTheMainsFailure) {
    const Replay r = replay("mode2.json");
    ASSERT_EQ(r.status, 0);
    ASSERT_EQ(r.rounds.size(), 3u);
    const char* cut_off = "alarm 220600140010 220600140010 off 1 L3";
    const char* cut_on = "alarm 220600140010 220600140010 on 1 L3";
    EXPECT_TRUE(has(r.rounds[0], cut_off));
    EXPECT_TRUE(has(r.rounds[1], cut_on));
    EXPECT_TRUE(has(r.rounds[2], cut_off));
    const std::vector<std::string> every_round = {
        "alarm 120600690020 120600690020 on 1 L1",   // module 2 switched on
        "alarm 120600470020 120600470020 on 1 L2",   // load fuse 2 blown
        "alarm 120600040020 120600040020 on 1 L3",   // module 2 code 80
        "alarm 120600480020 120600480020 on 1 L2",   // battery fuse 2
        "alarm 210600340010 210600340010 off 1 L2",  // 53.5 V is not above 57.5 V
    };
    for (const auto& round : r.rounds) {
        EXPECT_EQ(round.size(), 11u);
        for (const auto& expected : every_round) EXPECT_TRUE(has(round, expected)) << expected;
        EXPECT_FALSE(has(round, "alarm 120600690010 120600690010 off 1 L0"));  // level 0: no call
    }
    EXPECT_TRUE(has(r.logs, "rc 1 p41_44[0]:128 key:120600040020 level:3 ret:1"));
}

TEST_F(AlarmReplay, FixedRulesAndReportsWithTheThresholdFile) {
    const Replay r = replay("mode1.json");
    ASSERT_EQ(r.status, 0);
    ASSERT_EQ(r.rounds.size(), 3u);
    EXPECT_TRUE(has(r.logs, "parse ini/yaml filename:./ini/7.ini"));
    EXPECT_TRUE(has(r.logs, "first:ua1 second:419110100001 name:A相电压"));

    EXPECT_TRUE(has(r.rounds[0], "alarm PowerOff 419415001 off 100 L1"));
    EXPECT_TRUE(has(r.rounds[1], "alarm PowerOff 419415001 on 100 L1"));
    EXPECT_TRUE(has(r.rounds[2], "alarm PowerOff 419415001 off 100 L1"));
    // Phase A leaves its 5 V band at the failure and on return; the DC
    // voltage is reported once, when it first leaves its 2 % band of 48 V.
    EXPECT_FALSE(has(r.rounds[0], "report 419110100001 220"));
    EXPECT_TRUE(has(r.rounds[0], "report 419120300001 53.5"));
    EXPECT_TRUE(has(r.rounds[1], "report 419110100001 0"));
    EXPECT_FALSE(has(r.rounds[1], "report 419120300001 53.5"));
    EXPECT_TRUE(has(r.rounds[2], "report 419110100001 220"));
    for (const auto& round : r.rounds) {
        EXPECT_TRUE(has(round, "alarm 419430501002 419430501002 on 1 L1"));  // module 2 fault
        EXPECT_TRUE(has(round, "alarm GWE37TAC_AC_0 419410901 off 1 L1"));
        EXPECT_TRUE(has(round, "alarm GWE37TAC_RC_0 419430501 on 11 L4"));
        EXPECT_TRUE(has(round, "alarm GWE37TAC_RC_1 419430501 on 12 L3"));
        EXPECT_TRUE(has(round, "alarm GWE37TAC_RC_7 419240403 off 13 L3"));
    }
}

TEST_F(AlarmReplay, OtherModeRulesUseTheShortIds) {
    const Replay r = replay("mode5.json");
    ASSERT_EQ(r.status, 0);
    ASSERT_EQ(r.rounds.size(), 3u);
    for (const auto& round : r.rounds) {
        // Module 1 reported no alarm bytes; module 2 all seven.
        EXPECT_EQ(round.size(), 2u + 7u + 5u);
        EXPECT_TRUE(has(round, "alarm GWE37TAC_RC_0 06029 on 3 L4"));
        EXPECT_TRUE(has(round, "alarm R905_DC_0 06029 on 5 L2"));
        EXPECT_TRUE(has(round, "alarm R905_DC_4 06029 off 9 L2"));
    }
}

}  // namespace
