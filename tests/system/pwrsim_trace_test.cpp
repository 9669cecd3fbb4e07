// pwrsim as a user runs it: a trace with its truth replayed by smdhost
// (every unspoiled round publishes its truth, a spoiled one nothing unless
// the next cycle completes it), the plant serving a pseudo-terminal, and the
// command line.
#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <json/json.h>

#include "device/le_bytes.hpp"
#include "host/frame_codec.hpp"
#include "smdhost_support.hpp"

namespace {

const std::string kPwrsim = smdtest::bin("pwrsim");

std::vector<Json::Value> json_lines(const std::string& text) {
    std::vector<Json::Value> out;
    Json::CharReaderBuilder b;
    for (const auto& line : smdtest::lines_of(text)) {
        Json::Value v;
        std::string errs;
        std::unique_ptr<Json::CharReader> r(b.newCharReader());
        if (!r->parse(line.data(), line.data() + line.size(), &v, &errs)) v = Json::Value("<not json>");
        out.push_back(v);
    }
    return out;
}

// A record's hex without the time stamp (7 bytes at offset 1046).
std::string untimed(std::string hex) {
    if (hex.size() == 2514) hex.replace(2 * 1046, 14, std::string(14, '0'));
    return hex;
}

class PwrsimTrace : public ::testing::Test {
protected:
    void SetUp() override {
        if (!smdtest::executable(kPwrsim)) GTEST_SKIP() << "no pwrsim at " << kPwrsim;
    }

    // Runs trace with `args` and then replays it; fills the truth records
    // (empty string for a spoiled round) and the published records.
    void trace_and_replay(std::vector<std::string> args) {
        if (!smdtest::executable(smdtest::smdhost_path()))
            GTEST_SKIP() << "no smdhost at " << smdtest::smdhost_path();
        args.insert(args.begin(), {kPwrsim, "trace", "--truth", dir.file("truth.jsonl")});
        const auto trace = smdtest::run(args);
        ASSERT_EQ(trace.status, 0) << trace.err;
        smdtest::write_file(dir.file("trace.scn"), trace.out);

        for (const auto& t : json_lines(smdtest::read_file(dir.file("truth.jsonl")))) {
            ASSERT_TRUE(t.isObject()) << "truth line is not JSON";
            ASSERT_EQ(t["round"].asInt(), static_cast<int>(truth.size()) + 1);
            if (t["record"].isNull()) {
                truth.emplace_back();
            } else {
                ASSERT_EQ(t["record"].asString().size(), 2514u);
                truth.push_back(t["record"].asString());
            }
        }
        const auto replay = smdtest::smdhost({"replay", dir.file("trace.scn"), "--format", "json"}, dir.path());
        ASSERT_EQ(replay.status, 0) << replay.err;
        for (const auto& e : json_lines(replay.out))
            if (e.isObject() && e["ev"].asString() == "publish") published.push_back(untimed(e["record"].asString()));
    }

    std::vector<std::string> expected() const {
        std::vector<std::string> out;
        for (const auto& t : truth)
            if (!t.empty()) out.push_back(t);
        return out;
    }

