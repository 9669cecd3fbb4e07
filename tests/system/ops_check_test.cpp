// smdhost check on the sample configurations under samples/check/: every
// kind of silent conversion, unknown key, skipped threshold item and INI
// error is told, with the exit status that matches; the values shown are the
// ones the plug-in itself ends with.
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/system/smdhost_support.hpp"

namespace {

using smdtest::Result;
using smdtest::TempDir;

const std::string kSamples = std::string(SMD_SOURCE_DIR) + "/samples/check";

class SmdhostCheck : public ::testing::Test {
protected:
    void SetUp() override {
        if (!smdtest::executable(smdtest::smdhost_path()))
            GTEST_SKIP() << "no smdhost at " << smdtest::smdhost_path();
    }

    static Result check(std::vector<std::string> args, const std::string& cwd = kSamples) {
        args.insert(args.begin(), "check");
        return smdtest::smdhost(args, cwd);
    }

    // The line of `key` in the "appSetting" listing and the lines below it
    // up to the next key.
    static std::string key_block(const std::string& out, const std::string& key) {
        const auto lines = smdtest::lines_of(out);
        std::string block;
        for (std::size_t k = 0; k < lines.size(); ++k) {
            if (lines[k].rfind("  " + key + " ", 0) != 0) continue;
            block = lines[k] + "\n";
            for (std::size_t m = k + 1; m < lines.size() && lines[m].rfind("    ", 0) == 0; ++m)
                block += lines[m] + "\n";
            break;
        }
        return block;
    }
};

TEST_F(SmdhostCheck, EverySilentConversionIsFlagged) {
    const Result r = check({"flags.json"});
    EXPECT_EQ(r.status, 0) << "warnings only: " << r.out << r.err;
    struct Case {
        const char* key;
        const char* becomes;
        const char* warning;
    };
    const Case cases[] = {
        {"has_ac", "-> 0", "text \"abc\" starts with no number"},
        {"has_dc", "-> 0", "a JSON boolean reads as its text \"true\""},
        {"has_a", "-> 0", "empty text reads as 0"},
        {"has_b", "-> 1", "lies outside the int range: read as 2147483647"},
        {"ac_line", "-> 2", "the fraction is cut: 2.5 reads as 2"},
        {"ac_type", "-> 1", "only the leading integer of \"1x\" is read: 1"},
        {"no_dc_number", "-> -1 (default)", "null counts as absent"},
        {"dc_i_adjust", "-> 1 (default)", "an array has no text"},
        {"skip_41_41", "-> 1", "only the leading integer of \"1e+20\" is read"},
        {"cg", "-> 0", "cg keeps only the low 8 bits: 256 becomes 0"},
        {"Has_tower", "unknown key, ignored", "keys are case-sensitive: \"has_tower\"?"},
        {"colour", "unknown key, ignored", "the plug-in reads no such key"},
    };
    for (const Case& c : cases) {
        const std::string block = key_block(r.out, c.key);
        EXPECT_NE(block.find(c.becomes), std::string::npos) << c.key << ":\n" << block;
        EXPECT_NE(block.find(c.warning), std::string::npos) << c.key << ":\n" << block;
    }
    // Values the plug-in reads as meant carry no warning.
    EXPECT_EQ(key_block(r.out, "open_41_43").find("warning"), std::string::npos);
    EXPECT_NE(key_block(r.out, "open_41_43").find("-> 1"), std::string::npos);
    EXPECT_NE(key_block(r.out, "has_c").find("(absent)"), std::string::npos);
    EXPECT_NE(r.out.find("threshold mode 2"), std::string::npos);
    EXPECT_NE(r.out.find("\"thresholdSetting\" is ignored in threshold mode 2"), std::string::npos);
    EXPECT_NE(r.out.find("0 errors, 13 warnings"), std::string::npos) << r.out;
}

TEST_F(SmdhostCheck, ACleanConfigurationHasNothingToSay) {
    const Result r = check({"clean.json"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("data id 3 (from \"host\")"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Up   rule 0406001001  threshold 57.5  recovery 56  level 2"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("Low  rule 0406001003  threshold 45  recovery 46  level 2"), std::string::npos);
    EXPECT_NE(r.out.find("0 errors, 0 warnings"), std::string::npos) << r.out;
}

TEST_F(SmdhostCheck, SkippedThresholdItemsAreToldWithTheirReason) {
    Result r = check({"mode5_skips.json"});
    EXPECT_EQ(r.status, 0);
    for (const char* text : {"\"a_not_object\" skipped", "the item is a number, not an object",
                             "\"b_no_id\" skipped", "\"ID\" is missing: the item needs a non-empty \"ID\"",
                             "\"c_empty_name\" skipped", "\"SignalName\" is empty",
                             "\"UpAlarmLevel\" is empty: a limit needs its value, recovery value and level",
                             "the item has no complete limit: it makes no rule",
                             "\"UpValue\" \"high\" is not a number: reads as 0",
                             "replaces the Up rule of item \"f_first\" (same SignalName \"dc_i\")",
                             "3 signal rules in all"})
        EXPECT_NE(r.out.find(text), std::string::npos) << text << "\n" << r.out;

    r = check({"mode3.json"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("\"0406001\" -> 0406001001;406001;1;  \"交流电压\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"0406002\" -> 0406002001;;1;"), std::string::npos);
    EXPECT_NE(r.out.find("\"ID\" is missing: its part of the id is empty"), std::string::npos);
    EXPECT_NE(r.out.find("\"0406003\" skipped"), std::string::npos);
}

TEST_F(SmdhostCheck, IniErrorsNameTheFileAndLine) {
    struct Case {
        const char* dir;
        int status;
        const char* text;
    };
    const Case cases[] = {
        {"ini-broken", 1, "ini-broken/9.ini:4: '=' character not found in line"},
        {"ini-dup", 1, "ini-dup/9.ini:4: duplicate key name"},
        {"ini-no-ai", 1, "no [AI] section (InitSetting fails with \"No such node (AI)\")"},
        {"ini-short-ids", 0, "ini-short-ids/9.ini:3: signal id \"4191\" has fewer than 9 characters"},
        {"ini-short-ids", 0, "ini-short-ids/9.ini:4: signal id \"\" has fewer than 9 characters"},
        {"ini-short-ids", 0, "ini-short-ids/9.ini:5: no comma"},
        {"ini-yaml", 0, "./ini/9.yaml is picked, but the plug-in has no reader for .yaml files"},
        {"ini-yaml", 0, "./ini/9.ini                                 (ini-yaml/9.ini) present, not read"},
        {"ini-tarnel", 0, "./ini/tarnel/tarnel_brelm_pxr52_419.ini     (ini-tarnel/tarnel/tarnel_brelm_pxr52_419.ini) picked"},
        {"ini-tarnel", 0, "dcv           -> 419120300001  419620301001  直流输出电压"},
    };
    for (const Case& c : cases) {
        const Result r = check({"mode1.json", "--ini-dir", c.dir});
        EXPECT_EQ(r.status, c.status) << c.dir << "\n" << r.out;
        EXPECT_NE(r.out.find(c.text), std::string::npos) << c.text << "\n" << r.out;
    }

    TempDir empty;
    const Result none = check({kSamples + "/mode1.json", "--ini-dir", empty.path()});
    EXPECT_EQ(none.status, 0);
    EXPECT_NE(none.out.find("no threshold file: the plug-in logs \"b ini not found\""), std::string::npos)
        << none.out;

    // Without --ini-dir: ./ini of the working directory, as the plug-in.
    const Result cwd = check({"mode1.json"}, std::string(SMD_SOURCE_DIR) + "/samples/alarms");
    EXPECT_EQ(cwd.status, 0) << cwd.out;
    EXPECT_NE(cwd.out.find("./ini/7.ini                                 picked"), std::string::npos)
        << cwd.out;
}

// The check converts with the plug-in's own function: the mode it shows is
// the mode the plug-in logs when it is given the same configuration.
TEST_F(SmdhostCheck, ModeShownIsTheModeThePluginTakes) {
    TempDir dir;
    const char* values[] = {"5", "\"5\"", "5.9", "\"5abc\"", "\" 3\"", "true", "\"x\"", "-7", "4e1"};
    for (const char* v : values) {
        smdtest::write_file(dir.file("c.json"), std::string("{\"appSetting\":{\"b_mode\":") + v + "}}");
        const Result c = check({"c.json"}, dir.path());
        const std::string line = key_block(c.out, "b_mode");
        const auto arrow = line.find("-> ");
        ASSERT_NE(arrow, std::string::npos) << c.out;
        const int shown = std::stoi(line.substr(arrow + 3));

        smdtest::write_file(dir.file("s.scn"), "# start-up only\n");
        const Result rep = smdtest::smdhost(
            {"replay", "s.scn", "--config", "c.json", "--format", "json"}, dir.path());
        ASSERT_EQ(rep.status, 0) << rep.err;
        const std::string logged = "InitSetting 1 b_mode_:" + std::to_string(shown);
        bool found = false;
        for (const auto& e : smdtest::only(smdtest::events_of(rep.out), "log"))
            found = found || e["line"].asString() == logged;
        EXPECT_TRUE(found) << v << ": check shows " << shown << "\n" << rep.out;
    }
}

// One digit lost in an id of the demo's level map: the alarm it grades could
// never be raised. A warning with the nearest id, which --strict fails.
TEST_F(SmdhostCheck, MistypedSignalIdsAreWarnedWithTheNearestKnownId) {
    TempDir dir;
    std::string config = smdtest::read_file(std::string(SMD_SOURCE_DIR) + "/samples/demo/config.json");
    const auto at = config.find("\"220600140010\"");
    ASSERT_NE(at, std::string::npos);
    config.replace(at, 14, "\"22060014001\"");
    smdtest::write_file(dir.file("c.json"), config);
    const std::string warning =
        "c.json: \"host\".\"levels\": 22060014001: no such signal; did you mean 220600140010?";

    Result r = check({"c.json"}, dir.path());
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("warning: " + warning), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("0 errors, 1 warning"), std::string::npos) << r.out;
    EXPECT_EQ(check({"c.json", "--strict"}, dir.path()).status, 1);

    r = check({"c.json", "--format", "json"}, dir.path());
    EXPECT_EQ(r.status, 0);
    const auto docs = smdtest::events_of(r.out);
    ASSERT_EQ(docs.size(), 1u) << r.out;
    EXPECT_EQ(docs[0]["warnings"].asInt(), 1);
    EXPECT_EQ(docs[0]["passed"], true);
    const Json::Value& f = docs[0]["findings"][0];
    EXPECT_EQ(f["message"], warning);
    EXPECT_EQ(f["member"], "\"host\".\"levels\"");
    EXPECT_EQ(f["id"], "22060014001");
    EXPECT_EQ(f["suggestion"], "220600140010");

    // An id of another mode, and an "AI" signal id a digit short of a known one.
    smdtest::write_file(dir.file("m1.json"),
                        "{\"appSetting\":{\"b_mode\":1},\"host\":{\"dataId\":7,"
                        "\"levels\":{\"120600690010\":2}}}");
    ASSERT_EQ(mkdir(dir.file("ini").c_str(), 0755), 0);
    smdtest::write_file(dir.file("ini/7.ini"), "[AI]\nua1=41911010001,A\n");
    r = check({"m1.json", "--strict"}, dir.path());
    EXPECT_EQ(r.status, 1);
    for (const char* text :
         {"m1.json: \"host\".\"levels\": 120600690010: the plug-in reads this level only in "
          "threshold mode 2, not in mode 1",
          "./ini/7.ini:2: [AI] \"ua1\": 41911010001: no such signal; did you mean 419110100001?"})
        EXPECT_NE(r.out.find(text), std::string::npos) << text << "\n" << r.out;
    // The demo's own configuration says nothing.
    EXPECT_NE(check({std::string(SMD_SOURCE_DIR) + "/samples/demo/config.json", "--strict"}).out.find(
                  "0 errors, 0 warnings"),
              std::string::npos);
}

TEST_F(SmdhostCheck, UnreadableConfigurationsAndBadUsage) {
    // A configuration that cannot be read is a failure of the check, told on
    // standard error; standard output carries reports only.
    Result r = check({"not_json.json"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("not_json.json: not valid JSON"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    r = check({"absent.json"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("absent.json"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");

    EXPECT_EQ(check({}).status, 2);
    EXPECT_EQ(check({"flags.json", "--ini-dir", "no-such-folder"}).status, 2);
    EXPECT_EQ(check({"flags.json", "--format", "csv"}).status, 2);
    // Several configurations (the devices of one line) are checked in turn.
    r = check({"flags.json", "clean.json"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_LT(r.out.find("configuration flags.json"), r.out.find("configuration clean.json"));
}

}  // namespace
