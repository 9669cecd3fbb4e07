// The active poll round of pmbuspower_419 and pxr52_419: which command
// answers which response, the refresh gate, the DC layout, the end of round.
#include <gtest/gtest.h>

#include "poll_test_support.hpp"

using namespace poll_test;
using testing_support::SimClock;
using Strings = std::vector<std::string>;

namespace {

// Responses, information bytes from the data flag on.
Bytes ac_analog_fl() {
    Bytes r = {0x00, 1};
    for (float v : {220.5f, 221.0f, 222.0f, 50.0f}) put_fl(r, v);
    r.push_back(0);
    for (float v : {10.0f, 11.0f, 12.0f}) put_fl(r, v);
    return r;
}
Bytes ac_analog_fx(unsigned char lead = 0x00) {
    Bytes r = {lead, 1};
    for (double v : {220.5, 221.0, 222.0, 50.0}) put_fx(r, v);
    r.push_back(0);
    for (double v : {10.0, 11.0, 12.0}) put_fx(r, v);
    return r;
}
const Bytes kAcSwitches = {0x00, 2, 1, 0, 0};
const Bytes kAcAlarms = {0x00, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0};
Bytes rc_analog(bool fl) {
    Bytes r = {0x00};
    fl ? put_fl(r, 53.5f) : put_fx(r, 53.5);
    r.push_back(1);
    fl ? put_fl(r, 15.0f) : put_fx(r, 15.0);
    r.push_back(0);
    return r;
}
const Bytes kRcSwitches = {0x00, 1, 0, 1, 0, 0};
const Bytes kRcAlarms = {0x00, 1, 0, 0};
// DC analog, layout 2: flag, screen count, then `screens` screens (no user values).
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
    for (int s = 0; s < screens; ++s) r.insert(r.end(), {static_cast<unsigned char>(s + 1), 0, 0});
    return r;
}