    smdtest::TempDir dir;
    std::vector<std::string> truth;
    std::vector<std::string> published;
};

TEST_F(PwrsimTrace, CleanLinePublishesEveryRoundsTruth) {
    trace_and_replay({"--rounds", "30", "--screens", "2", "--rectifiers", "24", "--shape", "varied", "--seed", "5",
                      "--event-rate", "20", "--event", "mains@4+5", "--event", "invalid@2"});
    ASSERT_EQ(truth.size(), 30u);
    EXPECT_EQ(expected().size(), 30u) << "no round is spoiled without noise";
    EXPECT_EQ(published, expected());
}

// Rounds in order: an unspoiled round publishes its truth; a spoiled round
// publishes nothing, except where the round before it was spoiled too. When
// the noise took both that round's DC alarm pair and this round's AC analog
// command, the open round goes on and this cycle's replies complete it: a
// record of the two cycles' values, which the truth file (null for both)
// cannot name.
TEST_F(PwrsimTrace, TenPercentNoisePublishesTheUnspoiledRoundsInOrder) {
    for (const char* seed : {"1", "2", "3"}) {
        SCOPED_TRACE(seed);
        truth.clear();
        published.clear();
        trace_and_replay({"--rounds", "40", "--noise", "10%", "--seed", seed, "--event-rate", "10"});
        ASSERT_EQ(truth.size(), 40u);
        const auto want = expected();
        EXPECT_LT(want.size(), truth.size()) << "10% noise spoils some rounds";
        EXPECT_GT(want.size(), 0u);
        std::size_t at = 0, next = 0;  // in `published`, in `want`
        for (std::size_t r = 0; r < truth.size(); ++r) {
            if (!truth[r].empty()) {
                ASSERT_LT(at, published.size()) << "round " << r + 1 << " was not published";
                EXPECT_EQ(published[at], truth[r]) << "round " << r + 1;
                ++at;
                ++next;
            } else if (r > 0 && truth[r - 1].empty() && at < published.size() &&
                       (next == want.size() || published[at] != want[next])) {
                ++at;  // completed by this cycle after a double loss
            }
        }
        EXPECT_EQ(at, published.size()) << "published more often than rounds allow";
    }
}

TEST_F(PwrsimTrace, SameSeedSameTraceAndTruth) {
    const std::vector<std::string> a = {kPwrsim, "trace", "--rounds", "5", "--noise", "0.2", "--seed", "77"};
    const auto one = smdtest::run(a);
    const auto two = smdtest::run(a);
    ASSERT_EQ(one.status, 0);
    EXPECT_EQ(one.out, two.out);
    auto other = a;
    other.back() = "78";
    EXPECT_NE(smdtest::run(other).out, one.out);
    EXPECT_NE(one.out.find("\n@+"), std::string::npos);
    EXPECT_NE(one.out.find("\n~2001"), std::string::npos);
}

TEST_F(PwrsimTrace, BadOptionsNameTheOptionAndValue) {
    struct Row {
        std::vector<std::string> args;
        std::string said;
    };
    const Row rows[] = {
        {{"trace", "--rounds", "ten"}, "--rounds: 'ten'"},
        {{"trace", "--rectifiers", "41"}, "--rectifiers: '41'"},
        {{"trace", "--screens", "3"}, "--screens: '3'"},
        {{"trace", "--noise", "1.5"}, "--noise: '1.5'"},
        {{"trace", "--interval", "-1"}, "--interval: '-1'"},
        {{"trace", "--seed", "x1"}, "--seed: 'x1'"},
        {{"trace", "--event", "flood@3"}, "--event: 'flood@3'"},
        {{"trace", "--frobnicate"}, "--frobnicate"},
        {{"serve", "--pty", "--dc-layout", "3"}, "--dc-layout: '3'"},
        {{"serve", "--baud", "9601", "--pty"}, "--baud: '9601'"},
        {{"serve"}, "--pty"},
        {{"bus", "--pty", "--shape", "odd"}, "--shape: 'odd'"},
        {{"fly"}, "fly"},
    };
    for (const auto& row : rows) {
        auto args = row.args;
        args.insert(args.begin(), kPwrsim);
        const auto r = smdtest::run(args);
        EXPECT_EQ(r.status, 2) << row.said;
        EXPECT_NE(r.err.find(row.said), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "") << row.said;
    }
}

TEST_F(PwrsimTrace, HelpDescribesEveryOption) {
    const std::pair<const char*, std::vector<const char*>> subs[] = {
        {"trace", {"--rounds", "--interval", "--rectifiers", "--screens", "--seed", "--noise", "--truth", "--data-id",
                   "--baud", "--shape", "--event", "--event-rate"}},
        {"serve", {"--pty", "--serial", "--baud", "--screens", "--rectifiers", "--dc-layout", "--cg", "--address",
                   "--seed", "--verbose"}},
        {"bus", {"--pty", "--serial", "--interval", "--rounds", "--baud", "--noise", "--event", "--seed"}},
    };
    for (const auto& [sub, options] : subs) {
        const auto r = smdtest::run({kPwrsim, sub, "--help"});
        EXPECT_EQ(r.status, 0);
        for (const char* o : options) EXPECT_NE(r.out.find(std::string("  ") + o), std::string::npos) << sub << " " << o;
    }
    EXPECT_EQ(smdtest::run({kPwrsim, "--help"}).status, 0);
}

// ------------------------------------------------------------ serve

TEST_F(PwrsimTrace, ServeAnswersOnAPseudoTerminalAndStopsOnSigterm) {
    smdtest::Child sim({kPwrsim, "serve", "--pty", "--rectifiers", "5", "--dc-layout", "1", "--event-rate", "0"});
    ASSERT_TRUE(sim.wait_for([](const std::string& out, const std::string&) { return out.find('\n') != std::string::npos; }))
        << sim.err();
    const std::string path = sim.out().substr(0, sim.out().find('\n'));
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0) << path;

