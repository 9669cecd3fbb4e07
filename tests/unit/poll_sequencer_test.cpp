// The active poll round of pmbuspower_419 and pxr52_419: which command
// answers which response, the refresh gate, the DC layout, the end of round.
#include <gtest/gtest.h>

#include "poll_test_support.hpp"

using namespace poll_test;
using testing_support::SimClock;

namespace {

// Responses, information bytes from the data flag on.
Bytes ac_analog(bool fl) {
    Bytes r = {0x00, 1};
    for (double v : {220.5, 221.0, 222.0, 50.0, -1.0, 10.0, 11.0, 12.0}) {
        if (v < 0)
            r.push_back(0);  // user count
        else
            fl ? put_fl(r, static_cast<float>(v)) : put_fx(r, v);
    }
    return r;
}
Bytes rc_analog(bool fl) {
    Bytes r = {0x00};
    fl ? put_fl(r, 53.5f) : put_fx(r, 53.5);
    r.push_back(1);
    fl ? put_fl(r, 15.0f) : put_fx(r, 15.0);
    r.push_back(0);
    return r;
}
// DC analog in layout 2: flag, screen count, screens without arrays.
Bytes dc_analog(bool fl, int screens, unsigned char flag = 0x00) {
    Bytes r = {flag, static_cast<unsigned char>(screens)};
    for (int s = 0; s < screens; ++s) {
        for (double v : {53.5 + s, 20.0 + s}) fl ? put_fl(r, static_cast<float>(v)) : put_fx(r, v);
        r.insert(r.end(), {0, 0, 0});
    }
    return r;
}
Bytes dc_alarms(int screens) {
    Bytes r = {0x00, static_cast<unsigned char>(screens)};
    for (int s = 1; s <= screens; ++s) r.insert(r.end(), {static_cast<unsigned char>(s), 0, 0});
    return r;
}
const Bytes kAcSwitches = {0x00, 2, 1, 0, 0};
const Bytes kAcAlarms = {0x00, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0};
const Bytes kRcSwitches = {0x00, 1, 0, 1, 0, 0};
const Bytes kRcAlarms = {0x00, 1, 0, 0};

// Delivers the AC and rectifier responses of a round; the results in order.
template <class Dev>
std::vector<int> ac_and_rectifiers(Poller<Dev>& p, bool fl) {
    return {p.reply(0x40, ac_analog(fl)), p.reply(0x40, kAcSwitches), p.reply(0x40, kAcAlarms),
            p.reply(0x41, rc_analog(fl)), p.reply(0x41, kRcSwitches), p.reply(0x41, kRcAlarms)};
}

int count_of(const std::string& text, const std::string& part) {
    int n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

TEST(PollSequence, FloatRoundThenTheRefreshGate) {
    SimClock clock;
    Poller<PowerDevice> p;
    p.dev.has_dc = 1;
    std::vector<int> results;
    const std::string out = stdout_of([&] {
        results.push_back(p.dev.RefreshStatus());
        for (int r : ac_and_rectifiers(p, true)) results.push_back(r);
        results.push_back(p.reply(0x42, dc_analog(true, 1)));
        results.push_back(p.reply(0x42, dc_alarms(1)));
    });
    EXPECT_EQ(p.sent(), Strings({"40/41 01", "40/43 01", "40/44 01", "41/41", "41/43", "41/44", "42/41 FF",
                                 "42/44 FF"}));
    EXPECT_EQ(results, std::vector<int>({1, 1, 1, 1, 1, 1, 1, 1, 0}));
    EXPECT_EQ(p.publishes(), 1u);
    EXPECT_EQ(p.dev.cmd_state, 10);
    EXPECT_EQ(count_of(out, "pmbuspower_419 data_id:7 reset called\n"), 2);
    EXPECT_TRUE(contains(out, "41_43 11 vs 11\n")) << out;
    EXPECT_TRUE(contains(out, "pmbuspower_419 PMBUSPOWER_42_41 dc_number:1\ntest dc_v:")) << out;
    EXPECT_TRUE(contains(out, "no dc number is 2\n")) << out;
    EXPECT_TRUE(contains(out, "pmbuspower_419 PMBUSPOWER_42_44 dc_number:1\n")) << out;
    EXPECT_FLOAT_EQ(p.dev.data.acChannel[0].a.get(), 220.5f);
    EXPECT_FLOAT_EQ(p.dev.data.rcChannel[0].i.get(), 15.0f);
    EXPECT_FLOAT_EQ(p.dev.data.dc(0).dc_v.get(), 53.5f);

    // Within 2 s of the publish a refresh sends nothing.
    stdout_of([&] { results = {p.dev.RefreshStatus(), (clock.advance(1.0), p.dev.RefreshStatus())}; });
    EXPECT_EQ(results, std::vector<int>({0, 0}));
    EXPECT_EQ(p.dev.refresh_wait, 10);
    EXPECT_TRUE(p.sent().empty());
    clock.advance(1.0);
    EXPECT_EQ(p.dev.RefreshStatus(), 1);
    EXPECT_EQ(p.sent(), Strings({"40/41 01"}));
    p.dev.host_refresh_result = 0;  // the host's own refresh can stop it
    EXPECT_EQ(p.dev.RefreshStatus(), 0);
    EXPECT_TRUE(p.sent().empty());
}

TEST(PollSequence, SectionsCommandGroupAndControlResponses) {
    // No AC and no DC, fixed point: 0x41 commands only; the round ends after
    // the rectifier alarms.
    Poller<PowerDevice> p;
    p.dev.has_ac = 0;
    p.dev.float_mode = 0;
    int last = -1;
    stdout_of([&] {
        p.dev.RefreshStatus();
        p.reply(0x41, rc_analog(false));
        p.reply(0x41, kRcSwitches);
        last = p.reply(0x41, kRcAlarms);
    });
    EXPECT_EQ(p.sent(), Strings({"41/42", "41/43", "41/44"}));
    EXPECT_EQ(last, 0);
    EXPECT_EQ(p.dev.cmd_state, 10);
    EXPECT_EQ(p.publishes(), 1u);

    // cg 0xFF: AC replies carry one more byte before their data.
    Poller<PowerDevice> g;
    g.dev.cg = 0xFF;
    g.dev.float_mode = 0;
    Bytes reply = ac_analog(false);
    reply.insert(reply.begin() + 1, 0x01);
    stdout_of([&] { g.dev.RefreshStatus();
        g.reply(0x40, reply); });
    EXPECT_EQ(g.sent(), Strings({"40/42 FF", "40/43 FF"}));
    EXPECT_FLOAT_EQ(g.dev.data.acChannel[0].a.get(), 220.5f);

    // no_40_arg: only the first command goes bare. A refused AC analog reply
    // keeps state 100 and sends nothing.
    Poller<PowerDevice> n;
    n.dev.no_40_arg = 1;
    n.dev.float_mode = 0;
    n.dev.RefreshStatus();
    int result = -1;
    EXPECT_EQ(stdout_of([&] { result = n.reply(0x40, {0x00, 1, 0x56}); }), "parse40_42:overflow\n");
    EXPECT_EQ(result, 1);
    EXPECT_EQ(n.dev.cmd_state, 100);
    stdout_of([&] { n.reply(0x40, ac_analog(false)); });
    EXPECT_EQ(n.sent(), Strings({"40/42", "40/43 01"}));

    // A frame outside the round answers a control command.
    n.dev.cmd_state = 310;
    EXPECT_EQ(n.reply(0x42, {}), 0);
    EXPECT_EQ(n.dev.control_ack, 1);
}

TEST(PollSequence, DcCommandArguments) {
    struct Row {
        unsigned char float_mode, protocol_ver;
        int no_42_arg;
        Strings expected;
    };
    for (const Row& row : {Row{0, 0x20, 0, {"42/42 05", "42/44 FF"}}, Row{0, 0x21, 0, {"42/42 FF", "42/44 FF"}},
                           Row{1, 0x20, 0, {"42/41 FF", "42/44 FF"}}, Row{0, 0x20, 1, {"42/42", "42/44"}}}) {
        Poller<PowerDevice> p;
        p.dev.has_dc = 1;
        p.dev.cg = 5;
        p.dev.float_mode = row.float_mode;
        p.dev.protocol_ver = row.protocol_ver;
        p.dev.no_42_arg = row.no_42_arg;
        p.dev.cmd_state = 106;
        stdout_of([&] { p.reply(0x41, kRcAlarms);
            p.reply(0x42, dc_analog(row.float_mode, 1)); });
        EXPECT_EQ(p.sent(), row.expected);
    }
}

TEST(PollSequence, DcLayoutDetectedOnceFromTheFirstValue) {
    auto first_value = [](bool fl, double value) {  // flag, value, zero bytes
        Bytes r = {0x00};
        fl ? put_fl(r, static_cast<float>(value)) : put_fx(r, value);
        r.insert(r.end(), 7, 0);
        return r;
    };
    for (int fl = 0; fl < 2; ++fl) {
        for (double v : {48.0, 60.0, 40.0}) {
            Poller<PowerDevice> p;
            p.dev.float_mode = static_cast<unsigned char>(fl);
            p.dev.cmd_state = 107;
            const std::string out = stdout_of([&] { p.reply(0x42, first_value(fl, v)); });
            const int layout = v == 48.0 ? 1 : 2;
            EXPECT_EQ(p.dev.no_dc_number, layout) << fl << ' ' << v;
            EXPECT_TRUE(contains(out, "no dc number is " + std::to_string(layout) + "\n")) << out;
            EXPECT_EQ(contains(out, "test dc_v:48\n"), fl && layout == 1) << out;
            if (layout == 1) {
                EXPECT_FLOAT_EQ(p.dev.data.dc(0).dc_v.get(), 48.0f);
            }
            p.dev.cmd_state = 107;  // decided once
            stdout_of([&] { p.reply(0x42, layout == 1 ? dc_analog(fl, 1) : first_value(fl, 48.0)); });
            EXPECT_EQ(p.dev.no_dc_number, layout);
        }
    }
    // Too short to hold the first value: nothing decided.
    Poller<PowerDevice> p;
    p.dev.cmd_state = 107;
    stdout_of([&] { p.reply(0x42, {0x00, 0x00}); });
    EXPECT_EQ(p.dev.no_dc_number, -1);
}

TEST(PollSequence, TwoFixedPointScreens) {
    Poller<PowerDevice> p;
    p.dev.float_mode = 0;
    p.dev.no_dc_number = 2;
    p.dev.cmd_state = 107;
    stdout_of([&] { p.reply(0x42, dc_analog(false, 2));
        p.reply(0x42, dc_alarms(2)); });
    EXPECT_EQ(p.dev.dc_number, 2);
    EXPECT_FLOAT_EQ(p.dev.data.dc(0).dc_v.get(), 53.5f);
    EXPECT_FLOAT_EQ(p.dev.data.dc(1).dc_v.get(), 54.5f);
    EXPECT_FLOAT_EQ(p.dev.data.dc(1).dc_i.get(), 21.0f);
    EXPECT_EQ(p.dev.data.dc(1).dc_v_alarm, 2);
    // A refused first screen leaves no place for the second: dc[1] is kept.
    Bytes cut = dc_analog(false, 2);
    cut.resize(5);
    p.dev.cmd_state = 107;
    stdout_of([&] { p.reply(0x42, cut); });
    EXPECT_FLOAT_EQ(p.dev.data.dc(1).dc_v.get(), 54.5f);
}

TEST(PollModelSequence, FixedRoundWithModelValues) {
    SimClock clock;
    Poller<pxr52_419> p;
    int last = -1;
    const std::string out = stdout_of([&] {
        p.dev.RefreshStatus();
        ac_and_rectifiers(p, false);
        p.reply(0x42, dc_analog(false, 1));  // nothing published yet: alarms are read
        p.reply(0x42, dc_alarms(1));
        last = p.reply(0x80, {0x00, 1, 0x02, 0x1C, 1, 0x00, 0x7B});
    });
    EXPECT_EQ(p.sent(), Strings({"40/42 01", "40/43 01", "40/44 01", "41/42", "41/43", "41/44", "42/42 01",
                                 "42/44", "80/42"}));
    EXPECT_EQ(last, 0);
    EXPECT_EQ(p.dev.cmd_state, 0);
    EXPECT_EQ(p.publishes(), 1u);
    EXPECT_EQ(p.dev.dc_number, 0);  // the model keeps the screen count local
    EXPECT_FLOAT_EQ(p.dev.data.p80_42[0].get(), 54.0f);
    EXPECT_FLOAT_EQ(p.dev.data.p80_42[1].get(), 12.3f);
    EXPECT_TRUE(contains(out, "80_42 m is 1\n80_42 m is 1\n")) << out;
    EXPECT_FALSE(contains(out, "no dc number is")) << out;
    EXPECT_EQ(count_of(out, "reset called\n"), 2);

    // Only values marked 1 and present are taken; the round ends either way.
    p.dev.data.p80_42[1].set(7.0f);
    p.dev.cmd_state = 50;
    stdout_of([&] { p.reply(0x80, {0x00, 1, 0x01, 0xF4, 0, 0x00, 0x7B}); });
    EXPECT_FLOAT_EQ(p.dev.data.p80_42[0].get(), 50.0f);
    EXPECT_FLOAT_EQ(p.dev.data.p80_42[1].get(), 7.0f);
    p.dev.cmd_state = 50;
    const std::string cut = stdout_of([&] { last = p.reply(0x80, {0x00, 1, 0x02}); });
    EXPECT_EQ(last, 0);
    EXPECT_FLOAT_EQ(p.dev.data.p80_42[0].get(), 50.0f);
    EXPECT_TRUE(contains(cut, "80_42 m is 1\n80_42 m is 0\n")) << cut;
    EXPECT_EQ(p.publishes(), 3u);
}

TEST(PollModelSequence, DataFlagDecidesOnTheDcAlarms) {
    struct Row {
        unsigned char valid, flag, protocol_ver;
        const char* expected;
    };
    for (const Row& row : {Row{1, 0x00, 0x20, "80/42"}, Row{1, 0x01, 0x20, "42/44"}, Row{1, 0x10, 0x20, "42/44"},
                           Row{0, 0x00, 0x20, "42/44"}, Row{1, 0x01, 0x21, "42/44 01"}}) {
        Poller<pxr52_419> p;
        p.dev.data_valid = row.valid;
        p.dev.protocol_ver = row.protocol_ver;
        p.dev.cmd_state = 107;
        stdout_of([&] { p.reply(0x42, dc_analog(false, 1, row.flag)); });
        EXPECT_EQ(p.sent(), Strings({row.expected})) << int(row.flag);
    }
}

}  // namespace
