// Several devices on one line (smdhost --device, pwrsim --plants): each
// device against a run of its own address alone, each plant's records
// against its truth in replay and live, frames of an address without a
// device, the directives that name a device, and the usage that is refused.
#include <csignal>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <json/json.h>

#include "tests/system/smdhost_support.hpp"

namespace {

using smdtest::Child;
using smdtest::events_of;
using smdtest::only;

const std::string kPwrsim = smdtest::bin("pwrsim");

// A published record's hex without its time stamp (7 bytes at offset 1046).
std::string untimed(std::string hex) {
    if (hex.size() == 2514) hex.replace(2 * 1046, 14, std::string(14, '0'));
    return hex;
}

// The events of device `adr`, without their "adr" member, one line each.
std::vector<std::string> device_story(const std::vector<Json::Value>& events, int adr) {
    Json::StreamWriterBuilder b;
    b["indentation"] = "";
    std::vector<std::string> story;
    for (Json::Value e : events) {
        if (adr >= 0) {
            if (e["adr"].asInt() != adr) continue;
            e.removeMember("adr");
        }
        story.push_back(Json::writeString(b, e));
    }
    return story;
}

// Truth records by address, in round order ("" for a spoiled round).
std::map<int, std::vector<std::string>> truth_by_address(const std::string& path) {
    std::map<int, std::vector<std::string>> truth;
    for (const auto& t : events_of(smdtest::read_file(path)))
        truth[t["adr"].asInt()].push_back(t["record"].isNull() ? "" : t["record"].asString());
    return truth;
}

// Records published by device `adr`, in order.
std::vector<std::string> published(const std::vector<Json::Value>& events, int adr) {
    std::vector<std::string> out;
    for (const auto& p : only(events, "publish"))
        if (p["adr"].asInt() == adr) out.push_back(untimed(p["record"].asString()));
    return out;
}

// Every unspoiled round published its truth, in order, and nothing else
// was published, except a record that completes a round after two spoiled
// ones (the open round goes on into the next cycle; no truth names it).
void expect_truth(const std::vector<std::string>& got, const std::vector<std::string>& truth) {
    std::size_t at = 0;
    for (std::size_t r = 0; r < truth.size(); ++r) {
        if (!truth[r].empty()) {
            ASSERT_LT(at, got.size()) << "round " << r + 1 << " was not published";
            EXPECT_EQ(got[at], truth[r]) << "round " << r + 1;
            ++at;
        } else if (r > 0 && truth[r - 1].empty() && at < got.size()) {
            bool is_a_truth = false;
            for (std::size_t n = r + 1; n < truth.size(); ++n) is_a_truth |= got[at] == truth[n];
            if (!is_a_truth) ++at;
        }
    }
    EXPECT_EQ(at, got.size()) << "records published beyond the rounds";
}

class SmdhostDevices : public ::testing::Test {
protected:
    void SetUp() override {
        if (!smdtest::executable(smdtest::smdhost_path()) || !smdtest::executable(kPwrsim))
            GTEST_SKIP() << "no smdhost or pwrsim in " << SMD_BIN_DIR;
    }

    // A trace of `plants` plants (data ids 1..plants), its truth in truth.jsonl.
    std::string trace(const std::vector<std::string>& extra, const std::string& name = "line.scn") {
        std::vector<std::string> args = {kPwrsim, "trace", "--truth", dir.file("truth.jsonl")};
        args.insert(args.end(), extra.begin(), extra.end());
        const auto r = smdtest::run(args);
        EXPECT_EQ(r.status, 0) << r.err;
        smdtest::write_file(dir.file(name), r.out);
        return dir.file(name);
    }