int count_of(const std::string& text, const std::string& part) {
    int n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

TEST(PollSequence, FloatRoundSendsEachCommandAndPublishesOnce) {
    SimClock clock;
    Poller<PowerDevice> p;
    p.dev.has_dc = 1;
    std::vector<int> results;
    Strings sends;
    const std::string out = stdout_of([&] {
        results.push_back(p.dev.RefreshStatus());
        for (const auto& r : {std::make_pair(0x40, ac_analog_fl()), std::make_pair(0x40, kAcSwitches),
                              std::make_pair(0x40, kAcAlarms), std::make_pair(0x41, rc_analog(true)),
                              std::make_pair(0x41, kRcSwitches), std::make_pair(0x41, kRcAlarms),
                              std::make_pair(0x42, dc_analog(true, 1)), std::make_pair(0x42, dc_alarms(1))})
            results.push_back(p.reply(static_cast<unsigned char>(r.first), r.second));
        sends = p.sent();
    });
    EXPECT_EQ(sends, Strings({"40/41 01", "40/43 01", "40/44 01", "41/41", "41/43", "41/44", "42/41 FF",
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
    EXPECT_EQ(p.dev.data.dc(0).dc_v_alarm, 1);

    // The refresh gate: nothing within 2 s of the publish.
    stdout_of([&] {
        results = {p.dev.RefreshStatus()};
        clock.advance(1.0);
        results.push_back(p.dev.RefreshStatus());
    });
    EXPECT_EQ(results, std::vector<int>({0, 0}));
    EXPECT_EQ(p.dev.refresh_wait, 10);
    EXPECT_TRUE(p.sent().empty());
    clock.advance(1.0);
    EXPECT_EQ(p.dev.RefreshStatus(), 1);
    EXPECT_EQ(p.sent(), Strings({"40/41 01"}));
    // The host's own refresh can stop it.
    p.dev.host_refresh_result = 0;
    EXPECT_EQ(p.dev.RefreshStatus(), 0);
    EXPECT_TRUE(p.sent().empty());
}

TEST(PollSequence, SectionsAndCommandGroupSettings) {
    // No AC, fixed point, no DC: starts with 0x41/0x42 and ends after the
    // rectifier alarms, nothing with CID1 0x42.
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
    EXPECT_FLOAT_EQ(p.dev.data.rc_v.get(), 53.5f);

    // cg 0xFF: the AC replies carry one more byte before their data.
    Poller<PowerDevice> g;
    g.dev.cg = 0xFF;
    g.dev.float_mode = 0;
    Bytes reply = ac_analog_fx();
    reply.insert(reply.begin() + 1, 0x01);
    stdout_of([&] {
        g.dev.RefreshStatus();
        g.reply(0x40, reply);
    });
    EXPECT_EQ(g.sent(), Strings({"40/42 FF", "40/43 FF"}));
    EXPECT_FLOAT_EQ(g.dev.data.acChannel[0].a.get(), 220.5f);

    // no_40_arg: only the first command goes without information. A refused
    // AC analog reply keeps the round in state 100 and sends nothing.
    Poller<PowerDevice> n;
    n.dev.no_40_arg = 1;
    n.dev.float_mode = 0;
    EXPECT_EQ(n.dev.RefreshStatus(), 1);
    int result = -1;
    EXPECT_EQ(stdout_of([&] { result = n.reply(0x40, {0x00, 1, 0x56}); }), "parse40_42:overflow\n");
    EXPECT_EQ(result, 1);
    EXPECT_EQ(n.dev.cmd_state, 100);
    stdout_of([&] { n.reply(0x40, ac_analog_fx()); });
    EXPECT_EQ(n.sent(), Strings({"40/42", "40/43 01"}));

    // A frame outside the round is a control response.
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
    const Row rows[] = {
        {0, 0x20, 0, {"42/42 05", "42/44 FF"}},
        {0, 0x21, 0, {"42/42 FF", "42/44 FF"}},
        {1, 0x20, 0, {"42/41 FF", "42/44 FF"}},
        {0, 0x20, 1, {"42/42", "42/44"}},
    };
    for (const Row& row : rows) {
        Poller<PowerDevice> p;
        p.dev.has_dc = 1;
        p.dev.cg = 5;
        p.dev.float_mode = row.float_mode;
        p.dev.protocol_ver = row.protocol_ver;
        p.dev.no_42_arg = row.no_42_arg;
        p.dev.cmd_state = 106;
        stdout_of([&] {
            p.reply(0x41, kRcAlarms);
            p.reply(0x42, dc_analog(row.float_mode != 0, 1));
        });
        EXPECT_EQ(p.sent(), row.expected);
    }
}

TEST(PollSequence, DcLayoutDetectedOnceFromTheFirstValue) {
    struct Row {
        unsigned char float_mode;
        double first;
        int layout;
    };
    // Flag, the value, then zero bytes: a layout-1 screen when the value is the voltage.
    auto first_value = [](bool fl, double value) {
        Bytes r = {0x00};
        fl ? put_fl(r, static_cast<float>(value)) : put_fx(r, value);
        r.insert(r.end(), {0, 0, 0, 0, 0, 0, 0});
        return r;
    };
    for (const Row& row : {Row{1, 48.0, 1}, Row{1, 60.0, 2}, Row{1, 40.0, 2}, Row{0, 48.0, 1},
                           Row{0, 60.0, 2}, Row{0, 40.0, 2}}) {
        SCOPED_TRACE(row.first);
        Poller<PowerDevice> p;
        p.dev.float_mode = row.float_mode;
        const Bytes r = first_value(row.float_mode, row.first);
        p.dev.cmd_state = 107;
        const std::string out = stdout_of([&] { p.reply(0x42, r); });
        EXPECT_EQ(p.dev.no_dc_number, row.layout);
        EXPECT_TRUE(contains(out, "no dc number is " + std::to_string(row.layout) + "\n")) << out;
        EXPECT_EQ(contains(out, "test dc_v:48\n"), row.float_mode && row.first == 48.0) << out;
        if (row.layout == 1) {
            EXPECT_FLOAT_EQ(p.dev.data.dc(0).dc_v.get(), 48.0f);
        }
        // Decided once: a later response does not change it.
        p.dev.cmd_state = 107;
        const Bytes other = row.layout == 1 ? dc_analog(row.float_mode, 1) : first_value(row.float_mode, 48.0);
        stdout_of([&] { p.reply(0x42, other); });
        EXPECT_EQ(p.dev.no_dc_number, row.layout);
    }
    // Too short to hold the first value: nothing decided, nothing read past.
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
    stdout_of([&] {
        p.reply(0x42, dc_analog(false, 2));
        p.reply(0x42, dc_alarms(2));
    });
    EXPECT_EQ(p.dev.dc_number, 2);
    EXPECT_FLOAT_EQ(p.dev.data.dc(0).dc_v.get(), 53.5f);
    EXPECT_FLOAT_EQ(p.dev.data.dc(1).dc_v.get(), 54.5f);
    EXPECT_FLOAT_EQ(p.dev.data.dc(1).dc_i.get(), 21.0f);
    EXPECT_EQ(p.dev.data.dc(0).dc_v_alarm, 1);
    EXPECT_EQ(p.dev.data.dc(1).dc_v_alarm, 2);

    // A refused first screen leaves no place for the second: dc[1] keeps its values.
    Bytes cut = dc_analog(false, 2);
    cut.resize(5);
    p.dev.cmd_state = 107;
    stdout_of([&] { p.reply(0x42, cut); });
    EXPECT_FLOAT_EQ(p.dev.data.dc(1).dc_v.get(), 54.5f);
}

// pxr52_419: DC alarms only when something changed, then the 0x80/0x42 exchange.
TEST(PollModelSequence, FixedRoundWithModelValues) {
    SimClock clock;
    Poller<pxr52_419> p;
    int last = -1;
    const std::string out = stdout_of([&] {
        p.dev.RefreshStatus();
        p.reply(0x40, ac_analog_fx());
        p.reply(0x40, kAcSwitches);
        p.reply(0x40, kAcAlarms);
        p.reply(0x41, rc_analog(false));
        p.reply(0x41, kRcSwitches);
        p.reply(0x41, kRcAlarms);
        p.reply(0x42, dc_analog(false, 1));  // not published yet: alarms are read
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
}

TEST(PollModelSequence, DataFlagDecidesOnTheDcAlarms) {
    struct Row {
        unsigned char valid, flag, protocol_ver;
        std::string expected;
    };
    for (const Row& row : {Row{1, 0x00, 0x20, "80/42"}, Row{1, 0x01, 0x20, "42/44"},
                           Row{1, 0x10, 0x20, "42/44"}, Row{0, 0x00, 0x20, "42/44"},
                           Row{1, 0x01, 0x21, "42/44 01"}}) {
        Poller<pxr52_419> p;
        p.dev.data_valid = row.valid;
        p.dev.protocol_ver = row.protocol_ver;
        p.dev.cmd_state = 107;
        stdout_of([&] { p.reply(0x42, dc_analog(false, 1, row.flag)); });
        EXPECT_EQ(p.sent(), Strings({row.expected})) << int(row.flag);
    }
}

TEST(PollModelSequence, ModelValuesOnlyWhereMarkedAndPresent) {
    Poller<pxr52_419> p;
    p.dev.data.p80_42[1].set(7.0f);
    p.dev.cmd_state = 50;
    stdout_of([&] { p.reply(0x80, {0x00, 1, 0x01, 0xF4, 0, 0x00, 0x7B}); });
    EXPECT_FLOAT_EQ(p.dev.data.p80_42[0].get(), 50.0f);
    EXPECT_FLOAT_EQ(p.dev.data.p80_42[1].get(), 7.0f);
    // A reply that stops after the first marker writes nothing, still ends the round.
    p.dev.cmd_state = 50;
    int result = -1;
    const std::string out = stdout_of([&] { result = p.reply(0x80, {0x00, 1, 0x02}); });
    EXPECT_EQ(result, 0);
    EXPECT_FLOAT_EQ(p.dev.data.p80_42[0].get(), 50.0f);
    EXPECT_TRUE(contains(out, "80_42 m is 1\n80_42 m is 0\n")) << out;
    EXPECT_EQ(p.publishes(), 2u);
}

}  // namespace