    auto exchange = [&](unsigned char cid1, unsigned char cid2, std::vector<unsigned char> info) {
        const std::string cmd = smdhost::encode_frame(0x20, 0x01, cid1, cid2, info.data(), info.size());
        EXPECT_EQ(write(fd, cmd.data(), cmd.size()), static_cast<ssize_t>(cmd.size()));
        smdhost::FrameDecoder dec;
        std::vector<unsigned char> frame;
        for (int spins = 0; spins < 300 && frame.empty(); ++spins) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0) continue;
            unsigned char buf[512];
            const ssize_t n = read(fd, buf, sizeof buf);
            for (ssize_t k = 0; k < n; ++k)
                if (dec.push(buf[k]) == smdhost::FrameDecoder::Status::frame)
                    frame.assign(dec.frame(), dec.frame() + dec.frame_size());
        }
        return frame;
    };
    const auto rect = exchange(0x41, 0x42, {});
    ASSERT_GE(rect.size(), 10u);
    EXPECT_EQ(rect[2], 0x41);
    EXPECT_EQ(rect[3], 0x00);
    EXPECT_EQ(rect[6 + 3], 5) << "rectifier count after flag and voltage";
    const auto dc = exchange(0x42, 0x41, {0xFF});
    ASSERT_GE(dc.size(), 14u);
    const float dc_v = pxr52::load_f32(dc.data() + 7);
    EXPECT_GT(dc_v, 40.0f) << "layout 1: float DC voltage right after the flag";
    EXPECT_LT(dc_v, 60.0f);
    const auto control = exchange(0x41, 0x45, {0xE6, 0x02});
    ASSERT_EQ(control.size(), 6u);
    EXPECT_EQ(control[3], 0x00);
    EXPECT_EQ(exchange(0x42, 0x43, {}).at(3), 0x04) << "unknown command";

    sim.signal(SIGTERM);
    EXPECT_EQ(sim.finish(), 0) << sim.err();
    close(fd);
}

TEST_F(PwrsimTrace, ServeEndsWhenTheOtherSideClosesTheLine) {
    smdtest::Child sim({kPwrsim, "serve", "--pty"});
    ASSERT_TRUE(sim.wait_for([](const std::string& out, const std::string&) { return out.find('\n') != std::string::npos; }));
    const std::string path = sim.out().substr(0, sim.out().find('\n'));
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    const std::string cmd = smdhost::encode_frame(0x20, 0x01, 0x40, 0x43, nullptr, 0);
    ASSERT_EQ(write(fd, cmd.data(), cmd.size()), static_cast<ssize_t>(cmd.size()));
    close(fd);
    EXPECT_EQ(sim.finish(60.0), 0) << sim.err();
}

}  // namespace