    // plantN.json: data id N, threshold mode 1.
    void plant_configs(int n) {
        for (int k = 1; k <= n; ++k)
            smdtest::write_file(dir.file("plant" + std::to_string(k) + ".json"),
                                "{\"host\":{\"dataId\":" + std::to_string(k) + "}}");
    }
    smdtest::Result smdhost_replay(const std::string& line, const std::string& store) {
        return smdtest::smdhost({"replay", line, "--format", "json", "--history", store,
                                 "--device", device(1), "--device", device(2), "--device",
                                 device(3)},
                                dir.path());
    }
    std::string device(int adr) const {
        return std::to_string(adr) + "=" + dir.file("plant" + std::to_string(adr) + ".json");
    }

    smdtest::TempDir dir;
};

// One device in threshold mode 1 (with its threshold file), one in mode 2,
// and one whose threshold file is broken: the broken one is reported and
// left out, and each of the others does on the shared line exactly what it
// does alone on its own address, noise and alarms included.
TEST_F(SmdhostDevices, EachDeviceMatchesItsOwnAddressAloneAndABrokenOneIsLeftOut) {
    const std::string line =
        trace({"--plants", "3", "--rounds", "12", "--noise", "5%", "--seed", "4", "--event-rate",
               "30", "--event", "mains@3+4", "--event", "rectifier@6+2"});
    const std::string samples = std::string(SMD_SOURCE_DIR) + "/samples/alarms/";
    ASSERT_EQ(std::system(("mkdir -p '" + dir.file("ini") + "' && cp '" + samples +
                           "ini/7.ini' '" + dir.file("ini/1.ini") + "'")
                              .c_str()),
              0);
    smdtest::write_file(dir.file("ini/3.ini"), "[ALARM]\ndoor=x,2\n");  // no [AI] section
    Json::Value m1, m2;
    Json::Reader().parse(smdtest::read_file(samples + "mode1.json"), m1);
    Json::Reader().parse(smdtest::read_file(samples + "mode2.json"), m2);
    m1["host"]["dataId"] = 1;
    m2["host"]["dataId"] = 2;
    smdtest::write_file(dir.file("mode1.json"), m1.toStyledString());
    smdtest::write_file(dir.file("mode2.json"), m2.toStyledString());
    smdtest::write_file(dir.file("bad.json"), "{\"host\":{\"dataId\":3},\"appSetting\":{\"b_mode\":1}}");

    const auto both = smdtest::smdhost({"replay", line, "--format", "json", "--diagnostics",
                                        "--device", "1=mode1.json", "--device", "2=mode2.json",
                                        "--device", "3=bad.json"},
                                       dir.path());
    EXPECT_EQ(both.status, 1) << "a device left out fails the run at its end";
    EXPECT_NE(both.err.find("device 3 (bad.json): InitSetting failed: No such node (AI); left "
                            "out of the run"),
              std::string::npos)
        << both.err;
    const auto events = events_of(both.out);
    for (const auto& e : events) ASSERT_TRUE(e.isMember("adr")) << e.toStyledString();
    const auto left_out = device_story(events, 3);
    ASSERT_FALSE(left_out.empty());
    EXPECT_NE(left_out.back().find("\"error\":\"No such node (AI)\""), std::string::npos);

    const char* configs[] = {"", "mode1.json", "mode2.json"};
    for (int adr : {1, 2}) {
        SCOPED_TRACE(adr);
        const auto alone = smdtest::smdhost({"replay", line, "--format", "json", "--diagnostics",
                                             "--address", std::to_string(adr), "--config",
                                             configs[adr]},
                                            dir.path());
        ASSERT_EQ(alone.status, 0) << alone.err;
        auto story = device_story(events, adr);
        auto own = device_story(events_of(alone.out), -1);
        // The "line" totals differ by what only several devices have.
        ASSERT_FALSE(story.empty());
        EXPECT_NE(story.back().find("\"no_device\":{\"3\":"), std::string::npos) << story.back();
        story.pop_back();
        own.pop_back();
        EXPECT_EQ(story, own);
        EXPECT_FALSE(only(events_of(alone.out), "publish").empty());
        EXPECT_FALSE(only(events_of(alone.out), "alarm").empty());
    }
}

// The line: three plants, three devices, every record its plant's
// truth, in replay with the records stored under each data id, and live on
// the simulated bus; at 0 % and 5 % noise.
TEST_F(SmdhostDevices, ThreePlantsPublishTheirTruthInReplayAndLive) {
    plant_configs(3);
    for (const char* noise : {"0", "5%"}) {
        SCOPED_TRACE(noise);
        const std::vector<std::string> shape = {"--plants", "3",  "--noise", noise, "--seed",
                                                "7",        "--interval", "1", "--baud", "38400",
                                                "--event-rate", "10"};
        std::vector<std::string> args = shape;
        args.insert(args.end(), {"--rounds", "30"});
        const std::string line = trace(args);
        auto truth = truth_by_address(dir.file("truth.jsonl"));
        ASSERT_EQ(truth.size(), 3u);
        const std::string store = dir.file(std::string("store") + (noise[0] == '0' ? "0" : "5"));
        const auto r = smdhost_replay(line, store);
        ASSERT_EQ(r.status, 0) << r.err;
        const auto events = events_of(r.out);
        for (int adr = 1; adr <= 3; ++adr) {
            SCOPED_TRACE(adr);
            const auto got = published(events, adr);
            expect_truth(got, truth[adr]);
            const auto kept = smdtest::smdhost(
                {"history", store, "--data-id", std::to_string(adr), "--format", "json"});
            EXPECT_EQ(smdtest::lines_of(kept.out).size(), got.size()) << kept.err;
        }

        // Live: the bus plays the same plants; the listener hears its rounds.
        args = shape;
        args.insert(args.end(), {"--rounds", "5"});
        args.insert(args.begin(), {kPwrsim, "bus", "--pty"});
        Child sim(args);
        ASSERT_TRUE(sim.wait_for([](const std::string& out, const std::string&) {
            return out.find('\n') != std::string::npos;
        })) << sim.err();
        const std::string path = sim.out().substr(0, sim.out().find('\n'));
        Child host({smdtest::smdhost_path(), "listen", "--serial", path, "--baud", "38400",
                    "--format", "json", "--device", device(1), "--device", device(2),
                    "--device", device(3)},
                   dir.path());
        // The bus ends after its rounds, and the listener loses the line.
        ASSERT_TRUE(host.wait_for([](const std::string&, const std::string& err) {
            return err.find("lost") != std::string::npos;
        })) << host.err();
        EXPECT_EQ(sim.finish(), 0) << sim.err();
        host.signal(SIGTERM);
        EXPECT_EQ(host.finish(), 0) << host.err();
        const auto heard = events_of(host.out());
        for (int adr = 1; adr <= 3; ++adr) {
            SCOPED_TRACE(adr);
            truth[adr].resize(5);
            expect_truth(published(heard, adr), truth[adr]);
        }
    }
}

TEST_F(SmdhostDevices, FramesOfAnAddressWithoutADeviceAreCountedAndDropped) {
    plant_configs(2);
    const std::string line = trace({"--plants", "3", "--rounds", "2"});
    std::size_t third = 0;
    for (const auto& l : smdtest::lines_of(smdtest::read_file(line)))
        if (l.compare(0, 5, "~2003") == 0) ++third;
    ASSERT_GT(third, 0u);
    const auto r = smdtest::smdhost({"replay", line, "--format", "json", "--diagnostics",
                                     "--device", device(1), "--device", device(2)});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto lines = only(events_of(r.out), "line");
    ASSERT_EQ(lines.size(), 2u);
    for (const auto& l : lines)
        EXPECT_EQ(l["no_device"]["3"].asUInt64(), third) << l.toStyledString();
    const auto text = smdtest::smdhost({"replay", line, "--format", "text", "--device", device(1),
                                        "--device", device(2)});
    EXPECT_NE(text.out.find("adr 2 id 2 |   no device       " + std::to_string(third) +
                            " frames at adr 3, dropped"),
              std::string::npos)
        << text.out;
}

TEST_F(SmdhostDevices, DirectivesAndFramesReachEveryDeviceOrTheOneNamed) {
    plant_configs(2);
    smdtest::write_file(dir.file("calls.scn"),
                        "!refresh\n!reset adr=2\n!get adr=1 ac.1.a\n> adr=2 40 42 FF\n");
    const auto r = smdtest::smdhost({"replay", dir.file("calls.scn"), "--format", "json",
                                     "--device", device(1), "--device", device(2)});
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> calls;
    for (const auto& e : events_of(r.out))
        if (e["ev"] == "value" || e["ev"] == "payload" || (e["ev"] == "call" && e["op"] != "init"))
            calls.push_back((e["ev"] == "call" ? e["op"].asString() : e["ev"].asString()) + " " +
                            e["adr"].asString());
    EXPECT_EQ(calls, (std::vector<std::string>{"refresh 1", "refresh 2", "reset 2", "value 1",
                                               "payload 2"}));
}

// What is refused, and with which status.
TEST_F(SmdhostDevices, RefusedUsageAndFailures) {
    plant_configs(2);
    smdtest::write_file(dir.file("same.json"), "{\"host\":{\"dataId\":1}}");
    smdtest::write_file(dir.file("bad.json"), "{\"host\":{\"dataId\":3},\"appSetting\":{\"b_mode\":1}}");
    ASSERT_EQ(std::system(("mkdir -p '" + dir.file("ini") + "' && printf '[X]\\n' > '" +
                           dir.file("ini/3.ini") + "'")
                              .c_str()),
              0);
    smdtest::write_file(dir.file("named.scn"), "!get adr=5 ac.1.a\n");
    smdtest::write_file(dir.file("plain.scn"), "!refresh adr=1\n");
    const std::string p1 = device(1), p2 = device(2);
    const std::string named = dir.file("named.scn"), plain = dir.file("plain.scn");
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string err;  // part of standard error
    };
    const Case cases[] = {
        {{"replay", plain, "--device", p1, "--config", "plant1.json"}, 2, "not with --config"},
        {{"replay", plain, "--device", p1, "--address", "1"}, 2, "not with --address"},
        {{"replay", plain, "--device", p1, "--device", "1=same.json"}, 2,
         "'1=same.json': address 1 already has a device ('" + p1 + "')"},
        {{"replay", plain, "--device", "256=plant1.json"}, 2, "is not a device address"},
        {{"replay", plain, "--device", "plant1.json"}, 2, "is not ADDR=CONFIG"},
        {{"replay", plain, "--device", p1, "--device", "2=same.json"}, 2,
         "--device 2=same.json: data id 1 is also that of --device " + p1},
        {{"replay", named, "--device", p1, "--device", p2}, 2,
         "named.scn:1: adr=5: no --device at that address"},
        {{"replay", plain}, 2, "plain.scn:1: adr=1 names a device, but no --device was given"},
        {{"replay", plain, "--device", "1=bad.json"}, 1, "no device started"},
        {{"replay", plain, "--device", "1=missing.json"}, 1, "missing.json"},
        {{"check", "1=plant1.json", "2=same.json"}, 1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args.back());
        const auto r = smdtest::smdhost(c.args, dir.path());
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    }
    const auto check = smdtest::smdhost({"check", "1=plant1.json", "2=same.json"}, dir.path());
    EXPECT_NE(check.out.find("error: data id 1 is also that of plant1.json"), std::string::npos)
        << check.out;
    for (const char* plants : {"0", "33"})
        EXPECT_EQ(smdtest::run({kPwrsim, "trace", "--plants", plants}).status, 2) << plants;
}

}  // namespace
