// Line diagnostics as a user meets them: the bundled demo's cycles in JSON
// (--diagnostics) and in the text view, a noisy simulated line against its
// truth, `smdhost stats`, and the -v dissection of bad frames.
#include <cstddef>
#include <cstring>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "device/record.hpp"
#include "host/frame_codec.hpp"
#include "tests/system/smdhost_support.hpp"

namespace {

using smdtest::events_of;
using smdtest::only;
using smdtest::Result;
using smdtest::TempDir;

const std::string kDemo = std::string(SMD_SOURCE_DIR) + "/samples/demo/demo.scn";
const std::string kDemoConfig = std::string(SMD_SOURCE_DIR) + "/samples/demo/config.json";

class SmdhostDiagnostics : public ::testing::Test {
protected:
    void SetUp() override {
        if (!smdtest::executable(smdtest::smdhost_path()))
            GTEST_SKIP() << "no smdhost at " << smdtest::smdhost_path();
    }
    TempDir dir;
};

TEST_F(SmdhostDiagnostics, DemoGivesOneCycleEventPerCycleAndALineEventLast) {
    const Result diag = smdtest::smdhost(
        {"replay", kDemo, "--config", kDemoConfig, "--format", "json", "--diagnostics"});
    ASSERT_EQ(diag.status, 0) << diag.err;
    const auto events = events_of(diag.out);
    ASSERT_FALSE(events.empty());

    // Every event carries the host clock, never going back.
    const std::regex iso("[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3}[+-][0-9]{2}:[0-9]{2}");
    std::string last_t;
    for (const auto& e : events) {
        ASSERT_TRUE(e["t"].isString()) << e.toStyledString();
        const std::string t = e["t"].asString();
        EXPECT_TRUE(std::regex_match(t, iso)) << t;
        EXPECT_LE(last_t, t);
        last_t = t;
    }
    EXPECT_EQ(events.front()["t"].asString(), "2026-01-01T00:00:00.000+00:00");

    // Cycles 1..40 in order; a publish within each published cycle (after
    // the cycle event before it, before its own), none within a dropped one.
    std::vector<unsigned> dropped;
    unsigned n = 0, published = 0, publishes_since = 0;
    for (const auto& e : events) {
        const std::string ev = e["ev"].asString();
        if (ev == "publish") ++publishes_since;
        if (ev != "cycle") continue;
        ++n;
        EXPECT_EQ(e["n"].asUInt(), n);
        EXPECT_EQ(e["pairs"].size(), 8u);
        EXPECT_TRUE(std::regex_match(e["start"].asString(), iso));
        if (e["published"].asBool()) {
            ++published;
            EXPECT_EQ(publishes_since, 1u) << "cycle " << n;
            EXPECT_FALSE(e.isMember("reason")) << "cycle " << n;
        } else {
            dropped.push_back(n);
            EXPECT_EQ(publishes_since, 0u) << "cycle " << n;
            EXPECT_FALSE(e["reason"].asString().empty()) << "cycle " << n;
        }
        publishes_since = 0;
    }
    EXPECT_EQ(n, 40u);
    EXPECT_EQ(published, 34u);
    EXPECT_EQ(only(events, "publish").size(), 34u);
    // The cycles the demo's README names as dropped.
    EXPECT_EQ(dropped, (std::vector<unsigned>{1, 3, 9, 10, 23, 26}));

    const Json::Value& line = events.back();
    ASSERT_EQ(line["ev"].asString(), "line");
    EXPECT_EQ(only(events, "line").size(), 1u);
    EXPECT_EQ(line["cycles"].asInt(), 40);
    EXPECT_EQ(line["published"].asInt(), 34);
    EXPECT_EQ(line["dropped"].asInt(), 6);
    EXPECT_EQ(line["bad_frames"]["length"].asInt() + line["bad_frames"]["hex"].asInt(), 4);

    // Without --diagnostics: the same events, no cycle or line among them.
    const Result plain = smdtest::smdhost({"replay", kDemo, "--config", kDemoConfig, "--format", "json"});
    ASSERT_EQ(plain.status, 0) << plain.err;
    std::vector<std::string> kept;
    for (const auto& l : smdtest::lines_of(diag.out))
        if (l.rfind("{\"ev\":\"cycle\"", 0) != 0 && l.rfind("{\"ev\":\"line\"", 0) != 0) kept.push_back(l);
    EXPECT_EQ(kept, smdtest::lines_of(plain.out));
}

TEST_F(SmdhostDiagnostics, DemoTextViewNumbersEveryCycleAndEndsWithASummary) {
    const Result r = smdtest::smdhost({"replay", kDemo, "--config", kDemoConfig, "--format", "text"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::regex block("cycle ([0-9]+)  2026-01-01 [0-9:]{8}  data id 1");
    const std::regex drop("[0-9:]{8}  cycle ([0-9]+) dropped: .+");
    std::map<int, std::string> cycles;  // n -> "block" or "dropped"
    for (const auto& l : smdtest::lines_of(r.out)) {
        std::smatch m;
        const bool shown = std::regex_match(l, m, block);
        if (shown || std::regex_match(l, m, drop)) {
            EXPECT_TRUE(cycles.emplace(std::stoi(m[1]), shown ? "block" : "dropped").second) << l;
        }
    }
    ASSERT_EQ(cycles.size(), 40u) << r.out;
    EXPECT_EQ(cycles.begin()->first, 1);
    EXPECT_EQ(cycles.rbegin()->first, 40);
    for (int n : {1, 3, 9, 10, 23, 26}) EXPECT_EQ(cycles[n], "dropped") << n;
    // A dropped cycle is one line, its reason on it.
    EXPECT_NE(r.out.find("00:00:40  cycle 9 dropped: 40/43 no response\n"), std::string::npos) << r.out;
    // The mains failure as the README tells it: alarms raised with cycle 8.
    const auto c8 = r.out.find("cycle 8  2026-01-01 00:00:36");
    ASSERT_NE(c8, std::string::npos);
    EXPECT_NE(r.out.find("  ac.1          a    0.0 V  b    0.0 V  c    0.0 V  frequency   0.00 Hz", c8),
              std::string::npos);
    EXPECT_LT(r.out.find("alarm + 001#48V直流系统交流输入停电告警", c8), r.out.find("cycle 9 dropped"));
    const auto summary = r.out.find("line summary\n");
    ASSERT_NE(summary, std::string::npos) << r.out;
    EXPECT_NE(r.out.find("  cycles          40 seen, 34 published, 6 dropped\n", summary), std::string::npos);
    EXPECT_NE(r.out.find("  frames          671 (4 bad: length 3, hex 1; 1 duplicate)\n", summary),
              std::string::npos);
    EXPECT_NE(r.out.find("  alarms          none active", summary), std::string::npos);
}

TEST_F(SmdhostDiagnostics, InvalidReadingsShowAsInvalid) {
    // A cached record whose AC phase A current is the invalid-value marker
    // and whose DC voltage is NaN: the block says so instead of a number.
    std::string record(sizeof(pxr52_419_Data_t), '\0');
    const unsigned char marker[4] = {0xCD, 0xCC, 0xCC, 0xBD};
    const unsigned char nan[4] = {0x00, 0x00, 0xC0, 0x7F};
    std::memcpy(&record[offsetof(pxr52_419_Data_t, ia)], marker, 4);
    std::memcpy(&record[offsetof(pxr52_419_Data_t, dc0) + offsetof(dcScreen_t, dc_v)], nan, 4);
    smdtest::write_file(dir.file("r.bin"), record);
    smdtest::write_file(dir.file("s.scn"), "!load @r.bin\n");
    const Result r = smdtest::smdhost({"replay", "s.scn", "--format", "text"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("record loaded from cache"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("  ac.current    a invalid A  b    0.0 A  c    0.0 A"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("  dc.1          voltage invalid V  current    0.0 A"), std::string::npos) << r.out;
    // A cached record is no cycle of the line.
    EXPECT_NE(r.out.find("0 seen, 0 published, 0 dropped"), std::string::npos) << r.out;
}

// ---------------------------------------------------------------- a noisy line

// What came through intact in each round of a trace: pairs whose command
// and whose response (return code 0, right after it) were both good frames.
struct TraceRounds {
    std::vector<int> first_line;                 // scenario line of "# round N"
    std::vector<std::set<std::string>> intact;   // per round
    int round_of(int line) const {
        int r = -1;
        for (std::size_t k = 0; k < first_line.size() && first_line[k] <= line; ++k) r = static_cast<int>(k);
        return r;
    }
};

std::string pair_text(unsigned char cid1, unsigned char cid2) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02X/%02X", cid1, cid2);
    return buf;
}

TraceRounds read_trace(const std::string& scenario) {
    TraceRounds t;
    smdhost::FrameDecoder d(true);
    std::string command;  // the good command heard last, "" after anything else
    int number = 0;
    for (const auto& line : smdtest::lines_of(scenario)) {
        ++number;
        if (line.rfind("# round ", 0) == 0) {
            t.first_line.push_back(number);
            t.intact.emplace_back();
            command.clear();
        }
        if (line.empty() || line[0] != '~' || t.intact.empty()) continue;
        smdhost::FrameDecoder::Status st = smdhost::FrameDecoder::Status::none;
        for (char c : line + "\n") {
            const auto s = d.push(static_cast<unsigned char>(c));
            if (s != smdhost::FrameDecoder::Status::none) st = s;
        }
        if (st != smdhost::FrameDecoder::Status::frame) {
            command.clear();
            continue;
        }
        const unsigned char* f = d.frame();
        if (f[3] != 0) {
            command = pair_text(f[2], f[3]);
        } else if (!command.empty() && command.compare(0, 2, pair_text(f[2], 0), 0, 2) == 0) {
            t.intact.back().insert(command);
            command.clear();
        }
    }
    return t;
}

TEST_F(SmdhostDiagnostics, NoisyTraceEveryNullTruthIsADroppedCycleBlamingADamagedPair) {
    const std::string pwrsim = smdtest::bin("pwrsim");
    if (!smdtest::executable(pwrsim)) GTEST_SKIP() << "no pwrsim at " << pwrsim;
    const auto trace = smdtest::run({pwrsim, "trace", "--rounds", "300", "--noise", "0.1", "--seed", "16",
                                     "--truth", dir.file("truth.jsonl")});
    ASSERT_EQ(trace.status, 0) << trace.err;
    smdtest::write_file(dir.file("trace.scn"), trace.out);
    std::vector<bool> spoiled;
    for (const auto& t : events_of(smdtest::read_file(dir.file("truth.jsonl"))))
        spoiled.push_back(t["record"].isNull());
    ASSERT_EQ(spoiled.size(), 300u);
    const TraceRounds rounds = read_trace(trace.out);
    ASSERT_EQ(rounds.intact.size(), 300u);

    const Result r = smdtest::smdhost({"replay", "trace.scn", "--format", "json", "--diagnostics"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    std::map<int, std::vector<Json::Value>> by_round;
    for (const auto& c : only(events_of(r.out), "cycle")) {
        const std::string at = c["at"].asString();
        ASSERT_EQ(at.rfind("trace.scn:", 0), 0u) << at;
        by_round[rounds.round_of(std::stoi(at.substr(10)))].push_back(c);
    }

    const std::regex pair_re("[0-9A-F]{2}/[0-9A-F]{2}");
    int nulls = 0, noted = 0;
    for (int round = 0; round < 300; ++round) {
        if (!spoiled[static_cast<std::size_t>(round)]) {
            // A round with its truth: its one cycle published it.
            ASSERT_EQ(by_round[round].size(), 1u) << "round " << round + 1;
            EXPECT_TRUE(by_round[round][0]["published"].asBool()) << "round " << round + 1;
            continue;
        }
        ++nulls;
        SCOPED_TRACE("round " + std::to_string(round + 1));
        const auto it = by_round.find(round);
        ASSERT_NE(it, by_round.end()) << "a spoiled round without a cycle";
        for (const auto& c : it->second) {
            if (c["published"].asBool()) {
                // The round before was spoiled too and its round went on into
                // this one: the record holds replies of both, and says so.
                EXPECT_TRUE(round > 0 && spoiled[static_cast<std::size_t>(round - 1)]);
                EXPECT_FALSE(c["note"].asString().empty()) << c.toStyledString();
                ++noted;
                continue;
            }
            // Blamed pairs (not how the cycle ended) did not come through
            // intact in this round (or, for a cycle that ran on, the next).
            std::string blamed = c["reason"].asString();
            for (const char* ending : {"; a new 40/42", "; the next interrogation", "; the input ended"})
                blamed = blamed.substr(0, blamed.find(ending));
            int named = 0;
            for (std::sregex_iterator m(blamed.begin(), blamed.end(), pair_re), e; m != e; ++m) {
                ++named;
                const bool here = rounds.intact[static_cast<std::size_t>(round)].count(m->str()) == 0;
                const bool next = round + 1 < 300 && rounds.intact[static_cast<std::size_t>(round + 1)].count(m->str()) == 0;
                EXPECT_TRUE(here || next) << m->str() << " came through: " << c["reason"].asString();
            }
            EXPECT_GT(named, 0) << c["reason"].asString();
        }
    }
    EXPECT_GT(nulls, 50);
    EXPECT_LT(noted, nulls / 4);
}

// ---------------------------------------------------------------- stats and -v

TEST_F(SmdhostDiagnostics, StatsSummarisesTheDemoWithoutThePlugin) {
    // No plug-in at all: stats does not load one.
    const Result json = smdtest::smdhost({"stats", kDemo, "--format", "json"});
    ASSERT_EQ(json.status, 0) << json.err;
    const auto events = events_of(json.out);
    ASSERT_EQ(events.size(), 1u);
    const Json::Value& s = events[0];
    EXPECT_EQ(s["ev"].asString(), "stats");
    EXPECT_EQ(s["line"]["cycles"].asInt(), 40);
    EXPECT_EQ(s["line"]["complete"].asInt(), 34);
    EXPECT_EQ(s["line"]["incomplete"].asInt(), 6);
    EXPECT_EQ(s["line"]["frames"].asInt(), 671);
    EXPECT_EQ(s["line"]["bad_frames"]["length"].asInt(), 3);
    EXPECT_DOUBLE_EQ(s["completeness"]["40/43"].asDouble(), 39.0 / 40.0);
    EXPECT_NEAR(s["cycle_period"]["mean"].asDouble(), 5.0, 0.01);
    EXPECT_GT(s["per_minute"]["commands"]["40/42"].asDouble(), 12.0);

    const Result text = smdtest::smdhost({"stats", kDemo, "--format", "text"});
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_NE(text.out.find("  cycles          40 seen, 34 complete"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("  40/43            97.5 %"), std::string::npos) << text.out;

    // The same capture as raw bytes: the same cycles.
    std::string wire;
    for (const auto& l : smdtest::lines_of(smdtest::read_file(kDemo)))
        if (!l.empty() && l[0] == '~') wire += l + "\r";
    smdtest::write_file(dir.file("demo.raw"), wire);
    const Result raw = smdtest::smdhost({"stats", "--raw", dir.file("demo.raw"), "--format", "json"});
    ASSERT_EQ(raw.status, 0) << raw.err;
    EXPECT_EQ(events_of(raw.out).at(0)["line"]["cycles"].asInt(), 40);

    const Result bad = smdtest::smdhost({"stats", dir.file("none.scn")});
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("none.scn"), std::string::npos);
}

TEST_F(SmdhostDiagnostics, VerboseDissectsEveryFrameAndSaysWhatWasWrong) {
    const std::string good = smdhost::encode_frame(0x20, 0x01, 0x40, 0x42, nullptr, 0);
    std::string checksum = smdhost::encode_frame(0x20, 0x01, 0x42, 0x44, nullptr, 0);
    checksum.pop_back();  // CR
    const std::string expected = checksum.substr(checksum.size() - 4);
    checksum.back() = checksum.back() == '0' ? '1' : '0';
    const std::string received = checksum.substr(checksum.size() - 4);
    struct Row {
        const char* name;
        std::string line;
        std::vector<std::string> shown;
    };
    const std::vector<Row> rows = {
        {"good", good.substr(0, good.size() - 1),
         {"s.scn:1  frame  ADR 01  CID1 40  CID2 42  LENID 000  0 info bytes"}},
        {"checksum", checksum,
         {"s.scn:1  bad frame  ADR 01  CID1 42  CID2 44  LENID 000\n"
          "  checksum: expected " + expected + ", received " + received + "\n"
          "  chars ~" + checksum.substr(1)}},
        {"length", "~20014042C004FD9C",
         {"s.scn:1  bad frame  ADR 01  CID1 40  CID2 42  LENID 004\n"
          "  length: LENID 004 announces 4 information characters, 0 found"}},
        {"length checksum", "~2001404200040000FD00",
         {"  length_checksum: LENID 004 needs LCHKSUM C, received 0"}},
        {"hex", "~20014G4200000000",
         {"s.scn:1  bad frame\n  hex: 'G' (0x47) at position 6 is not a hex digit"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        smdtest::write_file(dir.file("s.scn"), row.line + "\n");
        const Result r = smdtest::smdhost({"replay", "s.scn", "--format", "text", "-v"}, dir.path());
        ASSERT_EQ(r.status, 0) << r.err;
        for (const auto& want : row.shown) EXPECT_NE(r.out.find(want), std::string::npos) << want << "\n" << r.out;
        // Without -v no frame is dissected.
        const Result quiet = smdtest::smdhost({"replay", "s.scn", "--format", "text"}, dir.path());
        EXPECT_EQ(quiet.out.find("s.scn:1  "), std::string::npos) << quiet.out;
    }
    // A raw capture: positions are byte offsets of each frame's SOI.
    smdtest::write_file(dir.file("c.raw"), "xx" + good + checksum + "\r");
    const Result raw = smdtest::smdhost({"replay", "--raw", "c.raw", "--format", "text", "-v"}, dir.path());
    ASSERT_EQ(raw.status, 0) << raw.err;
    EXPECT_NE(raw.out.find("  byte 2  frame  ADR 01  CID1 40  CID2 42"), std::string::npos) << raw.out;
    EXPECT_NE(raw.out.find("  byte " + std::to_string(2 + good.size()) + "  bad frame  ADR 01  CID1 42"),
              std::string::npos)
        << raw.out;
}

}  // namespace
