// smdhost replay run as a user runs it: exit statuses, malformed lines,
// the order and shape of the JSON events, raw captures on wire time, the
// address filter and the text view.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/system/smdhost_support.hpp"

namespace {

using smdtest::events_of;
using smdtest::only;
using smdtest::Result;
using smdtest::TempDir;
using smdtest::write_file;

class SmdhostReplay : public ::testing::Test {
protected:
    void SetUp() override {
        if (!smdtest::executable(smdtest::smdhost_path()))
            GTEST_SKIP() << "no smdhost at " << smdtest::smdhost_path();
    }

    // Writes `scenario` as s.scn in the scratch folder and replays it there.
    Result replay(const std::string& scenario, std::vector<std::string> extra = {}) {
        write_file(dir.file("s.scn"), scenario);
        std::vector<std::string> args = {"replay", "s.scn", "--format", "json"};
        args.insert(args.end(), extra.begin(), extra.end());
        return smdtest::smdhost(args, dir.path());
    }

    // Events without the plug-in's log lines.
    static std::vector<Json::Value> calls(const Result& r) {
        std::vector<Json::Value> out;
        for (const auto& e : events_of(r.out))
            if (e["ev"].asString() != "log") out.push_back(e);
        return out;
    }

    TempDir dir;
};

// One short description per event, for order checks.
std::string brief(const Json::Value& e) {
    const std::string ev = e["ev"].asString();
    if (ev == "payload")
        return "payload " + e["cid1"].asString() + "/" + e["cid2"].asString() + " " +
               e["len"].asString() + " -> " + e["result"].asString();
    if (ev == "error") return "error " + e["reason"].asString() + " -> " + e["result"].asString();
    if (ev == "call")
        return "call " + e["op"].asString() + " " +
               (e.isMember("error") ? "error" : e["result"].asString());
    if (ev == "log") return "log " + e["line"].asString();
    return ev;
}

std::vector<unsigned char> record_of(const Json::Value& publish) {
    return smdtest::unhex(publish["record"].asString());
}

float f32_at(const std::vector<unsigned char>& r, std::size_t off) {
    float v;
    unsigned char b[4] = {r.at(off), r.at(off + 1), r.at(off + 2), r.at(off + 3)};
    std::memcpy(&v, b, 4);  // little-endian host, as the record
    return v;
}

unsigned u32_at(const std::vector<unsigned char>& r, std::size_t off) {
    return r.at(off) | r.at(off + 1) << 8 | r.at(off + 2) << 16 | static_cast<unsigned>(r.at(off + 3)) << 24;
}

std::vector<unsigned char> stamp_of(const std::vector<unsigned char>& r) {
    return std::vector<unsigned char>(r.begin() + 1046, r.begin() + 1053);
}

TEST_F(SmdhostReplay, MalformedLineStopsBeforeAnythingRunsWithFileAndLine) {
    write_file(dir.file("bad.json"), "{ not json");
    const std::vector<std::string> bad = {
        "foo",
        "> 4 42",
        "> 40 42 0",
        "> 40 42 ZZ",
        "@+abc",
        "@+-1",
        "@=2026-13-01T00:00:00",
        "@=2026-01-01 00:00:00",
        "!bogus",
        "!get",
        "!get out_v x",
        "!ioctl",
        "!ioctl 300 out=abc",
        "!ioctl 300 out=99999999",
        "!load 0G",
        "!load @missing.bin",
        "!init @missing.json",
        "!init @bad.json",
        "!init something",
        "!reset now",
        std::string("~2001\0" "4042", 10),
    };
    for (const auto& line : bad) {
        SCOPED_TRACE(line);
        const Result r = replay("# a comment\n\n" + line + "\n> 40 42 01\n");
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find("s.scn:3: "), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");  // the plug-in saw nothing
    }
}

TEST_F(SmdhostReplay, MalformedLineInALaterFileNamesThatFile) {
    write_file(dir.file("a.scn"), "> 40 42 01\n");
    write_file(dir.file("b.scn"), "@+1\n!nope\n");
    const Result r = smdtest::smdhost({"replay", "a.scn", "b.scn"}, dir.path());
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("b.scn:2: "), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
}

TEST_F(SmdhostReplay, BadUsageExitsTwo) {
    write_file(dir.file("s.scn"), "!refresh\n");
    const std::vector<std::vector<std::string>> bad = {
        {"replay"},
        {"replay", "s.scn", "--format", "xml"},
        {"replay", "s.scn", "--address", "300"},
        {"replay", "s.scn", "--baud", "0"},
        {"replay", "s.scn", "--baud", "9601"},  // not a line speed, as for listen
        {"replay", "s.scn", "--frobnicate"},
        {"replay", "s.scn", "--config"},
        {"replay", "missing.scn"},
        {"listen"},
        {"listen", "--serial", "/dev/null", "--baud", "12345"},
        {"dance"},
    };
    for (const auto& args : bad) {
        SCOPED_TRACE(args.back());
        const Result r = smdtest::smdhost(args, dir.path());
        EXPECT_EQ(r.status, 2);
        EXPECT_FALSE(r.err.empty());
        EXPECT_EQ(r.out, "");
    }
}

TEST_F(SmdhostReplay, UnloadablePluginOrUnreadableConfigurationExitsOne) {
    write_file(dir.file("s.scn"), "!refresh\n");
    write_file(dir.file("not_a_plugin.so"), "text");
    write_file(dir.file("broken.json"), "{\"appSetting\": ");
    write_file(dir.file("array.json"), "[1, 2]");
    write_file(dir.file("host_array.json"), "{\"host\": []}");
    write_file(dir.file("level_text.json"), "{\"host\": {\"levels\": {\"120600180010\": \"x\"}}}");
    write_file(dir.file("data_id.json"), "{\"host\": {\"dataId\": -4}}");
    const std::vector<std::vector<std::string>> bad = {
        {"--plugin", "/nonexistent/plugin.so"},
        {"--plugin", "not_a_plugin.so"},
        {"--config", "missing.json"},
        {"--config", "broken.json"},
        {"--config", "array.json"},
        {"--config", "host_array.json"},
        {"--config", "level_text.json"},
        {"--config", "data_id.json"},
    };
    for (const auto& extra : bad) {
        SCOPED_TRACE(extra.back());
        std::vector<std::string> args = {"replay", "s.scn"};
        args.insert(args.end(), extra.begin(), extra.end());
        const Result r = smdtest::smdhost(args, dir.path());
        EXPECT_EQ(r.status, 1);
        EXPECT_FALSE(r.err.empty());
        EXPECT_TRUE(only(events_of(r.out), "call").empty()) << r.out;
    }
}

TEST_F(SmdhostReplay, TinyScenarioEventsComeInCallOrder) {
    const Result r = replay(
        "> 40 42 01\n"
        "~20014042E00201FD3A\n"  // checksum off by one
        "!error\n"
        "~2001404\n"             // ends at the line end: too short
        "!refresh\n");
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> seen;
    for (const auto& e : calls(r)) seen.push_back(brief(e));
    const std::vector<std::string> expected = {
        "host_init",          "call init 1",      "payload 40/42 1 -> 1", "error checksum -> 1",
        "error script -> 1",  "error length -> 1", "call refresh 1",
    };
    EXPECT_EQ(seen, expected);
    for (const auto& e : events_of(r.out)) EXPECT_NE(e["ev"].asString(), "<not json>");
}

TEST_F(SmdhostReplay, FullRoundIsPublishedWithTheHostDataIdAndClock) {
    write_file(dir.file("c.json"), "{\"host\": {\"dataId\": 9}}");
    const Result r = replay("@=2026-03-04T05:06:07\n" + smdtest::full_round(), {"--config", "c.json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto events = calls(r);
    const auto publishes = only(events, "publish");
    ASSERT_EQ(publishes.size(), 1u);
    EXPECT_EQ(publishes[0]["type"].asInt(), 5535);
    EXPECT_EQ(publishes[0]["len"].asInt(), 1257);
    const auto rec = record_of(publishes[0]);
    ASSERT_EQ(rec.size(), 1257u);
    EXPECT_EQ(u32_at(rec, 0), 9u);
    EXPECT_FLOAT_EQ(f32_at(rec, 41), 220.0f);    // AC 1 phase A
    EXPECT_FLOAT_EQ(f32_at(rec, 85), 53.5f);     // rectifier voltage
    EXPECT_EQ(rec[89], 2);                       // rectifiers
    EXPECT_FLOAT_EQ(f32_at(rec, 854), 53.5f);    // DC 1 voltage
    EXPECT_EQ(stamp_of(rec), (std::vector<unsigned char>{0x07, 0xEA, 3, 4, 5, 6, 7}));
    // Publication, evaluation, history, then the frame's own event (result 0).
    std::vector<std::string> tail;
    bool after = false;
    for (const auto& e : events) {
        if (e["ev"].asString() == "publish") after = true;
        if (after && (e["ev"].asString() == "publish" || e["ev"].asString() == "history" ||
                      e["ev"].asString() == "payload"))
            tail.push_back(brief(e));
    }
    EXPECT_EQ(tail, (std::vector<std::string>{"publish", "history", "payload 42/00 5 -> 0"}));
    EXPECT_EQ(only(events, "history")[0]["len"].asInt(), 1257);
}

TEST_F(SmdhostReplay, PluginLogLinesAppearWhereTheyWerePrinted) {
    const Result r = replay(smdtest::full_round() + "!get out_v\n!reset\n");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto events = events_of(r.out);
    std::vector<std::string> seen;
    for (const auto& e : events) {
        const std::string b = brief(e);
        if (b == "publish" || b == "history" || b == "batch" || b == "value" ||
            b.compare(0, 4, "log ") == 0 || b.compare(0, 10, "call reset") == 0)
            seen.push_back(b);
    }
    // Start-up lines of the settings reader come first; from the
    // publication on, each log line sits between the calls around it.
    const auto from = std::find(seen.begin(), seen.end(), "publish");
    ASSERT_NE(from, seen.end());
    const std::vector<std::string> round(from, seen.end());
    ASSERT_GE(round.size(), 9u);
    EXPECT_EQ(round[0], "publish");
    EXPECT_EQ(round[1], "log pmbuspower_419 data_id:1 reset called");
    const auto rv = std::find_if(round.begin(), round.end(), [](const std::string& s) {
        return s.compare(0, 14, "log rvSize is ") == 0;
    });
    ASSERT_NE(rv, round.end());
    ASSERT_LT(rv + 2, round.end());
    EXPECT_EQ(*(rv + 1), "batch");
    EXPECT_EQ(*(rv + 2), "history");
    const std::vector<std::string> last(round.end() - 4, round.end());
    EXPECT_EQ(last, (std::vector<std::string>{"log in pmbuspower_419 Get_Value", "value",
                                              "log pmbuspower_419 data_id:1 reset called",
                                              "call reset 1"}));
    // The count printed is the count handed over.
    const auto batch = only(events, "batch");
    ASSERT_FALSE(batch.empty());
    EXPECT_EQ(rv->substr(14), batch.back()["rules"].asString());
}

TEST_F(SmdhostReplay, ThousandsOfLogLinesKeepTheirPlaces) {
    std::string scenario;
    for (int k = 0; k < 3000; ++k) scenario += "!get out_v\n";
    const Result r = replay(scenario);
    ASSERT_EQ(r.status, 0) << r.err;
    const auto events = events_of(r.out);
    std::size_t k = 0;
    while (k < events.size() && events[k]["ev"].asString() != "call") ++k;
    ++k;  // after the start-up call
    int pairs = 0;
    for (; k + 1 < events.size(); k += 2) {
        EXPECT_EQ(brief(events[k]), "log in pmbuspower_419 Get_Value");
        EXPECT_EQ(events[k + 1]["ev"].asString(), "value");
        ++pairs;
    }
    EXPECT_EQ(pairs, 3000);
}

TEST_F(SmdhostReplay, GetReportsValuesAndRefusals) {
    const Result r = replay("!get out_v\n" + smdtest::full_round() +
                         "!get out_v 7\n!get ac1\n!get dc\n@+60\n!get out_v\n@+1\n!get out_v\n");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto values = only(events_of(r.out), "value");
    ASSERT_EQ(values.size(), 6u);
    EXPECT_EQ(values[0]["error"].asString(), "数据未就绪");
    EXPECT_FALSE(values[0].isMember("value"));
    EXPECT_EQ(values[1]["name"].asString(), "out_v");
    EXPECT_DOUBLE_EQ(values[1]["value"].asDouble(), 53.5);
    EXPECT_DOUBLE_EQ(values[2]["value"].asDouble(), 0.0);  // 220 V is not below 150
    EXPECT_EQ(values[3]["error"].asString(), "不支持变量");
    EXPECT_DOUBLE_EQ(values[4]["value"].asDouble(), 53.5);
    EXPECT_EQ(values[5]["error"].asString(), "数据已超时");
    // Nine significant digits, plain JSON numbers; the host clock last.
    EXPECT_NE(r.out.find("{\"ev\":\"value\",\"name\":\"out_v\",\"value\":53.5,"
                         "\"t\":\"2026-01-01T00:00:00.000+00:00\"}"),
              std::string::npos);
}

TEST_F(SmdhostReplay, NonFiniteValuesAreWrittenAsStrings) {
    std::string record(1257, '\0');
    const unsigned char nan_bytes[4] = {0x00, 0x00, 0xC0, 0x7F};
    std::memcpy(&record[854], nan_bytes, 4);  // DC 1 voltage
    write_file(dir.file("nan.bin"), record);
    const unsigned char inf_bytes[4] = {0x00, 0x00, 0x80, 0xFF};
    std::memcpy(&record[854], inf_bytes, 4);
    write_file(dir.file("ninf.bin"), record);
    const Result r = replay("!load @nan.bin\n!get out_v\n!load @ninf.bin\n!get out_v\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("{\"ev\":\"value\",\"name\":\"out_v\",\"value\":\"nan\",\"t\":"), std::string::npos);
    EXPECT_NE(r.out.find("{\"ev\":\"value\",\"name\":\"out_v\",\"value\":\"-inf\",\"t\":"), std::string::npos);
}

TEST_F(SmdhostReplay, IoctlEventShapes) {
    const Result r = replay(
        "!ioctl 300 hex:07EA0101000000\n"
        "!ioctl 300 hex:0102\n"
        "!ioctl 5 out=2\n"
        "!ioctl 5\n"
        "!ioctl 310 out=8 {\"signal_id\":\"4196A3101001\",\"SetValue\":\"53.5\"}\n"
        "!ioctl 310 {broken\n"
        // Stricter than the library's default reader: a trailing comma and a
        // leading byte-order mark are syntax errors, so nothing is sent.
        "!ioctl 310 {\"signal_id\":\"4196A3101001\",\"SetValue\":\"53.5\",}\n"
        "!ioctl 310 \xEF\xBB\xBF{\"signal_id\":\"4196A3101001\",\"SetValue\":\"53.5\"}\n");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto events = events_of(r.out);
    const auto ioctls = only(events, "ioctl");
    ASSERT_EQ(ioctls.size(), 8u);
    EXPECT_EQ(ioctls[0]["code"].asInt(), 300);
    EXPECT_EQ(ioctls[0]["out"].asInt(), 1);
    EXPECT_EQ(ioctls[0]["out_len"].asInt(), 4);
    EXPECT_EQ(ioctls[1]["result"].asInt(), -1);  // not 7 bytes
    EXPECT_TRUE(ioctls[1]["out"].isNull());
    EXPECT_EQ(ioctls[1]["out_len"].asInt(), 0);
    EXPECT_TRUE(ioctls[2]["out"].isNull());      // an output too small for an int
    EXPECT_EQ(ioctls[2]["out_len"].asInt(), 0);
    EXPECT_EQ(ioctls[3]["out"].asInt(), -1);     // state of the last control
    EXPECT_EQ(ioctls[3]["out_len"].asInt(), 4);
    EXPECT_EQ(ioctls[4]["result"].asInt(), 0);
    EXPECT_EQ(ioctls[5]["result"].asInt(), -1);
    EXPECT_EQ(ioctls[6]["result"].asInt(), -1);
    EXPECT_EQ(ioctls[7]["result"].asInt(), -1);
    const auto sends = only(events, "send");
    ASSERT_EQ(sends.size(), 2u);
    EXPECT_EQ(sends[0]["info"].asString(), "07EA0101000000");
    EXPECT_EQ(sends[1]["cid1"].asString(), "42");
    EXPECT_EQ(sends[1]["cid2"].asString(), "48");
    EXPECT_EQ(sends[1]["info"].asString(), "DC00005642");
}

TEST_F(SmdhostReplay, LoadTakesBytesOrAFileBesideTheScenario) {
    std::string record(1257, '\0');
    record[0] = 77;
    record[89] = 3;
    record[1046] = 0x55;  // the time stamp is the host's to write
    ASSERT_EQ(mkdir(dir.file("sub").c_str(), 0700), 0);
    write_file(dir.file("sub/rec.bin"), record);
    write_file(dir.file("sub/s.scn"), "!load 0102\n!load @rec.bin\n!load\n");
    const Result r = smdtest::smdhost({"replay", "sub/s.scn"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const auto events = events_of(r.out);
    const auto loads = only(events, "call");
    std::vector<std::string> results;
    for (const auto& e : loads) results.push_back(brief(e));
    EXPECT_EQ(results, (std::vector<std::string>{"call init 1", "call load 0", "call load 1",
                                                 "call load 0"}));
    const auto publishes = only(events, "publish");
    ASSERT_EQ(publishes.size(), 1u);
    auto rec = record_of(publishes[0]);
    EXPECT_EQ(stamp_of(rec), (std::vector<unsigned char>{0x07, 0xEA, 1, 1, 0, 0, 0}));
    std::fill(rec.begin() + 1046, rec.begin() + 1053, 0);
    record[1046] = 0;
    EXPECT_EQ(rec, std::vector<unsigned char>(record.begin(), record.end()));
}

TEST_F(SmdhostReplay, InitAgainKeepsTheHostState) {
    write_file(dir.file("c.json"), "{\"host\": {\"dataId\": 9}}");
    write_file(dir.file("other.json"), "{\"host\": {\"dataId\": 5}, \"appSetting\": {}}");
    const Result r = replay("!init @other.json\n!init\n" + smdtest::full_round(),
                         {"--config", "c.json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto events = calls(r);
    EXPECT_EQ(only(events, "host_init").size(), 3u);
    EXPECT_EQ(only(events, "call").size(), 3u);
    const auto publishes = only(events, "publish");
    ASSERT_EQ(publishes.size(), 1u);
    EXPECT_EQ(u32_at(record_of(publishes[0]), 0), 9u);
}

TEST_F(SmdhostReplay, AddressFilterKeepsOtherDevicesFramesAway) {
    const std::vector<unsigned char> info = {0x01};
    std::string for_two = smdhost::encode_frame(0x20, 0x02, 0x40, 0x43, info.data(), 1);
    for_two.pop_back();  // the line end is the EOI
    const std::string scenario = "> 40 42 01\n" + for_two + "\n";
    const Result all = replay(scenario);
    const Result two = replay(scenario, {"--address", "2"});
    const Result hex_two = replay(scenario, {"--address", "0x02"});
    ASSERT_EQ(all.status, 0) << all.err;
    ASSERT_EQ(two.status, 0) << two.err;
    std::vector<std::string> seen_all;
    for (const auto& e : only(events_of(all.out), "payload")) seen_all.push_back(brief(e));
    EXPECT_EQ(seen_all, (std::vector<std::string>{"payload 40/42 1 -> 1", "payload 40/43 1 -> 1"}));
    std::vector<std::string> seen_two;
    for (const auto& e : only(events_of(two.out), "payload")) seen_two.push_back(brief(e));
    EXPECT_EQ(seen_two, (std::vector<std::string>{"payload 40/43 1 -> 1"}));
    EXPECT_EQ(two.out, hex_two.out);
}

TEST_F(SmdhostReplay, RawCaptureRunsOnWireTime) {
    // 96000 bytes of line noise before the round: 100 s at 9600 baud.
    const std::string wire = std::string(96000, 'x') + smdtest::full_round_wire();
    write_file(dir.file("cap.raw"), wire);
    for (unsigned baud : {9600u, 4800u}) {
        SCOPED_TRACE(baud);
        const Result r = smdtest::smdhost({"replay", "--raw", "cap.raw", "--baud", std::to_string(baud)},
                                       dir.path());
        ASSERT_EQ(r.status, 0) << r.err;
        const auto events = events_of(r.out);
        EXPECT_EQ(only(events, "payload").size(), 16u);
        EXPECT_TRUE(only(events, "error").empty());
        const auto publishes = only(events, "publish");
        ASSERT_EQ(publishes.size(), 1u);
        // The last byte of the round ends at (bytes x 10 bits / baud) seconds.
        const long secs = static_cast<long>(std::floor(wire.size() * 10.0 / baud));
        const auto stamp = stamp_of(record_of(publishes[0]));
        EXPECT_EQ(stamp[4] * 3600 + stamp[5] * 60 + stamp[6], secs);
    }
}

TEST_F(SmdhostReplay, RawCaptureReportsFramingFaults) {
    std::string wire = "~2001" + smdtest::full_round_wire();  // broken by the first SOI
    wire += "~2001404G00000000\r";  // a non-hex character
    write_file(dir.file("cap.raw"), wire);
    const Result r = smdtest::smdhost({"replay", "--raw", "cap.raw"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> errors;
    for (const auto& e : only(events_of(r.out), "error")) errors.push_back(brief(e));
    EXPECT_EQ(errors, (std::vector<std::string>{"error broken -> 1", "error hex -> 1"}));
}

TEST_F(SmdhostReplay, TextViewSummarisesRoundsAndAlarmChanges) {
    write_file(dir.file("c.json"), "{\"host\": {\"levels\": {\"120600180010\": 2}}}");
    write_file(dir.file("s.scn"), smdtest::full_round() + "@+130\n!reset\n" +
                                      "~20014042E00201FD3A\n" + smdtest::full_round());
    const Result r = smdtest::smdhost({"replay", "s.scn", "--config", "c.json", "--format", "text"},
                                   dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string& t = r.out;
    EXPECT_EQ(t.find("{\"ev\""), std::string::npos);
    // Blocks are headed by the cycle they came in; the bad frame is told by
    // the line-health line of the cycle it came before.
    const auto round1 = t.find("cycle 1  2026-01-01 00:00:00");
    const auto raised = t.find("alarm + 设备智能口通信状态告警 (通信异常)  id 120600180010  level 2");
    const auto round2 = t.find("cycle 2  2026-01-01 00:02:10");
    const auto cleared = t.find("alarm - 设备智能口通信状态告警 (通信异常)  id 120600180010");
    const auto bad = t.find("  line: 1 bad frame since the last cycle (checksum 1)");
    ASSERT_NE(round1, std::string::npos) << t;
    ASSERT_NE(raised, std::string::npos) << t;
    ASSERT_NE(bad, std::string::npos) << t;
    ASSERT_NE(round2, std::string::npos) << t;
    ASSERT_NE(cleared, std::string::npos) << t;
    EXPECT_LT(round1, raised);
    EXPECT_LT(raised, round2);
    EXPECT_LT(round2, cleared);
    EXPECT_LT(cleared, bad);
    // Values under their catalogue names, with units.
    EXPECT_NE(t.find("  ac.1          a  220.0 V  b  221.0 V  c  219.0 V  frequency  50.00 Hz"),
              std::string::npos);
    EXPECT_NE(t.find("  rect          count 2  voltage  53.50 V  current sum   30.0 A  fault: rect.2"),
              std::string::npos);
    EXPECT_NE(t.find("  dc.1          voltage  53.50 V  current   30.0 A"), std::string::npos);
    EXPECT_NE(t.find("  dc.1.battery  1.current    5.0 A"), std::string::npos);
    // The plug-in's log is only shown on request.
    EXPECT_EQ(t.find("rvSize"), std::string::npos);
    const Result v = smdtest::smdhost(
        {"replay", "s.scn", "--config", "c.json", "--format", "text", "-v"}, dir.path());
    EXPECT_NE(v.out.find("| rvSize is "), std::string::npos);
}

}  // namespace

namespace {

TEST(SmdhostHelp, EveryOptionIsDescribed) {
    if (!smdtest::executable(smdtest::smdhost_path())) GTEST_SKIP() << "no smdhost";
    const auto top = smdtest::smdhost({"--help"});
    EXPECT_EQ(top.status, 0);
    for (const char* w : {"replay", "listen", "stats", "--version", "--help"})
        EXPECT_NE(top.out.find(w), std::string::npos) << w;
    const std::vector<std::string> common = {"--config", "--plugin", "--format", "--address",
                                             "--baud", "--verbose", "--diagnostics", "--help"};
    const auto replay = smdtest::smdhost({"replay", "--help"});
    EXPECT_EQ(replay.status, 0);
    auto want = common;
    for (const char* w : {"--raw", "!ioctl", "!load", "!init", "@+S", "@="}) want.push_back(w);
    for (const auto& w : want) EXPECT_NE(replay.out.find(w), std::string::npos) << w;
    const auto listen = smdtest::smdhost({"listen", "--help"});
    EXPECT_EQ(listen.status, 0);
    want = common;
    for (const char* w : {"--serial", "--reset-every", "--record"}) want.push_back(w);
    for (const auto& w : want) EXPECT_NE(listen.out.find(w), std::string::npos) << w;
    const auto stats = smdtest::smdhost({"stats", "--help"});
    EXPECT_EQ(stats.status, 0);
    for (const char* w : {"--raw", "--baud", "--format"}) EXPECT_NE(stats.out.find(w), std::string::npos) << w;
    const auto version = smdtest::smdhost({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.compare(0, 8, "smdhost "), 0);
}

TEST(SmdhostHelp, BothProgramsShareTheHelpLayoutAndVersion) {
    const std::string pwrsim = smdtest::bin("pwrsim");
    if (!smdtest::executable(smdtest::smdhost_path()) || !smdtest::executable(pwrsim))
        GTEST_SKIP() << "no smdhost or pwrsim";
    const std::vector<std::vector<std::string>> helps = {
        {smdtest::smdhost_path(), "--help"},         {smdtest::smdhost_path(), "replay", "--help"},
        {smdtest::smdhost_path(), "listen", "--help"}, {smdtest::smdhost_path(), "history", "--help"},
        {smdtest::smdhost_path(), "decode", "--help"}, {smdtest::smdhost_path(), "check", "--help"},
        {pwrsim, "--help"},                          {pwrsim, "trace", "--help"},
        {pwrsim, "serve", "--help"},                 {pwrsim, "bus", "--help"},
    };
    for (const auto& args : helps) {
        SCOPED_TRACE(args[1]);
        const auto r = smdtest::run(args);
        EXPECT_EQ(r.status, 0);
        EXPECT_NE(r.out.find("\noptions:\n  -h, --help "), std::string::npos) << r.out;
        for (const auto& line : smdtest::lines_of(r.out))
            EXPECT_LE(line.size(), 80u) << "wider than 80 columns: " << line;
    }
    const auto version = smdtest::run({pwrsim, "--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.compare(0, 7, "pwrsim "), 0) << version.out;
    // One error line, the same shape in both programs.
    for (const auto& args : std::vector<std::vector<std::string>>{
             {smdtest::smdhost_path(), "listen", "--serial", "x", "--baud", "96OO"},
             {pwrsim, "serve", "--pty", "--baud", "96OO"}}) {
        const auto r = smdtest::run(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(smdtest::lines_of(r.err).size(), 1u) << r.err;
        EXPECT_NE(r.err.find("--baud: '96OO' is not one of 300, 600,"), std::string::npos) << r.err;
    }
}

}  // namespace
